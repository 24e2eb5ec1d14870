// Drawing with skins: the nine-slice pieces of elements (logged draw by draw), outlined
// and shadowed text, the clip stack, image-beside-text placement, and on the software
// device the pixels themselves: hit tests agree with what is drawn, and a default-skin
// panel matches its golden picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiManager.h"
#include "image/SLImage.h"
#include "tests/support/GuiTestWindow.h"
#include "tests/support/RecordingGfx.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

// Logs each image draw as "sx,sy,sw,sh@x,y", with "->w,h" when it is scaled.
class PieceGfx : public CRecordingGfx {
 public:
  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* o) override {
    std::string line;
    if (o && (o->flags & SL_GS_DRAW_SOURCE))
      line = std::to_string(o->sourceX) + "," + std::to_string(o->sourceY) + "," + std::to_string(o->sourceWidth) +
             "," + std::to_string(o->sourceHeight);
    line += "@" + std::to_string(x) + "," + std::to_string(y);
    if (o && (o->flags & SL_GS_DRAW_TARGET_SIZE)) {
      i32 w, h;
      SLMemCopy(&w, &o->scaleX, 4);
      SLMemCopy(&h, &o->scaleY, 4);
      line += "->" + std::to_string(w) + "," + std::to_string(h);
    }
    if (o && (o->flags & SL_GS_DRAW_OPACITY)) line += " o" + std::to_string(int(o->opacity));
    pieces.push_back(line);
    return CMemoryGfxDevice::DrawImage(image, x, y, o);
  }
  std::vector<std::string> pieces;
};

class SkinDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(m.Init());
    ASSERT_TRUE(m.SetGfx(&gfx));
    picture.Attach(new CSLImage());
    ASSERT_TRUE(picture->Create(5, 64, 64, false));
    SLMemSet(picture->GetPixelAddress(0, 0), 0xFF, 64 * 64 * 4);  // opaque white: every pixel hits
    handle = gfx.CreateImage(picture.Get(), false);
    ASSERT_NE(handle, nullptr);
    skin.imageCount = 1;
    skin.imageHandles = &handle;
    SLGuiManagerState* state = m.GetState();
    state->clipX = 0, state->clipY = 0, state->clipWidth = 800, state->clipHeight = 600;
  }
  void TearDown() override {
    m.Shutdown();
    gfx.DestroyImage(handle);
  }
  SLGuiSkinElement Element(i32 x, i32 y, i32 w, i32 h, i32 l, i32 t, i32 r, i32 b, u32 sx, u32 sy) {
    return SLGuiSkinElement{0, x, y, w, h, l, t, r, b, sx, sy, &skin};
  }
  CSL_GS_GuiManager m;
  PieceGfx gfx;
  TSLObjPtr<CSLImage> picture;
  SL_GS_Image* handle = nullptr;
  SLGuiSkin skin{};
};

using Pieces = std::vector<std::string>;

// Border pieces for element/rectangle pairs, tiny and degenerate ones included. The
// insets of a skin are checked against its image only, so pieces are cut to the element
// and tiles or bands of no size are skipped rather than looped over.
TEST_F(SkinDraw, BorderPiecesForElementAndRectangle) {
  struct Case {
    const char* what;
    SLGuiSkinElement e;
    SLGuiRect r;
    Pieces pieces;
  } cases[] = {
      {"stretched",
       Element(0, 0, 10, 10, 2, 3, 4, 1, 1, 1),
       {100, 200, 30, 20},
       {"0,0,2,3@100,200", "0,9,2,1@100,219", "0,3,2,6@100,203->2,16", "6,0,4,3@126,200", "6,9,4,1@126,219",
        "6,3,4,6@126,203->4,16", "2,0,4,3@102,200->24,3", "2,9,4,1@102,219->24,1"}},
      {"tiled edges, the last copy cut",
       Element(8, 8, 10, 10, 2, 2, 2, 2, 0, 0),
       {0, 0, 15, 15},
       {"8,8,2,2@0,0", "8,16,2,2@0,13", "8,10,2,6@0,2", "8,10,2,5@0,8", "16,8,2,2@13,0", "16,16,2,2@13,13",
        "16,10,2,6@13,2", "16,10,2,5@13,8", "10,8,6,2@2,0", "10,8,5,2@8,0", "10,16,6,2@2,13", "10,16,5,2@8,13"}},
      {"smaller than its insets: top and left keep priority",
       Element(0, 0, 10, 10, 2, 3, 4, 1, 1, 1),
       {0, 0, 3, 2},
       {"0,0,2,2@0,0", "9,0,1,2@2,0"}},
      {"bottom piece shrinks to H - t", Element(0, 0, 10, 10, 2, 3, 2, 4, 1, 1), {0, 0, 10, 5},
       {"0,0,2,3@0,0", "0,8,2,2@0,3", "8,0,2,3@8,0", "8,8,2,2@8,3", "2,0,6,3@2,0", "2,8,6,2@2,3"}},
      {"zero-size centre: corners only", Element(0, 0, 6, 6, 3, 3, 3, 3, 0, 0), {0, 0, 20, 20},
       {"0,0,3,3@0,0", "0,3,3,3@0,17", "3,0,3,3@17,0", "3,3,3,3@17,17"}},
      {"inset wider than the element", Element(0, 0, 4, 4, 6, 0, 0, 0, 0, 0), {0, 0, 20, 8},
       {"0,0,4,4@0,0", "0,0,4,4@0,4"}},
      {"no insets: nothing but the centre", Element(0, 0, 4, 4, 0, 0, 0, 0, 0, 0), {0, 0, 20, 8}, {}},
      {"empty rectangle", Element(0, 0, 10, 10, 2, 2, 2, 2, 1, 1), {5, 5, 0, 9}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gfx.pieces.clear();
    SL_EXPECT_OK(m.DrawSkinElement(&c.e, &c.r, 100));
    EXPECT_EQ(gfx.pieces, c.pieces);
  }
  // A translucent draw carries its opacity on every piece.
  gfx.pieces.clear();
  const SLGuiSkinElement e = Element(0, 0, 10, 10, 2, 0, 0, 0, 1, 1);
  const SLGuiRect r{0, 0, 2, 2};
  SL_EXPECT_OK(m.DrawSkinElement(&e, &r, 40));
  EXPECT_EQ(gfx.pieces, (Pieces{"0,0,2,10@0,0->2,2 o40"}));
}

TEST_F(SkinDraw, InnerAreaFillsPerAxis) {
  struct Case {
    const char* what;
    u32 sx, sy;
    Pieces pieces;
  } cases[] = {
      {"stretched", 1, 1, {"2,2,6,6@10,10->10,8"}},
      {"rows", 1, 0, {"2,2,6,6@10,10->10,6", "2,2,6,2@10,16->10,2"}},
      {"columns", 0, 1, {"2,2,6,6@10,10->6,8", "2,2,4,6@16,10->4,8"}},
      {"tiles", 0, 0, {"2,2,6,6@10,10", "2,2,4,6@16,10", "2,2,6,2@10,16", "2,2,4,2@16,16"}},
  };
  const SLGuiRect area{10, 10, 10, 8};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gfx.pieces.clear();
    const SLGuiSkinElement e = Element(0, 0, 10, 10, 2, 2, 2, 2, c.sx, c.sy);
    SL_EXPECT_OK(m.DrawSkinElementInRect(&e, &area, 100, nullptr));
    EXPECT_EQ(gfx.pieces, c.pieces);
  }
  // An override draws its own border in the rectangle and fills inside it.
  gfx.pieces.clear();
  const SLGuiSkinElement e = Element(0, 0, 10, 10, 2, 2, 2, 2, 1, 1);
  const SLGuiSkinElement o = Element(20, 20, 6, 6, 1, 1, 1, 1, 1, 1);
  SL_EXPECT_OK(m.DrawSkinElementInRect(&e, &area, 100, &o));
  ASSERT_FALSE(gfx.pieces.empty());
  EXPECT_EQ(gfx.pieces.back(), "21,21,4,4@11,11->8,6");
  // A centre of no size draws nothing and ends.
  gfx.pieces.clear();
  const SLGuiSkinElement hollow = Element(0, 0, 6, 6, 3, 3, 3, 3, 0, 0);
  SL_EXPECT_OK(m.DrawSkinElementInRect(&hollow, &area, 100, nullptr));
  EXPECT_TRUE(gfx.pieces.empty());
  // Without a device drawing fails and changes nothing.
  m.SetGfx(nullptr);
  SL_EXPECT_FAIL(m.DrawSkinElement(&e, &area, 100), SL_E_NOT_INITIALISED);
  EXPECT_TRUE(m.HitTestSkinElement(&e, &area, 12, 12));
}

TEST_F(SkinDraw, ClipStackIntersectsReplacesAndRestores) {
  gfx.m_log.clear();
  SL_EXPECT_OK(m.PushClipRect(10, 10, 100, 100, false));
  SL_EXPECT_OK(m.PushClipRect(50, 50, 100, 100, false));
  SL_EXPECT_OK(m.PushClipRect(0, 0, 30, 30, true));  // replaces the top: cut by the first
  SL_EXPECT_OK(m.PushClipRect(500, 500, 10, 10, false));  // disjoint: empty
  SL_EXPECT_OK(m.PopClipRect());
  SL_EXPECT_OK(m.PopClipRect());
  SL_EXPECT_OK(m.PopClipRect());  // back to the window clip
  SL_EXPECT_OK(m.PopClipRect());  // an empty stack pops as a success
  EXPECT_EQ(gfx.m_log,
            "clip 10,10,100,100\nclip 50,50,60,60\nclip 10,10,20,20\nclip 500,500,0,0\nclip 10,10,20,20\n"
            "clip 10,10,100,100\nclip 0,0,800,600\n");
  EXPECT_EQ(m.GetState()->clipStack->GetCount(), 0u);
}

class RefusingGfx : public CRecordingGfx {
 public:
  bool ApplyClipRect(u32, u32, u32, u32) override { return SLFail(SL_E_NOT_SUPPORTED, false); }
};

TEST(SkinDrawClip, RefusedClipIsNotKept) {
  SLTestRegisterClasses();
  CSL_GS_GuiManager m;
  ASSERT_TRUE(m.Init());
  RefusingGfx gfx;
  ASSERT_TRUE(m.SetGfx(&gfx));
  SL_EXPECT_FAIL(m.PushClipRect(0, 0, 10, 10, false), SL_E_NOT_SUPPORTED);
  EXPECT_EQ(m.GetState()->clipStack->GetCount(), 0u);
  m.SetGfx(nullptr);
  SL_EXPECT_OK(m.PushClipRect(0, 0, 10, 10, false));  // no device: nothing to do
  m.Shutdown();
}

// Outline rings of 4i copies, a shadow only with both offsets, the text last on top.
TEST_F(SkinDraw, OutlinesAndShadowsAreCopiesOfTheText) {
  ASSERT_TRUE(m.LoadDefaultSkin());
  SL_GS_Font* font = m.GetSkinFont(0, "PushButton", "Font");
  ASSERT_NE(font, nullptr);
  const SLGuiRect box{100, 100, 200, 40};
  auto runs = [&](const SLGuiSkinColor& color) {
    gfx.m_log.clear();
    EXPECT_TRUE(m.DrawWidgetText(font, "Hola", &color, 0x100, &box, 100));
    std::vector<std::string> texts;
    size_t at = 0;
    while ((at = gfx.m_log.find("text 'Hola'@", at)) != std::string::npos) {
      const size_t end = gfx.m_log.find(' ', at + 12);
      texts.push_back(gfx.m_log.substr(at + 12, end - at - 12));
      at = end;
    }
    return texts;
  };
  const std::vector<std::string> plain = runs(SLGuiSkinColor{0xFF0000FF, 0, 0, 0, 0, 0, nullptr});
  ASSERT_EQ(plain.size(), 1u);
  int x0, y0;
  ASSERT_EQ(std::sscanf(plain[0].c_str(), "%d,%d", &x0, &y0), 2);
  const std::vector<std::string> outlined = runs(SLGuiSkinColor{0xFF0000FF, 0xFF000000, 2, 0, 0, 0, nullptr});
  ASSERT_EQ(outlined.size(), 4u + 8u + 1u);
  const auto at = [&](int dx, int dy) { return std::to_string(x0 + dx) + "," + std::to_string(y0 + dy); };
  EXPECT_EQ((std::vector<std::string>(outlined.begin(), outlined.begin() + 4)),
            (std::vector<std::string>{at(1, 0), at(0, 1), at(-1, 0), at(0, -1)}));
  EXPECT_EQ(outlined[4], at(2, 0));
  EXPECT_EQ(outlined[6], at(0, 2));  // the ring of radius 2 turns in eighths
  EXPECT_EQ(outlined.back(), at(0, 0));
  EXPECT_EQ(runs(SLGuiSkinColor{0xFF0000FF, 0, 0, 0x80000000, 2, 0, nullptr}).size(), 1u);
  const std::vector<std::string> shadowed = runs(SLGuiSkinColor{0xFF0000FF, 0, 0, 0x80000000, 2, 3, nullptr});
  EXPECT_EQ(shadowed, (std::vector<std::string>{at(2, 3), at(0, 0)}));
  // The text is clipped to its rectangle, and the clip goes back afterwards.
  EXPECT_NE(gfx.m_log.find("clip 100,100,200,40"), std::string::npos);
  EXPECT_EQ(gfx.m_log.substr(gfx.m_log.rfind("clip")), "clip 0,0,800,600\n");

  i32 w, h;
  SL_EXPECT_OK(m.MeasureText(font, "Hola", &w, &h, nullptr));
  i32 ow, oh;
  const SLGuiSkinColor border{0xFF000000, 0xFF000000, 3, 0, 0, 0, nullptr};
  SL_EXPECT_OK(m.MeasureText(font, "Hola", &ow, &oh, &border));
  EXPECT_GT(w, 0);
  EXPECT_EQ(ow, w + 6);
  EXPECT_EQ(oh, h + 6);
  SL_EXPECT_OK(m.MeasureText(font, "", &w, &h, &border));
  EXPECT_EQ(w + h, 0);
}

// A minimized window shows its caption under its icon in the desktop font and colours:
// the default skin's caption colour has an outline of one pixel, so 4 + 1 runs.
TEST_F(SkinDraw, MinimizedWindowsShowTheirCaptionUnderTheIcon) {
  CTestGuiWindow::Reset();
  CSL_GS_GuiWindow* w =
      m.CreateWindow(CTestGuiWindow::GetClassRecord(), "Dibujo", 100, 50, 40, 30, SL_GUI_WS_VISIBLE, 0, 0, nullptr);
  ASSERT_NE(w, nullptr);
  ASSERT_NE(m.GetState()->iconFont, nullptr);
  gfx.m_log.clear();
  SL_EXPECT_OK(m.Draw());
  EXPECT_EQ(gfx.m_log.find("text 'Dibujo'"), std::string::npos);
  w->ModifyStyle(0, SL_GUI_WS_MINIMIZED);
  gfx.m_log.clear();
  SL_EXPECT_OK(m.Draw());
  size_t runs = 0;
  for (size_t at = 0; (at = gfx.m_log.find("text 'Dibujo'@", at)) != std::string::npos; ++at) ++runs;
  EXPECT_EQ(runs, 5u);
  // Under the client rectangle, 4 pixels down, clipped to a box twice the icon's width.
  SLGuiRect client;
  ASSERT_TRUE(w->GetScreenRectR(&client));
  const std::string clip = "clip " + std::to_string(client.x + (client.width - 2 * std::max(client.width, 32)) / 2);
  EXPECT_NE(gfx.m_log.find(clip), std::string::npos) << gfx.m_log;
  m.DestroyWindow(w);
  CTestGuiWindow::Reset();
}

TEST(SkinLayout, ImageBesideText) {
  struct Case {
    const char* what;
    u32 textFormat, imageStyle;
    bool adjacent;
    i32 textW, imageW;
    i32 textX, imageX;  // horizontal positions inside a 100-wide rectangle at x 10
  } cases[] = {
      {"no image", 2, 0, false, 20, 0, 50, 10},
      {"text left, image right", 0, 1, false, 20, 10, 10, 100},
      {"text left, image right, adjacent", 0, 1, true, 20, 10, 10, 34},
      {"text left, image centred", 0, 2, false, 20, 10, 10, 67},
      {"text left, image left", 0, 0, false, 20, 10, 24, 10},
      {"text right, image right", 1, 1, false, 20, 10, 76, 100},
      {"text right, image centred", 1, 2, false, 20, 10, 90, 43},
      {"text right, image left", 1, 0, false, 20, 10, 90, 10},
      {"text right, image left, adjacent", 1, 0, true, 20, 10, 90, 76},
      {"text centred, image right", 2, 1, false, 20, 10, 50, 100},
      {"text centred, image right, overlapping", 2, 1, false, 80, 30, -4, 80},
      {"text centred, image right, adjacent", 2, 1, true, 20, 10, 43, 67},
      {"text centred, image centred", 2, 2, false, 20, 10, 50, 55},
      {"text centred, image left, adjacent", 2, 0, true, 20, 10, 57, 43},
      {"text centred, image left, overlapping", 2, 0, false, 80, 30, 44, 10},
  };
  CSL_GS_GuiManager m;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SLGuiRect r{10, 20, 100, 40};
    SLGuiRect text{0, 0, c.textW, 10}, image{0, 0, c.imageW, 16};
    SL_EXPECT_OK(m.LayoutImageAndText(&r, &text, c.textFormat | 8, &image, c.imageStyle, c.adjacent, 4));
    EXPECT_EQ(text.x, c.textX);
    EXPECT_EQ(image.x, c.imageX);
    EXPECT_EQ(text.y, 20);  // top, with the image centred below its end
  }
  // Vertically: centred by default, bottom with 4; the gap counts only beside a text.
  const SLGuiRect r{0, 0, 50, 40};
  SLGuiRect text{0, 0, 10, 10}, image{0, 0, 8, 8};
  SL_EXPECT_OK(m.LayoutImageAndText(&r, &text, 0, &image, 4, false, 4));
  EXPECT_EQ(text.y, 15);
  EXPECT_EQ(image.y, 32);
  SLGuiRect none{0, 0, 0, 0};
  SL_EXPECT_OK(m.LayoutImageAndText(&r, &none, 0, &image, 0, false, 4));
  EXPECT_EQ(none.x, 8);  // text left, image left: no gap without a text
}

// Slots keep their own copy of the options; a drawn size of 0 is refused, so hit tests
// never divide by it; the hit test maps points back through the scale.
TEST_F(SkinDraw, ImageSlotsKeepTheirSizeAndOptions) {
  SLGuiImageSlot slot{};
  SL_EXPECT_OK(m.SetImageSlot(&slot, handle, nullptr));
  EXPECT_EQ(slot.width, 64);
  SL_GS_DrawImageOptions options{};
  options.flags = SL_GS_DRAW_SOURCE | SL_GS_DRAW_SCALE;
  options.sourceX = 60, options.sourceY = 0, options.sourceWidth = 10, options.sourceHeight = 8;
  options.scaleX = -2.5, options.scaleY = 0.5;
  SL_EXPECT_OK(m.SetImageSlot(&slot, handle, &options));
  EXPECT_EQ(slot.width, 10);  // 4 of the source lie in the image, times 2.5
  EXPECT_EQ(slot.height, 4);
  ASSERT_NE(slot.options, nullptr);
  EXPECT_NE(slot.options, &options);
  options.scaleY = 0.1;  // 8 x 0.1 truncates to 0
  SL_EXPECT_FAIL(m.SetImageSlot(&slot, handle, &options), SL_E_INVALID_ARG);
  EXPECT_EQ(slot.width, 10);  // the slot is left as it was
  EXPECT_FALSE(m.HitTestImageSlot(&slot, 9, 3));
  EXPECT_TRUE(m.HitTestImageSlot(&slot, 10, 3));
  gfx.pieces.clear();
  SL_EXPECT_OK(m.DrawImageSlot(&slot, 5, 6, 50));
  EXPECT_EQ(gfx.pieces, (Pieces{"60,0,10,8@5,6 o50"}));
  EXPECT_EQ(slot.options->flags & SL_GS_DRAW_OPACITY, 0u);  // the slot's options are restored
  SL_EXPECT_OK(m.SetImageSlot(&slot, nullptr, nullptr));
  EXPECT_EQ(slot.options, nullptr);
  EXPECT_TRUE(m.HitTestImageSlot(&slot, 0, 0));
}

// --- On the software device ---

class SkinPixels : public ::testing::Test {
 protected:
  static constexpr u32 kBackground = 0xFF563412;  // 0xAABBGGRR: a colour no skin piece has
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("piel");
    ASSERT_NE(window, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, 400, 300, 32, 0, 0, 0};
    ASSERT_TRUE(device.Init(nullptr, window, &mode));
    ASSERT_TRUE(device.Clear(kBackground, false, false));
    ASSERT_TRUE(m.Init());
    ASSERT_TRUE(m.LoadDefaultSkin());
    ASSERT_TRUE(m.SetGfx(&device));
    SLGuiManagerState* state = m.GetState();
    state->clipX = 0, state->clipY = 0, state->clipWidth = 400, state->clipHeight = 300;
  }
  void TearDown() override {
    m.Shutdown();
    device.Shutdown();
    if (IsWindow(window)) DestroyWindow(window);
  }
  // The back buffer as bytes R, G, B per pixel of a crop.
  std::string Crop(i32 x0, i32 y0, i32 w, i32 h) {
    SL_GS_SurfaceAccess* lock = device.LockBackBuffer(false);
    EXPECT_NE(lock, nullptr);
    std::string out;
    if (!lock) return out;
    for (i32 y = y0; y < y0 + h; ++y)
      for (i32 x = x0; x < x0 + w; ++x) {
        const u8* p = lock->pixels + y * lock->pitch + x * 4;  // B, G, R, spare
        out += char(p[2]), out += char(p[1]), out += char(p[0]);
      }
    device.UnlockBackBuffer();
    return out;
  }
  // Draws an element as widgets do: border pieces, then the inner area.
  void DrawWidget(const SLGuiSkinElement* e, SLGuiRect r) {
    ASSERT_TRUE(m.DrawSkinElement(e, &r, 100));
    SLGuiSkinDeflateRect(e, &r);
    ASSERT_TRUE(m.DrawSkinElementInRect(e, &r, 100, nullptr));
  }
  HWND window = nullptr;
  CSL_GS_Gfx_DirectX device;
  CSL_GS_GuiManager m;
};

// An element drawn at its own size is opaque exactly where the hit tests say it is hit.
TEST_F(SkinPixels, HitTestsMatchTheDrawnShape) {
  struct Case {
    const char* section;
    const char* key;
  } cases[] = {{"PushButton", "Normal"}, {"WindowWithCaption_Active", "Top"}, {"Scrollbar_Vertical", "NormalButton"}};
  i32 y0 = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const SLGuiSkinElement* e = m.GetSkinImageElement(0, c.section, c.key);
    ASSERT_NE(e, nullptr);
    const SLGuiRect r{3, y0, e->width, e->height};
    DrawWidget(e, r);
    const std::string pixels = Crop(r.x, r.y, r.width, r.height);
    u32 mismatches = 0, opaque = 0;
    for (i32 y = 0; y < r.height; ++y)
      for (i32 x = 0; x < r.width; ++x) {
        const u8* p = reinterpret_cast<const u8*>(pixels.data()) + (y * r.width + x) * 3;
        const bool drawn = (u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16) != (kBackground & 0xFFFFFF);
        const bool inner = m.SkinElementZoneAt(e, &r, r.x + x, r.y + y) == 2;
        const bool transparent = inner ? m.HitTestSkinElementInRect(e, &r, r.x + x, r.y + y, nullptr)
                                       : m.HitTestSkinElement(e, &r, r.x + x, r.y + y);
        opaque += drawn;
        mismatches += drawn == transparent;
      }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_GT(opaque, u32(r.width * r.height / 2));
    EXPECT_TRUE(m.HitTestSkinElement(e, &r, r.x - 1, r.y));  // outside the rectangle
    y0 += e->height + 2;
  }
}

// A small window of the default skin with a push button, against its golden picture
// (tools: SL_UPDATE_GOLDEN=1 writes it anew).
TEST_F(SkinPixels, DefaultSkinPanelMatchesItsGolden) {
  const SLGuiRect window{10, 10, 220, 110};
  const char* parts[] = {"Top", "Bottom", "Left", "Right"};
  const SLGuiSkinElement* e[4];
  for (int i = 0; i < 4; ++i) {
    e[i] = m.GetSkinImageElement(0, "WindowWithCaption_Active", parts[i]);
    ASSERT_NE(e[i], nullptr);
  }
  DrawWidget(e[0], {window.x, window.y, window.width, e[0]->height});
  DrawWidget(e[1], {window.x, window.y + window.height - e[1]->height, window.width, e[1]->height});
  const i32 sideTop = window.y + e[0]->height, sideHeight = window.height - e[0]->height - e[1]->height;
  DrawWidget(e[2], {window.x, sideTop, e[2]->width, sideHeight});
  DrawWidget(e[3], {window.x + window.width - e[3]->width, sideTop, e[3]->width, sideHeight});
  const SLGuiSkinElement* client = m.GetSkinImageElement(0, "WindowWithCaption_Common", "ClientBackground");
  ASSERT_NE(client, nullptr);
  DrawWidget(client, {window.x + 3, sideTop, window.width - 6, sideHeight});
  const SLGuiSkinGlyph* close = m.GetSkinGlyph(0, "WindowWithCaption_Common", "CloseButtonNormal");
  ASSERT_NE(close, nullptr);
  ASSERT_TRUE(m.DrawSkinGlyph(close, window.x + window.width - 32, window.y + 5, 100));
  const SLGuiSkinElement* button = m.GetSkinImageElement(0, "PushButton", "Normal");
  ASSERT_NE(button, nullptr);
  DrawWidget(button, {window.x + 60, window.y + 60, 100, 30});
  const SLGuiSkinElement* over = m.GetSkinImageElement(0, "PushButton", "Over");
  ASSERT_NE(over, nullptr);
  const SLGuiRect faded{window.x + 20, window.y + 40, 30, 12};
  ASSERT_TRUE(m.DrawSkinElement(over, &faded, 50));

  const i32 w = window.width + 20, h = window.height + 20;
  const std::string pixels = Crop(0, 0, w, h);
  const std::string golden = std::string(SL_SOURCE_DIR) + "/tests/gui/golden/skinpanel.png";
  const TempDir dir;
  if (std::getenv("SL_UPDATE_GOLDEN")) {
    dir.Write("panel.rgb", pixels);
    SLTestCapture("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8 rgb:'" +
                  dir.Host("panel.rgb") + "' '" + golden + "'");
  }
  SLTestCapture("convert '" + golden + "' -depth 8 rgb:'" + dir.Host("golden.rgb") + "'");
  const std::string expected = dir.Read("golden.rgb");
  ASSERT_EQ(expected.size(), pixels.size());
  u32 off = 0;
  for (size_t i = 0; i < pixels.size(); ++i) off += std::abs(int(u8(pixels[i])) - int(u8(expected[i]))) > 1;
  EXPECT_EQ(off, 0u);
}

}  // namespace
