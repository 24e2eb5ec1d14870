// The deflate codec fed one input split at arbitrary points: the outcome of the whole stream
// (fed, then ended) must not depend on the split (the gzip header skipper resumes anywhere),
// and nothing crashes. Output still held inside the inflater when the input runs out comes
// out at the end, so only ended streams are compared.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompressZIP.h"

namespace {

struct Result {
  bool ok;
  u32 code;
  std::vector<u8> output;
};

Result Run(u32 zlibHeader, bool deflate64, const uint8_t* data, size_t size, const std::vector<size_t>& cuts) {
  CSLCompressZIP codec(zlibHeader);
  if (deflate64) codec.SetDeflate64(1);
  Result r{true, 0, {}};
  codec.BeginDecompress();
  size_t pos = 0;
  for (size_t cut : cuts) {
    if (cut <= pos || cut > size) continue;
    if (!codec.Decompress(data + pos, static_cast<u32>(cut - pos), nullptr)) {
      r.ok = false;
      r.code = SLGetLastError();
      break;
    }
    pos = cut;
  }
  if (r.ok && pos < size && !codec.Decompress(data + pos, static_cast<u32>(size - pos), nullptr)) {
    r.ok = false;
    r.code = SLGetLastError();
  }
  if (r.ok && !codec.EndDecompress()) {
    r.ok = false;
    r.code = SLGetLastError();
  }
  if (!r.ok && r.code != 0x80090003) std::abort();
  std::vector<u8> out(codec.GetDecompressedSize());
  if (!out.empty()) codec.ReadDecompressed(out.data(), static_cast<u32>(out.size()));
  r.output = out;
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const u32 zlibHeader = data[0] & 1;
  const bool deflate64 = (data[0] & 2) != 0;
  std::vector<size_t> cuts;
  for (int i = 1; i < 4; ++i) cuts.push_back(data[i] % (size - 3) + 1);
  std::sort(cuts.begin(), cuts.end());
  data += 4;
  size -= 4;
  if (size == 0) return 0;
  const Result whole = Run(zlibHeader, deflate64, data, size, {});
  const Result split = Run(zlibHeader, deflate64, data, size, cuts);
  if (whole.ok != split.ok || whole.code != split.code) std::abort();
  if (whole.ok && whole.output != split.output) std::abort();
  return 0;
}
