// Whether a window manager runs on the window's X display, asked the way EWMH has every
// manager answer: the root window's _NET_SUPPORTING_WM_CHECK names a window of the
// manager's whose own _NET_SUPPORTING_WM_CHECK names itself. The second look is what tells
// a running manager from one that has gone: the root's property outlives it, naming a window
// that no longer exists (or, later, someone else's). SDL asks once, when its video starts;
// this asks each time, since a manager may start or stop while the program runs. Apart from
// the rest of the display bridge, since Xlib's header brings macros (None, Status, ...) that
// its code would meet.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>

#include "platform/user32/WindowSystem.h"

namespace SLUser32::Display {
namespace {

// Xlib's errors go to one handler for the whole process, and SDL's ends the program: while
// the manager's window is read (it may be gone), the errors of that display are let pass.
::Display* g_checkedDisplay = nullptr;
XErrorHandler g_previousHandler = nullptr;

int IgnoreCheckErrors(::Display* display, XErrorEvent* error) {
  if (display == g_checkedDisplay) return 0;
  return g_previousHandler ? g_previousHandler(display, error) : 0;
}

// The window that `window`'s _NET_SUPPORTING_WM_CHECK names, or None.
::Window CheckWindowOf(::Display* display, ::Window window, Atom check) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  ::Window named = None;
  if (XGetWindowProperty(display, window, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &left, &data) ==
          Success &&
      type == XA_WINDOW && format == 32 && count == 1 && data)
    named = reinterpret_cast<::Window*>(data)[0];
  if (data) XFree(data);
  return named;
}

}  // namespace

bool WithoutWindowManager(void* native) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!native || !SDL_GetWindowWMInfo(static_cast<SDL_Window*>(native), &info) || info.subsystem != SDL_SYSWM_X11)
    return false;
  ::Display* display = info.info.x11.display;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  // Errors of requests made before are reported under the handler they were made under.
  XSync(display, False);
  g_checkedDisplay = display;
  g_previousHandler = XSetErrorHandler(&IgnoreCheckErrors);
  const ::Window manager = CheckWindowOf(display, DefaultRootWindow(display), check);
  const bool running = manager != None && CheckWindowOf(display, manager, check) == manager;
  XSync(display, False);
  XSetErrorHandler(g_previousHandler);
  g_checkedDisplay = nullptr;
  return !running;
}

}  // namespace SLUser32::Display
