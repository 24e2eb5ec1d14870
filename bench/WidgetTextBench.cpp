// Outlined widget text on the software device beside pixman drawing the same glyphs at
// the same offsets: a 20-character caption in the default skin's caption font with an
// outline of 1 (5 runs of the text) and of 4 (41 runs), each run one
// pixman_composite_glyphs call of a solid colour through the glyphs' alpha masks.
#include <pixman.h>

#include <cstring>
#include <vector>

#include "bench/BenchRatio.h"
#include "foundation/SLFastMath.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"
#include "image/SLImage.h"
#include "platform/user32/User32.h"

namespace {

constexpr u32 kWidth = 800, kHeight = 600;
constexpr const char* kCaption = "Ventana de dibujo 01";
constexpr SLGuiRect kBox{40, 40, 400, 30};

class Device : public CSL_GS_Gfx_DirectX {
 public:
  using CSL_GS_BaseGfx::FindFontRecord;
};

struct Scene {
  Device device;
  CSL_GS_GuiManager manager;
  SL_GS_Font* font = nullptr;
  std::vector<u32> target;
};

Scene* TheScene() {
  static Scene* scene = [] {
    SLRegisterGuiClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "sltextbench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "sltextbench", "texto", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                  nullptr, nullptr, nullptr);
    auto* made = new Scene();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    if (!made->device.Init(nullptr, window, &mode) || !made->manager.Init() || !made->manager.LoadDefaultSkin() ||
        !made->manager.SetGfx(&made->device))
      return static_cast<Scene*>(nullptr);
    made->font = made->manager.GetSkinFont(0, "WindowWithCaption_Common", "Font");
    SLGuiManagerState* state = made->manager.GetState();
    state->clipX = 0, state->clipY = 0, state->clipWidth = kWidth, state->clipHeight = kHeight;
    made->target.assign(kWidth * kHeight, 0xFF203040);
    return made->font ? made : static_cast<Scene*>(nullptr);
  }();
  return scene;
}

void Caption(benchmark::State& state) {
  Scene* scene = TheScene();
  if (!scene) return state.SkipWithError("no device");
  const SLGuiSkinColor color{0xFFFFFFFF, 0xFF000000, i32(state.range(0)), 0, 0, 0, nullptr};
  for (auto _ : state) scene->manager.DrawWidgetText(scene->font, kCaption, &color, 0x100, &kBox, 100);
}

// The same runs through pixman: glyph masks cut from the font's pages into a glyph cache.
void CaptionPixman(benchmark::State& state) {
  Scene* scene = TheScene();
  if (!scene) return state.SkipWithError("no device");
  SL_GS_FontRecord* record = scene->device.FindFontRecord(scene->font);
  pixman_glyph_cache_t* cache = pixman_glyph_cache_create();
  std::vector<pixman_glyph_t> glyphs;
  i32 pen = 0;
  pixman_glyph_cache_freeze(cache);
  for (const char* p = kCaption; *p; ++p) {
    const SL_GS_FontGlyph* glyph = scene->device.FindGlyph(scene->font, u8(*p));
    if (!glyph) continue;
    const i32 w = i32(glyph->right - glyph->left), h = i32(glyph->bottom - glyph->top);
    void* glyphKey = reinterpret_cast<void*>(uintptr_t(u8(*p)) + 1);
    const void* found = pixman_glyph_cache_lookup(cache, glyphKey, nullptr);
    if (!found && w > 0 && h > 0) {
      pixman_image_t* mask = pixman_image_create_bits(PIXMAN_a8, w, h, nullptr, 0);
      auto* bits = reinterpret_cast<u8*>(pixman_image_get_data(mask));
      const i32 stride = pixman_image_get_stride(mask);
      const CSLImage* page = (*record->pages)[glyph->page];
      for (i32 y = 0; y < h; ++y)
        for (i32 x = 0; x < w; ++x) bits[y * stride + x] = page->GetPixelAddress(glyph->left + x, glyph->top + y)[3];
      found = pixman_glyph_cache_insert(cache, glyphKey, nullptr, 0, 0, mask);
      pixman_image_unref(mask);
    }
    if (found) glyphs.push_back({pen, 0, found});
    pen += w + 2;
  }
  pixman_glyph_cache_thaw(cache);
  // The run offsets of an outline of n rings, then the text itself.
  std::vector<std::pair<i32, i32>> offsets;
  const i32 rings = i32(state.range(0));
  for (i32 ring = 1; ring <= rings; ++ring)
    for (u32 k = 0; k < 4u * ring; ++k) {
      const u32 angle = 3600 * k / (4 * ring);
      offsets.push_back({i32(SLFastCos(angle) * ring), i32(SLFastSin(angle) * ring)});
    }
  offsets.push_back({0, 0});
  pixman_image_t* dest =
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, scene->target.data(), kWidth * 4);
  pixman_color_t black{0, 0, 0, 0xFFFF}, white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  pixman_image_t* outline = pixman_image_create_solid_fill(&black);
  pixman_image_t* text = pixman_image_create_solid_fill(&white);
  for (auto _ : state) {
    for (size_t i = 0; i < offsets.size(); ++i)
      pixman_composite_glyphs(PIXMAN_OP_OVER, i + 1 == offsets.size() ? text : outline, dest, PIXMAN_a8, 0, 0, 0, 0,
                              kBox.x + offsets[i].first, kBox.y + 8 + offsets[i].second, kBox.width, kBox.height,
                              cache, int(glyphs.size()), glyphs.data());
    benchmark::ClobberMemory();
  }
  pixman_image_unref(outline);
  pixman_image_unref(text);
  pixman_image_unref(dest);
  pixman_glyph_cache_destroy(cache);
}

}  // namespace

BENCHMARK(Caption)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(CaptionPixman)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"Caption/1", "CaptionPixman/1"}, {"Caption/4", "CaptionPixman/4"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
