#include "storage/SLBaseStorage.h"

#include <cstring>
#include <new>

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLSync.h"
#include "foundation/SLTextConvert.h"
#include "storage/SLPath.h"

SL_IMPLEMENT_CLASS(CSLBaseStorage, CSLObject)

namespace {

const char s_emptyA[1] = {0};
const SLWChar s_emptyW[1] = {0};

// A new UTF-16 copy of 8-bit text of the system code page (SLFree), or null.
SLWChar* DupAnsiAsWide(const char* text) {
  u32 units = 0;
  if (!SLAnsiToWide(nullptr, &units, text, SL_TEXT_TO_END, 0)) return nullptr;
  u64 bytes;
  if (!SLCheckedMul(u64(units) + 1, sizeof(SLWChar), &bytes) || !SLFitsU32(bytes))
    return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
  auto* copy = static_cast<SLWChar*>(SLAlloc(u32(bytes)));
  if (!copy) return nullptr;
  u32 capacity = units + 1;
  if (!SLAnsiToWide(copy, &capacity, text, SL_TEXT_TO_END, 0)) {
    SLInternals::SLFreeKeepingError(copy);
    return nullptr;
  }
  copy[capacity < units ? capacity : units] = 0;
  return copy;
}

// A new 8-bit copy (system code page) of UTF-16 text (SLFree), or null.
char* DupWideAsAnsi(const SLWChar* text) {
  u32 bytes = 0;
  if (!SLWideToAnsi(nullptr, &bytes, text, SL_TEXT_TO_END, 0)) return nullptr;
  if (bytes >= 0xFFFFFFFFu) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
  auto* copy = static_cast<char*>(SLAlloc(bytes + 1));
  if (!copy) return nullptr;
  u32 capacity = bytes + 1;
  if (!SLWideToAnsi(copy, &capacity, text, SL_TEXT_TO_END, 0)) {
    SLInternals::SLFreeKeepingError(copy);
    return nullptr;
  }
  copy[capacity < bytes ? capacity : bytes] = 0;
  return copy;
}

}  // namespace

// ---- find record ----

SLStorageFindRecord* SLStorageFindRecord::Construct(void* zeroFilled) {
  if (!zeroFilled) return nullptr;
  auto* record = static_cast<SLStorageFindRecord*>(zeroFilled);
  new (&record->time) CSLDateTime();
  record->time.SetZero(false);
  return record;
}

SLStorageFindRecord* SLStorageFindRecord::Create() {
  void* memory = SLAllocZero(u32(sizeof(SLStorageFindRecord)));
  if (!memory) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
  return Construct(memory);
}

void SLStorageFindRecord::DeletingDtor(u32 flags) {
  time.~CSLDateTime();
  if (flags & 1) SLFree(this);
}

SLStorageFindRecord* SLStorageFindRecord::NarrowFrom(SLStorageFindRecord** narrow, const SLStorageFindRecord* wide) {
  if (!*narrow) {
    *narrow = Create();
    if (!*narrow) return nullptr;
  }
  char* name = DupWideAsAnsi(wide->nameW);
  if (!name) return nullptr;
  SLStorageFindRecord* record = *narrow;
  SLFree(record->nameA);
  record->nameA = name;
  record->flags = wide->flags;
  record->time = wide->time;
  record->size = wide->size;
  record->storedSize = wide->storedSize;
  record->reserved = 0;
  record->privateInfo = nullptr;
  return SLSucceed(record);
}

// ---- construction ----

std::atomic<const void*> CSLBaseStorage::s_silentProgressHook{nullptr};

CSLBaseStorage::CSLBaseStorage()
    : m_nameA(nullptr), m_nameW(nullptr), m_scratch(nullptr), m_scratchCount1(0), m_scratchCount2(0) {
  // While this constructor runs the object's table is the base class's, whose entry is the
  // hook that does nothing.
  s_silentProgressHook.store(ProgressHookEntry(this), std::memory_order_relaxed);
}

CSLBaseStorage::~CSLBaseStorage() {
  SLErrorKeeper keep;
  FreeScratch();
  FreeNames();
}

// ---- the defaults: not supported ----

bool CSLBaseStorage::GetTime(CSLDateTime* out) {
  if (out) out->SetZero(false);
  return SLFail(SL_E_NOT_SUPPORTED, false);
}
bool CSLBaseStorage::AttachContainer(CSLBaseStorage*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
CSLBaseStorage* CSLBaseStorage::GetContainer() { return SLFail<CSLBaseStorage*>(SL_E_NOT_SUPPORTED, nullptr); }
bool CSLBaseStorage::CreateW(const SLWChar*, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::CreateA(const char*, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::OpenW(const SLWChar*, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::OpenA(const char*, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
void CSLBaseStorage::Close() { SLSetLastError(SL_E_NOT_SUPPORTED); }
bool CSLBaseStorage::DeleteW(const SLWChar*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::DeleteA(const char*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::CreateDirectoryW(const SLWChar*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::CreateDirectoryA(const char*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::RemoveDirectoryW(const SLWChar*, bool, bool) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSLBaseStorage::RemoveDirectoryA(const char*, bool, bool) { return SLFail(SL_E_NOT_SUPPORTED, false); }
SLStorageFindRecord* CSLBaseStorage::FindFirstA(const char*) {
  return SLFail<SLStorageFindRecord*>(SL_E_NOT_SUPPORTED, nullptr);
}
SLStorageFindRecord* CSLBaseStorage::FindFirstW(const SLWChar*) {
  return SLFail<SLStorageFindRecord*>(SL_E_NOT_SUPPORTED, nullptr);
}
SLStorageFindRecord* CSLBaseStorage::FindNextA() { return SLFail<SLStorageFindRecord*>(SL_E_NOT_SUPPORTED, nullptr); }
SLStorageFindRecord* CSLBaseStorage::FindNextW() { return SLFail<SLStorageFindRecord*>(SL_E_NOT_SUPPORTED, nullptr); }
void* CSLBaseStorage::MapView() { return SLFail<void*>(SL_E_NOT_SUPPORTED, nullptr); }
void CSLBaseStorage::UnmapView() { SLSetLastError(SL_E_NOT_SUPPORTED); }
u32 CSLBaseStorage::ReservedA(u32) { return SLFail(SL_E_NOT_SUPPORTED, 0u); }
u32 CSLBaseStorage::ReservedB(u32, u32) { return SLFail(SL_E_NOT_SUPPORTED, 0u); }
void CSLBaseStorage::OnProgress(u32, double, u32, u32*) {}

bool CSLBaseStorage::ReportProgress(u32 operation, double percent, u32 elapsedMs) {
  if (!HasProgressHook()) return false;
  u32 cancel = 0;
  OnProgress(operation, percent, elapsedMs, &cancel);
  return cancel != 0;
}

bool CSLBaseStorage::ReportProgress(u32 operation, double percent, CSLTimer* timer) {
  if (!HasProgressHook()) return false;
  return ReportProgress(operation, percent, timer ? timer->GetDeltaMs() : 0u);
}

// ---- typed reads and writes ----

bool CSLBaseStorage::WriteU16(u16 value) { return Write(&value, sizeof value) == sizeof value; }
bool CSLBaseStorage::WriteU32(u32 value) { return Write(&value, sizeof value) == sizeof value; }

// ---- names ----

const SLWChar* CSLBaseStorage::GetNameW() const { return m_nameW ? m_nameW : s_emptyW; }
const char* CSLBaseStorage::GetNameA() const { return m_nameA ? m_nameA : s_emptyA; }

bool CSLBaseStorage::FreeNames() {
  SLFree(m_nameA);
  SLFree(m_nameW);
  m_nameA = nullptr;
  m_nameW = nullptr;
  SLSetLastError(SL_OK);
  return true;
}

void CSLBaseStorage::FreeScratch() {
  SLFree(m_scratch);
  m_scratch = nullptr;
  m_scratchCount1 = 0;
  m_scratchCount2 = 0;
}

bool CSLBaseStorage::AdoptNames(char* nameA, SLWChar* nameW) {
  if (!nameA || !nameW) {
    SLInternals::SLFreeKeepingError(nameA);
    SLInternals::SLFreeKeepingError(nameW);
    return false;
  }
  FreeNames();
  m_nameA = nameA;
  m_nameW = nameW;
  return SLSucceed(true);
}

bool CSLBaseStorage::SetNameA(const char* name) {
  if (!name || !*name) return FreeNames();
  char* nameA = SLStrDupA(name, false);
  return AdoptNames(nameA, nameA ? DupAnsiAsWide(name) : nullptr);
}

bool CSLBaseStorage::SetNameW(const SLWChar* name) {
  if (!name || !*name) return FreeNames();
  SLWChar* nameW = SLStrDupW(name, false);
  return AdoptNames(nameW ? DupWideAsAnsi(name) : nullptr, nameW);
}

// ---- free functions ----

namespace {

// An item read in one byte order and stored back in the other is swapped in place.
template <class T>
void SwapItems(void* items, u32 count) {
  auto* bytes = static_cast<u8*>(items);
  for (u32 i = 0; i < count; ++i, bytes += sizeof(T)) {
    if constexpr (sizeof(T) == 2)
      SLStoreBE16(bytes, SLLoadLE16(bytes));
    else if constexpr (sizeof(T) == 4)
      SLStoreBE32(bytes, SLLoadLE32(bytes));
    else
      SLStoreBE64(bytes, SLLoadLE64(bytes));
  }
}

}  // namespace

void SLSwapBytes16(void* items, u32 count) { SwapItems<u16>(items, count); }
void SLSwapBytes32(void* items, u32 count) { SwapItems<u32>(items, count); }
void SLSwapBytes64(void* items, u32 count) { SwapItems<u64>(items, count); }

double SLUInt64ToDouble(u32 low, u32 high) {
  // The signed conversion of the lower 63 bits is exact in its rounding; the top bit
  // is added back as 2^63, which a double holds exactly.
  u64 value = (u64(high) << 32) | low;
  double result = double(i64(value & 0x7FFFFFFFFFFFFFFFull));
  if (value >> 63) result += 9223372036854775808.0;
  return result;
}

u32 SLGetFileNameA(char* out, const char* path) { return SLGetPathPartsA(out, path, 4 | 8); }
u32 SLGetFileNameW(SLWChar* out, const SLWChar* path) { return SLGetPathPartsW(out, path, 4 | 8); }
