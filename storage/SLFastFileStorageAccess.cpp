// The pack storage's entry operations (open, read, seek, ...) and its listing.
#include <bit>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLProcessor.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"
#include "foundation/SLWildcard.h"
#include "storage/SLArchivePath.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFastFileStorageInternal.h"
#include "storage/SLPath.h"

using namespace SLInternals::SLFastPack;

namespace {

// The bytes of an entry are stored XORed with the key byte of their position inside the
// entry (not inside the caller's buffer): byte p uses key byte p mod 4.
// A few bytes whose mask starts at the low byte of `word`: 8, 4, 2 and 1 bytes at a time
// (the pattern repeats every 4 bytes, so the word serves again after 8 or 4).
inline void UnmaskTail(u8* data, u64 count, u64 word) {
  for (; count >= 8; data += 8, count -= 8) {
    u64 w;
    std::memcpy(&w, data, 8);
    w ^= word;
    std::memcpy(data, &w, 8);
  }
  if (count >= 4) {
    u32 w;
    std::memcpy(&w, data, 4);
    w ^= u32(word);
    std::memcpy(data, &w, 4);
    data += 4;
    count -= 4;
  }
  if (count >= 2) {
    u16 w;
    std::memcpy(&w, data, 2);
    w ^= u16(word);
    std::memcpy(data, &w, 2);
    data += 2;
    count -= 2;
    word >>= 16;
  }
  if (count) *data ^= u8(word);
}

#if defined(__x86_64__)
// 128 bytes at a time in 256-bit vectors, for processors with AVX2; the bytes done.
__attribute__((target("avx2"))) u64 UnmaskWide(u8* data, u64 count, u64 word) {
  const __m256i mask = _mm256_set1_epi64x(i64(word));
  u64 i = 0;
  for (; i + 128 <= count; i += 128) {
    auto* at = reinterpret_cast<__m256i*>(data + i);
    __m256i a = _mm256_loadu_si256(at), b = _mm256_loadu_si256(at + 1);
    __m256i c = _mm256_loadu_si256(at + 2), d = _mm256_loadu_si256(at + 3);
    _mm256_storeu_si256(at, _mm256_xor_si256(a, mask));
    _mm256_storeu_si256(at + 1, _mm256_xor_si256(b, mask));
    _mm256_storeu_si256(at + 2, _mm256_xor_si256(c, mask));
    _mm256_storeu_si256(at + 3, _mm256_xor_si256(d, mask));
  }
  return i;
}
#endif

void UnmaskEntryBytes(u8* data, u64 count, u64 position, u32 key) {
  // The key rotated to the first byte's place gives the mask of every word and vector that
  // starts a multiple of 4 bytes later.
  const u32 rotated = std::rotr(key, int(8 * (position & 3)));
  const u64 word = u64(rotated) * 0x0000000100000001ull;
  using Block = u64 __attribute__((vector_size(16)));
  const Block mask = {word, word};
  u64 i = 0;
#if defined(__x86_64__)
  if (count >= 128 && SLHasAVX2()) i = UnmaskWide(data, count, word);
#endif
  for (; i + 64 <= count; i += 64) {
    Block a, b, c, d;
    std::memcpy(&a, data + i, 16);
    std::memcpy(&b, data + i + 16, 16);
    std::memcpy(&c, data + i + 32, 16);
    std::memcpy(&d, data + i + 48, 16);
    a ^= mask;
    b ^= mask;
    c ^= mask;
    d ^= mask;
    std::memcpy(data + i, &a, 16);
    std::memcpy(data + i + 16, &b, 16);
    std::memcpy(data + i + 32, &c, 16);
    std::memcpy(data + i + 48, &d, 16);
  }
  UnmaskTail(data + i, count - i, word);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Entries

bool CSLFastFileStorage::OpenA(const char* path, u32 flags) {
  if ((flags & SL_STORAGE_ACCESS_MASK) > SL_STORAGE_READ) return SLFail(SL_E_STORAGE_FLAGS, false);
  bool opened;
  u32 code;
  {
    CSLStringWide wide;
    opened = wide.AssignA(path ? path : "") && OpenW(wide.CStr(), flags);
    code = SLGetLastError();
  }
  return SLFail(code, opened);
}

bool CSLFastFileStorage::OpenW(const SLWChar* path, u32 flags) {
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!path) path = u"";
  if ((flags & SL_STORAGE_ACCESS_MASK) > SL_STORAGE_READ) return SLFail(SL_E_STORAGE_FLAGS, false);
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_OPEN, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  Close();

  SLWChar* normal = SLDuplicateText(path, SLTextLength(path));
  if (!normal) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLInternals::SLNormaliseEntryPath(normal);
  SLFastPackLink* list = nullptr;
  u32 index = 0;
  SLFastPackNode* found = nullptr;
  if (FindNode(normal, &list, &index) == 0) {
    for (SLFastPackLink* l = list->next; l != list; l = l->next) {
      SLFastPackNode* node = NodeOf(l);
      if (!node->directory && EqualNoCase(node->name, normal + index)) {
        found = node;
        break;
      }
    }
  }
  SLFree(normal);
  if (!found) return SLFail(SL_E_STORAGE_OPEN, false);
  if (!m_state->source->Seek(i64(found->offset), SL_SEEK_BEGIN)) return false;

  // The storage's name is the entry's path in the pack's own case.
  u64 total = SLStrLenW(found->name);
  for (SLFastPackNode* p = found->parent; p; p = p->parent) total += SLStrLenW(p->name) + 1;
  SLWChar* fullName = AllocWide(total);
  if (!fullName) return SLFail(SL_E_OUT_OF_MEMORY, false);
  u64 end = total;
  for (SLFastPackNode* p = found; p; p = p->parent) {
    u32 length = SLStrLenW(p->name);
    end -= length;
    std::memcpy(fullName + end, p->name, length * sizeof(SLWChar));
    if (end) fullName[--end] = kSlash;
  }
  fullName[total] = 0;
  {
    TSLAutoPtr<SLWChar> fullNameOwner(fullName);
    if (!SetNameW(fullName)) return false;
  }

  m_state->open = 1;
  m_state->openNode = found;
  m_state->position = 0;
  m_state->windowLength = 0;  // the window was unmasked for the entry open before
  ReportProgress(SL_PROGRESS_OPEN, 100, &timer);
  return SLSetLastError(SL_OK);
}

void CSLFastFileStorage::Close() {
  CSLTimer timer;
  ReportProgress(SL_PROGRESS_CLOSE, 0, &timer);
  UnmapView();
  if (m_state && m_state->open) {
    FreeNames();
    m_state->open = 0;
    m_state->openNode = nullptr;
  }
  ReportProgress(SL_PROGRESS_CLOSE, 100, &timer);
  SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::CheckEntry(u32 noEntryCode) {
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!m_state->open) return SLFail(noEntryCode, false);
  return true;
}

bool CSLFastFileStorage::CanRead() {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::CanSeek() { return CanRead(); }

bool CSLFastFileStorage::CanWrite() {
  return SLFail(m_state && m_state->source ? u32(SL_E_STORAGE_NOT_OPEN) : u32(SL_E_STORAGE_NO_CONTAINER), false);
}

u64 CSLFastFileStorage::Write(const void* buffer, u64) {
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, u64(0));
  return SLFail(buffer ? u32(SL_E_STORAGE_NOT_OPEN) : u32(SL_E_NULL_DATA), u64(0));
}

// Small reads with nobody listening to progress (on this storage or its source) come from
// a window of the open entry's bytes that one source read filled and unmasked.
// Every other read, the failing checks included, goes through the source with its reports.
u64 CSLFastFileStorage::Read(void* buffer, u64 count) {
  constexpr u64 kLargestSmallRead = kReadBlock / 16;
  SLFastPackState* s = m_state;
  if (!s || !s->source || !s->open || !buffer || count - 1 >= kLargestSmallRead ||
      s->position >= s->openNode->size || s->sourceReports || HasProgressHook())
    return ReadThroughSource(buffer, count);
  const u64 position = s->position;
  const u64 left = s->openNode->size - position;
  const u64 take = count < left ? count : left;
  const u64 at = s->openNode->offset + position;
  if ((at < s->windowStart || at - s->windowStart > s->windowLength ||  // no window: length 0
       take > s->windowLength - (at - s->windowStart)) &&
      !FillWindow(at, left < kReadBlock ? left : kReadBlock))
    return ReadThroughSource(buffer, count);
  SLCopyBytes(buffer, s->window + (at - s->windowStart), size_t(take));
  s->position = position + take;
  SLSetLastError(take < count ? u32(SL_E_STORAGE_EOF) : u32(SL_OK));
  return take;
}

bool CSLFastFileStorage::FillWindow(u64 at, u64 length) {
  SLFastPackState* s = m_state;
  if (!s->window && !(s->window = static_cast<u8*>(SLAlloc(kReadBlock)))) return false;
  s->windowLength = 0;
  if (!s->source->Seek(i64(at), SL_SEEK_BEGIN) || s->source->Read(s->window, length) != length) return false;
  if (s->key) UnmaskEntryBytes(s->window, length, at - s->openNode->offset, s->key);
  s->windowStart = at;
  s->windowLength = length;
  return true;
}

u64 CSLFastFileStorage::ReadThroughSource(void* buffer, u64 count) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return 0;
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_READ, 0, &timer)) return SLFail(SL_E_CANCELLED, u64(0));
  SLFastPackNode* node = m_state->openNode;
  const u64 position = m_state->position;
  if (position >= node->size) return SLFail(SL_E_STORAGE_EOF, u64(0));
  if (count == 0) {
    ReportProgress(SL_PROGRESS_READ, 100, &timer);
    return SLSucceed(u64(0));
  }
  u32 outcome = SL_OK;
  u64 end;
  if (!SLCheckedAdd(position, count, &end) || end > node->size) {
    count = node->size - position;
    outcome = SL_E_STORAGE_EOF;
  }
  if (!m_state->source->Seek(i64(node->offset + position), SL_SEEK_BEGIN)) return 0;

  auto* bytes = static_cast<u8*>(buffer);
  u64 done = 0;
  while (done < count) {
    u64 piece = count - done < kReadBlock ? count - done : kReadBlock;
    u64 got = m_state->source->Read(bytes + done, piece);
    // Unmasked block by block while the bytes are still in the cache.
    if (got && m_state->key) UnmaskEntryBytes(bytes + done, got, position + done, m_state->key);
    done += got;
    if (got < piece) {
      outcome = SLGetLastError();
      if (outcome == SL_OK) outcome = SL_E_STORAGE_EOF;
      break;
    }
    if (ReportProgress(SL_PROGRESS_READ, double(done) * 99.6 / double(count), &timer)) {
      outcome = SL_E_CANCELLED;
      break;
    }
  }
  m_state->position = position + done;
  if (!(outcome & 0x80000000u)) ReportProgress(SL_PROGRESS_READ, 100, &timer);  // not after a failure, the end included
  SLSetLastError(outcome);
  return done;
}

bool CSLFastFileStorage::Seek(i64 offset, u32 origin) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_SEEK, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  const u64 size = m_state->openNode->size;
  u64& position = m_state->position;
  const u64 magnitude = offset < 0 ? u64(0) - u64(offset) : u64(offset);
  switch (origin) {
    case SL_SEEK_BEGIN:
      position = u64(offset) < size ? u64(offset) : size;  // a negative offset lands at the end
      break;
    case SL_SEEK_CURRENT:
      if (offset < 0) {
        position = magnitude > position ? 0 : position - magnitude;
      } else {
        position = magnitude > size - (position < size ? position : size) ? size : position + magnitude;
        if (position > size) position = size;
      }
      break;
    case SL_SEEK_END:
      if (offset < 0)
        position = magnitude > size ? 0 : size - magnitude;
      else if (!SLCheckedAdd(size, magnitude, &position))  // past the end is allowed; reads there fail
        position = ~u64(0);
      break;
    default:
      break;
  }
  ReportProgress(SL_PROGRESS_SEEK, 100, &timer);
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::GetPosition(u64* out) {
  if (out) *out = 0;
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!m_state->open) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  *out = m_state->position;
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::IsEOF() {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return true;
  SLSetLastError(SL_OK);
  return m_state->position >= m_state->openNode->size;
}

bool CSLFastFileStorage::Flush() {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return m_state->source->Flush();
}

bool CSLFastFileStorage::Lock(u64, u64) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::Unlock(u64, u64) { return Lock(0, 0); }

bool CSLFastFileStorage::SetSize(u64) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return SLFail(SL_E_STORAGE_SET_SIZE, false);  // the pack is read-only
}

bool CSLFastFileStorage::GetSize(u64* out) {
  if (out) *out = 0;
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!m_state->open) return SLFail(SL_E_STORAGE_GET_SIZE, false);
  *out = m_state->openNode->size;
  return SLSetLastError(SL_OK);
}

// ---------------------------------------------------------------------------------------
// Listing

SLStorageFindRecord* CSLFastFileStorage::FindFirstW(const SLWChar* pattern) {
  if (!pattern || !*pattern) return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));
  if (!m_state || !m_state->source)
    return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<SLStorageFindRecord*>(nullptr));
  TSLAutoPtr<SLWChar> cleaned(SLInternals::SLMakeEntryPattern(pattern));
  if (!cleaned) return nullptr;
  SLWChar* copy = cleaned.Get();

  SLFree(m_state->findPattern);
  m_state->findPattern = nullptr;
  SLFastPackLink* list = nullptr;
  u32 index = 0;
  if (FindNode(copy, &list, &index) != 0) return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));
  const SLWChar* last = copy + index;
  m_state->findPattern = *last ? SLDuplicateText(last, SLTextLength(last)) : SLDuplicateText(u"*", 1);
  if (!m_state->findPattern) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLStorageFindRecord*>(nullptr));
  m_state->findDotState = 0;
  m_state->findDirectory = list;
  m_state->findCursor = nullptr;
  return FindNextW();
}

SLStorageFindRecord* CSLFastFileStorage::FindNextW() {
  using Record = SLStorageFindRecord;
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<Record*>(nullptr));
  if (!m_state->findPattern || !*m_state->findPattern)
    return SLFail(SL_E_STORAGE_NO_SEARCH, static_cast<Record*>(nullptr));
  if (!m_state->findRecordW) {
    m_state->findRecordW = SLStorageFindRecord::Create();
    if (!m_state->findRecordW) return nullptr;
  }
  Record* record = m_state->findRecordW;
  SLFastPackLink* directory = m_state->findDirectory;

  const SLWChar* name = nullptr;
  SLFastPackNode* node = nullptr;
  if (m_state->findDotState == 0) {
    m_state->findDotState = 1;
    if (directory != &m_state->root && SLWildcardMatchW(m_state->findPattern, u"..", true)) name = u"..";
  }
  if (!name) {
    SLFastPackLink* l = m_state->findCursor ? m_state->findCursor->next : directory->next;
    for (; l != directory; l = l->next) {
      SLFastPackNode* candidate = NodeOf(l);
      if (!SLIsDotOrEmptyName(candidate->name) && SLWildcardMatchW(m_state->findPattern, candidate->name, true)) {
        node = candidate;
        break;
      }
    }
    if (!node) {
      SLFree(m_state->findPattern);
      m_state->findPattern = nullptr;
      return SLFail(SL_E_NO_MORE, static_cast<Record*>(nullptr));
    }
    m_state->findCursor = &node->link;
    name = node->name;
  }

  SLWChar* nameCopy = SLDuplicateText(name, SLTextLength(name));
  if (!nameCopy) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<Record*>(nullptr));
  SLFree(record->nameW);
  record->nameW = nameCopy;
  if (!node || node->directory) {
    record->flags = SL_FIND_DIRECTORY | SL_FIND_READONLY;
    record->size = record->storedSize = 0;
  } else {
    record->flags = SL_FIND_FILE;
    record->size = record->storedSize = node->size;
  }
  record->reserved = 0;
  // A source that cannot tell its date (a memory storage) lists with a zero date.
  if (!m_state->source->GetTime(&record->time)) record->time.SetZero(false);
  SLSetLastError(SL_OK);
  return record;
}

SLStorageFindRecord* CSLFastFileStorage::FindFirstA(const char* pattern) {
  if (!pattern || !*pattern) return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));
  if (!m_state || !m_state->source)
    return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<SLStorageFindRecord*>(nullptr));
  SLStorageFindRecord* found;
  u32 code;
  {
    CSLStringWide wide;
    found = wide.AssignA(pattern) ? FindFirstW(wide.CStr()) : nullptr;
    code = SLGetLastError();
  }
  if (!found) return SLFail(code, found);
  return SLStorageFindRecord::NarrowFrom(&m_state->findRecordA, m_state->findRecordW);
}

SLStorageFindRecord* CSLFastFileStorage::FindNextA() {
  if (!FindNextW()) return nullptr;
  return SLStorageFindRecord::NarrowFrom(&m_state->findRecordA, m_state->findRecordW);
}
