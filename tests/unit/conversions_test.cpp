// Binary conversions: exact little-endian layouts and round trips for every
// numeric type, bit fields, _FLOAT, the minimum string lengths, which strings
// become temporaries, and IEEE <-> MBF against vectors worked out with exact
// rational arithmetic by tools/mbf_vectors.py.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "frame/frame.h"
#include "strings/strings.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes bytes_of(const kxs* s) { return bytes(s->chars, s->chars + s->len); }

bytes repeat(uint8_t b, size_t n) { return bytes(n, b); }

bytes join(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
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

// Equal values, telling -0 from 0; any NaN equals any NaN.
bool same_value(long double a, long double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

// The 10 bytes this host keeps a long double in (it is the x87 format here).
bytes native_x87(long double v) {
  bytes out(10);
  std::memcpy(out.data(), &v, 10);
  return out;
}

constexpr bool host_is_x87 = std::numeric_limits<long double>::digits == 64 &&
                             std::numeric_limits<long double>::max_exponent == 16384 &&
                             std::endian::native == std::endian::little;

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

// Bytes that end where an unreadable page begins: reading one byte past them
// faults.
class guarded_page {
 public:
  guarded_page() {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* p = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    base_ = static_cast<uint8_t*>(p);
    if (mprotect(base_ + page_, page_, PROT_NONE) != 0) {
      munmap(base_, 2 * page_);
      base_ = nullptr;
    }
  }
  ~guarded_page() {
    if (base_ != nullptr) munmap(base_, 2 * page_);
  }
  guarded_page(const guarded_page&) = delete;
  guarded_page& operator=(const guarded_page&) = delete;
  bool ok() const { return base_ != nullptr; }
  // A permanent fixed-length string holding b, its last byte the last readable one.
  kxs* string(const bytes& b) {
    uint8_t* at = base_ + page_ - b.size();
    if (!b.empty()) std::memcpy(at, b.data(), b.size());
    return kxs_new_fixed(at, static_cast<uint32_t>(b.size()), 0);
  }

 private:
  size_t page_ = 0;
  uint8_t* base_ = nullptr;
};

class Conversions : public ::testing::Test {
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
  void clear_error() {
    new_error.store(0);
    kxevent.store(0);
  }

  // A string of the given kind holding b. Literal and fixed-length bytes live in
  // storage_, which outlives the test.
  kxs* make(kind k, const bytes& b) {
    const auto n = static_cast<int32_t>(b.size());
    kxs* s = nullptr;
    switch (k) {
      case kind::pool: s = kxs_new(n, 0); break;
      case kind::pool_tmp: s = kxs_new(n, 1); break;
      case kind::dblock: s = kxs_new_cmem(n, 0); break;
      case kind::dblock_tmp: s = kxs_new_cmem(n, 1); break;
      case kind::literal:
        storage_.push_back(b);
        return kxs_new_txt_len(reinterpret_cast<const char*>(storage_.back().data()), n);
      case kind::fixed:
      case kind::fixed_tmp:
        storage_.push_back(b);
        return kxs_new_fixed(storage_.back().data(), static_cast<uint32_t>(n), k == kind::fixed_tmp ? 1 : 0);
    }
    if (n != 0) std::memcpy(s->chars, b.data(), b.size());
    return s;
  }
  kxs* tmp(const bytes& b) { return make(kind::pool_tmp, b); }

 public:
  kxs* make_tmp(const bytes& b) { return tmp(b); }

 protected:
  std::vector<bytes> storage_;
};

// The unpacking functions return types that hold every value of their type.
static_assert(std::is_same_v<decltype(string2b(nullptr)), int32_t>);
static_assert(std::is_same_v<decltype(string2ub(nullptr)), int32_t>);
static_assert(std::is_same_v<decltype(string2ui(nullptr)), int32_t>);
static_assert(std::is_same_v<decltype(string2ul(nullptr)), uint32_t>);
static_assert(std::is_same_v<decltype(string2ui64(nullptr)), uint64_t>);
static_assert(std::is_same_v<decltype(string2ubit(nullptr, 1)), uint64_t>);
static_assert(std::is_same_v<decltype(string2f(nullptr)), long double>);

// ---- Packing: layouts and temporaries ----

TEST_F(Conversions, PackingLaysOutLittleEndianBytesInANewTemporary) {
  struct row {
    const char* call;
    std::function<kxs*()> fn;
    bytes expect;
  };
  const bytes x87_zeros = repeat(0, 22);
  const std::vector<row> rows = {
      {"b2string(-1)", [] { return b2string(-1); }, {0xFF}},
      {"b2string(-128)", [] { return b2string(-128); }, {0x80}},
      {"b2string(127)", [] { return b2string(127); }, {0x7F}},
      {"ub2string(255)", [] { return ub2string(255); }, {0xFF}},
      {"ub2string(0)", [] { return ub2string(0); }, {0x00}},
      {"i2string(-2)", [] { return i2string(-2); }, {0xFE, 0xFF}},
      {"i2string(0x1234)", [] { return i2string(0x1234); }, {0x34, 0x12}},
      {"i2string(INT16_MIN)", [] { return i2string(INT16_MIN); }, {0x00, 0x80}},
      {"ui2string(65534)", [] { return ui2string(65534); }, {0xFE, 0xFF}},
      {"l2string(0x12345678)", [] { return l2string(0x12345678); }, {0x78, 0x56, 0x34, 0x12}},
      {"l2string(-2)", [] { return l2string(-2); }, {0xFE, 0xFF, 0xFF, 0xFF}},
      {"l2string(INT32_MIN)", [] { return l2string(INT32_MIN); }, {0x00, 0x00, 0x00, 0x80}},
      {"ul2string(UINT32_MAX)", [] { return ul2string(UINT32_MAX); }, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"ul2string(0x80000001)", [] { return ul2string(0x80000001u); }, {0x01, 0x00, 0x00, 0x80}},
      {"i642string(0x0102030405060708)", [] { return i642string(0x0102030405060708); },
       {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
      {"i642string(-1)", [] { return i642string(-1); }, repeat(0xFF, 8)},
      {"i642string(INT64_MIN)", [] { return i642string(INT64_MIN); }, join(repeat(0, 7), {0x80})},
      {"ui642string(UINT64_MAX)", [] { return ui642string(UINT64_MAX); }, repeat(0xFF, 8)},
      {"ui642string(0x8000000000000001)", [] { return ui642string(0x8000000000000001u); },
       {0x01, 0, 0, 0, 0, 0, 0, 0x80}},
      {"s2string(1)", [] { return s2string(1.0f); }, {0x00, 0x00, 0x80, 0x3F}},
      {"s2string(-2.5)", [] { return s2string(-2.5f); }, {0x00, 0x00, 0x20, 0xC0}},
      {"s2string(-0)", [] { return s2string(-0.0f); }, {0x00, 0x00, 0x00, 0x80}},
      {"s2string(inf)", [] { return s2string(std::numeric_limits<float>::infinity()); }, {0x00, 0x00, 0x80, 0x7F}},
      {"s2string(smallest denormal)", [] { return s2string(std::numeric_limits<float>::denorm_min()); },
       {0x01, 0x00, 0x00, 0x00}},
      {"d2string(1)", [] { return d2string(1.0); }, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {"d2string(0.1)", [] { return d2string(0.1); }, {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F}},
      {"d2string(-0)", [] { return d2string(-0.0); }, join(repeat(0, 7), {0x80})},
      {"f2string(0)", [] { return f2string(0.0L); }, repeat(0, 32)},
      {"f2string(1)", [] { return f2string(1.0L); }, join({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}, x87_zeros)},
      {"f2string(-2.5)", [] { return f2string(-2.5L); }, join({0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}, x87_zeros)},
      {"f2string(-inf)", [] { return f2string(-std::numeric_limits<long double>::infinity()); },
       join({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}, x87_zeros)},
      {"f2string(2^-16445), the smallest denormal", [] { return f2string(0x1p-16445L); },
       join({1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, x87_zeros)},
      {"bit2string(12, -1)", [] { return bit2string(12, -1); }, {0xFF, 0x0F}},
      {"ubit2string(64, UINT64_MAX)", [] { return ubit2string(64, UINT64_MAX); }, repeat(0xFF, 8)},
      {"func_mksmbf(1)", [] { return func_mksmbf(1.0f); }, {0x00, 0x00, 0x00, 0x81}},
      {"func_mkdmbf(2)", [] { return func_mkdmbf(2.0); }, join(repeat(0, 7), {0x82})},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE(rw.call);
    kxs_reset_for_tests();
    // The result's bytes come from a freed string full of 0xAA: every byte the
    // result holds must be written.
    kxs* dirty = kxs_new(64, 1);
    std::memset(dirty->chars, 0xAA, 64 + kxs_slack);
    kxs_free(dirty);
    kxs* keep = make(kind::pool, {0x55});
    const uint32_t mark = kxs_tmp_list_nexti;
    kxs* out = rw.fn();
    EXPECT_EQ(bytes_of(out), rw.expect);
    EXPECT_EQ(live_temporaries(mark), std::vector<kxs*>{out});
    EXPECT_FALSE(out->is_cmem || out->is_fixed || out->is_readonly);
    EXPECT_EQ(bytes_of(keep), bytes{0x55});
    EXPECT_EQ(new_error.load(), 0);
  }
}

// ---- Unpacking: values, lengths, arguments left alone ----

TEST_F(Conversions, UnpackingReadsTheFirstBytes) {
  struct signed_row {
    const char* call;
    int64_t (*fn)(kxs*);
    bytes in;
    int64_t expect;
  };
  const std::vector<signed_row> signed_rows = {
      {"string2b", [](kxs* s) -> int64_t { return string2b(s); }, {0x80}, -128},
      {"string2b", [](kxs* s) -> int64_t { return string2b(s); }, {0x7F, 0xFF}, 127},
      {"string2i", [](kxs* s) -> int64_t { return string2i(s); }, {0xFE, 0xFF}, -2},
      {"string2i", [](kxs* s) -> int64_t { return string2i(s); }, {0x34, 0x12, 0xFF}, 0x1234},
      {"string2l", [](kxs* s) -> int64_t { return string2l(s); }, {0xFE, 0xFF, 0xFF, 0xFF}, -2},
      {"string2l", [](kxs* s) -> int64_t { return string2l(s); }, {0x00, 0x00, 0x00, 0x80, 0x01}, INT32_MIN},
      {"string2i64", [](kxs* s) -> int64_t { return string2i64(s); }, repeat(0xFF, 8), -1},
      {"string2i64", [](kxs* s) -> int64_t { return string2i64(s); },
       {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0xFF}, 0x0102030405060708},
      {"string2i64", [](kxs* s) -> int64_t { return string2i64(s); }, join(repeat(0, 7), {0x80}), INT64_MIN},
  };
  for (const signed_row& rw : signed_rows) {
    SCOPED_TRACE(rw.call);
    EXPECT_EQ(rw.fn(tmp(rw.in)), rw.expect);
  }
  struct unsigned_row {
    const char* call;
    uint64_t (*fn)(kxs*);
    bytes in;
    uint64_t expect;
  };
  const std::vector<unsigned_row> unsigned_rows = {
      {"string2ub", [](kxs* s) -> uint64_t { return static_cast<uint64_t>(string2ub(s)); }, {0x80}, 128},
      {"string2ui", [](kxs* s) -> uint64_t { return static_cast<uint64_t>(string2ui(s)); }, {0xFE, 0xFF}, 65534},
      {"string2ul", [](kxs* s) -> uint64_t { return string2ul(s); }, {0xFE, 0xFF, 0xFF, 0xFF}, 4294967294u},
      {"string2ul", [](kxs* s) -> uint64_t { return string2ul(s); }, {0x78, 0x56, 0x34, 0x12, 0x99}, 0x12345678},
      {"string2ui64", [](kxs* s) -> uint64_t { return string2ui64(s); }, repeat(0xFF, 9), UINT64_MAX},
      {"string2ui64", [](kxs* s) -> uint64_t { return string2ui64(s); }, {0x01, 0, 0, 0, 0, 0, 0, 0x80},
       0x8000000000000001u},
  };
  for (const unsigned_row& rw : unsigned_rows) {
    SCOPED_TRACE(rw.call);
    EXPECT_EQ(rw.fn(tmp(rw.in)), rw.expect);
  }
  struct float_row {
    const char* call;
    long double (*fn)(kxs*);
    bytes in;
    long double expect;
  };
  const bytes junk = repeat(0xA5, 22);
  const std::vector<float_row> float_rows = {
      {"string2s", string2s, {0x00, 0x00, 0x80, 0x3F}, 1.0L},
      {"string2s", string2s, {0xCD, 0xCC, 0xCC, 0x3D, 0x00}, static_cast<long double>(0.1f)},
      {"string2s", string2s, {0x00, 0x00, 0x00, 0x80}, -0.0L},
      {"string2s", string2s, {0x01, 0x00, 0x00, 0x00}, 0x1p-149L},
      {"string2s", string2s, {0x00, 0x00, 0x80, 0xFF}, -std::numeric_limits<long double>::infinity()},
      {"string2s", string2s, {0x00, 0x00, 0xC0, 0x7F}, std::numeric_limits<long double>::quiet_NaN()},
      {"string2d", string2d, {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F}, static_cast<long double>(0.1)},
      {"string2d", string2d, {0, 0, 0, 0, 0, 0, 0xF0, 0xBF, 0x12}, -1.0L},
      {"string2d", string2d, {0x01, 0, 0, 0, 0, 0, 0, 0}, 0x1p-1074L},
      {"string2f", string2f, join({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}, repeat(0, 22)), 1.0L},
      {"string2f, the bytes after the value ignored", string2f, join({0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}, junk),
       -2.5L},
      {"string2f, 40 bytes", string2f, join(join({0, 0, 0, 0, 0, 0, 0, 0xC0, 0x01, 0x40}, junk), repeat(7, 8)),
       6.0L},
  };
  for (const float_row& rw : float_rows) {
    SCOPED_TRACE(rw.call);
    EXPECT_TRUE(same_value(rw.fn(tmp(rw.in)), rw.expect));
  }
  EXPECT_EQ(new_error.load(), 0);
}

// Every unpacking function with its minimum length. With all bytes 0x81 each
// gives a value other than 0.
struct unpacker {
  std::string name;
  int32_t min_len;
  std::function<bool(kxs*)> nonzero;
};

std::vector<unpacker> unpackers() {
  std::vector<unpacker> out = {
      {"string2b", 1, [](kxs* s) { return string2b(s) != 0; }},
      {"string2ub", 1, [](kxs* s) { return string2ub(s) != 0; }},
      {"string2i", 2, [](kxs* s) { return string2i(s) != 0; }},
      {"string2ui", 2, [](kxs* s) { return string2ui(s) != 0; }},
      {"string2l", 4, [](kxs* s) { return string2l(s) != 0; }},
      {"string2ul", 4, [](kxs* s) { return string2ul(s) != 0; }},
      {"string2i64", 8, [](kxs* s) { return string2i64(s) != 0; }},
      {"string2ui64", 8, [](kxs* s) { return string2ui64(s) != 0; }},
      {"string2s", 4, [](kxs* s) { return string2s(s) != 0; }},
      {"string2d", 8, [](kxs* s) { return string2d(s) != 0; }},
      {"string2f", 32, [](kxs* s) { return string2f(s) != 0; }},
      {"func_cvsmbf", 4, [](kxs* s) { return func_cvsmbf(s) != 0; }},
      {"func_cvdmbf", 8, [](kxs* s) { return func_cvdmbf(s) != 0; }},
  };
  for (uint32_t n : {1u, 7u, 8u, 9u, 12u, 33u, 56u, 57u, 63u, 64u}) {
    const auto len = static_cast<int32_t>((n + 7) / 8);
    out.push_back({"string2bit width " + std::to_string(n), len, [n](kxs* s) { return string2bit(s, n) != 0; }});
    out.push_back({"string2ubit width " + std::to_string(n), len, [n](kxs* s) { return string2ubit(s, n) != 0; }});
  }
  return out;
}

TEST_F(Conversions, UnpackingAShortStringRaisesError5AndGives0) {
  for (const unpacker& u : unpackers()) {
    for (int32_t len : {0, u.min_len - 1}) {
      SCOPED_TRACE(u.name + " of " + std::to_string(len) + " bytes");
      kxs_reset_for_tests();
      clear_error();
      kxs* s = tmp(repeat(0x81, static_cast<size_t>(len)));
      EXPECT_FALSE(u.nonzero(s));
      EXPECT_EQ(new_error.load(), 5);
      EXPECT_EQ(kxevent.load(), 1);
      EXPECT_FALSE(released(s));
      EXPECT_EQ(live_temporaries(1), std::vector<kxs*>{s});
    }
  }
}

// Reading a byte past the value would fault: the string ends at an unreadable page.
TEST_F(Conversions, UnpackingReadsOnlyTheBytesTheValueOccupies) {
  guarded_page page;
  ASSERT_TRUE(page.ok());
  for (const unpacker& u : unpackers()) {
    SCOPED_TRACE(u.name);
    kxs_reset_for_tests();
    EXPECT_TRUE(u.nonzero(page.string(repeat(0x81, static_cast<size_t>(u.min_len)))));
    EXPECT_EQ(new_error.load(), 0);
  }
}

TEST_F(Conversions, UnpackingLeavesItsArgumentAlone) {
  for (const unpacker& u : unpackers()) {
    for (kind k : all_kinds) {
      SCOPED_TRACE(u.name + " of a " + name_of(k) + " string");
      kxs_reset_for_tests();
      const bytes in = repeat(0x81, static_cast<size_t>(u.min_len) + 3);
      kxs* s = make(k, in);
      const uint8_t* chars = s->chars;
      const std::vector<kxs*> live = live_temporaries(1);
      EXPECT_TRUE(u.nonzero(s));
      EXPECT_EQ(s->chars, chars);
      EXPECT_EQ(bytes_of(s), in);
      EXPECT_FALSE(released(s));
      EXPECT_EQ(live_temporaries(1), live);
      EXPECT_EQ(new_error.load(), 0);
    }
  }
}

// ---- Round trips ----

template <typename T, typename Pack, typename Unpack>
void round_trips(const char* name, Pack pack, Unpack unpack, const std::vector<T>& values) {
  for (T v : values) {
    SCOPED_TRACE(std::string(name) + " of " + std::to_string(v));
    kxs* s = pack(v);
    EXPECT_EQ(s->len, static_cast<int32_t>(sizeof(T) == 16 ? 32 : sizeof(T)));
    if constexpr (std::is_floating_point_v<T>) {
      EXPECT_TRUE(same_value(unpack(s), v));
    } else {
      EXPECT_EQ(static_cast<T>(unpack(s)), v);
    }
    kxs_free(s);
  }
}

template <typename T>
std::vector<T> extremes(std::vector<T> more) {
  using L = std::numeric_limits<T>;
  more.insert(more.end(), {L::min(), L::max(), L::lowest(), T(0), T(1)});
  if constexpr (std::is_signed_v<T>) more.push_back(T(-1));
  if constexpr (L::has_infinity) more.insert(more.end(), {L::infinity(), -L::infinity(), L::quiet_NaN(),
                                                          L::denorm_min(), -L::denorm_min(), -T(0)});
  return more;
}

TEST_F(Conversions, EveryTypeRoundTrips) {
  round_trips<int8_t>("int8", b2string, string2b, extremes<int8_t>({-2, 100}));
  round_trips<uint8_t>("uint8", ub2string, string2ub, extremes<uint8_t>({128, 200}));
  round_trips<int16_t>("int16", i2string, string2i, extremes<int16_t>({-2, 0x1234, -0x1234}));
  round_trips<uint16_t>("uint16", ui2string, string2ui, extremes<uint16_t>({0x8000, 0xFFFE}));
  round_trips<int32_t>("int32", l2string, string2l, extremes<int32_t>({-2, 0x12345678, -0x12345678}));
  round_trips<uint32_t>("uint32", ul2string, string2ul, extremes<uint32_t>({0x80000000u, 0xDEADBEEFu}));
  round_trips<int64_t>("int64", i642string, string2i64, extremes<int64_t>({-2, 0x0123456789ABCDEF}));
  round_trips<uint64_t>("uint64", ui642string, string2ui64, extremes<uint64_t>({0x8000000000000000u}));
  round_trips<float>("single", s2string, string2s, extremes<float>({0.1f, -2.5f, 1e-40f, 3.4e38f}));
  round_trips<double>("double", d2string, string2d, extremes<double>({0.1, -2.5, 1e-310, 1e308}));
  round_trips<long double>("_FLOAT", f2string, string2f,
                           extremes<long double>({0.1L, -2.5L, 1.0L / 3, 0x1p-16400L, 0x1.fffp16383L}));
  EXPECT_EQ(new_error.load(), 0);
}

// ---- _FLOAT ----

TEST_F(Conversions, FloatStringHoldsTheX87BytesAndZeros) {
  using L = std::numeric_limits<long double>;
  const std::vector<long double> values = {
      0.0L, -0.0L, 1.0L, -2.5L, 0.1L, 1.0L / 3, L::max(), L::lowest(), L::min(), L::min() * (1 - 0x1p-63L),
      L::denorm_min(), -3 * L::denorm_min(), 0x1p-16400L, 0x1p16383L, L::infinity(), -L::infinity(),
      L::quiet_NaN(), -L::quiet_NaN(), 12345678901234567890.0L};
  for (long double v : values) {
    SCOPED_TRACE(std::to_string(v));
    bytes x87(10);
    x87_extended_encode(v, x87.data());
    EXPECT_TRUE(same_value(x87_extended_decode(x87.data()), v));
    if (host_is_x87) {
      EXPECT_EQ(x87, native_x87(v)) << "the arithmetic form matches the FPU's own bytes";
    }
    kxs* s = f2string(v);
    EXPECT_EQ(bytes_of(s), join(x87, repeat(0, 22)));
    EXPECT_TRUE(same_value(string2f(s), v));
  }
}

TEST_F(Conversions, X87PatternsTheFpuRefusesDecodeToNaN) {
  struct row {
    const char* name;
    bytes in;
    long double expect;
  };
  using L = std::numeric_limits<long double>;
  const std::vector<row> rows = {
      {"unnormal: exponent set, integer bit clear", {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F}, L::quiet_NaN()},
      {"pseudo-infinity", {0, 0, 0, 0, 0, 0, 0, 0x00, 0xFF, 0x7F}, L::quiet_NaN()},
      {"pseudo-NaN", {1, 0, 0, 0, 0, 0, 0, 0x00, 0xFF, 0xFF}, L::quiet_NaN()},
      {"signalling NaN", {1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}, L::quiet_NaN()},
      {"infinity", {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}, L::infinity()},
      {"pseudo-denormal: the smallest normal's value", {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x80}, -0x1p-16382L},
      {"largest denormal", join(repeat(0xFF, 7), {0x7F}), L::min() * (1 - 0x1p-63L)},
      {"zero with the sign", {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80}, -0.0L},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE(rw.name);
    bytes in = rw.in;
    in.resize(10, 0);
    EXPECT_TRUE(same_value(x87_extended_decode(in.data()), rw.expect));
  }
}

// ---- Bit fields ----

TEST_F(Conversions, BitFieldsKeepTheLowBitsInTheFewestBytes) {
  struct row {
    uint32_t n;
    int64_t v;
    bytes packed;
    int64_t as_signed;
    uint64_t as_unsigned;
  };
  const std::vector<row> rows = {
      {1, -1, {0x01}, -1, 1},
      {1, 0, {0x00}, 0, 0},
      {1, 2, {0x00}, 0, 0},
      {4, 15, {0x0F}, -1, 15},
      {4, 7, {0x07}, 7, 7},
      {4, 8, {0x08}, -8, 8},
      {4, -9, {0x07}, 7, 7},
      {7, -64, {0x40}, -64, 64},
      {8, 0x80, {0x80}, -128, 128},
      {8, 0x17F, {0x7F}, 127, 127},
      {9, -1, {0xFF, 0x01}, -1, 511},
      {12, -1, {0xFF, 0x0F}, -1, 4095},
      {12, 0x800, {0x00, 0x08}, -2048, 2048},
      {12, 0x7FF, {0xFF, 0x07}, 2047, 2047},
      {13, 0x1ABC, {0xBC, 0x1A}, 0x1ABC - 0x2000, 0x1ABC},
      {16, -2, {0xFE, 0xFF}, -2, 65534},
      {31, 0x40000000, {0x00, 0x00, 0x00, 0x40}, -0x40000000, 0x40000000},
      {32, 0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}, -1, 0xFFFFFFFF},
      {33, 0x1FFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x01}, -1, 0x1FFFFFFFF},
      {33, 0x100000000, {0x00, 0x00, 0x00, 0x00, 0x01}, -0x100000000, 0x100000000},
      {56, -1, repeat(0xFF, 7), -1, 0xFFFFFFFFFFFFFF},
      {57, int64_t{1} << 56, join(repeat(0, 7), {0x01}), -(int64_t{1} << 56), uint64_t{1} << 56},
      {63, INT64_MIN, repeat(0, 8), 0, 0},
      {63, 0x4000000000000000, join(repeat(0, 7), {0x40}), -0x4000000000000000, 0x4000000000000000},
      {63, -1, join(repeat(0xFF, 7), {0x7F}), -1, 0x7FFFFFFFFFFFFFFF},
      {64, -1, repeat(0xFF, 8), -1, UINT64_MAX},
      {64, INT64_MIN, join(repeat(0, 7), {0x80}), INT64_MIN, 0x8000000000000000u},
      {64, 0x0123456789ABCDEF, {0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}, 0x0123456789ABCDEF,
       0x0123456789ABCDEF},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE("width " + std::to_string(rw.n) + ", value " + std::to_string(rw.v));
    kxs_reset_for_tests();
    const uint32_t mark = kxs_tmp_list_nexti;
    kxs* s = bit2string(rw.n, rw.v);
    kxs* u = ubit2string(rw.n, static_cast<uint64_t>(rw.v));
    EXPECT_EQ(bytes_of(s), rw.packed);
    EXPECT_EQ(bytes_of(u), rw.packed);
    EXPECT_EQ(live_temporaries(mark), (std::vector<kxs*>{s, u}));
    EXPECT_EQ(string2bit(s, rw.n), rw.as_signed);
    EXPECT_EQ(string2ubit(s, rw.n), rw.as_unsigned);
  }
  EXPECT_EQ(new_error.load(), 0);
}

TEST_F(Conversions, BitFieldsIgnoreBitsAboveTheField) {
  struct row {
    uint32_t n;
    bytes in;
    int64_t as_signed;
    uint64_t as_unsigned;
  };
  const std::vector<row> rows = {
      {12, {0xFF, 0xF7}, 2047, 2047},
      {12, {0x00, 0xF8, 0xFF}, -2048, 2048},
      {9, {0xFF, 0xFF, 0xFF, 0xFF}, -1, 511},
      {3, {0xFB}, 3, 3},
      {33, {0, 0, 0, 0, 0xFE, 0xFF}, 0, 0},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE("width " + std::to_string(rw.n));
    EXPECT_EQ(string2bit(tmp(rw.in), rw.n), rw.as_signed);
    EXPECT_EQ(string2ubit(tmp(rw.in), rw.n), rw.as_unsigned);
  }
  EXPECT_EQ(new_error.load(), 0);
}

TEST_F(Conversions, BitFieldWidthsOutside1To64RaiseError5) {
  for (uint32_t n : {0u, 65u, 100u, 0xFFFFFFFFu}) {
    SCOPED_TRACE("width " + std::to_string(n));
    kxs_reset_for_tests();
    const uint32_t mark = kxs_tmp_list_nexti;
    const std::vector<std::function<kxs*()>> packers = {[n] { return bit2string(n, -1); },
                                                        [n] { return ubit2string(n, 1); }};
    for (const auto& pack : packers) {
      clear_error();
      kxs* out = pack();
      EXPECT_EQ(out->len, 0);
      EXPECT_TRUE(out->is_tmp);
      EXPECT_EQ(new_error.load(), 5);
    }
    EXPECT_EQ(live_temporaries(mark).size(), 2u);
    kxs* s = tmp(repeat(0xFF, 16));
    clear_error();
    EXPECT_EQ(string2bit(s, n), 0);
    EXPECT_EQ(new_error.load(), 5);
    clear_error();
    EXPECT_EQ(string2ubit(s, n), 0u);
    EXPECT_EQ(new_error.load(), 5);
  }
}

// ---- MBF ----

template <typename Bits>
struct mbf_pack_row {
  const char* name;
  Bits ieee;
  bytes mbf;  // empty when MBF cannot hold the value
};

template <typename Bits>
struct mbf_unpack_row {
  const char* name;
  bytes mbf;
  Bits ieee;  // of the nearest value
};


// The IEEE type, its bit pattern and the MBF routines of one width.
template <typename F>
struct mbf_form;
template <>
struct mbf_form<float> {
  using bits = uint32_t;
  static int32_t to_mbf(const float* src, float* dest) { return _fieeetomsbin(src, dest); }
  static int32_t to_ieee(const float* src, float* dest) { return _fmsbintoieee(src, dest); }
  static kxs* mk(float v) { return func_mksmbf(v); }
  static long double cv(kxs* s) { return func_cvsmbf(s); }
};
template <>
struct mbf_form<double> {
  using bits = uint64_t;
  static int32_t to_mbf(const double* src, double* dest) { return _dieeetomsbin(src, dest); }
  static int32_t to_ieee(const double* src, double* dest) { return _dmsbintoieee(src, dest); }
  static kxs* mk(double v) { return func_mkdmbf(v); }
  static long double cv(kxs* s) { return func_cvdmbf(s); }
};

template <typename F>
bytes memory_of(const F& v) {
  bytes out(sizeof(F));
  std::memcpy(out.data(), &v, sizeof(F));
  return out;
}

// The converter writes the destination between two untouched neighbours.
template <typename F>
struct guarded_dest {
  F area[3];
  guarded_dest() { std::memset(area, 0xEE, sizeof area); }
  F* dest() { return &area[1]; }
  bool neighbours_untouched() const {
    return memory_of(area[0]) == repeat(0xEE, sizeof(F)) && memory_of(area[2]) == repeat(0xEE, sizeof(F));
  }
};

// Packing: the converter gives 0 and the bytes, or 1 and leaves the destination
// alone; MKSMBF$ / MKDMBF$ give a new temporary with the bytes, or an empty one
// and error 5.
template <typename F, typename Row>
void check_packing(const std::vector<Row>& rows) {
  using form = mbf_form<F>;
  for (const Row& rw : rows) {
    SCOPED_TRACE(rw.name);
    kxs_reset_for_tests();
    new_error.store(0);
    const F v = std::bit_cast<F>(rw.ieee);
    guarded_dest<F> g;
    const int32_t rc = form::to_mbf(&v, g.dest());
    EXPECT_EQ(rc, rw.mbf.empty() ? 1 : 0);
    EXPECT_EQ(memory_of(*g.dest()), rw.mbf.empty() ? repeat(0xEE, sizeof(F)) : rw.mbf);
    EXPECT_TRUE(g.neighbours_untouched());
    EXPECT_EQ(new_error.load(), 0) << "the converters raise no error themselves";

    const uint32_t mark = kxs_tmp_list_nexti;
    kxs* out = form::mk(v);
    EXPECT_EQ(bytes_of(out), rw.mbf);
    EXPECT_EQ(live_temporaries(mark), std::vector<kxs*>{out});
    EXPECT_EQ(new_error.load(), rw.mbf.empty() ? 5 : 0);
  }
}

// Unpacking: always 0 from the converter and the nearest IEEE value, from both
// the converter and CVSMBF / CVDMBF.
template <typename F, typename Row>
void check_unpacking(Conversions* t, const std::vector<Row>& rows) {
  using form = mbf_form<F>;
  using bits = typename form::bits;
  for (const Row& rw : rows) {
    SCOPED_TRACE(rw.name);
    kxs_reset_for_tests();
    new_error.store(0);
    ASSERT_EQ(rw.mbf.size(), sizeof(F));
    F src;
    std::memcpy(&src, rw.mbf.data(), sizeof(F));
    guarded_dest<F> g;
    EXPECT_EQ(form::to_ieee(&src, g.dest()), 0);
    EXPECT_EQ(std::bit_cast<bits>(*g.dest()), rw.ieee);
    EXPECT_TRUE(g.neighbours_untouched());
    EXPECT_EQ(memory_of(src), rw.mbf) << "the source is only read";

    kxs* s = t->make_tmp(rw.mbf);
    EXPECT_EQ(std::bit_cast<bits>(static_cast<F>(form::cv(s))), rw.ieee);
    EXPECT_EQ(bytes_of(s), rw.mbf);
    EXPECT_EQ(new_error.load(), 0);
  }
}

// Every value MBF holds comes back unchanged, through the strings and through
// the converters working in place; values MBF has only 0 for come back as 0.
template <typename F, typename Row>
void check_round_trips(const std::vector<Row>& rows) {
  using form = mbf_form<F>;
  using bits = typename form::bits;
  for (const Row& rw : rows) {
    if (rw.mbf.empty()) continue;
    SCOPED_TRACE(rw.name);
    kxs_reset_for_tests();
    const F v = std::bit_cast<F>(rw.ieee);
    const bool zero = rw.mbf == repeat(0, sizeof(F));
    const bits back = zero ? 0 : rw.ieee;
    EXPECT_EQ(std::bit_cast<bits>(static_cast<F>(form::cv(form::mk(v)))), back);
    F x = v;
    EXPECT_EQ(form::to_mbf(&x, &x), 0);
    EXPECT_EQ(memory_of(x), rw.mbf);
    EXPECT_EQ(form::to_ieee(&x, &x), 0);
    EXPECT_EQ(std::bit_cast<bits>(x), back);
  }
  EXPECT_EQ(new_error.load(), 0);
}

// Generated by tools/mbf_vectors.py.
// single: name, IEEE bits, MBF bytes (empty when refused)
const std::vector<mbf_pack_row<uint32_t>> single_pack_vectors = {
    {"1", 0x3F800000u, {0x00, 0x00, 0x00, 0x81}},
    {"-1", 0xBF800000u, {0x00, 0x00, 0x80, 0x81}},
    {"0.5", 0x3F000000u, {0x00, 0x00, 0x00, 0x80}},
    {"10", 0x41200000u, {0x00, 0x00, 0x20, 0x84}},
    {"0.1", 0x3DCCCCCDu, {0xCD, 0xCC, 0x4C, 0x7D}},
    {"-2.5", 0xC0200000u, {0x00, 0x00, 0xA0, 0x82}},
    {"0", 0x00000000u, {0x00, 0x00, 0x00, 0x00}},
    {"-0", 0x80000000u, {0x00, 0x00, 0x00, 0x00}},
    {"2^126", 0x7E800000u, {0x00, 0x00, 0x00, 0xFF}},
    {"largest, -(2 - 2^-23) * 2^126", 0xFEFFFFFFu, {0xFF, 0xFF, 0xFF, 0xFF}},
    {"2^-126, smallest normal", 0x00800000u, {0x00, 0x00, 0x00, 0x03}},
    {"-2^-127, denormal", 0x80400000u, {0x00, 0x00, 0x80, 0x02}},
    {"2^-128, denormal, MBF's smallest", 0x00200000u, {0x00, 0x00, 0x00, 0x01}},
    {"1.5 * 2^-128, denormal", 0x00300000u, {0x00, 0x00, 0x40, 0x01}},
    {"(2^23 - 1) * 2^-149, largest denormal", 0x007FFFFFu, {0xFE, 0xFF, 0x7F, 0x02}},
    {"2^-129, denormal below MBF's range", 0x00100000u, {0x00, 0x00, 0x00, 0x00}},
    {"-2^-149, smallest denormal", 0x80000001u, {0x00, 0x00, 0x00, 0x00}},
    {"2^127", 0x7F000000u, {}},
    {"largest single", 0x7F7FFFFFu, {}},
    {"inf", 0x7F800000u, {}},
    {"-inf", 0xFF800000u, {}},
    {"NaN", 0x7FC00000u, {}},
};
// single: name, MBF bytes, IEEE bits of the nearest value
const std::vector<mbf_unpack_row<uint32_t>> single_unpack_vectors = {
    {"1", {0x00, 0x00, 0x00, 0x81}, 0x3F800000u},
    {"-1", {0x00, 0x00, 0x80, 0x81}, 0xBF800000u},
    {"0.5", {0x00, 0x00, 0x00, 0x80}, 0x3F000000u},
    {"10", {0x00, 0x00, 0x20, 0x84}, 0x41200000u},
    {"0.1", {0xCD, 0xCC, 0x4C, 0x7D}, 0x3DCCCCCDu},
    {"-2.5", {0x00, 0x00, 0xA0, 0x82}, 0xC0200000u},
    {"2^126", {0x00, 0x00, 0x00, 0xFF}, 0x7E800000u},
    {"largest, -(2 - 2^-23) * 2^126", {0xFF, 0xFF, 0xFF, 0xFF}, 0xFEFFFFFFu},
    {"2^-126, smallest normal", {0x00, 0x00, 0x00, 0x03}, 0x00800000u},
    {"-2^-127, denormal", {0x00, 0x00, 0x80, 0x02}, 0x80400000u},
    {"2^-128, denormal, MBF's smallest", {0x00, 0x00, 0x00, 0x01}, 0x00200000u},
    {"1.5 * 2^-128, denormal", {0x00, 0x00, 0x40, 0x01}, 0x00300000u},
    {"(2^23 - 1) * 2^-149, largest denormal", {0xFE, 0xFF, 0x7F, 0x02}, 0x007FFFFFu},
    {"zero", {0x00, 0x00, 0x00, 0x00}, 0x00000000u},
    {"exponent byte 0 with other bits set", {0xFF, 0xFF, 0xFF, 0x00}, 0x00000000u},
    {"exponent byte 1, lowest bit set: rounds down", {0x01, 0x00, 0x00, 0x01}, 0x00200000u},
    {"exponent byte 1, a tie: to even, down", {0x02, 0x00, 0x00, 0x01}, 0x00200000u},
    {"exponent byte 1, a tie: to even, up", {0x06, 0x00, 0x00, 0x01}, 0x00200002u},
    {"exponent byte 1, negative, above a tie: up", {0x03, 0x00, 0x80, 0x01}, 0x80200001u},
    {"exponent byte 1, all mantissa bits", {0xFF, 0xFF, 0x7F, 0x01}, 0x00400000u},
    {"exponent byte 2, a tie: to even, down", {0x01, 0x00, 0x00, 0x02}, 0x00400000u},
    {"exponent byte 2, a tie: to even, up", {0x03, 0x00, 0x00, 0x02}, 0x00400002u},
    {"exponent byte 2, all mantissa bits: carries to the smallest normal", {0xFF, 0xFF, 0x7F, 0x02}, 0x00800000u},
    {"exponent byte 3, the smallest normal", {0x00, 0x00, 0x00, 0x03}, 0x00800000u},
};
// double: name, IEEE bits, MBF bytes (empty when refused)
const std::vector<mbf_pack_row<uint64_t>> double_pack_vectors = {
    {"1", 0x3FF0000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}},
    {"-1", 0xBFF0000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x81}},
    {"0.5", 0x3FE0000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80}},
    {"10", 0x4024000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x84}},
    {"0.1", 0x3FB999999999999Aull, {0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x4C, 0x7D}},
    {"-2.5", 0xC004000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x82}},
    {"2", 0x4000000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x82}},
    {"0", 0x0000000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"-0", 0x8000000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {"2^126", 0x47D0000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}},
    {"largest, (2 - 2^-52) * 2^126", 0x47DFFFFFFFFFFFFFull, {0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF}},
    {"-2^-128, MBF's smallest", 0xB7F0000000000000ull, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x01}},
    {"(1 + 2^-52) * 2^-128", 0x37F0000000000001ull, {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}},
    {"2^-129, below MBF's range", 0x37E0000000000000ull, {}},
    {"2^-1022, smallest normal", 0x0010000000000000ull, {}},
    {"2^-1074, smallest denormal", 0x0000000000000001ull, {}},
    {"2^127", 0x47E0000000000000ull, {}},
    {"largest double", 0x7FEFFFFFFFFFFFFFull, {}},
    {"inf", 0x7FF0000000000000ull, {}},
    {"-inf", 0xFFF0000000000000ull, {}},
    {"NaN", 0x7FF8000000000000ull, {}},
};
// double: name, MBF bytes, IEEE bits of the nearest value
const std::vector<mbf_unpack_row<uint64_t>> double_unpack_vectors = {
    {"1", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}, 0x3FF0000000000000ull},
    {"-1", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x81}, 0xBFF0000000000000ull},
    {"0.5", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80}, 0x3FE0000000000000ull},
    {"10", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x84}, 0x4024000000000000ull},
    {"0.1", {0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x4C, 0x7D}, 0x3FB999999999999Aull},
    {"-2.5", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x82}, 0xC004000000000000ull},
    {"2", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x82}, 0x4000000000000000ull},
    {"2^126", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}, 0x47D0000000000000ull},
    {"largest, (2 - 2^-52) * 2^126", {0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF}, 0x47DFFFFFFFFFFFFFull},
    {"-2^-128, MBF's smallest", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x01}, 0xB7F0000000000000ull},
    {"(1 + 2^-52) * 2^-128", {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, 0x37F0000000000001ull},
    {"zero", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0x0000000000000000ull},
    {"0.1 as MBF files hold it", {0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0x4C, 0x7D}, 0x3FB999999999999Aull},
    {"exponent byte 0 with other bits set", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}, 0x0000000000000000ull},
    {"low bits 001: down", {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}, 0x3FF0000000000000ull},
    {"low bits 011: down", {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}, 0x3FF0000000000000ull},
    {"low bits 100, a tie, even: down", {0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}, 0x3FF0000000000000ull},
    {"low bits 100, a tie, odd: up", {0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}, 0x3FF0000000000002ull},
    {"low bits 101: up", {0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x81}, 0xBFF0000000000001ull},
    {"low bits 111: up", {0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81}, 0x3FF0000000000001ull},
    {"all mantissa bits: carries to 2", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x81}, 0x4000000000000000ull},
    {"all bits, exponent byte 255: 2^127", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF}, 0x47E0000000000000ull},
    {"exponent byte 1, -, low bits 110", {0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x01}, 0xB7F0000000000001ull},
};
}  // namespace

TEST_F(Conversions, MbfSinglePacking) { check_packing<float>(single_pack_vectors); }
TEST_F(Conversions, MbfSingleUnpacking) { check_unpacking<float>(this, single_unpack_vectors); }
TEST_F(Conversions, MbfSingleRoundTrips) { check_round_trips<float>(single_pack_vectors); }
TEST_F(Conversions, MbfDoublePacking) { check_packing<double>(double_pack_vectors); }
TEST_F(Conversions, MbfDoubleUnpacking) { check_unpacking<double>(this, double_unpack_vectors); }
TEST_F(Conversions, MbfDoubleRoundTrips) { check_round_trips<double>(double_pack_vectors); }

// ---- 64-bit values from halves ----

TEST_F(Conversions, BuildInt64JoinsTheHalves) {
  struct row {
    int32_t hi, lo;  // as compiled code passes them
    int64_t as_signed;
    uint64_t as_unsigned;
  };
  const std::vector<row> rows = {
      {0, 0, 0, 0},
      {0, -1, 0xFFFFFFFF, 0xFFFFFFFF},
      {1, 0, int64_t{1} << 32, uint64_t{1} << 32},
      {-1, -1, -1, UINT64_MAX},
      {-1, 0, -(int64_t{1} << 32), 0xFFFFFFFF00000000u},
      {INT32_MIN, 0, INT64_MIN, 0x8000000000000000u},
      {INT32_MAX, -1, INT64_MAX, 0x7FFFFFFFFFFFFFFFu},
      {0x01234567, static_cast<int32_t>(0x89ABCDEFu), 0x0123456789ABCDEF, 0x0123456789ABCDEF},
  };
  for (const row& rw : rows) {
    SCOPED_TRACE(std::to_string(rw.hi) + ", " + std::to_string(rw.lo));
    EXPECT_EQ(build_int64(static_cast<uint32_t>(rw.hi), static_cast<uint32_t>(rw.lo)), rw.as_signed);
    EXPECT_EQ(build_uint64(static_cast<uint32_t>(rw.hi), static_cast<uint32_t>(rw.lo)), rw.as_unsigned);
  }
}
