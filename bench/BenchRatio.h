// A console reporter that keeps each run's time per iteration, so that a benchmark
// program can print the ratio of our path to its peer's after the table.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class SLBenchRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
        m_nsPerIteration[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  // Prints ours / peer for two benchmarks by their full names ("send/8").
  void PrintRatio(const std::string& ours, const std::string& peer) const {
    auto a = m_nsPerIteration.find(ours);
    auto b = m_nsPerIteration.find(peer);
    if (a == m_nsPerIteration.end() || b == m_nsPerIteration.end() || b->second <= 0) return;
    std::printf("%-32s / %-32s = %.2f\n", ours.c_str(), peer.c_str(), a->second / b->second);
  }

 private:
  std::map<std::string, double> m_nsPerIteration;
};
