// Runs one test of the current test program in a fresh process, for behaviour that
// happens once per process (the first binding of the kernel table, exit handlers).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"

struct SLChildResult {
  int status;
  std::string output;  // standard output and error together
};

inline bool SLInChildProcess() { return std::getenv("SL_CHILD_TEST") != nullptr; }

// `environment` is prepended to the command ("SL_DEBUG=1").
inline SLChildResult SLRunChildTest(const std::string& filter, const std::string& environment = "") {
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  const TempDir dir;
  const std::string command = environment + " SL_CHILD_TEST=1 '" + self.string() + "' --gtest_filter=" + filter +
                              " >'" + dir.Host("log") + "' 2>&1";
  SLChildResult result;
  result.status = std::system(command.c_str());
  result.output = dir.Read("log");
  return result;
}

// A child test body runs only when its parent started it; it ends with the marker
// so that the parent can tell "passed" from "filter matched nothing".
#define SL_CHILD_ONLY() \
  if (!SLInChildProcess()) GTEST_SKIP() << "runs in its own process"
#define SL_CHILD_DONE() std::puts("CHILD-PASSED")

// Runs two copies of a child test at the same time, told apart by the variable that
// `environment` ends with ("SL_RACE_VARIANT="): "0" for the first, "1" for the second.
inline void SLExpectTwoChildrenPassAtOnce(const std::string& filter, const std::string& environment) {
  SLChildResult results[2];
  std::thread second([&] { results[1] = SLRunChildTest(filter, environment + "1"); });
  results[0] = SLRunChildTest(filter, environment + "0");
  second.join();
  for (const SLChildResult& result : results) {
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("CHILD-PASSED"), std::string::npos) << result.output;
  }
}

#define SL_EXPECT_CHILD_PASSES(filter, environment)                  \
  do {                                                               \
    SLChildResult child_ = SLRunChildTest(filter, environment);      \
    EXPECT_EQ(child_.status, 0) << child_.output;                    \
    EXPECT_NE(child_.output.find("CHILD-PASSED"), std::string::npos) \
        << child_.output;                                            \
  } while (0)
