// The menu demo on a virtual X display, driven by xdotool: a right click opens the
// context menu at the pointer and a click on its first item prints that item's command.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"

TEST(MenuDisplay, RightClickOpensTheContextMenuAndAClickChooses) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run and xdotool are needed";
  const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/support/xvfb_demo.sh " + SL_BINARY_DIR +
                                        "/tools/demos/menudemo " + SL_SOURCE_DIR + "/tests/gui/menudemo_xvfb.sh 2>&1");
  EXPECT_NE(log.find("READY\n"), std::string::npos) << log;
  EXPECT_NE(log.find("COMMAND 101\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("COMMAND 10", log.find("COMMAND 101\n") + 1), std::string::npos) << log;
  EXPECT_NE(log.find("QUIT\n"), std::string::npos) << log;
}
