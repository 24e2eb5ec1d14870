// Skins: the built-in default skin, loading from ZIP archives and data packs, the value
// grammar, lookups, malformed skins (which add nothing), layout expressions, unloading
// and the device handles that follow the graphics device.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "gui/SLGuiDefaultSkin.h"
#include "gui/SLGuiManager.h"
#include "image/SLImageArray.h"
#include "image/SLImageReader.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "tests/support/GuiTestWindow.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tools/slpack/PackWriter.h"

namespace {

std::vector<u8> Bytes(const std::string& text) { return std::vector<u8>(text.begin(), text.end()); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A device that counts its live handles, so that a failed load can be shown to leave none.
class CountingGfx : public CMemoryGfxDevice {
 public:
  CountingGfx() {
    SL_GS_DisplayMode mode{1, 640, 480, 32, 1, 0, 0};
    Init(nullptr, nullptr, &mode);
  }
  u32 Images() {
    u32 n = 0;
    for (SL_GS_Image* h : m_imageLog) n += IsValidImage(h);
    return n;
  }
  u32 Fonts() {
    u32 n = 0;
    for (SL_GS_Font* h : m_fontLog) n += IsValidFont(h);
    return n;
  }

 public:
  bool CreateImageTextures(SL_GS_ImageRecord* image) override {
    m_imageLog.push_back(image->handle);
    return CMemoryGfxDevice::CreateImageTextures(image);
  }
  bool CreateFontTextures(SL_GS_FontRecord* font) override {
    m_fontLog.push_back(font->handle);
    return CMemoryGfxDevice::CreateFontTextures(font);
  }
  std::vector<SL_GS_Image*> m_imageLog;
  std::vector<SL_GS_Font*> m_fontLog;
};

class Skin : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    CTestGuiWindow::Reset();
    ASSERT_TRUE(m.Init());
  }
  void TearDown() override {
    m.Shutdown();
    CTestGuiWindow::Reset();
  }
  u32 SkinCount() {
    u32 n = 0;
    for (SLGuiSkin* s = m.GetState()->skins; s; s = s->next) ++n;
    return n;
  }
  // Loads a skin from a ZIP archive of the given members (written by python's zipfile).
  u32 LoadZip(const std::vector<std::pair<std::string, std::string>>& members) {
    const TempDir dir;
    std::string script = "import zipfile\nz = zipfile.ZipFile('" + dir.Host("skin.zip") + "', 'w', zipfile.ZIP_DEFLATED)\n";
    for (size_t i = 0; i < members.size(); ++i) {
      dir.Write("m" + std::to_string(i), members[i].second);
      script += "z.write('" + dir.Host("m" + std::to_string(i)) + "', '" + members[i].first + "')\n";
    }
    script += "z.close()\n";
    SLTestRunPython(script);
    m_zipBytes = ReadFile(dir.Host("skin.zip"));
    CSLMemoryStorage memory;
    memory.AttachBuffer(m_zipBytes.data(), u32(m_zipBytes.size()), false);
    CSLZipFileStorage zip;
    if (!zip.AttachContainer(&memory)) return 0;
    const u32 id = m.LoadSkinFromStorage(&zip);
    SLErrorKeeper keep;
    zip.AttachContainer(nullptr);
    return id;
  }
  CSL_GS_GuiManager m;
  std::string m_zipBytes;
};

// A small GIF made by ImageMagick: 32 x 32, red with a magenta square.
std::string SmallGif() {
  const TempDir dir;
  SLTestCapture("convert -size 32x32 xc:red -fill magenta -draw 'rectangle 8,8 15,15' '" + dir.Host("a.gif") + "'");
  return dir.Read("a.gif");
}

const std::string kImages = "[Images]\r\nPIC = a.gif; (255,0,255)\r\n";

// --- The built-in default skin ---

TEST_F(Skin, DefaultSkinLoadsOnceAndAgainAddsNothing) {
  SL_EXPECT_OK(m.LoadSkinLayout(nullptr, true) == 1);
  SLGuiSkin* skin = m.GetState()->skins;
  ASSERT_NE(skin, nullptr);
  EXPECT_EQ(skin->id, 0u);
  EXPECT_EQ(skin->imageCount, 1u);
  EXPECT_EQ(skin->fontCount, 2u);
  const u32 entries = skin->entryCount;
  EXPECT_EQ(m.LoadSkinLayout(nullptr, true), 1000u);
  EXPECT_EQ(SkinCount(), 1u);
  EXPECT_EQ(m.GetState()->skins->entryCount, entries);
}

// Every manager has a skin of its own: one shutting down leaves the other's records whole.
TEST_F(Skin, DefaultSkinsOfTwoManagersAreIndependent) {
  CSL_GS_GuiManager other;
  ASSERT_TRUE(other.Init());
  ASSERT_TRUE(other.LoadDefaultSkin());
  ASSERT_TRUE(m.LoadDefaultSkin());
  const SLGuiSkinInfo* mine = m.GetSkinInfo(0, "WindowWithCaption_Common", "CaptionInfo");
  const SLGuiSkinInfo* theirs = other.GetSkinInfo(0, "WindowWithCaption_Common", "CaptionInfo");
  ASSERT_TRUE(mine && theirs);
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(mine->skin, m.GetState()->skins);
  other.Shutdown();
  i32 values[4];
  SL_EXPECT_OK(m.EvaluateSkinInfo(mine, 300, 100, values));
  EXPECT_EQ(values[2], 206);
  const auto* font = static_cast<const SLGuiSkinFont*>(nullptr);
  for (u32 i = 0; i < m.GetState()->skins->entryCount; ++i)
    if (m.GetState()->skins->entries[i].key->kind == SL_GUI_SKIN_FONT)
      font = static_cast<const SLGuiSkinFont*>(m.GetState()->skins->entries[i].value);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->name, m.GetState()->skins->fonts[font->font].name);
  EXPECT_EQ(font->skin, m.GetState()->skins);
}

// The rows widgets rely on, as the default skin gives them.
TEST_F(Skin, DefaultSkinCarriesItsBindingRows) {
  ASSERT_TRUE(m.LoadDefaultSkin());
  struct Row {
    const char* section;
    const char* key;
    i32 x, y, w, h, l, t, r, b;
    u32 stretchX, stretchY;
  } rows[] = {
      {"WindowWithCaption_Active", "Top", 0, 0, 200, 30, 9, 0, 82, 0, 1, 1},
      {"WindowWithCaption_Active", "Bottom", 0, 69, 200, 3, 3, 0, 3, 0, 1, 1},
      {"WindowWithCaption_Active", "Left", 0, 60, 3, 9, 0, 0, 0, 0, 1, 1},
      {"WindowWithCaption_Active", "Right", 197, 60, 3, 9, 0, 0, 0, 0, 1, 1},
      {"WindowWithCaption_Inactive", "Top", 0, 30, 200, 30, 9, 0, 82, 0, 1, 1},
      {"PushButton", "Normal", 0, 217, 38, 22, 18, 14, 18, 7, 1, 1},
      {"Label", "Normal", -1, -1, -1, -1, 3, 3, 3, 3, 1, 1},
      {"Scrollbar_Horizontal", "NormalButton", 121, 84, 17, 17, 4, 3, 8, 3, 1, 1},
      {"Scrollbar_Horizontal", "TrackArea", 190, 84, 17, 17, 1, 1, 1, 1, 1, 1},
      {"Scrollbar_Vertical", "NormalButton", 121, 101, 17, 17, 8, 3, 4, 3, 1, 1},
      {"Slider_Horizontal", "Slider", 201, 56, 8, 4, 2, 0, 2, 0, 1, 1},
      {"Slider_Vertical", "Slider", 210, 53, 4, 8, 0, 2, 0, 2, 1, 1},
      {"Grid", "HorizontalSeparator", 208, 80, 36, 1, 0, 0, 0, 0, 0, 1},
      {"Grid", "VerticalSeparator", 249, 82, 1, 36, 0, 0, 0, 0, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.section) + "/" + row.key);
    const SLGuiSkinElement* e = m.GetSkinImageElement(0, row.section, row.key);
    ASSERT_NE(e, nullptr);
    if (row.x >= 0) {
      EXPECT_EQ((std::vector<i32>{e->x, e->y, e->width, e->height}), (std::vector<i32>{row.x, row.y, row.w, row.h}));
    }
    EXPECT_EQ((std::vector<i32>{e->left, e->top, e->right, e->bottom}), (std::vector<i32>{row.l, row.t, row.r, row.b}));
    EXPECT_EQ(e->stretchX, row.stretchX);
    EXPECT_EQ(e->stretchY, row.stretchY);
  }
  const SLGuiSkinGlyph* close = m.GetSkinGlyph(0, "WindowWithCaption_Common", "CloseButtonNormal");
  ASSERT_NE(close, nullptr);
  EXPECT_EQ((std::vector<i32>{close->x, close->y, close->width, close->height}), (std::vector<i32>{0, 84, 20, 20}));
  const SLGuiSkinGlyph* checked = m.GetSkinGlyph(0, "CheckBox", "NormalChecked");
  ASSERT_NE(checked, nullptr);
  EXPECT_EQ((std::vector<i32>{checked->x, checked->y, checked->width, checked->height}),
            (std::vector<i32>{52, 189, 13, 13}));
  const SLGuiSkinGlyph* slider = m.GetSkinGlyph(0, "Slider_Vertical", "NormalGlyph");
  ASSERT_NE(slider, nullptr);
  EXPECT_EQ((std::vector<i32>{slider->x, slider->y, slider->width, slider->height}), (std::vector<i32>{238, 0, 17, 10}));
  // What the default skin leaves out: frames find no elements, no overrides, no thumbs.
  EXPECT_EQ(m.GetSkinImageElement(0, "Frame", "Rectangle"), nullptr);
  EXPECT_EQ(m.GetSkinImageElement(0, "GroupBox", "Border"), nullptr);
  EXPECT_EQ(m.GetSkinImageElement(0, "PushButton", "NormalBackgroundOverride"), nullptr);
  EXPECT_EQ(m.GetSkinImageElement(0, "PushButton", "Focused"), nullptr);
  EXPECT_EQ(m.GetSkinImageElement(0, "Scrollbar_Horizontal", "NormalThumb"), nullptr);
  EXPECT_NE(m.GetSkinGlyph(0, "Scrollbar_Horizontal", "NormalThumbGlyph"), nullptr);
  EXPECT_EQ(m.GetVScrollButtonElement(0), 17);
  EXPECT_EQ(m.GetHScrollButtonElement(0), 17);
  const SLGuiSkinColor* over = m.GetSkinColor(0, "PushButton", "OverColor");
  ASSERT_NE(over, nullptr);
  EXPECT_EQ(over->color, 0xFF202020u);
  const SLGuiSkinColor* inactive = m.GetSkinColor(0, "WindowWithCaption_Inactive", "NormalCaptionColor");
  ASSERT_NE(inactive, nullptr);
  EXPECT_EQ(inactive->color, 0xFFC0C0C0u);
  EXPECT_EQ(inactive->borderColor, 0xFF000000u);
  EXPECT_EQ(inactive->borderSize, 1);
}

TEST_F(Skin, InfoExpressionsEvaluateOverTheRectangle) {
  ASSERT_TRUE(m.LoadDefaultSkin());
  const SLGuiSkinInfo* caption = m.GetSkinInfo(0, "WindowWithCaption_Common", "CaptionInfo");
  ASSERT_NE(caption, nullptr);
  ASSERT_EQ(caption->count, 4u);
  i32 values[4];
  SL_EXPECT_OK(m.EvaluateSkinInfo(caption, 300, 100, values));
  EXPECT_EQ((std::vector<i32>(values, values + 4)), (std::vector<i32>{9, 6, 206, 20}));
  const SLGuiSkinInfo* close = m.GetSkinInfo(0, "WindowWithCaption_Common", "CloseButtonInfo");
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->count, 2u);
  SL_EXPECT_OK(m.EvaluateSkinInfo(close, 300, 100, values));
  EXPECT_EQ(values[0], 268);

  // CENTERX is the integer half; results truncate toward zero and clamp to 32 bits; a
  // result that is not finite fails like a bad expression and zeroes every output.
  struct Case {
    const char* expressions;
    i32 width;
    bool ok;
    i32 first;
  } cases[] = {
      {"CENTERX; CENTERY", 301, true, 150},
      {"WIDTH/4; 0", 301, true, 75},
      {"-WIDTH/4; 0", 301, true, -75},
      {"WIDTH*WIDTH*WIDTH*WIDTH; 0", 301, true, 2147483647},
      {"-WIDTH*WIDTH*WIDTH*WIDTH; 0", 301, true, i32(-2147483647 - 1)},
      {"1/0; 5", 301, false, 0},
      {"1 @  (3); 5", 301, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expressions);
    char texts[kSLGuiSkinValueMax];
    u32 offsets[2];
    ASSERT_TRUE(SLGuiSkinParseInfo(c.expressions, 2, texts, offsets));
    SLGuiSkinInfo info{2, nullptr, {texts + offsets[0], texts + offsets[1], nullptr, nullptr}};
    i32 out[2] = {-7, -7};
    EXPECT_EQ(m.EvaluateSkinInfo(&info, c.width, 51, out), c.ok);
    EXPECT_EQ(out[0], c.first);
    if (!c.ok) {
      EXPECT_EQ(out[1], 0);
    }
  }
}

// The archive is the same bytes from build to build, lists its four members, and its
// picture decodes in ImageMagick to the pixels our reader gives.
TEST_F(Skin, DefaultArchiveIsReproducibleAndItsPictureDecodesAlike) {
  const std::string built = std::string(SL_BINARY_DIR) + "/gui/defskin.zip";
  const std::string bytes = ReadFile(built);
  ASSERT_EQ(bytes.size(), kSLGuiDefaultSkinSize);
  EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(kSLGuiDefaultSkin), kSLGuiDefaultSkinSize));
  const TempDir dir;
  SLTestCapture("python3 '" SL_SOURCE_DIR "/tools/defskin/defskin.py' --fntwrite '" SL_BINARY_DIR
                "/tools/fntwrite/fntwrite' --out '" + dir.Host("again.zip") + "'");
  EXPECT_EQ(dir.Read("again.zip"), bytes);
  const std::string listing = SLTestCapture("unzip -l '" + built + "'");
  for (const char* name : {"defskin.gif", "layout.inf", "Sans8.FNT", "Sans10B.FNT"})
    EXPECT_NE(listing.find(name), std::string::npos) << name;
  EXPECT_NE(listing.find("4 files"), std::string::npos);

  SLTestCapture("cd '" + dir.Host() + "' && unzip -q '" + built + "' defskin.gif && convert defskin.gif rgb:magick.rgb");
  const std::string magick = dir.Read("magick.rgb");
  ASSERT_EQ(magick.size(), 256u * 256u * 3u);
  ASSERT_TRUE(m.LoadDefaultSkin());
  const CSLImage* picture = (*m.GetState()->skins->images)[0];
  ASSERT_EQ(picture->GetWidth(), 256u);
  u32 differing = 0;
  for (u32 y = 0; y < 256; ++y)
    for (u32 x = 0; x < 256; ++x) {
      const u32 ours = picture->GetPixel(x, y) & 0xFFFFFF;  // red in the low byte
      const u8* theirs = reinterpret_cast<const u8*>(magick.data()) + (y * 256 + x) * 3;
      if (ours != (u32(theirs[2]) << 16 | u32(theirs[1]) << 8 | theirs[0])) ++differing;
    }
  EXPECT_EQ(differing, 0u);
}

// A window of skin 0 brings the default skin in, and the desktop settings come from it.
TEST_F(Skin, FirstWindowLoadsTheDefaultSkinAndTheDesktopSettings) {
  CountingGfx gfx;
  ASSERT_TRUE(m.SetGfx(&gfx));
  EXPECT_EQ(m.GetState()->skins, nullptr);
  CTestGuiWindow::s_nextName = "W";
  ASSERT_NE(m.CreateWindow(CTestGuiWindow::GetClassRecord(), "W", 0, 0, 50, 50, SL_GUI_WS_VISIBLE, 0, 0, nullptr),
            nullptr);
  ASSERT_EQ(SkinCount(), 1u);
  EXPECT_EQ(gfx.Images(), 3u);  // the picture, and each font's white image
  EXPECT_EQ(gfx.Fonts(), 2u);
  const SLGuiManagerState* state = m.GetState();
  EXPECT_NE(state->iconFont, nullptr);
  EXPECT_EQ(state->normalCaptionColor.color, 0xFFFFFFFFu);
  EXPECT_EQ(state->normalCaptionColor.borderColor, 0xFF000000u);
  EXPECT_EQ(state->normalCaptionColor.borderSize, 1);
  EXPECT_EQ(state->disabledCaptionColor.color, 0xFF808080u);
  m.Shutdown();
  EXPECT_EQ(gfx.Images(), 0u);
  EXPECT_EQ(gfx.Fonts(), 0u);
}

// Detaching the device frees every skin handle; attaching one makes them again.
TEST_F(Skin, HandlesFollowTheDevice) {
  CountingGfx gfx;
  ASSERT_TRUE(m.LoadDefaultSkin());
  EXPECT_EQ(m.GetState()->skins->imageHandles[0], nullptr);
  EXPECT_EQ(m.GetState()->iconFont, nullptr);
  ASSERT_TRUE(m.SetGfx(&gfx));
  EXPECT_EQ(gfx.Images(), 3u);  // the picture, and each font's white image
  EXPECT_NE(m.GetState()->iconFont, nullptr);
  ASSERT_TRUE(m.SetGfx(nullptr));
  EXPECT_EQ(gfx.Images(), 0u);
  EXPECT_EQ(gfx.Fonts(), 0u);
  EXPECT_EQ(m.GetState()->iconFont, nullptr);
  ASSERT_TRUE(m.SetGfx(&gfx));
  EXPECT_EQ(gfx.Images(), 3u);
  EXPECT_EQ(gfx.Fonts(), 2u);
  EXPECT_TRUE(gfx.IsValidFont(m.GetSkinFont(0, "PushButton", "Font")));
  // A device going away takes its handles along without the manager's help.
  gfx.Shutdown();
  EXPECT_EQ(m.GetGfx(), nullptr);
  EXPECT_EQ(m.GetState()->skins->imageHandles[0], nullptr);
}

// --- Skins from storages ---

TEST_F(Skin, PackSkinsTakeTheNextIds) {
  const TempDir dir;
  SLTestCapture("cd '" + dir.Host() + "' && convert -size 20x10 xc:blue a.png && convert -size 8x8 xc:'rgba(0,255,0,0.5)' -depth 8 -type TrueColorAlpha b.tga");
  const std::string layout =
      "[Images]\r\nFIRST = a.png\r\nSECOND = b.tga\r\n[PushButton]\r\nNormal = second; (0,0,8,8); (2,2,2,2)\r\n"
      "Over = FIRST; (0,0,20,10)\r\n";
  u32 previous = 0;
  for (u16 version : {2, 3}) {
    SCOPED_TRACE(version);
    slpack::PackWriter writer(version, 0x5A5A1234);
    writer.AddFile("layout.inf", Bytes(layout));
    writer.AddFile("a.png", Bytes(dir.Read("a.png")));
    writer.AddFile("b.tga", Bytes(dir.Read("b.tga")));
    std::vector<uint8_t> pack;
    std::string error;
    ASSERT_TRUE(writer.Build(&pack, &error)) << error;
    const std::string path = dir.Host("Skin" + std::to_string(version) + ".DAT");
    ASSERT_TRUE(slpack::WriteFile(path, pack, &error));
    const u32 id = m.LoadSkin(path.c_str());
    ASSERT_NE(id, 0u) << std::hex << SLGetLastError();
    EXPECT_GT(id, previous);
    previous = id;
    const SLGuiSkinElement* normal = m.GetSkinImageElement(id, "PushButton", "Normal");
    ASSERT_NE(normal, nullptr);
    EXPECT_EQ(normal->image, 1u);  // an image key matches in any letter case
    EXPECT_EQ(normal->stretchX + normal->stretchY, 0u);  // no words: both axes tile
    const SLGuiSkinElement* over = m.GetSkinImageElement(id, "PushButton", "Over");
    ASSERT_NE(over, nullptr);
    EXPECT_EQ(over->left + over->top + over->right + over->bottom, 0);
  }
  EXPECT_EQ(SkinCount(), 2u);
  // Section and key names are exact at lookup.
  EXPECT_EQ(m.GetSkinImageElement(previous, "pushbutton", "Normal"), nullptr);
  EXPECT_EQ(m.GetSkinImageElement(previous, "PushButton", "normal"), nullptr);
  EXPECT_EQ(m.GetSkinColor(previous, "PushButton", "Normal"), nullptr);  // another kind
  EXPECT_EQ(m.GetSkinImageElement(previous + 1, "PushButton", "Normal"), nullptr);
  EXPECT_EQ(m.LoadSkin(dir.Host("absent.DAT").c_str()), 0u);
  EXPECT_NE(SLGetLastError(), SL_OK);
}

TEST_F(Skin, ZipSkinsParseEveryKind) {
  const u32 id = LoadZip({{"layout.inf", kImages + "[Fonts]\r\nF = sub/f.fnt\r\n"
                                                  "[Label]\r\nFont = f\r\n"
                                                  "NormalColor = (1,2,3); ShadowColor: (4,5,6,7); ShadowOffset: (-999999, 999999); "
                                                  "BorderColor: (8,9,10); BorderSize: (16)\r\n"
                                                  "Normal = pic; (0,0,32,32); (32,0,0,32); tilex, STRETCHY, StretchX\r\n"
                                                  "[WindowWithCaption_Common]\r\nMinButtonInfo = \"A;B\" ; 'C'\r\n"},
                          {"A.GIF", SmallGif()},
                          {"sub/f.fnt", "not a font, but the loader keeps any non-empty bytes"}});
  ASSERT_NE(id, 0u) << std::hex << SLGetLastError();
  const SLGuiSkinColor* c = m.GetSkinColor(id, "Label", "NormalColor");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->color, 0xFF030201u);
  EXPECT_EQ(c->shadowColor, 0x07060504u);
  EXPECT_EQ(c->shadowOffsetX, -999999);
  EXPECT_EQ(c->shadowOffsetY, 999999);
  EXPECT_EQ(c->borderColor, 0xFF0A0908u);
  EXPECT_EQ(c->borderSize, 16);
  const SLGuiSkinElement* e = m.GetSkinImageElement(id, "Label", "Normal");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->stretchX, 1u);
  EXPECT_EQ(e->stretchY, 1u);
  EXPECT_EQ(e->left, 32);
  const SLGuiSkinInfo* info = m.GetSkinInfo(id, "WindowWithCaption_Common", "MinButtonInfo");
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->expressions[0], "A;B");
  EXPECT_STREQ(info->expressions[1], "C");
  // Fonts the device cannot use fail the load only once a device is attached.
  CountingGfx gfx;
  EXPECT_FALSE(m.SetGfx(&gfx));
  EXPECT_EQ(m.GetGfx(), nullptr);
  EXPECT_EQ(gfx.Images() + gfx.Fonts(), 0u);
}

// Every kind of malformed skin fails as a whole with the format code, and adds nothing:
// no skin, no handle on the device.
TEST_F(Skin, MalformedSkinsAddNothing) {
  const std::string gif = SmallGif();
  const std::string longValue(3000, '1');
  struct Case {
    const char* what;
    std::string layout;
    u32 code;
  } cases[] = {
      {"no image", "[Fonts]\r\n", SL_E_MALFORMED},
      {"image without a reader", "[Images]\r\nP = a.xyz\r\n", SL_E_MALFORMED},
      {"colour key above 255", "[Images]\r\nP = a.gif; (256,0,0)\r\n", SL_E_MALFORMED},
      {"colour key of two numbers", "[Images]\r\nP = a.gif; (1,2)\r\n", SL_E_MALFORMED},
      {"empty file name", "[Images]\r\nP = ; (1,2,3)\r\n", SL_E_MALFORMED},
      {"unknown image key", kImages + "[Label]\r\nNormal = other; (0,0,1,1)\r\n", SL_E_MALFORMED},
      {"rectangle past the image", kImages + "[Label]\r\nNormal = pic; (1,0,32,1)\r\n", SL_E_MALFORMED},
      {"empty rectangle", kImages + "[Label]\r\nNormal = pic; (0,0,0,1)\r\n", SL_E_MALFORMED},
      {"wrapping rectangle", kImages + "[Label]\r\nNormal = pic; (1,0,2147483647,1)\r\n", SL_E_MALFORMED},
      {"12-digit number", kImages + "[Label]\r\nNormal = pic; (0,0,100000000001,1)\r\n", SL_E_MALFORMED},
      {"insets wider than the image", kImages + "[Label]\r\nNormal = pic; (0,0,4,4); (20,0,13,0)\r\n", SL_E_MALFORMED},
      {"negative inset", kImages + "[Label]\r\nNormal = pic; (0,0,4,4); (0,-1,0,0)\r\n", SL_E_MALFORMED},
      {"unknown word", kImages + "[Label]\r\nNormal = pic; (0,0,4,4); (0,0,0,0); StretchZ\r\n", SL_E_MALFORMED},
      {"missing glyph rectangle", kImages + "[CheckBox]\r\nNormalChecked = pic\r\n", SL_E_MALFORMED},
      {"colour token without prefix", kImages + "[Label]\r\nNormalColor = (1,2,3); (0,0,0)\r\n", SL_E_MALFORMED},
      {"border size 0", kImages + "[Label]\r\nNormalColor = (1,2,3); BorderSize: (0)\r\n", SL_E_MALFORMED},
      {"border size 17", kImages + "[Label]\r\nNormalColor = (1,2,3); BorderSize: (17)\r\n", SL_E_MALFORMED},
      {"shadow offset too far", kImages + "[Label]\r\nNormalColor = (1,2,3); ShadowOffset: (1000000,1)\r\n",
       SL_E_MALFORMED},
      {"colour of four numbers", kImages + "[Label]\r\nNormalColor = (1,2,3,4)\r\n", SL_E_MALFORMED},
      {"unknown font", kImages + "[Label]\r\nFont = nothing\r\n", SL_E_MALFORMED},
      {"three expressions for four", kImages + "[WindowWithCaption_Common]\r\nCaptionInfo = 1; 2; 3\r\n",
       SL_E_MALFORMED},
      {"empty expression", kImages + "[WindowWithCaption_Common]\r\nCloseButtonInfo = 1; ; 2\r\n", SL_E_MALFORMED},
      {"3,000-character value", kImages + "[Label]\r\nNormalColor = (" + longValue + ")\r\n", SL_E_MALFORMED},
      {"empty font file", kImages + "[Fonts]\r\nF = empty.fnt\r\n", SL_E_MALFORMED},
  };
  CountingGfx gfx;
  ASSERT_TRUE(m.SetGfx(&gfx));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SL_EXPECT_FAIL(LoadZip({{"layout.inf", c.layout}, {"a.gif", gif}, {"empty.fnt", ""}}), c.code);
    EXPECT_EQ(SkinCount(), 0u);
    EXPECT_EQ(gfx.Images() + gfx.Fonts(), 0u);
  }
  // No layout at all passes the storage's own code on.
  EXPECT_EQ(LoadZip({{"other.inf", "x"}}), 0u);
  EXPECT_NE(SLGetLastError(), SL_OK);
  SL_EXPECT_FAIL(m.LoadSkinLayout(nullptr, false), SL_E_NULL_DATA);
}

// A font entry is read whole: one that claims more than 16 MiB is refused before any
// allocation, as is one shorter than it claims.
TEST_F(Skin, OversizedFontsAreRefusedBeforeReading) {
  const TempDir dir;
  slpack::PackWriter writer(3, 0);
  writer.AddFile("layout.inf", Bytes(kImages + "[Fonts]\r\nBIG = big.fnt\r\n"));
  writer.AddFile("a.gif", Bytes(SmallGif()));
  writer.AddRaw(u"big.fnt", 0, (16u << 20) + 1);
  std::vector<uint8_t> pack;
  std::string error;
  ASSERT_TRUE(writer.Build(&pack, &error)) << error;
  ASSERT_TRUE(slpack::WriteFile(dir.Host("Skin.DAT"), pack, &error));
  SL_EXPECT_FAIL(m.LoadSkin(dir.Host("Skin.DAT").c_str()), SL_E_MALFORMED);
  EXPECT_EQ(SkinCount(), 0u);
}

// --- The value grammar ---

TEST(SkinValues, TuplesAreExact) {
  struct Case {
    const char* token;
    u32 count;
    bool ok;
    std::vector<i32> numbers;
  } cases[] = {
      {"(1,2,3)", 3, true, {1, 2, 3}},
      {"  ( 1, -  2,3 )  ", 3, true, {1, -2, 3}},
      {"(,,)", 3, true, {0, 0, 0}},
      {"(-)", 1, true, {0}},
      {"(2147483647,-2147483648)", 2, true, {2147483647, i32(-2147483647 - 1)}},
      {"(2147483648)", 1, false, {}},
      {"(-2147483649)", 1, false, {}},
      {"(000000000000000000001)", 1, true, {1}},
      {"(1 ,2)", 2, false, {}},
      {"(1,2)", 3, false, {}},
      {"(1,2,3)", 2, false, {}},
      {"(1,2) x", 2, false, {}},
      {"1,2", 2, false, {}},
      {"(1,2", 2, false, {}},
      {"(+1)", 1, false, {}},
      {"(1.5)", 1, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    i32 out[4] = {};
    EXPECT_EQ(SLGuiSkinParseTuple(c.token, out, c.count), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::vector<i32>(out, out + c.count), c.numbers);
    }
  }
}

TEST(SkinValues, TokensDropTabsAndBreaksAndKeepQuotedSeparators) {
  char token[kSLGuiSkinValueMax];
  SLGuiSkinGetToken("  a\tb ;\t 'x;y' \"z\" ; ", 1, token);
  EXPECT_STREQ(token, "ab");
  SLGuiSkinGetToken("  a\tb ;\t 'x;y' \"z\" ; ", 2, token);
  EXPECT_STREQ(token, "x;y z");
  SLGuiSkinGetToken("a;b", 5, token);
  EXPECT_STREQ(token, "");
  EXPECT_EQ(SLGuiSkinCountTokens("a;'b;c';d"), 3u);
  u32 sx, sy;
  EXPECT_TRUE(SLGuiSkinParseWords("StretchX , tiley, TILEX", &sx, &sy));
  EXPECT_EQ(sx + sy, 0u);
  EXPECT_FALSE(SLGuiSkinParseWords("StretchX,", &sx, &sy));
  EXPECT_FALSE(SLGuiSkinParseWords("StretchX,,StretchY", &sx, &sy));
}

// The words are parsed on their own by callers that do not cap the value first: a word that
// fills the word buffer, or more, is refused as malformed without writing past it (the
// sanitizer build sees the one terminator byte that used to land beyond the buffer).
TEST(SkinValues, WordsTooLongForTheBufferFailAsMalformed) {
  for (const u32 length : {kSLGuiSkinValueMax - 1, kSLGuiSkinValueMax, kSLGuiSkinValueMax + 1, 5 * kSLGuiSkinValueMax}) {
    for (const char* before : {"", "StretchX, "}) {
      const std::string value = before + std::string(length, 'S');
      u32 sx = 7, sy = 7;
      SLSetLastError(SL_OK);
      EXPECT_FALSE(SLGuiSkinParseWords(value.c_str(), &sx, &sy)) << length;
      EXPECT_EQ(SLGetLastError(), SL_E_MALFORMED) << length;
    }
  }
  // A known word padded with blanks to any length still reads: only the word itself counts.
  const std::string padded = std::string(3 * kSLGuiSkinValueMax, ' ') + "StretchY" + std::string(kSLGuiSkinValueMax, ' ');
  u32 sx, sy;
  EXPECT_TRUE(SLGuiSkinParseWords(padded.c_str(), &sx, &sy));
  EXPECT_EQ(sy, 1u);
}

// --- Unloading ---

TEST_F(Skin, UnloadDestroysTheSkinsWindowsFirst) {
  const u32 id = LoadZip({{"layout.inf", kImages}, {"a.gif", SmallGif()}});
  ASSERT_NE(id, 0u);
  auto make = [&](const char* name, u32 skin, CSL_GS_GuiWindow* parent) {
    CTestGuiWindow::s_nextName = name;
    return m.CreateWindow(CTestGuiWindow::GetClassRecord(), name, 0, 0, 10, 10,
                          SL_GUI_WS_VISIBLE | (parent ? u32(SL_GUI_WS_CHILD) : 0u), skin, 0, parent);
  };
  CSL_GS_GuiWindow* keep = make("K", 0, nullptr);
  CSL_GS_GuiWindow* gone = make("G", id, nullptr);
  make("C", id, keep);
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(m.GetWindowCount(), 3u);
  SL_EXPECT_OK(m.UnloadSkin(id));
  EXPECT_EQ(m.GetWindowCount(), 1u);
  EXPECT_TRUE(m.IsRegistered(keep));
  EXPECT_EQ(SkinCount(), 1u);  // the default skin stays
  SL_EXPECT_FAIL(m.UnloadSkin(id), SL_E_INDEX);
  EXPECT_EQ(make("X", id, nullptr), nullptr);
}

}  // namespace
