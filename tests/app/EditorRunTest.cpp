// The whole editor screen as "&Jugar" runs it: the loading screen, the loop and the way
// back to the start menu. "&Si" to the close button's question ends the editor with 1
// and leaves no return flag behind, so the next visit loads the catalogue again instead
// of bouncing off the loading screen.
#include <gtest/gtest.h>

#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/screens/LoadingScreen.h"
#include "app/services/ModalStack.h"
#include "tests/support/AppHarness.h"

namespace {

// The script of a run is queued once the loading screen is over: that screen takes
// events of its own.
void (*g_script)() = nullptr;
i32 LoadThenScript() {
  const i32 result = LoadingScreen_Run();
  if (result == 1 && g_script) g_script();
  return result;
}

u32 g_lateCalls = 0;
u32 g_backgroundsSeen = 0;
// Defers itself `hops` times (the answer of a box comes one tick after the click), then
// leaves the editor.
void LeaveLate(u32, std::uintptr_t hops) {
  if (hops > 0) return AppHarness::Later(&LeaveLate, hops - 1);
  ++g_lateCalls;
  Editor_State().leaveEditor = 1;
}
void LookAndLeave(u32, std::uintptr_t) {
  g_backgroundsSeen = 0;
  while (SceneCatalog_GetAt(g_backgroundsSeen)) ++g_backgroundsSeen;
  Editor_State().leaveEditor = 1;
}

using EditorRun = AppScreenTest;

TEST_F(EditorRun, YesToTheCloseButtonsQuestionReturnsToTheStartMenuOnce) {
  EditorScreen_SetLoadingScreen(&LoadThenScript);
  g_script = [] {
    AppHarness::Command(APP_CLOSE_BUTTON_ID);  // nothing to save: "¿Desea volver al menú principal?"
    AppHarness::Later(&AppHarness::AnswerYes, 1002);
    AppHarness::Later(&LeaveLate, 3);  // only reached when the answer did not end the editor
  };
  g_lateCalls = 0;
  EXPECT_EQ(EditorScreen_Run(), 1);
  EXPECT_EQ(g_lateCalls, 0u);
  EXPECT_FALSE(App_IsReturnToMenu());
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(SceneCatalog_GetAt(0), nullptr);  // the editor empties the catalogue on its way out
  AppHarness::DrainQueue();

  g_script = [] { AppHarness::Later(&LookAndLeave); };
  EXPECT_EQ(EditorScreen_Run(), 1);
  EXPECT_GT(g_backgroundsSeen, 0u);  // loaded again
  EditorScreen_SetLoadingScreen(&LoadingScreen_Run);
  g_script = nullptr;
}

TEST_F(EditorRun, ADispatchedResultEndsTheEditor) {
  EditorScreen_SetLoadingScreen(&LoadThenScript);
  g_script = [] {
    AppHarness::Later([](u32, std::uintptr_t) { Editor_State().result = -1000; });
  };
  EXPECT_EQ(EditorScreen_Run(), -1000);
  EditorScreen_SetLoadingScreen(&LoadingScreen_Run);
  g_script = nullptr;
}

}  // namespace
