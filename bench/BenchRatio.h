// A console reporter that keeps each run's time per iteration, so that a benchmark
// program can print the ratio of our path to its peer's after the table: either pairs
// named up front (printed when the run ends) or by PrintRatio calls afterwards.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class SLBenchRatioReporter : public benchmark::ConsoleReporter {
 public:
  SLBenchRatioReporter() = default;
  // Each pair: (ours, peer), by full name ("send/8") or by registered function name.
  explicit SLBenchRatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
      : m_pairs(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations <= 0) continue;
      m_nsPerIteration[run.benchmark_name()] = run.GetAdjustedRealTime();
      m_nsPerIteration.emplace(run.run_name.function_name, run.GetAdjustedRealTime());
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [ours, peer] : m_pairs) PrintRatio(ours, peer);
  }
  // A run's time per iteration by name, 0 when there was no such run.
  double GetTime(const std::string& name) const {
    auto found = m_nsPerIteration.find(name);
    return found == m_nsPerIteration.end() ? 0 : found->second;
  }
  // Prints ours / peer for two benchmarks by name.
  void PrintRatio(const std::string& ours, const std::string& peer) const {
    auto a = m_nsPerIteration.find(ours);
    auto b = m_nsPerIteration.find(peer);
    if (a == m_nsPerIteration.end() || b == m_nsPerIteration.end() || b->second <= 0) return;
    std::printf("%-32s / %-32s = %.3f\n", ours.c_str(), peer.c_str(), a->second / b->second);
  }

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;
  std::map<std::string, double> m_nsPerIteration;
};
