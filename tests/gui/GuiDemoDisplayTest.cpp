// The widget demo: headless it saves a screenshot of every widget in its states (made a
// PNG for a reviewer when ImageMagick is there); on a virtual X display, driven by
// xdotool, its button, check box and slider answer real clicks, keys and drags.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

TEST(GuiDemoDisplay, HeadlessScreenshotShowsTheDialog) {
  const std::string bmp = std::string(SL_BINARY_DIR) + "/guidemo.bmp";
  std::remove(bmp.c_str());
  const std::string log =
      SLTestCapture("SDL_VIDEODRIVER=dummy " + std::string(SL_BINARY_DIR) + "/tools/demos/guidemo --screenshot " + bmp + " 2>&1");
  ASSERT_NE(log.find("SAVED"), std::string::npos) << log;
  std::ifstream file(bmp, std::ios::binary);
  char magic[2] = {};
  file.read(magic, 2);
  EXPECT_EQ(std::string(magic, 2), "BM");
  file.seekg(0, std::ios::end);
  EXPECT_GT(file.tellg(), std::streamoff(640 * 480 * 3));
  if (std::system("command -v convert >/dev/null") == 0) {
    EXPECT_EQ(std::system(("convert " + bmp + " " + SL_BINARY_DIR + "/guidemo.png").c_str()), 0);
  }
}

TEST(GuiDemoDisplay, ButtonCheckBoxAndSliderAnswerRealInput) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run and xdotool are needed";
  const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/support/xvfb_demo.sh " + SL_BINARY_DIR +
                                        "/tools/demos/guidemo " + SL_SOURCE_DIR + "/tests/gui/guidemo_xvfb.sh 2>&1");
  // "&Aceptar", then the check box by its click and by the space key, then the drag.
  std::size_t at = 0;
  for (const char* line : {"COMMAND 1\n", "COMMAND 10\n", "COMMAND 10\n", "HSCROLL 5 ", "HSCROLL 6 "}) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << log;
    ++at;
  }
  EXPECT_EQ(log.find("COMMAND 2\n"), std::string::npos) << log;
  EXPECT_NE(log.find("QUIT"), std::string::npos) << log;
}
