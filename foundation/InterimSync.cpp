// Interim stand-ins for the locks, until the threads-and-locks layer lands.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "foundation/SLSync.h"

CSLCriticalSection::CSLCriticalSection() { m_section.impl = new std::recursive_mutex; }
CSLCriticalSection::~CSLCriticalSection() { delete static_cast<std::recursive_mutex*>(m_section.impl); }
bool CSLCriticalSection::Enter() {
  static_cast<std::recursive_mutex*>(m_section.impl)->lock();
  return true;
}
void CSLCriticalSection::Leave() { static_cast<std::recursive_mutex*>(m_section.impl)->unlock(); }

void SLSleep(u32 ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void SLSpinLock(SLFastLock* lock) {
  while (lock->lockWord.exchange(1, std::memory_order_acquire) != 0) std::this_thread::yield();
}
void SLSpinUnlock(SLFastLock* lock) { lock->lockWord.store(0, std::memory_order_release); }

CSLAutoFastMutex::CSLAutoFastMutex(SLFastLock* lock) : m_lock(lock), m_locked(lock != nullptr) {
  if (m_lock) SLSpinLock(m_lock);
}
CSLAutoFastMutex::~CSLAutoFastMutex() {
  if (m_locked) SLSpinUnlock(m_lock);
}

namespace {
u32 InterimThreadId() {
  static std::atomic<u32> next{1};
  thread_local u32 id = next.fetch_add(1);
  return id;
}
}  // namespace

void CSLAutoFastRecursiveMutex::Lock(SLRecursiveFastLock* lock) {
  if (!lock || m_locked) return;
  u32 self = InterimThreadId();
  if (lock->owner.load(std::memory_order_acquire) != self) {
    u32 expected = 0;
    while (!lock->owner.compare_exchange_weak(expected, self, std::memory_order_acquire)) {
      expected = 0;
      std::this_thread::yield();
    }
  }
  lock->count.fetch_add(1, std::memory_order_relaxed);
  m_lock = lock;
  m_locked = true;
}

void CSLAutoFastRecursiveMutex::Unlock() {
  if (!m_locked) return;
  if (m_lock->count.fetch_sub(1, std::memory_order_relaxed) == 1) m_lock->owner.store(0, std::memory_order_release);
  m_locked = false;
}

CSLAutoFastRecursiveMutex::~CSLAutoFastRecursiveMutex() { Unlock(); }
