// The GUI probe for tests that drive the game with real input (see guiProbe.h).
#include "game/guiProbe.h"
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include "game/camera.h"
#include "game/entlingApi.h"
#include "game/gameModes.h"
#include "game/guiScreens.h"

namespace {

const char* mode_name() {
  const GameMode* m = cur_game_mode;
  if (!m) return "none";
  if (m == &title_mode) return "title";
  if (m == &play_mode) return "play";
  if (m == &pause_mode) return "pause";
  if (m == &game_over_mode) return "game_over";
  if (m == &elevator_mode) return "elevator";
  if (m == &upgrade_mode) return "upgrade";
  if (m == &view_level_mode) return "view_level";
  return "other";
}

const char* screen_name(const BaseGuiScreen* s) {
  if (!s) return "none";
  if (s == main_menu_screen.screen) return "main_menu";
  if (s == game_menu_screen.screen) return "game_menu";
  if (s == game_options_screen.screen) return "game_options";
  if (s == game_controls_screen.screen) return "game_controls";
  if (s == credits_screen.screen) return "credits";
  if (s == upgrade_screen.screen) return "upgrade";
  if (s == interworld_warning_screen.screen) return "interworld_warning";
  return "other";
}

// Tabs and line breaks in a text would split its line; they become spaces.
void append_clean(std::string& out, const char* s) {
  for (; *s; s++) out += (*s == '\t' || *s == '\n' || *s == '\r') ? ' ' : *s;
}

void describe(std::string& out, const GuiElement* e, int depth) {
  if (!e->isVisible()) return;
  float b[4];
  _mm_storeu_ps(b, e->marginBox);
  char head[160];
  snprintf(head, sizeof(head), "el\t%d\t%d\t%d\t%d\t%d\t", depth, int(b[0]), int(b[1]), int(b[2]), int(b[3]));
  out += head;
  append_clean(out, e->className());
  out += '\t';
  size_t flags = out.size();
  if (e->get<GP_hover>()) out += 'h';
  if (e->get<GP_checked>()) out += 'c';
  if (e->get<GP_pressed>()) out += 'p';
  if (out.size() == flags) out += '-';
  out += '\t';
  append_clean(out, e->idText());
  out += '\t';
  append_clean(out, e->text());
  out += '\n';
  for (int i = 0; i < e->children.size(); i++) describe(out, e->child(i), depth + 1);
}

}  // namespace

void gui_probe_update() {
  static const char* const path = getenv("ASCENDA_GUI_PROBE");
  if (!path || !*path) return;
  static std::string last;
  std::string now = "mode\t";
  now += mode_name();
  now += "\nscreen\t";
  now += screen_name(cur_game_screen);
  now += '\n';
  // Where the hero is while a level runs, so that a test can see a jump land.
  if ((cur_game_mode == &play_mode || cur_game_mode == &pause_mode) && get_hero_pos) {
    vec4float p = get_hero_pos();
    char line[64];
    snprintf(line, sizeof(line), "hero\t%.1f\t%.1f\n", p.x(), p.y());
    now += line;
    // And where the camera is, which follows the hero with a lag: a frame is only the same from
    // run to run once the camera has come to rest too.
    vec4float c = get_camera_pos();
    snprintf(line, sizeof(line), "camera\t%.1f\t%.1f\n", c.x(), c.y());
    now += line;
  }
  if (cur_game_screen && cur_game_screen->root) describe(now, cur_game_screen->root, 0);
  if (now == last) return;
  std::string temp = std::string(path) + ".tmp";
  FILE* f = fopen(temp.c_str(), "wb");
  if (!f) return;
  bool ok = fwrite(now.data(), 1, now.size(), f) == now.size();
  ok = fclose(f) == 0 && ok;
  if (ok && rename(temp.c_str(), path) == 0) last = now;
}
