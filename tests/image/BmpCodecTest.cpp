// The BMP reader and writer against ImageMagick's files and decodings (crafted files
// are in CraftedFilesTest).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "image/readers/SLImageReaderBMP.h"
#include "image/writers/SLImageWriterBMP.h"
#include "storage/SLMemoryStorage.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

TEST(BmpReader, DecodesImageMagickFilesAsImageMagickDoes) {
  TempDir dir;
  const u32 w = 37, h = 23;
  WritePattern(dir.Host("src.rgba"), w, h, 0);
  WritePattern(dir.Host("two.rgba"), w, h, 2);
  WritePattern(dir.Host("few.rgba"), w, h, 12);
  WritePattern(dir.Host("many.rgba"), w, h, 40);
  const struct {
    const char* source;
    const char* options;
    u32 bits, compression;
  } cases[] = {
      {"src.rgba", "-alpha off -depth 8 BMP3:", 24, 0},   {"src.rgba", "-depth 8 BMP:", 32, 3},
      {"two.rgba", "-alpha off -type Palette -compress None BMP3:", 1, 0},
      {"few.rgba", "-alpha off -type Palette -compress None BMP3:", 4, 0},
      {"many.rgba", "-alpha off -type Palette -compress None BMP3:", 8, 0},
      {"many.rgba", "-alpha off -type Palette -compress RLE BMP3:", 8, 1},
      {"many.rgba", "-alpha off -type Palette BMP2:", 8, 0},  {"src.rgba", "-alpha off -depth 8 BMP2:", 24, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string file = dir.Host("f.bmp");
    RunCommand(ConvertFromRgba(dir.Host(c.source), w, h) + " " + c.options + "'" + file + "'");
    const std::string bytes = dir.Read("f.bmp");
    const bool os2 = SLLoadLE32(reinterpret_cast<const u8*>(bytes.data()) + 14) == 12;
    EXPECT_EQ(os2, std::string(c.options).find("BMP2") != std::string::npos);
    EXPECT_EQ(SLLoadLE16(reinterpret_cast<const u8*>(bytes.data()) + (os2 ? 24 : 28)), c.bits);
    if (!os2) {
      EXPECT_EQ(SLLoadLE32(reinterpret_cast<const u8*>(bytes.data()) + 30), c.compression);
    }
    CSLImageArray images;
    ASSERT_TRUE(ReadBytes<CSLImageReaderBMP>(bytes, &images, 0)) << std::hex << SLGetLastError();
    ExpectSameAsImageMagick(*images[0], file);
    EXPECT_EQ(ChooseByContent(bytes), CSLImageReaderBMP::GetClassRecord());
    EXPECT_EQ(CSLBaseImageReader::FindReaderClassByExtension("f.bmp"), CSLImageReaderBMP::GetClassRecord());
  }
}

TEST(BmpWriter, EverySourceFormatReadsBackAndDecodesInImageMagick) {
  // source format -> written bits, pixel-data offset. The written frame reads back
  // exactly, a screenshot's alpha included.
  const u32 cases[][3] = {{5, 32, 54}, {4, 32, 54}, {3, 24, 54}, {2, 24, 54},  {14, 16, 66},
                          {13, 16, 66}, {1, 8, 1078}, {12, 32, 54}, {7, 24, 54}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c[0]);
    CSLImageWriterBMP writer;
    const std::string bytes = CheckRoundTrip<CSLImageReaderBMP>(writer, c[0], c[1] == 32, c[1] == 16 ? 8 : 0);
    ASSERT_GT(bytes.size(), 54u);
    const u8* b = reinterpret_cast<const u8*>(bytes.data());
    EXPECT_EQ(SLLoadLE16(b + 28), c[1]);
    EXPECT_EQ(SLLoadLE32(b + 10), c[2]);
    EXPECT_EQ(SLLoadLE32(b + 2), bytes.size());
    EXPECT_EQ(SLLoadLE32(b + 38), 3779u);
  }
}

TEST(BmpReader, EmbeddedJpegAndPngStreamsDecodeLikeTheBareFiles) {
  TempDir dir;
  const u32 w = 29, h = 11;
  WritePattern(dir.Host("src.rgba"), w, h, 0);
  RunCommand(ConvertFromRgba(dir.Host("src.rgba"), w, h) + " -alpha off -quality 80 '" + dir.Host("photo.jpg") + "'");
  RunCommand(ConvertFromRgba(dir.Host("src.rgba"), w, h) + " PNG32:'" + dir.Host("picture.png") + "'");
  RunCommand("python3 '" SL_SOURCE_DIR "/tools/make_image_fixtures.py' '" + dir.Host() + "' '" +
             dir.Host("photo.jpg") + "' '" + dir.Host("picture.png") + "'");
  for (const char* stream : {"photo.jpg", "picture.png"}) {
    const SLClassRecord* bare = ChooseByContent(dir.Read(stream));
    ASSERT_NE(bare, nullptr);
    CSLImageArray expected;
    CSLObject* reader = SLCallGuarded(bare);
    CSLMemoryStorage storage;
    const std::string bytes = dir.Read(stream);
    storage.Write(bytes.data(), bytes.size());
    storage.Seek(0, SL_SEEK_BEGIN);
    ASSERT_TRUE(static_cast<CSLBaseImageReader*>(reader)->Read(&expected, &storage, 0));
    reader->Release();
    const std::string base = std::string(stream).substr(0, std::string(stream).find('.'));
    for (const char* wrapper : {".file.bmp", ".bare.bmp"}) {
      SCOPED_TRACE(base + wrapper);
      const std::string bmp = dir.Read(base + wrapper);
      CSLImageArray images;
      ASSERT_TRUE(ReadBytes<CSLImageReaderBMP>(bmp, &images, 0)) << std::hex << SLGetLastError();
      EXPECT_EQ(images[0]->GetFormat(), expected[0]->GetFormat());
      EXPECT_EQ(InfoOf(*images[0]).resolutionX, InfoOf(*expected[0]).resolutionX);
      ExpectSamePixels(*images[0], *expected[0], true);
      ASSERT_TRUE(ReadBytes<CSLImageReaderBMP>(bmp, &images, SL_IMAGE_READ_HEADER_ONLY));
      EXPECT_EQ(images[0]->GetPixels(), nullptr);
      EXPECT_EQ(images[0]->GetFormat(), expected[0]->GetFormat());
      // A data offset inside the headers is refused.
      std::string inside = bmp;
      if (inside[0] == 'B') {
        inside[10] = 20;
        EXPECT_FALSE(ReadBytes<CSLImageReaderBMP>(inside, &images, 0));
        EXPECT_EQ(SLGetLastError(), 0x80020016u);
      }
    }
  }
}

}  // namespace
