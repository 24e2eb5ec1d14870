// The bridge from SDL2 to the window messages: one real window per top-level window,
// and the display's events turned into the messages the program reacts to (close,
// activation, size, move, paint, keys and characters, mouse).
#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dinput8/DInput8.h"
#include "platform/kernel32/Utf8.h"
#include "platform/user32/WindowSystem.h"

namespace SLUser32 {
namespace {

bool g_tried = false;
bool g_available = false;
bool g_systemBoxMissing = false;  // a test switch: the desktop shows no message box
bool g_windowClosed = false;       // the event before was a window's close
bool g_terminated = false;         // a termination request came, the last at g_lastTermination
std::chrono::steady_clock::time_point g_lastTermination;
// The buttons (SDL's masks) whose press only activated a window: their release goes too.
Uint32 g_activatingButtons = 0;
// Held by whoever reads the display's events: the display thread's pump, or a message box
// waiting for its answer (which may be shown from another thread).
std::recursive_mutex g_eventsLock;
constexpr std::chrono::seconds kRepeatedTermination{3};

// Who shows each window's last picture again (KeepPicture).
struct PictureKeeper {
  SDL_Window* window;
  void (*show)(void* context);
  void* context;
};
std::mutex g_keepersLock;
std::vector<PictureKeeper> g_keepers;

HWND HandleOf(Uint32 windowId) {
  SDL_Window* native = SDL_GetWindowFromID(windowId);
  return native ? static_cast<HWND>(SDL_GetWindowData(native, "hwnd")) : nullptr;
}

std::string ToUtf8(const std::u16string& text) { return SLPlatformUtf16ToUtf8(text.c_str(), text.size()); }
std::u16string FromUtf8(const char* text) { return SLPlatformUtf8ToUtf16(text); }

// The virtual-key code the program expects for an SDL key.
int VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + (key - SDLK_F1);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 0x61 + (key - SDLK_KP_1);
  switch (key) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return 0x20;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_PRINTSCREEN: return 0x2C;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    case SDLK_KP_0: return 0x60;
    case SDLK_KP_MULTIPLY: return 0x6A;
    case SDLK_KP_PLUS: return 0x6B;
    case SDLK_KP_MINUS: return 0x6D;
    case SDLK_KP_PERIOD: return 0x6E;
    case SDLK_KP_DIVIDE: return 0x6F;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    default: return 0;
  }
}

// The MK_ flags of a mouse message: the SDL button mask (a motion event carries its own)
// and the Shift and Ctrl keys.
WPARAM MouseButtons(Uint32 state = SDL_GetMouseState(nullptr, nullptr)) {
  // A button held down since it activated a window was never pressed in the program's eyes.
  state &= ~g_activatingButtons;
  WPARAM buttons = 0;
  if (state & SDL_BUTTON_LMASK) buttons |= MK_LBUTTON;
  if (state & SDL_BUTTON_RMASK) buttons |= MK_RBUTTON;
  if (state & SDL_BUTTON_MMASK) buttons |= MK_MBUTTON;
  if (GetKeyState(VK_SHIFT) & 0x8000) buttons |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) & 0x8000) buttons |= MK_CONTROL;
  return buttons;
}

LPARAM PointParam(int x, int y) { return (LPARAM(y & 0xFFFF) << 16) | (x & 0xFFFF); }

void PostCharacters(HWND window, const std::u16string& text, bool system) {
  UINT message = system ? WM_SYSCHAR : WM_CHAR;
  bool unicode = WindowIsUnicode(window);
  for (char16_t unit : text) {
    if (unicode) {
      PostFromDisplay(window, message, unit, 1);
    } else {
      int byte = WideCharToAnsi(unit);
      if (byte >= 0) PostFromDisplay(window, message, WPARAM(byte), 1);
    }
  }
}

// A full-screen window keeps the pointer inside it: the program draws its own pointer
// from relative movement, which must not stop at the edge of another screen.
void FollowFullScreen(SDL_Window* native) {
  bool fullScreen = (SDL_GetWindowFlags(native) & SDL_WINDOW_FULLSCREEN) != 0;
  bool grabbed = (SDL_GetWindowFlags(native) & SDL_WINDOW_MOUSE_GRABBED) != 0;
  if (fullScreen != grabbed) SDL_SetWindowGrab(native, fullScreen ? SDL_TRUE : SDL_FALSE);
}

// The size of the picture shown in the window: the renderer's logical size when it scales
// one, else the window's own.
void PictureSize(SDL_Window* native, int* width, int* height) {
  *width = *height = 0;
  if (SDL_Renderer* renderer = SDL_GetRenderer(native)) SDL_RenderGetLogicalSize(renderer, width, height);
  if (*width <= 0 || *height <= 0) SDL_GetWindowSize(native, width, height);
}

// The program draws its own pointer and moves it by the mouse's relative movement, which
// alone cannot keep it under the system pointer: a scaled picture scales movement, the
// system pointer stops at the screen's edge or leaves the window, the picture changes its
// size. So once placed under the system pointer (whose position the renderer has already
// turned into picture pixels) the program's pointer gets the movement that keeps it
// there; in a window it is placed at the first move, in full screen (the pointer grabbed)
// when the picture changes or the pointer comes in.
void ReportPointer(SDL_Window* native, const SDL_MouseMotionEvent& motion) {
  if (!native) {
    SLDInput8::MouseMotion(motion.xrel, motion.yrel);
    return;
  }
  int width = 0, height = 0;
  PictureSize(native, &width, &height);
  const bool windowed = !(SDL_GetWindowFlags(native) & SDL_WINDOW_FULLSCREEN);
  SLDInput8::MousePosition(motion.x, motion.y, width, height, motion.xrel, motion.yrel, windowed);
}

// Without a window manager nobody activates a window that is clicked, as the system does
// with a click on an inactive window. A window of the program that lost the activation (to
// another copy of it, to another copy's error box) was only asked to minimise, which nothing
// does there: it stays on the screen, its picture black, and once the window that took the
// focus is gone the keys go nowhere. So there a press on a window without the keyboard focus
// raises it and gives it the focus (restoring it first where SDL has it minimised); the
// program sees the activation as it sees any other, and the window table no longer counts
// the window minimised, since it is on the screen. The press only activates: a child cannot
// see what lies under a black picture, so neither the press nor its release reach the
// program, as messages or as DirectInput's buttons. True for such a press and for its
// release. With a window manager the focus is its business.
bool OnlyActivates(HWND window, const SDL_MouseButtonEvent& button) {
  const Uint32 mask = button.button >= 1 && button.button <= 32 ? SDL_BUTTON(button.button) : 0;
  if (button.type == SDL_MOUSEBUTTONUP) {
    const bool activating = (g_activatingButtons & mask) != 0;
    g_activatingButtons &= ~mask;
    return activating;
  }
  // A press starts a click of its own, whatever became of the last one's release.
  g_activatingButtons &= ~mask;
  SDL_Window* native = SDL_GetWindowFromID(button.windowID);
  if (!native || (SDL_GetWindowFlags(native) & SDL_WINDOW_INPUT_FOCUS) || !Display::WithoutWindowManager(native))
    return false;
  if (SDL_GetWindowFlags(native) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(native);
  SDL_RaiseWindow(native);
  SDL_SetWindowInputFocus(native);
  MarkMinimized(window, false);
  g_activatingButtons |= mask;
  return true;
}

void Translate(const SDL_Event& event) {
  const bool afterWindowClose = g_windowClosed;
  g_windowClosed = false;
  switch (event.type) {
    case SDL_QUIT: {
      // SDL follows the last window's close with a quit of its own: that close is the
      // request. Any other quit is the system's (SIGTERM, SIGINT): the main window is
      // asked to end, and told when the request repeats within three seconds.
      if (afterWindowClose) break;
      const auto now = std::chrono::steady_clock::now();
      const bool repeated = g_terminated && now - g_lastTermination < kRepeatedTermination;
      g_terminated = true;
      g_lastTermination = now;
      if (HWND main = MainWindow())
        PostFromDisplay(main, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP | (repeated ? ENDSESSION_CRITICAL : 0));
      break;
    }
    case SDL_WINDOWEVENT: {
      HWND window = HandleOf(event.window.windowID);
      if (!window) break;
      FollowFullScreen(SDL_GetWindowFromID(event.window.windowID));
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          g_windowClosed = true;
          PostFromDisplay(window, WM_SYSCOMMAND, SC_CLOSE, 0);
          break;
        case SDL_WINDOWEVENT_ENTER: SLDInput8::MouseReplace(); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          MarkActive(window, true);
          PostFromDisplay(window, WM_ACTIVATE, WA_ACTIVE, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          MarkActive(window, false);
          PostFromDisplay(window, WM_ACTIVATE, WA_INACTIVE, 0);
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          MarkMinimized(window, true);
          PostFromDisplay(window, WM_SIZE, SIZE_MINIMIZED, 0);
          break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED: {
          MarkMinimized(window, false);
          RECT rect;
          GetClientRect(window, &rect);
          PostFromDisplay(window, WM_SIZE,
                          event.window.event == SDL_WINDOWEVENT_MAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED,
                          PointParam(rect.right, rect.bottom));
          MarkNeedsPaint(window);
          break;
        }
        case SDL_WINDOWEVENT_MOVED:
          // The table follows the display's own moves, so that client-to-screen stays right.
          MoveFromDisplay(window, event.window.data1, event.window.data2);
          PostFromDisplay(window, WM_MOVE, 0, PointParam(event.window.data1, event.window.data2));
          break;
        case SDL_WINDOWEVENT_EXPOSED: MarkNeedsPaint(window); break;
        default: break;
      }
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      // The scan-code snapshot keeps every key, also those without a virtual key.
      SLDInput8::KeyEvent(event.key.keysym.scancode, event.type == SDL_KEYDOWN);
      HWND window = HandleOf(event.key.windowID);
      int vk = VirtualKey(event.key.keysym.sym);
      if (!window || !vk) break;
      bool down = event.type == SDL_KEYDOWN;
      SetKeyState(vk, down);
      bool alt = (event.key.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU;
      UINT message = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
      // Key data: repeat count 1, the scan code, and the previous-state and transition bits.
      LPARAM data = 1 | (LPARAM(event.key.keysym.scancode & 0xFF) << 16);
      if (event.key.repeat) data |= LPARAM(1) << 30;
      if (!down) data |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
      PostFromDisplay(window, message, WPARAM(vk), data);
      break;
    }
    case SDL_TEXTINPUT: {
      HWND window = HandleOf(event.text.windowID);
      if (window) PostCharacters(window, FromUtf8(event.text.text), false);
      break;
    }
    case SDL_MOUSEMOTION: {
      ReportPointer(SDL_GetWindowFromID(event.motion.windowID), event.motion);
      HWND window = HandleOf(event.motion.windowID);
      if (!window) break;
      SetCursorPosition(event.motion.x, event.motion.y);
      // The pointer's shape over the client area is the window's to choose.
      SendFromDisplay(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), (LPARAM(WM_MOUSEMOVE) << 16) | HTCLIENT);
      PostMouseMoveFromDisplay(window, MouseButtons(event.motion.state), PointParam(event.motion.x, event.motion.y));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      HWND window = HandleOf(event.button.windowID);
      if (!window || OnlyActivates(window, event.button)) break;
      bool down = event.type == SDL_MOUSEBUTTONDOWN;
      switch (event.button.button) {
        case SDL_BUTTON_LEFT: SLDInput8::MouseButton(0, down); break;
        case SDL_BUTTON_RIGHT: SLDInput8::MouseButton(1, down); break;
        case SDL_BUTTON_MIDDLE: SLDInput8::MouseButton(2, down); break;
        case SDL_BUTTON_X1: SLDInput8::MouseButton(3, down); break;
        default: break;
      }
      UINT message;
      switch (event.button.button) {
        case SDL_BUTTON_LEFT:
          message = down ? (event.button.clicks == 2 ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_LBUTTONUP;
          break;
        case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        default: return;
      }
      SetCursorPosition(event.button.x, event.button.y);
      PostFromDisplay(window, message, MouseButtons(), PointParam(event.button.x, event.button.y));
      break;
    }
    case SDL_MOUSEWHEEL: {
      int wheel = int(std::clamp<long long>(event.wheel.y * 120LL, INT32_MIN, INT32_MAX));
      SLDInput8::MouseWheel(wheel);
      HWND window = HandleOf(event.wheel.windowID);
      if (!window) break;
      int x, y;
      SDL_GetMouseState(&x, &y);
      WPARAM delta = WPARAM(std::uint16_t(std::int16_t(wheel)));
      PostFromDisplay(window, WM_MOUSEWHEEL, (delta << 16) | MouseButtons(), PointParam(x, y));
      break;
    }
    default: break;
  }
}

// An event filter that drops the focus changes of one window (its id at `windowId`) and
// keeps every other event.
int DropFocusChangesOf(void* windowId, SDL_Event* event) {
  if (event->type != SDL_WINDOWEVENT || event->window.windowID != *static_cast<Uint32*>(windowId)) return 1;
  const Uint8 change = event->window.event;
  return change == SDL_WINDOWEVENT_FOCUS_LOST || change == SDL_WINDOWEVENT_FOCUS_GAINED ||
                 change == SDL_WINDOWEVENT_TAKE_FOCUS
             ? 0
             : 1;
}

// After a message box: the window that was active before it is active again. The focus
// that the box took was the program's own, not a loss of focus of the program: the
// window's focus changes met meanwhile go unseen, so the device's hook (which minimises
// the window when it loses the focus) does not take them for the user's switch to
// another program. A window manager moves the focus on its own time once the box's window
// goes (it may hand it to a window of its own first), and SDL itself settles a focus
// change only some 200 ms after the server reports it, so the window is watched until it
// has held the focus for half a second, at most two seconds: each time it lacks it, it
// is restored when something minimised it (SDL minimises a full-screen window that loses
// the focus), raised, and given the keyboard focus by hand, since without a window manager
// nobody else would (the X server leaves the focus nowhere when the box's window goes).
// The picture is drawn again.
void GiveFocusBack(HWND window) {
  auto* native = window ? static_cast<SDL_Window*>(NativeWindow(window)) : nullptr;
  if (!native || !(SDL_GetWindowFlags(native) & SDL_WINDOW_SHOWN)) return;
  constexpr Uint64 kSettled = 500, kAtMost = 2000, kAskAgain = 100;
  Uint32 id = SDL_GetWindowID(native);
  auto ask = [native] {
    if (SDL_GetWindowFlags(native) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(native);
    SDL_RaiseWindow(native);
    return SDL_SetWindowInputFocus(native) == 0;
  };
  SDL_PumpEvents();
  SDL_FilterEvents(&DropFocusChangesOf, &id);
  // A display that has no focus to give (SDL's dummy driver) has nothing to wait for.
  if (ask()) {
    const Uint64 start = SDL_GetTicks64();
    Uint64 focusedSince = 0, askedAt = start;
    for (Uint64 now = start; now - start < kAtMost; now = SDL_GetTicks64()) {
      SDL_Delay(10);
      SDL_PumpEvents();
      SDL_FilterEvents(&DropFocusChangesOf, &id);
      if (SDL_GetWindowFlags(native) & SDL_WINDOW_INPUT_FOCUS) {
        if (!focusedSince) focusedSince = now;
        if (now - focusedSince >= kSettled) break;
      } else {
        focusedSince = 0;
        if (now - askedAt >= kAskAgain) {
          ask();
          askedAt = now;
        }
      }
    }
  }
  MarkNeedsPaint(window);
}

}  // namespace

namespace Display {

bool Available() {
  if (!g_tried) {
    g_tried = true;
    // A window drawn through its surface (the message window, a window painted before it
    // has a renderer) gets the display's own framebuffer rather than SDL's default, a GL
    // texture: a few hundred pixels are not worth starting the GL driver and compiling its
    // shaders, and a fatal report must draw also where that driver failed or the exit has
    // already torn it down. A setting in the environment still wins.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    // The click that activates a window is a click in it too, as the system has it: SDL
    // would drop a press that comes with the focus (a window manager hands the focus to
    // the window clicked), and the message box's "Aceptar" would then need a second one.
    SDL_SetHintWithPriority(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1", SDL_HINT_DEFAULT);
    g_available = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (g_available) SDL_StartTextInput();
  }
  return g_available;
}

void* CreateTopLevel(HWND window, const std::u16string& title, const RECT& rect, bool visible) {
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  Uint32 flags = visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
  SDL_Window* native = SDL_CreateWindow(ToUtf8(title).c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        width > 0 ? width : 1, height > 0 ? height : 1, flags);
  if (native) SDL_SetWindowData(native, "hwnd", window);
  return native;
}

void PictureChanged(void* native) {
  auto* window = static_cast<SDL_Window*>(native);
  SLDInput8::MouseReplace();
  if (!window || SDL_GetMouseFocus() != window) return;
  int x = 0, y = 0;
  SDL_GetMouseState(&x, &y);
  float pictureX = float(x), pictureY = float(y);
  if (SDL_Renderer* renderer = SDL_GetRenderer(window)) SDL_RenderWindowToLogical(renderer, x, y, &pictureX, &pictureY);
  int width = 0, height = 0;
  PictureSize(window, &width, &height);
  SLDInput8::MousePosition(int(std::floor(pictureX)), int(std::floor(pictureY)), width, height, 0, 0,
                           !(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN));
}

void Destroy(void* native) { SDL_DestroyWindow(static_cast<SDL_Window*>(native)); }

void Show(void* native, int command) {
  auto* window = static_cast<SDL_Window*>(native);
  switch (command) {
    case SW_HIDE: SDL_HideWindow(window); break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE: SDL_MinimizeWindow(window); break;
    case SW_RESTORE:
      // Only a minimised window has anything to restore; a full-screen one stays so.
      if (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window);
      SDL_ShowWindow(window);
      break;
    default: SDL_ShowWindow(window); SDL_RaiseWindow(window); break;
  }
}

void SetTitle(void* native, const std::u16string& title) {
  SDL_SetWindowTitle(static_cast<SDL_Window*>(native), ToUtf8(title).c_str());
}

void SetRect(void* native, const RECT& rect) {
  auto* window = static_cast<SDL_Window*>(native);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  SDL_SetWindowSize(window, width > 0 ? width : 1, height > 0 ? height : 1);
}

void SetPosition(void* native, int x, int y) { SDL_SetWindowPosition(static_cast<SDL_Window*>(native), x, y); }

void Raise(void* native) { SDL_RaiseWindow(static_cast<SDL_Window*>(native)); }

void SetFrame(void* native, bool fullScreen, bool decorated) {
  auto* window = static_cast<SDL_Window*>(native);
  const bool isFullScreen = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
  if (fullScreen && !isFullScreen) {
    // Covering the desktop by hand too: without a window manager nobody else would.
    SDL_DisplayMode desktop;
    SDL_SetWindowBordered(window, SDL_FALSE);
    SDL_SetWindowPosition(window, 0, 0);
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) SDL_SetWindowSize(window, desktop.w, desktop.h);
  }
  if (fullScreen != isFullScreen) SDL_SetWindowFullscreen(window, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  if (!fullScreen) {
    SDL_SetWindowBordered(window, decorated ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(window, SDL_FALSE);
  }
}

void ShowPointer(bool show) {
  if (g_available) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void PaintBlack(void* native) {
  auto* window = static_cast<SDL_Window*>(native);
  if (SDL_Renderer* renderer = SDL_GetRenderer(window)) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
  } else if (SDL_Surface* surface = SDL_GetWindowSurface(window)) {
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    SDL_UpdateWindowSurface(window);
  }
}

bool DesktopMode(int* width, int* height, int* bits, int* refresh) {
  SDL_DisplayMode mode;
  if (!Available() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
  *width = mode.w;
  *height = mode.h;
  // Four-byte pixels count as 32 bits, as the system counts them, whatever SDL says of the spare byte.
  const int bytes = SDL_BYTESPERPIXEL(mode.format);
  *bits = bytes >= 3 ? bytes * 8 : int(SDL_BITSPERPIXEL(mode.format));
  *refresh = mode.refresh_rate;
  return true;
}

bool UsableBounds(RECT* rect) {
  SDL_Rect bounds;
  if (!Available() || SDL_GetDisplayUsableBounds(0, &bounds) != 0) return false;
  *rect = RECT{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
  return true;
}

bool Pump() {
  if (!g_available) return false;
  std::lock_guard<std::recursive_mutex> hold(g_eventsLock);
  // One look at the system per pump, then the queue drained in batches: a fast mouse
  // queues hundreds of events between two pumps, and each SDL_PollEvent would look again.
  SDL_PumpEvents();
  bool any = false;
  SDL_Event events[64];
  for (;;) {
    int count = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    if (count <= 0) break;
    for (int i = 0; i < count; ++i) Translate(events[i]);
    any = true;
  }
  return any;
}

void ShowMessage(const std::u16string& caption, const std::u16string& text, UINT type, HWND owner) {
  // Headless runs (the dummy video driver) have nobody to click the box.
  const char* driver = g_available ? SDL_GetCurrentVideoDriver() : nullptr;
  if (!driver || std::string(driver) == "dummy" || std::string(driver) == "offscreen") return;
  // The box takes the display's events until it is answered, on whichever thread asked
  // for it: the display thread's pump waits meanwhile instead of taking the box's keys.
  std::lock_guard<std::recursive_mutex> hold(g_eventsLock);
  // MB_ICONINFORMATION (0x40) and MB_ICONWARNING (0x30) keep their kind; the rest are errors.
  const Uint32 icon = (type & 0xF0) == 0x40   ? SDL_MESSAGEBOX_INFORMATION
                      : (type & 0xF0) == 0x30 ? SDL_MESSAGEBOX_WARNING
                                              : SDL_MESSAGEBOX_ERROR;
  const HWND active = GetActiveWindow();
  // A window that is not on the screen owns no box: one hidden or minimised would take
  // the box with it.
  auto* ownerNative = static_cast<SDL_Window*>(NativeWindow(owner ? owner : active));
  if (ownerNative && (SDL_GetWindowFlags(ownerNative) & (SDL_WINDOW_SHOWN | SDL_WINDOW_MINIMIZED)) != SDL_WINDOW_SHOWN)
    ownerNative = nullptr;
  // A full-screen window holds the pointer whenever it has the focus, and would take the
  // clicks meant for the box (the window manager's too, with which a click on it gives
  // the box the focus): it lets the pointer go while the box is up.
  auto* activeNative = static_cast<SDL_Window*>(NativeWindow(active));
  const Uint32 grabbedId =
      activeNative && (SDL_GetWindowFlags(activeNative) & SDL_WINDOW_MOUSE_GRABBED) ? SDL_GetWindowID(activeNative) : 0;
  if (grabbedId) SDL_SetWindowGrab(activeNative, SDL_FALSE);
  // The platform's own window first: it waits for its answer on the display's events, and
  // so hears a termination request too. The desktop's box is a helper program SDL starts
  // and waits for (zenity): until someone clicks it the process stays deaf to SIGTERM.
  if (!ShowOwnMessage(caption, text, ownerNative) && !g_systemBoxMissing)
    SDL_ShowSimpleMessageBox(icon, ToUtf8(caption).c_str(), ToUtf8(text).c_str(), ownerNative);
  if (grabbedId && SDL_GetWindowFromID(grabbedId) == activeNative) SDL_SetWindowGrab(activeNative, SDL_TRUE);
  GiveFocusBack(active);
}

void KeepPicture(void* native, void (*show)(void* context), void* context) {
  std::lock_guard<std::mutex> hold(g_keepersLock);
  std::erase_if(g_keepers, [native](const PictureKeeper& keeper) { return keeper.window == native; });
  if (show) g_keepers.push_back(PictureKeeper{static_cast<SDL_Window*>(native), show, context});
}

void ShowPictureAgain(void* native) {
  // Under the lock, so that the keeper cannot go meanwhile.
  std::lock_guard<std::mutex> hold(g_keepersLock);
  for (const PictureKeeper& keeper : g_keepers)
    if (keeper.window == native) keeper.show(keeper.context);
}

bool WaitForEvent(int ms) {
  if (!g_available) return false;
  std::lock_guard<std::recursive_mutex> hold(g_eventsLock);
  return SDL_WaitEventTimeout(nullptr, ms) == 1;
}

}  // namespace Display

}  // namespace SLUser32

// Tests and tools without a display feed events through these.
void SLUser32InjectKey(HWND window, bool down, int virtualKey, char16_t text) {
  using namespace SLUser32;
  SetKeyState(virtualKey, down);
  PostFromDisplay(window, down ? WM_KEYDOWN : WM_KEYUP, WPARAM(virtualKey), down ? 1 : LPARAM(0xC0000001));
  if (down && text) PostCharacters(window, std::u16string(1, text), false);
}

void SLPlatformHideSystemMessageBox(bool hidden) { SLUser32::g_systemBoxMissing = hidden; }

void SLUser32InjectMouse(HWND window, UINT message, int x, int y, WPARAM buttons) {
  SLUser32::SetCursorPosition(x, y);
  SLUser32::PostFromDisplay(window, message, buttons, SLUser32::PointParam(x, y));
}
