// Frame pacing on the platform's test clock: tick and draw answers, the catch-up cap,
// clock wrap-around, frame-rate measurement and the clock's fallback.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "gamesystem/SLFrameTime.h"
#include "platform/kernel32/Modules.h"
#include "tests/foundation/ChildProcess.h"

namespace {

constexpr u64 kNsPerMs = 1000000;

class FrameTime : public ::testing::Test {
 protected:
  void SetUp() override { SetClockMs(1000); }
  void TearDown() override { SLPlatformSetTestClock(false); }
  void SetClockMs(u64 ms) {
    nowMs = ms;
    SLPlatformSetTestClock(true, ms * kNsPerMs);
  }
  // The answers of `calls` calls, each `stepMs` after the one before: 'T' tick, 'D' draw.
  std::string Answers(CSL_GS_FrameTime& timer, int calls, u64 stepMs) {
    std::string answers;
    for (int i = 0; i < calls; ++i) {
      SetClockMs(nowMs + stepMs);
      answers += timer.IsDrawTime() ? 'D' : 'T';
    }
    return answers;
  }
  u64 nowMs = 0;
};

// A tick costs 1060 units and a millisecond earns 60: after the first tick (the head
// start of 1000 units) one comes every 17 or 18 ms, always followed by a draw.
TEST_F(FrameTime, TicksAtTheRateAndDrawsBetween) {
  CSL_GS_FrameTime timer;
  timer.SetRate(60);
  std::string answers = Answers(timer, 1000, 1);
  EXPECT_EQ(answers.substr(0, 2), "TD");
  EXPECT_EQ(answers.find("TT"), std::string::npos);
  EXPECT_NEAR(std::count(answers.begin(), answers.end(), 'T'), 57, 1);
}

TEST_F(FrameTime, EdgeCases) {
  struct Case {
    const char* what;
    u32 rate;
    u64 stallMs;  // one call after this long, then calls 1 ms apart
    const char* answers;
  };
  const Case cases[] = {
      {"10-second stall: seven ticks caught up", 60, 10000, "TTTTTTTD"},
      // 60 x 71,582,789 passes 2^32 by 44: the credit must not wrap to almost nothing.
      {"71,582,789 ms stall", 60, 71582789, "TTTTTTTD"},
      // Above rate 7000 one tick costs more than the old cap of 8000 units.
      {"rate 10,000 after a stall", 10000, 10000, "TDTDTDTD"},
      {"rate 0 counts as 1", 0, 2000, "TTDTDDDD"},
  };
  for (const Case& c : cases) {
    CSL_GS_FrameTime timer;
    timer.SetRate(c.rate);
    EXPECT_EQ(timer.GetRate(), c.rate ? c.rate : 1u);
    SetClockMs(nowMs + c.stallMs);
    std::string answers(1, timer.IsDrawTime() ? 'D' : 'T');
    answers += Answers(timer, int(std::string(c.answers).size()) - 1, 1);
    EXPECT_EQ(answers, c.answers) << c.what;
  }
}

// A reading that does not move forward (the same millisecond, or a clock that wrapped
// past 0xFFFFFFFF) counts as one millisecond. At rate 2 a tick costs 1002 units, so one
// millisecond more or less after the wrap decides the answers.
TEST_F(FrameTime, ClockWrapCountsAsOneMillisecond) {
  CSL_GS_FrameTime timer;
  SetClockMs(0xFFFFFFFFull);
  timer.SetRate(2);
  SetClockMs(0x100000000ull + 500);
  EXPECT_EQ(SL_GS_GetTimeMs(), 500u);
  EXPECT_FALSE(timer.IsDrawTime());  // 1000 + 2 x 1: one tick
  EXPECT_TRUE(timer.IsDrawTime());   // the same millisecond: 0 + 2
}

TEST_F(FrameTime, MeasuresFramesPerSecond) {
  CSL_GS_FrameTime timer;
  timer.SetRate(60);
  EXPECT_EQ(timer.GetFramesPerSecond(), 60.0);
  // Frames of 50 ms: nothing is measured before a second and twelve frames.
  for (int frame = 1; frame <= 20; ++frame) {
    timer.BeginFrame();
    SetClockMs(nowMs + 50);
    timer.EndFrame();
    if (frame == 19) {
      EXPECT_EQ(timer.GetFramesPerSecond(), 60.0);
    }
  }
  EXPECT_DOUBLE_EQ(timer.GetFramesPerSecond(), 20.0);
  // Eleven long frames pass a second but not twelve frames; the twelfth measures.
  for (int frame = 1; frame <= 12; ++frame) {
    timer.BeginFrame();
    SetClockMs(nowMs + 200);
    timer.EndFrame();
    if (frame == 11) {
      EXPECT_DOUBLE_EQ(timer.GetFramesPerSecond(), 20.0);
    }
  }
  EXPECT_DOUBLE_EQ(timer.GetFramesPerSecond(), 5.0);
  EXPECT_EQ(timer.GetFrameCount(), 32u);
  // A frame that ends in the millisecond it began adds no time.
  timer.BeginFrame();
  timer.EndFrame();
  EXPECT_EQ(timer.GetFrameCount(), 33u);
}

TEST(FrameTimeClock, ChildWithoutPerformanceCounter) {
  SL_CHILD_ONLY();
  SLPlatformHideExport("kernel32.dll", "QueryPerformanceCounter", true);
  SLPlatformSetTestClock(true, 0x123456789ull * kNsPerMs);
  EXPECT_EQ(SL_GS_GetTimeMs(), u32(0x123456789ull));  // the multimedia timer, wrapped
  SL_CHILD_DONE();
}

TEST(FrameTimeClock, ChildWithoutAnyClock) {
  SL_CHILD_ONLY();
  SLPlatformHideExport("kernel32.dll", "QueryPerformanceFrequency", true);
  SLPlatformHideExport("winmm.dll", "timeGetTime", true);
  SLPlatformSetTestClock(true, 5000 * kNsPerMs);
  EXPECT_EQ(SL_GS_GetTimeMs(), 0u);
  CSL_GS_FrameTime timer;
  timer.SetRate(60);
  // A clock that stands still still paces, at 1 ms a call.
  EXPECT_FALSE(timer.IsDrawTime());
  EXPECT_TRUE(timer.IsDrawTime());
  SL_CHILD_DONE();
}

TEST(FrameTimeClock, FallsBackToTheMultimediaTimer) {
  SL_EXPECT_CHILD_PASSES("FrameTimeClock.ChildWithoutPerformanceCounter", "");
  SL_EXPECT_CHILD_PASSES("FrameTimeClock.ChildWithoutAnyClock", "");
}

}  // namespace
