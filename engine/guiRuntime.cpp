// Event delivery, hit testing, the standard behaviours and their registry, the screens' input
// processing and the deferred destruction (see guiRuntime.h).
#include "engine/guiRuntime.h"
#include <string.h>
#include "engine/gameHost.h"

// ---- delivery

int send_event(NewGuiEvent& event, BaseGuiElement* element, int mode, BaseGuiElement* stop) {
  if (!element) return 0;
  switch (mode) {
    case GUI_SEND_ANCESTORS_FIRST: {
      if (element != stop && element->parent) {
        int r = send_event(event, element->parent, GUI_SEND_ANCESTORS_FIRST, stop);
        if (r) return r;
      }
      return element->handleEvent(event, mode);
    }
    case GUI_SEND_BUBBLE: {
      for (BaseGuiElement* e = element; e;) {
        int r = e->handleEvent(event, mode);
        if (r) return r;
        if (e == stop) return 0;
        e = e->parent;
      }
      return 0;
    }
    case GUI_SEND_SELF:
      return element->handleEvent(event, mode);
    case GUI_SEND_BROADCAST: {
      int r = element->handleEvent(event, mode);
      if (r == GUI_NOT_HERE) return 0;
      if (r) return r;
      // The child list may change under a handler: index and count are read on every step.
      for (int i = 0; i < element->children.size(); i++) {
        r = send_event(event, element->children[i], GUI_SEND_BROADCAST, stop);
        if (r) return r;
      }
      return 0;
    }
    default:
      return 0;
  }
}

// Asks the root's own handlers (any answer, 2 included, ends it), then broadcasts to its children in
// order until one answers.
static int ask_tree(NewGuiEvent& event, BaseGuiElement* root) {
  int r = root->handleEvent(event, GUI_SEND_BROADCAST);
  if (r) return r;
  for (int i = 0; i < root->children.size(); i++) {
    r = send_event(event, root->children[i], GUI_SEND_BROADCAST, nullptr);
    if (r) return r;
  }
  return 0;
}

BaseGuiElement* hit_test(BaseGuiElement* root, float x, float y) {
  if (!root) return nullptr;
  NewGuiHittestEvent e(x, y);
  ask_tree(e, root);
  return e.found;
}

// The box test of the hit and tooltip boxes: the min edges are outside, the max edges inside.
static bool in_margin_box(const GuiElement* e, float x, float y) {
  alignas(16) float b[4];
  _mm_store_ps(b, e->marginBox);
  return b[0] < x && x <= b[2] && b[1] < y && y <= b[3];
}

// Children first (earlier children lie on top); the first child that answers 1 wins.
static int ask_children_first(NewGuiEvent& event, GuiElement* element, int mode) {
  for (int i = 0; i < element->children.size(); i++)
    if (send_event(event, element->children[i], mode, nullptr) == GUI_HANDLED) return GUI_HANDLED;
  return GUI_NOT_HANDLED;
}

namespace {

struct NewGuiHittestHandler : NewGuiEventHandler {
  NewGuiHittestHandler() : NewGuiEventHandler(GE_HITTEST) {}
  int handle(NewGuiEvent& event, GuiElement* element, int mode) override {
    if (!element || event.type != GE_HITTEST || element->get<GP_hidden>()) return GUI_NOT_HANDLED;
    if (ask_children_first(event, element, mode) == GUI_HANDLED) return GUI_HANDLED;
    auto& hit = static_cast<NewGuiHittestEvent&>(event);
    if (!in_margin_box(element, hit.x, hit.y)) return GUI_NOT_HERE;
    hit.found = element;
    return GUI_HANDLED;
  }
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}
};

struct TooltipBoxBehavior : NewGuiEventHandler {
  TooltipBoxBehavior() : NewGuiEventHandler(GE_TOOLTIP) {}
  int handle(NewGuiEvent& event, GuiElement* element, int mode) override {
    if (!element || event.type != GE_TOOLTIP || element->get<GP_hidden>()) return GUI_NOT_HANDLED;
    if (ask_children_first(event, element, mode) == GUI_HANDLED) return GUI_HANDLED;
    auto& query = static_cast<NewGuiTooltipEvent&>(event);
    if (!in_margin_box(element, query.x, query.y)) return GUI_NOT_HERE;
    const char* tip = element->stringOf(GP_tooltip);
    if (tip[0]) gui_show_tooltip(tip, element->marginBox);
    else gui_hide_tooltip();
    return GUI_HANDLED;
  }
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}
};

bool button_held(const NewGuiEvent& event) {
  return (static_cast<const NewGuiInputEvent&>(event).input.flags & GUI_BUTTON_HELD) != 0;
}

struct ButtonBehavior : NewGuiEventHandler {
  ButtonBehavior() : NewGuiEventHandler(0x4F0) {}
  int handle(NewGuiEvent& event, GuiElement* element, int) override {
    if (event.type == GE_NOTIFY) {
      bool was = element->get<GP_pressed>();
      element->set<GP_pressed>(false);
      element->set<GP_hover>(false);
      if (was) element->pressEnded.emit();
      return GUI_NOT_HANDLED;
    }
    if (!element->isVisible()) return GUI_NOT_HANDLED;
    bool was = element->get<GP_pressed>();
    auto& in = static_cast<NewGuiInputEvent&>(event);
    switch (event.type) {
      case GE_ENTER:
        element->set<GP_pressed>(button_held(event));
        element->set<GP_hover>(true);
        break;
      case GE_LEAVE:
        element->set<GP_pressed>(false);
        element->set<GP_hover>(false);
        break;
      case GE_MOUSE_DOWN:
        element->set<GP_pressed>(true);
        break;
      case GE_MOUSE_UP: {
        bool held = button_held(event);
        element->set<GP_pressed>(held);
        bool over = hit_test(element, in.input.x, in.input.y) == element;
        element->set<GP_hover>(over);
        // The pressed flag may have been cleared by the click's listeners (a screen switch): the
        // element stays alive until the end of the step, so touching it afterwards is safe.
        if (!held && over) action(element, in);
        break;
      }
      default:
        break;
    }
    bool now = element->get<GP_pressed>();
    if (now != was) {
      if (now) element->pressBegan.emit();
      else element->pressEnded.emit();
    }
    return GUI_HANDLED;
  }
  virtual void action(GuiElement* element, NewGuiInputEvent& event) {
    element->clickedBy.emit(element, event.input.code);
    element->clicked.emit(element->get<GP_checked>());
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

struct CheckboxBehavior : ButtonBehavior {
  void action(GuiElement* element, NewGuiInputEvent& event) override {
    bool v = !element->get<GP_checked>();
    element->set<GP_checked>(v);
    element->toggled.emit(v);
    ButtonBehavior::action(element, event);
  }
  void attach(GuiElement* element) override {
    ButtonBehavior::attach(element);
    // Makes the checked state the element's own, whatever a rule gave it.
    element->set<GP_checked>(element->get<GP_checked>());
  }
};

struct RadioButtonBehavior : ButtonBehavior {
  void action(GuiElement* element, NewGuiInputEvent& event) override {
    if (GuiElement* group = element->parentElement()) {
      for (int i = 0; i < group->children.size(); i++) {
        GuiElement* c = group->child(i);
        if (c->hasBehavior(this)) c->set<GP_checked>(c == element);
      }
      for (int i = 0; i < group->children.size(); i++) {
        GuiElement* c = group->child(i);
        if (c->hasBehavior(this)) c->toggled.emit(c->get<GP_checked>());
      }
    }
    ButtonBehavior::action(element, event);
  }
  void attach(GuiElement* element) override {
    ButtonBehavior::attach(element);
    element->set<GP_checked>(element->get<GP_checked>());
  }
};

GuiElement* find_knob(GuiElement* slider) {
  for (int i = 0; i < slider->children.size(); i++)
    if (slider->child(i)->hasClass(6)) return slider->child(i);
  return nullptr;
}

float box_width(__m128 b) {
  alignas(16) float f[4];
  _mm_store_ps(f, b);
  return f[2] - f[0];
}

// Moves the knob to fraction t of the track (the track is the content width less the knob's).
void move_knob(GuiElement* slider, GuiElement* knob, float t) {
  float knob_width = box_width(knob->marginBox);
  float track = box_width(slider->contentBox) - knob_width;
  alignas(16) float m[4];
  _mm_store_ps(m, knob->getAnimated<GP_margin>());
  float scale = float(slider->uiScale > 0 ? slider->uiScale : 1);
  knob->set<GP_margin>(_mm_setr_ps(t * track / scale, m[1], (track - t * track) / scale, m[3]));
}

float clamp_unit(double t) { return t < 0 ? 0.0f : t > 1 ? 1.0f : float(t); }

struct HSliderBehavior : NewGuiEventHandler {
  HSliderBehavior() : NewGuiEventHandler(0x5F1) {}
  int handle(NewGuiEvent& event, GuiElement* element, int) override {
    if (event.type == GE_CUSTOM) {
      if (static_cast<NewGuiCustomEvent&>(event).code != 1) return GUI_NOT_HANDLED;
      double maximum = element->get<GP_max_value>();
      if (maximum == 0) maximum = 1;
      place_slider_knob(element, element->get<GP_value>() / maximum);
      return GUI_HANDLED;
    }
    if (event.type == GE_NOTIFY) {
      element->set<GP_pressed>(false);
      element->set<GP_hover>(false);
      return GUI_NOT_HANDLED;
    }
    if (!element->isVisible()) return GUI_NOT_HANDLED;
    auto& in = static_cast<NewGuiInputEvent&>(event);
    if (event.type == GE_ENTER) element->set<GP_hover>(true);
    else if (event.type == GE_LEAVE) element->set<GP_hover>(false);
    else element->set<GP_hover>(hit_test(element, in.input.x, in.input.y) == element);
    if (!button_held(event)) {
      element->set<GP_pressed>(false);
      return GUI_HANDLED;
    }
    element->set<GP_pressed>(true);
    GuiElement* knob = find_knob(element);
    if (!knob) return GUI_HANDLED;
    float knob_width = box_width(knob->marginBox);
    float track = box_width(element->contentBox) - knob_width;
    alignas(16) float c[4];
    _mm_store_ps(c, element->contentBox);
    float t = track > 0 ? clamp_unit((in.input.x - knob_width * 0.5f - c[0]) / track) : 0.0f;
    // A maximum of 0 here stays 0 (the knob placement reads it as 1).
    double value = double(t) * element->get<GP_max_value>();
    if (value != element->get<GP_value>()) {
      element->set<GP_value>(value);
      element->valueChanged.emit(element);
    }
    move_knob(element, knob, t);
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

NewGuiHittestHandler hittest_box;
TooltipBoxBehavior tooltip_box;
ButtonBehavior button;
CheckboxBehavior checkbox;
RadioButtonBehavior radio_button;
HSliderBehavior h_slider;

struct NamedBehavior {
  const char* name;
  NewGuiEventHandler* handler;
};
DynArray<NamedBehavior> behavior_registry;

DynArray<BaseGuiScreen*> queued_screens;
DynArray<BaseGuiElement*> queued_elements;

}  // namespace

NewGuiEventHandler* const gui_hittest_box_handler = &hittest_box;
NewGuiEventHandler* const button_behavior = &button;

void place_slider_knob(GuiElement* slider, double fraction) {
  if (!slider) return;
  if (GuiElement* knob = find_knob(slider)) move_knob(slider, knob, clamp_unit(fraction));
}

void register_behavior(NewGuiEventHandler* handler, const char* name) {
  if (!handler || !name || get_behavior(name)) return;
  behavior_registry.push_back(NamedBehavior{name, handler});
}

NewGuiEventHandler* get_behavior(const char* name) {
  if (!name) return nullptr;
  for (const NamedBehavior& b : behavior_registry)
    if (strcmp(b.name, name) == 0) return b.handler;
  return nullptr;
}

void register_std_behaviors() {
  register_behavior(&hittest_box, "solid_box");
  register_behavior(&button, "button");
  register_behavior(&checkbox, "checkbox");
  register_behavior(&radio_button, "radio_button");
  register_behavior(&tooltip_box, "tooltip_box");
  register_behavior(&h_slider, "h_slider");
}

// ---- handlers of an element

int BaseGuiElement::handleEvent(NewGuiEvent& event, int mode) {
  if (!(handlerMask & event.type) || handlers.empty()) return 0;
  GuiElement* self = static_cast<GuiElement*>(this);
  for (int i = 0; i < handlers.size(); i++) {
    NewGuiEventHandler* h = handlers[i];
    if (!(h->mask & event.type)) continue;
    int r = h->handle(event, self, mode);
    if (r) return r;
  }
  return 0;
}

void BaseGuiElement::addBehavior(NewGuiEventHandler* handler) {
  if (!handler || hasBehavior(handler)) return;
  handlers.push_back(handler);
  handler->attach(static_cast<GuiElement*>(this));
  handlerMask |= handler->mask;
}

bool BaseGuiElement::addBehavior(const char* name) {
  NewGuiEventHandler* h = get_behavior(name);
  if (!h) return false;
  addBehavior(h);
  return true;
}

// ---- screens: input

static uint32_t event_type_of(int kind) {
  switch (kind) {
    case IE_KEY_DOWN:
    case IE_KEY_UP:
      return GE_INPUT;
    case IE_MOUSE_DOWN:
      return GE_MOUSE_DOWN;
    case IE_MOUSE_UP:
      return GE_MOUSE_UP;
    case IE_MOUSE_MOVE:
      return GE_MOUSE_MOVE;
    case IE_WHEEL:
      return GE_WHEEL;
    default:
      assert_failed("guiRuntime", 493, "!\"unknown input event type\"");
  }
}

// Sends enter or leave to one element, reusing the current event with its type overwritten.
static void send_crossing(NewGuiInputEvent& event, GuiElement* element, uint32_t type) {
  uint32_t saved = event.type;
  event.type = type;
  send_event(event, element, GUI_SEND_SELF, nullptr);
  event.type = saved;
}

// Counts resetState calls: a switch of the menu screen resets both screens, which tells
// processInput that the screen it is feeding has just been left.
static unsigned screen_resets = 0;

void BaseGuiScreen::processInput() {
  NewGuiInputEvent event;
  unsigned resets = screen_resets;
  while (getEvent(event.input)) {
    event.type = GE_INPUT;
    GuiElement* target;
    if (captured) {
      target = captured;
      if (event.input.flags & GUI_BUTTON_HELD) {
        GuiElement* hit = root ? static_cast<GuiElement*>(hit_test(root, event.input.x, event.input.y)) : nullptr;
        if (hit != hovered) {
          if (hovered) send_crossing(event, hovered, GE_LEAVE);
          hovered = nullptr;
          if (hit == captured) {
            hovered = hit;
            send_crossing(event, hovered, GE_ENTER);
          }
        }
      } else {
        captured = nullptr;
      }
    } else {
      if (!root) continue;
      GuiElement* hit = static_cast<GuiElement*>(hit_test(root, event.input.x, event.input.y));
      if (hit != hovered) {
        if (hovered) send_crossing(event, hovered, GE_LEAVE);
        hovered = hit;
        if (hit) send_crossing(event, hit, GE_ENTER);
      }
      target = hit;
    }
    processInputEvent(event, target);
    if (screen_resets != resets) {
      // A click switched screens: the rest of this update's input was aimed at the screen that is
      // gone, and one click acts on one screen only.
      InputEvent rest;
      while (getEvent(rest)) {}
      break;
    }
  }
  if (!root) return;
  float x, y;
  getMousePos(x, y);
  NewGuiTooltipEvent query(x, y);
  if (ask_tree(query, root) != GUI_HANDLED) gui_hide_tooltip();
}

void BaseGuiScreen::processInputEvent(NewGuiInputEvent& event, GuiElement* target) {
  if (event.input.kind == IE_MOUSE_DOWN) captured = target;
  event.type = event_type_of(event.input.kind);
  if (event.type != GE_INPUT) {
    if (target) send_event(event, target, GUI_SEND_SELF, nullptr);
    return;
  }
  if (target) {
    for (BaseGuiElement* e = target; e; e = e->parent) {
      if (e->handleEvent(event, GUI_SEND_BUBBLE)) return;
      if (e == root) return;
    }
    return;
  }
  if (root) ask_tree(event, root);
}

void BaseGuiScreen::resetState() {
  screen_resets++;
  captured = nullptr;
  if (hovered) {
    NewGuiInputEvent leave;
    leave.input.kind = IE_MOUSE_MOVE;
    getMousePos(leave.input.x, leave.input.y);
    leave.type = GE_LEAVE;
    send_event(leave, hovered, GUI_SEND_SELF, nullptr);
    hovered = nullptr;
  }
}

// ---- deferred destruction

void queue_destruction(BaseGuiElement* element) {
  if (element && queued_elements.find(element) < 0) queued_elements.push_back(element);
}
void queue_destruction(BaseGuiScreen* screen) {
  if (screen && queued_screens.find(screen) < 0) queued_screens.push_back(screen);
}

template <class T>
static void destroy_queue(DynArray<T*>& queue) {
  int i = 0;
  for (; i < queue.size(); i++) {
    T* p = queue[i];
    queue[i] = nullptr;
    delete p;
  }
  queue.remove(0, i);
}

void destroy_queued_gui_elements() {
  destroy_queue(queued_screens);
  destroy_queue(queued_elements);
}

int queued_gui_destruction_count() { return queued_screens.size() + queued_elements.size(); }

// An element deleted as part of a tree while also queued on its own is taken off the queue, so the
// queue never deletes it twice.
void forget_queued_element(BaseGuiElement* element) {
  for (int i = 0; i < queued_elements.size(); i++)
    if (queued_elements[i] == element) queued_elements[i] = nullptr;
}
