// Pixels: the pixel write rule, box fills and the mapping of program
// coordinates to pixels.
#include <cmath>
#include <cstring>
#include <algorithm>
#include <climits>
#include <utility>

#include "graphics/graphics.h"

namespace {

inline void write_pixel(img_struct* im, size_t at, uint32_t colour) {
  if (im->bytes_per_pixel == 1) {
    im->pixels[at] = static_cast<uint8_t>(colour & im->color_mask);
    return;
  }
  auto* p = reinterpret_cast<uint32_t*>(im->pixels) + at;
  if (im->blend_off) {
    *p = colour;
    return;
  }
  const uint32_t sa = colour >> 24;
  if (sa == 255) {
    *p = colour;
    return;
  }
  if (sa == 0) return;
  const uint32_t old = *p;
  const uint32_t old_alpha = old >> 24;
  if (sa == 128 || sa == 127) {
    const uint32_t rgb = ((old & 0xFEFEFE) + (colour & 0xFEFEFE)) >> 1;
    const uint8_t* row = sa == 128 ? ablend128 : ablend127;
    *p = static_cast<uint32_t>(row[old_alpha]) << 24 | rgb;
    return;
  }
  const uint8_t* table = blend + sa * 65536;
  const uint32_t red = table[((colour >> 16) & 0xFF) * 256 + ((old >> 16) & 0xFF)];
  const uint32_t green = table[((colour >> 8) & 0xFF) * 256 + ((old >> 8) & 0xFF)];
  const uint32_t blue = table[(colour & 0xFF) * 256 + (old & 0xFF)];
  *p = static_cast<uint32_t>(ablend[sa * 256 + old_alpha]) << 24 | red << 16 | green << 8 | blue;
}

// Nearest integer, halves to even, saturated to the int32 range (NaN gives 0).
int32_t round_even(float v) {
  const double rounded = std::nearbyint(static_cast<double>(v));
  if (!(rounded == rounded)) return 0;
  if (rounded >= 2147483647.0) return INT32_MAX;
  if (rounded <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(rounded);
}

}  // namespace

void pset(int32_t x, int32_t y, uint32_t colour) {
  img_struct* im = write_page;
  write_pixel(im, static_cast<size_t>(y) * im->width + static_cast<size_t>(x), colour);
}

void pset_and_clip(int32_t x, int32_t y, uint32_t colour) {
  const img_struct* im = write_page;
  if (x < im->view_x1 || x > im->view_x2 || y < im->view_y1 || y > im->view_y2) return;
  pset(x, y, colour);
}

void fast_boxfill(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  img_struct* im = write_page;
  // Callers pass boxes inside the page; a box that is not is cut to it.
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 >= im->width) x2 = im->width - 1;
  if (y2 >= im->height) y2 = im->height - 1;
  if (x1 > x2 || y1 > y2) return;
  const size_t w = static_cast<size_t>(x2 - x1 + 1);
  if (im->bytes_per_pixel == 1) {
    for (int32_t y = y1; y <= y2; ++y) {
      std::memset(im->pixels + static_cast<size_t>(y) * im->width + static_cast<size_t>(x1),
                  static_cast<uint8_t>(colour & im->color_mask), w);
    }
    return;
  }
  const bool opaque = im->blend_off || (colour >> 24) == 255;
  for (int32_t y = y1; y <= y2; ++y) {
    const size_t row = static_cast<size_t>(y) * im->width;
    if (opaque && y > y1) {
      std::memcpy(reinterpret_cast<uint32_t*>(im->pixels) + row + x1,
                  reinterpret_cast<uint32_t*>(im->pixels) + static_cast<size_t>(y1) * im->width + x1,
                  w * 4);
      continue;
    }
    for (int32_t x = x1; x <= x2; ++x) write_pixel(im, row + static_cast<size_t>(x), colour);
  }
}

void map_point(const img_struct* im, float x, float y, int32_t& px, int32_t& py) {
  switch (im->coord_mode) {
    case 2:
      px = round_even(static_cast<float>(static_cast<long double>(x) * im->window_scale_x +
                                         im->window_offset_x)) +
           im->view_offset_x;
      py = round_even(static_cast<float>(static_cast<long double>(y) * im->window_scale_y +
                                         im->window_offset_y)) +
           im->view_offset_y;
      break;
    case 1:
      px = round_even(x) + im->view_offset_x;
      py = round_even(y) + im->view_offset_y;
      break;
    default:
      px = round_even(x);
      py = round_even(y);
      break;
  }
}

void kx32_boxfill(float fx1, float fy1, float fx2, float fy2, uint32_t colour) {
  const img_struct* im = write_page;
  int32_t x1, y1, x2, y2;
  map_point(im, fx1, fy1, x1, y1);
  map_point(im, fx2, fy2, x2, y2);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x2 < im->view_x1 || x1 > im->view_x2 || y2 < im->view_y1 || y1 > im->view_y2) return;
  x1 = std::max(x1, im->view_x1);
  y1 = std::max(y1, im->view_y1);
  x2 = std::min(x2, im->view_x2);
  y2 = std::min(y2, im->view_y2);
  fast_boxfill(x1, y1, x2, y2, colour);
}
