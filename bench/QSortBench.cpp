// SLQSort beside std::sort and the C library's qsort on the same random input (ints
// with many duplicates, and 24-byte records). Prints the time ratios after the table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLMemory.h"
#include "bench/BenchRatio.h"

namespace {

struct Record {
  int key;
  int payload[5];
};

int CompareIntsCtx(const void* a, const void* b, void*) {
  int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}
int CompareInts(const void* a, const void* b) { return CompareIntsCtx(a, b, nullptr); }

template <class T>
std::vector<T> MakeInput(std::size_t count) {
  std::mt19937 random(1234);
  std::vector<T> values(count);
  for (T& v : values) reinterpret_cast<int&>(v) = int(random() % (count / 4 + 1));
  return values;
}

template <class T>
void BM_SLQSort(benchmark::State& state) {
  const std::vector<T> input = MakeInput<T>(std::size_t(state.range(0)));
  std::vector<T> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    SLQSort(work.data(), u32(work.size()), sizeof(T), &CompareIntsCtx, nullptr);
    benchmark::DoNotOptimize(work.data());
  }
}

template <class T>
void BM_StdSort(benchmark::State& state) {
  const std::vector<T> input = MakeInput<T>(std::size_t(state.range(0)));
  std::vector<T> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    std::sort(work.begin(), work.end(),
              [](const T& a, const T& b) { return reinterpret_cast<const int&>(a) < reinterpret_cast<const int&>(b); });
    benchmark::DoNotOptimize(work.data());
  }
}

template <class T>
void BM_CQSort(benchmark::State& state) {
  const std::vector<T> input = MakeInput<T>(std::size_t(state.range(0)));
  std::vector<T> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    std::qsort(work.data(), work.size(), sizeof(T), &CompareInts);
    benchmark::DoNotOptimize(work.data());
  }
}

BENCHMARK(BM_SLQSort<int>)->Arg(1000)->Arg(100000);
BENCHMARK(BM_StdSort<int>)->Arg(1000)->Arg(100000);
BENCHMARK(BM_CQSort<int>)->Arg(1000)->Arg(100000);
BENCHMARK(BM_SLQSort<Record>)->Arg(100000);
BENCHMARK(BM_StdSort<Record>)->Arg(100000);
BENCHMARK(BM_CQSort<Record>)->Arg(100000);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nTime ratios (SLQSort / peer; below 1 is faster):\n");
  for (const char* type : {"int>/1000", "int>/100000", "Record>/100000"}) {
    std::string ours = std::string("BM_SLQSort<") + type;
    reporter.PrintRatio(ours, std::string("BM_StdSort<") + type);
    reporter.PrintRatio(ours, std::string("BM_CQSort<") + type);
  }
  benchmark::Shutdown();
  return 0;
}
