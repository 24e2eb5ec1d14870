// Display events for a test window, pushed into SDL's queue the way the display delivers
// them, and the pump that turns them into window messages.
#pragma once

#include <SDL2/SDL.h>

#include "platform/user32/User32.h"
#include "platform/user32/WindowSystem.h"

// An event of `type` for the window: every window-bound event keeps its window id at the
// place of the window event's.
inline SDL_Event SLTestEvent(HWND window, Uint32 type) {
  SDL_Event event{};
  event.type = type;
  event.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(SLUser32::NativeWindow(window)));
  return event;
}

inline bool SLTestPush(SDL_Event event) { return SDL_PushEvent(&event) == 1; }

inline bool SLTestPushKey(HWND window, SDL_Scancode code, bool down) {
  SDL_Event event = SLTestEvent(window, down ? SDL_KEYDOWN : SDL_KEYUP);
  event.key.keysym.scancode = code;
  event.key.keysym.sym = SDL_GetKeyFromScancode(code);
  return SLTestPush(event);
}

inline bool SLTestPushFocus(HWND window, bool gained) {
  SDL_Event event = SLTestEvent(window, SDL_WINDOWEVENT);
  event.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
  return SLTestPush(event);
}

inline bool SLTestPushMotion(HWND window, int dx, int dy) {
  SDL_Event event = SLTestEvent(window, SDL_MOUSEMOTION);
  event.motion.xrel = dx;
  event.motion.yrel = dy;
  return SLTestPush(event);
}

inline bool SLTestPushButton(HWND window, Uint8 button, bool down) {
  SDL_Event event = SLTestEvent(window, down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP);
  event.button.button = button;
  return SLTestPush(event);
}

// Takes every message off the thread's queue and dispatches it, keys translated.
inline void SLTestPump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Full screen: the display grabs the pointer and reports only its relative movement, which
// is what the mouse device reads there. (In a window the device follows the system
// pointer's position instead.)
inline bool SLTestFullScreen(HWND window) {
  auto* native = static_cast<SDL_Window*>(SLUser32::NativeWindow(window));
  if (!native || SDL_SetWindowFullscreen(native, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return false;
  SLTestPump();
  return (SDL_GetWindowFlags(native) & SDL_WINDOW_FULLSCREEN) != 0;
}
