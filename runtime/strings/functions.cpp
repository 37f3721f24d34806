// The built-in string functions and statements over kxs strings.
//
// Functions that build a result from a string argument (UCASE$, LCASE$, LEFT$,
// RIGHT$, MID$, LTRIM$, RTRIM$) consume a temporary argument: they return it
// (changed in place when it is a temporary pool string), or build a new
// temporary and release the argument. INSTR, the comparisons, ASC, LEN, LSET,
// RSET and the MID$ statement leave their arguments alone.
//
// Positions and lengths are worked out in 64 bits, so that no combination of
// int32 start and count arguments can overflow; the clamped results always lie
// inside the string.
#include <cstring>

#include "frame/frame.h"
#include "strings/strings.h"

namespace {

// A temporary pool string: the routine that receives it owns its characters.
inline bool reusable(const kxs* s) { return s->is_tmp && !s->is_fixed && !s->is_readonly && !s->is_cmem; }

inline bool lower_letter(uint8_t c) { return c >= 'a' && c <= 'z'; }
inline bool upper_letter(uint8_t c) { return c >= 'A' && c <= 'Z'; }

inline size_t size_of(const kxs* s) { return static_cast<size_t>(s->len); }

// Copies n bytes; a zero count never touches either pointer.
inline void copy_bytes(uint8_t* to, const uint8_t* from, size_t n) {
  if (n != 0) std::memmove(to, from, n);
}

// The n bytes of s from offset `from` as the result of a function that consumes
// its argument: s itself when that is all of it, s shortened in place when it is
// a reusable temporary, else a new temporary (and s released if temporary).
kxs* substring(kxs* s, int64_t from, int64_t n) {
  if (from == 0 && n == s->len) return s;
  if (reusable(s)) {
    s->chars += from;
    s->len = static_cast<int32_t>(n);
    return s;
  }
  kxs* out = kxs_new(static_cast<int32_t>(n), 1);
  // s->chars is read only after kxs_new, which may have moved pool strings.
  copy_bytes(out->chars, s->chars + from, static_cast<size_t>(n));
  if (s->is_tmp) kxs_free(s);
  return out;
}

// UCASE$ and LCASE$: only the 26 ASCII letters of one case change, by 32.
template <bool (*changes)(uint8_t), int delta>
kxs* change_case(kxs* s) {
  if (s->len == 0) return s;
  const size_t n = size_of(s);
  if (reusable(s)) {
    for (size_t i = 0; i < n; ++i)
      if (changes(s->chars[i])) s->chars[i] = static_cast<uint8_t>(s->chars[i] + delta);
    return s;
  }
  size_t first = 0;
  while (first < n && !changes(s->chars[first])) ++first;
  if (first == n) return s;
  kxs* out = kxs_new(s->len, 1);
  std::memcpy(out->chars, s->chars, n);
  for (size_t i = first; i < n; ++i)
    if (changes(out->chars[i])) out->chars[i] = static_cast<uint8_t>(out->chars[i] + delta);
  if (s->is_tmp) kxs_free(s);
  return out;
}

// A count argument as a length: negative counts become 0.
inline int32_t count(int32_t n) { return n < 0 ? 0 : n; }

kxs* filled(int32_t n, uint8_t byte) {
  kxs* out = kxs_new(count(n), 1);
  if (out->len != 0) std::memset(out->chars, byte, size_of(out));
  return out;
}

// Three-way comparison of the bytes as unsigned values; a proper prefix is less.
int compare(const kxs* a, const kxs* b) {
  const size_t n = a->len < b->len ? size_of(a) : size_of(b);
  if (n != 0) {
    const int c = std::memcmp(a->chars, b->chars, n);
    if (c != 0) return c;
  }
  return a->len < b->len ? -1 : (a->len > b->len ? 1 : 0);
}

inline int32_t boolean(bool b) { return b ? -1 : 0; }

// Offset of the first occurrence of needle[0, m) in hay[0, n), or -1; m >= 1.
int64_t find_bytes(const uint8_t* hay, size_t n, const uint8_t* needle, size_t m) {
  if (m > n) return -1;
#if defined(__GLIBC__)
  const void* hit = memmem(hay, n, needle, m);
  return hit == nullptr ? -1 : static_cast<const uint8_t*>(hit) - hay;
#else
  // Each hit of the first byte that leaves room for the rest is compared whole.
  const uint8_t* p = hay;
  const uint8_t* const last = hay + (n - m);  // the last place a match can start
  while (p <= last) {
    p = static_cast<const uint8_t*>(std::memchr(p, needle[0], static_cast<size_t>(last - p) + 1));
    if (p == nullptr) return -1;
    if (std::memcmp(p + 1, needle + 1, m - 1) == 0) return p - hay;
    ++p;
  }
  return -1;
#endif
}

}  // namespace

kxs* kxs_ucase(kxs* s) { return change_case<lower_letter, -32>(s); }

kxs* kxs_lcase(kxs* s) { return change_case<upper_letter, 32>(s); }

kxs* func_chr(int32_t n) {
  if (n < 0 || n > 255) {
    kxs* out = kxs_new(0, 1);
    error(5);
    return out;
  }
  kxs* out = kxs_new(1, 1);
  out->chars[0] = static_cast<uint8_t>(n);
  return out;
}

kxs* kxs_left(kxs* s, int32_t n) {
  n = count(n);
  if (n > s->len) n = s->len;
  return substring(s, 0, n);
}

kxs* kxs_right(kxs* s, int32_t n) {
  n = count(n);
  if (n > s->len) n = s->len;
  return substring(s, s->len - n, n);
}

kxs* func_mid(kxs* s, int32_t start_arg, int32_t n_arg, int32_t passed) {
  const int64_t len = s->len;
  int64_t start = start_arg;
  int64_t n = n_arg;
  if (passed) {
    // The part of the requested range before position 1 is cut off.
    if (start <= 0) {
      n = n + start - 1;
      start = 1;
    }
    if (n <= 0 || start > len) {
      start = 1;
      n = 0;
    } else if (start + n - 1 > len) {
      n = len - start + 1;
    }
  } else {
    if (start <= 0) start = 1;
    n = len - start + 1;
    if (n <= 0) {
      start = 1;
      n = 0;
    }
  }
  return substring(s, start - 1, n);
}

void sub_mid(kxs* d, int32_t start_arg, int32_t n_arg, kxs* s, int32_t passed) {
  if (new_error.load() != 0) return;
  int64_t start = start_arg;
  int64_t n = passed ? n_arg : s->len;
  int64_t from = 0;  // offset into s of the first byte copied
  if (d == nothingstring) return;
  // Characters of s that would fall before position 1 are skipped.
  if (start <= 0) {
    n = n + start - 1;
    from = 1 - start;
    start = 1;
  }
  if (n <= 0 || start > d->len) return;
  if (start + n - 1 > d->len) n = d->len - start + 1;
  if (from >= s->len) return;
  if (n > s->len - from) n = s->len - from;
  uint8_t* to = d->chars + (start - 1);
  const uint8_t* src = s->chars + from;
  if (to == src) return;  // the same bytes of the same string
  copy_bytes(to, src, static_cast<size_t>(n));
}

int32_t func_instr(int32_t start_arg, kxs* s, kxs* find, int32_t passed) {
  int64_t start = passed ? start_arg : 1;
  const int64_t len = s->len;
  if (len == 0) return 0;
  if (start <= 0) {
    start = 1;
    if (find->len == 0) return 0;
  }
  if (start > len) return 0;
  if (find->len == 0) return static_cast<int32_t>(start);
  if (start + find->len - 1 > len) return 0;
  const int64_t at = find_bytes(s->chars + (start - 1), static_cast<size_t>(len - (start - 1)), find->chars,
                                size_of(find));
  return at < 0 ? 0 : static_cast<int32_t>(start + at);
}

kxs* kxs_ltrim(kxs* s) {
  if (s->len == 0 || s->chars[0] != ' ') return s;
  int64_t spaces = 0;
  while (spaces < s->len && s->chars[spaces] == ' ') ++spaces;
  return substring(s, spaces, s->len - spaces);
}

kxs* kxs_rtrim(kxs* s) {
  if (s->len == 0 || s->chars[s->len - 1] != ' ') return s;
  int64_t keep = s->len;
  while (keep > 0 && s->chars[keep - 1] == ' ') --keep;
  return substring(s, 0, keep);
}

kxs* func_space(int32_t n) { return filled(n, ' '); }

kxs* func_string(int32_t n, int32_t code) { return filled(n, static_cast<uint8_t>(code & 0xFF)); }

void sub_lset(kxs* d, kxs* s) {
  if (new_error.load() != 0) return;
  if (s->len >= d->len) {
    copy_bytes(d->chars, s->chars, size_of(d));
    return;
  }
  copy_bytes(d->chars, s->chars, size_of(s));
  std::memset(d->chars + s->len, ' ', static_cast<size_t>(d->len - s->len));
}

void sub_rset(kxs* d, kxs* s) {
  if (new_error.load() != 0) return;
  if (s->len >= d->len) {
    copy_bytes(d->chars, s->chars, size_of(d));
    return;
  }
  const size_t front = static_cast<size_t>(d->len - s->len);
  // The source is read before the front is filled, in case the two overlap.
  copy_bytes(d->chars + front, s->chars, size_of(s));
  std::memset(d->chars, ' ', front);
}

int32_t kxs_equal(kxs* a, kxs* b) {
  if (a->len != b->len) return 0;
  return boolean(a->len == 0 || std::memcmp(a->chars, b->chars, size_of(a)) == 0);
}
int32_t kxs_notequal(kxs* a, kxs* b) { return kxs_equal(a, b) ? 0 : -1; }
int32_t kxs_greaterthan(kxs* a, kxs* b) { return boolean(compare(a, b) > 0); }
int32_t kxs_lessthan(kxs* a, kxs* b) { return boolean(compare(a, b) < 0); }
int32_t kxs_lessorequal(kxs* a, kxs* b) { return boolean(compare(a, b) <= 0); }
int32_t kxs_greaterorequal(kxs* a, kxs* b) { return boolean(compare(a, b) >= 0); }

int32_t kxs_asc(kxs* s) {
  if (s->len == 0) {
    error(5);
    return 0;
  }
  return s->chars[0];
}

int32_t kxs_asc(kxs* s, uint32_t pos) {
  // pos 0 wraps to a huge offset, so one unsigned test rejects pos <= 0 too.
  if (pos - 1u >= static_cast<uint32_t>(s->len)) {
    error(5);
    return 0;
  }
  return s->chars[pos - 1u];
}

int32_t kxs_len(kxs* s) { return s->len; }
