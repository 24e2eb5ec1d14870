#include "tests/support/TestSupport.h"

#include <cstdio>
#include <fstream>

#include "app/services/AppClasses.h"
#include "tests/support/TempDir.h"

void SLTestRegisterClasses() { SLRegisterAppClasses(); }

std::string SLTestCapture(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

std::string SLTestRunPython(const std::string& script) {
  const TempDir dir;
  std::ofstream(dir.Host("script.py")) << script;
  return SLTestCapture("python3 '" + dir.Host("script.py") + "'");
}

#include "tests/support/ScrollReceiver.h"
SL_IMPLEMENT_CLASS_CREATABLE(CScrollReceiver, CSL_GS_GuiWindow)
