// The level boss against the real actor library, in the boss room that the level generator builds
// for level 4 from the game's own tiles: its parts, joints and locks, waking, the gait and the guns,
// hits that chew the parts apart, the subparts' blow-offs, the dying sequence and the exit.
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "bossViews.h"
#include "engine/app.h"
#include "engine/sysUtils.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/levelTemplates.h"
#include "game/gen/loadTiles.h"
#include "game/particles.h"
#include "game/progression.h"

namespace {

class BossRoom : public EntlingWorld {
 protected:
  char savedAppPath[sizeof(app_path)];
  Boss1View* boss = nullptr;
  float spawnX = 0, spawnY = 0;

  void SetUp() override {
    EntlingWorld::SetUp();
    memcpy(savedAppPath, app_path, sizeof(app_path));
    snprintf(app_path, sizeof(app_path), "%s", LEVEL_TILESET_DIR);
    load_level_tiles();
    init_level_tile_pools();
    level_layout_generator = build_level_layout;
    bullet_wall_destr = 2;
  }
  void TearDown() override {
    EntlingWorld::TearDown();
    close_level_tiles();
    clear_level_data();
    memcpy(app_path, savedAppPath, sizeof(app_path));
  }

  // Level 4 of the seed with the hero and the boss only; the hero far to the boss's left.
  void makeLevel(uint64_t seed) {
    hero = (Hero*)new_entling_by_id(TYPE_HERO);
    cur_level = 4;
    game_rnd_seed = seed;
    testing::internal::CaptureStdout();
    generate_level();
    testing::internal::GetCapturedStdout();
    auto destroy_all = [](int list) {
      for (int i = 0; i < object_list(list).size(); i++) object_list(list)[i]->destroy();
    };
    for (int list : {1, 3, 4, 5, 6}) destroy_all(list);
    delete_entling();
    ASSERT_EQ(Boss1_list.size(), 1);
    boss = view<Boss1View>((BaseObject*)Boss1_list[0]);
    spawnX = boss->walkRight;
    spawnY = boss->foot1->pos.y() - 1;
    putHero(spawnX - 400);
  }
  void putHero(float x) { reset_hero(x, spawnY); }
  void step(int n = 1) {
    for (int i = 0; i < n; i++) update_entling(0.05f);
  }
};

TEST_F(BossRoom, Explore) {
  makeLevel(7);
  putHero(spawnX - 150);
  int bullets = 0, bombs = 0;
  for (int i = 1; i <= 200; i++) {
    step();
    if (Bullet_list.size() != bullets) printf("volley %d\n", i);
    if (Bomb_list.size() != bombs) printf("bomb %d\n", i);
    bullets = Bullet_list.size();
    bombs = Bomb_list.size();
  }
}

}  // namespace
