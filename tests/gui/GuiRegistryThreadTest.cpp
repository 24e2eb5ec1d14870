// The registration question asked from other threads while the GUI thread creates and
// destroys windows: it is answered without the manager's lock, so these tests check that
// the lock-free answers are the locked ones (the index against a plain set, through its
// growth) and that readers racing the changes never see a registered window vanish or a
// wrong one appear (run under ThreadSanitizer by `./test tsan`).
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "gui/SLGuiManager.h"
#include "gui/SLGuiRegistryIndex.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(GuiRegistryIndex, AnswersAsASortedSetThroughGrowthAndRemoval) {
  CSLGuiRegistryIndex index;
  std::set<std::uintptr_t> model;
  std::mt19937 random(5);
  // Addresses from a small range, so that inserts repeat and removals hit.
  for (int step = 0; step < 20000; ++step) {
    const std::uintptr_t address = 16 * (1 + random() % 700);
    const void* key = reinterpret_cast<const void*>(address);
    switch (random() % 8) {
      case 0: case 1: case 2: case 3:
        ASSERT_TRUE(index.Insert(key));
        model.insert(address);
        break;
      case 4: case 5: case 6:
        index.Remove(key);
        model.erase(address);
        break;
      default:
        if (random() % 64 == 0) {
          index.Clear();
          model.clear();
        }
    }
    bool found = false;
    ASSERT_TRUE(index.TryContains(key, &found));  // no change runs: always answered
    ASSERT_EQ(found, model.count(address) == 1) << step;
  }
  for (std::uintptr_t address = 0; address < 16 * 720; address += 8) {
    bool found = true;
    ASSERT_TRUE(index.TryContains(reinterpret_cast<const void*>(address), &found));
    EXPECT_EQ(found, model.count(address) == 1) << address;
  }
}

TEST(GuiRegistryThreads, ReadersRacingCreationAndDestructionGetTrueAnswers) {
  SLTestRegisterClasses();
  CSL_GS_GuiManager m;
  ASSERT_TRUE(m.Init());
  auto make = [&m] {
    return m.CreateWindow(CSL_GS_GuiWindow::GetClassRecord(), "", 0, 0, 10, 10, 0, 0, 0, nullptr);
  };
  // Windows that stay registered throughout, and a window that never is.
  std::vector<CSL_GS_GuiWindow*> stable;
  for (int i = 0; i < 40; ++i) stable.push_back(make());
  CSL_GS_GuiWindow stranger;
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&, r] {
      size_t i = size_t(r);
      while (!done.load(std::memory_order_acquire)) {
        if (!m.IsRegistered(stable[i % stable.size()])) wrong.fetch_add(1);
        if (m.IsRegistered(&stranger)) wrong.fetch_add(1);
        ++i;
      }
    });
  }
  // Enough windows come and go for the index to grow several times and shrink again.
  std::vector<CSL_GS_GuiWindow*> churn;
  for (int round = 0; round < 6; ++round) {
    for (int i = 0; i < 300; ++i) churn.push_back(make());
    for (CSL_GS_GuiWindow* w : churn) {
      ASSERT_TRUE(m.IsRegistered(w));
      ASSERT_TRUE(m.DestroyWindow(w));
    }
    churn.clear();
  }
  done.store(true, std::memory_order_release);
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(m.GetWindowCount(), stable.size());
  m.Shutdown();
  SL_EXPECT_FAIL(m.IsRegistered(stable[0]), SL_E_NOT_INITIALISED);
}

}  // namespace
