// The storage over a module's resources: attaching (the format parsers are in
// SLResourceStorageNE.cpp and SLResourceStoragePE.cpp), opening, reading and listing.
#include "storage/SLResourceStorage.h"

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLStr.h"
#include "foundation/SLSync.h"
#include "foundation/SLTextConvert.h"
#include "foundation/SLWideText.h"
#include "foundation/SLWildcard.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLResourceStorageInternal.h"

namespace SLInternals {

struct SLResourceStorageData {
  CSLBaseStorage* source;
  u32 kind;  // 1 NE, 2 PE32, 3 PE32+
  u64 sourceSize;
  TSLArray<SLResourceEntry> entries;
  const SLResourceEntry* current;
  u8* bytes;
  u32 bytesCapacity;
  u32 bytesSize;
  u64 position;
  // The running search.
  SLWChar* typePattern;
  SLWChar* namePattern;
  u32 primaryFilter;  // 0xFFFFFFFF: any
  u32 subFilter;
  bool dotDone;
  bool listingNames;
  u32 nextIndex;
  SLStorageFindRecord* findA;
  SLStorageFindRecord* findW;
  SLResourceInfo info;
};

// Binds the locale queries that choose among a resource's languages.
class CSLResourceStorageInternal : public CSLBaseOODClass {
 public:
  bool Initialize() override {
    m_kernel32 = SLLoadLibrary(u"kernel32.dll");
    if (m_kernel32) {
      SLBindProc(m_kernel32, u"GetSystemDefaultLCID", &m_pGetSystemDefaultLCID);
      SLBindProc(m_kernel32, u"GetUserDefaultLCID", &m_pGetUserDefaultLCID);
      SLBindProc(m_kernel32, u"GetThreadLocale", &m_pGetThreadLocale);
      SLBindProc(m_kernel32, u"SLGetModuleImage", &m_pGetModuleImage);
    }
    return true;
  }
  ~CSLResourceStorageInternal() override {
    SLErrorKeeper keep;
    if (m_kernel32) SLFreeLibrary(m_kernel32);
  }
  LCID (*m_pGetSystemDefaultLCID)() = nullptr;
  LCID (*m_pGetUserDefaultLCID)() = nullptr;
  LCID (*m_pGetThreadLocale)() = nullptr;
  // The platform's read-only image of a module's resources (our own entry point).
  BOOL (*m_pGetModuleImage)(HMODULE, const void**, u64*) = nullptr;

 private:
  HMODULE m_kernel32 = nullptr;
};

namespace {

CSLResourceStorageInternal* g_internal = nullptr;

CSLResourceStorageInternal* GetInternal() {
  return SLGetStaticSingleton(g_internal, SL_OOD_PRIORITY_LOADERS);
}

bool IsDigit(SLWChar c) { return c >= u'0' && c <= u'9'; }
bool IsWild(SLWChar c) { return c == u'*' || c == u'?'; }

// The text shown for an entry text: without the space that marks a textual name.
const SLWChar* Shown(const SLWChar* text) { return text[0] == u' ' ? text + 1 : text; }

int CompareEntries(const void* a, const void* b, void*) {
  auto* x = static_cast<const SLResourceEntry*>(a);
  auto* y = static_cast<const SLResourceEntry*>(b);
  int c = SLStrICmpW(x->type, y->type);
  if (c) return c;
  c = SLStrICmpW(x->name, y->name);
  if (c) return c;
  return x->language < y->language ? -1 : x->language > y->language ? 1 : 0;
}

}  // namespace

namespace SLModuleResources {

SLWChar* MakeIdText(u32 id) {
  SLWChar digits[16];
  int n = 0;
  do {
    digits[n++] = SLWChar(u'0' + id % 10);
    id /= 10;
  } while (id);
  auto* text = static_cast<SLWChar*>(SLAlloc(u32(n + 2) * 2));
  if (!text) return nullptr;
  text[0] = u'#';
  for (int i = 0; i < n; ++i) text[1 + i] = digits[n - 1 - i];
  text[n + 1] = 0;
  return text;
}

SLWChar* MakeNameText(const SLWChar* name, u32 length) {
  auto* text = static_cast<SLWChar*>(SLAlloc((length + 2) * 2));
  if (!text) return nullptr;
  text[0] = u' ';
  SLMemCopy(text + 1, name, length * 2);
  text[length + 1] = 0;
  return text;
}

void FreeEntryTexts(SLResourceEntry& e) {
  SLFree(e.type);
  SLFree(e.name);
  e.type = e.name = nullptr;
}

bool ReadAt(CSLBaseStorage* source, u64 offset, void* buffer, u32 count) {
  if (!source->Seek(i64(offset), SL_SEEK_BEGIN)) return false;
  u64 got = source->Read(buffer, count);
  if (got != count) {
    if (SLGetLastError(false) == 0) SLSetLastError(SL_E_STORAGE_EOF);
    return false;
  }
  return true;
}

}  // namespace SLModuleResources
}  // namespace SLInternals

using namespace SLInternals;
using namespace SLInternals::SLModuleResources;

SL_IMPLEMENT_CLASS_CREATABLE(CSLResourceStorage, CSLBaseStorage)

namespace {

void FreeSearch(SLResourceStorageData* d) {
  SLFree(d->typePattern);
  SLFree(d->namePattern);
  d->typePattern = d->namePattern = nullptr;
}

void FreeEntries(SLResourceStorageData* d) {
  for (auto& e : d->entries) FreeEntryTexts(e);
  d->entries.Free();
}

void FreeFindRecord(SLStorageFindRecord*& record, bool wide) {
  if (!record) return;
  SLFree(wide ? static_cast<void*>(record->nameW) : static_cast<void*>(record->nameA));
  record->DeletingDtor(1);
  record = nullptr;
}

// A resource path split into at most four parts. `present[i]` tells whether part i was
// there (an empty part after a trailing separator counts as present).
struct ResourcePath {
  const SLWChar* start[4];
  u32 length[4];
  bool present[4];
  bool numeric[2];
  bool wild[4];
  u32 count;
};

bool SplitPath(const SLWChar* path, bool wildcards, ResourcePath* out) {
  *out = ResourcePath{};
  if (!path || !*path) return false;
  const SLWChar* p = path;
  while (SLIsPathSeparator(*p)) ++p;
  if (!*p) return false;
  u32 part = 0;
  for (;;) {
    if (part == 4) return false;  // a fifth part
    const SLWChar* begin = p;
    if (part < 2) {
      if (p[0] == u'#' && IsDigit(p[1])) {
        ++p;
        while (IsDigit(*p)) ++p;
        // An id ends at its last digit: only a separator or the end may follow it.
        if (*p && !SLIsPathSeparator(*p)) return false;
        out->numeric[part] = true;
      } else {
        while (*p && !SLIsPathSeparator(*p)) ++p;
      }
      for (const SLWChar* q = begin; q < p; ++q)
        if (IsWild(*q)) out->wild[part] = true;
    } else if (wildcards && IsWild(*p)) {
      while (IsWild(*p)) ++p;
      out->wild[part] = true;
      if (*p && !SLIsPathSeparator(*p)) return false;
    } else {
      while (IsDigit(*p)) ++p;
      if (*p && !SLIsPathSeparator(*p)) return false;
    }
    out->start[part] = begin;
    out->length[part] = u32(p - begin);
    out->present[part] = true;
    out->count = ++part;
    if (!*p) return true;
    while (SLIsPathSeparator(*p)) ++p;
    if (!*p) {
      // A trailing separator: the next part is there and empty.
      if (part == 4) return false;
      out->start[part] = p;
      out->length[part] = 0;
      out->present[part] = true;
      out->count = part + 1;
      return true;
    }
  }
}

u32 PartNumber(const ResourcePath& path, u32 part) {
  u64 value = 0;
  for (u32 i = 0; i < path.length[part]; ++i) {
    value = value * 10 + u32(path.start[part][i] - u'0');
    if (value > 0xFFFFFFFFu) value = 0xFFFFFFFFu;
  }
  return u32(value);
}

// The lookup text of part 0 or 1: "#" parts as written, text parts with a leading space.
SLWChar* LookupText(const ResourcePath& path, u32 part, bool withSpace) {
  u32 n = path.length[part];
  bool space = withSpace && !path.numeric[part];
  auto* text = static_cast<SLWChar*>(SLAlloc((n + 2) * 2));
  if (!text) return nullptr;
  u32 at = 0;
  if (space) text[at++] = u' ';
  SLMemCopy(text + at, path.start[part], n * 2);
  text[at + n] = 0;
  return text;
}

int CompareKey(const void* element, const void* key, void*) {
  return CompareEntries(element, key, nullptr);
}

// The 8-bit path or pattern in UTF-16 (system code page), for the 8-bit operations;
// false with the allocation's or the conversion's code.
bool Widen(const char* text, TSLAutoPtr<SLWChar>* wide) {
  u32 length = SLStrLenA(text);
  wide->Reset(static_cast<SLWChar*>(SLAlloc((length + 1) * 2)));
  if (!*wide) return false;
  u32 produced = length;
  bool ok = SLAnsiToWide(wide->Get(), &produced, text, length, 0);
  wide->Get()[ok ? produced : 0] = 0;
  return ok;
}

}  // namespace

CSLResourceStorage::CSLResourceStorage() : m_data(nullptr) {}

CSLResourceStorage::~CSLResourceStorage() {
  SLErrorKeeper keep;
  if (!m_data) return;
  AttachContainer(nullptr);
  FreeFindRecord(m_data->findA, false);
  FreeFindRecord(m_data->findW, true);
  m_data->~SLResourceStorageData();
  SLFree(m_data);
  m_data = nullptr;
}

bool CSLResourceStorage::EnsureData() {
  if (m_data) return true;
  void* block = SLAllocZero(sizeof(SLResourceStorageData));
  if (!block) return false;
  m_data = new (block) SLResourceStorageData();
  m_data->primaryFilter = m_data->subFilter = 0xFFFFFFFFu;
  return true;
}

bool CSLResourceStorage::GetTime(CSLDateTime* out) {
  if (!m_data || !m_data->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  return m_data->source->GetTime(out);
}

bool CSLResourceStorage::AttachContainer(CSLBaseStorage* source) {
  if (m_data && m_data->source) {
    CSLTimer detachTimer;
    ReportProgress(SL_PROGRESS_DETACH, 0.0, &detachTimer);
    Close();
    FreeSearch(m_data);
    FreeEntries(m_data);
    CSLBaseStorage* old = m_data->source;
    m_data->source = nullptr;
    {
      SLErrorKeeper keep;
      old->Release();
    }
    ReportProgress(SL_PROGRESS_DETACH, 100.0, &detachTimer);
  }
  FreeNames();
  if (!source) return SLSucceed(true);
  if (!EnsureData()) return SLFail(SL_E_OUT_OF_MEMORY, false);

  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_ATTACH, 0.0, &timer)) return SLFail(SL_E_CANCELLED, false);
  if (!source->CanSeek()) return SLFail(SL_E_CANNOT_SEEK, false);
  if (!source->CanRead()) return SLFail(SL_E_BAD_CONTAINER, false);
  u64 size = 0;
  if (!source->GetSize(&size)) return false;
  SLResourceStorageData* d = m_data;
  d->sourceSize = size;
  d->kind = 0;

  // Code 0 keeps the failing step's own code.
  auto fail = [&](u32 code) {
    u32 failure = code ? code : SLGetLastError(false);
    FreeEntries(d);
    SLSetLastError(failure);
    return false;
  };
  auto finish = [&]() {
    // Entries whose data does not lie inside the source are dropped.
    u32 kept = 0;
    for (u32 i = 0; i < d->entries.GetCount(); ++i) {
      SLResourceEntry e = d->entries[i];
      if (e.offset >= size || e.size > size - e.offset) {
        FreeEntryTexts(e);
        continue;
      }
      d->entries[kept++] = e;
    }
    d->entries.SetSize(kept);
    SLQSort(d->entries.GetData(), kept, sizeof(SLResourceEntry), &CompareEntries, nullptr);
    source->AddRef();
    d->source = source;
    ReportProgress(SL_PROGRESS_ATTACH, 100.0, &timer);
    return SLSucceed(true);
  };
  if (size == 0) return finish();

  u8 dos[64];
  if (size < 64 || !ReadAt(source, 0, dos, 64)) return fail(SL_E_BAD_CONTAINER);
  u32 newHeader = SLLoadLE32(dos + 60);
  if (dos[0] != 'M' || dos[1] != 'Z' || newHeader >= size) return fail(SL_E_BAD_CONTAINER);
  u8 signature[4];
  if (!ReadAt(source, newHeader, signature, 2)) return fail(SL_E_BAD_CONTAINER);

  if (signature[0] == 'N' && signature[1] == 'E') {
    d->kind = 1;
    return SLModuleResources::ReadNE(source, newHeader, &d->entries) ? finish() : fail(0);
  }

  if (!ReadAt(source, u64(newHeader) + 2, signature + 2, 2) || signature[0] != 'P' || signature[1] != 'E' ||
      signature[2] || signature[3])
    return fail(SL_E_BAD_CONTAINER);
  return SLModuleResources::ReadPE(source, newHeader, size, &d->kind, &d->entries) ? finish() : fail(0);
}

CSLBaseStorage* CSLResourceStorage::GetContainer() { return SLFail(SL_E_NOT_SUPPORTED, (CSLBaseStorage*)nullptr); }
bool CSLResourceStorage::CreateW(const SLWChar*, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLResourceStorage::CreateA(const char*, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLResourceStorage::DeleteW(const SLWChar*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLResourceStorage::DeleteA(const char*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLResourceStorage::CreateDirectoryW(const SLWChar*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLResourceStorage::CreateDirectoryA(const char*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLResourceStorage::RemoveDirectoryW(const SLWChar*, bool, bool) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLResourceStorage::RemoveDirectoryA(const char*, bool, bool) { return SLFail(SL_E_NOT_SUPPORTED, false); }

bool CSLResourceStorage::OpenA(const char* path, u32 flags) {
  if (!path) return OpenW(nullptr, flags);  // the wide form tells which fault comes first
  TSLAutoPtr<SLWChar> wide;
  return Widen(path, &wide) && OpenW(wide.Get(), flags);
}

bool CSLResourceStorage::OpenW(const SLWChar* path, u32 flags) {
  if (!m_data || !m_data->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  CSLResourceStorageInternal* internal = GetInternal();
  if (!internal) return SLFail(SL_E_OUT_OF_MEMORY, false);
  ResourcePath parts;
  if (!SplitPath(path, false, &parts) || parts.count < 2 || !parts.length[0] || !parts.length[1])
    return SLFail(SL_E_STORAGE_NAME, false);
  for (u32 i = 2; i < parts.count; ++i)
    if (!parts.length[i]) return SLFail(SL_E_STORAGE_NAME, false);
  for (const SLWChar* p = path; *p; ++p)
    if (IsWild(*p)) return SLFail(SL_E_STORAGE_NAME, false);
  if ((flags & SL_STORAGE_ACCESS_MASK) > SL_STORAGE_READ) return SLFail(SL_E_STORAGE_FLAGS, false);
  u32 primary = parts.count > 2 ? PartNumber(parts, 2) : 0;
  u32 sub = parts.count > 3 ? PartNumber(parts, 3) : 0;
  // A LANGID holds 10 bits of primary language and 6 of sublanguage; the primary part is
  // held to below 64, and a sublanguage that does not fit is refused alike.
  if (primary >= 64 || sub >= 64) return SLFail(SL_E_STORAGE_NAME, false);
  u32 requested = (sub << 10) | primary;

  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_OPEN, 0.0, &timer)) return SLFail(SL_E_CANCELLED, false);
  Close();
  SLResourceEntry key{};
  key.type = LookupText(parts, 0, true);
  key.name = LookupText(parts, 1, true);
  if (!key.type || !key.name) {
    FreeEntryTexts(key);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  SetNameW(Shown(key.name));

  // Candidate languages, most specific first.
  u32 candidates[10];
  u32 n = 0;
  auto add = [&](u32 value) {
    if (n < 10) candidates[n++] = value;
  };
  auto addLocale = [&](LCID (*query)()) {
    u32 langId = query ? (query() & 0xFFFF) : 0;
    if (!langId) return;
    add(langId);
    add(langId & 0x3FF);
  };
  add(requested);
  add(requested & 0x3FF);
  add(0);
  if ((requested & 0x3FF) == 0) {
    if ((requested & 0xFC00) != 0x800) {
      addLocale(internal->m_pGetThreadLocale);
      addLocale(internal->m_pGetUserDefaultLCID);
    }
    addLocale(internal->m_pGetSystemDefaultLCID);
    add(0x409);
  }
  SLResourceStorageData* d = m_data;
  const SLResourceEntry* found = nullptr;
  for (u32 i = 0; i < n && !found; ++i) {
    key.language = candidates[i];
    found = static_cast<const SLResourceEntry*>(
        SLBSearch(d->entries.GetData(), &key, d->entries.GetCount(), sizeof(SLResourceEntry), &CompareKey, nullptr));
  }
  if (!found && (requested & 0x3FF) == 0) {
    for (const auto& e : d->entries)
      if (!SLStrICmpW(e.type, key.type) && !SLStrICmpW(e.name, key.name)) {
        found = &e;
        break;
      }
  }
  FreeEntryTexts(key);
  if (!found) {
    FreeNames();
    return SLFail(SL_E_STORAGE_OPEN, false);
  }
  u32 capacity = (found->size + 31) / 32 * 32;
  if (capacity > d->bytesCapacity || !d->bytes) {
    void* bytes = SLRealloc(d->bytes, capacity ? capacity : 32);
    if (!bytes) {
      FreeNames();
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    d->bytes = static_cast<u8*>(bytes);
    d->bytesCapacity = capacity ? capacity : 32;
  }
  if (found->size && !ReadAt(d->source, found->offset, d->bytes, found->size)) {
    SLErrorKeeper keep;
    Close();
    return false;
  }
  d->bytesSize = found->size;
  d->position = 0;
  d->current = found;
  ReportProgress(SL_PROGRESS_OPEN, 100.0, &timer);
  return SLSucceed(true);
}

void CSLResourceStorage::Close() {
  if (!m_data) {
    SLSetLastError(SL_OK);
    return;
  }
  CSLTimer timer;
  ReportProgress(SL_PROGRESS_CLOSE, 0.0, &timer);
  SLFree(m_data->bytes);
  m_data->bytes = nullptr;
  m_data->bytesCapacity = m_data->bytesSize = 0;
  m_data->current = nullptr;
  m_data->position = 0;
  FreeNames();
  ReportProgress(SL_PROGRESS_CLOSE, 100.0, &timer);
  SLSetLastError(SL_OK);
}

bool CSLResourceStorage::CanRead() {
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  return SLSucceed(true);
}

u64 CSLResourceStorage::Read(void* buffer, u64 count) {
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, u64(0));
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_READ, 0.0, &timer)) return SLFail(SL_E_CANCELLED, u64(0));
  SLResourceStorageData* d = m_data;
  if (d->position >= d->bytesSize) return SLFail(SL_E_STORAGE_EOF, u64(0));
  u32 result = SL_OK;
  u64 remaining = d->bytesSize - d->position;
  if (count > remaining) {
    count = remaining;
    result = SL_E_STORAGE_EOF;
  }
  u64 copied = 0;
  while (copied < count) {
    u32 piece = u32(count - copied > 65536 ? 65536 : count - copied);
    SLMemCopy(static_cast<u8*>(buffer) + copied, d->bytes + d->position, piece);
    copied += piece;
    d->position += piece;
    if (ReportProgress(SL_PROGRESS_READ, double(copied) * 99.6 / double(count), &timer))
      return SLFail(SL_E_CANCELLED, copied);
  }
  if (!(result & 0x80000000u)) ReportProgress(SL_PROGRESS_READ, 100.0, &timer);
  SLSetLastError(result);
  return copied;
}

bool CSLResourceStorage::CanWrite() {
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  return SLSucceed(false);
}

u64 CSLResourceStorage::Write(const void* buffer, u64) {
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, u64(0));
  return SLFail(buffer ? u32(SL_E_STORAGE_WRITE_REFUSED) : u32(SL_E_NULL_DATA), u64(0));
}

bool CSLResourceStorage::CanSeek() { return CanRead(); }

bool CSLResourceStorage::Seek(i64 offset, u32 origin) {
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_SEEK, 0.0, &timer)) return SLFail(SL_E_CANCELLED, false);
  SLResourceStorageData* d = m_data;
  auto relative = [](u64 base, i64 delta) -> u64 {
    if (delta >= 0) return base + u64(delta);
    u64 back = u64(-(delta + 1)) + 1;
    return back > base ? 0 : base - back;
  };
  switch (origin) {
    case SL_SEEK_BEGIN: d->position = u64(offset) > d->bytesSize ? d->bytesSize : u64(offset); break;
    case SL_SEEK_CURRENT: d->position = relative(d->position, offset); break;
    case SL_SEEK_END: d->position = relative(d->bytesSize, offset); break;
    default: break;
  }
  ReportProgress(SL_PROGRESS_SEEK, 100.0, &timer);
  return SLSucceed(true);
}

bool CSLResourceStorage::GetPosition(u64* out) {
  if (out) *out = 0;
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = m_data->position;
  return SLSucceed(true);
}

bool CSLResourceStorage::IsEOF() {
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, true);
  return SLSucceed(m_data->position >= m_data->bytesSize);
}

bool CSLResourceStorage::Flush() { return CanRead(); }
bool CSLResourceStorage::Lock(u64, u64) { return CanRead(); }
bool CSLResourceStorage::Unlock(u64, u64) { return CanRead(); }

bool CSLResourceStorage::SetSize(u64) {
  return SLFail(m_data && m_data->current ? SL_E_STORAGE_SET_SIZE : SL_E_STORAGE_NOT_OPEN, false);
}

bool CSLResourceStorage::GetSize(u64* out) {
  if (out) *out = 0;
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = m_data->bytesSize;
  return SLSucceed(true);
}

void* CSLResourceStorage::MapView() {
  static u8 empty = 0;
  if (!m_data || !m_data->current) return SLFail(SL_E_STORAGE_NOT_OPEN, (void*)nullptr);
  SLSetLastError(SL_OK);
  return m_data->bytesSize ? m_data->bytes : &empty;
}

void CSLResourceStorage::UnmapView() { SLSetLastError(SL_OK); }

SLStorageFindRecord* CSLResourceStorage::FindFirstW(const SLWChar* pattern) {
  if (!m_data || !m_data->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, (SLStorageFindRecord*)nullptr);
  SLResourceStorageData* d = m_data;
  FreeSearch(d);
  d->primaryFilter = d->subFilter = 0xFFFFFFFFu;
  ResourcePath parts;
  if (!SplitPath(pattern, true, &parts)) return SLFail(SL_E_INVALID_ARG, (SLStorageFindRecord*)nullptr);
  auto refuse = [&](u32 code) {
    FreeSearch(d);
    return SLFail(code, (SLStorageFindRecord*)nullptr);
  };
  d->dotDone = false;
  d->nextIndex = 0;
  if (parts.count >= 2) {
    if (parts.wild[0]) return refuse(SL_E_STORAGE_NAME);
    d->listingNames = true;
    d->typePattern = LookupText(parts, 0, false);
    if (parts.length[1]) {
      d->namePattern = LookupText(parts, 1, false);
    } else {
      d->namePattern = static_cast<SLWChar*>(SLAlloc(4));
      if (d->namePattern) d->namePattern[0] = u'*', d->namePattern[1] = 0;
    }
    if (parts.count >= 3 && parts.length[2] && !parts.wild[2]) d->primaryFilter = PartNumber(parts, 2);
    if (parts.count >= 4 && parts.length[3]) {
      if (parts.wild[2]) return refuse(SL_E_STORAGE_NAME);
      if (!parts.wild[3]) d->subFilter = PartNumber(parts, 3);
    }
    if (!d->typePattern || !d->namePattern) return refuse(SL_E_OUT_OF_MEMORY);
  } else {
    d->listingNames = false;
    d->typePattern = LookupText(parts, 0, false);
    if (!d->typePattern) return refuse(SL_E_OUT_OF_MEMORY);
  }
  return FindNextW();
}

SLStorageFindRecord* CSLResourceStorage::FindNextW() {
  if (!m_data || !m_data->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, (SLStorageFindRecord*)nullptr);
  SLResourceStorageData* d = m_data;
  if (!d->typePattern) return SLFail(SL_E_STORAGE_NO_SEARCH, (SLStorageFindRecord*)nullptr);
  if (!d->findW) {
    d->findW = SLStorageFindRecord::Create();
    if (!d->findW) return nullptr;
  }
  SLStorageFindRecord* record = d->findW;
  auto report = [&](const SLWChar* name, const SLResourceEntry* entry) -> SLStorageFindRecord* {
    u32 length = SLStrLenW(name);
    auto* copy = static_cast<SLWChar*>(SLAlloc((length + 1) * 2));
    if (!copy) return nullptr;
    SLMemCopy(copy, name, (length + 1) * 2);
    // A source that cannot tell its date lists its entries with a zero date.
    if (!d->source->GetTime(&record->time)) record->time.SetZero(false);
    SLFree(record->nameW);
    record->nameW = copy;
    record->reserved = 0;
    d->info = SLResourceInfo{};
    if (entry) {
      record->flags = SL_FIND_FILE;
      record->size = record->storedSize = entry->size;
      if (entry->name[0] == u'#') d->info.id = SLStrToUIntW(entry->name + 1, SL_TEXT_TO_END, 10, nullptr);
      d->info.primaryLanguage = entry->language & 0x3FF;
      d->info.subLanguage = entry->language >> 10;
      d->info.codePage = entry->codePage;
    } else {
      record->flags = SL_FIND_DIRECTORY | SL_FIND_READONLY;
      record->size = record->storedSize = 0;
    }
    record->privateInfo = &d->info;
    SLSetLastError(SL_OK);
    return record;
  };
  if (d->listingNames && !d->dotDone) {
    d->dotDone = true;
    if (SLWildcardMatchW(d->namePattern, u"..", true)) return report(u"..", nullptr);
  }
  u32 count = d->entries.GetCount();
  while (d->nextIndex < count) {
    const SLResourceEntry& e = d->entries[d->nextIndex++];
    if (!d->listingNames) {
      if (!SLWildcardMatchW(d->typePattern, Shown(e.type), true)) continue;
      while (d->nextIndex < count && !SLStrICmpW(d->entries[d->nextIndex].type, e.type)) ++d->nextIndex;
      return report(Shown(e.type), nullptr);
    }
    if (SLStrICmpW(Shown(e.type), d->typePattern)) continue;
    if (!SLWildcardMatchW(d->namePattern, Shown(e.name), true)) continue;
    if (d->primaryFilter != 0xFFFFFFFFu && d->primaryFilter != (e.language & 0x3FF)) continue;
    if (d->subFilter != 0xFFFFFFFFu && d->subFilter != (e.language >> 10)) continue;
    return report(Shown(e.name), &e);
  }
  FreeSearch(d);
  return SLFail(SL_E_NO_MORE, (SLStorageFindRecord*)nullptr);
}

SLStorageFindRecord* CSLResourceStorage::FindFirstA(const char* pattern) {
  if (!pattern) return SLFail(SL_E_INVALID_ARG, (SLStorageFindRecord*)nullptr);
  TSLAutoPtr<SLWChar> wide;
  SLStorageFindRecord* wideRecord = Widen(pattern, &wide) ? FindFirstW(wide.Get()) : nullptr;
  return wideRecord ? SLStorageFindRecord::NarrowFrom(&m_data->findA, wideRecord) : nullptr;
}

SLStorageFindRecord* CSLResourceStorage::FindNextA() {
  SLStorageFindRecord* wideRecord = FindNextW();
  return wideRecord ? SLStorageFindRecord::NarrowFrom(&m_data->findA, wideRecord) : nullptr;
}

bool CSLResourceStorage::AttachModule(HMODULE module) {
  CSLResourceStorageInternal* internal = GetInternal();
  if (!internal) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!internal->m_pGetModuleImage) return SLFail(SL_E_NOT_SUPPORTED, false);
  const void* data = nullptr;
  u64 size = 0;
  if (!internal->m_pGetModuleImage(module, &data, &size)) return SLFail(SL_E_STORAGE_OPEN, false);
  if (!SLFitsU32(size)) return SLFail(SL_E_BAD_CONTAINER, false);
  auto* memory = new CSLMemoryStorage();
  if (!memory) return false;
  // The image is part of the program: the memory storage only borrows it.
  bool ok = memory->AttachBuffer(const_cast<void*>(data), u32(size), false) && AttachContainer(memory);
  SLErrorKeeper keep;
  memory->Release();
  return ok;
}
