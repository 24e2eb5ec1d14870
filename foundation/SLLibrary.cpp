// The kernel table: 37 entry points bound by name on first use. Every slot starts at
// a lazy stub that binds the whole table and then completes the caller's own call
// through whatever the slot holds afterwards: the module's entry point, or the
// fall-back that stands in for an entry the running system lacks.
//
// One of the five core files (SLError, SLLibrary, SLMemory, SLSingleton, SLSync) whose
// implementations call each other: the error code sits in a TLS slot of the kernel table,
// binding and singletons report through the error code and take locks, the allocator is a
// singleton. Only these .cpp files include each other's headers; the headers stand alone.
#include "foundation/SLLibrary.h"

#include <atomic>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLProcessor.h"
#include "foundation/SLSync.h"
#include "platform/kernel32/Core.h"
#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Modules.h"

// Entry points of the threads and waits group, as the kernel table calls them.
using SLWaitForSingleObjectFn = DWORD (*)(HANDLE, DWORD);
using SLWaitForMultipleObjectsFn = DWORD (*)(DWORD, const HANDLE*, BOOL, DWORD);

namespace {

constexpr u32 kErrorModeQuiet = 0x8003;  // fail critical errors, no fault box, no open-file box
constexpr u32 kDuplicateSameAccess = 2;

// The system's own last error as the table sees it (a no-op when that entry is missing).
void SystemError(u32 code);

}  // namespace

// ---- the slot list ----------------------------------------------------------------
// X(name, result, (parameters), (arguments))
#define SL_KERNEL_SLOTS(X)                                                                                        \
  X(LoadLibraryA, HMODULE, (LPCSTR name), (name))                                                                \
  X(LoadLibraryW, HMODULE, (LPCWSTR name), (name))                                                               \
  X(FreeLibrary, BOOL, (HMODULE module), (module))                                                               \
  X(WaitForSingleObject, DWORD, (HANDLE handle, DWORD ms), (handle, ms))                                         \
  X(WaitForMultipleObjects, DWORD, (DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms),                 \
    (count, handles, waitAll, ms))                                                                               \
  X(DuplicateHandle, BOOL,                                                                                       \
    (HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target, DWORD access, BOOL inherit,      \
     DWORD options),                                                                                             \
    (sourceProcess, source, targetProcess, target, access, inherit, options))                                    \
  X(CloseHandle, BOOL, (HANDLE handle), (handle))                                                                \
  X(GetProcessHeap, HANDLE, (), ())                                                                              \
  X(HeapAlloc, LPVOID, (HANDLE heap, DWORD flags, SIZE_T size), (heap, flags, size))                             \
  X(HeapReAlloc, LPVOID, (HANDLE heap, DWORD flags, LPVOID block, SIZE_T size), (heap, flags, block, size))      \
  X(HeapFree, BOOL, (HANDLE heap, DWORD flags, LPVOID block), (heap, flags, block))                              \
  X(TerminateThread, BOOL, (HANDLE thread, DWORD code), (thread, code))                                          \
  X(GetExitCodeThread, BOOL, (HANDLE thread, DWORD * code), (thread, code))                                      \
  X(SetThreadPriority, BOOL, (HANDLE thread, int priority), (thread, priority))                                  \
  X(VirtualAlloc, LPVOID, (LPVOID address, SIZE_T size, DWORD type, DWORD protect), (address, size, type, protect)) \
  X(VirtualFree, BOOL, (LPVOID address, SIZE_T size, DWORD type), (address, size, type))                         \
  X(GetSystemDefaultLangID, LANGID, (), ())                                                                      \
  X(GetUserDefaultLangID, LANGID, (), ())                                                                        \
  X(WideCharToMultiByte, int,                                                                                    \
    (UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target, int targetSize,                 \
     LPCSTR defaultChar, BOOL* usedDefault),                                                                     \
    (codePage, flags, source, sourceLength, target, targetSize, defaultChar, usedDefault))                      \
  X(MultiByteToWideChar, int,                                                                                    \
    (UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target, int targetSize),               \
    (codePage, flags, source, sourceLength, target, targetSize))                                                 \
  X(GetModuleFileNameA, DWORD, (HMODULE module, LPSTR buffer, DWORD size), (module, buffer, size))               \
  X(GetModuleFileNameW, DWORD, (HMODULE module, LPWSTR buffer, DWORD size), (module, buffer, size))              \
  X(GetCurrentThread, HANDLE, (), ())                                                                            \
  X(GetCurrentThreadId, DWORD, (), ())                                                                           \
  X(GetCurrentProcess, HANDLE, (), ())                                                                           \
  X(GetCurrentProcessId, DWORD, (), ())                                                                          \
  X(TlsAlloc, DWORD, (), ())                                                                                     \
  X(TlsGetValue, LPVOID, (DWORD index), (index))                                                                 \
  X(TlsSetValue, BOOL, (DWORD index, LPVOID value), (index, value))                                              \
  X(TlsFree, BOOL, (DWORD index), (index))                                                                       \
  X(GetLastError, DWORD, (), ())                                                                                 \
  X(SetLastError, void, (DWORD code), (code))                                                                    \
  X(GetErrorMode, UINT, (), ())                                                                                  \
  X(SetErrorMode, UINT, (UINT mode), (mode))                                                                     \
  X(IsDebuggerPresent, BOOL, (), ())                                                                             \
  X(SetUnhandledExceptionFilter, LPTOP_LEVEL_EXCEPTION_FILTER, (LPTOP_LEVEL_EXCEPTION_FILTER filter), (filter)) \
  X(MsgWaitForMultipleObjects, DWORD, (DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask), \
    (count, handles, waitAll, ms, wakeMask))

// ---- fall-backs -------------------------------------------------------------------
// Each takes the arguments of the entry it replaces.

namespace SLInternals {

#define SL_FALLBACK_120(name, result, value, params) \
  static result SLFallback_##name params {           \
    SystemError(ERROR_CALL_NOT_IMPLEMENTED);         \
    return value;                                    \
  }

SL_FALLBACK_120(LoadLibraryA, HMODULE, nullptr, (LPCSTR))
SL_FALLBACK_120(LoadLibraryW, HMODULE, nullptr, (LPCWSTR))
SL_FALLBACK_120(FreeLibrary, BOOL, FALSE, (HMODULE))
SL_FALLBACK_120(WaitForSingleObject, DWORD, WAIT_FAILED, (HANDLE, DWORD))
SL_FALLBACK_120(WaitForMultipleObjects, DWORD, WAIT_FAILED, (DWORD, const HANDLE*, BOOL, DWORD))
SL_FALLBACK_120(CloseHandle, BOOL, FALSE, (HANDLE))
SL_FALLBACK_120(GetProcessHeap, HANDLE, nullptr, ())
SL_FALLBACK_120(HeapAlloc, LPVOID, nullptr, (HANDLE, DWORD, SIZE_T))
SL_FALLBACK_120(HeapReAlloc, LPVOID, nullptr, (HANDLE, DWORD, LPVOID, SIZE_T))
SL_FALLBACK_120(HeapFree, BOOL, FALSE, (HANDLE, DWORD, LPVOID))
SL_FALLBACK_120(TerminateThread, BOOL, FALSE, (HANDLE, DWORD))
SL_FALLBACK_120(GetExitCodeThread, BOOL, FALSE, (HANDLE, DWORD*))
SL_FALLBACK_120(SetThreadPriority, BOOL, FALSE, (HANDLE, int))
SL_FALLBACK_120(VirtualAlloc, LPVOID, nullptr, (LPVOID, SIZE_T, DWORD, DWORD))
SL_FALLBACK_120(VirtualFree, BOOL, FALSE, (LPVOID, SIZE_T, DWORD))
SL_FALLBACK_120(GetCurrentThread, HANDLE, nullptr, ())
SL_FALLBACK_120(GetCurrentThreadId, DWORD, 0, ())
SL_FALLBACK_120(GetCurrentProcess, HANDLE, nullptr, ())
SL_FALLBACK_120(GetCurrentProcessId, DWORD, 0, ())
SL_FALLBACK_120(TlsAlloc, DWORD, TLS_OUT_OF_INDEXES, ())
SL_FALLBACK_120(TlsGetValue, LPVOID, nullptr, (DWORD))
SL_FALLBACK_120(TlsSetValue, BOOL, FALSE, (DWORD, LPVOID))
SL_FALLBACK_120(TlsFree, BOOL, FALSE, (DWORD))
SL_FALLBACK_120(SetUnhandledExceptionFilter, LPTOP_LEVEL_EXCEPTION_FILTER, nullptr, (LPTOP_LEVEL_EXCEPTION_FILTER))
SL_FALLBACK_120(MsgWaitForMultipleObjects, DWORD, WAIT_FAILED, (DWORD, const HANDLE*, BOOL, DWORD, DWORD))
#undef SL_FALLBACK_120

static BOOL SLFallback_DuplicateHandle(HANDLE, HANDLE, HANDLE, HANDLE* target, DWORD, BOOL, DWORD) {
  if (target) {
    *target = nullptr;
    SystemError(ERROR_CALL_NOT_IMPLEMENTED);
  } else {
    SystemError(ERROR_INVALID_PARAMETER);
  }
  return FALSE;
}
static LANGID SLFallback_GetSystemDefaultLangID() { return LANGID(SLGetLangIDFallback()); }
static LANGID SLFallback_GetUserDefaultLangID() { return LANGID(SLGetLangIDFallback()); }
static int SLFallback_WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                                          int targetSize, LPCSTR defaultChar, BOOL* usedDefault) {
  return SLWideCharToMultiByteFallback(codePage, flags, source, sourceLength, target, targetSize, defaultChar,
                                       usedDefault);
}
static int SLFallback_MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                                          LPWSTR target, int targetSize) {
  return SLMultiByteToWideCharFallback(codePage, flags, source, sourceLength, target, targetSize);
}
static DWORD SLFallback_GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  return SLGetModuleFileNameAFallback(module, buffer, size);
}
static DWORD SLFallback_GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  return SLGetModuleFileNameWFallback(module, buffer, size);
}
static DWORD SLFallback_GetLastError() { return SLGetLastErrorFallback(); }
static void SLFallback_SetLastError(DWORD) {}
static UINT SLFallback_GetErrorMode() { return 0; }
static UINT SLFallback_SetErrorMode(UINT) { return 0; }
// Without the entry point the answer still comes from the process's own record of
// whether something traces it.
static BOOL SLFallback_IsDebuggerPresent() { return SLPlatformIsBeingTraced(); }

// ---- the slots and their lazy stubs -------------------------------------------------

#define SL_DECLARE_LAZY(name, result, params, args) static result SLLazy_##name params;
SL_KERNEL_SLOTS(SL_DECLARE_LAZY)
#undef SL_DECLARE_LAZY

#define SL_DEFINE_SLOT(name, result, params, args) \
  std::atomic<result(*) params> g_slot##name{&SLLazy_##name};
SL_KERNEL_SLOTS(SL_DEFINE_SLOT)
#undef SL_DEFINE_SLOT

// A call made by the binder's own thread while it binds (for example through the
// lock it holds) cannot wait for the binding; it takes the fall-back instead.
#define SL_DEFINE_LAZY(name, result, params, args)                     \
  static result SLLazy_##name params {                                 \
    if (!SLKernelTableLoad()) return SLFallback_##name args;           \
    return g_slot##name.load(std::memory_order_acquire) args;          \
  }
SL_KERNEL_SLOTS(SL_DEFINE_LAZY)
#undef SL_DEFINE_LAZY

}  // namespace SLInternals

using namespace SLInternals;

namespace {

void SystemError(u32 code) { g_slotSetLastError.load(std::memory_order_acquire)(code); }

template <class F>
bool IsLazy(const std::atomic<F>& slot, F lazy) {
  return slot.load(std::memory_order_acquire) == lazy;
}

struct SlotBinder {
  const char* name;
  void (*bind)(void* address);  // null address: the fall-back
};

#define SL_SLOT_BINDER(name, result, params, args)                                                        \
  {#name, [](void* address) {                                                                             \
     g_slot##name.store(address ? reinterpret_cast<result(*) params>(address) : &SLFallback_##name,       \
                        std::memory_order_release);                                                       \
   }},
const SlotBinder kBinders[] = {SL_KERNEL_SLOTS(SL_SLOT_BINDER)};
#undef SL_SLOT_BINDER
constexpr std::size_t kSlotCount = sizeof(kBinders) / sizeof(kBinders[0]);
static_assert(kSlotCount == 37, "the kernel table has 37 slots");

SLFastLock g_binderLock;
std::atomic<u32> g_bindCount{0};
thread_local bool t_binding = false;
HMODULE g_user32 = nullptr;  // loaded once by the binder, never freed

// The binder's lock already orders the slots; the fence is kept where the processor has one.
void FenceIfWanted() {
  if (!SLHasSSE2()) return;
#if defined(__SANITIZE_THREAD__)
  static std::atomic<u32> s_fenceWord{0};
  s_fenceWord.fetch_add(0, std::memory_order_seq_cst);
#else
  std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
}

// Converts a UTF-16 name for the 8-bit entry points (code page 0, no best-fit). The
// whole buffer takes part: a name of up to 1023 characters and its terminator fit.
bool NarrowName(const SLWChar* name, char (&buffer)[1024]) {
  int n = g_slotWideCharToMultiByte.load(std::memory_order_acquire)(0, 0x200, name, -1, buffer, sizeof(buffer),
                                                                    nullptr, nullptr);
  if (n <= 0) return false;
  buffer[n < int(sizeof(buffer)) ? n : int(sizeof(buffer)) - 1] = 0;
  return true;
}

}  // namespace

bool SLKernelTableLoad() {
  if (t_binding) return false;
  CSLAutoFastMutex guard(&g_binderLock);
  FenceIfWanted();
  if (!IsLazy(g_slotLoadLibraryA, &SLLazy_LoadLibraryA)) {
    FenceIfWanted();
    return true;
  }
  t_binding = true;
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  // The last slot belongs to user32; slot 1 is written first so that later lookups
  // may already load libraries through it.
  for (std::size_t i = 0; i + 1 < kSlotCount; ++i)
    kBinders[i].bind(kernel32 ? SLPlatformFindExport(kernel32, kBinders[i].name) : nullptr);
  g_user32 = g_slotLoadLibraryA.load(std::memory_order_acquire)("user32.dll");
  kBinders[kSlotCount - 1].bind(g_user32 ? SLPlatformFindExport(g_user32, kBinders[kSlotCount - 1].name) : nullptr);
  g_slotSetErrorMode.load(std::memory_order_acquire)(kErrorModeQuiet);
  g_bindCount.fetch_add(1, std::memory_order_relaxed);
  t_binding = false;
  FenceIfWanted();
  return true;
}

bool SLKernelTableIsBound() { return !IsLazy(g_slotLoadLibraryA, &SLLazy_LoadLibraryA); }
u32 SLKernelTableBindCount() { return g_bindCount.load(std::memory_order_relaxed); }

// ---- library loading -----------------------------------------------------------------

HMODULE SLLoadLibrary(const SLWChar* name) {
  if (!name || !*name) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!SLKernelTableIsBound()) SLKernelTableLoad();
  if (g_slotLoadLibraryW.load(std::memory_order_acquire) != &SLFallback_LoadLibraryW)
    return g_slotLoadLibraryW.load(std::memory_order_acquire)(name);
  if (g_slotLoadLibraryA.load(std::memory_order_acquire) == &SLFallback_LoadLibraryA) {
    SystemError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  char narrow[1024];
  if (!NarrowName(name, narrow)) return nullptr;
  return g_slotLoadLibraryA.load(std::memory_order_acquire)(narrow);
}

void* SLGetProcAddress(HMODULE module, const SLWChar* name) {
  if (!name) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Ordinals name nothing among the built-in modules and cannot be asked of shared
  // libraries, so an ordinal lookup finds no entry.
  if (reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF) return nullptr;
  if (IsLazy(g_slotWideCharToMultiByte, &SLLazy_WideCharToMultiByte)) SLKernelTableLoad();
  char narrow[1024];
  if (!NarrowName(name, narrow)) return nullptr;
  return SLPlatformFindExport(module, narrow);
}

void SLFreeLibrary(HMODULE module) {
  if (IsLazy(g_slotFreeLibrary, &SLLazy_FreeLibrary)) {
    // Nothing can have been loaded through an unbound table; do not bind for this.
    SLPlatformSetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return;
  }
  g_slotFreeLibrary.load(std::memory_order_acquire)(module);
}

// ---- the process heap ------------------------------------------------------------------

namespace {
bool HeapMissing() {
  return g_slotGetProcessHeap.load(std::memory_order_acquire) == &SLFallback_GetProcessHeap;
}
}  // namespace

void* SLHeapAlloc(u32 size) {
  if (size == 0 || size == 0xFFFFFFFFu) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  if (IsLazy(g_slotHeapAlloc, &SLLazy_HeapAlloc)) SLKernelTableLoad();
  if (g_slotHeapAlloc.load(std::memory_order_acquire) == &SLFallback_HeapAlloc || HeapMissing())
    return SLFail(SL_E_NOT_SUPPORTED, (void*)nullptr);
  void* block = g_slotHeapAlloc.load(std::memory_order_acquire)(g_slotGetProcessHeap.load()(), 0, size);
  SLSetLastError(block ? SL_OK : SL_E_OUT_OF_MEMORY);
  return block;
}

void* SLHeapReAlloc(void* block, u32 size) {
  if (!block) return SLHeapAlloc(size);
  if (size == 0) return SLFail(SL_E_INVALID_ARG, (void*)nullptr);
  if (size == 0xFFFFFFFFu) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  if (IsLazy(g_slotHeapReAlloc, &SLLazy_HeapReAlloc)) SLKernelTableLoad();
  if (g_slotHeapReAlloc.load(std::memory_order_acquire) == &SLFallback_HeapReAlloc || HeapMissing())
    return SLFail(SL_E_NOT_SUPPORTED, (void*)nullptr);
  void* moved = g_slotHeapReAlloc.load(std::memory_order_acquire)(g_slotGetProcessHeap.load()(), 0, block, size);
  SLSetLastError(moved ? SL_OK : SL_E_OUT_OF_MEMORY);
  return moved;
}

void SLHeapFree(void* block) {
  if (!block) return;
  if (IsLazy(g_slotHeapFree, &SLLazy_HeapFree)) SLKernelTableLoad();
  if (g_slotHeapFree.load(std::memory_order_acquire) == &SLFallback_HeapFree || HeapMissing()) return;
  g_slotHeapFree.load(std::memory_order_acquire)(g_slotGetProcessHeap.load()(), 0, block);
}

// ---- thin wrappers -------------------------------------------------------------------

u32 SLGetSystemDefaultLangID() { return g_slotGetSystemDefaultLangID.load(std::memory_order_acquire)(); }
u32 SLWaitForSingleObject(HANDLE handle, u32 ms) {
  return g_slotWaitForSingleObject.load(std::memory_order_acquire)(handle, ms);
}
u32 SLWaitForMultipleObjects(u32 count, const HANDLE* handles, bool waitAll, u32 ms) {
  return g_slotWaitForMultipleObjects.load(std::memory_order_acquire)(count, handles, waitAll ? 1 : 0, ms);
}
u32 SLTlsAlloc() { return g_slotTlsAlloc.load(std::memory_order_acquire)(); }
void* SLTlsGetValue(u32 index) { return g_slotTlsGetValue.load(std::memory_order_acquire)(index); }
BOOL SLTlsSetValue(u32 index, void* value) { return g_slotTlsSetValue.load(std::memory_order_acquire)(index, value); }
BOOL SLTlsFree(u32 index) { return g_slotTlsFree.load(std::memory_order_acquire)(index); }
BOOL SLDuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target) {
  return g_slotDuplicateHandle.load(std::memory_order_acquire)(sourceProcess, source, targetProcess, target, 0, TRUE,
                                                               kDuplicateSameAccess);
}
BOOL SLCloseHandle(HANDLE handle) { return g_slotCloseHandle.load(std::memory_order_acquire)(handle); }
void SLSetSystemLastError(u32 code) { g_slotSetLastError.load(std::memory_order_acquire)(code); }
u32 SLGetSystemLastError() { return g_slotGetLastError.load(std::memory_order_acquire)(); }
BOOL SLTerminateThread(HANDLE thread, u32 exitCode) {
  return g_slotTerminateThread.load(std::memory_order_acquire)(thread, exitCode);
}
BOOL SLSetThreadPriority(HANDLE thread, i32 priority) {
  return g_slotSetThreadPriority.load(std::memory_order_acquire)(thread, priority);
}
HANDLE SLGetCurrentThread() { return g_slotGetCurrentThread.load(std::memory_order_acquire)(); }
u32 SLGetCurrentThreadId() { return g_slotGetCurrentThreadId.load(std::memory_order_acquire)(); }
HANDLE SLGetCurrentProcess() { return g_slotGetCurrentProcess.load(std::memory_order_acquire)(); }
BOOL SLIsDebuggerPresent() { return g_slotIsDebuggerPresent.load(std::memory_order_acquire)(); }
u32 SLMsgWaitForMultipleObjects(u32 count, const HANDLE* handles, BOOL waitAll, u32 ms, u32 wakeMask) {
  return g_slotMsgWaitForMultipleObjects.load(std::memory_order_acquire)(count, handles, waitAll, ms, wakeMask);
}

bool SLGetExitCodeThread(HANDLE thread, u32* code) {
  SLSetSystemLastError(0);
  DWORD exitCode = 0;
  if (g_slotGetExitCodeThread.load(std::memory_order_acquire)(thread, &exitCode)) {
    SLSetLastError(SL_OK);
    if (exitCode == STILL_ACTIVE) return false;
    if (code) *code = exitCode;
    return true;
  }
  u32 system = SLGetSystemLastError();
  SLSetLastError(system == ERROR_CALL_NOT_IMPLEMENTED ? SL_E_NOT_SUPPORTED
                 : system == ERROR_INVALID_HANDLE     ? SL_E_INVALID_ARG
                 : system != 0                        ? SL_E_SYSTEM
                                                      : SL_OK);
  return false;
}

u32 SLGetProcessorCount() {
  static std::atomic<u32> s_count{0};
  u32 count = s_count.load(std::memory_order_acquire);
  if (count) return count;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  count = info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
  s_count.exchange(count, std::memory_order_acq_rel);
  return count;
}

// ---- the module file name --------------------------------------------------------------

u32 SLGetModuleFileNameA(HMODULE module, char* buffer, u32 size) {
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, 0u);
  if (size == 0) return SLFail(SL_E_OUTPUT_SIZE_ZERO, 0u);
  if (size > 0x7FFFFFFFu) size = 0x7FFFFFFFu;
  buffer[0] = 0;
  if (IsLazy(g_slotGetModuleFileNameA, &SLLazy_GetModuleFileNameA)) SLKernelTableLoad();
  u32 n = 0;
  u32 system = 0;
  if (g_slotGetModuleFileNameA.load(std::memory_order_acquire) != &SLFallback_GetModuleFileNameA) {
    SLSetSystemLastError(0);
    n = g_slotGetModuleFileNameA.load(std::memory_order_acquire)(module, buffer, size);
    system = SLGetSystemLastError();
  } else if (g_slotGetModuleFileNameW.load(std::memory_order_acquire) == &SLFallback_GetModuleFileNameW) {
    return SLFail(SL_E_NOT_SUPPORTED, 0u);
  } else {
    SLWChar fixed[1024];
    SLWChar* work = fixed;
    if (size >= 1024) {
      work = static_cast<SLWChar*>(SLHeapAlloc(size * 2));  // size <= 0x7FFFFFFF: no overflow
      if (!work) return 0;
    }
    SLSetSystemLastError(0);
    n = g_slotGetModuleFileNameW.load(std::memory_order_acquire)(module, work, size);
    system = SLGetSystemLastError();
    if (n > 0) {
      int converted = g_slotWideCharToMultiByte.load(std::memory_order_acquire)(0, 0x200, work, int(n), buffer,
                                                                                 int(size), nullptr, nullptr);
      n = converted > 0 ? u32(converted) : 0;
    }
    if (work != fixed) SLHeapFree(work);
  }
  SLSetLastError(system == 0                           ? SL_OK
                 : system == ERROR_NOT_ENOUGH_MEMORY   ? SL_E_OUT_OF_MEMORY
                 : system == ERROR_INSUFFICIENT_BUFFER ? SL_E_BUFFER_TOO_SMALL
                                                       : SL_E_SYSTEM);
  buffer[n < size ? n : size - 1] = 0;
  return n;
}

// ---- named fall-backs --------------------------------------------------------------------

u32 SLGetLangIDFallback() {
  SystemError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0x409;
}

u32 SLGetLastErrorFallback() { return ERROR_CALL_NOT_IMPLEMENTED; }

namespace {
template <class Char>
u32 ModuleNameFallback(Char* buffer, u32 size) {
  if (buffer && size) buffer[0] = 0;
  SystemError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

// Copies the characters below 128 and drops every other one, up to targetSize - 1
// units, then terminates. Shared by both directions of the ASCII-only converters.
template <class From, class To>
int CopyAscii(const From* source, int sourceLength, To* target, int targetSize) {
  int written = 0;
  for (int i = 0; sourceLength < 0 ? source[i] != 0 : i < sourceLength; ++i) {
    if (written >= targetSize - 1) break;
    u32 c = static_cast<std::make_unsigned_t<From>>(source[i]);
    if (c < 128) target[written++] = To(c);
  }
  target[written] = 0;
  return written + 1;
}
}  // namespace

u32 SLGetModuleFileNameAFallback(HMODULE, char* buffer, u32 size) { return ModuleNameFallback(buffer, size); }
u32 SLGetModuleFileNameWFallback(HMODULE, SLWChar* buffer, u32 size) { return ModuleNameFallback(buffer, size); }

int SLWideCharToMultiByteFallback(u32, u32, const SLWChar* source, int sourceLength, char* target, int targetSize,
                                  const char*, BOOL*) {
  if (!source) {
    SystemError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (targetSize == 0) {
    int count = 0;
    for (int i = 0; sourceLength < 0 ? source[i] != 0 : i < sourceLength; ++i)
      if (source[i] < 128) ++count;
    SystemError(0);
    return count + 1;
  }
  if (!target || targetSize < 0) {
    SystemError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int result = CopyAscii(source, sourceLength, target, targetSize);
  SystemError(0);
  return result;
}

int SLMultiByteToWideCharFallback(u32, u32, const char* source, int sourceLength, SLWChar* target, int targetSize) {
  if (!source) {
    SystemError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (sourceLength == 0 || (sourceLength < 0 && source[0] == 0)) return 1;
  if (!target || targetSize <= 0) {
    SystemError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CopyAscii(source, sourceLength, target, targetSize);
}
