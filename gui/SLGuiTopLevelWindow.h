// The framed, captioned top-level window that every dialog derives from. Its frame,
// caption buttons and window menu come with the skin; what exists now is the class the
// manager moves to the top on activation and that receives Alt+F4.
#pragma once

#include "gui/SLGuiWindow.h"

class CSL_GS_GuiTopLevelWindow : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiTopLevelWindow)
 public:
  CSL_GS_GuiTopLevelWindow() = default;
};
