#include "gui/SLGuiButton.h"
#include "gui/SLGuiCheckRadio.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiSlider.h"
#include "gui/SLGuiTopLevelWindow.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiTopLevelWindow, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiMenuPopup, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiButton, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiLabel, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiCheckBox, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiRadioButton, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGroupBox, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS(CSL_GS_GuiSliderBase, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiHSlider, CSL_GS_GuiSliderBase)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiVSlider, CSL_GS_GuiSliderBase)
