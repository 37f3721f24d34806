// String functions as translated code runs them, each next to a baseline that
// does the same work another way. After the run a ratio line per pair is
// printed: "ratio <statement>: <string routines time / baseline time>".
#include <benchmark/benchmark.h>

#include "ratio_main.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "strings/strings.h"

namespace {

constexpr size_t haystack_size = 1 << 20;

// 1 MB of varied lower-case text with the needle only at the very end, so
// that every search walks the whole haystack.
std::string haystack(const std::string& needle) {
  std::string h(haystack_size, ' ');
  uint32_t x = 12345;
  for (char& c : h) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>('a' + (x >> 16) % 26);
  }
  h.replace(h.size() - needle.size(), needle.size(), needle);
  return h;
}

const std::string needle = "needle in the haystack";

kxs* permanent(const std::string& t) {
  kxs* s = kxs_new(static_cast<int32_t>(t.size()), 0);
  if (!t.empty()) std::memcpy(s->chars, t.data(), t.size());
  return s;
}

// p = INSTR(h$, n$)
void kxs_instr_1mb(benchmark::State& state) {
  kxs_reset_for_tests();
  const std::string h = haystack(needle);
  kxs* hs = permanent(h);
  kxs* ns = permanent(needle);
  for (auto _ : state) {
    int32_t p = func_instr(0, hs, ns, 0);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(kxs_instr_1mb);

void memmem_1mb(benchmark::State& state) {
  const std::string h = haystack(needle);
  for (auto _ : state) {
    const void* p = memmem(h.data(), h.size(), needle.data(), needle.size());
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(memmem_1mb);

const std::string line = "  The quick brown fox jumps over the lazy dog  ";

// FOR i = 1 TO LEN(a$): b$ = MID$(a$, i, 5): c$ = LEFT$(a$, i): NEXT
void kxs_mid_left_loop(benchmark::State& state) {
  kxs_reset_for_tests();
  kxs* a = permanent(line);
  kxs* b = permanent("");
  kxs* c = permanent("");
  const uint32_t mark = kxs_tmp_list_nexti;
  for (auto _ : state) {
    for (int32_t i = 1; i <= kxs_len(a); ++i) {
      kxs_set(b, func_mid(a, i, 5, 1));
      kxs_cleanup(mark, 0);
      kxs_set(c, kxs_left(a, i));
      kxs_cleanup(mark, 0);
    }
    benchmark::DoNotOptimize(b->chars);
    benchmark::DoNotOptimize(c->chars);
  }
}
BENCHMARK(kxs_mid_left_loop);

// The same substrings copied into reused std::string variables.
void string_view_mid_left_loop(benchmark::State& state) {
  const std::string_view a = line;
  std::string b, c;
  b.reserve(a.size());
  c.reserve(a.size());
  for (auto _ : state) {
    for (size_t i = 1; i <= a.size(); ++i) {
      b.assign(a.substr(i - 1, 5));
      c.assign(a.substr(0, i));
      benchmark::DoNotOptimize(b.data());
      benchmark::DoNotOptimize(c.data());
    }
  }
}
BENCHMARK(string_view_mid_left_loop);

}  // namespace

int main(int argc, char** argv) {
  return run_with_ratios(argc, argv, {
      {"INSTR(h$, n$) over 1 MB (vs memmem)", "kxs_instr_1mb", "memmem_1mb"},
      {"b$ = MID$(a$, i, 5): c$ = LEFT$(a$, i) loop (vs std::string_view substrings)", "kxs_mid_left_loop",
       "string_view_mid_left_loop"},
  });
}
