// Conventional memory: what start-up leaves in it, DEF SEG, PEEK and POKE with
// their wrapping and errors, the dynamic blocks below 0xA0000, the static store
// of compiled code, VARPTR$ and byte elements.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame/frame.h"
#include "strings/strings.h"

namespace {

class Memory : public ::testing::Test {
 protected:
  void SetUp() override {
    kxs_reset_for_tests();
    init_runtime_state();
    new_error.store(0);
  }
  void TearDown() override { new_error.store(0); }
};

uint16_t word_at(uint32_t at) { return static_cast<uint16_t>(cmem[at] | cmem[at + 1] << 8); }

TEST_F(Memory, StartUpLeavesBiosBytesTextMemoryAndPermanentDescriptors) {
  EXPECT_EQ(word_at(0x41A), 0x1E) << "keyboard buffer head";
  EXPECT_EQ(word_at(0x41C), 0x1E) << "keyboard buffer tail";
  EXPECT_EQ(cmem[0x417], 0);
  EXPECT_EQ(cmem[0x418], 0);
  // All 64 KB of text memory are blank cells: character 32, attribute 7.
  for (uint32_t i = 0; i < 65536; i += 2) {
    ASSERT_EQ(cmem[cmem_text_pages + i], 32) << i;
    ASSERT_EQ(cmem[cmem_text_pages + i + 1], 7) << i;
  }
  EXPECT_EQ(cmem[cmem_text_pages - 1], 0);
  EXPECT_EQ(cmem[cmem_text_pages + 65536], 0);
  // The SCREEN 13 memory and the interrupt vectors stay zero.
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(cmem[i], 0);
  for (uint32_t i = 0; i < 64000; ++i) ASSERT_EQ(cmem[cmem_mode13_pixels + i], 0);

  // nothingvalue, then the descriptors of nothingstring and singlespace below it.
  EXPECT_EQ(nothingvalue, dblock + 65528);
  EXPECT_EQ(cmem_sp, 65520u);
  ASSERT_EQ(nothingstring->cmem_desc_offset, 65524);
  ASSERT_EQ(singlespace->cmem_desc_offset, 65520);
  const uint8_t* d0 = dblock + 65524;
  const uint8_t* d1 = dblock + 65520;
  EXPECT_EQ(d0[0] | d0[1] << 8, 0) << "nothingstring length";
  EXPECT_EQ(d1[0] | d1[1] << 8, 1) << "singlespace length";
  uint32_t space_at = static_cast<uint32_t>(d1[2] | d1[3] << 8);
  EXPECT_GE(space_at, 256u) << "the string heap starts at DBLOCK offset 256";
  EXPECT_EQ(dblock[space_at], ' ');
  EXPECT_EQ(defseg, cmem + 1280);
}

TEST_F(Memory, DefSegSelectsSegmentsAndWraps) {
  struct row {
    int32_t segment;
    int32_t passed;
    uint32_t base;  // cmem offset of the segment afterwards
    int32_t err;
  };
  const row rows[] = {
      {0x40, 1, 0x400, 0},   {0, 0, 1280, 0},        {-1, 1, 0xFFFF0, 0},
      {65535, 1, 0xFFFF0, 0}, {-65536, 1, 0, 0},     {0xA000, 1, 0xA0000, 0},
      {65536, 1, 0xA0000, 6}, {-65537, 1, 0xA0000, 6},
  };
  sub_defseg(0xA000, 1);
  for (const row& c : rows) {
    if (c.err == 0) sub_defseg(0xA000, 1);
    new_error.store(0);
    sub_defseg(c.segment, c.passed);
    EXPECT_EQ(new_error.exchange(0), c.err) << c.segment;
    EXPECT_EQ(defseg_offset(), c.base) << c.segment;
  }
  // A pending error leaves DEF SEG alone.
  new_error.store(5);
  sub_defseg(0x40, 1);
  EXPECT_EQ(defseg_offset(), 0xA0000u);
}

TEST_F(Memory, PeekAndPokeAddressTheCurrentSegment) {
  sub_defseg(0, 0);
  dblock[0] = 0x5A;
  EXPECT_EQ(func_peek(0), 0x5A) << "DEF SEG without argument reads DBLOCK offset 0";

  sub_poke(0, 300);
  EXPECT_EQ(dblock[0], 44) << "values are cut to 8 bits";
  sub_poke(1, -1);
  EXPECT_EQ(func_peek(1), 255);

  sub_defseg(-1, 1);
  sub_poke(-1, 0x77);
  EXPECT_EQ(cmem[0xFFFF0 + 0xFFFF], 0x77) << "the last byte of the address space";
  EXPECT_EQ(func_peek(-1), 0x77);
  EXPECT_EQ(func_peek(65535), 0x77);
  EXPECT_EQ(func_peek(-65536), cmem[0xFFFF0]);

  EXPECT_EQ(func_peek(65536), 0);
  EXPECT_EQ(new_error.exchange(0), 6);
  EXPECT_EQ(func_peek(-65537), 0);
  EXPECT_EQ(new_error.exchange(0), 6);
  const uint8_t before = cmem[0xFFFF0];
  sub_poke(65536, 1);
  EXPECT_EQ(new_error.exchange(0), 6);
  EXPECT_EQ(cmem[0xFFFF0], before);

  // The text page is visible through segment 0xB800.
  sub_defseg(0xB800, 1);
  EXPECT_EQ(func_peek(0), 32);
  EXPECT_EQ(func_peek(1), 7);
}

TEST_F(Memory, BiosTickBytesAreReadThroughSegment0x40) {
  cmem[0x46C] = 0x12;
  cmem[0x46D] = 0x34;
  sub_defseg(0x40, 1);
  EXPECT_EQ(func_peek(0x6C), 0x12);
  EXPECT_EQ(func_peek(0x6D), 0x34);
}

TEST_F(Memory, DynamicBlocksAreFirstFitFromTheTop) {
  uint8_t* top = cmem + 0xA0000;
  uint8_t* a = cmem_dynamic_malloc(1);
  EXPECT_EQ(a, top - 16);
  uint8_t* b = cmem_dynamic_malloc(16);
  EXPECT_EQ(b, top - 32);
  uint8_t* c = cmem_dynamic_malloc(17);
  EXPECT_EQ(c, top - 64) << "sizes round up to 16";
  EXPECT_EQ(cmem_dynamic_base, c);

  cmem_dynamic_free(a);
  EXPECT_EQ(cmem_dynamic_malloc(16), a) << "the freed top block is found first";
  cmem_dynamic_free(b);
  EXPECT_EQ(cmem_dynamic_malloc(32), top - 96) << "a gap too small is passed over";
  EXPECT_EQ(cmem_dynamic_malloc(16), b) << "and filled by a block that fits";

  EXPECT_EQ(cmem_dynamic_malloc(0), top);
  cmem_dynamic_free(top);
  cmem_dynamic_free(cmem + 12345);  // unknown: ignored
  cmem_dynamic_free(nullptr);
  EXPECT_EQ(cmem_dynamic_malloc(65536), top - 96 - 65536);
  EXPECT_EQ(new_error.load(), 0);
}

TEST_F(Memory, DynamicBlockFailuresAreCritical) {
  EXPECT_EXIT(cmem_dynamic_malloc(65537), ::testing::ExitedWithCode(0), "Out of memory");
  EXPECT_EXIT(
      {
        // 0xA0000 - 0x10500 bytes lie between the static floor and the top.
        for (int i = 0; i < 10; ++i) cmem_dynamic_malloc(65536);
      },
      ::testing::ExitedWithCode(0), "Critical Error #6");
  EXPECT_EXIT(
      {
        for (int i = 0; i < cmem_dynamic_links + 1; ++i) {
          uint8_t* p = cmem_dynamic_malloc(16);
          // Keep the area from filling up: release the memory but not the link.
          cmem_dynamic_link_first = nullptr;
          (void)p;
        }
      },
      ::testing::ExitedWithCode(0), "Critical Error #7");
}

TEST_F(Memory, ReleasedLinksAreReused) {
  uint8_t* a = cmem_dynamic_malloc(16);
  int32_t used = cmem_dynamic_next_link;
  for (int i = 0; i < 1000; ++i) {
    cmem_dynamic_free(a);
    a = cmem_dynamic_malloc(16);
  }
  EXPECT_EQ(cmem_dynamic_next_link, used);
}

TEST_F(Memory, StaticStoreGrowsWithoutMovingAndRollsBack) {
  uint8_t* first_block = mem_static;
  ASSERT_NE(first_block, nullptr);
  EXPECT_EQ(mem_static_size, 1048576u);
  uint8_t* mark = mem_static_pointer;
  uint8_t* p = mem_static_malloc(100);
  EXPECT_EQ(p, mark);
  std::memset(p, 0xAB, 100);
  mem_static_restore(mark);
  EXPECT_EQ(mem_static_pointer, mark);

  // A request larger than what is left starts a new, larger block.
  uint8_t* big = mem_static_malloc(2000000);
  EXPECT_NE(mem_static, first_block);
  EXPECT_EQ(big, mem_static);
  EXPECT_EQ(mem_static_size, 1048576u * 2 + 2000000u);
  EXPECT_EQ(p[99], 0xAB) << "data in the old block stays";
  // A pointer from the abandoned block rolls back to the start of the current one.
  mem_static_restore(mark);
  EXPECT_EQ(mem_static_pointer, mem_static);
}

TEST_F(Memory, ByteElementsAndVarptr) {
  byte_element_struct* e = byte_element(0x1234567890ull, -5);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->element_offset, 0x1234567890ull);
  EXPECT_EQ(e->element_length, 0) << "a negative length becomes 0";
  byte_element_struct* f = byte_element(7, 9);
  EXPECT_NE(e, f);
  EXPECT_EQ(e->element_offset, 0x1234567890ull) << "records do not overlap";
  EXPECT_EQ(f->element_length, 9);

  uint32_t mark = kxs_tmp_list_nexti;
  kxs* v = func_varptr_helper(3, 0x1234);
  ASSERT_EQ(v->len, 3);
  EXPECT_EQ(v->chars[0], 3);
  EXPECT_EQ(v->chars[1], 0x34);
  EXPECT_EQ(v->chars[2], 0x12);
  EXPECT_TRUE(v->is_tmp);
  kxs_cleanup(mark, 0);
}

TEST_F(Memory, RangeCheckCoversTheWholeArray) {
  EXPECT_TRUE(cmem_range_ok(0, cmem_size));
  EXPECT_TRUE(cmem_range_ok(cmem_size, 0));
  EXPECT_FALSE(cmem_range_ok(cmem_size - 1, 2));
  EXPECT_FALSE(cmem_range_ok(1, UINT64_MAX));
  EXPECT_TRUE(cmem_range_ok(0xFFFF0 + 0xFFFF, 1));
}

}  // namespace
