// The level grid, cell clearing and LevelGrid (see levelGrid.h).
#include "game/levelGrid.h"
#include <string.h>
#include <new>
#include "engine/config.h"
#include "engine/sharedHeap.h"
#include "game/gen/loadTiles.h"

LevelCell level_data[LEVEL_WIDTH * LEVEL_HEIGHT];

void clear_level_data() { memset((void*)level_data, 0, sizeof(level_data)); }

void level_clear_box(int x0, int y0, int x1, int y1) {
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > LEVEL_WIDTH - 1) x1 = LEVEL_WIDTH - 1;
  if (y1 > LEVEL_HEIGHT - 1) y1 = LEVEL_HEIGHT - 1;
  for (int y = y0; y <= y1; y++) {
    LevelCell* row = level_data + y * LEVEL_WIDTH;
    for (int x = x0; x <= x1; x++) {
      if (row[x].collision < LEVEL_COLL_SOLID) {
        row[x].collision = 0;
        row[x].foreground = 0;
      }
    }
  }
}

LevelGrid::LevelGrid(LevelGenTile& tile) {
  width = tile.width;
  height = tile.height;
  dx = tile.dx;
  dy = tile.dy;
  config = new (dlmalloc(sizeof(ConfigNode))) ConfigNode();
  if (tile.config)
    for (const ConfigEntry& e : tile.config->entries) {
      ConfigEntry& c = config->entries.push_back();  // zero-filled: two empty Strings
      c.key = e.key;
      c.value = e.value;
    }
  int n = width * height;
  cells = (LevelCell*)dlmalloc(size_t(n > 0 ? n : 1) * sizeof(LevelCell));
  for (int i = 0; i < n; i++) {
    cells[i].background = tile.background ? tile.background[i] : 0;
    cells[i].foreground = tile.foreground ? tile.foreground[i] : 0;
    cells[i].collision = tile.collision ? tile.collision[i] : 0;
  }
}

LevelGrid::~LevelGrid() {
  dlfree(cells);
  cells = nullptr;
  if (config) {
    config->~ConfigNode();
    dlfree(config);
    config = nullptr;
  }
}

LevelGrid* grid_from_tile(const char* name) {
  LevelGenTile* tile = load_level_tile(name);
  void* mem = dlmalloc(sizeof(LevelGrid));
  if (!mem) return nullptr;
  return new (mem) LevelGrid(*tile);
}
