// The PNG reader against ImageMagick's files and decodings, and against the fixture
// script's files for tRNS chunks, bad CRCs and data cut short.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "foundation/SLError.h"
#include "image/readers/SLImageReaderPNG.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;
using namespace std::string_literals;

void RunFixtureScript(const TempDir& dir, const std::string& streams = "") {
  RunCommand("python3 '" SL_SOURCE_DIR "/tools/make_image_fixtures.py' '" + dir.Host() + "' " + streams);
}

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
      {"src.rgba", "-alpha off -interlace PNG PNG24:", 3},
      {"src.rgba", "-interlace PNG PNG64:", 5},
      {"src.rgba", grey + "1 PNG:", 1},
      {"src.rgba", grey + "2 PNG:", 1},
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
    ASSERT_TRUE(ReadBytes<CSLImageReaderPNG>(bytes, &images, 0)) << std::hex << SLGetLastError();
    const CSLImage& image = *images[0];
    EXPECT_EQ(image.GetFormat(), c.format);
    // 16-bit samples keep their high byte; ImageMagick rounds them.
    ExpectSameAsImageMagick(image, file, c.options.find("16") != std::string::npos ? 1 : 0);
    if (c.options.find("Gray") != std::string::npos && c.format == 5) {
      for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x) {
          const u8* p = image.GetPixelAddress(x, y);
          ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << ", " << y;
        }
    }
    EXPECT_EQ(InfoOf(image).resolutionX, 96u);
    // A header-only read describes the picture and decodes nothing.
    ASSERT_TRUE(ReadBytes<CSLImageReaderPNG>(bytes, &images, SL_IMAGE_READ_HEADER_ONLY));
    EXPECT_EQ(images[0]->GetFormat(), c.format);
    EXPECT_EQ(images[0]->GetHeight(), h);
    EXPECT_EQ(images[0]->GetPixels(), nullptr);
    EXPECT_EQ(ChooseByContent(bytes), CSLImageReaderPNG::GetClassRecord());
  }
  EXPECT_EQ(CSLBaseImageReader::FindReaderClassByExtension("x.Png"), CSLImageReaderPNG::GetClassRecord());
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
    ASSERT_TRUE(ReadBytes<CSLImageReaderPNG>(dir.Read("d.png"), &images, 0));
    EXPECT_EQ(InfoOf(*images[0]).resolutionX, c.dpi);
    EXPECT_EQ(InfoOf(*images[0]).resolutionY, c.dpi);
  }
}

TEST(PngReader, FixturesDecodeAsTheScriptSaysOrFailWithTheirCodes) {
  TempDir dir;
  RunFixtureScript(dir);
  const std::string plain = dir.Read("bad_idat_crc.png");
  std::string badHeader = plain;
  badHeader[16] ^= 1;  // the width, so the IHDR CRC no longer matches
  const struct {
    const char* what;
    std::string bytes;
    u32 format;  // 0: fails with `code`
    u32 code;
  } cases[] = {
      {"grey8_trns", dir.Read("grey8_trns.png"), 5, 0},
      {"grey4_trns", dir.Read("grey4_trns.png"), 5, 0},
      {"palette_trns", dir.Read("palette_trns.png"), 5, 0},
      {"bad IDAT CRC", plain, 0, 0x80002006},
      {"bad IHDR CRC", badHeader, 0, 0x80002006},
      {"cut inside IDAT", dir.Read("cut_in_idat.png"), 0, 0x80020036},
      {"cut inside the signature", plain.substr(0, 5), 0, 0x80020036},
      {"not a PNG", "GIF89a\0\0\0\0"s, 0, 0x80020016},
      // Found by fuzzing: a text chunk claiming 1.6 GB had libpng ask for all of it.
      {"huge text chunk", plain.substr(0, 33) + "\x61\x05\x00\x25tEXtdate:crea"s + plain.substr(33), 0, 0x80020036},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CSLImageArray images;
    const bool read = ReadBytes<CSLImageReaderPNG>(c.bytes, &images, 0);
    ASSERT_EQ(read, c.format != 0);
    if (!read) {
      EXPECT_EQ(SLGetLastError(), c.code);
      EXPECT_EQ(images.GetCount(), 0u);
      continue;
    }
    const CSLImage& image = *images[0];
    EXPECT_EQ(image.GetFormat(), c.format);
    const std::string expected = dir.Read(std::string(c.what) + ".rgba");
    ASSERT_EQ(expected.size(), size_t(image.GetWidth()) * image.GetHeight() * 4);
    for (u32 y = 0; y < image.GetHeight(); ++y)
      for (u32 x = 0; x < image.GetWidth(); ++x) {
        const u8* e = reinterpret_cast<const u8*>(expected.data()) + (size_t(y) * image.GetWidth() + x) * 4;
        ExpectNear(image.GetPixel(x, y), e[0] | e[1] << 8 | e[2] << 16 | u32(e[3]) << 24, ~0u, 0, x, y);
      }
  }
}

TEST(PngReader, HeadersAskingPastTheImageLimitFailBeforeDecoding) {
  TempDir dir;
  RunFixtureScript(dir);
  std::string bytes = dir.Read("bad_idat_crc.png");
  // IHDR of 60000 x 60000 colour pixels, with its CRC made right.
  const std::string header = "IHDR\0\0\xEA\x60\0\0\xEA\x60\x08\x02\0\0\0"s;
  const u32 crc = u32(crc32(0, reinterpret_cast<const Bytef*>(header.data()), uInt(header.size())));
  bytes.replace(12, 17, header);
  for (int i = 0; i < 4; ++i) bytes[29 + i] = char(crc >> (24 - 8 * i));
  CSLImageArray images;
  EXPECT_FALSE(ReadBytes<CSLImageReaderPNG>(bytes, &images, 0));
  EXPECT_EQ(SLGetLastError(), u32(SL_E_IMAGE_SIZE));
  EXPECT_EQ(images.GetCount(), 0u);
}

}  // namespace
