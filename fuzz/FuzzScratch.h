// A fuzz target's scratch folder in /tmp: made on first use, removed with everything in it
// when the process ends, whichever way libFuzzer ends it normally.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// "/tmp/<prefix>XXXXXX" made private to this process; aborts when it cannot be made.
inline std::string SLFuzzScratchFolder(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  static std::string removal;
  removal = pattern;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(removal, ignored);
  });
  return pattern;
}
