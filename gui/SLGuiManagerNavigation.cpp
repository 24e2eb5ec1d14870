// The dialog keyboard navigation: what Tab, the arrows, Enter, Escape and the mnemonics
// do in a dialog before the focus window sees the key. `root` is the top-level window
// of the window the key is for; its direct children are the dialog's controls.
//
// Each control tells through GetDialogCode which keys it keeps: an edit keeps the
// characters and the arrows, a multi-line edit every key, a push button none. Handlers
// called from here (GetDialogCode, OnCommand, the focus notifications) may destroy any
// window, so every walk works on a snapshot holding references and asks the registry
// after each call.
#include "foundation/SLCaseMap.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "gui/SLGuiWindowSnapshot.h"

using SLInternals::CSLGuiWindowSnapshot;

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

// The character after the first single "&" of a text ("&&" stands for "&" itself), or
// 0 when the text has none.
u8 MnemonicOf(const char* text) {
  for (const char* p = text; p && *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '&') {
      ++p;
      continue;
    }
    return u8(p[1]);
  }
  return 0;
}

bool IsArrow(u32 code) { return code >= SL_GUI_KEY_LEFT && code <= SL_GUI_KEY_DOWN; }

// A push button that does not keep the arrows moves through its group with them.
bool InArrowGroup(u32 dialogCode) {
  return !(dialogCode & SL_GUI_DLGC_WANTARROWS) && (dialogCode & SL_GUI_DLGC_BUTTON);
}

}  // namespace

bool CSL_GS_GuiManager::IsUsableInTree(CSL_GS_GuiWindow* window) const {
  for (CSL_GS_GuiWindow* w = window; w; w = ParentOf(w))
    if ((w->m_style & SL_GUI_WS_USABLE_MASK) != SL_GUI_WS_VISIBLE) return false;
  return true;
}

bool CSL_GS_GuiManager::IsTabStop(CSL_GS_GuiWindow* window) const {
  return IsLive(window) && (window->m_style & SL_GUI_WS_TABSTOP) && IsUsableInTree(window);
}

u32 CSL_GS_GuiManager::ProcessKeyboardNavigation(CSL_GS_GuiWindow* window, u32 code, u32 flags) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!window || !IsLive(window)) return SLFail(SL_E_INVALID_ARG, 0u);
  const SLGuiShutdownWatch watch(this);
  WindowHold hold(window);
  CSL_GS_GuiWindow* root = TopLevelOf(window);
  WindowHold rootHold(root);
  const u32 dialogCode = window->GetDialogCode();
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, 0u);
  if (!IsLive(window) || !IsLive(root)) return SLFail(SL_E_GUI_DESTROYED, 0u);
  SLSetLastError(SL_OK);
  if (dialogCode & SL_GUI_DLGC_WANTALLKEYS) return SL_GUI_NAV_DELIVER;

  if (!(flags & (SL_GUI_NAV_KEYDOWN | SL_GUI_NAV_CHAR))) {
    // Releases. Alt or F10 released without having been used opens the window menu of a
    // framed window.
    if (code == SL_GUI_KEY_LALT || code == SL_GUI_KEY_RALT || code == SL_GUI_KEY_F10) {
      const u32 bit = code == SL_GUI_KEY_LALT ? 1 : code == SL_GUI_KEY_RALT ? 2 : 4;
      if (m_state->menuKeySuppress & bit) {
        m_state->menuKeySuppress &= ~bit;
        return SL_GUI_NAV_CONSUMED;
      }
      if (!root->IsKindOf(CSL_GS_GuiTopLevelWindow::GetClassRecord())) return SL_GUI_NAV_DELIVER;
      CSL_GS_GuiMenuPopup* menu = static_cast<CSL_GS_GuiTopLevelWindow*>(root)->GetMenu();
      if (menu && FindMenuEntry(menu) < 0) {
        SLErrorKeeper keep;
        TrackOwnerMenu(root, 0, 0, 0);
      }
      if (!watch.ShutDown()) SLSetLastError(SL_OK);
      return SL_GUI_NAV_CONSUMED;
    }
    if (code > SL_GUI_KEY_DOWN) return SL_GUI_NAV_DELIVER;
    if (IsArrow(code)) return InArrowGroup(dialogCode) ? SL_GUI_NAV_CONSUMED : SL_GUI_NAV_DELIVER;
    if (code == SL_GUI_KEY_TAB) return (dialogCode & SL_GUI_DLGC_WANTTAB) ? SL_GUI_NAV_DELIVER : SL_GUI_NAV_CONSUMED;
    if (code == SL_GUI_KEY_ENTER) return (dialogCode & SL_GUI_DLGC_BUTTON) ? SL_GUI_NAV_DELIVER : SL_GUI_NAV_CONSUMED;
    return SL_GUI_NAV_DELIVER;
  }

  if (flags & SL_GUI_NAV_KEYDOWN) {
    // Alt used with another key (Alt+F4, Alt+letter) opens no window menu on its release.
    if (code != SL_GUI_KEY_LALT && code != SL_GUI_KEY_RALT) {
      const u8* key = m_state->keyState;
      if (key[SL_GUI_KEY_LALT] & SL_GUI_KEYF_DOWN) m_state->menuKeySuppress |= 1;
      if (key[SL_GUI_KEY_RALT] & SL_GUI_KEYF_DOWN) m_state->menuKeySuppress |= 2;
    }
    if (IsArrow(code))
      return InArrowGroup(dialogCode) ? NavigateArrows(window, code == SL_GUI_KEY_RIGHT || code == SL_GUI_KEY_DOWN)
                                      : SL_GUI_NAV_DELIVER;
    if (code > SL_GUI_KEY_ESCAPE) return SL_GUI_NAV_DELIVER;
    if (code == SL_GUI_KEY_TAB && !(dialogCode & SL_GUI_DLGC_WANTTAB)) {
      const u8* key = m_state->keyState;
      return NavigateTab(window, root, ((key[SL_GUI_KEY_LSHIFT] | key[SL_GUI_KEY_RSHIFT]) & SL_GUI_KEYF_DOWN) != 0);
    }
    if (code == SL_GUI_KEY_ENTER)
      return (dialogCode & SL_GUI_DLGC_BUTTON) ? SL_GUI_NAV_DELIVER : PressDialogButton(root, false);
    if (code == SL_GUI_KEY_ESCAPE) return PressDialogButton(root, true);
    return SL_GUI_NAV_DELIVER;
  }

  // Characters. With Alt only the window menu's mnemonics apply.
  if ((flags & SL_GUI_NAV_ALT) || IsAltHeld()) return NavigateWindowMenu(root, code);
  if (dialogCode & SL_GUI_DLGC_WANTCHARS) return SL_GUI_NAV_DELIVER;
  if (code == SL_GUI_KEY_TAB && (dialogCode & SL_GUI_DLGC_WANTTAB)) return SL_GUI_NAV_DELIVER;
  const u32 answer = NavigateMnemonic(window, root, code);
  if (answer != SL_GUI_NAV_DELIVER || watch.ShutDown() || !IsLive(root)) return answer;
  return NavigateWindowMenu(root, code);
}

u32 CSL_GS_GuiManager::NavigateWindowMenu(CSL_GS_GuiWindow* root, u32 character) {
  // Alt+mnemonic of a bar item: an enabled item opens the window menu and is entered as
  // with Enter; a disabled one closes the menus.
  if (!IsAltHeld() || !IsLive(root) || !root->IsKindOf(CSL_GS_GuiTopLevelWindow::GetClassRecord()))
    return SL_GUI_NAV_DELIVER;
  CSL_GS_GuiMenuPopup* menu = static_cast<CSL_GS_GuiTopLevelWindow*>(root)->GetMenu();
  if (!menu || !IsLive(menu)) return SL_GUI_NAV_DELIVER;
  const i32 item = menu->FindMnemonicItem(character);
  if (item < 0) return SL_GUI_NAV_DELIVER;
  const SLGuiShutdownWatch watch(this);
  WindowHold menuHold(menu);
  SLErrorKeeper keep;
  const u8* key = m_state->keyState;
  if (key[SL_GUI_KEY_LALT] & SL_GUI_KEYF_DOWN) m_state->menuKeySuppress |= 1;
  if (key[SL_GUI_KEY_RALT] & SL_GUI_KEYF_DOWN) m_state->menuKeySuppress |= 2;
  if (menu->GetItemStyle(u32(item)) & (u32(SL_GUI_WS_DISABLED) | u32(SL_GUI_MF_DISABLED))) {
    CloseMenus(nullptr);
    return SL_GUI_NAV_CONSUMED;
  }
  if (FindMenuEntry(menu) != 0 && !TrackOwnerMenu(root, 0, 0, 0)) return SL_GUI_NAV_CONSUMED;
  if (watch.ShutDown() || FindMenuEntry(menu) != 0 || u32(item) >= menu->GetItemCount()) return SL_GUI_NAV_CONSUMED;
  menu->SetHighlightedItem(item);
  m_state->currentPopup = menu;
  ProcessMenuInput(true);
  return SL_GUI_NAV_CONSUMED;
}

u32 CSL_GS_GuiManager::NavigateTab(CSL_GS_GuiWindow* window, CSL_GS_GuiWindow* root, bool backward) {
  const SLGuiShutdownWatch watch(this);
  CSLGuiWindowSnapshot controls;
  if (!controls.AddList(&root->m_children, false)) return SL_GUI_NAV_CONSUMED;
  const u32 count = controls.GetCount();
  auto focus = [&](CSL_GS_GuiWindow* w) {
    SetFocus(w);
    if (!watch.ShutDown()) SLSetLastError(SL_OK);
    return SL_GUI_NAV_STOP;
  };
  if (window == root) {
    // No control has the focus: the walk starts at the dialog's first tab stop (its last
    // going backward).
    for (u32 k = 0; k < count; ++k) {
      CSL_GS_GuiWindow* w = controls[backward ? count - 1 - k : k];
      if (w->m_parent == root && IsTabStop(w)) return focus(w);
    }
    return SL_GUI_NAV_CONSUMED;
  }
  CSL_GS_GuiWindow* start = window;
  while (ParentOf(start) != root) start = ParentOf(start);
  u32 at = 0;
  while (at < count && controls[at] != start) ++at;
  if (at == count) return SL_GUI_NAV_CONSUMED;
  // Forward wraps once past the last control; backward stops at the first.
  for (u32 step = 1; step < count; ++step) {
    if (backward && step > at) break;
    CSL_GS_GuiWindow* w = controls[backward ? at - step : (at + step) % count];
    if (w->m_parent == root && IsTabStop(w)) return focus(w);
  }
  return SL_GUI_NAV_CONSUMED;
}

u32 CSL_GS_GuiManager::NavigateArrows(CSL_GS_GuiWindow* window, bool forward) {
  const SLGuiShutdownWatch watch(this);
  CSLGuiWindowSnapshot siblings;
  if (!siblings.AddList(ListOf(window), false)) return SL_GUI_NAV_DELIVER;
  // The group is the run of push buttons around the window.
  TSLArray<bool> button;
  u32 at = siblings.GetCount();
  for (u32 i = 0; i < siblings.GetCount(); ++i) {
    CSL_GS_GuiWindow* w = siblings[i];
    const bool isButton = w == window || (IsLive(w) && (w->GetDialogCode() & SL_GUI_DLGC_BUTTON));
    if (watch.ShutDown()) return SL_GUI_NAV_DELIVER;
    if (!button.Add(isButton)) return SL_GUI_NAV_DELIVER;
    if (w == window) at = i;
  }
  if (at == siblings.GetCount() || !IsLive(window)) return SL_GUI_NAV_DELIVER;
  u32 first = at, last = at;
  while (first > 0 && button[first - 1]) --first;
  while (last + 1 < siblings.GetCount() && button[last + 1]) ++last;
  const u32 size = last - first + 1;
  for (u32 step = 1; step < size; ++step) {
    const u32 offset = forward ? (at - first + step) % size : (at - first + size - step) % size;
    CSL_GS_GuiWindow* w = siblings[first + offset];
    if (IsLive(w) && IsUsableInTree(w)) {
      SetFocus(w);
      if (!watch.ShutDown()) SLSetLastError(SL_OK);
      return SL_GUI_NAV_STOP;
    }
  }
  return SL_GUI_NAV_DELIVER;
}

u32 CSL_GS_GuiManager::PressDialogButton(CSL_GS_GuiWindow* root, bool escape) {
  // Enter presses the default button, else the button with id 1 ("Aceptar"); Escape the
  // button with id 2 ("Cancelar").
  const SLGuiShutdownWatch watch(this);
  CSLGuiWindowSnapshot controls;
  if (!controls.AddList(&root->m_children, false)) return SL_GUI_NAV_DELIVER;
  CSL_GS_GuiWindow* chosen = nullptr;
  for (int pass = escape ? 1 : 0; pass < 2 && !chosen; ++pass) {
    for (CSL_GS_GuiWindow* w : controls) {
      if (!IsLive(w) || w->m_parent != root || (w->m_style & SL_GUI_WS_USABLE_MASK) != SL_GUI_WS_VISIBLE ||
          !w->IsKindOf(CSL_GS_GuiButton::GetClassRecord()))
        continue;
      bool match;
      if (pass == 0) {
        constexpr u32 kDefault = SL_GUI_DLGC_BUTTON | SL_GUI_DLGC_DEFBUTTON;
        match = (w->GetDialogCode() & kDefault) == kDefault;
        if (watch.ShutDown()) return SL_GUI_NAV_DELIVER;
        if (!IsLive(w)) continue;
      } else {
        match = w->m_id == (escape ? 2u : 1u);
      }
      if (match) {
        chosen = w;
        break;
      }
    }
  }
  if (!chosen || !IsLive(root)) return SL_GUI_NAV_DELIVER;
  root->OnCommand(chosen, chosen->m_id);
  if (!watch.ShutDown()) SLSetLastError(SL_OK);
  return SL_GUI_NAV_CONSUMED;
}

u32 CSL_GS_GuiManager::NavigateMnemonic(CSL_GS_GuiWindow* window, CSL_GS_GuiWindow* root, u32 character) {
  const SLGuiShutdownWatch watch(this);
  if (character > 0xFF) return SL_GUI_NAV_DELIVER;
  const u8 wanted = SLToUpperA(u8(character));
  CSLGuiWindowSnapshot controls;
  if (!controls.AddList(&root->m_children, false)) return SL_GUI_NAV_DELIVER;
  for (CSL_GS_GuiWindow* w : controls) {
    if (!IsLive(w) || w->m_parent != root || !IsUsableInTree(w)) continue;
    const u8 mnemonic = MnemonicOf(w->m_text.CStr());
    if (!mnemonic || SLToUpperA(mnemonic) != wanted) continue;
    const u32 dialogCode = w->GetDialogCode();
    if (watch.ShutDown()) return SL_GUI_NAV_DELIVER;
    if (!IsLive(w) || !IsLive(root) || !(dialogCode & (SL_GUI_DLGC_BUTTON | SL_GUI_DLGC_STATIC))) continue;
    if (dialogCode & SL_GUI_DLGC_BUTTON) {
      root->OnCommand(w, w->m_id);
      if (!watch.ShutDown()) SLSetLastError(SL_OK);
      return SL_GUI_NAV_CONSUMED;
    }
    // A label gives the focus to the control after the window that got the character,
    // as Tab would.
    if (!IsLive(window)) return SL_GUI_NAV_CONSUMED;
    const u32 answer = NavigateTab(window, root, false);
    return answer;
  }
  return SL_GUI_NAV_DELIVER;
}
