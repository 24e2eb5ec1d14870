// The sample item packs (backgrounds, characters, objects), the sample movie and the test
// fixture sets, read back with the program's own catalogue loaders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/AnimatedPacks.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace content_test;
namespace fs = std::filesystem;

// The sample item packs loaded with the program's own loaders, characters first as the
// loading screen does, on the memory graphics device and SDL's dummy sound driver. One bad
// pack ends the program, so every shipped pack must load.
class CatalogDevices : public ::testing::Test {
 protected:
  static std::vector<std::string> Packs(const std::string& root, const std::string& kind) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(root + "/Gfx/" + kind)) out.push_back(entry.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  static std::string Win(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
  void SetUp() override {
    SLTestRegisterClasses();
    m_window = SLTestMakeWindow("contenido");
    ASSERT_TRUE(m_gfx.Init(nullptr, nullptr, nullptr));
    ASSERT_TRUE(m_sfx.Init(nullptr, m_window, nullptr));
    AdventureDevices_Set(&m_gfx, &m_sfx, nullptr);
  }
  // Loads every pack under root/Gfx as the loading screen does, characters first; the
  // error code of each pack that failed, by file name.
  static std::map<std::string, u32> LoadAll(const std::string& root) {
    std::map<std::string, u32> failed;
    auto note = [&](const std::string& path, bool loaded) {
      if (!loaded) failed[fs::path(path).filename().string()] = SLGetLastError();
    };
    for (const std::string& path : Packs(root, "Personajes"))
      note(path, CharacterCatalog_LoadItem(Win(path).c_str(), nullptr, nullptr, 0, 100));
    for (const std::string& path : Packs(root, "Fondos")) note(path, SceneCatalog_LoadItem(Win(path).c_str(), nullptr));
    for (const std::string& path : Packs(root, "Objetos")) note(path, ObjectCatalog_LoadItem(Win(path).c_str(), nullptr));
    return failed;
  }
  static void FreeAll() {
    CharacterCatalog_Free();
    SceneCatalog_Free();
    ObjectCatalog_Free();
  }
  void TearDown() override {
    FreeAll();
    AdventureDevices_Set(nullptr, nullptr, nullptr);
    m_sfx.Shutdown();
    DestroyWindow(m_window);
  }
  CMemoryGfxDevice m_gfx;
  CountingSfx m_sfx;
  HWND m_window = nullptr;
};

class ContentItems : public CatalogDevices {
 protected:
  void SetUp() override {
    CatalogDevices::SetUp();
    const std::map<std::string, u32> failed = LoadAll(kContent);
    for (const auto& [name, code] : failed) ADD_FAILURE() << name << " " << std::hex << code;
  }
};

std::string Hex(const ItemId& id) {
  std::string out;
  char digits[3];
  for (u8 b : id.bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    out += digits;
  }
  return out;
}

// Each list in class-then-name order, each identity as python's SHA-1 over the ASCII bytes
// of name, class and (objects, characters) initial state.
TEST_F(ContentItems, SampleSetLoadsInClassThenNameOrderWithPythonsIdentities) {
  std::vector<std::string> fields, ids;
  for (u32 i = 0; CharacterRecord* r = CharacterCatalog_GetAt(i); ++i) {
    fields.push_back(std::string(r->name.CStr()) + "|" + r->itemClass.CStr() + "|" + r->initialState.CStr());
    ids.push_back(Hex(r->id));
  }
  for (u32 i = 0; SceneRecord* r = SceneCatalog_GetAt(i); ++i) {
    fields.push_back(std::string(r->name.CStr()) + "|" + r->itemClass.CStr());
    ids.push_back(Hex(r->id));
  }
  for (u32 i = 0; ObjectRecord* r = ObjectCatalog_GetAt(i); ++i) {
    fields.push_back(std::string(r->name.CStr()) + "|" + r->itemClass.CStr() + "|" + r->initialState.CStr());
    ids.push_back(Hex(r->id));
  }
  const std::vector<std::string> expected = {
      "Abuela Rosa|Adulto|Parada", "Sof\xED" "a|Ni\xF1" "a|Parada", "Tom\xE1s|Ni\xF1o|Parada", "Pico|P\xE1jaro|Volando",
      "Parque|Exterior", "Playa|Exterior", "Casa de la abuela|Interior",
      "Puerta|Abertura|Cerrada", "Nube|Cielo|Quieta", "Globo|Juguete|Flotando", "Pelota|Juguete|Quieta",
      "Mesa|Mueble|Normal", "L\xE1mpara|Peque\xF1o|Apagada", "Radio|Peque\xF1o|Apagada", "Silla|Silla|Normal"};
  ASSERT_EQ(fields, expected);
  std::string script = "import hashlib\nfor f in [";
  for (const std::string& f : fields) {
    script += "b'";
    for (unsigned char c : f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      script += escaped;
    }
    script += "',";
  }
  script += "]:\n  print(hashlib.sha1(bytes(b for b in f if b < 0x80 and b != 0x7c)).hexdigest())\n";
  std::string joined;
  for (const std::string& id : ids) joined += id + "\n";
  EXPECT_EQ(SLTestRunPython(script), joined);
}

// The sample movie is a project file whose trailer is zlib's CRC-32 of the rest and whose
// items are all in the sample set: its first scene's background is the park.
TEST_F(ContentItems, SampleProjectNamesInstalledItemsUnderItsChecksum) {
  const std::string path = kContent + "/Aventuras Guardadas/Paseo en el parque.ZQTR";
  EXPECT_EQ(SLTestRunPython("import zlib,struct\nd=open(" + std::string("'") + path +
                            "','rb').read()\nprint(struct.unpack('<I',d[-4:])[0]==zlib.crc32(d[:-4]))\n"),
            "True\n");
  const std::string project = Read(path);
  ASSERT_GT(project.size(), 72u);
  EXPECT_EQ(project.substr(0, 40), std::string("Pel\xED" "cula de Zarandulvortequimbaplastelo\x1A"));
  EXPECT_EQ(project.substr(52, 20), std::string(reinterpret_cast<const char*>(SceneCatalog_GetAt(0)->id.bytes), 20));
  auto holds = [&](const ItemId& id) {
    return project.find(std::string(reinterpret_cast<const char*>(id.bytes), 20)) != std::string::npos;
  };
  u32 characters = 0, objects = 0;
  for (u32 i = 0; CharacterRecord* r = CharacterCatalog_GetAt(i); ++i) characters += holds(r->id);
  for (u32 i = 0; ObjectRecord* r = ObjectCatalog_GetAt(i); ++i) objects += holds(r->id);
  EXPECT_EQ(characters, 2u);  // Sofía and Tomás
  EXPECT_EQ(objects, 3u);     // the table, the lamp and the ball
}

// The pickers preview direction 0 and the program walks and stands characters in every
// direction: those actions have frames everywhere, every other action at least in
// "adelante", all directions of an action alike; a person offers seven actions standing.
TEST_F(ContentItems, CharactersHaveFramesWhereTheProgramLooks) {
  for (u32 i = 0; CharacterRecord* r = CharacterCatalog_GetAt(i); ++i) {
    SCOPED_TRACE(r->name.CStr());
    // Standing up they turn every way; seated, the chair holds them facing forward.
    const i32 standing = CharacterRecord_FindState(r, r->initialState.CStr());
    ASSERT_GE(standing, 0);
    if (CharacterState* state = CharacterRecord_GetStateAt(r, u32(standing)))
      for (i32 a : {state->defaultAction, state->walkAction, state->talkAction}) {
        if (a < 0) continue;
        CharacterAction* action = CatalogRecord_GetListEntryAt(r, u32(a));
        for (u32 d = 0; d < kDirectionCount; ++d) EXPECT_GT(action->frames[d].GetCount(), 0u) << action->name.CStr();
      }
    u32 offeredStanding = 0;
    for (u32 a = 0; a < CatalogRecord_GetListEntryCount(r); ++a) {
      CharacterAction* action = CatalogRecord_GetListEntryAt(r, a);
      SCOPED_TRACE(action->name.CStr());
      EXPECT_GT(action->frames[0].GetCount(), 0u);
      EXPECT_TRUE(action->repeat == kRepeatEndless || action->repeat == 1 || action->repeat == 2);
      offeredStanding += action->visible && std::string(action->availableInState.CStr()) == "Parada";
      if (action->isWalk) {
        EXPECT_EQ(action->references.GetCount(), 1u);
        EXPECT_EQ(action->references[0]->kind, 1u);
      }
    }
    if (!r->floating) {
      EXPECT_EQ(offeredStanding, 7u);
    }
  }
}

// Random placement looks for floor inside 50..613 x 20..351: every stage has some there,
// an obstacle in the middle of its floor, and a depth range from far to near.
TEST_F(ContentItems, BackgroundsHaveFloorToPlaceOnAndSomethingToWalkRound) {
  for (u32 i = 0; SceneRecord* r = SceneCatalog_GetAt(i); ++i) {
    SCOPED_TRACE(r->name.CStr());
    u32 floor = 0, obstacle = 0;
    for (i32 x = 50; x <= 613; ++x) {
      bool floorAbove = false;
      for (i32 y = 20; y <= 351; ++y) {
        const i32 alpha = SceneRecord_MaskAlphaAt(r, x, y);
        floor += alpha > 0;
        if (alpha > 0) floorAbove = true;
        else if (floorAbove && SceneRecord_MaskAlphaAt(r, x, 371) > 0) ++obstacle;
      }
    }
    EXPECT_GT(floor, 40000u);
    EXPECT_GT(obstacle, 1000u);
    EXPECT_GE(r->depthMin, 35);
    EXPECT_LE(r->depthMin, 50);
    EXPECT_EQ(r->depthMax, 255);
    EXPECT_EQ(SceneRecord_MaskAlphaAt(r, 300, 5), 0);  // the sky or the wall
  }
  EXPECT_TRUE(SceneCatalog_GetAt(0)->foreground);   // the park
  EXPECT_FALSE(SceneCatalog_GetAt(1)->foreground);  // the beach
}

// State changes end: every chain of following states reaches a state that stays, and a
// state that plays a sound has one.
TEST_F(ContentItems, ObjectStateChainsEndAndSoundsOpen) {
  u32 sounds = 0;
  for (u32 i = 0; ObjectRecord* r = ObjectCatalog_GetAt(i); ++i) {
    SCOPED_TRACE(r->name.CStr());
    for (ObjectState* state : r->states) {
      sounds += state->sound != nullptr;
      ObjectState* at = state;
      for (u32 steps = 0; at && !at->nextState.IsEmpty(); ++steps) {
        ASSERT_LT(steps, r->states.GetCount());
        const i32 next = ObjectRecord_FindState(r, at->nextState.CStr());
        ASSERT_GE(next, 0);
        at = r->states[u32(next)];
      }
    }
  }
  EXPECT_EQ(sounds, 3u);  // the door opening and closing, the radio
  EXPECT_EQ(m_sfx.live, 3 + 3);  // and each person's greeting
}

// The fixture set: one more item than a picker page holds, one more sound than a chooser
// page, and variant folders in which exactly the broken pack fails, with its own code.
class FixtureItems : public CatalogDevices {
 protected:
  void SetUp() override {
    CatalogDevices::SetUp();
    ASSERT_EQ(std::system(("'" + kGenerator + "' --fixtures '" + m_dir.Host("f") + "' >/dev/null").c_str()), 0);
  }
  TempDir m_dir;
};

TEST_F(FixtureItems, BrokenPacksFailWithTheirOwnCodesAndNothingElseDoes) {
  struct Case {
    const char* variant;
    std::map<std::string, u32> failed;
  };
  const Case cases[] = {
      {"crc_malo", {{"Roto.DAT", 0x8002001d}}},
      {"direccion_corta", {{"Corto.DAT", 0x80020016}}},
      {"duplicado", {{"Copia.DAT", 0x80010006}}},
      {"linea_mala", {{"Linea.DAT", 0x80020035}}},
      {"sin_objetos", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    EXPECT_EQ(LoadAll(m_dir.Host("f/Variantes/") + c.variant), c.failed);
    EXPECT_TRUE(CharacterCatalog_GetAt(0) && SceneCatalog_GetAt(0));
    EXPECT_EQ(ObjectCatalog_GetAt(0) == nullptr, std::string(c.variant) == "sin_objetos");
    FreeAll();
  }
}

TEST_F(FixtureItems, MainSetOverfillsEveryPickerAndChooser) {
  EXPECT_TRUE(LoadAll(m_dir.Host("f")).empty());
  u32 counts[3] = {};
  while (CharacterCatalog_GetAt(counts[0])) ++counts[0];
  while (SceneCatalog_GetAt(counts[1])) ++counts[1];
  while (ObjectCatalog_GetAt(counts[2])) ++counts[2];
  EXPECT_EQ(counts[0], 9u);
  EXPECT_EQ(counts[1], 7u);
  EXPECT_EQ(counts[2], 13u);
  size_t effects = 0, voices = 0;
  for (const auto& e : fs::directory_iterator(m_dir.Host("f/Sfx/Efectos"))) effects += e.path().extension() == ".WAV";
  for (const auto& e : fs::directory_iterator(m_dir.Host("f/Sfx/Voces de Hombre"))) voices += e.path().extension() == ".WAV";
  EXPECT_EQ(effects, 13u);
  EXPECT_EQ(voices, 12u);
  bool rightOnly = false, opaqueOutside = false;
  for (u32 i = 0; CharacterRecord* r = CharacterCatalog_GetAt(i); ++i) {
    if (std::string(r->name.CStr()) != "Solo derecha") continue;
    rightOnly = true;
    CharacterAction* action = CatalogRecord_GetListEntryAt(r, 0);
    for (u32 d = 0; d < kDirectionCount; ++d) EXPECT_EQ(action->frames[d].GetCount(), d == 7 ? 1u : 0u);
  }
  for (u32 i = 0; SceneRecord* r = SceneCatalog_GetAt(i); ++i) {
    if (std::string(r->name.CStr()) != "Sin suelo dentro") continue;
    opaqueOutside = true;
    u32 inside = 0;
    for (i32 y = 20; y <= 351; ++y)
      for (i32 x = 50; x <= 613; ++x) inside += SceneRecord_MaskAlphaAt(r, x, y) != 0;
    EXPECT_EQ(inside, 0u);
    EXPECT_EQ(SceneRecord_MaskAlphaAt(r, 49, 20), 255);
    EXPECT_EQ(SceneRecord_MaskAlphaAt(r, 50, 352), 255);
  }
  EXPECT_TRUE(rightOnly);
  EXPECT_TRUE(opaqueOutside);
}

// The packs take every form the program reads: versions 2 and 3, with and without a key,
// and "info.txt" in Windows-1252 with CR LF but for one in UTF-8 and one in UTF-16, each
// with its byte order mark.
TEST(ContentItemPacks, TakeEveryPackAndTextForm) {
  std::set<std::pair<u32, bool>> forms;
  std::map<std::string, int> texts;
  for (const char* kind : {"Fondos", "Personajes", "Objetos"})
    for (const auto& entry : fs::directory_iterator(kContent + "/Gfx/" + kind)) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(name.substr(name.size() - 4), ".DAT");
      for (unsigned char c : name) EXPECT_LT(c, 0x80) << name;
      Pack pack(entry.path().string());
      ASSERT_TRUE(pack.attached) << name;
      forms.emplace(pack.version, pack.key != 0);
      const std::string info = pack.Bytes("info.txt");
      if (info.rfind("\xEF\xBB\xBF", 0) == 0) ++texts["utf-8"];
      else if (info.rfind("\xFF\xFE", 0) == 0) ++texts["utf-16"];
      else {
        ++texts["cp1252"];
        EXPECT_NE(info.find("[General]\r\n"), std::string::npos) << name;
        EXPECT_EQ(info.find("\xC3"), std::string::npos) << name;  // no UTF-8 letters
      }
    }
  EXPECT_EQ(forms.size(), 4u);
  EXPECT_EQ(texts["utf-8"], 1);
  EXPECT_EQ(texts["utf-16"], 1);
  EXPECT_EQ(texts["cp1252"], 13);
}

}  // namespace
