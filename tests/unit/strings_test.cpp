// String records and pools: assignment cases, temporaries, release, the string
// functions that consume temporaries, compaction and growth against a model.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "strings/strings.h"

namespace {

std::string text(const kxs* s) { return std::string(reinterpret_cast<const char*>(s->chars), static_cast<size_t>(s->len)); }

void fill(kxs* s, const std::string& t) {
  if (!t.empty()) std::memcpy(s->chars, t.data(), t.size());
}

// A permanent pool string made as compiled code makes one, with its slack.
kxs* perm(const std::string& t) {
  kxs* s = kxs_new(static_cast<int32_t>(t.size()), 0);
  fill(s, t);
  return s;
}
kxs* tmp(const std::string& t) {
  kxs* s = kxs_new(static_cast<int32_t>(t.size()), 1);
  fill(s, t);
  return s;
}
kxs* perm_cmem(const std::string& t) {
  kxs* s = kxs_new_cmem(static_cast<int32_t>(t.size()), 0);
  fill(s, t);
  return s;
}
kxs* tmp_cmem(const std::string& t) {
  kxs* s = kxs_new_cmem(static_cast<int32_t>(t.size()), 1);
  fill(s, t);
  return s;
}
// The literal keeps pointing at t, which must outlive it.
kxs* lit(const std::string& t) { return kxs_new_txt_len(t.data(), static_cast<int32_t>(t.size())); }

uintptr_t addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Reads a DBLOCK descriptor: little-endian length and character offset.
std::pair<uint32_t, uint32_t> descriptor_at(uint32_t offset) {
  const uint8_t* d = dblock + offset;
  return {d[0] | (d[1] << 8u), d[2] | (d[3] << 8u)};
}

::testing::AssertionResult descriptor_current(const kxs* s) {
  if (s->cmem_desc == nullptr) return ::testing::AssertionFailure() << "no descriptor";
  if (addr(s->cmem_desc) != addr(dblock + s->cmem_desc_offset))
    return ::testing::AssertionFailure() << "cmem_desc does not match cmem_desc_offset";
  const auto [len, off] = descriptor_at(s->cmem_desc_offset);
  const uint32_t want_off = static_cast<uint32_t>(addr(s->chars) - addr(dblock));
  if (len != static_cast<uint32_t>(s->len) || off != want_off)
    return ::testing::AssertionFailure() << "descriptor holds len " << len << " offset " << off << ", string has len "
                                         << s->len << " offset " << want_off;
  return ::testing::AssertionSuccess();
}

// Every invariant the pools keep: list order is address order without overlap,
// index fields name their slots, characters lie in their region below its free
// offset, temporaries are listed where they say.
::testing::AssertionResult pools_consistent() {
  uintptr_t prev_end = addr(kxs_data);
  if (kxs_sp > kxs_data_size) return ::testing::AssertionFailure() << "kxs_sp past kxs_data_size";
  for (uint32_t i = 0; i < kxs_list_nexti; ++i) {
    const kxs* s = kxs_list[i];
    if (s == kxs_dead_slot()) continue;
    if (s->list_index != i) return ::testing::AssertionFailure() << "kxs_list slot " << i << " has list_index " << s->list_index;
    if (s->is_cmem || s->is_fixed || s->is_readonly) return ::testing::AssertionFailure() << "wrong kind in kxs_list";
    if (addr(s->chars) < prev_end) return ::testing::AssertionFailure() << "kxs_list slot " << i << " out of address order";
    prev_end = addr(s->chars) + static_cast<uintptr_t>(s->len);
    if (prev_end > addr(kxs_data) + kxs_sp) return ::testing::AssertionFailure() << "slot " << i << " ends past kxs_sp";
  }
  if (kxs_cmem_sp > cmem_sp || kxs_cmem_sp < kxs_cmem_descriptor_space)
    return ::testing::AssertionFailure() << "kxs_cmem_sp " << kxs_cmem_sp << " out of the heap";
  prev_end = addr(dblock + kxs_cmem_descriptor_space);
  for (uint32_t i = 0; i < kxs_cmem_list_nexti; ++i) {
    const kxs* s = kxs_cmem_list[i];
    if (s == kxs_dead_slot()) continue;
    if (s->list_index != i) return ::testing::AssertionFailure() << "kxs_cmem_list slot " << i << " wrong list_index";
    if (!s->is_cmem) return ::testing::AssertionFailure() << "pool string in kxs_cmem_list";
    if (addr(s->chars) < prev_end) return ::testing::AssertionFailure() << "kxs_cmem_list slot " << i << " out of order";
    prev_end = addr(s->chars) + static_cast<uintptr_t>(s->len);
    if (prev_end > addr(dblock + kxs_cmem_sp)) return ::testing::AssertionFailure() << "DBLOCK string past kxs_cmem_sp";
    if (!s->is_tmp) {
      auto r = descriptor_current(s);
      if (!r) return r;
    }
  }
  if (kxs_tmp_list[0] != nullptr) return ::testing::AssertionFailure() << "kxs_tmp_list slot 0 used";
  for (uint32_t i = 1; i < kxs_tmp_list_nexti; ++i) {
    const kxs* s = kxs_tmp_list[i];
    if (s == kxs_dead_slot()) continue;
    if (!s->is_tmp || s->tmp_list_index != i) return ::testing::AssertionFailure() << "kxs_tmp_list slot " << i << " wrong";
  }
  return ::testing::AssertionSuccess();
}

bool released(const kxs* s) { return kxs_malloc_freed_num > 0 && kxs_malloc_freed[kxs_malloc_freed_num - 1] == s; }

class Strings : public ::testing::Test {
 protected:
  void SetUp() override { kxs_reset_for_tests(); }
};

// ---- Assignment ----

enum class placed { in_place, taken_over, relocated };

struct set_case {
  const char* name;
  std::function<std::pair<kxs*, kxs*>()> make;  // dest, src
  std::string expect;
  placed where;
  std::function<void(kxs* dest)> extra = nullptr;
};

const std::string long40(40, 'L');
const std::string long200(200, 'M');
const std::string literal_text = "literal text";

TEST_F(Strings, SetCases) {
  static uint8_t fixed4[4];
  const std::vector<set_case> cases = {
      {"fixed dest keeps the first bytes",
       [] {
         std::memcpy(fixed4, "wxyz", 4);
         return std::pair{kxs_new_fixed(fixed4, 4, 0), tmp("abcdefghij")};
       },
       "abcd", placed::in_place},
      {"fixed dest pads with spaces",
       [] { return std::pair{kxs_new_fixed(fixed4, 4, 0), perm("ab")}; }, "ab  ", placed::in_place},
      {"fixed dest inside the DBLOCK has a current descriptor",
       [] {
         cmem_sp -= 8;
         return std::pair{kxs_new_fixed(dblock + cmem_sp, 6, 0), lit(literal_text)};
       },
       "litera", placed::in_place},
      {"pool temporary taken over", [] { return std::pair{perm("old"), tmp("brand new")}; }, "brand new",
       placed::taken_over},
      {"DBLOCK temporary taken over by a DBLOCK string",
       [] { return std::pair{perm_cmem("old"), tmp_cmem("brand new")}; }, "brand new", placed::taken_over},
      {"pool temporary copied into the last DBLOCK string",
       [] { return std::pair{perm_cmem("ab"), tmp("abcdef")}; }, "abcdef", placed::in_place},
      {"DBLOCK temporary copied into a pool string",
       [] { return std::pair{perm("abcdef"), tmp_cmem("xyz")}; }, "xyz", placed::in_place},
      {"not longer: copied over", [] { return std::pair{perm("hello world"), perm("hi")}; }, "hi",
       placed::in_place},
      {"longer, last pool slot: grows in place past its slack",
       [] { return std::pair{perm("ab"), lit(long200)}; }, long200, placed::in_place,
       [](kxs* d) { EXPECT_EQ(kxs_sp, addr(d->chars) - addr(kxs_data) + 200); }},
      {"longer, fits before the next live string",
       [] {
         kxs* d = perm("ab");
         perm("zz");
         return std::pair{d, perm(std::string(20, 'q'))};
       },
       std::string(20, 'q'), placed::in_place},
      {"longer, next live string in the way: relocated",
       [] {
         kxs* d = perm("ab");
         perm("zz");
         return std::pair{d, lit(long40)};
       },
       long40, placed::relocated,
       [](kxs* d) {
         EXPECT_EQ(d->list_index + 1, kxs_list_nexti);
         EXPECT_EQ(kxs_sp, addr(d->chars) - addr(kxs_data) + 40);  // no slack after a relocation
       }},
      {"longer, only dead slots follow: trailing slots dropped, grows in place",
       [] {
         kxs* t = tmp("t");
         kxs* d = perm("d");
         kxs_set(d, t);  // d takes t's earlier slot, its own later slot is dead
         return std::pair{d, lit(long200)};
       },
       long200, placed::in_place, [](kxs* d) { EXPECT_EQ(kxs_list_nexti, d->list_index + 1); }},
      {"literal copied, never taken over", [] { return std::pair{perm("x"), lit(literal_text)}; }, literal_text,
       placed::in_place, [](kxs* d) { EXPECT_NE(addr(d->chars), addr(literal_text.data())); }},
      {"DBLOCK string relocated past the next DBLOCK string",
       [] {
         kxs* d = perm_cmem("ab");
         perm_cmem("cd");
         return std::pair{d, perm("longer text")};
       },
       "longer text", placed::relocated},
      {"x = x on a permanent", [] {
         kxs* x = perm("same");
         return std::pair{x, x};
       },
       "same", placed::in_place},
      {"x = x on a temporary leaves it live", [] {
         kxs* x = tmp("self");
         return std::pair{x, x};
       },
       "self", placed::in_place, [](kxs* d) { EXPECT_EQ(kxs_tmp_list[d->tmp_list_index], d); }},
  };

  for (const set_case& c : cases) {
    SCOPED_TRACE(c.name);
    kxs_reset_for_tests();
    const uint32_t mark = kxs_tmp_list_nexti;
    auto [dest, src] = c.make();
    const bool src_tmp = src->is_tmp;
    const std::string src_text = text(src);
    const uintptr_t dest_chars = addr(dest->chars), src_chars = addr(src->chars);
    const uintptr_t free_end = dest->is_cmem ? addr(dblock + kxs_cmem_sp) : addr(kxs_data + kxs_sp);
    const uint32_t tmp_before = kxs_tmp_list_nexti;

    EXPECT_EQ(kxs_set(dest, src), dest);
    EXPECT_EQ(text(dest), c.expect);
    switch (c.where) {
      case placed::in_place: EXPECT_EQ(addr(dest->chars), dest_chars); break;
      case placed::taken_over: EXPECT_EQ(addr(dest->chars), src_chars); break;
      case placed::relocated: EXPECT_EQ(addr(dest->chars), free_end); break;
    }
    if (dest == src) {
      EXPECT_EQ(kxs_tmp_list_nexti, tmp_before);
    } else if (src_tmp) {
      EXPECT_TRUE(released(src)) << "a temporary source is consumed";
      if (!dest->is_tmp) {
        EXPECT_EQ(kxs_tmp_list_nexti, mark);
      }
    } else {
      EXPECT_EQ(text(src), src_text) << "a permanent source is left alone";
    }
    if (dest->cmem_desc != nullptr) {
      EXPECT_TRUE(descriptor_current(dest));
    }
    EXPECT_TRUE(pools_consistent());
    if (c.extra) c.extra(dest);
  }
}

// A string that stays the last pool string grows in place every time and the
// block is never compacted until it is full.
TEST_F(Strings, LastStringGrowsInPlaceUntilTheBlockIsFull) {
  std::string big(kxs_data_size, 'g');
  kxs* s = perm("");
  uint8_t* const at = s->chars;
  for (uint64_t n = 1000; n <= kxs_data_size; n += 100000) {
    kxs_set(s, lit(big.substr(0, n)));
    ASSERT_EQ(s->chars, at);
    ASSERT_EQ(kxs_sp, n);
  }
  const uint64_t size = kxs_data_size;
  kxs_set(s, lit(std::string(size, 'g')));
  EXPECT_EQ(s->chars, at);
  EXPECT_EQ(kxs_data_size, size) << "filling the block exactly needs no growth";
  kxs* after = kxs_new(1, 0);  // does not fit any more: compaction and growth
  EXPECT_GT(kxs_data_size, size);
  EXPECT_EQ(s->len, static_cast<int32_t>(size));
  EXPECT_EQ(after->len, 1);
  EXPECT_TRUE(pools_consistent());
}

// ---- Temporaries, concatenation, release ----

TEST_F(Strings, CleanupReleasesOnlyTemporariesAtOrAboveTheMark) {
  const uint32_t outer = kxs_tmp_list_nexti;
  kxs* kept = tmp("kept");
  const uint32_t inner = kxs_tmp_list_nexti;
  tmp("b");
  kxs* literal = lit(literal_text);
  tmp_cmem("d");
  kxs* function_result = kxs_maketmp(perm("result"));
  kxs_free(literal);  // a dead slot in the middle
  const uint32_t freed_before = kxs_malloc_freed_num;

  EXPECT_EQ(kxs_cleanup(inner, -1), -1);
  EXPECT_LE(kxs_tmp_list_nexti, inner);
  EXPECT_EQ(kxs_malloc_freed_num, freed_before + 3);
  EXPECT_EQ(kxs_malloc_freed[freed_before], function_result) << "released from the top down";
  EXPECT_EQ(kxs_tmp_list[kept->tmp_list_index], kept);
  EXPECT_EQ(text(kept), "kept");
  EXPECT_TRUE(pools_consistent());

  EXPECT_EQ(kxs_cleanup(outer, 7), 7);
  EXPECT_EQ(kxs_tmp_list_nexti, outer);
  EXPECT_TRUE(released(kept));
  EXPECT_EQ(kxs_list_nexti, 0u);
  EXPECT_EQ(kxs_sp, 0u);
}

TEST_F(Strings, AddWithAnEmptyOperandReturnsTheOtherItself) {
  init_permanent_strings();
  struct row {
    const char* name;
    std::function<kxs*()> x, empty;
  };
  const std::vector<row> rows = {
      {"permanent, nothingstring", [] { return perm("abc"); }, [] { return nothingstring; }},
      {"permanent, empty temporary", [] { return perm("abc"); }, [] { return tmp(""); }},
      {"temporary, empty literal", [] { return tmp("abc"); }, [] { return lit(""); }},
      {"DBLOCK permanent, empty DBLOCK temporary", [] { return perm_cmem("abc"); }, [] { return tmp_cmem(""); }},
      {"literal, empty permanent", [] { return lit(literal_text); }, [] { return perm(""); }},
  };
  for (const row& r : rows) {
    for (bool empty_first : {false, true}) {
      SCOPED_TRACE(std::string(r.name) + (empty_first ? ", empty first" : ", empty second"));
      const uint32_t mark = kxs_tmp_list_nexti;
      kxs* x = r.x();
      kxs* e = r.empty();
      const std::string before = text(x);
      kxs* sum = empty_first ? kxs_add(e, x) : kxs_add(x, e);
      EXPECT_EQ(sum, x);
      EXPECT_EQ(text(x), before);
      if (e->is_tmp) {
        EXPECT_EQ(kxs_tmp_list[e->tmp_list_index], e) << "the empty temporary is not released";
      }
      EXPECT_TRUE(pools_consistent());
      kxs_cleanup(mark, 0);
    }
  }
}

TEST_F(Strings, AddMakesATemporaryAndConsumesTemporaryOperands) {
  struct row {
    const char* name;
    bool a_tmp, b_tmp, same;
  };
  for (const row& r : {row{"permanent + permanent", false, false, false}, row{"temporary + permanent", true, false, false},
                       row{"permanent + temporary", false, true, false}, row{"temporary + temporary", true, true, false},
                       row{"t + t on one temporary", true, true, true}}) {
    SCOPED_TRACE(r.name);
    kxs_reset_for_tests();
    const uint32_t mark = kxs_tmp_list_nexti;
    kxs* a = r.a_tmp ? tmp("ab") : perm("ab");
    kxs* b = r.same ? a : r.b_tmp ? tmp_cmem("cd") : perm_cmem("cd");
    const uint32_t freed_before = kxs_malloc_freed_num;
    kxs* sum = kxs_add(a, b);
    EXPECT_EQ(text(sum), r.same ? "abab" : "abcd");
    EXPECT_TRUE(sum->is_tmp);
    EXPECT_FALSE(sum->is_cmem);
    const uint32_t consumed = r.same ? 1u : static_cast<uint32_t>(r.a_tmp) + static_cast<uint32_t>(r.b_tmp);
    EXPECT_EQ(kxs_malloc_freed_num, freed_before + consumed);
    if (!r.a_tmp) {
      EXPECT_EQ(text(a), "ab");
    }
    if (!r.b_tmp) {
      EXPECT_EQ(text(b), "cd");
    }
    EXPECT_TRUE(pools_consistent());
    kxs_cleanup(mark, 0);
    EXPECT_EQ(kxs_tmp_list_nexti, mark);
  }
}

TEST_F(Strings, ReleaseGivesPoolSpaceBack) {
  kxs* empty_tmp = kxs_new(0, 1);
  EXPECT_EQ(kxs_sp, 32u) << "an empty temporary still takes its slack";
  kxs* b = perm("hello");
  EXPECT_EQ(kxs_sp, 32u + 5 + 32);
  kxs* c = perm("xyz");
  kxs_free(c);
  EXPECT_EQ(kxs_sp, addr(b->chars) - addr(kxs_data) + 5 + 32) << "end of the previous live string plus 32";
  EXPECT_EQ(kxs_list_nexti, 2u);
  kxs_free(empty_tmp);
  EXPECT_EQ(kxs_tmp_list_nexti, 1u);
  EXPECT_EQ(kxs_sp, 32u + 5 + 32);
  kxs_free(b);
  EXPECT_EQ(kxs_list_nexti, 0u);
  EXPECT_EQ(kxs_sp, 0u);
  // Released records are handed out again, cleared.
  kxs* again = kxs_new(3, 0);
  EXPECT_EQ(again, b);
  EXPECT_EQ(again->tmp_list_index, 0u);
  EXPECT_EQ(again->is_tmp, 0);
}

// ---- DBLOCK strings ----

TEST_F(Strings, PermanentStringsAndDescriptorsInTheDblock) {
  init_permanent_strings();
  EXPECT_EQ(nothingstring->len, 0);
  EXPECT_EQ(text(singlespace), " ");
  EXPECT_EQ(cmem_sp, 65536u - 8);
  EXPECT_EQ(nothingstring->cmem_desc_offset, 65532);
  EXPECT_EQ(singlespace->cmem_desc_offset, 65528);
  EXPECT_EQ(descriptor_at(65528), (std::pair<uint32_t, uint32_t>{1, 256}));
  // The bytes themselves, as PEEK sees them: length 1, offset 0x0100.
  EXPECT_EQ(cmem[0x500 + 65528], 1);
  EXPECT_EQ(cmem[0x500 + 65529], 0);
  EXPECT_EQ(cmem[0x500 + 65530], 0x00);
  EXPECT_EQ(cmem[0x500 + 65531], 0x01);

  kxs* a = perm_cmem("aaaa");
  kxs* b = perm_cmem("bb");
  kxs* t = tmp_cmem("tt");
  EXPECT_EQ(t->cmem_desc, nullptr) << "DBLOCK temporaries have no descriptor";
  kxs_set(a, lit(long40));  // relocated behind t
  EXPECT_TRUE(descriptor_current(a));
  kxs_free(t);
  kxs_concat_cmem(0);
  EXPECT_EQ(addr(b->chars), addr(dblock + 256 + 1));  // moved down over a's old bytes
  EXPECT_EQ(addr(a->chars), addr(dblock + 256 + 1 + 2));
  EXPECT_EQ(kxs_cmem_sp, 256u + 1 + 2 + 40);
  EXPECT_EQ(text(a), long40);
  EXPECT_EQ(text(b), "bb");
  EXPECT_TRUE(descriptor_current(a));
  EXPECT_TRUE(descriptor_current(b));
  EXPECT_TRUE(pools_consistent());
}

// ---- UCASE$ and LEFT$ ----

TEST_F(Strings, UcaseChangesOnlyAsciiLowerCase) {
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<char>(i);
  std::string upper = all;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);

  enum class result { same_record_changed, same_record_unchanged, new_temporary };
  struct row {
    const char* name;
    std::function<kxs*()> make;
    std::string expect;
    result what;
    bool arg_released;
  };
  const std::vector<row> rows = {
      {"temporary pool string converted in place", [&] { return tmp(all); }, upper, result::same_record_changed, false},
      {"permanent string: new temporary", [&] { return perm(all); }, upper, result::new_temporary, false},
      {"literal: new temporary, literal released", [&] { return lit(all); }, upper, result::new_temporary, true},
      {"DBLOCK temporary: new temporary, argument released", [&] { return tmp_cmem("mixed Case"); }, "MIXED CASE",
       result::new_temporary, true},
      {"nothing to change: argument itself", [] { return perm("NO LOWER 123 \xe4"); }, "NO LOWER 123 \xe4",
       result::same_record_unchanged, false},
      {"empty", [] { return lit(""); }, "", result::same_record_unchanged, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    kxs_reset_for_tests();
    const uint32_t mark = kxs_tmp_list_nexti;
    kxs* s = r.make();
    const uintptr_t chars = addr(s->chars);
    const std::string before = text(s);
    kxs* u = kxs_ucase(s);
    EXPECT_EQ(text(u), r.expect);
    if (r.what == result::new_temporary) {
      EXPECT_NE(u, s);
      EXPECT_TRUE(u->is_tmp);
      EXPECT_EQ(r.arg_released, released(s));
      if (!r.arg_released) {
        EXPECT_EQ(text(s), before);
      }
    } else {
      EXPECT_EQ(u, s);
      EXPECT_EQ(addr(u->chars), chars);
    }
    EXPECT_TRUE(pools_consistent());
    kxs_cleanup(mark, 0);
  }
}

TEST_F(Strings, LeftShortensATemporaryInPlace) {
  kxs* b = perm("Hello, ");
  kxs* c = perm("world");
  kxs* a = perm("");
  const uint32_t mark = kxs_tmp_list_nexti;
  kxs* t = kxs_add(b, c);
  EXPECT_EQ(kxs_left(t, 3), t);
  EXPECT_EQ(text(t), "Hel");
  kxs_set(a, t);
  EXPECT_EQ(text(a), "Hel");
  EXPECT_TRUE(released(t));
  EXPECT_EQ(kxs_tmp_list_nexti, mark) << "nothing left for the statement's cleanup";
  kxs* l = kxs_left(b, 4);
  EXPECT_NE(l, b);
  EXPECT_EQ(text(l), "Hell");
  EXPECT_EQ(kxs_left(b, 99), b);
  EXPECT_EQ(kxs_left(b, -1)->len, 0);
  kxs_cleanup(mark, 0);
  EXPECT_TRUE(pools_consistent());
}

// ---- Model check ----

// Runs a random statement mix over pool, DBLOCK and fixed-length variables and
// compares every variable with a std::string model after every statement.
class StringsModel : public Strings, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(StringsModel, RandomStatementsMatchTheModel) {
  std::mt19937 rng(GetParam());
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  auto chance = [&](uint32_t percent) { return pick(100) < percent; };

  enum kind { pool, dbl, fixed, fixed_dblock };
  struct var {
    kind k;
    kxs* s;
    std::string model;
  };
  std::vector<var> vars;
  std::vector<std::vector<uint8_t>> fixed_storage;
  fixed_storage.reserve(4);
  for (int i = 0; i < 28; ++i) vars.push_back({pool, kxs_new(0, 0), ""});
  for (int i = 0; i < 10; ++i) vars.push_back({dbl, kxs_new_cmem(0, 0), ""});
  for (uint32_t n : {1u, 7u, 30u}) {
    fixed_storage.emplace_back(n, ' ');
    vars.push_back({fixed, kxs_new_fixed(fixed_storage.back().data(), n, 0), std::string(n, ' ')});
  }
  for (uint32_t n : {5u, 12u}) {
    cmem_sp -= 16;
    std::memset(dblock + cmem_sp, ' ', n);
    vars.push_back({fixed_dblock, kxs_new_fixed(dblock + cmem_sp, n, 0), std::string(n, ' ')});
  }
  const uint32_t nvars = static_cast<uint32_t>(vars.size());
  const uint32_t mark = kxs_tmp_list_nexti;
  const uint64_t first_data_size = kxs_data_size;
  int cmem_compactions = 0;

  auto random_text = [&](size_t n) {
    std::string t(n, '\0');
    for (char& c : t) c = static_cast<char>(chance(60) ? "abcxyzABCXYZ "[pick(13)] : pick(256));
    return t;
  };
  auto random_length = [&](kind k) -> size_t {
    if (k == dbl) return pick(chance(80) ? 24 : 300);
    const uint32_t p = pick(100);
    return p < 60 ? pick(40) : p < 80 ? 40 + pick(2000) : 20000 + pick(230000);
  };
  auto limit = [](kind k) -> size_t { return k == dbl ? 400 : k == pool ? 400000 : SIZE_MAX; };
  auto fit = [](const var& v, const std::string& t) {
    if (v.k != fixed && v.k != fixed_dblock) return t;
    std::string r = t.substr(0, v.model.size());
    r.resize(v.model.size(), ' ');
    return r;
  };
  auto upper = [](std::string t) {
    for (char& c : t)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return t;
  };

  std::deque<std::string> literals;  // literal texts live until the statement ends
  // Builds a random expression and its expected text; a result too long for
  // the target becomes a short literal instead.
  auto build = [&](kind target, std::string& expect) -> kxs* {
    const uint32_t which = pick(9);
    const var& a = vars[pick(nvars)];
    const var& b = vars[pick(nvars)];
    kxs* r = nullptr;
    switch (which) {
      case 0: expect = a.model + b.model; if (expect.size() <= limit(target)) r = kxs_add(a.s, b.s); break;
      case 1: {
        const std::string& l = literals.emplace_back(random_text(pick(20)));
        expect = a.model + l;
        if (expect.size() <= limit(target)) r = kxs_add(a.s, lit(l));
        break;
      }
      case 2: expect = upper(a.model + b.model); if (expect.size() <= limit(target)) r = kxs_ucase(kxs_add(a.s, b.s)); break;
      case 3: expect = upper(a.model); if (expect.size() <= limit(target)) r = kxs_ucase(a.s); break;
      case 4: expect = a.model; if (expect.size() <= limit(target)) r = a.s; break;
      case 5: {
        const size_t whole = a.model.size() + b.model.size();
        const int32_t n = static_cast<int32_t>(pick(static_cast<uint32_t>(whole) + 3)) - 1;
        expect = (a.model + b.model).substr(0, n < 0 ? 0 : static_cast<size_t>(n));
        if (expect.size() <= limit(target)) r = kxs_left(kxs_add(a.s, b.s), n);
        break;
      }
      case 6: expect = random_text(random_length(target) % 300); r = tmp_cmem(expect); break;
      case 7: expect = a.model + a.model; if (expect.size() <= limit(target)) r = kxs_add(a.s, a.s); break;
      default: {
        const std::string& l = literals.emplace_back(random_text(random_length(target)));
        expect = l;
        if (expect.size() <= limit(target)) r = lit(l);
        break;
      }
    }
    if (r == nullptr) {
      const std::string& l = literals.emplace_back(random_text(pick(10)));
      expect = l;
      r = lit(l);
    }
    return r;
  };

  auto verify = [&](uint32_t step) -> ::testing::AssertionResult {
    for (uint32_t i = 0; i < nvars; ++i) {
      const var& v = vars[i];
      if (v.s->len != static_cast<int32_t>(v.model.size()) ||
          (v.s->len != 0 && std::memcmp(v.s->chars, v.model.data(), v.model.size()) != 0))
        return ::testing::AssertionFailure() << "step " << step << ": variable " << i << " holds " << v.s->len
                                             << " bytes, model " << v.model.size();
      if (v.k == dbl || v.k == fixed_dblock) {
        auto r = descriptor_current(v.s);
        if (!r) return r << " (step " << step << ", variable " << i << ")";
      }
    }
    auto r = pools_consistent();
    if (!r) return r << " (step " << step << ")";
    if (kxs_tmp_list_nexti != mark) return ::testing::AssertionFailure() << "step " << step << ": temporaries left";
    return ::testing::AssertionSuccess();
  };

  for (uint32_t step = 0; step < 1500; ++step) {
    var& v = vars[pick(nvars)];
    const uint32_t cmem_sp_before = kxs_cmem_sp;
    std::string expect;
    switch (pick(10)) {
      case 0: {  // PRINT-like use: the value stays a temporary until cleanup
        build(v.k, expect);
        break;
      }
      case 1: {  // release the variable and make it anew (procedure exit and entry)
        if (v.k == pool || v.k == dbl) {
          kxs_free(v.s);
          v.s = v.k == pool ? kxs_new(0, 0) : kxs_new_cmem(0, 0);
          v.model.clear();
        }
        break;
      }
      case 2: {  // a procedure: its own mark, a leftover below it that must survive
        kxs* below = tmp("below");
        const uint32_t inner = kxs_tmp_list_nexti;
        kxs* value = build(v.k, expect);
        kxs_set(v.s, value);
        v.model = fit(v, expect);
        build(v.k, expect);
        kxs_cleanup(inner, 0);
        ASSERT_EQ(kxs_tmp_list[below->tmp_list_index], below);
        ASSERT_EQ(text(below), "below");
        break;
      }
      case 3: {  // a string FUNCTION hands back its result variable as a temporary
        kxs* result = v.k == dbl ? kxs_new_cmem(0, 0) : kxs_new(0, 0);
        kxs_set(result, build(v.k, expect));
        kxs_set(v.s, kxs_maketmp(result));
        v.model = fit(v, expect);
        break;
      }
      case 4: {
        kxs_set(v.s, v.s);
        break;
      }
      default: {
        kxs_set(v.s, build(v.k, expect));
        v.model = fit(v, expect);
        break;
      }
    }
    if (step % 500 == 250) {
      // Now and then a burst that random statements reach only by luck: long
      // texts that outgrow kxs_data, and enough short-lived DBLOCK temporaries
      // to fill the DBLOCK heap and make it compact.
      for (int i = 0; i < 4; ++i) {
        var& big = vars[pick(28)];
        const std::string& l = literals.emplace_back(random_text(300000));
        kxs_set(big.s, lit(l));
        big.model = l;
      }
      for (int i = 0; i < 800; ++i) {
        tmp_cmem(random_text(100));
        kxs_cleanup(mark, 0);
      }
    }
    EXPECT_EQ(kxs_cleanup(mark, static_cast<int32_t>(step)), static_cast<int32_t>(step));
    literals.clear();
    if (kxs_cmem_sp < cmem_sp_before) ++cmem_compactions;
    ASSERT_TRUE(verify(step));
  }
  EXPECT_GT(kxs_data_size, first_data_size) << "the workload is meant to grow kxs_data";
  EXPECT_GT(cmem_compactions, 0) << "the workload is meant to compact the DBLOCK heap";
}

INSTANTIATE_TEST_SUITE_P(Seeds, StringsModel, ::testing::Values(1u, 2u, 3u));

// ---- Critical errors ----

TEST(StringsDeath, ImpossibleSizesAndCollisionsAreCriticalErrors) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  static const char few[4] = "abc";
  struct row {
    const char* name;
    void (*run)();
    const char* message;
  };
  const row rows[] = {
      // Only the lengths are looked at before the error: the texts are never read.
      {"a + b longer than INT32_MAX",
       [] { kxs_add(kxs_new_txt_len(few, INT32_MAX), kxs_new_txt_len(few, 2)); }, "Critical Error #12\nOut of memory"},
      {"negative pool size", [] { kxs_new(-1, 0); }, "Critical Error #12\nOut of memory"},
      {"DBLOCK string larger than the heap", [] { kxs_new_cmem(65536, 1); }, "Critical Error #13\nOut of memory"},
      {"DBLOCK descriptor reaching into the heap",
       [] {
         kxs_new_cmem(65536 - 256 - 2, 1);
         kxs_new_cmem(0, 0);
       },
       "Critical Error #14\nOut of memory"},
      {"fixed-length descriptor reaching into the heap",
       [] {
         kxs_new_cmem(65536 - 256 - 2, 1);
         kxs_new_fixed(dblock + 65535, 1, 0);
       },
       "Critical Error #15\nOut of memory"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    kxs_reset_for_tests();
    EXPECT_EXIT(r.run(), ::testing::ExitedWithCode(0), r.message);
  }
}

}  // namespace
