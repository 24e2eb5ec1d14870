#include "tests/support/GuiTestWindow.h"

SL_IMPLEMENT_CLASS_CREATABLE(CTestGuiWindow, CSL_GS_GuiTopLevelWindow)
