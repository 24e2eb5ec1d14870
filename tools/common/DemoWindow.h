// The real window of the demos and the loop that drives them: messages pumped, the input
// devices polled and the demo's own pass (a GUI tick and a frame, or a report) every
// 10 ms, until the window is closed or the time is up. The pointer starts where it first entered the
// window: the devices only report relative movement, so the first WM_MOUSEMOVE of the
// window places it once and the device moves it from there.
#pragma once

#include <chrono>
#include <cstdio>
#include <thread>

#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "platform/user32/User32.h"

namespace sldemo {

struct PointerEntry {
  bool seen = false;
  i32 x = 0, y = 0;
};

inline PointerEntry& FirstPointer() {
  static PointerEntry entry;
  return entry;
}

inline LRESULT DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PointerEntry& pointer = FirstPointer();
  if (message == WM_MOUSEMOVE && !pointer.seen) {
    pointer.seen = true;
    pointer.x = i32(i16(lParam & 0xFFFF));
    pointer.y = i32(i16((lParam >> 16) & 0xFFFF));
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

// A shown top-level window of the demos' class; null when it cannot be made.
inline HWND OpenDemoWindow(const char* title, i32 width, i32 height) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &DemoWindowProc;
  wc.lpszClassName = "SL_GUI_DEMO";
  if (!RegisterClassExA(&wc)) return nullptr;
  HWND window = CreateWindowExA(0, "SL_GUI_DEMO", title, WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr, nullptr,
                                nullptr, nullptr);
  if (window) ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

// Runs until WM_QUIT, or until `seconds` pass when it is positive; `pass` runs once a
// round after the devices' poll.
template <class Pass>
void RunDemoLoop(CSL_GS_BaseMouseInput& mouse, int seconds, Pass pass) {
  bool placed = false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (seconds <= 0 || std::chrono::steady_clock::now() < until) {
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) quit = true;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (quit) break;
    SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC);
    if (FirstPointer().seen && !placed) {
      // The tick took the movement that brought the pointer in; from here on only the
      // device's relative movement places it.
      placed = true;
      mouse.SetPosition(FirstPointer().x, FirstPointer().y);
    }
    pass();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// What the devices saw at this tick, one line each, so that a script driving a demo on a
// virtual display can wait for the demo to have seen each step (a key or a button held
// until it was seen down, the pointer moved again only once it was seen where the last
// movement put it) instead of guessing how long a loaded machine takes:
//   KEY <framework key code>        a key went down at this tick
//   CHAR 0x<Windows-1252 unit>      the typed character of this tick (only when `characters`:
//                                   taking it here would take it from the demo's widgets)
//   BUTTON <1..4> <1 down, 0 up>    a button changed at this tick
//   POINTER <x> <y>                 the device's pointer position, when it moved
struct InputReport {
  i32 x = -1, y = -1;
};

inline void ReportInput(CSL_GS_BaseKeyboardInput& keyboard, CSL_GS_BaseMouseInput& mouse, InputReport* last,
                        bool characters) {
  u8 keys[SL_GS_KEY_COUNT];
  if (keyboard.GetState(keys, sizeof keys))
    for (u32 code = 0; code < SL_GS_KEY_COUNT; ++code)
      if (keys[code] == 3) std::printf("KEY %u\n", code);
  if (characters)
    if (SLWChar c = keyboard.GetNextChar()) std::printf("CHAR 0x%02X\n", unsigned(c));
  for (u32 button = 1; button <= 4; ++button)
    if (mouse.HasButtonChanged(button)) std::printf("BUTTON %u %u\n", button, mouse.IsButtonDown(button));
  const i32 x = mouse.GetX(), y = mouse.GetY();
  if (x != last->x || y != last->y) std::printf("POINTER %d %d\n", x, y);
  last->x = x;
  last->y = y;
  std::fflush(stdout);
}

}  // namespace sldemo
