// A scene at a frame: where every placed character, object and text is, which picture it
// shows, how large, which sound it starts or stops (evaluation); the depth-sorted draw
// list built from that (rendering); the stage painted back to front (drawing); and the
// element under a stage point, front-most first (hit testing).
#pragma once

#include "adventure/movie/Movie.h"

// Evaluation modes of a render.
enum : u32 {
  kModeSilent = 0,    // stop every element voice; positions and pictures evaluated
  kModeEvaluate = 1,  // no sound is started or stopped (the export mix)
  kModeSeek = 2,      // (re)start each current sound where the frame puts it
  kModePlayback = 3,  // start a sound on the first frame of its segment, stop it on the last
};

// Stops the element's own voice (never the sound's other voices) and forgets it; at
// exit (shuttingDown) the sound device is gone and only the fields are cleared.
void ElementResults_StopVoice(ElementResults* element, u32 shuttingDown);

// --- Evaluation ---
struct PathPoint {
  i32 x, y;
};
PathPoint Path_PositionAtFrame(const SLArrayHeader* path, i32 pathLength, u32 pathFrames, u32 localFrame);
u32 Direction_FromDelta(i32 dx, i32 dy);
void CharacterInstance_EvaluateAndDraw(CharacterInstance* instance, u32 frame, u32 mode);
void ObjectInstance_EvaluateAndDraw(ObjectInstance* instance, u32 frame, u32 mode);
void TextItem_EvaluateAtFrame(TextItem* text, u32 frame);
i32 CharacterInstance_StateAtFrame(const CharacterInstance* instance, u32 frame);
u32 ObjectInstance_StateAtFrame(const ObjectInstance* instance, u32 frame);
// The action entry whose [startFrame, endFrame) holds the frame, or null.
CharacterActionEntry* IntervalList_FindAtFrame(const CharacterInstance* instance, u32 frame);
// The stage-mask depth scale of an alpha 0..255: 0.4 to 1.0.
double Depth_ScaleOfAlpha(i32 alpha);

// --- Sound items ---
// Opens nothing: attaches the item's player to the adventure devices.
bool SoundItem_AttachDevices(SoundItem* item);
void SoundItem_PlaybackStep(SoundItem* item, u32 frame, u32 mode);

// --- Rendering, drawing, hit testing ---
void Scene_RenderAtFrame(Scene* scene, u32 frame, u32 mode);
// Front to back: the deeper key first. Equal keys: a character before an object, a text
// before either; texts against characters and same-kind pairs compare equal (the order is
// not antisymmetric, so only the framework quicksort may sort with it). Inline and
// table-driven, since the sort of every rendered frame spends its time here.
inline i32 Scene_CompareDrawItems(const DrawItem* a, const DrawItem* b) {
  if (a->key != b->key) return a->key > b->key ? -1 : 1;
  // [a's kind][b's kind] for none, character, object, text.
  static constexpr i8 kEqualKeys[4][4] = {{0, 0, 0, 0}, {0, 0, -1, 0}, {0, 1, 0, 1}, {0, -1, -1, 0}};
  return a->kind < 4 && b->kind < 4 ? kEqualKeys[a->kind][b->kind] : 0;
}
// Sorts a draw list front to back (the order of SLQSort with Scene_CompareDrawItems).
void Scene_SortDrawItems(DrawItem* items, u32 count);
void Stage_Draw(const Movie* movie, i32 screenX, i32 screenY);

enum : u32 {
  kHitBackground = 1,
  kHitCharacter = 2,
  kHitObject = 4,
  kHitSupportPoint = 8,
  kHitText = 16,
  kHitStage = 32,
};
struct EditorSelection {
  u32 kind;  // one kHit* value
  i32 index;  // position in the element's own list, -1 when none
  i32 x, y;
  void* element;
  u32 supportIndex;
  i32 supportX, supportY;
};
// 0 nothing; 16 a text; 8 a support point; 1 any other kind (`kind` tells which).
u32 Stage_HitTest(const Movie* movie, i32 x, i32 y, u32 mask, EditorSelection* hit);
