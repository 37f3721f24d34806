// Text screen, display and input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "strings/strings.h"

union SDL_Event;
struct SDL_Rect;

// ---- Built-in tables, filled at start-up ----
extern uint32_t palette_256[256];  // the VGA default palette, 0xFFRRGGBB
extern uint32_t palette_64[64];    // the EGA palette
extern uint32_t pal_mode10[2][9];  // the two blink phases of mode 10's levels
extern uint8_t charset8x8[256 * 64];    // glyphs, one byte (0 or 0xFF) per pixel
extern uint8_t charset8x16[256 * 128];
extern uint16_t codepage437_to_unicode16[256];
void init_master_tables();

// ---- Fonts ----
constexpr int32_t font_handles = 1024;
extern int32_t fontwidth[font_handles];
extern int32_t fontheight[font_handles];
extern int32_t fontflags[font_handles];
// The built-in fonts 8, 14 and 16 and their double-width forms 9, 15 and 17.
void init_font_table();
// Width and height of a font's cell; 0 counts as 1 so that they can divide.
int32_t font_cell_width(uint32_t font);
int32_t font_cell_height(uint32_t font);

// ---- Screen modes ----
extern int32_t sub_screen_width_in_characters;
extern int32_t sub_screen_height_in_characters;
extern int32_t sub_screen_font;
extern int32_t sub_screen_keep_page0;
extern int32_t width8050switch;
// SCREEN mode, colorswitch, apage, vpage (passed bits 1, 2, 4, 8); a negative
// mode is an image handle.
void kxg_screen(int32_t mode, int32_t colorswitch, int32_t apage, int32_t vpage, int32_t extra,
                int32_t passed);
// WIDTH columns, rows (passed bits 1, 2); a non-zero device raises error 5.
void kxsub_width(int32_t device, int32_t columns, int32_t rows, int32_t passed);
void kxg_sub_color(uint32_t foreground, uint32_t background, uint32_t border, int32_t passed);
// PALETTE [attribute, colour]; passed 0 restores the default palette.
void kxg_palette(uint32_t attribute, uint32_t colour, int32_t passed);
void sub_pcopy(int32_t source, int32_t destination);
// SCREEN(row, column[, colorflag]); passed bit 1: colorflag given.
uint32_t func_screen(int32_t row, int32_t column, int32_t colorflag, int32_t passed);
void defaultcolors();
void selectfont(int32_t handle, img_struct* im);

// Bumped by every change text output makes to a page, so that the renderer
// redraws.
extern std::atomic<uint32_t> screen_version;

// ---- Renderer geometry (main thread; the mouse functions read it) ----
extern std::atomic<int32_t> x_offset, y_offset;  // page's top-left corner in the window
extern std::atomic<int32_t> x_scale, y_scale;    // 1 or 2
extern std::atomic<int32_t> full_screen;         // 0 windowed, 1 stretch, 2 square
extern std::atomic<int32_t> full_screen_set;     // requested state, -1 none

// ---- The display handshake ----
// 0 free, 1 requested by the program thread, 2 granted by the renderer, which
// then draws nothing until it is 0 again.
extern std::atomic<int32_t> lock_display;
// 0 makes the renderer redraw the whole page.
extern std::atomic<int32_t> screen_last_valid;
// Taken around changes of the visible pages' geometry while the main thread
// renders on its own.
bool acquire_display_lock();
void release_display_lock(bool taken);

// ---- Text output ----
// Line-break bytes TAB() puts before its spaces: 1 (CR) on screen, 2 (CR LF)
// while printing to a file.
extern int32_t tab_spc_cr_size;
// PRINT s, followed by a new line when newline is non-zero.
void kxs_print(kxs* s, int32_t newline);
// PRINT's comma: the next print zone.
void tab();
// Starts a new line when s would not fit on the rest of the current one.
void makefit(kxs* s);
// Column 1 of the next row, scrolling the VIEW PRINT rows when needed.
void newline();
// Draws ch at the cursor of the write page without moving it.
void printchr(uint8_t ch);
// Pixel width of ch in the write page's font.
int32_t chrwidth(uint8_t ch);
// TAB(n) and SPC(n): temporaries for PRINT.
kxs* func_tab(int32_t n);
kxs* func_spc(int32_t n);
// CLS [method][, colour]; passed bits 1 method, 2 colour.
void sub_cls(int32_t method, uint32_t colour, int32_t passed);
// LOCATE row, column, cursor, start, stop; passed bits 1, 2, 4, 8 (start and stop).
void kxg_sub_locate(int32_t row, int32_t column, int32_t cursor, int32_t start, int32_t stop, int32_t passed);
// VIEW PRINT [top TO bottom]; passed 0 for the form without rows.
void kxg_sub_view_print(int32_t top, int32_t bottom, int32_t passed);
// CSRLIN and POS(0).
int32_t func_csrlin();
int32_t func_pos(int32_t);
// Text columns and rows of a page (at least 1).
int32_t page_text_columns(const img_struct* im);
int32_t page_text_rows(const img_struct* im);
// The characters of row `row` (1-based) of the visible text page, for tests.
std::string screen_row_text(int32_t row);

// ---- Keyboard ----
// INKEY$: a temporary string with the next key, or an empty one.
kxs* kxs_inkey();

// ---- Main-thread side ----
// Full-screen modes the display offers, listed at start-up.
extern std::vector<SDL_Rect> modes;
// Frames rendered so far; drives the blinking of the cursor and of text.
extern std::atomic<int32_t> frame;
// Opens the window (caption, icon) on the main thread.
void init_display();
// Renders one frame of the visible page into the composed surface (the main
// loop in automatic mode, the program thread through _DISPLAY).
void display();
// The mouse side of a window change: motion events to ignore while the window
// is remade, the queue to flush afterwards, and the pointer grab of full screen.
extern std::atomic<int32_t> mouseinput_ignoremovement;
extern std::atomic<int32_t> mouse_hideshow_called;
void mouseinput_flush();
void mousemovementfix();
// A copy of the composed frame and its size, for tests.
void composed_frame(std::vector<uint32_t>& pixels, int32_t& w, int32_t& h);
// Shows the last composed frame in the window (main thread).
void present_frame();
// _DISPLAY and _AUTODISPLAY.
void sub__display();
void sub__autodisplay();
// Handles one window event (keys, mouse). Ctrl+Break is reported back.
enum class event_result { none, break_request };
event_result handle_event(const SDL_Event& e);
// Frees the window before the process ends.
void shutdown_display();
