// Growable framework arrays (capacity in steps of 32, per-array alloc/free functions),
// the byte ring buffer with two-span access, the owning block pointer and SLRect.
#pragma once

#include <type_traits>

#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

using SLArrayAllocFunc = void* (*)(u32 bytes);
using SLArrayFreeFunc = void (*)(void* block);

struct SLArrayHeader {
  void* data = nullptr;
  u32 count = 0;
  u32 capacity = 0;                    // 0, a multiple of 32, or exactly a count set once
  SLArrayAllocFunc allocFunc = nullptr;  // null: SLAlloc
  SLArrayFreeFunc freeFunc = nullptr;    // null: SLFree
};

// Untyped operations shared by every element size (set the error code; false leaves
// the array unchanged).
bool SLArrayGrow(SLArrayHeader* header, u32 elementSize, u32 neededCount);
bool SLArrayInsertAt(SLArrayHeader* header, u32 elementSize, const void* value, u32 index);
bool SLArrayRemoveAt(SLArrayHeader* header, u32 elementSize, u32 index, u32 count = 1);
bool SLArraySetSize(SLArrayHeader* header, u32 elementSize, u32 newCount);
// As SLArraySetSize, but a growth takes exactly newCount elements, not a step of 32: for
// arrays whose size is known once (a loaded walk), where the step would waste most of a
// block. A later growth steps by 32 again.
bool SLArraySetSizeExact(SLArrayHeader* header, u32 elementSize, u32 newCount);
bool SLArrayReserve(SLArrayHeader* header, u32 elementSize, u32 capacity);
void SLArrayFreeAll(SLArrayHeader* header);

// The 16-byte element forms other components call by these names.
bool SLArray16InsertAt(SLArrayHeader* header, const void* element, u32 index);
bool SLArray16RemoveAt(SLArrayHeader* header, u32 index, u32 count);
bool SLArray16SetSize(SLArrayHeader* header, u32 newCount);

// SLFree of one element, keeping the caller's error code.
void SLArrayFreeElement(const void* element);

// Typed view over the header for trivially copyable elements.
template <class T>
class TSLArray {
  static_assert(std::is_trivially_copyable_v<T>, "framework arrays move elements as bytes");

 public:
  TSLArray() = default;
  ~TSLArray() { Free(); }
  TSLArray(const TSLArray&) = delete;
  TSLArray& operator=(const TSLArray&) = delete;

  void SetAllocator(SLArrayAllocFunc alloc, SLArrayFreeFunc free) {
    m_header.allocFunc = alloc;
    m_header.freeFunc = free;
  }
  bool InsertAt(const T& value, u32 index) { return SLArrayInsertAt(&m_header, sizeof(T), &value, index); }
  bool Add(const T& value) { return InsertAt(value, m_header.count); }
  bool RemoveAt(u32 index, u32 count = 1) { return SLArrayRemoveAt(&m_header, sizeof(T), index, count); }
  bool SetSize(u32 newCount) { return SLArraySetSize(&m_header, sizeof(T), newCount); }
  bool Reserve(u32 capacity) { return SLArrayReserve(&m_header, sizeof(T), capacity); }
  void Free() { SLArrayFreeAll(&m_header); }

  u32 GetCount() const { return m_header.count; }
  u32 GetCapacity() const { return m_header.capacity; }
  T* GetData() { return static_cast<T*>(m_header.data); }
  const T* GetData() const { return static_cast<const T*>(m_header.data); }
  T& operator[](u32 index) { return GetData()[index]; }
  const T& operator[](u32 index) const { return GetData()[index]; }
  T* begin() { return GetData(); }
  T* end() { return GetData() + m_header.count; }
  const T* begin() const { return GetData(); }
  const T* end() const { return GetData() + m_header.count; }
  SLArrayHeader* GetHeader() { return &m_header; }

 protected:
  SLArrayHeader m_header;
};

// Array of pointers; growing SetSize zeroes the new elements.
template <class T>
class TSLPtrArray : public TSLArray<T*> {
 public:
  // Frees every element with SLFree, then the array (keeping the caller's error code).
  void FreeAll() {
    for (T* element : *this) SLArrayFreeElement(element);
    this->Free();
  }
};

// Array of two-word entries (registries, stacks).
template <class T1, class T2>
struct TSLPair {
  T1 first;
  T2 second;
};
template <class T1 = void*, class T2 = void*>
class TSLPairArray : public TSLArray<TSLPair<T1, T2>> {
 public:
  bool InsertAt(T1 first, T2 second, u32 index) {
    return TSLArray<TSLPair<T1, T2>>::InsertAt(TSLPair<T1, T2>{first, second}, index);
  }
  using TSLArray<TSLPair<T1, T2>>::InsertAt;
};

// Byte ring buffer. Used bytes run from the read position forward, wrapping at capacity.
class CSLCircularBuffer : public CSLObject {
  SL_DECLARE_CLASS(CSLCircularBuffer)
 public:
  CSLCircularBuffer();
  ~CSLCircularBuffer() override;
  bool SetCapacity(u32 bytes);
  bool GetReadRegions(u8** pointer1, u32* length1, u8** pointer2, u32* length2) const;
  bool CommitRead(u32 n);
  bool GetWriteRegions(u8** pointer1, u32* length1, u8** pointer2, u32* length2) const;
  bool CommitWrite(u32 n);
  bool Write(const void* data, u32 size, bool grow);
  u32 GetCapacity() const { return m_capacity; }
  u32 GetUsed() const { return m_used; }
  u32 GetFree() const { return m_capacity - m_used; }

 private:
  u8* m_buffer;
  u32 m_capacity;  // 0 or a multiple of 4096
  u32 m_readPos;
  u32 m_used;
};

namespace SLInternals {
// SLFree that leaves the thread's error code as it was (clean-up never hides the
// code of the operation that ends).
void SLFreeKeepingError(void* block);
}  // namespace SLInternals

// Owns one SLAlloc block, freed with SLFree when the owner goes (the caller's error code
// stays). T names what the block holds: TSLAutoPtr<tagDECOMPRESSORDATA>, or void.
template <class T = void>
class TSLAutoPtr {
 public:
  explicit TSLAutoPtr(T* block = nullptr) : m_block(block) {}
  virtual ~TSLAutoPtr() { SLInternals::SLFreeKeepingError(m_block); }
  // Takes a new block; the old one is freed when it is not null and not the same block.
  void Reset(T* block = nullptr) {
    if (m_block && m_block != block) SLInternals::SLFreeKeepingError(m_block);
    m_block = block;
  }
  T* Get() const { return m_block; }
  T* operator->() const { return m_block; }
  explicit operator bool() const { return m_block != nullptr; }
  // Gives the block up to the caller.
  T* Detach() {
    T* b = m_block;
    m_block = nullptr;
    return b;
  }
  TSLAutoPtr(const TSLAutoPtr&) = delete;
  TSLAutoPtr& operator=(const TSLAutoPtr&) = delete;

 private:
  T* m_block;
};
TSLAutoPtr(void*)->TSLAutoPtr<void>;

struct SLRect {
  i32 x, y, width, height;
  bool ContainsPoint(i32 px, i32 py) const;
};
