// Device-independent bitmaps of the "gdi32.dll" stand-in: a block of pixel memory with
// its BITMAP record, registered in the GDI object table so that DeleteObject frees it
// once and GetObject refuses a stale handle without touching memory.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/gdi32/Gdi32.h"
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"

namespace {

// Larger pixel blocks are refused as a system without that much memory would refuse them.
constexpr std::uint64_t kMaxBitmapBytes = 0x7FFFFFFF;

struct DibSection {
  BITMAP record;  // first: GetObject copies it out of the table
};

void DestroyDib(void* data) {
  auto* dib = static_cast<DibSection*>(data);
  std::free(dib->record.bmBits);
  delete dib;
}

bool IsSupportedHeader(const BITMAPINFOHEADER& h, UINT usage, HANDLE section) {
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN ||
      h.biPlanes != 1 || usage != DIB_RGB_COLORS || section)
    return false;
  const bool fields = h.biBitCount == 16 || h.biBitCount == 32;
  if (h.biCompression == BI_BITFIELDS) return fields;
  return h.biCompression == BI_RGB && (fields || h.biBitCount == 8 || h.biBitCount == 24);
}

int GetBitmapObject(HGDIOBJ object, int size, void* buffer) {
  BITMAP record;
  if (!SLGdiCopyObjectData(object, SLGdiKind::Bitmap, &record, sizeof record)) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!buffer) return int(sizeof record);
  if (size < int(sizeof record)) {
    SLPlatformSetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, &record, sizeof record);
  return int(sizeof record);
}

}  // namespace

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
  if (bits) *bits = nullptr;
  if (!info || !IsSupportedHeader(info->bmiHeader, usage, section)) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const std::uint64_t rows = h.biHeight < 0 ? -std::int64_t(h.biHeight) : h.biHeight;
  const std::uint64_t pitch = (std::uint64_t(h.biWidth) * h.biBitCount + 31) / 32 * 4;
  if (pitch * rows > kMaxBitmapBytes) {
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* memory = std::calloc(pitch * rows, 1);
  auto* dib = memory ? new (std::nothrow) DibSection : nullptr;
  if (!dib) {
    std::free(memory);
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  dib->record = BITMAP{0, h.biWidth, LONG(rows), LONG(pitch), 1, h.biBitCount, memory};
  HBITMAP bitmap = SLGdiRegisterObject(SLGdiKind::Bitmap, dib, &DestroyDib);
  if (bits) *bits = memory;
  return bitmap;
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) { return GetBitmapObject(object, size, buffer); }
int GetObjectW(HGDIOBJ object, int size, void* buffer) { return GetBitmapObject(object, size, buffer); }

BOOL GdiFlush() { return TRUE; }

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(CreateDIBSection),
    SL_EXPORT(GetObjectA),
    SL_EXPORT(GetObjectW),
    SL_EXPORT(GdiFlush),
};
}  // namespace

const SLPlatformExportGroup g_gdi32Bitmaps = SLMakeExportGroup(kExports);
