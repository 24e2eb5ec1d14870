// The grid: a table widget whose cells hold no data. For every visible cell it asks its
// owner for the text and presentation through an event (or lets the owner draw the cell).
// Fixed (header) rows and columns stay in place while the others scroll through the
// window's internal scroll bars, counted in rows and columns; rows and columns have their
// own sizes, resizable with the mouse between a minimum and a maximum; a current cell moves
// with the keys and clicks; rows or columns may be selected.
//
// Six event classes report to the parent (else the owner, else the manager) through
// OnEvent: the selection, a row's height and a column's width changed, a cell clicked, a
// cell's data asked for and a cell to draw.
#pragma once

#include "foundation/SLArray.h"
#include "gui/SLGuiSkin.h"
#include "gui/SLGuiSkinFrame.h"
#include "gui/SLGuiWindow.h"

// Style bits of a grid.
enum : u32 {
  SL_GUI_GS_SELECT_MASK = 0x3F,
  SL_GUI_GS_SELECT_CELL = 0,          // the current cell is highlighted
  SL_GUI_GS_SELECT_ROW = 1,           // the current row is highlighted
  SL_GUI_GS_SELECT_ROWS = 2,          // rows toggled one by one
  SL_GUI_GS_SELECT_ROW_RANGES = 4,    // several rows, in ranges
  SL_GUI_GS_SELECT_COLUMN = 8,        // the current column is highlighted
  SL_GUI_GS_SELECT_COLUMNS = 16,      // columns toggled one by one
  SL_GUI_GS_SELECT_COLUMN_RANGES = 32,
  SL_GUI_GS_HRULES = 0x40,            // rows separated by "HorizontalSeparator"
  SL_GUI_GS_VRULES = 0x80,            // columns separated by "VerticalSeparator"
  SL_GUI_GS_BORDERLESS = 0x100,
  SL_GUI_GS_OWNERDRAW = 0x200,        // the owner draws the cells (DrawCell events)
};

// State flags of a grid.
enum : u32 {
  SL_GUI_GF_FOCUSED = SL_GUI_FRAMED_FOCUSED,
  SL_GUI_GF_PRESSED = SL_GUI_FRAMED_PRESSED,
  SL_GUI_GF_OVER = SL_GUI_FRAMED_OVER,
};

// Parts under a point.
enum : u32 {
  SL_GUI_GRID_NOWHERE = 0,
  SL_GUI_GRID_CELL = 1,
  SL_GUI_GRID_FIXED_CELL = 2,
  SL_GUI_GRID_COLUMN_BORDER = 11,  // the right border of a resizable column
  SL_GUI_GRID_ROW_BORDER = 12,     // the bottom border of a resizable row
};

// Cell states of the cell events: 0 normal, 1 under the mouse, 2 pressed, 3 disabled, plus
// 32 when highlighted. GetTextStyle of a grid also takes 0x100 for a fixed (header) cell.
enum : u32 {
  SL_GUI_GRID_HIGHLIGHT = 32,
  SL_GUI_GRID_STATE_HEADER = 0x100,
};

// A row or a column.
struct SLGuiGridLine {
  i32 size;
  i32 minSize;
  i32 maxSize;  // resizable when maxSize > minSize
  u32 visible;
  u32 selected;
  i32 position;  // start in client pixels, computed by the layout
};

class CSL_GS_GuiGridSelectionChangedEvent : public CSL_GS_GuiBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GuiGridSelectionChangedEvent)
 public:
  explicit CSL_GS_GuiGridSelectionChangedEvent(CSL_GS_GuiWindow* source = nullptr, u32 row = 0, u32 column = 0)
      : CSL_GS_GuiBaseEvent(source), m_row(row), m_column(column) {}
  u32 m_row, m_column;  // the current cell
};

class CSL_GS_GuiGridRowHeightChangedEvent : public CSL_GS_GuiBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GuiGridRowHeightChangedEvent)
 public:
  explicit CSL_GS_GuiGridRowHeightChangedEvent(CSL_GS_GuiWindow* source = nullptr, u32 row = 0, i32 height = 0)
      : CSL_GS_GuiBaseEvent(source), m_row(row), m_height(height) {}
  u32 m_row;
  i32 m_height;
};

class CSL_GS_GuiGridColWidthChangedEvent : public CSL_GS_GuiBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GuiGridColWidthChangedEvent)
 public:
  explicit CSL_GS_GuiGridColWidthChangedEvent(CSL_GS_GuiWindow* source = nullptr, u32 column = 0, i32 width = 0)
      : CSL_GS_GuiBaseEvent(source), m_column(column), m_width(width) {}
  u32 m_column;
  i32 m_width;
};

// A single click, or a double click (FireCellDoubleClicked sends the same class).
class CSL_GS_GuiGridCellClickedEvent : public CSL_GS_GuiBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GuiGridCellClickedEvent)
 public:
  explicit CSL_GS_GuiGridCellClickedEvent(CSL_GS_GuiWindow* source = nullptr, u32 row = 0, u32 column = 0,
                                          u32 fixedRow = 0, u32 fixedColumn = 0)
      : CSL_GS_GuiBaseEvent(source), m_row(row), m_column(column), m_fixedRow(fixedRow), m_fixedColumn(fixedColumn) {}
  u32 m_row, m_column, m_fixedRow, m_fixedColumn;
};

// Asks for a cell's text and presentation; the answers start at their defaults.
class CSL_GS_GuiGridGetCellDataEvent : public CSL_GS_GuiBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GuiGridGetCellDataEvent)
 public:
  explicit CSL_GS_GuiGridGetCellDataEvent(CSL_GS_GuiWindow* source = nullptr, u32 row = 0, u32 column = 0,
                                          u32 fixedRow = 0, u32 fixedColumn = 0, u32 state = 0)
      : CSL_GS_GuiBaseEvent(source), m_row(row), m_column(column), m_fixedRow(fixedRow), m_fixedColumn(fixedColumn),
        m_state(state) {}
  // Puts every answer back to its default.
  void ResetAnswers() {
    m_text.Empty();
    m_textFormat = 2;
    m_textColor = 0xFFFFFFFF;
    m_image = nullptr;
    m_imageAlignment = 2;
    m_imageBesideText = 1;
  }
  u32 m_row, m_column, m_fixedRow, m_fixedColumn, m_state;
  CSLStringAnsi m_text;
  u32 m_textFormat = 2;            // a window text format: alignment and placement
  u32 m_textColor = 0xFFFFFFFF;    // 0xAABBGGRR; all ones: the skin's colour
  SL_GS_Image* m_image = nullptr;
  u32 m_imageAlignment = 2;
  u32 m_imageBesideText = 1;       // 0: the image is placed inside the cell on its own
};

// The owner draws a cell: its place on the screen, clipped to it.
class CSL_GS_GuiGridDrawCellEvent : public CSL_GS_GuiBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GuiGridDrawCellEvent)
 public:
  explicit CSL_GS_GuiGridDrawCellEvent(CSL_GS_GuiWindow* source = nullptr, u32 row = 0, u32 column = 0,
                                       u32 fixedRow = 0, u32 fixedColumn = 0, u32 state = 0, SLGuiRect rect = {})
      : CSL_GS_GuiBaseEvent(source), m_row(row), m_column(column), m_fixedRow(fixedRow), m_fixedColumn(fixedColumn),
        m_state(state), m_rect(rect) {}
  u32 m_row, m_column, m_fixedRow, m_fixedColumn, m_state;
  SLGuiRect m_rect;
};

class CSL_GS_GuiGrid : public SLGuiFramedWidget {
  SL_DECLARE_CLASS(CSL_GS_GuiGrid)
 public:
  CSL_GS_GuiGrid();
  ~CSL_GS_GuiGrid() override;

  // --- Filling. Each re-lays out; a bad row or column, or a minimum above the maximum,
  // fails with 0x80001001 and changes nothing. ---
  // New rows and columns are visible, unselected and resizable at their default sizes.
  bool SetRowCount(u32 count);
  bool SetColCount(u32 count);
  // At most the row (column) count.
  bool SetFixedRowCount(u32 count);
  bool SetFixedColCount(u32 count);
  // The size is clamped to the bounds.
  bool SetRowHeight(u32 row, i32 height, i32 minimum, i32 maximum);
  bool SetColWidth(u32 column, i32 width, i32 minimum, i32 maximum);
  bool SetRowVisible(u32 row, bool visible);
  bool SetColVisible(u32 column, bool visible);
  // Bits 0-3 the horizontal bar, 4-7 the vertical one: 0 shown when needed, 1 never, 2 always.
  bool SetScrollBarPolicy(u32 policy);

  u32 GetRowCount() const { return m_rows.GetCount(); }
  u32 GetColCount() const { return m_cols.GetCount(); }
  u32 GetFixedRowCount() const { return m_fixedRows; }
  u32 GetFixedColCount() const { return m_fixedCols; }
  const SLGuiGridLine* GetRow(u32 row) const { return row < m_rows.GetCount() ? &m_rows[row] : nullptr; }
  const SLGuiGridLine* GetCol(u32 column) const { return column < m_cols.GetCount() ? &m_cols[column] : nullptr; }
  bool IsRowSelected(u32 row) const { return row < m_rows.GetCount() && m_rows[row].selected; }
  bool IsColSelected(u32 column) const { return column < m_cols.GetCount() && m_cols[column].selected; }
  u32 GetCurrentRow() const { return m_currentRow; }
  u32 GetCurrentCol() const { return m_currentCol; }
  u32 GetFirstVisibleRow() const { return m_firstRow; }
  u32 GetFirstVisibleCol() const { return m_firstCol; }
  u32 GetPageRows() const { return m_pageRows; }
  u32 GetPageCols() const { return m_pageCols; }
  u32 GetScrollBarPolicy() const { return m_scrollPolicy; }

  // Scrolls so that a scrolling cell lies inside the client area; 0x80001001 for a cell
  // outside the scrolling area.
  bool EnsureCellVisible(u32 row, u32 column);
  void RecalcLayout();
  // The part and the cell under a client point.
  u32 CellFromPoint(i32 x, i32 y, u32* row, u32* column);

  // --- Events (virtual, so that a subclass may handle its own) ---
  virtual bool FireSelectionChanged(u32 row, u32 column);
  virtual bool FireRowHeightChanged(u32 row, i32 height);
  virtual bool FireColWidthChanged(u32 column, i32 width);
  virtual bool FireCellClicked(u32 row, u32 column, u32 fixedRow, u32 fixedColumn);
  virtual bool FireCellDoubleClicked(u32 row, u32 column, u32 fixedRow, u32 fixedColumn);
  virtual bool SendGetCellData(CSL_GS_GuiGridGetCellDataEvent* event);
  virtual bool SendDrawCell(CSL_GS_GuiGridDrawCellEvent* event);

  u32 GetDialogCode() override;
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override;
  bool OnCreate() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  void OnStyleChanging(u32* newStyle) override;
  void OnEnable(bool enabled) override;
  void OnShow(bool visible) override;
  void OnCancelMode() override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void GetClientArea(SLGuiRect* rect) override;
  void OnNcLButtonDown(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcMouseMove(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcMouseLeave() override;
  void OnLButtonDblClk(u32 keys, i32 x, i32 y) override;
  void OnLButtonDown(u32 keys, i32 x, i32 y) override;
  void OnLButtonUp(u32 keys, i32 x, i32 y) override;
  void OnMouseEnter(u32 keys, i32 x, i32 y) override;
  void OnMouseMove(u32 keys, i32 x, i32 y) override;
  void OnMouseLeave() override;
  void OnKeyDown(u32 key) override;
  void OnChar(u32 character) override;
  bool OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;
  void OnGfxChanged(CSL_GS_BaseGfx* gfx) override;
  void OnSkinChanged(u32 skin) override;

 private:
  void ReadSkin();
  u32 Mode() const { return m_style & SL_GUI_GS_SELECT_MASK; }
  bool HasScrollingCell() const {
    return m_fixedRows < m_rows.GetCount() && m_fixedCols < m_cols.GetCount();
  }
  i32 RuleWidth() const;
  i32 RuleHeight() const;
  // Positions of one axis from its first visible scrolling line.
  void PlaceLines(TSLArray<SLGuiGridLine>& lines, u32 fixed, u32 first, i32 rule);
  // How many of the last scrolling lines fit in `room`.
  static u32 TrailingFit(const TSLArray<SLGuiGridLine>& lines, u32 fixed, i64 room, i32 rule);
  // The line of an axis under a coordinate, or -1; `border` tells a resize border.
  i64 LineAt(const TSLArray<SLGuiGridLine>& lines, u32 fixed, u32 first, i32 rule, i32 at, bool* border) const;
  bool Fire(CSL_GS_GuiBaseEvent* event);
  bool SetLineCount(TSLArray<SLGuiGridLine>& lines, u32 count, bool rows);
  bool SetLineSize(TSLArray<SLGuiGridLine>& lines, u32 index, i32 size, i32 minimum, i32 maximum);
  bool SetLineVisible(TSLArray<SLGuiGridLine>& lines, u32 index, bool visible);
  // Keeps the current cell and the anchor inside the scrolling area, first lines past the fixed ones.
  void ClampCells();
  // Selects exactly the visible lines between two indices (and clears the others).
  static void SelectRange(TSLArray<SLGuiGridLine>& lines, u32 from, u32 to);
  void ClearSelection();
  // The state of a cell as the cell events carry it.
  u32 CellState(u32 row, u32 column, bool blinkOn);
  void DrawCell(u32 row, u32 column, const SLGuiRect& cell, u32 state, double opacity);
  void DrawRegion(const SLGuiRect& client, bool fixedRows, bool fixedCols, bool blinkOn, double opacity);
  // Moves the current cell by a key; false when it did not move.
  bool MoveByKey(u32 key, bool ctrl);

  SLGuiSkinElement* m_hSeparator;
  SLGuiSkinElement* m_vSeparator;
  SLGuiSkinElement* m_buttons[4];          // Normal, Over, Click, Disabled
  SLGuiSkinElement* m_buttonOverrides[4];
  SL_GS_Font* m_font;
  SL_GS_Font* m_headerFont;
  SLGuiSkinColor* m_colors[4];             // Normal, Over, Selected, Disabled
  SLGuiSkinColor* m_buttonColors[4];       // Normal, Over, Click, Disabled
  TSLArray<SLGuiGridLine> m_rows;
  TSLArray<SLGuiGridLine> m_cols;
  u32 m_scrollPolicy;
  u32 m_fixedRows, m_fixedCols;
  u32 m_firstRow, m_firstCol;
  u32 m_currentRow, m_currentCol;
  u32 m_anchorRow, m_anchorCol;
  u32 m_pageRows, m_pageCols;
  u32 m_pressedPart, m_hoverPartOfGrid;
  u32 m_pressedRow, m_pressedCol;
  u32 m_hoverRow, m_hoverCol;
  i32 m_pressSize;
  i32 m_pressX, m_pressY;
  bool m_layoutBusy;
};
