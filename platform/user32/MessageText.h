// The picture of the platform's own message window (MessageWindow.cpp): the text in the
// built-in font of MessageFont.h, broken into lines, over one "Aceptar" button.
//
// The font sets text the way the typeface does: the pen moves by each glyph's fractional
// advance and the pair's kerning, and each glyph's ink stands at its left bearing from the
// pixel nearest the pen. Measuring walks the same pen, so the lines broken to the text's
// width, the button's centred caption and the window around them fit what is drawn.
// Characters outside Latin-1 are drawn as '?', a tab as a space.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace SLUser32::MessageText {

inline constexpr int kWidth = 440;
inline constexpr int kMargin = 20;
inline constexpr int kTextWidth = kWidth - 2 * kMargin;
inline constexpr std::uint32_t kBackground = 0xF0F0F0;
inline constexpr std::uint32_t kInk = 0x101010;

// How far the pen moves over the text, in whole pixels.
int Width(std::u16string_view text);

// The window's picture, 0xRRGGBB pixels, on the background colour.
class Canvas {
 public:
  Canvas(int width, int height);

  void Fill(int x, int y, int width, int height, std::uint32_t colour);
  // Draws one line with the pen starting at x and the line's top at y, blending each
  // pixel by its coverage; ink past the picture's edges is left out.
  void Text(int x, int y, std::u16string_view text);

  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  std::uint32_t Pixel(int x, int y) const { return m_pixels[size_t(y) * size_t(m_width) + size_t(x)]; }
  std::uint32_t* Pixels() { return m_pixels.data(); }

 private:
  void Blend(int x, int y, int coverage);

  int m_width, m_height;
  std::vector<std::uint32_t> m_pixels;
};

struct Rect {
  int x, y, w, h;
};

struct Layout {
  // At most kTextWidth pixels each: broken at line feeds (a CR LF pair is one break) and
  // at spaces; a word wider than a line is cut where it overflows.
  std::vector<std::u16string> lines;
  int height;  // the window's; it is kWidth wide
  Rect button;
};

Layout MakeLayout(const std::u16string& text);
// The whole window: the lines from the top margin down, the button with its caption.
Canvas Draw(const Layout& layout);

}  // namespace SLUser32::MessageText
