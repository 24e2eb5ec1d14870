// Termination requests (SIGTERM, as Ctrl-C's SIGINT or a session's end send) on a virtual
// display: the first asks through the exit prompt, a second ends the program by its normal
// shutdown with status 0, and the family's saved movie and recording stay whole; in the
// editor a request answered with "Cancelar" is forgotten, so the next one asks again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/ProgramFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
const std::string kContent = SL_BINARY_DIR "/content";

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(TerminationDisplay, ASecondRequestEndsTheProgramThatTheFirstAsked) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool and ImageMagick are needed";
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "the content fixture has not run";
  const std::string movie = "Aventuras Guardadas/Paseo en el parque.ZQTR", recording = "Sfx/Grabadas/Mi voz.WAV";
  for (const char* mode : {"prompt", "quick"}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    SLPlaceProgram(dir);
    const std::string movieBefore = Read(dir.Host(movie)), recordingBefore = Read(dir.Host(recording));
    ASSERT_FALSE(movieBefore.empty());
    ASSERT_FALSE(recordingBefore.empty());
    const std::string shot = std::string(SL_BINARY_DIR) + "/xvfb-terminate-prompt.png";
    const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/app/terminate_xvfb.sh '" + dir.Host() +
                                          "' " + mode + " '" + shot + "' 2>&1");
    EXPECT_NE(log.find("Pregunta: salir"), std::string::npos) << log;
    if (std::string(mode) == "prompt") {
      EXPECT_NE(log.find("STILL ASKING"), std::string::npos) << log;
    }
    EXPECT_NE(log.find("STATUS 0\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("NOT ENDED"), std::string::npos) << log;
    const size_t at = log.find("ENDED IN ");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_LT(std::stol(log.substr(at + 9)), 2000) << log;
    // The normal shutdown, without the closing pages that follow "Si".
    EXPECT_EQ(log.find("Pantalla: despedida"), std::string::npos) << log;
    for (const char* report : {"Sanitizer", "runtime error:"}) EXPECT_EQ(log.find(report), std::string::npos) << log;
    EXPECT_EQ(Read(dir.Host(movie)), movieBefore);
    EXPECT_EQ(Read(dir.Host(recording)), recordingBefore);
  }
}

// In the editor with a modified movie the request asks whether to save it first;
// "Cancelar" answers the request, so one that comes 4 seconds later asks again rather
// than ending the program with the movie unsaved, and one more while that question is
// open ends it.
TEST(TerminationDisplay, ARequestAfterCancelAsksAgain) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool and ImageMagick are needed";
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "the content fixture has not run";
  TempDir dir;
  SLPlaceProgram(dir);
  const std::string shot = std::string(SL_BINARY_DIR) + "/xvfb-terminate-editor.png";
  const std::string log =
      SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/app/terminate_xvfb.sh '" + dir.Host() + "' editor '" + shot + "' 2>&1");
  size_t asked = 0;
  for (size_t at = log.find("Pregunta: guardar antes de salir"); at != std::string::npos;
       at = log.find("Pregunta: guardar antes de salir", at + 1))
    ++asked;
  EXPECT_EQ(asked, 2u) << log;
  EXPECT_NE(log.find("ASKED AGAIN"), std::string::npos) << log;
  EXPECT_EQ(log.find("Pregunta: salir"), std::string::npos) << log;
  EXPECT_NE(log.find("STATUS 0\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("NOT ENDED"), std::string::npos) << log;
  EXPECT_EQ(log.find("Pantalla: despedida"), std::string::npos) << log;
  for (const char* report : {"Sanitizer", "runtime error:"}) EXPECT_EQ(log.find(report), std::string::npos) << log;
}

}  // namespace
