// Binary conversions: numbers as strings of their bytes and back (MKI$, CVI and
// their relatives for every numeric type, bit fields, _FLOAT), and the converters
// between IEEE floating point and the older MBF floating-point layouts of legacy
// data files.
//
// Every layout is little-endian whatever the host: integers are split into bytes
// and put together from bytes arithmetically, and floating-point values travel
// as their bit patterns. Packing functions return a new temporary. Unpacking
// functions read only the bytes the value occupies, leave their argument alone,
// and raise error 5 and give 0 for a string too short to hold the value.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "frame/frame.h"
#include "strings/strings.h"

static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4, "float must be IEEE binary32");
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8, "double must be IEEE binary64");

namespace {

// ---- Little-endian bytes ----

template <typename U>
U load_le(const uint8_t* p, int n = sizeof(U)) {
  U v = 0;
  for (int i = n - 1; i >= 0; --i) v = static_cast<U>((v << 8) | p[i]);
  return v;
}

template <typename U>
void store_le(uint8_t* p, U v, int n = sizeof(U)) {
  for (int i = 0; i < n; ++i) {
    p[i] = static_cast<uint8_t>(v & 0xFF);
    if constexpr (sizeof(U) > 1) v = static_cast<U>(v >> 8);
  }
}

// A new temporary holding the low n bytes of bits.
template <typename U>
kxs* pack(U bits, int n = sizeof(U)) {
  kxs* out = kxs_new(n, 1);
  store_le(out->chars, bits, n);
  return out;
}

// Whether s holds at least n bytes; error 5 when it does not.
bool holds(const kxs* s, int32_t n) {
  if (s->len >= n) return true;
  error(5);
  return false;
}

// The first sizeof(T) bytes of s as a T, or 0 (with error 5) when s is shorter.
template <typename T>
T unpack(const kxs* s) {
  using U = std::make_unsigned_t<T>;
  if (!holds(s, sizeof(T))) return 0;
  return static_cast<T>(load_le<U>(s->chars));
}

// v shifted right by k (1..63) places, rounded to nearest, ties to even.
uint64_t shift_round(uint64_t v, int k) {
  const uint64_t kept = v >> k;
  const uint64_t rest = v & ((uint64_t{1} << k) - 1);
  const uint64_t half = uint64_t{1} << (k - 1);
  return kept + ((rest > half || (rest == half && (kept & 1))) ? 1 : 0);
}

// ---- x87 extended precision ----

// Whether long double is itself the x87 format, laid out little-endian in its
// first 10 bytes; its bytes are then copied as they are (NaN payloads included).
constexpr bool native_x87 = std::numeric_limits<long double>::digits == 64 &&
                            std::numeric_limits<long double>::max_exponent == 16384 &&
                            std::endian::native == std::endian::little && sizeof(long double) >= 10;

constexpr uint64_t x87_integer_bit = uint64_t{1} << 63;
constexpr int x87_bias = 16383;

// ---- Bit fields ----

bool valid_width(uint32_t n) { return n >= 1 && n <= 64; }
uint64_t low_bits(uint32_t n) { return n == 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }
int32_t field_bytes(uint32_t n) { return static_cast<int32_t>((n + 7) / 8); }

// The low n bits of the field at the start of s, or false (with error 5) when
// the width is outside 1..64 or s is too short. Reads only the field's bytes.
bool field(const kxs* s, uint32_t n, uint64_t& bits) {
  bits = 0;
  if (!valid_width(n)) {
    error(5);
    return false;
  }
  if (!holds(s, field_bytes(n))) return false;
  bits = load_le<uint64_t>(s->chars, field_bytes(n)) & low_bits(n);
  return true;
}

// ---- MBF ----

// MBF stores sign and magnitude as 1.m * 2^(exponent byte - 129), with 23 (4-byte
// form) or 55 (8-byte form) bits m, exponent byte 0 meaning 0. Its magnitudes run
// from 2^-128 to just below 2^127; it has no infinities, NaNs or denormals.
constexpr int mbf_exponent_offset = 129;

// IEEE exponent fields: the biased exponent of 1.m * 2^k is k + bias.
constexpr int single_bias = 127;
constexpr int double_bias = 1023;

}  // namespace

// ---- Plain numeric types ----

kxs* b2string(int8_t v) { return pack(static_cast<uint8_t>(v)); }
kxs* ub2string(uint8_t v) { return pack(v); }
kxs* i2string(int16_t v) { return pack(static_cast<uint16_t>(v)); }
kxs* ui2string(uint16_t v) { return pack(v); }
kxs* l2string(int32_t v) { return pack(static_cast<uint32_t>(v)); }
kxs* ul2string(uint32_t v) { return pack(v); }
kxs* i642string(int64_t v) { return pack(static_cast<uint64_t>(v)); }
kxs* ui642string(uint64_t v) { return pack(v); }
kxs* s2string(float v) { return pack(std::bit_cast<uint32_t>(v)); }
kxs* d2string(double v) { return pack(std::bit_cast<uint64_t>(v)); }

int32_t string2b(kxs* s) { return unpack<int8_t>(s); }
int32_t string2ub(kxs* s) { return unpack<uint8_t>(s); }
int32_t string2i(kxs* s) { return unpack<int16_t>(s); }
int32_t string2ui(kxs* s) { return unpack<uint16_t>(s); }
int32_t string2l(kxs* s) { return unpack<int32_t>(s); }
uint32_t string2ul(kxs* s) { return unpack<uint32_t>(s); }
int64_t string2i64(kxs* s) { return unpack<int64_t>(s); }
uint64_t string2ui64(kxs* s) { return unpack<uint64_t>(s); }
long double string2s(kxs* s) { return std::bit_cast<float>(unpack<uint32_t>(s)); }
long double string2d(kxs* s) { return std::bit_cast<double>(unpack<uint64_t>(s)); }

// ---- _FLOAT ----

void x87_extended_encode(long double v, uint8_t* out) {
  uint16_t top = std::signbit(v) ? 0x8000 : 0;
  uint64_t sig = 0;
  if (std::isnan(v)) {
    top |= 0x7FFF;
    sig = x87_integer_bit | (x87_integer_bit >> 1);  // the quiet NaN
  } else if (std::isinf(v)) {
    top |= 0x7FFF;
    sig = x87_integer_bit;
  } else if (v != 0) {
    int e = 0;
    const long double m = std::frexp(std::fabs(v), &e);  // |v| = m * 2^e, 0.5 <= m < 1
    // A normal value is sig * 2^(biased - bias - 63) with the integer bit of sig
    // set: sig = m * 2^64, biased = e + bias - 1. Below biased 1 the exponent
    // stays at its minimum (biased 0 stands for the same scale as 1) and sig
    // loses low bits instead.
    int biased = e + x87_bias - 1;
    int scale = 64;
    if (biased < 1) {
      scale += biased - 1;
      biased = 0;
    }
    long double s = std::nearbyint(std::ldexp(m, std::max(scale, -1)));  // 0 <= s <= 2^64
    if (s >= 0x1p64L) {  // rounding carried out of 64 bits
      s = 0x1p63L;
      ++biased;
    }
    sig = static_cast<uint64_t>(s);
    if (biased == 0 && (sig & x87_integer_bit) != 0) biased = 1;  // rounded up to the smallest normal
    if (biased >= 0x7FFF) {  // beyond the format's range: infinity
      biased = 0x7FFF;
      sig = x87_integer_bit;
    }
    top = static_cast<uint16_t>(top | biased);
  }
  store_le(out, sig);
  store_le(out + 8, top);
}

long double x87_extended_decode(const uint8_t* in) {
  const uint64_t sig = load_le<uint64_t>(in);
  const uint16_t top = load_le<uint16_t>(in + 8);
  const int biased = top & 0x7FFF;
  long double v = 0;
  if (biased == 0x7FFF) {
    // Only a set integer bit with no fraction is an infinity; the x87 takes the
    // other patterns (pseudo-infinities and pseudo-NaNs among them) as NaNs.
    v = sig == x87_integer_bit ? std::numeric_limits<long double>::infinity()
                               : std::numeric_limits<long double>::quiet_NaN();
  } else if (biased != 0 && (sig & x87_integer_bit) == 0) {
    v = std::numeric_limits<long double>::quiet_NaN();  // an unnormal, an invalid operand
  } else {
    v = std::ldexp(static_cast<long double>(sig), std::max(biased, 1) - x87_bias - 63);
  }
  return (top & 0x8000) != 0 ? -v : v;
}

kxs* f2string(long double v) {
  kxs* out = kxs_new(32, 1);
  std::memset(out->chars, 0, 32);
  if constexpr (native_x87)
    std::memcpy(out->chars, &v, 10);
  else
    x87_extended_encode(v, out->chars);
  return out;
}

long double string2f(kxs* s) {
  if (!holds(s, 32)) return 0;
  if constexpr (native_x87) {
    long double v = 0;
    std::memcpy(&v, s->chars, 10);
    return v;
  } else {
    return x87_extended_decode(s->chars);
  }
}

// ---- Bit fields ----

kxs* ubit2string(uint32_t n, uint64_t v) {
  if (!valid_width(n)) {
    kxs* out = kxs_new(0, 1);
    error(5);
    return out;
  }
  return pack(v & low_bits(n), field_bytes(n));
}

kxs* bit2string(uint32_t n, int64_t v) { return ubit2string(n, static_cast<uint64_t>(v)); }

uint64_t string2ubit(kxs* s, uint32_t n) {
  uint64_t bits = 0;
  field(s, n, bits);
  return bits;
}

int64_t string2bit(kxs* s, uint32_t n) {
  uint64_t bits = 0;
  if (!field(s, n, bits)) return 0;
  if (n < 64 && ((bits >> (n - 1)) & 1) != 0) bits |= ~low_bits(n);  // the top bit of the field is its sign
  return static_cast<int64_t>(bits);
}

// ---- MBF ----

int32_t _fieeetomsbin(const float* src, float* dest) {
  uint32_t bits = 0;
  std::memcpy(&bits, src, 4);
  const uint32_t sign = bits >> 31;
  const int biased = static_cast<int>((bits >> 23) & 0xFF);
  uint32_t frac = bits & 0x7FFFFF;
  int exponent = 0;  // MBF exponent byte; 0 for zero
  if (biased == 0xFF) return 1;  // infinity or NaN
  if (biased == 0) {
    // Zero of either sign, or a denormal frac * 2^-149. With its top bit at
    // position p the denormal is 1.x * 2^(p - 149); MBF holds it exactly from
    // 2^-128 (p = 21) up, and has nothing for the smaller ones but 0.
    const int p = std::bit_width(frac) - 1;
    if (p >= 21) {
      exponent = p - 149 + mbf_exponent_offset;
      frac = (frac << (23 - p)) & 0x7FFFFF;
    }
  } else {
    exponent = biased - single_bias + mbf_exponent_offset;
    if (exponent > 255) return 1;  // 2^127 and above
  }
  uint8_t mbf[4] = {0, 0, 0, 0};
  if (exponent != 0) {
    store_le(mbf, frac, 3);
    mbf[2] = static_cast<uint8_t>(mbf[2] | (sign << 7));
    mbf[3] = static_cast<uint8_t>(exponent);
  }
  std::memcpy(dest, mbf, 4);
  return 0;
}

int32_t _fmsbintoieee(const float* src, float* dest) {
  uint8_t mbf[4];
  std::memcpy(mbf, src, 4);
  const int exponent = mbf[3];
  uint32_t bits = 0;
  if (exponent != 0) {
    const uint32_t frac = load_le<uint32_t>(mbf, 3) & 0x7FFFFF;
    const int biased = exponent - mbf_exponent_offset + single_bias;
    if (biased >= 1) {
      bits = (static_cast<uint32_t>(biased) << 23) | frac;
    } else {
      // Exponent bytes 1 and 2 lie below IEEE's smallest normal: the 24-bit
      // significand becomes a denormal, shifted right and rounded. A carry out
      // of the denormal range yields the smallest normal's bit pattern by itself.
      bits = static_cast<uint32_t>(shift_round(0x800000u | frac, 1 - biased));
    }
    bits |= static_cast<uint32_t>(mbf[2] >> 7) << 31;
  }
  std::memcpy(dest, &bits, 4);
  return 0;
}

int32_t _dieeetomsbin(const double* src, double* dest) {
  uint64_t bits = 0;
  std::memcpy(&bits, src, 8);
  const uint64_t sign = bits >> 63;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t frac = bits & ((uint64_t{1} << 52) - 1);
  uint8_t mbf[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  if (biased != 0 || frac != 0) {
    // MBF holds every IEEE value from 2^-128 to below 2^127 exactly, with the
    // 52 fraction bits as the top of its 55. Everything else (smaller values,
    // denormals, larger values, infinities, NaN) it cannot hold.
    const int exponent = biased - double_bias + mbf_exponent_offset;
    if (biased == 0 || exponent < 1 || exponent > 255) return 1;
    store_le(mbf, frac << 3, 7);
    mbf[6] = static_cast<uint8_t>(mbf[6] | (sign << 7));
    mbf[7] = static_cast<uint8_t>(exponent);
  }
  std::memcpy(dest, mbf, 8);
  return 0;
}

int32_t _dmsbintoieee(const double* src, double* dest) {
  uint8_t mbf[8];
  std::memcpy(mbf, src, 8);
  const int exponent = mbf[7];
  uint64_t bits = 0;
  if (exponent != 0) {
    // The 56-bit significand rounded to IEEE's 53 bits. Every MBF exponent maps
    // to a normal IEEE one, and a carry out of the top (all 55 bits set) simply
    // raises the exponent: adding the significand, implied bit included, to
    // the exponent field one below its value does both.
    const uint64_t frac = load_le<uint64_t>(mbf, 7) & ((uint64_t{1} << 55) - 1);
    const uint64_t sig = shift_round((uint64_t{1} << 55) | frac, 3);  // 2^52 <= sig <= 2^53
    const auto biased = static_cast<uint64_t>(exponent - mbf_exponent_offset + double_bias);
    bits = ((biased - 1) << 52) + sig;
    bits |= static_cast<uint64_t>(mbf[6] >> 7) << 63;
  }
  std::memcpy(dest, &bits, 8);
  return 0;
}

kxs* func_mksmbf(float v) {
  kxs* out = kxs_new(4, 1);
  float mbf = 0;
  if (_fieeetomsbin(&v, &mbf) != 0) {
    out->len = 0;
    error(5);
    return out;
  }
  std::memcpy(out->chars, &mbf, 4);
  return out;
}

kxs* func_mkdmbf(double v) {
  kxs* out = kxs_new(8, 1);
  double mbf = 0;
  if (_dieeetomsbin(&v, &mbf) != 0) {
    out->len = 0;
    error(5);
    return out;
  }
  std::memcpy(out->chars, &mbf, 8);
  return out;
}

long double func_cvsmbf(kxs* s) {
  if (!holds(s, 4)) return 0;
  float mbf = 0;
  float v = 0;
  std::memcpy(&mbf, s->chars, 4);
  if (_fmsbintoieee(&mbf, &v) != 0) {
    error(5);
    return 0;
  }
  return v;
}

long double func_cvdmbf(kxs* s) {
  if (!holds(s, 8)) return 0;
  double mbf = 0;
  double v = 0;
  std::memcpy(&mbf, s->chars, 8);
  if (_dmsbintoieee(&mbf, &v) != 0) {
    error(5);
    return 0;
  }
  return v;
}

// ---- 64-bit values from halves ----

int64_t build_int64(uint32_t hi, uint32_t lo) { return static_cast<int64_t>(build_uint64(hi, lo)); }

uint64_t build_uint64(uint32_t hi, uint32_t lo) { return (static_cast<uint64_t>(hi) << 32) | lo; }
