// The GUI runtime: delivery of events through an element tree, hit testing, the standard behaviours
// (buttons, checkboxes, radio buttons, sliders, hit and tooltip boxes) and their registry by name,
// and the deferred destruction of elements and screens. The screens' input processing that turns
// queued input into these events is BaseGuiScreen's (guiBaseRuntime.h), implemented here.
// Handlers may emit signals whose listeners change the GUI, so nothing is deleted while a tree is
// walked: elements and screens are queued and deleted at the end of the update step.
#pragma once
#include "engine/guiBaseRuntime.h"

// Delivery modes of send_event.
enum GuiSendMode { GUI_SEND_ANCESTORS_FIRST = 0, GUI_SEND_BUBBLE = 1, GUI_SEND_SELF = 2, GUI_SEND_BROADCAST = 3 };

int send_event(NewGuiEvent& event, BaseGuiElement* element, int mode, BaseGuiElement* stop = nullptr);
// The element under the point (earlier children lie on top), or null.
BaseGuiElement* hit_test(BaseGuiElement* root, float x, float y);

// The registry of named behaviours; the first registration of a name wins.
void register_behavior(NewGuiEventHandler* handler, const char* name);
NewGuiEventHandler* get_behavior(const char* name);
// "solid_box", "button", "checkbox", "radio_button", "tooltip_box", "h_slider".
void register_std_behaviors();

// The hit-box behaviour and the button; the others are reached by name.
extern NewGuiEventHandler* const gui_hittest_box_handler;
extern NewGuiEventHandler* const button_behavior;

// Places a slider's knob at fraction value / maximum (the value itself is not changed).
void place_slider_knob(GuiElement* slider, double fraction);

// Deferred destruction: a pointer is queued once; null is ignored.
void queue_destruction(BaseGuiElement* element);
void queue_destruction(BaseGuiScreen* screen);
// Deletes the queued screens, then the queued elements, including what their destructors queue.
void destroy_queued_gui_elements();
int queued_gui_destruction_count();
