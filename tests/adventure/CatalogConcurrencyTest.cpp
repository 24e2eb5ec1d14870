// The loader thread fills the catalogue while the main thread keeps drawing through the
// same graphics device; a stop request in the middle leaves only whole records behind.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/SceneCatalog.h"
#include "foundation/SLSync.h"
#include "foundation/SLThread.h"
#include "tests/support/ItemPacks.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"

namespace {

// The memory device's texture book-keeping is not locked (its other tests run on one
// thread); a real device guards its device objects itself.
class CLockedGfxDevice : public CMemoryGfxDevice {
 public:
  bool CreateImageTextures(SL_GS_ImageRecord* image) override {
    std::lock_guard<std::mutex> hold(m_textures);
    return CMemoryGfxDevice::CreateImageTextures(image);
  }
  void FreeImageTextures(SL_GS_ImageRecord* image) override {
    std::lock_guard<std::mutex> hold(m_textures);
    CMemoryGfxDevice::FreeImageTextures(image);
  }
  size_t Live() {
    std::lock_guard<std::mutex> hold(m_textures);
    return m_liveImageTextures.size();
  }
  std::mutex m_textures;
};

struct LoaderRun {
  std::vector<std::string> paths;
  std::atomic<u32> loaded{0};
  u32 failure = 0;
};

u32 LoadAll(CSLWorkerThread* thread, std::uintptr_t parameter) {
  auto* run = reinterpret_cast<LoaderRun*>(parameter);
  for (const std::string& path : run->paths) {
    if (!SceneCatalog_LoadItem(path.c_str(), thread)) {
      run->failure = SLGetLastError();
      break;
    }
    ++run->loaded;
  }
  return 0;
}

class CatalogConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_gfx.Init(nullptr, nullptr, nullptr));
    AdventureDevices_Set(&m_gfx, nullptr, nullptr);
    std::vector<ItemPackSpec> specs;
    for (int i = 0; i < 8; ++i) {
      const std::string name = "escena" + std::to_string(i);
      specs.push_back({name, i % 2 ? "rising" : "opaque", "rising", ItemPackInfo("Lugar", name)});
      m_run.paths.push_back(m_dir.Win(name + ".DAT"));
    }
    std::string error;
    ASSERT_TRUE(ItemPackWriteAll(m_dir.Host(), specs, &error)) << error;
    ASSERT_TRUE(m_picture.Create(3, 32, 16, false));
  }
  void TearDown() override {
    SceneCatalog_Free();
    AdventureDevices_Set(nullptr, nullptr, nullptr);
  }
  // One frame of the main thread: a picture made, drawn, read and destroyed.
  void DrawFrame() {
    SL_GS_Image* image = m_gfx.CreateImage(&m_picture, true);
    ASSERT_TRUE(image);
    EXPECT_TRUE(m_gfx.DrawImage(image, 108, 148, nullptr));
    m_gfx.GetImagePixel(image, 1, 1);
    EXPECT_TRUE(m_gfx.DestroyImage(image));
  }

  TempDir m_dir;
  CLockedGfxDevice m_gfx;
  CSLImage m_picture;
  LoaderRun m_run;
};

TEST_F(CatalogConcurrencyTest, LoaderFillsTheListWhileTheMainThreadDraws) {
  CSLWorkerThread loader(&LoadAll, reinterpret_cast<std::uintptr_t>(&m_run));
  ASSERT_TRUE(loader.Start());
  while (loader.IsRunning()) DrawFrame();
  ASSERT_TRUE(loader.Stop(0xFFFFFFFF));
  EXPECT_EQ(m_run.failure, 0u);
  EXPECT_EQ(m_run.loaded.load(), 8u);
  for (u32 i = 0; i < 8; ++i) {
    SceneRecord* record = SceneCatalog_GetAt(i);
    ASSERT_TRUE(record);
    EXPECT_STREQ(record->name.CStr(), ("escena" + std::to_string(i)).c_str());
    EXPECT_EQ(record->depthMax, i % 2 ? 200 : 255);
  }
  EXPECT_EQ(m_gfx.Live(), 16u);
}

TEST_F(CatalogConcurrencyTest, StopRequestLeavesOnlyWholeRecords) {
  CSLWorkerThread loader(&LoadAll, reinterpret_cast<std::uintptr_t>(&m_run));
  ASSERT_TRUE(loader.Start());
  while (m_run.loaded.load() < 2 && loader.IsRunning()) DrawFrame();
  ASSERT_TRUE(loader.Stop(0xFFFFFFFF));
  const u32 loaded = m_run.loaded.load();
  EXPECT_GE(loaded, 2u);
  if (loaded < 8) EXPECT_EQ(m_run.failure, u32(SL_E_CANCELLED));
  u32 count = 0;
  while (SceneCatalog_GetAt(count)) ++count;
  EXPECT_EQ(count, loaded);
  EXPECT_EQ(m_gfx.Live(), 2u * loaded);
  SceneCatalog_Free();
  EXPECT_EQ(m_gfx.Live(), 0u);
}

}  // namespace
