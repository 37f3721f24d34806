// Strings and memory: the string record and its pools, and the emulated
// conventional memory that DBLOCK strings live in.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Emulated conventional memory ----
// cmem stands for the real-mode address space: segment:offset is byte
// segment * 16 + offset, and 0xFFFF:0xFFFF is its byte 1114095.
constexpr uint32_t cmem_size = 1114099;
extern uint8_t cmem[cmem_size];
extern uint8_t* dblock;   // cmem + 0x500, the 64 KB DBLOCK
extern uint32_t cmem_sp;  // lowest used offset of the DBLOCK stack (starts at 65536)
extern uint8_t* nothingvalue;
extern uint8_t* defseg;   // base of the DEF SEG segment (cmem + 1280 by default)

// Video memory: the SCREEN 13 pixels and the text pages.
constexpr uint32_t cmem_mode13_pixels = 0xA0000;
constexpr uint32_t cmem_text_pages = 0xB8000;

// The static area above the DBLOCK and the dynamic area below 0xA0000.
constexpr uint32_t cmem_static_start = 0x10500;
constexpr uint32_t cmem_dynamic_top = 0xA0000;
constexpr int32_t cmem_dynamic_links = 147136;
extern uint8_t* cmem_static_base;
extern uint8_t* cmem_static_pointer;  // floor of the dynamic area

struct cmem_dynamic_link_struct {
  uint8_t* block_start;
  uint8_t* block_end;  // just past the block
  uint32_t block_size;
  int32_t link_index;
  cmem_dynamic_link_struct* next_link;  // the next block below, or null
};
extern cmem_dynamic_link_struct cmem_dynamic_link[cmem_dynamic_links];
extern cmem_dynamic_link_struct* cmem_dynamic_link_first;  // highest block
extern int32_t cmem_dynamic_next_link;
extern int32_t cmem_dynamic_free_list[cmem_dynamic_links + 1];
extern int32_t cmem_dynamic_free_link;
extern uint8_t* cmem_dynamic_base;  // lowest block start handed out so far

// Blocks of conventional memory for compiled code, first fit from the top; sizes
// are rounded up to 16 bytes. Errors 505 (over 64 KB), 506 (no room), 507 (no link).
uint8_t* cmem_dynamic_malloc(uint32_t size);
void cmem_dynamic_free(uint8_t* p);

// The static store of compiled code, outside cmem. Blocks are never moved or
// freed; a full block is followed by a larger one (error 504 when none is left).
extern uint8_t* mem_static;
extern uint8_t* mem_static_pointer;
extern uint8_t* mem_static_limit;
extern size_t mem_static_size;
uint8_t* mem_static_malloc(size_t size);
void mem_static_restore(uint8_t* p);

// 64 KB of scratch for compiled code that resizes an array kept in cmem.
extern uint8_t* redim_preserve_cmem_buffer;

// The bytes of a variable or string, for record and binary I/O.
struct byte_element_struct {
  uint64_t element_offset;  // address of the first byte
  int32_t element_length;
};
byte_element_struct* byte_element(uint64_t offset, int32_t length);

// DEF SEG [= segment], PEEK, POKE. Segments and offsets from -65536 to 65535
// wrap to 16 bits; others raise error 6.
void sub_defseg(int32_t segment, int32_t passed);
int32_t func_peek(int32_t offset);
void sub_poke(int32_t offset, int32_t value);
// The cmem offset of the DEF SEG segment.
uint32_t defseg_offset();
// True when the bytes start .. start + length - 1 all lie inside cmem.
bool cmem_range_ok(uint64_t start, uint64_t length);

// Makes the first static-store block (error 504 when it cannot).
void init_mem_static();
// Clears cmem, sets dblock and reserves nothingvalue.
void init_cmem();

// ---- String records ----
struct kxs {
  uint8_t* chars;
  int32_t len;
  uint8_t is_cmem;
  uint16_t* cmem_desc;
  uint16_t cmem_desc_offset;
  uint32_t list_index;
  uint8_t is_tmp;
  uint32_t tmp_list_index;
  uint8_t is_fixed;
  uint8_t is_readonly;
};

kxs* kxs_new(int32_t size, uint8_t tmp);
kxs* kxs_new_cmem(int32_t size, uint8_t tmp);
kxs* kxs_new_fixed(uint8_t* storage, uint32_t size, uint8_t tmp);
kxs* kxs_new_txt(const char* text);
kxs* kxs_new_txt_len(const char* text, int32_t len);
kxs* kxs_maketmp(kxs* s);
kxs* kxs_set(kxs* dest, kxs* src);
kxs* kxs_add(kxs* a, kxs* b);
void kxs_free(kxs* s);
int32_t kxs_cleanup(uint32_t mark, int32_t value);

// VARPTR$: a temporary of three bytes, the type and the little-endian offset.
kxs* func_varptr_helper(uint8_t type, uint16_t offset);

// UCASE$: consumes a temporary argument.
kxs* kxs_ucase(kxs* s);

extern kxs* nothingstring;
extern kxs* singlespace;
// Makes nothingstring and singlespace.
void init_permanent_strings();

// ---- Pool state (the compiled-code protocol reads kxs_tmp_list_nexti) ----
extern uint32_t kxs_tmp_list_nexti;

// ---- String functions and statements ----
// UCASE$, LCASE$, LEFT$, RIGHT$, MID$, LTRIM$ and RTRIM$ consume a temporary
// argument (returned, changed in place, or released after a new temporary is
// made). The others leave their string arguments alone. Counts and positions
// out of range are clamped; only CHR$ and ASC raise error 5.
kxs* kxs_lcase(kxs* s);
kxs* func_chr(int32_t n);
kxs* kxs_left(kxs* s, int32_t n);
kxs* kxs_right(kxs* s, int32_t n);
// MID$(s$, start[, n]); passed is 0 when n is omitted.
kxs* func_mid(kxs* s, int32_t start, int32_t n, int32_t passed);
// MID$(d$, start[, n]) = s$: overwrites bytes of d, never changes its length.
void sub_mid(kxs* d, int32_t start, int32_t n, kxs* s, int32_t passed);
// INSTR([start,] s$, find$): 1-based position or 0; passed is 0 when start is omitted.
int32_t func_instr(int32_t start, kxs* s, kxs* find, int32_t passed);
kxs* kxs_ltrim(kxs* s);
kxs* kxs_rtrim(kxs* s);
kxs* func_space(int32_t n);
kxs* func_string(int32_t n, int32_t code);
void sub_lset(kxs* d, kxs* s);
void sub_rset(kxs* d, kxs* s);
// Comparisons of the bytes as unsigned values: -1 true, 0 false.
int32_t kxs_equal(kxs* a, kxs* b);
int32_t kxs_notequal(kxs* a, kxs* b);
int32_t kxs_greaterthan(kxs* a, kxs* b);
int32_t kxs_lessthan(kxs* a, kxs* b);
int32_t kxs_lessorequal(kxs* a, kxs* b);
int32_t kxs_greaterorequal(kxs* a, kxs* b);
// ASC(s$) and ASC(s$, pos): error 5 and 0 for an empty string or pos outside 1..len.
int32_t kxs_asc(kxs* s);
int32_t kxs_asc(kxs* s, uint32_t pos);
int32_t kxs_len(kxs* s);

// ---- Pool internals (the string routines own them; tests inspect them) ----
// A dead slot of kxs_list, kxs_cmem_list or kxs_tmp_list holds this marker.
inline kxs* kxs_dead_slot() { return reinterpret_cast<kxs*>(~uintptr_t{0}); }

constexpr uint32_t kxs_block_records = 65536;  // records per record block
constexpr uint32_t kxs_slack = 32;             // spare bytes behind every new pool string

// Record store: the current block, its next never-used record, the stack of
// released records.
extern kxs* kxs_malloc;
extern uint32_t kxs_malloc_next;
extern kxs** kxs_malloc_freed;
extern uint32_t kxs_malloc_freed_num;
extern uint32_t kxs_malloc_freed_size;

// Character block of pool strings and its first free byte.
extern uint8_t* kxs_data;
extern uint64_t kxs_data_size;
extern uint64_t kxs_sp;

// String heap at the bottom of the DBLOCK: first free offset, and the offsets
// below it that are never used for strings.
extern uint32_t kxs_cmem_sp;
extern const uint32_t kxs_cmem_descriptor_space;

// Lists of record pointers, in the order of their characters' addresses
// (kxs_tmp_list in order of creation; its slot 0 is never used and holds 0).
extern kxs** kxs_list;
extern uint32_t kxs_list_nexti;
extern uint32_t kxs_list_lasti;
extern kxs** kxs_cmem_list;
extern uint32_t kxs_cmem_list_nexti;
extern uint32_t kxs_cmem_list_lasti;
extern kxs** kxs_tmp_list;
extern uint32_t kxs_tmp_list_lasti;

kxs* kxs_new_descriptor();
void kxs_free_descriptor(kxs* s);
// Compacts kxs_data and grows it if n more bytes would leave it too full.
void kxs_concat(uint32_t n);
// Compacts the DBLOCK heap; error 513 when n bytes still do not fit.
void kxs_concat_cmem(uint32_t n);
void kxs_concat_list();
void kxs_cmem_concat_list();
void kxs_tmp_concat_list();

// Releases every pool and record block and returns the string system and the
// DBLOCK to their state before start-up: no strings, cmem_sp 65536, the DBLOCK
// zeroed, nothingstring and singlespace null. For tests and benchmarks.
void kxs_reset_for_tests();

// ---- Binary conversions ----
// MKI$, CVI and their relatives: a number as a string of its bytes,
// little-endian, and back. The packing functions return a new temporary. The
// unpacking functions read only the bytes the value occupies (a longer string
// is fine), leave their argument alone, and raise error 5 and give 0 when the
// string is too short.
kxs* b2string(int8_t v);       // 1 byte
kxs* ub2string(uint8_t v);     // 1 byte
kxs* i2string(int16_t v);      // 2 bytes
kxs* ui2string(uint16_t v);    // 2 bytes
kxs* l2string(int32_t v);      // 4 bytes
kxs* ul2string(uint32_t v);    // 4 bytes
kxs* i642string(int64_t v);    // 8 bytes
kxs* ui642string(uint64_t v);  // 8 bytes
kxs* s2string(float v);        // 4 bytes, IEEE binary32
kxs* d2string(double v);       // 8 bytes, IEEE binary64
// _FLOAT: 32 bytes, the 10 bytes of the x87 extended format and 22 zero bytes.
kxs* f2string(long double v);
int32_t string2b(kxs* s);
int32_t string2ub(kxs* s);
int32_t string2i(kxs* s);
int32_t string2ui(kxs* s);
int32_t string2l(kxs* s);
uint32_t string2ul(kxs* s);
int64_t string2i64(kxs* s);
uint64_t string2ui64(kxs* s);
long double string2s(kxs* s);
long double string2d(kxs* s);
long double string2f(kxs* s);  // needs all 32 bytes

// Bit fields of width n (1 to 64): (n + 7) / 8 bytes holding the low n bits of
// the value. The signed form extends the field's top bit. A width outside 1..64
// raises error 5 (an empty string, or 0).
kxs* bit2string(uint32_t n, int64_t v);
kxs* ubit2string(uint32_t n, uint64_t v);
int64_t string2bit(kxs* s, uint32_t n);
uint64_t string2ubit(kxs* s, uint32_t n);

// The x87 extended format worked out arithmetically: 10 bytes, little-endian.
// f2string and string2f copy the bytes instead where long double is that
// format. Decoding gives NaN for the patterns the x87 refuses as operands.
void x87_extended_encode(long double v, uint8_t* out);
long double x87_extended_decode(const uint8_t* in);

// IEEE <-> MBF, the older binary floating-point layout. Each converter reads the value in src and
// writes the 4 or 8 bytes of the other layout, in memory order, to dest (which
// may be src); it returns 0, or 1 and leaves dest alone when the value has no
// counterpart. MBF holds magnitudes from 2^-128 to below 2^127. Packing: zeros
// of either sign give all zero bytes; infinities, NaN and magnitudes of 2^127
// and above cannot be converted; below 2^-128 the 4-byte form gives 0 and the
// 8-byte form cannot convert. Unpacking always succeeds, rounding to the nearest
// IEEE value (ties to even): to a denormal for 4-byte exponent bytes 1 and 2, to
// 52 bits from the 55 of the 8-byte form.
int32_t _fieeetomsbin(const float* src, float* dest);
int32_t _fmsbintoieee(const float* src, float* dest);
int32_t _dieeetomsbin(const double* src, double* dest);
int32_t _dmsbintoieee(const double* src, double* dest);
// MKSMBF$, MKDMBF$: error 5 and an empty temporary for a value MBF cannot hold.
kxs* func_mksmbf(float v);
kxs* func_mkdmbf(double v);
// CVSMBF, CVDMBF: need 4 or 8 bytes.
long double func_cvsmbf(kxs* s);
long double func_cvdmbf(kxs* s);

// The 64-bit value with the given high and low 32-bit halves.
int64_t build_int64(uint32_t hi, uint32_t lo);
uint64_t build_uint64(uint32_t hi, uint32_t lo);
