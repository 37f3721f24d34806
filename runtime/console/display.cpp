// The renderer: turns the visible page into the window. Text pages are drawn
// cell by cell with the bitmap fonts, a blinking cursor and blinking
// attributes, only where something changed; palette pages go through their
// palette and are skipped when nothing changed; 32-bit pages are copied. The
// frame is composed into a surface in memory, on whichever thread renders
// (the main loop, or the program with _DISPLAY); the window itself is only
// touched on the main thread, which presents the composed frame.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <SDL.h>

#include "console/console.h"
#include "frame/frame.h"

extern const unsigned char file_icon_bmp[];
extern const unsigned long file_icon_bmp_size;

std::atomic<uint32_t> screen_version{1};
std::atomic<int32_t> x_offset{0}, y_offset{0};
std::atomic<int32_t> x_scale{1}, y_scale{1};
std::atomic<int32_t> full_screen{0};
std::atomic<int32_t> full_screen_set{-1};
std::atomic<int32_t> frame{0};

namespace {

SDL_Window* window = nullptr;
bool window_fullscreen = false;  // what the window is now (main thread)
bool pointer_hidden_by_fullscreen = false;

// The composed frame: x_monitor x y_monitor pixels 0xAARRGGBB. The composer
// and the presenter take the lock; nothing else touches it.
std::mutex surface_lock;
std::vector<uint32_t> surface;
int32_t x_monitor = 0;
int32_t y_monitor = 0;
int32_t surface_full_screen = -1;  // full-screen state the surface was made for
SDL_Rect surface_mode{0, 0, 0, 0};  // the display mode of a full-screen surface
std::atomic<bool> frame_ready{false};
// The window lost what it showed (exposed, resized): present the frame again.
std::atomic<bool> window_dirty{false};

int SDLCALL watch_window(void*, SDL_Event* e) {
  if (e->type == SDL_WINDOWEVENT &&
      (e->window.event == SDL_WINDOWEVENT_EXPOSED || e->window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
       e->window.event == SDL_WINDOWEVENT_RESTORED || e->window.event == SDL_WINDOWEVENT_SHOWN)) {
    window_dirty.store(true);
  }
  return 1;
}

// What the last text frame drew.
std::vector<uint8_t> screen_last;
uint32_t pal_last[256];
int32_t show_cursor_last = -1;
int32_t show_flashing_last = -1;
int32_t cx_last = -1;
int32_t cy_last = -1;
// What the last palette frame drew.
std::vector<uint8_t> pixeldata;
uint32_t paldata[256];

// Pixel size of a page as the window shows it.
void shown_size(const img_struct* im, int32_t& w, int32_t& h) {
  if (im->is_text) {
    w = im->width * font_cell_width(im->font);
    h = im->height * font_cell_height(im->font);
  } else {
    w = im->width;
    h = im->height;
  }
}

const uint8_t* glyph_row(uint32_t font, uint8_t ch, int gy) {
  switch (font) {
    case 8: case 9: return charset8x8 + ch * 64 + gy * 8;
    case 14: case 15: return charset8x16 + ch * 128 + 8 + gy * 8;
    default: return charset8x16 + ch * 128 + gy * 8;
  }
}

// Scan lines [first, last] of a cell of height h that the cursor covers, or
// false for none. "n lines from the bottom" ends at line h - 1.
bool cursor_lines(int32_t s, int32_t e, int32_t h, int32_t& first, int32_t& last) {
  const int32_t bottom = h - 1;
  auto from_bottom = [&](int32_t n) {
    first = bottom - n + 1;
    last = bottom;
  };
  if (e == 0 && s == 0) {
    first = last = 0;
  } else if (e == 0) {
    return false;
  } else if (e < s) {
    first = e;
    last = bottom;
  } else if (s == e) {
    if (s < 4) {
      first = last = s;
    } else {
      from_bottom(1);
    }
  } else if (s < 2) {
    first = s;
    last = e < 4 ? e : bottom;
  } else if (s == 2) {
    if (e == 3) {
      first = 2;
      last = 3;
    } else if (e == 4) {
      from_bottom(3);
    } else {
      first = 2;
      last = bottom;
    }
  } else if (e == s + 1) {
    from_bottom(2);
  } else if (e == s + 2) {
    from_bottom(3);
  } else {
    from_bottom(h / 2);
  }
  first = std::max(first, 0);
  last = std::min(last, bottom);
  return first <= last;
}

// Full-screen candidates for a page: the closest mode, and the closest 4:3 mode.
void find_candidates(int32_t w, int32_t h, int& stretch, int& square) {
  stretch = square = -1;
  int64_t best = 0;
  int64_t best_square = 0;
  for (size_t i = 0; i < modes.size(); ++i) {
    const SDL_Rect& m = modes[i];
    if (m.w < 640 || m.w < w || m.h < h) continue;
    const int64_t distance = static_cast<int64_t>(m.w - w) + (m.h - h);
    if (stretch == -1 || distance <= best) {
      stretch = static_cast<int>(i);
      best = distance;
    }
    if (m.w / 4 == m.h / 3 && (square == -1 || distance <= best_square)) {
      square = static_cast<int>(i);
      best_square = distance;
    }
  }
}

bool same_mode(int a, int b) {
  return a >= 0 && b >= 0 && modes[static_cast<size_t>(a)].w == modes[static_cast<size_t>(b)].w &&
         modes[static_cast<size_t>(a)].h == modes[static_cast<size_t>(b)].h;
}

// The full-screen state after a request or a pending Alt+Enter.
void update_full_screen_state(int stretch, int square) {
  const int32_t before = full_screen.load();
  int32_t state = before;
  const int32_t request = full_screen_set.load();
  const bool square_ok = square >= 0 && !same_mode(square, stretch);
  if (request != -1) {
    if (request == 0) {
      state = 0;
    } else if (request == 1) {
      if (stretch >= 0) state = 1;
    } else if (request == 2) {
      state = square_ok ? 2 : 0;
    }
  } else if (full_screen_toggle.load() > 0) {
    full_screen_toggle.fetch_sub(1);
    if (state == 0) {
      if (stretch >= 0) state = 1;
    } else if (state == 1) {
      state = square_ok ? 2 : 0;
    } else {
      state = 0;
    }
  }
  full_screen_set.store(-1);
  if (state != before) {
    full_screen.store(state);
    screen_last_valid.store(0);
  }
}

void put_pixel_scaled(int32_t x, int32_t y, uint32_t colour, int32_t scale) {
  for (int32_t dy = 0; dy < scale; ++dy) {
    uint32_t* row = surface.data() + static_cast<size_t>(y + dy) * static_cast<size_t>(x_monitor);
    for (int32_t dx = 0; dx < scale; ++dx) row[x + dx] = colour;
  }
}

// Draws one text cell at its place in the surface.
void draw_cell(const img_struct* im, int32_t col, int32_t row, bool show_flashing, bool show_cursor,
               int32_t cursor_col, int32_t cursor_row) {
  const int32_t cw = font_cell_width(im->font);
  const int32_t ch = font_cell_height(im->font);
  const bool doubled = cw == 16;
  const uint8_t* c = im->pixels + (static_cast<size_t>(row) * im->width + static_cast<size_t>(col)) * 2;
  uint32_t fg_index = c[1] & 15;
  const uint32_t bg_index = (c[1] >> 4) & 7;
  if ((c[1] & 0x80) && show_flashing) fg_index = bg_index;
  const uint32_t fg = im->palette[fg_index] | 0xFF000000u;
  const uint32_t bg = im->palette[bg_index] | 0xFF000000u;
  const int32_t scale = x_scale.load();
  const int32_t x0 = col * cw * scale + x_offset.load();
  const int32_t y0 = row * ch * scale + y_offset.load();
  for (int32_t gy = 0; gy < ch && gy < 16; ++gy) {
    const uint8_t* g = glyph_row(im->font, c[0], gy);
    for (int32_t gx = 0; gx < cw; ++gx) {
      put_pixel_scaled(x0 + gx * scale, y0 + gy * scale, g[doubled ? gx / 2 : gx] ? fg : bg, scale);
    }
  }
  int32_t first = 0;
  int32_t last = 0;
  if (im->cursor_visible && show_cursor && col == cursor_col && row == cursor_row &&
      cursor_lines(im->cursor_start_line, im->cursor_stop_line, ch, first, last)) {
    for (int32_t gy = first; gy <= last; ++gy) {
      for (int32_t gx = 0; gx < cw; ++gx) put_pixel_scaled(x0 + gx * scale, y0 + gy * scale, fg, scale);
    }
  }
}

// Returns true when a cell was drawn.
bool draw_text_page(const img_struct* im) {
  const size_t cells = static_cast<size_t>(im->width) * im->height;
  bool redraw_all = !screen_last_valid.load();
  if (screen_last.size() != cells * 2) {
    screen_last.assign(cells * 2, 0);
    redraw_all = true;
  }
  if (std::memcmp(pal_last, im->palette, sizeof pal_last) != 0) {
    std::memcpy(pal_last, im->palette, sizeof pal_last);
    redraw_all = true;
  }
  // The cursor position is read once; output may briefly hold a column one past the row.
  const int32_t cursor_col = im->cursor_column - 1;
  const int32_t cursor_row = im->cursor_row - 1;
  const int32_t f = frame.load();
  const bool show_cursor = f & 4;
  const bool show_flashing = f & 8;
  const bool flashing_changed = show_flashing != (show_flashing_last == 1);
  const bool cursor_changed = show_cursor != (show_cursor_last == 1);
  const bool cursor_moved = cursor_col != cx_last || cursor_row != cy_last;
  bool changed = false;
  for (int32_t row = 0; row < im->height; ++row) {
    for (int32_t col = 0; col < im->width; ++col) {
      const size_t at = (static_cast<size_t>(row) * im->width + static_cast<size_t>(col)) * 2;
      const uint8_t chr = im->pixels[at];
      const uint8_t attr = im->pixels[at + 1];
      const bool is_cursor = col == cursor_col && row == cursor_row;
      const bool was_cursor = col == cx_last && row == cy_last;
      if (redraw_all || chr != screen_last[at] || attr != screen_last[at + 1] ||
          ((attr & 0x80) && flashing_changed) || (is_cursor && (cursor_changed || cursor_moved)) ||
          (was_cursor && cursor_moved)) {
        draw_cell(im, col, row, show_flashing, show_cursor, cursor_col, cursor_row);
        screen_last[at] = chr;
        screen_last[at + 1] = attr;
        changed = true;
      }
    }
  }
  show_flashing_last = show_flashing ? 1 : 0;
  show_cursor_last = show_cursor ? 1 : 0;
  cx_last = cursor_col;
  cy_last = cursor_row;
  return changed;
}

void draw_32bit_page(const img_struct* im) {
  const int32_t scale = x_scale.load();
  const int32_t xo = x_offset.load();
  const int32_t yo = y_offset.load();
  for (int32_t y = 0; y < im->height; ++y) {
    const auto* src = reinterpret_cast<const uint32_t*>(im->pixels) + static_cast<size_t>(y) * im->width;
    for (int32_t x = 0; x < im->width; ++x) {
      put_pixel_scaled(xo + x * scale, yo + y * scale, src[x] | 0xFF000000u, scale);
    }
  }
}

// Returns true when the page differed from the last frame and was drawn.
bool draw_palette_page(img_struct* im) {
  if (im->screen_mode == 10 && im->palette) {
    const int phase = (SDL_GetTicks() & 512) ? 1 : 0;
    for (int i = 0; i < 4; ++i) im->palette[i] = pal_mode10[phase][std::min<uint32_t>(im->palette[4 + i], 8)];
  }
  const size_t count = static_cast<size_t>(im->width) * im->height;
  const size_t used = std::min<size_t>(256, static_cast<size_t>(im->color_mask) + 1);
  if (screen_last_valid.load() && pixeldata.size() == count &&
      std::memcmp(pixeldata.data(), im->pixels, count) == 0 &&
      std::memcmp(paldata, im->palette, used * 4) == 0) {
    return false;
  }
  pixeldata.assign(im->pixels, im->pixels + count);
  std::memcpy(paldata, im->palette, used * 4);
  const int32_t scale = x_scale.load();
  const int32_t xo = x_offset.load();
  const int32_t yo = y_offset.load();
  for (int32_t y = 0; y < im->height; ++y) {
    const uint8_t* src = pixeldata.data() + static_cast<size_t>(y) * im->width;
    for (int32_t x = 0; x < im->width; ++x) {
      put_pixel_scaled(xo + x * scale, yo + y * scale, paldata[src[x] & im->color_mask] | 0xFF000000u, scale);
    }
  }
  return true;
}

// Makes the window match the composed surface: size, full-screen state and
// its display mode. A mode the window system refuses keeps the window as it
// was (a refused full screen goes back to windowed).
void apply_video_mode() {
  const bool want_full = surface_full_screen > 0;
  if (want_full) {
    SDL_DisplayMode mode{};
    mode.w = surface_mode.w;
    mode.h = surface_mode.h;
    SDL_DisplayMode closest{};
    if (SDL_GetClosestDisplayMode(0, &mode, &closest) == nullptr ||
        SDL_SetWindowDisplayMode(window, &closest) != 0 ||
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
      full_screen.store(0);
      screen_last_valid.store(0);
      return;
    }
    window_fullscreen = true;
  } else {
    if (window_fullscreen) SDL_SetWindowFullscreen(window, 0);
    window_fullscreen = false;
    SDL_SetWindowSize(window, x_monitor, y_monitor);
  }
  if (!mouse_hideshow_called.load()) {
    if (want_full && !pointer_hidden_by_fullscreen) {
      SDL_ShowCursor(SDL_DISABLE);
      pointer_hidden_by_fullscreen = true;
    } else if (!want_full && pointer_hidden_by_fullscreen) {
      SDL_ShowCursor(SDL_ENABLE);
      pointer_hidden_by_fullscreen = false;
    }
  }
}

int32_t window_state_shown = -1;  // full-screen state the window was last set to
int32_t window_w_shown = 0;
int32_t window_h_shown = 0;

}  // namespace

void init_display() {
  int32_t w = 640;
  int32_t h = 400;
  if (const img_struct* im = display_page.load()) shown_size(im, w, h);
  // The window surface is the window system's own framebuffer: letting SDL put
  // a GPU renderer behind it would make SDL replace the window when the
  // surface is first taken.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  window = SDL_CreateWindow("Untitled", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, 0);
  if (!window) {
    std::fprintf(stderr, "Unable to open the window: %s\n", SDL_GetError());
    return;
  }
  SDL_RWops* rw = SDL_RWFromConstMem(file_icon_bmp, static_cast<int>(file_icon_bmp_size));
  if (SDL_Surface* icon = SDL_LoadBMP_RW(rw, 1)) {
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
  }
  SDL_AddEventWatch(watch_window, nullptr);
  window_state_shown = 0;
  window_w_shown = w;
  window_h_shown = h;
}

void display() {
  frame.fetch_add(1);
  int32_t requested = 1;
  if (lock_display.compare_exchange_strong(requested, 2)) kx_sleep(0);
  img_struct* im = display_page.load();
  if (lock_display.load() == 0 && im && im->pixels && (!im->is_text || im->palette) &&
      (im->bytes_per_pixel == 4 || im->palette)) {
    std::lock_guard<std::mutex> hold(surface_lock);
    int32_t pw = 0;
    int32_t ph = 0;
    shown_size(im, pw, ph);
    const bool small = pw <= 512 && ph <= 384;
    int stretch = -1;
    int square = -1;
    find_candidates(small ? pw * 2 : pw, small ? ph * 2 : ph, stretch, square);
    update_full_screen_state(stretch, square);
    const int32_t state = full_screen.load();
    const int chosen = state == 1 ? stretch : state == 2 ? square : -1;

    int32_t w = pw;
    int32_t h = ph;
    int32_t scale = 1;
    int32_t xo = 0;
    int32_t yo = 0;
    if (chosen >= 0) {
      scale = small ? 2 : 1;
      w = modes[static_cast<size_t>(chosen)].w;
      h = modes[static_cast<size_t>(chosen)].h;
      xo = (w - pw * scale) / 2;
      yo = (h - ph * scale) / 2;
      surface_mode = modes[static_cast<size_t>(chosen)];
    } else if (state != 0) {
      full_screen.store(0);  // the page fits no full-screen mode
    }
    x_scale.store(scale);
    y_scale.store(scale);
    x_offset.store(xo);
    y_offset.store(yo);
    const int32_t shown_state = chosen >= 0 ? state : 0;
    if (w != x_monitor || h != y_monitor || shown_state != surface_full_screen) {
      x_monitor = w;
      y_monitor = h;
      surface_full_screen = shown_state;
      surface.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0xFF000000u);
      screen_last_valid.store(0);
    }
    if (!screen_last_valid.load()) std::fill(surface.begin(), surface.end(), 0xFF000000u);

    bool drawn;
    if (im->is_text) {
      drawn = draw_text_page(im);
    } else if (im->bytes_per_pixel == 4) {
      draw_32bit_page(im);
      drawn = true;
    } else {
      drawn = draw_palette_page(im);
    }
    screen_last_valid.store(1);
    if (drawn) frame_ready.store(true);
  }
  requested = 1;
  if (lock_display.compare_exchange_strong(requested, 2)) kx_sleep(0);
  int32_t manual = -1;
  autodisplay.compare_exchange_strong(manual, 0);
}

void present_frame() {
  if (!window) return;
  const bool fresh = frame_ready.exchange(false);
  const bool dirty = window_dirty.exchange(false);
  if (!fresh && !dirty) return;
  std::lock_guard<std::mutex> hold(surface_lock);
  if (surface_full_screen != window_state_shown || x_monitor != window_w_shown || y_monitor != window_h_shown) {
    mouseinput_ignoremovement.store(65536);
    apply_video_mode();
    mouseinput_flush();
    mouseinput_ignoremovement.store(4);
    if (surface_full_screen > 0 && window_fullscreen) mousemovementfix();
    window_state_shown = surface_full_screen;
    window_w_shown = x_monitor;
    window_h_shown = y_monitor;
  }
  // The window surface follows the window's size; until a resize has arrived
  // it may still have the old one, and the frame is shown again once it has.
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (!target) return;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(surface.data(), x_monitor, y_monitor, 32,
                                                           x_monitor * 4, SDL_PIXELFORMAT_ARGB8888);
  if (source) {
    SDL_BlitSurface(source, nullptr, target, nullptr);
    SDL_FreeSurface(source);
  }
  SDL_UpdateWindowSurface(window);
}

void composed_frame(std::vector<uint32_t>& pixels, int32_t& w, int32_t& h) {
  std::lock_guard<std::mutex> hold(surface_lock);
  pixels = surface;
  w = x_monitor;
  h = y_monitor;
}

void sub__display() {
  if (autodisplay.load() != 0) {
    // The next frame of the main loop switches to manual rendering.
    autodisplay.store(-1);
    while (autodisplay.load() != 0 && !stop_program.load()) kx_sleep(1);
    return;
  }
  display();
}

void sub__autodisplay() { autodisplay.store(1); }

void shutdown_display() {
  SDL_DelEventWatch(watch_window, nullptr);
  if (window) SDL_DestroyWindow(window);
  window = nullptr;
}
