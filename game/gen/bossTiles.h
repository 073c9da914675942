// The boss's tiles as the boss needs them. The body's four locked subparts are found from seed cells
// of its grid: each seed must lie in a red region (a subpart's cells) of its own, or a subpart would
// be missing or shared and the boss could never die. The check runs when the tiles load, so a bad
// tile stops the game at once with the tile and the rule named, instead of on the boss level.
#pragma once

struct LevelGenTile;

enum {
  BOSS_BODY_MIN_WIDTH = 33,
  BOSS_BODY_MIN_HEIGHT = 43,
  BOSS_BODY_SEEDS = 4,
  BOSS_SUBPART_CELL = 7,  // red in a collision map: destructible (1) and a subpart's (4)
};

// Seed cells of the body's subparts 1, 2, 3 and the core, in grid cells (row 0 at the bottom).
extern const int boss_body_seeds[BOSS_BODY_SEEDS][2];

// Every tile the boss is built from, in the order its parts are made. The level that holds the boss
// comes late in a run, so these are looked up with the generator's tiles at start-up: a missing one
// stops the game at once, naming the tile, instead of on the boss level.
extern const char* const boss_tile_names[];
extern const int num_boss_tiles;
// Looks up every tile of boss_tile_names; the first one missing is fatal.
void require_boss_tiles();

// Checks the loaded "boss1/body" tile, if there is one; a tile that breaks a rule is fatal.
void check_boss_tiles();
// The same check of one tile: null when it passes, else the broken rule (written into msg).
const char* boss_body_fault(const LevelGenTile& tile, char* msg, int msg_size);
