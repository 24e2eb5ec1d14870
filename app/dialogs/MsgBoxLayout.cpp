#include "app/dialogs/MsgBoxLayout.h"

#include <algorithm>

#include "foundation/SLError.h"

namespace {

// The framework's trim set: blanks and tabs.
bool IsTrimmed(char c) { return c == ' ' || c == '\t'; }

bool AddTrimmed(const char* text, u32 start, u32 end, TSLArray<MsgBoxLine>* lines) {
  while (start < end && IsTrimmed(text[start])) ++start;
  while (end > start && IsTrimmed(text[end - 1])) --end;
  return lines->Add(MsgBoxLine{start, end - start});
}

}  // namespace

i32 MsgBox_WidthLimit(i32 screenWidth, i32 iconWidth) {
  const i64 limit = (2 * i64(screenWidth)) / 3 - 10 - (iconWidth > 0 ? 10 + i64(iconWidth) : 0);
  return i32(std::clamp<i64>(limit, INT32_MIN, INT32_MAX));
}

bool MsgBox_BreakLines(const char* text, u32 length, i32 limit, const MsgBoxMeasure& measure,
                       TSLArray<MsgBoxLine>* lines) {
  lines->SetSize(0);
  if (!text) length = 0;
  bool hasLineFeed = false;
  for (u32 i = 0; i < length && !hasLineFeed; ++i) hasLineFeed = text[i] == '\n';
  if (!hasLineFeed && measure.width(measure.context, text, length) <= limit) {
    if (!lines->Add(MsgBoxLine{0, length})) return false;
    return SLSucceed(true);
  }

  u32 start = 0;
  u32 i = 0;
  u32 lastSpace = 0;
  bool haveSpace = false;
  while (i < length) {
    const char c = text[i];
    if (c == '\n') {
      if (!AddTrimmed(text, start, i, lines)) return false;
      start = i = i + 1;
      haveSpace = false;
      continue;
    }
    const i32 width = measure.width(measure.context, text + start, i - start + 1);
    if (width < limit) {
      if (c == ' ') {
        lastSpace = i;
        haveSpace = true;
      }
      ++i;
      continue;
    }
    // The line is full at c.
    u32 end;
    u32 next;
    if (width > limit && i != start) {
      if (haveSpace) {
        end = lastSpace;
        next = lastSpace + 1;
      } else {
        end = next = i - 1;
      }
    } else if (width > limit) {
      end = next = i + 1;  // a first character wider than the limit stands alone
    } else {
      end = next = i;
    }
    // A line always takes a character: otherwise a line whose second character already
    // passes the limit would begin again where it began, for ever.
    if (next <= start) end = next = start + 1;
    if (!AddTrimmed(text, start, end, lines)) return false;
    while (next < length && text[next] == ' ') ++next;
    start = i = next;
    haveSpace = false;
  }
  if (start < length || lines->GetCount() == 0 || text[length - 1] == '\n') {
    if (!AddTrimmed(text, start, length, lines)) return false;
  }
  return SLSucceed(true);
}

MsgBoxButtonSize MsgBox_ButtonSize(i32 widestCaption, i32 tallestLine) {
  const i32 maxW = std::max(widestCaption, 1);
  const i32 maxH = std::max(tallestLine, 1);
  MsgBoxButtonSize size;
  size.width = 2 * std::max(maxW, 2 * maxH);
  size.height = maxH + maxH / 2;
  size.gap = size.width / 3;
  return size;
}

MsgBoxLayoutResult MsgBox_Layout(const MsgBoxLayoutInput& in) {
  MsgBoxLayoutResult out{};
  const i32 t = in.textWidth;
  const i32 b = in.button.width;
  const i32 g = in.button.gap;
  const i32 n = i32(in.buttonCount);
  const i32 content = in.hasIcon ? t + 20 + in.iconWidth + 10 : t + 20;
  const i32 row = g + n * (b + g);
  const i32 d = std::max(row, content);
  i32 lowerEdge;
  if (in.hasIcon) {
    const i32 iconX = (d - t - in.iconWidth - 10) / 2;
    out.icon = MsgBoxRect{iconX, 10, in.iconWidth, in.iconHeight};
    out.textX = iconX + in.iconWidth + 10;
    lowerEdge = in.iconHeight + 10;
  } else {
    out.textX = (d - t) / 2;
    lowerEdge = 10;
  }
  out.labelWidth = std::max(d - out.textX - 10, 10);
  const i32 linesHeight = i32(in.lineCount) * in.lineHeight;
  out.firstLineTop = 10;
  if (in.hasIcon && in.iconHeight > linesHeight) out.firstLineTop = (in.iconHeight - linesHeight) / 2 + 10;
  const i32 lastBottom = out.firstLineTop + linesHeight;
  out.buttonRowY = std::max(lastBottom, lowerEdge) + 10;
  out.firstButtonX = (d - n * (b + g) + g) / 2;
  out.clientWidth = d;
  out.clientHeight = out.buttonRowY + in.button.height + 10;
  return out;
}

MsgBoxRect MsgBox_LineRect(const MsgBoxLayoutResult& layout, const MsgBoxLayoutInput& input, u32 index) {
  return MsgBoxRect{layout.textX, layout.firstLineTop + i32(index) * input.lineHeight, layout.labelWidth,
                    input.lineHeight};
}

MsgBoxRect MsgBox_ButtonRect(const MsgBoxLayoutResult& layout, const MsgBoxLayoutInput& input, u32 index) {
  const MsgBoxButtonSize& b = input.button;
  return MsgBoxRect{layout.firstButtonX + i32(index) * (b.width + b.gap), layout.buttonRowY, b.width, b.height};
}
