// Opens one real window with the keyboard and mouse devices on it and runs logic ticks
// every 10 ms, writing what the devices report, one line each (KEY, CHAR, BUTTON and
// POINTER, as sldemo::ReportInput writes them), until the window is closed.
// The pointer starts where the first WM_MOUSEMOVE puts it and from then on follows the
// device's relative movement only. Used to check the input path against a real display:
//   xvfb-run build/tools/demos/inputdemo
#include <cstdio>

#include "platform/user32/User32.h"
#include "tools/common/DemoWindow.h"
#include "tools/common/ToolSupport.h"

namespace {

const sltool::CommandLine kCommandLine("inputdemo",
                                       "usage: inputdemo\n"
                                       "  opens a window on the display and reports what it receives until it is "
                                       "closed, or Ctrl-C");

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
  if (argc != 1) return kCommandLine.UsageError("no arguments expected");
  if (!sltool::HasDisplay()) return kCommandLine.Failure("no display (DISPLAY, WAYLAND_DISPLAY and SDL_VIDEODRIVER are unset)");
  sltool::EndOnSignals();
  // The title in Windows-1252, as the 8-bit entry points take it.
  HWND window = sldemo::OpenDemoWindow("Demostraci\xF3n de entrada", 640, 480);
  if (!window) return kCommandLine.Failure("cannot open the window");
  RECT client{};
  GetClientRect(window, &client);

  CSL_GS_KeyboardInput_DirectX keyboard;
  CSL_GS_MouseInput_DirectX mouse;
  if (!keyboard.Init(nullptr, window) || !mouse.Init(nullptr, window)) return 3;
  mouse.SetArea(0, 0, client.right, client.bottom);
  std::printf("READY\n");
  std::fflush(stdout);

  sldemo::InputReport last{mouse.GetX(), mouse.GetY()};
  sldemo::RunDemoLoop(mouse, 0, [&] { sldemo::ReportInput(keyboard, mouse, &last, true); });
  std::printf("QUIT\n");
  return 0;
}
