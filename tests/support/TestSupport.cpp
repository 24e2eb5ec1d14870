#include "tests/support/TestSupport.h"

#include <cstdio>
#include <fstream>

#include "media/MediaClasses.h"
#include "tests/support/TempDir.h"

void SLTestRegisterClasses() { SLRegisterMediaClasses(); }

std::string SLTestRunPython(const std::string& script) {
  const TempDir dir;
  std::ofstream(dir.Host("script.py")) << script;
  std::string output;
  FILE* pipe = popen(("python3 '" + dir.Host("script.py") + "'").c_str(), "r");
  if (!pipe) return output;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}
