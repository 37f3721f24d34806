// Start-up, the main loop, the shutdown sequence, END and _EXIT.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <SDL.h>
#include <SDL_ttf.h>
#include <unistd.h>

#include "console/console.h"
#include "files/files.h"
#include "frame/frame.h"
#include "frame/internal.h"
#include "host/host.h"
#include "strings/strings.h"

extern char** environ;

int32_t key_repeat_on = 0;
int32_t nmodes = 0;
int32_t anymode = 0;
std::vector<SDL_Rect> modes;

namespace {

SDL_Thread* thread = nullptr;
SDL_Thread* thread2 = nullptr;
SDL_Cursor* startup_cursor = nullptr;

// Milliseconds since midnight of the local time now, to the millisecond.
uint32_t local_ms_of_day() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  time_t secs = now.tv_sec;
  tm local{};
  if (!localtime_r(&secs, &local)) return 0;
  uint32_t second_of_day = static_cast<uint32_t>(local.tm_hour * 3600 + local.tm_min * 60 +
                                                 local.tm_sec);
  return second_of_day * 1000 + static_cast<uint32_t>(now.tv_nsec / 1000000);
}

[[noreturn]] void shutdown_sequence() {
  stop_program.store(1);
  kxevent.store(1);
  SDL_WaitThread(thread, nullptr);
  sub_close_all();
  SDL_ShowCursor(0);
  if (startup_cursor) SDL_FreeCursor(startup_cursor);
  shutdown_display();
  std::exit(0);
}

// A close request or Ctrl+Break: shut down, or record it for _EXIT.
void exit_request(int32_t bit) {
  if (exit_blocked.load() == 0) shutdown_sequence();
  exit_value.fetch_or(bit);
}

void refresh_bios_ticks() {
  uint32_t ms = ms_since_midnight();
  uint32_t ticks = static_cast<uint32_t>(ms * 0.0182);
  cmem[0x46C] = static_cast<uint8_t>(ticks);
  cmem[0x46D] = static_cast<uint8_t>(ticks >> 8);
  cmem[0x46E] = static_cast<uint8_t>(ticks >> 16);
}

void update_key_repeat() {
  SDL_Window* w = SDL_GetKeyboardFocus();
  bool focused = w && (SDL_GetWindowFlags(w) & SDL_WINDOW_INPUT_FOCUS);
  key_repeat_on = focused ? 1 : 0;
}

void list_fullscreen_modes() {
  int n = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < n; ++i) {
    SDL_DisplayMode m{};
    if (SDL_GetDisplayMode(0, i, &m) == 0) modes.push_back(SDL_Rect{0, 0, m.w, m.h});
  }
  nmodes = static_cast<int32_t>(modes.size());
}

SDL_Thread* start_thread(SDL_ThreadFunction fn, const char* name) {
  SDL_Thread* t = SDL_CreateThread(fn, name, nullptr);
  if (!t) {
    std::fprintf(stderr, "Unable to create thread: %s\n", SDL_GetError());
    immediate_exit(1);
  }
  return t;
}

[[noreturn]] void main_loop() {
  bool alternate = false;
  for (;;) {
    refresh_bios_ticks();
    bool shell_pass = false;
    int32_t shell = shell_call_in_progress.load();
    if (shell != 0) {
      if (shell != -1) {
        shell_call_in_progress.store(-1);
        key_repeat_on = 0;
        shell_pass = true;
      } else {
        kx_sleep(64);
        continue;
      }
    }
    if (!shell_pass) {
      kx_sleep(15);
      vertical_retrace_happened.store(1);
      vertical_retrace_in_progress.store(1);
      kx_sleep(1);
      if (close_program.load()) shutdown_sequence();
      alternate = !alternate;
    }
    if ((alternate || shell_pass) && autodisplay.load() != 0) display();
    if (alternate || shell_pass) present_frame();
    vertical_retrace_in_progress.store(0);
    if (shell_call_in_progress.load() != 0 || alternate) continue;

    update_key_repeat();
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      if (e.type == SDL_QUIT) {
        exit_request(1);
      } else if (handle_event(e) == event_result::break_request) {
        exit_request(2);
      }
    }
  }
}

}  // namespace

std::string exe_folder(const std::string& exe_path) {
  size_t cut = exe_path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return exe_path.substr(0, cut);
}

std::string join_command_line(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

void init_runtime_state() {
  init_font_table();
  init_image_table();
  init_mem_static();
  init_cmem();
  init_permanent_strings();
  // BIOS keyboard buffer: head = tail = 0x001E, empty.
  cmem[0x41A] = 0x1E;
  cmem[0x41B] = 0;
  cmem[0x41C] = 0x1E;
  cmem[0x41D] = 0;
  init_master_tables();
  sub_screen_width_in_characters = sub_screen_height_in_characters = sub_screen_font = -1;
  sub_screen_keep_page0 = 0;
  kxg_screen(0, 0, 0, 0, 0, 1);
  width8050switch = 1;
}

int32_t func__exit() {
  exit_blocked.store(1);
  return exit_value.exchange(0);
}

void sub_end() {
  sub_close_all();
  exit_blocked.store(0);

  uint32_t mark = kxs_tmp_list_nexti;
  int32_t rows = page_text_rows(write_page);
  kxg_sub_view_print(rows, rows, 1);
  kxs_print(nothingstring, 1);
  kxs_print(kxs_new_txt("Press any key to continue"), 0);
  kxs_cleanup(mark, 0);

  // Keys typed before END do not end it.
  while (kxs_cleanup(mark, kxs_inkey()->len != 0)) {
    if (stop_program.load()) end();
    kx_sleep(0);
  }
  autodisplay.store(1);
  while (!kxs_cleanup(mark, kxs_inkey()->len != 0)) {
    if (stop_program.load()) end();
    kx_sleep(5);
  }
  close_program.store(1);
  end();
}

extern "C" int SDL_main(int argc, char** argv) {
  // The working folder is the executable's folder.
  std::vector<char> exepath(PATH_MAX + 1, 0);
  ssize_t n = readlink("/proc/self/exe", exepath.data(), PATH_MAX);
  if (n > 0) {
    std::string folder = exe_folder(std::string(exepath.data(), static_cast<size_t>(n)));
    if (chdir(folder.c_str()) != 0) {
      // Stay where we were started; relative names then resolve there.
    }
  }

  environ_count = 1;
  for (char** e = environ; e && *e; ++e) ++environ_count;

  // Time base: the sub-second clock gives the millisecond of the day directly.
  sdl_firsttimervalue = SDL_GetTicks64();
  nobe_firsttimervalue = local_ms_of_day();

  init_runtime_state();

  std::string command = join_command_line(argc, argv);
  func_command_str = kxs_new(0, 0);
  kxs_set(func_command_str, kxs_new_txt_len(command.data(), static_cast<int32_t>(command.size())));

  if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0) {
    std::fprintf(stderr, "Unable to init SDL: %s\n", SDL_GetError());
    std::exit(100);
  }
  std::atexit(SDL_Quit);
  if (TTF_Init() == -1) std::exit(7000);
  std::atexit(TTF_Quit);

  list_fullscreen_modes();
  key_repeat_on = 1;

  init_display();

  startup_cursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  if (startup_cursor) SDL_SetCursor(startup_cursor);

  thread = start_thread(program_thread_main, "program");
  thread2 = start_thread(TIMERTHREAD, "timer");
  lock_display_required.store(1);
  main_loop();
}
