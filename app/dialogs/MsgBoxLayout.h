// The message box's arithmetic, apart from its windows: how its text breaks into lines
// under the width limit, how large its buttons are and where everything goes. The box
// measures with its labels' font; tests and the fuzz target measure with plain tables.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLTypes.h"

// Width in pixels of text[0..length) in the labels' font.
struct MsgBoxMeasure {
  i32 (*width)(void* context, const char* text, u32 length);
  void* context;
};

// One line: a span of the text, already trimmed of white space at both ends.
struct MsgBoxLine {
  u32 start;
  u32 length;
};

// Width limit of a line: two thirds of the screen less 10, and with an icon less another
// 10 and the icon's width (523 on an 800-pixel screen without icon).
i32 MsgBox_WidthLimit(i32 screenWidth, i32 iconWidth);

// Breaks text[0..length) into lines no wider than `limit`: a line feed ends a line, a line
// that would pass the limit ends at its last space (dropped) or one character before the
// one that passed it, and spaces that start a following line are skipped. Every line
// takes at least one character, so a glyph wider than the limit stands alone. A text
// without line feed that fits stays one line. False (allocator's error) when the list
// cannot grow.
bool MsgBox_BreakLines(const char* text, u32 length, i32 limit, const MsgBoxMeasure& measure,
                       TSLArray<MsgBoxLine>* lines);

struct MsgBoxButtonSize {
  i32 width;   // B = 2 * max(widest caption, 2 * tallest line), captions measured at least 1
  i32 height;  // tallest + tallest / 2
  i32 gap;     // B / 3
};
MsgBoxButtonSize MsgBox_ButtonSize(i32 widestCaption, i32 tallestLine);

struct MsgBoxRect {
  i32 x, y, width, height;
};

struct MsgBoxLayoutInput {
  i32 textWidth;   // T: the widest line
  u32 lineCount;
  i32 lineHeight;  // L
  bool hasIcon;
  i32 iconWidth, iconHeight;
  u32 buttonCount;
  MsgBoxButtonSize button;
};

struct MsgBoxLayoutResult {
  i32 clientWidth, clientHeight;
  MsgBoxRect icon;      // meaningful with an icon
  i32 textX, labelWidth, firstLineTop;
  i32 buttonRowY, firstButtonX;
};

// The placement of icon, lines and buttons in the client area.
MsgBoxLayoutResult MsgBox_Layout(const MsgBoxLayoutInput& input);
// Rectangle of line `index` and of button `index` in a computed layout.
MsgBoxRect MsgBox_LineRect(const MsgBoxLayoutResult& layout, const MsgBoxLayoutInput& input, u32 index);
MsgBoxRect MsgBox_ButtonRect(const MsgBoxLayoutResult& layout, const MsgBoxLayoutInput& input, u32 index);
