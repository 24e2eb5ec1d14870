// The window layer on a real (virtual) X display: the demo window receives the keys
// typed into it and closes like a close button asks it to.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"

TEST(Display, RealWindowGetsKeysAndCloses) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run and xdotool are needed";
  std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/support/xvfb_demo.sh " + SL_BINARY_DIR +
                               "/tools/demos/windemo " + SL_SOURCE_DIR + "/tests/platform/windemo_xvfb.sh 2>&1");
  // The 8-bit title is Windows-1252: "\xF3" reaches the display as "ó".
  EXPECT_NE(log.find("TITLE Demostraci\xC3\xB3n\n"), std::string::npos) << log;
  EXPECT_NE(log.find("WM_KEYDOWN 0x41"), std::string::npos) << log;
  EXPECT_NE(log.find("WM_CHAR 0x61"), std::string::npos) << log;
  EXPECT_NE(log.find("WM_CHAR 0xd"), std::string::npos) << log;  // Enter makes a character too
  auto close = log.find("WM_SYSCOMMAND 0xf060");
  auto closeMsg = log.find("WM_CLOSE");
  auto destroy = log.find("WM_DESTROY");
  ASSERT_NE(close, std::string::npos) << log;
  EXPECT_LT(close, closeMsg);
  EXPECT_LT(closeMsg, destroy);
  EXPECT_NE(log.find("QUIT"), std::string::npos) << log;
}
