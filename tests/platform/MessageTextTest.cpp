// The platform message window's text against FreeType setting the same typeface: every
// word's ink as wide as the typeface's and no wider gaps inside it, every glyph where the
// typeface puts it, and the picture's lines and caption where their measure puts them.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <string>
#include <vector>

#include "platform/user32/MessageText.h"

namespace {

namespace Text = SLUser32::MessageText;

// A column counts as ink where some pixel of it is at least this dark (of 255).
constexpr int kInkLevel = 64;
// Blank columns around a drawn line.
constexpr int kMargin = 8;

// One line's darkness per column, and the columns that part its words (a space's middle).
struct Line {
  std::vector<int> columns;
  std::vector<double> partings;
};

struct Ink {
  int first = -1, last = -1, widestGap = 0;
  int Width() const { return first < 0 ? 0 : last - first + 1; }
};

// The ink between two columns: its extent and the widest run of blank columns inside it.
Ink InkOf(const std::vector<int>& columns, int from, int to) {
  Ink ink;
  for (int x = std::max(0, from); x < std::min(int(columns.size()), to); ++x) {
    if (columns[size_t(x)] < kInkLevel) continue;
    if (ink.first >= 0) ink.widestGap = std::max(ink.widestGap, x - ink.last - 1);
    if (ink.first < 0) ink.first = x;
    ink.last = x;
  }
  return ink;
}

std::vector<Ink> WordsOf(const Line& line) {
  std::vector<Ink> words;
  double from = 0;
  for (double parting : line.partings) {
    words.push_back(InkOf(line.columns, int(from), int(parting)));
    from = parting;
  }
  words.push_back(InkOf(line.columns, int(from), int(line.columns.size())));
  return words;
}

// DejaVu Sans at 14 pixels as FreeType sets it: each glyph hinted as for the message font
// and drawn at the pen's exact position, the pen moving by the unrounded advances and the
// kerning. Its words part at the middle of each space.
struct Typeface {
  FT_Library library = nullptr;
  FT_Face face = nullptr;

  Typeface() {
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, 14) != 0)
      face = nullptr;
  }
  ~Typeface() { FT_Done_FreeType(library); }

  Line Set(const std::u16string& text) {
    Line line{std::vector<int>(text.size() * 20 + 2 * kMargin), {}};
    FT_Pos pen = kMargin * 64;
    FT_UInt previous = 0;
    for (const char16_t c : text) {
      const FT_UInt index = FT_Get_Char_Index(face, c);
      FT_Vector kerning{};
      if (previous && FT_Get_Kerning(face, previous, index, FT_KERNING_UNFITTED, &kerning) == 0) pen += kerning.x;
      previous = index;
      const FT_GlyphSlot slot = face->glyph;
      if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_NORMAL) != 0) return {};
      FT_Outline_Translate(&slot->outline, pen & 63, 0);
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return {};
      const FT_Bitmap& bitmap = slot->bitmap;
      for (unsigned row = 0; row < bitmap.rows; ++row)
        for (unsigned x = 0; x < bitmap.width; ++x) {
          int& column = line.columns.at(size_t(int(pen >> 6) + slot->bitmap_left + int(x)));
          column = std::max(column, int(bitmap.buffer[int(row) * bitmap.pitch + int(x)]));
        }
      const FT_Pos advance = (slot->linearHoriAdvance + 512) >> 10;
      if (c == u' ') line.partings.push_back(double(pen + advance / 2) / 64);
      pen += advance;
    }
    return line;
  }
};

// The column darkness (0 to 255) of an area of a picture.
std::vector<int> ColumnsOf(const Text::Canvas& canvas, const Text::Rect& area) {
  const int background = Text::kBackground & 0xFF, ink = Text::kInk & 0xFF;
  std::vector<int> columns(size_t(area.w));
  for (int y = area.y; y < area.y + area.h; ++y)
    for (int x = 0; x < area.w; ++x) {
      const int darkness = (background - int(canvas.Pixel(area.x + x, y) & 0xFF)) * 255 / (background - ink);
      columns[size_t(x)] = std::max(columns[size_t(x)], darkness);
    }
  return columns;
}

// The text in the message window's font, parted where its own measure puts the spaces.
Line Draw(const std::u16string& text) {
  Text::Canvas canvas(Text::Width(text) + 4 * kMargin, 40);
  canvas.Text(kMargin, 10, text);
  Line line{ColumnsOf(canvas, {0, 0, canvas.GetWidth(), canvas.GetHeight()}), {}};
  for (size_t at = text.find(u' '); at != std::u16string::npos; at = text.find(u' ', at + 1))
    line.partings.push_back(kMargin + (Text::Width(text.substr(0, at)) + Text::Width(text.substr(0, at + 1))) / 2.0);
  return line;
}

TEST(MessageText, WordsTakeTheTypefacesWidthWithoutGaps) {
  Typeface typeface;
  ASSERT_NE(typeface.face, nullptr);
  for (const std::u16string text : {u"No se encontr\u00f3 ning\u00fan programa para mostrar la ayuda.",
                                    u"Aceptar", u"Error 00103: SfxInit error: 8001000F"}) {
    const std::vector<Ink> drawn = WordsOf(Draw(text)), set = WordsOf(typeface.Set(text));
    ASSERT_EQ(drawn.size(), set.size());
    for (size_t word = 0; word < drawn.size(); ++word) {
      SCOPED_TRACE(std::to_string(text.size()) + " characters, word " + std::to_string(word));
      EXPECT_NEAR(drawn[word].Width(), set[word].Width(), 1);
      EXPECT_LE(drawn[word].widestGap, set[word].widestGap + 1);
      EXPECT_LT(drawn[word].widestGap, 4);
    }
  }
}

TEST(MessageText, EveryGlyphStandsWhereTheTypefacePutsIt) {
  Typeface typeface;
  ASSERT_NE(typeface.face, nullptr);
  for (char16_t c = 0x21; c <= 0xFF; ++c) {
    if (c >= 0x7F && c <= 0xA0) continue;
    // Between two letters, so that both its bearings and its advance count.
    const std::u16string word = u"H" + std::u16string(1, c) + u"H";
    const Ink drawn = WordsOf(Draw(word))[0], set = WordsOf(typeface.Set(word))[0];
    EXPECT_NEAR(drawn.Width(), set.Width(), 1) << int(c);
    EXPECT_LE(drawn.widestGap, set.widestGap + 1) << int(c);
  }
  // What the font lacks is a question mark, the C1 controls too.
  for (const char16_t* lacking : {u"\u0080", u"\u0100", u"\u20AC", u"\uFFFD"}) {
    EXPECT_EQ(Draw(lacking).columns, Draw(u"?").columns) << int(lacking[0]);
    EXPECT_EQ(Text::Width(lacking), Text::Width(u"?")) << int(lacking[0]);
  }
}

// The window's picture: every line's ink within the margins, and the caption centred in
// its button at the typeface's width.
TEST(MessageText, LinesAndCaptionStayWhereTheyAreMeasured) {
  Typeface typeface;
  ASSERT_NE(typeface.face, nullptr);
  const std::u16string report =
      u"Error 00111: No puedo cargar im\u00e1genes. Compruebe que el programa est\u00e1 bien instalado y vuelva "
      u"a empezar. ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff\n"
      u"Archivo: /home/familia/Zarandulvortequimbaplastelo/Gfx/Fondos/ParqueDeAtraccionesDeLaCiudad.DAT";
  const Text::Layout layout = Text::MakeLayout(report);
  ASSERT_GE(layout.lines.size(), 4u);
  const Text::Canvas picture = Text::Draw(layout);
  const Ink text = InkOf(ColumnsOf(picture, {0, 0, Text::kWidth, layout.button.y}), 0, Text::kWidth);
  EXPECT_GE(text.first, Text::kMargin);
  EXPECT_LT(text.last, Text::kWidth - Text::kMargin);

  const Text::Rect& button = layout.button;
  const int inside = button.w - 4;
  const Ink caption = InkOf(ColumnsOf(picture, {button.x + 2, button.y + 2, inside, button.h - 4}), 0, inside);
  EXPECT_NEAR(caption.Width(), WordsOf(typeface.Set(u"Aceptar"))[0].Width(), 1);
  EXPECT_NEAR(caption.first + caption.Width() / 2.0, inside / 2.0, 1);
}

}  // namespace
