// The pooled allocator beside the C library's malloc and mimalloc on the same patterns:
// small blocks on one thread and on eight, and a block that grows by realloc.
//
// mimalloc is loaded with dlopen rather than linked: Debian's libmimalloc.so defines
// malloc itself, so linking it would silently turn the "system malloc" rows (and
// anything else in the process that calls malloc) into mimalloc.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "foundation/SLPooledAlloc.h"

namespace {

struct MimallocEntries {
  void* (*malloc)(size_t) = nullptr;
  void (*free)(void*) = nullptr;
  void* (*realloc)(void*, size_t) = nullptr;
};

const MimallocEntries& Mimalloc() {
  static MimallocEntries entries = [] {
    MimallocEntries found;
    if (void* library = dlopen("libmimalloc.so.2", RTLD_NOW | RTLD_LOCAL)) {
      found.malloc = reinterpret_cast<void* (*)(size_t)>(dlsym(library, "mi_malloc"));
      found.free = reinterpret_cast<void (*)(void*)>(dlsym(library, "mi_free"));
      found.realloc = reinterpret_cast<void* (*)(void*, size_t)>(dlsym(library, "mi_realloc"));
    }
    return found;
  }();
  return entries;
}

struct Pooled {
  static void* Alloc(u32 size) { return nedmalloc(size); }
  static void Free(void* block) { nedpfree(nullptr, block); }
  static void* Realloc(void* block, u32 size) { return nedprealloc(nullptr, block, size); }
  static bool Ready() { return true; }
  // A framework thread gives its cache back when it ends; the benchmark's own threads
  // end after each run (the main thread keeps its cache).
  static void ThreadDone(const benchmark::State& state) {
    if (state.threads() > 1) SLPoolThreadCleanup();
  }
};

struct System {
  static void* Alloc(u32 size) { return std::malloc(size); }
  static void Free(void* block) { std::free(block); }
  static void* Realloc(void* block, u32 size) { return std::realloc(block, size); }
  static bool Ready() { return true; }
  static void ThreadDone(const benchmark::State&) {}
};

struct Mi {
  static void* Alloc(u32 size) { return Mimalloc().malloc(size); }
  static void Free(void* block) { Mimalloc().free(block); }
  static void* Realloc(void* block, u32 size) { return Mimalloc().realloc(block, size); }
  static bool Ready() { return Mimalloc().malloc != nullptr; }
  static void ThreadDone(const benchmark::State&) {}
};

// Warmed runs make one untimed pass of their pattern first, so every allocator starts a
// case in the state that pattern leaves (what ran before in the process no longer
// matters). `--cold` leaves the pass out: the figures of a first use.
bool g_cold = false;
bool Warm() { return !g_cold; }

std::vector<u32> SmallSizes(u32 count, u32 seed) {
  std::mt19937 rng(seed);
  std::vector<u32> sizes(count);
  for (u32& size : sizes) {
    // Mostly tiny objects and strings, now and then a buffer of a few KiB.
    u32 pick = rng() % 100;
    size = pick < 80 ? 8 + rng() % 120 : pick < 97 ? 128 + rng() % 900 : 1024 + rng() % 7000;
  }
  return sizes;
}

// Allocates a working set of small blocks, touches each, frees them in a shuffled order.
template <class A>
void SmallBlocks(benchmark::State& state) {
  if (!A::Ready()) {
    state.SkipWithError("not available");
    return;
  }
  const u32 count = 256;
  std::vector<u32> sizes = SmallSizes(count, 77 + state.thread_index());
  std::vector<u32> order(count);
  for (u32 i = 0; i < count; ++i) order[i] = (i * 97) % count;
  std::vector<void*> blocks(count);
  auto pass = [&] {
    for (u32 i = 0; i < count; ++i) {
      blocks[i] = A::Alloc(sizes[i]);
      static_cast<char*>(blocks[i])[0] = char(i);
    }
    for (u32 i : order) A::Free(blocks[i]);
    benchmark::ClobberMemory();
  };
  if (Warm()) pass();
  for (auto _ : state) pass();
  state.SetItemsProcessed(state.iterations() * count);
  A::ThreadDone(state);
}

// Blocks too large for the thread caches (8 KiB to 128 KiB): every call reaches an arena.
template <class A>
void MediumBlocks(benchmark::State& state) {
  if (!A::Ready()) {
    state.SkipWithError("not available");
    return;
  }
  const u32 count = 64;
  std::mt19937 rng(5 + state.thread_index());
  std::vector<u32> sizes(count);
  for (u32& size : sizes) size = 8200 + rng() % 120000;
  std::vector<void*> blocks(count);
  auto pass = [&] {
    for (u32 i = 0; i < count; ++i) {
      blocks[i] = A::Alloc(sizes[i]);
      static_cast<char*>(blocks[i])[0] = char(i);
    }
    for (u32 i = 0; i < count; ++i) A::Free(blocks[(i * 37) % count]);
    benchmark::ClobberMemory();
  };
  if (Warm()) pass();
  for (auto _ : state) pass();
  state.SetItemsProcessed(state.iterations() * count);
  A::ThreadDone(state);
}

// A buffer that grows as text or an array does when appended to, by a quarter each
// time: up to 64 KiB (arena blocks only), 4 MiB or 64 MiB (into direct mappings).
template <class A>
void ReallocGrowth(benchmark::State& state) {
  if (!A::Ready()) {
    state.SkipWithError("not available");
    return;
  }
  const u32 largest = u32(state.range(0));
  for (auto _ : state) {
    void* block = nullptr;
    for (u32 size = 64; size <= largest; size += size / 4 + 64) {
      block = A::Realloc(block, size);
      static_cast<char*>(block)[size - 1] = 1;
    }
    A::Free(block);
  }
  A::ThreadDone(state);
}


}  // namespace

BENCHMARK_TEMPLATE(SmallBlocks, Pooled)->Name("small/1thread/pooled");
BENCHMARK_TEMPLATE(SmallBlocks, System)->Name("small/1thread/system");
BENCHMARK_TEMPLATE(SmallBlocks, Mi)->Name("small/1thread/mimalloc");
BENCHMARK_TEMPLATE(SmallBlocks, Pooled)->Name("small/8threads/pooled")->Threads(8)->UseRealTime();
BENCHMARK_TEMPLATE(SmallBlocks, System)->Name("small/8threads/system")->Threads(8)->UseRealTime();
BENCHMARK_TEMPLATE(SmallBlocks, Mi)->Name("small/8threads/mimalloc")->Threads(8)->UseRealTime();
BENCHMARK_TEMPLATE(MediumBlocks, Pooled)->Name("medium/1thread/pooled");
BENCHMARK_TEMPLATE(MediumBlocks, System)->Name("medium/1thread/system");
BENCHMARK_TEMPLATE(MediumBlocks, Mi)->Name("medium/1thread/mimalloc");
BENCHMARK_TEMPLATE(MediumBlocks, Pooled)->Name("medium/8threads/pooled")->Threads(8)->UseRealTime();
BENCHMARK_TEMPLATE(MediumBlocks, System)->Name("medium/8threads/system")->Threads(8)->UseRealTime();
BENCHMARK_TEMPLATE(MediumBlocks, Mi)->Name("medium/8threads/mimalloc")->Threads(8)->UseRealTime();
BENCHMARK_TEMPLATE(ReallocGrowth, Pooled)->Name("realloc64k/pooled")->Arg(64 << 10);
BENCHMARK_TEMPLATE(ReallocGrowth, System)->Name("realloc64k/system")->Arg(64 << 10);
BENCHMARK_TEMPLATE(ReallocGrowth, Mi)->Name("realloc64k/mimalloc")->Arg(64 << 10);
BENCHMARK_TEMPLATE(ReallocGrowth, Pooled)->Name("realloc4m/pooled")->Arg(4 << 20);
BENCHMARK_TEMPLATE(ReallocGrowth, System)->Name("realloc4m/system")->Arg(4 << 20);
BENCHMARK_TEMPLATE(ReallocGrowth, Mi)->Name("realloc4m/mimalloc")->Arg(4 << 20);
BENCHMARK_TEMPLATE(ReallocGrowth, Pooled)->Name("realloc64m/pooled")->Arg(64 << 20);
BENCHMARK_TEMPLATE(ReallocGrowth, System)->Name("realloc64m/system")->Arg(64 << 20);
BENCHMARK_TEMPLATE(ReallocGrowth, Mi)->Name("realloc64m/mimalloc")->Arg(64 << 20);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--cold") {
      g_cold = true;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\npooled allocator / peer, %s (below 1: pooled is faster)\n",
              g_cold ? "cold: no warm-up pass" : "each case warmed by one pass of its pattern");
  // Names are "<case>/<allocator>" with the run's own suffixes (arguments, threads) after.
  const char* suffixes[] = {"", "/real_time/threads:8"};
  for (const char* pattern : {"small/1thread", "small/8threads", "medium/1thread", "medium/8threads"})
    for (const char* peer : {"system", "mimalloc"}) {
      const char* suffix = suffixes[std::string(pattern).find("8threads") != std::string::npos];
      reporter.PrintRatio(std::string(pattern) + "/pooled" + suffix, std::string(pattern) + "/" + peer + suffix);
    }
  for (const char* pattern : {"realloc64k", "realloc4m", "realloc64m"})
    for (const char* peer : {"system", "mimalloc"}) reporter.PrintRatio(std::string(pattern) + "/pooled", std::string(pattern) + "/" + peer);
  benchmark::Shutdown();
  return 0;
}
