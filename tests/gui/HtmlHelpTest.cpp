// The help object over the built-in help control, a help file compiled by chmcmd and a
// stub viewer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gui/SLHtmlHelp.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/HelpFixture.h"

namespace {

HWND const kOwner = reinterpret_cast<HWND>(0x1234);

TEST(HtmlHelp, ShowsTopicsOnlyWithOwnerAndFile) {
  HelpFixture help;
  CSL_WND_HtmlHelp system;
  SL_EXPECT_OK(system.SetHelpFile(help.WinName().c_str()));
  SL_EXPECT_FAIL(system.ShowTopic("contenido.htm"), SL_E_NOT_INITIALISED);
  SL_EXPECT_OK(system.SetOwnerWindow(kOwner));
  SL_EXPECT_FAIL(system.ShowTopic(""), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(system.ShowTopic(nullptr), SL_E_INVALID_ARG);

  // Twice in a row: the same topic string, shown both times.
  const std::string expected = help.WinName() + "::contenido.htm";
  for (int i = 0; i < 2; ++i) {
    SL_EXPECT_OK(system.ShowTopic("contenido.htm"));
    EXPECT_EQ(system.GetLastTopicString(), expected);
  }
  const std::string log = help.WaitForLog(2);
  EXPECT_EQ(log.substr(0, log.find('\n')), log.substr(log.find('\n') + 1, log.find('\n')));

  SL_EXPECT_FAIL(system.ShowTopic("falta.htm"), SL_E_OPERATION_FAILED);
  // A new owner closes the windows open so far.
  SL_EXPECT_OK(system.SetOwnerWindow(kOwner));
  EXPECT_EQ(help.WaitForLog(4).substr(log.size()), "term\nterm\n");
  EXPECT_TRUE(help.RuntimeEmpty());

  // Clearing the file stops topics again; no viewer at all is a refusal.
  SL_EXPECT_OK(system.SetHelpFile(""));
  SL_EXPECT_FAIL(system.ShowTopic("contenido.htm"), SL_E_NOT_INITIALISED);
  SL_EXPECT_OK(system.SetHelpFile(help.WinName().c_str()));
  // (Neither the chosen viewer nor any of the usual ones in PATH.)
  const std::string path = std::getenv("PATH");
  setenv("PATH", help.dir.Host("runtime").c_str(), 1);
  setenv("SL_HELP_VIEWER", help.dir.Host("no-viewer").c_str(), 1);
  SL_EXPECT_FAIL(system.ShowTopic("contenido.htm"), SL_E_OPERATION_FAILED);
  setenv("PATH", path.c_str(), 1);
}

// The control's entry is bound once per process, so these run in a fresh one.
TEST(HtmlHelpDeathTest, WithoutTheControlEveryOperationIsNotSupported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SLPlatformHideExport("hhctrl.ocx", "HtmlHelpA", true);
        CSL_WND_HtmlHelp system;
        bool refused = !system.SetHelpFile("a.chm") && SLGetLastError() == SL_E_NOT_SUPPORTED;
        refused = refused && !system.SetOwnerWindow(kOwner) && SLGetLastError() == SL_E_NOT_SUPPORTED;
        refused = refused && !system.ShowTopic("x.htm") && SLGetLastError() == SL_E_NOT_SUPPORTED;
        std::exit(refused ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The child is a fork: the help object's exit work runs when it exits.
TEST(HtmlHelpDeathTest, ViewersEndAndFoldersGoAtExit) {
  GTEST_FLAG_SET(death_test_style, "fast");
  HelpFixture help;
  EXPECT_EXIT(
      {
        SL_EXPECT_OK(g_htmlHelp.SetHelpFile(help.WinName().c_str()));
        SL_EXPECT_OK(g_htmlHelp.SetOwnerWindow(kOwner));
        const bool shown = g_htmlHelp.ShowTopic("contenido.htm");
        help.WaitForLog(1);
        std::exit(shown ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  const std::string log = help.WaitForLog(2);
  EXPECT_EQ(log.substr(log.find('\n') + 1), "term\n");
  EXPECT_TRUE(help.RuntimeEmpty());
}

}  // namespace
