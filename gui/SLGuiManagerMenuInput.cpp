// The input of open menus: while any menu is open the manager's tick hands the pointer,
// the buttons, the keys and the character to this tracker instead of the windows.
//
// The pointer selects the item under it; resting 500 ms on an item opens its submenu
// (or closes deeper ones). A press on an item opens its submenu at once; releasing the
// left button on an item without one chooses it; a click outside every menu closes them
// all and reaches no window. The keys move the selection of the deepest open menu.
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

constexpr u32 kSubmenuDelayMs = 500;

CSL_GS_GuiMenuPopup* AsMenu(CSL_GS_GuiWindow* w) { return static_cast<CSL_GS_GuiMenuPopup*>(w); }

}  // namespace

// Opens the submenu `popup` (or, for a menu already on the path, closes what lies
// deeper) and makes it the menu the keys move.
bool CSL_GS_GuiManager::OpenLevel(CSL_GS_GuiMenuPopup* popup, bool selectFirst) {
  const SLGuiShutdownWatch watch(this);
  if (!popup || !IsLive(popup) || FindMenuEntry(popup) < 0) return false;
  WindowHold hold(popup);
  const bool wasOpen = popup->m_onOpenPath && (popup->m_style & SL_GUI_WS_VISIBLE);
  if (!wasOpen && FindMenuEntry(popup) > 0) popup->m_highlighted = selectFirst ? popup->FindSelectableItem(1, 0) : -1;
  const bool opened = OpenMenuPopup(popup);
  if (!MenuStillOpen(watch) || !IsLive(popup)) return false;
  if (opened) m_state->currentPopup = popup;
  return opened;
}

void CSL_GS_GuiManager::MoveOnBar(bool forward) {
  SLGuiManagerState* s = m_state;
  CSL_GS_GuiMenuPopup* bar = AsMenu((*s->menuStack)[0].first);
  const i32 next = bar->FindSelectableItem(forward ? 2 : 3, bar->m_highlighted);
  if (next < 0) return;
  bar->m_highlighted = next;
  CSL_GS_GuiMenuPopup* sub = bar->m_items[u32(next)].submenu;
  if (s->barOpen && sub && FindMenuEntry(sub) >= 0)
    OpenLevel(sub, true);
  else
    OpenLevel(bar, false);
}

void CSL_GS_GuiManager::ChooseMenuItem(CSL_GS_GuiMenuPopup* popup, i32 item) {
  if (!IsLive(popup) || popup->FindSelectableItem(4, item) != 1) return;
  const u32 id = popup->m_items[u32(item)].id;
  CSL_GS_GuiWindow* owner = m_state->menuOwner;
  WindowHold ownerHold(owner);
  const SLGuiShutdownWatch watch(this);
  {
    SLErrorKeeper keep;
    CloseMenus(nullptr);
  }
  if (watch.ShutDown()) return;
  if (!owner)
    OnCommand(nullptr, id);
  else if (IsLive(owner))
    owner->OnCommand(nullptr, id);
}

void CSL_GS_GuiManager::HandleMenuKey(u32 key) {
  SLGuiManagerState* s = m_state;
  const SLGuiShutdownWatch watch(this);
  CSL_GS_GuiMenuPopup* current = s->currentPopup;
  const i32 at = current ? FindMenuEntry(current) : -1;
  if (at < 0) return;
  WindowHold hold(current);
  const bool windowMenu = s->windowMenuMode != 0;
  const u32 parent = (*s->menuStack)[u32(at)].second;
  const bool onBar = windowMenu && at == 0;
  // The first level of a window menu: the bar, or a menu dropped down from it.
  const bool firstLevel = windowMenu && (at == 0 || parent == 0);
  const i32 selected = current->m_highlighted;
  CSL_GS_GuiMenuPopup* sub =
      selected >= 0 && u32(selected) < current->m_items.GetCount() ? current->m_items[u32(selected)].submenu : nullptr;
  if (sub && FindMenuEntry(sub) < 0) sub = nullptr;
  switch (key) {
    case SL_GUI_KEY_UP:
    case SL_GUI_KEY_DOWN:
      current->m_highlighted =
          selected < 0 ? current->FindSelectableItem(1, 0)
                       : current->FindSelectableItem(key == SL_GUI_KEY_DOWN ? 2 : 3, selected);
      break;
    case SL_GUI_KEY_RIGHT:
      if (sub && current->FindSelectableItem(4, selected) == 1) {
        if (onBar) s->barOpen = 1;
        OpenLevel(sub, true);
      } else if (windowMenu) {
        MoveOnBar(true);
      }
      break;
    case SL_GUI_KEY_LEFT:
      if (firstLevel)
        MoveOnBar(false);
      else if (parent < s->menuStack->GetCount())
        OpenLevel(AsMenu((*s->menuStack)[parent].first), false);
      break;
    case SL_GUI_KEY_ENTER:
      if (current->FindSelectableItem(4, selected) != 1) break;
      if (sub) {
        if (onBar) s->barOpen = 1;
        OpenLevel(sub, true);
      } else {
        ChooseMenuItem(current, selected);
      }
      break;
    case SL_GUI_KEY_ESCAPE:
      if (at == 0) {
        CloseMenus(nullptr);
      } else if (parent < s->menuStack->GetCount()) {
        // Back from a dropped-down menu the bar stays selected, closed.
        if (windowMenu && parent == 0) s->barOpen = 0;
        OpenLevel(AsMenu((*s->menuStack)[parent].first), false);
      }
      break;
    default: {
      const u32 bit = key == SL_GUI_KEY_LALT ? 1 : key == SL_GUI_KEY_RALT ? 2 : key == SL_GUI_KEY_F10 ? 4 : 0;
      if (!bit) break;
      s->menuKeySuppress |= bit;
      CloseMenus(nullptr);
    }
  }
  (void)watch;
}

void CSL_GS_GuiManager::ProcessMenuInput(bool asEnter) {
  if (!m_state) return (void)SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  SLGuiManagerState* s = m_state;
  if (s->menuStack->GetCount() == 0) return (void)SLSucceed(true);
  const SLGuiShutdownWatch watch(this);
  SLErrorKeeper keep;

  // The first tick takes the mouse away from the windows.
  const bool firstTick = s->firstInput != 0;
  if (s->firstInput) {
    s->firstInput = 0;
    if (s->captureWindow) ReleaseCapture();
    if (!MenuStillOpen(watch)) return;
    CSL_GS_GuiWindow* windows[2] = {s->previousHoverWindow, s->hoverWindow};
    const u32 hits[2] = {s->previousHitCode, s->hitCode};
    s->previousHoverWindow = s->hoverWindow = nullptr;
    s->previousHitCode = s->hitCode = 0;
    for (int i = 0; i < 2; ++i) {
      CSL_GS_GuiWindow* w = windows[i];
      if (!w || !IsLive(w) || (i == 1 && w == windows[0])) continue;
      WindowHold hold(w);
      hits[i] == SL_GUI_HIT_CLIENT ? w->OnMouseLeave() : w->OnNcMouseLeave();
      if (!MenuStillOpen(watch)) return;
    }
  }
  if (asEnter) {
    HandleMenuKey(SL_GUI_KEY_ENTER);
    return;
  }

  // What lies under the pointer: an item of an open popup, a bar item, or nothing.
  const i32 mouseX = s->mouseX, mouseY = s->mouseY;
  u32 hit = 0;
  CSL_GS_GuiWindow* under = WindowFromPoint(mouseX, mouseY, nullptr, &hit, true, false);
  if (watch.ShutDown()) return;
  CSL_GS_GuiMenuPopup* menu = nullptr;
  i32 item = -1;
  bool onBar = false;
  if (under && IsLive(under) && FindMenuEntry(under) >= 0 && (under->m_style & SL_GUI_WS_VISIBLE)) {
    menu = AsMenu(under);
    SLGuiRect r{};
    menu->GetScreenRectR(&r);
    item = menu->ItemFromPoint(false, mouseX - r.x, mouseY - r.y);
  } else if (s->windowMenuMode && under && under == s->menuOwner && hit == SL_GUI_HIT_MENUBAR) {
    auto* window = static_cast<CSL_GS_GuiTopLevelWindow*>(under);
    menu = AsMenu((*s->menuStack)[0].first);
    onBar = true;
    SLGuiRect r{};
    window->GetScreenRectR(&r);
    item = window->MenuItemFromPoint(mouseX - r.x, mouseY - r.y);
  } else if (!firstTick) {
    // Off the menus a later release closes them. A release in the menu's first tick is
    // still the one that opened it, though the pointer rests beside a menu that ends at it.
    s->ignoreFirstRelease = 0;
  }
  WindowHold menuHold(menu);
  CSL_GS_GuiMenuPopup* sub = menu && item >= 0 ? menu->m_items[u32(item)].submenu : nullptr;
  if (sub && FindMenuEntry(sub) < 0) sub = nullptr;

  const bool moved = mouseX != s->previousMouseX || mouseY != s->previousMouseY;
  if (!moved) {
    if (menu && !onBar && item >= 0 && s->hoverStart && s->now - s->hoverStart >= kSubmenuDelayMs) {
      s->hoverStart = 0;
      sub ? OpenLevel(sub, false) : OpenLevel(menu, false);
      if (!MenuStillOpen(watch)) return;
    }
  } else if (menu && onBar) {
    s->hoverStart = 0;
    if (item >= 0 && item != menu->m_highlighted) {
      menu->m_highlighted = item;
      if (s->barOpen) sub ? OpenLevel(sub, false) : OpenLevel(menu, false);
      if (!MenuStillOpen(watch)) return;
    }
  } else if (menu && item >= 0) {
    menu->m_highlighted = item;
    s->hoverStart = s->now ? s->now : 1;
  } else {
    s->hoverStart = 0;
    if (menu)
      menu->m_highlighted = -1;
    else if (s->currentPopup && IsLive(s->currentPopup) && !(s->windowMenuMode && s->currentPopup == (*s->menuStack)[0].first))
      s->currentPopup->m_highlighted = -1;
  }

  for (u32 i = 0; i < 3; ++i) {
    const u8 button = s->buttonState[i];
    if (!(button & SL_GUI_KEYF_CHANGED)) continue;
    const bool down = (button & SL_GUI_KEYF_DOWN) != 0;
    if (i == 0 && !down && s->ignoreFirstRelease) {
      s->ignoreFirstRelease = 0;
      continue;
    }
    if (i == 0) s->ignoreFirstRelease = 0;
    if (!menu) {
      CloseMenus(nullptr);
      return;
    }
    if (item < 0) continue;
    if (down) {
      menu->m_highlighted = item;
      if (onBar) s->barOpen = 1;
      sub ? OpenLevel(sub, false) : OpenLevel(menu, false);
    } else if (i == 0 && !sub) {
      ChooseMenuItem(menu, item);
    }
    if (!MenuStillOpen(watch)) return;
  }

  static constexpr u32 kKeys[] = {SL_GUI_KEY_ENTER, SL_GUI_KEY_ESCAPE, SL_GUI_KEY_LEFT, SL_GUI_KEY_UP,
                                  SL_GUI_KEY_RIGHT, SL_GUI_KEY_DOWN,   SL_GUI_KEY_LALT, SL_GUI_KEY_RALT,
                                  SL_GUI_KEY_F10};
  for (u32 key : kKeys) {
    const u8 state = s->keyState[key];
    if (!(state & SL_GUI_KEYF_DOWN)) continue;
    const bool pressed = (state & SL_GUI_KEYF_CHANGED) != 0;
    const bool repeat = (state & SL_GUI_KEYF_REPEAT) != 0;
    const bool menuKey = key == SL_GUI_KEY_LALT || key == SL_GUI_KEY_RALT || key == SL_GUI_KEY_F10;
    if (!pressed && (!repeat || menuKey)) continue;
    HandleMenuKey(key);
    if (!MenuStillOpen(watch)) return;
  }

  if (const u32 character = s->nextChar) {
    CSL_GS_GuiMenuPopup* target = s->currentPopup;
    if (!target || !IsLive(target) || FindMenuEntry(target) < 0) return;
    const i32 found = target->FindMnemonicItem(character);
    if (found < 0) return;
    target->m_highlighted = found;
    HandleMenuKey(SL_GUI_KEY_ENTER);
  }
}
