// The tile library: file-name rules, layer completion, configuration, pixel conversions, the fatal
// errors on bad tile folders, and the generated tile set itself.
#include <zlib.h>
#include "game/gen/bossTiles.h"
#include "game/gen/levelGenRuntime.h"
#include "tests/unit/level_fixtures.h"
#include "tests/unit/testSupport.h"

using namespace level_test;

namespace {

const uint32_t OPAQUE_RED = 0xFFFF0000, CLEAR = 0x00000000;

uint32_t solid(int, int) { return 0xFF808080; }

class LevelTiles : public LevelTest {};

TEST_F(LevelTiles, FileNamesFollowTheLayerRules) {
  write_png(tiles("a_b.png"), 2, 2, solid);          // shortest image name: tile "a"
  write_png(tiles("_b.png"), 2, 2, solid);           // too short: ignored
  write_png(tiles("ROCK_F.PNG"), 3, 1, solid);       // any letter case; the name keeps its case
  write_png(tiles("x_q.png"), 2, 2, solid);          // another layer letter: ignored
  write_file(tiles("notes.txt"), "not a tile");      // ignored
  write_png(tiles(".hidden/h_f.png"), 2, 2, solid);  // folders starting with a dot are skipped
  write_png(tiles("deep/er/b_c.png"), 4, 2, solid);  // sub-folders give "folder/" prefixes
  write_file(tiles("cfgonly.cfg"), "dx = 3\n");      // a tile of its own, size 0
  write_file(tiles(".cfg"), "dx = 1\n");             // too short for a config name: ignored
  testing::internal::CaptureStdout();
  load_level_tiles();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("loaded 4 tiles"), std::string::npos) << log;

  LevelGenTile* a = find_level_tile("a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->width, 2);
  EXPECT_TRUE(a->background && !a->foreground && !a->collision);
  LevelGenTile* rock = find_level_tile("ROCK");
  ASSERT_TRUE(rock);
  EXPECT_TRUE(rock->foreground);
  EXPECT_EQ(find_level_tile("rock"), nullptr);  // lookups are case-sensitive
  EXPECT_EQ(find_level_tile("x"), nullptr);
  EXPECT_EQ(find_level_tile("h"), nullptr);
  EXPECT_EQ(find_level_tile(".hidden/h"), nullptr);
  LevelGenTile* deep = find_level_tile("deep/er/b");
  ASSERT_TRUE(deep);
  EXPECT_TRUE(deep->collision && !deep->foreground && !deep->background);
  EXPECT_EQ(deep->width, 4);
  LevelGenTile* cfg = find_level_tile("cfgonly");
  ASSERT_TRUE(cfg);
  EXPECT_EQ(cfg->width, 0);
  EXPECT_EQ(cfg->height, 0);
  EXPECT_EQ(cfg->dx, 3);
  EXPECT_TRUE(!cfg->background && !cfg->foreground && !cfg->collision);
  // Zero-sized tiles are harmless to place and to make grids from.
  blit_level_tile(cfg, 10, 10);
  LevelGrid* grid = grid_from_tile("cfgonly");
  ASSERT_TRUE(grid);
  EXPECT_EQ(grid->width * grid->height, 0);
  EXPECT_EQ(grid->config->getInt("dx", 0), 3);
  grid->~LevelGrid();
  dlfree(grid);
}

TEST_F(LevelTiles, FolderLinksBackUpTheTreeAreReadOnce) {
  write_png(tiles("walls/w_f.png"), 2, 2, solid);
  ASSERT_EQ(symlink("..", tiles("walls/up").c_str()), 0);
  testing::internal::CaptureStdout();
  load_level_tiles();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("loaded 1 tiles"), std::string::npos) << log;
  EXPECT_TRUE(find_level_tile("walls/w"));
  EXPECT_NE(log.find("leads back into a folder being read"), std::string::npos) << log;
}

TEST_F(LevelTiles, MissingLayersAreCompletedFromTheForeground) {
  // Foreground only: collision collType (1) under present pixels, background at half brightness.
  write_png(tiles("fg_f.png"), 2, 1, [](int x, int) { return x == 0 ? 0xFFF8F8F8 : CLEAR; });
  write_png(tiles("typed_f.png"), 1, 1, solid);
  write_file(tiles("typed.cfg"), "collType = 6\ndy = -2\nother = kept\n");
  // A collision map wins over collType.
  write_png(tiles("mapped_f.png"), 1, 1, solid);
  write_png(tiles("mapped_c.png"), 1, 1, [](int, int) { return 0xFFFFFFFF; });
  write_file(tiles("mapped.cfg"), "collType = 7\n");
  // An empty config is a config with no entries.
  write_png(tiles("empty_f.png"), 1, 1, solid);
  write_file(tiles("empty.cfg"), "");
  load_level_tiles();

  LevelGenTile* fg = load_level_tile("fg");
  EXPECT_EQ(fg->collision[0], 1);
  EXPECT_EQ(fg->collision[1], 0);
  EXPECT_EQ(fg->foreground[0], 0xFFFF);
  EXPECT_EQ(fg->background[0], ((0xFFFF >> 1) & 0x3def) | 0x8000);
  EXPECT_EQ(fg->background[1] & 0x8000, 0);
  ASSERT_TRUE(fg->config);  // every tile gets a config, empty when it had none
  EXPECT_EQ(fg->config->entries.size(), 0);

  LevelGenTile* typed = load_level_tile("typed");
  EXPECT_EQ(typed->collision[0], 6);
  EXPECT_EQ(typed->dy, -2);
  EXPECT_EQ(load_level_tile("mapped")->collision[0], 2);
  EXPECT_TRUE(load_level_tile("empty")->collision);

  // A grid made from a tile copies its layers and its configuration.
  LevelGrid* grid = grid_from_tile("typed");
  ASSERT_TRUE(grid);
  EXPECT_EQ(grid->dy, -2);
  EXPECT_EQ(grid->cells[0].collision, 6);
  EXPECT_STREQ(grid->config->getStr("other", ""), "kept");
  grid->~LevelGrid();
  dlfree(grid);
  LevelGrid* only_collision = nullptr;
  write_png(tiles("ignored_c.png"), 1, 1, solid);  // not loaded: the library is already read
  only_collision = grid_from_tile("mapped");
  EXPECT_EQ(only_collision->cells[0].foreground, tile_pixel_color(0xFF808080));
  only_collision->~LevelGrid();
  dlfree(only_collision);
}

TEST(LevelTilePixels, ColoursAndCollisionTypes) {
  struct Case {
    uint32_t argb;
    uint16_t color;
    uint8_t collision;
  } cases[] = {
      {0xFFFFFFFF, 0xFFFF, 2}, {0x80000000, 0x8000, 0}, {0x7FFFFFFF, 0x7FFF, 0}, {0xFF0000FF, 0x801F, 3},
      {0xFF00FF00, 0x83E0, 6}, {0xFFFF0000, 0xFC00, 7}, {0xFF00FFFF, 0x83FF, 3}, {0xFFFF00FF, 0xFC1F, 3},
      {0xFFFFFF00, 0xFFE0, 3}, {0xFF7F7F7F, 0xBDEF, 0}, {0xFF808080, 0xC210, 2}, {0xFF80007F, 0xC00F, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tile_pixel_color(c.argb), c.color) << std::hex << c.argb;
    EXPECT_EQ(tile_pixel_collision(c.argb), c.collision) << std::hex << c.argb;
  }
}

// The smallest PNG with a zero width: a valid signature and header chunk that no decoder accepts.
std::string zero_width_png() {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  unsigned char ihdr[17] = {'I', 'H', 'D', 'R', 0, 0, 0, 0, 0, 0, 0, 1, 8, 6, 0, 0, 0};
  uint32_t crc = uint32_t(crc32(0, ihdr, 17));
  png += std::string("\0\0\0\x0d", 4) + std::string((const char*)ihdr, 17);
  for (int s = 24; s >= 0; s -= 8) png += char((crc >> s) & 255);
  return png;
}

using LevelTilesDeath = LevelTiles;

TEST_F(LevelTilesDeath, BadTileFoldersAreFatalWithTheirMessages) {
  struct Case {
    const char* what;
    std::function<void(LevelTiles*)> make;
    const char* message;
  } cases[] = {
      {"truncated image",
       [](LevelTiles* t) {
         write_png(t->tiles("cut_f.png"), 8, 8, solid);
         std::string bytes = read_file(t->tiles("cut_f.png"));
         write_file(t->tiles("cut_f.png"), bytes.substr(0, bytes.size() / 2));
       },
       "Error loading tile image cut_f.png: not a PNG image it can read"},
      {"zero-sized image", [](LevelTiles* t) { write_file(t->tiles("zero_b.png"), zero_width_png()); },
       "Error loading tile image zero_b.png: not a PNG image it can read"},
      {"not an image", [](LevelTiles* t) { write_file(t->tiles("text_c.png"), "hello"); },
       "Error loading tile image text_c.png: not a PNG image"},
      // Either may be the odd one (here the 1x1 background): both are named.
      {"layers of two sizes",
       [](LevelTiles* t) {
         write_png(t->tiles("wall0_f.png"), 16, 16, solid);
         write_png(t->tiles("wall0_b.png"), 1, 1, solid);
       },
       "Expected (16x16 tile image wall0_b.png \\(the size of wall0_f.png\\), got 1x1|1x1 tile image wall0_f.png "
       "\\(the size of wall0_b.png\\), got 16x16)"},
      {"two backgrounds",
       [](LevelTiles* t) {
         write_png(t->tiles("d_b.png"), 1, 1, solid);
         write_png(t->tiles("d_B.png"), 1, 1, solid);
       },
       "Duplicate background tile image d_[bB].png"},
      {"two foregrounds",
       [](LevelTiles* t) {
         write_png(t->tiles("d_f.png"), 1, 1, solid);
         write_png(t->tiles("d_F.PNG"), 1, 1, solid);
       },
       "Duplicate foreground tile image d_[fF].(png|PNG)"},
      {"two collision maps",
       [](LevelTiles* t) {
         write_png(t->tiles("d_c.png"), 1, 1, solid);
         write_png(t->tiles("d_C.png"), 1, 1, solid);
       },
       "Duplicate tile collision map d_[cC].png"},
      {"two configs",
       [](LevelTiles* t) {
         write_file(t->tiles("d.cfg"), "dx = 1\n");
         write_file(t->tiles("d.CFG"), "dx = 2\n");
       },
       "Duplicate tile config d.(cfg|CFG)"},
      {"unreadable config",
       [](LevelTiles* t) {
         make_folders(t->root + "/tiles");
         ASSERT_EQ(symlink("/nonexistent/level.cfg", t->tiles("gone.cfg").c_str()), 0);
       },
       "Error loading tile config gone.cfg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(system(("rm -rf '" + root + "/tiles'").c_str()), 0);
    c.make(this);
    EXPECT_EXIT(load_level_tiles(), testing::ExitedWithCode(100), c.message);
  }
}

// What the system says when a tile image or a tile folder cannot be read (as root the loading runs
// as another user, since root reads every file).
TEST_F(LevelTilesDeath, UnreadableImagesAndFoldersSayWhy) {
  struct Case {
    const char* what;
    const char* unreadable;  // below tiles/, made mode 000
    const char* message;
  } cases[] = {
      {"an image", "a_f.png", "Error loading tile image a_f.png: Permission denied"},
      {"the boss's folder", "boss1", "can't read tile folder tiles/boss1/: Permission denied"},
  };
  ASSERT_EQ(chmod(root.c_str(), 0755), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(system(("rm -rf '" + root + "/tiles'").c_str()), 0);
    write_png(tiles("a_f.png"), 2, 2, solid);
    write_png(tiles("boss1/foot_f.png"), 2, 2, solid);
    expect_fatal_while_unreadable(tiles(c.unreadable), load_level_tiles, c.message);
  }
}

TEST_F(LevelTilesDeath, UnknownTilesAreFatal) {
  write_png(tiles("only_f.png"), 1, 1, solid);
  load_level_tiles();
  EXPECT_EXIT(load_level_tile("Only"), testing::ExitedWithCode(100), "can't find level tile 'Only'");
  EXPECT_EXIT(grid_from_tile("missing"), testing::ExitedWithCode(100), "can't find level tile 'missing'");
  // The generator's pools name their tiles: a tile set without them stops at the first one missing.
  EXPECT_EXIT(init_level_tile_pools(), testing::ExitedWithCode(100), "can't find level tile 'back0'");
}

// A tile that only the boss needs is missed at start-up, with the generator's, not on the boss
// level: the game's own tile set copied with boss tiles taken away stops while the tiles load.
TEST_F(LevelTilesDeath, BossTilesAreRequiredWhenTheTilesLoad) {
  struct Case {
    const char* removed;  // below tiles/
    const char* message;
  } cases[] = {
      {"boss1/leg_*", "can't find level tile 'boss1/leg'"},
      {"boss1/foot_*", "can't find level tile 'boss1/foot'"},
      {"boss1/launcher_f.png boss1/launcher_c.png", "can't find level tile 'boss1/launcher'"},
      {"boss1", "can't find level tile 'boss1/foot'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.removed);
    std::string cmd = "rm -rf '" + root + "/tiles' && cp -r '" LEVEL_TILESET_DIR "tiles' '" + root + "/' && cd '" +
                      root + "/tiles' && rm -r " + c.removed;
    ASSERT_EQ(system(cmd.c_str()), 0);
    EXPECT_EXIT(
        {
          load_level_tiles();
          init_level_tile_pools();
          _exit(0);
        },
        testing::ExitedWithCode(100), c.message);
  }
}

// ---- the generated tile set

class TileSet : public LevelTest {
 protected:
  void SetUp() override {
    LevelTest::SetUp();
    use_folder(LEVEL_TILESET_DIR);
    load_level_tiles();
    init_level_tile_pools();
  }
};

int count_type(const LevelGenTile* t, uint8_t type) {
  int n = 0;
  for (int i = 0; i < t->width * t->height; i++) n += t->collision && t->collision[i] == type;
  return n;
}

TEST_F(TileSet, HoldsEveryTileTheGameLooksUp) {
  EXPECT_EQ(num_boss_tiles, 7);
  for (int i = 0; i < num_boss_tiles; i++) EXPECT_TRUE(find_level_tile(boss_tile_names[i])) << boss_tile_names[i];
  EXPECT_EQ(level_tiles.size(), 43 + 7);
}

TEST_F(TileSet, SolidsDestructionAndExitsFollowTheRules) {
  for (LevelGenTile* t : level_tiles) {
    std::string name = t->name;
    if (name.rfind("boss1/", 0) == 0) continue;
    SCOPED_TRACE(name);
    EXPECT_EQ(t->width, 16);
    EXPECT_EQ(t->height, 16);
    int cells = t->width * t->height;
    bool is_background = name.rfind("back", 0) == 0 || name.rfind("sback", 0) == 0;
    if (is_background) {
      EXPECT_FALSE(t->foreground);
      EXPECT_FALSE(t->collision);
      for (int i = 0; i < cells; i++) ASSERT_TRUE(t->background[i] & 0x8000);
      continue;
    }
    ASSERT_TRUE(t->collision);
    EXPECT_EQ(count_type(t, 3) > 0, name == "exit");  // the exit is the only tile with exit cells
    for (int i = 0; i < cells; i++) {
      uint8_t c = t->collision[i];
      bool fg = t->foreground && (t->foreground[i] & 0x8000);
      ASSERT_EQ(c != 0, fg) << "cell " << i;  // solid exactly where something is drawn
      if (c && (name.rfind("wall", 0) == 0 || name.rfind("floor", 0) == 0)) {
        ASSERT_EQ(c, 1);
      }
      if (c && (name.rfind("mach", 0) == 0 || name.rfind("stair", 0) == 0 || name.rfind("plat", 0) == 0 ||
                name.rfind("hfloor", 0) == 0)) {
        ASSERT_EQ(c, 2);
      }
    }
    if (name.rfind("wall", 0) == 0 || name.rfind("mach", 0) == 0 || name == "exit") {
      EXPECT_EQ(count_type(t, 1) + count_type(t, 2) + count_type(t, 3), cells);  // full blocks
    }
  }
}

// The height of the solid column x of a tile, counted from the bottom.
int column_top(const LevelGenTile* t, int x) {
  int top = 0;
  for (int y = 0; y < t->height; y++)
    if (t->collision[y * t->width + x]) top = y + 1;
  return top;
}

TEST_F(TileSet, StairsPlatformsAndFloorsCanBeWalked) {
  // Stairs rise in steps no higher than the hero's step-up of 4 cells, to the tile's full height.
  for (const char* name : {"stairR", "stairL"}) {
    const LevelGenTile* t = load_level_tile(name);
    bool right = name[5] == 'R';
    int prev = 0;
    for (int i = 0; i < 16; i++) {
      int top = column_top(t, right ? i : 15 - i);
      EXPECT_GE(top, prev) << name;
      EXPECT_LE(top - prev, 4) << name;
      prev = top;
    }
    EXPECT_EQ(prev, 16) << name;
  }
  // Platforms and floors are thin ledges along the top: walkable on, and passable beneath.
  for (const char* name : {"plat0", "plat1", "plat2", "plat3", "plat4", "hfloor0", "hfloor1", "hfloor2", "floor0",
                           "floor1", "floor2", "floor3"}) {
    const LevelGenTile* t = load_level_tile(name);
    for (int x = 0; x < 16; x++) {
      EXPECT_EQ(column_top(t, x), 16) << name << " column " << x;
      EXPECT_EQ(t->collision[x], 0) << name;  // nothing on the bottom row
    }
  }
  // The exit pad: exit cells on top of an indestructible block.
  const LevelGenTile* exit = load_level_tile("exit");
  for (int x = 0; x < 16; x++) {
    EXPECT_EQ(exit->collision[15 * 16 + x], 3);
    EXPECT_EQ(exit->collision[x], 2);
  }
}

TEST_F(TileSet, BossBodyHasItsFourSubparts) {
  const LevelGenTile* body = load_level_tile("boss1/body");
  auto type_at = [&](int x, int y) { return body->collision[y * body->width + x]; };
  int points[4][2] = {{32, 6}, {32, 42}, {20, 24}, {12, 24}};
  for (auto& p : points) EXPECT_EQ(type_at(p[0], p[1]), 7) << p[0] << "," << p[1];
  // Each subpart is a region of its own: a flood from one never reaches another.
  std::vector<int> region(size_t(body->width * body->height), -1);
  for (int k = 0; k < 4; k++) {
    std::vector<int> stack = {points[k][1] * body->width + points[k][0]};
    while (!stack.empty()) {
      int i = stack.back();
      stack.pop_back();
      if (region[size_t(i)] >= 0 || body->collision[i] != 7) continue;
      region[size_t(i)] = k;
      int x = i % body->width, y = i / body->width;
      if (x > 0) stack.push_back(i - 1);
      if (x < body->width - 1) stack.push_back(i + 1);
      if (y > 0) stack.push_back(i - body->width);
      if (y < body->height - 1) stack.push_back(i + body->width);
    }
    for (int j = 0; j < k; j++)
      EXPECT_NE(region[size_t(points[j][1] * body->width + points[j][0])], k) << "subparts " << j << " and " << k;
  }
}

}  // namespace
