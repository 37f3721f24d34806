// The per-statement poll and the end of the program thread.
#include <cstdio>
#include <ctime>

#include <unistd.h>

#include "frame/frame.h"
#include "frame/internal.h"

namespace {
thread_local bool on_program_thread = false;
}  // namespace

void kx_sleep(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

void immediate_exit(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(code);
}

void events() {
  // ON TIMER dispatch joins here with the timer table; a program without timers
  // has nothing to run.
  if (error_handling) return;
}

void evnt(uint32_t line) {
  kxevent.store(0);
  r = 0;
  while (suspend_program.load() != 0 || stop_program.load() != 0) {
    if (stop_program.load()) end();
    kx_sleep(10);
  }
  if (new_error.load()) {
    ercl = line;
    fix_error();
    if (error_retry) {
      error_retry = 0;
      r = 1;
    }
    return;
  }
  events();
}

void end() {
  while (!stop_program.load()) kx_sleep(100);
  // Unwind the program thread back to its entry, which then returns and lets the
  // shutdown sequence's wait complete. No statement runs after this point.
  if (on_program_thread) throw program_thread_end{};
  for (;;) kx_sleep(100);
}

int program_thread_main(void*) {
  on_program_thread = true;
  try {
    KXMAIN(nullptr);
  } catch (const program_thread_end&) {
  }
  return 0;
}

void chain_input() {
  // A program started by CHAIN restores the state handed over in its chain file;
  // the runtime offers no CHAIN yet, so a program always starts afresh.
}

int TIMERTHREAD(void*) {
  // The timer thread marks ON TIMER events due. With no timer set up there is
  // nothing to mark, so it idles without spinning a core.
  for (;;) kx_sleep(10);
  return 0;
}
