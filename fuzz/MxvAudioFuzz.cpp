// MXV sound from fuzzed files (PCM and Vorbis): the whole stream in one-second reads,
// then ranges picked by the input's bytes. Every read must hand out no more than asked
// and nothing past the stream's end, readable to its last byte.
#include "fuzz/MxvFuzz.h"

using namespace SLMxvFuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  CSLVideoAudioReaderMXV reader;
  if (!Open(&reader, bytes)) return 0;
  const u32 stream = FindStream(&reader, SL_STREAM_AUDIO);
  SLAudioFormat format;
  u64 length = 0;
  if (stream == ~0u || !reader.GetAudioFormat(stream, &format) || !reader.GetAudioLength(stream, &length) ||
      !reader.StartStream(stream))
    return 0;
  auto read = [&](u64 first, u32 count) {
    const void* samples = nullptr;
    u32 got = 0;
    if (!reader.ReadAudio(stream, first, count, &samples, &got)) return false;
    Check(got <= count && (got == 0 || first + got <= length));
    Touch(samples, u64(got) * format.blockAlign);
    return got != 0;
  };
  // Whole, up to ten seconds of it.
  for (u64 first = 0; first < length && first < 10ull * format.samplesPerSecond; first += format.samplesPerSecond)
    if (!read(first, format.samplesPerSecond)) break;
  for (size_t trial = 0; trial < 6; ++trial)
    read(Word(data, size, 2 * trial) % (length + 2), Word(data, size, 2 * trial + 1) % 100000);
  Check(reader.StopStream(stream));
  return 0;
}
