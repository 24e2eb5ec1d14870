// The sample content in build/content (written once by contentgen before these tests) read
// back with the project's own readers: every picture the program loads by name, the fonts,
// the skin's layout against its images, the sounds, the videos and the help file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "media/SLVideoAudioReaderMXV.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "media/avi/AviParser.h"
#include "media/mpeg/SLVideoAudioReaderMP3.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tools/slpack/PackWriter.h"

namespace {

using namespace content_test;
namespace fs = std::filesystem;

// Every picture name the program builds, with its states: "%s" takes the state, a
// second "%s" nothing.
struct Named {
  const char* pattern;
  int states;  // 0: the name as it is; 1..4: Normal, Over, Click, Disabled
};
const Named kPictures[] = {
    {"Bienvenida/Botón Seguir/seguir_%s%s.mximg", 4}, {"Bienvenida/Fondo/fondo.mximg", 0},
    {"Menu Inicial/Botones/jugar_%s%s.mximg", 3},      {"Menu Inicial/Botones/construir_%s%s.mximg", 3},
    {"Principal/Menú/ayuda_%s.mximg", 4},              {"Menu Inicial/Fondo/fondo.mximg", 0},
    {"Carga Inicial/Fondo/fondo.mximg", 0},            {"Propaganda/Fondo/fondo.mximg", 0},
    {"Créditos/Fondo/fondo.mximg", 0},                 {"Puntero/puntero_mouse.mximg", 0},
    {"Visor Películas/Reproducción/play_%s.mximg", 3}, {"Visor Películas/Reproducción/pause_%s.mximg", 3},
    {"Visor Películas/Reproducción/slider_%s.mximg", 3}, {"Visor Películas/Reproducción/slider_fondo.mximg", 0},
    {"Visor Películas/Fondo/gente1.mximg", 0},         {"Visor Películas/Fondo/gente2.mximg", 0},
    {"Visor Películas/Fondo/gente3.mximg", 0},         {"Visor Películas/Fondo/fondo.mximg", 0},
    {"Iconos Varios/Bulb Electric.mximg", 0},          {"Iconos Varios/Bulb Idea.mximg", 0},
    {"Iconos Varios/Error.mximg", 0},                  {"Iconos Varios/Information.mximg", 0},
    {"Iconos Varios/Question.mximg", 0},               {"Iconos Varios/Warning.mximg", 0},
    {"Iconos Varios/Recycle Bin.mximg", 0},            {"Iconos Varios/Recycle Bin 2.mximg", 0},
    {"Iconos Varios/Recycle Bin Full.mximg", 0},       {"Miscelaneos/black_pixel.mximg", 0},
    {"Miscelaneos/white_pixel.mximg", 0},              {"Miscelaneos/puntero_mira.mximg", 0},
    {"Principal/Botón Cerrar/cerrar_%s.mximg", 4},     {"Principal/Menú/nuevo_%s.mximg", 4},
    {"Principal/Menú/abrir_%s.mximg", 4},              {"Principal/Menú/guardar_%s.mximg", 4},
    {"Principal/Menú/exportarvideo_%s.mximg", 4},      {"Principal/Menú/deshacer_%s.mximg", 4},
    {"Principal/Menú/camara_%s.mximg", 4},             {"Principal/Botones Inserción/escenas_%s.mximg", 4},
    {"Principal/Botones Inserción/personajes_%s.mximg", 4}, {"Principal/Botones Inserción/objetos_%s.mximg", 4},
    {"Principal/Botones Inserción/fx_%s.mximg", 4},    {"Principal/Manejo Escena/flecha_izquierda_%s.mximg", 4},
    {"Principal/Manejo Escena/flecha_derecha_%s.mximg", 4}, {"Principal/Manejo Escena/mover_anterior_%s.mximg", 4},
    {"Principal/Manejo Escena/mover_posterior_%s.mximg", 4}, {"Principal/Manejo Escena/fondo_fotograma.mximg", 0},
    {"Principal/Selección Item/flecha_izquierda_%s.mximg", 4}, {"Principal/Selección Item/flecha_derecha_%s.mximg", 4},
    {"Principal/Botones Reproducción/accion_%s%s.mximg", 4}, {"Principal/Botones Reproducción/play_%s.mximg", 4},
    {"Principal/Botones Reproducción/pause_%s.mximg", 4}, {"Principal/Botones Reproducción/retroceder_%s.mximg", 4},
    {"Principal/Botones Reproducción/avanzar_%s.mximg", 4}, {"Principal/Botones Reproducción/slider_%s.mximg", 4},
    {"Principal/Botones Reproducción/slider_fondo.mximg", 0}, {"Recuadro Texto/recuadro.mximg", 0},
    {"Principal/Fondo/fondo_left.mximg", 0},           {"Principal/Fondo/fondo_right.mximg", 0},
    {"Principal/Fondo/fondo_top.mximg", 0},            {"Principal/Fondo/fondo_bottom.mximg", 0},
    {"Principal/Fondo/fondo_inner_lefttop.mximg", 0},  {"Principal/Fondo/fondo_inner_leftbottom.mximg", 0},
    {"Principal/Fondo/fondo_inner_righttop.mximg", 0}, {"Principal/Fondo/fondo_inner_rightbottom.mximg", 0},
    {"Diálogo Inicial/Iconos/nuevo_normal.mximg", 0},  {"Diálogo Inicial/Iconos/nuevo_over.mximg", 0},
    {"Diálogo Inicial/Iconos/abrir_normal.mximg", 0},  {"Diálogo Inicial/Iconos/abrir_over.mximg", 0},
    {"Diálogo Inicial/Iconos/reproducir_normal.mximg", 0}, {"Diálogo Inicial/Iconos/reproducir_over.mximg", 0},
    {"Diálogo Inicial/Iconos/exportar_normal.mximg", 0}, {"Diálogo Inicial/Iconos/exportar_over.mximg", 0},
    {"Selecciona Audio/Reproducción/play_%s.mximg", 4}, {"Selecciona Audio/Reproducción/stop_%s.mximg", 4},
    {"Selecciona Audio/Reproducción/rec_%s.mximg", 4}, {"Selecciona Audio/Iconos/mic_%s.mximg", 3},
    {"Construcción/Reproducción/principio_%s.mximg", 4}, {"Construcción/Reproducción/rw_%s.mximg", 4},
    {"Construcción/Reproducción/play_%s.mximg", 4},    {"Construcción/Reproducción/pausa_%s.mximg", 4},
    {"Construcción/Reproducción/ff_%s.mximg", 4},      {"Construcción/Reproducción/fin_%s.mximg", 4},
    {"Construcción/Reproducción/slider_%s.mximg", 4},  {"Construcción/Reproducción/slider_fondo.mximg", 0},
    {"Construcción/Botones/flechita_arriba_%s.mximg", 3}, {"Construcción/Botones/flechita_abajo_%s.mximg", 3},
    {"Construcción/Fondo/fondo.mximg", 0},
};

std::vector<std::string> PictureNames() {
  const char* states[4] = {"Normal", "Over", "Click", "Disabled"};
  std::vector<std::string> names;
  for (const Named& n : kPictures)
    for (int s = 0; s < std::max(1, n.states); ++s) {
      std::string name = std::string("Interface/") + n.pattern;
      if (n.states) {
        name.replace(name.find("%s"), 2, states[s]);
        if (name.find("%s") != std::string::npos) name.erase(name.find("%s"), 2);
      }
      names.push_back(name);
    }
  for (int i = 1; i <= 34; ++i) {
    char flower[64];
    std::snprintf(flower, sizeof flower, "Interface/Carga Inicial/Flor/flor%02d.mximg", i);
    names.push_back(flower);
  }
  for (int i = 1; i <= 6; ++i) names.push_back("Interface/Asistente/asistente" + std::to_string(i) + ".mximg");
  return names;
}

class Content : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "contentgen has not written " << kContent;
    ASSERT_TRUE(device.Init(nullptr, nullptr, nullptr));
  }
  CMemoryGfxDevice device;
};

TEST_F(Content, GraphicsPackHoldsEveryPictureInEveryEncoding) {
  Pack gfx(kContent + "/Gfx/Gfx.DAT");
  ASSERT_TRUE(gfx.attached) << std::hex << SLGetLastError();
  EXPECT_EQ(gfx.version, 3u);
  EXPECT_NE(gfx.key, 0u);
  // The building boxes are found by listing; each has its three pictures.
  std::vector<std::string> names = PictureNames();
  ASSERT_EQ(names.size(), 248u);
  int boxes = 0;
  for (SLStorageFindRecord* r = gfx.storage.FindFirstA(Narrow("Interface/Construcción/Cajas/Caja?????_normal.mximg").c_str());
       r; r = gfx.storage.FindNextA(), ++boxes)
    for (const char* state : {"_Normal", "_Over", "_Click"})
      names.push_back("Interface/Construcción/Cajas/" + std::string(r->nameA, 9) + state + ".mximg");
  EXPECT_EQ(boxes, 2);

  std::set<u32> encodings, depths, flags;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string bytes = gfx.Bytes(name);
    ASSERT_GE(bytes.size(), 36u);
    const u8* h = reinterpret_cast<const u8*>(bytes.data());
    EXPECT_EQ(SLLoadLE16(h + 8), 2u);  // version
    encodings.insert(SLLoadLE32(h + 20) & 0xF0);
    flags.insert(SLLoadLE32(h + 20) & 0x0F);
    depths.insert(SLLoadLE16(h + 10));
    ASSERT_TRUE(gfx.Open(name));
    SL_GS_Image* image = device.LoadImageFromStorage(&gfx.storage, CSLImageReaderMXIMG::GetClassRecord());
    ASSERT_NE(image, nullptr) << std::hex << SLGetLastError();
    SL_GS_ImageInfo info;
    ASSERT_TRUE(device.GetImageInfo(image, &info));
    const bool screen = name.find("/Fondo/fondo.mximg") != std::string::npos;
    if (screen) {  // an embedded JPEG
      EXPECT_EQ(SLLoadLE32(h + 20) & 0xF0, 0x10u);
      EXPECT_TRUE(info.width == 800 && info.height == 600);
    }
    if (name.find("Principal/Menú/") != std::string::npos) { EXPECT_LE(info.height, 25u); }
    if (name.find("/Flor/") != std::string::npos) { EXPECT_TRUE(info.width == 304 && info.height == 256); }
    // A box lid stays clear of the video list that starts at x 254 (its button stands at 12).
    if (name.find("/Cajas/Caja") != std::string::npos) { EXPECT_TRUE(info.width == 232 && info.height == 110); }
    // Buttons are hit over their art: the centre of every state picture.
    if (name.find("_Normal") != std::string::npos || name.find("_Over") != std::string::npos ||
        name.find("_Click") != std::string::npos || name.find("_Disabled") != std::string::npos) {
      EXPECT_TRUE(device.HitTest(image, i32(info.width / 2), i32(info.height / 2)));
    }
    if (name.find("puntero_mira") != std::string::npos) { EXPECT_TRUE(info.pointX == info.width / 2 && info.pointY == info.height / 2); }
    if (name.find("puntero_mouse") != std::string::npos) { EXPECT_TRUE(info.pointX <= 2 && info.pointY <= 2); }
    if (name.find("recuadro") != std::string::npos) { EXPECT_TRUE(info.width == 128 && info.height == 128); }
    if (name.find("fondo_fotograma") != std::string::npos) {
      EXPECT_TRUE(info.width == 49 && info.height == 36);
      EXPECT_FALSE(device.HitTest(image, 3, 9));  // the thumbnail shows through its window
      EXPECT_FALSE(device.HitTest(image, 45, 32));
      EXPECT_TRUE(device.HitTest(image, 1, 20));
    }
    device.DestroyImage(image);
  }
  EXPECT_EQ(encodings, (std::set<u32>{0x00, 0xF0, 0x10, 0x20, 0x30}));
  EXPECT_EQ(depths, (std::set<u32>{8, 16, 24, 32}));
  std::set<u32> seen;
  for (u32 f : flags) seen.insert(f & 1), seen.insert(f & 2), seen.insert(f & 4), seen.insert(f & 8);
  EXPECT_EQ(seen, (std::set<u32>{0, 1, 2, 4, 8}));  // palette, colour key, point, mask plane
}

TEST_F(Content, EditorFrameLeavesTheStageOpenButForItsCorners) {
  Pack gfx(kContent + "/Gfx/Gfx.DAT");
  struct Piece {
    const char* name;
    i32 x, y, w, h;
  } pieces[] = {{"fondo_top", 0, 0, 800, 148},     {"fondo_left", 0, 148, 108, 372},
                {"fondo_right", 772, 148, 28, 372}, {"fondo_bottom", 0, 520, 800, 80},
                {"fondo_inner_lefttop", 108, 148, 8, 8}, {"fondo_inner_leftbottom", 108, 512, 8, 8},
                {"fondo_inner_righttop", 764, 148, 8, 8}, {"fondo_inner_rightbottom", 764, 512, 8, 8}};
  for (const Piece& p : pieces) {
    SCOPED_TRACE(p.name);
    ASSERT_TRUE(gfx.Open(std::string("Interface/Principal/Fondo/") + p.name + ".mximg"));
    EXPECT_EQ(SLLoadLE32(reinterpret_cast<const u8*>(gfx.Bytes(std::string("Interface/Principal/Fondo/") + p.name + ".mximg").data()) + 20) & 0xF0, 0x20u);
    ASSERT_TRUE(gfx.Open(std::string("Interface/Principal/Fondo/") + p.name + ".mximg"));
    SL_GS_Image* image = device.LoadImageFromStorage(&gfx.storage, CSLImageReaderMXIMG::GetClassRecord());
    ASSERT_NE(image, nullptr);
    SL_GS_ImageInfo info;
    ASSERT_TRUE(device.GetImageInfo(image, &info));
    EXPECT_TRUE(i32(info.width) == p.w && i32(info.height) == p.h);
    // A piece inside the stage (108..771 x 148..519) covers only the outer bits of a corner.
    const bool corner = p.w == 8;
    if (corner) {
      const i32 cx = p.x == 108 ? 7 : 0, cy = p.y == 148 ? 7 : 0;
      EXPECT_FALSE(device.HitTest(image, cx, cy));
      EXPECT_TRUE(device.HitTest(image, 7 - cx, 7 - cy));
    }
    device.DestroyImage(image);
  }
}

TEST_F(Content, FontsCarryTheSpanishLettersInFullHeightCells) {
  std::u16string letters;
  for (char16_t c = 0x20; c <= 0x7E; ++c) letters += c;
  letters += u"¡¿ÁÉÍÑÓÚÜáéíñóúü";
  ASSERT_EQ(letters.size(), 111u);
  // And every character of the program's 8-bit text, the Windows-1252 upper half, where
  // the quotes and dashes (« » ‹ › — – … ·) are.
  letters += u"€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ";
  for (char16_t c = 0xA0; c <= 0xFF; ++c) letters += c;
  for (const char* file : {"Letra_8.FNT", "Tahoma_8.FNT", "ComicSans_9B.FNT", "ComicSans_11.FNT"}) {
    SCOPED_TRACE(file);
    SL_GS_Font* font = device.LoadFontFromFile(Narrow(kContent + "/Gfx/" + file).c_str());
    ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
    EXPECT_GE(device.GetFontHeight(font), 11u);
    for (char16_t c : letters) EXPECT_GT(device.GetTextWidth(font, &c, 1), 0) << unsigned(c);
    // Texts as the program shows them measure as the sum of their letters (plus gaps); a
    // space between them steps the gap less than it measures alone.
    const std::u16string text = u"¿Desea volver al menú principal?";
    i32 sum = 0;
    for (char16_t c : text) sum += device.GetTextWidth(font, &c, 1) + (c == u' ' ? 0 : 2);
    const i32 whole = device.GetTextWidth(font, text.data(), u32(text.size()));
    if (std::string(file) == "ComicSans_11.FNT") {
      EXPECT_LT(device.GetTextWidth(font, u"AV", 2), device.GetTextWidth(font, u"A", 1) + device.GetTextWidth(font, u"V", 1) + 2);
      EXPECT_LT(device.GetTextWidth(font, u"To", 2), device.GetTextWidth(font, u"T", 1) + device.GetTextWidth(font, u"o", 1) + 2);
    } else {
      EXPECT_EQ(whole, sum - 2);
    }
    device.DestroyFont(font);
  }
}

// Each letter of a program font steps as far as the typeface it is rendered from says:
// the advances come from FreeType through Pillow (no kerning, character by character),
// the steps from the device, which sets every glyph its width and 2 pixels apart. Over
// the words of three texts of the program the two agree within 3 %. A lone space, which
// balloons and tooltips put between words, is the typeface's own and the 2 pixels between
// two letters; in running text a space still steps 2 pixels, its advance and 2 pixels.
TEST_F(Content, FontsStepEachLetterAsFarAsTheirTypeface) {
  const std::string dejavu = "/usr/share/fonts/truetype/dejavu/", comic = "/usr/share/fonts/opentype/comic-neue/";
  const struct {
    const char* file;
    std::string typeface;
    int pixels;
  } fonts[] = {{"Letra_8.FNT", dejavu + "DejaVuSansCondensed.ttf", 11},
               {"Tahoma_8.FNT", dejavu + "DejaVuSans.ttf", 11},
               {"ComicSans_9B.FNT", comic + "ComicNeue-Bold.otf", 12},
               {"ComicSans_11.FNT", comic + "ComicNeue-Regular.otf", 15}};
  const std::string words[] = {"¡Hola!", "Soy",   "Sofía.",   "¿Escuchamos", "una", "canción,", "niño?",
                               "Agrega", "una",   "nueva",    "escena",      "Abre", "un",       "proyecto",
                               "existente", "Un", "día",      "en",          "el",   "parque"};
  TempDir dir;
  dir.Write("advances.py",
            "import sys\n"
            "from PIL import ImageFont\n"
            "font = ImageFont.truetype(sys.argv[1], int(sys.argv[2]), layout_engine=ImageFont.Layout.BASIC)\n"
            "for line in open(sys.argv[3], encoding='utf-8').read().split('\\n'):\n"
            "  print(round(sum(font.getlength(c) for c in line)))\n");
  std::string listed;
  for (const std::string& word : words) listed += word + "\n";
  listed += " ";
  dir.Write("words.txt", listed);
  for (const auto& f : fonts) {
    SCOPED_TRACE(f.file);
    std::istringstream advances(SLTestCapture("/usr/bin/python3 '" + dir.Host("advances.py") + "' '" + f.typeface +
                                              "' " + std::to_string(f.pixels) + " '" + dir.Host("words.txt") + "'"));
    SL_GS_Font* font = device.LoadFontFromFile(Narrow(kContent + "/Gfx/" + f.file).c_str());
    ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
    i32 typeface = 0, steps = 0;
    for (const std::string& word : words) {
      i32 advance = 0;
      ASSERT_TRUE(advances >> advance) << "Pillow gave no advances";
      typeface += advance;
      const std::u16string wide = slpack::Utf8ToUtf16(word);
      steps += device.GetTextWidth(font, wide.data(), u32(wide.size())) + 2;
    }
    EXPECT_NEAR(steps, typeface, typeface * 0.03);
    i32 space = 0;
    ASSERT_TRUE(advances >> space);
    EXPECT_EQ(device.GetTextWidth(font, u" ", 1), space + 2);
    EXPECT_GE(space, 3);
    EXPECT_EQ(device.GetTextWidth(font, u"n a", 3),
              device.GetTextWidth(font, u"n", 1) + 2 + space + 2 + device.GetTextWidth(font, u"a", 1));
    device.DestroyFont(font);
  }
}

// What a reader sees in the program's texts: the device draws every letter of a text with
// accents where it draws it in the text spelt without them ("Sofía" reads as one word, not
// "Sofí a"), both in running text (labels, edits) and in a balloon, which draws each word
// alone. A word that starts with a letter whose mark is wider than the letter moves as a
// whole, by at most that one column.
TEST_F(Content, AccentedTextsDrawEachLetterWhereThePlainTextsDo) {
  const std::string texts[] = {"¡Hola! Soy Sofía. ¿Escuchamos una canción, niño?", "Un día en el parque",
                               "Aquí está el índice de Íñigo: PELÍCULAS Y MÚSICA"};
  const std::u16string accented = u"áéíóúüñÁÉÍÓÚÜÑ", plain = u"aeiouunAEIOUUN";
  auto pens = [&](SL_GS_Font* font, const std::string& utf8, bool spelledPlain) {
    std::u16string text = slpack::Utf8ToUtf16(utf8);
    for (char16_t& c : text)
      if (spelledPlain && accented.find(c) != std::u16string::npos) c = plain[accented.find(c)];
    return device.DrawnPens(font, text);
  };
  for (const char* file : {"Letra_8.FNT", "Tahoma_8.FNT", "ComicSans_9B.FNT", "ComicSans_11.FNT"}) {
    SCOPED_TRACE(file);
    SL_GS_Font* font = device.LoadFontFromFile(Narrow(kContent + "/Gfx/" + file).c_str());
    ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
    for (const std::string& text : texts) {
      EXPECT_EQ(pens(font, text, false), pens(font, text, true)) << text;
      std::istringstream words(text);
      for (std::string word; words >> word;) {
        const std::vector<i32> drawn = pens(font, word, false), plainly = pens(font, word, true);
        ASSERT_EQ(drawn.size(), plainly.size());
        const i32 shift = drawn.size() > 1 ? drawn[1] - plainly[1] : 0;
        const bool startsAccented = accented.find(slpack::Utf8ToUtf16(word)[0]) != std::u16string::npos;
        EXPECT_TRUE(shift == 0 || (startsAccented && shift == 1)) << word << " moves by " << shift;
        for (size_t k = 1; k < drawn.size(); ++k) EXPECT_EQ(drawn[k] - plainly[k], shift) << word;
      }
    }
    device.DestroyFont(font);
  }
}

// Every text of the sample movie, read by walking the project file's layout in python, is
// drawn from glyphs that every program font has.
TEST_F(Content, SampleProjectTextsHaveTheirGlyphs) {
  const std::string texts = SLTestRunPython(R"(
import struct
d = open(')" + kContent + R"(/Aventuras Guardadas/Paseo en el parque.ZQTR', 'rb').read()
p = 40
def u32():
    global p
    p += 4
    return struct.unpack_from('<I', d, p - 4)[0]
def wide():
    global p
    end = p
    while d[end:end + 2] != b'\0\0':
        end += 2
    text = d[p:end].decode('utf-16-le')
    p = end + 2
    return text
def path():
    global p
    count = u32()
    p += 12 * count + 8
u32(); scenes = u32(); u32()
for _ in range(scenes):
    p += 28
    for _ in range(u32()):
        p += 36
        for _ in range(u32()):
            p += 8; path(); p += 12
    for _ in range(u32()):
        p += 28
        if u32(): p += 4
        for _ in range(u32()):
            p += 8; path(); p += 4
    for _ in range(u32()):
        p += 8; print(wide()); p += 20
        if u32() in (1, 2): p += 4
    for _ in range(u32()):
        p += 16; wide()
        if u32() in (1, 2): p += 4
assert p == len(d) - 4
)");
  ASSERT_FALSE(texts.empty());
  const std::u16string letters = slpack::Utf8ToUtf16(texts);
  EXPECT_NE(letters.find(u"l\u00e1mpara"), std::u16string::npos);
  for (const char* file : {"Letra_8.FNT", "Tahoma_8.FNT", "ComicSans_9B.FNT", "ComicSans_11.FNT"}) {
    SCOPED_TRACE(file);
    SL_GS_Font* font = device.LoadFontFromFile(Narrow(kContent + "/Gfx/" + file).c_str());
    ASSERT_NE(font, nullptr) << std::hex << SLGetLastError();
    for (char16_t c : letters) {
      if (c != u'\n') {
        EXPECT_GT(device.GetTextWidth(font, &c, 1), 0) << unsigned(c);
      }
    }
    device.DestroyFont(font);
  }
}

// Every sound sits at one programme loudness as ffmpeg's EBU R128 meter measures it, so no
// effect jumps out next to a voice and no song is louder than another: -18 LUFS within
// 1 LU, true peaks at or below -1 dBTP. Sounds too short for the meter's 400 ms blocks
// are judged by their RMS level, within 3 dB of the voices'.
TEST_F(Content, EverySoundSharesOneLoudness) {
  auto after = [](const std::string& text, const std::string& label, size_t from = 0) {
    const size_t at = text.find(label, from);
    return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + label.size(), nullptr);
  };
  auto rms = [&](const std::string& path) {
    return after(SLTestCapture("ffmpeg -nostdin -hide_banner -i '" + path +
                               "' -vn -af astats=measure_overall=RMS_level:measure_perchannel=none -f null - 2>&1"),
                 "RMS level dB:");
  };
  double voices = 0;
  int voiceCount = 0;
  std::vector<std::string> sounds;
  for (const auto& entry : fs::recursive_directory_iterator(kContent)) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".WAV" && extension != ".MP3" && extension != ".AVI") continue;
    sounds.push_back(entry.path().string());
    if (entry.path().string().find("/Voces de ") != std::string::npos) voices += rms(sounds.back()), ++voiceCount;
  }
  ASSERT_GE(voiceCount, 8);
  voices /= voiceCount;
  EXPECT_GT(sounds.size(), 40u);
  for (const std::string& path : sounds) {
    SCOPED_TRACE(path);
    const std::string report = SLTestCapture("ffmpeg -nostdin -hide_banner -i '" + path +
                                             "' -vn -af ebur128=peak=true -f null - 2>&1");
    const size_t summary = report.find("Summary:");
    ASSERT_NE(summary, std::string::npos) << report;
    const double integrated = after(report, "I:", summary), peak = after(report, "Peak:", summary);
    if (integrated > -69) {
      EXPECT_NEAR(integrated, -18.0, 1.0);
    } else {
      EXPECT_NEAR(rms(path), voices, 3.0);
    }
    EXPECT_LE(peak, -1.0);
  }
}

// The skin's layout names only vocabulary sections, cuts every element from inside its
// image, and gives program windows what they need.
TEST_F(Content, SkinLayoutCutsEveryPieceFromItsImages) {
  Pack skin(kContent + "/Gfx/Skin.DAT");
  ASSERT_TRUE(skin.attached);
  EXPECT_EQ(skin.version, 3u);
  EXPECT_EQ(skin.key, 0u);
  std::map<std::string, std::map<std::string, std::string>> layout;
  std::istringstream in(skin.Bytes("layout.inf"));
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') section = line.substr(1, line.find(']') - 1);
    else layout[section][line.substr(0, line.find(" = "))] = line.substr(line.find(" = ") + 3);
  }
  std::map<std::string, std::pair<u32, u32>> sizes;
  SL_GS_Image* skinImage = nullptr;
  for (const auto& [key, file] : layout["Images"]) {
    ASSERT_TRUE(skin.Open(file));
    SL_GS_Image* image = device.LoadImageFromStorage(&skin.storage, CSLBaseImageReader::FindReaderClassByExtension(file.c_str()));
    ASSERT_NE(image, nullptr) << file;
    SL_GS_ImageInfo info;
    ASSERT_TRUE(device.GetImageInfo(image, &info));
    sizes[key] = {info.width, info.height};
    if (key == "PIEL") {
      EXPECT_TRUE(info.width == 512 && info.height == 512);
      skinImage = image;
    }
  }
  // Text buttons are hit on their skin piece: every state is opaque to its corners.
  ASSERT_NE(skinImage, nullptr);
  for (const char* state : {"Normal", "Over", "Click", "Disabled"}) {
    int x, y, w, h;
    ASSERT_EQ(std::sscanf(layout["PushButton"][state].c_str(), "PIEL; (%d,%d,%d,%d)", &x, &y, &w, &h), 4) << state;
    for (auto [px, py] : {std::pair{x, y}, {x + w - 1, y}, {x, y + h - 1}, {x + w - 1, y + h - 1}})
      EXPECT_TRUE(device.HitTest(skinImage, px, py)) << state;
  }
  for (const auto& [key, file] : layout["Fonts"]) {
    ASSERT_TRUE(skin.Open(file));
    SL_GS_Font* font = device.LoadFontFromStorage(&skin.storage);
    ASSERT_NE(font, nullptr) << file;
    device.DestroyFont(font);
  }
  for (const char* needed : {"PushButton", "WindowWithCaption_Active", "WindowWithCaption_Inactive",
                             "WindowWithCaption_Common", "Label", "EditBox", "Caret_Cursor", "Scrollbar_Horizontal",
                             "Scrollbar_Vertical", "Frame", "Menu", "Desktop"})
    EXPECT_FALSE(layout[needed].empty()) << needed;
  EXPECT_TRUE(layout["Frame"].count("Rectangle") && layout["PushButton"].count("Normal"));
  int cut = 0;
  for (const auto& [name, keys] : layout)
    for (const auto& [key, value] : keys) {
      int x, y, w, h;
      char image[32];
      if (std::sscanf(value.c_str(), "%31[A-Z0-9_]; (%d,%d,%d,%d)", image, &x, &y, &w, &h) != 5) continue;
      SCOPED_TRACE(name + "/" + key);
      ASSERT_TRUE(sizes.count(image));
      EXPECT_TRUE(x >= 0 && y >= 0 && w >= 1 && h >= 1 && u32(x + w) <= sizes[image].first &&
                  u32(y + h) <= sizes[image].second);
      ++cut;
    }
  EXPECT_GT(cut, 140);
  for (const auto& [key, font] : std::map<std::string, std::string>{{"PushButton", "Font"}, {"Desktop", "IconFont"}})
    EXPECT_TRUE(layout["Fonts"].count(layout[key][font]));
}

struct AudioFacts {
  u32 rate = 0, channels = 0, bits = 0;
  u64 frames = 0;
  u32 code = 0;
};

AudioFacts OpenAudio(CSLBaseVideoAudioReader& reader, const std::string& path) {
  AudioFacts facts;
  SLAudioFormat format;
  if (!reader.OpenFile(Narrow(path).c_str(), 0) || !reader.GetAudioFormat(0, &format) ||
      !reader.GetAudioLength(0, &facts.frames)) {
    facts.code = SLGetLastError();
    return facts;
  }
  facts.rate = format.samplesPerSecond;
  facts.channels = format.channels;
  facts.bits = format.bitsPerSample;
  return facts;
}

TEST_F(Content, SoundsReadWithTheProjectsReaders) {
  Pack sfx(kContent + "/Sfx/Sfx.DAT");
  ASSERT_TRUE(sfx.attached);
  EXPECT_TRUE(sfx.version == 2 && sfx.key == 0);
  for (const char* name : {"boton_over.wav", "boton_click.wav", "tecla_press.wav", "applause.wav"}) {
    ASSERT_TRUE(sfx.Open(name)) << name;
    CSLVideoAudioReaderWAV reader;
    SLAudioFormat format;
    u64 frames = 0;
    ASSERT_TRUE(reader.Open(&sfx.storage, 0) && reader.GetAudioFormat(0, &format) && reader.GetAudioLength(0, &frames));
    EXPECT_TRUE(format.samplesPerSecond == 22050 && format.channels == 1 && format.bitsPerSample == 16) << name;
    if (std::string(name) == "applause.wav") { EXPECT_EQ(frames, 3u * 22050); }
  }
  const std::map<std::string, size_t> folders = {{"Voces de Hombre", 8}, {"Voces de Mujer", 8}, {"Efectos", 14},
                                                 {"Musica Fondo", 3}, {"Grabadas", 1}};
  for (const auto& [folder, count] : folders) {
    size_t found = 0;
    for (const auto& entry : fs::directory_iterator(kContent + "/Sfx/" + folder)) {
      const std::string path = entry.path().string(), name = entry.path().filename().string();
      SCOPED_TRACE(path);
      ++found;
      if (folder == "Musica Fondo") {
        CSLVideoAudioReaderMP3 mp3;
        const AudioFacts a = OpenAudio(mp3, path);
        EXPECT_EQ(a.code, 0u);
        EXPECT_EQ(a.rate, name == "Tranquila.MP3" ? 22050u : 44100u);
        EXPECT_TRUE(a.frames >= 30ull * a.rate && a.frames <= 60ull * a.rate);  // its length is known
        continue;
      }
      CSLVideoAudioReaderWAV wav;
      const AudioFacts a = OpenAudio(wav, path);
      if (name == "Magia.WAV") {  // IMA ADPCM, decoded through the system's conversion stream
        EXPECT_TRUE(a.code == 0 && a.bits == 8 && a.frames > 2205);  // 4-bit samples widen to 8
      } else if (name == "Zumbido.WAV") {
        EXPECT_TRUE(a.code == 0 && a.bits == 8 && a.rate == 11025);
      } else if (name == "Aplausos.WAV") {
        EXPECT_TRUE(a.code == 0 && a.channels == 2 && a.rate == 44100);
      } else {
        EXPECT_TRUE(a.code == 0 && a.bits == 16 && a.channels == 1 && a.rate == 22050 && a.frames > 2205);
      }
    }
    EXPECT_EQ(found, count) << folder;
  }
  EXPECT_TRUE(fs::exists(fs::u8path(kContent + "/Sfx/Voces de Mujer/Adiós.WAV")));
  const std::string cover = Read(kContent + "/Sfx/Musica Fondo/Alegre.MP3");
  const size_t apic = cover.find("APIC");
  ASSERT_NE(apic, std::string::npos);
  EXPECT_GT(SLLoadBE32(reinterpret_cast<const u8*>(cover.data()) + apic + 4), 65536u);
  EXPECT_NE(Read(kContent + "/Sfx/Musica Fondo/Aventura.MP3").find("Xing"), std::string::npos);
}

TEST_F(Content, WelcomeIsSpokenAndLoadingMusicLoopsWithoutASeam) {
  CSLVideoAudioReaderMXV welcome, loading;
  const AudioFacts w = OpenAudio(welcome, kContent + "/Sfx/Bienvenida.MXV");
  EXPECT_TRUE(w.code == 0 && w.rate == 22050 && w.channels == 1 && w.frames > 22050 * 3);
  const AudioFacts l = OpenAudio(loading, kContent + "/Sfx/Cargando.MXV");
  ASSERT_TRUE(l.code == 0 && l.rate == 22050 && l.channels == 1 && l.bits == 16);
  // The step from the last sample to the first is no larger than steps inside the sound.
  ASSERT_TRUE(loading.StartStream(0));
  std::vector<i16> samples;
  for (u64 first = 0; first < l.frames;) {
    const void* data;
    u32 got = 0;
    ASSERT_TRUE(loading.ReadAudio(0, first, 22050, &data, &got));
    ASSERT_GT(got, 0u);
    samples.insert(samples.end(), static_cast<const i16*>(data), static_cast<const i16*>(data) + got);
    first += got;
  }
  int largest = 0;
  for (size_t i = 1; i < samples.size(); ++i) largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
  EXPECT_LE(std::abs(samples.front() - samples.back()), largest);
}

TEST_F(Content, VideosCarrySoundAtTheirSizes) {
  struct Video {
    const char* path;
    u32 handler, width, height;
  } videos[] = {{"Videos/Intro.AVI", 0, 640, 480},           {"Videos/Cine/Intro.AVI", 0, 664, 372},
                {"Videos/Cine/Final.AVI", 0, 664, 372},      {"Videos/Cajas/00001/1 Materiales.AVI", 2, 432, 324},
                {"Videos/Cajas/00001/2 Paredes.AVI", 2, 432, 324}, {"Videos/Cajas/00001/3 Techo.AVI", 2, 432, 324},
                {"Videos/Cajas/00002/1 Cuerpo.AVI", 1, 432, 324}, {"Videos/Cajas/00002/2 Alas.AVI", 2, 432, 324}};
  const char* handlers[3] = {"MJPG", "cvid", "MSVC"};
  for (const Video& v : videos) {
    SCOPED_TRACE(v.path);
    EXPECT_LE(fs::path(v.path).stem().string().size(), 12u);
    CSLFileStorage file;
    ASSERT_TRUE(file.OpenA(Narrow(kContent + "/" + v.path).c_str(), SL_STORAGE_READ));
    AviParser avi;
    ASSERT_TRUE(avi.Open(&file, 0)) << std::hex << SLGetLastError();
    ASSERT_EQ(avi.GetStreamCount(), 2u);
    const AviStreamInfo* video = avi.GetStream(0);
    const AviStreamInfo* audio = avi.GetStream(1);
    const std::string handler(reinterpret_cast<const char*>(&video->header.handler), 4);
    EXPECT_TRUE(handler == handlers[v.handler] || (v.handler == 2 && handler == "CRAM")) << handler;
    EXPECT_TRUE(SLLoadLE32(video->format + 4) == v.width && SLLoadLE32(video->format + 8) == v.height);
    EXPECT_TRUE(audio->FormatTag() == 1 && SLLoadLE16(audio->format + 2) == 2 && SLLoadLE32(audio->format + 4) == 22050);
    if (v.handler == 0) { EXPECT_TRUE(video->header.rate == 15 * video->header.scale); }
    EXPECT_GT(audio->length, 22050u);
  }
}

TEST_F(Content, HelpFileOpensAtItsTopic) {
  TempDir out;
  const int status = std::system(("extract_chmLib '" + kContent + "/Zarandulvortequimbaplastelo.CHM' '" + out.Host() +
                                  "' >/dev/null")
                                     .c_str());
  ASSERT_EQ(status, 0);
  const std::string topic = out.Read("contenido.htm");
  EXPECT_NE(topic.find("<title>Ayuda: contenido</title>"), std::string::npos);
  size_t pages = 0;
  for (const auto& entry : fs::directory_iterator(out.Host()))
    pages += entry.path().extension() == ".htm";
  EXPECT_TRUE(pages >= 4 && pages <= 6);
}

// Two runs write the same bytes: no time stamps, fixed seeds, a fixed order.
TEST(ContentGenerator, TwoRunsWriteTheSameFiles) {
  TempDir dir;
  ASSERT_EQ(std::system(("'" + kGenerator + "' '" + dir.Host("content") + "' >/dev/null").c_str()), 0);
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kContent)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), kContent).string();
    EXPECT_EQ(Read(entry.path().string()) == Read(dir.Host("content/" + relative)), true) << relative;
    ++files;
  }
  EXPECT_GT(files, 60u);
}

// A run that finds an encoder missing stops, names it and leaves the folder as it was; a
// run over up-to-date content does nothing.
TEST(ContentGenerator, StopsOnAMissingEncoderAndSkipsFreshContent) {
  TempDir dir;
  fs::create_directories(dir.Host("bin"));
  for (const char* tool : {"sh", "sox", "lame", "cjpeg", "convert", "ffmpeg", "chmcmd", "grep", "rm", "cat"}) {
    const std::string found = SLTestCapture(std::string("command -v ") + tool);
    if (!found.empty()) fs::create_symlink(found.substr(0, found.find('\n')), dir.Host("bin/") + tool);
  }
  fs::create_directories(dir.Host("content"));
  dir.Write("content/previo.txt", "contenido anterior");
  dir.Write("content/contentgen.stamp", "contentgen 0\n");
  const std::string run = "PATH='" + dir.Host("bin") + "' '" + kGenerator + "' '" + dir.Host("content") + "' 2>&1";
  FILE* pipe = popen(run.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[4096];
  const std::string message(buffer, std::fread(buffer, 1, sizeof buffer, pipe));
  const int status = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(message.find("espeak-ng"), std::string::npos) << message;
  EXPECT_EQ(dir.Read("content/previo.txt"), "contenido anterior");
  EXPECT_FALSE(fs::exists(dir.Host("content.tmp")));
  // An empty folder is as good as none: the run gets as far as the encoders.
  fs::create_directories(dir.Host("vacia"));
  const std::string empty = "PATH='" + dir.Host("bin") + "' '" + kGenerator + "' '" + dir.Host("vacia") + "' 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(empty.c_str())), 1);
  EXPECT_TRUE(fs::is_directory(dir.Host("vacia")));
  EXPECT_NE(SLTestCapture("'" + kGenerator + "' '" + kContent + "'").find("up to date"), std::string::npos);
}

// The family's folder that ./run keeps outside the build tree: a copy of the content,
// refreshed under a new stamp, keeps the family's movie saved over the sample movie, the
// recording made over the sample recording, a new movie and the settings, byte for byte.
TEST(ContentGenerator, TheFamilysFolderKeepsItsMoviesRecordingsAndSettings) {
  TempDir dir;
  const std::string copy = "'" + kGenerator + "' --from '" + kContent + "' '" + dir.Host("familia") + "' >/dev/null";
  ASSERT_EQ(std::system(copy.c_str()), 0);
  const std::map<std::string, std::string> family = {
      {"Aventuras Guardadas/Paseo en el parque.ZQTR", Read(kContent + "/Aventuras Guardadas/Paseo en el parque.ZQTR") + "x"},
      {"Aventuras Guardadas/Mi gato.ZQTR", std::string("ZQTR\0\x02 mi gato", 15)},
      {"Sfx/Grabadas/Mi voz.WAV", "RIFF la voz de la nena"},
      {"Zarandulvortequimbaplastelo.ini", "[Buscador MP3]\nCarpeta1=/home/familia/Musica\n"}};
  for (const auto& [name, bytes] : family) dir.Write("familia/" + name, bytes);
  dir.Write("familia/contentgen.stamp", "contentgen 1\n");
  ASSERT_EQ(std::system(copy.c_str()), 0);
  for (const auto& [name, bytes] : family) EXPECT_EQ(dir.Read("familia/" + name), bytes) << name;
  EXPECT_EQ(dir.Read("familia/contentgen.stamp"), Read(kContent + "/contentgen.stamp"));
  EXPECT_EQ(dir.Read("familia/Gfx/Gfx.DAT"), Read(kContent + "/Gfx/Gfx.DAT"));
  EXPECT_FALSE(fs::exists(dir.Host("familia.tmp")) || fs::exists(dir.Host("familia.old")));
}

// The family's folder with its pack cut short and a font deleted: the next copy under the
// same stamp writes both again and leaves the child's movies as they are, as does a copy
// into the folder after its stamp was lost; the program then starts from it.
TEST(ContentGenerator, TheFamilysFolderGetsItsDamagedContentBack) {
  TempDir dir;
  const std::string copy = "'" + kGenerator + "' --from '" + kContent + "' '" + dir.Host("familia") + "'";
  ASSERT_EQ(std::system((copy + " >/dev/null").c_str()), 0);
  const std::map<std::string, std::string> movies = {
      {"Aventuras Guardadas/Paseo en el parque.ZQTR", std::string("ZQTR\0\x02 la pelicula de la nena", 29)},
      {"Aventuras Guardadas/Mi gato.ZQTR", std::string("ZQTR\0\x02 mi gato", 15)}};
  for (const auto& [name, bytes] : movies) dir.Write("familia/" + name, bytes);
  const std::vector<std::string> damaged = {"Gfx/Gfx.DAT", "Gfx/Tahoma_8.FNT"};
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "current stamp" : "no stamp");
    fs::resize_file(dir.Host("familia/Gfx/Gfx.DAT"), 5000);
    fs::remove(dir.Host("familia/Gfx/Tahoma_8.FNT"));
    if (round == 1) fs::remove(dir.Host("familia/contentgen.stamp"));
    const std::string said = SLTestCapture(copy + " 2>&1; echo status $?");
    EXPECT_NE(said.find("status 0"), std::string::npos) << said;
    for (const std::string& name : damaged) EXPECT_EQ(dir.Read("familia/" + name), Read(kContent + "/" + name)) << name;
    for (const auto& [name, bytes] : movies) EXPECT_EQ(dir.Read("familia/" + name), bytes) << name;
    EXPECT_EQ(dir.Read("familia/contentgen.stamp"), Read(kContent + "/contentgen.stamp"));
    EXPECT_FALSE(fs::exists(dir.Host("familia.tmp")) || fs::exists(dir.Host("familia.old")));
  }
  EXPECT_NE(SLTestCapture(copy).find("up to date"), std::string::npos);

  // As ./run does: the program beside its content, until its welcome screen shows.
  fs::create_hard_link(SL_BINARY_DIR "/Zarandulvortequimbaplastelo", dir.Host("familia/Zarandulvortequimbaplastelo"));
  const std::string log = dir.Host("salida.txt");
  SLTestCapture("cd '" + dir.Host("familia") +
                "' && (SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SL_DEBUG=1 "
                "./Zarandulvortequimbaplastelo >'" + log + "' 2>&1 & pid=$!; "
                "for i in $(seq 600); do grep -q 'Pantalla: bienvenida' '" + log + "' && break; "
                "kill -0 $pid 2>/dev/null || break; sleep 0.1; done; kill -9 $pid; wait $pid) 2>/dev/null");
  const std::string started = dir.Read("salida.txt");
  EXPECT_NE(started.find("Pantalla: bienvenida"), std::string::npos) << started;
  EXPECT_EQ(started.find("Error"), std::string::npos) << started;
}

// contentgen replaces only folders it made: whatever else DIR names is refused with status 2
// before anything is read or written, and every file stays as it was.
TEST(ContentGenerator, RefusesToReplaceWhatItDidNotMake) {
  struct Case {
    const char* what;
    const char* argument;  // relative to the case's folder, which is also the current one
    std::vector<std::pair<std::string, std::string>> files;
  };
  const Case cases[] = {
      {"the current folder", ".", {{"deberes.txt", "mis deberes"}}},
      {"a file", "notas.txt", {{"notas.txt", "no borrar"}}},
      {"a folder with other files", "trabajo", {{"trabajo/deberes.txt", "mis deberes"}}},
      {"a folder whose stamp is a folder", "trabajo", {{"trabajo/contentgen.stamp/x", "y"}}},
      {"someone's folder where the new content is built", "content",
       {{"content/contentgen.stamp", "contentgen 0\n"}, {"content.tmp/deberes.txt", "mis deberes"}}},
      {"someone's folder where the old content is set aside", "content",
       {{"content/contentgen.stamp", "contentgen 0\n"}, {"content.old/deberes.txt", "mis deberes"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    for (const auto& [name, bytes] : c.files) {
      fs::create_directories(fs::path(dir.Host(name)).parent_path());
      dir.Write(name, bytes);
    }
    const std::string run = "cd '" + dir.Host() + "' && '" + kGenerator + "' '" + c.argument + "' 2>&1";
    FILE* pipe = popen(run.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    const std::string message(buffer, std::fread(buffer, 1, sizeof buffer, pipe));
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2) << message;
    EXPECT_NE(message.find("refusing"), std::string::npos) << message;
    std::set<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(dir.Host()))
      if (entry.is_regular_file()) left.insert(fs::relative(entry.path(), dir.Host()).string());
    EXPECT_EQ(left.size(), c.files.size());
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(dir.Read(name), bytes) << name;
  }
}

}  // namespace
