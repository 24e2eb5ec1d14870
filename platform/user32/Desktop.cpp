// The desktop and the calls that place a window on it: the desktop window, the
// foreground, raising, repainting and the arrow pointer.
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"
#include "platform/user32/WindowSystem.h"
#include "platform/user32/WindowTable.h"

namespace SLUser32 {

RECT DesktopRect() {
  int width = 1024, height = 768, bits = 32, refresh = 60;
  Display::DesktopMode(&width, &height, &bits, &refresh);
  return RECT{0, 0, width, height};
}

namespace {
// The one cursor there is: the display's own arrow.
HCURSOR const kArrowCursor = reinterpret_cast<HCURSOR>(std::uintptr_t(0xC0A5));

HCURSOR LoadCursorCommon(HINSTANCE instance, const void* name) {
  if (!instance && reinterpret_cast<std::uintptr_t>(name) == IDC_ARROW) return kArrowCursor;
  SLPlatformSetLastError(1402);  // invalid cursor handle
  return nullptr;
}
}  // namespace

}  // namespace SLUser32

using namespace SLUser32;

void* GetMenu(HWND) { return nullptr; }

HWND GetDesktopWindow() { return kDesktopWindow; }

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL AttachThreadInput(DWORD, DWORD, BOOL) { return TRUE; }

BOOL BringWindowToTop(HWND handle) {
  auto window = FindWindow(handle);
  if (!window) return SLPlatformSetLastError(1400), FALSE;
  if (window->native) Display::Raise(window->native);
  return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) { return LoadCursorCommon(instance, name); }
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) { return LoadCursorCommon(instance, name); }

BOOL RedrawWindow(HWND handle, const RECT*, void*, UINT flags) {
  if (!(flags & RDW_INVALIDATE)) return TRUE;
  if (handle && handle != kDesktopWindow) {
    if (!IsWindow(handle)) return SLPlatformSetLastError(1400), FALSE;
    MarkNeedsPaint(handle);
    return TRUE;
  }
  std::vector<HWND> all;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (auto& [key, window] : g_windows)
      if (!window->destroying) all.push_back(window->handle);
  }
  for (HWND window : all) MarkNeedsPaint(window);
  return TRUE;
}

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(GetMenu),          SL_EXPORT(GetDesktopWindow), SL_EXPORT(GetForegroundWindow),
    SL_EXPORT(AttachThreadInput), SL_EXPORT(BringWindowToTop), SL_EXPORT(LoadCursorA),
    SL_EXPORT(LoadCursorW),      SL_EXPORT(RedrawWindow),
};
}  // namespace

const SLPlatformExportGroup g_user32Desktop = SLMakeExportGroup(kExports);
