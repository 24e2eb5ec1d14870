// The framework's spin locks beside std::mutex: uncontended lock/unlock pairs on one
// thread, and contended increments of one counter from several threads. Prints the
// time ratio (ours / std) of each pair after the table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "foundation/SLLibrary.h"
#include "foundation/SLSync.h"
#include "bench/BenchRatio.h"

namespace {

constexpr int kContendedThreads = 4;

SLFastLock g_fastLock;
SLRecursiveFastLock g_recursiveLock;
std::mutex g_stdMutex;
std::recursive_mutex g_stdRecursiveMutex;
long g_counter = 0;

void BM_FastMutex(benchmark::State& state) {
  g_fastLock.sleepFlag = u32(state.range(0));
  for (auto _ : state) {
    CSLAutoFastMutex guard(&g_fastLock);
    benchmark::DoNotOptimize(++g_counter);
  }
}

void BM_StdMutex(benchmark::State& state) {
  for (auto _ : state) {
    std::lock_guard<std::mutex> guard(g_stdMutex);
    benchmark::DoNotOptimize(++g_counter);
  }
}

void BM_FastRecursiveMutex(benchmark::State& state) {
  g_recursiveLock.sleepFlag = u32(state.range(0));
  for (auto _ : state) {
    CSLAutoFastRecursiveMutex guard(&g_recursiveLock);
    benchmark::DoNotOptimize(++g_counter);
  }
}

void BM_StdRecursiveMutex(benchmark::State& state) {
  for (auto _ : state) {
    std::lock_guard<std::recursive_mutex> guard(g_stdRecursiveMutex);
    benchmark::DoNotOptimize(++g_counter);
  }
}

void BM_CriticalSection(benchmark::State& state) {
  static CSLCriticalSection section;
  for (auto _ : state) {
    SLCriticalSectionLock guard(&section);
    benchmark::DoNotOptimize(++g_counter);
  }
}

// range(0) is the sleep flag: 1 as on a machine with several processors (waiters
// sleep a millisecond), 0 as on one processor (waiters yield).
BENCHMARK(BM_FastMutex)->Arg(1)->Name("uncontended/fast_mutex");
BENCHMARK(BM_StdMutex)->Name("uncontended/std_mutex");
BENCHMARK(BM_FastRecursiveMutex)->Arg(1)->Name("uncontended/fast_recursive_mutex");
BENCHMARK(BM_StdRecursiveMutex)->Name("uncontended/std_recursive_mutex");
BENCHMARK(BM_CriticalSection)->Name("uncontended/critical_section");
BENCHMARK(BM_FastMutex)->Arg(1)->Threads(kContendedThreads)->UseRealTime()->Name("contended/fast_mutex_sleeping");
BENCHMARK(BM_FastMutex)->Arg(0)->Threads(kContendedThreads)->UseRealTime()->Name("contended/fast_mutex_yielding");
BENCHMARK(BM_StdMutex)->Threads(kContendedThreads)->UseRealTime()->Name("contended/std_mutex");
BENCHMARK(BM_CriticalSection)->Threads(kContendedThreads)->UseRealTime()->Name("contended/critical_section");

// Keeps each run's time per iteration so that the pairs can be compared at the end.

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\ntime ratios (ours / std; below 1 means ours is faster):\n");
  reporter.PrintRatio("uncontended/fast_mutex", "uncontended/std_mutex");
  reporter.PrintRatio("uncontended/fast_recursive_mutex", "uncontended/std_recursive_mutex");
  reporter.PrintRatio("uncontended/critical_section", "uncontended/std_recursive_mutex");
  reporter.PrintRatio("contended/fast_mutex_sleeping", "contended/std_mutex");
  reporter.PrintRatio("contended/fast_mutex_yielding", "contended/std_mutex");
  reporter.PrintRatio("contended/critical_section", "contended/std_mutex");
  benchmark::Shutdown();
  return 0;
}
