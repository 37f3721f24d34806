// Runs the registered benchmarks and prints, for each measured/baseline pair,
// the ratio of their mean real times.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

struct ratio_pair {
  const char* statement;
  const char* measured;
  const char* baseline;
};

// Keeps the mean real time of every benchmark while printing as usual.
class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto& [sum, count] = times_[run.benchmark_name()];
      sum += run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(run.time_unit);
      ++count;
    }
  }
  // Mean seconds per iteration, or a negative value when the run is missing.
  double seconds(const std::string& name) const {
    auto it = times_.find(name);
    return it == times_.end() ? -1 : it->second.first / it->second.second;
  }

 private:
  std::map<std::string, std::pair<double, int>> times_;
};

inline int run_with_ratios(int argc, char** argv, std::initializer_list<ratio_pair> pairs) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\n");  // the console reporter's last colour code ends without a line break
  for (const ratio_pair& p : pairs) {
    const double m = reporter.seconds(p.measured), b = reporter.seconds(p.baseline);
    if (m < 0 || b <= 0) continue;  // filtered out of this run
    std::printf("ratio %s: %.2f\n", p.statement, m / b);
  }
  return 0;
}
