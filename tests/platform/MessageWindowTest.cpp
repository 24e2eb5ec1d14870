// Message boxes when the desktop cannot show its own: the platform's window shows the
// text and waits for the answer on a display; a headless run prints and goes on at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/user32/User32.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

const char kReport[] = "Error 00111: No puedo cargar im\xe1genes\nArchivo: /tmp/prueba/Gfx/Gfx.DAT";

// Opens the box with the desktop's own box hidden and says how it was answered.
TEST(MessageWindowChild, ShowsTheReportAndWaits) {
  SL_CHILD_ONLY();
  SLPlatformHideSystemMessageBox(true);
  const auto start = std::chrono::steady_clock::now();
  const int answer = MessageBoxA(nullptr, kReport, "Error", 0x12010);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("ANSWER %d AFTER %lld MS\n", answer, static_cast<long long>(waited.count()));
}

// The same box asked for by a worker thread while the window's own thread keeps pumping
// its messages, as a fatal end on another thread meets the program's screen loop.
TEST(MessageWindowChild, ShowsTheReportFromAWorkerWhileTheWindowPumps) {
  SL_CHILD_ONLY();
  SLPlatformHideSystemMessageBox(true);
  ASSERT_NE(SLTestMakeWindow("Principal"), nullptr);
  std::atomic<bool> answered{false};
  std::thread worker([&] {
    const auto start = std::chrono::steady_clock::now();
    const int answer = MessageBoxA(nullptr, kReport, "Error", 0x12010);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("ANSWER %d AFTER %lld MS\n", answer, static_cast<long long>(waited.count()));
    answered = true;
  });
  MSG msg;
  while (!answered) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker.join();
}

TEST(MessageWindow, HeadlessRunsPrintTheReportAndAnswerAtOnce) {
  for (const char* driver : {"dummy", "offscreen"}) {
    const SLChildResult child =
        SLRunChildTest("MessageWindowChild.ShowsTheReportAndWaits", std::string("SDL_VIDEODRIVER=") + driver);
    EXPECT_NE(child.output.find("Error: Error 00111: No puedo cargar im\xc3\xa1genes\nArchivo: /tmp/prueba/Gfx/Gfx.DAT\n"),
              std::string::npos)
        << driver << "\n" << child.output;
    const size_t at = child.output.find("ANSWER 1 AFTER ");
    ASSERT_NE(at, std::string::npos) << driver << "\n" << child.output;
    EXPECT_LT(std::stol(child.output.substr(at + 15)), 1000) << driver;
  }
}

TEST(MessageWindow, OwnWindowShowsTheTextAndWaitsForAKeyOrAceptar) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool and ImageMagick are needed";
  const std::string shot = std::string(SL_BINARY_DIR) + "/xvfb-message-window.png";
  std::remove(shot.c_str());
  const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/platform/message_window_xvfb.sh '" +
                                        std::filesystem::read_symlink("/proc/self/exe").string() + "' '" + shot +
                                        "' 2>&1");
  // Answered three times (a key, the button, a key to a box a worker thread asked for),
  // each time after waiting for it.
  size_t first = log.find("WAITING\n");
  ASSERT_NE(first, std::string::npos) << log;
  size_t answer = log.find("ANSWER 1 AFTER ", first);
  ASSERT_NE(answer, std::string::npos) << log;
  EXPECT_GE(std::stol(log.substr(answer + 15)), 1000) << log;
  const size_t second = log.find("WAITING\n", answer);
  ASSERT_NE(second, std::string::npos) << log;
  answer = log.find("ANSWER 1 AFTER ", second);
  ASSERT_NE(answer, std::string::npos) << log;
  EXPECT_GE(std::stol(log.substr(answer + 15)), 1000) << log;
  const size_t third = log.find("WAITING\n", answer);
  ASSERT_NE(third, std::string::npos) << log;
  answer = log.find("ANSWER 1 AFTER ", third);
  ASSERT_NE(answer, std::string::npos) << log;
  EXPECT_GE(std::stol(log.substr(answer + 15)), 1000) << log;
  // The window drew the text: the screenshot is more than one flat colour.
  const std::string colours = SLTestCapture("convert '" + shot + "' -format %k info: 2>&1");
  EXPECT_GT(std::atoi(colours.c_str()), 8) << colours;
}

}  // namespace
