// The keyboard and mouse devices on a real (virtual) X display, driven by xdotool: the
// framework codes of real keys, typed characters as Windows-1252 units, and a pointer
// that follows the real one by relative movement alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/support/TestSupport.h"

TEST(InputDisplay, RealKeysCharactersAndPointer) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run and xdotool are needed";
  std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/support/xvfb_demo.sh " + SL_BINARY_DIR +
                               "/tools/demos/inputdemo " + SL_SOURCE_DIR + "/tests/gamesystem/inputdemo_xvfb.sh 2>&1");
  // a, Enter, F4, Left; then ñ, á, € in that order.
  std::size_t at = 0;
  for (const char* line : {"KEY 65\n", "KEY 13\n", "KEY 371\n", "KEY 272\n", "CHAR 0xF1\n", "CHAR 0xE1\n",
                           "CHAR 0x80\n"}) {
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << log;
  }
  // The last position is where xdotool put the pointer, reached by relative movement.
  std::size_t last = log.rfind("POINTER ");
  ASSERT_NE(last, std::string::npos) << log;
  std::istringstream pointer(log.substr(last + 8));
  int x = -1, y = -1;
  pointer >> x >> y;
  EXPECT_EQ(x, 200) << log;
  EXPECT_EQ(y, 150) << log;
  EXPECT_NE(log.find("BUTTON 1 ", last), std::string::npos) << log;
  EXPECT_NE(log.find("QUIT"), std::string::npos) << log;
}
