// Boundary-tag heap. A segment is one reservation, committed whole:
//
//   [segment record, 32 bytes][chunk][chunk]...[fence: prev size, head]
//
// A chunk is [prev size][head][payload]. The head holds the chunk size (a multiple of
// 16) and flag bits: in use, previous in use, first chunk of its segment; the fence at
// the end of a segment is an in-use chunk of size 0. The prev size word is valid only
// while the previous chunk is free (it is that chunk's footer), so neighbours are found
// in both directions and merged on free. Free chunks are kept in 128 bins: exact bins
// per 16 bytes below 1 KiB, then four bins per power of two; a bitmap tells which bins
// hold chunks.
#include "foundation/SLPooledArena.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/kernel32/Memory.h"

namespace SLInternals {

namespace {

constexpr std::size_t kInUse = 1;
constexpr std::size_t kPrevInUse = 2;
constexpr std::size_t kFirst = 4;
constexpr std::size_t kFence = 8;
constexpr std::size_t kFlags = 15;
constexpr std::size_t kChunkOverhead = 16;
constexpr std::size_t kMinChunk = 32;
constexpr std::size_t kSmallLimit = 1024;

}  // namespace

struct CMXArenaHeap::Segment {
  Segment* next;
  Segment* prev;
  std::size_t size;
  std::size_t reserved;
};
static_assert(sizeof(CMXArenaHeap::Segment) == 32);

struct CMXArenaHeap::Chunk {
  std::size_t prevSize;
  std::size_t head;
  Chunk* fd;  // free chunks only: neighbours in the bin
  Chunk* bk;

  std::size_t Size() const { return head & ~kFlags; }
  Chunk* Next() { return reinterpret_cast<Chunk*>(reinterpret_cast<u8*>(this) + Size()); }
  Chunk* Prev() { return reinterpret_cast<Chunk*>(reinterpret_cast<u8*>(this) - prevSize); }
  void* Payload() { return reinterpret_cast<u8*>(this) + kChunkOverhead; }
  static Chunk* Of(void* payload) { return reinterpret_cast<Chunk*>(static_cast<u8*>(payload) - kChunkOverhead); }
};

namespace {

using Chunk = CMXArenaHeap::Chunk;

inline std::size_t ChunkSizeFor(std::size_t bytes) {
  return std::max(kMinChunk, (bytes + kChunkOverhead + 15) & ~std::size_t(15));
}

}  // namespace

int CMXArenaHeap::BinOf(std::size_t size) {
  if (size < kSmallLimit) return int(size >> 4);
  int log = std::bit_width(size) - 1;  // 10 and up
  int bin = 64 + (log - 10) * 4 + int((size >> (log - 2)) & 3);
  return std::min(bin, kBinCount - 1);
}

void CMXArenaHeap::InsertFree(Chunk* chunk) {
  int bin = BinOf(chunk->Size());
  chunk->bk = nullptr;
  chunk->fd = m_bins[bin];
  if (chunk->fd) chunk->fd->bk = chunk;
  m_bins[bin] = chunk;
  m_binMap[bin >> 6] |= u64(1) << (bin & 63);
  m_freeBytes += chunk->Size();
}

void CMXArenaHeap::UnlinkFree(Chunk* chunk) {
  int bin = BinOf(chunk->Size());
  if (chunk->bk)
    chunk->bk->fd = chunk->fd;
  else
    m_bins[bin] = chunk->fd;
  if (chunk->fd) chunk->fd->bk = chunk->bk;
  if (!m_bins[bin]) m_binMap[bin >> 6] &= ~(u64(1) << (bin & 63));
  m_freeBytes -= chunk->Size();
}

// The first free chunk that holds `need` bytes, unlinked: from the request's own bin
// (where large bins may hold smaller chunks too) or the lowest non-empty bin above it,
// where every chunk is large enough.
Chunk* CMXArenaHeap::TakeFit(std::size_t need) {
  int bin = BinOf(need);
  for (Chunk* chunk = m_bins[bin]; chunk; chunk = chunk->fd) {
    if (chunk->Size() >= need) {
      UnlinkFree(chunk);
      return chunk;
    }
  }
  for (int word = (bin + 1) >> 6; word < kBinCount / 64; ++word) {
    u64 bits = m_binMap[word];
    if (word == (bin + 1) >> 6) bits &= ~u64(0) << ((bin + 1) & 63);
    if ((bin + 1) >= kBinCount) bits = 0;
    if (bits) {
      Chunk* chunk = m_bins[word * 64 + std::countr_zero(bits)];
      UnlinkFree(chunk);
      return chunk;
    }
  }
  return nullptr;
}

// Keeps `keep` bytes of an in-use chunk and frees the rest when it makes a chunk.
void CMXArenaHeap::SplitTail(Chunk* chunk, std::size_t keep) {
  std::size_t size = chunk->Size();
  if (size - keep < kMinChunk) return;
  chunk->head = keep | (chunk->head & kFlags);
  Chunk* rest = chunk->Next();
  rest->head = (size - keep) | kPrevInUse;
  Chunk* after = rest->Next();
  if (!(after->head & kInUse)) {
    // Merge with a free neighbour so that free chunks never touch.
    UnlinkFree(after);
    rest->head += after->Size();
    after = rest->Next();
  }
  after->prevSize = rest->Size();
  after->head &= ~kPrevInUse;
  InsertFree(rest);
}

bool CMXArenaHeap::Grow(std::size_t need) {
  std::size_t size = (need + sizeof(Segment) + kChunkOverhead + kGrowthUnit - 1) & ~(kGrowthUnit - 1);
  // The segment reserves room to grow at its end (a block growing by realloc extends it
  // in place); where the address space is short it reserves just what it commits.
  std::size_t reserved = std::max(size, kSegmentReserve);
  u8* base = static_cast<u8*>(VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_READWRITE));
  if (!base) {
    reserved = size;
    base = static_cast<u8*>(VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_READWRITE));
  }
  if (!base) return false;
  if (!VirtualAlloc(base, size, MEM_COMMIT, PAGE_READWRITE)) {
    VirtualFree(base, 0, MEM_RELEASE);
    return false;
  }
  Segment* segment = reinterpret_cast<Segment*>(base);
  segment->size = size;
  segment->reserved = reserved;
  segment->prev = nullptr;
  segment->next = m_segments;
  if (m_segments) m_segments->prev = segment;
  m_segments = segment;
  m_footprint += size;
  m_peakFootprint = std::max(m_peakFootprint, m_footprint);
  Chunk* fence = reinterpret_cast<Chunk*>(base + size - kChunkOverhead);
  Chunk* chunk = reinterpret_cast<Chunk*>(base + sizeof(Segment));
  chunk->head = (size - sizeof(Segment) - kChunkOverhead) | kPrevInUse | kFirst;
  fence->prevSize = chunk->Size();
  fence->head = kInUse | kFence;
  InsertFree(chunk);
  return true;
}

// The segment whose fence is `fence`.
CMXArenaHeap::Segment* CMXArenaHeap::SegmentOfFence(Chunk* fence) {
  for (Segment* segment = m_segments; segment; segment = segment->next)
    if (reinterpret_cast<u8*>(segment) + segment->size - kChunkOverhead == reinterpret_cast<u8*>(fence))
      return segment;
  return nullptr;
}

// Commits at least `extra` more bytes at the end of the segment of `fence` and frees them
// as one chunk there (merged with a free last chunk). False when the reservation has no
// room or the system refuses.
bool CMXArenaHeap::Extend(Chunk* fence, std::size_t extra) {
  Segment* segment = SegmentOfFence(fence);
  if (!segment) return false;
  // Grow by a quarter of the segment at least, so a block growing step by step commits
  // memory in few calls; pages are 4 KiB.
  extra = std::max(extra, segment->size / 4);
  extra = (extra + 0xFFF) & ~std::size_t(0xFFF);
  if (segment->reserved - segment->size < extra) extra = segment->reserved - segment->size;
  if (extra < kMinChunk) return false;
  u8* base = reinterpret_cast<u8*>(segment);
  if (!VirtualAlloc(base + segment->size, extra, MEM_COMMIT, PAGE_READWRITE)) return false;
  segment->size += extra;
  m_footprint += extra;
  m_peakFootprint = std::max(m_peakFootprint, m_footprint);
  // The old fence becomes an in-use chunk over the new pages, the new fence follows it,
  // and freeing that chunk merges it with a free chunk before it.
  Chunk* added = fence;
  added->head = extra | (fence->head & kPrevInUse) | kInUse;
  Chunk* newFence = added->Next();
  newFence->head = kInUse | kFence | kPrevInUse;
  Free(added->Payload());
  return true;
}

void CMXArenaHeap::Release(Segment* segment) {
  Chunk* chunk = reinterpret_cast<Chunk*>(reinterpret_cast<u8*>(segment) + sizeof(Segment));
  UnlinkFree(chunk);
  if (segment->prev)
    segment->prev->next = segment->next;
  else
    m_segments = segment->next;
  if (segment->next) segment->next->prev = segment->prev;
  m_footprint -= segment->size;
  VirtualFree(segment, 0, MEM_RELEASE);
}

void* CMXArenaHeap::Allocate(std::size_t bytes) {
  if (bytes > (std::size_t(1) << 40)) return nullptr;
  std::size_t need = ChunkSizeFor(bytes);
  Chunk* chunk = TakeFit(need);
  if (!chunk) {
    if (!Grow(need)) return nullptr;
    chunk = TakeFit(need);
  }
  chunk->head |= kInUse;
  chunk->Next()->head |= kPrevInUse;
  SplitTail(chunk, need);
  m_keepBytes = std::min(kKeepLimit, std::max(m_keepBytes, m_footprint - m_freeBytes));
  return chunk->Payload();
}

void CMXArenaHeap::Free(void* block) {
  Chunk* chunk = Chunk::Of(block);
  std::size_t flags = chunk->head & (kPrevInUse | kFirst);
  std::size_t size = chunk->Size();
  if (!(flags & kPrevInUse)) {
    Chunk* prev = chunk->Prev();
    UnlinkFree(prev);
    size += prev->Size();
    flags = prev->head & (kPrevInUse | kFirst);
    chunk = prev;
  }
  Chunk* next = reinterpret_cast<Chunk*>(reinterpret_cast<u8*>(chunk) + size);
  if (!(next->head & kInUse)) {
    UnlinkFree(next);
    size += next->Size();
    next = reinterpret_cast<Chunk*>(reinterpret_cast<u8*>(chunk) + size);
  }
  chunk->head = size | flags;
  next->prevSize = size;
  next->head &= ~kPrevInUse;
  InsertFree(chunk);
  // A wholly free segment goes back at once while the heap holds more free space than it
  // recently needed.
  if ((flags & kFirst) && (next->head & kFence) && m_freeBytes - size >= std::max(kTrimThreshold, m_keepBytes))
    Release(reinterpret_cast<Segment*>(reinterpret_cast<u8*>(chunk) - sizeof(Segment)));
}

void* CMXArenaHeap::Reallocate(void* block, std::size_t bytes) {
  if (bytes > (std::size_t(1) << 40)) return nullptr;
  Chunk* chunk = Chunk::Of(block);
  std::size_t need = ChunkSizeFor(bytes);
  std::size_t size = chunk->Size();
  if (need <= size) {
    SplitTail(chunk, need);
    return block;
  }
  if (GrowInPlace(block, bytes)) return block;
  void* moved = Allocate(bytes);
  if (!moved) return nullptr;
  std::memcpy(moved, block, size - kChunkOverhead);
  Free(block);
  return moved;
}

bool CMXArenaHeap::GrowInPlace(void* block, std::size_t bytes) {
  if (bytes > (std::size_t(1) << 40)) return false;
  Chunk* chunk = Chunk::Of(block);
  const std::size_t need = ChunkSizeFor(bytes);
  const std::size_t size = chunk->Size();
  if (need <= size) {
    SplitTail(chunk, need);
    return true;
  }
  Chunk* next = chunk->Next();
  // At the end of its segment the block takes new pages from the reservation.
  std::size_t available = size + (next->head & kInUse ? 0 : next->Size());
  if (available < need) {
    Chunk* last = next->head & kInUse ? next : next->Next();
    if (!(last->head & kFence) || !Extend(last, need - available)) return false;
    next = chunk->Next();
  }
  if (next->head & kInUse || size + next->Size() < need) return false;
  UnlinkFree(next);
  chunk->head += next->Size();
  chunk->Next()->head |= kPrevInUse;
  SplitTail(chunk, need);
  m_keepBytes = std::min(kKeepLimit, std::max(m_keepBytes, m_footprint - m_freeBytes));
  return true;
}

std::size_t CMXArenaHeap::Trim() {
  m_keepBytes = m_footprint - m_freeBytes;
  std::size_t released = 0;
  for (Segment* segment = m_segments; segment;) {
    Segment* next = segment->next;
    Chunk* first = reinterpret_cast<Chunk*>(reinterpret_cast<u8*>(segment) + sizeof(Segment));
    if (!(first->head & kInUse) && (first->Next()->head & kFence)) {
      released += segment->size;
      Release(segment);
    }
    segment = next;
  }
  return released;
}

bool CMXArenaHeap::Verify() const {
  std::size_t freeInSegments = 0, freeInBins = 0;
  for (const Segment* segment = m_segments; segment; segment = segment->next) {
    if (segment->next && segment->next->prev != segment) return false;
    u8* base = reinterpret_cast<u8*>(const_cast<Segment*>(segment));
    Chunk* chunk = reinterpret_cast<Chunk*>(base + sizeof(Segment));
    Chunk* fence = reinterpret_cast<Chunk*>(base + segment->size - kChunkOverhead);
    if (!(chunk->head & kFirst) || !(chunk->head & kPrevInUse) || fence->Size() != 0) return false;
    bool prevInUse = true;
    while (chunk != fence) {
      std::size_t size = chunk->Size();
      if (size < kMinChunk || size % 16 || reinterpret_cast<u8*>(chunk) + size > reinterpret_cast<u8*>(fence))
        return false;
      if (bool(chunk->head & kPrevInUse) != prevInUse) return false;
      if (!prevInUse && chunk->Prev()->Size() != chunk->prevSize) return false;
      bool inUse = chunk->head & kInUse;
      if (!inUse) {
        if (!prevInUse) return false;  // two free neighbours should have merged
        if (chunk->Next()->prevSize != size) return false;
        freeInSegments += size;
      }
      prevInUse = inUse;
      chunk = chunk->Next();
    }
    if (!(fence->head & kFence) || !(fence->head & kInUse) || bool(fence->head & kPrevInUse) != prevInUse)
      return false;
  }
  for (int bin = 0; bin < kBinCount; ++bin) {
    bool marked = (m_binMap[bin >> 6] >> (bin & 63)) & 1;
    if (marked != (m_bins[bin] != nullptr)) return false;
    const Chunk* previous = nullptr;
    for (const Chunk* chunk = m_bins[bin]; chunk; chunk = chunk->fd) {
      if (chunk->bk != previous || (chunk->head & kInUse) || BinOf(chunk->Size()) != bin) return false;
      freeInBins += chunk->Size();
      previous = chunk;
    }
  }
  return freeInSegments == freeInBins && freeInBins == m_freeBytes;
}

}  // namespace SLInternals
