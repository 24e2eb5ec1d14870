// The core of the stand-in "kernel32.dll": thread-local storage with a thread-exit
// hook, thread and process identity, the system last error, the process heap, the
// module file name, language identifiers, error mode, debugger query, system
// information, debug output, and the start-up setting that makes a write past the
// file-size limit fail instead of ending the process.
#pragma once

#include "platform/wintypes.h"

struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;
using LPTOP_LEVEL_EXCEPTION_FILTER = LONG (*)(void* exceptionPointers);

inline constexpr DWORD HEAP_ZERO_MEMORY = 0x8;
inline constexpr DWORD TLS_MINIMUM_AVAILABLE = 1088;  // indices the stand-in hands out
inline constexpr WORD SL_LANG_SPANISH = 0x0C0A;

DWORD TlsAlloc();
LPVOID TlsGetValue(DWORD index);
BOOL TlsSetValue(DWORD index, LPVOID value);
BOOL TlsFree(DWORD index);

DWORD GetCurrentThreadId();
// The calling thread's id as GetCurrentThreadId answers it, for the layer's own use.
DWORD SLPlatformThreadId();
HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
DWORD GetLastError();
void SetLastError(DWORD code);

HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
// The usable bytes of a block of the heap (at least what was asked); (SIZE_T)-1 on failure.
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);

// For the program itself (null): the name it was started under, even after its file or
// folder moved or went.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
LANGID GetSystemDefaultLangID();
LANGID GetUserDefaultLangID();
UINT GetErrorMode();
UINT SetErrorMode(UINT mode);
BOOL IsDebuggerPresent();
// The process's own being-traced state, read without going through an entry point.
BOOL SLPlatformIsBeingTraced();
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);
void GetSystemInfo(LPSYSTEM_INFO info);
// Sets SIGXFSZ ignored unless it is ignored or handled already, so that a write past the
// file-size limit fails with EFBIG (ERROR_DISK_FULL) instead of ending the process. Done
// once at the process's start; safe to repeat.
void SLPlatformFailWritesPastTheSizeLimit();
// Written to standard error only when the environment has SL_DEBUG=1.
void OutputDebugStringA(LPCSTR text);
void OutputDebugStringW(LPCWSTR text);

// Runs fn(arg) when the calling thread ends (in reverse order of registration).
void SLPlatformAtThreadExit(void (*fn)(void* arg), void* arg);
