// A 1000 Hz mouse through the display bridge: 10,000 queued SDL motion events turned
// into a posted WM_MOUSEMOVE (moves waiting in the queue kept as one) and elements of an
// acquired mouse device, beside
// SDL_PollEvent draining the same events; also the whole way with every message taken
// off the queue and dispatched. Runs under SDL's dummy video driver; prints the ratios.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "bench/BenchRatio.h"
#include "platform/dinput8/DInput8.h"
#include "platform/user32/User32.h"
#include "platform/user32/WindowSystem.h"
#include "tests/support/TestWindow.h"

namespace {

constexpr int kEvents = 10000;

HWND g_window = nullptr;
Uint32 g_windowId = 0;

void QueueMotion() {
  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.windowID = g_windowId;
  for (int i = 0; i < kEvents; ++i) {
    event.motion.x = i % 800;
    event.motion.y = i % 600;
    event.motion.xrel = (i & 3) - 1;
    event.motion.yrel = 1 - (i & 1);
    SDL_PushEvent(&event);
  }
}

struct Mouse {
  Mouse() {
    DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A, reinterpret_cast<void**>(&input), nullptr);
    input->CreateDevice(GUID_SysMouse, &device, nullptr);
    device->SetDataFormat(&c_dfDIMouse);
    device->SetCooperativeLevel(g_window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    DIPROPDWORD size{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 32};
    device->SetProperty(DIMakeProperty(DIPROP_BUFFERSIZE), &size.diph);
    acquired = device->Acquire() == DI_OK;
  }
  ~Mouse() {
    device->Release();
    input->Release();
  }
  DWORD Read() {
    DIDEVICEOBJECTDATA elements[32];
    DWORD count = 32;
    device->GetDeviceData(sizeof elements[0], elements, &count, 0);
    return count;
  }
  IDirectInput8A* input = nullptr;
  IDirectInputDevice8A* device = nullptr;
  bool acquired = false;
};

// Takes every posted message off the queue; returns how many were pointer moves.
std::int64_t Drain(bool dispatch) {
  std::int64_t messages = 0;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    // WM_PAINT stays until the window is painted: dispatch it always.
    if (dispatch || msg.message == WM_PAINT) DispatchMessageA(&msg);
    if (msg.message == WM_MOUSEMOVE) ++messages;
  }
  return messages;
}

// The bridge alone: one look at the queue pumps the display, turning every queued event
// into the pending WM_MOUSEMOVE and mouse elements; the messages are taken off untimed. Or
// the whole way into the program: every message then taken off the queue one at a time
// and dispatched to the window procedure.
template <bool kDispatch>
void BM_Bridge(benchmark::State& state) {
  Mouse mouse;
  if (!mouse.acquired) state.SkipWithError("the mouse is not acquired");
  std::int64_t messages = 0;
  for (auto _ : state) {
    state.PauseTiming();
    QueueMotion();
    state.ResumeTiming();
    if (kDispatch) {
      messages += Drain(true);
    } else {
      MSG msg;
      PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
    benchmark::DoNotOptimize(mouse.Read());
    if (!kDispatch) {
      state.PauseTiming();
      messages += Drain(false);
      state.ResumeTiming();
    }
  }
  // Moves waiting in the queue are kept as one message, as the system does.
  if (messages < state.iterations()) state.SkipWithError("no pointer move came through");
  state.SetItemsProcessed(state.iterations() * kEvents);
}

void BM_PollEvent(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    QueueMotion();
    state.ResumeTiming();
    SDL_Event event;
    int drained = 0;
    while (SDL_PollEvent(&event)) ++drained;
    benchmark::DoNotOptimize(drained);
  }
  state.SetItemsProcessed(state.iterations() * kEvents);
}

BENCHMARK(BM_Bridge<false>)->Name("bridge_10000_motions")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Bridge<true>)->Name("bridge_dispatch_10000_motions")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PollEvent)->Name("sdl_poll_10000_motions")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  g_window = SLTestMakeWindow("entrada");
  if (!g_window || !SetForegroundWindow(g_window)) return 1;
  g_windowId = SDL_GetWindowID(static_cast<SDL_Window*>(SLUser32::NativeWindow(g_window)));
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\ntime ratios (the bridge / SDL_PollEvent has the goal below 5; the second adds taking\n"
              "every message off the queue and dispatching it):\n");
  reporter.PrintRatio("bridge_10000_motions", "sdl_poll_10000_motions");
  reporter.PrintRatio("bridge_dispatch_10000_motions", "sdl_poll_10000_motions");
  benchmark::Shutdown();
  DestroyWindow(g_window);
  return 0;
}
