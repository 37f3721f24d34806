// A small console over the pages of the screen: printing on a text write page
// with wrapping and scrolling inside the VIEW PRINT rows, a window that shows
// the visible page, and a key queue for INKEY$. The full text output rules, the
// renderer and the BIOS keyboard replace it piece by piece.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include <SDL.h>

#include "console/console.h"
#include "frame/frame.h"

extern const unsigned char file_icon_bmp[];
extern const unsigned long file_icon_bmp_size;

namespace {

std::atomic<uint32_t> screen_version{1};  // bumped by every change of the text

// Key ring: the main thread writes at `key_head`, the program thread reads at
// `key_tail`. Entries are one character, or 0x100 | code for a two-byte key.
constexpr uint32_t key_ring_size = 256;
uint16_t key_ring[key_ring_size];
std::atomic<uint32_t> key_head{0};
std::atomic<uint32_t> key_tail{0};

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
int texture_w = 0;
int texture_h = 0;
uint32_t shown_version = 0;
const img_struct* shown_page = nullptr;

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

void push_key(uint16_t k) {
  uint32_t head = key_head.load(std::memory_order_relaxed);
  if (head - key_tail.load(std::memory_order_acquire) >= key_ring_size) return;  // full
  key_ring[head % key_ring_size] = k;
  key_head.store(head + 1, std::memory_order_release);
  sleep_break.store(1);
}

// Pixel size of a page as the window shows it.
void shown_size(const img_struct* im, int& w, int& h) {
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

void draw_text_page(const img_struct* im, uint8_t* pixels, int pitch) {
  const int cw = font_cell_width(im->font);
  const int ch = font_cell_height(im->font);
  const bool doubled = cw == 16;
  for (int row = 0; row < im->height; ++row) {
    for (int col = 0; col < im->width; ++col) {
      const uint8_t* c = im->pixels + (static_cast<size_t>(row) * im->width + col) * 2;
      const uint32_t fg = im->palette[c[1] & 15] | 0xFF000000u;
      const uint32_t bg = im->palette[(c[1] >> 4) & 7] | 0xFF000000u;
      for (int gy = 0; gy < ch; ++gy) {
        auto* line = reinterpret_cast<uint32_t*>(pixels + (row * ch + gy) * pitch) + col * cw;
        const uint8_t* g = glyph_row(im->font, c[0], gy);
        for (int gx = 0; gx < cw; ++gx) line[gx] = g[doubled ? gx / 2 : gx] ? fg : bg;
      }
    }
  }
}

void draw_graphics_page(const img_struct* im, uint8_t* pixels, int pitch) {
  for (int y = 0; y < im->height; ++y) {
    auto* line = reinterpret_cast<uint32_t*>(pixels + y * pitch);
    const uint8_t* src = im->pixels + static_cast<size_t>(y) * im->width * im->bytes_per_pixel;
    if (im->bytes_per_pixel == 4) {
      for (int x = 0; x < im->width; ++x) {
        uint32_t v;
        std::memcpy(&v, src + x * 4, 4);
        line[x] = v | 0xFF000000u;
      }
    } else {
      for (int x = 0; x < im->width; ++x) {
        line[x] = im->palette[src[x] & im->color_mask] | 0xFF000000u;
      }
    }
  }
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

kxs* kxs_inkey() {
  uint32_t tail = key_tail.load(std::memory_order_relaxed);
  if (tail == key_head.load(std::memory_order_acquire)) return kxs_new(0, 1);
  uint16_t k = key_ring[tail % key_ring_size];
  key_tail.store(tail + 1, std::memory_order_release);
  if (k & 0x100) {
    kxs* s = kxs_new(2, 1);
    s->chars[0] = 0;
    s->chars[1] = static_cast<uint8_t>(k);
    return s;
  }
  kxs* s = kxs_new(1, 1);
  s->chars[0] = static_cast<uint8_t>(k);
  return s;
}

void init_display() {
  int w = 640;
  int h = 400;
  if (const img_struct* im = display_page.load()) shown_size(im, w, h);
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
  renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
}

void display() {
  // A page change in progress: grant it and draw nothing until it is done.
  int32_t requested = 1;
  if (lock_display.compare_exchange_strong(requested, 2)) return;
  if (lock_display.load() != 0 || !renderer) return;
  const img_struct* im = display_page.load();
  if (!im || !im->pixels) return;

  uint32_t version = screen_version.load();
  if (version == shown_version && im == shown_page && screen_last_valid.load()) return;
  shown_version = version;
  shown_page = im;
  screen_last_valid.store(1);

  int w = 0;
  int h = 0;
  shown_size(im, w, h);
  if (w != texture_w || h != texture_h || !texture) {
    if (texture) SDL_DestroyTexture(texture);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
    texture_w = w;
    texture_h = h;
    SDL_SetWindowSize(window, w, h);
  }
  if (!texture) return;
  void* pixels = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return;
  if (im->is_text) {
    draw_text_page(im, static_cast<uint8_t*>(pixels), pitch);
  } else {
    draw_graphics_page(im, static_cast<uint8_t*>(pixels), pitch);
  }
  SDL_UnlockTexture(texture);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

event_result handle_event(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) screen_last_valid.store(0);
      break;
    case SDL_KEYDOWN: {
      if (e.key.repeat) break;  // the runtime makes its own repeats
      SDL_Keycode sym = e.key.keysym.sym;
      uint16_t mod = e.key.keysym.mod;
      if ((mod & KMOD_CTRL) && (sym == SDLK_PAUSE || sym == SDLK_SCROLLLOCK)) {
        return event_result::break_request;
      }
      switch (sym) {
        case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LCTRL: case SDLK_RCTRL:
        case SDLK_LALT: case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI:
        case SDLK_CAPSLOCK: case SDLK_NUMLOCKCLEAR: case SDLK_SCROLLLOCK: case SDLK_MODE:
          return event_result::none;
        case SDLK_RETURN: case SDLK_KP_ENTER: push_key(13); return event_result::none;
        case SDLK_ESCAPE: push_key(27); return event_result::none;
        case SDLK_BACKSPACE: push_key(8); return event_result::none;
        case SDLK_TAB: push_key(9); return event_result::none;
        default: break;
      }
      if ((mod & KMOD_CTRL) && sym >= SDLK_a && sym <= SDLK_z) {
        push_key(static_cast<uint16_t>(sym - SDLK_a + 1));
      } else if (sym < 32 || sym > 126 || (mod & KMOD_ALT)) {
        // A key without a character: a two-byte key code.
        push_key(static_cast<uint16_t>(0x100 | (e.key.keysym.scancode & 0xFF)));
      }
      // Printable keys arrive as text input.
      break;
    }
    case SDL_TEXTINPUT:
      for (const char* p = e.text.text; *p; ++p) {
        auto b = static_cast<uint8_t>(*p);
        if (b < 0x80) {
          push_key(b);
        } else if ((b & 0xC0) == 0xC0) {
          push_key('?');  // one character outside ASCII
        }
      }
      break;
    default:
      break;
  }
  return event_result::none;
}

void shutdown_display() {
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
}
