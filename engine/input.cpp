// Input queue, per-update key bytes and the key-name table.
#include "engine/input.h"
#include <stdio.h>
#include <string.h>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/sharedHeap.h"
#include "platform/vkeys.h"

namespace {
struct EventNode {
  InputEvent ev;
  EventNode* next;
};
EventNode* queue_head = nullptr;
EventNode* queue_tail = nullptr;
unsigned char key_bytes[256];  // bit 0 went down, bit 1 went up
int last_key = 0, last_char = 0, wheel_sum = 0;
float mouse_x = 0, mouse_y = 0;
bool mouse_over = false;
bool mouse_captured = false;
WindowHandle input_window = nullptr;

struct KeyNames {
  char names[256][24];
  KeyNames() {
    for (int i = 0; i < 256; i++) snprintf(names[i], sizeof(names[i]), "#%02X", i);
    auto set = [this](int c, const char* n) { snprintf(names[c], sizeof(names[c]), "%s", n); };
    set(0x01, "Left Mouse Button");
    set(0x02, "Right Mouse Button");
    set(0x04, "Middle Mouse Button");
    set(0x08, "Backspace");
    set(0x09, "Tab");
    set(0x0D, "Enter");
    set(0x10, "Shift");
    set(0x11, "Ctrl");
    set(0x12, "Alt");
    set(0x13, "Pause");
    set(0x14, "Caps Lock");
    set(0x1B, "Escape");
    set(0x20, "Space");
    set(0x21, "Page Up");
    set(0x22, "Page Down");
    set(0x23, "End");
    set(0x24, "Home");
    set(0x25, "Left Arrow");
    set(0x26, "Up Arrow");
    set(0x27, "Right Arrow");
    set(0x28, "Down Arrow");
    set(0x2D, "Insert");
    set(0x2E, "Delete");
    for (int d = 0; d <= 9; d++) {
      char s[2] = {char('0' + d), 0};
      set(0x30 + d, s);
    }
    for (int l = 0; l < 26; l++) {
      char s[2] = {char('A' + l), 0};
      set(0x41 + l, s);
    }
    set(0x5B, "Left Win");
    set(0x5C, "Right Win");
    set(0x5D, "Application");
    for (int d = 0; d <= 9; d++) {
      char s[16];
      snprintf(s, sizeof(s), "NumPad %d", d);
      set(0x60 + d, s);
    }
    set(0x6A, "Multiply");
    set(0x6B, "Add");
    set(0x6D, "Subtract");
    set(0x6E, "Decimal");
    set(0x6F, "Divide");
    for (int f = 1; f <= 12; f++) {
      char s[8];
      snprintf(s, sizeof(s), "F%d", f);
      set(0x6F + f, s);
    }
    set(0x90, "Num Lock");
    set(0x91, "Scroll Lock");
    set(0xBA, "Semicolon");
    set(0xBB, "Equals");
    set(0xBC, "Comma");
    set(0xBD, "Minus");
    set(0xBE, "Period");
    set(0xBF, "Slash");
    set(0xC0, "Grave");
    set(0xDB, "Left bracket");
    set(0xDC, "Backslash");
    set(0xDD, "Right bracket");
    set(0xDE, "Apostrophe");
  }
};
const KeyNames key_names;

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
}  // namespace

bool getEvent(InputEvent& ev) {
  EventNode* n = queue_head;
  if (!n) return false;
  ev = n->ev;
  queue_head = n->next;
  if (!queue_head) queue_tail = nullptr;
  dlfree(n);
  return true;
}

void getMousePos(float& x, float& y) {
  x = mouse_x;
  y = mouse_y;
}

void setMousePos(float x, float y) {
  int sx = int(x), sy = int(y);
  plat_client_to_screen(input_window, &sx, &sy);
  plat_set_cursor_pos(sx, sy);
}

int getMouseWheel() { return wheel_sum; }
bool isMouseOver() { return mouse_over; }
bool getKeyState(int vk) { return plat_key_held(vk); }
bool keyDown(int code) { return code >= 0 && code < 256 && (key_bytes[code] & 1); }
bool keyUp(int code) { return code >= 0 && code < 256 && (key_bytes[code] & 2); }
const char* getKeyName(int code) {
  if (code < 0 || code >= 256) return "?";
  return key_names.names[code];
}
int getKey() { return last_key; }
int getChar() { return last_char; }

void init_input(WindowHandle window) {
  input_window = window;
  int x = 0, y = 0;
  plat_get_cursor_pos(&x, &y);
  plat_screen_to_client(window, &x, &y);
  mouse_x = float(x);
  mouse_y = float(y);
  mouse_captured = false;
  memset(key_bytes, 0, sizeof(key_bytes));
}

void push_input_event(int kind, int code, int scan_code, int flags, int x, int y) {
  InputEvent ev{};
  ev.kind = kind;
  uint8_t state[256];
  plat_get_keyboard_state(state);
  if (kind == IE_KEY_DOWN || kind == IE_KEY_UP) {
    if (code >= 0 && code < 256) {
      if (kind == IE_KEY_DOWN && !(flags & IF_REPEAT)) key_bytes[code] |= 1;
      if (kind == IE_KEY_UP) key_bytes[code] |= 2;
    }
    ev.character = plat_to_ascii(code, scan_code, state);
    ev.code = code;
  } else if (kind == IE_WHEEL) {
    ev.code = 0;
    ev.wheel = code;
    plat_screen_to_client(input_window, &x, &y);
  } else if (kind == IE_MOUSE_DOWN) {
    if (code >= 0 && code < 256) key_bytes[code] |= 1;
    ev.code = code;
    plat_capture_mouse(input_window);
    mouse_captured = true;
  } else if (kind == IE_MOUSE_UP) {
    if (code >= 0 && code < 256) key_bytes[code] |= 2;
    ev.code = code;
    plat_release_mouse();
    // The cursor goes back where the game last saw it.
    int sx = int(mouse_x), sy = int(mouse_y);
    plat_client_to_screen(input_window, &sx, &sy);
    plat_set_cursor_pos(sx, sy);
    x = int(mouse_x);
    y = int(mouse_y);
    mouse_captured = false;
  } else {
    ev.code = 0;
  }
  int f = flags;
  if (state[VK_SHIFT] & 0x80) f |= IF_SHIFT;
  if (state[VK_CONTROL] & 0x80) f |= IF_CTRL;
  if (state[VK_MENU] & 0x80) f |= IF_ALT;
  if (state[VK_CAPITAL] & 1) f |= IF_CAPSLOCK;
  if (state[VK_SCROLL] & 1) f |= IF_SCROLLLOCK;
  if (state[VK_NUMLOCK] & 1) f |= IF_NUMLOCK;
  if (state[VK_LBUTTON] & 0x80) f |= IF_LBUTTON;
  if (state[VK_RBUTTON] & 0x80) f |= IF_RBUTTON;
  if (state[VK_MBUTTON] & 0x80) f |= IF_MBUTTON;
  ev.flags = f;
  if (kind == IE_KEY_DOWN || kind == IE_KEY_UP) {
    ev.x = mouse_x;
    ev.y = mouse_y;
  } else {
    float maxx = float(d3d_wd > 0 ? d3d_wd - 1 : 0), maxy = float(d3d_ht > 0 ? d3d_ht - 1 : 0);
    ev.x = clampf(float(x), 0, maxx);
    ev.y = clampf(float(y), 0, maxy);
  }
  EventNode* n = (EventNode*)dlmalloc(sizeof(EventNode));
  if (!n) return;
  n->ev = ev;
  n->next = nullptr;
  if (queue_tail) queue_tail->next = n;
  else queue_head = n;
  queue_tail = n;
  if (kind == IE_KEY_DOWN || kind == IE_MOUSE_DOWN) {
    last_key = code;
    last_char = ev.character;
  } else if (kind == IE_MOUSE_MOVE) {
    mouse_x = ev.x;
    mouse_y = ev.y;
  } else if (kind == IE_WHEEL) {
    wheel_sum += ev.wheel;
  }
}

void update_mouse_over() {
  if (mouse_captured || isFullscreen) {
    mouse_over = true;
    return;
  }
  int x, y;
  plat_get_cursor_pos(&x, &y);
  PlatRect r;
  if (!input_window || !plat_get_window_rect(input_window, &r)) {
    mouse_over = false;
    return;
  }
  mouse_over = x >= r.left && x < r.right && y >= r.top && y < r.bottom && plat_window_under_cursor() == input_window;
}

void clear_input() {
  memset(key_bytes, 0, sizeof(key_bytes));
  EventNode* n = queue_head;
  while (n) {
    EventNode* next = n->next;
    dlfree(n);
    n = next;
  }
  queue_head = queue_tail = nullptr;
  last_key = last_char = wheel_sum = 0;
}

int input_queue_length() {
  int n = 0;
  for (EventNode* e = queue_head; e; e = e->next) n++;
  return n;
}
