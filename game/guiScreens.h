// What the program holds of the actor library's GUI screens: each screen singleton with its class's
// factory (link_gui fills the factories after every bind; the factories fill the singletons), the
// menu state that the game modes and the screens share, and the three styles. Unbinding tears the
// trees and sheets down while the library's code is still loaded. The GUI runtime (elements,
// events, behaviours, styles) is the engine's: engine/guiRuntime.h, engine/guiBaseRuntime.h.
#pragma once
#include "engine/guiRuntime.h"

struct Sprite;

typedef BaseGuiScreen* (*CreateScreenFn)();

struct GuiScreenSingleton {
  BaseGuiScreen* screen;
  CreateScreenFn createScreen;
};
// In the order unbinding and link_gui visit them.
extern GuiScreenSingleton tooltip_screen, game_controls_screen, game_options_screen, interworld_warning_screen,
    main_menu_screen, upgrade_screen, hud_screen, credits_screen, game_menu_screen;
enum { NUM_GUI_SCREENS = 9 };
GuiScreenSingleton& gui_screen_singleton(int i);

extern GuiStyle common_style, hud_style, tooltip_style;

// The menu screen now shown and driven (null: none).
extern BaseGuiScreen* cur_game_screen;
// Set by a menu that is done (play, continue, back to game); every open_* clears it.
extern bool should_close_game_menu;
// Set only by a setting change that takes effect at the next start; the options screen then shows
// its restart note. No option of today needs it.
extern bool need_game_restart;
// The HUD's crosshair, looked up by the library's GUI start-up.
extern Sprite* crosshair_spr;

// The pause menu's "Exit to main menu": the game modes provide it; until they do, a stand-in
// closes the menu.
void go_to_main_menu();
