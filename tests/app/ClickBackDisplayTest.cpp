// A copy of the program that another copy left black, on a display without a window
// manager: the second copy took the focus, and once it was closed nobody gave the focus
// back, so the first stays inactive, its picture black, until it is clicked. One click
// brings it back as the start menu it was, and that click presses nothing under it; then it
// answers clicks and keys again (tests/app/click_back_xvfb.sh, both copies in one folder of
// the test's own).
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

TEST(ClickBackDisplay, OneClickBringsBackACopyThatAnotherLeftBlack) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null && "
                  "command -v convert >/dev/null && command -v compare >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool and ImageMagick are needed";
  ASSERT_TRUE(fs::exists(SL_BINARY_DIR "/content/contentgen.stamp")) << "the content fixture has not run";
  TempDir dir;
  SLPlaceProgram(dir);
  const std::string shots = SL_BINARY_DIR "/xvfb-click-back";
  for (const char* suffix : {"-menu.png", "-dark.png", "-back.png"}) std::remove((shots + suffix).c_str());
  const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/app/click_back_xvfb.sh '" + dir.Host() +
                                        "' '" + shots + "' 2>&1");
  if (log.find("skipped:") == 0) GTEST_SKIP() << log;
  ASSERT_EQ(SLScriptValue(log, "SECOND STATUS"), "0") << log;
  // What the second copy left: a black screen that keys cannot reach.
  EXPECT_LT(SLShotMean(shots + "-dark.png"), 0.02) << log;
  EXPECT_EQ(SLScriptValue(log, "FOCUS BEFORE"), "none") << log;

  ASSERT_NE(log.find("BACK IN"), std::string::npos) << log;
  EXPECT_GT(SLShotMean(shots + "-back.png"), 0.1) << log;
  EXPECT_LT(SLShotDifference(shots + "-menu.png", shots + "-back.png"), 0.05) << log;
  EXPECT_NE(SLScriptValue(log, "FOCUS AFTER"), "none") << log;
  // The click landed on "&Jugar", which the child could not see.
  EXPECT_NE(log.find("ACTIVATING CLICK PRESSED NOTHING"), std::string::npos) << log;
  EXPECT_NE(log.find("CLICK ANSWERED"), std::string::npos) << log;
  EXPECT_NE(log.find("KEY ANSWERED"), std::string::npos) << log;
  EXPECT_EQ(SLScriptValue(log, "FIRST STATUS"), "0") << log;
  for (const char* fault : {"Sanitizer", "runtime error:"}) EXPECT_EQ(log.find(fault), std::string::npos) << log;
}

}  // namespace
