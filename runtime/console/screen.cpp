// Screen modes: SCREEN, WIDTH, COLOR, PALETTE, PCOPY and SCREEN(), and the
// handshake that keeps the renderer off pages while they are replaced.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "frame/frame.h"

int32_t sub_screen_width_in_characters = -1;
int32_t sub_screen_height_in_characters = -1;
int32_t sub_screen_font = -1;
int32_t sub_screen_keep_page0 = 0;
int32_t width8050switch = 0;

std::atomic<int32_t> lock_display{0};
std::atomic<int32_t> screen_last_valid{0};

namespace {

int32_t last_active_page = 0;

constexpr uint32_t text_memory_bytes = 65536;

// The largest text geometry a window can show (a cell is at least 8 x 8 pixels).
constexpr int32_t max_text_columns = 1024;
constexpr int32_t max_text_rows = 1024;

bool handshake_needed() { return autodisplay.load() != 0 && lock_display_required.load() != 0; }

// Columns and rows of text a page holds.
void text_size_of(const img_struct* im, int32_t& columns, int32_t& rows) {
  if (im->is_text) {
    columns = im->width;
    rows = im->height;
  } else {
    columns = im->width / font_cell_width(im->font);
    rows = im->height / font_cell_height(im->font);
  }
}

void release_record(int32_t slot, bool with_palette) {
  img_struct* im = img_at(slot);
  if (im->flags & IMG_OWNS_PIXELS) std::free(im->pixels);
  if (with_palette && (im->flags & IMG_OWNS_PALETTE)) std::free(im->palette);
  freeimg(static_cast<uint32_t>(slot));
}

// Releases pages 1 and up of the current mode; a current surface among them
// falls back to page 0.
void release_other_pages() {
  for (int32_t i = 1; i < pages; ++i) {
    int32_t slot = page[i];
    if (!slot) continue;
    page[i] = 0;
    if (display_page_index == slot) set_display_page(page[0]);
    if (write_page_index == slot) set_write_page(page[0]);
    if (read_page_index == slot) set_read_page(page[0]);
    release_record(slot, true);
  }
}

// Frees every page of the old mode (a user image made the screen survives).
void release_mode() {
  for (int32_t i = 1; i < pages; ++i) {
    if (page[i]) release_record(page[i], true);
    page[i] = 0;
  }
  if (page[0]) {
    if (sub_screen_keep_page0) {
      img_at(page[0])->flags &= ~IMG_IS_SCREEN_PAGE;
    } else {
      release_record(page[0], true);
    }
  }
  sub_screen_keep_page0 = 0;
  pages = 1;
  page[0] = 0;
}

bool ensure_page_table(int32_t entries) {
  if (pages >= entries) return true;
  auto* grown = static_cast<int32_t*>(std::realloc(page, static_cast<size_t>(entries) * sizeof(int32_t)));
  if (!grown) return false;
  std::memset(grown + pages, 0, static_cast<size_t>(entries - pages) * sizeof(int32_t));
  page = grown;
  pages = entries;
  return true;
}

void make_current_everywhere(int32_t slot) {
  set_display_page(slot);
  set_write_page(slot);
  set_read_page(slot);
}

// Page 0 of a graphics mode; the screen cannot exist without it.
int32_t make_graphics_page(int32_t width, int32_t height, int32_t mode) {
  int32_t slot = imgnew(width, height, mode);
  if (!slot) error(502);
  return slot;
}

// The text geometry of the next SCREEN 0: the requests of WIDTH, or what the
// old screen showed when it is one of the kept sizes.
void choose_text_geometry(int32_t old_columns, int32_t old_rows, int32_t& x, int32_t& y, int32_t& f) {
  const bool want_x = sub_screen_width_in_characters != -1;
  const bool want_y = sub_screen_height_in_characters != -1;
  const bool want_f = sub_screen_font != -1;
  if (want_x && want_y && want_f) {
    x = sub_screen_width_in_characters;
    y = sub_screen_height_in_characters;
    f = sub_screen_font;
  } else if (want_x) {
    x = sub_screen_width_in_characters;
    y = 25;
    f = 16;
    if (old_rows == 43) {
      y = 43;
      f = 14;
    }
    if (old_rows == 50) {
      y = 50;
      f = 8;
    }
    if (x == 40) ++f;
  } else if (want_y) {
    y = sub_screen_height_in_characters;
    f = y == 43 ? 14 : y == 50 ? 8 : 16;
    x = 80;
    if (old_columns == 40) {
      x = 40;
      ++f;
    }
  } else {
    struct kept { int32_t columns, rows, font; };
    constexpr kept kept_sizes[] = {{80, 50, 8}, {40, 50, 9}, {80, 43, 8}, {40, 43, 9}, {40, 25, 17}};
    x = 80;
    y = 25;
    f = 16;
    for (const kept& k : kept_sizes) {
      if (old_columns == k.columns && old_rows == k.rows) {
        x = k.columns;
        y = k.rows;
        f = k.font;
      }
    }
  }
  sub_screen_width_in_characters = sub_screen_height_in_characters = sub_screen_font = -1;
  if (x == 40 && y == 25) f = 17;
  if (x == 80 && y == 25) f = 16;
}

// The eight text pages; those that fit lie in the text memory at 0xB8000.
void make_text_pages(int32_t x, int32_t y, int32_t f) {
  uint32_t bytes_per_page = static_cast<uint32_t>(x) * static_cast<uint32_t>(y) * 2;
  if (x == 40 && y == 25) bytes_per_page = 2048;
  if (x == 80 && y == 25) bytes_per_page = 4096;
  uint32_t in_memory = text_memory_bytes / bytes_per_page;
  if (in_memory > 8) in_memory = 8;
  if (!ensure_page_table(8)) {
    error(502);
    return;
  }
  for (uint32_t i = 0; i < 8; ++i) {
    int32_t slot = i < in_memory
                       ? imgframe(cmem + cmem_text_pages + i * bytes_per_page, x, y, 0)
                       : imgnew(x, y, 0);
    if (!slot) {
      error(502);
      return;
    }
    img_struct* im = img_at(slot);
    selectfont(f, im);
    im->flags |= IMG_IS_SCREEN_PAGE;
    page[i] = slot;
  }
  for (uint32_t i = 0; i < text_memory_bytes; i += 2) {
    cmem[cmem_text_pages + i] = 32;
    cmem[cmem_text_pages + i + 1] = 7;
  }
  make_current_everywhere(page[0]);
}

// Builds the pages of a new mode (or makes an image the screen).
void change_mode(int32_t mode) {
  int32_t old_columns = 0;
  int32_t old_rows = 0;
  if (page[0]) text_size_of(img_at(page[0]), old_columns, old_rows);
  release_mode();

  if (mode < 0) {
    int32_t slot = -mode;
    page[0] = slot;
    img_at(slot)->flags |= IMG_IS_SCREEN_PAGE;
    make_current_everywhere(slot);
    sub_screen_keep_page0 = 1;
  } else if (mode == 0) {
    int32_t x = 80, y = 25, f = 16;
    choose_text_geometry(old_columns, old_rows, x, y, f);
    make_text_pages(x, y, f);
  } else {
    int32_t slot = 0;
    switch (mode) {
      case 13:
        slot = imgframe(cmem + cmem_mode13_pixels, 320, 200, 13);
        if (!slot) error(502);
        std::memset(cmem + cmem_mode13_pixels, 0, 64000);
        break;
      case 12:
      case 11:
        slot = make_graphics_page(640, 480, mode);
        if (slot && old_columns == 80 && old_rows == 60) selectfont(8, img_at(slot));
        break;
      case 10:
      case 9:
        slot = make_graphics_page(640, 350, mode);
        if (slot && old_columns == 80 && old_rows == 43) selectfont(8, img_at(slot));
        break;
      case 8:
      case 2:
        slot = make_graphics_page(640, 200, mode);
        break;
      default:  // 7 and 1
        slot = make_graphics_page(320, 200, mode);
        break;
    }
    if (!slot) return;
    img_at(slot)->flags |= IMG_IS_SCREEN_PAGE;
    page[0] = slot;
    make_current_everywhere(slot);
  }
  if (!write_page) return;
  write_page->draw_ta = 0.0;
  write_page->draw_scale = 1.0;
  last_active_page = 0;
}

bool valid_mode_number(int32_t mode) { return mode >= 0 && mode <= 13 && (mode < 3 || mode > 6); }

// Colours of a page, kept over a reset.
struct kept_colours {
  uint32_t foreground, background;
  void restore(img_struct* im) const {
    im->foreground_color = foreground;
    im->background_color = background;
  }
};

kept_colours colours_of(const img_struct* im) {
  return {im->foreground_color, im->background_color};
}

// WIDTH on a page whose font changes but whose size stays: other pages go, the
// page is reset and gets the font.
void refont_page(uint32_t font, bool keep_window) {
  release_other_pages();
  img_struct* im = write_page;
  kept_colours colours = colours_of(im);
  float wx1 = im->window_x1, wy1 = im->window_y1, wx2 = im->window_x2, wy2 = im->window_y2;
  imgrevert(write_page_index);
  if (keep_window) {
    window_screen_form(im, wx1, wy1, wx2, wy2);
    im->coord_mode = 0;
  }
  colours.restore(im);
  selectfont(static_cast<int32_t>(font), im);
  screen_last_valid.store(0);
}

// WIDTH on a 32-bit or 256-colour image: a new pixel size.
void resize_image_page(int32_t columns, int32_t rows, int32_t passed) {
  img_struct* im = write_page;
  int64_t w = im->width;
  int64_t h = im->height;
  if (passed & 1) {
    if (columns < 1) {
      error(5);
      return;
    }
    w = static_cast<int64_t>(columns) * font_cell_width(im->font);
  }
  if (passed & 2) {
    if (rows < 1) {
      error(5);
      return;
    }
    h = static_cast<int64_t>(rows) * font_cell_height(im->font);
  }
  if (w > 65535 || h > 65535) {
    error(5);
    return;
  }
  if (w == im->width && h == im->height) return;
  const bool screen_page = im->flags & IMG_IS_SCREEN_PAGE;
  if (screen_page) release_other_pages();
  im = write_page;  // the write page may have been one of them
  size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * im->bytes_per_pixel;
  auto* pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!pixels) {
    error(7);
    return;
  }
  bool taken = screen_page && acquire_display_lock();
  kept_colours colours = colours_of(im);
  uint32_t font = im->font;
  std::free(im->pixels);
  im->pixels = pixels;
  im->flags |= IMG_OWNS_PIXELS;
  im->width = static_cast<uint16_t>(w);
  im->height = static_cast<uint16_t>(h);
  imgrevert(write_page_index);
  colours.restore(im);
  selectfont(static_cast<int32_t>(font), im);
  screen_last_valid.store(0);
  release_display_lock(taken);
}

// WIDTH in text mode: requests the geometry and rebuilds the text screen.
void width_text(int32_t columns, int32_t rows, int32_t passed) {
  const img_struct* im = write_page;
  if (!(passed & 1)) columns = im->width;
  if (!(passed & 2)) rows = im->height;
  if (columns < 1 || rows < 1 || columns > max_text_columns || rows > max_text_rows) {
    error(5);
    return;
  }
  int32_t f = rows >= 50 ? 8 : rows >= 43 ? 14 : 16;
  if (columns <= 40) ++f;
  if (im->font == static_cast<uint32_t>(f) && im->width == columns && im->height == rows) return;
  sub_screen_width_in_characters = columns;
  sub_screen_height_in_characters = rows;
  sub_screen_font = f;
  kxg_screen(0, 0, 0, 0, 0, 1);
}

// WIDTH in a graphics mode that switches to the text screen; false when the
// arguments name no text geometry.
bool width_to_text_screen(int32_t columns, int32_t rows, int32_t passed) {
  const bool cols_ok = columns == 40 || columns == 80;
  const bool rows_ok = rows == 25 || rows == 43 || rows == 50;
  if (passed == 1 && cols_ok) {
    sub_screen_width_in_characters = columns;
  } else if (passed == 3 && cols_ok && rows_ok) {
    int32_t f = rows == 43 ? 14 : rows == 50 ? 8 : 16;
    if (columns == 40) ++f;
    sub_screen_width_in_characters = columns;
    sub_screen_height_in_characters = rows;
    sub_screen_font = f;
  } else if (passed == 2 && rows_ok) {
    sub_screen_height_in_characters = rows;
  } else {
    return false;
  }
  kxg_screen(0, 0, 0, 0, 0, 1);
  return true;
}

// WIDTH in a graphics mode with 8-pixel columns; true when it applied.
bool width_graphics(int32_t columns, int32_t rows, int32_t passed) {
  img_struct* im = write_page;
  const int32_t mode = im->screen_mode;
  if ((passed & 1) && static_cast<int64_t>(columns) * 8 != im->width) return false;
  if (mode == 1 || mode == 2 || mode == 7 || mode == 8 || mode == 13) {
    if ((passed & 2) && static_cast<int64_t>(rows) * 8 != im->height) return false;
    if (im->font != 8) refont_page(8, false);
    return true;
  }
  const uint32_t tall = (mode == 9 || mode == 10) ? 14 : 16;
  uint32_t font = 0;
  if (passed & 2) {
    int64_t r64 = rows;
    if (r64 * 8 == im->height) {
      font = 8;
    } else if (r64 * tall == im->height) {
      font = tall;
    } else if (rows == 43 && im->height == 350) {
      font = 8;
    }
  } else {
    font = im->font > 8 ? tall : 8;
  }
  if (!font) return false;
  if (font != im->font) refont_page(font, true);
  return true;
}

// Six-bit DAC components 0x00BBGGRR to 0xFFRRGGBB.
uint32_t dac_colour(uint32_t colour) {
  auto component = [](uint32_t v) {
    double scaled = std::nearbyint(v * 4.0634918212890625 - 0.49999991059303284);
    if (scaled < 0) scaled = 0;
    if (scaled > 255) scaled = 255;
    return static_cast<uint32_t>(scaled);
  };
  uint32_t red = component(colour & 0x3F);
  uint32_t green = component((colour >> 8) & 0x3F);
  uint32_t blue = component((colour >> 16) & 0x3F);
  return 0xFF000000u | red << 16 | green << 8 | blue;
}

// The slot of a PCOPY operand, or 0 after raising error 5.
int32_t pcopy_operand(int32_t n) {
  if (n >= 0) return validatepage(n);
  int64_t slot = -static_cast<int64_t>(n);
  if (slot >= nextimg || !img_at(static_cast<int32_t>(slot))->in_use) {
    error(5);
    return 0;
  }
  return static_cast<int32_t>(slot);
}

}  // namespace

bool acquire_display_lock() {
  if (!handshake_needed()) return false;
  int32_t expected = 0;
  lock_display.compare_exchange_strong(expected, 1);
  // The main thread grants within a frame; during shutdown it no longer renders.
  while (lock_display.load() != 2 && !stop_program.load()) kx_sleep(0);
  return true;
}

void release_display_lock(bool taken) {
  if (taken) lock_display.store(0);
}

void selectfont(int32_t handle, img_struct* im) {
  im->font = static_cast<uint32_t>(handle);
  im->cursor_column = 1;
  im->cursor_row = 1;
  im->view_print_top = 1;
  int32_t rows = im->is_text ? im->height : im->height / font_cell_height(im->font);
  im->view_print_bottom = static_cast<int16_t>(rows - 1 < 1 ? 1 : rows - 1);
}

void defaultcolors() {
  img_struct* im = write_page;
  im->foreground_color = 15;
  im->background_color = 0;
  switch (im->screen_mode) {
    case 0: im->foreground_color = 7; break;
    case 1: case 10: im->foreground_color = 3; break;
    case 2: case 11: im->foreground_color = 1; break;
    case 32:
      im->foreground_color = 0xFFFFFFFF;
      im->background_color = 0xFF000000;
      break;
    default: break;
  }
  im->graphics_color = im->foreground_color;
}

void kxg_screen(int32_t mode, int32_t, int32_t apage, int32_t vpage, int32_t, int32_t passed) {
  if (new_error.load()) return;
  if (!(passed == 1 && mode == 0)) width8050switch = 0;

  const bool mode_given = passed & 1;
  const bool apage_given = passed & 4;
  bool vpage_given = passed & 8;
  bool mode_change = false;
  bool page_change = false;

  if (mode_given) {
    if (mode < 0) {
      int64_t slot = -static_cast<int64_t>(mode);
      if (slot >= nextimg || !img_at(static_cast<int32_t>(slot))->in_use) {
        error(258);
        return;
      }
      // Another page of this screen shares page 0's palette and goes with it.
      if (slot != page[0] && (img_at(static_cast<int32_t>(slot))->flags & IMG_IS_SCREEN_PAGE)) {
        error(5);
        return;
      }
      mode_change = slot != page[0];
    } else {
      if (!valid_mode_number(mode)) {
        error(5);
        return;
      }
      mode_change = page[0] == 0 || img_at(page[0])->screen_mode != mode ||
                    sub_screen_width_in_characters != -1 || sub_screen_height_in_characters != -1 ||
                    sub_screen_font != -1;
    }
  }
  if (apage_given) {
    if (apage < 0) {
      error(5);
      return;
    }
    if (!vpage_given) {
      vpage = apage;
      vpage_given = true;
    }
    if (!mode_change) {
      int32_t slot = validatepage(apage);
      if (!slot) return;
      if (slot != read_page_index || slot != write_page_index) page_change = true;
    }
  }
  if (vpage_given) {
    if (vpage < 0) {
      error(5);
      return;
    }
    if (!mode_change) {
      int32_t slot = validatepage(vpage);
      if (!slot) return;
      if (slot != display_page_index) page_change = true;
    }
  }
  if (!mode_change && !page_change) return;

  bool taken = mode_change && acquire_display_lock();
  screen_last_valid.store(0);

  if (mode_change) change_mode(mode);

  if (apage_given && !new_error.load()) {
    int32_t slot = validatepage(apage);
    if (slot && (slot != write_page_index || slot != read_page_index)) {
      const img_struct* previous = write_page;
      set_write_page(slot);
      set_read_page(slot);
      defaultcolors();
      if (apage != last_active_page) {
        if (!write_page->is_text && previous != write_page) copy_page_state(write_page, previous);
        last_active_page = apage;
      }
    }
  }
  if (vpage_given && !new_error.load()) {
    int32_t slot = validatepage(vpage);
    if (slot && slot != display_page_index) {
      set_display_page(slot);
      defaultcolors();
    }
  }
  if (taken || handshake_needed()) lock_display.store(0);
}

void kxsub_width(int32_t device, int32_t columns, int32_t rows, int32_t passed) {
  if (new_error.load()) return;
  width8050switch = 0;
  if (device != 0 || (passed & 3) == 0) {
    error(5);
    return;
  }
  passed &= 3;
  const int32_t mode = write_page->screen_mode;
  if (mode == 32 || mode == 256) {
    resize_image_page(columns, rows, passed);
    return;
  }
  if (mode == 0) {
    width_text(columns, rows, passed);
    return;
  }
  if ((passed & 1) && columns < 1) {
    error(5);
    return;
  }
  if ((passed & 2) && rows < 1) {
    error(5);
    return;
  }
  if (width_graphics(columns, rows, passed)) return;
  if (!width_to_text_screen(columns, rows, passed)) error(5);
}

void kxg_sub_color(uint32_t foreground, uint32_t background, uint32_t border, int32_t passed) {
  (void)border;
  if (new_error.load() || (passed & 7) == 0) return;
  img_struct* im = write_page;
  const int32_t mode = im->screen_mode;
  if ((passed & 4) && mode != 0) {
    error(5);
    return;
  }
  const bool fg = passed & 1;
  const bool bg = passed & 2;
  // Limits of the two arguments; 0 means any value.
  uint64_t fg_limit = 0;
  uint64_t bg_limit = 0;
  switch (mode) {
    case 32: break;
    case 256: case 13: fg_limit = bg_limit = 256; break;
    case 12: fg_limit = bg_limit = 16; break;
    case 11: fg_limit = bg_limit = 2; break;
    case 10: fg_limit = 4; bg_limit = 9; break;
    case 9: fg_limit = 16; bg_limit = 64; break;
    case 8: case 7: fg_limit = bg_limit = 16; break;
    case 2: fg_limit = 2; bg_limit = 16; break;
    case 1: fg_limit = 16; bg_limit = 0; break;
    case 0: fg_limit = 32; bg_limit = 16; break;
    default: break;
  }
  if ((fg && fg_limit && foreground >= fg_limit) || (bg && bg_limit && background >= bg_limit)) {
    error(5);
    return;
  }
  switch (mode) {
    case 10:
      if (fg) im->foreground_color = foreground;
      if (bg) im->palette[4] = background;
      break;
    case 9:
      if (fg) im->foreground_color = foreground;
      if (bg) im->palette[0] = palette_64[background];
      break;
    case 8: case 7: case 2:
      if (fg) im->foreground_color = foreground;
      if (bg) im->palette[0] = palette_256[background];
      break;
    case 1:
      if (fg) im->palette[0] = palette_256[foreground];
      if (bg) {
        const int first = (background & 1) ? 3 : 2;
        for (int i = 0; i < 3; ++i) im->palette[1 + i] = palette_256[first + i * 2];
      }
      break;
    case 0:
      if (fg) im->foreground_color = foreground;
      if (bg) im->background_color = background & 7;
      break;
    default:  // 32-bit, 256-colour, 13, 12 and 11 keep the values as they are
      if (fg) im->foreground_color = foreground;
      if (bg) im->background_color = background;
      break;
  }
  screen_last_valid.store(0);
}

void kxg_palette(uint32_t attribute, uint32_t colour, int32_t passed) {
  if (new_error.load()) return;
  img_struct* im = write_page;
  if (!passed) {
    restorepalette(im);
    screen_last_valid.store(0);
    return;
  }
  if (im->screen_mode == 32 || !im->palette) {
    error(5);
    return;
  }
  attribute &= 0xFF;
  uint32_t* pal = im->palette;
  switch (im->screen_mode) {
    case 13: case 256: case 12: case 11: {
      uint32_t limit = im->screen_mode == 12 ? 16 : im->screen_mode == 11 ? 2 : 256;
      if (attribute >= limit || (colour & ~0x3F3F3Fu)) {
        error(5);
        return;
      }
      pal[attribute] = dac_colour(colour);
      break;
    }
    case 10:
      if (attribute >= 4 || colour >= 9) {
        error(5);
        return;
      }
      pal[attribute + 4] = colour;
      break;
    case 9: case 0:
      if (attribute >= 16 || colour >= 64) {
        error(5);
        return;
      }
      pal[attribute] = palette_64[colour];
      break;
    case 8: case 7: case 1: case 2:
      if (attribute >= (im->screen_mode == 2 ? 2u : 16u) || colour >= 16) {
        error(5);
        return;
      }
      pal[attribute] = palette_256[colour];
      break;
    default:
      error(5);
      return;
  }
  screen_last_valid.store(0);
}

void sub_pcopy(int32_t source, int32_t destination) {
  if (new_error.load()) return;
  int32_t from = pcopy_operand(source);
  if (!from) return;
  int32_t to = pcopy_operand(destination);
  if (!to) return;
  if (from == to) return;
  const img_struct* src = img_at(from);
  img_struct* dst = img_at(to);
  if (src->bytes_per_pixel != dst->bytes_per_pixel || src->width != dst->width ||
      src->height != dst->height ||
      (src->bytes_per_pixel == 1 && src->color_mask > dst->color_mask)) {
    error(5);
    return;
  }
  std::memmove(dst->pixels, src->pixels, image_bytes(src));
  screen_last_valid.store(0);
}

uint32_t func_screen(int32_t row, int32_t column, int32_t colorflag, int32_t passed) {
  if (new_error.load()) return 0;
  if (!(passed & 1)) colorflag = 0;
  const img_struct* im = read_page;
  if (im->is_text) {
    if (row < 1 || row > im->height || column < 1 || column > im->width) {
      error(5);
      return 0;
    }
    const uint8_t* cell =
        im->pixels + (static_cast<size_t>(row - 1) * im->width + static_cast<size_t>(column - 1)) * 2;
    return colorflag ? cell[1] : cell[0];
  }
  const uint32_t font = im->font;
  if (font != 8 && font != 14 && font != 16) {
    error(5);
    return 0;
  }
  const int32_t rows = im->height / static_cast<int32_t>(font);
  const int32_t columns = im->width / 8;
  if (row < 1 || row > rows || column < 1 || column > columns) {
    error(5);
    return 0;
  }
  uint8_t pattern[16 * 8];
  uint32_t first_colour = 0;
  bool any = false;
  const size_t x0 = static_cast<size_t>(column - 1) * 8;
  const size_t y0 = static_cast<size_t>(row - 1) * font;
  for (uint32_t gy = 0; gy < font; ++gy) {
    for (size_t gx = 0; gx < 8; ++gx) {
      const size_t at = ((y0 + gy) * im->width + x0 + gx) * im->bytes_per_pixel;
      uint32_t c;
      if (im->bytes_per_pixel == 4) {
        std::memcpy(&c, im->pixels + at, 4);
      } else {
        c = im->pixels[at];
      }
      pattern[gy * 8 + gx] = c ? 0xFF : 0;
      if (c && !any) {
        any = true;
        first_colour = c;
      }
    }
  }
  if (!any) return colorflag ? 1 : 32;
  const size_t glyph_bytes = font * 8;
  for (uint32_t ch = 0; ch < 256; ++ch) {
    const uint8_t* glyph = font == 8 ? charset8x8 + ch * 64
                         : font == 14 ? charset8x16 + ch * 128 + 8
                                      : charset8x16 + ch * 128;
    if (std::memcmp(pattern, glyph, glyph_bytes) == 0) return colorflag ? first_colour : ch;
  }
  return colorflag ? 0 : 32;
}
