// Finding a screen's element the way a player does, by the text it shows: the tests and the whole
// run click buttons by their label rather than by a place in the tree, so a layout change does not
// send a click elsewhere unnoticed.
#pragma once
#include <string.h>
#include "engine/guiBaseRuntime.h"

// The first element of the tree under e, depth first, whose text is exactly text; null when none.
inline GuiElement* find_by_text(GuiElement* e, const char* text) {
  if (!e) return nullptr;
  if (strcmp(e->text(), text) == 0) return e;
  for (int i = 0; i < e->children.size(); i++)
    if (GuiElement* r = find_by_text(e->child(i), text)) return r;
  return nullptr;
}
