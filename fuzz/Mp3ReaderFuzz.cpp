// The MP3 file reader on arbitrary bytes: open (flags from the first byte), format and
// length, then reads at ranges the input chooses. No crash, the format consistent, never
// more samples than asked for.
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzProgram.h"
#include "media/mpeg/SLVideoAudioReaderMP3.h"
#include "storage/SLMemoryStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  SLFuzzProgram program{data, 8};
  const u32 flags = program.Take() & 1;
  CSLMemoryStorage* storage = new CSLMemoryStorage();
  storage->Write(data + 8, size - 8);
  storage->Seek(0, SL_SEEK_BEGIN);
  {
    CSLVideoAudioReaderMP3 reader;
    if (reader.Open(storage, flags)) {
      SLAudioFormat format{};
      u64 length = 0;
      SLFuzzCheck(reader.GetAudioFormat(0, &format) && reader.GetAudioLength(0, &length));
      SLFuzzCheck(format.blockAlign == 2 * format.channels && format.bitsPerSample == 16);
      if (reader.StartStream(0)) {
        for (int call = 0; call < 3; ++call) {
          const u64 first = length ? (u64(program.Take()) * 256 + program.Take()) % (length + 10) : 0;
          const u32 count = program.Take() * 30;
          const void* samples = nullptr;
          u32 got = 0;
          if (reader.ReadAudio(0, first, count, &samples, &got)) SLFuzzCheck(got <= count);
        }
        reader.StopStream(0);
      }
    }
  }
  storage->Release();
  return 0;
}
