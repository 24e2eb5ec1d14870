// System libraries bound by name: the kernel table with its lazy binding and
// fall-backs, library loading for every API loader, and the process heap.
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLTypes.h"
#include "platform/wintypes.h"

// Report only through the system error and the null result.
HMODULE SLLoadLibrary(const SLWChar* name);
// `name` may be an ordinal (a value no greater than 0xFFFF in the pointer).
void* SLGetProcAddress(HMODULE module, const SLWChar* name);
void SLFreeLibrary(HMODULE module);

// Binds a loader's entry pointer by UTF-16 name: `SLBindProc(module, u"Name", &m_pName)`.
template <class F>
inline bool SLBindProc(HMODULE module, const SLWChar* name, F* target) {
  *target = reinterpret_cast<F>(SLGetProcAddress(module, name));
  return *target != nullptr;
}

void* SLHeapAlloc(u32 size);
void* SLHeapReAlloc(void* block, u32 size);
void SLHeapFree(void* block);

// Thin wrappers over single slots of the kernel table.
u32 SLGetSystemDefaultLangID();
u32 SLWaitForSingleObject(HANDLE handle, u32 ms);
u32 SLWaitForMultipleObjects(u32 count, const HANDLE* handles, bool waitAll, u32 ms);
u32 SLTlsAlloc();
void* SLTlsGetValue(u32 index);
BOOL SLTlsSetValue(u32 index, void* value);
BOOL SLTlsFree(u32 index);
BOOL SLDuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target);
BOOL SLCloseHandle(HANDLE handle);
void SLSetSystemLastError(u32 code);

// Calls a bound entry point, or reports it missing: system error 120 and a zero result.
template <class F, class... Args>
auto SLCallEntry(F entry, Args... args) -> decltype(entry(args...)) {
  if (entry) return entry(args...);
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return decltype(entry(args...))();
}

u32 SLGetSystemLastError();
bool SLGetExitCodeThread(HANDLE thread, u32* code);
BOOL SLTerminateThread(HANDLE thread, u32 exitCode);
BOOL SLSetThreadPriority(HANDLE thread, i32 priority);
HANDLE SLGetCurrentThread();
u32 SLGetCurrentThreadId();
HANDLE SLGetCurrentProcess();
BOOL SLIsDebuggerPresent();
u32 SLMsgWaitForMultipleObjects(u32 count, const HANDLE* handles, BOOL waitAll, u32 ms, u32 wakeMask);

// Binds the whole table once (later calls return at once). False only when called
// again by the thread that is binding: that call cannot wait for the binding.
bool SLKernelTableLoad();
bool SLKernelTableIsBound();
u32 SLKernelTableBindCount();  // how many bindings ran: 1 once bound

// What the table holds in place of a missing entry (same arguments as the entry).
u32 SLGetLangIDFallback();                                          // 0x409, system error 120
u32 SLGetLastErrorFallback();                                       // 120
u32 SLGetModuleFileNameAFallback(HMODULE module, char* buffer, u32 size);
u32 SLGetModuleFileNameWFallback(HMODULE module, SLWChar* buffer, u32 size);
// ASCII only: characters of 128 and above are dropped.
int SLWideCharToMultiByteFallback(u32 codePage, u32 flags, const SLWChar* source, int sourceLength, char* target,
                                  int targetSize, const char* defaultChar, BOOL* usedDefault);
int SLMultiByteToWideCharFallback(u32 codePage, u32 flags, const char* source, int sourceLength, SLWChar* target,
                                  int targetSize);

u32 SLGetProcessorCount();
u32 SLGetModuleFileNameA(HMODULE module, char* buffer, u32 size);
