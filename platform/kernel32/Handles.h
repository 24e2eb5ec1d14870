// The kernel object table behind every HANDLE of the stand-in: events, threads, files,
// mappings, find handles. A handle is a registry key, never a raw pointer, so a stale
// or forged handle is recognised (ERROR_INVALID_HANDLE) instead of being dereferenced.
#pragma once

#include <chrono>
#include <memory>

#include "platform/wintypes.h"

class SLKernelObject : public std::enable_shared_from_this<SLKernelObject> {
 public:
  enum class Kind { Event, Thread, Process, File, Mapping, Find, Other };

  explicit SLKernelObject(Kind kind) : m_kind(kind) {}
  virtual ~SLKernelObject() = default;
  Kind GetKind() const { return m_kind; }

  // Waitable objects answer these under the wait lock (SLWaitLock).
  virtual bool IsWaitable() const { return false; }
  virtual bool IsSignalled() const { return false; }
  // Called under the wait lock when a wait is satisfied by this object (auto-reset events).
  virtual void OnWaitSatisfied() {}

 private:
  Kind m_kind;
};

// Registers a new handle for `object` (reference-counted: several handles may name it).
HANDLE SLHandleCreate(std::shared_ptr<SLKernelObject> object);
// The object behind a live handle, or null (system error 6 set). Pseudo handles (the
// calling thread or process) are no keys of the table: their owners resolve them.
std::shared_ptr<SLKernelObject> SLHandleGet(HANDLE handle);
template <class T>
std::shared_ptr<T> SLHandleGetAs(HANDLE handle, SLKernelObject::Kind kind) {
  auto object = SLHandleGet(handle);
  if (!object || object->GetKind() != kind) return nullptr;
  return std::static_pointer_cast<T>(object);
}
// Closes one handle; the object goes when its last handle (and user) goes.
bool SLHandleClose(HANDLE handle);
// A new handle for the same object.
HANDLE SLHandleDuplicate(HANDLE handle);

// Every change of a waitable object's state happens under the wait lock and is
// followed by SLWaitNotifyAll so that waiters look again.
void SLWaitLock();
void SLWaitUnlock();
void SLWaitNotifyAll();
// Under the wait lock: gives it up until a notification or the deadline, then takes it
// again. False when the deadline passed. Callers look at their objects again either way.
bool SLWaitBlock(std::chrono::steady_clock::time_point deadline, bool infinite);

// The stand-in's per-thread system last error (kept apart from the framework's code).
void SLPlatformSetLastError(DWORD code);
DWORD SLPlatformGetLastError();
