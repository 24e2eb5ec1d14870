// The export of an image as a device-independent bitmap of the system's gdi32.
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLImage.h"
#include "image/SLImgMgrApi.h"

namespace {

constexpr double kInchesPerMetre = 39.37007874015748;

u32 BitsForFormat(u32 format) {
  switch (format) {
    case SL_IMAGE_FORMAT_PALETTE:
      return 8;
    case SL_IMAGE_FORMAT_RGB: case SL_IMAGE_FORMAT_BGR: case SL_IMAGE_FORMAT_RGBX: case SL_IMAGE_FORMAT_BGRX:
    case SL_IMAGE_FORMAT_XRGB: case SL_IMAGE_FORMAT_XBGR: case SL_IMAGE_FORMAT_X444_RED_LOW:
    case SL_IMAGE_FORMAT_X444_BLUE_LOW:
      return 24;
    case SL_IMAGE_FORMAT_RGBA: case SL_IMAGE_FORMAT_BGRA: case SL_IMAGE_FORMAT_ARGB: case SL_IMAGE_FORMAT_ABGR:
    case SL_IMAGE_FORMAT_1555_RED_LOW: case SL_IMAGE_FORMAT_1555_BLUE_LOW: case SL_IMAGE_FORMAT_4444_RED_LOW:
    case SL_IMAGE_FORMAT_4444_BLUE_LOW:
      return 32;
    case SL_IMAGE_FORMAT_565_RED_LOW: case SL_IMAGE_FORMAT_565_BLUE_LOW: case SL_IMAGE_FORMAT_X555_RED_LOW:
    case SL_IMAGE_FORMAT_X555_BLUE_LOW:
      return 16;
    default:
      return SLPixelFormatHasAlpha(format) ? 32 : 24;
  }
}

// The header with its colour table (8 bits) or bit-field masks (16 and 32 bits).
struct DibInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

void DescribeDib(const SLImageInfo& info, u32 bits, u32 imageBytes, DibInfo* dib) {
  BITMAPINFOHEADER& h = dib->header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = LONG(info.width);
  h.biHeight = LONG(info.height);
  h.biPlanes = 1;
  h.biBitCount = WORD(bits);
  h.biCompression = bits == 16 || bits == 32 ? BI_BITFIELDS : BI_RGB;
  h.biSizeImage = imageBytes;
  h.biXPelsPerMeter = LONG((info.resolutionX ? info.resolutionX : 96) * kInchesPerMetre);
  h.biYPelsPerMeter = LONG((info.resolutionY ? info.resolutionY : 96) * kInchesPerMetre);
  if (bits == 8) {
    const u32 count = info.palette ? info.palette->count : 0;
    for (u32 i = 0; i < 256; ++i) {
      SLPaletteEntry e;
      if (i < count) e = info.palette->entries[i];
      else SLDefaultPaletteColor(i, &e);
      dib->colors[i] = RGBQUAD{e.blue, e.green, e.red, 0};
    }
  } else if (h.biCompression == BI_BITFIELDS) {
    const u32 masks[3] = {bits == 16 ? 0xF800u : 0x00FF0000u, bits == 16 ? 0x07E0u : 0x0000FF00u,
                          bits == 16 ? 0x001Fu : 0x000000FFu};
    SLMemCopy(dib->colors, masks, sizeof masks);
  }
}

// Copies the rows bottom-up, premultiplying 32-bit pixels by their alpha.
void CopyRows(const SLImageInfo& info, u32 bits, u8* out, u64 pitch) {
  const u32 rowBytes = bits / 8 * info.width;
  for (u32 r = 0; r < info.height; ++r, out += pitch) {
    const u8* in = info.pixels + u64(info.height - 1 - r) * info.stride;
    if (bits != 32) {
      SLMemCopy(out, in, rowBytes);
      continue;
    }
    for (u32 x = 0; x < rowBytes; x += 4) {
      const u32 a = in[x + 3];
      out[x] = u8(in[x] * a / 255);
      out[x + 1] = u8(in[x + 1] * a / 255);
      out[x + 2] = u8(in[x + 2] * a / 255);
      out[x + 3] = u8(a);
    }
  }
}

}  // namespace

HBITMAP CSLImage::CreateDIBSection(u32 bits) const {
  using Handle = HBITMAP;
  if (bits != 0 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return SLFail(SL_E_INVALID_ARG, Handle(nullptr));
  if (!SLIsValidPixelFormat(m_info.format)) return SLFail(SL_E_IMAGE_FORMAT_ID, Handle(nullptr));
  if (!m_info.width || !m_info.height || !m_info.pixels) return SLFail(SL_E_IMAGE_NO_PIXELS, Handle(nullptr));
  SLInternals::CSL_ImgMgr_ApiLoader* api = SLGetImgMgrApiLoader(false);
  if (!api) return Handle(nullptr);

  if (bits == 0) bits = BitsForFormat(m_info.format);
  const u32 target = bits == 8    ? SL_IMAGE_FORMAT_PALETTE
                     : bits == 16 ? SL_IMAGE_FORMAT_565_BLUE_LOW
                     : bits == 24 ? SL_IMAGE_FORMAT_BGR
                                  : SL_IMAGE_FORMAT_BGRA;
  CSLImage converted;
  const CSLImage* source = this;
  if (m_info.format != target) {
    if (!CopyTo(&converted) || !converted.ConvertFormat(target)) return Handle(nullptr);
    source = &converted;
  }
  const u64 pitch = (u64(bits) * m_info.width + 31) / 32 * 4;
  u64 imageBytes = 0;
  if (!SLCheckedMul(pitch, m_info.height, &imageBytes) || !SLFitsU32(imageBytes))
    return SLFail(SL_E_OUT_OF_MEMORY, Handle(nullptr));
  DibInfo dib = {};
  DescribeDib(source->m_info, bits, u32(imageBytes), &dib);

  HDC dc = api->GetDC(nullptr);
  void* memory = nullptr;
  HBITMAP bitmap = dc ? api->CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS, &memory,
                                              nullptr, 0)
                      : nullptr;
  if (dc) api->ReleaseDC(nullptr, dc);
  if (!bitmap || !memory) return SLFail(SL_E_OUT_OF_MEMORY, Handle(nullptr));
  api->GdiFlush();
  // The system's own pitch when it tells one that holds a row.
  BITMAP record = {};
  const bool told = api->GetObjectA(bitmap, sizeof record, &record) != 0 && u64(record.bmWidthBytes) >= pitch;
  CopyRows(source->m_info, bits, static_cast<u8*>(memory), told ? u64(record.bmWidthBytes) : pitch);
  return SLSucceed(bitmap);
}
