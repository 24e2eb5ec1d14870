#include "storage/SLFileStorage.h"

#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLFileStorage, CSLBaseStorage)

using SLInternals::CSLFileStorageInternal;

namespace {

constexpr u32 kChunk = 65536;

bool IsValidHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

bool IsEmptyText(const char* text) { return !text || !*text; }
bool IsEmptyText(const SLWChar* text) { return !text || !*text; }

HANDLE SystemCreateFile(CSLFileStorageInternal* api, const char* path, DWORD access, DWORD share, DWORD disposition,
                        DWORD attributes) {
  return api->CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
}
HANDLE SystemCreateFile(CSLFileStorageInternal* api, const SLWChar* path, DWORD access, DWORD share,
                        DWORD disposition, DWORD attributes) {
  return api->CreateFileW(path, access, share, nullptr, disposition, attributes, nullptr);
}
HANDLE SystemClaimFile(CSLFileStorageInternal* api, const char* path) { return api->ClaimFileA(path); }
HANDLE SystemClaimFile(CSLFileStorageInternal* api, const SLWChar* path) { return api->ClaimFileW(path); }
BOOL SystemDeleteFile(CSLFileStorageInternal* api, const char* path) { return api->DeleteFileA(path); }
BOOL SystemDeleteFile(CSLFileStorageInternal* api, const SLWChar* path) { return api->DeleteFileW(path); }

}  // namespace

CSLFileStorage::CSLFileStorage() : m_handle(nullptr), m_flags(0), m_state(nullptr) {}

CSLFileStorage::~CSLFileStorage() {
  SLErrorKeeper keep;
  Close();
  if (m_state) {
    EndFind(m_state);
    for (SLStorageFindRecord* record : {m_state->recordA, m_state->recordW}) {
      if (!record) continue;
      SLFree(record->nameA);
      record->nameA = nullptr;
      record->DeletingDtor(1);
    }
    SLFree(m_state);
    m_state = nullptr;
  }
}

bool CSLFileStorage::GetTime(CSLDateTime* out) {
  if (out) out->SetZero(false);
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  FILETIME created{};
  if (!api->GetFileTime(m_handle, &created, nullptr, nullptr)) return SLFail(SL_E_STORAGE_TIME, false);
  if (!out->FromFileTime(created)) return false;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::AttachContainer(CSLBaseStorage* source) { return CSLBaseStorage::AttachContainer(source); }
CSLBaseStorage* CSLFileStorage::GetContainer() { return CSLBaseStorage::GetContainer(); }

// Create and open share one body: `create` picks the defaults, the disposition, the
// progress code and the failure code.
template <class C>
bool CSLFileStorage::CreateOrOpen(const C* path, u32 flags, bool create) {
  CSLTimer timer;
  if (IsEmptyText(path)) return SLFail(SL_E_STORAGE_NAME, false);

  DWORD access = 0;
  switch (flags & SL_STORAGE_ACCESS_MASK) {
    case SL_STORAGE_ACCESS_DEFAULT:
      flags |= create ? SL_STORAGE_WRITE : SL_STORAGE_READ;
      access = create ? GENERIC_WRITE : GENERIC_READ;
      break;
    case SL_STORAGE_READ: access = GENERIC_READ; break;
    case SL_STORAGE_WRITE: access = GENERIC_WRITE; break;
    case SL_STORAGE_READWRITE: access = GENERIC_READ | GENERIC_WRITE; break;
    case SL_STORAGE_APPEND: access = GENERIC_WRITE; break;
    default: return SLFail(SL_E_STORAGE_FLAGS, false);
  }
  DWORD share = 0;
  switch (flags & SL_STORAGE_SHARE_MASK) {
    case SL_STORAGE_SHARE_DEFAULT:
      flags |= create ? SL_STORAGE_SHARE_NONE : SL_STORAGE_SHARE_READWRITE;
      share = create ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case SL_STORAGE_SHARE_NONE: share = 0; break;
    case SL_STORAGE_SHARE_READWRITE: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    case SL_STORAGE_SHARE_READ: share = FILE_SHARE_READ; break;
    case SL_STORAGE_SHARE_WRITE: share = FILE_SHARE_WRITE; break;
    default: return SLFail(SL_E_STORAGE_FLAGS, false);
  }
  const bool claim = (flags & SL_STORAGE_CLAIM) != 0;
  if (claim && (!create || access != GENERIC_WRITE)) return SLFail(SL_E_STORAGE_FLAGS, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);

  const u32 operation = create ? SL_PROGRESS_CREATE : SL_PROGRESS_OPEN;
  if (ReportProgress(operation, 0.0, 0u)) return SLFail(SL_E_CANCELLED, false);
  Close();
  if (ReportProgress(operation, 50.0, &timer)) return SLFail(SL_E_CANCELLED, false);

  DWORD attributes = FILE_FLAG_RANDOM_ACCESS;
  if (create && (flags & SL_STORAGE_HIDDEN)) attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (flags & SL_STORAGE_TEMPORARY) attributes |= FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY;

  bool named;
  if constexpr (sizeof(C) == 1)
    named = SetNameA(path);
  else
    named = SetNameW(path);
  if (!named) return false;

  DWORD disposition = create ? CREATE_ALWAYS : (flags & SL_STORAGE_OPEN_ALWAYS) ? OPEN_ALWAYS : OPEN_EXISTING;
  HANDLE handle =
      claim ? SystemClaimFile(api, path) : SystemCreateFile(api, path, access, share, disposition, attributes);
  if (!IsValidHandle(handle)) {
    m_handle = nullptr;
    FreeNames();
    return SLFail(create ? SL_E_STORAGE_CREATE : SL_E_STORAGE_OPEN, false);
  }
  m_handle = handle;
  m_flags = flags;
  ReportProgress(operation, 100.0, &timer);
  if (!create && (flags & SL_STORAGE_ACCESS_MASK) == SL_STORAGE_APPEND) {
    if (!Seek(0, SL_SEEK_END)) {
      SLErrorKeeper keep;
      Close();
      return false;
    }
  }
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::CreateA(const char* path, u32 flags) { return CreateOrOpen(path, flags, true); }
bool CSLFileStorage::CreateW(const SLWChar* path, u32 flags) { return CreateOrOpen(path, flags, true); }
bool CSLFileStorage::OpenA(const char* path, u32 flags) { return CreateOrOpen(path, flags, false); }
bool CSLFileStorage::OpenW(const SLWChar* path, u32 flags) { return CreateOrOpen(path, flags, false); }

void CSLFileStorage::Close() {
  CSLTimer timer;
  Unlock(0, 0);
  ReportProgress(SL_PROGRESS_CLOSE, 0.0, 0u);
  UnmapView();
  if (m_handle && !(m_flags & SL_STORAGE_KEEP_HANDLE)) {
    // One close only: once the system has taken the descriptor back, its number may
    // already name a file another thread has just opened.
    CSLFileStorageInternal* api = SLGetFileStorageApi(false);
    if (api) api->CloseHandle(m_handle);
    m_handle = nullptr;
  }
  FreeNames();
  m_flags = 0;
  ReportProgress(SL_PROGRESS_CLOSE, 100.0, &timer);
  SLSetLastError(SL_OK);
}

template <class C>
bool CSLFileStorage::DeleteT(const C* path) {
  CSLTimer timer;
  if (IsEmptyText(path)) return SLFail(SL_E_STORAGE_NAME, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (ReportProgress(SL_PROGRESS_DELETE, 0.0, 0u)) return SLFail(SL_E_CANCELLED, false);
  if (!SystemDeleteFile(api, path)) return SLFail(SL_E_STORAGE_DELETE, false);
  ReportProgress(SL_PROGRESS_DELETE, 100.0, &timer);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::DeleteA(const char* path) { return DeleteT(path); }
bool CSLFileStorage::DeleteW(const SLWChar* path) { return DeleteT(path); }

// The name is opened for query only (no access to the contents, every sharing): it
// then never conflicts with the handles open on the file, nor waits on a pipe.
template <class C>
bool CSLFileStorage::IsNamedT(const C* path) {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (IsEmptyText(path)) return SLFail(SL_E_STORAGE_NAME, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  constexpr DWORD kEveryShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE named = SystemCreateFile(api, path, 0, kEveryShare, OPEN_EXISTING, 0);
  if (!IsValidHandle(named)) return SLFail(SL_E_STORAGE_OPEN, false);
  BY_HANDLE_FILE_INFORMATION held{}, found{};
  const bool known = api->GetFileInformationByHandle(m_handle, &held) && api->GetFileInformationByHandle(named, &found);
  const u32 systemError = SLGetSystemLastError();
  api->CloseHandle(named);
  SLSetSystemLastError(systemError);
  if (!known) return SLFail(SL_E_STORAGE_OPEN, false);
  return SLSucceed(held.dwVolumeSerialNumber == found.dwVolumeSerialNumber &&
                   held.nFileIndexHigh == found.nFileIndexHigh && held.nFileIndexLow == found.nFileIndexLow);
}

bool CSLFileStorage::IsNamedA(const char* path) { return IsNamedT(path); }
bool CSLFileStorage::IsNamedW(const SLWChar* path) { return IsNamedT(path); }

// The directory walk of the file-system operations deletes through these too.
template bool CSLFileStorage::DeleteT<char>(const char* path);
template bool CSLFileStorage::DeleteT<SLWChar>(const SLWChar* path);

bool CSLFileStorage::CanRead() {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  SLSetLastError(SL_OK);
  u32 access = m_flags & SL_STORAGE_ACCESS_MASK;
  return access == SL_STORAGE_READ || access == SL_STORAGE_READWRITE;
}

bool CSLFileStorage::CanWrite() {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  SLSetLastError(SL_OK);
  u32 access = m_flags & SL_STORAGE_ACCESS_MASK;
  return access == SL_STORAGE_WRITE || access == SL_STORAGE_READWRITE;
}

bool CSLFileStorage::CanSeek() {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  SLSetLastError(SL_OK);
  return true;
}

u64 CSLFileStorage::Read(void* buffer, u64 count) {
  CSLTimer timer;
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, u64(0));
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  if (ReportProgress(SL_PROGRESS_READ, 0.0, 0u)) return SLFail(SL_E_CANCELLED, u64(0));
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, u64(0));
  double scale = count ? 99.6 / SLUInt64ToDouble(count) : 0.0;
  u32 status = SL_OK;
  u64 total = 0;
  auto* cursor = static_cast<u8*>(buffer);
  while (total < count) {
    DWORD chunk = DWORD(count - total < kChunk ? count - total : kChunk);
    DWORD got = 0;
    SLSetSystemLastError(ERROR_SUCCESS);
    if (!api->ReadFile(m_handle, cursor, chunk, &got, nullptr)) {
      status = (got == 0 && SLGetSystemLastError() == ERROR_HANDLE_EOF) ? SL_E_STORAGE_EOF : SL_E_STORAGE_READ;
      break;
    }
    cursor += got;
    total += got;
    if (got < chunk) {
      status = SL_E_STORAGE_EOF;
      break;
    }
    if (ReportProgress(SL_PROGRESS_READ, SLUInt64ToDouble(total) * scale, &timer)) {
      status = SL_E_CANCELLED;
      break;
    }
  }
  ReportProgress(SL_PROGRESS_READ, 100.0, &timer);
  SLSetLastError(status);
  return total;
}

u64 CSLFileStorage::Write(const void* buffer, u64 count) {
  CSLTimer timer;
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, u64(0));
  if (!buffer) return SLFail(SL_E_NULL_DATA, u64(0));
  if (ReportProgress(SL_PROGRESS_WRITE, 0.0, 0u)) return SLFail(SL_E_CANCELLED, u64(0));
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, u64(0));
  double scale = count ? 99.6 / SLUInt64ToDouble(count) : 0.0;
  u32 status = SL_OK;
  u64 total = 0;
  auto* cursor = static_cast<const u8*>(buffer);
  while (total < count) {
    DWORD chunk = DWORD(count - total < kChunk ? count - total : kChunk);
    DWORD put = 0;
    SLSetSystemLastError(ERROR_SUCCESS);
    BOOL ok = api->WriteFile(m_handle, cursor, chunk, &put, nullptr);
    cursor += put;
    total += put;
    if (!ok || put < chunk) {
      status = SL_E_STORAGE_WRITE;
      break;
    }
    if (ReportProgress(SL_PROGRESS_WRITE, SLUInt64ToDouble(total) * scale, &timer)) {
      status = SL_E_CANCELLED;
      break;
    }
  }
  ReportProgress(SL_PROGRESS_WRITE, 100.0, &timer);
  SLSetLastError(status);
  return total;
}

bool CSLFileStorage::Seek(i64 offset, u32 origin) {
  CSLTimer timer;
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (ReportProgress(SL_PROGRESS_SEEK, 0.0, &timer)) return SLFail(SL_E_CANCELLED, false);
  if (!api->SetFilePointerEx(m_handle, offset, nullptr, origin)) return SLFail(SL_E_STORAGE_SEEK, false);
  ReportProgress(SL_PROGRESS_SEEK, 100.0, &timer);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::GetPosition(u64* out) {
  if (out) *out = 0;
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!api->SetFilePointerEx(m_handle, 0, out, SL_SEEK_CURRENT)) return SLFail(SL_E_STORAGE_POSITION, false);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::IsEOF() {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, true);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, true);
  u64 position = 0;
  u64 size = 0;
  if (!api->SetFilePointerEx(m_handle, 0, &position, SL_SEEK_CURRENT)) return SLFail(SL_E_STORAGE_POSITION, true);
  if (!api->GetFileSizeEx(m_handle, &size)) return SLFail(SL_E_STORAGE_GET_SIZE, true);
  SLSetLastError(SL_OK);
  return position >= size;
}

bool CSLFileStorage::Flush() {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!api->FlushFileBuffers(m_handle)) return SLFail(SL_E_STORAGE_FLUSH, false);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::Lock(u64 offset, u64 length) {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!api->LockFile(m_handle, DWORD(offset), DWORD(offset >> 32), DWORD(length), DWORD(length >> 32)))
    return SLFail(SL_E_STORAGE_LOCK, false);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::Unlock(u64 offset, u64 length) {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!api->UnlockFile(m_handle, DWORD(offset), DWORD(offset >> 32), DWORD(length), DWORD(length >> 32)))
    return SLFail(SL_E_STORAGE_UNLOCK, false);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::SetSize(u64 size) {
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  // A size past the signed range becomes a negative offset, which the seek refuses
  // with its own code.
  if (!Seek(i64(size), SL_SEEK_BEGIN)) return false;
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!api->SetEndOfFile(m_handle)) return SLFail(SL_E_STORAGE_SET_SIZE, false);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFileStorage::GetSize(u64* out) {
  if (out) *out = 0;
  if (!m_handle) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!api->GetFileSizeEx(m_handle, out)) return SLFail(SL_E_STORAGE_GET_SIZE, false);
  SLSetLastError(SL_OK);
  return true;
}

void* CSLFileStorage::MapView() {
  if (!m_handle) return SLFail<void*>(SL_E_STORAGE_NOT_OPEN, nullptr);
  if (m_state && m_state->mapping) return SLFail<void*>(SL_E_STORAGE_ALREADY_MAPPED, nullptr);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail<void*>(SL_E_OUT_OF_MEMORY, nullptr);
  if (!EnsureFindState(&m_state)) return SLFail<void*>(SL_E_OUT_OF_MEMORY, nullptr);
  static const DWORD protections[2] = {PAGE_READWRITE, PAGE_READONLY};
  static const DWORD viewAccess[2] = {FILE_MAP_ALL_ACCESS, FILE_MAP_READ};
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE mapping = api->CreateFileMapping(m_handle, nullptr, protections[attempt], 0, 0, nullptr);
    if (!IsValidHandle(mapping)) continue;
    void* view = api->MapViewOfFile(mapping, viewAccess[attempt], 0, 0, 0);
    if (!view) {
      api->CloseHandle(mapping);
      m_state->mapping = nullptr;
      return SLFail<void*>(SL_E_STORAGE_MAP, nullptr);
    }
    m_state->mapping = mapping;
    m_state->view = view;
    SLSetLastError(SL_OK);
    return view;
  }
  m_state->mapping = nullptr;
  return SLFail<void*>(SL_E_STORAGE_MAP, nullptr);
}

void CSLFileStorage::UnmapView() {
  SLSetLastError(SL_OK);
  if (!m_handle || !m_state || !m_state->mapping) return;
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (api) {
    api->UnmapViewOfFile(m_state->view);
    api->CloseHandle(m_state->mapping);
  }
  m_state->view = nullptr;
  m_state->mapping = nullptr;
  if (!api) SLSetLastError(SL_E_OUT_OF_MEMORY);
}

// ---- a base storage over a file of its own ----

// Defined with the file storage it makes, so that the base class need not know it.
bool CSLBaseStorage::AttachFile(const char* path, bool create, u32 flags) {
  auto* file = new CSLFileStorage();
  if (!file) return SLFail(SL_E_OUT_OF_MEMORY, false);
  bool opened = create ? file->CreateA(path, flags) : file->OpenA(path, flags);
  if (!opened || !AttachContainer(file)) {
    SLErrorKeeper keep;
    file->Release();
    return false;
  }
  SLErrorKeeper keep;
  file->Release();
  return true;
}

bool SLReplaceFileW(const SLWChar* from, const SLWChar* to) {
  using MoveFileExWProc = BOOL (*)(LPCWSTR existing, LPCWSTR replacement, DWORD flags);
  constexpr DWORD kMoveReplaceExisting = 0x1;
  if (IsEmptyText(from) || IsEmptyText(to)) return SLFail(SL_E_INVALID_ARG, false);
  HMODULE kernel = SLLoadLibrary(u"kernel32.dll");
  auto moveFile = kernel ? reinterpret_cast<MoveFileExWProc>(SLGetProcAddress(kernel, u"MoveFileExW")) : nullptr;
  const bool moved = moveFile && moveFile(from, to, kMoveReplaceExisting);
  const u32 systemError = moveFile ? SLGetSystemLastError() : u32(ERROR_CALL_NOT_IMPLEMENTED);
  if (kernel) SLFreeLibrary(kernel);
  SLSetSystemLastError(moved ? 0 : systemError);
  if (moved) return SLSucceed(true);
  return SLFail(moveFile ? u32(SL_E_STORAGE_WRITE) : u32(SL_E_ENTRY_MISSING), false);
}

bool SLReplaceFileA(const char* from, const char* to) {
  CSLStringWide wideFrom, wideTo;
  if (IsEmptyText(from) || IsEmptyText(to)) return SLFail(SL_E_INVALID_ARG, false);
  if (!wideFrom.AssignA(from) || !wideTo.AssignA(to)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return SLReplaceFileW(wideFrom.CStr(), wideTo.CStr());
}
