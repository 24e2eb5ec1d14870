// Windows for the input tests: a test window and a push button that log every pointer,
// key, character and timer event into CTestGuiWindow's shared log ("A:LDown(1,10,20) ")
// and hand each to its hook, answer a dialog code set by the test and may have a frame
// of `m_border` pixels around their client area.
#pragma once

#include <string>

#include "gui/SLGuiButton.h"
#include "tests/support/GuiTestWindow.h"

template <class Base>
class TInputLogging : public Base {
 public:
  std::string m_name = CTestGuiWindow::s_nextName;
  u32 m_dialogCode = 0;
  i32 m_border = 0;

  u32 GetDialogCode() override { return m_dialogCode; }
  // The frame is the test's own `m_border`, not a skinned one.
  u32 HitTest(i32 x, i32 y) override { return CSL_GS_GuiWindow::HitTest(x, y); }
  void GetClientArea(SLGuiRect* r) override {
    r->x += m_border, r->y += m_border;
    r->width -= 2 * m_border, r->height -= 2 * m_border;
  }
  void OnMouseEnter(u32 keys, i32 x, i32 y) override { Log("Enter", keys, x, y), Base::OnMouseEnter(keys, x, y); }
  void OnMouseMove(u32 keys, i32 x, i32 y) override { Log("Move", keys, x, y), Base::OnMouseMove(keys, x, y); }
  void OnMouseLeave() override { Log("Leave"), Base::OnMouseLeave(); }
  void OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) override { Log("NcEnter", hit, keys, x, y); }
  void OnNcMouseMove(u32 hit, u32 keys, i32 x, i32 y) override { Log("NcMove", hit, keys, x, y); }
  void OnNcMouseLeave() override { Log("NcLeave"); }
  void OnLButtonDown(u32 keys, i32 x, i32 y) override { Log("LDown", keys, x, y); }
  void OnLButtonUp(u32 keys, i32 x, i32 y) override { Log("LUp", keys, x, y); }
  void OnLButtonDblClk(u32 keys, i32 x, i32 y) override { Log("LDbl", keys, x, y); }
  void OnRButtonDown(u32 keys, i32 x, i32 y) override { Log("RDown", keys, x, y); }
  void OnKeyDown(u32 key) override { Log("KeyDown", key); }
  void OnKeyUp(u32 key) override { Log("KeyUp", key); }
  void OnSysKeyDown(u32 key) override { Log("SysKeyDown", key), Base::OnSysKeyDown(key); }
  void OnSysKeyUp(u32 key) override { Log("SysKeyUp", key); }
  void OnChar(u32 character) override { Log("Char", character); }
  void OnTimer(u32 id) override { Log("Timer", id); }
  void OnSetFocus(CSL_GS_GuiWindow* w) override { Log("SetFocus"), Base::OnSetFocus(w); }
  void OnActivate(bool active, CSL_GS_GuiWindow* other, bool minimized, bool byClick) override {
    Log("Activate", active, byClick);
    Base::OnActivate(active, other, minimized, byClick);
  }
  // Framed windows close themselves when their style has bit 3, as the skinned frame will.
  void OnClose() override {
    Log("Close");
    if ((this->GetStyle() & 8) && this->GetManager()) this->GetManager()->DestroyWindow(this);
  }
  bool OnCommand(CSL_GS_GuiWindow*, u32 id) override {
    Log("Command", id);
    return true;
  }

 private:
  template <class... Args>
  void Log(const char* slot, Args... args) {
    std::string text = m_name + ":" + slot + "(";
    [[maybe_unused]] const char* separator = "";
    ((text += separator + std::to_string(args), separator = ","), ...);
    CTestGuiWindow::s_log += text + ") ";
    if (CTestGuiWindow::s_hook) CTestGuiWindow::s_hook(nullptr, m_name + ":" + slot);
  }
};

class CInputTestWindow : public TInputLogging<CSL_GS_GuiTopLevelWindow> {
  SL_DECLARE_CLASS(CInputTestWindow)
};

// Its whole rectangle is its shape: these tests run without a device, where a skinned
// button has no pixels to be hit on.
class CInputTestButton : public TInputLogging<CSL_GS_GuiButton> {
  SL_DECLARE_CLASS(CInputTestButton)
 public:
  u32 HitTest(i32 x, i32 y) override { return CSL_GS_GuiWindow::HitTest(x, y); }
};
