#include "image/writers/SLImageWriterTGA.h"

#include <cstring>

#include "image/writers/SLImageWriteBuffer.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageWriterTGA, CSLBaseImageWriter)

namespace {

constexpr u8 kSignature[18] = {'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

// One pixel as it goes into the file (5-6-5 becomes 5-5-5).
void StorePixel(const u8* pixel, u32 bytes, u8* out) {
  if (bytes == 2) {
    const u16 p = SLLoadLE16(pixel);
    SLStoreLE16(out, u16(((p >> 1) & 0x7FE0) | (p & 0x1F)));
  } else {
    SLMemCopy(out, pixel, bytes);
  }
}

bool PutPixels(CSLImageWriteBuffer& out, const u8* pixels, u32 count, u32 bytes) {
  u8 stored[4];
  for (u32 i = 0; i < count; ++i) {
    StorePixel(pixels + u64(i) * bytes, bytes, stored);
    if (!out.Put(stored, bytes)) return false;
  }
  return true;
}

bool PutRleRow(CSLImageWriteBuffer& out, const u8* row, u32 width, u32 bytes) {
  auto same = [&](u32 a, u32 b) { return std::memcmp(row + u64(a) * bytes, row + u64(b) * bytes, bytes) == 0; };
  auto runStarts = [&](u32 x) { return x + 1 < width && same(x, x + 1); };
  for (u32 x = 0; x < width;) {
    u32 count;
    if (runStarts(x)) {
      count = 2;
      while (count < 128 && x + count < width && same(x, x + count)) ++count;
      if (!out.PutByte(u8(0x80 | (count - 1))) || !PutPixels(out, row + u64(x) * bytes, 1, bytes)) return false;
    } else {
      if (x + 1 == width) count = 1;
      else if (x + 2 == width) count = 2;
      else {
        count = 2;
        while (count < 128 && x + count < width && !runStarts(x + count)) ++count;
      }
      if (!out.PutByte(u8(count - 1)) || !PutPixels(out, row + u64(x) * bytes, count, bytes)) return false;
    }
    x += count;
  }
  return true;
}

}  // namespace

bool CSLImageWriterTGA::Write(CSLImageArray* images, CSLBaseStorage* storage) {
  CSLWriterFrame frame;
  const CSLImage* image = SLWriterPrepareFrame(images, storage, m_index, &frame);
  if (!image) return false;

  const u32 format = image->GetFormat();
  const u32 bytes = image->GetBytesPerPixel();
  const u32 width = image->GetWidth(), height = image->GetHeight();
  if (width > 0xFFFF || height > 0xFFFF) return SLFail(SL_E_IMAGE_SIZE, false);
  u8 header[18] = {};
  header[1] = format == SL_IMAGE_FORMAT_PALETTE ? 1 : 0;
  header[2] = u8((format == SL_IMAGE_FORMAT_PALETTE ? 1 : 2) + (m_rle ? 8 : 0));
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    SLStoreLE16(header + 5, 256);
    header[7] = 24;
  }
  SLStoreLE16(header + 12, u16(width));
  SLStoreLE16(header + 14, u16(height));
  header[16] = u8(bytes * 8);
  header[17] = format == SL_IMAGE_FORMAT_PALETTE || format == SL_IMAGE_FORMAT_BGRA ? 8 : format == SL_IMAGE_FORMAT_565_BLUE_LOW ? 1 : 0;

  CSLImageWriteBuffer out(storage);
  if (!out.Put(header, 18)) return false;
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    const SLImagePalette* palette = image->GetPalette();
    for (u32 i = 0; i < 256; ++i) {
      SLPaletteEntry entry;
      if (palette && i < palette->count) entry = palette->entries[i];
      else SLDefaultPaletteColor(i, &entry);
      const u8 bgr[3] = {entry.blue, entry.green, entry.red};
      if (!out.Put(bgr, 3)) return false;
    }
  }
  for (u32 y = height; y-- > 0;) {
    const u8* row = image->GetPixels() + u64(y) * image->GetStride();
    if (!(m_rle ? PutRleRow(out, row, width, bytes) : PutPixels(out, row, width, bytes))) return false;
  }
  if (!out.PutLE32(0) || !out.PutLE32(0) || !out.Put(kSignature, 18) || !out.Flush()) return false;
  return SLSucceed(true);
}

const char* CSLImageWriterTGA::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("TGA") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageWriterTGA::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"TGA") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
