// Ten thousand random editor events from a fixed seed on the sample movie: every box and
// dialog they open can be answered until none is left and no modal level stays open, and
// the undo button is enabled exactly while the movie has a step to undo.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "fuzz/EditorEventScript.h"
#include "app/editor/EditorCallbacks.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentCatalog.h"

namespace {

class EditorEvents : public AppScreenTest {
 protected:
  static void SetUpTestSuite() {
    AppScreenTest::SetUpTestSuite();
    s_opened = editor_events::OpenEditor(AppHarness::ContentDir(), "Paseo en el parque");
  }
  static void TearDownTestSuite() {
    Movie_Clear(Movie_Get());
    ContentCatalog_Free();
    AppScreenTest::TearDownTestSuite();
  }
  void SetUp() override {
    AppScreenTest::SetUp();
    ASSERT_TRUE(s_opened);
    if (Movie_SceneCount(Movie_Get()) == 0) {
      ASSERT_EQ(ProjectFile_Load(content_test::Narrow("Paseo en el parque").c_str()), 1u);
      Movie_SelectScene(Movie_Get(), 0);
    }
  }
  static bool s_opened;
};
bool EditorEvents::s_opened = false;

// Each way the movie is replaced or emptied leaves the undo button as the new movie's ring
// says, also when it happens under an open box (the box gives the button back as set).
TEST_F(EditorEvents, UndoButtonFollowsTheMovieWhenItIsReplaced) {
  struct Row {
    const char* what;
    bool underBox;
    void (*replace)();
  };
  static const Row rows[] = {
      {"new movie", false, [] { EditorScreen_OnConfirmNewMovie(3, 0); }},
      {"new movie under a box", true, [] { EditorScreen_OnConfirmNewMovie(3, 0); }},
      {"project opened", false,
       [] {
         ProjectFile_Load(content_test::Narrow("Paseo en el parque").c_str());
         i32 result = 0;
         EditorScreen_OnEvent(APP_EVENT_PROJECT_LOADED, editor_events::kModeOpen, &result);
       }},
      {"project failed to load", false,
       [] {
         ProjectFile_Load("no existe");
         i32 result = 0;
         EditorScreen_OnEvent(APP_EVENT_PROJECT_LOAD_FAILED, editor_events::kModeOpen, &result);
       }},
      {"undo point taken under a box", true, [] { Editor_TakeUndoPoint(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (Movie_SceneCount(Movie_Get()) == 0) {
      ASSERT_EQ(ProjectFile_Load(content_test::Narrow("Paseo en el parque").c_str()), 1u);
      Movie_SelectScene(Movie_Get(), 0);
    }
    Editor_TakeUndoPoint();
    ASSERT_TRUE(editor_events::UndoButtonEnabled());
    if (std::string(row.what) == "undo point taken under a box") {
      Movie_FreeUndo(Movie_Get());  // the box opens over a movie with nothing to undo
      Editor_SyncUndoButton();
    }
    if (row.underBox) ModalStack_Begin(0);
    row.replace();
    if (row.underBox) {
      EXPECT_FALSE(editor_events::UndoButtonEnabled()) << "a box keeps the toolbar disabled";
      ModalStack_End();
    }
    // The load error's box; the start-up dialog its answer would open is not wanted here.
    for (CSL_GS_GuiWindow* box; (box = AppHarness::TopLevelWithId(1027));) box->OnClose();
    AppHarness::DrainQueue();
    EXPECT_EQ(ModalStack_GetDepth(), 0u);
    EXPECT_EQ(editor_events::UndoButtonEnabled(), editor_events::UndoHasStep());
  }
}

TEST_F(EditorEvents, FixedSeedSessionKeepsModalStackAndUndoButtonInStep) {
  ASSERT_GT(Movie_SceneCount(Movie_Get()), 0u);
  std::mt19937 random(52);
  editor_events::Script script([&random] { return u32(random()); }, "Paseo en el parque");
  u32 withBox = 0, withUndo = 0;
  for (int i = 0; i < 10000; ++i) {
    script.Step();
    withBox += ModalStack_GetDepth() > 0;
    withUndo += editor_events::UndoHasStep();
    if (ModalStack_GetDepth() == 0) {
      ASSERT_EQ(editor_events::UndoButtonEnabled(), editor_events::UndoHasStep()) << "after event " << i << ": " << script.LastEvent();
    }
    if (i % 500 == 499) {
      ASSERT_TRUE(script.AnswerAll()) << "after event " << i << ": " << script.LastEvent();
      ASSERT_EQ(ModalStack_GetDepth(), 0u) << "after event " << i << ": " << script.LastEvent();
      ASSERT_EQ(editor_events::UndoButtonEnabled(), editor_events::UndoHasStep()) << "after event " << i << ": " << script.LastEvent();
    }
  }
  ASSERT_TRUE(script.AnswerAll());
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  // The session reached boxes and changes of the movie, not only commands that do nothing.
  std::printf("events with a box open: %u, with an undo step: %u, scenes: %u\n", withBox, withUndo,
              Movie_SceneCount(Movie_Get()));
  EXPECT_GT(withBox, 100u);
  EXPECT_GT(withUndo, 100u);
}

}  // namespace
