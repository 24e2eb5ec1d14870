// gfxdemo: the drawing device at work in full screen (800 x 600): a background, 30
// sprites scaled, turned and faded, and a line of text with the measured frame rate,
// animated for a number of frames; then prints the mean frame rate.
//
//   gfxdemo [--frames N] [--hold] [--hide-rate]
//
// --hold draws the first frame only and keeps showing it for ten seconds (READY is printed
// once it is on the screen), so that a screen grab can compare it with a golden picture;
// --hide-rate leaves the frame rate out of the text, which makes every frame reproducible.
// Sprite positions come from a fixed seed.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gamesystem/GameSystemClasses.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/User32.h"
#include "storage/SLMemoryStorage.h"

namespace {

TSLObjPtr<CSLImage> Background() {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  image->Create(5, 800, 600, false);
  for (u32 y = 0; y < 600; ++y)
    for (u32 x = 0; x < 800; ++x) {
      const u32 hill = y > 400 + u32(40 * std::sin(x / 90.0)) ? 0x206020u : 0x5080C0u + (y / 4 << 16);
      const u32 argb = 0xFF000000u | (hill & 0xFFFFFF);
      std::memcpy(image->GetPixelAddress(x, y), &argb, 4);
    }
  return image;
}

// A round sprite with a soft edge.
TSLObjPtr<CSLImage> Sprite(u32 colour) {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  image->Create(5, 64, 64, false);
  for (u32 y = 0; y < 64; ++y)
    for (u32 x = 0; x < 64; ++x) {
      const double d = std::hypot(x - 31.5, y - 31.5);
      const u32 alpha = d < 26 ? 255 : d < 32 ? u32((32 - d) / 6 * 255) : 0;
      const u32 shade = (x + y) / 2;
      const u32 argb = alpha << 24 | ((colour & 0xFFFFFF) ^ (shade << 8 | shade));
      std::memcpy(image->GetPixelAddress(x, y), &argb, 4);
    }
  return image;
}

// Every printable ASCII glyph 7 x 11, drawn as a small block pattern of its own.
std::vector<u8> FontBytes() {
  std::string data = "Font File.\x1a";
  auto u16 = [&](u32 v) { data += char(v & 0xFF), data += char(v >> 8); };
  auto u32w = [&](u32 v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(2), u16(95), u32w(0xFF00FF), u32w(1);
  for (u32 i = 0; i < 95; ++i) u16(32 + i), u16(i % 16 * 16), u16(i / 16 * 16), u16(i % 16 * 16 + 7), u16(i / 16 * 16 + 11), u16(0);
  u16(0);
  for (u32 y = 0; y < 256; ++y)
    for (u32 x = 0; x < 256; ++x) {
      const u32 glyph = y / 16 * 16 + x / 16, cx = x % 16, cy = y % 16;
      const bool ink = glyph > 0 && cx < 6 && cy < 10 && ((glyph >> (cx % 3 + cy % 3 * 3 % 7)) & 1);
      u32w(ink ? 0xFFFFFFFFu : 0);
    }
  return std::vector<u8>(data.begin(), data.end());
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 300;
  bool hold = false, hideRate = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--hold")) hold = true;
    else if (!std::strcmp(argv[i], "--hide-rate")) hideRate = true;
  }
  SLRegisterGameSystemClasses();
  CSL_GS_MainWindow window;
  if (!window.Create(GetModuleHandleA(nullptr), "Demostraci\xf3n de dibujo", 0, false)) {
    std::printf("CREATE FAILED %08X\n", SLGetLastError());
    return 1;
  }
  window.SetWaitWhenInactive(false);
  CSL_GS_Gfx_DirectX device;
  const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 0, 0, 0};
  if (!device.Init(nullptr, window.GetHandle(), &mode)) {
    std::printf("INIT FAILED %08X\n", SLGetLastError());
    return 1;
  }
  SL_GS_Image* background = device.CreateImage(Background().Get(), true);
  SL_GS_Image* sprites[3] = {device.CreateImage(Sprite(0xE04020).Get(), true),
                             device.CreateImage(Sprite(0x20C0E0).Get(), true),
                             device.CreateImage(Sprite(0xF0E060).Get(), true)};
  std::vector<u8> fontBytes = FontBytes();
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(fontBytes.data(), u32(fontBytes.size()), false);
  SL_GS_Font* font = device.LoadFontFromStorage(storage);
  storage->Release();
  if (!background || !sprites[0] || !sprites[1] || !sprites[2] || !font) {
    std::printf("LOAD FAILED %08X\n", SLGetLastError());
    return 1;
  }
  struct Flyer {
    i32 x, y;
    double scale, angle, spin, opacity;
    u32 kind;
  };
  std::mt19937 random(2024);
  std::vector<Flyer> flyers(30);
  for (Flyer& f : flyers)
    f = Flyer{i32(random() % 760), i32(random() % 560), 0.5 + (random() % 120) / 100.0, double(random() % 360),
              double(random() % 7) - 3, 40 + double(random() % 61), u32(random() % 3)};
  auto draw = [&](int frame, double rate) {
    device.Clear(0xFF000000u, false, false);
    device.DrawImage(background, 0, 0, nullptr);
    for (const Flyer& f : flyers) {
      SL_GS_DrawImageOptions o{};
      o.flags = SL_GS_DRAW_SCALE | SL_GS_DRAW_ROTATION | SL_GS_DRAW_OPACITY | SL_GS_DRAW_ANCHOR;
      o.scaleX = o.scaleY = f.scale;
      o.angleZ = f.angle + f.spin * frame;
      o.opacity = f.opacity;
      o.anchorX = o.anchorY = 32;
      device.DrawImage(sprites[f.kind], f.x, f.y, &o);
    }
    char line[80];
    if (hideRate) std::snprintf(line, sizeof line, "Dibujo por programa: 30 figuras");
    else std::snprintf(line, sizeof line, "Dibujo por programa: 30 figuras, %.1f fotogramas/s", rate);
    std::u16string text(line, line + std::strlen(line));
    device.DrawTextW(font, 400, 560, 0x21, nullptr, text.c_str(), u32(text.size()));
    device.EndFrame();
  };
  if (hold) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool ready = false;
    for (int shown = 0; std::chrono::steady_clock::now() < until; ++shown) {
      if (window.ProcessMessages(false)) break;
      draw(0, 0);
      // The display maps the window in its own time: a few frames before the grab.
      if (shown == 30 && !ready) std::printf("READY\n"), std::fflush(stdout), ready = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  } else {
    std::printf("READY\n");
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    double rate = 0;
    for (int frame = 0; frame < frames; ++frame) {
      if (window.ProcessMessages(false)) break;
      draw(frame, rate);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      rate = seconds > 0 ? (frame + 1) / seconds : 0;
    }
    std::printf("FRAMES PER SECOND %.1f\n", rate);
  }
  device.Shutdown();
  return 0;
}
