// A console reporter that keeps every run's time by benchmark name and, after the table,
// hands them to a function that prints the ratios of our paths to their peers.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class TimeTableReporter : public benchmark::ConsoleReporter {
 public:
  using Times = std::map<std::string, double>;
  explicit TimeTableReporter(std::function<void(const Times&)> printRatios) : m_printRatios(std::move(printRatios)) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    m_printRatios(m_times);
  }

 private:
  Times m_times;
  std::function<void(const Times&)> m_printRatios;
};
