// Whole-image and single-row conversion between pixel formats, and CSLImage::ConvertFormat.
#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLImage.h"
#include "image/SLImageQuantizer.h"
#include "image/SLPixelConvert.h"
#include "image/SLPixelFormatTable.h"

using namespace SLInternals;

namespace {

constexpr u32 kChunk = 512;

// True when `info` holds `rows` rows of `columns` pixels of its format inside its buffer.
bool HoldsPixels(const SLImageInfo& info, u32 columns, u32 rows) {
  if (!SLHasLayout(info.format)) return false;
  if (columns == 0 || rows == 0) return true;
  const u64 rowBytes = u64(columns) * SLFormatLayout(info.format).bytesPerPixel;
  if (info.width < columns || info.height < rows || info.stride < rowBytes) return false;
  return u64(info.stride) * (rows - 1) + rowBytes <= info.pixelBufferSize;
}

// Maps the source onto a palette (dithered with flag bit 8, channel flags passed on).
u32 RemapOnto(CSLImageQuantizer& quantizer, const SLImageInfo& source, const SLImagePalette* palette, u32 flags,
              SLRemapResult* result) {
  if (!quantizer.SetPalette(palette) ||
      !quantizer.RemapPixels(result, &source, (flags & SL_CONVERT_DITHER) != 0, flags & 7))
    return SLGetLastError();
  return SL_OK;
}

// Palette target: the quantizer maps the source onto the destination's palette.
u32 ConvertToPalette(CSLImageQuantizer& quantizer, const SLImageInfo& source, SLImageInfo& destination, u32 flags) {
  SLRemapResult result;
  const u32 code = RemapOnto(quantizer, source, destination.palette, flags, &result);
  if (code != SL_OK) return code;
  for (u32 y = 0; y < source.height; ++y)
    SLMemCopy(destination.pixels + u64(y) * destination.stride, result.indexes + u64(y) * result.stride,
              source.width);
  SLFree(result.indexes);
  return SL_OK;
}

}  // namespace

u32 SLConvertPixels(const SLImageInfo* source, SLImageInfo* destination, u32 flags) {
  if (!source) return SL_E_NULL_DATA;
  if (!destination) return SL_E_NULL_OUTPUT;
  if (!source->pixels || !destination->pixels) return SL_E_IMAGE_NO_PIXELS;
  const u32 from = source->format, to = destination->format;
  if (!SLHasLayout(from)) return SL_E_BAD_FORMAT;
  if (!SLHasLayout(to)) return SL_E_UNSUPPORTED_VARIANT;
  const u32 width = source->width, height = source->height;
  if (!HoldsPixels(*source, width, height) || !HoldsPixels(*destination, width, height)) return SL_E_IMAGE_SIZE;
  if (to == SL_IMAGE_FORMAT_PALETTE) {
    CSLImageQuantizer quantizer;
    return ConvertToPalette(quantizer, *source, *destination, flags);
  }

  const u32 fromBytes = SLFormatLayout(from).bytesPerPixel;
  const u32 toBytes = SLFormatLayout(to).bytesPerPixel;
  // In place (one buffer on both sides) the target must not be wider: each chunk is read
  // whole before its converted bytes go at or before its start.
  const bool inPlace = source->pixels == destination->pixels;
  if (inPlace && (toBytes > fromBytes || destination->stride > source->stride)) return SL_E_IMAGE_SIZE;

  // The same 32-bit layout copies rows as they are, without flags.
  const bool copy = from == to && toBytes == 4;
  const bool fused = !copy && flags == 0 && SLConvertRowFused(from, to, source->pixels, 0, destination->pixels);
  u32 colors[256];
  if (from == SL_IMAGE_FORMAT_PALETTE) SLPaletteColors(source->palette, colors);
  // Flags act on the intermediate colour: cleared channels read 0, bit 3 forces alpha.
  u32 keep = 0xFFFFFFFFu;
  if (flags & SL_CONVERT_NO_RED) keep &= ~0x000000FFu;
  if (flags & SL_CONVERT_NO_GREEN) keep &= ~0x0000FF00u;
  if (flags & SL_CONVERT_NO_BLUE) keep &= ~0x00FF0000u;
  const u32 force = (flags & SL_CONVERT_OPAQUE) ? 0xFF000000u : 0;
  const SLAlphaRule rule = SLAlphaRuleFor(to);
  u32 pixels[kChunk];
  u8 bounce[kChunk * 4];
  auto convertChunk = [&](const u8* in, u32 count, u8* out) {
    if (copy) {
      SLMemMove(out, in, count * 4);
    } else if (fused) {
      SLConvertRowFused(from, to, in, count, inPlace ? bounce : out);
      if (inPlace) SLMemMove(out, bounce, count * toBytes);
    } else {
      SLDecodeRow(from, in, count, colors, rule, pixels);
      if (keep != 0xFFFFFFFFu || force)
        for (u32 i = 0; i < count; ++i) pixels[i] = (pixels[i] & keep) | force;
      SLEncodeRow(to, pixels, count, out);
    }
  };
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; x += kChunk)
      convertChunk(source->pixels + u64(y) * source->stride + u64(x) * fromBytes,
                   width - x < kChunk ? width - x : kChunk,
                   destination->pixels + u64(y) * destination->stride + u64(x) * toBytes);
  return SL_OK;
}

bool SLConvertPixelRow(u32 destinationFormat, void* destination, u32 sourceFormat, const void* source,
                       u32 pixelCount, const SLImagePalette* palette) {
  if (!SLHasLayout(destinationFormat) || destinationFormat >= SL_IMAGE_FORMAT_FIRST_BLOCK)
    return SLFail(SL_E_BAD_TARGET_FORMAT, false);
  if (!destination) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!SLHasLayout(sourceFormat) || sourceFormat >= SL_IMAGE_FORMAT_FIRST_BLOCK)
    return SLFail(SL_E_BAD_FORMAT, false);
  if (!source) return SLFail(SL_E_NULL_DATA, false);
  if (pixelCount == 0) return SLSucceed(true);
  // Rows of 2^30 four-byte pixels and more would overflow the 32-bit sizes.
  if (u64(pixelCount) * 4 > 0xFFFFFFF0u) return SLFail(SL_E_IMAGE_SIZE, false);
  if (destinationFormat == sourceFormat) {
    SLMemMove(destination, source, pixelCount * SLFormatLayout(sourceFormat).bytesPerPixel);
    return SLSucceed(true);
  }
  auto describeRow = [&](u32 format, const void* pixels) {
    SLImageInfo info = {};
    info.format = format;
    info.width = pixelCount;
    info.height = 1;
    info.bytesPerPixel = SLFormatLayout(format).bytesPerPixel;
    info.stride = (pixelCount * info.bytesPerPixel + 3) & ~3u;
    info.pixelBufferSize = info.stride;
    info.pixels = static_cast<u8*>(const_cast<void*>(pixels));
    if (format == SL_IMAGE_FORMAT_PALETTE) info.palette = const_cast<SLImagePalette*>(palette);
    return info;
  };
  const SLImageInfo from = describeRow(sourceFormat, source);
  SLImageInfo to = describeRow(destinationFormat, destination);
  const u32 code = SLConvertPixels(&from, &to, 0);
  return code == SL_OK ? SLSucceed(true) : SLFail(code, false);
}

void CSLImage::ApplyFlagsInPlace(u32 flags) {
  const bool opaque = (flags & SL_CONVERT_OPAQUE) != 0;
  if (m_info.palette)
    for (SLPaletteEntry& entry : m_info.palette->entries) {
      if (flags & SL_CONVERT_NO_RED) entry.red = 0;
      if (flags & SL_CONVERT_NO_GREEN) entry.green = 0;
      if (flags & SL_CONVERT_NO_BLUE) entry.blue = 0;
      if (opaque) entry.alpha = 255;
    }
  u32 clear = 0;
  if (flags & SL_CONVERT_NO_RED) clear |= m_info.redMask;
  if (flags & SL_CONVERT_NO_GREEN) clear |= m_info.greenMask;
  if (flags & SL_CONVERT_NO_BLUE) clear |= m_info.blueMask;
  const u32 set = opaque ? m_info.alphaMask : 0;
  if (clear == 0 && set == 0) return;
  const u32 bytes = m_info.bytesPerPixel;
  for (u32 y = 0; y < m_info.height; ++y) {
    u8* pixel = m_info.pixels + u64(y) * m_info.stride;
    for (u32 x = 0; x < m_info.width; ++x, pixel += bytes) {
      u32 value = 0;
      for (u32 i = 0; i < bytes; ++i) value |= u32(pixel[i]) << (8 * i);
      value = (value & ~clear) | set;
      for (u32 i = 0; i < bytes; ++i) pixel[i] = u8(value >> (8 * i));
    }
  }
}

bool CSLImage::ConvertFormat(u32 newFormat, u32 flags, u32 colorCount, const SLImagePalette* palette) {
  if (!SLHasLayout(newFormat)) return SLFail(SL_E_BAD_TARGET_FORMAT, false);
  if (!SLHasLayout(m_info.format)) return SLFail(SL_E_BAD_FORMAT, false);
  if (m_info.width == 0 || m_info.height == 0) return SLFail(SL_E_IMAGE_EMPTY, false);
  if (!m_info.pixels) return SLFail(SL_E_IMAGE_NO_PIXELS, false);

  TSLAutoPtr<SLImagePalette> newPalette;
  CSLImageQuantizer quantizer;  // its work area comes only with a palette target
  if (newFormat == SL_IMAGE_FORMAT_PALETTE) {
    if (colorCount > 256) return SLFail(SL_E_INVALID_ARG, false);
    newPalette.Reset(SLAllocPalette(0));
    if (!newPalette) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (palette) {
      *newPalette.Get() = *palette;
      if (newPalette->count > 256) newPalette->count = 256;
    } else {
      if (!quantizer.ResetHistogram() || !quantizer.AddImage(this, 0) ||
          !quantizer.SelectColors(newPalette.Get(), colorCount))
        return false;
    }
  } else if (newFormat == m_info.format) {
    ApplyFlagsInPlace(flags);
    SetBlockDataStale(true);
    return SLSucceed(true);
  }

  const bool block = newFormat >= SL_IMAGE_FORMAT_FIRST_BLOCK;
  const u64 width = block ? (u64(m_info.width) + 3) & ~u64(3) : m_info.width;
  const u64 height = block ? (u64(m_info.height) + 3) & ~u64(3) : m_info.height;
  SLImageSizes sizes;
  if (!SLComputeImageSizes(newFormat, width, height, &sizes)) return false;

  SLImageInfo next = m_info;
  SLDescribeFormat(&next, newFormat, u32(width), u32(height), sizes.stride);
  next.pixelBufferSize = sizes.pixelBufferSize;
  next.blockDataSize = sizes.blockDataSize;
  next.blockDataStale = 0;
  // A target that is not wider (and neither the palette nor a block format) is converted
  // in the pixel buffer itself, then the buffer is cut to size: fresh pages cost more
  // than the conversion. It cannot fail once the descriptions are checked, which
  // SLConvertPixels does before it writes.
  if (!block && newFormat != SL_IMAGE_FORMAT_PALETTE && next.stride <= m_info.stride &&
      next.bytesPerPixel <= m_info.bytesPerPixel) {
    next.pixels = m_info.pixels;
    next.blockData = nullptr;
    next.palette = nullptr;
    const u32 code = SLConvertPixels(&m_info, &next, flags);
    if (code != SL_OK) return SLFail(code, false);
    if (u8* smaller = static_cast<u8*>(SLRealloc(next.pixels, next.pixelBufferSize))) next.pixels = smaller;
    SLFree(m_info.palette);
    SLFree(m_info.blockData);
    m_info = next;
    SetBlockDataStale(true);
    return SLSucceed(true);
  }
  // Rows of a multiple of 4 indexes: the quantizer's index rows become the pixels.
  if (newFormat == SL_IMAGE_FORMAT_PALETTE && next.stride == next.width) {
    SLRemapResult result;
    const u32 code = RemapOnto(quantizer, m_info, newPalette.Get(), flags, &result);
    if (code != SL_OK) return SLFail(code, false);
    next.pixels = result.indexes;
    next.blockData = nullptr;
    next.palette = newPalette.Detach();
    SLFree(m_info.palette);
    SLFree(m_info.blockData);
    SLFree(m_info.pixels);
    m_info = next;
    return SLSucceed(true);
  }
  // Added rows and columns of a block format are written as zero.
  const bool grows = width != m_info.width || height != m_info.height;
  TSLAutoPtr<u8> pixels(static_cast<u8*>(grows ? SLAllocZeroed(sizes.pixelBufferSize) : SLAlloc(sizes.pixelBufferSize)));
  TSLAutoPtr<u8> blockData(block ? static_cast<u8*>(SLAllocZeroed(sizes.blockDataSize)) : nullptr);
  if (!pixels || (block && !blockData)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  next.pixels = pixels.Get();
  next.blockData = blockData.Get();
  next.palette = newPalette.Get();
  // The quantizer that chose the colours also maps onto them.
  const u32 code = newFormat == SL_IMAGE_FORMAT_PALETTE ? ConvertToPalette(quantizer, m_info, next, flags)
                                                        : SLConvertPixels(&m_info, &next, flags);
  if (code != SL_OK) return SLFail(code, false);

  SLFree(m_info.palette);
  SLFree(m_info.blockData);
  SLFree(m_info.pixels);
  pixels.Detach();
  blockData.Detach();
  newPalette.Detach();
  m_info = next;
  SetBlockDataStale(true);
  return SLSucceed(true);
}
