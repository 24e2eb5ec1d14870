// What the skins and the layers above rely on from the image layer, checked on the code
// that runs under them: readers found by a file's extension reading files ImageMagick
// wrote, colour keys kept in 24 bits and honoured by hit masks, image arrays that hold
// references and grow 32 slots at a time, and alpha-only pixels.
#include <gtest/gtest.h>

#include <string>

#include "image/SLImageArray.h"
#include "image/SLImageReader.h"
#include "image/SLPixelFormat.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(ImageContract, ReadersAreFoundByExtensionAndReadTheFirstPicture) {
  SLTestRegisterClasses();
  const TempDir dir;
  struct Case {
    const char* file;
    const char* convert;  // ImageMagick options writing it: 6 x 4, (10,20,30) but (200,100,50) at the right corners
  } cases[] = {
      {"a.GIF", ""},
      {"a.png", ""},
      {"a.Bmp", "-type TrueColor"},
      {"a.tga", "-type TrueColorAlpha"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    SLTestCapture(std::string("convert -size 6x4 xc:'rgb(10,20,30)' -fill 'rgb(200,100,50)' -draw 'point 5,3' -draw 'point 5,0' ") +
                  c.convert + " '" + dir.Host(c.file) + "'");
    const SLClassRecord* record = CSLBaseImageReader::FindReaderClassByExtension(c.file);
    ASSERT_NE(record, nullptr);
    std::string bytes = dir.Read(c.file);
    ASSERT_FALSE(bytes.empty());
    CSLMemoryStorage storage;
    storage.AttachBuffer(bytes.data(), u32(bytes.size()), false);
    TSLObjPtr<CSLBaseImageReader> reader;
    reader.Attach(static_cast<CSLBaseImageReader*>(SLCallGuarded(record)));
    ASSERT_TRUE(reader);
    CSLImageArray images;
    ASSERT_TRUE(reader->Read(&images, &storage, 0));
    ASSERT_GE(images.GetCount(), 1u);
    const CSLImage* picture = images[0];
    EXPECT_EQ(picture->GetWidth(), 6u);
    EXPECT_EQ(picture->GetHeight(), 4u);
    EXPECT_EQ(picture->GetPixel(0, 0) & 0xFFFFFF, 0x1E140Au);  // red in the low byte
    EXPECT_EQ(picture->GetPixel(5, 3) & 0xFFFFFF, 0x3264C8u);
  }
  EXPECT_EQ(CSLBaseImageReader::FindReaderClassByExtension("a.xyz"), nullptr);
  EXPECT_EQ(CSLBaseImageReader::FindReaderClassByExtension("gif"), nullptr);  // a name without an extension
  EXPECT_NE(CSLBaseImageReader::FindReaderClassByExtension("dir.x/b.MXIMG"), nullptr);
}

// The colour key keeps 24 bits, and a device makes every pixel of that colour miss.
TEST(ImageContract, TransparentColourDecidesTheHitMask) {
  SLTestRegisterClasses();
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  ASSERT_TRUE(image->Create(3, 4, 2, false));  // 24-bit
  u8* row = image->GetPixelAddress(0, 0);
  ASSERT_NE(row, nullptr);
  for (u32 x = 0; x < 4; ++x) {
    u8* p = image->GetPixelAddress(x, 0);
    const u32 colour = x == 1 ? 0xFF00FFu : 0x102030u;  // the key at x = 1
    p[0] = u8(colour), p[1] = u8(colour >> 8), p[2] = u8(colour >> 16);
  }
  SL_EXPECT_OK(image->SetTransparentColor(0xAAFF00FF));
  u32 key = 0;
  ASSERT_TRUE(image->GetTransparentColor(&key));
  EXPECT_EQ(key, 0xFF00FFu);
  CMemoryGfxDevice gfx;
  SL_GS_DisplayMode mode{1, 64, 64, 32, 1, 0, 0};
  ASSERT_TRUE(gfx.Init(nullptr, nullptr, &mode));
  SL_GS_Image* handle = gfx.CreateImage(image.Get(), true);
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(gfx.HitTest(handle, 0, 0));
  EXPECT_FALSE(gfx.HitTest(handle, 1, 0));
  EXPECT_FALSE(gfx.HitTest(handle, 4, 0));  // outside
  gfx.DestroyImage(handle);
}

TEST(ImageContract, ArraysHoldReferencesAndGrowBy32) {
  TSLObjPtr<CSLImage> first;
  first.Attach(new CSLImage());
  {
    CSLImageArray images;
    SL_EXPECT_OK(images.InsertAt(first.Get(), 0xFFFFFFFFu));  // appends
    EXPECT_EQ(first->GetRefCount(), 2);
    for (u32 i = 0; i < 32; ++i) {
      TSLObjPtr<CSLImage> other;
      other.Attach(new CSLImage());
      ASSERT_TRUE(images.InsertAt(other.Get(), 500));  // clamped to the end
    }
    EXPECT_EQ(images.GetCount(), 33u);
    EXPECT_EQ(images.GetCapacity(), 64u);
    EXPECT_EQ(images[0], first.Get());
    SL_EXPECT_FAIL(images.RemoveRange(33, 1), SL_E_INDEX);
    SL_EXPECT_OK(images.RemoveRange(1, 40));  // cut at the end
    EXPECT_EQ(images.GetCount(), 1u);
    SL_EXPECT_FAIL(images.InsertAt(nullptr, 0), SL_E_INVALID_ARG);
  }
  EXPECT_EQ(first->GetRefCount(), 1);  // the array let its reference go
}

TEST(ImageContract, AlphaOnlyPixelsAndSizes) {
  CSLImage mask;
  ASSERT_TRUE(mask.Create(12, 5, 3, false));
  EXPECT_EQ(mask.GetBytesPerPixel(), 1u);
  *mask.GetPixelAddress(4, 2) = 0x9C;
  *mask.GetPixelAddress(0, 0) = 0;
  EXPECT_EQ(mask.GetPixel(4, 2), 0x9C000000u);  // alpha on top, no colour
  EXPECT_EQ(mask.GetPixel(0, 0), 0u);
  EXPECT_EQ(mask.GetPixelAddress(5, 0), nullptr);
  EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
  CSLImage bare;
  ASSERT_TRUE(bare.Create(3, 7, 2, true));  // no buffer
  EXPECT_EQ(bare.GetPixelAddress(0, 0), nullptr);
  EXPECT_EQ(SLGetLastError(), SL_E_IMAGE_NO_PIXELS);
  struct Size {
    u32 format, bytes;
  } sizes[] = {{1, 1}, {12, 1}, {2, 3}, {3, 3}, {13, 2}, {22, 2}, {4, 4}, {11, 4}, {30, 4}, {34, 4}};
  for (const Size& s : sizes) EXPECT_EQ(SLGetBytesPerPixel(s.format), s.bytes) << s.format;
  SL_EXPECT_FAIL(SLGetBytesPerPixel(99) != 0, SL_E_INVALID_ARG);
  CSLImage rgb;  // rows of 5 x 3 bytes round up to 16
  ASSERT_TRUE(rgb.Create(3, 5, 2, false));
  EXPECT_EQ(rgb.GetPixelAddress(0, 1) - rgb.GetPixelAddress(0, 0), 16);
  CSLImage copy;
  ASSERT_TRUE(copy.CopyFrom(&mask));
  EXPECT_EQ(copy.GetPixel(4, 2), 0x9C000000u);
}

}  // namespace
