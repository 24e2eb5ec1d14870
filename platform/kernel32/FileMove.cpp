// MoveFileExW of "kernel32.dll": renames a file, replacing an existing target only when
// asked (MOVEFILE_REPLACE_EXISTING). A rename within one file system is atomic, which is what
// writers that replace a file through a sibling temporary rely on.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>

#include "platform/kernel32/FilePath.h"
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"

namespace {

constexpr DWORD kMoveReplaceExisting = 0x1;

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR replacement, DWORD flags) {
  std::string from, to;
  if (!SLPlatformFile::HostPathW(existing, &from) || !SLPlatformFile::HostPathW(replacement, &to)) return FALSE;
  struct stat info;
  if (lstat(from.c_str(), &info) != 0) return SLPlatformFile::FailErrno(errno, from);
  if (!(flags & kMoveReplaceExisting) && lstat(to.c_str(), &info) == 0) {
    SLPlatformSetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (rename(from.c_str(), to.c_str()) != 0) return SLPlatformFile::FailErrno(errno, to);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

const SLPlatformExport kFileMoveExports[] = {
    SL_EXPORT(MoveFileExW),
};

}  // namespace

const SLPlatformExportGroup g_kernel32FileMove = SLMakeExportGroup(kFileMoveExports);
