// Random images of every layout, written by both writers (TGA raw and run-length coded,
// BMP) and read back: the colours of the frame as stored come back, and the caller's
// image is never changed.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "image/readers/SLImageReaderBMP.h"
#include "image/readers/SLImageReaderTGA.h"
#include "image/writers/SLImageWriteBuffer.h"
#include "image/writers/SLImageWriterBMP.h"
#include "image/writers/SLImageWriterTGA.h"
#include "tests/image/CodecTools.h"

namespace {

using namespace image_test;

void MakeRandomImage(std::mt19937& rng, CSLImage* image) {
  u32 format = 1 + rng() % 22;
  const u32 width = 1 + rng() % 40, height = 1 + rng() % 12;
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

TEST(WriterProperty, RandomImagesReadBackAsStored) {
  std::mt19937 rng(2026);
  for (int round = 0; round < 300; ++round) {
    CSLImage source;
    MakeRandomImage(rng, &source);
    SCOPED_TRACE(::testing::Message() << "round " << round << ": format " << source.GetFormat() << " "
                                      << source.GetWidth() << "x" << source.GetHeight());
    CSLImage stored;
    const u32 format = SLWriterTargetFormat(&source);
    ASSERT_TRUE(source.CopyTo(&stored) && (format == source.GetFormat() || stored.ConvertFormat(format)));
    const std::vector<u8> before = Snapshot(source);
    for (int writerKind = 0; writerKind < 3; ++writerKind) {
      CSLImageWriterTGA tga;
      tga.m_rle = writerKind;
      CSLImageWriterBMP bmp;
      CSLBaseImageWriter& writer = writerKind == 2 ? static_cast<CSLBaseImageWriter&>(bmp) : tga;
      SCOPED_TRACE(writerKind == 2 ? "BMP" : writerKind ? "TGA RLE" : "TGA");
      const std::string bytes = WriteWith(writer, source);
      ASSERT_EQ(Snapshot(source), before);
      CSLImageArray back;
      ASSERT_TRUE(writerKind == 2 ? ReadBytes<CSLImageReaderBMP>(bytes, &back, 0)
                                  : ReadBytes<CSLImageReaderTGA>(bytes, &back, 0));
      // A 16-bit TGA keeps five bits of green.
      const bool tga16 = writerKind < 2 && stored.GetFormat() == 14;
      ExpectSamePixels(*back[0], stored, CarriesAlpha(*back[0]), tga16 ? 4 : 0);
      if (HasFailure()) return;
    }
  }
}

}  // namespace
