// The built-in tables: master palettes, the mode 10 levels, the bitmap fonts and
// the code page 437 to UTF-16 map, copied from the data embedded in the runtime;
// and the cell sizes of the built-in fonts.
#include <cstring>

#include "console/console.h"

extern const unsigned char file_nobe_pal[];
extern const unsigned long file_nobe_pal_size;
extern const unsigned char file_nobeega_pal[];
extern const unsigned long file_nobeega_pal_size;
extern const unsigned char file_charset8_raw[];
extern const unsigned long file_charset8_raw_size;
extern const unsigned char file_chrset16_raw[];
extern const unsigned long file_chrset16_raw_size;
extern const unsigned char file_cp437_unicode_bin[];
extern const unsigned long file_cp437_unicode_bin_size;

uint32_t palette_256[256];
uint32_t palette_64[64];
uint32_t pal_mode10[2][9];
uint8_t charset8x8[256 * 64];
uint8_t charset8x16[256 * 128];
uint16_t codepage437_to_unicode16[256];

int32_t fontwidth[font_handles];
int32_t fontheight[font_handles];
int32_t fontflags[font_handles];

namespace {

// Palette files hold little-endian 0x00RRGGBB entries; alpha becomes 0xFF.
void load_palette(uint32_t* dest, const unsigned char* file, unsigned long size, int entries) {
  for (int i = 0; i < entries; ++i) {
    uint32_t v = 0;
    if (static_cast<unsigned long>(i) * 4 + 3 < size) {
      v = static_cast<uint32_t>(file[i * 4]) | static_cast<uint32_t>(file[i * 4 + 1]) << 8 |
          static_cast<uint32_t>(file[i * 4 + 2]) << 16;
    }
    dest[i] = v | 0xFF000000u;
  }
}

void load_bytes(uint8_t* dest, size_t bytes, const unsigned char* file, unsigned long size) {
  std::memset(dest, 0, bytes);
  std::memcpy(dest, file, size < bytes ? size : bytes);
}

}  // namespace

void init_master_tables() {
  load_palette(palette_256, file_nobe_pal, file_nobe_pal_size, 256);
  load_palette(palette_64, file_nobeega_pal, file_nobeega_pal_size, 64);
  // Level k shows black, grey or white: k / 3 in one blink phase, k mod 3 in the other.
  constexpr uint32_t shades[3] = {0x000000, 0x808080, 0xFFFFFF};
  for (int k = 0; k < 9; ++k) {
    pal_mode10[0][k] = shades[k / 3];
    pal_mode10[1][k] = shades[k % 3];
  }
  load_bytes(charset8x8, sizeof charset8x8, file_charset8_raw, file_charset8_raw_size);
  load_bytes(charset8x16, sizeof charset8x16, file_chrset16_raw, file_chrset16_raw_size);
  for (unsigned long i = 0; i < 256; ++i) {
    codepage437_to_unicode16[i] =
        i * 2 + 1 < file_cp437_unicode_bin_size
            ? static_cast<uint16_t>(file_cp437_unicode_bin[i * 2] |
                                    file_cp437_unicode_bin[i * 2 + 1] << 8)
            : 0x20;
  }
}

void init_font_table() {
  std::memset(fontwidth, 0, sizeof fontwidth);
  std::memset(fontheight, 0, sizeof fontheight);
  std::memset(fontflags, 0, sizeof fontflags);
  for (int32_t h : {8, 14, 16}) {
    fontwidth[h] = 8;
    fontheight[h] = h;
    fontwidth[h + 1] = 16;  // the same glyphs, each pixel drawn twice as wide
    fontheight[h + 1] = h;
    fontflags[h] = fontflags[h + 1] = 16;
  }
}

int32_t font_cell_width(uint32_t font) {
  int32_t w = font < static_cast<uint32_t>(font_handles) ? fontwidth[font] : 0;
  return w > 0 ? w : 1;
}

int32_t font_cell_height(uint32_t font) {
  int32_t h = font < static_cast<uint32_t>(font_handles) ? fontheight[font] : 0;
  return h > 0 ? h : 1;
}
