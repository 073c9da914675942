// Button bindings. Settings hold "#<key code>" under the button's name; a malformed value binds
// key code 0, which no key produces.
#include "game/controls.h"
#include <stdlib.h>
#include "engine/config.h"
#include "engine/input.h"

namespace {
const char* const button_setting[NUM_BUTTONS] = {"B_left", "B_right", "B_jump", "B_shoot", "B_menu"};
const char* const button_ui_name[NUM_BUTTONS] = {"Left", "Right", "Jump", "Shoot", "Menu"};
const int button_default[NUM_BUTTONS] = {65, 68, 87, 1, 27};
int button_key[NUM_BUTTONS] = {65, 68, 87, 1, 27};
}  // namespace

void init_controls() {
  for (int i = 0; i < NUM_BUTTONS; i++) {
    button_key[i] = button_default[i];
    char buf[64];
    if (get_config_str(button_setting[i], buf, sizeof(buf)) && buf[0] == '#') button_key[i] = atoi(buf + 1);
  }
}

bool button_down(int i) { return unsigned(i) < NUM_BUTTONS && keyDown(button_key[i]); }
bool button_up(int i) { return unsigned(i) < NUM_BUTTONS && keyUp(button_key[i]); }
bool button_state(int i) { return unsigned(i) < NUM_BUTTONS && getKeyState(button_key[i]); }
const char* get_button_ui_name(int i) { return unsigned(i) < NUM_BUTTONS ? button_ui_name[i] : nullptr; }
int get_button_key(int i) { return unsigned(i) < NUM_BUTTONS ? button_key[i] : 0; }

TempString<260> get_button_key_name(int i) {
  TempString<260> r;
  if (unsigned(i) < NUM_BUTTONS) r.assign(getKeyName(button_key[i]));
  return r;
}

void set_button_key(int i, int key) {
  if (unsigned(i) >= NUM_BUTTONS) return;
  button_key[i] = key;
  char buf[16];
  snprintf(buf, sizeof(buf), "#%d", key);
  set_config_str(button_setting[i], buf);
}
