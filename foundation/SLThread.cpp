// CSLThread: a thread with a start handshake and a cooperative stop, and CSLWorkerThread,
// which runs a callback. A thread is never killed: Stop asks through the stop event and
// waits; when the thread does not end in time the object keeps its handle and reports it.
#include "foundation/SLThread.h"

#include <atomic>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "platform/kernel32/Sync.h"

SL_IMPLEMENT_CLASS(CSLThread, CSLObject)
SL_IMPLEMENT_CLASS(CSLWorkerThread, CSLThread)

namespace {

// Values of the new thread's go word.
enum : u32 {
  kGoWait = 0,
  kGoRun = 1,
  kGoAbandon = 2,  // the start failed after creation: skip Run and end
};

// Lives on the starting thread's stack until the new thread has published its go word.
struct SLThreadStartBlock {
  CSLThread* thread;
  std::atomic<std::atomic<u32>*> goWord;
  HANDLE exitEvent;
};

// The most handles a Run may add to its own three in WaitForEvents.
constexpr u32 kMaxCallerHandles = 48;

unsigned SLThreadEntry(void* argument) {
  auto* block = static_cast<SLThreadStartBlock*>(argument);
  CSLThread* thread = block->thread;
  HANDLE exitEvent = block->exitEvent;
  std::atomic<u32> go{kGoWait};
  block->goWord.store(&go, std::memory_order_release);  // the block is not touched again
  u32 word;
  while ((word = go.load(std::memory_order_acquire)) == kGoWait) Sleep(1);
  if (word == kGoRun) {
    // A suspended start is held at this yield until the owner resumes the thread.
    SwitchToThread();
    thread->Run();
  }
  SLMemoryThreadCleanup();
  SetEvent(exitEvent);
  return 0;
}

bool IsAcceptedPriority(i32 priority) {
  switch (priority) {
    case 15: case 2: case 1: case 0: case -1: case -2: case -15:
      return true;
    default:
      return false;
  }
}

// The handle and id are read by the thread itself (Stop from inside Run, WaitForEvents)
// while the owner may read or clear them, so they are always accessed atomically.
template <class T>
T LoadShared(const T& field) {
  return std::atomic_ref<T>(const_cast<T&>(field)).load();
}
template <class T>
void StoreShared(T& field, T value) {
  std::atomic_ref<T>(field).store(value);
}

bool IsSignalled(HANDLE event) { return event && SLWaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

CSLThread::CSLThread() : m_priority(0), m_thread(nullptr), m_threadId(0) {}

CSLThread::~CSLThread() {
  // Subclasses stop their thread in their own destructors, while the members Run uses
  // still exist; this is the safety net for a subclass that did not.
  SLErrorKeeper keeper;
  Stop(INFINITE);
}

bool CSLThread::IsRunning() const {
  return LoadShared(m_thread) != nullptr && !IsSignalled(m_exitEvent.GetHandle());
}

bool CSLThread::Start(bool suspended) {
  if (LoadShared(m_thread) || LoadShared(m_threadId) != 0) {
    // Still running, with its handle or (after stopping itself) until its exit event.
    if (!IsSignalled(m_exitEvent.GetHandle())) return SLFail(SL_E_THREAD_RUNNING, true);
    // Finished: clean up before the new start.
    if (!Stop(0)) return SLFail(SL_E_THREAD_RUNNING, true);
  }

  if (!m_stopEvent.Create(true, false, nullptr) || !m_exitEvent.Create(true, false, nullptr)) {
    m_stopEvent.Close();
    m_exitEvent.Close();
    return SLFail(SL_E_THREAD_START, false);
  }

  SLThreadStartBlock block{this, nullptr, m_exitEvent.GetHandle()};
  unsigned id = 0;
  std::uintptr_t created = _beginthreadex(nullptr, 0, &SLThreadEntry, &block, 0, &id);
  if (!created) {
    m_stopEvent.Close();
    m_exitEvent.Close();
    return SLFail(SL_E_THREAD_START, false);
  }
  HANDLE thread = reinterpret_cast<HANDLE>(created);
  StoreShared<HANDLE>(m_thread, thread);
  StoreShared<u32>(m_threadId, id);
  SLSetThreadPriority(thread, m_priority);

  std::atomic<u32>* go;
  while (!(go = block.goWord.load(std::memory_order_acquire))) Sleep(1);

  if (suspended && SuspendThread(thread) == DWORD(-1)) {
    // The thread has not run any of Run yet: let it end by itself and join it.
    go->exchange(kGoAbandon);
    SLWaitForSingleObject(thread, INFINITE);
    SLCloseHandle(thread);
    StoreShared<HANDLE>(m_thread, nullptr);
    StoreShared<u32>(m_threadId, 0);
    m_stopEvent.Close();
    m_exitEvent.Close();
    return SLFail(SL_E_THREAD_START, false);
  }
  go->exchange(kGoRun);
  return SLSucceed(true);
}

bool CSLThread::Stop(u32 ms) {
  HANDLE thread = LoadShared(m_thread);
  const u32 id = LoadShared(m_threadId);
  const bool fromInside = id != 0 && SLGetCurrentThreadId() == id;

  if (fromInside) {
    // Never wait for oneself: ask, give up the handle, and leave the events to the end
    // of Run (the exit event tells the owner when that is).
    if (!IsSignalled(m_exitEvent.GetHandle())) m_stopEvent.Set();
    if (thread) {
      StoreShared<HANDLE>(m_thread, nullptr);
      SLCloseHandle(thread);
    }
    return SLSucceed(true);
  }

  if (thread) {
    bool ended;
    if (!IsSignalled(m_exitEvent.GetHandle())) {
      m_stopEvent.Set();
      HANDLE ends[2] = {thread, m_exitEvent.GetHandle()};
      u32 result = SLWaitForMultipleObjects(2, ends, false, ms);
      ended = result == WAIT_OBJECT_0 || result == WAIT_OBJECT_0 + 1;
    } else {
      // Run has returned; the thread is only leaving its entry function.
      ended = SLWaitForSingleObject(thread, 2000) == WAIT_OBJECT_0;
    }
    if (!ended) return SLFail(SL_E_THREAD_STOP_TIMEOUT, false);
    StoreShared<HANDLE>(m_thread, nullptr);
    SLCloseHandle(thread);
  } else if (id != 0 && m_exitEvent.GetHandle() && !IsSignalled(m_exitEvent.GetHandle())) {
    // The thread stopped itself and gave up its handle, but may still be inside Run.
    m_stopEvent.Set();
    if (SLWaitForSingleObject(m_exitEvent.GetHandle(), ms) != WAIT_OBJECT_0)
      return SLFail(SL_E_THREAD_STOP_TIMEOUT, false);
  }
  StoreShared<u32>(m_threadId, 0);
  m_exitEvent.Close();
  m_stopEvent.Close();
  return SLSucceed(true);
}

bool CSLThread::WaitForEvents(u32 ms, u32 count, const HANDLE* handles, i32* which) {
  SLSetLastError(SL_OK);
  i32 ignored;
  if (!which) which = &ignored;
  HANDLE thread = LoadShared(m_thread);
  if (!thread) {
    *which = 0;
    return true;
  }
  if (count > kMaxCallerHandles || (count > 0 && !handles)) return SLFail(SL_E_INVALID_ARG, false);

  HANDLE all[3 + kMaxCallerHandles] = {thread, m_exitEvent.GetHandle(), m_stopEvent.GetHandle()};
  for (u32 i = 0; i < count; ++i) all[3 + i] = handles[i];
  const u32 result = SLWaitForMultipleObjects(3 + count, all, false, ms);
  if (result <= WAIT_OBJECT_0 + 2) {
    *which = 0;  // the thread should end
    return true;
  }
  if (result == WAIT_FAILED) {
    *which = -1;
    return true;
  }
  if (result < WAIT_OBJECT_0 + 3 + count) {
    *which = i32(result - (WAIT_OBJECT_0 + 3)) + 1;
    return false;
  }
  *which = 0;  // time-out
  return false;
}

bool CSLThread::SetPriority(i32 priority) {
  if (!IsAcceptedPriority(priority)) return SLFail(SL_E_INVALID_ARG, false);
  HANDLE thread = LoadShared(m_thread);
  if (thread && IsRunning() && !SLSetThreadPriority(thread, priority)) return SLFail(SL_E_SYSTEM, false);
  m_priority = priority;
  return SLSucceed(true);
}

CSLWorkerThread::CSLWorkerThread(Callback callback, std::uintptr_t parameter)
    : m_callback(callback), m_parameter(parameter) {}

CSLWorkerThread::~CSLWorkerThread() {
  // Stop while this object is still a CSLWorkerThread: the callback may use it.
  SLErrorKeeper keeper;
  Stop(INFINITE);
}

bool CSLWorkerThread::SetCallback(Callback callback, std::uintptr_t parameter) {
  m_callback = callback;
  m_parameter = parameter;
  return SLSucceed(true);
}

void CSLWorkerThread::Run() {
  if (m_callback) m_callback(this, m_parameter);
}
