// The movie player under two calling threads and a stopping listener that plays again:
// random calls must neither hang (a watchdog ends the program) nor race (ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>

#include "media/SLMoviePlayer.h"
#include "tests/support/MoviePlayerFakes.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

struct Restarter {
  void OnStopping(CSL_GS_MoviePlayer*, CSLBaseEvent* event, u32) {
    // Only a stopped player: a Play that replaces a playback sends an event of its own.
    if (event->IsKindOf(CSL_GS_MoviePlayerStoppingEvent::GetClassRecord()) && restart && !player->IsPlaying() &&
        player->Play(0, 1.0, false, false))
      ++restarts;
  }
  std::atomic<bool> restart{true};
  std::atomic<int> restarts{0};
  CSL_GS_MoviePlayer* player = nullptr;
};

TEST(MoviePlayerConcurrency, RandomCallsFromTwoThreadsNeitherHangNorRace) {
  SLTestRegisterClasses();
  TempDir dir;
  const std::string files[] = {dir.Host("a.mxv"), dir.Host("b.mxv")};
  ASSERT_TRUE(SLTestWriteMovie(files[0], 32, 16, 24, 25, 30, 11025) && SLTestWriteMovie(files[1], 16, 16, 8, 10, 8));
  CFakeSfx sfx;
  CBackBufferGfx gfx;
  Restarter listener;  // outlives the player, whose worker calls it
  CSL_GS_MoviePlayer player;
  listener.player = &player;
  ASSERT_TRUE(player.AddCallback(&listener, &Restarter::OnStopping, 0));
  ASSERT_TRUE(player.SetSfx(&sfx) && player.SetGfx(&gfx) && player.Open(files[0].c_str(), nullptr));
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1200 && !done; ++i) SLSleep(100);
    if (!done) std::fprintf(stderr, "the movie player hung\n"), std::abort();
  });
  auto caller = [&](unsigned seed) {
    std::mt19937 random(seed);
    const void* samples;
    u32 got;
    for (int call = 0; call < 500; ++call) switch (random() % 8) {
        case 0: player.Play(random() % 2, random() % 4 ? 1.0 : -2.0, random() % 3 == 0, false); break;
        case 1: player.Stop(); break;
        case 2: player.SeekToFrame(random() % 40); break;
        case 3: if (random() % 4 == 0) player.Close(); break;
        case 4: player.Open(files[random() % 2].c_str(), nullptr); break;
        case 5: player.RenderFrame(i32(random() % 64) - 32, 0); break;
        case 6: player.ReadAudio(random() % 20000, 512, &samples, &got); break;
        default: sfx.position = u32(random() % 60000); break;
      }
  };
  std::thread other(caller, 2u);
  caller(1u);
  other.join();
  // At the end of the movie the listener plays its own player again.
  ASSERT_TRUE(player.Open(files[1].c_str(), nullptr));
  const int restarts = listener.restarts;
  ASSERT_TRUE(player.Play(0, 1.0, false, false) && player.SeekToFrame(8));
  // The restarted playback may reach the end again at once, so only the restart is checked.
  EXPECT_TRUE(SLTestEventually([&] { return listener.restarts > restarts; }));
  listener.restart = false;
  EXPECT_TRUE(player.Close());
  done = true;
  watchdog.join();
}

}  // namespace
