// Timing helpers shared by the benchmark programs' side-by-side ratios.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>

// The best time in seconds of each pass over rounds that alternate between them, so that a
// change in the machine's load during the run affects every pass alike.
template <size_t N>
std::array<double, N> BestAlternating(const std::array<std::function<void()>, N>& passes, int rounds) {
  std::array<double, N> best;
  best.fill(1e9);
  for (int i = 0; i < rounds; ++i)
    for (size_t p = 0; p < N; ++p) {
      auto t0 = std::chrono::steady_clock::now();
      passes[p]();
      best[p] = std::min(best[p], std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
  return best;
}
