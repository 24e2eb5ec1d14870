#include "image/writers/SLImageWriterBMP.h"

#include "image/writers/SLImageWriteBuffer.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageWriterBMP, CSLBaseImageWriter)

u32 SLWriterTargetFormat(const CSLImage* image) {
  switch (image->GetFormat()) {
    case SL_IMAGE_FORMAT_PALETTE: {
      const SLImagePalette* palette = image->GetPalette();
      if (palette)
        for (u32 i = 0; i < palette->count; ++i)
          if (palette->entries[i].alpha != 255) return SL_IMAGE_FORMAT_BGRA;
      return SL_IMAGE_FORMAT_PALETTE;
    }
    case SL_IMAGE_FORMAT_RGB: case SL_IMAGE_FORMAT_BGR: case SL_IMAGE_FORMAT_RGBX: case SL_IMAGE_FORMAT_BGRX:
    case SL_IMAGE_FORMAT_XRGB: case SL_IMAGE_FORMAT_XBGR: case SL_IMAGE_FORMAT_X555_RED_LOW:
    case SL_IMAGE_FORMAT_X555_BLUE_LOW: case SL_IMAGE_FORMAT_X444_RED_LOW: case SL_IMAGE_FORMAT_X444_BLUE_LOW:
      return SL_IMAGE_FORMAT_BGR;
    case SL_IMAGE_FORMAT_565_RED_LOW: case SL_IMAGE_FORMAT_565_BLUE_LOW:
      return SL_IMAGE_FORMAT_565_BLUE_LOW;
    default:
      return SL_IMAGE_FORMAT_BGRA;
  }
}

bool CSLImageWriterBMP::Write(CSLImageArray* images, CSLBaseStorage* storage) {
  CSLWriterFrame frame;
  const CSLImage* image = SLWriterPrepareFrame(images, storage, m_index, &frame);
  if (!image) return false;

  const u32 bits = image->GetBytesPerPixel() * 8;
  const u32 width = image->GetWidth(), height = image->GetHeight();
  const u64 rowSize = ((u64(width) * bits + 31) / 8) & ~u64(3);
  const u32 offset = bits == 8 ? 1078 : bits == 16 ? 66 : 54;
  const u64 imageSize = rowSize * height;
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF || !SLFitsU32(imageSize + offset)) return SLFail(SL_E_IMAGE_SIZE, false);
  SLImageInfo info;
  image->GetInfo(&info);
  const u32 ppm = u32(info.resolutionX * 39.37007874015748);
  const u32 ppmY = u32(info.resolutionY * 39.37007874015748);

  CSLImageWriteBuffer out(storage);
  bool ok = out.Put("BM", 2) && out.PutLE32(u32(imageSize + offset)) && out.PutLE32(0) && out.PutLE32(offset) &&
            out.PutLE32(40) && out.PutLE32(width) && out.PutLE32(height) && out.PutLE16(1) && out.PutLE16(u16(bits)) &&
            out.PutLE32(bits == 16 ? 3 : 0) && out.PutLE32(u32(imageSize)) && out.PutLE32(ppm) && out.PutLE32(ppmY) &&
            out.PutLE32(0) && out.PutLE32(0);
  if (ok && bits == 8) {
    const SLImagePalette* palette = image->GetPalette();
    for (u32 i = 0; i < 256 && ok; ++i) {
      SLPaletteEntry entry;
      if (palette && i < palette->count) entry = palette->entries[i];
      else SLDefaultPaletteColor(i, &entry);
      const u8 bgr0[4] = {entry.blue, entry.green, entry.red, 0};
      ok = out.Put(bgr0, 4);
    }
  }
  if (ok && bits == 16) ok = out.PutLE32(0xF800) && out.PutLE32(0x07E0) && out.PutLE32(0x001F);
  const u8 zeros[4] = {};
  const u32 rowBytes = width * (bits / 8);
  for (u32 y = height; ok && y-- > 0;)
    ok = out.Put(image->GetPixels() + u64(y) * image->GetStride(), rowBytes) && out.Put(zeros, u32(rowSize) - rowBytes);
  if (!ok || !out.Flush()) return false;
  return SLSucceed(true);
}

const char* CSLImageWriterBMP::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("BMP") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageWriterBMP::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"BMP") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
