// Screen modes: the geometry after sequences of SCREEN and WIDTH, active and
// visible pages, COLOR, PALETTE, PCOPY and SCREEN() per mode with their errors,
// the built-in tables, and the handshake with the renderer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "strings/strings.h"

namespace {

class Screen : public ::testing::Test {
 protected:
  void SetUp() override {
    kxs_reset_for_tests();
    init_runtime_state();
    new_error.store(0);
  }
  void TearDown() override { new_error.store(0); }
};

int32_t take_error() { return new_error.exchange(0); }

void screen(int32_t mode) { kxg_screen(mode, 0, 0, 0, 0, 1); }
void width(int32_t columns, int32_t rows) {
  kxsub_width(0, columns, rows, (columns ? 1 : 0) | (rows ? 2 : 0));
}

TEST(ScreenTables, PalettesHoldTheListedValues) {
  init_master_tables();
  const uint32_t first16[] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
                              0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
  const uint32_t grey[] = {0x00, 0x14, 0x20, 0x2D, 0x39, 0x45, 0x51, 0x61,
                           0x71, 0x82, 0x92, 0xA2, 0xB6, 0xCA, 0xE3, 0xFF};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(palette_256[i], 0xFF000000u | first16[i]) << i;
    EXPECT_EQ(palette_256[16 + i], 0xFF000000u | grey[i] * 0x010101u) << 16 + i;
  }
  // The first hue circle runs from blue through red, yellow, green and cyan.
  EXPECT_EQ(palette_256[32], 0xFF0000FFu);
  EXPECT_EQ(palette_256[36], 0xFFFF00FFu);
  EXPECT_EQ(palette_256[40], 0xFFFF0000u);
  EXPECT_EQ(palette_256[44], 0xFFFFFF00u);
  EXPECT_EQ(palette_256[48], 0xFF00FF00u);
  EXPECT_EQ(palette_256[52], 0xFF00FFFFu);
  for (int i = 248; i < 256; ++i) EXPECT_EQ(palette_256[i], 0xFF000000u) << i;
  // The EGA palette: bits 0-2 add 0xAA to blue, green, red; bits 3-5 add 0x55.
  for (uint32_t i = 0; i < 64; ++i) {
    uint32_t b = (i & 1 ? 0xAA : 0) + (i & 8 ? 0x55 : 0);
    uint32_t g = (i & 2 ? 0xAA : 0) + (i & 16 ? 0x55 : 0);
    uint32_t rd = (i & 4 ? 0xAA : 0) + (i & 32 ? 0x55 : 0);
    EXPECT_EQ(palette_64[i], 0xFF000000u | rd << 16 | g << 8 | b) << i;
  }
  const uint32_t phase0[] = {0, 0, 0, 0x808080, 0x808080, 0x808080, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  const uint32_t phase1[] = {0, 0x808080, 0xFFFFFF, 0, 0x808080, 0xFFFFFF, 0, 0x808080, 0xFFFFFF};
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(pal_mode10[0][k], phase0[k]);
    EXPECT_EQ(pal_mode10[1][k], phase1[k]);
  }
}

TEST(ScreenTables, GlyphsAndCodePage) {
  init_master_tables();
  for (int i = 0; i < 64; ++i) EXPECT_EQ(charset8x8[219 * 64 + i], 0xFF) << "full block";
  for (int i = 0; i < 128; ++i) EXPECT_EQ(charset8x16[32 * 128 + i], 0) << "space";
  int lit = 0;
  for (int i = 0; i < 128; ++i) lit += charset8x16['A' * 128 + i] != 0;
  EXPECT_GT(lit, 10);
  for (int i = 0; i < 256 * 64; ++i) ASSERT_TRUE(charset8x8[i] == 0 || charset8x8[i] == 0xFF) << i;
  EXPECT_EQ(codepage437_to_unicode16[0], 0x20);
  EXPECT_EQ(codepage437_to_unicode16[1], 0x263A);
  EXPECT_EQ(codepage437_to_unicode16[127], 0x2302);
  EXPECT_EQ(codepage437_to_unicode16['A'], 'A');
  EXPECT_EQ(codepage437_to_unicode16[196], 0x2500);
  EXPECT_EQ(codepage437_to_unicode16[255], 0x20);
}

std::vector<uint8_t> data_file(const std::string& name) {
  std::ifstream in(std::string(KXRT_DATA_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The tables the runtime fills are the generators' output, byte for byte.
TEST(ScreenTables, TablesAreTheGeneratedFiles) {
  init_master_tables();
  const std::vector<uint8_t> c8 = data_file("charset8x8.raw");
  const std::vector<uint8_t> c16 = data_file("charset8x16.raw");
  ASSERT_EQ(c8.size(), sizeof charset8x8);
  ASSERT_EQ(c16.size(), sizeof charset8x16);
  EXPECT_EQ(std::memcmp(c8.data(), charset8x8, c8.size()), 0);
  EXPECT_EQ(std::memcmp(c16.data(), charset8x16, c16.size()), 0);
  const std::vector<uint8_t> p256 = data_file("palette_256.pal");
  ASSERT_EQ(p256.size(), 1024u);
  for (size_t i = 0; i < 256; ++i) {
    const uint32_t rgb = p256[i * 4] | p256[i * 4 + 1] << 8 | p256[i * 4 + 2] << 16;
    ASSERT_EQ(palette_256[i], 0xFF000000u | rgb) << i;
  }
  const std::vector<uint8_t> cp = data_file("cp437_unicode.bin");
  ASSERT_EQ(cp.size(), 512u);
  for (size_t i = 0; i < 256; ++i) ASSERT_EQ(codepage437_to_unicode16[i], cp[i * 2] | cp[i * 2 + 1] << 8) << i;
}

// Geometry of page 0 after a sequence of statements.
struct geometry_case {
  const char* name;
  std::function<void()> steps;
  int32_t mode, columns, rows, font;
  int64_t bytes_per_page;  // text: distance between pages in text memory
  int32_t pages_in_text_memory;
};

TEST_F(Screen, GeometryAfterScreenAndWidth) {
  const geometry_case cases[] = {
      {"start-up", [] {}, 0, 80, 25, 16, 4096, 8},
      {"WIDTH 40", [] { width(40, 0); }, 0, 40, 25, 17, 2048, 8},
      {"WIDTH 80, 50", [] { width(80, 50); }, 0, 80, 50, 8, 8000, 8},
      {"WIDTH 40, 50", [] { width(40, 50); }, 0, 40, 50, 9, 4000, 8},
      {"WIDTH , 43", [] { width(0, 43); }, 0, 80, 43, 14, 6880, 8},
      {"WIDTH 40, 43", [] { width(40, 43); }, 0, 40, 43, 15, 3440, 8},
      {"WIDTH 120, 60", [] { width(120, 60); }, 0, 120, 60, 8, 14400, 4},
      {"WIDTH 80, 50 then SCREEN 12, SCREEN 0", [] { width(80, 50); screen(12); screen(0); }, 0, 80, 25, 16, 4096, 8},
      {"WIDTH 80, 50 then SCREEN 0 kept", [] { width(80, 50); screen(0); }, 0, 80, 50, 8, 8000, 8},
      {"SCREEN 10, WIDTH 80, 43, SCREEN 0", [] { screen(10); width(80, 43); screen(0); }, 0, 80, 43, 8, 6880, 8},
      {"WIDTH 40, then SCREEN 1, SCREEN 0", [] { width(40, 43); screen(1); screen(0); }, 0, 40, 25, 17, 2048, 8},
      {"SCREEN 12, WIDTH 40", [] { screen(12); width(40, 0); }, 0, 40, 25, 17, 2048, 8},
      {"SCREEN 12, WIDTH 80, 43", [] { screen(12); width(80, 43); }, 0, 80, 43, 14, 6880, 8},
      {"SCREEN 12, WIDTH , 50", [] { screen(12); width(0, 50); }, 0, 80, 50, 8, 8000, 8},
      {"SCREEN 1, WIDTH , 43 keeps 40 columns", [] { screen(1); width(0, 43); }, 0, 40, 43, 15, 3440, 8},
      {"SCREEN 13, WIDTH , 25 keeps mode 13", [] { screen(13); width(0, 25); }, 13, 320, 200, 8, -1, 0},
      {"SCREEN 13", [] { screen(13); }, 13, 320, 200, 8, -1, 0},
      {"SCREEN 1", [] { screen(1); }, 1, 320, 200, 8, -1, 0},
      {"SCREEN 2", [] { screen(2); }, 2, 640, 200, 8, -1, 0},
      {"SCREEN 7", [] { screen(7); }, 7, 320, 200, 8, -1, 0},
      {"SCREEN 8", [] { screen(8); }, 8, 640, 200, 8, -1, 0},
      {"SCREEN 9", [] { screen(9); }, 9, 640, 350, 14, -1, 0},
      {"SCREEN 10", [] { screen(10); }, 10, 640, 350, 14, -1, 0},
      {"SCREEN 11", [] { screen(11); }, 11, 640, 480, 16, -1, 0},
      {"SCREEN 12", [] { screen(12); }, 12, 640, 480, 16, -1, 0},
      {"SCREEN 12, WIDTH 80, 60", [] { screen(12); width(80, 60); }, 12, 640, 480, 8, -1, 0},
      {"SCREEN 12, WIDTH 80, 60, WIDTH 80, 30", [] { screen(12); width(80, 60); width(80, 30); }, 12, 640, 480, 16, -1, 0},
      {"SCREEN 12, WIDTH 80, 60, SCREEN 11", [] { screen(12); width(80, 60); screen(11); }, 11, 640, 480, 8, -1, 0},
      {"SCREEN 9, WIDTH 80, 43", [] { screen(9); width(80, 43); }, 9, 640, 350, 8, -1, 0},
      {"SCREEN 9, WIDTH 80, 43, SCREEN 10", [] { screen(9); width(80, 43); screen(10); }, 10, 640, 350, 8, -1, 0},
      {"SCREEN 9, WIDTH 80, 43, WIDTH 80, 25", [] { screen(9); width(80, 43); width(80, 25); }, 9, 640, 350, 14, -1, 0},
      {"SCREEN 13, WIDTH 40, 25", [] { screen(13); width(40, 25); }, 13, 320, 200, 8, -1, 0},
  };
  for (const geometry_case& c : cases) {
    SetUp();
    c.steps();
    ASSERT_EQ(take_error(), 0) << c.name;
    const img_struct* p0 = img_at(page[0]);
    EXPECT_EQ(p0->screen_mode, c.mode) << c.name;
    EXPECT_EQ(p0->width, c.columns) << c.name;
    EXPECT_EQ(p0->height, c.rows) << c.name;
    EXPECT_EQ(p0->font, static_cast<uint32_t>(c.font)) << c.name;
    EXPECT_EQ(display_page.load(), p0) << c.name;
    EXPECT_EQ(write_page, p0) << c.name;
    EXPECT_EQ(read_page, p0) << c.name;
    if (c.mode == 0) {
      ASSERT_GE(pages, 8) << c.name;
      int32_t in_memory = 0;
      for (int i = 0; i < 8; ++i) {
        const img_struct* im = img_at(page[i]);
        ASSERT_TRUE(im->in_use) << c.name;
        EXPECT_EQ(im->width, c.columns) << c.name << " page " << i;
        EXPECT_EQ(im->font, static_cast<uint32_t>(c.font)) << c.name << " page " << i;
        EXPECT_TRUE(im->flags & IMG_IS_SCREEN_PAGE) << c.name;
        if (im->pixels == cmem + 0xB8000 + i * c.bytes_per_page) {
          ++in_memory;
          EXPECT_FALSE(im->flags & IMG_OWNS_PIXELS) << c.name;
        } else {
          EXPECT_TRUE(im->flags & IMG_OWNS_PIXELS) << c.name << " page " << i;
          EXPECT_EQ(im->pixels[0], 32) << c.name;
          EXPECT_EQ(im->pixels[1], 7) << c.name;
        }
      }
      EXPECT_EQ(in_memory, c.pages_in_text_memory) << c.name;
      EXPECT_EQ(p0->view_print_bottom, c.rows - 1) << c.name;
    } else {
      EXPECT_FALSE(p0->is_text) << c.name;
      EXPECT_EQ(p0->view_print_bottom, c.rows / c.font - 1) << c.name;
      if (c.mode == 13) {
        EXPECT_EQ(p0->pixels, cmem + 0xA0000) << c.name;
      }
    }
  }
}

TEST_F(Screen, ModeChangesFreeTheOldPages) {
  const int32_t before = nextimg;
  for (int i = 0; i < 20; ++i) {
    screen(12);
    sub__dest(3);
    screen(0);
    width(40, 0);
    width(80, 0);
  }
  ASSERT_EQ(take_error(), 0);
  EXPECT_LE(nextimg, before + 10) << "released slots are reused";
}

TEST_F(Screen, ScreenErrorsAndNoChange) {
  struct row {
    int32_t mode, apage, vpage, passed;
    int32_t err;
  };
  const row rows[] = {
      {3, 0, 0, 1, 5}, {4, 0, 0, 1, 5},    {6, 0, 0, 1, 5},    {14, 0, 0, 1, 5},    {-999, 0, 0, 1, 258},
      {-1, 0, 0, 1, 258}, {0, -1, 0, 5, 5}, {0, 0, -1, 9, 5},  {0, 70000, 0, 5, 5},
  };
  for (const row& c : rows) {
    const int32_t p0 = page[0];
    kxg_screen(c.mode, 0, c.apage, c.vpage, 0, c.passed);
    EXPECT_EQ(take_error(), c.err) << c.mode << " " << c.apage << " " << c.vpage;
    EXPECT_EQ(page[0], p0);
  }
  screen(13);
  const int32_t p13 = page[0];
  screen(13);
  EXPECT_EQ(page[0], p13) << "SCREEN 13 after SCREEN 13 changes nothing";
  screen(0);
  const int32_t p0 = page[0];
  screen(0);
  EXPECT_EQ(page[0], p0) << "SCREEN 0 in mode 0 with no WIDTH request changes nothing";
  new_error.store(7);
  screen(13);
  EXPECT_EQ(page[0], p0) << "nothing happens while an error is pending";
}

TEST_F(Screen, Width8050SwitchClearsOnAnythingButABareScreen0) {
  EXPECT_EQ(width8050switch, 1);
  screen(0);
  EXPECT_EQ(width8050switch, 1);
  kxg_screen(0, 0, 0, 0, 0, 3);
  EXPECT_EQ(width8050switch, 0);
  width8050switch = 1;
  width(80, 25);
  EXPECT_EQ(width8050switch, 0);
}

TEST_F(Screen, ActiveAndVisiblePages) {
  screen(7);
  img_struct* p0 = img_at(page[0]);
  p0->view_x1 = 5;
  p0->draw_scale = 3.0;
  p0->foreground_color = 4;
  kxg_screen(7, 0, 1, 0, 0, 1 | 4 | 8);
  ASSERT_EQ(take_error(), 0);
  EXPECT_EQ(write_page, img_at(page[1]));
  EXPECT_EQ(read_page, img_at(page[1]));
  EXPECT_EQ(display_page.load(), p0);
  EXPECT_EQ(write_page->view_x1, 5) << "the page state follows the active page";
  EXPECT_EQ(write_page->draw_scale, 3.0);
  EXPECT_EQ(write_page->foreground_color, 15u) << "default colours";
  EXPECT_EQ(write_page->palette, p0->palette);

  kxg_screen(0, 0, 2, 0, 0, 4);  // SCREEN , , 2: the visible page follows
  EXPECT_EQ(write_page, img_at(page[2]));
  EXPECT_EQ(display_page.load(), img_at(page[2]));
  EXPECT_EQ(func__display(), -page[2]);
}

TEST_F(Screen, AnImageAsTheScreenSurvivesTheNextMode) {
  int32_t h = func__newimage(100, 50, 32, 1);
  screen(h);
  ASSERT_EQ(take_error(), 0);
  EXPECT_EQ(page[0], -h);
  EXPECT_EQ(display_page.load(), img_at(-h));
  EXPECT_TRUE(img_at(-h)->flags & IMG_IS_SCREEN_PAGE);
  sub__freeimage(h, 1);
  EXPECT_EQ(take_error(), 5) << "a screen page";

  width(20, 10);  // font 16: 8 x 16 pixels per cell
  ASSERT_EQ(take_error(), 0);
  EXPECT_EQ(img_at(-h)->width, 160);
  EXPECT_EQ(img_at(-h)->height, 160);
  EXPECT_EQ(img_at(-h)->foreground_color, 0xFFFFFFFFu);

  screen(0);
  EXPECT_TRUE(img_at(-h)->in_use);
  EXPECT_FALSE(img_at(-h)->flags & IMG_IS_SCREEN_PAGE);
  sub__freeimage(h, 1);
  EXPECT_EQ(take_error(), 0);

  // Another page of the screen cannot become page 0: it shares page 0's palette.
  screen(13);
  sub__dest(1);
  screen(func__dest());
  EXPECT_EQ(take_error(), 5);
}

TEST_F(Screen, WidthOnImagesKeepsColoursAndResetsTheRest) {
  int32_t h = func__newimage(64, 32, 256, 1);
  sub__dest(h);
  write_page->foreground_color = 44;
  write_page->background_color = 3;
  write_page->pixels[0] = 9;
  write_page->view_x1 = 60;  // a view the smaller page no longer holds
  write_page->view_x2 = 63;
  width(4, 1);
  ASSERT_EQ(take_error(), 0);
  EXPECT_EQ(write_page->width, 32);
  EXPECT_EQ(write_page->height, 16);
  EXPECT_EQ(write_page->foreground_color, 44u);
  EXPECT_EQ(write_page->background_color, 3u);
  EXPECT_EQ(write_page->pixels[0], 0);
  EXPECT_EQ(write_page->view_x1, 0) << "the view is the whole page again";
  EXPECT_EQ(write_page->view_x2, 31);
  EXPECT_EQ(write_page->x, 16.0f);

  width(0, 0);
  EXPECT_EQ(take_error(), 5) << "no arguments";
  kxsub_width(1, 80, 0, 1);
  EXPECT_EQ(take_error(), 5) << "a device";
  kxsub_width(0, 0, 0, 1);
  EXPECT_EQ(take_error(), 5) << "columns below 1";
  kxsub_width(0, 100000, 0, 1);
  EXPECT_EQ(take_error(), 5) << "wider than an image can be";
}

TEST_F(Screen, WidthErrorsInGraphicsAndText) {
  screen(13);
  width(50, 0);
  EXPECT_EQ(take_error(), 5);
  width(0, 30);
  EXPECT_EQ(take_error(), 5);
  screen(0);
  const int32_t columns = img_at(page[0])->width;
  width(2000, 0);
  EXPECT_EQ(take_error(), 5) << "more columns than a window shows";
  EXPECT_EQ(img_at(page[0])->width, columns);
}

TEST_F(Screen, ColorPerMode) {
  struct row {
    int32_t mode;  // -32 and -256 are images of those kinds
    uint32_t fg, bg;
    int32_t passed;
    int32_t err;
    uint32_t want_fg, want_bg;
    int pal_entry;  // palette entry to check, -1 for none
    uint32_t want_pal;
  };
  const row rows[] = {
      {0, 5, 9, 3, 0, 5, 1, -1, 0},
      {0, 31, 15, 3, 0, 31, 7, -1, 0},
      {0, 32, 0, 1, 5, 7, 0, -1, 0},
      {0, 1, 16, 2, 5, 7, 0, -1, 0},
      {0, 1, 2, 7, 0, 1, 2, -1, 0},  // the border is ignored in text mode
      {13, 255, 255, 3, 0, 255, 255, -1, 0},
      {13, 256, 0, 1, 5, 15, 0, -1, 0},
      {13, 1, 2, 7, 5, 15, 0, -1, 0},  // a border in graphics
      {12, 15, 15, 3, 0, 15, 15, -1, 0},
      {12, 16, 0, 1, 5, 15, 0, -1, 0},
      {11, 1, 1, 3, 0, 1, 1, -1, 0},
      {11, 2, 0, 1, 5, 1, 0, -1, 0},
      {10, 3, 8, 3, 0, 3, 0, 4, 8},
      {10, 4, 0, 1, 5, 3, 0, -1, 0},
      {10, 0, 9, 2, 5, 3, 0, -1, 0},
      {9, 15, 63, 3, 0, 15, 0, 0, 0xFFFFFFFF},
      {9, 1, 64, 2, 5, 15, 0, -1, 0},
      {8, 3, 4, 3, 0, 3, 0, 0, 0xFFAA0000},
      {7, 16, 0, 1, 5, 15, 0, -1, 0},
      {2, 1, 15, 3, 0, 1, 0, 0, 0xFFFFFFFF},
      {2, 2, 0, 1, 5, 1, 0, -1, 0},
      {1, 1, 0, 3, 0, 3, 0, 0, 0xFF0000AA},
      {1, 1, 0, 3, 0, 3, 0, 1, 0xFF00AA00},  // even: palette 2, 4, 6
      {1, 1, 1, 3, 0, 3, 0, 3, 0xFFAAAAAA},  // odd: palette 3, 5, 7
      {1, 16, 0, 1, 5, 3, 0, -1, 0},
      {-32, 0x12345678, 0x9ABCDEF0, 3, 0, 0x12345678, 0x9ABCDEF0, -1, 0},
      {-256, 255, 0xFFFFFFFF, 3, 5, 15, 0, -1, 0},
  };
  for (const row& c : rows) {
    SetUp();
    if (c.mode < 0) {
      sub__dest(func__newimage(8, 8, -c.mode, 1));
    } else {
      screen(c.mode);
    }
    ASSERT_EQ(take_error(), 0);
    kxg_sub_color(c.fg, c.bg, 0, c.passed);
    EXPECT_EQ(take_error(), c.err) << "mode " << c.mode << " COLOR " << c.fg << ", " << c.bg;
    if (c.mode == 1) {
      EXPECT_EQ(write_page->foreground_color, 3u) << "mode 1 keeps its foreground";
    } else {
      EXPECT_EQ(write_page->foreground_color, c.want_fg) << "mode " << c.mode << " COLOR " << c.fg;
      if (c.mode != 9 && c.mode != 8 && c.mode != 7 && c.mode != 2 && c.mode != 10) {
        EXPECT_EQ(write_page->background_color, c.want_bg) << "mode " << c.mode << " COLOR , " << c.bg;
      }
    }
    if (c.pal_entry >= 0) {
      EXPECT_EQ(write_page->palette[c.pal_entry], c.want_pal) << "mode " << c.mode << " COLOR " << c.fg << ", " << c.bg;
    }
  }
}

TEST_F(Screen, PalettePerMode) {
  struct row {
    int32_t mode;
    uint32_t attribute, colour;
    int32_t err;
    uint32_t want;  // the entry afterwards
  };
  const row rows[] = {
      {13, 1, 0x3F, 0, 0xFFFF0000},        {13, 1, 0x40, 5, 0xFF0000AA},
      {13, 257, 0x3F0000, 0, 0xFF0000FF},  // attribute modulo 256
      {13, 2, 0x3F3F3F, 0, 0xFFFFFFFF},    {13, 3, 0x000100, 0, 0xFF000400},
      {12, 15, 0x20, 0, 0xFF820000},       {12, 16, 0, 5, 0},
      {11, 1, 0x3F00, 0, 0xFF00FF00},      {11, 2, 0, 5, 0},
      {10, 3, 8, 0, 8},                    {10, 3, 9, 5, 8},
      {10, 4, 0, 5, 0},                    {9, 15, 63, 0, 0xFFFFFFFF},
      {9, 1, 64, 5, 0xFF0000AA},           {0, 1, 4, 0, 0xFFAA0000},
      {0, 16, 4, 5, 0},                    {8, 1, 15, 0, 0xFFFFFFFF},
      {7, 1, 16, 5, 0xFF0000AA},           {1, 3, 1, 0, 0xFF0000AA},
      {2, 1, 15, 0, 0xFFFFFFFF},           {2, 2, 1, 5, 0},
      {0, 0xFFFFFFFF, 4, 5, 0},            // the low byte is 255
  };
  for (const row& c : rows) {
    SetUp();
    screen(c.mode);
    kxg_palette(c.attribute, c.colour, 3);
    EXPECT_EQ(take_error(), c.err) << "mode " << c.mode << " PALETTE " << c.attribute << ", " << c.colour;
    const uint32_t entry = c.attribute & 0xFF;
    const uint32_t at = c.mode == 10 ? entry + 4 : entry;
    if (c.err == 0 || at < 16) {
      EXPECT_EQ(write_page->palette[at], c.want) << "mode " << c.mode << " PALETTE " << c.attribute;
    }
  }
  // PALETTE without arguments restores the default; a 32-bit page has none.
  SetUp();
  screen(13);
  kxg_palette(1, 0x3F, 3);
  kxg_palette(0, 0, 0);
  EXPECT_EQ(write_page->palette[1], palette_256[1]);
  sub__dest(func__newimage(8, 8, 32, 1));
  kxg_palette(1, 0, 3);
  EXPECT_EQ(take_error(), 5);
}

TEST_F(Screen, PcopyBetweenPagesAndImages) {
  cmem[0xB8000] = 'X';
  sub_pcopy(0, 1);
  ASSERT_EQ(take_error(), 0);
  EXPECT_EQ(cmem[0xB8000 + 4096], 'X');
  sub_pcopy(0, 0);
  EXPECT_EQ(take_error(), 0);

  int32_t text = func__newimage(80, 25, 0, 1);
  sub_pcopy(2, text);
  EXPECT_EQ(take_error(), 0);
  int32_t small = func__newimage(40, 25, 0, 1);
  sub_pcopy(0, small);
  EXPECT_EQ(take_error(), 5) << "different sizes";
  sub_pcopy(0, -9999);
  EXPECT_EQ(take_error(), 5) << "a missing image";

  screen(13);
  int32_t deep = func__newimage(320, 200, 13, 1);
  int32_t shallow = func__newimage(320, 200, 1, 1);
  sub_pcopy(shallow, 0);
  EXPECT_EQ(take_error(), 0) << "2 bits into 8";
  sub_pcopy(deep, shallow);
  EXPECT_EQ(take_error(), 5) << "8 bits do not fit into 2";
  img_at(-deep)->pixels[7] = 200;
  sub_pcopy(deep, 3);
  EXPECT_EQ(take_error(), 0) << "page 3 is made on demand";
  EXPECT_EQ(img_at(page[3])->pixels[7], 200);
}

TEST_F(Screen, ScreenFunctionReadsTextAndGraphics) {
  EXPECT_EQ(func_screen(1, 1, 0, 0), 32u);
  EXPECT_EQ(func_screen(1, 1, 1, 1), 7u);
  cmem[0xB8000 + (24 * 80 + 79) * 2] = 'Z';
  EXPECT_EQ(func_screen(25, 80, 0, 0), static_cast<uint32_t>('Z'));
  struct bad {
    int32_t row, column;
  };
  for (const bad& b : {bad{0, 1}, bad{26, 1}, bad{1, 0}, bad{1, 81}}) {
    EXPECT_EQ(func_screen(b.row, b.column, 0, 0), 0u);
    EXPECT_EQ(take_error(), 5) << b.row << "," << b.column;
  }

  // A glyph drawn into a graphics page is read back as its character.
  struct mode_font {
    int32_t mode;
    int32_t font;
  };
  for (const mode_font& m : {mode_font{12, 16}, mode_font{9, 14}, mode_font{13, 8}}) {
    SetUp();
    screen(m.mode);
    img_struct* im = write_page;
    const uint8_t* glyph = m.font == 8 ? charset8x8 + 'A' * 64 : charset8x16 + 'A' * 128 + (m.font == 14 ? 8 : 0);
    for (int gy = 0; gy < m.font; ++gy)
      for (int gx = 0; gx < 8; ++gx)
        im->pixels[static_cast<size_t>(m.font + gy) * im->width + 16 + gx] = glyph[gy * 8 + gx] ? 4 : 0;
    EXPECT_EQ(func_screen(2, 3, 0, 0), static_cast<uint32_t>('A')) << m.mode;
    EXPECT_EQ(func_screen(2, 3, 1, 1), 4u) << "the first colour found";
    EXPECT_EQ(func_screen(1, 1, 0, 0), 32u);
    EXPECT_EQ(func_screen(1, 1, 1, 1), 1u);
    im->pixels[0] = 2;  // a pattern no glyph has
    EXPECT_EQ(func_screen(1, 1, 0, 0), 32u);
    EXPECT_EQ(func_screen(1, 1, 1, 1), 0u);
    EXPECT_EQ(func_screen(im->height / m.font + 1, 1, 0, 0), 0u);
    EXPECT_EQ(take_error(), 5);
  }
}

TEST_F(Screen, ModeChangeWaitsForTheRenderer) {
  std::atomic<bool> running{true};
  std::atomic<int> grants{0};
  // Stands in for the main thread: grants a request and then draws nothing.
  std::thread renderer([&] {
    while (running.load()) {
      int32_t requested = 1;
      if (lock_display.compare_exchange_strong(requested, 2)) grants.fetch_add(1);
      std::this_thread::yield();
    }
  });
  autodisplay.store(1);
  lock_display_required.store(1);
  screen(13);
  EXPECT_EQ(grants.load(), 1);
  EXPECT_EQ(lock_display.load(), 0) << "released when the change is done";
  width(40, 25);  // nothing to change: no handshake
  EXPECT_EQ(grants.load(), 1);
  lock_display_required.store(0);
  running.store(false);
  renderer.join();
  EXPECT_EQ(img_at(page[0])->screen_mode, 13);
}

}  // namespace
