// Locks, the event lock, the event wrapper and the timer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLSync.h"
#include "platform/kernel32/Sync.h"
#include "tests/support/TestSupport.h"

namespace {

// Runs `body` on `threads` threads at once and waits for them.
template <class Body>
void RunTogether(int threads, Body body) {
  std::atomic<bool> go{false};
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i)
    pool.emplace_back([&] {
      while (!go) std::this_thread::yield();
      body();
    });
  go = true;
  for (auto& thread : pool) thread.join();
}

}  // namespace

TEST(FastLocks, PlainLockExcludesOtherThreads) {
  for (u32 sleepFlag : {0u, 1u}) {
    SLFastLock lock;
    lock.sleepFlag = sleepFlag;
    long counter = 0;  // plain: only the lock orders the increments
    RunTogether(4, [&] {
      for (int i = 0; i < 2000; ++i) {
        CSLAutoFastMutex guard(&lock);
        ++counter;
      }
    });
    EXPECT_EQ(counter, 8000) << "sleep flag " << sleepFlag;
    EXPECT_EQ(lock.lockWord.load(), 0u);
  }
}

TEST(FastLocks, RecursiveLockTakenThreeTimesIsFreeAfterThreeReleases) {
  SLRecursiveFastLock lock;
  std::atomic<bool> otherGot{false};
  std::thread other;
  {
    CSLAutoFastRecursiveMutex first(&lock);
    {
      CSLAutoFastRecursiveMutex second(&lock);
      {
        CSLAutoFastRecursiveMutex third(&lock);
        EXPECT_EQ(lock.count.load(), 3);
        other = std::thread([&] {
          CSLAutoFastRecursiveMutex guard(&lock);
          otherGot = true;
        });
      }
      EXPECT_EQ(lock.owner.load(), SLGetCurrentThreadId());
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      EXPECT_FALSE(otherGot);
    }
    EXPECT_EQ(lock.count.load(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(otherGot);
  }
  other.join();
  EXPECT_TRUE(otherGot);
  EXPECT_EQ(lock.owner.load(), 0u);
  EXPECT_EQ(lock.count.load(), 0);
}

TEST(FastLocks, RecursiveGuardReleasesOnlyWhatItTook) {
  SLRecursiveFastLock lock;
  CSLAutoFastRecursiveMutex guard;
  guard.Unlock();  // holds nothing: no effect
  EXPECT_EQ(lock.count.load(), 0);
  guard.Lock(&lock);
  guard.Lock(&lock);  // a guard holds one level
  EXPECT_EQ(lock.count.load(), 1);
  guard.Unlock();
  guard.Unlock();
  EXPECT_EQ(lock.owner.load(), 0u);
  EXPECT_EQ(lock.count.load(), 0);

  long counter = 0;
  RunTogether(4, [&] {
    for (int i = 0; i < 1000; ++i) {
      CSLAutoFastRecursiveMutex outer(&lock);
      CSLAutoFastRecursiveMutex inner(&lock);
      ++counter;
    }
  });
  EXPECT_EQ(counter, 4000);
}

TEST(CriticalSection, IsRecursiveAndExclusive) {
  CSLCriticalSection section;
  ASSERT_TRUE(section.Enter());
  ASSERT_TRUE(section.Enter());
  section.Leave();
  section.Leave();
  long counter = 0;
  RunTogether(4, [&] {
    for (int i = 0; i < 5000; ++i) {
      SLCriticalSectionLock guard(&section);
      ASSERT_TRUE(guard.IsLocked());
      ++counter;
    }
  });
  EXPECT_EQ(counter, 20000);
  SLCriticalSectionLock none(nullptr);
  EXPECT_FALSE(none.IsLocked());
}

TEST(EventManagerLock, IsRecursiveExclusiveAndKeepsTheCallersCode) {
  SLSetLastError(0x80020005u);
  ASSERT_TRUE(SLEventManagerLock());
  EXPECT_EQ(SLGetLastError(), 0x80020005u);
  ASSERT_TRUE(SLEventManagerLock());  // a listener may send again on the same thread

  std::atomic<bool> otherGot{false};
  std::thread other([&] {
    SLEventManagerLock();
    otherGot = true;
    SLEventManagerUnlock();
  });
  SLEventManagerUnlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(otherGot);
  SLSetLastError(0x80020006u);
  SLEventManagerUnlock();
  EXPECT_EQ(SLGetLastError(), 0x80020006u);
  other.join();
  EXPECT_TRUE(otherGot);
}

TEST(SyncEvent, WithoutAHandleEveryOperationFails) {
  CSLSyncEvent event;
  SL_EXPECT_FAIL(event.Wait(0), SL_E_NOT_INITIALISED);
  SL_EXPECT_FAIL(event.Set(), SL_E_NOT_INITIALISED);
  SL_EXPECT_FAIL(event.Reset(), SL_E_NOT_INITIALISED);
}

TEST(SyncEvent, ManualResetWaitsAndTimesOutWithoutError) {
  CSLSyncEvent event;
  ASSERT_TRUE(event.Create(true, false));
  SLSetLastError(SL_E_SYSTEM);
  SL_EXPECT_FAIL(event.Wait(0), SL_OK);  // a time-out is not a failure
  EXPECT_TRUE(event.Set());
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Reset());
  EXPECT_FALSE(event.Wait(10));

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
  });
  EXPECT_TRUE(event.Wait(5000));
  setter.join();
}

TEST(SyncEvent, AutoResetAndInitialState) {
  CSLSyncEvent event;
  ASSERT_TRUE(event.Create(false, true));
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
}

TEST(SyncEvent, CreateAgainAndCloseGiveUpTheOldHandle) {
  CSLSyncEvent event;
  ASSERT_TRUE(event.Create(true, true));
  HANDLE first = event.GetHandle();
  ASSERT_TRUE(event.Create(true, false));
  EXPECT_NE(event.GetHandle(), first);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED);  // closed by the second Create
  HANDLE second = event.GetHandle();
  event.Close();
  EXPECT_EQ(event.GetHandle(), nullptr);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_FAILED);
  SL_EXPECT_FAIL(event.Wait(0), SL_E_NOT_INITIALISED);
}

TEST(SyncEvent, FailingSystemCallIsAWaitFailure) {
  CSLSyncEvent event;
  ASSERT_TRUE(event.Create(true, false));
  CloseHandle(event.GetHandle());  // the handle goes stale under the wrapper
  SL_EXPECT_FAIL(event.Set(), SL_E_WAIT_FAILED);
  SL_EXPECT_FAIL(event.Reset(), SL_E_WAIT_FAILED);
  SL_EXPECT_FAIL(event.Wait(0), SL_E_WAIT_FAILED);
}

TEST(Timer, MeasuresMillisecondsBetweenCalls) {
  CSLTimer timer;
  SLSleep(300);
  u32 first = timer.GetDeltaMs();
  EXPECT_GE(first, 300u);
  EXPECT_LT(first, 3000u);
  // Each delta runs from the previous call, not from the start.
  EXPECT_LT(timer.GetDeltaMs(), 150u);
  SLSleep(300);
  timer.Restart();
  EXPECT_LT(timer.GetDeltaMs(), 150u);
}
