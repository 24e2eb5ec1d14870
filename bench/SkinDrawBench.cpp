// Nine-slice skin drawing on the software device beside pixman compositing the same
// pieces (OVER): a 664 x 372 panel whose centre is stretched in one draw, and the same
// panel with a 16 x 16 centre tiled (about 1,000 draws), which pixman does in one
// composite per piece with PIXMAN_REPEAT_NORMAL.
#include <pixman.h>

#include <cstring>
#include <vector>

#include "bench/BenchRatio.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"
#include "image/SLImage.h"
#include "platform/user32/User32.h"

namespace {

constexpr u32 kWidth = 800, kHeight = 600;
constexpr SLGuiRect kPanel{68, 114, 664, 372};
constexpr i32 kSide = 48, kInset = 16;  // the element: 48 x 48 with 16-pixel borders

struct Scene {
  CSL_GS_Gfx_DirectX device;
  CSL_GS_GuiManager manager;
  TSLObjPtr<CSLImage> picture;
  SL_GS_Image* handle = nullptr;
  SLGuiSkin skin{};
  std::vector<u32> pixels;  // the same picture for pixman, premultiplied a8r8g8b8
  std::vector<u32> target;
};

Scene* TheScene() {
  static Scene* scene = [] {
    SLRegisterGuiClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slskinbench";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slskinbench", "piel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                  nullptr, nullptr, nullptr);
    auto* made = new Scene();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    if (!made->device.Init(nullptr, window, &mode) || !made->manager.Init() || !made->manager.SetGfx(&made->device))
      return static_cast<Scene*>(nullptr);
    made->picture.Attach(new CSLImage());
    made->picture->Create(5, kSide, kSide, false);
    made->pixels.resize(kSide * kSide);
    for (i32 y = 0; y < kSide; ++y)
      for (i32 x = 0; x < kSide; ++x) {
        const u32 alpha = (x < 2 || y < 2) ? 0x80 : 0xFF;  // a soft outer edge
        const u32 argb = alpha << 24 | u32(x * 5) << 16 | u32(y * 5) << 8 | 0x40;
        std::memcpy(made->picture->GetPixelAddress(x, y), &argb, 4);
        const auto pre = [alpha](u32 c) { return c * alpha / 255; };
        made->pixels[y * kSide + x] = alpha << 24 | pre(x * 5) << 16 | pre(y * 5) << 8 | pre(0x40);
      }
    made->handle = made->device.CreateImage(made->picture.Get(), false);
    made->skin.imageCount = 1;
    made->skin.imageHandles = &made->handle;
    made->target.assign(kWidth * kHeight, 0xFF203040);
    return made;
  }();
  return scene;
}

SLGuiSkinElement Element(Scene* scene, u32 stretch) {
  return SLGuiSkinElement{0, 0, 0, kSide, kSide, kInset, kInset, kInset, kInset, stretch, stretch, &scene->skin};
}

void Panel(benchmark::State& state, u32 stretch) {
  Scene* scene = TheScene();
  if (!scene) return state.SkipWithError("no device");
  const SLGuiSkinElement e = Element(scene, stretch);
  SLGuiRect inner = kPanel;
  SLGuiSkinDeflateRect(&e, &inner);
  for (auto _ : state) {
    scene->manager.DrawSkinElement(&e, &kPanel, 100);
    scene->manager.DrawSkinElementInRect(&e, &inner, 100, nullptr);
  }
}

// pixman: each piece a sub-image of the picture, scaled by a transform or repeated.
void PixmanPanel(benchmark::State& state, bool stretch) {
  Scene* scene = TheScene();
  if (!scene) return state.SkipWithError("no device");
  pixman_image_t* dest = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, scene->target.data(), kWidth * 4);
  struct Piece {
    pixman_image_t* image;
    i32 x, y, w, h;
  };
  std::vector<Piece> pieces;
  const i32 stops[] = {0, kInset, kSide - kInset, kSide};
  const i32 destStops[2][4] = {{0, kInset, kPanel.width - kInset, kPanel.width},
                               {0, kInset, kPanel.height - kInset, kPanel.height}};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column) {
      const i32 sx = stops[column], sy = stops[row], sw = stops[column + 1] - sx, sh = stops[row + 1] - sy;
      const i32 dx = destStops[0][column], dy = destStops[1][row];
      const i32 dw = destStops[0][column + 1] - dx, dh = destStops[1][row + 1] - dy;
      pixman_image_t* piece = pixman_image_create_bits(PIXMAN_a8r8g8b8, sw, sh, &scene->pixels[sy * kSide + sx],
                                                       kSide * 4);
      if (dw != sw || dh != sh) {
        if (stretch) {
          pixman_transform_t scale;
          pixman_transform_init_scale(&scale, pixman_double_to_fixed(double(sw) / dw),
                                      pixman_double_to_fixed(double(sh) / dh));
          pixman_image_set_transform(piece, &scale);
          pixman_image_set_filter(piece, PIXMAN_FILTER_NEAREST, nullptr, 0);
        } else {
          pixman_image_set_repeat(piece, PIXMAN_REPEAT_NORMAL);
        }
      }
      pieces.push_back({piece, kPanel.x + dx, kPanel.y + dy, dw, dh});
    }
  for (auto _ : state) {
    for (const Piece& p : pieces)
      pixman_image_composite32(PIXMAN_OP_OVER, p.image, nullptr, dest, 0, 0, 0, 0, p.x, p.y, p.w, p.h);
    benchmark::ClobberMemory();
  }
  for (const Piece& p : pieces) pixman_image_unref(p.image);
  pixman_image_unref(dest);
}

void StretchedPanel(benchmark::State& state) { Panel(state, 1); }
void StretchedPanelPixman(benchmark::State& state) { PixmanPanel(state, true); }
void TiledPanel(benchmark::State& state) { Panel(state, 0); }
void TiledPanelPixman(benchmark::State& state) { PixmanPanel(state, false); }

}  // namespace

BENCHMARK(StretchedPanel)->Unit(benchmark::kMicrosecond);
BENCHMARK(StretchedPanelPixman)->Unit(benchmark::kMicrosecond);
BENCHMARK(TiledPanel)->Unit(benchmark::kMicrosecond);
BENCHMARK(TiledPanelPixman)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"StretchedPanel", "StretchedPanelPixman"}, {"TiledPanel", "TiledPanelPixman"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
