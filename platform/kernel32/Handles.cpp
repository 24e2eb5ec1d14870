// The kernel object table. Handle values are keys of one process-wide map; they are
// handed out from a counter that never goes back, so a closed handle stays invalid for
// good instead of silently naming a later object.
#include "platform/kernel32/Handles.h"

#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<SLKernelObject>> objects;
  // Multiples of 4 from 0x1000, as the system's own handles look; far below the
  // pseudo handles (-1 process, -2 thread) and never 0.
  std::uintptr_t next = 0x1000;
};

HandleTable& Table() {
  // Deliberately never destroyed: threads may still close handles while static
  // destructors run at process end.
  static HandleTable* table = new HandleTable;
  return *table;
}

struct WaitState {
  std::mutex lock;
  std::condition_variable changed;
};

WaitState& Waits() {
  static WaitState* state = new WaitState;
  return *state;
}

}  // namespace

HANDLE SLHandleCreate(std::shared_ptr<SLKernelObject> object) {
  if (!object) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  std::uintptr_t key = table.next;
  table.next += 4;
  table.objects.emplace(key, std::move(object));
  return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<SLKernelObject> SLHandleGet(HANDLE handle) {
  HandleTable& table = Table();
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found != table.objects.end()) return found->second;
  }
  SLPlatformSetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

bool SLHandleClose(HANDLE handle) {
  std::shared_ptr<SLKernelObject> last;  // released outside the table lock
  HandleTable& table = Table();
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found != table.objects.end()) {
      last = std::move(found->second);
      table.objects.erase(found);
      return true;
    }
  }
  SLPlatformSetLastError(ERROR_INVALID_HANDLE);
  return false;
}

HANDLE SLHandleDuplicate(HANDLE handle) {
  std::shared_ptr<SLKernelObject> object = SLHandleGet(handle);
  if (!object) return nullptr;
  return SLHandleCreate(std::move(object));
}

void SLWaitLock() { Waits().lock.lock(); }

void SLWaitUnlock() { Waits().lock.unlock(); }

void SLWaitNotifyAll() { Waits().changed.notify_all(); }

bool SLWaitBlock(std::chrono::steady_clock::time_point deadline, bool infinite) {
  WaitState& state = Waits();
  std::unique_lock<std::mutex> held(state.lock, std::adopt_lock);
  bool notified = true;
  if (infinite)
    state.changed.wait(held);
  else
    notified = state.changed.wait_until(held, deadline) == std::cv_status::no_timeout;
  held.release();  // the caller still holds the wait lock
  return notified;
}
