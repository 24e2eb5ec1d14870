// Connects the editor to the screens and dialogs built on it: the start-up dialog, the
// context menus, the action, text, audio and project-name dialogs, pointing at an
// action's reference, and the events the editor's own dispatcher passes on (the project
// flow, the command table, the cinema and the export).
#include "app/editor/EditorConnections.h"

#include "adventure/movie/Movie.h"
#include "app/dialogs/ActionDialog.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/dialogs/AudioChooser.h"
#include "app/screens/CinemaScreen.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorAction.h"
#include "app/editor/EditorCallbacks.h"
#include "app/editor/EditorCommands.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorState.h"
#include "app/dialogs/ExportDialog.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/ProjectDialogs.h"
#include "app/dialogs/TextDialog.h"
#include "gamesystem/SLFrameTime.h"

namespace {

constexpr u32 kViewMode = 3, kExportMode = 4;

void Ignore(u32, std::uintptr_t) {}

void Information(const char* title, const char* text) {
  MsgBox_ShowWithCallback(1, 1, &Ignore, 0, text, title, 1014, AppCommonPictures[APP_PICTURE_INFORMATION], nullptr);
}

// After a project was watched or exported from the start-up dialog the user starts
// again from an empty movie.
void BackToTheStartUpDialog() {
  Movie* movie = Editor_Movie();
  Movie_Clear(movie);
  Movie_SelectScene(movie, 0);
  Editor_SyncUndoButton();
  Editor_ShowStartupDialog();
}

// The cinema's result goes to the editor only when the program is to end.
bool RunCinema(i32* result) {
  Editor_ClearSelection();
  const i32 watched = CinemaScreen_Run();
  if (watched == -1 || watched == -1000) {
    *result = watched;
    return false;
  }
  return true;
}

// Opens the export dialog; when an export starts the editor slows to ten ticks a second
// and the first step is posted as `eventType`.
bool StartExport(u32 eventType) {
  Editor_ClearSelection();
  CMyExportVideoDialog* dialog = ExportVideoDialog_Show(eventType);
  if (!dialog || dialog->failed) return false;
  App_Services().frameTime->SetRate(10);
  AppEventQueue_PostEvent(eventType, reinterpret_cast<std::uintptr_t>(dialog));
  return true;
}

bool ExportEvent(u32 type, std::uintptr_t data) {
  if (!ExportVideoDialog_HandleEvent(type, data)) return true;
  // The export is over.
  App_Services().frameTime->SetRate(60);
  Movie* movie = Editor_Movie();
  if (type == APP_EVENT_EXPORT_STEP) {
    Movie_Clear(movie);
    Editor_SyncUndoButton();
  }
  Editor_ClearSelection();
  Movie_SelectScene(movie, movie->currentScene);
  if (type == APP_EVENT_EXPORT_STEP) Editor_ShowStartupDialog();
  return true;
}

}  // namespace

bool EditorConnections_OnEvent(u32 type, std::uintptr_t data, i32* result) {
  if (EditorProject_OnEvent(type, data, result)) return true;
  const bool scenes = Movie_SceneCount(Editor_Movie()) > 0;
  switch (type) {
    case APP_EVENT_PROJECT_LOADED:
      if (data == kViewMode) {
        if (RunCinema(result)) BackToTheStartUpDialog();
        return true;
      }
      if (data == kExportMode) {
        if (!StartExport(APP_EVENT_EXPORT_STEP)) BackToTheStartUpDialog();
        return true;
      }
      return false;
    case APP_EVENT_EXPORT_STEP:
    case APP_EVENT_EXPORT_END:
      return ExportEvent(type, data);
    case APP_EVENT_COMMAND:
      if (data == kIdMenuExportar) {
        if (!scenes) return true;
        const Movie* movie = Editor_Movie();
        if (!movie->name || !movie->name[0]) {
          Information("Exportar video", "Antes de exportar una pel\xed" "cula debe guardar el proyecto.");
        } else if (!StartExport(APP_EVENT_EXPORT_END)) {
          Movie_SelectScene(Editor_Movie(), Editor_Movie()->currentScene);
        }
        return true;
      }
      if (data == kIdMenuPlayMovie) {
        if (!scenes)
          Information("Previsualizaci\xf3n", "Para previsualizar la pel\xed" "cula, debes primero crearla.");
        else
          RunCinema(result);
        return true;
      }
      break;
    default:
      break;
  }
  return EditorCommands_OnEvent(type, data, result);
}

void EditorConnections_Install() {
  EditorProject_Install();
  EditorMenus_Install();
  EditorDialogs dialogs{};
  dialogs.chooseAction = &ChoosePersonajeAccionDialog_Show;
  dialogs.enterText = &AddEditTextDialog_Show;
  dialogs.chooseAudio = [](void (*done)(const char*, u32), u32 flags) { ChooseAudioFileDialog_Show(done, flags); };
  dialogs.askProjectName = &AskProjectNameDialog_Show;
  EditorDialogs_Set(dialogs);
  ChoosePersonajeAccionDialog_SetContinuation(&EditorAction_OnChosen);
  Editor_SetEventFallback([](u32 type, std::uintptr_t data, i32* result) { EditorConnections_OnEvent(type, data, result); });
}
