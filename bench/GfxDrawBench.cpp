// Drawing through the graphics device beside its peers: a 664 x 372 opaque background
// drawn unscaled against memcpy of its rows (the bandwidth limit); 50 sprites of 64 x 64
// with alpha, as they are, scaled by 0.5 and by 1.7 and turned by 30 degrees, and 2,000
// glyphs of text, against SDL's software renderer copying the same sprites and glyphs
// (filtered where the device filters: the halved sprites).
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
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
  SL_GS_Font* font = nullptr;
};

// The font page: glyphs 32..126 in cells of 16 x 16, each 10 x 14 with soft edges.
constexpr u32 kGlyphWidth = 10, kGlyphHeight = 14, kFirstGlyph = 32, kGlyphCount = 95;
u32 PagePixel(u32 x, u32 y) {
  const u32 cx = x % 16, cy = y % 16;
  if (cx >= kGlyphWidth || cy >= kGlyphHeight) return 0;
  const u32 alpha = (cx * 37 + cy * 11) % 5 == 0 ? 0 : (cx + cy) % 3 == 0 ? 0x80 : 0xFF;
  return alpha << 24 | 0xF0F0F0;
}

// Writes the bench font to a file of its own and returns the path.
std::string WriteFont() {
  std::string data = "Font File.\x1a";
  auto u16 = [&](u32 v) { data += char(v & 0xFF), data += char(v >> 8); };
  auto u32w = [&](u32 v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(2), u16(kGlyphCount), u32w(0xFF00FF), u32w(1);
  for (u32 i = 0; i < kGlyphCount; ++i) {
    const u32 left = i % 16 * 16, top = i / 16 * 16;
    u16(kFirstGlyph + i), u16(left), u16(top), u16(left + kGlyphWidth), u16(top + kGlyphHeight), u16(0);
  }
  u16(0);
  for (u32 y = 0; y < 256; ++y)
    for (u32 x = 0; x < 256; ++x) u32w(PagePixel(x, y));
  const std::string path = "/tmp/slgfxdrawbench-" + std::to_string(getpid()) + ".fnt";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), file);
    std::fclose(file);
  }
  return path;
}

// 40 lines of 50 glyphs.
constexpr u32 kLines = 40, kLineLength = 50;
char16_t LineGlyph(u32 line, u32 i) { return char16_t(kFirstGlyph + 1 + (line * 7 + i * 13) % (kGlyphCount - 1)); }

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
    const std::string font = WriteFont();
    made->font = made->device.LoadFontFromFile(font.c_str());
    std::remove(font.c_str());
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

// The sprite cases: 0 as they are, 1 scaled by 0.5, 2 by 1.7, 3 turned by 30 degrees.
constexpr double kSpriteScale[4] = {1, 0.5, 1.7, 1};
constexpr double kSpriteAngle[4] = {0, 0, 0, 30};

void Sprites(benchmark::State& state) {
  Scene* scene = TheScene();
  if (!scene) return state.SkipWithError("no device");
  const int kind = int(state.range(0));
  SL_GS_DrawImageOptions o{};
  if (kind == 1 || kind == 2) o.flags = SL_GS_DRAW_SCALE, o.scaleX = o.scaleY = kSpriteScale[kind];
  if (kind == 3) o.flags = SL_GS_DRAW_ROTATION, o.angleZ = kSpriteAngle[kind];
  for (auto _ : state)
    for (int i = 0; i < 50; ++i) scene->device.DrawImage(scene->sprite, (i * 97) % 700, (i * 61) % 500, kind ? &o : nullptr);
  state.SetItemsProcessed(int64_t(state.iterations()) * 50);
}

void SdlSprites(benchmark::State& state) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  TSLObjPtr<CSLImage> picture = Picture(64, 64, true);
  SDL_Texture* sprite = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 64, 64);
  SDL_UpdateTexture(sprite, nullptr, picture->GetPixelAddress(0, 0), int(picture->GetStride()));
  SDL_SetTextureBlendMode(sprite, SDL_BLENDMODE_BLEND);
  const int kind = int(state.range(0));
  // The device filters what it shrinks (bilinear) and takes the nearest texel where it
  // enlarges or turns at full size; SDL does the same here.
  if (kind == 1) SDL_SetTextureScaleMode(sprite, SDL_ScaleModeLinear);
  const int side = int(64 * kSpriteScale[kind]);
  for (auto _ : state) {
    for (int i = 0; i < 50; ++i) {
      const SDL_Rect where{(i * 97) % 700, (i * 61) % 500, side, side};
      SDL_RenderCopyEx(renderer, sprite, nullptr, &where, kSpriteAngle[kind], nullptr, SDL_FLIP_NONE);
    }
    SDL_RenderFlush(renderer);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 50);
  SDL_DestroyTexture(sprite);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(target);
}

// Whether SDL's software renderer filters a blended texture with the linear scale mode when
// it shrinks it: an opaque checkerboard halved is grey when filtered, black and white when
// not.
bool SdlShrinksLinearly() {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, 8, 8, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = target ? SDL_CreateSoftwareRenderer(target) : nullptr;
  SDL_Texture* board =
      renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 16, 16) : nullptr;
  bool grey = false;
  if (board) {
    std::vector<Uint32> pixels(16 * 16);
    for (u32 i = 0; i < pixels.size(); ++i) pixels[i] = (i % 16 + i / 16) % 2 ? 0xFFFFFFFF : 0xFF000000;
    SDL_UpdateTexture(board, nullptr, pixels.data(), 16 * 4);
    SDL_SetTextureBlendMode(board, SDL_BLENDMODE_BLEND);  // blended, as the sprites are
    SDL_SetTextureScaleMode(board, SDL_ScaleModeLinear);
    SDL_RenderCopy(renderer, board, nullptr, nullptr);
    SDL_RenderFlush(renderer);
    const auto* row = reinterpret_cast<const Uint32*>(static_cast<const u8*>(target->pixels) + 4 * target->pitch);
    const Uint32 blue = row[4] & 0xFF;
    grey = blue > 0x20 && blue < 0xE0;
    SDL_DestroyTexture(board);
  }
  if (renderer) SDL_DestroyRenderer(renderer);
  if (target) SDL_FreeSurface(target);
  return grey;
}

void Text(benchmark::State& state) {
  Scene* scene = TheScene();
  if (!scene || !scene->font) return state.SkipWithError("no device or font");
  std::vector<std::u16string> lines(kLines);
  for (u32 l = 0; l < kLines; ++l)
    for (u32 i = 0; i < kLineLength; ++i) lines[l] += LineGlyph(l, i);
  for (auto _ : state)
    for (u32 l = 0; l < kLines; ++l)
      scene->device.DrawTextW(scene->font, 10, i32(10 + l * kGlyphHeight), 0, nullptr, lines[l].c_str(), kLineLength);
  state.SetItemsProcessed(int64_t(state.iterations()) * kLines * kLineLength);
}

// Text as SDL draws it: one copy per glyph from the same page.
void SdlText(benchmark::State& state) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
  std::vector<Uint32> page(256 * 256);
  for (u32 y = 0; y < 256; ++y)
    for (u32 x = 0; x < 256; ++x) page[y * 256 + x] = PagePixel(x, y);
  SDL_Texture* texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 256, 256);
  SDL_UpdateTexture(texture, nullptr, page.data(), 256 * 4);
  SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
  for (auto _ : state) {
    for (u32 l = 0; l < kLines; ++l)
      for (u32 i = 0; i < kLineLength; ++i) {
        const u32 glyph = LineGlyph(l, i) - kFirstGlyph;
        const SDL_Rect from{int(glyph % 16 * 16), int(glyph / 16 * 16), int(kGlyphWidth), int(kGlyphHeight)};
        const SDL_Rect to{int(10 + i * kGlyphWidth), int(10 + l * kGlyphHeight), int(kGlyphWidth), int(kGlyphHeight)};
        SDL_RenderCopy(renderer, texture, &from, &to);
      }
    SDL_RenderFlush(renderer);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kLines * kLineLength);
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(target);
}

BENCHMARK(Background);
BENCHMARK(BackgroundMemcpy);
BENCHMARK(Sprites)->DenseRange(0, 3);
BENCHMARK(SdlSprites)->DenseRange(0, 3);
BENCHMARK(Text);
BENCHMARK(SdlText);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  if (!SdlShrinksLinearly()) {
    std::fprintf(stderr, "GfxDrawBench: SDL's software renderer does not filter what it shrinks, so the halved "
                         "sprites would compare our filtering with its nearest texel\n");
    return 1;
  }
  SLBenchRatioReporter reporter(
      std::vector<std::pair<std::string, std::string>>{{"Background", "BackgroundMemcpy"},
                                                       {"Sprites/0", "SdlSprites/0"},
                                                       {"Sprites/1", "SdlSprites/1"},
                                                       {"Sprites/2", "SdlSprites/2"},
                                                       {"Sprites/3", "SdlSprites/3"},
                                                       {"Text", "SdlText"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
