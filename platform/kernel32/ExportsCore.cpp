// Entry points of "kernel32.dll" in this group.
#include "platform/kernel32/Core.h"
#include "platform/kernel32/Modules.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(LoadLibraryA),
    SL_EXPORT(LoadLibraryW),
    SL_EXPORT(GetModuleHandleA),
    SL_EXPORT(GetModuleHandleW),
    SL_EXPORT(FreeLibrary),
    SL_EXPORT(GetProcAddress),
    SL_EXPORT(TlsAlloc),
    SL_EXPORT(TlsGetValue),
    SL_EXPORT(TlsSetValue),
    SL_EXPORT(TlsFree),
    SL_EXPORT(GetCurrentThreadId),
    SL_EXPORT(GetCurrentProcess),
    SL_EXPORT(GetCurrentProcessId),
    SL_EXPORT(GetLastError),
    SL_EXPORT(SetLastError),
    SL_EXPORT(GetProcessHeap),
    SL_EXPORT(HeapAlloc),
    SL_EXPORT(HeapReAlloc),
    SL_EXPORT(HeapFree),
    SL_EXPORT(GetModuleFileNameA),
    SL_EXPORT(GetModuleFileNameW),
    SL_EXPORT(GetSystemDefaultLangID),
    SL_EXPORT(GetUserDefaultLangID),
    SL_EXPORT(GetErrorMode),
    SL_EXPORT(SetErrorMode),
    SL_EXPORT(IsDebuggerPresent),
    SL_EXPORT(SetUnhandledExceptionFilter),
    SL_EXPORT(GetSystemInfo),
    SL_EXPORT(OutputDebugStringA),
    SL_EXPORT(OutputDebugStringW),
};
}  // namespace

const SLPlatformExportGroup g_kernel32Core = SLMakeExportGroup(kExports);
