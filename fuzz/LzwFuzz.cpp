// LZW: arbitrary bytes decode without crash (a failure is always 0x80090001), and any input
// compresses to a stream that decodes to it again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompressLZW.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  CSLCompressLZW codec;
  codec.BeginDecompress();
  u32 remaining = 0;
  if (!codec.Decompress(data, static_cast<u32>(size), &remaining)) {
    if (SLGetLastError() != 0x80090001 || remaining > size) std::abort();
  } else {
    codec.EndDecompress();
  }

  codec.BeginCompress();
  for (size_t pos = 0; pos < size; pos += 7) {
    codec.Compress(data + pos, static_cast<u32>(size - pos < 7 ? size - pos : 7));
  }
  codec.EndCompress();
  CSLCircularBuffer* ring = codec.GetCompressedOutput();
  u8 *first, *second;
  u32 firstLength, secondLength;
  std::vector<u8> packed;
  if (ring->GetReadRegions(&first, &firstLength, &second, &secondLength)) {
    packed.insert(packed.end(), first, first + firstLength);
    packed.insert(packed.end(), second, second + secondLength);
  }
  codec.BeginDecompress();
  for (size_t pos = 0; pos < packed.size(); pos += 3) {
    if (!codec.Decompress(packed.data() + pos, static_cast<u32>(packed.size() - pos < 3 ? packed.size() - pos : 3), nullptr)) {
      std::abort();
    }
  }
  codec.EndDecompress();
  std::vector<u8> out(codec.GetDecompressedSize());
  if (!out.empty()) codec.ReadDecompressed(out.data(), static_cast<u32>(out.size()));
  if (out != std::vector<u8>(data, data + size)) std::abort();
  return 0;
}
