// Bitmap fonts over the in-memory device: a hand-made font and its malformed variants
// from the python fixture writer, and fonts that fntwrite renders with FreeType.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kFixtures = std::string("python3 '") + SL_SOURCE_DIR + "/tools/fixtures/make_font_fixtures.py' ";
const std::string kFntWrite = std::string(SL_BINARY_DIR) + "/tools/fntwrite/fntwrite";

struct FontEvents {
  void OnEvent(CSL_GS_BaseGfx* sender, CSLBaseEvent* event, u32) {
    if (!event->IsKindOf(CSL_GS_GfxDestroyingFontEvent::GetClassRecord())) return;
    ++count;
    aliveDuringEvent = sender->GetFontHeight(static_cast<CSL_GS_GfxDestroyingFontEvent*>(event)->m_font) != 0;
  }
  int count = 0;
  bool aliveDuringEvent = false;
};

class Fonts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.Init(nullptr, nullptr, nullptr));
    SLTestCapture(kFixtures + "'" + dir.Host() + "'");
    device.AddCallback(&events, &FontEvents::OnEvent, 0);
  }
  void TearDown() override { device.RemoveCallback(&events, &FontEvents::OnEvent, 0); }
  SL_GS_Font* Load(const std::string& name) { return device.LoadFontFromFile(dir.Host(name).c_str()); }

  TempDir dir;
  CMemoryGfxDevice device;
  FontEvents events;
};

TEST_F(Fonts, MeasuresWithKerningAndTheTwoPixelGap) {
  SL_GS_Font* font = Load("good.fnt");
  ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
  struct Case {
    const SLWChar* text;
    i32 width;
  } cases[] = {
      {u"", 0},           {u"AV", 14},      {u"A\u00e9V", 15},  // no glyph between: no kerning either
      {u"VA", 15},        {u".", 1},        {u"..", 0},           // 1 + 2 - 4 + 1 + 2 = 2, less the gap
      {u"...", 0},        {u"zz", 0},       {u"A A", 7 + 2 + 3 + 2 + 7},
  };
  for (const Case& c : cases)
    EXPECT_EQ(device.GetTextWidth(font, c.text, 0xFFFFFFFF), c.width) << std::u16string(c.text).size();
  EXPECT_EQ(device.GetTextWidth(font, u"AVxx", 2), 14);
  SL_EXPECT_FAIL(device.GetTextWidth(font, nullptr, 3), SL_E_INVALID_ARG);
  EXPECT_EQ(device.GetTextWidthFormat(font, "%c%s", 'A', "V"), 14);
  EXPECT_EQ(device.DrawTextFormat(font, 0, 0, 0, nullptr, "A%d", 1), 7);
  SL_EXPECT_FAIL(device.DrawTextFormat(font, 0, 0, 0, nullptr, nullptr), SL_E_INVALID_ARG);
  EXPECT_EQ(device.GetFontHeight(font), 10u);  // the space's, not the taller "A"'s
  EXPECT_EQ(device.GetFontAverageGlyphWidth(font), (6 + 1 + 7 + 3 + 7) / 5u);
  SL_EXPECT_FAIL(device.FindGlyph(font, 0x10041), SL_E_NOT_FOUND);
  SL_EXPECT_FAIL(device.FindKerningPair(font, 'V', 'A'), SL_E_NOT_FOUND);

  // Pages keep the file's colour as their key; the white image is there and not readable.
  SL_GS_FontRecord* record = device.Record(font);
  u32 key = 0;
  EXPECT_TRUE(record->pages->GetCount() == 1 && (*record->pages)[0]->GetTransparentColor(&key) && key == 0xFF00FFu);
  EXPECT_EQ(device.GetImagePixel(record->whiteImage, 0, 0), 0xFF000000u);
  EXPECT_EQ(SLGetLastError(), SL_E_NOT_AVAILABLE);
}

TEST_F(Fonts, DestroyTellsListenersAndRefusesStaleHandles) {
  SL_GS_Font* font = Load("good.fnt");
  ASSERT_NE(font, nullptr);
  SL_GS_Image* white = device.Record(font)->whiteImage;
  SL_EXPECT_OK(device.DestroyFont(font));
  EXPECT_TRUE(events.count == 1 && events.aliveDuringEvent);
  EXPECT_FALSE(device.IsValidImage(white));
  SL_EXPECT_FAIL(device.DestroyFont(font), SL_E_INDEX);
  for (SL_GS_Font* stale : {font, static_cast<SL_GS_Font*>(nullptr), reinterpret_cast<SL_GS_Font*>(white)}) {
    SL_EXPECT_FAIL(device.GetFontHeight(stale), SL_E_INDEX);
    SL_EXPECT_FAIL(device.GetTextWidth(stale, u"A", 1), SL_E_INDEX);
  }
  SL_EXPECT_FAIL(device.DestroyFontAndClear(nullptr), SL_E_NULL_DATA);

  // A font whose white image went with an image group still destroys cleanly.
  SL_GS_Font* second = Load("good.fnt");
  ASSERT_TRUE(device.DestroyImagesOfGroup(1));
  SL_EXPECT_OK(device.DestroyFontAndClear(&second));
  EXPECT_EQ(second, nullptr);
  // Shutdown takes the rest.
  ASSERT_NE(Load("good.fnt"), nullptr);
  device.Shutdown();
  EXPECT_EQ(events.count, 3);
  EXPECT_EQ(device.m_liveFontTextures, 0);
}

TEST_F(Fonts, MalformedFilesAreRefusedWithoutLeftovers) {
  const char* names[] = {"version3.fnt",       "right257.fnt",      "kerning_without_glyph.fnt",
                         "zero_glyphs.fnt",    "zero_pages.fnt",    "short_page.fnt",
                         "bad_signature.fnt",  "code_below_32.fnt", "page_out_of_range.fnt",
                         "empty_rectangle.fnt", "short_header.fnt"};
  for (const char* name : names) SL_EXPECT_FAIL(Load(name), SL_E_MALFORMED) << name;
  SL_EXPECT_FAIL(device.LoadFontFromStorage(nullptr), SL_E_NULL_DATA);
  device.m_failFontTextures = true;
  SL_EXPECT_FAIL(Load("good.fnt"), 0x8001000f);
  EXPECT_TRUE(device.m_liveImageTextures.empty());
  EXPECT_EQ(device.m_liveFontTextures, 0);
  device.Shutdown();
  EXPECT_EQ(events.count, 0);
}

TEST_F(Fonts, FontWriterOutputLoadsInAnyGlyphOrder) {
  const std::string fnt = dir.Host("dejavu13.fnt"), again = dir.Host("again.fnt");
  const std::string ttf = SLTestCapture("fc-match -f '%{file}' 'DejaVu Sans'");
  // The same input gives the same bytes.
  const std::string write = kFntWrite + " '" + ttf + "' 13 '";
  ASSERT_EQ(SLTestCapture(write + fnt + "' --kern 'AV:-3' && " + write + again + "' --kern 'AV:-3' && cmp '" + fnt +
                          "' '" + again + "' && echo same"),
            "same\n");
  SLTestCapture(kFixtures + "--shuffle '" + fnt + "' '" + dir.Host("shuffled.fnt") + "'");
  std::istringstream stats(SLTestCapture(kFixtures + "--stats '" + fnt + "'"));
  u32 count = 0, lineHeight = 0, mean = 0;
  stats >> count >> lineHeight >> mean;
  ASSERT_EQ(count, 218u);  // printable ASCII and the 123 characters of the Windows-1252 upper half

  SL_GS_Font* font = Load("shuffled.fnt");
  ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
  EXPECT_EQ(device.GetFontHeight(font), lineHeight);
  EXPECT_EQ(device.GetFontAverageGlyphWidth(font), mean);
  std::u16string wanted = u"¡¿ÁÉÍÑÓÚÜáéíñóúü«»‹›—–…·€";
  for (char16_t c = 0x20; c <= 0x7E; ++c) wanted += c;
  for (char16_t c : wanted) {
    const SL_GS_FontGlyph* glyph = device.FindGlyph(font, c);
    ASSERT_NE(glyph, nullptr) << int(c);
    EXPECT_EQ(glyph->bottom - glyph->top, lineHeight) << int(c);  // every glyph spans the whole line cell
  }
  const SL_GS_FontKerningPair* pair = device.FindKerningPair(font, 'A', 'V');
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(pair->adjustment, -3);
  const SL_GS_FontGlyph* a = device.FindGlyph(font, 'A');
  const SL_GS_FontGlyph* v = device.FindGlyph(font, 'V');
  EXPECT_EQ(device.GetTextWidth(font, u"AV", 2), i32(a->right - a->left + v->right - v->left) + 2 - 3);

  // The same file loads from memory too.
  std::ifstream in(fnt, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CSLMemoryStorage storage;
  storage.Write(bytes.data(), bytes.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  EXPECT_NE(device.LoadFontFromStorage(&storage), nullptr);
}

}  // namespace
