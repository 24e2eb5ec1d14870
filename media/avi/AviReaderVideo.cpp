// The AVI reader's video streams: a decoder driver module or the system's decompressors
// turn each chunk into the bottom-up RGB picture of the output block.
#include <new>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "media/avi/AviStreamDecoder.h"
#include "media/avi/SLVideoAudioReaderAVI.h"

namespace {

constexpr u32 kHeaderBytes = 40;
constexpr u32 kPaletteBytes = 1024;
constexpr DWORD kHurryNotKey = ICDECOMPRESS_HURRYUP | ICDECOMPRESS_NOTKEYFRAME;

BITMAPINFOHEADER* InputHeader(AviStreamDecoder* d) { return reinterpret_cast<BITMAPINFOHEADER*>(d->inputFormat); }
BITMAPINFOHEADER* OutputHeader(AviStreamDecoder* d) { return reinterpret_cast<BITMAPINFOHEADER*>(d->output); }

ICDECOMPRESSEX ExtendedBlock(AviStreamDecoder* d, DWORD flags, void* data) {
  const int width = int(d->videoFormat.width), height = int(d->videoFormat.height);
  return ICDECOMPRESSEX{flags, InputHeader(d), data, OutputHeader(d), d->picture, 0, 0, width, height, 0, 0,
                        width, height};
}

// A decoder call; an exception inside it is that call's failure.
template <class F, class... Args>
LRESULT Guarded(F function, Args... args) {
  try {
    return LRESULT(function(args...));
  } catch (...) {
    return ICERR_INTERNAL;
  }
}

LRESULT Driver(AviStreamDecoder* d, UINT message, LPARAM p1, LPARAM p2) {
  return Guarded(d->driverProc, d->driverId, static_cast<HANDLE>(d), message, p1, p2);
}

// Negative answers are failures, whatever width the entry returns them in.
bool Failed(LRESULT answer) { return i32(answer) < 0; }

void GiveUpDriver(AviStreamDecoder* d) {
  if (d->driverId) Driver(d, DRV_CLOSE, 0, 0);
  d->driverId = 0;
  Driver(d, DRV_DISABLE, 0, 0);
  Driver(d, DRV_FREE, 0, 0);
  d->driverProc = nullptr;
  SLFreeLibrary(d->codecModule);
  d->codecModule = nullptr;
}

}  // namespace

bool CSLVideoAudioReaderAVI::StartVideo(AviStreamDecoder* d) {
  if (!GetVideoFormat(d->stream, &d->videoFormat)) return false;
  const SLVideoFormat& f = d->videoFormat;
  if ((f.bitsPerPixel != 8 && f.bitsPerPixel != 16 && f.bitsPerPixel != 24 && f.bitsPerPixel != 32) || !f.width ||
      !f.height)
    return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  // The format copy carries room for a full colour table after the stored bytes, and its
  // header size never claims more than was stored.
  const u32 formatSize = d->info->formatSize;
  u64 copySize = 0;
  if (!SLCheckedAdd(formatSize, kPaletteBytes, &copySize) || !SLFitsU32(copySize))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  d->inputFormat = static_cast<u8*>(SLAllocZeroed(u32(copySize)));
  if (!d->inputFormat) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLMemCopy(d->inputFormat, d->info->format, formatSize);
  BITMAPINFOHEADER* in = InputHeader(d);
  if (in->biSize < kHeaderBytes || in->biSize > formatSize) in->biSize = in->biSize < kHeaderBytes ? kHeaderBytes : formatSize;
  if (in->biClrUsed > 256) in->biClrUsed = 256;

  const u32 paletteBytes = f.bitsPerPixel == 8 ? kPaletteBytes : 0;
  u64 outputSize = 0;
  if (!SLCheckedAdd(u64(kHeaderBytes) + paletteBytes, f.imageBytes, &outputSize) || !SLFitsU32(outputSize))
    return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  d->output = static_cast<u8*>(SLAllocZeroed(u32(outputSize)));
  if (!d->output) return SLFail(SL_E_OUT_OF_MEMORY, false);
  d->outputSize = u32(outputSize);
  d->picture = d->output + kHeaderBytes + paletteBytes;
  BITMAPINFOHEADER* out = OutputHeader(d);
  out->biSize = kHeaderBytes;
  out->biWidth = LONG(f.width);
  out->biHeight = LONG(f.height);
  out->biPlanes = 1;
  out->biBitCount = WORD(f.bitsPerPixel);
  out->biCompression = 0;
  out->biSizeImage = f.imageBytes;
  d->lastFrame = ~u64(0);

  char fourcc[5] = {};
  bool zeroByte = false;
  for (int i = 0; i < 4; ++i) {
    fourcc[i] = char(f.compression >> (8 * i));
    zeroByte |= fourcc[i] == 0;
  }
  if (!zeroByte) {
    d->codecModule = LoadCodecModule(fourcc);
    if (d->codecModule && !SLBindProc(d->codecModule, u"DriverProc", &d->driverProc)) {
      SLFreeLibrary(d->codecModule);
      d->codecModule = nullptr;
    }
    if (d->driverProc && StartDriver(d)) return SLSucceed(true);
  }
  return StartSystemDecompressor(d);
}

bool CSLVideoAudioReaderAVI::StartDriver(AviStreamDecoder* d) {
  if (Driver(d, DRV_LOAD, 0, 0) != 1) {
    d->driverProc = nullptr;
    SLFreeLibrary(d->codecModule);
    d->codecModule = nullptr;
    return false;
  }
  Driver(d, DRV_ENABLE, 0, 0);
  const DWORD handlers[2] = {d->info->header.handler, d->videoFormat.compression};
  for (DWORD handler : handlers) {
    ICOPEN open = {sizeof(ICOPEN), AviFourCC("vidc"), handler, 1, ICMODE_DECOMPRESS, 0, nullptr, nullptr, 0};
    const LRESULT id = Driver(d, DRV_OPEN, 0, reinterpret_cast<LPARAM>(&open));
    if (!id) continue;
    d->driverId = DWORD_PTR(id);
    if (Driver(d, ICM_DECOMPRESS_QUERY, reinterpret_cast<LPARAM>(InputHeader(d)), 0) == ICERR_OK) break;
    Driver(d, DRV_CLOSE, 0, 0);
    d->driverId = 0;
  }
  if (d->driverId) {
    if (Driver(d, ICM_DECOMPRESS_BEGIN, reinterpret_cast<LPARAM>(InputHeader(d)),
               reinterpret_cast<LPARAM>(OutputHeader(d))) == ICERR_OK)
      return true;
    ICDECOMPRESSEX block = ExtendedBlock(d, ICDECOMPRESS_NULLFRAME, nullptr);
    if (Driver(d, ICM_DECOMPRESSEX_BEGIN, reinterpret_cast<LPARAM>(&block), sizeof block) == ICERR_OK) {
      d->extended = true;
      return true;
    }
  }
  GiveUpDriver(d);
  return false;
}

bool CSLVideoAudioReaderAVI::StartSystemDecompressor(AviStreamDecoder* d) {
  d->vfwLibrary = SLLoadLibrary(u"msvfw32.dll");
  if (!d->vfwLibrary || !SLBindProc(d->vfwLibrary, u"ICOpen", &d->pICOpen) ||
      !SLBindProc(d->vfwLibrary, u"ICClose", &d->pICClose) ||
      !SLBindProc(d->vfwLibrary, u"ICSendMessage", &d->pICSendMessage) ||
      !SLBindProc(d->vfwLibrary, u"ICLocate", &d->pICLocate) ||
      !SLBindProc(d->vfwLibrary, u"ICDecompress", &d->pICDecompress))
    return SLFail(SL_E_LIBRARY_NOT_LOADED, false);
  const DWORD_PTR input = reinterpret_cast<DWORD_PTR>(InputHeader(d));
  for (DWORD handler : {d->info->header.handler, d->videoFormat.compression}) {
    HIC opened = nullptr;
    try {
      opened = d->pICOpen(AviFourCC("vidc"), handler, ICMODE_DECOMPRESS);
    } catch (...) {
      opened = nullptr;
    }
    if (!opened) continue;
    if (Guarded(d->pICSendMessage, opened, ICM_DECOMPRESS_QUERY, input, DWORD_PTR(0)) == ICERR_OK) {
      d->decompressor = opened;
      break;
    }
    Guarded(d->pICClose, opened);
  }
  if (!d->decompressor) {
    try {
      d->decompressor = d->pICLocate(AviFourCC("vidc"), 0, InputHeader(d), nullptr, ICMODE_DECOMPRESS);
    } catch (...) {
      d->decompressor = nullptr;
    }
  }
  if (!d->decompressor) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  if (Guarded(d->pICSendMessage, d->decompressor, ICM_DECOMPRESS_BEGIN, input,
              reinterpret_cast<DWORD_PTR>(OutputHeader(d))) == ICERR_OK)
    return SLSucceed(true);
  ICDECOMPRESSEX block = ExtendedBlock(d, ICDECOMPRESS_NULLFRAME, nullptr);
  if (Guarded(d->pICSendMessage, d->decompressor, ICM_DECOMPRESSEX_BEGIN, reinterpret_cast<DWORD_PTR>(&block),
              DWORD_PTR(sizeof block)) == ICERR_OK) {
    d->extended = true;
    return SLSucceed(true);
  }
  return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
}

void CSLVideoAudioReaderAVI::StopVideo(AviStreamDecoder* d) {
  const UINT end = d->extended ? ICM_DECOMPRESSEX_END : ICM_DECOMPRESS_END;
  if (d->driverProc) {
    Driver(d, end, 0, 0);
    GiveUpDriver(d);
  }
  if (d->codecModule) SLFreeLibrary(d->codecModule);
  d->codecModule = nullptr;
  if (d->decompressor) {
    Guarded(d->pICSendMessage, d->decompressor, end, DWORD_PTR(0), DWORD_PTR(0));
    Guarded(d->pICClose, d->decompressor);
    d->decompressor = nullptr;
  }
  if (d->vfwLibrary) SLFreeLibrary(d->vfwLibrary);
  d->vfwLibrary = nullptr;
  SLFree(d->inputFormat);
  SLFree(d->frameBuffer);
  SLFree(d->output);
  d->inputFormat = d->frameBuffer = d->output = d->picture = nullptr;
  d->frameCapacity = d->outputSize = 0;
}

// Decodes one frame into the output picture; `fresh` marks the first frame of a run.
bool CSLVideoAudioReaderAVI::DecodeFrame(AviStreamDecoder* d, u64 frame, bool fresh) {
  const AviIndexEntry& entry = d->info->entries[frame];
  const u32 size = entry.Size();
  // A chunk that cannot lie inside the file fails before memory is taken for it.
  u64 fileSize = 0;
  if (m_source->GetSize(&fileSize) && (entry.offset > fileSize || fileSize - entry.offset < u64(size) + 8))
    return SLFail(SL_E_STORAGE_READ, false);
  if (size > d->frameCapacity) {
    SLFree(d->frameBuffer);
    d->frameCapacity = 0;
    d->frameBuffer = static_cast<u8*>(SLAlloc(size));
    if (!d->frameBuffer) return SLFail(SL_E_OUT_OF_MEMORY, false);
    d->frameCapacity = size;
  }
  u32 got = 0;
  if (size && !m_parser->ReadEntry(d->stream, frame, d->frameBuffer, &got)) return false;
  BITMAPINFOHEADER* in = InputHeader(d);
  in->biSizeImage = size;
  if (size != 0) {
    const DWORD flags = fresh ? 0 : kHurryNotKey;
    LRESULT answer = 0;
    if (d->driverProc) {
      if (d->extended) {
        ICDECOMPRESSEX block = ExtendedBlock(d, flags, d->frameBuffer);
        answer = Driver(d, ICM_DECOMPRESSEX, reinterpret_cast<LPARAM>(&block), sizeof block);
      } else {
        ICDECOMPRESS block = {flags, in, d->frameBuffer, OutputHeader(d), d->picture, 0};
        answer = Driver(d, ICM_DECOMPRESS, reinterpret_cast<LPARAM>(&block), sizeof block);
      }
    } else if (d->extended) {
      ICDECOMPRESSEX block = ExtendedBlock(d, flags, d->frameBuffer);
      answer = Guarded(d->pICSendMessage, d->decompressor, ICM_DECOMPRESSEX, reinterpret_cast<DWORD_PTR>(&block),
                       DWORD_PTR(sizeof block));
    } else {
      answer = Guarded(d->pICDecompress, d->decompressor, flags, in, static_cast<LPVOID>(d->frameBuffer),
                       OutputHeader(d), static_cast<LPVOID>(d->picture));
    }
    if (Failed(answer)) return SLFail(SL_E_DECODE_DATA, false);
    if (d->videoFormat.bitsPerPixel == 8) {
      const LRESULT palette =
          d->driverProc ? Driver(d, ICM_DECOMPRESS_GET_PALETTE, reinterpret_cast<LPARAM>(in),
                                 reinterpret_cast<LPARAM>(OutputHeader(d)))
                        : Guarded(d->pICSendMessage, d->decompressor, ICM_DECOMPRESS_GET_PALETTE,
                                  reinterpret_cast<DWORD_PTR>(in), reinterpret_cast<DWORD_PTR>(OutputHeader(d)));
      if (Failed(palette)) return SLFail(SL_E_DECODE_DATA, false);
    }
  }
  d->lastFrame = frame;
  return true;
}

bool CSLVideoAudioReaderAVI::GetVideoFrame(u32 stream, u64 frame, const void** picture, u32* size) {
  if (size) *size = 0;
  if (!picture) return SLFail(SL_E_NULL_OUTPUT, false);
  *picture = nullptr;
  AviStreamDecoder* d = StartedDecoder(stream, kAviKindVideo);
  if (!d) return false;
  if (frame >= d->info->entryCount) return SLFail(SL_E_INVALID_ARG, false);
  if (frame != d->lastFrame) {
    u64 begin = frame;
    if (frame != 0 && !m_parser->IsKeyFrame(stream, frame)) {
      begin = frame - 1;
      if (!m_parser->GetPreviousKeyFrame(stream, &begin)) return false;
    }
    bool fresh = true;
    if (d->lastFrame != ~u64(0) && d->lastFrame >= begin && d->lastFrame < frame) {
      begin = d->lastFrame + 1;
      fresh = false;
    }
    for (u64 f = begin; f <= frame; ++f, fresh = false)
      if (!DecodeFrame(d, f, fresh)) return false;
  }
  *picture = d->output;
  if (size) *size = d->outputSize;
  return SLSucceed(true);
}
