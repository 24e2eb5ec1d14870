// The storage over a file of the operating system, and the process-wide table of the
// system's file functions it reaches the system through.
#pragma once

#include "foundation/SLSingleton.h"
#include "platform/winfile.h"
#include "storage/SLBaseStorage.h"

namespace SLInternals {

// The 42 file functions of "kernel32.dll" and the platform's claim of a file, bound by
// name at first use. A function the system lacks stays null; the wrappers then fall back
// to an older call or fail with a system error (87 invalid parameter, 120 not
// implemented, 8 out of memory).
class CSLFileStorageInternal : public CSLBaseOODClass {
 public:
  CSLFileStorageInternal();
  ~CSLFileStorageInternal() override;
  bool Initialize() override;
  static CSLBaseOODClass* CreateInstance(void* memory);

  HANDLE CreateFileA(const char* path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD attributes, HANDLE templateFile);
  HANDLE CreateFileW(const SLWChar* path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD attributes, HANDLE templateFile);
  BOOL DeleteFileA(const char* path);
  BOOL DeleteFileW(const SLWChar* path);
  BOOL CreateDirectoryA(const char* path, LPSECURITY_ATTRIBUTES security);
  BOOL CreateDirectoryW(const SLWChar* path, LPSECURITY_ATTRIBUTES security);
  BOOL RemoveDirectoryA(const char* path);
  BOOL RemoveDirectoryW(const SLWChar* path);
  DWORD GetFileAttributesA(const char* path);
  DWORD GetFileAttributesW(const SLWChar* path);
  BOOL SetFileAttributesA(const char* path, DWORD attributes);
  BOOL SetFileAttributesW(const SLWChar* path, DWORD attributes);
  BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped);
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped);
  BOOL FlushFileBuffers(HANDLE file);
  BOOL SetEndOfFile(HANDLE file);
  BOOL LockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow, DWORD lengthHigh);
  BOOL UnlockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow, DWORD lengthHigh);
  BOOL SetFilePointerEx(HANDLE file, i64 distance, u64* newPosition, DWORD origin);
  BOOL GetFileSizeEx(HANDLE file, u64* size);
  BOOL GetCompressedFileSizeA(const char* path, u64* size);
  BOOL GetCompressedFileSizeW(const SLWChar* path, u64* size);
  HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data);
  HANDLE FindFirstFileW(const SLWChar* pattern, WIN32_FIND_DATAW* data);
  BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
  BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
  BOOL FindClose(HANDLE find);
  HANDLE CreateFileMapping(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection,
                           DWORD maximumHigh, DWORD maximumLow, const char* name);
  void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
  BOOL UnmapViewOfFile(const void* view);
  BOOL CloseHandle(HANDLE handle);
  BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write);
  BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
  // The platform's claim of a file for one writer (SL_STORAGE_CLAIM); the 8-bit form
  // converts the path as the path rule does.
  HANDLE ClaimFileA(const char* path);
  HANDLE ClaimFileW(const SLWChar* path);

  using PCreateFileA = HANDLE (*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  using PCreateFileW = HANDLE (*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  using PPathA = BOOL (*)(LPCSTR);
  using PPathW = BOOL (*)(LPCWSTR);
  using PReadFile = BOOL (*)(HANDLE, LPVOID, DWORD, DWORD*, LPOVERLAPPED);
  using PWriteFile = BOOL (*)(HANDLE, LPCVOID, DWORD, DWORD*, LPOVERLAPPED);
  using PHandle = BOOL (*)(HANDLE);
  using PLockFile = BOOL (*)(HANDLE, DWORD, DWORD, DWORD, DWORD);
  using PLockFileEx = BOOL (*)(HANDLE, DWORD, DWORD, DWORD, DWORD, LPOVERLAPPED);
  using PSetFilePointer = DWORD (*)(HANDLE, LONG, LONG*, DWORD);
  using PSetFilePointerEx = BOOL (*)(HANDLE, LARGE_INTEGER, LARGE_INTEGER*, DWORD);
  using PGetFileSize = DWORD (*)(HANDLE, DWORD*);
  using PGetFileSizeEx = BOOL (*)(HANDLE, LARGE_INTEGER*);
  using PGetCompressedFileSizeA = DWORD (*)(LPCSTR, DWORD*);
  using PGetCompressedFileSizeW = DWORD (*)(LPCWSTR, DWORD*);
  using PFindFirstFileA = HANDLE (*)(LPCSTR, WIN32_FIND_DATAA*);
  using PFindFirstFileW = HANDLE (*)(LPCWSTR, WIN32_FIND_DATAW*);
  using PFindNextFileA = BOOL (*)(HANDLE, WIN32_FIND_DATAA*);
  using PFindNextFileW = BOOL (*)(HANDLE, WIN32_FIND_DATAW*);
  using PCreateDirectoryA = BOOL (*)(LPCSTR, LPSECURITY_ATTRIBUTES);
  using PCreateDirectoryW = BOOL (*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
  using PGetCurrentDirectoryA = DWORD (*)(DWORD, LPSTR);
  using PGetCurrentDirectoryW = DWORD (*)(DWORD, LPWSTR);
  using PCreateFileMappingA = HANDLE (*)(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCSTR);
  using PCreateFileMappingW = HANDLE (*)(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCWSTR);
  using PMapViewOfFile = LPVOID (*)(HANDLE, DWORD, DWORD, DWORD, SIZE_T);
  using PFlushViewOfFile = BOOL (*)(LPCVOID, SIZE_T);
  using PUnmapViewOfFile = BOOL (*)(LPCVOID);
  using PGetFileAttributesA = DWORD (*)(LPCSTR);
  using PGetFileAttributesW = DWORD (*)(LPCWSTR);
  using PSetFileAttributesA = BOOL (*)(LPCSTR, DWORD);
  using PSetFileAttributesW = BOOL (*)(LPCWSTR, DWORD);
  using PGetFileTime = BOOL (*)(HANDLE, FILETIME*, FILETIME*, FILETIME*);
  using PGetFileInformationByHandle = BOOL (*)(HANDLE, BY_HANDLE_FILE_INFORMATION*);
  using PClaimFileW = HANDLE (*)(LPCWSTR);

  void ClearPointers();

  HMODULE m_kernel32;
  PCreateFileA m_pCreateFileA;
  PCreateFileW m_pCreateFileW;
  PPathA m_pDeleteFileA;
  PPathW m_pDeleteFileW;
  PReadFile m_pReadFile;
  PWriteFile m_pWriteFile;
  PHandle m_pFlushFileBuffers;
  PLockFile m_pLockFile;
  PLockFileEx m_pLockFileEx;
  PLockFile m_pUnlockFile;
  PSetFilePointer m_pSetFilePointer;
  PSetFilePointerEx m_pSetFilePointerEx;
  PGetFileSize m_pGetFileSize;
  PGetFileSizeEx m_pGetFileSizeEx;
  PHandle m_pSetEndOfFile;
  PGetCompressedFileSizeA m_pGetCompressedFileSizeA;
  PGetCompressedFileSizeW m_pGetCompressedFileSizeW;
  PFindFirstFileA m_pFindFirstFileA;
  PFindFirstFileW m_pFindFirstFileW;
  PFindNextFileA m_pFindNextFileA;
  PFindNextFileW m_pFindNextFileW;
  PHandle m_pFindClose;
  PCreateDirectoryA m_pCreateDirectoryA;
  PCreateDirectoryW m_pCreateDirectoryW;
  PPathA m_pRemoveDirectoryA;
  PPathW m_pRemoveDirectoryW;
  PPathA m_pSetCurrentDirectoryA;
  PPathW m_pSetCurrentDirectoryW;
  PGetCurrentDirectoryA m_pGetCurrentDirectoryA;
  PGetCurrentDirectoryW m_pGetCurrentDirectoryW;
  PCreateFileMappingA m_pCreateFileMappingA;
  PCreateFileMappingW m_pCreateFileMappingW;
  PMapViewOfFile m_pMapViewOfFile;
  PFlushViewOfFile m_pFlushViewOfFile;
  PUnmapViewOfFile m_pUnmapViewOfFile;
  PHandle m_pCloseHandle;
  PGetFileAttributesA m_pGetFileAttributesA;
  PGetFileAttributesW m_pGetFileAttributesW;
  PSetFileAttributesA m_pSetFileAttributesA;
  PSetFileAttributesW m_pSetFileAttributesW;
  PGetFileTime m_pGetFileTime;
  PGetFileInformationByHandle m_pGetFileInformationByHandle;
  // Not one of the system's own: "SLPlatformClaimFileW", which the Linux layer adds.
  PClaimFileW m_pClaimFileW;
};

}  // namespace SLInternals

// The table, made on first use (existingOnly false). Null with 0x80000001 when it
// cannot be made, or (existingOnly) when it does not exist yet.
SLInternals::CSLFileStorageInternal* SLGetFileStorageApi(bool existingOnly);

// Renames `from` over `to` in one step, replacing a file of that name ("kernel32.dll"
// MoveFileExW): whoever reads `to` finds the old file or the new one, never neither nor a
// part. Writers that must not lose the old file to a failed write build the new one
// under a sibling name and end with this. False with SL_E_ENTRY_MISSING when the system
// lacks the call, else SL_E_STORAGE_WRITE; the system's own error number stays readable
// (SLGetSystemLastError).
bool SLReplaceFileA(const char* from, const char* to);
bool SLReplaceFileW(const SLWChar* from, const SLWChar* to);

// The search and mapping state of a file storage, made on first use.
struct SLFileStorageState {
  HANDLE mapping;
  void* view;
  HANDLE search;
  void* searchDirectory;  // char* or SLWChar* after the search's width: directory + "*"
  void* namePattern;      // the pattern's last component
  bool searchWide;
  union {  // the entry the last system call returned, in the search's width
    WIN32_FIND_DATAA findDataA;
    WIN32_FIND_DATAW findDataW;
  };
  SLStorageFindRecord* recordA;
  SLStorageFindRecord* recordW;
};

class CSLFileStorage : public CSLBaseStorage {
  SL_DECLARE_CLASS(CSLFileStorage)
 public:
  CSLFileStorage();
  ~CSLFileStorage() override;

  bool GetTime(CSLDateTime* out) override;
  bool AttachContainer(CSLBaseStorage* source) override;
  CSLBaseStorage* GetContainer() override;
  bool CreateW(const SLWChar* path, u32 flags) override;
  bool CreateA(const char* path, u32 flags) override;
  bool OpenW(const SLWChar* path, u32 flags) override;
  bool OpenA(const char* path, u32 flags) override;
  void Close() override;
  bool DeleteW(const SLWChar* path) override;
  bool DeleteA(const char* path) override;
  bool CanRead() override;
  u64 Read(void* buffer, u64 count) override;
  bool CanWrite() override;
  u64 Write(const void* buffer, u64 count) override;
  bool CanSeek() override;
  bool Seek(i64 offset, u32 origin) override;
  bool GetPosition(u64* out) override;
  bool IsEOF() override;
  bool Flush() override;
  bool Lock(u64 offset, u64 length) override;
  bool Unlock(u64 offset, u64 length) override;
  bool SetSize(u64 size) override;
  bool GetSize(u64* out) override;
  bool CreateDirectoryW(const SLWChar* path) override;
  bool CreateDirectoryA(const char* path) override;
  bool RemoveDirectoryW(const SLWChar* path, bool subdirectories, bool files) override;
  bool RemoveDirectoryA(const char* path, bool subdirectories, bool files) override;
  SLStorageFindRecord* FindFirstA(const char* pattern) override;
  SLStorageFindRecord* FindFirstW(const SLWChar* pattern) override;
  SLStorageFindRecord* FindNextA() override;
  SLStorageFindRecord* FindNextW() override;
  void* MapView() override;
  void UnmapView() override;

  // Whether `path` names the very file this storage has open, not another put under the
  // name since: a writer that renames or removes its file by name asks first, so that it
  // never takes a file that is no longer its own. False with SL_OK when the name reaches
  // another file, SL_E_STORAGE_OPEN when it reaches none or the system cannot tell (the
  // system's error says why), SL_E_STORAGE_NOT_OPEN when this storage is closed.
  bool IsNamedA(const char* path);
  bool IsNamedW(const SLWChar* path);

  // The open flags with the defaults filled in; 0 when closed.
  u32 GetFlags() const { return m_flags; }
  HANDLE GetHandle() const { return m_handle; }
  // The system attributes of the entry the running search stands on (a symbolic link
  // carries FILE_ATTRIBUTE_REPARSE_POINT); INVALID_FILE_ATTRIBUTES without a search.
  DWORD GetFoundAttributes() const;

  static void EndFind(SLFileStorageState* state);
  static bool EnsureFindState(SLFileStorageState** state);
  static bool BuildFindRecordA(SLFileStorageState* state);
  static bool BuildFindRecordW(SLFileStorageState* state);

 private:
  template <class C>
  bool CreateOrOpen(const C* path, u32 flags, bool create);
  template <class C>
  bool DeleteT(const C* path);
  template <class C>
  bool IsNamedT(const C* path);
  template <class C>
  bool CreateDirectoryT(const C* path);
  template <class C>
  bool RemoveDirectoryT(const C* path, bool subdirectories, bool files);
  template <class C>
  SLStorageFindRecord* FindFirstT(const C* pattern);
  template <class C>
  SLStorageFindRecord* FindNextT();

  HANDLE m_handle;
  u32 m_flags;
  SLFileStorageState* m_state;
};
