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
      for (u32 i = 0; i < width * height; ++i) {
        const u8* want = reinterpret_cast<const u8*>(reference.data()) + i * 3;
        equal += (image.GetPixel(i % width, i / width) & 0xFFFFFF) == (want[0] | want[1] << 8 | u32(want[2]) << 16);
      }
      // Error diffusion may part ways at a tie and carry the difference a few pixels on.
      EXPECT_GE(equal, dither ? width * height * 99 / 100 : width * height);
    }
}

// A picture of `pixel` throughout, `first` in its first row.
void Fill(CSLImage& image, u32 format, u32 width, u32 height, const std::vector<u8>& pixel,
          const std::vector<u8>& first) {
  ASSERT_TRUE(image.Create(format, width, height, false));
  for (u32 i = 0; i < width * height; ++i)
    memcpy(image.GetPixelAddress(i % width, i / width), (i < width ? first : pixel).data(), pixel.size());
}

// Pictures of one colour, or of one colour in the first row and another below, get that
// many entries: the centres of the colours' cells (red 200 -> 204, green 100 -> 102, blue
// 10 -> 12). A palette image is reduced through its palette's colours, one without a
// palette through the 3-3-2 ramp's.
TEST(Quantizer, OneOrTwoColoursGiveThatManyEntries) {
  const SLPaletteEntry entries[4] = {{200, 0, 0, 255}, {0, 200, 0, 255}, {0, 0, 200, 255}, {255, 255, 255, 255}};
  struct Case {
    u32 format, width, height;
    std::vector<u8> first, rest;
    bool palette;
    u32 colors, want[2], tolerance;
  };
  const Case cases[] = {
      {3, 5, 4, {10, 100, 200}, {10, 100, 200}, false, 0, {0x0C66CC, 0x0C66CC}, 0},
      {4, 4, 4, {0, 0, 0, 0}, {255, 255, 255, 255}, false, 2, {0x040204, 0xFCFEFC}, 0},
      {1, 4, 2, {0}, {3}, true, 2, {0x0000C8, 0xFFFFFF}, 8},
      {1, 4, 2, {0xE0}, {3}, false, 2, {0x0000FF, 0xFF0000}, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c.format << " palette " << c.palette);
    CSLImage image;
    Fill(image, c.format, c.width, c.height, c.rest, c.first);
    if (c.palette) image.SetPaletteEntries(0, 4, entries);
    ASSERT_TRUE(image.ConvertFormat(1, 0, c.colors));
    EXPECT_EQ(image.GetPalette()->count, c.want[0] == c.want[1] ? 1u : 2u);
    for (u32 y = 0; y < c.height; ++y)
      for (u32 x = 0; x < c.width; ++x)
        for (u32 shift = 0; shift < 24; shift += 8)
          EXPECT_NEAR(int(image.GetPixel(x, y) >> shift & 255), int(c.want[y > 0] >> shift & 255), int(c.tolerance));
  }
}

// 4096 x 4096 pixels of white put 16.7 million counts of 252 into a box sum, past 32 bits.
TEST(Quantizer, BigPicturesKeepTheirColour) {
  CSLImage image;
  ASSERT_TRUE(image.Create(2, 4096, 4096, false));
  memset(image.GetPixels(), 255, InfoOf(image).pixelBufferSize);
  CSLImageQuantizer quantizer;
  SLImagePalette palette;
  ASSERT_TRUE(quantizer.ResetHistogram() && quantizer.AddImage(&image, 0) && quantizer.SelectColors(&palette, 16));
  EXPECT_EQ(palette.count, 1u);
  EXPECT_EQ((std::vector<u8>{palette.entries[0].red, palette.entries[0].green, palette.entries[0].blue}),
            (std::vector<u8>{252, 254, 252}));
}

// 5-6-5 sources widen by shifts (0xFFFF is 248, 252, 248), and channel flags read a
// channel as 0 while mapping.
TEST(Quantizer, WidensLikeTheConvertersAndHonoursChannelFlags) {
  CSLImageQuantizer quantizer;
  SLImagePalette palette = {};
  SL_EXPECT_FAIL(quantizer.SetPalette(&palette), 0x80001002u);
  palette = {2, {{248, 252, 248, 255}, {0, 252, 248, 255}}};
  ASSERT_TRUE(quantizer.SetPalette(&palette));
  CSLImage wide;
  Fill(wide, 14, 3, 3, {0xFF, 0xFF}, {0xFF, 0xFF});
  const SLImageInfo info = InfoOf(wide);
  for (u32 flags : {0u, u32(CSLImageQuantizer::kNoRed)}) {
    SLRemapResult result;
    ASSERT_TRUE(quantizer.RemapPixels(&result, &info, flags != 0, flags));
    EXPECT_EQ(result.colorCount, 2u);
    for (u32 i = 0; i < 9; ++i) EXPECT_EQ(result.indexes[i], flags ? 1 : 0);
    SLFree(result.indexes);
  }
  // A given palette is taken whole.
  ASSERT_TRUE(wide.ConvertFormat(1, 0, 0, &palette));
  EXPECT_EQ(wide.GetPalette()->count, 2u);
  EXPECT_EQ(wide.GetPixel(2, 2), 0xFFF8FCF8u);
}

}  // namespace
