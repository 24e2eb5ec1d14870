#include "storage/SLMemoryStorage.h"

#include <cstring>

#include "foundation/SLMemory.h"
#include "foundation/SLSync.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLMemoryStorage, CSLBaseStorage)

namespace {
constexpr u64 kMinimumChunk = 32768;
constexpr u64 kPiece = 256000;  // copies stop this often to report progress
constexpr u32 kMinimumGrowthStep = 4096;
}  // namespace

CSLMemoryStorage::CSLMemoryStorage(bool contiguous, u32 growthStep)
    : m_data(nullptr),
      m_size(0),
      m_capacity(0),
      m_position(0),
      m_growthStep(growthStep < kMinimumGrowthStep ? kMinimumGrowthStep : growthStep),
      m_callerBuffer(0),
      m_ownsCallerBuffer(0),
      m_contiguous(contiguous ? 1 : 0),
      m_lastChunk(nullptr),
      m_lastChunkStart(0),
      m_tail(nullptr) {
  SLErrorKeeper keep;
  if (!m_created.SetToNow(true)) m_created.SetZero(false);
}

CSLMemoryStorage::~CSLMemoryStorage() {
  SLErrorKeeper keep;
  Close();
}

CSLMemoryStorage::Chunk* CSLMemoryStorage::NewChunk(u64 capacity, u32 failureCode) {
  // The allocator takes 32-bit sizes: header and data must fit together.
  if (capacity > 0xFFFFFFFFull - sizeof(Chunk)) return SLFail<Chunk*>(SL_E_STORAGE_SET_SIZE, nullptr);
  void* memory = SLAllocZero(u32(capacity + sizeof(Chunk)));
  if (!memory) return SLFail<Chunk*>(failureCode, nullptr);
  auto* chunk = static_cast<Chunk*>(memory);
  chunk->next = nullptr;
  chunk->capacity = capacity;
  return chunk;
}

// The contiguous block for `size` bytes: the next multiple of the growth step above
// the size (so always more than it); false when that does not fit the allocator.
bool CSLMemoryStorage::BlockCapacity(u64 size, u64* capacity) const {
  u64 rounded;
  if (!SLCheckedAdd(size, m_growthStep, &rounded)) return false;
  rounded -= rounded % m_growthStep;
  if (rounded > 0xFFFFFFFFull - sizeof(Chunk)) return false;
  *capacity = rounded;
  return true;
}

void CSLMemoryStorage::FreeChunks() {
  auto* chunk = static_cast<Chunk*>(m_data);
  while (chunk) {
    Chunk* next = chunk->next;
    SLFree(chunk);
    chunk = next;
  }
  m_data = nullptr;
  m_tail = nullptr;
  ForgetLocation();
}

CSLMemoryStorage::Chunk* CSLMemoryStorage::Locate(u64 position, u64* offset) {
  Chunk* chunk = static_cast<Chunk*>(m_data);
  u64 start = 0;
  if (m_lastChunk && m_lastChunkStart <= position) {
    chunk = m_lastChunk;
    start = m_lastChunkStart;
  }
  while (chunk && position - start >= chunk->capacity) {
    start += chunk->capacity;
    chunk = chunk->next;
  }
  if (chunk) {
    m_lastChunk = chunk;
    m_lastChunkStart = start;
  }
  *offset = position - start;
  return chunk;
}

u64 CSLMemoryStorage::Transfer(u8* bytes, u64 count, bool toContent, u32 operation, CSLTimer* timer,
                               bool* cancelled) {
  *cancelled = false;
  u64 done = 0;
  if (m_callerBuffer) {
    u8* content = static_cast<u8*>(m_data) + m_position;
    while (done < count) {
      u64 piece = count - done < kPiece ? count - done : kPiece;
      if (toContent)
        std::memcpy(content + done, bytes + done, size_t(piece));
      else
        std::memcpy(bytes + done, content + done, size_t(piece));
      done += piece;
      if (!toContent && ReportProgress(operation, SLUInt64ToDouble(done) * 100.0 / SLUInt64ToDouble(count), timer)) {
        *cancelled = true;
        return done;
      }
    }
    if (toContent && ReportProgress(operation, 100.0, timer)) *cancelled = true;
    return done;
  }
  u64 offset = 0;
  Chunk* chunk = Locate(m_position, &offset);
  while (done < count && chunk) {
    u64 available = chunk->capacity - offset;
    u64 piece = count - done;
    if (piece > available) piece = available;
    if (piece > kPiece) piece = kPiece;
    if (toContent)
      std::memcpy(chunk->Data() + offset, bytes + done, size_t(piece));
    else
      std::memcpy(bytes + done, chunk->Data() + offset, size_t(piece));
    done += piece;
    offset += piece;
    if (ReportProgress(operation, SLUInt64ToDouble(done) * 100.0 / SLUInt64ToDouble(count), timer)) {
      *cancelled = true;
      return done;
    }
    if (offset == chunk->capacity && done < count) {
      m_lastChunkStart += chunk->capacity;
      chunk = chunk->next;
      m_lastChunk = chunk;
      offset = 0;
    }
  }
  if (!m_lastChunk) ForgetLocation();
  return done;
}

bool CSLMemoryStorage::GetTime(CSLDateTime* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  out->Assign(m_created);
  SLSetLastError(SL_OK);
  return true;
}

void CSLMemoryStorage::Close() {
  CSLTimer timer;
  ReportProgress(SL_PROGRESS_CLOSE, 0.0, 0u);
  if (m_data) {
    if (m_callerBuffer) {
      if (m_ownsCallerBuffer) SLFree(m_data);
      m_data = nullptr;
    } else {
      FreeChunks();
    }
  }
  m_data = nullptr;
  m_tail = nullptr;
  ForgetLocation();
  m_size = 0;
  m_capacity = 0;
  m_position = 0;
  m_callerBuffer = 0;
  m_ownsCallerBuffer = 0;
  ReportProgress(SL_PROGRESS_CLOSE, 100.0, &timer);
  SLSetLastError(SL_OK);
}

bool CSLMemoryStorage::CanRead() { return SLSucceed(true); }
bool CSLMemoryStorage::CanWrite() { return SLSucceed(true); }
bool CSLMemoryStorage::CanSeek() { return SLSucceed(true); }
bool CSLMemoryStorage::Flush() { return SLSucceed(true); }
bool CSLMemoryStorage::Lock(u64, u64) { return SLSucceed(true); }
bool CSLMemoryStorage::Unlock(u64, u64) { return SLSucceed(true); }
bool CSLMemoryStorage::IsEOF() { return SLSucceed(m_position >= m_size); }

// Without a listener to report to, bytes that lie in one piece (the caller's buffer, or
// the chunk the previous access found) are copied straight; everything else, the checks
// that fail included, takes the reporting path below.
u64 CSLMemoryStorage::Read(void* buffer, u64 count) {
  if (HasProgressHook() || !buffer || count == 0 || m_position >= m_size) return ReadReporting(buffer, count);
  // The full request goes on to the plain path, which then sees a short read as one.
  const u64 requested = count;
  u32 outcome = SL_OK;
  if (count > m_size - m_position) {
    count = m_size - m_position;
    outcome = SL_E_STORAGE_EOF;
  }
  const u8* source;
  if (m_callerBuffer) {
    source = static_cast<const u8*>(m_data) + m_position;
  } else {
    const u64 offset = m_position - m_lastChunkStart;
    if (!m_lastChunk || m_position < m_lastChunkStart || offset >= m_lastChunk->capacity ||
        count > m_lastChunk->capacity - offset)
      return ReadReporting(buffer, requested);
    source = m_lastChunk->Data() + offset;
  }
  SLCopyBytes(buffer, source, size_t(count));
  m_position += count;
  SLSetLastError(outcome);
  return count;
}

u64 CSLMemoryStorage::ReadReporting(void* buffer, u64 count) {
  CSLTimer timer;
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  if (ReportProgress(SL_PROGRESS_READ, 0.0, 0u)) return SLFail(SL_E_CANCELLED, u64(0));
  if (m_position >= m_size) return SLFail(SL_E_STORAGE_EOF, u64(0));
  u32 outcome = SL_OK;
  if (count > m_size - m_position) {
    count = m_size - m_position;
    outcome = SL_E_STORAGE_EOF;
  }
  if (count == 0) {
    ReportProgress(SL_PROGRESS_READ, 100.0, &timer);
    return SLFail(outcome, u64(0));
  }
  bool cancelled;
  u64 copied = Transfer(static_cast<u8*>(buffer), count, false, SL_PROGRESS_READ, &timer, &cancelled);
  if (cancelled) outcome = SL_E_CANCELLED;
  m_position += copied;
  SLSetLastError(outcome);
  return copied;
}

u64 CSLMemoryStorage::Write(const void* buffer, u64 count) {
  CSLTimer timer;
  if (!buffer) return SLFail(SL_E_NULL_DATA, u64(0));
  u64 end;
  if (!SLCheckedAdd(m_position, count, &end)) return SLFail(SL_E_BAD_SIZE, u64(0));
  if (end > m_size && !SetSize(end)) return 0;
  if (ReportProgress(SL_PROGRESS_WRITE, 0.0, 0u)) return SLFail(SL_E_CANCELLED, u64(0));
  if (count == 0) {
    ReportProgress(SL_PROGRESS_WRITE, 100.0, &timer);
    return SLSucceed(u64(0));
  }
  bool cancelled;
  u64 copied = Transfer(static_cast<u8*>(const_cast<void*>(buffer)), count, true, SL_PROGRESS_WRITE, &timer,
                        &cancelled);
  m_position += copied;
  if (cancelled) return SLFail(SL_E_CANCELLED, copied);
  SLSetLastError(SL_OK);
  return count;
}

bool CSLMemoryStorage::Seek(i64 offset, u32 origin) {
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_SEEK, 0.0, 0u)) return SLFail(SL_E_CANCELLED, false);
  // Magnitude of a negative offset, without overflow at the most negative value.
  u64 back = offset < 0 ? u64(0) - u64(offset) : 0;
  switch (origin) {
    case SL_SEEK_BEGIN:
      m_position = u64(offset);  // past the end is allowed: a write there grows the storage
      break;
    case SL_SEEK_CURRENT:
      if (offset < 0)
        m_position = back > m_position ? 0 : m_position - back;
      else  // forward, never past the size (a position beyond it comes back to it)
        m_position = m_position >= m_size || u64(offset) > m_size - m_position ? m_size : m_position + u64(offset);
      break;
    case SL_SEEK_END:
      if (offset < 0)
        m_position = back > m_size ? 0 : m_size - back;
      else
        m_position = m_size + u64(offset);
      break;
    default:
      break;
  }
  ReportProgress(SL_PROGRESS_SEEK, 100.0, &timer);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLMemoryStorage::GetPosition(u64* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = m_position;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLMemoryStorage::GetSize(u64* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = m_size;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLMemoryStorage::SetSize(u64 size) {
  if (m_callerBuffer) return SLFail(SL_E_STORAGE_SET_SIZE, false);
  if (size > m_size) {
    if (size > m_capacity) {
      if (m_contiguous) {
        u64 capacity;
        if (!BlockCapacity(size, &capacity)) return SLFail(SL_E_STORAGE_SET_SIZE, false);
        Chunk* block = NewChunk(capacity, SL_E_OUT_OF_MEMORY);
        if (!block) return false;
        // The old content is one block here, or chunks left from the chunked form.
        u64 copied = 0;
        for (Chunk* chunk = static_cast<Chunk*>(m_data); chunk && copied < m_size; chunk = chunk->next) {
          u64 piece = m_size - copied < chunk->capacity ? m_size - copied : chunk->capacity;
          std::memcpy(block->Data() + copied, chunk->Data(), size_t(piece));
          copied += piece;
        }
        FreeChunks();
        m_data = block;
        m_tail = block;
        m_capacity = capacity;
      } else {
        u64 needed = size - m_capacity;
        if (needed > 0xFFFFFFFFull - 32 - sizeof(Chunk)) return SLFail(SL_E_STORAGE_SET_SIZE, false);
        Chunk* chunk = NewChunk(needed < kMinimumChunk ? kMinimumChunk : needed, SL_E_STORAGE_SET_SIZE);
        if (!chunk) return false;
        if (m_tail)
          m_tail->next = chunk;
        else
          m_data = chunk;
        m_tail = chunk;
        m_capacity += chunk->capacity;
      }
    }
  } else if (size == 0 && m_size > 0) {
    Close();
  } else if (size < m_size) {
    if (m_contiguous && m_data && !static_cast<Chunk*>(m_data)->next) {
      auto* block = static_cast<Chunk*>(m_data);
      u64 capacity;
      if (size < m_capacity / 4 * 3 + (m_capacity % 4) * 3 / 4 && BlockCapacity(size, &capacity)) {
        Chunk* smaller = NewChunk(capacity, SL_E_OUT_OF_MEMORY);
        if (smaller) {
          std::memcpy(smaller->Data(), block->Data(), size_t(size));
          SLFree(block);
          block = smaller;
          m_data = block;
          m_tail = block;
          m_capacity = capacity;
          ForgetLocation();
        }
      }
      std::memset(block->Data() + size, 0, size_t(m_capacity - size));
    } else {
      u64 offset = 0;
      ForgetLocation();
      Chunk* keep = Locate(size, &offset);
      ForgetLocation();
      if (keep) {
        Chunk* chunk = keep->next;
        keep->next = nullptr;
        m_tail = keep;
        while (chunk) {
          Chunk* next = chunk->next;
          m_capacity -= chunk->capacity;
          SLFree(chunk);
          chunk = next;
        }
        // Bytes past the new end read as zero when the storage grows again.
        std::memset(keep->Data() + offset, 0, size_t(keep->capacity - offset));
      }
    }
  }
  m_size = size;
  if (m_position > size) m_position = size;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLMemoryStorage::SetContiguous(bool contiguous) {
  if (!contiguous) {
    m_contiguous = 0;
    return SLSucceed(true);
  }
  if (m_data && !m_callerBuffer && !m_contiguous) {
    u64 capacity;
    if (!BlockCapacity(m_capacity, &capacity)) return SLFail(SL_E_STORAGE_SET_SIZE, false);
    Chunk* block = NewChunk(capacity, SL_E_OUT_OF_MEMORY);
    if (!block) return false;
    u64 copied = 0;
    for (Chunk* chunk = static_cast<Chunk*>(m_data); chunk; chunk = chunk->next) {
      std::memcpy(block->Data() + copied, chunk->Data(), size_t(chunk->capacity));
      copied += chunk->capacity;
    }
    FreeChunks();
    m_data = block;
    m_tail = block;
    m_capacity = capacity;
  }
  m_contiguous = 1;
  return SLSucceed(true);
}

void* CSLMemoryStorage::GetDataPointer() const {
  if (!m_data) return nullptr;
  if (m_callerBuffer) return m_data;
  auto* first = static_cast<Chunk*>(m_data);
  if (!m_contiguous || first->next) return nullptr;
  return first->Data();
}

bool CSLMemoryStorage::AttachBuffer(void* buffer, u32 size, bool takeOwnership) {
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_ATTACH, 0.0, 0u)) return SLFail(SL_E_CANCELLED, false);
  Close();
  if (buffer && size) {
    m_data = buffer;
    m_size = size;
    m_capacity = size;
    m_position = 0;
    m_callerBuffer = 1;
    m_ownsCallerBuffer = takeOwnership ? 1 : 0;
  }
  {
    SLErrorKeeper keep;
    if (!m_created.SetToNow(true)) m_created.SetZero(false);
  }
  ReportProgress(SL_PROGRESS_ATTACH, 100.0, &timer);
  SLSetLastError(SL_OK);
  return true;
}
