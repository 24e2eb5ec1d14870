// The loader thread fills the catalogue while the main thread keeps drawing through the
// same graphics device; a stop request then refuses the next pack and leaves the list
// with whole records only.
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

// The memory device's texture book-keeping has no lock of its own; a real device guards
// its device objects itself.
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
  std::mutex m_textures;
};

struct LoaderRun {
  std::vector<std::string> paths;  // the last is loaded only once a stop was requested
  std::atomic<u32> loaded{0};
  u32 lastCode = 0;
};

TEST(CatalogConcurrency, LoaderFillsTheListWhileTheMainThreadDraws) {
  TempDir dir;
  LoaderRun run;
  std::vector<ItemPackSpec> specs;
  for (int i = 0; i < 9; ++i) {
    specs.push_back({"e" + std::to_string(i), i % 2 ? "rising" : "opaque", "rising", ItemPackInfo("Lugar", "e" + std::to_string(i))});
    run.paths.push_back(dir.Win(specs.back().name + ".DAT"));
  }
  ItemPackWriteAll(dir.Host(), specs);
  CLockedGfxDevice gfx;
  ASSERT_TRUE(gfx.Init(nullptr, nullptr, nullptr));
  AdventureDevices_Set(&gfx, nullptr, nullptr);
  CSLImage picture;
  ASSERT_TRUE(picture.Create(3, 32, 16, false));

  CSLWorkerThread loader(
      [](CSLWorkerThread* thread, std::uintptr_t parameter) -> u32 {
        auto* run = reinterpret_cast<LoaderRun*>(parameter);
        for (size_t i = 0; i < run->paths.size(); ++i) {
          while (i + 1 == run->paths.size() && !CatalogLoader_StopRequested(thread)) SLSleep(1);
          if (SceneCatalog_LoadItem(run->paths[i].c_str(), thread)) ++run->loaded;
          run->lastCode = SLGetLastError();
        }
        return 0;
      },
      reinterpret_cast<std::uintptr_t>(&run));
  ASSERT_TRUE(loader.Start());
  while (run.loaded.load() < 8) {  // the main thread's frames: a picture made, drawn, read, destroyed
    SL_GS_Image* image = gfx.CreateImage(&picture, true);
    ASSERT_TRUE(image);
    EXPECT_TRUE(gfx.DrawImage(image, 108, 148, nullptr));
    gfx.GetImagePixel(image, 1, 1);
    EXPECT_TRUE(gfx.DestroyImage(image));
  }
  ASSERT_TRUE(loader.Stop(0xFFFFFFFF));
  EXPECT_EQ(run.lastCode, u32(SL_E_CANCELLED));
  EXPECT_EQ(run.loaded.load(), 8u);
  for (u32 i = 0; i < 9; ++i)
    EXPECT_EQ(SceneCatalog_GetAt(i) ? SceneCatalog_GetAt(i)->depthMax : -1, i == 8 ? -1 : i % 2 ? 200 : 255);
  EXPECT_EQ(gfx.m_liveImageTextures.size(), 16u);
  SceneCatalog_Free();
  EXPECT_EQ(gfx.m_liveImageTextures.size(), 0u);
}

}  // namespace
