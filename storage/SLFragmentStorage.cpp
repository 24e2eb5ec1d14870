#include "storage/SLFragmentStorage.h"

#include "foundation/SLArray.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSync.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLFragmentStorage, CSLBaseStorage)

namespace {
constexpr u64 kBlock = 65536;
}

CSLFragmentStorage::CSLFragmentStorage()
    : m_source(nullptr), m_sourceSize(0), m_windowOffset(0), m_windowLength(0), m_position(0) {}

CSLFragmentStorage::~CSLFragmentStorage() {
  SLErrorKeeper keep;
  AttachContainer(nullptr);
}

bool CSLFragmentStorage::GetTime(CSLDateTime* out) {
  if (!m_source) {
    if (out) out->SetZero(false);
    return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  }
  return m_source->GetTime(out);
}

bool CSLFragmentStorage::AttachContainer(CSLBaseStorage* source) {
  TSLObjPtr<CSLBaseStorage> hold(source);  // the source stays alive through the call
  if (m_source) {
    CSLTimer timer;
    ReportProgress(SL_PROGRESS_DETACH, 0.0, 0u);
    Close();
    {
      SLErrorKeeper keep;
      m_source->Release();
    }
    m_source = nullptr;
    m_sourceSize = 0;
    ReportProgress(SL_PROGRESS_DETACH, 100.0, &timer);
  }
  if (!source) return FreeNames();

  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_ATTACH, 0.0, 0u)) return SLFail(SL_E_CANCELLED, false);
  u64 size = 0;
  if (!source->GetSize(&size) || !source->Seek(0, SL_SEEK_BEGIN)) return false;
  if (ReportProgress(SL_PROGRESS_ATTACH, 100.0, &timer)) return SLFail(SL_E_CANCELLED, false);

  // Named after the source: its name, a blank, "(buffered)".
  const SLWChar* sourceName = source->GetNameW();
  static const SLWChar kSuffix[] = u"(buffered)";
  u64 nameLength = 0;
  while (sourceName[nameLength]) ++nameLength;
  u64 total = nameLength + (nameLength ? 1 : 0) + (sizeof kSuffix / sizeof kSuffix[0]);
  u64 bytes;
  if (!SLCheckedMul(total, sizeof(SLWChar), &bytes) || !SLFitsU32(bytes)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  auto* name = static_cast<SLWChar*>(SLAlloc(u32(bytes)));
  if (!name) return false;
  TSLAutoPtr<SLWChar> nameOwner(name);
  u64 at = 0;
  for (u64 i = 0; i < nameLength; ++i) name[at++] = sourceName[i];
  if (nameLength) name[at++] = u' ';
  for (SLWChar c : kSuffix) name[at++] = c;
  if (!SetNameW(name)) return false;

  m_sourceSize = size;
  m_windowOffset = 0;
  m_windowLength = size;
  m_position = 0;
  source->AddRef();
  m_source = source;
  SLSetLastError(SL_OK);
  return true;
}

CSLBaseStorage* CSLFragmentStorage::GetContainer() {
  SLSetLastError(SL_OK);
  return m_source;
}

bool CSLFragmentStorage::CheckRange(u64 offset, u64 length) const {
  u64 end;
  return offset <= m_sourceSize && SLCheckedAdd(offset, length, &end) && end <= m_sourceSize;
}

bool CSLFragmentStorage::SetWindow(u64 offset, u64 length) {
  CSLTimer timer;
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!CheckRange(offset, length)) return SLFail(SL_E_STORAGE_OUT_OF_RANGE, false);
  if (ReportProgress(SL_PROGRESS_OPEN, 0.0, 0u)) return SLFail(SL_E_CANCELLED, false);
  if (offset > u64(INT64_MAX) || !m_source->Seek(i64(offset), SL_SEEK_BEGIN)) {
    if (offset > u64(INT64_MAX)) SLSetLastError(SL_E_STORAGE_OUT_OF_RANGE);
    return false;
  }
  m_position = 0;
  m_windowOffset = offset;
  m_windowLength = length;
  ReportProgress(SL_PROGRESS_OPEN, 100.0, &timer);
  SLSetLastError(SL_OK);
  return true;
}

void CSLFragmentStorage::Close() {
  CSLTimer timer;
  ReportProgress(SL_PROGRESS_CLOSE, 0.0, 0u);
  UnmapView();
  m_windowOffset = 0;
  m_windowLength = 0;
  m_position = 0;
  ReportProgress(SL_PROGRESS_CLOSE, 100.0, &timer);
  SLSetLastError(SL_OK);
}

bool CSLFragmentStorage::CanRead() { return m_source ? m_source->CanRead() : SLFail(SL_E_STORAGE_NOT_OPEN, false); }
bool CSLFragmentStorage::CanWrite() { return m_source ? m_source->CanWrite() : SLFail(SL_E_STORAGE_NOT_OPEN, false); }
bool CSLFragmentStorage::CanSeek() { return m_source ? m_source->CanSeek() : SLFail(SL_E_STORAGE_NOT_OPEN, false); }
bool CSLFragmentStorage::Flush() { return m_source ? m_source->Flush() : SLFail(SL_E_STORAGE_NOT_OPEN, false); }

SLStorageFindRecord* CSLFragmentStorage::FindFirstA(const char* pattern) {
  return m_source ? m_source->FindFirstA(pattern) : SLFail<SLStorageFindRecord*>(SL_E_STORAGE_NOT_OPEN, nullptr);
}
SLStorageFindRecord* CSLFragmentStorage::FindFirstW(const SLWChar* pattern) {
  return m_source ? m_source->FindFirstW(pattern) : SLFail<SLStorageFindRecord*>(SL_E_STORAGE_NOT_OPEN, nullptr);
}
SLStorageFindRecord* CSLFragmentStorage::FindNextA() {
  return m_source ? m_source->FindNextA() : SLFail<SLStorageFindRecord*>(SL_E_STORAGE_NOT_OPEN, nullptr);
}
SLStorageFindRecord* CSLFragmentStorage::FindNextW() {
  return m_source ? m_source->FindNextW() : SLFail<SLStorageFindRecord*>(SL_E_STORAGE_NOT_OPEN, nullptr);
}

u64 CSLFragmentStorage::Read(void* buffer, u64 count) {
  CSLTimer timer;
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, u64(0));
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  if (ReportProgress(SL_PROGRESS_READ, 0.0, 0u)) return SLFail(SL_E_CANCELLED, u64(0));
  if (m_position >= m_windowLength) return SLFail(SL_E_STORAGE_EOF, u64(0));
  u32 outcome = SL_OK;
  if (count > m_windowLength - m_position) {
    count = m_windowLength - m_position;
    outcome = SL_E_STORAGE_EOF;
  }
  double scale = count ? 99.6 / SLUInt64ToDouble(count) : 0.0;
  auto* cursor = static_cast<u8*>(buffer);
  u64 total = 0;
  while (total < count) {
    u64 block = count - total < kBlock ? count - total : kBlock;
    u64 got = m_source->Read(cursor + total, block);
    total += got;
    m_position += got;
    if (got < block) {
      outcome = SLGetLastError(false);
      break;
    }
    if (ReportProgress(SL_PROGRESS_READ, SLUInt64ToDouble(total) * scale, &timer)) return SLFail(SL_E_CANCELLED, total);
  }
  if (!(outcome & 0x80000000u)) ReportProgress(SL_PROGRESS_READ, 100.0, &timer);
  SLSetLastError(outcome);
  return total;
}

u64 CSLFragmentStorage::Write(const void* buffer, u64 count) {
  CSLTimer timer;
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, u64(0));
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  if (m_position >= m_windowLength) return SLFail(SL_E_STORAGE_EOF, u64(0));
  // The window never grows: what passes its end is dropped without an error.
  if (count > m_windowLength - m_position) count = m_windowLength - m_position;
  if (ReportProgress(SL_PROGRESS_WRITE, 0.0, 0u)) return SLFail(SL_E_CANCELLED, u64(0));
  double scale = count ? 99.6 / SLUInt64ToDouble(count) : 0.0;
  auto* cursor = static_cast<const u8*>(buffer);
  u64 total = 0;
  while (total < count) {
    u64 block = count - total < kBlock ? count - total : kBlock;
    u64 put = m_source->Write(cursor + total, block);
    total += put;
    m_position += put;
    if (put < block) {
      u32 error = SLGetLastError(false);
      if (error & 0x80000000u) return total;
      break;
    }
    if (ReportProgress(SL_PROGRESS_WRITE, SLUInt64ToDouble(total) * scale, &timer))
      return SLFail(SL_E_CANCELLED, total);
  }
  ReportProgress(SL_PROGRESS_WRITE, 100.0, &timer);
  SLSetLastError(SL_OK);
  return total;
}

bool CSLFragmentStorage::Seek(i64 offset, u32 origin) {
  CSLTimer timer;
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (ReportProgress(SL_PROGRESS_SEEK, 0.0, 0u)) return SLFail(SL_E_CANCELLED, false);
  const u64 length = m_windowLength;
  u64 back = offset < 0 ? u64(0) - u64(offset) : 0;
  u64 target = m_position;
  switch (origin) {
    case SL_SEEK_BEGIN: target = u64(offset) < length ? u64(offset) : length; break;
    case SL_SEEK_CURRENT:
      if (offset < 0)
        target = back > m_position ? 0 : m_position - back;
      else
        target = m_position >= length || u64(offset) > length - m_position ? length : m_position + u64(offset);
      break;
    case SL_SEEK_END:
      if (offset < 0)
        target = back > length ? 0 : length - back;
      else if (!SLCheckedAdd(length, u64(offset), &target))
        target = ~u64(0);
      break;
    default: break;
  }
  if (target != m_position) {
    u64 sourcePosition;
    if (!SLCheckedAdd(m_windowOffset, target, &sourcePosition) || sourcePosition > u64(INT64_MAX))
      return SLFail(SL_E_STORAGE_SEEK, false);
    if (!m_source->Seek(i64(sourcePosition), SL_SEEK_BEGIN)) return false;
    m_position = target;
  }
  ReportProgress(SL_PROGRESS_SEEK, 100.0, &timer);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFragmentStorage::GetPosition(u64* out) {
  if (out) *out = 0;
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = m_position;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLFragmentStorage::IsEOF() {
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, true);
  return SLSucceed(m_position >= m_windowLength);
}

bool CSLFragmentStorage::Lock(u64 offset, u64 length) {
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  u64 end;
  if (!SLCheckedAdd(offset, length, &end) || end > m_windowLength) return SLFail(SL_E_STORAGE_OUT_OF_RANGE, false);
  return m_source->Lock(m_windowOffset + offset, length);
}

bool CSLFragmentStorage::Unlock(u64 offset, u64 length) {
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  u64 end;
  if (!SLCheckedAdd(offset, length, &end) || end > m_windowLength) return SLFail(SL_E_STORAGE_OUT_OF_RANGE, false);
  return m_source->Unlock(m_windowOffset + offset, length);
}

bool CSLFragmentStorage::SetSize(u64) {
  return SLFail(m_source ? SL_E_STORAGE_SET_SIZE : SL_E_STORAGE_NOT_OPEN, false);
}

bool CSLFragmentStorage::GetSize(u64* out) {
  if (out) *out = 0;
  if (!m_source) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = m_windowLength;
  SLSetLastError(SL_OK);
  return true;
}
