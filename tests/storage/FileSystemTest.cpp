// Directory operations and searches of the file storage on a temporary tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "storage/SLFileSystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<std::string> ListA(CSLFileStorage& storage, const std::string& pattern) {
  std::vector<std::string> names;
  for (SLStorageFindRecord* r = storage.FindFirstA(pattern.c_str()); r; r = storage.FindNextA())
    names.push_back(std::string(r->nameA) + ((r->flags & SL_FIND_DIRECTORY) ? "/" : ""));
  return names;
}

bool Exists(const std::string& host) {
  struct stat info;
  return lstat(host.c_str(), &info) == 0;
}

TEST(FileSearch, PatternsMatchNamesWithoutRegardToCase) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Host("Sub").c_str(), 0777), 0);
  dir.Write("NOTES.TXT", "12345");
  dir.Write("a.txt", "");
  dir.Write("a.txt.bak", "");
  dir.Write("Sub/inner.txt", "");
  CSLFileStorage storage;
  EXPECT_EQ(ListA(storage, dir.Win("*.txt")), (std::vector<std::string>{"a.txt", "NOTES.TXT"}));
  EXPECT_EQ(SLGetLastError(), SL_E_NO_MORE);
  // "." never, ".." like any other directory that matches.
  EXPECT_EQ(ListA(storage, dir.Win("*")), (std::vector<std::string>{"../", "a.txt", "a.txt.bak", "NOTES.TXT", "Sub/"}));
  EXPECT_EQ(ListA(storage, dir.Win("sub/*")), (std::vector<std::string>{"../", "inner.txt"}));
  SLStorageFindRecord* record = storage.FindFirstA(dir.Win("notes.txt").c_str());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->size, 5u);
  EXPECT_EQ(record->storedSize, 5u);
  EXPECT_EQ(record->flags, SL_FIND_FILE);
  EXPECT_EQ(record->reserved, 0u);
  EXPECT_NE(record->time.GetTicks(), 0u);
  SL_EXPECT_FAIL(storage.FindNextA(), SL_E_NO_MORE);
  SL_EXPECT_FAIL(storage.FindNextA(), SL_E_STORAGE_NO_SEARCH);

  // Wildcards belong in the last component only.
  SL_EXPECT_FAIL(storage.FindFirstA(dir.Win("S*\\*.txt").c_str()), SL_E_INVALID_ARG);
  EXPECT_FALSE(SLIsValidFindPatternA(""));
  EXPECT_FALSE(SLIsValidFindPatternW(u"a?/b"));
  EXPECT_TRUE(SLIsValidFindPatternW(u"a/b/*.?"));
  SL_EXPECT_FAIL(storage.FindFirstA(dir.Win("*.none").c_str()), SL_E_NO_MORE);
  SL_EXPECT_FAIL(storage.FindFirstA(dir.Win("missing\\*").c_str()), SL_E_NO_MORE);
}

// Creation and removal codes; a removal takes only what it is asked to.
TEST(FileDirectories, CreateAndRemoveCodes) {
  TempDir dir;
  CSLFileStorage storage;
  EXPECT_TRUE(storage.CreateDirectoryA(dir.Win("new").c_str()));
  SL_EXPECT_FAIL(storage.CreateDirectoryA(dir.Win("NEW").c_str()), SL_E_ALREADY_EXISTS);
  SL_EXPECT_FAIL(storage.CreateDirectoryA(dir.Win("missing\\child").c_str()), SL_E_STORAGE_CREATE_DIRECTORY);
  dir.Write("new/file", "x");
  SL_EXPECT_FAIL(storage.RemoveDirectoryA(dir.Win("new").c_str(), false, false), SL_E_STORAGE_REMOVE_DIRECTORY);
  EXPECT_TRUE(Exists(dir.Host("new/file")));
  // A missing directory whose parent exists is already removed.
  SL_EXPECT_OK(storage.RemoveDirectoryA(dir.Win("absent").c_str(), true, true));
  // A path without a directory part is taken from the current directory.
  std::string name = "created-by-test-" + std::to_string(getpid());
  std::u16string relative(name.begin(), name.end());
  EXPECT_TRUE(storage.CreateDirectoryW(relative.c_str()));
  EXPECT_TRUE(Exists(name));
  EXPECT_TRUE(storage.RemoveDirectoryW(relative.c_str(), false, false));
  EXPECT_FALSE(Exists(name));
}

TEST(FileDirectories, RecursiveRemovalRemovesLinksNotTheirTargets) {
  TempDir dir;
  for (const char* d : {"tree", "tree/sub", "tree/sub/deeper", "outside"}) ASSERT_EQ(mkdir(dir.Host(d).c_str(), 0777), 0);
  dir.Write("outside/precious.txt", "keep me");
  dir.Write("tree/a.txt", "a");
  dir.Write("tree/sub/b.txt", "b");
  dir.Write("tree/sub/deeper/c.txt", "c");
  for (const char* f : {"tree/a.txt", "tree/sub/b.txt", "tree/sub/deeper/c.txt"})
    ASSERT_EQ(chmod(dir.Host(f).c_str(), 0444), 0);
  // Links inside the tree: to a directory outside it, to a file outside it, and to an
  // ancestor. Following any of them would delete what is not the tree's.
  ASSERT_EQ(symlink(dir.Host("outside").c_str(), dir.Host("tree/sub/to-outside").c_str()), 0);
  ASSERT_EQ(symlink(dir.Host("outside/precious.txt").c_str(), dir.Host("tree/file-link").c_str()), 0);
  ASSERT_EQ(symlink(dir.Host("tree").c_str(), dir.Host("tree/sub/deeper/loop").c_str()), 0);

  CSLFileStorage storage;
  EXPECT_TRUE(storage.RemoveDirectoryA(dir.Win("Tree").c_str(), true, true)) << std::hex << SLGetLastError();
  EXPECT_FALSE(Exists(dir.Host("tree")));
  EXPECT_EQ(dir.Read("outside/precious.txt"), "keep me");
}

}  // namespace
