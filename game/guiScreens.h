// What the program holds of the actor library's GUI screens: each screen singleton with its class's
// factory (link_gui fills both after every bind), the deferred deletion of element trees and the
// three style sheets. Unbinding tears these down while the library's code is still loaded. The GUI
// runtime that builds, runs and draws the screens comes with the screens themselves; until then no
// screen is ever created, so the singletons stay null and the sheets empty.
#pragma once
#include "engine/cont/dynArray.h"

struct BaseGuiScreen {
  virtual ~BaseGuiScreen() = default;
  // Queues the screen's element tree for destruction; the code is the library's.
  virtual void destroyRoot() {}
};
typedef BaseGuiScreen* (*CreateScreenFn)();

struct GuiScreenSingleton {
  BaseGuiScreen* screen;
  CreateScreenFn createScreen;
};
// In the order unbinding visits them.
extern GuiScreenSingleton tooltip_screen, game_controls_screen, game_options_screen, interworld_warning_screen,
    main_menu_screen, upgrade_screen, hud_screen, credits_screen, game_menu_screen;
enum { NUM_GUI_SCREENS = 9 };
GuiScreenSingleton& gui_screen_singleton(int i);

// A style sheet is built by the library's link_gui; the program only destroys it.
struct GuiStyleSheet {
  virtual ~GuiStyleSheet() = default;
};
struct GuiStyle {
  DynArray<GuiStyleSheet*> sheets;
  // Destroys every sheet and sets the count to 0; the storage stays.
  void clearSheets();
};
extern GuiStyle common_style, hud_style, tooltip_style;

// Deletes the element trees queued by destroyRoot (and by the screens while they run).
void destroy_queued_gui_elements();
// Queues an element tree's root for deletion at the end of the update step.
void queue_gui_element_deletion(void (*destroy)(void* root), void* root);
