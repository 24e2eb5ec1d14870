// What the AVI reader keeps for a started stream, and the storage adapter through which
// the MPEG audio decoder reads an AVI audio stream's chunks as one byte stream.
#pragma once

#include "media/avi/AviParser.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "platform/gdi32/Gdi32.h"
#include "media/SLAudioConverterApi.h"
#include "platform/msvfw32/Vfw.h"
#include "platform/user32/User32.h"
#include "storage/SLBaseStorage.h"

namespace SLInternals {
class CMXMP3_DecoderHelper;
class CSL_VideoAvi_Mp3DecoderStg;
}  // namespace SLInternals

enum : u32 {
  kAviKindVideo = 1,
  kAviKindAudio = 2,
};

// One started stream, zero-filled when created.
struct AviStreamDecoder {
  AviStreamDecoder* next;
  AviStreamInfo* info;
  u32 stream;
  u32 kind;

  // Video.
  SLVideoFormat videoFormat;
  HMODULE codecModule;
  SLDriverProcFn driverProc;
  DWORD_PTR driverId;
  bool extended;
  HIC decompressor;
  HMODULE vfwLibrary;
  SLICOpenFn pICOpen;
  SLICCloseFn pICClose;
  SLICSendMessageFn pICSendMessage;
  SLICLocateFn pICLocate;
  SLICDecompressFn pICDecompress;
  u8* inputFormat;  // the stream's format block, padded for a colour table
  u8* output;       // BITMAPINFOHEADER, palette for 8 bits, picture
  u32 outputSize;
  u8* picture;      // inside `output`
  u8* frameBuffer;  // one compressed chunk
  u32 frameCapacity;
  u64 lastFrame;  // all bits set: none

  // Audio.
  SLAudioFormat audioFormat;
  u64 length;  // samples
  WAVEFORMATEX outputWave;
  u8* sourceWave;  // the stream's format block as a WAVEFORMATEX with its extra bytes
  SLAudioConverterApi acm;
  HACMSTREAM acmStream;
  ACMSTREAMHEADER acmHeader;
  bool headerPrepared;
  u8* source;  // kAviAcmSourceBytes
  u8* destination;  // one second of output
  u32 destinationSize;
  SLRiffAudio::SLAcmPump pump;
  HMODULE user32Library;
  BOOL (*pPeekMessageA)(MSG*, HWND, UINT, UINT, UINT);
  BOOL (*pPeekMessageW)(MSG*, HWND, UINT, UINT, UINT);
  u8* chunk;  // one compressed audio chunk, or stored PCM on its way to being widened
  u32 chunkCapacity;
  u32 chunkFill;
  u32 chunkRead;
  SLInternals::CMXMP3_DecoderHelper* mpeg;
  SLInternals::CSL_VideoAvi_Mp3DecoderStg* mpegStorage;
  u8* samples;  // handed to ReadAudio's callers
  u32 samplesCapacity;
  // Stored PCM whose width differs from what is reported: bytes per stored frame and per
  // channel in it.
  u32 storedFrame;
  u32 storedSlot;
  u32 samplesPerBlock;  // ADPCM: decoded frames per source block; 0 when not known
};

inline constexpr u32 kAviAcmSourceBytes = 16384;

namespace SLInternals {

// The payloads of one AVI audio stream's chunks laid end to end, read-only and seekable.
class CSL_VideoAvi_Mp3DecoderStg : public CSLBaseStorage {
  SL_DECLARE_CLASS(CSL_VideoAvi_Mp3DecoderStg)
 public:
  CSL_VideoAvi_Mp3DecoderStg();
  // Reads the stream of `decoder` in `source`; the total is the sum of its chunk sizes.
  void Attach(AviStreamDecoder* decoder, CSLBaseStorage* source);

  bool CanRead() override;
  u64 Read(void* buffer, u64 count) override;
  bool CanWrite() override;
  // Unsupported: 0x80002003, 0.
  u64 Write(const void* buffer, u64 count) override;
  bool CanSeek() override;
  // Always succeeds: positions from the start or the current one stop at 0 and at the
  // size; from the end a positive offset goes past it; unknown origins change nothing.
  bool Seek(i64 offset, u32 origin) override;
  bool GetPosition(u64* out) override;
  bool IsEOF() override;
  bool Flush() override;
  bool Lock(u64 offset, u64 length) override;
  bool Unlock(u64 offset, u64 length) override;
  bool SetSize(u64 size) override;
  bool GetSize(u64* out) override;

 private:
  AviStreamDecoder* m_decoder;
  CSLBaseStorage* m_source;
  u64 m_position;
  u64 m_size;
};

}  // namespace SLInternals
