// Interim kernel object table, until the table of the threads work is merged: the
// registry of handles and the per-thread system error, nothing more.
#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/kernel32/Handles.h"

namespace {
struct Registry {
  std::mutex lock;
  std::map<std::uintptr_t, std::shared_ptr<SLKernelObject>> objects;
  std::uintptr_t next = 0x1000;
};
Registry& GetRegistry() {
  static Registry* registry = new Registry();
  return *registry;
}
thread_local DWORD t_lastError = 0;
std::recursive_mutex s_waitLock;
}  // namespace

HANDLE SLHandleCreate(std::shared_ptr<SLKernelObject> object) {
  if (!object) return nullptr;
  Registry& r = GetRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  std::uintptr_t key = r.next;
  r.next += 4;
  r.objects[key] = std::move(object);
  return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<SLKernelObject> SLHandleGet(HANDLE handle) {
  Registry& r = GetRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto found = r.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == r.objects.end()) {
    t_lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return found->second;
}

bool SLHandleClose(HANDLE handle) {
  std::shared_ptr<SLKernelObject> object;
  {
    Registry& r = GetRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == r.objects.end()) {
      t_lastError = ERROR_INVALID_HANDLE;
      return false;
    }
    object = std::move(found->second);
    r.objects.erase(found);
  }
  object.reset();  // destroyed outside the registry lock
  return true;
}

HANDLE SLHandleDuplicate(HANDLE handle) {
  auto object = SLHandleGet(handle);
  return object ? SLHandleCreate(object) : nullptr;
}

void SLWaitLock() { s_waitLock.lock(); }
void SLWaitUnlock() { s_waitLock.unlock(); }
void SLWaitNotifyAll() {}

void SLPlatformSetLastError(DWORD code) { t_lastError = code; }
DWORD SLPlatformGetLastError() { return t_lastError; }
