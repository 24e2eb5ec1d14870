// Entry points of "kernel32.dll" in this group.
#include "platform/kernel32/Sync.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kSyncExports[] = {
    SL_EXPORT(InitializeCriticalSection),
    SL_EXPORT(DeleteCriticalSection),
    SL_EXPORT(EnterCriticalSection),
    SL_EXPORT(LeaveCriticalSection),
    SL_EXPORT(TryEnterCriticalSection),
    SL_EXPORT(CreateEventA),
    SL_EXPORT(CreateEventW),
    SL_EXPORT(SetEvent),
    SL_EXPORT(ResetEvent),
    SL_EXPORT(WaitForSingleObject),
    SL_EXPORT(WaitForMultipleObjects),
    SL_EXPORT(CreateThread),
    SL_EXPORT(GetCurrentThread),
    SL_EXPORT(GetExitCodeThread),
    SL_EXPORT(TerminateThread),
    SL_EXPORT(SetThreadPriority),
    SL_EXPORT(SuspendThread),
    SL_EXPORT(ResumeThread),
    SL_EXPORT(DuplicateHandle),
    SL_EXPORT(CloseHandle),
    SL_EXPORT(Sleep),
    SL_EXPORT(SleepEx),
    SL_EXPORT(SwitchToThread),
    SL_EXPORT(QueryPerformanceCounter),
    SL_EXPORT(QueryPerformanceFrequency),
    SL_EXPORT(GetTickCount),
};
}  // namespace

const SLPlatformExportGroup g_kernel32Sync = SLMakeExportGroup(kSyncExports);
