#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLProcessor.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLThread.h"
#include "foundation/SLThreadData.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/TestSupport.h"

namespace {

// ---- singletons -----------------------------------------------------------------------

std::atomic<int> g_factoryCalls{0};
bool g_initializeSucceeds = false;

class CFailingService : public CSLBaseOODClass {
 public:
  bool Initialize() override {
    if (g_initializeSucceeds) return true;
    SLSetLastError(SL_E_THREAD_START);
    return false;
  }
};
CFailingService* g_failing = nullptr;

CSLBaseOODClass* MakeFailing(void*) {
  ++g_factoryCalls;
  return new (std::nothrow) CFailingService();
}

// Prints its name when destroyed, so that a child process can show the order.
class CNamedService : public CSLBaseOODClass {
 public:
  explicit CNamedService(const char* name) : m_name(name) {}
  ~CNamedService() override { std::fprintf(stderr, "[%s]", m_name); }
  const char* m_name;
};

template <int Tag>
struct Named {
  static CNamedService* instance;
  static const char* name;
  static CSLBaseOODClass* Make(void*) { return new (std::nothrow) CNamedService(name); }
  static bool Get(i16 priority) {
    return SLGetOODInstance(reinterpret_cast<void**>(&instance), priority, &Make, nullptr, nullptr);
  }
};
template <int Tag>
CNamedService* Named<Tag>::instance = nullptr;
template <>
const char* Named<1>::name = "loaders192";
template <>
const char* Named<2>::name = "older48";
template <>
const char* Named<3>::name = "newer48";
template <>
const char* Named<4>::name = "tls8";

}  // namespace

TEST(Singletons, FailedInitializeRegistersNothingAndIsTriedAgain) {
  g_initializeSucceeds = false;
  int calls = g_factoryCalls;
  EXPECT_FALSE(SLGetOODInstance(reinterpret_cast<void**>(&g_failing), -48, &MakeFailing, nullptr, nullptr));
  EXPECT_EQ(SLGetLastError(), SL_E_THREAD_START);  // the code Initialize left
  EXPECT_EQ(g_failing, nullptr);
  EXPECT_FALSE(SLGetOODInstance(reinterpret_cast<void**>(&g_failing), -48, &MakeFailing, nullptr, nullptr));
  EXPECT_EQ(g_factoryCalls - calls, 2);
  g_initializeSucceeds = true;
  EXPECT_TRUE(SLGetOODInstance(reinterpret_cast<void**>(&g_failing), -48, &MakeFailing, nullptr, nullptr));
  EXPECT_NE(g_failing, nullptr);
  EXPECT_TRUE(SLGetOODInstance(reinterpret_cast<void**>(&g_failing), -48, &MakeFailing, nullptr, nullptr));
  EXPECT_EQ(g_factoryCalls - calls, 3);
  EXPECT_EQ(SLGetLastError(), 0u);
}

TEST(Singletons, EightThreadsAtOnceBuildOne) {
  static std::atomic<int> built{0};
  struct CCounted : CSLBaseOODClass {
    CCounted() { ++built; }
  };
  static CCounted* instance = nullptr;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  std::atomic<int> distinct{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      ++ready;
      while (ready < 8) std::this_thread::yield();
      CCounted* got = SLGetSingleton(instance, -48);
      if (got != std::atomic_ref<CCounted*>(instance).load()) ++distinct;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(built, 1);
  EXPECT_EQ(distinct, 0);
}

TEST(Singletons, DestroyedInPriorityOrderAfterStaticDestructors) {
  if (SLInChildProcess()) return;
  SLChildResult child = SLRunChildTest("SingletonsChild.ExitOrder");
  EXPECT_EQ(child.status, 0) << child.output;
  // Lowest priority first; among equals the newest first; the static object's
  // destructor runs before any of them and still finds its singleton.
  EXPECT_NE(child.output.find("[static:alive][loaders192][newer48][older48][tls8]"), std::string::npos)
      << child.output;
}

TEST(SingletonsChild, ExitOrder) {
  SL_CHILD_ONLY();
  ASSERT_TRUE(Named<4>::Get(-8));
  ASSERT_TRUE(Named<2>::Get(-48));
  ASSERT_TRUE(Named<1>::Get(-192));
  ASSERT_TRUE(Named<3>::Get(-48));
  // Built (and its destructor registered) long after the registry's shutdown was.
  struct StaticUser {
    ~StaticUser() {
      std::fprintf(stderr, "[static:%s]", Named<4>::instance ? "alive" : "gone");
      void* block = SLAlloc(10);  // the memory manager is still there too
      SLFree(block);
    }
  };
  static StaticUser user;
  std::fflush(stdout);
  std::exit(0);
}

// ---- thread data ----------------------------------------------------------------------------

namespace {
std::atomic<int> g_dataAlive{0};
class CTestThreadData : public CSLBaseThreadData {
 public:
  CTestThreadData() { ++g_dataAlive; }
  ~CTestThreadData() override { --g_dataAlive; }
  int value;
};
CSLBaseThreadData* MakeTestData() { return new CTestThreadData(); }
}  // namespace

TEST(ThreadData, OnePerThreadCreatedOnFirstUse) {
  SLThreadDataSlot slot;
  EXPECT_EQ(SLFindThreadData(&slot), nullptr);
  auto* mine = static_cast<CTestThreadData*>(SLGetThreadData(&slot, &MakeTestData));
  ASSERT_NE(mine, nullptr);
  EXPECT_NE(slot.index.load(), 0u);  // slot 0 is never handed out
  EXPECT_EQ(mine->value, 0);          // thread data comes zero-filled
  EXPECT_EQ(SLGetThreadData(&slot, &MakeTestData), mine);
  EXPECT_EQ(SLFindThreadData(&slot), mine);
  CSLBaseThreadData* theirs = nullptr;
  CSLBaseThreadData* theirsFound = mine;
  std::thread other([&] {
    theirsFound = SLFindThreadData(&slot);
    theirs = SLGetThreadData(&slot, &MakeTestData);
  });
  other.join();
  EXPECT_EQ(theirsFound, nullptr);  // finding never creates
  EXPECT_NE(theirs, nullptr);
  EXPECT_NE(theirs, mine);
}

TEST(ThreadData, FreeingASlotDestroysItsObjectInEveryThread) {
  int before = g_dataAlive;
  auto* slot = new SLThreadDataSlot;
  std::atomic<int> stage{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&] {
      SLGetThreadData(slot, &MakeTestData);
      ++stage;
      while (stage < 100) std::this_thread::yield();  // stay alive until the slot is gone
    });
  while (stage < 3) std::this_thread::yield();
  SLGetThreadData(slot, &MakeTestData);
  EXPECT_EQ(g_dataAlive - before, 4);
  delete slot;
  EXPECT_EQ(g_dataAlive - before, 0);
  stage = 100;
  for (auto& t : threads) t.join();
}

TEST(ThreadData, DataOfEndedThreadsIsFreedBySweep) {
  SLThreadDataSlot slot;
  int before = g_dataAlive;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) threads.emplace_back([&] { SLGetThreadData(&slot, &MakeTestData); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(g_dataAlive - before, 8);
  for (int i = 0; i < 150; ++i) SLFindThreadData(&slot);
  EXPECT_EQ(g_dataAlive - before, 0);
}

// ---- processor features ---------------------------------------------------------------------

TEST(ProcessorFeatures, ZeroUntilDetected) {
  if (SLInChildProcess()) return;
  // Nothing at start-up detects them, so a fresh process reads 0.
  SL_EXPECT_CHILD_PASSES("ProcessorFeaturesChild.Detect", "");
}

TEST(ProcessorFeaturesChild, Detect) {
  SL_CHILD_ONLY();
  EXPECT_EQ(SLGetProcessorFeatures(), 0u);
  EXPECT_EQ(SLHasSSE2(), 0u);
  SLMemoryBarrier();
  EXPECT_EQ(SLDetectProcessorFeatures(), 1u);
#if defined(__x86_64__)
  // Every 64-bit processor of this family has these.
  EXPECT_EQ(SLHasSSE2(), SL_CPU_SSE2);
  EXPECT_EQ(SLHasSSE(), SL_CPU_SSE);
  EXPECT_EQ(SLHasMMX(), SL_CPU_MMX);
  EXPECT_EQ(SLHasTSC(), SL_CPU_TSC);
  EXPECT_EQ(SLHasCMOV(), SL_CPU_CMOV);
#endif
  SLMemoryBarrier();
  SLLoadBarrier();
  SLStoreBarrier();
  SL_CHILD_DONE();
}
