// Text layout over the recording device with the hand-made monospaced font: every glyph
// 5 pixels wide (an advance of 7), lines 9 high, kerning (A, V) -1.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiText.h"
#include "tests/support/RecordingGfx.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

// Logs the size an underline is stretched to, and fails text runs on request.
class CTextGfx : public CRecordingGfx {
 public:
  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* options) override {
    i32 width = 0, height = 0;
    if (options && (options->flags & SL_GS_DRAW_TARGET_SIZE)) {
      std::memcpy(&width, &options->scaleX, 4);
      std::memcpy(&height, &options->scaleY, 4);
    }
    m_log += "line " + std::to_string(width) + "x" + std::to_string(height) + "@" + std::to_string(x) + "," +
             std::to_string(y) + "\n";
    return CMemoryGfxDevice::DrawImage(image, x, y, options);
  }
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 placement, const SL_GS_DrawImageOptions* options,
                const SLWChar* text, u32 length) override {
    if (m_failText) return SLFail(0x80002002, 0);
    return CRecordingGfx::DrawTextW(font, x, y, placement, options, text, length);
  }
  bool m_failText = false;
};

class TextLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestCapture("python3 '" + std::string(SL_SOURCE_DIR) + "/tools/fixtures/make_font_fixtures.py' '" + dir.Host() + "'");
    mono = gfx.LoadFontFromFile(dir.Host("mono.fnt").c_str());
    ASSERT_NE(mono, nullptr);
    gfx.m_log.clear();
  }
  // The log of drawing `text` in `rect` (clip lines left out).
  std::string Draw(const std::u16string& text, u32 flags, SLGuiRect rect, u32 tabSize = 4) {
    gfx.m_log.clear();
    EXPECT_TRUE(DrawTextInRectW(&gfx, mono, &rect, flags, nullptr, text.c_str(), SL_TEXT_TO_END, tabSize))
        << std::hex << SLGetLastError();
    std::string runs;
    size_t at = 0;
    while (at < gfx.m_log.size()) {
      const size_t end = gfx.m_log.find('\n', at);
      const std::string entry = gfx.m_log.substr(at, end - at);
      if (entry.rfind("clip", 0) != 0) runs += (runs.empty() ? "" : " | ") + entry;
      at = end + 1;
    }
    return runs;
  }
  SLGuiRect Measure(const std::u16string& text, u32 flags, SLGuiRect rect) {
    EXPECT_TRUE(DrawTextInRectW(&gfx, mono, &rect, flags | SL_GUI_TEXT_MEASURE, nullptr, text.c_str(),
                                SL_TEXT_TO_END, 4));
    return rect;
  }

  TempDir dir;
  CTextGfx gfx;
  SL_GS_Font* mono = nullptr;
};

TEST_F(TextLayout, MeasuresLinesBreaksWrapsAndKerning) {
  struct Case {
    const char16_t* text;
    u32 flags;
    SLGuiRect rect;
    i32 width, height;
  } cases[] = {
      {u"abc", 0, {0, 0, 500, 500}, 19, 9},
      {u"AV", 0, {0, 0, 500, 500}, 11, 9},              // kerned
      {u"A\u00e9V", 0, {0, 0, 500, 500}, 12, 9},        // a character without a glyph cancels it
      {u"a\r\nb", 0, {0, 0, 500, 500}, 5, 18},          // CR LF and LF CR break once
      {u"a\n\rb", 0, {0, 0, 500, 500}, 5, 18},
      {u"a\r\rb", 0, {0, 0, 500, 500}, 5, 27},          // CR CR and LF LF twice
      {u"a\n\nb", 0, {0, 0, 500, 500}, 5, 27},
      {u"ab\r\n", 0, {0, 0, 500, 500}, 12, 9},          // a final break opens no line
      {u"&Jugar", 0, {0, 0, 500, 500}, 33, 9},          // the prefix takes no room
      {u"&Jugar", SL_GUI_TEXT_NO_PREFIX, {0, 0, 500, 500}, 40, 9},
      {u"a&", 0, {0, 0, 500, 500}, 12, 9},              // a lone "&" at the end stays
      // The skin's measure: a 1 x 1 rectangle holds the first line only.
      {u"abc\r\ndefg", 0x44000, {0, 0, 1, 1}, 19, 9},
      // Height counts the lines that fit, and stops at the first that does not.
      {u"a\nb\nc\nd", 0, {0, 0, 500, 20}, 5, 27},
      {u"a\nb\nc\nd", SL_GUI_TEXT_PARTIAL_LINES, {0, 0, 500, 20}, 5, 18},  // a line height less one more
      // Word wrap: a left-aligned line keeps its space; right alignment does not count it.
      {u"aa bb", SL_GUI_TEXT_WORD_WRAP, {0, 0, 20, 500}, 19, 18},
      {u"aa bb", SL_GUI_TEXT_WORD_WRAP | SL_GUI_TEXT_RIGHT, {0, 0, 20, 500}, 12, 18},
      {u"aa bb", SL_GUI_TEXT_WORD_WRAP | SL_GUI_TEXT_SINGLE_LINE, {0, 0, 20, 500}, 33, 9},
      // One long word stays whole unless partly visible lines count and no ellipsis is asked.
      {u"abcdefghij", SL_GUI_TEXT_WORD_WRAP, {0, 0, 30, 500}, 68, 9},
      {u"abcdefghij", SL_GUI_TEXT_WORD_WRAP | SL_GUI_TEXT_PARTIAL_LINES, {0, 0, 30, 500}, 26, 27},
      {u"abcdefghij", SL_GUI_TEXT_WORD_WRAP | SL_GUI_TEXT_PARTIAL_LINES | SL_GUI_TEXT_END_ELLIPSIS,
       {0, 0, 30, 500}, 26, 9},
      // A rectangle narrower than one glyph still advances through the text.
      {u"abc", SL_GUI_TEXT_WORD_WRAP | SL_GUI_TEXT_PARTIAL_LINES, {0, 0, 2, 500}, 5, 27},
      // Tab stops every 4 character widths (20 pixels); consecutive tabs each add one.
      {u"a\tb", SL_GUI_TEXT_EXPAND_TABS, {0, 0, 500, 500}, 25, 9},
      {u"\t\tb", SL_GUI_TEXT_EXPAND_TABS, {0, 0, 500, 500}, 45, 9},
      {u"abc\tb\r\nc", SL_GUI_TEXT_EXPAND_TABS, {0, 0, 500, 500}, 32, 9},  // CR and LF do not break
      {u"a\tb", 0, {0, 0, 500, 500}, 12, 9},
      // Vertical placement moves the drawing, not the size.
      {u"ab", SL_GUI_TEXT_SINGLE_LINE | SL_GUI_TEXT_BOTTOM, {0, 0, 50, -20}, 12, 9},
  };
  for (const Case& c : cases) {
    const SLGuiRect size = Measure(c.text, c.flags, c.rect);
    EXPECT_EQ(size.width, c.width) << std::hex << c.flags << " " << std::u16string(c.text).size();
    EXPECT_EQ(size.height, c.height) << std::hex << c.flags << " " << std::u16string(c.text).size();
  }
  EXPECT_EQ(Measure(u"", 0, {0, 0, 50, 50}).width, 0);
  EXPECT_EQ(Measure(u"", 0, {0, 0, 50, 50}).height, 0);
}

TEST_F(TextLayout, DrawsAlignedLinesMnemonicsAndEllipses) {
  struct Case {
    const char16_t* text;
    u32 flags;
    SLGuiRect rect;
    u32 tabSize;
    const char* log;
  } cases[] = {
      {u"&Jugar", 0, {10, 20, 100, 50}, 4, "text 'Jugar'@10,20 p0 | line 4x1@10,28"},
      {u"a&bc", 0, {10, 20, 100, 50}, 4, "text 'abc'@10,20 p0 | line 4x1@17,28"},
      {u"&&", 0, {10, 20, 100, 50}, 4, "text '&'@10,20 p0"},
      {u"&Jugar &&", SL_GUI_TEXT_NO_PREFIX, {10, 20, 100, 50}, 4, "text '&Jugar &&'@10,20 p0"},
      {u"abc", SL_GUI_TEXT_CENTER, {10, 20, 100, 50}, 4, "text 'abc'@50,20 p0"},
      {u"abc", SL_GUI_TEXT_RIGHT, {10, 20, 100, 50}, 4, "text 'abc'@91,20 p0"},
      {u"aa bb", SL_GUI_TEXT_RIGHT | SL_GUI_TEXT_WORD_WRAP, {0, 0, 20, 50}, 4,
       "text 'aa'@8,0 p0 | text 'bb'@8,9 p0"},
      {u"aa bb", SL_GUI_TEXT_WORD_WRAP, {0, 0, 20, 50}, 4, "text 'aa '@0,0 p0 | text 'bb'@0,9 p0"},
      // Single-line vertical placement.
      {u"ab", SL_GUI_TEXT_SINGLE_LINE | SL_GUI_TEXT_VCENTER, {0, 0, 50, 30}, 4, "text 'ab'@0,10 p0"},
      {u"ab", SL_GUI_TEXT_SINGLE_LINE | SL_GUI_TEXT_BOTTOM, {0, 0, 50, 30}, 4, "text 'ab'@0,21 p0"},
      {u"ab", SL_GUI_TEXT_VCENTER, {0, 0, 50, 30}, 4, "text 'ab'@0,0 p0"},
      // Tab segments start at the tab stops; a tab size of 0 counts as one pixel.
      {u"a\tb\t\tc", SL_GUI_TEXT_EXPAND_TABS, {0, 0, 200, 50}, 4,
       "text 'a'@0,0 p0 | text 'b'@20,0 p0 | text 'c'@60,0 p0"},
      {u"a\tb", SL_GUI_TEXT_EXPAND_TABS, {0, 0, 200, 50}, 0, "text 'a'@0,0 p0 | text 'b'@6,0 p0"},
      {u"a\t&b", SL_GUI_TEXT_EXPAND_TABS, {0, 0, 200, 50}, 4,
       "text 'a'@0,0 p0 | text 'b'@20,0 p0 | line 4x1@20,8"},
      // End ellipses: each line that does not fit, or the last line when more follows.
      {u"abcdefghij", SL_GUI_TEXT_END_ELLIPSIS, {0, 0, 30, 50}, 4, "text 'a...'@0,0 p0"},
      {u"ab", SL_GUI_TEXT_END_ELLIPSIS, {0, 0, 10, 50}, 4, "text '...'@0,0 p0"},
      {u"ab\ncd\nef", SL_GUI_TEXT_END_ELLIPSIS_LAST | SL_GUI_TEXT_NO_CLIP, {0, 0, 50, 17}, 4,
       "text 'ab'@0,0 p0 | text 'cd...'@0,9 p0"},
      {u"abcdefghij\r\n", SL_GUI_TEXT_END_ELLIPSIS_LAST, {0, 0, 40, 50}, 4, "text 'abc...'@0,0 p0"},
      {u"abcdefghij\r\nx", SL_GUI_TEXT_END_ELLIPSIS_LAST, {0, 0, 40, 50}, 4,
       "text 'abcdefghij'@0,0 p0 | text 'x'@0,9 p0"},
      // The mnemonic follows its character past an ellipsis, or goes with it.
      {u"abcdefg&h", SL_GUI_TEXT_END_ELLIPSIS, {0, 0, 40, 50}, 4, "text 'abc...'@0,0 p0"},
      {u"a&bcdefgh", SL_GUI_TEXT_END_ELLIPSIS, {0, 0, 40, 50}, 4, "text 'abc...'@0,0 p0 | line 4x1@7,8"},
      {u"abcd\\&xy", SL_GUI_TEXT_PATH_ELLIPSIS, {0, 0, 40, 50}, 4,
       "text '...\\xy'@0,0 p0 | line 4x1@28,8"},
      // After an ellipsis a single line drops the rest.
      {u"abcdefghij\nk", SL_GUI_TEXT_SINGLE_LINE | SL_GUI_TEXT_END_ELLIPSIS, {0, 0, 30, 50}, 4,
       "text 'a...'@0,0 p0"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Draw(c.text, c.flags, c.rect, c.tabSize), c.log) << std::hex << c.flags;
}

TEST_F(TextLayout, PathEllipsisKeepsTheLastComponent) {
  const std::u16string path = u"Aventuras Guardadas\\vacaciones\\final.ZQTR";
  // (k + 3 + 11) characters of 7 pixels less 2 must fit 200 pixels: k = 14.
  EXPECT_EQ(Draw(path, SL_GUI_TEXT_PATH_ELLIPSIS, {0, 0, 200, 50}), "text 'Aventuras Guar...\\final.ZQTR'@0,0 p0");
  EXPECT_EQ(Draw(u"a/b\\c/final", SL_GUI_TEXT_PATH_ELLIPSIS, {0, 0, 70, 50}), "text 'a.../final'@0,0 p0");
  // Not even the tail fits: with the end ellipsis as well, the line fits anyway.
  EXPECT_EQ(Draw(path, SL_GUI_TEXT_PATH_ELLIPSIS, {0, 0, 60, 50}), "text '...\\final.ZQTR'@0,0 p0");
  EXPECT_EQ(Draw(path, SL_GUI_TEXT_PATH_ELLIPSIS | SL_GUI_TEXT_END_ELLIPSIS, {0, 0, 60, 50}),
            "text '...\\f...'@0,0 p0");
  EXPECT_EQ(Draw(u"abcdefgh", SL_GUI_TEXT_PATH_ELLIPSIS, {0, 0, 40, 50}), "text '...abcdefgh'@0,0 p0");
}

TEST_F(TextLayout, LongLinesAreBuiltInPiecesOfTheLineBuffer) {
  // A 5,000-letter word with nowhere to break continues on the next line every 1,024.
  const std::u16string word(5000, u'a');
  const SLGuiRect size = Measure(word, SL_GUI_TEXT_WORD_WRAP, {0, 0, 100, 100000});
  EXPECT_EQ(size.height, 5 * 9);
  EXPECT_EQ(size.width, 1024 * 7 - 2);
  const std::string log = Draw(word, SL_GUI_TEXT_WORD_WRAP | SL_GUI_TEXT_END_ELLIPSIS, {0, 0, 100, 100000});
  EXPECT_EQ(log, "text 'aaaaaaaaaaa...'@0,0 p0 | text 'aaaaaaaaaaa...'@0,9 p0 | text 'aaaaaaaaaaa...'@0,18 p0 | "
                 "text 'aaaaaaaaaaa...'@0,27 p0 | text 'aaaaaaaaaaa...'@0,36 p0");
}

TEST_F(TextLayout, ClipFollowsTheRectangleAndIsRestored) {
  SLGuiRect rect{700, -10, 200, 50};
  gfx.m_log.clear();
  ASSERT_TRUE(DrawTextInRectW(&gfx, mono, &rect, 0, nullptr, u"ab", SL_TEXT_TO_END, 0));
  EXPECT_EQ(gfx.m_log, "clip 700,0,100,40\ntext 'ab'@700,-10 p0\nclip 0,0,800,600\n");
  // A failing run ends the call with the device's code, the clip put back.
  gfx.m_failText = true;
  gfx.m_log.clear();
  SL_EXPECT_FAIL(DrawTextInRectW(&gfx, mono, &rect, 0, nullptr, u"ab", SL_TEXT_TO_END, 0), 0x80002002);
  EXPECT_EQ(gfx.m_log, "clip 700,0,100,40\nclip 0,0,800,600\n");
  // Without clipping, nothing touches it.
  gfx.m_failText = false;
  gfx.m_log.clear();
  ASSERT_TRUE(DrawTextInRectW(&gfx, mono, &rect, SL_GUI_TEXT_NO_CLIP, nullptr, u"ab", 1, 0));
  EXPECT_EQ(gfx.m_log, "text 'a'@700,-10 p0\n");
}

TEST_F(TextLayout, RefusesBadArgumentsAndWritesBackShortenedText) {
  SLGuiRect rect{0, 0, 30, 50};
  SL_EXPECT_FAIL(DrawTextInRectW(&gfx, mono, &rect, SL_GUI_TEXT_MEASURE, nullptr, nullptr, 3, 0), SL_E_NULL_DATA);
  EXPECT_TRUE(rect.width == 0 && rect.height == 0);
  rect = {0, 0, 30, 50};
  SL_EXPECT_FAIL(DrawTextInRectW(&gfx, reinterpret_cast<SL_GS_Font*>(&rect), &rect, 0, nullptr, u"a", 1, 0),
                 SL_E_INDEX);
  SL_EXPECT_FAIL(DrawTextInRectA(&gfx, nullptr, &rect, 0, nullptr, "a", 1, 0), SL_E_INDEX);
  SL_EXPECT_FAIL(DrawTextInRectW(&gfx, mono, nullptr, 0, nullptr, u"a", 1, 0), SL_E_INVALID_ARG);
  SL_EXPECT_OK(DrawTextInRectW(&gfx, mono, &rect, 0, nullptr, u"abc", 0, 0));

  // The shortened text goes back into a buffer of exactly the length + 4.
  const u32 flags = SL_GUI_TEXT_END_ELLIPSIS | SL_GUI_TEXT_MODIFY;
  const std::u16string_view ten = u"abcdefghij";
  std::vector<SLWChar> wide(ten.begin(), ten.end());
  wide.resize(14, u'#');
  SL_EXPECT_OK(DrawTextInRectW(&gfx, mono, &rect, flags, nullptr, wide.data(), 10, 0));
  EXPECT_EQ(std::u16string(wide.data()), u"a...");
  // Growing by the ellipsis still fits; the mnemonic keeps its prefix.
  const std::u16string_view twoLines = u"&ab\ncd";
  std::vector<SLWChar> grown(twoLines.begin(), twoLines.end());
  grown.resize(10, u'#');
  rect = {0, 0, 100, 8};  // the first line is the last
  SL_EXPECT_OK(DrawTextInRectW(&gfx, mono, &rect, SL_GUI_TEXT_END_ELLIPSIS_LAST | SL_GUI_TEXT_MODIFY, nullptr,
                               grown.data(), 6, 0));
  EXPECT_EQ(std::u16string(grown.data()), u"&ab...\ncd");
  // The 8-bit front end converts back into the caller's bytes.
  char narrow[14] = "abcdefghij\0##";
  rect = {0, 0, 30, 50};
  SL_EXPECT_OK(DrawTextInRectA(&gfx, mono, &rect, flags, nullptr, narrow, SL_TEXT_TO_END, 0));
  EXPECT_STREQ(narrow, "a...");
  gfx.m_log.clear();
  ASSERT_TRUE(DrawTextInRectA(&gfx, mono, &rect, 0, nullptr, "Ca\xf1" "a", SL_TEXT_TO_END, 0));
  EXPECT_EQ(gfx.m_log, "clip 0,0,30,50\ntext 'Ca?a'@0,0 p0\nclip 0,0,800,600\n");
}

TEST_F(TextLayout, UnderlineImageComesBackAfterItsGroupIsDestroyed) {
  EXPECT_EQ(Draw(u"&a", 0, {0, 0, 50, 50}), "text 'a'@0,0 p0 | line 4x1@0,8");
  ASSERT_TRUE(gfx.DestroyImagesOfGroup(gfx.GetImageGroup()));
  EXPECT_EQ(Draw(u"&a", 0, {0, 0, 50, 50}), "text 'a'@0,0 p0 | line 4x1@0,8");
  // A scaled run has a scaled underline.
  SL_GS_DrawImageOptions options{};
  options.flags = SL_GS_DRAW_SCALE | SL_GS_DRAW_ROTATION;
  options.scaleX = options.scaleY = 2.0;
  SLGuiRect rect{0, 0, 100, 50};
  gfx.m_log.clear();
  ASSERT_TRUE(DrawTextInRectW(&gfx, mono, &rect, SL_GUI_TEXT_NO_CLIP, &options, u"b&a", SL_TEXT_TO_END, 0));
  EXPECT_EQ(gfx.m_log, "text 'ba'@0,0 p0\nline 8x1@14,8\n");
}

// On the real device with DejaVu Sans rendered by fntwrite: a centred, wrapped Spanish
// paragraph with a mnemonic, read back and compared with tests/gui/golden/paragraph.pgm
// (the grey levels of the crop; SL_UPDATE_GOLDEN=1 writes it anew), within 2 per channel.
TEST(TextLayoutOnDevice, ParagraphMatchesTheGoldenCrop) {
  constexpr i32 kLeft = 20, kTop = 20, kWidth = 200, kHeight = 100;
  HWND window = SLTestMakeWindow("texto");
  ASSERT_NE(window, nullptr);
  CSL_GS_Gfx_DirectX device;
  const SL_GS_DisplayMode mode{0xFFFF, 320, 240, 32, 0, 0, 0};
  ASSERT_TRUE(device.Init(nullptr, window, &mode)) << std::hex << SLGetLastError();
  TempDir dir;
  const std::string ttf = SLTestCapture("fc-match -f '%{file}' 'DejaVu Sans'");
  SLTestCapture("'" + std::string(SL_BINARY_DIR) + "/tools/fntwrite/fntwrite' '" + ttf + "' 13 '" +
                dir.Host("dejavu13.fnt") + "'");
  SL_GS_Font* font = device.LoadFontFromFile(dir.Host("dejavu13.fnt").c_str());
  ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
  ASSERT_TRUE(device.Clear(0xFF404040, false, false));
  SLGuiRect rect{kLeft, kTop, kWidth, kHeight};
  const std::u16string text = u"&Jugar con los ni\u00f1os: el mago camina por la playa y canta una canci\u00f3n.";
  ASSERT_TRUE(DrawTextInRectW(&device, font, &rect, SL_GUI_TEXT_CENTER | SL_GUI_TEXT_WORD_WRAP, nullptr,
                              text.c_str(), SL_TEXT_TO_END, 0));
  SL_GS_SurfaceAccess* lock = device.LockBackBuffer(false);
  ASSERT_NE(lock, nullptr);
  std::string crop;  // white ink on grey stays grey: one channel holds the picture
  for (i32 y = kTop; y < kTop + kHeight; ++y)
    for (i32 x = kLeft; x < kLeft + kWidth; ++x) crop += char(lock->pixels[size_t(y) * lock->pitch + size_t(x) * 4 + 1]);
  device.UnlockBackBuffer();
  device.Shutdown();
  DestroyWindow(window);
  const std::string header = "P5\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  const std::string golden = std::string(SL_SOURCE_DIR) + "/tests/gui/golden/paragraph.pgm";
  if (const char* update = std::getenv("SL_UPDATE_GOLDEN"); update && *update == '1')
    std::ofstream(golden, std::ios::binary) << header << crop;
  std::ifstream in(golden, std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(stored.size(), header.size() + crop.size());
  u32 wrong = 0, ink = 0;
  for (size_t i = 0; i < crop.size(); ++i) {
    const int want = u8(stored[header.size() + i]), got = u8(crop[i]);
    wrong += (want - got > 2 || got - want > 2);
    ink += got != 0x40;
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_GT(ink, 500u);
}

}  // namespace
