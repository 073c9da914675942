// Storage of the GUI screen singletons, their factories, the menu state and the three styles, and
// the tooltip calls of the GUI runtime into the library (see guiScreens.h).
#include "game/guiScreens.h"
#include "engine/gameHost.h"
#include "game/entlingApi.h"

GuiScreenSingleton tooltip_screen, game_controls_screen, game_options_screen, interworld_warning_screen,
    main_menu_screen, upgrade_screen, hud_screen, credits_screen, game_menu_screen;

GuiScreenSingleton& gui_screen_singleton(int i) {
  static GuiScreenSingleton* const order[NUM_GUI_SCREENS] = {
      &tooltip_screen, &game_controls_screen, &game_options_screen, &interworld_warning_screen, &main_menu_screen,
      &upgrade_screen, &hud_screen,           &credits_screen,      &game_menu_screen};
  return *order[i];
}

GuiStyle common_style, hud_style, tooltip_style;

BaseGuiScreen* cur_game_screen = nullptr;
bool need_game_restart = false;
Sprite* crosshair_spr = nullptr;

void gui_show_tooltip(const char* text, __m128 anchor) {
  if (show_tooltip) show_tooltip(text, vec4float(anchor));
}
void gui_hide_tooltip() {
  if (hide_tooltip) hide_tooltip();
}
