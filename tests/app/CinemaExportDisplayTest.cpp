// The cinema and the export as a user drives them: tests/app/cinema_xvfb.sh starts the
// program on a virtual display, watches the sample movie to its end, exports it and
// checks the file with ffprobe and ffmpeg. Runs alone (its name says it starts a display).
// The run takes minutes of real time and some of its steps wait fixed times for the movie
// to play, so it runs only when SL_LONG_DISPLAY_TESTS=1 asks for it (a machine that keeps
// pace with the program, without sanitizers).
#include <gtest/gtest.h>

#include "tests/support/DisplayScript.h"

TEST(CinemaExportDisplay, TheSampleMovieIsWatchedAndExportedToAFileThatPlays) {
  SLRunDisplayScript("cinema_xvfb.sh", "xvfb-run xdotool import ffprobe ffmpeg", "xvfb-cinema-*.png");
}
