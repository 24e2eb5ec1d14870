// Keyboard and cursor state as the display reports it, screen metrics and message boxes
// of the user32 stand-in.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Utf8.h"
#include "platform/user32/WindowSystem.h"
#include "platform/user32/WindowTable.h"

namespace SLUser32 {

namespace {
short g_keyState[256];
POINT g_cursor{};
// The desktop has accelerated the motion and swapped the buttons already, so the
// program is told: no acceleration, no swap.
int g_mouse[3] = {6, 10, 0};
bool g_swapped = false;
}  // namespace

void SetKeyState(int virtualKey, bool down) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (virtualKey < 0 || virtualKey > 255) return;
  short toggle = g_keyState[virtualKey] & 1;
  if (down && !(g_keyState[virtualKey] & short(0x8000))) toggle ^= 1;
  g_keyState[virtualKey] = short((down ? 0x8000 : 0) | toggle);
}

void SetCursorPosition(int x, int y) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  g_cursor = POINT{x, y};
}

}  // namespace SLUser32

using namespace SLUser32;

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return int(DesktopRect().right - DesktopRect().left);
    case SM_CYSCREEN: return int(DesktopRect().bottom - DesktopRect().top);
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_SWAPBUTTON: {
      std::lock_guard<std::recursive_mutex> guard(g_lock);
      return g_swapped ? 1 : 0;
    }
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT action, UINT, void* data, UINT) {
  if (action == SPI_GETWORKAREA && data) {
    RECT area;
    if (!Display::UsableBounds(&area)) area = DesktopRect();
    std::memcpy(data, &area, sizeof area);
    return TRUE;
  }
  if ((action == SPI_GETKEYBOARDDELAY || action == SPI_GETKEYBOARDSPEED) && data) {
    const UINT value = action == SPI_GETKEYBOARDDELAY ? 1 : 31;
    std::memcpy(data, &value, sizeof value);
    return TRUE;
  }
  if (action != SPI_GETMOUSE || !data) return SLPlatformSetLastError(87), FALSE;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  std::memcpy(data, g_mouse, sizeof g_mouse);
  return TRUE;
}

BOOL SystemParametersInfoW(UINT action, UINT param, void* data, UINT winIni) {
  return SystemParametersInfoA(action, param, data, winIni);
}

UINT GetDoubleClickTime() { return 500; }

void SLUser32SetMouseParameters(int threshold1, int threshold2, int acceleration, bool swapped) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  g_mouse[0] = threshold1;
  g_mouse[1] = threshold2;
  g_mouse[2] = acceleration;
  g_swapped = swapped;
}

short GetKeyState(int virtualKey) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  return (virtualKey >= 0 && virtualKey < 256) ? g_keyState[virtualKey] : 0;
}

short GetAsyncKeyState(int virtualKey) { return short(GetKeyState(virtualKey) & 0x8000); }

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  *point = g_cursor;
  return TRUE;
}

BOOL ScreenToClient(HWND handle, POINT* point) {
  auto window = FindWindow(handle);
  if (!window || !point) return FALSE;
  point->x -= window->rect.left;
  point->y -= window->rect.top;
  return TRUE;
}

BOOL ClientToScreen(HWND handle, POINT* point) {
  auto window = FindWindow(handle);
  if (!window || !point) return FALSE;
  point->x += window->rect.left;
  point->y += window->rect.top;
  return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
  static HCURSOR current = nullptr;
  HCURSOR previous;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    previous = current;
    current = cursor;
  }
  if (previous != cursor || !cursor) Display::ShowPointer(cursor != nullptr);
  return previous;
}

int ShowCursor(BOOL show) {
  static int counter = 0;
  return show ? ++counter : --counter;
}

BOOL MessageBeep(UINT) { return TRUE; }

// The box is shown on the display when there is one, and waited for, and always written to
// standard error (in UTF-8, as terminals and logs read it), so that a report survives a
// headless run. Its one button answers IDOK.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  std::u16string body = text ? text : u"", title = caption ? caption : u"";
  std::string line = SLPlatformUtf16ToUtf8(title.c_str()) + ": " + SLPlatformUtf16ToUtf8(body.c_str()) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  if (Display::Available()) Display::ShowMessage(title, body, type, owner);
  return IDOK;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::u16string body = AnsiToWide(text), title = AnsiToWide(caption);
  return MessageBoxW(owner, body.c_str(), title.c_str(), type);
}

