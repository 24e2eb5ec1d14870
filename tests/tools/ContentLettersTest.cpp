// The accented letters of every font the content installs (the loose .FNT files and the
// skin pack's), read from the glyph pages: each is a picture of its own, with a mark of
// solid pixels that a child tells from the plain letter (í from i above all), and each
// steps exactly as far as its plain letter in running text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/MemoryGfxDevice.h"
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

// The glyph pictures of a font file (the layout SLGfxFonts.cpp reads), by code; empty
// when the bytes are not a font.
std::map<char16_t, Picture> ReadGlyphs(const std::string& bytes) {
  const auto* data = reinterpret_cast<const u8*>(bytes.data());
  if (bytes.size() < 23 || bytes.compare(0, 11, "Font File.\x1A") != 0) return {};
  const size_t glyphs = SLLoadLE16(data + 13), pages = SLLoadLE32(data + 19);
  const size_t kerning = 23 + glyphs * 12;
  if (bytes.size() < kerning + 2) return {};
  const size_t pixels = kerning + 2 + size_t(SLLoadLE16(data + kerning)) * 6;
  if (bytes.size() != pixels + pages * 256 * 256 * 4) return {};
  std::map<char16_t, Picture> out;
  for (size_t i = 0; i < glyphs; ++i) {
    const u8* g = data + 23 + i * 12;
    const int left = SLLoadLE16(g + 2), top = SLLoadLE16(g + 4), right = SLLoadLE16(g + 6), bottom = SLLoadLE16(g + 8);
    const size_t page = SLLoadLE16(g + 10);
    if (page >= pages || right > 256 || bottom > 256 || right < left || bottom < top) return {};
    Picture& p = out[char16_t(SLLoadLE16(g))];
    p.width = right - left, p.height = bottom - top;
    for (int row = top; row < bottom; ++row)
      for (int column = left; column < right; ++column)
        p.alpha.push_back(data[pixels + page * 256 * 256 * 4 + (size_t(row) * 256 + size_t(column)) * 4 + 3]);
  }
  return out;
}

// Every installed font: the loose files under Gfx and those the skin pack lists.
std::map<std::string, std::string> InstalledFonts() {
  std::map<std::string, std::string> fonts;
  for (const auto& entry : fs::recursive_directory_iterator(kContent)) {
    std::string extension = entry.path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::toupper);
    if (entry.is_regular_file() && extension == ".FNT")
      fonts[fs::relative(entry.path(), kContent).string()] = Read(entry.path().string());
  }
  Pack skin(kContent + "/Gfx/Skin.DAT");
  std::istringstream layout(skin.Bytes("layout.inf"));
  std::string line, section;
  while (std::getline(layout, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') section = line;
    else if (section == "[Fonts]" && line.find(" = ") != std::string::npos)
      fonts["Skin.DAT/" + line.substr(line.find(" = ") + 3)] = skin.Bytes(line.substr(line.find(" = ") + 3));
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

TEST(ContentLetters, EveryAccentedLetterIsItsOwnPicture) {
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "contentgen has not written " << kContent;
  const std::map<std::string, std::string> fonts = InstalledFonts();
  EXPECT_GE(fonts.size(), 7u);
  for (const auto& [name, bytes] : fonts) {
    SCOPED_TRACE(name);
    const std::map<char16_t, Picture> glyphs = ReadGlyphs(bytes);
    ASSERT_FALSE(glyphs.empty());
    for (const Pair& pair : kPairs) {
      SCOPED_TRACE(unsigned(pair.accented));
      ASSERT_TRUE(glyphs.count(pair.accented) && glyphs.count(pair.plain));
      const Picture &accented = glyphs.at(pair.accented), &plain = glyphs.at(pair.plain);
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
      const Picture& p = glyphs.at(inverted);
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
TEST(ContentLetters, AccentedLettersStepAsTheirPlainLetters) {
  SLTestRegisterClasses();
  CMemoryGfxDevice device;
  ASSERT_TRUE(device.Init(nullptr, nullptr, nullptr));
  for (const char* file : {"Letra_8.FNT", "Tahoma_8.FNT", "ComicSans_9B.FNT", "ComicSans_11.FNT"}) {
    SCOPED_TRACE(file);
    SL_GS_Font* font = device.LoadFontFromFile(Narrow(kContent + "/Gfx/" + file).c_str());
    ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
    for (const Pair& pair : kPairs)
      for (char16_t next : {u'a', u'l', u'í', u'T', u' ', u'.', u'?'}) {
        const char16_t accented[] = {u'x', pair.accented, next}, plain[] = {u'x', pair.plain, next};
        EXPECT_EQ(device.GetTextWidth(font, accented, 3), device.GetTextWidth(font, plain, 3))
            << unsigned(pair.accented) << " before " << unsigned(next);
      }
    EXPECT_EQ(device.GetTextWidth(font, u"Había días", 10), device.GetTextWidth(font, u"Habia dias", 10));
    device.DestroyFont(font);
  }
}

}  // namespace
