// Text output: PRINT onto the write page with wrapping and scrolling inside the
// VIEW PRINT rows, the cursor functions and VIEW PRINT.
#include <algorithm>
#include <cstring>

#include "console/console.h"
#include "frame/frame.h"

namespace {

uint8_t* cell(img_struct* im, int row, int col) {
  return im->pixels + (static_cast<size_t>(row - 1) * im->width + static_cast<size_t>(col - 1)) * 2;
}

uint8_t text_attribute(const img_struct* im) {
  return static_cast<uint8_t>((im->foreground_color & 15) | (im->foreground_color & 16) << 3 |
                              (im->background_color & 7) << 4);
}

void clear_row(img_struct* im, int row) {
  for (int c = 1; c <= im->width; ++c) {
    cell(im, row, c)[0] = ' ';
    cell(im, row, c)[1] = text_attribute(im);
  }
}

void new_line(img_struct* im) {
  im->cursor_column = 1;
  if (im->cursor_row < im->view_print_bottom) {
    ++im->cursor_row;
    return;
  }
  // Scroll the view rows up by one.
  for (int row = im->view_print_top; row < im->view_print_bottom; ++row) {
    std::memmove(cell(im, row, 1), cell(im, row + 1, 1), static_cast<size_t>(im->width) * 2);
  }
  clear_row(im, im->view_print_bottom);
  screen_version.fetch_add(1);
}

void put_char(img_struct* im, uint8_t ch) {
  if (im->cursor_column > im->width) new_line(im);
  cell(im, im->cursor_row, im->cursor_column)[0] = ch;
  cell(im, im->cursor_row, im->cursor_column)[1] = text_attribute(im);
  ++im->cursor_column;
  screen_version.fetch_add(1);
}

}  // namespace

void kxs_print(kxs* s, int32_t newline) {
  if (new_error.load()) return;
  img_struct* im = write_page;
  if (!im->is_text) return;
  for (int32_t i = 0; i < s->len; ++i) put_char(im, s->chars[i]);
  if (newline) new_line(im);
}

void makefit(kxs* s) {
  img_struct* im = write_page;
  if (im->cursor_column > 1 && im->cursor_column - 1 + s->len > im->width) new_line(im);
}

int32_t func_pos(int32_t) {
  return std::min<int32_t>(write_page->cursor_column, write_page->width);
}
int32_t func_csrlin() { return write_page->cursor_row; }

void kxg_sub_view_print(int32_t top, int32_t bottom, int32_t passed) {
  if (new_error.load()) return;
  img_struct* im = write_page;
  int32_t rows = im->is_text ? im->height : im->height / font_cell_height(im->font);
  if (!passed) {
    im->view_print_top = 1;
    im->view_print_bottom = static_cast<int16_t>(rows);
  } else {
    if (top < 1 || bottom > rows || top > bottom) {
      error(5);
      return;
    }
    im->view_print_top = static_cast<int16_t>(top);
    im->view_print_bottom = static_cast<int16_t>(bottom);
  }
  im->cursor_row = im->view_print_top;
  im->cursor_column = 1;
}

int32_t display_text_rows() {
  const img_struct* im = write_page;
  return im->is_text ? im->height : im->height / font_cell_height(im->font);
}

std::string screen_row_text(int32_t row) {
  std::string text;
  img_struct* im = display_page.load();
  if (!im || !im->is_text || row < 1 || row > im->height) return text;
  for (int c = 1; c <= im->width; ++c) text += static_cast<char>(cell(im, row, c)[0]);
  return text;
}
