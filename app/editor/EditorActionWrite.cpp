// Writing a placed action into the scene. The character is first cut at the current
// frame f; then, in order: its voice and its balloon (lengths Ls and Lt), the walk entry
// when the action needs one (from f, W frames, carrying the dialogue when the action is
// the walk itself), the performing entry (from the walk's end s, d frames, stretched to
// hold the dialogue), and the chain of state changes of the object the action was aimed
// at (from the action's end e). All frame arithmetic is unsigned 32-bit, as the stored
// movies were made with.
#include <cmath>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "app/services/AppGlobals.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorAction.h"
#include "app/editor/EditorActionEdits.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "gamesystem/SLPathFinder2D.h"

namespace {
[[noreturn]] void OutOfMemory() { App_Fatal(kFatalPlacement, "Insuficiente memoria"); }

template <class T>
T* NewRecord() {
  void* block = SLAllocZeroed(sizeof(T));
  if (!block) OutOfMemory();
  return static_cast<T*>(block);
}

CharacterActionEntry* AppendAction(CharacterInstance* character) {
  CharacterActionEntry* entry = NewRecord<CharacterActionEntry>();
  CharacterActionEntry_Init(entry);
  entry->owner = character;
  List_Append(&character->actions, &entry->link);
  return entry;
}

ObjectStateEntry* AppendState(ObjectInstance* object) {
  ObjectStateEntry* entry = NewRecord<ObjectStateEntry>();
  ObjectStateEntry_Init(entry);
  entry->owner = object;
  List_Append(&object->states, &entry->link);
  return entry;
}

KeyPoint* SetPathSize(SLArrayHeader* path, u32 count) {
  if (!KeyPointArray_SetSize(path, count)) OutOfMemory();
  return KeyPointArray_Data(path);
}

// The length of a timed animation: one pass times its repeats (an endless one counts as
// one pass), milliseconds to frames. Kept to what a frame number can still hold after
// `start`, so that no entry ends before it begins.
u32 AnimationFrames(u32 duration, u32 repeat, u32 start) {
  u64 ms = duration;
  if (repeat != 0 && repeat != kRepeatEndless) ms *= repeat;
  const u64 frames = ms * 60 / 1000;
  const u64 room = 0xFFFFFFFEull - start;
  return u32(frames < room ? frames : room);
}
// a + b, kept below the "to the end" mark.
u32 EndOf(u32 start, u32 length) {
  const u64 end = u64(start) + length;
  return end < 0xFFFFFFFEull ? u32(end) : 0xFFFFFFFEu;
}
u32 Larger(u32 a, u32 b) { return a > b ? a : b; }

// Lengths of the key points: trunc(sqrt(dx² + dy²)) with the sum of squares in 32 bits.
i32 MeasurePath(KeyPoint* points, u32 count) {
  i32 total = 0;
  for (u32 i = 0; i + 1 < count; ++i) {
    const u32 dx = u32(points[i + 1].x) - u32(points[i].x), dy = u32(points[i + 1].y) - u32(points[i].y);
    const u32 squares = dx * dx + dy * dy;
    points[i].lengthToNext = i32(std::sqrt(double(squares)));
    total = i32(u32(total) + u32(points[i].lengthToNext));
  }
  if (count) points[count - 1].lengthToNext = 0;
  return total;
}

// The voice of the dialogue: appended, measured, and dropped again when it has no length.
SoundItem* AddVoice(Scene* scene, CharacterInstance* character, const char* name, u32* length) {
  SoundItem* sound = NewRecord<SoundItem>();
  SoundItem_Construct(sound);
  sound->scene = scene;
  sound->kind = kSoundSpoken;
  sound->attachedTo = character;
  sound->speed = 1.0;
  if (!sound->fileName.Assign(name)) OutOfMemory();
  List_Append(&scene->sounds, &sound->link);
  *length = ActionSound_Load(sound);
  if (*length != 0) return sound;
  EditorEdit_RemoveSound(sound);
  return nullptr;
}

TextItem* AddBalloon(Scene* scene, CharacterInstance* character, const char* text, u32* length) {
  TextItem* item = NewRecord<TextItem>();
  TextItem_Init(item);
  item->scene = scene;
  item->attachKind = kTextSpokenByCharacter;
  item->attachedTo = character;
  item->balloon.width = 300;
  Balloon_SetStyle(&item->balloon, 1);
  item->balloon.font = AppCommonFonts[APP_FONT_COMIC_9B];
  Balloon_SetText(&item->balloon, text);
  Balloon_Layout(&item->balloon);
  List_Append(&scene->texts, &item->link);
  // A child reads about ten characters a second, and needs a second to start.
  *length = (SLStrLenA(text) + 9) * 60 / 10;
  return item;
}

// The dialogue gets its frames from `start`: the voice for its length, the balloon at
// least as long as everything before it; the span grows to hold both.
u32 PlaceDialogue(SoundItem* voice, u32 voiceLength, TextItem* text, u32 textLength, u32 start, u32 span) {
  if (voice) {
    voice->startFrame = start, voice->endFrame = EndOf(start, voiceLength);
    span = Larger(span, voiceLength);
  }
  if (text) {
    textLength = Larger(textLength, span);
    text->startFrame = start, text->endFrame = EndOf(start, textLength);
    span = Larger(span, textLength);
  }
  return span;
}

i32 WalkActionAt(CharacterRecord* character, const CharacterInstance* who, u32 frame) {
  const i32 state = CharacterInstance_StateAtFrame(who, frame);
  CharacterState* record = state >= 0 ? CharacterRecord_GetStateAt(character, u32(state)) : nullptr;
  return record ? record->walkAction : -1;
}

// The point the performing character turns to.
void FacingPoint(const ActionPlacementWrite& placement, i32* x, i32* y) {
  const EditorSelection& hit = placement.referenceHit;
  switch (hit.kind) {
    case kHitBackground:
    case kHitStage:
      *x = hit.x, *y = hit.y;
      return;
    case kHitCharacter:
    case kHitObject:
    case kHitSupportPoint:
      if (hit.element) {
        const ElementResults* element = hit.kind == kHitCharacter
                                            ? static_cast<const ElementResults*>(static_cast<CharacterInstance*>(hit.element))
                                            : static_cast<const ElementResults*>(static_cast<ObjectInstance*>(hit.element));
        *x = element->posX, *y = element->posY;
        return;
      }
      break;
    default:
      break;
  }
  *x = placement.targetX, *y = placement.targetY;
}

bool StateHeld(const ObjectStateEntry* first, const ObjectStateEntry* last, u32 state) {
  for (const ObjectStateEntry* entry = first;; entry = static_cast<const ObjectStateEntry*>(entry->link.next->self)) {
    if (entry->state == state) return true;
    if (entry == last) return false;
  }
}

// The object the action was aimed at changes state when one of the action's rules names
// it and the state it is in when the action ends; the new state's chain of next states
// follows, each state once (a chain that leads back stops before repeating itself).
u32 ChangeObjectState(CharacterAction* action, ObjectInstance* object, u32 end) {
  ObjectRecord* record = object->object >= 0 ? ObjectCatalog_GetAt(u32(object->object)) : nullptr;
  if (!record) return end;
  const u32 current = ObjectInstance_StateAtFrame(object, end);
  ObjectState* currentState = current < record->states.GetCount() ? record->states[current] : nullptr;
  if (!currentState) return end;
  ActionStateEffect* rule = nullptr;
  for (u32 i = 0; i < action->stateEffects.GetCount() && !rule; ++i) {
    ActionStateEffect* effect = action->stateEffects[i];
    if (SLStrICmpA(effect->objectName.CStr(), record->name.CStr()) == 0 &&
        SLStrICmpA(effect->requiredState.CStr(), currentState->name.CStr()) == 0)
      rule = effect;
  }
  if (!rule) return end;
  EditorEdit_CutStates(object, end);
  SLErrorKeeper keep;
  i32 state = ObjectRecord_FindState(record, rule->newState.CStr());
  u32 p = end;
  const ObjectStateEntry* first = nullptr;
  const ObjectStateEntry* last = nullptr;
  while (state >= 0 && (!first || !StateHeld(first, last, u32(state)))) {
    ObjectState* next = record->states[u32(state)];
    ObjectStateEntry* entry = AppendState(object);
    entry->state = u32(state);
    entry->startFrame = p;
    const u32 length = AnimationFrames(next->duration, next->repeat, p);
    KeyPoint* point = SetPathSize(&entry->path, 1);
    point[0] = KeyPoint{object->posX, object->posY, 0};
    entry->pathLength = 0;
    entry->pathFrames = length;
    entry->endFrame = EndOf(p, length);
    p = entry->endFrame;
    if (!first) first = entry;
    last = entry;
    state = next->nextState.IsEmpty() ? -1 : ObjectRecord_FindState(record, next->nextState.CStr());
  }
  return p;
}
}  // namespace

u32 EditorAction_Write(const ActionPlacementWrite& placement) {
  const ActionPlacementContext& context = placement.context;
  Scene* scene = context.scene;
  CharacterInstance* who = context.who;
  CharacterRecord* character = context.character;
  CharacterAction* action = ActionPlacementContext_Action(context);
  const u32 f = placement.frame;
  if (!scene || !who || !action) return f;

  EditorEdit_CutCharacter(scene, who, f);

  u32 voiceLength = 0, textLength = 0;
  SoundItem* voice = placement.audioName && placement.audioName[0]
                         ? AddVoice(scene, who, placement.audioName, &voiceLength)
                         : nullptr;
  TextItem* text = placement.dialogueText && placement.dialogueText[0]
                       ? AddBalloon(scene, who, placement.dialogueText, &textLength)
                       : nullptr;

  // A forced facing carries over from the character's last remaining action.
  i32 forced = -1;
  if (!List_IsEmpty(&who->actions)) {
    const CharacterActionEntry* last = static_cast<const CharacterActionEntry*>(who->actions.prev->self);
    if (last->keepDirection) forced = i32(last->direction < kDirectionCount ? last->direction : 0);
  }
  const bool hasReferences = action->references.GetCount() != 0 && placement.reference;
  i32 supportDirection = -1;
  if (hasReferences && placement.referenceHit.kind == kHitSupportPoint) {
    ObjectInstance* carrier = static_cast<ObjectInstance*>(placement.referenceHit.element);
    ObjectRecord* record = carrier && carrier->object >= 0 ? ObjectCatalog_GetAt(u32(carrier->object)) : nullptr;
    ObjectSupportPoint* point = record ? CatalogRecord_GetListEntryAt(record, placement.referenceHit.supportIndex) : nullptr;
    supportDirection = EditorAction_SupportDirection(point, character->itemClass.CStr());
  }

  who->lastPlacedAction = i32(context.actionIndex);
  const bool walkNeeded = hasReferences && (placement.reference->approach || action->isWalk);
  const i32 px = who->posX, py = who->posY;
  const i32 tx = hasReferences ? placement.targetX : px, ty = hasReferences ? placement.targetY : py;

  i32 ex = px, ey = py;
  u32 s = f;
  const i32 walkAction = walkNeeded ? (action->isWalk ? i32(context.actionIndex) : WalkActionAt(character, who, f)) : -1;
  if (walkAction >= 0) {
    CharacterActionEntry* walk = AppendAction(who);
    walk->startFrame = f;
    walk->action = u32(walkAction);
    const bool floating = character->floating != 0;
    const u32 found = !floating && context.pathFinder ? context.pathFinder->GetPathLength() : 0;
    const u32 count = found >= 2 ? found : 2;
    KeyPoint* points = SetPathSize(&walk->path, count);
    points[0] = KeyPoint{px, py, 0};
    for (u32 i = 1; i + 1 < count; ++i) {
      u32 cx = 0, cy = 0;
      context.pathFinder->GetPathPoint(i, &cx, &cy);
      points[i] = KeyPoint{i32(cx * 2), i32(cy * 2), 0};
    }
    points[count - 1] = KeyPoint{tx, ty, 0};
    walk->pathLength = MeasurePath(points, count);
    // A hundred pixels a second.
    u32 walkFrames = u32(walk->pathLength) * 60 / 100;
    if (walkFrames == 0 || (!floating && found < 2)) walkFrames = 1;
    walk->pathFrames = walkFrames;
    walk->endFrame = EndOf(f, walkFrames);
    u32 span = walkFrames;
    if (action->isWalk) span = PlaceDialogue(voice, voiceLength, text, textLength, f, span);
    CharacterAction* walkRecord = CatalogRecord_GetListEntryAt(character, u32(walkAction));
    if (walkRecord && walkRecord->releasesForcedDirection) forced = -1;
    if (forced >= 0) {
      walk->direction = u32(forced), walk->keepDirection = 1;
    } else {
      walk->direction = Direction_FromDelta(i32(i64(tx) - px), i32(i64(ty) - py)), walk->keepDirection = 0;
    }
    ex = tx, ey = ty;
    s = EndOf(f, span);
  }
  if (supportDirection >= 0) forced = supportDirection;

  u32 e = s;
  if (!action->isWalk) {
    CharacterActionEntry* perform = AppendAction(who);
    perform->startFrame = s;
    perform->action = context.actionIndex;
    KeyPoint* points = SetPathSize(&perform->path, 2);
    points[0] = points[1] = KeyPoint{ex, ey, 0};
    perform->pathLength = 0;
    u32 d = AnimationFrames(action->duration, action->repeat, s);
    d = PlaceDialogue(voice, voiceLength, text, textLength, s, d);
    perform->pathFrames = d;
    perform->endFrame = EndOf(s, d);
    if (!action->releasesForcedDirection && forced >= 0) {
      perform->direction = u32(forced), perform->keepDirection = 1;
    } else if (hasReferences) {
      i32 rx = 0, ry = 0;
      FacingPoint(placement, &rx, &ry);
      perform->direction = Direction_FromDelta(i32(i64(rx) - ex), i32(i64(ry) - ey)), perform->keepDirection = 0;
    } else {
      perform->direction = 0, perform->keepDirection = 0;
    }
    e = perform->endFrame;
  } else if (walkAction < 0) {
    // The walk is the action, and there is nowhere to walk: the dialogue still plays,
    // as long as it would with a performing entry.
    const u32 d = PlaceDialogue(voice, voiceLength, text, textLength, s, AnimationFrames(action->duration, action->repeat, s));
    e = EndOf(s, d);
  }

  u32 end = e;
  if (hasReferences && placement.referenceHit.kind == kHitObject && placement.referenceHit.element)
    end = Larger(end, ChangeObjectState(action, static_cast<ObjectInstance*>(placement.referenceHit.element), e));

  if (placement.pendingCommand == kPlaceWrittenDialogue) who->lastPlacedAction = -3;
  if (placement.pendingCommand == kPlaceSpokenDialogue) who->lastPlacedAction = -2;
  SLSetLastError(SL_OK);
  return end;
}
