// Speech balloons: word wrapping with a monospaced bitmap font (a word of n letters is
// 7n - 2 pixels wide, a space 5, a line 9 high), box sizes and tail anchors of every
// style, and drawing: the frame pieces of every style tile the box exactly, each cut
// from inside the balloon picture, with the text in black at the style's offsets.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "adventure/movie/Movie.h"
#include "tests/support/MovieFixtures.h"

namespace {

class Balloons : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_gfx.Init(nullptr, nullptr, nullptr));
    AdventureDevices_Set(&m_gfx, nullptr, nullptr);
    m_font = MovieTestMonoFont(&m_gfx, m_dir);
    ASSERT_NE(m_font, nullptr);
    Balloon_Construct(&m_balloon);
    m_balloon.font = m_font;
  }
  void TearDown() override {
    Balloon_Destroy(&m_balloon);
    Balloon_SetPicture(nullptr);
    AdventureDevices_Set(nullptr, nullptr, nullptr);
  }
  void Lay(const char* text, u32 width, u32 style) {
    Balloon_SetText(&m_balloon, text);
    m_balloon.width = width;
    Balloon_SetStyle(&m_balloon, style);
    Balloon_Layout(&m_balloon);
  }
  std::vector<u32> Lines() const { return {m_balloon.lines.begin(), m_balloon.lines.end()}; }

  TempDir m_dir;
  CDrawLogGfx m_gfx;
  SL_GS_Font* m_font = nullptr;
  Balloon m_balloon;
};

TEST_F(Balloons, WrapsWordsWithinTheWidthLessFifty) {
  struct Row {
    const char* text;
    u32 width;
    std::vector<u32> lines;
    i32 boxWidth, boxHeight;
  } rows[] = {
      {"aaa bbb ccc", 100, {8, 11}, 53, 32},  // 19 + 5 + 19 = 43 fits 50; the third word does not
      {"aaa bbb ccc", 400, {11}, 77, 23},
      {"abcdefghijklmnopqrst", 100, {20}, 148, 23},  // one long word stays whole, wider than the width
      {"ab\n", 400, {3}, 31, 23},                    // a closing line feed adds no line
      {"ab\n\ncd", 400, {3, 4, 6}, 31, 41},          // two in the middle make an empty line
      {"   aaa", 400, {6}, 44, 23},                  // leading spaces count on the first line
      {"aaa      bbb", 100, {9, 12}, 31, 32},        // spaces that overflow are dropped at the break
      {"a\x01\x7f" "\x80" "b", 400, {5}, 31, 23},     // controls below 33 are skipped, 0x7F and up are letters
      {"aaa bbb", 50, {4, 7}, 31, 32},               // at width 50 each word takes its own line, and ends
      {"aaa bbb", 30, {7}, 53, 23},                  // below 50 the unsigned limit never wraps
      {"aaa bbb", 0, {7}, 53, 23},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    Lay(row.text, row.width, 1);
    EXPECT_EQ(Lines(), row.lines);
    EXPECT_EQ(m_balloon.boxWidth, row.boxWidth);
    EXPECT_EQ(m_balloon.boxHeight, row.boxHeight);
  }
}

TEST_F(Balloons, StylesSetTheBoxAndTheTail) {
  Balloon_SetStyle(&m_balloon, 0);
  EXPECT_EQ(m_balloon.style, 1u);
  Balloon_SetStyle(&m_balloon, 21);
  EXPECT_EQ(m_balloon.style, 1u);
  for (u32 style = 1; style <= 20; ++style) {
    SCOPED_TRACE(style);
    Lay(nullptr, 400, style);  // empty boxes
    const bool speech = style <= 16, boxed = style <= 18;
    EXPECT_EQ(m_balloon.boxWidth, boxed ? 31 : 6);
    EXPECT_EQ(m_balloon.boxHeight, speech ? 14 : boxed ? 8 : 4);
    EXPECT_TRUE(Lines().empty());
    Lay("aaa bbb ccc", 100, style);  // two lines, the widest 43
    const i32 w = boxed ? 53 : 49, h = speech ? 32 : boxed ? 26 : 22;
    EXPECT_EQ(m_balloon.boxWidth, w);
    EXPECT_EQ(m_balloon.boxHeight, h);
    const u32 k = (style - 1) % 8;  // 9-16 repeat 1-8
    const i32 tailX = !speech ? w / 2 : k % 4 < 2 ? w - 15 : 15;
    const i32 tailY = !speech ? h / 2 : k < 4 ? h : 0;
    EXPECT_EQ(Balloon_TailX(&m_balloon), tailX);
    EXPECT_EQ(Balloon_TailY(&m_balloon), tailY);
  }
  m_balloon.style = 33;  // set behind the setter's back
  EXPECT_EQ(Balloon_TailX(&m_balloon), 0);
  EXPECT_EQ(Balloon_TailY(&m_balloon), 0);
  m_balloon.font = nullptr;  // no font: the empty box, no lines
  Lay("aaa", 400, 17);
  EXPECT_EQ(m_balloon.boxHeight, 8);
  EXPECT_TRUE(Lines().empty());
}

TEST_F(Balloons, PiecesTileTheBoxAndTheTextIsBlackAtTheStyleOffsets) {
  SL_GS_Image* picture = MovieCatalog::Solid(&m_gfx, 128, 128, 0, 0, 0xFF808080);
  Balloon_SetPicture(picture);
  for (double opacity : {100.0, 50.0}) {
    for (u32 style = 1; style <= 20; ++style) {
      SCOPED_TRACE(std::to_string(style) + " at " + std::to_string(opacity));
      Lay("aaa bbb ccc", 100 + style * 7, style);
      const i32 x = 100, y = 60, W = m_balloon.boxWidth, H = m_balloon.boxHeight;
      m_gfx.draws.clear();
      Balloon_Draw(&m_balloon, x, y, opacity);
      std::vector<int> cover(size_t(W) * H, 0);
      std::vector<std::u16string> words;
      i32 textX = 0, textY = 0;
      for (const CDrawLogGfx::Draw& d : m_gfx.draws) {
        const SL_GS_DrawImageOptions& o = d.options;
        if (d.text) {
          if (words.empty()) textX = d.x, textY = d.y;
          words.push_back(d.chars);
          EXPECT_EQ(o.flags, opacity < 100 ? 24u : 16u);
          EXPECT_EQ(o.tintRed | o.tintGreen | o.tintBlue, 0);
          EXPECT_EQ(o.tintSpare, 0xFF);
          continue;
        }
        EXPECT_EQ(o.flags & ~(SL_GS_DRAW_TARGET_SIZE | SL_GS_DRAW_OPACITY), SL_GS_DRAW_SOURCE);
        EXPECT_EQ((o.flags & SL_GS_DRAW_OPACITY) != 0, opacity < 100);
        i32 w = o.sourceWidth, h = o.sourceHeight;
        if (o.flags & SL_GS_DRAW_TARGET_SIZE) {
          memcpy(&w, &o.scaleX, 4), memcpy(&h, &o.scaleY, 4);
          EXPECT_TRUE(w != o.sourceWidth || h != o.sourceHeight);
        }
        EXPECT_TRUE(o.sourceX >= 0 && o.sourceY >= 0 && o.sourceX + o.sourceWidth <= 128 &&
                    o.sourceY + o.sourceHeight <= 128);
        for (i32 py = d.y; py < d.y + h; ++py)
          for (i32 px = d.x; px < d.x + w; ++px) {
            ASSERT_TRUE(px >= x && px < x + W && py >= y && py < y + H) << px << "," << py;
            ++cover[size_t(py - y) * W + (px - x)];
          }
      }
      for (size_t i = 0; i < cover.size(); ++i) ASSERT_EQ(cover[i], 1) << i % W << "," << i / W;
      EXPECT_EQ(words, (std::vector<std::u16string>{u"aaa", u"bbb", u"ccc"}));
      const bool plain = style >= 19, above = (style >= 5 && style <= 8) || (style >= 13 && style <= 16);
      EXPECT_EQ(textX, x + (plain ? 3 : 5));
      EXPECT_EQ(textY, y + (plain ? 2 : above ? 10 : 4));
    }
  }
  // The words of a line advance by their drawn width plus the spaces; lines by the height.
  Lay("aaa bbb ccc", 100, 1);
  m_gfx.draws.clear();
  Balloon_Draw(&m_balloon, 0, 0, 100.0);
  std::vector<std::pair<i32, i32>> at;
  for (const CDrawLogGfx::Draw& d : m_gfx.draws)
    if (d.text) at.emplace_back(d.x, d.y);
  EXPECT_EQ(at, (std::vector<std::pair<i32, i32>>{{5, 4}, {29, 4}, {5, 13}}));
  // Without the picture only the text is drawn.
  Balloon_SetPicture(nullptr);
  m_gfx.draws.clear();
  Balloon_Draw(&m_balloon, 0, 0, 100.0);
  EXPECT_EQ(m_gfx.draws.size(), 3u);
  for (const CDrawLogGfx::Draw& d : m_gfx.draws) EXPECT_TRUE(d.text);
}

TEST_F(Balloons, PiecesAreCutFromTheirPlacesInThePicture) {
  SL_GS_Image* picture = MovieCatalog::Solid(&m_gfx, 128, 128, 0, 0, 0xFF808080);
  Balloon_SetPicture(picture);
  using Piece = std::array<i32, 8>;  // source x, y, width, height; destination x, y, width, height
  struct Row {
    u32 style;
    std::vector<Piece> pieces;
  } rows[] = {
      {2, {{32, 0, 5, 4, 0, 0, 5, 4}, {37, 0, 21, 4, 5, 0, 43, 4}, {58, 0, 5, 4, 48, 0, 5, 4},
           {32, 5, 5, 9, 0, 4, 5, 18}, {37, 5, 21, 9, 5, 4, 43, 18}, {58, 5, 5, 9, 48, 4, 5, 18},
           {32, 15, 5, 10, 0, 22, 5, 10}, {37, 15, 11, 10, 5, 22, 33, 10}, {48, 15, 15, 10, 38, 22, 15, 10}}},
      {11, {{0, 52, 5, 4, 0, 0, 5, 4}, {5, 52, 21, 4, 5, 0, 43, 4}, {26, 52, 5, 4, 48, 0, 5, 4},
            {0, 57, 5, 9, 0, 4, 5, 18}, {5, 57, 21, 9, 5, 4, 43, 18}, {26, 57, 5, 9, 48, 4, 5, 18},
            {0, 93, 15, 10, 0, 22, 15, 10}, {15, 93, 11, 10, 15, 22, 33, 10}, {26, 93, 5, 10, 48, 22, 5, 10}}},
      {6, {{96, 0, 5, 10, 0, 0, 5, 10}, {101, 0, 11, 10, 5, 0, 33, 10}, {112, 0, 15, 10, 38, 0, 15, 10},
           {96, 11, 5, 9, 0, 10, 5, 18}, {101, 11, 21, 9, 5, 10, 43, 18}, {122, 11, 5, 9, 48, 10, 5, 18},
           {96, 21, 5, 4, 0, 28, 5, 4}, {101, 21, 21, 4, 5, 28, 43, 4}, {122, 21, 5, 4, 48, 28, 5, 4}}},
      {15, {{64, 78, 15, 10, 0, 0, 15, 10}, {79, 78, 11, 10, 15, 0, 33, 10}, {90, 78, 5, 10, 48, 0, 5, 10},
            {64, 63, 5, 9, 0, 10, 5, 18}, {69, 63, 21, 9, 5, 10, 43, 18}, {90, 63, 5, 9, 48, 10, 5, 18},
            {64, 73, 5, 4, 0, 28, 5, 4}, {69, 73, 21, 4, 5, 28, 43, 4}, {90, 73, 5, 4, 48, 28, 5, 4}}},
      {17, {{0, 0, 5, 4, 0, 0, 5, 4}, {5, 0, 21, 4, 5, 0, 43, 4}, {26, 0, 5, 4, 48, 0, 5, 4},
            {0, 5, 5, 9, 0, 4, 5, 18}, {5, 5, 21, 9, 5, 4, 43, 18}, {26, 5, 5, 9, 48, 4, 5, 18},
            {64, 21, 5, 4, 0, 22, 5, 4}, {69, 21, 21, 4, 5, 22, 43, 4}, {90, 21, 5, 4, 48, 22, 5, 4}}},
      {20, {{31, 104, 3, 2, 0, 0, 3, 2}, {34, 104, 24, 2, 3, 0, 43, 2}, {58, 104, 3, 2, 46, 0, 3, 2},
            {31, 107, 3, 8, 0, 2, 3, 18}, {34, 107, 24, 8, 3, 2, 43, 18}, {58, 107, 3, 8, 46, 2, 3, 18},
            {31, 114, 3, 2, 0, 20, 3, 2}, {34, 114, 24, 2, 3, 20, 43, 2}, {58, 114, 3, 2, 46, 20, 3, 2}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.style);
    Lay("aaa bbb ccc", 100, row.style);
    m_gfx.draws.clear();
    Balloon_Draw(&m_balloon, 0, 0, 100.0);
    std::vector<Piece> drawn;
    for (const CDrawLogGfx::Draw& d : m_gfx.draws) {
      if (d.text) continue;
      const SL_GS_DrawImageOptions& o = d.options;
      i32 w = o.sourceWidth, h = o.sourceHeight;
      if (o.flags & SL_GS_DRAW_TARGET_SIZE) memcpy(&w, &o.scaleX, 4), memcpy(&h, &o.scaleY, 4);
      drawn.push_back({o.sourceX, o.sourceY, o.sourceWidth, o.sourceHeight, d.x, d.y, w, h});
    }
    EXPECT_EQ(drawn, row.pieces);
  }
}

}  // namespace
