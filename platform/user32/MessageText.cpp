#include "platform/user32/MessageText.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/user32/MessageFont.h"

namespace SLUser32::MessageText {
namespace {

namespace Font = MessageFont;

constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;
constexpr std::uint32_t kButtonFace = 0xE1E1E1;
constexpr std::uint32_t kButtonEdge = 0x0078D7;
constexpr char16_t kCaption[] = u"Aceptar";

// The character whose glyph is drawn for `c`.
char16_t Shown(char16_t c) {
  if (c == u'\t') return u' ';
  if (c < Font::kFirstCode || c > 0xFF) return u'?';
  return c;
}

int KerningOf(char16_t first, char16_t second) {
  const auto before = [](const Font::KerningPair& pair, std::pair<char16_t, char16_t> key) {
    return std::pair(pair.first, pair.second) < key;
  };
  const auto* found = std::lower_bound(std::begin(Font::kKerning), std::end(Font::kKerning),
                                       std::pair(first, second), before);
  return found != std::end(Font::kKerning) && found->first == first && found->second == second ? found->adjust : 0;
}

// The pixel nearest a pen position in 1/64 pixel.
int Nearest(int pen) { return (pen + 32) >> 6; }

// Walks the pen over the text, calling place(glyph, column) with the column of each
// glyph's first ink from where the text starts; answers where the pen ends. Measuring and
// drawing both walk here, so they cannot disagree.
template <class Place>
int Walk(std::u16string_view text, Place place) {
  int pen = 0;
  char16_t previous = 0;
  for (const char16_t c : text) {
    const char16_t shown = Shown(c);
    if (previous) pen += KerningOf(previous, shown);
    const Font::Glyph& glyph = Font::kGlyphs[shown - Font::kFirstCode];
    place(glyph, Nearest(pen) + glyph.left);
    pen += glyph.advance;
    previous = shown;
  }
  return Nearest(pen);
}

std::vector<std::u16string> BreakLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  std::u16string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      lines.push_back(line);
      line.clear();
      continue;
    }
    line += c;
    if (Width(line) <= kTextWidth) continue;
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

}  // namespace

int Width(std::u16string_view text) {
  return Walk(text, [](const Font::Glyph&, int) {});
}

Canvas::Canvas(int width, int height)
    : m_width(width), m_height(height), m_pixels(size_t(width) * size_t(height), kBackground) {}

void Canvas::Fill(int x, int y, int width, int height, std::uint32_t colour) {
  for (int row = std::max(0, y); row < std::min(m_height, y + height); ++row)
    for (int column = std::max(0, x); column < std::min(m_width, x + width); ++column)
      m_pixels[size_t(row) * size_t(m_width) + size_t(column)] = colour;
}

void Canvas::Text(int x, int y, std::u16string_view text) {
  Walk(text, [&](const Font::Glyph& glyph, int column) {
    const int rowBytes = (glyph.width + 1) / 2;
    const int top = y + Font::kAscent - glyph.top;
    for (int row = 0; row < glyph.rows; ++row)
      for (int dx = 0; dx < glyph.width; ++dx) {
        const unsigned char pair = Font::kInk[glyph.first + row * rowBytes + dx / 2];
        const int coverage = dx % 2 ? pair & 0xF : pair >> 4;
        if (coverage) Blend(x + column + dx, top + row, coverage);
      }
  });
}

void Canvas::Blend(int x, int y, int coverage) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  std::uint32_t& pixel = m_pixels[size_t(y) * size_t(m_width) + size_t(x)];
  std::uint32_t mixed = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int under = int(pixel >> shift) & 0xFF, over = int(kInk >> shift) & 0xFF;
    mixed |= std::uint32_t(under + (over - under) * coverage / 15) << shift;
  }
  pixel = mixed;
}

Layout MakeLayout(const std::u16string& text) {
  Layout layout;
  layout.lines = BreakLines(text);
  const int textHeight = int(layout.lines.size()) * Font::kHeight;
  layout.button = Rect{(kWidth - kButtonWidth) / 2, kMargin + textHeight + kMargin, kButtonWidth, kButtonHeight};
  layout.height = layout.button.y + kButtonHeight + kMargin;
  return layout;
}

Canvas Draw(const Layout& layout) {
  Canvas canvas(kWidth, layout.height);
  int y = kMargin;
  for (const std::u16string& line : layout.lines) {
    canvas.Text(kMargin, y, line);
    y += Font::kHeight;
  }
  const Rect& b = layout.button;
  canvas.Fill(b.x, b.y, b.w, b.h, kButtonEdge);
  canvas.Fill(b.x + 2, b.y + 2, b.w - 4, b.h - 4, kButtonFace);
  canvas.Text(b.x + (b.w - Width(kCaption)) / 2, b.y + (b.h - Font::kHeight) / 2, kCaption);
  return canvas;
}

}  // namespace SLUser32::MessageText
