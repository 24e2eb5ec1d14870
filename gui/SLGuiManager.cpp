// The manager's life, devices, skins, registry, window creation and destruction, the
// tree queries and the coordinate conversions. Focus, activation, z-order and hit
// testing are in SLGuiManagerFocus.cpp, drawing in SLGuiManagerDraw.cpp.
#include "gui/SLGuiManager.h"

#include <algorithm>
#include <new>

#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/SLSfx.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiWindowSnapshot.h"
#include "platform/kernel32/Sync.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiManager, CSLObject)

using SLInternals::CSLGuiWindowSnapshot;

CSL_GS_GuiManager::CSL_GS_GuiManager() : m_state(nullptr), m_generation(0) {}

CSL_GS_GuiManager::~CSL_GS_GuiManager() {
  SLErrorKeeper keep;
  Shutdown();
}

bool CSL_GS_GuiManager::OnQueryTextStyle(CSL_GS_GuiWindow*, u32, SL_GS_Font**, SLGuiSkinColor*) { return false; }
bool CSL_GS_GuiManager::OnCommand(CSL_GS_GuiWindow*, u32) { return false; }
bool CSL_GS_GuiManager::OnNotify(CSL_GS_GuiWindow*, u32) { return false; }
bool CSL_GS_GuiManager::OnEvent(CSL_GS_GuiBaseEvent*) { return false; }
bool CSL_GS_GuiManager::OnHScroll(CSL_GS_GuiWindow*, u32, i32, i32) { return true; }
bool CSL_GS_GuiManager::OnVScroll(CSL_GS_GuiWindow*, u32, i32, i32) { return true; }
void CSL_GS_GuiManager::OnMenuStart(bool) {}
void CSL_GS_GuiManager::OnMenuEnd(bool) {}
void CSL_GS_GuiManager::OnInitMenu(CSL_GS_GuiMenuPopup*) {}
void CSL_GS_GuiManager::OnInitMenuPopup(CSL_GS_GuiMenuPopup*) {}

// --- Life ---

bool CSL_GS_GuiManager::Init(CSL_GS_MainWindow* mainWindow) {
  if (m_state) return SLFail(SL_E_ALREADY_INITIALISED, false);
  auto* state = static_cast<SLGuiManagerState*>(SLAllocZeroed(u32(sizeof(SLGuiManagerState))));
  if (!state) return SLFail(SL_E_OUT_OF_MEMORY, false);
  m_state = state;
  state->managerBack = this;
  state->stateLock = &m_stateLock;
  state->mainWindow = mainWindow;
  state->topLevelWindows.InitHead(nullptr);
  state->registry = new (std::nothrow) TSLArray<SLGuiRegistryEntry>();
  state->timers = new (std::nothrow) TSLArray<SLGuiTimer>();
  state->menuStack = new (std::nothrow) TSLPairArray<CSL_GS_GuiWindow*, u32>();
  state->clipStack = new (std::nothrow) TSLArray<SLGuiRect>();
  if (!state->registry || !state->timers || !state->menuStack || !state->clipStack) {
    Shutdown();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  state->lastTimerTick = GetTickCount();
  state->repeatDelay = 500;
  state->repeatInterval = 500;
  state->doubleClickTime = 300;
  // The system's keyboard and double-click settings; a missing entry keeps the default.
  state->user32 = SLLoadLibrary(u"user32.dll");
  if (state->user32) {
    SLBindProc(state->user32, u"SystemParametersInfoA", &state->systemParametersInfoA);
    SLBindProc(state->user32, u"SystemParametersInfoW", &state->systemParametersInfoW);
    SLBindProc(state->user32, u"GetDoubleClickTime", &state->getDoubleClickTime);
  }
  return SLSucceed(true);
}

void CSL_GS_GuiManager::Shutdown() {
  if (!m_state) return;
  SLCriticalSectionLock lock(&m_stateLock);
  const SLGuiShutdownWatch watch(this);
  CloseMenus(nullptr);
  // Always the first registry entry that is not already being destroyed: an entry whose
  // destruction is running further down the stack would make DestroyWindow return at once.
  for (;;) {
    if (watch.ShutDown()) return;  // a handler shut the manager down
    CSL_GS_GuiWindow* next = nullptr;
    for (const SLGuiRegistryEntry& entry : *m_state->registry)
      if (!(entry.flags & SL_GUI_REG_DESTROYING)) {
        next = entry.window;
        break;
      }
    if (!next) break;
    if (!DestroyWindow(next) && IsLive(next)) RemoveEntry(next);  // never loop on one window
  }
  SLGuiManagerState* state = m_state;
  ++m_generation;
  // Destructions still running further down the stack stop at their next check; what
  // they would have done last (unlink, drop the registry's reference) happens here.
  for (CSL_GS_GuiWindow* window : m_destroying) {
    window->m_siblingLink.Unlink();
    window->m_manager = nullptr;
    window->Release();
  }
  m_destroying.Free();
  while (!state->topLevelWindows.IsEmpty()) state->topLevelWindows.next->Unlink();
  FreeSkins();
  SetGfx(nullptr);
  SetSfx(nullptr);
  SetKeyboard(nullptr);
  SetMouse(nullptr);
  if (state->user32) SLFreeLibrary(state->user32);
  delete state->registry;
  m_index.Clear();
  delete state->timers;
  delete state->menuStack;
  delete state->clipStack;
  m_state = nullptr;
  SLFree(state);
}

// --- Devices ---

namespace {

// Swaps a device's callback: off the old device, onto the new one. False (with the
// connection's code) when the new one cannot be connected; the old one is off then too.
template <class Device, class Member>
bool SwapDeviceCallback(CSL_GS_GuiManager* manager, Device** slot, Device* device, Member member) {
  if (*slot == device) return SLSucceed(true);
  if (*slot) {
    SLErrorKeeper keep;
    (*slot)->RemoveCallback(manager, member, 0);
  }
  *slot = nullptr;
  if (device && !device->AddCallback(manager, member, 0)) return false;
  *slot = device;
  return SLSucceed(true);
}

bool IsDying(CSLBaseEvent* event) { return event && event->IsKindOf(CSLEventSourceDying::GetClassRecord()); }

}  // namespace

template <class Notify>
bool CSL_GS_GuiManager::TellEveryWindow(Notify notify) {
  // Every window of the tree, top-level windows first and each before its children.
  CSLGuiWindowSnapshot windows;
  if (!windows.AddList(&m_state->topLevelWindows, false)) return false;
  for (u32 i = 0; i < windows.GetCount(); ++i)
    if (!windows.AddList(&windows[i]->m_children, false)) return false;
  const SLGuiShutdownWatch watch(this);
  for (CSL_GS_GuiWindow* window : windows) {
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
    if (IsLive(window)) notify(window);
  }
  return true;
}

bool CSL_GS_GuiManager::SetGfx(CSL_GS_BaseGfx* gfx) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  // The skins' images and fonts live on the device: they move with it.
  CSL_GS_BaseGfx* previous = m_state->gfx;
  if (previous != gfx) DestroySkinHandles(previous);
  bool connected = SwapDeviceCallback(this, &m_state->gfx, gfx, &CSL_GS_GuiManager::OnGfxEvent);
  const u32 code = SLGetLastError();
  if (previous != m_state->gfx && !CreateSkinHandles(m_state->gfx)) {
    // A device that cannot hold the skins is not kept.
    const u32 failure = SLGetLastError();
    DestroySkinHandles(m_state->gfx);
    SwapDeviceCallback(this, &m_state->gfx, static_cast<CSL_GS_BaseGfx*>(nullptr), &CSL_GS_GuiManager::OnGfxEvent);
    LoadDesktopSettings();
    TellEveryWindow([this](CSL_GS_GuiWindow* w) { w->OnGfxChanged(m_state->gfx); });
    return SLFail(failure, false);
  }
  LoadDesktopSettings();
  if (!TellEveryWindow([this](CSL_GS_GuiWindow* w) { w->OnGfxChanged(m_state->gfx); })) return false;
  return connected ? SLSucceed(true) : SLFail(code, false);
}

bool CSL_GS_GuiManager::SetSfx(CSL_GS_BaseSfx* sfx) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  const bool changed = m_state->sfx != sfx;
  const bool connected = SwapDeviceCallback(this, &m_state->sfx, sfx, &CSL_GS_GuiManager::OnSfxEvent);
  const u32 code = SLGetLastError();
  if ((changed || !connected) && !TellEveryWindow([this](CSL_GS_GuiWindow* w) { w->OnSfxChanged(m_state->sfx); }))
    return false;
  return connected ? SLSucceed(true) : SLFail(code, false);
}

bool CSL_GS_GuiManager::SetKeyboard(CSL_GS_BaseKeyboardInput* keyboard) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  return SwapDeviceCallback(this, &m_state->keyboard, keyboard, &CSL_GS_GuiManager::OnKeyboardEvent);
}

bool CSL_GS_GuiManager::SetMouse(CSL_GS_BaseMouseInput* mouse) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  return SwapDeviceCallback(this, &m_state->mouse, mouse, &CSL_GS_GuiManager::OnMouseEvent);
}

void CSL_GS_GuiManager::OnGfxEvent(CSL_GS_BaseGfx* sender, CSLBaseEvent* event, u32) {
  if (m_state && sender == m_state->gfx && IsDying(event)) SetGfx(nullptr);
}
void CSL_GS_GuiManager::OnSfxEvent(CSL_GS_BaseSfx* sender, CSLBaseEvent* event, u32) {
  if (m_state && sender == m_state->sfx && IsDying(event)) SetSfx(nullptr);
}
void CSL_GS_GuiManager::OnKeyboardEvent(CSL_GS_BaseKeyboardInput* sender, CSLBaseEvent* event, u32) {
  if (m_state && sender == m_state->keyboard && IsDying(event)) SetKeyboard(nullptr);
}
void CSL_GS_GuiManager::OnMouseEvent(CSL_GS_BaseMouseInput* sender, CSLBaseEvent* event, u32) {
  if (m_state && sender == m_state->mouse && IsDying(event)) SetMouse(nullptr);
}

// --- Skins: SLGuiSkinLoad.cpp ---

// --- Getters ---

#define SL_GUI_GETTER(type, name, field)              \
  type CSL_GS_GuiManager::name() {                    \
    if (!m_state) return SLFail(SL_E_NOT_INITIALISED, static_cast<type>(0)); \
    return SLSucceed(m_state->field);                 \
  }
SL_GUI_GETTER(CSL_GS_MainWindow*, GetMainWindow, mainWindow)
SL_GUI_GETTER(CSL_GS_BaseGfx*, GetGfx, gfx)
SL_GUI_GETTER(CSL_GS_BaseSfx*, GetSfx, sfx)
SL_GUI_GETTER(CSL_GS_BaseKeyboardInput*, GetKeyboard, keyboard)
SL_GUI_GETTER(CSL_GS_BaseMouseInput*, GetMouse, mouse)
SL_GUI_GETTER(CSL_GS_GuiWindow*, GetFocusWindow, focusWindow)
SL_GUI_GETTER(CSL_GS_GuiWindow*, GetActiveWindow, activeWindow)
SL_GUI_GETTER(CSL_GS_GuiWindow*, GetCaptureWindow, captureWindow)
SL_GUI_GETTER(i32, GetMouseX, mouseX)
SL_GUI_GETTER(i32, GetMouseY, mouseY)
#undef SL_GUI_GETTER

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetHoverWindow(u32* hit) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, nullptr);
  if (hit) *hit = m_state->hitCode;
  return SLSucceed(m_state->hoverWindow);
}

u32 CSL_GS_GuiManager::GetKeyState(u32 key) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  return SLSucceed(key < SL_GS_KEY_COUNT ? u32(m_state->keyState[key] & (SL_GUI_KEYF_CHANGED | SL_GUI_KEYF_DOWN)) : 0u);
}

void CSL_GS_GuiManager::SetPopupPermission(bool allowed) {
  if (m_state) m_state->popupPermission = allowed ? 1 : 0;
}

// --- Registry ---

u32 CSL_GS_GuiManager::FindEntryIndex(const CSL_GS_GuiWindow* window) const {
  const SLGuiRegistryEntry* entries = m_state->registry->GetData();
  const std::uintptr_t key = reinterpret_cast<std::uintptr_t>(window);
  u32 low = 0, count = m_state->registry->GetCount();
  while (count > 0) {
    const u32 half = count / 2;
    if (reinterpret_cast<std::uintptr_t>(entries[low + half].window) < key) {
      low += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  return low;
}

SLGuiRegistryEntry* CSL_GS_GuiManager::FindEntry(const CSL_GS_GuiWindow* window) const {
  if (!m_state || !window) return nullptr;
  const u32 index = FindEntryIndex(window);
  if (index >= m_state->registry->GetCount()) return nullptr;
  SLGuiRegistryEntry* entry = &(*m_state->registry)[index];
  return entry->window == window ? entry : nullptr;
}

bool CSL_GS_GuiManager::AddEntry(CSL_GS_GuiWindow* window) {
  const u32 index = FindEntryIndex(window);
  if (!m_state->registry->InsertAt(SLGuiRegistryEntry{window, 0}, index)) return false;
  if (m_index.Insert(window)) return true;
  SLErrorKeeper keep;
  m_state->registry->RemoveAt(index);
  return false;
}

void CSL_GS_GuiManager::RemoveEntry(CSL_GS_GuiWindow* window) {
  if (FindEntry(window)) {
    SLErrorKeeper keep;
    m_index.Remove(window);
    m_state->registry->RemoveAt(FindEntryIndex(window));
  }
}

bool CSL_GS_GuiManager::IsRegisteredLocked(const CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!window) return SLFail(SL_E_INVALID_ARG, false);
  SLCriticalSectionLock lock(&m_stateLock);
  return SLSucceed(IsLive(window));
}

bool CSL_GS_GuiManager::IsMenuPopup(CSL_GS_GuiWindow* window) {
  if (!IsRegistered(window)) return false;
  return SLSucceed(window->IsKindOf(CSL_GS_GuiMenuPopup::GetClassRecord()));
}

u32 CSL_GS_GuiManager::GetWindowCount() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  return SLSucceed(m_state->registry->GetCount());
}

SLGuiListNode* CSL_GS_GuiManager::ListOf(CSL_GS_GuiWindow* window) {
  return SLGuiIsChildStyle(window->m_style) ? &window->m_parent->m_children : &m_state->topLevelWindows;
}

void CSL_GS_GuiManager::ForgetWindow(CSL_GS_GuiWindow* window) {
  SLGuiManagerState* s = m_state;
  for (CSL_GS_GuiWindow** slot : {&s->activeWindow, &s->focusWindow, &s->captureWindow, &s->hoverWindow,
                                  &s->previousHoverWindow, &s->menuOwner})
    if (*slot == window) *slot = nullptr;
  if (s->currentPopup == window) s->currentPopup = nullptr;
  for (SLGuiListNode* n : SLListWalk(&s->topLevelWindows))
    if (n->window->m_lastFocus == window) n->window->m_lastFocus = nullptr;
}

// --- Creation and destruction ---

CSL_GS_GuiWindow* CSL_GS_GuiManager::CreateWindow(const SLClassRecord* record, const char* caption, i32 x, i32 y,
                                                 i32 width, i32 height, u32 style, u32 skin, u32 id,
                                                 CSL_GS_GuiWindow* parent) {
  using Window = CSL_GS_GuiWindow*;
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, Window());
  SLCriticalSectionLock lock(&m_stateLock);
  if (!record || !record->CreateObject || !SLClassRecord::IsDerivedFrom(record, CSL_GS_GuiWindow::GetClassRecord()))
    return SLFail(SL_E_INVALID_ARG, Window());
  const bool popup = SLClassRecord::IsDerivedFrom(record, CSL_GS_GuiMenuPopup::GetClassRecord());
  if (popup) {
    caption = "";
    x = y = width = height = 0;
    style = SL_GUI_WS_OWNED;
    parent = nullptr;
  }
  CSL_GS_GuiWindow* parentLink = nullptr;
  CSL_GS_GuiWindow* owner = nullptr;
  if (parent) {
    if (!IsLive(parent)) return SLFail(SL_E_INVALID_ARG, Window());
    if (SLGuiIsChildStyle(style))
      parentLink = parent;
    else
      owner = GetTopLevelAncestor(parent);
  } else if (SLGuiIsChildStyle(style)) {
    return SLFail(SL_E_INVALID_ARG, Window());
  }
  x = std::clamp(x, -32768, 32767);
  y = std::clamp(y, -32768, 32767);
  width = std::clamp(width, 0, 65536);
  height = std::clamp(height, 0, 65536);
  if (skin == 0 ? !LoadDefaultSkin() : !FindSkin(skin)) return nullptr;

  CSLObject* object = record->CreateObject();
  if (!object) return SLFail(SL_E_OUT_OF_MEMORY, Window());
  auto* window = static_cast<CSL_GS_GuiWindow*>(object);
  window->m_manager = this;
  // A window keeps its parent and owner objects alive: a parent destroyed while a child's
  // own destruction is still running must not be freed under that child's links.
  window->m_parent = parentLink;
  window->m_owner = owner;
  if (parentLink) parentLink->AddRef();
  if (owner) owner->AddRef();
  window->m_style = style & ~(SL_GUI_WS_VISIBLE | SL_GUI_WS_MINIMIZED | SL_GUI_WS_MAXIMIZED);
  window->m_windowRect = {x, y, width, height};
  window->m_restoreRect = window->m_windowRect;
  if ((style & SL_GUI_WS_MAXIMIZED) && !(style & SL_GUI_WS_MINIMIZED)) window->m_maximizedPosition = {x, y};
  window->m_clientRect = {0, 0, width, height};
  window->m_skin = skin;
  window->m_id = id;
  if (caption && *caption) {
    window->m_text = caption;
    if (window->m_text.IsEmpty()) {
      SLErrorKeeper keep;
      window->Release();
      return SLFail(SL_E_OUT_OF_MEMORY, Window());
    }
  }
  if (!AddEntry(window)) {
    SLErrorKeeper keep;
    window->Release();
    return nullptr;
  }
  window->m_siblingLink.InsertAfter(ListOf(window)->prev);

  TSLObjPtr<CSL_GS_GuiWindow> hold(window);
  // A refusal keeps the code OnCreate set (0x80002011 when none); a window that a
  // handler destroyed meanwhile ends the creation with 0x80010002.
  auto fail = [this, window](u32 code) -> Window {
    if (SLGetLastError() == SL_OK || code == SL_E_NOT_INITIALISED) SLSetLastError(code);
    SLErrorKeeper keep;
    if (IsLive(window)) DestroyWindow(window);
    return nullptr;
  };
  SLSetLastError(SL_OK);
  const bool created = window->OnCreate();
  if (!IsLive(window)) return fail(SL_E_NOT_INITIALISED);
  if (!created) return fail(SL_E_CANCELLED);
  if (!popup) {
    window->SetRect(x, y, width, height);
    if (!IsLive(window)) return fail(SL_E_NOT_INITIALISED);
    if (style & SL_GUI_WS_MINIMIZED)
      window->Minimize();
    else if (style & SL_GUI_WS_MAXIMIZED)
      window->Maximize();
    if (!IsLive(window)) return fail(SL_E_NOT_INITIALISED);
    if (style & SL_GUI_WS_VISIBLE) window->Show(true);
    if (!IsLive(window)) return fail(SL_E_NOT_INITIALISED);
    if (!SLGuiIsChildStyle(window->m_style)) ActivateWindow(window);
    if (!IsLive(window)) return fail(SL_E_NOT_INITIALISED);
  }
  return SLSucceed(window);
}

bool CSL_GS_GuiManager::DestroyWindow(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  SLGuiRegistryEntry* entry = FindEntry(window);
  if (!entry) {
    // Past its registry entry but still being destroyed further down the stack.
    for (CSL_GS_GuiWindow* w : m_destroying)
      if (w == window) return SLSucceed(true);
    return SLFail(SL_E_INVALID_ARG, false);
  }
  if (entry->flags & SL_GUI_REG_DESTROYING) return SLSucceed(true);
  if (!m_destroying.Add(window)) return false;
  entry->flags |= SL_GUI_REG_DESTROYING;
  TSLObjPtr<CSL_GS_GuiWindow> hold(window);
  // A handler that shuts the manager down finishes this window in its Shutdown.
  const SLGuiShutdownWatch watch(this);

  CloseMenus(window);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  SetPopupPermission(true);
  window->HideWindow();
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  ReleaseMenuLinks(window);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  RemoveEntry(window);
  DropTimersOf(window);
  // A handler of the closing may have opened a menu again with this window in it.
  if (FindMenuEntry(window) >= 0) {
    SLErrorKeeper keep;
    CloseMenus(nullptr);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  }

  CSLGuiWindowSnapshot children;
  children.AddList(&window->m_children, false);
  for (CSL_GS_GuiWindow* child : children) {
    if (IsLive(child)) DestroyWindow(child);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  }
  // Children whose own destruction is still running further down the stack leave the
  // list now; their later unlink finds them alone.
  while (!window->m_children.IsEmpty()) window->m_children.next->Unlink();

  if (m_state->captureWindow == window) ReleaseCapture();
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (m_state->focusWindow == window) SetFocus(nullptr);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (m_state->activeWindow == window) ActivateNextWindow(window);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  ForgetWindow(window);

  window->OnDestroy();
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  ForgetWindow(window);

  CSLGuiWindowSnapshot owned;
  for (SLGuiListNode* n : SLListWalk(&m_state->topLevelWindows))
    if (n->window->m_owner == window && n->window != window) owned.Add(n->window);
  for (CSL_GS_GuiWindow* w : owned) {
    if (IsLive(w)) DestroyWindow(w);
    if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  }

  window->m_siblingLink.Unlink();
  window->m_manager = nullptr;
  for (u32 i = m_destroying.GetCount(); i-- > 0;)
    if (m_destroying[i] == window) {
      m_destroying.RemoveAt(i);
      break;
    }
  window->Release();  // the registry's reference; `hold` keeps the object until we return
  return SLSucceed(true);
}

// --- Tree ---


#define SL_GUI_CHECK_WINDOW(window)                                        \
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, (CSL_GS_GuiWindow*)0); \
  SLCriticalSectionLock lock(&m_stateLock);                                \
  if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, (CSL_GS_GuiWindow*)0)

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetParent(CSL_GS_GuiWindow* window) {
  SL_GUI_CHECK_WINDOW(window);
  return SLSucceed(SLGuiIsChildStyle(window->m_style) ? window->m_parent : nullptr);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetOwnerOrParent(CSL_GS_GuiWindow* window) {
  SL_GUI_CHECK_WINDOW(window);
  if (window->m_style & SL_GUI_WS_OWNED) return SLSucceed(window->m_owner);
  return SLSucceed(window->m_style & SL_GUI_WS_CHILD ? window->m_parent : nullptr);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetTopLevelAncestor(CSL_GS_GuiWindow* window) {
  SL_GUI_CHECK_WINDOW(window);
  while (CSL_GS_GuiWindow* parent = ParentOf(window)) window = parent;
  return SLSucceed(window);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetFirstChild(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, (CSL_GS_GuiWindow*)nullptr);
  SLCriticalSectionLock lock(&m_stateLock);
  if (window && !IsLive(window)) return SLFail(SL_E_INVALID_ARG, (CSL_GS_GuiWindow*)nullptr);
  const SLGuiListNode* head = window ? &window->m_children : &m_state->topLevelWindows;
  return SLSucceed(head->next->window);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetFirstSibling(CSL_GS_GuiWindow* window) {
  SL_GUI_CHECK_WINDOW(window);
  return SLSucceed(ListOf(window)->next->window);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetLastSibling(CSL_GS_GuiWindow* window) {
  SL_GUI_CHECK_WINDOW(window);
  return SLSucceed(ListOf(window)->prev->window);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetNextSibling(CSL_GS_GuiWindow* window) {
  SL_GUI_CHECK_WINDOW(window);
  return SLSucceed(window->m_siblingLink.next->window);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetPrevSibling(CSL_GS_GuiWindow* window) {
  SL_GUI_CHECK_WINDOW(window);
  return SLSucceed(window->m_siblingLink.prev->window);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::FindChildById(CSL_GS_GuiWindow* window, u32 id) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, (CSL_GS_GuiWindow*)nullptr);
  SLCriticalSectionLock lock(&m_stateLock);
  if (window && !IsLive(window)) return SLFail(SL_E_INVALID_ARG, (CSL_GS_GuiWindow*)nullptr);
  const SLGuiListNode* head = window ? &window->m_children : &m_state->topLevelWindows;
  for (const SLGuiListNode* n : SLListWalk(head))
    if (n->window->m_id == id) return SLSucceed(n->window);
  return SLFail(SL_E_NOT_FOUND, (CSL_GS_GuiWindow*)nullptr);
}

CSL_GS_GuiWindow* CSL_GS_GuiManager::GetFirstTabStop(CSL_GS_GuiWindow* window) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, (CSL_GS_GuiWindow*)nullptr);
  SLCriticalSectionLock lock(&m_stateLock);
  if (window && !IsLive(window)) return SLFail(SL_E_INVALID_ARG, (CSL_GS_GuiWindow*)nullptr);
  const SLGuiListNode* head = window ? &window->m_children : &m_state->topLevelWindows;
  constexpr u32 mask = SL_GUI_WS_VISIBLE | SL_GUI_WS_DISABLED | SL_GUI_WS_TABSTOP;
  for (const SLGuiListNode* n : SLListWalk(head))
    if ((n->window->m_style & mask) == (SL_GUI_WS_VISIBLE | SL_GUI_WS_TABSTOP)) return SLSucceed(n->window);
  return SLFail(SL_E_NOT_FOUND, (CSL_GS_GuiWindow*)nullptr);
}

#undef SL_GUI_CHECK_WINDOW

// --- Coordinates ---

bool CSL_GS_GuiManager::ClientToScreen(CSL_GS_GuiWindow* window, i32* x, i32* y) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, false);
  i64 dx = 0, dy = 0;
  for (CSL_GS_GuiWindow* w = window; w; w = ParentOf(w)) dx += w->m_clientRect.x, dy += w->m_clientRect.y;
  if (x) *x = i32(*x + dx);
  if (y) *y = i32(*y + dy);
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::ScreenToWindow(CSL_GS_GuiWindow* window, i32* x, i32* y) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, false);
  i64 dx = 0, dy = 0;
  for (CSL_GS_GuiWindow* w = window; w; w = ParentOf(w)) dx += w->m_clientRect.x, dy += w->m_clientRect.y;
  if (x) *x = i32(*x - dx);
  if (y) *y = i32(*y - dy);
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::ClientToScreenPt(CSL_GS_GuiWindow* window, SLGuiPoint* point) {
  if (!point) return SLFail(SL_E_NULL_OUTPUT, false);
  return ClientToScreen(window, &point->x, &point->y);
}

bool CSL_GS_GuiManager::ScreenToWindowPt(CSL_GS_GuiWindow* window, SLGuiPoint* point) {
  if (!point) return SLFail(SL_E_NULL_OUTPUT, false);
  return ScreenToWindow(window, &point->x, &point->y);
}

bool CSL_GS_GuiManager::GetWindowScreenPos(CSL_GS_GuiWindow* window, i32* x, i32* y) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!IsLive(window)) return SLFail(SL_E_INVALID_ARG, false);
  i32 sx = window->m_windowRect.x - window->m_clientRect.x;
  i32 sy = window->m_windowRect.y - window->m_clientRect.y;
  if (!ClientToScreen(window, &sx, &sy)) return false;
  if (x) *x = sx;
  if (y) *y = sy;
  return SLSucceed(true);
}
