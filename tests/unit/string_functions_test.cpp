// String functions and statements: clamping of positions and counts, which
// temporaries are consumed or left alone, unsigned byte order, error 5.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "strings/strings.h"

namespace {

std::string text(const kxs* s) { return std::string(reinterpret_cast<const char*>(s->chars), static_cast<size_t>(s->len)); }

void fill(kxs* s, const std::string& t) {
  if (!t.empty()) std::memcpy(s->chars, t.data(), t.size());
}

bool released(const kxs* s) {
  for (uint32_t i = 0; i < kxs_malloc_freed_num; ++i)
    if (kxs_malloc_freed[i] == s) return true;
  return false;
}

// Live temporaries listed at or above mark.
std::vector<kxs*> live_temporaries(uint32_t mark) {
  std::vector<kxs*> out;
  for (uint32_t i = mark; i < kxs_tmp_list_nexti; ++i)
    if (kxs_tmp_list[i] != kxs_dead_slot() && kxs_tmp_list[i] != nullptr) out.push_back(kxs_tmp_list[i]);
  return out;
}

// Every kind of string an argument can be.
enum class kind { pool, pool_tmp, literal, dblock, dblock_tmp, fixed, fixed_tmp };
const kind all_kinds[] = {kind::pool, kind::pool_tmp, kind::literal, kind::dblock, kind::dblock_tmp, kind::fixed,
                          kind::fixed_tmp};

const char* name_of(kind k) {
  switch (k) {
    case kind::pool: return "pool";
    case kind::pool_tmp: return "pool temporary";
    case kind::literal: return "literal";
    case kind::dblock: return "DBLOCK";
    case kind::dblock_tmp: return "DBLOCK temporary";
    case kind::fixed: return "fixed-length";
    case kind::fixed_tmp: return "fixed-length temporary";
  }
  return "?";
}

bool is_temporary(kind k) { return k == kind::pool_tmp || k == kind::literal || k == kind::dblock_tmp || k == kind::fixed_tmp; }

class StringFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    kxs_reset_for_tests();
    new_error.store(0);
    kxevent.store(0);
  }
  void TearDown() override {
    new_error.store(0);
    kxevent.store(0);
  }

  // A string of the given kind holding t. Literal and fixed-length texts live in
  // storage_, which outlives the test.
  kxs* make(kind k, const std::string& t) {
    const auto n = static_cast<int32_t>(t.size());
    kxs* s = nullptr;
    switch (k) {
      case kind::pool: s = kxs_new(n, 0); break;
      case kind::pool_tmp: s = kxs_new(n, 1); break;
      case kind::dblock: s = kxs_new_cmem(n, 0); break;
      case kind::dblock_tmp: s = kxs_new_cmem(n, 1); break;
      case kind::literal:
        storage_.emplace_back(t.begin(), t.end());
        storage_.back().push_back(0);
        return kxs_new_txt_len(reinterpret_cast<const char*>(storage_.back().data()), n);
      case kind::fixed:
      case kind::fixed_tmp:
        storage_.emplace_back(t.begin(), t.end());
        storage_.back().push_back(0);
        return kxs_new_fixed(storage_.back().data(), static_cast<uint32_t>(n), k == kind::fixed_tmp ? 1 : 0);
    }
    fill(s, t);
    return s;
  }

  std::vector<std::vector<uint8_t>> storage_;
};

// ---- Result-building functions: one harness for every argument kind ----

struct consumer_row {
  const char* call;
  std::function<kxs*(kxs*)> fn;
  std::string in;
  std::string expect;
};

const std::string high_bytes = "a\x80z\xe4\xff{`@[Z";

std::vector<consumer_row> consumer_rows() {
  using R = consumer_row;
  auto left = [](int32_t n) { return [n](kxs* s) { return kxs_left(s, n); }; };
  auto right = [](int32_t n) { return [n](kxs* s) { return kxs_right(s, n); }; };
  auto mid = [](int32_t start, int32_t n) { return [start, n](kxs* s) { return func_mid(s, start, n, 1); }; };
  auto mid_open = [](int32_t start) { return [start](kxs* s) { return func_mid(s, start, 0, 0); }; };
  return {
      R{"UCASE$ mixed", kxs_ucase, "Mixed Case 123", "MIXED CASE 123"},
      R{"UCASE$ only a to z change", kxs_ucase, high_bytes, "A\x80Z\xe4\xff{`@[Z"},
      R{"UCASE$ nothing to change", kxs_ucase, "NO LOWER \xe4", "NO LOWER \xe4"},
      R{"UCASE$ empty", kxs_ucase, "", ""},
      R{"LCASE$ mixed", kxs_lcase, "Mixed Case 123", "mixed case 123"},
      R{"LCASE$ only A to Z change", kxs_lcase, high_bytes, "a\x80z\xe4\xff{`@[z"},
      R{"LCASE$ nothing to change", kxs_lcase, "no upper \xc4", "no upper \xc4"},
      R{"LEFT$ 2", left(2), "abc", "ab"},
      R{"LEFT$ 0", left(0), "abc", ""},
      R{"LEFT$ -1", left(-1), "abc", ""},
      R{"LEFT$ INT32_MIN", left(INT32_MIN), "abc", ""},
      R{"LEFT$ len", left(3), "abc", "abc"},
      R{"LEFT$ 5", left(5), "abc", "abc"},
      R{"LEFT$ INT32_MAX", left(INT32_MAX), "abc", "abc"},
      R{"LEFT$ of empty", left(1), "", ""},
      R{"RIGHT$ 2", right(2), "abc", "bc"},
      R{"RIGHT$ 0", right(0), "abc", ""},
      R{"RIGHT$ -1", right(-1), "abc", ""},
      R{"RIGHT$ INT32_MIN", right(INT32_MIN), "abc", ""},
      R{"RIGHT$ 5", right(5), "abc", "abc"},
      R{"RIGHT$ INT32_MAX", right(INT32_MAX), "abc", "abc"},
      R{"MID$ -1, 4 cuts before position 1", mid(-1, 4), "abcdef", "ab"},
      R{"MID$ 0, 2", mid(0, 2), "abc", "a"},
      R{"MID$ 0, 1", mid(0, 1), "abc", ""},
      R{"MID$ 2, 1", mid(2, 1), "abc", "b"},
      R{"MID$ 2, 0", mid(2, 0), "abc", ""},
      R{"MID$ 2, -1", mid(2, -1), "abc", ""},
      R{"MID$ 1, 3 whole", mid(1, 3), "abc", "abc"},
      R{"MID$ 1, 9 whole", mid(1, 9), "abc", "abc"},
      R{"MID$ 3, 1 last", mid(3, 1), "abc", "c"},
      R{"MID$ 4, 1 past the end", mid(4, 1), "abc", ""},
      R{"MID$ 5, 1", mid(5, 1), "abc", ""},
      R{"MID$ 2, INT32_MAX", mid(2, INT32_MAX), "abc", "bc"},
      R{"MID$ INT32_MAX, INT32_MAX", mid(INT32_MAX, INT32_MAX), "abc", ""},
      R{"MID$ INT32_MIN, INT32_MAX", mid(INT32_MIN, INT32_MAX), "abc", ""},
      R{"MID$ -2147483646, INT32_MAX", mid(-2147483646, INT32_MAX), "abc", ""},
      R{"MID$ INT32_MIN, INT32_MIN", mid(INT32_MIN, INT32_MIN), "abc", ""},
      R{"MID$ -1, INT32_MAX", mid(-1, INT32_MAX), "abc", "abc"},
      R{"MID$ 1, 1 of empty", mid(1, 1), "", ""},
      R{"MID$ 3 to the end", mid_open(3), "abcdef", "cdef"},
      R{"MID$ 1 to the end", mid_open(1), "abc", "abc"},
      R{"MID$ 0 to the end", mid_open(0), "abc", "abc"},
      R{"MID$ INT32_MIN to the end", mid_open(INT32_MIN), "abc", "abc"},
      R{"MID$ 3 to the end, last", mid_open(3), "abc", "c"},
      R{"MID$ 4 to the end", mid_open(4), "abc", ""},
      R{"MID$ 5 to the end", mid_open(5), "abc", ""},
      R{"MID$ INT32_MAX to the end", mid_open(INT32_MAX), "abc", ""},
      R{"LTRIM$", kxs_ltrim, "  a b  ", "a b  "},
      R{"LTRIM$ only spaces", kxs_ltrim, "    ", ""},
      R{"LTRIM$ tab is kept", kxs_ltrim, "\t a", "\t a"},
      R{"LTRIM$ nothing", kxs_ltrim, "a ", "a "},
      R{"LTRIM$ empty", kxs_ltrim, "", ""},
      R{"RTRIM$", kxs_rtrim, "  a b  ", "  a b"},
      R{"RTRIM$ only spaces", kxs_rtrim, " ", ""},
      R{"RTRIM$ NUL is kept", kxs_rtrim, std::string("a \0", 3), std::string("a \0", 3)},
      R{"RTRIM$ nothing", kxs_rtrim, " a", " a"},
  };
}

// For every row and every argument kind: the text of the result; the argument
// itself when the result equals it, and always for a temporary pool string
// (changed in place); otherwise a new temporary. A temporary argument that is not
// the result is released; a permanent one is left as it was. Afterwards the only
// live temporary above the mark is a temporary result.
TEST_F(StringFunctions, ResultBuildersConsumeTemporaryArguments) {
  for (const consumer_row& row : consumer_rows()) {
    for (kind k : all_kinds) {
      SCOPED_TRACE(std::string(row.call) + " of a " + name_of(k) + " string");
      kxs_reset_for_tests();
      kxs* s = make(k, row.in);
      const uint32_t mark = kxs_tmp_list_nexti - (is_temporary(k) ? 1 : 0);
      const uint8_t* chars = s->chars;
      kxs* out = row.fn(s);
      EXPECT_EQ(text(out), row.expect);
      const bool same = k == kind::pool_tmp || row.expect == row.in;
      EXPECT_EQ(out == s, same);
      if (out != s) {
        EXPECT_TRUE(out->is_tmp);
        EXPECT_FALSE(out->is_cmem || out->is_fixed || out->is_readonly);
        EXPECT_EQ(released(s), is_temporary(k));
      }
      if (!is_temporary(k)) {
        EXPECT_FALSE(released(s));
        EXPECT_EQ(s->chars, chars);
        EXPECT_EQ(text(s), row.in);
      }
      const std::vector<kxs*> live = live_temporaries(mark);
      if (out->is_tmp) {
        EXPECT_EQ(live, std::vector<kxs*>{out});
      } else {
        EXPECT_TRUE(live.empty());
      }
      if (k == kind::pool_tmp) {
        // Shortening from the front advances chars; nothing is copied.
        EXPECT_GE(out->chars, chars);
        EXPECT_LE(out->chars + out->len, chars + row.in.size());
      }
      kxs_cleanup(mark, 0);
    }
  }
  EXPECT_EQ(new_error.load(), 0) << "no result-building function raises an error";
}

// A new result that makes kxs_data grow moves the permanent argument's
// characters; the copy must come from their new place.
TEST_F(StringFunctions, CopiesSurviveGrowthOfThePool) {
  const std::vector<std::pair<const char*, std::function<kxs*(kxs*)>>> calls = {
      {"LEFT$", [](kxs* s) { return kxs_left(s, s->len - 1); }},
      {"RIGHT$", [](kxs* s) { return kxs_right(s, s->len - 1); }},
      {"MID$", [](kxs* s) { return func_mid(s, 2, s->len - 2, 1); }},
      {"UCASE$", kxs_ucase},
      {"LTRIM$", kxs_ltrim},
  };
  for (const auto& [name, fn] : calls) {
    SCOPED_TRACE(name);
    kxs_reset_for_tests();
    std::string big(900000, 'q');
    big[0] = ' ';
    big[1] = 'x';
    big.back() = 'y';
    kxs* filler = kxs_new(100000, 0);
    kxs* s = make(kind::pool, big);
    kxs_free(filler);  // leaves a hole that compaction closes by moving s
    const uint8_t* before = s->chars;
    kxs* out = fn(s);
    EXPECT_NE(out, s);
    EXPECT_NE(s->chars, before) << "compaction was expected to move the argument";
    EXPECT_EQ(text(s), big);
    std::string want = big;
    if (std::string(name) == "LEFT$") want = big.substr(0, big.size() - 1);
    if (std::string(name) == "RIGHT$") want = big.substr(1);
    if (std::string(name) == "MID$") want = big.substr(1, big.size() - 2);
    if (std::string(name) == "UCASE$") {
      for (char& c : want)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    if (std::string(name) == "LTRIM$") want = big.substr(1);
    EXPECT_EQ(text(out), want);
  }
}

// ---- New strings from numbers ----

TEST_F(StringFunctions, ChrSpaceAndStringMakeNewTemporaries) {
  struct row {
    const char* call;
    std::function<kxs*()> fn;
    std::string expect;
    int32_t err;
  };
  const std::vector<row> rows = {
      {"CHR$(0)", [] { return func_chr(0); }, std::string(1, '\0'), 0},
      {"CHR$(65)", [] { return func_chr(65); }, "A", 0},
      {"CHR$(255)", [] { return func_chr(255); }, "\xff", 0},
      {"CHR$(-1)", [] { return func_chr(-1); }, "", 5},
      {"CHR$(256)", [] { return func_chr(256); }, "", 5},
      {"CHR$(INT32_MIN)", [] { return func_chr(INT32_MIN); }, "", 5},
      {"SPACE$(3)", [] { return func_space(3); }, "   ", 0},
      {"SPACE$(0)", [] { return func_space(0); }, "", 0},
      {"SPACE$(-5)", [] { return func_space(-5); }, "", 0},
      {"SPACE$(INT32_MIN)", [] { return func_space(INT32_MIN); }, "", 0},
      {"STRING$(3, 321)", [] { return func_string(3, 321); }, "AAA", 0},
      {"STRING$(2, -1)", [] { return func_string(2, -1); }, "\xff\xff", 0},
      {"STRING$(2, INT32_MIN)", [] { return func_string(2, INT32_MIN); }, std::string(2, '\0'), 0},
      {"STRING$(-1, 65)", [] { return func_string(-1, 65); }, "", 0},
      {"STRING$(0, 65)", [] { return func_string(0, 65); }, "", 0},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE(rw.call);
    kxs_reset_for_tests();
    new_error.store(0);
    const uint32_t mark = kxs_tmp_list_nexti;
    kxs* out = rw.fn();
    EXPECT_EQ(text(out), rw.expect);
    EXPECT_EQ(live_temporaries(mark), std::vector<kxs*>{out});
    EXPECT_FALSE(out->is_cmem || out->is_fixed || out->is_readonly);
    EXPECT_EQ(new_error.load(), rw.err);
  }
}

// ---- INSTR ----

TEST_F(StringFunctions, InstrPositions) {
  struct row {
    int32_t passed;
    int32_t start;
    std::string s, find;
    int32_t expect;
  };
  const std::string nul_text("a\0b\0c", 5);
  const std::vector<row> rows = {
      {0, 0, "abcabc", "c", 3},
      {1, 4, "abcabc", "c", 6},
      {1, 0, "abc", "b", 2},
      {1, 2, "abc", "", 2},
      {0, 0, "", "", 0},
      {1, 4, "abc", "", 0},
      {1, 3, "abc", "", 3},
      {1, 0, "abc", "", 0},
      {1, -5, "abc", "", 0},
      {0, 0, "abc", "", 1},
      {0, 0, "", "a", 0},
      {1, INT32_MIN, "abc", "c", 3},
      {1, INT32_MAX, "abc", "c", 0},
      {1, INT32_MAX, "abc", "", 0},
      {1, 3, "abc", "c", 3},
      {1, 3, "abc", "bc", 0},
      {1, 2, "abc", "bc", 2},
      {0, 0, "abc", "abcd", 0},
      {0, 0, "abc", "abc", 1},
      {0, 0, "abcab", "abx", 0},
      {1, 3, "abcab", "abc", 0},
      {0, 0, "aaaaaab", "aab", 5},
      {0, 0, "ABC", "b", 0},
      {0, 0, "xAbAB", "AB", 4},
      {0, 0, nul_text, std::string("\0c", 2), 4},
      {0, 0, "\x80\xff\x7f", "\xff\x7f", 2},
      {1, 100, "abc", "a", 0},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE("INSTR(" + std::to_string(rw.start) + "/" + std::to_string(rw.passed) + ", \"" + rw.s + "\", \"" +
                 rw.find + "\")");
    for (kind k : {kind::pool, kind::pool_tmp, kind::literal, kind::dblock_tmp}) {
      kxs_reset_for_tests();
      const uint32_t mark = kxs_tmp_list_nexti;
      kxs* s = make(k, rw.s);
      kxs* find = make(k, rw.find);
      const std::vector<kxs*> live = live_temporaries(mark);
      EXPECT_EQ(func_instr(rw.start, s, find, rw.passed), rw.expect) << name_of(k);
      EXPECT_EQ(live_temporaries(mark), live) << "INSTR leaves temporaries alone";
      EXPECT_EQ(text(s), rw.s);
      EXPECT_EQ(text(find), rw.find);
    }
  }
  EXPECT_EQ(new_error.load(), 0);
}

TEST_F(StringFunctions, InstrFindsTheFirstMatchInALongText) {
  std::string hay(1 << 20, 'a');
  const std::string needle = std::string(999, 'a') + "b";
  hay.replace(hay.size() - 1000, 1000, needle);
  hay.replace(5000, 1000, needle);
  kxs* s = make(kind::pool, hay);
  kxs* find = make(kind::pool, needle);
  EXPECT_EQ(func_instr(0, s, find, 0), 5001);
  EXPECT_EQ(func_instr(5001, s, find, 1), 5001);
  EXPECT_EQ(func_instr(5002, s, find, 1), static_cast<int32_t>(hay.size() - 999));
  EXPECT_EQ(func_instr(static_cast<int32_t>(hay.size() - 998), s, find, 1), 0);
}

// ---- MID$ statement, LSET, RSET ----

TEST_F(StringFunctions, MidStatementOverwritesInPlace) {
  struct row {
    int32_t start, n, passed;
    std::string s;
    std::string expect;
  };
  const std::vector<row> rows = {
      {3, 0, 0, "XY", "abXYef"},
      {0, 3, 1, "XYZ", "YZcdef"},
      {5, 0, 0, "WXYZ", "abcdWX"},
      {1, 0, 0, "XY", "XYcdef"},
      {6, 0, 0, "XYZ", "abcdeX"},
      {7, 0, 0, "XYZ", "abcdef"},
      {INT32_MAX, 0, 0, "XYZ", "abcdef"},
      {3, INT32_MAX, 1, "XY", "abXYef"},
      {2, 10, 1, "XY", "aXYdef"},
      {2, 1, 1, "XY", "aXcdef"},
      {2, 0, 1, "XY", "abcdef"},
      {2, -1, 1, "XY", "abcdef"},
      {2, INT32_MIN, 1, "XY", "abcdef"},
      {-1, 5, 1, "VWXYZ", "XYZdef"},
      {-1, 0, 0, "VWXYZ", "XYZdef"},
      {-3, 0, 0, "VWXYZ", "Zbcdef"},
      {-4, 0, 0, "VWXYZ", "abcdef"},
      {-5, 10, 1, "XY", "abcdef"},
      {INT32_MIN, 3, 1, "XYZ", "abcdef"},
      {INT32_MIN, INT32_MAX, 1, "XYZ", "abcdef"},
      {INT32_MIN, 0, 0, "XYZ", "abcdef"},
      {1, 0, 0, "", "abcdef"},
      {1, 0, 0, "0123456789", "012345"},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE("MID$(d$, " + std::to_string(rw.start) + ", " + std::to_string(rw.n) + "/" +
                 std::to_string(rw.passed) + ") = \"" + rw.s + "\"");
    for (kind dk : {kind::pool, kind::dblock, kind::fixed}) {
      kxs_reset_for_tests();
      kxs* d = make(dk, "abcdef");
      const uint32_t mark = kxs_tmp_list_nexti;
      kxs* s = make(kind::pool_tmp, rw.s);
      const uint8_t* chars = d->chars;
      sub_mid(d, rw.start, rw.n, s, rw.passed);
      EXPECT_EQ(text(d), rw.expect) << name_of(dk);
      EXPECT_EQ(d->chars, chars);
      EXPECT_EQ(text(s), rw.s);
      EXPECT_EQ(live_temporaries(mark), std::vector<kxs*>{s}) << "the source is left to the statement's cleanup";
      if (dk == kind::dblock) {
        const uint8_t* desc = dblock + d->cmem_desc_offset;
        EXPECT_EQ(desc[0] | (desc[1] << 8), 6) << "the length never changes";
      }
    }
  }
}

TEST_F(StringFunctions, MidStatementOnItselfIsOverlapSafe) {
  struct row {
    int32_t start, n, passed;
    std::string expect;
  };
  const std::vector<row> rows = {
      {2, 0, 0, "aabcde"},
      {1, 0, 0, "abcdef"},
      {0, 4, 1, "bcddef"},
      {-2, 0, 0, "defdef"},
      {4, 2, 1, "abcabf"},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE("MID$(d$, " + std::to_string(rw.start) + ", " + std::to_string(rw.n) + ") = d$");
    kxs_reset_for_tests();
    kxs* d = make(kind::pool, "abcdef");
    sub_mid(d, rw.start, rw.n, d, rw.passed);
    EXPECT_EQ(text(d), rw.expect);
  }
}

TEST_F(StringFunctions, MidStatementLeavesNothingstringAndPendingErrorsAlone) {
  init_permanent_strings();
  kxs* src = make(kind::pool, "XY");
  const uint8_t* chars = nothingstring->chars;
  sub_mid(nothingstring, 1, 0, src, 0);
  EXPECT_EQ(nothingstring->len, 0);
  EXPECT_EQ(nothingstring->chars, chars);

  kxs* d = make(kind::pool, "abcdef");
  error(5);
  sub_mid(d, 1, 0, src, 0);
  sub_lset(d, src);
  sub_rset(d, src);
  EXPECT_EQ(text(d), "abcdef");
  EXPECT_EQ(new_error.load(), 5);
}

TEST_F(StringFunctions, LsetAndRsetKeepTheLength) {
  struct row {
    bool right;
    std::string s;
    std::string expect;
  };
  const std::vector<row> rows = {
      {false, "abcdef", "abcd"}, {false, "ab", "ab  "}, {false, "abcd", "abcd"}, {false, "", "    "},
      {true, "abcdef", "abcd"},  {true, "ab", "  ab"},  {true, "abcd", "abcd"},  {true, "", "    "},
      {true, "\xff", "   \xff"},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE(std::string(rw.right ? "RSET" : "LSET") + " \"" + rw.s + "\"");
    for (kind dk : {kind::fixed, kind::pool, kind::dblock}) {
      kxs_reset_for_tests();
      kxs* d = make(dk, "....");
      const uint32_t mark = kxs_tmp_list_nexti;
      kxs* s = make(kind::literal, rw.s);
      if (rw.right) {
        sub_rset(d, s);
      } else {
        sub_lset(d, s);
      }
      EXPECT_EQ(text(d), rw.expect) << name_of(dk);
      EXPECT_EQ(live_temporaries(mark), std::vector<kxs*>{s});
    }
  }
}

// ---- Comparisons, ASC, LEN ----

TEST_F(StringFunctions, ComparisonsUseUnsignedBytesAndPrefixes) {
  struct row {
    std::string a, b;
    int order;  // sign of a compared with b
  };
  const std::vector<row> rows = {
      {"AB", "ABC", -1},
      {"ABC", "AB", 1},
      {"", "A", -1},
      {"A", "", 1},
      {"", "", 0},
      {"a", "B", 1},
      {"ABC", "ABC", 0},
      {"\x80", "A", 1},
      {"\xff", "\x7f", 1},
      {"A\x80", "A\x7f", 1},
      {std::string(1, '\0'), "", 1},
      {std::string("a\0", 2), "a", 1},
      {std::string("a\0b", 3), std::string("a\0c", 3), -1},
      {"abd", "abcz", 1},
      {"abc", "abd", -1},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE("\"" + rw.a + "\" vs \"" + rw.b + "\"");
    kxs_reset_for_tests();
    kxs* a = make(kind::pool_tmp, rw.a);
    kxs* b = make(kind::literal, rw.b);
    const std::vector<kxs*> live = live_temporaries(1);
    EXPECT_EQ(kxs_equal(a, b), rw.order == 0 ? -1 : 0);
    EXPECT_EQ(kxs_notequal(a, b), rw.order != 0 ? -1 : 0);
    EXPECT_EQ(kxs_lessthan(a, b), rw.order < 0 ? -1 : 0);
    EXPECT_EQ(kxs_greaterthan(a, b), rw.order > 0 ? -1 : 0);
    EXPECT_EQ(kxs_lessorequal(a, b), rw.order <= 0 ? -1 : 0);
    EXPECT_EQ(kxs_greaterorequal(a, b), rw.order >= 0 ? -1 : 0);
    EXPECT_EQ(live_temporaries(1), live) << "comparisons leave temporaries alone";
    EXPECT_EQ(text(a), rw.a);
  }
}

TEST_F(StringFunctions, AscAndLen) {
  struct row {
    std::string s;
    bool with_pos;
    uint32_t pos;
    int32_t expect, err;
  };
  const std::vector<row> rows = {
      {"A", false, 0, 65, 0},
      {"\xff", false, 0, 255, 0},
      {"\x80x", false, 0, 128, 0},
      {"", false, 0, 0, 5},
      {"abc", true, 1, 97, 0},
      {"abc", true, 3, 99, 0},
      {"abc", true, 0, 0, 5},
      {"abc", true, 4, 0, 5},
      {"abc", true, 0xFFFFFFFFu, 0, 5},
      {"abc", true, 0x80000000u, 0, 5},
      {"", true, 1, 0, 5},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE("ASC(\"" + rw.s + "\"" + (rw.with_pos ? ", " + std::to_string(rw.pos) : "") + ")");
    kxs_reset_for_tests();
    new_error.store(0);
    kxs* s = make(kind::pool_tmp, rw.s);
    EXPECT_EQ(rw.with_pos ? kxs_asc(s, rw.pos) : kxs_asc(s), rw.expect);
    EXPECT_EQ(new_error.load(), rw.err);
    EXPECT_EQ(kxs_len(s), static_cast<int32_t>(rw.s.size()));
    EXPECT_EQ(live_temporaries(1), std::vector<kxs*>{s});
  }
}

}  // namespace
