// The editor's side of the project flow: the start-up dialog's answers, the chooser's
// results and the open and save commands, with events handed to the flow as the editor's
// loop hands them, one after the other.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "adventure/movie/Movie.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorState.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/ProjectDialogs.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

CSL_GS_GuiWindow* Child(CSL_GS_GuiWindow* dialog, u32 id) { return App_GuiManager().FindChildById(dialog, id); }

// A scratch program folder with an empty "Aventuras Guardadas"; no catalogue is loaded,
// so every project there fails to load.
class ProjectFlow : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    m_dir = std::make_unique<TempDir>();
    fs::create_directories(m_dir->Host("Aventuras Guardadas"));
    SLPlatformSetProgramFileName(m_dir->Host("Zarandulvortequimbaplastelo").c_str());
    EditorProject_Install();
  }
  void TearDown() override {
    AppHarness::DrainQueue();
    Movie_Clear(Movie_Get());
    SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
    m_dir.reset();
    AppScreenTest::TearDown();
  }
  std::unique_ptr<TempDir> m_dir;
};

}  // namespace

// --- The editor's project flow ---------------------------------------------------------

namespace {

// Hands every queued event to the project flow (deferred calls run), as the editor's
// loop does one per tick; the events the flow left alone.
std::vector<AppEvent> Dispatch(i32* result) {
  std::vector<AppEvent> left;
  AppEvent event;
  while (AppEventQueue_Take(&event)) {
    if (event.type == APP_EVENT_DEFERRED_CALL)
      AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(event.data));
    else if (!EditorProject_OnEvent(event.type, event.data, result))
      left.push_back(event);
  }
  return left;
}

u32 TopLevelsWithId(u32 id) {
  u32 count = 0;
  CSL_GS_GuiManager& m = App_GuiManager();
  for (CSL_GS_GuiWindow* w = m.GetFirstChild(nullptr); w; w = m.GetNextSibling(w)) count += w->GetId() == id;
  return count;
}

}  // namespace

// A damaged project chosen from the start-up dialog: one error box alone, and the
// start-up dialog once when it has been read.
TEST_F(ProjectFlow, AFailedLoadFromTheStartUpDialogShowsOneBoxThenOneStartUpDialog) {
  std::string damaged = AppHarness::ContentDir() + "/Aventuras Guardadas/Paseo en el parque.ZQTR";
  std::string bytes = content_test::Read(damaged);
  bytes[200] = char(bytes[200] ^ 4);
  m_dir->Write("Aventuras Guardadas/roto.ZQTR", bytes);
  i32 result = 0;
  Editor_ShowStartupDialog();
  CSL_GS_GuiWindow* startUp = TopLevelWithId(1003);
  ASSERT_NE(startUp, nullptr);
  startUp->OnCommand(Child(startUp, 102), 102);
  EXPECT_TRUE(Dispatch(&result).empty());
  auto* chooser = static_cast<CMyGameChooseProjectFileDialog*>(TopLevelWithId(1025));
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(chooser->mode, 2u);
  chooser->OnCommand(Child(chooser, 101), 101);
  chooser->OnCommand(Child(chooser, 1), 1);
  EXPECT_TRUE(Dispatch(&result).empty());
  EXPECT_EQ(TopLevelsWithId(1027), 1u);
  EXPECT_EQ(TopLevelsWithId(1003), 0u);
  EXPECT_EQ(ModalStack_GetDepth(), 1u);
  TopLevelWithId(1027)->OnCommand(TopLevelWithId(1027), MSGBOX_ACCEPT);
  Dispatch(&result);
  EXPECT_EQ(TopLevelsWithId(1027), 0u);
  EXPECT_EQ(TopLevelsWithId(1003), 1u);
  EXPECT_EQ(ModalStack_GetDepth(), 1u);
  // Cancelling the start-up dialog leaves the editor.
  TopLevelWithId(1003)->OnClose();
  Dispatch(&result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

TEST_F(ProjectFlow, OpeningFromTheEditorAsksFirstWhenTheMovieHasChanges) {
  i32 result = 0;
  Movie* movie = Movie_Get();
  Movie_Clear(movie);
  // Without scenes: no save dialog, and the chooser at once.
  AppEventQueue_PostEvent(APP_EVENT_COMMAND, kIdMenuGuardar);
  AppEventQueue_PostEvent(APP_EVENT_COMMAND, kIdMenuAbrir);
  Dispatch(&result);
  EXPECT_EQ(TopLevelWithId(1004), nullptr);
  ASSERT_NE(TopLevelWithId(1025), nullptr);
  TopLevelWithId(1025)->OnClose();
  EXPECT_TRUE(Dispatch(&result).empty());  // mode 1: back to the editor, no start-up dialog
  EXPECT_EQ(TopLevelWithId(1003), nullptr);

  Movie_AppendScene(movie);
  movie->modified = 1;
  AppEventQueue_PostEvent(APP_EVENT_COMMAND, kIdMenuAbrir);
  Dispatch(&result);
  EXPECT_EQ(TopLevelWithId(1025), nullptr);
  CSL_GS_GuiWindow* box = TopLevelWithId(1015);
  ASSERT_NE(box, nullptr);
  box->OnCommand(box, MSGBOX_YES);
  Dispatch(&result);
  ASSERT_NE(TopLevelWithId(1025), nullptr);
  EXPECT_EQ(static_cast<CMyGameChooseProjectFileDialog*>(TopLevelWithId(1025))->mode, 1u);
  TopLevelWithId(1025)->OnClose();
  Dispatch(&result);
  AppEventQueue_PostEvent(APP_EVENT_COMMAND, kIdMenuGuardar);
  Dispatch(&result);
  ASSERT_NE(TopLevelWithId(1004), nullptr);
  TopLevelWithId(1004)->OnClose();
  Movie_Clear(movie);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}
