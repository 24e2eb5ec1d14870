// The table of the system's file functions, its wrappers and the path rule.
#include "foundation/SLTextConvert.h"
#include "storage/SLFileStorage.h"

#include <new>

#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLSync.h"
#include "foundation/SLWideText.h"
#include "storage/SLFileSystem.h"



using SLInternals::CSLFileStorageInternal;

// ---- the function table ----

void CSLFileStorageInternal::ClearPointers() {
  m_kernel32 = nullptr;
  m_pCreateFileA = nullptr;
  m_pCreateFileW = nullptr;
  m_pDeleteFileA = nullptr;
  m_pDeleteFileW = nullptr;
  m_pReadFile = nullptr;
  m_pWriteFile = nullptr;
  m_pFlushFileBuffers = nullptr;
  m_pLockFile = nullptr;
  m_pLockFileEx = nullptr;
  m_pUnlockFile = nullptr;
  m_pSetFilePointer = nullptr;
  m_pSetFilePointerEx = nullptr;
  m_pGetFileSize = nullptr;
  m_pGetFileSizeEx = nullptr;
  m_pSetEndOfFile = nullptr;
  m_pGetCompressedFileSizeA = nullptr;
  m_pGetCompressedFileSizeW = nullptr;
  m_pFindFirstFileA = nullptr;
  m_pFindFirstFileW = nullptr;
  m_pFindNextFileA = nullptr;
  m_pFindNextFileW = nullptr;
  m_pFindClose = nullptr;
  m_pCreateDirectoryA = nullptr;
  m_pCreateDirectoryW = nullptr;
  m_pRemoveDirectoryA = nullptr;
  m_pRemoveDirectoryW = nullptr;
  m_pSetCurrentDirectoryA = nullptr;
  m_pSetCurrentDirectoryW = nullptr;
  m_pGetCurrentDirectoryA = nullptr;
  m_pGetCurrentDirectoryW = nullptr;
  m_pCreateFileMappingA = nullptr;
  m_pCreateFileMappingW = nullptr;
  m_pMapViewOfFile = nullptr;
  m_pFlushViewOfFile = nullptr;
  m_pUnmapViewOfFile = nullptr;
  m_pCloseHandle = nullptr;
  m_pGetFileAttributesA = nullptr;
  m_pGetFileAttributesW = nullptr;
  m_pSetFileAttributesA = nullptr;
  m_pSetFileAttributesW = nullptr;
  m_pGetFileTime = nullptr;
  m_pGetFileInformationByHandle = nullptr;
  m_pClaimFileW = nullptr;
}

CSLFileStorageInternal::CSLFileStorageInternal() { ClearPointers(); }

CSLFileStorageInternal::~CSLFileStorageInternal() {
  HMODULE module = m_kernel32;
  ClearPointers();
  if (module) SLFreeLibrary(module);
}

bool CSLFileStorageInternal::Initialize() {
  // A system without the module leaves every pointer null; each wrapper then fails on
  // its own, so the table itself is always usable.
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (!m_kernel32) return true;
  HMODULE k = m_kernel32;
  SLBindProc(k, u"CreateFileA", &m_pCreateFileA);
  SLBindProc(k, u"CreateFileW", &m_pCreateFileW);
  SLBindProc(k, u"DeleteFileA", &m_pDeleteFileA);
  SLBindProc(k, u"DeleteFileW", &m_pDeleteFileW);
  SLBindProc(k, u"ReadFile", &m_pReadFile);
  SLBindProc(k, u"WriteFile", &m_pWriteFile);
  SLBindProc(k, u"FlushFileBuffers", &m_pFlushFileBuffers);
  SLBindProc(k, u"LockFile", &m_pLockFile);
  SLBindProc(k, u"LockFileEx", &m_pLockFileEx);
  SLBindProc(k, u"UnlockFile", &m_pUnlockFile);
  SLBindProc(k, u"SetFilePointer", &m_pSetFilePointer);
  SLBindProc(k, u"SetFilePointerEx", &m_pSetFilePointerEx);
  SLBindProc(k, u"GetFileSize", &m_pGetFileSize);
  SLBindProc(k, u"GetFileSizeEx", &m_pGetFileSizeEx);
  SLBindProc(k, u"SetEndOfFile", &m_pSetEndOfFile);
  SLBindProc(k, u"GetCompressedFileSizeA", &m_pGetCompressedFileSizeA);
  SLBindProc(k, u"GetCompressedFileSizeW", &m_pGetCompressedFileSizeW);
  SLBindProc(k, u"FindFirstFileA", &m_pFindFirstFileA);
  SLBindProc(k, u"FindFirstFileW", &m_pFindFirstFileW);
  SLBindProc(k, u"FindNextFileA", &m_pFindNextFileA);
  SLBindProc(k, u"FindNextFileW", &m_pFindNextFileW);
  SLBindProc(k, u"FindClose", &m_pFindClose);
  SLBindProc(k, u"CreateDirectoryA", &m_pCreateDirectoryA);
  SLBindProc(k, u"CreateDirectoryW", &m_pCreateDirectoryW);
  SLBindProc(k, u"RemoveDirectoryA", &m_pRemoveDirectoryA);
  SLBindProc(k, u"RemoveDirectoryW", &m_pRemoveDirectoryW);
  SLBindProc(k, u"SetCurrentDirectoryA", &m_pSetCurrentDirectoryA);
  SLBindProc(k, u"SetCurrentDirectoryW", &m_pSetCurrentDirectoryW);
  SLBindProc(k, u"GetCurrentDirectoryA", &m_pGetCurrentDirectoryA);
  SLBindProc(k, u"GetCurrentDirectoryW", &m_pGetCurrentDirectoryW);
  SLBindProc(k, u"CreateFileMappingA", &m_pCreateFileMappingA);
  SLBindProc(k, u"CreateFileMappingW", &m_pCreateFileMappingW);
  SLBindProc(k, u"MapViewOfFile", &m_pMapViewOfFile);
  SLBindProc(k, u"FlushViewOfFile", &m_pFlushViewOfFile);
  SLBindProc(k, u"UnmapViewOfFile", &m_pUnmapViewOfFile);
  SLBindProc(k, u"CloseHandle", &m_pCloseHandle);
  SLBindProc(k, u"GetFileAttributesA", &m_pGetFileAttributesA);
  SLBindProc(k, u"GetFileAttributesW", &m_pGetFileAttributesW);
  SLBindProc(k, u"SetFileAttributesA", &m_pSetFileAttributesA);
  SLBindProc(k, u"SetFileAttributesW", &m_pSetFileAttributesW);
  SLBindProc(k, u"GetFileTime", &m_pGetFileTime);
  SLBindProc(k, u"GetFileInformationByHandle", &m_pGetFileInformationByHandle);
  SLBindProc(k, u"SLPlatformClaimFileW", &m_pClaimFileW);
  return true;
}

CSLBaseOODClass* CSLFileStorageInternal::CreateInstance(void* memory) {
  if (memory) return new (memory) CSLFileStorageInternal();
  return new (std::nothrow) CSLFileStorageInternal();
}

namespace {
CSLFileStorageInternal* s_fileApi = nullptr;
}

CSLFileStorageInternal* SLGetFileStorageApi(bool existingOnly) {
  CSLFileStorageInternal* api = std::atomic_ref<CSLFileStorageInternal*>(s_fileApi).load(std::memory_order_acquire);
  if (!api && !existingOnly) {
    if (!SLGetOODInstance(reinterpret_cast<void**>(&s_fileApi), SL_OOD_PRIORITY_LOADERS,
                          &CSLFileStorageInternal::CreateInstance, nullptr, nullptr))
      return SLFail<CSLFileStorageInternal*>(SL_E_OUT_OF_MEMORY, nullptr);
    api = std::atomic_ref<CSLFileStorageInternal*>(s_fileApi).load(std::memory_order_acquire);
    if (!api) return SLFail<CSLFileStorageInternal*>(SL_E_OUT_OF_MEMORY, nullptr);
  }
  SLSetLastError(SL_OK);
  return api;
}

// ---- the path rule ----

namespace {

constexpr u32 kShortPathLimit = 260;

// Calls the 8-bit function with a short path unchanged; otherwise the wide one with the
// path converted from the system code page, long paths behind "\\?\" (or "\\?\UNC\"
// for a network path, whose two leading backslashes are dropped).
template <class R, class CallA, class CallW>
R WithPathA(const char* path, bool haveA, bool haveW, R failure, CallA callA, CallW callW) {
  if (!path) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return failure;
  }
  if (!haveA && !haveW) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return failure;
  }
  u32 length = SLTextLength(path);
  if (haveA && length <= kShortPathLimit) return callA(path);
  if (!haveW) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return failure;
  }
  const char16_t* prefix = u"";
  const char* source = path;
  if (length > kShortPathLimit) {
    if (path[0] == '\\' && path[1] == '\\') {
      prefix = u"\\\\?\\UNC\\";
      source += 2;
    } else {
      prefix = u"\\\\?\\";
    }
  }
  u32 prefixLength = 0;
  while (prefix[prefixLength]) ++prefixLength;
  u32 units = 0;
  u32 keep = SLGetLastError(false);
  bool measured = SLAnsiToWide(nullptr, &units, source, SL_TEXT_TO_END, 0);
  u64 total = u64(prefixLength) + units + 1;
  SLWChar* buffer = nullptr;
  if (measured && total * sizeof(SLWChar) <= 0xFFFFFFFFu)
    buffer = static_cast<SLWChar*>(SLAlloc(u32(total * sizeof(SLWChar))));
  u32 capacity = units + 1;
  if (!buffer || !SLAnsiToWide(buffer + prefixLength, &capacity, source, SL_TEXT_TO_END, 0)) {
    SLFree(buffer);
    SLSetLastError(keep);
    SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
  SLSetLastError(keep);
  for (u32 i = 0; i < prefixLength; ++i) buffer[i] = prefix[i];
  buffer[prefixLength + (capacity < units ? capacity : units)] = 0;
  R result = callW(buffer);
  SLFree(buffer);
  return result;
}

// Calls the wide function with the path unchanged; otherwise the 8-bit one with the
// path converted to the system code page (which cannot carry a long path).
template <class R, class CallA, class CallW>
R WithPathW(const SLWChar* path, bool haveA, bool haveW, R failure, CallA callA, CallW callW) {
  if (!path) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return failure;
  }
  if (!haveA && !haveW) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return failure;
  }
  if (haveW) return callW(path);
  u32 keep = SLGetLastError(false);
  u32 bytes = 0;
  if (!SLWideToAnsi(nullptr, &bytes, path, SL_TEXT_TO_END, 0)) {
    SLSetLastError(keep);
    SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
  if (bytes >= kShortPathLimit - 1) {
    SLSetLastError(keep);
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return failure;
  }
  char buffer[kShortPathLimit];
  u32 capacity = sizeof buffer;
  if (!SLWideToAnsi(buffer, &capacity, path, SL_TEXT_TO_END, 0)) {
    SLSetLastError(keep);
    SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
  SLSetLastError(keep);
  buffer[capacity < bytes ? capacity : bytes] = 0;
  return callA(buffer);
}

void WideToAnsiField(const SLWChar* source, char* target, u32 capacity) {
  u32 keep = SLGetLastError(false);
  u32 size = capacity - 1;
  if (!SLWideToAnsi(target, &size, source, SL_TEXT_TO_END, 0)) size = 0;
  target[size < capacity - 1 ? size : capacity - 1] = 0;
  SLSetLastError(keep);
}

void AnsiToWideField(const char* source, SLWChar* target, u32 capacity) {
  u32 keep = SLGetLastError(false);
  u32 size = capacity - 1;
  if (!SLAnsiToWide(target, &size, source, SL_TEXT_TO_END, 0)) size = 0;
  target[size < capacity - 1 ? size : capacity - 1] = 0;
  SLSetLastError(keep);
}

void CopyFindHeader(const auto* source, auto* target) {
  target->dwFileAttributes = source->dwFileAttributes;
  target->ftCreationTime = source->ftCreationTime;
  target->ftLastAccessTime = source->ftLastAccessTime;
  target->ftLastWriteTime = source->ftLastWriteTime;
  target->nFileSizeHigh = source->nFileSizeHigh;
  target->nFileSizeLow = source->nFileSizeLow;
  target->dwReserved0 = source->dwReserved0;
  target->dwReserved1 = source->dwReserved1;
}

template <class T>
void ZeroRecord(T* record) {
  SLMemSet(record, 0, u32(sizeof(T)));
}

}  // namespace

void SLFindDataWToA(const WIN32_FIND_DATAW* source, WIN32_FIND_DATAA* target) {
  CopyFindHeader(source, target);
  WideToAnsiField(source->cFileName, target->cFileName, MAX_PATH);
  WideToAnsiField(source->cAlternateFileName, target->cAlternateFileName, 14);
}

void SLFindDataAToW(const WIN32_FIND_DATAA* source, WIN32_FIND_DATAW* target) {
  CopyFindHeader(source, target);
  AnsiToWideField(source->cFileName, target->cFileName, MAX_PATH);
  AnsiToWideField(source->cAlternateFileName, target->cAlternateFileName, 14);
}

// ---- wrappers ----

HANDLE CSLFileStorageInternal::CreateFileA(const char* path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                           DWORD disposition, DWORD attributes, HANDLE templateFile) {
  return WithPathA(
      path, m_pCreateFileA != nullptr, m_pCreateFileW != nullptr, INVALID_HANDLE_VALUE,
      [&](const char* p) { return m_pCreateFileA(p, access, share, security, disposition, attributes, templateFile); },
      [&](const SLWChar* p) { return m_pCreateFileW(p, access, share, security, disposition, attributes, templateFile); });
}

HANDLE CSLFileStorageInternal::ClaimFileA(const char* path) {
  return WithPathA(
      path, false, m_pClaimFileW != nullptr, INVALID_HANDLE_VALUE, [](const char*) { return INVALID_HANDLE_VALUE; },
      [&](const SLWChar* p) { return m_pClaimFileW(p); });
}

HANDLE CSLFileStorageInternal::ClaimFileW(const SLWChar* path) {
  return WithPathW(
      path, false, m_pClaimFileW != nullptr, INVALID_HANDLE_VALUE, [](const char*) { return INVALID_HANDLE_VALUE; },
      [&](const SLWChar* p) { return m_pClaimFileW(p); });
}

HANDLE CSLFileStorageInternal::CreateFileW(const SLWChar* path, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD attributes,
                                           HANDLE templateFile) {
  return WithPathW(
      path, m_pCreateFileA != nullptr, m_pCreateFileW != nullptr, INVALID_HANDLE_VALUE,
      [&](const char* p) { return m_pCreateFileA(p, access, share, security, disposition, attributes, templateFile); },
      [&](const SLWChar* p) { return m_pCreateFileW(p, access, share, security, disposition, attributes, templateFile); });
}

#define SL_PATH_WRAPPER_PAIR(name, ret, failure, extraDecl, extraArgs)                                   \
  ret CSLFileStorageInternal::name##A(const char* path extraDecl) {                                      \
    return WithPathA(                                                                                    \
        path, m_p##name##A != nullptr, m_p##name##W != nullptr, ret(failure),                            \
        [&](const char* p) { return m_p##name##A(p extraArgs); },                                        \
        [&](const SLWChar* p) { return m_p##name##W(p extraArgs); });                                    \
  }                                                                                                      \
  ret CSLFileStorageInternal::name##W(const SLWChar* path extraDecl) {                                   \
    return WithPathW(                                                                                    \
        path, m_p##name##A != nullptr, m_p##name##W != nullptr, ret(failure),                            \
        [&](const char* p) { return m_p##name##A(p extraArgs); },                                        \
        [&](const SLWChar* p) { return m_p##name##W(p extraArgs); });                                    \
  }

#define SL_NOTHING
#define SL_COMMA ,
SL_PATH_WRAPPER_PAIR(DeleteFile, BOOL, FALSE, SL_NOTHING, SL_NOTHING)
SL_PATH_WRAPPER_PAIR(RemoveDirectory, BOOL, FALSE, SL_NOTHING, SL_NOTHING)
SL_PATH_WRAPPER_PAIR(GetFileAttributes, DWORD, INVALID_FILE_ATTRIBUTES, SL_NOTHING, SL_NOTHING)
SL_PATH_WRAPPER_PAIR(CreateDirectory, BOOL, FALSE, SL_COMMA LPSECURITY_ATTRIBUTES security, SL_COMMA security)
SL_PATH_WRAPPER_PAIR(SetFileAttributes, BOOL, FALSE, SL_COMMA DWORD attributes, SL_COMMA attributes)
#undef SL_PATH_WRAPPER_PAIR

BOOL CSLFileStorageInternal::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped) {
  if (!m_pReadFile) {
    if (done) *done = 0;
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return m_pReadFile(file, buffer, count, done, overlapped);
}

BOOL CSLFileStorageInternal::WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done,
                                       LPOVERLAPPED overlapped) {
  if (!m_pWriteFile) {
    if (done) *done = 0;
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return m_pWriteFile(file, buffer, count, done, overlapped);
}

namespace {
template <class F, class... A>
auto CallOrFail(F function, decltype(function(std::declval<A>()...)) failure, A... args) {
  if (!function) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return failure;
  }
  return function(args...);
}
}  // namespace

BOOL CSLFileStorageInternal::FlushFileBuffers(HANDLE file) { return CallOrFail(m_pFlushFileBuffers, FALSE, file); }
BOOL CSLFileStorageInternal::SetEndOfFile(HANDLE file) { return CallOrFail(m_pSetEndOfFile, FALSE, file); }
BOOL CSLFileStorageInternal::CloseHandle(HANDLE handle) { return CallOrFail(m_pCloseHandle, FALSE, handle); }
BOOL CSLFileStorageInternal::UnmapViewOfFile(const void* view) { return CallOrFail(m_pUnmapViewOfFile, FALSE, view); }
BOOL CSLFileStorageInternal::UnlockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow,
                                        DWORD lengthHigh) {
  return CallOrFail(m_pUnlockFile, FALSE, file, offsetLow, offsetHigh, lengthLow, lengthHigh);
}
void* CSLFileStorageInternal::MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                                            SIZE_T bytes) {
  return CallOrFail(m_pMapViewOfFile, static_cast<void*>(nullptr), mapping, access, offsetHigh, offsetLow, bytes);
}
BOOL CSLFileStorageInternal::GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write) {
  return CallOrFail(m_pGetFileTime, FALSE, file, creation, access, write);
}
BOOL CSLFileStorageInternal::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  return CallOrFail(m_pGetFileInformationByHandle, FALSE, file, information);
}

BOOL CSLFileStorageInternal::FindClose(HANDLE find) {
  if (!m_pFindClose) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return m_pFindClose(find);
}

BOOL CSLFileStorageInternal::LockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD lengthLow,
                                      DWORD lengthHigh) {
  if (m_pLockFileEx) {
    // A shared lock that fails at once when it cannot be had, as the older call does.
    OVERLAPPED where{};
    where.Offset = offsetLow;
    where.OffsetHigh = offsetHigh;
    return m_pLockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0, lengthLow, lengthHigh, &where);
  }
  return CallOrFail(m_pLockFile, FALSE, file, offsetLow, offsetHigh, lengthLow, lengthHigh);
}

BOOL CSLFileStorageInternal::SetFilePointerEx(HANDLE file, i64 distance, u64* newPosition, DWORD origin) {
  SLSetSystemLastError(ERROR_SUCCESS);
  DWORD method = FILE_CURRENT;
  if (origin <= 2) {
    method = origin;
  } else {
    distance = 0;
  }
  if (m_pSetFilePointerEx) {
    LARGE_INTEGER move;
    LARGE_INTEGER result;
    move.QuadPart = distance;
    result.QuadPart = 0;
    if (!m_pSetFilePointerEx(file, move, &result, method)) return FALSE;
    if (newPosition) *newPosition = u64(result.QuadPart);
    return TRUE;
  }
  if (m_pSetFilePointer) {
    LONG high = LONG(distance >> 32);
    DWORD low = m_pSetFilePointer(file, LONG(u32(distance)), &high, method);
    if (low == INVALID_SET_FILE_POINTER && SLGetSystemLastError() != ERROR_SUCCESS) return FALSE;
    if (newPosition) *newPosition = (u64(u32(high)) << 32) | low;
    return TRUE;
  }
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL CSLFileStorageInternal::GetFileSizeEx(HANDLE file, u64* size) {
  if (size) *size = 0;
  SLSetSystemLastError(ERROR_SUCCESS);
  if (m_pGetFileSizeEx) {
    LARGE_INTEGER result;
    result.QuadPart = 0;
    if (!m_pGetFileSizeEx(file, &result)) return FALSE;
    if (size) *size = u64(result.QuadPart);
    return TRUE;
  }
  if (m_pGetFileSize) {
    DWORD high = 0;
    DWORD low = m_pGetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && SLGetSystemLastError() != ERROR_SUCCESS) return FALSE;
    if (size) *size = (u64(high) << 32) | low;
    return TRUE;
  }
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

namespace {

// One body for both path widths; the path rule of its width picks the entry point.
template <class C>
BOOL CompressedFileSize(CSLFileStorageInternal* api, const C* path, u64* size) {
  if (size) *size = 0;
  SLSetSystemLastError(ERROR_SUCCESS);
  DWORD high = 0;
  auto callA = [&](const char* p) { return api->m_pGetCompressedFileSizeA(p, &high); };
  auto callW = [&](const SLWChar* p) { return api->m_pGetCompressedFileSizeW(p, &high); };
  const bool haveA = api->m_pGetCompressedFileSizeA != nullptr, haveW = api->m_pGetCompressedFileSizeW != nullptr;
  DWORD low;
  if constexpr (sizeof(C) == 1)
    low = WithPathA(path, haveA, haveW, INVALID_FILE_SIZE, callA, callW);
  else
    low = WithPathW(path, haveA, haveW, INVALID_FILE_SIZE, callA, callW);
  if (low == INVALID_FILE_SIZE && SLGetSystemLastError() != ERROR_SUCCESS) return FALSE;
  if (size) *size = (u64(high) << 32) | low;
  return TRUE;
}

}  // namespace

BOOL CSLFileStorageInternal::GetCompressedFileSizeA(const char* path, u64* size) {
  return CompressedFileSize(this, path, size);
}

BOOL CSLFileStorageInternal::GetCompressedFileSizeW(const SLWChar* path, u64* size) {
  return CompressedFileSize(this, path, size);
}

HANDLE CSLFileStorageInternal::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  if (!data) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return WithPathA(
      pattern, m_pFindFirstFileA != nullptr, m_pFindFirstFileW != nullptr, INVALID_HANDLE_VALUE,
      [&](const char* p) { return m_pFindFirstFileA(p, data); },
      [&](const SLWChar* p) {
        WIN32_FIND_DATAW wide;
        HANDLE found = m_pFindFirstFileW(p, &wide);
        if (found == INVALID_HANDLE_VALUE || !found)
          ZeroRecord(data);
        else
          SLFindDataWToA(&wide, data);
        return found;
      });
}

HANDLE CSLFileStorageInternal::FindFirstFileW(const SLWChar* pattern, WIN32_FIND_DATAW* data) {
  if (!data) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return WithPathW(
      pattern, m_pFindFirstFileA != nullptr, m_pFindFirstFileW != nullptr, INVALID_HANDLE_VALUE,
      [&](const char* p) {
        WIN32_FIND_DATAA narrow;
        HANDLE found = m_pFindFirstFileA(p, &narrow);
        if (found == INVALID_HANDLE_VALUE || !found)
          ZeroRecord(data);
        else
          SLFindDataAToW(&narrow, data);
        return found;
      },
      [&](const SLWChar* p) { return m_pFindFirstFileW(p, data); });
}

BOOL CSLFileStorageInternal::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  if (!data) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (m_pFindNextFileA) return m_pFindNextFileA(find, data);
  if (!m_pFindNextFileW) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  WIN32_FIND_DATAW wide;
  if (!m_pFindNextFileW(find, &wide)) {
    ZeroRecord(data);
    return FALSE;
  }
  SLFindDataWToA(&wide, data);
  return TRUE;
}

BOOL CSLFileStorageInternal::FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  if (!data) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (m_pFindNextFileW) return m_pFindNextFileW(find, data);
  if (!m_pFindNextFileA) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  WIN32_FIND_DATAA narrow;
  if (!m_pFindNextFileA(find, &narrow)) {
    ZeroRecord(data);
    return FALSE;
  }
  SLFindDataAToW(&narrow, data);
  return TRUE;
}

HANDLE CSLFileStorageInternal::CreateFileMapping(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection,
                                                 DWORD maximumHigh, DWORD maximumLow, const char* name) {
  if (!name) {
    if (m_pCreateFileMappingA)
      return m_pCreateFileMappingA(file, security, protection, maximumHigh, maximumLow, nullptr);
    if (m_pCreateFileMappingW)
      return m_pCreateFileMappingW(file, security, protection, maximumHigh, maximumLow, nullptr);
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  return WithPathA(
      name, m_pCreateFileMappingA != nullptr, m_pCreateFileMappingW != nullptr, HANDLE(nullptr),
      [&](const char* p) { return m_pCreateFileMappingA(file, security, protection, maximumHigh, maximumLow, p); },
      [&](const SLWChar* p) {
        return m_pCreateFileMappingW(file, security, protection, maximumHigh, maximumLow, p);
      });
}
