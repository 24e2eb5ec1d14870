// Files that one writer at a time makes its own. Two writers of one name (two copies of
// the program saving or exporting the same movie) must not write into each other's file,
// and what a writer killed halfway leaves must not stand in the way of the next. The
// sharing modes of this layer are kept per process, so the claim is an flock(2) lock on
// the file, held for as long as its writer keeps it open: the system drops it with the
// process, however that ends, so a file of the name that nobody holds is a leftover and
// goes, while one that somebody holds is refused.
//
// The video writer claims its file through ClaimHostFile; the framework's writers claim
// their temporary files through `SLPlatformClaimFileW`, which this layer adds to
// "kernel32.dll" for them.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/kernel32/File.h"
#include "platform/kernel32/FilePath.h"

namespace SLPlatformFile {

namespace {
// How many times a claim takes the name again after another writer removed or replaced
// the file between our open and our lock: a bound that only writers racing for the
// same name without end could reach.
constexpr int kClaimAttempts = 64;
}  // namespace

// The name is checked to still be the locked file after each lock: another writer may
// remove or replace it between our open and our lock, and a lock on a file that lost its
// name guards nothing. On a file system without locks a file this claim created is
// written unguarded, and one it found is refused, never removed.
int ClaimHostFile(const std::string& host, int* fd) {
  *fd = -1;
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
    bool created = true;
    int opened = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (opened < 0 && errno == EEXIST) {
      created = false;
      // Not followed, and not waited on: a link or a pipe under the name is no writer's.
      opened = ::open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (opened < 0 && errno == ENOENT) continue;
      if (opened < 0 && errno == ELOOP) return EEXIST;
    }
    if (opened < 0) return errno;
    const int lockError = ::flock(opened, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    struct stat held {}, named {};
    int refused = 0;
    bool again = false;
    if (lockError == EWOULDBLOCK) {
      refused = EWOULDBLOCK;
    } else if (lockError == EINTR) {
      again = true;
    } else if (lockError != 0 && !created) {
      // Without locks a leftover cannot be told from a live writer's file: it stays.
      refused = EWOULDBLOCK;
    } else if (::fstat(opened, &held) != 0) {
      refused = errno;
    } else if (!S_ISREG(held.st_mode)) {
      refused = EEXIST;
    } else if (::lstat(host.c_str(), &named) != 0) {
      if (errno == ENOENT) again = true;
      else refused = errno;
    } else if (named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
      again = true;
    } else if (created) {
      *fd = opened;
      return 0;
    } else if (::unlink(host.c_str()) == 0 || errno == ENOENT) {
      // A leftover goes while it is locked: whoever opened it meanwhile finds, once the
      // lock is theirs, that the name is no longer its.
      again = true;
    } else {
      refused = errno;
    }
    ::close(opened);
    if (!again) return refused;
  }
  return EWOULDBLOCK;
}

}  // namespace SLPlatformFile

using namespace SLPlatformFile;

HANDLE SLPlatformClaimFileW(LPCWSTR path) {
  std::string host;
  if (!HostPathW(path, &host)) return INVALID_HANDLE_VALUE;
  int fd = -1;
  if (const int error = ClaimHostFile(host, &fd)) {
    SLPlatformSetLastError(error == EWOULDBLOCK ? ERROR_SHARING_VIOLATION
                           : error == EEXIST    ? ERROR_FILE_EXISTS
                                                : ErrorFromErrno(error, host));
    return INVALID_HANDLE_VALUE;
  }
  // The sharing allows deletion, which covers renaming: the owner renames or removes the
  // file while still holding it, so that no other writer can take it for a leftover in
  // between. It allows reading too, as other processes may read it anyway: the owner may
  // play back what it wrote by the file's name (a recording before it is kept).
  std::shared_ptr<SLFileObject> file = EnterOpenFile(fd, host, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE);
  if (!file) return INVALID_HANDLE_VALUE;  // a fresh file is open nowhere else: not reached
  HANDLE handle = SLHandleCreate(file);
  if (!handle) {
    ::unlink(host.c_str());  // still ours: the descriptor holds the lock until `file` goes
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return handle;
}
