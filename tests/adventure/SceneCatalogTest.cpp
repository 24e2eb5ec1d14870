// Backgrounds loaded from item packs: masks, pictures, identities and order against
// python, every refusal leaving the list and the graphics device as they were, and the
// exit clean-up leaving the devices alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/SceneCatalog.h"
#include "storage/SLBaseStorage.h"
#include "storage/SLIniFile.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/ItemPacks.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"

namespace {

u32 ListCount() {
  u32 n = 0;
  while (SceneCatalog_GetAt(n)) ++n;
  return n;
}

class SceneCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_gfx.Init(nullptr, nullptr, nullptr));
    AdventureDevices_Set(&m_gfx, nullptr, nullptr);
  }
  void TearDown() override { SceneCatalog_Free(); }
  SceneRecord* Load(const std::string& name) {
    return SceneCatalog_LoadItem(m_dir.Win(name + ".DAT").c_str(), nullptr);
  }
  size_t Pictures() const { return m_gfx.m_liveImageTextures.size(); }
  TempDir m_dir;
  CMemoryGfxDevice m_gfx;
};

TEST_F(SceneCatalogTest, StageMaskGivesDepthAndPictures) {
  struct Row {
    const char *fondo, *frente;
    i32 depthMin, depthMax;
  } rows[] = {{"rising", "opaque", 10, 200}, {"clear", "", 255, 0}, {"opaque", "rising", 255, 255},
              {"magick32", "broken", 10, 200}, {"magickrle", "", 10, 200}};
  std::vector<ItemPackSpec> specs;
  for (const Row& row : rows)
    specs.push_back({row.fondo, row.fondo, row.frente, ItemPackInfo("Calle", row.fondo), "cp1252", 3, 0x5A17C3E9});
  ItemPackWriteAll(m_dir.Host(), specs);
  const auto alpha = [](const std::string& kind, int y) {
    return kind == "clear" ? 0 : kind == "opaque" ? 255 : kind.empty() || kind == "broken" ? -1 : ItemPackRisingAlpha(y);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fondo);
    SceneRecord* record = Load(row.fondo);
    ASSERT_TRUE(record) << std::hex << SLGetLastError();
    EXPECT_EQ(record->depthMin, row.depthMin);
    EXPECT_EQ(record->depthMax, row.depthMax);
    for (int y : {0, 110, 250, 371}) EXPECT_EQ(SceneRecord_MaskAlphaAt(record, 663 - y, y), alpha(row.fondo, y));
    for (auto [x, y] : {std::pair{664, 0}, {0, 372}, {-1, 0}}) EXPECT_EQ(SceneRecord_MaskAlphaAt(record, x, y), -1);
    SL_GS_ImageInfo info{};
    ASSERT_TRUE(m_gfx.GetImageInfo(record->background, &info));
    EXPECT_EQ(info.bitsPerPixel, 24u);
    EXPECT_EQ(m_gfx.GetImagePixel(record->background, 200, 300) & 0xFFFFFF, 0xC82C58u);  // blue 200, green 44, red 88
    EXPECT_EQ(record->foreground ? i32(m_gfx.GetImagePixel(record->foreground, 40, 50) >> 24) : -1,
              alpha(row.frente, 50));
  }
}

// Identities are python's whatever the encoding of "info.txt"; a character outside the
// code page counts as "?" in the name and the identity.
TEST_F(SceneCatalogTest, IdentityMatchesPythonInEveryEncoding) {
  std::vector<ItemPackSpec> specs;
  for (const char* codec : {"cp1252", "utf-8-sig", "utf-16"})
    specs.push_back({codec, "clear", "", ItemPackInfo("¿Dónde?", "Pájaro niño"), codec});
  specs.push_back({"euro", "clear", "", ItemPackInfo("Sala", "À€")});
  specs.push_back({"omega", "clear", "", ItemPackInfo("Sala", "Ωmega"), "utf-16"});
  const std::string expected = ItemPackWriteAll(m_dir.Host(), specs);
  const char* const names[] = {"P\xE1jaro ni\xF1o", "P\xE1jaro ni\xF1o", "P\xE1jaro ni\xF1o", "\xC0\x80", "?mega"};
  std::string got;
  for (size_t i = 0; i < specs.size(); ++i) {
    SceneRecord* record = Load(specs[i].name);
    ASSERT_TRUE(record) << specs[i].name << std::hex << SLGetLastError();
    EXPECT_STREQ(record->name.CStr(), names[i]);
    got += specs[i].name + " ";
    for (u8 b : record->id.bytes) got += "0123456789abcdef"[b >> 4], got += "0123456789abcdef"[b & 15];
    got += "\n";
    SceneCatalog_Free();
  }
  EXPECT_EQ(got, expected);
}

// Python's order (class, then name, each upper-cased within Windows-1252) from any order
// of insertion; a duplicate by class and name, or by identity, leaves the list unchanged.
TEST_F(SceneCatalogTest, InsertionKeepsPythonOrderAndRefusesDuplicates) {
  const std::vector<std::pair<std::string, std::string>> items = {
      {"Silla", "mesa"}, {"silla", "Banco"}, {"Árbol", "roble"}, {"arbol", "pino"}, {"Zoo", "ÿacaré"}, {"Zoo", "Ÿeti"},
      {"_x", "a"},       {"Calle", "Ñu"},    {"Calle", "nube"},  {"calle", "Oso"},  {"Ébano", "é"},     {"Pájaro", "Pjaro"}};
  std::vector<ItemPackSpec> specs{{"dupName", "clear", "", ItemPackInfo("silla", "MESA")},
                                  {"dupId", "clear", "", ItemPackInfo("Pájaro", "Pájaro")}};
  std::string script = "import sys\nk = lambda t: b''.join((c.upper() if len(c.upper()) == 1 and c.upper().encode("
                       "'cp1252', 'ignore') else c).encode('cp1252') for c in t)\nitems = [";
  for (size_t i = 0; i < items.size(); ++i) {
    specs.push_back({std::to_string(i), "clear", "", ItemPackInfo(items[i].first, items[i].second)});
    script += "(" + ItemPackPyText(items[i].first) + "," + ItemPackPyText(items[i].second) + "),";
  }
  script += "]\nfor i in sorted(range(len(items)), key=lambda i: (k(items[i][0]), k(items[i][1]))): print(i)\n";
  ItemPackWriteAll(m_dir.Host(), specs);
  const std::string expected = SLTestRunPython(script);
  for (u32 seed : {1u, 2u, 3u}) {
    std::vector<size_t> order(items.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    std::map<const SceneRecord*, size_t> index;
    for (size_t i : order) {
      const SceneRecord* record = Load(std::to_string(i));
      ASSERT_TRUE(record) << i << std::hex << SLGetLastError();
      index[record] = i;
    }
    std::string got;
    for (u32 n = 0; SceneCatalog_GetAt(n); ++n) got += std::to_string(index[SceneCatalog_GetAt(n)]) + "\n";
    EXPECT_EQ(got, expected);
    const size_t pictures = Pictures();
    for (const char* name : {"dupName", "dupId"}) SL_EXPECT_FAIL(Load(name), SL_E_ALREADY_EXISTS);
    EXPECT_EQ(ListCount(), items.size());
    EXPECT_EQ(Pictures(), pictures);
    EXPECT_EQ(SceneCatalog_FindById(ItemId{}), -1);
    EXPECT_EQ(SceneCatalog_GetAt(u32(items.size())), nullptr);
    SceneCatalog_Free();
  }
}

// Each refusal gives its code and leaves the list and the device as they were; emptying
// frees the pictures through the device unless the exit flag says it is gone.
TEST_F(SceneCatalogTest, RefusedPacksLeaveNothingBehind) {
  const std::string good = ItemPackInfo("Casa", "Cocina");
  struct Row {
    const char *name, *fondo, *frente;
    std::string info;
    u32 code;
  } rows[] = {{"rgb24", "rgb24", "", good, SL_E_MALFORMED},
              {"magick24", "magick24", "", good, SL_E_MALFORMED},
              {"narrow", "narrow", "", good, SL_E_MALFORMED},
              {"narrowFront", "rising", "narrow", good, SL_E_MALFORMED},
              {"badLine", "rising", "", "[General]\r\nClase\r\nNombre=x\r\n", SL_E_INI_BAD_TEXT},
              {"noName", "rising", "opaque", "[General]\r\nClase=Casa\r\n", SL_E_MALFORMED},
              {"emptyClass", "rising", "", "[General]\r\nClase=\r\nNombre=x\r\n", SL_E_MALFORMED},
              {"noFondo", "", "", good, SL_E_STORAGE_OPEN},
              {"badCrc", "rising", "", good, 0x8002001d},
              {"missing", "", "", "", SL_E_STORAGE_OPEN}};
  std::vector<ItemPackSpec> specs{{"kept", "opaque", "opaque", ItemPackInfo("Casa", "Patio")}};
  for (const Row& row : rows) specs.push_back({row.name, row.fondo, row.frente, row.info});
  ItemPackWriteAll(m_dir.Host(), specs);
  std::string pack = m_dir.Read("badCrc.DAT");
  pack[pack.size() / 2] ^= 0x40;  // a picture byte: the pack's CRC no longer matches
  m_dir.Write("badCrc.DAT", pack);
  std::remove(m_dir.Host("missing.DAT").c_str());
  ASSERT_TRUE(Load("kept"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SL_EXPECT_FAIL(Load(row.name), row.code);
    EXPECT_EQ(ListCount(), 1u);
    EXPECT_EQ(Pictures(), 2u);
  }
  for (u32 exitFlag : {1u, 0u}) {
    const size_t before = Pictures();
    SceneCatalog.exitFlag = exitFlag;
    SceneCatalog_Free();
    SceneCatalog.exitFlag = 0;
    EXPECT_EQ(before - Pictures(), exitFlag ? 0u : 2u);
    ASSERT_TRUE(Load("kept"));
  }
}

// A program that ends with the catalogue full: the list's exit clean-up runs after the
// devices are gone and must not reach them (this device aborts if it is).
class CGoneGfxDevice : public CMemoryGfxDevice {
 public:
  void FreeImageTextures(SL_GS_ImageRecord* image) override {
    if (m_gone) std::abort();
    CMemoryGfxDevice::FreeImageTextures(image);
  }
  bool m_gone = false;
};

TEST(SceneCatalogExit, Child) {
  SL_CHILD_ONLY();
  TempDir dir;
  ItemPackWriteAll(dir.Host(), {{"a", "rising", "opaque", ItemPackInfo("Casa", "A")}});
  auto* gfx = new CGoneGfxDevice();  // kept to the end of the process, as the global device is
  ASSERT_TRUE(gfx->Init(nullptr, nullptr, nullptr));
  AdventureDevices_Set(gfx, nullptr, nullptr);
  ASSERT_TRUE(SceneCatalog_LoadItem(dir.Win("a.DAT").c_str(), nullptr));
  gfx->m_gone = true;
  SL_CHILD_DONE();
}

TEST(SceneCatalogExit, ExitCleanUpLeavesTheDevicesAlone) { SL_EXPECT_CHILD_PASSES("SceneCatalogExit.Child", ""); }

}  // namespace
