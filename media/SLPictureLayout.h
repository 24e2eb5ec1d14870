// Where a video reader's picture keeps its pixels. Pictures are packed bitmaps: a header
// of at least 40 bytes (its own size, width, height, planes, bits per pixel, compression,
// ..., colours used at byte 32), then a palette (8 bits per pixel) or, with compression 3
// (bit fields), three masks, then the rows, bottom-up when the header's height is
// positive. A plain (compression 0) 16-bit picture is x-5-5-5, as plain 16-bit bitmaps
// always are; only the bit-field pictures (the MXV reader's) are 5-6-5.
#pragma once

#include "foundation/SLTypes.h"
#include "image/SLPixelFormat.h"

struct SLPictureLayout {
  u32 format;  // framework pixel format of a stored pixel
  u32 bytesPerPixel;
  u64 stride;
  bool bottomUp;
  const u8* pixels;
  SLImagePalette palette;  // format 1 only; colours past the stored count are black
};

// Reads the header of a `size`-byte picture of `width` x `height` pixels. A block too
// short for its header, palette, masks or rows, or a bit depth other than 8, 16, 24 or 32,
// fails with 0x800f0006 (SL_E_MEDIA_VIDEO_FORMAT).
bool SLReadPictureLayout(const void* picture, u32 size, u32 width, u32 height, SLPictureLayout* out);
