// Palette calls of the "gdi32.dll" stand-in. The display is a true-colour surface: it
// has no system palette to read or change, so the calls succeed without effect.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gdi32/Gdi32.h"
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"

namespace {

// The palette every context starts with (a stock object: deleting it does nothing).
HPALETTE DefaultPalette() {
  static const HPALETTE palette = reinterpret_cast<HPALETTE>(std::uintptr_t(0x3000F));
  return palette;
}

}  // namespace

UINT GetSystemPaletteEntries(HDC, UINT start, UINT count, PALETTEENTRY* entries) {
  if (!entries) return 256;  // the size of the system palette
  if (start >= 256) return 0;
  if (count > 256 - start) count = 256 - start;
  std::memset(entries, 0, count * sizeof(PALETTEENTRY));
  return count;
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palNumEntries == 0) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* entries = new std::vector<PALETTEENTRY>(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  return SLGdiRegisterObject(SLGdiKind::Palette, entries,
                             [](void* data) { delete static_cast<std::vector<PALETTEENTRY>*>(data); });
}

// Every context shares one selection: there is only the screen.
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  static HPALETTE selected = DefaultPalette();
  if (!dc || (palette != DefaultPalette() && !SLGdiObjectData(palette, SLGdiKind::Palette))) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HPALETTE previous = selected;
  selected = palette;
  return previous;
}

UINT RealizePalette(HDC) { return 0; }

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(GetSystemPaletteEntries),
    SL_EXPORT(CreatePalette),
    SL_EXPORT(SelectPalette),
    SL_EXPORT(RealizePalette),
};
}  // namespace

const SLPlatformExportGroup g_gdi32Palette = SLMakeExportGroup(kExports);
