// The editor loop and its tear-down. Each pass either hands a moved slider's event to the
// dispatcher out of turn (so that dragging the timeline never waits behind the queue),
// runs a logic tick, or draws a frame; then it looks for a close request and for the
// conditions that end the editor.
#include "app/editor/EditorScreen.h"

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorState.h"
#include "app/screens/LoadingScreen.h"
#include "app/screens/ScreenLoop.h"
#include "app/services/ModalStack.h"
#include "adventure/movie/MovieHooks.h"
#include "foundation/SLDebug.h"
#include "foundation/SLError.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiWindow.h"

namespace {

i32 (*g_loadingScreen)() = &LoadingScreen_Run;

}  // namespace

void EditorScreen_SetLoadingScreen(i32 (*run)()) { g_loadingScreen = run; }

void EditorScreen_LogicTick(i32* result) {
  SL_GS_RunPhaseHooks(1);
  SLCriticalSectionLock lock(&AppLock_Get());
  EditorScreen_UpdateToolbarTooltips();
  EditorPlayback_Tick();
  AppEvent event;
  if (AppEventQueue_Take(&event)) EditorScreen_OnEvent(event.type, event.data, result);
  EditorScreen_StageInput();
  App_GuiManager().Update(false);
}

void EditorScreen_Draw() {
  AppServices& s = App_Services();
  if (!AppScreen_ReadyToDraw()) return;
  SL_GS_RunPhaseHooks(2);
  s.frameTime->BeginFrame();
  EditorScreen_DrawScene();
  EditorScreen_DrawOverlay();
  s.gfx->EndFrame();
  s.frameTime->EndFrame();
}

i32 EditorScreen_Run() {
  AppServices& s = App_Services();
  if (g_loadingScreen) {
    const i32 loaded = g_loadingScreen();
    if (loaded < 0) return loaded;
  }
  SLDebugPrint("Pantalla: editor\n");
  EditorScreen_Load();
  Editor_ShowStartupDialog();
  s.frameTime->SetRate(60);
  EditorState& state = Editor_State();
  CSL_GS_MainWindow& window = App_MainWindow();
  state.result = 0;
  i32 result = 0;
  for (;;) {
    AppEvent slider;
    if (AppEventQueue_TakeOfType(APP_EVENT_SLIDER, &slider)) {
      SLCriticalSectionLock lock(&AppLock_Get());
      EditorScreen_OnEvent(slider.type, slider.data, &state.result);
      continue;
    }
    if (!s.frameTime->IsDrawTime())
      EditorScreen_LogicTick(&state.result);
    else
      EditorScreen_Draw();
    if (window.TakeCloseRequest() && CommonUi_CloseButtonEnabled())
      AppEventQueue_PostEvent(APP_EVENT_CLOSE_REQUEST, 0);
    if (App_IsQuitRequested()) {
      result = -1;
      break;
    }
    if (state.leaveEditor) {
      state.leaveEditor = 0;
      result = 1;
      break;
    }
    // "Si" to the question of going back to the start menu sets the return flag; it is
    // taken here so that the next loading screen does not see it.
    if (App_TakeReturnToMenu()) {
      result = 1;
      break;
    }
    if (window.ProcessMessages(false)) {
      result = -1000;
      break;
    }
    if (state.result) {
      result = state.result;
      break;
    }
  }
  EditorScreen_Free();
  SceneCatalog_Free();
  ObjectCatalog_Free();
  CharacterCatalog_Free();
  SLSetLastError(SL_OK);
  return result;
}

void EditorScreen_Free() {
  SLErrorKeeper keep;
  EditorState& state = Editor_State();
  Editor_ClearSelection();
  state.playback = EditorPlaybackState{};
  Movie* movie = Editor_Movie();
  Movie_Clear(movie);
  Movie_SelectScene(movie, 0);
  Balloon_SetText(&state.tooltip.balloon, nullptr);
  Balloon_Layout(&state.tooltip.balloon);
  state.tooltip.state = 0;
  while (ModalStack_GetDepth() > 0) ModalStack_End();
  CMyGuiManager& gui = App_GuiManager();
  if (state.popups.windows[0] && gui.IsRegistered(state.popups.windows[0])) gui.DestroyWindow(state.popups.windows[0]);
  state.popups = EditorPopups{};
  // Every top-level window but the close button shared by all screens. The windows are
  // listed first: destroying one may take owned windows with it.
  TSLArray<CSL_GS_GuiWindow*> doomed;
  const u32 limit = gui.GetWindowCount();
  u32 seen = 0;
  for (CSL_GS_GuiWindow* window = gui.GetFirstChild(nullptr); window && seen <= limit;
       window = gui.GetNextSibling(window), ++seen)
    if (window != AppCloseButton) doomed.Add(window);
  for (u32 i = 0; i < doomed.GetCount(); ++i)
    if (gui.IsRegistered(doomed[i])) gui.DestroyWindow(doomed[i]);
  MovieTimeline_Set({nullptr, nullptr, nullptr});
  Movie_SetSelectionClearHook(nullptr);
  EditorControls_DestroyPictures();
  state.stageMode = kStageSelect;
  state.loaded = 0;
}
