// A visible 320x240 top-level window for the input tests, of one class registered once
// per program with the default window procedure.
#pragma once

#include "platform/user32/User32.h"

inline HWND SLTestMakeWindow(const char* title) {
  static const bool registered = [] {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "sltestwindow";
    return RegisterClassExA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "sltestwindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr,
                         nullptr, nullptr);
}
