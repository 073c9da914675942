// The level grid: the cell index rule, clearing destructible cells, and LevelGrid construction.
#include "tests/unit/level_fixtures.h"

using namespace level_test;

namespace {

TEST(LevelGrid, CellsAreIndexedFromTheBottomLeftWithMaskedCoordinates) {
  EXPECT_EQ(level_cell_index(0, 0), 0);
  EXPECT_EQ(level_cell_index(4095, 255), 4096 * 256 - 1);
  EXPECT_EQ(level_cell_index(int(floorf(4095.5f)), int(floorf(255.9f))), 255 * 4096 + 4095);
  EXPECT_EQ(level_cell_index(4096 + 3, 256 + 2), 2 * 4096 + 3);
  EXPECT_EQ(level_cell_index(-1, -1), 255 * 4096 + 4095);
}

TEST(LevelGrid, ClearBoxRemovesOnlyDestructibleCellsInsideTheGrid) {
  clear_level_data();
  for (int x = 0; x < 4; x++)
    for (int y = 0; y < 4; y++) level_cell(4092 + x, 252 + y) = LevelCell{0x8123, 0x8456, uint8_t(x)};
  level_clear_box(4093, 253, 5000, 300);  // clamped to the grid
  for (int x = 0; x < 4; x++)
    for (int y = 0; y < 4; y++) {
      const LevelCell& c = level_cell(4092 + x, 252 + y);
      bool inside = x >= 1 && y >= 1;
      bool cleared = inside && x < 2;
      EXPECT_EQ(c.background, 0x8123);  // the background always stays
      EXPECT_EQ(c.foreground, cleared ? 0 : 0x8456) << x << "," << y;
      EXPECT_EQ(c.collision, cleared ? 0 : x) << x << "," << y;
    }
  // Rectangles wholly off the grid change nothing.
  level_cell(0, 0) = LevelCell{1, 0x8001, 1};
  level_clear_box(4096, 0, 5000, 10);
  level_clear_box(0, 256, 10, 300);
  level_clear_box(-20, -20, -1, -1);
  EXPECT_EQ(level_cell(0, 0).collision, 1);
  level_clear_box(-5, -5, 0, 0);
  EXPECT_EQ(level_cell(0, 0).collision, 0);
}

TEST(LevelGrid, GridFromATileCopiesWhatTheTileHas) {
  uint16_t fg[2] = {0x8001, 0x0002};
  ConfigNode* cfg = new (dlmalloc(sizeof(ConfigNode))) ConfigNode();
  cfg->parse("weight = 3\n", 11);
  char name[] = "t";
  LevelGenTile tile = {2, 1, -1, 5, name, nullptr, fg, nullptr, cfg};
  LevelGrid grid(tile);
  EXPECT_EQ(grid.width, 2);
  EXPECT_EQ(grid.dx, -1);
  EXPECT_EQ(grid.dy, 5);
  EXPECT_EQ(grid.cells[0].foreground, 0x8001);
  EXPECT_EQ(grid.cells[1].foreground, 0x0002);
  EXPECT_EQ(grid.cells[0].background, 0);  // absent layers give zero fields
  EXPECT_EQ(grid.cells[1].collision, 0);
  ASSERT_NE(grid.config, cfg);
  EXPECT_EQ(grid.config->getInt("weight", 0), 3);

  tile.config->~ConfigNode();
  dlfree(tile.config);
  tile.config = nullptr;
  LevelGrid bare(tile);
  ASSERT_TRUE(bare.config);  // an empty config, never null
  EXPECT_EQ(bare.config->entries.size(), 0);
}

}  // namespace
