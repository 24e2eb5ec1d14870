// The BMP reader and writer, against ImageMagick's files and decodings and against
// crafted files for what ImageMagick does not write.
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

// Little-endian fields: each pair is (byte count, value).
std::string Fields(std::initializer_list<std::pair<int, u32>> fields) {
  std::string s;
  for (const auto& [n, v] : fields)
    for (int i = 0; i < n; ++i) s += char(i < 4 ? (v >> (8 * i)) & 255 : 0);
  return s;
}

std::string InfoHeader(u32 size, i32 w, i32 h, u32 bits, u32 compression, u32 colors = 0) {
  return Fields({{4, size}, {4, u32(w)}, {4, u32(h)}, {2, 1}, {2, bits}, {4, compression}, {4, 0},
                 {4, 3779}, {4, 3779}, {4, colors}, {4, 0}});
}

std::string FileHeader(u32 offset) { return "BM" + Fields({{4, 0}, {4, 0}, {4, offset}}); }

TEST(BmpReader, CraftedFilesGiveTheirPixelsAndCodes) {
  const std::string twoColors = Fields({{4, 0x0000FF}, {4, 0x00FF00}});  // blue, green
  const struct {
    const char* what;
    std::string file;
    u32 code;
    std::vector<u32> pixels;  // indices for palette images, else 0x00BBGGRR (alpha too for 32 bits)
  } cases[] = {
      {"bare 40-byte header", InfoHeader(40, 2, 1, 24, 0) + Fields({{3, 0x0000FF}, {3, 0xFF0000}, {2, 0}}), 0,
       {0xFF0000, 0x0000FF}},
      {"24 bits at offset 54: the first pixel is not skipped",
       FileHeader(54) + InfoHeader(40, 1, 2, 24, 0) + Fields({{4, 0x112233}, {4, 0x445566}}), 0,
       {0x665544, 0x332211}},
      {"16-bit bit fields with the writer's offset 66",
       FileHeader(66) + InfoHeader(40, 2, -1, 16, 3) + Fields({{4, 0xF800}, {4, 0x07E0}, {4, 0x1F}, {2, 0xF800}, {2, 0x07FF}}),
       0, {0x0000F8, 0xF8FC00}},
      {"16 bits uncompressed is 5-5-5", FileHeader(0) + InfoHeader(40, 1, 1, 16, 0) + Fields({{2, 0x7C1F}, {2, 0}}), 0,
       {0xF800F8}},
      {"32 bits with a zero fourth byte is transparent", InfoHeader(40, 1, 1, 32, 0) + Fields({{4, 0x00102030}}), 0,
       {0x00302010}},
      {"wide masks keep their top eight bits",
       InfoHeader(56, 1, 1, 32, 3) + Fields({{4, 0xFFFF0000}, {4, 0x0000FFFF}, {4, 0}, {4, 0xFF000000}, {4, 0xABCD1234}}),
       0, {0xAB0012AB}},
      {"OS/2 header with 3-byte palette entries",
       FileHeader(0) + Fields({{4, 12}, {2, 3}, {2, 1}, {2, 1}, {2, 1}, {3, 0x0000FF}, {3, 0x00FF00}, {4, 0xA0}}),
       0, {1, 0, 1}},
      {"RLE4: runs cut at the row end, literal, delta past the last row",
       InfoHeader(40, 3, 2, 4, 2, 2) + twoColors + Fields({{1, 5}, {1, 0x10}, {1, 0}, {1, 0}, {1, 0}, {1, 3}, {1, 0x01},
                                                           {1, 0x10}, {1, 0}, {1, 2}, {1, 0}, {1, 9}}),
       0, {0, 1, 1, 1, 0, 1}},
      {"RLE8 end of bitmap after one run", InfoHeader(40, 3, 1, 8, 1, 2) + twoColors + Fields({{1, 2}, {1, 1}, {1, 0}, {1, 1}}),
       0, {1, 1, 0}},
      {"offset inside the headers", FileHeader(20) + InfoHeader(40, 1, 1, 24, 0) + Fields({{4, 0}}), 0x80020016, {}},
      {"height -2^31", InfoHeader(40, 1, i32(0x80000000u), 24, 0), 0x80020018, {}},
      {"width times bits past 32 bits", InfoHeader(40, 0x7FFFFFFF, 1, 32, 0), 0x8000100b, {}},
      {"short header", Fields({{4, 20}, {16, 0}}), 0x80020016, {}},
      {"bit fields at 8 bits", InfoHeader(40, 1, 1, 8, 3) + std::string(12, '\0'), 0x80020016, {}},
      {"JPEG compression, no stream", InfoHeader(40, 1, 1, 24, 4), 0x80000001, {}},
      {"PNG compression, no stream", InfoHeader(40, 1, 1, 24, 5), 0x80020036, {}},
      {"compression 6", InfoHeader(40, 1, 1, 24, 6), 0x80020018, {}},
      {"more than 256 colours", InfoHeader(40, 1, 1, 8, 0, 257), 0x80001001, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CSLImageArray images;
    const bool read = ReadBytes<CSLImageReaderBMP>(c.file, &images, 0);
    EXPECT_EQ(SLGetLastError(), c.code);
    if (c.code) {
      EXPECT_FALSE(read);
      EXPECT_EQ(images.GetCount(), 0u);
      continue;
    }
    ASSERT_TRUE(read);
    const CSLImage& image = *images[0];
    std::vector<u32> got;
    for (u32 y = 0; y < image.GetHeight(); ++y)
      for (u32 x = 0; x < image.GetWidth(); ++x)
        got.push_back(image.GetFormat() == 1 ? *image.GetPixelAddress(x, y)
                                             : image.GetPixel(x, y) & (image.GetFormat() == 5 ? ~0u : 0xFFFFFFu));
    EXPECT_EQ(got, c.pixels);
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
