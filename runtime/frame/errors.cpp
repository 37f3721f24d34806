// Runtime errors: recording them, the unhandled-error dialog, the critical
// errors that end the process, ERR, ERL, _ERRORLINE and the GOSUB stack.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <SDL.h>

#include "frame/frame.h"

std::atomic<int32_t> new_error{0};
uint32_t ercl = 0;
int32_t error_err = 0;
double error_erl = 0;
double last_line = 0;
int32_t error_goto_line = 0;
int32_t error_handling = 0;
int32_t error_occurred = 0;
int32_t error_retry = 0;
int32_t r = 0;

namespace {

constexpr int32_t initial_return_points = 16384;

uint32_t* make_return_points() {
  return static_cast<uint32_t*>(std::calloc(initial_return_points, sizeof(uint32_t)));
}

const char* const fixerr_strline = "Line:";
const char* const fixerr_strcont = "\nContinue?";
const char* const fixerr_strunhan = "Unhandled Error #";

struct message_row {
  int32_t number;
  const char* text;
};

constexpr message_row messages[] = {
    {1, "NEXT without FOR"},
    {2, "Syntax error"},
    {3, "RETURN without GOSUB"},
    {4, "Out of DATA"},
    {5, "Illegal function call"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {8, "Label not defined"},
    {9, "Subscript out of range"},
    {10, "Duplicate definition"},
    {11, "Division by zero"},
    {12, "Illegal in direct mode"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {16, "String formula too complex"},
    {17, "Cannot continue"},
    {18, "Function not defined"},
    {19, "No RESUME"},
    {20, "RESUME without error"},
    {24, "Device timeout"},
    {25, "Device fault"},
    {26, "FOR without NEXT"},
    {27, "Out of paper"},
    {29, "WHILE without WEND"},
    {30, "WEND without WHILE"},
    {33, "Duplicate label"},
    {35, "Subprogram not defined"},
    {37, "Argument-count mismatch"},
    {38, "Array not defined"},
    {40, "Variable required"},
    {50, "FIELD overflow"},
    {51, "Internal error"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File already open"},
    {56, "FIELD statement active"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {59, "Bad record length"},
    {61, "Disk full"},
    {62, "Input past end of file"},
    {63, "Bad record number"},
    {64, "Bad file name"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {69, "Communication-buffer overflow"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {72, "Disk-media error"},
    {73, "Feature unavailable"},
    {74, "Rename across disks"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {258, "Invalid handle"},
};

message_box_hook_fn box_hook = nullptr;

}  // namespace

uint32_t* return_point = make_return_points();
int32_t return_points = initial_return_points;
int32_t next_return_point = 0;

const char* error_message(int32_t n) {
  for (const message_row& row : messages) {
    if (row.number == n) return row.text;
  }
  return "Unprintable error";
}

const char* critical_error_title(int32_t n) {
  static const char* const titles[] = {
      "Critical Error #2",  "Critical Error #3",  "Critical Error #4",  "Critical Error #5",
      "Critical Error #6",  "Critical Error #7",  "Critical Error #8",  "Critical Error #9",
      "Critical Error #10", "Critical Error #11", "Critical Error #12", "Critical Error #13",
      "Critical Error #14", "Critical Error #15", "Critical Error #16", "Critical Error #17",
  };
  if (n == 256) return "Critical Error";
  if (n == 257) return "Critical Error #1";
  if (n >= 502 && n <= 517) return titles[n - 502];
  return nullptr;
}

void set_message_box_hook(message_box_hook_fn hook) { box_hook = hook; }

box_answer message_box(const std::string& title, const std::string& text, box_buttons buttons) {
  if (box_hook) return box_hook(title, text, buttons);

  const SDL_MessageBoxButtonData ok_buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "OK"},
  };
  const SDL_MessageBoxButtonData yes_no_buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
  };
  SDL_MessageBoxData data{};
  data.flags = buttons == box_buttons::ok ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_WARNING;
  data.window = nullptr;
  data.title = title.c_str();
  data.message = text.c_str();
  if (buttons == box_buttons::ok) {
    data.numbuttons = 1;
    data.buttons = ok_buttons;
  } else {
    data.numbuttons = 2;
    data.buttons = yes_no_buttons;
  }
  int pressed = -1;
  // The window system's box helper can fail now and then on a busy machine;
  // with a display to show it on, try again before giving up.
  int shown = SDL_ShowMessageBox(&data, &pressed);
  const char* display = std::getenv("DISPLAY");
  for (int attempt = 1; shown < 0 && display && *display && attempt < 4; ++attempt) {
    kx_sleep(100 * attempt);
    shown = SDL_ShowMessageBox(&data, &pressed);
  }
  if (shown < 0) {
    // No display to show it on: the user still learns what happened.
    std::fprintf(stderr, "%s\n%s\n(no message box: %s)\n", title.c_str(), text.c_str(),
                 SDL_GetError());
    std::fflush(stderr);
    return buttons == box_buttons::ok ? box_answer::ok : box_answer::no;
  }
  if (buttons == box_buttons::ok) return box_answer::ok;
  // Closing the box counts as No.
  return pressed == 1 ? box_answer::yes : box_answer::no;
}

void error(int32_t n) {
  if (const char* title = critical_error_title(n)) {
    message_box(title, n == 256 ? "Out of stack space" : "Out of memory", box_buttons::ok);
    immediate_exit(0);
  }
  if (n <= 0) n = 5;
  // The first error of a statement wins; error() may run on the main thread too.
  int32_t none = 0;
  if (new_error.compare_exchange_strong(none, n)) kxevent.store(1);
}

void fix_error() {
  if (error_goto_line != 0 && error_handling == 0) {
    error_err = new_error.exchange(0);
    error_erl = last_line;
    error_occurred = 1;
    KXMAIN(nullptr);
    return;
  }
  int32_t shown = new_error.load();
  std::string title = fixerr_strunhan + std::to_string(static_cast<uint32_t>(shown));
  std::string text = fixerr_strline + std::to_string(ercl) + "\n" + error_message(shown) +
                     fixerr_strcont;
  if (message_box(title, text, box_buttons::yes_no) == box_answer::yes) {
    // Clear only the error the dialog showed.
    new_error.compare_exchange_strong(shown, 0);
    return;
  }
  close_program.store(1);
  end();
}

int32_t get_error_err() { return error_err; }
double get_error_erl() { return error_erl; }
int32_t func__errorline() { return static_cast<int32_t>(ercl); }

void more_return_points() {
  // Double the stack, checking before the doubling that it can be had.
  if (return_points <= 0 || return_points > INT32_MAX / 2) error(256);
  size_t count = static_cast<size_t>(return_points) * 2;
  void* grown = std::realloc(return_point, count * sizeof(uint32_t));
  if (!grown) error(256);
  return_point = static_cast<uint32_t*>(grown);
  return_points = static_cast<int32_t>(count);
}
