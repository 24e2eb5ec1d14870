// The grid's drawing: the frame, the background, then four clipped regions (fixed rows by
// fixed columns, fixed rows, fixed columns, the body), each cell drawn by the owner or from
// the answers of a cell-data event, and the rules between rows and columns.
#include <algorithm>

#include "foundation/SLError.h"
#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiGrid.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiSkinFrame.h"
#include "platform/kernel32/Sync.h"

u32 CSL_GS_GuiGrid::CellState(u32 row, u32 column, bool blinkOn) {
  u32 state = SL_GUI_STATE_NORMAL;
  const bool onCell = m_hoverPartOfGrid == SL_GUI_GRID_CELL || m_hoverPartOfGrid == SL_GUI_GRID_FIXED_CELL;
  const bool hovered = onCell && (m_flags & SL_GUI_GF_OVER) && m_hoverRow == row && m_hoverCol == column;
  if (m_style & SL_GUI_WS_DISABLED)
    state = SL_GUI_STATE_DISABLED;
  else if ((m_flags & SL_GUI_GF_PRESSED) && hovered &&
           (m_pressedPart == SL_GUI_GRID_CELL || m_pressedPart == SL_GUI_GRID_FIXED_CELL) && m_pressedRow == row &&
           m_pressedCol == column)
    state = SL_GUI_STATE_PRESSED;
  else if (hovered)
    state = SL_GUI_STATE_HOT;
  if (row < m_fixedRows || column < m_fixedCols) return state;
  const bool current = row == m_currentRow && column == m_currentCol;
  bool highlighted = false;
  switch (Mode()) {
    case SL_GUI_GS_SELECT_CELL: highlighted = current; break;
    case SL_GUI_GS_SELECT_ROW: highlighted = row == m_currentRow; break;
    case SL_GUI_GS_SELECT_COLUMN: highlighted = column == m_currentCol; break;
    case SL_GUI_GS_SELECT_ROWS:
    case SL_GUI_GS_SELECT_ROW_RANGES: highlighted = m_rows[row].selected != 0; break;
    case SL_GUI_GS_SELECT_COLUMNS:
    case SL_GUI_GS_SELECT_COLUMN_RANGES: highlighted = m_cols[column].selected != 0; break;
    default: break;
  }
  // Outside the current-cell mode the cursor cell blinks while the grid has the focus.
  if (Mode() != SL_GUI_GS_SELECT_CELL && current && (m_flags & SL_GUI_GF_FOCUSED) && blinkOn)
    highlighted = !highlighted;
  return highlighted ? state | SL_GUI_GRID_HIGHLIGHT : state;
}

void CSL_GS_GuiGrid::DrawCell(u32 row, u32 column, const SLGuiRect& cell, u32 state, double opacity) {
  CSL_GS_GuiManager* manager = m_manager;
  const u32 fixedRow = row < m_fixedRows, fixedCol = column < m_fixedCols;
  if (m_style & SL_GUI_GS_OWNERDRAW) {
    if (!manager->PushClipRect(cell.x, cell.y, cell.width, cell.height, false)) return;
    CSL_GS_GuiGridDrawCellEvent event(this, row, column, fixedRow, fixedCol, state, cell);
    SendDrawCell(&event);
    if (m_manager) manager->PopClipRect();
    return;
  }
  CSL_GS_GuiGridGetCellDataEvent event(this, row, column, fixedRow, fixedCol, state);
  if (!SendGetCellData(&event)) event.ResetAnswers();
  if (!IsRegistered()) return;
  const bool header = fixedRow || fixedCol;
  SLGuiRect inner = cell;
  if (header) {
    u32 index = state & 3;
    if (index == SL_GUI_STATE_PRESSED && !m_buttons[index]) index = SL_GUI_STATE_HOT;
    if (!m_buttons[index]) index = SL_GUI_STATE_NORMAL;
    const SLGuiSkinElement* element = m_buttons[index];
    if (element) {
      manager->DrawSkinElement(element, &cell, opacity);
      SLGuiRect centre = cell;
      SLGuiSkinDeflateRect(element, &centre);
      manager->DrawSkinElementInRect(element, &centre, opacity, m_buttonOverrides[index]);
    }
    const i32 left = std::max(element ? element->left : 0, 2), top = std::max(element ? element->top : 0, 2);
    const i32 right = std::max(element ? element->right : 0, 2), bottom = std::max(element ? element->bottom : 0, 2);
    inner = {cell.x + left, cell.y + top, cell.width - left - right, cell.height - top - bottom};
  } else {
    const bool disabled = (state & 3) == SL_GUI_STATE_DISABLED;
    if ((state & SL_GUI_GRID_HIGHLIGHT) && m_selectedArea) {
      SLGuiSkinFrame::Paint(manager, m_selectedArea, cell, opacity);
    } else if (const SLGuiSkinElement* background = disabled ? m_disabledOverride : m_normalOverride) {
      SLGuiSkinFrame::Paint(manager, background, cell, opacity);
    }
    inner = {cell.x + 2, cell.y + 1, cell.width - 4, cell.height - 2};
  }
  SL_GS_Font* font = nullptr;
  SLGuiSkinColor color{};
  GetTextStyle(this, header ? state | SL_GUI_GRID_STATE_HEADER : state, &font, &color);
  if (event.m_textColor != 0xFFFFFFFF) color.color = event.m_textColor;
  const char* text = event.m_text.CStr();
  SLGuiRect textBox{0, 0, 0, 0}, imageBox{0, 0, 0, 0};
  SL_GS_ImageInfo info{};
  CSL_GS_BaseGfx* gfx = manager->GetGfx();
  if (event.m_image && gfx && gfx->GetImageInfo(event.m_image, &info))
    imageBox.width = i32(std::min<u32>(info.width, 0x7FFF)), imageBox.height = i32(std::min<u32>(info.height, 0x7FFF));
  if (!manager->PushClipRect(inner.x, inner.y, std::max(inner.width, 0), std::max(inner.height, 0), false)) return;
  if (imageBox.width > 0 && event.m_imageBesideText) {
    manager->MeasureText(font, text, &textBox.width, &textBox.height, &color);
    manager->LayoutImageAndText(&inner, &textBox, event.m_textFormat, &imageBox, event.m_imageAlignment, true, 2);
  } else {
    textBox = inner;
    if (imageBox.width > 0) {
      SLGuiRect none{0, 0, 0, 0};
      manager->LayoutImageAndText(&inner, &none, 0, &imageBox, event.m_imageAlignment, false, 0);
    }
  }
  if (imageBox.width > 0) manager->DrawImageWithOpacity(event.m_image, imageBox.x, imageBox.y, opacity, nullptr);
  if (textBox.width > 0 && textBox.height > 0)
    manager->DrawWidgetText(font, text, &color, event.m_textFormat, &textBox, opacity);
  manager->PopClipRect();
}

void CSL_GS_GuiGrid::DrawRegion(const SLGuiRect& client, bool fixedRows, bool fixedCols, bool blinkOn,
                                double opacity) {
  CSL_GS_GuiManager* manager = m_manager;
  const i32 ruleW = RuleWidth(), ruleH = RuleHeight();
  i64 fixedWidth = 0, fixedHeight = 0;
  for (u32 i = 0; i < m_fixedCols; ++i) fixedWidth += m_cols[i].visible ? i64(m_cols[i].size) + ruleW : 0;
  for (u32 i = 0; i < m_fixedRows; ++i) fixedHeight += m_rows[i].visible ? i64(m_rows[i].size) + ruleH : 0;
  const i64 left = fixedCols ? 0 : fixedWidth, right = fixedCols ? fixedWidth : client.width;
  const i64 top = fixedRows ? 0 : fixedHeight, bottom = fixedRows ? fixedHeight : client.height;
  const i64 width = std::min<i64>(right, client.width) - left, height = std::min<i64>(bottom, client.height) - top;
  if (width < 1 || height < 1) return;
  if (!manager->PushClipRect(i32(client.x + left), i32(client.y + top), i32(width), i32(height), false)) return;
  const u32 rowStart = fixedRows ? 0 : m_firstRow, rowEnd = fixedRows ? m_fixedRows : m_rows.GetCount();
  const u32 colStart = fixedCols ? 0 : m_firstCol, colEnd = fixedCols ? m_fixedCols : m_cols.GetCount();
  for (u32 row = rowStart; row < rowEnd && IsRegistered(); ++row) {
    const SLGuiGridLine& r = m_rows[row];
    if (r.position >= client.height) break;
    if (!r.visible) continue;
    for (u32 column = colStart; column < colEnd && IsRegistered(); ++column) {
      const SLGuiGridLine& c = m_cols[column];
      if (c.position >= client.width) break;
      if (!c.visible) continue;
      const SLGuiRect cell{i32(i64(client.x) + c.position), i32(i64(client.y) + r.position), c.size, r.size};
      DrawCell(row, column, cell, CellState(row, column, blinkOn), opacity);
    }
  }
  if (IsRegistered()) {
    // Rules: below each row and right of each column of the region.
    if (ruleH && m_hSeparator)
      for (u32 row = rowStart; row < rowEnd && m_rows[row].position < client.height; ++row)
        if (m_rows[row].visible)
          SLGuiSkinFrame::Paint(manager, m_hSeparator,
                                {i32(client.x + left), i32(i64(client.y) + m_rows[row].position + m_rows[row].size),
                                 i32(width), ruleH},
                                opacity);
    if (ruleW && m_vSeparator)
      for (u32 column = colStart; column < colEnd && m_cols[column].position < client.width; ++column)
        if (m_cols[column].visible)
          SLGuiSkinFrame::Paint(manager, m_vSeparator,
                                {i32(i64(client.x) + m_cols[column].position + m_cols[column].size),
                                 i32(client.y + top), ruleW, i32(height)},
                                opacity);
  }
  if (m_manager) manager->PopClipRect();
}

void CSL_GS_GuiGrid::Draw(const SLGuiRect* client) {
  if (!m_manager || !client || !IsRegistered()) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLErrorKeeper keep;
  CSL_GS_GuiManager* manager = m_manager;
  const double opacity = manager->GetEffectiveOpacity(this);
  if (Bordered()) {
    const bool disabled = (m_style & SL_GUI_WS_DISABLED) && m_disabled;
    const SLGuiSkinElement* element = disabled ? m_disabled : m_normal;
    if (element) manager->DrawSkinElementInRect(element, client, opacity, disabled ? m_disabledOverride : m_normalOverride);
  }
  if (!manager->PushClipRect(client->x, client->y, client->width, client->height, false)) return;
  const bool blinkOn = GetTickCount() % SL_GUI_BLINK_PERIOD_MS < SL_GUI_BLINK_ON_MS;
  for (const auto& [fixedRows, fixedCols] : {std::pair{true, true}, {true, false}, {false, true}, {false, false}}) {
    DrawRegion(*client, fixedRows, fixedCols, blinkOn, opacity);
    if (!IsRegistered()) break;
  }
  if (m_manager) manager->PopClipRect();
}
