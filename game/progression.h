// The run's progress (level number, upgrade points) and the three upgrades bought between levels.
// The upgraded values are program data that the actor library's hero and bullets read directly, so
// they survive a swap of the library; health is the hero's own and goes through its accessors.
#pragma once
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"

extern int cur_level;          // 1 for a new run
extern int up_points;          // points to spend on upgrades
extern float hero_shoot_rate;  // shots per second
extern int bullet_wall_destr;  // wall-destruction power of the hero's bullets

// The run's levels come in worlds of four: the last level of a world ends in the boss's room, and
// the first of the next world opens with the notice between worlds.
enum { LEVELS_PER_WORLD = 4 };
// A level's place in its world: 0 for the first, LEVELS_PER_WORLD - 1 for the boss's level.
inline int level_in_world(int level) { return (level - 1) % LEVELS_PER_WORLD; }
inline bool is_boss_level(int level) { return level_in_world(level) == LEVELS_PER_WORLD - 1; }

struct Upgrade {
  virtual void reset() = 0;
  virtual TempString<32> getName() = 0;
  virtual int getCost() = 0;
  virtual bool isAvailable() { return true; }
  virtual void buy() = 0;
};

// A new run: level 1, no points, every upgrade back to its start value.
void reset_game();
// A level was finished: the next level and five points more.
void advance_level();
// Appends every upgrade that is available and affordable, in list order.
void get_upgrades(DynArray<Upgrade*>& out);
