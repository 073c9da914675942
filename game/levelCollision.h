// Collision of moving boxes with the level (and, through the actor library's scans, with the
// objects in the way) and ray tracing through the level's cells. Boxes are (x0, y0, x1, y1) in
// cells, y up; a cell is solid when its collision type is not 0, and an exit cell (type 3) also
// raises flag 64.
#pragma once
#include "engine/misc/vecMath.h"

struct Entling;

enum {
  HIT_LEFT = 1,      // stopped moving towards -x
  HIT_GROUND = 2,    // stopped moving towards -y: landed
  HIT_RIGHT = 4,     // stopped moving towards +x
  HIT_CEILING = 8,   // stopped moving towards +y
  HIT_ENEMY = 0x10,  // an enemy pushes the box
  HIT_HERO = 0x20,   // the hero pushes the box
  HIT_EXIT = 0x40,   // an exit cell in the way or under the box
};

// Where a moving edge stops: from and to are edge positions along the axis, the other two the
// box's extent across it. flags receives the hit flags; support the ground's velocity on landing.
float scan_level_x(float from, float to, float y0, float y1, int& flags);
float scan_level_y(float x0, float x1, float from, float to, int& flags, float* support);
float scan_all_x(float from, float to, float y0, float y1, int& flags, Entling* obj);
float scan_all_y(float x0, float x1, float from, float to, int& flags, Entling* obj, float* support);

// The displacement a box can make along one axis.
float collide_box_x(vec4float box, float dx, int& flags, Entling* obj);
float collide_box_y(vec4float box, float dy, int& flags, Entling* obj, float* support);

// Push-out depths (right, up, left, down) out of the solid cells or objects a box overlaps.
vec4float collide_box_level(vec4float lo, vec4float hi, int& flags);
vec4float collide_box_objs(vec4float lo, vec4float hi, Entling* obj, int& flags);

// Moves pos towards target (x and y) with the box given as offsets from pos, climbing steps up to
// step_up cells high. Returns the flags of the move.
int collide_moving_box(vec4float& pos, vec4float target, vec4float box, Entling* obj, float* support, float step_up);

// Walks the cells from `from` to `to`, testing 2 * thickness + 1 cells across the main direction.
// True when a solid cell was met; the out pointers may be null.
bool trace_level(vec4float from, vec4float to, int thickness, vec4float* hit_pos, vec4i32* hit_cell, float* hit_t);
