#include "app/AppClasses.h"

#include "app/CMyGuiManager.h"
#include "app/CMyVIS_arVI.h"
#include "app/PickerButtons.h"
#include "app/Pickers.h"
#include "app/ThinLetterButton.h"
#include "app/MiniList.h"
#include "foundation/SLObject.h"
#include "gui/GuiClasses.h"

void SLRegisterAppClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The application's AVI reader comes before the framework's, so that a lookup of a
  // reader by the ".avi" extension still finds the framework's own.
  SLRegisterClass(CMyVIS_arVI::GetClassRecord());
  SLRegisterGuiClasses();
  static const SLClassRecord* const records[] = {
      CMyGuiManager::GetClassRecord(),
      CMyThinLetterButton::GetClassRecord(),
      CMyMiniItemPreviewButton::GetClassRecord(),
      CMyGameChooseEscenaDialog::GetClassRecord(),
      CMyGameChooseObjetoDialog::GetClassRecord(),
      CMyGameChoosePersonajeDialog::GetClassRecord(),
      CMyMiniListItemButton::GetClassRecord(),
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
