// The grid's model and behaviour: the row and column records and the operations that fill
// them, the layout of positions and internal scroll bars, the events, the mouse (clicks,
// selection modes, border drags) and the keys.
//
// Positions are client pixels: the fixed lines start at 0, the scrolling ones continue after
// them from the first visible one, and those scrolled out before it get positions going
// backwards from the end of the fixed part. The internal bars count scrolling lines: the
// horizontal position is the first visible column minus the fixed columns.
#include "gui/SLGuiGrid.h"

#include <algorithm>

#include "foundation/SLError.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiPressFlags.h"
#include "gui/SLGuiSkinFrame.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGrid, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGridSelectionChangedEvent, CSL_GS_GuiBaseEvent)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGridRowHeightChangedEvent, CSL_GS_GuiBaseEvent)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGridColWidthChangedEvent, CSL_GS_GuiBaseEvent)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGridCellClickedEvent, CSL_GS_GuiBaseEvent)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGridGetCellDataEvent, CSL_GS_GuiBaseEvent)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGridDrawCellEvent, CSL_GS_GuiBaseEvent)

namespace {

using Hold = TSLObjPtr<CSL_GS_GuiWindow>;

// New lines: rows fit one line of the default font, columns a short word; both resizable.
constexpr SLGuiGridLine kDefaultRow = {18, 4, 0x7FFF, 1, 0, 0};
constexpr SLGuiGridLine kDefaultCol = {64, 4, 0x7FFF, 1, 0, 0};
constexpr i32 kSizeLimit = 0x7FFF;

i64 Extent(const SLGuiGridLine& line, i32 rule) { return line.visible ? i64(line.size) + rule : 0; }
bool Resizable(const SLGuiGridLine& line) { return line.visible && line.maxSize > line.minSize; }

}  // namespace

CSL_GS_GuiGrid::CSL_GS_GuiGrid()
    : SLGuiFramedWidget(SL_GUI_GS_BORDERLESS), m_hSeparator(nullptr), m_vSeparator(nullptr), m_buttons{}, m_buttonOverrides{},
      m_font(nullptr), m_headerFont(nullptr), m_colors{}, m_buttonColors{}, m_scrollPolicy(0), m_fixedRows(0),
      m_fixedCols(0), m_firstRow(0), m_firstCol(0), m_currentRow(0), m_currentCol(0), m_anchorRow(0),
      m_anchorCol(0), m_pageRows(1), m_pageCols(0), m_pressedPart(0), m_hoverPartOfGrid(0), m_pressedRow(0),
      m_pressedCol(0), m_hoverRow(0), m_hoverCol(0), m_pressSize(0), m_pressX(0), m_pressY(0),
      m_layoutBusy(false) {}

CSL_GS_GuiGrid::~CSL_GS_GuiGrid() = default;

// --- Skin ---

void CSL_GS_GuiGrid::ReadSkin() {
  if (!m_manager) return;
  SLErrorKeeper keep;
  CSL_GS_GuiManager* m = m_manager;
  const auto element = [&](const char* key) { return m->GetSkinImageElement(m_skin, "Grid", key); };
  const auto color = [&](const char* key) { return m->GetSkinColor(m_skin, "Grid", key); };
  m_normal = element("Normal");
  m_normalOverride = element("NormalBackgroundOverride");
  m_disabled = element("Disabled");
  m_disabledOverride = element("DisabledBackgroundOverride");
  m_selectedArea = element("SelectedArea");
  m_hSeparator = element("HorizontalSeparator");
  m_vSeparator = element("VerticalSeparator");
  static const char* const kButtons[4] = {"NormalButton", "OverButton", "ClickButton", "DisabledButton"};
  static const char* const kOverrides[4] = {"NormalButtonBackgroundOverride", "OverButtonBackgroundOverride",
                                            "ClickButtonBackgroundOverride", "DisabledButtonBackgroundOverride"};
  static const char* const kColors[4] = {"NormalColor", "OverColor", "SelectedColor", "DisabledColor"};
  static const char* const kButtonColors[4] = {"NormalButtonColor", "OverButtonColor", "ClickButtonColor",
                                               "DisabledButtonColor"};
  for (u32 i = 0; i < 4; ++i) {
    m_buttons[i] = element(kButtons[i]);
    m_buttonOverrides[i] = element(kOverrides[i]);
    m_colors[i] = color(kColors[i]);
    m_buttonColors[i] = color(kButtonColors[i]);
  }
  for (u32 i = 1; i < 4; ++i) {
    if (!m_colors[i]) m_colors[i] = m_colors[0];
    if (!m_buttonColors[i]) m_buttonColors[i] = m_buttonColors[0];
  }
  m_font = m->GetSkinFont(m_skin, "Grid", "Font");
  m_headerFont = m->GetSkinFont(m_skin, "Grid", "HeaderFont");
}

i32 CSL_GS_GuiGrid::RuleWidth() const {
  return (m_style & SL_GUI_GS_VRULES) && m_vSeparator ? std::max(0, m_vSeparator->width) : 0;
}
i32 CSL_GS_GuiGrid::RuleHeight() const {
  return (m_style & SL_GUI_GS_HRULES) && m_hSeparator ? std::max(0, m_hSeparator->height) : 0;
}

// --- Filling ---

bool CSL_GS_GuiGrid::SetLineCount(TSLArray<SLGuiGridLine>& lines, u32 count, bool rows) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 old = lines.GetCount();
  if (!lines.SetSize(count)) return false;
  for (u32 i = old; i < count; ++i) lines[i] = rows ? kDefaultRow : kDefaultCol;
  if (rows)
    m_fixedRows = std::min(m_fixedRows, count);
  else
    m_fixedCols = std::min(m_fixedCols, count);
  ClampCells();
  RecalcLayout();
  return SLSucceed(true);
}

bool CSL_GS_GuiGrid::SetRowCount(u32 count) { return SetLineCount(m_rows, count, true); }
bool CSL_GS_GuiGrid::SetColCount(u32 count) { return SetLineCount(m_cols, count, false); }

bool CSL_GS_GuiGrid::SetFixedRowCount(u32 count) {
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (count > m_rows.GetCount()) return SLFail(SL_E_INVALID_ARG, false);
  m_fixedRows = count;
  ClampCells();
  RecalcLayout();
  return SLSucceed(true);
}

bool CSL_GS_GuiGrid::SetFixedColCount(u32 count) {
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (count > m_cols.GetCount()) return SLFail(SL_E_INVALID_ARG, false);
  m_fixedCols = count;
  ClampCells();
  RecalcLayout();
  return SLSucceed(true);
}

bool CSL_GS_GuiGrid::SetLineSize(TSLArray<SLGuiGridLine>& lines, u32 index, i32 size, i32 minimum, i32 maximum) {
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (index >= lines.GetCount() || minimum < 0 || minimum > maximum || maximum > kSizeLimit)
    return SLFail(SL_E_INVALID_ARG, false);
  SLGuiGridLine& line = lines[index];
  line.minSize = minimum;
  line.maxSize = maximum;
  line.size = std::clamp(size, minimum, maximum);
  RecalcLayout();
  return SLSucceed(true);
}

bool CSL_GS_GuiGrid::SetRowHeight(u32 row, i32 height, i32 minimum, i32 maximum) {
  return SetLineSize(m_rows, row, height, minimum, maximum);
}
bool CSL_GS_GuiGrid::SetColWidth(u32 column, i32 width, i32 minimum, i32 maximum) {
  return SetLineSize(m_cols, column, width, minimum, maximum);
}

bool CSL_GS_GuiGrid::SetLineVisible(TSLArray<SLGuiGridLine>& lines, u32 index, bool visible) {
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (index >= lines.GetCount()) return SLFail(SL_E_INVALID_ARG, false);
  lines[index].visible = visible;
  if (!visible) lines[index].selected = 0;  // a hidden line is never selected
  RecalcLayout();
  return SLSucceed(true);
}

bool CSL_GS_GuiGrid::SetRowVisible(u32 row, bool visible) { return SetLineVisible(m_rows, row, visible); }
bool CSL_GS_GuiGrid::SetColVisible(u32 column, bool visible) { return SetLineVisible(m_cols, column, visible); }

bool CSL_GS_GuiGrid::SetScrollBarPolicy(u32 policy) {
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  m_scrollPolicy = policy & 0xFF;
  RecalcLayout();
  return SLSucceed(true);
}

void CSL_GS_GuiGrid::ClampCells() {
  const u32 rows = m_rows.GetCount(), cols = m_cols.GetCount();
  const auto clamp = [](u32 value, u32 fixed, u32 count) { return fixed < count ? std::clamp(value, fixed, count - 1) : fixed; };
  m_currentRow = clamp(m_currentRow, m_fixedRows, rows);
  m_currentCol = clamp(m_currentCol, m_fixedCols, cols);
  m_anchorRow = clamp(m_anchorRow, m_fixedRows, rows);
  m_anchorCol = clamp(m_anchorCol, m_fixedCols, cols);
  m_firstRow = clamp(m_firstRow, m_fixedRows, rows);
  m_firstCol = clamp(m_firstCol, m_fixedCols, cols);
}

void CSL_GS_GuiGrid::SelectRange(TSLArray<SLGuiGridLine>& lines, u32 from, u32 to) {
  if (from > to) std::swap(from, to);
  for (u32 i = 0; i < lines.GetCount(); ++i) lines[i].selected = i >= from && i <= to && lines[i].visible;
}

void CSL_GS_GuiGrid::ClearSelection() {
  for (SLGuiGridLine& line : m_rows) line.selected = 0;
  for (SLGuiGridLine& line : m_cols) line.selected = 0;
}

// --- Layout ---

void CSL_GS_GuiGrid::PlaceLines(TSLArray<SLGuiGridLine>& lines, u32 fixed, u32 first, i32 rule) {
  const u32 count = lines.GetCount();
  i64 at = 0;
  for (u32 i = 0; i < fixed && i < count; ++i) {
    lines[i].position = i32(std::clamp<i64>(at, INT32_MIN, INT32_MAX));
    at += Extent(lines[i], rule);
  }
  const i64 scrollStart = at;
  for (u32 i = first; i < count; ++i) {
    lines[i].position = i32(std::clamp<i64>(at, INT32_MIN, INT32_MAX));
    at += Extent(lines[i], rule);
  }
  at = scrollStart;
  for (u32 i = std::min(first, count); i-- > fixed;) {
    at -= Extent(lines[i], rule);
    lines[i].position = i32(std::clamp<i64>(at, INT32_MIN, INT32_MAX));
  }
}

u32 CSL_GS_GuiGrid::TrailingFit(const TSLArray<SLGuiGridLine>& lines, u32 fixed, i64 room, i32 rule) {
  u32 fit = 0;
  i64 used = 0;
  for (u32 i = lines.GetCount(); i-- > fixed;) {
    used += Extent(lines[i], rule);
    if (used > room) break;
    ++fit;
  }
  return fit;
}

void CSL_GS_GuiGrid::RecalcLayout() {
  if (m_layoutBusy || !m_manager || !IsRegistered()) return;
  Hold hold(this);
  m_layoutBusy = true;
  {
    SLErrorKeeper keep;
    ClampCells();
    const i32 ruleW = RuleWidth(), ruleH = RuleHeight();
    i64 width = m_windowRect.width, height = m_windowRect.height;
    if (Bordered() && m_normal) {
      width -= i64(m_normal->left) + m_normal->right;
      height -= i64(m_normal->top) + m_normal->bottom;
    }
    i64 fixedWidth = 0, fixedHeight = 0;
    for (u32 i = 0; i < m_fixedCols; ++i) fixedWidth += Extent(m_cols[i], ruleW);
    for (u32 i = 0; i < m_fixedRows; ++i) fixedHeight += Extent(m_rows[i], ruleH);
    const u32 scrollingCols = m_cols.GetCount() - m_fixedCols, scrollingRows = m_rows.GetCount() - m_fixedRows;
    u32 horizontal = m_scrollPolicy & 15, vertical = (m_scrollPolicy >> 4) & 15;
    const i64 barWidth = m_manager->GetVScrollButtonElement(m_skin);
    const i64 barHeight = m_manager->GetHScrollButtonElement(m_skin);
    u32 fitCols = 0, fitRows = 0;
    for (u32 pass = 0; pass < 2; ++pass) {
      const i64 availWidth = width - (vertical == 2 ? barWidth : 0);
      const i64 availHeight = height - (horizontal == 2 ? barHeight : 0);
      fitCols = TrailingFit(m_cols, m_fixedCols, availWidth - fixedWidth, ruleW);
      fitRows = TrailingFit(m_rows, m_fixedRows, availHeight - fixedHeight, ruleH);
      bool again = false;
      if (fitCols < scrollingCols && horizontal == 0) horizontal = 2, again = true;
      if (fitRows < scrollingRows && vertical == 0) vertical = 2, again = true;
      if (!again) break;
    }
    m_pageRows = std::max(fitRows, 1u);
    m_pageCols = fitCols;
    const u32 rangeCols = scrollingCols - fitCols, rangeRows = scrollingRows - fitRows;
    m_firstCol = std::min(m_firstCol, m_fixedCols + rangeCols);
    m_firstRow = std::min(m_firstRow, m_fixedRows + rangeRows);
    ClampCells();
    PlaceLines(m_cols, m_fixedCols, m_firstCol, ruleW);
    PlaceLines(m_rows, m_fixedRows, m_firstRow, ruleH);
    SetHScrollRange(rangeCols);
    SetHScrollPos(m_firstCol > m_fixedCols ? m_firstCol - m_fixedCols : 0);
    SetVScrollRange(rangeRows);
    SetVScrollPos(m_firstRow > m_fixedRows ? m_firstRow - m_fixedRows : 0);
    if (((m_style & SL_GUI_WS_VSCROLL) != 0) != (vertical == 2) && IsRegistered()) ShowVScrollBar(vertical == 2);
    if (((m_style & SL_GUI_WS_HSCROLL) != 0) != (horizontal == 2) && IsRegistered()) ShowHScrollBar(horizontal == 2);
  }
  m_layoutBusy = false;
}

bool CSL_GS_GuiGrid::EnsureCellVisible(u32 row, u32 column) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (row < m_fixedRows || row >= m_rows.GetCount() || column < m_fixedCols || column >= m_cols.GetCount())
    return SLFail(SL_E_INVALID_ARG, false);
  const i32 ruleW = RuleWidth(), ruleH = RuleHeight();
  const auto follow = [&](const TSLArray<SLGuiGridLine>& lines, u32 fixed, u32* first, u32 target, i32 rule,
                          i32 room) {
    if (target < *first) {
      *first = target;
      return;
    }
    // The earliest first line that still shows the target whole: walk back from the target
    // while the lines before it fit in what the fixed ones leave.
    i64 used = 0;
    for (u32 i = 0; i < fixed; ++i) used += Extent(lines[i], rule);
    used += lines[target].visible ? lines[target].size : 0;
    u32 earliest = target;
    while (earliest > fixed && used + Extent(lines[earliest - 1], rule) <= room) used += Extent(lines[--earliest], rule);
    *first = std::max(*first, earliest);
  };
  follow(m_cols, m_fixedCols, &m_firstCol, column, ruleW, m_clientRect.width);
  follow(m_rows, m_fixedRows, &m_firstRow, row, ruleH, m_clientRect.height);
  RecalcLayout();
  return IsRegistered() ? SLSucceed(true) : SLFail(SL_E_NOT_INITIALISED, false);
}

i64 CSL_GS_GuiGrid::LineAt(const TSLArray<SLGuiGridLine>& lines, u32 fixed, u32 first, i32 rule, i32 at,
                           bool* border) const {
  *border = false;
  const u32 count = lines.GetCount();
  i64 previous = -1;
  const auto test = [&](u32 i) -> i64 {
    const SLGuiGridLine& line = lines[i];
    if (!line.visible) return -2;
    const i64 start = line.position, end = start + line.size + rule;
    if (at < start || at >= end) {
      previous = i;
      return -2;
    }
    // The last pixel of a line (and its rule) is its border; so is the first pixel of the
    // next line, which counts for the previous one.
    if (at >= end - 1 - rule && Resizable(line)) *border = true;
    if (at == start && previous >= 0 && Resizable(lines[u32(previous)])) {
      *border = true;
      return previous;
    }
    return at < start + line.size ? i64(i) : (*border ? i64(i) : -1);
  };
  for (u32 i = 0; i < fixed && i < count; ++i)
    if (i64 hit = test(i); hit != -2) return hit;
  previous = -1;
  // The first scrolling line's left neighbour on the screen is the last fixed line.
  for (u32 i = fixed; i-- > 0;)
    if (lines[i].visible) {
      previous = i;
      break;
    }
  for (u32 i = first; i < count; ++i)
    if (i64 hit = test(i); hit != -2) return hit;
  return -1;
}

u32 CSL_GS_GuiGrid::CellFromPoint(i32 x, i32 y, u32* row, u32* column) {
  if (row) *row = 0;
  if (column) *column = 0;
  if (x < 0 || y < 0 || x >= m_clientRect.width || y >= m_clientRect.height) return SL_GUI_GRID_NOWHERE;
  bool colBorder = false, rowBorder = false;
  const i64 c = LineAt(m_cols, m_fixedCols, m_firstCol, RuleWidth(), x, &colBorder);
  const i64 r = LineAt(m_rows, m_fixedRows, m_firstRow, RuleHeight(), y, &rowBorder);
  if (c < 0 || r < 0) return SL_GUI_GRID_NOWHERE;
  if (row) *row = u32(r);
  if (column) *column = u32(c);
  if (colBorder) return SL_GUI_GRID_COLUMN_BORDER;
  if (rowBorder) return SL_GUI_GRID_ROW_BORDER;
  return u32(r) < m_fixedRows || u32(c) < m_fixedCols ? SL_GUI_GRID_FIXED_CELL : SL_GUI_GRID_CELL;
}

// --- Events ---

bool CSL_GS_GuiGrid::Fire(CSL_GS_GuiBaseEvent* event) {
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  CSL_GS_GuiWindow* target = nullptr;
  {
    SLErrorKeeper keep;
    target = manager->GetOwnerOrParent(this);
  }
  Hold hold(this);
  if (!target) return manager->OnEvent(event);
  Hold targetHold(target);
  return target->OnEvent(event);
}

bool CSL_GS_GuiGrid::FireSelectionChanged(u32 row, u32 column) {
  CSL_GS_GuiGridSelectionChangedEvent event(this, row, column);
  return Fire(&event);
}
bool CSL_GS_GuiGrid::FireRowHeightChanged(u32 row, i32 height) {
  CSL_GS_GuiGridRowHeightChangedEvent event(this, row, height);
  return Fire(&event);
}
bool CSL_GS_GuiGrid::FireColWidthChanged(u32 column, i32 width) {
  CSL_GS_GuiGridColWidthChangedEvent event(this, column, width);
  return Fire(&event);
}
bool CSL_GS_GuiGrid::FireCellClicked(u32 row, u32 column, u32 fixedRow, u32 fixedColumn) {
  CSL_GS_GuiGridCellClickedEvent event(this, row, column, fixedRow, fixedColumn);
  return Fire(&event);
}
bool CSL_GS_GuiGrid::FireCellDoubleClicked(u32 row, u32 column, u32 fixedRow, u32 fixedColumn) {
  CSL_GS_GuiGridCellClickedEvent event(this, row, column, fixedRow, fixedColumn);
  return Fire(&event);
}
bool CSL_GS_GuiGrid::SendGetCellData(CSL_GS_GuiGridGetCellDataEvent* event) { return Fire(event); }
bool CSL_GS_GuiGrid::SendDrawCell(CSL_GS_GuiGridDrawCellEvent* event) { return Fire(event); }

// --- Mouse ---

void CSL_GS_GuiGrid::OnLButtonDown(u32 keys, i32 x, i32 y) {
  Hold hold(this);
  if (!SLGuiPress::TakeCaptureAndFocus(this)) return;
  CSL_GS_GuiManager* manager = m_manager;
  m_flags |= SL_GUI_GF_PRESSED;
  u32 row = 0, column = 0;
  const u32 part = CellFromPoint(x, y, &row, &column);
  m_pressedPart = m_hoverPartOfGrid = part;
  m_pressedRow = m_hoverRow = row;
  m_pressedCol = m_hoverCol = column;
  m_pressX = x, m_pressY = y;
  if (part == SL_GUI_GRID_CELL || part == SL_GUI_GRID_FIXED_CELL) {
    const bool fixedRow = row < m_fixedRows, fixedCol = column < m_fixedCols;
    const bool scrolling = !fixedRow && !fixedCol;
    if (scrolling) {
      m_currentRow = row, m_currentCol = column;
      const bool shift = ((manager->GetKeyState(SL_GUI_KEY_LSHIFT) | manager->GetKeyState(SL_GUI_KEY_RSHIFT)) & SL_GUI_KEYF_DOWN) != 0;
      switch (Mode()) {
        case SL_GUI_GS_SELECT_ROWS: m_rows[row].selected ^= 1; break;
        case SL_GUI_GS_SELECT_COLUMNS: m_cols[column].selected ^= 1; break;
        case SL_GUI_GS_SELECT_ROW_RANGES:
          if (shift)
            m_rows[row].selected ^= 1;
          else
            SelectRange(m_rows, m_anchorRow, m_currentRow);
          break;
        case SL_GUI_GS_SELECT_COLUMN_RANGES:
          if (shift)
            m_cols[column].selected ^= 1;
          else
            SelectRange(m_cols, m_anchorCol, m_currentCol);
          break;
        default: break;
      }
    }
    FireCellClicked(row, column, fixedRow, fixedCol);
    if (!IsRegistered()) return;
    if (scrolling) FireSelectionChanged(m_currentRow, m_currentCol);
    if (!IsRegistered()) return;
  } else if (part == SL_GUI_GRID_COLUMN_BORDER) {
    m_pressSize = m_cols[column].size;
  } else if (part == SL_GUI_GRID_ROW_BORDER) {
    m_pressSize = m_rows[row].size;
  }
  CSL_GS_GuiWindow::OnLButtonDown(keys, x, y);
}

void CSL_GS_GuiGrid::OnLButtonUp(u32 keys, i32 x, i32 y) {
  Hold hold(this);
  const bool pressed = (m_flags & SL_GUI_GF_PRESSED) != 0;
  m_flags &= ~u32(SL_GUI_GF_PRESSED);
  m_pressedPart = SL_GUI_GRID_NOWHERE;
  if (pressed && m_manager && m_manager->GetCaptureWindow() == this) m_manager->ReleaseCapture();
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonUp(keys, x, y);
}

void CSL_GS_GuiGrid::OnLButtonDblClk(u32 keys, i32 x, i32 y) {
  Hold hold(this);
  u32 row = 0, column = 0;
  const u32 part = CellFromPoint(x, y, &row, &column);
  if (part == SL_GUI_GRID_CELL || part == SL_GUI_GRID_FIXED_CELL) {
    FireCellDoubleClicked(row, column, row < m_fixedRows, column < m_fixedCols);
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnLButtonDblClk(keys, x, y);
}

void CSL_GS_GuiGrid::OnMouseMove(u32 keys, i32 x, i32 y) {
  Hold hold(this);
  m_hoverPartOfGrid = CellFromPoint(x, y, &m_hoverRow, &m_hoverCol);
  if ((m_flags & SL_GUI_GF_PRESSED) &&
      (m_pressedPart == SL_GUI_GRID_COLUMN_BORDER || m_pressedPart == SL_GUI_GRID_ROW_BORDER)) {
    const bool column = m_pressedPart == SL_GUI_GRID_COLUMN_BORDER;
    TSLArray<SLGuiGridLine>& lines = column ? m_cols : m_rows;
    const u32 index = column ? m_pressedCol : m_pressedRow;
    if (index < lines.GetCount()) {
      SLGuiGridLine& line = lines[index];
      const i64 moved = column ? i64(x) - m_pressX : i64(y) - m_pressY;
      const i32 size = i32(std::clamp<i64>(i64(m_pressSize) + moved, line.minSize, line.maxSize));
      if (size != line.size) {
        line.size = size;
        RecalcLayout();
        if (column)
          FireColWidthChanged(index, size);
        else
          FireRowHeightChanged(index, size);
        if (!IsRegistered()) return;
      } else if (i64(m_pressSize) + moved != size) {
        // Held against a bound: the owner still hears the size it keeps.
        if (column)
          FireColWidthChanged(index, size);
        else
          FireRowHeightChanged(index, size);
        if (!IsRegistered()) return;
      }
    }
  }
  CSL_GS_GuiWindow::OnMouseMove(keys, x, y);
}

void CSL_GS_GuiGrid::OnMouseEnter(u32 keys, i32 x, i32 y) {
  m_hoverPartOfGrid = CellFromPoint(x, y, &m_hoverRow, &m_hoverCol);
  SLGuiFramedWidget::OnMouseEnter(keys, x, y);
}

void CSL_GS_GuiGrid::OnMouseLeave() {
  m_hoverPartOfGrid = SL_GUI_GRID_NOWHERE;
  SLGuiFramedWidget::OnMouseLeave();
}

void CSL_GS_GuiGrid::OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) {
  m_hoverPartOfGrid = SL_GUI_GRID_NOWHERE;
  SLGuiFramedWidget::OnNcMouseEnter(hit, keys, x, y);
}

void CSL_GS_GuiGrid::OnNcMouseMove(u32 hit, u32 keys, i32 x, i32 y) {
  m_hoverPartOfGrid = SL_GUI_GRID_NOWHERE;
  CSL_GS_GuiWindow::OnNcMouseMove(hit, keys, x, y);
}

void CSL_GS_GuiGrid::OnNcMouseLeave() {
  m_hoverPartOfGrid = SL_GUI_GRID_NOWHERE;
  SLGuiFramedWidget::OnNcMouseLeave();
}

void CSL_GS_GuiGrid::OnNcLButtonDown(u32 hit, u32 keys, i32 x, i32 y) {
  Hold hold(this);
  if (m_manager && IsRegistered()) {
    m_manager->SetFocus(this);
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnNcLButtonDown(hit, keys, x, y);
}

// --- Keys ---

bool CSL_GS_GuiGrid::MoveByKey(u32 key, bool ctrl) {
  const u32 cols = m_cols.GetCount();
  // The next visible line from `from` in `step` direction, or `from` when there is none.
  const auto seek = [](const TSLArray<SLGuiGridLine>& lines, u32 fixed, u32 from, i32 step, u32 count) {
    u32 found = from;
    for (i64 i = i64(from) + step; i >= i64(fixed) && i < i64(lines.GetCount()) && count; i += step)
      if (lines[u32(i)].visible) {
        found = u32(i);
        --count;
      }
    return found;
  };
  const u32 all = 0xFFFFFFFF;
  u32 row = m_currentRow, col = m_currentCol;
  switch (key) {
    case SL_GUI_KEY_RIGHT:
    case SL_GUI_KEY_END: col = seek(m_cols, m_fixedCols, col, 1, key == SL_GUI_KEY_END || ctrl ? all : 1); break;
    case SL_GUI_KEY_LEFT:
    case SL_GUI_KEY_HOME: col = seek(m_cols, m_fixedCols, col, -1, key == SL_GUI_KEY_HOME || ctrl ? all : 1); break;
    case SL_GUI_KEY_DOWN: row = seek(m_rows, m_fixedRows, row, 1, ctrl ? all : 1); break;
    case SL_GUI_KEY_PAGEDOWN: row = seek(m_rows, m_fixedRows, row, 1, ctrl ? all : m_pageRows); break;
    case SL_GUI_KEY_UP: row = seek(m_rows, m_fixedRows, row, -1, ctrl ? all : 1); break;
    case SL_GUI_KEY_PAGEUP: row = seek(m_rows, m_fixedRows, row, -1, ctrl ? all : m_pageRows); break;
    case SL_GUI_KEY_TAB: {
      const u32 next = seek(m_cols, m_fixedCols, col, 1, 1);
      if (next != col) {
        col = next;
      } else {
        const u32 nextRow = seek(m_rows, m_fixedRows, row, 1, 1);
        if (nextRow == row) break;
        // The first scrolling column: the visible one at or after the fixed columns.
        u32 first = m_fixedCols;
        while (first < cols && !m_cols[first].visible) ++first;
        if (first >= cols) break;
        row = nextRow, col = first;
      }
      break;
    }
    default: return false;
  }
  if (row == m_currentRow && col == m_currentCol) return false;
  m_currentRow = row, m_currentCol = col;
  return true;
}

void CSL_GS_GuiGrid::OnKeyDown(u32 key) {
  Hold hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !IsRegistered() || (m_flags & SL_GUI_GF_PRESSED)) return;
  const bool handled = key == SL_GUI_KEY_TAB || (key >= SL_GUI_KEY_HOME && key <= SL_GUI_KEY_PAGEDOWN) ||
                       (key >= SL_GUI_KEY_LEFT && key <= SL_GUI_KEY_DOWN);
  if (!handled) {
    CSL_GS_GuiWindow::OnKeyDown(key);
    return;
  }
  // An empty grid, or a current cell outside the scrolling area, has nowhere to move.
  if (!HasScrollingCell()) return;
  const auto held = [&](u32 a, u32 b) { return ((manager->GetKeyState(a) | manager->GetKeyState(b)) & SL_GUI_KEYF_DOWN) != 0; };
  const bool ctrl = held(SL_GUI_KEY_LCTRL, SL_GUI_KEY_RCTRL), shift = held(SL_GUI_KEY_LSHIFT, SL_GUI_KEY_RSHIFT);
  if (!MoveByKey(key, ctrl)) return;
  EnsureCellVisible(m_currentRow, m_currentCol);
  if (!IsRegistered()) return;
  const u32 mode = Mode();
  if (mode == SL_GUI_GS_SELECT_ROW_RANGES || mode == SL_GUI_GS_SELECT_COLUMN_RANGES) {
    if (!shift) m_anchorRow = m_currentRow, m_anchorCol = m_currentCol;
    if (mode == SL_GUI_GS_SELECT_ROW_RANGES)
      SelectRange(m_rows, m_anchorRow, m_currentRow);
    else
      SelectRange(m_cols, m_anchorCol, m_currentCol);
  }
  if (mode == SL_GUI_GS_SELECT_CELL || mode == SL_GUI_GS_SELECT_ROW || mode == SL_GUI_GS_SELECT_ROW_RANGES ||
      mode == SL_GUI_GS_SELECT_COLUMN || mode == SL_GUI_GS_SELECT_COLUMN_RANGES)
    FireSelectionChanged(m_currentRow, m_currentCol);
}

void CSL_GS_GuiGrid::OnChar(u32 character) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return;
  if (character != ' ' || !HasScrollingCell()) {
    CSL_GS_GuiWindow::OnChar(character);
    return;
  }
  const u32 mode = Mode();
  if (mode == SL_GUI_GS_SELECT_ROWS || mode == SL_GUI_GS_SELECT_ROW_RANGES) {
    if (m_rows[m_currentRow].visible) m_rows[m_currentRow].selected ^= 1;
  } else if (mode == SL_GUI_GS_SELECT_COLUMNS || mode == SL_GUI_GS_SELECT_COLUMN_RANGES) {
    if (m_cols[m_currentCol].visible) m_cols[m_currentCol].selected ^= 1;
  } else {
    return;
  }
  FireSelectionChanged(m_currentRow, m_currentCol);
}

bool CSL_GS_GuiGrid::OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  if (source) return CSL_GS_GuiWindow::OnHScroll(source, code, newPosition, oldPosition);
  m_firstCol = u32(std::min<u64>(u64(m_fixedCols) + u32(std::max(newPosition, 0)), 0xFFFFFFFFu));
  RecalcLayout();
  return true;
}

bool CSL_GS_GuiGrid::OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  if (source) return CSL_GS_GuiWindow::OnVScroll(source, code, newPosition, oldPosition);
  m_firstRow = u32(std::min<u64>(u64(m_fixedRows) + u32(std::max(newPosition, 0)), 0xFFFFFFFFu));
  RecalcLayout();
  return true;
}

// --- Window slots ---

u32 CSL_GS_GuiGrid::GetDialogCode() { return SL_GUI_DLGC_WANTALLKEYS; }

bool CSL_GS_GuiGrid::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  const bool header = (state & SL_GUI_GRID_STATE_HEADER) != 0, highlighted = (state & SL_GUI_GRID_HIGHLIGHT) != 0;
  if (font) *font = header ? m_headerFont : m_font;
  const u32 base = state & 3;
  const SLGuiSkinColor* chosen;
  if (header)
    chosen = m_buttonColors[base];
  else if (base == SL_GUI_STATE_DISABLED)
    chosen = m_colors[3];
  else if (highlighted)
    chosen = m_colors[2];
  else
    chosen = m_colors[base == SL_GUI_STATE_NORMAL ? 0 : 1];
  SLGuiPress::CopyColor(chosen, color);
  return SLSucceed(true);
}

bool CSL_GS_GuiGrid::OnCreate() {
  if (!CSL_GS_GuiWindow::OnCreate()) return false;
  ReadSkin();
  RecalcLayout();
  return true;
}

void CSL_GS_GuiGrid::OnPositionChanged(SLGuiWindowPos* pos) {
  Hold hold(this);
  CSL_GS_GuiWindow::OnPositionChanged(pos);
  if (!IsRegistered()) return;
  ReadSkin();
  RecalcLayout();
}

void CSL_GS_GuiGrid::OnStyleChanging(u32* newStyle) {
  Hold hold(this);
  CSL_GS_GuiWindow::OnStyleChanging(newStyle);
  if (!IsRegistered() || !newStyle) return;
  if ((*newStyle ^ m_style) & SL_GUI_GS_SELECT_MASK) {
    ClearSelection();
    FireSelectionChanged(m_currentRow, m_currentCol);
    if (!IsRegistered()) return;
  }
  ReadSkin();
}

void CSL_GS_GuiGrid::OnEnable(bool enabled) {
  if (!enabled) m_flags = 0;
  CSL_GS_GuiWindow::OnEnable(enabled);
}

void CSL_GS_GuiGrid::OnShow(bool visible) {
  if (!visible) m_flags = 0;
  CSL_GS_GuiWindow::OnShow(visible);
}

void CSL_GS_GuiGrid::OnCancelMode() {
  m_flags &= ~u32(SL_GUI_GF_PRESSED);
  m_pressedPart = SL_GUI_GRID_NOWHERE;
  CSL_GS_GuiWindow::OnCancelMode();
}

void CSL_GS_GuiGrid::GetClientArea(SLGuiRect* rect) {
  if (!rect) return;
  ReadSkin();
  if (Bordered() && m_normal) SLGuiSkinDeflateRect(m_normal, rect);
  CSL_GS_GuiWindow::GetClientArea(rect);
}

void CSL_GS_GuiGrid::OnGfxChanged(CSL_GS_BaseGfx* gfx) {
  Hold hold(this);
  CSL_GS_GuiWindow::OnGfxChanged(gfx);
  if (IsRegistered()) SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH_LAYOUT, std::uintptr_t(0));
}

void CSL_GS_GuiGrid::OnSkinChanged(u32 skin) {
  Hold hold(this);
  CSL_GS_GuiWindow::OnSkinChanged(skin);
  if (IsRegistered()) SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH_LAYOUT, std::uintptr_t(0));
}
