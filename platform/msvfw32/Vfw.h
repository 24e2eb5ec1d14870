// The "msvfw32.dll" stand-in: installable video decompressors found by FOURCC, decoding
// compressed AVI pictures (and passing uncompressed DIBs through) into bottom-up RGB
// pictures of 8 (palette), 16 (5-5-5), 24 or 32 bits, rows padded to 4 bytes.
//
// The records follow the published layout with this platform's pointer width: their
// size fields must hold sizeof the record as declared here. The messages of a decoder
// driver's DriverProc use the same records and values.
#pragma once

#include "platform/gdi32/Gdi32.h"
#include "platform/wintypes.h"

using HIC = void*;

struct ICOPEN {
  DWORD dwSize;
  DWORD fccType;
  DWORD fccHandler;
  DWORD dwVersion;
  DWORD dwFlags;
  LRESULT dwError;
  LPVOID pV1Reserved;
  LPVOID pV2Reserved;
  DWORD dnDevNode;
};

struct ICDECOMPRESS {
  DWORD dwFlags;
  BITMAPINFOHEADER* lpbiInput;
  LPVOID lpInput;
  BITMAPINFOHEADER* lpbiOutput;
  LPVOID lpOutput;
  DWORD ckid;
};

struct ICDECOMPRESSEX {
  DWORD dwFlags;
  BITMAPINFOHEADER* lpbiSrc;
  LPVOID lpSrc;
  BITMAPINFOHEADER* lpbiDst;
  LPVOID lpDst;
  int xDst, yDst, dxDst, dyDst;
  int xSrc, ySrc, dxSrc, dySrc;
};

inline constexpr UINT ICMODE_DECOMPRESS = 2;
inline constexpr DWORD ICDECOMPRESS_HURRYUP = 0x80000000;
inline constexpr DWORD ICDECOMPRESS_NOTKEYFRAME = 0x08000000;
inline constexpr DWORD ICDECOMPRESS_UPDATE = 0x40000000;
inline constexpr DWORD ICDECOMPRESS_PREROLL = 0x20000000;
inline constexpr DWORD ICDECOMPRESS_NULLFRAME = 0x10000000;

inline constexpr LRESULT ICERR_OK = 0;
inline constexpr LRESULT ICERR_UNSUPPORTED = -1;
inline constexpr LRESULT ICERR_BADFORMAT = -2;
inline constexpr LRESULT ICERR_MEMORY = -3;
inline constexpr LRESULT ICERR_INTERNAL = -4;
inline constexpr LRESULT ICERR_BADPARAM = -6;
inline constexpr LRESULT ICERR_ERROR = -100;
inline constexpr LRESULT ICERR_BADSIZE = -10;

inline constexpr UINT DRV_LOAD = 1;
inline constexpr UINT DRV_ENABLE = 2;
inline constexpr UINT DRV_OPEN = 3;
inline constexpr UINT DRV_CLOSE = 4;
inline constexpr UINT DRV_DISABLE = 5;
inline constexpr UINT DRV_FREE = 6;

inline constexpr UINT ICM_USER = 0x4000;
inline constexpr UINT ICM_DECOMPRESS_QUERY = ICM_USER + 11;
inline constexpr UINT ICM_DECOMPRESS_BEGIN = ICM_USER + 12;
inline constexpr UINT ICM_DECOMPRESS = ICM_USER + 13;
inline constexpr UINT ICM_DECOMPRESS_END = ICM_USER + 14;
inline constexpr UINT ICM_DECOMPRESS_GET_PALETTE = ICM_USER + 30;
inline constexpr UINT ICM_DECOMPRESSEX_BEGIN = ICM_USER + 60;
inline constexpr UINT ICM_DECOMPRESSEX_QUERY = ICM_USER + 61;
inline constexpr UINT ICM_DECOMPRESSEX = ICM_USER + 62;
inline constexpr UINT ICM_DECOMPRESSEX_END = ICM_USER + 63;

// fccType "vidc" (any case) and ICMODE_DECOMPRESS only. The handler FOURCC is matched
// without regard to case; 0, "DIB " and "RAW " open the pass-through of uncompressed DIBs.
// Null when no decoder answers to it.
HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode);
LRESULT ICClose(HIC decompressor);
// The first decompressor that accepts `input` (its compression FOURCC decides).
HIC ICLocate(DWORD fccType, DWORD fccHandler, BITMAPINFOHEADER* input, BITMAPINFOHEADER* output, WORD flags);
// ICM_DECOMPRESS_QUERY (p1 input format, p2 output or 0): 0 when the decoder takes it.
// ICM_DECOMPRESS_BEGIN (p1 input, p2 output): output of 8, 16, 24 or 32 bits, BI_RGB,
// the input's width and |height|. ICM_DECOMPRESS (p1 ICDECOMPRESS*, p2 its size),
// ICM_DECOMPRESSEX_BEGIN / ICM_DECOMPRESSEX (p1 ICDECOMPRESSEX*, p2 its size),
// ICM_DECOMPRESS_GET_PALETTE (p1 input, p2 output: 256 entries after its header),
// ICM_DECOMPRESS_END, ICM_DECOMPRESSEX_END. The hurry-up flag is a hint: the picture is
// always written. A picture whose size differs from the begun format gives a negative answer.
LRESULT ICSendMessage(HIC decompressor, UINT message, DWORD_PTR param1, DWORD_PTR param2);
DWORD ICDecompress(HIC decompressor, DWORD flags, BITMAPINFOHEADER* inputFormat, LPVOID input,
                   BITMAPINFOHEADER* outputFormat, LPVOID output);

// Test tooling: the number of pictures decoded by all decompressors so far.
unsigned long long SLPlatformDecodedPictureCount();

using SLICOpenFn = HIC (*)(DWORD, DWORD, UINT);
using SLICCloseFn = LRESULT (*)(HIC);
using SLICLocateFn = HIC (*)(DWORD, DWORD, BITMAPINFOHEADER*, BITMAPINFOHEADER*, WORD);
using SLICSendMessageFn = LRESULT (*)(HIC, UINT, DWORD_PTR, DWORD_PTR);
using SLICDecompressFn = DWORD (*)(HIC, DWORD, BITMAPINFOHEADER*, LPVOID, BITMAPINFOHEADER*, LPVOID);
// A decoder driver's entry point.
using SLDriverProcFn = LRESULT (*)(DWORD_PTR driverId, HANDLE driver, UINT message, LPARAM param1, LPARAM param2);
