// Runs a script that drives the built program on a virtual display (tests/app/*_xvfb.sh)
// with the build tree of the test in SL_BUILD_DIR. Such runs take minutes of real time and
// their steps wait fixed times for the program, so they run only when
// SL_LONG_DISPLAY_TESTS=1 asks for them (a machine that keeps pace with the program,
// without sanitizers); a missing tool, program or content skips the test, as does the
// script's own exit code 77. Call it as the last statement of a test. Below it, what the
// display tests read of a script's output and of its screenshots.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"

// `tools`: the commands the run needs, separated by spaces; `shots`: the screenshots'
// file pattern in the build tree, named when the run fails.
inline void SLRunDisplayScript(const std::string& script, const std::string& tools, const std::string& shots) {
  const char* wanted = std::getenv("SL_LONG_DISPLAY_TESTS");
  if (!wanted || std::string(wanted) != "1") GTEST_SKIP() << "set SL_LONG_DISPLAY_TESTS=1 to run it";
  if (std::system(("for tool in " + tools + "; do command -v $tool >/dev/null || exit 1; done").c_str()) != 0)
    GTEST_SKIP() << "the run needs " << tools;
  const std::string build = SL_BINARY_DIR;
  if (!std::filesystem::exists(build + "/Zarandulvortequimbaplastelo") ||
      !std::filesystem::exists(build + "/content"))
    GTEST_SKIP() << "the program and its content are not built in " << build;
  const std::string command = "SL_BUILD_DIR='" + build + "' '" SL_SOURCE_DIR "/tests/app/" + script + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "a tool of the run is missing";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "see the output above and the screenshots " << build << "/" << shots;
}

// The rest of the line after the first "LABEL " in a script's output, or "" without one.
inline std::string SLScriptValue(const std::string& log, const std::string& label) {
  const size_t at = log.find(label + " ");
  if (at == std::string::npos) return "";
  return log.substr(at + label.size() + 1, log.find('\n', at) - at - label.size() - 1);
}

// The mean brightness of a screenshot, 0 (black) to 1.
inline double SLShotMean(const std::string& shot) {
  return std::atof(SLTestCapture("convert '" + shot + "' -format '%[fx:mean]' info: 2>&1").c_str());
}

// How far two screenshots differ: the root-mean-square of their pixels' differences, 0 to
// 1 (1 also when they cannot be compared).
inline double SLShotDifference(const std::string& one, const std::string& other) {
  const std::string out = SLTestCapture("compare -metric RMSE '" + one + "' '" + other + "' null: 2>&1");
  const size_t open = out.find('(');
  return open == std::string::npos ? 1.0 : std::atof(out.c_str() + open + 1);
}
