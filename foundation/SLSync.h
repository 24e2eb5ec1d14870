// Locks, events and the millisecond timer.
#pragma once

#include <atomic>

#include "foundation/SLTypes.h"
#include "platform/wintypes.h"

class CSLCriticalSection {
 public:
  CSLCriticalSection();
  virtual ~CSLCriticalSection();
  bool Enter();  // leave only when Enter returned true
  void Leave();

  CSLCriticalSection(const CSLCriticalSection&) = delete;
  CSLCriticalSection& operator=(const CSLCriticalSection&) = delete;

 private:
  CRITICAL_SECTION m_section;
};

// Scope guard: enters on construction, leaves on destruction when it entered.
class SLCriticalSectionLock {
 public:
  explicit SLCriticalSectionLock(CSLCriticalSection* section)
      : m_section(section), m_locked(section && section->Enter()) {}
  ~SLCriticalSectionLock() {
    if (m_locked) m_section->Leave();
  }
  bool IsLocked() const { return m_locked; }
  SLCriticalSectionLock(const SLCriticalSectionLock&) = delete;
  SLCriticalSectionLock& operator=(const SLCriticalSectionLock&) = delete;

 private:
  CSLCriticalSection* m_section;
  bool m_locked;
};

// Plain spin lock record: {lock word, sleep flag}.
struct SLFastLock {
  std::atomic<u32> lockWord{0};
  u32 sleepFlag = 0;  // more than one processor: waiters Sleep(1), else yield
};

// Recursive spin lock record: {owner thread id, recursion count, sleep flag}.
struct SLRecursiveFastLock {
  std::atomic<u32> owner{0};
  std::atomic<i32> count{0};
  u32 sleepFlag = 0;
};

void SLSpinLock(SLFastLock* lock);
void SLSpinUnlock(SLFastLock* lock);
// One level of a recursive spin lock without a guard object (the owner is cleared when
// the count returns to 0).
void SLRecursiveSpinLock(SLRecursiveFastLock* lock);
void SLRecursiveSpinUnlock(SLRecursiveFastLock* lock);

class CSLAutoFastMutex {
 public:
  explicit CSLAutoFastMutex(SLFastLock* lock);
  virtual ~CSLAutoFastMutex();
  CSLAutoFastMutex(const CSLAutoFastMutex&) = delete;
  CSLAutoFastMutex& operator=(const CSLAutoFastMutex&) = delete;

 private:
  SLFastLock* m_lock;
  bool m_locked;
};

class CSLAutoFastRecursiveMutex {
 public:
  CSLAutoFastRecursiveMutex() : m_lock(nullptr), m_locked(false) {}
  explicit CSLAutoFastRecursiveMutex(SLRecursiveFastLock* lock) : CSLAutoFastRecursiveMutex() { Lock(lock); }
  virtual ~CSLAutoFastRecursiveMutex();
  void Lock(SLRecursiveFastLock* lock);
  void Unlock();
  CSLAutoFastRecursiveMutex(const CSLAutoFastRecursiveMutex&) = delete;
  CSLAutoFastRecursiveMutex& operator=(const CSLAutoFastRecursiveMutex&) = delete;

 private:
  SLRecursiveFastLock* m_lock;
  bool m_locked;
};

void SLSleep(u32 ms);

// The process-wide recursive event lock.
bool SLEventManagerLock();
void SLEventManagerUnlock();

// Manual- or auto-reset event wrapper.
class CSLSyncEvent {
 public:
  CSLSyncEvent() : m_handle(nullptr) {}
  ~CSLSyncEvent() { Close(); }
  bool Create(bool manualReset, bool initialState, const char* name = nullptr);
  bool Wait(u32 ms);
  bool Set();
  bool Reset();
  void Close();
  HANDLE GetHandle() const { return m_handle; }
  CSLSyncEvent(const CSLSyncEvent&) = delete;
  CSLSyncEvent& operator=(const CSLSyncEvent&) = delete;

 private:
  HANDLE m_handle;
};

class CSLTimer {
 public:
  CSLTimer();
  void Restart();
  u32 GetDeltaMs();

 private:
  u32 m_usesPerformanceCounter;
  i64 m_frequency;
  i64 m_lastStamp;
  u32 m_lastDelta;
};
