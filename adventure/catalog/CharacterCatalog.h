// The characters of the catalogue: one record per "Gfx\Personajes" item pack, with the
// states a character can be in and the actions it performs, each action animated in up
// to eight directions, with its sound, the references the user picks on the stage and
// the state changes it causes in objects.
#pragma once

#include <atomic>
#include <cstdint>

#include "adventure/catalog/CatalogList.h"
#include "adventure/catalog/ItemAnimation.h"
#include "foundation/SLString.h"

class CSLThread;

// Directions: 0 front, 1 front-left, 2 front-right, 3 back, 4 back-left, 5 back-right,
// 6 left, 7 right.
inline constexpr u32 kDirectionCount = 8;

struct CharacterState {
  CSLStringAnsi name;
  i32 defaultAction;  // action shown while standing in the state
  i32 walkAction;     // -1: none
  i32 talkAction;     // -1: none
  u32 exitFlag;
};

enum ActionReferenceKind : u32 {
  kReferenceStage = 1,         // "Escenario": a point of the background
  kReferenceCharacter = 2,     // "Personaje"
  kReferenceObject = 3,        // "Objeto"
  kReferenceSupportPoint = 4,  // "ObjetoApoyo"
};

struct ActionReference {
  u32 kind;
  CSLStringAnsi referenceClass;  // empty: any
  u32 approach;                  // walk up to the reference first
  i32 dx[kDirectionCount], dy[kDirectionCount];
  u32 exitFlag;
};

// An object of that name in requiredState passes to newState when the action is placed on it.
struct ActionStateEffect {
  CSLStringAnsi objectName, requiredState, newState;
  u32 exitFlag;
};

struct ActionTakeObject {
  CSLStringAnsi first, second;
  u32 exitFlag;
};

struct CharacterAction {
  CSLStringAnsi name;
  CSLStringAnsi actionClass;
  ItemFrameArray frames[kDirectionCount];  // empty for a direction without frames
  TSLArray<u32> sequence;
  CSLStringAnsi availableInState;  // empty: every state
  u32 visible;
  u32 dialogue;  // 0 none, 1 audio only, 2 text only, 3 text and audio
  u32 isWalk;
  u32 duration;  // milliseconds per pass
  u32 repeat;    // kRepeatEndless
  SL_GS_SoundRecord* sound;
  u32 soundLoops;
  CSLStringAnsi nextState;  // empty: none
  u32 releasesForcedDirection;
  TSLPtrArray<ActionReference> references;
  TSLPtrArray<ActionStateEffect> stateEffects;
  TSLPtrArray<ActionTakeObject> takenObjects;
  u32 leavesObject;
  u32 exitFlag;  // when set at destruction the images and the sound are left alone
};

struct CharacterRecord : CatalogEntry {
  CSLStringAnsi name;
  CSLStringAnsi itemClass;
  CSLStringAnsi initialState;
  u32 floating;
  TSLPtrArray<CharacterState> states;    // the position is the state index
  TSLPtrArray<CharacterAction> actions;  // the position is the action index
  u32 exitFlag;
};

extern CatalogList CharacterCatalog;

void CharacterRecord_Construct(CharacterRecord* record);
void CharacterRecord_Destruct(CharacterRecord* record);
void CharacterAction_Construct(CharacterAction* action);
// Releases the frames and the sound through the devices unless the exit flag is set.
void CharacterAction_Destruct(CharacterAction* action);

// The action at n, null past the end; the number of actions.
CharacterAction* CatalogRecord_GetListEntryAt(CharacterRecord* record, u32 n);
u32 CatalogRecord_GetListEntryCount(const CharacterRecord* record);
// The index of the state of that name (letter case aside), -1 when none.
i32 CharacterRecord_FindState(const CharacterRecord* record, const char* name);
CharacterState* CharacterRecord_GetStateAt(CharacterRecord* record, u32 index);

// A direction of the action that has frames: the wanted one when it has, else the first
// of its row of alternates that has, else the first direction 0..7 that has.
u32 CharacterAction_PickDirection(const CharacterAction* action, u32 wanted);
// What FrameAt answers once a limited animation is over and the last frame is not held.
inline SL_GS_Image* ActionFrameOver() { return reinterpret_cast<SL_GS_Image*>(~std::uintptr_t(0)); }
// The frame to show t milliseconds after the action began in that direction;
// ActionFrameOver() once the repeats have elapsed (unless holdLast keeps the last entry);
// null for a direction without frames.
SL_GS_Image* CharacterAction_FrameAt(const CharacterAction* action, u32 direction, u32 t, bool holdLast);
u32 CharacterAction_GetReferenceCount(const CharacterAction* action);
// One "Necesita_Referencia" value (a kind, then "Clase", "Acercar" and "Delta_Acercar"
// attributes) into a reference built with zero offsets.
bool ActionReference_Parse(const char* text, ActionReference* reference);

// Loads the item pack at `path` and inserts its character into CharacterCatalog, storing
// in *progress (when given) a percentage between progressStart and progressEnd before
// each action. Null with the error code on failure, as for the other loaders.
CharacterRecord* CharacterCatalog_LoadItem(const char* path, CSLThread* thread, std::atomic<uint32_t>* progress,
                                           u32 progressStart, u32 progressEnd);

CharacterRecord* CharacterCatalog_GetAt(u32 index);
i32 CharacterCatalog_FindById(const ItemId& id);
void CharacterCatalog_Free();
