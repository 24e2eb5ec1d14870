// AVI files from the fuzzer through the whole reader and the system's decompressors and
// converters: every frame of every video stream, audio at ranges taken from the file's
// last bytes. Pictures and samples handed out must be as large as promised. Each input
// gets a time budget, so that a huge declared stream does not stall the run.
#include <chrono>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzProgram.h"
#include "media/MediaClasses.h"
#include "media/avi/SLVideoAudioReaderAVI.h"
#include "storage/SLMemoryStorage.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kBudget = std::chrono::milliseconds(400);

u32 Word(const uint8_t* data, size_t size, size_t index) {
  u32 value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | data[size - 1 - (index * 4 + i) % size];
  return value;
}

void Touch(const void* block, u64 bytes) {
  u8 sum = 0;
  const u8* p = static_cast<const u8*>(block);
  for (u64 i = 0; i < bytes; ++i) sum ^= p[i];
  volatile u8 sink = sum;
  (void)sink;
}

void Video(CSLVideoAudioReaderAVI& reader, u32 stream, Clock::time_point end) {
  SLVideoFormat format;
  u64 frames = 0;
  if (!reader.GetVideoFrameCount(stream, &frames) || !reader.StartStream(stream)) return;
  SLFuzzCheck(reader.GetVideoFormat(stream, &format));
  for (u64 frame = 0; frame < frames && Clock::now() < end; ++frame) {
    const void* picture = nullptr;
    u32 size = 0;
    if (!reader.GetVideoFrame(stream, frame, &picture, &size)) continue;
    SLFuzzCheck(size == 40 + (format.bitsPerPixel == 8 ? 1024 : 0) + format.imageBytes);
    Touch(picture, size);
  }
  // Backwards once, from a key frame.
  const void* picture = nullptr;
  if (frames > 2) reader.GetVideoFrame(stream, frames / 2, &picture, nullptr);
  SLFuzzCheck(reader.StopStream(stream));
}

void Audio(CSLVideoAudioReaderAVI& reader, u32 stream, const uint8_t* data, size_t size, Clock::time_point end) {
  SLAudioFormat format;
  u64 length = 0;
  if (!reader.GetAudioFormat(stream, &format) || !reader.GetAudioLength(stream, &length)) return;
  SLFuzzCheck(format.formatTag == 1 && format.blockAlign == format.bitsPerSample / 8 * format.channels);
  if (!reader.StartStream(stream)) return;
  // A started decoder may correct the header's format: the samples follow the decoder's.
  SLFuzzCheck(reader.GetAudioFormat(stream, &format));
  SLFuzzCheck(format.formatTag == 1 && format.blockAlign == format.bitsPerSample / 8 * format.channels);
  for (size_t trial = 0; trial < 6 && Clock::now() < end; ++trial) {
    const u64 first = Word(data, size, trial * 2) % (length + 2);
    const u32 count = Word(data, size, trial * 2 + 1) % 50000;
    const void* samples = nullptr;
    u32 got = 0;
    if (!reader.ReadAudio(stream, first, count, &samples, &got)) continue;
    SLFuzzCheck(got <= count && (got == 0 || first + got <= length));
    Touch(samples, u64(got) * format.blockAlign);
  }
  SLFuzzCheck(reader.StopStream(stream));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterMediaClasses(), true);
  (void)registered;
  if (size == 0) return 0;
  const Clock::time_point end = Clock::now() + kBudget;
  std::vector<uint8_t> bytes(data, data + size);
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(bytes.data(), u32(bytes.size()), false);
  CSLVideoAudioReaderAVI reader;
  const bool opened = reader.Open(storage, size & 1);
  storage->Release();
  if (!opened) return 0;
  u32 streams = 0;
  SLFuzzCheck(reader.GetStreamCount(&streams));
  for (u32 stream = 0; stream < streams && stream < 8; ++stream) {
    u32 type = 0;
    reader.GetStreamType(stream, &type);
    if (type == SL_STREAM_VIDEO) Video(reader, stream, end);
    if (type == SL_STREAM_AUDIO) Audio(reader, stream, data, size, end);
  }
  // Streams left started are stopped by Close.
  reader.StartStream(0);
  SLFuzzCheck(reader.Close());
  return 0;
}
