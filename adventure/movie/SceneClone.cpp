// The deep copy of a scene: what every undo point holds. The copy owns new records for
// every element, with carriers and attachments pointing into the copy (found by their
// position in the source's lists), and new players opened on the same sound files.
#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "foundation/SLMemory.h"

namespace {
void CopyPath(SLArrayHeader* to, const SLArrayHeader* from) {
  if (!KeyPointArray_SetSize(to, from->count)) Movie_FatalOutOfMemory(kFatalSceneClone);
  if (from->count) SLMemCopy(to->data, from->data, from->count * u32(sizeof(KeyPoint)));
}

void* ElementAtSameIndex(const MovieLink* sourceList, const MovieLink* copyList, const void* element) {
  const i32 index = element ? List_IndexOf(sourceList, element) : -1;
  return index >= 0 ? List_At(copyList, u32(index)) : nullptr;
}

void* AttachmentInCopy(const Scene* source, const Scene* copy, u32 kind, const void* attachedTo) {
  if (kind == kTextSpokenByCharacter || kind == kSoundSpoken)
    return ElementAtSameIndex(&source->characters, &copy->characters, attachedTo);
  if (kind == kTextAttachedToObject || kind == kSoundObject)
    return ElementAtSameIndex(&source->objects, &copy->objects, attachedTo);
  return nullptr;
}
}  // namespace

namespace {
Scene* CloneScene(const Scene* source, bool openPlayers) {
  Scene* copy = Scene_New();
  copy->background = source->background;
  copy->currentFrame = source->currentFrame;
  copy->length = source->length;
  copy->shuttingDown = source->shuttingDown;

  for (const CharacterInstance* from : ListRange<CharacterInstance>(&source->characters)) {
    CharacterInstance* to = CharacterInstance_New();
    to->scene = copy;
    to->character = from->character;
    to->firstFrame = from->firstFrame;
    to->x = from->x, to->y = from->y;
    to->endFrame = from->endFrame;
    to->shuttingDown = from->shuttingDown;
    for (const CharacterActionEntry* entry : ListRange<CharacterActionEntry>(&from->actions)) {
      CharacterActionEntry* e = CharacterActionEntry_Append(to);
      e->startFrame = entry->startFrame, e->endFrame = entry->endFrame;
      CopyPath(&e->path, &entry->path);
      e->pathLength = entry->pathLength, e->pathFrames = entry->pathFrames;
      e->direction = entry->direction, e->keepDirection = entry->keepDirection;
      e->action = entry->action;
    }
    List_Append(&copy->characters, &to->link);
  }

  for (const ObjectInstance* from : ListRange<ObjectInstance>(&source->objects)) {
    ObjectInstance* to = ObjectInstance_New();
    to->scene = copy;
    to->object = from->object;
    to->x = from->x, to->y = from->y;
    to->shuttingDown = from->shuttingDown;
    for (const ObjectStateEntry* entry : ListRange<ObjectStateEntry>(&from->states)) {
      ObjectStateEntry* e = ObjectStateEntry_Append(to);
      e->state = entry->state;
      e->startFrame = entry->startFrame, e->endFrame = entry->endFrame;
      CopyPath(&e->path, &entry->path);
      e->pathLength = entry->pathLength, e->pathFrames = entry->pathFrames;
    }
    List_Append(&copy->objects, &to->link);
  }
  // Carriers once every copy exists: a carrier may come later in the list.
  for (const ObjectInstance* from : ListRange<ObjectInstance>(&source->objects)) {
    if (!from->carrier) continue;
    ObjectInstance* to = Scene_ObjectAt(copy, u32(List_IndexOf(&source->objects, from)));
    to->carrier = static_cast<ObjectInstance*>(ElementAtSameIndex(&source->objects, &copy->objects, from->carrier));
    to->supportPoint = to->carrier ? from->supportPoint : 0;
  }

  for (const TextItem* from : ListRange<TextItem>(&source->texts)) {
    TextItem* to = TextItem_Append(copy);
    Balloon* balloon = &to->balloon;
    Balloon_SetStyle(balloon, from->balloon.style);
    Balloon_Layout(balloon);
    balloon->width = from->balloon.width < 100 ? 100 : from->balloon.width;
    Balloon_Layout(balloon);
    balloon->font = from->balloon.font;
    Balloon_Layout(balloon);
    Balloon_SetText(balloon, from->balloon.text);
    Balloon_Layout(balloon);
    to->variant = from->variant;
    to->startFrame = from->startFrame, to->endFrame = from->endFrame;
    to->x = from->x, to->y = from->y;
    to->attachKind = from->attachKind;
    to->attachedTo = AttachmentInCopy(source, copy, from->attachKind, from->attachedTo);
    to->shuttingDown = from->shuttingDown;
  }

  for (const SoundItem* from : ListRange<SoundItem>(&source->sounds)) {
    SoundItem* to = SoundItem_Append(copy);
    CSLStringAnsi& name = const_cast<CSLStringAnsi&>(from->fileName);  // CStr fixes up an empty buffer
    if (!to->fileName.Assign(name.CStr(), name.GetLength()))
      Movie_FatalOutOfMemory(kFatalSceneClone);
    if (openPlayers) SoundItem_OpenPlayer(to);
    to->startFrame = from->startFrame, to->endFrame = from->endFrame;
    to->speed = from->speed;
    to->kind = from->kind;
    to->attachedTo = AttachmentInCopy(source, copy, from->kind, from->attachedTo);
    to->shuttingDown = from->shuttingDown;
  }
  SLSetLastError(SL_OK);
  return copy;
}
}  // namespace

void SoundItem_OpenPlayer(SoundItem* item) {
  if (!SoundItem_AttachDevices(item)) Movie_FatalOutOfMemory(kFatalSceneClone);
  SoundItem_OpenFile(item);  // a file that does not open leaves the item silent
}

Scene* Scene_Clone(const Scene* source) { return CloneScene(source, true); }

Scene* Scene_CloneForUndo(const Scene* source) { return CloneScene(source, false); }

void Scene_OpenPlayers(Scene* scene) {
  for (SoundItem* item : ListRange<SoundItem>(&scene->sounds)) SoundItem_OpenPlayer(item);
  SLSetLastError(SL_OK);
}
