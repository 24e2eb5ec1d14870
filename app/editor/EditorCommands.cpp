#include "app/editor/EditorCommands.h"

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/MovieList.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorCallbacks.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/Pickers.h"
#include "foundation/SLDebug.h"
#include "gui/SLHtmlHelp.h"

namespace {

void Ignore(u32, std::uintptr_t) {}

bool HasScenes() { return Movie_SceneCount(Editor_Movie()) > 0; }

// A question box: style 3 ("&Si"/"&No") with the question icon unless said otherwise.
void Ask(const char* title, const char* text, u32 id, AppDeferredFunction callback, std::uintptr_t user,
         u32 style = 3) {
  MsgBox_ShowWithCallback(1, style, callback ? callback : &Ignore, user, text, title, id,
                          AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
}

template <class T>
T* Selected(u32 kind) {
  const EditorSelection& selection = Editor_State().selection;
  return selection.kind == kind ? static_cast<T*>(selection.element) : nullptr;
}

void ChooseAudio(void (*done)(const char* name, u32 type), u32 flags) {
  if (const EditorDialogs& dialogs = EditorDialogs_Get(); dialogs.chooseAudio) dialogs.chooseAudio(done, flags);
}

void EnterText(void (*done)(const char* text)) {
  if (const EditorDialogs& dialogs = EditorDialogs_Get(); dialogs.enterText) dialogs.enterText(0, done);
}

// "Mover" from the element menu: the element follows the mouse from where it is.
void StartMove() {
  Editor_TakeUndoPoint();
  EditorState& editor = Editor_State();
  editor.stageMode = kStageDrag;
  editor.dragDX = editor.dragDY = 0;
}

bool ListEntry(u32 id, u32 base) { return id > base && id < base + 1 + kMenuListLimit; }

bool ContextCommand(u32 id) {
  if (!HasScenes()) return id >= kCmdSceneMusic;  // every context entry needs a scene
  CharacterInstance* character = Selected<CharacterInstance>(kHitCharacter);
  ObjectInstance* object = Selected<ObjectInstance>(kHitObject);
  const std::uintptr_t user = id;
  if (ListEntry(id, kMenuSceneSounds)) {
    Ask("Borrar audio", "\xbf" "Est\xe1s segura de eliminar el sonido adjunto a la escena?", 1022,
        &EditorAudio_OnConfirmDelete, user);
    return true;
  }
  if (ListEntry(id, kMenuCharacterTexts)) {
    if (character)
      Ask("Borrar texto", "\xbf" "Est\xe1s segura de eliminar el texto adjunto al personaje?", 1021,
          &EditorText_OnConfirmDelete, user);
    return true;
  }
  if (ListEntry(id, kMenuCharacterSounds)) {
    if (character)
      Ask("Borrar audio", "\xbf" "Est\xe1s segura de eliminar el sonido adjunto al personaje?", 1022,
          &EditorAudio_OnConfirmDelete, user);
    return true;
  }
  if (ListEntry(id, kMenuObjectTexts)) {
    if (object)
      Ask("Borrar texto", "\xbf" "Est\xe1s segura de eliminar el texto adjunto al objeto?", 1022,
          &EditorText_OnConfirmDelete, user);
    return true;
  }
  if (ListEntry(id, kMenuObjectSounds)) {
    if (object)
      Ask("Borrar audio", "\xbf" "Est\xe1s segura de eliminar el sonido adjunto al objeto?", 1022,
          &EditorAudio_OnConfirmDelete, user);
    return true;
  }
  switch (id) {
    case kCmdSceneMusic:
      ChooseAudio(&EditorAudio_OnChosenForScene, 16);
      return true;
    case kCmdSceneStopMusic:
      Ask("M\xfasica de fondo", "\xbf" "Est\xe1s seguro de querer detener la reproducci\xf3n de m\xfasica de fondo?",
          1023, &EditorAudio_OnConfirmStopMusic, 0);
      return true;
    case kCmdSceneDuplicate:
      EditorScene_Duplicate();
      return true;
    case kCmdSceneDelete:
      ChooseEscenaDialog_AskDeleteScene();
      return true;
    case kCmdSceneAddFloatingText:
      EnterText(&EditorText_OnEnteredForScene);
      return true;
    case kCmdSceneAddEffect:
      ChooseAudio(&EditorAudio_OnChosenForScene, 9);
      return true;
    case kCmdCharacterNewAction:
    case kCmdCharacterRepeatAction:
    case kCmdCharacterWrittenDialogue:
    case kCmdCharacterSpokenDialogue:
      if (character) EditorAction_Start(id);
      return true;
    case kCmdCharacterMove:
      if (character && List_IsEmpty(&character->actions)) StartMove();
      return true;
    case kCmdCharacterDeleteAction:
      if (character)
        Ask("Borrar acci\xf3n",
            "Eliminar la acci\xf3n actual provocar\xe1 que tambi\xe9n sean eliminadas las acciones colocadas detr\xe1s de "
            "\xe9sta.\n\n\xbfRealmente deseas continuar?",
            1019, &EditorAction_OnConfirmDelete, 0);
      return true;
    case kCmdCharacterDelete:
      if (character)
        Ask("Borrar personaje", "\xbf" "Est\xe1s segura de eliminar el personaje seleccionado?", 1016,
            &EditorCharacter_OnConfirmDelete, 0);
      return true;
    case kCmdCharacterAddText:
      if (character) EnterText(&EditorText_OnEnteredForCharacter);
      return true;
    case kCmdCharacterAddSound:
      if (character) ChooseAudio(&EditorAudio_OnChosenForCharacter, 15);
      return true;
    case kCmdObjectMove:
      if (object && List_IsEmpty(&object->states)) StartMove();
      return true;
    case kCmdObjectDeleteState:
      if (object)
        Ask("Borrar cambio de estado",
            "Eliminar el cambio de estado provocar\xe1 que tambi\xe9n sean eliminados los cambios que est\xe9n detr\xe1s "
            "de \xe9ste.\n\n\xbfRealmente deseas continuar?",
            1020, &EditorStateChange_OnConfirmDelete, 0);
      return true;
    case kCmdObjectDelete:
      if (object)
        Ask("Borrar objeto", "\xbf" "Est\xe1s segura de eliminar el objeto seleccionado?", 1017,
            &EditorObject_OnConfirmDelete, 0);
      return true;
    case kCmdObjectAddText:
      if (object) EnterText(&EditorText_OnEnteredForObject);
      return true;
    case kCmdObjectAddSound:
      if (object) ChooseAudio(&EditorAudio_OnChosenForObject, 15);
      return true;
    case kCmdTextDelete:
      if (Selected<TextItem>(kHitText))
        Ask("Borrar texto", "\xbf" "Est\xe1s segura de eliminar el texto seleccionado?", 1018,
            &EditorText_OnConfirmDelete, 0);
      return true;
    default:
      return false;
  }
}

bool Command(u32 id) {
  const bool modified = HasScenes() && Editor_Movie()->modified;
  switch (id) {
    case kIdInsFX:
      if (!HasScenes())
        MsgBox_ShowWithCallback(1, 1, &Ignore, 0,
                                "Antes de colocar una m\xfasica de fondo o efecto especial debes crear una escena.",
                                "M\xfasica de fondo", 1014, AppCommonPictures[APP_PICTURE_INFORMATION], nullptr);
      else
        ChooseAudio(&EditorAudio_OnChosenForScene, 25);
      return true;
    case kIdMenuNuevo:
      if (modified)
        Ask("Nueva pel\xed" "cula",
            "Actualmente est\xe1s creando una pel\xed" "cula.\n\n\xbfRealmente deseas empezar una nueva? Ten en cuenta que "
            "los cambios que hayas realizado hasta el momento se perder\xe1n.",
            1015, &EditorScreen_OnConfirmNewMovie, 0);
      else
        EditorScreen_OnConfirmNewMovie(3, 0);
      return true;
    case kIdMenuGuardar:
      if (const EditorDialogs& dialogs = EditorDialogs_Get(); HasScenes() && dialogs.askProjectName)
        dialogs.askProjectName();
      return true;
    case kIdMenuAyuda:
      if (CSL_WND_HtmlHelp* help = App_Services().help) help->ShowTopic("contenido.htm");
      return true;
    case APP_CLOSE_BUTTON_ID:
      if (!modified) return false;
      Ask("Salir...",
          "Actualmente est\xe1s creando una pel\xed" "cula.\n\n\xbf" "Deseas guardarla antes de volver al men\xfa principal?",
          1002, &EditorScreen_OnConfirmSaveBeforeMenu, 0, 4);
      return true;
    default:
      return id >= kCmdSceneMusic && ContextCommand(id);
  }
}

}  // namespace

void EditorAction_Start(u32 command) {
  const EditorSelection& selection = Editor_State().selection;
  Scene* scene = Editor_CurrentScene();
  if (!scene || selection.kind != kHitCharacter || !selection.element) return;
  auto* character = static_cast<CharacterInstance*>(selection.element);
  CharacterRecord* record = character->character >= 0 ? CharacterCatalog_GetAt(u32(character->character)) : nullptr;
  if (!record) return;
  Editor_State().placement.pendingCommand = command;
  i32 preset = -1;
  if (command == kCmdCharacterRepeatAction) {
    switch (character->lastPlacedAction) {
      case -1:
        return;
      case -3:
        command = kCmdCharacterWrittenDialogue;
        break;
      case -2:
        command = kCmdCharacterSpokenDialogue;
        break;
      default:
        preset = character->lastPlacedAction;
        break;
    }
    // The repeated dialogue is placed as the dialogue it stands for.
    Editor_State().placement.pendingCommand = command;
  }
  if (command == kCmdCharacterWrittenDialogue || command == kCmdCharacterSpokenDialogue) {
    const i32 state = CharacterInstance_StateAtFrame(character, scene->currentFrame);
    if (state < 0) {
      character->lastPlacedAction = -1;
      return;
    }
    CharacterState* s = CharacterRecord_GetStateAt(record, u32(state));
    preset = s ? s->talkAction : -1;
    if (preset == -1) return;
  }
  // Actions running from the current frame on are replaced by the new one.
  bool future = false;
  for (const CharacterActionEntry* entry : ListRange<CharacterActionEntry>(&character->actions))
    if (entry->endFrame > scene->currentFrame) future = true;
  if (future) {
    Ask("Acciones",
        "El personaje actual tiene acciones asociadas que se realizan despu\xe9s del cuadro actual.\n\nSi agregas una "
        "acci\xf3n ahora, las establecidas a futuro ser\xe1n eliminadas.\n\n\xbfRealmente deseas continuar?",
        1015, &EditorAction_OnConfirmAdd, std::uintptr_t(std::intptr_t(preset)));
    return;
  }
  if (const EditorDialogs& dialogs = EditorDialogs_Get(); dialogs.chooseAction) dialogs.chooseAction(character, preset);
}

bool EditorCommands_OnEvent(u32 type, std::uintptr_t data, i32* result) {
  (void)result;
  switch (type) {
    case APP_EVENT_COMMAND:
      return Command(u32(data));
    case APP_EVENT_CLOSE_REQUEST:
      if (!HasScenes() || !Editor_Movie()->modified) return false;
      SLDebugPrint("Pregunta: guardar antes de salir\n");
      Ask("Salir...", "Actualmente est\xe1s creando una pel\xed" "cula.\n\n\xbf" "Deseas guardarla antes de salir?", 1001,
          &EditorScreen_OnConfirmSaveBeforeExit, 0, 4);
      return true;
    default:
      return false;
  }
}
