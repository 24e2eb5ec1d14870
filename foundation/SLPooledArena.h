// The heap inside one arena of the pooled allocator: a boundary-tag heap over segments
// of reserved and committed virtual memory. The arena's owner locks it; the heap itself
// takes no lock. Every block it hands out is 16-byte aligned.
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
  // Resizes in place only (growing into a free neighbour, or into new pages at the end
  // of its segment's reservation); false, block untouched, when it cannot.
  bool GrowInPlace(void* block, std::size_t bytes);
  // Gives wholly free segments back to the system; the bytes released.
  std::size_t Trim();
  // Bytes the heap holds from the system now, and the most it ever held.
  std::size_t Footprint() const { return m_footprint; }
  std::size_t PeakFootprint() const { return m_peakFootprint; }
  // Walks every segment and bin: true when all boundary tags, flags and bin links agree.
  bool Verify() const;

  // Segments grow in multiples of this (a power of two). A wholly free segment is given
  // back at once only while the free space beyond it exceeds both the trim threshold and
  // the most the heap had in use since the last Trim (capped at kKeepLimit): a steady
  // pattern of allocating and freeing blocks keeps its segments, so it never maps and
  // faults in fresh pages, while the free space after a burst goes back on Trim.
  static constexpr std::size_t kGrowthUnit = 0x100000;
  static constexpr std::size_t kTrimThreshold = 0x200000;
  static constexpr std::size_t kKeepLimit = 0x4000000;
  // Address space each segment reserves, so a block at its end can grow in place.
  static constexpr std::size_t kSegmentReserve = 0x10000000;

  struct Segment;
  struct Chunk;

 private:
  static constexpr int kBinCount = 128;

  bool Grow(std::size_t need);
  Segment* SegmentOfFence(Chunk* fence);
  bool Extend(Chunk* fence, std::size_t extra);
  void Release(Segment* segment);
  void InsertFree(Chunk* chunk);
  void UnlinkFree(Chunk* chunk);
  Chunk* TakeFit(std::size_t need);
  void SplitTail(Chunk* chunk, std::size_t keep);
  static int BinOf(std::size_t size);

  Segment* m_segments = nullptr;
  Chunk* m_bins[kBinCount] = {};
  u64 m_binMap[kBinCount / 64] = {};
  std::size_t m_footprint = 0;
  std::size_t m_peakFootprint = 0;
  std::size_t m_freeBytes = 0;
  std::size_t m_keepBytes = 0;  // the most in use since the last Trim, at most kKeepLimit
};

}  // namespace SLInternals
