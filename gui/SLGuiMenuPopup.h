// A menu popup: an owned top-level window that only the menu code shows or hides (the
// manager's popup permission), created without caption, position or parent.
#pragma once

#include "gui/SLGuiWindow.h"

class CSL_GS_GuiMenuPopup : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiMenuPopup)
 public:
  CSL_GS_GuiMenuPopup() = default;
};
