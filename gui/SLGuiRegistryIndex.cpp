#include "gui/SLGuiRegistryIndex.h"

#include <new>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace {

using Slot = std::atomic<std::uintptr_t>;

// A block of `capacity` slots after one slot that chains it into the retired list.
Slot* NewBlock(u32 capacity) {
  u64 bytes = 0;
  if (!SLCheckedMul(u64(capacity) + 1, sizeof(Slot), &bytes) || bytes > 0xFFFFFFFFull) return nullptr;
  void* raw = SLAlloc(u32(bytes));
  if (!raw) return nullptr;
  Slot* block = static_cast<Slot*>(raw);
  for (u32 i = 0; i <= capacity; ++i) new (&block[i]) Slot(0);
  return block + 1;
}

void FreeBlock(Slot* slots) {
  if (slots) SLFree(slots - 1);
}

}  // namespace

CSLGuiRegistryIndex::~CSLGuiRegistryIndex() {
  FreeBlock(m_slots.load(std::memory_order_relaxed));
  while (Slot* block = m_retired) {
    m_retired = reinterpret_cast<Slot*>((block - 1)->load(std::memory_order_relaxed));
    FreeBlock(block);
  }
}

bool CSLGuiRegistryIndex::Insert(const void* address) {
  Slot* slots = m_slots.load(std::memory_order_relaxed);
  const u32 count = m_count.load(std::memory_order_relaxed);
  const u32 index = LowerBound(slots, count, Key(address));
  if (index < count && slots[index].load(std::memory_order_relaxed) == Key(address)) return SLSucceed(true);
  Slot* target = slots;
  if (count == m_capacity) {
    const u32 capacity = m_capacity ? m_capacity * 2 : 64;
    if (capacity <= m_capacity || !(target = NewBlock(capacity))) return SLFail(SL_E_OUT_OF_MEMORY, false);
    // Readers never see the new block before it is complete.
    for (u32 i = 0; i < count; ++i) target[i].store(slots[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_capacity = capacity;
  }
  BeginChange();
  for (u32 i = count; i > index; --i)
    target[i].store(target[i - 1].load(std::memory_order_relaxed), std::memory_order_release);
  target[index].store(Key(address), std::memory_order_release);
  if (target != slots) {
    m_slots.store(target, std::memory_order_release);
    if (slots) {
      (slots - 1)->store(reinterpret_cast<std::uintptr_t>(m_retired), std::memory_order_relaxed);
      m_retired = slots;
    }
  }
  m_count.store(count + 1, std::memory_order_release);
  EndChange();
  return SLSucceed(true);
}

void CSLGuiRegistryIndex::Remove(const void* address) {
  Slot* slots = m_slots.load(std::memory_order_relaxed);
  const u32 count = m_count.load(std::memory_order_relaxed);
  const u32 index = LowerBound(slots, count, Key(address));
  if (index >= count || slots[index].load(std::memory_order_relaxed) != Key(address)) return;
  BeginChange();
  for (u32 i = index; i + 1 < count; ++i)
    slots[i].store(slots[i + 1].load(std::memory_order_relaxed), std::memory_order_release);
  m_count.store(count - 1, std::memory_order_release);
  EndChange();
}

void CSLGuiRegistryIndex::Clear() {
  BeginChange();
  m_count.store(0, std::memory_order_release);
  EndChange();
}
