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
