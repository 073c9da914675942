// The camera: follows the hero in world units at a limited speed toward a point between the hero
// and its aiming target, and is interpolated between its last two step positions for drawing.
// The actor library moves it (reset_hero, move_hero and the hero's update); the scene draws from
// free_cam_pos.
#pragma once
#include "engine/misc/vecMath.h"

extern vec4float free_cam_pos;

vec4float get_camera_pos();
// Puts the camera on the hero's focus without motion.
void reset_camera();
// One step of following the hero.
void update_camera(float dt);
// Sets the position directly (the level viewer).
void move_camera(vec4float pos, float dt);
// free_cam_pos for a frame t seconds after the last update.
void interp_camera(float t);
