// The kernel object table and the waitable objects of the kernel32 stand-in.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/kernel32/Core.h"
#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Sync.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The system error that `call` leaves (cleared before it runs).
template <class Call>
DWORD SystemErrorOf(Call call) {
  SLPlatformSetLastError(0);
  call();
  return SLPlatformGetLastError();
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

TEST(HandleTable, ObjectLivesUntilItsLastHandleAndHolderGo) {
  std::atomic<int> alive{0};
  HANDLE first = SLHandleCreate(std::make_shared<Witness>(&alive));
  HANDLE second = SLHandleDuplicate(first);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(SLHandleGet(first), SLHandleGet(second));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_EQ(alive, 1);
  std::shared_ptr<SLKernelObject> held = SLHandleGet(second);  // as a waiter holds it
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(alive, 1);
  held.reset();
  EXPECT_EQ(alive, 0);
}

TEST(HandleTable, StaleForgedAndWrongKindHandlesAreInvalid) {
  std::atomic<int> alive{0};
  HANDLE handle = SLHandleCreate(std::make_shared<Witness>(&alive));
  HANDLE other = SLHandleCreate(std::make_shared<Witness>(&alive));
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_FALSE(SetEvent(other)); }), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_FAILED); }), ERROR_INVALID_HANDLE);
  ASSERT_TRUE(CloseHandle(handle));
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_EQ(SLHandleGet(handle), nullptr); }), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_FALSE(CloseHandle(handle)); }), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_FALSE(CloseHandle(nullptr)); }), ERROR_INVALID_HANDLE);
  // A later object never takes over a closed handle's value.
  HANDLE next = SLHandleCreate(std::make_shared<Witness>(&alive));
  EXPECT_NE(next, handle);
  EXPECT_EQ(SLHandleGet(handle), nullptr);
  CloseHandle(next);
  CloseHandle(other);
}

TEST(Events, ManualAndAutoReset) {
  HANDLE manual = NewEvent(true, false);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(manual));
  auto start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(manual, 80), WAIT_TIMEOUT);
  EXPECT_GE(MsSince(start), 79);

  HANDLE automatic = NewEvent(false, true);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  SetEvent(automatic);
  SetEvent(automatic);  // no count: two sets before a wait release one waiter
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  CloseHandle(manual);
  CloseHandle(automatic);
}

TEST(Events, AutoResetWakesExactlyOneOfTwoWaiters) {
  HANDLE event = NewEvent(false, false);
  std::atomic<int> woken{0};
  auto waiter = [&] {
    if (WaitForSingleObject(event, 5000) == WAIT_OBJECT_0) ++woken;
  };
  std::thread a(waiter), b(waiter);
  SleepMs(50);
  SetEvent(event);
  for (auto start = Clock::now(); woken == 0 && MsSince(start) < 5000;) SleepMs(1);
  SleepMs(50);
  EXPECT_EQ(woken, 1);
  SetEvent(event);
  a.join();
  b.join();
  EXPECT_EQ(woken, 2);
  CloseHandle(event);
}

TEST(Events, SameNameOpensTheSameEventUntilItsLastHandleCloses) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "sl-handles-test");
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateEventW(nullptr, TRUE, FALSE, u"sl-handles-test");
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ALREADY_EXISTS);
  SetEvent(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  CloseHandle(first);
  CloseHandle(second);
  HANDLE third = CreateEventA(nullptr, TRUE, FALSE, "sl-handles-test");
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(third, 0), WAIT_TIMEOUT);
  CloseHandle(third);
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
    SleepMs(30);
    SetEvent(events[40]);
  });
  EXPECT_EQ(WaitForMultipleObjects(64, events.data(), FALSE, 5000), WAIT_OBJECT_0 + 40);
  setter.join();
  for (HANDLE event : events) CloseHandle(event);
}

TEST(Waits, RefusesBadArguments) {
  std::vector<HANDLE> events;
  for (int i = 0; i < 65; ++i) events.push_back(NewEvent(true, true));
  auto waitAny = [&](DWORD count, const HANDLE* handles) {
    EXPECT_EQ(WaitForMultipleObjects(count, handles, FALSE, 0), WAIT_FAILED);
  };
  EXPECT_EQ(SystemErrorOf([&] { waitAny(65, events.data()); }), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SystemErrorOf([&] { waitAny(0, events.data()); }), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SystemErrorOf([&] { waitAny(2, nullptr); }), ERROR_INVALID_PARAMETER);
  HANDLE twice[2] = {events[0], events[0]};
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED); }),
            ERROR_INVALID_PARAMETER);
  HANDLE withStale[2] = {events[1], events[64]};
  CloseHandle(events[64]);
  EXPECT_EQ(SystemErrorOf([&] { waitAny(2, withStale); }), ERROR_INVALID_HANDLE);
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
  SetEvent(manual);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  CloseHandle(manual);
  CloseHandle(automatic);
}

TEST(Waits, MessageWaitUsesTheQueueProbeWhenOneIsInstalled) {
  HANDLE event = NewEvent(true, false);
  EXPECT_EQ(SLWaitForObjectsOrMessages(1, &event, FALSE, 0, 0xFF), WAIT_TIMEOUT);
  static std::atomic<bool> input;
  input = false;
  SLSetMessageWaitProbe([](DWORD) { return input.load(); });
  EXPECT_EQ(SLWaitForObjectsOrMessages(1, &event, FALSE, 0, 0xFF), WAIT_TIMEOUT);
  std::thread poster([] {
    SleepMs(20);
    input = true;
    SLWaitNotifyAll();
  });
  EXPECT_EQ(SLWaitForObjectsOrMessages(1, &event, FALSE, 5000, 0xFF), WAIT_OBJECT_0 + 1);
  poster.join();
  SetEvent(event);
  EXPECT_EQ(SLWaitForObjectsOrMessages(1, &event, FALSE, 0, 0xFF), WAIT_OBJECT_0);
  SLSetMessageWaitProbe(nullptr);
  CloseHandle(event);
}

TEST(Threads, HandleSignalsAtEndWithTheExitCode) {
  HANDLE release = NewEvent(true, false);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &WaitForEventThenReturn7, release, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, SLPlatformThreadId());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  // Never killed: the refusal leaves the thread running.
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_FALSE(TerminateThread(thread, 0)); }), SL_ERROR_NOT_SUPPORTED);
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(thread);
  CloseHandle(release);
}

TEST(Threads, CrtStartReportsTheIdTheThreadSees) {
  static std::atomic<DWORD> inside;
  unsigned id = 0;
  auto start = [](void* parameter) -> unsigned {
    inside = SLPlatformThreadId();
    return unsigned(reinterpret_cast<std::uintptr_t>(parameter));
  };
  auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 64 * 1024, start, reinterpret_cast<void*>(42), 0, &id));
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(inside, id);
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
  SleepMs(50);
  EXPECT_FALSE(ran);
  EXPECT_EQ(SuspendThread(thread), 1u);  // counts
  EXPECT_EQ(ResumeThread(thread), 2u);
  EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(ResumeThread(thread), 0u);
  // A finished thread cannot be suspended.
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_EQ(SuspendThread(thread), DWORD(-1)); }), ERROR_ACCESS_DENIED);
  CloseHandle(thread);
}

TEST(Threads, SuspensionStopsTheThreadAtItsNextSleep) {
  static std::atomic<int> laps;
  static std::atomic<bool> quit;
  laps = 0;
  quit = false;
  HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
    for (; !quit; ++laps) Sleep(1);
    return 0;
  }, nullptr, 0, nullptr);
  while (laps < 3) std::this_thread::yield();
  EXPECT_EQ(SuspendThread(thread), 0u);
  SleepMs(20);
  int held = laps;
  SleepMs(50);
  EXPECT_LE(laps - held, 1);
  quit = true;
  ResumeThread(thread);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  CloseHandle(thread);
}

TEST(Threads, PriorityAcceptsTheSevenLevels) {
  for (int priority : {15, 2, 1, 0, -1, -2, -15}) EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), priority));
  for (int priority : {3, -3, 16})
    EXPECT_EQ(SystemErrorOf([&] { EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), priority)); }),
              ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SystemErrorOf([&] { EXPECT_FALSE(SetThreadPriority(nullptr, 0)); }), ERROR_INVALID_HANDLE);
}

TEST(CurrentThread, DuplicatedPseudoHandleNamesTheCallingThread) {
  HANDLE pseudo = GetCurrentThread();
  EXPECT_TRUE(CloseHandle(pseudo));  // closing the pseudo handle does nothing
  HANDLE real = nullptr;
  // Taken on another thread, the duplicate keeps naming that thread after it is handed over.
  std::thread other([&] {
    EXPECT_TRUE(DuplicateHandle(SL_CURRENT_PROCESS_HANDLE, GetCurrentThread(), SL_CURRENT_PROCESS_HANDLE, &real, 0,
                                FALSE, SL_DUPLICATE_SAME_ACCESS));
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

  HANDLE mine = nullptr;  // the calling thread runs, so its duplicate is not signalled
  ASSERT_TRUE(DuplicateHandle(SL_CURRENT_PROCESS_HANDLE, pseudo, SL_CURRENT_PROCESS_HANDLE, &mine, 0, FALSE,
                              SL_DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(WaitForSingleObject(mine, 0), WAIT_TIMEOUT);
  CloseHandle(mine);
}

TEST(CurrentThread, DuplicateChecksItsArgumentsAndMayCloseTheSource) {
  HANDLE event = NewEvent(true, false);
  HANDLE target = reinterpret_cast<HANDLE>(1);
  EXPECT_EQ(SystemErrorOf([&] {
              EXPECT_FALSE(DuplicateHandle(SL_CURRENT_PROCESS_HANDLE, event, SL_CURRENT_PROCESS_HANDLE, nullptr, 0,
                                           FALSE, SL_DUPLICATE_SAME_ACCESS));
            }),
            ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(DuplicateHandle(event, event, SL_CURRENT_PROCESS_HANDLE, &target, 0, FALSE, 0));
  EXPECT_EQ(target, nullptr);
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
  bool otherGot = true;
  std::thread([&] { otherGot = TryEnterCriticalSection(&section) != 0; }).join();
  EXPECT_FALSE(otherGot);
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  std::thread([&] {
    otherGot = TryEnterCriticalSection(&section) != 0;
    if (otherGot) LeaveCriticalSection(&section);
  }).join();
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
  EXPECT_GE(after.QuadPart - before.QuadPart, 30000000LL);
  EXPECT_LT(after.QuadPart - before.QuadPart, 1000000000LL);
  EXPECT_GE(tickAfter - tickBefore, 29u);
  EXPECT_LT(tickAfter - tickBefore, 1000u);
}
