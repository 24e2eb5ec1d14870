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
// column wider than the stem and clearly taller than the dot it replaces. A bold stroke
// doubles each pixel to the right.
MarkPixels Acute(const InkBox& ink, int rows, int stroke) {
  const int column = ink.left == ink.right ? ink.left : (ink.left + ink.right) / 2;
  MarkPixels pixels;
  for (int thick = 0; thick < stroke; ++thick) {
    pixels.push_back({column + thick, 0});
    pixels.push_back({column + 1 + thick, 1});
    if (rows == 3) pixels.push_back({column + 1 + thick, 2});
  }
  return pixels;
}

// Two dots over the letter's stems, drawn in from the edges of a wide letter so they read
// as a pair rather than as the stems' ends; a bold stroke makes them squares of two where
// a free column stays between them. None when the letter is too narrow for a pair.
MarkPixels Diaeresis(const InkBox& ink, int stroke) {
  const int inkWidth = ink.right - ink.left + 1;
  const int inset = inkWidth >= 5 ? 1 : 0;
  if (inkWidth - 2 * inset < 2 * stroke + 1) stroke = 1;
  if (inkWidth - 2 * inset < 3) return {};
  const int left = ink.left + inset, right = ink.right - inset - (stroke - 1);
  MarkPixels pixels;
  for (int x = 0; x < stroke; ++x)
    for (int y = 0; y < stroke; ++y) {
      pixels.push_back({left + x, y});
      pixels.push_back({right + x, y});
    }
  return pixels;
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

int StemWidth(const GlyphCell& dotlessI) {
  const InkBox ink = FindInk(dotlessI);
  if (ink.top < 0) return 1;
  int width = 0;
  for (int column = 0; column < dotlessI.width; ++column) width += dotlessI.At(column, (ink.top + dotlessI.height) / 2) >= kInk;
  return std::clamp(width, 1, 2);
}

bool DrawAccented(const GlyphCell& base, Mark mark, int pixels, int stroke, GlyphCell* out) {
  const InkBox ink = FindInk(base);
  if (ink.top < 0) return false;
  stroke = std::clamp(stroke, 1, 2);
  // The mark's lowest row keeps one free row over the letter. A larger font's acute is
  // three rows high, as is any acute over a one-column stem; under a line top too close
  // for that it gets two, and then gives up the free row.
  int lowest = ink.top - 2;
  int rows = 2;
  if (mark == Mark::kAcute && (pixels >= 14 || ink.left == ink.right) && lowest >= 2) rows = 3;
  const MarkPixels markPixels =
      mark == Mark::kAcute ? Acute(ink, rows, stroke) : mark == Mark::kDiaeresis ? Diaeresis(ink, stroke) : Tilde(ink);
  if (markPixels.empty()) return false;
  rows = 0;
  for (const auto& [column, height] : markPixels) rows = std::max(rows, height + 1);
  if (lowest < rows - 1) lowest = rows - 1;
  if (lowest >= ink.top) return false;

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
