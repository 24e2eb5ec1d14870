#include "tests/support/GuiInputWindow.h"

SL_IMPLEMENT_CLASS_CREATABLE(CInputTestWindow, CSL_GS_GuiTopLevelWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CInputTestButton, CSL_GS_GuiButton)
