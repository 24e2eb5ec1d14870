// The cinema and the export as a user drives them: tests/app/cinema_xvfb.sh starts the
// program on a virtual display, watches the sample movie to its end, exports it and
// checks the file with ffprobe and ffmpeg. Runs alone (its name says it starts a display).
// The run takes minutes of real time and some of its steps wait fixed times for the movie
// to play, so it runs only when SL_LONG_DISPLAY_TESTS=1 asks for it (a machine that keeps
// pace with the program, without sanitizers).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

TEST(CinemaExportDisplay, TheSampleMovieIsWatchedAndExportedToAFileThatPlays) {
  const char* wanted = std::getenv("SL_LONG_DISPLAY_TESTS");
  if (!wanted || std::string(wanted) != "1") GTEST_SKIP() << "set SL_LONG_DISPLAY_TESTS=1 to run it";
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && "
                  "command -v import >/dev/null && command -v ffprobe >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool, ImageMagick and ffprobe drive and check the run";
  const std::string build = SL_BINARY_DIR;
  if (!std::filesystem::exists(build + "/Zarandulvortequimbaplastelo") ||
      !std::filesystem::exists(build + "/content"))
    GTEST_SKIP() << "the program and its content are not built in " << build;
  const std::string command = "SL_BUILD_DIR='" + build + "' '" SL_SOURCE_DIR "/tests/app/cinema_xvfb.sh'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "a tool of the run is missing";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "see the output above and the screenshots " << build << "/xvfb-cinema-*.png";
}
