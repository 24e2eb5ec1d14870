#include "adventure/movie/Balloon.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "foundation/SLMemory.h"
#include "foundation/SLTextConvert.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiTextLayout.h"

namespace {
constinit SL_GS_Image* g_picture = nullptr;

constexpr u32 kDefaultWidth = 400;
constexpr u32 kLineMargin = 50;  // lines are filled up to width - 50
// Opacities above this draw opaque: the percentage of a full 100 lost in arithmetic.
constexpr double kOpaque = 99.9999999999;

bool IsSpeechStyle(u32 style) { return style >= 1 && style <= 16; }
bool IsTailBelow(u32 style) { return style <= 4 || (style >= 9 && style <= 12); }

// The balloon's text as UTF-16, one unit per byte (Windows-1252 is single-byte), so
// offsets in the 8-bit text are offsets in the wide one.
class WideText {
 public:
  explicit WideText(const char* text) {
    const u32 length = text ? u32(std::strlen(text)) : 0;
    if (!m_units.SetSize(length + 1)) Movie_FatalOutOfMemory(kFatalBalloonLines);
    u32 size = length + 1;
    SLErrorKeeper keep;
    if (!length || !SLAnsiToWide(m_units.GetData(), &size, text, length, 0) || size != length)
      for (u32 i = 0; i < length; ++i) m_units[i] = SLWChar(u8(text[i]));
  }
  const SLWChar* At(u32 offset) const { return m_units.GetData() + offset; }

 private:
  TSLArray<SLWChar> m_units;
};

// Word widths from cached glyph advances and kerning pairs: every device lookup takes the
// device's lock, and balloons repeat the same few letters. A font's glyphs never change
// while it lives and font handles are never handed out twice, so the cache stays good
// for as long as the same font is measured, across layouts. Codes below 256 (nearly all
// of a Windows-1252 text) are looked up in dense tables; a run with any other code is
// measured by the text layout's own cached measure. The widths are those GetTextWidth
// gives for the same run.
class WordMeasure {
 public:
  WordMeasure(CSL_GS_BaseGfx* gfx, SL_GS_Font* font) : m_cache(CacheFor(gfx, font)) {
    m_layout = SLInternals::SLGuiTextLayout{gfx, font, 0, 0, 0, 0, 1, nullptr, 0, &m_cache.glyphs, m_cache.glyphs.generation};
  }
  u64 Width(const SLWChar* text, u32 length) const {
    i64 width = 0;
    Run(text, length, &width, INT64_MAX);
    return u64(width < 0x7FFFFFFF ? width : 0x7FFFFFFF);  // GetTextWidth's ceiling
  }
  // The width of a word as the line-filling rule sees it: grown one character at a time,
  // stopping as soon as a line that already holds something would overflow. Without
  // negative kerning no prefix of a word is wider than the word, so the whole word gives
  // the same answer; otherwise the first prefix that overflows is the word's width.
  u64 Word(const SLWChar* word, u32 length, u64 before, u64 limit) const {
    if (before == 0) return Width(word, length);
    // One pass gives the word's width and the first prefix past the room left.
    i64 width = 0;
    const u32 over = Run(word, length, &width, before > limit ? -1 : i64(limit - before));
    const u64 whole = u64(width < 0x7FFFFFFF ? width : 0x7FFFFFFF);
    if (before + whole > limit) return whole;
    return over < length ? Width(word, over + 1) : whole;
  }

 private:
  static constexpr i32 kUnknown = INT32_MIN;
  struct Cache {
    CSL_GS_BaseGfx* gfx;
    SL_GS_Font* font;
    i32 advance[256];        // right - left + 2; -1 without a glyph; kUnknown not looked up
    i32 kerning[256 * 256];  // [first << 8 | second]; kUnknown not looked up
    SLInternals::SLGuiGlyphCache glyphs;  // for codes of 256 and above
  };
  static Cache& CacheFor(CSL_GS_BaseGfx* gfx, SL_GS_Font* font) {
    thread_local std::unique_ptr<Cache> cache;
    if (!cache) {
      cache.reset(new (std::nothrow) Cache());
      if (!cache) Movie_FatalOutOfMemory(kFatalBalloonLines);
    }
    Cache& c = *cache;
    if (c.font != font || c.gfx != gfx || c.glyphs.generation == 0) {
      c.gfx = gfx, c.font = font;
      std::fill(std::begin(c.advance), std::end(c.advance), kUnknown);
      std::fill(std::begin(c.kerning), std::end(c.kerning), kUnknown);
      if (++c.glyphs.generation == 0) {
        std::memset(&c.glyphs, 0, sizeof c.glyphs);
        c.glyphs.generation = 1;
      }
    }
    return c;
  }
  i32 Advance(u32 code) const {
    i32& advance = m_cache.advance[code];
    if (advance == kUnknown) {
      const SL_GS_FontGlyph* glyph = m_layout.gfx->FindGlyph(m_layout.font, code);
      advance = glyph ? i32(glyph->right) - i32(glyph->left) + 2 : -1;
    }
    return advance;
  }
  i32 Kerning(u32 first, u32 second) const {
    i32& adjustment = m_cache.kerning[first << 8 | second];
    if (adjustment == kUnknown) {
      const SL_GS_FontKerningPair* pair = m_layout.gfx->FindKerningPair(m_layout.font, first, second);
      adjustment = pair ? pair->adjustment : 0;
    }
    return adjustment;
  }
  // As the text layout's MeasureTextRun: *width gets the run's width; answers the first
  // index whose glyph ends past `room`, or `length` when all fit.
  u32 Run(const SLWChar* text, u32 length, i64* width, i64 room) const {
    SLErrorKeeper keep;
    i64 total = 0;
    u32 over = length, previous = 0;
    bool hasPrevious = false, any = false;
    for (u32 i = 0; i < length; ++i) {
      const u32 code = text[i];
      if (code > 255) {
        *width = room;
        return SLInternals::MeasureTextRun(m_layout, text, length, width);
      }
      const i32 advance = Advance(code);
      if (advance < 0) {
        hasPrevious = false;
        continue;
      }
      if (hasPrevious) total += Kerning(previous, code);
      total += advance;
      previous = code;
      hasPrevious = any = true;
      if (over == length && total - 2 > room) over = i;
    }
    *width = any && total > 2 ? total - 2 : 0;
    return over;
  }

  Cache& m_cache;
  SLInternals::SLGuiTextLayout m_layout;
};

void RecordLineEnd(Balloon* balloon, u32 offset) {
  if (!balloon->lines.Add(offset)) Movie_FatalOutOfMemory(kFatalBalloonLines);
}

void SetEmptyBox(Balloon* balloon) {
  const u32 style = balloon->style;
  if (IsSpeechStyle(style)) balloon->boxWidth = 31, balloon->boxHeight = 14;
  else if (style == 17 || style == 18) balloon->boxWidth = 31, balloon->boxHeight = 8;
  else balloon->boxWidth = 6, balloon->boxHeight = 4;
}
}  // namespace

void Balloon_SetPicture(SL_GS_Image* picture) { g_picture = picture; }
SL_GS_Image* Balloon_GetPicture() { return g_picture; }

void Balloon_Construct(Balloon* balloon) {
  balloon->width = kDefaultWidth;
  balloon->font = nullptr;
  balloon->style = 1;
  balloon->text = nullptr;
  balloon->boxWidth = balloon->boxHeight = 0;
}

void Balloon_Destroy(Balloon* balloon) {
  SLErrorKeeper keep;
  SLFree(balloon->text);
  balloon->text = nullptr;
  balloon->lines.Free();
}

void Balloon_SetStyle(Balloon* balloon, u32 style) { balloon->style = style >= 1 && style <= 20 ? style : 1; }

void Balloon_SetText(Balloon* balloon, const char* text) {
  SLFree(balloon->text);
  balloon->text = nullptr;
  if (text && text[0]) {
    const size_t length = std::strlen(text);
    if (length >= 0x7FFFFFFF) Movie_FatalOutOfMemory(kFatalBalloonText);
    balloon->text = static_cast<char*>(SLAlloc(u32(length + 1)));
    if (!balloon->text) Movie_FatalOutOfMemory(kFatalBalloonText);
    std::memcpy(balloon->text, text, length + 1);
  }
  SLSetLastError(SL_OK);
}

void Balloon_Layout(Balloon* balloon) {
  balloon->lines.Free();
  SetEmptyBox(balloon);
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!balloon->text || !balloon->font || !gfx) return void(SLSetLastError(SL_OK));
  SLErrorKeeper keep;  // measuring leaves no code of its own
  const u64 height = gfx->GetFontHeight(balloon->font);
  if (height == 0) return;
  const WideText wide(balloon->text);
  const WordMeasure measure(gfx, balloon->font);
  const u64 space = measure.Width(u" ", 1);
  const u64 limit = u32(balloon->width - kLineMargin);  // unsigned: widths below 50 never wrap
  const u8* text = reinterpret_cast<const u8*>(balloon->text);
  const u32 length = u32(std::strlen(balloon->text));
  u64 lineWidth = 0, pending = 0, widest = 0;
  auto endLine = [&](u32 nextStart) {
    RecordLineEnd(balloon, nextStart);
    if (lineWidth > widest) widest = lineWidth;
    lineWidth = pending = 0;
  };
  for (u32 i = 0; i < length;) {
    const u8 c = text[i];
    if (c == ' ') {
      pending += space, ++i;
    } else if (c == '\n') {
      if (i + 1 == length) break;  // a closing line feed makes no empty last line
      endLine(++i);
    } else if (c < 33) {
      ++i;
    } else {
      u32 wordEnd = i;
      while (wordEnd < length && text[wordEnd] > 32) ++wordEnd;
      const u64 before = lineWidth + pending;
      // A line ends before a word only when it holds something: at a limit of 0 an empty
      // line would otherwise end before the same word for ever.
      if (before > 0 && before >= limit) {
        endLine(i);
        continue;
      }
      const u64 wordWidth = measure.Word(wide.At(i), wordEnd - i, before, limit);
      if (before == 0 || before + wordWidth <= limit) {
        lineWidth = before + wordWidth;
        pending = 0;
        i = wordEnd;
      } else {
        endLine(i);  // the word is taken again on the next line
      }
    }
  }
  RecordLineEnd(balloon, length);
  if (lineWidth > widest) widest = lineWidth;
  const u64 lines = balloon->lines.GetCount();
  const u32 style = balloon->style;
  const u64 wide10 = widest + 10 > 31 ? widest + 10 : 31;
  if (IsSpeechStyle(style)) balloon->boxWidth = i32(wide10), balloon->boxHeight = i32(lines * height + 14);
  else if (style == 17 || style == 18) balloon->boxWidth = i32(wide10), balloon->boxHeight = i32(lines * height + 8);
  else balloon->boxWidth = i32(widest + 6), balloon->boxHeight = i32(lines * height + 4);
}

i32 Balloon_TailX(const Balloon* balloon) {
  const u32 s = balloon->style;
  if (s >= 17 && s <= 20) return balloon->boxWidth / 2;
  if (!IsSpeechStyle(s)) return 0;
  // Within each group of four, the first two have the tail at the right.
  return (s - 1) % 4 < 2 ? balloon->boxWidth - 15 : 15;
}

i32 Balloon_TailY(const Balloon* balloon) {
  const u32 s = balloon->style;
  if (s >= 17 && s <= 20) return balloon->boxHeight / 2;
  if (!IsSpeechStyle(s)) return 0;
  return IsTailBelow(s) ? balloon->boxHeight : 0;
}

void Balloon_BlitPiece(i32 x, i32 y, i32 width, i32 height, i32 sourceX, i32 sourceY, i32 sourceWidth,
                       i32 sourceHeight, double opacity) {
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!gfx || !g_picture || width <= 0 || height <= 0) return;
  SL_GS_DrawImageOptions options{};
  options.flags = SL_GS_DRAW_SOURCE;
  options.sourceX = sourceX, options.sourceY = sourceY;
  options.sourceWidth = sourceWidth, options.sourceHeight = sourceHeight;
  if (width != sourceWidth || height != sourceHeight) {
    // The target size travels in the first four bytes of each scale field.
    options.flags |= SL_GS_DRAW_TARGET_SIZE;
    std::memcpy(&options.scaleX, &width, sizeof(width));
    std::memcpy(&options.scaleY, &height, sizeof(height));
  }
  if (opacity < kOpaque) options.flags |= SL_GS_DRAW_OPACITY, options.opacity = opacity;
  gfx->DrawImage(g_picture, x, y, &options);
}

namespace {
struct Piece {
  i32 sx, sy, sw, sh;  // source rectangle in the balloon picture
  i32 dx, dy, dw, dh;  // destination
};

// The frame pieces of a style for a W x H box at (x, y): corners keep their size, edges
// and the body stretch.
u32 FramePieces(u32 style, i32 x, i32 y, i32 W, i32 H, Piece* out) {
  u32 n = 0;
  auto add = [&](i32 sx, i32 sy, i32 sw, i32 sh, i32 dx, i32 dy, i32 dw, i32 dh) {
    out[n++] = Piece{sx, sy, sw, sh, dx, dy, dw, dh};
  };
  if (style >= 19) {
    const i32 c = style == 19 ? 0 : 31;
    const i32 rows[3][2] = {{104, 2}, {107, 8}, {114, 2}};
    const i32 dys[3] = {y, y + 2, y + H - 2}, dhs[3] = {2, H - 4, 2};
    for (u32 r = 0; r < 3; ++r) {
      add(c, rows[r][0], 3, rows[r][1], x, dys[r], 3, dhs[r]);
      add(c + 3, rows[r][0], 24, rows[r][1], x + 3, dys[r], W - 6, dhs[r]);
      add(c + 27, rows[r][0], 3, rows[r][1], x + W - 3, dys[r], 3, dhs[r]);
    }
    return n;
  }
  if (IsTailBelow(style) || style == 17 || style == 18) {
    const i32 col = style % 2 ? 0 : 32, row = style >= 9 && style <= 12 ? 52 : 0;
    const i32 B = style >= 17 ? 4 : 10;
    add(col, row, 5, 4, x, y, 5, 4);
    add(col + 5, row, 21, 4, x + 5, y, W - 10, 4);
    add(col + 26, row, 5, 4, x + W - 5, y, 5, 4);
    add(col, row + 5, 5, 9, x, y + 4, 5, H - B - 4);
    add(col + 5, row + 5, 21, 9, x + 5, y + 4, W - 10, H - B - 4);
    add(col + 26, row + 5, 5, 9, x + W - 5, y + 4, 5, H - B - 4);
    if (style >= 17) {
      add(col + 64, 21, 5, 4, x, y + H - 4, 5, 4);
      add(col + 69, 21, 21, 4, x + 5, y + H - 4, W - 10, 4);
      add(col + 90, 21, 5, 4, x + W - 5, y + H - 4, 5, 4);
    } else if ((style - 1) % 4 < 2) {
      add(col, row + 15, 5, 10, x, y + H - 10, 5, 10);
      add(col + 5, row + 15, 11, 10, x + 5, y + H - 10, W - 20, 10);
      add(col + 16, row + 15, 15, 10, x + W - 15, y + H - 10, 15, 10);
    } else {
      add(col, row + 41, 15, 10, x, y + H - 10, 15, 10);
      add(col + 15, row + 41, 11, 10, x + 15, y + H - 10, W - 20, 10);
      add(col + 26, row + 41, 5, 10, x + W - 5, y + H - 10, 5, 10);
    }
    return n;
  }
  // Tail above: styles 5-8 and 13-16.
  const i32 col = style % 2 ? 64 : 96, row = style >= 13 ? 52 : 0, r = row + 11;
  if ((style - 1) % 4 < 2) {
    add(col, row, 5, 10, x, y, 5, 10);
    add(col + 5, row, 11, 10, x + 5, y, W - 20, 10);
    add(col + 16, row, 15, 10, x + W - 15, y, 15, 10);
  } else {
    add(col, row + 26, 15, 10, x, y, 15, 10);
    add(col + 15, row + 26, 11, 10, x + 15, y, W - 20, 10);
    add(col + 26, row + 26, 5, 10, x + W - 5, y, 5, 10);
  }
  add(col, r, 5, 9, x, y + 10, 5, H - 14);
  add(col + 5, r, 21, 9, x + 5, y + 10, W - 10, H - 14);
  add(col + 26, r, 5, 9, x + W - 5, y + 10, 5, H - 14);
  add(col, r + 10, 5, 4, x, y + H - 4, 5, 4);
  add(col + 5, r + 10, 21, 4, x + 5, y + H - 4, W - 10, 4);
  add(col + 26, r + 10, 5, 4, x + W - 5, y + H - 4, 5, 4);
  return n;
}
}  // namespace

void Balloon_Draw(const Balloon* balloon, i32 x, i32 y, double opacity) {
  SLErrorKeeper keep;  // drawing reports nothing to its caller
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!gfx) return;
  const u32 style = balloon->style >= 1 && balloon->style <= 20 ? balloon->style : 1;
  if (g_picture) {
    Piece pieces[12];
    const u32 count = FramePieces(style, x, y, balloon->boxWidth, balloon->boxHeight, pieces);
    for (u32 i = 0; i < count; ++i) {
      const Piece& p = pieces[i];
      Balloon_BlitPiece(p.dx, p.dy, p.dw, p.dh, p.sx, p.sy, p.sw, p.sh, opacity);
    }
  }
  if (!balloon->text || !balloon->font || balloon->lines.GetCount() == 0) return;
  const i32 height = i32(gfx->GetFontHeight(balloon->font));
  if (height == 0) return;
  const bool plain = style > 18;
  const i32 left = x + (plain ? 3 : 5);
  i32 penY = y + (plain ? 2 : IsTailBelow(style) || style >= 17 ? 4 : 10);
  const i32 space = i32(WordMeasure(gfx, balloon->font).Width(u" ", 1));
  SL_GS_DrawImageOptions options{};
  options.flags = SL_GS_DRAW_TINT;
  options.tintSpare = 0xFF;  // opaque black, 0xFF000000
  if (opacity < kOpaque) options.flags |= SL_GS_DRAW_OPACITY, options.opacity = opacity;
  const WideText wide(balloon->text);
  const u8* text = reinterpret_cast<const u8*>(balloon->text);
  const u32 length = u32(std::strlen(balloon->text));
  u32 start = 0;
  for (u32 line : balloon->lines) {
    const u32 end = line < length ? line : length;
    i64 pen = left, pending = 0;
    for (u32 i = start; i < end;) {
      const u8 c = text[i];
      if (c == ' ') {
        pending += space, ++i;
      } else if (c == '\n') {
        break;
      } else if (c < 33) {
        ++i;
      } else {
        u32 wordEnd = i;
        while (wordEnd < end && text[wordEnd] > 32) ++wordEnd;
        pen += pending;
        pending = 0;
        pen += gfx->DrawTextW(balloon->font, i32(pen), penY, 0, &options, wide.At(i), wordEnd - i);
        i = wordEnd;
      }
    }
    start = line;
    penY += height;
  }
}
