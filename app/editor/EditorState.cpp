#include "app/editor/EditorState.h"

#include <new>

#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/ModalStack.h"
#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiWindow.h"

namespace {

using OpenItemMenu = void (*)(u32);
using OpenSceneMenu = void (*)();
using ShowDialog = void (*)();
using StageTick = void (*)();
using EventFallback = void (*)(u32, std::uintptr_t, i32*);

constinit ShowDialog g_startupDialog = nullptr;
constinit OpenItemMenu g_itemMenu = nullptr;
constinit OpenSceneMenu g_sceneMenu = nullptr;
constinit StageTick g_referenceInput = nullptr;
constinit EventFallback g_eventFallback = nullptr;

}  // namespace

EditorState& Editor_State() {
  // Built once and kept to the end of the process: exit handlers that run after the GUI
  // is gone must still find the records they clear.
  static EditorState* state = [] {
    auto* created = new EditorState();
    Balloon_Construct(&created->tooltip.balloon);
    created->stageMode = kStageSelect;
    return created;
  }();
  return *state;
}

Movie* Editor_Movie() { return Movie_Get(); }

Scene* Editor_CurrentScene() {
  Movie* movie = Movie_Get();
  return Movie_SceneAt(movie, movie->currentScene);
}

u32 Editor_CurrentFrame() {
  const Scene* scene = Editor_CurrentScene();
  return scene ? scene->currentFrame : 0;
}

CSL_GS_BaseGfx* EditorGfx() { return App_Services().gfx; }

CSL_GS_GuiWindow* Editor_Control(u32 id) {
  SLErrorKeeper keep;
  return App_GuiManager().FindChildById(nullptr, id);
}

void Editor_EnableUndoButton(bool enable) {
  if (CSL_GS_GuiWindow* button = Editor_Control(kIdMenuDeshacer)) {
    SLErrorKeeper keep;
    ModalStack_Enable(button, enable);
  }
}

void Editor_SyncUndoButton() { Editor_EnableUndoButton(Movie_CanUndo(Movie_Get())); }

void Editor_TakeUndoPoint() {
  Movie_PushUndo(Movie_Get());
  Editor_EnableUndoButton(true);
}

void Editor_ClearSelection() {
  EditorState& state = Editor_State();
  state.hover = EditorSelection{};
  state.selection = EditorSelection{};
}

void Editor_SetStartupDialog(void (*show)()) { g_startupDialog = show; }
void Editor_ShowStartupDialog() {
  if (g_startupDialog) g_startupDialog();
}

void Editor_SetItemMenu(void (*open)(u32 fromStage)) { g_itemMenu = open; }
void Editor_OpenItemMenu(u32 fromStage) {
  if (g_itemMenu) g_itemMenu(fromStage);
}

void Editor_SetSceneMenu(void (*open)()) { g_sceneMenu = open; }
void Editor_OpenSceneMenu() {
  if (g_sceneMenu) g_sceneMenu();
}

void Editor_SetReferenceInput(void (*tick)()) { g_referenceInput = tick; }
void Editor_RunReferenceInput() {
  if (g_referenceInput)
    g_referenceInput();
  else
    Editor_State().stageMode = kStageSelect;
}

void Editor_SetEventFallback(void (*handle)(u32 type, std::uintptr_t data, i32* result)) {
  g_eventFallback = handle;
}
bool Editor_RunEventFallback(u32 type, std::uintptr_t data, i32* result) {
  if (!g_eventFallback) return false;
  g_eventFallback(type, data, result);
  return true;
}
