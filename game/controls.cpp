// Button bindings. Settings hold "#<key code>" under the button's name; a value that is not a key
// code (empty, not "#<number>", or outside 0..255) keeps the default, with a line in the log. Also
// the "keybox" behaviour, with which the controls screen captures a new key.
//
// The Menu button takes keyboard keys only: the mouse buttons point and click in the menus, and a
// Menu on a mouse button would turn every click there into Back or Cancel (the Controls screen could
// never be reached again to undo it) and every shot into a pause. Such a binding is refused when
// chosen and, read from an older settings file, gives way to the default, each with a log line.
#include "game/controls.h"
#include <stdlib.h>
#include "engine/config.h"
#include "engine/guiRuntime.h"
#include "engine/input.h"
#include "engine/log.h"
#include "platform/vkeys.h"

namespace {
const char* const button_setting[NUM_BUTTONS] = {"B_left", "B_right", "B_jump", "B_shoot", "B_menu"};
const char* const button_ui_name[NUM_BUTTONS] = {"Left", "Right", "Jump", "Shoot", "Menu"};
const int button_default[NUM_BUTTONS] = {65, 68, 87, 1, 27};
int button_key[NUM_BUTTONS] = {65, 68, 87, 1, 27};
}  // namespace

namespace {
// A key box: hovering it and pressing a key or a mouse button over it reports that key through
// the element's clickedBy signal; the screen binds it.
struct KeyBoxBehavior : NewGuiEventHandler {
  KeyBoxBehavior() : NewGuiEventHandler(GE_INPUT | GE_ENTER | GE_LEAVE | GE_MOUSE_DOWN | GE_NOTIFY) {}
  int handle(NewGuiEvent& event, GuiElement* element, int) override {
    if (event.type == GE_NOTIFY) {
      element->set<GP_pressed>(false);
      element->set<GP_hover>(false);
      return GUI_NOT_HANDLED;
    }
    if (!element->isVisible()) return GUI_NOT_HANDLED;
    if (event.type == GE_ENTER || event.type == GE_LEAVE) {
      element->set<GP_hover>(event.type == GE_ENTER);
      return GUI_HANDLED;
    }
    const InputEvent& in = static_cast<NewGuiInputEvent&>(event).input;
    bool key_down = event.type == GE_INPUT && in.kind == IE_KEY_DOWN;
    if ((key_down || event.type == GE_MOUSE_DOWN) && hit_test(element, in.x, in.y) == element)
      element->clickedBy.emit(element, in.code);
    return GUI_HANDLED;
  }
  void attach(GuiElement* element) override {
    element->set<GP_pressed>(false);
    element->set<GP_hover>(false);
  }
  void detach(GuiElement* element) override {
    element->set<GP_pressed>(false);
    element->set<GP_hover>(false);
  }
};
KeyBoxBehavior keybox_behavior;

bool is_mouse_button(int key) { return key == VK_LBUTTON || key == VK_RBUTTON || key == VK_MBUTTON; }

bool binding_allowed(int i, int key) { return i != B_menu || !is_mouse_button(key); }

// The key code of a stored binding, or -1 when the text is not "#<0..255>".
int parse_binding(const char* text) {
  if (text[0] != '#' || !text[1]) return -1;
  char* end = nullptr;
  long code = strtol(text + 1, &end, 10);
  if (*end || code < 0 || code > 255) return -1;
  return int(code);
}
}  // namespace

void init_controls() {
  for (int i = 0; i < NUM_BUTTONS; i++) {
    button_key[i] = button_default[i];
    char buf[64];
    if (!get_config_str(button_setting[i], buf, sizeof(buf))) continue;
    int code = parse_binding(buf);
    if (code < 0) debug("%s: \"%s\" is not a key, using #%d", button_setting[i], buf, button_default[i]);
    else if (!binding_allowed(i, code))
      debug("%s: \"%s\" is a mouse button, which clicks in the menus; using #%d", button_setting[i], buf,
            button_default[i]);
    else button_key[i] = code;
  }
  register_behavior(&keybox_behavior, "keybox");
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
  if (!binding_allowed(i, key)) {
    debug("%s: #%d is a mouse button, which clicks in the menus; keeping #%d", button_setting[i], key, button_key[i]);
    return;
  }
  button_key[i] = key;
  char buf[16];
  snprintf(buf, sizeof(buf), "#%d", key);
  set_config_str(button_setting[i], buf);
}
