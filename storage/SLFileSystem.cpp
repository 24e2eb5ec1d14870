#include "storage/SLFileSystem.h"

#include "foundation/SLArray.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLSync.h"
#include "foundation/SLWideText.h"
#include "foundation/SLWildcard.h"
#include "storage/SLPath.h"

using SLInternals::CSLFileStorageInternal;

namespace {

// The lock under which a storage's state block is made.
SLRecursiveFastLock s_stateLock;

// One name per width for what the shared bodies below need.
u32 Length(const char* text) { return SLStrLenA(text); }
u32 Length(const SLWChar* text) { return SLStrLenW(text); }
u32 PathParts(char* out, const char* path, u32 mask) { return SLGetPathPartsA(out, path, mask); }
u32 PathParts(SLWChar* out, const SLWChar* path, u32 mask) { return SLGetPathPartsW(out, path, mask); }
void SimplifyWildcards(char* pattern) { SLIsWildcardPatternA(pattern); }
void SimplifyWildcards(SLWChar* pattern) { SLIsWildcardPatternW(pattern); }
void ToBackslashes(char* path) { SLConvertSeparatorsA(path, 1); }
void ToBackslashes(SLWChar* path) { SLConvertSeparatorsW(path, 1); }
void Collapse(char* path) { SLCollapseSeparatorsA(path); }
void Collapse(SLWChar* path) { SLCollapseSeparatorsW(path); }
bool Matches(const char* pattern, const char* name) { return SLWildcardMatchA(pattern, name, true); }
bool Matches(const SLWChar* pattern, const SLWChar* name) { return SLWildcardMatchW(pattern, name, true); }
char* Duplicate(const char* text) { return SLStrDupA(text, false); }
SLWChar* Duplicate(const SLWChar* text) { return SLStrDupW(text, false); }

template <class C>
struct FindWidth;
template <>
struct FindWidth<char> {
  using Data = WIN32_FIND_DATAA;
  static constexpr bool wide = false;
  static HANDLE First(CSLFileStorageInternal* api, const char* p, Data* d) { return api->FindFirstFileA(p, d); }
  static BOOL Next(CSLFileStorageInternal* api, HANDLE h, Data* d) { return api->FindNextFileA(h, d); }
  static SLStorageFindRecord*& Record(SLFileStorageState* s) { return s->recordA; }
  static char*& Name(SLStorageFindRecord* r) { return r->nameA; }
  static BOOL CompressedSize(CSLFileStorageInternal* api, const char* p, u64* size) {
    return api->GetCompressedFileSizeA(p, size);
  }
  static BOOL CreateDirectory(CSLFileStorageInternal* api, const char* p) { return api->CreateDirectoryA(p, nullptr); }
  static BOOL RemoveDirectory(CSLFileStorageInternal* api, const char* p) { return api->RemoveDirectoryA(p); }
  static DWORD GetAttributes(CSLFileStorageInternal* api, const char* p) { return api->GetFileAttributesA(p); }
  static BOOL SetAttributes(CSLFileStorageInternal* api, const char* p, DWORD a) {
    return api->SetFileAttributesA(p, a);
  }
  static bool Delete(CSLFileStorage& storage, const char* p) { return storage.DeleteA(p); }
};
template <>
struct FindWidth<SLWChar> {
  using Data = WIN32_FIND_DATAW;
  static constexpr bool wide = true;
  static HANDLE First(CSLFileStorageInternal* api, const SLWChar* p, Data* d) { return api->FindFirstFileW(p, d); }
  static BOOL Next(CSLFileStorageInternal* api, HANDLE h, Data* d) { return api->FindNextFileW(h, d); }
  static SLStorageFindRecord*& Record(SLFileStorageState* s) { return s->recordW; }
  static SLWChar*& Name(SLStorageFindRecord* r) { return r->nameW; }
  static BOOL CompressedSize(CSLFileStorageInternal* api, const SLWChar* p, u64* size) {
    return api->GetCompressedFileSizeW(p, size);
  }
  static BOOL CreateDirectory(CSLFileStorageInternal* api, const SLWChar* p) {
    return api->CreateDirectoryW(p, nullptr);
  }
  static BOOL RemoveDirectory(CSLFileStorageInternal* api, const SLWChar* p) { return api->RemoveDirectoryW(p); }
  static DWORD GetAttributes(CSLFileStorageInternal* api, const SLWChar* p) { return api->GetFileAttributesW(p); }
  static BOOL SetAttributes(CSLFileStorageInternal* api, const SLWChar* p, DWORD a) {
    return api->SetFileAttributesW(p, a);
  }
  static bool Delete(CSLFileStorage& storage, const SLWChar* p) { return storage.DeleteW(p); }
};

template <class C>
typename FindWidth<C>::Data* FindData(SLFileStorageState* state) {
  if constexpr (FindWidth<C>::wide)
    return &state->findDataW;
  else
    return &state->findDataA;
}

// "." alone: a listing leaves it out but answers ".." as the system gives it.
template <class C>
bool IsSelfName(const C* name) {
  return name[0] == C('.') && name[1] == 0;
}

template <class C>
bool IsValidFindPattern(const C* pattern) {
  if (!pattern || !*pattern) return false;
  bool wildcard = false;
  for (const C* p = pattern; *p; ++p) {
    if (*p == C('*') || *p == C('?'))
      wildcard = true;
    else if (SLIsPathSeparator(*p) && wildcard)
      return false;
  }
  return true;
}

// A framework block of `count` characters (SLFree), or null.
template <class C>
C* AllocText(u64 count) {
  u64 bytes;
  if (!SLCheckedMul(count, sizeof(C), &bytes) || !SLFitsU32(bytes)) return SLFail<C*>(SL_E_OUT_OF_MEMORY, nullptr);
  return static_cast<C*>(SLAlloc(u32(bytes)));
}

// Frees the strings of the removal list on every way out, keeping the error code.
template <class C>
struct OwnedList {
  TSLPtrArray<C> items;
  ~OwnedList() {
    SLErrorKeeper keep;
    items.FreeAll();
  }
};

}  // namespace

bool SLIsValidFindPatternA(const char* pattern) { return IsValidFindPattern(pattern); }
bool SLIsValidFindPatternW(const SLWChar* pattern) { return IsValidFindPattern(pattern); }

// ---- state ----

void CSLFileStorage::EndFind(SLFileStorageState* state) {
  if (!state) return;
  if (state->search) {
    CSLFileStorageInternal* api = SLGetFileStorageApi(true);
    if (api) api->FindClose(state->search);
    state->search = nullptr;
  }
  SLFree(state->searchDirectory);
  SLFree(state->namePattern);
  state->searchDirectory = nullptr;
  state->namePattern = nullptr;
}

bool CSLFileStorage::EnsureFindState(SLFileStorageState** state) {
  if (std::atomic_ref<SLFileStorageState*>(*state).load(std::memory_order_acquire)) return true;
  CSLAutoFastRecursiveMutex lock(&s_stateLock);
  if (*state) return true;
  auto* block = static_cast<SLFileStorageState*>(SLAllocZero(u32(sizeof(SLFileStorageState))));
  if (!block) return false;
  std::atomic_ref<SLFileStorageState*>(*state).store(block, std::memory_order_release);
  return true;
}

DWORD CSLFileStorage::GetFoundAttributes() const {
  if (!m_state || !m_state->search) return INVALID_FILE_ATTRIBUTES;
  return m_state->searchWide ? m_state->findDataW.dwFileAttributes : m_state->findDataA.dwFileAttributes;
}

namespace {

template <class C>
bool BuildFindRecord(SLFileStorageState* state) {
  using W = FindWidth<C>;
  SLStorageFindRecord*& record = W::Record(state);
  if (!record) {
    record = SLStorageFindRecord::Create();
    if (!record) return false;
  }
  const auto* data = FindData<C>(state);
  SLFree(W::Name(record));
  W::Name(record) = Duplicate(data->cFileName);
  if (!W::Name(record)) return false;
  record->size = (u64(data->nFileSizeHigh) << 32) | data->nFileSizeLow;
  record->storedSize = record->size;
  DWORD attributes = data->dwFileAttributes;
  u32 flags = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? SL_FIND_DIRECTORY : SL_FIND_FILE;
  if (attributes & FILE_ATTRIBUTE_ENCRYPTED) flags |= SL_FIND_ENCRYPTED;
  if (attributes & FILE_ATTRIBUTE_COMPRESSED) {
    flags |= SL_FIND_COMPRESSED;
    // The stored size of a compressed entry is what the volume keeps of it.
    const C* directory = static_cast<const C*>(state->searchDirectory);
    u32 directoryLength = Length(directory);
    if (directoryLength) --directoryLength;  // without the final "*"
    u32 nameLength = Length(data->cFileName);
    C* path = AllocText<C>(u64(directoryLength) + nameLength + 1);
    if (!path) return false;
    for (u32 i = 0; i < directoryLength; ++i) path[i] = directory[i];
    for (u32 i = 0; i <= nameLength; ++i) path[directoryLength + i] = data->cFileName[i];
    CSLFileStorageInternal* api = SLGetFileStorageApi(false);
    u64 stored = 0;
    bool ok = api && W::CompressedSize(api, path, &stored);
    SLFree(path);
    if (!ok) return SLFail(SL_E_OPERATION_FAILED, false);
    record->storedSize = stored;
  }
  if (attributes & FILE_ATTRIBUTE_HIDDEN) flags |= SL_FIND_HIDDEN;
  if (attributes & FILE_ATTRIBUTE_READONLY) flags |= SL_FIND_READONLY;
  if (attributes & FILE_ATTRIBUTE_TEMPORARY) flags |= SL_FIND_TEMPORARY;
  record->flags = flags;
  {
    SLErrorKeeper keep;
    if (!record->time.FromFileTime(data->ftCreationTime)) record->time.SetZero(false);
  }
  record->reserved = 0;
  return true;
}

}  // namespace

bool CSLFileStorage::BuildFindRecordA(SLFileStorageState* state) { return BuildFindRecord<char>(state); }
bool CSLFileStorage::BuildFindRecordW(SLFileStorageState* state) { return BuildFindRecord<SLWChar>(state); }

// ---- searches ----

template <class C>
SLStorageFindRecord* CSLFileStorage::FindFirstT(const C* pattern) {
  using W = FindWidth<C>;
  if (!IsValidFindPattern(pattern)) return SLFail<SLStorageFindRecord*>(SL_E_INVALID_ARG, nullptr);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail<SLStorageFindRecord*>(SL_E_OUT_OF_MEMORY, nullptr);
  EndFind(m_state);
  if (!EnsureFindState(&m_state)) return SLFail<SLStorageFindRecord*>(SL_E_OUT_OF_MEMORY, nullptr);
  SLFileStorageState* state = m_state;
  state->searchWide = W::wide;

  SLSetLastError(SL_OK);
  u32 directoryLength = PathParts(static_cast<C*>(nullptr), pattern, 1 | 2);
  if (directoryLength == 0 && SLGetLastError(false) != SL_OK) {
    EndFind(state);
    return nullptr;
  }
  C* directory = AllocText<C>(u64(directoryLength) + 8);
  if (!directory) {
    EndFind(state);
    return nullptr;
  }
  state->searchDirectory = directory;
  PathParts(directory, pattern, 1 | 2);
  SimplifyWildcards(directory);
  ToBackslashes(directory);

  u32 nameLength = PathParts(static_cast<C*>(nullptr), pattern, 4 | 8);
  C* name = AllocText<C>(u64(nameLength) + 1);
  if (!name) {
    EndFind(state);
    return nullptr;
  }
  state->namePattern = name;
  PathParts(name, pattern, 4 | 8);
  SimplifyWildcards(name);

  u32 length = Length(directory);
  if (length && !SLIsPathSeparator(directory[length - 1])) directory[length++] = C('\\');
  directory[length++] = C('*');
  directory[length] = 0;

  HANDLE search = W::First(api, directory, FindData<C>(state));
  if (search == nullptr || search == INVALID_HANDLE_VALUE) {
    state->search = nullptr;
    EndFind(state);
    return SLFail<SLStorageFindRecord*>(SL_E_NO_MORE, nullptr);
  }
  state->search = search;
  const auto* data = FindData<C>(state);
  if (((data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsSelfName(data->cFileName)) ||
      !Matches(name, data->cFileName))
    return FindNextT<C>();
  if (!BuildFindRecord<C>(state)) {
    EndFind(state);
    return nullptr;
  }
  SLSetLastError(SL_OK);
  return W::Record(state);
}

template <class C>
SLStorageFindRecord* CSLFileStorage::FindNextT() {
  using W = FindWidth<C>;
  // The two widths share the one search; its strings and data are of the width that
  // started it.
  if (!m_state || !m_state->search || m_state->searchWide != W::wide)
    return SLFail<SLStorageFindRecord*>(SL_E_STORAGE_NO_SEARCH, nullptr);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail<SLStorageFindRecord*>(SL_E_OUT_OF_MEMORY, nullptr);
  SLFileStorageState* state = m_state;
  const C* name = static_cast<const C*>(state->namePattern);
  auto* data = FindData<C>(state);
  for (;;) {
    if (!W::Next(api, state->search, data)) {
      EndFind(state);
      return SLFail<SLStorageFindRecord*>(SL_E_NO_MORE, nullptr);
    }
    if ((data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsSelfName(data->cFileName)) continue;
    if (!Matches(name, data->cFileName)) continue;
    break;
  }
  if (!BuildFindRecord<C>(state)) return nullptr;
  SLSetLastError(SL_OK);
  return W::Record(state);
}

SLStorageFindRecord* CSLFileStorage::FindFirstA(const char* pattern) { return FindFirstT(pattern); }
SLStorageFindRecord* CSLFileStorage::FindFirstW(const SLWChar* pattern) { return FindFirstT(pattern); }
SLStorageFindRecord* CSLFileStorage::FindNextA() { return FindNextT<char>(); }
SLStorageFindRecord* CSLFileStorage::FindNextW() { return FindNextT<SLWChar>(); }

// ---- directories ----

template <class C>
bool CSLFileStorage::CreateDirectoryT(const C* path) {
  using W = FindWidth<C>;
  if (!path || !*path) return SLFail(SL_E_INVALID_ARG, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLSetSystemLastError(ERROR_SUCCESS);
  if (W::CreateDirectory(api, path)) {
    SLSetLastError(SL_OK);
    return true;
  }
  DWORD error = SLGetSystemLastError();
  if (error == ERROR_ALREADY_EXISTS) return SLFail(SL_E_ALREADY_EXISTS, false);
  if (error != ERROR_ACCESS_DENIED) return SLFail(SL_E_STORAGE_CREATE_DIRECTORY, false);
  // Access denied on a drive root means the directory is there already.
  const C* rest = path;
  if (SLIsPathSeparator(rest[0]) && SLIsPathSeparator(rest[1])) {
    rest += 2;
    if (rest[0] == C('?') && SLIsPathSeparator(rest[1])) {
      rest += 2;
      if ((rest[0] | 0x20) == C('u') && (rest[1] | 0x20) == C('n') && (rest[2] | 0x20) == C('c') &&
          SLIsPathSeparator(rest[3]))
        rest += 4;
    }
  }
  const C* separator = rest;
  while (*separator && !SLIsPathSeparator(*separator)) ++separator;
  if (!*separator || !separator[1]) return SLFail(SL_E_ALREADY_EXISTS, false);
  return SLFail(SL_E_STORAGE_CREATE_DIRECTORY, false);
}

bool CSLFileStorage::CreateDirectoryA(const char* path) { return CreateDirectoryT(path); }
bool CSLFileStorage::CreateDirectoryW(const SLWChar* path) { return CreateDirectoryT(path); }

namespace {

// Clears the read-only and system attributes of `path` when it has either; true when
// they were cleared.
template <class C>
bool ClearProtection(CSLFileStorageInternal* api, const C* path) {
  using W = FindWidth<C>;
  DWORD attributes = W::GetAttributes(api, path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM))) return false;
  return W::SetAttributes(api, path, attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) != FALSE;
}

}  // namespace

template <class C>
bool CSLFileStorage::RemoveDirectoryT(const C* path, bool subdirectories, bool files) {
  using W = FindWidth<C>;
  if (!path || !*path) return SLFail(SL_E_INVALID_ARG, false);
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);

  u32 pathLength = Length(path);
  C* working = AllocText<C>(u64(pathLength) + 3);
  if (!working) return false;
  for (u32 i = 0; i <= pathLength; ++i) working[i] = path[i];
  ToBackslashes(working);
  Collapse(working);
  u32 workingLength = Length(working);
  if (!workingLength || !SLIsPathSeparator(working[workingLength - 1])) working[workingLength++] = C('\\');
  working[workingLength] = C('*');
  working[workingLength + 1] = 0;

  // Entries of the removal list: a tag, then the full path. "D" a directory to remove
  // with what is below it, "A" a file to delete, "L" a symbolic link: the link itself
  // is removed and whatever it points at is left alone.
  OwnedList<C> list;
  CSLFileStorage local;
  bool listingFailed = false;
  SLStorageFindRecord* record = local.FindFirstT(working);
  if (!record && SLGetLastError(false) == SL_E_NO_MORE) listingFailed = true;
  if (!subdirectories && !files) {
    EndFind(local.m_state);
    record = nullptr;
  }
  for (; record; record = local.FindNextT<C>()) {
    const C* name = W::Name(record);
    bool isDirectory = (record->flags & SL_FIND_DIRECTORY) != 0;
    bool isLink = (local.GetFoundAttributes() & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    C tag;
    if (isDirectory) {
      if (!subdirectories || SLIsDotName(name)) continue;
      tag = isLink ? C('L') : C('D');
    } else {
      if (!files) continue;
      tag = isLink ? C('L') : C('A');
    }
    u32 nameLength = Length(name);
    C* entry = AllocText<C>(u64(workingLength) + nameLength + 2);
    if (!entry) {
      SLFree(working);
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    entry[0] = tag;
    for (u32 i = 0; i < workingLength; ++i) entry[1 + i] = working[i];
    for (u32 i = 0; i <= nameLength; ++i) entry[1 + workingLength + i] = name[i];
    if (!list.items.Add(entry)) {
      SLFree(entry);
      SLFree(working);
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
  }
  SLFree(working);

  for (C* entry : list.items) {
    const C* entryPath = entry + 1;
    if (entry[0] == C('D') && subdirectories) {
      if (!local.RemoveDirectoryT(entryPath, subdirectories, files)) return false;
    } else if (entry[0] == C('L')) {
      // A link to a directory goes with the directory call, a link to a file with
      // the delete; neither follows the link.
      SLSetSystemLastError(ERROR_SUCCESS);
      if (!W::RemoveDirectory(api, entryPath) && !W::Delete(local, entryPath))
        return SLFail(SL_E_STORAGE_DELETE, false);
    }
  }
  if (files) {
    for (C* entry : list.items) {
      if (entry[0] != C('A')) continue;
      const C* entryPath = entry + 1;
      if (W::Delete(local, entryPath)) continue;
      if (!ClearProtection(api, entryPath) || !W::Delete(local, entryPath)) return SLFail(SL_E_STORAGE_DELETE, false);
    }
  }

  SLSetSystemLastError(ERROR_SUCCESS);
  if (W::RemoveDirectory(api, path)) {
    SLSetLastError(SL_OK);
    return true;
  }
  if (listingFailed && SLGetSystemLastError() == ERROR_FILE_NOT_FOUND) {
    SLSetLastError(SL_OK);
    return true;
  }
  ClearProtection(api, path);
  if (W::RemoveDirectory(api, path)) {
    SLSetLastError(SL_OK);
    return true;
  }
  return SLFail(SL_E_STORAGE_REMOVE_DIRECTORY, false);
}

bool CSLFileStorage::RemoveDirectoryA(const char* path, bool subdirectories, bool files) {
  return RemoveDirectoryT(path, subdirectories, files);
}
bool CSLFileStorage::RemoveDirectoryW(const SLWChar* path, bool subdirectories, bool files) {
  return RemoveDirectoryT(path, subdirectories, files);
}
