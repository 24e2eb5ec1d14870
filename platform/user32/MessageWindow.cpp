// The message box: the message is drawn in a small window of ours, with the built-in font
// of MessageFont.h and one "Aceptar" button, and the caller waits for the answer as it
// would for the system's box: the button, any key but a modifier (Alt+Tab goes to another
// window, it does not answer), closing the window, or a termination request (which the
// box takes as its answer and leaves for the program to see too). The wait sleeps on the
// display's events.
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

#include <algorithm>
#include <string>
#include <vector>

#include "platform/kernel32/Utf8.h"
#include "platform/user32/MessageFont.h"
#include "platform/user32/WindowSystem.h"

namespace SLUser32 {
namespace {

namespace Font = MessageFont;

constexpr int kWidth = 440;
constexpr int kMargin = 20;
constexpr int kTextWidth = kWidth - 2 * kMargin;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;
constexpr Uint32 kBackground = 0xF0F0F0;
constexpr Uint32 kInk = 0x101010;
constexpr Uint32 kButtonFace = 0xE1E1E1;
constexpr Uint32 kButtonEdge = 0x0078D7;

const Font::Glyph& GlyphOf(char16_t c) {
  if (c == u'\t') c = u' ';
  if (c < Font::kFirstCode || c > 0xFF) c = u'?';
  return Font::kGlyphs[c - Font::kFirstCode];
}

int WidthOf(const std::u16string& text) {
  int width = 0;
  for (char16_t c : text) width += GlyphOf(c).advance;
  return width;
}

// Lines of at most kTextWidth pixels: broken at line feeds (a CR LF pair is one break) and
// at spaces; a word wider than a line is cut where it overflows.
std::vector<std::u16string> BreakLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  std::u16string line;
  auto fits = [](const std::u16string& candidate) { return WidthOf(candidate) <= kTextWidth; };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.push_back(line);
      line.clear();
      continue;
    }
    line += c;
    if (fits(line)) continue;
    const size_t space = line.find_last_of(u' ');
    if (space != std::u16string::npos && space > 0) {
      lines.push_back(line.substr(0, space));
      line.erase(0, space + 1);
    } else {
      line.pop_back();
      lines.push_back(line);
      line.assign(1, c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty()) lines.emplace_back();
  return lines;
}

// The window's picture, 0xRRGGBB pixels.
class Canvas {
 public:
  Canvas(int width, int height) : m_width(width), m_height(height), m_pixels(size_t(width) * height, kBackground) {}

  void Fill(int x, int y, int width, int height, Uint32 colour) {
    for (int row = std::max(0, y); row < std::min(m_height, y + height); ++row)
      for (int column = std::max(0, x); column < std::min(m_width, x + width); ++column)
        m_pixels[size_t(row) * m_width + column] = colour;
  }

  // Draws the text with its top-left corner at (x, y), blending each pixel by coverage.
  void Text(int x, int y, const std::u16string& text) {
    for (char16_t c : text) {
      const Font::Glyph& glyph = GlyphOf(c);
      const int rowBytes = (glyph.width + 1) / 2;
      for (int row = 0; row < Font::kHeight; ++row)
        for (int column = 0; column < glyph.width; ++column) {
          const unsigned char pair = Font::kInk[glyph.first + row * rowBytes + column / 2];
          const int coverage = column % 2 ? pair & 0xF : pair >> 4;
          if (coverage) Blend(x + column, y + row, coverage);
        }
      x += glyph.advance;
    }
  }

  Uint32* Pixels() { return m_pixels.data(); }

 private:
  void Blend(int x, int y, int coverage) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    Uint32& pixel = m_pixels[size_t(y) * m_width + x];
    Uint32 mixed = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int under = (pixel >> shift) & 0xFF, over = (kInk >> shift) & 0xFF;
      mixed |= Uint32(under + (over - under) * coverage / 15) << shift;
    }
    pixel = mixed;
  }

  int m_width, m_height;
  std::vector<Uint32> m_pixels;
};

struct Layout {
  std::vector<std::u16string> lines;
  int height;
  SDL_Rect button;
};

Layout MakeLayout(const std::u16string& text) {
  Layout layout;
  layout.lines = BreakLines(text);
  const int textHeight = int(layout.lines.size()) * Font::kHeight;
  layout.button = SDL_Rect{(kWidth - kButtonWidth) / 2, kMargin + textHeight + kMargin, kButtonWidth, kButtonHeight};
  layout.height = layout.button.y + kButtonHeight + kMargin;
  return layout;
}

void Draw(SDL_Window* window, const Layout& layout) {
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (!target) return;
  Canvas canvas(kWidth, layout.height);
  int y = kMargin;
  for (const std::u16string& line : layout.lines) {
    canvas.Text(kMargin, y, line);
    y += Font::kHeight;
  }
  const SDL_Rect& b = layout.button;
  canvas.Fill(b.x, b.y, b.w, b.h, kButtonEdge);
  canvas.Fill(b.x + 2, b.y + 2, b.w - 4, b.h - 4, kButtonFace);
  const std::u16string caption = u"Aceptar";
  canvas.Text(b.x + (b.w - WidthOf(caption)) / 2, b.y + (b.h - Font::kHeight) / 2, caption);
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(canvas.Pixels(), kWidth, layout.height, 32, kWidth * 4,
                                                            SDL_PIXELFORMAT_RGB888);
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

bool Inside(const SDL_Rect& rect, int x, int y) {
  return x >= rect.x && y >= rect.y && x < rect.x + rect.w && y < rect.y + rect.h;
}

}  // namespace

namespace Display {

bool ShowOwnMessage(const std::u16string& caption, const std::u16string& text, void* owner) {
  const Layout layout = MakeLayout(text);
  // A box without an owner (a report once the program's window has gone) stays above
  // every window; an owned one only above its owner, which the window manager sees to.
  SDL_Window* window = SDL_CreateWindow(SLPlatformUtf16ToUtf8(caption.c_str()).c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, kWidth, layout.height,
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
