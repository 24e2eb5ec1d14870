// The program's own pointer under the system pointer on a virtual display: after the
// scaled intro, tests/app/pointer_xvfb.sh puts the system pointer at the screen's corners
// and middle and measures where the screenshots show the drawn pointer's tip, then clicks
// the close button at the top right straight away. Runs alone (its name says it starts a
// display), and only when SL_LONG_DISPLAY_TESTS=1 asks for it.
#include <gtest/gtest.h>

#include "tests/support/DisplayScript.h"

TEST(PointerDisplay, TheDrawnPointerStandsUnderTheSystemPointerAfterTheIntro) {
  SLRunDisplayScript("pointer_xvfb.sh", "xvfb-run xdotool import convert python3", "xvfb-pointer-*.png");
}
