// Opens one real window with the keyboard and mouse devices on it and runs logic ticks
// every 10 ms, writing what the devices report, one line each, until the window is
// closed:
//   KEY <framework key code>        a key went down at this tick
//   CHAR 0x<Windows-1252 unit>      the typed character of this tick
//   POINTER <x> <y>                 the device's pointer position, when it moved
//   BUTTON <1..4> <1 down, 0 up>    a button changed at this tick
// The pointer starts where the first WM_MOUSEMOVE puts it and from then on follows the
// device's relative movement only. Used to check the input path against a real display:
//   xvfb-run build/tools/demos/inputdemo
#include <cstdio>

#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "platform/user32/User32.h"
#include "tools/common/DemoWindow.h"
#include "tools/common/ToolSupport.h"

namespace {

void Report(CSL_GS_KeyboardInput_DirectX& keyboard, CSL_GS_MouseInput_DirectX& mouse, i32* lastX, i32* lastY) {
  u8 keys[SL_GS_KEY_COUNT];
  if (keyboard.GetState(keys, sizeof keys))
    for (u32 code = 0; code < SL_GS_KEY_COUNT; ++code)
      if (keys[code] == 3) std::printf("KEY %u\n", code);
  if (SLWChar c = keyboard.GetNextChar()) std::printf("CHAR 0x%02X\n", unsigned(c));
  for (u32 button = 1; button <= 4; ++button)
    if (mouse.HasButtonChanged(button)) std::printf("BUTTON %u %u\n", button, mouse.IsButtonDown(button));
  i32 x = mouse.GetX(), y = mouse.GetY();
  if (x != *lastX || y != *lastY) std::printf("POINTER %d %d\n", x, y);
  *lastX = x;
  *lastY = y;
  std::fflush(stdout);
}

}  // namespace

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

  i32 lastX = mouse.GetX(), lastY = mouse.GetY();
  sldemo::RunDemoLoop(mouse, 0, [&] { Report(keyboard, mouse, &lastX, &lastY); });
  std::printf("QUIT\n");
  return 0;
}
