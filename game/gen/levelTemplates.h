// The room templates: the table of 39 hand-made rooms (1 x 1 to 3 x 3 room cells), the lists the
// generator places them from, and what each one stamps: a fixed sequence of steps, each over one
// list of tile positions, painting tiles from a pool or placing the hero, enemies, barrels,
// bonuses, the boss or the exit.
#pragma once
#include <stdint.h>
#include "game/objectLists.h"

struct LevelGenTemplate {
  void (*stamp)(int x, int y);  // called with the room cell the template was placed at
  uint16_t width;               // room cells
  uint16_t height;
  const uint8_t* exits;  // width * height exit masks, top row first; or null
};

enum { ROOM_TEMPLATE_COUNT = 39 };
extern LevelGenTemplate room_templates[ROOM_TEMPLATE_COUNT];

// The lists the generator places rooms from, each size written here once (the generator draws by
// them).
enum {
  START_TEMPLATE_COUNT = 1,
  END_TEMPLATE_COUNT = 2,
  BOSS_TEMPLATE_COUNT = 1,
  RIGHT_END_TEMPLATE_COUNT = 1,
  OPTIONAL_TEMPLATE_COUNT = 5,
  FILLER_TEMPLATE_COUNT = 27,
};
extern LevelGenTemplate* const start_templates[START_TEMPLATE_COUNT];
extern LevelGenTemplate* const end_templates[END_TEMPLATE_COUNT];
extern LevelGenTemplate* const boss_templates[BOSS_TEMPLATE_COUNT];
extern LevelGenTemplate* const right_end_templates[RIGHT_END_TEMPLATE_COUNT];
extern LevelGenTemplate* const optional_templates[OPTIONAL_TEMPLATE_COUNT];
extern LevelGenTemplate* const filler_templates[FILLER_TEMPLATE_COUNT];

// A template's steps, for tools and tests.
enum RoomStepOp : uint8_t {
  ROOM_STEP_STAMP,         // stamp_random_tiles with a pool
  ROOM_STEP_OBJECTS,       // spawn_random_objects
  ROOM_STEP_HERO,          // place_hero_start
  ROOM_STEP_EXIT_CHOICE,   // choose_exit_tile from the exit tile
  ROOM_STEP_EVEN_CHOICE,   // one draw: back_set or wall_set
  ROOM_STEP_BONUS_CHOICE,  // one draw: a heart (3 in 4) or an upgrade point
};
enum RoomPoolId : uint8_t {
  ROOM_POOL_BACK,
  ROOM_POOL_BACK_SET,
  ROOM_POOL_WALL,
  ROOM_POOL_FLOOR,
  ROOM_POOL_MACH,
  ROOM_POOL_MACH_WALL,
  ROOM_POOL_SBACK,
  ROOM_POOL_PLAT,
  ROOM_POOL_HFLOOR,
  ROOM_POOL_STAIR_R,
  ROOM_POOL_STAIR_L,
  ROOM_POOL_EXIT,
  ROOM_POOL_BACK2,
  ROOM_POOL_NONE,
};
struct RoomStepInfo {
  RoomStepOp op;
  RoomPoolId pool;
  int type_id;        // objects step
  int objects;        // objects step: how many
  int positions;      // number of tile positions
  const uint8_t* xy;  // positions pairs (x, y) relative to the template's bottom-left tile
};
int room_template_step_count(int row);
RoomStepInfo room_template_step(int row, int step);
