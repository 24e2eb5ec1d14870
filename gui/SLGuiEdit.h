// The edit control: a single-line or multi-line editor of 8-bit text with a caret, a
// selection, keyboard and mouse editing, word wrap, scrolling through the window's internal
// scroll bars, a password mode and an optional maximum length. It is drawn from the skin
// section "EditBox" (and the caret from "Caret_Cursor").
//
// The text is the window's own caption string; the edit keeps no copy of it. Every position
// is a byte index into that string; a line break is the pair "\r\n" (a lone CR or LF stays
// in the text, but the edit never makes one). The application filters typing by overriding
// OnChar (drop or change a character before passing it on) and OnTextChanged (edit the
// string in place after every change, typed or set by the program), each calling this
// class's version for the limits and the layout to stay right.
//
// There is no clipboard, no undo and no overwrite mode.
#pragma once

#include "foundation/SLArray.h"
#include "gui/SLGuiSkin.h"
#include "gui/SLGuiSkinFrame.h"
#include "gui/SLGuiWindow.h"

// Style bits of an edit.
enum : u32 {
  SL_GUI_ES_MULTILINE = 0x01,   // Enter inserts "\r\n", line breaks end lines, scroll bars allowed
  SL_GUI_ES_READONLY = 0x02,    // characters, Backspace and Delete change nothing
  SL_GUI_ES_PASSWORD = 0x04,    // every character is drawn as the password character
  SL_GUI_ES_WORDWRAP = 0x08,    // only with SL_GUI_ES_MULTILINE
  SL_GUI_ES_NOSELECT = 0x10,    // Shift and mouse drags move the caret without selecting
  SL_GUI_ES_BORDERLESS = 0x20,  // no skin frame, no border insets, no skin hit test
};

// State flags of an edit.
enum : u32 {
  SL_GUI_EF_FOCUSED = SL_GUI_FRAMED_FOCUSED,
  SL_GUI_EF_SELECTING = SL_GUI_FRAMED_PRESSED,  // a mouse selection holds the capture
  SL_GUI_EF_OVER = SL_GUI_FRAMED_OVER,
};

// Flags of CharFromPoint: where the point lies against the lines.
enum : u32 {
  SL_GUI_EDIT_LEFT = 0x01,   // left of the line's start
  SL_GUI_EDIT_RIGHT = 0x02,  // right of its end (the position is the line's end)
  SL_GUI_EDIT_ABOVE = 0x04,  // above the first line
  SL_GUI_EDIT_BELOW = 0x08,  // below the last visible line
};

// The auto-scroll of a mouse selection dragged outside the text.
enum : u32 {
  SL_GUI_TIMER_EDIT_SELECT = 0xFFFFFFF8,
  SL_GUI_EDIT_SELECT_MS = 150,
};

// Key codes the edit handles (besides the arrows of SLGuiWindow.h).
enum : u32 {
  SL_GUI_KEY_BACKSPACE = 8,
  SL_GUI_KEY_DELETE = 257,
  SL_GUI_KEY_HOME = 258,
  SL_GUI_KEY_END = 259,
  SL_GUI_KEY_PAGEUP = 260,
  SL_GUI_KEY_PAGEDOWN = 261,
};

// The caret shows during the first half of every blink period of the tick count; the
// grid's cursor cell blinks with it.
enum : u32 {
  SL_GUI_BLINK_PERIOD_MS = 500,
  SL_GUI_BLINK_ON_MS = 250,
};

// One laid-out line: where its first byte is and how wide it is.
struct SLGuiEditLine {
  u32 start;
  u32 width;
};

class CSL_GS_GuiEdit : public SLGuiFramedWidget {
  SL_DECLARE_CLASS(CSL_GS_GuiEdit)
 public:
  CSL_GS_GuiEdit();
  ~CSL_GS_GuiEdit() override;

  // Replaces the selection by `text` (null or empty deletes it), dropping every byte below
  // 32 other than TAB, CR and LF; the caret ends at the start of the inserted text. False
  // with the string's code when it cannot grow, the text unchanged.
  bool ReplaceSelection(const char* text);
  // Selects from `anchor` to `end` (each held to the text's length) with the caret at
  // `end`: typing then replaces the selection, a caret move or a click keeps the text.
  bool SetSelection(u32 anchor, u32 end);
  // 0: no limit. A longer text is cut at once (without OnTextChanged).
  bool SetMaxLength(u32 length);
  u32 GetMaxLength() const { return m_maxLength; }
  // Bits 0-3 the horizontal bar, 4-7 the vertical one: 0 shown when needed, 1 never, 2
  // always. Only a multi-line edit shows bars.
  bool SetScrollBarPolicy(u32 policy);
  u32 GetScrollBarPolicy() const { return m_scrollPolicy; }

  u32 GetAnchor() const { return m_anchor; }
  u32 GetSelectionEnd() const { return m_selEnd; }
  u32 GetCaret() const { return m_caret; }
  u32 GetCaretLine() const { return m_caretLine; }
  u32 GetCaretX() const { return m_caretX; }
  u32 GetLineCount() const { return m_lines.GetCount(); }
  SLGuiEditLine GetLine(u32 index) const { return index < m_lines.GetCount() ? m_lines[index] : SLGuiEditLine{0, 0}; }
  u32 GetLineHeight() const { return m_lineHeight; }
  u32 GetVisibleLines() const { return m_visibleLines; }
  u32 GetSpaceAdvance() const { return m_spaceAdvance; }
  u32 GetPasswordAdvance() const { return m_passwordAdvance; }

  // Lays the text out again (nothing while a layout runs).
  void RecalcLayout();
  // Scrolls so that the caret is inside the client area.
  void EnsureCaretVisible();
  // The line and position under a client point, with SL_GUI_EDIT_* flags. False without lines.
  bool CharFromPoint(i32 x, i32 y, u32* line, u32* position, u32* flags);

  u32 GetDialogCode() override;
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override;
  bool OnCreate() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  void OnEnable(bool enabled) override;
  void OnShow(bool visible) override;
  void OnTextChanged(CSLStringAnsi* text) override;
  void OnCancelMode() override;
  void OnCaptureLost(CSL_GS_GuiWindow* newCapture) override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void GetClientArea(SLGuiRect* rect) override;
  void OnNcLButtonDown(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcLButtonUp(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnLButtonDown(u32 keys, i32 x, i32 y) override;
  void OnLButtonUp(u32 keys, i32 x, i32 y) override;
  void OnMouseMove(u32 keys, i32 x, i32 y) override;
  void OnKeyDown(u32 key) override;
  void OnChar(u32 character) override;
  void OnTimer(u32 id) override;
  void OnGfxChanged(CSL_GS_BaseGfx* gfx) override;
  void OnSkinChanged(u32 skin) override;

 protected:
  // The line table, reachable by subclasses (and by the tests that make its growth fail).
  TSLArray<SLGuiEditLine> m_lines;

 private:
  // --- Layout (SLGuiEditLayout.cpp) ---
  // What one layout measures with: the font and colour of the normal state, the advance of
  // a space (of a password character in password mode) and the mode bits.
  struct Metrics {
    SL_GS_Font* font;
    SLGuiSkinColor color;
    bool password;
    bool wrap;
    bool multi;
    i64 advance;
    i64 gap;
    const char* text;  // the text as this layout found it
    u32 length;  // the spacing the font puts between two glyphs
    // The advance of `count` bytes of a word: its measured width and the spacing after its
    // last glyph, so that a space after it is as wide as inside a run of text.
    i64 Word(CSL_GS_GuiEdit* edit, const char* bytes, u32 count) const;
    // Where a TAB at x moves to: the first tab stop past x, else one advance on.
    i64 Tab(const TSLArray<u32>& stops, i64 x) const;
  };
  void ReadSkin();
  bool MultiLine() const { return (m_style & SL_GUI_ES_MULTILINE) != 0; }
  void MeasureUnits(Metrics* metrics);
  void FreeWidthCache();
  // One pass of line breaking at `width`; false when the line table cannot grow.
  bool BreakLines(const Metrics& metrics, i64 width, u32* widest);
  // Pixels from the start of `line` to `position` (both inside the line).
  u32 OffsetInLine(const Metrics& metrics, u32 line, u32 position);
  u32 LineOf(u32 position) const;
  // Where the caret goes for "end of line": before the line break, or before the last byte
  // of a wrapped line; the text's end on the last line.
  u32 LineEnd(u32 line);
  i32 AlignOffset(u32 line) const;
  i32 SingleLineTop() const;
  u32 TextLength();

  // --- Editing (SLGuiEdit.cpp) ---
  void MoveCaretTo(u32 position, bool shift);
  void VerticalMove(u32 targetLine);
  void DeleteAtCaret(bool before);
  void EndMouseSelection();
  // The caret and the selection end follow a client point (a mouse move or its auto-scroll).
  void TrackMouse(i32 x, i32 y);
  bool ScrollTo(bool vertical, u32 position);

  // --- Drawing (SLGuiEditDraw.cpp) ---
  void DrawBackground(const SLGuiRect& client, double opacity);
  void DrawLine(const Metrics& metrics, u32 line, i32 x, i32 y, const SLGuiRect& client, double opacity);

  SLGuiSkinElement* m_caretElement;
  SL_GS_Font* m_font;
  SLGuiSkinColor* m_normalColor;
  SLGuiSkinColor* m_overColor;
  SLGuiSkinColor* m_selectedColor;
  SLGuiSkinColor* m_disabledColor;
  u8 m_passwordChar;
  u32 m_scrollPolicy;
  u32 m_spaceAdvance;
  u32 m_passwordAdvance;
  u32 m_maxLength;
  u32 m_anchor, m_selEnd, m_caret;
  TSLArray<u32> m_tabStops;
  u32 m_selLowLine, m_selLowX, m_selHighLine, m_selHighX, m_caretLine, m_caretX;
  u32 m_lineHeight;
  u32 m_visibleLines;
  u32 m_widest;
  bool m_layoutBusy;
  // A scratch copy of the bytes being measured (the text measuring reads terminated text).
  CSLStringAnsi m_measure;
  // The units and the widths of short words measured with the current font and colour:
  // every key lays the whole text out again, and its words are nearly all the same.
  struct WidthCache;
  WidthCache* m_widths;
};
