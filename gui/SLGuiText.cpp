// DrawTextInRectW and its 8-bit front end: the line loop, alignment, clipping, drawing the
// runs and mnemonic underlines, measuring, and writing the shortened text back.
#include "gui/SLGuiText.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLBaseEvent.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"
#include "foundation/SLTextConvert.h"
#include "foundation/SLWideText.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiTextLayout.h"
#include "image/SLImage.h"

using SLInternals::SLGuiTextLayout;
using SLInternals::SLGuiTextLine;

namespace {

constexpr u32 kPixelFormatBGRA = 5;

i32 ClampToI32(i64 value) {
  return value > 0x7FFFFFFF ? 0x7FFFFFFF : value < -0x7FFFFFFF - 1 ? -0x7FFFFFFF - 1 : i32(value);
}

// The 1 x 1 opaque white image each device draws underlines with, made on first use.
// A device's entry goes with its dying event; an image destroyed with its image group
// is noticed by the handle check (handles are never issued twice) and made again.
class CUnderlineImages {
 public:
  static CUnderlineImages& Get() {
    // Never destroyed: devices may outlive the program's static objects.
    static CUnderlineImages* instance = new CUnderlineImages();
    return *instance;
  }

  SL_GS_Image* ImageFor(CSL_GS_BaseGfx* gfx) {
    SL_GS_Image* known = Find(gfx);
    if (known && gfx->IsValidImage(known)) return known;
    SL_GS_Image* made = Make(gfx);
    if (!made) return nullptr;
    bool newDevice = false;
    {
      SLCriticalSectionLock hold(&m_lock);
      Entry* entry = FindEntry(gfx);
      if (entry) {
        entry->image = made;
      } else if (m_entries.Add(Entry{gfx, made})) {
        newDevice = true;
      }
    }
    // Registered outside the lock: the event lock is taken before ours on delivery.
    if (newDevice) gfx->AddCallback(this, &CUnderlineImages::OnDeviceEvent, 0);
    return SLSucceed(made);
  }

  void OnDeviceEvent(CSL_GS_BaseGfx* sender, CSLBaseEvent* event, u32) {
    if (!event->IsKindOf(CSLEventSourceDying::GetClassRecord())) return;
    SLCriticalSectionLock hold(&m_lock);
    for (u32 i = 0; i < m_entries.GetCount(); ++i)
      if (m_entries[i].gfx == sender) {
        m_entries.RemoveAt(i);
        break;
      }
  }

 private:
  struct Entry {
    CSL_GS_BaseGfx* gfx;
    SL_GS_Image* image;
  };

  Entry* FindEntry(CSL_GS_BaseGfx* gfx) {
    for (Entry& entry : m_entries)
      if (entry.gfx == gfx) return &entry;
    return nullptr;
  }
  SL_GS_Image* Find(CSL_GS_BaseGfx* gfx) {
    SLCriticalSectionLock hold(&m_lock);
    const Entry* entry = FindEntry(gfx);
    return entry ? entry->image : nullptr;
  }
  static SL_GS_Image* Make(CSL_GS_BaseGfx* gfx) {
    TSLObjPtr<CSLImage> white;
    white.Attach(new CSLImage());
    if (!white) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SL_GS_Image*>(nullptr));
    if (!white->Create(kPixelFormatBGRA, 1, 1, false)) return nullptr;
    std::memset(white->GetPixels(), 0xFF, 4);
    return gfx->CreateImage(white.Get(), true);
  }

  CSLCriticalSection m_lock;
  TSLArray<Entry> m_entries;
};

// The options every run of the call is drawn with: the caller's record keeping only
// scale, tint, opacity, depth and additive blending. An anchor request of the caller
// gives a rotation centre from the rectangle and the alignment (which, without the
// rotation bit kept, changes nothing the device draws).
void InitTextOptions(const SL_GS_DrawImageOptions* options, const SLGuiRect& rect, u32 alignment,
                     SL_GS_DrawImageOptions* out) {
  *out = *options;
  out->flags = options->flags & 0x23a;
  if (!(options->flags & SL_GS_DRAW_ROTATION)) return;
  i64 x = rect.x, y = rect.y;
  if ((alignment & SL_GUI_TEXT_HALIGN_MASK) == SL_GUI_TEXT_CENTER) x += rect.width / 2;
  if ((alignment & SL_GUI_TEXT_HALIGN_MASK) == SL_GUI_TEXT_RIGHT) x += rect.width;
  if ((alignment & SL_GUI_TEXT_VALIGN_MASK) == SL_GUI_TEXT_VCENTER) y += rect.height / 2;
  if ((alignment & SL_GUI_TEXT_VALIGN_MASK) == SL_GUI_TEXT_BOTTOM) y += rect.height;
  if (!(options->flags & SL_GS_DRAW_CENTRE)) {
    out->centreX = ClampToI32(x), out->centreY = ClampToI32(y);
  } else if (!(options->flags & SL_GS_DRAW_CENTRE_ABSOLUTE)) {
    out->centreX = ClampToI32(out->centreX + x), out->centreY = ClampToI32(out->centreY + y);
  }
  out->flags |= SL_GS_DRAW_CENTRE | SL_GS_DRAW_CENTRE_ABSOLUTE;
}

// Underlines the mnemonic character `index` of a run drawn at (x, y) on the line's last
// pixel row, as wide as its glyph less one pixel.
bool DrawMnemonicUnderline(const SLGuiTextLayout& layout, const SLWChar* run, u32 index, i64 x, i64 y,
                           const SL_GS_DrawImageOptions* options) {
  const SL_GS_FontGlyph* glyph = layout.gfx->FindGlyph(layout.font, run[index]);
  if (!glyph) return SLSucceed(true);
  i64 before = 0;
  if (index > 0) {
    before = 0x7FFFFFFF;
    SLInternals::MeasureTextRun(layout, run, index, &before);
    before += 2;
  }
  double length = double(glyph->right) - glyph->left - 1;
  if (options && (options->flags & SL_GS_DRAW_SCALE)) {
    length = std::trunc(length * options->scaleX);
    before = i64(std::trunc(double(before) * options->scaleX));
  }
  if (!(length >= 1)) return SLSucceed(true);
  SL_GS_Image* white = CUnderlineImages::Get().ImageFor(layout.gfx);
  if (!white) return false;
  SL_GS_DrawImageOptions stretch{};
  if (options) stretch = *options;
  stretch.flags = (stretch.flags & ~(SL_GS_DRAW_SCALE | SL_GS_DRAW_SOURCE)) | SL_GS_DRAW_TARGET_SIZE;
  const i32 targetWidth = ClampToI32(i64(length)), targetHeight = 1;
  std::memcpy(&stretch.scaleX, &targetWidth, sizeof targetWidth);
  std::memcpy(&stretch.scaleY, &targetHeight, sizeof targetHeight);
  return layout.gfx->DrawImage(white, ClampToI32(x + before), ClampToI32(y + layout.lineHeight - 1), &stretch);
}

// Draws a line at (x, y), segment by segment between tabs when they are expanded.
bool DrawTextLine(const SLGuiTextLayout& layout, const SLGuiTextLine& line, i64 x, i64 y,
                  const SL_GS_DrawImageOptions* options) {
  const bool tabs = (layout.flags & SL_GUI_TEXT_EXPAND_TABS) != 0;
  u32 start = 0;
  i64 pen = 0;
  for (;;) {
    const SLWChar* tab = tabs ? SLStrChrNW(line.chars + start, u'\t', line.length - start) : nullptr;
    const u32 end = tab ? u32(tab - line.chars) : line.length;
    if (end > start) {
      const i32 drawn = layout.gfx->DrawTextW(layout.font, ClampToI32(x + pen), ClampToI32(y), 0, options,
                                              line.chars + start, end - start);
      // A run without glyphs also answers 0: only the code tells a failure.
      if (drawn == 0 && SLGetLastError() != SL_OK) return false;
    }
    if (line.mnemonic >= i32(start) && line.mnemonic < i32(end) &&
        !DrawMnemonicUnderline(layout, line.chars + start, u32(line.mnemonic) - start, x + pen, y, options))
      return false;
    if (!tab) return SLSucceed(true);
    i64 width = 0x7FFFFFFF;
    SLInternals::MeasureTextRun(layout, line.chars + start, end - start, &width);
    pen += (width / layout.tabWidth + 1) * layout.tabWidth;
    start = end + 1;
  }
}

// The text handed back with SL_GUI_TEXT_MODIFY: the caller's text with each shortened
// line in place of the text it shows, "&" prefixes kept, as long as it stays within the
// room of 3 more characters (a line that would not fit is left as it was).
class CModifiedText {
 public:
  bool Init(const SLWChar* text, u32 length) {
    m_text = text;
    m_length = length;
    m_capacity = length + SLInternals::kGuiEllipsisLength;
    m_copy = static_cast<SLWChar*>(SLAlloc(u32((u64(m_capacity) + 1) * sizeof(SLWChar))));
    return m_copy ? true : SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  ~CModifiedText() {
    SLErrorKeeper keep;
    if (m_copy) SLFree(m_copy);
  }

  void AddLine(const SLGuiTextLine& line, bool prefixes) {
    if (line.sourceStart < m_taken) return;
    const u32 saved = m_used;
    auto put = [this](SLWChar c) { return m_used < m_capacity ? (m_copy[m_used++] = c, true) : false; };
    bool fits = true;
    for (u32 i = m_taken; i < line.sourceStart && fits; ++i) fits = put(m_text[i]);
    for (u32 i = 0; i < line.length && fits; ++i) {
      if (prefixes && (i32(i) == line.mnemonic || line.chars[i] == u'&')) fits = put(u'&');
      if (fits) fits = put(line.chars[i]);
    }
    if (!fits) {
      m_used = saved;
      return;
    }
    m_taken = line.sourceEnd;
  }

  // Writes the result, terminated, over the caller's text.
  void Finish(SLWChar* target) {
    const u32 rest = std::min(m_length - std::min(m_taken, m_length), m_capacity - m_used);
    std::memcpy(m_copy + m_used, m_text + m_taken, rest * sizeof(SLWChar));
    m_used += rest;
    m_copy[m_used] = 0;
    std::memcpy(target, m_copy, (u64(m_used) + 1) * sizeof(SLWChar));
  }

 private:
  const SLWChar* m_text = nullptr;
  u32 m_length = 0, m_capacity = 0, m_used = 0, m_taken = 0;
  SLWChar* m_copy = nullptr;
};

u32 TextLengthWithin(const SLWChar* text, u32 length) {
  u32 count = 0;
  while (count < length && text[count]) ++count;
  return count;
}

thread_local CSLStringWide t_scratch;

}  // namespace

bool DrawTextInRectW(CSL_GS_BaseGfx* gfx, SL_GS_Font* font, SLGuiRect* rect, u32 flags,
                     const SL_GS_DrawImageOptions* options, const SLWChar* text, u32 length, u32 tabSize) {
  if (!gfx || !rect) return SLFail(SL_E_INVALID_ARG, false);
  if (!gfx->IsValidFont(font)) return false;
  if (!text || length == 0 || text[0] == 0) {
    if (flags & SL_GUI_TEXT_MEASURE) rect->width = rect->height = 0;
    return text ? SLSucceed(true) : SLFail(SL_E_NULL_DATA, false);
  }
  // A zero inside the given length ends the text.
  length = TextLengthWithin(text, length);

  if (flags & SL_GUI_TEXT_SINGLE_LINE) flags &= ~u32(SL_GUI_TEXT_WORD_WRAP);
  if (flags & SL_GUI_TEXT_MEASURE) flags |= SL_GUI_TEXT_NO_CLIP;
  const bool measuring = (flags & SL_GUI_TEXT_MEASURE) != 0;
  SLInternals::SLGuiGlyphCache* cache = SLInternals::SLGuiBeginGlyphCache();
  SLGuiTextLayout layout{gfx,  font,   flags, rect->width, rect->height, gfx->GetFontHeight(font), 1,
                         text, length, cache, cache->generation};
  if (flags & SL_GUI_TEXT_EXPAND_TABS) {
    // A tab size of 0, or a font without width, would make every tab stop divide by 0.
    const i64 tabWidth = i64(gfx->GetFontAverageGlyphWidth(font)) * tabSize;
    layout.tabWidth = tabWidth < 1 ? 1 : tabWidth;
  }
  CModifiedText modified;
  if ((flags & SL_GUI_TEXT_MODIFY) && !modified.Init(text, length)) return false;

  u32 clipX = 0, clipY = 0, clipWidth = 0, clipHeight = 0;
  const bool clipping = !(flags & SL_GUI_TEXT_NO_CLIP);
  if (clipping) {
    if (!gfx->GetClipRect(&clipX, &clipY, &clipWidth, &clipHeight)) return false;
    const i64 left = rect->x > i64(clipX) ? rect->x : i64(clipX);
    const i64 top = rect->y > i64(clipY) ? rect->y : i64(clipY);
    const i64 right = std::min(i64(rect->x) + rect->width, i64(clipX) + clipWidth);
    const i64 bottom = std::min(i64(rect->y) + rect->height, i64(clipY) + clipHeight);
    if (!gfx->SetClipRect(u32(left), u32(top), u32(right > left ? right - left : 0),
                          u32(bottom > top ? bottom - top : 0)))
      return false;
  }
  auto restoreClip = SLMakeScopeGuard([&] {
    if (clipping) gfx->SetClipRect(clipX, clipY, clipWidth, clipHeight);
  });

  SL_GS_DrawImageOptions prepared;
  const SL_GS_DrawImageOptions* runOptions = nullptr;
  if (!measuring && options) {
    InitTextOptions(options, *rect, flags, &prepared);
    runOptions = &prepared;
  }

  // On the stack, so that a run drawn by a device that lays text out itself is safe.
  SLGuiTextLine line;
  const i64 lineHeight = layout.lineHeight;
  i64 y = 0, widest = 0;
  u32 pos = 0;
  for (;;) {
    i64 needed = lineHeight;
    if (flags & SL_GUI_TEXT_NO_CLIP) needed += y;
    if (flags & SL_GUI_TEXT_PARTIAL_LINES) needed += lineHeight - 1;
    const bool lastLine = layout.height < needed;
    SLInternals::GetNextTextLine(layout, pos, lastLine, &line);

    i64 x = 0;
    if ((flags & SL_GUI_TEXT_HALIGN_MASK) == SL_GUI_TEXT_CENTER) x = (layout.width - line.width) / 2;
    if ((flags & SL_GUI_TEXT_HALIGN_MASK) == SL_GUI_TEXT_RIGHT) x = layout.width - line.width;
    // A single line sits in the middle or at the bottom; the size measured is its own.
    i64 top = y;
    if (flags & SL_GUI_TEXT_SINGLE_LINE) {
      if ((flags & SL_GUI_TEXT_VALIGN_MASK) == SL_GUI_TEXT_VCENTER) top = (layout.height - lineHeight) / 2;
      if ((flags & SL_GUI_TEXT_VALIGN_MASK) == SL_GUI_TEXT_BOTTOM) top = layout.height - lineHeight;
    }
    if (measuring) {
      if (line.width > widest) widest = line.width;
    } else if (!DrawTextLine(layout, line, i64(rect->x) + x, i64(rect->y) + top, runOptions)) {
      return false;
    }
    if (line.shortened && (flags & SL_GUI_TEXT_MODIFY))
      modified.AddLine(line, !(flags & SL_GUI_TEXT_NO_PREFIX));
    y += lineHeight;
    pos = line.next;
    if (lastLine || pos >= length) break;
  }

  if (measuring) rect->width = ClampToI32(widest), rect->height = ClampToI32(y);
  if (flags & SL_GUI_TEXT_MODIFY) modified.Finish(const_cast<SLWChar*>(text));
  return SLSucceed(true);
}

bool DrawTextInRectA(CSL_GS_BaseGfx* gfx, SL_GS_Font* font, SLGuiRect* rect, u32 flags,
                     const SL_GS_DrawImageOptions* options, const char* text, u32 length, u32 tabSize) {
  if (!gfx || !rect) return SLFail(SL_E_INVALID_ARG, false);
  if (!gfx->IsValidFont(font)) return false;
  if (!text) {
    if (flags & SL_GUI_TEXT_MEASURE) rect->width = rect->height = 0;
    return SLFail(SL_E_NULL_DATA, false);
  }
  if (length == SL_TEXT_TO_END) length = SLTextLength(text);
  if (!t_scratch.AssignA(text, length)) return false;
  // The working text must hold the ellipsis the layout may write back.
  if ((flags & SL_GUI_TEXT_MODIFY) && !t_scratch.Reserve(t_scratch.GetLength() + 4)) return false;
  const u32 wideLength = t_scratch.GetLength();
  if (!DrawTextInRectW(gfx, font, rect, flags, options, t_scratch.CStr(), wideLength, tabSize)) return false;
  if (flags & SL_GUI_TEXT_MODIFY) {
    u32 size = length + 4;
    const SLWChar* shortened = t_scratch.CStr();
    if (!SLWideToAnsi(const_cast<char*>(text), &size, shortened, TextLengthWithin(shortened, wideLength + 4), 0))
      return false;
    t_scratch.GetLength(true);
  }
  return SLSucceed(true);
}
