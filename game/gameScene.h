// The game scene: the layer between the main loop and the game host. It starts and stops the game
// systems in a fixed order, runs one fixed update step (developer keys, view matrices, the current
// game mode) and draws one frame (background, level and objects into the scene texture, particles,
// the post effect to the back buffer, then the GUI and the text overlays). It owns the pixel scale
// and the level's lifetime.
#pragma once
#include <vector>
#include "engine/gameHost.h"

struct LevelRenderer;
struct Texture;

extern bool show_fps;
extern bool game_paused;
extern bool use_vis_debug;
extern bool use_postfx;
extern int voxel_scale;
// The screen-sized texture the world is drawn into before the post effect.
extern Texture* scene_texture;
// The level's renderer, made by create_level.
extern LevelRenderer* level_renderer;
// Set by the hero once it has stood on the exit long enough; the play mode then starts the elevator.
extern bool reached_exit;

// init_scene, close_scene, update_step, update_step_hook, render_frame, check_hot_reload and
// on_device_reset are the engine's calls into the game (engine/gameHost.h).
void compute_pixel_scale();
// The scene's first step: the sound device with the stored music volume, then the sound script.
void init_scene_sound();

// The level's lifetime: tiles and object world set up, a new level generated and placed, all torn
// down again.
void create_level();
void restart_level();
// The part of a restart that needs no screen or sound: the objects cleared, the enemy types chosen
// and the level generated from game_rnd_seed (headless tools call it on its own).
void regenerate_level();
void destroy_level();

// The level renderer's textures re-made for the current screen size.
void reset_level_renderer();

// The world step that the game-over mode shares with play: objects and particles (unless paused),
// then the switch to game over or to the elevator.
void update_play(float dt);
// The frame's camera: interpolated, with the view matrices and the vertex constants every world
// pass reads.
void set_frame_view(float t);
// The visible world into the current render target: background, level, boss, objects, particles.
void render_world(float t);
// With the world's opaque layers drawn nearest first (level_nearest_first), the background's quad
// is cut down to the blocks the level leaves open (true) or drawn over the whole screen, where the
// depth test alone skips what is hidden (false). The picture is the same; the benchmark times both.
extern bool background_open_blocks_only;
// The screen's pixels that the level's last draw may have left open, as rectangles for the
// background (left, top, right, bottom, four ints each, y down): its blocks with an empty cell and
// whatever of the screen lies outside the rectangle it drew.
void open_background_rects(std::vector<int>& out);
// The view size in cells that the level renderer's textures are made for, at `scale` pixels per cell.
int level_view_cells(int pixels, int scale);

// Level changes reported by whoever changed cells (exit placement, bullets, explosions).
void invalidate_level(int x0, int y0, int x1, int y1);
void invalidate_all_level();
