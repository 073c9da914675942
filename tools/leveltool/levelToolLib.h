// Shared by the level tool and the level benchmark: loading the tile set from a program folder,
// generating a level with recording stand-ins for the actor library, checking its room graph and
// drawing level_data as a picture.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

struct LevelSpawn {
  int type_id;  // 0 for the hero's start
  float x, y;
};
extern std::vector<LevelSpawn> level_spawns;

// Points the program folder at `folder` and loads the tiles and pools from its tiles/.
void level_tool_load_tiles(const char* folder);
// cur_level = level, game_rnd_seed = seed, then generate_level with the recorders installed.
void level_tool_generate(int level, uint64_t seed);

// True when the room graph (exits present on both sides of a boundary) joins the start room to
// the end room (level_end_room of the generator). `unreachable` receives the number of rooms with exits that the start cannot reach.
bool level_path_ok(int level, int* unreachable);

// Writes level_data as a PNG (an absolute file name), top row first, in the colours the level
// shows; `overlay` adds the collision types, the room grid and the spawns. Columns x_from to x_to - 1
// (the whole 4096 when x_to is 0), each cell drawn as scale x scale pixels.
bool write_level_png(const char* file, bool overlay, int x_from = 0, int x_to = 0, int scale = 1);
std::string level_summary(int level, uint64_t seed);
