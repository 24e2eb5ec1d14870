// The program: registers the classes of every layer, connects the editor to the screens
// and dialogs built on it, and runs the chain of screens. It
// reads no command line; every path comes from the directory of its own executable.
#include "app/services/AppClasses.h"
#include "app/editor/EditorConnections.h"
#include "app/screens/FixedScreens.h"

int main() {
  SLRegisterAppClasses();
  EditorConnections_Install();
  return App_WinMain();
}
