#include "image/readers/SLImageReaderTGA.h"

#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "image/readers/SLImageReadAhead.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageReaderTGA, CSLBaseImageReader)

namespace {

constexpr u8 kSignature[18] = {'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

bool IsTrueColorDepth(u32 depth) { return depth == 15 || depth == 16 || depth == 24 || depth == 32; }

struct TgaHeader {
  u8 idLength, mapType, imageType;
  u16 mapFirst, mapLength;
  u8 mapEntryBits;
  u16 width, height;
  u8 depth, descriptor;

  void Decode(const u8* b) {
    idLength = b[0];
    mapType = b[1];
    imageType = b[2];
    mapFirst = SLLoadLE16(b + 3);
    mapLength = SLLoadLE16(b + 5);
    mapEntryBits = b[7];
    width = SLLoadLE16(b + 12);
    height = SLLoadLE16(b + 14);
    depth = b[16];
    descriptor = b[17];
  }
};

// Turns stored values into 0xAARRGGBB by the file's alpha rules.
struct TgaColor {
  u32 attributeBits = 0;
  bool premultiplied = false;
  bool ignoreAlpha = false;

  u32 Convert(u32 v, u32 bits) const {
    u32 a = 255, r, g, b;
    if (bits == 15 || (bits == 16 && attributeBits == 1)) {
      r = ((v >> 10) & 31) << 3;
      g = ((v >> 5) & 31) << 3;
      b = (v & 31) << 3;
    } else if (bits == 16) {
      r = ((v >> 11) & 31) << 3;
      g = ((v >> 5) & 63) << 2;
      b = (v & 31) << 3;
    } else {
      r = (v >> 16) & 255;
      g = (v >> 8) & 255;
      b = v & 255;
      if (bits == 32 && attributeBits && !ignoreAlpha) a = v >> 24;
    }
    if (premultiplied && a != 255) {
      if (a == 0) return 0;
      r = r * 255 / a;
      g = g * 255 / a;
      b = b * 255 / a;
      if (r > 255) r = 255;
      if (g > 255) g = 255;
      if (b > 255) b = 255;
    }
    if (ignoreAlpha) a = 255;
    return (a << 24) | (r << 16) | (g << 8) | b;
  }
};

// Reads the key colour and the alpha rule from the extension area named by the footer.
// Only a failed seek back (or into the area) or a short area read ends the read.
bool ReadExtensionArea(CSLBaseStorage* storage, TgaColor* color, u32* key) {
  u64 start = 0;
  if (!storage->GetPosition(&start)) return false;
  u8 footer[26];
  if (storage->Seek(-26, SL_SEEK_END) && storage->Read(footer, 26) == 26 &&
      std::memcmp(footer + 8, kSignature, 18) == 0 && SLLoadLE32(footer) != 0) {
    if (!storage->Seek(i64(SLLoadLE32(footer)), SL_SEEK_BEGIN)) return false;
    u8 area[495];
    if (storage->Read(area, 495) != 495) return SLFail(0x80020034u, false);
    *key = (u32(area[470]) << 24) | (u32(area[473]) << 16) | (u32(area[472]) << 8) | area[471];
    const u8 type = area[494];
    color->ignoreAlpha = type <= 2;
    color->premultiplied = type == 4;
  }
  return storage->Seek(i64(start), SL_SEEK_BEGIN);
}

// Places decoded pixels in file order: rows bottom-up or top-down, each left to right or
// right to left.
class TgaPlacer {
 public:
  TgaPlacer(CSLImage* image, const TgaHeader& h, const TgaColor& color, const u32* map, u32 outFormat)
      : m_image(image), m_header(h), m_color(color), m_map(map), m_format(outFormat) {
    m_width = h.width;
    m_height = h.height;
    m_leftToRight = !(h.descriptor & 0x10);
    m_topDown = (h.descriptor & 0x20) != 0;
    m_row = 0;
    m_x = 0;
    m_bytes = image->GetBytesPerPixel();
    StartRow();
  }
  bool Done() const { return m_row >= m_height; }

  void Put(u32 value) {
    u32 argb;
    u8* out = m_rowStart + u64(m_leftToRight ? m_x : m_width - 1 - m_x) * m_bytes;
    if (m_header.imageType == 3 || m_header.imageType == 11) {
      out[0] = u8(value);
    } else if (m_map) {
      const u32 index = MapIndex(value);
      if (m_format == SL_IMAGE_FORMAT_PALETTE) {
        out[0] = u8(index == kNoEntry ? 0 : index);
      } else {
        argb = index == kNoEntry ? 0 : m_map[index];
        out[0] = u8(argb);
        out[1] = u8(argb >> 8);
        out[2] = u8(argb >> 16);
      }
    } else {
      argb = m_color.Convert(value, m_header.depth);
      out[0] = u8(argb);
      out[1] = u8(argb >> 8);
      out[2] = u8(argb >> 16);
      if (m_bytes == 4) out[3] = u8(argb >> 24);
    }
    if (++m_x == m_width) {
      m_x = 0;
      ++m_row;
      StartRow();
    }
  }

 private:
  static constexpr u32 kNoEntry = 0xFFFFFFFFu;
  u32 MapIndex(u32 value) const {
    if (m_header.depth == 15) value &= 0x7FFF;
    if (value < m_header.mapFirst || value - m_header.mapFirst >= m_header.mapLength) return kNoEntry;
    return value - m_header.mapFirst;
  }
  void StartRow() {
    if (Done()) return;
    const u32 y = m_topDown ? m_row : m_height - 1 - m_row;
    m_rowStart = m_image->GetPixels() + u64(y) * m_image->GetStride();
  }

  CSLImage* m_image;
  const TgaHeader& m_header;
  const TgaColor& m_color;
  const u32* m_map;
  u32 m_format;
  u32 m_width, m_height, m_row, m_x, m_bytes;
  bool m_leftToRight, m_topDown;
  u8* m_rowStart = nullptr;
};

u32 LoadValue(const u8* p, u32 bytes) {
  u32 v = 0;
  for (u32 i = 0; i < bytes; ++i) v |= u32(p[i]) << (8 * i);
  return v;
}

bool DecodePixels(CSLImageReadAhead& input, const TgaHeader& h, TgaPlacer& placer) {
  const u32 bytes = (h.depth + 7) / 8;
  if (h.imageType <= 3) {
    TSLAutoPtr<u8> row(static_cast<u8*>(SLAlloc(u32(h.width) * 4)));
    if (!row) return SLFail(SL_E_OUT_OF_MEMORY, false);
    for (u32 y = 0; y < h.height; ++y) {
      if (!input.Read(row.Get(), u64(h.width) * bytes)) return false;
      for (u32 x = 0; x < h.width; ++x) placer.Put(LoadValue(row.Get() + x * bytes, bytes));
    }
    return true;
  }
  u8 packet[4];
  while (!placer.Done()) {
    u8 control;
    if (!input.ReadByte(&control)) return false;
    const u32 count = (control & 0x7F) + 1u;
    if (control & 0x80) {
      if (!input.Read(packet, bytes)) return false;
      const u32 value = LoadValue(packet, bytes);
      for (u32 i = 0; i < count && !placer.Done(); ++i) placer.Put(value);
    } else {
      for (u32 i = 0; i < count && !placer.Done(); ++i) {
        if (!input.Read(packet, bytes)) return false;
        placer.Put(LoadValue(packet, bytes));
      }
    }
  }
  return true;
}

// Checks the header and picks the output format and the attribute-bit count.
bool ChooseFormat(const TgaHeader& h, u32* format, TgaColor* color) {
  if ((h.descriptor & 0xC0) || h.imageType < 1 || h.imageType > 11) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  const u32 kind = h.imageType & 7;
  if (kind == 1) {
    if (!(h.depth == 8 || IsTrueColorDepth(h.depth)) || h.mapType != 1) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
    *format = h.mapLength <= 256 ? SL_IMAGE_FORMAT_PALETTE : SL_IMAGE_FORMAT_BGR;
    color->attributeBits = h.mapEntryBits == 15   ? 1
                           : h.mapEntryBits == 16 ? (h.descriptor & 1)
                           : h.mapEntryBits == 32 ? 8
                                                  : 0;
  } else if (kind == 2) {
    if (!IsTrueColorDepth(h.depth)) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
    *format = h.depth == 32 ? SL_IMAGE_FORMAT_BGRA : SL_IMAGE_FORMAT_BGR;
    color->attributeBits = h.depth == 15 ? 1 : h.depth == 16 ? (h.descriptor & 1) : h.depth == 32 ? 8 : 0;
  } else if (kind == 3) {
    if (h.depth != 8) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
    *format = SL_IMAGE_FORMAT_PALETTE;
    color->attributeBits = 0;
  } else {
    return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  }
  if (h.mapType == 1) {
    if (h.mapLength == 0) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
    if (!IsTrueColorDepth(h.mapEntryBits)) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
    if (kind == 3) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  } else if (h.mapType > 1) {
    return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  }
  return true;
}

bool ReadImage(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  TgaColor color;
  u32 key = 0;
  if (storage->CanSeek() && !ReadExtensionArea(storage, &color, &key)) return false;

  CSLImageReadAhead input(storage);
  u8 raw[18];
  if (!input.Read(raw, 18)) return false;
  TgaHeader h;
  h.Decode(raw);
  u32 format = 0;
  if (!ChooseFormat(h, &format, &color)) return false;
  if (h.idLength && !input.Skip(h.idLength)) return false;

  CSLImage* image = SLAppendNewImage(images);
  if (!image || !image->Create(format, h.width, h.height, true)) return false;
  image->SetResolutionX(96);
  image->SetResolutionY(96);

  // The colour map, converted once; entries are fetched as four bytes, hence the slack.
  TSLAutoPtr<u32> map;
  if (h.mapType == 1) {
    const u32 entryBytes = (h.mapEntryBits + 7) / 8;
    const u32 mapBytes = u32(h.mapLength) * entryBytes;
    TSLAutoPtr<u8> stored(static_cast<u8*>(SLAllocZero((mapBytes + 3) & ~3u)));
    map.Reset(static_cast<u32*>(SLAlloc(u32(h.mapLength) * 4)));
    if (!stored || !map) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (!input.Read(stored.Get(), mapBytes)) return false;
    for (u32 i = 0; i < h.mapLength; ++i)
      map.Get()[i] = color.Convert(LoadValue(stored.Get() + i * entryBytes, entryBytes), h.mapEntryBits);
  }
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    SLPaletteEntry entries[256];
    for (u32 i = 0; i < 256; ++i) {
      u32 argb = 0xFF000000u;
      if (!map) argb |= i * 0x010101u;
      else if (i < h.mapLength) argb = map.Get()[i];
      entries[i] = {u8(argb >> 16), u8(argb >> 8), u8(argb), u8(argb >> 24)};
    }
    if (image->SetPaletteEntries(0, 256, entries) != 256) return false;
  }
  if (key && !image->SetTransparentColor(key)) return false;
  if (flags & SL_IMAGE_READ_HEADER_ONLY) return true;

  if (!image->EnsureBuffer()) return false;
  const bool colorMapped = (h.imageType & 7) == 1;
  TgaPlacer placer(image, h, color, colorMapped ? map.Get() : nullptr, format);
  return DecodePixels(input, h, placer);
}

}  // namespace

bool CSLImageReaderTGA::IsFormat(const u8* b, u32 count) {
  if (!b || count < 18) return SLFail(SL_E_INVALID_ARG, false);
  SLSetLastError(0);
  TgaHeader h;
  h.Decode(b);
  if (h.descriptor & 0xC0) return false;
  const u32 kind = h.imageType & 7;
  if (h.imageType > 11 || kind < 1 || kind > 3) return false;
  if (kind == 1 && (!(h.depth == 8 || IsTrueColorDepth(h.depth)) || h.mapType != 1)) return false;
  if (kind == 2 && !IsTrueColorDepth(h.depth)) return false;
  if (kind == 3 && h.depth != 8) return false;
  if (h.mapType > 1) return false;
  if (h.mapType == 1 && (h.mapLength == 0 || !IsTrueColorDepth(h.mapEntryBits) || kind == 3)) return false;
  return true;
}

bool CSLImageReaderTGA::Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  return SLRunImageRead(images, storage, flags, &ReadImage);
}

const char* CSLImageReaderTGA::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("TGA") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageReaderTGA::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"TGA") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
