// Growable framework arrays, the byte ring buffer, the owning block pointer and SLRect.
#include "foundation/SLArray.h"

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace {
constexpr u32 kArrayStep = 32;
constexpr u32 kRingStep = 4096;

void* ArrayAlloc(const SLArrayHeader* header, u32 bytes) {
  return header->allocFunc ? header->allocFunc(bytes) : SLAlloc(bytes);
}
void ArrayFree(const SLArrayHeader* header, void* block) {
  if (header->freeFunc)
    header->freeFunc(block);
  else
    SLFree(block);
}
u8* At(const SLArrayHeader* header, u32 elementSize, u32 index) {
  return static_cast<u8*>(header->data) + u64(index) * elementSize;
}
}  // namespace

namespace {
// Moves the array to a zero-filled block of exactly `capacity` elements (none when 0),
// keeping what fits; the byte size must fit the 32-bit sizes of the allocators.
bool Reallocate(SLArrayHeader* header, u32 elementSize, u64 capacity) {
  u64 bytes;
  if (!SLFitsU32(capacity) || !SLCheckedMul(capacity, elementSize, &bytes) || !SLFitsU32(bytes))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  u8* block = nullptr;
  if (capacity) {
    block = static_cast<u8*>(ArrayAlloc(header, u32(bytes)));
    if (!block) {
      u32 code = SLGetLastError(false);
      return SLFail(i32(code) < 0 ? code : SL_E_OUT_OF_MEMORY, false);
    }
    u32 keep = header->count < capacity ? header->count : u32(capacity);
    u64 keptBytes = u64(keep) * elementSize;
    if (keptBytes) SLMemCopy(block, header->data, u32(keptBytes));
    SLMemSet(block + keptBytes, 0, u32(bytes - keptBytes));
    if (header->count > keep) header->count = keep;
  }
  if (header->data) {
    SLErrorKeeper keep;
    ArrayFree(header, header->data);
  }
  header->data = block;
  header->capacity = u32(capacity);
  if (!block) header->count = 0;
  return SLSucceed(true);
}

bool SetSize(SLArrayHeader* header, u32 elementSize, u32 newCount, bool exact) {
  if (newCount > header->capacity) {
    if (exact ? !Reallocate(header, elementSize, newCount) : !SLArrayGrow(header, elementSize, newCount)) return false;
  }
  // Places past the old count may hold what an earlier shrink left: new elements are zero.
  if (newCount > header->count)
    SLMemSet(At(header, elementSize, header->count), 0, (newCount - header->count) * elementSize);
  header->count = newCount;
  return SLSucceed(true);
}
}  // namespace

bool SLArrayGrow(SLArrayHeader* header, u32 elementSize, u32 neededCount) {
  u64 capacity;
  if (!SLCheckedRoundUp(neededCount, kArrayStep, &capacity)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return Reallocate(header, elementSize, capacity);
}

bool SLArrayInsertAt(SLArrayHeader* header, u32 elementSize, const void* value, u32 index) {
  if (index > header->count) index = header->count;
  if (header->count == header->capacity) {
    u64 needed;
    if (!SLCheckedAdd(header->count, 1, &needed) || !SLFitsU32(needed)) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (!SLArrayGrow(header, elementSize, u32(needed))) return false;
  }
  u32 tail = header->count - index;
  if (tail) SLMemMove(At(header, elementSize, index + 1), At(header, elementSize, index), tail * elementSize);
  SLMemCopy(At(header, elementSize, index), value, elementSize);
  ++header->count;
  return SLSucceed(true);
}

bool SLArrayRemoveAt(SLArrayHeader* header, u32 elementSize, u32 index, u32 count) {
  if (index >= header->count || count == 0) return SLFail(SL_E_INDEX, false);
  if (count > header->count - index) count = header->count - index;
  u32 tail = header->count - index - count;
  if (tail) SLMemMove(At(header, elementSize, index), At(header, elementSize, index + count), tail * elementSize);
  header->count -= count;
  // The vacated places read as zero again, as after a growth.
  SLMemSet(At(header, elementSize, header->count), 0, count * elementSize);
  return SLSucceed(true);
}

bool SLArraySetSize(SLArrayHeader* header, u32 elementSize, u32 newCount) {
  return SetSize(header, elementSize, newCount, false);
}

bool SLArraySetSizeExact(SLArrayHeader* header, u32 elementSize, u32 newCount) {
  return SetSize(header, elementSize, newCount, true);
}

bool SLArrayReserve(SLArrayHeader* header, u32 elementSize, u32 capacity) {
  if (capacity > header->capacity && !SLArrayGrow(header, elementSize, capacity)) return false;
  if (header->count > header->capacity) header->count = header->capacity;
  return SLSucceed(true);
}

void SLArrayFreeAll(SLArrayHeader* header) {
  SLErrorKeeper keep;
  if (header->data) ArrayFree(header, header->data);
  header->data = nullptr;
  header->count = 0;
  header->capacity = 0;
}

void SLArrayFreeElement(const void* element) { SLInternals::SLFreeKeepingError(const_cast<void*>(element)); }

bool SLArray16InsertAt(SLArrayHeader* header, const void* element, u32 index) {
  return SLArrayInsertAt(header, 16, element, index);
}
bool SLArray16RemoveAt(SLArrayHeader* header, u32 index, u32 count) { return SLArrayRemoveAt(header, 16, index, count); }
bool SLArray16SetSize(SLArrayHeader* header, u32 newCount) { return SLArraySetSize(header, 16, newCount); }

// ---- the ring buffer --------------------------------------------------------------------

SL_IMPLEMENT_CLASS(CSLCircularBuffer, CSLObject)

CSLCircularBuffer::CSLCircularBuffer() : m_buffer(nullptr), m_capacity(0), m_readPos(0), m_used(0) {}

CSLCircularBuffer::~CSLCircularBuffer() {
  SLErrorKeeper keep;
  SetCapacity(0);
}

bool CSLCircularBuffer::SetCapacity(u32 bytes) {
  if (bytes == 0) {
    SLFree(m_buffer);
    m_buffer = nullptr;
    m_capacity = m_readPos = m_used = 0;
    return SLSucceed(true);
  }
  if (m_buffer && m_used > bytes) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
  u64 rounded;
  if (!SLCheckedRoundUp(bytes, kRingStep, &rounded) || !SLFitsU32(rounded)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  // The new block first: the ring changes only once nothing can fail any more.
  auto* block = static_cast<u8*>(SLAlloc(u32(rounded)));
  if (!block) return false;
  if (m_buffer) {
    u8 *first, *second;
    u32 firstLength, secondLength;
    GetReadRegions(&first, &firstLength, &second, &secondLength);
    SLMemCopy(block, first, firstLength);
    SLMemCopy(block + firstLength, second, secondLength);
    SLInternals::SLFreeKeepingError(m_buffer);
  }
  m_buffer = block;
  m_capacity = u32(rounded);
  m_readPos = 0;
  return SLSucceed(true);
}

namespace {
template <class P>
void ClearOutputs(P** pointer1, u32* length1, P** pointer2, u32* length2) {
  if (pointer1) *pointer1 = nullptr;
  if (length1) *length1 = 0;
  if (pointer2) *pointer2 = nullptr;
  if (length2) *length2 = 0;
}
}  // namespace

bool CSLCircularBuffer::GetReadRegions(u8** pointer1, u32* length1, u8** pointer2, u32* length2) const {
  ClearOutputs(pointer1, length1, pointer2, length2);
  if (!m_buffer) return SLFail(SL_E_NOT_INITIALISED, false);
  if (pointer1) *pointer1 = m_buffer + m_readPos;
  if (u64(m_readPos) + m_used > m_capacity) {
    u32 first = m_capacity - m_readPos;
    if (length1) *length1 = first;
    if (pointer2) *pointer2 = m_buffer;
    if (length2) *length2 = m_used - first;
  } else if (length1) {
    *length1 = m_used;
  }
  return SLSucceed(true);
}

bool CSLCircularBuffer::GetWriteRegions(u8** pointer1, u32* length1, u8** pointer2, u32* length2) const {
  ClearOutputs(pointer1, length1, pointer2, length2);
  if (!m_buffer) return SLFail(SL_E_NOT_INITIALISED, false);
  u32 free = m_capacity - m_used;
  u64 start = u64(m_readPos) + m_used;
  if (start >= m_capacity) start -= m_capacity;
  if (pointer1) *pointer1 = m_buffer + start;
  if (start + free > m_capacity) {
    u32 first = u32(m_capacity - start);
    if (length1) *length1 = first;
    if (pointer2) *pointer2 = m_buffer;
    if (length2) *length2 = free - first;
  } else if (length1) {
    *length1 = free;
  }
  return SLSucceed(true);
}

bool CSLCircularBuffer::CommitRead(u32 n) {
  if (!m_buffer) return SLFail(SL_E_NOT_INITIALISED, false);
  if (n > m_used) return SLFail(SL_E_BAD_SIZE, false);
  u64 position = u64(m_readPos) + n;
  if (position >= m_capacity) position -= m_capacity;
  m_readPos = u32(position);
  m_used -= n;
  return SLSucceed(true);
}

bool CSLCircularBuffer::CommitWrite(u32 n) {
  if (!m_buffer) return SLFail(SL_E_NOT_INITIALISED, false);
  if (n > m_capacity - m_used) return SLFail(SL_E_BAD_SIZE, false);
  m_used += n;
  return SLSucceed(true);
}

bool CSLCircularBuffer::Write(const void* data, u32 size, bool grow) {
  if (!data) return SLFail(SL_E_NULL_DATA, false);
  if (size == 0) return SLFail(SL_E_BAD_SIZE, false);
  u64 needed = u64(m_used) + size;
  if (!SLFitsU32(needed)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (needed > m_capacity) {
    if (!grow) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
    u64 doubled = u64(m_capacity) * 2;
    u64 target = (doubled > needed && SLFitsU32(doubled)) ? doubled : needed;
    if (!SetCapacity(u32(target))) return false;
  }
  u8 *first, *second;
  u32 firstLength, secondLength;
  GetWriteRegions(&first, &firstLength, &second, &secondLength);
  u32 head = size < firstLength ? size : firstLength;
  SLMemCopy(first, data, head);
  if (size > head) SLMemCopy(second, static_cast<const u8*>(data) + head, size - head);
  return CommitWrite(size);
}

// ---- the rest ---------------------------------------------------------------------------

namespace SLInternals {
void SLFreeKeepingError(void* block) {
  if (block == nullptr) return;
  SLErrorKeeper keep;
  SLFree(block);
}
}  // namespace SLInternals

bool SLRect::ContainsPoint(i32 px, i32 py) const {
  return px >= x && i64(px) < i64(x) + width && py >= y && i64(py) < i64(y) + height;
}
