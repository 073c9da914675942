// The tile library: every tile under the program's "tiles/" folder, read once when the level is
// created. A tile is up to three PNG layers of one size (name_b.png background, name_f.png foreground,
// name_c.png collision map) and an optional name.cfg; missing layers are completed from the
// foreground. Lookups are by the path below "tiles/" without the suffix, e.g. "back0", "boss1/body".
#pragma once
#include <stdint.h>
#include "engine/cont/dynArray.h"

struct ConfigNode;

struct LevelGenTile {
  int width;  // 0 until an image of the tile has been read
  int height;
  int dx;  // added to the position at which the tile is placed
  int dy;
  char* name;
  uint16_t* background;  // width * height colours in the 1-5-5-5 cell layout, bottom row first; or null
  uint16_t* foreground;
  uint8_t* collision;  // collision types; or null
  ConfigNode* config;
};

extern DynArray<LevelGenTile*> level_tiles;

void load_level_tiles();
void close_level_tiles();
LevelGenTile* find_level_tile(const char* name);  // null when absent
LevelGenTile* load_level_tile(const char* name);  // fatal when absent

// Pixel conversions of the tile images (0xAARRGGBB in).
uint16_t tile_pixel_color(uint32_t argb);
uint8_t tile_pixel_collision(uint32_t argb);
