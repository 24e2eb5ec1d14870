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

using image_test::InfoOf;
using image_test::RunCommand;
using image_test::Snapshot;
using namespace pixel_reference;

SLImagePalette RandomPalette(std::mt19937& random) {
  SLImagePalette palette;
  palette.count = 256;
  for (SLPaletteEntry& e : palette.entries) e = {u8(random()), u8(random()), u8(random()), u8(random())};
  return palette;
}

void FillRandom(CSLImage& image, std::mt19937& random) {
  SLImageInfo info = InfoOf(image);
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] = u8(random());
}

// Every (source, destination) pair of assigned ids but the palette target, with no flag
// and with each flag alone, on random source bytes; 5 x 3 pixels so that rows are padded
// and block targets grow to 8 x 4. Narrowing conversions run in the image's own buffer,
// chunk by chunk: rows longer than a chunk catch a chunk written over source bytes not
// yet read.
TEST(PixelConvert, EveryPairFollowsTheReadingAndWritingRules) {
  const std::vector<std::pair<u32, u32>> longRows = {{3, 5}, {5, 3}, {14, 5}, {5, 14}, {1, 4}, {12, 9}, {20, 2}};
  std::mt19937 random(7);
  const SLImagePalette randomPalette = RandomPalette(random);
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
          FillRandom(image, random);
          if (withPalette) image.SetPaletteEntries(0, 256, randomPalette.entries);
          CSLImage source;
          ASSERT_TRUE(image.CopyTo(&source));
          ASSERT_TRUE(image.ConvertFormat(to, flags)) << std::hex << SLGetLastError();
          const SLImageInfo in = InfoOf(source), out = InfoOf(image);
          const bool block = to >= 30;
          ASSERT_EQ(out.width, block ? (width + 3) & ~3u : width);
          ASSERT_EQ(out.height, block ? (height + 3) & ~3u : height);
          ASSERT_EQ(out.palette, nullptr);
          const u32 bytes = kLayouts[to].bytes;
          for (u32 y = 0; y < out.height; ++y)
            for (u32 x = 0; x < out.width; ++x) {
              const u8* got = out.pixels + y * out.stride + x * bytes;
              u8 want[4] = {};
              const u8* pixel = in.pixels + y * in.stride + x * kLayouts[from].bytes;
              if (x >= width || y >= height) {
                // added by a block target: zero
              } else if (from == to)  // flags act in place on the channel bits
                SameFormatFlags(to, pixel, flags, want);
              else
                ReferenceWrite(to, ReferenceRead(from, pixel, in.palette, to), flags, want);
              ASSERT_EQ(memcmp(got, want, bytes), 0) << "pixel " << x << "," << y;
            }
          if (flags == 0 && !block && from < 30) {
            // One row through the row converter gives the same bytes.
            std::vector<u8> row(width * bytes);
            ASSERT_TRUE(SLConvertPixelRow(to, row.data(), from, in.pixels, width, in.palette));
            EXPECT_EQ(memcmp(row.data(), out.pixels, row.size()), 0);
          }
          if (to == 2 && flags == 0) {
            for (u32 x = 0; x < width; ++x) {
              Rgba c = ReferenceRead(from, in.pixels + x * kLayouts[from].bytes, in.palette, 0);
              EXPECT_EQ(source.GetPixel(x, 0),
                        c.channel[0] | c.channel[1] << 8 | c.channel[2] << 16 | c.channel[3] << 24);
            }
          }
        }
      }
}

TEST(PixelConvert, KnownValues) {
  auto convertOne = [](u32 from, std::vector<u8> bytes, u32 to) {
    CSLImage image;
    EXPECT_TRUE(image.Create(from, 1, 1, false));
    memcpy(image.GetPixels(), bytes.data(), bytes.size());
    EXPECT_TRUE(image.ConvertFormat(to));
    return std::vector<u8>(image.GetPixels(), image.GetPixels() + image.GetBytesPerPixel());
  };
  EXPECT_EQ(convertOne(13, {0xFF, 0xFF}, 5), (std::vector<u8>{248, 252, 248, 255}));
  EXPECT_EQ(convertOne(5, {0, 0, 0, 127}, 15), (std::vector<u8>{0x00, 0x00}));
  EXPECT_EQ(convertOne(5, {0, 0, 0, 128}, 15), (std::vector<u8>{0x00, 0x80}));
  EXPECT_EQ(convertOne(20, {0x00, 0x80}, 4)[3], 136);
  EXPECT_EQ(convertOne(3, {1, 2, 3}, 12), (std::vector<u8>{0}));
  EXPECT_EQ(convertOne(1, {77}, 12), (std::vector<u8>{255}));

  CSLImage image;
  ASSERT_TRUE(image.Create(5, 6, 5, false));
  ASSERT_TRUE(image.ConvertFormat(34));
  EXPECT_EQ(image.GetWidth(), 8u);
  EXPECT_EQ(image.GetHeight(), 8u);
  EXPECT_EQ(InfoOf(image).blockDataSize, 64u);

  // The colour key travels with a conversion; the palette goes.
  ASSERT_TRUE(image.Create(1, 2, 1, false));
  const SLPaletteEntry entry = {10, 20, 30, 255};
  image.SetPaletteEntries(0, 1, &entry);
  image.SetTransparentColor(0x123456);
  ASSERT_TRUE(image.ConvertFormat(4));
  u32 key;
  EXPECT_TRUE(image.GetTransparentColor(&key));
  EXPECT_EQ(key, 0x123456u);
  EXPECT_EQ(image.GetPalette(), nullptr);
}

TEST(PixelConvert, FailuresLeaveTheImageAsItWas) {
  std::mt19937 random(3);
  // source, target, colour count -> code
  const u32 cases[][4] = {{5, 0, 0, 0x80001007},   {5, 23, 0, 0x80001007},  {5, 35, 0, 0x80001007},
                          {5, 1, 257, 0x80001001}, {15, 1, 0, 0x800d0002},  {18, 1, 0, 0x800d0002},
                          {19, 1, 0, 0x800d0002},  {22, 1, 0, 0x800d0002},  {12, 1, 0, 0x800d0002}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c[0] << " -> " << c[1]);
    CSLImage image;
    ASSERT_TRUE(image.Create(c[0], 7, 3, false));
    FillRandom(image, random);
    const std::vector<u8> before = Snapshot(image);
    EXPECT_FALSE(image.ConvertFormat(c[1], 0, c[2]));
    EXPECT_EQ(SLGetLastError(), c[3]);
    EXPECT_EQ(Snapshot(image), before);
  }
  CSLImage unallocated;
  ASSERT_TRUE(unallocated.Create(5, 4, 4, true));
  EXPECT_FALSE(unallocated.ConvertFormat(4));
  EXPECT_EQ(SLGetLastError(), 0x800d0006u);
  CSLImage empty;
  EXPECT_FALSE(empty.ConvertFormat(4));
  EXPECT_EQ(SLGetLastError(), 0x80001004u);
}

TEST(PixelConvert, RowConverterCopiesEqualFormatsAndRefusesBlocks) {
  u8 source[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, row[16] = {};
  EXPECT_TRUE(SLConvertPixelRow(9, row, 9, source, 4, nullptr));
  EXPECT_EQ(memcmp(row, source, 16), 0);
  // target, source -> code
  for (const auto& c : {std::array<u32, 3>{30, 4, 0x80001007}, {23, 4, 0x80001007}, {4, 34, 0x80001004},
                        {4, 0, 0x80001004}, {1, 5, 0x80001002}}) {
    EXPECT_FALSE(SLConvertPixelRow(c[0], row, c[1], source, 4, nullptr));
    EXPECT_EQ(SLGetLastError(), c[2]);
  }
}

// ---- 4x4 blocks ----

// Wraps block data in a DDS file for ImageMagick.
std::string DdsFile(u32 format, const u8* data, u32 size, u32 width, u32 height) {
  u8 header[128] = {};
  memcpy(header, "DDS ", 4);
  SLStoreLE32(header + 4, 124);
  SLStoreLE32(header + 8, 0x81007);  // caps, height, width, pixel format, linear size
  SLStoreLE32(header + 12, height);
  SLStoreLE32(header + 16, width);
  SLStoreLE32(header + 20, size);
  SLStoreLE32(header + 76, 32);
  SLStoreLE32(header + 80, 4);  // four-character code
  memcpy(header + 84, format == 30 ? "DXT1" : format == 32 ? "DXT3" : "DXT5", 4);
  SLStoreLE32(header + 108, 0x1000);
  return std::string(reinterpret_cast<char*>(header), 128) + std::string(reinterpret_cast<const char*>(data), size);
}

// ImageMagick's decoding of block data: R, G, B, A bytes.
std::vector<u8> DecodeBlocks(const TempDir& dir, u32 format, const u8* data, u32 size, u32 width, u32 height) {
  dir.Write("x.dds", DdsFile(format, data, size, width, height));
  const std::string rgba = RunCommand("convert '" + dir.Host("x.dds") + "' -depth 8 rgba:-");
  return std::vector<u8>(rgba.begin(), rgba.end());
}

// A photo with an alpha ramp across it and a few fully transparent pixels.
void MakeAlphaPhoto(CSLImage& image, u32 size) {
  const std::string rgb =
      RunCommand("convert rose: -resize " + std::to_string(size) + "x" + std::to_string(size) + "! rgb:-");
  ASSERT_TRUE(image_test::MakeRgbImage(image, size, size, rgb));
  ASSERT_TRUE(image.ConvertFormat(4));
  for (u32 y = 0; y < size; ++y)
    for (u32 x = 0; x < size; ++x) image.GetPixelAddress(x, y)[3] = (x * 7 + y * 3) % 37 == 0 ? 0 : u8(x * 255 / size);
}

TEST(BlockFormats, ImageMagickDecodesThemCloseToThePicture) {
  TempDir dir;
  CSLImage photo;
  MakeAlphaPhoto(photo, 64);
  for (u32 format : {30u, 32u, 34u}) {
    SCOPED_TRACE(format);
    CSLImage image;
    ASSERT_TRUE(photo.CopyTo(&image) && image.ConvertFormat(format));
    const std::vector<u8> decoded = DecodeBlocks(dir, format, image.GetBlockData(), InfoOf(image).blockDataSize, 64, 64);
    ASSERT_EQ(decoded.size(), 64u * 64 * 4);
    // A transparent pixel's colour is not part of what it shows.
    u64 error = 0;
    for (u32 i = 0; i < 64 * 64; ++i)
      for (u32 k = 0; k < 4; ++k) {
        if (format == 30 && (decoded[i * 4 + 3] == 0 || k == 3)) continue;
        const int d = int(decoded[i * 4 + k]) - photo.GetPixels()[i * 4 + k];
        error += u64(d * d);
      }
    EXPECT_LT(double(error) / (64 * 64 * 4), 120.0);
  }
}

TEST(BlockFormats, OneAndTwoColourBlocksAreExact) {
  TempDir dir;
  const u32 colors[][2] = {{0xFF000000, 0xFF000000}, {0xFFFFFFFF, 0xFFFFFFFF}, {0xFF3366CC, 0xFF3366CC},
                           {0xFF0000FF, 0xFFFF0000}, {0xFF808080, 0xFF10F020}, {0x80123456, 0x40FEDCBA}};
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
        const u32 c = pair[(i * 5) % 3 == 0];
        const u32 want[3] = {(c & 0xF8) | (c & 0xFF) >> 5, ((c >> 8) & 0xFC) | ((c >> 8) & 0xFF) >> 6,
                             ((c >> 16) & 0xF8) | ((c >> 16) & 0xFF) >> 5};
        if (format == 30 && c >> 24 < 128) {
          EXPECT_EQ(decoded[i * 4 + 3], 0);
          continue;
        }
        for (u32 k = 0; k < 3; ++k) EXPECT_EQ(decoded[i * 4 + k], want[k]) << "pixel " << i;
        if (format == 34) {
          EXPECT_EQ(decoded[i * 4 + 3], c >> 24);
        }
      }
    }
}

TEST(BlockFormats, TransparencyOrdersTheEndpoints) {
  CSLImage image;
  ASSERT_TRUE(image.Create(30, 4, 4, false));
  for (u32 i = 0; i < 16; ++i) SLStoreLE32(image.GetPixels() + 4 * i, i < 8 ? 0xFF102030u : 0xFFE0D0C0u);
  image.SetBlockDataStale(true);
  const u8* data = image.GetBlockData();
  EXPECT_GT(SLLoadLE16(data), SLLoadLE16(data + 2));

  image.GetPixels()[4 * 5 + 3] = 0;
  image.SetBlockDataStale(true);
  data = image.GetBlockData();
  EXPECT_LT(SLLoadLE16(data), SLLoadLE16(data + 2));
  EXPECT_EQ((SLLoadLE32(data + 4) >> 10) & 3, 3u);

  // Opaque, and both endpoints pack alike: every index 0, so no pixel reads transparent.
  for (u32 i = 0; i < 16; ++i) SLStoreLE32(image.GetPixels() + 4 * i, i & 1 ? 0xFF000000u : 0xFF010101u);
  image.SetBlockDataStale(true);
  data = image.GetBlockData();
  EXPECT_EQ(SLLoadLE16(data), SLLoadLE16(data + 2));
  EXPECT_EQ(SLLoadLE32(data + 4), 0u);
}

TEST(BlockFormats, PremultipliedFormatsEncodeThePremultipliedColours) {
  CSLImage photo, premultiplied;
  MakeAlphaPhoto(photo, 32);
  ASSERT_TRUE(photo.CopyTo(&premultiplied));
  u8* pixels = premultiplied.GetPixels();
  for (u32 i = 0; i < 32 * 32; ++i)
    for (u32 k = 0; k < 3; ++k) pixels[i * 4 + k] = u8(pixels[i * 4 + k] * pixels[i * 4 + 3] >> 8);
  for (auto [premultiplying, plain] : {std::pair<u32, u32>{31, 32}, {33, 34}}) {
    CSLImage a, b;
    ASSERT_TRUE(photo.CopyTo(&a));
    ASSERT_TRUE(premultiplied.CopyTo(&b));
    ASSERT_TRUE(a.ConvertFormat(premultiplying));
    ASSERT_TRUE(b.ConvertFormat(plain));
    EXPECT_EQ(memcmp(a.GetBlockData(), b.GetBlockData(), 32 * 32), 0) << premultiplying;
  }
}

}  // namespace
