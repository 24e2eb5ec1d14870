#include "gui/SLGuiButton.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiTopLevelWindow, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiMenuPopup, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiButton, CSL_GS_GuiWindow)
