// The RIFF AVI reader: the streams the AVI parser finds, decoded on demand. Video frames go
// through the system's video decompressors ("msvfw32.dll", or a decoder driver module that
// a derived reader supplies with LoadCodecModule) into bottom-up RGB pictures; compressed
// audio through the system's audio converter ("msacm32.dll"), MPEG audio through the
// framework's MPEG decoder, and PCM is read directly. Audio is always delivered as the PCM
// GetAudioFormat describes: stored widths it does not report (24-bit, extensible PCM) are
// converted while reading.
//
// Codes: 0x80020005 not open; 0x80001002 null storage; 0x80001005 / 0x80001006 null out
// pointers; 0x80001001 frame past the end (GetVideoFrame, ReadRawFrame) or short signature;
// 0x80001004 format block too short; 0x80001008 extension index; 0x800f0001 stream number;
// 0x800f0003 frame past the end (IsKeyFrame); 0x800f0004 not video; 0x800f0005 not audio;
// 0x800f0006 unusable video format (a side above 16,384 pixels among them) or no
// decompressor; 0x800f0007 no audio converter, or a second of output above 64 MiB;
// 0x800f0008 stream neither video nor audio, or without a format; 0x800e0001 a system
// library or entry point missing; 0x80090003 decoding failed; 0x80090006 not started;
// 0x80090007 already started; 0x80000001 out of memory; 0x80020010 a chunk past the end of
// the file.
#pragma once

#include "media/reader/SLBaseVideoAudioReader.h"
#include "platform/wintypes.h"
#include "storage/SLBaseStorage.h"

class AviParser;
struct AviStreamDecoder;
struct AviChunkCursor;
namespace SLRiffAudio {
struct SLAcmPump;
}

class CSLVideoAudioReaderAVI : public CSLBaseVideoAudioReader {
  SL_DECLARE_CLASS(CSLVideoAudioReaderAVI)
 public:
  CSLVideoAudioReaderAVI();
  ~CSLVideoAudioReaderAVI() override;

  // A non-zero flag is the lenient flag: failed reads of audio end the data.
  bool Open(CSLBaseStorage* storage, u32 flags) override;
  bool Close() override;
  bool GetStreamCount(u32* count) override;
  bool GetStreamType(u32 stream, u32* type) override;
  bool GetVideoFormat(u32 stream, SLVideoFormat* out) override;
  // Rate / scale of the stream header; within 0.001 of a whole number, that number.
  bool GetVideoFrameRate(u32 stream, double* framesPerSecond) override;
  bool IsKeyFrame(u32 stream, u64 frame) override;
  bool GetAudioFormat(u32 stream, SLAudioFormat* out) override;
  bool GetAudioLength(u32 stream, u64* frames) override;
  bool GetVideoFrameCount(u32 stream, u64* frames) override;
  bool StartStream(u32 stream) override;
  // The same frame twice decodes once; the next frame decodes one; any other frame decodes
  // from the key frame before it.
  bool GetVideoFrame(u32 stream, u64 frame, const void** picture, u32* size) override;
  bool ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) override;
  bool StopStream(u32 stream) override;
  bool ReadRawFrame(u32 stream, u64 frame, void* buffer, u64* size) override;
  u32 GetSignatureSize() override;
  // "RIFF" at 0 and "AVI " at 8.
  bool CheckSignature(const void* header, u32 size) override;
  const char* GetExtensionA(u32 index) override;
  const SLWChar* GetExtensionW(u32 index) override;
  // A module exporting DriverProc that decodes the given compression FOURCC (four
  // characters and a NUL), or 0 to use the system's decompressors. Not asked for a FOURCC
  // with a zero byte. The module is freed with SLFreeLibrary when the stream stops.
  virtual HMODULE LoadCodecModule(const char* fourcc);

 protected:
  AviParser* GetParser() const { return m_parser; }

 private:
  AviStreamDecoder* FindDecoder(u32 stream) const;
  // Not open, stream range, started and kind checks shared by the decoding operations.
  AviStreamDecoder* StartedDecoder(u32 stream, u32 kind);
  bool StartVideo(AviStreamDecoder* d);
  bool StartAudio(AviStreamDecoder* d);
  bool StartConverter(AviStreamDecoder* d);
  bool StartDriver(AviStreamDecoder* d);
  bool StartSystemDecompressor(AviStreamDecoder* d);
  void StopVideo(AviStreamDecoder* d);
  void StopAudio(AviStreamDecoder* d);
  bool DecodeFrame(AviStreamDecoder* d, u64 frame, bool fresh);
  bool ReadPcm(AviStreamDecoder* d, u64 first, u32 count, u32* got);
  bool ReadConverted(AviStreamDecoder* d, u64 first, u32 count, u32* got);
  bool ReadNextChunk(AviStreamDecoder* d, u64 entry);
  bool NextSourceBytes(SLRiffAudio::SLAcmPump* pump, AviChunkCursor* cursor, u8* to, u32 room, u32* written);

  AviParser* m_parser;  // null while closed; the base's source is referenced while open
};
