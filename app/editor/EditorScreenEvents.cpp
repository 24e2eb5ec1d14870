// The editor's dispatcher for what its toolbar, its slider and the window send: deferred
// calls, the timeline slider, the close request and the toolbar's commands. Events it
// does not handle itself go to the handler the later screens install.
#include "app/services/AppEvents.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/Pickers.h"
#include "app/screens/ScreenLoop.h"
#include "app/screens/FixedScreens.h"
#include "app/editor/EditorTimeline.h"
#include "foundation/SLError.h"
#include "gui/SLGuiSlider.h"

namespace {

void Ignore(u32, std::uintptr_t) {}

void NeedsSceneFirst(const char* title, const char* text) {
  MsgBox_ShowWithCallback(1, 1, &Ignore, 0, text, title, 1014, AppCommonPictures[APP_PICTURE_INFORMATION], nullptr);
}

bool HasScenes() { return Movie_SceneCount(Editor_Movie()) > 0; }

// Moves the current scene one place towards the start (-1) or the end (+1) of the movie
// and keeps it current.
void MoveCurrentScene(i32 direction) {
  Movie* movie = Editor_Movie();
  const u32 index = movie->currentScene, count = Movie_SceneCount(movie);
  if (direction < 0 ? index == 0 : index + 1 >= count) return;
  Editor_ClearSelection();
  Scene* scene = Movie_SceneAt(movie, index);
  Scene* neighbour = Movie_SceneAt(movie, direction < 0 ? index - 1 : index + 1);
  List_Remove(&scene->link);
  // Link the scene in just before (or after) its former neighbour.
  if (direction < 0)
    scene->link.InsertBefore(&neighbour->link);
  else
    scene->link.InsertAfter(&neighbour->link);
  Movie_SelectScene(movie, direction < 0 ? index - 1 : index + 1);
  EditorSelection_Clear();
}

void GoToScene(i32 direction) {
  Movie* movie = Editor_Movie();
  const u32 index = movie->currentScene, count = Movie_SceneCount(movie);
  if (direction < 0 ? index == 0 : index + 1 >= count) return;
  Editor_ClearSelection();
  Movie_SelectScene(movie, direction < 0 ? index - 1 : index + 1);
  EditorSelection_Clear();
}

void StartPreview(u32 wholeMovie) {
  const Scene* scene = Editor_CurrentScene();
  if (!scene) return;
  // At the end of the scene the preview starts over from its beginning.
  if (i64(scene->currentFrame) >= i64(scene->length) - 1) Editor_RenderCurrent(0, kModeSilent);
  EditorPlayback_Start(0xFFFFFFFFu, 0, wholeMovie);
}

void StepKeyFrame(i32 direction) {
  if (!HasScenes()) return;
  Editor_RenderCurrent(EditorTimeline_FindKeyFrame(Editor_CurrentFrame(), direction), kModeSilent);
}

void Undo() {
  u32 more = 0;
  Movie_Undo(Editor_Movie(), &more);
  Editor_ClearSelection();
  if (!more) Editor_EnableUndoButton(false);
}

void SliderMoved(std::uintptr_t data) {
  auto* window = reinterpret_cast<CSL_GS_GuiWindow*>(data);
  CMyGuiManager& gui = App_GuiManager();
  if (!window || !gui.IsRegistered(window) || window->GetId() != kIdRepSlider || !HasScenes()) return;
  if (!window->IsKindOf(CSL_GS_GuiSliderBase::GetClassRecord())) return;
  const u32 position = static_cast<CSL_GS_GuiSliderBase*>(window)->GetPosition();
  Editor_RenderCurrent(EditorTimeline_FindKeyFrame(position, 0), kModeSilent);
}

bool Command(u32 id, i32* result) {
  const bool modified = HasScenes() && Editor_Movie()->modified;
  switch (id) {
    case kIdInsEscena:
      ChooseEscenaDialog_Show();
      return true;
    case kIdInsPersonaje:
      if (!HasScenes())
        NeedsSceneFirst("Personajes", "Antes de colocar un personaje debes crear una escena.");
      else
        ChoosePersonajeDialog_Show();
      return true;
    case kIdInsObjeto:
      if (!HasScenes())
        NeedsSceneFirst("Objetos", "Antes de colocar un objeto debes crear una escena.");
      else
        ChooseObjetoDialog_Show();
      return true;
    case kIdManEscIrAnt:
    case kIdManEscFotog1a:
    case kIdManEscFotog1b:
      GoToScene(-1);
      return true;
    case kIdManEscIrSig:
    case kIdManEscFotog3a:
    case kIdManEscFotog3b:
      GoToScene(1);
      return true;
    case kIdManEscMovAnt:
      MoveCurrentScene(-1);
      return true;
    case kIdManEscMovSig:
      MoveCurrentScene(1);
      return true;
    case kIdManEscFotog2a:
    case kIdManEscFotog2b:
      Editor_OpenSceneMenu();
      return true;
    case kIdSelItemAnt:
    case kIdSelItemSig:
      if (HasScenes()) EditorSelection_Step(id == kIdSelItemSig);
      return true;
    case kIdSelItem:
      if (Editor_State().selection.kind) Editor_OpenItemMenu(0);
      return true;
    case kIdRepPlayFull:
    case kIdRepPlay:
      StartPreview(id == kIdRepPlayFull);
      return true;
    case kIdRepPause:
      EditorPlayback_Stop();
      return true;
    case kIdRepPrev:
    case kIdRepNext:
      StepKeyFrame(id == kIdRepPrev ? -1 : 1);
      return true;
    case kIdMenuDeshacer:
      Undo();
      return true;
    case APP_CLOSE_BUTTON_ID:
      // A modified movie is first offered to be saved, by the handler that saves it.
      if (modified && Editor_RunEventFallback(APP_EVENT_COMMAND, id, result)) return true;
      MainMenu_AskBackToMenu();
      return true;
    default:
      return false;
  }
}

}  // namespace

void EditorScreen_OnEvent(u32 type, std::uintptr_t data, i32* result) {
  switch (type) {
    case APP_EVENT_DEFERRED_CALL:
      AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(data));
      return;
    case APP_EVENT_SLIDER:
      SliderMoved(data);
      return;
    case APP_EVENT_COMMAND:
      if (!Command(u32(data), result)) Editor_RunEventFallback(type, data, result);
      return;
    case APP_EVENT_CLOSE_REQUEST:
      if (HasScenes() && Editor_Movie()->modified && Editor_RunEventFallback(type, data, result)) return;
      ExitPrompt_Show();
      return;
    default:
      Editor_RunEventFallback(type, data, result);
      return;
  }
}
