// The rows of the building-box video list: plain buttons that draw their caption right-
// aligned in the list's colours, the chosen row behind a darkening highlight, and react to
// the mouse over their whole rectangle whatever shape the skin gives buttons.
#pragma once

#include "gui/SLGuiButton.h"

// The id of the list's first row; a row shows entry id - this + the first visible entry.
constexpr u32 APP_MINI_LIST_FIRST_ROW_ID = 100021;

class CMyMiniListItemButton : public CSL_GS_GuiButton {
  SL_DECLARE_CLASS(CMyMiniListItemButton)
 public:
  CMyMiniListItemButton() = default;
  ~CMyMiniListItemButton() override = default;

  // The list's chosen entry (0xFFFFFFFF: none) and the entry on its first row.
  void SetListRows(u32 selectedRow, u32 firstRow) {
    m_selectedRow = selectedRow;
    m_firstRow = firstRow;
  }
  u32 GetSelectedRow() const { return m_selectedRow; }
  u32 GetFirstRow() const { return m_firstRow; }

  void Draw(const SLGuiRect* clientOnScreen) override;
  u32 HitTest(i32 x, i32 y) override;

  // The caption's colour word (0xAABBGGRR) for a button state and whether the row is the
  // chosen one.
  static u32 CaptionColor(u32 state, bool selected);

 private:
  u32 m_selectedRow = 0xFFFFFFFF;
  u32 m_firstRow = 0;
};
