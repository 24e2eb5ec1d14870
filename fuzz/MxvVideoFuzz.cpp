// MXV pictures from fuzzed files (block-delta with and without change maps, Theora):
// every frame in order, then frames picked by the input's bytes. Each picture handed out
// must be the size the format promises, and readable to its last byte.
#include "fuzz/MxvFuzz.h"

using namespace SLMxvFuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  CSLVideoAudioReaderMXV reader;
  if (!Open(&reader, bytes)) return 0;
  const u32 stream = FindStream(&reader, SL_STREAM_VIDEO);
  SLVideoFormat format;
  u64 frames = 0;
  if (stream == ~0u || !reader.GetVideoFormat(stream, &format) || !reader.GetVideoFrameCount(stream, &frames) ||
      !reader.StartStream(stream))
    return 0;
  const u32 header = 40 + (format.bitsPerPixel == 8 ? 1024 : format.bitsPerPixel == 16 ? 12 : 0);
  auto show = [&](u64 frame) {
    const void* picture = nullptr;
    u32 pictureSize = 0;
    if (!reader.GetVideoFrame(stream, frame, &picture, &pictureSize)) return;
    Check(pictureSize == header + format.imageBytes);
    Touch(picture, pictureSize);
  };
  for (u64 frame = 0; frame < frames && frame < 64; ++frame) show(frame);
  for (size_t trial = 0; trial < 6; ++trial) show(Word(data, size, trial) % (frames + 1));
  Check(reader.StopStream(stream) && reader.StartStream(stream));
  show(frames - 1);
  return 0;
}
