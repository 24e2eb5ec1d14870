// The heap inside one arena of the pooled allocator. The arena's owner locks it; the
// heap itself takes no lock. Every block it hands out is 16-byte aligned.
#pragma once

#include <cstddef>

#include "foundation/SLTypes.h"

namespace SLInternals {

class CMXArenaHeap {
 public:
  constexpr CMXArenaHeap() = default;
  // A block of at least `bytes`, or null when the system gives no more memory.
  void* Allocate(std::size_t bytes);
  void Free(void* block);
  // Resizes in place when it can, else moves the contents; null (block untouched) on failure.
  void* Reallocate(void* block, std::size_t bytes);
  // Gives free space back to the system; the bytes released.
  std::size_t Trim();
  // Bytes the heap holds from the system now, and the most it ever held.
  std::size_t Footprint() const { return m_footprint; }
  std::size_t PeakFootprint() const { return m_peakFootprint; }

 private:
  struct Segment;
  struct FreeChunk;
  static constexpr int kBinCount = 96;

  bool Grow(std::size_t need);
  void InsertFree(FreeChunk* chunk);
  void UnlinkFree(FreeChunk* chunk);
  static int BinOf(std::size_t size);

  Segment* m_segments = nullptr;
  FreeChunk* m_bins[kBinCount] = {};
  u64 m_binMap[2] = {0, 0};
  std::size_t m_footprint = 0;
  std::size_t m_peakFootprint = 0;
  std::size_t m_freeBytes = 0;
};

}  // namespace SLInternals
