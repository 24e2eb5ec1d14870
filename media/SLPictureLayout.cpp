#include "media/SLPictureLayout.h"

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/reader/SLBaseVideoAudioReader.h"

namespace {
constexpr u32 kBitmapHeaderBytes = 40;
constexpr u32 kBitFields = 3;
constexpr u32 kMaskBytes = 12;
}  // namespace

bool SLReadPictureLayout(const void* picture, u32 size, u32 width, u32 height, SLPictureLayout* out) {
  if (!picture || !out) return SLFail(SL_E_NULL_OUTPUT, false);
  const u8* bytes = static_cast<const u8*>(picture);
  if (size < kBitmapHeaderBytes) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  const u32 headerBytes = SLLoadLE32(bytes);
  const i32 storedHeight = i32(SLLoadLE32(bytes + 8));
  const u32 bits = SLLoadLE16(bytes + 14);
  const u32 compression = SLLoadLE32(bytes + 16);
  const u32 colorsUsed = SLLoadLE32(bytes + 32);
  u64 offset = headerBytes < kBitmapHeaderBytes ? kBitmapHeaderBytes : headerBytes;
  switch (bits) {
    case 8: out->format = SL_IMAGE_FORMAT_PALETTE; break;
    case 16: out->format = compression == kBitFields ? SL_IMAGE_FORMAT_565_BLUE_LOW : SL_IMAGE_FORMAT_X555_BLUE_LOW; break;
    case 24: out->format = compression == kBitFields ? SL_IMAGE_FORMAT_RGB : SL_IMAGE_FORMAT_BGR; break;
    case 32: out->format = SL_IMAGE_FORMAT_BGRX; break;
    default: return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  }
  out->bytesPerPixel = bits / 8;
  out->palette.count = 0;
  if (bits == 8) {
    const u32 count = colorsUsed == 0 || colorsUsed > 256 ? 256 : colorsUsed;
    if (offset + u64(count) * 4 > size) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
    out->palette.count = count;
    for (u32 i = 0; i < 256; ++i) {
      // Stored blue, green, red, reserved.
      const u8* quad = bytes + offset + u64(i) * 4;
      out->palette.entries[i] = i < count ? SLPaletteEntry{quad[2], quad[1], quad[0], 255} : SLPaletteEntry{0, 0, 0, 255};
    }
    offset += u64(count) * 4;
  } else if (compression == kBitFields) {
    offset += kMaskBytes;
  }
  out->stride = (u64(width) * bits + 31) / 32 * 4;
  out->bottomUp = storedHeight >= 0;
  out->pixels = bytes + offset;
  u64 needed = 0;
  if (!SLCheckedMul(out->stride, height, &needed) || !SLCheckedAdd(needed, offset, &needed) || needed > size)
    return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  return SLSucceed(true);
}
