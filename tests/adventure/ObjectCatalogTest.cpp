// Objects loaded from item packs: a full description read back field by field in three
// encodings, every malformed case as one edit of it (the list and the devices left as
// they were), and hit masks against ImageMagick's alpha.
#include <gtest/gtest.h>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "tests/support/AnimatedPacks.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TestWindow.h"

namespace {


const PackDescription kDoor{{
    {"General", {{"Clase", "Mueble"}, {"Nombre", "Puerta del ático"}, {"Flotante", "NO"}, {"Estado_Inicial", "cerrada"}}},
    {"Estado_1", {{"Nombre", "Cerrada"}, {"Animación", "puerta"}, {"Animación_Ida_y_Vuelta", "SI"},
                  {"Animación_Duración", "400"}, {"Pasa_A_Estado", "abierta"}, {"Audio", "s.wav"},
                  {"Audio_Repite", "SI"}}},
    {"Estado_2", {{"Nombre", "Abierta"}, {"Animación", "puerta"}, {"Animación_Ida_y_Vuelta", "SI"},
                  {"Animación_Sentido_Inverso", "si"}, {"Animación_Duración", "300"}, {"Animación_Repite", "SIEMPRE"}}},
    {"Estado_3", {{"Nombre", "Rota"}, {"Animación", "puerta"}, {"Animación_Secuencia", "1, 1, 2"},
                  {"Animación_Ida_y_Vuelta", "SI"}, {"Animación_Duración", "100"}, {"Animación_Repite", "0"}}},
    {"Estado_4", {{"Nombre", "Luz"}, {"Animación", "luz"}, {"Animación_Ida_y_Vuelta", "SI"},
                  {"Animación_Duración", "50"}, {"Animación_Repite", "3"}}},
    {"Estado_6", {{"Nombre", "Fuera de la serie"}, {"Animación", "nada"}}},
    {"Punto_Apoyo_1", {{"Posición", "CENTRO, ABAJO"}, {"Acepta_Objetos", "SI"},
                       {"Clase_Objetos", "Taza, 'Plato, hondo', Vaso"}, {"Acepta_Personajes", "SI"},
                       {"Clase_Personajes1", "Niño, ForzarDirección = Adelante; Atrás"}, {"Clase_Personajes2", "Perro"}}},
    {"Punto_Apoyo_2", {{"Posición", "DERECHA - 2, ARRIBA"}, {"Acepta_Objetos", "NO"}}},
}};

// Every field of a record, one line each.
std::string Describe(ObjectRecord* r) {
  std::string out = std::string(r->itemClass.CStr()) + "|" + r->name.CStr() + "|" + r->initialState.CStr() + "|" +
                    std::to_string(r->floatDepth) + "\n";
  for (ObjectState* s : r->states) {
    out += std::string(s->name.CStr()) + " frames " + std::to_string(s->frames.GetCount()) + " seq";
    for (u32 v : s->sequence) out += " " + std::to_string(v);
    out += " d " + std::to_string(s->duration) + " r " + std::to_string(s->repeat) + " next " + s->nextState.CStr() +
           " sound " + (s->sound ? "yes" : "no") + " loops " + std::to_string(s->soundLoops) + "\n";
  }
  for (u32 i = 0; i < CatalogRecord_GetListEntryCount(r); ++i) {
    ObjectSupportPoint* p = CatalogRecord_GetListEntryAt(r, i);
    out += std::to_string(p->x) + "," + std::to_string(p->y) + " [" + p->objectClasses.CStr() + "] [" +
           p->characterClasses.CStr() + "]\n";
  }
  return out;
}

const std::string kDoorRecord =
    "Mueble|Puerta del \xE1tico|cerrada|-1.000000\n"
    "Cerrada frames 4 seq 0 1 2 3 2 1 0 d 400 r 1 next abierta sound yes loops 1\n"
    "Abierta frames 4 seq 3 2 1 0 1 2 3 d 300 r 4294967295 next  sound no loops 0\n"
    "Rota frames 4 seq 0 0 1 d 100 r 1 next  sound no loops 0\n"
    "Luz frames 1 seq 0 d 50 r 3 next  sound no loops 0\n"
    "20,29 [Taza,Plato, hondo,Vaso] [Ni\xF1o, 9,Perro, 0]\n"
    "38,0 [] []\n";

class ObjectCatalogTest : public AnimatedPackTest {
 protected:
  ObjectCatalogTest() : AnimatedPackTest("puerta", ObjectCatalog_Free) {}
  void SetUp() override {
    AnimatedPackTest::SetUp();
    for (int k = 1; k <= 4; ++k) m_pack.Frame("puerta_0" + std::to_string(k) + ".mximg", 41, 30, "red", 6 + 3 * k);
    m_pack.Frame("LUZ_01.mximg", 8, 8, "blue", 3);
    m_pack.Sound("s.wav");
  }
  ObjectRecord* Load(const PackDescription& info, const std::string& codec = "cp1252") {
    return ObjectCatalog_LoadItem(m_pack.Pack(info, codec).c_str(), nullptr);
  }
};

TEST_F(ObjectCatalogTest, FullObjectLoadsAlikeInEveryEncoding) {
  std::vector<std::string> ids;
  for (const char* codec : {"cp1252", "utf-8-sig", "utf-16"}) {
    SCOPED_TRACE(codec);
    ObjectRecord* record = Load(kDoor, codec);
    ASSERT_TRUE(record) << std::hex << SLGetLastError();
    EXPECT_EQ(Describe(record), kDoorRecord);
    EXPECT_EQ(ObjectRecord_FindState(record, "ROTA"), 2);
    EXPECT_EQ(ObjectRecord_FindState(record, "Rot"), -1);
    EXPECT_EQ(CatalogRecord_GetListEntryAt(record, 2), nullptr);
    EXPECT_EQ(m_gfx.m_liveImageTextures.size(), 13u);
    EXPECT_EQ(m_sfx.live, 1);
    ids.emplace_back(reinterpret_cast<const char*>(record->id.bytes), 20);
    ObjectCatalog_Free();
    EXPECT_EQ(m_gfx.m_liveImageTextures.size(), 0u);
    EXPECT_EQ(m_sfx.live, 0);
  }
  EXPECT_EQ(ids[0], ids[1]);
  EXPECT_EQ(ids[0], ids[2]);
  // The identity covers the initial state as written.
  const std::string expected = SLTestRunPython(
      "import hashlib\nprint(hashlib.sha1(b'Puerta del ticoMueblecerrada').hexdigest())");
  std::string hex;
  for (char b : ids[0]) hex += "0123456789abcdef"[u8(b) >> 4], hex += "0123456789abcdef"[u8(b) & 15];
  EXPECT_EQ(hex + "\n", expected);
}

// Each row edits one key of the full object: a refusal leaves nothing behind; an accepted
// edit changes just the field it names.
TEST_F(ObjectCatalogTest, OneKeyEditsAreRefusedOrTakeEffect) {
  const OneKeyEdit rows[] = {
      {"General", "Clase", nullptr, 0x80020016, nullptr},
      {"General", "Nombre", "", 0x80020016, nullptr},
      {"General", "Estado_Inicial", "Nada", 0x80020016, nullptr},
      {"General", "Flotante", "100", 0, "|100.000000\n"},
      {"General", "Flotante", "0", 0, "|0.000000\n"},
      {"General", "Flotante", "100.5", 0x80020016, nullptr},
      {"General", "Flotante", "-0.5", 0x80020016, nullptr},
      {"General", "Flotante", "5x", 0x80060008, nullptr},
      {"Estado_1", "Nombre", nullptr, 0x80020016, nullptr},
      {"Estado_1", "Animación", "nada", 0x80020016, nullptr},
      {"Estado_1", "Animación", "puert?", 0x80020016, nullptr},
      {"Estado_1", "Animación", "PUERTA", 0, "Cerrada frames 4 "},
      {"Estado_4", "Animación", "luz*", 0x80020016, nullptr},
      {"Estado_1", "Animación_Secuencia", "1, 5", 0x80020016, nullptr},
      {"Estado_1", "Animación_Secuencia", "0", 0x80020016, nullptr},
      {"Estado_1", "Animación_Secuencia", "4,3", 0, "seq 3 2 d 400"},
      {"Estado_1", "Animación_Duración", "0", 0x80020016, nullptr},
      {"Estado_1", "Animación_Duración", nullptr, 0x80020016, nullptr},
      {"Estado_1", "Animación_Ida_y_Vuelta", "", 0x80020016, nullptr},
      {"Estado_1", "Animación_Repite", "a veces", 0x80020016, nullptr},
      {"Estado_1", "Animación_Repite", "NO", 0, "d 400 r 1 "},
      {"Estado_1", "Pasa_A_Estado", "CERRADA", 0x80020016, nullptr},
      {"Estado_1", "Pasa_A_Estado", "Nada", 0x80020016, nullptr},
      {"Estado_1", "Pasa_A_Estado", "", 0, "r 1 next  sound yes"},
      {"Estado_1", "Audio", "otro.wav", 0x80020004, nullptr},
      {"Estado_1", "Audio", "", 0x80020004, nullptr},
      {"Estado_1", "Audio_Repite", "TAL VEZ", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Posición", "3000000 * 1000, 0", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Posición", "0, EXP(1000)", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Posición", "-2147483648.9, 2147483647.9", 0, "-2147483648,2147483647 ["},
            {"Punto_Apoyo_1", "Acepta_Objetos", "QUIZÁ", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Clase_Objetos", nullptr, 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Clase_Personajes1", nullptr, 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Clase_Personajes1", "Niño, Mirar = Izquierda", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Clase_Personajes1", "Niño, ForzarDirección Izquierda", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Clase_Personajes1", "Niño, ForzarDirección = izquierda", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Clase_Personajes1", "Niño, ForzarDirección =", 0x80020016, nullptr},
      {"Punto_Apoyo_1", "Clase_Personajes1", "Niño, forzardirección\t= Izquierda; Derecha", 0, "[Ni\xF1o, 192,Perro"},
      {"Punto_Apoyo_1", "Acepta_Personajes", "NO", 0, "Vaso] []\n"},
      {"Punto_Apoyo_3", "Posición", "1, 2", 0, "38,0 [] []\n1,2 [] []\n"},
  };
  RunOneKeyEdits<ObjectRecord>(
      kDoor, rows, [&](const PackDescription& info) { return Load(info); }, Describe, ObjectCatalog_GetAt, ObjectCatalog_Free,
      [&] { return m_gfx.m_liveImageTextures.size() + size_t(m_sfx.live); });
}

TEST_F(ObjectCatalogTest, HitMasksFollowThePictureAlpha) {
  ObjectRecord* record = Load(kDoor);
  ASSERT_TRUE(record) << std::hex << SLGetLastError();
  for (u32 k = 0; k < 4; ++k) {
    const std::string alpha = m_pack.Alpha("puerta_0" + std::to_string(k + 1) + ".mximg");
    ASSERT_EQ(alpha.size(), 41u * 30u);
    int soft = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 41; ++x) {
        const u8 a = u8(alpha[y * 41 + x]);
        soft += a > 0 && a < 255;
        EXPECT_EQ(m_gfx.HitTest(record->states[0]->frames[k], x, y), a >= 128) << k << " " << x << "," << y;
      }
    EXPECT_GT(soft, 0);
  }
}

}  // namespace
