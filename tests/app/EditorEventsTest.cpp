// Ten thousand random editor events from a fixed seed on the sample movie: every box and
// dialog they open can be answered until none is left and no modal level stays open, and
// the undo button is enabled exactly while the movie has a step to undo.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "fuzz/EditorEventScript.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentCatalog.h"

namespace {

class EditorEvents : public AppScreenTest {
 protected:
  static void SetUpTestSuite() { AppScreenTest::SetUpTestSuite(); }
  static void TearDownTestSuite() {
    Movie_Clear(Movie_Get());
    ContentCatalog_Free();
    AppScreenTest::TearDownTestSuite();
  }
};

TEST_F(EditorEvents, FixedSeedSessionKeepsModalStackAndUndoButtonInStep) {
  const EditorDialogs saved = EditorDialogs_Get();
  ASSERT_TRUE(editor_events::OpenEditor(AppHarness::ContentDir(), "Paseo en el parque"));
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
  EditorDialogs_Set(saved);
}

}  // namespace
