// Stage_Draw on the software device: a 664 x 372 background, 30 characters with alpha at
// the scales their places on the stage give them (0.4 to 1.0), 4 balloons of nine frame
// pieces each and a foreground, at (68, 114) of an 800 x 600 back buffer. Beside it the
// same layers, rectangles and scales composited OVER by pixman (pixman_image_composite32
// with a scaling transform) and copied by SDL2's software renderer. The peers draw the
// balloons' frames but not their words.
#include <SDL.h>
#include <pixman.h>

#include <cstring>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/SceneRender.h"
#include "bench/BenchRatio.h"
#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "platform/user32/User32.h"
#include "tests/support/MovieCatalog.h"

namespace {

constexpr u32 kWidth = 800, kHeight = 600;
constexpr i32 kAtX = 68, kAtY = 114;

u32 BackgroundPixel(u32 x, u32 y) { return 0xFF000000u | (x * 255 / 663) << 16 | (y * 255 / 371) << 8 | 0x40; }
u32 ForegroundPixel(u32 x, u32 y) { return y >= 330 ? 0xC0000000u | (x & 0xFF) << 8 | 0x30 : 0; }
u32 SpritePixel(u32 x, u32 y) { return x < 4 || x >= 56 ? 0 : u32(96 + y) << 24 | (x * 4) << 16 | (y * 2) << 8 | 0x80; }
u32 AtlasPixel(u32 x, u32 y) { return 0xF0000000u | (x * 2) << 16 | (y * 2) << 8 | 0xE0; }

// What every peer draws: a layer's picture into a rectangle (scaled when its size differs).
struct Blit {
  u32 layer;  // 0 background, 1 sprite, 2 atlas, 3 foreground
  i32 sx, sy, sw, sh;  // source rectangle
  i32 dx, dy, dw, dh;  // destination rectangle
};

struct World {
  World() {
    SLRegisterGameSystemClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slstagedrawbench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slstagedrawbench", "escenario", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    ready = device.Init(nullptr, window, &mode);
    if (!ready) return;
    AdventureDevices_Set(&device, nullptr, nullptr);
    SL_GS_Image* background = MovieCatalog::Picture(&device, 664, 372, 0, 0, BackgroundPixel);
    SL_GS_Image* foreground = MovieCatalog::Picture(&device, 664, 372, 0, 0, ForegroundPixel);
    SL_GS_Image* sprite = MovieCatalog::Picture(&device, 60, 90, 30, 90, SpritePixel);
    Balloon_SetPicture(MovieCatalog::Picture(&device, 128, 128, 0, 0, AtlasPixel));
    Movie_Init(&movie);
    Scene* scene = Movie_AppendScene(&movie);
    scene->length = 100;
    // The mask rises row by row, so a character's scale follows its feet.
    scene->background = MovieCatalog::AddBackground(&device, "calle", [](i32, i32 y) { return u8(1 + y * 254 / 371); },
                                                    background, foreground);
    MovieCatalog::ActionSpec stand;
    for (u32 d = 0; d < kDirectionCount; ++d) stand.frames[d] = {sprite};
    const i32 who = MovieCatalog::AddCharacter("paseante", false, {{"Normal", 0}}, {stand});
    for (u32 i = 0; i < 30; ++i) {
      CharacterInstance* c = CharacterInstance_New();
      c->scene = scene, c->character = who, c->endFrame = 0xFFFFFFFF;
      c->x = 30 + i32(i * 21), c->y = 120 + i32(i * 37 % 250);
      List_Append(&scene->characters, &c->link);
    }
    for (u32 i = 0; i < 4; ++i) {
      TextItem* t = TextItem_Append(scene);
      t->startFrame = 0, t->endFrame = 100, t->x = 40 + i32(i) * 150, t->y = 20;
      Balloon_SetStyle(&t->balloon, 1 + i * 5);
      Balloon_SetText(&t->balloon, "Hola, vamos al parque a jugar");
      t->balloon.boxWidth = 130, t->balloon.boxHeight = 50;  // no font: the frame alone
    }
    Scene_RenderAtFrame(scene, 0, kModeEvaluate);
    // The same work as blits for the peers, in drawing order.
    blits.push_back({0, 0, 0, 664, 372, kAtX, kAtY, 664, 372});
    const DrawItem* items = static_cast<const DrawItem*>(scene->drawList.data);
    for (u32 i = scene->drawList.count; i-- > 0;) {
      if (items[i].kind == kDrawText) {
        const TextItem* t = static_cast<const TextItem*>(items[i].element);
        for (u32 p = 0; p < 9; ++p)  // a 3 x 3 frame, corners kept, sides and middle stretched
          blits.push_back({2, i32(p % 3) * 20, i32(p / 3) * 20, 10, 10, kAtX + t->x + i32(p % 3) * 55,
                           kAtY + t->y + i32(p / 3) * 20, p % 3 == 1 ? 20 : 10, p / 3 == 1 ? 20 : 10});
        continue;
      }
      const CharacterInstance* c = static_cast<const CharacterInstance*>(items[i].element);
      const i32 w = i32(60 * c->scale), h = i32(90 * c->scale);
      blits.push_back({1, 0, 0, 60, 90, kAtX + c->posX - w / 2, kAtY + c->posY - h, w, h});
    }
    blits.push_back({3, 0, 0, 664, 372, kAtX, kAtY, 664, 372});
  }
  bool ready = false;
  CSL_GS_Gfx_DirectX device;
  Movie movie;
  std::vector<Blit> blits;
};

World& TheWorld() {
  static World& world = *new World;  // never destroyed: the framework's singletons go first
  return world;
}

std::vector<u32> Pixels(u32 w, u32 h, u32 (*pixel)(u32, u32), bool premultiplied) {
  std::vector<u32> out(size_t(w) * h);
  for (u32 y = 0; y < h; ++y)
    for (u32 x = 0; x < w; ++x) {
      u32 p = pixel(x, y);
      if (premultiplied) {
        const u32 a = p >> 24;
        p = a << 24 | ((p >> 16 & 0xFF) * a / 255) << 16 | ((p >> 8 & 0xFF) * a / 255) << 8 | (p & 0xFF) * a / 255;
      }
      out[size_t(y) * w + x] = p;
    }
  return out;
}

struct Layers {
  explicit Layers(bool premultiplied)
      : pictures{Pixels(664, 372, BackgroundPixel, premultiplied), Pixels(60, 90, SpritePixel, premultiplied),
                 Pixels(128, 128, AtlasPixel, premultiplied), Pixels(664, 372, ForegroundPixel, premultiplied)} {}
  std::vector<u32> pictures[4];
  static constexpr u32 kSizes[4][2] = {{664, 372}, {60, 90}, {128, 128}, {664, 372}};
};

void StageDraw(benchmark::State& state) {
  World& world = TheWorld();
  if (!world.ready) return state.SkipWithError("no device");
  for (auto _ : state) Stage_Draw(&world.movie, kAtX, kAtY);
}

void Pixman(benchmark::State& state) {
  World& world = TheWorld();
  Layers layers(true);
  std::vector<u32> target(size_t(kWidth) * kHeight);
  pixman_image_t* dest = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, target.data(), kWidth * 4);
  pixman_image_t* sources[4];
  for (u32 l = 0; l < 4; ++l)
    sources[l] = pixman_image_create_bits(PIXMAN_a8r8g8b8, i32(Layers::kSizes[l][0]), i32(Layers::kSizes[l][1]),
                                          layers.pictures[l].data(), i32(Layers::kSizes[l][0] * 4));
  for (auto _ : state)
    for (const Blit& b : world.blits) {
      pixman_transform_t scale;
      pixman_transform_init_scale(&scale, pixman_double_to_fixed(double(b.sw) / b.dw),
                                  pixman_double_to_fixed(double(b.sh) / b.dh));
      pixman_image_set_transform(sources[b.layer], &scale);
      pixman_image_set_filter(sources[b.layer], PIXMAN_FILTER_NEAREST, nullptr, 0);
      pixman_image_composite32(b.layer == 0 ? PIXMAN_OP_SRC : PIXMAN_OP_OVER, sources[b.layer], nullptr, dest,
                               b.sx * b.dw / b.sw, b.sy * b.dh / b.sh, 0, 0, b.dx, b.dy, b.dw, b.dh);
    }
  for (pixman_image_t* s : sources) pixman_image_unref(s);
  pixman_image_unref(dest);
}

void Sdl(benchmark::State& state) {
  World& world = TheWorld();
  Layers layers(false);
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  SDL_Texture* textures[4];
  for (u32 l = 0; l < 4; ++l) {
    textures[l] = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC,
                                    i32(Layers::kSizes[l][0]), i32(Layers::kSizes[l][1]));
    SDL_UpdateTexture(textures[l], nullptr, layers.pictures[l].data(), i32(Layers::kSizes[l][0] * 4));
    SDL_SetTextureBlendMode(textures[l], l == 0 ? SDL_BLENDMODE_NONE : SDL_BLENDMODE_BLEND);
  }
  for (auto _ : state) {
    for (const Blit& b : world.blits) {
      const SDL_Rect from{b.sx, b.sy, b.sw, b.sh}, to{b.dx, b.dy, b.dw, b.dh};
      SDL_RenderCopy(renderer, textures[b.layer], &from, &to);
    }
    SDL_RenderFlush(renderer);
  }
  for (SDL_Texture* t : textures) SDL_DestroyTexture(t);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(target);
}

BENCHMARK(StageDraw)->Unit(benchmark::kMicrosecond);
BENCHMARK(Pixman)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sdl)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(
      std::vector<std::pair<std::string, std::string>>{{"StageDraw", "Pixman"}, {"StageDraw", "Sdl"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
