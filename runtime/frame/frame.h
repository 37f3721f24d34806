// Program frame: start-up and shutdown, the flags the three threads share,
// runtime errors and the per-statement poll.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// ---- Flags shared between threads (each has one writer side) ----
extern std::atomic<uint8_t> stop_program;
extern std::atomic<uint8_t> close_program;
extern std::atomic<int32_t> kxevent;
extern std::atomic<uint8_t> suspend_program;
extern std::atomic<int32_t> exit_blocked;
extern std::atomic<int32_t> exit_value;
extern std::atomic<int32_t> autodisplay;
extern std::atomic<int32_t> lock_display_required;
extern std::atomic<int32_t> shell_call_in_progress;
extern std::atomic<int32_t> sleep_break;
extern std::atomic<int32_t> vertical_retrace_happened;
extern std::atomic<int32_t> vertical_retrace_in_progress;
extern std::atomic<int32_t> full_screen_toggle;

// ---- Time base (set at start-up; TIMER and the BIOS ticks use it) ----
extern uint64_t sdl_firsttimervalue;   // SDL ticks at the start second
extern uint32_t nobe_firsttimervalue;  // milliseconds since midnight at that moment
// Milliseconds since midnight, now, wrapping at 86400000.
uint32_t ms_since_midnight();

// ---- Runtime errors ----
extern std::atomic<int32_t> new_error;  // pending error, 0 = none
extern uint32_t ercl;                   // line of the evnt call that took the error
extern int32_t error_err;               // ERR
extern double error_erl;                // ERL
extern double last_line;
extern int32_t error_goto_line;
extern int32_t error_handling;
extern int32_t error_occurred;
extern int32_t error_retry;
extern int32_t r;  // result of evnt: 1 = run the statement again

extern uint32_t* return_point;
extern int32_t return_points;
extern int32_t next_return_point;

void error(int32_t n);
void fix_error();
int32_t get_error_err();
double get_error_erl();
int32_t func__errorline();
void more_return_points();

// Message of an error number, or "Unprintable error".
const char* error_message(int32_t n);
// Title of the box a critical error shows, or nullptr when n is not critical.
const char* critical_error_title(int32_t n);

// ---- Message boxes ----
enum class box_buttons { ok, yes_no };
enum class box_answer { ok, yes, no };
// Shows a message box with no owner window. When none can be shown the title and
// the text go to standard error and the answer is no (ok for an OK-only box).
box_answer message_box(const std::string& title, const std::string& text, box_buttons buttons);
// Lets tests answer message boxes themselves; nullptr restores the real boxes.
using message_box_hook_fn = box_answer (*)(const std::string& title, const std::string& text,
                                           box_buttons buttons);
void set_message_box_hook(message_box_hook_fn hook);

// ---- Program thread ----
// The translated program. It never returns: it ends in end().
int KXMAIN(void*);
// Stops the program thread once stop_program is set; never returns.
[[noreturn]] void end();
// END.
[[noreturn]] void sub_end();
// _EXIT.
int32_t func__exit();
// The per-statement poll.
void evnt(uint32_t line);
// Restores the state a CHAIN handed over, when there is one.
void chain_input();

// Ends the process at once with `code`, from any thread: flushes standard streams
// and skips the exit handlers (which must not run off the main thread).
[[noreturn]] void immediate_exit(int code);

// The runtime's own sleep (SDL_Delay of the dialect): sleeps ms milliseconds.
void kx_sleep(uint32_t ms);

// ---- Start-up pieces, callable from tests ----
// The working folder: the executable's path cut at its last separator.
std::string exe_folder(const std::string& exe_path);
// COMMAND$: argv[1..] joined with single spaces.
std::string join_command_line(int argc, char** argv);
// The steps of start-up that need no window: fonts, the image table, memory,
// the permanent strings, the built-in tables and the first SCREEN 0.
void init_runtime_state();

// The runtime's entry, called by main() with the command line.
extern "C" int SDL_main(int argc, char** argv);
