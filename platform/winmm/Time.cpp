// The multimedia timer of the "winmm.dll" stand-in.
#include "platform/kernel32/Modules.h"
#include "platform/modules.h"

namespace {

// Milliseconds of the monotonic clock; the 32-bit value wraps after about 49.7 days,
// as callers of the timer expect.
DWORD timeGetTime() { return DWORD(SLPlatformMonotonicNs() / 1000000u); }

const SLPlatformExport kExports[] = {SL_EXPORT(timeGetTime)};

}  // namespace

const SLPlatformExportGroup g_winmmTime = SLMakeExportGroup(kExports);
