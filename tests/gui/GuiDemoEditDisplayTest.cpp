// The widget demo's edit and grid under a virtual X display: text typed by xdotool, accents
// and "ñ" included, reads back from the edit byte for byte (Windows-1252), and the grid's
// current cell answers a click and an arrow key.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"

TEST(GuiDemoEditDisplay, TypedSpanishTextReadsBack) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run and xdotool are needed";
  const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/support/xvfb_demo.sh " + SL_BINARY_DIR +
                                        "/tools/demos/guidemo " + SL_SOURCE_DIR + "/tests/gui/guidemo_edit_xvfb.sh 2>&1");
  EXPECT_NE(log.find("EDIT Pel\xED" "cula \xF1" "and\xFA\n"), std::string::npos) << log;
  const std::size_t click = log.find("GRID ");
  ASSERT_NE(click, std::string::npos) << log;
  EXPECT_NE(log.find("GRID ", click + 1), std::string::npos) << log;  // the arrow key moved it again
  EXPECT_NE(log.find("QUIT"), std::string::npos) << log;
}
