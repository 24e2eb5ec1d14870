// The TGA reader and writer, against ImageMagick's files and decodings and against
// crafted files for what ImageMagick does not write.
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

// A header followed by the given bytes.
std::string Tga(u8 mapType, u8 type, u16 first, u16 length, u8 entryBits, u16 w, u16 h, u8 depth, u8 descriptor,
                const std::string& rest) {
  std::string s(18, '\0');
  s[1] = char(mapType);
  s[2] = char(type);
  s[3] = char(first), s[4] = char(first >> 8);
  s[5] = char(length), s[6] = char(length >> 8);
  s[7] = char(entryBits);
  s[12] = char(w), s[13] = char(w >> 8);
  s[14] = char(h), s[15] = char(h >> 8);
  s[16] = char(depth);
  s[17] = char(descriptor);
  return s + rest;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += char(v);
  return s;
}

// A version 2 footer with an extension area carrying a key colour and an attributes type.
std::string WithExtension(std::string file, u32 key, u8 attributes) {
  const u32 offset = u32(file.size());
  std::string area(495, '\0');
  area[470] = char(key >> 24), area[471] = char(key), area[472] = char(key >> 8), area[473] = char(key >> 16);
  area[494] = char(attributes);
  file += area;
  file += Bytes({int(offset & 255), int((offset >> 8) & 255), 0, 0, 0, 0, 0, 0});
  file += std::string("TRUEVISION-XFILE.") + '\0';
  return file;
}

TEST(TgaReader, CraftedFilesGiveTheirPixelsAndCodes) {
  const u32 opaque = 0xFF000000u;
  const struct {
    const char* what;
    std::string file;
    u32 code, format;
    std::vector<u32> pixels;  // 0xAABBGGRR in image order; format 3 reads alpha 0
    u32 key;
  } cases[] = {
      {"16-bit 5-5-5 with the attribute bit, no alpha", Tga(0, 2, 0, 0, 0, 2, 1, 16, 0x21, Bytes({0x1F, 0x80, 0xE0, 0x03})),
       0, 3, {0xF80000, 0x00F800}, 0},
      {"16-bit 5-6-5 without it", Tga(0, 2, 0, 0, 0, 2, 1, 16, 0x20, Bytes({0x1F, 0xF8, 0xE0, 0x07})), 0, 3,
       {0xF80000 | 0xF8, 0x00FC00}, 0},
      {"15-bit", Tga(0, 2, 0, 0, 0, 1, 1, 15, 0x20, Bytes({0x00, 0x7C})), 0, 3, {0x0000F8}, 0},
      {"right to left, bottom up", Tga(0, 3, 0, 0, 0, 2, 2, 8, 0x10, Bytes({1, 2, 3, 4})), 0, 1, {4, 3, 2, 1}, 0},
      {"RLE across rows, stopping inside a packet", Tga(0, 11, 0, 0, 0, 3, 2, 8, 0x20, Bytes({0x83, 9, 0x01, 5, 6})),
       0, 1, {9, 9, 9, 9, 5, 6}, 0},
      {"run past the last pixel", Tga(0, 11, 0, 0, 0, 2, 1, 8, 0x20, Bytes({0xFF, 7})), 0, 1, {7, 7}, 0},
      {"257 map entries give 24 bits; first-entry index and out-of-map indices black",
       Tga(1, 1, 2, 257, 24, 3, 1, 16, 0x20, std::string(3 * 257, '\x10') + Bytes({2, 0, 1, 0, 0x03, 0x01})), 0, 3,
       {0x101010, 0, 0}, 0},
      {"small map: index rule and opaque black beyond", Tga(1, 1, 1, 2, 24, 3, 1, 8, 0x20,
                                                            Bytes({1, 2, 3, 4, 5, 6, 2, 0, 3})),
       0, 1, {1, 0, 0}, 0},
      {"32-bit attributes type 2: opaque", WithExtension(Tga(0, 2, 0, 0, 0, 1, 1, 32, 0x28, Bytes({1, 2, 3, 4})), 0, 2),
       0, 5, {opaque | 0x010203}, 0},
      {"type 4 premultiplied, alpha 0 becomes zero",
       WithExtension(Tga(0, 2, 0, 0, 0, 2, 1, 32, 0x28, Bytes({40, 20, 10, 0x80, 9, 9, 9, 0})), 0x11223344, 4), 0, 5,
       {0x80000000u | (10 * 255 / 128) | ((20 * 255 / 128) << 8) | ((40 * 255 / 128) << 16), 0}, 0x223344},
      {"truncated rows", Tga(0, 3, 0, 0, 0, 2, 2, 8, 0, Bytes({1, 2, 3})), 0x80020036, 0, {}, 0},
      {"interleaved", Tga(0, 3, 0, 0, 0, 1, 1, 8, 0x40, Bytes({1})), 0x80020018, 0, {}, 0},
      {"grey with a map", Tga(1, 3, 0, 1, 24, 1, 1, 8, 0, Bytes({1, 2, 3, 1})), 0x800d0002, 0, {}, 0},
      {"empty map", Tga(1, 1, 0, 0, 24, 1, 1, 8, 0, Bytes({1})), 0x800d0002, 0, {}, 0},
      {"depth 12", Tga(0, 2, 0, 0, 0, 1, 1, 12, 0, Bytes({1, 2})), 0x80020018, 0, {}, 0},
      {"zero width", Tga(0, 3, 0, 0, 0, 0, 1, 8, 0, ""), 0x8000100b, 0, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CSLImageArray images;
    const bool read = ReadBytes<CSLImageReaderTGA>(c.file, &images, 0);
    EXPECT_EQ(SLGetLastError(), c.code);
    if (c.code) {
      EXPECT_FALSE(read);
      EXPECT_EQ(images.GetCount(), 0u);
      continue;
    }
    ASSERT_TRUE(read);
    const CSLImage& image = *images[0];
    EXPECT_EQ(image.GetFormat(), c.format);
    // Palette images compare indices, the others colours.
    std::vector<u32> got;
    for (u32 y = 0; y < image.GetHeight(); ++y)
      for (u32 x = 0; x < image.GetWidth(); ++x)
        got.push_back(c.format == 1 ? *image.GetPixelAddress(x, y)
                                    : image.GetPixel(x, y) & (c.format == 3 ? 0xFFFFFFu : ~0u));
    if (c.format == 1 && image.GetPalette() && c.what[0] == 's') {
      SLPaletteEntry entries[3];
      ASSERT_EQ(image.GetPaletteEntries(0, 3, entries), 3u);
      EXPECT_EQ(entries[0].red, 3);
      EXPECT_EQ(entries[2].red + entries[2].green + entries[2].blue, 0);
      EXPECT_EQ(entries[2].alpha, 255);
    }
    EXPECT_EQ(got, c.pixels);
    u32 key = 0;
    EXPECT_EQ(image.GetTransparentColor(&key), c.key != 0);
    if (c.key) {
      EXPECT_EQ(key, c.key);
    }

    // Header only: the same description without pixels.
    CSLImageArray headers;
    ASSERT_TRUE(ReadBytes<CSLImageReaderTGA>(c.file, &headers, 1));
    EXPECT_EQ(headers[0]->GetPixels(), nullptr);
    EXPECT_EQ(headers[0]->GetWidth(), image.GetWidth());
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
