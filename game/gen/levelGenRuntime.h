// The level generator: the game's random source, tile-position sets, the 32 x 3 room map with its
// layout, path and branch algorithms, the tile pools, tile stamping, object spawning and the exit.
// generate_level() rebuilds level_data from the current level number and game_rnd_seed; the same
// pair always gives the same level, because every random draw happens in a fixed order.
#pragma once
#include <stdint.h>
#include "engine/misc/vecMath.h"

struct LevelGenTile;
struct LevelGenTemplate;

// The run's current level number, from 1 (the progression owns its changes).
extern int cur_level;

// ---- random source (the state is game_rnd_seed, shared with the actor library)
uint32_t level_rnd();
int level_rnd_pick(int n);         // index below n; no draw when n <= 1
int level_rnd_pick_always(int n);  // index below n; draws even for n == 1
bool level_chance();               // three times in four

// ---- tile-position sets (tile units of 16 cells)
struct ILevelGenCoords {
  virtual int count() const = 0;
  virtual void get(int i, int& x, int& y) const = 0;  // fatal for i outside 0..count-1
};

struct LevelGenCoordRect : ILevelGenCoords {
  int x0, y0, width, height, num;
  LevelGenCoordRect(int x0, int y0, int x1, int y1);
  int count() const override { return num; }
  void get(int i, int& x, int& y) const override;  // row by row from the bottom row
};

struct LevelGenCoordList : ILevelGenCoords {
  const uint8_t* table;  // count pairs of (x, y)
  int num, ofs_x, ofs_y;
  LevelGenCoordList(const uint8_t* table, int count, int ofs_x, int ofs_y)
      : table(table), num(count), ofs_x(ofs_x), ofs_y(ofs_y) {}
  int count() const override { return num; }
  void get(int i, int& x, int& y) const override;
};

// ---- the room map: row 0 is the bottom row of rooms
enum {
  ROOM_MAP_WIDTH = 32,
  ROOM_MAP_HEIGHT = 3,
  ROOM_EXIT_LEFT = 1,
  ROOM_EXIT_RIGHT = 2,
  ROOM_EXIT_UP = 4,
  ROOM_EXIT_DOWN = 8,
  ROOM_FREE = 0x10,
  ROOM_TILES_X = 8,
  ROOM_TILES_Y = 5,
  TILE_CELLS = 16,
};
extern uint8_t room_cell_map[ROOM_MAP_HEIGHT][ROOM_MAP_WIDTH];

// ---- tile pools (a tile may stand several times: its weight), each size written here once
enum {
  BACK_SET_SIZE = 7,
  WALL_SET_SIZE = 4,
  FLOOR_SET_SIZE = 4,
  MACH_SET_SIZE = 7,
  SBACK_SET_SIZE = 7,
  PLAT_SET_SIZE = 5,
  HFLOOR_SET_SIZE = 3,
  BACK_S_TILES = 3,  // backS1 to backS3, once each in the background pool
  POOL_WEIGHT = 10,  // how often a set's tile stands in the background and machinery pools
  BACK_POOL_SIZE = BACK_SET_SIZE * POOL_WEIGHT + BACK_S_TILES,
  MACH_WALL_POOL_SIZE = MACH_SET_SIZE + WALL_SET_SIZE * POOL_WEIGHT,
};
extern LevelGenTile* back_pool[BACK_POOL_SIZE];
extern LevelGenTile* back_set[BACK_SET_SIZE];
extern LevelGenTile* wall_set[WALL_SET_SIZE];
extern LevelGenTile* floor_set[FLOOR_SET_SIZE];
extern LevelGenTile* mach_set[MACH_SET_SIZE];
extern LevelGenTile* mach_wall_pool[MACH_WALL_POOL_SIZE];
extern LevelGenTile* sback_set[SBACK_SET_SIZE];
extern LevelGenTile* plat_set[PLAT_SET_SIZE];
extern LevelGenTile* hfloor_set[HFLOOR_SET_SIZE];
extern LevelGenTile* stairR_tile;
extern LevelGenTile* stairL_tile;
extern LevelGenTile* exit_tile;
extern LevelGenTile* back2_tile;

struct LevelExitChoice {
  LevelGenTile* tile;  // null when no boss room chose one
  int tx, ty;
};
extern LevelExitChoice exit_choice;

extern void (*level_layout_generator)();

// Looks up every tile a run can need, the boss's too (at start-up): the first one missing is fatal.
void init_level_tile_pools();
void generate_level();
void build_level_layout();
// The room column of the level's right end piece (level 1 is half as wide as the others).
int level_right_end_room(int level);
// Where the level's end room stands (its bottom-left room cell): just left of the right end piece,
// the boss's room on a world's last level. The generator places it there; the level tool's path
// check runs to it.
void level_end_room(int level, int& x, int& y);
void build_level_path();
bool grow_level_branch();
void fill_free_room_cells(LevelGenTemplate* const* list, int n);
void print_level_layout();
// One of the three text lines (0 top, 1 middle, 2 bottom) that print_level_layout draws for map row y.
void level_layout_line(int y, int line, char out[ROOM_MAP_WIDTH * 3 + 1]);
LevelGenTemplate* place_room_template(LevelGenTemplate* t, int x, int y);

void blit_level_tile(const LevelGenTile* tile, int x, int y);
void stamp_random_tiles(LevelGenTile* const* pool, int n, const ILevelGenCoords& coords);
void spawn_random_objects(int type_id, int count, const ILevelGenCoords& coords);
void place_hero_start(const ILevelGenCoords& coords);
void choose_exit_tile(LevelGenTile* const* pool, int n, const ILevelGenCoords& coords);
vec4float put_exit_tile();

// Makes the solid cells of a cell column or row indestructible, so the level's outer frame holds
// whatever is shot at it.
void seal_level_column(int x);
void seal_level_row(int y);
