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

// Whether deleting `hostPath` is allowed by the sharing of the handles open on it.
bool MayDelete(const std::string& hostPath);

// FILETIME ticks (100 ns since 1601) of a POSIX time.
FILETIME ToFileTime(std::int64_t seconds, std::int64_t nanoseconds);

}  // namespace SLPlatformFile
