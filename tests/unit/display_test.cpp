// The renderer without a window: what it composes for text, palette and 32-bit
// pages, blinking text and cursor shapes, the mode 10 levels, full-screen
// states and their geometry, and the handshake with screen changes.
#include <gtest/gtest.h>

#include <SDL.h>

#include <set>
#include <vector>

#include "console/console.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "strings/strings.h"

namespace {

class Display : public ::testing::Test {
 protected:
  void SetUp() override {
    kxs_reset_for_tests();
    init_runtime_state();
    new_error.store(0);
    modes.clear();
    full_screen.store(0);
    full_screen_toggle.store(0);
    autodisplay.store(1);
  }
  void TearDown() override {
    modes.clear();
    full_screen.store(0);
    full_screen_toggle.store(0);
    new_error.store(0);
  }

  // Renders one frame whose frame number is n.
  void render(int32_t n) {
    frame.store(n - 1);
    display();
    composed_frame(pixels, w, h);
  }
  uint32_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * w + x]; }
  // Rows of a cell (col, row 0-based) that hold colour c over its whole width.
  std::set<int> full_rows(int32_t col, int32_t row, uint32_t c, int32_t cw = 8, int32_t ch = 16) const {
    std::set<int> rows;
    for (int y = 0; y < ch; ++y) {
      bool all = true;
      for (int x = 0; x < cw; ++x) all = all && at(col * cw + x, row * ch + y) == c;
      if (all) rows.insert(y);
    }
    return rows;
  }

  std::vector<uint32_t> pixels;
  int32_t w = 0;
  int32_t h = 0;
};

constexpr uint32_t black = 0xFF000000;
constexpr uint32_t blue = 0xFF0000AA;
constexpr uint32_t yellow = 0xFFFFFF55;
constexpr uint32_t grey = 0xFFAAAAAA;

void put_cell(int32_t row, int32_t col, uint8_t ch, uint8_t attr) {
  uint8_t* c = write_page->pixels + (static_cast<size_t>(row - 1) * write_page->width + (col - 1)) * 2;
  c[0] = ch;
  c[1] = attr;
}

TEST_F(Display, TextCellsInTheirColours) {
  put_cell(1, 1, 'A', 0x1E);
  render(1);
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 400);
  const uint8_t* glyph = charset8x16 + 'A' * 128;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(at(x, y), glyph[y * 8 + x] ? yellow : blue) << x << "," << y;
  EXPECT_EQ(at(100, 100), black) << "a blank cell: attribute 7 shows black";

  // A cell changed after the first frame is drawn by the next one.
  put_cell(2, 1, 0xDB, 0x07);
  render(2);
  EXPECT_EQ(at(3, 16 + 3), grey);
}

TEST_F(Display, BlinkingAttributeAndDoubleWidthFont) {
  kxsub_width(0, 40, 25, 3);
  put_cell(1, 1, 0xDB, 0x8E);  // blinking yellow block on black
  render(1);
  ASSERT_EQ(w, 640) << "40 columns of 16-pixel cells";
  EXPECT_EQ(at(15, 5), yellow);
  render(8);  // bit value 8 of the frame: blinking text is hidden
  EXPECT_EQ(at(15, 5), black);
  render(16);
  EXPECT_EQ(at(15, 5), yellow);
}

TEST_F(Display, CursorShapes) {
  struct row {
    int32_t start, stop;
    std::set<int> lines;
  };
  const row rows[] = {
      {0, 0, {0}},
      {0, 7, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      {3, 0, {}},
      {2, 2, {2}},
      {4, 4, {15}},
      {1, 3, {1, 2, 3}},
      {2, 3, {2, 3}},
      {2, 4, {13, 14, 15}},
      {6, 7, {14, 15}},
      {6, 8, {13, 14, 15}},
      {3, 12, {8, 9, 10, 11, 12, 13, 14, 15}},
      {9, 2, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
  };
  for (const row& c : rows) {
    SetUp();
    kxg_sub_locate(3, 5, 1, c.start, c.stop, 15);
    render(4);  // bit value 4: the cursor is shown
    EXPECT_EQ(full_rows(4, 2, grey), c.lines) << c.start << " to " << c.stop;
    render(8);  // hidden
    EXPECT_EQ(full_rows(4, 2, grey), std::set<int>{}) << c.start << " to " << c.stop;
  }
  SetUp();
  kxg_sub_locate(3, 5, 0, 0, 7, 15);
  render(4);
  EXPECT_EQ(full_rows(4, 2, grey), std::set<int>{}) << "an invisible cursor";
}

TEST_F(Display, CursorCellIsRedrawnWhenTheCursorMoves) {
  kxg_sub_locate(1, 1, 1, 0, 7, 15);
  render(4);
  EXPECT_EQ(full_rows(0, 0, grey).size(), 16u);
  kxg_sub_locate(1, 2, 0, 0, 0, 3);
  render(5);
  EXPECT_EQ(full_rows(0, 0, grey).size(), 0u) << "the old cursor cell is drawn again";
  EXPECT_EQ(full_rows(1, 0, grey).size(), 16u);
}

TEST_F(Display, PalettePagesFollowPixelsAndPalette) {
  kxg_screen(13, 0, 0, 0, 0, 1);
  write_page->pixels[5 * 320 + 7] = 4;
  render(1);
  ASSERT_EQ(w, 320);
  ASSERT_EQ(h, 200);
  EXPECT_EQ(at(7, 5), 0xFFAA0000u);
  EXPECT_EQ(at(8, 5), black);
  kxg_palette(4, 0x3F00, 3);  // green 63
  render(2);
  EXPECT_EQ(at(7, 5), 0xFF00FF00u);
  write_page->pixels[0] = 15;
  render(3);
  EXPECT_EQ(at(0, 0), 0xFFFFFFFFu);
}

TEST_F(Display, ThirtyTwoBitPagesAreCopied) {
  int32_t image = func__newimage(20, 10, 32, 1);
  kxg_screen(image, 0, 0, 0, 0, 1);
  auto* px = reinterpret_cast<uint32_t*>(write_page->pixels);
  px[3 * 20 + 4] = 0x00123456;  // alpha does not matter on screen
  render(1);
  ASSERT_EQ(w, 20);
  EXPECT_EQ(at(4, 3), 0xFF123456u);
}

TEST_F(Display, Mode10LevelsBlinkWithTime) {
  kxg_screen(10, 0, 0, 0, 0, 1);
  kxg_palette(1, 6, 3);  // attribute 1 shows level 6: white, then black
  write_page->pixels[0] = 1;
  std::set<uint32_t> seen;
  const uint64_t until = SDL_GetTicks64() + 1500;
  while (SDL_GetTicks64() < until && seen.size() < 2) {
    render(1);
    seen.insert(at(0, 0));
    SDL_Delay(20);
  }
  EXPECT_EQ(seen, (std::set<uint32_t>{0xFFFFFFFF, 0xFF000000}));
}

TEST_F(Display, FullScreenStatesAndGeometry) {
  kxg_screen(13, 0, 0, 0, 0, 1);
  write_page->pixels[0] = 4;
  full_screen_toggle.store(1);
  render(1);
  EXPECT_EQ(full_screen.load(), 0) << "no modes: Alt+Enter does nothing";
  EXPECT_EQ(w, 320);

  modes = {SDL_Rect{0, 0, 600, 400}};
  full_screen_toggle.store(1);
  render(2);
  EXPECT_EQ(full_screen.load(), 0) << "modes narrower than 640 do not count";

  // The closest mode stretches; the closest 4:3 mode is the square state.
  modes = {SDL_Rect{0, 0, 1024, 768}, SDL_Rect{0, 0, 720, 480}};
  full_screen_toggle.store(1);
  render(3);
  EXPECT_EQ(full_screen.load(), 1);
  ASSERT_EQ(w, 720);
  ASSERT_EQ(h, 480);
  EXPECT_EQ(x_scale.load(), 2) << "a page of 320 x 200 is drawn doubled";
  EXPECT_EQ(x_offset.load(), 40);
  EXPECT_EQ(y_offset.load(), 40);
  EXPECT_EQ(at(40, 40), 0xFFAA0000u);
  EXPECT_EQ(at(41, 41), 0xFFAA0000u);
  EXPECT_EQ(at(42, 40), black);
  EXPECT_EQ(at(39, 39), black) << "the border";

  full_screen_toggle.store(1);
  render(4);
  EXPECT_EQ(full_screen.load(), 2);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(x_offset.load(), (1024 - 640) / 2);
  full_screen_toggle.store(1);
  render(5);
  EXPECT_EQ(full_screen.load(), 0);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(x_scale.load(), 1);

  // One candidate for both states: the square state is skipped.
  modes = {SDL_Rect{0, 0, 1024, 768}};
  full_screen_toggle.store(1);
  render(6);
  EXPECT_EQ(full_screen.load(), 1);
  full_screen_toggle.store(1);
  render(7);
  EXPECT_EQ(full_screen.load(), 0);

  // A request of _FULLSCREEN's kind: square without its own candidate is windowed.
  full_screen_set.store(2);
  render(8);
  EXPECT_EQ(full_screen.load(), 0);
  EXPECT_EQ(full_screen_set.load(), -1);
  full_screen_set.store(1);
  render(9);
  EXPECT_EQ(full_screen.load(), 1);
  // A page larger than every mode goes back to the window.
  int32_t big = func__newimage(2000, 2000, 32, 1);
  kxg_screen(big, 0, 0, 0, 0, 1);
  render(10);
  EXPECT_EQ(full_screen.load(), 0);
  EXPECT_EQ(w, 2000);
}

TEST_F(Display, NothingIsDrawnWhileAScreenChangeHoldsTheLock) {
  render(1);
  put_cell(1, 1, 0xDB, 0x07);
  lock_display.store(1);
  render(2);
  EXPECT_EQ(lock_display.load(), 2) << "the request is granted";
  EXPECT_EQ(at(0, 0), black) << "and nothing drawn";
  lock_display.store(0);
  render(3);
  EXPECT_EQ(at(0, 0), grey);

  autodisplay.store(-1);
  render(4);
  EXPECT_EQ(autodisplay.load(), 0) << "the frame completes the switch to manual rendering";
  autodisplay.store(1);
}

}  // namespace
