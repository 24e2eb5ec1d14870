// The "gdi32.dll" stand-in. Drawing goes through the graphics device, never through
// device contexts, so only what the framework calls is here: GDI objects with one
// deletion call for every kind, and the palette calls of the main window, which has
// no palette device to act on and answers them as a true-colour screen would.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

using HGDIOBJ = void*;
using HPALETTE = void*;
using HBITMAP = void*;

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];  // palNumEntries entries follow
};

// GDI objects: every kind is registered here with its clean-up, so that DeleteObject
// can take any of them and refuse a stale or made-up handle (FALSE, error 6).
enum class SLGdiKind { Palette, Bitmap };
HGDIOBJ SLGdiRegisterObject(SLGdiKind kind, void* data, void (*destroy)(void* data));
// The data of a live object of that kind, or null.
void* SLGdiObjectData(HGDIOBJ object, SLGdiKind kind);
// Copies the first `size` bytes of a live object's data while no other thread can delete
// it; false for a stale handle or another kind.
bool SLGdiCopyObjectData(HGDIOBJ object, SLGdiKind kind, void* out, std::size_t size);
BOOL DeleteObject(HGDIOBJ object);

// Palettes: logical palettes are kept and can be selected; realising one maps no entry.
UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);

// Device-independent bitmaps: pixel memory the caller writes directly, bottom-up rows
// (top-down for a negative height) of a DWORD-aligned pitch, zero-filled at creation.
inline constexpr DWORD BI_RGB = 0;
inline constexpr DWORD BI_BITFIELDS = 3;
inline constexpr UINT DIB_RGB_COLORS = 0;

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
// The header, then the colour table (or the three bit-field masks).
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
// What GetObject tells of a bitmap (32 bytes here: the bits pointer takes 8).
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40 && sizeof(BITMAP) == 32);

// 8, 16, 24 or 32 bits, BI_RGB (or BI_BITFIELDS at 16 and 32), DIB_RGB_COLORS, no file
// section. Null with ERROR_INVALID_PARAMETER for anything else, ERROR_NOT_ENOUGH_MEMORY
// for a size that cannot be had.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
// A bitmap's BITMAP record: the size needed for a null buffer, the bytes written, or 0
// for a buffer too small or a handle that is not a live bitmap.
int GetObjectA(HGDIOBJ object, int size, void* buffer);
int GetObjectW(HGDIOBJ object, int size, void* buffer);
// Drawing is never batched: there is nothing to flush.
BOOL GdiFlush();

// Device contexts are window tokens (see user32): PatBlt paints a window black (BLACKNESS
// only), GetDeviceCaps answers BITSPIXEL of the desktop and 0 for anything else.
inline constexpr DWORD BLACKNESS = 0x42;
inline constexpr int BITSPIXEL = 12;
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
int GetDeviceCaps(HDC dc, int index);
