// The game's one draw as a float, shared by the level generator and the actor library (which
// reaches it through its header of the program), so both files draw exactly alike.
#pragma once
#include <stdint.h>

uint32_t level_rnd();

// One draw as a float r in [0, 1): the draw over 2^32. The float conversion rounds the top 128
// draws up to 2^32; they take the largest float below 1, so "2r - 1" never reaches the far edge and
// every other draw keeps its value. Inline: the actor library draws its particles' values with it.
inline float rnd_unit() {
  uint32_t draw = level_rnd();
  float r = float(draw) * (1.0f / 4294967296.0f);
  return r < 1.0f ? r : 0x1.fffffep-1f;
}
