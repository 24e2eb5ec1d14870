// The image object, its description and buffers, and the image list.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/SLError.h"
#include "image/SLImage.h"
#include "image/SLImageArray.h"
#include "tests/image/ImageTools.h"

namespace {

using image_test::FillRandom;
using image_test::InfoOf;
using image_test::Snapshot;

// Create over a picture; a refusal leaves it as it was. A width or height from a file must
// not wrap the 32-bit stride or buffer size into a small buffer that the reader overruns.
TEST(Image, CreateDescribesFormatSizeAndBuffersOrLeavesTheImage) {
  // format, width, height -> error code, stride, pixel bytes, block bytes
  const u32 cases[][7] = {
      {4, 3, 1, 0, 12, 12, 0},      {2, 3, 1, 0, 12, 12, 0},      {12, 5, 2, 0, 8, 16, 0},
      {13, 3, 3, 0, 8, 24, 0},      {30, 4, 4, 0, 16, 64, 8},     {31, 8, 4, 0, 32, 128, 32},
      {34, 8, 8, 0, 32, 256, 64},   {30, 6, 4, 0x8000100b},       {32, 4, 2, 0x8000100b},
      {5, 0, 4, 0x8000100b},        {0, 4, 4, 0x800d0002},        {23, 4, 4, 0x800d0002},
      {29, 4, 4, 0x800d0002},       {35, 4, 4, 0x800d0002},
      // 4 x width wrapping to 4; 2^34 bytes wrapping to 0; the largest; just above 1 GiB
      {5, 0x40000001, 1, 0x8000100b}, {5, 65536, 65536, 0x8000100b}, {5, ~0u, ~0u, 0x8000100b},
      {5, 16385, 16384, 0x8000100b},  {34, 0xFFFFFFFC, 0xFFFFFFFC, 0x8000100b},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c[0] << " " << c[1] << "x" << c[2]);
    CSLImage image;
    ASSERT_TRUE(image.Create(5, 3, 2, false));
    FillRandom(image, 1);
    const std::vector<u8> before = Snapshot(image);
    EXPECT_TRUE(SLAnsweredWith(image.Create(c[0], c[1], c[2], false), c[3] == 0, c[3]));
    if (c[3]) {
      EXPECT_EQ(Snapshot(image), before);
      continue;
    }
    const SLImageInfo info = InfoOf(image);
    EXPECT_EQ(std::vector<u32>({info.stride, info.pixelBufferSize, info.blockDataSize, info.resolutionX,
                                info.resolutionY}),
              std::vector<u32>({c[4], c[5], c[6], 96, 96}));
    EXPECT_EQ(info.blockData != nullptr, c[6] != 0);
  }
}

// The size limit also guards the later allocations: EnsureBuffer, EnsureBlockData and the
// buffers a conversion makes.
TEST(Image, TheBufferLimitGuardsLaterAllocations) {
  CSLImage image, block, lazy;
  ASSERT_TRUE(lazy.Create(5, 100, 100, true) && block.Create(34, 100, 100, true) && image.Create(2, 99, 10, false));
  FillRandom(image, 3);
  const std::vector<u8> source = Snapshot(image);
  const u64 previous = SLSetImageBufferLimit(1000);
  SL_EXPECT_FAIL(lazy.EnsureBuffer(), 0x8000100bu);
  SL_EXPECT_FAIL(block.EnsureBlockData(), 0x8000100bu);
  SL_EXPECT_FAIL(image.ConvertFormat(5), 0x8000100bu);
  EXPECT_EQ(Snapshot(image), source);
  SLSetImageBufferLimit(previous);
  EXPECT_TRUE(lazy.EnsureBuffer() && image.ConvertFormat(5));
}

TEST(Image, PaletteEntriesAreClippedAndTheCountOnlyGrows) {
  CSLImage image;
  ASSERT_TRUE(image.Create(1, 4, 4, false));
  SLPaletteEntry entries[256], out[16];
  for (u32 i = 0; i < 256; ++i) entries[i] = {u8(i), u8(255 - i), u8(i * 3), u8(i ^ 0x55)};
  // set (1) or get (0), first entry, count -> entries passed
  const u32 calls[][4] = {{0, 0, 4, 0}, {1, 0, 10, 10}, {0, 8, 16, 2}, {1, 250, 10, 6}, {1, 0, 3, 3}, {0, 252, 16, 4}};
  for (const auto& c : calls)
    EXPECT_EQ(c[0] ? image.SetPaletteEntries(c[1], c[2], entries) : image.GetPaletteEntries(c[1], c[2], out), c[3]);
  EXPECT_EQ(image.GetPalette()->count, 256u);
  EXPECT_EQ(std::memcmp(out, entries + 2, 4 * sizeof(SLPaletteEntry)), 0);
  SL_EXPECT_FAIL(image.SetPaletteEntries(256, 1, entries), 0x80001001u);

  u32 color = 0;
  EXPECT_TRUE(!image.GetTransparentColor(&color) && color == 0xFF00FFu);  // the caller still gets magenta
  image.SetTransparentColor(0x12345678);
  EXPECT_TRUE(image.GetTransparentColor(&color) && color == 0x345678u);
}

TEST(Image, CopyCarriesEverythingAndFailsCleanly) {
  CSLImage source, target, empty;
  ASSERT_TRUE(source.Create(32, 8, 4, false));
  FillRandom(source, 9);
  source.SetPoint(3, 0xFFFFFFFF);
  source.SetTransparentColor(0xABCDEF);
  source.SetResolutionX(300);
  source.SetBlockDataStale(true);
  ASSERT_TRUE(target.Create(1, 2, 2, false));
  // The copy drops the target's per-frame properties (named "Image..."), not the others.
  for (const char* name : {"Image Id", "image delay", "IMAGE Depth", "Imagen", "Other", "Imag"})
    ASSERT_TRUE(target.SetIntegerProperty(name, 5));
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_EQ(Snapshot(target), Snapshot(source));
  ASSERT_EQ(target.GetPropertyCount(), 2u);
  EXPECT_EQ((std::set<std::string>{target.GetProperty(0)->GetName(), target.GetProperty(1)->GetName()}),
            (std::set<std::string>{"Imag", "Other"}));
  // The copy encodes its own block data from its own pixels.
  ASSERT_NE(target.GetBlockData(), nullptr);
  EXPECT_EQ(std::memcmp(target.GetBlockData(), source.GetBlockData(), 32), 0);

  CSLImageArray notAnImage;
  SL_EXPECT_FAIL(source.CopyTo(&notAnImage), 0x80002003u);
  SL_EXPECT_FAIL(empty.CopyTo(&target), 0x8000100bu);
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
  CSLImage* images[33];
  for (u32 i = 0; i < 33; ++i) images[i] = NewImage(i + 1);
  ASSERT_TRUE(list.Add(images[0]) && list.Add(images[1]));
  ASSERT_TRUE(list.InsertAt(images[2], 1000) && list.InsertAt(images[3], 0));
  EXPECT_EQ(std::vector<CSLImage*>(list.GetData(), list.GetData() + 4),
            (std::vector<CSLImage*>{images[3], images[0], images[1], images[2]}));
  EXPECT_EQ(images[0]->GetRefCount(), 2);
  for (u32 i = 4; i < 33; ++i) ASSERT_TRUE(list.Add(images[i]));  // past the first 32 places

  StarvedArray starved;
  SL_EXPECT_FAIL(starved.Add(images[0]), 0x80000001u);
  EXPECT_EQ(starved.GetCount(), 0u);
  EXPECT_EQ(images[0]->GetRefCount(), 2);

  for (auto [index, count] : {std::pair<u32, u32>{33, 1}, {0, 0}, {1, ~0u}})
    SL_EXPECT_FAIL(list.RemoveRange(index, count), 0x80001008u) << index << " " << count;
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
    FillRandom(*image, i);
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
  // Appended last, the silent failure comes after three good copies.
  auto* silent = new SilentlyFailingImage();
  silent->Create(4, 1, 1, false);
  CSLImage* const kept = target[0];
  for (auto [element, index, code] :
       {std::tuple<CSLImage*, u32, u32>{silent, 1000, 0x80000001u}, {new CSLImage(), 0, 0x8000100bu}}) {
    source.InsertAt(element, index);
    element->Release();
    SL_EXPECT_FAIL(target.Assign(source), code);
    ASSERT_EQ(target.GetCount(), 3u);
    EXPECT_EQ(target[0], kept);
  }

  // The plain template cannot make elements.
  TSLArrayList4Objects<CSLImage, 32> plain;
  SL_EXPECT_FAIL(plain.Assign(source), 0x80002003u);
  old->Release();
}

}  // namespace
