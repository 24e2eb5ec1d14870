#include "gui/SLGuiWindow.h"

#include <algorithm>

#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/SLMainWindow.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiScrollBar.h"

SL_IMPLEMENT_CLASS(CSL_GS_GuiBaseEvent, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiWindow, CSLObject)

CSL_GS_GuiBaseEvent::CSL_GS_GuiBaseEvent(CSL_GS_GuiWindow* source)
    : m_source(source), m_sourceId(source ? source->GetId() : 0) {}

namespace {

constexpr i32 kUnsetPosition = i32(0x80000000);
// A new size that keeps the window where it is, in place and in z-order.
constexpr u32 kResizeInPlace = SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_NOMOVE | SL_GUI_SWP_NOZORDER;

i32 ClampCoordinate(i32 value) { return std::clamp(value, -32768, 32767); }
i32 ClampSize(i32 value) { return std::clamp(value, 0, 65535); }

// A window's reference for the length of one operation.
using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

}  // namespace

CSL_GS_GuiWindow::CSL_GS_GuiWindow()
    : m_manager(nullptr),
      m_parent(nullptr),
      m_owner(nullptr),
      m_lastFocus(nullptr),
      m_id(0),
      m_style(0),
      m_skin(0),
      m_textFormat(0),
      m_layoutFlags(0),
      m_icon{nullptr, 0, 0},
      m_windowRect{},
      m_clientRect{},
      m_restoreRect{},
      m_maximizedPosition{kUnsetPosition, kUnsetPosition},
      m_opacity(100.0),
      m_hoverPart(0),
      m_pressedPart(0),
      m_hScrollBar(nullptr),
      m_vScrollBar(nullptr),
      m_growBox(nullptr) {
  m_children.InitHead(nullptr);
  m_siblingLink.InitHead(this);
}

CSL_GS_GuiWindow::~CSL_GS_GuiWindow() {
  SLErrorKeeper keep;
  DropScrollBars();
  if (m_parent) m_parent->Release();
  if (m_owner) m_owner->Release();
}

// --- Identity and style ---

bool CSL_GS_GuiWindow::IsRegistered() const { return m_manager && m_manager->IsRegistered(this); }

bool CSL_GS_GuiWindow::StillRegistered() const {
  if (m_manager && m_manager->m_state && m_manager->IsLive(this)) return true;
  return SLFail(SL_E_NOT_INITIALISED, false);
}

u32 CSL_GS_GuiWindow::GetId() const { return IsRegistered() ? m_id : 0; }
u32 CSL_GS_GuiWindow::GetStyle() const { return IsRegistered() ? m_style : 0; }
bool CSL_GS_GuiWindow::IsEnabled() const { return IsRegistered() && !(m_style & SL_GUI_WS_DISABLED); }

bool CSL_GS_GuiWindow::IsVisibleInTree() const {
  if (!IsRegistered()) return false;
  for (const CSL_GS_GuiWindow* w = this; w; w = SLGuiIsChildStyle(w->m_style) ? w->m_parent : nullptr)
    if (!(w->m_style & SL_GUI_WS_VISIBLE)) return false;
  return true;
}

bool CSL_GS_GuiWindow::SetStyle(u32 style) {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  const u32 old = m_style;
  OnStyleChanging(&style);
  if (!StillRegistered()) return false;
  m_style = style;
  OnStyleChanged(style);
  if (!StillRegistered()) return false;
  if ((m_style & SL_GUI_WS_USABLE_MASK) != SL_GUI_WS_VISIBLE) {
    CSL_GS_GuiManager* manager = m_manager;
    OnCancelMode();
    if (!StillRegistered()) return false;
    // A hidden or disabled window can hold neither the capture nor the focus, and
    // neither can anything inside it.
    auto inside = [this](CSL_GS_GuiWindow* w) {
      for (; w; w = SLGuiIsChildStyle(w->m_style) ? w->m_parent : nullptr)
        if (w == this) return true;
      return false;
    };
    if (inside(manager->GetCaptureWindow())) {
      manager->ReleaseCapture();
      if (!StillRegistered()) return false;
    }
    if (inside(manager->GetFocusWindow())) {
      CSL_GS_GuiWindow* parent = SLGuiIsChildStyle(m_style) ? m_parent : nullptr;
      if (!manager->SetFocus(parent) && parent && inside(manager->GetFocusWindow())) manager->SetFocus(nullptr);
      if (!StillRegistered()) return false;
    }
    if (manager->GetActiveWindow() == this) {
      manager->ActivateNextWindow(this);
      if (!StillRegistered()) return false;
    }
  }
  const u32 changed = old ^ m_style;
  if (changed & SL_GUI_WS_DISABLED) {
    OnEnable(!(m_style & SL_GUI_WS_DISABLED));
    if (!StillRegistered()) return false;
  }
  if (changed & SL_GUI_WS_VISIBLE) {
    OnShow((m_style & SL_GUI_WS_VISIBLE) != 0);
    if (!StillRegistered()) return false;
  }
  return SLSucceed(true);
}

bool CSL_GS_GuiWindow::ModifyStyle(u32 remove, u32 add) {
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 style = (m_style & ~remove) | add;
  if (style == m_style) return SLSucceed(true);
  return SetStyle(style);
}

bool CSL_GS_GuiWindow::Enable(bool enable) {
  return enable ? ModifyStyle(SL_GUI_WS_DISABLED, 0) : ModifyStyle(0, SL_GUI_WS_DISABLED);
}

bool CSL_GS_GuiWindow::Show(bool show) {
  return show ? ModifyStyle(0, SL_GUI_WS_VISIBLE) : ModifyStyle(SL_GUI_WS_VISIBLE, 0);
}

bool CSL_GS_GuiWindow::SetText(const char* text) {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!text) text = "";
  if (!CanSetText(text)) {
    if (!StillRegistered()) return false;
    return SLFail(SL_E_CANCELLED, false);
  }
  if (!StillRegistered()) return false;
  m_text = text;
  if (!m_text.CStr() || (*text && m_text.IsEmpty())) return SLFail(SL_E_OUT_OF_MEMORY, false);
  OnTextChanged(&m_text);
  if (!StillRegistered()) return false;
  return SLSucceed(true);
}

const char* CSL_GS_GuiWindow::GetText() {
  if (!IsRegistered()) return "";
  const char* text = m_text.CStr();
  return text ? text : "";
}

bool CSL_GS_GuiWindow::SetTextFormat(u32 format) {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (format == m_textFormat) return SLSucceed(true);
  m_textFormat = format;
  OnTextFormatChanged(format);
  return StillRegistered() ? SLSucceed(true) : false;
}

bool CSL_GS_GuiWindow::SetOpacity(double percent) {
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (percent < 1e-10) percent = 0.0;
  if (percent > 99.9999999999) percent = 100.0;
  m_opacity = percent;
  return SLSucceed(true);
}

double CSL_GS_GuiWindow::GetOpacity() const { return IsRegistered() ? m_opacity : 100.0; }

bool CSL_GS_GuiWindow::SetIcon(SL_GS_Image* image, i32 width, i32 height) {
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  m_icon.image = image;
  m_icon.width = width;
  m_icon.height = height;
  return SLSucceed(true);
}

// --- Geometry ---

bool CSL_GS_GuiWindow::GetScreenRect(i32* x, i32* y, i32* width, i32* height) const {
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  i64 sx = m_windowRect.x, sy = m_windowRect.y;
  for (const CSL_GS_GuiWindow* a = SLGuiIsChildStyle(m_style) ? m_parent : nullptr; a;
       a = SLGuiIsChildStyle(a->m_style) ? a->m_parent : nullptr)
    sx += a->m_clientRect.x, sy += a->m_clientRect.y;
  if (x) *x = i32(sx);
  if (y) *y = i32(sy);
  if (width) *width = m_windowRect.width;
  if (height) *height = m_windowRect.height;
  return SLSucceed(true);
}

bool CSL_GS_GuiWindow::GetScreenRectR(SLGuiRect* rect) const {
  if (!rect) return SLFail(SL_E_NULL_OUTPUT, false);
  return GetScreenRect(&rect->x, &rect->y, &rect->width, &rect->height);
}

bool CSL_GS_GuiWindow::GetClientRect(i32* x, i32* y, i32* width, i32* height) const {
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  if (x) *x = 0;
  if (y) *y = 0;
  if (width) *width = m_clientRect.width;
  if (height) *height = m_clientRect.height;
  return SLSucceed(true);
}

bool CSL_GS_GuiWindow::GetClientRectR(SLGuiRect* rect) const {
  if (!rect) return SLFail(SL_E_NULL_OUTPUT, false);
  return GetClientRect(&rect->x, &rect->y, &rect->width, &rect->height);
}

bool CSL_GS_GuiWindow::SetPosition(i32 x, i32 y, i32 width, i32 height, u32 flags, std::uintptr_t insertAfter) {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  CSL_GS_GuiManager* manager = m_manager;
  SLGuiWindowPos pos{flags, insertAfter, x, y, width, height};
  auto clamp = [&pos] {
    if (!(pos.flags & SL_GUI_SWP_NOMOVE)) pos.x = ClampCoordinate(pos.x), pos.y = ClampCoordinate(pos.y);
    if (!(pos.flags & SL_GUI_SWP_NOSIZE)) pos.width = ClampSize(pos.width), pos.height = ClampSize(pos.height);
  };
  clamp();
  if (!(pos.flags & SL_GUI_SWP_NOCHANGING)) {
    OnPositionChanging(&pos);
    if (!StillRegistered()) return false;
    clamp();
  }
  SLGuiManagerState* state = manager->m_state;
  if (m_style & SL_GUI_WS_VISIBLE)
    pos.flags &= ~SL_GUI_SWP_SHOW;
  else
    pos.flags &= ~SL_GUI_SWP_HIDE;
  if (NeedsPopupPermission() && !state->popupPermission)
    pos.flags &= ~(SL_GUI_SWP_SHOW | SL_GUI_SWP_HIDE);
  state->popupPermission = 0;
  if (pos.width == m_windowRect.width && pos.height == m_windowRect.height) pos.flags &= ~SL_GUI_SWP_NOSIZE;
  if (pos.x == m_windowRect.x && pos.y == m_windowRect.y) pos.flags &= ~SL_GUI_SWP_NOMOVE;

  ZOrderRequest request;
  if (!PlanZOrder(&pos, &request)) return false;
  if (!ApplyPositionRect(&pos)) return false;
  if (request.topmostChange &&
      !(request.topmostChange > 0 ? ModifyStyle(0, SL_GUI_WS_TOPMOST) : ModifyStyle(SL_GUI_WS_TOPMOST, 0)))
    return false;
  if (!(pos.flags & SL_GUI_SWP_NOZORDER)) Restack(pos, request);
  if (!SpreadTopmost()) return false;
  if (!ShowAndActivate(pos)) return false;
  OnPositionChanged(&pos);
  return StillRegistered() ? SLSucceed(true) : false;
}

bool CSL_GS_GuiWindow::PlanZOrder(SLGuiWindowPos* pos, ZOrderRequest* request) {
  *request = ZOrderRequest{};
  const bool topmost = (m_style & SL_GUI_WS_TOPMOST) != 0;
  if (!(pos->flags & SL_GUI_SWP_KEEPZORDER)) {
    if (pos->insertAfter == SL_GUI_HWND_TOPMOST) {
      if (!topmost) request->topmostChange = 1;
    } else if (pos->insertAfter != 0 && topmost) {
      request->topmostChange = -1;
    }
    pos->flags &= ~SL_GUI_SWP_NOZORDER;
    request->toHead = true;
    return true;
  }
  if (pos->flags & SL_GUI_SWP_NOZORDER) return true;
  switch (pos->insertAfter) {
    case 0:
    case SL_GUI_HWND_TOP:
      request->toHead = true;
      break;
    case SL_GUI_HWND_BOTTOM:
      break;
    case SL_GUI_HWND_TOPMOST:
      if (topmost)
        pos->flags |= SL_GUI_SWP_NOZORDER;
      else
        request->topmostChange = 1, request->toHead = true;
      break;
    case SL_GUI_HWND_NOTOPMOST:
      if (topmost)
        request->topmostChange = -1, request->toHead = true;
      else
        pos->flags |= SL_GUI_SWP_NOZORDER;
      break;
    default: {
      CSL_GS_GuiWindow* after = reinterpret_cast<CSL_GS_GuiWindow*>(pos->insertAfter);
      if (!m_manager->IsLive(after) || after->m_parent != m_parent ||
          SLGuiIsChildStyle(after->m_style) != SLGuiIsChildStyle(m_style))
        return SLFail(SL_E_INVALID_ARG, false);
      request->after = after;
      // Placing a window after itself leaves it where it is.
      if (after == this) pos->flags |= SL_GUI_SWP_NOZORDER;
    }
  }
  return true;
}

bool CSL_GS_GuiWindow::ApplyPositionRect(SLGuiWindowPos* pos) {
  if (!(pos->flags & SL_GUI_SWP_NOSIZE)) {
    m_windowRect.width = pos->width, m_windowRect.height = pos->height;
    pos->flags |= SL_GUI_SWP_SIZED;
  }
  if (!(pos->flags & SL_GUI_SWP_NOMOVE)) {
    m_windowRect.x = pos->x, m_windowRect.y = pos->y;
    pos->flags |= SL_GUI_SWP_MOVED;
  }
  SLGuiRect client = m_windowRect;
  GetClientArea(&client);
  if (!StillRegistered()) return false;
  client.width = std::max(client.width, 0);
  client.height = std::max(client.height, 0);
  m_clientRect = client;
  // Internal bars live in screen coordinates: they follow the new client area now.
  EnsureHScrollBar(SL_GUI_SB_ENSURE_LAYOUT);
  EnsureVScrollBar(SL_GUI_SB_ENSURE_LAYOUT);
  return StillRegistered();
}

void CSL_GS_GuiWindow::Restack(const SLGuiWindowPos& pos, const ZOrderRequest& request) {
  CSL_GS_GuiManager* manager = m_manager;
  SLGuiListNode* head = manager->ListOf(this);
  m_siblingLink.Unlink();
  if (request.after)
    m_siblingLink.InsertAfter(&request.after->m_siblingLink);
  else if (request.toHead)
    m_siblingLink.InsertAfter(head);
  else
    m_siblingLink.InsertAfter(head->prev);
  // An owned window takes its owner chain along, each owner right behind the window it owns.
  if ((m_style & SL_GUI_WS_OWNED) && !(pos.flags & SL_GUI_SWP_NOOWNERZORDER) && !SLGuiIsChildStyle(m_style)) {
    SLGuiListNode* previous = &m_siblingLink;
    for (CSL_GS_GuiWindow* o = m_owner; o && o != this; o = o->m_owner) {
      if (!manager->IsLive(o)) break;
      o->m_siblingLink.Unlink();
      o->m_siblingLink.InsertAfter(previous);
      previous = &o->m_siblingLink;
      if (!(o->m_style & SL_GUI_WS_OWNED)) break;
    }
  }
}

bool CSL_GS_GuiWindow::SpreadTopmost() {
  CSL_GS_GuiManager* manager = m_manager;
  if (SLGuiIsChildStyle(m_style)) {
    manager->SortWindowZOrder(m_parent);
    return StillRegistered();
  }
  // A topmost window lifts what it owns; an owned window below the topmost band pulls
  // its owner chain down with it.
  if (m_style & SL_GUI_WS_TOPMOST) {
    SLGuiManagerState* state = manager->m_state;
    TSLArray<CSL_GS_GuiWindow*> owned;
    for (SLGuiListNode* n : SLListWalk(&state->topLevelWindows))
      if (n->window != this && manager->IsOwnedBy(n->window, this) && !(n->window->m_style & SL_GUI_WS_TOPMOST))
        if (!owned.Add(n->window)) return false;
    for (CSL_GS_GuiWindow* w : owned) {
      WindowHold ownedHold(w);
      if (manager->IsLive(w)) w->ModifyStyle(0, SL_GUI_WS_TOPMOST);
      if (!StillRegistered()) return false;
    }
  } else if (m_style & SL_GUI_WS_OWNED) {
    for (CSL_GS_GuiWindow* o = m_owner; o && o != this && manager->IsLive(o);
         o = (o->m_style & SL_GUI_WS_OWNED) ? o->m_owner : nullptr) {
      WindowHold ownerHold(o);
      o->ModifyStyle(SL_GUI_WS_TOPMOST, 0);
      if (!StillRegistered()) return false;
    }
  }
  manager->SortWindowZOrder(nullptr);
  return StillRegistered();
}

bool CSL_GS_GuiWindow::ShowAndActivate(const SLGuiWindowPos& pos) {
  CSL_GS_GuiManager* manager = m_manager;
  bool shownOrHidden = false;
  if (pos.flags & SL_GUI_SWP_HIDE) {
    if (!Show(false)) return false;
    shownOrHidden = true;
  }
  if (pos.flags & SL_GUI_SWP_SHOW) {
    if (!Show(true)) return false;
    shownOrHidden = true;
  }
  if (!(pos.flags & (SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_HIDE)) && !SLGuiIsChildStyle(m_style)) {
    manager->ActivateWindow(this);
    if (!StillRegistered()) return false;
  }
  if (shownOrHidden) {
    manager->ShowOwnedWindows(this, (m_style & SL_GUI_WS_VISIBLE) != 0);
    if (!StillRegistered()) return false;
  }
  return true;
}

bool CSL_GS_GuiWindow::Move(i32 x, i32 y) {
  return SetPosition(x, y, 0, 0, SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_NOSIZE | SL_GUI_SWP_NOZORDER, std::uintptr_t(0));
}
bool CSL_GS_GuiWindow::SetRect(i32 x, i32 y, i32 width, i32 height) {
  return SetPosition(x, y, width, height, SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_NOZORDER, std::uintptr_t(0));
}
bool CSL_GS_GuiWindow::SetRectR(const SLGuiRect& rect) { return SetRect(rect.x, rect.y, rect.width, rect.height); }
bool CSL_GS_GuiWindow::BringToTop() {
  return SetPosition(0, 0, 0, 0, SL_GUI_SWP_NOMOVE | SL_GUI_SWP_NOSIZE, SL_GUI_HWND_TOP);
}
bool CSL_GS_GuiWindow::HideWindow() {
  return SetPosition(0, 0, 0, 0, SL_GUI_SWP_HIDE | SL_GUI_SWP_NOZORDER | SL_GUI_SWP_NOSIZE | SL_GUI_SWP_NOMOVE,
                     std::uintptr_t(0));
}

bool CSL_GS_GuiWindow::CenterOnWindow(CSL_GS_GuiWindow* other) {
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  i32 areaWidth = 65535, areaHeight = 65535;
  if (other) {
    if (!other->IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
    areaWidth = other->m_clientRect.width;
    areaHeight = other->m_clientRect.height;
  } else if (CSL_GS_BaseGfx* gfx = m_manager->GetGfx()) {
    areaWidth = i32(gfx->GetWidth());
    areaHeight = i32(gfx->GetHeight());
  }
  return Move((areaWidth - m_windowRect.width) / 2, (areaHeight - m_windowRect.height) / 2);
}

bool CSL_GS_GuiWindow::SizeToImage(SL_GS_Image* image) {
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  if (!image) return SLFail(SL_E_INDEX, false);
  CSL_GS_BaseGfx* gfx = m_manager->GetGfx();
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  SL_GS_ImageInfo info;
  if (!gfx->GetImageInfo(image, &info)) return false;
  return SetPosition(0, 0, i32(info.width), i32(info.height), kResizeInPlace, std::uintptr_t(0));
}

bool CSL_GS_GuiWindow::SetClientSize(i32 width, i32 height) {
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  width = std::max(width, 0);
  height = std::max(height, 0);
  const i64 w = i64(m_windowRect.width) - m_clientRect.width + width;
  const i64 h = i64(m_windowRect.height) - m_clientRect.height + height;
  return SetPosition(0, 0, i32(std::clamp<i64>(w, 0, 65535)), i32(std::clamp<i64>(h, 0, 65535)), kResizeInPlace,
                     std::uintptr_t(0));
}

void CSL_GS_GuiWindow::FillMinMaxInfo(SLGuiMinMaxInfo* info, bool maxTrackIsMaxSize) {
  info->position = {m_windowRect.x, m_windowRect.y};
  i32 width = 65535, height = 65535;
  if (SLGuiIsChildStyle(m_style) && m_parent) {
    width = m_parent->m_clientRect.width;
    height = m_parent->m_clientRect.height;
  } else if (CSL_GS_BaseGfx* gfx = m_manager ? m_manager->GetGfx() : nullptr) {
    width = i32(gfx->GetWidth());
    height = i32(gfx->GetHeight());
  }
  info->maxSize = {width, height};
  if (m_maximizedPosition.x != kUnsetPosition && m_maximizedPosition.y != kUnsetPosition)
    info->maxPosition = m_maximizedPosition;
  else
    info->maxPosition = {0, 0};
  info->minTrackSize = {2, 2};
  info->maxTrackSize = maxTrackIsMaxSize ? info->maxSize : SLGuiPoint{65535, 65535};
}

bool CSL_GS_GuiWindow::Minimize() {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  if (IsMinimized()) return StillRegistered() ? SLSucceed(true) : false;
  if (!StillRegistered()) return false;
  if (!CanMinimize()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!StillRegistered()) return false;
  const bool maximized = IsMaximized();
  if (!StillRegistered()) return false;
  if (maximized) {
    m_layoutFlags |= SL_GUI_LAYOUT_WAS_MAXIMIZED;
  } else {
    m_layoutFlags &= ~SL_GUI_LAYOUT_WAS_MAXIMIZED;
    m_restoreRect = m_windowRect;
  }
  if (!ModifyStyle(SL_GUI_WS_MAXIMIZED, SL_GUI_WS_MINIMIZED)) return false;
  return SetRect(0, 0, m_icon.width ? m_icon.width : 32, m_icon.height ? m_icon.height : 32);
}

// Puts the window into the maximized style and rectangle (Maximize, and Restore of a
// window that was maximized when it was minimized).
bool CSL_GS_GuiWindow::ApplyMinMaxAndStyle(u32 remove, u32 add, bool) {
  SLGuiMinMaxInfo info;
  FillMinMaxInfo(&info, true);
  GetMinMaxInfo(&info);
  if (!StillRegistered()) return false;
  if (!ModifyStyle(remove, add)) return false;
  return SetRect(info.maxPosition.x, info.maxPosition.y, info.maxSize.x, info.maxSize.y);
}

bool CSL_GS_GuiWindow::Maximize() {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  if (IsMaximized()) return StillRegistered() ? SLSucceed(true) : false;
  if (!StillRegistered()) return false;
  if (!CanMaximize()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!StillRegistered()) return false;
  m_restoreRect = m_windowRect;
  return ApplyMinMaxAndStyle(SL_GUI_WS_MINIMIZED, SL_GUI_WS_MAXIMIZED, true);
}

bool CSL_GS_GuiWindow::Restore() {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  const bool minimized = IsMinimized();
  if (!StillRegistered()) return false;
  if (minimized) {
    const bool canMaximize = CanMaximize();
    if (!StillRegistered()) return false;
    if (!canMaximize) m_layoutFlags &= ~SL_GUI_LAYOUT_WAS_MAXIMIZED;
    if (m_layoutFlags & SL_GUI_LAYOUT_WAS_MAXIMIZED)
      return ApplyMinMaxAndStyle(SL_GUI_WS_MINIMIZED, SL_GUI_WS_MAXIMIZED, true);
  } else {
    const bool maximized = IsMaximized();
    if (!StillRegistered()) return false;
    if (!maximized) return SLSucceed(true);
  }
  const SLGuiRect target = m_restoreRect;
  if (!ModifyStyle(SL_GUI_WS_MINIMIZED | SL_GUI_WS_MAXIMIZED, 0)) return false;
  return SetRectR(target);
}

// --- Virtual operations: the base behaviour ---

bool CSL_GS_GuiWindow::IsMinimized() { return (m_style & SL_GUI_WS_MINIMIZED) != 0; }
bool CSL_GS_GuiWindow::IsMaximized() { return (m_style & SL_GUI_WS_MAXIMIZED) != 0; }
bool CSL_GS_GuiWindow::CanMinimize() { return false; }
bool CSL_GS_GuiWindow::CanMaximize() { return false; }

u32 CSL_GS_GuiWindow::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  if (m_manager && m_manager->GetFocusWindow() == this) return SL_GUI_STATE_FOCUSED;
  return SL_GUI_STATE_NORMAL;
}

u32 CSL_GS_GuiWindow::GetDialogCode() { return 0; }

namespace {

// Notifications climb to the parent, then the owner, then the manager; the first
// non-zero answer ends the climb. Scroll notifications (kScroll) climb the other way
// round: a window answering 0 stops the scroll, and a window destroyed meanwhile lets it
// go on. `ask` makes the call on one window of the chain.
//
// Only the window at the top of the chain asks the manager: a parent or owner that did
// not handle the notification has asked it already on its own way up, and asking again
// from every level would hand one button's command to the manager once per level.
template <bool kScroll, class AskWindow, class AskManager>
bool Bubble(CSL_GS_GuiWindow* self, AskWindow ask, AskManager askManager) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(self);
  if (!self->IsRegistered()) return kScroll;
  CSL_GS_GuiManager* manager = self->GetManager();
  bool climbed = false;
  for (CSL_GS_GuiWindow* next : {SLGuiIsChildStyle(self->GetStyle()) ? self->GetParentLink() : nullptr,
                                 (self->GetStyle() & SL_GUI_WS_OWNED) ? self->GetOwnerLink() : nullptr}) {
    if (!next) continue;
    TSLObjPtr<CSL_GS_GuiWindow> nextHold(next);
    if (!next->IsRegistered()) continue;
    if (ask(next) != kScroll) return !kScroll;
    if (!self->IsRegistered()) return kScroll;
    climbed = true;
  }
  return climbed ? kScroll : askManager(manager);
}

}  // namespace

bool CSL_GS_GuiWindow::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  return Bubble<false>(
      this, [&](CSL_GS_GuiWindow* w) { return w->GetTextStyle(window, state, font, color); },
      [&](CSL_GS_GuiManager* m) { return m->OnQueryTextStyle(window, state, font, color); });
}
bool CSL_GS_GuiWindow::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  return Bubble<false>(
      this, [&](CSL_GS_GuiWindow* w) { return w->OnCommand(source, id); },
      [&](CSL_GS_GuiManager* m) { return m->OnCommand(source, id); });
}
bool CSL_GS_GuiWindow::OnNotify(CSL_GS_GuiWindow* source, u32 code) {
  return Bubble<false>(
      this, [&](CSL_GS_GuiWindow* w) { return w->OnNotify(source, code); },
      [&](CSL_GS_GuiManager* m) { return m->OnNotify(source, code); });
}
bool CSL_GS_GuiWindow::OnEvent(CSL_GS_GuiBaseEvent* event) {
  return Bubble<false>(
      this, [&](CSL_GS_GuiWindow* w) { return w->OnEvent(event); },
      [&](CSL_GS_GuiManager* m) { return m->OnEvent(event); });
}
bool CSL_GS_GuiWindow::OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  return Bubble<true>(
      this, [&](CSL_GS_GuiWindow* w) { return w->OnHScroll(source, code, newPosition, oldPosition); },
      [&](CSL_GS_GuiManager* m) { return m->OnHScroll(source, code, newPosition, oldPosition); });
}
bool CSL_GS_GuiWindow::OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  return Bubble<true>(
      this, [&](CSL_GS_GuiWindow* w) { return w->OnVScroll(source, code, newPosition, oldPosition); },
      [&](CSL_GS_GuiManager* m) { return m->OnVScroll(source, code, newPosition, oldPosition); });
}

bool CSL_GS_GuiWindow::OnCreate() { return true; }
void CSL_GS_GuiWindow::OnClose() {}
void CSL_GS_GuiWindow::OnActivate(bool, CSL_GS_GuiWindow*, bool, bool) {}

void CSL_GS_GuiWindow::OnPositionChanging(SLGuiWindowPos* pos) {
  if (pos->flags & SL_GUI_SWP_NOSIZE) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLGuiMinMaxInfo info;
  FillMinMaxInfo(&info, false);
  GetMinMaxInfo(&info);
  if (!IsRegistered()) return;
  const i32 maxWidth = std::max(info.maxTrackSize.x, info.minTrackSize.x);
  const i32 maxHeight = std::max(info.maxTrackSize.y, info.minTrackSize.y);
  pos->width = std::min(pos->width, maxWidth);
  pos->height = std::min(pos->height, maxHeight);
  if (!(m_style & SL_GUI_WS_MINIMIZED)) {
    pos->width = std::max(pos->width, info.minTrackSize.x);
    pos->height = std::max(pos->height, info.minTrackSize.y);
  }
}

void CSL_GS_GuiWindow::OnPositionChanged(SLGuiWindowPos* pos) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  i32 x = 0, y = 0, width = 0, height = 0;
  if (pos->flags & SL_GUI_SWP_MOVED) {
    if (!GetScreenRect(&x, &y, &width, &height)) return;
    OnMove(x, y);
  }
  if (pos->flags & SL_GUI_SWP_SIZED) {
    if (!GetScreenRect(&x, &y, &width, &height)) return;
    OnSize(width, height);
  }
}

void CSL_GS_GuiWindow::OnSize(i32, i32) {}
void CSL_GS_GuiWindow::OnMove(i32, i32) {}
void CSL_GS_GuiWindow::OnStyleChanging(u32*) {}
void CSL_GS_GuiWindow::OnStyleChanged(u32) {}
void CSL_GS_GuiWindow::OnEnable(bool) {}
void CSL_GS_GuiWindow::OnShow(bool) {}
void CSL_GS_GuiWindow::OnTextFormatChanged(u32) {}
bool CSL_GS_GuiWindow::CanSetText(const char*) { return true; }
void CSL_GS_GuiWindow::OnTextChanged(CSLStringAnsi*) {}

void CSL_GS_GuiWindow::OnCancelMode() {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (!IsRegistered()) return;
  CSL_GS_GuiManager* manager = m_manager;
  if (!SLGuiIsChildStyle(m_style)) {
    manager->CloseMenus(this);
    if (!IsRegistered()) return;
  }
  if (manager->GetCaptureWindow() == this) {
    manager->ReleaseCapture();
    if (!IsRegistered()) return;
  }
  EndScrollBarPress();
}

void CSL_GS_GuiWindow::OnCaptureLost(CSL_GS_GuiWindow*) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (IsRegistered()) EndScrollBarPress();
}

void CSL_GS_GuiWindow::GetMinMaxInfo(SLGuiMinMaxInfo*) {}
void CSL_GS_GuiWindow::OnSetFocus(CSL_GS_GuiWindow*) {}
void CSL_GS_GuiWindow::OnKillFocus(CSL_GS_GuiWindow*) {}
void CSL_GS_GuiWindow::Draw(const SLGuiRect*) {}

void CSL_GS_GuiWindow::OnNcLButtonDblClk(u32 hit, u32 keys, i32 x, i32 y) { OnNcLButtonDown(hit, keys, x, y); }
void CSL_GS_GuiWindow::OnNcLButtonUp(u32, u32, i32, i32) {}
void CSL_GS_GuiWindow::OnNcMButtonDblClk(u32, u32, i32, i32) {}
void CSL_GS_GuiWindow::OnNcMButtonDown(u32, u32, i32, i32) {}
void CSL_GS_GuiWindow::OnNcMButtonUp(u32, u32, i32, i32) {}
void CSL_GS_GuiWindow::OnNcRButtonDblClk(u32, u32, i32, i32) {}
void CSL_GS_GuiWindow::OnNcRButtonDown(u32, u32, i32, i32) {}
void CSL_GS_GuiWindow::OnNcRButtonUp(u32, u32, i32, i32) {}
void CSL_GS_GuiWindow::ReservedGuiSlot50(u32, u32, u32) {}
void CSL_GS_GuiWindow::OnLButtonDblClk(u32, i32, i32) {}
void CSL_GS_GuiWindow::OnLButtonDown(u32, i32, i32) {}
void CSL_GS_GuiWindow::OnMButtonDblClk(u32, i32, i32) {}
void CSL_GS_GuiWindow::OnMButtonDown(u32, i32, i32) {}
void CSL_GS_GuiWindow::OnMButtonUp(u32, i32, i32) {}
void CSL_GS_GuiWindow::OnRButtonDblClk(u32, i32, i32) {}
void CSL_GS_GuiWindow::OnRButtonDown(u32, i32, i32) {}
void CSL_GS_GuiWindow::OnRButtonUp(u32, i32, i32) {}
void CSL_GS_GuiWindow::ReservedGuiSlot63(u32, u32, u32, u32) {}

void CSL_GS_GuiWindow::OnMouseEnter(u32, i32, i32) {
  // A held scroll-bar part keeps showing as hovered while the window holds the capture.
  const bool holdingBarPart = m_pressedPart && m_hoverPart == m_pressedPart && m_manager &&
                              m_manager->GetCaptureWindow() == this;
  if (!holdingBarPart) m_hoverPart = SL_GUI_HIT_CLIENT;
}
void CSL_GS_GuiWindow::OnMouseLeave() { m_hoverPart = 0; }
void CSL_GS_GuiWindow::OnKeyDown(u32) {}
void CSL_GS_GuiWindow::OnKeyUp(u32 key) { OnSysKeyUp(key); }
void CSL_GS_GuiWindow::OnChar(u32) {}

void CSL_GS_GuiWindow::OnSysKeyDown(u32 key) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (key != SL_GUI_KEY_F4 || !IsRegistered()) return;
  CSL_GS_GuiManager* manager = m_manager;
  if (!((manager->GetKeyState(SL_GUI_KEY_LALT) | manager->GetKeyState(SL_GUI_KEY_RALT)) & SL_GUI_KEYF_DOWN)) return;
  CSL_GS_GuiWindow* top = manager->GetTopLevelAncestor(this);
  if (!top || !top->ClosesOnAltF4()) return;
  TSLObjPtr<CSL_GS_GuiWindow> topHold(top);
  if (CSL_GS_MainWindow* mainWindow = manager->GetMainWindow()) mainWindow->DiscardCloseRequests();
  if (top->IsRegistered()) top->OnClose();
}

void CSL_GS_GuiWindow::OnSysKeyUp(u32) {}

void CSL_GS_GuiWindow::OnKeyPressed(u32 key) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (!IsRegistered()) return;
  if (key == SL_GUI_KEY_ENTER && (m_style & SL_GUI_WS_MINIMIZED)) {
    Restore();
    if (!IsRegistered()) return;
  }
  if (SLGuiIsChildStyle(m_style) && m_parent) {
    TSLObjPtr<CSL_GS_GuiWindow> parentHold(m_parent);
    if (m_parent->IsRegistered()) m_parent->OnKeyPressed(key);
  }
}

u32 CSL_GS_GuiWindow::GetCursorShape(CSL_GS_GuiWindow* window, u32 hit) {
  if ((hit >= SL_GUI_HIT_FRAME_PARTS_FIRST && hit <= SL_GUI_HIT_FRAME_PARTS_LAST) || !SLGuiIsChildStyle(m_style) || !m_parent || !IsRegistered()) return 0;
  TSLObjPtr<CSL_GS_GuiWindow> parentHold(m_parent);
  return m_parent->IsRegistered() ? m_parent->GetCursorShape(window, hit) : 0;
}

void CSL_GS_GuiWindow::OnMenuStart(bool) {}
void CSL_GS_GuiWindow::OnMenuEnd(bool) {}
void CSL_GS_GuiWindow::OnInitMenu(CSL_GS_GuiMenuPopup*) {}
void CSL_GS_GuiWindow::OnInitMenuPopup(CSL_GS_GuiMenuPopup*) {}
void CSL_GS_GuiWindow::OnGfxChanged(CSL_GS_BaseGfx*) {}
void CSL_GS_GuiWindow::OnSfxChanged(CSL_GS_BaseSfx*) {}
void CSL_GS_GuiWindow::OnSkinChanged(u32) {}
