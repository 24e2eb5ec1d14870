// Interim thread handles until the kernel object table lands: enough for a thread to
// keep a handle of itself and for others to ask later whether that thread has ended.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/kernel32/Core.h"
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"

HANDLE GetCurrentThread();
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target, DWORD access,
                     BOOL inherit, DWORD options);
BOOL CloseHandle(HANDLE handle);
BOOL GetExitCodeThread(HANDLE thread, DWORD* code);

namespace {
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

struct ThreadState {
  std::atomic<bool> running{true};
};
std::mutex g_lock;
std::map<std::uintptr_t, std::shared_ptr<ThreadState>>& Table() {
  static auto* table = new std::map<std::uintptr_t, std::shared_ptr<ThreadState>>;
  return *table;
}
std::uintptr_t g_next = 0x1000;

void OnThreadEnd(void* state) {
  auto* holder = static_cast<std::shared_ptr<ThreadState>*>(state);
  (*holder)->running = false;
  delete holder;
}

std::shared_ptr<ThreadState> CurrentState() {
  thread_local std::shared_ptr<ThreadState> state;
  if (!state) {
    state = std::make_shared<ThreadState>();
    SLPlatformAtThreadExit(&OnThreadEnd, new std::shared_ptr<ThreadState>(state));
  }
  return state;
}
}  // namespace

HANDLE GetCurrentThread() { return kCurrentThread; }

BOOL DuplicateHandle(HANDLE, HANDLE source, HANDLE, HANDLE* target, DWORD, BOOL, DWORD) {
  if (!target) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<ThreadState> state;
  if (source == kCurrentThread) {
    state = CurrentState();
  } else {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = Table().find(reinterpret_cast<std::uintptr_t>(source));
    if (it != Table().end()) state = it->second;
  }
  if (!state) {
    *target = nullptr;
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(g_lock);
  std::uintptr_t key = g_next += 4;
  Table()[key] = state;
  *target = reinterpret_cast<HANDLE>(key);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(g_lock);
  if (Table().erase(reinterpret_cast<std::uintptr_t>(handle)) == 0) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* code) {
  std::shared_ptr<ThreadState> state;
  if (thread == kCurrentThread) {
    state = CurrentState();
  } else {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = Table().find(reinterpret_cast<std::uintptr_t>(thread));
    if (it != Table().end()) state = it->second;
  }
  if (!state || !code) {
    SLPlatformSetLastError(state ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *code = state->running ? STILL_ACTIVE : 0;
  return TRUE;
}

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(GetCurrentThread),
    SL_EXPORT(DuplicateHandle),
    SL_EXPORT(CloseHandle),
    SL_EXPORT(GetExitCodeThread),
};
}  // namespace

extern const SLPlatformExportGroup g_kernel32InterimSync = SLMakeExportGroup(kExports);
