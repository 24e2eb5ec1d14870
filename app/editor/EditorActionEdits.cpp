// Cuts and removals of the timed elements of a scene.
#include "app/editor/EditorActionEdits.h"

#include "adventure/movie/SceneRender.h"
#include "foundation/SLMemory.h"

namespace {
void FreeAction(CharacterActionEntry* entry) {
  List_Remove(&entry->link);
  KeyPointArray_Free(&entry->path);
  SLFree(entry);
}
void FreeState(ObjectStateEntry* entry) {
  List_Remove(&entry->link);
  KeyPointArray_Free(&entry->path);
  SLFree(entry);
}

// One body for every list: an element that still runs at `frame` ends there when it
// began before it; one that begins at or after `frame` goes. Elements that ended before
// `frame` keep their frames.
template <class T, class Keep, class Free>
void CutList(const MovieLink* head, u32 frame, Keep keep, Free free) {
  for (T* element : ListRange<T>(head)) {
    if (!keep(element) || element->endFrame < frame) continue;
    if (element->startFrame < frame) element->endFrame = frame;
    else free(element);
  }
}
}  // namespace

void EditorEdit_CutActions(CharacterInstance* character, u32 frame) {
  CutList<CharacterActionEntry>(&character->actions, frame, [](CharacterActionEntry*) { return true; }, FreeAction);
}

void EditorEdit_CutStates(ObjectInstance* object, u32 frame) {
  CutList<ObjectStateEntry>(&object->states, frame, [](ObjectStateEntry*) { return true; }, FreeState);
}

u32 EditorEdit_RemoveStatesFrom(ObjectInstance* object, u32 frame) {
  u32 earliest = frame;
  for (ObjectStateEntry* entry : ListRange<ObjectStateEntry>(&object->states)) {
    if (entry->endFrame < frame) continue;
    if (entry->startFrame < earliest) earliest = entry->startFrame;
    FreeState(entry);
  }
  return earliest;
}

void EditorEdit_CutTexts(Scene* scene, u32 attachKind, const void* element, u32 frame) {
  CutList<TextItem>(
      &scene->texts, frame, [&](TextItem* text) { return text->attachKind == attachKind && text->attachedTo == element; },
      EditorEdit_RemoveText);
}

void EditorEdit_CutSounds(Scene* scene, u32 soundKind, const void* element, u32 frame) {
  CutList<SoundItem>(
      &scene->sounds, frame, [&](SoundItem* sound) { return sound->kind == soundKind && sound->attachedTo == element; },
      EditorEdit_RemoveSound);
}

void EditorEdit_CutCharacter(Scene* scene, CharacterInstance* character, u32 frame) {
  EditorEdit_CutActions(character, frame);
  EditorEdit_CutTexts(scene, kTextSpokenByCharacter, character, frame);
  EditorEdit_CutSounds(scene, kSoundSpoken, character, frame);
}

void EditorEdit_RemoveText(TextItem* text) {
  List_Remove(&text->link);
  Balloon_Destroy(&text->balloon);
  text->balloon.~Balloon();
  SLFree(text);
}

void EditorEdit_RemoveSound(SoundItem* sound) {
  List_Remove(&sound->link);
  SoundItem_Destruct(sound);  // closes the player and joins its threads
  SLFree(sound);
}

void EditorEdit_RemoveAttached(Scene* scene, const void* element) {
  for (TextItem* text : ListRange<TextItem>(&scene->texts))
    if ((text->attachKind == kTextSpokenByCharacter || text->attachKind == kTextAttachedToObject) &&
        text->attachedTo == element)
      EditorEdit_RemoveText(text);
  for (SoundItem* sound : ListRange<SoundItem>(&scene->sounds))
    if ((sound->kind == kSoundSpoken || sound->kind == kSoundObject) && sound->attachedTo == element)
      EditorEdit_RemoveSound(sound);
}

void EditorEdit_RemoveCharacter(CharacterInstance* character) {
  ElementResults_StopVoice(character, 0);
  List_Remove(&character->link);
  for (CharacterActionEntry* entry : ListRange<CharacterActionEntry>(&character->actions)) FreeAction(entry);
  SLFree(character);
}

void EditorEdit_RemoveObject(ObjectInstance* object) {
  if (object->scene)
    for (ObjectInstance* other : ListRange<ObjectInstance>(&object->scene->objects))
      if (other->carrier == object) other->carrier = nullptr, other->supportPoint = 0;
  ElementResults_StopVoice(object, 0);
  List_Remove(&object->link);
  for (ObjectStateEntry* entry : ListRange<ObjectStateEntry>(&object->states)) FreeState(entry);
  SLFree(object);
}

void EditorEdit_CutMusic(Scene* scene, u32 frame) {
  CutList<SoundItem>(&scene->sounds, frame, [](SoundItem* sound) { return sound->kind == kSoundMusic; },
                     EditorEdit_RemoveSound);
}
