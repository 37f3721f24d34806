// String statements as translated code runs them, each next to a baseline that
// does the same work another way. After the run a ratio line per pair is
// printed: "ratio <statement>: <string routines time / baseline time>".
#include <benchmark/benchmark.h>

#include "ratio_main.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "strings/strings.h"

namespace {

kxs* permanent(const char* text) {
  kxs* s = kxs_new(0, 0);
  kxs_set(s, kxs_new_txt(text));
  return s;
}

const char* const b_text = "Hello, ";
const char* const c_text = "world";

// A$ = B$ + C$
void kxs_concat_assign(benchmark::State& state) {
  kxs_reset_for_tests();
  kxs* a = permanent("");
  kxs* b = permanent(b_text);
  kxs* c = permanent(c_text);
  const uint32_t mark = kxs_tmp_list_nexti;
  for (auto _ : state) {
    kxs_set(a, kxs_add(b, c));
    kxs_cleanup(mark, 0);
    benchmark::DoNotOptimize(a->chars);
  }
}
BENCHMARK(kxs_concat_assign);

void std_concat_assign(benchmark::State& state) {
  std::string a, b = b_text, c = c_text;
  for (auto _ : state) {
    a = b + c;
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(std_concat_assign);

// A$ = LEFT$(B$ + C$, 3)
void kxs_left_concat_assign(benchmark::State& state) {
  kxs_reset_for_tests();
  kxs* a = permanent("");
  kxs* b = permanent(b_text);
  kxs* c = permanent(c_text);
  const uint32_t mark = kxs_tmp_list_nexti;
  for (auto _ : state) {
    kxs_set(a, kxs_left(kxs_add(b, c), 3));
    kxs_cleanup(mark, 0);
    benchmark::DoNotOptimize(a->chars);
  }
}
BENCHMARK(kxs_left_concat_assign);

void std_left_concat_assign(benchmark::State& state) {
  std::string a, b = b_text, c = c_text;
  for (auto _ : state) {
    a = (b + c).substr(0, 3);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(std_left_concat_assign);

// s$ = "" : then n times s$ = s$ + "x"
void kxs_append(benchmark::State& state) {
  kxs_reset_for_tests();
  const int64_t n = state.range(0);
  const uint32_t mark = kxs_tmp_list_nexti;
  for (auto _ : state) {
    kxs* s = kxs_new(0, 0);
    for (int64_t i = 0; i < n; ++i) {
      kxs_set(s, kxs_add(s, kxs_new_txt_len("x", 1)));
      kxs_cleanup(mark, 0);
    }
    benchmark::DoNotOptimize(s->chars);
    kxs_free(s);
  }
}
BENCHMARK(kxs_append)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The least any such loop must do: copy 1, 2, ..., n bytes (about n²/2 in all).
void memcpy_triangle(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<char> from(n, 'x'), to(n);
  for (auto _ : state) {
    for (size_t i = 1; i <= n; ++i) {
      std::memcpy(to.data(), from.data(), i);
      benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(to.data());
  }
}
BENCHMARK(memcpy_triangle)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return run_with_ratios(argc, argv, {
      {"A$ = B$ + C$ (vs std::string)", "kxs_concat_assign", "std_concat_assign"},
      {"A$ = LEFT$(B$ + C$, 3) (vs std::string)", "kxs_left_concat_assign", "std_left_concat_assign"},
      {"s$ = s$ + \"x\" x 10^4 (vs memcpy of n^2/2 bytes)", "kxs_append/10000", "memcpy_triangle/10000"},
      {"s$ = s$ + \"x\" x 10^5 (vs memcpy of n^2/2 bytes)", "kxs_append/100000", "memcpy_triangle/100000"},
  });
}
