// Pictures of 1..3000 x 1..3000 pixels cut into textures under texture limits, aspect
// ratios and square-only devices the input chooses. A picture that becomes a handle must
// be covered by its tiles exactly once: tile positions follow each other, the last row and
// column reach the picture's edge without a tile starting past it, every quad stays inside
// the picture with texture coordinates in (0, 1], and the picture draws.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/SLError.h"
#include "fuzz/FuzzProgram.h"
#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "platform/user32/User32.h"
#include "platform/wind3d.h"

namespace {

using SLInternals::SL_GS_ImageDevice;

class Device : public CSL_GS_Gfx_DirectX {
 public:
  SL_GS_ImageDevice* Tiles(SL_GS_Image* image) {
    SL_GS_ImageRecord* record = FindImageRecord(image);
    return record ? reinterpret_cast<SL_GS_ImageDevice*>(record->deviceData[0]) : nullptr;
  }
};

// A window of its own for every device: detached hooks keep their place on a window,
// which takes at most 16.
HWND MakeWindow() {
  static const bool registered = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SLRegisterGameSystemClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slgfxtilingfuzz";
    return RegisterClassExA(&wc) != 0;
  }();
  if (!registered) std::abort();
  return CreateWindowExA(0, "slgfxtilingfuzz", "fuzz", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                         nullptr, nullptr, nullptr);
}

// The device and its window, shut and destroyed on every way out.
struct Session {
  Device device;
  HWND window = MakeWindow();
  ~Session() {
    device.Shutdown();
    DestroyWindow(window);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SLFuzzProgram in{data, size};
  auto twelve = [&] { return (in.Take() << 8 | in.Take()) & 0xFFF; };
  const u32 limitWidth = twelve(), limitHeight = twelve(), aspect = in.Take() % 20;
  const bool square = in.Take() & 1;
  const u32 width = 1 + twelve() % 3000, height = 1 + twelve() % 3000;
  // Large pictures only under limits that keep the tile count moderate.
  if (u64(width) * height > 4000000 && (limitWidth < 256 || limitHeight < 256)) return 0;
  SLD3D9TestTextureLimits(limitWidth, limitHeight, aspect, square);
  Session session;
  Device& device = session.device;
  const SL_GS_DisplayMode mode{0xFFFF, 64, 48, 32, 1, 0, 0};
  const bool opened = device.Init(nullptr, session.window, &mode);
  SLD3D9TestTextureLimits(0, 0, 0, false);
  if (!opened) {
    std::fprintf(stderr, "Init failed: %x\n", unsigned(SLGetLastError()));
    std::abort();
  }
  TSLObjPtr<CSLImage> picture;
  picture.Attach(new CSLImage());
  if (!picture->Create(5, width, height, false)) return 0;
  SL_GS_Image* image = device.CreateImage(picture.Get(), true);
  if (!image) {
    SLFuzzCheck(SLGetLastError() != 0);
    return 0;
  }
  SL_GS_ImageDevice* tiles = device.Tiles(image);
  SLFuzzCheck(tiles && tiles->columns > 0 && tiles->rows > 0);
  float* vertices = nullptr;
  SLFuzzCheck(tiles->buffer->Lock(0, 0, reinterpret_cast<void**>(&vertices), 0) >= 0);
  for (u32 r = 0; r < tiles->rows; ++r)
    for (u32 c = 0; c < tiles->columns; ++c) {
      const SLInternals::SL_GS_ImageTile& tile = tiles->tiles[r * tiles->columns + c];
      SLFuzzCheck(tile.texture != nullptr && tile.width >= 1 && tile.height >= 1);
      SLFuzzCheck(tile.x < width && tile.y < height);
      if (c > 0) SLFuzzCheck(tile.x == tiles->tiles[r * tiles->columns + c - 1].x + tiles->tiles[r * tiles->columns + c - 1].width);
      if (r > 0) SLFuzzCheck(tile.y == tiles->tiles[(r - 1) * tiles->columns + c].y + tiles->tiles[(r - 1) * tiles->columns + c].height);
      if (c + 1 == tiles->columns) SLFuzzCheck(u64(tile.x) + tile.width >= width);
      if (r + 1 == tiles->rows) SLFuzzCheck(u64(tile.y) + tile.height >= height);
      const float* quad = vertices + (r * tiles->columns + c) * 24;  // four vertices of six floats
      for (int v = 0; v < 4; ++v) {
        const float* vertex = quad + v * 6;
        SLFuzzCheck(vertex[0] >= float(tile.x) && vertex[0] <= float(width) && vertex[1] >= float(tile.y) &&
                    vertex[1] <= float(height));
        SLFuzzCheck(vertex[4] >= 0 && vertex[4] <= 1 && vertex[5] >= 0 && vertex[5] <= 1);
      }
    }
  tiles->buffer->Unlock();
  SLFuzzCheck(device.DrawImage(image, 0, 0, nullptr));
  SLFuzzCheck(device.DestroyImage(image));
  return 0;
}
