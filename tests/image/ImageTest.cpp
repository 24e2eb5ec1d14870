// The image object, its description and buffers, and the image list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLObject.h"
#include "image/SLImage.h"
#include "image/SLImageArray.h"
#include "tests/image/ImageTools.h"

namespace {

using image_test::InfoOf;
using image_test::Snapshot;

// Lowers the image buffer limit for one test.
class BufferLimit {
 public:
  explicit BufferLimit(u64 bytes) : m_previous(SLSetImageBufferLimit(bytes)) {}
  ~BufferLimit() { SLSetImageBufferLimit(m_previous); }

 private:
  u64 m_previous;
};

void Fill(CSLImage& image, u8 seed) {
  SLImageInfo info = InfoOf(image);
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] = u8(seed + i * 7);
}

TEST(Image, CreateDescribesFormatSizeAndBuffers) {
  struct Case {
    u32 format, width, height;
    u32 code, stride = 0, pixelBytes = 0, blockBytes = 0;
  } cases[] = {
      {4, 3, 1, 0, 12, 12, 0},
      {2, 3, 1, 0, 12, 12, 0},
      {12, 5, 2, 0, 8, 16, 0},
      {13, 3, 3, 0, 8, 24, 0},
      {1, 1, 1, 0, 4, 4, 0},
      {30, 4, 4, 0, 16, 64, 8},
      {31, 8, 4, 0, 32, 128, 32},
      {34, 8, 8, 0, 32, 256, 64},
      {30, 6, 4, 0x8000100b},
      {32, 4, 2, 0x8000100b},
      {5, 0, 4, 0x8000100b},
      {5, 4, 0, 0x8000100b},
      {0, 4, 4, 0x800d0002},
      {23, 4, 4, 0x800d0002},
      {29, 4, 4, 0x800d0002},
      {35, 4, 4, 0x800d0002},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c.format << " " << c.width << "x" << c.height);
    CSLImage image;
    EXPECT_EQ(image.Create(c.format, c.width, c.height, false), c.code == 0);
    EXPECT_EQ(SLGetLastError(), c.code);
    SLImageInfo info = InfoOf(image);
    if (c.code) {
      EXPECT_EQ(info.format, SL_IMAGE_FORMAT_NONE);
      continue;
    }
    EXPECT_EQ(info.stride, c.stride);
    EXPECT_EQ(info.pixelBufferSize, c.pixelBytes);
    EXPECT_EQ(info.blockDataSize, c.blockBytes);
    EXPECT_EQ(info.blockFormat, c.blockBytes ? 1u : 0u);
    EXPECT_EQ(info.bitsPerPixel, info.bytesPerPixel * 8);
    EXPECT_EQ(info.resolutionX, 96u);
    EXPECT_EQ(info.resolutionY, 96u);
    EXPECT_NE(info.pixels, nullptr);
    EXPECT_EQ(info.blockData != nullptr, c.blockBytes != 0);
  }
}

// A width or height from a file must not wrap the 32-bit stride or buffer size into a
// small buffer that the reader then overruns.
TEST(Image, SizesThatDoNotFitAreRefusedWithTheImageUnchanged) {
  CSLImage image;
  ASSERT_TRUE(image.Create(5, 3, 2, false));
  Fill(image, 1);
  const std::vector<u8> before = Snapshot(image);
  const u32 sizes[][2] = {
      {0x40000001, 1},    // stride 4 x width wraps to 4
      {65536, 65536},     // 2^34 bytes wraps to 0
      {0xFFFFFFFF, 0xFFFFFFFF},
      {16385, 16384},     // just above 1 GiB
  };
  for (const auto& size : sizes) {
    EXPECT_FALSE(image.Create(5, size[0], size[1], true));
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_EQ(Snapshot(image), before);
  }
  CSLImage block;
  EXPECT_FALSE(block.Create(34, 0xFFFFFFFC, 0xFFFFFFFC, true));
  EXPECT_EQ(SLGetLastError(), 0x8000100bu);

  // The same limit guards the later allocations: EnsureBuffer, EnsureBlockData and the
  // buffers a conversion makes.
  CSLImage lazy, lazyBlock;
  ASSERT_TRUE(lazy.Create(5, 100, 100, true));
  ASSERT_TRUE(lazyBlock.Create(34, 100, 100, true));
  ASSERT_TRUE(image.Create(2, 99, 10, false));
  Fill(image, 3);
  const std::vector<u8> source = Snapshot(image);
  {
    BufferLimit limit(1000);
    EXPECT_FALSE(lazy.EnsureBuffer());
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_EQ(lazy.GetPixels(), nullptr);
    EXPECT_FALSE(lazyBlock.EnsureBlockData());
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_FALSE(image.ConvertFormat(5));
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_EQ(Snapshot(image), source);
  }
  EXPECT_TRUE(lazy.EnsureBuffer());
  EXPECT_TRUE(image.ConvertFormat(5));
}

TEST(Image, DescriptionSetters) {
  CSLImage image;
  ASSERT_TRUE(image.Create(5, 2, 2, true));
  EXPECT_TRUE(image.SetResolutionX(0));
  EXPECT_TRUE(image.SetResolutionY(65535));
  EXPECT_FALSE(image.SetResolutionX(65536));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  SLImageInfo info = InfoOf(image);
  EXPECT_EQ(info.resolutionX, 96u);
  EXPECT_EQ(info.resolutionY, 65535u);

  u32 color = 0;
  EXPECT_FALSE(image.GetTransparentColor(&color));
  EXPECT_EQ(SLGetLastError(), 0x800d0005u);
  EXPECT_EQ(color, 0xFF00FFu);
  EXPECT_TRUE(image.SetTransparentColor(0x12345678));
  EXPECT_TRUE(image.GetTransparentColor(&color));
  EXPECT_EQ(color, 0x345678u);
  EXPECT_FALSE(image.GetTransparentColor(nullptr));
  EXPECT_EQ(SLGetLastError(), 0x80001005u);
  EXPECT_FALSE(image.GetInfo(nullptr));
  EXPECT_EQ(SLGetLastError(), 0x80001005u);
}

TEST(Image, PaletteEntriesAreClippedAndTheCountOnlyGrows) {
  CSLImage image;
  ASSERT_TRUE(image.Create(1, 4, 4, false));
  SLPaletteEntry entries[256];
  for (u32 i = 0; i < 256; ++i) entries[i] = {u8(i), u8(255 - i), u8(i * 3), u8(i ^ 0x55)};
  EXPECT_EQ(image.SetPaletteEntries(250, 10, entries), 6u);
  EXPECT_EQ(image.GetPalette()->count, 256u);
  EXPECT_EQ(image.SetPaletteEntries(0, 3, entries), 3u);
  EXPECT_EQ(image.GetPalette()->count, 256u);
  EXPECT_EQ(image.SetPaletteEntries(256, 1, entries), 0u);
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  EXPECT_EQ(image.SetPaletteEntries(0, 1, nullptr), 0u);
  EXPECT_EQ(SLGetLastError(), 0x80001002u);

  SLPaletteEntry out[16] = {};
  EXPECT_EQ(image.GetPaletteEntries(252, 16, out), 4u);
  EXPECT_EQ(std::memcmp(out, entries + 2, 4 * sizeof(SLPaletteEntry)), 0);
  EXPECT_EQ(image.GetPaletteEntries(256, 1, out), 0u);
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_EQ(image.GetPaletteEntries(0, 1, nullptr), 0u);
  EXPECT_EQ(SLGetLastError(), 0x80001005u);

  // A palette set on a fresh image starts at count 0 and rises to what was set.
  CSLImage small;
  ASSERT_TRUE(small.Create(1, 2, 2, false));
  EXPECT_EQ(small.GetPaletteEntries(0, 4, out), 0u);
  EXPECT_EQ(small.SetPaletteEntries(0, 10, entries), 10u);
  CSLImage copy;
  ASSERT_TRUE(small.CopyTo(&copy));
  EXPECT_EQ(copy.GetPalette()->count, 10u);
  EXPECT_EQ(std::memcmp(copy.GetPalette()->entries, entries, 10 * sizeof(SLPaletteEntry)), 0);
}

TEST(Image, ClearRemovesOnlyTheImageProperties) {
  CSLImage image;
  ASSERT_TRUE(image.Create(4, 2, 2, false));
  for (const char* name : {"Image Id", "image delay", "IMAGE Depth", "Imagen", "Other", "Imag"})
    ASSERT_TRUE(image.SetIntegerProperty(name, 5));
  image.Clear();
  EXPECT_EQ(image.GetFormat(), SL_IMAGE_FORMAT_NONE);
  EXPECT_EQ(image.GetPixels(), nullptr);
  std::vector<std::string> left;
  for (u32 i = 0; i < image.GetPropertyCount(); ++i) left.push_back(image.GetProperty(i)->GetName());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Imag", "Other"}));
}

TEST(Image, PixelAccessChecksBoundsAndBuffers) {
  CSLImage image;
  EXPECT_EQ(image.GetPixel(0, 0), 0xFF000000u);
  ASSERT_TRUE(image.Create(3, 3, 2, true));
  EXPECT_EQ(image.GetPixel(0, 0), 0xFF000000u);
  EXPECT_EQ(SLGetLastError(), 0x800d0006u);
  EXPECT_EQ(image.GetPixelAddress(0, 0), nullptr);
  EXPECT_EQ(SLGetLastError(), 0x800d0006u);
  ASSERT_TRUE(image.EnsureBuffer());
  EXPECT_EQ(image.GetPixelAddress(2, 1), image.GetPixels() + 12 + 6);
  u8* pixel = image.GetPixelAddress(1, 1);
  pixel[0] = 0x30, pixel[1] = 0x20, pixel[2] = 0x10;  // B, G, R
  EXPECT_EQ(image.GetPixel(1, 1), 0x00302010u);      // 24-bit pixels read with alpha 0
  for (auto [x, y] : {std::pair<u32, u32>{3, 0}, {0, 2}, {0xFFFFFFFF, 0}}) {
    EXPECT_EQ(image.GetPixel(x, y), 0xFF000000u);
    EXPECT_EQ(SLGetLastError(), 0x80001001u);
    EXPECT_EQ(image.GetPixelAddress(x, y), nullptr);
  }
  CSLImage empty;
  EXPECT_FALSE(empty.EnsureBuffer());
  EXPECT_EQ(SLGetLastError(), 0x80001004u);
  EXPECT_FALSE(image.EnsureBlockData());
  EXPECT_EQ(SLGetLastError(), 0x800d0007u);
  EXPECT_EQ(image.GetBlockData(), nullptr);
  EXPECT_EQ(SLGetLastError(), 0x800d0006u);
}

TEST(Image, CopyCarriesEverythingAndFailsCleanly) {
  CSLImage source;
  ASSERT_TRUE(source.Create(32, 8, 4, false));
  Fill(source, 9);
  source.SetPoint(3, 0xFFFFFFFF);
  source.SetTransparentColor(0xABCDEF);
  source.SetResolutionX(300);
  source.SetBlockDataStale(true);
  CSLImage target;
  ASSERT_TRUE(target.Create(1, 2, 2, false));
  target.SetIntegerProperty("Image Delay", 10);
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_EQ(Snapshot(target), Snapshot(source));
  EXPECT_EQ(target.GetPropertyCount(), 0u);
  // The copy encodes its own block data from its own pixels.
  ASSERT_NE(target.GetBlockData(), nullptr);
  EXPECT_EQ(std::memcmp(target.GetBlockData(), source.GetBlockData(), 32), 0);

  EXPECT_TRUE(source.CopyTo(&source));
  CSLImageArray notAnImage;
  EXPECT_FALSE(source.CopyTo(&notAnImage));
  EXPECT_EQ(SLGetLastError(), 0x80002003u);
  CSLImage empty;
  EXPECT_FALSE(empty.CopyTo(&target));
  EXPECT_EQ(SLGetLastError(), 0x8000100bu);
}

TEST(Image, ClassesComeFromTheirRecords) {
  for (const char* name : {"CSLImage", "CSLImageArray", "CSLImageQuantizer"}) {
    const SLClassRecord* records[32];
    const SLClassRecord* found = nullptr;
    for (u32 skip = 0;; skip += 32) {
      u32 n = SLEnumerateClasses(records, 32, CSLObject::GetClassRecord(), skip);
      for (u32 i = 0; i < n; ++i)
        if (std::strcmp(records[i]->name, name) == 0) found = records[i];
      if (n < 32) break;
    }
    ASSERT_NE(found, nullptr) << name;
    CSLObject* object = SLCallGuarded(found);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetRuntimeClass(), found);
    object->Release();
  }
}

// An image whose copy fails without setting a failure code.
class SilentlyFailingImage : public CSLImage {
 public:
  bool CopyTo(CSLObject*) const override { return SLSucceed(false); }
};

// A list whose storage cannot grow.
class StarvedArray : public CSLImageArray {
 public:
  StarvedArray() { m_allocHook = [](u32) -> void* { return SLFail(0x80000001u, nullptr); }; }
};

CSLImage* NewImage(u32 width) {
  auto* image = new CSLImage();
  image->Create(4, width, 1, false);
  return image;
}

TEST(ImageArray, InsertClampsGrowsAndHoldsOneReference) {
  CSLImageArray list;
  CSLImage* images[40];
  for (u32 i = 0; i < 40; ++i) images[i] = NewImage(i + 1);
  ASSERT_TRUE(list.Add(images[0]));
  ASSERT_TRUE(list.Add(images[1]));
  ASSERT_TRUE(list.InsertAt(images[2], 1000));
  EXPECT_EQ(list[2], images[2]);
  ASSERT_TRUE(list.InsertAt(images[3], 0));
  EXPECT_EQ(list[0], images[3]);
  EXPECT_EQ(list[1], images[0]);
  EXPECT_EQ(images[0]->GetRefCount(), 2);
  for (u32 i = 4; i < 32; ++i) ASSERT_TRUE(list.Add(images[i]));
  EXPECT_EQ(list.GetCapacity(), 32u);
  ASSERT_TRUE(list.Add(images[32]));
  EXPECT_EQ(list.GetCapacity(), 64u);
  EXPECT_EQ(list.GetCount(), 33u);
  EXPECT_FALSE(list.InsertAt(nullptr, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);

  StarvedArray starved;
  EXPECT_FALSE(starved.Add(images[0]));
  EXPECT_EQ(SLGetLastError(), 0x80000001u);
  EXPECT_EQ(starved.GetCount(), 0u);
  EXPECT_EQ(images[0]->GetRefCount(), 2);

  list.RemoveAll();
  EXPECT_EQ(list.GetCapacity(), 0u);
  for (CSLImage* image : images) {
    EXPECT_EQ(image->GetRefCount(), 1);
    image->Release();
  }
}

TEST(ImageArray, RemoveRangeCutsAtTheEnd) {
  CSLImageArray list;
  for (u32 i = 0; i < 3; ++i) {
    CSLImage* image = NewImage(i + 1);
    list.Add(image);
    image->Release();
  }
  EXPECT_FALSE(list.RemoveRange(3, 1));
  EXPECT_EQ(SLGetLastError(), 0x80001008u);
  EXPECT_FALSE(list.RemoveRange(0, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001008u);
  EXPECT_FALSE(list.RemoveRange(1, 0xFFFFFFFF));
  EXPECT_EQ(SLGetLastError(), 0x80001008u);
  EXPECT_TRUE(list.RemoveRange(1, 100));
  ASSERT_EQ(list.GetCount(), 1u);
  EXPECT_EQ(list[0]->GetWidth(), 1u);
}

TEST(ImageArray, CopyMakesIndependentImagesAndRestoresOnAnyFailure) {
  CSLImageArray source, target;
  for (u32 i = 0; i < 3; ++i) {
    CSLImage* image = NewImage(i + 2);
    Fill(*image, u8(i));
    source.Add(image);
    image->Release();
  }
  CSLImage* old = NewImage(7);
  target.Add(old);
  ASSERT_TRUE(source.CopyTo(&target));
  ASSERT_EQ(target.GetCount(), 3u);
  EXPECT_EQ(old->GetRefCount(), 1);
  for (u32 i = 0; i < 3; ++i) {
    EXPECT_NE(target[i], source[i]);
    EXPECT_EQ(target[i]->GetRefCount(), 1);
    EXPECT_EQ(Snapshot(*target[i]), Snapshot(*source[i]));
  }
  EXPECT_TRUE(target.Assign(target));
  EXPECT_FALSE(source.CopyTo(old));
  EXPECT_EQ(SLGetLastError(), 0x80002003u);

  // A copy that fails, even one that leaves the code at 0, keeps the old content.
  auto* silent = new SilentlyFailingImage();
  silent->Create(4, 1, 1, false);
  source.Add(silent);
  silent->Release();
  CSLImage* kept = target[0];
  EXPECT_FALSE(target.Assign(source));
  EXPECT_EQ(SLGetLastError(), 0x80000001u);
  ASSERT_EQ(target.GetCount(), 3u);
  EXPECT_EQ(target[0], kept);

  CSLImage* empty = new CSLImage();
  source.InsertAt(empty, 0);
  empty->Release();
  EXPECT_FALSE(target.Assign(source));
  EXPECT_EQ(SLGetLastError(), 0x8000100bu);
  EXPECT_EQ(target.GetCount(), 3u);

  // The plain template cannot make elements.
  TSLArrayList4Objects<CSLImage, 32> plain;
  EXPECT_FALSE(plain.Assign(source));
  EXPECT_EQ(SLGetLastError(), 0x80002003u);
  old->Release();
}

}  // namespace
