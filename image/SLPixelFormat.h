// Pixel formats by number, the image description block every conversion works on, and
// the palette block. A format id names a memory layout: bytes per pixel and where red,
// green, blue and alpha sit in the little-endian pixel value.
//
//   1 palette index        2/3 R,G,B / B,G,R       4/5 R,G,B,A / B,G,R,A
//   6/7 R,G,B,x / B,G,R,x  8/9 A,R,G,B / A,B,G,R  10/11 x,R,G,B / x,B,G,R
//  12 alpha only          13/14 5-6-5             15/16 1-5-5-5        17/18 x-5-5-5
//  19/20 4-4-4-4          21/22 x-4-4-4           (odd: red low, even: blue low)
//  30..34 4x4-block formats (8 bytes a block for 30, 16 for the others) that keep a
//         full R,G,B,A copy of their pixels beside the block data.
// Ids 23..29 are inside the valid range but name no layout.
#pragma once

#include "foundation/SLTypes.h"

// Image error codes (the general ones live in foundation/SLError.h).
enum : u32 {
  SL_E_IMAGE_SIZE = 0x8000100b,           // a size that is zero, not a multiple of 4 or too large
  SL_E_IMAGE_FORMAT_ID = 0x800d0002,      // Create of an id without a layout; a layout
                                          // the quantizer does not take
  SL_E_IMAGE_EMPTY = 0x800d0003,          // zero width or height; blocks not a multiple of 4
  SL_E_IMAGE_NO_COLOR_KEY = 0x800d0005,
  SL_E_IMAGE_NO_PIXELS = 0x800d0006,      // no pixel buffer or no block data
  SL_E_IMAGE_NOT_BLOCK_FORMAT = 0x800d0007,
};

// The format of an empty image.
inline constexpr u32 SL_IMAGE_FORMAT_NONE = 0xFFFFFFFFu;

// The format ids by name. 8- to 32-bit names list the channels in memory order (byte 0
// first, x a spare byte); 16-bit names give the field widths from the top bit down and
// whether red or blue holds the low bits.
inline constexpr u32 SL_IMAGE_FORMAT_PALETTE = 1;
inline constexpr u32 SL_IMAGE_FORMAT_RGB = 2;
inline constexpr u32 SL_IMAGE_FORMAT_BGR = 3;
inline constexpr u32 SL_IMAGE_FORMAT_RGBA = 4;
inline constexpr u32 SL_IMAGE_FORMAT_BGRA = 5;
inline constexpr u32 SL_IMAGE_FORMAT_RGBX = 6;
inline constexpr u32 SL_IMAGE_FORMAT_BGRX = 7;
inline constexpr u32 SL_IMAGE_FORMAT_ARGB = 8;
inline constexpr u32 SL_IMAGE_FORMAT_ABGR = 9;
inline constexpr u32 SL_IMAGE_FORMAT_XRGB = 10;
inline constexpr u32 SL_IMAGE_FORMAT_XBGR = 11;
inline constexpr u32 SL_IMAGE_FORMAT_ALPHA = 12;
inline constexpr u32 SL_IMAGE_FORMAT_565_RED_LOW = 13;
inline constexpr u32 SL_IMAGE_FORMAT_565_BLUE_LOW = 14;
inline constexpr u32 SL_IMAGE_FORMAT_1555_RED_LOW = 15;
inline constexpr u32 SL_IMAGE_FORMAT_1555_BLUE_LOW = 16;
inline constexpr u32 SL_IMAGE_FORMAT_X555_RED_LOW = 17;
inline constexpr u32 SL_IMAGE_FORMAT_X555_BLUE_LOW = 18;
inline constexpr u32 SL_IMAGE_FORMAT_4444_RED_LOW = 19;
inline constexpr u32 SL_IMAGE_FORMAT_4444_BLUE_LOW = 20;
inline constexpr u32 SL_IMAGE_FORMAT_X444_RED_LOW = 21;
inline constexpr u32 SL_IMAGE_FORMAT_X444_BLUE_LOW = 22;
// The 4x4-block formats: DXT1 (8 bytes a block, one-bit alpha), DXT2/DXT3 (explicit
// 4-bit alpha, premultiplied or not) and DXT4/DXT5 (interpolated alpha, likewise).
inline constexpr u32 SL_IMAGE_FORMAT_DXT1 = 30;
inline constexpr u32 SL_IMAGE_FORMAT_DXT2 = 31;
inline constexpr u32 SL_IMAGE_FORMAT_DXT3 = 32;
inline constexpr u32 SL_IMAGE_FORMAT_DXT4 = 33;
inline constexpr u32 SL_IMAGE_FORMAT_DXT5 = 34;
inline constexpr u32 SL_IMAGE_FORMAT_FIRST_16BIT = SL_IMAGE_FORMAT_565_RED_LOW;
inline constexpr u32 SL_IMAGE_FORMAT_LAST_16BIT = SL_IMAGE_FORMAT_X444_BLUE_LOW;
inline constexpr u32 SL_IMAGE_FORMAT_FIRST_BLOCK = SL_IMAGE_FORMAT_DXT1;
inline constexpr u32 SL_IMAGE_FORMAT_LAST = SL_IMAGE_FORMAT_DXT5;

// The format an image's pixels are read in: a block-format image keeps a full R,G,B,A
// copy of its pixels beside the blocks, and every reader of pixels takes that copy.
constexpr u32 SLPixelReadFormat(u32 format) {
  return format >= SL_IMAGE_FORMAT_FIRST_BLOCK && format <= SL_IMAGE_FORMAT_LAST ? SL_IMAGE_FORMAT_RGBA : format;
}

// Conversion flags: bits 0-2 write red, green, blue as 0; bit 3 writes alpha at its
// maximum; bit 8 dithers when the target is the palette format.
enum : u32 {
  SL_CONVERT_NO_RED = 0x1,
  SL_CONVERT_NO_GREEN = 0x2,
  SL_CONVERT_NO_BLUE = 0x4,
  SL_CONVERT_OPAQUE = 0x8,
  SL_CONVERT_DITHER = 0x100,
};

struct SLPaletteEntry {
  u8 red, green, blue, alpha;
};

// One allocation: the entry count (at most 256), then always 256 entries.
struct SLImagePalette {
  u32 count;
  SLPaletteEntry entries[256];
};
static_assert(sizeof(SLImagePalette) == 1028);

// The description of an image, in this field order (it is copied out whole and handed to
// the converters). The three buffers belong to the image that describes them.
struct SLImageInfo {
  u32 format;          // 1..34, SL_IMAGE_FORMAT_NONE when empty
  u32 blockFormat;     // 1 for 30..34
  u32 redMask;
  u32 greenMask;
  u32 blueMask;
  u32 alphaMask;
  u32 width;
  u32 height;
  u32 bitsPerPixel;
  u32 bytesPerPixel;
  u32 stride;          // bytes per row, a multiple of 4
  u32 resolutionX;     // dots per inch; 0 reads as 96
  u32 resolutionY;
  u32 pointSet;
  u32 pointX;
  u32 pointY;
  u32 colorKeySet;
  u32 colorKey;        // 0x00BBGGRR
  u32 pixelBufferSize;
  u8* pixels;          // rows top to bottom
  u32 blockDataSize;
  u8* blockData;       // 4x4 blocks, rows of blocks from the top
  u32 blockDataStale;  // the pixels changed after the block data was encoded
  SLImagePalette* palette;
};

bool SLIsValidPixelFormat(u32 format);
bool SLIsBlockPixelFormat(u32 format);
bool SLPixelFormatHasAlpha(u32 format);
u32 SLGetBytesPerPixel(u32 format);
// Each output may be null. Fails (all masks 0) for the palette format and ids without
// a layout.
bool SLGetPixelFormatMasks(u32 format, u32* red, u32* green, u32* blue, u32* alpha);
// The run of one bits of a mask: its lowest bit and its length (0 and 0 for mask 0).
void SLMaskToShift(u32 mask, u32* width, u32* shift);
// A palette of `count` entries (at most 256), every entry black and opaque. SLFree it.
SLImagePalette* SLAllocPalette(u32 count);
// The colour an 8-bit image without a palette shows: a 3-3-2 ramp, opaque.
void SLDefaultPaletteColor(u32 index, SLPaletteEntry* out);

// Largest pixel buffer or block data an image may have. Sizes from files above it are
// refused with SL_E_IMAGE_SIZE instead of being allocated. Returns the previous limit
// (tests lower it to reach the refusal without allocating a gigabyte).
inline constexpr u64 SL_IMAGE_DEFAULT_BUFFER_LIMIT = u64(16384) * 16384 * 4;
u64 SLSetImageBufferLimit(u64 bytes);
u64 SLGetImageBufferLimit();

// Stride, pixel-buffer and block-data sizes of a format at a size, in 64 bits; false
// (SL_E_IMAGE_SIZE) when one of them does not fit its 32-bit field or the buffer limit.
struct SLImageSizes {
  u32 stride;
  u32 pixelBufferSize;
  u32 blockDataSize;  // 0 for formats without block data
};
bool SLComputeImageSizes(u32 format, u64 width, u64 height, SLImageSizes* out);
