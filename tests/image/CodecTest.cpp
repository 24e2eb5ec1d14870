// The TGA, BMP and PSD readers and the TGA and BMP writers against ImageMagick: its files
// decode as it decodes them, and what the writers write decodes in it to the colours
// written. Random images of every layout read back as both writers stored them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "image/readers/SLImageReaderBMP.h"
#include "image/readers/SLImageReaderTGA.h"
#include "image/writers/SLImageWriteBuffer.h"
#include "image/writers/SLImageWriterBMP.h"
#include "image/writers/SLImageWriterTGA.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

TEST(Codecs, ImageMagickFilesDecodeAsImageMagickDecodesThem) {
  TempDir dir;
  const u32 w = 37, h = 23;
  for (auto [name, colors] : {std::pair<const char*, u32>{"src", 0}, {"two", 2}, {"few", 12}, {"many", 40}}) {
    WritePattern(dir.Host(std::string(name) + ".rgba"), w, h, colors);
    RunCommand(ConvertFromRgba(dir.Host(std::string(name) + ".rgba"), w, h) + " '" + dir.Host(name) + ".png'");
  }
  // ImageMagick cannot read its own indexed PSD files back, misreads the alpha of its grey
  // ones and takes the colours of its RGBA ones as matted with white, which its writer
  // never did: those compare with the lossless source picture instead.
  const struct {
    const char* type;
    const char* source;
    const char* options;
    u32 format, at, value;  // the byte at `at` shows ImageMagick wrote the variant asked for
    const char* colors = "";
    const char* alpha = "";
  } cases[] = {
      {"tga", "src", "-depth 8", 5, 16, 32},
      {"tga", "src", "-depth 8 -compress RLE", 5, 2, 10},
      {"tga", "src", "-alpha off -depth 8", 3, 16, 24},
      {"tga", "src", "-alpha off -depth 8 -compress RLE", 3, 2, 10},
      {"tga", "src", "-alpha off -type Grayscale -depth 8", 1, 2, 3},
      {"tga", "src", "-alpha off -type Grayscale -depth 8 -compress RLE", 1, 2, 11},
      {"tga", "few", "-alpha off -type Palette", 1, 2, 1},
      {"tga", "few", "-alpha off -type Palette -compress RLE", 1, 2, 9},
      {"tga", "src", "-flip -orient TopLeft -depth 8", 5, 17, 0x28},
      {"bmp", "src", "-alpha off -depth 8 BMP3:", 3, 28, 24},
      {"bmp", "src", "-depth 8 BMP:", 5, 30, 3},
      {"bmp", "two", "-alpha off -type Palette -compress None BMP3:", 1, 28, 1},
      {"bmp", "few", "-alpha off -type Palette -compress None BMP3:", 1, 28, 4},
      {"bmp", "many", "-alpha off -type Palette -compress None BMP3:", 1, 28, 8},
      {"bmp", "many", "-alpha off -type Palette -compress RLE BMP3:", 1, 30, 1},
      {"bmp", "many", "-alpha off -type Palette BMP2:", 1, 14, 12},
      {"bmp", "src", "-alpha off -depth 8 BMP2:", 3, 24, 24},
      {"psd", "src", "-depth 8 -alpha off -type Grayscale -compress None", 1, 13, 1},
      {"psd", "src", "-depth 8 -type GrayscaleAlpha -compress RLE", 5, 13, 2, "", "src"},
      {"psd", "few", "-depth 8 -alpha off -type Palette -compress RLE", 1, 25, 2, "few", "few"},
      {"psd", "src", "-depth 8 -alpha off -compress None", 3, 13, 3},
      {"psd", "src", "-depth 8 -compress RLE", 5, 13, 4, "src", "src"},
      {"psd", "src", "-depth 8 -compress None", 5, 13, 4, "src", "src"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.type << " " << c.options);
    const std::string name = std::string("f.") + c.type, file = dir.Host(name);
    const std::string prefix = c.type == std::string("tga") ? " tga:" : c.type == std::string("psd") ? " " : "";
    RunCommand(ConvertFromRgba(dir.Host(std::string(c.source) + ".rgba"), w, h) + " -density 150 -units PixelsPerInch " +
               c.options + prefix + "'" + file + "'");
    const std::string bytes = dir.Read(name);
    ASSERT_EQ(u8(bytes.at(c.at)), c.value);
    const SLClassRecord* reader = CSLBaseImageReader::FindReaderClassByExtension(name.c_str());
    EXPECT_EQ(ChooseByContent(bytes), reader);
    CSLImageArray images;
    ASSERT_TRUE(ReadBytes(reader, bytes, &images, 0)) << std::hex << SLGetLastError();
    ASSERT_EQ(images.GetCount(), 1u);
    EXPECT_EQ(images[0]->GetFormat(), c.format);
    if (c.type == std::string("psd")) {
      EXPECT_EQ(std::vector<u32>({InfoOf(*images[0]).resolutionX, InfoOf(*images[0]).resolutionY}),
                std::vector<u32>({150, 150}));
    }
    // The merged image of a PSD file is the first ImageMagick reads; layers follow it.
    const auto reference = [&](const char* source) {
      return *source ? dir.Host(std::string(source) + ".png") : file + "[0]";
    };
    ExpectSameAsImageMagick(*images[0], reference(c.colors), 0, 0xFFFFFF);
    if (CarriesAlpha(*images[0])) ExpectSameAsImageMagick(*images[0], reference(c.alpha), 0, 0xFF000000u);
  }
}

TEST(Codecs, TgaRunsStayInRowsAndTranslucentPalettesGoTo32Bits) {
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
  const std::string packets = bytes.substr(18, bytes.size() - 18 - 26);
  ASSERT_EQ(packets.size(), 3u * 5 + 3 * 5 + 1 + 4);
  EXPECT_EQ(std::vector<u8>({u8(packets[0]), u8(packets[10]), u8(packets[25]), u8(packets[30])}),
            std::vector<u8>({0xFF, 0x80 | 43, 0x80 | 42, 0}));

  // Null and empty arrays keep their codes.
  CSLMemoryStorage storage;
  CSLImageArray empty;
  for (auto [images, target, code] : {std::tuple<CSLImageArray*, CSLBaseStorage*, u32>{nullptr, &storage, 0x80001002},
                                      {&empty, nullptr, 0x80001005}, {&empty, &storage, 0x800d000a}}) {
    EXPECT_FALSE(writer.Write(images, target));
    EXPECT_EQ(SLGetLastError(), code);
  }
}

// A random image: the format of the round for the first 22 rounds, then any.
void MakeRandomImage(std::mt19937& rng, int round, CSLImage* image) {
  const u32 format = round < 22 ? round + 1 : 1 + rng() % 22, width = 1 + rng() % 40, height = 1 + rng() % 12;
  ASSERT_TRUE(image->Create(format, width, height, false));
  SLImageInfo info = InfoOf(*image);
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] = u8(rng());
  if (format != 1) return;
  // Opaque palettes stay 8-bit; one translucent entry makes the file 32-bit.
  const u32 count = 1 + rng() % 256;
  const bool translucent = rng() % 3 == 0;
  std::vector<SLPaletteEntry> entries(count);
  for (SLPaletteEntry& e : entries) e = {u8(rng()), u8(rng()), u8(rng()), u8(translucent ? rng() : 255)};
  image->SetPaletteEntries(0, count, entries.data());
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] %= count;
}

// Random images of every layout, written as TGA, run-length coded TGA and BMP: the caller's
// image stays as it was, the file reads back as the writer stored the frame, and for one
// image of each layout ImageMagick decodes the file to the colours read.
TEST(Codecs, WrittenFilesReadBackAndDecodeInImageMagick) {
  TempDir dir;
  std::mt19937 rng(2026);
  for (int round = 0; round < 300; ++round) {
    CSLImage source, stored;
    MakeRandomImage(rng, round, &source);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": format " << source.GetFormat() << " "
                                      << source.GetWidth() << "x" << source.GetHeight());
    const u32 format = SLWriterTargetFormat(&source), bits = SLGetBytesPerPixel(format) * 8;
    ASSERT_TRUE(source.CopyTo(&stored) && (format == source.GetFormat() || stored.ConvertFormat(format)));
    const std::vector<u8> before = Snapshot(source);
    for (u32 kind = 0; kind < 3; ++kind) {
      SCOPED_TRACE(::testing::Message() << "writer " << kind);
      CSLImageWriterTGA tga;
      tga.m_rle = kind;
      CSLImageWriterBMP bmp;
      CSLBaseImageWriter& writer = kind == 2 ? static_cast<CSLBaseImageWriter&>(bmp) : tga;
      const std::string bytes = WriteWith(writer, source);
      ASSERT_EQ(Snapshot(source), before);
      const u8* b = reinterpret_cast<const u8*>(bytes.data());
      // The pixels of a 16-bit BMP start after its masks, those of an 8-bit one after its
      // colour table: the offset is what the reader must honour.
      if (kind < 2) {
        EXPECT_EQ(std::vector<u32>({b[16], b[2]}), std::vector<u32>({bits, (bits == 8 ? 1 : 2) + 8 * kind}));
      } else {
        EXPECT_EQ(std::vector<u32>({SLLoadLE16(b + 28), SLLoadLE32(b + 10), SLLoadLE32(b + 2), SLLoadLE32(b + 38)}),
                  std::vector<u32>({bits, bits == 8 ? 1078u : bits == 16 ? 66u : 54u, u32(bytes.size()), 3779}));
      }
      CSLImageArray back;
      ASSERT_TRUE(ReadBytes(kind == 2 ? CSLImageReaderBMP::GetClassRecord() : CSLImageReaderTGA::GetClassRecord(),
                            bytes, &back, 0));
      // A 16-bit TGA keeps five bits of green.
      const u32 mask = CarriesAlpha(*back[0]) ? ~0u : 0xFFFFFFu;
      ExpectSamePixels(*back[0], stored, mask, kind < 2 && bits == 16 ? 4 : 0);
      if (round < 22) {
        // ImageMagick knows a TGA file by its name only; it widens 5-bit channels its own way.
        const std::string name = std::string("w.") + writer.GetExtensionA(0);
        dir.Write(name, bytes);
        ExpectSameAsImageMagick(*back[0], dir.Host(name), bits == 16 ? 8 : 0);
      }
      if (HasFailure()) return;
    }
  }
}

}  // namespace
