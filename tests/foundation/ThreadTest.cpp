// CSLThread and CSLWorkerThread: the start handshake, the cooperative stop that never
// kills, waits inside Run, priorities, and stopping before the subclass's members go.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLThread.h"
#include "platform/kernel32/Sync.h"
#include "tests/support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool WaitFor(const std::atomic<bool>& flag, int ms = 5000) {
  auto start = Clock::now();
  while (!flag && MsSince(start) < ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return flag;
}

// Runs until asked to stop, the way a cooperative thread does.
class CooperativeThread : public CSLThread {
 public:
  ~CooperativeThread() override { Stop(INFINITE); }
  void Run() override {
    ++runs;
    sawOwnId = GetThreadId() == SLGetCurrentThreadId();
    sawHandle = m_thread != nullptr;
    started = true;
    i32 which = -2;
    while (!WaitForEvents(1000, 0, nullptr, &which)) {
    }
    lastWhich = which;
  }
  HANDLE Handle() const { return m_thread; }
  i32 Priority() const { return m_priority; }

  std::atomic<int> runs{0};
  std::atomic<bool> started{false};
  std::atomic<bool> sawOwnId{false};
  std::atomic<bool> sawHandle{false};
  std::atomic<i32> lastWhich{-2};
};

// Ignores the stop event until the test lets it go.
class StubbornThread : public CSLThread {
 public:
  ~StubbornThread() override {
    SLErrorKeeper keeper;
    Stop(INFINITE);
  }
  void Run() override {
    started = true;
    while (!release) {
      ++laps;
      SLSleep(1);
    }
  }
  std::atomic<bool> started{false};
  std::atomic<bool> release{false};
  std::atomic<long> laps{0};
};

}  // namespace

// Without a thread, Run should end; priorities are checked and kept for a start; a
// suspended start waits for its resume; Run begins with its handle and id in place.
TEST(ThreadStart, HandshakeGivesRunAStartedObject) {
  CooperativeThread thread;
  EXPECT_FALSE(thread.IsRunning());
  i32 which = 7;
  EXPECT_TRUE(thread.WaitForEvents(0, 0, nullptr, &which));
  EXPECT_EQ(which, 0);
  SL_EXPECT_FAIL(thread.SetPriority(3), SL_E_INVALID_ARG);
  EXPECT_EQ(thread.Priority(), 0);
  ASSERT_TRUE(thread.SetPriority(-15));
  EXPECT_EQ(thread.Priority(), -15);
  SLSetLastError(SL_E_SYSTEM);
  ASSERT_TRUE(thread.Start(true));
  EXPECT_EQ(SLGetLastError(), SL_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(thread.started);
  EXPECT_EQ(ResumeThread(thread.Handle()), 1u);
  ASSERT_TRUE(WaitFor(thread.started));
  // Handle and id were in place before Run began.
  EXPECT_TRUE(thread.sawOwnId);
  EXPECT_TRUE(thread.sawHandle);
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_NE(thread.GetThreadId(), 0u);
  for (i32 priority : {15, 2, 1, 0, -1, -2, -15}) EXPECT_TRUE(thread.SetPriority(priority)) << priority;

  SLSetLastError(SL_E_SYSTEM);
  ASSERT_TRUE(thread.Stop(5000));
  EXPECT_EQ(SLGetLastError(), SL_OK);
  EXPECT_EQ(thread.lastWhich, 0);  // WaitForEvents told Run to end
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.Handle(), nullptr);
  EXPECT_EQ(thread.GetThreadId(), 0u);
  EXPECT_EQ(thread.GetStopEvent(), nullptr);
}

TEST(ThreadStart, StartWhileRunningSaysSoAndStartAfterTheEndStartsAgain) {
  CooperativeThread thread;
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(WaitFor(thread.started));
  HANDLE first = thread.Handle();
  EXPECT_TRUE(thread.Start());
  EXPECT_EQ(SLGetLastError(), SL_E_THREAD_RUNNING);
  EXPECT_EQ(thread.Handle(), first);
  EXPECT_EQ(thread.runs, 1);

  // Let Run end by itself (the stop event set by hand), then start again.
  SetEvent(thread.GetStopEvent());
  auto start = Clock::now();
  while (thread.IsRunning() && MsSince(start) < 5000) SLSleep(1);
  ASSERT_FALSE(thread.IsRunning());
  thread.started = false;
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(SLGetLastError(), SL_OK);
  ASSERT_TRUE(WaitFor(thread.started));
  EXPECT_EQ(thread.runs, 2);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED);  // the old handle was closed
  EXPECT_TRUE(thread.Stop(5000));
}

namespace {

class SelfStoppingThread : public CSLThread {
 public:
  ~SelfStoppingThread() override { Stop(INFINITE); }
  void Run() override {
    stopResult = Stop(INFINITE);  // must not wait for itself
    stopCode = SLGetLastError();
    i32 which = -2;
    endRequested = WaitForEvents(0, 0, nullptr, &which) && which == 0;
    selfStopped = true;
    SLSleep(50);  // still inside Run when the owner comes to stop it
    runDone = true;
  }
  HANDLE Handle() const { return m_thread; }
  std::atomic<bool> stopResult{false};
  std::atomic<u32> stopCode{1};
  std::atomic<bool> endRequested{false};
  std::atomic<bool> selfStopped{false};
  std::atomic<bool> runDone{false};
};

}  // namespace

TEST(ThreadStop, StopFromInsideRunReturnsAtOnceAndTheOwnerStillWaitsForTheEnd) {
  SelfStoppingThread thread;
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(WaitFor(thread.selfStopped));
  EXPECT_TRUE(thread.stopResult);
  EXPECT_EQ(thread.stopCode, SL_OK);
  EXPECT_TRUE(thread.endRequested);
  EXPECT_EQ(thread.Handle(), nullptr);
  // A Start now would run a second Run on the same object: refused while the first runs.
  EXPECT_TRUE(thread.Start());
  EXPECT_EQ(SLGetLastError(), SL_E_THREAD_RUNNING);
  // The handle is gone, yet the owner's Stop returns only when Run has ended.
  EXPECT_TRUE(thread.Stop(5000));
  EXPECT_TRUE(thread.runDone);
}

// A thread that ignores the stop request is never killed: Stop times out and the thread
// runs on, still owned; the destructor's unlimited Stop joins it once it ends, keeping the
// caller's code.
TEST(ThreadStop, UncooperativeThreadIsNeverKilled) {
  std::thread releaser;
  Clock::time_point released;
  {
    StubbornThread thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitFor(thread.started));
    auto start = Clock::now();
    EXPECT_FALSE(thread.Stop(100));
    long long elapsed = MsSince(start);
    EXPECT_EQ(SLGetLastError(), SL_E_THREAD_STOP_TIMEOUT);
    EXPECT_GE(elapsed, 99);
    EXPECT_LT(elapsed, 2000);
    EXPECT_TRUE(thread.IsRunning());
    const long laps = thread.laps;
    for (auto wait = Clock::now(); thread.laps == laps && MsSince(wait) < 5000;) SLSleep(1);
    EXPECT_GT(thread.laps, laps);
    EXPECT_TRUE(thread.Start());
    EXPECT_EQ(SLGetLastError(), SL_E_THREAD_RUNNING);
    released = Clock::now();
    releaser = std::thread([&thread] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      thread.release = true;
    });
    SLSetLastError(0x80020005u);
  }
  EXPECT_GE(MsSince(released), 40);
  EXPECT_EQ(SLGetLastError(), 0x80020005u);
  releaser.join();
}

namespace {

std::atomic<bool> g_memberGone{false};
std::atomic<bool> g_runSawMemberGone{false};

struct Member {
  ~Member() { g_memberGone = true; }
  std::vector<int> values{1, 2, 3};
};

// Run keeps using a member after the stop request, as a player finishing its buffer does.
class MemberUsingThread : public CSLThread {
 public:
  ~MemberUsingThread() override { Stop(INFINITE); }
  void Run() override {
    started = true;
    WaitForSingleObject(GetStopEvent(), INFINITE);
    SLSleep(30);
    if (g_memberGone) g_runSawMemberGone = true;
    sum = m_member.values[0] + m_member.values[2];
  }
  std::atomic<bool> started{false};
  int sum = 0;

 private:
  Member m_member;
};

}  // namespace

TEST(ThreadStop, SubclassStopsItsThreadBeforeItsMembersGo) {
  g_memberGone = false;
  g_runSawMemberGone = false;
  auto* thread = new MemberUsingThread;
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(WaitFor(thread->started));
  delete thread;
  EXPECT_TRUE(g_memberGone);
  EXPECT_FALSE(g_runSawMemberGone);
}

namespace {

std::atomic<const SLClassRecord*> g_recordSeenAtEnd{nullptr};

u32 RecordingCallback(CSLWorkerThread* thread, std::uintptr_t parameter) {
  auto* started = reinterpret_cast<std::atomic<bool>*>(parameter);
  *started = true;
  WaitForSingleObject(thread->GetStopEvent(), INFINITE);
  SLSleep(20);
  // Still a whole worker thread object while the callback runs.
  g_recordSeenAtEnd = thread->GetRuntimeClass();
  return 0;
}

}  // namespace

TEST(WorkerThread, RunsItsCallbackAndStopsBeforeItStopsBeingAWorker) {
  std::atomic<bool> started{false};
  g_recordSeenAtEnd = nullptr;
  auto* worker = new CSLWorkerThread(&RecordingCallback, reinterpret_cast<std::uintptr_t>(&started));
  ASSERT_TRUE(worker->Start());
  ASSERT_TRUE(WaitFor(started));
  delete worker;
  EXPECT_EQ(g_recordSeenAtEnd.load(), CSLWorkerThread::GetClassRecord());
}

namespace {

// Records what WaitForEvents answers inside Run for a set of cases.
class WaitingThread : public CSLThread {
 public:
  ~WaitingThread() override { Stop(INFINITE); }
  void Run() override {
    i32 which = 5;
    // 49 caller handles are too many; a count without an array is refused.
    tooMany = !WaitForEvents(0, 49, events.data(), &which) && SLGetLastError() == SL_E_INVALID_ARG;
    noArray = !WaitForEvents(0, 1, nullptr, &which) && SLGetLastError() == SL_E_INVALID_ARG;
    // 48 work; nothing signalled yet: a time-out with which = 0.
    timeoutResult = WaitForEvents(10, 48, events.data(), &which);
    timeoutWhich = which;
    ready = true;
    // The owner signals the second handle.
    callerResult = WaitForEvents(5000, 48, events.data(), &which);
    callerWhich = which;
    callerDone = true;
    // Then the owner asks the thread to end.
    stopResult = WaitForEvents(5000, 48, events.data(), &which);
    stopWhich = which;
  }
  std::vector<HANDLE> events;
  std::atomic<bool> ready{false};
  std::atomic<bool> callerDone{false};
  bool tooMany = false, noArray = false;
  bool timeoutResult = true, callerResult = true, stopResult = false;
  i32 timeoutWhich = -2, callerWhich = -2, stopWhich = -2;
};

}  // namespace

TEST(ThreadWait, SaysWhichCallerHandleFiredAndRefusesTooMany) {
  WaitingThread thread;
  // Auto-reset: the wait that reports a handle also takes its signal.
  for (int i = 0; i < 49; ++i) thread.events.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(WaitFor(thread.ready));
  SetEvent(thread.events[1]);
  ASSERT_TRUE(WaitFor(thread.callerDone));
  ASSERT_TRUE(thread.Stop(5000));
  EXPECT_TRUE(thread.tooMany);
  EXPECT_TRUE(thread.noArray);
  EXPECT_FALSE(thread.timeoutResult);
  EXPECT_EQ(thread.timeoutWhich, 0);
  EXPECT_FALSE(thread.callerResult);
  EXPECT_EQ(thread.callerWhich, 2);
  EXPECT_TRUE(thread.stopResult);
  EXPECT_EQ(thread.stopWhich, 0);
  for (HANDLE event : thread.events) CloseHandle(event);
}
