// Phase hooks: order by priority then registration, the two phases, removal during a
// dispatch and the argument checks (nested dispatches: the fuzz target's model).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "gamesystem/SLPhaseHooks.h"

namespace {

std::string g_calls;

struct Hook {
  char name;
  u32 id = 0;
  void (*during)(Hook* self) = nullptr;  // runs inside the hook's call
  Hook* other = nullptr;
};

void RunHook(std::uintptr_t argument) {
  auto* hook = reinterpret_cast<Hook*>(argument);
  g_calls += hook->name;
  if (hook->during) hook->during(hook);
}

class PhaseHooks : public ::testing::Test {
 protected:
  void TearDown() override {
    for (Hook* hook : added) SL_GS_RemovePhaseHook(hook->id);
  }
  void Add(Hook* hook, u32 priority, u32 phase = SL_GS_PHASE_LOGIC) {
    ASSERT_TRUE(SL_GS_AddPhaseHook(&hook->id, phase, priority, &RunHook, reinterpret_cast<std::uintptr_t>(hook)));
    added.push_back(hook);
  }
  std::string Run(u32 phase = SL_GS_PHASE_LOGIC) {
    g_calls.clear();
    EXPECT_TRUE(SL_GS_RunPhaseHooks(phase));
    return g_calls;
  }
  std::vector<Hook*> added;
};

TEST_F(PhaseHooks, LowerPriorityFirstThenRegistrationOrderWithinThePhase) {
  Hook first5{'a'}, second5{'b'}, three{'c'}, draw{'d'}, keyboard{'k'}, mouse{'m'};
  Add(&first5, 5);
  Add(&second5, 5);
  Add(&three, 3);
  Add(&draw, 1, SL_GS_PHASE_DRAW);
  Add(&mouse, SL_GS_PHASE_PRIORITY_MOUSE);
  Add(&keyboard, SL_GS_PHASE_PRIORITY_KEYBOARD);  // compared unsigned: after the small ones
  EXPECT_EQ(Run(), "cabkm");
  EXPECT_EQ(Run(SL_GS_PHASE_DRAW), "d");
  EXPECT_NE(first5.id, second5.id);
  EXPECT_EQ(SLGetLastError(), 0u);
}

TEST_F(PhaseHooks, SelfRemovalWaitsForTheOutermostDispatch) {
  Hook self{'s'}, next{'n'};
  self.during = [](Hook* hook) {
    EXPECT_TRUE(SL_GS_RemovePhaseHook(hook->id));
    EXPECT_FALSE(SL_GS_RemovePhaseHook(hook->id));  // marked: gone for every caller
    EXPECT_EQ(SLGetLastError(), 0x80010001u);
  };
  Add(&self, 1);
  Add(&next, 2);
  EXPECT_EQ(Run(), "sn");
  EXPECT_EQ(Run(), "n");
  EXPECT_FALSE(SL_GS_RemovePhaseHook(self.id));
  EXPECT_EQ(SLGetLastError(), 0x80010001u);
}

TEST(PhaseHookArguments, BadArgumentsGetTheirCodes) {
  u32 id = 7;
  EXPECT_FALSE(SL_GS_AddPhaseHook(nullptr, SL_GS_PHASE_LOGIC, 1, &RunHook, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001005u);
  for (u32 phase : {0u, 3u}) {
    EXPECT_FALSE(SL_GS_AddPhaseHook(&id, phase, 1, &RunHook, 0));
    EXPECT_EQ(SLGetLastError(), 0x80001001u);
    EXPECT_EQ(id, 0xFFFFFFFFu);
    EXPECT_FALSE(SL_GS_RunPhaseHooks(phase));
    EXPECT_EQ(SLGetLastError(), 0x80001001u);
  }
  EXPECT_FALSE(SL_GS_AddPhaseHook(&id, SL_GS_PHASE_DRAW, 1, nullptr, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  EXPECT_FALSE(SL_GS_RemovePhaseHook(0xDEAD));
  EXPECT_EQ(SLGetLastError(), 0x80010001u);
}

}  // namespace
