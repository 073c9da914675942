// Storage of the GUI screen singletons, their factories, the style sheets and the queue of element
// trees waiting for deletion (see guiScreens.h).
#include "game/guiScreens.h"

GuiScreenSingleton tooltip_screen, game_controls_screen, game_options_screen, interworld_warning_screen,
    main_menu_screen, upgrade_screen, hud_screen, credits_screen, game_menu_screen;

GuiScreenSingleton& gui_screen_singleton(int i) {
  static GuiScreenSingleton* const order[NUM_GUI_SCREENS] = {
      &tooltip_screen, &game_controls_screen, &game_options_screen, &interworld_warning_screen, &main_menu_screen,
      &upgrade_screen, &hud_screen,           &credits_screen,      &game_menu_screen};
  return *order[i];
}

GuiStyle common_style, hud_style, tooltip_style;

void GuiStyle::clearSheets() {
  for (GuiStyleSheet* s : sheets) delete s;
  sheets.num = 0;
}

namespace {
struct QueuedTree {
  void (*destroy)(void*);
  void* root;
};
DynArray<QueuedTree> queued_trees;
}  // namespace

void queue_gui_element_deletion(void (*destroy)(void*), void* root) {
  queued_trees.push_back(QueuedTree{destroy, root});
}

void destroy_queued_gui_elements() {
  // A destroy may queue further trees: the walk re-reads the count.
  for (int i = 0; i < queued_trees.size(); i++) queued_trees[i].destroy(queued_trees[i].root);
  queued_trees.clear();
}
