// Background loading from real item packs: pictures from python, ImageMagick and our own
// Targa writer, identities and order checked against python, and every refusal leaving
// the list and the graphics device as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/SceneCatalog.h"
#include "foundation/SLThread.h"
#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderTGA.h"
#include "image/writers/SLImageWriterTGA.h"
#include "storage/SLFileStorage.h"
#include "storage/SLIniFile.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/ItemPacks.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/TempDir.h"

namespace {

std::string Hex(const ItemId& id) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (u8 b : id.bytes) out += digits[b >> 4], out += digits[b & 15];
  return out;
}

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
  void TearDown() override {
    SceneCatalog_Free();
    AdventureDevices_Set(nullptr, nullptr, nullptr);
  }
  void Write(const std::vector<ItemPackSpec>& specs) {
    std::string error;
    ASSERT_TRUE(ItemPackWriteAll(m_dir.Host(), specs, &error)) << error;
  }
  SceneRecord* Load(const std::string& name, CSLThread* thread = nullptr) {
    return SceneCatalog_LoadItem(m_dir.Win(name + ".DAT").c_str(), thread);
  }
  size_t LivePictures() const { return m_gfx.m_liveImageTextures.size(); }

  TempDir m_dir;
  CMemoryGfxDevice m_gfx;
};

TEST_F(SceneCatalogTest, StageMaskGivesDepthAndPictures) {
  struct Row {
    const char* fondo;
    const char* frente;
    i32 depthMin, depthMax;
    uint16_t version;
    uint32_t key;
  };
  const Row rows[] = {{"rising", "opaque", 10, 200, 2, 0},
                      {"clear", "", 255, 0, 3, 0},
                      {"opaque", "rising", 255, 255, 3, 0x5A17C3E9}};
  std::vector<ItemPackSpec> specs;
  for (const Row& row : rows) {
    const std::string name = std::string(row.fondo) + "_" + row.frente;
    specs.push_back({name, row.fondo, row.frente, ItemPackInfo("Calle", name), "cp1252", row.version, row.key});
  }
  Write(specs);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fondo);
    SceneRecord* record = Load(std::string(row.fondo) + "_" + row.frente);
    ASSERT_TRUE(record) << std::hex << SLGetLastError();
    EXPECT_EQ(record->depthMin, row.depthMin);
    EXPECT_EQ(record->depthMax, row.depthMax);
    const auto alphaAt = [&](int y) {
      return std::string(row.fondo) == "rising" ? ItemPackRisingAlpha(y) : std::string(row.fondo) == "opaque" ? 255 : 0;
    };
    for (auto [x, y] : {std::pair{663, 371}, {0, 0}, {300, 110}, {17, 250}})
      EXPECT_EQ(SceneRecord_MaskAlphaAt(record, x, y), alphaAt(y)) << x << "," << y;
    for (auto [x, y] : {std::pair{664, 0}, {0, 372}, {-1, 0}, {0, -1}})
      EXPECT_EQ(SceneRecord_MaskAlphaAt(record, x, y), -1) << x << "," << y;

    SL_GS_ImageInfo info{};
    ASSERT_TRUE(m_gfx.GetImageInfo(record->background, &info));
    EXPECT_EQ(info.bitsPerPixel, 24u);
    EXPECT_EQ(m_gfx.GetImagePixel(record->background, 200, 300) & 0xFFFFFF, (200u * 3 & 255) | (300u & 255) << 8 | 200u << 16);
    if (!*row.frente) {
      EXPECT_EQ(record->foreground, nullptr);
      continue;
    }
    ASSERT_NE(record->foreground, nullptr);
    const int frontAlpha = std::string(row.frente) == "opaque" ? 255 : ItemPackRisingAlpha(50);
    EXPECT_EQ(m_gfx.GetImagePixel(record->foreground, 40, 50) >> 24, u32(frontAlpha));
  }
  EXPECT_EQ(ListCount(), 3u);
  SceneCatalog_Free();
  EXPECT_EQ(LivePictures(), 0u);
}

// The same stage picture written by ImageMagick (bottom-up rows) and by our RLE writer
// loads with the same mask; ImageMagick's 24-bit one is refused.
TEST_F(SceneCatalogTest, PicturesFromOtherWritersLoadAlike) {
  Write({{"base", "rising", "", ItemPackInfo("Calle", "base")}});
  const std::string source = m_dir.Host("base/fondo.tga");
  struct Row {
    const char* name;
    std::string command;  // writes fondo.tga of the folder; empty: our RLE writer
    u32 code;
  };
  const Row rows[] = {
      {"magick32", "convert '" + source + "' -compress none -type TrueColorAlpha", SL_OK},
      {"magick24", "convert '" + source + "' -alpha off -type TrueColor", SL_E_CATALOG_BAD_ITEM},
      {"rle", "", SL_OK},
  };
  std::vector<ItemPackSpec> specs;
  for (const Row& row : rows) specs.push_back({row.name, "", "", ItemPackInfo("Calle", row.name)});
  std::string error;
  ASSERT_TRUE(ItemPackWriteAll(m_dir.Host(), specs, &error)) << error;
  for (const Row& row : rows) {
    const std::string target = m_dir.Host(std::string(row.name) + "/fondo.tga");
    if (!row.command.empty()) {
      SLTestCapture(row.command + " 'TGA:" + target + "'");
    } else {
      CSLFileStorage in, out;
      CSLImageArray images;
      CSLImageReaderTGA reader;
      CSLImageWriterTGA writer;
      writer.m_rle = 1;
      ASSERT_TRUE(in.OpenA(source.c_str(), 0) && reader.Read(&images, &in, 0));
      ASSERT_TRUE(out.CreateA(target.c_str(), 2) && writer.Write(&images, &out));
    }
    slpack::PackWriter writer(2, 0);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writer.AddFolder(m_dir.Host(row.name), &error) && writer.Build(&bytes, &error) &&
                slpack::WriteFile(m_dir.Host(std::string(row.name) + ".DAT"), bytes, &error))
        << error;
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SceneRecord* record = Load(row.name);
    EXPECT_EQ(SLGetLastError(), row.code);
    if (row.code != SL_OK) continue;
    ASSERT_TRUE(record);
    EXPECT_EQ(record->depthMin, 10);
    EXPECT_EQ(record->depthMax, 200);
    for (int y : {0, 110, 371}) EXPECT_EQ(SceneRecord_MaskAlphaAt(record, 5, y), ItemPackRisingAlpha(y));
  }
}

// Identities are python's SHA-1 over the bytes below 0x80 of name and class, whatever
// encoding "info.txt" was written in; a character outside the code page counts as "?".
TEST_F(SceneCatalogTest, IdentityMatchesPythonInEveryEncoding) {
  struct Row {
    const char* name;
    const char* itemClass;
    const char* codec;
    const char* expectedName;  // 8-bit, as the record keeps it
  };
  const Row rows[] = {
      {"Pájaro niño", "¿Dónde?", "cp1252", "P\xE1jaro ni\xF1o"},
      {"Pájaro niño", "¿Dónde?", "utf-8-sig", "P\xE1jaro ni\xF1o"},
      {"Pájaro niño", "¿Dónde?", "utf-16", "P\xE1jaro ni\xF1o"},
      {"À€", "Sala", "cp1252", "\xC0\x80"},
      {"Ωmega", "Sala", "utf-16", "?mega"},
  };
  std::string script = "import hashlib\n";
  std::vector<ItemPackSpec> specs;
  for (size_t i = 0; i < std::size(rows); ++i) {
    specs.push_back({"id" + std::to_string(i), "opaque", "", ItemPackInfo(rows[i].itemClass, rows[i].name), rows[i].codec});
    script += "t = (" + ItemPackPyText(rows[i].name) + " + " + ItemPackPyText(rows[i].itemClass) +
              ").encode('cp1252', 'replace')\nprint(hashlib.sha1(bytes(b for b in t if b < 0x80)).hexdigest())\n";
  }
  Write(specs);
  const std::string expected = SLTestRunPython(script);
  std::string got;
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].codec);
    SceneRecord* record = Load("id" + std::to_string(i));
    ASSERT_TRUE(record) << std::hex << SLGetLastError();
    EXPECT_STREQ(record->name.CStr(), rows[i].expectedName);
    got += Hex(record->id) + "\n";
    EXPECT_EQ(SceneCatalog_FindById(record->id), 0);
    SceneCatalog_Free();
  }
  EXPECT_EQ(got, expected);
}

// Order by class, then name, each upper-cased within Windows-1252 (python's key), in any
// order of insertion; duplicates by name or by identity leave the list as it was.
TEST_F(SceneCatalogTest, InsertionKeepsPythonOrderAndRefusesDuplicates) {
  const std::pair<const char*, const char*> items[] = {
      {"Silla", "mesa"},   {"silla", "Banco"}, {"Árbol", "roble"}, {"arbol", "pino"},
      {"Zoo", "ÿacaré"},   {"Zoo", "Ÿeti"},    {"_x", "a"},        {"Calle", "Ñu"},
      {"Calle", "nube"},   {"calle", "Oso"},   {"Ébano", "é"},     {"Pájaro", "Pjaro"},
  };
  std::vector<ItemPackSpec> specs;
  std::string script = "items = [";
  for (size_t i = 0; i < std::size(items); ++i) {
    specs.push_back({"p" + std::to_string(i), "clear", "", ItemPackInfo(items[i].first, items[i].second)});
    script += "(" + ItemPackPyText(items[i].first) + ", " + ItemPackPyText(items[i].second) + "),";
  }
  script += R"PY(]
def key(text):
    out = b''
    for c in text:
        u = c.upper()
        try:
            out += u.encode('cp1252') if len(u) == 1 else c.encode('cp1252')
        except UnicodeEncodeError:
            out += c.encode('cp1252')
    return out
for i in sorted(range(len(items)), key=lambda i: (key(items[i][0]), key(items[i][1]))): print(i)
)PY";
  specs.push_back({"dupClass", "clear", "", ItemPackInfo("silla", "MESA")});
  specs.push_back({"dupId", "clear", "", ItemPackInfo("Pájaro", "Pájaro")});
  Write(specs);
  const std::string expected = SLTestRunPython(script);

  for (u32 seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::vector<size_t> order(std::size(items));
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    std::vector<SceneRecord*> records(std::size(items));
    for (size_t i : order) ASSERT_TRUE(records[i] = Load("p" + std::to_string(i))) << std::hex << SLGetLastError();
    std::string got;
    for (u32 n = 0; SceneCatalog_GetAt(n); ++n)
      got += std::to_string(std::find(records.begin(), records.end(), SceneCatalog_GetAt(n)) - records.begin()) + "\n";
    EXPECT_EQ(got, expected);

    const size_t pictures = LivePictures();
    for (const char* name : {"dupClass", "dupId"}) {
      SL_EXPECT_FAIL(Load(name), SL_E_CATALOG_DUPLICATE);
      EXPECT_EQ(ListCount(), std::size(items));
      EXPECT_EQ(LivePictures(), pictures);
    }
    ItemId unknown{};
    EXPECT_EQ(SceneCatalog_FindById(unknown), -1);
    EXPECT_EQ(SceneCatalog_GetAt(u32(std::size(items))), nullptr);
    for (u32 n = 0; n < std::size(items); ++n) EXPECT_EQ(SceneCatalog_FindById(SceneCatalog_GetAt(n)->id), i32(n));
    SceneCatalog_Free();
    EXPECT_EQ(LivePictures(), 0u);
  }
}

// Each refusal gives its code and leaves the list and the device as they were.
TEST_F(SceneCatalogTest, RefusedPacksLeaveNothingBehind) {
  struct Row {
    const char* name;
    const char* fondo;
    const char* frente;
    std::string info;
    u32 code;
  };
  const std::string good = ItemPackInfo("Casa", "Cocina");
  const Row rows[] = {
      {"rgb24", "rgb24", "", good, SL_E_CATALOG_BAD_ITEM},
      {"narrow", "narrow", "", good, SL_E_CATALOG_BAD_ITEM},
      {"narrowFront", "rising", "narrow", good, SL_E_CATALOG_BAD_ITEM},
      {"badLine", "rising", "", "[General]\r\nClase\r\nNombre=x\r\n", SL_E_INI_BAD_TEXT},
      {"noName", "rising", "opaque", "[General]\r\nClase=Casa\r\n", SL_E_CATALOG_BAD_ITEM},
      {"emptyClass", "rising", "", "[General]\r\nClase=\r\nNombre=x\r\n", SL_E_CATALOG_BAD_ITEM},
      {"noGeneral", "rising", "", "[Otro]\r\nClase=Casa\r\nNombre=x\r\n", SL_E_CATALOG_BAD_ITEM},
      {"noFondo", "", "", good, SL_E_STORAGE_OPEN},
      {"badCrc", "rising", "", good, 0x8002001d},
  };
  std::vector<ItemPackSpec> specs{{"kept", "opaque", "opaque", ItemPackInfo("Casa", "Patio")}};
  for (const Row& row : rows) specs.push_back({row.name, row.fondo, row.frente, row.info});
  Write(specs);
  {  // one byte of the picture flipped: the version 2 CRC no longer matches
    std::string pack = m_dir.Read("badCrc.DAT");
    pack[pack.size() / 2] ^= 0x40;
    m_dir.Write("badCrc.DAT", pack);
  }
  ASSERT_TRUE(Load("kept"));
  const size_t pictures = LivePictures();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SL_EXPECT_FAIL(Load(row.name), row.code);
    EXPECT_EQ(ListCount(), 1u);
    EXPECT_EQ(LivePictures(), pictures);
  }
  SL_EXPECT_FAIL(Load("missing"), SL_E_STORAGE_OPEN);

  // A stop request is honoured once the pack has been read whole.
  struct Stop {
    std::string path;
    SceneRecord* record = reinterpret_cast<SceneRecord*>(1);
    u32 code = 0;
  } stop{m_dir.Win("late.DAT")};
  Write({{"late", "rising", "rising", ItemPackInfo("Casa", "Tarde")}});
  CSLWorkerThread worker(
      [](CSLWorkerThread* thread, std::uintptr_t parameter) -> u32 {
        auto* s = reinterpret_cast<Stop*>(parameter);
        while (!CatalogLoader_StopRequested(thread)) SLSleep(1);
        s->record = SceneCatalog_LoadItem(s->path.c_str(), thread);
        s->code = SLGetLastError();
        return 0;
      },
      reinterpret_cast<std::uintptr_t>(&stop));
  ASSERT_TRUE(worker.Start());
  ASSERT_TRUE(worker.Stop(0xFFFFFFFF));
  EXPECT_EQ(stop.record, nullptr);
  EXPECT_EQ(stop.code, u32(SL_E_CANCELLED));
  EXPECT_EQ(ListCount(), 1u);
  EXPECT_EQ(LivePictures(), pictures);
}

// Emptying destroys the pictures through the device, unless the list's exit flag says
// the device is gone.
TEST_F(SceneCatalogTest, EmptyingHonoursTheExitFlag) {
  Write({{"a", "rising", "opaque", ItemPackInfo("Casa", "A")}, {"b", "clear", "", ItemPackInfo("Casa", "B")}});
  for (u32 exitFlag : {0u, 1u}) {
    ASSERT_TRUE(Load("a") && Load("b"));
    EXPECT_EQ(LivePictures(), 3u);
    SceneCatalog.exitFlag = exitFlag;
    SceneCatalog_Free();
    SceneCatalog.exitFlag = 0;
    EXPECT_EQ(ListCount(), 0u);
    EXPECT_EQ(LivePictures(), exitFlag ? 3u : 0u);
  }
}

// A program that ends with the catalogue still full: the list's exit clean-up runs after
// the devices are gone and must not reach them (the device below aborts if it is).
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
  std::string error;
  ASSERT_TRUE(ItemPackWriteAll(dir.Host(), {{"a", "rising", "opaque", ItemPackInfo("Casa", "A")},
                                            {"b", "clear", "", ItemPackInfo("Casa", "B")}}, &error))
      << error;
  auto* gfx = new CGoneGfxDevice();  // left to the end of the process, as a global device is
  ASSERT_TRUE(gfx->Init(nullptr, nullptr, nullptr));
  AdventureDevices_Set(gfx, nullptr, nullptr);
  ASSERT_TRUE(SceneCatalog_LoadItem(dir.Win("a.DAT").c_str(), nullptr));
  ASSERT_TRUE(SceneCatalog_LoadItem(dir.Win("b.DAT").c_str(), nullptr));
  gfx->m_gone = true;
  SL_CHILD_DONE();
}

TEST(SceneCatalogExit, ExitCleanUpLeavesTheDevicesAlone) { SL_EXPECT_CHILD_PASSES("SceneCatalogExit.Child", ""); }

}  // namespace
