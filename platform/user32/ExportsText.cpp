// Entry points of "user32.dll" in this group.
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"
#include "platform/wintext.h"

namespace {

constexpr DWORD kErrorResourceNameNotFound = 1814;

// String resources arrive with the module resource storage; until then no string is found
// and the buffer holds the empty text.
int LoadStringA(HINSTANCE, UINT, LPSTR buffer, int bufferMax) {
  if (buffer && bufferMax > 0) buffer[0] = 0;
  SLPlatformSetLastError(kErrorResourceNameNotFound);
  return 0;
}

int LoadStringW(HINSTANCE, UINT, LPWSTR buffer, int bufferMax) {
  if (buffer && bufferMax > 0) buffer[0] = 0;
  SLPlatformSetLastError(kErrorResourceNameNotFound);
  return 0;
}

const SLPlatformExport kExports[] = {SL_EXPORT(LoadStringA), SL_EXPORT(LoadStringW)};

}  // namespace

const SLPlatformExportGroup g_user32Text = SLMakeExportGroup(kExports);
