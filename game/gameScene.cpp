// The game scene (see gameScene.h): start-up and shutdown in their fixed orders, the pixel scale,
// the level's lifetime, the update step with the developer keys, and the frame's passes.
// Sections: start-up and shutdown; pixel scale and device reset; level lifetime; update step;
// frame and world drawing.
#include "game/gameScene.h"
#include <math.h>
#include <algorithm>
#include <vector>
#include "engine/app.h"
#include "engine/appSettings.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/debugVis.h"
#include "engine/distFont.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/imageFiles.h"
#include "engine/input.h"
#include "engine/loadSprite.h"
#include "engine/log.h"
#include "engine/onScreenLog.h"
#include "engine/sound.h"
#include "engine/soundScript.h"
#include "engine/statsOverlay.h"
#include "engine/uiDraw.h"
#include "game/baseObject.h"
#include "game/camera.h"
#include "game/controls.h"
#include "game/entlingApi.h"
#include "game/entlingReload.h"
#include "game/gameModes.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/loadTiles.h"
#include "game/guiProbe.h"
#include "game/guiScreens.h"
#include "game/levelGrid.h"
#include "game/levelRenderer.h"
#include "game/particles.h"
#include "game/progression.h"
#include "game/sceneView.h"
#include "game/screenPasses.h"
#include "game/soundEvents.h"
#include "platform/vkeys.h"

bool show_fps = false;
bool game_paused = false;
bool use_vis_debug = false;
bool use_postfx = true;
int voxel_scale = 1;
bool reached_exit = false;
Texture* scene_texture = nullptr;
LevelRenderer* level_renderer = nullptr;

// The background's two tints behind the level.
static const D3dColor BACKGROUND_COLOUR1 = 0x00725020, BACKGROUND_COLOUR2 = 0x0099723F;

// ---- start-up and shutdown

void init_scene_sound() {
  init_sound(false);
  // The music volume chosen in the options holds from the first note, not from the first visit to
  // the options.
  set_global_stream_volume(get_app_setting(SETTING_MUSIC_VOLUME));
  init_sound_script("sound/sound.nut");
}

void init_scene() {
  set_update_rate(20, 5);
  init_scene_sound();
  scene_texture = create_screen_render_texture();
  if (!scene_texture) fatal("can't create scene image texture");
  init_sprites();
  // The GUI's fonts and image drawing sit on the sprite atlas.
  init_bitmap_fonts();
  init_background();
  init_postfx();
  init_debug_vis();
  compute_pixel_scale();
  shouldHideMouse = true;
  // The actor library is bound before anything calls into it; it is rebuilt and swapped from the
  // once-a-second reload check while the game runs. A library older than its sources (fixed after a
  // crash, edited while the game was off, refused by the last run) is replaced first.
  bring_entling_library_up_to_date("../entling/", "main.kst");
  load_entling_library("../entling/", "main.kst");
  init_game_script();
  init_new_gui();
  init_controls();
  init_level_rendering();
  create_level();
  reset_game();
  restart_level();
  set_game_mode(&title_mode);
}

void close_scene() {
  if (cur_game_mode) {
    cur_game_mode->leave(nullptr);
    cur_game_mode = nullptr;
  }
  // These may run while nothing is bound (a fatal error during start-up).
  if (close_game_menu) close_game_menu();
  if (remove_all_entling) remove_all_entling();
  destroy_level();
  close_game_script();
  unload_entling_library();
  close_level_rendering();
  close_debug_vis();
  close_postfx();
  close_background();
  close_dist_fonts();
  close_ui_render();
  close_sprites();
  if (scene_texture) destroy_texture(scene_texture);
  scene_texture = nullptr;
  close_sound_script();
  close_sound();
}

void check_hot_reload() {
  reload_entling(false);
  reload_sound_script();
}

// ---- pixel scale and device reset

void compute_pixel_scale() {
  int s = d3d_ht / 120;
  if (s < 1) s = 1;
  voxel_scale = s;
  compute_view_projection(d3d_wd, d3d_ht, s);
  free_cam_pos = vec4float(float((d3d_wd / 2) / s), float((d3d_ht / 2) / s), 0.0f, 1.0f);
  debug("3d pixel scale: %d", s);
}

// The debug font, the pixel scale and the level's textures follow the new screen size; the scene
// texture and the shadow map are re-made by the renderer itself.
void on_device_reset() {
  update_font_scale();
  compute_pixel_scale();
  reset_level_renderer();
  forget_shadow_map();
  if (cur_game_mode) cur_game_mode->onDeviceReset();
}

int level_view_cells(int pixels, int scale) { return (pixels + scale - 1) / scale + 2; }

// ---- level lifetime

// The level and its objects. The object world lives on the program's heap and in its lists, so it
// survives every swap of the actor library.
void create_level() {
  load_level_tiles();
  init_level_tile_pools();
  level_renderer =
      create_level_renderer(level_data, int(sizeof(LevelCell)), LEVEL_WIDTH * int(sizeof(LevelCell)), LEVEL_WIDTH,
                            LEVEL_HEIGHT, level_view_cells(d3d_wd, voxel_scale), level_view_cells(d3d_ht, voxel_scale));
  init_bullets();
  init_junk();
  init_entling();
}

void regenerate_level() {
  reached_exit = false;
  remove_all_enemies();
  remove_all_bonuses();
  reset_bullets();
  clear_junk();
  delete_entling();
  select_level_enemies();
  generate_level();
}

void restart_level() {
  regenerate_level();
  invalidate_all_renderer(level_renderer);
  play_sound_event_no_pos(21);  // "start_level"
}

void destroy_level() {
  if (close_entling) close_entling();
  close_junk();
  if (close_bullets) close_bullets();
  destroy_renderer(level_renderer);
  close_level_tiles();
}

void reset_level_renderer() {
  reset_renderer(level_renderer, level_view_cells(d3d_wd, voxel_scale), level_view_cells(d3d_ht, voxel_scale));
}

// The level renderer refills its textures from the cells on every draw, so a changed rectangle
// needs no bookkeeping; the calls stay for the code that reports its changes.
void invalidate_level(int x0, int y0, int x1, int y1) { invalidate_renderer(level_renderer, x0, y0, x1, y1); }
void invalidate_all_level() { invalidate_all_renderer(level_renderer); }

// ---- update step

// Ctrl+F1 takes the hero to the elevator; a level without an exit yet (a boss level before its boss
// is dead) has no lift to ride, so the key then does nothing.
static void developer_reach_exit() {
  int x = 0, y = 0;
  if (!find_level_exit(&x, &y)) {
    debug("no exit in this level yet: not going to the elevator");
    return;
  }
  reached_exit = true;
}

// The keys that act on the level (restart it, ride its elevator, pause its world) work only while it
// is played: in the menus there is no level to act on, and after game over a ride to the next level
// would open it with the hero still dead. The view toggles work in every mode.
static void developer_keys() {
  bool playing = cur_game_mode == &play_mode;
  if (getKeyState(VK_CONTROL)) {
    if (keyDown(VK_F4) && playing) restart_level();
    if (keyDown(VK_F1) && playing) developer_reach_exit();
    return;
  }
  if (keyDown(VK_F1)) show_fps = !show_fps;
  if (keyDown(VK_F2) && playing) game_paused = !game_paused;
  if (keyDown(VK_F4)) use_vis_debug = !use_vis_debug;
  if (keyDown(VK_F6)) use_postfx = !use_postfx;
  if (keyDown(VK_F3)) {
    log_sound_events = !log_sound_events;
    if (log_sound_events) visual_log("logging sound events");
    else clear_visual_log();
  }
  if (keyDown(VK_F5)) {
    if (cur_game_mode == &play_mode) set_game_mode(&view_level_mode);
    else if (cur_game_mode == &view_level_mode) set_game_mode(&play_mode);
  }
}

void update_step_hook() {}

void update_step(float dt) {
  if (isAppActive) {
    if (use_dev_keys) developer_keys();
    if (keyDown(VK_SNAPSHOT)) take_screenshot();
  }
  compute_view_matrices(free_cam_pos, voxel_scale);
  if (cur_game_mode) cur_game_mode->update(dt);
  destroy_queued_gui_elements();
  gui_probe_update();
  measure_update_time();
}

void update_play(float dt) {
  if (!game_paused) {
    update_entling(dt);
    update_junk(dt);
  }
  if (get_hero_health() <= 0) set_game_mode(&game_over_mode);
  if (reached_exit) set_game_mode(&elevator_mode);
}

// ---- frame and world drawing

void set_frame_view(float t) {
  interp_camera(t);
  set_proj_tm(cur_proj_tm);
  compute_view_matrices(free_cam_pos, voxel_scale);
  set_view_tm(cur_view_tm);
  Matrix44 glob;
  get_glob_tm(glob);
  set_vs_consts(0, (const float*)&glob, 4);
  set_vs_consts(4, (const float*)&cur_view_itm.r[3], 1);
  set_vs_consts(5, (const float*)&light_dir, 1);
  vec4float c6(0, 0, 0.05f, 0);
  set_vs_consts(6, (const float*)&c6, 1);
}

void render_frame(float t) {
  set_frame_view(t);

  set_render_target(scene_texture, 0, true);
  clear_view_z();
  // The world is drawn with the depth test on: the boss parts' grids lie at depths of their own. A
  // device reset turns it off, and only the text and UI passes turned it back on before.
  set_zenable(true);
  if (cur_game_mode) cur_game_mode->render(t);
  render_post_effect();
  set_back_buffer_target();
  if (cur_game_mode) cur_game_mode->renderGui(t);
  if (isMouseOver() && draw_crosshair) {
    float x = 0, y = 0;
    getMousePos(x, y);
    draw_crosshair(x, y);
  }
  start_draw_text();
  draw_visual_log();
  draw_error_message();
  if (show_fps) draw_update_stats();
  end_draw_text();
}

bool background_open_blocks_only = true;

// A pixel lies on a cell's edge where the camera's half-pixel offset puts it, so every rectangle
// reaches a pixel further on each side: one too many only costs that pixel.
void open_background_rects(std::vector<int>& out) {
  out.clear();
  int drawn[4];
  const int* open = nullptr;
  int count = last_draw_open_area(drawn, &open);
  Matrix44 glob;
  get_glob_tm(glob);
  float w = float(d3d_wd), h = float(d3d_ht);
  // A rectangle of world cells in pixels, y down as the scissor counts.
  auto to_pixels = [&](int x0, int y0, int x1, int y1, float box[4]) {
    vec4float a = vec4float(float(x0), float(y0), 0, 1) * glob, b = vec4float(float(x1), float(y1), 0, 1) * glob;
    float ax = (a.x() * 0.5f + 0.5f) * w, bx = (b.x() * 0.5f + 0.5f) * w;
    float ay = (0.5f - a.y() * 0.5f) * h, by = (0.5f - b.y() * 0.5f) * h;
    box[0] = fminf(ax, bx), box[1] = fminf(ay, by), box[2] = fmaxf(ax, bx), box[3] = fmaxf(ay, by);
  };
  auto add = [&](float left, float top, float right, float bottom) {
    int l = std::max(0, int(floorf(left)) - 1), t = std::max(0, int(floorf(top)) - 1);
    int r = std::min(d3d_wd, int(ceilf(right)) + 1), b = std::min(d3d_ht, int(ceilf(bottom)) + 1);
    if (l < r && t < b) out.insert(out.end(), {l, t, r, b});
  };
  if (drawn[0] >= drawn[2] || drawn[1] >= drawn[3]) {
    add(0, 0, w, h);
    return;
  }
  float d[4];
  to_pixels(drawn[0], drawn[1], drawn[2], drawn[3], d);
  add(0, 0, d[0], h);
  add(d[2], 0, w, h);
  add(0, 0, w, d[1]);
  add(0, d[3], w, h);
  for (int i = 0; i < count; i++, open += 4) {
    float p[4];
    to_pixels(open[0], open[1], open[2], open[3], p);
    add(p[0], p[1], p[2], p[3]);
  }
}

void render_world(float t) {
  if (game_paused) t = 0.05f;
  compute_visible_rect(free_cam_pos, d3d_wd, d3d_ht, voxel_scale);
  int cx = int(nearbyintf(free_cam_pos.x() - 0.4999999f)), cy = int(nearbyintf(free_cam_pos.y() - 0.4999999f));
  int aw = d3d_wd / voxel_scale + 2, ah = d3d_ht / voxel_scale + 2;
  int ax = cx - aw / 2, ay = cy - ah / 2;
  // The boss parts, the level and the background are opaque, so the depth test alone decides what
  // shows where they overlap, whatever the order: only two draws at one depth go by their order (the
  // later shows). Nearest first, the rasteriser skips what is already hidden: the background, which
  // covers the whole screen, is shaded only where the level and the parts leave it open. The parts
  // keep their order among themselves; some lie at the level's own depths and, drawn after it, show
  // over it there, so the level drawn after them passes only where it is strictly nearer. The
  // sprites, particles and debug shapes blend over the finished layers and come after them.
  // A dead boss lies in pieces; what hangs past the level's edges (its cleared rows' background
  // under the floor) must not show outside the level.
  if (level_nearest_first) {
    start_level_rendering();
    clip_level_rendering(true);
    render_boss(t);
    clip_level_rendering(false);
    set_level_tm(Matrix44::identity());
    common_vb_writer.flush(false);
    set_zequal_passes(false);
    render_area(level_renderer, ax, ay, ax + aw, ay + ah, 0.0f);
    end_level_rendering();
    set_zequal_passes(true);
    if (background_open_blocks_only) {
      static std::vector<int> rects;
      open_background_rects(rects);
      render_background_in(BACKGROUND_COLOUR1, BACKGROUND_COLOUR2, rects.data(), int(rects.size() / 4));
    } else {
      render_background(BACKGROUND_COLOUR1, BACKGROUND_COLOUR2);
    }
  } else {
    render_background(BACKGROUND_COLOUR1, BACKGROUND_COLOUR2);
    start_level_rendering();
    render_area(level_renderer, ax, ay, ax + aw, ay + ah, 0.0f);
    clip_level_rendering(true);
    render_boss(t);
    clip_level_rendering(false);
    end_level_rendering();
  }
  start_sprite_render();
  render_entling(t);
  end_sprite_render();
  render_junk(t);
  if (use_vis_debug) render_entling_debug(t);
}
