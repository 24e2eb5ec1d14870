// MXIMG files: what the writer writes reads back as written for every depth, encoding
// and option; damaged and hostile files get their codes without large allocations; the
// command turns a picture into a file the reader loads.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"
#include "tools/mximgwrite/MximgWriter.h"

namespace {

using namespace image_test;

const SLClassRecord* Mximg() { return CSLImageReaderMXIMG::GetClassRecord(); }

std::string Rows(const CSLImage& image) {
  std::string rows;
  for (u32 y = 0; y < image.GetHeight(); ++y)
    rows.append(reinterpret_cast<const char*>(image.GetPixelAddress(0, y)), size_t(image.GetWidth()) * image.GetBytesPerPixel());
  return rows;
}

// The palette's colours (the file keeps no alpha).
std::string Palette(const CSLImage& image) {
  SLPaletteEntry entries[256] = {};
  const u32 count = image.GetPaletteEntries(0, 256, entries);
  std::string rgb;
  for (u32 i = 0; i < count; ++i) rgb += {char(entries[i].red), char(entries[i].green), char(entries[i].blue)};
  return rgb;
}

// A storage that counts the bytes handed out.
class CountingStorage : public CSLMemoryStorage {
 public:
  u64 Read(void* buffer, u64 count) override {
    const u64 got = CSLMemoryStorage::Read(buffer, count);
    read += got;
    return got;
  }
  u64 read = 0;
};

TEST(Mximg, WrittenFilesReadBackAsWrittenForEveryDepthEncodingAndMaskWidth) {
  for (u32 width : {1u, 31u, 32u, 33u, 300u})
    for (u32 depth : {8u, 16u, 24u, 32u})
      for (u32 encoding : {u32(mximg::kRaw), u32(mximg::kZlib)}) {
        SCOPED_TRACE(testing::Message() << width << " " << depth << " " << encoding);
        const u32 height = 7;
        CSLImage source;
        MakePatternImage(&source, width, height);
        mximg::WriteOptions options;
        options.depth = depth;
        options.encoding = encoding;
        options.palette = depth == 8;
        options.key = options.point = options.maskFromAlpha = true;
        options.keyColor = 0x123456;
        options.pointX = 5, options.pointY = 9;
        std::string file, error;
        ASSERT_TRUE(mximg::Write(source, options, &file, &error)) << error;
        CSLImage expected;
        ASSERT_TRUE(source.CopyTo(&expected));
        ASSERT_TRUE(expected.ConvertFormat(depth == 8 ? 1 : depth == 16 ? 14 : depth == 24 ? 3 : 5));

        CSLImageArray images;
        ASSERT_TRUE(ReadBytes(Mximg(), file, &images, 0));
        ASSERT_EQ(images.GetCount(), 2u);
        const CSLImage& picture = *images[0];
        EXPECT_EQ(picture.GetFormat(), expected.GetFormat());
        EXPECT_TRUE(Rows(picture) == Rows(expected));
        if (depth == 8) { EXPECT_EQ(Palette(picture).substr(0, Palette(expected).size()), Palette(expected)); }
        u32 key = 0;
        EXPECT_TRUE(picture.GetTransparentColor(&key));
        EXPECT_EQ(key & 0xFFFFFF, 0x123456u);
        EXPECT_EQ(InfoOf(picture).pointX * 100 + InfoOf(picture).pointY, 509u);
        // The mask: opaque where the source's alpha is at least 128.
        const CSLImage& mask = *images[1];
        EXPECT_EQ(mask.GetFormat(), SL_IMAGE_FORMAT_ALPHA);
        u32 wrong = 0;
        for (u32 y = 0; y < height; ++y)
          for (u32 x = 0; x < width; ++x) wrong += *mask.GetPixelAddress(x, y) != ((source.GetPixel(x, y) >> 24) >= 128 ? 255 : 0);
        EXPECT_EQ(wrong, 0u);

        // Header only: the description and palette, no pixels, no mask.
        ASSERT_TRUE(ReadBytes(Mximg(), file, &images, SL_IMAGE_READ_HEADER_ONLY));
        ASSERT_EQ(images.GetCount(), 1u);
        EXPECT_EQ(images[0]->GetPixels(), nullptr);
        if (depth == 8) { EXPECT_EQ(Palette(*images[0]).substr(0, Palette(expected).size()), Palette(expected)); }
        // Cut anywhere: a code and an empty array.
        for (size_t cut : {size_t(20), size_t(36), file.size() / 2, file.size() - 1}) {
          EXPECT_FALSE(ReadBytes(Mximg(), file.substr(0, cut), &images, 0));
          EXPECT_EQ(images.GetCount(), 0u);
        }
      }
}

TEST(Mximg, EmbeddedGifKeepsItsPaletteAndIndexesAndIsCheckedAgainstTheHeader) {
  TempDir dir;
  // 256 grey levels: a conversion through a 5-6-5 histogram would merge them.
  std::string grey;
  for (u32 i = 0; i < 256; ++i) grey += std::string(3, char(i));
  std::ofstream(dir.Host("g.rgb"), std::ios::binary) << grey;
  RunCommand("convert -size 16x16 -depth 8 'rgb:" + dir.Host("g.rgb") + "' -colors 256 '" + dir.Host("g.gif") + "'");
  std::string gif;
  ASSERT_TRUE(mximg::ReadFile(dir.Host("g.gif"), &gif));
  CSLImageArray direct;
  ASSERT_TRUE(ReadBytes(CSLBaseImageReader::FindReaderClassByExtension("g.gif"), gif, &direct, 0));

  mximg::WriteOptions options;
  options.depth = 8;
  options.encoding = mximg::kGif;
  options.embedded = gif;
  options.key = true;
  options.keyColor = 0xFFFFFF;
  std::string file, error;
  ASSERT_TRUE(mximg::Write(*direct[0], options, &file, &error)) << error;
  CSLImageArray images;
  ASSERT_TRUE(ReadBytes(Mximg(), file, &images, 0));
  ASSERT_EQ(images.GetCount(), 1u);
  EXPECT_TRUE(Rows(*images[0]) == Rows(*direct[0]));
  EXPECT_TRUE(Palette(*images[0]) == Palette(*direct[0]));
  EXPECT_EQ(InfoOf(*images[0]).resolutionX, 96u);
  // At depth 32 the same file converts to colours.
  file[10] = 32;
  ASSERT_TRUE(ReadBytes(Mximg(), file, &images, 0));
  EXPECT_EQ(images[0]->GetFormat(), 5u);
  EXPECT_EQ(images[0]->GetPixel(15, 15) & 0xFFFFFF, 0xFFFFFFu);

  // Another size than the header's; an empty file; a length past the data (2^40 in a
  // short file must fail before anything is allocated); an encoding not listed.
  const struct {
    u32 at;
    u64 value;
    u32 bytes, code;
  } damaged[] = {
      {12, 15, 4, 0x800d0001},
      {36, 0, 8, 0x800d0001},
      {36, u64(1) << 40, 8, 0x800d0001},
      {36, gif.size() + 1, 8, 0x800d0001},
      {20, 0x40, 4, 0x80020018},
      {8, 1, 2, 0x800d0002},
      {8, 3, 2, 0x800d0002},
      {10, 15, 2, 0x80020018},
      {16, 0, 4, 0x80020018},
  };
  for (const auto& d : damaged) {
    SCOPED_TRACE(d.at);
    std::string bad = file;
    u8 b[8];
    SLStoreLE64(b, d.value);
    bad.replace(d.at, d.bytes, reinterpret_cast<char*>(b), d.bytes);
    EXPECT_FALSE(ReadBytes(Mximg(), bad, &images, 0));
    EXPECT_EQ(SLGetLastError(), d.code);
    EXPECT_EQ(images.GetCount(), 0u);
  }
  EXPECT_EQ(ChooseByContent(file), Mximg());
  EXPECT_EQ(CSLBaseImageReader::FindReaderClassByExtension("a/B.mxImg"), Mximg());
}

// Embedded JPEG and PNG files read as the same files read bare (the reader for each is
// made by name), with the container's 96 dpi.
TEST(Mximg, EmbeddedJpegAndPngReadAsTheBareFiles) {
  TempDir dir;
  const struct {
    const char* name;
    mximg::Encoding encoding;
    u32 depth;
  } cases[] = {{"p.png", mximg::kPng, 24}, {"a.png", mximg::kPng, 32}, {"j.jpg", mximg::kJpeg, 24}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Host(c.name);
    RunCommand(std::string("convert -size 37x23 plasma:fractal -seed 5 ") + (c.depth == 32 ? "-alpha set -channel A -fx 'i/w' +channel " : "") +
               "'" + path + "'");
    std::string bytes;
    ASSERT_TRUE(mximg::ReadFile(path, &bytes));
    CSLImageArray direct, images;
    ASSERT_TRUE(ReadBytes(CSLBaseImageReader::FindReaderClassByExtension(c.name), bytes, &direct, 0));
    mximg::WriteOptions options;
    options.depth = c.depth;
    options.encoding = c.encoding;
    options.embedded = bytes;
    std::string file, error;
    ASSERT_TRUE(mximg::Write(*direct[0], options, &file, &error)) << error;
    ASSERT_TRUE(ReadBytes(Mximg(), file, &images, 0));
    ASSERT_EQ(images.GetCount(), 1u);
    EXPECT_EQ(images[0]->GetFormat(), direct[0]->GetFormat());
    EXPECT_TRUE(Rows(*images[0]) == Rows(*direct[0]));
    EXPECT_EQ(InfoOf(*images[0]).resolutionX, 96u);
  }
}

TEST(Mximg, ZlibRowsStopOnceThePictureIsFull) {
  // A 16x16 picture whose stream carries 256 MiB of zeros after its rows, then a mask.
  CSLImage source;
  MakePatternImage(&source, 16, 16);
  mximg::WriteOptions options;
  options.maskFromAlpha = true;
  std::string raw, error;
  ASSERT_TRUE(mximg::Write(source, options, &raw, &error));
  const std::string rows = raw.substr(36, 16 * 16 * 4), mask = raw.substr(36 + rows.size());
  z_stream z = {};
  ASSERT_EQ(deflateInit(&z, 9), Z_OK);
  std::string packed(1 << 20, '\0');
  const std::vector<u8> zeros(1 << 20);
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = uInt(packed.size());
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rows.data()));
  z.avail_in = uInt(rows.size());
  ASSERT_EQ(deflate(&z, Z_NO_FLUSH), Z_OK);
  for (int i = 0; i < 256; ++i) {
    z.next_in = const_cast<Bytef*>(zeros.data());
    z.avail_in = uInt(zeros.size());
    ASSERT_EQ(deflate(&z, i == 255 ? Z_FINISH : Z_NO_FLUSH), i == 255 ? Z_STREAM_END : Z_OK);
  }
  packed.resize(z.total_out);
  deflateEnd(&z);
  std::string file = raw.substr(0, 36);
  file[20] = char(0xF8);  // zlib rows with a mask
  u8 length[8];
  SLStoreLE64(length, packed.size());
  file += std::string(reinterpret_cast<char*>(length), 8) + packed + mask;

  CountingStorage storage;
  storage.Write(file.data(), file.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  CSLImageReaderMXIMG reader;
  CSLImageArray images;
  ASSERT_TRUE(reader.Read(&images, &storage, 0));
  ASSERT_EQ(images.GetCount(), 2u);
  EXPECT_TRUE(Rows(*images[0]) == rows);
  EXPECT_LT(storage.read, 36 + 8 + 8192 + mask.size());
  EXPECT_EQ(*images[1]->GetPixelAddress(3, 3), (source.GetPixel(3, 3) >> 24) >= 128 ? 255 : 0);

  // A compressed length past the data; a stream that ends before the last row.
  file.resize(44 + packed.size() / 2);
  EXPECT_FALSE(ReadBytes(Mximg(), file, &images, 0));
  EXPECT_EQ(SLGetLastError(), 0x80020034u);
  options.encoding = mximg::kZlib;
  options.maskFromAlpha = false;
  ASSERT_TRUE(mximg::Write(source, options, &raw, &error));
  std::string shortRows = raw.substr(0, 44);
  uLongf size = compressBound(512);
  std::string half(size, '\0');
  compress(reinterpret_cast<Bytef*>(half.data()), &size, reinterpret_cast<const Bytef*>(rows.data()), 512);
  half.resize(size);
  SLStoreLE64(length, half.size());
  shortRows.replace(36, 8, reinterpret_cast<char*>(length), 8);
  EXPECT_FALSE(ReadBytes(Mximg(), shortRows + half, &images, 0));
  EXPECT_EQ(SLGetLastError(), 0x80020034u);
}

TEST(Mximg, CommandWritesPointKeyAndMaskTheReaderLoads) {
  TempDir dir;
  WritePattern(dir.Host("p.rgba"), 45, 20, 0);
  RunCommand(ConvertFromRgba(dir.Host("p.rgba"), 45, 20) + " '" + dir.Host("p.tga") + "'");
  const std::string command = "'" SL_BINARY_DIR "/tools/mximgwrite/mximgwrite' -d 24 -e zlib -k 00FF80 -o 3,4 -a '" +
                              dir.Host("p.tga") + "' '" + dir.Host("p.mximg") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string file;
  ASSERT_TRUE(mximg::ReadFile(dir.Host("p.mximg"), &file));
  CSLImageArray images;
  ASSERT_TRUE(ReadBytes(Mximg(), file, &images, 0));
  ASSERT_EQ(images.GetCount(), 2u);
  EXPECT_EQ(images[0]->GetFormat(), 3u);
  u32 key = 0;
  EXPECT_TRUE(images[0]->GetTransparentColor(&key));
  EXPECT_EQ(key & 0xFFFFFF, 0x80FF00u);
  EXPECT_EQ(InfoOf(*images[0]).pointY, 4u);
  CSLImage source, expected;
  std::string error;
  ASSERT_TRUE(mximg::ReadPicture(dir.Host("p.tga"), &source, &error));
  ASSERT_TRUE(source.CopyTo(&expected) && expected.ConvertFormat(3));
  EXPECT_TRUE(Rows(*images[0]) == Rows(expected));
  EXPECT_EQ(*images[1]->GetPixelAddress(44, 19), (source.GetPixel(44, 19) >> 24) >= 128 ? 255 : 0);
}

}  // namespace
