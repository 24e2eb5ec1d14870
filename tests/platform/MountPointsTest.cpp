// Mount points in listings: directories where a pseudo, network or removable file system
// is mounted show as reparse points (mounted folders), so tree walks stop there; and the
// test switches that move drive C: and replace the mounts table.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "platform/kernel32/File.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/TempDir.h"

namespace {

constexpr DWORD kMountPointTag = 0xA0000003;

// Name -> (attributes, reparse tag) of every entry of a directory listing.
std::map<std::string, std::pair<DWORD, DWORD>> List(const std::string& pattern) {
  std::map<std::string, std::pair<DWORD, DWORD>> entries;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do entries[data.cFileName] = {data.dwFileAttributes, data.dwReserved0};
  while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

class MountPoints : public ::testing::Test {
 protected:
  void TearDown() override {
    SLPlatformSetMountsTable(nullptr);
    SLPlatformSetDriveRoot(nullptr);
  }
  TempDir dir;
};

TEST_F(MountPoints, ForeignFileSystemsShowAsMountedFolders) {
  for (const char* name : {"proc", "run", "red", "con espacio", "disco", "usb"})
    ASSERT_EQ(mkdir(dir.Host(name).c_str(), 0777), 0);
  const std::string d = dir.Host();
  const std::string table = "/dev/root / ext4 rw 0 0\n"
                            "proc " + d + "/proc proc rw 0 0\n"
                            "tmpfs " + d + "/run/ tmpfs rw 0 0\n"
                            "server:/share " + d + "/red nfs4 rw 0 0\n"
                            "tmpfs " + d + "/con\\040espacio tmpfs rw 0 0\n"
                            "/dev/sda2 " + d + "/disco ext4 rw 0 0\n"
                            "broken line\n";
  SLPlatformSetMountsTable(table.c_str());
  SLPlatformSetDriveRoot(d.c_str());
  const auto entries = List("C:\\*");
  const struct {
    const char* name;
    bool mounted;
  } cases[] = {{"proc", true}, {"run", true}, {"red", true}, {"con espacio", true}, {"disco", false}, {"usb", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(entries.count(c.name));
    const auto [attributes, tag] = entries.at(c.name);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, c.mounted);
    EXPECT_EQ(tag, c.mounted ? kMountPointTag : 0u);
  }
  // "." of a mount point's own listing is not marked: a walk that starts there goes in.
  const auto inside = List("C:\\proc\\*");
  ASSERT_TRUE(inside.count("."));
  EXPECT_FALSE(inside.at(".").first & FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST_F(MountPoints, DriveLettersStandForTheTestTreeUntilReset) {
  dir.Write("uno.txt", "1");
  SLPlatformSetDriveRoot(dir.Host().c_str());
  EXPECT_NE(GetFileAttributesA("C:\\uno.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("c:/UNO.TXT"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetDriveTypeA("C:\\"), 3u);
  EXPECT_EQ(GetDriveTypeA("D:\\"), 1u);
  SLPlatformSetDriveRoot(nullptr);
  EXPECT_EQ(GetFileAttributesA("C:\\uno.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(("C:" + dir.Win("uno.txt")).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MountPoints, TheRealTableMarksProcButNeverTheRoot) {
  struct stat info;
  if (stat("/proc/self", &info) != 0) GTEST_SKIP() << "no /proc here";
  const auto entries = List("C:\\*");
  ASSERT_TRUE(entries.count("proc"));
  EXPECT_TRUE(entries.at("proc").first & FILE_ATTRIBUTE_REPARSE_POINT);
  if (entries.count("usr")) {
    EXPECT_FALSE(entries.at("usr").first & FILE_ATTRIBUTE_REPARSE_POINT);
  }
}

}  // namespace
