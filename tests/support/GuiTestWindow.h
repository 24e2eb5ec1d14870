// A window for the GUI tests that writes each notification it receives into one shared
// log ("A:OnShow(1) ") and hands each one to a hook, with which a test destroys or
// creates windows from inside any handler. The window takes its name from
// CTestGuiWindow::s_nextName when it is made, because the manager makes it through its
// class record.
#pragma once

#include <functional>
#include <string>

#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"

class CTestGuiWindow : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CTestGuiWindow)
 public:
  CTestGuiWindow() : m_name(s_nextName) {}

  static inline std::string s_log;
  static inline std::string s_nextName = "W";
  // Called after each notification is logged, with the slot's name.
  static inline std::function<void(CTestGuiWindow*, const std::string&)> s_hook;
  static void Reset() {
    s_log.clear();
    s_nextName.assign(1, 'W');  // not `= "W"`: GCC 12 warns falsely (-Wrestrict) on that form
    s_hook = nullptr;
  }

  std::string m_name;
  bool m_canMinimize = true, m_canMaximize = true, m_refuseCreate = false, m_refuseText = false;
  SLGuiMinMaxInfo m_minMaxOverride{};
  bool m_overrideMinMax = false;
  bool m_handlesCommand = false;

  bool CanMinimize() override { return m_canMinimize; }
  bool CanMaximize() override { return m_canMaximize; }
  bool OnCreate() override { return Note("OnCreate", ""), !m_refuseCreate; }
  void OnClose() override { Note("OnClose", ""); }
  void OnDestroy() override {
    Note("OnDestroy", "");
    CSL_GS_GuiTopLevelWindow::OnDestroy();
  }
  void OnActivate(bool active, CSL_GS_GuiWindow* other, bool, bool) override {
    Note("OnActivate", std::to_string(active) + "," + NameOf(other));
  }
  void OnSize(i32 w, i32 h) override { Note("OnSize", std::to_string(w) + "," + std::to_string(h)); }
  void OnMove(i32 x, i32 y) override { Note("OnMove", std::to_string(x) + "," + std::to_string(y)); }
  void OnStyleChanged(u32 style) override {
    char text[16];
    snprintf(text, sizeof text, "%08x", style);
    Note("OnStyleChanged", text);
  }
  void OnEnable(bool enabled) override { Note("OnEnable", std::to_string(enabled)); }
  void OnShow(bool visible) override { Note("OnShow", std::to_string(visible)); }
  bool CanSetText(const char*) override { return Note("CanSetText", ""), !m_refuseText; }
  void OnTextChanged(CSLStringAnsi*) override { Note("OnTextChanged", ""); }
  void OnCaptureLost(CSL_GS_GuiWindow* to) override {
    Note("OnCaptureLost", NameOf(to));
    CSL_GS_GuiTopLevelWindow::OnCaptureLost(to);
  }
  void OnSetFocus(CSL_GS_GuiWindow* w) override { Note("OnSetFocus", NameOf(w)); }
  void OnKillFocus(CSL_GS_GuiWindow* w) override { Note("OnKillFocus", NameOf(w)); }
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override {
    Note("GetMinMaxInfo", "");
    if (m_overrideMinMax) *info = m_minMaxOverride;
  }
  void DrawFrame(const SLGuiRect* r) override { Note("DrawFrame", Rect(*r)); }
  void Draw(const SLGuiRect* r) override { Note("Draw", Rect(*r)); }
  // The window base's geometry: these windows test the tree, not the skinned frame.
  u32 HitTest(i32 x, i32 y) override { return Note("HitTest", ""), CSL_GS_GuiWindow::HitTest(x, y); }
  void GetClientArea(SLGuiRect* r) override { CSL_GS_GuiWindow::GetClientArea(r); }
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override {
    Note("OnCommand", NameOf(source) + "," + std::to_string(id));
    return m_handlesCommand || CSL_GS_GuiTopLevelWindow::OnCommand(source, id);
  }
  void OnGfxChanged(CSL_GS_BaseGfx* gfx) override { Note("OnGfxChanged", gfx ? "gfx" : "0"); }

  static std::string NameOf(CSL_GS_GuiWindow* w) {
    if (!w) return "0";
    auto* t = dynamic_cast<CTestGuiWindow*>(w);
    return t ? t->m_name : "?";
  }

 private:
  void Note(const char* slot, const std::string& args) {
    s_log += m_name + ":" + slot + "(" + args + ") ";
    if (s_hook) s_hook(this, slot);
  }
  static std::string Rect(const SLGuiRect& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
  }
};
