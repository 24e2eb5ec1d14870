// Pixel-format conversion against a reference built from the format table, and the 4x4
// block encoder against ImageMagick's decoder and a decoder written from the block layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "image/SLImage.h"
#include "image/SLPixelConvert.h"
#include "tests/image/ImageTools.h"
#include "tests/image/PixelReference.h"
#include "tests/support/TempDir.h"

namespace {

using image_test::FillRandom;
using image_test::InfoOf;
using image_test::RunCommand;
using image_test::Snapshot;
using namespace pixel_reference;

// Every (source, destination) pair of assigned ids but the palette target, with no flag
// and with each flag alone, on random source bytes; 5 x 3 pixels so that rows are padded
// and block targets grow to 8 x 4. Narrowing conversions run in the image's own buffer,
// chunk by chunk: rows longer than a chunk catch a chunk written over source bytes not
// yet read.
TEST(PixelConvert, EveryPairFollowsTheReadingAndWritingRules) {
  const std::vector<std::pair<u32, u32>> longRows = {{3, 5}, {5, 3}, {14, 5}, {5, 14}, {1, 4}, {12, 9}, {20, 2}};
  std::mt19937 random(7);
  SLPaletteEntry randomPalette[256];
  for (SLPaletteEntry& e : randomPalette) e = {u8(random()), u8(random()), u8(random()), u8(random())};
  for (u32 from : kAssigned)
    for (int withPalette = 0; withPalette < (from == 1 ? 2 : 1); ++withPalette)
      for (u32 to : kAssigned) {
        if (to == 1) continue;
        for (u32 flags : {0u, 1u, 2u, 4u, 8u}) {
          SCOPED_TRACE(::testing::Message() << from << " -> " << to << " flags " << flags << " palette " << withPalette);
          const bool longRow = std::find(longRows.begin(), longRows.end(), std::pair(from, to)) != longRows.end();
          const u32 width = longRow ? 1301 : from >= 30 ? 8 : 5, height = from >= 30 ? 4 : 3;
          CSLImage image;
          ASSERT_TRUE(image.Create(from, width, height, false));
          FillRandom(image, random());
          for (u32 k = 0; k < 2 * kLayouts[from].bytes; ++k)  // alpha 127, then 128, in 8-bit alpha formats
            image.GetPixels()[k] = k < kLayouts[from].bytes ? 0x7F : 0x80;
          if (withPalette) image.SetPaletteEntries(0, 256, randomPalette);
          image.SetTransparentColor(0x123456);
          CSLImage source;
          ASSERT_TRUE(image.CopyTo(&source));
          ASSERT_TRUE(image.ConvertFormat(to, flags)) << std::hex << SLGetLastError();
          const SLImageInfo in = InfoOf(source), out = InfoOf(image);
          const bool block = to >= 30;
          ASSERT_EQ(out.width, block ? (width + 3) & ~3u : width);
          ASSERT_EQ(out.height, block ? (height + 3) & ~3u : height);
          ASSERT_EQ(out.palette, nullptr);  // the palette goes, the colour key travels
          u32 key = 0;
          ASSERT_TRUE(image.GetTransparentColor(&key) && key == 0x123456);
          const u32 bytes = kLayouts[to].bytes;
          for (u32 y = 0; y < out.height; ++y)
            for (u32 x = 0; x < out.width; ++x) {
              const u8* got = out.pixels + y * out.stride + x * bytes;
              u8 want[4] = {};
              const u8* pixel = in.pixels + y * in.stride + x * kLayouts[from].bytes;
              // Flags act in place on the channel bits; pixels a block target adds are zero.
              if (x < width && y < height && from == to) SameFormatFlags(to, pixel, flags, want);
              if (x < width && y < height && from != to)
                ReferenceWrite(to, ReferenceRead(from, pixel, in.palette, to), flags, want);
              ASSERT_EQ(memcmp(got, want, bytes), 0) << "pixel " << x << "," << y;
            }
          if (flags == 0 && !block && from < 30) {
            // One row through the row converter gives the same bytes.
            std::vector<u8> row(width * bytes);
            ASSERT_TRUE(SLConvertPixelRow(to, row.data(), from, in.pixels, width, in.palette));
            EXPECT_EQ(memcmp(row.data(), out.pixels, row.size()), 0);
          }
          for (u32 x = 0; to == 2 && flags == 0 && x < width; ++x)
            EXPECT_EQ(source.GetPixel(x, 0),
                      Packed(ReferenceRead(from, in.pixels + x * kLayouts[from].bytes, in.palette, 0)));
        }
      }
}

TEST(PixelConvert, FailuresLeaveTheImageAsItWas) {
  // source, target, colour count -> code
  const u32 cases[][4] = {{5, 0, 0, 0x80001007},   {5, 23, 0, 0x80001007},  {5, 35, 0, 0x80001007},
                          {5, 1, 257, 0x80001001}, {15, 1, 0, 0x800d0002},  {18, 1, 0, 0x800d0002},
                          {19, 1, 0, 0x800d0002},  {22, 1, 0, 0x800d0002},  {12, 1, 0, 0x800d0002}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c[0] << " -> " << c[1]);
    CSLImage image;
    ASSERT_TRUE(image.Create(c[0], 7, 3, false));
    FillRandom(image, c[0]);
    const std::vector<u8> before = Snapshot(image);
    SL_EXPECT_FAIL(image.ConvertFormat(c[1], 0, c[2]), c[3]);
    EXPECT_EQ(Snapshot(image), before);
  }
  CSLImage unallocated, empty;
  ASSERT_TRUE(unallocated.Create(5, 4, 4, true));
  for (auto [image, code] : {std::pair{&unallocated, 0x800d0006u}, {&empty, 0x80001004u}})
    SL_EXPECT_FAIL(image->ConvertFormat(4), code);
  // The row converter: target, source -> code.
  u8 source[16] = {}, row[16] = {};
  for (const auto& c : {std::array<u32, 3>{30, 4, 0x80001007}, {23, 4, 0x80001007}, {4, 34, 0x80001004},
                        {4, 0, 0x80001004}, {1, 5, 0x80001002}})
    SL_EXPECT_FAIL(SLConvertPixelRow(c[0], row, c[1], source, 4, nullptr), c[2]) << c[0] << " <- " << c[1];
}

// ---- 4x4 blocks ----

// ImageMagick's decoding of block data (wrapped in a DDS file): R, G, B, A bytes.
std::vector<u8> DecodeBlocks(const TempDir& dir, u32 format, const u8* data, u32 size, u32 width, u32 height) {
  u8 header[128] = {'D', 'D', 'S', ' '};
  // size, flags (caps, height, width, pixel format, linear size), height, width, linear
  // size, pixel format size, its flags (four-character code), caps (texture)
  const u32 fields[][2] = {{4, 124}, {8, 0x81007}, {12, height}, {16, width},
                           {20, size}, {76, 32},     {80, 4},      {108, 0x1000}};
  for (auto [offset, value] : fields) SLStoreLE32(header + offset, value);
  memcpy(header + 84, format == 30 ? "DXT1" : format == 32 ? "DXT3" : "DXT5", 4);
  dir.Write("x.dds",
            std::string(reinterpret_cast<char*>(header), 128) + std::string(reinterpret_cast<const char*>(data), size));
  const std::string rgba = RunCommand("convert '" + dir.Host("x.dds") + "' -depth 8 rgba:-");
  return std::vector<u8>(rgba.begin(), rgba.end());
}

// The format-30 blocks show a pixel transparent exactly where its alpha is below 128: an
// opaque block whose endpoints are out of order would show index 3 as holes. Formats 31
// and 33 encode what 32 and 34 encode of the premultiplied colours.
TEST(BlockFormats, ImageMagickDecodesThemCloseToThePicture) {
  TempDir dir;
  CSLImage photo, premultiplied;
  // A photo with an alpha ramp across it and a few fully transparent pixels.
  ASSERT_TRUE(image_test::MakeRgbImage(photo, 64, 64, RunCommand("convert rose: -resize 64x64! rgb:-")));
  ASSERT_TRUE(photo.ConvertFormat(4));
  for (u32 i = 0; i < 64 * 64; ++i)
    photo.GetPixels()[i * 4 + 3] = (i % 64 * 7 + i / 64 * 3) % 37 == 0 ? 0 : u8(i % 64 * 255 / 64);
  ASSERT_TRUE(photo.CopyTo(&premultiplied));
  u8* pixels = premultiplied.GetPixels();
  for (u32 i = 0; i < 64 * 64 * 4; ++i) pixels[i] = i % 4 == 3 ? pixels[i] : u8(pixels[i] * pixels[i | 3] >> 8);
  for (u32 format : {30u, 32u, 34u}) {
    SCOPED_TRACE(format);
    CSLImage image, sibling, plain;
    ASSERT_TRUE(photo.CopyTo(&image) && image.ConvertFormat(format));
    if (format != 30) {
      ASSERT_TRUE(photo.CopyTo(&sibling) && sibling.ConvertFormat(format - 1));
      ASSERT_TRUE(premultiplied.CopyTo(&plain) && plain.ConvertFormat(format));
      EXPECT_EQ(memcmp(sibling.GetBlockData(), plain.GetBlockData(), 64 * 64), 0);
    }
    const std::vector<u8> decoded = DecodeBlocks(dir, format, image.GetBlockData(), InfoOf(image).blockDataSize, 64, 64);
    ASSERT_EQ(decoded.size(), 64u * 64 * 4);
    u64 error = 0;
    for (u32 i = 0; i < 64 * 64; ++i) {
      const u8* want = photo.GetPixels() + i * 4;
      if (format == 30) {
        ASSERT_EQ(decoded[i * 4 + 3], want[3] < 128 ? 0 : 255) << "pixel " << i;
      }
      // A transparent pixel's colour is not part of what it shows.
      for (u32 k = 0; k < (format == 30 ? (want[3] < 128 ? 0 : 3) : 4); ++k)
        error += u64((int(decoded[i * 4 + k]) - want[k]) * (int(decoded[i * 4 + k]) - want[k]));
    }
    EXPECT_LT(double(error) / (64 * 64 * 4), 120.0);
  }
}

// Blocks of one or two colours decode to those colours at 5-6-5 precision, and to their
// alpha at each format's precision. Two colours packing alike keep every pixel opaque.
TEST(BlockFormats, OneAndTwoColourBlocksAreExact) {
  TempDir dir;
  const u32 colors[][2] = {{0xFF000000, 0xFF000000}, {0xFFFFFFFF, 0xFFFFFFFF}, {0xFF3366CC, 0xFF3366CC},
                           {0xFF0000FF, 0xFFFF0000}, {0xFF808080, 0xFF10F020}, {0x80123456, 0x40FEDCBA},
                           {0xFF000000, 0xFF010101}};
  for (u32 format : {30u, 32u, 34u})
    for (const auto& pair : colors) {
      SCOPED_TRACE(::testing::Message() << format << std::hex << " " << pair[0] << " " << pair[1]);
      CSLImage image;
      ASSERT_TRUE(image.Create(format, 4, 4, false));
      for (u32 i = 0; i < 16; ++i) SLStoreLE32(image.GetPixels() + 4 * i, pair[(i * 5) % 3 == 0]);
      image.SetBlockDataStale(true);
      const std::vector<u8> decoded = DecodeBlocks(dir, format, image.GetBlockData(), format == 30 ? 8 : 16, 4, 4);
      ASSERT_EQ(decoded.size(), 64u);
      for (u32 i = 0; i < 16; ++i) {
        const u32 c = pair[(i * 5) % 3 == 0], alpha = c >> 24;
        const u32 want[4] = {(c & 0xF8) | (c & 0xFF) >> 5, ((c >> 8) & 0xFC) | ((c >> 8) & 0xFF) >> 6,
                             ((c >> 16) & 0xF8) | ((c >> 16) & 0xFF) >> 5,
                             format == 30 ? (alpha < 128 ? 0 : 255) : format == 32 ? (alpha >> 4) * 17 : alpha};
        for (u32 k = (want[3] ? 0 : 3); k < 4; ++k) EXPECT_EQ(decoded[i * 4 + k], want[k]) << "pixel " << i;
      }
    }
}

}  // namespace
