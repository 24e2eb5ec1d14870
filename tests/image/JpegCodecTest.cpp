// The JPEG reader against libjpeg-turbo's own tools (cjpeg writes, djpeg decodes the same
// bytes), ImageMagick's and exiftool's files for colour spaces and resolutions, and
// crafted EXIF blocks put into real pictures.
#include <gtest/gtest.h>

#include <string>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "image/readers/SLImageReaderJPG.h"
#include "storage/SLMemoryStorage.h"
#include "tests/image/CodecTools.h"
#include "tests/image/ExifBlocks.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;
using exif_test::Block;
using exif_test::Entry;

// Reads `bytes` with one reader, so that its EXIF data can be looked at afterwards.
bool ReadJpeg(CSLImageReaderJPG& reader, const std::string& bytes, CSLImageArray* images, u32 flags = 0) {
  CSLMemoryStorage storage;
  storage.Write(bytes.data(), bytes.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  return reader.Read(images, &storage, flags);
}

// The pixels of a binary PNM (P5 grey or P6 colour) as djpeg writes it.
struct Pnm {
  u32 width = 0, height = 0, channels = 0;
  std::string pixels;
};
Pnm ParsePnm(const std::string& bytes) {
  Pnm pnm;
  char kind = 0;
  int header = 0;
  if (sscanf(bytes.c_str(), "P%c %u %u 255%n", &kind, &pnm.width, &pnm.height, &header) == 3) {
    pnm.channels = kind == '5' ? 1 : 3;
    pnm.pixels = bytes.substr(size_t(header) + 1);
  }
  return pnm;
}

// Every pixel of `image` equals djpeg's decoding of the same bytes (B, G, R against R, G, B).
void ExpectSameAsDjpeg(const CSLImage& image, const std::string& file) {
  const Pnm pnm = ParsePnm(RunCommand("djpeg -pnm '" + file + "' 2>/dev/null; true"));
  ASSERT_EQ(image.GetWidth(), pnm.width);
  ASSERT_EQ(image.GetHeight(), pnm.height);
  ASSERT_EQ(pnm.pixels.size(), size_t(pnm.width) * pnm.height * pnm.channels);
  ASSERT_EQ(image.GetFormat(), pnm.channels == 1 ? 1u : 3u);
  std::string ours;
  for (u32 y = 0; y < pnm.height; ++y) {
    const u8* row = image.GetPixelAddress(0, y);
    for (u32 x = 0; x < pnm.width; ++x) {
      if (pnm.channels == 1) ours += char(row[x]);
      else ours += {char(row[3 * x + 2]), char(row[3 * x + 1]), char(row[3 * x])};
    }
  }
  EXPECT_TRUE(ours == pnm.pixels) << "pixels differ from djpeg's";
}

class JpegReader : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePattern(dir.Host("src.rgba"), kWidth, kHeight, 0);
    RunCommand(ConvertFromRgba(dir.Host("src.rgba"), kWidth, kHeight) + " -alpha off '" + dir.Host("src.ppm") + "'");
  }
  // The pattern through cjpeg with `options`, as a file name in the folder.
  std::string Cjpeg(const std::string& options, const std::string& name = "f.jpg") {
    RunCommand("cjpeg " + options + " -outfile '" + dir.Host(name) + "' '" + dir.Host("src.ppm") + "'");
    return dir.Host(name);
  }
  static constexpr u32 kWidth = 61, kHeight = 37;
  TempDir dir;
};

TEST_F(JpegReader, DecodesLikeDjpegByteForByte) {
  for (const char* options : {"", "-progressive", "-grayscale", "-quality 40 -sample 1x1", "-optimize -restart 1"}) {
    SCOPED_TRACE(options);
    const std::string file = Cjpeg(options);
    const std::string bytes = dir.Read("f.jpg");
    CSLImageReaderJPG reader;
    CSLImageArray images;
    ASSERT_TRUE(ReadJpeg(reader, bytes, &images)) << std::hex << SLGetLastError();
    ASSERT_EQ(images.GetCount(), 1u);
    ExpectSameAsDjpeg(*images[0], file);
    SLPaletteEntry grey{};  // grey pictures carry the identity ramp
    if (images[0]->GetFormat() == 1) {
      ASSERT_EQ(images[0]->GetPaletteEntries(200, 1, &grey), 1u);
      EXPECT_TRUE(grey.red == 200 && grey.green == 200 && grey.blue == 200 && grey.alpha == 255);
    }
    // A header-only read describes the picture and decodes nothing.
    const u32 format = images[0]->GetFormat();
    ASSERT_TRUE(ReadJpeg(reader, bytes, &images, SL_IMAGE_READ_HEADER_ONLY));
    EXPECT_EQ(images[0]->GetWidth(), kWidth);
    EXPECT_EQ(images[0]->GetFormat(), format);
    EXPECT_EQ(images[0]->GetPixels(), nullptr);
  }
}

TEST_F(JpegReader, DamagedStreamsFailWithTheArrayEmpty) {
  const std::string good = dir.Read(Cjpeg("-progressive").substr(dir.Host().size() + 1));
  const size_t scan = good.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  std::string badTable = good;
  badTable[good.find("\xFF\xC4") + 4] = char(0x7F);  // a Huffman table class past 1
  const struct {
    const char* what;
    std::string bytes;
    u32 code;
  } cases[] = {
      {"empty", "", 0x80000001},
      {"cut inside the headers", good.substr(0, scan / 2), 0x80000001},
      {"bad Huffman table", badTable, 0x80000001},
      {"no start of image", good.substr(2), 0x80000001},
      {"CMYK", "", 0x80020018},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = c.bytes;
    if (c.code == 0x80020018) {
      RunCommand(ConvertFromRgba(dir.Host("src.rgba"), kWidth, kHeight) + " -colorspace CMYK '" + dir.Host("c.jpg") +
                 "'");
      bytes = dir.Read("c.jpg");
    }
    CSLImageReaderJPG reader;
    CSLImageArray images;
    EXPECT_FALSE(ReadJpeg(reader, bytes, &images));
    EXPECT_EQ(SLGetLastError(), c.code);
    EXPECT_EQ(images.GetCount(), 0u);
  }
  // Data cut inside the coded scans gives what djpeg gives: the decoded part, grey below.
  dir.Write("cut.jpg", good.substr(0, scan + (good.size() - scan) / 3));
  CSLImageReaderJPG reader;
  CSLImageArray images;
  ASSERT_TRUE(ReadJpeg(reader, dir.Read("cut.jpg"), &images));
  ExpectSameAsDjpeg(*images[0], dir.Host("cut.jpg"));
}

// The bytes of a JPEG file with an APP1 segment holding `exif` put right after its APP0.
std::string WithExifSegment(const std::string& jpeg, const std::string& exif) {
  const size_t app0 = 2 + 2 + (u8(jpeg[4]) << 8 | u8(jpeg[5]));
  const size_t length = exif.size() + 2;
  return jpeg.substr(0, app0) + "\xFF\xE1" + char(length >> 8) + char(length & 255) + exif + jpeg.substr(app0);
}

TEST_F(JpegReader, ResolutionComesFromExifThenJfifThen72) {
  const std::string inch150 = [&] {
    RunCommand(ConvertFromRgba(dir.Host("src.rgba"), kWidth, kHeight) +
               " -density 150 -units PixelsPerInch '" + dir.Host("d.jpg") + "'");
    return dir.Read("d.jpg");
  }();
  // Resolution tags with a unit, crafted in both byte orders.
  auto resolution = [](bool bigEndian, u32 unit, u32 top, u32 bottom) {
    return Block(bigEndian, {{Entry::Short(0x128, unit), Entry::Rational(0x11A, top, bottom),
                              Entry::Rational(0x11B, top, bottom)}});
  };
  // exiftool's blocks (it always writes the three tags), on cjpeg's file without a density.
  auto exiftool = [&](const std::string& options) {
    const std::string file = Cjpeg("", "x.jpg");
    RunCommand("exiftool -q -overwrite_original " + options + " '" + file + "'");
    return dir.Read("x.jpg");
  };
  const struct {
    const char* what;
    std::string file;
    bool read;
    u32 dpi;
  } cases[] = {
      {"JFIF density in inches", inch150, true, 150},
      {"no density at all", dir.Read(Cjpeg("", "n.jpg").substr(dir.Host().size() + 1)), true, 72},
      {"exiftool inches, II",
       exiftool("-ExifByteOrder=II -EXIF:XResolution=300 -EXIF:YResolution=300 -EXIF:ResolutionUnit=inches"), true,
       300},
      {"exiftool centimetres, MM",
       exiftool("-ExifByteOrder=MM -EXIF:XResolution=118 -EXIF:YResolution=118 -EXIF:ResolutionUnit=cm"), true, 299},
      {"EXIF without a unit: JFIF", WithExifSegment(inch150, Block(false, {{Entry::Rational(0x11A, 300, 1),
                                                                           Entry::Rational(0x11B, 300, 1)}})),
       true, 150},
      {"EXIF without resolution: JFIF", WithExifSegment(inch150, Block(true, {{Entry::Ascii(0x10F, "Cam")}})), true,
       150},
      {"zero denominator counts as 1", WithExifSegment(inch150, resolution(false, 2, 200, 0)), true, 200},
      // A quotient far past the int range saturates; the image refuses it.
      {"EXIF 2^32 - 1 centimetres", WithExifSegment(inch150, resolution(false, 3, 0xFFFFFFFFu, 1)), false, 0},
      {"EXIF 70000 inches", WithExifSegment(inch150, resolution(false, 2, 70000, 1)), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CSLImageReaderJPG reader;
    CSLImageArray images;
    ASSERT_EQ(ReadJpeg(reader, c.file, &images), c.read) << std::hex << SLGetLastError();
    if (!c.read) {
      EXPECT_EQ(SLGetLastError(), u32(SL_E_INVALID_ARG));
      EXPECT_EQ(images.GetCount(), 0u);
      continue;
    }
    const SLImageInfo info = InfoOf(*images[0]);
    EXPECT_EQ(info.resolutionX, c.dpi);
    EXPECT_EQ(info.resolutionY, c.dpi);
  }
}

TEST_F(JpegReader, ExifBlockLargerThanTheKeptPartStillGivesThePicture) {
  RunCommand(ConvertFromRgba(dir.Host("src.rgba"), kWidth, kHeight) + " -density 150 -units PixelsPerInch '" +
             dir.Host("d.jpg") + "'");
  const std::string jpeg = dir.Read("d.jpg");
  // A camera's block: resolution in IFD0, a thumbnail directory past the first 32 KiB.
  const std::string big = Block(
      false,
      {{Entry::Short(0x128, 2), Entry::Rational(0x11A, 300, 1), Entry::Rational(0x11B, 300, 1)}, {Entry::Short(0x103, 6)}},
      40000);
  ASSERT_GT(big.size(), 40000u);
  CSLImageReaderJPG reader;
  CSLImageArray images;
  ASSERT_TRUE(ReadJpeg(reader, WithExifSegment(jpeg, big), &images)) << std::hex << SLGetLastError();
  EXPECT_EQ(InfoOf(*images[0]).resolutionX, 150u);
  EXPECT_EQ(reader.GetExifData()->GetEntryCount(0), 0u);
  // The same block kept whole but damaged fails the read.
  std::string damaged = big.substr(0, 30000);
  CSLImageArray none;
  EXPECT_FALSE(ReadJpeg(reader, WithExifSegment(jpeg, damaged), &none));
  EXPECT_EQ(SLGetLastError(), 0x80001009u);
  EXPECT_EQ(none.GetCount(), 0u);
}

}  // namespace
