// Visibility, placement, focus and painting of the user32 stand-in's windows.
#include <algorithm>

#include "platform/kernel32/Handles.h"
#include "platform/user32/Queue.h"
#include "platform/user32/WindowSystem.h"
#include "platform/user32/WindowTable.h"

namespace SLUser32 {

void MarkActive(HWND window, bool active) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (active) {
    g_active = window;
    g_focus = window;
  } else if (g_active == window) {
    g_active = nullptr;
    g_focus = nullptr;
  }
}

void MarkMinimized(HWND handle, bool minimized) {
  if (auto window = FindWindow(handle)) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    window->minimized = minimized;
  }
}

void MarkNeedsPaint(HWND handle) {
  if (auto window = FindWindow(handle)) {
    {
      std::lock_guard<std::recursive_mutex> guard(g_lock);
      window->needsPaint = true;
    }
    Queue::Wake(window->threadId);
  }
}

void MoveFromDisplay(HWND handle, int x, int y) {
  if (auto window = FindWindow(handle)) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    RECT& rect = window->rect;
    rect.right += x - rect.left;
    rect.bottom += y - rect.top;
    rect.left = x;
    rect.top = y;
  }
}

HWND TakePaintWindow(DWORD threadId, HWND filter, bool remove) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  for (auto& [key, window] : g_windows)
    if (window->threadId == threadId && window->needsPaint && !window->destroying &&
        (!filter || window->handle == filter)) {
      if (remove) window->needsPaint = false;
      return window->handle;
    }
  return nullptr;
}

}  // namespace SLUser32

using namespace SLUser32;

BOOL ShowWindow(HWND handle, int command) {
  auto window = FindWindow(handle);
  if (!window) return SLPlatformSetLastError(1400), FALSE;
  bool wasVisible;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    window->minimized = command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE;
    if (window->visible) window->needsPaint = true;
  }
  if (window->native) Display::Show(window->native, command);
  if (!wasVisible && command != SW_HIDE) SendMessageW(handle, WM_SHOWWINDOW, TRUE, 0);
  if (command == SW_SHOWNORMAL || command == SW_SHOW || command == SW_RESTORE) {
    MarkActive(handle, true);
    SendMessageW(handle, WM_ACTIVATE, WA_ACTIVE, 0);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND handle) {
  auto window = FindWindow(handle);
  if (!window) return SLPlatformSetLastError(1400), FALSE;
  bool paint;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    paint = window->needsPaint && window->visible;
  }
  if (paint) SendMessageW(handle, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL IsIconic(HWND handle) {
  auto window = FindWindow(handle);
  return window && window->minimized ? TRUE : FALSE;
}

HWND SetFocus(HWND handle) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  HWND previous = g_focus;
  if (handle && !g_windows.count(reinterpret_cast<std::uintptr_t>(handle))) {
    SLPlatformSetLastError(1400);
    return nullptr;
  }
  g_focus = handle;
  return previous;
}

HWND GetFocus() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  return g_focus;
}

HWND GetActiveWindow() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  return g_active;
}

BOOL SetForegroundWindow(HWND handle) {
  if (!IsWindow(handle)) return FALSE;
  MarkActive(handle, true);
  return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect) {
  if (handle == kDesktopWindow && rect) {
    const RECT desktop = DesktopRect();
    *rect = RECT{0, 0, desktop.right - desktop.left, desktop.bottom - desktop.top};
    return TRUE;
  }
  auto window = FindWindow(handle);
  if (!window || !rect) return SLPlatformSetLastError(1400), FALSE;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  *rect = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
  return TRUE;
}

BOOL GetWindowRect(HWND handle, RECT* rect) {
  if (handle == kDesktopWindow && rect) return *rect = DesktopRect(), TRUE;
  auto window = FindWindow(handle);
  if (!window || !rect) return SLPlatformSetLastError(1400), FALSE;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  *rect = window->rect;
  return TRUE;
}

// Moves and sizes the table's rectangle and the display's window. The window's styles
// choose its frame: a pop-up kept on top is full screen, a title bar a decorated window.
BOOL SetWindowPos(HWND handle, HWND, int x, int y, int cx, int cy, UINT flags) {
  auto window = FindWindow(handle);
  if (!window) return SLPlatformSetLastError(1400), FALSE;
  RECT rect, old;
  DWORD style, exStyle;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    rect = old = window->rect;
    style = window->style;
    exStyle = window->exStyle;
    if (!(flags & SWP_NOMOVE)) {
      rect.right += x - rect.left;
      rect.bottom += y - rect.top;
      rect.left = x;
      rect.top = y;
    }
    if (!(flags & SWP_NOSIZE)) {
      rect.right = rect.left + std::max(cx, 0);
      rect.bottom = rect.top + std::max(cy, 0);
    }
    window->rect = rect;
    if (!(flags & SWP_NOREDRAW)) window->needsPaint = true;
  }
  if (window->native) {
    const bool fullScreen = (style & WS_POPUP) && (exStyle & WS_EX_TOPMOST);
    Display::SetFrame(window->native, fullScreen, (style & WS_CAPTION) == WS_CAPTION);
    if (!fullScreen) {
      if (!(flags & SWP_NOSIZE)) Display::SetRect(window->native, rect);
      if (!(flags & SWP_NOMOVE)) Display::SetPosition(window->native, rect.left, rect.top);
    }
  }
  const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (!(flags & SWP_NOSIZE) && (width != old.right - old.left || height != old.bottom - old.top || (flags & SWP_FRAMECHANGED)))
    SendMessageW(handle, WM_SIZE, SIZE_RESTORED, (LPARAM(height) << 16) | (width & 0xFFFF));
  if (!(flags & SWP_NOMOVE) && (rect.left != old.left || rect.top != old.top || (flags & SWP_FRAMECHANGED)))
    SendMessageW(handle, WM_MOVE, 0, (LPARAM(rect.top & 0xFFFF) << 16) | (rect.left & 0xFFFF));
  return TRUE;
}

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL) {
  return SetWindowPos(handle, nullptr, x, y, width, height, 0);
}

// The display's decorations belong to its window manager: client and window sizes agree.
BOOL AdjustWindowRectEx(RECT* rect, DWORD, BOOL, DWORD) { return rect ? TRUE : FALSE; }

BOOL InvalidateRect(HWND handle, const RECT*, BOOL) {
  if (!handle) return FALSE;
  if (!IsWindow(handle)) return SLPlatformSetLastError(1400), FALSE;
  MarkNeedsPaint(handle);
  return TRUE;
}

BOOL ValidateRect(HWND handle, const RECT*) {
  auto window = FindWindow(handle);
  if (!window) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  window->needsPaint = false;
  return TRUE;
}

// Drawing goes through the graphics device, never through device contexts: a context
// handed out here is a token naming its window (the screen's names the desktop).
HDC BeginPaint(HWND handle, PAINTSTRUCT* paint) {
  if (!paint || !IsWindow(handle)) return nullptr;
  *paint = PAINTSTRUCT{};
  paint->hdc = DeviceContextOf(handle);
  GetClientRect(handle, &paint->rcPaint);
  ValidateRect(handle, nullptr);
  return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }
HDC GetDC(HWND handle) {
  if (handle && !IsWindow(handle)) return SLPlatformSetLastError(1400), nullptr;
  return DeviceContextOf(handle ? handle : kDesktopWindow);
}
int ReleaseDC(HWND, HDC) { return 1; }
