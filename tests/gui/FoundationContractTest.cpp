// What the GUI and the layers above rely on from the foundation and storage, checked on
// the code that runs under them: references that outlive a registry, codes kept across a
// release, array growth, tokens, INI answers and case-blind ZIP member names.
#include <gtest/gtest.h>

#include <string>

#include "foundation/SLArray.h"
#include "foundation/SLString.h"
#include "gui/SLGuiManager.h"
#include "storage/SLFileStorage.h"
#include "storage/SLIniFile.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

// An object whose destruction overwrites the thread's error code.
class CNoisyObject : public CSLObject {
 public:
  ~CNoisyObject() override { SLSetLastError(0x8000DEAD); }
};

TEST(FoundationContract, ReferencesOutliveTheRegistryAndReleaseKeepsTheCode) {
  SLTestRegisterClasses();
  CSL_GS_GuiManager manager;
  ASSERT_TRUE(manager.Init());
  CSL_GS_GuiWindow* window =
      manager.CreateWindow(CSL_GS_GuiWindow::GetClassRecord(), "Hola", 0, 0, 10, 10, 0, 0, 0, nullptr);
  TSLObjPtr<CSL_GS_GuiWindow> hold(window);
  ASSERT_TRUE(manager.DestroyWindow(window));
  EXPECT_EQ(window->GetRefCount(), 1);  // ours alone: the manager let go
  EXPECT_STREQ(window->GetText(), "");
  SL_EXPECT_FAIL(window->Move(1, 1), SL_E_NOT_INITIALISED);
  TSLObjPtr<CNoisyObject> noisy;
  noisy.Attach(new CNoisyObject);
  SLSetLastError(0x80001234);
  noisy.Reset(nullptr);
  EXPECT_EQ(SLGetLastError(), 0x80001234u);
}

TEST(FoundationContract, SixteenByteArraysAppendAtMinusOneAndGrowBy32) {
  SLArrayHeader header;
  for (u32 i = 0; i < 33; ++i) {
    const u32 element[4] = {i, i, i, i};
    ASSERT_TRUE(SLArray16InsertAt(&header, element, u32(-1)));
  }
  EXPECT_EQ(header.count, 33u);
  EXPECT_EQ(header.capacity, 64u);
  EXPECT_EQ(static_cast<u32*>(header.data)[32 * 4], 32u);
  SL_EXPECT_FAIL(SLArray16RemoveAt(&header, 33, 1), SL_E_INDEX);
  SL_EXPECT_FAIL(SLArray16RemoveAt(&header, 0, 0), SL_E_INDEX);
  SL_EXPECT_OK(SLArray16RemoveAt(&header, 30, 100));  // the count is cut at the end
  EXPECT_EQ(header.count, 30u);
  SLArrayFreeAll(&header);
  EXPECT_EQ(header.capacity, 0u);
}

TEST(FoundationContract, TokensSplitOutsideQuotes) {
  const struct {
    const char* text;
    u32 index, size;
    const char *separators, *blanks;
    bool keepInner;
    const char* expected;
    u32 code;
  } cases[] = {
      {"a; \"b;c\" ;d", 2, 64, ";", " \t", false, "b;c", 0},
      {"uno, dos tres ,x", 2, 64, ",", " \t", true, "dos tres", 0},
      {"'a,b',c", 1, 64, ",", nullptr, false, "a,b", 0},
      {"a,b", 5, 64, ",", nullptr, false, "", 0},
      {"a,b", 0, 64, ",", nullptr, false, nullptr, SL_E_INDEX},
      {"a,b", 1, 64, nullptr, nullptr, false, nullptr, SL_E_INVALID_ARG},
  };
  for (const auto& c : cases) {
    char token[64] = "junk";
    const char* result = SLGetTokenA(token, c.size, c.text, c.index, c.separators, "\"'", c.blanks, c.keepInner);
    EXPECT_EQ(SLGetLastError(), c.code) << (c.text ? c.text : "null") << " #" << c.index;
    EXPECT_STREQ(result, c.expected) << (c.text ? c.text : "null") << " #" << c.index;
  }
}

TEST(FoundationContract, IniGettersAnswerWithTheirCodes) {
  std::string text = "[Desktop]\r\nIconFont = Letra.fnt\r\nNormalCaptionColor=255,255,255\r\n[Vacia]\r\n";
  CSLMemoryStorage storage;
  ASSERT_TRUE(storage.AttachBuffer(text.data(), u32(text.size()), false));
  CSLIniFile ini;
  ASSERT_TRUE(ini.Load(&storage));
  const struct {
    const char *section, *key;
    u32 size;
    const char* expected;
    u32 code;
  } cases[] = {
      {"Desktop", "IconFont", 512, "Letra.fnt", 0},
      {"desktop", "iconfont", 6, "Letra", 0},
      {"", "IconFont", 512, "", 0x8003000c},
      {"Desktop", "", 512, "", 0x8003000e},
      {"Nada", "IconFont", 512, "", 0x8003000d},
      {"Desktop", "Nada", 512, "", 0x8003000f},
  };
  for (const auto& c : cases) {
    char value[512] = "junk";
    u32 size = c.size;
    ini.GetStringA(c.section, c.key, value, &size, "");
    EXPECT_EQ(SLGetLastError(), c.code) << c.section << "/" << c.key;
    EXPECT_STREQ(value, c.expected) << c.section << "/" << c.key;
  }
  u32 size = 100;
  SL_EXPECT_OK(ini.GetStringA("Desktop", "NormalCaptionColor", nullptr, &size, ""));  // asks the length
  EXPECT_EQ(size, 11u);
  char value[8];
  SL_EXPECT_FAIL(ini.GetStringA("Desktop", "IconFont", value, nullptr, ""), SL_E_OUTPUT_SIZE_ZERO);
  size = sizeof value;
  SL_EXPECT_OK(ini.GetKeyNameBufA("Desktop", 1, value, &size));
  EXPECT_STREQ(value, "NormalC");
  size = sizeof value;
  SL_EXPECT_FAIL(ini.GetKeyNameBufA("Desktop", 2, value, &size), SL_E_INDEX);
  SL_EXPECT_FAIL(ini.GetKeyNameBufA("", 0, value, &size), SL_E_INVALID_ARG);
}

TEST(FoundationContract, ZipMembersOpenWhateverTheLetterCase) {
  const TempDir dir;
  SLTestRunPython("import zipfile\nwith zipfile.ZipFile('" + dir.Host("skin.zip") +
                  "', 'w') as z:\n  z.writestr('defskin.gif', b'GIF89a')\n  z.writestr('Layout.INF', b'[x]')\n");
  CSLFileStorage file;
  ASSERT_TRUE(file.OpenA(dir.Host("skin.zip").c_str(), 0));
  CSLZipFileStorage zip;
  ASSERT_TRUE(zip.AttachContainer(&file));
  for (const char* name : {"DefSkin.GIF", "LAYOUT.inf"}) {
    SL_EXPECT_OK(zip.OpenA(name, 0)) << name;
    zip.Close();
  }
  EXPECT_FALSE(zip.OpenA("defskin.gi", 0));
}

}  // namespace
