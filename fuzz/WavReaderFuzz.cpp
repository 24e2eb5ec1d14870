// WAV files from the fuzzer opened over a memory storage, strictly and leniently, then
// read over ranges taken from the file's last bytes. Every range read must hand out
// exactly the frames the reader promised, inside its own buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/MediaClasses.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "storage/SLMemoryStorage.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

u32 Word(const uint8_t* data, size_t size, size_t index) {
  u32 value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | data[(index * 4 + i) % size];
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterMediaClasses(), true);
  (void)registered;
  if (size == 0) return 0;
  for (u32 flags = 0; flags < 2; ++flags) {
    // The storage gets an exactly sized copy, so reads past the file show.
    std::vector<uint8_t> bytes(data, data + size);
    auto* storage = new CSLMemoryStorage();
    storage->AttachBuffer(bytes.data(), u32(bytes.size()), false);
    CSLVideoAudioReaderWAV reader;
    const bool opened = reader.Open(storage, flags);
    storage->Release();
    if (!opened) {
      u32 streams = 1;
      Check(!reader.GetStreamCount(&streams) && streams == 0);
      continue;
    }
    SLAudioFormat format;
    u64 length = 0;
    Check(reader.GetAudioFormat(0, &format) && reader.GetAudioLength(0, &length));
    Check(format.formatTag == 1 && format.channels > 0 && format.blockAlign == format.bitsPerSample / 8 * format.channels);
    Check(reader.StartStream(0));
    for (size_t trial = 0; trial < 4; ++trial) {
      const u64 first = length ? Word(data, size, trial * 2) % (length + 2) : Word(data, size, trial * 2) % 4;
      const u32 count = Word(data, size, trial * 2 + 1) % 70000;
      const void* samples = nullptr;
      u32 got = 0;
      if (!reader.ReadAudio(0, first, count, &samples, &got)) continue;
      Check(got <= count && (got == 0 || first + got <= length));
      if (got) {
        // Touch every byte handed out.
        u8 sum = 0;
        const u8* p = static_cast<const u8*>(samples);
        for (u64 i = 0; i < u64(got) * format.blockAlign; ++i) sum ^= p[i];
        volatile u8 sink = sum;
        (void)sink;
      }
    }
    Check(reader.StopStream(0) && reader.Close());
  }
  return 0;
}
