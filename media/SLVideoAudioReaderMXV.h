// The reader of MXV movies, the framework's own container: one optional video stream
// (8x8 block-delta pictures compressed with deflate or LZW, or Theora) and one optional
// audio stream (PCM or Vorbis, indexed in one-second blocks), in tagged chunks.
//
// Video is stream 0 when present; audio is stream 1 after video, else 0. Pictures come out
// bottom-up in the header's pixel format (8 bits with the file's palette, 16 bits 5-6-5
// with masks, 24 bits); Theora pictures always as 24 bits.
//
// Open's codes: 0x80001002 null storage or a wrong magic; 0x80020018 a version other than
// 2 behind the version 2 magic; 0x80020016 any other first byte, a missing or wrongly
// sized chunk, a chunk, table entry, frame or block reaching past the file's end;
// 0x800f0006 an unusable video header (sizes 0 or above 16,384, bits not 8/16/24, rate 0);
// 0x800f0007 an unusable audio header; 0x80000001 out of memory; storage codes as they
// come. The open flags are accepted and have no effect. A failed Open leaves it closed.
//
// Decoding codes: 0x80020016 malformed frame data (a frame shorter than its blocks need,
// a bad mode, broken packet framing or Theora output that does not cover the picture);
// 0x80090001 Vorbis decoding failed; 0x800f0006 / 0x800f0007 a Theora or Vorbis stream
// that does not match the file header (at StartStream). A failed picture keeps the last
// good one; a failed audio block leaves nothing cached.
#pragma once

#include "media/reader/SLBaseVideoAudioReader.h"

struct SLMxvState;

class CSLVideoAudioReaderMXV : public CSLBaseVideoAudioReader {
  SL_DECLARE_CLASS(CSLVideoAudioReaderMXV)
 public:
  CSLVideoAudioReaderMXV();
  ~CSLVideoAudioReaderMXV() override;

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
  // Continues from the last decoded frame when the wanted one follows it, else decodes
  // from the nearest key frame at or before it.
  bool GetVideoFrame(u32 stream, u64 frame, const void** picture, u32* size) override;
  bool ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) override;
  bool StopStream(u32 stream) override;
  // The video stream answers with a size of 0 and copies nothing.
  bool ReadRawFrame(u32 stream, u64 frame, void* buffer, u64* size) override;
  // 13: the version 1 magic (13 bytes) or the version 2 magic (10 bytes) at 0.
  u32 GetSignatureSize() override;
  bool CheckSignature(const void* header, u32 size) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;

  // Pictures decoded since Open (each frame decoded on the way to a wanted one counts):
  // shows callers and tests how much work a seek cost.
  u64 GetDecodedFrameCount() const;

 private:
  bool ReadHeaders();
  bool FindChunk(u32 tag, u64* payloadSize);
  bool ReadTables();
  // Common checks; `type` is the stream type the operation needs.
  bool CheckStream(u32 stream, u32 type);
  bool StartVideo();
  bool StartTheora();
  bool StartAudio();
  bool StartVorbis();
  void StopVideo();
  void StopAudio();
  // Reads the three header packets of a "VHDR" or "AHDR" chunk and hands each to `take`.
  template <class Take>
  bool ReadHeaderPackets(u32 tag, Take take);
  bool DecodeFrame(u64 frame);
  bool DecodeBlockDelta(const u8* data, u32 size);
  bool DecodeTheora(const u8* data, u32 size);
  bool DecodeAudioBlock(u64 block);
  bool DecodeVorbisBlock(u64 block);
  bool ReadBlockPayload(u64 block);

  SLMxvState* m_state;  // null while closed
};
