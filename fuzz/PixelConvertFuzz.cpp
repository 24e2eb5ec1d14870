// Pixel conversion: a random format pair, size, flags, palette and pixels through
// ConvertFormat and SLConvertPixelRow. Every converted pixel is what the reading and
// writing rules make of its source pixel, GetPixel of the result reads it back by the
// same rules, and a refused conversion leaves the image as it was.
//
// Input: source id, target id, flags, width, height, palette switch, then pixel and
// palette bytes (repeated as needed).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/SLError.h"
#include "image/SLImage.h"
#include "image/SLPixelConvert.h"
#include "tests/image/PixelReference.h"

using namespace pixel_reference;

namespace {

std::vector<u8> Bytes(const CSLImage& image) {
  SLImageInfo info;
  image.GetInfo(&info);
  std::vector<u8> bytes(info.pixels, info.pixels + info.pixelBufferSize);
  if (info.palette) bytes.insert(bytes.end(), &info.palette->entries[0].red, &info.palette->entries[0].red + 1024);
  bytes.push_back(u8(info.format));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 7) return 0;
  const u32 from = kAssigned[data[0] % 27], to = kAssigned[data[1] % 27];
  const u32 flags = (data[2] & 0xF) | (data[2] & 0x10 ? u32(SL_CONVERT_DITHER) : 0u);
  u32 width = 1 + data[3] % 24, height = 1 + data[4] % 24;
  if (from >= 30) width = (width + 3) & ~3u, height = (height + 3) & ~3u;
  const bool withPalette = data[5] & 1;
  const u8* bytes = data + 6;
  const size_t byteCount = size - 6;

  CSLImage image, source;
  if (!image.Create(from, width, height, false)) std::abort();
  SLImageInfo info;
  image.GetInfo(&info);
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] = bytes[i % byteCount];
  if (withPalette) {
    SLPaletteEntry entries[256];
    for (u32 i = 0; i < 1024; ++i) (&entries[0].red)[i] = bytes[(i * 7 + 3) % byteCount];
    image.SetPaletteEntries(0, 1 + bytes[0] % 256, entries);
  }
  if (!image.CopyTo(&source)) std::abort();
  const std::vector<u8> before = Bytes(image);

  const bool quantizable = from != 12 && (from < 15 || from > 22);
  if (!image.ConvertFormat(to, flags)) {
    if (to != 1 || quantizable || SLGetLastError() != SL_E_IMAGE_FORMAT_ID || Bytes(image) != before) std::abort();
    return 0;
  }
  SLImageInfo in, out;
  source.GetInfo(&in);
  image.GetInfo(&out);
  if (to == 1) {
    for (u32 y = 0; y < height; ++y)
      for (u32 x = 0; x < width; ++x)
        if (out.pixels[y * out.stride + x] >= out.palette->count) std::abort();
    return 0;
  }
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      const u8* pixel = in.pixels + y * in.stride + x * kLayouts[from].bytes;
      const u8* got = out.pixels + y * out.stride + x * kLayouts[to].bytes;
      u8 want[4] = {};
      if (from == to)
        SameFormatFlags(to, pixel, flags, want);
      else
        ReferenceWrite(to, ReferenceRead(from, pixel, in.palette, to), flags, want);
      if (memcmp(got, want, kLayouts[to].bytes) != 0) std::abort();
      if (image.GetPixel(x, y) != Packed(ReferenceRead(to, got, nullptr, 0))) std::abort();
    }

  if (from < 30 && to < 30) {
    std::vector<u8> row(width * 4);
    if (!SLConvertPixelRow(to, row.data(), from, in.pixels, width, in.palette)) std::abort();
    for (u32 x = 0; x < width; ++x) {
      u8 want[4] = {};
      const u8* pixel = in.pixels + x * kLayouts[from].bytes;
      if (from == to)
        memcpy(want, pixel, kLayouts[to].bytes);
      else
        ReferenceWrite(to, ReferenceRead(from, pixel, in.palette, to), 0, want);
      if (memcmp(row.data() + x * kLayouts[to].bytes, want, kLayouts[to].bytes) != 0) std::abort();
    }
  }
  return 0;
}
