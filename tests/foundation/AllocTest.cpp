#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "foundation/SLMemory.h"
#include "foundation/SLPooledAlloc.h"
#include "foundation/SLPooledArena.h"
#include "foundation/SLThread.h"

namespace {

#ifdef SL_SYSTEM_ALLOCATOR
#define SKIP_WITH_SYSTEM_ALLOCATOR() GTEST_SKIP() << "the build routes blocks to the C library"
#else
#define SKIP_WITH_SYSTEM_ALLOCATOR() (void)0
#endif

// Every byte of a block is a function of its tag and position, so a block that is
// overwritten, handed out twice or moved without its contents is seen.
void Fill(void* block, u32 size, u32 tag) {
  u8* bytes = static_cast<u8*>(block);
  for (u32 i = 0; i < size; ++i) bytes[i] = u8((tag * 131u) ^ (i * 7u) ^ (i >> 8));
}

bool Holds(const void* block, u32 size, u32 tag) {
  const u8* bytes = static_cast<const u8*>(block);
  for (u32 i = 0; i < size; ++i)
    if (bytes[i] != u8((tag * 131u) ^ (i * 7u) ^ (i >> 8))) return false;
  return true;
}

struct Parcel {
  void* block;
  u32 size;
  u32 tag;
};

u32 DrawSize(std::mt19937& rng) {
  u32 pick = rng() % 1000;
  if (pick < 900) return rng() % 600;            // the common small blocks
  if (pick < 985) return 600 + rng() % 20000;     // cache-sized and arena blocks
  if (pick < 998) return 20000 + rng() % 200000;  // large arena blocks
  return 0x40000 + rng() % 300000;                // direct mappings
}

}  // namespace

// Eight threads allocate, resize and free; a third of the blocks are handed to another
// thread, which checks and frees them there (the block then lands in that thread's
// cache or goes back to the arena named in its header).
TEST(PooledAlloc, CrossThreadStressKeepsEveryBlock) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 30000;
  std::mutex inboxLock[kThreads];
  std::vector<Parcel> inbox[kThreads];
  std::atomic<int> bad{0};
  std::atomic<int> finished{0};
  auto checkAndFree = [&](Parcel parcel) {
    if (!Holds(parcel.block, parcel.size, parcel.tag) || nedblksize(parcel.block) < parcel.size) ++bad;
    nedpfree(nullptr, parcel.block);
  };
  auto worker = [&](int self) {
    std::mt19937 rng(1234 + self);
    std::vector<Parcel> mine;
    for (int round = 0; round < kRounds; ++round) {
      u32 size = DrawSize(rng);
      u32 tag = u32(self * kRounds + round);
      void* block = (rng() & 1) ? nedmalloc(size) : nedprealloc(nullptr, nullptr, size);
      if (!block) {
        ++bad;
        continue;
      }
      Fill(block, size, tag);
      Parcel parcel{block, size, tag};
      u32 action = rng() % 3;
      if (action == 0) {
        int other = int(rng() % kThreads);
        std::lock_guard<std::mutex> guard(inboxLock[other]);
        inbox[other].push_back(parcel);
      } else {
        mine.push_back(parcel);
      }
      if (mine.size() > 200 || (rng() % 4 == 0 && !mine.empty())) {
        size_t at = rng() % mine.size();
        Parcel& victim = mine[at];
        if (rng() % 3 == 0) {
          // Resize: the common prefix must survive, wherever the block goes.
          u32 newSize = DrawSize(rng);
          u32 kept = std::min(victim.size, newSize);
          if (!Holds(victim.block, victim.size, victim.tag)) ++bad;
          void* moved = nedprealloc(nullptr, victim.block, newSize);
          if (!moved || !Holds(moved, kept, victim.tag)) ++bad;
          if (moved) {
            Fill(moved, newSize, victim.tag);
            victim.block = moved;
            victim.size = newSize;
          }
        } else {
          checkAndFree(victim);
          victim = mine.back();
          mine.pop_back();
        }
      }
      if (round % 64 == 0) {
        std::vector<Parcel> received;
        {
          std::lock_guard<std::mutex> guard(inboxLock[self]);
          received.swap(inbox[self]);
        }
        for (const Parcel& parcel : received) checkAndFree(parcel);
      }
    }
    for (const Parcel& parcel : mine) checkAndFree(parcel);
    ++finished;
    while (finished.load() < kThreads) std::this_thread::yield();
    std::lock_guard<std::mutex> guard(inboxLock[self]);
    for (const Parcel& parcel : inbox[self]) checkAndFree(parcel);
    inbox[self].clear();
    SLPoolThreadCleanup();
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(worker, i);
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(PooledAlloc, ReallocKeepsContentsAcrossSizeClasses) {
  // Grows a block through every regime (cache size, arena, direct mapping) and back.
  const u32 sizes[] = {20, 100, 1000, 5000, 8192, 9000, 70000, 200000, 300000, 1000000, 260000, 100000, 3000, 30};
  for (u32 flags : {0u, SL_NED_FRAMEWORK_REALLOC}) {
    void* block = nedprealloc(nullptr, nullptr, 10, flags);
    ASSERT_NE(block, nullptr);
    Fill(block, 10, 77);
    u32 held = 10;
    for (u32 size : sizes) {
      block = nedprealloc(nullptr, block, size, flags);
      ASSERT_NE(block, nullptr) << size;
      ASSERT_TRUE(Holds(block, std::min(held, size), 77)) << "flags " << flags << " size " << size;
      ASSERT_GE(nedblksize(block), size);
      Fill(block, size, 77);
      held = size;
    }
    nedpfree(nullptr, block);
  }
}

TEST(PooledAlloc, SizesBeyondThirtyTwoBitsFail) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  EXPECT_EQ(nedmalloc(0xFFFFFFFFu), nullptr);
  void* block = nedmalloc(100);
  Fill(block, 100, 8);
  EXPECT_EQ(nedprealloc(nullptr, block, 0xFFFFFFFFu), nullptr);
  EXPECT_TRUE(Holds(block, 100, 8));  // a failed resize leaves the block as it was
  nedpfree(nullptr, block);
}

TEST(PooledAlloc, FrameworkReallocGrowsLargeBlockInPlace) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  const u32 start = 300 * 1024;
  SLPoolTrim();  // a fresh mapping, not one kept from an earlier test with a larger reservation
  void* block = nedprealloc(nullptr, nullptr, start);  // as the framework's realloc makes it
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(SLInternals::SLPoolIsDirectMapping(block));
  Fill(block, start, 5);
  u32 held = start;
  for (u32 size : {start * 2, start * 4, start * 8 - 64 * 1024, start * 8}) {
    void* grown = nedprealloc(nullptr, block, size);
    ASSERT_EQ(grown, block) << "no copy up to eight times the size: " << size;
    ASSERT_TRUE(Holds(block, held, 5));
    Fill(block, size, 5);
    held = size;
  }
  // Past its reservation the block has to move, contents and all.
  void* moved = nedprealloc(nullptr, block, start * 10);
  ASSERT_NE(moved, nullptr);
  EXPECT_NE(moved, block);
  EXPECT_TRUE(Holds(moved, held, 5));
  nedpfree(nullptr, moved);
}

// A freed mapping is kept and handed out again: a zero-filling request reads zeros, also
// where it grows into the kept pages beyond its usable size, which hold the old bytes.
TEST(PooledAlloc, KeptMappingComesBackZeroedWhereAsked) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  SLPoolTrim();
  void* first = nedmalloc(1 << 20);
  ASSERT_NE(first, nullptr);
  std::memset(first, 0xAB, 1 << 20);
  nedpfree(nullptr, first);
  auto zeros = [](const void* block, u32 size) {
    const u8* bytes = static_cast<const u8*>(block);
    return std::all_of(bytes, bytes + size, [](u8 b) { return b == 0; });
  };
  void* again = nedprealloc(nullptr, nullptr, 600000, SL_NED_ZERO_MEMORY);
  EXPECT_EQ(again, first);
  EXPECT_TRUE(zeros(again, 600000));
  void* grown = nedprealloc(nullptr, again, 1000000, SL_NED_ZERO_MEMORY);
  EXPECT_EQ(grown, again);  // no system call: the pages are there
  EXPECT_TRUE(zeros(grown, 1000000));
  nedpfree(nullptr, grown);
}

// Growth to 64 MiB keeps every byte on each path a block takes: arena blocks, a direct
// mapping growing in its reservation, pages handed to a larger reservation past it (the
// framework's realloc), copies (a realloc that reserves nothing), and shrinks between.
TEST(PooledAlloc, GrowthTo64MiBKeepsContentOnEveryPath) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  for (u32 flags : {SL_NED_FRAMEWORK_REALLOC, 0u}) {
    void* block = nullptr;
    u32 held = 0;
    u32 tag = 40 + flags;
    for (u32 size = 1000; size <= (64u << 20); size += size / 2 + 4096) {
      void* grown = nedprealloc(nullptr, block, size, flags);
      ASSERT_NE(grown, nullptr) << size;
      ASSERT_GE(nedblksize(grown), size);
      ASSERT_TRUE(Holds(grown, held, tag)) << flags << " " << size;
      if (size > (1u << 20)) {  // a little smaller, then the size again: the content stays
        void* shrunk = nedprealloc(nullptr, grown, size - size / 8, flags);
        ASSERT_NE(shrunk, nullptr);
        grown = nedprealloc(nullptr, shrunk, size, flags);
        ASSERT_NE(grown, nullptr);
        ASSERT_TRUE(Holds(grown, std::min(held, size - size / 8), tag)) << flags << " " << size;
      }
      Fill(grown, size, tag);
      block = grown;
      held = size;
    }
    nedpfree(nullptr, block);
  }
}

TEST(PooledAlloc, FrameworkThreadEndGivesItsCacheBack) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  const u32 before = SLInternals::SLPoolCacheSlotsInUse();
  static std::atomic<bool> hadCache{false};
  CSLWorkerThread worker([](CSLWorkerThread*, std::uintptr_t) -> u32 {
    void* block = SLAlloc(100);
    hadCache = SLInternals::SLPoolThreadHasCache();
    SLFree(block);
    return 0;
  });
  ASSERT_TRUE(worker.Start());
  EXPECT_TRUE(worker.Stop(10000));
  EXPECT_TRUE(hadCache.load());
  EXPECT_EQ(SLInternals::SLPoolCacheSlotsInUse(), before);
}

TEST(PooledAlloc, ThreadsBeyondTheSlotsAllocateWithoutCache) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  nedpfree(nullptr, nedmalloc(8));  // this thread's cache exists before counting
  const u32 before = SLInternals::SLPoolCacheSlotsInUse();
  constexpr int kThreads = 300;
  std::barrier allAllocated(kThreads + 1);
  std::barrier counted(kThreads + 1);
  std::atomic<int> withCache{0}, blocksGood{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      void* block = nedmalloc(200 + i);
      if (block) {
        Fill(block, 200 + i, u32(i));
        if (SLInternals::SLPoolThreadHasCache()) ++withCache;
      }
      allAllocated.arrive_and_wait();
      counted.arrive_and_wait();
      if (block && Holds(block, 200 + i, u32(i))) ++blocksGood;
      nedpfree(nullptr, block);
      SLPoolThreadCleanup();
    });
  allAllocated.arrive_and_wait();
  EXPECT_EQ(SLInternals::SLPoolCacheSlotsInUse(), 256u);
  counted.arrive_and_wait();
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(withCache.load(), int(256 - before));
  EXPECT_EQ(blocksGood.load(), kThreads);
  EXPECT_EQ(SLInternals::SLPoolCacheSlotsInUse(), before);
}

// Random allocations, frees and resizes straight on one arena heap: every block keeps
// its contents, and a walk over all boundary tags and bins agrees after each step batch.
TEST(ArenaHeap, RandomWorkKeepsBlocksAndTags) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  SLInternals::CMXArenaHeap heap;
  std::mt19937 rng(99);
  std::vector<Parcel> live;
  auto size = [&] { return rng() % 10 ? 1 + rng() % 700 : 1 + rng() % 150000; };
  for (int step = 0; step < 40000; ++step) {
    u32 action = rng() % 10;
    if (action < 5 || live.empty()) {
      u32 bytes = size();
      void* block = heap.Allocate(bytes);
      ASSERT_NE(block, nullptr);
      ASSERT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
      Fill(block, bytes, u32(step));
      live.push_back({block, bytes, u32(step)});
    } else {
      size_t at = rng() % live.size();
      Parcel& parcel = live[at];
      ASSERT_TRUE(Holds(parcel.block, parcel.size, parcel.tag)) << "step " << step;
      if (action < 8) {
        heap.Free(parcel.block);
        parcel = live.back();
        live.pop_back();
      } else {
        u32 bytes = size();
        void* moved = heap.Reallocate(parcel.block, bytes);
        ASSERT_NE(moved, nullptr);
        ASSERT_TRUE(Holds(moved, std::min(bytes, parcel.size), parcel.tag)) << "step " << step;
        Fill(moved, bytes, parcel.tag);
        parcel.block = moved;
        parcel.size = bytes;
      }
    }
    if (step % 500 == 0) {
      ASSERT_TRUE(heap.Verify()) << "step " << step;
    }
  }
  EXPECT_LE(heap.Footprint(), heap.PeakFootprint());
  for (const Parcel& parcel : live) {
    ASSERT_TRUE(Holds(parcel.block, parcel.size, parcel.tag));
    heap.Free(parcel.block);
  }
  EXPECT_TRUE(heap.Verify());
  heap.Trim();
  EXPECT_EQ(heap.Footprint(), 0u);
  EXPECT_TRUE(heap.Verify());
}

TEST(ArenaHeap, TrimGivesBackOnlyWhollyFreeSegments) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  using Heap = SLInternals::CMXArenaHeap;
  Heap heap;
  std::vector<void*> blocks;
  for (int i = 0; i < 60; ++i) blocks.push_back(heap.Allocate(100000));
  const size_t grown = heap.Footprint();
  EXPECT_GE(grown, size_t(6000000));
  // A steady pattern keeps what it used: freeing and allocating the same blocks again
  // maps nothing new.
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 1; i < blocks.size(); ++i) heap.Free(blocks[i]);
    EXPECT_EQ(heap.Footprint(), grown);
    for (size_t i = 1; i < blocks.size(); ++i) blocks[i] = heap.Allocate(100000);
    EXPECT_EQ(heap.Footprint(), grown);
    EXPECT_EQ(heap.PeakFootprint(), grown);
  }
  for (size_t i = 1; i < blocks.size(); ++i) heap.Free(blocks[i]);
  // A trim gives the free segments back, except the one that still holds the first block.
  EXPECT_GT(heap.Trim(), 0u);
  EXPECT_EQ(heap.Footprint(), Heap::kGrowthUnit);
  Fill(blocks[0], 100000, 3);
  EXPECT_TRUE(Holds(blocks[0], 100000, 3));
  EXPECT_EQ(heap.Trim(), 0u);
  heap.Free(blocks[0]);
  EXPECT_EQ(heap.Trim(), Heap::kGrowthUnit);
  EXPECT_TRUE(heap.Verify());

  // What is kept after a burst is capped: beyond the cap, segments go back on free.
  blocks.clear();
  for (size_t used = 0; used < Heap::kKeepLimit + 16 * Heap::kGrowthUnit; used += 500000)
    blocks.push_back(heap.Allocate(500000));
  for (void* block : blocks) heap.Free(block);
  EXPECT_LE(heap.Footprint(), Heap::kKeepLimit + Heap::kTrimThreshold + Heap::kGrowthUnit);
  EXPECT_TRUE(heap.Verify());
  heap.Trim();
  EXPECT_EQ(heap.Footprint(), 0u);
}

TEST(PooledAllocDeathTest, DoubleFreeInTheCacheAborts) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        void* block = nedmalloc(48);
        nedpfree(nullptr, block);
        nedpfree(nullptr, block);
      },
      "nedmalloc: Attempt to free already freed memory block 0x[0-9a-f]+ - aborting!");
}

TEST(PooledAllocDeathTest, ForeignBlocksAbort) {
  SKIP_WITH_SYSTEM_ALLOCATOR();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  u32 words[16] = {};
  EXPECT_DEATH(nedpfree(nullptr, &words[8]),
               "nedmalloc: nedpfree\\(\\) called with a block not created by nedmalloc!");
  EXPECT_DEATH(nedprealloc(nullptr, &words[8], 100),
               "nedmalloc: nedprealloc\\(\\) called with a block not created by nedmalloc!");
  // A block that went back to its arena has lost its header: a second free is foreign.
  EXPECT_DEATH(
      {
        void* block = nedmalloc(20000);
        nedpfree(nullptr, block);
        nedpfree(nullptr, block);
      },
      "nedmalloc: nedpfree\\(\\) called with a block not created by nedmalloc!");
}
