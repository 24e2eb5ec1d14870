// The canonical 44-byte header of a PCM WAV file, as the tools write it before the
// samples (riffBytes and dataBytes may be patched in once the samples are written).
#pragma once

#include <cstring>

#include "foundation/SLByteOrder.h"
#include "media/reader/SLBaseVideoAudioReader.h"

inline void SLToolWavHeader(u8 (&header)[44], const SLAudioFormat& format, u32 riffBytes, u32 dataBytes) {
  std::memcpy(header, "RIFF", 4);
  SLStoreLE32(header + 4, riffBytes);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  SLStoreLE32(header + 16, 16);
  SLStoreLE16(header + 20, 1);
  SLStoreLE16(header + 22, u16(format.channels));
  SLStoreLE32(header + 24, format.samplesPerSecond);
  SLStoreLE32(header + 28, format.bytesPerSecond);
  SLStoreLE16(header + 32, u16(format.blockAlign));
  SLStoreLE16(header + 34, u16(format.bitsPerSample));
  std::memcpy(header + 36, "data", 4);
  SLStoreLE32(header + 40, dataBytes);
}
