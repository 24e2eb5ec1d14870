// What the readers of RIFF audio (WAV files and the audio streams of AVI files) share: the
// FOURCC of chunk names, the format tags of the stored wave format, the test for stored
// PCM and the widening of stored frames to the sample width a reader reports.
#pragma once

#include "foundation/SLTypes.h"
#include "media/reader/SLBaseVideoAudioReader.h"

// FOURCC of four characters as they appear in the file (the first one in the low byte).
constexpr u32 SLFourCC(const char (&text)[5]) {
  return u32(u8(text[0])) | u32(u8(text[1])) << 8 | u32(u8(text[2])) << 16 | u32(u8(text[3])) << 24;
}

namespace SLRiffAudio {

// The format tags of WAVEFORMATEX that the readers tell apart.
enum : u32 {
  kTagPcm = 1,
  kTagMsAdpcm = 2,
  kTagALaw = 6,
  kTagMuLaw = 7,
  kTagImaAdpcm = 0x11,
  kTagMpeg = 0x50,
  kTagMpegLayer3 = 0x55,
  kTagIbmMuLaw = 0x101,
  kTagIbmALaw = 0x102,
  kTagExtensible = 0xFFFE,
};

// Whether a stored wave format (`size` bytes) holds plain PCM: tag 1, or the extensible
// format with the PCM sub-format GUID at offset 24.
bool IsStoredPcm(const u8* format, u32 size);

// Copies `frames` stored frames (each `storedFrame` bytes, channel c's sample in the `slot`
// bytes at c * slot) into frames of `container`-byte samples. A narrower slot is
// left-justified (24 -> 32 bits: the low byte becomes 0); a wider one keeps its most
// significant bytes. 8-bit samples are unsigned and the wider ones signed, so a sample
// crossing that line has its top bit switched.
void WidenStoredFrames(const u8* in, u8* out, u32 frames, u32 channels, u32 storedFrame, u32 slot, u32 container);

}  // namespace SLRiffAudio

// The readers of one audio stream and no pictures (WAV, MP3): stream 0 is audio, and every
// picture query of it fails with 0x800F0004 after its output is cleared. `open` says
// whether the reader holds a file (else 0x80020005).
namespace SLSingleAudioStream {

bool Check(bool open, u32 stream, bool audio);
bool StreamCount(bool open, u32* count);
bool StreamType(bool open, u32 stream, u32* type);
bool VideoFormat(bool open, u32 stream, SLVideoFormat* out);
bool VideoFrameRate(bool open, u32 stream, double* framesPerSecond);
bool VideoFrameCount(bool open, u32 stream, u64* frames);
bool VideoFrame(bool open, u32 stream, const void** picture, u32* size);
bool RawFrame(bool open, u32 stream, u64* size);

}  // namespace SLSingleAudioStream
