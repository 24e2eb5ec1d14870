// The RIFF WAVE reader: one audio stream (stream 0) of interleaved PCM samples.
//
// Stored PCM (format tag 1, or WAVE_FORMAT_EXTENSIBLE with the PCM sub-format) is read
// straight from the file, frame by frame at the file's own block alignment; samples whose
// width is not 8, 16, 32 or 64 bits (24-bit packed PCM above all) are widened into the
// next of those, left-justified, so that GetAudioFormat always describes what ReadAudio
// delivers. MPEG audio (tags 0x50 and 0x55) goes through the framework's MPEG decoder as
// 16-bit PCM. Other encodings (ADPCM, G.711, GSM, float ...) go through the system's audio
// converter ("msacm32.dll"); a read that does not follow on from the previous one restarts
// the conversion from the data start and drops the frames before `first`.
//
// Open's codes: 0x80001002 null storage; 0x80020016 not RIFF/WAVE, "data" before "fmt ",
// an empty "data" or a "fact" chunk shorter than 4 bytes; 0x80020017 a format chunk that
// cannot be used (size, channels, rate, bits, block alignment) or compressed data without
// a "fact" chunk; 0x800f0007 no decoder or converter for the encoding, or a second of
// output above 64 MiB; 0x800e0001 the converter library or an entry point missing;
// 0x80000001 out of memory; the storage's code when a read or seek fails. A failed Open
// leaves the reader closed.
#pragma once

#include "media/reader/SLBaseVideoAudioReader.h"

struct SLWavState;

class CSLVideoAudioReaderWAV : public CSLBaseVideoAudioReader {
  SL_DECLARE_CLASS(CSLVideoAudioReaderWAV)
 public:
  CSLVideoAudioReaderWAV();
  ~CSLVideoAudioReaderWAV() override;

  // Walks the chunks up to "data". A non-zero flag is the lenient flag: a data size
  // beyond the end of the storage is cut to it, and short reads end the data.
  bool Open(CSLBaseStorage* storage, u32 flags) override;
  bool Close() override;
  bool GetStreamCount(u32* count) override;
  bool GetStreamType(u32 stream, u32* type) override;
  bool GetVideoFormat(u32 stream, SLVideoFormat* out) override;
  bool GetVideoFrameRate(u32 stream, double* framesPerSecond) override;
  bool IsKeyFrame(u32 stream, u64 frame) override;
  bool GetAudioFormat(u32 stream, SLAudioFormat* out) override;
  bool GetAudioLength(u32 stream, u64* frames) override;
  bool GetVideoFrameCount(u32 stream, u64* frames) override;
  bool StartStream(u32 stream) override;
  bool GetVideoFrame(u32 stream, u64 frame, const void** picture, u32* size) override;
  bool ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) override;
  bool StopStream(u32 stream) override;
  bool ReadRawFrame(u32 stream, u64 frame, void* buffer, u64* size) override;
  // 12: "RIFF" at 0 and "WAVE" at 8; fewer bytes or a null header fail with 0x80001001.
  u32 GetSignatureSize() override;
  bool CheckSignature(const void* header, u32 size) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;

 private:
  bool ParseChunks(u32 flags);
  bool ChooseOutputFormat();
  bool OpenMpeg();
  bool ReadChunkHeader(u64 position, u32* tag, u32* size);
  // The header at `position`; `afterPad` says that position follows an odd-sized chunk's
  // pad byte, and the header may then start one byte earlier (see the .cpp).
  bool NextChunkHeader(u64* position, bool afterPad, u64 fileSize, u32* tag, u32* size);
  // Checks common to the operations on stream 0; `audio` false for video operations.
  bool CheckStream(u32 stream, bool audio);
  bool ReadPcm(u64 first, u32 count, u32* got);
  bool OpenConverter(u64 bytesPerSecond);
  bool StartConverter();
  bool ReadConverted(u64 first, u32 count, u32* got);
  bool NextSourceBytes(u8* to, u32 room, u32* written);

  SLWavState* m_state;  // null while closed
};
