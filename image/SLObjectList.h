// A reference-counted list of framework objects: the list holds one reference on each
// element, taken on insertion and given back on removal and destruction. Storage grows in
// steps of `Grow` slots through an optional allocation hook. Callers reach the elements
// directly through GetData() and GetCount().
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLObject.h"

template <class T, u32 Grow>
class TSLArrayList4Objects : public CSLObject {
 public:
  using AllocHook = void* (*)(u32 bytes);
  using FreeHook = void (*)(void* block);

  TSLArrayList4Objects() = default;
  ~TSLArrayList4Objects() override {
    SLErrorKeeper keep;
    RemoveAll();
  }

  // Makes a new, empty element for a copy of `source`; the plain list cannot.
  virtual T* CreateElement(const T* source) {
    (void)source;
    return SLFail(SL_E_NOT_SUPPORTED, static_cast<T*>(nullptr));
  }

  u32 GetCount() const { return m_count; }
  u32 GetCapacity() const { return m_capacity; }
  T** GetData() const { return m_storage; }
  T* operator[](u32 index) const { return m_storage[index]; }

  bool Add(T* element) { return InsertAt(element, 0xFFFFFFFFu); }

  // Inserts at `index`, clamped to the count, and takes a reference on the element.
  bool InsertAt(T* element, u32 index) {
    if (!element) return SLFail(SL_E_INVALID_ARG, false);
    if (index > m_count) index = m_count;
    if (m_count == m_capacity) {
      u64 capacity = u64(m_capacity) + Grow, bytes = capacity * sizeof(T*);
      if (!SLFitsU32(bytes)) return SLFail(SL_E_OUT_OF_MEMORY, false);
      auto** storage = static_cast<T**>(m_allocHook ? m_allocHook(u32(bytes)) : SLAlloc(u32(bytes)));
      if (!storage) {
        const u32 code = SLGetLastError();
        return SLFail(code & 0x80000000u ? code : SL_E_OUT_OF_MEMORY, false);
      }
      SLMemSet(storage, 0, u32(bytes));
      if (m_count) SLMemCopy(storage, m_storage, m_count * u32(sizeof(T*)));
      FreeStorage(m_storage);
      m_storage = storage;
      m_capacity = u32(capacity);
    }
    SLMemMove(m_storage + index + 1, m_storage + index, (m_count - index) * u32(sizeof(T*)));
    m_storage[index] = element;
    element->AddRef();
    ++m_count;
    return SLSucceed(true);
  }

  // Removes up to n elements from `index` (cut at the end), releasing each once.
  bool RemoveRange(u32 index, u32 n) {
    if (index >= m_count || n == 0 || u64(index) + n > 0xFFFFFFFFu) return SLFail(SL_E_INDEX, false);
    if (n > m_count - index) n = m_count - index;
    for (u32 i = index; i < index + n; ++i) ReleaseElement(m_storage[i]);
    SLMemMove(m_storage + index, m_storage + index + n, (m_count - index - n) * u32(sizeof(T*)));
    m_count -= n;
    return SLSucceed(true);
  }

  // Releases every element and frees the storage.
  void RemoveAll() {
    SLErrorKeeper keep;
    T** storage = m_storage;
    u32 count = m_count;
    m_storage = nullptr;
    m_count = m_capacity = 0;
    for (u32 i = 0; i < count; ++i) ReleaseElement(storage[i]);
    FreeStorage(storage);
  }

  void FreeStorage(T** storage) {
    SLErrorKeeper keep;
    if (!storage) return;
    if (m_freeHook)
      m_freeHook(storage);
    else
      SLFree(storage);
  }

  // This list becomes a copy of `source`: a new element per source element, filled by
  // the element's CopyTo. Any failure restores the old content and fails (with
  // SL_E_OUT_OF_MEMORY when nothing set a failure code).
  bool Assign(const TSLArrayList4Objects& source) {
    if (&source == this) return SLSucceed(true);
    T** oldStorage = m_storage;
    const u32 oldCount = m_count, oldCapacity = m_capacity;
    m_storage = nullptr;
    m_count = m_capacity = 0;
    for (u32 i = 0; i < source.m_count; ++i) {
      const T* sourceElement = source.m_storage[i];
      T* element = CreateElement(sourceElement);
      bool added = element && sourceElement->CopyTo(element) && Add(element);
      if (!added) {
        const u32 code = SLGetLastError();
        if (element) element->Release();
        RemoveAll();
        m_storage = oldStorage;
        m_count = oldCount;
        m_capacity = oldCapacity;
        return SLFail(code & 0x80000000u ? code : SL_E_OUT_OF_MEMORY, false);
      }
      element->Release();  // the list's reference is the only one
    }
    for (u32 i = 0; i < oldCount; ++i) ReleaseElement(oldStorage[i]);
    FreeStorage(oldStorage);
    return SLSucceed(true);
  }

  // The target (a list of the same class) becomes a copy of this one. Only lists with a
  // class record of their own can tell a list target from any other object.
  bool CopyTo(CSLObject* target) const override {
    const SLClassRecord* record = GetRuntimeClass();
    if (!target || record == CSLObject::GetClassRecord() || !target->IsKindOf(record))
      return SLFail(SL_E_NOT_SUPPORTED, false);
    return static_cast<TSLArrayList4Objects*>(target)->Assign(*this);
  }

 protected:
  T** m_storage = nullptr;
  u32 m_count = 0;
  u32 m_capacity = 0;
  AllocHook m_allocHook = nullptr;
  FreeHook m_freeHook = nullptr;

 private:
  static void ReleaseElement(T* element) {
    if (!element) return;
    SLErrorKeeper keep;
    element->Release();
  }
};
