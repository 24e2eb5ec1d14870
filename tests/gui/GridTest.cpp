// The grid on the test skin: a 204 x 104 bordered grid of 10 rows (20 high) and 5 columns
// (50 wide), one of each fixed, whose parent logs every grid event. Both bars show, so the
// page is 3 rows by 2 columns. Cases: the selection modes as the cell-data events see them,
// ranges and toggles, clicks on fixed cells, owner draw, scrolling and visibility, border
// drags and the key edge cases.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "app/services/CMyGuiManager.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiGrid.h"
#include "tests/support/TextWidgetSkin.h"

namespace {

using Cell = std::pair<u32, u32>;

// Logs the grid events it receives; answers cell-data requests with "row, column" when asked.
class CGridHost : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CGridHost)
 public:
  static inline std::string s_log;
  static inline std::set<Cell> s_highlighted;  // cells asked for with the highlight bit
  static inline bool s_answer = false;
  bool OnEvent(CSL_GS_GuiBaseEvent* event) override {
    const auto add = [](const std::string& line) { s_log += line + ";"; };
    if (auto* e = dynamic_cast<CSL_GS_GuiGridSelectionChangedEvent*>(event)) {
      add("sel " + std::to_string(e->m_row) + "," + std::to_string(e->m_column));
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridRowHeightChangedEvent*>(event)) {
      add("rowh " + std::to_string(e->m_row) + " " + std::to_string(e->m_height));
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridColWidthChangedEvent*>(event)) {
      add("colw " + std::to_string(e->m_column) + " " + std::to_string(e->m_width));
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridCellClickedEvent*>(event)) {
      add("click " + std::to_string(e->m_row) + "," + std::to_string(e->m_column) + " " +
          std::to_string(e->m_fixedRow) + std::to_string(e->m_fixedColumn));
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridGetCellDataEvent*>(event)) {
      if (e->m_state & SL_GUI_GRID_HIGHLIGHT) s_highlighted.insert({e->m_row, e->m_column});
      if (!s_answer) return false;
      e->m_text.Format("%lu, %lu", (unsigned long)e->m_row, (unsigned long)e->m_column);
      return true;
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridDrawCellEvent*>(event)) {
      add("draw " + std::to_string(e->m_row) + "," + std::to_string(e->m_column) + " " + std::to_string(e->m_state) +
          " " + std::to_string(e->m_rect.x) + "," + std::to_string(e->m_rect.y) + "," +
          std::to_string(e->m_rect.width) + "," + std::to_string(e->m_rect.height));
    }
    return true;
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CGridHost, CSL_GS_GuiWindow)

class GridTest : public WidgetFixture {
 protected:
  void SetUp() override {
    WidgetFixture::SetUp();
    CGridHost::s_log.clear();
    CGridHost::s_highlighted.clear();
    CGridHost::s_answer = false;
    skin = LoadTextWidgetSkin(&m);
    ASSERT_NE(skin, 0u);
    host = m.CreateWindow(CGridHost::GetClassRecord(), "", 0, 0, 400, 300, kChild, 0, 2, dialog);
    ASSERT_NE(host, nullptr);
    grid = MakeGrid(0);
    ASSERT_NE(grid, nullptr);
    ASSERT_TRUE(grid->SetRowCount(10));
    ASSERT_TRUE(grid->SetColCount(5));
    for (u32 r = 0; r < 10; ++r) ASSERT_TRUE(grid->SetRowHeight(r, 20, 10, 40));
    for (u32 c = 0; c < 5; ++c) ASSERT_TRUE(grid->SetColWidth(c, 50, 20, 100));
    ASSERT_TRUE(grid->SetFixedRowCount(1));
    ASSERT_TRUE(grid->SetFixedColCount(1));
    CGridHost::s_log.clear();
  }
  CSL_GS_GuiGrid* MakeGrid(u32 style) {
    return static_cast<CSL_GS_GuiGrid*>(
        m.CreateWindow(CSL_GS_GuiGrid::GetClassRecord(), "", 10, 10, 204, 104, kChild | style, skin, 3, host));
  }
  // Client point of a cell's middle.
  SLGuiPoint Middle(u32 row, u32 column) {
    return {grid->GetCol(column)->position + grid->GetCol(column)->size / 2,
            grid->GetRow(row)->position + grid->GetRow(row)->size / 2};
  }
  void Click(u32 row, u32 column, bool shift = false) {
    const SLGuiPoint at = Middle(row, column);
    m.GetState()->keyState[SL_GUI_KEY_LSHIFT] = shift ? SL_GUI_KEYF_DOWN : 0;
    grid->OnLButtonDown(0, at.x, at.y);
    grid->OnLButtonUp(0, at.x, at.y);
    m.GetState()->keyState[SL_GUI_KEY_LSHIFT] = 0;
  }
  void Key(u32 key, bool shift = false, bool ctrl = false) {
    m.GetState()->keyState[SL_GUI_KEY_LSHIFT] = shift ? SL_GUI_KEYF_DOWN : 0;
    m.GetState()->keyState[SL_GUI_KEY_LCTRL] = ctrl ? SL_GUI_KEYF_DOWN : 0;
    grid->OnKeyDown(key);
    m.GetState()->keyState[SL_GUI_KEY_LSHIFT] = m.GetState()->keyState[SL_GUI_KEY_LCTRL] = 0;
  }
  // The highlighted cells of a frame drawn while the cursor cell does not blink.
  std::set<Cell> Highlighted() {
    Clock(300);
    CGridHost::s_highlighted.clear();
    EXPECT_TRUE(m.Draw());
    return CGridHost::s_highlighted;
  }
  u32 skin = 0;
  CSL_GS_GuiWindow* host = nullptr;
  CSL_GS_GuiGrid* grid = nullptr;
};

TEST_F(GridTest, LaysOutPagesAndBars) {
  EXPECT_NE(grid->GetStyle() & SL_GUI_WS_VSCROLL, 0u);
  EXPECT_NE(grid->GetStyle() & SL_GUI_WS_HSCROLL, 0u);
  EXPECT_EQ(grid->GetPageRows(), 3u);
  EXPECT_EQ(grid->GetPageCols(), 2u);
  EXPECT_EQ(grid->GetVScrollRange(), 6u);
  EXPECT_EQ(grid->GetHScrollRange(), 2u);
  EXPECT_EQ(grid->GetCol(1)->position, 50);
  // The internal bars scroll by rows and columns.
  EXPECT_TRUE(grid->OnVScroll(nullptr, 5, 2, 0));
  EXPECT_TRUE(grid->OnHScroll(nullptr, 5, 1, 0));
  EXPECT_EQ(grid->GetFirstVisibleRow(), 3u);
  EXPECT_EQ(grid->GetFirstVisibleCol(), 2u);
  EXPECT_EQ(grid->GetRow(3)->position, 20);
  EXPECT_EQ(grid->GetRow(1)->position, -20);  // scrolled out: backwards from the fixed row
  // A hidden row takes no room; the policy "never" keeps a bar away.
  ASSERT_TRUE(grid->SetRowVisible(4, false));
  EXPECT_EQ(grid->GetRow(5)->position, 40);
  ASSERT_TRUE(grid->SetScrollBarPolicy(0x11));
  EXPECT_EQ(grid->GetStyle() & (SL_GUI_WS_VSCROLL | SL_GUI_WS_HSCROLL), 0u);
}

TEST_F(GridTest, EmptyGridDrawsOnlyItsFrameAndIgnoresKeys) {
  CSL_GS_GuiGrid* empty = MakeGrid(SL_GUI_GS_OWNERDRAW);
  ASSERT_NE(empty, nullptr);
  m.DestroyWindow(grid);
  grid = empty;
  gfx.m_log.clear();
  ASSERT_TRUE(m.Draw());
  EXPECT_EQ(CGridHost::s_log, "");
  EXPECT_NE(gfx.m_log.find("image"), std::string::npos);  // frame and background
  for (u32 key : {u32(SL_GUI_KEY_RIGHT), u32(SL_GUI_KEY_DOWN), u32(SL_GUI_KEY_TAB), u32(SL_GUI_KEY_PAGEDOWN)}) Key(key);
  empty->OnChar(' ');
  EXPECT_EQ(CGridHost::s_log, "");
}

TEST_F(GridTest, SelectionModesHighlight) {
  struct Case {
    u32 mode;
    std::set<Cell> expected;  // after a click on (2, 3)
  } cases[] = {
      {SL_GUI_GS_SELECT_CELL, {{2, 3}}},
      {SL_GUI_GS_SELECT_ROW, {{2, 1}, {2, 2}, {2, 3}}},
      {SL_GUI_GS_SELECT_COLUMN, {{1, 3}, {2, 3}, {3, 3}, {4, 3}}},
      {SL_GUI_GS_SELECT_ROWS, {{2, 1}, {2, 2}, {2, 3}}},
      {SL_GUI_GS_SELECT_ROW_RANGES, {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}}},  // anchor row 1 to row 2
      {SL_GUI_GS_SELECT_COLUMNS, {{1, 3}, {2, 3}, {3, 3}, {4, 3}}},
      {SL_GUI_GS_SELECT_COLUMN_RANGES,
       {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {1, 3}, {2, 3}, {3, 3}, {4, 3}}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(grid->SetStyle((grid->GetStyle() & ~u32(SL_GUI_GS_SELECT_MASK)) | c.mode));
    CGridHost::s_log.clear();
    Click(2, 3);
    EXPECT_EQ(CGridHost::s_log, "click 2,3 00;sel 2,3;") << c.mode;
    // Rows 1 to 4 and columns 1 to 3 of the body are on the screen.
    std::set<Cell> seen = Highlighted();
    EXPECT_EQ(seen, c.expected) << "mode " << c.mode;
    // The cursor cell blinks outside the current-cell mode.
    Clock(100);
    CGridHost::s_highlighted.clear();
    ASSERT_TRUE(m.Draw());
    EXPECT_EQ(CGridHost::s_highlighted.count({2, 3}) == 0, c.mode != SL_GUI_GS_SELECT_CELL) << c.mode;
    Click(2, 3);  // toggle modes take the selection back before the next case
  }
}

TEST_F(GridTest, RangesFollowShiftAndSpaceToggles) {
  ASSERT_TRUE(grid->SetStyle(grid->GetStyle() | SL_GUI_GS_SELECT_ROW_RANGES));
  Key(SL_GUI_KEY_DOWN);  // (2, 1): the anchor follows
  Key(SL_GUI_KEY_DOWN, true);
  Key(SL_GUI_KEY_DOWN, true);
  const auto selected = [&] {
    std::set<u32> rows;
    for (u32 r = 0; r < 10; ++r)
      if (grid->IsRowSelected(r)) rows.insert(r);
    return rows;
  };
  EXPECT_EQ(selected(), (std::set<u32>{2, 3, 4}));
  grid->OnChar(' ');
  EXPECT_EQ(selected(), (std::set<u32>{2, 3}));
  ASSERT_TRUE(grid->OnVScroll(nullptr, 5, 4, 0));
  Click(6, 1, true);  // Shift+click toggles one row
  EXPECT_EQ(selected(), (std::set<u32>{2, 3, 6}));
  // A change of mode clears every flag and says so.
  CGridHost::s_log.clear();
  ASSERT_TRUE(grid->SetStyle((grid->GetStyle() & ~u32(SL_GUI_GS_SELECT_MASK)) | SL_GUI_GS_SELECT_COLUMNS));
  EXPECT_EQ(selected(), std::set<u32>{});
  EXPECT_EQ(CGridHost::s_log, "sel 6,1;");
}

TEST_F(GridTest, ClickOnFixedCellSendsOnlyTheClick) {
  Click(0, 2);
  Click(3, 0);
  EXPECT_EQ(CGridHost::s_log, "click 0,2 10;click 3,0 01;");
  EXPECT_EQ(grid->GetCurrentRow(), 1u);
  EXPECT_EQ(grid->GetCurrentCol(), 1u);
}

TEST_F(GridTest, OwnerDrawSendsCellRectangles) {
  ASSERT_TRUE(grid->SetStyle(grid->GetStyle() | SL_GUI_GS_OWNERDRAW));
  Clock(300);
  ASSERT_TRUE(m.Draw());
  // The client area starts at (12, 12) inside the frame.
  for (const char* expected : {"draw 0,0 0 12,12,50,20;", "draw 0,1 0 62,12,50,20;", "draw 1,0 0 12,32,50,20;",
                               "draw 1,1 32 62,32,50,20;", "draw 2,2 0 112,52,50,20;"})
    EXPECT_NE(CGridHost::s_log.find(expected), std::string::npos) << expected << "\n" << CGridHost::s_log;
  EXPECT_EQ(CGridHost::s_log.find("draw 5,"), std::string::npos);  // below the client area
}

TEST_F(GridTest, CellTextComesFromTheOwner) {
  CGridHost::s_answer = true;
  gfx.m_log.clear();
  ASSERT_TRUE(m.Draw());
  EXPECT_NE(gfx.m_log.find("text '2, 3'"), std::string::npos) << gfx.m_log;
  CGridHost::s_answer = false;
  gfx.m_log.clear();
  ASSERT_TRUE(m.Draw());
  EXPECT_EQ(gfx.m_log.find("text '"), std::string::npos);  // nobody answers: empty cells
}

TEST_F(GridTest, EnsureCellVisible) {
  for (Cell outside : {Cell{0, 2}, Cell{2, 0}, Cell{10, 1}, Cell{1, 5}})
    SL_EXPECT_FAIL(grid->EnsureCellVisible(outside.first, outside.second), SL_E_INVALID_ARG);
  ASSERT_TRUE(grid->EnsureCellVisible(9, 4));
  EXPECT_EQ(grid->GetFirstVisibleRow(), 7u);
  EXPECT_EQ(grid->GetFirstVisibleCol(), 3u);
  ASSERT_TRUE(grid->EnsureCellVisible(2, 1));
  EXPECT_EQ(grid->GetFirstVisibleRow(), 2u);
  EXPECT_EQ(grid->GetFirstVisibleCol(), 1u);
}

TEST_F(GridTest, BordersResizeWithinBounds) {
  // The last pixel of column 2 (and the first of column 3) is its border.
  const i32 border = grid->GetCol(2)->position + 49, y = Middle(1, 2).y;
  u32 row = 0, column = 0;
  EXPECT_EQ(grid->CellFromPoint(border, y, &row, &column), u32(SL_GUI_GRID_COLUMN_BORDER));
  EXPECT_EQ(column, 2u);
  EXPECT_EQ(grid->CellFromPoint(border + 1, y, &row, &column), u32(SL_GUI_GRID_COLUMN_BORDER));
  EXPECT_EQ(column, 2u);
  // Dragged far left: the minimum holds and is reported.
  grid->OnLButtonDown(0, border, y);
  grid->OnMouseMove(0, border - 100, y);
  grid->OnLButtonUp(0, border - 100, y);
  EXPECT_EQ(grid->GetCol(2)->size, 20);
  EXPECT_EQ(CGridHost::s_log, "colw 2 20;");
  // A column whose maximum is its minimum has no border to drag.
  ASSERT_TRUE(grid->SetColWidth(1, 50, 50, 50));
  EXPECT_EQ(grid->CellFromPoint(grid->GetCol(1)->position + 49, y, &row, &column), u32(SL_GUI_GRID_CELL));
  // Rows likewise.
  const i32 bottom = grid->GetRow(2)->position + 19;
  grid->OnLButtonDown(0, Middle(2, 1).x, bottom);
  grid->OnMouseMove(0, Middle(2, 1).x, bottom + 7);
  grid->OnLButtonUp(0, Middle(2, 1).x, bottom + 7);
  EXPECT_EQ(grid->GetRow(2)->size, 27);
}

TEST_F(GridTest, KeyEdgeCases) {
  Key(SL_GUI_KEY_PAGEDOWN);
  EXPECT_EQ(grid->GetCurrentRow(), 4u);
  Key(SL_GUI_KEY_PAGEDOWN);
  Key(SL_GUI_KEY_PAGEDOWN);
  EXPECT_EQ(grid->GetCurrentRow(), 9u);  // stops at the last row
  EXPECT_EQ(CGridHost::s_log, "sel 4,1;sel 7,1;sel 9,1;");
  Key(SL_GUI_KEY_END);
  CGridHost::s_log.clear();
  Key(SL_GUI_KEY_TAB);
  Key(SL_GUI_KEY_PAGEDOWN);
  EXPECT_EQ(CGridHost::s_log, "");  // Tab on the last cell, Page Down on the last row
  Key(SL_GUI_KEY_HOME);
  Key(SL_GUI_KEY_UP, false, true);
  EXPECT_EQ(grid->GetCurrentRow(), 1u);
  EXPECT_EQ(grid->GetCurrentCol(), 1u);
  Key(SL_GUI_KEY_END);
  Key(SL_GUI_KEY_TAB);  // end of a row: the next row's first scrolling column
  EXPECT_EQ(grid->GetCurrentRow(), 2u);
  EXPECT_EQ(grid->GetCurrentCol(), 1u);
}

TEST_F(GridTest, FillValuesAreCheckedOrClamped) {
  SL_EXPECT_FAIL(grid->SetRowHeight(10, 20, 10, 40), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(grid->SetColWidth(1, 20, 30, 10), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(grid->SetColWidth(1, 20, -1, 10), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(grid->SetFixedRowCount(11), SL_E_INVALID_ARG);
  ASSERT_TRUE(grid->SetRowHeight(3, 500, 10, 40));
  EXPECT_EQ(grid->GetRow(3)->size, 40);
  // Fewer rows than the current one: the current cell comes back inside.
  ASSERT_TRUE(grid->EnsureCellVisible(9, 1));
  Key(SL_GUI_KEY_DOWN, false, true);
  ASSERT_TRUE(grid->SetRowCount(4));
  EXPECT_EQ(grid->GetCurrentRow(), 3u);
  EXPECT_GE(grid->GetFirstVisibleRow(), grid->GetFixedRowCount());
}

// The program creates no grid of its own: what any grid shows comes from the application's
// manager, "row, column" placed by the row and the column.
TEST(GridInTheProgram, ApplicationManagerAnswersCellData) {
  SLTestRegisterClasses();
  CMyGuiManager manager;
  CRecordingGfx gfx;
  ASSERT_TRUE(manager.Init());
  ASSERT_TRUE(manager.SetGfx(&gfx));
  auto* grid = static_cast<CSL_GS_GuiGrid*>(manager.CreateWindow(CSL_GS_GuiGrid::GetClassRecord(), "", 0, 0, 300,
                                                                 200, SL_GUI_WS_VISIBLE, 0, 0, nullptr));
  ASSERT_NE(grid, nullptr);
  ASSERT_TRUE(grid->SetRowCount(3));
  ASSERT_TRUE(grid->SetColCount(3));
  CSL_GS_GuiGridGetCellDataEvent event(grid, 2, 1, 0, 0, 0);
  EXPECT_TRUE(grid->SendGetCellData(&event));
  EXPECT_STREQ(event.m_text.CStr(), "2, 1");
  EXPECT_EQ(event.m_textFormat, CMyGuiManager_GridCellFormat(2, 1));
  gfx.m_log.clear();
  ASSERT_TRUE(manager.Draw());
  EXPECT_NE(gfx.m_log.find("text '1, 2'"), std::string::npos) << gfx.m_log;
  CSL_GS_GuiGridSelectionChangedEvent other(grid, 0, 0);
  EXPECT_FALSE(manager.OnEvent(&other));
  manager.Shutdown();
}

}  // namespace
