// The AVI parser on arbitrary bytes, then every query and read of every stream at the edges
// of its entries and samples: no crash, no read past a buffer, and reads that report what
// they filled.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/avi/AviParser.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"

namespace {

void Exercise(AviParser& parser, u32 stream) {
  AviStreamInfo* info = parser.GetStream(stream);
  if (!info) return;
  std::vector<u8> buffer(4096);
  u64 lastEntry = info->entryCount ? info->entryCount - 1 : 0;
  u64 lastSample = info->length ? info->length - 1 : 0;
  for (u64 frame : {u64(0), lastEntry / 2, lastEntry, info->entryCount, ~u64(0)}) {
    parser.IsKeyFrame(stream, frame);
    u64 previous = frame;
    if (parser.GetPreviousKeyFrame(stream, &previous) && previous > frame) std::abort();
    u64 sample = 0, entry = 0, microseconds = 0;
    parser.GetFirstSampleOfEntry(stream, frame, &sample);
    u32 size = 0;
    if (parser.ReadEntry(stream, frame, nullptr, &size) && size <= buffer.size())
      parser.ReadEntry(stream, frame, buffer.data(), &size);
    parser.GetChunkAtTime(stream, frame * 40000, &entry, &microseconds);
  }
  for (u64 sample : {u64(0), lastSample / 3, lastSample, info->length}) {
    u64 entry = 0, microseconds = 0, bytes = 0;
    u32 samples = 0;
    if (parser.GetEntryOfSample(stream, sample, &entry) && entry >= info->entryCount) std::abort();
    parser.GetTimeOfSample(stream, sample, &microseconds);
    // Too small, exact and no buffer.
    parser.ReadSamples(stream, sample, 5, buffer.data(), 1, &bytes, &samples);
    if (parser.ReadSamples(stream, sample, 5, nullptr, 0, &bytes, &samples) && bytes <= buffer.size()) {
      if (parser.ReadSamples(stream, sample, 5, buffer.data(), u32(bytes), &bytes, &samples) && bytes > buffer.size())
        std::abort();
    }
    if (parser.ReadSamples(stream, sample, 0xFFFFFFFFu, buffer.data(), u32(buffer.size()), &bytes, &samples) &&
        bytes > buffer.size())
      std::abort();
    u64 got = 0;
    if (parser.ReadBytes(stream, sample, buffer.data(), buffer.size(), &got) && got > buffer.size()) std::abort();
    parser.ReadBytes(stream, sample, nullptr, ~u64(0), &got);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  if (size > (1 << 20)) return 0;
  std::vector<uint8_t> copy(data, data + size);
  auto* source = new CSLMemoryStorage();
  source->AttachBuffer(copy.data(), uint32_t(copy.size()), false);
  AviParser parser;
  if (parser.Open(source, 0)) {
    u32 streams = parser.GetStreamCount();
    for (u32 stream = 0; stream < streams && stream < 8; ++stream) {
      parser.StartStream(stream);
      Exercise(parser, stream);
      parser.StopStream(stream);
    }
    parser.GetInfoText(AviFourCC("INAM"));
  }
  parser.Reset();
  source->Release();
  return 0;
}
