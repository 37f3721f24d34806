// Image records and pages: the table of records with its free slots, the page
// table, the current surfaces, handle resolution, and the making and releasing
// of images (_NEWIMAGE, _COPYIMAGE, _FREEIMAGE, _SOURCE, _DEST and the sizes).
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "console/console.h"
#include "frame/frame.h"
#include "graphics/graphics.h"

img_struct* img_blocks[img_max_blocks];
int32_t nimg = 0;
int32_t nextimg = 0;
int32_t lastfimg = -1;

int32_t* page = nullptr;
int32_t pages = 0;

std::atomic<img_struct*> display_page{nullptr};
int32_t display_page_index = 0;
img_struct* write_page = nullptr;
int32_t write_page_index = 0;
img_struct* read_page = nullptr;
int32_t read_page_index = 0;

namespace {

// Released slots, reused last-released-first.
std::vector<int32_t> fimg;

// Per-mode defaults of a new record.
struct mode_defaults {
  uint16_t mode;
  uint8_t is_text;
  uint8_t bits_per_pixel;
  uint8_t bytes_per_pixel;
  uint32_t font;
  uint32_t foreground;
  uint32_t background;
};

constexpr mode_defaults mode_table[] = {
    {0, 1, 16, 2, 16, 7, 0},     {1, 0, 2, 1, 8, 3, 0},      {2, 0, 1, 1, 8, 1, 0},
    {7, 0, 4, 1, 8, 15, 0},      {8, 0, 4, 1, 8, 15, 0},     {9, 0, 4, 1, 14, 15, 0},
    {10, 0, 2, 1, 14, 3, 0},     {11, 0, 1, 1, 16, 1, 0},    {12, 0, 4, 1, 16, 15, 0},
    {13, 0, 8, 1, 8, 15, 0},     {256, 0, 8, 1, 16, 15, 0},
    {32, 0, 32, 4, 16, 0xFFFFFFFF, 0xFF000000},
};

const mode_defaults* defaults_of(int32_t mode) {
  for (const mode_defaults& d : mode_table) {
    if (d.mode == mode) return &d;
  }
  return nullptr;
}

// Cells of a cleared text surface: character 32, attribute 7.
void clear_text_cells(uint8_t* cells, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    cells[i * 2] = 32;
    cells[i * 2 + 1] = 7;
  }
}

// The record's per-mode defaults, palette, colour mask, text cursor and
// VIEW PRINT rows. False for a mode that does not exist or a palette that
// cannot be had.
bool apply_mode_defaults(img_struct* im, int32_t mode) {
  const mode_defaults* d = defaults_of(mode);
  if (!d) return false;
  im->is_text = d->is_text;
  im->bits_per_pixel = d->bits_per_pixel;
  im->bytes_per_pixel = d->bytes_per_pixel;
  im->font = d->font;
  im->foreground_color = d->foreground;
  im->background_color = d->background;
  if (d->is_text) {
    im->cursor_visible = 0;
    im->cursor_start_line = 4;
    im->cursor_stop_line = 4;
  }
  im->graphics_color = im->foreground_color;
  if (mode != 32) {
    if (!im->palette) {
      im->palette = static_cast<uint32_t*>(std::calloc(256, sizeof(uint32_t)));
      if (!im->palette) return false;
      im->flags |= IMG_OWNS_PALETTE;
    }
    restorepalette(im);
    im->clear_color = -1;
  }
  im->color_mask = im->bits_per_pixel >= 32 ? 0xFFFFFFFFu : (1u << im->bits_per_pixel) - 1;
  im->cursor_column = 1;
  im->cursor_row = 1;
  im->view_print_top = 1;
  int32_t rows = im->is_text ? im->height : im->height / static_cast<int32_t>(im->font);
  im->view_print_bottom = static_cast<int16_t>(rows - 1 < 1 ? 1 : rows - 1);
  return true;
}

// Graphics cursor, VIEW and WINDOW of a whole page.
void reset_page_geometry(img_struct* im) {
  im->x = static_cast<float>(im->width) / 2.0f;
  im->y = static_cast<float>(im->height) / 2.0f;
  im->view_x2 = im->width - 1;
  im->view_y2 = im->height - 1;
  im->window_scale_x = im->window_scale_y = 1.0f;
  im->window_x2 = static_cast<float>(im->view_x2);
  im->window_y2 = static_cast<float>(im->view_y2);
}

// Releases the slot of a record whose making failed, with the blocks it owns.
void discard_record(int32_t slot) {
  img_struct* im = img_at(slot);
  if (im->flags & IMG_OWNS_PIXELS) std::free(im->pixels);
  if (im->flags & IMG_OWNS_PALETTE) std::free(im->palette);
  freeimg(static_cast<uint32_t>(slot));
}

bool valid_image_slot(int64_t slot) {
  return slot > 0 && slot < nextimg && img_at(static_cast<int32_t>(slot))->in_use;
}

}  // namespace

void copy_page_state(img_struct* dest, const img_struct* src) {
  constexpr size_t begin = offsetof(img_struct, page_state_begin);
  constexpr size_t end = offsetof(img_struct, page_state_end);
  std::memcpy(reinterpret_cast<uint8_t*>(dest) + begin,
              reinterpret_cast<const uint8_t*>(src) + begin, end - begin);
}

void set_display_page(int32_t slot) {
  display_page_index = slot;
  display_page.store(img_at(slot));
}

void set_write_page(int32_t slot) {
  write_page_index = slot;
  write_page = img_at(slot);
}

void set_read_page(int32_t slot) {
  read_page_index = slot;
  read_page = img_at(slot);
}

void init_image_table() {
  // Started again (tests do): the blocks that live records own go first.
  for (int32_t slot = 0; slot < nextimg; ++slot) {
    img_struct* im = img_at(slot);
    if (!im->in_use) continue;
    if (im->flags & IMG_OWNS_PIXELS) std::free(im->pixels);
    if (im->flags & IMG_OWNS_PALETTE) std::free(im->palette);
  }
  for (int32_t block = 1; block < img_max_blocks && img_blocks[block]; ++block) {
    std::free(img_blocks[block]);
    img_blocks[block] = nullptr;
  }
  if (!img_blocks[0]) {
    img_blocks[0] = static_cast<img_struct*>(std::calloc(img_block_records, sizeof(img_struct)));
    if (!img_blocks[0]) error(502);
  } else {
    std::memset(img_blocks[0], 0, img_block_records * sizeof(img_struct));
  }
  nimg = img_block_records;
  nextimg = 0;
  lastfimg = -1;
  fimg.assign(4096, 0);
  if (!page) page = static_cast<int32_t*>(std::calloc(1, sizeof(int32_t)));
  pages = 1;
  page[0] = 0;
  // Slots 0 and 1 are never handed out: handle 0 is page 0 and -1 means failure.
  img_at(newimg())->in_use = 0;
  img_at(newimg())->in_use = 0;
}

int32_t newimg() {
  int32_t slot;
  if (lastfimg != -1) {
    slot = fimg[static_cast<size_t>(lastfimg--)];
  } else {
    if (nextimg >= nimg) {
      int32_t block = nimg / img_block_records;
      if (block >= img_max_blocks) {
        error(502);
        return 0;
      }
      img_blocks[block] =
          static_cast<img_struct*>(std::calloc(img_block_records, sizeof(img_struct)));
      if (!img_blocks[block]) {
        error(502);
        return 0;
      }
      nimg += img_block_records;
    }
    slot = nextimg++;
  }
  img_at(slot)->in_use = 1;
  return slot;
}

int32_t freeimg(uint32_t slot) {
  if (slot >= static_cast<uint32_t>(nimg) || !img_at(static_cast<int32_t>(slot))->in_use) return 0;
  if (static_cast<size_t>(lastfimg + 1) >= fimg.size()) {
    try {
      fimg.resize(fimg.size() + 4096);
    } catch (const std::bad_alloc&) {
      error(503);
      return 0;
    }
  }
  std::memset(static_cast<void*>(img_at(static_cast<int32_t>(slot))), 0, sizeof(img_struct));
  fimg[static_cast<size_t>(++lastfimg)] = static_cast<int32_t>(slot);
  return 1;
}

int32_t imgframe(uint8_t* pixels, int32_t width, int32_t height, int32_t mode) {
  if (width < 1 || height < 1 || width > 65535 || height > 65535) return 0;
  if (!defaults_of(mode)) return 0;
  int32_t slot = newimg();
  if (!slot) return 0;
  img_struct* im = img_at(slot);
  im->pixels = pixels;
  im->width = static_cast<uint16_t>(width);
  im->height = static_cast<uint16_t>(height);
  im->screen_mode = static_cast<uint16_t>(mode);
  im->print_mode = 3;
  im->draw_ta = 0.0;
  im->draw_scale = 1.0;
  if (!apply_mode_defaults(im, mode)) {
    discard_record(slot);
    return 0;
  }
  if (!im->is_text) {
    reset_page_geometry(im);
    im->view_x1 = im->view_y1 = 0;
    im->window_x1 = im->window_y1 = 0.0f;
    im->coord_mode = 0;
  }
  return slot;
}

size_t image_bytes(const img_struct* im) {
  return static_cast<size_t>(im->width) * im->height * im->bytes_per_pixel;
}

int32_t imgnew(int32_t width, int32_t height, int32_t mode) {
  int32_t slot = imgframe(nullptr, width, height, mode);
  if (!slot) return 0;
  img_struct* im = img_at(slot);
  if (mode == 32) init_blend();
  size_t bytes = image_bytes(im);
  if (im->is_text) {
    im->pixels = static_cast<uint8_t*>(std::malloc(bytes));
    if (im->pixels) clear_text_cells(im->pixels, bytes / 2);
  } else {
    im->pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
  }
  if (!im->pixels) {
    discard_record(slot);
    return 0;
  }
  im->flags |= IMG_OWNS_PIXELS;
  return slot;
}

void imgrevert(int32_t slot) {
  img_struct* im = img_at(slot);
  im->bytes_per_pixel = 1;
  im->font = 16;
  im->foreground_color = 15;
  im->print_mode = 3;
  im->background_color = 0;
  im->draw_ta = 0.0;
  im->draw_scale = 1.0;
  apply_mode_defaults(im, im->screen_mode);
  if (im->is_text) return;
  reset_page_geometry(im);
  // The kept view corners and offsets must still lie on the resized page.
  if (im->view_x1 > im->view_x2 || im->view_y1 > im->view_y2) {
    im->view_x1 = im->view_y1 = 0;
    im->view_offset_x = im->view_offset_y = 0;
  }
  if (im->pixels) std::memset(im->pixels, 0, image_bytes(im));
}

void restorepalette(img_struct* im) {
  uint32_t* pal = im->palette;
  if (!pal) return;
  switch (im->screen_mode) {
    case 1:
      pal[0] = palette_256[0];
      pal[1] = palette_256[3];
      pal[2] = palette_256[5];
      pal[3] = palette_256[7];
      break;
    case 2:
    case 11:
      pal[0] = 0x00000000;
      pal[1] = 0x00FFFFFF;
      break;
    case 9:
      for (int i = 0; i <= 5; ++i) pal[i] = palette_64[i];
      pal[6] = palette_64[20];
      pal[7] = palette_64[7];
      for (int i = 8; i <= 15; ++i) pal[i] = palette_64[48 + i];
      break;
    case 10:
      pal[4] = 0;
      pal[5] = 4;
      pal[6] = 6;
      pal[7] = 8;
      break;
    case 13:
    case 256:
      std::memcpy(pal, palette_256, 256 * sizeof(uint32_t));
      break;
    case 0:
    case 7:
    case 8:
    case 12:
      std::memcpy(pal, palette_256, 16 * sizeof(uint32_t));
      break;
    default:
      break;
  }
}

int32_t validatepage(int32_t n) {
  if (n < 0 || n > max_page_number) {
    error(5);
    return 0;
  }
  if (n >= pages) {
    auto* grown = static_cast<int32_t*>(std::realloc(page, (static_cast<size_t>(n) + 1) * sizeof(int32_t)));
    if (!grown) {
      error(7);
      return 0;
    }
    std::memset(grown + pages, 0, (static_cast<size_t>(n) + 1 - static_cast<size_t>(pages)) * sizeof(int32_t));
    page = grown;
    pages = n + 1;
  }
  if (page[n]) return page[n];
  const img_struct* first = img_at(page[0]);
  int32_t slot = imgnew(first->width, first->height, first->screen_mode);
  if (!slot) {
    error(7);
    return 0;
  }
  img_struct* im = img_at(slot);
  first = img_at(page[0]);
  if (im->screen_mode != 32) {
    std::free(im->palette);
    im->flags &= ~IMG_OWNS_PALETTE;
    im->palette = first->palette;
  }
  im->flags |= IMG_IS_SCREEN_PAGE;
  selectfont(first->font, im);
  page[n] = slot;
  return slot;
}

void freeallimages() {
  for (int32_t slot = 2; slot < nextimg; ++slot) {
    const img_struct* im = img_at(slot);
    if (im->in_use && !(im->flags & IMG_IS_SCREEN_PAGE)) sub__freeimage(-slot, 1);
  }
}

int32_t resolve_image_handle(int32_t handle, int32_t passed) {
  if (!passed) return write_page_index;
  if (handle < 0) {
    int64_t slot = -static_cast<int64_t>(handle);
    if (!valid_image_slot(slot)) {
      error(258);
      return 0;
    }
    return static_cast<int32_t>(slot);
  }
  return validatepage(handle);
}

int32_t func__newimage(int32_t width, int32_t height, int32_t mode, int32_t passed) {
  if (new_error.load()) return 0;
  if (width <= 0 || height <= 0) {
    error(5);
    return 0;
  }
  bool mode_given = passed & 1;
  if (mode_given) {
    if (!defaults_of(mode) || (mode >= 3 && mode <= 6)) {
      error(5);
      return 0;
    }
  } else {
    mode = write_page->screen_mode;
  }
  int32_t slot = imgnew(width, height, mode);
  if (!slot) return -1;
  if (!mode_given) {
    img_struct* im = img_at(slot);
    if (write_page->palette && im->palette) {
      std::memcpy(im->palette, write_page->palette, 256 * sizeof(uint32_t));
    }
    selectfont(write_page->font, im);
    im->foreground_color = write_page->foreground_color;
    im->background_color = write_page->background_color;
    im->clear_color = write_page->clear_color;
    im->blend_off = write_page->blend_off;
    im->print_mode = write_page->print_mode;
  }
  return -slot;
}

int32_t func__copyimage(int32_t handle, int32_t passed) {
  if (new_error.load()) return 0;
  int32_t source = resolve_image_handle(handle, passed & 1);
  if (!source) return 0;
  int32_t slot = newimg();
  if (!slot) return -1;
  img_struct* copy = img_at(slot);
  const img_struct* src = img_at(source);
  std::memcpy(static_cast<void*>(copy), src, sizeof(img_struct));
  copy->flags = 0;
  copy->pixels = nullptr;
  copy->palette = nullptr;
  size_t bytes = image_bytes(src);
  copy->pixels = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
  if (!copy->pixels) {
    discard_record(slot);
    return -1;
  }
  std::memcpy(copy->pixels, src->pixels, bytes);
  copy->flags |= IMG_OWNS_PIXELS;
  if (src->palette) {
    copy->palette = static_cast<uint32_t*>(std::malloc(256 * sizeof(uint32_t)));
    if (!copy->palette) {
      discard_record(slot);
      return -1;
    }
    std::memcpy(copy->palette, src->palette, 256 * sizeof(uint32_t));
    copy->flags |= IMG_OWNS_PALETTE;
  }
  return -slot;
}

void sub__freeimage(int32_t handle, int32_t passed) {
  if (new_error.load()) return;
  int32_t slot;
  if (passed & 1) {
    if (handle >= 0) {
      error(5);
      return;
    }
    slot = resolve_image_handle(handle, 1);
    if (!slot) return;
  } else {
    slot = write_page_index;
  }
  img_struct* im = img_at(slot);
  if (im->flags & IMG_IS_SCREEN_PAGE) {
    error(5);
    return;
  }
  if (slot == write_page_index) set_write_page(display_page_index);
  if (slot == read_page_index) set_read_page(display_page_index);
  discard_record(slot);
}

void sub__source(int32_t handle) {
  if (new_error.load()) return;
  int32_t slot = resolve_image_handle(handle, 1);
  if (slot) set_read_page(slot);
}

void sub__dest(int32_t handle) {
  if (new_error.load()) return;
  int32_t slot = resolve_image_handle(handle, 1);
  if (slot) set_write_page(slot);
}

int32_t func__source() { return -read_page_index; }
int32_t func__dest() { return -write_page_index; }
int32_t func__display() { return -display_page_index; }

int32_t func__width(int32_t handle, int32_t passed) {
  if (new_error.load()) return 0;
  int32_t slot = resolve_image_handle(handle, passed & 1);
  return slot ? img_at(slot)->width : 0;
}

int32_t func__height(int32_t handle, int32_t passed) {
  if (new_error.load()) return 0;
  int32_t slot = resolve_image_handle(handle, passed & 1);
  return slot ? img_at(slot)->height : 0;
}

int32_t func__pixelsize(int32_t handle, int32_t passed) {
  if (new_error.load()) return 0;
  int32_t slot = resolve_image_handle(handle, passed & 1);
  if (!slot) return 0;
  const img_struct* im = img_at(slot);
  if (im->screen_mode == 32) return 4;
  if (im->screen_mode == 0) return 0;
  return 1;
}
