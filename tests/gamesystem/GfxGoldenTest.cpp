// Draws whose pictures are not simple to compute here, against checked-in golden crops:
// pictures turned about the x and y axes (perspective), pushed back and brought forward,
// and text aligned, scaled and with a glyph missing between a kerning pair. A crop
// matches when every channel is within 2, but for at most 0.2 % of pixels (shape edges).
//
// The goldens are tests/gamesystem/golden/<name>.png, remade after a deliberate change
// with:  SL_WRITE_GOLDEN=1 build/tests/test_gamesystem_GfxGoldenTest
// (each crop is written as raw RGBA and turned into PNG by ImageMagick's convert).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

constexpr u32 kWidth = 256, kHeight = 160;

// A font of every printable ASCII glyph, each 5 x 9 in a 16 x 16 cell of the page with a
// pattern of its own, advancing by 7; kerning (A, V) -1.
std::string WriteFont(const TempDir& dir) {
  std::string data = "Font File.\x1a";
  auto u16 = [&](u32 v) { data += char(v & 0xFF), data += char(v >> 8); };
  auto u32w = [&](u32 v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(2), u16(95), u32w(0xFF00FF), u32w(1);
  for (u32 i = 0; i < 95; ++i) u16(32 + i), u16(i % 16 * 16), u16(i / 16 * 16), u16(i % 16 * 16 + 5), u16(i / 16 * 16 + 9), u16(0);
  u16(1), u16('A'), u16('V'), u16(0xFFFF);
  for (u32 y = 0; y < 256; ++y)
    for (u32 x = 0; x < 256; ++x) {
      const u32 glyph = y / 16 * 16 + x / 16, cx = x % 16, cy = y % 16;
      const bool ink = cx < 5 && cy < 9 && ((cx * 3 + cy * 5 + glyph) % 4 != 0);
      u32w(ink ? 0xFF000000u | (0x60 + glyph) << 16 | (0xF0 - cy * 8) << 8 | 0x40 : 0);
    }
  const std::string path = dir.Host("golden.fnt");
  std::ofstream(path, std::ios::binary) << data;
  return path;
}

class GfxGolden : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("dorado");
    ASSERT_NE(window, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, kWidth, kHeight, 32, 1, 0, 0};
    ASSERT_TRUE(device.Init(nullptr, window, &mode));
    ASSERT_TRUE(device.Clear(0xFF402010, false, false));
  }
  void TearDown() override {
    device.Shutdown();
    if (IsWindow(window)) DestroyWindow(window);
  }
  // The back buffer as bytes red, green, blue, alpha (alpha 255).
  std::string Crop() {
    SL_GS_SurfaceAccess* lock = device.LockBackBuffer(false);
    EXPECT_NE(lock, nullptr);
    std::string out(kWidth * kHeight * 4, '\0');
    for (u32 y = 0; y < kHeight; ++y)
      for (u32 x = 0; x < kWidth; ++x) {
        const u8* p = lock->pixels + y * lock->pitch + x * 4;
        char* q = &out[(y * kWidth + x) * 4];
        q[0] = char(p[2]), q[1] = char(p[1]), q[2] = char(p[0]), q[3] = char(0xFF);
      }
    device.UnlockBackBuffer();
    return out;
  }
  void ExpectGolden(const std::string& name) {
    const std::string crop = Crop();
    const std::string golden = std::string(SL_SOURCE_DIR) + "/tests/gamesystem/golden/" + name + ".png";
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    if (std::getenv("SL_WRITE_GOLDEN")) {
      const std::string raw = dir.Host(name + ".rgba");
      std::ofstream(raw, std::ios::binary) << crop;
      SLTestCapture("convert -size " + size + " -depth 8 'rgba:" + raw + "' -strip 'png24:" + golden + "'");
    }
    const std::string want = SLTestCapture("convert '" + golden + "' -depth 8 -alpha opaque rgba:-");
    ASSERT_EQ(want.size(), crop.size()) << golden;
    u32 far = 0;
    for (std::size_t i = 0; i < crop.size(); i += 4) {
      bool close = true;
      for (int k = 0; k < 3; ++k) close = close && std::abs(int(u8(crop[i + k])) - int(u8(want[i + k]))) <= 2;
      far += !close;
    }
    EXPECT_LE(far, kWidth * kHeight / 500) << name;
    // Something was drawn: the crop is not the background alone.
    EXPECT_NE(crop.find_first_not_of(std::string("\x10\x20\x40\xff", 4)), std::string::npos);
  }
  HWND window = nullptr;
  CSL_GS_Gfx_DirectX device;
  TempDir dir;
};

TEST_F(GfxGolden, TurnedAndDeepPictures) {
  TSLObjPtr<CSLImage> picture;
  picture.Attach(new CSLImage());
  ASSERT_TRUE(picture->Create(5, 96, 64, false));
  for (u32 y = 0; y < 64; ++y)
    for (u32 x = 0; x < 96; ++x) {
      const u32 check = ((x / 8) ^ (y / 8)) & 1 ? 0x303030 : 0;
      const u32 argb = 0xFF000000u | (((x * 2 + 40) << 16 | (y * 3 + 20) << 8 | 0x80) ^ check);
      SLMemCopy(picture->GetPixelAddress(x, y), &argb, 4);
    }
  SL_GS_Image* image = device.CreateImage(picture.Get(), true);
  ASSERT_NE(image, nullptr);
  struct Row {
    const char* name;
    u32 flags;
    double angleX, angleY, depth;
  } rows[] = {
      {"tilted_x", SL_GS_DRAW_ROTATION, 50, 0, 0},
      {"tilted_y", SL_GS_DRAW_ROTATION, 0, 40, 0},
      {"depth_100", SL_GS_DRAW_DEPTH, 0, 0, 100},
      {"depth_minus_30", SL_GS_DRAW_DEPTH, 0, 0, -30},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(device.Clear(0xFF402010, false, false));
    SL_GS_DrawImageOptions o{};
    o.flags = row.flags, o.angleX = row.angleX, o.angleY = row.angleY, o.depth = row.depth;
    ASSERT_TRUE(device.DrawImage(image, 80, 48, &o));
    ExpectGolden(row.name);
  }
}

TEST_F(GfxGolden, TextAlignedScaledAndBrokenKerning) {
  SL_GS_Font* font = device.LoadFontFromFile(WriteFont(dir).c_str());
  ASSERT_NE(font, nullptr);
  SL_GS_DrawImageOptions doubled{};
  doubled.flags = SL_GS_DRAW_SCALE, doubled.scaleX = doubled.scaleY = 2;
  // The width returned is the unscaled one; the missing glyph (é) ends the pair (A, V).
  EXPECT_EQ(device.DrawTextW(font, 128, 80, 0x21, nullptr, u"AVANCE 21", 9), 60);
  ExpectGolden("text_aligned");
  ASSERT_TRUE(device.Clear(0xFF402010, false, false));
  EXPECT_EQ(device.DrawTextW(font, 10, 40, 0, &doubled, u"AV.x", 4), 25);
  ExpectGolden("text_doubled");
  ASSERT_TRUE(device.Clear(0xFF402010, false, false));
  EXPECT_EQ(device.DrawTextW(font, 10, 40, 0, nullptr, u"A\u00e9V AV", 6), 32);
  ExpectGolden("text_missing_glyph");
}

}  // namespace
