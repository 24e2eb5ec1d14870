// The cinema on the test clock: each drawn frame moves the clock on by 18 ms, and a
// logic-phase hook watches every tick and plays the user's part.
#include "app/screens/CinemaScreen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiSlider.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/AppHarness.h"
#include "tests/support/MovieCatalog.h"

namespace {

struct Tick {
  u32 state, position, finalTicks;
  bool running;  // Pause shown
};

struct Watch {
  std::vector<Tick> ticks;
  std::function<void(const Tick&, u32 index)> user;  // the user's part, each tick
  std::uint64_t clockNs = 1000000000;
};
Watch* g_watch = nullptr;

void OnLogic(std::uintptr_t) {
  Watch& w = *g_watch;
  const CinemaScreenState& c = CinemaScreen_State();
  if (!c.pauseButton) return;  // not the cinema's loop
  const Tick tick{c.state, c.position, c.finalTicks, (c.pauseButton->GetStyle() & SL_GUI_WS_VISIBLE) != 0};
  w.ticks.push_back(tick);
  if (w.user) w.user(tick, u32(w.ticks.size() - 1));
  // The videos keep the sound device's time, not the test clock: a bound of ticks far past them.
  if (w.ticks.size() > 60 * 600) AppHarness::Command(APP_CLOSE_BUTTON_ID);
}

void OnDraw(std::uintptr_t) {
  g_watch->clockNs += 18000000;
  SLPlatformSetTestClock(true, g_watch->clockNs);
}

class CinemaScreenTest : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    g_watch = &watch_;
    SLPlatformSetTestClock(true, watch_.clockNs);
    ASSERT_TRUE(SL_GS_AddPhaseHook(&logicHook_, SL_GS_PHASE_LOGIC, 10, &OnLogic, 0));
    ASSERT_TRUE(SL_GS_AddPhaseHook(&drawHook_, SL_GS_PHASE_DRAW, 10, &OnDraw, 0));
    CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
    red_ = MovieCatalog::AddBackground(gfx, "rojo", [](i32, i32) { return u8(128); },
                                       MovieCatalog::Solid(gfx, 664, 372, 0, 0, 0xFFD01010));
    // A window on screen and one hidden, as the editor leaves them.
    CMyGuiManager& gui = App_GuiManager();
    shown_ = gui.CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "visible", 10, 10, 50, 20, 0x20000001, AppSkin,
                              5555, nullptr);
    hidden_ = gui.CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "oculta", 10, 40, 50, 20, 0x00000001, AppSkin,
                               5556, nullptr);
  }
  void TearDown() override {
    App_GuiManager().DestroyWindow(shown_);
    App_GuiManager().DestroyWindow(hidden_);
    SL_GS_RemovePhaseHook(logicHook_);
    SL_GS_RemovePhaseHook(drawHook_);
    SLPlatformSetTestClock(false);
    g_watch = nullptr;
    Movie_Clear(Movie_Get());
    MovieCatalog::Free();
    AppHarness::DrainQueue();
    AppScreenTest::TearDown();
  }
  void Build(const std::vector<u32>& lengths) {
    Movie* movie = Movie_Get();
    Movie_Clear(movie);
    for (u32 length : lengths) {
      Scene* scene = Movie_AppendScene(movie);
      scene->length = length;
      scene->background = red_;
    }
  }
  void ExpectWindowsBack() {
    EXPECT_TRUE(shown_->GetStyle() & SL_GUI_WS_VISIBLE);
    EXPECT_FALSE(hidden_->GetStyle() & SL_GUI_WS_VISIBLE);
    EXPECT_EQ(AppHarness::TopLevelWithId(CINEMA_PLAY_ID), nullptr);
    EXPECT_EQ(AppHarness::TopLevelWithId(CINEMA_SLIDER_ID), nullptr);
    EXPECT_EQ(CinemaScreen_State().saved.GetCount(), 0u);
  }

  Watch watch_;
  u32 logicHook_ = 0, drawHook_ = 0;
  i32 red_ = -1;
  CSL_GS_GuiWindow* shown_ = nullptr;
  CSL_GS_GuiWindow* hidden_ = nullptr;
};

}  // namespace

TEST_F(CinemaScreenTest, AnEmptyMovieReturnsAtOnce) {
  Build({});
  EXPECT_EQ(CinemaScreen_Run(), 1);
  EXPECT_TRUE(watch_.ticks.empty());
  EXPECT_TRUE(shown_->GetStyle() & SL_GUI_WS_VISIBLE);
}

TEST_F(CinemaScreenTest, IntroMovieOneFramePerTickThenTheFinalVideoAndBackToFrameZero) {
  Build({120});
  bool sawFinal = false;
  watch_.user = [&](const Tick& t, u32 index) {
    // SL_SCREENSHOT_DIR keeps pictures of the intro, the movie and the final video.
    if (const char* dir = getenv("SL_SCREENSHOT_DIR")) {
      const char* name = index == 20 ? "cine-intro" : t.state == CINEMA_STATE_MOVIE && t.position == 60 ? "cine-pelicula"
                         : t.state == CINEMA_STATE_FINAL && t.finalTicks == 200 ? "cine-final" : nullptr;
      if (name) App_Services().gfx->SaveScreenshotToFile((std::string(dir) + "/" + name + ".bmp").c_str());
    }
    // While it runs, only the close button and the cinema's own windows are on screen.
    EXPECT_FALSE(shown_->GetStyle() & SL_GUI_WS_VISIBLE);
    if (t.state == CINEMA_STATE_FINAL) sawFinal = true;
    if (sawFinal && t.state == CINEMA_STATE_MOVIE && !t.running) AppHarness::Command(APP_CLOSE_BUTTON_ID);
  };
  for (int run = 0; run < 2; ++run) {  // a second visit hides and restores the same way
    watch_.ticks.clear();
    sawFinal = false;
    EXPECT_EQ(CinemaScreen_Run(), 1);
    ExpectWindowsBack();
    const std::vector<Tick>& ticks = watch_.ticks;
    ASSERT_GT(ticks.size(), 10u);
    EXPECT_EQ(ticks.front().state, u32(CINEMA_STATE_INTRO));
    // The movie: every tick one frame on, from 0 (after the intro) to its end.
    std::vector<u32> positions;
    for (const Tick& t : ticks)
      if (t.state == CINEMA_STATE_MOVIE && t.running) positions.push_back(t.position);
    ASSERT_EQ(positions.size(), 121u);  // frames 0 to 120, one per tick
    for (u32 i = 1; i < positions.size(); ++i) EXPECT_EQ(positions[i], std::min(positions[i - 1] + 1, 120u)) << i;
    EXPECT_EQ(positions.front(), 0u);
    EXPECT_EQ(positions.back(), 120u);
    // The final video with the applauding audience, then frame 0, paused.
    // The video keeps the sound device's time while the ticks run on the test clock, so
    // the final video outlasts the 1,680 ticks of applause: the calm audience follows.
    u32 finalTicks = 0, applauding = 0, calm = 0;
    for (const Tick& t : ticks) {
      if (t.state != CINEMA_STATE_FINAL) continue;
      EXPECT_EQ(t.finalTicks, ++finalTicks);  // counted from the tick the video started
      if (CinemaScreen_AudiencePicture(t.state, t.finalTicks, 50) == 1) {
        ++calm;
      } else {
        EXPECT_EQ(calm, 0u);
        ++applauding;
      }
    }
    EXPECT_GT(finalTicks, 60u);
    EXPECT_EQ(applauding, std::min(finalTicks, kCinemaApplauseTicks));
    EXPECT_EQ(ticks.back().state, u32(CINEMA_STATE_MOVIE));
    EXPECT_EQ(ticks.back().position, 0u);
    EXPECT_FALSE(ticks.back().running);
  }
}

TEST_F(CinemaScreenTest, PauseDuringTheIntroShowsFrameZeroAndPlayStartsTheMovie) {
  Build({60, 60});
  u32 pausedAt = 0, playedAt = 0;
  watch_.user = [&](const Tick& t, u32 index) {
    if (index == 5) {
      EXPECT_EQ(t.state, u32(CINEMA_STATE_INTRO));
      AppHarness::Command(CINEMA_PAUSE_ID);
    } else if (!pausedAt && t.state == CINEMA_STATE_MOVIE) {
      pausedAt = index;
      EXPECT_FALSE(t.running);
      EXPECT_EQ(t.position, 0u);
    } else if (pausedAt && index == pausedAt + 30) {
      EXPECT_EQ(t.position, 0u);  // paused: the movie stays on frame 0
      AppHarness::Command(CINEMA_PLAY_ID);
    } else if (pausedAt && !playedAt && t.running) {
      playedAt = index;  // Play's own tick already moved the movie to frame 1
      EXPECT_EQ(t.position, 1u);
    } else if (playedAt && index == playedAt + 90) {
      EXPECT_EQ(t.position, 91u);  // one frame per tick, into the second scene
      EXPECT_EQ(Movie_Get()->currentScene, 1u);
      AppHarness::Command(APP_CLOSE_BUTTON_ID);
    }
  };
  EXPECT_EQ(CinemaScreen_Run(), 1);
  EXPECT_GT(playedAt, 0u);
  ExpectWindowsBack();
}

TEST_F(CinemaScreenTest, PlayAfterTheEndStartsAgainAtFrameZero) {
  Build({90});
  u32 step = 0;
  watch_.user = [&](const Tick& t, u32) {
    CinemaScreenState& c = CinemaScreen_State();
    switch (step) {
      case 0:  // skip the intro
        if (t.state == CINEMA_STATE_INTRO) AppHarness::Command(CINEMA_PAUSE_ID), step = 1;
        break;
      case 1:  // the slider dragged to the end while paused
        if (t.state == CINEMA_STATE_MOVIE) {
          c.slider->SetPosition(90);
          AppEventQueue_PostEvent(APP_EVENT_SLIDER, reinterpret_cast<std::uintptr_t>(c.slider));
          step = 2;
        }
        break;
      case 2:
        if (t.position == 90) {
          EXPECT_FALSE(t.running);
          AppHarness::Command(CINEMA_PLAY_ID);
          step = 3;
        }
        break;
      case 3:
        if (t.running) {
          EXPECT_LE(t.position, 1u);  // from the start again, not the final video
          EXPECT_EQ(t.state, u32(CINEMA_STATE_MOVIE));
          AppHarness::Command(APP_CLOSE_BUTTON_ID);
          step = 4;
        }
        break;
      default:
        break;
    }
  };
  EXPECT_EQ(CinemaScreen_Run(), 1);
  EXPECT_EQ(step, 4u);
  ExpectWindowsBack();
}

TEST(CinemaAudience, ApplauseForTheFinalVideosFirst1680Ticks) {
  const struct {
    u32 state, ticks, ms, picture;
  } cases[] = {{3, 0, 50, 2},    {3, 0, 150, 3},  {3, 1680, 1099, 2}, {3, 1680, 1100, 3},
               {3, 1681, 50, 1}, {2, 0, 50, 1},   {1, 0, 50, 1}};
  for (const auto& c : cases)
    EXPECT_EQ(CinemaScreen_AudiencePicture(c.state, c.ticks, c.ms), c.picture) << c.state << " " << c.ticks;
}

TEST_F(CinemaScreenTest, SeekingDuringTheIntroPlaysFromTheSoughtFrame) {
  // Pausing a video goes back to frame 0; the seek must still land where it was asked.
  Build({120});
  u32 step = 0;
  watch_.user = [&](const Tick& t, u32 index) {
    CinemaScreenState& c = CinemaScreen_State();
    if (step == 0 && index == 3) {
      EXPECT_EQ(t.state, u32(CINEMA_STATE_INTRO));
      c.slider->SetPosition(50);
      AppEventQueue_PostEvent(APP_EVENT_SLIDER, reinterpret_cast<std::uintptr_t>(c.slider));
      step = 1;
    } else if (step == 1 && t.state == CINEMA_STATE_MOVIE) {
      EXPECT_TRUE(t.running);
      EXPECT_EQ(t.position, 51u);  // the seek's tick already moved one frame on
      AppHarness::Command(APP_CLOSE_BUTTON_ID);
      step = 2;
    }
  };
  EXPECT_EQ(CinemaScreen_Run(), 1);
  EXPECT_EQ(step, 2u);
  ExpectWindowsBack();
}
