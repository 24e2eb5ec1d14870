#include "app/services/AppClasses.h"

#include "app/dialogs/ActionDialog.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/dialogs/ProjectDialogs.h"
#include "app/dialogs/TextDialog.h"
#include "app/editor/PickerButtons.h"
#include "app/dialogs/Pickers.h"
#include "app/dialogs/ThinLetterButton.h"
#include "app/screens/BoxVideoListRow.h"
#include "app/dialogs/AudioChooser.h"
#include "app/media/Mp3Finder.h"
#include "app/dialogs/Recorder.h"
#include "app/dialogs/RecorderNameEdit.h"
#include "app/dialogs/ExportDialog.h"
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
