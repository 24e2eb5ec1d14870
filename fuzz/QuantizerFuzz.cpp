// Colour quantizer: random pictures through histogram, selection and mapping, dithered or
// not, with channel flags, onto selected colours or a given palette. Every index is below
// the colour count and a selection never has more colours than asked for.
//
// Input: format switch, width, height, colour count, options, then pixel bytes.
#include <cstdint>
#include <cstdlib>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLImage.h"
#include "image/SLImageQuantizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const u32 kFormats[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 30, 31, 32, 33, 34};
  if (size < 6) return 0;
  const u32 format = kFormats[data[0] % 18];
  const u32 width = format >= 30 ? 4 * (1 + data[1] % 16) : 1 + data[1] % 64;
  const u32 height = format >= 30 ? 4 * (1 + data[2] % 16) : 1 + data[2] % 64;
  const u32 count = data[3] % 257;
  const bool dither = data[4] & 1, givenPalette = data[4] & 2;
  const u32 channels = (data[4] >> 2) & 7;
  const u8* bytes = data + 5;
  const size_t byteCount = size - 5;

  CSLImage image;
  if (!image.Create(format, width, height, false)) std::abort();
  SLImageInfo info;
  image.GetInfo(&info);
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] = bytes[(i * 13) % byteCount];

  CSLImageQuantizer quantizer;
  SLImagePalette palette;
  if (givenPalette) {
    palette.count = count ? count : 1;
    for (u32 i = 0; i < 1024; ++i) (&palette.entries[0].red)[i] = bytes[(i * 5 + 1) % byteCount];
    if (!quantizer.SetPalette(&palette)) std::abort();
  } else {
    if (!quantizer.ResetHistogram() || !quantizer.AddImage(&image, channels) || !quantizer.SelectColors(&palette, count))
      std::abort();
    if (palette.count == 0 || palette.count > (count ? count : 256)) std::abort();
  }
  SLRemapResult result;
  if (!quantizer.RemapPixels(&result, &info, dither, channels)) std::abort();
  if (result.colorCount != palette.count || result.width != width || result.height != height) std::abort();
  for (u32 i = 0; i < width * height; ++i)
    if (result.indexes[i] >= result.colorCount) std::abort();
  SLFree(result.indexes);
  return 0;
}
