// The push button. Its skinned drawing and click handling come with the skin; the class
// exists now for the kind tests of the keyboard navigation and the dialogs.
#pragma once

#include "gui/SLGuiWindow.h"

class CSL_GS_GuiButton : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiButton)
 public:
  CSL_GS_GuiButton() = default;
};
