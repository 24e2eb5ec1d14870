#include "platform/kernel32/Core.h"

#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Modules.h"
#include "platform/kernel32/Text.h"
#include "platform/kernel32/Utf8.h"

// ---- thread-local storage -------------------------------------------------------
//
// Each index carries a generation that TlsFree advances, so that a value a thread
// stored under an index's previous owner reads as null after the index is reused
// (the system clears a freed index in every thread).

namespace {

std::mutex g_tlsLock;
std::atomic<bool> g_tlsUsed[TLS_MINIMUM_AVAILABLE];
std::atomic<std::uint32_t> g_tlsGeneration[TLS_MINIMUM_AVAILABLE];

struct TlsCell {
  void* value;
  std::uint32_t generation;
};
thread_local TlsCell t_tls[TLS_MINIMUM_AVAILABLE];
thread_local DWORD t_lastError = 0;

struct ThreadExitHooks {
  std::vector<std::pair<void (*)(void*), void*>> hooks;
  ~ThreadExitHooks() {
    while (!hooks.empty()) {
      auto hook = hooks.back();
      hooks.pop_back();
      hook.first(hook.second);
    }
  }
};
thread_local ThreadExitHooks t_exitHooks;

}  // namespace

void SLPlatformAtThreadExit(void (*fn)(void* arg), void* arg) { t_exitHooks.hooks.emplace_back(fn, arg); }

DWORD TlsAlloc() {
  std::lock_guard<std::mutex> guard(g_tlsLock);
  for (DWORD index = 0; index < TLS_MINIMUM_AVAILABLE; ++index) {
    if (!g_tlsUsed[index].load(std::memory_order_relaxed)) {
      g_tlsUsed[index].store(true, std::memory_order_release);
      return index;
    }
  }
  SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return TLS_OUT_OF_INDEXES;
}

BOOL TlsFree(DWORD index) {
  std::lock_guard<std::mutex> guard(g_tlsLock);
  if (index >= TLS_MINIMUM_AVAILABLE || !g_tlsUsed[index].load(std::memory_order_relaxed)) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  g_tlsGeneration[index].fetch_add(1, std::memory_order_acq_rel);
  g_tlsUsed[index].store(false, std::memory_order_release);
  return TRUE;
}

LPVOID TlsGetValue(DWORD index) {
  if (index >= TLS_MINIMUM_AVAILABLE) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Success clears the system error, so a stored null can be told from a failure.
  t_lastError = ERROR_SUCCESS;
  const TlsCell& cell = t_tls[index];
  if (cell.generation != g_tlsGeneration[index].load(std::memory_order_acquire)) return nullptr;
  return cell.value;
}

BOOL TlsSetValue(DWORD index, LPVOID value) {
  if (index >= TLS_MINIMUM_AVAILABLE) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  TlsCell& cell = t_tls[index];
  cell.value = value;
  cell.generation = g_tlsGeneration[index].load(std::memory_order_acquire);
  return TRUE;
}

// ---- identity and the system last error -----------------------------------------

DWORD SLPlatformThreadId() {
  thread_local DWORD id = DWORD(syscall(SYS_gettid));
  return id;
}

DWORD GetCurrentThreadId() { return SLPlatformThreadId(); }

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }
DWORD GetCurrentProcessId() { return DWORD(getpid()); }

void SLPlatformSetLastError(DWORD code) { t_lastError = code; }
DWORD SLPlatformGetLastError() { return t_lastError; }
DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

// ---- the process heap -------------------------------------------------------------

namespace {
int g_processHeap;  // its address is the heap handle
bool IsProcessHeap(HANDLE heap) {
  if (heap == &g_processHeap) return true;
  SLPlatformSetLastError(ERROR_INVALID_HANDLE);
  return false;
}
}  // namespace

HANDLE GetProcessHeap() { return &g_processHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  if (!IsProcessHeap(heap)) return nullptr;
  void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, size ? size : 1) : std::malloc(size ? size : 1);
  if (!block) SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size) {
  if (!IsProcessHeap(heap)) return nullptr;
  if (!block) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::size_t oldSize = (flags & HEAP_ZERO_MEMORY) ? malloc_usable_size(block) : 0;
  void* moved = std::realloc(block, size ? size : 1);
  if (!moved) {
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((flags & HEAP_ZERO_MEMORY) && size > oldSize) std::memset(static_cast<char*>(moved) + oldSize, 0, size - oldSize);
  return moved;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block) {
  if (!IsProcessHeap(heap)) return FALSE;
  std::free(block);
  return TRUE;
}

SIZE_T HeapSize(HANDLE heap, DWORD, LPCVOID block) {
  if (!IsProcessHeap(heap)) return SIZE_T(-1);
  if (!block) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return SIZE_T(-1);
  }
  return malloc_usable_size(const_cast<void*>(block));
}

// ---- module file name ---------------------------------------------------------------

namespace {

// Test tooling's stand-in for the program's own file name (empty: the real one).
std::string& ProgramFileOverride() {
  static std::string path;
  return path;
}

// The name the program was started under, as the system's loader keeps it. Read once,
// as the program loads.
const std::string& StartedFrom() {
  static const std::string path = [] {
    char link[4096];
    const ssize_t n = readlink("/proc/self/exe", link, sizeof(link) - 1);
    return n > 0 ? std::string(link, std::size_t(n)) : std::string();
  }();
  return path;
}
[[maybe_unused]] const bool g_startedFromRead = (StartedFrom(), true);

// Where the program's own file is now: the link /proc/self/exe follows the file through
// renames of its folders. Empty once the file is deleted (the link then names what is no
// longer there, marked " (deleted)").
std::string WhereProgramIsNow() {
  char link[4096];
  const ssize_t n = readlink("/proc/self/exe", link, sizeof(link) - 1);
  if (n <= 0) return std::string();
  std::string path(link, std::size_t(n));
  struct stat own, named;
  if (stat("/proc/self/exe", &own) != 0 || stat(path.c_str(), &named) != 0 || own.st_dev != named.st_dev ||
      own.st_ino != named.st_ino)
    return std::string();
  return path;
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The program's file name, from which it finds its data and the family's work beside
// it. Two moves of its folder must both be followed:
// - a content refresh renames the family's folder aside while a copy of the program runs
//   from it, puts the refreshed folder under the old name and removes the old one: the
//   name the program started under names the refreshed folder, where the open copy must
//   load and save (a save made while the old folder is still aside is carried over by
//   the refresh);
// - a family's folder renamed or moved by hand: the started name names nothing now, and
//   the program's own file is where the folder went.
// So the started name, while its folder is there; else where the program's file is now;
// else (the folder deleted) the started name still, under which saves fail and say so.
std::string ProgramFile() {
  const std::string& started = StartedFrom();
  const std::size_t slash = started.rfind('/');
  if (slash == std::string::npos || IsFolder(slash == 0 ? "/" : started.substr(0, slash))) return started;
  std::string now = WhereProgramIsNow();
  return now.empty() ? started : now;
}

// False for a handle that names no module (system error 126).
bool ModulePath(HMODULE module, std::string* out) {
  out->clear();
  if (module && !SLPlatformIsBuiltinModule(module) && module != GetModuleHandleA(nullptr)) {
    bool known = false;
    *out = SLPlatformLibraryPath(module, &known);
    if (!known) {
      SLPlatformSetLastError(ERROR_MOD_NOT_FOUND);
      return false;
    }
    if (!out->empty()) return true;
  }
  if (!ProgramFileOverride().empty()) {
    *out = ProgramFileOverride();
    return true;
  }
  *out = ProgramFile();
  return true;
}

// Copies as the system does: a path that does not fit is cut to size - 1 units,
// terminated, and reported with the full size and ERROR_INSUFFICIENT_BUFFER.
template <class Char, class Text>
DWORD CopyModulePath(const Text& path, Char* buffer, DWORD size) {
  if (!buffer || size == 0) {
    SLPlatformSetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    std::memcpy(buffer, path.data(), path.size() * sizeof(Char));
    buffer[path.size()] = 0;
    return DWORD(path.size());
  }
  std::memcpy(buffer, path.data(), (size - 1) * sizeof(Char));
  buffer[size - 1] = 0;
  SLPlatformSetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

}  // namespace

void SLPlatformSetProgramFileName(const char* utf8Path) { ProgramFileOverride() = utf8Path ? utf8Path : ""; }

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  std::string utf8;
  if (!ModulePath(module, &utf8)) {
    if (buffer && size) buffer[0] = 0;
    return 0;
  }
  std::u16string path = SLPlatformUtf8ToUtf16(utf8.c_str());
  return CopyModulePath(path, buffer, size);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  // 8-bit text is Windows-1252; what it cannot hold becomes its closest character or "?".
  std::string utf8;
  if (!ModulePath(module, &utf8)) {
    if (buffer && size) buffer[0] = 0;
    return 0;
  }
  std::u16string wide = SLPlatformUtf8ToUtf16(utf8.c_str());
  std::string path(wide.size() + 1, '\0');
  int produced = wide.empty() ? 0
                              : WideCharToMultiByte(1252, 0, wide.data(), int(wide.size()), path.data(),
                                                    int(path.size()), "?", nullptr);
  path.resize(produced > 0 ? std::size_t(produced) : 0);
  return CopyModulePath(path, buffer, size);
}

// ---- language, error mode, debugger, exceptions, system information ----------------

LANGID GetSystemDefaultLangID() { return SL_LANG_SPANISH; }
LANGID GetUserDefaultLangID() { return SL_LANG_SPANISH; }

namespace {
std::atomic<UINT> g_errorMode{0};
std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_exceptionFilter{nullptr};
}  // namespace

UINT GetErrorMode() { return g_errorMode.load(); }
UINT SetErrorMode(UINT mode) { return g_errorMode.exchange(mode); }

BOOL IsDebuggerPresent() { return SLPlatformIsBeingTraced(); }

BOOL SLPlatformIsBeingTraced() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atol(line.c_str() + 10) != 0 ? TRUE : FALSE;
  }
  return FALSE;
}

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
  return g_exceptionFilter.exchange(filter);
}

void GetSystemInfo(LPSYSTEM_INFO info) {
  if (!info) return;
  std::memset(info, 0, sizeof(*info));
  long processors = sysconf(_SC_NPROCESSORS_ONLN);
  long pageSize = sysconf(_SC_PAGESIZE);
  info->wProcessorArchitecture = 9;  // x64
  info->dwPageSize = pageSize > 0 ? DWORD(pageSize) : 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFull);
  info->dwNumberOfProcessors = processors > 0 ? DWORD(processors) : 1;
  info->dwActiveProcessorMask = info->dwNumberOfProcessors >= 64 ? ~DWORD_PTR(0)
                                                                 : (DWORD_PTR(1) << info->dwNumberOfProcessors) - 1;
  info->dwProcessorType = 8664;
  info->dwAllocationGranularity = 0x10000;
}

// ---- writes past the file-size limit ---------------------------------------------------
//
// A file-size limit (RLIMIT_FSIZE: a shell's `ulimit -f`, a parental control, a container)
// ends a process that writes past it with SIGXFSZ, where the system the program was written
// for fails the write. Every writer here already hears ERROR_DISK_FULL for EFBIG and keeps
// the file it replaces, so the signal is ignored for the whole process from its start,
// before any file is written: one that a parent set ignored stays so, and a handler that
// something loaded earlier installed is its own.

void SLPlatformFailWritesPastTheSizeLimit() {
  struct sigaction current {};
  if (sigaction(SIGXFSZ, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)
    return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

namespace {
// Every program of the framework links this file (the binder reads GetSystemInfo before it
// binds anything), so its start-up is the process's.
[[maybe_unused]] const bool g_writesPastTheSizeLimitFail = (SLPlatformFailWritesPastTheSizeLimit(), true);
}  // namespace

// ---- debug output ---------------------------------------------------------------------

namespace {
bool DebugOutputWanted() {
  static const bool wanted = [] {
    const char* value = std::getenv("SL_DEBUG");
    return value && std::strcmp(value, "1") == 0;
  }();
  return wanted;
}
}  // namespace

// The 8-bit text is the system code page's ("construcci\xf3n" in 1252); terminals and logs
// read UTF-8, so it is widened through that page on the way out.
void OutputDebugStringA(LPCSTR text) {
  if (!text || !DebugOutputWanted()) return;
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0) return;
  std::u16string wide(size_t(units), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
  std::fputs(SLPlatformUtf16ToUtf8(wide.c_str()).c_str(), stderr);
}

void OutputDebugStringW(LPCWSTR text) {
  if (!text || !DebugOutputWanted()) return;
  std::fputs(SLPlatformUtf16ToUtf8(text).c_str(), stderr);
}
