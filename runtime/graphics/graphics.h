// Graphics: the image records that every page and off-screen image is, the
// table they live in, the current surfaces and image handles.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// ---- The image record ----
constexpr uint32_t IMG_OWNS_PALETTE = 1;
constexpr uint32_t IMG_IS_SCREEN_PAGE = 2;
constexpr uint32_t IMG_OWNS_PIXELS = 4;

struct img_struct {
  uint8_t in_use;
  uint8_t is_text;
  uint16_t width;   // pixels, or columns of a text surface
  uint16_t height;  // pixels, or rows of a text surface
  uint8_t bytes_per_pixel;  // 1 indexed, 2 text cell, 4 for 32-bit
  uint8_t bits_per_pixel;
  uint32_t color_mask;
  uint16_t screen_mode;  // a SCREEN mode, 256 (8-bit image) or 32 (32-bit image)
  uint32_t foreground_color;
  uint32_t background_color;
  uint32_t graphics_color;
  uint32_t font;
  int16_t view_print_top;
  int16_t view_print_bottom;
  int16_t cursor_column;
  int16_t cursor_row;
  uint8_t cursor_visible;
  uint8_t cursor_start_line;
  uint8_t cursor_stop_line;
  uint8_t* pixels;
  uint32_t flags;
  uint32_t* palette;  // 256 entries 0xAARRGGBB; null for 32-bit images
  int32_t clear_color;
  uint8_t blend_off;
  uint8_t newline_pending;
  uint8_t print_mode;
  // The page state: copied as one block from the previous active page to the
  // new one when SCREEN changes the active page of a graphics screen.
  uint8_t page_state_begin;
  int32_t view_x1, view_y1, view_x2, view_y2;
  int32_t view_offset_x, view_offset_y;
  float x, y;
  uint8_t coord_mode;  // 0 pixels, 1 VIEW, 2 VIEW and WINDOW
  float window_scale_x, window_scale_y;
  float window_offset_x, window_offset_y;
  float window_x1, window_y1, window_x2, window_y2;
  double draw_ta;
  double draw_scale;
  uint8_t page_state_end;
};

// Copies the page-state group of one record onto another.
void copy_page_state(img_struct* dest, const img_struct* src);

// ---- The image table ----
// Records live in blocks of img_block_records that never move, so a record
// pointer stays valid while the table grows.
constexpr int32_t img_block_records = 4096;
constexpr int32_t img_max_blocks = 4096;
extern img_struct* img_blocks[img_max_blocks];
inline img_struct* img_at(int32_t slot) {
  return &img_blocks[slot / img_block_records][slot % img_block_records];
}
extern int32_t nimg;      // records allocated
extern int32_t nextimg;   // first slot never handed out
extern int32_t lastfimg;  // top of the free-slot stack, -1 when empty

// ---- The page table: page number to slot (0 = not made yet) ----
extern int32_t* page;
extern int32_t pages;
// The highest page number a program may name.
constexpr int32_t max_page_number = 65535;

// ---- Current surfaces ----
// The renderer on the main thread reads display_page on every frame.
extern std::atomic<img_struct*> display_page;
extern int32_t display_page_index;
extern img_struct* write_page;
extern int32_t write_page_index;
extern img_struct* read_page;
extern int32_t read_page_index;
void set_display_page(int32_t slot);
void set_write_page(int32_t slot);
void set_read_page(int32_t slot);

// ---- Internal operations ----
// Makes the first block of records and takes slots 0 and 1 out of use.
void init_image_table();
int32_t newimg();
int32_t freeimg(uint32_t slot);
// A record over pixels it does not own (which may be null); 0 on failure.
int32_t imgframe(uint8_t* pixels, int32_t width, int32_t height, int32_t mode);
// A record with its own cleared pixel block; 0 on failure.
int32_t imgnew(int32_t width, int32_t height, int32_t mode);
void imgrevert(int32_t slot);
void restorepalette(img_struct* im);
// Makes sure page n exists and returns its slot; 0 after raising error 5 (page
// number out of range) or 7 (the page cannot be made).
int32_t validatepage(int32_t n);
void freeallimages();
// Resolves an image handle or page number (the write page when not passed) to
// a slot; 0 after raising error 258 for an invalid image handle.
int32_t resolve_image_handle(int32_t handle, int32_t passed);
// Bytes of the pixel block of a record.
size_t image_bytes(const img_struct* im);

// ---- BASIC statements and functions ----
int32_t func__newimage(int32_t width, int32_t height, int32_t mode, int32_t passed);
int32_t func__copyimage(int32_t handle, int32_t passed);
void sub__freeimage(int32_t handle, int32_t passed);
void sub__source(int32_t handle);
void sub__dest(int32_t handle);
int32_t func__source();
int32_t func__dest();
int32_t func__display();
int32_t func__width(int32_t handle, int32_t passed);
int32_t func__height(int32_t handle, int32_t passed);
int32_t func__pixelsize(int32_t handle, int32_t passed);

// ---- Pixels ----
// The blend tables of 32-bit writes, made with the first 32-bit image.
extern uint8_t* blend;   // alpha * 65536 + source * 256 + destination
extern uint8_t* ablend;  // alpha * 256 + alpha
extern uint8_t* ablend127;
extern uint8_t* ablend128;
void init_blend();
// Writes one pixel of the write page; the caller keeps x and y on the page.
void pset(int32_t x, int32_t y, uint32_t colour);
// As pset, inside the VIEW rectangle only.
void pset_and_clip(int32_t x, int32_t y, uint32_t colour);
// A filled box of pixels, corners in order.
void fast_boxfill(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// A filled box in program coordinates, clipped to the VIEW rectangle.
void kx32_boxfill(float x1, float y1, float x2, float y2, uint32_t colour);
// Program coordinates to pixels through the page's WINDOW and VIEW.
void map_point(const img_struct* im, float x, float y, int32_t& px, int32_t& py);

// ---- Coordinates ----
// WINDOW SCREEN (x1, y1)-(x2, y2) on a record; the corners equal give the reset.
void window_screen_form(img_struct* im, float x1, float y1, float x2, float y2);
