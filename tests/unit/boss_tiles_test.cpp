// The boss's tiles: the generated set gives every part armour and hull and the body four separate
// subparts; bodies that break the rules are refused by name when the tiles load.
#include "game/gen/bossTiles.h"
#include "tests/unit/level_fixtures.h"

using namespace level_test;

namespace {

const uint32_t WHITE = 0xFFFFFFFF, RED = 0xFFFF0000, BLUE = 0xFF0000FF;

class BossTiles : public LevelTest {};
using BossTilesDeathTest = BossTiles;

TEST_F(BossTiles, TheGeneratedPartsHaveArmourAndHullAndTheBodyFourSubparts) {
  use_folder(LEVEL_TILESET_DIR);
  testing::internal::CaptureStdout();
  load_level_tiles();
  testing::internal::GetCapturedStdout();
  for (const char* name :
       {"boss1/foot", "boss1/leg", "boss1/body", "boss1/fgun", "boss1/support1", "boss1/tgun", "boss1/launcher"}) {
    LevelGenTile* t = find_level_tile(name);
    ASSERT_NE(t, nullptr) << name;
    ASSERT_NE(t->collision, nullptr) << name;
    int armour = 0, hull = 0;
    for (int i = 0; i < t->width * t->height; i++) {
      armour += t->collision[i] == LEVEL_COLL_SOLID;
      hull += t->collision[i] == 3;  // destructible, no subpart
    }
    EXPECT_GT(armour, 0) << name;
    EXPECT_GT(hull, armour / 4) << name;
  }
  char msg[200];
  EXPECT_EQ(boss_body_fault(*find_level_tile("boss1/body"), msg, sizeof(msg)), nullptr) << msg;
}

// A 46 x 48 body, hull everywhere, with the four subpart regions of the game's body in red.
void write_body(const std::string& file, int w, int h, const std::function<uint32_t(int, int)>& extra) {
  write_png(file, w, h, [&](int x, int y) {
    uint32_t c = extra(x, y);
    if (c) return c;
    bool red = (x >= 31 && y <= 11) || (x >= 31 && y >= 36) || (x >= 18 && x <= 28 && y >= 14 && y <= 34) ||
               (x >= 4 && x <= 15 && y >= 18 && y <= 30);
    return red ? RED : BLUE;
  });
}

TEST_F(BossTilesDeathTest, BodiesBreakingTheRulesStopTheLoadByName) {
  struct Case {
    const char* what;
    int w, h;
    std::function<uint32_t(int, int)> extra;
    const char* message;
  } cases[] = {
      {"too narrow", 32, 48, [](int, int) { return 0u; },
       "boss tile boss1/body: must be at least 33x43 cells, is 32x48"},
      {"a seed that is not red", 46, 48, [](int x, int y) { return x == 20 && y == 24 ? WHITE : 0u; },
       "boss tile boss1/body: subpart seed cell \\(20, 24\\) is not red"},
      {"the core joined to the middle plate", 46, 48,
       [](int x, int y) { return x >= 15 && x <= 18 && y == 24 ? RED : 0u; },
       "boss tile boss1/body: the red regions of seed cells \\(20, 24\\) and \\(12, 24\\) must have disjoint boxes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(system(("rm -rf '" + root + "/tiles'").c_str()), 0);
    write_body(tiles("boss1/body_c.png"), c.w, c.h, c.extra);
    write_png(tiles("boss1/body_f.png"), c.w, c.h, [](int, int) { return 0xFF808080u; });
    EXPECT_EXIT(load_level_tiles(), testing::ExitedWithCode(100), c.message);
  }
  // The same body without the faults loads.
  ASSERT_EQ(system(("rm -rf '" + root + "/tiles'").c_str()), 0);
  write_body(tiles("boss1/body_c.png"), 46, 48, [](int, int) { return 0u; });
  write_png(tiles("boss1/body_f.png"), 46, 48, [](int, int) { return 0xFF808080u; });
  testing::internal::CaptureStdout();
  load_level_tiles();
  testing::internal::GetCapturedStdout();
  EXPECT_NE(find_level_tile("boss1/body"), nullptr);
}

}  // namespace
