// The editor as a user drives it on a virtual display: tests/app/editor_xvfb.sh tours the
// editor's buttons and pickers, and tests/app/movie_xvfb.sh makes a two-scene movie (a
// walk, a written line, a lamp switched on), saves it, starts a new one and opens the
// first again from the chooser. Runs alone (its name says it starts a display), and only
// when SL_LONG_DISPLAY_TESTS=1 asks for it.
#include <gtest/gtest.h>

#include "tests/support/DisplayScript.h"

TEST(EditorDisplay, TheButtonsPickersAndCloseQuestionAnswerOnAVirtualDisplay) {
  SLRunDisplayScript("editor_xvfb.sh", "xvfb-run xdotool import", "xvfb-editor-*.png");
}

TEST(EditorDisplay, ATwoSceneMovieIsMadeSavedAndOpenedAgainFromTheChooser) {
  SLRunDisplayScript("movie_xvfb.sh", "xvfb-run xdotool import convert python3", "xvfb-movie-*.png");
}
