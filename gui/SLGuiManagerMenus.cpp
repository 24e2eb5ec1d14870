// Menu tracking: opening a context menu or a window's menu bar, the open path of
// submenus, the mouse and keys of an open menu and the chosen command.
//
// The open menus live in one stack: the root (in window-menu mode the menu bar itself)
// and, breadth first, every submenu reachable from it, each with the index of the entry
// whose item opens it. Any notification sent from here (OnMenuStart, OnInitMenu,
// OnInitMenuPopup, the show and hide of a popup, the command) may close or destroy the
// menus, their owner or the whole manager, so every step asks again whether the menus are
// still open. Every way out clears the guards it set, so a failure never leaves the next
// menu refusing to open.
#include <algorithm>

#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "gui/SLGuiWindowSnapshot.h"

using SLInternals::CSLGuiWindowSnapshot;

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

constexpr u32 kRootParent = 0xFFFFFFFF;
constexpr u32 kShowFlags = SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_SHOW;  // shown, topmost, top of the list
constexpr u32 kHideFlags =
    SL_GUI_SWP_HIDE | SL_GUI_SWP_NOMOVE | SL_GUI_SWP_NOSIZE | SL_GUI_SWP_NOZORDER | SL_GUI_SWP_KEEPZORDER;

enum { kMenuStart, kMenuEnd, kInitMenu, kInitMenuPopup };

CSL_GS_GuiMenuPopup* AsMenu(CSL_GS_GuiWindow* w) { return static_cast<CSL_GS_GuiMenuPopup*>(w); }

}  // namespace

// --- Queries ---

i32 CSL_GS_GuiManager::FindMenuEntry(const CSL_GS_GuiWindow* popup) const {
  const auto& stack = *m_state->menuStack;
  for (u32 i = 0; i < stack.GetCount(); ++i)
    if (stack[i].first == popup) return i32(i);
  return -1;
}

bool CSL_GS_GuiManager::IsMenuOpen(CSL_GS_GuiWindow* popup) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  return SLSucceed(popup && FindMenuEntry(popup) >= 0);
}

CSL_GS_GuiMenuPopup* CSL_GS_GuiManager::GetCurrentMenu() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, static_cast<CSL_GS_GuiMenuPopup*>(nullptr));
  return SLSucceed(m_state->menuStack->GetCount() ? m_state->currentPopup : nullptr);
}

bool CSL_GS_GuiManager::IsContextMenuTracked() {
  if (!m_state) return false;
  return m_state->menuStack->GetCount() != 0 && m_state->windowMenuMode == 0;
}

bool CSL_GS_GuiManager::MenuStillOpen(const SLGuiShutdownWatch& watch) const {
  return !watch.ShutDown() && m_state->menuStack->GetCount() != 0;
}

// --- Opening ---

bool CSL_GS_GuiManager::CollectMenus(CSL_GS_GuiMenuPopup* root) {
  auto& stack = *m_state->menuStack;
  stack.SetSize(0);
  if (!stack.InsertAt(root, kRootParent, 0)) return false;
  // Breadth first; a menu already collected is never added again, so no shape of the
  // submenu links makes this run forever.
  for (u32 i = 0; i < stack.GetCount(); ++i) {
    CSL_GS_GuiMenuPopup* menu = AsMenu(stack[i].first);
    menu->m_onOpenPath = false;
    if (i > 0) menu->m_highlighted = -1;
    for (const SLGuiMenuItem& item : menu->m_items) {
      CSL_GS_GuiMenuPopup* sub = item.submenu;
      if (!sub || !IsLive(sub) || (FindEntry(sub)->flags & SL_GUI_REG_DESTROYING) || FindMenuEntry(sub) >= 0) continue;
      if (!stack.InsertAt(sub, i, stack.GetCount())) {
        stack.SetSize(0);
        return false;
      }
    }
  }
  return true;
}

bool CSL_GS_GuiManager::ShowPopup(CSL_GS_GuiMenuPopup* popup, i32 x, i32 y, i32 width, i32 height, bool show) {
  WindowHold hold(popup);
  m_state->popupPermission = 1;
  if (show)
    popup->SetPosition(x, y, width, height, kShowFlags, std::uintptr_t(SL_GUI_HWND_TOPMOST));
  else
    popup->SetPosition(0, 0, 0, 0, kHideFlags, std::uintptr_t(0));
  if (m_state) m_state->popupPermission = 0;
  return m_state && IsLive(popup) && ((popup->m_style & SL_GUI_WS_VISIBLE) != 0) == show;
}

void CSL_GS_GuiManager::SendMenuNotification(CSL_GS_GuiWindow* owner, int kind, CSL_GS_GuiMenuPopup* menu,
                                            bool context) {
  if (owner && !IsLive(owner)) return;
  WindowHold hold(owner);
  switch (kind) {
    case kMenuStart: owner ? owner->OnMenuStart(context) : OnMenuStart(context); break;
    case kMenuEnd: owner ? owner->OnMenuEnd(context) : OnMenuEnd(context); break;
    case kInitMenu: owner ? owner->OnInitMenu(menu) : OnInitMenu(menu); break;
    default: owner ? owner->OnInitMenuPopup(menu) : OnInitMenuPopup(menu); break;
  }
}

bool CSL_GS_GuiManager::TrackPopupMenu(CSL_GS_GuiMenuPopup* popup, i32 x, i32 y, CSL_GS_GuiWindow* owner,
                                       u32 flags) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  SLGuiManagerState* s = m_state;
  if (s->closingMenus || s->openingMenu || s->trackingMenu) return SLSucceed(true);
  const SLGuiShutdownWatch watch(this);
  {
    SLErrorKeeper keep;
    CloseMenus(nullptr);
  }
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  s->trackingMenu = 1;
  auto fail = [this, &watch](u32 code) {
    if (!watch.ShutDown()) {
      m_state->trackingMenu = 0;
      SLErrorKeeper keep;
      CloseMenus(nullptr);
    }
    return SLFail(watch.ShutDown() ? SL_E_NOT_INITIALISED : code, false);
  };
  const bool windowMenu = s->windowMenuRequest != 0;
  if (windowMenu) {
    popup = nullptr;
    if (owner && IsLive(owner) && owner->IsKindOf(CSL_GS_GuiTopLevelWindow::GetClassRecord()))
      popup = static_cast<CSL_GS_GuiTopLevelWindow*>(owner)->GetMenu();
  }
  // Windows on their way out take no part in a new menu.
  auto usable = [this](CSL_GS_GuiWindow* w) {
    const SLGuiRegistryEntry* entry = FindEntry(w);
    return entry && !(entry->flags & SL_GUI_REG_DESTROYING);
  };
  if (!popup || !usable(popup) || !popup->IsKindOf(CSL_GS_GuiMenuPopup::GetClassRecord()))
    return fail(SL_E_INVALID_ARG);
  if (owner && (!usable(owner) || owner->IsKindOf(CSL_GS_GuiMenuPopup::GetClassRecord())))
    return fail(SL_E_INVALID_ARG);
  // A context menu is a popup of its own, never somebody's menu bar.
  if (!windowMenu && popup->m_attachedWindow) return fail(SL_E_BUSY);
  WindowHold popupHold(popup), ownerHold(owner);
  if (!CollectMenus(popup)) return fail(SL_E_OUT_OF_MEMORY);
  s->menuOwner = owner;
  s->firstInput = 1;
  s->hoverStart = 0;
  s->currentPopup = nullptr;
  popup->m_onOpenPath = true;
  i32 screenWidth = 65535, screenHeight = 65535;
  if (s->gfx) screenWidth = i32(std::min<u32>(s->gfx->GetWidth(), 65535)), screenHeight = i32(std::min<u32>(s->gfx->GetHeight(), 65535));

  if (!windowMenu) {
    s->windowMenuMode = 0;
    s->ignoreFirstRelease = 1;
    s->barOpen = 0;
    popup->m_highlighted = -1;
    i32 width = 0, height = 0;
    popup->LayoutPopup(&width, &height);
    height = std::min(height, screenHeight);
    i64 left = x, top = y;
    switch (flags & 3) {
      case 1: left = i64(x) - width; break;
      case 2: left = i64(x) - width / 2; break;
      default: break;
    }
    switch (flags & 12) {
      case 4: top = i64(y) - height; break;
      case 8: break;
      default: top = i64(y) - height / 2; break;
    }
    // A menu that should end at the point but has no room before it opens just past the
    // point instead, when it fits there: the pointer stays off its entries.
    if ((flags & 3) == 1 && left < 0 && i64(x) + 1 + width <= screenWidth) left = i64(x) + 1;
    if ((flags & 12) == 4 && top < 0 && i64(y) + 1 + height <= screenHeight) top = i64(y) + 1;
    if (left + width > screenWidth) left = i64(screenWidth) - width;
    if (top + height > screenHeight) top = i64(screenHeight) - height;
    left = std::clamp<i64>(left, 0, 32767);
    top = std::clamp<i64>(top, 0, 32767);
    if (!ShowPopup(popup, i32(left), i32(top), width, height, true)) return fail(SL_E_GUI_DESTROYED);
    if (!MenuStillOpen(watch)) return fail(SL_E_GUI_DESTROYED);
    s->currentPopup = popup;
  } else {
    auto* window = static_cast<CSL_GS_GuiTopLevelWindow*>(owner);
    s->windowMenuMode = 1;
    s->ignoreFirstRelease = 0;
    s->barOpen = x != 0 ? 1 : 0;
    SLGuiRect screen{}, bar{};
    window->GetScreenRectR(&screen);
    const SLGuiPoint origin = window->GetFrameOrigin();
    popup->GetBarRect(&bar);
    s->barX = screen.x + origin.x;
    s->barY = screen.y + origin.y;
    s->barHeight = bar.height;
    i32 item = -1;
    if (x != 0 || y != 0) item = window->MenuItemFromPoint(x - screen.x, y - screen.y);
    if (item < 0) item = popup->FindSelectableItem(1, 0);
    if (item < 0) return fail(SL_E_GUI_DESTROYED);
    popup->m_highlighted = item;
    s->currentPopup = popup;
    CSL_GS_GuiMenuPopup* sub = popup->m_items[u32(item)].submenu;
    if (s->barOpen && sub && IsLive(sub)) {
      sub->m_highlighted = -1;
      if (OpenMenuPopup(sub) && MenuStillOpen(watch)) s->currentPopup = sub;
      if (!MenuStillOpen(watch)) return fail(SL_E_GUI_DESTROYED);
    }
  }

  s->trackingMenu = 0;
  const bool context = s->windowMenuMode == 0;
  SendMenuNotification(owner, kMenuStart, nullptr, context);
  if (!MenuStillOpen(watch)) return fail(SL_E_GUI_DESTROYED);
  SendMenuNotification(owner, kInitMenu, popup, context);
  if (!MenuStillOpen(watch)) return fail(SL_E_GUI_DESTROYED);
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::TrackOwnerMenu(CSL_GS_GuiWindow* owner, i32 x, i32 y, u32 flags) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (m_state->closingMenus || m_state->openingMenu || m_state->trackingMenu) return SLSucceed(true);
  const SLGuiShutdownWatch watch(this);
  m_state->windowMenuRequest = 1;
  const bool opened = TrackPopupMenu(nullptr, x, y, owner, flags);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  m_state->windowMenuRequest = 0;
  return opened;
}

bool CSL_GS_GuiManager::PlaceSubmenu(u32 entry, i32 width, i32* x, i32* y, i32* height) {
  SLGuiManagerState* s = m_state;
  const auto& stack = *s->menuStack;
  CSL_GS_GuiMenuPopup* menu = AsMenu(stack[entry].first);
  const u32 parentIndex = stack[entry].second;
  if (parentIndex >= stack.GetCount()) return false;
  CSL_GS_GuiMenuPopup* parent = AsMenu(stack[parentIndex].first);
  if (!IsLive(parent)) return false;
  i32 item = -1;
  for (u32 i = 0; i < parent->m_items.GetCount(); ++i)
    if (parent->m_items[i].submenu == menu) item = i32(i);
  if (item < 0) return false;
  i64 screenWidth = 65535, screenHeight = 65535;
  if (s->gfx) screenWidth = std::min<u32>(s->gfx->GetWidth(), 65535), screenHeight = std::min<u32>(s->gfx->GetHeight(), 65535);
  *height = i32(std::min<i64>(*height, screenHeight));
  SLGuiRect r;
  i64 left, top;
  if (s->windowMenuMode && parentIndex == 0) {
    // Under the bar at the item; above the bar when there is no room below.
    parent->GetItemRect(true, u32(item), &r);
    left = i64(s->barX) + r.x;
    top = i64(s->barY) + s->barHeight;
    if (top + *height > screenHeight) top = std::max<i64>(0, i64(s->barY) - *height);
    if (left + width > screenWidth) left = std::max<i64>(0, screenWidth - width);
  } else {
    // Beside the parent, level with the item; on the left when the right has no room.
    parent->GetItemRect(false, u32(item), &r);
    SLGuiRect p{};
    parent->GetScreenRectR(&p);
    left = i64(p.x) + p.width;
    top = i64(p.y) + r.y;
    if (left + width > screenWidth) left = std::max<i64>(0, i64(p.x) - width);
    if (top + *height > screenHeight) top = std::max<i64>(0, screenHeight - *height);
  }
  *x = i32(std::clamp<i64>(left, -32768, 32767));
  *y = i32(std::clamp<i64>(top, -32768, 32767));
  return true;
}

bool CSL_GS_GuiManager::OpenMenuPopup(CSL_GS_GuiMenuPopup* popup) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  SLGuiManagerState* s = m_state;
  const i32 at = popup && IsLive(popup) ? FindMenuEntry(popup) : -1;
  if (at < 0) return SLFail(SL_E_INVALID_ARG, false);
  if (s->openingMenu || s->closingMenus) return SLSucceed(true);
  const SLGuiShutdownWatch watch(this);
  auto& stack = *s->menuStack;
  for (auto& entry : stack) AsMenu(entry.first)->m_onOpenPath = false;
  for (u32 i = u32(at), steps = 0; i < stack.GetCount() && steps <= stack.GetCount(); i = stack[i].second, ++steps)
    AsMenu(stack[i].first)->m_onOpenPath = true;
  s->openingMenu = 1;
  // A notification closed the menus: the opening ends quietly.
  auto closed = [this, &watch]() {
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
    m_state->openingMenu = 0;
    SLErrorKeeper keep;
    CloseMenus(nullptr);
    return SLSucceed(false);
  };
  for (u32 i = s->windowMenuMode ? 1 : 0; i < stack.GetCount(); ++i) {
    CSL_GS_GuiMenuPopup* menu = AsMenu(stack[i].first);
    if (!IsLive(menu)) continue;
    WindowHold hold(menu);
    const bool visible = (menu->m_style & SL_GUI_WS_VISIBLE) != 0;
    if (!menu->m_onOpenPath && visible) {
      menu->m_highlighted = -1;
      ShowPopup(menu, 0, 0, 0, 0, false);
    } else if (menu->m_onOpenPath && !visible) {
      SendMenuNotification(s->menuOwner, kInitMenuPopup, menu, s->windowMenuMode == 0);
      if (!MenuStillOpen(watch) || !IsLive(menu) || FindMenuEntry(menu) != i32(i)) return closed();
      i32 width = 0, height = 0, x = 0, y = 0;
      menu->LayoutPopup(&width, &height);
      if (i == 0 || !PlaceSubmenu(i, width, &x, &y, &height)) continue;
      ShowPopup(menu, x, y, width, height, true);
    }
    if (!MenuStillOpen(watch)) return closed();
  }
  s->openingMenu = 0;
  return SLSucceed(true);
}

// --- Closing ---

bool CSL_GS_GuiManager::CloseMenus(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  SLGuiManagerState* s = m_state;
  if (s->closingMenus || s->menuStack->GetCount() == 0) return SLSucceed(true);
  if (window) {
    if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, false);
    bool related = FindMenuEntry(window) >= 0;
    if (!related && !window->IsKindOf(CSL_GS_GuiMenuPopup::GetClassRecord()))
      for (CSL_GS_GuiWindow* w = s->menuOwner; w && !related; w = w->m_parent ? w->m_parent : w->m_owner)
        related = w == window;
    if (!related) return SLFail(SL_E_GUI_MENU_UNRELATED, false);
  }
  const SLGuiShutdownWatch watch(this);
  s->closingMenus = 1;
  CSLGuiWindowSnapshot popups;
  for (auto& entry : *s->menuStack) popups.Add(entry.first);
  s->menuStack->SetSize(0);
  CSL_GS_GuiWindow* owner = s->menuOwner;
  WindowHold ownerHold(owner);
  const bool context = s->windowMenuMode == 0;
  s->menuOwner = nullptr;
  s->currentPopup = nullptr;
  s->hoverStart = 0;
  s->barOpen = 0;
  for (CSL_GS_GuiWindow* w : popups) {
    if (!IsLive(w)) continue;
    AsMenu(w)->m_highlighted = -1;
    AsMenu(w)->m_onOpenPath = false;
    if (w->m_style & SL_GUI_WS_VISIBLE) ShowPopup(AsMenu(w), 0, 0, 0, 0, false);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  }
  // A handler of the end may open the next menu at once.
  s->closingMenus = 0;
  SendMenuNotification(owner, kMenuEnd, nullptr, context);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  return SLSucceed(true);
}

void CSL_GS_GuiManager::ReleaseMenuLinks(CSL_GS_GuiWindow* window) {
  SLErrorKeeper keep;
  const SLGuiShutdownWatch watch(this);
  if (window->IsKindOf(CSL_GS_GuiTopLevelWindow::GetClassRecord())) {
    auto* framed = static_cast<CSL_GS_GuiTopLevelWindow*>(window);
    if (CSL_GS_GuiMenuPopup* menu = framed->m_menu) {
      WindowHold hold(menu);
      if (IsLive(menu))
        DestroyWindow(menu);
      else if (framed->m_menu == menu)
        framed->m_menu = nullptr, menu->m_attachedWindow = nullptr, menu->Release();
    }
    return;
  }
  if (!window->IsKindOf(CSL_GS_GuiMenuPopup::GetClassRecord())) return;
  CSL_GS_GuiMenuPopup* menu = AsMenu(window);
  if (CSL_GS_GuiMenuPopup* parent = menu->m_parentMenu) {
    for (SLGuiMenuItem& item : parent->m_items)
      if (item.submenu == menu) item.submenu = nullptr;
    menu->m_parentMenu = nullptr;
  }
  if (CSL_GS_GuiTopLevelWindow* framed = menu->m_attachedWindow) {
    menu->m_attachedWindow = nullptr;
    if (framed->m_menu == menu) {
      framed->m_menu = nullptr;
      WindowHold hold(framed);
      menu->Release();
      // The client area grows back over the bar.
      if (IsLive(framed))
        framed->SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH_LAYOUT, std::uintptr_t(0));
      if (watch.ShutDown()) return;
    }
  }
  CSLGuiWindowSnapshot submenus;
  for (SLGuiMenuItem& item : menu->m_items)
    if (item.submenu) {
      submenus.Add(item.submenu);
      item.submenu->m_parentMenu = nullptr;
      item.submenu = nullptr;
    }
  for (CSL_GS_GuiWindow* sub : submenus) {
    if (IsLive(sub)) DestroyWindow(sub);
    if (watch.ShutDown()) return;
  }
}
