// The message box: the message is drawn in a small window of ours, in the built-in font
// over one "Aceptar" button (MessageText.h draws the picture), and the caller waits for
// the answer as it would for the system's box: the button, any key but a modifier
// (Alt+Tab goes to another window, it does not answer), closing the window, or a
// termination request (which the box takes as its answer and leaves for the program to
// see too). The wait sleeps on the display's events.
//
// The box belongs to its owner, the program's window, as the system's box does: the
// window manager keeps it above the owner, minimises and restores both together and
// gives it the focus when the owner is clicked. Meanwhile the owner takes no input (a
// press of a key or button meant for a window of the program goes nowhere; its release
// still reaches the program, so that nothing stays down in its eyes), and since the
// thread that draws it may be the one waiting here, its last picture is shown again
// whenever it is exposed. Every other event of other windows is kept aside and put back
// afterwards, so that nothing the program waits for is lost.
#include <SDL2/SDL.h>

#include <string>
#include <vector>

#include "platform/kernel32/Utf8.h"
#include "platform/user32/MessageText.h"
#include "platform/user32/WindowSystem.h"

namespace SLUser32 {
namespace {

namespace Text = MessageText;

void Draw(SDL_Window* window, const Text::Layout& layout) {
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (!target) return;
  Text::Canvas canvas = Text::Draw(layout);
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(canvas.Pixels(), canvas.GetWidth(), canvas.GetHeight(),
                                                            32, canvas.GetWidth() * 4, SDL_PIXELFORMAT_RGB888);
  if (!picture) return;
  SDL_BlitSurface(picture, nullptr, target, nullptr);
  SDL_FreeSurface(picture);
  SDL_UpdateWindowSurface(window);
}

// The window an input or window event is for; 0 for the others (the quit among them).
Uint32 WindowOf(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT: return event.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return event.key.windowID;
    case SDL_TEXTINPUT: return event.text.windowID;
    case SDL_TEXTEDITING: return event.edit.windowID;
    case SDL_MOUSEMOTION: return event.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return event.button.windowID;
    case SDL_MOUSEWHEEL: return event.wheel.windowID;
    default: return 0;
  }
}

bool IsPress(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_TEXTINPUT:
    case SDL_TEXTEDITING:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEWHEEL: return true;
    default: return false;
  }
}

bool IsExposure(const SDL_Event& event) {
  if (event.type != SDL_WINDOWEVENT) return false;
  const Uint8 change = event.window.event;
  return change == SDL_WINDOWEVENT_EXPOSED || change == SDL_WINDOWEVENT_SHOWN || change == SDL_WINDOWEVENT_RESTORED;
}

bool Inside(const Text::Rect& rect, int x, int y) {
  return x >= rect.x && y >= rect.y && x < rect.x + rect.w && y < rect.y + rect.h;
}

}  // namespace

namespace Display {

bool ShowOwnMessage(const std::u16string& caption, const std::u16string& text, void* owner) {
  const Text::Layout layout = Text::MakeLayout(text);
  // A box without an owner (a report once the program's window has gone) stays above
  // every window; an owned one only above its owner, which the window manager sees to.
  SDL_Window* window = SDL_CreateWindow(SLPlatformUtf16ToUtf8(caption.c_str()).c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, Text::kWidth, layout.height,
                                        SDL_WINDOW_HIDDEN | (owner ? 0 : SDL_WINDOW_ALWAYS_ON_TOP));
  if (!window) return false;
  if (owner) MakeModalFor(window, owner);
  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);
  // Keys must reach the box without a click, also where no window manager hands the
  // focus to a new window (and the window that had it is gone).
  SDL_SetWindowInputFocus(window);
  const Uint32 id = SDL_GetWindowID(window);
  std::vector<SDL_Event> others;
  bool pressed = false, answered = false;
  Draw(window, layout);
  while (!answered) {
    SDL_Event event;
    // A quarter-second wait redraws now and then: nothing promises an exposure event.
    if (!SDL_WaitEventTimeout(&event, 250)) {
      Draw(window, layout);
      if (owner) ShowPictureAgain(owner);
      continue;
    }
    if (event.type == SDL_QUIT) answered = true;  // a termination request still reaches the program
    if (WindowOf(event) != id) {
      if (IsExposure(event)) ShowPictureAgain(SDL_GetWindowFromID(event.window.windowID));
      if (!IsPress(event)) others.push_back(event);
      continue;
    }
    switch (event.type) {
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) answered = true;
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN)
          Draw(window, layout);
        break;
      case SDL_KEYDOWN: {
        const SDL_Scancode key = event.key.keysym.scancode;
        const bool modifier = (key >= SDL_SCANCODE_LCTRL && key <= SDL_SCANCODE_RGUI) || key == SDL_SCANCODE_MODE;
        if (!event.key.repeat && !modifier) answered = true;
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT) {
          const bool onButton = Inside(layout.button, event.button.x, event.button.y);
          if (event.type == SDL_MOUSEBUTTONDOWN)
            pressed = onButton;
          else
            answered = pressed && onButton;
        }
        break;
      default: break;
    }
  }
  SDL_DestroyWindow(window);
  for (SDL_Event& event : others) SDL_PushEvent(&event);
  return true;
}

}  // namespace Display

}  // namespace SLUser32
