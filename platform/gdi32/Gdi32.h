// The "gdi32.dll" stand-in. Drawing goes through the graphics device, never through
// device contexts, so only what the framework calls is here: GDI objects with one
// deletion call for every kind, and the palette calls of the main window, which has
// no palette device to act on and answers them as a true-colour screen would.
#pragma once

#include "platform/wintypes.h"

using HGDIOBJ = void*;
using HPALETTE = void*;

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
BOOL DeleteObject(HGDIOBJ object);

// Palettes: logical palettes are kept and can be selected; realising one maps no entry.
UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
