// The mouse device on the platform's input layer under SDL's dummy video driver: the
// pointer area, the acceleration and swap rules over real motion and button events, and
// re-acquisition after a failed read.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "foundation/SLError.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "platform/user32/User32.h"
#include "tests/support/InputEvents.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

class MouseInput : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("raton");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetForegroundWindow(window));
    // The device's own movement rules apply to relative movement, as full screen gives it.
    ASSERT_TRUE(SLTestFullScreen(window));
  }
  void Start() {
    ASSERT_TRUE(mouse.Init(nullptr, window));
    ASSERT_TRUE(mouse.SetArea(0, 0, 800, 600));
    ASSERT_TRUE(mouse.SetPosition(400, 300));
    Tick();
  }
  void TearDown() override {
    SLUser32SetMouseParameters(6, 10, 0, false);
    mouse.Shutdown();
    DestroyWindow(window);
    Pump();
  }
  void Pump() { SLTestPump(); }
  void Tick() {
    Pump();
    ASSERT_TRUE(SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC));
  }
  void Move(int dx, int dy) { ASSERT_TRUE(SLTestPushMotion(window, dx, dy)); }
  void Button(Uint8 button, bool down) { ASSERT_TRUE(SLTestPushButton(window, button, down)); }
  void Activate() { ASSERT_TRUE(SLTestPushFocus(window, true)); }

  HWND window = nullptr;
  CSL_GS_MouseInput_DirectX mouse;
};

TEST_F(MouseInput, AreaClampsAndOrdersItsCorners) {
  EXPECT_FALSE(mouse.SetPosition(1, 1));
  EXPECT_EQ(SLGetLastError(false), 0x80010002u);
  i32 l, t, r, b;
  ASSERT_TRUE(mouse.GetArea(&l, &t, &r, &b));  // works before Init
  EXPECT_EQ(l, INT32_MIN);
  EXPECT_EQ(b, INT32_MAX);
  Start();
  EXPECT_TRUE(mouse.SetPosition(-5, 900));
  EXPECT_EQ(mouse.GetX(), 0);
  EXPECT_EQ(mouse.GetY(), 599);
  EXPECT_TRUE(mouse.SetArea(800, 600, 0, 0));
  ASSERT_TRUE(mouse.GetArea(&l, &t, &r, &b));
  EXPECT_EQ(l, 0);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(r, 800);
  EXPECT_EQ(b, 600);
  EXPECT_TRUE(mouse.GetArea(nullptr, nullptr, nullptr, nullptr));

  // A smaller area holds the pointer from the next poll on, even without movement; an
  // empty one keeps it at its corner.
  ASSERT_TRUE(mouse.SetArea(0, 0, 100, 50));
  Tick();
  EXPECT_EQ(mouse.GetY(), 49);
  ASSERT_TRUE(mouse.SetArea(INT32_MIN, 7, INT32_MIN, 7));
  EXPECT_TRUE(mouse.SetPosition(0, 0));
  EXPECT_EQ(mouse.GetX(), INT32_MIN);
  EXPECT_EQ(mouse.GetY(), 7);
  ASSERT_TRUE(mouse.SetArea(0, 0, 800, 600));

  // Movement is clamped to the area, its delta is not.
  Move(-5000, 0);
  Tick();
  EXPECT_EQ(mouse.GetX(), 0);
  EXPECT_EQ(mouse.GetDeltaX(), -5000);
}

TEST_F(MouseInput, AccelerationFollowsTheThresholds) {
  const struct {
    int threshold1, threshold2, acceleration, move, expected;
  } cases[] = {{6, 10, 0, 10, 10}, {6, 10, 1, 10, 20}, {6, 10, 2, 11, 44}, {6, 10, 2, 6, 6}, {6, 10, 1, -11, -22}};
  Start();
  for (const auto& c : cases) {
    SLUser32SetMouseParameters(c.threshold1, c.threshold2, c.acceleration, false);
    Activate();  // the settings are read again at each activation
    ASSERT_TRUE(mouse.SetPosition(400, 300));
    Move(c.move, c.move);
    Tick();
    EXPECT_EQ(mouse.GetDeltaX(), c.expected) << c.acceleration << " " << c.move;
    EXPECT_EQ(mouse.GetY(), 300 + c.expected);
    Tick();
    EXPECT_EQ(mouse.GetDeltaX(), 0);
  }
}

TEST_F(MouseInput, ButtonsAcrossPollsSwapAndClicks) {
  Start();
  Button(SDL_BUTTON_LEFT, true);
  Tick();
  EXPECT_EQ(mouse.IsButtonDown(1), 1u);
  EXPECT_EQ(mouse.HasButtonChanged(1), 1u);
  EXPECT_EQ(mouse.GetButtonMask(), 1u);
  Tick();
  EXPECT_EQ(mouse.HasButtonChanged(1), 0u);
  Button(SDL_BUTTON_LEFT, false);
  Button(SDL_BUTTON_X1, true);
  Tick();
  EXPECT_EQ(mouse.IsButtonDown(1), 0u);
  EXPECT_EQ(mouse.HasButtonChanged(1), 1u);
  EXPECT_EQ(mouse.GetButtonMask(), 8u);

  // A click inside one tick: up, but changed.
  Button(SDL_BUTTON_RIGHT, true);
  Button(SDL_BUTTON_RIGHT, false);
  Tick();
  EXPECT_EQ(mouse.IsButtonDown(2), 0u);
  EXPECT_EQ(mouse.HasButtonChanged(2), 1u);

  // Swapped: the physical left button is button 2.
  SLUser32SetMouseParameters(6, 10, 0, true);
  Activate();
  Button(SDL_BUTTON_LEFT, true);
  Tick();
  EXPECT_EQ(mouse.IsButtonDown(2), 1u);
  EXPECT_EQ(mouse.IsButtonDown(1), 0u);

  for (u32 bad : {0u, 5u, 0xFFFFFFFFu}) {
    EXPECT_EQ(mouse.IsButtonDown(bad), 0u);
    EXPECT_EQ(SLGetLastError(false), 0x80001001u);
    EXPECT_EQ(mouse.HasButtonChanged(bad), 0u);
    EXPECT_EQ(SLGetLastError(false), 0x80001001u);
  }
}

TEST_F(MouseInput, AFailedReadAsksForAcquisition) {
  Start();
  u32 sync = RegisterWindowMessageA("SL_GS_Input_DirectX_SYNCACQUIRE_MOUSE");
  ASSERT_TRUE(SLTestPushFocus(window, false));
  Tick();
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, window, sync, sync, PM_REMOVE));
  EXPECT_EQ(msg.lParam, 1);

  // Back in focus, movement arrives again.
  Activate();
  Tick();
  Move(3, 4);
  Tick();
  EXPECT_EQ(mouse.GetDeltaX(), 3);
  EXPECT_EQ(mouse.GetDeltaY(), 4);
  EXPECT_FALSE(mouse.Init(nullptr, window));
  EXPECT_EQ(SLGetLastError(false), 0x80010003u);
}

}  // namespace
