// MXV files from the fuzzer opened over a memory storage, then every query asked of every
// stream number up to one past the last: answers must agree with each other.
#include "fuzz/MxvFuzz.h"

using namespace SLMxvFuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  CSLVideoAudioReaderMXV reader;
  reader.CheckSignature(data, u32(size));
  if (!Open(&reader, bytes)) return 0;
  u32 streams = 0;
  // A file with neither pictures nor sound opens with no stream: the player refuses it.
  Check(reader.GetStreamCount(&streams) && streams <= 2);
  for (u32 stream = 0; stream <= streams; ++stream) {
    u32 type = 0;
    const bool known = reader.GetStreamType(stream, &type);
    Check(known == (stream < streams));
    SLVideoFormat video;
    SLAudioFormat audio;
    double rate = 0;
    u64 count = 0, rawSize = 1;
    if (reader.GetVideoFormat(stream, &video)) {
      Check(type == SL_STREAM_VIDEO && video.width && video.height && video.width <= 16384 && video.height <= 16384);
      Check(reader.GetVideoFrameRate(stream, &rate) && rate > 0);
      Check(reader.GetVideoFrameCount(stream, &count) && count > 0);
      reader.IsKeyFrame(stream, 0);
      reader.IsKeyFrame(stream, count - 1);
      Check(!reader.IsKeyFrame(stream, count) && SLGetLastError() == SL_E_MEDIA_FRAME_RANGE);
      Check(reader.ReadRawFrame(stream, 0, nullptr, &rawSize) && rawSize == 0);
    }
    if (reader.GetAudioFormat(stream, &audio)) {
      Check(type == SL_STREAM_AUDIO && audio.blockAlign == audio.bitsPerSample / 8 * audio.channels);
      Check(reader.GetAudioLength(stream, &count) && count > 0);
    }
  }
  Check(reader.Close());
  return 0;
}
