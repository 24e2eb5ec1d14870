// The stage and its balloons as pixels of the software graphics device, read back from its
// back buffer: a scale-1.0 scene against ImageMagick's composition of the same layers, and
// every frame piece of every balloon style against the colour of the place it is cut from.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "adventure/movie/SceneRender.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "tests/support/MovieFixtures.h"
#include "tests/support/TestWindow.h"

namespace {

constexpr u32 kBackground = 0xFF563412;  // 0xAABBGGRR: no layer has it

class StagePixels : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    m_window = SLTestMakeWindow("escenario");
    ASSERT_NE(m_window, nullptr);
    const SL_GS_DisplayMode mode{0xFFFF, 800, 600, 32, 0, 0, 0};
    ASSERT_TRUE(m_device.Init(nullptr, m_window, &mode));
    ASSERT_TRUE(m_device.Clear(kBackground, false, false));
    AdventureDevices_Set(&m_device, nullptr, nullptr);
    Movie_Init(&m_movie);
  }
  void TearDown() override {
    Movie_Clear(&m_movie);
    MovieCatalog::Free();
    Balloon_SetPicture(nullptr);
    AdventureDevices_Set(nullptr, nullptr, nullptr);
    m_device.Shutdown();
    if (IsWindow(m_window)) DestroyWindow(m_window);
  }
  // A picture of the device and the same pixels as a PNG for ImageMagick.
  SL_GS_Image* Layer(const std::string& name, u32 w, u32 h, u32 hx, u32 hy, const std::function<u32(u32, u32)>& argb) {
    std::string rgba;
    for (u32 y = 0; y < h; ++y)
      for (u32 x = 0; x < w; ++x) {
        const u32 p = argb(x, y);
        rgba += char(p >> 16), rgba += char(p >> 8), rgba += char(p), rgba += char(p >> 24);
      }
    m_dir.Write(name + ".rgba", rgba);
    EXPECT_EQ(std::system(("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8 'rgba:" +
                           m_dir.Host(name + ".rgba") + "' '" + m_dir.Host(name + ".png") + "'")
                              .c_str()),
              0);
    return MovieCatalog::Picture(&m_device, w, h, hx, hy, argb);
  }
  // DejaVu Sans at 13 pixels, written by fntwrite: glyphs with ink, kerning and all.
  std::string WriterFont() {
    const std::string fnt = m_dir.Host("dejavu13.fnt");
    SLTestCapture("'" SL_BINARY_DIR "/tools/fntwrite/fntwrite' \"$(fc-match -f '%{file}' 'DejaVu Sans')\" 13 '" + fnt +
                  "'");
    return fnt;
  }
  // The back buffer as R, G, B bytes of a crop.
  std::string Crop(i32 x0, i32 y0, i32 w, i32 h) {
    SL_GS_SurfaceAccess* lock = m_device.LockBackBuffer(false);
    EXPECT_NE(lock, nullptr);
    std::string out;
    if (!lock) return out;
    for (i32 y = y0; y < y0 + h; ++y)
      for (i32 x = x0; x < x0 + w; ++x) {
        const u8* p = lock->pixels + y * lock->pitch + x * 4;  // B, G, R, spare
        out += char(p[2]), out += char(p[1]), out += char(p[0]);
      }
    m_device.UnlockBackBuffer();
    return out;
  }
  u32 PixelAt(i32 x, i32 y) {
    const std::string p = Crop(x, y, 1, 1);
    return u32(u8(p[0])) << 16 | u32(u8(p[1])) << 8 | u8(p[2]);
  }

  HWND m_window = nullptr;
  CSL_GS_Gfx_DirectX m_device;
  Movie m_movie;
  TempDir m_dir;
};

// Background, an object and a character at the same depth (the character in front), and a
// foreground with a half-transparent strip, at (108, 148).
TEST_F(StagePixels, ScaleOneScenesEqualImageMagicksComposition) {
  SL_GS_Image* background = Layer("fondo", kStageWidth, kStageHeight, 0, 0, [](u32 x, u32 y) {
    return 0xFF000000u | (x * 255 / 663) << 16 | (y * 255 / 371) << 8 | ((x + y) & 0xFF);
  });
  SL_GS_Image* foreground = Layer("frente", kStageWidth, kStageHeight, 0, 0, [](u32 x, u32 y) {
    return y >= 300 ? u32(60 + x % 150) << 24 | 0xC83232u : 0u;
  });
  auto crateAt = [](u32 x, u32 y) {
    return x < 6 && y < 6 ? 0u : u32(x * 255 / 79) << 24 | (40 + y * 4) << 16 | 0x2000u | (x * 3);
  };
  auto girlAt = [](u32 x, u32 y) {
    return x < 5 || x >= 55 ? 0u : u32(128 + y) << 24 | (x * 4) << 16 | (255 - y * 2) << 8 | 0x90u;
  };
  SL_GS_Image* crate = Layer("caja", 80, 50, 40, 50, crateAt);
  SL_GS_Image* girl = Layer("nina", 60, 90, 30, 90, girlAt);
  Scene* scene = Movie_AppendScene(&m_movie);
  scene->length = 100;
  scene->background = MovieCatalog::AddBackground(&m_device, "patio", [](i32, i32) { return u8(255); }, background, foreground);

  MovieCatalog::ActionSpec stand;
  for (u32 d = 0; d < kDirectionCount; ++d) stand.frames[d] = {girl};
  const i32 who = MovieCatalog::AddCharacter("nina", false, {{"Normal", 0}}, {stand});
  CharacterInstance* c = CharacterInstance_New();
  c->scene = scene, c->character = who, c->endFrame = 0xFFFFFFFF, c->x = 320, c->y = 280;
  List_Append(&scene->characters, &c->link);
  const i32 box = MovieCatalog::AddObject("caja", -1, {{"Normal", {crate}}});
  ObjectInstance* o = ObjectInstance_New();
  o->scene = scene, o->object = box, o->x = 300, o->y = 270;
  List_Append(&scene->objects, &o->link);

  Scene_RenderAtFrame(scene, 0, kModeEvaluate);
  ASSERT_EQ(c->scale, 1.0);
  ASSERT_EQ(o->scale, 1.0);
  Stage_Draw(&m_movie, 108, 148);
  const std::string drawn = Crop(108, 148, kStageWidth, kStageHeight);

  // Layer by layer, each result kept in 8 bits as the back buffer keeps it.
  const std::string step = m_dir.Host("paso.png");
  auto over = [&](const std::string& name, i32 x, i32 y) {
    const std::string command = "convert '" + step + "' '" + m_dir.Host(name + ".png") + "' -geometry +" +
                                std::to_string(x) + "+" + std::to_string(y) + " -composite -depth 8 'PNG24:" + step + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  };
  ASSERT_EQ(std::system(("convert -size " + std::to_string(kStageWidth) + "x" + std::to_string(kStageHeight) +
                         " xc:black -depth 8 'PNG24:" + step + "'")
                            .c_str()),
            0);
  over("fondo", 0, 0);
  over("caja", 300 - 40, 270 - 50);
  over("nina", 320 - 30, 280 - 90);
  over("frente", 0, 0);
  ASSERT_EQ(std::system(("convert '" + step + "' -depth 8 'rgb:" + m_dir.Host("esperada.rgb") + "'").c_str()), 0);
  const std::string expected = m_dir.Read("esperada.rgb");
  ASSERT_EQ(expected.size(), drawn.size());
  // Each blend into the 8-bit back buffer may round by one, so where two translucent
  // layers stack the device may be two away from a composition that rounds differently.
  auto stacked = [&](i32 x, i32 y) {
    const i32 bx = x - (300 - 40), by = y - (270 - 50), gx = x - (320 - 30), gy = y - (280 - 90);
    return bx >= 0 && bx < 80 && by >= 0 && by < 50 && crateAt(u32(bx), u32(by)) >> 24 && gx >= 0 && gx < 60 &&
           gy >= 0 && gy < 90 && girlAt(u32(gx), u32(gy)) >> 24;
  };
  u32 wrong = 0;
  for (size_t i = 0; i < drawn.size(); ++i) {
    const i32 x = i32(i / 3 % kStageWidth), y = i32(i / 3 / kStageWidth);
    if (std::abs(i32(u8(drawn[i])) - i32(u8(expected[i]))) > (stacked(x, y) ? 2 : 1) && wrong++ < 5)
      ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << i % 3 << ": " << i32(u8(drawn[i]))
                    << ", ImageMagick " << i32(u8(expected[i]));
  }
  EXPECT_EQ(wrong, 0u);
}

// Each style's pieces are learnt from a device that logs them; then a picture whose every
// source rectangle has its own colour is drawn through the software device, and the centre
// of each destination piece must show that colour. The words are black, from the style's
// text offset on.
TEST_F(StagePixels, BalloonPiecesShowTheColourOfTheirSourceAndTextIsBlack) {
  CDrawLogGfx log;
  ASSERT_TRUE(log.Init(nullptr, nullptr, nullptr));
  const std::string fnt = WriterFont();
  SL_GS_Font* logFont = log.LoadFontFromFile(fnt.c_str());
  SL_GS_Font* font = m_device.LoadFontFromFile(fnt.c_str());
  ASSERT_TRUE(logFont && font);
  const char* texts[] = {"hola", "hola que tal", "hola que tal estas hoy"};  // one to three lines at width 100
  for (u32 style = 1; style <= 20; ++style)
    for (const char* text : texts) {
      SCOPED_TRACE(testing::Message() << "style " << style << ", " << text);
      Balloon balloon;
      Balloon_Construct(&balloon);
      Balloon_SetText(&balloon, text);
      Balloon_SetStyle(&balloon, style);
      balloon.width = 100;
      struct Piece {
        std::array<i32, 4> source;
        i32 x, y, w, h;
      };
      std::vector<Piece> pieces;
      i32 textX = 0, textY = 0;
      {
        AdventureDevices_Set(&log, nullptr, nullptr);
        balloon.font = logFont;
        Balloon_Layout(&balloon);
        SL_GS_Image* plain = MovieCatalog::Solid(&log, 128, 128, 0, 0, 0xFF808080);
        Balloon_SetPicture(plain);
        log.draws.clear();
        Balloon_Draw(&balloon, 200, 150, 100.0);
        for (const CDrawLogGfx::Draw& d : log.draws) {
          if (d.text) {
            if (!textX) textX = d.x, textY = d.y;
            continue;
          }
          const SL_GS_DrawImageOptions& o = d.options;
          i32 w = o.sourceWidth, h = o.sourceHeight;
          if (o.flags & SL_GS_DRAW_TARGET_SIZE) std::memcpy(&w, &o.scaleX, 4), std::memcpy(&h, &o.scaleY, 4);
          pieces.push_back({{o.sourceX, o.sourceY, o.sourceWidth, o.sourceHeight}, d.x, d.y, w, h});
        }
        log.DestroyImage(plain);
      }
      ASSERT_FALSE(pieces.empty());
      // Colour k + 1 for the k-th piece, spread so that neighbours differ in every channel.
      auto colour = [](size_t k) { return u32(0xFF000000u | (40 + k * 17) << 16 | (250 - k * 19) << 8 | (30 + k * 18)); };
      SL_GS_Image* atlas = MovieCatalog::Picture(&m_device, 128, 128, 0, 0, [&](u32 x, u32 y) {
        for (size_t k = 0; k < pieces.size(); ++k) {
          const std::array<i32, 4>& s = pieces[k].source;
          if (i32(x) >= s[0] && i32(x) < s[0] + s[2] && i32(y) >= s[1] && i32(y) < s[1] + s[3]) return colour(k);
        }
        return 0xFFFFFFFFu;
      });
      AdventureDevices_Set(&m_device, nullptr, nullptr);
      balloon.font = font;
      Balloon_Layout(&balloon);
      Balloon_SetPicture(atlas);
      // The frame alone first (the words would cover the middle piece's centre).
      ASSERT_TRUE(m_device.Clear(kBackground, false, false));
      balloon.font = nullptr;
      Balloon_Draw(&balloon, 200, 150, 100.0);
      balloon.font = font;
      for (size_t k = 0; k < pieces.size(); ++k) {
        const Piece& p = pieces[k];
        EXPECT_EQ(PixelAt(p.x + p.w / 2, p.y + p.h / 2), colour(k) & 0xFFFFFF) << "piece " << k;
      }
      // The first word's first glyph: dark ink in its cell, none in the column before.
      Balloon_Draw(&balloon, 200, 150, 100.0);
      const i32 cellWidth = 8, cellHeight = 16;
      const std::string cell = Crop(textX - 1, textY, cellWidth + 1, cellHeight);
      bool blackInCell = false, blackBefore = false;
      for (i32 y = 0; y < cellHeight; ++y)
        for (i32 x = 0; x <= cellWidth; ++x) {
          const u8* p = reinterpret_cast<const u8*>(cell.data()) + (y * (cellWidth + 1) + x) * 3;
          const bool black = p[0] < 40 && p[1] < 40 && p[2] < 40;
          (x == 0 ? blackBefore : blackInCell) |= black;
        }
      EXPECT_TRUE(blackInCell);
      EXPECT_FALSE(blackBefore);
      Balloon_SetPicture(nullptr);
      m_device.DestroyImage(atlas);
      Balloon_Destroy(&balloon);
    }
  m_device.DestroyFont(font);
  log.DestroyFont(logFont);
}


// The balloons' own fonts as the font writer makes them (Comic Neue for the movie's texts,
// DejaVu Sans for the editor's tooltips): a balloon draws word by word, each word a space's
// width after the one before, and the blank between two words' ink is wider than any blank
// between the letters of a word, so that "Un paseo en el parque" reads as five words.
TEST_F(StagePixels, BalloonWordsStandFurtherApartThanTheirLetters) {
  const std::string comic = "/usr/share/fonts/opentype/comic-neue/", dejavu = "/usr/share/fonts/truetype/dejavu/";
  const struct {
    std::string file;
    int pixels;
    std::string fallback;  // for the Windows-1252 characters Comic Neue lacks
  } fonts[] = {
      {comic + "ComicNeue-Bold.otf", 12, dejavu + "DejaVuSans-Bold.ttf"},
      {comic + "ComicNeue-Regular.otf", 15, dejavu + "DejaVuSans.ttf"},
      {dejavu + "DejaVuSans.ttf", 11, ""},
  };
  const char* text = "Un paseo en el parque";
  for (const auto& f : fonts) {
    SCOPED_TRACE(testing::Message() << f.file << " at " << f.pixels);
    const std::string fnt = m_dir.Host("balloon" + std::to_string(f.pixels) + ".fnt");
    SLTestCapture("'" SL_BINARY_DIR "/tools/fntwrite/fntwrite' '" + f.file + "' " + std::to_string(f.pixels) + " '" +
                  fnt + "'" + (f.fallback.empty() ? "" : " --fallback '" + f.fallback + "'"));
    SL_GS_Font* font = m_device.LoadFontFromFile(fnt.c_str());
    ASSERT_NE(font, nullptr);
    Balloon balloon;
    Balloon_Construct(&balloon);
    Balloon_SetText(&balloon, text);
    Balloon_SetStyle(&balloon, 19);
    balloon.font = font;
    Balloon_Layout(&balloon);
    ASSERT_EQ(balloon.lines.GetCount(), 1u);
    ASSERT_TRUE(m_device.Clear(kBackground, false, false));
    Balloon_Draw(&balloon, 100, 100, 100.0);  // no picture: the words alone, from (103, 102)
    const i32 width = balloon.boxWidth, height = i32(m_device.GetFontHeight(font));
    const u32 background = PixelAt(50, 50);
    const std::string pixels = Crop(103, 102, width, height);
    std::vector<bool> ink(size_t(width), false);
    for (i32 y = 0; y < height; ++y)
      for (i32 x = 0; x < width; ++x) {
        const u8* p = reinterpret_cast<const u8*>(pixels.data()) + (y * width + x) * 3;
        if ((u32(p[0]) << 16 | u32(p[1]) << 8 | p[2]) != background) ink[size_t(x)] = true;
      }
    // The blank runs between the first and the last inked column, widest first.
    std::vector<i32> blanks;
    i32 run = -1;
    for (i32 x = 0; x < width; ++x) {
      if (!ink[size_t(x)]) {
        if (run >= 0) ++run;
        continue;
      }
      if (run > 0) blanks.push_back(run);
      run = 0;
    }
    std::sort(blanks.begin(), blanks.end(), std::greater<i32>());
    ASSERT_GT(blanks.size(), 4u);
    std::string listed;
    for (i32 blank : blanks) listed += std::to_string(blank) + " ";
    // Four word gaps, each wider than the widest gap inside a word.
    EXPECT_GT(blanks[3], blanks[4]) << listed;
    Balloon_Destroy(&balloon);
    m_device.DestroyFont(font);
  }
}

}  // namespace
