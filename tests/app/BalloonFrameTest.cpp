// The balloons of the movie and of the editor's tooltips as the software device draws
// them with the content's balloon picture and fonts: the frame of every style with one,
// two and five lines, read back as pixels (its dark edges only in the rows of its edge
// pieces, every text pixel over the light fill), and golden crops of a two-line speech
// balloon and of a tooltip. Remade after a deliberate change with
//   SL_WRITE_GOLDEN=1 build/tests/test_app_BalloonFrameTest
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "adventure/movie/Balloon.h"
#include "app/services/AppServices.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ScreenGolden.h"

namespace {

constexpr u32 kBackground = 0xFF123456;  // 0xAABBGGRR: neither fill, edge nor ink
constexpr i32 kX = 100, kY = 100;

struct Rgb {
  int r, g, b;
};
int Distance(Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

class BalloonFrame : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    EditorScreen_Load();  // hands the content's balloon picture to the balloons
    ASSERT_NE(Balloon_GetPicture(), nullptr);
  }
  void TearDown() override {
    EditorScreen_Free();
    AppScreenTest::TearDown();
  }
  // The balloon alone on a cleared screen; the W x H pixels of its box, row by row.
  static std::vector<Rgb> Draw(const Balloon& balloon) {
    CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
    EXPECT_TRUE(gfx->Clear(kBackground, false, false));
    Balloon_Draw(&balloon, kX, kY, 100.0);
    std::vector<Rgb> pixels;
    SL_GS_SurfaceAccess* lock = gfx->LockBackBuffer(false);
    EXPECT_NE(lock, nullptr);
    if (!lock) return pixels;
    for (i32 y = kY; y < kY + balloon.boxHeight; ++y)
      for (i32 x = kX; x < kX + balloon.boxWidth; ++x) {
        const u8* p = lock->pixels + y * lock->pitch + x * 4;  // B, G, R, spare
        pixels.push_back({p[2], p[1], p[0]});
      }
    gfx->UnlockBackBuffer();
    return pixels;
  }
  static std::string Crop(i32 x, i32 y, i32 width, i32 height) {
    CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
    EXPECT_TRUE(gfx->EndFrame());
    TSLObjPtr<CSLImage> screen;
    screen.Attach(new CSLImage());
    EXPECT_TRUE(gfx->CaptureScreen(screen.Get()));
    return SLTestScreenCrop(*screen.Get(), x, y, width, height);
  }
};

// Styles 1-4 and 9-12 have their tail below (10 bottom rows), 5-8 and 13-16 above (10 top
// rows), 17 and 18 no tail (4 and 4), 19 and 20 are plain boxes (2 and 2). Each text is
// drawn in the three balloon fonts (the movie's two, the tooltips' one) with one, two and
// five lines, "p", "q", "g" and "y" hanging below them.
TEST_F(BalloonFrame, EdgesStayInTheirPiecesAndTextOnTheFill) {
  const Rgb background{0x56, 0x34, 0x12};
  const char* texts[] = {"Un d\xed" "a en el parque",
                         "\xa1Hola! Soy Sof\xed" "a.\n\xbf" "Escuchamos una canci\xf3n, ni\xf1o?",
                         "Un d\xed" "a\nen el parque\npaseamos\ncon pap\xe1 y\nmam\xe1 jugando"};
  const u32 lineCounts[] = {1, 2, 5};
  for (SL_GS_Font* font : {AppCommonFonts[APP_FONT_COMIC_9B], AppCommonFonts[APP_FONT_COMIC_11],
                           AppCommonFonts[APP_FONT_TAHOMA_8]})
    for (u32 style = 1; style <= 20; ++style)
      for (u32 t = 0; t < 3; ++t) {
        SCOPED_TRACE(testing::Message() << "style " << style << ", " << lineCounts[t] << " lines, font " << font);
        Balloon balloon;
        Balloon_Construct(&balloon);
        Balloon_SetStyle(&balloon, style);
        Balloon_SetText(&balloon, texts[t]);
        balloon.font = font;
        balloon.width = 500;
        Balloon_Layout(&balloon);
        ASSERT_EQ(balloon.lines.GetCount(), lineCounts[t]);
        const i32 W = balloon.boxWidth, H = balloon.boxHeight;
        balloon.font = nullptr;
        const std::vector<Rgb> frame = Draw(balloon);
        balloon.font = font;
        SL_GS_Image* picture = Balloon_GetPicture();
        Balloon_SetPicture(nullptr);
        const std::vector<Rgb> text = Draw(balloon);
        Balloon_SetPicture(picture);
        Balloon_Destroy(&balloon);
        ASSERT_EQ(frame.size(), size_t(W) * size_t(H));
        ASSERT_EQ(text.size(), frame.size());

        const bool tailBelow = style <= 16 && (style - 1) % 8 < 4, tailAbove = style <= 16 && !tailBelow;
        const i32 top = tailAbove ? 10 : style >= 19 ? 2 : 4, bottom = tailBelow ? 10 : style >= 19 ? 2 : 4;
        const Rgb fill = frame[size_t(H / 2) * size_t(W) + size_t(W / 2)];
        ASSERT_GT(Distance(fill, background), 120);
        auto dark = [&](Rgb p) { return Distance(p, fill) > 120 && Distance(p, background) > 40; };
        // Down the middle column: the dark rows of the edges lie in the edge pieces, the
        // rows between them hold the fill alone, and an edge without tail is the box's
        // outermost row.
        std::vector<i32> darkRows;
        for (i32 y = 0; y < H; ++y) {
          const Rgb p = frame[size_t(y) * size_t(W) + size_t(W / 2)];
          if (dark(p)) darkRows.push_back(y);
          if (y >= top && y < H - bottom) {
            EXPECT_LE(Distance(p, fill), 24) << "row " << y << " of " << H;
          }
        }
        ASSERT_FALSE(darkRows.empty());
        EXPECT_LT(darkRows.front(), top);
        EXPECT_GE(darkRows.back(), H - bottom);
        if (!tailAbove) {
          EXPECT_EQ(darkRows.front(), 0);
        }
        if (!tailBelow) {
          EXPECT_EQ(darkRows.back(), H - 1);
        }
        // Every pixel the text inks lies over the fill, none over an edge or outside.
        u32 inked = 0, astray = 0;
        for (size_t i = 0; i < text.size(); ++i) {
          if (Distance(text[i], background) == 0) continue;
          ++inked;
          if (Distance(frame[i], fill) > 24) ++astray;
        }
        EXPECT_GT(inked, 20u);
        EXPECT_EQ(astray, 0u) << inked << " of " << W * H;
      }
}

// A character's speech balloon of two lines (the bold comic font, the tail below at the
// right) and the tooltip of "InsEscena", as the editor draws them.
TEST_F(BalloonFrame, SpeechBalloonAndTooltipMatchTheirGoldens) {
  Balloon balloon;
  Balloon_Construct(&balloon);
  Balloon_SetStyle(&balloon, 1);
  Balloon_SetText(&balloon, "\xa1Hola! Soy Sof\xed" "a. \xbf" "Escuchamos una canci\xf3n, ni\xf1o?");
  balloon.font = AppCommonFonts[APP_FONT_COMIC_9B];
  balloon.width = 250;
  Balloon_Layout(&balloon);
  ASSERT_EQ(balloon.lines.GetCount(), 2u);
  Draw(balloon);
  EXPECT_TRUE(SLTestMatchesGolden(Crop(kX, kY, balloon.boxWidth, balloon.boxHeight), balloon.boxWidth,
                                  balloon.boxHeight, SL_SOURCE_DIR "/tests/app/golden/balloon_two_lines.png"));
  Balloon_Destroy(&balloon);

  Balloon& tooltip = Editor_State().tooltip.balloon;
  Balloon_SetText(&tooltip, EditorScreen_TooltipText(kIdInsEscena));
  Balloon_Layout(&tooltip);
  ASSERT_EQ(tooltip.lines.GetCount(), 1u);
  Draw(tooltip);
  EXPECT_TRUE(SLTestMatchesGolden(Crop(kX, kY, tooltip.boxWidth, tooltip.boxHeight), tooltip.boxWidth,
                                  tooltip.boxHeight, SL_SOURCE_DIR "/tests/app/golden/tooltip_insert_scene.png"));
}

}  // namespace
