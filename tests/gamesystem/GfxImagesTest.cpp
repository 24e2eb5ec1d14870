// Image handles of the graphics device over an in-memory device: handle lifetime and
// events, groups, hit masks, the clip rectangle and screenshots checked by ImageMagick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/SLLibrary.h"
#include "image/readers/SLImageReaderTGA.h"
#include "storage/SLFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

// Records every destroying event and whether the handle still answered then; with
// victims, the first event destroys them all (as a listener tidying up might).
struct EventLog {
  void OnEvent(CSL_GS_BaseGfx* sender, CSLBaseEvent* event, u32) {
    auto* device = static_cast<CMemoryGfxDevice*>(sender);
    if (event->IsKindOf(CSLEventSourceDying::GetClassRecord())) ++dying;
    if (!event->IsKindOf(CSL_GS_GfxDestroyingImageEvent::GetClassRecord())) return;
    SL_GS_Image* image = static_cast<CSL_GS_GfxDestroyingImageEvent*>(event)->m_image;
    images.push_back(image);
    stillAlive.push_back(device->IsValidImage(image) && device->Record(image)->deviceData[0] == 0xD3D);
    std::vector<SL_GS_Image*> now;
    now.swap(victims);
    for (SL_GS_Image* victim : now) sender->DestroyImage(victim);
  }
  std::vector<SL_GS_Image*> images, victims;
  std::vector<bool> stillAlive;
  int dying = 0;
};

TSLObjPtr<CSLImage> MakeImage(u32 format, u32 width, u32 height, u32 (*pixel)(u32 x, u32 y)) {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  EXPECT_TRUE(image->Create(format, width, height, false));
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x)
      for (u32 b = 0; b < image->GetBytesPerPixel(); ++b) image->GetPixelAddress(x, y)[b] = u8(pixel(x, y) >> (8 * b));
  return image;
}

u32 Checker(u32 x, u32 y) { return ((x + y) % 2) ? 0xFF00FF : 0x102030; }

class Gfx : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.Init(nullptr, nullptr, nullptr));
    ASSERT_TRUE(device.AddCallback(&log, &EventLog::OnEvent, 0));
  }
  void TearDown() override { device.RemoveCallback(&log, &EventLog::OnEvent, 0); }
  CMemoryGfxDevice device;
  EventLog log;
};

TEST_F(Gfx, DestroyTellsListenersFirstAndRefusesStaleAndForeignHandles) {
  auto picture = MakeImage(3, 4, 4, Checker);
  SL_GS_Image* image = device.CreateImage(picture.Get(), true);
  SL_EXPECT_OK(device.DestroyImage(image));
  EXPECT_EQ(log.images, std::vector<SL_GS_Image*>{image});
  EXPECT_TRUE(log.stillAlive[0]);
  EXPECT_TRUE(device.m_liveImageTextures.empty());
  SL_EXPECT_FAIL(device.DestroyImage(image), SL_E_INDEX);

  // New records take the freed memory; the old handle must not reach them.
  std::vector<SL_GS_Image*> fresh;
  for (int i = 0; i < 64; ++i) fresh.push_back(device.CreateImage(picture.Get(), true));
  SL_EXPECT_FAIL(device.HitTest(image, 0, 0), SL_E_INDEX);
  CMemoryGfxDevice other;
  ASSERT_TRUE(other.Init(nullptr, nullptr, nullptr));
  SL_EXPECT_FAIL(other.DestroyImage(fresh[0]), SL_E_INDEX);
  SL_EXPECT_FAIL(device.IsValidFont(reinterpret_cast<SL_GS_Font*>(fresh[1])), SL_E_INDEX);
  SL_GS_Image* cleared = fresh[2];
  EXPECT_TRUE(device.DestroyImageAndClear(&cleared) && !cleared);
  // A thread that took its handle first may link it second: both stay found.
  SLInternals::CSLGfxHandleTable table;
  const void *first = table.NewHandle(), *second = table.NewHandle();
  EXPECT_TRUE(table.Add(second, &table) && table.Add(first, &log));
  EXPECT_TRUE(table.Find(first) == &log && table.Find(second) == &table);
  table.Free();

  // Failed creations leave no record, no event and no reference behind.
  TSLObjPtr<CSLImage> empty;
  empty.Attach(new CSLImage());
  SL_EXPECT_FAIL(device.CreateImage(nullptr, false), SL_E_NULL_DATA);
  SL_EXPECT_FAIL(device.CreateImage(empty.Get(), true), SL_E_NULL_DATA);
  device.m_failImageTextures = true;
  SL_EXPECT_FAIL(device.CreateImage(picture.Get(), false), 0x8001000f);
  SL_EXPECT_FAIL(device.CreateImage(picture.Get(), true), 0x8001000f);
  EXPECT_EQ(picture->GetRefCount(), 1);

  // Shutdown: the device's end first, then every image.
  device.Shutdown();
  EXPECT_EQ(log.dying, 1);
  EXPECT_EQ(log.images.size(), 2 + 63u);  // the first and the cleared one, then the rest
  EXPECT_TRUE(device.m_liveImageTextures.empty());
}

TEST_F(Gfx, SourceReferencesFollowCopyAndRelease) {
  auto picture = MakeImage(5, 3, 2, [](u32 x, u32 y) { return 0x80000000u | (x << 8) | y; });
  CSLImage* raw = picture.Get();
  SL_GS_Image* shared = device.CreateImage(raw, false);
  SL_GS_Image* copied = device.CreateImage(raw, true);
  EXPECT_EQ(raw->GetRefCount(), 2);  // ours and the shared handle's
  raw->GetPixelAddress(2, 1)[0] = 0x77;  // a change after creation reaches only the shared source
  EXPECT_EQ(device.GetImagePixel(shared, 2, 1), 0x80770200u);
  EXPECT_EQ(device.GetImagePixel(copied, 2, 1), 0x80010200u);
  picture.Reset(nullptr);  // the caller lets go; the handle keeps the picture alive
  EXPECT_EQ(device.GetImagePixel(shared, 0, 1), 0x80010000u);
  SL_GS_ImageInfo info;
  SL_EXPECT_OK(device.GetImageInfo(shared, &info));
  EXPECT_EQ(info.redShift, 16u);  // format 5 keeps blue in the low byte
  SL_EXPECT_OK(device.ReleaseImageSource(shared));
  SL_EXPECT_FAIL(device.ReleaseImageSource(shared), SL_E_NOT_AVAILABLE);

  // Pixel reads: every failure gives 0xFF000000 and says why.
  struct Case {
    SL_GS_Image* image;
    u32 x, y, code;
  } cases[] = {{shared, 0, 0, SL_E_NOT_AVAILABLE}, {copied, 3, 0, SL_E_INVALID_ARG},
               {copied, 0, 2, SL_E_INVALID_ARG},   {copied, 0xFFFFFFFF, 0, SL_E_INVALID_ARG},
               {nullptr, 0, 0, SL_E_INDEX}};
  for (const Case& c : cases) {
    EXPECT_EQ(device.GetImagePixel(c.image, c.x, c.y), 0xFF000000u);
    EXPECT_EQ(SLGetLastError(), c.code) << c.x << "," << c.y;
  }
  SL_EXPECT_FAIL(device.EndImageAccess(copied), SL_E_NOT_HELD);
  device.Record(copied)->accessed = 1;
  SL_EXPECT_OK(device.EndImageAccess(copied));
}

TEST_F(Gfx, GroupsAreDestroyedAndReleasedTogether) {
  auto picture = MakeImage(3, 2, 2, Checker);
  SL_EXPECT_FAIL(device.SetImageGroup(0), SL_E_INVALID_ARG);
  std::vector<SL_GS_Image*> ones, screens;
  for (int i = 0; i < 3; ++i) ones.push_back(device.CreateImage(picture.Get(), true));
  ASSERT_TRUE(device.SetImageGroup(100001));
  for (int i = 0; i < 4; ++i) screens.push_back(device.CreateImage(picture.Get(), false));
  SL_EXPECT_OK(device.ReleaseImageSourcesOfGroup(100001));
  EXPECT_EQ(picture->GetRefCount(), 1);
  SL_EXPECT_OK(device.DestroyImagesOfGroup(100001));
  for (SL_GS_Image* image : screens) EXPECT_FALSE(device.IsValidImage(image));
  EXPECT_EQ(device.m_liveImageTextures.size(), 3u);

  // A listener destroys the group's other images while the walk runs: the walk must
  // skip what the listener already freed.
  device.SetImageGroup(7);
  for (int i = 0; i < 5; ++i) log.victims.push_back(device.CreateImage(picture.Get(), false));
  SL_EXPECT_OK(device.DestroyImagesOfGroup(7));
  EXPECT_EQ(device.m_liveImageTextures.size(), 3u);
  EXPECT_EQ(picture->GetRefCount(), 1);
}

// The mask of every pixel of a picture against the rule it was built by.
void ExpectMask(CMemoryGfxDevice& device, SL_GS_Image* image, u32 width, u32 height,
                bool (*hits)(u32 x, u32 y)) {
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) EXPECT_EQ(device.HitTest(image, i32(x), i32(y)), hits(x, y)) << x << "," << y;
  EXPECT_FALSE(device.HitTest(image, i32(width), 0) || device.HitTest(image, -1, 0) ||
               device.HitTest(image, 0, i32(height)));
}

TEST_F(Gfx, HitMasksFollowKeyAlphaAndMaskPictures) {
  // 33 wide: the last column is bit 31 of the second word of each row.
  struct Case {
    const char* name;
    u32 format;
    bool keyed;
    u32 (*pixel)(u32 x, u32 y);
    u32 blockFormat;  // converted to it before the handle is made (0: not)
    bool (*hits)(u32 x, u32 y);
  } cases[] = {
      {"24-bit keyed", 3, true, Checker, 0, [](u32 x, u32 y) { return (x + y) % 2 == 0; }},
      {"32-bit keyed, alpha ignored", 5, true, [](u32 x, u32) { return x % 3 ? 0x12FF00FFu : 0xFFFF00FEu; }, 0,
       [](u32 x, u32) { return x % 3 == 0; }},
      {"alpha 127 and 128", 5, false, [](u32 x, u32) { return (x % 2 ? 128u : 127u) << 24; }, 0,
       [](u32 x, u32) { return x % 2 == 1; }},
      {"no key, no alpha", 3, false, Checker, 0, [](u32, u32) { return true; }},
      {"palette keyed", 1, true, [](u32 x, u32) { return x % 4; }, 0, [](u32 x, u32) { return x % 4 != 2; }},
      {"4x4 blocks keyed", 5, true, [](u32 x, u32) { return x < 16 ? 0x10FF00FFu : 0xFF00FF00u; }, 34,
       [](u32 x, u32) { return x >= 16; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const u32 width = c.blockFormat ? 32 : 33, height = c.blockFormat ? 4 : 3;
    auto picture = MakeImage(c.format, width, height, c.pixel);
    if (c.blockFormat) {
      ASSERT_TRUE(picture->ConvertFormat(c.blockFormat));
    }
    const SLPaletteEntry colours[4] = {{0, 0, 0, 255}, {255, 0, 0, 255}, {255, 0, 255, 255}, {0, 255, 0, 255}};
    if (c.format == 1) picture->SetPaletteEntries(0, 4, colours);
    if (c.keyed) picture->SetTransparentColor(0xFF00FF);
    SL_GS_Image* image = device.CreateImage(picture.Get(), true);
    ASSERT_NE(image, nullptr);
    ExpectMask(device, image, width, height, c.hits);
    // Rebuilding from alpha keeps a key mask when there is no alpha.
    SL_EXPECT_OK(device.BuildHitMaskFromAlpha(image));
    ExpectMask(device, image, width, height, c.hits);
  }
}

// Reads a picture and a diagonal mask, of the sizes its two bytes give, as pack pictures come.
class CPairReader : public CSLBaseImageReader {
  SL_DECLARE_CLASS(CPairReader)
 public:
  bool Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) override {
    return SLRunImageRead(images, storage, flags, [](CSLImageArray* out, CSLBaseStorage* in, u32) {
      u8 size[2];
      if (in->Read(size, 2) != 2) return false;
      CSLImage* picture = SLAppendNewImage(out);
      CSLImage* mask = SLAppendNewImage(out);
      if (!picture || !mask || !picture->Create(3, size[0], size[0], false) ||
          !mask->Create(12, size[1], size[1], false))
        return false;
      for (u32 y = 0; y < size[1]; ++y)
        for (u32 x = 0; x < size[1]; ++x) *mask->GetPixelAddress(x, y) = x == y ? 255 : 0;
      return true;
    });
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CPairReader, CSLBaseImageReader)

TEST_F(Gfx, LoadingTakesASecondPictureOfTheSameSizeAsMask) {
  SL_GS_Image* images[2];
  for (u8 maskSize : {3, 2}) {
    CSLMemoryStorage storage;
    const u8 sizes[2] = {3, maskSize};
    storage.Write(sizes, 2);
    storage.Seek(0, SL_SEEK_BEGIN);
    images[3 - maskSize] = device.LoadImageFromStorage(&storage, CPairReader::GetClassRecord());
    ASSERT_NE(images[3 - maskSize], nullptr);
  }
  ExpectMask(device, images[0], 3, 3, [](u32 x, u32 y) { return x == y; });
  EXPECT_TRUE(device.HitTest(images[1], 2, 0));  // a mask of another size is not taken
  auto wrongSize = MakeImage(12, 3, 2, [](u32, u32) { return 0u; });
  auto wrongFormat = MakeImage(3, 3, 3, [](u32, u32) { return 0u; });
  for (CSLImage* mask : {wrongSize.Get(), wrongFormat.Get(), static_cast<CSLImage*>(nullptr)})
    SL_EXPECT_FAIL(device.SetHitMaskFromImage(images[1], mask), SL_E_NULL_DATA);
  EXPECT_TRUE(device.HitTest(images[1], 2, 0));
  CSLMemoryStorage storage;
  SL_EXPECT_FAIL(device.LoadImageFromStorage(nullptr, nullptr), SL_E_NULL_DATA);
  SL_EXPECT_FAIL(device.LoadImageFromStorage(&storage, CSLImage::GetClassRecord()), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(device.LoadImage(nullptr, "x", nullptr), SL_E_NULL_DATA);

  // Alpha from a file ImageMagick wrote: 127 misses, 128 and 255 hit.
  TempDir dir;
  const std::string path = dir.Host("alpha.tga");
  SLTestCapture("convert -size 1x1 xc:'#FF00007F' xc:'#00FF0080' xc:'#0000FFFF' +append -depth 8 '" + path + "'");
  CSLFileStorage file;
  SL_GS_Image* image = device.LoadImage(&file, path.c_str(), CSLImageReaderTGA::GetClassRecord());
  ASSERT_NE(image, nullptr) << std::hex << SLGetLastError();
  EXPECT_TRUE(!device.HitTest(image, 0, 0) && device.HitTest(image, 1, 0) && device.HitTest(image, 2, 0));
  EXPECT_EQ(device.GetImagePixel(image, 1, 0), 0x8000FF00u);
}

TEST(GfxClip, ClampsToTheTargetAndKeepsTheOldRectangleOnFailure) {
  CMemoryGfxDevice device;
  SL_EXPECT_FAIL(device.SetClipRect(0, 0, 10, 10), SL_E_NOT_INITIALISED);
  ASSERT_TRUE(device.Init(nullptr, nullptr, nullptr));
  struct Case {
    u32 in[4], out[4];
  } cases[] = {{{700, 0, 200, 50}, {700, 0, 100, 50}},
               {{900, 700, 5, 5}, {800, 600, 0, 0}},
               {{10, 590, 0xFFFFFFFF, 0xFFFFFFFF}, {10, 590, 790, 10}}};
  for (const Case& c : cases) {
    SL_EXPECT_OK(device.SetClipRect(c.in[0], c.in[1], c.in[2], c.in[3]));
    u32 got[4];
    SL_EXPECT_OK(device.GetClipRect(&got[0], &got[1], &got[2], &got[3]));
    EXPECT_TRUE(std::equal(got, got + 4, c.out) && std::equal(c.out, c.out + 4, device.m_appliedClip));
  }
  device.m_failClip = true;
  SL_EXPECT_FAIL(device.SetClipRect(1, 2, 3, 4), 0x80002020);
  u32 x = 0;
  device.GetClipRect(&x, nullptr, nullptr, nullptr);
  EXPECT_EQ(x, 10u);
}

// The numbered screenshots go beside the program, in the first free number: this test
// cleans that directory of them before and after. ImageMagick reads the first one back.
TEST(GfxScreenshot, WritesTheFrontBufferAsBmpUnderTheFirstFreeNumber) {
  char module[1024];
  ASSERT_GT(SLGetModuleFileNameA(nullptr, module, sizeof(module)), 0u);
  auto name = [&](int n) {
    char text[32];
    std::snprintf(text, sizeof(text), "SCR%05d.BMP", n);
    return std::filesystem::path(module).parent_path() / text;
  };
  auto clean = [&] {
    for (int n = 1; n <= 5; ++n) std::filesystem::remove(name(n));
  };
  clean();
  CMemoryGfxDevice device;
  SL_EXPECT_FAIL(device.SaveScreenshot(), SL_E_NOT_INITIALISED);
  SL_GS_DisplayMode mode{1, 640, 480, 32, 1, 0, 0};
  ASSERT_TRUE(device.Init(nullptr, nullptr, &mode));
  SL_EXPECT_OK(device.SaveScreenshot());
  EXPECT_EQ(device.m_grabs, 0);
  const std::string first = name(1).string();
  EXPECT_EQ(SLTestCapture("identify -format '%m %wx%h' '" + first + "'"), "BMP3 640x480");
  std::string front;
  for (u32 y = 0; y < 480; ++y)
    for (u32 x = 0; x < 640; ++x) {
      const u8* bgrx = device.FrontPixel(x, y);
      front += {char(bgrx[2]), char(bgrx[1]), char(bgrx[0])};
    }
  EXPECT_TRUE(SLTestCapture("convert '" + first + "' -depth 8 rgb:-") == front);
  std::filesystem::copy_file(name(1), name(2));
  SL_EXPECT_OK(device.SaveScreenshot());
  EXPECT_TRUE(std::filesystem::exists(name(3)));
  std::filesystem::remove(name(1));
  SL_EXPECT_OK(device.SaveScreenshot());
  EXPECT_TRUE(std::filesystem::exists(name(1)) && !std::filesystem::exists(name(4)));
  clean();

  // A place the file storage cannot create: its own code.
  TempDir dir;
  CSLFileStorage probe;
  const u32 expected = probe.CreateA(dir.Host("missing/shot.bmp").c_str(), 0) ? 0 : SLGetLastError();
  SL_EXPECT_FAIL(device.SaveScreenshotToFile(dir.Host("missing/shot.bmp").c_str()), expected);
  SL_EXPECT_FAIL(device.SaveScreenshotToFile(nullptr), SL_E_NULL_DATA);
}

}  // namespace
