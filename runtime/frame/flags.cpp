// The flags through which the main, program and timer threads talk to each other.
#include <ctime>

#include <SDL.h>

#include "frame/frame.h"

std::atomic<uint8_t> stop_program{0};
std::atomic<uint8_t> close_program{0};
std::atomic<int32_t> kxevent{0};
std::atomic<uint8_t> suspend_program{0};
std::atomic<int32_t> exit_blocked{0};
std::atomic<int32_t> exit_value{0};
std::atomic<int32_t> autodisplay{1};
std::atomic<int32_t> lock_display_required{0};
std::atomic<int32_t> shell_call_in_progress{0};
std::atomic<int32_t> sleep_break{0};
std::atomic<int32_t> vertical_retrace_happened{0};
std::atomic<int32_t> vertical_retrace_in_progress{0};
std::atomic<int32_t> full_screen_toggle{0};

uint64_t sdl_firsttimervalue = 0;
uint32_t nobe_firsttimervalue = 0;

uint32_t ms_since_midnight() {
  constexpr uint64_t day_ms = 86400000;
  uint64_t elapsed = SDL_GetTicks64() - sdl_firsttimervalue;
  return static_cast<uint32_t>((elapsed + nobe_firsttimervalue) % day_ms);
}
