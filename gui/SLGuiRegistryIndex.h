// The window addresses of the manager's registry, sorted, for the one question any thread
// may ask at any time: "is this window registered?". The registry itself changes only
// under the manager's state lock, and so does this index; but a query must not pay for
// that lock, since the toolkit asks it after nearly every call it makes into a window.
//
// Readers take no lock: a change runs between two steps of a sequence count (odd while
// it runs), every slot is read and written atomically, and a reader whose count moved
// (or was odd) says so, so that its caller asks again under the lock. Storage that a
// reader may still be reading is never freed while the index lives: when it grows, the
// old block is kept until the destructor. Growth doubles, so the kept blocks together are
// never larger than the live one.
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/SLTypes.h"

class CSLGuiRegistryIndex {
 public:
  CSLGuiRegistryIndex() = default;
  ~CSLGuiRegistryIndex();
  CSLGuiRegistryIndex(const CSLGuiRegistryIndex&) = delete;
  CSLGuiRegistryIndex& operator=(const CSLGuiRegistryIndex&) = delete;

  // Writers (under the owner's lock). Insert fails with 0x80000001 when the index cannot
  // grow, and leaves it as it was; inserting a present address or removing an absent one
  // changes nothing.
  bool Insert(const void* address);
  void Remove(const void* address);
  void Clear();

  // Reader (any thread). False when a change ran meanwhile: `*found` is then unknown.
  bool TryContains(const void* address, bool* found) const {
    const u32 before = m_sequence.load(std::memory_order_acquire);
    if (before & 1) return false;
    // The count first: a block published with a larger count is never older than it.
    const u32 count = m_count.load(std::memory_order_acquire);
    const std::atomic<std::uintptr_t>* slots = m_slots.load(std::memory_order_acquire);
    const u32 index = LowerBound(slots, count, Key(address));
    const bool hit = index < count && slots[index].load(std::memory_order_acquire) == Key(address);
    // Every slot was read with acquire, so this load cannot move above them: a slot written
    // by a change shows that change's odd sequence here.
    if (m_sequence.load(std::memory_order_relaxed) != before) return false;
    *found = hit;
    return true;
  }

 private:
  static std::uintptr_t Key(const void* address) { return reinterpret_cast<std::uintptr_t>(address); }
  static u32 LowerBound(const std::atomic<std::uintptr_t>* slots, u32 count, std::uintptr_t key) {
    u32 low = 0;
    while (count > 0) {
      const u32 half = count / 2;
      if (slots[low + half].load(std::memory_order_acquire) < key) {
        low += half + 1;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    return low;
  }
  // A change's slot stores are releases, so a reader that sees any of them also sees the
  // odd sequence stored before them (no fences: ThreadSanitizer models only the atomics).
  void BeginChange() { m_sequence.store(m_sequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
  void EndChange() { m_sequence.store(m_sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  std::atomic<u32> m_sequence{0};
  std::atomic<u32> m_count{0};
  std::atomic<std::atomic<std::uintptr_t>*> m_slots{nullptr};
  u32 m_capacity = 0;
  // Blocks replaced by larger ones, chained through their first slot.
  std::atomic<std::uintptr_t>* m_retired = nullptr;
};
