// Drives stand-alone and internal scroll bars with random sizes, ranges (0, 1, the
// largest, random), positions, presses on every part, moves, releases, arrow keys, timer
// ticks and receivers that refuse or destroy. Checked after every step: the position
// never passes the range and the part boundaries stay ordered inside the bar; codes 1-5
// always come with a change of position and code 6 with none.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzProgram.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiScrollBar.h"
#include "platform/kernel32/Modules.h"

namespace {

SLFuzzProgram* g_input;
CSL_GS_GuiManager* g_manager;
CSL_GS_GuiWindow* g_destroyTarget;
unsigned g_refuse, g_destroyOn;

void CheckNotification(u32 code, i32 now, i32 before) {
  SLFuzzCheck(code >= 1 && code <= 6);
  SLFuzzCheck(code == SL_GUI_SB_ENDSCROLL ? now == before : now != before);
}

// The window that hears both kinds of bar; its answers and its destruction come from
// the input.
class FuzzReceiver : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(FuzzReceiver)
 public:
  bool OnHScroll(CSL_GS_GuiWindow*, u32 code, i32 now, i32 before) override { return Hear(code, now, before); }
  bool OnVScroll(CSL_GS_GuiWindow*, u32 code, i32 now, i32 before) override { return Hear(code, now, before); }

 private:
  bool Hear(u32 code, i32 now, i32 before) {
    CheckNotification(code, now, before);
    if (g_destroyOn && code == g_destroyOn && g_destroyTarget) {
      CSL_GS_GuiWindow* target = g_destroyTarget;
      g_destroyTarget = nullptr;
      g_manager->DestroyWindow(target);
    }
    return !((g_refuse >> code) & 1);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzReceiver, CSL_GS_GuiWindow)

u32 Value(SLFuzzProgram& in) {
  switch (in.Take() % 4) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 0xFFFFFFFFu;
    default: return in.Take() | in.Take() << 8 | u32(in.Take()) << 24;
  }
}

void CheckBar(CSL_GS_GuiScrollBarBase* bar) {
  if (!bar) return;
  SLFuzzCheck(bar->GetPosition() <= bar->GetRange());
  const SLGuiRect& r = bar->GetWindowRect();
  const i32 length = (bar->GetOrientation() & SL_GUI_SB_KIND_MASK) == SL_GUI_SB_HORIZONTAL ? r.width : r.height;
  SLFuzzCheck(0 <= bar->GetBoundary(0));
  for (u32 i = 1; i < 4; ++i) SLFuzzCheck(bar->GetBoundary(i - 1) <= bar->GetBoundary(i));
  SLFuzzCheck(bar->GetBoundary(3) <= (length > 0 ? length : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SLRegisterGuiClasses();
  SLFuzzProgram input{data, size};
  g_input = &input;
  std::uint64_t clockMs = 100000;
  SLPlatformSetTestClock(true, clockMs * 1000000u);
  CSL_GS_GuiManager manager;
  g_manager = &manager;
  if (!manager.Init()) return 0;
  g_refuse = input.Take();
  g_destroyOn = input.Take() % 8;
  const u32 windowStyle = SL_GUI_WS_VISIBLE | SL_GUI_WS_HSCROLL | SL_GUI_WS_VSCROLL |
                          ((input.Take() & 1) ? u32(SL_GUI_WS_LEFTSCROLLBAR) : 0u);
  CSL_GS_GuiWindow* window = manager.CreateWindow(FuzzReceiver::GetClassRecord(), "", 0, 0, input.Take() * 2,
                                                  input.Take() * 2, windowStyle, 0, 0, nullptr);
  CSL_GS_GuiWindow* bars[2] = {};
  for (int i = 0; i < 2 && window; ++i)
    bars[i] = manager.CreateWindow(i ? CSL_GS_GuiVScrollBar::GetClassRecord() : CSL_GS_GuiHScrollBar::GetClassRecord(),
                                   "", i32(input.Take()), i32(input.Take()), i32(input.Take()), i32(input.Take()),
                                   SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE, 0, 0, window);
  const unsigned destroyWhich = input.Take() % 3;
  g_destroyTarget = destroyWhich == 2 ? window : bars[destroyWhich];
  for (int steps = 0; input.at < input.size && steps < 200 && manager.IsRegistered(window); ++steps) {
    const unsigned op = input.Take();
    const unsigned which = op >> 5;  // 0-1 stand-alone, 2-3 internal, others the manager's tick
    CSL_GS_GuiScrollBarBase* bar = nullptr;
    if (which < 2 && bars[which] && manager.IsRegistered(bars[which]))
      bar = static_cast<CSL_GS_GuiScrollBarBase*>(bars[which]);
    if (which == 2 && window->EnsureHScrollBar(SL_GUI_SB_ENSURE_CREATE)) bar = window->GetHScrollBar();
    if (which == 3 && window->EnsureVScrollBar(SL_GUI_SB_ENSURE_CREATE)) bar = window->GetVScrollBar();
    TSLObjPtr<CSL_GS_GuiWindow> hold(bar);
    const i32 x = i32(input.Take()) - 20, y = i32(input.Take()) - 20;
    switch (op % 12) {
      case 0: if (bar) bar->SetRange(Value(input)); break;
      case 1: if (bar) bar->SetPosition(Value(input)); break;
      case 2: if (bar) bar->OnLButtonDown(1, x, y); break;
      case 3: if (bar) bar->OnMouseMove(1, x, y); break;
      case 4: if (bar) bar->OnLButtonUp(0, x, y); break;
      case 5: if (bar) bar->OnKeyDown(SL_GUI_KEY_LEFT + input.Take() % 4); break;
      case 6: if (bar) bar->OnKeyUp(SL_GUI_KEY_LEFT + input.Take() % 4); break;
      case 7: if (bar) bar->OnCancelMode(); break;
      case 8: window->OnNcLButtonDown(window->HitTest(x * 2, y * 2), 1, x * 2, y * 2); break;
      case 9: window->OnLButtonUp(0, x, y); break;
      case 10: (op & 1 ? window->ShowHScrollBar(op & 2) : window->ShowVScrollBar(op & 2)); break;
      default:
        window->SetRect(0, 0, x * 3, y * 3);
        break;
    }
    if (!manager.IsRegistered(window)) break;
    clockMs += input.Take();
    SLPlatformSetTestClock(true, clockMs * 1000000u);
    manager.Update(true);
    if (!manager.IsRegistered(window)) break;
    for (CSL_GS_GuiWindow* b : bars)
      if (b && manager.IsRegistered(b)) CheckBar(static_cast<CSL_GS_GuiScrollBarBase*>(b));
    CheckBar(window->GetHScrollBar());
    CheckBar(window->GetVScrollBar());
  }
  manager.Shutdown();
  SLPlatformSetTestClock(false);
  g_input = nullptr;
  return 0;
}
