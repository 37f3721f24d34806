// Keyboard and mouse: window events into a key queue that INKEY$ reads.
#include <atomic>

#include <SDL.h>

#include "console/console.h"
#include "frame/frame.h"

namespace {

// Key ring: the main thread writes at `key_head`, the program thread reads at
// `key_tail`. Entries are one character, or 0x100 | code for a two-byte key.
constexpr uint32_t key_ring_size = 256;
uint16_t key_ring[key_ring_size];
std::atomic<uint32_t> key_head{0};
std::atomic<uint32_t> key_tail{0};

void push_key(uint16_t k) {
  uint32_t head = key_head.load(std::memory_order_relaxed);
  if (head - key_tail.load(std::memory_order_acquire) >= key_ring_size) return;  // full
  key_ring[head % key_ring_size] = k;
  key_head.store(head + 1, std::memory_order_release);
  sleep_break.store(1);
}

}  // namespace

kxs* kxs_inkey() {
  uint32_t tail = key_tail.load(std::memory_order_relaxed);
  if (tail == key_head.load(std::memory_order_acquire)) return kxs_new(0, 1);
  uint16_t k = key_ring[tail % key_ring_size];
  key_tail.store(tail + 1, std::memory_order_release);
  if (k & 0x100) {
    kxs* s = kxs_new(2, 1);
    s->chars[0] = 0;
    s->chars[1] = static_cast<uint8_t>(k);
    return s;
  }
  kxs* s = kxs_new(1, 1);
  s->chars[0] = static_cast<uint8_t>(k);
  return s;
}

event_result handle_event(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) screen_last_valid.store(0);
      break;
    case SDL_KEYDOWN: {
      if (e.key.repeat) break;  // the runtime makes its own repeats
      SDL_Keycode sym = e.key.keysym.sym;
      uint16_t mod = e.key.keysym.mod;
      if ((mod & KMOD_CTRL) && (sym == SDLK_PAUSE || sym == SDLK_SCROLLLOCK)) {
        return event_result::break_request;
      }
      switch (sym) {
        case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LCTRL: case SDLK_RCTRL:
        case SDLK_LALT: case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI:
        case SDLK_CAPSLOCK: case SDLK_NUMLOCKCLEAR: case SDLK_SCROLLLOCK: case SDLK_MODE:
          return event_result::none;
        case SDLK_RETURN: case SDLK_KP_ENTER: push_key(13); return event_result::none;
        case SDLK_ESCAPE: push_key(27); return event_result::none;
        case SDLK_BACKSPACE: push_key(8); return event_result::none;
        case SDLK_TAB: push_key(9); return event_result::none;
        default: break;
      }
      if ((mod & KMOD_CTRL) && sym >= SDLK_a && sym <= SDLK_z) {
        push_key(static_cast<uint16_t>(sym - SDLK_a + 1));
      } else if (sym < 32 || sym > 126 || (mod & KMOD_ALT)) {
        // A key without a character: a two-byte key code.
        push_key(static_cast<uint16_t>(0x100 | (e.key.keysym.scancode & 0xFF)));
      }
      // Printable keys arrive as text input.
      break;
    }
    case SDL_TEXTINPUT:
      for (const char* p = e.text.text; *p; ++p) {
        auto b = static_cast<uint8_t>(*p);
        if (b < 0x80) {
          push_key(b);
        } else if ((b & 0xC0) == 0xC0) {
          push_key('?');  // one character outside ASCII
        }
      }
      break;
    default:
      break;
  }
  return event_result::none;
}

std::atomic<int32_t> mouseinput_ignoremovement{1};
std::atomic<int32_t> mouse_hideshow_called{0};
void mouseinput_flush() {}
void mousemovementfix() {}
