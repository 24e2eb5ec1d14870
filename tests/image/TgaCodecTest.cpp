// The TGA reader and writer against ImageMagick's files and decodings (crafted files
// are in CraftedFilesTest).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "image/readers/SLImageReaderTGA.h"
#include "image/writers/SLImageWriterTGA.h"
#include "storage/SLMemoryStorage.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

TEST(TgaReader, DecodesImageMagickFilesAsImageMagickDoes) {
  TempDir dir;
  const u32 w = 37, h = 23;
  WritePattern(dir.Host("src.rgba"), w, h, /*colors=*/0);
  WritePattern(dir.Host("few.rgba"), w, h, /*colors=*/12);
  const struct {
    const char* source;
    const char* options;
    u32 format;
  } cases[] = {
      {"src.rgba", "-depth 8", 5},
      {"src.rgba", "-depth 8 -compress RLE", 5},
      {"src.rgba", "-alpha off -depth 8", 3},
      {"src.rgba", "-alpha off -depth 8 -compress RLE", 3},
      {"src.rgba", "-alpha off -type Grayscale -depth 8", 1},
      {"src.rgba", "-alpha off -type Grayscale -depth 8 -compress RLE", 1},
      {"few.rgba", "-alpha off -type Palette", 1},
      {"few.rgba", "-alpha off -type Palette -compress RLE", 1},
      {"src.rgba", "-flip -orient TopLeft -depth 8", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string file = dir.Host("f.tga");
    RunCommand(ConvertFromRgba(dir.Host(c.source), w, h) + " " + c.options + " 'tga:" + file + "'");
    const std::string bytes = dir.Read("f.tga");
    CSLImageArray images;
    ASSERT_TRUE(ReadBytes<CSLImageReaderTGA>(bytes, &images, 0)) << std::hex << SLGetLastError();
    ASSERT_EQ(images.GetCount(), 1u);
    EXPECT_EQ(images[0]->GetFormat(), c.format);
    ExpectSameAsImageMagick(*images[0], file);
    EXPECT_EQ(ChooseByContent(bytes), CSLImageReaderTGA::GetClassRecord());
  }
}

TEST(TgaWriter, EverySourceFormatReadsBackAndDecodesInImageMagick) {
  // source format -> written depth, and whether alpha survives
  const u32 cases[][3] = {{5, 32, 1}, {4, 32, 1}, {3, 24, 0}, {2, 24, 0}, {14, 16, 0}, {13, 16, 0},
                          {1, 8, 0},  {20, 32, 1}, {12, 32, 1}, {7, 24, 0}};
  for (u32 rle = 0; rle < 2; ++rle)
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << "format " << c[0] << " rle " << rle);
      CSLImageWriterTGA writer;
      writer.m_rle = rle;
      // 16-bit files keep five bits of each channel.
      const std::string bytes = CheckRoundTrip<CSLImageReaderTGA>(writer, c[0], c[2] != 0, c[1] == 16 ? 8 : 0);
      ASSERT_GT(bytes.size(), 18u);
      EXPECT_EQ(u8(bytes[16]), c[1]);
      EXPECT_EQ(u8(bytes[2]), (c[1] == 8 ? 1 : 2) + 8 * rle);
    }
}

TEST(TgaWriter, TranslucentPaletteGoesTo32BitsAndRunsStayInRows) {
  CSLImage palette;
  ASSERT_TRUE(palette.Create(1, 300, 2, false));
  memset(palette.GetPixels(), 1, InfoOf(palette).pixelBufferSize);
  palette.GetPixels()[299] = 2;
  SLPaletteEntry entries[3] = {{1, 2, 3, 255}, {4, 5, 6, 128}, {7, 8, 9, 255}};
  palette.SetPaletteEntries(0, 3, entries);
  CSLImageWriterTGA writer;
  writer.m_rle = 1;
  const std::string bytes = WriteWith(writer, palette);
  ASSERT_EQ(u8(bytes[16]), 32);
  // Bottom row first: runs of 128, 128 and 44; then the top row's runs of 128, 128 and
  // 43 and a raw packet of its last pixel. Packets never cross a row end.
  const std::string pixelsOut = bytes.substr(18, bytes.size() - 18 - 26);
  ASSERT_EQ(pixelsOut.size(), 3u * 5 + 3 * 5 + 1 + 4);
  EXPECT_EQ(u8(pixelsOut[0]), 0xFF);
  EXPECT_EQ(u8(pixelsOut[10]), 0x80 | 43);
  EXPECT_EQ(u8(pixelsOut[25]), 0x80 | 42);
  EXPECT_EQ(u8(pixelsOut[30]), 0);
  CSLImageArray back;
  ASSERT_TRUE(ReadBytes<CSLImageReaderTGA>(bytes, &back, 0));
  EXPECT_EQ(back[0]->GetPixel(0, 0), 0x80060504u);
  EXPECT_EQ(back[0]->GetPixel(299, 0), 0xFF090807u);

  // Null and empty arrays keep their codes.
  CSLMemoryStorage storage;
  CSLImageArray empty;
  EXPECT_FALSE(writer.Write(nullptr, &storage));
  EXPECT_EQ(SLGetLastError(), 0x80001002u);
  EXPECT_FALSE(writer.Write(&empty, nullptr));
  EXPECT_EQ(SLGetLastError(), 0x80001005u);
  EXPECT_FALSE(writer.Write(&empty, &storage));
  EXPECT_EQ(SLGetLastError(), 0x800d000au);
}

}  // namespace
