// Affine draws of gradient pictures against pixman compositing the same picture with the
// same transform: scale, mirror, source rectangle, opacity, tint, additive blending,
// rotation about the draw point or a hot spot, and anchors. Pixel centres sit at integer
// coordinates on our device and at half-integers in pixman, and edges may fall either
// way, so every pixel one pixel or more inside the drawn shape is compared, within 2 per
// channel (the gradients step by at most one per texel).
#include <gtest/gtest.h>
#include <pixman.h>

#include <cmath>
#include <vector>

#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

constexpr u32 kWidth = 320, kHeight = 240, kPictureWidth = 120, kPictureHeight = 80;
constexpr u32 kBackground = 0xFF305070;  // 0xAARRGGBB

u32 Gradient(u32 x, u32 y, bool alpha) {
  const u32 a = alpha ? 255 - x : 255;
  return a << 24 | (x + 60) << 16 | (y + 40) << 8 | ((x + y) / 2 + 20);
}

// An affine map of the plane: (x, y) -> (a x + b y + c, d x + e y + f).
struct Affine {
  double a, b, c, d, e, f;
  Affine Inverse() const {
    const double det = a * e - b * d;
    return {e / det, -b / det, (b * f - c * e) / det, -d / det, a / det, (c * d - a * f) / det};
  }
  void Apply(double x, double y, double* ox, double* oy) const { *ox = a * x + b * y + c, *oy = d * x + e * y + f; }
};

struct Case {
  const char* name;
  u32 flags;
  double scaleX, scaleY;
  i32 sourceX, sourceY, sourceWidth, sourceHeight, anchorX, anchorY;
  double opacity;
  u8 red, green, blue;
  double angle;
  i32 centreX, centreY;
  bool alpha;
};

class GfxPixman : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("pixman");
    ASSERT_NE(window, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    ASSERT_TRUE(device.Init(nullptr, window, &mode));
  }
  void TearDown() override {
    device.Shutdown();
    if (IsWindow(window)) DestroyWindow(window);
  }
  HWND window = nullptr;
  CSL_GS_Gfx_DirectX device;
};

TEST_F(GfxPixman, AffineDrawsMatchPixman) {
  SL_GS_Image* images[2];
  std::vector<u32> premultiplied[2];
  for (int alpha = 0; alpha < 2; ++alpha) {
    TSLObjPtr<CSLImage> picture;
    picture.Attach(new CSLImage());
    ASSERT_TRUE(picture->Create(5, kPictureWidth, kPictureHeight, false));
    for (u32 y = 0; y < kPictureHeight; ++y)
      for (u32 x = 0; x < kPictureWidth; ++x) {
        const u32 argb = Gradient(x, y, alpha);
        SLMemCopy(picture->GetPixelAddress(x, y), &argb, 4);
      }
    if (alpha) picture->SetPoint(30, 20);
    images[alpha] = device.CreateImage(picture.Get(), true);
    ASSERT_NE(images[alpha], nullptr);
  }
  const u32 kScale = SL_GS_DRAW_SCALE, kSource = SL_GS_DRAW_SOURCE, kOpacity = SL_GS_DRAW_OPACITY;
  const u32 kTint = SL_GS_DRAW_TINT, kAdd = SL_GS_DRAW_ADDITIVE, kTurn = SL_GS_DRAW_ROTATION;
  const u32 kCentre = SL_GS_DRAW_CENTRE, kAnchor = SL_GS_DRAW_ANCHOR;
  const Case cases[] = {
      {"plain", 0, 1, 1, 0, 0, 0, 0, 0, 0, 100, 255, 255, 255, 0, 0, 0, false},
      {"scaled", kScale, 1.5, 2.25, 0, 0, 0, 0, 0, 0, 100, 255, 255, 255, 0, 0, 0, false},
      {"mirrored", kScale, -1, 1, 0, 0, 0, 0, 0, 0, 100, 255, 255, 255, 0, 0, 0, false},
      {"flipped and scaled", kScale, 1.25, -1.5, 0, 0, 0, 0, 0, 0, 100, 255, 255, 255, 0, 0, 0, false},
      {"source", kSource | kScale, 2, 2, 20, 10, 50, 40, 0, 0, 100, 255, 255, 255, 0, 0, 0, false},
      {"faded", kOpacity, 1, 1, 0, 0, 0, 0, 0, 0, 60, 255, 255, 255, 0, 0, 0, true},
      {"tinted", kTint | kScale, 1.3, 1.3, 0, 0, 0, 0, 0, 0, 100, 200, 120, 40, 0, 0, 0, true},
      {"added", kAdd | kOpacity, 1, 1, 0, 0, 0, 0, 0, 0, 70, 255, 255, 255, 0, 0, 0, true},
      {"turned", kTurn, 1, 1, 0, 0, 0, 0, 0, 0, 100, 255, 255, 255, 30, 0, 0, false},
      {"turned about a centre", kTurn | kCentre | kScale, 1.2, 1.2, 0, 0, 0, 0, 0, 0, 100, 255, 255, 255, -50, 40, 25, true},
      {"anchored", kAnchor | kScale, 1.5, 1.5, 0, 0, 0, 0, 16, 9, 100, 255, 255, 255, 0, 0, 0, false},
      {"hot spot", kOpacity, 1, 1, 0, 0, 0, 0, 0, 0, 90, 255, 255, 255, 0, 0, 0, true},
  };
  const i32 drawX = 150, drawY = 110;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SL_GS_DrawImageOptions o{};
    o.flags = c.flags, o.scaleX = c.scaleX, o.scaleY = c.scaleY;
    o.sourceX = c.sourceX, o.sourceY = c.sourceY, o.sourceWidth = c.sourceWidth, o.sourceHeight = c.sourceHeight;
    o.anchorX = c.anchorX, o.anchorY = c.anchorY, o.opacity = c.opacity;
    o.tintRed = c.red, o.tintGreen = c.green, o.tintBlue = c.blue, o.angleZ = c.angle;
    o.centreX = c.centreX, o.centreY = c.centreY;
    const u32 deviceBackground = (kBackground & 0xFF00FF00u) | (kBackground & 0xFF) << 16 | (kBackground >> 16 & 0xFF);
    ASSERT_TRUE(device.Clear(deviceBackground, false, false));
    ASSERT_TRUE(device.DrawImage(images[c.alpha], drawX, drawY, &o));
    std::vector<u32> ours(kWidth * kHeight);
    SL_GS_SurfaceAccess* lock = device.LockBackBuffer(false);
    ASSERT_NE(lock, nullptr);
    for (u32 y = 0; y < kHeight; ++y) SLMemCopy(&ours[y * kWidth], lock->pixels + y * lock->pitch, kWidth * 4);
    device.UnlockBackBuffer();

    // The map from the (source rectangle's) picture to the screen, as the draw defines it.
    const double sx = c.flags & kScale ? c.scaleX : 1, sy = c.flags & kScale ? c.scaleY : 1;
    double anchorX = c.flags & kAnchor ? c.anchorX : c.alpha ? 30 : 0;
    double anchorY = c.flags & kAnchor ? c.anchorY : c.alpha ? 20 : 0;
    if (c.flags & kScale) anchorX = std::trunc(std::fabs(sx) * anchorX), anchorY = std::trunc(std::fabs(sy) * anchorY);
    const double left = drawX - anchorX, top = drawY - anchorY;
    const double cx = c.flags & kCentre ? drawX + c.centreX : drawX, cy = c.flags & kCentre ? drawY + c.centreY : drawY;
    const double turn = c.flags & kTurn ? c.angle * 3.14159265358979323846 / 180 : 0;
    const double cs = std::cos(turn), sn = std::sin(turn);
    // Scale, move, then turn about the centre: s = R (S p + t - c) + c.
    const Affine forward{cs * sx, sn * sy, cs * (left - cx) + sn * (top - cy) + cx,
                         -sn * sx, cs * sy, -sn * (left - cx) + cs * (top - cy) + cy};
    const Affine backward = forward.Inverse();

    // pixman: the picture (tint and opacity applied, premultiplied) composited with the
    // same map; its pixel centres are half a pixel off ours.
    const i32 srcX = c.flags & kSource ? c.sourceX : 0, srcY = c.flags & kSource ? c.sourceY : 0;
    const i32 srcW = c.flags & kSource ? c.sourceWidth : kPictureWidth, srcH = c.flags & kSource ? c.sourceHeight : kPictureHeight;
    const u32 opacity = c.flags & kOpacity ? u32(c.opacity * 2.55) : 255;
    const u32 tint[3] = {c.flags & kTint ? c.blue : 255u, c.flags & kTint ? c.green : 255u, c.flags & kTint ? c.red : 255u};
    std::vector<u32> source(std::size_t(srcW) * srcH);
    for (i32 y = 0; y < srcH; ++y)
      for (i32 x = 0; x < srcW; ++x) {
        const u32 texel = Gradient(u32(x + srcX), u32(y + srcY), c.alpha);
        const u32 a = ((texel >> 24) * opacity + 127) / 255;
        u32 out = a << 24;
        for (int k = 0; k < 3; ++k) {
          const u32 channel = (((texel >> (8 * k)) & 0xFF) * tint[k] + 127) / 255;
          out |= ((channel * a + 127) / 255) << (8 * k);
        }
        source[std::size_t(y) * srcW + x] = out;
      }
    std::vector<u32> theirs(kWidth * kHeight, kBackground);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, srcW, srcH, source.data(), srcW * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, theirs.data(), kWidth * 4);
    // pixman maps destination to source: p = backward(d - 1/2).
    const Affine shifted{backward.a, backward.b, backward.c - 0.5 * (backward.a + backward.b),
                         backward.d, backward.e, backward.f - 0.5 * (backward.d + backward.e)};
    pixman_transform_t transform;
    pixman_transform_init_identity(&transform);
    transform.matrix[0][0] = pixman_double_to_fixed(shifted.a), transform.matrix[0][1] = pixman_double_to_fixed(shifted.b);
    transform.matrix[0][2] = pixman_double_to_fixed(shifted.c), transform.matrix[1][0] = pixman_double_to_fixed(shifted.d);
    transform.matrix[1][1] = pixman_double_to_fixed(shifted.e), transform.matrix[1][2] = pixman_double_to_fixed(shifted.f);
    ASSERT_TRUE(pixman_image_set_transform(src, &transform));
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    pixman_image_composite32(c.flags & kAdd ? PIXMAN_OP_ADD : PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0,
                             kWidth, kHeight);
    pixman_image_unref(src);
    pixman_image_unref(dst);

    auto inside = [&](double x, double y) {
      double px, py;
      backward.Apply(x, y, &px, &py);
      return px >= 0 && py >= 0 && px < srcW && py < srcH;
    };
    u32 compared = 0, wrong = 0;
    for (u32 y = 1; y + 1 < kHeight; ++y)
      for (u32 x = 1; x + 1 < kWidth; ++x) {
        bool deep = true;
        for (int dy = -1; dy <= 1 && deep; ++dy)
          for (int dx = -1; dx <= 1 && deep; ++dx) deep = inside(double(x) + dx, double(y) + dy);
        if (!deep) continue;
        ++compared;
        const u32 a = ours[y * kWidth + x], b = theirs[y * kWidth + x];
        bool close = true;
        for (int k = 0; k < 24; k += 8) close = close && std::abs(int((a >> k) & 0xFF) - int((b >> k) & 0xFF)) <= 2;
        if (!close && !wrong++)
          ADD_FAILURE() << "first at " << x << "," << y << ": " << std::hex << (a & 0xFFFFFF) << " against " << (b & 0xFFFFFF);
      }
    EXPECT_GT(compared, 1000u);
    EXPECT_EQ(wrong, 0u) << "of " << compared;
  }
}

}  // namespace
