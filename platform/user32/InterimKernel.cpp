// Interim: weak stand-ins until the kernel32 core and object table land.
#include "platform/kernel32/Handles.h"

namespace {
thread_local DWORD t_systemError = 0;
}
__attribute__((weak)) void SLPlatformSetLastError(DWORD code) { t_systemError = code; }
__attribute__((weak)) DWORD SLPlatformGetLastError() { return t_systemError; }
__attribute__((weak)) void SLWaitNotifyAll() {}
