// The platform's message box over the live main window, on a virtual display: with no
// viewer that can show the help, "&Ayuda" says so in a box of its own, and once it is
// answered the program's window is back as it was (not minimised, with the keyboard
// focus, drawing the start menu, answering "&Jugar") and idle, and no help page is left
// behind, without a window manager and with openbox. There the box belongs to the
// program's window: minimised and brought back with it, over the same picture, still
// above it after a click beside it (which the program does not take), answered by one
// click on "Aceptar"; and another program's window still minimises the program's as the
// device's hook does on a real loss of focus (tests/app/help_box_xvfb.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/DisplayScript.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

TEST(HelpBoxDisplay, TheMainWindowComesBackWhenTheHelpsBoxIsAnswered) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool and ImageMagick are needed";
  ASSERT_TRUE(fs::exists(SL_BINARY_DIR "/content/contentgen.stamp")) << "the content fixture has not run";
  for (const std::string desktop : {"none", "openbox"}) {
    SCOPED_TRACE(desktop);
    if (desktop == "openbox" && std::system("command -v openbox >/dev/null") != 0) continue;
    TempDir dir;
    SLPlaceProgram(dir);
    const std::string shots = std::string(SL_BINARY_DIR) + "/xvfb-help-box-" + desktop;
    for (const char* suffix : {"-menu.png", "-box.png", "-back.png", "-beside.png", "-after.png"})
      std::remove((shots + suffix).c_str());
    const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/app/help_box_xvfb.sh '" + dir.Host() +
                                          "' " + desktop + " '" + shots + "' 2>&1");
    ASSERT_NE(log.find("BOX SHOWN"), std::string::npos) << log;
    EXPECT_NE(log.find("Ayuda: No se encontr\xc3\xb3 ning\xc3\xban programa para mostrar la ayuda.\n"),
              std::string::npos) << log;
    // The keys go to the program's window again, which no window manager keeps iconified.
    EXPECT_FALSE(SLScriptValue(log, "TITLE").empty()) << log;
    EXPECT_EQ(SLScriptValue(log, "FOCUS"), SLScriptValue(log, "TITLE")) << log;
    EXPECT_EQ(SLScriptValue(log, "STATE").find("HIDDEN"), std::string::npos) << log;
    // The start menu is drawn again as it was before the box, not a black window.
    EXPECT_GT(SLShotMean(shots + "-after.png"), 0.1) << log;
    EXPECT_LT(SLShotDifference(shots + "-menu.png", shots + "-after.png"), 0.05) << log;
    // The loop is paced as before the box, not spinning on a full core (2000 ms in two
    // seconds).
    EXPECT_LT(std::atoi(SLScriptValue(log, "CPU AFTER").c_str()), std::atoi(SLScriptValue(log, "CPU MENU").c_str()) + 500)
        << log;
    EXPECT_NE(log.find("PLAY REACHED"), std::string::npos) << log;
    // The viewers were given pages, and none is left once the program has ended.
    EXPECT_GE(std::atoi(SLScriptValue(log, "PAGES SHOWN").c_str()), 1) << log;
    EXPECT_EQ(SLScriptValue(log, "PAGES LEFT"), "0") << log;
    if (desktop == "openbox") {
      // The box goes with the program's window and comes back with it, over the start
      // menu as it was (neither black nor streaked by the window manager's animation).
      EXPECT_TRUE(SLScriptValue(log, "MINIMISED") == "HIDDEN HIDDEN" || SLScriptValue(log, "MINIMISED") == "SHOWN SHOWN")
          << log;
      EXPECT_EQ(SLScriptValue(log, "BACK"), "SHOWN SHOWN") << log;
      EXPECT_LT(SLShotDifference(shots + "-box.png", shots + "-back.png"), 0.03) << log;
      // A click on the program beside the box leaves the box above it, on the screen, and
      // gives it the focus.
      EXPECT_EQ(SLScriptValue(log, "STACKED"), "ABOVE") << log;
      EXPECT_EQ(SLScriptValue(log, "BESIDE"), "Ayuda") << log;
      EXPECT_LT(SLShotDifference(shots + "-box.png", shots + "-beside.png"), 0.03) << log;
      EXPECT_NE(log.find("EDITOR REACHED"), std::string::npos) << log;
      // The device's hook still minimises the window when another program takes the focus.
      EXPECT_NE(SLScriptValue(log, "STATE ON LOSS").find("HIDDEN"), std::string::npos) << log;
      EXPECT_LT(std::atoi(SLScriptValue(log, "CPU ON LOSS").c_str()), 1000) << log;
    }
    for (const char* fault : {"Sanitizer", "runtime error:"}) EXPECT_EQ(log.find(fault), std::string::npos) << log;
  }
}

}  // namespace
