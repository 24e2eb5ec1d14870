// Building one line of laid-out text: prefix processing, measuring, word wrap, the end
// and path ellipses, and the line break that ends the line.
#include <cstring>

#include "foundation/SLString.h"
#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiTextLayout.h"

namespace SLInternals {
namespace {

constexpr SLWChar kCR = u'\r', kLF = u'\n', kTab = u'\t', kSpace = u' ', kPrefix = u'&';
constexpr SLWChar kEllipsis[kGuiEllipsisLength] = {u'.', u'.', u'.'};

bool IsBreak(SLWChar c) { return c == kCR || c == kLF; }

// Takes the character at `pos` through prefix processing: "&&" gives one "&", "&" and
// another character give that character as the mnemonic. A lone "&" at the end of the
// text, or before a line break, stays as it is. Answers where the next character starts.
u32 SkipPrefixChars(const SLGuiTextLayout& layout, u32 pos, SLWChar* out, bool* mnemonic) {
  const SLWChar c = layout.text[pos];
  *mnemonic = false;
  *out = c;
  if ((layout.flags & SL_GUI_TEXT_NO_PREFIX) || c != kPrefix || pos + 1 >= layout.length) return pos + 1;
  const SLWChar following = layout.text[pos + 1];
  if (following == kPrefix) return pos + 2;
  if (!(layout.flags & SL_GUI_TEXT_EXPAND_TABS) && IsBreak(following)) return pos + 1;
  *out = following;
  *mnemonic = true;
  return pos + 2;
}

// Past the line break at `pos`, if one is there: CR, LF, CR LF and LF CR are one break
// each; CR CR and LF LF are two.
u32 SkipLineBreak(const SLGuiTextLayout& layout, u32 pos) {
  if (pos >= layout.length || !IsBreak(layout.text[pos])) return pos;
  const SLWChar first = layout.text[pos++];
  if (pos < layout.length && IsBreak(layout.text[pos]) && layout.text[pos] != first) ++pos;
  return pos;
}

// Only the end of the text, or one line break and then the end, follows `pos`.
bool IsLineEnd(const SLGuiTextLayout& layout, u32 pos) {
  return pos >= layout.length || (IsBreak(layout.text[pos]) && SkipLineBreak(layout, pos) >= layout.length);
}

// Moves the mnemonic to where its character went when an ellipsis replaced part of the
// line; a mnemonic whose character was removed is dropped.
i32 FindMnemonicIndex(i32 mnemonic, const SLGuiEllipsisInfo& info) {
  if (mnemonic < 0) return mnemonic;
  const u32 index = u32(mnemonic);
  if (index < info.start) return mnemonic;
  if (index < info.start + info.removed) return -1;
  return i32(index - info.removed + info.length);
}

// Cuts a line that does not fit at a space, `over` being the first character that does
// not fit. Left-aligned lines keep the space at their end; centred and right-aligned ones
// end before it, so it does not shift them. A single long word is cut where it overflows
// only when partly visible lines count and no ellipsis is asked for; otherwise it stays
// whole up to the next space, overflowing, and an ellipsis may shorten it afterwards.
void FindWordBreak(const SLGuiTextLayout& layout, SLGuiTextLine* line, u32 over) {
  const SLWChar* space = line->chars[over] == kSpace ? line->chars + over : SLStrRChrW(line->chars, kSpace, over);
  if (!space) {
    const u32 ellipses = SL_GUI_TEXT_PATH_ELLIPSIS | SL_GUI_TEXT_END_ELLIPSIS;
    if ((layout.flags & SL_GUI_TEXT_PARTIAL_LINES) && !(layout.flags & ellipses)) {
      line->length = over > 0 ? over : 1;  // at least one character, so the text advances
      line->next = line->source[line->length];
      return;
    }
    space = SLStrChrNW(line->chars + over, kSpace, line->length - over);
    if (!space) return;  // the word runs to the end of the line
    const u32 at = u32(space - line->chars);
    line->length = at;
    line->next = line->source[at + 1];
    return;
  }
  const u32 at = u32(space - line->chars);
  line->length = (layout.flags & SL_GUI_TEXT_HALIGN_MASK) == SL_GUI_TEXT_LEFT ? at + 1 : at;
  line->next = line->source[at + 1];
}

// The longest k <= keep for which line[0, k) "..." tail fits the rectangle (0 when none
// does), with `work` receiving that text. Bisection first; kerning can make the width
// grow when a character goes, so the answer is then walked down until it really fits.
u32 FitBeforeEllipsis(const SLGuiTextLayout& layout, const SLWChar* line, u32 keep, const SLWChar* tail,
                      u32 tailLength, SLWChar* work) {
  auto fits = [&](u32 k) {
    std::memcpy(work, line, k * sizeof(SLWChar));
    std::memcpy(work + k, kEllipsis, sizeof kEllipsis);
    std::memcpy(work + k + kGuiEllipsisLength, tail, tailLength * sizeof(SLWChar));
    i64 width = 0;
    MeasureTextLine(layout, work, k + kGuiEllipsisLength + tailLength, layout.width, &width);
    return width <= layout.width;
  };
  u32 low = 0, high = keep;  // the answer lies in [low, high]
  while (low < high) {
    const u32 middle = low + (high - low + 1) / 2;
    if (fits(middle)) low = middle;
    else high = middle - 1;
  }
  while (low > 0 && !fits(low)) --low;
  fits(low);  // the work text holds the answer
  return low;
}

// Shortens the line to the prefix that fits followed by "...".
void EndEllipsis(const SLGuiTextLayout& layout, SLGuiTextLine* line) {
  SLWChar work[sizeof line->chars / sizeof(SLWChar)];
  const u32 kept = FitBeforeEllipsis(layout, line->chars, line->length, line->chars, 0, work);
  std::memcpy(line->chars + kept, kEllipsis, sizeof kEllipsis);
  line->ellipsis = {kept, kGuiEllipsisLength, line->length - kept, 0};
  line->length = kept + kGuiEllipsisLength;
}

// Puts "..." before the last path component ("\" or "/", whichever comes later; the whole
// line without one) and removes characters just before it until the line fits.
void PathEllipsis(const SLGuiTextLayout& layout, SLGuiTextLine* line) {
  const SLWChar* backslash = SLStrRChrW(line->chars, u'\\', line->length);
  const SLWChar* slash = SLStrRChrW(line->chars, u'/', line->length);
  const SLWChar* separator = backslash > slash ? backslash : slash;
  const u32 at = separator ? u32(separator - line->chars) : 0;
  const u32 tailLength = line->length - at;
  SLWChar work[sizeof line->chars / sizeof(SLWChar)];
  const u32 kept = FitBeforeEllipsis(layout, line->chars, at, line->chars + at, tailLength, work);
  std::memcpy(line->chars, work, (kept + kGuiEllipsisLength + tailLength) * sizeof(SLWChar));
  line->ellipsis = {kept, kGuiEllipsisLength, at - kept, tailLength};
  line->length = kept + kGuiEllipsisLength + tailLength;
}

void ApplyEllipsis(const SLGuiTextLayout& layout, SLGuiTextLine* line, void (*shorten)(const SLGuiTextLayout&,
                                                                                       SLGuiTextLine*)) {
  shorten(layout, line);
  line->mnemonic = FindMnemonicIndex(line->mnemonic, line->ellipsis);
  line->shortened = true;
  MeasureTextLine(layout, line->chars, line->length, layout.width, &line->width);
}

}  // namespace

SLGuiGlyphCache* SLGuiBeginGlyphCache() {
  thread_local SLGuiGlyphCache cache;
  if (++cache.generation == 0) {
    std::memset(&cache, 0, sizeof cache);
    cache.generation = 1;
  }
  return &cache;
}

namespace {

// The advance of a character's glyph, -1 without one.
i32 GlyphAdvance(const SLGuiTextLayout& layout, u32 code) {
  SLGuiGlyphCache::Glyph* cached = code < 256 ? &layout.cache->latin[code] : nullptr;
  if (cached && cached->generation == layout.generation) return cached->advance;
  const SL_GS_FontGlyph* glyph = layout.gfx->FindGlyph(layout.font, code);
  const i32 advance = glyph ? i32(glyph->right) - i32(glyph->left) + 2 : -1;
  if (cached) *cached = {layout.generation, advance};
  return advance;
}

i32 KerningAdjustment(const SLGuiTextLayout& layout, u32 first, u32 second) {
  const u32 key = first << 16 | second;
  SLGuiGlyphCache::Pair& cached = layout.cache->pairs[(key * 2654435761u) >> 22];
  if (cached.generation == layout.generation && cached.key == key) return cached.adjustment;
  const SL_GS_FontKerningPair* pair = layout.gfx->FindKerningPair(layout.font, first, second);
  cached = {layout.generation, key, pair ? pair->adjustment : 0};
  return cached.adjustment;
}

}  // namespace

u32 MeasureTextRun(const SLGuiTextLayout& layout, const SLWChar* text, u32 count, i64* limit) {
  i64 total = 0;
  u32 over = count;
  u32 previous = 0;
  bool hasPrevious = false, any = false;
  for (u32 i = 0; i < count; ++i) {
    const u32 code = text[i];
    const i32 advance = GlyphAdvance(layout, code);
    if (advance < 0) {
      hasPrevious = false;
      continue;
    }
    if (hasPrevious) total += KerningAdjustment(layout, previous, code);
    total += advance;
    previous = code;
    hasPrevious = any = true;
    if (over == count && total - 2 > *limit) over = i;
  }
  *limit = any && total > 2 ? total - 2 : 0;
  return over;
}

// Each segment after a tab starts at the first tab stop past the end of the previous
// one: (segment width / tab width + 1) tab widths after the previous segment's start, so
// consecutive tabs each add a full tab width.
u32 MeasureTextLine(const SLGuiTextLayout& layout, const SLWChar* chars, u32 count, i64 limit, i64* width) {
  if (!(layout.flags & SL_GUI_TEXT_EXPAND_TABS)) {
    *width = limit;
    return MeasureTextRun(layout, chars, count, width);
  }
  u32 over = count, start = 0;
  i64 pen = 0;
  for (;;) {
    const SLWChar* tab = SLStrChrNW(chars + start, kTab, count - start);
    const u32 end = tab ? u32(tab - chars) : count;
    i64 segment = limit - pen;
    const u32 segmentOver = MeasureTextRun(layout, chars + start, end - start, &segment);
    if (over == count && segmentOver < end - start) over = start + segmentOver;
    if (!tab) {
      *width = pen + segment;
      return over;
    }
    pen += (segment / layout.tabWidth + 1) * layout.tabWidth;
    if (over == count && pen > limit) over = end;
    start = end + 1;
  }
}

void GetNextTextLine(const SLGuiTextLayout& layout, u32 pos, bool lastLine, SLGuiTextLine* line) {
  const bool breaksLines = !(layout.flags & SL_GUI_TEXT_EXPAND_TABS);
  line->length = 0;
  line->mnemonic = -1;
  line->ellipsis = {};
  line->shortened = false;
  line->sourceStart = pos;

  // Copy up to the break, the end of the text, or a full buffer (the rest then
  // continues on the next line).
  u32 at = pos;
  while (at < layout.length && line->length < SL_GUI_TEXT_LINE_CAPACITY) {
    if (breaksLines && IsBreak(layout.text[at])) break;
    bool mnemonic;
    line->source[line->length] = at;
    at = SkipPrefixChars(layout, at, &line->chars[line->length], &mnemonic);
    if (mnemonic && line->mnemonic < 0) line->mnemonic = i32(line->length);
    ++line->length;
  }
  line->source[line->length] = at;
  const u32 lineEnd = at;
  line->next = lineEnd;

  u32 over = MeasureTextLine(layout, line->chars, line->length, layout.width, &line->width);
  if (over < line->length && (layout.flags & SL_GUI_TEXT_WORD_WRAP)) {
    FindWordBreak(layout, line, over);
    if (line->mnemonic >= i32(line->length)) line->mnemonic = -1;  // it comes again on the next line
    MeasureTextLine(layout, line->chars, line->length, layout.width, &line->width);
  }
  line->sourceEnd = line->source[line->length];

  if (line->width > layout.width) {
    if (layout.flags & SL_GUI_TEXT_PATH_ELLIPSIS) ApplyEllipsis(layout, line, PathEllipsis);
    if (line->width > layout.width && (layout.flags & SL_GUI_TEXT_END_ELLIPSIS))
      ApplyEllipsis(layout, line, EndEllipsis);
  }
  if (!line->shortened && (layout.flags & SL_GUI_TEXT_END_ELLIPSIS_LAST)) {
    // More text after this last line, or a line that does not fit with only its break
    // (or nothing) after it.
    const u32 after = breaksLines && line->next == lineEnd ? SkipLineBreak(layout, lineEnd) : line->next;
    if ((lastLine && after < layout.length) || (line->width > layout.width && IsLineEnd(layout, line->next)))
      ApplyEllipsis(layout, line, EndEllipsis);
  }

  if (line->shortened) {
    if (layout.flags & SL_GUI_TEXT_SINGLE_LINE) {
      line->next = layout.length;
    } else if (!breaksLines) {
      while (line->next < layout.length && !IsBreak(layout.text[line->next])) ++line->next;
    }
  }

  // The break that ended the line.
  if (breaksLines && line->next == lineEnd) line->next = SkipLineBreak(layout, lineEnd);
}

}  // namespace SLInternals
