// The null back end: no screen, no devices. A window exists only as a record, messages come from
// what tests post, the clock moves only when a test moves it, and message boxes are counted. The
// audio device exists only when a test asks for one, and it never mixes by itself.
#include <stdio.h>
#include <string.h>
#include <deque>
#include "platform/platform.h"
#include "platform/vkeys.h"

struct PlatWindow {
  uint32_t style;
  bool topmost;
  PlatRect rect;
  bool minimized;
};

namespace {
PlatWindowProc window_proc = nullptr;
PlatWindow the_window;
bool window_exists = false;
std::deque<PlatMsg> queue;
int64_t counter = 0;
uint8_t keys[256];
int cursor_x = 0, cursor_y = 0;
int boxes_shown = 0;
const int SCREEN_W = 1920, SCREEN_H = 1080;
}  // namespace

bool plat_init() {
  queue.clear();
  memset(keys, 0, sizeof(keys));
  window_exists = false;
  return true;
}
const char* plat_init_error() { return ""; }
void plat_shutdown() { queue.clear(); }
const char* plat_backend_name() { return "null"; }

bool plat_register_window_class(const char*, PlatWindowProc proc) {
  window_proc = proc;
  return proc != nullptr;
}

WindowHandle plat_create_window(const char*, uint32_t style, bool topmost, int x, int y, int w, int h, int show) {
  the_window.style = style;
  the_window.topmost = topmost;
  if (w < 1) {  // each dimension on its own
    x = 0;
    w = SCREEN_W;
  }
  if (h < 1) {
    y = 0;
    h = SCREEN_H;
  }
  if (show == PLAT_SHOW_MAXIMIZED) {
    x = y = 0;
    w = SCREEN_W;
    h = SCREEN_H;
  }
  the_window.rect = {x, y, x + w, y + h};
  the_window.minimized = false;
  window_exists = true;
  if (window_proc) window_proc(&the_window, WM_CREATE, 0, 0);
  return &the_window;
}

void plat_destroy_window(WindowHandle w) {
  if (!window_exists || w != &the_window) return;
  window_exists = false;
  if (window_proc) window_proc(w, WM_DESTROY, 0, 0);
}

bool plat_get_client_rect(WindowHandle w, PlatRect* r) {
  if (!w) return false;
  *r = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return true;
}
bool plat_get_window_rect(WindowHandle w, PlatRect* r) {
  if (!w) return false;
  *r = w->rect;
  return true;
}
uint32_t plat_get_window_style(WindowHandle w) { return w ? w->style : 0; }
void plat_set_window_style(WindowHandle w, uint32_t style, bool topmost) {
  if (!w) return;
  w->style = style;
  w->topmost = topmost;
}
void plat_set_window_pos(WindowHandle w, bool topmost, int x, int y, int width, int height) {
  if (!w) return;
  w->topmost = topmost;
  w->rect = {x, y, x + width, y + height};
}
bool plat_is_window_minimized(WindowHandle w) { return w && w->minimized; }
bool plat_get_work_area(PlatRect* r) {
  *r = {0, 0, SCREEN_W, SCREEN_H};
  return true;
}
void plat_get_screen_size(int* w, int* h) {
  *w = SCREEN_W;
  *h = SCREEN_H;
}
int plat_get_display_modes(PlatDisplayMode* modes, int max_modes) {
  if (max_modes < 1) return 0;
  modes[0] = PlatDisplayMode{SCREEN_W, SCREEN_H, 60};
  return 1;
}
void plat_adjust_window_rect(PlatRect*, uint32_t) {}
void plat_client_to_screen(WindowHandle w, int* x, int* y) {
  if (!w) return;
  *x += w->rect.left;
  *y += w->rect.top;
}
void plat_screen_to_client(WindowHandle w, int* x, int* y) {
  if (!w) return;
  *x -= w->rect.left;
  *y -= w->rect.top;
}
void plat_set_focus(WindowHandle) {}
void plat_validate_window(WindowHandle) {}
void plat_set_fullscreen_display(WindowHandle, bool, int, int) {}

bool plat_peek_message(PlatMsg* msg) {
  if (queue.empty()) return false;
  *msg = queue.front();
  queue.pop_front();
  return true;
}

intptr_t plat_dispatch_message(const PlatMsg& m) {
  if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) keys[m.wParam & 255] |= 0x80;
  if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) keys[m.wParam & 255] &= 0x7F;
  if (!window_proc || !m.window) return 0;
  return window_proc(m.window, m.message, m.wParam, m.lParam);
}

void plat_post_quit_message(int code) { queue.push_back(PlatMsg{nullptr, WM_QUIT, uintptr_t(code), 0}); }

intptr_t plat_def_window_proc(WindowHandle w, unsigned message, uintptr_t wParam, intptr_t) {
  if (message == WM_SYSKEYDOWN && wParam == VK_F4) {
    if (window_proc) window_proc(w, WM_CLOSE, 0, 0);
  } else if (message == WM_CLOSE) {
    plat_destroy_window(w);
  }
  return 0;
}

void plat_get_keyboard_state(uint8_t state[256]) { memcpy(state, keys, 256); }
bool plat_key_held(int vk) { return vk >= 0 && vk < 256 && (keys[vk] & 0x80); }

int plat_to_ascii(int vk, int, const uint8_t state[256]) {
  bool shift = state[VK_SHIFT] & 0x80;
  bool caps = state[VK_CAPITAL] & 1;
  if (vk >= 'A' && vk <= 'Z') return (shift != caps) ? vk : vk + 32;
  if (vk >= '0' && vk <= '9') return vk;
  if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE) return vk;
  return 0;
}

void plat_clip_cursor(const PlatRect*) {}
void plat_show_cursor(bool) {}
void plat_set_cursor_pos(int x, int y) {
  cursor_x = x;
  cursor_y = y;
}
void plat_get_cursor_pos(int* x, int* y) {
  *x = cursor_x;
  *y = cursor_y;
}
WindowHandle plat_window_under_cursor() {
  if (!window_exists) return nullptr;
  const PlatRect& r = the_window.rect;
  return cursor_x >= r.left && cursor_x < r.right && cursor_y >= r.top && cursor_y < r.bottom ? &the_window : nullptr;
}
void plat_capture_mouse(WindowHandle) {}
void plat_release_mouse() {}

void plat_message_box(const char* text, const char* caption) {
  boxes_shown++;
  fprintf(stderr, "[message box] %s: %s\n", caption, text);
}

int64_t plat_counter() { return counter; }
int64_t plat_counter_frequency() { return 10000000; }
void plat_sleep_ms(int ms) { counter += int64_t(ms) * 10000; }

bool plat_gl_create_context(WindowHandle) { return false; }
void plat_gl_destroy_context() {}
void* plat_gl_get_proc_address(const char*) { return nullptr; }
void plat_gl_swap(WindowHandle) {}
void plat_gl_set_swap_interval(int) {}
void plat_gl_get_drawable_size(WindowHandle w, int* width, int* height) {
  PlatRect r{0, 0, 0, 0};
  plat_get_client_rect(w, &r);
  *width = r.right;
  *height = r.bottom;
}

void plat_null_post_message(unsigned message, uintptr_t wParam, intptr_t lParam) {
  queue.push_back(PlatMsg{window_exists ? &the_window : nullptr, message, wParam, lParam});
}
void plat_null_set_counter(int64_t ticks) { counter = ticks; }
void plat_null_advance_counter(int64_t ticks) { counter += ticks; }
void plat_null_set_key(int vk, bool held) {
  if (vk < 0 || vk > 255) return;
  if (held) keys[vk] |= 0x80;
  else keys[vk] &= 0x7F;
}
void plat_null_set_cursor(int x, int y) {
  cursor_x = x;
  cursor_y = y;
}
int plat_null_message_boxes_shown() { return boxes_shown; }

// ---- audio: a device only when a test asks for one, and it never plays by itself
namespace {
bool audio_device_present = false;
}
void plat_null_set_audio_device(bool present) { audio_device_present = present; }
PlatAudioResult plat_audio_open(int, int, PlatAudioFill, char* why, int why_size) {
  snprintf(why, size_t(why_size), "audio driver 'null'");
  return audio_device_present ? PLAT_AUDIO_OPEN : PLAT_AUDIO_NO_DEVICE;
}
void plat_audio_close() {}
void plat_audio_lock() {}
void plat_audio_unlock() {}
