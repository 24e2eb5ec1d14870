// The Spanish accented letters as fntwrite draws them at small sizes: the plain letter's
// own picture (the dotless i under í) with a mark of whole pixels above it.
//
// At the program's sizes (11 to 15 pixels) FreeType's marks are one or two grey pixels:
// the acute of í lands on the place of the i's dot and reads as "i", and a capital's accent
// squeezed under the line's top is a single faint pixel. A mark drawn here is solid ink,
// stands one free row above the letter (or at the cell's top when the line leaves no more
// room), and is at least two pixels: an acute is a rising diagonal (three pixels over a
// one-column stem, so it is never mistaken for a dot), a diaeresis two dots and a tilde a
// wave. A mark wider than the letter's cell (the acute over a one-column i) makes the cell
// that much wider; the writer then kerns every pair that ends on the letter back by as
// much, so the glyph after it stands where it stands after the plain letter.
#pragma once

#include <cstddef>
#include <vector>

namespace fntwrite {

// A glyph's picture in its line cell: `width` columns by the line height, alpha coverage
// row by row (row 0 is the ascender).
struct GlyphCell {
  int width = 0, height = 0;
  // Columns of mark drawn past the letter's advance (see the head of the file).
  int overhang = 0;
  std::vector<unsigned char> coverage;

  GlyphCell() = default;
  GlyphCell(int cellWidth, int cellHeight)
      : width(cellWidth), height(cellHeight), coverage(size_t(cellWidth) * size_t(cellHeight)) {}
  unsigned char& At(int column, int row) { return coverage[size_t(row) * size_t(width) + size_t(column)]; }
  unsigned char At(int column, int row) const { return coverage[size_t(row) * size_t(width) + size_t(column)]; }
};

enum class Mark { kAcute, kDiaeresis, kTilde };

struct AccentedLetter {
  char16_t code;  // the letter the font is asked for
  char16_t base;  // the plain letter it is drawn on
  Mark mark;
};

// á é í ó ú ü ñ and their capitals; í is drawn on the dotless i (U+0131).
const std::vector<AccentedLetter>& SpanishAccentedLetters();

// Marks are drawn up to this size; larger fonts keep the typeface's own, which read there.
constexpr int kDrawnMarksUpTo = 16;

// `base` with `mark` above it, for a font of `pixels` whose stems are `stroke` columns
// wide (1 or 2: acutes and dots are drawn as thick); false (and `out` untouched) when
// the base has no ink or the line leaves no room above it for a mark.
bool DrawAccented(const GlyphCell& base, Mark mark, int pixels, int stroke, GlyphCell* out);

// How many columns wide the font's strokes are, measured on the stem of its dotless i.
int StemWidth(const GlyphCell& dotlessI);

// ¡ and ¿: clears the half-inked row that joins the dot to the stroke under it, folding its
// ink into the dot, so the dot stands apart as in ! and ?. Nothing changes when a free
// row already parts them or no such row exists.
void SeparateDot(GlyphCell* cell);

}  // namespace fntwrite
