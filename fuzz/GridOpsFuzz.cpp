// Drives a grid with the default skin on the memory device: random row and column counts,
// fixed counts, sizes with their bounds, visibility, scroll-bar policies, selection modes,
// keys with Shift and Ctrl, clicks, double clicks, border drags, scrolling and drawing.
// Checked after every step: the current cell stays inside the grid and out of the fixed
// part whenever a scrolling cell exists; every size stays within its bounds; the first
// visible row and column never fall below the fixed counts; every event names a cell of
// the grid.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzGuiSteps.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiGrid.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

CSL_GS_GuiGrid* g_grid;

// The grid's parent: checks the cells the events name and answers cell data.
class FuzzGridHost : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(FuzzGridHost)
 public:
  bool OnEvent(CSL_GS_GuiBaseEvent* event) override {
    if (!g_grid) return false;
    const u32 rows = g_grid->GetRowCount(), cols = g_grid->GetColCount();
    if (auto* e = dynamic_cast<CSL_GS_GuiGridCellClickedEvent*>(event)) {
      SLFuzzCheck(e->m_row < rows && e->m_column < cols);
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridGetCellDataEvent*>(event)) {
      SLFuzzCheck(e->m_row < rows && e->m_column < cols);
      return e->m_text.Format("%lu, %lu", (unsigned long)e->m_row, (unsigned long)e->m_column);
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridDrawCellEvent*>(event)) {
      SLFuzzCheck(e->m_row < rows && e->m_column < cols);
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridColWidthChangedEvent*>(event)) {
      SLFuzzCheck(e->m_column < cols && e->m_width == g_grid->GetCol(e->m_column)->size);
    } else if (auto* e = dynamic_cast<CSL_GS_GuiGridRowHeightChangedEvent*>(event)) {
      SLFuzzCheck(e->m_row < rows && e->m_height == g_grid->GetRow(e->m_row)->size);
    }
    return true;
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzGridHost, CSL_GS_GuiTopLevelWindow)

void CheckGrid(CSL_GS_GuiGrid* grid) {
  const u32 rows = grid->GetRowCount(), cols = grid->GetColCount();
  const u32 fixedRows = grid->GetFixedRowCount(), fixedCols = grid->GetFixedColCount();
  SLFuzzCheck(fixedRows <= rows && fixedCols <= cols);
  if (fixedRows < rows) {
    SLFuzzCheck(grid->GetCurrentRow() >= fixedRows && grid->GetCurrentRow() < rows);
    SLFuzzCheck(grid->GetFirstVisibleRow() >= fixedRows && grid->GetFirstVisibleRow() < rows);
  }
  if (fixedCols < cols) {
    SLFuzzCheck(grid->GetCurrentCol() >= fixedCols && grid->GetCurrentCol() < cols);
    SLFuzzCheck(grid->GetFirstVisibleCol() >= fixedCols && grid->GetFirstVisibleCol() < cols);
  }
  for (u32 i = 0; i < rows; ++i) {
    const SLGuiGridLine* row = grid->GetRow(i);
    SLFuzzCheck(row->minSize <= row->size && row->size <= row->maxSize);
  }
  for (u32 i = 0; i < cols; ++i) {
    const SLGuiGridLine* col = grid->GetCol(i);
    SLFuzzCheck(col->minSize <= col->size && col->size <= col->maxSize);
  }
}

i32 Signed(SLFuzzProgram& in) { return i32(in.Take() | in.Take() << 8) - 0x4000; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CSL_GS_GuiManager* shared = SLFuzzGui::BeginInput();
  if (!shared) return 0;
  SLFuzzProgram input{data, size};
  CSL_GS_GuiManager& manager = *shared;
  CSL_GS_GuiWindow* host =
      manager.CreateWindow(FuzzGridHost::GetClassRecord(), "", 0, 0, 320, 240, SL_GUI_WS_VISIBLE, 0, 0, nullptr);
  const u32 style = input.Take() | (input.Take() & 3) << 8;
  auto* grid = static_cast<CSL_GS_GuiGrid*>(
      host ? manager.CreateWindow(CSL_GS_GuiGrid::GetClassRecord(), "", 4, 4, i32(input.Take()) + 4,
                                  i32(input.Take() % 200) + 4, SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | style, 0, 1, host)
           : nullptr);
  g_grid = grid;
  if (!grid) {
    if (host) manager.DestroyWindow(host);
    return 0;
  }
  TSLObjPtr<CSL_GS_GuiWindow> hold(grid);
  manager.SetFocus(grid);
  for (int steps = 0; input.at < input.size && steps < 300 && manager.IsRegistered(grid); ++steps) {
    const unsigned op = input.Take();
    SLFuzzGui::HoldModifiers(manager, op);
    const i32 x = i32(input.Take()) - 20, y = i32(input.Take()) - 20;
    switch (op % 16) {
      case 0: grid->SetRowCount(input.Take() % 40); break;
      case 1: grid->SetColCount(input.Take() % 20); break;
      case 2: grid->SetFixedRowCount(input.Take() % 6); break;
      case 3: grid->SetFixedColCount(input.Take() % 6); break;
      case 4: grid->SetRowHeight(input.Take() % 42, Signed(input), i32(input.Take()) - 8, Signed(input)); break;
      case 5: grid->SetColWidth(input.Take() % 22, Signed(input), i32(input.Take()) - 8, Signed(input)); break;
      case 6: (op & 1 ? grid->SetRowVisible(input.Take() % 42, op & 2) : grid->SetColVisible(input.Take() % 22, op & 2)); break;
      case 7: grid->SetScrollBarPolicy(input.Take()); break;
      case 8: grid->SetStyle((grid->GetStyle() & ~0x3FFu) | input.Take() | (input.Take() & 3) << 8); break;
      case 9: grid->OnKeyDown(op & 0x20 ? SL_GUI_KEY_TAB : 257 + input.Take() % 19); break;
      case 10: grid->OnChar(op & 0x20 ? ' ' : input.Take()); break;
      case 11: grid->OnLButtonDown(1, x, y); break;
      case 12: grid->OnMouseMove(1, x, y); break;
      case 13: grid->OnLButtonUp(0, x, y); break;
      case 14: grid->OnLButtonDblClk(1, x, y); break;
      default:
        if (op & 0x20)
          grid->EnsureCellVisible(input.Take() % 42, input.Take() % 22);
        else
          (op & 1 ? grid->OnHScroll(nullptr, 5, Signed(input), 0) : grid->OnVScroll(nullptr, 5, Signed(input), 0));
        break;
    }
    if (!SLFuzzGui::EndStep(manager, grid, input)) break;
    if (op & 0x10) manager.Draw();
    CheckGrid(grid);
  }
  g_grid = nullptr;
  manager.DestroyWindow(host);
  return 0;
}
