#include "app/AppGlobals.h"

#include "app/CMyGuiManager.h"
#include "gamesystem/SLMainWindow.h"

CSL_GS_MainWindow& App_MainWindow() {
  static CSL_GS_MainWindow window;
  return window;
}

CMyGuiManager& App_GuiManager() {
  static CMyGuiManager manager;
  return manager;
}

void App_Fatal(i32 code, const char* text) {
  // The texts are the program's own and hold no conversions; "%s" keeps any that might.
  App_MainWindow().FatalError(code, "%s", text);
}
