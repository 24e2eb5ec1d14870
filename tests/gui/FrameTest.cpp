// Frames and the grow box drawn from a test skin (one white picture cut into distinct
// pieces, so each draw names the piece it came from): the rectangle and its inside, the
// rules and their placement by the text format, the grow box's glyph on either side,
// and the default skin, whose frame draws nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiFrame.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiScrollBar.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "tests/support/RecordingGfx.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

// One draw: the piece of the picture and where it went.
struct Piece {
  i32 sx, sy, sw, sh, x, y;
};

class PieceLog : public CRecordingGfx {
 public:
  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* o) override {
    if (o && (o->flags & SL_GS_DRAW_SOURCE))
      pieces.push_back({o->sourceX, o->sourceY, o->sourceWidth, o->sourceHeight, x, y});
    return CMemoryGfxDevice::DrawImage(image, x, y, o);
  }
  std::vector<Piece> pieces;
};

const char kLayout[] =
    "[Images]\r\nPIC = p.png\r\n"
    "[Frame]\r\n"
    "Rectangle = pic; (0,0,12,12); (3,2,4,5)\r\n"
    "Horizontal = pic; (16,0,8,4); (1,1,1,1)\r\n"
    "Vertical = pic; (24,0,6,8); (1,1,1,1)\r\n"
    "[Scrollbar_Growbox]\r\n"
    "Normal = pic; (32,0,10,10); (2,2,2,2)\r\n"
    "LeftGlyph = pic; (48,0,5,5)\r\n"
    "RightGlyph = pic; (54,0,6,6)\r\n"
    "[Scrollbar_Horizontal]\r\n"
    "NormalButton = pic; (0,16,16,16); (2,2,2,2)\r\n"
    "TrackArea = pic; (16,16,16,16); (1,1,1,1)\r\n"
    "NormalThumb = pic; (32,16,16,16); (3,3,3,3)\r\n"
    "NormalLeftArrowGlyph = pic; (48,16,4,4)\r\n"
    "NormalRightArrowGlyph = pic; (52,16,4,4)\r\n"
    "NormalThumbGlyph = pic; (56,16,4,4)\r\n"
    "[Scrollbar_Vertical]\r\n"
    "NormalButton = pic; (0,32,16,16); (2,2,2,2)\r\n"
    "TrackArea = pic; (16,32,16,16); (1,1,1,1)\r\n";

class SkinnedFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(m.Init());
    ASSERT_TRUE(m.SetGfx(&gfx));
    const TempDir dir;
    SLTestCapture("convert -size 64x64 xc:white '" + dir.Host("p.png") + "'");
    dir.Write("layout.inf", kLayout);
    SLTestRunPython("import zipfile\nz = zipfile.ZipFile('" + dir.Host("skin.zip") + "', 'w')\nz.write('" +
                    dir.Host("layout.inf") + "', 'layout.inf')\nz.write('" + dir.Host("p.png") + "', 'p.png')\n" +
                    "z.close()\n");
    zipBytes = dir.Read("skin.zip");
    CSLMemoryStorage memory;
    memory.AttachBuffer(zipBytes.data(), u32(zipBytes.size()), false);
    CSLZipFileStorage zip;
    ASSERT_TRUE(zip.AttachContainer(&memory));
    skin = m.LoadSkinFromStorage(&zip);
    zip.AttachContainer(nullptr);
    ASSERT_NE(skin, 0u);
  }
  void TearDown() override { m.Shutdown(); }
  CSL_GS_GuiWindow* Make(const SLClassRecord* record, u32 style, u32 skinId, SLGuiRect r) {
    return m.CreateWindow(record, "", r.x, r.y, r.width, r.height, SL_GUI_WS_VISIBLE | style, skinId, 0, nullptr);
  }
  // The pieces drawn by `draw`, from a fresh log.
  template <class Draw>
  std::vector<Piece> Drawn(Draw draw) {
    gfx.pieces.clear();
    draw();
    return gfx.pieces;
  }
  // The box around the places of the pieces whose source lies inside (x, y, w, h).
  static SLGuiRect Extent(const std::vector<Piece>& pieces, SLGuiRect source, int* count) {
    i32 left = 1 << 30, top = 1 << 30, right = -(1 << 30), bottom = -(1 << 30);
    *count = 0;
    for (const Piece& p : pieces) {
      if (p.sx < source.x || p.sy < source.y || p.sx + p.sw > source.x + source.width ||
          p.sy + p.sh > source.y + source.height)
        continue;
      ++*count;
      left = std::min(left, p.x), top = std::min(top, p.y);
      right = std::max(right, p.x + p.sw), bottom = std::max(bottom, p.y + p.sh);
    }
    return {left, top, right - left, bottom - top};
  }

  CSL_GS_GuiManager m;
  PieceLog gfx;
  std::string zipBytes;
  u32 skin = 0;
};

TEST_F(SkinnedFrame, RectangleDrawsItsBordersAndInsideAndInsetsTheClientArea) {
  CSL_GS_GuiWindow* frame = Make(CSL_GS_GuiFrame::GetClassRecord(), SL_GUI_FRAME_RECTANGLE, skin, {10, 20, 100, 50});
  ASSERT_NE(frame, nullptr);
  const SLGuiRect client = frame->GetClientArea();
  EXPECT_EQ(client.x, 13);
  EXPECT_EQ(client.y, 22);
  EXPECT_EQ(client.width, 93);
  EXPECT_EQ(client.height, 43);
  EXPECT_EQ(frame->GetDialogCode(), u32(SL_GUI_DLGC_STATIC));
  EXPECT_EQ(frame->GetTextFormat(), 2u);
  int count = 0;
  const SLGuiRect window{10, 20, 100, 50};
  const std::vector<Piece> border = Drawn([&] { frame->DrawFrame(&window); });
  SLGuiRect extent = Extent(border, {0, 0, 12, 12}, &count);
  EXPECT_GT(count, 0);
  EXPECT_EQ(extent.x, 10);
  EXPECT_EQ(extent.y, 20);
  // The inside: only the element's centre, over the client area.
  const std::vector<Piece> inside = Drawn([&] { frame->Draw(&client); });
  extent = Extent(inside, {3, 2, 5, 5}, &count);
  EXPECT_EQ(size_t(count), inside.size());
  EXPECT_GT(count, 0);
  EXPECT_EQ(extent.x, 13);
  EXPECT_EQ(extent.y, 22);
}

// A horizontal rule is as high as its element, centred or at the top; a vertical rule
// as wide as its element, at the left or centred.
TEST_F(SkinnedFrame, RulesArePlacedByTheTextFormat) {
  const struct {
    u32 kind, format;
    SLGuiRect window, source;
    i32 x, y;
  } cases[] = {
      {SL_GUI_FRAME_HORIZONTAL, 2, {10, 20, 100, 20}, {16, 0, 8, 4}, 10, 28},
      {SL_GUI_FRAME_HORIZONTAL, 8, {10, 20, 100, 20}, {16, 0, 8, 4}, 10, 20},
      {SL_GUI_FRAME_VERTICAL, 0, {10, 20, 30, 80}, {24, 0, 6, 8}, 10, 20},
      {SL_GUI_FRAME_VERTICAL, 1, {10, 20, 30, 80}, {24, 0, 6, 8}, 22, 20},
      {SL_GUI_FRAME_VERTICAL, 2, {10, 20, 30, 80}, {24, 0, 6, 8}, 22, 20},
  };
  for (const auto& c : cases) {
    CSL_GS_GuiWindow* frame = Make(CSL_GS_GuiFrame::GetClassRecord(), c.kind, skin, c.window);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(frame->SetTextFormat(c.format));
    const SLGuiRect client = frame->GetClientArea();
    EXPECT_EQ(client.width, c.window.width);  // rules take no room
    int count = 0;
    const std::vector<Piece> drawn = Drawn([&] { frame->Draw(&client); });
    const SLGuiRect extent = Extent(drawn, c.source, &count);
    EXPECT_EQ(size_t(count), drawn.size()) << c.kind << "/" << c.format;
    EXPECT_EQ(extent.x, c.x) << c.kind << "/" << c.format;
    EXPECT_EQ(extent.y, c.y) << c.kind << "/" << c.format;
    if (c.kind == SL_GUI_FRAME_HORIZONTAL) {
      EXPECT_EQ(extent.height, 4);
    }
    if (c.kind == SL_GUI_FRAME_VERTICAL) {
      EXPECT_EQ(extent.width, 6);
    }
    m.DestroyWindow(frame);
  }
}

TEST_F(SkinnedFrame, DefaultSkinFrameDrawsNothing) {
  for (u32 kind : {0u, 1u, 2u, 3u}) {
    CSL_GS_GuiWindow* frame = Make(CSL_GS_GuiFrame::GetClassRecord(), kind, 0, {10, 20, 100, 50});
    ASSERT_NE(frame, nullptr);
    const SLGuiRect window{10, 20, 100, 50};
    const SLGuiRect client = frame->GetClientArea();
    EXPECT_EQ(client.width, 100);
    EXPECT_TRUE(Drawn([&] {
                  frame->DrawFrame(&window);
                  frame->Draw(&client);
                }).empty());
  }
}

// The grow box fills the corner with "Normal" and puts its glyph in the bottom corner on
// the side of the vertical bar.
TEST_F(SkinnedFrame, GrowBoxDrawsItsElementAndTheGlyphOfItsSide) {
  const struct {
    u32 style;
    SLGuiRect corner, glyphSource;
    i32 glyphX, glyphY;
  } cases[] = {
      {0, {194, 154, 16, 16}, {54, 0, 6, 6}, 204, 164},
      {SL_GUI_WS_LEFTSCROLLBAR, {10, 154, 16, 16}, {48, 0, 5, 5}, 10, 165},
  };
  for (const auto& c : cases) {
    CSL_GS_GuiWindow* w = Make(CSL_GS_GuiWindow::GetClassRecord(),
                               SL_GUI_WS_HSCROLL | SL_GUI_WS_VSCROLL | c.style, skin, {10, 20, 200, 150});
    ASSERT_NE(w, nullptr);
    const SLGuiRect window{10, 20, 200, 150};
    const std::vector<Piece> drawn = Drawn([&] { w->DrawFrame(&window); });
    int count = 0;
    const SLGuiRect box = Extent(drawn, {32, 0, 10, 10}, &count);
    EXPECT_GT(count, 0);
    EXPECT_EQ(box.x, c.corner.x);
    EXPECT_EQ(box.y, c.corner.y);
    const SLGuiRect glyph = Extent(drawn, c.glyphSource, &count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(glyph.x, c.glyphX);
    EXPECT_EQ(glyph.y, c.glyphY);
    // Both bars drew their tracks and buttons too.
    Extent(drawn, {0, 16, 16, 16}, &count);
    EXPECT_GT(count, 0);
    Extent(drawn, {0, 32, 16, 16}, &count);
    EXPECT_GT(count, 0);
    m.DestroyWindow(w);
  }
}

}  // namespace
