#include "image/SLPixelFormat.h"

#include <atomic>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLPixelFormatTable.h"

namespace {

std::atomic<u64> s_bufferLimit{SL_IMAGE_DEFAULT_BUFFER_LIMIT};

bool InRange(u32 format) { return format >= SL_IMAGE_FORMAT_PALETTE && format <= SL_IMAGE_FORMAT_LAST; }

}  // namespace

bool SLIsValidPixelFormat(u32 format) { return InRange(format); }

bool SLIsBlockPixelFormat(u32 format) {
  if (!InRange(format)) return SLFail(SL_E_INVALID_ARG, false);
  return SLSucceed(format >= SL_IMAGE_FORMAT_FIRST_BLOCK);
}

bool SLPixelFormatHasAlpha(u32 format) {
  if (!InRange(format)) return SLFail(SL_E_INVALID_ARG, false);
  return SLSucceed(SLInternals::SLFormatLayout(format).alphaMask != 0);
}

u32 SLGetBytesPerPixel(u32 format) {
  u32 bytes = InRange(format) ? SLInternals::SLFormatLayout(format).bytesPerPixel : 0;
  if (bytes == 0) return SLFail(SL_E_INVALID_ARG, 0u);
  return SLSucceed(bytes);
}

bool SLGetPixelFormatMasks(u32 format, u32* red, u32* green, u32* blue, u32* alpha) {
  SLInternals::SLPixelLayout layout = {};
  if (InRange(format)) layout = SLInternals::SLFormatLayout(format);
  bool hasMasks = (layout.redMask | layout.greenMask | layout.blueMask | layout.alphaMask) != 0;
  if (red) *red = layout.redMask;
  if (green) *green = layout.greenMask;
  if (blue) *blue = layout.blueMask;
  if (alpha) *alpha = layout.alphaMask;
  return hasMasks ? SLSucceed(true) : SLFail(SL_E_INVALID_ARG, false);
}

void SLMaskToShift(u32 mask, u32* width, u32* shift) {
  u32 low = 0, run = 0;
  if (mask != 0) {
    low = u32(__builtin_ctz(mask));
    if (low > 31) low = 31;
    u32 rest = mask >> low;
    run = rest == 0xFFFFFFFFu ? 32 : u32(__builtin_ctz(~rest));
    if (run > 31) run = 31;
  }
  if (width) *width = run;
  if (shift) *shift = low;
  SLSetLastError(SL_OK);
}

SLImagePalette* SLAllocPalette(u32 count) {
  if (count > 256) return SLFail(SL_E_INVALID_ARG, static_cast<SLImagePalette*>(nullptr));
  auto* palette = static_cast<SLImagePalette*>(SLAlloc(sizeof(SLImagePalette)));
  if (!palette) return nullptr;
  palette->count = count;
  for (SLPaletteEntry& entry : palette->entries) entry = {0, 0, 0, 255};
  return SLSucceed(palette);
}

void SLDefaultPaletteColor(u32 index, SLPaletteEntry* out) {
  if (!out) return;
  out->red = u8(((index >> 5) & 7) * 255 / 7);
  out->green = u8(((index >> 2) & 7) * 255 / 7);
  out->blue = u8((index & 3) * 255 / 3);
  out->alpha = 255;
}

u64 SLSetImageBufferLimit(u64 bytes) { return s_bufferLimit.exchange(bytes); }
u64 SLGetImageBufferLimit() { return s_bufferLimit.load(); }

bool SLComputeImageSizes(u32 format, u64 width, u64 height, SLImageSizes* out) {
  const u64 limit = SLGetImageBufferLimit();
  const u32 bytesPerPixel = InRange(format) ? SLInternals::SLFormatLayout(format).bytesPerPixel : 0;
  u64 rowBytes, stride, pixelBytes;
  if (!SLCheckedMul(bytesPerPixel, width, &rowBytes) || !SLCheckedRoundUp(rowBytes, 4, &stride) ||
      !SLCheckedMul(stride, height, &pixelBytes) || !SLFitsU32(stride) || pixelBytes > limit ||
      !SLFitsU32(pixelBytes))
    return SLFail(SL_E_IMAGE_SIZE, false);
  u64 blockBytes = 0;
  if (format >= SL_IMAGE_FORMAT_FIRST_BLOCK && format <= SL_IMAGE_FORMAT_LAST) {
    u64 across = width / 4 ? width / 4 : 1, down = height / 4 ? height / 4 : 1;
    u64 blocks;
    if (!SLCheckedMul(across, down, &blocks) ||
        !SLCheckedMul(blocks, format == SL_IMAGE_FORMAT_FIRST_BLOCK ? 8 : 16, &blockBytes) ||
        blockBytes > limit || !SLFitsU32(blockBytes))
      return SLFail(SL_E_IMAGE_SIZE, false);
  }
  if (out) *out = {u32(stride), u32(pixelBytes), u32(blockBytes)};
  return SLSucceed(true);
}
