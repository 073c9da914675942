// The input layer: the window procedure's keyboard and mouse messages become a queue of InputEvents
// and a per-update key state, both consumed by one update step and cleared after it.
#pragma once
#include "platform/platform.h"

enum InputEventKind {
  IE_KEY_DOWN = 1,
  IE_KEY_UP = 2,
  IE_MOUSE_DOWN = 3,
  IE_MOUSE_UP = 4,
  IE_MOUSE_MOVE = 5,
  IE_WHEEL = 6
};

enum InputFlags {
  IF_SHIFT = 0x1,
  IF_CTRL = 0x2,
  IF_ALT = 0x4,
  IF_CAPSLOCK = 0x8,
  IF_SCROLLLOCK = 0x10,
  IF_NUMLOCK = 0x20,
  IF_REPEAT = 0x40,
  IF_LBUTTON = 0x80,
  IF_RBUTTON = 0x100,
  IF_MBUTTON = 0x200,
};

struct InputEvent {
  int kind;
  int code;
  int flags;
  int character;
  int wheel;
  float x, y;
};

bool getEvent(InputEvent& ev);
void getMousePos(float& x, float& y);
void setMousePos(float x, float y);
int getMouseWheel();
bool isMouseOver();
bool getKeyState(int vk);
bool keyDown(int code);
bool keyUp(int code);
const char* getKeyName(int code);
int getKey();
int getChar();

void init_input(WindowHandle window);
void push_input_event(int kind, int code, int scan_code, int flags, int x, int y);
void update_mouse_over();
void clear_input();
int input_queue_length();
