// The MPEG audio decoder core on arbitrary bytes: open (strict and lenient, as a seekable
// and as a sequential stream), then frames reached at the edges of the offset table and
// beyond it. No crash, no read outside the frame buffer, offsets inside the stream.
#include <cstdint>
#include <cstdlib>

#include "media/mpeg/SLMpegAudioDecoder.h"
#include "storage/SLMemoryStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const u32 mode = data[0];
  CSLMemoryStorage storage;
  storage.Write(data + 1, size - 1);
  storage.Seek(0, SL_SEEK_BEGIN);
  SLInternals::CMXMP3_DecoderHelper decoder;
  const u32 seekable = mode & 1;
  if (!decoder.Open(&storage, seekable, (mode >> 1) & 1)) return 0;
  if (decoder.GetChannels() < 1 || decoder.GetChannels() > 2 || decoder.GetSampleRate() == 0) std::abort();
  if (!seekable) return 0;
  const u64 frames = decoder.GetTotalSamples() / decoder.GetSamplesPerFrame();
  for (u64 index : {frames, u64(0), frames / 2, frames + 3, u64(1), frames - 1}) {
    if (index > 100000) continue;
    if (decoder.MakeFrameCurrent(u32(index))) {
      if (decoder.GetFrameOffset() + 4 > size - 1 || decoder.GetHeader().frameDataSize + 4 > 2048) std::abort();
      decoder.GetBits(32);
    }
  }
  return 0;
}
