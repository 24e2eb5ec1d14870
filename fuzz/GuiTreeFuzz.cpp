// Drives the GUI manager with create, destroy, show, hide, enable, move, z-order,
// activation, focus, capture, minimize and draw requests decoded from the input, on
// windows whose handlers (OnCreate, OnActivate, OnKillFocus, OnSize, OnShow,
// OnCaptureLost, OnDestroy) destroy or create windows as the input says. After every
// request the tree is checked: the registry is sorted, every list is intact and holds
// only registered windows, no registered window has an unregistered parent, at most one
// window is active and the focus lies inside it.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzProgram.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

constexpr int kSlots = 12, kMaxDepth = 3, kMaxWindows = 40;

CSL_GS_GuiManager* g_manager;
CSL_GS_GuiWindow* g_slots[kSlots];  // addresses only: used after a registry check
SLFuzzProgram* g_input;
int g_depth;

enum Handler { kOnCreate, kOnActivate, kOnKillFocus, kOnSize, kOnShow, kOnCaptureLost, kOnDestroy, kHandlers };

CSL_GS_GuiWindow* Slot(unsigned index) {
  CSL_GS_GuiWindow* w = g_slots[index % kSlots];
  return w && g_manager->IsRegistered(w) ? w : nullptr;
}

void Create(unsigned a, unsigned b);

// What a handler does comes from the window's own script byte and the input.
class FuzzWindow : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(FuzzWindow)
 public:
  FuzzWindow() : m_script(g_input ? g_input->Take() : 0), m_target(g_input ? g_input->Take() : 0) {}

  bool OnCreate() override { return React(kOnCreate), (m_script & 0xF0) != 0xF0; }
  void OnActivate(bool, CSL_GS_GuiWindow*, bool, bool) override { React(kOnActivate); }
  void OnKillFocus(CSL_GS_GuiWindow*) override { React(kOnKillFocus); }
  void OnSize(i32, i32) override { React(kOnSize); }
  void OnShow(bool) override { React(kOnShow); }
  void OnCaptureLost(CSL_GS_GuiWindow* w) override {
    React(kOnCaptureLost);
    CSL_GS_GuiTopLevelWindow::OnCaptureLost(w);
  }
  void OnDestroy() override {
    React(kOnDestroy);
    CSL_GS_GuiTopLevelWindow::OnDestroy();
  }
  bool CanMinimize() override { return true; }
  bool CanMaximize() override { return m_script & 1; }

 private:
  void React(Handler handler) {
    if ((m_script % kHandlers) != unsigned(handler) || g_depth >= kMaxDepth) return;
    ++g_depth;
    switch ((m_script >> 3) % 4) {
      case 0:
        g_manager->DestroyWindow(this);
        break;
      case 1:
        if (CSL_GS_GuiWindow* w = Slot(m_target)) g_manager->DestroyWindow(w);
        break;
      case 2:
        Create(m_target, m_script);
        break;
      default:
        if (CSL_GS_GuiWindow* w = Slot(m_target)) w->Show(!(w->GetStyle() & SL_GUI_WS_VISIBLE));
    }
    --g_depth;
  }
  unsigned m_script, m_target;
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzWindow, CSL_GS_GuiTopLevelWindow)

void Create(unsigned a, unsigned b) {
  if (g_manager->GetWindowCount() >= kMaxWindows) return;
  static const u32 kinds[] = {0, SL_GUI_WS_CHILD, SL_GUI_WS_OWNED, SL_GUI_WS_CHILD};
  u32 style = kinds[a % 4];
  if (b & 1) style |= SL_GUI_WS_VISIBLE;
  if (b & 2) style |= SL_GUI_WS_DISABLED;
  if (b & 4) style |= SL_GUI_WS_TABSTOP;
  if ((b & 0x18) == 0x18) style |= SL_GUI_WS_MODAL;
  if (b & 0x20) style |= SL_GUI_WS_TOPMOST;
  if ((b & 0xC0) == 0x40) style |= SL_GUI_WS_MINIMIZED;
  if ((b & 0xC0) == 0x80) style |= SL_GUI_WS_MAXIMIZED;
  CSL_GS_GuiWindow* parent = Slot(a >> 2);
  const i32 x = i32(a * 7 % 300) - 20, y = i32(b * 5 % 200) - 20;
  CSL_GS_GuiWindow* w = g_manager->CreateWindow(FuzzWindow::GetClassRecord(), "w", x, y, i32(b % 160), i32(a % 120),
                                                style, 0, a, parent);
  if (w) g_slots[(a >> 4) % kSlots] = w;
}

CSL_GS_GuiWindow* TopOf(CSL_GS_GuiWindow* w) {
  while (SLGuiIsChildStyle(w->GetStyle()) && w->GetParentLink()) w = w->GetParentLink();
  return w;
}

// The links of a list agree both ways.
void CheckSiblings(CSL_GS_GuiWindow* first) {
  SLFuzzCheck(!first || !g_manager->GetPrevSibling(first));
  for (CSL_GS_GuiWindow* c = first; c; c = g_manager->GetNextSibling(c))
    if (CSL_GS_GuiWindow* next = g_manager->GetNextSibling(c)) SLFuzzCheck(g_manager->GetPrevSibling(next) == c);
}

void CheckTree() {
  SLGuiManagerState* s = g_manager->GetState();
  const TSLArray<SLGuiRegistryEntry>& registry = *s->registry;
  for (u32 i = 0; i < registry.GetCount(); ++i) {
    SLFuzzCheck(registry[i].flags == 0);
    if (i) SLFuzzCheck(std::uintptr_t(registry[i - 1].window) < std::uintptr_t(registry[i].window));
  }
  u32 linked = 0;
  for (const SLGuiRegistryEntry& entry : registry) {
    CSL_GS_GuiWindow* w = entry.window;
    if (SLGuiIsChildStyle(w->GetStyle())) SLFuzzCheck(g_manager->IsRegistered(w->GetParentLink()));
    SLFuzzCheck(!w->GetLastFocus() || g_manager->IsRegistered(w->GetLastFocus()));
    u32 children = 0;
    for (CSL_GS_GuiWindow* c = g_manager->GetFirstChild(w); c; c = g_manager->GetNextSibling(c)) {
      SLFuzzCheck(c->GetParentLink() == w);
      ++children;
    }
    linked += children;
    CheckSiblings(g_manager->GetFirstChild(w));
  }
  CheckSiblings(g_manager->GetFirstChild(nullptr));
  for (CSL_GS_GuiWindow* t = g_manager->GetFirstChild(nullptr); t; t = g_manager->GetNextSibling(t)) {
    SLFuzzCheck(!SLGuiIsChildStyle(t->GetStyle()));
    ++linked;
  }
  SLFuzzCheck(linked == registry.GetCount());
  CSL_GS_GuiWindow* active = s->activeWindow;
  if (active) SLFuzzCheck(g_manager->IsRegistered(active) && !SLGuiIsChildStyle(active->GetStyle()));
  if (CSL_GS_GuiWindow* focus = s->focusWindow) {
    SLFuzzCheck(g_manager->IsRegistered(focus));
    SLFuzzCheck(active && TopOf(focus) == active);
  }
  for (CSL_GS_GuiWindow* w : {s->captureWindow, s->hoverWindow, s->previousHoverWindow})
    SLFuzzCheck(!w || g_manager->IsRegistered(w));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SLRegisterGuiClasses();
  SLFuzzProgram input{data, size};
  g_input = &input;
  CSL_GS_GuiManager manager;
  g_manager = &manager;
  for (CSL_GS_GuiWindow*& slot : g_slots) slot = nullptr;
  g_depth = 0;
  if (!manager.Init()) return 0;
  for (int steps = 0; input.at < input.size && steps < 200; ++steps) {
    const unsigned op = input.Take(), a = input.Take(), b = input.Take();
    CSL_GS_GuiWindow* w = Slot(a);
    switch (op % 14) {
      case 0:
      case 1:
        Create(a, b);
        break;
      case 2:
        if (w) manager.DestroyWindow(w);
        break;
      case 3:
        if (w) w->Show(b & 1);
        break;
      case 4:
        if (w) w->Enable(b & 1);
        break;
      case 5: {
        CSL_GS_GuiWindow* after = Slot(b);
        const std::uintptr_t insertAfter = (b & 0x80) && after ? reinterpret_cast<std::uintptr_t>(after) : b % 5;
        if (w) w->SetPosition(i32(b) - 64, i32(a) - 64, i32(b % 90), i32(a % 70), (a ^ b) & 0xFF, insertAfter);
        break;
      }
      case 6:
        manager.ActivateWindow(w);
        break;
      case 7:
        manager.SetFocus(w);
        break;
      case 8:
        if (b & 1)
          manager.SetCapture(w);
        else
          manager.ReleaseCapture();
        break;
      case 9:
        if (w) (b % 3 == 0 ? w->Minimize() : b % 3 == 1 ? w->Maximize() : w->Restore());
        break;
      case 10:
        manager.Update(true);
        break;
      case 11:
        if (w) w->BringToTop();
        break;
      case 12:
        if (w) manager.ShowOwnedWindows(w, b & 1);
        break;
      default:
        if (w) w->SetStyle(w->GetStyle() ^ (u32(b & 3) << 28));
    }
    CheckTree();
  }
  manager.Shutdown();
  g_input = nullptr;
  return 0;
}
