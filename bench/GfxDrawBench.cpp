// Drawing through the graphics device beside its peers: a 664 x 372 opaque background
// drawn unscaled against memcpy of its rows (the bandwidth limit), and 50 sprites of
// 64 x 64 with alpha against SDL's software renderer copying the same sprites.
#include <SDL.h>

#include <cstring>
#include <vector>

#include "bench/BenchRatio.h"
#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "platform/user32/User32.h"

namespace {

constexpr u32 kWidth = 800, kHeight = 600;

struct Scene {
  CSL_GS_Gfx_DirectX device;
  SL_GS_Image* background = nullptr;
  SL_GS_Image* sprite = nullptr;
};

TSLObjPtr<CSLImage> Picture(u32 width, u32 height, bool alpha) {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  image->Create(5, width, height, false);
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      const u32 a = alpha ? (x * 4) & 0xFF : 0xFF;
      const u32 argb = a << 24 | (x * 3) << 16 | (y * 5 & 0xFF) << 8 | 0x40;
      std::memcpy(image->GetPixelAddress(x, y), &argb, 4);
    }
  return image;
}

Scene* TheScene() {
  static Scene* scene = [] {
    SLRegisterGameSystemClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slgfxdrawbench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slgfxdrawbench", "banco", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
    auto* made = new Scene();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    if (!made->device.Init(nullptr, window, &mode)) return static_cast<Scene*>(nullptr);
    made->background = made->device.CreateImage(Picture(664, 372, false).Get(), true);
    made->sprite = made->device.CreateImage(Picture(64, 64, true).Get(), true);
    return made;
  }();
  return scene;
}

void Background(benchmark::State& state) {
  Scene* scene = TheScene();
  if (!scene) return state.SkipWithError("no device");
  for (auto _ : state) scene->device.DrawImage(scene->background, 68, 114, nullptr);
  state.SetBytesProcessed(int64_t(state.iterations()) * 664 * 372 * 4);
}

void BackgroundMemcpy(benchmark::State& state) {
  std::vector<u32> from(664 * 372, 7), to(kWidth * kHeight);
  for (auto _ : state) {
    for (u32 y = 0; y < 372; ++y) std::memcpy(&to[(y + 114) * kWidth + 68], &from[y * 664], 664 * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 664 * 372 * 4);
}

void Sprites(benchmark::State& state) {
  Scene* scene = TheScene();
  if (!scene) return state.SkipWithError("no device");
  for (auto _ : state)
    for (int i = 0; i < 50; ++i) scene->device.DrawImage(scene->sprite, (i * 97) % 700, (i * 61) % 500, nullptr);
  state.SetItemsProcessed(int64_t(state.iterations()) * 50);
}

void SdlSprites(benchmark::State& state) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  TSLObjPtr<CSLImage> picture = Picture(64, 64, true);
  SDL_Texture* sprite = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 64, 64);
  SDL_UpdateTexture(sprite, nullptr, picture->GetPixelAddress(0, 0), int(picture->GetStride()));
  SDL_SetTextureBlendMode(sprite, SDL_BLENDMODE_BLEND);
  for (auto _ : state) {
    for (int i = 0; i < 50; ++i) {
      const SDL_Rect where{(i * 97) % 700, (i * 61) % 500, 64, 64};
      SDL_RenderCopyEx(renderer, sprite, nullptr, &where, 0, nullptr, SDL_FLIP_NONE);
    }
    SDL_RenderFlush(renderer);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 50);
  SDL_DestroyTexture(sprite);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(target);
}

BENCHMARK(Background);
BENCHMARK(BackgroundMemcpy);
BENCHMARK(Sprites);
BENCHMARK(SdlSprites);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(
      std::vector<std::pair<std::string, std::string>>{{"Background", "BackgroundMemcpy"}, {"Sprites", "SdlSprites"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
