// The window and message layer: what window procedures, hooks and the pump rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/user32/User32.h"

namespace {

std::vector<UINT>* g_log = nullptr;

LRESULT LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_log) g_log->push_back(message);
  if (message == WM_USER + 1) return LRESULT(wParam + 1);
  return DefWindowProcW(window, message, wParam, lParam);
}

class User32 : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &LoggingProc;
    wc.cbWndExtra = 8;
    wc.lpszClassName = className.c_str();
    ASSERT_NE(RegisterClassExW(&wc), 0);
  }
  void TearDown() override {
    for (HWND w : windows)
      if (IsWindow(w)) DestroyWindow(w);
    UnregisterClassW(className.c_str(), nullptr);
    g_log = nullptr;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  HWND Make(HWND parent = nullptr) {
    HWND w = CreateWindowExW(0, className.c_str(), u"prueba", parent ? WS_CHILD : 0, 0, 0, 100, 50, parent,
                             nullptr, nullptr, nullptr);
    windows.push_back(w);
    return w;
  }
  std::u16string className = u"SLTestClass";
  std::vector<UINT> log;
  std::vector<HWND> windows;
};

HHOOK g_hook = nullptr;
std::vector<std::pair<int, UINT>>* g_hookLog = nullptr;

LRESULT CbtProc(int code, WPARAM wParam, LPARAM lParam) {
  if (g_hookLog) g_hookLog->push_back({code, 0});
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

LRESULT CbtRefuse(int, WPARAM, LPARAM) { return 1; }

}  // namespace

TEST_F(User32, CreationSendsFirstMessagesInOrderAfterTheHook) {
  std::vector<std::pair<int, UINT>> hookLog;
  g_hookLog = &hookLog;
  g_hook = SetWindowsHookExW(WH_CBT, &CbtProc, nullptr, 0);
  ASSERT_NE(g_hook, nullptr);
  HWND w = Make();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(UnhookWindowsHookEx(g_hook));
  g_hookLog = nullptr;
  ASSERT_EQ(hookLog.size(), 1u);
  EXPECT_EQ(hookLog[0].first, HCBT_CREATEWND);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], WM_NCCREATE);
  EXPECT_EQ(log[1], WM_NCCALCSIZE);
  EXPECT_EQ(log[2], WM_CREATE);
  log.clear();
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_EQ(log, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(User32, HookCanRefuseCreation) {
  HHOOK hook = SetWindowsHookExW(WH_CBT, &CbtRefuse, nullptr, 0);
  EXPECT_EQ(Make(), nullptr);
  EXPECT_TRUE(log.empty());
  UnhookWindowsHookEx(hook);
}

LRESULT ReplacementProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 1) return 1000;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(User32, ProcedureReplacementAndWindowLongs) {
  HWND w = Make();
  EXPECT_EQ(SendMessageW(w, WM_USER + 1, 41, 0), 42);
  LONG_PTR old = SetWindowLongW(w, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&ReplacementProc));
  EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(&LoggingProc));
  EXPECT_EQ(SendMessageW(w, WM_USER + 1, 41, 0), 1000);
  EXPECT_EQ(CallWindowProcW(reinterpret_cast<WNDPROC>(old), w, WM_USER + 1, 1, 0), 2);
  // Extra bytes hold a pointer-sized value at offset 0.
  int local = 0;
  SetWindowLongW(w, 0, reinterpret_cast<LONG_PTR>(&local));
  EXPECT_EQ(GetWindowLongW(w, 0), reinterpret_cast<LONG_PTR>(&local));
  EXPECT_EQ(GetWindowLongW(w, 400), 0);
}

TEST_F(User32, StyleChangesAreAnnounced) {
  HWND w = Make();
  log.clear();
  SetWindowLongW(w, GWL_EXSTYLE, WS_EX_MDICHILD);
  EXPECT_EQ(log, (std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}));
  EXPECT_EQ(GetWindowLongW(w, GWL_EXSTYLE), LONG_PTR(WS_EX_MDICHILD));
}

TEST_F(User32, RegisteredMessagesShareIdsByNameWithoutCase) {
  UINT a = RegisterWindowMessageA("SL_MX_WNDHOOK_MSG");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(RegisterWindowMessageW(u"sl_mx_wndhook_msg"), a);
  EXPECT_NE(RegisterWindowMessageA("otro"), a);
  EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

TEST_F(User32, PostedMessagesComeInOrderAndQuitComesLast) {
  HWND w = Make();
  PostQuitMessage(7);
  PostMessageW(w, WM_USER + 2, 1, 0);
  PostMessageW(w, WM_USER + 3, 2, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));  // filter skips the first
  EXPECT_EQ(msg.message, WM_USER + 3);
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_USER + 2);
  log.clear();
  DispatchMessageW(&msg);
  EXPECT_EQ(log, std::vector<UINT>{WM_USER + 2});
  // Pending paint comes before quit only while the window needs painting.
  ValidateRect(w, nullptr);
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(User32, SendFromAnotherThreadRunsOnTheOwner) {
  HWND w = Make();
  std::thread::id ownerThread = std::this_thread::get_id();
  std::atomic<LRESULT> result{0};
  std::thread sender([&] { result = SendMessageW(w, WM_USER + 1, 9, 0); });
  // The owner answers while it looks at its queue.
  MSG msg;
  for (int i = 0; i < 2000 && result == 0; ++i) {
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  sender.join();
  EXPECT_EQ(result.load(), 10);
  EXPECT_EQ(std::this_thread::get_id(), ownerThread);
}

TEST_F(User32, PaintIsMadeUpUntilValidated) {
  HWND w = Make();
  ShowWindow(w, SW_SHOW);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, w, WM_PAINT, WM_PAINT, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_PAINT);
  DispatchMessageW(&msg);  // the default procedure validates
  EXPECT_FALSE(PeekMessageW(&msg, w, WM_PAINT, WM_PAINT, PM_REMOVE));
  InvalidateRect(w, nullptr, FALSE);
  EXPECT_TRUE(PeekMessageW(&msg, w, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(User32, CloseDestroysThroughTheDefaultProcedure) {
  HWND parent = Make();
  HWND child = Make(parent);
  ASSERT_NE(child, nullptr);
  SendMessageW(parent, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
}

TEST_F(User32, InjectedKeysBecomeKeyAndCharacterMessages) {
  HWND w = Make();
  SLUser32InjectKey(w, true, 'A', u'ñ');
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, w, WM_KEYDOWN, WM_CHAR, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_KEYDOWN);
  EXPECT_EQ(msg.wParam, WPARAM('A'));
  EXPECT_TRUE(GetKeyState('A') & 0x8000);
  ASSERT_TRUE(PeekMessageW(&msg, w, WM_KEYDOWN, WM_CHAR, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_CHAR);
  EXPECT_EQ(msg.wParam, WPARAM(u'ñ'));
  SLUser32InjectKey(w, false, 'A', 0);
  EXPECT_FALSE(GetKeyState('A') & 0x8000);
}

TEST_F(User32, AnsiWindowsGetCharactersInWindows1252) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &LoggingProc;
  wc.lpszClassName = "SLTestAnsi";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND w = CreateWindowExA(0, "sltestansi", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  SLUser32InjectKey(w, true, 'E', u'€');
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, w, WM_CHAR, WM_CHAR, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0x80u);
  DestroyWindow(w);
  UnregisterClassA("SLTestAnsi", nullptr);
}

TEST_F(User32, MessageWaitWakesForPostedInputOrHandles) {
  HWND w = Make();
  DWORD self = GetWindowThreadProcessId(w, nullptr);
  std::thread poster([self] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    PostThreadMessageA(self, WM_USER + 9, 0, 0);
  });
  HANDLE none = nullptr;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, &none, FALSE, 5000, 0xFF), WAIT_OBJECT_0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  poster.join();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 9, WM_USER + 9, PM_REMOVE));
  // Nothing queued: the time-out.
  EXPECT_EQ(MsgWaitForMultipleObjects(0, &none, FALSE, 20, 0xFF), WAIT_TIMEOUT);
}
