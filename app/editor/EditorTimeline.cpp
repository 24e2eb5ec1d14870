#include "app/editor/EditorTimeline.h"

#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gui/SLGuiSlider.h"

void EditorTimeline_Refresh() {
  Scene* scene = Editor_CurrentScene();
  if (!scene) {
    MovieTimeline_SetRange(0);
    return void(SLSetLastError(SL_OK));
  }
  u32 length = 0;
  auto extend = [&length](u32 frame) {
    if (frame > length) length = frame;
  };
  for (const CharacterInstance* character : ListRange<CharacterInstance>(&scene->characters)) {
    extend(character->firstFrame);
    if (character->endFrame != 0xFFFFFFFEu && character->endFrame != 0xFFFFFFFFu) extend(character->endFrame);
    for (const CharacterActionEntry* action : ListRange<CharacterActionEntry>(&character->actions))
      extend(action->endFrame);
  }
  for (const ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects))
    for (const ObjectStateEntry* change : ListRange<ObjectStateEntry>(&object->states)) extend(change->endFrame);
  for (const TextItem* text : ListRange<TextItem>(&scene->texts)) extend(text->endFrame);
  for (const SoundItem* sound : ListRange<SoundItem>(&scene->sounds))
    if (sound->kind != kSoundMusic) extend(sound->endFrame);
  // Music that would only start after the scene's last event never plays: it goes.
  for (SoundItem* sound : ListRange<SoundItem>(&scene->sounds)) {
    if (sound->kind != kSoundMusic || sound->startFrame <= length) continue;
    List_Remove(&sound->link);
    SoundItem_Destruct(sound);
    SLFree(sound);
  }
  scene->length = length;
  MovieTimeline_SetRange(length);
  // The slider keeps its position inside the new range; without one the frame is clamped here.
  u32 frame = scene->currentFrame > length ? length : scene->currentFrame;
  if (CSL_GS_GuiWindow* slider = MovieTimeline_Find(); slider && slider->IsKindOf(CSL_GS_GuiSliderBase::GetClassRecord()))
    frame = static_cast<CSL_GS_GuiSliderBase*>(slider)->GetPosition();
  scene->currentFrame = frame;
  Editor_RenderCurrent(frame, kModeSilent);
  SLSetLastError(SL_OK);
}

u32 EditorTimeline_FindKeyFrame(u32 frame, i32 direction) {
  const Scene* scene = Editor_CurrentScene();
  const u32 length = scene ? scene->length : 0;
  const EditorSelection& selection = Editor_State().selection;
  const CharacterInstance* character =
      selection.kind == kHitCharacter ? static_cast<const CharacterInstance*>(selection.element) : nullptr;
  SLSetLastError(SL_OK);
  if (direction < 0) {
    if (frame == 0) return 0;
    if (!character) return frame - 1;
    u32 best = 0;
    for (const CharacterActionEntry* action : ListRange<CharacterActionEntry>(&character->actions))
      for (u32 key : {action->startFrame, action->endFrame})
        if (key <= frame - 1 && key > best) best = key;
    return best;
  }
  if (direction > 0) {
    if (frame >= length) return frame;
    if (!character) return frame + 1;
    u32 best = length;
    for (const CharacterActionEntry* action : ListRange<CharacterActionEntry>(&character->actions))
      for (u32 key : {action->startFrame, action->endFrame})
        if (key >= frame + 1 && key < length && key < best) best = key;
    return best;
  }
  if (!character) return frame;
  auto distance = [frame](u32 key) { return key > frame ? u64(key) - frame : u64(frame) - key; };
  // The key frame closest to `frame` (the first one found wins a tie) wins ties against 0
  // and the length, and 0 wins a tie against the length.
  bool haveKey = false;
  u32 nearestKey = 0;
  for (const CharacterActionEntry* action : ListRange<CharacterActionEntry>(&character->actions))
    for (u32 key : {action->startFrame, action->endFrame})
      if (!haveKey || distance(key) < distance(nearestKey)) haveKey = true, nearestKey = key;
  u32 best = 0;
  if (distance(length) < distance(best)) best = length;
  if (haveKey && distance(nearestKey) <= distance(best)) best = nearestKey;
  return best;
}
