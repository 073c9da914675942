// Particles ("junk"): the cell-sized squares of one colour thrown by destroyed cells, explosions and
// hits. The actor library adds them through add_junk; the world step moves them and the frame draws
// them after the objects, in one pass through the shared dynamic vertex buffer with the position
// packed into 16-bit values. The list is the program's, on the shared heap, so particles survive a
// swap of the actor library.
#pragma once
#include "engine/cont/dynArray.h"
#include "engine/misc/vecMath.h"

struct Junk {
  vec4float pos;  // level cells, y up
  vec4float vel;  // cells per second; all four lanes are integrated
  uint32_t colour;
  float life;     // seconds left
  float gravity;  // cells per second squared, taken off the vertical velocity
};

extern DynArray<Junk> junk_list;

// Appends one particle (the actor library's way to throw debris).
void add_junk(vec4float pos, vec4float vel, uint32_t colour, float life, float gravity);
// The particle shader and vertex declaration: made by create_level.
void init_junk();
// One world step of every particle; a particle whose life runs out is replaced by the last one.
void update_junk(float dt);
// Draws the living particles t seconds after the last step.
void render_junk(float t);
// Removes every particle; the storage stays (a level restart, the elevator).
void clear_junk();
// Frees the list and the shader (destroy_level).
void close_junk();
