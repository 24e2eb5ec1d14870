// Window timers on the fake clock: firing once per interval with the remainder carried,
// the bound after a stall, timers of destroyed windows, and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/SLGuiManager.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/GuiInputWindow.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr u32 kTop = SL_GUI_WS_VISIBLE;

class GuiTimer : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    CTestGuiWindow::Reset();
    At(0);
    ASSERT_TRUE(m.Init());
  }
  void TearDown() override {
    m.Shutdown();
    SLPlatformSetTestClock(false);
    CTestGuiWindow::Reset();
  }
  // Milliseconds after the start, which lies just below the wrap of the tick count.
  void At(u64 ms) { SLPlatformSetTestClock(true, ((u64(1) << 32) - 50 + ms) * 1000000ull); }
  CInputTestWindow* Make(const char* name) {
    CTestGuiWindow::s_nextName = name;
    return static_cast<CInputTestWindow*>(
        m.CreateWindow(CInputTestWindow::GetClassRecord(), name, 0, 0, 10, 10, kTop, 0, 0, nullptr));
  }
  // How many times each "W:Timer(id)" appears in the log taken.
  static int Count(const std::string& log, const std::string& entry) {
    int n = 0;
    for (size_t at = log.find(entry); at != std::string::npos; at = log.find(entry, at + 1)) ++n;
    return n;
  }
  std::string TakeLog() { return std::exchange(CTestGuiWindow::s_log, std::string()); }

  CSL_GS_GuiManager m;
};

TEST_F(GuiTimer, FiresOncePerIntervalAndCarriesTheRemainder) {
  CInputTestWindow* w = Make("W");
  ASSERT_TRUE(m.SetTimer(w, 7, 300));
  ASSERT_TRUE(m.SetInternalTimer(w, SL_GUI_TIMER_SCROLL_REPEAT, 50));
  TakeLog();
  const struct {
    u64 at;
    int fires, internalFires;
  } ticks[] = {{1000, 3, 20}, {1150, 0, 3}, {1200, 1, 1}, {1200, 0, 0}, {1499, 0, 5}, {1500, 1, 1}};
  for (const auto& t : ticks) {
    At(t.at);
    ASSERT_TRUE(m.Update(true));
    const std::string log = TakeLog();
    EXPECT_EQ(Count(log, "W:Timer(7)"), t.fires) << t.at;
    EXPECT_EQ(Count(log, "W:Timer(4294967294)"), t.internalFires) << t.at;
  }
  // Hidden, the window's modes end: the scroll-bar repeat stops, its own timer stays.
  ASSERT_TRUE(w->Show(false));
  ASSERT_EQ(m.GetState()->timers->GetCount(), 1u);
  EXPECT_EQ((*m.GetState()->timers)[0].id, 7u);
}

TEST_F(GuiTimer, StallFiresAtMostAThousandTimesAndDropsTheRest) {
  CInputTestWindow* w = Make("W");
  ASSERT_TRUE(m.SetTimer(w, 1, 1));
  ASSERT_TRUE(m.SetTimer(w, 2, 7));
  TakeLog();
  At(10 * 60 * 1000);
  ASSERT_TRUE(m.Update(true));
  std::string log = TakeLog();
  EXPECT_EQ(Count(log, "W:Timer(1)"), 1000);
  EXPECT_EQ(Count(log, "W:Timer(2)"), 1000);
  At(10 * 60 * 1000 + 12);
  ASSERT_TRUE(m.Update(true));
  log = TakeLog();
  EXPECT_EQ(Count(log, "W:Timer(1)"), 12);
  // 600,000 is 2 past a multiple of 7: those 2 ms were kept, and 12 more make two firings.
  EXPECT_EQ(Count(log, "W:Timer(2)"), 2);
}

TEST_F(GuiTimer, HandlersKillingAndDestroyingStopTheirTimers) {
  CInputTestWindow* a = Make("A");
  CInputTestWindow* b = Make("B");
  ASSERT_TRUE(m.SetTimer(a, 1, 100));
  ASSERT_TRUE(m.SetTimer(b, 1, 100));
  ASSERT_TRUE(m.SetTimer(b, 2, 100));
  TakeLog();
  // A's first firing kills its own timer and destroys B, whose slot a new window may take
  // at once: neither must be ticked by the entries B left.
  std::vector<CSL_GS_GuiWindow*> made;
  CTestGuiWindow::s_hook = [&](CTestGuiWindow*, const std::string& slot) {
    if (slot != "A:Timer") return;
    m.KillTimer(a, 1);
    m.DestroyWindow(b);
    for (int i = 0; i < 4; ++i) made.push_back(Make("N"));
  };
  At(1000);
  ASSERT_TRUE(m.Update(true));
  EXPECT_EQ(Count(TakeLog(), ":Timer("), 1);
  EXPECT_EQ(m.GetState()->timers->GetCount(), 0u);
  // Outside a tick a destroyed window's timers go at once.
  CTestGuiWindow::s_hook = nullptr;
  ASSERT_TRUE(m.SetTimer(made[0], 3, 10));
  ASSERT_TRUE(m.DestroyWindow(made[0]));
  EXPECT_EQ(m.GetState()->timers->GetCount(), 0u);
}

TEST_F(GuiTimer, BadArgumentsAreRefused) {
  CInputTestWindow* w = Make("W");
  CSL_GS_GuiWindow loose;
  const struct {
    const char* name;
    bool (CSL_GS_GuiManager::*call)(CSL_GS_GuiWindow*, u32, u32);
    CSL_GS_GuiWindow* window;
    u32 id, interval;
  } cases[] = {
      {"unregistered", &CSL_GS_GuiManager::SetTimer, &loose, 1, 10},
      {"null window", &CSL_GS_GuiManager::SetTimer, nullptr, 1, 10},
      {"id 0", &CSL_GS_GuiManager::SetTimer, w, 0, 10},
      {"internal id", &CSL_GS_GuiManager::SetTimer, w, SL_GUI_TIMER_FIRST_INTERNAL, 10},
      {"interval 0", &CSL_GS_GuiManager::SetTimer, w, 1, 0},
      {"application id", &CSL_GS_GuiManager::SetInternalTimer, w, 0xFFFFFEFF, 10},
      {"internal interval 0", &CSL_GS_GuiManager::SetInternalTimer, w, 0xFFFFFFFF, 0},
  };
  for (const auto& c : cases) SL_EXPECT_FAIL((m.*c.call)(c.window, c.id, c.interval), SL_E_INVALID_ARG) << c.name;
  SL_EXPECT_FAIL(m.KillTimer(w, 5), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(m.KillTimer(w, 0), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(m.KillTimer(&loose, 5), SL_E_INVALID_ARG);
  EXPECT_EQ(m.GetState()->timers->GetCount(), 0u);
  SL_EXPECT_OK(m.SetTimer(w, 0xFFFFFEFF, 1));
  SL_EXPECT_OK(m.KillTimer(w, 0xFFFFFEFF));
  CSL_GS_GuiManager idle;
  SL_EXPECT_FAIL(idle.SetTimer(w, 1, 1), SL_E_NOT_INITIALISED);
}

}  // namespace
