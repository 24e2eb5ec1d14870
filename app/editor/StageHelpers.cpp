#include "app/editor/StageHelpers.h"

#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/MovieHooks.h"
#include "adventure/movie/SceneRender.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "gui/SLGuiSlider.h"

namespace {

i32 MaskAlpha(const SceneRecord* background, i32 x, i32 y) {
  if (x < 0 || y < 0 || u32(x) >= kStageWidth || u32(y) >= kStageHeight) return 0;
  const u8* alpha = background->mask.GetPixelAddress(u32(x), u32(y));
  return alpha ? *alpha : 0;
}

bool IsAnyName(const char* token) { return SLStrICmpA(token, "TODOS") == 0 || SLStrICmpA(token, "TODAS") == 0; }

}  // namespace

u32 Stage_FindNearestOpaquePoint(const SceneRecord* background, i32* x, i32* y) {
  if (!background || !x || !y) return SLFail(SL_E_NULL_DATA, 0xFFFFFFFFu);
  const i32 startX = *x, startY = *y;
  if (i32 alpha = MaskAlpha(background, startX, startY); alpha > 0) return SLSucceed(u32(alpha));
  // Down the column first (elements stand on the floor below the pointer), then up, then
  // along the row to the right and to the left. The loops are clamped to the stage, so a
  // start point off the stage still searches the part of its row or column on it.
  const i32 lastX = i32(kStageWidth) - 1, lastY = i32(kStageHeight) - 1;
  for (i32 row = startY < -1 ? 0 : startY + 1; row <= lastY; ++row)
    if (i32 alpha = MaskAlpha(background, startX, row); alpha > 0) return *y = row, SLSucceed(u32(alpha));
  for (i32 row = startY > lastY + 1 ? lastY : startY - 1; row >= 0; --row)
    if (i32 alpha = MaskAlpha(background, startX, row); alpha > 0) return *y = row, SLSucceed(u32(alpha));
  for (i32 column = startX < -1 ? 0 : startX + 1; column <= lastX; ++column)
    if (i32 alpha = MaskAlpha(background, column, startY); alpha > 0) return *x = column, SLSucceed(u32(alpha));
  for (i32 column = startX > lastX + 1 ? lastX : startX - 1; column >= 0; --column)
    if (i32 alpha = MaskAlpha(background, column, startY); alpha > 0) return *x = column, SLSucceed(u32(alpha));
  return SLFail(SL_E_NOT_FOUND, 0xFFFFFFFFu);
}

u32 ClassList_Match(const char* list, const char* name, u32 step, u32* value) {
  if (value) *value = 0;
  if (!list || !name) return SLFail(SL_E_NULL_DATA, 0u);
  if (step == 0) step = 1;
  static const char kSeparators[] = ",", kQuotes[] = "\"'", kBlanks[] = " \t";
  char token[1024];
  u32 found = 0;
  // Every token is read, not only those up to the first match: an exclusion later in the
  // list ("TODOS, -Silla") still refuses the name.
  for (u64 position = 1; position <= 0xFFFFFFFFu; position += step) {
    SLGetTokenA(token, sizeof token, list, u32(position), kSeparators, kQuotes, kBlanks, true);
    if (!token[0]) break;
    if (token[0] == '-') {
      if (SLStrICmpA(token + 1, name) == 0) return SLSucceed(0u);
      continue;
    }
    if (!found && (IsAnyName(token) || SLStrICmpA(token, name) == 0)) found = u32(position);
  }
  if (found && step == 2 && value && found < 0xFFFFFFFFu) {
    char number[256];
    SLGetTokenA(number, sizeof number, list, found + 1, kSeparators, kQuotes, kBlanks, true);
    *value = SLStrToUIntA(number, u32(SLStrLenA(number)), 10, nullptr);
  }
  return SLSucceed(found);
}

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
