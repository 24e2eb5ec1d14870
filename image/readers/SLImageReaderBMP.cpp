#include "image/readers/SLImageReaderBMP.h"

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "image/readers/SLImageReadAhead.h"
#include "image/readers/SLImageReaderJPG.h"
#include "image/readers/SLImageReaderPNG.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageReaderBMP, CSLBaseImageReader)

namespace {

struct BmpHeader {
  u32 dataOffset = 0;  // 0: no file header
  u32 size = 0;
  i32 width = 0, height = 0;
  u32 bitCount = 0, compression = 0;
  i32 ppmX = 0;
  u32 colorsUsed = 0;
  u32 masks[4] = {};
};

// Reads the file header (when present), the info header and the masks; every byte read
// counts in the read-ahead's consumed bytes.
bool ReadHeaders(CSLImageReadAhead& input, BmpHeader* h) {
  u8 b[40];
  if (!input.Read(b, 2)) return false;
  if (b[0] == 'B' && b[1] == 'M') {
    if (!input.Read(b, 12)) return false;
    h->dataOffset = SLLoadLE32(b + 8);
    if (!input.Read(b, 2)) return false;
  }
  if (!input.Read(b + 2, 2)) return false;
  h->size = SLLoadLE32(b);
  if (h->size == 12) {
    if (!input.Read(b, 8)) return false;
    h->width = SLLoadLE16(b);
    h->height = SLLoadLE16(b + 2);
    h->bitCount = u32(SLLoadLE16(b + 4)) * SLLoadLE16(b + 6);
    return true;
  }
  if (h->size < 40) return SLFail(SL_E_MALFORMED, false);
  if (!input.Read(b + 4, 36)) return false;
  h->width = i32(SLLoadLE32(b + 4));
  h->height = i32(SLLoadLE32(b + 8));
  h->bitCount = u32(SLLoadLE16(b + 12)) * SLLoadLE16(b + 14);
  h->compression = SLLoadLE32(b + 16);
  h->ppmX = i32(SLLoadLE32(b + 24));
  h->colorsUsed = SLLoadLE32(b + 32);
  if (h->compression > 5) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);

  u64 maskBytes = 0, inHeader = 0;
  if (h->size >= 108) {
    maskBytes = inHeader = 16;
  } else if (h->compression == 3) {
    const bool sixteen = h->bitCount == 16;
    h->masks[0] = sixteen ? 0x7C00 : 0xFF0000;
    h->masks[1] = sixteen ? 0x03E0 : 0xFF00;
    h->masks[2] = sixteen ? 0x001F : 0xFF;
    h->masks[3] = sixteen ? 0x8000 : 0xFF000000u;
    maskBytes = h->bitCount == 24 ? 12 : 16;
    if (h->size == 40) maskBytes = 12;
    else if (h->size - 40 < maskBytes) maskBytes = (h->size - 40) / 4 * 4;
    inHeader = h->size == 40 ? 0 : maskBytes;
  }
  u8 m[16];
  if (maskBytes && !input.Read(m, maskBytes)) return false;
  for (u32 i = 0; i < maskBytes / 4; ++i) h->masks[i] = SLLoadLE32(m + 4 * i);
  return input.Skip(u64(h->size) - 40 - inHeader);
}

// One channel of a bit-field conversion: the source mask's run and the target's.
struct Channel {
  u32 shift = 0, width = 0, targetShift = 0, targetWidth = 0;
  u32 Place(u32 pixel) const {
    if (!width) return 0;
    const u32 value = ((pixel >> shift) << (8 - width)) & 0xFF;
    return (value >> (8 - targetWidth)) << targetShift;
  }
};

bool DecodeRle(CSLImageReadAhead& input, const BmpHeader& h, CSLImage* image, u32 height, bool bottomUp) {
  const u32 width = u32(h.width);
  const bool four = h.compression == 2;
  u32 x = 0, row = 0;
  auto rowPixels = [&]() { return image->GetPixels() + u64(bottomUp ? height - 1 - row : row) * image->GetStride(); };
  while (row < height) {
    u8 pair[2];
    if (!input.Read(pair, 2)) return false;
    if (pair[0]) {
      u8* out = rowPixels();
      for (u32 i = 0; i < pair[0] && x < width; ++i, ++x)
        out[x] = four ? u8(i & 1 ? pair[1] & 15 : pair[1] >> 4) : pair[1];
      continue;
    }
    if (pair[1] == 0) {
      ++row;
      x = 0;
    } else if (pair[1] == 1) {
      return true;
    } else if (pair[1] == 2) {
      u8 delta[2];
      if (!input.Read(delta, 2)) return false;
      x += delta[0];
      row += delta[1];
    } else {
      const u32 n = pair[1];
      const u32 bytes = four ? (n + 1) / 2 : n;
      u8 literal[256];
      if (!input.Read(literal, bytes + (bytes & 1))) return false;
      u8* out = rowPixels();
      for (u32 i = 0; i < n; ++i, ++x)
        if (x < width) out[x] = four ? u8(i & 1 ? literal[i / 2] & 15 : literal[i / 2] >> 4) : literal[i];
    }
  }
  return true;
}

bool DecodeRows(CSLImageReadAhead& input, const BmpHeader& h, CSLImage* image, u32 height, bool bottomUp,
                u64 rowSize) {
  const u32 width = u32(h.width), bits = h.bitCount;
  TSLAutoPtr<u8> rowBuffer(static_cast<u8*>(SLAlloc(u32(rowSize))));
  if (!rowBuffer) return SLFail(SL_E_OUT_OF_MEMORY, false);
  Channel channels[4];
  if (h.compression == 3) {
    static const u32 k16[4] = {0xF800, 0x07E0, 0x001F, 0};
    static const u32 k32[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000u};
    for (u32 c = 0; c < 4; ++c) {
      SLMaskToShift(h.masks[c], &channels[c].width, &channels[c].shift);
      if (channels[c].width > 8) {
        channels[c].shift += channels[c].width - 8;
        channels[c].width = 8;
      }
      SLMaskToShift(bits == 16 ? k16[c] : k32[c], &channels[c].targetWidth, &channels[c].targetShift);
      if (!channels[c].targetWidth) channels[c].width = 0;
    }
  }
  const u32 sourceBytes = bits / 8;
  for (u32 r = 0; r < height; ++r) {
    u8* out = image->GetPixels() + u64(bottomUp ? height - 1 - r : r) * image->GetStride();
    u8* in = rowBuffer.Get();
    if (!input.Read(in, rowSize)) return false;
    if (bits < 8) {
      for (u32 x = 0; x < width; ++x)
        out[x] = bits == 4 ? u8(x & 1 ? in[x / 2] & 15 : in[x / 2] >> 4) : u8((in[x / 8] >> (7 - x % 8)) & 1);
    } else if (h.compression == 0) {
      SLMemCopy(out, in, width * sourceBytes);
      if (bits == 16)
        for (u32 x = 0; x < width; ++x) {
          const u16 p = SLLoadLE16(out + 2 * x);
          SLStoreLE16(out + 2 * x, u16(((p & 0xFFE0) << 1) | (p & 0x1F)));
        }
    } else {
      const u32 outBytes = image->GetBytesPerPixel();
      for (u32 x = 0; x < width; ++x) {
        const u8* p = in + x * sourceBytes;
        const u32 pixel = sourceBytes == 2 ? SLLoadLE16(p) : sourceBytes == 3 ? (p[0] | p[1] << 8 | p[2] << 16) : SLLoadLE32(p);
        u32 value = 0;
        for (const Channel& c : channels) value |= c.Place(pixel);
        for (u32 i = 0; i < outBytes; ++i) out[x * outBytes + i] = u8(value >> (8 * i));
      }
    }
  }
  return true;
}

// Compressions 4 and 5: the pixel data is a whole JPEG or PNG stream, read by that
// format's reader from the data offset (or right after the headers).
bool ReadEmbedded(CSLImageArray* images, CSLBaseStorage* storage, u32 flags, const BmpHeader& h, u64 consumed,
                  u64 start) {
  if (h.dataOffset && consumed > h.dataOffset) return SLFail(SL_E_MALFORMED, false);
  u64 streamStart;
  if (!SLCheckedAdd(start, h.dataOffset ? h.dataOffset : consumed, &streamStart) || streamStart > u64(INT64_MAX))
    return SLFail(SL_E_MALFORMED, false);
  if (!storage->Seek(i64(streamStart), SL_SEEK_BEGIN)) return false;
  if (h.compression == 4) {
    CSLImageReaderJPG reader;
    return reader.Read(images, storage, flags);
  }
  CSLImageReaderPNG reader;
  return reader.Read(images, storage, flags);
}

bool ReadImage(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  // The read-ahead runs past the headers; an embedded stream is found again from here.
  u64 start = 0;
  const bool knowsStart = storage->GetPosition(&start);
  CSLImageReadAhead input(storage);
  BmpHeader h;
  if (!ReadHeaders(input, &h)) return false;
  // A height of -2^31 has no absolute value.
  if (h.width < 1 || h.height == 0 || h.height == i32(0x80000000u)) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  const u32 bits = h.bitCount, c = h.compression;
  if (c == 4 || c == 5) {
    if (!knowsStart) return SLFail(SL_E_MALFORMED, false);
    return ReadEmbedded(images, storage, flags, h, input.Consumed(), start);
  }
  u32 format = 0;
  if (c == 0 && (bits == 1 || bits == 4 || bits == 8)) format = SL_IMAGE_FORMAT_PALETTE;
  else if ((c == 0 || c == 3) && bits == 16) format = SL_IMAGE_FORMAT_565_BLUE_LOW;
  else if ((c == 0 || c == 3) && bits == 24) format = SL_IMAGE_FORMAT_BGR;
  else if ((c == 0 || c == 3) && bits == 32) format = SL_IMAGE_FORMAT_BGRA;
  else if ((c == 1 && bits == 8) || (c == 2 && bits == 4)) format = SL_IMAGE_FORMAT_PALETTE;
  else if (c == 3 && bits <= 8) return SLFail(SL_E_MALFORMED, false);
  else return SLFail(SL_E_UNSUPPORTED_VARIANT, false);

  const u32 height = u32(h.height < 0 ? -h.height : h.height);
  CSLImage* image = SLAppendNewImage(images);
  if (!image || !image->Create(format, u32(h.width), height, true)) return false;

  if (bits <= 8) {
    const u32 count = h.colorsUsed ? h.colorsUsed : 1u << bits;
    if (count > 256) return SLFail(SL_E_INVALID_ARG, false);
    const u32 entryBytes = h.size == 12 ? 3 : 4;
    u8 stored[256 * 4];
    if (!input.Read(stored, count * entryBytes)) return false;
    SLPaletteEntry entries[256];
    for (u32 i = 0; i < count; ++i) {
      const u8* e = stored + i * entryBytes;
      entries[i] = {e[2], e[1], e[0], 255};
    }
    if (image->SetPaletteEntries(0, count, entries) != count) return false;
  }
  const i64 dpi = h.ppmX > 0 ? i64(h.ppmX / 39.37007874015748) : 0;
  if (dpi > 65535 || !image->SetResolutionX(u32(dpi)) || !image->SetResolutionY(u32(dpi)))
    return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  if (flags & SL_IMAGE_READ_HEADER_ONLY) return true;

  if (!image->EnsureBuffer()) return false;
  if (h.dataOffset) {
    if (input.Consumed() > h.dataOffset) return SLFail(SL_E_MALFORMED, false);
    if (!input.Skip(h.dataOffset - input.Consumed())) return false;
  }
  const bool bottomUp = h.height > 0;
  if (c == 1 || c == 2) {
    SLImageInfo info;
    image->GetInfo(&info);
    SLMemSet(info.pixels, 0, info.pixelBufferSize);
    return DecodeRle(input, h, image, height, bottomUp);
  }
  const u64 rowSize = ((u64(u32(h.width)) * bits + 31) / 8) & ~u64(3);
  return DecodeRows(input, h, image, height, bottomUp, rowSize);
}

}  // namespace

bool CSLImageReaderBMP::IsFormat(const u8* b, u32 count) {
  if (!b || count < 4) return SLFail(SL_E_INVALID_ARG, false);
  return SLSucceed((b[0] == 'B' && b[1] == 'M') || (b[0] == 0x28 && b[1] == 0 && b[2] == 0 && b[3] == 0));
}

bool CSLImageReaderBMP::Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  return SLRunImageRead(images, storage, flags, &ReadImage);
}

const char* CSLImageReaderBMP::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("BMP") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageReaderBMP::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"BMP") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
