// Text output: PRINT onto the write page with control characters, wrapping and
// scrolling inside the VIEW PRINT rows; print zones, TAB and SPC; CLS, LOCATE,
// VIEW PRINT, CSRLIN and POS. Text pages get cells; graphics pages get the
// characters drawn with the page's font.
#include <algorithm>
#include <cstring>

#include "console/console.h"
#include "frame/frame.h"

int32_t tab_spc_cr_size = 1;

namespace {

uint8_t attribute_of(const img_struct* im, uint32_t background) {
  const uint32_t fg = im->foreground_color;
  return static_cast<uint8_t>((fg & 15) + (fg & 16) * 8 + background * 16);
}

uint8_t* cell(img_struct* im, int32_t row, int32_t col) {
  return im->pixels + (static_cast<size_t>(row - 1) * im->width + static_cast<size_t>(col - 1)) * 2;
}

void changed() { screen_version.fetch_add(1, std::memory_order_relaxed); }

// Fills pixel rows y1..y2 (cut to the page) with a colour as it stands, without
// blending.
void fill_pixel_rows(img_struct* im, int64_t y1, int64_t y2, uint32_t colour) {
  y1 = std::max<int64_t>(y1, 0);
  y2 = std::min<int64_t>(y2, im->height - 1);
  if (y1 > y2) return;
  const size_t row_bytes = static_cast<size_t>(im->width) * im->bytes_per_pixel;
  uint8_t* first = im->pixels + static_cast<size_t>(y1) * row_bytes;
  if (im->bytes_per_pixel == 1) {
    std::memset(first, static_cast<uint8_t>(colour & im->color_mask), row_bytes * static_cast<size_t>(y2 - y1 + 1));
    return;
  }
  auto* p = reinterpret_cast<uint32_t*>(first);
  for (size_t x = 0; x < im->width; ++x) p[x] = colour;
  for (int64_t y = y1 + 1; y <= y2; ++y) {
    std::memcpy(im->pixels + static_cast<size_t>(y) * row_bytes, first, row_bytes);
  }
}

// Fills text rows top..bottom of a text page with blank cells.
void blank_text_rows(img_struct* im, int32_t top, int32_t bottom, uint8_t attribute) {
  top = std::max(top, 1);
  bottom = std::min<int32_t>(bottom, im->height);
  for (int32_t row = top; row <= bottom; ++row) {
    for (int32_t col = 1; col <= im->width; ++col) {
      uint8_t* c = cell(im, row, col);
      c[0] = 32;
      c[1] = attribute;
    }
  }
}

// Scrolls the VIEW PRINT rows up by one text row.
void scroll_region(img_struct* im) {
  const int32_t top = im->view_print_top;
  const int32_t bottom = im->view_print_bottom;
  if (im->is_text) {
    const int32_t last = std::min<int32_t>(bottom, im->height);
    const size_t row_bytes = static_cast<size_t>(im->width) * 2;
    if (top < last) {
      std::memmove(cell(im, top, 1), cell(im, top + 1, 1), row_bytes * static_cast<size_t>(last - top));
    }
    blank_text_rows(im, last, last, attribute_of(im, im->background_color & 7));
  } else {
    const int64_t fh = font_cell_height(im->font);
    const int64_t y_top = (top - 1) * fh;
    const int64_t y_end = std::min<int64_t>(bottom * fh, im->height);  // one past the region
    const size_t row_bytes = static_cast<size_t>(im->width) * im->bytes_per_pixel;
    if (y_top + fh < y_end) {
      std::memmove(im->pixels + static_cast<size_t>(y_top) * row_bytes,
                   im->pixels + static_cast<size_t>(y_top + fh) * row_bytes,
                   row_bytes * static_cast<size_t>(y_end - y_top - fh));
    }
    fill_pixel_rows(im, y_end - fh, y_end - 1, im->background_color);
  }
  changed();
}

const uint8_t* glyph_rows(uint32_t font, uint8_t ch) {
  switch (font) {
    case 8: case 9: return charset8x8 + ch * 64;
    case 14: case 15: return charset8x16 + ch * 128 + 8;
    default: return charset8x16 + ch * 128;
  }
}

// Prints one character that is not a control code: draws it, advances and wraps.
// Returns true when it ended the line.
bool put_printable(img_struct* im, uint8_t ch, bool last_of_output) {
  printchr(ch);
  ++im->cursor_column;
  const int32_t columns = page_text_columns(im);
  bool wrap;
  if (im->is_text) {
    wrap = im->cursor_column > columns;
  } else {
    const int64_t fw = font_cell_width(im->font);
    wrap = (im->cursor_column - 1) * fw > im->width - fw;
  }
  if (!wrap) return false;
  if (last_of_output) {
    im->cursor_column = static_cast<int16_t>(columns);
    im->newline_pending = 1;
    return false;
  }
  newline();
  return true;
}

kxs* spaces(int64_t n, bool line_break_first) {
  if (n < 0) n = 0;
  const int64_t breaks = line_break_first ? tab_spc_cr_size : 0;
  kxs* s = kxs_new(static_cast<int32_t>(n + breaks), 1);
  int64_t at = 0;
  if (line_break_first) {
    s->chars[at++] = 13;
    if (tab_spc_cr_size == 2) s->chars[at++] = 10;
  }
  std::memset(s->chars + at, 32, static_cast<size_t>(n));
  return s;
}

bool in_16_bit_range(int32_t n) { return n >= -32768 && n <= 32767; }

// The cursor flag and lines of LOCATE, on one page.
void set_cursor_shape(img_struct* im, int32_t passed, int32_t cursor, int32_t start, int32_t stop) {
  if (passed & 4) im->cursor_visible = cursor ? 1 : 0;
  if (passed & 8) {
    im->cursor_start_line = static_cast<uint8_t>(start);
    im->cursor_stop_line = static_cast<uint8_t>(stop);
  }
}

}  // namespace

int32_t page_text_columns(const img_struct* im) {
  if (im->is_text) return im->width;
  return std::max(1, im->width / font_cell_width(im->font));
}

int32_t page_text_rows(const img_struct* im) {
  if (im->is_text) return im->height;
  return std::max(1, im->height / font_cell_height(im->font));
}

void newline() {
  img_struct* im = write_page;
  ++im->cursor_row;
  im->cursor_column = 1;
  if (im->cursor_row > im->view_print_bottom) {
    scroll_region(im);
    im->cursor_row = im->view_print_bottom;
  }
}

void printchr(uint8_t ch) {
  img_struct* im = write_page;
  const int32_t row = im->cursor_row;
  const int32_t col = im->cursor_column;
  if (im->is_text) {
    if (row < 1 || row > im->height || col < 1 || col > im->width) return;
    uint8_t* c = cell(im, row, col);
    c[0] = ch;
    c[1] = attribute_of(im, im->background_color);
    changed();
    return;
  }
  const int32_t fw = font_cell_width(im->font);
  const int32_t fh = font_cell_height(im->font);
  const bool doubled = fw == 16;
  const int64_t x0 = static_cast<int64_t>(col - 1) * fw;
  const int64_t y0 = static_cast<int64_t>(row - 1) * fh;
  const uint8_t* glyph = glyph_rows(im->font, ch);
  const uint8_t mode = im->print_mode;
  for (int32_t gy = 0; gy < fh && gy < 16; ++gy) {
    const int64_t y = y0 + gy;
    if (y < 0 || y >= im->height) continue;
    for (int32_t gx = 0; gx < fw; ++gx) {
      const int64_t x = x0 + gx;
      if (x < 0 || x >= im->width) continue;
      const bool on = glyph[gy * 8 + (doubled ? gx / 2 : gx)] != 0;
      if (on && (mode == 1 || mode == 3)) {
        pset(static_cast<int32_t>(x), static_cast<int32_t>(y), im->foreground_color);
      } else if (!on && (mode == 2 || mode == 3)) {
        pset(static_cast<int32_t>(x), static_cast<int32_t>(y), im->background_color);
      }
    }
  }
  changed();
}

int32_t chrwidth(uint8_t) { return font_cell_width(write_page->font); }

void kxs_print(kxs* s, int32_t newline_after) {
  if (new_error.load()) return;
  img_struct* im = write_page;
  if (im->newline_pending) {
    if (s->len > 0) {
      im->newline_pending = 0;
      newline();
    } else if (newline_after) {
      im->newline_pending = 0;
    }
  }
  bool line_ended = false;
  for (int32_t i = 0; i < s->len; ++i) {
    const uint8_t ch = s->chars[i];
    const bool last = i == s->len - 1;
    line_ended = false;
    const int32_t columns = page_text_columns(im);
    switch (ch) {
      case 28:  // cursor right
        if (im->cursor_row < im->view_print_bottom || im->cursor_column < columns) {
          if (++im->cursor_column > columns) {
            im->cursor_column = 1;
            ++im->cursor_row;
          }
        }
        break;
      case 29:  // cursor left
        if (!(im->cursor_column == 1 &&
              (im->cursor_row == im->view_print_top || im->cursor_row > im->view_print_bottom))) {
          if (--im->cursor_column < 1) {
            im->cursor_column = static_cast<int16_t>(columns);
            --im->cursor_row;
          }
        }
        break;
      case 30:  // cursor up
        if (im->cursor_row > im->view_print_top && im->cursor_row <= im->view_print_bottom) --im->cursor_row;
        break;
      case 31:  // cursor down
        if (im->cursor_row >= im->view_print_top && im->cursor_row < im->view_print_bottom) ++im->cursor_row;
        break;
      case 12:  // form feed
        sub_cls(0, 0, 0);
        break;
      case 11:  // home
        im->cursor_row = im->view_print_top;
        im->cursor_column = 1;
        break;
      case 9:  // tab: spaces up to the next stop at 9, 17, 25, ...
        do {
          const bool final_space = im->cursor_column % 8 == 0;
          line_ended = put_printable(im, 32, last && !newline_after && final_space);
        } while (!im->newline_pending && (im->cursor_column - 1) % 8 != 0);
        if (!last) line_ended = false;
        break;
      case 7:  // bell
        kx_sleep(250);
        break;
      case 10:
      case 13:
        newline();
        break;
      default:
        line_ended = put_printable(im, ch, last && !newline_after);
        if (!last) line_ended = false;
        break;
    }
  }
  if (newline_after && !line_ended) newline();
}

void tab() {
  if (new_error.load()) return;
  img_struct* im = write_page;
  if (im->newline_pending) {
    newline();
    im->newline_pending = 0;
    return;
  }
  const int32_t columns = page_text_columns(im);
  put_printable(im, 32, false);
  while (im->cursor_column != 1 &&
         ((im->cursor_column - 1) % 14 != 0 || im->cursor_column > columns - 13) &&
         im->cursor_column < columns) {
    put_printable(im, 32, false);
  }
}

void makefit(kxs* s) {
  img_struct* im = write_page;
  if (im->newline_pending || im->cursor_column == 1) return;
  if (im->is_text) {
    if (static_cast<int64_t>(im->cursor_column) + s->len - 1 > im->width) newline();
    return;
  }
  const int64_t fw = font_cell_width(im->font);
  if ((im->cursor_column - 1) * fw + static_cast<int64_t>(s->len) * fw > im->width) newline();
}

kxs* func_tab(int32_t n) {
  if (new_error.load()) return kxs_new(0, 1);
  if (!in_16_bit_range(n)) {
    error(7);
    return kxs_new(0, 1);
  }
  const img_struct* im = write_page;
  const int32_t w = page_text_columns(im);
  if (n > w) n %= w;
  if (n < 1) n = 1;
  if (n < im->cursor_column) return spaces(n - 1, true);
  return spaces(n - im->cursor_column, false);
}

kxs* func_spc(int32_t n) {
  if (new_error.load()) return kxs_new(0, 1);
  if (!in_16_bit_range(n)) {
    error(7);
    return kxs_new(0, 1);
  }
  if (n < 0) n = 0;
  if (tab_spc_cr_size == 2) return spaces(n, false);
  const img_struct* im = write_page;
  const int32_t columns = page_text_columns(im);
  const int32_t left = columns - im->cursor_column + 1;
  n %= columns;
  if (n > left) {
    kxs* s = spaces(n - left, true);
    return s;
  }
  return spaces(n, false);
}

void sub_cls(int32_t method, uint32_t colour, int32_t passed) {
  if (new_error.load()) return;
  img_struct* im = write_page;
  const uint32_t c = (passed & 2) ? colour : im->background_color;
  if (im->bytes_per_pixel != 4 && c > im->color_mask) {
    error(5);
    return;
  }
  const bool method_given = passed & 1;
  if (method_given && (method < 0 || method > 2)) {
    error(5);
    return;
  }
  im->cursor_row = im->view_print_top;
  im->cursor_column = 1;
  im->newline_pending = 0;
  im->draw_ta = 0.0;
  im->draw_scale = 1.0;
  changed();

  if (im->is_text) {
    const uint8_t blank = attribute_of(im, c & 7);
    if (!method_given) {
      blank_text_rows(im, im->view_print_top, im->view_print_bottom, blank);
      blank_text_rows(im, im->height, im->height, blank);
    } else if (method == 0) {
      blank_text_rows(im, 1, im->height, blank);
    } else if (method == 2) {
      blank_text_rows(im, im->view_print_top, im->view_print_bottom, blank);
    }
    return;
  }

  // Fills on 32-bit pages write the colour as it stands.
  const uint8_t blend_was_off = im->blend_off;
  im->blend_off = 1;
  if (method_given && method == 2) {
    const int64_t fh = font_cell_height(im->font);
    fill_pixel_rows(im, (im->view_print_top - 1) * fh, im->view_print_bottom * fh - 1, c);
  } else if ((method_given && method == 0) || im->coord_mode == 0) {
    fill_pixel_rows(im, 0, im->height - 1, c);
  } else {
    kx32_boxfill(im->window_x1, im->window_y1, im->window_x2, im->window_y2, c);
  }
  im->blend_off = blend_was_off;
  if (!(method_given && method == 2)) {
    const float vw = static_cast<float>(im->view_x2 - im->view_x1 + 1);
    const float vh = static_cast<float>(im->view_y2 - im->view_y1 + 1);
    if (im->coord_mode == 2) {
      im->x = im->window_offset_x + (vw / im->window_scale_x) / 2.0f;
      im->y = im->window_offset_y + (vh / im->window_scale_y) / 2.0f;
    } else {
      im->x = vw / 2.0f;
      im->y = vh / 2.0f;
    }
  }
}

void kxg_sub_locate(int32_t row, int32_t column, int32_t cursor, int32_t start, int32_t stop, int32_t passed) {
  if (new_error.load()) return;
  img_struct* im = write_page;
  if (passed & 1) {
    const int32_t rows = page_text_rows(im);
    const bool row_ok = row >= im->view_print_top && (row <= im->view_print_bottom || row == rows);
    if (!row_ok) {
      // A program that has not touched the screen may address 50 rows: the
      // screen grows to 80 x 50 and keeps what it shows.
      const bool grow = width8050switch && row >= im->view_print_top && row <= 50 &&
                        (!(passed & 2) || (column >= 1 && column <= 80));
      width8050switch = 0;
      if (!grow) {
        error(5);
        return;
      }
      uint8_t saved[4000];
      std::memcpy(saved, cmem + cmem_text_pages, sizeof saved);
      const uint32_t fg = im->foreground_color;
      const uint32_t bg = im->background_color;
      kxsub_width(0, 80, 50, 3);
      if (new_error.load()) return;
      im = write_page;
      std::memcpy(cmem + cmem_text_pages, saved, sizeof saved);
      im->foreground_color = fg;
      im->background_color = bg;
    }
  }
  const int32_t columns = page_text_columns(im);
  if (((passed & 2) && (column < 1 || column > columns)) || ((passed & 4) && (cursor < 0 || cursor > 1)) ||
      ((passed & 8) && (start < 0 || start > 31 || stop < 0 || stop > 31))) {
    error(5);
    return;
  }
  if (passed & 1) im->cursor_row = static_cast<int16_t>(row);
  if (passed & 2) im->cursor_column = static_cast<int16_t>(column);
  if (passed & 3) im->newline_pending = 0;
  if (passed & 12) {
    if (im->flags & IMG_IS_SCREEN_PAGE) {
      for (int32_t i = 0; i < pages; ++i) {
        if (page[i]) set_cursor_shape(img_at(page[i]), passed, cursor, start, stop);
      }
    }
    set_cursor_shape(im, passed, cursor, start, stop);
  }
  changed();
}

void kxg_sub_view_print(int32_t top, int32_t bottom, int32_t passed) {
  if (new_error.load()) return;
  img_struct* im = write_page;
  const int32_t rows = page_text_rows(im);
  if (!passed) {
    top = 1;
    bottom = rows;
  } else if (top < 1 || top > bottom || bottom > rows) {
    error(5);
    return;
  }
  im->view_print_top = static_cast<int16_t>(top);
  im->view_print_bottom = static_cast<int16_t>(bottom);
  im->cursor_row = static_cast<int16_t>(top);
  im->cursor_column = 1;
  im->newline_pending = 0;
}

int32_t func_csrlin() { return write_page->cursor_row; }
int32_t func_pos(int32_t) { return write_page->cursor_column; }

std::string screen_row_text(int32_t row) {
  std::string text;
  img_struct* im = display_page.load();
  if (!im || !im->is_text || row < 1 || row > im->height) return text;
  for (int32_t c = 1; c <= im->width; ++c) text += static_cast<char>(cell(im, row, c)[0]);
  return text;
}
