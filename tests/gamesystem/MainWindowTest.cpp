// The main window on the window layer (SDL's dummy video driver): class name, icon,
// close requests, the pump's slices and waits, destruction and the fatal-error report.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "foundation/SLLibrary.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/SLMainWindowApi.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/Icons.h"
#include "platform/user32/User32.h"
#include "platform/user32/WindowSystem.h"
#include "tests/foundation/ChildProcess.h"

namespace {

constexpr u32 kIconId = 101;
HINSTANCE Program() { return GetModuleHandleA(nullptr); }

// Counts WM_USER messages and notes what the record slot holds at WM_NCDESTROY.
class MessageProbe : public CSLWndProcHookTarget {
 public:
  LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_USER) ++userMessages;
    if (message == WM_NCDESTROY) recordAtNcDestroy = GetWindowLongW(window, 0);
    return hook->CallPrevious(message, wParam, lParam);
  }
  int userMessages = 0;
  LONG_PTR recordAtNcDestroy = -1;
};

class DyingCounter {
 public:
  void OnEvent(CSL_GS_MainWindow*, CSLBaseEvent* event, u32) {
    if (event->IsKindOf(CSLEventSourceDying::GetClassRecord())) ++dying;
  }
  int dying = 0;
};

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.Create(Program(), "Prueba de ventana", kIconId, false));
    ASSERT_TRUE(window.SetWaitWhenInactive(false));
  }
  void TearDown() override {
    hook.Detach();
    window.Destroy();
  }
  HWND Handle() { return window.GetHandle(); }
  int PumpCounting() {
    const int before = probe.userMessages;
    EXPECT_FALSE(window.PumpMessages());
    return probe.userMessages - before;
  }

  CSL_GS_MainWindow window;
  CSLWndProcHook hook;
  MessageProbe probe;
};

std::string g_createdClass;
LRESULT ClassSpy(int code, WPARAM, LPARAM lParam) {
  if (code == HCBT_CREATEWND) g_createdClass = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs->lpszClass;
  return 0;
}

TEST(MainWindowCreate, UniqueClassNameIconAndSecondCreate) {
  HHOOK spy = SetWindowsHookExA(WH_CBT, &ClassSpy, nullptr, 0);
  CSL_GS_MainWindow window;
  ASSERT_TRUE(window.Create(Program(), "Zarandulvortequimbaplastelo", kIconId, false));
  UnhookWindowsHookEx(spy);
  ASSERT_EQ(g_createdClass.size(), 31u);
  EXPECT_EQ(g_createdClass.substr(0, 10), "SL_GS_MWND");
  EXPECT_EQ(g_createdClass.find_first_not_of("0123456789", 10), std::string::npos) << g_createdClass;
  EXPECT_NE(GetWindowLongA(window.GetHandle(), 0), 0);

  // The window got the icon of group 101 (its pixels: the icon tests).
  EXPECT_NE(SendMessageA(window.GetHandle(), WM_SETICON, ICON_SMALL, 0), 0);

  EXPECT_FALSE(window.Create(Program(), "otra", kIconId, false));
  EXPECT_EQ(SLGetLastError(), 0x80010003u);
  HWND handle = window.GetHandle();
  window.Destroy();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(window.GetHandle(), nullptr);
}

TEST(MainWindowCreate, OperationsBeforeCreateFail) {
  CSL_GS_MainWindow window;
  EXPECT_FALSE(window.ProcessMessages(false));
  EXPECT_EQ(SLGetLastError(), 0x80010002u);
  EXPECT_FALSE(window.TakeCloseRequest());
  EXPECT_EQ(SLGetLastError(), 0x80010002u);
  EXPECT_FALSE(window.SetWaitWhenInactive(false));
  EXPECT_EQ(SLGetLastError(), 0x80010002u);
  EXPECT_EQ(window.GetHandle(), nullptr);
  window.Destroy();
  EXPECT_EQ(SLGetLastError(), 0u);
}

// Every way of asking to close leaves the window open and raises the flag once.
TEST_F(MainWindow, CloseRequestsKeepTheWindowAndAreTakenOnce) {
  struct Case {
    const char* name;
    void (*ask)(HWND window);
  };
  const Case cases[] = {
      {"display close button",
       [](HWND w) {
         SDL_Event event{};
         event.type = SDL_WINDOWEVENT;
         event.window.event = SDL_WINDOWEVENT_CLOSE;
         event.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(SLUser32::NativeWindow(w)));
         ASSERT_EQ(SDL_PushEvent(&event), 1);
       }},
      {"Alt+F4", [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Ctrl+Q",
       [](HWND w) {
         SLUser32InjectKey(w, true, VK_CONTROL, 0);
         SLUser32InjectKey(w, true, 'Q', 0);
       }},
  };
  ASSERT_NE(SLUser32::NativeWindow(Handle()), nullptr);
  ASSERT_TRUE(hook.Attach(Handle(), &probe));
  for (const Case& c : cases) {
    c.ask(Handle());
    EXPECT_FALSE(window.ProcessMessages(false)) << c.name;
    SLUser32InjectKey(Handle(), false, 'Q', 0);
    SLUser32InjectKey(Handle(), false, VK_CONTROL, 0);
    window.ProcessMessages(false);
    EXPECT_TRUE(IsWindow(Handle())) << c.name;
    EXPECT_TRUE(window.TakeCloseRequest()) << c.name;
    EXPECT_FALSE(window.TakeCloseRequest()) << c.name;
  }
  // Discarding drops a request taken already and those still queued, nothing else.
  PostMessageA(Handle(), WM_CLOSE, 0, 0);
  window.PumpMessages();
  for (int i = 0; i < 3; ++i) PostMessageA(Handle(), WM_CLOSE, 0, 0);
  PostMessageA(Handle(), WM_USER, 0, 0);
  window.DiscardCloseRequests();
  EXPECT_EQ(PumpCounting(), 1);
  EXPECT_FALSE(window.TakeCloseRequest());
}

TEST_F(MainWindow, PumpHandlesBurstsInSlicesOfOneHundred) {
  ASSERT_TRUE(hook.Attach(Handle(), &probe));
  window.PumpMessages();  // whatever the creation left
  for (int i = 0; i < 250; ++i) PostMessageA(Handle(), WM_USER, 0, 0);
  EXPECT_EQ(PumpCounting(), 100);
  EXPECT_EQ(PumpCounting(), 100);
  EXPECT_EQ(PumpCounting(), 50);
  EXPECT_EQ(PumpCounting(), 0);
  // A waiting activation at the hundredth message starts a new slice.
  for (int i = 0; i < 100; ++i) PostMessageA(Handle(), WM_USER, 0, 0);
  PostMessageA(Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  for (int i = 0; i < 150; ++i) PostMessageA(Handle(), WM_USER, 0, 0);
  EXPECT_EQ(PumpCounting(), 199);
  EXPECT_EQ(PumpCounting(), 51);
}

// While the window is minimised or inactive the pump waits for the message that makes
// it run again, whichever thread sends it; the quit message ends the wait too.
TEST_F(MainWindow, PumpWaitsUntilTheWindowRunsAgain) {
  struct Case {
    UINT leave;
    WPARAM leaveParam;
    UINT wake;
    WPARAM wakeParam;
    bool mustEnd;
  };
  const Case cases[] = {
      {WM_SIZE, SIZE_MINIMIZED, WM_SIZE, SIZE_RESTORED, false},
      {WM_SIZE, 4 /* SIZE_MAXHIDE */, WM_SIZE, SIZE_MAXIMIZED, false},
      {WM_ACTIVATE, WA_INACTIVE, WM_ACTIVATE, WA_ACTIVE, false},
      {WM_ACTIVATE, WA_INACTIVE, WM_QUIT, 0, true},
  };
  ASSERT_TRUE(window.SetWaitWhenInactive(true));
  for (const Case& c : cases) {
    PostMessageA(Handle(), c.leave, c.leaveParam, 0);
    HWND target = Handle();
    std::thread waker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      PostMessageA(target, c.wake, c.wakeParam, 0);
    });
    auto start = std::chrono::steady_clock::now();
    bool ended = window.PumpMessages();
    auto waited = std::chrono::steady_clock::now() - start;
    waker.join();
    EXPECT_EQ(ended, c.mustEnd) << c.leave;
    EXPECT_GE(waited, std::chrono::milliseconds(140)) << c.leave;
  }
}

TEST_F(MainWindow, EveryPumpAfterTheQuitMessageSaysEnd) {
  PostQuitMessage(0);
  EXPECT_TRUE(window.PumpMessages());
  EXPECT_TRUE(window.PumpMessages());
  EXPECT_TRUE(window.ProcessMessages(false));
  EXPECT_EQ(SLGetLastError(), 0u);
}

// The system's request to end asks like a close request; a second one while the first is
// unanswered, or one marked as repeated at once, ends the pump. Answered (the close
// requests discarded), the next asks again.
TEST_F(MainWindow, RequestsToEndAskOnceThenEndThePump) {
  auto ask = [&](LPARAM flags) { PostMessageA(Handle(), WM_QUERYENDSESSION, 0, flags); };
  ask(ENDSESSION_CLOSEAPP);
  EXPECT_FALSE(window.ProcessMessages(false));
  EXPECT_TRUE(window.TakeCloseRequest());
  window.DiscardCloseRequests();
  ask(ENDSESSION_CLOSEAPP);
  EXPECT_FALSE(window.ProcessMessages(false));
  EXPECT_TRUE(window.TakeCloseRequest());
  ask(ENDSESSION_CLOSEAPP);  // the prompt of the first is still open
  EXPECT_TRUE(window.ProcessMessages(false));
  EXPECT_NE(window.GetHandle(), nullptr);  // the pump ended; the window waits for its shutdown
}

// SDL's quit event: after the last window's close it is that close; on its own it is the
// system's termination request (SIGTERM, SIGINT), which asks, and which ends the pump when
// it comes again within three seconds, answered or not.
TEST_F(MainWindow, TerminationRequestsFromTheDisplayAskThenEnd) {
  auto push = [](Uint32 type, HWND w) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_WINDOWEVENT) {
      event.window.event = SDL_WINDOWEVENT_CLOSE;
      event.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(SLUser32::NativeWindow(w)));
    }
    ASSERT_EQ(SDL_PushEvent(&event), 1);
  };
  ASSERT_NE(SLUser32::NativeWindow(Handle()), nullptr);
  push(SDL_WINDOWEVENT, Handle());
  push(SDL_QUIT, Handle());
  EXPECT_FALSE(window.ProcessMessages(false));
  EXPECT_TRUE(window.TakeCloseRequest());
  window.DiscardCloseRequests();
  push(SDL_QUIT, Handle());
  EXPECT_FALSE(window.ProcessMessages(false));
  EXPECT_TRUE(window.TakeCloseRequest());
  window.DiscardCloseRequests();  // "No" in the prompt
  push(SDL_QUIT, Handle());
  EXPECT_TRUE(window.ProcessMessages(false));
}

TEST_F(MainWindow, ARequestRepeatedAtOnceEndsThePump) {
  PostMessageA(Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP | ENDSESSION_CRITICAL);
  EXPECT_TRUE(window.ProcessMessages(false));
  EXPECT_FALSE(window.TakeCloseRequest());
}

// With close-directly a close request destroys the window: the listeners hear of it
// once, and the later messages of the destruction find no record in the window.
TEST(MainWindowCloseDirectly, CloseDestroysOnceAndLeavesNoStaleRecord) {
  DyingCounter listener;
  MessageProbe probe;
  CSLWndProcHook hook;
  {
    CSL_GS_MainWindow window;
    ASSERT_TRUE(window.Create(Program(), "Cerrar", kIconId, true));
    ASSERT_TRUE(window.SetWaitWhenInactive(false));
    ASSERT_TRUE(window.AddCallback(&listener, &DyingCounter::OnEvent, 0));
    ASSERT_TRUE(hook.Attach(window.GetHandle(), &probe));
    HWND handle = window.GetHandle();
    PostMessageA(handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(window.ProcessMessages(false));
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_EQ(listener.dying, 1);
    EXPECT_EQ(probe.recordAtNcDestroy, 0);
    EXPECT_FALSE(window.TakeCloseRequest());
  }
  EXPECT_EQ(listener.dying, 1);  // the destructor found nothing left to destroy
}

// The fatal report: exit status, and "caption: text" in UTF-8 on standard error.
TEST(MainWindowFatalError, ChildReportsAndExits) {
  SL_CHILD_ONLY();
  const int code = std::atoi(std::getenv("SL_FATAL_CODE"));
  const char* text = std::getenv("SL_FATAL_TEXT");
  if (std::getenv("SL_HIDE_ANSI_BOX")) SLPlatformHideExport("user32.dll", "MessageBoxA", true);
  static CSL_GS_MainWindow window;  // destroyed at exit, as the program's global one
  ASSERT_TRUE(window.Create(Program(), "Error fatal", kIconId, false));
  window.FatalError(code, "%s", text ? text : "");
}

TEST(MainWindowFatalError, ExitStatusAndReport) {
  struct Case {
    const char* code;
    const char* text;  // 8-bit text of the system code page
    bool hideAnsiBox;
    int status;
    const char* report;
  };
  const Case cases[] = {
      {"-101", "No puedo cargar im\xe1genes", false, 155, "Error: Error 00101: No puedo cargar im\xc3\xa1genes\n"},
      {"-101", "No puedo cargar im\xe1genes", true, 155, "Error: Error 00101: No puedo cargar im\xc3\xa1genes\n"},
      {"42", "", false, 42, "Error: Error 00042\n"},
      {"-42", "", false, 214, "Error: Error 00042\n"},
      {"256", "", false, 1, "Error: Error 00256\n"},
  };
  for (const Case& c : cases) {
    std::string environment = std::string("SL_FATAL_CODE=") + c.code + " SL_FATAL_TEXT='" + c.text + "'";
    if (c.hideAnsiBox) environment += " SL_HIDE_ANSI_BOX=1";
    SLChildResult child = SLRunChildTest("MainWindowFatalError.ChildReportsAndExits", environment);
    ASSERT_TRUE(WIFEXITED(child.status)) << child.output;
    EXPECT_EQ(WEXITSTATUS(child.status), c.status) << c.code;
    EXPECT_NE(child.output.find(c.report), std::string::npos) << c.code << ": " << child.output;
    // Reported once, though the window is destroyed again by its destructor.
    EXPECT_EQ(child.output.find("Error: Error", child.output.find(c.report) + 1), std::string::npos) << child.output;
  }
}

// A missing 8-bit window entry point drops the whole 8-bit set: the window is made and
// pumped with the UTF-16 entry points. Without either set Create fails cleanly.
TEST(MainWindowEntryPoints, ChildWithHiddenEntries) {
  SL_CHILD_ONLY();
  for (const char* name : {"CreateWindowExA", "CreateWindowExW"})
    if (std::string(std::getenv("SL_HIDE")).find(name) != std::string::npos)
      SLPlatformHideExport("user32.dll", name, true);
  const bool expectWindow = std::getenv("SL_EXPECT_WINDOW")[0] == '1';
  CSL_GS_MainWindow window;
  ASSERT_EQ(window.Create(Program(), "Ancho", kIconId, false), expectWindow);
  if (expectWindow) {
    EXPECT_TRUE(SLUser32::WindowIsUnicode(window.GetHandle()));
    PostMessageW(window.GetHandle(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(window.SetWaitWhenInactive(false));
    EXPECT_FALSE(window.ProcessMessages(false));
    EXPECT_TRUE(window.TakeCloseRequest());
  } else {
    auto* api = SLInternals::CSL_GS_MainWindowInternal::Get();
    EXPECT_EQ(api->CreateWindowEx(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(SLGetSystemLastError(), 120u);
    EXPECT_FALSE(window.ProcessMessages(false));
    EXPECT_EQ(SLGetLastError(), 0x80010002u);
  }
  SL_CHILD_DONE();
}

TEST(MainWindowEntryPoints, MissingEntryPoints) {
  SL_EXPECT_CHILD_PASSES("MainWindowEntryPoints.ChildWithHiddenEntries", "SL_HIDE=CreateWindowExA SL_EXPECT_WINDOW=1");
  SL_EXPECT_CHILD_PASSES("MainWindowEntryPoints.ChildWithHiddenEntries",
                         "SL_HIDE=CreateWindowExA,CreateWindowExW SL_EXPECT_WINDOW=0");
}

// On a real (virtual) X display: the window shows its title and icon, and Ctrl+Q typed
// into it gives one close request.
TEST(MainWindowDisplay, TitleIconAndCtrlQUnderX) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && "
                  "command -v xprop >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool and xprop are needed";
  std::string command = std::string(SL_SOURCE_DIR) + "/tests/support/xvfb_demo.sh " + SL_BINARY_DIR +
                        "/tools/demos/gswindemo " + SL_SOURCE_DIR + "/tests/gamesystem/mainwindow_xvfb.sh 2>&1";
  std::string log;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) log += buffer;
  pclose(pipe);
  EXPECT_NE(log.find("_NET_WM_ICON(CARDINAL)"), std::string::npos) << log;
  EXPECT_NE(log.find("WM_NAME"), std::string::npos) << log;
  EXPECT_NE(log.find("CLOSE-REQUESTS 1"), std::string::npos) << log;
}

}  // namespace
