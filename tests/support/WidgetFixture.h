// A dialog for the widget tests: a manager with the default skin on the recording
// device, a top-level dialog that logs the commands and scroll codes it receives (and
// may refuse the scroll changes), and scripted input played tick by tick on the fake
// clock ("tick 2: mouse 70,35; button 1 down").
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "image/SLImage.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/RecordingGfx.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/TestSupport.h"

class CWidgetDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CWidgetDialog)
 public:
  static inline std::string s_log;
  // Called after a command is logged, with the source.
  static inline std::function<void(CSL_GS_GuiWindow*)> s_onCommand;
  static inline bool s_acceptScroll = true;

  // The dialog lays its widgets out over its whole rectangle, as the tests place them: no
  // skinned frame or caption of a top-level window around them.
  void DrawFrame(const SLGuiRect* windowOnScreen) override { CSL_GS_GuiWindow::DrawFrame(windowOnScreen); }
  void GetClientArea(SLGuiRect* rect) override { CSL_GS_GuiWindow::GetClientArea(rect); }
  u32 HitTest(i32 x, i32 y) override { return CSL_GS_GuiWindow::HitTest(x, y); }

  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override {
    s_log += "cmd " + std::to_string(id) + ";";
    if (s_onCommand) s_onCommand(source);
    return true;
  }
  bool OnHScroll(CSL_GS_GuiWindow*, u32 code, i32 n, i32 o) override { return Scroll("h", code, n, o); }
  bool OnVScroll(CSL_GS_GuiWindow*, u32 code, i32 n, i32 o) override { return Scroll("v", code, n, o); }

 private:
  bool Scroll(const char* kind, u32 code, i32 n, i32 o) {
    s_log += std::string(kind) + std::to_string(code) + " " + std::to_string(u32(n)) + "<" + std::to_string(u32(o)) +
             ";";
    return s_acceptScroll;
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CWidgetDialog, CSL_GS_GuiTopLevelWindow)

class WidgetFixture : public ::testing::Test {
 protected:
  static constexpr u32 kChild = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | SL_GUI_WS_TABSTOP;

  void SetUp() override {
    SLTestRegisterClasses();
    CWidgetDialog::s_log.clear();
    CWidgetDialog::s_onCommand = nullptr;
    CWidgetDialog::s_acceptScroll = true;
    Clock(0);
    ASSERT_TRUE(m.Init());
    ASSERT_TRUE(m.SetGfx(&gfx));
    dialog = m.CreateWindow(CWidgetDialog::GetClassRecord(), "Di\xE1logo", 0, 0, 400, 300, SL_GUI_WS_VISIBLE, 0, 0,
                            nullptr);
    ASSERT_NE(dialog, nullptr);
  }
  void TearDown() override {
    m.SetMouse(nullptr);
    m.SetKeyboard(nullptr);
    m.Shutdown();
    SLPlatformSetTestClock(false);
    CWidgetDialog::s_onCommand = nullptr;
  }
  void Clock(u64 ms) { SLPlatformSetTestClock(true, (1000000 + ms) * 1000000ull); }
  template <class Widget>
  Widget* Make(const char* text, SLGuiRect r, u32 style = 0, u32 id = 1, CSL_GS_GuiWindow* parent = nullptr) {
    return static_cast<Widget*>(m.CreateWindow(Widget::GetClassRecord(), text, r.x, r.y, r.width, r.height,
                                               kChild | style, 0, id, parent ? parent : dialog));
  }
  // Plays ticks 1..last of a script, `stepMs` apart on the clock, calling between(tick)
  // before each tick; returns the dialog's log of those ticks.
  std::string Play(const std::string& script, u32 last, u32 stepMs = 20,
                   const std::function<void(u32)>& between = nullptr) {
    CScriptedKeyboard keyboard(script);
    CScriptedMouse mouse(script);
    EXPECT_TRUE(m.SetKeyboard(&keyboard));
    EXPECT_TRUE(m.SetMouse(&mouse));
    CWidgetDialog::s_log.clear();
    for (u32 tick = 1; tick <= last; ++tick) {
      if (between) between(tick);
      m_now += stepMs;
      Clock(m_now);
      keyboard.Advance(tick);
      mouse.Advance(tick);
      EXPECT_TRUE(m.Update(false));
    }
    m.SetMouse(nullptr);
    m.SetKeyboard(nullptr);
    return CWidgetDialog::s_log;
  }
  // A mouse click at a screen point, as three ticks.
  std::string ClickAt(i32 x, i32 y) {
    const std::string at = std::to_string(x) + "," + std::to_string(y);
    return Play("tick 1: mouse " + at + "\ntick 2: button 1 down\ntick 3: button 1 up\n", 3);
  }
  // An image of w x h opaque white pixels with a transparent `corner` x `corner` square
  // at each corner, on the recording device.
  SL_GS_Image* CornerImage(i32 w, i32 h, i32 corner) {
    TSLObjPtr<CSLImage> picture;
    picture.Attach(new CSLImage());
    EXPECT_TRUE(picture->Create(5, w, h, false));
    for (i32 y = 0; y < h; ++y)
      for (i32 x = 0; x < w; ++x) {
        const bool hole = (x < corner || x >= w - corner) && (y < corner || y >= h - corner);
        const u32 pixel = hole ? 0x00000000u : 0xFFFFFFFFu;
        SLMemCopy(picture->GetPixelAddress(x, y), &pixel, 4);
      }
    SL_GS_Image* image = gfx.CreateImage(picture.Get(), false);
    EXPECT_NE(image, nullptr);
    return image;
  }

  CSL_GS_GuiManager m;
  CRecordingGfx gfx;
  CSL_GS_GuiWindow* dialog = nullptr;
  u64 m_now = 0;
};
