// What the menu and framed-window tests share: a manager on the recording device with
// the default skin, scripted devices and the fake clock, a framed window and a manager
// that log the menu notifications and commands they receive into one log, and a hook
// through which a test closes or destroys things from inside any notification.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/RecordingGfx.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/TestSupport.h"

namespace SLMenuTest {
inline std::string s_log;
inline std::function<void(const std::string&)> s_hook;
inline void Note(const std::string& what) {
  s_log += what + " ";
  if (s_hook) s_hook(what);
}
}  // namespace SLMenuTest

class CMenuOwnerWindow : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMenuOwnerWindow)
 public:
  bool OnCommand(CSL_GS_GuiWindow*, u32 id) override { return SLMenuTest::Note("cmd:" + std::to_string(id)), true; }
  void OnMenuStart(bool context) override { SLMenuTest::Note(context ? "start:ctx" : "start:bar"); }
  void OnMenuEnd(bool context) override { SLMenuTest::Note(context ? "end:ctx" : "end:bar"); }
  void OnInitMenu(CSL_GS_GuiMenuPopup*) override { SLMenuTest::Note("init"); }
  void OnInitMenuPopup(CSL_GS_GuiMenuPopup* menu) override {
    SLMenuTest::Note("initpopup:" + std::to_string(menu->GetId()));
  }
  void OnLButtonDown(u32 keys, i32 x, i32 y) override {
    SLMenuTest::Note("ldown");
    CSL_GS_GuiTopLevelWindow::OnLButtonDown(keys, x, y);
  }
  void OnDestroy() override {
    SLMenuTest::Note("destroy");
    CSL_GS_GuiTopLevelWindow::OnDestroy();
  }
};

class CMenuTestManager : public CSL_GS_GuiManager {
 public:
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override {
    SLMenuTest::Note("mcmd:" + std::to_string(source ? 1 : 0) + "," + std::to_string(id));
    return true;
  }
  void OnMenuStart(bool context) override { SLMenuTest::Note(context ? "mstart:ctx" : "mstart:bar"); }
  void OnMenuEnd(bool context) override { SLMenuTest::Note(context ? "mend:ctx" : "mend:bar"); }
  void OnInitMenu(CSL_GS_GuiMenuPopup*) override { SLMenuTest::Note("minit"); }
  void OnInitMenuPopup(CSL_GS_GuiMenuPopup* menu) override {
    SLMenuTest::Note("minitpopup:" + std::to_string(menu->GetId()));
  }
};

class GuiMenuFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    SLMenuTest::s_log.clear();
    SLMenuTest::s_hook = nullptr;
    // The default repeat and double-click times, whatever the desktop says.
    for (const char* entry : {"SystemParametersInfoA", "SystemParametersInfoW", "GetDoubleClickTime"})
      SLPlatformHideExport("user32.dll", entry, true);
    SetClock(10000);
    ASSERT_TRUE(m.Init());
    ASSERT_TRUE(m.SetGfx(&gfx));
    ASSERT_TRUE(m.LoadDefaultSkin());
  }
  void TearDown() override {
    SLMenuTest::s_hook = nullptr;
    m.Shutdown();
    for (const char* entry : {"SystemParametersInfoA", "SystemParametersInfoW", "GetDoubleClickTime"})
      SLPlatformHideExport("user32.dll", entry, false);
    SLPlatformSetTestClock(false);
  }
  void SetClock(u64 ms) { SLPlatformSetTestClock(true, ms * 1000000ull); }
  // Each script starts a second after the last one, so that no press of one is the
  // first half of a double click in the next.
  void Script(const std::string& script) {
    m_start += 1000000;
    // The manager lets go of the old devices before they are freed.
    auto nextKeyboard = std::make_unique<CScriptedKeyboard>(script);
    auto nextMouse = std::make_unique<CScriptedMouse>(script);
    ASSERT_TRUE(m.SetKeyboard(nextKeyboard.get()));
    ASSERT_TRUE(m.SetMouse(nextMouse.get()));
    keyboard = std::move(nextKeyboard);
    mouse = std::move(nextMouse);
  }
  // Line `n` of the script, n milliseconds after the start.
  void Tick(u32 n) {
    SetClock(m_start + n);
    keyboard->Advance(n);
    mouse->Advance(n);
    m.Update(false);
  }
  void Run(u32 from, u32 to) {
    for (u32 t = from; t <= to; ++t) Tick(t);
  }
  CSL_GS_GuiMenuPopup* Menu(u32 id) {
    return static_cast<CSL_GS_GuiMenuPopup*>(
        m.CreateWindow(CSL_GS_GuiMenuPopup::GetClassRecord(), "", 0, 0, 0, 0, 0, 0, id, nullptr));
  }
  CMenuOwnerWindow* Owner(const char* caption, SLGuiRect r, u32 style) {
    return static_cast<CMenuOwnerWindow*>(m.CreateWindow(CMenuOwnerWindow::GetClassRecord(), caption, r.x, r.y,
                                                         r.width, r.height, style | SL_GUI_WS_VISIBLE, 0, 0, nullptr));
  }
  static std::string TakeLog() { return std::exchange(SLMenuTest::s_log, std::string()); }
  static std::string Rect(const SLGuiRect& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
  }
  static SLGuiRect ScreenRect(CSL_GS_GuiWindow* w) {
    SLGuiRect r{};
    w->GetScreenRectR(&r);
    return r;
  }
  static bool Visible(CSL_GS_GuiWindow* w) { return (w->GetStyle() & SL_GUI_WS_VISIBLE) != 0; }

  u64 m_start = 10000;
  CMenuTestManager m;
  CRecordingGfx gfx;
  std::unique_ptr<CScriptedKeyboard> keyboard;
  std::unique_ptr<CScriptedMouse> mouse;
};
