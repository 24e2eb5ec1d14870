// The pooled allocator. Every block carries a 16-byte prefix: one padding word and the
// three header words {"NEDM", owning arena, usable size}; the padding word is "NEDM"
// as well, so the word before the header reads "NEDM" on every live block. Small
// blocks (up to 8192 bytes) are rounded up to a power of two so that a freed block
// fits every later request of its bin, and go through the calling thread's cache
// without a lock. Blocks of 256 KiB and more are mappings of their own.
#include "foundation/SLPooledAlloc.h"

#include <cstdlib>
#include <cstring>

#ifdef SL_SYSTEM_ALLOCATOR

// Sanitizer and fuzz builds: every block comes from the process heap of the kernel32
// stand-in, which is the C library's, so that the tools see each one.
#include "platform/kernel32/Core.h"

void* nedmalloc(u32 size) { return HeapAlloc(GetProcessHeap(), 0, size < 20 ? 20 : size); }
void nedpfree(SLNedPool*, void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
void* nedprealloc(SLNedPool*, void* block, u32 size, u32) {
  if (!block) return nedmalloc(size);
  return HeapReAlloc(GetProcessHeap(), 0, block, size < 20 ? 20 : size);
}
u32 nedblksize(void* block) { return block ? u32(HeapSize(GetProcessHeap(), 0, block)) : 0; }
u32 SLPoolTrim() { return 0; }
void SLPoolThreadCleanup() {}
namespace SLInternals {
u32 SLPoolCacheSlotsInUse() { return 0; }
bool SLPoolThreadHasCache() { return false; }
bool SLPoolIsDirectMapping(void*) { return false; }
u64 SLPoolThreadCacheBytes() { return 0; }
}  // namespace SLInternals

#else

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <thread>

#include "foundation/SLPooledArena.h"
#include "platform/kernel32/Memory.h"

using SLInternals::CMXArenaHeap;

namespace {

constexpr u32 kLiveWord = 0x4D44454E;  // "NEDM"
constexpr u32 kDeadWord = 0x6D64656E;  // "nedm"
constexpr u32 kMinRequest = 20;
constexpr u32 kCacheSlots = 256;
constexpr u32 kCacheBins = 10;  // 16, 32, ..., 8192
constexpr u32 kCacheLargest = 8192;
constexpr u32 kCacheMinUsable = 20;
constexpr u32 kCacheMaxUsable = 8200;
constexpr u64 kCacheTrimBytes = 0x100000;
constexpr u32 kCacheAgeLimit = 128;
constexpr u32 kMaxArenas = 16;
constexpr u32 kMappingThreshold = 0x40000;
constexpr u32 kMappingExtra = 35;
constexpr u64 kMinGranularity = 0x100000;
constexpr u32 kMappedArena = 0x80000000u;  // arena word of a direct mapping
constexpr u32 kPrefixBytes = 16;           // padding word + three header words
constexpr u32 kMappingFront = 16;          // committed and reserved sizes of a mapping
constexpr u32 kSpinsBeforeYield = 64;
constexpr u32 kShrinkKeep = 1024;
constexpr u32 kMappedResizeMin = 256;
constexpr u32 kMappedKeepSlack = 4;

const char kForeignFree[] = "nedmalloc: nedpfree() called with a block not created by nedmalloc!\n";
const char kForeignRealloc[] = "nedmalloc: nedprealloc() called with a block not created by nedmalloc!\n";
const char kDoubleFree[] = "nedmalloc: Attempt to free already freed memory block %p - aborting!\n";

[[noreturn]] void Fail(const char* message) {
  std::fputs(message, stderr);
  std::fflush(stderr);
  std::abort();
}

// Thread ids of our own: small, never 0, cheap to read.
std::atomic<u32> g_nextThreadId{1};
thread_local u32 t_threadId = 0;

inline u32 CurrentThreadId() {
  u32 id = t_threadId;
  if (id == 0) t_threadId = id = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
  return id;
}

// A spin lock that its owner may take again. Waiters retry the exchange and yield the
// processor after every 64 failed tries.
class CRecursiveSpinLock {
 public:
  constexpr CRecursiveSpinLock() = default;

  bool TryLock(u32 self) {
    if (m_owner.load(std::memory_order_relaxed) == self) {
      ++m_count;
      return true;
    }
    if (m_word.load(std::memory_order_relaxed) != 0 || m_word.exchange(1, std::memory_order_acquire) != 0)
      return false;
    m_owner.store(self, std::memory_order_relaxed);
    m_count = 1;
    return true;
  }

  void Lock(u32 self) {
    if (m_owner.load(std::memory_order_relaxed) == self) {
      ++m_count;
      return;
    }
    u32 tries = 0;
    while (m_word.exchange(1, std::memory_order_acquire) != 0) {
      do {
        if (++tries == kSpinsBeforeYield) {
          tries = 0;
          std::this_thread::yield();
        }
      } while (m_word.load(std::memory_order_relaxed) != 0);
    }
    m_owner.store(self, std::memory_order_relaxed);
    m_count = 1;
  }

  void Unlock() {
    if (--m_count == 0) {
      m_owner.store(0, std::memory_order_relaxed);
      m_word.store(0, std::memory_order_release);
    }
  }

 private:
  std::atomic<u32> m_word{0};
  std::atomic<u32> m_owner{0};
  u32 m_count = 0;
};

struct SLArena {
  CRecursiveSpinLock lock;
  u32 magic = 0;
  u32 index = 0;
  SLNedPool* pool = nullptr;
  CMXArenaHeap heap;
};

// A cached block keeps its header; its body holds the bin links and its age stamp.
struct SLCachedBlock {
  SLCachedBlock* older;
  SLCachedBlock* newer;
  u32 stamp;
};
static_assert(sizeof(SLCachedBlock*) * 2 + sizeof(u32) <= kCacheMinUsable);

struct SLCacheBin {
  SLCachedBlock* newest;
  SLCachedBlock* oldest;
};

struct SLThreadCache {
  u32 threadId;
  u32 preferredArena;
  u32 slot;
  u32 mallocs, frees, hits;
  u64 bytesHeld;
  SLCacheBin bins[kCacheBins];
};

}  // namespace

struct SLNedPool {
  CRecursiveSpinLock lock;
  std::atomic<SLThreadCache*> caches[kCacheSlots] = {};
  std::atomic<SLArena*> arenas[kMaxArenas + 1] = {};
  std::atomic<u32> arenaCount{0};
  int threads = 0;
};

namespace {

struct SLPoolParams {
  u64 pageSize;
  u64 granularity;  // the unit in which arenas grow
  u64 mappingUnit;  // the unit in which direct mappings are sized
  u32 magic;
};

// All constant-initialised and never destroyed: blocks are made and freed before the
// program's own initialisers run and after the last static destructor.
constinit CRecursiveSpinLock g_globalLock;
constinit std::atomic<bool> g_ready{false};
constinit SLPoolParams g_params{};
constinit SLNedPool g_systemPool;
constinit SLArena g_arenaStore[kMaxArenas];
// Per thread: 0 undecided, n > 0 uses cache n - 1, -(k + 1) no cache and prefers arena k.
thread_local long t_poolSlot = 0;
thread_local SLThreadCache* t_cache = nullptr;

// Words of the prefix in front of a block: [0] padding, [1] "NEDM", [2] arena, [3] usable.
inline u32* PrefixOf(void* block) { return static_cast<u32*>(block) - 4; }

inline void StampPrefix(void* block, u32 arenaWord, u32 usable) {
  u32* prefix = PrefixOf(block);
  prefix[0] = kLiveWord;
  prefix[1] = kLiveWord;
  prefix[2] = arenaWord;
  prefix[3] = usable;
}

bool IsPowerOfTwo(u64 value) { return value != 0 && (value & (value - 1)) == 0; }

u64 RoundUp(u64 value, u64 unit) { return (value + unit - 1) & ~(unit - 1); }

// Arena-held small blocks are sized to their bin so that any request of the bin fits.
u64 ArenaUsableFor(u32 size) {
  if (size <= kCacheLargest) return std::bit_ceil(std::max<u32>(size, 32));
  return RoundUp(size, 16);
}

void CreateArena(SLNedPool& pool, u32 index) {
  SLArena& arena = g_arenaStore[index];
  arena.magic = g_params.magic;
  arena.index = index;
  arena.pool = &pool;
  pool.arenas[index].store(&arena, std::memory_order_release);
  pool.arenaCount.store(index + 1, std::memory_order_release);
}

// The arena limit of a pool from its creator's wish: at most 16, 0 meaning 4.
int ArenaLimit(int threads) {
  if (threads > int(kMaxArenas)) return int(kMaxArenas);
  return threads == 0 ? 4 : threads;
}

void SetUp() {
  u32 self = CurrentThreadId();
  g_globalLock.Lock(self);
  if (!g_ready.load(std::memory_order_relaxed)) {
    u64 page = SLPlatformPageSize();
    u64 systemGranularity = page;  // mappings are placed at any page
    if (!IsPowerOfTwo(page) || !IsPowerOfTwo(systemGranularity)) std::abort();
    g_params.pageSize = page;
    g_params.granularity = std::max<u64>(systemGranularity, kMinGranularity);
    g_params.mappingUnit = systemGranularity;
    u32 ticks = u32(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
    g_params.magic = ((ticks ^ 0x55555550u) & ~7u) | 8u;
    // The system pool is made with an arena limit of -1: it keeps its one arena.
    g_systemPool.threads = ArenaLimit(-1);
    CreateArena(g_systemPool, 0);
    g_ready.store(true, std::memory_order_release);
  }
  g_globalLock.Unlock();
}

inline void EnsureSetUp() {
  if (!g_ready.load(std::memory_order_acquire)) SetUp();
}

SLArena* ArenaOfWord(u32 arenaWord, const char* complaint) {
  u32 count = g_systemPool.arenaCount.load(std::memory_order_acquire);
  if (arenaWord >= count) Fail(complaint);
  return g_systemPool.arenas[arenaWord].load(std::memory_order_acquire);
}

inline void CheckMagic(SLArena* arena) {
  if (arena->magic != g_params.magic) std::abort();
}

// Locks an arena for an allocation: the preferred one when it is free, else the first
// free one after it, then before it; a new one while the pool is below its limit; else
// waits for the preferred one. The one found becomes the thread's preference.
SLArena* LockArenaForAllocation(SLThreadCache* cache) {
  SLNedPool& pool = g_systemPool;
  u32 self = CurrentThreadId();
  u32 count = pool.arenaCount.load(std::memory_order_acquire);
  u32 preferred = cache ? cache->preferredArena : (t_poolSlot < 0 ? u32(-t_poolSlot - 1) : 0);
  if (preferred >= count) preferred = 0;
  SLArena* found = nullptr;
  for (u32 step = 0; step < count && !found; ++step) {
    SLArena* arena = pool.arenas[(preferred + step) % count].load(std::memory_order_acquire);
    if (arena->lock.TryLock(self)) found = arena;
  }
  if (!found && int(count) < pool.threads) {
    // The pool lock guards only the arena table; the new arena is locked after it.
    SLArena* created = nullptr;
    pool.lock.Lock(self);
    u32 now = pool.arenaCount.load(std::memory_order_relaxed);
    if (int(now) < pool.threads && now < kMaxArenas) {
      CreateArena(pool, now);
      created = pool.arenas[now].load(std::memory_order_relaxed);
    }
    pool.lock.Unlock();
    if (created) {
      created->lock.Lock(self);
      found = created;
    }
  }
  if (!found) {
    found = pool.arenas[preferred].load(std::memory_order_acquire);
    found->lock.Lock(self);
  }
  CheckMagic(found);
  if (cache)
    cache->preferredArena = found->index;
  else if (t_poolSlot < 0)
    t_poolSlot = -long(found->index) - 1;
  return found;
}

u64 ReserveFor(u64 committed, u32 flags) {
  u32 amount = (flags & SL_NED_RESERVE_MASK) >> 8;
  if (amount == 0) return 0;
  u64 reserve = (flags & SL_NED_RESERVE_IS_MULTIPLIER) ? committed * amount : (u64(1) << amount);
  return RoundUp(std::max(reserve, committed), g_params.mappingUnit);
}

// Released direct mappings kept for reuse. A buffer that grows to a few mebibytes and is
// freed, again and again (a decoder's output, a file read whole), takes its pages back
// from here instead of mapping, faulting in and unmapping them each time. The cache is
// small: a few mappings of at most 32 MiB each, 64 MiB in all; SLPoolTrim empties it.
constexpr u32 kMappingCacheEntries = 4;
constexpr u64 kMappingCacheLargest = 32ull << 20;
constexpr u64 kMappingCacheBytes = 64ull << 20;
constexpr u64 kMappingReuseFactor = 16;  // a kept mapping serves requests down to 1/16 of it

struct SLMappingCache {
  CRecursiveSpinLock lock;
  u8* bases[kMappingCacheEntries] = {};
  // Changed under the lock; atomic so that the take path may peek at it without the lock.
  std::atomic<u32> count{0};
  u64 bytes = 0;
};
constinit SLMappingCache g_mappingCache;

inline u64 CommittedOf(const u8* base) { return reinterpret_cast<const u64*>(base)[0]; }

// Keeps a released mapping when there is room; false when the caller must unmap it.
bool KeepMapping(u8* base) {
  u64 committed = CommittedOf(base);
  if (committed > kMappingCacheLargest) return false;
  SLMappingCache& cache = g_mappingCache;
  cache.lock.Lock(CurrentThreadId());
  bool kept = cache.count < kMappingCacheEntries && cache.bytes + committed <= kMappingCacheBytes;
  if (kept) {
    cache.bases[cache.count++] = base;
    cache.bytes += committed;
  }
  cache.lock.Unlock();
  return kept;
}

// The smallest kept mapping with at least `committed` bytes, not absurdly larger, whose
// reservation reaches as far as the one the request asks for.
u8* TakeMapping(u64 committed, u64 reserve) {
  SLMappingCache& cache = g_mappingCache;
  // A peek without the lock; the choice is made under it.
  if (cache.count.load(std::memory_order_relaxed) == 0) return nullptr;
  cache.lock.Lock(CurrentThreadId());
  u32 best = kMappingCacheEntries;
  for (u32 i = 0; i < cache.count; ++i) {
    u64 held = CommittedOf(cache.bases[i]);
    u64 reach = std::max(held, reinterpret_cast<const u64*>(cache.bases[i])[1]);
    if (held >= committed && held / kMappingReuseFactor <= committed && reach >= reserve &&
        (best == kMappingCacheEntries || held < CommittedOf(cache.bases[best])))
      best = i;
  }
  u8* base = nullptr;
  if (best != kMappingCacheEntries) {
    base = cache.bases[best];
    cache.bases[best] = cache.bases[--cache.count];
    cache.bytes -= CommittedOf(base);
  }
  cache.lock.Unlock();
  return base;
}

// Unmaps every kept mapping.
void DropKeptMappings() {
  SLMappingCache& cache = g_mappingCache;
  cache.lock.Lock(CurrentThreadId());
  while (cache.count) VirtualFree(cache.bases[--cache.count], 0, MEM_RELEASE);
  cache.bytes = 0;
  cache.lock.Unlock();
}

// The usable size of a mapping block that asks for `committed` bytes of pages.
inline u32 MappedUsable(u64 committed) {
  return u32(std::min<u64>(committed - kMappingFront - kPrefixBytes, 0xFFFFFFFFu));
}

// A mapping of its own: [committed size][reserved size (0: none)][prefix][block].
void* MapDirect(u32 size, u32 flags) {
  u64 committed = RoundUp(u64(size) + kMappingExtra, g_params.mappingUnit);
  if (committed - kMappingFront - kPrefixBytes > 0xFFFFFFFFu) return nullptr;  // usable size is 32-bit
  u64 reserve = ReserveFor(committed, flags);
  if (u8* kept = TakeMapping(committed, reserve)) {
    // A kept mapping keeps its pages and its reservation; the block's usable size is what
    // this request asks for, so that growing into the pages beyond needs no system call.
    void* block = kept + kMappingFront + kPrefixBytes;
    StampPrefix(block, kMappedArena, MappedUsable(committed));
    if (flags & SL_NED_ZERO_MEMORY) std::memset(block, 0, MappedUsable(committed));
    return block;
  }
  u8* base;
  if (reserve) {
    base = static_cast<u8*>(VirtualAlloc(nullptr, reserve, MEM_RESERVE | MEM_TOP_DOWN, PAGE_READWRITE));
    if (!base) return nullptr;
    if (!VirtualAlloc(base, committed, MEM_COMMIT, PAGE_READWRITE)) {
      VirtualFree(base, 0, MEM_RELEASE);
      return nullptr;
    }
  } else {
    base = static_cast<u8*>(
        VirtualAlloc(nullptr, committed, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE));
    if (!base) return nullptr;
  }
  u64* front = reinterpret_cast<u64*>(base);
  front[0] = committed;
  front[1] = reserve;
  void* block = base + kMappingFront + kPrefixBytes;
  StampPrefix(block, kMappedArena, u32(committed - kMappingFront - kPrefixBytes));
  return block;  // fresh pages are zero, so zero-filling asks nothing more
}

inline u64* MappingFront(void* block) {
  return reinterpret_cast<u64*>(static_cast<u8*>(block) - kPrefixBytes - kMappingFront);
}

void* AllocateFromArena(SLThreadCache* cache, u32 size, u32 flags) {
  if (size >= kMappingThreshold) return MapDirect(size, flags);
  u64 usable = ArenaUsableFor(size);
  SLArena* arena = LockArenaForAllocation(cache);
  void* raw = arena->heap.Allocate(usable + kPrefixBytes);
  u32 index = arena->index;
  arena->lock.Unlock();
  if (!raw) return nullptr;
  void* block = static_cast<u8*>(raw) + kPrefixBytes;
  StampPrefix(block, index, u32(usable));
  if (flags & SL_NED_ZERO_MEMORY) std::memset(block, 0, usable);
  return block;
}

// Gives a block back to its arena (or the system) for good.
void ReleaseBlock(void* block, const char* complaint) {
  u32* prefix = PrefixOf(block);
  u32 arenaWord = prefix[2];
  if (arenaWord == kMappedArena) {
    u8* base = reinterpret_cast<u8*>(MappingFront(block));
    std::fill(prefix, prefix + 4, kDeadWord);
    if (!KeepMapping(base)) VirtualFree(base, 0, MEM_RELEASE);
    return;
  }
  SLArena* arena = ArenaOfWord(arenaWord, complaint);
  std::fill(prefix, prefix + 4, kDeadWord);
  arena->lock.Lock(CurrentThreadId());
  CheckMagic(arena);
  arena->heap.Free(prefix);
  arena->lock.Unlock();
}

// ---- thread caches ----------------------------------------------------------------

inline u32 BinAbove(u32 size) { return u32(std::bit_width(std::max<u32>(size, 16) - 1)) - 4; }
inline u32 BinBelow(u32 usable) { return std::min<u32>(u32(std::bit_width(usable)) - 5, kCacheBins - 1); }

inline u32 UsableOf(const void* block) { return PrefixOf(const_cast<void*>(block))[3]; }

SLCachedBlock* TakeNewest(SLThreadCache* cache, u32 bin, u32 size) {
  SLCacheBin& entry = cache->bins[bin];
  SLCachedBlock* block = entry.newest;
  if (!block || UsableOf(block) < size) return nullptr;
  entry.newest = block->older;
  if (entry.newest)
    entry.newest->newer = nullptr;
  else
    entry.oldest = nullptr;
  cache->bytesHeld -= UsableOf(block);
  return block;
}

void* TakeFromCache(SLThreadCache* cache, u32 size) {
  u32 bin = BinAbove(size);
  SLCachedBlock* block = TakeNewest(cache, bin, size);
  if (!block && bin + 1 < kCacheBins) block = TakeNewest(cache, bin + 1, size);
  if (block) ++cache->hits;
  return block;
}

void DropOldest(SLThreadCache* cache, SLCacheBin& entry) {
  SLCachedBlock* block = entry.oldest;
  entry.oldest = block->newer;
  if (entry.oldest)
    entry.oldest->older = nullptr;
  else
    entry.newest = nullptr;
  cache->bytesHeld -= UsableOf(block);
  ReleaseBlock(block, kForeignFree);
}

// Holds the cache near 1 MiB: blocks at least `limit` frees old go, oldest first; the
// limit halves while the cache is still too full.
void TrimCache(SLThreadCache* cache) {
  u32 limit = kCacheAgeLimit;
  for (;;) {
    for (SLCacheBin& entry : cache->bins)
      while (entry.oldest && cache->frees - entry.oldest->stamp >= limit) DropOldest(cache, entry);
    if (cache->bytesHeld < kCacheTrimBytes || limit == 0) break;
    limit >>= 1;
  }
}

bool GiveToCache(SLThreadCache* cache, void* block, u32 usable) {
  if (usable < kCacheMinUsable || usable > kCacheMaxUsable) return false;
  SLCacheBin& entry = cache->bins[BinBelow(usable)];
  if (entry.newest == block) {
    std::fprintf(stderr, kDoubleFree, block);
    std::fflush(stderr);
    std::abort();
  }
  SLCachedBlock* cached = static_cast<SLCachedBlock*>(block);
  cached->newer = nullptr;
  cached->older = entry.newest;
  cached->stamp = ++cache->frees;
  if (entry.newest)
    entry.newest->newer = cached;
  else
    entry.oldest = cached;
  entry.newest = cached;
  cache->bytesHeld += usable;
  if (cache->bytesHeld >= kCacheTrimBytes) TrimCache(cache);
  return true;
}

// The calling thread's cache, made on its first allocation when a slot is free.
SLThreadCache* CacheForAllocation() {
  if (t_cache || t_poolSlot != 0) return t_cache;
  SLNedPool& pool = g_systemPool;
  u32 self = CurrentThreadId();
  SLThreadCache* const taken = reinterpret_cast<SLThreadCache*>(alignof(SLThreadCache));
  u32 slot = kCacheSlots;
  pool.lock.Lock(self);
  for (u32 i = 0; i < kCacheSlots; ++i) {
    if (!pool.caches[i].load(std::memory_order_relaxed)) {
      pool.caches[i].store(taken, std::memory_order_relaxed);
      slot = i;
      break;
    }
  }
  pool.lock.Unlock();
  if (slot == kCacheSlots) {
    t_poolSlot = -1;
    return nullptr;
  }
  // The cache itself is a block of arena 0, made outside the pool lock.
  SLArena* arena = pool.arenas[0].load(std::memory_order_acquire);
  arena->lock.Lock(self);
  CheckMagic(arena);
  void* raw = arena->heap.Allocate(sizeof(SLThreadCache) + kPrefixBytes);
  arena->lock.Unlock();
  if (!raw) {
    pool.lock.Lock(self);
    pool.caches[slot].store(nullptr, std::memory_order_relaxed);
    pool.lock.Unlock();
    return nullptr;  // stays undecided: the next allocation tries again
  }
  void* block = static_cast<u8*>(raw) + kPrefixBytes;
  StampPrefix(block, 0, sizeof(SLThreadCache));
  SLThreadCache* cache = static_cast<SLThreadCache*>(block);
  std::memset(cache, 0, sizeof(SLThreadCache));
  cache->threadId = self;
  cache->slot = slot;
  cache->preferredArena = self % pool.arenaCount.load(std::memory_order_acquire);
  pool.lock.Lock(self);
  pool.caches[slot].store(cache, std::memory_order_relaxed);
  pool.lock.Unlock();
  t_cache = cache;
  t_poolSlot = long(slot) + 1;
  return cache;
}

void* AllocateBlock(u32 size, u32 flags) {
  EnsureSetUp();
  if (size < kMinRequest) size = kMinRequest;
  SLThreadCache* cache = CacheForAllocation();
  if (cache) {
    ++cache->mallocs;
    if (size <= kCacheLargest) {
      if (void* block = TakeFromCache(cache, size)) {
        if (flags & SL_NED_ZERO_MEMORY) std::memset(block, 0, size);
        return block;
      }
    }
  }
  return AllocateFromArena(cache, size, flags);
}

void FreeBlock(void* block, const char* complaint) {
  u32 usable = PrefixOf(block)[3];
  if (t_cache && GiveToCache(t_cache, block, usable)) return;
  ReleaseBlock(block, complaint);
}

void* MoveBlock(void* block, u32 usable, u32 size, u32 flags) {
  void* moved = AllocateBlock(size, flags);
  if (!moved) return nullptr;
  std::memcpy(moved, block, std::min(usable, size));
  FreeBlock(block, kForeignRealloc);
  return moved;
}

// A direct mapping changes size: it stays when the slack is small, grows or shrinks in
// its own reservation when it has one, else moves.
void* ResizeMapping(void* block, u32 size, u32 flags) {
  u32 usable = UsableOf(block);
  if (size < kMappedResizeMin) return MoveBlock(block, usable, size, flags);
  u64* front = MappingFront(block);
  u64 committed = front[0], reserve = front[1];
  u64 needed = RoundUp(u64(size) + kMappingExtra, g_params.mappingUnit);
  if (needed <= committed && size > usable) {
    // Growth into pages the mapping holds already (a kept mapping, or one that shrank
    // little): no system call. Pages beyond the usable size may hold old bytes.
    u32 grown = MappedUsable(needed);
    if (flags & SL_NED_ZERO_MEMORY) std::memset(static_cast<u8*>(block) + usable, 0, grown - usable);
    PrefixOf(block)[3] = grown;
    return block;
  }
  if (committed >= needed + kMappedKeepSlack && committed - needed <= 2 * g_params.granularity)
    return block;
  if (reserve && needed <= reserve) {
    u8* base = reinterpret_cast<u8*>(front);
    if (needed > committed) {
      if (!VirtualAlloc(base + committed, needed - committed, MEM_COMMIT, PAGE_READWRITE)) return nullptr;
    } else {
      VirtualFree(base + needed, committed - needed, MEM_DECOMMIT);
    }
    front[0] = needed;
    PrefixOf(block)[3] = u32(std::min<u64>(needed - kMappingFront - kPrefixBytes, 0xFFFFFFFFu));
    return block;
  }
  // Past its reservation: a new reservation of the size this request asks for, with the
  // growth committed, takes the committed pages over from the old one without a copy
  // (the platform moves them). Where that cannot be done the block is copied.
  if (u64 moveReserve = ReserveFor(needed, flags); moveReserve && needed > committed &&
                                                   needed - kMappingFront - kPrefixBytes <= 0xFFFFFFFFu) {
    auto* base = static_cast<u8*>(VirtualAlloc(nullptr, moveReserve, MEM_RESERVE | MEM_TOP_DOWN, PAGE_READWRITE));
    if (base) {
      if (VirtualAlloc(base + committed, needed - committed, MEM_COMMIT, PAGE_READWRITE) &&
          SLPlatformMovePages(front, committed, base)) {
        u64* moved = reinterpret_cast<u64*>(base);
        moved[0] = needed;
        moved[1] = moveReserve;
        void* grown = base + kMappingFront + kPrefixBytes;
        PrefixOf(grown)[3] = u32(needed - kMappingFront - kPrefixBytes);
        return grown;
      }
      VirtualFree(base, 0, MEM_RELEASE);
    }
  }
  return MoveBlock(block, usable, size, flags);
}

void* ResizeInArena(void* block, u32 size, u32 flags) {
  u32* prefix = PrefixOf(block);
  u32 usable = prefix[3];
  if (prefix[2] == kMappedArena) return ResizeMapping(block, size, flags);
  SLArena* arena = ArenaOfWord(prefix[2], kForeignRealloc);
  u64 newUsable = ArenaUsableFor(size);
  if (size >= kMappingThreshold) {
    // A block growing past the mapping threshold stays in its arena while it can grow
    // in place (as a buffer appended to does), and moves to a mapping of its own when
    // it cannot or grows beyond what a segment reserves.
    bool grown = false;
    if (newUsable + kPrefixBytes <= CMXArenaHeap::kSegmentReserve / 2) {
      arena->lock.Lock(CurrentThreadId());
      CheckMagic(arena);
      grown = arena->heap.GrowInPlace(prefix, newUsable + kPrefixBytes);
      arena->lock.Unlock();
    }
    if (!grown) return MoveBlock(block, usable, size, flags);
    PrefixOf(block)[3] = u32(newUsable);
    if ((flags & SL_NED_ZERO_MEMORY) && newUsable > usable)
      std::memset(static_cast<u8*>(block) + usable, 0, newUsable - usable);
    return block;
  }
  arena->lock.Lock(CurrentThreadId());
  CheckMagic(arena);
  void* raw = arena->heap.Reallocate(prefix, newUsable + kPrefixBytes);
  arena->lock.Unlock();
  if (!raw) return nullptr;
  void* moved = static_cast<u8*>(raw) + kPrefixBytes;
  PrefixOf(moved)[3] = u32(newUsable);
  if ((flags & SL_NED_ZERO_MEMORY) && newUsable > usable) std::memset(static_cast<u8*>(moved) + usable, 0, newUsable - usable);
  return moved;
}

}  // namespace

void* nedmalloc(u32 size) { return AllocateBlock(size, 0); }

void nedpfree(SLNedPool*, void* block) {
  if (!block) return;
  if (PrefixOf(block)[1] != kLiveWord) Fail(kForeignFree);
  FreeBlock(block, kForeignFree);
}

void* nedprealloc(SLNedPool*, void* block, u32 size, u32 flags) {
  if (!block) return AllocateBlock(size, flags);
  u32* prefix = PrefixOf(block);
  if (prefix[1] != kLiveWord) Fail(kForeignRealloc);
  u32 usable = prefix[3];
  if (size <= usable && usable - size < kShrinkKeep) return block;
  if (size < kMinRequest) size = kMinRequest;
  if (t_cache && size <= kCacheLargest && (flags & ~SL_NED_ZERO_MEMORY) == 0) {
    void* moved = MoveBlock(block, usable, size, flags);
    if (moved && (flags & SL_NED_ZERO_MEMORY) && size > usable)
      std::memset(static_cast<u8*>(moved) + usable, 0, size - usable);
    return moved;
  }
  return ResizeInArena(block, size, flags);
}

u32 nedblksize(void* block) {
  if (!block || PrefixOf(block)[1] != kLiveWord) return 0;
  return PrefixOf(block)[3];
}

u32 SLPoolTrim() {
  if (!g_ready.load(std::memory_order_acquire)) return 0;
  DropKeptMappings();
  u32 released = 0;
  u32 self = CurrentThreadId();
  u32 count = g_systemPool.arenaCount.load(std::memory_order_acquire);
  for (u32 i = 0; i < count; ++i) {
    SLArena* arena = g_systemPool.arenas[i].load(std::memory_order_acquire);
    arena->lock.Lock(self);
    CheckMagic(arena);
    if (arena->heap.Trim() > 0) ++released;
    arena->lock.Unlock();
  }
  return released;
}

void SLPoolThreadCleanup() {
  SLThreadCache* cache = t_cache;
  if (!cache) {
    t_poolSlot = -1;
    return;
  }
  for (SLCacheBin& entry : cache->bins)
    while (entry.oldest) DropOldest(cache, entry);
  u32 preferred = cache->preferredArena;
  u32 slot = cache->slot;
  t_cache = nullptr;
  t_poolSlot = -long(preferred) - 1;
  SLNedPool& pool = g_systemPool;
  pool.lock.Lock(CurrentThreadId());
  pool.caches[slot].store(nullptr, std::memory_order_relaxed);
  pool.lock.Unlock();
  ReleaseBlock(cache, kForeignFree);
}

namespace SLInternals {

u32 SLPoolCacheSlotsInUse() {
  if (!g_ready.load(std::memory_order_acquire)) return 0;
  u32 inUse = 0;
  g_systemPool.lock.Lock(CurrentThreadId());
  for (auto& slot : g_systemPool.caches)
    if (slot.load(std::memory_order_relaxed)) ++inUse;
  g_systemPool.lock.Unlock();
  return inUse;
}

bool SLPoolThreadHasCache() { return t_cache != nullptr; }

u64 SLPoolThreadCacheBytes() { return t_cache ? t_cache->bytesHeld : 0; }

bool SLPoolIsDirectMapping(void* block) {
  return block && PrefixOf(block)[1] == kLiveWord && PrefixOf(block)[2] == kMappedArena;
}

}  // namespace SLInternals

#endif
