#include <gtest/gtest.h>

#include <string>

#include "foundation/SLError.h"
#include "storage/SLPath.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Parts(const char* path, u32 mask) {
  char buffer[256];
  u32 count = SLGetPathPartsA(buffer, path, mask);
  EXPECT_EQ(count, std::string(buffer).size());
  EXPECT_EQ(SLGetPathPartsA(nullptr, path, mask), count);  // measuring gives the same count
  return buffer;
}

struct SplitCase {
  const char* path;
  const char* root;
  const char* directory;
  const char* name;
  const char* extension;
  const char* stream;
  u32 longPath, unc;
};

TEST(Path, SplitsIntoParts) {
  const SplitCase cases[] = {
      {"C:\\M\xC3\xBAsica\\pista.mp3", "C:", "\\M\xC3\xBAsica\\", "pista", ".mp3", "", 0, 0},
      {"\\\\servidor\\compartido\\a.txt", "\\\\servidor", "\\compartido\\", "a", ".txt", "", 0, 1},
      {"//servidor", "//servidor", "", "", "", "", 0, 1},
      {"\\\\?\\UNC\\srv\\x\\y.z", "\\\\?\\UNC\\srv", "\\x\\", "y", ".z", "", 1, 1},
      {"\\\\?\\unc/srv", "\\\\?\\unc/srv", "", "", "", "", 1, 1},
      {"archive.tar.gz", "", "", "archive.tar", ".gz", "", 0, 0},
      {".txt", "", "", "", ".txt", "", 0, 0},
      {"dir/file", "", "dir/", "file", "", "", 0, 0},
      {"a/b.c/d", "", "a/b.c/", "d", "", "", 0, 0},
      {"file.txt:stream", "", "", "file", ".txt", ":stream", 0, 0},
      {"C:", "C:", "", "", "", "", 0, 0},
      {"c:rel.txt", "c:", "", "rel", ".txt", "", 0, 0},
      {"name\x1F", "", "", "name\x1F", "", "", 0, 0},
      {"", "", "", "", "", "", 0, 0},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.path);
    SLPathParts parts;
    ASSERT_EQ(SLSplitPathA(c.path, &parts), 1u);
    EXPECT_EQ(SLGetLastError(), 0u);
    EXPECT_EQ(parts.longPath, c.longPath);
    EXPECT_EQ(parts.unc, c.unc);
    EXPECT_EQ(parts.rootStart, 0u);
    EXPECT_EQ(Parts(c.path, SL_PATH_ROOT), c.root);
    EXPECT_EQ(Parts(c.path, SL_PATH_DIRECTORY), c.directory);
    EXPECT_EQ(Parts(c.path, SL_PATH_NAME), c.name);
    EXPECT_EQ(Parts(c.path, SL_PATH_EXTENSION), c.extension);
    EXPECT_EQ(Parts(c.path, SL_PATH_STREAM), c.stream);
    EXPECT_EQ(Parts(c.path, 31), c.path);  // the parts cover the whole path
  }
}

TEST(Path, InvalidCharactersAreRefused) {
  const char* invalid[] = {"C:\\a<b\\c.txt", "1:\\x", "\x01\x02", "dir\\na\"me", "a>b", "d|ir/a?b",
                           "\\\\ser:ver\\x", "\\\\?\\C:\\x", "ab:c:d", "file:str.eam", "x.t<t", "dir\\a\tb"};
  for (const char* path : invalid) {
    SCOPED_TRACE(path);
    SLPathParts parts;
    parts.nameEnd = 77;
    u32 result = SLSplitPathA(path, &parts);
    if (std::string(path) == "d|ir/a?b") {
      EXPECT_EQ(result, 1u);  // '|' and '?' pass: only the listed characters are refused
      continue;
    }
    SL_EXPECT_FAIL(result, SL_E_BAD_CHARACTER);
    char buffer[8] = "junk";
    EXPECT_EQ(SLGetPathPartsA(buffer, path, 31), 0u);
    EXPECT_STREQ(buffer, "");
  }
  SLPathParts parts;
  SL_EXPECT_FAIL(SLSplitPathA(nullptr, &parts), SL_E_NULL_DATA);
  SL_EXPECT_FAIL(SLSplitPathA("a", nullptr), SL_E_INVALID_ARG);
  char buffer[4] = "x";
  SL_EXPECT_FAIL(SLGetPathPartsA(buffer, nullptr, 31), SL_E_NULL_DATA);
  EXPECT_STREQ(buffer, "");
}

TEST(Path, ConvertAndCollapseSeparators) {
  char path[32] = "a\\b/c\\";
  EXPECT_EQ(SLConvertSeparatorsA(path, 0), 1u);
  EXPECT_STREQ(path, "a/b/c/");
  EXPECT_EQ(SLConvertSeparatorsA(path, 7), 1u);
  EXPECT_STREQ(path, "a\\b\\c\\");

  SLWChar wide[32] = u"a///b\\\\c";
  EXPECT_EQ(SLCollapseSeparatorsW(wide), 1u);
  EXPECT_EQ(std::u16string(wide), u"a/b\\c");
  char mixed[32] = "a//\\b";
  SLCollapseSeparatorsA(mixed);
  EXPECT_STREQ(mixed, "a\\b");
  // Leading prefixes of network and long paths keep their meaning.
  char unc[32] = "\\\\server\\\\x";
  SLCollapseSeparatorsA(unc);
  EXPECT_STREQ(unc, "\\\\server\\x");
  char longPath[32] = "\\\\?\\C:\\\\x";
  SLCollapseSeparatorsA(longPath);
  EXPECT_STREQ(longPath, "\\\\?\\C:\\x");
  char trailing[8] = "a\\//";
  SLCollapseSeparatorsA(trailing);
  EXPECT_STREQ(trailing, "a/");
}

}  // namespace

TEST(Path, AppendSeparator) {
  char path[32] = "C:\\dir";
  EXPECT_EQ(SLAppendPathSeparatorA(path), 1u);
  EXPECT_STREQ(path, "C:\\dir\\");
  char done[32] = "C:/dir/";
  SL_EXPECT_FAIL(SLAppendPathSeparatorA(done), 0u);
  EXPECT_STREQ(done, "C:/dir/");
  char empty[4] = "";
  EXPECT_EQ(SLAppendPathSeparatorA(empty), 1u);
  EXPECT_STREQ(empty, "\\");
  SLWChar wide[8] = u"";
  EXPECT_EQ(SLAppendPathSeparatorW(wide), 1u);
  EXPECT_EQ(std::u16string(wide), u"\\");
  EXPECT_EQ(SLAppendPathSeparatorW(wide), 0u);
  SL_EXPECT_FAIL(SLAppendPathSeparatorA(nullptr), SL_E_NULL_DATA);
}
