// Random source formats and chunkings through the system's audio converter: the input
// picks a known tag (or any), channels, rate, block alignment, bits and extra bytes, then
// feeds its remaining bytes in pieces of its own choosing to destinations of its own size.
// Every conversion consumes whole blocks of what it was given and fills whole frames of
// what it was lent.
#include <cstdint>
#include <vector>

#include "foundation/SLTypes.h"
#include "fuzz/FuzzProgram.h"
#include "platform/msacm32/Acm.h"

namespace {

const u16 kTags[] = {1, 2, 3, 6, 7, 0x11, 0x31, 0x50, 0x55, 0x200, 0xFFFE, 0x1234};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SLFuzzProgram in{data, size};
  std::vector<uint8_t> format(18 + 64, 0);
  const u16 tag = in.Take() < 200 ? kTags[in.Take() % (sizeof kTags / sizeof kTags[0])]
                                  : u16(in.Take() | in.Take() << 8);
  const u16 channels = u16(1 + in.Take() % 8);
  const u32 rate = 1000 + (in.Take() | in.Take() << 8) * 3;
  const u16 blockAlign = u16(in.Take() | (in.Take() % 16) << 8);
  const u16 bits = u16(in.Take() % 65);
  const u16 extra = u16(in.Take() % 65);
  const u16 outBits = u16(8 << (in.Take() % 4));
  auto store16 = [&](size_t at, u16 v) { format[at] = u8(v), format[at + 1] = u8(v >> 8); };
  auto store32 = [&](size_t at, u32 v) { store16(at, u16(v)), store16(at + 2, u16(v >> 16)); };
  store16(0, tag);
  store16(2, channels);
  store32(4, rate);
  store32(8, rate * (blockAlign ? blockAlign : 1));
  store16(12, blockAlign);
  store16(14, bits);
  store16(16, extra);
  for (u16 i = 0; i < extra; ++i) format[18 + i] = u8(in.Take());
  const u16 outBlock = u16(outBits / 8 * channels);
  const WAVEFORMATEX destination = {WAVE_FORMAT_PCM, channels, rate, rate * outBlock, outBlock, outBits, 0};

  HACMSTREAM stream = nullptr;
  if (acmStreamOpen(&stream, nullptr, reinterpret_cast<const WAVEFORMATEX*>(format.data()), &destination, nullptr, 0,
                    0, ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
    SLFuzzCheck(stream == nullptr);
    return 0;
  }
  std::vector<uint8_t> source(4096), output(1 << 16);
  ACMSTREAMHEADER header = {};
  header.cbStruct = sizeof header;
  header.pbSrc = source.data();
  header.cbSrcLength = u32(source.size());
  header.pbDst = output.data();
  header.cbDstLength = u32(output.size());
  SLFuzzCheck(acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR);
  const u32 block = blockAlign ? blockAlign : 1;
  for (int round = 0; round < 64 && in.at < in.size; ++round) {
    const u32 pieceSize = (in.Take() | in.Take() << 8) % (source.size() + 1);
    for (u32 i = 0; i < pieceSize; ++i) source[i] = u8(in.Take());
    header.cbSrcLength = pieceSize;
    header.cbDstLength = (in.Take() | in.Take() << 8) % (output.size() + 1);
    const DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN | (in.Take() % 5 == 0 ? ACM_STREAMCONVERTF_START : 0);
    if (acmStreamConvert(stream, &header, flags) != MMSYSERR_NOERROR) continue;
    SLFuzzCheck(header.cbSrcLengthUsed <= header.cbSrcLength && header.cbSrcLengthUsed % block == 0);
    SLFuzzCheck(header.cbDstLengthUsed <= header.cbDstLength && header.cbDstLengthUsed % outBlock == 0);
  }
  header.cbSrcLength = u32(source.size());
  header.cbDstLength = u32(output.size());
  SLFuzzCheck(acmStreamUnprepareHeader(stream, &header, 0) == MMSYSERR_NOERROR);
  SLFuzzCheck(acmStreamClose(stream, 0) == MMSYSERR_NOERROR);
  SLFuzzCheck(acmStreamClose(stream, 0) == MMSYSERR_INVALHANDLE);
  return 0;
}
