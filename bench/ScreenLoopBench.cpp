// The start menu's loop beside the device work of its frames: 600 passes of the program's
// own screen loop (a logic tick with the GUI's update, then a frame with the background,
// the GUI's drawing, the pointer and the present), against replaying 600 times the device
// calls recorded from one of those frames. The ratio is what the loop adds to the device
// (event queue, lock, frame pacing, GUI update and tree walk). Goal: within 1.2x.
//
// The program runs on its real services with the sample content (bench/BenchContent.h),
// on SDL's dummy drivers unless the environment names others. The
// loop's clock is the platform's test clock, advanced a sixtieth of a second before every
// frame, so that each frame comes with one logic tick, as at 60 frames per second.
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/services/AppClasses.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/services/CommonResources.h"
#include "app/screens/FixedScreens.h"
#include "bench/BenchContent.h"
#include "bench/BenchRatio.h"
#include "bench/RecordingDevice.h"
#include "gamesystem/SLPhaseHooks.h"
#include "platform/kernel32/Modules.h"

namespace {

constexpr u32 kPasses = 600;
constexpr std::uint64_t kFrameNs = 1000000000ull / 60;

using Clock = std::chrono::steady_clock;

CRecordingDevice g_device;
std::uint64_t g_clockNs = 1000000000ull;

// One run of the start menu, seen from the hook that starts each frame.
struct MenuRun {
  bool replay = false;  // record frame 1, then replay it instead of timing the loop
  u32 frames = 0;
  Clock::time_point start;
  double seconds = 0;
  CRecordingDevice::Calls calls;
};
MenuRun* g_run = nullptr;

void EndMenu() { AppEventQueue_PostEvent(APP_EVENT_COMMAND, APP_MENU_PLAY_ID); }

void BeforeFrame(std::uintptr_t) {
  g_clockNs += kFrameNs;
  SLPlatformSetTestClock(true, g_clockNs);
  MenuRun* run = g_run;
  if (!run) return;
  const u32 frame = run->frames++;
  if (run->replay) {
    if (frame == 1) g_device.Record(&run->calls);
    if (frame != 2) return;
    g_device.Stop();
    // The pictures the calls name are alive until the menu ends.
    const Clock::time_point start = Clock::now();
    for (u32 pass = 0; pass < kPasses; ++pass) g_device.Replay(run->calls);
    run->seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EndMenu();
    return;
  }
  if (frame == 0) run->start = Clock::now();
  if (frame == kPasses) {
    run->seconds = std::chrono::duration<double>(Clock::now() - run->start).count();
    EndMenu();
  }
}

bool RunMenu(benchmark::State& state, bool replay) {
  MenuRun run;
  run.replay = replay;
  g_run = &run;
  const i32 result = MainMenu_Run();
  g_run = nullptr;
  if (result != 1 || run.seconds <= 0) {
    state.SkipWithError("the start menu did not run its passes");
    return false;
  }
  state.SetIterationTime(run.seconds);
  if (replay) state.counters["device calls"] = double(run.calls.size());
  return true;
}

void StartMenuLoop(benchmark::State& state) {
  for (auto _ : state)
    if (!RunMenu(state, false)) break;
}

void StartMenuReplay(benchmark::State& state) {
  for (auto _ : state)
    if (!RunMenu(state, true)) break;
}

}  // namespace

BENCHMARK(StartMenuLoop)->Name("menu_loop_600")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StartMenuReplay)->Name("frame_replay_600")->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  const std::string folder = SLBenchContentFolder("ScreenLoopBench");
  if (folder.empty()) return 1;
  const std::string program = folder + "/Zarandulvortequimbaplastelo";
  SLRegisterAppClasses();
  SLPlatformSetProgramFileName(program.c_str());
  SLPlatformSetTestClock(true, g_clockNs);
  // The program's loop draws through the recording device: the same device class, able
  // to write its calls down.
  App_Services().gfx = &g_device;
  App_Init();  // ends the process with its code when the content is missing
  CommonUi_Load();
  u32 hook = 0;
  SL_GS_AddPhaseHook(&hook, SL_GS_PHASE_DRAW, 0, &BeforeFrame, 0);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"menu_loop_600", "frame_replay_600"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  SL_GS_RemovePhaseHook(hook);
  CommonUi_Free();
  App_Shutdown();
  SLPlatformSetTestClock(false);
  return 0;
}
