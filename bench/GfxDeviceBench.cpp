// The graphics device's bulk paths beside their bandwidth peers: presenting an 800 x 600
// back buffer against SDL's own texture upload and copy of the same pixels (identity and
// non-identity gamma), clearing against memset, and reading the back buffer and the front
// buffer against memcpy of the same bytes.
#include <SDL.h>

#include <cstring>
#include <vector>

#include "bench/BenchRatio.h"
#include "foundation/SLError.h"
#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/User32.h"

namespace {

constexpr u32 kWidth = 800, kHeight = 600;

HWND MakeWindow() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
  wc.lpszClassName = "slgfxbench";
  RegisterClassExA(&wc);
  return CreateWindowExA(0, "slgfxbench", "banco", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr,
                         nullptr, nullptr);
}

// One windowed 800 x 600 device for every benchmark, its back buffer holding a pattern.
CSL_GS_Gfx_DirectX* Device() {
  static CSL_GS_Gfx_DirectX* device = [] {
    SLRegisterGameSystemClasses();
    auto* made = new CSL_GS_Gfx_DirectX();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    if (!made->Init(nullptr, MakeWindow(), &mode)) return static_cast<CSL_GS_Gfx_DirectX*>(nullptr);
    SL_GS_SurfaceAccess* lock = made->LockBackBuffer(true);
    for (u32 y = 0; y < lock->height; ++y)
      for (u32 x = 0; x < lock->width; ++x) reinterpret_cast<u32*>(lock->pixels + y * lock->pitch)[x] = x * 977 + y * 131;
    made->UnlockBackBuffer();
    return made;
  }();
  return device;
}

// A second device with a real gamma curve (1.8) for the ramp case, so that no case leaves
// a curve on the device the others share (it starts with the display's identity ramp).
CSL_GS_Gfx_DirectX* GammaDevice() {
  static CSL_GS_Gfx_DirectX* device = [] {
    Device();
    auto* made = new CSL_GS_Gfx_DirectX();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    if (!made->Init(nullptr, MakeWindow(), &mode) || !made->SetGamma(1.8)) return static_cast<CSL_GS_Gfx_DirectX*>(nullptr);
    return made;
  }();
  return device;
}

void Present(benchmark::State& state) {
  CSL_GS_Gfx_DirectX* device = state.range(0) ? GammaDevice() : Device();
  if (!device) return state.SkipWithError("no device");
  for (auto _ : state) device->EndFrame();
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}

// SDL's path for the same pixels: a streaming texture updated and copied to the target.
void SdlUpload(benchmark::State& state) {
  SDL_Window* window = SDL_CreateWindow("peer", 0, 0, kWidth, kHeight, SDL_WINDOW_SHOWN);
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  SDL_Texture* texture =
      SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
  std::vector<Uint32> pixels(kWidth * kHeight);
  for (u32 i = 0; i < pixels.size(); ++i) pixels[i] = i * 977;
  for (auto _ : state) {
    SDL_UpdateTexture(texture, nullptr, pixels.data(), kWidth * 4);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    if (state.range(0)) SDL_RenderPresent(renderer);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
}

void Clear(benchmark::State& state) {
  CSL_GS_Gfx_DirectX* device = Device();
  if (!device) return state.SkipWithError("no device");
  for (auto _ : state) device->Clear(0xFF336699, false, false);
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}

void Memset(benchmark::State& state) {
  std::vector<u8> target(kWidth * kHeight * 4);
  for (auto _ : state) {
    std::memset(target.data(), 0x5A, target.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}

// Reading the back buffer as the video export does: lock, copy each row out, unlock.
void ReadBackBuffer(benchmark::State& state) {
  CSL_GS_Gfx_DirectX* device = Device();
  if (!device) return state.SkipWithError("no device");
  std::vector<u8> out(kWidth * kHeight * 4);
  for (auto _ : state) {
    SL_GS_SurfaceAccess* lock = device->LockBackBuffer(false);
    for (u32 y = 0; y < lock->height; ++y) std::memcpy(&out[y * kWidth * 4], lock->pixels + y * lock->pitch, kWidth * 4);
    device->UnlockBackBuffer();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}

// The screenshot's capture of the front buffer (the whole desktop's copy is made).
void GrabFrontBuffer(benchmark::State& state) {
  CSL_GS_Gfx_DirectX* device = Device();
  if (!device) return state.SkipWithError("no device");
  int width = 0, height = 0;
  for (auto _ : state) {
    SL_GS_SurfaceAccess* grab = device->GrabFrontBuffer(0);
    benchmark::DoNotOptimize(grab->pixels);
    device->ReleaseFrontBufferGrab();
  }
  SDL_DisplayMode mode;
  SDL_GetDesktopDisplayMode(0, &mode);
  width = mode.w, height = mode.h;
  state.SetBytesProcessed(int64_t(state.iterations()) * width * height * 4);
}

// The peer of the back buffer's read (0) and of the front buffer's grab (1): the desktop's
// bytes, which SDL knows once the device has started its video; before that it would copy
// nothing, and a later round would run the nothing's iteration count on the whole desktop.
void Memcpy(benchmark::State& state) {
  SDL_DisplayMode mode{};
  if (!Device() || SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.w <= 0 || mode.h <= 0)
    return state.SkipWithError("no device or no desktop size");
  const std::size_t bytes = state.range(0) ? std::size_t(mode.w) * mode.h * 4 : kWidth * kHeight * 4;
  std::vector<u8> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

BENCHMARK(Present)->Arg(0)->Arg(1);
BENCHMARK(SdlUpload)->Arg(0)->Arg(1);
BENCHMARK(Clear);
BENCHMARK(Memset);
BENCHMARK(ReadBackBuffer);
BENCHMARK(GrabFrontBuffer);
BENCHMARK(Memcpy)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{
      {"Present/0", "SdlUpload/0"},
      {"Present/0", "SdlUpload/1"},
      {"Present/1", "SdlUpload/1"},
      {"Clear", "Memset"},
      {"ReadBackBuffer", "Memcpy/0"},
      {"GrabFrontBuffer", "Memcpy/1"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
