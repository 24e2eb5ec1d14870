#include "app/services/AppGlobals.h"

#include <atomic>
#include <cstdlib>

#include "app/media/CMyVIS_arVI.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLMainWindow.h"

namespace {

CSL_GS_MainWindow* g_mainWindow = nullptr;
std::atomic<AppFatalEndHook> g_fatalEndHook{nullptr};

void DestroyMainWindowAtExit() {
  delete g_mainWindow;
  g_mainWindow = nullptr;
}

}  // namespace

CSL_GS_MainWindow& App_MainWindow() {
  if (!g_mainWindow) g_mainWindow = new CSL_GS_MainWindow();
  return *g_mainWindow;
}

void App_ArrangeMainWindowTeardown() {
  // Exit handlers run in the reverse order of their registration: registered once the
  // devices and their window hooks exist, the window goes (and shows a recorded fatal
  // report) while the framework's per-thread data that its hooks read still stands.
  static bool arranged = false;
  if (arranged) return;
  arranged = true;
  std::atexit(&DestroyMainWindowAtExit);
}

void App_NameFileAtFault(const char* dataPath, const char* member) {
  // Called between a failed load and its report: the report's code is the load's.
  SLErrorKeeper keepLoadError;
  char path[4096];
  if (!App_DataPath(path, sizeof path, dataPath)) path[0] = 0;
  char named[4096];
  SLSnprintfA(named, sizeof named, member ? "%s (%s)" : "%s", path, member);
  for (char* p = named; *p; ++p)
    if (*p == '\\') *p = '/';
  App_MainWindow().SetReportFile(named);
}

void App_SetFatalEndHook(AppFatalEndHook stopDevices) { g_fatalEndHook.store(stopDevices); }

void App_Fatal(i32 code, const char* text) {
  // The devices go down first, as at a normal end: left up, the window's destruction at
  // exit would run their shutdown after the framework's own teardown had begun.
  if (AppFatalEndHook stopDevices = g_fatalEndHook.load()) stopDevices();
  App_ArrangeMainWindowTeardown();
  // The texts are the program's own and hold no conversions; "%s" keeps any that might.
  App_MainWindow().FatalError(code, "%s", text);
}
