// Placing an action on a character: the dialogue typed or recorded for it, the walk grid
// built from the background's mask and the elements standing on it, the reference the
// child points at (with the walk that reaches it), and the entries written into the
// scene: the walk, the performing entry, the balloon, the voice and the state changes the
// action causes in the object it was aimed at.
//
// Times are unsigned 32-bit frames at 60 per second; positions are stage pixels. The walk
// grid has one cell per 2 x 2 stage pixels.
#pragma once

#include "adventure/movie/SceneRender.h"

struct CharacterRecord;
struct CharacterAction;
struct ActionReference;
struct ObjectSupportPoint;
class CSL_GS_PathFinder2D;

inline constexpr u32 kWalkGridWidth = 332, kWalkGridHeight = 186;

// Commands that start a placement and change what is asked for.
enum : u32 {
  kPlaceWrittenDialogue = 110003,  // a text is required
  kPlaceSpokenDialogue = 110004,   // an audio is required, no text is asked
};

// Fatal codes of placement ("Insuficiente memoria").
enum : i32 {
  kFatalActionSoundPlayer = -921,
  kFatalDialogueText = -926,
  kFatalAudioName = -931,
  kFatalWalkGrid = -936,
  kFatalPlacement = -971,
};

// The length of the sound item's file in frames at the item's speed; 0 when it does not
// open or its length is unknown. Attaches the item's player to the devices first (a
// player that cannot be attached ends the program, -921).
u32 ActionSound_Load(SoundItem* sound);

// The part of a typed dialogue that is kept: from the blanks directly before the first
// byte above 32 (bytes compared unsigned). Null when no such byte remains.
const char* EditorAction_TrimDialogue(const char* text);

// --- The walk grid ---
// Builds the grid in the path finder: cells under a transparent mask pixel, under the
// feet of every other character shown, and under every object shown are blocked; the
// walk starts at the walker's cell. False (the finder's code) when the grid cannot be
// made.
bool EditorAction_BuildWalkGrid(CSL_GS_PathFinder2D* finder, const Scene* scene, const CharacterInstance* walker);

// --- The reference ---
// What a placement works with once the action is chosen.
struct ActionPlacementContext {
  Scene* scene;
  CharacterInstance* who;      // the selected placed character, as last evaluated
  CharacterRecord* character;  // its catalogue record
  u32 actionIndex;             // in character->actions
  CSL_GS_PathFinder2D* pathFinder;
};
CharacterAction* ActionPlacementContext_Action(const ActionPlacementContext& context);

// The kinds of hover the action's references may point at (for the stage hit test).
u32 EditorAction_ReferenceKinds(const CharacterAction* action, bool floating);
// The direction that a support point forces on a character of that class (0, 3, 6 or
// 7), -1 when the point names no such direction for it.
i32 EditorAction_SupportDirection(ObjectSupportPoint* point, const char* characterClass);
// Moves the target by the reference's approach offsets for direction d (or the first
// alternative direction that has offsets), scaled by the element's drawn scale.
void EditorAction_ApproachTarget(const ActionReference* reference, u32 direction, double scale, i32* x, i32* y);
// Tries the references in list order for a walk to `hover`; the index of the one that
// found a path (the finder keeps it, the target is stored), -1 when none did.
i32 EditorAction_PathTest(const ActionPlacementContext& context, const EditorSelection& hover, i32* targetX,
                          i32* targetY);
// The index of the first reference that accepts `hover` (a walk that is needed must
// have passed the path test), -1 when none does.
i32 EditorAction_AcceptReference(const ActionPlacementContext& context, const EditorSelection& hover, bool pathPassed);

// --- Writing the action ---
struct ActionPlacementWrite {
  ActionPlacementContext context;
  u32 frame;                         // the scene's current frame f
  u32 pendingCommand;
  const char* dialogueText;          // "" or null: none
  const char* audioName;             // "" or null: none
  const ActionReference* reference;  // the accepting reference; null for an action without
  EditorSelection referenceHit;
  i32 targetX, targetY;
};
// Cuts the character at f and writes the voice, the balloon, the walk, the performing
// entry and the state changes; the frame at which the placed action ends (the end of a
// state chain when that is later). Takes no undo point and does not render.
u32 EditorAction_Write(const ActionPlacementWrite& placement);
