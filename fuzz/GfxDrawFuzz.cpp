// DrawImage and DrawTextW on the software device with every option the input chooses:
// each flag, scales of zero, negative, tiny, huge, infinite and NaN, source rectangles in
// and out of the picture, any angle, depth, anchor, hot spot and opacity, additive
// blending, depth testing and clip rectangles, on small pictures (opaque, with alpha,
// keyed) and a font whose glyphs touch its page's edges. Clip rectangles stay inside a
// band of four pixels around the 64 x 48 back buffer; after every call each pixel outside
// the clip rectangle must be as it was.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "fuzz/FuzzProgram.h"
#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "platform/user32/User32.h"
#include "storage/SLMemoryStorage.h"

namespace {

constexpr u32 kWidth = 64, kHeight = 48, kBand = 4;

struct Scene {
  CSL_GS_Gfx_DirectX device;
  SL_GS_Image* images[3] = {};
  SL_GS_Font* font = nullptr;
  std::vector<u8> fontBytes;
};

TSLObjPtr<CSLImage> Picture(u32 width, u32 height, u32 seed, bool alpha) {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  image->Create(5, width, height, false);
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      u32 argb = (x * 2654435761u) ^ (y * 40503u) ^ seed;
      if (!alpha) argb |= 0xFF000000u;
      std::memcpy(image->GetPixelAddress(x, y), &argb, 4);
    }
  return image;
}

// A font of one page: "A", "V" (a kerning pair) and "E" at the page's bottom right corner.
std::vector<u8> FontBytes() {
  std::string data = "Font File.\x1a";
  auto u16 = [&](u32 v) { data += char(v & 0xFF), data += char(v >> 8); };
  auto u32w = [&](u32 v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(2), u16(3), u32w(0xFF00FF), u32w(1);
  const u32 glyphs[3][6] = {{'A', 10, 0, 17, 12, 0}, {'V', 20, 0, 26, 12, 0}, {'E', 248, 244, 256, 256, 0}};
  for (const auto& g : glyphs)
    for (u32 field : g) u16(field);
  u16(1), u16('A'), u16('V'), u16(0xFFFF);
  for (u32 y = 0; y < 256; ++y)
    for (u32 x = 0; x < 256; ++x) u32w((x * y) << 24 | x << 16 | y << 8 | 0x80);
  return std::vector<u8>(data.begin(), data.end());
}

Scene* TheScene() {
  static Scene* scene = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SLRegisterGameSystemClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slgfxdrawfuzz";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slgfxdrawfuzz", "fuzz", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                  nullptr, nullptr, nullptr);
    auto* made = new Scene();
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    if (!made->device.Init(nullptr, window, &mode)) std::abort();
    made->images[0] = made->device.CreateImage(Picture(20, 12, 1, false).Get(), true);
    made->images[1] = made->device.CreateImage(Picture(37, 5, 2, true).Get(), true);
    TSLObjPtr<CSLImage> keyed = Picture(9, 17, 3, false);
    u32 corner;
    std::memcpy(&corner, keyed->GetPixelAddress(0, 0), 4);
    keyed->SetTransparentColor(corner & 0xFFFFFF);
    keyed->SetPoint(4, 8);
    made->images[2] = made->device.CreateImage(keyed.Get(), true);
    made->fontBytes = FontBytes();
    auto* storage = new CSLMemoryStorage();
    storage->AttachBuffer(made->fontBytes.data(), u32(made->fontBytes.size()), false);
    made->font = made->device.LoadFontFromStorage(storage);
    storage->Release();
    for (SL_GS_Image* image : made->images)
      if (!image) std::abort();
    if (!made->font) std::abort();
    return made;
  }();
  return scene;
}

double Real(SLFuzzProgram& in) {
  static const double kTable[16] = {0,    -0.0, 1,     -1,   0.5,   1.7, 1e-12, 1e300, -1e300,
                                    2.25, 100,  -30.5, 359.9, 45, std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN()};
  const unsigned pick = in.Take();
  if (pick < 0xF0) return kTable[pick % 16];
  u64 bits = 0;
  for (int i = 0; i < 8; ++i) bits = bits << 8 | in.Take();
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

i32 Integer(SLFuzzProgram& in) {
  static const i32 kTable[8] = {0, 1, -1, 3, 100, -40, std::numeric_limits<i32>::max(), std::numeric_limits<i32>::min()};
  const unsigned pick = in.Take();
  if (pick < 0x80) return kTable[pick % 8];
  return i32(int8_t(in.Take())) * 3;
}

SL_GS_DrawImageOptions Options(SLFuzzProgram& in) {
  SL_GS_DrawImageOptions o{};
  o.flags = in.Take() | (in.Take() & 7) << 8;
  o.scaleX = Real(in), o.scaleY = Real(in);
  if (o.flags & SL_GS_DRAW_TARGET_SIZE) {
    const i32 width = Integer(in), height = Integer(in);
    std::memcpy(&o.scaleX, &width, 4);
    std::memcpy(&o.scaleY, &height, 4);
  }
  o.sourceX = Integer(in), o.sourceY = Integer(in), o.sourceWidth = Integer(in), o.sourceHeight = Integer(in);
  o.anchorX = Integer(in), o.anchorY = Integer(in);
  o.opacity = Real(in);
  o.tintRed = u8(in.Take()), o.tintGreen = u8(in.Take()), o.tintBlue = u8(in.Take());
  o.angleY = Real(in), o.angleZ = Real(in), o.angleX = Real(in);
  o.centreX = Integer(in), o.centreY = Integer(in);
  o.depth = Real(in);
  return o;
}

std::vector<u32> Pixels(CSL_GS_Gfx_DirectX& device) {
  SL_GS_SurfaceAccess* lock = device.LockBackBuffer(false);
  if (!lock) std::abort();
  std::vector<u32> out(kWidth * kHeight);
  for (u32 y = 0; y < kHeight; ++y) std::memcpy(&out[y * kWidth], lock->pixels + y * lock->pitch, kWidth * 4);
  device.UnlockBackBuffer();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Scene* scene = TheScene();
  CSL_GS_Gfx_DirectX& device = scene->device;
  SLFuzzProgram in{data, size};
  device.SetClipRect(kBand, kBand, kWidth - 2 * kBand, kHeight - 2 * kBand);
  device.Clear(0xFF405060, false, false);
  device.SetDrawState(0);
  u32 clipX = kBand, clipY = kBand, clipWidth = kWidth - 2 * kBand, clipHeight = kHeight - 2 * kBand;
  for (int step = 0; step < 8 && in.at < in.size; ++step) {
    const std::vector<u32> before = Pixels(device);
    const unsigned op = in.Take() % 4;
    if (op == 0) {
      SL_GS_Image* image = scene->images[in.Take() % 3];
      const i32 x = Integer(in), y = Integer(in);
      const bool plain = in.Take() & 1;
      const SL_GS_DrawImageOptions o = Options(in);
      device.DrawImage(image, x, y, plain ? nullptr : &o);
    } else if (op == 1) {
      const i32 x = Integer(in), y = Integer(in);
      const u32 alignment = in.Take();
      const bool plain = in.Take() & 1;
      const SL_GS_DrawImageOptions o = Options(in);
      static const char16_t kTexts[4][6] = {u"AVE", u"VAVA", u"E\u00e9A", u"AxV"};
      const char16_t* text = kTexts[in.Take() % 4];
      const u32 length = in.Take() & 1 ? 0xFFFFFFFFu : in.Take() % 6;
      device.DrawTextW(scene->font, x, y, alignment, plain ? nullptr : &o, text, length);
    } else if (op == 2) {
      // A clip rectangle inside the band.
      clipX = kBand + in.Take() % (kWidth - 2 * kBand), clipY = kBand + in.Take() % (kHeight - 2 * kBand);
      clipWidth = 1 + in.Take() % (kWidth - kBand - clipX), clipHeight = 1 + in.Take() % (kHeight - kBand - clipY);
      if (!device.SetClipRect(clipX, clipY, clipWidth, clipHeight)) std::abort();
    } else {
      device.SetDrawState(in.Take() & 1);
      device.Clear(0xFF000000u | in.Take() << 16 | in.Take(), in.Take() & 1, false);
    }
    const std::vector<u32> after = Pixels(device);
    for (u32 y = 0; y < kHeight; ++y)
      for (u32 x = 0; x < kWidth; ++x) {
        const bool inside = x >= clipX && x < clipX + clipWidth && y >= clipY && y < clipY + clipHeight;
        SLFuzzCheck(inside || after[y * kWidth + x] == before[y * kWidth + x]);
      }
  }
  return 0;
}
