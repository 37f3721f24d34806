// Emulated conventional memory: the 1 MB (+64 KB) real-mode address space.
#include <cstring>

#include "strings/strings.h"

uint8_t cmem[cmem_size];
uint8_t* dblock = cmem + 0x500;
uint32_t cmem_sp = 65536;
uint8_t* nothingvalue = nullptr;

void init_cmem() {
  std::memset(cmem, 0, sizeof cmem);
  dblock = cmem + 0x500;
  cmem_sp = 65536;
  // An 8-byte zero value at the top of the DBLOCK stack.
  cmem_sp -= 8;
  nothingvalue = dblock + cmem_sp;
  std::memset(nothingvalue, 0, 8);
}
