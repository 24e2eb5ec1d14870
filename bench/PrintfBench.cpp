// The framework's printf beside glibc's snprintf on integers and doubles, and the string
// classes' append and insert beside std::string.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLPrintf.h"
#include "foundation/SLString.h"
#include "foundation/FoundationClasses.h"
#include "bench/BenchRatio.h"

namespace {

std::vector<int> Integers() {
  std::mt19937 rng(7);
  std::vector<int> values(256);
  for (int& v : values) v = int(rng()) >> (rng() % 31);
  return values;
}

std::vector<double> Doubles() {
  std::mt19937_64 rng(9);
  std::uniform_real_distribution<double> pick(-1e6, 1e6);
  std::vector<double> values(256);
  for (double& v : values) v = pick(rng);
  return values;
}

template <bool Ours>
void FormatIntegers(benchmark::State& state) {
  std::vector<int> values = Integers();
  char buffer[64];
  for (auto _ : state) {
    for (int v : values) {
      if (Ours)
        SLSnprintfA(buffer, sizeof buffer, "%d|%08x", v, v);
      else
        std::snprintf(buffer, sizeof buffer, "%d|%08x", v, v);
      benchmark::DoNotOptimize(buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * values.size());
}

template <bool Ours>
void FormatDoubles(benchmark::State& state) {
  std::vector<double> values = Doubles();
  char buffer[64];
  for (auto _ : state) {
    for (double v : values) {
      if (Ours)
        SLSnprintfA(buffer, sizeof buffer, "%.3f %g", v, v);
      else
        std::snprintf(buffer, sizeof buffer, "%.3f %g", v, v);
      benchmark::DoNotOptimize(buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * values.size());
}

template <bool Ours>
void AppendText(benchmark::State& state) {
  for (auto _ : state) {
    if (Ours) {
      CSLStringAnsi text;
      for (int i = 0; i < 1000; ++i) text.Append("word ", 5);
      benchmark::DoNotOptimize(text.CStr());
    } else {
      std::string text;
      for (int i = 0; i < 1000; ++i) text.append("word ", 5);
      benchmark::DoNotOptimize(text.data());
    }
  }
}

template <bool Ours>
void InsertText(benchmark::State& state) {
  for (auto _ : state) {
    if (Ours) {
      CSLStringWide text;
      for (int i = 0; i < 500; ++i) text.Insert(u"ab", u32(i / 2), 2);
      benchmark::DoNotOptimize(text.CStr());
    } else {
      std::u16string text;
      for (int i = 0; i < 500; ++i) text.insert(size_t(i / 2), u"ab", 2);
      benchmark::DoNotOptimize(text.data());
    }
  }
}


}  // namespace

BENCHMARK_TEMPLATE(FormatIntegers, true)->Name("integers/ours");
BENCHMARK_TEMPLATE(FormatIntegers, false)->Name("integers/glibc");
BENCHMARK_TEMPLATE(FormatDoubles, true)->Name("doubles/ours");
BENCHMARK_TEMPLATE(FormatDoubles, false)->Name("doubles/glibc");
BENCHMARK_TEMPLATE(AppendText, true)->Name("append/ours");
BENCHMARK_TEMPLATE(AppendText, false)->Name("append/std");
BENCHMARK_TEMPLATE(InsertText, true)->Name("insert/ours");
BENCHMARK_TEMPLATE(InsertText, false)->Name("insert/std");

int main(int argc, char** argv) {
  SLRegisterFoundationClasses();
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nour time / the peer's time (below 1: ours is faster)\n");
  const char* pairs[][2] = {{"integers", "glibc"}, {"doubles", "glibc"}, {"append", "std"}, {"insert", "std"}};
  for (auto& pair : pairs) reporter.PrintRatio(std::string(pair[0]) + "/ours", std::string(pair[0]) + "/" + pair[1]);
  benchmark::Shutdown();
  return 0;
}
