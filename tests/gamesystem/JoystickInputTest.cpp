// The joystick device over SDL's virtual controllers: scaling with the dead zone, hats,
// buttons across polls, the capability counts and the errors of absent controllers.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/SLError.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLJoystickInput.h"
#include "platform/user32/User32.h"
#include "tests/support/InputEvents.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

class JoystickInput : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("mando");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetForegroundWindow(window));
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
  }
  void TearDown() override {
    joystick.Shutdown();
    if (pad) SDL_JoystickClose(pad);
    if (index >= 0) SDL_JoystickDetachVirtual(index);
    DestroyWindow(window);
    Pump();
  }
  void Pump() { SLTestPump(); }
  void Tick() {
    Pump();
    ASSERT_TRUE(SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC));
  }
  void Attach(int axes) {
    index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, 33, 5);
    ASSERT_GE(index, 0);
    pad = SDL_JoystickOpen(index);
    ASSERT_NE(pad, nullptr);
  }

  HWND window = nullptr;
  int index = -1;
  SDL_Joystick* pad = nullptr;
  CSL_GS_JoystickInput_DirectX joystick;
};

TEST_F(JoystickInput, ReadsAVirtualController) {
  Attach(12);
  ASSERT_TRUE(joystick.Init(nullptr, window));
  const struct {
    int axis;
    double deflection;
    i32 expected;
  } cases[] = {{0, 0.4, 0}, {1, 0.75, 500}, {2, 1.0, 1000}, {3, -1.0, -1000}, {4, -0.75, -500}, {6, 1.0, 1000}};
  for (const auto& c : cases) SDL_JoystickSetVirtualAxis(pad, c.axis, Sint16(c.deflection * 32767));
  SDL_JoystickSetVirtualHat(pad, 1, SDL_HAT_RIGHT);
  SDL_JoystickSetVirtualButton(pad, 31, 1);
  Tick();
  i32 values[8] = {joystick.GetX(0),         joystick.GetY(0),         joystick.GetZ(0),
                   joystick.GetRotationX(0), joystick.GetRotationY(0), joystick.GetRotationZ(0),
                   joystick.GetSlider(0, 1), joystick.GetSlider(0, 2)};
  for (const auto& c : cases) EXPECT_EQ(values[c.axis], c.expected) << c.axis;
  EXPECT_EQ(joystick.GetPOV(0, 1), -1);
  EXPECT_EQ(joystick.GetPOV(0, 2), 9000);
  EXPECT_EQ(joystick.IsButtonDown(0, 32), 1u);
  EXPECT_EQ(joystick.HasButtonChanged(0, 32), 1u);
  EXPECT_EQ(joystick.GetButtonMask(0), 0x80000000u);
  SDL_JoystickSetVirtualButton(pad, 31, 0);
  Tick();
  EXPECT_EQ(joystick.IsButtonDown(0, 32), 0u);
  EXPECT_EQ(joystick.HasButtonChanged(0, 32), 1u);

  SL_GS_JoystickDeviceInfo info;
  std::memset(&info, 0x55, sizeof info);
  ASSERT_TRUE(joystick.GetDeviceInfo(0, &info));
  EXPECT_EQ(info.axes, 8u);
  EXPECT_EQ(info.buttons, 32u);
  EXPECT_EQ(info.hats, 4u);
  EXPECT_LT(std::strlen(info.name), 64u);

  // Numbers outside the arrays read nothing.
  const struct {
    u32 device, number;
  } bad[] = {{8, 1}, {0xFFFFFFFF, 1}, {0, 0}, {0, 33}};
  for (const auto& b : bad) {
    EXPECT_EQ(joystick.IsButtonDown(b.device, b.number), 0u);
    EXPECT_EQ(SLGetLastError(false), 0x80001001u);
  }
  EXPECT_EQ(joystick.GetSlider(0, 3), 0);
  EXPECT_EQ(SLGetLastError(false), 0x80001001u);
  EXPECT_EQ(joystick.GetPOV(0, 5), -1);
  EXPECT_EQ(SLGetLastError(false), 0x80001001u);
  EXPECT_FALSE(joystick.GetDeviceInfo(0, nullptr));
  EXPECT_EQ(SLGetLastError(false), 0x80001005u);
  EXPECT_FALSE(joystick.GetDeviceInfo(8, &info));
  EXPECT_EQ(SLGetLastError(false), 0x80001001u);
}

TEST_F(JoystickInput, WithoutControllersEveryGetterFails) {
  EXPECT_EQ(joystick.GetPOV(0, 1), -1);
  EXPECT_EQ(SLGetLastError(false), 0x80010002u);
  ASSERT_TRUE(joystick.Init(nullptr, window));
  Tick();
  EXPECT_EQ(joystick.GetX(0), 0);
  EXPECT_EQ(SLGetLastError(false), 0x80010010u);
  EXPECT_EQ(joystick.GetPOV(0, 1), -1);
  EXPECT_EQ(SLGetLastError(false), 0x80010010u);
  SL_GS_JoystickDeviceInfo info;
  EXPECT_FALSE(joystick.GetDeviceInfo(0, &info));
  EXPECT_EQ(SLGetLastError(false), 0x80010010u);
  EXPECT_EQ(info.name[0], 0);
}

}  // namespace
