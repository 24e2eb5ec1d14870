// A small hash map of {key, value} entries in circular doubly linked bucket lists.
// The buckets are made on the first insertion and never rehashed; entry and bucket
// memory come from the functions given at construction (the framework allocator when
// none are given). Subclasses choose the bucket count and the hash, and hear of removals.
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLTypes.h"

template <class Key, class Value>
class TSLHashMap {
 public:
  using AllocFunc = void* (*)(u32 bytes);
  using FreeFunc = void (*)(void* block);

  struct Entry {
    Entry* next;
    Entry* previous;
    Key key;
    Value value;
  };

  explicit TSLHashMap(AllocFunc alloc = nullptr, FreeFunc free = nullptr)
      : m_alloc(alloc ? alloc : &SLAlloc), m_free(free ? free : &SLFree) {}
  virtual ~TSLHashMap() { RemoveAll(); }  // subclasses that hear of removals call RemoveAll first

  virtual u32 GetInitialBucketCount() const { return 17; }
  virtual u32 Hash(Key key) const { return u32(reinterpret_cast<std::uintptr_t>(key)); }
  virtual void OnRemove(Key, Value) {}

  // Entries are removed (with the notification) before the buckets go.
  void RemoveAll() {
    SLErrorKeeper keep;
    for (u32 b = 0; b < m_bucketCount; ++b)
      while (m_buckets[b]) RemoveEntry(b, m_buckets[b]);
    if (m_buckets) m_free(m_buckets);
    m_buckets = nullptr;
    m_bucketCount = 0;
  }

  Value* Find(Key key) {
    Entry* e = FindEntry(key);
    return e ? &e->value : nullptr;
  }

  bool Insert(Key key, Value value) {
    if (!m_buckets) {
      // Bucket storage is rounded up to whole steps of 32, as the framework arrays are.
      u32 count = GetInitialBucketCount();
      u32 capacity = (count + 31) / 32 * 32;
      m_buckets = static_cast<Entry**>(m_alloc(capacity * u32(sizeof(Entry*))));
      if (!m_buckets) return SLFail(SL_E_OUT_OF_MEMORY, false);
      SLMemSet(m_buckets, 0, capacity * u32(sizeof(Entry*)));
      m_bucketCount = count;
    }
    if (Entry* existing = FindEntry(key)) {
      existing->value = value;
      return SLSucceed(true);
    }
    auto* e = static_cast<Entry*>(m_alloc(u32(sizeof(Entry))));
    if (!e) return SLFail(SL_E_OUT_OF_MEMORY, false);
    e->key = key;
    e->value = value;
    Entry*& head = m_buckets[Hash(key) % m_bucketCount];
    if (!head) {
      e->next = e->previous = e;
      head = e;
    } else {
      e->next = head;
      e->previous = head->previous;
      head->previous->next = e;
      head->previous = e;
    }
    ++m_count;
    return SLSucceed(true);
  }

  bool Remove(Key key) {
    if (!m_buckets) return SLFail(SL_E_NOT_FOUND, false);
    u32 b = Hash(key) % m_bucketCount;
    Entry* e = FindEntry(key);
    if (!e) return SLFail(SL_E_NOT_FOUND, false);
    RemoveEntry(b, e);
    return SLSucceed(true);
  }

  u32 GetCount() const { return m_count; }

 protected:
  Entry* FindEntry(Key key) const {
    if (!m_buckets) return nullptr;
    Entry* head = m_buckets[Hash(key) % m_bucketCount];
    if (!head) return nullptr;
    Entry* e = head;
    do {
      if (e->key == key) return e;
      e = e->next;
    } while (e != head);
    return nullptr;
  }

  void RemoveEntry(u32 bucket, Entry* e) {
    Entry*& head = m_buckets[bucket];
    if (e->next == e) {
      head = nullptr;
    } else {
      e->previous->next = e->next;
      e->next->previous = e->previous;
      if (head == e) head = e->next;
    }
    --m_count;
    Key key = e->key;
    Value value = e->value;
    m_free(e);
    OnRemove(key, value);
  }

 private:
  AllocFunc m_alloc;
  FreeFunc m_free;
  Entry** m_buckets = nullptr;
  u32 m_bucketCount = 0;
  u32 m_count = 0;
};
