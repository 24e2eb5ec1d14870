// The file finder: order of reports, recursion, links, stopping.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/SLSync.h"
#include "storage/SLFileFinder.h"
#include "storage/SLFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

struct Collected {
  std::mutex lock;
  std::vector<std::string> paths;
  std::vector<u32> errors;
  std::atomic<int> calls{0};
  std::atomic<int> finished{0};
};

void Collect(const char* path, void* user, u32 error) {
  auto* c = static_cast<Collected*>(user);
  std::lock_guard<std::mutex> guard(c->lock);
  if (path)
    c->paths.push_back(path);
  else
    c->errors.push_back(error);
  ++c->calls;
}

struct Outcome {
  std::vector<std::string> paths;
  std::vector<u32> errors;
};

// Runs a search to its end.
Outcome Search(const std::string& directory, const char* pattern, bool recursive) {
  Collected result;
  CSLFileFinder finder;
  EXPECT_TRUE(finder.Start(&Collect, &result, directory.c_str(), pattern, recursive));
  while (finder.IsRunning()) SLSleep(1);
  return Outcome{result.paths, result.errors};
}

TEST(FileFinder, ReportsFilesOfADirectoryBeforeDescending) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Host("sub").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(dir.Host("sub/deeper").c_str(), 0777), 0);
  dir.Write("x.mp3", "");
  dir.Write("z.txt", "");
  dir.Write("sub/y.MP3", "");
  dir.Write("sub/deeper/w.Mp3", "");
  ASSERT_EQ(mkdir(dir.Host("folder.mp3").c_str(), 0777), 0);  // directories are never reported
  std::string root = dir.Win();
  Outcome all = Search(dir.Host(), "*.mp3", true);  // "/" separators are accepted
  EXPECT_EQ(all.paths, (std::vector<std::string>{root + "\\x.mp3", root + "\\sub\\y.MP3", root + "\\sub\\deeper\\w.Mp3"}));
  EXPECT_TRUE(all.errors.empty());
  Outcome flat = Search(root + "\\", "*.mp3", false);
  EXPECT_EQ(flat.paths, (std::vector<std::string>{root + "\\x.mp3"}));
  Outcome everything = Search(root, nullptr, false);
  EXPECT_EQ(everything.paths, (std::vector<std::string>{root + "\\x.mp3", root + "\\z.txt"}));
}

// The finder matches the names of one listing of the whole directory itself; it reports
// the files that a storage search with the pattern lists, for every kind of pattern.
TEST(FileFinder, MatchesAsAListingWithThePattern) {
  TempDir dir;
  for (const char* name : {"a.txt", "B.TXT", "noext", "x.y.z", "\xC3\xA9t\xC3\xA9.mp3", "\xC3\x89" "2.MP3", "ab", ".oculto"})
    dir.Write(name, "");
  ASSERT_EQ(mkdir(dir.Host("dir.txt").c_str(), 0777), 0);
  for (const char* pattern : {"*", "*.*", "*.txt", "*.TXT", "a*", "*b*", "?.txt", "??", "*.?", "\xE9*", "*.mp3", "x.*.z", "a**?*"}) {
    std::vector<std::string> listed;
    CSLFileStorage listing;
    for (auto* r = listing.FindFirstA((dir.Win() + "\\" + pattern).c_str()); r; r = listing.FindNextA())
      if (!(r->flags & SL_FIND_DIRECTORY)) listed.push_back(dir.Win() + "\\" + r->nameA);
    EXPECT_EQ(Search(dir.Win(), pattern, false).paths, listed) << pattern;
    EXPECT_EQ(Search(dir.Win(), pattern, true).paths, listed) << pattern;
  }
}

TEST(FileFinder, EndsOnALinkLoop) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Host("a").c_str(), 0777), 0);
  dir.Write("a/song.mp3", "");
  ASSERT_EQ(symlink(dir.Host().c_str(), dir.Host("a/up").c_str()), 0);
  ASSERT_EQ(symlink(dir.Host("a").c_str(), dir.Host("again").c_str()), 0);
  Outcome c = Search(dir.Host(), "*.mp3", true);
  EXPECT_EQ(c.paths, (std::vector<std::string>{dir.Win("a\\song.mp3")}));
}

TEST(FileFinder, PassesOverADirectoryItCannotList) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.Host().c_str(), 0755), 0);
  for (const char* name : {"a", "b", "c"}) ASSERT_EQ(mkdir(dir.Host(name).c_str(), 0755), 0);
  dir.Write("a/uno.mp3", "");
  dir.Write("b/dos.mp3", "");
  dir.Write("c/tres.mp3", "");
  ASSERT_EQ(chmod(dir.Host("b").c_str(), 0), 0);
  // Root may list anything: the walk runs in a child that has become an ordinary user.
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
    Outcome c = Search(dir.Host(), "*.mp3", true);
    const bool right = c.errors.empty() &&
                       c.paths == std::vector<std::string>{dir.Win("a\\uno.mp3"), dir.Win("c\\tres.mp3")};
    _exit(right ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(chmod(dir.Host("b").c_str(), 0755), 0);
}

void SlowCollect(const char* path, void* user, u32 error) {
  Collect(path, user, error);
  SLSleep(2);
}

TEST(FileFinder, NoCallbackOnceDestroyed) {
  TempDir dir;
  for (int d = 0; d < 20; ++d) {
    std::string sub = "d" + std::to_string(d);
    ASSERT_EQ(mkdir(dir.Host(sub).c_str(), 0777), 0);
    for (int f = 0; f < 20; ++f) dir.Write(sub + "/f" + std::to_string(f) + ".mp3", "");
  }
  Collected c;
  {
    CSLFileFinder finder;
    ASSERT_TRUE(finder.Start(&SlowCollect, &c, dir.Host().c_str(), "*.mp3", true));
    while (c.calls.load() < 3) SLSleep(1);
  }
  int atDestruction = c.calls.load();
  SLSleep(50);
  EXPECT_EQ(c.calls.load(), atDestruction);
  EXPECT_LT(atDestruction, 400);
  EXPECT_TRUE(c.errors.empty());
}

TEST(FileFinder, FileExists) {
  TempDir dir;
  dir.Write("here.txt", "x");
  EXPECT_TRUE(SLFileExists(dir.Win("HERE.txt").c_str()));
  SL_EXPECT_FAIL(SLFileExists(dir.Win("gone.txt").c_str()), SL_E_STORAGE_OPEN);
  EXPECT_FALSE(SLFileExists(dir.Host().c_str()));  // a directory is not a file
}

}  // namespace
