// The loader thread beside the screen loop: loading, cancelling at any moment and loading
// again leave whole catalogues or empty ones, the program's image group and no error; a
// stop request at any point of the thread's work ends it without a failure. (Run under
// ThreadSanitizer by `./test tsan`.)
#include <gtest/gtest.h>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/screens/LoadingScreen.h"
#include "app/services/ModalStack.h"
#include "foundation/SLThread.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "platform/kernel32/Sync.h"
#include "tests/support/AppHarness.h"

namespace {

void EmptyCatalogues() {
  SceneCatalog_Free();
  ObjectCatalog_Free();
  CharacterCatalog_Free();
}

u32 Count(void* (*at)(u32)) {
  u32 n = 0;
  while (at(n)) ++n;
  return n;
}

void* CharacterAt(u32 i) { return CharacterCatalog_GetAt(i); }
void* SceneAt(u32 i) { return SceneCatalog_GetAt(i); }
void* ObjectAt(u32 i) { return ObjectCatalog_GetAt(i); }

using LoaderConcurrency = AppScreenTest;

TEST_F(LoaderConcurrency, CancelledAndCompletedLoadingsAlternate) {
  u32 characters = 0, scenes = 0, objects = 0;
  for (int round = 0; round < 3; ++round) {
    // Cancelled: the prompt opens at the first tick and "Si" comes one tick later.
    Command(APP_CLOSE_BUTTON_ID);
    Later(&AppHarness::AnswerYes, 1002);
    EXPECT_EQ(LoadingScreen_Run(), -2) << round;
    EXPECT_EQ(CharacterCatalog_GetAt(0), nullptr);
    EXPECT_EQ(SceneCatalog_GetAt(0), nullptr);
    EXPECT_EQ(ObjectCatalog_GetAt(0), nullptr);
    EXPECT_EQ(App_Services().gfx->GetImageGroup(), 1u);

    // Completed: the same catalogue every time.
    ASSERT_EQ(LoadingScreen_Run(), 1) << round;
    if (round == 0) {
      characters = Count(&CharacterAt), scenes = Count(&SceneAt), objects = Count(&ObjectAt);
      EXPECT_GT(characters * scenes * objects, 0u);
    } else {
      EXPECT_EQ(Count(&CharacterAt), characters);
      EXPECT_EQ(Count(&SceneAt), scenes);
      EXPECT_EQ(Count(&ObjectAt), objects);
    }
    EmptyCatalogues();
  }
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

TEST_F(LoaderConcurrency, StopAtAnyPointEndsWithoutAFailure) {
  for (u32 delay : {0u, 1u, 3u, 10u, 30u, 100u, 300u}) {
    LoaderProgress block{};
    CSLWorkerThread thread(&Catalog_LoadAll, reinterpret_cast<std::uintptr_t>(&block));
    ASSERT_TRUE(thread.Start(false));
    // The main thread reads the progress while the thread writes it.
    const u32 until = GetTickCount() + delay;
    u32 last = 0;
    while (GetTickCount() < until) {
      const u32 now = block.progress.load();
      EXPECT_GE(now, last);
      last = now;
    }
    ASSERT_TRUE(thread.Stop(INFINITE));
    EXPECT_EQ(block.errorCode, 0) << delay;
    EXPECT_EQ(App_Services().gfx->GetImageGroup(), 1u) << delay;
    EmptyCatalogues();
  }
}

}  // namespace
