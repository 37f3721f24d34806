// Text output: wrapping with the pending new line, scrolling inside the VIEW
// PRINT rows, control characters, print zones, TAB and SPC, CLS, LOCATE (with
// the 80 x 50 switch) and VIEW PRINT, on text and graphics pages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "console/console.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "strings/strings.h"

namespace {

class Text : public ::testing::Test {
 protected:
  void SetUp() override {
    kxs_reset_for_tests();
    init_runtime_state();
    new_error.store(0);
    mark = kxs_tmp_list_nexti;
  }
  void TearDown() override {
    kxs_cleanup(mark, 0);
    new_error.store(0);
  }
  uint32_t mark = 0;

  static void print(const std::string& s, bool newline) {
    kxs_print(kxs_new_txt_len(s.data(), static_cast<int32_t>(s.size())), newline ? 1 : 0);
  }
  static std::string row(int32_t r) {
    std::string t = screen_row_text(r);
    return t.substr(0, t.find_last_not_of(' ') + 1);
  }
  static std::string text(const kxs* s) { return std::string(reinterpret_cast<const char*>(s->chars), s->len); }
  static int32_t row_now() { return func_csrlin(); }
  static int32_t col_now() { return func_pos(0); }
  static int32_t take_error() { return new_error.exchange(0); }
};

TEST_F(Text, AFullLineLeavesANewLinePending) {
  const std::string line(80, 'x');
  print(line, false);
  EXPECT_EQ(row_now(), 1);
  EXPECT_EQ(col_now(), 80);
  EXPECT_TRUE(write_page->newline_pending);
  print("", false);
  EXPECT_EQ(row_now(), 1) << "an empty PRINT with ; does not move";
  EXPECT_TRUE(write_page->newline_pending);
  print("y", false);
  EXPECT_EQ(row_now(), 2);
  EXPECT_EQ(col_now(), 2);
  EXPECT_EQ(row(2), "y");

  SetUp();
  print(line, true);
  EXPECT_EQ(row_now(), 2) << "a full line without ; moves down once";
  EXPECT_EQ(col_now(), 1);
  SetUp();
  print(line, false);
  print("", true);
  EXPECT_EQ(row_now(), 2) << "PRINT alone after the pending line moves down once";
  SetUp();
  print(line + "ab", true);
  EXPECT_EQ(row(2), "ab");
  EXPECT_EQ(row_now(), 3);
}

TEST_F(Text, ScrollingStaysInsideTheRegion) {
  kxg_sub_locate(25, 1, 0, 0, 0, 3);
  print("last row", false);
  kxg_sub_locate(1, 1, 0, 0, 0, 3);
  for (int i = 1; i <= 30; ++i) print("line " + std::to_string(i), true);
  EXPECT_EQ(row(1), "line 8");
  EXPECT_EQ(row(23), "line 30");
  EXPECT_EQ(row(24), "");
  EXPECT_EQ(row(25), "last row") << "the last row lies outside the scrolling rows";
  EXPECT_EQ(row_now(), 24);

  kxg_sub_view_print(5, 7, 1);
  EXPECT_EQ(row_now(), 5);
  for (int i = 1; i <= 4; ++i) print("v" + std::to_string(i), true);
  EXPECT_EQ(row(4), "line 11");
  // VIEW PRINT leaves the text; v1 to v4 overwrite and scroll within rows 5-7.
  EXPECT_EQ(row(5), "v3ne 14");
  EXPECT_EQ(row(6), "v4");
  EXPECT_EQ(row(7), "");
  EXPECT_EQ(row(8), "line 15");

  // The freed row takes the current background colour.
  kxg_sub_color(14, 1, 0, 3);
  print("w", true);
  print("w", true);
  print("w", true);
  EXPECT_EQ(func_screen(7, 1, 1, 1), 0x1Eu);
  EXPECT_EQ(func_screen(7, 40, 1, 1), 0x1Eu) << "blank cells take the colours of COLOR";
}

TEST_F(Text, ControlCharacters) {
  kxg_sub_locate(5, 10, 0, 0, 0, 3);
  print("\x1E", false);
  EXPECT_EQ(row_now(), 4) << "30 moves up";
  print("\x1F", false);
  EXPECT_EQ(row_now(), 5) << "31 moves down";
  print("\x1C", false);
  EXPECT_EQ(col_now(), 11) << "28 moves right";
  kxg_sub_locate(5, 1, 0, 0, 0, 3);
  print("\x1D", false);
  EXPECT_EQ(row_now(), 4);
  EXPECT_EQ(col_now(), 80) << "29 at column 1 goes to the end of the row above";
  kxg_sub_locate(1, 1, 0, 0, 0, 3);
  print("\x1D", false);
  EXPECT_EQ(row_now(), 1);
  EXPECT_EQ(col_now(), 1) << "29 stops at the top of the region";
  kxg_sub_locate(1, 80, 0, 0, 0, 3);
  print("\x1C", false);
  EXPECT_EQ(row_now(), 2);
  EXPECT_EQ(col_now(), 1);
  kxg_sub_locate(24, 80, 0, 0, 0, 3);
  print("\x1C", false);
  EXPECT_EQ(col_now(), 80) << "28 in the last cell of the region stays";

  kxg_sub_locate(9, 20, 0, 0, 0, 3);
  print("\x0B", false);
  EXPECT_EQ(row_now(), 1);
  EXPECT_EQ(col_now(), 1) << "11 homes";
  print("\tA", false);
  EXPECT_EQ(row(1), "        A") << "9 goes to column 9";
  print("B\tC", false);
  EXPECT_EQ(row(1), "        AB      C") << "tab stops every 8 columns";
  print("\r", false);
  EXPECT_EQ(row_now(), 2);
  print("x\x0C", false);
  EXPECT_EQ(row(2), "") << "12 clears the screen";
  EXPECT_EQ(row_now(), 1);
}

TEST_F(Text, PrintZonesAndTabSpc) {
  print("a", false);
  tab();
  print("b", false);
  tab();
  print("c", true);
  EXPECT_EQ(row(1), std::string("a") + std::string(13, ' ') + "b" + std::string(13, ' ') + "c");
  kxg_sub_locate(3, 70, 0, 0, 0, 3);
  tab();
  EXPECT_EQ(col_now(), 80) << "beyond the last zone: spaces up to the last column";

  SetUp();
  print("a", false);
  kxs* t = func_tab(5);
  EXPECT_EQ(text(t), "   ");
  kxs_print(t, 0);
  print("b", true);
  EXPECT_EQ(row(1), "a   b");
  kxg_sub_locate(3, 10, 0, 0, 0, 3);
  EXPECT_EQ(text(func_tab(3)), "\r  ") << "a column to the left starts a new line";
  tab_spc_cr_size = 2;
  EXPECT_EQ(text(func_tab(3)), "\r\n  ");
  tab_spc_cr_size = 1;
  EXPECT_EQ(text(func_tab(90)), "") << "90 mod 80 is 10, the cursor column";
  EXPECT_EQ(text(func_tab(0)), "\r") << "below 1 counts as 1";

  EXPECT_EQ(text(func_spc(-1)), "");
  EXPECT_EQ(text(func_spc(3)), "   ");
  kxg_sub_locate(3, 78, 0, 0, 0, 3);
  EXPECT_EQ(text(func_spc(5)), "\r  ") << "3 spaces fit, 2 go to the next line";
  EXPECT_EQ(text(func_spc(100000)), "");
  EXPECT_EQ(take_error(), 7);
  EXPECT_EQ(text(func_tab(-40000)), "");
  EXPECT_EQ(take_error(), 7);
}

TEST_F(Text, MakefitMovesItemsThatDoNotFit) {
  kxg_sub_locate(1, 75, 0, 0, 0, 3);
  makefit(kxs_new_txt("123456"));
  EXPECT_EQ(row_now(), 1) << "columns 75 to 80 hold it";
  makefit(kxs_new_txt("1234567"));
  EXPECT_EQ(row_now(), 2);
  EXPECT_EQ(col_now(), 1);
}

TEST_F(Text, ClsMethods) {
  kxg_sub_locate(25, 1, 0, 0, 0, 3);
  print("bottom", false);
  kxg_sub_view_print(3, 5, 1);
  print("in", false);
  kxg_sub_locate(1, 1, 0, 0, 0, 3);
  EXPECT_EQ(take_error(), 5) << "row 1 is above the region";
  write_page->cursor_row = 1;
  write_page->cursor_column = 1;
  print("top", false);

  sub_cls(2, 0, 1);
  EXPECT_EQ(row(3), "") << "CLS 2 clears the region";
  EXPECT_EQ(row(1), "top");
  EXPECT_EQ(row(25), "bottom");
  EXPECT_EQ(row_now(), 3);

  write_page->cursor_row = 1;
  print("top", false);
  sub_cls(0, 0, 0);
  EXPECT_EQ(row(25), "") << "CLS also clears the last row";
  EXPECT_EQ(row(1), "top") << "but not rows above the region";

  sub_cls(0, 0, 1);
  EXPECT_EQ(row(1), "") << "CLS 0 clears everything";
  sub_cls(3, 0, 1);
  EXPECT_EQ(take_error(), 5);
  sub_cls(0, 0xFFFFFFFFu, 3);
  EXPECT_EQ(take_error(), 5) << "the colour is compared as unsigned";
  sub_cls(0, 4, 3);
  EXPECT_EQ(func_screen(1, 1, 1, 1), 0x47u);
}

TEST_F(Text, ClsOnGraphicsPages) {
  kxg_screen(13, 0, 0, 0, 0, 1);
  std::memset(write_page->pixels, 9, 64000);
  sub_cls(0, 3, 2);
  EXPECT_EQ(write_page->pixels[0], 3);
  EXPECT_EQ(write_page->pixels[63999], 3);
  EXPECT_EQ(write_page->x, 160.0f);
  EXPECT_EQ(write_page->y, 100.0f);
  write_page->x = 1;
  sub_cls(2, 5, 3);
  EXPECT_EQ(write_page->pixels[0], 5);
  EXPECT_EQ(write_page->pixels[8 * 320 * 24 - 1], 5) << "the region is rows 1 to 24";
  EXPECT_EQ(write_page->pixels[8 * 320 * 24], 3) << "row 25 stays";
  EXPECT_EQ(write_page->x, 1.0f) << "CLS 2 leaves the graphics cursor";

  // A VIEW limits CLS to the viewport.
  write_page->coord_mode = 1;
  write_page->view_x1 = 10;
  write_page->view_y1 = 10;
  write_page->view_x2 = 19;
  write_page->view_y2 = 19;
  sub_cls(0, 7, 2);
  EXPECT_EQ(write_page->pixels[10 * 320 + 10], 7);
  EXPECT_EQ(write_page->pixels[9 * 320 + 10], 5);
  EXPECT_EQ(write_page->pixels[10 * 320 + 20], 5);
  EXPECT_EQ(write_page->x, 5.0f);

  sub__dest(func__newimage(8, 8, 32, 1));
  sub_cls(0, 0x80FF0000u, 3);
  uint32_t px;
  std::memcpy(&px, write_page->pixels, 4);
  EXPECT_EQ(px, 0x80FF0000u) << "CLS on a 32-bit page does not blend";
}

TEST_F(Text, LocateRulesAndTheFiftyRowSwitch) {
  print("keep me", false);
  kxg_sub_locate(40, 5, 0, 0, 0, 3);
  ASSERT_EQ(take_error(), 0);
  EXPECT_EQ(img_at(page[0])->height, 50);
  EXPECT_EQ(row(1), "keep me") << "the old rows reappear at the top";
  EXPECT_EQ(row_now(), 40);
  EXPECT_EQ(col_now(), 5);
  kxg_sub_locate(50, 1, 0, 0, 0, 3);
  EXPECT_EQ(take_error(), 0) << "the last row";

  SetUp();
  kxg_screen(0, 0, 0, 0, 0, 3);  // any other screen statement
  kxg_sub_locate(40, 1, 0, 0, 0, 3);
  EXPECT_EQ(take_error(), 5);
  EXPECT_EQ(img_at(page[0])->height, 25);

  SetUp();
  struct bad {
    int32_t row, column, cursor, start, stop, passed;
  };
  const bad cases[] = {{0, 1, 0, 0, 0, 1},  {1, 0, 0, 0, 0, 2},   {1, 81, 0, 0, 0, 2},
                       {1, 1, 2, 0, 0, 4},  {1, 1, -1, 0, 0, 4},  {1, 1, 0, 32, 0, 8},
                       {1, 1, 0, 0, -1, 8}, {51, 1, 0, 0, 0, 1}};
  for (const bad& c : cases) {
    kxg_sub_locate(3, 3, 0, 0, 0, 3);
    kxg_sub_locate(c.row, c.column, c.cursor, c.start, c.stop, c.passed);
    EXPECT_EQ(take_error(), 5) << c.row << "," << c.column << "," << c.cursor << "," << c.start << "," << c.stop;
    EXPECT_EQ(row_now(), 3);
    EXPECT_EQ(col_now(), 3);
  }

  kxg_sub_locate(0, 0, 1, 0, 7, 12);
  for (int i = 0; i < 8; ++i) {
    const img_struct* im = img_at(page[i]);
    EXPECT_EQ(im->cursor_visible, 1) << "every page of the screen";
    EXPECT_EQ(im->cursor_start_line, 0);
    EXPECT_EQ(im->cursor_stop_line, 7);
  }
}

TEST_F(Text, ViewPrintRegion) {
  kxg_sub_view_print(0, 0, 0);
  EXPECT_EQ(write_page->view_print_bottom, 25);
  kxg_sub_locate(25, 1, 0, 0, 0, 3);
  print("x", true);
  EXPECT_EQ(row(24), "x") << "with the whole page as region the last row scrolls";
  for (auto bounds : {std::pair{0, 5}, std::pair{6, 5}, std::pair{1, 26}}) {
    kxg_sub_view_print(bounds.first, bounds.second, 1);
    EXPECT_EQ(take_error(), 5) << bounds.first << " TO " << bounds.second;
  }
}

TEST_F(Text, GraphicsPagesDrawGlyphs) {
  kxg_screen(13, 0, 0, 0, 0, 1);
  kxg_sub_color(4, 0, 0, 3);
  std::memset(write_page->pixels, 1, 64000);
  print("A", false);
  const uint8_t* glyph = charset8x8 + 'A' * 64;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(write_page->pixels[y * 320 + x], glyph[y * 8 + x] ? 4 : 0) << x << "," << y;
  EXPECT_EQ(func_screen(1, 1, 0, 0), static_cast<uint32_t>('A'));
  EXPECT_EQ(col_now(), 2);

  sub_cls(0, 0, 3);
  write_page->print_mode = 1;
  kxg_sub_locate(1, 1, 0, 0, 0, 3);
  kxg_sub_color(2, 0, 0, 3);
  print("\xDB", false);  // full block, foreground only
  EXPECT_EQ(write_page->pixels[0], 2);

  // A full line wraps with a pending new line; printing past the bottom scrolls.
  kxg_sub_locate(24, 1, 0, 0, 0, 3);
  print(std::string(40, 'x'), false);
  EXPECT_TRUE(write_page->newline_pending);
  EXPECT_EQ(col_now(), 40);
  write_page->print_mode = 3;
  print("z", true);
  EXPECT_EQ(row_now(), 24);
  EXPECT_EQ(func_screen(22, 1, 0, 0), static_cast<uint32_t>('x'));
  EXPECT_EQ(func_screen(23, 1, 0, 0), static_cast<uint32_t>('z'));
}

TEST_F(Text, TinyPagesAreClipped) {
  // An image smaller than one character cell: output stays inside its pixels.
  for (int32_t mode : {13, 32, 0}) {
    SetUp();
    sub__dest(func__newimage(3, 2, mode, 1));
    ASSERT_EQ(take_error(), 0);
    for (int i = 0; i < 20; ++i) print("Hello, world", true);
    tab();
    kxs_print(func_tab(5), 0);
    kxs_print(func_spc(7), 1);
    sub_cls(0, 0, 0);
    sub_cls(2, 0, 1);
    EXPECT_EQ(take_error(), 0) << mode;
  }
}

}  // namespace
