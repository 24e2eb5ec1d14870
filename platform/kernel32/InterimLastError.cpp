// Interim per-thread system last error, until the module's core lands (it then owns
// these two functions and this file goes).
#if !__has_include("platform/kernel32/Core.cpp")
#include "platform/kernel32/Handles.h"

namespace {
thread_local DWORD t_systemLastError = 0;
}

void SLPlatformSetLastError(DWORD code) { t_systemLastError = code; }
DWORD SLPlatformGetLastError() { return t_systemLastError; }
#endif
