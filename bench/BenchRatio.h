// A console reporter that, after the usual table, prints the time ratio of named pairs of
// benchmarks (our path over its peer's).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class SLRatioReporter : public benchmark::ConsoleReporter {
 public:
  // Each pair: (ours, peer) benchmark names as registered.
  explicit SLRatioReporter(std::vector<std::pair<std::string, std::string>> pairs) : m_pairs(std::move(pairs)) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [ours, peer] : m_pairs)
      if (m_times.count(ours) && m_times.count(peer))
        std::printf("%s / %s time ratio: %.3f\n", ours.c_str(), peer.c_str(), m_times[ours] / m_times[peer]);
  }

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;
  std::map<std::string, double> m_times;
};
