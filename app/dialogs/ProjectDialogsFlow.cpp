// The project flow of the editor: what the start-up dialog's answer, the chooser's result
// and the "MenuAbrir" and "MenuGuardar" commands do, and the answers to the two boxes
// about opening a movie. Viewing and exporting a loaded project (chooser modes 3 and 4)
// belong to the cinema and the export dialog.
#include <cstdint>

#include "adventure/movie/Movie.h"
#include "app/services/AppEvents.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorState.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/ProjectDialogs.h"

namespace {
constexpr u32 kModeOpenFromEditor = 1, kModeOpen = 2, kModeExport = 4;

bool MovieHasUnsavedScenes() {
  const Movie* movie = Movie_Get();
  return Movie_SceneCount(movie) > 0 && movie->modified;
}
}  // namespace

void EditorScreen_OnConfirmOpenMovie(u32 answer, std::uintptr_t) {
  if (answer == MSGBOX_YES) ChooseProjectFileDialog_Show(kModeOpenFromEditor);
}

// The start-up dialog comes back once the load error has been read, for the projects
// chosen from it; one opened from the editor leaves the user in the editor.
void EditorScreen_OnLoadErrorClosed(u32, std::uintptr_t mode) {
  if (mode >= kModeOpen && mode <= kModeExport) Editor_ShowStartupDialog();
}

bool EditorProject_OnEvent(u32 type, std::uintptr_t data, i32* result) {
  switch (type) {
    case APP_EVENT_STARTUP_ANSWER:
      if (data == 2) *result = 1;
      if (data >= 102 && data <= 104) ChooseProjectFileDialog_Show(u32(data - 100));
      return true;
    case APP_EVENT_PROJECT_LOADED:
      // Opened projects are simply edited; viewing and exporting are handled elsewhere.
      // Loading replaced the movie and its undo steps, so there is nothing to undo.
      if (data != kModeOpenFromEditor && data != kModeOpen) return false;
      Editor_SyncUndoButton();
      return true;
    case APP_EVENT_PROJECT_LOAD_FAILED:
      Editor_SyncUndoButton();  // a failed load leaves an empty movie
      // Only the box: the start-up dialog follows when it is closed, so that two modal
      // levels are never open at once.
      MsgBox_ShowWithCallback(0, 1, EditorScreen_OnLoadErrorClosed, data,
                              "Hubo un error al leer el archivo o el mismo contiene personajes u objetos no "
                              "disponibles en este juego.",
                              "Cargar pel\xed" "cula", 1027, AppCommonPictures[APP_PICTURE_ERROR], nullptr);
      return true;
    case APP_EVENT_PROJECT_CANCELLED:
      if (data >= kModeOpen && data <= kModeExport) Editor_ShowStartupDialog();
      return true;
    case APP_EVENT_COMMAND:
      if (data == kIdMenuAbrir) {
        if (MovieHasUnsavedScenes())
          MsgBox_ShowWithCallback(0, 3, EditorScreen_OnConfirmOpenMovie, 0,
                                  "Actualmente est\xe1s creando una pel\xed" "cula.\n\n\xbfRealmente deseas abrir una "
                                  "pel\xed" "cula guardada? Ten en cuenta que los cambios que hayas realizado hasta el "
                                  "momento se perder\xe1n.",
                                  "Abrir pel\xed" "cula", 1015, AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
        else
          ChooseProjectFileDialog_Show(kModeOpenFromEditor);
        return true;
      }
      if (data == kIdMenuGuardar) {
        if (Movie_SceneCount(Movie_Get()) > 0) AskProjectNameDialog_Show();
        return true;
      }
      return false;
    default:
      return false;
  }
}

void EditorProject_Install() { Editor_SetStartupDialog([] { StartUpDialog_Show(); }); }
