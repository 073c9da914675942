// Scene start-up, the update step and the frame. The game's systems join these as they are built;
// for now the scene sets the update rate, binds the controls, handles the screenshot key and clears
// the screen to the game's night colour.
#include "game/gameScene.h"
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/debugVis.h"
#include "engine/distFont.h"
#include "engine/font.h"
#include "engine/imageFiles.h"
#include "engine/input.h"
#include "engine/loadSprite.h"
#include "engine/log.h"
#include "engine/sound.h"
#include "engine/soundScript.h"
#include "engine/statsOverlay.h"
#include "engine/uiDraw.h"
#include "game/baseObject.h"
#include "game/controls.h"
#include "game/entlingApi.h"
#include "game/entlingReload.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/loadTiles.h"
#include "game/guiScreens.h"
#include "game/camera.h"
#include "game/progression.h"
#include "game/particles.h"
#include "game/renderTestScreen.h"
#include "game/sceneView.h"
#include "game/soundEvents.h"
#include "platform/vkeys.h"

bool show_fps = false;
bool game_paused = false;
bool use_vis_debug = false;
bool use_postfx = true;
int voxel_scale = 1;
bool reached_exit = false;

void compute_pixel_scale() {
  int s = d3d_ht / 120;
  if (s < 1) s = 1;
  voxel_scale = s;
  compute_view_projection(d3d_wd, d3d_ht, s);
  free_cam_pos = vec4float(float((d3d_wd / 2) / s), float((d3d_ht / 2) / s), 0.0f, 1.0f);
  debug("3d pixel scale: %d", s);
}

void init_scene() {
  set_update_rate(20, 5);
  init_sound(false);
  init_sound_script("sound/sound.nut");
  compute_pixel_scale();
  init_sprites();
  init_bitmap_fonts();
  init_debug_vis();
  shouldHideMouse = true;
  // The actor library is bound before anything calls into it; it is rebuilt and swapped from the
  // once-a-second reload check while the game runs.
  load_entling_library("../entling/", "main.kst");
  init_game_script();
  // The GUI's font, behaviours, tooltip and HUD (the library's screens).
  init_new_gui();
  init_controls();
  create_level();
  reset_game();
  restart_level();
}

// The level and its objects. The object world lives on the program's heap and in its lists, so it
// survives every swap of the actor library.
void create_level() {
  load_level_tiles();
  init_level_tile_pools();
  init_bullets();
  init_junk();
  init_entling();
}

void restart_level() {
  reached_exit = false;
  remove_all_enemies();
  remove_all_bonuses();
  reset_bullets();
  clear_junk();
  delete_entling();
  select_level_enemies();
  generate_level();
  play_sound_event_no_pos(21);  // "start_level"
}

void destroy_level() {
  if (close_entling) close_entling();
  close_junk();
  if (close_bullets) close_bullets();
  close_level_tiles();
}

void close_scene() {
  // These may run while nothing is bound (a fatal error during start-up).
  if (close_game_menu) close_game_menu();
  if (remove_all_entling) remove_all_entling();
  destroy_level();
  close_game_script();
  unload_entling_library();
  close_render_test_screen();
  close_debug_vis();
  close_dist_fonts();
  close_ui_render();
  close_sprites();
  close_sound_script();
  close_sound();
}

void update_step_hook() {}

void update_step(float) {
  if (isAppActive) {
    if (use_dev_keys && !getKeyState(VK_CONTROL)) {
      if (keyDown(VK_F1)) show_fps = !show_fps;
      if (keyDown(VK_F2)) game_paused = !game_paused;
      if (keyDown(VK_F4)) use_vis_debug = !use_vis_debug;
      if (keyDown(VK_F6)) use_postfx = !use_postfx;
      if (keyDown(VK_F3)) {
        log_sound_events = !log_sound_events;
        if (log_sound_events) visual_log("logging sound events");
        else clear_visual_log();
      }
    }
    if (keyDown(VK_SNAPSHOT)) take_screenshot();
  }
  destroy_queued_gui_elements();
  measure_update_time();
}

// Until the level and the actors draw, the frame shows the renderer's test screen with a row of the
// game's sprites in the world pass and in the GUI pass, and a line of debug text.
void render_frame(float t) {
  draw_render_test_screen(t);
  start_sprite_render();
  const char* names[] = {"hero_body", "barrel", "bomb", "heart", "parts/body", "parts/drill", "parts/jet"};
  float x = 8;
  for (const char* n : names) {
    Sprite* s = get_sprite(n, false);
    if (!s) continue;
    s->draw(vec4float(x + s->ox, 4 + s->oy, 0, 0), false, false);
    x += s->width + 4;
  }
  set_sprite_pixel_transform(float(voxel_scale));
  set_zenable(false);
  end_sprite_render();
  if (use_vis_debug) {
    // The sprites' origins, as game objects will outline theirs.
    start_draw_debug_vis();
    float ox = 8;
    for (const char* n : names) {
      Sprite* s = get_sprite(n, false);
      if (!s) continue;
      draw_debug_vis_cross_point(vec4float(ox + s->ox, 4 + s->oy, 0, 0), 3, 0xFFFF40FF);
      ox += s->width + 4;
    }
    end_draw_debug_vis();
  }
  start_gui_render();
  gui_batch.clear();
  if (Sprite* panel = get_sprite("ui/panel", false))
    panel->drawUI(_mm_setr_ps(8, 8, 8 + 64.f * voxel_scale, 8 + 32.f * voxel_scale), 0xFF7F7F7F, voxel_scale);
  gui_batch.render();
  gui_batch.clear();
  end_gui_render();

  start_draw_text();
  draw_text("ASCENDA! renderer check", -1, d3d_wd / 2, d3d_ht - 8, 0, 1, 0xFFFFD040);
  draw_visual_log();
  draw_error_message();
  if (show_fps) draw_update_stats();
  end_draw_text();
}

void check_hot_reload() {
  reload_entling(false);
  reload_sound_script();
}

// The debug font and the pixel scale follow the new screen height.
void on_device_reset() {
  update_font_scale();
  compute_pixel_scale();
}

// The level renderer refills its textures from the cells on every draw, so a changed rectangle
// needs no bookkeeping; the calls stay for the code that reports its changes.
void invalidate_level(int, int, int, int) {}
void invalidate_all_level() {}
