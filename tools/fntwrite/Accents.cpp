#include "tools/fntwrite/Accents.h"

#include <algorithm>
#include <utility>

namespace fntwrite {

namespace {

// A pixel at least half inked is part of the letter's shape; one under a quarter is
// antialiasing that leaves a row free.
constexpr int kInk = 128;
constexpr int kFaint = 64;

struct InkBox {
  int top = -1, left = 0, right = -1;
};

InkBox FindInk(const GlyphCell& cell) {
  InkBox box;
  box.left = cell.width;
  for (int row = 0; row < cell.height; ++row)
    for (int column = 0; column < cell.width; ++column)
      if (cell.At(column, row) >= kInk) {
        if (box.top < 0) box.top = row;
        box.left = std::min(box.left, column);
        box.right = std::max(box.right, column);
      }
  return box;
}

int RowPeak(const GlyphCell& cell, int row) {
  int peak = 0;
  for (int column = 0; column < cell.width; ++column) peak = std::max(peak, int(cell.At(column, row)));
  return peak;
}

// The pixels of a mark as (column, height over the mark's lowest row).
using MarkPixels = std::vector<std::pair<int, int>>;

// An acute rises to the right from over the middle of the letter; over a one-column stem
// it starts on the stem and its third pixel stands above its second, which keeps it one
// column wider than the stem and clearly taller than the dot it replaces.
MarkPixels Acute(const InkBox& ink, int rows) {
  const int column = ink.left == ink.right ? ink.left : (ink.left + ink.right) / 2;
  MarkPixels pixels{{column, 0}, {column + 1, 1}};
  if (rows == 3) pixels.push_back({column + 1, 2});
  return pixels;
}

// Two dots over the letter's stems, drawn in from the edges of a wide letter so they read
// as a pair rather than as the stems' ends.
MarkPixels Diaeresis(const InkBox& ink) {
  const int inset = ink.right - ink.left + 1 >= 5 ? 1 : 0;
  return {{ink.left + inset, 0}, {ink.right - inset, 0}};
}

// A wave of two rows, four to six columns, centred over the letter.
MarkPixels Tilde(const InkBox& ink) {
  static const char* const kWaves[3][2] = {{".#.#", "#.#."}, {".##.#", "#..#."}, {".##..#", "#..##."}};
  const int inkWidth = ink.right - ink.left + 1;
  const int span = std::clamp(inkWidth >= 6 ? inkWidth - 1 : inkWidth, 4, 6);
  const int start = std::max(0, ink.left + (inkWidth - span + 1) / 2);
  MarkPixels pixels;
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < span; ++column)
      if (kWaves[span - 4][row][column] == '#') pixels.push_back({start + column, 1 - row});
  return pixels;
}

}  // namespace

const std::vector<AccentedLetter>& SpanishAccentedLetters() {
  static const std::vector<AccentedLetter> kLetters = {
      {u'á', u'a', Mark::kAcute},     {u'é', u'e', Mark::kAcute}, {u'í', u'ı', Mark::kAcute},
      {u'ó', u'o', Mark::kAcute},     {u'ú', u'u', Mark::kAcute}, {u'ü', u'u', Mark::kDiaeresis},
      {u'ñ', u'n', Mark::kTilde},     {u'Á', u'A', Mark::kAcute}, {u'É', u'E', Mark::kAcute},
      {u'Í', u'I', Mark::kAcute},     {u'Ó', u'O', Mark::kAcute}, {u'Ú', u'U', Mark::kAcute},
      {u'Ü', u'U', Mark::kDiaeresis}, {u'Ñ', u'N', Mark::kTilde}};
  return kLetters;
}

bool DrawAccented(const GlyphCell& base, Mark mark, int pixels, GlyphCell* out) {
  const InkBox ink = FindInk(base);
  if (ink.top < 0 || (mark == Mark::kDiaeresis && ink.right - ink.left < 2)) return false;
  // Rows the mark spans: a larger font's acute is three rows high, as is any acute over a
  // one-column stem, when the line leaves the room.
  int rows = mark == Mark::kDiaeresis ? 1 : 2;
  if (mark == Mark::kAcute && (pixels >= 14 || ink.left == ink.right)) rows = 3;
  // The mark's lowest row keeps one free row over the letter. A capital close under the
  // line's top gets a lower acute first, then gives up the free row; a mark that still
  // does not fit is not drawn.
  int lowest = ink.top - 2;
  if (lowest - (rows - 1) < 0 && rows == 3) rows = 2;
  if (lowest - (rows - 1) < 0) lowest = rows - 1;
  if (lowest >= ink.top) return false;

  const MarkPixels markPixels =
      mark == Mark::kAcute ? Acute(ink, rows) : mark == Mark::kDiaeresis ? Diaeresis(ink) : Tilde(ink);
  int width = base.width;
  for (const auto& [column, height] : markPixels) width = std::max(width, column + 1);
  GlyphCell cell(width, base.height);
  for (int row = 0; row < base.height; ++row)
    for (int column = 0; column < base.width; ++column) cell.At(column, row) = base.At(column, row);
  for (const auto& [column, height] : markPixels) cell.At(column, lowest - height) = 255;
  cell.overhang = width - base.width;
  *out = std::move(cell);
  return true;
}

void SeparateDot(GlyphCell* cell) {
  int dot = 0;
  while (dot < cell->height && RowPeak(*cell, dot) < kInk) ++dot;
  if (dot == cell->height) return;
  while (dot + 1 < cell->height && RowPeak(*cell, dot + 1) >= kInk) ++dot;
  const int joint = dot + 1;
  if (joint + 1 >= cell->height || RowPeak(*cell, joint) < kFaint || RowPeak(*cell, joint + 1) < kInk) return;
  for (int column = 0; column < cell->width; ++column) {
    cell->At(column, dot) = (unsigned char)std::min(255, cell->At(column, dot) + cell->At(column, joint));
    cell->At(column, joint) = 0;
  }
}

}  // namespace fntwrite
