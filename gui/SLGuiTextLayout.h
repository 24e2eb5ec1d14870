// The steps of the text layout behind DrawTextInRectW, shared by its line builder and its
// drawing loop. A call fills one SLGuiTextLayout and reuses one SLGuiTextLine for every
// line, so nothing is allocated per line.
#pragma once

#include "foundation/SLTypes.h"
#include "gui/SLGuiText.h"

class CSL_GS_BaseGfx;
struct SL_GS_Font;
struct SL_GS_DrawImageOptions;

namespace SLInternals {

inline constexpr u32 kGuiEllipsisLength = 3;  // "..."; the caller's room of 4 also takes the terminator

// The glyph advances and kerning adjustments one call has looked up: a line is measured
// several times while it is wrapped and shortened, and every device lookup takes the
// device's lock. Codes below 256 keep their glyph here; kerning pairs go in a direct-
// mapped table. Entries of an earlier call are told apart by their generation.
struct SLGuiGlyphCache {
  struct Glyph {
    u32 generation;
    i32 advance;  // right - left + 2; -1 without a glyph
  };
  struct Pair {
    u32 generation;
    u32 key;  // first << 16 | second
    i32 adjustment;
  };
  u32 generation;
  Glyph latin[256];
  Pair pairs[1024];
};
// The calling thread's cache, emptied for a new call.
SLGuiGlyphCache* SLGuiBeginGlyphCache();

// What one call lays out with: the font, the effective flags, the rectangle's size.
struct SLGuiTextLayout {
  CSL_GS_BaseGfx* gfx;
  SL_GS_Font* font;
  u32 flags;
  i64 width, height;
  i64 lineHeight;
  i64 tabWidth;        // with SL_GUI_TEXT_EXPAND_TABS, at least 1
  const SLWChar* text;  // without zeros inside `length`
  u32 length;
  SLGuiGlyphCache* cache;
  u32 generation;  // this call's, kept apart from a call made while this one draws
};

// One line as built: its characters after prefix processing, where each of them starts in
// the text (source[length] is where the line's text ended before any shortening), its
// width, the mnemonic position and where the following line starts.
struct SLGuiTextLine {
  SLWChar chars[SL_GUI_TEXT_LINE_CAPACITY + 2 * kGuiEllipsisLength];
  u32 source[SL_GUI_TEXT_LINE_CAPACITY + 1];
  u32 length;
  i64 width;
  i32 mnemonic;  // -1: none on this line
  SLGuiEllipsisInfo ellipsis;
  bool shortened;     // an ellipsis was applied
  u32 sourceStart;    // the line's first character in the text
  u32 sourceEnd;      // the end of the text the line shows, before the break
  u32 next;           // where the following line starts
};

// Measures text[0, count): *limit receives the width (0 without glyphs); answers the first
// index whose glyph ends past the limit it was given, or `count` when all fit.
u32 MeasureTextRun(const SLGuiTextLayout& layout, const SLWChar* text, u32 count, i64* limit);
// The same over a line whose tabs go to tab stops when the layout expands them.
u32 MeasureTextLine(const SLGuiTextLayout& layout, const SLWChar* chars, u32 count, i64 limit, i64* width);
// Builds the line that starts at `pos`; `lastLine` says no line follows in the rectangle.
void GetNextTextLine(const SLGuiTextLayout& layout, u32 pos, bool lastLine, SLGuiTextLine* line);

}  // namespace SLInternals
