// Image records and handles: the slots start-up leaves, making, copying and
// freeing images, handle resolution and its errors, palettes owned and shared,
// the size functions, and a seeded run of creations and releases.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "console/console.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "strings/strings.h"

namespace {

class Images : public ::testing::Test {
 protected:
  void SetUp() override {
    kxs_reset_for_tests();
    init_runtime_state();
    new_error.store(0);
  }
  void TearDown() override { new_error.store(0); }
};

int32_t take_error() { return new_error.exchange(0); }

TEST_F(Images, StartUpTextPagesTakeSlots2To9) {
  EXPECT_EQ(nextimg, 10);
  EXPECT_FALSE(img_at(0)->in_use);
  EXPECT_FALSE(img_at(1)->in_use);
  ASSERT_GE(pages, 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(page[i], 2 + i);
    const img_struct* im = img_at(page[i]);
    EXPECT_TRUE(im->flags & IMG_IS_SCREEN_PAGE);
    EXPECT_TRUE(im->flags & IMG_OWNS_PALETTE) << "each SCREEN 0 page has its own palette";
    EXPECT_FALSE(im->flags & IMG_OWNS_PIXELS);
    EXPECT_EQ(im->pixels, cmem + 0xB8000 + i * 4096);
  }
  EXPECT_EQ(func__dest(), -2);
  EXPECT_EQ(func__source(), -2);
  EXPECT_EQ(func__display(), -2);
  EXPECT_EQ(func__newimage(10, 10, 13, 1), -10) << "the first image a program makes";
}

TEST_F(Images, NewImageDefaultsPerMode) {
  struct row {
    int32_t mode;
    int32_t pixelsize;
    uint8_t bits;
    uint32_t mask;
    uint32_t font;
    uint32_t fg, bg;
    int16_t view_bottom;  // of a 64 x 64 image (rows for text)
  };
  const row rows[] = {
      {0, 0, 16, 0xFFFF, 16, 7, 0, 63},   {1, 1, 2, 3, 8, 3, 0, 7},          {2, 1, 1, 1, 8, 1, 0, 7},
      {7, 1, 4, 15, 8, 15, 0, 7},         {9, 1, 4, 15, 14, 15, 0, 3},       {10, 1, 2, 3, 14, 3, 0, 3},
      {11, 1, 1, 1, 16, 1, 0, 3},         {12, 1, 4, 15, 16, 15, 0, 3},      {13, 1, 8, 255, 8, 15, 0, 7},
      {256, 1, 8, 255, 16, 15, 0, 3},     {32, 4, 32, 0xFFFFFFFF, 16, 0xFFFFFFFF, 0xFF000000, 3},
  };
  for (const row& c : rows) {
    int32_t h = func__newimage(64, 64, c.mode, 1);
    ASSERT_LT(h, -1) << c.mode;
    const img_struct* im = img_at(-h);
    EXPECT_EQ(func__pixelsize(h, 1), c.pixelsize) << c.mode;
    EXPECT_EQ(im->bits_per_pixel, c.bits) << c.mode;
    EXPECT_EQ(im->color_mask, c.mask) << c.mode;
    EXPECT_EQ(im->font, c.font) << c.mode;
    EXPECT_EQ(im->foreground_color, c.fg) << c.mode;
    EXPECT_EQ(im->background_color, c.bg) << c.mode;
    EXPECT_EQ(im->graphics_color, c.fg) << c.mode;
    EXPECT_EQ(im->view_print_bottom, c.view_bottom) << c.mode;
    EXPECT_EQ(im->print_mode, 3) << c.mode;
    EXPECT_EQ(im->draw_scale, 1.0) << c.mode;
    EXPECT_EQ(im->flags, IMG_OWNS_PIXELS | (c.mode == 32 ? 0 : IMG_OWNS_PALETTE)) << c.mode;
    EXPECT_EQ(im->clear_color, c.mode == 32 ? 0 : -1) << c.mode;
    if (c.mode != 0) {
      EXPECT_EQ(im->x, 32.0f);
      EXPECT_EQ(im->view_x2, 63);
      EXPECT_EQ(im->window_y2, 63.0f);
      EXPECT_EQ(im->window_scale_x, 1.0f);
      const size_t bytes = 64u * 64u * im->bytes_per_pixel;
      for (size_t i = 0; i < bytes; ++i) ASSERT_EQ(im->pixels[i], 0) << c.mode;
    }
  }
}

TEST_F(Images, TextImageCellsAreBlank) {
  int32_t h = func__newimage(80, 25, 0, 1);
  const img_struct* im = img_at(-h);
  EXPECT_EQ(func__width(h, 1), 80);
  EXPECT_EQ(func__height(h, 1), 25);
  EXPECT_TRUE(im->is_text);
  EXPECT_EQ(im->cursor_start_line, 4);
  for (int i = 0; i < 80 * 25; ++i) {
    ASSERT_EQ(im->pixels[i * 2], 32);
    ASSERT_EQ(im->pixels[i * 2 + 1], 7);
  }
}

TEST_F(Images, DefaultPalettes) {
  auto pal = [](int32_t mode) { return img_at(-func__newimage(8, 8, mode, 1))->palette; };
  const uint32_t* p1 = pal(1);
  EXPECT_EQ(p1[1], palette_256[3]);
  EXPECT_EQ(p1[3], palette_256[7]);
  const uint32_t* p2 = pal(11);
  EXPECT_EQ(p2[0], 0x00000000u);
  EXPECT_EQ(p2[1], 0x00FFFFFFu);
  const uint32_t* p9 = pal(9);
  EXPECT_EQ(p9[6], palette_64[20]);
  EXPECT_EQ(p9[8], palette_64[56]);
  EXPECT_EQ(p9[15], palette_64[63]);
  const uint32_t* p10 = pal(10);
  EXPECT_EQ(p10[4], 0u);
  EXPECT_EQ(p10[5], 4u);
  EXPECT_EQ(p10[7], 8u);
  const uint32_t* p13 = pal(13);
  EXPECT_EQ(std::memcmp(p13, palette_256, 1024), 0);
  const uint32_t* p12 = pal(12);
  EXPECT_EQ(std::memcmp(p12, palette_256, 64), 0);
  EXPECT_EQ(p12[16], 0u);
  EXPECT_EQ(img_at(-func__newimage(8, 8, 32, 1))->palette, nullptr);
}

TEST_F(Images, SizesAndModesThatAreRefused) {
  struct row {
    int32_t w, h, mode, passed;
    int32_t result;
    int32_t err;
  };
  const row rows[] = {
      {0, 10, 13, 1, 0, 5},      {10, -1, 13, 1, 0, 5},     {10, 10, 3, 1, 0, 5},
      {10, 10, 14, 1, 0, 5},     {10, 10, 31, 1, 0, 5},     {65536, 1, 13, 1, -1, 0},
      {1, 65536, 32, 1, -1, 0},  {65535, 1, 13, 1, -10, 0},
  };
  for (const row& c : rows) {
    const int32_t before = nextimg;
    EXPECT_EQ(func__newimage(c.w, c.h, c.mode, c.passed), c.result) << c.w << "x" << c.h << " " << c.mode;
    EXPECT_EQ(take_error(), c.err) << c.w << "x" << c.h << " " << c.mode;
    if (c.result == -1) {
      EXPECT_EQ(nextimg, before) << "no slot stays taken";
    }
  }
  new_error.store(5);
  EXPECT_EQ(func__newimage(10, 10, 13, 1), 0) << "nothing happens while an error is pending";
}

TEST_F(Images, NewImageWithoutModeTakesOverTheWritePage) {
  int32_t screen13 = func__newimage(320, 200, 13, 1);
  sub__dest(screen13);
  write_page->palette[5] = 0xFF123456;
  write_page->foreground_color = 9;
  write_page->background_color = 4;
  write_page->print_mode = 1;
  int32_t h = func__newimage(10, 10, 0, 0);
  const img_struct* im = img_at(-h);
  EXPECT_EQ(im->screen_mode, 13);
  EXPECT_EQ(im->palette[5], 0xFF123456u);
  EXPECT_NE(im->palette, write_page->palette) << "a copy, not the same block";
  EXPECT_EQ(im->foreground_color, 9u);
  EXPECT_EQ(im->background_color, 4u);
  EXPECT_EQ(im->print_mode, 1);
  EXPECT_EQ(im->font, 8u);
}

TEST_F(Images, HandlesResolveOrRaise258) {
  struct row {
    int32_t handle;
    int32_t err;
  };
  const row rows[] = {{-1, 258}, {-10, 258}, {-2147483647, 258}, {INT32_MIN, 258}, {-3, 0}, {0, 0}};
  for (const row& c : rows) {
    EXPECT_EQ(func__width(c.handle, 1), c.err ? 0 : 80) << c.handle;
    EXPECT_EQ(take_error(), c.err) << c.handle;
  }
  EXPECT_EQ(func__width(0, 0), 80) << "no handle: the write page";
}

TEST_F(Images, FreeingAndReuse) {
  std::vector<int32_t> made;
  for (int i = 0; i < 4; ++i) made.push_back(func__newimage(16, 16, 32, 1));
  EXPECT_EQ(made.front(), -10);
  sub__freeimage(-12, 1);
  EXPECT_EQ(func__width(-12, 1), 0);
  EXPECT_EQ(take_error(), 258) << "a freed handle is invalid";
  sub__freeimage(-11, 1);
  EXPECT_EQ(func__newimage(8, 8, 13, 1), -11) << "last released, first reused";
  EXPECT_EQ(func__newimage(8, 8, 13, 1), -12);
  EXPECT_EQ(func__newimage(8, 8, 13, 1), -14);

  sub__freeimage(0, 1);
  EXPECT_EQ(take_error(), 5) << "a page number";
  sub__freeimage(-2, 1);
  EXPECT_EQ(take_error(), 5) << "a screen page";
  sub__freeimage(-12345, 1);
  EXPECT_EQ(take_error(), 258);
}

TEST_F(Images, FreeingTheDestOrSourceFallsBackToTheDisplayPage) {
  int32_t h = func__newimage(16, 16, 256, 1);
  sub__dest(h);
  sub__source(h);
  EXPECT_EQ(func__dest(), h);
  sub__freeimage(0, 0);  // no handle: the write page
  EXPECT_EQ(take_error(), 0);
  EXPECT_EQ(func__dest(), func__display());
  EXPECT_EQ(func__source(), func__display());
}

TEST_F(Images, CopyOfAScreenPageOwnsItsBlocks) {
  img_at(page[0])->pixels[0] = 'Q';
  int32_t h = func__copyimage(0, 1);
  ASSERT_LT(h, -1);
  img_struct* copy = img_at(-h);
  const img_struct* src = img_at(page[0]);
  EXPECT_EQ(copy->pixels[0], 'Q');
  EXPECT_NE(copy->pixels, src->pixels);
  EXPECT_NE(copy->palette, src->palette);
  EXPECT_EQ(std::memcmp(copy->palette, src->palette, 1024), 0);
  EXPECT_EQ(copy->flags, IMG_OWNS_PIXELS | IMG_OWNS_PALETTE);
  EXPECT_EQ(copy->width, 80);
  sub__freeimage(h, 1);
  EXPECT_EQ(take_error(), 0) << "_FREEIMAGE accepts the copy";
  EXPECT_EQ(src->pixels[0], 'Q');

  int32_t i32 = func__newimage(4, 4, 32, 1);
  int32_t c32 = func__copyimage(i32, 1);
  EXPECT_EQ(img_at(-c32)->palette, nullptr);
  EXPECT_EQ(func__copyimage(-1, 1), 0);
  EXPECT_EQ(take_error(), 258);
}

TEST_F(Images, PagesMadeOnDemandShareThePalette) {
  kxg_screen(13, 0, 0, 0, 0, 1);
  ASSERT_EQ(take_error(), 0);
  sub__source(3);
  ASSERT_EQ(take_error(), 0);
  ASSERT_GE(pages, 4);
  const img_struct* p0 = img_at(page[0]);
  const img_struct* p3 = img_at(page[3]);
  EXPECT_EQ(read_page, p3);
  EXPECT_EQ(p3->width, 320);
  EXPECT_EQ(p3->screen_mode, 13);
  EXPECT_EQ(p3->palette, p0->palette);
  EXPECT_EQ(p3->flags, IMG_IS_SCREEN_PAGE | IMG_OWNS_PIXELS);
  EXPECT_EQ(page[1], 0) << "only the page named is made";

  sub__dest(max_page_number + 1);
  EXPECT_EQ(take_error(), 5) << "a page number beyond the limit";
  EXPECT_EQ(pages, 4);
}

TEST_F(Images, FreeAllImagesKeepsScreenPages) {
  for (int i = 0; i < 5; ++i) func__newimage(8, 8, 256, 1);
  freeallimages();
  for (int32_t slot = 2; slot < nextimg; ++slot) {
    const img_struct* im = img_at(slot);
    EXPECT_EQ(im->in_use != 0, slot < 10) << slot;
  }
}

TEST_F(Images, RecordsStayPutWhileTheTableGrows) {
  int32_t first = func__newimage(4, 4, 13, 1);
  const img_struct* held = img_at(-first);
  int32_t last = 0;
  for (int i = 0; i < 5000; ++i) last = func__newimage(1, 1, 13, 1);
  EXPECT_EQ(last, -(10 + 5000));
  EXPECT_EQ(img_at(-first), held);
  EXPECT_EQ(held->width, 4);
  EXPECT_EQ(nimg, 8192);
}

// A seeded run of creations, copies, releases and surface changes; the
// sanitizer build checks that no block is touched after it is released.
TEST_F(Images, SeededCreationsAndReleases) {
  std::mt19937 rng(20261211);
  std::vector<int32_t> live;
  const int32_t modes[] = {0, 1, 2, 7, 8, 9, 10, 11, 12, 13, 256, 32};
  for (int step = 0; step < 3000; ++step) {
    switch (rng() % 6) {
      case 0:
      case 1: {
        int32_t h = func__newimage(1 + static_cast<int32_t>(rng() % 40), 1 + static_cast<int32_t>(rng() % 40),
                                   modes[rng() % 12], 1);
        ASSERT_LT(h, -1);
        live.push_back(h);
        break;
      }
      case 2:
        if (!live.empty()) live.push_back(func__copyimage(live[rng() % live.size()], 1));
        break;
      case 3:
        if (!live.empty()) {
          size_t i = rng() % live.size();
          sub__freeimage(live[i], 1);
          live.erase(live.begin() + static_cast<long>(i));
        }
        break;
      case 4:
        if (!live.empty()) sub__dest(live[rng() % live.size()]);
        break;
      default:
        if (!live.empty()) sub__source(live[rng() % live.size()]);
        break;
    }
    ASSERT_EQ(take_error(), 0) << step;
    // The current surfaces always name live records.
    ASSERT_TRUE(write_page->in_use);
    ASSERT_TRUE(read_page->in_use);
    if (write_page->pixels) write_page->pixels[0] ^= 1;
    if (read_page->palette) (void)read_page->palette[255];
  }
  for (int32_t h : live) sub__freeimage(h, 1);
  EXPECT_EQ(take_error(), 0);
}

}  // namespace
