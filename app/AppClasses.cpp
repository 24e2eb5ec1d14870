#include "app/AppClasses.h"

#include "app/ActionDialog.h"
#include "app/CMyGuiManager.h"
#include "app/CMyVIS_arVI.h"
#include "app/ProjectDialogs.h"
#include "app/TextDialog.h"
#include "app/PickerButtons.h"
#include "app/Pickers.h"
#include "app/ThinLetterButton.h"
#include "app/MiniList.h"
#include "app/AudioChooser.h"
#include "app/Mp3Finder.h"
#include "app/Recorder.h"
#include "app/RecorderNameEdit.h"
#include "app/ExportDialog.h"
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
      CMyGameStartUpDialog::GetClassRecord(),
      CMyGameChooseProjectFileDialog::GetClassRecord(),
      CMyGameChoosePersonajeAccionDialog::GetClassRecord(),
      CMyGameAskProjectNameDialog::GetClassRecord(),
      CMyGameNewProject_NameEditCtl::GetClassRecord(),
      CMyGameAddEditTextDialog::GetClassRecord(),
      CMyGameAddEditText_TextEditCtl::GetClassRecord(),
      CMyThinLetterButton::GetClassRecord(),
      CMyMiniItemPreviewButton::GetClassRecord(),
      CMyGameChooseEscenaDialog::GetClassRecord(),
      CMyGameChooseObjetoDialog::GetClassRecord(),
      CMyGameChoosePersonajeDialog::GetClassRecord(),
      CMyMiniListItemButton::GetClassRecord(),
      CMyGameChooseAudioFileDialog::GetClassRecord(),
      CMyMP3FinderDialog::GetClassRecord(),
      CMyMicRecorderDialog::GetClassRecord(),
      CMyMicRecorder_NameEditCtl::GetClassRecord(),
      CMyExportVideoDialog::GetClassRecord(),
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
