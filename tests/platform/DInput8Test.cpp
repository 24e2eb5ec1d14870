// The dinput8 stand-in fed by SDL events under the dummy video driver: the scan-code
// snapshot, acquisition following the window's focus and the mouse's element buffer.
// Controllers are read through the joystick device's tests.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/dinput8/DInput8.h"
#include "platform/kernel32/Modules.h"
#include "platform/kernel32/Sync.h"
#include "platform/user32/User32.h"
#include "platform/user32/WindowSystem.h"
#include "tests/support/InputEvents.h"
#include "tests/support/TestWindow.h"

namespace {

class DInput8 : public ::testing::Test {
 protected:
  void SetUp() override {
    window = SLTestMakeWindow("entrada");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetForegroundWindow(window));
    // Bound by name, as the framework does.
    auto create = reinterpret_cast<decltype(&DirectInput8Create)>(
        GetProcAddress(LoadLibraryA("DINPUT8.DLL"), "DirectInput8Create"));
    ASSERT_NE(create, nullptr);
    void* object = nullptr;
    ASSERT_EQ(create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &object, nullptr), DI_OK);
    input = static_cast<IDirectInput8A*>(object);
    Pump();
  }
  void TearDown() override {
    if (input) input->Release();
    DestroyWindow(window);
    Pump();
  }
  IDirectInputDevice8A* Open(const GUID& guid, const DIDATAFORMAT& format, DWORD level) {
    IDirectInputDevice8A* device = nullptr;
    EXPECT_EQ(input->CreateDevice(guid, &device, nullptr), DI_OK);
    EXPECT_EQ(device->SetDataFormat(&format), DI_OK);
    EXPECT_EQ(device->SetCooperativeLevel(window, level), DI_OK);
    return device;
  }
  // The mouse as the framework sets it up: 32 buffered elements, with an optional
  // notification event, acquired.
  IDirectInputDevice8A* OpenMouse(HANDLE event = nullptr) {
    IDirectInputDevice8A* mouse = Open(GUID_SysMouse, c_dfDIMouse, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    EXPECT_EQ(mouse->SetEventNotification(event), DI_OK);
    DIPROPDWORD size{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 32};
    EXPECT_EQ(mouse->SetProperty(DIMakeProperty(DIPROP_BUFFERSIZE), &size.diph), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
    return mouse;
  }
  void Push(SDL_Event event) { ASSERT_TRUE(SLTestPush(event)); }
  void Key(SDL_Scancode code, bool down) { ASSERT_TRUE(SLTestPushKey(window, code, down)); }
  void Focus(bool gained) { ASSERT_TRUE(SLTestPushFocus(window, gained)); }
  void Pump() { SLTestPump(); }

  HWND window = nullptr;
  IDirectInput8A* input = nullptr;
};

TEST_F(DInput8, SnapshotFollowsEveryKeyAndAcquisitionFollowsFocus) {
  IDirectInputDevice8A* keyboard =
      Open(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY);
  BYTE keys[256];
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);

  // A key without a virtual key reaches the snapshot too (the keyboard device's tests
  // send every mapped key through it).
  Key(SDL_SCANCODE_AC_SEARCH, true);
  Pump();
  ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(keys[i], i == 0xE5 ? 0x80 : 0) << i;
  Key(SDL_SCANCODE_AC_SEARCH, false);
  Pump();
  EXPECT_EQ(keyboard->GetDeviceState(255, keys), DIERR_INVALIDPARAM);

  // Focus leaves: the next read reports the loss once, then "not acquired" until focus returns.
  Focus(false);
  Pump();
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_INPUTLOST);
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
  EXPECT_NE(keyboard->Acquire(), DI_OK);
  Focus(true);
  Pump();
  EXPECT_EQ(keyboard->Acquire(), DI_OK);
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
  keyboard->Unacquire();
  keyboard->Release();
}

TEST_F(DInput8, MouseBuffersElementsInArrivalOrderAndSignals) {
  ASSERT_TRUE(SLTestFullScreen(window));  // movement as it comes, the pointer grabbed
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  IDirectInputDevice8A* mouse = OpenMouse(event);

  SDL_Event motion = SLTestEvent(window, SDL_MOUSEMOTION);
  motion.motion.xrel = 7;
  motion.motion.yrel = -3;
  Push(motion);
  const Uint8 buttons[] = {SDL_BUTTON_LEFT, SDL_BUTTON_X1, SDL_BUTTON_MIDDLE};
  for (Uint8 button : buttons) {
    ASSERT_TRUE(SLTestPushButton(window, button, true));
  }
  Pump();
  EXPECT_EQ(WaitForSingleObject(event, 0), 0u);

  const DWORD expected[][2] = {{DIMOFS_X, 7}, {DIMOFS_Y, DWORD(-3)}, {12, 0x80}, {15, 0x80}, {14, 0x80}};
  for (const auto& e : expected) {
    DIDEVICEOBJECTDATA element{};
    DWORD count = 1;
    ASSERT_EQ(mouse->GetDeviceData(sizeof element, &element, &count, 0), DI_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(element.dwOfs, e[0]);
    EXPECT_EQ(element.dwData, e[1]);
  }
  DIDEVICEOBJECTDATA element{};
  DWORD count = 1;
  EXPECT_EQ(mouse->GetDeviceData(sizeof element, &element, &count, 0), DI_OK);
  EXPECT_EQ(count, 0u);

  // The buffer holds what was set, and drops the rest.
  motion.motion.yrel = 0;
  for (int i = 0; i < 40; ++i) Push(motion);
  Pump();
  std::vector<DIDEVICEOBJECTDATA> all(64);
  count = 64;
  ASSERT_EQ(mouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), all.data(), &count, 0), DI_OK);
  EXPECT_EQ(count, 32u);

  // The immediate state's movement since the last read saturates instead of wrapping.
  motion.motion.xrel = INT32_MAX;
  Push(motion);
  Push(motion);
  Pump();
  DIMOUSESTATE immediate{};
  ASSERT_EQ(mouse->GetDeviceState(sizeof immediate, &immediate), DI_OK);
  EXPECT_EQ(immediate.lX, INT32_MAX);

  // Focus lost: the read fails with the loss, and nothing is buffered meanwhile.
  Focus(false);
  Push(motion);
  Pump();
  count = 1;
  EXPECT_EQ(mouse->GetDeviceData(sizeof element, &element, &count, 0), DIERR_INPUTLOST);
  mouse->Release();
  CloseHandle(event);
}

TEST_F(DInput8, PointerMovesWaitingInTheQueueAreKeptAsOne) {
  auto move = [&](int x, int y) {
    SDL_Event motion = SLTestEvent(window, SDL_MOUSEMOTION);
    motion.motion.x = x;
    motion.motion.y = y;
    Push(motion);
  };
  move(5, 6);
  move(7, 8);
  Key(SDL_SCANCODE_A, true);  // a message between two moves keeps them apart
  move(9, 10);
  std::vector<LPARAM> moves;
  MSG msg;
  while (PeekMessageA(&msg, window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) moves.push_back(msg.lParam);
  EXPECT_EQ(moves, (std::vector<LPARAM>{(8 << 16) | 7, (10 << 16) | 9}));
  Key(SDL_SCANCODE_A, false);
}

TEST_F(DInput8, FullScreenGrabsThePointerAndAScaledPictureScalesMovement) {
  auto* native = static_cast<SDL_Window*>(SLUser32::NativeWindow(window));
  ASSERT_EQ(SDL_SetWindowFullscreen(native, SDL_WINDOW_FULLSCREEN_DESKTOP), 0);
  Pump();
  EXPECT_TRUE(SDL_GetWindowFlags(native) & SDL_WINDOW_MOUSE_GRABBED);

  // A picture drawn at twice the screen's size (the graphics device scales it through
  // SDL's logical size): movement comes in picture pixels.
  int width = 0, height = 0;
  SDL_GetWindowSize(native, &width, &height);
  SDL_Renderer* renderer = SDL_CreateRenderer(native, -1, SDL_RENDERER_SOFTWARE);
  ASSERT_NE(renderer, nullptr) << SDL_GetError();
  ASSERT_EQ(SDL_RenderSetLogicalSize(renderer, 2 * width, 2 * height), 0);
  IDirectInputDevice8A* mouse = OpenMouse();
  SDL_Event motion = SLTestEvent(window, SDL_MOUSEMOTION);
  motion.motion.xrel = 10;
  Push(motion);
  Pump();
  DIDEVICEOBJECTDATA element{};
  DWORD count = 1;
  ASSERT_EQ(mouse->GetDeviceData(sizeof element, &element, &count, 0), DI_OK);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(element.dwOfs, DWORD(DIMOFS_X));
  EXPECT_EQ(element.dwData, 20u);
  mouse->Release();
  SDL_DestroyRenderer(renderer);

  ASSERT_EQ(SDL_SetWindowFullscreen(native, 0), 0);
  Pump();
  EXPECT_FALSE(SDL_GetWindowFlags(native) & SDL_WINDOW_MOUSE_GRABBED);
}

// In a window the reader's own pointer (kept inside its area after every element, as the
// framework's mouse does) stands under the system pointer: from the first move, after the
// pointer comes back into the window, after a relative stretch and when the picture
// changes its size (positions in picture pixels, a 640 x 480 picture scaled up).
TEST_F(DInput8, InAWindowTheReadersPointerFollowsTheSystemPointer) {
  auto* native = static_cast<SDL_Window*>(SLUser32::NativeWindow(window));
  int width = 0, height = 0;
  SDL_GetWindowSize(native, &width, &height);
  IDirectInputDevice8A* mouse = OpenMouse();
  int x = 123, y = 45, area[2] = {width, height};  // the reader's pointer, somewhere
  auto read = [&] {
    DIDEVICEOBJECTDATA element{};
    DWORD count = 1;
    while (mouse->GetDeviceData(sizeof element, &element, &count, 0) == DI_OK && count == 1) {
      int& c = element.dwOfs == DIMOFS_X ? x : y;
      const int high = element.dwOfs == DIMOFS_X ? area[0] : area[1];
      if (element.dwOfs == DIMOFS_X || element.dwOfs == DIMOFS_Y)
        c = int(std::clamp<long long>(c + (long long)LONG(element.dwData), 0, high - 1));
    }
  };
  auto move = [&](int toX, int toY, int xrel, int yrel) {
    SDL_Event motion = SLTestEvent(window, SDL_MOUSEMOTION);
    motion.motion.x = toX, motion.motion.y = toY;
    motion.motion.xrel = xrel, motion.motion.yrel = yrel;
    Push(motion);
    Pump();
    read();
  };
  move(10, 20, 3, 3);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  move(width - 1, 0, 5, 5);  // the relative movement is not what moves it
  EXPECT_EQ(x, width - 1);
  EXPECT_EQ(y, 0);
  move(width + 40, -8, 1, 1);  // outside the picture: held at its edge
  EXPECT_EQ(x, width - 1);
  EXPECT_EQ(y, 0);

  // The reader moved its pointer itself; the pointer comes back into the window.
  x = 0, y = 0;
  SDL_Event enter = SLTestEvent(window, SDL_WINDOWEVENT);
  enter.window.event = SDL_WINDOWEVENT_ENTER;
  Push(enter);
  move(200, 100, 0, 0);
  EXPECT_EQ(x, 200);
  EXPECT_EQ(y, 100);

  // A 640 x 480 picture scaled to the window: positions arrive in picture pixels.
  SDL_Renderer* renderer = SDL_CreateRenderer(native, -1, SDL_RENDERER_SOFTWARE);
  ASSERT_NE(renderer, nullptr) << SDL_GetError();
  ASSERT_EQ(SDL_RenderSetLogicalSize(renderer, 640, 480), 0);
  area[0] = 640, area[1] = 480;
  x = 639, y = 479;
  float pictureX = 0, pictureY = 0;
  SDL_RenderWindowToLogical(renderer, width / 2, height / 2, &pictureX, &pictureY);
  move(width / 2, height / 2, 0, 0);
  EXPECT_NEAR(x, pictureX, 1);
  EXPECT_NEAR(y, pictureY, 1);
  SDL_DestroyRenderer(renderer);
  mouse->Release();
}

TEST_F(DInput8, MouseParametersReportTheDesktopsSettings) {
  int values[3] = {};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETMOUSE, 0, values, 0));
  EXPECT_EQ(values[0], 6);
  EXPECT_EQ(values[1], 10);
  EXPECT_EQ(values[2], 0);
  EXPECT_EQ(GetSystemMetrics(SM_SWAPBUTTON), 0);
  SLUser32SetMouseParameters(1, 2, 2, true);
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETMOUSE, 0, values, 0));
  EXPECT_EQ(values[2], 2);
  EXPECT_EQ(GetSystemMetrics(SM_SWAPBUTTON), 1);
  SLUser32SetMouseParameters(6, 10, 0, false);
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETMOUSE, 0, nullptr, 0));
}

TEST_F(DInput8, CreationRejectsWhatItCannotServe) {
  void* object = nullptr;
  EXPECT_EQ(DirectInput8Create(nullptr, 0x0700, IID_IDirectInput8A, &object, nullptr), HRESULT(0x8007047E));
  EXPECT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, GUID_SysMouse, &object, nullptr), DIERR_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  IDirectInputDevice8A* device = nullptr;
  EXPECT_EQ(input->CreateDevice(GUID_XAxis, &device, nullptr), DIERR_DEVICENOTREG);
  ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &device, nullptr), DI_OK);
  EXPECT_EQ(device->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM);
  EXPECT_EQ(device->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
            DIERR_INVALIDPARAM);
  EXPECT_EQ(device->Acquire(), DIERR_INVALIDPARAM);  // no format, no window yet
  device->Release();
}

}  // namespace
