// A click on an inactive window of the program, on a virtual display: without a window
// manager (none ever, or one that died while the windows were open, its mark left on the
// root window) the click activates the window and nothing more, its press and release kept
// from the window and from the mouse device; with openbox the window manager activates it
// and the click is an ordinary one (tests/platform/click_activation_xvfb.sh, two windows
// of two children).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/dinput8/DInput8.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/User32.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/DisplayScript.h"
#include "tests/support/TestSupport.h"

namespace {

// What the window and the mouse heard, a letter each: "A" and "a" the window activated and
// deactivated, "D" and "U" its left button's press and release ("H" a move with it held,
// "M" other moves, one letter for a run), "d" and "u" the mouse device's.
std::string g_heard;
bool g_escaped = false;

void Hear(char what) {
  if (what != 'M' || g_heard.empty() || g_heard.back() != 'M') g_heard += what;
}

LRESULT HearMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE: Hear((wParam & 0xFFFF) ? 'A' : 'a'); break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: Hear('D'); break;
    case WM_LBUTTONUP: Hear('U'); break;
    case WM_MOUSEMOVE: Hear(wParam & MK_LBUTTON ? 'H' : 'M'); break;
    case WM_KEYDOWN: g_escaped = g_escaped || wParam == WPARAM(VK_ESCAPE); break;
    default: break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A window titled $SL_CLICK_TITLE, and a reader of the mouse that hears it whatever window
// is active, as a program's mouse device does while it is; says "READY", then what they
// heard once Escape is pressed in the window.
TEST(ClickActivationChild, TellsWhatTheWindowAndTheMouseHear) {
  SL_CHILD_ONLY();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &HearMessage;
  wc.lpszClassName = "slclickwindow";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND window = CreateWindowExA(0, "slclickwindow", std::getenv("SL_CLICK_TITLE"), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                0, 320, 240, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  auto create = reinterpret_cast<decltype(&DirectInput8Create)>(
      GetProcAddress(LoadLibraryA("DINPUT8.DLL"), "DirectInput8Create"));
  void* object = nullptr;
  ASSERT_EQ(create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, &object, nullptr), DI_OK);
  auto* input = static_cast<IDirectInput8A*>(object);
  IDirectInputDevice8A* mouse = nullptr;
  ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
  ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
  ASSERT_EQ(mouse->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  DIPROPDWORD size{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 64};
  ASSERT_EQ(mouse->SetProperty(DIMakeProperty(DIPROP_BUFFERSIZE), &size.diph), DI_OK);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  std::puts("READY");
  std::fflush(stdout);
  for (int waited = 0; !g_escaped && waited < 60000; waited += 5) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    DIDEVICEOBJECTDATA data[16];
    DWORD count = 16;
    if (mouse->GetDeviceData(sizeof data[0], data, &count, 0) >= 0)
      for (DWORD i = 0; i < count; ++i)
        if (data[i].dwOfs == DIMOFS_BUTTON0) Hear(data[i].dwData & 0x80 ? 'd' : 'u');
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::printf("HEARD %s\n", g_heard.c_str());
  mouse->Release();
  input->Release();
  DestroyWindow(window);
}

TEST(ClickActivationDisplay, WithoutAWindowManagerTheClickOnlyActivates) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v xwininfo >/dev/null"))
    GTEST_SKIP() << "xvfb-run, xdotool and xwininfo are needed";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  for (const std::string desktop : {"none", "gone", "openbox"}) {
    SCOPED_TRACE(desktop);
    if (desktop != "none" && std::system("command -v openbox >/dev/null") != 0) continue;
    const std::string log =
        SLTestCapture(SL_SOURCE_DIR "/tests/platform/click_activation_xvfb.sh '" + self + "' " + desktop + " 2>&1");
    EXPECT_EQ(SLScriptValue(log, "FOCUS AFTER"), "Primera") << log;
    // From the second window's opening on: the held click, then the quick one.
    const std::string heard = SLScriptValue(log, "HEARD");
    ASSERT_NE(heard.find('a'), std::string::npos) << log;
    const std::string clicks = heard.substr(heard.find('a'));
    auto count = [](const std::string& text, char what) { return std::count(text.begin(), text.end(), what); };
    if (desktop == "openbox") {
      // The window manager's click-to-focus: both clicks are the window's and the mouse's.
      for (char what : {'D', 'U', 'd', 'u'}) EXPECT_EQ(count(clicks, what), 2) << what << "\n" << log;
      continue;
    }
    // The held press went nowhere, and its moves went on, none with the button held; once
    // the window is active the quick click is a click.
    ASSERT_NE(clicks.find('A'), std::string::npos) << log;
    const std::string activating = clicks.substr(0, clicks.find('A')), after = clicks.substr(clicks.find('A'));
    EXPECT_EQ(activating.find_first_of("DUduH"), std::string::npos) << log;
    EXPECT_NE(clicks.find('M'), std::string::npos) << log;
    EXPECT_EQ(count(after, 'H'), 0) << log;
    for (char what : {'D', 'U', 'd', 'u'}) EXPECT_EQ(count(after, what), 1) << what << "\n" << log;
  }
}

}  // namespace
