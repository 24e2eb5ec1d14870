#include "tests/support/GuiMenuFixture.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMenuOwnerWindow, CSL_GS_GuiTopLevelWindow)
