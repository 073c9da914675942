// Particles ("junk"): the cell-sized squares of one colour thrown by destroyed cells, explosions and
// hits. The actor library adds them through add_junk; the world step moves them and the frame draws
// them after the objects, in one pass through the shared dynamic vertex buffer with the position
// packed into 16-bit values. The list is the program's, on the shared heap, so particles survive a
// swap of the actor library.
//
// The packing is the testable core (make_junk_quad); render_junk is the thin device part.
#pragma once
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/misc/vecMath.h"

struct Junk {
  vec4float pos;  // level cells, y up
  vec4float vel;  // cells per second; all four lanes are integrated
  uint32_t colour;
  float life;     // seconds left
  float gravity;  // cells per second squared, taken off the vertical velocity
};

// One vertex of "pixel.sh": the position in 1/16 cell as four signed 16-bit values, x split into
// its low 15 bits and the rest (the shader adds xHigh * 32768 back), then the colour.
struct JunkVertex {
  int16_t xLow, y, z, xHigh;
  uint32_t colour;
};
static_assert(sizeof(JunkVertex) == 12, "the particle vertex is 12 bytes");

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

// A particle is drawn at time t while it still has life left then.
inline bool junk_visible(const Junk& j, float t) { return j.life - t > 0; }
// The two triangles of the particle's square at time t, in the order (-8, -8), (+8, -8), (+8, +8),
// (-8, -8), (+8, +8), (-8, +8) in 1/16 cell. Positions far outside the level are clamped, never
// wrapped: the square's y and z to the 16-bit range, its x to what the two halves can hold.
void make_junk_quad(const Junk& j, float t, JunkVertex out[6]);
