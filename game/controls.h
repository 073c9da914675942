// The five game buttons and the keys bound to them, read from and written to the settings file.
#pragma once
#include "engine/misc/utils.h"

enum GameButton { B_left = 0, B_right = 1, B_jump = 2, B_shoot = 3, B_menu = 4, NUM_BUTTONS = 5 };

void init_controls();
bool button_down(int i);
bool button_up(int i);
bool button_state(int i);
const char* get_button_ui_name(int i);
TempString<260> get_button_key_name(int i);
void set_button_key(int i, int key);  // B_menu refuses the mouse buttons (they click in the menus)
int get_button_key(int i);
