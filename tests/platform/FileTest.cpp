// The file entry points of the kernel32 stand-in: Windows paths, sharing, errors,
// searches, links and mappings, on a temporary directory.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/kernel32/File.h"
#include "tests/support/TempDir.h"

namespace {

class FileTest : public ::testing::Test {
 protected:
  std::string Host(const std::string& relative) const { return dir.Host(relative); }
  // The same place as a Windows path: drive letter, backslashes.
  std::string Win(const std::string& relative) const { return "C:" + dir.Win(relative); }
  void Write(const std::string& relative, const std::string& content) const { dir.Write(relative, content); }
  std::string ReadAll(HANDLE file) const {
    std::string content;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) content.append(buffer, got);
    return content;
  }
  HANDLE Open(const std::string& winPath, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) const {
    return CreateFileA(winPath.c_str(), access, share, nullptr, disposition, 0, nullptr);
  }
  TempDir dir;
  const std::string root = dir.Host();
};

TEST_F(FileTest, WindowsPathsReachTheRightFiles) {
  ASSERT_EQ(mkdir(Host("Gfx").c_str(), 0777), 0);
  Write("Gfx/Gfx.DAT", "pack");
  // Backslashes, a drive letter, other letter case, the long-path prefix.
  for (std::string path : {Win("Gfx\\Gfx.DAT"), Win("gfx\\GFX.dat"), "\\\\?\\" + Win("GFX/gfx.Dat")}) {
    HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(ReadAll(file), "pack");
    SLHandleClose(file);
  }
  // 8-bit names are Windows-1252: "í" is 0xED, "ñ" 0xF1; on disk they are UTF-8.
  ASSERT_EQ(mkdir(Host("Canci\xC3\xB3n").c_str(), 0777), 0);
  std::string cp1252 = Win("canci\xF3n\\a\xF1o \xED.txt");
  HANDLE created = Open(cp1252, GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(created, "x", 1, &put, nullptr));
  SLHandleClose(created);
  struct stat info;
  EXPECT_EQ(stat(Host("Canci\xC3\xB3n/a\xC3\xB1o \xC3\xAD.txt").c_str(), &info), 0);
  // The wide form reaches the same file, in capitals.
  std::u16string wide = u"C:" + std::u16string(root.begin(), root.end()) + u"\\CANCI\u00D3N\\A\u00D1O \u00CD.TXT";
  HANDLE again = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(again), "x");
  SLHandleClose(again);
}

TEST_F(FileTest, ErrorNumbers) {
  ASSERT_EQ(mkdir(Host("dir").c_str(), 0777), 0);
  Write("dir/file", "1");
  EXPECT_EQ(Open(Win("missing.txt"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(Win("nodir\\missing.txt"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_PATH_NOT_FOUND);
  // A directory is not a file, even to create.
  EXPECT_EQ(Open(Win("dir"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open(Win("dir"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CreateDirectoryA(Win("DIR").c_str(), nullptr));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA(Win("a\\b").c_str(), nullptr));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectoryA(Win("dir").c_str()));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  // A read-only file is deleted only after its attribute is cleared.
  ASSERT_TRUE(SetFileAttributesA(Win("dir\\file").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA(Win("dir\\file").c_str()), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFileA(Win("dir\\file").c_str()));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributesA(Win("dir\\file").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA(Win("dir\\file").c_str()));
  EXPECT_EQ(GetFileAttributesA(Win("dir\\file").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA(Win("dir").c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FileTest, SharingIsEmulatedWithinTheProcess) {
  Write("shared.bin", "content");
  std::string path = Win("shared.bin");
  HANDLE exclusive = Open(path, GENERIC_READ, 0);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SHARING_VIOLATION);
  // A refused create must not have truncated the file.
  EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SHARING_VIOLATION);
  SLHandleClose(exclusive);

  HANDLE reader1 = Open(path, GENERIC_READ, FILE_SHARE_READ);
  HANDLE reader2 = Open(path, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader1, INVALID_HANDLE_VALUE);
  ASSERT_NE(reader2, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(reader2), "content");
  EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_SHARING_VIOLATION);
  SLHandleClose(reader1);
  SLHandleClose(reader2);
  HANDLE writer = Open(path, GENERIC_WRITE, 0);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  SLHandleClose(writer);
}

TEST_F(FileTest, PositionsSizesAndDeleteOnClose) {
  HANDLE file = CreateFileA(Win("temp.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(file, "0123456789", 10, &put, nullptr));
  LARGE_INTEGER distance, position;
  distance.QuadPart = -4;
  ASSERT_TRUE(SetFilePointerEx(file, distance, &position, FILE_END));
  EXPECT_EQ(position.QuadPart, 6);
  distance.QuadPart = -7;
  EXPECT_FALSE(SetFilePointerEx(file, distance, &position, FILE_CURRENT));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_NEGATIVE_SEEK);
  ASSERT_TRUE(SetEndOfFile(file));
  DWORD high = 1;
  EXPECT_EQ(GetFileSize(file, &high), 6u);
  EXPECT_EQ(high, 0u);
  // Reading at the end succeeds with no bytes.
  char buffer[4];
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(file, buffer, 4, &got, nullptr));
  EXPECT_EQ(got, 0u);
  FILETIME created{};
  ASSERT_TRUE(GetFileTime(file, &created, nullptr, nullptr));
  std::int64_t ticks = std::int64_t((std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime);
  std::int64_t now = std::int64_t(time(nullptr)) * 10000000LL + 116444736000000000LL;
  EXPECT_LT(std::llabs(now - ticks), 600000000LL);  // within a minute
  SLHandleClose(file);
  struct stat info;
  EXPECT_NE(stat(Host("temp.bin").c_str(), &info), 0);
}

TEST_F(FileTest, LocksConflictBetweenHandles) {
  Write("locked.bin", std::string(100, 'x'));
  HANDLE a = Open(Win("locked.bin"), GENERIC_READ, FILE_SHARE_READ);
  HANDLE b = Open(Win("locked.bin"), GENERIC_READ, FILE_SHARE_READ);
  OVERLAPPED at{};
  at.Offset = 10;
  ASSERT_TRUE(LockFileEx(a, LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, 20, 0, &at));
  EXPECT_FALSE(LockFileEx(b, LOCKFILE_FAIL_IMMEDIATELY, 0, 5, 0, &at));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_LOCK_VIOLATION);
  at.Offset = 30;
  EXPECT_TRUE(LockFileEx(b, LOCKFILE_FAIL_IMMEDIATELY, 0, 5, 0, &at));
  EXPECT_FALSE(UnlockFile(a, 10, 0, 5, 0));  // not the range that was locked
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_NOT_LOCKED);
  EXPECT_TRUE(UnlockFile(a, 10, 0, 20, 0));
  EXPECT_TRUE(LockFile(b, 0, 0, 30, 0));
  SLHandleClose(b);  // closing drops its locks
  EXPECT_TRUE(LockFile(a, 0, 0, 100, 0));
  SLHandleClose(a);
}

TEST_F(FileTest, ListingsConvertNamesAndShowLinks) {
  ASSERT_EQ(mkdir(Host("list").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(Host("target").c_str(), 0777), 0);
  Write("target/keep.txt", "k");
  Write("list/b.TXT", "bb");
  Write("list/a\xC3\xB1o.txt", "a");          // "año": has a Windows-1252 form
  Write("list/\xE6\x97\xA5.txt", "j");        // a CJK letter: only a wide form
  Write("list/back\\slash.txt", "s");         // cannot be named in Windows
  ASSERT_EQ(symlink(Host("target").c_str(), Host("list/link").c_str()), 0);

  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(Win("LIST\\*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::vector<std::string> names;
  do {
    names.push_back(data.cFileName);
    if (names.back() == "link") {
      EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    }
    if (names.back() == "b.TXT") {
      EXPECT_EQ(data.nFileSizeLow, 2u);
    }
  } while (FindNextFileA(find, &data));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(find));
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a\xF1o.txt", "b.TXT", "link"}));

  WIN32_FIND_DATAW wide;
  find = FindFirstFileW((u"C:" + std::u16string(root.begin(), root.end()) + u"/list/*.txt").c_str(), &wide);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::vector<std::u16string> wideNames;
  do wideNames.push_back(wide.cFileName);
  while (FindNextFileW(find, &wide));
  FindClose(find);
  EXPECT_EQ(wideNames, (std::vector<std::u16string>{u"a\u00F1o.txt", u"b.TXT", u"\u65E5.txt"}));

  EXPECT_EQ(FindFirstFileA(Win("list\\*.none").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA(Win("absent\\*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_PATH_NOT_FOUND);

  // Removing the link removes the link, not what it points at.
  EXPECT_TRUE(RemoveDirectoryA(Win("list\\link").c_str()));
  struct stat info;
  EXPECT_NE(lstat(Host("list/link").c_str(), &info), 0);
  EXPECT_EQ(stat(Host("target/keep.txt").c_str(), &info), 0);
}

TEST_F(FileTest, MovesAndDrives) {
  Write("old.wav", "voice");
  Write("taken.wav", "other");
  EXPECT_TRUE(MoveFileA(Win("OLD.wav").c_str(), Win("new.wav").c_str()));
  struct stat info;
  EXPECT_EQ(stat(Host("new.wav").c_str(), &info), 0);
  EXPECT_NE(stat(Host("old.wav").c_str(), &info), 0);
  EXPECT_FALSE(MoveFileA(Win("new.wav").c_str(), Win("taken.wav").c_str()));  // never replaces
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(MoveFileA(Win("gone.wav").c_str(), Win("x.wav").c_str()));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetDriveTypeA("C:\\"), 3u);
  EXPECT_EQ(GetDriveTypeA("c:"), 3u);
  EXPECT_EQ(GetDriveTypeA("D:\\"), 1u);
  EXPECT_EQ(GetDriveTypeW(u"C:/"), 3u);
}

TEST_F(FileTest, Mappings) {
  Write("map.bin", "mapped bytes");
  HANDLE reader = Open(Win("map.bin"), GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileMappingA(reader, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_ACCESS_DENIED);
  HANDLE mapping = CreateFileMappingA(reader, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  SLHandleClose(reader);  // the mapping keeps the file
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0), nullptr);
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view), 12), "mapped bytes");
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view));
  SLHandleClose(mapping);

  Write("empty.bin", "");
  HANDLE empty = Open(Win("empty.bin"), GENERIC_READ, FILE_SHARE_READ);
  EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_FILE_INVALID);
  SLHandleClose(empty);

  HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, 1 << 20, nullptr);
  ASSERT_NE(section, nullptr);
  auto* bytes = static_cast<unsigned char*>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 1 << 20));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[12345], 0);
  bytes[12345] = 7;
  EXPECT_TRUE(UnmapViewOfFile(bytes));
  SLHandleClose(section);
}

}  // namespace
