// Window classes, the window table, window creation and destruction, window longs,
// procedures and text of the user32 stand-in.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/kernel32/Core.h"
#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Text.h"
#include "platform/user32/Icons.h"
#include "platform/user32/Queue.h"
#include "platform/user32/WindowSystem.h"
#include "platform/user32/WindowTable.h"

namespace SLUser32 {

std::recursive_mutex g_lock;
std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> g_windows;
HWND g_focus = nullptr;
HWND g_active = nullptr;

// The 8-bit text of the A entry points is Windows-1252, converted by kernel32's own tables.
char16_t AnsiCharToWide(unsigned char c) {
  char byte = char(c);
  char16_t unit = 0;
  return MultiByteToWideChar(1252, 0, &byte, 1, &unit, 1) == 1 ? unit : char16_t(c);
}

int WideCharToAnsi(char16_t c) {
  constexpr DWORD kNoBestFit = 0x400;
  char byte = 0;
  BOOL usedDefault = FALSE;
  if (WideCharToMultiByte(1252, kNoBestFit, &c, 1, &byte, 1, nullptr, &usedDefault) != 1 || usedDefault) return -1;
  return static_cast<unsigned char>(byte);
}

std::u16string AnsiToWide(const char* text) {
  std::u16string out;
  if (text)
    for (; *text; ++text) out += AnsiCharToWide(static_cast<unsigned char>(*text));
  return out;
}

std::string WideToAnsi(const char16_t* text) {
  std::string out;
  if (text)
    for (; *text; ++text) {
      int c = WideCharToAnsi(*text);
      out += c < 0 ? '?' : char(c);
    }
  return out;
}

std::u16string Folded(std::u16string text) {
  for (auto& c : text)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return text;
}

HWND MainWindow() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  std::uintptr_t first = 0;
  for (const auto& [key, window] : g_windows)
    if (window->native && !window->parent && !window->destroying && (!first || key < first)) first = key;
  return reinterpret_cast<HWND>(first);
}

std::shared_ptr<Window> FindWindow(HWND handle) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == g_windows.end() ? nullptr : it->second;
}

namespace {

struct WindowClass {
  std::u16string name;
  ATOM atom;
  UINT style;
  WNDPROC proc;
  int windowExtra;
  HINSTANCE instance;
  HICON icon;
  HICON iconSmall;
};

std::vector<WindowClass> g_classes;
ATOM g_nextAtom = 0xC000;
std::uintptr_t g_nextWindow = 0x10010;

bool IsAtom(const void* name) { return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF; }

// Class lookup by name or atom (an integer of 0xFFFF or less in the name pointer).
WindowClass* FindClass(const std::u16string* name, std::uintptr_t atom) {
  for (auto& wc : g_classes)
    if (name ? Folded(wc.name) == Folded(*name) : wc.atom == atom) return &wc;
  return nullptr;
}

ATOM RegisterClassCommon(UINT size, UINT style, WNDPROC proc, int windowExtra, HINSTANCE instance,
                         HICON icon, HICON iconSmall, const void* className, bool wide) {
  if (size == 0 || !proc || !className || windowExtra < 0) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string name = wide ? std::u16string(static_cast<const char16_t*>(className))
                             : AnsiToWide(static_cast<const char*>(className));
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (name.empty() || FindClass(&name, 0)) {
    SLPlatformSetLastError(1410);  // class already exists
    return 0;
  }
  WindowClass wc{name, g_nextAtom++, style, proc, windowExtra, instance, icon, iconSmall};
  g_classes.push_back(wc);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return wc.atom;
}

BOOL UnregisterClassCommon(const std::u16string* name, std::uintptr_t atom) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  WindowClass* wc = FindClass(name, atom);
  if (!wc) {
    SLPlatformSetLastError(1411);  // class does not exist
    return FALSE;
  }
  for (auto& [key, window] : g_windows)
    if (window->classAtom == wc->atom && !window->destroying) {
      SLPlatformSetLastError(1412);  // class still has windows
      return FALSE;
    }
  g_classes.erase(g_classes.begin() + (wc - g_classes.data()));
  return TRUE;
}

template <class CreateStruct, class Char>
HWND CreateWindowCommon(DWORD exStyle, const Char* className, const Char* windowName, DWORD style,
                        int x, int y, int width, int height, HWND parent, void* menu,
                        HINSTANCE instance, LPVOID param) {
  constexpr bool wide = sizeof(Char) == 2;
  auto widen = [](const Char* text) -> std::u16string {
    if (!text) return {};
    if constexpr (wide)
      return std::u16string(reinterpret_cast<const char16_t*>(text));
    else
      return AnsiToWide(reinterpret_cast<const char*>(text));
  };
  auto window = std::make_shared<Window>();
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    std::u16string name;
    WindowClass* wc = nullptr;
    if (IsAtom(className)) {
      wc = FindClass(nullptr, reinterpret_cast<std::uintptr_t>(className));
    } else {
      name = widen(className);
      wc = FindClass(&name, 0);
    }
    if (!wc) {
      SLPlatformSetLastError(1407);  // cannot find the window class
      return nullptr;
    }
    if (parent && !g_windows.count(reinterpret_cast<std::uintptr_t>(parent))) {
      SLPlatformSetLastError(1400);  // invalid window handle
      return nullptr;
    }
    window->handle = reinterpret_cast<HWND>(g_nextWindow);
    g_nextWindow += 0x10;
    window->classAtom = wc->atom;
    window->style = style;
    window->exStyle = exStyle;
    window->proc = wc->proc;
    window->instance = instance;
    window->extra.assign((wc->windowExtra + sizeof(LONG_PTR) - 1) / sizeof(LONG_PTR) + 1, 0);
    window->threadId = SLPlatformThreadId();
    window->unicode = wide;
    window->parent = parent;
    window->id = reinterpret_cast<LONG_PTR>(menu);
    window->title = widen(windowName);
    window->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    g_windows[reinterpret_cast<std::uintptr_t>(window->handle)] = window;
  }
  HWND handle = window->handle;
  CreateStruct cs{};
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.cx = width;
  cs.cy = height;
  cs.x = x;
  cs.y = y;
  cs.style = static_cast<LONG>(style);
  cs.lpszName = windowName;
  cs.lpszClass = className;
  cs.dwExStyle = exStyle;
  // The creation hook sees the window before its first message and may refuse it.
  struct {
    CreateStruct* lpcs;
    HWND hwndInsertAfter;
  } cbt{&cs, nullptr};
  auto fail = [&]() -> HWND {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_windows.erase(reinterpret_cast<std::uintptr_t>(handle));
    SLPlatformSetLastError(1431);  // creation cancelled
    return nullptr;
  };
  if (RunCbtHooks(HCBT_CREATEWND, reinterpret_cast<WPARAM>(handle), reinterpret_cast<LPARAM>(&cbt)))
    return fail();
  auto send = [&](UINT message, WPARAM w, LPARAM l) {
    return wide ? SendMessageW(handle, message, w, l) : SendMessageA(handle, message, w, l);
  };
  if (!send(WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) return fail();
  RECT client{0, 0, std::max(width, 0), std::max(height, 0)};
  send(WM_NCCALCSIZE, 0, reinterpret_cast<LPARAM>(&client));
  if (send(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(handle);
    SLPlatformSetLastError(1431);
    return nullptr;
  }
  if (!IsWindow(handle)) return nullptr;
  send(WM_SIZE, SIZE_RESTORED, (LPARAM(std::max(height, 0)) << 16) | (std::max(width, 0) & 0xFFFF));
  send(WM_MOVE, 0, (LPARAM(y & 0xFFFF) << 16) | (x & 0xFFFF));
  // Top-level windows get a real window on the display (when one is available).
  if (!parent && !(style & WS_CHILD) && Display::Available()) {
    window->native = Display::CreateTopLevel(handle, window->title, window->rect, (style & WS_VISIBLE) != 0);
    if (window->native) Queue::SetDisplayThread(window->threadId);
  }
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return handle;
}

LONG_PTR GetLongCommon(HWND handle, int index) {
  auto window = FindWindow(handle);
  if (!window) {
    SLPlatformSetLastError(1400);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(window->proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(window->instance);
    case GWL_ID: return window->id;
    case GWL_STYLE: return LONG_PTR(window->style);
    case GWL_EXSTYLE: return LONG_PTR(window->exStyle);
    case GWL_USERDATA: return window->userData;
    default:
      // Extra bytes are addressed by byte offset; each slot holds a pointer-sized value.
      if (index >= 0 && index % 4 == 0 && std::size_t(index / 4) < window->extra.size())
        return window->extra[index / 4];
      SLPlatformSetLastError(1413);  // invalid index
      return 0;
  }
}

LONG_PTR SetLongCommon(HWND handle, int index, LONG_PTR value) {
  auto window = FindWindow(handle);
  if (!window) {
    SLPlatformSetLastError(1400);
    return 0;
  }
  LONG_PTR previous = 0;
  STYLESTRUCT styles{};
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    switch (index) {
      case GWL_WNDPROC:
        if (!value) {
          SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
          return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window->proc);
        window->proc = reinterpret_cast<WNDPROC>(value);
        return previous;
      case GWL_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(value);
        return previous;
      case GWL_ID:
        previous = window->id;
        window->id = value;
        return previous;
      case GWL_USERDATA:
        previous = window->userData;
        window->userData = value;
        return previous;
      case GWL_STYLE:
      case GWL_EXSTYLE:
        styles.styleOld = index == GWL_STYLE ? window->style : window->exStyle;
        styles.styleNew = DWORD(value);
        break;
      default:
        if (index >= 0 && index % 4 == 0 && std::size_t(index / 4) < window->extra.size()) {
          previous = window->extra[index / 4];
          window->extra[index / 4] = value;
          return previous;
        }
        SLPlatformSetLastError(1413);
        return 0;
    }
  }
  // Style changes are announced before and after, as the window procedures expect.
  SendMessageW(handle, WM_STYLECHANGING, WPARAM(LONG_PTR(index)), reinterpret_cast<LPARAM>(&styles));
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    (index == GWL_STYLE ? window->style : window->exStyle) = styles.styleNew;
  }
  SendMessageW(handle, WM_STYLECHANGED, WPARAM(LONG_PTR(index)), reinterpret_cast<LPARAM>(&styles));
  return LONG_PTR(styles.styleOld);
}
}  // namespace

// Used by the queue: the window's owner thread and whether it waits for WM_PAINT.
bool WindowOwner(HWND handle, DWORD* threadId) {
  auto window = FindWindow(handle);
  if (!window || window->destroying) return false;
  *threadId = window->threadId;
  return true;
}

bool WindowIsUnicode(HWND handle) {
  auto window = FindWindow(handle);
  return window && window->unicode;
}

void* NativeWindow(HWND handle) {
  auto window = FindWindow(handle);
  return window ? window->native : nullptr;
}

WNDPROC WindowProcedure(HWND handle) {
  auto window = FindWindow(handle);
  if (!window) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  return window->proc;
}

bool WindowIsDescendantOrSelf(HWND handle, HWND filter) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  for (HWND h = handle; h;) {
    if (h == filter) return true;
    auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == g_windows.end()) return false;
    h = it->second->parent;
  }
  return false;
}

}  // namespace SLUser32

using namespace SLUser32;

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  if (!wc) return SLPlatformSetLastError(ERROR_INVALID_PARAMETER), ATOM(0);
  return RegisterClassCommon(wc->cbSize, wc->style, wc->lpfnWndProc, wc->cbWndExtra, wc->hInstance, wc->hIcon,
                             wc->hIconSm, wc->lpszClassName, false);
}

ATOM RegisterClassExW(const WNDCLASSEXW* wc) {
  if (!wc) return SLPlatformSetLastError(ERROR_INVALID_PARAMETER), ATOM(0);
  return RegisterClassCommon(wc->cbSize, wc->style, wc->lpfnWndProc, wc->cbWndExtra, wc->hInstance, wc->hIcon,
                             wc->hIconSm, wc->lpszClassName, true);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (IsAtom(className)) return UnregisterClassCommon(nullptr, reinterpret_cast<std::uintptr_t>(className));
  std::u16string name = AnsiToWide(className);
  return UnregisterClassCommon(&name, 0);
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  if (IsAtom(className)) return UnregisterClassCommon(nullptr, reinterpret_cast<std::uintptr_t>(className));
  std::u16string name(className);
  return UnregisterClassCommon(&name, 0);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, void* menu, HINSTANCE instance, LPVOID param) {
  return CreateWindowCommon<CREATESTRUCTA>(exStyle, className, windowName, style, x, y, width, height, parent,
                                           menu, instance, param);
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, void* menu, HINSTANCE instance, LPVOID param) {
  return CreateWindowCommon<CREATESTRUCTW>(exStyle, className, windowName, style, x, y, width, height, parent,
                                           menu, instance, param);
}

BOOL DestroyWindow(HWND handle) {
  auto window = FindWindow(handle);
  if (!window || window->destroying) {
    SLPlatformSetLastError(1400);
    return FALSE;
  }
  if (window->threadId != SLPlatformThreadId()) {
    SLPlatformSetLastError(ERROR_ACCESS_DENIED);  // only the owning thread destroys a window
    return FALSE;
  }
  // Children go first, as the system does.
  std::vector<HWND> children;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (auto& [key, other] : g_windows)
      if (other->parent == handle && !other->destroying) children.push_back(other->handle);
  }
  for (HWND child : children) DestroyWindow(child);
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    window->destroying = true;
  }
  // The display's window goes last: WM_DESTROY may still release what was made on it.
  SendMessageW(handle, WM_DESTROY, 0, 0);
  SendMessageW(handle, WM_NCDESTROY, 0, 0);
  if (window->native) {
    Display::Destroy(window->native);
    window->native = nullptr;
  }
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_windows.erase(reinterpret_cast<std::uintptr_t>(handle));
    if (g_focus == handle) g_focus = nullptr;
    if (g_active == handle) g_active = nullptr;
  }
  Queue::DropWindow(window->threadId, handle);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL IsWindow(HWND handle) { return handle && FindWindow(handle) ? TRUE : FALSE; }

DWORD GetWindowThreadProcessId(HWND handle, DWORD* processId) {
  auto window = FindWindow(handle);
  if (!window) {
    SLPlatformSetLastError(1400);
    return 0;
  }
  if (processId) *processId = static_cast<DWORD>(getpid());
  return window->threadId;
}

LONG_PTR GetWindowLongA(HWND window, int index) { return GetLongCommon(window, index); }
LONG_PTR GetWindowLongW(HWND window, int index) { return GetLongCommon(window, index); }
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) { return SetLongCommon(window, index, value); }
LONG_PTR SetWindowLongW(HWND window, int index, LONG_PTR value) { return SetLongCommon(window, index, value); }

LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(window, message, wParam, lParam) : 0;
}

LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(window, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_PAINT: ValidateRect(window, nullptr); return 0;
    case WM_ERASEBKGND: return TRUE;
    case WM_SETICON: return SetWindowIconMessage(window, wParam, reinterpret_cast<HICON>(lParam));
    case WM_SETTEXT:
      if (auto w = FindWindow(window)) {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        w->title = lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : std::u16string();
      }
      return TRUE;
    default: return 0;
  }
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT) {
    std::u16string text = AnsiToWide(reinterpret_cast<const char*>(lParam));
    return DefWindowProcW(window, message, wParam, reinterpret_cast<LPARAM>(text.c_str()));
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// There are no MDI frames here; an MDI child's default is the plain default.
LRESULT DefMDIChildProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}
LRESULT DefMDIChildProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

BOOL SetWindowTextW(HWND handle, LPCWSTR text) {
  auto window = FindWindow(handle);
  if (!window) return SLPlatformSetLastError(1400), FALSE;
  std::u16string title = text ? text : u"";
  SendMessageW(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
  if (window->native) Display::SetTitle(window->native, title);
  return TRUE;
}

BOOL SetWindowTextA(HWND handle, LPCSTR text) {
  std::u16string title = AnsiToWide(text);
  return SetWindowTextW(handle, title.c_str());
}

