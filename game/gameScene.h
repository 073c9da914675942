// The game scene: the layer between the main loop and the game host. It starts and stops the game
// systems, runs one fixed update step and draws one frame.
#pragma once
#include "engine/gameHost.h"

extern bool show_fps;
extern bool game_paused;
extern bool use_vis_debug;
extern bool use_postfx;
extern int voxel_scale;
// Set by the hero once it has stood on the exit long enough; the play mode then starts the elevator.
extern bool reached_exit;

// init_scene, close_scene, update_step, update_step_hook, render_frame, check_hot_reload and
// on_device_reset are the engine's calls into the game (engine/gameHost.h).
void compute_pixel_scale();

// The level's lifetime: tiles and object world set up, a new level generated and placed, all torn
// down again.
void create_level();
void restart_level();
void destroy_level();

// Level changes reported by whoever changed cells (exit placement, bullets, explosions).
void invalidate_level(int x0, int y0, int x1, int y1);
void invalidate_all_level();
