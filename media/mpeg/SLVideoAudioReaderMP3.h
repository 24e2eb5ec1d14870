// A bare MPEG audio file ("MP3") as a reader with one audio stream (stream 0) of
// interleaved 16-bit PCM. All parsing and decoding is the MPEG audio decoder's: the
// reader opens one decoder over its storage and forwards the audio operations to it.
//
// Codes: 0x80020005 not open; 0x800f0001 a stream other than 0; 0x800f0004 video asked
// of stream 0; 0x80001005 a null out pointer (0x80001006 ReadAudio's count); the
// decoder's codes as it leaves them.
#pragma once

#include "media/reader/SLBaseVideoAudioReader.h"

struct SLMp3State;

class CSLVideoAudioReaderMP3 : public CSLBaseVideoAudioReader {
  SL_DECLARE_CLASS(CSLVideoAudioReaderMP3)
 public:
  CSLVideoAudioReaderMP3();
  ~CSLVideoAudioReaderMP3() override;

  // A non-zero flag is the decoder's lenient flag: no limit on the bytes before the
  // first frame, damaged frames read as silence.
  bool Open(CSLBaseStorage* storage, u32 flags) override;
  // Keeps the caller's error code.
  bool Close() override;
  bool GetStreamCount(u32* count) override;
  bool GetStreamType(u32 stream, u32* type) override;
  bool GetVideoFormat(u32 stream, SLVideoFormat* out) override;
  bool GetVideoFrameRate(u32 stream, double* framesPerSecond) override;
  bool IsKeyFrame(u32 stream, u64 frame) override;
  bool GetAudioFormat(u32 stream, SLAudioFormat* out) override;
  // 0 when the decoder cannot tell the length (a stream that cannot seek).
  bool GetAudioLength(u32 stream, u64* frames) override;
  bool GetVideoFrameCount(u32 stream, u64* frames) override;
  bool StartStream(u32 stream) override;
  bool GetVideoFrame(u32 stream, u64 frame, const void** picture, u32* size) override;
  bool ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) override;
  bool StopStream(u32 stream) override;
  bool ReadRawFrame(u32 stream, u64 frame, void* buffer, u64* size) override;
  // 4: the 12-bit frame sync 0xFFF at the start; fewer bytes or a null header fail with
  // 0x80001001. A file starting with an ID3 tag is still read when chosen by extension.
  u32 GetSignatureSize() override;
  bool CheckSignature(const void* header, u32 size) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;

 private:
  // The common checks: open, stream 0, and for video operations 0x800f0004.
  bool CheckStream(u32 stream, bool audio);

  SLMp3State* m_state;  // null while closed
};
