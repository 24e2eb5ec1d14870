// The GIF reader against gifsicle's animations as ImageMagick composes them, and the
// read flags and frame properties.
#include <gtest/gtest.h>

#include <string>

#include "foundation/SLError.h"
#include "image/SLPixelFormat.h"
#include "image/readers/SLImageReaderGIF.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

// Frame colours as R, G, B, A bytes through the frame's palette; fully transparent pixels
// all read 0.
std::string Rgba(const CSLImage& image) {
  SLPaletteEntry palette[256];
  image.GetPaletteEntries(0, 256, palette);
  std::string out;
  for (u32 y = 0; y < image.GetHeight(); ++y)
    for (u32 x = 0; x < image.GetWidth(); ++x) {
      const SLPaletteEntry& e = palette[*image.GetPixelAddress(x, y)];
      const char rgba[4] = {char(e.red), char(e.green), char(e.blue), char(e.alpha)};
      out.append(e.alpha ? std::string(rgba, 4) : std::string(4, '\0'));
    }
  return out;
}

std::string ZeroTransparent(std::string rgba) {
  for (size_t i = 0; i + 3 < rgba.size(); i += 4)
    if (rgba[i + 3] == 0) rgba.replace(i, 4, std::string(4, '\0'));
  return rgba;
}

// The integer property of that name.
bool IntegerProperty(const CSLImage& image, const char* name, i32* value) {
  for (u32 i = 0; i < image.GetPropertyCount(); ++i)
    if (std::string(image.GetProperty(i)->GetName()) == name) return *value = image.GetProperty(i)->GetInteger(), true;
  return false;
}

std::string Read(const std::string& path) { return RunCommand("cat '" + path + "'"); }

TEST(GifReader, GifsicleAnimationsComposeAsImageMagickCoalescesThem) {
  TempDir dir;
  const u32 w = 40, h = 30;
  // Three pictures of one 12-colour table: a full-screen first frame, then smaller
  // frames at offsets; every frame has a transparent colour, so that a cleared frame
  // shows as ImageMagick clears it.
  WritePattern(dir.Host("a.rgba"), w, h, 12);
  RunCommand(ConvertFromRgba(dir.Host("a.rgba"), w, h) + " -alpha off +dither -colors 12 '" + dir.Host("a.gif") + "'");
  RunCommand("convert '" + dir.Host("a.gif") + "' -crop 17x13+5+4 +repage -fill '#000000' -draw 'rectangle 3,3 9,8' '" +
             dir.Host("b.gif") + "'");
  RunCommand("convert '" + dir.Host("a.gif") + "' -flip -crop 23x9+11+19 +repage '" + dir.Host("c.gif") + "'");
  const char* variants[] = {"none", "asis", "background", "previous"};
  for (const char* disposal : variants)
    for (const char* extra : {"", "--interlace"}) {
      SCOPED_TRACE(std::string(disposal) + " " + extra);
      const std::string file = dir.Host(std::string("anim_") + disposal + (extra[0] ? "_x" : "") + extra + ".gif");
      RunCommand(std::string("gifsicle --no-warnings ") + extra + " --delay 7 --disposal " + disposal + " --transparent '#000000' '" +
                 dir.Host("a.gif") + "' --position 5,4 '" +
                 dir.Host("b.gif") + "' --position 11,19 '" + dir.Host("c.gif") + "' --position 2,3 '" +
                 dir.Host("b.gif") + "' > '" + file + "'");
      CSLImageArray images;
      ASSERT_TRUE(ReadBytes(CSLImageReaderGIF::GetClassRecord(), Read(file), &images, 0));
      const std::string reference = RunCommand("convert '" + file + "' -coalesce -depth 8 rgba:-");
      const u32 frames = u32(reference.size() / (size_t(w) * h * 4));
      ASSERT_EQ(images.GetCount(), frames);
      ASSERT_GE(frames, 3u);
      for (u32 i = 0; i < frames; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Rgba(*images[i]) == ZeroTransparent(reference.substr(size_t(w) * h * 4 * i, size_t(w) * h * 4)));
        i32 delay = 0;
        EXPECT_TRUE(IntegerProperty(*images[i], CSLImage::kPropertyDelay, &delay));
        EXPECT_EQ(delay, 70);
        i32 id = -1;
        EXPECT_EQ(IntegerProperty(*images[i], CSLImage::kPropertyId, &id), i > 0);
        if (i) { EXPECT_EQ(id, i32(i)); }
      }
      // The first frame alone; descriptions alone.
      ASSERT_TRUE(ReadBytes(CSLImageReaderGIF::GetClassRecord(), Read(file), &images, SL_IMAGE_READ_FIRST_ONLY));
      ASSERT_EQ(images.GetCount(), 1u);
      EXPECT_TRUE(Rgba(*images[0]) == ZeroTransparent(reference.substr(0, size_t(w) * h * 4)));
      ASSERT_TRUE(ReadBytes(CSLImageReaderGIF::GetClassRecord(), Read(file), &images, SL_IMAGE_READ_HEADER_ONLY));
      ASSERT_EQ(images.GetCount(), frames);
      for (u32 i = 0; i < frames; ++i) EXPECT_EQ(images[i]->GetPixels(), nullptr);
    }
}

TEST(GifReader, NoGlobalTableGivesTheDefaultPaletteAndFramesStayUnderTheImageLimit) {
  // A 2x1 screen without tables; one frame of indices 0 and 200 at minimum code size 8:
  // codes 256 (clear), 0, 200, 257 (end), 9 bits each.
  const u64 bits = 0x100 | (u64(0) << 9) | (u64(200) << 18) | (u64(257) << 27);
  std::string one("\x2c\0\0\0\0\0\0\0\0\0\x08\x05", 12);
  for (int i = 0; i < 5; ++i) one += char((bits >> (8 * i)) & 0xff);
  one += '\0';
  const std::string file = std::string("GIF89a\x02\0\x01\0\0\0\0", 13) + one;
  CSLImageArray images;
  ASSERT_TRUE(ReadBytes(CSLImageReaderGIF::GetClassRecord(), file + ";", &images, 0));
  ASSERT_EQ(images.GetCount(), 1u);
  EXPECT_EQ(*images[0]->GetPixelAddress(1, 0), 200);
  SLPaletteEntry got, expected;
  images[0]->GetPaletteEntries(200, 1, &got);
  SLDefaultPaletteColor(200, &expected);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&got), 4), std::string(reinterpret_cast<char*>(&expected), 4));

  // Many frames of a small file: refused once they pass the limit together.
  std::string many = file;
  for (int i = 0; i < 40; ++i) many += one;
  const u64 old = SLSetImageBufferLimit(4 * 30);
  EXPECT_FALSE(ReadBytes(CSLImageReaderGIF::GetClassRecord(), many + ";", &images, 0));
  EXPECT_EQ(SLGetLastError(), SL_E_IMAGE_SIZE);
  EXPECT_EQ(images.GetCount(), 0u);
  EXPECT_TRUE(ReadBytes(CSLImageReaderGIF::GetClassRecord(), many + ";", &images, SL_IMAGE_READ_FIRST_ONLY));
  SLSetImageBufferLimit(old);
  EXPECT_TRUE(ReadBytes(CSLImageReaderGIF::GetClassRecord(), many + ";", &images, 0));
  EXPECT_EQ(images.GetCount(), 41u);
}

}  // namespace
