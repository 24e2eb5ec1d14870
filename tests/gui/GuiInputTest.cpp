// The manager's tick on scripted devices and the fake clock: key repeat, Alt routing,
// double clicks, hover, capture, activation by click, and the clock's wrap.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gamesystem/SLMainWindow.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiManager.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/InputEvents.h"
#include "tests/support/GuiInputWindow.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr u32 kTop = SL_GUI_WS_VISIBLE;
constexpr u32 kChild = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE;
constexpr u64 kWrapMs = u64(1) << 32;  // where the 32-bit tick count goes back to 0

class GuiInput : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    CTestGuiWindow::Reset();
  }
  void TearDown() override {
    m.Shutdown();
    for (const char* entry : {"SystemParametersInfoA", "SystemParametersInfoW", "GetDoubleClickTime"})
      SLPlatformHideExport("user32.dll", entry, false);
    SLPlatformSetTestClock(false);
    CTestGuiWindow::Reset();
  }
  // Without the desktop's settings the manager keeps its own (500/500/300 ms).
  void Start(const std::string& script, bool desktopSettings = true, u64 startMs = 5000) {
    for (const char* entry : {"SystemParametersInfoA", "SystemParametersInfoW", "GetDoubleClickTime"})
      SLPlatformHideExport("user32.dll", entry, !desktopSettings);
    SetClock(startMs);
    ASSERT_TRUE(m.Init());
    keyboard = std::make_unique<CScriptedKeyboard>(script);
    mouse = std::make_unique<CScriptedMouse>(script);
    ASSERT_TRUE(m.SetKeyboard(keyboard.get()));
    ASSERT_TRUE(m.SetMouse(mouse.get()));
  }
  void SetClock(u64 ms) { SLPlatformSetTestClock(true, ms * 1000000ull); }
  // Line `n` of the script, at `ms` on the clock.
  void Tick(u32 n, u64 ms) {
    SetClock(ms);
    keyboard->Advance(n);
    mouse->Advance(n);
    ASSERT_TRUE(m.Update(false));
  }
  template <class Window = CInputTestWindow>
  Window* Make(const char* name, u32 style, CSL_GS_GuiWindow* parent, SLGuiRect r, i32 border = 0) {
    CTestGuiWindow::s_nextName = name;
    auto* w = static_cast<Window*>(
        m.CreateWindow(Window::GetClassRecord(), name, r.x, r.y, r.width, r.height, style, 0, 0, parent));
    if (w && border) {
      w->m_border = border;
      w->SetRect(r.x, r.y, r.width, r.height);
    }
    return w;
  }
  std::string TakeLog() { return std::exchange(CTestGuiWindow::s_log, std::string()); }

  CSL_GS_GuiManager m;
  std::unique_ptr<CScriptedKeyboard> keyboard;
  std::unique_ptr<CScriptedMouse> mouse;
};

TEST_F(GuiInput, HeldKeyRepeatsAfterTheDelayAtTheInterval) {
  const struct {
    const char* name;
    bool desktopSettings;
    u64 startMs;
    u32 delay, interval;
  } cases[] = {
      {"desktop settings", true, 5000, 500, 33},
      {"no settings", false, 5000, 500, 500},
      {"across the wrap", true, kWrapMs - 100, 500, 33},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start("tick 0: key 65 down\ntick 1200: key 65 up\n", c.desktopSettings, c.startMs);
    CInputTestWindow* d = Make("D", kTop, nullptr, {0, 0, 100, 100});
    ASSERT_EQ(m.GetActiveWindow(), d);
    TakeLog();
    std::vector<u32> downs, expected;
    std::string ups;
    for (u32 t = 0; t <= 1200; ++t) {
      Tick(t, c.startMs + t);
      if (t < 2) {
        EXPECT_EQ(m.GetKeyState(65), t == 0 ? 0x81u : 0x01u);
      }
      const std::string log = TakeLog();
      if (log == "D:KeyDown(65) ") downs.push_back(t);
      else if (!log.empty()) ups += log;
    }
    for (u32 t = 0; t < 1200; t = t == 0 ? c.delay : t + c.interval) expected.push_back(t);
    EXPECT_EQ(downs, expected);
    EXPECT_EQ(ups, "D:KeyUp(65) ");
    EXPECT_EQ(m.GetKeyState(SL_GS_KEY_COUNT), 0u);
    m.Shutdown();
  }
}

TEST_F(GuiInput, AltMakesSystemKeysForTheActiveWindowButAltGrTypesPlainKeys) {
  const struct {
    const char* name;
    const char* keys;
    const char* expected;
  } cases[] = {
      {"Alt+F", "key 324 down", "D:SysKeyDown(324) D:SysKeyDown(70) "},
      {"AltGr+F", "key 322 down; key 324 down", "E:KeyDown(322) E:KeyDown(324) E:KeyDown(70) "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(std::string("tick 1: ") + c.keys + "\ntick 2: key 70 down\n");
    CInputTestWindow* d = Make("D", kTop, nullptr, {0, 0, 100, 100});
    CInputTestWindow* e = Make("E", kChild | SL_GUI_WS_TABSTOP, d, {10, 10, 50, 20});
    m.SetFocus(e);
    TakeLog();
    Tick(1, 5001);
    Tick(2, 5002);
    EXPECT_EQ(TakeLog(), c.expected);
    m.Shutdown();
  }
}

TEST_F(GuiInput, QuickSecondPressIsADoubleClickAndAThirdStartsOver) {
  const struct {
    const char* name;
    bool desktopSettings;
    u64 startMs;
    std::vector<u32> pressTimes;
    const char* expected;
  } cases[] = {
      {"250 ms then 100 ms", false, 5000, {0, 250, 350}, "LDown LDbl LDown "},
      {"slower than 300 ms", false, 5000, {0, 300, 650}, "LDown LDown LDown "},
      {"desktop's 500 ms", true, 5000, {0, 450, 900}, "LDown LDbl LDown "},
      {"across the wrap", false, kWrapMs - 120, {0, 250, 600}, "LDown LDbl LDown "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string script = "tick 0: mouse 150,130\n";
    for (size_t i = 0; i < c.pressTimes.size(); ++i)
      script += "tick " + std::to_string(2 * i + 1) + ": button 1 down\ntick " + std::to_string(2 * i + 2) +
                ": button 1 up\n";
    Start(script, c.desktopSettings, c.startMs);
    Make("W", kTop, nullptr, {100, 100, 200, 150});
    Tick(0, c.startMs);
    std::string kinds;
    for (size_t i = 0; i < c.pressTimes.size(); ++i) {
      TakeLog();
      Tick(u32(2 * i + 1), c.startMs + c.pressTimes[i]);
      const std::string log = TakeLog();
      kinds += log.find("LDbl") != std::string::npos ? "LDbl " : log.find("LDown") != std::string::npos ? "LDown " : "- ";
      Tick(u32(2 * i + 2), c.startMs + c.pressTimes[i] + 10);
    }
    EXPECT_EQ(kinds, c.expected);
    m.Shutdown();
  }
  // A press when the tick count reads 0 still counts as a press.
  Start("tick 1: button 1 down\n", false, kWrapMs);
  Tick(1, kWrapMs);
  EXPECT_EQ(m.GetState()->lastPressTime[0], 1u);
}

TEST_F(GuiInput, PointerEntersBeforeItMovesAndLeavesBetweenClientAndFrame) {
  Start(
      "tick 1: mouse 150,130\n"
      "tick 2: mouse 105,105\n"
      "tick 3: mouse 160,140\n"
      "tick 5: mouse 500,500\n"
      "tick 6: mouse 600,550; button 1 down\n"
      "tick 7: button 1 up; button 2 down\n");
  CInputTestWindow* w = Make("W", kTop, nullptr, {100, 100, 200, 150}, 10);
  TakeLog();
  const char* expected[] = {
      "",
      "W:Enter(0,40,20) W:Move(0,40,20) ",
      "W:Leave() W:NcEnter(14,0,105,105) W:NcMove(14,0,105,105) ",
      "W:NcLeave() W:Enter(0,50,30) W:Move(0,50,30) ",
      "",  // nothing moved
      "W:Leave() ",
  };
  for (u32 t = 1; t <= 5; ++t) {
    Tick(t, 5000 + 16 * t);
    EXPECT_EQ(TakeLog(), expected[t]) << "tick " << t;
  }
  // The capture window gets client events wherever the pointer is.
  m.SetCapture(w);
  EXPECT_EQ(TakeLog(), "W:Enter(0,390,390) W:Move(0,390,390) ");
  Tick(6, 5100);
  EXPECT_EQ(TakeLog(), "W:LDown(1,490,440) W:Move(1,490,440) ");
  Tick(7, 5116);
  EXPECT_EQ(TakeLog(), "W:LUp(2,490,440) W:RDown(2,490,440) ");
}

TEST_F(GuiInput, ClickOnAnInactiveDialogActivatesItThenDeliversTheClick) {
  Start("tick 1: mouse 15,15; button 1 down\n");
  CInputTestWindow* a = Make("A", kTop, nullptr, {0, 0, 100, 100});
  Make<CInputTestButton>("b", kChild, a, {10, 10, 30, 20});
  Make("B", kTop, nullptr, {300, 300, 100, 100});
  TakeLog();
  Tick(1, 5016);
  EXPECT_EQ(TakeLog(), "A:Leave() b:Enter(1,5,5) B:Activate(0,0) A:Activate(1,1) b:LDown(1,5,5) b:Move(1,5,5) ");
  EXPECT_EQ(m.GetActiveWindow(), a);
}

TEST_F(GuiInput, HandlersDestroyingWindowsEndTheirDispatch) {
  Start("tick 1: mouse 15,15; button 1 down; key 65 down; char 97\n");
  CInputTestWindow* a = Make("A", kTop, nullptr, {0, 0, 100, 100});
  EXPECT_EQ(TakeLog(), "A:Activate(1,0) A:Enter(0,0,0) A:Move(0,0,0) ");  // the pointer starts at 0,0
  CTestGuiWindow::s_hook = [&](CTestGuiWindow*, const std::string& slot) {
    if (slot == "A:LDown") m.DestroyWindow(a);
  };
  Tick(1, 5016);
  EXPECT_EQ(TakeLog(), "A:LDown(1,15,15) A:Activate(0,0) ");
  EXPECT_EQ(m.GetWindowCount(), 0u);
  SL_EXPECT_FAIL(CSL_GS_GuiManager().Update(false), SL_E_NOT_INITIALISED);
}

// The real devices on the main window under SDL's dummy display: what the display
// delivers reaches the window under the pointer in its client coordinates.
TEST(GuiInputDevices, DisplayClickAndTextReachTheWindow) {
  SLTestRegisterClasses();
  CTestGuiWindow::Reset();
  CSL_GS_MainWindow mainWindow;
  ASSERT_TRUE(mainWindow.Create(GetModuleHandleA(nullptr), "Entrada", 0, false));
  ASSERT_TRUE(mainWindow.SetWaitWhenInactive(false));
  HWND handle = mainWindow.GetHandle();
  ASSERT_TRUE(SetForegroundWindow(handle));
  ASSERT_TRUE(SLTestFullScreen(handle));  // relative movement from the pointer's start
  CSL_GS_KeyboardInput_DirectX keyboard;
  CSL_GS_MouseInput_DirectX mouse;
  ASSERT_TRUE(keyboard.Init(nullptr, handle));
  ASSERT_TRUE(mouse.Init(nullptr, handle));
  ASSERT_TRUE(mouse.SetArea(0, 0, 800, 600));
  ASSERT_TRUE(mouse.SetPosition(400, 300));
  CSL_GS_GuiManager m;
  ASSERT_TRUE(m.Init(&mainWindow));
  ASSERT_TRUE(m.SetKeyboard(&keyboard));
  ASSERT_TRUE(m.SetMouse(&mouse));
  CTestGuiWindow::s_nextName = "W";
  auto* w = static_cast<CInputTestWindow*>(
      m.CreateWindow(CInputTestWindow::GetClassRecord(), "W", 350, 250, 100, 100, kTop, 0, 0, nullptr));
  ASSERT_NE(w, nullptr);
  w->m_border = 10;
  ASSERT_TRUE(w->SetRect(350, 250, 100, 100));
  auto tick = [&] {
    SLTestPump();
    ASSERT_TRUE(SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC));
    ASSERT_TRUE(m.Update(false));
  };
  tick();
  CTestGuiWindow::s_log.clear();
  ASSERT_TRUE(SLTestPushMotion(handle, 5, 7));
  ASSERT_TRUE(SLTestPushButton(handle, SDL_BUTTON_LEFT, true));
  tick();
  EXPECT_NE(CTestGuiWindow::s_log.find("W:LDown(1,45,47)"), std::string::npos) << CTestGuiWindow::s_log;
  SDL_Event text = SLTestEvent(handle, SDL_TEXTINPUT);
  std::strcpy(text.text.text, "\xC3\xB1");  // "ñ" in UTF-8
  ASSERT_TRUE(SLTestPush(text));
  for (int i = 0; i < 3; ++i) tick();
  EXPECT_NE(CTestGuiWindow::s_log.find("W:Char(241)"), std::string::npos) << CTestGuiWindow::s_log;
  m.Shutdown();
  keyboard.Shutdown();
  mouse.Shutdown();
  mainWindow.Destroy();
  CTestGuiWindow::Reset();
}

}  // namespace
