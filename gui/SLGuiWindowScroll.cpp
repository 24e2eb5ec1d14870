// The internal scroll bars of a window: a horizontal bar along the bottom of the client
// area, a vertical one along its right side (left with SL_GUI_WS_LEFTSCROLLBAR) and the
// grow box where they meet. The bars are not windows of the tree: the window makes them
// on first need, keeps their rectangles in screen coordinates, draws and hit-tests them,
// and feeds them its mouse events and the ticks of its repeat timer. Its own hit codes
// name their parts: 16..20 the horizontal bar's, 21..25 the vertical bar's.
//
// A press on a bar part takes the window's capture; from then on every pointer event
// arrives as a client event of the window, which hands it to the pressed bar in the
// bar's coordinates until the button goes up, the press is cancelled or the bar hidden.
// Every call into a bar may end in a notification that destroys the window: each such
// call is followed by a registration check.
#include <algorithm>

#include "foundation/SLMemory.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiScrollBar.h"
#include "gui/SLGuiWindow.h"

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;
constexpr u32 kRepeatInterval = 50;

bool InHBar(u32 hit) { return hit >= SL_GUI_HIT_HSCROLL_FIRST && hit <= SL_GUI_HIT_HSCROLL_LAST; }
bool InVBar(u32 hit) { return hit >= SL_GUI_HIT_VSCROLL_FIRST && hit <= SL_GUI_HIT_VSCROLL_LAST; }
bool InBar(u32 hit, bool vertical) { return vertical ? InVBar(hit) : InHBar(hit); }
bool Inside(const SLGuiRect& r, i64 x, i64 y) {
  return x >= r.x && y >= r.y && x < i64(r.x) + r.width && y < i64(r.y) + r.height;
}
u32 StyleBit(bool vertical) { return vertical ? SL_GUI_WS_VSCROLL : SL_GUI_WS_HSCROLL; }
u32 NoFitBit(bool vertical) { return vertical ? SL_GUI_LAYOUT_VBAR_NOFIT : SL_GUI_LAYOUT_HBAR_NOFIT; }

}  // namespace

// --- Making, placing and dropping the bars ---

CSL_GS_GuiScrollBarBase* CSL_GS_GuiWindow::ScrollBarOf(bool vertical) const {
  return vertical ? static_cast<CSL_GS_GuiScrollBarBase*>(m_vScrollBar)
                  : static_cast<CSL_GS_GuiScrollBarBase*>(m_hScrollBar);
}

bool CSL_GS_GuiWindow::EnsureScrollBar(bool vertical, u32 request) {
  CSL_GS_GuiScrollBarBase* bar = ScrollBarOf(vertical);
  if (!bar) {
    if (!(request & SL_GUI_SB_ENSURE_CREATE)) return SLSucceed(true);
    if (vertical) {
      m_vScrollBar = new CSL_GS_GuiInternalVScrollBar();
      bar = m_vScrollBar;
    } else {
      m_hScrollBar = new CSL_GS_GuiInternalHScrollBar();
      bar = m_hScrollBar;
    }
    if (!bar) return SLFail(SL_E_OUT_OF_MEMORY, false);
    // Not registered: the window is its parent without being referenced by it.
    bar->m_manager = m_manager;
    bar->m_parent = this;
    bar->m_style = SL_GUI_WS_VISIBLE;
    bar->m_skin = m_skin;
    bar->OnCreate();
    request |= SL_GUI_SB_ENSURE_LAYOUT;
  }
  if (!(request & SL_GUI_SB_ENSURE_LAYOUT)) return SLSucceed(true);
  SLErrorKeeper keep;
  i32 x = 0, y = 0;
  CSL_GS_GuiManager* manager = m_manager;
  if (manager) manager->ClientToScreen(this, &x, &y);
  SLGuiRect rect;
  if (vertical) {
    const i32 width = manager ? manager->GetVScrollButtonElement(m_skin) : 0;
    const i64 left = (m_style & SL_GUI_WS_LEFTSCROLLBAR) ? i64(x) - width : i64(x) + m_clientRect.width;
    rect = {i32(left), y, width, m_clientRect.height};
  } else {
    const i32 height = manager ? manager->GetHScrollButtonElement(m_skin) : 0;
    rect = {x, i32(i64(y) + m_clientRect.height), m_clientRect.width, height};
  }
  bar->m_windowRect = bar->m_clientRect = rect;
  bar->m_skin = m_skin;
  bar->OnSkinChanged(m_skin);
  return true;
}

bool CSL_GS_GuiWindow::EnsureHScrollBar(u32 request) { return EnsureScrollBar(false, request); }
bool CSL_GS_GuiWindow::EnsureVScrollBar(u32 request) { return EnsureScrollBar(true, request); }

void CSL_GS_GuiWindow::DropScrollBars() {
  // A bar still busy in a notification holds its own reference; with its manager and
  // window gone it stops at its next check.
  for (CSL_GS_GuiScrollBarBase* bar : {ScrollBarOf(false), ScrollBarOf(true)}) {
    if (!bar) continue;
    bar->m_manager = nullptr;
    bar->m_parent = nullptr;
    bar->Release();
  }
  m_hScrollBar = nullptr;
  m_vScrollBar = nullptr;
  SLFree(m_growBox);
  m_growBox = nullptr;
}

void CSL_GS_GuiWindow::OnDestroy() { DropScrollBars(); }

bool CSL_GS_GuiWindow::ScrollBarFits(bool vertical) const {
  return (m_style & StyleBit(vertical)) && !(m_layoutFlags & NoFitBit(vertical)) && ScrollBarOf(vertical);
}

CSL_GS_GuiScrollBarBase* CSL_GS_GuiWindow::FittingBarOfHit(u32 hit) const {
  if (InHBar(hit)) return ScrollBarFits(false) ? ScrollBarOf(false) : nullptr;
  if (InVBar(hit)) return ScrollBarFits(true) ? ScrollBarOf(true) : nullptr;
  return nullptr;
}

u32 CSL_GS_GuiWindow::BarPartOfHit(u32 hit) {
  if (InHBar(hit)) return hit - SL_GUI_HIT_HSCROLL_FIRST + 1;
  if (InVBar(hit)) return hit - SL_GUI_HIT_VSCROLL_FIRST + 1;
  return 0;
}

// --- Position, range and visibility ---

bool CSL_GS_GuiWindow::SetHScrollPos(u32 position) {
  return EnsureScrollBar(false, SL_GUI_SB_ENSURE_CREATE) && m_hScrollBar->SetPosition(position);
}
bool CSL_GS_GuiWindow::SetHScrollRange(u32 range) {
  return EnsureScrollBar(false, SL_GUI_SB_ENSURE_CREATE) && m_hScrollBar->SetRange(range);
}
u32 CSL_GS_GuiWindow::GetHScrollPos() { return SLSucceed(m_hScrollBar ? m_hScrollBar->GetPosition() : 0u); }
u32 CSL_GS_GuiWindow::GetHScrollRange() {
  return EnsureScrollBar(false, SL_GUI_SB_ENSURE_CREATE) ? SLSucceed(m_hScrollBar->GetRange()) : 0u;
}
bool CSL_GS_GuiWindow::ShowHScrollBar(bool show) { return ShowScrollBar(false, show); }
bool CSL_GS_GuiWindow::SetVScrollPos(u32 position) {
  return EnsureScrollBar(true, SL_GUI_SB_ENSURE_CREATE) && m_vScrollBar->SetPosition(position);
}
bool CSL_GS_GuiWindow::SetVScrollRange(u32 range) {
  return EnsureScrollBar(true, SL_GUI_SB_ENSURE_CREATE) && m_vScrollBar->SetRange(range);
}
u32 CSL_GS_GuiWindow::GetVScrollPos() { return SLSucceed(m_vScrollBar ? m_vScrollBar->GetPosition() : 0u); }
u32 CSL_GS_GuiWindow::GetVScrollRange() {
  return EnsureScrollBar(true, SL_GUI_SB_ENSURE_CREATE) ? SLSucceed(m_vScrollBar->GetRange()) : 0u;
}
bool CSL_GS_GuiWindow::ShowVScrollBar(bool show) { return ShowScrollBar(true, show); }

bool CSL_GS_GuiWindow::ShowScrollBar(bool vertical, bool show) {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 bit = StyleBit(vertical);
  // Hiding a bar whose part is held ends the press: the repeat stops and the capture goes.
  if (!show && (m_style & bit) && InBar(m_pressedPart, vertical) && m_manager->GetCaptureWindow() == this) {
    {
      SLErrorKeeper keep;
      m_manager->KillTimer(this, SL_GUI_TIMER_SCROLL_REPEAT);
    }
    m_pressedPart = 0;
    m_manager->ReleaseCapture();
    if (!StillRegistered()) return false;
  }
  m_style = show ? m_style | bit : m_style & ~bit;
  return SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH, std::uintptr_t(0));
}

// --- Slots: client area, hit test, drawing ---

void CSL_GS_GuiWindow::GetClientArea(SLGuiRect* rect) {
  if (!rect || (m_style & SL_GUI_WS_MINIMIZED)) return;
  SLErrorKeeper keep;
  CSL_GS_GuiManager* manager = m_manager;
  // A bar that cannot be made leaves the client area as if it were hidden.
  if ((m_style & SL_GUI_WS_VSCROLL) && manager && EnsureScrollBar(true, SL_GUI_SB_ENSURE_CREATE)) {
    const i32 width = manager->GetVScrollButtonElement(m_skin);
    if (rect->width >= width) {
      rect->width -= width;
      if (m_style & SL_GUI_WS_LEFTSCROLLBAR) rect->x += width;
      m_layoutFlags &= ~SL_GUI_LAYOUT_VBAR_NOFIT;
    } else {
      m_layoutFlags |= SL_GUI_LAYOUT_VBAR_NOFIT;
    }
  }
  if ((m_style & SL_GUI_WS_HSCROLL) && manager && EnsureScrollBar(false, SL_GUI_SB_ENSURE_CREATE)) {
    const i32 height = manager->GetHScrollButtonElement(m_skin);
    if (rect->height >= height) {
      rect->height -= height;
      m_layoutFlags &= ~SL_GUI_LAYOUT_HBAR_NOFIT;
    } else {
      m_layoutFlags |= SL_GUI_LAYOUT_HBAR_NOFIT;
    }
  }
}

u32 CSL_GS_GuiWindow::HitTest(i32 x, i32 y) {
  SLGuiRect screen;
  if (!GetScreenRectR(&screen)) return SL_GUI_HIT_NOWHERE;
  const SLGuiRect client{i32(i64(screen.x) - m_windowRect.x + m_clientRect.x),
                         i32(i64(screen.y) - m_windowRect.y + m_clientRect.y), m_clientRect.width,
                         m_clientRect.height};
  if (Inside(client, x, y)) return SL_GUI_HIT_CLIENT;
  if (!Inside(screen, x, y)) return SL_GUI_HIT_NOWHERE;
  for (bool vertical : {true, false}) {
    CSL_GS_GuiScrollBarBase* bar = ScrollBarFits(vertical) ? ScrollBarOf(vertical) : nullptr;
    if (!bar || !Inside(bar->m_windowRect, x, y)) continue;
    const u32 part = bar->HitTest(x, y);
    if (!part) return SL_GUI_HIT_NOWHERE;
    return part - 1 + (vertical ? SL_GUI_HIT_VSCROLL_FIRST : SL_GUI_HIT_HSCROLL_FIRST);
  }
  if (ScrollBarFits(true) && ScrollBarFits(false)) {
    const SLGuiRect corner{m_vScrollBar->m_windowRect.x, m_hScrollBar->m_windowRect.y,
                           m_vScrollBar->m_windowRect.width, m_hScrollBar->m_windowRect.height};
    if (Inside(corner, x, y))
      return (m_style & SL_GUI_WS_LEFTSCROLLBAR) ? SL_GUI_HIT_GROWBOX_LEFT : SL_GUI_HIT_GROWBOX_RIGHT;
  }
  return SL_GUI_HIT_FRAME;
}

void CSL_GS_GuiWindow::DrawFrame(const SLGuiRect*) {
  const bool vertical = ScrollBarFits(true), horizontal = ScrollBarFits(false);
  CSL_GS_GuiManager* manager = m_manager;
  if ((!vertical && !horizontal) || !manager) return;
  SLErrorKeeper keep;
  if (vertical) m_vScrollBar->Draw(&m_vScrollBar->m_windowRect);
  if (horizontal) m_hScrollBar->Draw(&m_hScrollBar->m_windowRect);
  if (!vertical || !horizontal) return;
  if (!m_growBox) {
    auto* lookups = static_cast<SLGuiGrowBoxLookups*>(SLAllocZero(sizeof(SLGuiGrowBoxLookups)));
    if (!lookups) return;
    lookups->element = manager->GetSkinImageElement(m_skin, "Scrollbar_Growbox", "Normal");
    lookups->leftGlyph = manager->GetSkinGlyph(m_skin, "Scrollbar_Growbox", "LeftGlyph");
    lookups->rightGlyph = manager->GetSkinGlyph(m_skin, "Scrollbar_Growbox", "RightGlyph");
    m_growBox = lookups;
  }
  const auto* lookups = static_cast<const SLGuiGrowBoxLookups*>(m_growBox);
  const SLGuiRect corner{m_vScrollBar->m_windowRect.x, m_hScrollBar->m_windowRect.y,
                         m_vScrollBar->m_windowRect.width, m_hScrollBar->m_windowRect.height};
  if (corner.width < 1 || corner.height < 1) return;
  const double opacity = manager->GetEffectiveOpacity(this);
  if (!manager->PushClipRect(corner.x, corner.y, corner.width, corner.height, false)) return;
  if (lookups->element) manager->DrawSkinElement(lookups->element, &corner, opacity);
  const bool left = (m_style & SL_GUI_WS_LEFTSCROLLBAR) != 0;
  if (const SLGuiSkinGlyph* glyph = left ? lookups->leftGlyph : lookups->rightGlyph)
    manager->DrawSkinGlyph(glyph, left ? corner.x : corner.x + corner.width - glyph->width,
                           corner.y + corner.height - glyph->height, opacity);
  manager->PopClipRect();
}

// --- Slots: the mouse ---

void CSL_GS_GuiWindow::OnNcLButtonDown(u32 hit, u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  CSL_GS_GuiScrollBarBase* bar = FittingBarOfHit(hit);
  if (!bar || !IsRegistered()) return;
  TSLObjPtr<CSL_GS_GuiWindow> barHold(bar);
  CSL_GS_GuiManager* manager = m_manager;
  manager->SetCapture(this);
  if (!StillRegistered()) return;
  m_pressedPart = hit;
  m_hoverPart = hit;
  if (!(bar->m_style & SL_GUI_WS_DISABLED)) {
    bar->OnLButtonDown(keys, i32(i64(x) - bar->m_windowRect.x), i32(i64(y) - bar->m_windowRect.y));
    if (!StillRegistered() || bar != ScrollBarOf(InVBar(hit))) return;
    if (BarPartOfHit(hit) != 5) {
      {
        SLErrorKeeper keep;
        manager->SetInternalTimer(this, SL_GUI_TIMER_SCROLL_REPEAT, kRepeatInterval);
      }
      OnTimer(SL_GUI_TIMER_SCROLL_REPEAT);
      if (!IsRegistered()) return;
    }
  }
  m_hoverPart = hit;
}

void CSL_GS_GuiWindow::OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  if (CSL_GS_GuiScrollBarBase* bar = FittingBarOfHit(hit); bar && !(bar->m_style & SL_GUI_WS_DISABLED)) {
    TSLObjPtr<CSL_GS_GuiWindow> barHold(bar);
    bar->OnMouseEnter(keys, i32(i64(x) - bar->m_windowRect.x), i32(i64(y) - bar->m_windowRect.y));
    if (!IsRegistered()) return;
  }
  m_hoverPart = hit;
}

void CSL_GS_GuiWindow::OnNcMouseMove(u32 hit, u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  const bool wasVertical = InVBar(m_hoverPart);
  CSL_GS_GuiScrollBarBase* left = BarPartOfHit(m_hoverPart) ? ScrollBarOf(wasVertical) : nullptr;
  CSL_GS_GuiScrollBarBase* entered = FittingBarOfHit(hit);
  const bool sameBar = left && BarPartOfHit(hit) && InVBar(hit) == wasVertical;
  if (left && !sameBar && !(left->m_style & SL_GUI_WS_DISABLED)) {
    TSLObjPtr<CSL_GS_GuiWindow> barHold(left);
    left->OnMouseLeave();
    if (!IsRegistered()) return;
    entered = FittingBarOfHit(hit);
  }
  if (entered && !(entered->m_style & SL_GUI_WS_DISABLED)) {
    TSLObjPtr<CSL_GS_GuiWindow> barHold(entered);
    const i32 bx = i32(i64(x) - entered->m_windowRect.x), by = i32(i64(y) - entered->m_windowRect.y);
    if (sameBar)
      entered->OnMouseMove(keys, bx, by);
    else
      entered->OnMouseEnter(keys, bx, by);
    if (!IsRegistered()) return;
  }
  m_hoverPart = hit;
}

void CSL_GS_GuiWindow::OnNcMouseLeave() {
  WindowHold hold(this);
  if (m_pressedPart && m_manager && m_manager->GetCaptureWindow() == this) return;
  if (CSL_GS_GuiScrollBarBase* bar = BarPartOfHit(m_hoverPart) ? ScrollBarOf(InVBar(m_hoverPart)) : nullptr) {
    TSLObjPtr<CSL_GS_GuiWindow> barHold(bar);
    bar->OnMouseLeave();
    if (!IsRegistered()) return;
  }
  m_hoverPart = 0;
}

void CSL_GS_GuiWindow::OnMouseMove(u32 keys, i32 x, i32 y) {
  if (!m_pressedPart) {
    m_hoverPart = SL_GUI_HIT_CLIENT;
    return;
  }
  CSL_GS_GuiScrollBarBase* bar = BarPartOfHit(m_pressedPart) ? ScrollBarOf(InVBar(m_pressedPart)) : nullptr;
  if (!bar || (bar->m_style & SL_GUI_WS_DISABLED) || !m_manager) return;
  WindowHold hold(this);
  TSLObjPtr<CSL_GS_GuiWindow> barHold(bar);
  {
    SLErrorKeeper keep;
    m_manager->ClientToScreen(this, &x, &y);
  }
  bar->OnMouseMove(keys, i32(i64(x) - bar->m_windowRect.x), i32(i64(y) - bar->m_windowRect.y));
}

void CSL_GS_GuiWindow::OnLButtonUp(u32 keys, i32 x, i32 y) {
  const u32 pressed = m_pressedPart;
  CSL_GS_GuiScrollBarBase* bar = BarPartOfHit(pressed) ? ScrollBarOf(InVBar(pressed)) : nullptr;
  if (!bar || !m_manager) return;
  WindowHold hold(this);
  TSLObjPtr<CSL_GS_GuiWindow> barHold(bar);
  CSL_GS_GuiManager* manager = m_manager;
  // Cleared before the capture goes, so that the capture loss finds nothing to end.
  m_pressedPart = 0;
  {
    SLErrorKeeper keep;
    manager->KillTimer(this, SL_GUI_TIMER_SCROLL_REPEAT);
  }
  if (manager->GetCaptureWindow() == this) {
    manager->ReleaseCapture();
    if (!StillRegistered()) return;
  }
  {
    SLErrorKeeper keep;
    manager->ClientToScreen(this, &x, &y);
  }
  const bool vertical = InVBar(pressed);
  const i32 bx = i32(i64(x) - bar->m_windowRect.x), by = i32(i64(y) - bar->m_windowRect.y);
  if (bar == ScrollBarOf(vertical) && ScrollBarFits(vertical) && bar->PartAt(bx, by) &&
      !(bar->m_style & SL_GUI_WS_DISABLED))
    bar->OnLButtonUp(keys, bx, by);
  else
    bar->OnCancelMode();
  if (!IsRegistered()) return;
  m_hoverPart = 0;
}

void CSL_GS_GuiWindow::OnTimer(u32 id) {
  if (id != SL_GUI_TIMER_SCROLL_REPEAT || !m_manager || m_manager->GetCaptureWindow() != this) return;
  const bool vertical = InVBar(m_pressedPart);
  if (!BarPartOfHit(m_pressedPart) || !BarPartOfHit(m_hoverPart) || InVBar(m_hoverPart) != vertical) return;
  CSL_GS_GuiScrollBarBase* bar = ScrollBarOf(vertical);
  if (!bar || !(m_style & StyleBit(vertical)) || (bar->m_style & SL_GUI_WS_DISABLED)) return;
  TSLObjPtr<CSL_GS_GuiWindow> barHold(bar);
  bar->OnTimer(SL_GUI_TIMER_SCROLLBAR);
}

void CSL_GS_GuiWindow::EndScrollBarPress() {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  for (bool vertical : {false, true}) {
    if (CSL_GS_GuiScrollBarBase* bar = ScrollBarOf(vertical)) {
      TSLObjPtr<CSL_GS_GuiWindow> barHold(bar);
      bar->OnCancelMode();
      if (!IsRegistered()) return;
    }
  }
  {
    // The auto-repeat of a pressed part stops with the press; most windows have none.
    SLErrorKeeper keep;
    m_manager->KillTimer(this, SL_GUI_TIMER_SCROLL_REPEAT);
  }
  if (!m_pressedPart) return;
  const u32 hover = m_hoverPart;
  OnLButtonUp(1, 0, 0);
  if (!IsRegistered()) return;
  m_hoverPart = hover;
  m_pressedPart = 0;
}
