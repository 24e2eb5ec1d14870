#include "adventure/movie/Movie.h"

#include <cstdlib>
#include <new>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSingleton.h"
#include "gamesystem/SLMainWindow.h"

// --- Lists ---

void* List_At(const MovieLink* head, u32 index) {
  for (const MovieLink* link : SLListWalk(head))
    if (index-- == 0) return link->self;
  return nullptr;
}

i32 List_IndexOf(const MovieLink* head, const void* element) {
  i32 index = 0;
  for (const MovieLink* link : SLListWalk(head)) {
    if (link->self == element) return index;
    ++index;
  }
  return -1;
}

namespace {
void LinkInit(MovieLink* link, void* self) {
  link->InitEmpty();
  link->self = self;
}

// A zeroed record of the framework heap; out of memory ends the program.
template <class T>
T* NewRecord(i32 fatalCode) {
  void* block = SLAllocZeroed(sizeof(T));
  if (!block) Movie_FatalOutOfMemory(fatalCode);
  return static_cast<T*>(block);
}
}  // namespace

[[noreturn]] void Movie_FatalOutOfMemory(i32 code) {
  if (CSL_GS_MainWindow* window = AdventureDevices_Get().mainWindow) window->FatalError(code, "Insuficiente memoria");
  // Without a main window (tools, tests) there is nobody to report to.
  std::abort();
}

// --- Key points ---

bool KeyPointArray_SetSize(SLArrayHeader* array, u32 count) {
  // The framework array grows in steps of 32 zero-filled elements and refuses, before
  // allocating anything, a count whose byte size does not fit 32 bits.
  return SLArraySetSize(array, sizeof(KeyPoint), count);
}

bool KeyPointArray_SetSizeExact(SLArrayHeader* array, u32 count) {
  return SLArraySetSizeExact(array, sizeof(KeyPoint), count);
}

void KeyPointArray_Free(SLArrayHeader* array) { SLArrayFreeAll(array); }

// --- Access ---

Scene* Movie_SceneAt(const Movie* movie, u32 index) { return static_cast<Scene*>(List_At(&movie->scenes, index)); }
u32 Movie_SceneCount(const Movie* movie) { return List_Count(&movie->scenes); }
CharacterInstance* Scene_CharacterAt(const Scene* scene, u32 index) {
  return static_cast<CharacterInstance*>(List_At(&scene->characters, index));
}
u32 Scene_CharacterCount(const Scene* scene) { return List_Count(&scene->characters); }
ObjectInstance* Scene_ObjectAt(const Scene* scene, u32 index) {
  return static_cast<ObjectInstance*>(List_At(&scene->objects, index));
}
u32 Scene_ObjectCount(const Scene* scene) { return List_Count(&scene->objects); }
TextItem* Scene_TextAt(const Scene* scene, u32 index) { return static_cast<TextItem*>(List_At(&scene->texts, index)); }
u32 Scene_TextCount(const Scene* scene) { return List_Count(&scene->texts); }
SoundItem* Scene_SoundAt(const Scene* scene, u32 index) {
  return static_cast<SoundItem*>(List_At(&scene->sounds, index));
}
u32 Scene_SoundCount(const Scene* scene) { return List_Count(&scene->sounds); }

// --- Creation ---

void Scene_Init(Scene* scene) {
  LinkInit(&scene->link, scene);
  scene->background = -1;
  scene->currentFrame = 0;
  scene->length = 0;
  List_Init(&scene->characters);
  List_Init(&scene->objects);
  List_Init(&scene->texts);
  List_Init(&scene->sounds);
  scene->drawList = SLArrayHeader{};
  scene->shuttingDown = 0;
}

Scene* Scene_New() {
  Scene* scene = NewRecord<Scene>(kFatalSceneClone);
  Scene_Init(scene);
  return scene;
}

Scene* Movie_AppendScene(Movie* movie) {
  Scene* scene = Scene_New();
  List_Append(&movie->scenes, &scene->link);
  return scene;
}

void CharacterInstance_Init(CharacterInstance* instance) {
  *static_cast<ElementResults*>(instance) = ElementResults{};
  instance->scene = nullptr;
  LinkInit(&instance->link, instance);
  instance->character = -1;
  instance->firstFrame = instance->endFrame = 0;
  instance->x = instance->y = 0;
  List_Init(&instance->actions);
  instance->lastPlacedAction = -1;
  instance->currentAction = 0;
  instance->shuttingDown = 0;
}

CharacterInstance* CharacterInstance_New() {
  CharacterInstance* instance = NewRecord<CharacterInstance>(kFatalSceneClone);
  CharacterInstance_Init(instance);
  return instance;
}

void CharacterActionEntry_Init(CharacterActionEntry* entry) {
  entry->owner = nullptr;
  LinkInit(&entry->link, entry);
  entry->startFrame = entry->endFrame = 0;
  entry->path = SLArrayHeader{};
  entry->pathLength = 0;
  entry->pathFrames = 1;
  entry->direction = entry->keepDirection = entry->action = 0;
}

CharacterActionEntry* CharacterActionEntry_Append(CharacterInstance* instance) {
  CharacterActionEntry* entry = NewRecord<CharacterActionEntry>(kFatalSceneClone);
  CharacterActionEntry_Init(entry);
  entry->owner = instance;
  List_Append(&instance->actions, &entry->link);
  return entry;
}

void ObjectInstance_Init(ObjectInstance* instance) {
  *static_cast<ElementResults*>(instance) = ElementResults{};
  instance->scene = nullptr;
  LinkInit(&instance->link, instance);
  instance->object = -1;
  instance->x = instance->y = 0;
  instance->carrier = nullptr;
  instance->supportPoint = 0;
  List_Init(&instance->states);
  instance->flags = instance->currentState = instance->shuttingDown = 0;
}

ObjectInstance* ObjectInstance_New() {
  ObjectInstance* instance = NewRecord<ObjectInstance>(kFatalSceneClone);
  ObjectInstance_Init(instance);
  return instance;
}

void ObjectStateEntry_Init(ObjectStateEntry* entry) {
  entry->owner = nullptr;
  LinkInit(&entry->link, entry);
  entry->state = entry->startFrame = entry->endFrame = 0;
  entry->path = SLArrayHeader{};
  entry->pathLength = 0;
  entry->pathFrames = 1;
}

ObjectStateEntry* ObjectStateEntry_Append(ObjectInstance* instance) {
  ObjectStateEntry* entry = NewRecord<ObjectStateEntry>(kFatalSceneClone);
  ObjectStateEntry_Init(entry);
  entry->owner = instance;
  List_Append(&instance->states, &entry->link);
  return entry;
}

void TextItem_Init(TextItem* text) {
  text->scene = nullptr;
  new (&text->balloon) Balloon;
  Balloon_Construct(&text->balloon);
  text->variant = 0;
  LinkInit(&text->link, text);
  text->startFrame = text->endFrame = 0;
  text->x = text->y = 0;
  text->attachKind = 0;
  text->attachedTo = nullptr;
  text->shown = text->shuttingDown = 0;
}

TextItem* TextItem_Append(Scene* scene) {
  TextItem* text = NewRecord<TextItem>(kFatalSceneClone);
  TextItem_Init(text);
  text->scene = scene;
  List_Append(&scene->texts, &text->link);
  return text;
}

namespace {
// The start range keeps a new element well inside the stage.
constexpr i32 kStartX = 50, kStartWidth = 564, kStartY = 20, kStartHeight = 332;
constexpr i32 kStartCentreX = 331, kStartCentreY = 185;
constexpr u32 kRandomTries = 10000;

bool Opaque(const SceneRecord* background, i32 x, i32 y) {
  SLErrorKeeper keep;
  return background && SceneRecord_MaskAlphaAt(background, x, y) >= 1;
}

// A random point of the start range on an opaque part of the background's mask (or
// anywhere in the range when the element needs no floor). Masks with few or no opaque
// points in the range would keep the random loop going: after kRandomTries misses the
// first opaque point of the range in row order is taken, then the first opaque point
// of the whole stage, else the range's centre.
void RandomStartPosition(const Scene* scene, bool needsFloor, i32* x, i32* y) {
  const SceneRecord* background = scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
  if (!needsFloor) {
    *x = std::rand() % kStartWidth + kStartX;
    *y = std::rand() % kStartHeight + kStartY;
    return;
  }
  if (background && background->depthMax > 0) {
    for (u32 attempt = 0; attempt < kRandomTries; ++attempt) {
      *x = std::rand() % kStartWidth + kStartX;
      *y = std::rand() % kStartHeight + kStartY;
      if (Opaque(background, *x, *y)) return;
    }
    for (i32 py = kStartY; py < kStartY + kStartHeight; ++py)
      for (i32 px = kStartX; px < kStartX + kStartWidth; ++px)
        if (Opaque(background, px, py)) return void(*x = px), void(*y = py);
    for (i32 py = 0; py < i32(kStageHeight); ++py)
      for (i32 px = 0; px < i32(kStageWidth); ++px)
        if (Opaque(background, px, py)) return void(*x = px), void(*y = py);
  }
  *x = kStartCentreX;
  *y = kStartCentreY;
}
}  // namespace

CharacterInstance* CharacterInstance_Create(Scene* scene, i32 characterIndex) {
  CharacterInstance* instance = CharacterInstance_New();
  instance->scene = scene;
  instance->character = characterIndex;
  instance->firstFrame = 0;
  instance->endFrame = 0xFFFFFFFF;
  const CharacterRecord* record = characterIndex >= 0 ? CharacterCatalog_GetAt(u32(characterIndex)) : nullptr;
  RandomStartPosition(scene, !(record && record->floating), &instance->x, &instance->y);
  List_Append(&scene->characters, &instance->link);
  return SLSucceed(instance);
}

ObjectInstance* ObjectInstance_Create(Scene* scene, i32 objectIndex) {
  ObjectInstance* instance = ObjectInstance_New();
  instance->scene = scene;
  instance->object = objectIndex;
  const ObjectRecord* record = objectIndex >= 0 ? ObjectCatalog_GetAt(u32(objectIndex)) : nullptr;
  RandomStartPosition(scene, !(record && record->floatDepth >= 0), &instance->x, &instance->y);
  List_Append(&scene->objects, &instance->link);
  return SLSucceed(instance);
}

// --- Release ---

namespace {
void FreeActions(CharacterInstance* instance) {
  for (CharacterActionEntry* entry : ListRange<CharacterActionEntry>(&instance->actions)) {
    List_Remove(&entry->link);
    KeyPointArray_Free(&entry->path);
    SLFree(entry);
  }
}

void FreeStates(ObjectInstance* instance) {
  for (ObjectStateEntry* entry : ListRange<ObjectStateEntry>(&instance->states)) {
    List_Remove(&entry->link);
    KeyPointArray_Free(&entry->path);
    SLFree(entry);
  }
}
}  // namespace

void Scene_FreeContents(Scene* scene) {
  SLErrorKeeper keep;
  const u32 exiting = scene->shuttingDown;
  for (CharacterInstance* instance : ListRange<CharacterInstance>(&scene->characters)) {
    instance->shuttingDown = exiting;
    ElementResults_StopVoice(instance, exiting);
    List_Remove(&instance->link);
    FreeActions(instance);
    SLFree(instance);
  }
  for (ObjectInstance* instance : ListRange<ObjectInstance>(&scene->objects)) {
    instance->shuttingDown = exiting;
    ElementResults_StopVoice(instance, exiting);
    List_Remove(&instance->link);
    FreeStates(instance);
    SLFree(instance);
  }
  for (TextItem* text : ListRange<TextItem>(&scene->texts)) {
    text->shuttingDown = exiting;
    List_Remove(&text->link);
    Balloon_Destroy(&text->balloon);
    text->balloon.~Balloon();
    SLFree(text);
  }
  for (SoundItem* item : ListRange<SoundItem>(&scene->sounds)) {
    item->shuttingDown = exiting;
    List_Remove(&item->link);
    SoundItem_Destruct(item);
    SLFree(item);
  }
  SLArrayFreeAll(&scene->drawList);
}

void Scene_Free(Scene* scene, u32 shuttingDown) {
  scene->shuttingDown = shuttingDown;
  Scene_FreeContents(scene);
  SLFree(scene);
}

namespace {
void FreeSceneList(MovieLink* head, u32 shuttingDown) {
  for (Scene* scene : ListRange<Scene>(head)) {
    List_Remove(&scene->link);
    Scene_Free(scene, shuttingDown);
  }
}
}  // namespace

void Movie_FreeUndo(Movie* movie) {
  for (UndoSlot& slot : movie->undo) {
    FreeSceneList(&slot.scenes, movie->shuttingDown);
    slot.savedScene = -1;
  }
}

void Movie_Clear(Movie* movie) {
  Movie_FreeUndo(movie);
  SLFree(movie->name);
  movie->name = nullptr;
  FreeSceneList(&movie->scenes, movie->shuttingDown);
  movie->modified = 0;
  movie->currentScene = 0;
  SLSetLastError(SL_OK);
}

void Movie_Init(Movie* movie) {
  movie->name = nullptr;
  movie->modified = 0;
  List_Init(&movie->scenes);
  movie->currentScene = 0;
  for (UndoSlot& slot : movie->undo) {
    List_Init(&slot.scenes);
    slot.savedScene = -1;
  }
  movie->shuttingDown = 0;
}

namespace {
// The process's movie. Cleared by the singleton registry at exit, which runs after the
// program's devices are gone: shuttingDown keeps the clear away from them.
class CMovieSingleton : public CSLBaseOODClass {
 public:
  CMovieSingleton() { Movie_Init(&m_movie); }
  ~CMovieSingleton() override {
    m_movie.shuttingDown = 1;
    Movie_Clear(&m_movie);
  }
  Movie m_movie;
};
CMovieSingleton* g_movieSingleton = nullptr;
// Before the catalogue's exit clean-up (lower priorities go first): scenes point into it.
constexpr i16 kMovieExitPriority = kCatalogExitPriority - 1;
}  // namespace

Movie* Movie_Get() {
  CMovieSingleton* singleton = SLGetSingleton(g_movieSingleton, kMovieExitPriority);
  if (!singleton) Movie_FatalOutOfMemory(kFatalSceneClone);
  return &singleton->m_movie;
}

// --- Time and selection ---

u32 Movie_FindSceneForFrame(const Movie* movie, u32 globalFrame, i32* sceneIndex, u32* localFrame) {
  i32 index = 0;
  const Scene* last = nullptr;
  for (const Scene* scene : ListRange<Scene>(&movie->scenes)) {
    if (scene->length > globalFrame) {
      *sceneIndex = index;
      *localFrame = globalFrame;
      return SLSucceed(0u);
    }
    globalFrame -= scene->length;
    last = scene;
    ++index;
  }
  *sceneIndex = index - 1;
  *localFrame = last ? last->length : 0;
  return SLSucceed(1u);
}

void Movie_SelectScene(Movie* movie, u32 index) {
  const u32 count = Movie_SceneCount(movie);
  movie->currentScene = count == 0 ? 0 : index < count ? index : count - 1;
  if (!MovieTimeline_Find()) return void(SLSetLastError(SL_OK));
  if (Scene* scene = Movie_SceneAt(movie, movie->currentScene)) {
    MovieTimeline_SetRange(scene->length);
    MovieTimeline_SetPosition(scene->currentFrame);
    Scene_RenderAtFrame(scene, scene->currentFrame, kModeSilent);
  } else {
    MovieTimeline_SetRange(0);
  }
  SLSetLastError(SL_OK);
}
