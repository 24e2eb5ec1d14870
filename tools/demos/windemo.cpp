// Opens one real window and writes every message it receives to standard output, one
// line each ("WM_KEYDOWN 0x41"), until the window is closed. Used to check the window
// layer against a real display:  xvfb-run build/tools/demos/windemo
#include <cstdio>

#include "platform/user32/User32.h"
#include "tools/common/ToolSupport.h"

namespace {

const char* Name(UINT message) {
  switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_MOVE: return "WM_MOVE";
    case WM_SIZE: return "WM_SIZE";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_PAINT: return "WM_PAINT";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_SYSKEYDOWN: return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP: return "WM_SYSKEYUP";
    case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP: return "WM_RBUTTONUP";
    case WM_MOUSEWHEEL: return "WM_MOUSEWHEEL";
    default: return nullptr;
  }
}

LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (const char* name = Name(message)) {
    std::printf("%s 0x%lx 0x%lx\n", name, static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam));
    std::fflush(stdout);
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

namespace {

const sltool::CommandLine kCommandLine("windemo",
                                       "usage: windemo\n"
                                       "  opens a window on the display and reports what it receives until it is "
                                       "closed, or Ctrl-C");

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
  if (argc != 1) return kCommandLine.UsageError("no arguments expected");
  if (!sltool::HasDisplay()) return kCommandLine.Failure("no display (DISPLAY, WAYLAND_DISPLAY and SDL_VIDEODRIVER are unset)");
  sltool::EndOnSignals();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Proc;
  wc.lpszClassName = "SL_DEMO";
  if (!RegisterClassExA(&wc)) return kCommandLine.Failure("cannot register the window class");
  // The title in Windows-1252, as the 8-bit entry points take it.
  HWND window = CreateWindowExA(0, "SL_DEMO", "Demostraci\xF3n", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr,
                                nullptr, nullptr, nullptr);
  if (!window) return kCommandLine.Failure("cannot open the window");
  ShowWindow(window, SW_SHOWNORMAL);
  std::printf("READY\n");
  std::fflush(stdout);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  std::printf("QUIT\n");
  return 0;
}
