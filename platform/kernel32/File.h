// The file entry points of "kernel32.dll" over POSIX: files (File.cpp), directories,
// attributes and searches (FileFind.cpp) and mappings (FileMapping.cpp). File, find and
// mapping handles live in the kernel object table of Handles.h.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/kernel32/Handles.h"
#include "platform/winfile.h"

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD method);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL LockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow, DWORD lengthHigh);
BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD lengthLow, DWORD lengthHigh, LPOVERLAPPED overlapped);
BOOL UnlockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow, DWORD lengthHigh);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
DWORD GetCompressedFileSizeA(LPCSTR path, DWORD* sizeHigh);
DWORD GetCompressedFileSizeW(LPCWSTR path, DWORD* sizeHigh);
BOOL DeleteFileA(LPCSTR path);
BOOL DeleteFileW(LPCWSTR path);

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR path);
BOOL RemoveDirectoryW(LPCWSTR path);
BOOL SetCurrentDirectoryA(LPCSTR path);
BOOL SetCurrentDirectoryW(LPCWSTR path);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
DWORD GetFileAttributesA(LPCSTR path);
DWORD GetFileAttributesW(LPCWSTR path);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);
BOOL MoveFileA(LPCSTR from, LPCSTR to);
BOOL MoveFileW(LPCWSTR from, LPCWSTR to);
// Not the system's: this layer's claim of a file for one writer (FileClaim.cpp).
// Creates `path` for writing, held against every other claim of the name for as long as
// the handle stays open; its owner may rename or remove it meanwhile, and readers of the
// process may open it (with write sharing), no other writer. A file of the name that no
// claim holds (its writer died) is replaced. Refusals: ERROR_SHARING_VIOLATION (another
// claim holds the name), ERROR_FILE_EXISTS (a link, a folder or a pipe has it).
HANDLE SLPlatformClaimFileW(LPCWSTR path);
// 3 (a fixed disk) for "C:\", 1 (no root) for every other drive.
UINT GetDriveTypeA(LPCSTR root);
UINT GetDriveTypeW(LPCWSTR root);

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection, DWORD maximumHigh,
                          DWORD maximumLow, LPCSTR name);
HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection, DWORD maximumHigh,
                          DWORD maximumLow, LPCWSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL FlushViewOfFile(LPCVOID address, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID address);

namespace SLPlatformFile {

// An open file: its descriptor, the access and sharing it was opened with, and its
// entry in the process's table of open files (which emulates the sharing modes).
class SLFileObject : public SLKernelObject {
 public:
  SLFileObject() : SLKernelObject(Kind::File) {}
  ~SLFileObject() override;

  int fd = -1;
  DWORD access = 0;
  DWORD share = 0;
  dev_t device = 0;
  ino_t inode = 0;
  bool registered = false;    // holds an entry in the open-file table
  bool deleteOnClose = false;
  std::string hostPath;
};

std::shared_ptr<SLFileObject> GetFile(HANDLE handle);

// The file object of `fd`, just opened on `host`, entered in the process's table of open
// files. Null with the system error set (the descriptor closed) for a directory, or when
// the sharing of the handles already open on the file refuses `access` or `share`.
std::shared_ptr<SLFileObject> EnterOpenFile(int fd, const std::string& host, DWORD access, DWORD share);

// Creates `host` afresh for writing and locks it (flock) for as long as the descriptor
// in `*fd` stays open. 0, or the errno of the failure: EWOULDBLOCK when another open file
// holds the name (a live writer's, of any process), EEXIST when the name is taken by
// something that is no writer's (a link, a folder, a pipe), left as it is. A file of the
// name that nobody holds was left by a writer that ended without removing it: it goes.
int ClaimHostFile(const std::string& host, int* fd);

// The attributes Windows would show for an entry of the given mode (a link's own) and
// name (the last component of its path).
DWORD AttributesOf(mode_t mode, bool linkToDirectory, const std::string& name);
std::string LastComponent(const std::string& host);

// Whether deleting `hostPath` is allowed by the sharing of the handles open on it.
bool MayDelete(const std::string& hostPath);

// FILETIME ticks (100 ns since 1601) of a POSIX time.
FILETIME ToFileTime(std::int64_t seconds, std::int64_t nanoseconds);

}  // namespace SLPlatformFile
