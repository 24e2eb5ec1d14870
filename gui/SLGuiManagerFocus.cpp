// Focus, capture, activation, z-order and hit testing of the GUI manager.
//
// Each operation holds a reference on the windows it notifies and, after each
// notification, asks the registry again: a handler may destroy any window, or shut the
// whole manager down (then the generation count moved on and the operation stops
// without touching the state it started with).
#include <algorithm>

#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "gui/SLGuiWindowSnapshot.h"

using SLInternals::CSLGuiWindowSnapshot;
using WindowPtr = CSL_GS_GuiWindow*;
using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

CSL_GS_GuiWindow* CSL_GS_GuiManager::ParentOf(CSL_GS_GuiWindow* window) {
  return SLGuiIsChildStyle(window->m_style) ? window->m_parent : nullptr;
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::TopLevelOf(CSL_GS_GuiWindow* window) {
  while (CSL_GS_GuiWindow* parent = ParentOf(window)) window = parent;
  return window;
}

bool CSL_GS_GuiManager::IsOwnedBy(CSL_GS_GuiWindow* window, CSL_GS_GuiWindow* owner) const {
  for (CSL_GS_GuiWindow* w = window; w && (w->m_style & SL_GUI_WS_OWNED) && !SLGuiIsChildStyle(w->m_style);) {
    w = w->m_owner;
    if (w == owner) return true;
    if (w == window) break;
  }
  return false;
}

// --- Focus and capture ---

CSL_GS_GuiWindow* CSL_GS_GuiManager::SetFocus(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  SLCriticalSectionLock lock(&m_stateLock);
  if (m_state->inSetFocus) return SLSucceed(WindowPtr());
  if (window == m_state->focusWindow) return SLSucceed(window);
  if (window) {
    if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, WindowPtr());
    for (CSL_GS_GuiWindow* w = window; w; w = SLGuiIsChildStyle(w->m_style) ? w->m_parent : nullptr)
      if ((w->m_style & (SL_GUI_WS_USABLE_MASK | SL_GUI_WS_MINIMIZED)) != SL_GUI_WS_VISIBLE)
        return SLFail(SL_E_INVALID_ARG, WindowPtr());
  }
  const SLGuiShutdownWatch watch(this);
  WindowHold hold(window);
  if (window) {
    // The activation comes before the re-entry guard: it moves the focus itself (away
    // from the old window, into the new one or into a modal window that takes the
    // activation instead), and those moves must not be swallowed.
    // Remembered first, so that the activation gives the focus straight to the window.
    CSL_GS_GuiWindow* top = TopLevelOf(window);
    if (top != window) top->m_lastFocus = window;
    if (m_state->activeWindow != top) {
      CSL_GS_GuiWindow* before = m_state->focusWindow;
      WindowHold beforeHold(before);
      ActivateWindow(top);
      if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
      if (!IsLive(window) || m_state->activeWindow != top) return SLFail(SL_E_GUI_DESTROYED, WindowPtr());
      if (m_state->focusWindow == window) return SLSucceed(before && IsLive(before) ? before : WindowPtr());
    }
  }
  m_state->inSetFocus = 1;
  auto clearGuard = SLMakeScopeGuard([&] {
    if (!watch.ShutDown()) m_state->inSetFocus = 0;
  });
  CSL_GS_GuiWindow* previous = m_state->focusWindow;
  WindowHold previousHold(previous);
  m_state->focusWindow = window;
  if (previous && IsLive(previous)) {
    previous->OnKillFocus(window);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
    if (m_state->focusWindow != window) return SLSucceed(previous);
  }
  if (window && IsLive(window)) {
    window->OnSetFocus(window);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  }
  return SLSucceed(previous);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::SetCapture(CSL_GS_GuiWindow* window) {
  if (!window) return ReleaseCapture();
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  SLCriticalSectionLock lock(&m_stateLock);
  if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, WindowPtr());
  const SLGuiShutdownWatch watch(this);
  WindowHold hold(window);
  CSL_GS_GuiWindow* previous = m_state->captureWindow;
  WindowHold previousHold(previous);
  if (previous && previous != window) {
    m_state->captureWindow = nullptr;
    if (IsLive(previous)) previous->OnCaptureLost(window);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
    if (!IsLive(window)) return SLFail(SL_E_GUI_DESTROYED, WindowPtr());
  }
  m_state->captureWindow = window;
  Update(true);
  return SLSucceed(previous);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::ReleaseCapture() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  SLCriticalSectionLock lock(&m_stateLock);
  CSL_GS_GuiWindow* previous = m_state->captureWindow;
  if (!previous) return SLSucceed(WindowPtr());
  const SLGuiShutdownWatch watch(this);
  WindowHold previousHold(previous);
  m_state->captureWindow = nullptr;
  if (IsLive(previous)) previous->OnCaptureLost(nullptr);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  Update(true);
  return SLSucceed(previous);
}

// --- Activation ---

CSL_GS_GuiWindow* CSL_GS_GuiManager::Deactivate() {
  const SLGuiShutdownWatch watch(this);
  CSL_GS_GuiWindow* previous = m_state->activeWindow;
  WindowHold previousHold(previous);
  m_state->activeWindow = nullptr;
  SetFocus(nullptr);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  if (previous && IsLive(previous)) {
    previous->OnActivate(false, nullptr, (previous->m_style & SL_GUI_WS_MINIMIZED) != 0, false);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  }
  Update(true);
  return SLSucceed(previous);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::ActivateWindow(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  SLCriticalSectionLock lock(&m_stateLock);
  if (!window) return Deactivate();
  if (!IsLive(window) || SLGuiIsChildStyle(window->m_style) ||
      (window->m_style & SL_GUI_WS_USABLE_MASK) != SL_GUI_WS_VISIBLE)
    return SLFail(SL_E_INVALID_ARG, WindowPtr());
  const SLGuiShutdownWatch watch(this);
  WindowHold hold(window);
  CSL_GS_GuiWindow* previous = m_state->activeWindow;

  // A modal window takes the activation: first one that `window` owns, then (unless
  // `window` is modal itself) one that nobody owns.
  bool sawModal = false;
  for (int pass = 1; pass <= 2; ++pass) {
    if (pass == 2 && (window->m_style & SL_GUI_WS_MODAL)) break;
    CSLGuiWindowSnapshot modals;
    for (SLGuiListNode* n : SLListWalk(&m_state->topLevelWindows)) {
      CSL_GS_GuiWindow* t = n->window;
      if (t == window || !(t->m_style & SL_GUI_WS_MODAL)) continue;
      const bool owned = (t->m_style & SL_GUI_WS_OWNED) && t->m_owner;
      if (pass == 1 ? IsOwnedBy(t, window) : !owned) modals.Add(t);
    }
    for (CSL_GS_GuiWindow* modal : modals) {
      if (!IsLive(modal)) continue;
      sawModal = true;
      SLSetLastError(SL_OK);
      ActivateWindow(modal);
      // The modal window may be the active one that is being hidden: only an activation
      // that succeeded counts.
      const bool activated = SLGetLastError() == SL_OK;
      if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
      if (!IsLive(window)) return SLFail(SL_E_GUI_DESTROYED, WindowPtr());
      CSL_GS_GuiWindow* now = m_state->activeWindow;
      if (activated && now && (now == modal || IsOwnedBy(now, modal))) return SLSucceed(previous);
    }
  }
  if (sawModal) return SLFail(SL_E_INVALID_ARG, WindowPtr());

  if (m_state->activeWindow == window) {
    Update(true);
    return SLSucceed(window);
  }
  previous = m_state->activeWindow;
  WindowHold previousHold(previous);
  m_state->activeWindow = nullptr;
  SetFocus(nullptr);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  // The old focus window's kill-focus handler may have destroyed the window.
  if (!IsLive(window)) return SLFail(SL_E_GUI_DESTROYED, WindowPtr());
  if (previous && IsLive(previous)) {
    previous->OnActivate(false, window, (previous->m_style & SL_GUI_WS_MINIMIZED) != 0, false);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
    if (!IsLive(window)) return SLFail(SL_E_GUI_DESTROYED, WindowPtr());
  }
  m_state->activeWindow = window;
  BringOwnerTreeToTop(window);
  SortWindowZOrder(nullptr);
  window->OnActivate(true, previous && IsLive(previous) ? previous : nullptr,
                     (window->m_style & SL_GUI_WS_MINIMIZED) != 0, m_state->activatingByClick != 0);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  if (!IsLive(window)) return SLFail(SL_E_GUI_DESTROYED, WindowPtr());
  if (!window->m_lastFocus) window->m_lastFocus = GetFirstTabStop(window);
  if (CSL_GS_GuiWindow* focus = window->m_lastFocus) {
    SetFocus(focus);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  }
  Update(true);
  return SLSucceed(previous);
}

void CSL_GS_GuiManager::BringOwnerTreeToTop(CSL_GS_GuiWindow* window) {
  CSL_GS_GuiWindow* root = window;
  while ((root->m_style & SL_GUI_WS_OWNED) && root->m_owner && IsLive(root->m_owner)) root = root->m_owner;
  SLGuiListNode* head = &m_state->topLevelWindows;
  auto isTagged = [this](CSL_GS_GuiWindow* w) {
    const SLGuiRegistryEntry* entry = w ? FindEntry(w) : nullptr;
    return entry && (entry->flags & SL_GUI_REG_TAGGED);
  };
  auto setTag = [this](CSL_GS_GuiWindow* w, bool tagged) {
    if (SLGuiRegistryEntry* entry = FindEntry(w))
      entry->flags = tagged ? entry->flags | SL_GUI_REG_TAGGED : entry->flags & ~SL_GUI_REG_TAGGED;
  };
  // Only framed top-level windows change place; menus and plain windows keep theirs.
  auto moveToHead = [head](CSL_GS_GuiWindow* w) {
    if (!w->IsKindOf(CSL_GS_GuiTopLevelWindow::GetClassRecord())) return;
    w->m_siblingLink.Unlink();
    w->m_siblingLink.InsertAfter(head);
  };
  u32 tagged = 0;
  for (SLGuiListNode* n : SLListWalk(head))
    if (n->window == root || IsOwnedBy(n->window, root)) setTag(n->window, true), ++tagged;
  if (isTagged(root)) {
    moveToHead(root);
    setTag(root, false);
    --tagged;
  }
  // Owners first, each round from the bottom up, so owned windows end above their owners
  // and siblings keep their order.
  TSLArray<CSL_GS_GuiWindow*> round;
  while (tagged > 0) {
    round.SetSize(0);
    for (SLGuiListNode* n : SLListWalkBack(head))
      if (isTagged(n->window) && !isTagged(n->window->m_owner)) round.Add(n->window);
    if (round.GetCount() == 0) break;
    for (CSL_GS_GuiWindow* w : round) {
      setTag(w, false);
      --tagged;
      moveToHead(w);
    }
  }
  for (SLGuiListNode* n : SLListWalk(head)) setTag(n->window, false);
}

bool CSL_GS_GuiManager::ActivateNextWindow(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!window) return SLFail(SL_E_INVALID_ARG, false);
  SLCriticalSectionLock lock(&m_stateLock);
  const SLGuiShutdownWatch watch(this);
  WindowHold hold(window);
  CSL_GS_GuiWindow* top = TopLevelOf(window);
  if ((window->m_style & SL_GUI_WS_OWNED) && window->m_owner && !SLGuiIsChildStyle(window->m_style)) {
    CSL_GS_GuiWindow* ownerTop = TopLevelOf(window->m_owner);
    if (ownerTop != top && IsLive(ownerTop)) {
      SLSetLastError(SL_OK);
      ActivateWindow(ownerTop);
      if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
      if (m_state->activeWindow == ownerTop) return SLSucceed(true);
    }
  }
  CSLGuiWindowSnapshot candidates;
  candidates.AddList(&m_state->topLevelWindows, false);
  for (CSL_GS_GuiWindow* candidate : candidates) {
    if (candidate == top || !IsLive(candidate)) continue;
    SLSetLastError(SL_OK);
    ActivateWindow(candidate);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
    // A modal window may take the activation in the candidate's place; either way the
    // call has found a window to activate.
    if (SLGetLastError() == SL_OK && m_state->activeWindow) return SLSucceed(true);
  }
  Deactivate();
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::ShowOwnedWindows(CSL_GS_GuiWindow* window, bool show) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, false);
  const SLGuiShutdownWatch watch(this);
  WindowHold hold(window);
  CSLGuiWindowSnapshot owned;
  for (SLGuiListNode* n : SLListWalk(&m_state->topLevelWindows))
    if ((n->window->m_style & SL_GUI_WS_OWNED) && n->window->m_owner == window && n->window != window)
      owned.Add(n->window);
  for (CSL_GS_GuiWindow* w : owned) {
    if (!IsLive(w)) continue;
    w->Show(show);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
    if (!IsLive(window)) return SLFail(SL_E_GUI_DESTROYED, false);
    if (IsLive(w)) ShowOwnedWindows(w, show);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
    if (!IsLive(window)) return SLFail(SL_E_GUI_DESTROYED, false);
  }
  return SLSucceed(true);
}

// --- Z-order ---

void CSL_GS_GuiManager::SortList(SLGuiListNode* head) {
  // Four classes from the top: topmost and minimized, topmost, minimized, the rest.
  // Each node goes to the tail of its class, so the order inside a class stays.
  SLGuiListNode classes[4];
  for (SLGuiListNode& c : classes) c.InitHead(nullptr);
  while (!head->IsEmpty()) {
    SLGuiListNode* node = head->next;
    const u32 style = node->window->m_style;
    const u32 index = (style & SL_GUI_WS_TOPMOST) ? ((style & SL_GUI_WS_MINIMIZED) ? 0 : 1)
                                                   : ((style & SL_GUI_WS_MINIMIZED) ? 2 : 3);
    node->Unlink();
    classes[index].Append(node);
  }
  for (SLGuiListNode& c : classes) head->AppendAll(&c);
}

bool CSL_GS_GuiManager::SortWindowZOrder(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (window && !IsLive(window)) return SLFail(SL_E_INVALID_ARG, false);
  SLGuiListNode* head = window ? &window->m_children : &m_state->topLevelWindows;
  for (SLGuiListNode* n : SLListWalk(head))
    if (!n->window->m_children.IsEmpty()) SortWindowZOrder(n->window);
  SortList(head);
  return SLSucceed(true);
}

// --- Hit testing ---

CSL_GS_GuiWindow* CSL_GS_GuiManager::WindowFromPoint(i32 x, i32 y, CSL_GS_GuiWindow* start, u32* hit,
                                                    bool visibleOnly, bool skipDisabled) {
  if (hit) *hit = 0;
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  SLCriticalSectionLock lock(&m_stateLock);
  if (start && !IsLive(start)) return SLFail(SL_E_INVALID_ARG, WindowPtr());
  if (start) ClientToScreen(start, &x, &y);
  const SLGuiShutdownWatch watch(this);
  WindowHold startHold(start);
  WindowHold candidate;
  u32 candidateHit = 0;
  CSL_GS_GuiWindow* level = start;
  for (;;) {
    if (level && !IsLive(level)) break;
    CSLGuiWindowSnapshot windows;
    windows.AddList(level ? &level->m_children : &m_state->topLevelWindows, false);
    CSL_GS_GuiWindow* found = nullptr;
    u32 foundHit = 0;
    for (CSL_GS_GuiWindow* w : windows) {
      if (!IsLive(w) || (visibleOnly && !(w->m_style & SL_GUI_WS_VISIBLE))) continue;
      SLGuiRect r;
      if (!w->GetScreenRectR(&r)) continue;
      if (i64(x) < r.x || i64(y) < r.y || i64(x) >= i64(r.x) + r.width || i64(y) >= i64(r.y) + r.height) continue;
      const u32 answer = w->HitTest(x, y);
      if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
      if (!answer || !IsLive(w) || (skipDisabled && (w->m_style & SL_GUI_WS_DISABLED))) continue;
      found = w;
      foundHit = answer;
      break;
    }
    if (!found) break;
    candidate.Reset(found);
    candidateHit = foundHit;
    if (foundHit != SL_GUI_HIT_CLIENT || (found->m_style & SL_GUI_WS_MINIMIZED)) break;
    level = found;
  }
  if (!candidate || !IsLive(candidate.Get())) return SLFail(SL_E_NOT_FOUND, WindowPtr());
  if (hit) *hit = candidateHit;
  return SLSucceed(candidate.Get());
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::WindowUnderMouse(CSL_GS_GuiWindow* start, u32* hit) {
  if (hit) *hit = 0;
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, WindowPtr());
  SLCriticalSectionLock lock(&m_stateLock);
  if (!start && m_state->captureWindow) {
    if (hit) *hit = SL_GUI_HIT_CLIENT;
    return SLSucceed(m_state->captureWindow);
  }
  i32 x = m_state->mouseX, y = m_state->mouseY;
  if (start && !ScreenToWindow(start, &x, &y)) return nullptr;
  u32 found = 0;
  CSL_GS_GuiWindow* window = WindowFromPoint(x, y, start, &found, true, false);
  if (!window) return nullptr;
  if (window->m_style & SL_GUI_WS_DISABLED) return SLSucceed(WindowPtr());
  if (hit) *hit = found;
  return SLSucceed(window);
}

