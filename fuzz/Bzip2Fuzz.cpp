// The bzip2 codec on arbitrary input, whole and split: no crash, failures are 0x80090003,
// and the split does not change the outcome.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompressBZIP2.h"

namespace {

std::vector<u8> Decode(const uint8_t* data, size_t size, size_t piece, bool* ok) {
  CSLCompressBZIP2 codec;
  codec.BeginDecompress();
  *ok = true;
  std::vector<u8> out;
  for (size_t pos = 0; pos < size && *ok; pos += piece) {
    const u32 n = static_cast<u32>(size - pos < piece ? size - pos : piece);
    if (!codec.Decompress(data + pos, n, nullptr)) {
      if (SLGetLastError() != 0x80090003) std::abort();
      *ok = false;
    }
    std::vector<u8> part(codec.GetDecompressedSize());
    if (!part.empty()) codec.ReadDecompressed(part.data(), static_cast<u32>(part.size()));
    out.insert(out.end(), part.begin(), part.end());
    if (out.size() > (64u << 20)) break;
  }
  if (*ok && !codec.EndDecompress() && SLGetLastError() != 0x80090003) std::abort();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] % 64;
  bool okWhole, okSplit;
  const std::vector<u8> whole = Decode(data + 1, size - 1, size, &okWhole);
  const std::vector<u8> split = Decode(data + 1, size - 1, piece, &okSplit);
  if (okWhole != okSplit) std::abort();
  if (okWhole && whole != split) std::abort();
  return 0;
}
