// Evaluation of the placed characters, objects and texts at a frame. Nothing is kept
// between frames except the results written into the elements, so any frame can be
// evaluated in any order (scrubbing, playback, export). The arithmetic (truncations,
// integer steps, double products) is that of the stored movies: changing it would move
// elements in movies children have already made.
//
// Values read from project files are not trusted here: an action or state past the
// record's lists reads as the default action or the initial state, a support point past
// the carrier's as no carrier, a direction of 8 or more as 0, an empty path as the
// element's own position.
#include <cmath>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/SceneRender.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/SLSfx.h"

namespace {
// Truncation toward zero, saturated to the i32 range (absurd paths stay defined).
i32 TruncToI32(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0) return 0x7FFFFFFF;
  if (value <= -2147483648.0) return i32(-0x7FFFFFFF - 1);
  return i32(value);
}
i32 ClampToI32(i64 value) {
  return value > 0x7FFFFFFF ? 0x7FFFFFFF : value < -0x7FFFFFFFLL - 1 ? i32(-0x7FFFFFFF - 1) : i32(value);
}
u32 SafeDirection(u32 direction) { return direction < kDirectionCount ? direction : 0; }
// Movie frames since the segment began, as milliseconds (unsigned, as stored movies do).
u32 MillisecondsSince(u32 frame, u32 segmentStart) { return u32(u64(u32(frame - segmentStart)) * 1000 / 60); }

const SceneRecord* BackgroundOf(const Scene* scene) {
  return scene && scene->background >= 0 ? SceneCatalog_GetAt(u32(scene->background)) : nullptr;
}

// The mask alpha at a stage point: 0 off the stage or without a background.
i32 MaskAlpha(const Scene* scene, i32 x, i32 y) {
  const SceneRecord* background = BackgroundOf(scene);
  if (!background || x < 0 || y < 0 || x >= i32(kStageWidth) || y >= i32(kStageHeight)) return 0;
  SLErrorKeeper keep;
  const i32 alpha = SceneRecord_MaskAlphaAt(background, x, y);
  return alpha > 0 ? alpha : 0;
}

// The picture of an animation ms milliseconds into its segment: a limited animation
// holds its last picture once its repeats are over.
SL_GS_Image* AnimationFrameAt(const ItemFrameArray& frames, const TSLArray<u32>& sequence, u32 cycle, u32 repeat,
                              u32 ms) {
  const u32 entries = sequence.GetCount();
  if (entries == 0) return nullptr;
  u32 entry = 0;
  if (cycle > 0) {
    u32 phase = ms % cycle;
    if (repeat != kRepeatEndless && ms / cycle > repeat) phase = cycle - 1;
    entry = u32(u64(phase) * entries / cycle);
  }
  const u32 frame = sequence[entry];
  return frame < frames.GetCount() ? frames[frame] : nullptr;
}

// Rectangle of the scaled picture whose hot spot stands at the element's position.
void PlacePicture(ElementResults* element) {
  SL_GS_ImageInfo info{};
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!element->image || !gfx || !gfx->GetImageInfo(element->image, &info)) info = SL_GS_ImageInfo{};
  const double scale = element->scale;
  element->left = ClampToI32(i64(element->posX) - TruncToI32(info.pointX * scale));
  element->top = ClampToI32(i64(element->posY) - TruncToI32(info.pointY * scale));
  element->width = TruncToI32(info.width * scale);
  element->height = TruncToI32(info.height * scale);
}

// Starts the element's sound at the place that matches the frame. A sound that does not
// loop and whose start lies past its end stays silent: the device would wrap the start
// and replay part of a finished sound.
void StartVoice(ElementResults* element, SL_GS_SoundRecord* sound, u32 loops, u32 frame) {
  ElementResults_StopVoice(element, 0);
  CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
  SL_GS_SoundInfo info{};
  if (!sound || !sfx || !sfx->GetSoundInfo(sound, &info) || info.length == 0) return;
  // 64-bit steps: ms x rate overflows 32 bits about 97 s into a 44.1 kHz sound.
  u64 start = u64(MillisecondsSince(frame, element->segmentStart)) * info.format.samplesPerSecond / 1000;
  if (loops) start %= info.length;
  else if (start >= info.length) return;
  u32 voice = 0;
  if (sfx->Play(sound, loops, &voice, u32(start), 1.0)) {
    element->voice = sound;
    element->voiceNumber = voice;
  }
}

void DriveSound(ElementResults* element, u32 frame, u32 mode, SL_GS_SoundRecord* sound, u32 loops,
                bool stopAtEnd) {
  if (mode == kModeSilent) ElementResults_StopVoice(element, 0);
  if (mode == kModePlayback && frame == element->segmentEnd && stopAtEnd) ElementResults_StopVoice(element, 0);
  if (mode == kModeSeek || (mode == kModePlayback && frame == element->segmentStart))
    StartVoice(element, sound, loops, frame);
}

CharacterAction* ActionOf(CharacterRecord* character, i64 index) {
  return index >= 0 ? CatalogRecord_GetListEntryAt(character, u32(index)) : nullptr;
}
// The state's default action, or action 0 when the state or its default is unknown.
i64 DefaultActionOf(CharacterRecord* character, i32 state) {
  CharacterState* record = state >= 0 ? CharacterRecord_GetStateAt(character, u32(state)) : nullptr;
  const i64 action = record ? record->defaultAction : 0;
  return ActionOf(character, action) ? action : 0;
}
i32 InitialStateOf(CharacterRecord* character) {
  SLErrorKeeper keep;
  const i32 state = CharacterRecord_FindState(character, character->initialState.CStr());
  return state >= 0 ? state : 0;
}
// The state an action leads to once finished, -1 when none.
i32 NextStateOf(CharacterRecord* character, CharacterAction* action) {
  if (!action || action->nextState.IsEmpty()) return -1;
  SLErrorKeeper keep;
  return CharacterRecord_FindState(character, action->nextState.CStr());
}
u32 Pick(CharacterRecord* character, i64 action, u32 wanted) {
  return CharacterAction_PickDirection(ActionOf(character, action), SafeDirection(wanted));
}
}  // namespace

double Depth_ScaleOfAlpha(i32 alpha) { return (alpha * 120 / 255 + 80) / 200.0; }

void ElementResults_StopVoice(ElementResults* element, u32 shuttingDown) {
  if (element->voice && element->voiceNumber && !shuttingDown) {
    if (CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx) {
      SLErrorKeeper keep;  // a sound already destroyed is simply not playing
      sfx->Stop(element->voice, element->voiceNumber);
    }
  }
  element->voice = nullptr;
  element->voiceNumber = 0;
}

PathPoint Path_PositionAtFrame(const SLArrayHeader* path, i32 pathLength, u32 pathFrames, u32 localFrame) {
  const KeyPoint* points = KeyPointArray_Data(path);
  const u32 count = path->count;
  if (count == 0) return {0, 0};  // callers keep the element's own position
  if (count == 1 || pathLength == 0) return {points[0].x, points[0].y};
  if (localFrame >= pathFrames) return {points[count - 1].x, points[count - 1].y};
  i64 d = TruncToI32(double(localFrame) / double(pathFrames) * double(pathLength));
  u32 i = 0;
  while (i < count - 1 && d >= points[i].lengthToNext) d -= points[i].lengthToNext, ++i;
  if (i >= count - 1) return {points[count - 1].x, points[count - 1].y};
  const i32 segment = points[i].lengthToNext;
  if (segment == 0) return {points[i].x, points[i].y};
  const double f = double(d) / segment;
  const KeyPoint& a = points[i];
  const KeyPoint& b = points[i + 1];
  return {ClampToI32(a.x + i64(TruncToI32(f * (double(b.x) - a.x)))),
          ClampToI32(a.y + i64(TruncToI32(f * (double(b.y) - a.y))))};
}

u32 Direction_FromDelta(i32 dx, i32 dy) {
  const i64 dyScaled = i64(dy) * 13 / 10;  // vertical movement counts 1.3 times
  const i64 adx = dx < 0 ? -i64(dx) : dx, ady = dyScaled < 0 ? -dyScaled : dyScaled;
  if (adx > ady) return dx >= 0 ? 7 : 6;
  if (dyScaled < 0) {
    const double r = double(dx) / double(-dyScaled);
    return r < -0.5 ? 4 : r > 0.5 ? 5 : 3;
  }
  const double r = double(dx) / double(dyScaled == 0 ? 1 : dyScaled);
  return r < -0.5 ? 1 : r > 0.5 ? 2 : 0;
}

CharacterActionEntry* IntervalList_FindAtFrame(const CharacterInstance* instance, u32 frame) {
  if (frame < instance->firstFrame) return nullptr;
  for (CharacterActionEntry* entry : ListRange<CharacterActionEntry>(&instance->actions))
    if (entry->startFrame <= frame && frame < entry->endFrame) return entry;
  return nullptr;
}

i32 CharacterInstance_StateAtFrame(const CharacterInstance* instance, u32 frame) {
  if (frame < instance->firstFrame) return -1;
  CharacterRecord* character = instance->character >= 0 ? CharacterCatalog_GetAt(u32(instance->character)) : nullptr;
  if (!character) return -1;
  i32 state = InitialStateOf(character);
  for (const CharacterActionEntry* entry : ListRange<CharacterActionEntry>(&instance->actions)) {
    if (entry->startFrame > frame) continue;
    if (frame + 1 < entry->endFrame) continue;  // f >= endFrame - 1, without wrapping at 0
    const i32 next = NextStateOf(character, ActionOf(character, entry->action));
    if (next >= 0) state = next;
  }
  return state;
}

u32 ObjectInstance_StateAtFrame(const ObjectInstance* instance, u32 frame) {
  ObjectRecord* object = instance->object >= 0 ? ObjectCatalog_GetAt(u32(instance->object)) : nullptr;
  if (!object) return 0;
  SLErrorKeeper keep;
  const i32 initial = ObjectRecord_FindState(object, object->initialState.CStr());
  u32 state = initial >= 0 ? u32(initial) : 0;
  for (const ObjectStateEntry* entry : ListRange<ObjectStateEntry>(&instance->states))
    if (entry->startFrame <= frame && entry->state < object->states.GetCount()) state = entry->state;
  return state;
}

void CharacterInstance_EvaluateAndDraw(CharacterInstance* instance, u32 frame, u32 mode) {
  CharacterRecord* character = instance->character >= 0 ? CharacterCatalog_GetAt(u32(instance->character)) : nullptr;
  if (frame < instance->firstFrame || frame >= instance->endFrame || !character) {
    ElementResults_StopVoice(instance, 0);
    instance->visible = 0;
    return void(SLSetLastError(SL_OK));
  }
  const u32 sceneLength = instance->scene ? instance->scene->length : 0;
  i32 state = InitialStateOf(character);
  i64 action = DefaultActionOf(character, state);
  i64 wanted = -1;
  u32 dir = Pick(character, action, 0);
  u32 segmentStart = 0, segmentEnd = sceneLength;
  i32 x = instance->x, y = instance->y;
  const MovieLink* head = &instance->actions;
  const CharacterActionEntry* first = List_IsEmpty(head) ? nullptr : static_cast<CharacterActionEntry*>(head->next->self);
  if (first && frame < first->startFrame) {
    segmentEnd = first->startFrame - 1;  // idle before the first action
  } else if (first) {
    const CharacterActionEntry* previous = nullptr;
    bool allEnded = true;
    for (const CharacterActionEntry* entry : ListRange<CharacterActionEntry>(head)) {
      const u32 entryDirection = SafeDirection(entry->direction);
      if (entry->keepDirection && wanted == -1) wanted = entryDirection;
      if (frame < entry->startFrame) {
        segmentStart = previous ? previous->endFrame : 0;
        segmentEnd = entry->startFrame;
        action = DefaultActionOf(character, state);
        dir = Pick(character, action, wanted == -1 ? 0 : u32(wanted));
        allEnded = false;
        break;
      }
      segmentStart = entry->startFrame;
      segmentEnd = entry->endFrame - 1;
      action = ActionOf(character, entry->action) ? i64(entry->action) : DefaultActionOf(character, state);
      if (entry->path.count) {
        const PathPoint p = Path_PositionAtFrame(&entry->path, entry->pathLength, entry->pathFrames,
                                                 (frame < segmentEnd ? frame : segmentEnd) - entry->startFrame);
        x = p.x, y = p.y;
      }
      if (frame >= segmentEnd && !entry->keepDirection) {
        wanted = -1;
        dir = Pick(character, action, entryDirection);
      } else {
        dir = Pick(character, action, wanted == -1 ? entryDirection : u32(wanted));
      }
      if (frame >= segmentEnd) {
        const i32 next = NextStateOf(character, ActionOf(character, action));
        if (next >= 0) {
          state = next;
          action = DefaultActionOf(character, state);
          dir = Pick(character, action, wanted == -1 ? dir : u32(wanted));
        }
      }
      previous = entry;
      if (frame <= segmentEnd) {
        allEnded = false;
        break;
      }
    }
    if (allEnded) {
      segmentStart = previous->endFrame;
      segmentEnd = sceneLength;
      action = DefaultActionOf(character, state);
      dir = Pick(character, action, wanted == -1 ? 0 : u32(wanted));
    }
  }
  instance->segmentStart = segmentStart;
  instance->segmentEnd = segmentEnd;
  const CharacterAction* record = ActionOf(character, action);
  DriveSound(instance, frame, mode, record ? record->sound : nullptr, record ? record->soundLoops : 0, true);
  instance->visible = 1;
  instance->posX = x, instance->posY = y;
  const u32 ms = MillisecondsSince(frame, segmentStart);
  instance->image = record && dir < kDirectionCount ? AnimationFrameAt(record->frames[dir], record->sequence,
                                                                       record->duration, record->repeat, ms)
                                                    : nullptr;
  const i32 alpha = character->floating ? 200 : MaskAlpha(instance->scene, x, y);
  instance->scale = Depth_ScaleOfAlpha(alpha);
  PlacePicture(instance);
  instance->currentAction = u32(action);
  SLSetLastError(SL_OK);
}

void ObjectInstance_EvaluateAndDraw(ObjectInstance* instance, u32 frame, u32 mode) {
  ObjectRecord* object = instance->object >= 0 ? ObjectCatalog_GetAt(u32(instance->object)) : nullptr;
  if (!object) {
    ElementResults_StopVoice(instance, 0);
    instance->visible = 0;
    return void(SLSetLastError(SL_OK));
  }
  const u32 sceneLength = instance->scene ? instance->scene->length : 0;
  const u32 stateCount = object->states.GetCount();
  i32 initial;
  {
    SLErrorKeeper keep;
    initial = ObjectRecord_FindState(object, object->initialState.CStr());
  }
  u32 state = initial >= 0 ? u32(initial) : 0;
  i32 x = instance->x, y = instance->y;
  u32 segmentStart = 0, segmentEnd = sceneLength;
  const MovieLink* head = &instance->states;
  const ObjectStateEntry* first = List_IsEmpty(head) ? nullptr : static_cast<ObjectStateEntry*>(head->next->self);
  if (first && frame < first->startFrame) {
    segmentEnd = first->startFrame - 1;
  } else if (first) {
    const ObjectStateEntry* previous = nullptr;
    bool allEnded = true;
    for (const ObjectStateEntry* entry : ListRange<ObjectStateEntry>(head)) {
      if (frame < entry->startFrame) {
        segmentStart = previous ? previous->endFrame : 0;
        segmentEnd = entry->startFrame - 1;
        allEnded = false;
        break;
      }
      segmentStart = entry->startFrame;
      segmentEnd = entry->endFrame - 1;
      if (entry->state < stateCount) state = entry->state;
      if (entry->path.count) {
        const PathPoint p = Path_PositionAtFrame(&entry->path, entry->pathLength, entry->pathFrames,
                                                 (frame < segmentEnd ? frame : segmentEnd) - entry->startFrame);
        x = p.x, y = p.y;
      }
      previous = entry;
      if (frame <= segmentEnd) {
        allEnded = false;
        break;
      }
    }
    if (allEnded) segmentStart = previous->startFrame, segmentEnd = sceneLength;
  }
  // A carried object rests on its carrier's support point, scaled with the carrier.
  const ObjectInstance* carrier = instance->carrier;
  ObjectRecord* carrierRecord =
      carrier && carrier->object >= 0 ? ObjectCatalog_GetAt(u32(carrier->object)) : nullptr;
  const ObjectSupportPoint* support =
      carrierRecord ? CatalogRecord_GetListEntryAt(carrierRecord, instance->supportPoint) : nullptr;
  if (support) {
    x = ClampToI32(i64(TruncToI32(support->x * carrier->scale)) + carrier->left);
    y = ClampToI32(i64(TruncToI32(support->y * carrier->scale)) + carrier->top);
  }
  instance->segmentStart = segmentStart;
  instance->segmentEnd = segmentEnd;
  const ObjectState* record = state < stateCount ? object->states[state] : nullptr;
  const u32 loops = record ? record->soundLoops : 0;
  DriveSound(instance, frame, mode, record ? record->sound : nullptr, loops, !loops);
  instance->visible = 1;
  instance->posX = x, instance->posY = y;
  instance->image = record ? AnimationFrameAt(record->frames, record->sequence, record->duration, record->repeat,
                                              MillisecondsSince(frame, segmentStart))
                           : nullptr;
  if (support) {
    instance->scale = carrier->scale + 0.001;  // drawn just in front of its carrier
  } else if (object->floatDepth >= 0) {
    const SceneRecord* background = BackgroundOf(instance->scene);
    const i32 depthMin = background ? background->depthMin : 0, depthMax = background ? background->depthMax : 0;
    const i32 depth = depthMin + TruncToI32(double(depthMax - depthMin) * (object->floatDepth / 100.0));
    instance->scale = (79 - TruncToI32(depth / -2.55 * 1.22)) / 200.0;
  } else {
    instance->scale = Depth_ScaleOfAlpha(MaskAlpha(instance->scene, x, y));
  }
  PlacePicture(instance);
  instance->currentState = state;
  SLSetLastError(SL_OK);
}

void TextItem_EvaluateAtFrame(TextItem* text, u32 frame) {
  text->shown = 0;
  if (frame < text->startFrame || frame >= text->endFrame) return void(SLSetLastError(SL_OK));
  if (text->attachKind != kTextSpokenByCharacter && text->attachKind != kTextAttachedToObject) {
    text->shown = 1;
    return void(SLSetLastError(SL_OK));
  }
  const ElementResults* speaker =
      text->attachKind == kTextSpokenByCharacter
          ? static_cast<const ElementResults*>(static_cast<CharacterInstance*>(text->attachedTo))
          : static_cast<const ElementResults*>(static_cast<ObjectInstance*>(text->attachedTo));
  if (!text->attachedTo || !speaker->visible) {
    text->x = 0, text->y = -1000;
    return void(SLSetLastError(SL_OK));
  }
  const i32 anchorX = ClampToI32(i64(speaker->left) + speaker->width / 2);
  i32 anchorY = speaker->top;
  u32 flags = 0;
  if (anchorX < 332) flags |= 2;  // speaker on the left half: the balloon opens to the right
  if (speaker->top < text->balloon.boxHeight) {
    anchorY = ClampToI32(i64(speaker->top) + speaker->height);  // no room above: the balloon goes below
    flags |= 4;
  }
  if (text->variant) flags |= 8;
  Balloon_SetStyle(&text->balloon, 1 + flags);
  Balloon_Layout(&text->balloon);
  text->x = ClampToI32(i64(anchorX) - Balloon_TailX(&text->balloon));
  text->y = ClampToI32(i64(anchorY) - Balloon_TailY(&text->balloon));
  text->shown = 1;
  SLSetLastError(SL_OK);
}
