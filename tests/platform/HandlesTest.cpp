// The kernel object table and the waitable objects of the kernel32 stand-in.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Sync.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Witness : SLKernelObject {
  explicit Witness(std::atomic<int>* alive) : SLKernelObject(Kind::Other), m_alive(alive) { ++*m_alive; }
  ~Witness() override { --*m_alive; }
  std::atomic<int>* m_alive;
};

HANDLE NewEvent(bool manual, bool initial) { return CreateEventW(nullptr, manual, initial, nullptr); }

DWORD WaitForEventThenReturn7(LPVOID parameter) {
  WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
  return 7;
}

}  // namespace

TEST(HandleTable, ObjectLivesUntilItsLastHandleCloses) {
  std::atomic<int> alive{0};
  HANDLE first = SLHandleCreate(std::make_shared<Witness>(&alive));
  ASSERT_NE(first, nullptr);
  HANDLE second = SLHandleDuplicate(first);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(SLHandleGet(first), SLHandleGet(second));

  EXPECT_TRUE(SLHandleClose(first));
  EXPECT_EQ(alive, 1);
  EXPECT_NE(SLHandleGet(second), nullptr);
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(alive, 0);
}

TEST(HandleTable, StaleAndForgedHandlesAreInvalid) {
  std::atomic<int> alive{0};
  HANDLE handle = SLHandleCreate(std::make_shared<Witness>(&alive));
  ASSERT_TRUE(CloseHandle(handle));

  SLPlatformSetLastError(0);
  EXPECT_EQ(SLHandleGet(handle), nullptr);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
  SLPlatformSetLastError(0);
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
  SLPlatformSetLastError(0);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
  // A later object never takes over a closed handle's value.
  HANDLE next = SLHandleCreate(std::make_shared<Witness>(&alive));
  EXPECT_NE(next, handle);
  EXPECT_EQ(SLHandleGet(handle), nullptr);
  CloseHandle(next);
}

TEST(HandleTable, AHolderKeepsTheObjectAfterTheHandleCloses) {
  std::atomic<int> alive{0};
  HANDLE handle = SLHandleCreate(std::make_shared<Witness>(&alive));
  std::shared_ptr<SLKernelObject> held = SLHandleGet(handle);
  CloseHandle(handle);
  EXPECT_EQ(alive, 1);
  held.reset();
  EXPECT_EQ(alive, 0);
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
  HANDLE event = NewEvent(true, false);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST(Events, AutoResetSatisfiesOneWait) {
  HANDLE event = NewEvent(false, true);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  SetEvent(event);  // no count: two sets before a wait release one waiter
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST(Events, AutoResetWakesExactlyOneOfTwoWaiters) {
  HANDLE event = NewEvent(false, false);
  std::atomic<int> woken{0};
  auto waiter = [&] {
    if (WaitForSingleObject(event, 5000) == WAIT_OBJECT_0) ++woken;
  };
  std::thread a(waiter), b(waiter);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  SetEvent(event);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(woken, 1);
  SetEvent(event);
  a.join();
  b.join();
  EXPECT_EQ(woken, 2);
  CloseHandle(event);
}

TEST(Events, TimedWaitLastsItsTime) {
  HANDLE event = NewEvent(true, false);
  auto start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 80), WAIT_TIMEOUT);
  long long elapsed = MsSince(start);
  EXPECT_GE(elapsed, 79);
  EXPECT_LT(elapsed, 1000);
  CloseHandle(event);
}

TEST(Events, SameNameOpensTheSameEvent) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "sl-handles-test");
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateEventW(nullptr, TRUE, FALSE, u"sl-handles-test");
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_NE(second, nullptr);
  SetEvent(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  CloseHandle(first);
  CloseHandle(second);
  // Once every handle is gone the name is free again.
  HANDLE third = CreateEventA(nullptr, TRUE, FALSE, "sl-handles-test");
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(third, 0), WAIT_TIMEOUT);
  CloseHandle(third);
}

TEST(Events, WrongKindOfHandleFails) {
  std::atomic<int> alive{0};
  HANDLE other = SLHandleCreate(std::make_shared<Witness>(&alive));
  SLPlatformSetLastError(0);
  EXPECT_FALSE(SetEvent(other));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
  SLPlatformSetLastError(0);
  EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_FAILED);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(other);
}

TEST(Waits, AnyOfManySaysWhichFired) {
  std::vector<HANDLE> events;
  for (int i = 0; i < 64; ++i) events.push_back(NewEvent(true, false));
  EXPECT_EQ(WaitForMultipleObjects(64, events.data(), FALSE, 0), WAIT_TIMEOUT);
  SetEvent(events[63]);
  EXPECT_EQ(WaitForMultipleObjects(64, events.data(), FALSE, 0), WAIT_OBJECT_0 + 63);
  SetEvent(events[17]);  // the lowest signalled index wins
  EXPECT_EQ(WaitForMultipleObjects(64, events.data(), FALSE, 0), WAIT_OBJECT_0 + 17);

  // A set from another thread wakes a blocked wait and names its object.
  ResetEvent(events[17]);
  ResetEvent(events[63]);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetEvent(events[40]);
  });
  EXPECT_EQ(WaitForMultipleObjects(64, events.data(), FALSE, 5000), WAIT_OBJECT_0 + 40);
  setter.join();
  for (HANDLE event : events) CloseHandle(event);
}

TEST(Waits, RefusesBadArguments) {
  std::vector<HANDLE> events;
  for (int i = 0; i < 65; ++i) events.push_back(NewEvent(true, true));
  SLPlatformSetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(65, events.data(), FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  SLPlatformSetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(0, events.data(), FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  SLPlatformSetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(2, nullptr, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);

  HANDLE twice[2] = {events[0], events[0]};
  SLPlatformSetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);

  HANDLE withStale[2] = {events[1], events[64]};
  CloseHandle(events[64]);
  SLPlatformSetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(2, withStale, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
  for (int i = 0; i < 64; ++i) CloseHandle(events[i]);
}

TEST(Waits, AllWaitsForEveryObjectAndConsumesAutoResets) {
  HANDLE manual = NewEvent(true, true);
  HANDLE automatic = NewEvent(false, false);
  HANDLE both[2] = {manual, automatic};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 20), WAIT_TIMEOUT);
  // A partly satisfied wait-all takes nothing: the auto-reset event stays set.
  SetEvent(automatic);
  ResetEvent(manual);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  SetEvent(automatic);
  SetEvent(manual);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  CloseHandle(manual);
  CloseHandle(automatic);
}

TEST(Waits, MessageWaitUsesTheQueueProbeWhenOneIsInstalled) {
  HANDLE event = NewEvent(true, false);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, 0xFF), WAIT_TIMEOUT);
  static std::atomic<bool> input;
  input = false;
  SLSetMessageWaitProbe([](DWORD) { return input.load(); });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, 0xFF), WAIT_TIMEOUT);
  std::thread poster([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    input = true;
    SLWaitNotifyAll();
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 5000, 0xFF), WAIT_OBJECT_0 + 1);
  poster.join();
  SetEvent(event);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, 0xFF), WAIT_OBJECT_0);
  SLSetMessageWaitProbe(nullptr);
  CloseHandle(event);
}

TEST(Threads, HandleSignalsAtEndWithTheExitCode) {
  HANDLE release = NewEvent(true, false);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &WaitForEventThenReturn7, release, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(thread);
  CloseHandle(release);
}

TEST(Threads, CrtStartGivesTheSameThreadKind) {
  unsigned id = 0;
  auto start = [](void* parameter) -> unsigned { return unsigned(reinterpret_cast<std::uintptr_t>(parameter)); };
  std::uintptr_t raw = _beginthreadex(nullptr, 0, start, reinterpret_cast<void*>(std::uintptr_t(42)), 0, &id);
  ASSERT_NE(raw, 0u);
  HANDLE thread = reinterpret_cast<HANDLE>(raw);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 42u);
  CloseHandle(thread);
}

TEST(Threads, IdIsTheOneTheThreadSeesItself) {
  static std::atomic<DWORD> inside{0};
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 64 * 1024, [](LPVOID) -> DWORD {
    inside = SLPlatformThreadId();
    return 0;
  }, nullptr, 0, &id);
  WaitForSingleObject(thread, INFINITE);
  EXPECT_EQ(inside, id);
  EXPECT_NE(id, SLPlatformThreadId());
  CloseHandle(thread);
}

TEST(Threads, SuspendedCreationWaitsForResume) {
  static std::atomic<bool> ran;
  ran = false;
  HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
    ran = true;
    return 0;
  }, nullptr, SL_CREATE_SUSPENDED, nullptr);
  ASSERT_NE(thread, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(ran);
  EXPECT_EQ(SuspendThread(thread), 1u);  // counts
  EXPECT_EQ(ResumeThread(thread), 2u);
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(ResumeThread(thread), 0u);
  SLPlatformSetLastError(0);
  EXPECT_EQ(SuspendThread(thread), DWORD(-1));  // a finished thread cannot be suspended
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(thread);
}

TEST(Threads, SuspensionStopsTheThreadAtItsNextSleep) {
  static std::atomic<int> laps;
  static std::atomic<bool> quit;
  laps = 0;
  quit = false;
  HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
    while (!quit) {
      ++laps;
      Sleep(1);
    }
    return 0;
  }, nullptr, 0, nullptr);
  while (laps < 3) std::this_thread::yield();
  EXPECT_EQ(SuspendThread(thread), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  int held = laps;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_LE(laps - held, 1);
  quit = true;
  ResumeThread(thread);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  CloseHandle(thread);
}

TEST(Threads, TerminateIsRefusedAndTheThreadLivesOn) {
  HANDLE release = NewEvent(true, false);
  HANDLE thread = CreateThread(nullptr, 0, &WaitForEventThenReturn7, release, 0, nullptr);
  SLPlatformSetLastError(0);
  EXPECT_FALSE(TerminateThread(thread, 0));
  EXPECT_EQ(SLPlatformGetLastError(), SL_ERROR_NOT_SUPPORTED);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, STILL_ACTIVE);
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 7u);
  CloseHandle(thread);
  CloseHandle(release);
}

TEST(Threads, PriorityAcceptsTheSevenLevels) {
  HANDLE self = GetCurrentThread();
  for (int priority : {15, 2, 1, 0, -1, -2, -15}) EXPECT_TRUE(SetThreadPriority(self, priority)) << priority;
  for (int priority : {3, -3, 16, 100}) {
    SLPlatformSetLastError(0);
    EXPECT_FALSE(SetThreadPriority(self, priority)) << priority;
    EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  }
  SLPlatformSetLastError(0);
  EXPECT_FALSE(SetThreadPriority(nullptr, 0));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_HANDLE);
}

TEST(CurrentThread, DuplicatedPseudoHandleNamesTheCallingThread) {
  HANDLE pseudo = GetCurrentThread();
  EXPECT_TRUE(CloseHandle(pseudo));  // closing the pseudo handle does nothing
  HANDLE real = nullptr;
  // Taken on another thread, the duplicate keeps naming that thread after it is handed over.
  std::thread other([&] {
    EXPECT_TRUE(DuplicateHandle(SL_CURRENT_PROCESS_HANDLE, GetCurrentThread(), SL_CURRENT_PROCESS_HANDLE,
                                &real, 0, FALSE, SL_DUPLICATE_SAME_ACCESS));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(real, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
  });
  other.join();
  ASSERT_NE(real, nullptr);
  EXPECT_NE(real, pseudo);
  EXPECT_EQ(WaitForSingleObject(real, 5000), WAIT_OBJECT_0);
  DWORD code = 1;
  EXPECT_TRUE(GetExitCodeThread(real, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(CloseHandle(real));

  // The calling thread's own duplicate: running, so not signalled.
  HANDLE mine = nullptr;
  ASSERT_TRUE(DuplicateHandle(SL_CURRENT_PROCESS_HANDLE, pseudo, SL_CURRENT_PROCESS_HANDLE, &mine, 0, FALSE,
                              SL_DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(WaitForSingleObject(mine, 0), WAIT_TIMEOUT);
  CloseHandle(mine);
}

TEST(CurrentThread, DuplicateChecksItsArguments) {
  HANDLE event = NewEvent(true, false);
  HANDLE target = reinterpret_cast<HANDLE>(1);
  SLPlatformSetLastError(0);
  EXPECT_FALSE(DuplicateHandle(SL_CURRENT_PROCESS_HANDLE, event, SL_CURRENT_PROCESS_HANDLE, nullptr, 0, FALSE,
                               SL_DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(DuplicateHandle(event, event, SL_CURRENT_PROCESS_HANDLE, &target, 0, FALSE, 0));
  EXPECT_EQ(target, nullptr);
  // Closing the source in the same call moves the object to the new handle.
  HANDLE moved = nullptr;
  ASSERT_TRUE(DuplicateHandle(SL_CURRENT_PROCESS_HANDLE, event, SL_CURRENT_PROCESS_HANDLE, &moved, 0, FALSE,
                              SL_DUPLICATE_CLOSE_SOURCE));
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_TRUE(SetEvent(moved));
  EXPECT_TRUE(CloseHandle(moved));
}

TEST(CriticalSections, AreRecursiveAndExclusive) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  std::atomic<bool> otherGot{true};
  std::thread other([&] { otherGot = TryEnterCriticalSection(&section) != 0; });
  other.join();
  EXPECT_FALSE(otherGot);
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  std::thread again([&] {
    otherGot = TryEnterCriticalSection(&section) != 0;
    if (otherGot) LeaveCriticalSection(&section);
  });
  again.join();
  EXPECT_TRUE(otherGot);
  DeleteCriticalSection(&section);
  EXPECT_THROW(EnterCriticalSection(&section), std::exception);
}

TEST(Clocks, PerformanceCounterIsNanosecondsOfTheMonotonicClock) {
  LARGE_INTEGER frequency, before, after;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency.QuadPart, 1000000000LL);
  DWORD tickBefore = GetTickCount();
  ASSERT_TRUE(QueryPerformanceCounter(&before));
  Sleep(30);
  ASSERT_TRUE(QueryPerformanceCounter(&after));
  DWORD tickAfter = GetTickCount();
  LONGLONG elapsed = after.QuadPart - before.QuadPart;
  EXPECT_GE(elapsed, 30000000LL);
  EXPECT_LT(elapsed, 1000000000LL);
  EXPECT_GE(tickAfter - tickBefore, 29u);
  EXPECT_LT(tickAfter - tickBefore, 1000u);
  EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}
