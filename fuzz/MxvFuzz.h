// What the MXV fuzz targets share: a reader opened on an exactly sized copy of the input
// (so reads past the file show), and numbers taken from the input's own bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/MediaClasses.h"
#include "media/SLVideoAudioReaderMXV.h"
#include "storage/SLMemoryStorage.h"

namespace SLMxvFuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

inline u32 Word(const uint8_t* data, size_t size, size_t index) {
  u32 value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | data[(index * 4 + i) % size];
  return value;
}

// Opens `bytes` (kept alive by the caller); false leaves the reader closed.
inline bool Open(CSLVideoAudioReaderMXV* reader, std::vector<uint8_t>& bytes) {
  static bool registered = (SLRegisterMediaClasses(), true);
  (void)registered;
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(bytes.data(), u32(bytes.size()), false);
  const bool opened = reader->Open(storage, 0);
  storage->Release();
  u32 streams = 9;
  Check(opened == reader->GetStreamCount(&streams));
  Check(opened || streams == 0);
  return opened;
}

// Reads every byte handed out, so that a block reaching past its buffer shows.
inline void Touch(const void* data, u64 size) {
  u8 sum = 0;
  for (u64 i = 0; i < size; ++i) sum ^= static_cast<const u8*>(data)[i];
  volatile u8 sink = sum;
  (void)sink;
}

// The stream of a type, or ~0u.
inline u32 FindStream(CSLVideoAudioReaderMXV* reader, u32 wanted) {
  u32 streams = 0, type = 0;
  reader->GetStreamCount(&streams);
  for (u32 stream = 0; stream < streams; ++stream)
    if (reader->GetStreamType(stream, &type) && type == wanted) return stream;
  return ~0u;
}

}  // namespace SLMxvFuzz
