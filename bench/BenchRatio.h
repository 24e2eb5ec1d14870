// Ratios of our time to a peer's, as every benchmark program prints them after its table.
//
// A program runs each case for some repetitions (`--benchmark_repetitions`, ideally with
// `--benchmark_enable_random_interleaving`, so that the i-th rounds of two cases run close
// together). The ratio printed is the ratio of the two medians; when both cases ran the
// same number of rounds, the smallest and largest of the per-round ratios follow it, so a
// loaded machine shows as a wide range rather than as a wrong figure. Every line has the
// one shape that `./test bench-run` reads:
//
//   ours/case / peer/case = 1.234  [0.987 .. 1.456] x5
//
// A pair without a ratio (a case that did not run or failed) prints "= none", so that a
// goal on it is reported as unjudged rather than passed over.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The median of `times` (the mean of the middle two for an even count); 0 when empty.
inline double SLBenchMedian(std::vector<double> times) {
  if (times.empty()) return 0;
  std::sort(times.begin(), times.end());
  const size_t middle = times.size() / 2;
  return times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
}

struct SLBenchRatio {
  bool valid = false;
  double median = 0;  // median(ours) / median(peer)
  double low = 0;     // the smallest per-round ratio (the median when rounds don't pair)
  double high = 0;    // the largest
  size_t rounds = 0;  // rounds paired, 0 when the counts differ
};

// `scale` divides every ratio (a case that does `scale` times the peer's work).
inline SLBenchRatio SLBenchRatioOf(const std::vector<double>& ours, const std::vector<double>& peer,
                                   double scale = 1.0) {
  SLBenchRatio ratio;
  const double peerMedian = SLBenchMedian(peer);
  if (ours.empty() || peerMedian <= 0 || scale <= 0) return ratio;
  ratio.valid = true;
  ratio.median = SLBenchMedian(ours) / peerMedian / scale;
  ratio.low = ratio.high = ratio.median;
  if (ours.size() == peer.size() && ours.size() > 1) {
    ratio.rounds = ours.size();
    ratio.low = ratio.high = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      if (peer[i] <= 0) continue;
      const double r = ours[i] / peer[i] / scale;
      ratio.low = ratio.low == 0 ? r : std::min(ratio.low, r);
      ratio.high = std::max(ratio.high, r);
    }
  }
  return ratio;
}

inline void SLBenchPrintRatio(const std::string& ours, const std::string& peer, const SLBenchRatio& ratio) {
  if (!ratio.valid) {
    std::printf("%-32s / %-32s = none\n", ours.c_str(), peer.c_str());
    std::fflush(stdout);
    return;
  }
  std::printf("%-32s / %-32s = %.3f", ours.c_str(), peer.c_str(), ratio.median);
  if (ratio.rounds) std::printf("  [%.3f .. %.3f] x%zu", ratio.low, ratio.high, ratio.rounds);
  std::printf("\n");
  std::fflush(stdout);
}

// Times measured by a program's own rounds (alternating ours and the peer's), printed in
// the same shape.
inline void SLBenchPrintRatio(const std::string& ours, const std::string& peer, const std::vector<double>& oursTimes,
                              const std::vector<double>& peerTimes, double scale = 1.0) {
  SLBenchPrintRatio(ours, peer, SLBenchRatioOf(oursTimes, peerTimes, scale));
}

class SLBenchRatioReporter : public benchmark::ConsoleReporter {
 public:
  SLBenchRatioReporter() = default;
  // Each pair: (ours, peer), by full name ("send/8") or by registered function name.
  explicit SLBenchRatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
      : m_pairs(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations <= 0 || run.error_occurred) continue;
      const std::string name = StripRepeats(run.benchmark_name());
      m_times[name].push_back(run.GetAdjustedRealTime());
      // A function name stands for its first instance ("BM_Read" for "BM_Read/4096").
      m_aliases.emplace(run.run_name.function_name, name);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [ours, peer] : m_pairs) PrintRatio(ours, peer);
  }
  // A case's median time per iteration by name, 0 when there was no such run.
  double GetTime(const std::string& name) const { return SLBenchMedian(Times(name)); }
  // Every round's time per iteration of a case.
  std::vector<double> Times(const std::string& name) const {
    auto found = m_times.find(name);
    if (found == m_times.end()) {
      auto alias = m_aliases.find(name);
      if (alias == m_aliases.end()) return {};
      found = m_times.find(alias->second);
    }
    return found == m_times.end() ? std::vector<double>{} : found->second;
  }
  SLBenchRatio Ratio(const std::string& ours, const std::string& peer, double scale = 1.0) const {
    return SLBenchRatioOf(Times(ours), Times(peer), scale);
  }
  // Prints ours / peer for two cases by name ("none" when either did not run).
  void PrintRatio(const std::string& ours, const std::string& peer, double scale = 1.0) const {
    SLBenchPrintRatio(ours, peer, Ratio(ours, peer, scale));
  }

 private:
  // Cases with their own repetition count carry "/repeats:N" in their names.
  static std::string StripRepeats(std::string name) {
    const size_t at = name.find("/repeats:");
    if (at != std::string::npos) {
      const size_t end = name.find('/', at + 1);
      name.erase(at, end == std::string::npos ? std::string::npos : end - at);
    }
    return name;
  }

  std::vector<std::pair<std::string, std::string>> m_pairs;
  std::map<std::string, std::vector<double>> m_times;
  std::map<std::string, std::string> m_aliases;
};
