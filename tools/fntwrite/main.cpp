// fntwrite: renders a TrueType or OpenType font at a pixel size into the program's
// bitmap font format ("Font File." 0x1A, version 2).
//
//   fntwrite FONT PIXELS OUT [--chars TEXT] [--fallback FONT] [--kern PAIR:ADJUST]...
//            [--no-font-kerning]
//
// The default characters are printable ASCII and every character of the Windows-1252
// upper half (the program's 8-bit text), so « » ‹ › — – … · ¿ ¡ and the accented letters
// are all there; a character the font lacks is drawn from the --fallback font.
// Every glyph is white ink whose alpha is FreeType's coverage, on the colour key
// 0xFF00FF. Each glyph rectangle spans the whole line cell (ascender to descender), so
// the lowest code gives the line height. The text drawing steps each glyph by its width
// and 2 pixels, so a glyph with ink is the advance less those 2 pixels wide and every
// letter steps exactly the typeface's advance. At these sizes the rendered ink usually
// fills the whole advance: its faint edge columns (antialiasing, nowhere fully inked)
// are folded into the column beside them until the ink fits; a glyph whose strokes are
// wider than that (the f and t of DejaVu overhang their advance) keeps its strokes
// whole and is that much wider. A blank glyph is the exception: its cell is the whole
// advance, and the space's is the advance and the 2 pixels between letters. Speech
// balloons lay out and draw word by word and put between two words the width of a lone
// space, with no gap on either side of it: that width has to part words clearly more
// than 2 pixels part letters. In running text every glyph that a space follows kerns
// back by those 2 pixels, so there a space steps as far as it always has (2 pixels, its
// advance, 2 pixels). The pair ends on the space rather than starting from it because
// the device applies a pair's adjustment after drawing the pair's second glyph: only an
// invisible second glyph leaves the drawn letters where the measured width puts them.
// Neighbours keep one free column between them; a full page starts the next one.
// Up to 16 pixels the Spanish accented letters (á é í ó ú ü ñ and capitals) are the plain
// letter's picture, í the dotless i's, under a mark of solid pixels (Accents.h), and the
// dots of ¡ and ¿ stand apart from their strokes: FreeType's marks blur at these sizes.
// Kerning pairs come from the font's kerning table and from --kern ("AV:-1"), which
// wins; a letter whose mark reaches past its advance is kerned back by as much after
// every glyph (the pairs end on it, for the same reason as the space's); these and the
// space's pairs add up. The same input gives the same bytes.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/common/ToolSupport.h"
#include "tools/fntwrite/Accents.h"
#include "foundation/SLByteOrder.h"

namespace {

constexpr int kPageSide = 256;
constexpr unsigned kKeyColor = 0xFF00FF;

// The default set: printable ASCII and the Windows-1252 upper half (0x80-0x9F as that
// code page maps them, leaving out its five unassigned bytes; 0xA0-0xFF are Latin-1).
std::u16string DefaultCharacters() {
  static const char16_t kHigh[32] = {u'€', 0, u'‚', u'ƒ', u'„', u'…', u'†', u'‡', u'ˆ', u'‰', u'Š',
                                     u'‹', u'Œ', 0, u'Ž', 0, 0, u'‘', u'’', u'“', u'”', u'•',
                                     u'–', u'—', u'˜', u'™', u'š', u'›', u'œ', 0, u'ž', u'Ÿ'};
  std::u16string text;
  for (char16_t c = 0x20; c <= 0x7E; ++c) text += c;
  for (char16_t c : kHigh)
    if (c) text += c;
  for (char16_t c = 0xA0; c <= 0xFF; ++c) text += c;
  return text;
}

// UTF-8 to UTF-16 code units of the Basic Multilingual Plane; false on anything else.
bool DecodeUtf8(const std::string& in, std::u16string* out) {
  for (size_t i = 0; i < in.size();) {
    const unsigned char c = in[i];
    unsigned code, extra;
    if (c < 0x80) code = c, extra = 0;
    else if ((c & 0xE0) == 0xC0) code = c & 0x1F, extra = 1;
    else if ((c & 0xF0) == 0xE0) code = c & 0x0F, extra = 2;
    else return false;
    if (i + extra >= in.size()) return false;
    for (unsigned k = 1; k <= extra; ++k) {
      const unsigned char next = in[i + k];
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    out->push_back(char16_t(code));
    i += 1 + extra;
  }
  return true;
}

// The pixels the text drawing leaves after every glyph.
constexpr int kGlyphGap = 2;
// A column whose coverage reaches this somewhere is part of a stroke, never folded.
constexpr int kStroke = 255;

// A glyph's ink as columns of the line cell (ascender at row 0), and where its first
// column sits from the pen.
struct InkColumns {
  std::vector<std::vector<unsigned char>> coverage;
  int bearing = 0;
};

// Cuts the rendered bitmap into line-cell columns, then, while the ink is wider than
// `room`, folds the fainter edge column into its neighbour (their coverage adds up, so
// the letter keeps its weight) as long as that column is nowhere a full stroke.
InkColumns FitInk(const FT_Bitmap& bitmap, int left, int rowOffset, int lineHeight, int room) {
  InkColumns ink;
  ink.bearing = left;
  for (unsigned column = 0; column < bitmap.width; ++column) {
    std::vector<unsigned char>& cells = ink.coverage.emplace_back(size_t(lineHeight));
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      const int cellRow = rowOffset + int(row);
      if (cellRow >= 0 && cellRow < lineHeight)
        cells[size_t(cellRow)] = bitmap.buffer[int(row) * bitmap.pitch + int(column)];
    }
  }
  auto peak = [](const std::vector<unsigned char>& cells) { return *std::max_element(cells.begin(), cells.end()); };
  auto fold = [](const std::vector<unsigned char>& from, std::vector<unsigned char>& into) {
    for (size_t row = 0; row < into.size(); ++row) into[row] = u8(std::min(255, into[row] + from[row]));
  };
  while (int(ink.coverage.size()) > room && ink.coverage.size() > 1) {
    const bool first = peak(ink.coverage.front()) <= peak(ink.coverage.back());
    if (peak(first ? ink.coverage.front() : ink.coverage.back()) >= kStroke) break;
    if (first) {
      fold(ink.coverage.front(), ink.coverage[1]);
      ink.coverage.erase(ink.coverage.begin());
      ++ink.bearing;
    } else {
      fold(ink.coverage.back(), ink.coverage[ink.coverage.size() - 2]);
      ink.coverage.pop_back();
    }
  }
  return ink;
}

using fntwrite::GlyphCell;

// The face that draws `code`: the font, or the fallback when only that has the character.
FT_Face SourceOf(FT_Face face, FT_Face fallback, char16_t code) {
  if (FT_Get_Char_Index(face, code) == 0 && fallback && FT_Get_Char_Index(fallback, code) != 0) return fallback;
  return face;
}

// Renders `code` into its line cell; `advance` takes the typeface's advance in pixels.
bool RenderCell(FT_Face source, char16_t code, int ascender, int lineHeight, GlyphCell* cell, int* advance) {
  if (FT_Get_Char_Index(source, code) == 0 || FT_Load_Char(source, code, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL))
    return false;
  const FT_GlyphSlot slot = source->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  const bool ink = bitmap.width > 0 && bitmap.rows > 0;
  *advance = int((slot->advance.x + 32) >> 6);
  const InkColumns columns = ink ? FitInk(bitmap, slot->bitmap_left, ascender - slot->bitmap_top, lineHeight,
                                          std::max(1, *advance - kGlyphGap))
                                 : InkColumns{};
  const int inkWidth = int(columns.coverage.size());
  // A glyph without ink keeps its whole advance, the space a gap more: see the head of the file.
  const int blank = code == u' ' ? *advance + kGlyphGap : *advance;
  const int width = std::min(kPageSide, std::max({1, ink ? *advance - kGlyphGap : blank, inkWidth}));
  const int bearing = std::clamp(columns.bearing, 0, std::max(0, width - inkWidth));
  *cell = GlyphCell(width, lineHeight);
  for (int column = 0; column < inkWidth && bearing + column < width; ++column)
    for (int row = 0; row < lineHeight; ++row) cell->At(bearing + column, row) = columns.coverage[size_t(column)][size_t(row)];
  return true;
}

struct Glyph {
  char16_t code;
  int left, top, right, bottom, page;
};

struct Page {
  std::vector<unsigned char> bgra = std::vector<unsigned char>(size_t(kPageSide) * kPageSide * 4);
  Page() {
    for (size_t i = 0; i < bgra.size(); i += 4) SLStoreLE32(&bgra[i], kKeyColor);  // B, G, R = FF, 00, FF; alpha 0
  }
};

const char kUsage[] =
    "usage: fntwrite FONT PIXELS OUT [--chars TEXT] [--fallback FONT] [--kern PAIR:ADJUST]... [--no-font-kerning]";

int Usage() {
  std::fprintf(stderr, "%s\n", kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (sltool::CommandLine("fntwrite", kUsage).WantsHelp(argc, argv)) return 0;
  if (argc < 4) return Usage();
  const char* fontPath = argv[1];
  const int pixels = std::atoi(argv[2]);
  const char* outPath = argv[3];
  std::u16string characters = DefaultCharacters();
  std::map<std::pair<char16_t, char16_t>, int> givenPairs;
  bool fontKerning = true;
  const char* fallbackPath = nullptr;
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--fallback" && i + 1 < argc) {
      fallbackPath = argv[++i];
    } else if (option == "--no-font-kerning") {
      fontKerning = false;
    } else if (option == "--chars" && i + 1 < argc) {
      characters.clear();
      if (!DecodeUtf8(argv[++i], &characters)) return Usage();
    } else if (option == "--kern" && i + 1 < argc) {
      const std::string spec = argv[++i];
      const size_t colon = spec.rfind(':');
      std::u16string pair;
      if (colon == std::string::npos || !DecodeUtf8(spec.substr(0, colon), &pair) || pair.size() != 2)
        return Usage();
      givenPairs[{pair[0], pair[1]}] = std::atoi(spec.c_str() + colon + 1);
    } else {
      return Usage();
    }
  }
  std::sort(characters.begin(), characters.end());
  characters.erase(std::unique(characters.begin(), characters.end()), characters.end());
  if (pixels <= 0 || pixels > 200 || characters.empty() || characters.size() > 0xFFFF || characters[0] < 32)
    return Usage();

  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) || FT_New_Face(library, fontPath, 0, &face) ||
      FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels))) {
    std::fprintf(stderr, "fntwrite: cannot open %s at %d pixels\n", fontPath, pixels);
    return 1;
  }
  FT_Face fallback = nullptr;
  if (fallbackPath && (FT_New_Face(library, fallbackPath, 0, &fallback) || FT_Set_Pixel_Sizes(fallback, 0, FT_UInt(pixels)))) {
    std::fprintf(stderr, "fntwrite: cannot open %s at %d pixels\n", fallbackPath, pixels);
    return 1;
  }
  const int ascender = int(face->size->metrics.ascender >> 6);
  const int lineHeight = std::min(kPageSide, int((face->size->metrics.ascender - face->size->metrics.descender) >> 6));

  std::vector<GlyphCell> cells;
  std::vector<int> advances;
  for (char16_t code : characters) {
    FT_Face source = SourceOf(face, fallback, code);
    GlyphCell& cell = cells.emplace_back();
    if (!RenderCell(source, code, ascender, lineHeight, &cell, &advances.emplace_back())) {
      std::fprintf(stderr, "fntwrite: no glyph for U+%04X\n", unsigned(code));
      return 1;
    }
  }
  // The Spanish accented letters drawn on their plain letters, where the typeface gives
  // them the same advance (see Accents.h), and the inverted marks' dots set apart.
  GlyphCell dotlessI;
  int dotlessAdvance = 0;
  const int stroke = RenderCell(face, u'ı', ascender, lineHeight, &dotlessI, &dotlessAdvance)
                         ? fntwrite::StemWidth(dotlessI)
                         : 1;
  for (size_t i = 0; i < characters.size() && pixels <= fntwrite::kDrawnMarksUpTo; ++i) {
    if (characters[i] == u'¡' || characters[i] == u'¿') fntwrite::SeparateDot(&cells[i]);
    for (const fntwrite::AccentedLetter& letter : fntwrite::SpanishAccentedLetters()) {
      if (letter.code != characters[i]) continue;
      FT_Face source = SourceOf(face, fallback, letter.code);
      GlyphCell base;
      int baseAdvance = 0;
      if (FT_Get_Char_Index(source, letter.base) != 0 &&
          RenderCell(source, letter.base, ascender, lineHeight, &base, &baseAdvance) && baseAdvance == advances[i])
        fntwrite::DrawAccented(base, letter.mark, pixels, stroke, &cells[i]);
    }
  }

  std::vector<Page> pages(1);
  std::vector<Glyph> glyphs;
  int x = 0, y = 0;
  for (size_t i = 0; i < characters.size(); ++i) {
    const GlyphCell& cell = cells[i];
    const int width = std::min(kPageSide, cell.width);
    if (x + width > kPageSide) x = 0, y += lineHeight;
    if (y + lineHeight > kPageSide) {
      pages.emplace_back();
      x = 0, y = 0;
    }
    Page& page = pages.back();
    for (int column = 0; column < width; ++column)
      for (int row = 0; row < lineHeight; ++row) {
        const unsigned char coverage = cell.At(column, row);
        if (coverage == 0) continue;
        unsigned char* pixel = &page.bgra[(size_t(y + row) * kPageSide + size_t(x + column)) * 4];
        pixel[0] = pixel[1] = pixel[2] = 255;
        pixel[3] = coverage;
      }
    glyphs.push_back(Glyph{characters[i], x, y, x + width, y + lineHeight, int(pages.size() - 1)});
    x += width + 1;
  }

  std::map<std::pair<char16_t, char16_t>, int> pairs;
  if (fontKerning && FT_HAS_KERNING(face))
    for (char16_t first : characters)
      for (char16_t second : characters) {
        FT_Vector delta;
        if (FT_Get_Kerning(face, FT_Get_Char_Index(face, first), FT_Get_Char_Index(face, second), FT_KERNING_DEFAULT,
                           &delta) == 0 &&
            delta.x / 64 != 0)
          pairs[{first, second}] = int(delta.x / 64);
      }
  for (const auto& [pair, adjustment] : givenPairs) {
    if (characters.find(pair.first) == std::u16string::npos || characters.find(pair.second) == std::u16string::npos) {
      std::fprintf(stderr, "fntwrite: a kerning pair names a character not in the font\n");
      return 1;
    }
    pairs[pair] = adjustment;
  }
  // A mark past a letter's advance widens its cell; every pair that ends on the letter
  // steps back as far, and the device applies it right after drawing the letter, so the
  // next glyph stands where it would after the plain letter. Text that starts with the
  // letter has no glyph before it to carry a pair and keeps the extra column: a balloon
  // measures and draws each word alone, so its words that start with í are a column
  // wider, both measured and drawn.
  // Every glyph's pair onto `second` steps back by `pixels` more (a pair left at 0 goes).
  auto kernInto = [&](char16_t second, int pixels) {
    for (char16_t first : characters) {
      const std::pair<char16_t, char16_t> pair{first, second};
      if ((pairs[pair] -= pixels) == 0) pairs.erase(pair);
    }
  };
  for (size_t i = 0; i < characters.size(); ++i)
    if (cells[i].overhang > 0) kernInto(characters[i], cells[i].overhang);
  // The gap that running text already sets before a space comes off its wider cell.
  if (characters.find(u' ') != std::u16string::npos) kernInto(u' ', kGlyphGap);
  FT_Done_Face(face);
  if (fallback) FT_Done_Face(fallback);
  FT_Done_FreeType(library);
  if (pairs.size() > 0xFFFF) return Usage();

  std::vector<unsigned char> out;
  auto put16 = [&](unsigned value) {
    unsigned char bytes[2];
    SLStoreLE16(bytes, u16(value));
    out.insert(out.end(), bytes, bytes + 2);
  };
  auto put32 = [&](unsigned value) {
    unsigned char bytes[4];
    SLStoreLE32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
  };
  const char signature[] = "Font File.\x1A";
  out.insert(out.end(), signature, signature + 11);
  put16(2);
  put16(unsigned(glyphs.size()));
  put32(kKeyColor);
  put32(unsigned(pages.size()));
  for (const Glyph& g : glyphs) {
    put16(g.code);
    put16(unsigned(g.left));
    put16(unsigned(g.top));
    put16(unsigned(g.right));
    put16(unsigned(g.bottom));
    put16(unsigned(g.page));
  }
  put16(unsigned(pairs.size()));
  for (const auto& [pair, adjustment] : pairs) {
    put16(pair.first);
    put16(pair.second);
    put16(unsigned(u16(i16(adjustment))));
  }
  for (const Page& page : pages) out.insert(out.end(), page.bgra.begin(), page.bgra.end());

  std::string error;
  if (!sltool::WriteWholeFile(outPath, out.data(), out.size(), &error)) {
    std::fprintf(stderr, "fntwrite: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
