// The movie file writer driven by random settings and random sequences of opens, writes
// of random sizes, finishes and resets into a scratch file, and the profile reader fed
// random text: no crash; refused settings leave the writer as it was, and every other
// refused open, every finish and every reset leaves it reset.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/media/WmvWriter.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint32_t Byte() { return at < size ? data[at++] : 0; }
  bool More() const { return at < size; }
};

const std::string& ScratchFile() {
  static const std::string path = [] {
    char pattern[] = "/tmp/wmvfuzzXXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    return std::string(pattern) + ".wmv";
  }();
  return path;
}

bool IsReset(const WmvWriter& w) {
  return !w.writer && !w.profile && !w.profileManager && !w.profileManager2 && w.videoInput == kWmvNoInput &&
         w.audioInput == kWmvNoInput && !w.videoProps && !w.audioProps && w.videoFrames == 0 && w.audioFrames == 0 &&
         !w.fileName && !w.temporaryName;
}

// Settings near the edges of what is accepted; pictures stay small to keep runs fast.
WmvWriterSettings RandomSettings(Input& in) {
  static const uint32_t kRates[] = {0, 3999, 4000, 8000, 11025, 22050, 44100, 48000, 96000, 200000};
  static const double kQualities[] = {-5.0, 0.5, 1.0, 50.0, 100.0, 250.0};
  WmvWriterSettings s{};
  s.width = in.Byte() % 70;
  s.height = in.Byte() % 70;
  s.framesPerSecond = in.Byte() % 40;
  s.quality = kQualities[in.Byte() % 6];
  s.samplesPerSecond = kRates[in.Byte() % 10];
  s.channels = in.Byte() % 4;
  s.bitsPerSample = (in.Byte() % 4) * 8;
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  WmvWriter writer;
  WmvWriter_Init(&writer);
  std::vector<uint8_t> buffer;
  for (int op = 0; op < 12 && in.More(); ++op) {
    switch (in.Byte() % 5) {
      case 0: {
        const WmvWriterSettings settings = RandomSettings(in);
        const WmvWriter before = writer;
        const HRESULT hr = WmvWriter_Open(&writer, ScratchFile().c_str(), &settings);
        if (u32(hr) == 0x80070057u && std::memcmp(&before, &writer, sizeof before) != 0 && !IsReset(writer))
          abort();  // refused settings changed the writer
        if (hr < 0 && u32(hr) != 0x80070057u && !IsReset(writer)) abort();
        break;
      }
      case 1: {
        const size_t bytes = size_t(WmvWriter_RowBytes(writer.settings.width)) * writer.settings.height;
        buffer.assign(bytes, uint8_t(in.Byte()));
        WmvWriter_WriteVideoFrame(&writer, buffer.data());
        break;
      }
      case 2: {
        const u32 count = in.Byte() * 97 + in.Byte();
        // Room for the widest sample frame the settings allow (3 channels of 16 bits).
        buffer.assign(size_t(count) * 6 + 1, uint8_t(in.Byte()));
        WmvWriter_WriteAudioSamples(&writer, buffer.data(), count);
        break;
      }
      case 3:
        WmvWriter_Finish(&writer);
        if (!IsReset(writer)) abort();
        break;
      default:
        WmvWriter_Reset(&writer);
        if (!IsReset(writer)) abort();
        break;
    }
  }
  WmvWriter_Destroy(&writer);
  unlink(ScratchFile().c_str());
  return 0;
}
