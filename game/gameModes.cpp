// The game modes (see gameModes.h): one static object per mode, alive for the whole run, each
// keeping its fields between visits. Every switch goes through set_game_mode.
// Sections: switching; title, play, pause and game over; elevator; upgrade; level viewer.
#include "game/gameModes.h"
#include <stdio.h>
#include <string.h>
#include "engine/app.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/font.h"
#include "engine/input.h"
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "game/camera.h"
#include "game/controls.h"
#include "game/entlingApi.h"
#include "game/gameScene.h"
#include "game/levelGrid.h"
#include "game/levelRenderer.h"
#include "game/particles.h"
#include "game/progression.h"
#include "game/screenPasses.h"
#include "platform/vkeys.h"

TitleGameMode title_mode;
PlayGameMode play_mode;
PauseMenuMode pause_mode;
GameOverMode game_over_mode;
ElevatorGameMode elevator_mode;
UpgradeGameMode upgrade_mode;
ViewLevelMode view_level_mode;

GameMode* cur_game_mode = nullptr;
bool should_close_game_menu = false;

// The game sound events the modes play.
enum {
  EVENT_HERO_DEAD = 3,
  EVENT_GAME_OVER = 4,
  EVENT_ELEVATOR = 16,
  EVENT_UPGRADE_SCREEN = 17,
  EVENT_UPGRADE_ACCEPT = 20,
  EVENT_NEW_GAME = 24,
};

// ---- switching

void set_game_mode(GameMode* m) {
  if (m == cur_game_mode) return;
  GameMode* previous = cur_game_mode;
  if (previous) previous->leave(m);
  cur_game_mode = m;
  if (m) m->enter(previous);
}

void go_to_main_menu() { set_game_mode(&title_mode); }

// ---- title, play, pause and game over

void TitleGameMode::enter(GameMode*) { open_main_menu(); }
void TitleGameMode::leave(GameMode*) { close_game_menu(); }

void TitleGameMode::update(float dt) {
  update_game_menu(dt);
  if (should_close_game_menu) {
    play_sound_event_no_pos(EVENT_NEW_GAME);
    reset_game();
    restart_level();
    set_game_mode(&play_mode);
  }
}

// No world behind the title menu; the background keeps the scene texture from showing an old frame.
void TitleGameMode::render(float) { render_background(0x00725020, 0x0099723F); }
void TitleGameMode::renderGui(float t) { draw_game_menu(t); }

void PlayGameMode::enter(GameMode*) { show_game_over(false); }

void PlayGameMode::update(float dt) {
  if (button_down(B_menu)) {
    set_game_mode(&pause_mode);
    return;
  }
  if (!game_paused) {
    update_entling(dt);
    update_junk(dt);
  }
  if (get_hero_health() <= 0) set_game_mode(&game_over_mode);
  if (reached_exit) set_game_mode(&elevator_mode);
  update_hud();
}

void PlayGameMode::render(float t) { render_world(t); }
void PlayGameMode::renderGui(float) { draw_hud(); }

void PauseMenuMode::enter(GameMode*) {
  game_paused = true;
  open_game_menu();
}

void PauseMenuMode::leave(GameMode*) {
  game_paused = false;
  close_game_menu();
}

void PauseMenuMode::update(float dt) {
  game_paused = true;
  update_game_menu(dt);
  if (should_close_game_menu) set_game_mode(&play_mode);
}

void PauseMenuMode::render(float t) { render_world(t); }
void PauseMenuMode::renderGui(float t) {
  draw_hud();
  draw_game_menu(t);
}

void GameOverMode::enter(GameMode*) {
  show_game_over(false);
  delay = 0.5f;
  play_sound_event_no_pos(EVENT_HERO_DEAD);
}

void GameOverMode::update(float dt) {
  update_play(dt);
  update_hud();
  // The world may have started the elevator: this mode is then no longer current.
  if (cur_game_mode != this) return;
  if (delay > 0) {
    delay -= dt;
    if (delay <= 0) play_sound_event_no_pos(EVENT_GAME_OVER);
    return;
  }
  show_game_over(true);
  if (keyUp(' ') || keyUp(1) || keyUp(2) || keyUp(13) || button_up(B_shoot) || button_up(B_jump) || button_up(B_menu))
    set_game_mode(&title_mode);
}

void GameOverMode::render(float t) { render_world(t); }
void GameOverMode::renderGui(float) { draw_hud(); }

// ---- elevator

bool find_level_exit(int* xp, int* yp) {
  for (int x = LEVEL_WIDTH - 1; x >= 0; x--)
    for (int y = 0; y < LEVEL_HEIGHT; y++)
      if (level_cell(x, y).collision == LEVEL_COLL_EXIT) {
        *xp = x;
        *yp = y;
        return true;
      }
  return false;
}

ElevatorGameMode::~ElevatorGameMode() { freeLift(); }

void ElevatorGameMode::freeLift() {
  destroy_renderer(liftRenderer);
  if (liftCells) dlfree(liftCells);
  liftCells = nullptr;
}

void ElevatorGameMode::enter(GameMode*) {
  remove_all_enemies();
  reset_bullets();
  clear_junk();
  play_sound_event_no_pos(EVENT_ELEVATOR);

  int xp = -1, yp = -1;
  find_level_exit(&xp, &yp);
  // clang-format off
  ASSERT(xp>=0);  // the message names the expression as written
  // clang-format on
  x0 = LEVEL_WIDTH, y0 = LEVEL_HEIGHT, x1 = -1, y1 = -1;
  int ax = xp - 32 < 0 ? 0 : xp - 32, bx = xp + 32 > LEVEL_WIDTH - 1 ? LEVEL_WIDTH - 1 : xp + 32;
  int ay = yp - 32 < 0 ? 0 : yp - 32, by = yp + 32 > LEVEL_HEIGHT - 1 ? LEVEL_HEIGHT - 1 : yp + 32;
  for (int y = ay; y <= by; y++)
    for (int x = ax; x <= bx; x++)
      if (level_cell(x, y).collision == LEVEL_COLL_EXIT) {
        if (x < x0) x0 = x;
        if (x > x1) x1 = x;
        if (y < y0) y0 = y;
        if (y > y1) y1 = y;
      }

  freeLift();
  rows = y1 - y0 + 1;
  int width = x1 - x0 + 1;
  liftCells = (LevelCell*)dlmalloc(sizeof(LevelCell) * size_t(width) * size_t(rows));
  if (liftCells) {
    for (int r = 0; r < rows; r++) memcpy(liftCells + r * width, &level_cell(x0, y0 + r), sizeof(LevelCell) * width);
    liftRenderer =
        create_level_renderer(liftCells, int(sizeof(LevelCell)), width * int(sizeof(LevelCell)), width, rows, 0, 0);
  }

  // The shaft: nothing drawn in front above the lift; walls and background stay.
  for (int y = y1 + 1; y < LEVEL_HEIGHT; y++)
    for (int x = x0; x <= x1; x++) level_cell(x, y).foreground = 0;
  invalidate_level(x0, y1, x1, LEVEL_HEIGHT - 1);
  step = 1;
}

void ElevatorGameMode::leave(GameMode*) { freeLift(); }

void ElevatorGameMode::update(float dt) {
  delete_entling();
  if (y1 >= LEVEL_HEIGHT - 1) {
    advance_level();
    set_game_mode(&upgrade_mode);
    return;
  }
  y1 += step;
  if (y1 > LEVEL_HEIGHT - 1) y1 = LEVEL_HEIGHT - 1;
  vec4float hero_pos = get_hero_pos();
  move_hero(vec4float(float(x0 + x1) * 0.5f, float(y1), hero_pos.z(), 1.0f), dt);
  if (step < 10) step++;
}

void ElevatorGameMode::render(float t) {
  render_world(t);
  if (!liftRenderer) return;
  start_level_rendering();
  float hy = interp_hero_pos(t).y();
  // Copies of the exit area stacked below the hero, down to where the ride started.
  for (float y = hy - float(rows); y > float(y0); y -= float(rows)) {
    Matrix44 tm = Matrix44::identity();
    tm.r[3] = vec4float(float(x0), y, 0, 1);
    set_level_tm(tm);
    render_all(liftRenderer, 0.0f);
  }
  end_level_rendering();
}

// ---- upgrade

void UpgradeGameMode::enter(GameMode*) {
  play_sound_event_no_pos(EVENT_UPGRADE_SCREEN);
  open_upgrade_screen();
}

void UpgradeGameMode::leave(GameMode*) { close_game_menu(); }

void UpgradeGameMode::update(float dt) {
  update_game_menu(dt);
  if (should_close_game_menu) {
    play_sound_event_no_pos(EVENT_UPGRADE_ACCEPT);
    restart_level();
    set_game_mode(&play_mode);
  }
}

void UpgradeGameMode::renderGui(float t) { draw_game_menu(t); }

// ---- level viewer

D3dColor minimap_texel(int i, int j) {
  float sum[4] = {0, 0, 0, 0};
  for (int dy = 0; dy < 4; dy++)
    for (int dx = 0; dx < 4; dx++) {
      const LevelCell& c = level_cell(4 * i + dx, 4 * j + dy);
      uint16_t col = (c.foreground & LEVEL_COLOR_PRESENT) ? c.foreground : c.background;
      int r = (col >> 10) & 31, g = (col >> 5) & 31, b = col & 31;
      int a = (col & LEVEL_COLOR_PRESENT) ? 255 : 0;
      int v[4] = {b * 8 + b / 4, g * 8 + g / 4, r * 8 + r / 4, a};
      for (int k = 0; k < 4; k++) sum[k] += float(v[k]) / 255.0f;
    }
  D3dColor out = 0;
  for (int k = 0; k < 4; k++) {
    float m = sum[k] / 16.0f;
    if (m < 0) m = 0;
    if (m > 1) m = 1;
    out |= D3dColor(int(m * 255.0f + 0.5f)) << (8 * k);
  }
  return out;
}

static void build_minimap(Texture* t) {
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture(t, &pitch, false);
  if (!p) return;
  for (int j = 0; j < 64; j++) {
    D3dColor* row = (D3dColor*)(p + (ptrdiff_t)j * pitch);
    for (int i = 0; i < 1024; i++) row[i] = minimap_texel(i, j);
  }
  unlock_texture(t);
}

void ViewLevelMode::enter(GameMode*) {
  viewPos = savedPos = get_camera_pos();
  mouseCentred = false;
  if (!minimap) minimap = create_managed_texture(1024, 64);
  build_minimap(minimap);
}

void ViewLevelMode::leave(GameMode*) { move_camera(savedPos, 0.0f); }

void ViewLevelMode::update(float dt) {
  if (mouseCentred) {
    float mx = 0, my = 0;
    getMousePos(mx, my);
    viewPos += vec4float((mx - float(d3d_wd / 2)) * 0.5f, (float(d3d_ht / 2) - my) * 0.5f, 0, 0);
  }
  if (isAppActive) {
    setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
    mouseCentred = true;
  }
  move_camera(viewPos, dt);
  if (keyUp(' ')) {
    reset_hero(viewPos.x(), viewPos.y());
    savedPos = viewPos;
    set_game_mode(&play_mode);
  } else if (keyUp(VK_ESCAPE)) {
    set_game_mode(&play_mode);
  }
}

void ViewLevelMode::render(float) { render_world(0.05f); }

void ViewLevelMode::renderGui(float) {
  int x = int(nearbyintf(viewPos.x())), y = int(nearbyintf(viewPos.y()));
  char text[64];
  snprintf(text, sizeof(text), "VIEW MODE % 5d % 4d", x, y);
  start_draw_text();
  draw_text(text, -1, 0, 64, -1, -1, 0xFF64FF64);
  end_draw_text();
  if (minimap) {
    start_draw_image(minimap, 1, 1);
    draw_image(0, 0, 1024, 64, 0xFFFFFFFF, 0, 0, 1, 1);
    end_draw_image();
  }
  int vw = d3d_wd / voxel_scale, vh = d3d_ht / voxel_scale;
  start_draw_text();
  draw_rect((x - vw / 2) / 4, (y - vh / 2) / 4, (x + vw / 2) / 4, (y + vh / 2) / 4, 0x4466FF66);
  end_draw_text();
}
