// Text layout with the device's bitmap fonts: every caption, label, button, menu item
// and edit line of the toolkit goes through DrawTextInRectW. It breaks lines at CR and LF,
// wraps words, expands tabs, shortens lines with "..." at the end or inside a path,
// aligns lines horizontally (and a single line vertically), draws "&" mnemonics with an
// underline, clips to the rectangle, and measures instead of drawing when asked.
//
// Metrics: a glyph advances by its width (right - left) plus 2 pixels of spacing, a
// kerning pair adjusts the advance between two glyphs, and the width of a run is the sum
// less the trailing 2. A character without a glyph draws nothing and breaks kerning.
//
// A line holds at most 1024 characters; a longer stretch without a break continues on
// the next line. Nothing is allocated per line; only the 0x2000 working copy is.
#pragma once

#include "foundation/SLTypes.h"
#include "gui/SLGuiWindow.h"

class CSL_GS_BaseGfx;
struct SL_GS_Font;
struct SL_GS_DrawImageOptions;

// The flags of DrawTextInRectW.
enum SLGuiTextFlags : u32 {
  SL_GUI_TEXT_LEFT = 0x0,
  SL_GUI_TEXT_CENTER = 0x1,            // each line centred in the rectangle
  SL_GUI_TEXT_RIGHT = 0x2,             // each line right-aligned
  SL_GUI_TEXT_HALIGN_MASK = 0xF,
  SL_GUI_TEXT_VCENTER = 0x10,          // with SL_GUI_TEXT_SINGLE_LINE
  SL_GUI_TEXT_BOTTOM = 0x20,           // with SL_GUI_TEXT_SINGLE_LINE
  SL_GUI_TEXT_VALIGN_MASK = 0xF0,
  SL_GUI_TEXT_MEASURE = 0x100,         // draw nothing; the rectangle receives the size (implies NO_CLIP)
  SL_GUI_TEXT_PARTIAL_LINES = 0x200,   // a line partly inside the rectangle still fits
  SL_GUI_TEXT_END_ELLIPSIS_LAST = 0x400,  // "..." on the last line that fits when more text follows
  SL_GUI_TEXT_EXPAND_TABS = 0x800,     // tabs go to tab stops; CR and LF no longer break lines
  SL_GUI_TEXT_MODIFY = 0x2000,         // the shortened text goes back into the caller's text
  SL_GUI_TEXT_NO_CLIP = 0x4000,
  SL_GUI_TEXT_NO_PREFIX = 0x8000,      // "&" is an ordinary character
  SL_GUI_TEXT_PATH_ELLIPSIS = 0x10000,    // "..." before the last path component
  SL_GUI_TEXT_SINGLE_LINE = 0x40000,   // no word wrap, vertical alignment, rest dropped after "..."
  SL_GUI_TEXT_WORD_WRAP = 0x100000,
  SL_GUI_TEXT_END_ELLIPSIS = 0x200000,    // "..." at the end of each line that does not fit
};

// Where a line was shortened, kept per line so the mnemonic follows its character:
// the ellipsis starts at `start` in the shortened line and is `length` characters long;
// `removed` characters of the line were dropped at that place and `tailLength`
// characters follow the ellipsis.
struct SLGuiEllipsisInfo {
  u32 start;
  u32 length;
  u32 removed;
  u32 tailLength;
};

inline constexpr u32 SL_GUI_TEXT_LINE_CAPACITY = 1024;

// Lays `text` out in `rect` (screen coordinates; x and y place the drawing, width and
// height bound the layout) with `font` of `gfx`, drawing every run with `options` (may
// be null). `length` SL_TEXT_TO_END reads up to the terminating zero; `tabSize` is in
// characters (the font's character width each; below one pixel counts as one).
// With SL_GUI_TEXT_MEASURE the rectangle's width and height receive the widest line and
// the height of the lines laid out. With SL_GUI_TEXT_MODIFY the text must be writable
// with room for `length` + 4 characters: it receives the text as shortened, terminated.
// Fails with 0x80001001 (no device or rectangle), the font check's 0x80001008,
// 0x80001002 (null text; with MEASURE the size is set to 0 x 0), 0x80000001 (no memory
// for the working copy), or the device's code of a failing run (the clip restored).
bool DrawTextInRectW(CSL_GS_BaseGfx* gfx, SL_GS_Font* font, SLGuiRect* rect, u32 flags,
                     const SL_GS_DrawImageOptions* options, const SLWChar* text, u32 length, u32 tabSize);

// The same for 8-bit text in the ANSI code page (Windows-1252). The text is converted into
// a per-thread scratch string; with SL_GUI_TEXT_MODIFY the shortened text is converted
// back into the caller's buffer (`length` + 4 bytes, terminated).
bool DrawTextInRectA(CSL_GS_BaseGfx* gfx, SL_GS_Font* font, SLGuiRect* rect, u32 flags,
                     const SL_GS_DrawImageOptions* options, const char* text, u32 length, u32 tabSize);
