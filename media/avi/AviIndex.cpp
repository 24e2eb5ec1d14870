#include "media/avi/AviIndex.h"

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

bool AviIndexList::Add(u32 chunkId, u64 offset, u32 size, bool key) {
  if (!m_last || m_last->used == AviIndexBlock::kEntries) {
    auto* block = static_cast<AviIndexBlock*>(SLAllocZero(u32(sizeof(AviIndexBlock))));
    if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (m_last)
      m_last->next = block;
    else
      m_first = block;
    m_last = block;
  }
  AviIndexEntry& entry = m_last->entries[m_last->used++];
  entry.offset = offset;
  entry.chunkId = chunkId;
  entry.sizeAndFlag = (size & AviIndexEntry::kSizeMask) | (key ? 0 : AviIndexEntry::kNotKeyFlag);
  entry.firstSample = 0;
  ++m_count;
  return SLSucceed(true);
}

bool AviIndexList::Flatten() {
  SLFree(m_flat);
  m_flat = nullptr;
  m_flatCount = 0;
  if (m_count == 0) {
    Free();
    return SLSucceed(true);
  }
  // The byte size is computed in 64 bits: a count whose array would not fit 32 bits is
  // refused instead of being allocated short and copied past its end.
  if (m_count > kAviMaxFlatEntries) {
    Free();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  auto* flat = static_cast<AviIndexEntry*>(SLAllocZero(u32(m_count * sizeof(AviIndexEntry))));
  if (!flat) {
    Free();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  u64 copied = 0;
  for (AviIndexBlock* block = m_first; block; block = block->next) {
    SLMemCopy(flat + copied, block->entries, block->used * u32(sizeof(AviIndexEntry)));
    copied += block->used;
  }
  u64 count = m_count;
  Free();
  m_flat = flat;
  m_flatCount = count;
  m_count = count;
  return SLSucceed(true);
}

void AviIndexList::Free() {
  SLErrorKeeper keep;
  for (AviIndexBlock* block = m_first; block;) {
    AviIndexBlock* next = block->next;
    SLFree(block);
    block = next;
  }
  m_first = m_last = nullptr;
  SLFree(m_flat);
  m_flat = nullptr;
  m_flatCount = 0;
  m_count = 0;
}
