// Emulated conventional memory: the 1 MB (+64 KB) real-mode address space with
// its BIOS bytes and the DBLOCK, DEF SEG, PEEK and POKE, the dynamic blocks taken
// from the top of conventional memory, and the static store of compiled code.
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "frame/frame.h"
#include "strings/strings.h"

uint8_t cmem[cmem_size];
uint8_t* dblock = cmem + 0x500;
uint32_t cmem_sp = 65536;
uint8_t* nothingvalue = nullptr;
uint8_t* defseg = cmem + 1280;

uint8_t* cmem_static_base = cmem + cmem_static_start;
uint8_t* cmem_static_pointer = cmem + cmem_static_start;

cmem_dynamic_link_struct cmem_dynamic_link[cmem_dynamic_links];
cmem_dynamic_link_struct* cmem_dynamic_link_first = nullptr;
int32_t cmem_dynamic_next_link = 0;
// Entries are stored from position 1, so one more than there are links.
int32_t cmem_dynamic_free_list[cmem_dynamic_links + 1];
int32_t cmem_dynamic_free_link = 0;
uint8_t* cmem_dynamic_base = cmem + cmem_dynamic_top;

uint8_t* mem_static = nullptr;
uint8_t* mem_static_pointer = nullptr;
uint8_t* mem_static_limit = nullptr;
size_t mem_static_size = 0;

uint8_t* redim_preserve_cmem_buffer = static_cast<uint8_t*>(std::malloc(65536));

namespace {

// Segment and offset arguments cover one wrap of the 16-bit range either way.
bool in_address_range(int32_t v) { return v >= -65536 && v <= 65535; }

uint8_t* segment_byte(int32_t offset) {
  return defseg + (static_cast<uint32_t>(offset) & 0xFFFF);
}

// Records handed out by the static store start on an 8-byte boundary.
constexpr size_t static_alignment = 8;

// Every block of the static store ever made: data handed out from a full block
// stays where it is, so none is released while the program runs.
// The list itself is never destroyed, so the blocks stay reachable to the end.
std::vector<uint8_t*>& mem_static_blocks = *new std::vector<uint8_t*>;

constexpr size_t aligned(size_t n) { return (n + static_alignment - 1) & ~(static_alignment - 1); }

}  // namespace

void init_mem_static() {
  for (uint8_t* block : mem_static_blocks) std::free(block);
  mem_static_blocks.clear();
  mem_static_size = 1048576;
  mem_static = static_cast<uint8_t*>(std::malloc(mem_static_size));
  if (!mem_static) error(504);
  mem_static_blocks.push_back(mem_static);
  mem_static_pointer = mem_static;
  mem_static_limit = mem_static ? mem_static + mem_static_size : nullptr;
}

void init_cmem() {
  std::memset(cmem, 0, sizeof cmem);
  dblock = cmem + 0x500;
  defseg = cmem + 1280;
  cmem_sp = 65536;
  // An 8-byte zero value at the top of the DBLOCK stack.
  cmem_sp -= 8;
  nothingvalue = dblock + cmem_sp;
  std::memset(nothingvalue, 0, 8);
  cmem_static_base = cmem_static_pointer = cmem + cmem_static_start;
  cmem_dynamic_link_first = nullptr;
  cmem_dynamic_next_link = 0;
  cmem_dynamic_free_link = 0;
  cmem_dynamic_base = cmem + cmem_dynamic_top;
}

void sub_defseg(int32_t segment, int32_t passed) {
  if (new_error.load()) return;
  if (!passed) {
    defseg = cmem + 1280;
    return;
  }
  if (!in_address_range(segment)) {
    error(6);
    return;
  }
  defseg = cmem + (static_cast<uint32_t>(segment) & 0xFFFF) * 16;
}

int32_t func_peek(int32_t offset) {
  if (!in_address_range(offset)) {
    error(6);
    return 0;
  }
  return *segment_byte(offset);
}

void sub_poke(int32_t offset, int32_t value) {
  if (new_error.load()) return;
  if (!in_address_range(offset)) {
    error(6);
    return;
  }
  *segment_byte(offset) = static_cast<uint8_t>(value);
}

uint32_t defseg_offset() { return static_cast<uint32_t>(defseg - cmem); }

bool cmem_range_ok(uint64_t start, uint64_t length) {
  return start <= cmem_size && length <= cmem_size - start;
}

kxs* func_varptr_helper(uint8_t type, uint16_t offset) {
  kxs* s = kxs_new(3, 1);
  s->chars[0] = type;
  s->chars[1] = static_cast<uint8_t>(offset);
  s->chars[2] = static_cast<uint8_t>(offset >> 8);
  return s;
}

byte_element_struct* byte_element(uint64_t offset, int32_t length) {
  if (length < 0) length = 0;
  constexpr size_t bytes = aligned(sizeof(byte_element_struct));
  uint8_t* p;
  if (mem_static_pointer && static_cast<size_t>(mem_static_limit - mem_static_pointer) > bytes) {
    p = mem_static_pointer;
    mem_static_pointer += bytes;
  } else {
    p = mem_static_malloc(bytes);
    if (!p) return nullptr;
  }
  auto* e = new (p) byte_element_struct;
  e->element_offset = offset;
  e->element_length = length;
  return e;
}

uint8_t* cmem_dynamic_malloc(uint32_t size) {
  if (size > 65536) {
    error(505);
    return nullptr;
  }
  uint8_t* const top_of_area = cmem + cmem_dynamic_top;
  if (size == 0) return top_of_area;
  size = (size + 15) & ~15u;

  // First fit from the top: the chain is in descending address order.
  uint8_t* top = top_of_area;
  cmem_dynamic_link_struct* prev = nullptr;
  cmem_dynamic_link_struct* at = cmem_dynamic_link_first;
  while (at) {
    if (static_cast<uint64_t>(top - at->block_end) >= size) break;
    prev = at;
    top = at->block_start;
    at = at->next_link;
  }
  if (!at) {
    if (top < cmem_static_pointer || static_cast<uint64_t>(top - cmem_static_pointer) < size) {
      error(506);
      return nullptr;
    }
    cmem_dynamic_base = top - size;
  }

  int32_t index;
  if (cmem_dynamic_free_link > 0) {
    index = cmem_dynamic_free_list[cmem_dynamic_free_link--];
  } else {
    if (cmem_dynamic_next_link >= cmem_dynamic_links) {
      error(507);
      return nullptr;
    }
    index = cmem_dynamic_next_link++;
  }
  cmem_dynamic_link_struct* link = &cmem_dynamic_link[index];
  link->link_index = index;
  link->block_start = top - size;
  link->block_size = size;
  link->block_end = top;
  link->next_link = at;
  if (prev) {
    prev->next_link = link;
  } else {
    cmem_dynamic_link_first = link;
  }
  return link->block_start;
}

void cmem_dynamic_free(uint8_t* p) {
  if (!cmem_dynamic_link_first || !p || p == cmem + cmem_dynamic_top) return;
  cmem_dynamic_link_struct* prev = nullptr;
  for (cmem_dynamic_link_struct* at = cmem_dynamic_link_first; at; at = at->next_link) {
    if (at->block_start == p) {
      if (prev) {
        prev->next_link = at->next_link;
      } else {
        cmem_dynamic_link_first = at->next_link;
      }
      cmem_dynamic_free_list[++cmem_dynamic_free_link] = at->link_index;
      return;
    }
    prev = at;
  }
}

uint8_t* mem_static_malloc(size_t size) {
  size = aligned(size);
  if (mem_static_pointer && static_cast<size_t>(mem_static_limit - mem_static_pointer) > size) {
    uint8_t* p = mem_static_pointer;
    mem_static_pointer += size;
    return p;
  }
  // A new block, larger than the last; data handed out from older blocks stays.
  size_t grown = mem_static_size * 2 + size;
  if (grown < mem_static_size) {
    error(504);
    return nullptr;
  }
  auto* block = static_cast<uint8_t*>(std::malloc(grown));
  if (!block) {
    error(504);
    return nullptr;
  }
  mem_static_blocks.push_back(block);
  mem_static_size = grown;
  mem_static = block;
  mem_static_pointer = block + size;
  mem_static_limit = block + mem_static_size;
  return block;
}

void mem_static_restore(uint8_t* p) {
  const auto at = reinterpret_cast<uintptr_t>(p);
  if (at >= reinterpret_cast<uintptr_t>(mem_static) && at <= reinterpret_cast<uintptr_t>(mem_static_limit)) {
    mem_static_pointer = p;
  } else {
    mem_static_pointer = mem_static;
  }
}
