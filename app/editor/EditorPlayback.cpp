// Preview playback of the current scene or of the rest of the movie, the clean-up of the
// hover and selection records after every render, and stepping the selection through the
// scene's characters and objects.
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "foundation/SLError.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiWindow.h"

namespace {

void ShowPlayButton(bool playing) {
  SLErrorKeeper keep;
  if (CSL_GS_GuiWindow* play = Editor_Control(kIdRepPlay)) play->Show(!playing);
  if (CSL_GS_GuiWindow* pause = Editor_Control(kIdRepPause)) pause->Show(playing);
}

bool RecordStillShown(const EditorSelection& record) {
  switch (record.kind) {
    case kHitCharacter:
    case kHitObject:
    case kHitSupportPoint: {
      if (!record.element) return false;
      const ElementResults* element = record.kind == kHitCharacter
                                          ? static_cast<const ElementResults*>(static_cast<CharacterInstance*>(record.element))
                                          : static_cast<const ElementResults*>(static_cast<ObjectInstance*>(record.element));
      return element->visible != 0;
    }
    case kHitText:
      return record.element && static_cast<const TextItem*>(record.element)->shown;
    default:
      return false;
  }
}

// The pointer is over the visible pause button: a click there is the button's, not an
// interruption.
bool MouseOnVisiblePause(CSL_GS_BaseMouseInput* mouse) {
  CSL_GS_GuiWindow* pause = Editor_Control(kIdRepPause);
  if (!pause || !pause->IsVisibleInTree()) return false;
  const SLGuiRect& r = pause->GetWindowRect();
  i32 left = 0, top = 0;
  if (!App_GuiManager().GetWindowScreenPos(pause, &left, &top)) return false;
  const i32 x = mouse->GetX(), y = mouse->GetY();
  return x >= left && x < left + r.width && y >= top && y < top + r.height;
}

bool InterruptionThisTick() {
  CSL_GS_GuiManager& gui = App_GuiManager();
  if (CSL_GS_BaseMouseInput* mouse = gui.GetMouse(); mouse && !MouseOnVisiblePause(mouse)) {
    for (u32 button = 1; button <= 4; ++button)
      if (mouse->IsButtonDown(button) && mouse->HasButtonChanged(button)) return true;
  }
  if (CSL_GS_BaseKeyboardInput* keyboard = gui.GetKeyboard()) {
    for (u32 key = 0; key < 256; ++key)
      if (keyboard->HasKeyChanged(key)) return true;
  }
  return false;
}

}  // namespace

void Editor_RenderCurrent(u32 frame, u32 mode) {
  Scene* scene = Editor_CurrentScene();
  if (!scene) return;
  Scene_RenderAtFrame(scene, frame, mode);
  EditorSelection_Clear();
}

void EditorSelection_Clear() {
  EditorState& state = Editor_State();
  if (!RecordStillShown(state.hover)) state.hover = EditorSelection{};
  if (!RecordStillShown(state.selection)) state.selection = EditorSelection{};
}

void EditorPlayback_Start(u32 stopFrame, u32 jumpToStop, u32 wholeMovie) {
  EditorState& state = Editor_State();
  EditorPlayback_Stop();
  Movie* movie = Editor_Movie();
  for (;;) {
    Scene* scene = Editor_CurrentScene();
    if (!scene) return;
    state.playback.jumpToStop = jumpToStop;
    state.playback.wholeMovie = wholeMovie;
    state.playback.stopFrame = stopFrame > scene->length ? scene->length : stopFrame;
    if (state.playback.stopFrame > scene->currentFrame) {
      Editor_RenderCurrent(scene->currentFrame, kModeSeek);
      ShowPlayButton(true);
      state.playback.playing = 1;
      return;
    }
    Editor_RenderCurrent(scene->currentFrame, kModeSilent);
    if (!wholeMovie || movie->currentScene + 1 >= Movie_SceneCount(movie)) return;
    Editor_ClearSelection();
    Movie_SelectScene(movie, movie->currentScene + 1);
    Editor_RenderCurrent(0, kModeSilent);
  }
}

void EditorPlayback_Tick() {
  EditorState& state = Editor_State();
  if (!state.playback.playing) return;
  if (InterruptionThisTick()) {
    EditorPlayback_Stop();
    return;
  }
  Scene* scene = Editor_CurrentScene();
  if (!scene) {
    state.playback.playing = 0;
    ShowPlayButton(false);
    return;
  }
  const u32 next = scene->currentFrame + 1;
  if (next <= state.playback.stopFrame) {
    Editor_RenderCurrent(next, kModePlayback);
    return;
  }
  if (!state.playback.wholeMovie) {
    EditorPlayback_Stop();
    return;
  }
  Editor_RenderCurrent(scene->currentFrame, kModeSilent);
  state.playback.playing = 0;
  ShowPlayButton(false);
  Movie* movie = Editor_Movie();
  if (movie->currentScene + 1 < Movie_SceneCount(movie)) {
    Editor_ClearSelection();
    Movie_SelectScene(movie, movie->currentScene + 1);
    Editor_RenderCurrent(0, kModeSilent);
    EditorPlayback_Start(0xFFFFFFFF, 1, 1);
  }
}

void EditorPlayback_Stop() {
  EditorState& state = Editor_State();
  if (!state.playback.playing) return;
  state.playback.playing = 0;
  if (Scene* scene = Editor_CurrentScene()) {
    u32 frame = state.playback.jumpToStop ? state.playback.stopFrame : scene->currentFrame;
    if (!state.playback.jumpToStop) state.playback.stopFrame = frame;
    if (frame > scene->length) frame = scene->length;
    Editor_RenderCurrent(frame, kModeSilent);
  }
  ShowPlayButton(false);
}

void EditorSelection_Step(bool next) {
  EditorState& state = Editor_State();
  Scene* scene = Editor_CurrentScene();
  if (!scene) return;
  const u32 characters = Scene_CharacterCount(scene), objects = Scene_ObjectCount(scene);
  const u32 ring = characters + objects;
  if (ring == 0) {
    state.selection = EditorSelection{};
    return;
  }
  // Ring positions: characters 0..characters-1, then objects.
  u32 position;
  const EditorSelection& current = state.selection;
  if (current.kind == kHitCharacter && current.index >= 0 && u32(current.index) < characters)
    position = u32(current.index);
  else if (current.kind == kHitObject && current.index >= 0 && u32(current.index) < objects)
    position = characters + u32(current.index);
  else
    position = next ? ring - 1 : 0;
  // One full turn at most: when nothing is shown at this frame nothing gets selected.
  for (u32 steps = 0; steps < ring; ++steps) {
    position = next ? (position + 1) % ring : (position + ring - 1) % ring;
    if (position < characters) {
      CharacterInstance* character = Scene_CharacterAt(scene, position);
      if (character && character->visible) {
        state.selection = EditorSelection{kHitCharacter, i32(position), character->posX, character->posY, character,
                                          0, 0, 0};
        return;
      }
    } else {
      ObjectInstance* object = Scene_ObjectAt(scene, position - characters);
      if (object && object->visible) {
        state.selection = EditorSelection{kHitObject, i32(position - characters), object->posX, object->posY, object,
                                          0, 0, 0};
        return;
      }
    }
  }
  state.selection = EditorSelection{};
}
