// Text screen, display and input.
#pragma once

#include <cstdint>
#include <string>

#include "strings/strings.h"

union SDL_Event;

// ---- Text output ----
// PRINT s, followed by a new line when newline is non-zero.
void kxs_print(kxs* s, int32_t newline);
// Starts a new line when s would not fit on the rest of the current one.
void makefit(kxs* s);
// POS(0): the 1-based cursor column.
int32_t func_pos(int32_t);
// CSRLIN: the 1-based cursor row.
int32_t func_csrlin();
// VIEW PRINT top TO bottom (passed bit 1: both given).
void kxg_sub_view_print(int32_t top, int32_t bottom, int32_t passed);
// Number of text rows of the display page.
int32_t display_text_rows();
// The characters of row `row` (1-based) of the visible text page, for tests.
std::string screen_row_text(int32_t row);

// ---- Keyboard ----
// INKEY$: a temporary string with the next key, or an empty one.
kxs* kxs_inkey();

// ---- Main-thread side ----
// SCREEN 0 at start-up: the 80 x 25 text page over cmem at 0xB8000.
void init_text_screen();
// Opens the window (caption, icon) on the main thread.
void init_display();
// Renders the visible page into the window.
void display();
// Handles one window event (keys, mouse). Ctrl+Break is reported back.
enum class event_result { none, break_request };
event_result handle_event(const SDL_Event& e);
// Frees the window before the process ends.
void shutdown_display();
