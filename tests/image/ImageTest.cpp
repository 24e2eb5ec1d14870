// The image object, its description and buffers, and the image list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "image/SLImage.h"
#include "image/SLImageArray.h"
#include "image/SLImageQuantizer.h"
#include "tests/image/ImageTools.h"

namespace {

using image_test::InfoOf;
using image_test::Snapshot;

void Fill(CSLImage& image, u8 seed) {
  SLImageInfo info = InfoOf(image);
  for (u32 i = 0; i < info.pixelBufferSize; ++i) info.pixels[i] = u8(seed + i * 7);
}

TEST(Image, CreateDescribesFormatSizeAndBuffers) {
  // format, width, height -> error code, stride, pixel bytes, block bytes
  const u32 cases[][7] = {
      {4, 3, 1, 0, 12, 12, 0},      {2, 3, 1, 0, 12, 12, 0},      {12, 5, 2, 0, 8, 16, 0},
      {13, 3, 3, 0, 8, 24, 0},      {30, 4, 4, 0, 16, 64, 8},     {31, 8, 4, 0, 32, 128, 32},
      {34, 8, 8, 0, 32, 256, 64},   {30, 6, 4, 0x8000100b},       {32, 4, 2, 0x8000100b},
      {5, 0, 4, 0x8000100b},        {0, 4, 4, 0x800d0002},        {23, 4, 4, 0x800d0002},
      {29, 4, 4, 0x800d0002},       {35, 4, 4, 0x800d0002},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c[0] << " " << c[1] << "x" << c[2]);
    CSLImage image;
    EXPECT_EQ(image.Create(c[0], c[1], c[2], false), c[3] == 0);
    EXPECT_EQ(SLGetLastError(), c[3]);
    const SLImageInfo info = InfoOf(image);
    if (c[3]) {
      EXPECT_EQ(info.format, SL_IMAGE_FORMAT_NONE);
      continue;
    }
    EXPECT_EQ(std::vector<u32>({info.stride, info.pixelBufferSize, info.blockDataSize, info.resolutionX,
                                info.resolutionY}),
              std::vector<u32>({c[4], c[5], c[6], 96, 96}));
    EXPECT_EQ(info.blockData != nullptr, c[6] != 0);
  }
}

// Lowers the image buffer limit for one test.
class BufferLimit {
 public:
  explicit BufferLimit(u64 bytes) : m_previous(SLSetImageBufferLimit(bytes)) {}
  ~BufferLimit() { SLSetImageBufferLimit(m_previous); }

 private:
  u64 m_previous;
};

// A width or height from a file must not wrap the 32-bit stride or buffer size into a
// small buffer that the reader then overruns.
TEST(Image, SizesThatDoNotFitAreRefusedWithTheImageUnchanged) {
  CSLImage image, block;
  ASSERT_TRUE(image.Create(5, 3, 2, false));
  Fill(image, 1);
  const std::vector<u8> before = Snapshot(image);
  // 4 x width wrapping to 4; 2^34 bytes wrapping to 0; the largest; just above 1 GiB.
  for (auto [width, height] : {std::pair<u32, u32>{0x40000001, 1}, {65536, 65536}, {~0u, ~0u}, {16385, 16384}}) {
    EXPECT_FALSE(image.Create(5, width, height, true));
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_EQ(Snapshot(image), before);
  }
  EXPECT_FALSE(block.Create(34, 0xFFFFFFFC, 0xFFFFFFFC, true));
  EXPECT_EQ(SLGetLastError(), 0x8000100bu);

  // The same limit guards the later allocations: EnsureBuffer, EnsureBlockData and the
  // buffers a conversion makes.
  CSLImage lazy;
  ASSERT_TRUE(lazy.Create(5, 100, 100, true));
  ASSERT_TRUE(block.Create(34, 100, 100, true));
  ASSERT_TRUE(image.Create(2, 99, 10, false));
  Fill(image, 3);
  const std::vector<u8> source = Snapshot(image);
  {
    BufferLimit limit(1000);
    EXPECT_FALSE(lazy.EnsureBuffer());
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_FALSE(block.EnsureBlockData());
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_FALSE(image.ConvertFormat(5));
    EXPECT_EQ(SLGetLastError(), 0x8000100bu);
    EXPECT_EQ(Snapshot(image), source);
  }
  EXPECT_TRUE(lazy.EnsureBuffer());
  EXPECT_TRUE(image.ConvertFormat(5));
}

TEST(Image, PaletteEntriesAreClippedAndTheCountOnlyGrows) {
  CSLImage image;
  ASSERT_TRUE(image.Create(1, 4, 4, false));
  SLPaletteEntry entries[256], out[16];
  for (u32 i = 0; i < 256; ++i) entries[i] = {u8(i), u8(255 - i), u8(i * 3), u8(i ^ 0x55)};
  EXPECT_EQ(image.GetPaletteEntries(0, 4, out), 0u);
  EXPECT_EQ(image.SetPaletteEntries(0, 10, entries), 10u);
  EXPECT_EQ(image.GetPaletteEntries(8, 16, out), 2u);
  EXPECT_EQ(image.SetPaletteEntries(250, 10, entries), 6u);
  EXPECT_EQ(image.SetPaletteEntries(0, 3, entries), 3u);
  EXPECT_EQ(image.GetPalette()->count, 256u);
  EXPECT_EQ(image.GetPaletteEntries(252, 16, out), 4u);
  EXPECT_EQ(std::memcmp(out, entries + 2, 4 * sizeof(SLPaletteEntry)), 0);
  EXPECT_EQ(image.SetPaletteEntries(256, 1, entries), 0u);
  EXPECT_EQ(SLGetLastError(), 0x80001001u);

  u32 color = 0;
  EXPECT_FALSE(image.GetTransparentColor(&color));
  EXPECT_EQ(color, 0xFF00FFu);  // the caller still gets magenta
  image.SetTransparentColor(0x12345678);
  EXPECT_TRUE(image.GetTransparentColor(&color));
  EXPECT_EQ(color, 0x345678u);
}

TEST(Image, ClearRemovesOnlyTheImageProperties) {
  CSLImage image;
  ASSERT_TRUE(image.Create(4, 2, 2, false));
  for (const char* name : {"Image Id", "image delay", "IMAGE Depth", "Imagen", "Other", "Imag"})
    ASSERT_TRUE(image.SetIntegerProperty(name, 5));
  image.Clear();
  EXPECT_EQ(image.GetFormat(), SL_IMAGE_FORMAT_NONE);
  std::vector<std::string> left;
  for (u32 i = 0; i < image.GetPropertyCount(); ++i) left.push_back(image.GetProperty(i)->GetName());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Imag", "Other"}));
}

TEST(Image, CopyCarriesEverythingAndFailsCleanly) {
  CSLImage source, target, empty;
  ASSERT_TRUE(source.Create(32, 8, 4, false));
  Fill(source, 9);
  source.SetPoint(3, 0xFFFFFFFF);
  source.SetTransparentColor(0xABCDEF);
  source.SetResolutionX(300);
  source.SetBlockDataStale(true);
  ASSERT_TRUE(target.Create(1, 2, 2, false));
  target.SetIntegerProperty("Image Delay", 10);
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_EQ(Snapshot(target), Snapshot(source));
  EXPECT_EQ(target.GetPropertyCount(), 0u);
  // The copy encodes its own block data from its own pixels.
  ASSERT_NE(target.GetBlockData(), nullptr);
  EXPECT_EQ(std::memcmp(target.GetBlockData(), source.GetBlockData(), 32), 0);

  CSLImageArray notAnImage;
  EXPECT_FALSE(source.CopyTo(&notAnImage));
  EXPECT_EQ(SLGetLastError(), 0x80002003u);
  EXPECT_FALSE(empty.CopyTo(&target));
  EXPECT_EQ(SLGetLastError(), 0x8000100bu);
}

TEST(Image, ClassesAreRegisteredAndCreatable) {
  for (const SLClassRecord* record :
       {CSLImage::GetClassRecord(), CSLImageArray::GetClassRecord(), CSLImageQuantizer::GetClassRecord()}) {
    const SLClassRecord* found[32];
    const u32 n = SLEnumerateClasses(found, 32, record, 0);
    EXPECT_NE(std::find(found, found + n, record), found + n) << record->name;
    CSLObject* object = SLCallGuarded(record);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetRuntimeClass(), record);
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

TEST(ImageArray, InsertRemoveAndReferences) {
  CSLImageArray list;
  CSLImage* images[40];
  for (u32 i = 0; i < 40; ++i) images[i] = NewImage(i + 1);
  ASSERT_TRUE(list.Add(images[0]));
  ASSERT_TRUE(list.Add(images[1]));
  ASSERT_TRUE(list.InsertAt(images[2], 1000));
  ASSERT_TRUE(list.InsertAt(images[3], 0));
  EXPECT_EQ(std::vector<CSLImage*>(list.GetData(), list.GetData() + 4),
            (std::vector<CSLImage*>{images[3], images[0], images[1], images[2]}));
  EXPECT_EQ(images[0]->GetRefCount(), 2);
  for (u32 i = 4; i < 32; ++i) ASSERT_TRUE(list.Add(images[i]));
  EXPECT_EQ(list.GetCapacity(), 32u);
  ASSERT_TRUE(list.Add(images[32]));
  EXPECT_EQ(list.GetCapacity(), 64u);

  StarvedArray starved;
  EXPECT_FALSE(starved.Add(images[0]));
  EXPECT_EQ(SLGetLastError(), 0x80000001u);
  EXPECT_EQ(starved.GetCount(), 0u);
  EXPECT_EQ(images[0]->GetRefCount(), 2);

  for (auto [index, count] : {std::pair<u32, u32>{33, 1}, {0, 0}, {1, ~0u}}) {
    EXPECT_FALSE(list.RemoveRange(index, count));
    EXPECT_EQ(SLGetLastError(), 0x80001008u);
  }
  EXPECT_TRUE(list.RemoveRange(3, 100));
  EXPECT_EQ(list.GetCount(), 3u);
  EXPECT_EQ(images[4]->GetRefCount(), 1);
  list.RemoveAll();
  for (CSLImage* image : images) {
    EXPECT_EQ(image->GetRefCount(), 1);
    image->Release();
  }
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
  EXPECT_EQ(target[0], kept);

  // The plain template cannot make elements.
  TSLArrayList4Objects<CSLImage, 32> plain;
  EXPECT_FALSE(plain.Assign(source));
  EXPECT_EQ(SLGetLastError(), 0x80002003u);
  old->Release();
}

}  // namespace
