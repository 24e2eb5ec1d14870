// The application's GUI manager. Every command that reaches the manager becomes the
// application event {2, id}; a slider that moves posts {3, slider} once until a handler
// takes it (handlers read the slider's position when they run); the grid's cell-data
// query gets the default "row, column" answer.
#pragma once

#include "gui/SLGuiManager.h"

class CMyGuiManager : public CSL_GS_GuiManager {
  SL_DECLARE_CLASS(CMyGuiManager)
 public:
  CMyGuiManager() = default;
  ~CMyGuiManager() override = default;


  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  bool OnEvent(CSL_GS_GuiBaseEvent* event) override;
  bool OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;
};

// The one GUI manager of the whole program.
CMyGuiManager& App_GuiManager();

// The grid's default cell answer: the text "row, column" and its format, the row choosing
// the vertical placement and the column the horizontal one.
u32 CMyGuiManager_GridCellFormat(u32 row, u32 column);

// Posts {3, source} for slider codes 1-5 when source is a slider and no such event for it
// is queued; scroll bars and the end-of-tracking code 6 post nothing.
void CMyGuiManager_PostSliderMove(CSL_GS_GuiWindow* source, u32 code);
