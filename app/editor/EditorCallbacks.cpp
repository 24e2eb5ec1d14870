// The editor's answers to its confirmation boxes, the text dialog and the audio chooser.
#include "app/editor/EditorCallbacks.h"

#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorAction.h"
#include "app/editor/EditorActionEdits.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/editor/EditorTimeline.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"

namespace {
constexpr u32 kAnswerYes = 3, kAnswerNo = 4;
enum : i32 {
  kFatalSceneCopy = -941,
  kFatalTextItem = -946,
  kFatalSoundName = -951,
};

// The current scene when the answer is "&Si" and there is one.
Scene* SceneForYes(u32 answer) { return answer == kAnswerYes ? Editor_CurrentScene() : nullptr; }

template <class T>
T* SelectedAs(u32 kind) {
  const EditorSelection& selection = Editor_State().selection;
  return Editor_CurrentScene() && selection.kind == kind ? static_cast<T*>(selection.element) : nullptr;
}
CharacterInstance* SelectedCharacter() { return SelectedAs<CharacterInstance>(kHitCharacter); }
ObjectInstance* SelectedObject() { return SelectedAs<ObjectInstance>(kHitObject); }

// Forgets hover and selection records of an element that is about to go.
void ForgetElement(const void* element) {
  EditorState& state = Editor_State();
  if (state.hover.element == element) state.hover = EditorSelection{};
  if (state.selection.element == element) state.selection = EditorSelection{};
}

// The element of a menu's user value: `user - base` indexes the scene's list, and the
// element must still be the kind the menu listed.
template <class T, class Fits>
T* IndexedElement(const MovieLink* list, std::uintptr_t user, u32 base, Fits fits) {
  if (user < base) return nullptr;
  const std::uintptr_t index = user - base;
  T* element = index < 0xFFFFFFFFu ? static_cast<T*>(List_At(list, u32(index))) : nullptr;
  return element && fits(element) ? element : nullptr;
}
}  // namespace

// --- Deleting ---

void EditorAction_OnConfirmDelete(u32 answer, std::uintptr_t) {
  Scene* scene = SceneForYes(answer);
  CharacterInstance* character = SelectedCharacter();
  if (!scene || !character) return;
  Editor_TakeUndoPoint();
  EditorEdit_CutCharacter(scene, character, scene->currentFrame);
  EditorTimeline_Refresh();
}

void EditorCharacter_OnConfirmDelete(u32 answer, std::uintptr_t) {
  Scene* scene = SceneForYes(answer);
  CharacterInstance* character = SelectedCharacter();
  if (!scene || !character) return;
  Editor_TakeUndoPoint();
  EditorEdit_RemoveAttached(scene, character);
  Editor_ClearSelection();
  EditorEdit_RemoveCharacter(character);
  EditorTimeline_Refresh();
}

void EditorStateChange_OnConfirmDelete(u32 answer, std::uintptr_t) {
  Scene* scene = SceneForYes(answer);
  ObjectInstance* object = SelectedObject();
  if (!scene || !object) return;
  Editor_TakeUndoPoint();
  // What the object said or played from the first removed change on goes with it.
  const u32 cut = EditorEdit_RemoveStatesFrom(object, scene->currentFrame);
  EditorEdit_CutTexts(scene, kTextAttachedToObject, object, cut);
  EditorEdit_CutSounds(scene, kSoundObject, object, cut);
  EditorTimeline_Refresh();
}

void EditorObject_OnConfirmDelete(u32 answer, std::uintptr_t) {
  Scene* scene = SceneForYes(answer);
  ObjectInstance* object = SelectedObject();
  if (!scene || !object) return;
  Editor_TakeUndoPoint();
  EditorEdit_RemoveAttached(scene, object);
  Editor_ClearSelection();
  EditorEdit_RemoveObject(object);  // sets down what rests on it
  EditorTimeline_Refresh();
}

void EditorText_OnConfirmDelete(u32 answer, std::uintptr_t user) {
  Scene* scene = SceneForYes(answer);
  if (!scene) return;
  TextItem* text = nullptr;
  if (user == 0) {
    text = SelectedAs<TextItem>(kHitText);
  } else if (user >= kUserObjectText) {
    ObjectInstance* object = SelectedObject();
    text = IndexedElement<TextItem>(&scene->texts, user, kUserObjectText, [&](TextItem* t) {
      return object && t->attachKind == kTextAttachedToObject && t->attachedTo == object;
    });
  } else {
    CharacterInstance* character = SelectedCharacter();
    text = IndexedElement<TextItem>(&scene->texts, user, kUserCharacterText, [&](TextItem* t) {
      return character && t->attachKind == kTextSpokenByCharacter && t->attachedTo == character;
    });
  }
  if (!text) return;
  Editor_TakeUndoPoint();
  ForgetElement(text);
  EditorEdit_RemoveText(text);
}

void EditorAudio_OnConfirmDelete(u32 answer, std::uintptr_t user) {
  Scene* scene = SceneForYes(answer);
  if (!scene) return;
  SoundItem* sound = nullptr;
  if (user >= kUserObjectSound) {
    ObjectInstance* object = SelectedObject();
    sound = IndexedElement<SoundItem>(&scene->sounds, user, kUserObjectSound, [&](SoundItem* s) {
      return object && s->kind == kSoundObject && s->attachedTo == object;
    });
  } else if (user >= kUserCharacterSound) {
    CharacterInstance* character = SelectedCharacter();
    sound = IndexedElement<SoundItem>(&scene->sounds, user, kUserCharacterSound, [&](SoundItem* s) {
      return character && s->kind == kSoundSpoken && s->attachedTo == character;
    });
  } else {
    sound = IndexedElement<SoundItem>(&scene->sounds, user, kUserSceneEffect,
                                      [](SoundItem* s) { return s->kind == kSoundEffect; });
  }
  if (!sound) return;
  Editor_TakeUndoPoint();
  EditorEdit_RemoveSound(sound);
}

void EditorAudio_OnConfirmStopMusic(u32 answer, std::uintptr_t) {
  Scene* scene = SceneForYes(answer);
  if (!scene) return;
  const u32 f = scene->currentFrame;
  for (SoundItem* sound : ListRange<SoundItem>(&scene->sounds)) {
    if (sound->kind != kSoundMusic || sound->startFrame > f || f >= sound->endFrame) continue;
    Editor_TakeUndoPoint();
    if (sound->startFrame < f) sound->endFrame = f;
    else EditorEdit_RemoveSound(sound);
    return;
  }
}

// --- Adding texts and sounds ---

const char* EditorText_Trim(const char* text) {
  if (!text) return nullptr;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  u32 first = 0;
  while (bytes[first] != 0 && bytes[first] <= 32) ++first;
  return bytes[first] ? text + first : nullptr;
}

namespace {
// A new floating text starts in the middle of the stage with its whole box in sight: the
// box's centre on the stage's centre. A box bigger than the stage (a word too long to wrap,
// a great many lines) keeps its left or top edge on the stage's, where reading starts.
i32 CentredOnStage(i32 boxSize, i32 stageSize) {
  const i32 start = stageSize / 2 - boxSize / 2;
  return start < 0 ? 0 : start;
}

void PlaceOnStage(TextItem* item) {
  item->x = CentredOnStage(item->balloon.boxWidth, i32(kStageWidth));
  item->y = CentredOnStage(item->balloon.boxHeight, i32(kStageHeight));
}
}  // namespace

void EditorText_Add(const char* typed, u32 kind, void* element) {
  const char* text = EditorText_Trim(typed);
  Scene* scene = Editor_CurrentScene();
  if (!text || !scene) return;
  Editor_TakeUndoPoint();
  const u32 f = scene->currentFrame;
  void* block = SLAllocZeroed(sizeof(TextItem));
  if (!block) App_Fatal(kFatalTextItem, "Insuficiente memoria");
  TextItem* item = static_cast<TextItem*>(block);
  TextItem_Init(item);
  item->scene = scene;
  item->startFrame = f;
  // About eight characters a second, and a second more to start reading.
  item->endFrame = f + (SLStrLenA(text) + 7) * 60 / 8;
  if (kind == kAddToCharacter || kind == kAddToObject) {
    item->attachKind = kind == kAddToCharacter ? kTextSpokenByCharacter : kTextAttachedToObject;
    item->attachedTo = element;
    item->balloon.width = 300;
    Balloon_SetStyle(&item->balloon, 1);
    item->balloon.font = AppCommonFonts[APP_FONT_COMIC_9B];
    item->variant = 1;
  } else {
    item->attachKind = 0;
    item->balloon.width = 500;
    Balloon_SetStyle(&item->balloon, 17);
    item->balloon.font = AppCommonFonts[APP_FONT_COMIC_11];
  }
  Balloon_SetText(&item->balloon, text);
  Balloon_Layout(&item->balloon);
  if (item->attachKind == 0) PlaceOnStage(item);
  List_Append(&scene->texts, &item->link);
  if (scene->length < item->endFrame) scene->length = item->endFrame;
  EditorTimeline_Refresh();
  EditorPlayback_Start(item->endFrame, 1, 0);
}

void EditorAudio_Add(const char* name, u32 type, u32 kind, void* element) {
  Scene* scene = Editor_CurrentScene();
  if (!name || !name[0] || !scene) return;
  Editor_TakeUndoPoint();
  const u32 f = scene->currentFrame;
  const bool music = kind == kAddToScene && type == kAudioTypeMusic;
  if (music) EditorEdit_CutMusic(scene, f);  // the new music takes over from here on
  void* block = SLAllocZeroed(sizeof(SoundItem));
  if (!block) App_Fatal(kFatalSoundName, "Insuficiente memoria");
  SoundItem* sound = static_cast<SoundItem*>(block);
  SoundItem_Construct(sound);
  sound->scene = scene;
  sound->startFrame = sound->endFrame = f;
  if (kind == kAddToCharacter) sound->kind = kSoundSpoken, sound->attachedTo = element;
  else if (kind == kAddToObject) sound->kind = kSoundObject, sound->attachedTo = element;
  else sound->kind = type == kAudioTypeMusic ? kSoundMusic : kSoundEffect;
  sound->speed = 1.0;
  if (!sound->fileName.Assign(name)) App_Fatal(kFatalSoundName, "Insuficiente memoria");
  List_Append(&scene->sounds, &sound->link);
  const u32 length = ActionSound_Load(sound);
  if (length == 0) {
    EditorEdit_RemoveSound(sound);
    return;
  }
  if (sound->kind == kSoundMusic) {
    sound->endFrame = 0xFFFFFFFF;  // to the end of the scene
  } else {
    const u64 end = u64(f) + length;
    sound->endFrame = end < 0xFFFFFFFEull ? u32(end) : 0xFFFFFFFEu;
    if (scene->length < sound->endFrame) scene->length = sound->endFrame;
  }
  EditorTimeline_Refresh();
  if (sound->kind != kSoundMusic) EditorPlayback_Start(sound->endFrame, 1, 0);
}

void EditorText_OnEnteredForCharacter(const char* text) {
  if (CharacterInstance* character = SelectedCharacter()) EditorText_Add(text, kAddToCharacter, character);
}
void EditorText_OnEnteredForObject(const char* text) {
  if (ObjectInstance* object = SelectedObject()) EditorText_Add(text, kAddToObject, object);
}
void EditorText_OnEnteredForScene(const char* text) {
  if (Editor_CurrentScene()) EditorText_Add(text, kAddToScene, nullptr);
}
void EditorAudio_OnChosenForCharacter(const char* name, u32 type) {
  if (CharacterInstance* character = SelectedCharacter()) EditorAudio_Add(name, type, kAddToCharacter, character);
}
void EditorAudio_OnChosenForObject(const char* name, u32 type) {
  if (ObjectInstance* object = SelectedObject()) EditorAudio_Add(name, type, kAddToObject, object);
}
void EditorAudio_OnChosenForScene(const char* name, u32 type) {
  if (Editor_CurrentScene()) EditorAudio_Add(name, type, kAddToScene, nullptr);
}

// --- The scene and the movie ---

void EditorScene_Duplicate() {
  Movie* movie = Editor_Movie();
  Scene* source = Editor_CurrentScene();
  if (!source) return;
  auto allocate = [](size_t size) {
    void* block = SLAllocZeroed(size);
    if (!block) App_Fatal(kFatalSceneCopy, "Insuficiente memoria");
    return block;
  };
  Scene* copy = static_cast<Scene*>(allocate(sizeof(Scene)));
  Scene_Init(copy);
  copy->background = source->background;
  for (const CharacterInstance* character : ListRange<CharacterInstance>(&source->characters)) {
    CharacterInstance* twin = static_cast<CharacterInstance*>(allocate(sizeof(CharacterInstance)));
    CharacterInstance_Init(twin);
    twin->scene = copy;
    twin->character = character->character;
    twin->firstFrame = character->firstFrame;
    twin->x = character->x, twin->y = character->y;
    twin->endFrame = character->endFrame;
    List_Append(&copy->characters, &twin->link);
  }
  for (const ObjectInstance* object : ListRange<ObjectInstance>(&source->objects)) {
    ObjectInstance* twin = static_cast<ObjectInstance*>(allocate(sizeof(ObjectInstance)));
    ObjectInstance_Init(twin);
    twin->scene = copy;
    twin->object = object->object;
    twin->x = object->x, twin->y = object->y;
    twin->supportPoint = object->supportPoint;
    List_Append(&copy->objects, &twin->link);
  }
  // Carriers are known by position once every copy exists.
  for (const ObjectInstance* object : ListRange<ObjectInstance>(&source->objects)) {
    if (!object->carrier) continue;
    ObjectInstance* twin = static_cast<ObjectInstance*>(List_At(&copy->objects, u32(List_IndexOf(&source->objects, object))));
    const i32 carrier = List_IndexOf(&source->objects, object->carrier);
    twin->carrier = carrier >= 0 ? static_cast<ObjectInstance*>(List_At(&copy->objects, u32(carrier))) : nullptr;
    if (!twin->carrier) twin->supportPoint = 0;
  }
  // Linked in right after the current scene.
  copy->link.InsertAfter(&source->link);
  Editor_ClearSelection();
  Movie_SelectScene(movie, movie->currentScene + 1);
  SLSetLastError(SL_OK);
}

void EditorScreen_OnConfirmNewMovie(u32 answer, std::uintptr_t) {
  if (answer != kAnswerYes) return;
  Editor_ClearSelection();
  Movie* movie = Editor_Movie();
  Movie_Clear(movie);
  Movie_SelectScene(movie, 0);
  Editor_SyncUndoButton();  // the new movie has nothing to undo
}

void EditorScreen_OnConfirmSaveBeforeExit(u32 answer, std::uintptr_t) {
  if (answer == kAnswerYes && Editor_CurrentScene()) {
    if (EditorDialogs_Get().askProjectName) EditorDialogs_Get().askProjectName();
  } else if (answer == kAnswerNo) {
    App_SetQuitRequested();
  }
}

void EditorScreen_OnConfirmSaveBeforeMenu(u32 answer, std::uintptr_t) {
  if (answer == kAnswerYes && Editor_CurrentScene()) {
    if (EditorDialogs_Get().askProjectName) EditorDialogs_Get().askProjectName();
  } else if (answer == kAnswerNo) {
    Editor_State().leaveEditor = 1;
  }
}
