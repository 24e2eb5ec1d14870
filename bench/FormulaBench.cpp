// Formula evaluation of typical skin and item-position formulas. The peer is the same
// arithmetic compiled directly, to show what the parsing costs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include "foundation/SLFormula.h"

namespace {

const char* const kFormulas[] = {"WIDTH-85-9", "WIDTH/2-10", "CENTROX+(DERECHA-IZQUIERDA)/2",
                                 "AVG(ARRIBA,ABAJO)*2^2", "SQRT(WIDTH*WIDTH+HEIGHT*HEIGHT)"};

void Setup(CSLFormulaSolver& solver) {
  solver.SetVariable("WIDTH", 400, true);
  solver.SetVariable("HEIGHT", 300, true);
  solver.SetVariable("CENTROX", 332, true);
  solver.SetVariable("IZQUIERDA", 10, true);
  solver.SetVariable("DERECHA", 650, true);
  solver.SetVariable("ARRIBA", 20, true);
  solver.SetVariable("ABAJO", 350, true);
}

void BM_FormulaEvaluate(benchmark::State& state) {
  CSLFormulaSolver solver;
  Setup(solver);
  double value;
  for (auto _ : state)
    for (const char* f : kFormulas) {
      solver.Evaluate(f, &value, nullptr);
      benchmark::DoNotOptimize(value);
    }
  state.SetItemsProcessed(i64(state.iterations()) * 5);
}
BENCHMARK(BM_FormulaEvaluate);

void BM_CompiledArithmetic(benchmark::State& state) {
  volatile double w = 400, h = 300, cx = 332, l = 10, r = 650, t = 20, b = 350;
  for (auto _ : state) {
    benchmark::DoNotOptimize(w - 85 - 9);
    benchmark::DoNotOptimize(w / 2 - 10);
    benchmark::DoNotOptimize(cx + (r - l) / 2);
    benchmark::DoNotOptimize((t + b) / 2 * 4);
    benchmark::DoNotOptimize(__builtin_sqrt(w * w + h * h));
  }
  state.SetItemsProcessed(i64(state.iterations()) * 5);
}
BENCHMARK(BM_CompiledArithmetic);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  CSLFormulaSolver solver;
  Setup(solver);
  double value = 0;
  const int rounds = 200000;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i)
    for (const char* f : kFormulas) solver.Evaluate(f, &value, nullptr);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("formula evaluation: %.1f ns per formula (no goal; measured)\n", seconds * 1e9 / (rounds * 5.0));
  return 0;
}
