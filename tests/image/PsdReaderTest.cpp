// The PSD reader against ImageMagick's files and its decoding of their merged image.
#include <gtest/gtest.h>

#include <string>

#include "foundation/SLError.h"
#include "image/readers/SLImageReaderPSD.h"
#include "tests/image/CodecTools.h"
#include "tests/support/TempDir.h"

namespace {

using namespace image_test;

TEST(PsdReader, DecodesImageMagickFilesAsImageMagickDoes) {
  TempDir dir;
  const u32 w = 37, h = 23;
  WritePattern(dir.Host("src.rgba"), w, h, /*colors=*/0);
  WritePattern(dir.Host("few.rgba"), w, h, /*colors=*/12);
  RunCommand(ConvertFromRgba(dir.Host("few.rgba"), w, h) + " '" + dir.Host("few.png") + "'");
  RunCommand(ConvertFromRgba(dir.Host("src.rgba"), w, h) + " '" + dir.Host("src.png") + "'");
  // ImageMagick cannot read its own indexed files back, misreads the alpha of its grey
  // ones and takes the colours of its RGBA ones as matted with white, which its writer
  // never did: those compare with the lossless source instead.
  const struct {
    const char* source;
    const char* options;
    u32 format, channels;
    const char* colors;
    const char* alpha;
  } cases[] = {
      {"src.rgba", "-alpha off -type Grayscale", 1, 1, "", ""},
      {"src.rgba", "-type GrayscaleAlpha", 5, 2, "", "src.png"},
      {"few.rgba", "-alpha off -type Palette", 1, 1, "few.png", ""},
      {"src.rgba", "-alpha off", 3, 3, "", ""},
      {"src.rgba", "", 5, 4, "src.png", "src.png"},
  };
  for (const char* compression : {"None", "RLE"})
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.options << " " << compression);
      const std::string file = dir.Host("f.psd");
      RunCommand(ConvertFromRgba(dir.Host(c.source), w, h) + " -depth 8 " + c.options + " -density 150 -units " +
                 "PixelsPerInch -compress " + compression + " '" + file + "'");
      const std::string bytes = dir.Read("f.psd");
      ASSERT_EQ(bytes[13], char(c.channels));
      CSLImageArray images;
      ASSERT_TRUE(ReadBytes<CSLImageReaderPSD>(bytes, &images, 0)) << std::hex << SLGetLastError();
      ASSERT_EQ(images.GetCount(), 1u);
      EXPECT_EQ(images[0]->GetFormat(), c.format);
      EXPECT_EQ(InfoOf(*images[0]).resolutionX, 150u);
      EXPECT_EQ(InfoOf(*images[0]).resolutionY, 150u);
      // The merged image is the first ImageMagick reads; layers follow it.
      const auto reference = [&](const char* name) { return *name ? dir.Host(name) : file + "[0]"; };
      ExpectSameAsImageMagick(*images[0], reference(c.colors), 0, 0xFFFFFF);
      if (c.format == 5) ExpectSameAsImageMagick(*images[0], reference(c.alpha), 0, 0xFF000000u);
      EXPECT_EQ(ChooseByContent(bytes), CSLImageReaderPSD::GetClassRecord());
    }
}

}  // namespace
