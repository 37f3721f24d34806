// A small text console: the 80 x 25 text page of SCREEN 0 over cmem at 0xB8000,
// printing with wrapping and scrolling inside the VIEW PRINT rows, a window that
// shows the page, and a key queue for INKEY$. The screen modes, the full text
// output rules, the renderer and the BIOS keyboard replace it piece by piece.
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

constexpr int cols = 80;
constexpr int rows = 25;
constexpr uint32_t text_base = 0xB8000;
constexpr uint8_t default_attr = 7;
constexpr int cell_w = 8;
constexpr int cell_h = 16;

int cursor_row = 1;  // 1-based
int cursor_col = 1;
int view_top = 1;
int view_bottom = rows;

std::atomic<uint32_t> screen_version{1};  // bumped by every change of the page

// Key ring: the main thread writes at `key_head`, the program thread reads at
// `key_tail`. Entries are one character, or 0x100 | code for a two-byte key.
constexpr uint32_t key_ring_size = 256;
uint16_t key_ring[key_ring_size];
std::atomic<uint32_t> key_head{0};
std::atomic<uint32_t> key_tail{0};

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
uint32_t shown_version = 0;

uint8_t* cell(int row, int col) {
  return cmem + text_base + static_cast<uint32_t>(((row - 1) * cols + (col - 1)) * 2);
}

void clear_row(int row) {
  for (int c = 1; c <= cols; ++c) {
    cell(row, c)[0] = ' ';
    cell(row, c)[1] = default_attr;
  }
}

void new_line() {
  cursor_col = 1;
  if (cursor_row < view_bottom) {
    ++cursor_row;
    return;
  }
  // Scroll the view rows up by one.
  for (int row = view_top; row < view_bottom; ++row) {
    std::memmove(cell(row, 1), cell(row + 1, 1), cols * 2);
  }
  clear_row(view_bottom);
  screen_version.fetch_add(1);
}

void put_char(uint8_t ch) {
  if (cursor_col > cols) new_line();
  cell(cursor_row, cursor_col)[0] = ch;
  cell(cursor_row, cursor_col)[1] = default_attr;
  ++cursor_col;
  screen_version.fetch_add(1);
}

void push_key(uint16_t k) {
  uint32_t head = key_head.load(std::memory_order_relaxed);
  if (head - key_tail.load(std::memory_order_acquire) >= key_ring_size) return;  // full
  key_ring[head % key_ring_size] = k;
  key_head.store(head + 1, std::memory_order_release);
  sleep_break.store(1);
}

}  // namespace

void init_text_screen() {
  for (int row = 1; row <= rows; ++row) clear_row(row);
  cursor_row = cursor_col = 1;
  view_top = 1;
  view_bottom = rows;
  screen_version.fetch_add(1);
}

void kxs_print(kxs* s, int32_t newline) {
  if (new_error.load()) return;
  for (int32_t i = 0; i < s->len; ++i) put_char(s->chars[i]);
  if (newline) new_line();
}

void makefit(kxs* s) {
  if (cursor_col > 1 && cursor_col - 1 + s->len > cols) new_line();
}

int32_t func_pos(int32_t) { return cursor_col > cols ? cols : cursor_col; }
int32_t func_csrlin() { return cursor_row; }

void kxg_sub_view_print(int32_t top, int32_t bottom, int32_t passed) {
  if (new_error.load()) return;
  if (!passed) {
    view_top = 1;
    view_bottom = rows;
  } else {
    if (top < 1 || bottom > rows || top > bottom) {
      error(5);
      return;
    }
    view_top = top;
    view_bottom = bottom;
  }
  cursor_row = view_top;
  cursor_col = 1;
}

int32_t display_text_rows() { return rows; }

std::string screen_row_text(int32_t row) {
  std::string text;
  if (row < 1 || row > rows) return text;
  for (int c = 1; c <= cols; ++c) text += static_cast<char>(cell(row, c)[0]);
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
  window = SDL_CreateWindow("Untitled", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                            cols * cell_w, rows * cell_h, 0);
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
  if (renderer) {
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                cols * cell_w, rows * cell_h);
  }
}

void display() {
  if (!texture) return;
  uint32_t version = screen_version.load();
  if (version == shown_version) return;
  shown_version = version;
  void* pixels = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return;
  // Each character that is not blank shows as a block in the foreground colour:
  // enough to see where text stands until the built-in fonts draw real glyphs.
  for (int y = 0; y < rows * cell_h; ++y) {
    auto* line = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + y * pitch);
    int row = y / cell_h + 1;
    int gy = y % cell_h;
    for (int x = 0; x < cols * cell_w; ++x) {
      int col = x / cell_w + 1;
      int gx = x % cell_w;
      uint8_t ch = cell(row, col)[0];
      bool lit = ch != ' ' && ch != 0 && gx >= 1 && gx <= 6 && gy >= 3 && gy <= 13;
      line[x] = lit ? 0xFFAAAAAAu : 0xFF000000u;
    }
  }
  SDL_UnlockTexture(texture);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

event_result handle_event(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) shown_version = 0;
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
