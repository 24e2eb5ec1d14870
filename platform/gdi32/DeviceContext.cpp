// The two device-context calls the graphics device makes: filling a window black while it
// shows no frames, and the screen's colour depth.
#include "platform/gdi32/Gdi32.h"
#include "platform/modules.h"
#include "platform/user32/WindowSystem.h"

BOOL PatBlt(HDC dc, int, int, int, int, DWORD rop) {
  const HWND window = SLUser32::WindowOfDeviceContext(dc);
  if (!window) return FALSE;
  // Only black is ever painted; the whole client area goes black, whatever the rectangle.
  if (rop != BLACKNESS) return FALSE;
  if (void* native = SLUser32::NativeWindow(window)) SLUser32::Display::PaintBlack(native);
  return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
  if (!SLUser32::WindowOfDeviceContext(dc) || index != BITSPIXEL) return 0;
  int width = 1024, height = 768, bits = 32, refresh = 60;
  SLUser32::Display::DesktopMode(&width, &height, &bits, &refresh);
  return bits;
}

namespace {
const SLPlatformExport kExports[] = {SL_EXPORT(PatBlt), SL_EXPORT(GetDeviceCaps)};
}  // namespace

const SLPlatformExportGroup g_gdi32DeviceContext = SLMakeExportGroup(kExports);
