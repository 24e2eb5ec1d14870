// Pixel-format conversion: whole descriptions, single rows, and the 4x4-block encoder.
//
// Every conversion reads source pixels into one intermediate form, four 8-bit channels
// packed as 0xAABBGGRR, applies the conversion flags there, and writes the destination
// format from it. The alpha a source without alpha gives depends on where it goes: 24-bit
// pixels give 255 to 32- and 16-bit targets but 0 to the alpha format (and to GetPixel);
// the spare byte of formats 6, 7, 10 and 11 passes on as alpha to 32-bit targets only.
#pragma once

#include "image/SLPixelFormat.h"

// Converts source width x height pixels of `source` into the rows of `destination`, by
// the destination's format. 0 or a negative error code: SL_E_IMAGE_NO_PIXELS without
// a buffer, SL_E_UNSUPPORTED_VARIANT for a destination format without a writer,
// SL_E_IMAGE_SIZE when either description does not hold that many pixels.
u32 SLConvertPixels(const SLImageInfo* source, SLImageInfo* destination, u32 flags);

// Converts one row of `pixelCount` pixels; `palette` serves whichever side has format 1.
// Block formats are refused on both sides.
bool SLConvertPixelRow(u32 destinationFormat, void* destination, u32 sourceFormat, const void* source,
                       u32 pixelCount, const SLImagePalette* palette);

// Encodes the pixels of a format 30..34 description into its block data (replacing a
// block buffer of the wrong size). 0 or an error code.
u32 SLEncodeImageBlocks(SLImageInfo* info);

namespace SLInternals {

// The colour of one pixel as GetPixel reports it.
u32 SLReadPixelColor(u32 format, const u8* address, const SLImagePalette* palette);

// Where decoded pixels go; it decides the alpha of sources without alpha.
enum class SLAlphaRule : u8 {
  Sample,    // GetPixel: 24-bit gives 0, spare-byte and 16-bit formats 255
  To32,      // 24-bit and 16-bit give 255, the spare byte passes on
  To16,      // 255 for every source without alpha
  ToAlpha,   // 0 for every source without alpha
};
constexpr SLAlphaRule SLAlphaRuleFor(u32 destinationFormat) {
  if (destinationFormat == SL_IMAGE_FORMAT_ALPHA) return SLAlphaRule::ToAlpha;
  if (destinationFormat >= SL_IMAGE_FORMAT_FIRST_16BIT && destinationFormat <= SL_IMAGE_FORMAT_LAST_16BIT) return SLAlphaRule::To16;
  return SLAlphaRule::To32;  // 24-bit and palette targets drop alpha anyway
}

// The 256 colours of a palette image: its palette, or the default 3-3-2 ramp.
void SLPaletteColors(const SLImagePalette* palette, u32 out[256]);

// Row kernels. `colors` is SLPaletteColors of the source for format 1, else unused.
void SLDecodeRow(u32 format, const u8* source, u32 count, const u32* colors, SLAlphaRule rule, u32* out);
void SLEncodeRow(u32 format, const u32* pixels, u32 count, u8* destination);
// One pass from the common layouts (2, 3, 4, 5, 13, 14) to those and 6, 7 and 12, flags 0;
// false for other pairs. Gives the bytes the two kernels above give.
bool SLConvertRowFused(u32 from, u32 to, const u8* source, u32 count, u8* destination);

}  // namespace SLInternals
