// The program: registers the classes of every layer and runs the chain of screens. It
// reads no command line; every path comes from the directory of its own executable.
#include "app/AppClasses.h"
#include "app/Screens.h"

int main() {
  SLRegisterAppClasses();
  return App_WinMain();
}
