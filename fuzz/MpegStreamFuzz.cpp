// The MPEG audio decoder on arbitrary bytes: open (strict and lenient, as a seekable and
// as a sequential stream), frames reached at the edges of the offset table and beyond it,
// then decoding at ranges the input chooses. No crash, no read outside the frame buffer
// or a table, offsets inside the stream, and never more samples than asked for.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzProgram.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "storage/SLMemoryStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  // The first 8 bytes choose the mode and the ranges; the stream follows.
  SLFuzzProgram program{data, 8};
  const u32 mode = program.Take();
  CSLMemoryStorage storage;
  storage.Write(data + 8, size - 8);
  storage.Seek(0, SL_SEEK_BEGIN);
  SLInternals::CMXMP3_DecoderHelper decoder;
  const u32 seekable = mode & 1;
  if (!decoder.Open(&storage, seekable, (mode >> 1) & 1)) return 0;
  SLFuzzCheck(decoder.GetChannels() >= 1 && decoder.GetChannels() <= 2 && decoder.GetSampleRate() != 0);
  const u64 frames = seekable ? decoder.GetTotalSamples() / decoder.GetSamplesPerFrame() : 0;
  if (seekable && (mode & 4)) {
    for (u64 index : {frames, u64(0), frames / 2, frames + 3, u64(1), frames - 1}) {
      if (index > 100000) continue;
      if (decoder.MakeFrameCurrent(u32(index))) {
        SLFuzzCheck(decoder.GetFrameOffset() + 4 <= size - 8 && decoder.GetHeader().frameDataSize + 4 <= 2048);
        decoder.GetBits(32);
      }
    }
  }
  if (!decoder.Start()) return 0;
  const u64 total = seekable ? decoder.GetTotalSamples() : 5000;
  for (int call = 0; call < 3; ++call) {
    const u64 first = total ? (u64(program.Take()) * 256 + program.Take()) % (total + 100) : 0;
    const u32 count = program.Take() * 40;
    const i16* samples = nullptr;
    u32 got = 0;
    if (decoder.DecodeFrame(first, count, &samples, &got)) SLFuzzCheck(got <= count && (got == 0 || samples));
  }
  return 0;
}
