// Images on the graphics device: how they are cut into textures, and what drawing them
// leaves in the back buffer, pixel for pixel, against pictures computed here.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <vector>

#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/SLImage.h"
#include "platform/wind3d.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

using SLInternals::SL_GS_ImageDevice;

class Device : public CSL_GS_Gfx_DirectX {
 public:
  SL_GS_ImageDevice* Tiles(SL_GS_Image* image) {
    SL_GS_ImageRecord* record = FindImageRecord(image);
    return record ? reinterpret_cast<SL_GS_ImageDevice*>(record->deviceData[0]) : nullptr;
  }
};

// A picture in framework format 5 (bytes B, G, R, A) from a function of (x, y) -> 0xAARRGGBB.
template <class Pixel>
TSLObjPtr<CSLImage> Picture(u32 width, u32 height, Pixel pixel) {
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  EXPECT_TRUE(image->Create(5, width, height, false));
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      const u32 argb = pixel(x, y);
      SLMemCopy(image->GetPixelAddress(x, y), &argb, 4);
    }
  return image;
}

class GfxDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("dibujo");
    ASSERT_NE(window, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 0, 0, 0};
    ASSERT_TRUE(device.Init(nullptr, window, &mode));
    ASSERT_TRUE(device.Clear(0xFF203040, false, false));
  }
  void TearDown() override {
    device.Shutdown();
    if (IsWindow(window)) DestroyWindow(window);
  }
  // The back buffer as 0xAARRGGBB words with the spare byte cleared.
  std::vector<u32> Back() {
    SL_GS_SurfaceAccess* lock = device.LockBackBuffer(false);
    EXPECT_NE(lock, nullptr);
    std::vector<u32> out(800 * 600);
    for (u32 y = 0; y < 600; ++y)
      for (u32 x = 0; x < 800; ++x) out[y * 800 + x] = reinterpret_cast<u32*>(lock->pixels + y * lock->pitch)[x] & 0xFFFFFF;
    device.UnlockBackBuffer();
    return out;
  }
  HWND window = nullptr;
  Device device;
};

constexpr u32 kBackground = 0x403020;  // Clear(0xFF203040): red 0x40 in the low byte

// Tiles cover the picture with textures of falling powers of two, ending in 16.
TEST_F(GfxDraw, TilingCoversThePicture) {
  struct Row {
    u32 width, height;
    std::vector<u32> columns, rows;
    u32 limit = 0, aspect = 0;  // texture limits the device reports (0: its own)
    bool square = false;
  } rows[] = {
      {664, 372, {512, 128, 16, 16}, {256, 64, 32, 16, 16}},
      {10, 10, {16}, {16}},
      {2048, 17, {2048}, {16, 16}},
      {4100, 1, {2048, 2048, 16}, {16}},
      // Too wide for an aspect ratio of 2: the first row of tiles grows to half the width.
      {300, 40, {256, 32, 16}, {128}, 256, 2},
      // Square-only: each of the first tiles takes the larger side.
      {300, 40, {256, 32, 16}, {256}, 256, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.width << "x" << row.height << " limit " << row.limit);
    if (row.limit) {
      device.Shutdown();
      SLD3D9TestTextureLimits(row.limit, row.limit, row.aspect, row.square);
      const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 0, 0, 0};
      const bool opened = device.Init(nullptr, window, &mode);
      SLD3D9TestTextureLimits(0, 0, 0, false);
      ASSERT_TRUE(opened);
    }
    auto picture = Picture(row.width, row.height, [](u32 x, u32 y) { return 0xFF000000u | ((x * 40503u) ^ (y * 7919u)); });
    SL_GS_Image* image = device.CreateImage(picture.Get(), true);
    ASSERT_NE(image, nullptr);
    SL_GS_ImageDevice* tiles = device.Tiles(image);
    ASSERT_NE(tiles, nullptr);
    ASSERT_EQ(tiles->columns, row.columns.size());
    ASSERT_EQ(tiles->rows, row.rows.size());
    for (u32 c = 0; c < tiles->columns; ++c) EXPECT_EQ(tiles->tiles[c].width, row.columns[c]);
    for (u32 r = 0; r < tiles->rows; ++r) EXPECT_EQ(tiles->tiles[r * tiles->columns].height, row.rows[r]);
    // The last tile's quad ends at the picture's corner, its texture coordinates at the share used.
    const SLInternals::SL_GS_ImageTile& last = tiles->tiles[tiles->columns * tiles->rows - 1];
    float* vertices = nullptr;
    ASSERT_GE(tiles->buffer->Lock(0, 0, reinterpret_cast<void**>(&vertices), 0), 0);
    const float* corner = vertices + (tiles->columns * tiles->rows - 1) * 24 + 6;  // vertex 1: right, bottom
    EXPECT_EQ(corner[0], float(row.width));
    EXPECT_EQ(corner[1], float(row.height));
    EXPECT_EQ(corner[4], float(row.width - last.x) / float(last.width));
    tiles->buffer->Unlock();
    // Texels past the picture repeat its edge.
    D3DLOCKED_RECT locked{};
    ASSERT_GE(last.texture->LockRect(0, &locked, nullptr, 0), 0);
    const u32* texels = static_cast<const u32*>(locked.pBits);
    const u32 pitch = u32(locked.Pitch) / 4;
    const u32 cw = row.width - last.x, ch = row.height - last.y;
    EXPECT_EQ(texels[(last.height - 1) * pitch + last.width - 1], texels[(ch - 1) * pitch + cw - 1]);
    EXPECT_EQ(texels[(ch - 1) * pitch + last.width - 1], texels[(ch - 1) * pitch + cw - 1]);
    last.texture->UnlockRect(0);
    device.DestroyImage(image);
  }
}

// An unscaled draw at whole pixels copies the picture exactly, tile seams included; keyed
// pixels and a source rectangle leave the background; a lost device draws nothing.
TEST_F(GfxDraw, UnscaledDrawsAreExact) {
  std::mt19937 random(7);
  std::vector<u32> colours(664 * 372);
  for (u32& c : colours) c = 0xFF000000u | (random() & 0xFFFFFF);
  colours[5] = 0xFF112233;  // the key colour, once
  auto picture = Picture(664, 372, [&](u32 x, u32 y) { return colours[y * 664 + x]; });
  SL_GS_Image* image = device.CreateImage(picture.Get(), true);
  ASSERT_NE(image, nullptr);
  SL_EXPECT_OK(device.DrawImage(image, 70, 90, nullptr));
  std::vector<u32> back = Back();
  u32 wrong = 0;
  for (u32 y = 0; y < 600; ++y)
    for (u32 x = 0; x < 800; ++x) {
      const bool inside = x >= 70 && x < 70 + 664 && y >= 90 && y < 90 + 372;
      wrong += back[y * 800 + x] != (inside ? colours[(y - 90) * 664 + x - 70] & 0xFFFFFF : kBackground);
    }
  EXPECT_EQ(wrong, 0u);

  picture->SetTransparentColor(0x332211);
  SL_GS_Image* keyed = device.CreateImage(picture.Get(), true);
  ASSERT_TRUE(device.Clear(0xFF203040, false, false));
  SL_GS_DrawImageOptions source{};
  source.flags = SL_GS_DRAW_SOURCE;
  source.sourceX = 3, source.sourceY = 0, source.sourceWidth = 4, source.sourceHeight = 2;
  SL_EXPECT_OK(device.DrawImage(keyed, 0, 0, &source));
  back = Back();
  EXPECT_EQ(back[0], colours[3] & 0xFFFFFF);
  EXPECT_EQ(back[2], kBackground);  // picture column 5: the key
  EXPECT_EQ(back[801], colours[668] & 0xFFFFFF);
  EXPECT_EQ(back[4], kBackground);  // right of the rectangle
  source.sourceX = 700;
  SL_EXPECT_OK(device.DrawImage(keyed, 0, 0, &source));

  SLD3D9TestQueueAnswer(SLD3D9TestScript::kPresent, D3DERR_DEVICELOST);
  device.EndFrame();
  ASSERT_TRUE(device.Clear(0xFF203040, false, false));
  SL_EXPECT_OK(device.DrawImage(image, 0, 0, nullptr));
  EXPECT_EQ(Back()[0], kBackground);
}

// Options against pictures computed here: mirror, target size, anchor, opacity, tint,
// additive blending and a quarter turn are all exact on whole pixels.
TEST_F(GfxDraw, OptionsTransformThePicture) {
  auto colour = [](u32 x, u32 y) { return 0xFF000000u | (x * 8) << 16 | (y * 8) << 8 | 0x40; };
  auto picture = Picture(32, 16, colour);
  picture->SetPoint(2, 3);
  SL_GS_Image* image = device.CreateImage(picture.Get(), true);
  ASSERT_NE(image, nullptr);
  auto blend = [](u32 over, u32 under, u32 alpha) {
    u32 out = 0;
    for (int s = 0; s < 24; s += 8) {
      const u32 a = (((over >> s) & 0xFF) * alpha + 127) / 255, b = (((under >> s) & 0xFF) * (255 - alpha) + 127) / 255;
      out |= (a + b > 255 ? 255 : a + b) << s;
    }
    return out;
  };
  struct Row {
    const char* name;
    SL_GS_DrawImageOptions options;
    // The expected pixel at draw-relative (dx, dy), or -1 for the background.
    std::function<i64(i32, i32)> expect;
  };
  auto inside = [](i32 x, i32 y) { return x >= 0 && x < 32 && y >= 0 && y < 16; };
  SL_GS_DrawImageOptions mirror{}, half{}, faded{}, tinted{}, added{}, turned{};
  mirror.flags = SL_GS_DRAW_SCALE, mirror.scaleX = -1, mirror.scaleY = 1;
  half.flags = SL_GS_DRAW_SCALE | SL_GS_DRAW_ANCHOR, half.scaleX = 2, half.scaleY = 2, half.anchorX = 1, half.anchorY = 1;
  faded.flags = SL_GS_DRAW_OPACITY | SL_GS_DRAW_ANCHOR, faded.opacity = 50;
  tinted.flags = SL_GS_DRAW_TINT | SL_GS_DRAW_ANCHOR, tinted.tintRed = 128, tinted.tintGreen = 255, tinted.tintBlue = 0;
  added.flags = SL_GS_DRAW_ADDITIVE | SL_GS_DRAW_ANCHOR;
  turned.flags = SL_GS_DRAW_ROTATION | SL_GS_DRAW_ANCHOR, turned.angleZ = 90;
  const Row rows[] = {
      // The hot spot (2, 3) is the anchor; the mirror extends left of it.
      {"mirror", mirror, [&](i32 x, i32 y) { return inside(-x - 3, y + 3) ? i64(colour(-x - 3, y + 3) & 0xFFFFFF) : -1; }},
      {"double", half, [&](i32 x, i32 y) { return inside((x + 2) / 2, (y + 2) / 2) && x >= -2 && y >= -2 ? i64(colour((x + 2) / 2, (y + 2) / 2) & 0xFFFFFF) : -1; }},
      {"faded", faded, [&](i32 x, i32 y) { return inside(x, y) ? i64(blend(colour(x, y), kBackground, 127)) : -1; }},
      {"tinted", tinted, [&](i32 x, i32 y) {
         if (!inside(x, y)) return i64(-1);
         const u32 c = colour(x, y);
         return i64(((((c >> 16) & 0xFF) * 128 + 127) / 255) << 16 | (c & 0xFF00));
       }},
      {"added", added, [&](i32 x, i32 y) {
         if (!inside(x, y)) return i64(-1);
         u32 out = 0;
         for (int s = 0; s < 24; s += 8) out |= std::min<u32>(((colour(x, y) >> s) & 0xFF) + ((kBackground >> s) & 0xFF), 255) << s;
         return i64(out);
       }},
      // A quarter turn about the draw point: picture (px, py) lands at (py, -1 - px).
      {"turned", turned, [&](i32 x, i32 y) { return inside(-1 - y, x) ? i64(colour(-1 - y, x) & 0xFFFFFF) : -1; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(device.Clear(0xFF203040, false, false));
    SL_EXPECT_OK(device.DrawImage(image, 100, 100, &row.options));
    const std::vector<u32> back = Back();
    u32 wrong = 0;
    for (i32 y = 40; y < 180; ++y)
      for (i32 x = 20; x < 180; ++x) {
        const i64 want = row.expect(x - 100, y - 100);
        const u32 got = back[y * 800 + x];
        if (got != (want < 0 ? kBackground : u32(want)) && !wrong++)
          ADD_FAILURE() << "first at " << x - 100 << "," << y - 100 << ": " << std::hex << got << " not " << want;
      }
    EXPECT_EQ(wrong, 0u);
  }
}

// The clip rectangle keeps drawing and clearing inside it, by scissor or by clip planes alike.
TEST_F(GfxDraw, ClipRectangle) {
  for (bool planes : {false, true}) {
    SCOPED_TRACE(planes);
    device.Shutdown();
    SLD3D9TestHideScissor(planes);
    const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 0, 0, 0};
    ASSERT_TRUE(device.Init(nullptr, window, &mode));
    SLD3D9TestHideScissor(false);
    auto picture = Picture(64, 64, [](u32 x, u32 y) { return 0xFF000000u | x * 4 << 8 | y * 4; });
    SL_GS_Image* image = device.CreateImage(picture.Get(), true);
    ASSERT_TRUE(device.Clear(0xFF203040, false, false));
    ASSERT_TRUE(device.SetClipRect(10, 20, 30, 25));
    SL_EXPECT_OK(device.Clear(0xFF0000FF, false, false));
    SL_EXPECT_OK(device.DrawImage(image, 5, 5, nullptr));
    const std::vector<u32> back = Back();
    u32 wrong = 0;
    for (u32 y = 0; y < 100; ++y)
      for (u32 x = 0; x < 100; ++x) {
        const bool clip = x >= 10 && x < 40 && y >= 20 && y < 45;
        wrong += back[y * 800 + x] != (clip ? (x - 5) * 4 << 8 | (y - 5) * 4 : kBackground);
      }
    EXPECT_EQ(wrong, 0u);
    ASSERT_TRUE(device.SetClipRect(0, 0, 800, 600));
    ASSERT_TRUE(device.Clear(0xFF203040, false, false));
    EXPECT_EQ(Back()[0], kBackground);
  }
}

// A font of one page whose pixels are a pattern: "A", "V" and "E" (touching the page's
// right and bottom edges), kerning (A, V) -1.
u32 PagePixel(u32 x, u32 y) { return 0xFF000000u | x << 16 | y << 8 | 0x80; }

std::string WriteFont(const TempDir& dir) {
  std::string data = "Font File.\x1a";
  auto u16 = [&](u32 v) { data += char(v & 0xFF), data += char(v >> 8); };
  auto u32w = [&](u32 v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(2), u16(3), u32w(0xFF00FF), u32w(1);
  const u32 glyphs[3][6] = {{'A', 10, 0, 17, 12, 0}, {'V', 20, 0, 26, 12, 0}, {'E', 248, 244, 256, 256, 0}};
  for (const auto& g : glyphs)
    for (u32 field : g) u16(field);
  u16(1), u16('A'), u16('V'), u16(0xFFFF);
  for (u32 y = 0; y < 256; ++y)
    for (u32 x = 0; x < 256; ++x) u32w(PagePixel(x, y));
  const std::string path = dir.Host("pattern.fnt");
  std::ofstream(path, std::ios::binary) << data;
  return path;
}

// Text draws each glyph's pixels at its pen position (kerning moving the glyphs after
// the pair), aligns on the measured width and line height, and stops at the terminator.
TEST_F(GfxDraw, TextDrawsGlyphsAtTheirPens) {
  TempDir dir;
  SL_GS_Font* font = device.LoadFontFromFile(WriteFont(dir).c_str());
  ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
  struct Row {
    const char16_t* text;
    u32 length, alignment;
    i32 width;
    i32 left, top;  // where the first glyph lands for a draw at (200, 100)
  } rows[] = {
      {u"AVE", 3, 0, 24, 200, 100},
      {u"AVE", 3, 0x21, 24, 188, 88},
      {u"AV\0E", 0xFFFFFFFF, 0x12, 14, 186, 94},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.alignment);
    ASSERT_TRUE(device.Clear(0xFF203040, false, false));
    EXPECT_EQ(device.DrawTextW(font, 200, 100, row.alignment, nullptr, row.text, row.length), row.width);
    const std::vector<u32> back = Back();
    // Glyph pixels at their pens: A at 0, V at 9, E at 16 (after the pair's -1).
    struct Placed {
      u32 pen, left, top, right, bottom;
    } glyphs[] = {{0, 10, 0, 17, 12}, {9, 20, 0, 26, 12}, {16, 248, 244, 256, 256}};
    u32 wrong = 0, drawn = 0;
    for (const Placed& g : glyphs) {
      const bool expected = g.pen < 16 || row.width == 24;
      for (u32 y = g.top; y < g.bottom; ++y)
        for (u32 x = g.left; x < g.right; ++x) {
          const u32 got = back[(row.top + y - g.top) * 800 + row.left + g.pen + x - g.left];
          wrong += got != (expected ? PagePixel(x, y) & 0xFFFFFF : kBackground);
          drawn += got != kBackground;
        }
    }
    EXPECT_EQ(wrong, 0u);
    u32 all = 0;
    for (u32 pixel : back) all += pixel != kBackground;
    EXPECT_EQ(all, drawn);  // nothing else
  }
  // The memory device, on which the content tests read where glyphs land, steps the same.
  CMemoryGfxDevice memory;
  ASSERT_TRUE(memory.Init(nullptr, nullptr, nullptr));
  SL_GS_Font* same = memory.LoadFontFromFile(WriteFont(dir).c_str());
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(memory.DrawTextW(same, 200, 100, 0, nullptr, u"AVE", 3), 24);
  const std::vector<CMemoryGfxDevice::DrawnGlyph> pens{{'A', 200, 100}, {'V', 209, 100}, {'E', 216, 100}};
  EXPECT_EQ(memory.m_drawn, pens);
  SL_GS_DrawImageOptions doubled{};
  doubled.flags = SL_GS_DRAW_SCALE, doubled.scaleX = doubled.scaleY = 2;
  EXPECT_EQ(device.DrawTextW(font, 0, 0, 0, &doubled, u"AVE", 3), 24);
  SL_EXPECT_FAIL(device.DrawTextW(font, 0, 0, 0, nullptr, nullptr, 3), SL_E_INVALID_ARG);
  ASSERT_TRUE(device.DestroyFont(font));
  SL_EXPECT_FAIL(device.DrawTextW(font, 0, 0, 0, nullptr, u"A", 1), SL_E_INDEX);
}

}  // namespace
