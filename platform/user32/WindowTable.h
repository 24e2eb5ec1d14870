// Internal to the user32 stand-in: the window table that the window, placement, input and
// hook files share, under one lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/user32/User32.h"

namespace SLUser32 {

struct Window {
  HWND handle = nullptr;
  ATOM classAtom = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  std::vector<LONG_PTR> extra;
  DWORD threadId = 0;
  HWND parent = nullptr;
  std::u16string title;
  RECT rect{};
  bool visible = false;
  bool minimized = false;
  bool needsPaint = false;
  bool destroying = false;
  bool unicode = false;  // made by CreateWindowExW: characters arrive as UTF-16
  void* native = nullptr;
};

extern std::recursive_mutex g_lock;  // guards every table; never held across a window procedure
extern std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> g_windows;
extern HWND g_focus;
extern HWND g_active;

// Class names compare without regard to ASCII case.
std::u16string Folded(std::u16string text);
std::shared_ptr<Window> FindWindow(HWND handle);
// Runs the calling thread's creation hooks, newest first; the first non-zero answer cancels.
LRESULT RunCbtHooks(int code, WPARAM wParam, LPARAM lParam);

}  // namespace SLUser32
