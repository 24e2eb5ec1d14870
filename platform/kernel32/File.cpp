#include "platform/kernel32/File.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "platform/kernel32/FilePath.h"
#include "platform/kernel32/Modules.h"

namespace SLPlatformFile {

namespace {

// The process's open files and byte-range locks. POSIX has no sharing modes, and its
// record locks belong to the process rather than the handle; both are kept here, where
// every handle of the process sees them.
struct OpenEntry {
  const SLFileObject* owner;
  DWORD access;
  DWORD share;
};
struct LockEntry {
  const SLFileObject* owner;
  std::uint64_t offset;
  std::uint64_t length;
  bool exclusive;
};
struct FileKey {
  dev_t device;
  ino_t inode;
  bool operator<(const FileKey& other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
};
struct FileTable {
  std::mutex lock;
  std::map<FileKey, std::vector<OpenEntry>> open;
  std::map<FileKey, std::vector<LockEntry>> locks;
};

FileTable& Table() {
  static FileTable* table = new FileTable();  // outlives every static handle holder
  return *table;
}

bool SharingAllows(const std::vector<OpenEntry>& entries, DWORD access, DWORD share) {
  for (const OpenEntry& e : entries) {
    if ((access & GENERIC_READ) && !(e.share & FILE_SHARE_READ)) return false;
    if ((access & GENERIC_WRITE) && !(e.share & FILE_SHARE_WRITE)) return false;
    if ((e.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
    if ((e.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
  }
  return true;
}

bool Overlaps(std::uint64_t offset1, std::uint64_t length1, std::uint64_t offset2, std::uint64_t length2) {
  if (!length1 || !length2) return false;
  std::uint64_t end1 = offset1 + length1 < offset1 ? UINT64_MAX : offset1 + length1;
  std::uint64_t end2 = offset2 + length2 < offset2 ? UINT64_MAX : offset2 + length2;
  return offset1 < end2 && offset2 < end1;
}

template <class Fn>
BOOL WithFile(HANDLE handle, Fn fn) {
  auto file = GetFile(handle);
  if (!file) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return fn(*file);
}

constexpr std::int64_t kEpochDifference = 116444736000000000LL;  // 1601 to 1970 in 100 ns

HANDLE OpenHostFile(const std::string& host, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  struct stat info;
  bool existed = stat(host.c_str(), &info) == 0;
  if (existed && S_ISDIR(info.st_mode)) {
    // A directory is never a file, whatever the disposition.
    SLPlatformSetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int oflags = O_CLOEXEC;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
    oflags |= O_RDWR;
  else if (access & GENERIC_WRITE)
    oflags |= O_WRONLY;
  else if (!(access & GENERIC_READ) && disposition == OPEN_EXISTING)
    // Query access: the handle tells what the file is and reaches none of its contents,
    // so opening it never waits for the writer of a pipe.
    oflags |= O_PATH;
  else
    oflags |= O_RDONLY;
  bool truncate = false;
  switch (disposition) {
    case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: oflags |= O_CREAT; truncate = existed; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: oflags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!(access & GENERIC_WRITE)) {
        SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      truncate = true;
      break;
    default: SLPlatformSetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = open(host.c_str(), oflags, mode);
  if (fd < 0) {
    int error = errno;
    SLPlatformSetLastError(error == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(error, host));
    return INVALID_HANDLE_VALUE;
  }
  std::shared_ptr<SLFileObject> file = EnterOpenFile(fd, host, access, share);
  if (!file) return INVALID_HANDLE_VALUE;
  file->deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  // Truncation waits for the sharing check, so a refused create destroys nothing.
  if (truncate && ftruncate(fd, 0) != 0) {
    int error = errno;
    FailErrno(error, host);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = SLHandleCreate(file);
  if (!handle) {
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  bool reportExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SLPlatformSetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE CreateFileHost(bool ok, const std::string& host, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (!ok) return INVALID_HANDLE_VALUE;
  return OpenHostFile(host, access, share, disposition, flags);
}

BOOL DeleteHostFile(bool ok, const std::string& host) {
  if (!ok) return FALSE;
  struct stat info;
  if (lstat(host.c_str(), &info) != 0) return FailErrno(errno, host);
  if (S_ISDIR(info.st_mode)) {
    SLPlatformSetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // A read-only file is not deleted until its attribute is cleared.
  if (S_ISREG(info.st_mode) && !(info.st_mode & S_IWUSR)) {
    SLPlatformSetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!S_ISLNK(info.st_mode) && !MayDelete(host)) {
    SLPlatformSetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (unlink(host.c_str()) != 0) return FailErrno(errno, host);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD CompressedSizeHost(bool ok, const std::string& host, DWORD* sizeHigh) {
  if (sizeHigh) *sizeHigh = 0;
  if (!ok) return INVALID_FILE_SIZE;
  struct stat info;
  if (stat(host.c_str(), &info) != 0) {
    FailErrno(errno, host);
    return INVALID_FILE_SIZE;
  }
  // No volume of ours compresses: what a file keeps is its length.
  std::uint64_t size = std::uint64_t(info.st_size);
  if (sizeHigh) *sizeHigh = DWORD(size >> 32);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return DWORD(size);
}

}  // namespace

SLFileObject::~SLFileObject() {
  if (registered) {
    FileTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    FileKey key{device, inode};
    auto& entries = table.open[key];
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].owner == this) {
        entries.erase(entries.begin() + long(i));
        break;
      }
    if (entries.empty()) table.open.erase(key);
    auto found = table.locks.find(key);
    if (found != table.locks.end()) {
      std::erase_if(found->second, [this](const LockEntry& e) { return e.owner == this; });
      if (found->second.empty()) table.locks.erase(found);
    }
  }
  if (fd >= 0) close(fd);
  if (deleteOnClose) unlink(hostPath.c_str());
}

std::shared_ptr<SLFileObject> EnterOpenFile(int fd, const std::string& host, DWORD access, DWORD share) {
  struct stat opened;
  if (fstat(fd, &opened) != 0 || S_ISDIR(opened.st_mode)) {
    close(fd);
    SLPlatformSetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto file = std::make_shared<SLFileObject>();
  file->fd = fd;
  file->access = access;
  file->share = share;
  file->device = opened.st_dev;
  file->inode = opened.st_ino;
  file->hostPath = host;
  FileTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto& entries = table.open[FileKey{opened.st_dev, opened.st_ino}];
  if (!SharingAllows(entries, access, share)) {
    SLPlatformSetLastError(ERROR_SHARING_VIOLATION);
    return nullptr;  // the object closes the descriptor
  }
  entries.push_back(OpenEntry{file.get(), access, share});
  file->registered = true;
  return file;
}

std::shared_ptr<SLFileObject> GetFile(HANDLE handle) {
  return SLHandleGetAs<SLFileObject>(handle, SLKernelObject::Kind::File);
}

bool MayDelete(const std::string& hostPath) {
  struct stat info;
  if (stat(hostPath.c_str(), &info) != 0) return true;
  FileTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.open.find(FileKey{info.st_dev, info.st_ino});
  if (found == table.open.end()) return true;
  for (const OpenEntry& e : found->second)
    if (!(e.share & FILE_SHARE_DELETE)) return false;
  return true;
}

FILETIME ToFileTime(std::int64_t seconds, std::int64_t nanoseconds) {
  std::int64_t ticks = seconds * 10000000LL + nanoseconds / 100 + kEpochDifference;
  if (ticks < 0) ticks = 0;
  return FILETIME{DWORD(std::uint64_t(ticks)), DWORD(std::uint64_t(ticks) >> 32)};
}

}  // namespace SLPlatformFile

using namespace SLPlatformFile;

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return CreateFileHost(ok, host, access, share, disposition, flags);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return CreateFileHost(ok, host, access, share, disposition, flags);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped) {
  if (done) *done = 0;
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    if (!(file.access & GENERIC_READ)) {
      SLPlatformSetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!buffer && count) {
      SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    off_t at = overlapped ? off_t((std::uint64_t(overlapped->OffsetHigh) << 32) | overlapped->Offset) : 0;
    DWORD total = 0;
    while (total < count) {
      ssize_t got = overlapped ? pread(file.fd, static_cast<char*>(buffer) + total, count - total, at + total)
                               : read(file.fd, static_cast<char*>(buffer) + total, count - total);
      if (got < 0) {
        if (errno == EINTR) continue;
        if (done) *done = total;
        return FailErrno(errno);
      }
      if (got == 0) break;  // the end of the file: success with fewer bytes
      total += DWORD(got);
    }
    if (done) *done = total;
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

namespace {
// The full-disk switch of the tests: while set, `g_diskFullLeft` bytes may still be
// written to files; what lies past them fails as on a full disk.
std::atomic<bool> g_diskFullSet{false};
std::atomic<std::uint64_t> g_diskFullLeft{0};

// How many of `count` bytes the switch lets through (all of them while it is off).
DWORD TakeDiskSpace(DWORD count) {
  if (!g_diskFullSet.load(std::memory_order_acquire)) return count;
  std::uint64_t left = g_diskFullLeft.load(std::memory_order_relaxed);
  std::uint64_t granted;
  do {
    granted = left < count ? left : count;
  } while (!g_diskFullLeft.compare_exchange_weak(left, left - granted, std::memory_order_relaxed));
  return DWORD(granted);
}
}  // namespace

void SLPlatformSetDiskFullAfter(bool enabled, std::uint64_t bytes) {
  g_diskFullLeft.store(bytes, std::memory_order_relaxed);
  g_diskFullSet.store(enabled, std::memory_order_release);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped) {
  if (done) *done = 0;
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    if (!(file.access & GENERIC_WRITE)) {
      SLPlatformSetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!buffer && count) {
      SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    off_t at = overlapped ? off_t((std::uint64_t(overlapped->OffsetHigh) << 32) | overlapped->Offset) : 0;
    const DWORD allowed = TakeDiskSpace(count);
    DWORD total = 0;
    while (total < allowed) {
      ssize_t put = overlapped ? pwrite(file.fd, static_cast<const char*>(buffer) + total, allowed - total, at + total)
                               : write(file.fd, static_cast<const char*>(buffer) + total, allowed - total);
      if (put < 0) {
        if (errno == EINTR) continue;
        if (done) *done = total;
        return FailErrno(errno);
      }
      total += DWORD(put);
    }
    if (done) *done = total;
    if (allowed < count) {
      SLPlatformSetLastError(ERROR_DISK_FULL);
      return FALSE;
    }
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

BOOL FlushFileBuffers(HANDLE handle) {
  return WithFile(handle, [](SLFileObject& file) -> BOOL {
    if (fdatasync(file.fd) != 0 && errno != EINVAL) return FailErrno(errno);
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

BOOL SetEndOfFile(HANDLE handle) {
  return WithFile(handle, [](SLFileObject& file) -> BOOL {
    if (!(file.access & GENERIC_WRITE)) {
      SLPlatformSetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    off_t position = lseek(file.fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(file.fd, position) != 0) return FailErrno(errno);
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method) {
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) {
      SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    off_t base = whence == SEEK_SET ? 0 : lseek(file.fd, 0, whence);
    if (base < 0) return FailErrno(errno);
    std::int64_t target;
    if (__builtin_add_overflow(std::int64_t(base), distance.QuadPart, &target) || target < 0) {
      SLPlatformSetLastError(ERROR_NEGATIVE_SEEK);
      return FALSE;
    }
    off_t result = lseek(file.fd, off_t(target), SEEK_SET);
    if (result < 0) return FailErrno(errno);
    if (newPosition) newPosition->QuadPart = result;
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

DWORD SetFilePointer(HANDLE handle, LONG distanceLow, LONG* distanceHigh, DWORD method) {
  LARGE_INTEGER distance;
  distance.QuadPart = distanceHigh ? std::int64_t((std::uint64_t(std::uint32_t(*distanceHigh)) << 32) |
                                                  std::uint32_t(distanceLow))
                                   : std::int64_t(distanceLow);
  LARGE_INTEGER result;
  if (!SetFilePointerEx(handle, distance, &result, method)) return INVALID_SET_FILE_POINTER;
  if (distanceHigh) *distanceHigh = LONG(std::uint64_t(result.QuadPart) >> 32);
  return DWORD(std::uint64_t(result.QuadPart));
}

BOOL GetFileSizeEx(HANDLE handle, LARGE_INTEGER* size) {
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    struct stat info;
    if (fstat(file.fd, &info) != 0) return FailErrno(errno);
    if (size) size->QuadPart = info.st_size;
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
  LARGE_INTEGER size;
  size.QuadPart = 0;
  if (!GetFileSizeEx(handle, &size)) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = DWORD(std::uint64_t(size.QuadPart) >> 32);
  return DWORD(std::uint64_t(size.QuadPart));
}

BOOL LockFileEx(HANDLE handle, DWORD flags, DWORD, DWORD lengthLow, DWORD lengthHigh, LPOVERLAPPED overlapped) {
  if (!overlapped) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    std::uint64_t offset = (std::uint64_t(overlapped->OffsetHigh) << 32) | overlapped->Offset;
    std::uint64_t length = (std::uint64_t(lengthHigh) << 32) | lengthLow;
    bool exclusive = (flags & LOCKFILE_EXCLUSIVE_LOCK) != 0;
    // Waiting for another holder of the same process could only deadlock; every
    // request is answered at once.
    FileTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto& locks = table.locks[FileKey{file.device, file.inode}];
    for (const LockEntry& held : locks) {
      if (!Overlaps(held.offset, held.length, offset, length)) continue;
      bool conflict = exclusive || held.exclusive;
      // A shared request conflicts with an exclusive range even of the same handle.
      if (conflict) {
        SLPlatformSetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
      }
    }
    locks.push_back(LockEntry{&file, offset, length, exclusive});
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

BOOL LockFile(HANDLE handle, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow, DWORD lengthHigh) {
  OVERLAPPED where{};
  where.Offset = offsetLow;
  where.OffsetHigh = offsetHigh;
  return LockFileEx(handle, LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, lengthLow, lengthHigh, &where);
}

BOOL UnlockFile(HANDLE handle, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow, DWORD lengthHigh) {
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    std::uint64_t offset = (std::uint64_t(offsetHigh) << 32) | offsetLow;
    std::uint64_t length = (std::uint64_t(lengthHigh) << 32) | lengthLow;
    FileTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.locks.find(FileKey{file.device, file.inode});
    if (found != table.locks.end()) {
      auto& locks = found->second;
      for (size_t i = 0; i < locks.size(); ++i) {
        // A range is released exactly as it was locked, by the handle that locked it.
        if (locks[i].owner == &file && locks[i].offset == offset && locks[i].length == length) {
          locks.erase(locks.begin() + long(i));
          if (locks.empty()) table.locks.erase(found);
          SLPlatformSetLastError(ERROR_SUCCESS);
          return TRUE;
        }
      }
    }
    SLPlatformSetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  });
}

namespace {
bool Describe(const SLFileObject& file, struct statx* info) {
  return statx(file.fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, info) == 0;
}
// The birth time where the file system keeps one, else the last change of content.
FILETIME CreationTime(const struct statx& info) {
  const struct statx_timestamp& born = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
  return ToFileTime(born.tv_sec, born.tv_nsec);
}
FILETIME TimeOf(const struct statx_timestamp& time) { return ToFileTime(time.tv_sec, time.tv_nsec); }
}  // namespace

BOOL GetFileTime(HANDLE handle, FILETIME* creation, FILETIME* access, FILETIME* write) {
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    struct statx info;
    if (!Describe(file, &info)) return FailErrno(errno);
    if (creation) *creation = CreationTime(info);
    if (access) *access = TimeOf(info.stx_atime);
    if (write) *write = TimeOf(info.stx_mtime);
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

// The volume and the index together name one file: two handles, or a handle and a name
// opened for query, reach the same file exactly when both agree. The volume is the
// device number folded to 32 bits, the index the inode.
BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
  if (!information) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return WithFile(handle, [&](SLFileObject& file) -> BOOL {
    struct statx info;
    if (!Describe(file, &info)) return FailErrno(errno);
    const std::uint64_t device = makedev(info.stx_dev_major, info.stx_dev_minor);
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = AttributesOf(info.stx_mode, false, LastComponent(file.hostPath));
    information->ftCreationTime = CreationTime(info);
    information->ftLastAccessTime = TimeOf(info.stx_atime);
    information->ftLastWriteTime = TimeOf(info.stx_mtime);
    information->dwVolumeSerialNumber = DWORD(device ^ (device >> 32));
    information->nFileSizeHigh = DWORD(info.stx_size >> 32);
    information->nFileSizeLow = DWORD(info.stx_size);
    information->nNumberOfLinks = info.stx_nlink;
    information->nFileIndexHigh = DWORD(info.stx_ino >> 32);
    information->nFileIndexLow = DWORD(info.stx_ino);
    SLPlatformSetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

DWORD GetCompressedFileSizeA(LPCSTR path, DWORD* sizeHigh) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return CompressedSizeHost(ok, host, sizeHigh);
}

DWORD GetCompressedFileSizeW(LPCWSTR path, DWORD* sizeHigh) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return CompressedSizeHost(ok, host, sizeHigh);
}

BOOL DeleteFileA(LPCSTR path) {
  std::string host;
  bool ok = HostPathA(path, &host);
  return DeleteHostFile(ok, host);
}

BOOL DeleteFileW(LPCWSTR path) {
  std::string host;
  bool ok = HostPathW(path, &host);
  return DeleteHostFile(ok, host);
}
