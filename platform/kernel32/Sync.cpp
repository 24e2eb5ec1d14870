// Threads, events, waits and critical sections over POSIX threads. Every waitable
// state lives under the one wait lock of the handle table, so a wait over several
// objects sees them all at one instant and an auto-reset event wakes exactly one waiter.
#include "platform/kernel32/Sync.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/kernel32/Core.h"
#include "platform/kernel32/Modules.h"

namespace {

// The thread object of the calling thread, kept alive while the thread runs. Threads
// this layer did not start (the main thread, std::thread) get theirs on first use,
// and it turns signalled with exit code 0 when the thread's own storage goes.
struct CurrentThread {
  std::shared_ptr<SLThreadObject> object;
  ~CurrentThread() {
    if (!object) return;
    SLWaitLock();
    if (!object->finished) {
      object->exitCode = 0;
      object->finished = true;
    }
    SLWaitUnlock();
    SLWaitNotifyAll();
  }
};
thread_local CurrentThread t_current;

// Blocks the calling thread while another thread holds it suspended.
void HonourSuspension() {
  SLThreadObject* self = t_current.object.get();
  if (!self) return;  // nobody can hold a handle of this thread yet
  SLWaitLock();
  while (self->suspendCount > 0) SLWaitBlock({}, true);
  SLWaitUnlock();
}

class SLEventObject : public SLKernelObject {
 public:
  SLEventObject(bool manualReset, bool signalled)
      : SLKernelObject(Kind::Event), m_manualReset(manualReset), m_signalled(signalled) {}
  bool IsWaitable() const override { return true; }
  bool IsSignalled() const override { return m_signalled; }
  void OnWaitSatisfied() override {
    if (!m_manualReset) m_signalled = false;
  }
  void SetSignalled(bool signalled) { m_signalled = signalled; }

 private:
  bool m_manualReset;
  bool m_signalled;  // under the wait lock
};

// Names of events, local to the process. 8-bit names are widened byte by byte, so an
// A and a W create with the same ASCII name meet the same event.
struct NamedEvents {
  std::mutex lock;
  std::map<std::u16string, std::weak_ptr<SLEventObject>> byName;
};

NamedEvents& EventNames() {
  static NamedEvents* names = new NamedEvents;
  return *names;
}

template <class Char>
HANDLE CreateEventT(BOOL manualReset, BOOL initialState, const Char* name) {
  std::u16string key;
  if (name)
    for (const Char* c = name; *c; ++c) key.push_back(static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(*c)));
  if (key.empty()) {
    HANDLE handle = SLHandleCreate(std::make_shared<SLEventObject>(manualReset != 0, initialState != 0));
    if (handle) SLPlatformSetLastError(ERROR_SUCCESS);
    return handle;
  }
  NamedEvents& names = EventNames();
  std::lock_guard<std::mutex> guard(names.lock);
  std::weak_ptr<SLEventObject>& entry = names.byName[key];
  if (std::shared_ptr<SLEventObject> existing = entry.lock()) {
    HANDLE handle = SLHandleCreate(existing);
    if (handle) SLPlatformSetLastError(ERROR_ALREADY_EXISTS);
    return handle;
  }
  auto event = std::make_shared<SLEventObject>(manualReset != 0, initialState != 0);
  entry = event;
  HANDLE handle = SLHandleCreate(event);
  if (handle) SLPlatformSetLastError(ERROR_SUCCESS);
  return handle;
}

// The thread pseudo handle names the calling thread wherever a handle is taken here.
std::shared_ptr<SLKernelObject> ObjectFromHandle(HANDLE handle) {
  if (handle == SL_CURRENT_THREAD_HANDLE) return SLCurrentThreadObject();
  return SLHandleGet(handle);
}

BOOL SetEventState(HANDLE handle, bool signalled) {
  auto event = SLHandleGetAs<SLEventObject>(handle, SLKernelObject::Kind::Event);
  if (!event) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  SLWaitLock();
  event->SetSignalled(signalled);
  SLWaitUnlock();
  if (signalled) SLWaitNotifyAll();
  return TRUE;
}

std::atomic<SLMessageWaitProbe> g_messageProbe{nullptr};

DWORD WaitForObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD ms, bool withQueue,
                     DWORD wakeMask) {
  // The message-queue form keeps one slot for the queue itself.
  const DWORD limit = withQueue ? MAXIMUM_WAIT_OBJECTS - 1 : MAXIMUM_WAIT_OBJECTS;
  if (count > limit || (count > 0 && !handles) || (count == 0 && !withQueue)) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::array<std::shared_ptr<SLKernelObject>, MAXIMUM_WAIT_OBJECTS> objects;
  for (DWORD i = 0; i < count; ++i) {
    objects[i] = ObjectFromHandle(handles[i]);
    if (!objects[i]) return WAIT_FAILED;  // system error 6 set
    if (!objects[i]->IsWaitable()) {
      SLPlatformSetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (waitAll)
      for (DWORD j = 0; j < i; ++j)
        if (objects[j] == objects[i]) {
          SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
  }
  SLMessageWaitProbe probe = withQueue ? g_messageProbe.load(std::memory_order_acquire) : nullptr;
  HonourSuspension();

  const bool infinite = ms == INFINITE;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(infinite ? 0 : ms);
  SLWaitLock();
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    bool done = false;
    if (waitAll) {
      bool all = true;
      for (DWORD i = 0; i < count && all; ++i) all = objects[i]->IsSignalled();
      // With a queue, "all" also needs queued input.
      if (all && probe && !probe(wakeMask)) all = false;
      if (all) {
        for (DWORD i = 0; i < count; ++i) objects[i]->OnWaitSatisfied();
        result = probe ? WAIT_OBJECT_0 + count : WAIT_OBJECT_0;
        done = true;
      }
    } else {
      for (DWORD i = 0; i < count && !done; ++i)
        if (objects[i]->IsSignalled()) {
          objects[i]->OnWaitSatisfied();
          result = WAIT_OBJECT_0 + i;
          done = true;
        }
      if (!done && probe && probe(wakeMask)) {
        result = WAIT_OBJECT_0 + count;
        done = true;
      }
    }
    if (done || ms == 0) break;
    if (!infinite && std::chrono::steady_clock::now() >= deadline) break;
    SLWaitBlock(deadline, infinite);
  }
  SLWaitUnlock();
  return result;
}

void SleepFor(DWORD ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  if (ms == INFINITE) {
    for (;;) pause();
  }
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += ms / 1000;
  deadline.tv_nsec += long(ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

struct ThreadStart {
  std::shared_ptr<SLThreadObject> object;
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
};

void* ThreadMain(void* argument) {
  ThreadStart* startBlock = static_cast<ThreadStart*>(argument);
  std::shared_ptr<SLThreadObject> object = startBlock->object;
  LPTHREAD_START_ROUTINE start = startBlock->start;
  LPVOID parameter = startBlock->parameter;
  delete startBlock;
  t_current.object = object;
  SLWaitLock();
  object->threadId = SLPlatformThreadId();
  object->started = true;
  SLWaitUnlock();
  SLWaitNotifyAll();
  HonourSuspension();  // a suspended creation waits here for ResumeThread

  DWORD exitCode = start(parameter);

  SLWaitLock();
  object->exitCode = exitCode;
  object->finished = true;
  SLWaitUnlock();
  SLWaitNotifyAll();
  return nullptr;
}

std::shared_ptr<SLThreadObject> ThreadFromHandle(HANDLE handle) {
  if (handle == SL_CURRENT_THREAD_HANDLE) return SLCurrentThreadObject();
  auto thread = SLHandleGetAs<SLThreadObject>(handle, SLKernelObject::Kind::Thread);
  if (!thread) SLPlatformSetLastError(ERROR_INVALID_HANDLE);
  return thread;
}

bool IsCurrentProcess(HANDLE process) {
  if (process == SL_CURRENT_PROCESS_HANDLE) return true;
  auto object = SLHandleGet(process);
  return object && object->GetKind() == SLKernelObject::Kind::Process;
}

}  // namespace

std::shared_ptr<SLThreadObject> SLCurrentThreadObject() {
  if (!t_current.object) {
    auto object = std::make_shared<SLThreadObject>();
    object->threadId = SLPlatformThreadId();
    object->started = true;
    t_current.object = std::move(object);
  }
  return t_current.object;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  if (section) section->impl = new (std::nothrow) std::recursive_mutex;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  if (!section) return;
  delete static_cast<std::recursive_mutex*>(section->impl);
  section->impl = nullptr;
}

static std::recursive_mutex* SectionMutex(LPCRITICAL_SECTION section) {
  if (!section || !section->impl) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    throw std::invalid_argument("critical section not initialised");
  }
  return static_cast<std::recursive_mutex*>(section->impl);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { SectionMutex(section)->lock(); }

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
  if (section && section->impl) static_cast<std::recursive_mutex*>(section->impl)->unlock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  return SectionMutex(section)->try_lock() ? TRUE : FALSE;
}

HANDLE CreateEventA(LPVOID, BOOL manualReset, BOOL initialState, LPCSTR name) {
  return CreateEventT(manualReset, initialState, name);
}

HANDLE CreateEventW(LPVOID, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return CreateEventT(manualReset, initialState, name);
}

BOOL SetEvent(HANDLE event) { return SetEventState(event, true); }

BOOL ResetEvent(HANDLE event) { return SetEventState(event, false); }

DWORD WaitForSingleObject(HANDLE handle, DWORD ms) { return WaitForObjects(1, &handle, false, ms, false, 0); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms) {
  return WaitForObjects(count, handles, waitAll != 0, ms, false, 0);
}

DWORD SLWaitForObjectsOrMessages(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask) {
  return WaitForObjects(count, handles, waitAll != 0, ms, true, wakeMask);
}

void SLSetMessageWaitProbe(SLMessageWaitProbe probe) {
  g_messageProbe.store(probe, std::memory_order_release);
  SLWaitNotifyAll();
}

HANDLE CreateThread(LPVOID, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    DWORD* threadId) {
  if (!start) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_shared<SLThreadObject>();
  if (flags & SL_CREATE_SUSPENDED) object->suspendCount = 1;
  HANDLE handle = SLHandleCreate(object);
  if (!handle) return nullptr;

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stackSize > 0) {
    const SIZE_T minimum = SIZE_T(PTHREAD_STACK_MIN);
    SIZE_T rounded = stackSize < minimum ? minimum : (stackSize + 0xFFFF) & ~SIZE_T(0xFFFF);
    pthread_attr_setstacksize(&attributes, rounded);
  }
  auto* startBlock = new (std::nothrow) ThreadStart{object, start, parameter};
  pthread_t thread;
  int failure = startBlock ? pthread_create(&thread, &attributes, &ThreadMain, startBlock) : ENOMEM;
  pthread_attr_destroy(&attributes);
  if (failure != 0) {
    delete startBlock;
    SLHandleClose(handle);
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // The id is the kernel's thread id, known once the thread runs.
  SLWaitLock();
  while (!object->started) SLWaitBlock({}, true);
  DWORD id = object->threadId;
  SLWaitUnlock();
  if (threadId) *threadId = id;
  return handle;
}

std::uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* arglist,
                              unsigned flags, unsigned* threadId) {
  DWORD id = 0;
  HANDLE handle = CreateThread(security, stackSize, start, arglist, flags, &id);
  if (handle && threadId) *threadId = id;
  return reinterpret_cast<std::uintptr_t>(handle);
}

HANDLE GetCurrentThread() { return SL_CURRENT_THREAD_HANDLE; }

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  auto object = ThreadFromHandle(thread);
  if (!object) return FALSE;
  if (!exitCode) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SLWaitLock();
  *exitCode = object->exitCode;
  SLWaitUnlock();
  return TRUE;
}

BOOL TerminateThread(HANDLE thread, DWORD) {
  if (!ThreadFromHandle(thread)) return FALSE;
  SLPlatformSetLastError(SL_ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
  if (!ThreadFromHandle(thread)) return FALSE;
  switch (priority) {
    case 15: case 2: case 1: case 0: case -1: case -2: case -15:
      // Scheduling classes are not changed: the values are accepted and kept by callers.
      return TRUE;
    default:
      SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

DWORD SuspendThread(HANDLE thread) {
  auto object = ThreadFromHandle(thread);
  if (!object) return DWORD(-1);
  SLWaitLock();
  if (object->finished) {
    SLWaitUnlock();
    SLPlatformSetLastError(ERROR_ACCESS_DENIED);
    return DWORD(-1);
  }
  DWORD previous = object->suspendCount++;
  SLWaitUnlock();
  if (object == t_current.object) HonourSuspension();
  return previous;
}

DWORD ResumeThread(HANDLE thread) {
  auto object = ThreadFromHandle(thread);
  if (!object) return DWORD(-1);
  SLWaitLock();
  DWORD previous = object->suspendCount;
  if (previous > 0) --object->suspendCount;
  SLWaitUnlock();
  if (previous == 1) SLWaitNotifyAll();
  return previous;
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target, DWORD,
                     BOOL, DWORD options) {
  if (target) *target = nullptr;
  if (!IsCurrentProcess(sourceProcess) || !IsCurrentProcess(targetProcess)) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!target) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The thread pseudo handle resolves to the calling thread, so its duplicate is a
  // real handle that keeps naming this thread wherever it is used.
  std::shared_ptr<SLKernelObject> object = ObjectFromHandle(source);
  if (!object) return FALSE;
  HANDLE duplicate = SLHandleCreate(std::move(object));
  if (!duplicate) return FALSE;
  if ((options & SL_DUPLICATE_CLOSE_SOURCE) && source != SL_CURRENT_THREAD_HANDLE) SLHandleClose(source);
  *target = duplicate;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (handle == SL_CURRENT_THREAD_HANDLE || handle == SL_CURRENT_PROCESS_HANDLE) return TRUE;
  return SLHandleClose(handle) ? TRUE : FALSE;
}

void Sleep(DWORD ms) {
  HonourSuspension();
  SleepFor(ms);
}

DWORD SleepEx(DWORD ms, BOOL) {
  Sleep(ms);
  return 0;
}

BOOL SwitchToThread() {
  HonourSuspension();
  sched_yield();
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
  if (!counter) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  counter->QuadPart = LONGLONG(SLPlatformMonotonicNs());
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  frequency->QuadPart = 1000000000LL;
  return TRUE;
}

// The monotonic clock in milliseconds, so that the test clock moves it too.
DWORD GetTickCount() { return static_cast<DWORD>(SLPlatformMonotonicNs() / 1000000u); }
