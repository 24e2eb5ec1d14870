// The manager's tick: sampling the keyboard and the mouse, the pointer, button, key and
// character events derived from them, and the window timers.
//
// There is no event queue. Each tick the devices are read once and compared with the
// previous tick: a key or button byte keeps its down bit across ticks and gains the
// changed (0x80), repeat (0x10) or double-click (0x40) bit for one tick only. Events are
// then sent in a fixed order (leave, enter, activation by click, buttons, move, keys,
// character) and every handler may destroy any window or shut the manager down, so each
// step asks the registry again before it touches a window.
#include <algorithm>

#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiManager.h"
#include "platform/kernel32/Sync.h"

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

// The desktop settings: a delay of 0..3 quarter seconds less one, and a speed of 0..31
// from about 2.5 to about 30 repeats a second.
constexpr UINT kSpiGetKeyboardSpeed = 0x0A;
constexpr UINT kSpiGetKeyboardDelay = 0x16;
// After a stall (a suspended machine, a long load) a short timer would otherwise run
// once per interval of the whole stall in one tick and freeze the program.
constexpr u32 kMaxFiringsPerPass = 1000;

}  // namespace

bool CSL_GS_GuiManager::Update(bool skipDevicePoll) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (m_state->inUpdate) return SLSucceed(true);
  const SLGuiShutdownWatch watch(this);
  m_state->inUpdate = 1;
  m_state->now = GetTickCount();
  PollInput(skipDevicePoll);

  CSL_GS_GuiWindow* previous = m_state->hoverWindow;
  const u32 previousHit = m_state->hitCode;
  u32 hit = 0;
  CSL_GS_GuiWindow* hover = WindowUnderMouse(nullptr, &hit);
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  m_state->previousHoverWindow = previous && IsLive(previous) ? previous : nullptr;
  m_state->previousHitCode = m_state->previousHoverWindow ? previousHit : 0;
  m_state->hoverWindow = hover && IsLive(hover) ? hover : nullptr;
  m_state->hitCode = m_state->hoverWindow ? hit : 0;

  // While a menu is open its tracker takes the input.
  if (m_state->menuStack->GetCount() == 0) {
    ProcessInput();
  } else {
    ProcessMenuInput(false);
    // No window has the pointer while a menu is open: the window under it when the menu
    // closes is entered afresh.
    if (!watch.ShutDown()) m_state->hoverWindow = nullptr, m_state->hitCode = 0;
  }
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  RunTimers();
  if (watch.ShutDown()) return SLFail(SL_E_NOT_INITIALISED, false);
  m_state->lastTimerTick = m_state->now;
  m_state->inUpdate = 0;
  RemoveDeadTimers();
  return SLSucceed(true);
}

// --- Sampling ---

void CSL_GS_GuiManager::ReadRepeatSettings() {
  SLGuiManagerState* s = m_state;
  s->repeatDelay = 500;
  s->repeatInterval = 500;
  s->doubleClickTime = 300;
  if (!s->user32) return;
  SLErrorKeeper keep;
  if (auto* query = s->systemParametersInfoA ? s->systemParametersInfoA : s->systemParametersInfoW) {
    UINT value = 0;
    if (query(kSpiGetKeyboardDelay, 0, &value, 0)) s->repeatDelay = (std::min<UINT>(value, 3) + 1) * 250;
    value = 0;
    if (query(kSpiGetKeyboardSpeed, 0, &value, 0)) s->repeatInterval = 1000 / (std::min<UINT>(value, 31) * 28 / 31 + 2);
  }
  if (s->getDoubleClickTime) s->doubleClickTime = s->getDoubleClickTime();
}

void CSL_GS_GuiManager::PollInput(bool skipDevicePoll) {
  SLGuiManagerState* s = m_state;
  ReadRepeatSettings();
  for (u8& key : s->keyState) key &= u8(~(SL_GUI_KEYF_CHANGED | SL_GUI_KEYF_REPEAT));
  s->nextChar = 0;
  for (u8& button : s->buttonState) button &= u8(~(SL_GUI_KEYF_CHANGED | SL_GUI_KEYF_DOUBLE));
  s->previousMouseX = s->mouseX;
  s->previousMouseY = s->mouseY;
  if (skipDevicePoll) return;
  const u32 now = s->now;
  if (CSL_GS_BaseKeyboardInput* keyboard = s->keyboard) {
    u8 device[SL_GS_KEY_COUNT] = {};
    if (keyboard->GetState(device, SL_GS_KEY_COUNT)) {
      for (u32 key = 0; key < SL_GS_KEY_COUNT; ++key) {
        u8& state = s->keyState[key];
        if (device[key] & SL_GS_KEYSTATE_CHANGED) {
          state |= SL_GUI_KEYF_CHANGED;
          if (device[key] & SL_GS_KEYSTATE_HELD) {
            state |= SL_GUI_KEYF_DOWN;
            s->keyTime[key] = now;
          } else {
            state &= u8(~(SL_GUI_KEYF_DOWN | SL_GUI_KEYF_REPEAT | SL_GUI_KEYF_REPEATING));
          }
        } else if ((device[key] & SL_GS_KEYSTATE_HELD) && (state & SL_GUI_KEYF_DOWN)) {
          // The repeat clock restarts at every press and every repeat; the difference is
          // taken modulo 2^32, so the wrap of the tick count changes nothing.
          const u32 elapsed = now - s->keyTime[key];
          const bool running = (state & SL_GUI_KEYF_REPEATING) != 0;
          if (elapsed >= (running ? s->repeatInterval : s->repeatDelay)) {
            state |= SL_GUI_KEYF_REPEAT | SL_GUI_KEYF_REPEATING;
            s->keyTime[key] = now;
          }
        }
      }
    }
    // The keyboard hands out Windows-1252 units; anything wider is no character of the
    // 8-bit texts and mnemonics, and would be cut into a wrong one.
    const u32 character = keyboard->GetNextChar();
    s->nextChar = character <= 0xFF ? character : 0;
  }
  if (CSL_GS_BaseMouseInput* mouse = s->mouse) {
    s->mouseX = mouse->GetX();
    s->mouseY = mouse->GetY();
    for (u32 i = 0; i < 3; ++i) {
      if (!mouse->HasButtonChanged(i + 1)) continue;
      u8& state = s->buttonState[i];
      state |= SL_GUI_KEYF_CHANGED;
      if (!mouse->IsButtonDown(i + 1)) {
        state &= u8(~SL_GUI_KEYF_DOWN);
        continue;
      }
      state |= SL_GUI_KEYF_DOWN;
      // Measured from press to press; a double click uses up its first press, so the
      // third press of a quick series starts a new pair. 0 means "no press", hence 1.
      u32& last = s->lastPressTime[i];
      if (last != 0 && now - last < s->doubleClickTime) {
        state |= SL_GUI_KEYF_DOUBLE;
        last = 0;
      } else {
        last = now ? now : 1;
      }
    }
    s->button4Down = mouse->IsButtonDown(4) ? 1 : 0;
  }
}

// --- Dispatch ---

u32 CSL_GS_GuiManager::MouseKeys() const {
  u32 keys = 0;
  for (u32 i = 0; i < 3; ++i)
    if (m_state->buttonState[i] & SL_GUI_KEYF_DOWN) keys |= 1u << i;
  if (m_state->button4Down) keys |= 8;
  return keys;
}

bool CSL_GS_GuiManager::IsAltHeld() const {
  // Ctrl+Alt is AltGr on the keyboards that type "@" and "#" with it: plain keys then.
  const u8* key = m_state->keyState;
  return ((key[SL_GUI_KEY_LALT] | key[SL_GUI_KEY_RALT]) & SL_GUI_KEYF_DOWN) &&
         !((key[SL_GUI_KEY_LCTRL] | key[SL_GUI_KEY_RCTRL]) & SL_GUI_KEYF_DOWN);
}

void CSL_GS_GuiManager::ProcessInput() {
  const SLGuiShutdownWatch watch(this);
  ProcessMouse();
  if (watch.ShutDown()) return;
  ProcessKeys();
}

// False when a handler shut the manager down.
bool CSL_GS_GuiManager::ProcessMouse() {
  const SLGuiShutdownWatch watch(this);
  SLGuiManagerState* s = m_state;
  CSL_GS_GuiWindow* const previous = s->previousHoverWindow;
  const u32 previousHit = s->previousHitCode;
  CSL_GS_GuiWindow* const hover = s->hoverWindow;
  const u32 hit = s->hitCode;
  const bool wasClient = previousHit == SL_GUI_HIT_CLIENT, isClient = hit == SL_GUI_HIT_CLIENT;
  WindowHold previousHold(previous), hoverHold(hover);

  // Leave: a window left, or a move between its client area and its frame.
  if (previous && IsLive(previous) && (previous != hover || wasClient != isClient)) {
    if (wasClient)
      previous->OnMouseLeave();
    else
      previous->OnNcMouseLeave();
    if (watch.ShutDown()) return false;
  }
  if (!hover || !IsLive(hover)) return true;

  // Each event is sent with the pointer where it is now, in the window's client
  // coordinates (client events) or on the screen (frame events).
  const i32 screenX = s->mouseX, screenY = s->mouseY;
  auto clientPoint = [this, hover, screenX, screenY](i32* x, i32* y) {
    *x = screenX, *y = screenY;
    ScreenToWindow(hover, x, y);
  };
  bool entered = false;
  if (previous != hover || wasClient != isClient) {
    i32 x, y;
    clientPoint(&x, &y);
    if (isClient)
      hover->OnMouseEnter(MouseKeys(), x, y);
    else
      hover->OnNcMouseEnter(hit, MouseKeys(), screenX, screenY);
    if (watch.ShutDown()) return false;
    if (!IsLive(hover)) return true;
    entered = true;
  }

  // A press on an inactive window activates it first, then the press is delivered.
  bool pressed = false;
  for (u8 button : s->buttonState)
    if ((button & (SL_GUI_KEYF_CHANGED | SL_GUI_KEYF_DOWN)) == (SL_GUI_KEYF_CHANGED | SL_GUI_KEYF_DOWN)) pressed = true;
  if (pressed && hover != s->captureWindow) {
    CSL_GS_GuiWindow* top = TopLevelOf(hover);
    if (s->activeWindow != top) {
      WindowHold topHold(top);
      s->activatingByClick = 1;
      ActivateWindow(top);
      if (watch.ShutDown()) return false;
      s->activatingByClick = 0;
      if (!IsLive(hover) || s->activeWindow != top) return true;
    }
  }

  // Buttons 1, 2, 3 are left, right and middle.
  using ClientEvent = void (CSL_GS_GuiWindow::*)(u32, i32, i32);
  using FrameEvent = void (CSL_GS_GuiWindow::*)(u32, u32, i32, i32);
  static constexpr ClientEvent kClient[3][3] = {
      {&CSL_GS_GuiWindow::OnLButtonUp, &CSL_GS_GuiWindow::OnLButtonDown, &CSL_GS_GuiWindow::OnLButtonDblClk},
      {&CSL_GS_GuiWindow::OnRButtonUp, &CSL_GS_GuiWindow::OnRButtonDown, &CSL_GS_GuiWindow::OnRButtonDblClk},
      {&CSL_GS_GuiWindow::OnMButtonUp, &CSL_GS_GuiWindow::OnMButtonDown, &CSL_GS_GuiWindow::OnMButtonDblClk}};
  static constexpr FrameEvent kFrame[3][3] = {
      {&CSL_GS_GuiWindow::OnNcLButtonUp, &CSL_GS_GuiWindow::OnNcLButtonDown, &CSL_GS_GuiWindow::OnNcLButtonDblClk},
      {&CSL_GS_GuiWindow::OnNcRButtonUp, &CSL_GS_GuiWindow::OnNcRButtonDown, &CSL_GS_GuiWindow::OnNcRButtonDblClk},
      {&CSL_GS_GuiWindow::OnNcMButtonUp, &CSL_GS_GuiWindow::OnNcMButtonDown, &CSL_GS_GuiWindow::OnNcMButtonDblClk}};
  for (u32 i = 0; i < 3; ++i) {
    const u8 button = s->buttonState[i];
    if (!(button & SL_GUI_KEYF_CHANGED)) continue;
    const u32 kind = !(button & SL_GUI_KEYF_DOWN) ? 0 : (button & SL_GUI_KEYF_DOUBLE) ? 2 : 1;
    if (isClient) {
      i32 x, y;
      clientPoint(&x, &y);
      (hover->*kClient[i][kind])(MouseKeys(), x, y);
    } else {
      (hover->*kFrame[i][kind])(hit, MouseKeys(), screenX, screenY);
    }
    if (watch.ShutDown()) return false;
    if (!IsLive(hover)) return true;
  }

  if (entered || screenX != s->previousMouseX || screenY != s->previousMouseY) {
    if (isClient) {
      i32 x, y;
      clientPoint(&x, &y);
      hover->OnMouseMove(MouseKeys(), x, y);
    } else {
      hover->OnNcMouseMove(hit, MouseKeys(), screenX, screenY);
    }
    if (watch.ShutDown()) return false;
  }
  return true;
}

void CSL_GS_GuiManager::ProcessKeys() {
  const SLGuiShutdownWatch watch(this);
  SLGuiManagerState* s = m_state;
  const bool alt = IsAltHeld();
  // Alt makes the active window the target: its system keys (Alt+F4) belong to it.
  CSL_GS_GuiWindow* target = s->focusWindow && !alt ? s->focusWindow : s->activeWindow;
  if (!target || !IsLive(target) || !IsUsableInTree(target)) return;
  WindowHold hold(target);
  const u32 altFlag = alt ? u32(SL_GUI_NAV_ALT) : 0u;
  for (u32 key = 0; key < SL_GS_KEY_COUNT; ++key) {
    const u8 state = s->keyState[key];
    u32 flags;
    if (state & SL_GUI_KEYF_CHANGED)
      flags = (state & SL_GUI_KEYF_DOWN) ? u32(SL_GUI_NAV_KEYDOWN) : 0u;
    else if ((state & (SL_GUI_KEYF_DOWN | SL_GUI_KEYF_REPEAT)) == (SL_GUI_KEYF_DOWN | SL_GUI_KEYF_REPEAT))
      flags = SL_GUI_NAV_KEYDOWN | SL_GUI_NAV_REPEAT;
    else
      continue;
    const u32 answer = ProcessKeyboardNavigation(target, key, flags | altFlag);
    if (watch.ShutDown() || !IsLive(target)) return;
    if (answer == SL_GUI_NAV_STOP) return;  // the character of this tick goes too
    if (answer != SL_GUI_NAV_DELIVER) continue;
    if (flags & SL_GUI_NAV_KEYDOWN)
      alt ? target->OnSysKeyDown(key) : target->OnKeyDown(key);
    else
      alt ? target->OnSysKeyUp(key) : target->OnKeyUp(key);
    if (watch.ShutDown() || !IsLive(target)) return;
  }
  const u32 character = s->nextChar;
  if (character && ProcessKeyboardNavigation(target, character, SL_GUI_NAV_CHAR | altFlag) == SL_GUI_NAV_DELIVER &&
      !watch.ShutDown() && IsLive(target))
    target->OnChar(character);
}

// --- Timers ---

bool CSL_GS_GuiManager::AddTimer(CSL_GS_GuiWindow* window, u32 id, u32 interval, bool idInRange) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!window || !IsLive(window) || !idInRange || interval == 0) return SLFail(SL_E_INVALID_ARG, false);
  const u32 started = m_state->inUpdate ? m_state->now : GetTickCount();
  for (SLGuiTimer& timer : *m_state->timers)
    if (timer.window == window && timer.id == id) {
      timer.interval = interval;
      timer.accumulated = 0;
      timer.started = started, timer.fresh = 1;
      return SLSucceed(true);
    }
  if (!m_state->timers->Add(SLGuiTimer{window, id, interval, 0, started, 1})) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return SLSucceed(true);
}

bool CSL_GS_GuiManager::SetTimer(CSL_GS_GuiWindow* window, u32 id, u32 interval) {
  return AddTimer(window, id, interval, id >= 1 && id < SL_GUI_TIMER_FIRST_INTERNAL);
}

bool CSL_GS_GuiManager::SetInternalTimer(CSL_GS_GuiWindow* window, u32 id, u32 interval) {
  return AddTimer(window, id, interval, id >= SL_GUI_TIMER_FIRST_INTERNAL);
}

bool CSL_GS_GuiManager::KillTimer(CSL_GS_GuiWindow* window, u32 id) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_stateLock);
  if (!window || !IsLive(window) || id == 0) return SLFail(SL_E_INVALID_ARG, false);
  TSLArray<SLGuiTimer>& timers = *m_state->timers;
  for (u32 i = 0; i < timers.GetCount(); ++i) {
    if (timers[i].window != window || timers[i].id != id) continue;
    // The timer pass walks the array by index: during a tick the entry only dies.
    if (m_state->inUpdate)
      timers[i].window = nullptr;
    else
      timers.RemoveAt(i);
    return SLSucceed(true);
  }
  return SLFail(SL_E_INVALID_ARG, false);
}

void CSL_GS_GuiManager::DropTimersOf(CSL_GS_GuiWindow* window) {
  for (SLGuiTimer& timer : *m_state->timers)
    if (timer.window == window) timer.window = nullptr;
  if (!m_state->inUpdate) RemoveDeadTimers();
}

void CSL_GS_GuiManager::RemoveDeadTimers() {
  TSLArray<SLGuiTimer>& timers = *m_state->timers;
  for (u32 i = timers.GetCount(); i-- > 0;)
    if (!timers[i].window) {
      SLErrorKeeper keep;
      timers.RemoveAt(i);
    }
}

void CSL_GS_GuiManager::RunTimers() {
  const SLGuiShutdownWatch watch(this);
  const u32 elapsed = m_state->now - m_state->lastTimerTick;
  // Entries are looked up again by index after every call: a handler may add timers
  // (the array may move), kill them (they die in place) or restart them.
  for (u32 i = 0; i < m_state->timers->GetCount(); ++i) {
    CSL_GS_GuiWindow* window = (*m_state->timers)[i].window;
    if (!window) continue;
    if (!IsLive(window)) {
      (*m_state->timers)[i].window = nullptr;
      continue;
    }
    WindowHold hold(window);
    const u32 id = (*m_state->timers)[i].id;
    auto entry = [this, i, window, id]() -> SLGuiTimer* {
      SLGuiTimer* timer = &(*m_state->timers)[i];
      return timer->window == window && timer->id == id && IsLive(window) ? timer : nullptr;
    };
    auto fire = [&]() -> bool {
      window->OnTimer(id);
      return !watch.ShutDown() && entry();
    };
    // Once per full interval of this tick's time, then the remainder is carried. A timer
    // started since the last pass only has the time from its start.
    u32 left = elapsed, fired = 0;
    if ((*m_state->timers)[i].fresh) {
      left = std::min(elapsed, m_state->now - (*m_state->timers)[i].started);
      (*m_state->timers)[i].fresh = 0;
    }
    bool alive = true;
    while (alive && left >= entry()->interval) {
      if (fired == kMaxFiringsPerPass) {
        left %= entry()->interval;
        break;
      }
      left -= entry()->interval;
      ++fired;
      alive = fire();
    }
    if (watch.ShutDown()) return;
    if (!alive) continue;
    u64 accumulated = u64(entry()->accumulated) + left;
    while (accumulated >= entry()->interval) {
      accumulated -= entry()->interval;
      entry()->accumulated = u32(accumulated);
      if (!fire()) break;
      accumulated = entry()->accumulated;
    }
    if (watch.ShutDown()) return;
    if (SLGuiTimer* timer = entry()) timer->accumulated = u32(std::min<u64>(accumulated, timer->interval - 1));
  }
}
