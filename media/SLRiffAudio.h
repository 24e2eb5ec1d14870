// What the readers of RIFF audio (WAV files and the audio streams of AVI files) share: the
// FOURCC of chunk names, the format tags of the stored wave format, the test for stored
// PCM, the widening of stored frames to the sample width a reader reports and the pump
// that feeds the system's audio converter.
#pragma once

#include "foundation/SLTypes.h"
#include "media/SLAudioConverterApi.h"
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

// Feeds an open converter stream from a reader's source bytes and hands out whole output
// frames. The reader owns the prepared header and its two buffers (pbSrc of
// `sourceCapacity` bytes, pbDst of `destinationSize`); the pump keeps what is buffered in
// them between reads, so a read that follows on from the previous one continues where it
// stopped. Allocated zero-filled with its owner; the owner fills the first block.
struct SLAcmPump {
  // Where the bytes to convert come from: writes up to `room` bytes at `to` and says how
  // many in `written`. When the source has no more bytes it sets pump->exhausted (what is
  // buffered is still converted); setting pump->stopped instead ends the reads after the
  // conversion under way. False fails the read with the code the source set.
  using NextBytes = bool (*)(SLAcmPump* pump, void* context, u8* to, u32 room, u32* written);

  SLAudioConverterApi* acm;
  HACMSTREAM stream;
  ACMSTREAMHEADER* header;
  u32 sourceCapacity;
  u32 destinationSize;
  u32 frameBytes;  // the output's block alignment
  bool lenient;    // a failed conversion, or one that stalls early, ends the data instead of failing

  u32 sourceFill;       // bytes waiting in pbSrc
  u32 destinationRead;  // bytes of pbDst's output already handed out or dropped
  u64 skip;             // output frames to drop before handing any out
  bool start;           // the next conversion is the stream's first (the converter resets its state)
  bool exhausted;       // the source has no more bytes
  bool stopped;         // reads end here until the next Restart

  // Empties both buffers and drops the first `skipFrames` frames of what follows.
  void Restart(u64 skipFrames);
  // Converts until `count` frames are written to `out` or the data ends; `*got` (0 on
  // entry) counts the frames written, also when the read fails. A conversion the converter
  // refuses, or one that takes no source and gives less than a frame while the source has
  // more bytes, fails with 0x80090003 unless lenient.
  bool Read(NextBytes next, void* context, u8* out, u32 count, u32* got);
};

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
