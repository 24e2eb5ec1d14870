// The real window of the demos and the loop that drives them: messages pumped, the input
// devices polled and the demo's own pass (a GUI tick and a frame, or a report) every
// 10 ms, until the window is closed or the time is up. The pointer starts where it first entered the
// window: the devices only report relative movement, so the first WM_MOUSEMOVE of the
// window places it once and the device moves it from there.
#pragma once

#include <chrono>
#include <thread>

#include "gamesystem/SLPhaseHooks.h"
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

}  // namespace sldemo
