// The undo ring: before each change the editor pushes a deep copy of every scene into one
// of eight slots (the oldest dropped when all are used); undo puts the newest copy back.
// Slots fill from 0 upward, so the used slots are always 0 to n - 1. There is no redo.
// The copies keep their sound players detached: attaching starts a player's threads,
// which would make every edit of a movie with many sounds wait; undo opens them.
#include "adventure/movie/Movie.h"
#include "adventure/movie/MovieHooks.h"

namespace {
u32 UsedSlots(const Movie* movie) {
  u32 n = 0;
  while (n < kUndoSlots && movie->undo[n].savedScene != -1) ++n;
  return n;
}

void FreeSlotScenes(MovieLink* head, u32 shuttingDown) {
  for (Scene* scene : ListRange<Scene>(head)) {
    List_Remove(&scene->link);
    Scene_Free(scene, shuttingDown);
  }
}
}  // namespace

void Movie_PushUndo(Movie* movie) {
  movie->modified = 1;
  u32 n = UsedSlots(movie);
  if (n == kUndoSlots) {
    FreeSlotScenes(&movie->undo[0].scenes, movie->shuttingDown);
    for (u32 i = 1; i < kUndoSlots; ++i) {
      List_MoveAll(&movie->undo[i - 1].scenes, &movie->undo[i].scenes);
      movie->undo[i - 1].savedScene = movie->undo[i].savedScene;
    }
    n = kUndoSlots - 1;
  }
  UndoSlot& slot = movie->undo[n];
  for (const Scene* scene : ListRange<Scene>(&movie->scenes)) List_Append(&slot.scenes, &Scene_CloneForUndo(scene)->link);
  slot.savedScene = i32(movie->currentScene);
  SLSetLastError(SL_OK);
}

bool Movie_CanUndo(const Movie* movie) { return SLSucceed(UsedSlots(movie) > 0); }

void Movie_Undo(Movie* movie, u32* more) {
  Movie_ClearEditorSelection();
  *more = 0;
  const u32 n = UsedSlots(movie);
  if (n == 0) return void(SLSetLastError(SL_OK));
  *more = n > 1 ? 1 : 0;
  movie->modified = 1;
  FreeSlotScenes(&movie->scenes, movie->shuttingDown);
  UndoSlot& slot = movie->undo[n - 1];
  List_MoveAll(&movie->scenes, &slot.scenes);
  for (Scene* scene : ListRange<Scene>(&movie->scenes)) Scene_OpenPlayers(scene);
  movie->currentScene = u32(slot.savedScene);
  slot.savedScene = -1;
  Movie_SelectScene(movie, movie->currentScene);
}
