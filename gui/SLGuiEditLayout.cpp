// The edit control's layout: measuring units, breaking the text into lines (with word wrap
// and the scroll-bar passes), the caret's and the selection's lines and offsets, and the
// way back from a point to a position.
//
// The text is cut into tokens: a run of spaces, a single TAB, a line break ("\r\n" as one
// token; a lone CR or LF on its own), a word (a run of bytes above 32) and any other byte
// below 32 on its own, which has no width and never breaks a line. Every width is measured
// token by token with the same rules, so that the layout, the caret offsets, the mouse and
// the drawing agree on where each byte is.
#include <algorithm>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiManager.h"

namespace {

enum : u32 { kNone = 0, kSpaces = 1, kTab = 2, kBreak = 3, kWord = 4, kControl = 5 };

struct Token {
  u32 kind;
  u32 length;
};

Token NextToken(const char* text, u32 length, u32 pos) {
  const u8 c = u8(text[pos]);
  u32 end = pos + 1;
  switch (c) {
    case ' ':
      while (end < length && text[end] == ' ') ++end;
      return {kSpaces, end - pos};
    case '\t':
      return {kTab, 1};
    case '\n':
      return {kBreak, 1};
    case '\r':
      return {kBreak, end < length && text[end] == '\n' ? 2u : 1u};
    default:
      break;
  }
  if (c < 32) return {kControl, 1};
  while (end < length && u8(text[end]) > 32) ++end;
  return {kWord, end - pos};
}

u32 ClampWidth(i64 x) { return u32(std::clamp<i64>(x, 0, 0x7FFFFFFF)); }

// The line holding a position: the last line whose start is at or before it.
int CompareLine(const void* element, const void* key, void* context) {
  const auto* line = static_cast<const SLGuiEditLine*>(element);
  const auto* end = static_cast<const SLGuiEditLine*>(context);
  const u32 position = *static_cast<const u32*>(key);
  if (line->start > position) return 1;
  if (line + 1 < end && line[1].start <= position) return -1;
  return 0;
}

}  // namespace

// What the cached widths were measured with, the units, and a direct-mapped table of short
// words (a word longer than an entry is measured every time).
struct CSL_GS_GuiEdit::WidthCache {
  static constexpr u32 kEntries = 256, kBytes = 23;
  bool valid;
  SL_GS_Font* font;
  SLGuiSkinColor color;
  u32 lineHeight, space, password;
  i64 gap;
  struct Entry {
    u8 length;  // 0: empty
    char bytes[kBytes];
    i32 advance;
  } entries[kEntries];
  static u32 Slot(const char* bytes, u32 count) {
    u32 hash = 2166136261u;  // FNV-1a
    for (u32 i = 0; i < count; ++i) hash = (hash ^ u8(bytes[i])) * 16777619u;
    return (hash ^ hash >> 16) % kEntries;
  }
};

void CSL_GS_GuiEdit::FreeWidthCache() {
  SLFree(m_widths);
  m_widths = nullptr;
}

i64 CSL_GS_GuiEdit::Metrics::Word(CSL_GS_GuiEdit* edit, const char* bytes, u32 count) const {
  if (password || count == 0) return i64(count) * advance;
  WidthCache* cache = edit->m_widths;
  WidthCache::Entry* entry = nullptr;
  if (cache && count <= WidthCache::kBytes) {
    entry = &cache->entries[WidthCache::Slot(bytes, count)];
    if (entry->length == count && std::memcmp(entry->bytes, bytes, count) == 0) return entry->advance;
  }
  i32 width = 0;
  if (edit->m_measure.Assign(bytes, count))
    edit->m_manager->MeasureText(font, edit->m_measure.CStr(), &width, nullptr, &color);
  const i64 result = width > 0 ? width + gap : i64(count) * 2;
  if (entry && result <= 0x7FFFFFFF) {
    entry->length = u8(count);
    std::memcpy(entry->bytes, bytes, count);
    entry->advance = i32(result);
  }
  return result;
}

i64 CSL_GS_GuiEdit::Metrics::Tab(const TSLArray<u32>& stops, i64 x) const {
  for (u32 stop : stops)
    if (stop > x) return stop;
  return x + advance;
}

u32 CSL_GS_GuiEdit::TextLength() {
  SLErrorKeeper keep;
  return m_text.GetLength();
}

void CSL_GS_GuiEdit::ReadSkin() {
  if (!m_manager) return;
  SLErrorKeeper keep;
  CSL_GS_GuiManager* m = m_manager;
  m_normal = m->GetSkinImageElement(m_skin, "EditBox", "Normal");
  m_normalOverride = m->GetSkinImageElement(m_skin, "EditBox", "NormalBackgroundOverride");
  m_disabled = m->GetSkinImageElement(m_skin, "EditBox", "Disabled");
  m_disabledOverride = m->GetSkinImageElement(m_skin, "EditBox", "DisabledBackgroundOverride");
  m_selectedArea = m->GetSkinImageElement(m_skin, "EditBox", "SelectedArea");
  m_caretElement = m->GetSkinImageElement(m_skin, "Caret_Cursor", "Normal");
  m_font = m->GetSkinFont(m_skin, "EditBox", "Font");
  m_normalColor = m->GetSkinColor(m_skin, "EditBox", "NormalColor");
  m_overColor = m->GetSkinColor(m_skin, "EditBox", "OverColor");
  m_selectedColor = m->GetSkinColor(m_skin, "EditBox", "SelectedColor");
  m_disabledColor = m->GetSkinColor(m_skin, "EditBox", "DisabledColor");
  if (!m_overColor) m_overColor = m_normalColor;
  if (!m_selectedColor) m_selectedColor = m_normalColor;
  if (!m_disabledColor) m_disabledColor = m_normalColor;
}

void CSL_GS_GuiEdit::MeasureUnits(Metrics* mt) {
  CSL_GS_GuiManager* manager = m_manager;
  mt->font = nullptr;
  mt->color = SLGuiSkinColor{};
  GetTextStyle(this, SL_GUI_STATE_NORMAL, &mt->font, &mt->color);
  mt->text = m_text.CStr();
  mt->length = TextLength();
  mt->password = (m_style & SL_GUI_ES_PASSWORD) != 0;
  mt->multi = MultiLine();
  mt->wrap = mt->multi && (m_style & SL_GUI_ES_WORDWRAP);
  if (!m_widths) m_widths = static_cast<WidthCache*>(SLAllocZero(sizeof(WidthCache)));
  WidthCache* cache = m_widths;
  if (cache && cache->valid && cache->font == mt->font && std::memcmp(&cache->color, &mt->color, sizeof mt->color) == 0) {
    m_lineHeight = cache->lineHeight, m_spaceAdvance = cache->space, m_passwordAdvance = cache->password;
    mt->gap = cache->gap;
    mt->advance = mt->password ? m_passwordAdvance : m_spaceAdvance;
    return;
  }
  const auto width = [&](const char* text) {
    i32 w = 0, h = 0;
    manager->MeasureText(mt->font, text, &w, &h, &mt->color);
    return std::pair<i32, i32>(w, h);
  };
  m_lineHeight = u32(std::max(0, width("Wj").second)) + 1;
  // A space as it steps after a glyph: a font may widen a lone space and kern every glyph
  // before one back by as much (the program's fonts do, for speech balloons).
  const i32 space = width("W W").first - width("WW").first;
  m_spaceAdvance = space > 0 ? u32(space) : 2;
  const char one[2] = {char(m_passwordChar), 0};
  const char two[3] = {char(m_passwordChar), char(m_passwordChar), 0};
  const i32 password = width(two).first - width(one).first;
  m_passwordAdvance = password > 0 ? u32(password) : 2;
  mt->gap = std::max(0, width("WW").first - 2 * width("W").first);
  mt->advance = mt->password ? m_passwordAdvance : m_spaceAdvance;
  if (cache) {
    std::memset(cache, 0, sizeof *cache);
    // Units measured without a device are not kept: a device attached later measures anew.
    cache->valid = manager->GetGfx() != nullptr;
    cache->font = mt->font;
    cache->color = mt->color;
    cache->lineHeight = m_lineHeight, cache->space = m_spaceAdvance, cache->password = m_passwordAdvance;
    cache->gap = mt->gap;
  }
}

bool CSL_GS_GuiEdit::BreakLines(const Metrics& mt, i64 avail, u32* widestOut) {
  const char* text = mt.text;
  const u32 length = mt.length;
  m_lines.SetSize(0);
  if (!m_lines.Add({0, 0})) return false;
  i64 x = 0, widest = 0;
  u32 previous = kNone;
  bool pending = false;
  const bool wrap = mt.wrap;
  const i64 advance = mt.advance;
  const auto close = [&] {
    m_lines[m_lines.GetCount() - 1].width = ClampWidth(x);
    widest = std::max(widest, x);
  };
  const auto open = [&](u32 at) {
    close();
    x = 0;
    return m_lines.Add({at, 0});
  };
  u32 pos = 0;
  while (pos < length) {
    const Token token = NextToken(text, length, pos);
    if (pending) {
      if (!open(pos)) return false;
      pending = false;
    }
    u32 kind = token.kind;
    if (kind == kBreak && !mt.multi) kind = kSpaces;  // a single line has no breaks
    switch (kind) {
      case kTab:
        if (wrap && previous == kWord && x + advance >= avail) {
          x += advance;
          pending = true;
        } else {
          if (wrap && x > 0 && x >= avail && !open(pos)) return false;
          x = mt.Tab(m_tabStops, x);
        }
        pos += 1;
        break;
      case kBreak:
        pending = true;
        pos += token.length;
        break;
      case kSpaces:
        if (wrap && previous == kWord && x + advance >= avail) {
          // One space ends the line; the rest of the run is the next token.
          x += advance;
          pending = true;
          pos += 1;
          break;
        }
        if (wrap && x > 0 && x >= avail && !open(pos)) return false;
        for (u32 i = 0; i < token.length; ++i) {
          if (wrap && x > 0 && x + advance >= avail && !open(pos + i)) return false;
          x += advance;
        }
        pos += token.length;
        break;
      case kWord: {
        if (!wrap) {
          x += mt.Word(this, text + pos, token.length);
          pos += token.length;
          break;
        }
        i64 width = mt.Word(this, text + pos, token.length);
        if (!mt.password && x > 0 && x + width > avail) {
          if (!open(pos)) return false;
        }
        // The longest prefix that fits (one byte at least): widths grow with the prefix.
        u32 fit = token.length;
        if (x + width > avail && fit > 1) {
          u32 low = 1, high = token.length - 1;
          while (low < high) {
            const u32 mid = low + (high - low + 1) / 2;
            if (x + mt.Word(this, text + pos, mid) <= avail)
              low = mid;
            else
              high = mid - 1;
          }
          fit = low;
          width = mt.Word(this, text + pos, fit);
        }
        x += width;
        pos += fit;
        if (fit < token.length) pending = true;
        break;
      }
      default:
        pos += token.length;
        break;
    }
    previous = token.kind;
  }
  if (pending && !open(length)) return false;
  close();
  if (wrap) widest = std::min(widest, avail);
  *widestOut = ClampWidth(widest);
  return true;
}

u32 CSL_GS_GuiEdit::OffsetInLine(const Metrics& mt, u32 line, u32 position) {
  if (line >= m_lines.GetCount()) return 0;
  const char* text = mt.text;
  const u32 length = mt.length;
  position = std::min(position, length);
  i64 x = 0;
  for (u32 pos = m_lines[line].start; pos < position;) {
    const Token token = NextToken(text, length, pos);
    const u32 count = std::min(token.length, position - pos);
    switch (token.kind) {
      case kTab:
        x = mt.Tab(m_tabStops, x);
        break;
      case kBreak:
        if (mt.multi) return ClampWidth(x);
        x += i64(count) * mt.advance;
        break;
      case kSpaces:
        x += i64(count) * mt.advance;
        break;
      case kWord:
        x += mt.Word(this, text + pos, count);
        break;
      default:
        break;
    }
    pos += token.length;
  }
  return ClampWidth(x);
}

u32 CSL_GS_GuiEdit::LineOf(u32 position) const {
  const u32 count = m_lines.GetCount();
  if (count == 0) return 0;
  SLErrorKeeper keep;
  const SLGuiEditLine* lines = m_lines.GetData();
  const void* found = SLBSearch(lines, &position, count, sizeof(SLGuiEditLine), CompareLine,
                                const_cast<SLGuiEditLine*>(lines + count));
  return found ? u32(static_cast<const SLGuiEditLine*>(found) - lines) : 0;
}

u32 CSL_GS_GuiEdit::LineEnd(u32 line) {
  const u32 count = m_lines.GetCount();
  if (line + 1 >= count) return TextLength();
  const char* text = m_text.CStr();
  const u32 start = m_lines[line].start;
  u32 end = m_lines[line + 1].start;
  if (end > start) --end;
  if (end > start && text[end] == '\n' && text[end - 1] == '\r') --end;
  return end;
}

i32 CSL_GS_GuiEdit::AlignOffset(u32 line) const {
  if (line >= m_lines.GetCount()) return 0;
  const i64 spare = i64(m_clientRect.width) - m_lines[line].width;
  switch (m_textFormat & 3) {
    case 1: return i32(spare);
    case 2: return i32(spare / 2);
    default: return 0;
  }
}

i32 CSL_GS_GuiEdit::SingleLineTop() const {
  if (MultiLine()) return 0;
  const i64 spare = i64(m_clientRect.height) - m_lineHeight;
  switch (m_textFormat & 12) {
    case 0: return i32(spare / 2);
    case 4: return i32(spare);
    default: return 0;
  }
}

void CSL_GS_GuiEdit::RecalcLayout() {
  if (m_layoutBusy || !m_manager || !IsRegistered()) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  m_layoutBusy = true;
  bool failed = false;
  {
    SLErrorKeeper keep;
    Metrics mt;
    MeasureUnits(&mt);
    i64 width = m_windowRect.width, height = m_windowRect.height;
    if (Bordered() && m_normal) {
      width -= i64(m_normal->left) + m_normal->right;
      height -= i64(m_normal->top) + m_normal->bottom;
    }
    const u32 policy = MultiLine() ? m_scrollPolicy : 0;
    u32 horizontal = policy & 15, vertical = (policy >> 4) & 15;
    const i64 barWidth = m_manager->GetVScrollButtonElement(m_skin);
    const i64 barHeight = m_manager->GetHScrollButtonElement(m_skin);
    i64 avail = 0;
    u32 widest = 0, visible = 1;
    for (u32 pass = 0; pass < 3; ++pass) {
      avail = width - (vertical == 2 ? barWidth : 0);
      const i64 availHeight = height - (horizontal == 2 ? barHeight : 0);
      avail = std::max({avail, i64(m_spaceAdvance), i64(m_passwordAdvance)});
      visible = u32(std::clamp<i64>(availHeight / i64(m_lineHeight), 1, 0x7FFFFFFF));
      if (!BreakLines(mt, avail, &widest)) {
        failed = true;
        break;
      }
      if (!MultiLine()) break;
      bool again = false;
      if (widest > avail && horizontal == 0) horizontal = 2, again = true;
      if (m_lines.GetCount() > visible && vertical == 0) vertical = 2, again = true;
      if (!again) break;
    }
    if (!failed) {
      m_visibleLines = visible;
      m_widest = widest;
      const u32 length = mt.length;
      m_anchor = std::min(m_anchor, length);
      m_selEnd = std::min(m_selEnd, length);
      m_caret = std::min(m_caret, length);
      const u32 low = std::min(m_anchor, m_selEnd), high = std::max(m_anchor, m_selEnd);
      m_selLowLine = LineOf(low);
      m_selLowX = OffsetInLine(mt, m_selLowLine, low);
      m_selHighLine = LineOf(high);
      m_selHighX = OffsetInLine(mt, m_selHighLine, high);
      m_caretLine = LineOf(m_caret);
      m_caretX = OffsetInLine(mt, m_caretLine, m_caret);
      const u32 lines = m_lines.GetCount();
      // A bar re-reads its skin on every new range: only a change is passed on.
      const u32 downRange = lines > visible ? lines - visible : 0;
      const u32 acrossRange = ClampWidth(i64(widest) + 4 - avail);
      if (GetVScrollRange() != downRange) SetVScrollRange(downRange);
      if (GetHScrollRange() != acrossRange) SetHScrollRange(acrossRange);
      // Showing or hiding a bar lays the window out again (and may end it).
      if (((m_style & SL_GUI_WS_VSCROLL) != 0) != (vertical == 2) && IsRegistered()) ShowVScrollBar(vertical == 2);
      if (((m_style & SL_GUI_WS_HSCROLL) != 0) != (horizontal == 2) && IsRegistered())
        ShowHScrollBar(horizontal == 2);
    }
  }
  m_layoutBusy = false;
  if (failed) {
    // Without lines the keys fall through to the base; the next change tries again.
    m_lines.SetSize(0);
    SLSetLastError(SL_OK);
  }
}

void CSL_GS_GuiEdit::EnsureCaretVisible() {
  if (!m_manager || !IsRegistered() || m_lines.GetCount() == 0) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLErrorKeeper keep;
  bool changed = false;
  const u32 first = GetVScrollPos();
  if (m_caretLine < first)
    changed |= ScrollTo(true, m_caretLine);
  else if (u64(m_caretLine) >= u64(first) + m_visibleLines)
    changed |= ScrollTo(true, m_caretLine - m_visibleLines + 1);
  const u32 position = GetHScrollPos();
  const i64 clientWidth = std::max(0, m_clientRect.width);
  if (m_caretX < position)
    changed |= ScrollTo(false, m_caretX < 9 ? 0 : m_caretX - 8);
  else if (m_caretX > position + clientWidth)
    changed |= ScrollTo(false, ClampWidth(i64(m_caretX) - clientWidth + 8));
  if (changed && IsRegistered()) RecalcLayout();
}

bool CSL_GS_GuiEdit::ScrollTo(bool vertical, u32 position) {
  const u32 before = vertical ? GetVScrollPos() : GetHScrollPos();
  if (vertical)
    SetVScrollPos(position);
  else
    SetHScrollPos(position);
  return (vertical ? GetVScrollPos() : GetHScrollPos()) != before;
}

void CSL_GS_GuiEdit::VerticalMove(u32 target) {
  if (target >= m_lines.GetCount()) return;
  Metrics mt;
  MeasureUnits(&mt);
  // The first position whose offset reaches the caret's: offsets grow along the line, and
  // no line break lies inside it.
  u32 low = m_lines[target].start, high = std::max(low, LineEnd(target));
  while (low < high) {
    const u32 mid = low + (high - low) / 2;
    if (OffsetInLine(mt, target, mid) >= m_caretX)
      high = mid;
    else
      low = mid + 1;
  }
  m_caret = low;
}

bool CSL_GS_GuiEdit::CharFromPoint(i32 x, i32 y, u32* lineOut, u32* positionOut, u32* flagsOut) {
  u32 flags = 0;
  const u32 count = m_lines.GetCount();
  if (lineOut) *lineOut = 0;
  if (positionOut) *positionOut = 0;
  if (flagsOut) *flagsOut = 0;
  if (count == 0 || !m_manager) return SLFail(SL_E_INVALID_ARG, false);
  const u32 first = std::min(GetVScrollPos(), count - 1);
  const i64 top = SingleLineTop(), lineHeight = std::max<u32>(m_lineHeight, 1);
  const u32 lastVisible = u32(std::min<u64>(u64(first) + m_visibleLines - 1, count - 1));
  u32 line;
  if (y < top) {
    flags |= SL_GUI_EDIT_ABOVE;
    line = first;
  } else {
    const i64 row = (i64(y) - top) / lineHeight;
    if (row >= i64(m_visibleLines) || u64(first) + u64(row) > lastVisible) {
      flags |= SL_GUI_EDIT_BELOW;
      line = lastVisible;
    } else {
      line = first + u32(row);
    }
  }
  Metrics mt;
  MeasureUnits(&mt);
  const u32 start = m_lines[line].start, end = LineEnd(line);
  const i64 relative = i64(x) + GetHScrollPos() - AlignOffset(line);
  u32 position;
  if (relative < 0) {
    flags |= SL_GUI_EDIT_LEFT;
    position = start;
  } else if (relative >= OffsetInLine(mt, line, end)) {
    flags |= SL_GUI_EDIT_RIGHT;
    position = end;
  } else {
    // The first byte whose span holds x: offsets grow with the position.
    u32 low = start, high = end - 1;
    while (low < high) {
      const u32 mid = low + (high - low) / 2;
      if (OffsetInLine(mt, line, mid + 1) > relative)
        high = mid;
      else
        low = mid + 1;
    }
    position = low;
    const i64 left = OffsetInLine(mt, line, position), right = OffsetInLine(mt, line, position + 1);
    if (relative * 2 >= left + right) ++position;
  }
  if (lineOut) *lineOut = line;
  if (positionOut) *positionOut = position;
  if (flagsOut) *flagsOut = flags;
  return SLSucceed(true);
}
