// The renderer: shows the visible page in the window.
#include <cstdio>
#include <cstring>

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

namespace {

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
int texture_w = 0;
int texture_h = 0;
uint32_t shown_version = 0;
const img_struct* shown_page = nullptr;

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

void shutdown_display() {
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
}
