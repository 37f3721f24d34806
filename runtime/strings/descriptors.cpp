// String records and their pools.
//
// Pool strings keep their characters in kxs_data, DBLOCK strings in the heap at
// the bottom of the DBLOCK, fixed-length strings and literals over storage that
// belongs to someone else. Every string an expression produces is a temporary,
// listed in kxs_tmp_list until the statement's kxs_cleanup or the routine that
// consumes it releases it. All of this runs on the program thread only.
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "strings/strings.h"

// ---- Shared state ----
// Constant-initialised so that the first record taken (from whatever static
// initialiser or thread start) finds the pools missing and creates them.
kxs* kxs_malloc = nullptr;
uint32_t kxs_malloc_next = kxs_block_records;
kxs** kxs_malloc_freed = nullptr;
uint32_t kxs_malloc_freed_num = 0;
uint32_t kxs_malloc_freed_size = 0;

uint8_t* kxs_data = nullptr;
uint64_t kxs_data_size = 0;
uint64_t kxs_sp = 0;

uint32_t kxs_cmem_sp = 256;
const uint32_t kxs_cmem_descriptor_space = 256;

kxs** kxs_list = nullptr;
uint32_t kxs_list_nexti = 0;
uint32_t kxs_list_lasti = 0;
kxs** kxs_cmem_list = nullptr;
uint32_t kxs_cmem_list_nexti = 0;
uint32_t kxs_cmem_list_lasti = 0;
kxs** kxs_tmp_list = nullptr;
uint32_t kxs_tmp_list_nexti = 1;
uint32_t kxs_tmp_list_lasti = 0;

kxs* nothingstring = nullptr;
kxs* singlespace = nullptr;

namespace {

constexpr uint32_t initial_list_slots = 65536;
constexpr uint64_t initial_data_size = 1048576;
constexpr uint32_t dblock_bytes = 65536;

bool pools_ready = false;
// Header record in front of the newest record block; its chars field links to
// the header of the block before (records never move, blocks are only released
// by kxs_reset_for_tests).
kxs* newest_block_header = nullptr;

// The string system's failures are all critical: error() shows the box and ends
// the process. Nothing after it may run, whatever error() does.
[[noreturn]] void fatal(int32_t n) {
  error(n);
  immediate_exit(0);
}

inline kxs* dead() { return kxs_dead_slot(); }

inline uint64_t distance(const void* from, const void* to) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(to) - reinterpret_cast<uintptr_t>(from));
}

template <class T>
T* grow_array(T* block, uint64_t count, int32_t err) {
  if (count > SIZE_MAX / sizeof(T)) fatal(err);
  void* p = std::realloc(block, static_cast<size_t>(count * sizeof(T)));
  if (p == nullptr) fatal(err);
  return static_cast<T*>(p);
}

void new_record_block() {
  void* p = std::calloc(kxs_block_records + 1, sizeof(kxs));
  if (p == nullptr) fatal(508);
  kxs* block = static_cast<kxs*>(p);
  block[0].chars = reinterpret_cast<uint8_t*>(newest_block_header);
  newest_block_header = block;
  kxs_malloc = block + 1;
  kxs_malloc_next = 0;
}

void init_pools() {
  pools_ready = true;
  new_record_block();
  kxs_malloc_freed = grow_array<kxs*>(nullptr, initial_list_slots, 508);
  kxs_malloc_freed_num = 0;
  kxs_malloc_freed_size = initial_list_slots;
  kxs_list = grow_array<kxs*>(nullptr, initial_list_slots, 510);
  kxs_list_nexti = 0;
  kxs_list_lasti = initial_list_slots - 1;
  kxs_cmem_list = grow_array<kxs*>(nullptr, initial_list_slots, 509);
  kxs_cmem_list_nexti = 0;
  kxs_cmem_list_lasti = initial_list_slots - 1;
  void* t = std::calloc(initial_list_slots, sizeof(kxs*));
  if (t == nullptr) fatal(511);
  kxs_tmp_list = static_cast<kxs**>(t);
  kxs_tmp_list_nexti = 1;
  kxs_tmp_list_lasti = initial_list_slots - 1;
  kxs_data = grow_array<uint8_t>(nullptr, initial_data_size, 512);
  kxs_data_size = initial_data_size;
  kxs_sp = 0;
  kxs_cmem_sp = kxs_cmem_descriptor_space;
}

inline void ensure_pools() {
  if (!pools_ready) init_pools();
}

// The tables exist before main() like the runtime's other growable tables.
[[maybe_unused]] const bool pools_made_at_start = (ensure_pools(), true);

// Doubles a list's last index and its room (lasti + 1 slots).
void grow_list(kxs**& list, uint32_t& lasti, int32_t err) {
  const uint64_t new_lasti = static_cast<uint64_t>(lasti) * 2;
  if (new_lasti >= UINT32_MAX) fatal(err);
  list = grow_array(list, new_lasti + 1, err);
  lasti = static_cast<uint32_t>(new_lasti);
}

// Squeezes the dead slots out of a list, keeping the order.
void squeeze(kxs** list, uint32_t& nexti) {
  uint32_t j = 0;
  for (uint32_t i = 0; i < nexti; ++i) {
    kxs* s = list[i];
    if (s == dead()) continue;
    if (i != j) {
      list[j] = s;
      s->list_index = j;
    }
    ++j;
  }
  nexti = j;
}

// Record store, inlined into the constructors and releases; the rare paths
// (first use, a new block, a full stack of released records) are out of line.
[[gnu::noinline]] void new_record_block_or_pools() {
  if (!pools_ready)
    init_pools();
  else
    new_record_block();
}

[[gnu::noinline]] void grow_freed_stack() {
  const uint64_t size = static_cast<uint64_t>(kxs_malloc_freed_size) * 2;
  if (size > UINT32_MAX) fatal(508);
  kxs_malloc_freed = grow_array(kxs_malloc_freed, size, 508);
  kxs_malloc_freed_size = static_cast<uint32_t>(size);
}

inline kxs* take_record() {
  if (kxs_malloc_freed_num != 0) {
    kxs* s = kxs_malloc_freed[--kxs_malloc_freed_num];
    *s = kxs{};
    return s;
  }
  if (kxs_malloc_next == kxs_block_records) [[unlikely]]
    new_record_block_or_pools();
  return &kxs_malloc[kxs_malloc_next++];
}

inline void give_record(kxs* s) {
  if (kxs_malloc_freed_num == kxs_malloc_freed_size) [[unlikely]]
    grow_freed_stack();
  kxs_malloc_freed[kxs_malloc_freed_num++] = s;
}

inline void enter_tmp(kxs* s) {
  if (kxs_tmp_list_nexti > kxs_tmp_list_lasti) kxs_tmp_concat_list();
  kxs_tmp_list[kxs_tmp_list_nexti] = s;
  s->tmp_list_index = kxs_tmp_list_nexti++;
  s->is_tmp = 1;
}

inline void append_pool(kxs* s) {
  if (kxs_list_nexti > kxs_list_lasti) kxs_concat_list();
  kxs_list[kxs_list_nexti] = s;
  s->list_index = kxs_list_nexti++;
}

inline void append_cmem(kxs* s) {
  if (kxs_cmem_list_nexti > kxs_cmem_list_lasti) kxs_cmem_concat_list();
  kxs_cmem_list[kxs_cmem_list_nexti] = s;
  s->list_index = kxs_cmem_list_nexti++;
}

// Writes the 4-byte descriptor: uint16 length, uint16 DBLOCK offset of the first
// character, both little-endian. The descriptor may sit at any byte address.
inline void write_descriptor(kxs* s) {
  uint8_t* d = reinterpret_cast<uint8_t*>(s->cmem_desc);
  const uint32_t len = static_cast<uint32_t>(s->len);
  const uint32_t off = static_cast<uint32_t>(distance(dblock, s->chars));
  d[0] = static_cast<uint8_t>(len);
  d[1] = static_cast<uint8_t>(len >> 8);
  d[2] = static_cast<uint8_t>(off);
  d[3] = static_cast<uint8_t>(off >> 8);
}

// Takes a descriptor from the top of the DBLOCK stack; err when it would reach
// down into the string heap.
void take_descriptor(kxs* s, int32_t err) {
  if (static_cast<uint64_t>(cmem_sp) < static_cast<uint64_t>(kxs_cmem_sp) + 4) fatal(err);
  cmem_sp -= 4;
  s->cmem_desc = reinterpret_cast<uint16_t*>(dblock + cmem_sp);
  s->cmem_desc_offset = static_cast<uint16_t>(cmem_sp);
  write_descriptor(s);
}

inline bool inside_dblock(const uint8_t* p) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  const uintptr_t base = reinterpret_cast<uintptr_t>(dblock);
  return a > base && a < base + dblock_bytes;
}

inline kxs* finish_set(kxs* dest, kxs* src) {
  if (src->is_tmp) kxs_free(src);
  if (dest->cmem_desc != nullptr) write_descriptor(dest);
  return dest;
}

// The two regions a growing string can live in, for cases 4 and 5 of kxs_set.
struct pool_region {
  static uint8_t* base() { return kxs_data; }
  static uint64_t end() { return kxs_data_size; }  // offset limit
  static kxs** list() { return kxs_list; }
  static uint32_t& nexti() { return kxs_list_nexti; }
  static uint64_t free_offset() { return kxs_sp; }
  static void set_free_offset(uint64_t v) { kxs_sp = v; }
  static void compact(uint32_t n) { kxs_concat(n); }
  static void append(kxs* s) { append_pool(s); }
};

struct cmem_region {
  static uint8_t* base() { return dblock; }
  static uint64_t end() { return cmem_sp; }
  static kxs** list() { return kxs_cmem_list; }
  static uint32_t& nexti() { return kxs_cmem_list_nexti; }
  static uint64_t free_offset() { return kxs_cmem_sp; }
  static void set_free_offset(uint64_t v) { kxs_cmem_sp = static_cast<uint32_t>(v); }
  static void compact(uint32_t n) { kxs_concat_cmem(n); }
  static void append(kxs* s) { append_cmem(s); }
};

// dest = src where src is longer than dest and cannot be taken over.
template <class R>
kxs* set_longer(kxs* dest, kxs* src) {
  const uint32_t n = static_cast<uint32_t>(src->len);
  const uint64_t new_end = distance(R::base(), dest->chars) + n;
  kxs** list = R::list();
  uint32_t& nexti = R::nexti();
  const uint32_t li = dest->list_index;

  if (li + 1 == nexti) {
    if (new_end <= R::end()) {
      std::memmove(dest->chars, src->chars, n);
      dest->len = src->len;
      R::set_free_offset(new_end);
      return finish_set(dest, src);
    }
  } else {
    kxs* next = nullptr;
    for (uint32_t i = li + 1; i < nexti; ++i) {
      kxs* s = list[i];
      if (s == dead() || (s == src && src->is_tmp)) continue;
      next = s;
      break;
    }
    if (next != nullptr) {
      if (new_end <= distance(R::base(), next->chars)) {
        std::memmove(dest->chars, src->chars, n);
        dest->len = src->len;
        return finish_set(dest, src);
      }
    } else if (new_end <= R::end()) {
      // Only dead slots (or the temporary src) follow: drop them. When the text
      // does not fit they stay, so that compaction still moves src along.
      nexti = li + 1;
      std::memmove(dest->chars, src->chars, n);
      dest->len = src->len;
      R::set_free_offset(new_end);
      return finish_set(dest, src);
    }
  }

  // Relocate to the region's free end; compaction moves src too when it lives
  // in the same region.
  list[li] = dead();
  if (R::free_offset() + n > R::end()) R::compact(n);
  R::append(dest);
  dest->chars = R::base() + R::free_offset();
  dest->len = src->len;
  R::set_free_offset(R::free_offset() + n);
  std::memmove(dest->chars, src->chars, n);
  return finish_set(dest, src);
}

}  // namespace

// ---- Records ----

kxs* kxs_new_descriptor() { return take_record(); }

void kxs_free_descriptor(kxs* s) { give_record(s); }

// ---- Constructors ----

kxs* kxs_new(int32_t size, uint8_t tmp) {
  kxs* s = take_record();
  if (size < 0) [[unlikely]] fatal(512);
  const uint64_t need = static_cast<uint64_t>(size) + kxs_slack;
  if (kxs_sp + need > kxs_data_size) [[unlikely]] kxs_concat(static_cast<uint32_t>(need));
  s->len = size;
  s->chars = kxs_data + kxs_sp;
  kxs_sp += need;
  append_pool(s);
  if (tmp) enter_tmp(s);
  return s;
}

kxs* kxs_new_cmem(int32_t size, uint8_t tmp) {
  kxs* s = take_record();
  if (size < 0) fatal(513);
  if (static_cast<uint64_t>(kxs_cmem_sp) + static_cast<uint64_t>(size) > cmem_sp)
    kxs_concat_cmem(static_cast<uint32_t>(size));
  s->len = size;
  s->chars = dblock + kxs_cmem_sp;
  kxs_cmem_sp += static_cast<uint32_t>(size);
  s->is_cmem = 1;
  append_cmem(s);
  if (tmp)
    enter_tmp(s);
  else
    take_descriptor(s, 514);
  return s;
}

kxs* kxs_new_fixed(uint8_t* storage, uint32_t size, uint8_t tmp) {
  kxs* s = take_record();
  // A length must fit the record's int32.
  if (size > static_cast<uint32_t>(INT32_MAX)) fatal(515);
  s->len = static_cast<int32_t>(size);
  s->chars = storage;
  s->is_fixed = 1;
  if (tmp)
    enter_tmp(s);
  else if (inside_dblock(storage))
    take_descriptor(s, 515);
  return s;
}

kxs* kxs_new_txt_len(const char* text, int32_t len) {
  kxs* s = take_record();
  // The text is only read, never written, through a literal.
  s->chars = reinterpret_cast<uint8_t*>(const_cast<char*>(text));
  s->len = len < 0 ? 0 : len;
  s->is_readonly = 1;
  enter_tmp(s);
  return s;
}

kxs* kxs_new_txt(const char* text) {
  const size_t n = std::strlen(text);
  return kxs_new_txt_len(text, n > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(n));
}

kxs* kxs_maketmp(kxs* s) {
  if (!s->is_tmp) enter_tmp(s);
  return s;
}

// ---- Release ----

void kxs_free(kxs* s) {
  if (s->tmp_list_index != 0) {
    kxs_tmp_list[s->tmp_list_index] = dead();
    while (kxs_tmp_list[kxs_tmp_list_nexti - 1] == dead()) --kxs_tmp_list_nexti;
  }
  if (s->is_fixed || s->is_readonly) {
    // Storage belongs to the owner of the text.
  } else if (s->is_cmem) {
    // The heap bytes come back at the next DBLOCK compaction.
    kxs_cmem_list[s->list_index] = dead();
    if (s->list_index + 1 == kxs_cmem_list_nexti) --kxs_cmem_list_nexti;
  } else {
    kxs_list[s->list_index] = dead();
    while (kxs_list_nexti != 0 && kxs_list[kxs_list_nexti - 1] == dead()) --kxs_list_nexti;
    if (kxs_list_nexti != 0) {
      const kxs* last = kxs_list[kxs_list_nexti - 1];
      const uint64_t sp = distance(kxs_data, last->chars) + static_cast<uint64_t>(last->len) + kxs_slack;
      kxs_sp = sp < kxs_data_size ? sp : kxs_data_size;
    } else {
      kxs_sp = 0;
    }
  }
  give_record(s);
}

int32_t kxs_cleanup(uint32_t mark, int32_t value) {
  if (mark < 1) mark = 1;  // slot 0 is never a temporary
  while (kxs_tmp_list_nexti > mark) {
    kxs* s = kxs_tmp_list[--kxs_tmp_list_nexti];
    if (s != dead()) kxs_free(s);
  }
  return value;
}

// ---- Assignment and concatenation ----

kxs* kxs_set(kxs* dest, kxs* src) {
  if (dest == src) return dest;

  // Fixed length: truncate or pad with spaces; the length never changes.
  if (dest->is_fixed) {
    const int32_t n = src->len < dest->len ? src->len : dest->len;
    std::memmove(dest->chars, src->chars, static_cast<size_t>(n));
    if (n < dest->len) std::memset(dest->chars + n, ' ', static_cast<size_t>(dest->len - n));
    return finish_set(dest, src);
  }
  // A literal's text is not ours to write.
  if (dest->is_readonly) return finish_set(dest, src);

  // Take over a temporary of the same kind without copying.
  if (src->is_tmp && !src->is_fixed && !src->is_readonly && src->is_cmem == dest->is_cmem) {
    kxs** list = dest->is_cmem ? kxs_cmem_list : kxs_list;
    list[dest->list_index] = dead();
    list[src->list_index] = dest;
    dest->list_index = src->list_index;
    const uint32_t t = src->tmp_list_index;
    kxs_tmp_list[t] = dead();
    if (t + 1 == kxs_tmp_list_nexti) --kxs_tmp_list_nexti;
    dest->chars = src->chars;
    dest->len = src->len;
    give_record(src);
    if (dest->cmem_desc != nullptr) write_descriptor(dest);
    return dest;
  }

  if (src->len <= dest->len) {
    std::memmove(dest->chars, src->chars, static_cast<size_t>(src->len));
    dest->len = src->len;
    return finish_set(dest, src);
  }

  return dest->is_cmem ? set_longer<cmem_region>(dest, src) : set_longer<pool_region>(dest, src);
}

kxs* kxs_add(kxs* a, kxs* b) {
  if (b->len == 0) return a;
  if (a->len == 0) return b;
  const int64_t total = static_cast<int64_t>(a->len) + b->len;
  if (total > INT32_MAX) fatal(512);
  kxs* sum = kxs_new(static_cast<int32_t>(total), 1);
  // Read the operands' pointers only now: making sum may have moved them.
  std::memcpy(sum->chars, a->chars, static_cast<size_t>(a->len));
  std::memcpy(sum->chars + a->len, b->chars, static_cast<size_t>(b->len));
  if (a->is_tmp) kxs_free(a);
  if (b != a && b->is_tmp) kxs_free(b);
  return sum;
}

// ---- Compaction and growth ----

void kxs_concat(uint32_t n) {
  ensure_pools();
  if (kxs_list_nexti != 0) {
    uint8_t* to = kxs_data;
    for (uint32_t i = 0; i < kxs_list_nexti; ++i) {
      kxs* s = kxs_list[i];
      if (s == dead()) continue;
      // Strings 32 bytes or less above their packed place stay put.
      if (distance(to, s->chars) > kxs_slack) {
        std::memmove(to, s->chars, static_cast<size_t>(s->len));
        s->chars = to;
      }
      to = s->chars + s->len;
    }
    kxs_sp = distance(kxs_data, to);
  } else {
    kxs_sp = 0;
  }

  if (kxs_sp * 2 + n + kxs_slack >= kxs_data_size) {
    const uint64_t size = kxs_data_size * 2 + n;
    if (size > static_cast<uint64_t>(PTRDIFF_MAX)) fatal(512);
    const uintptr_t old_base = reinterpret_cast<uintptr_t>(kxs_data);
    kxs_data = grow_array(kxs_data, size, 512);
    kxs_data_size = size;
    for (uint32_t i = 0; i < kxs_list_nexti; ++i) {
      kxs* s = kxs_list[i];
      if (s == dead()) continue;
      s->chars = kxs_data + (reinterpret_cast<uintptr_t>(s->chars) - old_base);
    }
  }
}

void kxs_concat_cmem(uint32_t n) {
  ensure_pools();
  uint8_t* to = dblock + kxs_cmem_descriptor_space;
  for (uint32_t i = 0; i < kxs_cmem_list_nexti; ++i) {
    kxs* s = kxs_cmem_list[i];
    if (s == dead()) continue;
    if (s->chars != to) {
      std::memmove(to, s->chars, static_cast<size_t>(s->len));
      s->chars = to;
      if (s->cmem_desc != nullptr) write_descriptor(s);
    }
    to += s->len;
  }
  kxs_cmem_sp = static_cast<uint32_t>(distance(dblock, to));
  if (static_cast<uint64_t>(kxs_cmem_sp) + n > cmem_sp) fatal(513);
}

void kxs_concat_list() {
  ensure_pools();
  squeeze(kxs_list, kxs_list_nexti);
  if (kxs_list_nexti >= kxs_list_lasti / 2) grow_list(kxs_list, kxs_list_lasti, 510);
}

void kxs_cmem_concat_list() {
  ensure_pools();
  squeeze(kxs_cmem_list, kxs_cmem_list_nexti);
  if (kxs_cmem_list_nexti >= kxs_cmem_list_lasti / 2) grow_list(kxs_cmem_list, kxs_cmem_list_lasti, 509);
}

void kxs_tmp_concat_list() {
  ensure_pools();
  // Never squeezed: compiled code holds marks that are slot numbers.
  if (kxs_tmp_list_nexti >= kxs_tmp_list_lasti / 2) grow_list(kxs_tmp_list, kxs_tmp_list_lasti, 511);
}

// ---- Start-up and tests ----

void init_permanent_strings() {
  nothingstring = kxs_new_cmem(0, 0);
  singlespace = kxs_new_cmem(1, 0);
  singlespace->chars[0] = ' ';
}

void kxs_reset_for_tests() {
  while (newest_block_header != nullptr) {
    kxs* older = reinterpret_cast<kxs*>(newest_block_header->chars);
    std::free(newest_block_header);
    newest_block_header = older;
  }
  std::free(kxs_malloc_freed);
  std::free(kxs_list);
  std::free(kxs_cmem_list);
  std::free(kxs_tmp_list);
  std::free(kxs_data);
  kxs_malloc = nullptr;
  kxs_malloc_next = kxs_block_records;
  kxs_malloc_freed = nullptr;
  kxs_malloc_freed_num = kxs_malloc_freed_size = 0;
  kxs_list = kxs_cmem_list = kxs_tmp_list = nullptr;
  kxs_data = nullptr;
  kxs_data_size = kxs_sp = 0;
  pools_ready = false;
  nothingstring = singlespace = nullptr;

  dblock = cmem + 0x500;
  std::memset(dblock, 0, dblock_bytes);
  cmem_sp = dblock_bytes;
  init_pools();
}
