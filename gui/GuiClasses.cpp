#include "gui/GuiClasses.h"

#include "foundation/SLObject.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiCheckRadio.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiGrid.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiSlider.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "gui/SLHtmlHelp.h"
#include "gui/SLGuiFrame.h"
#include "gui/SLGuiScrollBar.h"
#include "media/MediaClasses.h"

void SLRegisterGuiClasses() {
  SLRegisterMediaClasses();
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      CSL_GS_GuiWindow::GetClassRecord(),
      CSL_GS_GuiBaseEvent::GetClassRecord(),
      CSL_GS_GuiManager::GetClassRecord(),
      CSL_GS_GuiTopLevelWindow::GetClassRecord(),
      CSL_GS_GuiMenuPopup::GetClassRecord(),
      CSL_GS_GuiButton::GetClassRecord(),
      CSL_WND_BaseHelpSystem::GetClassRecord(),
      CSL_WND_HtmlHelp::GetClassRecord(),
      CSL_GS_GuiScrollBarBase::GetClassRecord(),
      CSL_GS_GuiHScrollBar::GetClassRecord(),
      CSL_GS_GuiVScrollBar::GetClassRecord(),
      CSL_GS_GuiGrowBoxScrollBar::GetClassRecord(),
      CSL_GS_GuiFrame::GetClassRecord(),
      CSL_GS_GuiInternalHScrollBar::GetClassRecord(),
      CSL_GS_GuiInternalVScrollBar::GetClassRecord(),
      CSL_GS_GuiLabel::GetClassRecord(),
      CSL_GS_GuiCheckBox::GetClassRecord(),
      CSL_GS_GuiRadioButton::GetClassRecord(),
      CSL_GS_GuiGroupBox::GetClassRecord(),
      CSL_GS_GuiSliderBase::GetClassRecord(),
      CSL_GS_GuiHSlider::GetClassRecord(),
      CSL_GS_GuiVSlider::GetClassRecord(),
      CSL_GS_GuiEdit::GetClassRecord(),
      CSL_GS_GuiGrid::GetClassRecord(),
      CSL_GS_GuiGridSelectionChangedEvent::GetClassRecord(),
      CSL_GS_GuiGridRowHeightChangedEvent::GetClassRecord(),
      CSL_GS_GuiGridColWidthChangedEvent::GetClassRecord(),
      CSL_GS_GuiGridCellClickedEvent::GetClassRecord(),
      CSL_GS_GuiGridGetCellDataEvent::GetClassRecord(),
      CSL_GS_GuiGridDrawCellEvent::GetClassRecord(),
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
