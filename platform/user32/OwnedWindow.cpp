// A modal window owned by another, as the window manager is told of it: transient for its
// owner, which keeps it above the owner and makes it go and come back with it, and in the
// modal state and of the dialog type, so that a click on the owner gives it the focus.
// SDL says the first; the rest are set on the X window by hand (SDL 2.26 leaves them out)
// before the window is mapped, where the window manager reads them. Apart from the rest
// of the display bridge, since Xlib's header brings macros (None, Status, ...) that its
// code would meet.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>

#include "platform/user32/WindowSystem.h"

namespace SLUser32::Display {

void MakeModalFor(void* window, void* owner) {
  auto* native = static_cast<SDL_Window*>(window);
  if (SDL_SetWindowModalFor(native, static_cast<SDL_Window*>(owner)) != 0) return;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(native, &info) || info.subsystem != SDL_SYSWM_X11) return;
  ::Display* display = info.info.x11.display;
  const ::Window x11Window = info.info.x11.window;
  // SDL wrote its own states (above, ...) at the window's creation: the modal one joins them.
  Atom modalState = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
  XChangeProperty(display, x11Window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeAppend,
                  reinterpret_cast<unsigned char*>(&modalState), 1);
  Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  XChangeProperty(display, x11Window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&dialog), 1);
  XFlush(display);
}

}  // namespace SLUser32::Display
