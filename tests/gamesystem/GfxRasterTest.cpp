// The rasteriser's row kernels (opaque rows copied, texels blended four at a time, edges
// stepped a row at a time) against its per-pixel route: every common draw leaves the same
// back buffer, bit for bit, over a noisy background in both 4- and 2-byte formats.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "platform/wind3d.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

// A picture whose alpha runs through the cases the kernels tell apart: opaque runs longer
// and shorter than a vector, alpha 0, 1 and 2 at the alpha test's edge, and everything
// between; colours from a fixed seed.
TSLObjPtr<CSLImage> Picture(u32 width, u32 height, u32 seed) {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  EXPECT_TRUE(image->Create(5, width, height, false));
  std::mt19937 random(seed);
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      const u32 band = (x / 5 + y / 3) % 7;
      const u32 alpha = y < height / 3 ? 0xFF : band == 0 ? 0 : band == 1 ? 1 : band == 2 ? 2 : band < 5 ? 0xFF : random() & 0xFF;
      const u32 argb = alpha << 24 | (random() & 0xFFFFFF);
      SLMemCopy(image->GetPixelAddress(x, y), &argb, 4);
    }
  return image;
}

class GfxRaster : public ::testing::TestWithParam<u32> {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("trama");
    ASSERT_NE(window, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, 320, 240, GetParam(), 0, 0, 0};
    ASSERT_TRUE(device.Init(nullptr, window, &mode));
  }
  void TearDown() override {
    SLD3D9TestPixelByPixel(false);
    device.Shutdown();
    if (IsWindow(window)) DestroyWindow(window);
  }
  // The back buffer's bytes, after noise (the same every time) is written and `draw` runs.
  template <class Draw>
  std::vector<u8> Drawn(bool pixelByPixel, Draw draw) {
    SL_GS_SurfaceAccess* lock = device.LockBackBuffer(true);
    EXPECT_NE(lock, nullptr);
    std::mt19937 random(11);
    for (u32 y = 0; y < lock->height; ++y)
      for (u32 x = 0; x < lock->pitch; ++x) lock->pixels[y * lock->pitch + x] = u8(random());
    device.UnlockBackBuffer();
    SLD3D9TestPixelByPixel(pixelByPixel);
    draw();
    SLD3D9TestPixelByPixel(false);
    lock = device.LockBackBuffer(false);
    std::vector<u8> out(lock->pixels, lock->pixels + std::size_t(lock->pitch) * lock->height);
    device.UnlockBackBuffer();
    return out;
  }
  HWND window = nullptr;
  CSL_GS_Gfx_DirectX device;
};

TEST_P(GfxRaster, KernelsMatchThePixelRules) {
  auto picture = Picture(150, 90, 3);
  SL_GS_Image* image = device.CreateImage(picture.Get(), true);
  ASSERT_NE(image, nullptr);
  struct Row {
    const char* name;
    u32 flags;
    double scaleX, scaleY, opacity, angleZ, angleX, depth;
    u8 red, green, blue;
  } rows[] = {
      {"plain", 0, 1, 1, 100, 0, 0, 0, 255, 255, 255},
      {"faded", SL_GS_DRAW_OPACITY, 1, 1, 50, 0, 0, 0, 255, 255, 255},
      {"tinted", SL_GS_DRAW_TINT, 1, 1, 100, 0, 0, 0, 200, 90, 10},
      {"added", SL_GS_DRAW_ADDITIVE | SL_GS_DRAW_OPACITY, 1, 1, 70, 0, 0, 0, 255, 255, 255},
      {"half", SL_GS_DRAW_SCALE, 0.5, 0.5, 100, 0, 0, 0, 255, 255, 255},
      {"enlarged", SL_GS_DRAW_SCALE | SL_GS_DRAW_TINT, 1.7, 1.7, 100, 0, 0, 0, 10, 255, 128},
      {"mirrored", SL_GS_DRAW_SCALE, -1, 1, 100, 0, 0, 0, 255, 255, 255},
      {"turned", SL_GS_DRAW_ROTATION | SL_GS_DRAW_OPACITY, 1, 1, 80, 30, 0, 0, 255, 255, 255},
      {"tilted", SL_GS_DRAW_ROTATION, 1, 1, 100, 0, 40, 0, 255, 255, 255},
      {"deep", SL_GS_DRAW_DEPTH, 1, 1, 100, 0, 0, 100, 255, 255, 255},
      {"near", SL_GS_DRAW_DEPTH | SL_GS_DRAW_SCALE, 1.3, 0.8, 100, 0, 0, -30, 255, 255, 255},
  };
  const std::vector<u8> noise = Drawn(false, [] {});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SL_GS_DrawImageOptions o{};
    o.flags = row.flags, o.scaleX = row.scaleX, o.scaleY = row.scaleY, o.opacity = row.opacity;
    o.angleZ = row.angleZ, o.angleX = row.angleX, o.depth = row.depth;
    o.tintRed = row.red, o.tintGreen = row.green, o.tintBlue = row.blue;
    // Partly off the screen on the left and top, and once well inside a clip rectangle's edge.
    auto draw = [&] {
      EXPECT_TRUE(device.DrawImage(image, 90, 60, &o));
      EXPECT_TRUE(device.DrawImage(image, -37, -21, &o));
      EXPECT_TRUE(device.SetClipRect(200, 150, 77, 61));
      EXPECT_TRUE(device.DrawImage(image, 190, 140, &o));
      EXPECT_TRUE(device.SetClipRect(0, 0, 320, 240));
    };
    const std::vector<u8> fast = Drawn(false, draw), rules = Drawn(true, draw);
    ASSERT_EQ(fast.size(), rules.size());
    EXPECT_NE(fast, noise);
    std::size_t differing = 0, first = 0;
    for (std::size_t i = 0; i < fast.size(); ++i)
      if (fast[i] != rules[i] && !differing++) first = i;
    EXPECT_EQ(differing, 0u) << "first at byte " << first;
  }
}

// Scales near the float range put vertices far outside every clip plane, where float
// arithmetic overflows: such draws succeed and change nothing outside the clip rectangle.
TEST_P(GfxRaster, HugeScalesStayInsideTheClipRectangle) {
  auto picture = Picture(16, 16, 5);
  SL_GS_Image* image = device.CreateImage(picture.Get(), true);
  ASSERT_NE(image, nullptr);
  const std::vector<u8> noise = Drawn(false, [] {});
  for (double scale : {3e38, -3e38, 1e30, 1e-30}) {
    for (double angle : {0.0, 30.0, 89.99}) {
      SL_GS_DrawImageOptions o{};
      o.flags = SL_GS_DRAW_SCALE | SL_GS_DRAW_ROTATION | SL_GS_DRAW_DEPTH;
      o.scaleX = scale, o.scaleY = -scale / 3, o.angleZ = angle, o.angleX = angle / 2, o.depth = -99;
      const std::vector<u8> drawn = Drawn(false, [&] {
        EXPECT_TRUE(device.SetClipRect(10, 10, 100, 80));
        EXPECT_TRUE(device.DrawImage(image, 50, 40, &o));
        EXPECT_TRUE(device.SetClipRect(0, 0, 320, 240));
      });
      const u32 bytes = GetParam() / 8, pitch = u32(drawn.size() / 240);
      u32 outside = 0;
      for (u32 y = 0; y < 240; ++y)
        for (u32 x = 0; x < pitch; ++x)
          if (!(y >= 10 && y < 90 && x >= 10 * bytes && x < 110 * bytes)) outside += drawn[y * pitch + x] != noise[y * pitch + x];
      EXPECT_EQ(outside, 0u) << scale << " " << angle;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, GfxRaster, ::testing::Values(32u, 16u));

}  // namespace
