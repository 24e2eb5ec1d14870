// The PNG reader against ImageMagick's files and decodings (the fixture script's crafted
// files, with tRNS chunks, bad CRCs and data cut short, are read by CraftedFilesTest), and
// BMP files wrapping JPEG and PNG streams against the bare streams.
#include <gtest/gtest.h>

#include <string>

#include "foundation/SLError.h"
#include "image/readers/SLImageReaderBMP.h"
#include "image/readers/SLImageReaderPNG.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

TEST(PngReader, DecodesImageMagickFilesAsImageMagickDoes) {
  TempDir dir;
  const u32 w = 37, h = 23;
  WritePattern(dir.Host("src.rgba"), w, h, 0);
  WritePattern(dir.Host("few.rgba"), w, h, 12);
  const std::string grey = "-alpha off -colorspace Gray -define png:color-type=0 -depth ";
  const struct {
    const char* source;
    std::string options;
    u32 format;
  } cases[] = {
      {"few.rgba", "-alpha off PNG8:", 1},
      {"src.rgba", "PNG8:", 5},  // palette with a tRNS chunk
      {"src.rgba", "-alpha off PNG24:", 3},
      {"src.rgba", "PNG32:", 5},
      {"src.rgba", "-alpha off PNG48:", 3},
      {"src.rgba", "PNG64:", 5},
      {"src.rgba", "-interlace PNG PNG64:", 5},
      {"src.rgba", grey + "1 PNG:", 1},
      {"src.rgba", grey + "4 PNG:", 1},
      {"src.rgba", grey + "8 PNG:", 1},
      {"src.rgba", grey + "16 PNG:", 1},
      {"src.rgba", "-colorspace Gray -define png:color-type=4 -depth 8 PNG:", 5},
      {"src.rgba", "-colorspace Gray -define png:color-type=4 -depth 16 -interlace PNG PNG:", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string file = dir.Host("f.png");
    RunCommand(ConvertFromRgba(dir.Host(c.source), w, h) + " " + c.options + "'" + file + "'");
    const std::string bytes = dir.Read("f.png");
    CSLImageArray images;
    ASSERT_TRUE(ReadBytes(CSLImageReaderPNG::GetClassRecord(), bytes, &images, 0)) << std::hex << SLGetLastError();
    const CSLImage& image = *images[0];
    EXPECT_EQ(image.GetFormat(), c.format);
    // 16-bit samples keep their high byte; ImageMagick rounds them.
    ExpectSameAsImageMagick(image, file, c.options.find("16") != std::string::npos ? 1 : 0);
    EXPECT_EQ(InfoOf(image).resolutionX, 96u);
    // A header-only read describes the picture and decodes nothing.
    ASSERT_TRUE(ReadBytes(CSLImageReaderPNG::GetClassRecord(), bytes, &images, SL_IMAGE_READ_HEADER_ONLY));
    EXPECT_EQ(images[0]->GetFormat(), c.format);
    EXPECT_EQ(images[0]->GetPixels(), nullptr);
  }
}

TEST(PngReader, ResolutionComesFromPhysInMetres) {
  TempDir dir;
  const struct {
    const char* options;
    u32 dpi;
  } cases[] = {
      {"-density 300 -units PixelsPerInch", 299},  // 11811 per metre, truncated
      {"-density 59 -units PixelsPerCentimeter", 149},
      {"-density 72 -units PixelsPerInch", 71},   // 2834 per metre
      {"", 96},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    RunCommand(std::string("convert -size 5x3 xc:red ") + c.options + " '" + dir.Host("d.png") + "'");
    CSLImageArray images;
    ASSERT_TRUE(ReadBytes(CSLImageReaderPNG::GetClassRecord(), dir.Read("d.png"), &images, 0));
    EXPECT_EQ(InfoOf(*images[0]).resolutionX, c.dpi);
    EXPECT_EQ(InfoOf(*images[0]).resolutionY, c.dpi);
  }
}

TEST(BmpReader, EmbeddedJpegAndPngStreamsDecodeLikeTheBareFiles) {
  TempDir dir;
  const u32 w = 29, h = 11;
  WritePattern(dir.Host("src.rgba"), w, h, 0);
  RunCommand(ConvertFromRgba(dir.Host("src.rgba"), w, h) + " -alpha off -quality 80 '" + dir.Host("photo.jpg") + "'");
  RunCommand(ConvertFromRgba(dir.Host("src.rgba"), w, h) + " PNG32:'" + dir.Host("picture.png") + "'");
  RunCommand("python3 '" SL_SOURCE_DIR "/tools/fixtures/make_image_fixtures.py' '" + dir.Host() + "' '" +
             dir.Host("photo.jpg") + "' '" + dir.Host("picture.png") + "'");
  for (const char* stream : {"photo.jpg", "picture.png"}) {
    const SLClassRecord* bare = ChooseByContent(dir.Read(stream));
    ASSERT_NE(bare, nullptr);
    CSLImageArray expected;
    ASSERT_TRUE(ReadBytes(bare, dir.Read(stream), &expected, 0));
    const std::string base = std::string(stream).substr(0, std::string(stream).find('.'));
    for (const char* wrapper : {".file.bmp", ".bare.bmp"}) {
      SCOPED_TRACE(base + wrapper);
      const std::string bmp = dir.Read(base + wrapper);
      CSLImageArray images;
      ASSERT_TRUE(ReadBytes(CSLImageReaderBMP::GetClassRecord(), bmp, &images, 0)) << std::hex << SLGetLastError();
      EXPECT_EQ(images[0]->GetFormat(), expected[0]->GetFormat());
      EXPECT_EQ(InfoOf(*images[0]).resolutionX, InfoOf(*expected[0]).resolutionX);
      ExpectSamePixels(*images[0], *expected[0], ~0u);
      ASSERT_TRUE(ReadBytes(CSLImageReaderBMP::GetClassRecord(), bmp, &images, SL_IMAGE_READ_HEADER_ONLY));
      EXPECT_EQ(images[0]->GetPixels(), nullptr);
      // A data offset inside the headers is refused.
      std::string inside = bmp;
      if (inside[0] == 'B') {
        inside[10] = 20;
        EXPECT_FALSE(ReadBytes(CSLImageReaderBMP::GetClassRecord(), inside, &images, 0));
        EXPECT_EQ(SLGetLastError(), 0x80020016u);
      }
    }
  }
}

}  // namespace
