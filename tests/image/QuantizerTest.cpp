// The colour quantizer against libjpeg's two-pass quantizer (djpeg -colors), and its
// edge cases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "image/SLImage.h"
#include "image/SLImageQuantizer.h"
#include "tests/image/ImageTools.h"
#include "tests/support/TempDir.h"

namespace {

using image_test::InfoOf;
using image_test::RunCommand;

// A 200-pixel-wide photo through cjpeg, reduced by djpeg and by the quantizer from the
// same decoded pixels.
TEST(Quantizer, MatchesLibjpegPixelForPixel) {
  TempDir dir;
  const std::string jpeg = dir.Host("photo.jpg");
  RunCommand("convert rose: -resize 200x200! ppm:- | cjpeg -quality 95 > '" + jpeg + "'");
  // djpeg's output as R, G, B rows.
  auto Djpeg = [&](const std::string& options) {
    return RunCommand("djpeg " + options + " '" + jpeg + "' | convert ppm:- rgb:-");
  };
  const std::string photo = Djpeg("");
  const u32 width = 200, height = 200;
  ASSERT_EQ(photo.size(), width * height * 3);
  for (u32 colors : {16u, 256u})
    for (bool dither : {false, true}) {
      SCOPED_TRACE(::testing::Message() << colors << " colours, dither " << dither);
      const std::string reference = Djpeg("-colors " + std::to_string(colors) + (dither ? "" : " -dither none"));
      ASSERT_EQ(reference.size(), photo.size());
      CSLImage image;
      ASSERT_TRUE(image_test::MakeRgbImage(image, width, height, photo));
      ASSERT_TRUE(image.ConvertFormat(1, dither ? 0x100 : 0, colors));
      EXPECT_LE(image.GetPalette()->count, colors);
      u32 equal = 0;
      for (u32 y = 0; y < height; ++y)
        for (u32 x = 0; x < width; ++x) {
          const u8* want = reinterpret_cast<const u8*>(reference.data()) + (y * width + x) * 3;
          const u32 got = image.GetPixel(x, y);
          equal += (got & 0xFFFFFF) == (want[0] | want[1] << 8 | u32(want[2]) << 16);
        }
      const u32 total = width * height;
      if (dither) {
        EXPECT_GE(equal, total * 99 / 100) << equal << " of " << total;
      } else {
        EXPECT_EQ(equal, total);
      }
    }
}

CSLImage* FilledImage(u32 format, u32 width, u32 height, const std::vector<u8>& pixel) {
  auto* image = new CSLImage();
  image->Create(format, width, height, false);
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) memcpy(image->GetPixelAddress(x, y), pixel.data(), pixel.size());
  return image;
}

TEST(Quantizer, OneOrTwoColoursGiveThatManyEntries) {
  CSLImage* one = FilledImage(3, 5, 4, {10, 100, 200});  // B, G, R
  ASSERT_TRUE(one->ConvertFormat(1));
  EXPECT_EQ(one->GetPalette()->count, 1u);
  const SLPaletteEntry& entry = one->GetPalette()->entries[0];
  // The centre of the colour's cell: red 200 -> 204, green 100 -> 102, blue 10 -> 12.
  EXPECT_EQ((std::vector<u8>{entry.red, entry.green, entry.blue, entry.alpha}), (std::vector<u8>{204, 102, 12, 255}));
  for (u32 y = 0; y < 4; ++y)
    for (u32 x = 0; x < 5; ++x) EXPECT_EQ(*one->GetPixelAddress(x, y), 0);
  one->Release();

  CSLImage* two = FilledImage(4, 4, 4, {255, 255, 255, 255});
  memset(two->GetPixels(), 0, 16);  // first row black
  for (u32 count : {2u, 0u}) {
    CSLImage copy;
    two->CopyTo(&copy);
    ASSERT_TRUE(copy.ConvertFormat(1, 0, count));
    EXPECT_EQ(copy.GetPalette()->count, 2u);
    EXPECT_EQ(copy.GetPixel(0, 0) & 0xFFFFFF, 0x040204u);
    EXPECT_EQ(copy.GetPixel(0, 3) & 0xFFFFFF, 0xFCFEFCu);
  }
  two->Release();
}

// A palette image is reduced through its palette's colours, one without a palette
// through the 3-3-2 ramp's.
TEST(Quantizer, PaletteImagesQuantizeTheirColours) {
  const SLPaletteEntry entries[4] = {{200, 0, 0, 255}, {0, 200, 0, 255}, {0, 0, 200, 255}, {255, 255, 255, 255}};
  for (bool withPalette : {true, false}) {
    CSLImage* image = FilledImage(1, 4, 2, {3});
    memset(image->GetPixels(), withPalette ? 0 : 0xE0, 4);  // first row red
    if (withPalette) image->SetPaletteEntries(0, 4, entries);
    ASSERT_TRUE(image->ConvertFormat(1, 0, 2, nullptr));
    EXPECT_EQ(image->GetPalette()->count, 2u);
    // Each pixel keeps its colour within a quantizer cell.
    const u32 colors[2][2] = {{0xFF0000FF, 0xFFFF0000}, {0xFF0000C8, 0xFFFFFFFF}};
    for (u32 y = 0; y < 2; ++y)
      for (u32 shift = 0; shift < 32; shift += 8)
        EXPECT_NEAR(int(image->GetPixel(0, y) >> shift & 255), int(colors[withPalette][y] >> shift & 255), 8);
    image->Release();
  }
}

// 4096 x 4096 pixels of white put 16.7 million counts of 252 into a box sum, past 32 bits.
TEST(Quantizer, BigPicturesKeepTheirColour) {
  CSLImage image;
  ASSERT_TRUE(image.Create(2, 4096, 4096, false));
  memset(image.GetPixels(), 255, InfoOf(image).pixelBufferSize);
  CSLImageQuantizer quantizer;
  SLImagePalette palette;
  ASSERT_TRUE(quantizer.ResetHistogram());
  ASSERT_TRUE(quantizer.AddImage(&image, 0));
  ASSERT_TRUE(quantizer.SelectColors(&palette, 16));
  EXPECT_EQ(palette.count, 1u);
  EXPECT_EQ(palette.entries[0].red, 252);
  EXPECT_EQ(palette.entries[0].green, 254);
  EXPECT_EQ(palette.entries[0].blue, 252);
}

// 5-6-5 sources widen by shifts (0xFFFF is 248, 252, 248), and channel flags read a
// channel as 0 while mapping.
TEST(Quantizer, WidensLikeTheConvertersAndHonoursChannelFlags) {
  CSLImageQuantizer quantizer;
  SLImagePalette palette = {};
  EXPECT_FALSE(quantizer.SetPalette(&palette));
  EXPECT_EQ(SLGetLastError(), 0x80001002u);
  palette.count = 2;
  palette.entries[0] = {248, 252, 248, 255};
  palette.entries[1] = {0, 252, 248, 255};
  ASSERT_TRUE(quantizer.SetPalette(&palette));
  CSLImage* wide = FilledImage(14, 3, 3, {0xFF, 0xFF});
  const SLImageInfo info = InfoOf(*wide);
  for (u32 flags : {0u, u32(CSLImageQuantizer::kNoRed)}) {
    SLRemapResult result;
    ASSERT_TRUE(quantizer.RemapPixels(&result, &info, flags != 0, flags));
    EXPECT_EQ(result.colorCount, 2u);
    for (u32 i = 0; i < 9; ++i) EXPECT_EQ(result.indexes[i], flags ? 1 : 0);
    SLFree(result.indexes);
  }
  // A given palette is taken whole.
  ASSERT_TRUE(wide->ConvertFormat(1, 0, 0, &palette));
  EXPECT_EQ(wide->GetPalette()->count, 2u);
  EXPECT_EQ(wide->GetPixel(2, 2), 0xFFF8FCF8u);
  wide->Release();
}

}  // namespace
