// gswindemo: opens the program's main window (title, icon 101) and pumps it as a
// screen loop does, until a close request comes or thirty seconds pass; then prints how
// many close requests arrived. Each request is also reported as it is taken, so a driver
// on a loaded display knows when its key press has arrived. Used by the window tests on a virtual X display.
#include <chrono>
#include <cstdio>
#include <thread>

#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/SLMainWindow.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/User32.h"

int main() {
  SLRegisterGameSystemClasses();
  CSL_GS_MainWindow window;
  if (!window.Create(GetModuleHandleA(nullptr), "Demostraci\xf3n de ventana", 101, false)) {
    std::printf("CREATE FAILED %08X\n", SLGetLastError());
    return 1;
  }
  window.SetWaitWhenInactive(false);
  // In the program the graphics device gives the window its size.
  SetWindowPos(window.GetHandle(), nullptr, 0, 0, 320, 240, 0);
  std::printf("READY\n");
  std::fflush(stdout);
  int requests = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < until) {
    if (window.ProcessMessages(false)) break;
    if (window.TakeCloseRequest()) {
      std::printf("CLOSE-REQUEST TAKEN\n");
      std::fflush(stdout);
      if (++requests == 1) until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);  // any more?
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::printf("CLOSE-REQUESTS %d\n", requests);
  return 0;
}
