// What the layers above rely on from the storage: INI getters that answer with their
// codes, and ZIP members found whatever the letter case of their names.
#include <gtest/gtest.h>

#include <string>

#include "storage/SLFileStorage.h"
#include "storage/SLIniFile.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(StorageContract, IniGettersAnswerWithTheirCodes) {
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

TEST(StorageContract, ZipMembersOpenWhateverTheLetterCase) {
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
