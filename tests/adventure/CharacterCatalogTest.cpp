// Characters loaded from item packs: a full description read back field by field, every
// malformed case as one edit of it, the direction fallback over every set of directions
// and frame selection over whole passes.
#include <gtest/gtest.h>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "tests/support/AnimatedPacks.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TestWindow.h"

namespace {

SL_GS_Image* Fake(uintptr_t n) { return reinterpret_cast<SL_GS_Image*>(0x1000 + 16 * n); }

// An action of fake frames (never released) in the directions of `mask`, built in raw
// storage as the loader builds its actions: construction and destruction belong to the
// action's own functions.
struct FakeAction {
  explicit FakeAction(u32 mask, u32 frames = 1) : action(*reinterpret_cast<CharacterAction*>(storage)) {
    CharacterAction_Construct(&action);
    action.exitFlag = 1;
    for (u32 d = 0; d < 8; ++d)
      for (u32 k = 0; mask >> d & 1 && k < frames; ++k) action.frames[d].Add(Fake(d * 100 + k));
  }
  ~FakeAction() { CharacterAction_Destruct(&action); }
  alignas(CharacterAction) unsigned char storage[sizeof(CharacterAction)];
  CharacterAction& action;
};

TEST(CharacterDirection, FallbackAlwaysAnswersADirectionWithFrames) {
  const u32 rows[8][7] = {{1, 2, 6, 7, 3, 4, 5}, {0, 6, 2, 7, 4, 5, 3}, {0, 7, 1, 6, 5, 4, 3}, {4, 5, 6, 7, 3, 1, 2},
                          {3, 6, 5, 7, 1, 0, 0}, {3, 7, 4, 6, 2, 0, 0}, {1, 4, 0, 3, 7, 2, 5}, {2, 5, 0, 3, 6, 1, 4}};
  for (u32 mask = 1; mask < 256; ++mask) {
    FakeAction fake(mask);
    for (u32 wanted = 0; wanted < 8; ++wanted) {
      const u32 got = CharacterAction_PickDirection(&fake.action, wanted);
      ASSERT_TRUE(got < 8 && (mask >> got & 1)) << mask << " " << wanted << " -> " << got;
      i32 rowAnswer = mask >> wanted & 1 ? i32(wanted) : -1;
      for (u32 d : rows[wanted])
        if (rowAnswer < 0 && (mask >> d & 1)) rowAnswer = i32(d);
      if (rowAnswer >= 0) {
        EXPECT_EQ(got, u32(rowAnswer)) << mask << " " << wanted;
      }
    }
  }
  FakeAction frontAndRight(1 | 128);
  EXPECT_EQ(CharacterAction_PickDirection(&frontAndRight.action, 4), 7u);
  FakeAction frontOnly(1);
  EXPECT_EQ(CharacterAction_PickDirection(&frontOnly.action, 3), 0u);  // row 3 leaves out direction 0
}

TEST(CharacterFrames, SelectionWalksWholePassesThenStops) {
  FakeAction fake(1 << 5, 6);
  for (u32 k = 0; k < 6; ++k) fake.action.sequence.Add(5 - k);
  fake.action.duration = 300;
  fake.action.repeat = 1;
  for (u32 t = 0; t < 600; ++t)
    ASSERT_EQ(CharacterAction_FrameAt(&fake.action, 5, t, false), Fake(500 + 5 - (t % 300) / 50)) << t;
  EXPECT_EQ(CharacterAction_FrameAt(&fake.action, 5, 600, false), ActionFrameOver());
  EXPECT_EQ(CharacterAction_FrameAt(&fake.action, 5, 600, true), Fake(500));
  EXPECT_EQ(CharacterAction_FrameAt(&fake.action, 5, 0xFFFFFFFF, true), Fake(500));
  fake.action.repeat = kRepeatEndless;
  EXPECT_EQ(CharacterAction_FrameAt(&fake.action, 5, 950, false), Fake(504));
  EXPECT_EQ(CharacterAction_FrameAt(&fake.action, 5, 0xFFFFFFFF, false), Fake(500 + 5 - (0xFFFFFFFFu % 300) / 50));
  fake.action.duration = 0;
  EXPECT_EQ(CharacterAction_FrameAt(&fake.action, 5, 12345, false), Fake(505));
  EXPECT_EQ(CharacterAction_FrameAt(&fake.action, 4, 0, false), nullptr);
}


const PackDescription kPepe{{
    {"General", {{"Clase", "Niño"}, {"Nombre", "Pepe"}, {"Flotante", "SI"}, {"Estado_Inicial", "de pie"}}},
    {"Estado_1", {{"Nombre", "De pie"}, {"Acción_Por_Defecto", "acción_1"}, {"Acción_Caminata", "Acción_3"},
                  {"Acción_Habla", "ACCIÓN_2"}}},
    {"Estado_2", {{"Nombre", "Sentado"}, {"Acción_Por_Defecto", "Acción_4"}}},
    {"Acción_1", {{"Nombre", "Quieto"}, {"Clase", "Base"}, {"Animación", "quieto"}, {"Animación_Duración", "300"},
                  {"Animación_Repite", "SIEMPRE"}, {"Visible", "NO"}}},
    {"Acción_2", {{"Nombre", "Hablar"}, {"Clase", "Habla"}, {"Animación", "quieto"}, {"Animación_Ida_y_Vuelta", "SI"},
                  {"Animación_Duración", "200"}, {"Inserta_Habla", "SóloAudio"}, {"Audio", "s.wav"},
                  {"Audio_Repite", "SI"}, {"Disponible_En_Estado", "DE PIE"}}},
    {"Acción_3", {{"Nombre", "Caminar"}, {"Clase", "Mover"}, {"Animación", "quieto"}, {"Animación_Secuencia", "2,1"},
                  {"Animación_Duración", "100"}, {"Es_Caminata", "NO"}, {"QuitarForzarDirección", "SI"},
                  {"Necesita_Referencia1", "Escenario, Acercar = SI"}}},
    {"Acción_4", {{"Nombre", "Sentarse"}, {"Clase", "Silla"}, {"Animación", "quieto"},
                  {"Animación_Sentido_Inverso", "SI"}, {"Animación_Duración", "500"}, {"Animación_Repite", "2"},
                  {"Pasa_A_Estado", "Sentado"}, {"Inserta_Habla", "si"},
                  {"Necesita_Referencia1", "Objeto, Clase = Silla, Acercar = SI, Delta_Acercar = (-20; 0; Derecha)"},
                  {"Necesita_Referencia2", "objetoapoyo, delta_acercar=(3;-4)"},
                  {"Necesita_Referencia3", "Personaje"}, {"Afecta_Estado_Objeto1", "Puerta, Cerrada, Abierta"},
                  {"Toma_Objeto1", "Taza, Mano"}, {"Deja_Objeto", "SI"}}},
}};

std::string Describe(CharacterRecord* r) {
  std::string out = std::string(r->itemClass.CStr()) + "|" + r->name.CStr() + "|" + r->initialState.CStr() + "|" +
                    std::to_string(r->floating) + "\n";
  for (u32 i = 0; CharacterRecord_GetStateAt(r, i); ++i) {
    CharacterState* s = CharacterRecord_GetStateAt(r, i);
    out += std::string(s->name.CStr()) + " " + std::to_string(s->defaultAction) + " " + std::to_string(s->walkAction) +
           " " + std::to_string(s->talkAction) + "\n";
  }
  for (u32 i = 0; i < CatalogRecord_GetListEntryCount(r); ++i) {
    CharacterAction* a = CatalogRecord_GetListEntryAt(r, i);
    out += std::string(a->name.CStr()) + "/" + a->actionClass.CStr() + " frames";
    for (const ItemFrameArray& f : a->frames) out += " " + std::to_string(f.GetCount());
    out += " seq";
    for (u32 v : a->sequence) out += " " + std::to_string(v);
    out += " in[" + std::string(a->availableInState.CStr()) + "] v" + std::to_string(a->visible) + " talk" +
           std::to_string(a->dialogue) + " walk" + std::to_string(a->isWalk) + " d" + std::to_string(a->duration) +
           " r" + std::to_string(a->repeat) + " sound" + std::to_string(a->sound != nullptr) + std::to_string(a->soundLoops) +
           " next[" + a->nextState.CStr() + "] free" + std::to_string(a->releasesForcedDirection) + " leaves" +
           std::to_string(a->leavesObject) + "\n";
    for (ActionReference* ref : a->references) {
      out += "  ref " + std::to_string(ref->kind) + " [" + ref->referenceClass.CStr() + "] " +
             std::to_string(ref->approach);
      for (u32 d = 0; d < 8; ++d) out += " " + std::to_string(ref->dx[d]) + ":" + std::to_string(ref->dy[d]);
      out += "\n";
    }
    for (ActionStateEffect* e : a->stateEffects)
      out += std::string("  effect ") + e->objectName.CStr() + "/" + e->requiredState.CStr() + "/" + e->newState.CStr() + "\n";
    for (ActionTakeObject* t : a->takenObjects) out += std::string("  take ") + t->first.CStr() + "/" + t->second.CStr() + "\n";
  }
  return out;
}

const std::string kPepeRecord =
    "Ni\xF1o|Pepe|de pie|1\n"
    "De pie 0 2 1\n"
    "Sentado 3 -1 -1\n"
    "Quieto/Base frames 2 0 0 0 0 0 0 2 seq 0 1 in[] v0 talk0 walk0 d300 r4294967295 sound00 next[] free0 leaves0\n"
    "Hablar/Habla frames 2 0 0 0 0 0 0 2 seq 0 1 0 in[DE PIE] v1 talk1 walk0 d200 r1 sound11 next[] free0 leaves0\n"
    "Caminar/Mover frames 2 0 0 0 0 0 0 2 seq 1 0 in[] v1 talk0 walk1 d100 r1 sound00 next[] free1 leaves0\n"
    "  ref 1 [] 1 0:0 0:0 0:0 0:0 0:0 0:0 0:0 0:0\n"
    "Sentarse/Silla frames 2 0 0 0 0 0 0 2 seq 1 0 in[] v1 talk3 walk0 d500 r2 sound00 next[Sentado] free0 leaves1\n"
    "  ref 3 [Silla] 1 0:0 0:0 0:0 0:0 0:0 0:0 0:0 -20:0\n"
    "  ref 4 [] 0 3:-4 3:-4 3:-4 3:-4 3:-4 3:-4 3:-4 3:-4\n"
    "  ref 2 [] 0 0:0 0:0 0:0 0:0 0:0 0:0 0:0 0:0\n"
    "  effect Puerta/Cerrada/Abierta\n"
    "  take Taza/Mano\n";

class CharacterCatalogTest : public AnimatedPackTest {
 protected:
  CharacterCatalogTest() : AnimatedPackTest("pepe", CharacterCatalog_Free) {}
  void SetUp() override {
    AnimatedPackTest::SetUp();
    for (const char* dir : {"adelante", "derecha"})
      for (int k = 1; k <= 2; ++k) m_pack.Frame("quieto/" + std::string(dir) + "_0" + std::to_string(k) + ".mximg", 8, 12, "green", 2 + k);
    for (int k = 1; k <= 5; ++k) {
      if (k < 5) m_pack.Frame("desigual/adelante_0" + std::to_string(k) + ".mximg", 8, 8, "red", 3);
      m_pack.Frame("desigual/atras_0" + std::to_string(k) + ".mximg", 8, 8, "red", 3);
    }
    m_pack.Sound("s.wav");
  }
  CharacterRecord* Load(const PackDescription& info, std::atomic<uint32_t>* progress = nullptr,
                        const std::string& codec = "cp1252") {
    return CharacterCatalog_LoadItem(m_pack.Pack(info, codec).c_str(), nullptr, progress, 10, 50);
  }
};

TEST_F(CharacterCatalogTest, FullCharacterLoadsAlikeInEveryEncoding) {
  std::vector<std::string> ids;
  for (const char* codec : {"cp1252", "utf-8-sig", "utf-16"}) {
    SCOPED_TRACE(codec);
    std::atomic<uint32_t> progress{0};
    CharacterRecord* record = Load(kPepe, &progress, codec);
    ASSERT_TRUE(record) << std::hex << SLGetLastError();
    EXPECT_EQ(Describe(record), kPepeRecord);
    EXPECT_EQ(progress.load(), 50u);  // the last store, after the last action, is the end
    EXPECT_EQ(CharacterRecord_FindState(record, "SENTADO"), 1);
    EXPECT_EQ(CharacterAction_GetReferenceCount(CatalogRecord_GetListEntryAt(record, 3)), 3u);
    EXPECT_EQ(m_gfx.m_liveImageTextures.size(), 16u);
    EXPECT_EQ(m_sfx.live, 1);
    ids.emplace_back(reinterpret_cast<const char*>(record->id.bytes), 20);
    CharacterCatalog_Free();
    EXPECT_EQ(m_gfx.m_liveImageTextures.size(), 0u);
    EXPECT_EQ(m_sfx.live, 0);
  }
  EXPECT_EQ(ids[0], ids[1]);
  EXPECT_EQ(ids[0], ids[2]);
}

TEST_F(CharacterCatalogTest, OneKeyEditsAreRefusedOrTakeEffect) {
  const OneKeyEdit rows[] = {
      {"General", "Flotante", "TAL VEZ", 0x80020016, nullptr},
      {"General", "Estado_Inicial", "Nada", 0x80020016, nullptr},
      {"Estado_1", "Nombre", nullptr, 0x80020016, nullptr},
      {"Estado_1", "Acción_Por_Defecto", nullptr, 0x80020016, nullptr},
      {"Estado_1", "Acción_Por_Defecto", "Acción_0", 0x80020016, nullptr},
      {"Estado_1", "Acción_Por_Defecto", "Accion_1", 0x80020016, nullptr},
      {"Estado_1", "Acción_Por_Defecto", "Acción_5", 0x80020016, nullptr},
      {"Estado_1", "Acción_Por_Defecto", "Acción_4294967295", 0x80020016, nullptr},
      {"Estado_1", "Acción_Por_Defecto", "Acción_99999999999", 0x80020016, nullptr},
      {"Estado_1", "Acción_Caminata", "Acción_4294967295", 0x80020016, nullptr},
      {"Estado_1", "Acción_Habla", "Acción_4294967295", 0x80020016, nullptr},
      {"Estado_1", "Acción_Habla", "Acción_4", 0, "De pie 0 2 3\n"},
      {"Acción_1", "Nombre", nullptr, 0x80020016, nullptr},
      {"Acción_1", "Clase", "", 0x80020016, nullptr},
      {"Acción_1", "Animación", "nada", 0x80020016, nullptr},
      {"Acción_1", "Animación", "desigual", 0x80020016, nullptr},
      {"Acción_1", "Animación", "QUIETO", 0, "Quieto/Base frames 2 0 0 0 0 0 0 2 "},
      {"Acción_1", "Animación_Secuencia", "3", 0x80020016, nullptr},
      {"Acción_1", "Animación_Duración", "0", 0x80020016, nullptr},
      {"Acción_1", "Visible", "", 0x80020016, nullptr},
      {"Acción_1", "Inserta_Habla", "QUIZÁ", 0x80020016, nullptr},
      {"Acción_1", "Inserta_Habla", "sóloTEXTO", 0, "v0 talk2 "},
      {"Acción_1", "Es_Caminata", "SI", 0, "v0 talk0 walk1 "},
      {"Acción_1", "Audio", "no.wav", 0x80020004, nullptr},
      {"Acción_2", "Disponible_En_Estado", "Volando", 0x80020016, nullptr},
      {"Acción_4", "Pasa_A_Estado", "Nada", 0x80020016, nullptr},
      {"Acción_4", "Deja_Objeto", "NUNCA", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Escenario, Clase = Casa", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Mueble", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Color = rojo", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Clase Silla", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Acercar = QUIZÁ", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Delta_Acercar = -20; 0", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Delta_Acercar = (-20; 0", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Delta_Acercar = (5q; 0)", 0x80060008, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Delta_Acercar = (1; 2; Arriba)", 0x80020016, nullptr},
      {"Acción_4", "Necesita_Referencia1", "Objeto, Delta_Acercar = (1; 2; Atrás)", 0, "ref 3 [] 0 0:0 0:0 0:0 1:2 0:0"},
      {"Acción_4", "Afecta_Estado_Objeto1", "Puerta, Cerrada", 0x80020016, nullptr},
      {"Acción_4", "Toma_Objeto1", "Taza", 0x80020016, nullptr},
  };
  RunOneKeyEdits<CharacterRecord>(
      kPepe, rows, [&](const PackDescription& info) { return Load(info); }, Describe, CharacterCatalog_GetAt, CharacterCatalog_Free,
      [&] { return m_gfx.m_liveImageTextures.size() + size_t(m_sfx.live); });
}

}  // namespace
