// String functions that build a result from a string argument. Each consumes a
// temporary argument: it returns it (changed in place when it is a temporary
// pool string), or builds a new temporary and releases the argument.
#include <cstring>

#include "strings/strings.h"

namespace {

// A temporary pool string: the routine that receives it owns its characters.
inline bool reusable(const kxs* s) { return s->is_tmp && !s->is_fixed && !s->is_readonly && !s->is_cmem; }

inline bool lower_letter(uint8_t c) { return c >= 'a' && c <= 'z'; }

}  // namespace

kxs* kxs_ucase(kxs* s) {
  if (s->len == 0) return s;
  const size_t n = static_cast<size_t>(s->len);
  if (reusable(s)) {
    for (size_t i = 0; i < n; ++i)
      if (lower_letter(s->chars[i])) s->chars[i] = static_cast<uint8_t>(s->chars[i] - 32);
    return s;
  }
  size_t first = 0;
  while (first < n && !lower_letter(s->chars[first])) ++first;
  if (first == n) return s;
  kxs* out = kxs_new(s->len, 1);
  // s->chars is read only after kxs_new, which may have moved pool strings.
  std::memcpy(out->chars, s->chars, n);
  for (size_t i = first; i < n; ++i)
    if (lower_letter(out->chars[i])) out->chars[i] = static_cast<uint8_t>(out->chars[i] - 32);
  if (s->is_tmp) kxs_free(s);
  return out;
}

kxs* kxs_left(kxs* s, int32_t n) {
  if (n < 0) n = 0;
  if (n >= s->len) return s;
  if (reusable(s)) {
    s->len = n;
    return s;
  }
  kxs* out = kxs_new(n, 1);
  std::memcpy(out->chars, s->chars, static_cast<size_t>(n));
  if (s->is_tmp) kxs_free(s);
  return out;
}
