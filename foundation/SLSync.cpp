// Critical sections, spin locks, the process-wide event lock, the event wrapper and the
// millisecond timer. Critical sections, events, yields and the performance counter are
// imported directly from the system module; waits and handle closing go through the
// kernel table like every other system call of the core.
//
// One of the five core files (SLError, SLLibrary, SLMemory, SLSingleton, SLSync) whose
// implementations call each other: the error code sits in a TLS slot of the kernel table,
// binding and singletons report through the error code and take locks, the allocator is a
// singleton. Only these .cpp files include each other's headers; the headers stand alone.
#include "foundation/SLSync.h"

#include <stdexcept>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLSingleton.h"
#include "platform/kernel32/Sync.h"

CSLCriticalSection::CSLCriticalSection() : m_section{nullptr} {
  try {
    InitializeCriticalSection(&m_section);
  } catch (...) {
    // A section that could not be made refuses Enter later.
  }
}

CSLCriticalSection::~CSLCriticalSection() { DeleteCriticalSection(&m_section); }

bool CSLCriticalSection::Enter() {
  try {
    EnterCriticalSection(&m_section);
    return true;
  } catch (...) {
    return false;
  }
}

void CSLCriticalSection::Leave() { LeaveCriticalSection(&m_section); }

namespace {

// How a spin-lock waiter gives way: with more than one processor the holder runs
// elsewhere, so sleeping a millisecond frees this processor for longer; with one, the
// holder can only progress when this thread yields to it.
inline void SpinWait(u32 sleepFlag) {
  if (sleepFlag)
    Sleep(1);
  else
    SwitchToThread();
}

// The owner word of the recursive locks: a thread's id never changes, so it is asked of
// the system once per thread rather than on every lock.
inline u32 CallerThreadId() {
  thread_local const u32 id = SLGetCurrentThreadId();
  return id;
}

}  // namespace

void SLSpinLock(SLFastLock* lock) {
  for (;;) {
    u32 expected = 0;
    if (lock->lockWord.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return;
    SpinWait(lock->sleepFlag);
  }
}

void SLSpinUnlock(SLFastLock* lock) { lock->lockWord.store(0, std::memory_order_release); }

void SLRecursiveSpinLock(SLRecursiveFastLock* lock) {
  const u32 self = CallerThreadId();
  // Only the owner ever writes its own id there, so a plain look tells a re-entry.
  if (lock->owner.load(std::memory_order_relaxed) != self) {
    for (;;) {
      u32 owner = 0;
      if (lock->owner.compare_exchange_strong(owner, self, std::memory_order_acquire)) break;
      SpinWait(lock->sleepFlag);
    }
  }
  // The count belongs to the owner alone while it holds the lock.
  lock->count.store(lock->count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void SLRecursiveSpinUnlock(SLRecursiveFastLock* lock) {
  const i32 count = lock->count.load(std::memory_order_relaxed) - 1;
  lock->count.store(count, std::memory_order_relaxed);
  if (count == 0) lock->owner.store(0, std::memory_order_release);
}

CSLAutoFastMutex::CSLAutoFastMutex(SLFastLock* lock) : m_lock(lock), m_locked(false) {
  if (m_lock) {
    SLSpinLock(m_lock);
    m_locked = true;
  }
}

CSLAutoFastMutex::~CSLAutoFastMutex() {
  if (m_locked) SLSpinUnlock(m_lock);
}

CSLAutoFastRecursiveMutex::~CSLAutoFastRecursiveMutex() { Unlock(); }

void CSLAutoFastRecursiveMutex::Lock(SLRecursiveFastLock* lock) {
  if (m_locked || !lock) return;  // a guard holds one level of one lock
  SLRecursiveSpinLock(lock);
  m_lock = lock;
  m_locked = true;
}

void CSLAutoFastRecursiveMutex::Unlock() {
  if (!m_locked) return;
  m_locked = false;
  SLRecursiveSpinUnlock(m_lock);
}

void SLSleep(u32 ms) { Sleep(ms); }

namespace SLInternals {

// The process-wide recursive event lock that the event senders hold while they change
// or walk their listener lists.
class CMXEventMgr : public CSLBaseOODClass {
 public:
  CMXEventMgr() { m_lock.sleepFlag = SLGetProcessorCount() > 1 ? 1 : 0; }
  SLRecursiveFastLock m_lock;
};

}  // namespace SLInternals

namespace {

SLInternals::CMXEventMgr* g_eventManager = nullptr;

SLInternals::CMXEventMgr* EventManager() {
  return SLGetStaticSingleton(g_eventManager, SL_OOD_PRIORITY_TLS);
}

}  // namespace

// Every event delivery takes and releases this lock, so once the manager exists neither
// call touches the thread's error code (a per-thread slot lookup each): nothing on that
// path can change it.
bool SLEventManagerLock() {
  SLInternals::CMXEventMgr* manager = std::atomic_ref(g_eventManager).load(std::memory_order_acquire);
  if (!manager) {
    const u32 callerError = SLGetLastError(false);
    manager = EventManager();
    if (!manager) return SLFail(SL_E_OUT_OF_MEMORY, false);
    SLSetLastError(callerError);
  }
  SLRecursiveSpinLock(&manager->m_lock);
  return true;
}

void SLEventManagerUnlock() {
  SLInternals::CMXEventMgr* manager = std::atomic_ref(g_eventManager).load(std::memory_order_acquire);
  if (!manager) return;  // never locked
  // Only the owner may release a level; a stray unlock leaves the lock alone.
  if (manager->m_lock.owner.load(std::memory_order_relaxed) != CallerThreadId()) return;
  SLRecursiveSpinUnlock(&manager->m_lock);
}

bool CSLSyncEvent::Create(bool manualReset, bool initialState, const char* name) {
  Close();
  m_handle = CreateEventA(nullptr, manualReset, initialState, name);
  if (!m_handle) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return SLSucceed(true);
}

bool CSLSyncEvent::Wait(u32 ms) {
  if (!m_handle) return SLFail(SL_E_NOT_INITIALISED, false);
  switch (SLWaitForSingleObject(m_handle, ms)) {
    case WAIT_OBJECT_0:
      return SLSucceed(true);
    case WAIT_TIMEOUT:
      return SLSucceed(false);
    default:
      return SLFail(SL_E_OPERATION_FAILED, false);
  }
}

bool CSLSyncEvent::Set() {
  if (!m_handle) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!SetEvent(m_handle)) return SLFail(SL_E_OPERATION_FAILED, false);
  return SLSucceed(true);
}

bool CSLSyncEvent::Reset() {
  if (!m_handle) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!ResetEvent(m_handle)) return SLFail(SL_E_OPERATION_FAILED, false);
  return SLSucceed(true);
}

void CSLSyncEvent::Close() {
  if (!m_handle) return;
  SLCloseHandle(m_handle);
  m_handle = nullptr;
}

CSLTimer::CSLTimer() : m_usesPerformanceCounter(0), m_frequency(1000), m_lastStamp(0), m_lastDelta(0) {
  LARGE_INTEGER frequency;
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
    m_usesPerformanceCounter = 1;
    m_frequency = frequency.QuadPart;
  }
  Restart();
}

namespace {

i64 TimerStamp(u32 usesPerformanceCounter) {
  if (usesPerformanceCounter) {
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter)) return counter.QuadPart;
  }
  return i64(GetTickCount());
}

}  // namespace

void CSLTimer::Restart() {
  m_lastStamp = TimerStamp(m_usesPerformanceCounter);
  m_lastDelta = 0;
}

u32 CSLTimer::GetDeltaMs() {
  const i64 now = TimerStamp(m_usesPerformanceCounter);
  const u64 elapsed = u64(now) - u64(m_lastStamp);
  const u64 frequency = u64(m_frequency);
  // Whole seconds and the rest apart, so that elapsed × 1000 cannot overflow.
  const u64 ms = elapsed / frequency * 1000 + elapsed % frequency * 1000 / frequency;
  m_lastStamp = now;
  m_lastDelta = u32(ms);
  return m_lastDelta;
}
