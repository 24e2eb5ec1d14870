// The layout of every format id, shared by the format functions and the converters.
#pragma once

#include "foundation/SLTypes.h"
#include "image/SLPixelFormat.h"

namespace SLInternals {

struct SLPixelLayout {
  u8 bytesPerPixel;  // 0 for ids without a layout
  u8 bitsPerPixel;
  u32 redMask, greenMask, blueMask, alphaMask;
};

inline constexpr SLPixelLayout kPixelLayouts[SL_IMAGE_FORMAT_LAST + 1] = {
    {},                                                   // 0: not a format
    {1, 8, 0, 0, 0, 0},                                   // 1 palette index
    {3, 24, 0x0000FF, 0x00FF00, 0xFF0000, 0},             // 2 R,G,B
    {3, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0},             // 3 B,G,R
    {4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},  // 4 R,G,B,A
    {4, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},  // 5 B,G,R,A
    {4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},           // 6 R,G,B,x
    {4, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0},           // 7 B,G,R,x
    {4, 32, 0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF},  // 8 A,R,G,B
    {4, 32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF},  // 9 A,B,G,R
    {4, 32, 0x0000FF00, 0x00FF0000, 0xFF000000, 0},           // 10 x,R,G,B
    {4, 32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0},           // 11 x,B,G,R
    {1, 8, 0, 0, 0, 0xFF},                                // 12 alpha only
    {2, 16, 0x001F, 0x07E0, 0xF800, 0},                   // 13 5-6-5 red low
    {2, 16, 0xF800, 0x07E0, 0x001F, 0},                   // 14 5-6-5 blue low
    {2, 16, 0x001F, 0x03E0, 0x7C00, 0x8000},              // 15 1-5-5-5 red low
    {2, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},              // 16 1-5-5-5 blue low
    {2, 16, 0x001F, 0x03E0, 0x7C00, 0},                   // 17 x-5-5-5 red low
    {2, 16, 0x7C00, 0x03E0, 0x001F, 0},                   // 18 x-5-5-5 blue low
    {2, 16, 0x000F, 0x00F0, 0x0F00, 0xF000},              // 19 4-4-4-4 red low
    {2, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},              // 20 4-4-4-4 blue low
    {2, 16, 0x000F, 0x00F0, 0x0F00, 0},                   // 21 x-4-4-4 red low
    {2, 16, 0x0F00, 0x00F0, 0x000F, 0},                   // 22 x-4-4-4 blue low
    {}, {}, {}, {}, {}, {}, {},                           // 23..29 unassigned
    {4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},  // 30..34: pixels as 4
    {4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
    {4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
    {4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
    {4, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
};

// Callers pass an id in 1..34.
inline const SLPixelLayout& SLFormatLayout(u32 format) { return kPixelLayouts[format]; }

// True for an id in 1..34 that names a layout.
inline bool SLHasLayout(u32 format) {
  return format >= SL_IMAGE_FORMAT_PALETTE && format <= SL_IMAGE_FORMAT_LAST && kPixelLayouts[format].bytesPerPixel != 0;
}

// Fills the format fields of a description: id, block flag, masks, size, bits, bytes
// and stride (from SLComputeImageSizes).
inline void SLDescribeFormat(SLImageInfo* info, u32 format, u32 width, u32 height, u32 stride) {
  const SLPixelLayout& layout = kPixelLayouts[format];
  info->format = format;
  info->blockFormat = format >= SL_IMAGE_FORMAT_FIRST_BLOCK ? 1 : 0;
  info->redMask = layout.redMask;
  info->greenMask = layout.greenMask;
  info->blueMask = layout.blueMask;
  info->alphaMask = layout.alphaMask;
  info->width = width;
  info->height = height;
  info->bitsPerPixel = layout.bitsPerPixel;
  info->bytesPerPixel = layout.bytesPerPixel;
  info->stride = stride;
}

}  // namespace SLInternals
