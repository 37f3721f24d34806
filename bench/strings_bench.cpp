// String statements against the same work done with std::string and memcpy.
// Prints each benchmark's time per iteration, then the ratios to the baselines.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "strings/strings.h"

namespace {

kxs* make_var(const char* text) {
  kxs* v = kxs_new(0, 0);
  kxs_set(v, kxs_new_txt(text));
  return v;
}

// A$ = B$ + C$
void BM_kxs_concat_assign(benchmark::State& state) {
  kxs_reset_for_tests();
  kxs* a = kxs_new(0, 0);
  kxs* b = make_var("Hello, ");
  kxs* c = make_var("world");
  const uint32_t mark = kxs_tmp_list_nexti;
  for (auto _ : state) {
    kxs_set(a, kxs_add(b, c));
    kxs_cleanup(mark, 0);
    benchmark::DoNotOptimize(a->chars);
  }
}

void BM_std_concat_assign(benchmark::State& state) {
  std::string a;
  std::string b = "Hello, ";
  std::string c = "world";
  for (auto _ : state) {
    a = b + c;
    benchmark::DoNotOptimize(a.data());
  }
}

// A$ = LEFT$(B$ + C$, 3)
void BM_kxs_left_of_concat(benchmark::State& state) {
  kxs_reset_for_tests();
  kxs* a = kxs_new(0, 0);
  kxs* b = make_var("Hello, ");
  kxs* c = make_var("world");
  const uint32_t mark = kxs_tmp_list_nexti;
  for (auto _ : state) {
    kxs_set(a, kxs_left(kxs_add(b, c), 3));
    kxs_cleanup(mark, 0);
    benchmark::DoNotOptimize(a->chars);
  }
}

void BM_std_left_of_concat(benchmark::State& state) {
  std::string a;
  std::string b = "Hello, ";
  std::string c = "world";
  for (auto _ : state) {
    a = (b + c).substr(0, 3);
    benchmark::DoNotOptimize(a.data());
  }
}

// s$ = s$ + "x", n times
void BM_kxs_append_loop(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    kxs_reset_for_tests();
    kxs* s = kxs_new(0, 0);
    const uint32_t mark = kxs_tmp_list_nexti;
    for (int32_t i = 0; i < n; ++i) {
      kxs_set(s, kxs_add(s, kxs_new_txt_len("x", 1)));
      kxs_cleanup(mark, 0);
    }
    benchmark::DoNotOptimize(s->chars);
  }
}

// The bound of copying the whole string at every step: n^2/2 bytes.
void BM_memcpy_quadratic_bound(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  std::vector<char> from(n + 1, 'x');
  std::vector<char> to(n + 1);
  for (auto _ : state) {
    for (size_t i = 1; i <= n; ++i) {
      std::memcpy(to.data(), from.data(), i);
      benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(to.data());
  }
}

BENCHMARK(BM_kxs_concat_assign);
BENCHMARK(BM_std_concat_assign);
BENCHMARK(BM_kxs_left_of_concat);
BENCHMARK(BM_std_left_of_concat);
BENCHMARK(BM_kxs_append_loop)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_quadratic_bound)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Keeps the time per iteration of every run, for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        ns[run.benchmark_name()] = run.GetAdjustedRealTime() *
                                   (run.time_unit == benchmark::kMillisecond ? 1e6 : 1.0);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void print_ratio(const RatioReporter& r, const char* what, const std::string& ours,
                 const std::string& baseline) {
  auto a = r.ns.find(ours);
  auto b = r.ns.find(baseline);
  if (a == r.ns.end() || b == r.ns.end() || b->second <= 0) return;
  std::printf("ratio %-34s %6.2f  (%s / %s)\n", what, a->second / b->second, ours.c_str(),
              baseline.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  print_ratio(reporter, "A$ = B$ + C$", "BM_kxs_concat_assign", "BM_std_concat_assign");
  print_ratio(reporter, "A$ = LEFT$(B$ + C$, 3)", "BM_kxs_left_of_concat",
              "BM_std_left_of_concat");
  print_ratio(reporter, "s$ = s$ + \"x\" x 10^4 vs n^2/2 memcpy", "BM_kxs_append_loop/10000",
              "BM_memcpy_quadratic_bound/10000");
  print_ratio(reporter, "s$ = s$ + \"x\" x 10^5 vs n^2/2 memcpy", "BM_kxs_append_loop/100000",
              "BM_memcpy_quadratic_bound/100000");
  benchmark::Shutdown();
  return 0;
}
