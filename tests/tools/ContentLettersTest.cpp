// The accented letters of every font the content installs (the loose .FNT files and the
// skin pack's), read from the glyph pages the device loads: each is a picture of its own,
// with a mark of solid pixels that a child tells from the plain letter (í from i above
// all), each steps exactly as far as its plain letter in running text and the device draws
// the glyphs after it where they stand after the plain letter; and the space, which parts
// the words of a speech balloon alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include "image/SLImageArray.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace content_test;

// Coverage the tests call ink (half inked), solid (three quarters) and blank (a quarter).
constexpr int kInk = 128, kSolid = 192, kBlank = 64;

struct Picture {
  int width = 0, height = 0;
  std::vector<int> alpha;
  int At(int column, int row) const {
    return column < width && row < height ? alpha[size_t(row) * size_t(width) + size_t(column)] : 0;
  }
  int RowPeak(int row) const {
    int peak = 0;
    for (int column = 0; column < width; ++column) peak = std::max(peak, At(column, row));
    return peak;
  }
  int FirstInkRow() const {
    for (int row = 0; row < height; ++row)
      if (RowPeak(row) >= kInk) return row;
    return height;
  }
};

// A glyph's picture as the device loaded it: the alpha of its cell on its page (BGRA).
Picture GlyphPicture(CMemoryGfxDevice& device, SL_GS_Font* font, char16_t code) {
  Picture p;
  const SL_GS_FontGlyph* glyph = device.FindGlyph(font, code);
  if (!glyph) return p;
  const CSLImage* page = (*device.Record(font)->pages)[glyph->page];
  p.width = int(glyph->right - glyph->left), p.height = int(glyph->bottom - glyph->top);
  for (u32 row = glyph->top; row < glyph->bottom; ++row)
    for (u32 column = glyph->left; column < glyph->right; ++column) p.alpha.push_back(page->GetPixelAddress(column, row)[3]);
  return p;
}

// Every installed font, loaded: the loose files under the content and those the skin
// pack lists.
std::map<std::string, SL_GS_Font*> InstalledFonts(CMemoryGfxDevice& device) {
  std::map<std::string, SL_GS_Font*> fonts;
  for (const auto& entry : fs::recursive_directory_iterator(kContent)) {
    std::string extension = entry.path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::toupper);
    if (entry.is_regular_file() && extension == ".FNT")
      fonts[fs::relative(entry.path(), kContent).string()] = device.LoadFontFromFile(Narrow(entry.path().string()).c_str());
  }
  Pack skin(kContent + "/Gfx/Skin.DAT");
  std::istringstream layout(skin.Bytes("layout.inf"));
  std::string line, section;
  while (std::getline(layout, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') section = line;
    else if (section == "[Fonts]" && line.find(" = ") != std::string::npos) {
      const std::string file = line.substr(line.find(" = ") + 3);
      fonts["Skin.DAT/" + file] = skin.Open(file) ? device.LoadFontFromStorage(&skin.storage) : nullptr;
    }
  }
  return fonts;
}

struct Pair {
  char16_t accented, plain;
};
const Pair kPairs[] = {{u'á', u'a'}, {u'é', u'e'}, {u'í', u'i'}, {u'ó', u'o'}, {u'ú', u'u'},
                       {u'ü', u'u'}, {u'ñ', u'n'}, {u'Á', u'A'}, {u'É', u'E'}, {u'Í', u'I'},
                       {u'Ó', u'O'}, {u'Ú', u'U'}, {u'Ü', u'U'}, {u'Ñ', u'N'}};

// Pixels where two pictures set at the same pen differ by at least half a pixel of ink.
int Differences(const Picture& a, const Picture& b) {
  int count = 0;
  for (int row = 0; row < std::max(a.height, b.height); ++row)
    for (int column = 0; column < std::max(a.width, b.width); ++column)
      count += std::abs(a.At(column, row) - b.At(column, row)) >= kInk;
  return count;
}

// Solid pixels of `accented` above row `limit`: its mark over the plain letter's ink.
int MarkPixels(const Picture& accented, int limit) {
  int count = 0;
  for (int row = 0; row < limit; ++row)
    for (int column = 0; column < accented.width; ++column) count += accented.At(column, row) >= kSolid;
  return count;
}

// The top of the i's stem: the top of the ink run that ends lowest.
int StemTop(const Picture& i) {
  int row = i.height - 1;
  while (row > 0 && i.RowPeak(row) < kInk) --row;
  while (row > 0 && i.RowPeak(row - 1) >= kInk) --row;
  return row;
}

class ContentLetters : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "contentgen has not written " << kContent;
    ASSERT_TRUE(device.Init(nullptr, nullptr, nullptr));
    fonts = InstalledFonts(device);
    EXPECT_GE(fonts.size(), 7u);
  }
  void TearDown() override {
    for (const auto& [name, font] : fonts)
      if (font) device.DestroyFont(font);
  }
  // The fonts of the built-in skin that the build makes.
  void AddBuiltInSkinFonts() {
    SLTestCapture("unzip -q -d '" + skinDir.Host() + "' '" SL_BINARY_DIR "/gui/defskin.zip' '*.FNT'");
    for (const char* file : {"Sans8.FNT", "Sans10B.FNT"})
      fonts[std::string("defskin.zip/") + file] = device.LoadFontFromFile(skinDir.Host(file).c_str());
  }
  CMemoryGfxDevice device;
  std::map<std::string, SL_GS_Font*> fonts;
  TempDir skinDir;
};

TEST_F(ContentLetters, EveryAccentedLetterIsItsOwnPicture) {
  for (const auto& [name, font] : fonts) {
    SCOPED_TRACE(name);
    ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
    for (const Pair& pair : kPairs) {
      SCOPED_TRACE(unsigned(pair.accented));
      const Picture accented = GlyphPicture(device, font, pair.accented), plain = GlyphPicture(device, font, pair.plain);
      ASSERT_TRUE(accented.width && plain.width);
      EXPECT_GE(Differences(accented, plain), 2);
      // The mark stands over the plain letter: over a capital's top, a small letter's
      // body, and for í over the stem, where the i has its dot.
      const int limit = pair.plain == u'i' ? StemTop(plain) : plain.FirstInkRow();
      EXPECT_GE(MarkPixels(accented, limit), 2);
      if (pair.plain == u'i') {
        EXPECT_LT(accented.RowPeak(limit - 1), kBlank) << "no free row over the stem";
      }
    }
    // ¡ and ¿: the dot stands apart from the stroke under it, as in ! and ?.
    for (char16_t inverted : {u'¡', u'¿'}) {
      SCOPED_TRACE(unsigned(inverted));
      const Picture p = GlyphPicture(device, font, inverted);
      int row = p.FirstInkRow();
      while (row < p.height && p.RowPeak(row) >= kBlank) ++row;
      EXPECT_LT(row, p.height);
      while (row < p.height && p.RowPeak(row) < kInk) ++row;
      EXPECT_LT(row, p.height) << "no stroke under the dot";
    }
  }
}

// A mark wider than its letter's cell (the acute over a one-column i) must not move the
// letters after it: texts measure as with the plain letters.
TEST_F(ContentLetters, AccentedLettersStepAsTheirPlainLetters) {
  for (const auto& [name, font] : fonts) {
    SCOPED_TRACE(name);
    ASSERT_NE(font, nullptr);
    for (const Pair& pair : kPairs)
      for (char16_t next : {u'a', u'l', u'í', u'T', u' ', u'.', u'?'}) {
        const char16_t accented[] = {u'x', pair.accented, next}, plain[] = {u'x', pair.plain, next};
        EXPECT_EQ(device.GetTextWidth(font, accented, 3), device.GetTextWidth(font, plain, 3))
            << unsigned(pair.accented) << " before " << unsigned(next);
      }
    EXPECT_EQ(device.GetTextWidth(font, u"Había días", 10), device.GetTextWidth(font, u"Habia dias", 10));
  }
}

// What a reader sees: the device draws the glyphs after an accented letter where it draws
// them after the plain letter, whatever stands before it, so a mark wider than its letter
// opens no gap ("Sofía", not "Sofí a"). A text that starts with the letter has no glyph
// before it to take the mark's extra column back: there the rest stands at most that one
// column further.
TEST_F(ContentLetters, GlyphsAfterAnAccentedLetterStandWhereTheyDoAfterThePlainOne) {
  AddBuiltInSkinFonts();
  for (const auto& [name, font] : fonts) {
    SCOPED_TRACE(name);
    ASSERT_NE(font, nullptr);
    for (const Pair& pair : kPairs)
      for (char16_t before : {u'x', u' ', u'f', u'S', u'í', u'¡', u'«'})
        for (char16_t next : {u'a', u'l', u'í', u'T', u' ', u'.', u'?'}) {
          const std::u16string accented{before, pair.accented, next, u'y'}, plain{before, pair.plain, next, u'y'};
          EXPECT_EQ(device.DrawnPens(font, accented), device.DrawnPens(font, plain))
              << unsigned(before) << ", " << unsigned(pair.accented) << ", " << unsigned(next);
        }
    for (const Pair& pair : kPairs) {
      const std::vector<i32> accented = device.DrawnPens(font, {pair.accented, u'a', u'y'}),
                             plain = device.DrawnPens(font, {pair.plain, u'a', u'y'});
      ASSERT_EQ(accented.size(), 3u);
      const i32 shift = accented[1] - plain[1];
      EXPECT_TRUE(shift == 0 || shift == 1) << unsigned(pair.accented) << " moves the next glyph " << shift;
      EXPECT_EQ(accented[2] - plain[2], shift) << unsigned(pair.accented);
    }
  }
}

// A balloon lays out and draws word by word and puts the width of a lone space between
// two words, with no gap of its own: that must part words at least as far as a space adds
// to running text, the typeface's space and a letter's gap ("íi íi" read "íiíi", "il li"
// "illi"). Running text adds as much after any glyph, and as much for each space of a run.
// The built-in skin's fonts come from the same writer.
TEST_F(ContentLetters, BalloonWordsStandApartAsFarAsASpaceAddsToRunningText) {
  AddBuiltInSkinFonts();
  const std::pair<std::u16string, std::u16string> words[] = {
      {u"íi", u"íi"}, {u"il", u"li"}, {u"¡Sí!", u"Ñandú"}, {u"mí", u"—«Y»"}};
  for (const auto& [name, font] : fonts) {
    SCOPED_TRACE(name);
    ASSERT_NE(font, nullptr);
    auto width = [&](const std::u16string& text) { return device.GetTextWidth(font, text.data(), u32(text.size())); };
    auto added = [&](const std::u16string& left, const std::u16string& spaces, const std::u16string& right) {
      return width(left + spaces + right) - width(left + right);
    };
    const i32 space = added(u"n", u" ", u"a"), balloon = width(u" ");
    EXPECT_GE(balloon, space);
    EXPECT_EQ(added(u"n", u"  ", u"a"), 2 * space);
    for (const auto& [left, right] : words) EXPECT_EQ(added(left, u" ", right), space) << unsigned(left[0]);
  }
}

}  // namespace
