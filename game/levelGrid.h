// The level grid: the LevelCell record, the one level of 4096 x 256 cells that the generator,
// collision, the renderer and the actor library share (level_data), cell clearing, and LevelGrid,
// the small owned rectangle of cells that a boss part takes from a tile.
#pragma once
#include <stdint.h>

struct ConfigNode;
struct LevelGenTile;

// Colours are 1-5-5-5: bit 15 says a pixel is present, then 5 bits each of red, green and blue.
struct LevelCell {
  uint16_t background;
  uint16_t foreground;
  uint8_t collision;  // 0 empty, 1 destructible, 2/6/7 indestructible, 3 exit
};
static_assert(sizeof(LevelCell) == 6, "cells are six bytes: renderers and the actor library index them so");

enum {
  LEVEL_WIDTH = 4096,
  LEVEL_HEIGHT = 256,
  LEVEL_COLL_EMPTY = 0,
  LEVEL_COLL_DESTRUCTIBLE = 1,
  LEVEL_COLL_SOLID = 2,
  LEVEL_COLL_EXIT = 3,
  LEVEL_COLOR_PRESENT = 0x8000,
};

// Row 0 is the bottom row; the cell of column x, row y is element y * 4096 + x.
extern LevelCell level_data[LEVEL_WIDTH * LEVEL_HEIGHT];

// Index of a cell from any coordinates: the column wraps at 4096 and the row at 256, so a computed
// index never leaves the array. Range checks are each caller's own.
inline int level_cell_index(int x, int y) { return ((y & (LEVEL_HEIGHT - 1)) << 12) | (x & (LEVEL_WIDTH - 1)); }
inline LevelCell& level_cell(int x, int y) { return level_data[level_cell_index(x, y)]; }

// Every field of every cell back to zero.
void clear_level_data();

// Removes destructible cells (collision type below 2) of the inclusive rectangle, clamped to the
// grid: collision and foreground become 0, the background stays. The renderer is not told.
void level_clear_box(int x0, int y0, int x1, int y1);

struct LevelGrid {
  int width;
  int height;
  int dx;
  int dy;
  LevelCell* cells;    // width * height, row by row from row 0
  ConfigNode* config;  // a copy of the tile's entries; never null

  explicit LevelGrid(LevelGenTile& tile);
  ~LevelGrid();
  LevelGrid(const LevelGrid&) = delete;
  LevelGrid& operator=(const LevelGrid&) = delete;
};

// A new grid on the shared heap made from a loaded tile (fatal when the name is not loaded); null
// when the record cannot be allocated. Owners destroy it and give it back with dlfree.
LevelGrid* grid_from_tile(const char* name);
