// The sample content that the benchmarks of the program's screens run on: the folder that
// SL_CONTENT_DIR names, else the content folder of this build, written by this build's
// content generator (which leaves it alone while its stamp is fresh), so that a bench
// build needs no normal build beside it. A program using it is built with SL_BINARY_DIR
// and after contentgen (bench/CMakeLists.txt).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// The content folder, or "" (with the reason on stderr) when it could not be written.
inline std::string SLBenchContentFolder(const char* program) {
  if (const char* folder = std::getenv("SL_CONTENT_DIR")) return folder;
  const std::string folder = SL_BINARY_DIR "/content";
  const std::string command = "'" SL_BINARY_DIR "/tools/contentgen/contentgen' '" + folder + "' >/dev/null";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "%s: the sample content could not be written in %s\n", program, folder.c_str());
    return {};
  }
  return folder;
}
