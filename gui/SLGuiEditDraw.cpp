// The edit control's drawing: the skin frame, the inside of the frame behind the text (strip
// by strip where a selection is highlighted), the visible lines in runs that end at the
// selection's ends, and the blinking caret.
#include <algorithm>

#include "foundation/SLError.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiSkinFrame.h"
#include "platform/kernel32/Sync.h"

namespace {

enum : u32 {
  kTextFormat = 8 | 0x100,  // top of the line, "&" an ordinary character
  kSelectedBit = 32,
};

}  // namespace


void CSL_GS_GuiEdit::Draw(const SLGuiRect* client) {
  if (!m_manager || !client || !IsRegistered()) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLErrorKeeper keep;
  CSL_GS_GuiManager* manager = m_manager;
  const double opacity = manager->GetEffectiveOpacity(this);
  if (!manager->PushClipRect(client->x, client->y, client->width, client->height, false)) return;
  DrawBackground(*client, opacity);
  Metrics mt;
  MeasureUnits(&mt);
  const u32 count = m_lines.GetCount();
  const u32 first = GetVScrollPos();
  const i64 lineHeight = std::max<u32>(m_lineHeight, 1);
  const i64 across = GetHScrollPos();
  const i64 top = i64(client->y) + SingleLineTop();
  for (u32 line = first; line < count && (line - first) * lineHeight < client->height; ++line) {
    const i64 y = top + (line - first) * lineHeight;
    DrawLine(mt, line, i32(i64(client->x) + AlignOffset(line) - across), i32(y), *client, opacity);
    if (!IsRegistered()) break;
  }
  const bool blinkOn = GetTickCount() % SL_GUI_BLINK_PERIOD_MS < SL_GUI_BLINK_ON_MS;
  if (IsRegistered() && (m_flags & SL_GUI_EF_FOCUSED) && m_caretElement && blinkOn && m_caretLine >= first &&
      m_caretLine < count) {
    const i64 width = m_caretElement->width;
    const SLGuiRect caret{i32(i64(client->x) + AlignOffset(m_caretLine) - across + m_caretX - width / 2),
                          i32(top + (m_caretLine - first) * lineHeight), i32(width), i32(lineHeight - 1)};
    SLGuiSkinFrame::Paint(manager, m_caretElement, caret, opacity);
  }
  manager->PopClipRect();
}

void CSL_GS_GuiEdit::DrawBackground(const SLGuiRect& client, double opacity) {
  if (!Bordered()) return;
  CSL_GS_GuiManager* manager = m_manager;
  const bool disabled = (m_style & SL_GUI_WS_DISABLED) && m_disabled;
  const SLGuiSkinElement* element = disabled ? m_disabled : m_normal;
  const SLGuiSkinElement* background = disabled ? m_disabledOverride : m_normalOverride;
  if (!element) return;
  const auto paint = [&](i64 x, i64 y, i64 width, i64 height) {
    if (width <= 0 || height <= 0) return;
    if (!manager->PushClipRect(i32(x), i32(y), i32(std::min<i64>(width, 0x7FFFFFFF)),
                               i32(std::min<i64>(height, 0x7FFFFFFF)), false))
      return;
    manager->DrawSkinElementInRect(element, &client, opacity, background);
    manager->PopClipRect();
  };
  const u32 low = std::min(m_anchor, m_selEnd), high = std::max(m_anchor, m_selEnd);
  if (!m_selectedArea || low == high) {
    manager->DrawSkinElementInRect(element, &client, opacity, background);
    return;
  }
  const u32 count = m_lines.GetCount();
  const u32 first = GetVScrollPos();
  const i64 lineHeight = std::max<u32>(m_lineHeight, 1);
  const i64 across = GetHScrollPos();
  const i64 top = i64(client.y) + SingleLineTop();
  const i64 right = i64(client.x) + client.width;
  paint(client.x, client.y, client.width, top - client.y);  // above a single line placed lower
  i64 y = top;
  for (u32 line = first; line < count && y < i64(client.y) + client.height; ++line, y += lineHeight) {
    i64 from = right, to = right;
    if (line >= m_selLowLine && line <= m_selHighLine) {
      const i64 origin = i64(client.x) + AlignOffset(line) - across;
      from = origin + (line == m_selLowLine ? m_selLowX : 0);
      // A selection that goes on past the line's end shows one advance for its break.
      to = origin + (line == m_selHighLine ? m_selHighX : m_lines[line].width + m_spaceAdvance);
      from = std::clamp<i64>(from, client.x, right);
      to = std::clamp<i64>(to, from, right);
    }
    paint(client.x, y, from - client.x, lineHeight);
    if (to > from) {
      const SLGuiRect span{i32(from), i32(y), i32(to - from), i32(lineHeight)};
      SLGuiSkinFrame::Paint(manager, m_selectedArea, span, opacity);
    }
    paint(to, y, right - to, lineHeight);
  }
  paint(client.x, y, client.width, i64(client.y) + client.height - y);
}

void CSL_GS_GuiEdit::DrawLine(const Metrics& mt, u32 line, i32 x, i32 y, const SLGuiRect& client, double opacity) {
  CSL_GS_GuiManager* manager = m_manager;
  const u32 state = (m_style & SL_GUI_WS_DISABLED) ? SL_GUI_STATE_DISABLED
                    : (m_flags & SL_GUI_EF_OVER)   ? SL_GUI_STATE_HOT
                                                   : SL_GUI_STATE_NORMAL;
  SL_GS_Font* fonts[2] = {nullptr, nullptr};
  SLGuiSkinColor colors[2] = {};
  GetTextStyle(this, state, &fonts[0], &colors[0]);
  GetTextStyle(this, state | kSelectedBit, &fonts[1], &colors[1]);
  const char* text = m_text.CStr();
  const u32 length = TextLength();
  const u32 start = m_lines[line].start;
  // A line shows its bytes up to the next line's start, without its line break.
  u32 end = line + 1 < m_lines.GetCount() ? m_lines[line + 1].start : length;
  while (end > start && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
  if (!MultiLine()) end = length;
  const u32 low = std::min(m_anchor, m_selEnd), high = std::max(m_anchor, m_selEnd);
  const bool password = (m_style & SL_GUI_ES_PASSWORD) != 0;
  // Runs end at the selection's ends and at the bytes that draw no glyph (spaces, TABs and
  // control bytes), so that each piece starts where the layout put its first byte.
  u32 pos = start;
  while (pos < end) {
    const u8 c = u8(text[pos]);
    const bool drawn = password ? c >= 32 || c == '\t' : c > 32;
    u32 stop = pos + 1;
    while (stop < end && stop != low && stop != high) {
      const u8 next = u8(text[stop]);
      if ((password ? next >= 32 || next == '\t' : next > 32) != drawn) break;
      ++stop;
    }
    if (drawn) {
      const bool selected = pos >= low && pos < high;
      CSLStringAnsi piece;
      bool ok = password ? [&] {
        for (u32 i = pos; i < stop; ++i)
          if (!piece.Append(reinterpret_cast<const char*>(&m_passwordChar), 1)) return false;
        return true;
      }()
                         : piece.Assign(text + pos, stop - pos);
      if (ok) {
        const i64 offset = OffsetInLine(mt, line, pos);
        const SLGuiRect at{i32(i64(x) + offset), y, i32(std::max<i64>(0, i64(client.x) + client.width - x - offset)),
                           i32(std::max<u32>(m_lineHeight, 1))};
        if (at.width > 0) manager->DrawWidgetText(fonts[selected], piece.CStr(), &colors[selected], kTextFormat, &at, opacity);
      }
    }
    pos = stop;
  }
}
