// Directories, attributes and searches of the file entry points.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/kernel32/File.h"
#include "platform/kernel32/FilePath.h"
#include "platform/kernel32/Mounts.h"
#include "platform/toolbox.h"

namespace SLPlatformFile {

DWORD AttributesOf(mode_t mode, bool linkToDirectory, const std::string& name) {
  DWORD attributes = 0;
  if (S_ISLNK(mode)) {
    // A link is shown as itself, a directory link as a directory that is a reparse
    // point: callers that walk trees can tell it from a real directory.
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (linkToDirectory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else if (S_ISDIR(mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else {
    if (!S_ISREG(mode)) attributes |= FILE_ATTRIBUTE_DEVICE;
    if (!(mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  }
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (!attributes) attributes = FILE_ATTRIBUTE_NORMAL;
  return attributes;
}

std::string LastComponent(const std::string& host) {
  std::string path = host;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

constexpr DWORD kReparseTagSymlink = 0xA000000C;
constexpr DWORD kReparseTagMountPoint = 0xA0000003;

bool PointsAtDirectory(const std::string& host) {
  struct stat target;
  return stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

DWORD HostAttributes(bool ok, const std::string& host) {
  if (!ok) return INVALID_FILE_ATTRIBUTES;
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) {
    FailErrno(errno, host);
    return INVALID_FILE_ATTRIBUTES;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return AttributesOf(info.st_mode, S_ISLNK(info.st_mode) && PointsAtDirectory(host), LastComponent(host));
}

BOOL SetHostAttributes(bool ok, const std::string& host, DWORD attributes) {
  if (!ok) return FALSE;
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) return FailErrno(errno, host);
  // Only the read-only attribute of files has a POSIX form: the write permissions.
  if (S_ISREG(info.st_mode)) {
    mode_t mode = info.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
      mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else if (!(mode & S_IWUSR))
      mode |= S_IWUSR;
    if (mode != (info.st_mode & 07777) && chmod(host.c_str(), mode) != 0) return FailErrno(errno, host);
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CreateHostDirectory(bool ok, const std::string& host) {
  if (!ok) return FALSE;
  if (mkdir(host.c_str(), 0777) != 0) return FailErrno(errno, host);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL RemoveHostDirectory(bool ok, const std::string& host) {
  if (!ok) return FALSE;
  std::string path = host;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return FailErrno(errno, path);
  if (S_ISLNK(info.st_mode)) {
    // Removing a directory link removes the link; its target stays.
    struct stat target;
    if (stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) {
      SLPlatformSetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
    if (unlink(path.c_str()) != 0) return FailErrno(errno, path);
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  if (!S_ISDIR(info.st_mode)) {
    SLPlatformSetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (rmdir(path.c_str()) != 0) return FailErrno(errno, path);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

// Wildcard match of a name against a pattern with "*" and "?", without regard to case.
bool WildcardMatch(const std::u32string& pattern, const std::u32string& name) {
  size_t p = 0, n = 0, starP = std::u32string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == U'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u32string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

std::u32string ToCodePoints(const std::string& utf8) {
  std::u32string out;
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::u32string(utf8.begin(), utf8.end());  // ASCII: each byte is its code point
  std::u16string wide;
  if (!Utf8ToUtf16(utf8, &wide)) {
    for (char c : utf8) out.push_back(char32_t(static_cast<unsigned char>(c)));
    return out;
  }
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    out.push_back(c);
  }
  return out;
}

struct FoundEntry {
  std::string name;  // UTF-8
  DWORD attributes;
  DWORD reserved0;
  FILETIME created, accessed, written;
  std::uint64_t size;
};

class SLFindObject : public SLKernelObject {
 public:
  SLFindObject() : SLKernelObject(Kind::Find) {}
  std::vector<FoundEntry> entries;
  size_t next = 0;
};

// Lists the entries of the pattern's directory that match its last component, "."
// and ".." first, the rest in the order of their names without regard to case (the
// order the system's volumes list in). Names with "\" cannot be shown and are left out.
bool ListPattern(const std::string& windowsPattern, std::vector<FoundEntry>* out) {
  std::string pattern = SLPlatformSlashPath(windowsPattern);
  size_t slash = pattern.rfind('/');
  std::string directory = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (namePattern.empty()) {
    SLPlatformSetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  std::string hostDirectory;
  if (directory.empty()) {
    hostDirectory = "./";
  } else if (!ToHostPath(directory, &hostDirectory)) {
    return false;
  }
  if (hostDirectory.back() != '/') hostDirectory += '/';
  DIR* dir = opendir(hostDirectory.c_str());
  if (!dir) {
    int error = errno;
    SLPlatformSetLastError(error == ENOENT || error == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(error));
    return false;
  }
  if (namePattern == "*.*") namePattern = "*";  // the old spelling of "every name"
  // "*" takes every name: the common listing of a whole directory skips the matching.
  const bool everyName = namePattern == "*";
  std::u32string foldedPattern = everyName ? std::u32string() : ToCodePoints(FoldCase(namePattern));
  // Sorted by rank ("." then ".." then the rest), folded name, then the name itself.
  struct Listed {
    int rank;
    std::string folded;
    FoundEntry entry;
  };
  // Mount points are looked up by absolute path.
  std::string absoluteDirectory = hostDirectory;
  if (absoluteDirectory[0] != '/') {
    while (absoluteDirectory.compare(0, 2, "./") == 0) absoluteDirectory.erase(0, 2);
    std::vector<char> cwd(4096);
    absoluteDirectory = getcwd(cwd.data(), cwd.size()) ? std::string(cwd.data()) + "/" + absoluteDirectory : std::string();
  }
  std::vector<Listed> found;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.find('\\') != std::string::npos) continue;
    const int rank = name == "." ? 0 : name == ".." ? 1 : 2;
    std::string folded = FoldCase(name);
    if (!everyName && !WildcardMatch(foldedPattern, ToCodePoints(folded))) continue;
    // One status call per entry, relative to the open directory.
    struct statx info;
    if (statx(dirfd(dir), entry->d_name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
      continue;  // gone while listing
    mode_t mode = info.stx_mode;
    bool linkToDirectory = false;
    if (S_ISLNK(mode)) {
      struct stat target;
      linkToDirectory = fstatat(dirfd(dir), entry->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    FoundEntry e;
    e.name = name;
    e.attributes = AttributesOf(mode, linkToDirectory, name);
    e.reserved0 = S_ISLNK(mode) ? kReparseTagSymlink : 0;
    // A directory where another volume is mounted shows as a mounted folder does on the
    // original system: a reparse point, which tree walks do not enter.
    if (S_ISDIR(mode) && rank == 2 && !absoluteDirectory.empty() && IsForeignMountPoint(absoluteDirectory + name)) {
      e.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      e.reserved0 = kReparseTagMountPoint;
    }
    const struct statx_timestamp& born = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    e.created = ToFileTime(born.tv_sec, born.tv_nsec);
    e.accessed = ToFileTime(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    e.written = ToFileTime(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    e.size = S_ISREG(mode) ? std::uint64_t(info.stx_size) : 0;
    found.push_back({rank, std::move(folded), std::move(e)});
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), [](const Listed& a, const Listed& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (int order = a.folded.compare(b.folded)) return order < 0;
    return a.entry.name < b.entry.name;
  });
  out->clear();
  out->reserve(found.size());
  for (auto& item : found) out->push_back(std::move(item.entry));
  return true;
}

template <class Data>
void FillHeader(const FoundEntry& e, Data* data) {
  std::memset(data, 0, sizeof(Data));
  data->dwFileAttributes = e.attributes;
  data->ftCreationTime = e.created;
  data->ftLastAccessTime = e.accessed;
  data->ftLastWriteTime = e.written;
  data->nFileSizeHigh = DWORD(e.size >> 32);
  data->nFileSizeLow = DWORD(e.size);
  data->dwReserved0 = e.reserved0;
}

// Fills the caller's record with the entry's name in its width; false when the name
// has no form there (not Windows-1252, or too long).
bool Fill(const FoundEntry& e, WIN32_FIND_DATAA* data) {
  std::string name;
  if (!Utf8ToCp1252(e.name, &name) || name.size() >= MAX_PATH) return false;
  FillHeader(e, data);
  std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
  return true;
}

bool Fill(const FoundEntry& e, WIN32_FIND_DATAW* data) {
  std::u16string name;
  if (!Utf8ToUtf16(e.name, &name) || name.size() >= MAX_PATH) return false;
  FillHeader(e, data);
  std::memcpy(data->cFileName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  return true;
}

template <class Data>
bool Advance(SLFindObject& find, Data* data) {
  while (find.next < find.entries.size()) {
    if (Fill(find.entries[find.next++], data)) return true;
  }
  return false;
}

template <class Data>
HANDLE FindFirst(bool ok, const std::string& pattern, Data* data) {
  if (!ok) return INVALID_HANDLE_VALUE;
  if (!data) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto find = std::make_shared<SLFindObject>();
  if (!ListPattern(pattern, &find->entries)) return INVALID_HANDLE_VALUE;
  if (!Advance(*find, data)) {
    SLPlatformSetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = SLHandleCreate(find);
  if (!handle) {
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return handle;
}

template <class Data>
BOOL FindNext(HANDLE handle, Data* data) {
  auto find = SLHandleGetAs<SLFindObject>(handle, SLKernelObject::Kind::Find);
  if (!find) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!data) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!Advance(*find, data)) {
    SLPlatformSetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

// A Windows path as UTF-8 (8-bit paths are Windows-1252).
bool WindowsTextA(const char* path, std::string* out) {
  if (!path) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  *out = Cp1252ToUtf8(path);
  return true;
}

bool WindowsTextW(const char16_t* path, std::string* out) {
  if (!path) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!Utf16ToUtf8(path, out)) {
    SLPlatformSetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return true;
}

BOOL SetCurrentHost(bool ok, const std::string& host) {
  if (!ok) return FALSE;
  if (chdir(host.c_str()) != 0) return FailErrno(errno, host);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

bool CurrentDirectory(std::string* out) {
  std::vector<char> buffer(4096);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return FailErrno(errno);
    buffer.resize(buffer.size() * 2);
  }
  *out = buffer.data();
  return true;
}

}  // namespace
}  // namespace SLPlatformFile

using namespace SLPlatformFile;

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return CreateHostDirectory(ok, host);
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return CreateHostDirectory(ok, host);
}

BOOL RemoveDirectoryA(LPCSTR path) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return RemoveHostDirectory(ok, host);
}

BOOL RemoveDirectoryW(LPCWSTR path) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return RemoveHostDirectory(ok, host);
}

DWORD GetFileAttributesA(LPCSTR path) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return HostAttributes(ok, host);
}

DWORD GetFileAttributesW(LPCWSTR path) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return HostAttributes(ok, host);
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return SetHostAttributes(ok, host, attributes);
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return SetHostAttributes(ok, host, attributes);
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  std::string text;
  bool ok = WindowsTextA(pattern, &text);
  return FindFirst(ok, text, data);
}

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
  std::string text;
  bool ok = WindowsTextW(pattern, &text);
  return FindFirst(ok, text, data);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) { return FindNext(find, data); }
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) { return FindNext(find, data); }

BOOL FindClose(HANDLE find) {
  if (!SLHandleGetAs<SLFindObject>(find, SLKernelObject::Kind::Find)) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!SLHandleClose(find)) return FALSE;
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return SetCurrentHost(ok, host);
}

BOOL SetCurrentDirectoryW(LPCWSTR path) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return SetCurrentHost(ok, host);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  std::string current, text;
  if (!CurrentDirectory(&current)) return 0;
  if (!Utf8ToCp1252(current, &text)) {
    SLPlatformSetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  // The size needed with its terminator when the buffer is too small, else the length.
  if (!buffer || size <= text.size()) return DWORD(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return DWORD(text.size());
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  std::string current;
  std::u16string text;
  if (!CurrentDirectory(&current)) return 0;
  if (!Utf8ToUtf16(current, &text)) {
    SLPlatformSetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  if (!buffer || size <= text.size()) return DWORD(text.size() + 1);
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  SLPlatformSetLastError(ERROR_SUCCESS);
  return DWORD(text.size());
}

namespace {

BOOL MoveHost(bool ok, const std::string& from, const std::string& to) {
  if (!ok) return FALSE;
  struct stat info;
  if (lstat(from.c_str(), &info) != 0) return FailErrno(errno, from);
  if (!S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode) && !MayDelete(from)) {
    SLPlatformSetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  // A move never replaces what is already at the target.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    int error = errno;
    SLPlatformSetLastError(error == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(error, to));
    return FALSE;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

// One file system: drive C: is its root, a fixed disk; no other letter has a root.
UINT DriveType(const std::string& root) {
  if (root.size() < 2 || root[1] != ':' || (root.size() > 2 && !SLPlatformIsPathSeparator(root[2])) ||
      root.size() > 3)
    return 1;  // DRIVE_NO_ROOT_DIR
  return (root[0] == 'C' || root[0] == 'c') ? 3 : 1;  // DRIVE_FIXED
}

}  // namespace

BOOL MoveFileA(LPCSTR from, LPCSTR to) {
  std::string hostFrom, hostTo;
  bool ok = HostPathA(from, &hostFrom) && HostPathA(to, &hostTo);
  return MoveHost(ok, hostFrom, hostTo);
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
  std::string hostFrom, hostTo;
  bool ok = HostPathW(from, &hostFrom) && HostPathW(to, &hostTo);
  return MoveHost(ok, hostFrom, hostTo);
}

UINT GetDriveTypeA(LPCSTR root) {
  if (!root) return 1;
  return DriveType(root);
}

UINT GetDriveTypeW(LPCWSTR root) {
  if (!root) return 1;
  std::string text;
  if (!Utf16ToUtf8(root, &text)) return 1;
  return DriveType(text);
}
