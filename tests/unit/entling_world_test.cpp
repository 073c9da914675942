// The object world's walks, deletion, removals and lookups, driven through the library with probe
// objects of the tests' own (they have Entling's layout, so the library's walks call them) and
// with the library's own classes; the level's enemy choice and its random draws.
#include <functional>
#include <string>
#include <vector>
#include "bossViews.h"
#include "engine/app.h"
#include "engine/loadSprite.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "entlingSupport.h"
#include "game/entlingExports.h"
#include "game/gen/levelGenRuntime.h"

// Records what the walks ask of it. Outside an anonymous namespace, so that calls go through its
// table like the library's.
struct Probe : EntlingMirror {
  static std::vector<std::string>* journal;
  static int freed;
  std::string tag;
  std::function<void()> onUpdate;
  BaseObject* destroyWhenFreed = nullptr;

  explicit Probe(std::string t) : tag(std::move(t)) {}
  ~Probe() override {
    freed++;
    if (destroyWhenFreed) destroyWhenFreed->destroy();
  }
  const char* className() const override { return "Probe"; }
  void update(float) override {
    journal->push_back(tag + ".update");
    if (onUpdate) onUpdate();
  }
  void render(float) override { journal->push_back(tag + ".render"); }
  void renderDebug(float) override { journal->push_back(tag + ".debug"); }
  void renderGrid(float) override { journal->push_back(tag + ".grid"); }
};
std::vector<std::string>* Probe::journal = nullptr;
int Probe::freed = 0;

namespace {

const char* const list_names[NUM_OBJECT_LISTS] = {"Hero",         "BaseEnemy",           "Bullet",  "ExplBarrel",
                                                  "Bomb",         "HeartBonus",          "UpBonus", "BossPart",
                                                  "BossPosJoint", "LockSubpartBehavior", "ExitFx",  "Boss1"};

class World : public EntlingWorld {
 protected:
  std::vector<std::string> journal;
  void SetUp() override {
    EntlingWorld::SetUp();
    Probe::journal = &journal;
    Probe::freed = 0;
  }
  Probe* add(int list, const std::string& tag) {
    Probe* p = new Probe(tag);
    object_list(list).push_back(p);
    return p;
  }
  // One probe in each of the twelve lists, tagged with the list's class.
  void fillEveryList() {
    for (int l = 0; l < NUM_OBJECT_LISTS; l++) add(l, list_names[l]);
  }
  std::vector<std::string> tags(int list) {
    std::vector<std::string> t;
    DynArray<BaseObject*>& l = object_list(list);
    for (int i = 0; i < l.size(); i++) t.push_back(static_cast<Probe*>(static_cast<EntlingMirror*>(l[i]))->tag);
    return t;
  }
  int total() {
    int n = 0;
    for (int l = 0; l < NUM_OBJECT_LISTS; l++) n += object_list(l).size();
    return n;
  }
};

}  // namespace

TEST_F(World, EachWalkVisitsItsListsInItsOrder) {
  fillEveryList();
  update_entling(0.05f);
  EXPECT_EQ(journal, std::vector<std::string>({"Boss1.update", "Hero.update", "BaseEnemy.update", "Bullet.update",
                                               "ExplBarrel.update", "Bomb.update", "HeartBonus.update",
                                               "UpBonus.update", "ExitFx.update"}));
  journal.clear();
  render_entling(0.01f);
  EXPECT_EQ(journal, std::vector<std::string>({"Hero.render", "BaseEnemy.render", "ExplBarrel.render", "Bomb.render",
                                               "HeartBonus.render", "UpBonus.render", "Bullet.render"}));
  journal.clear();
  render_boss(0.01f);
  EXPECT_EQ(journal, std::vector<std::string>({"BossPart.grid"}));
  journal.clear();
  render_entling_debug(0.01f);
  EXPECT_EQ(journal, std::vector<std::string>({"Hero.debug", "BaseEnemy.debug", "ExplBarrel.debug", "Bomb.debug",
                                               "HeartBonus.debug", "UpBonus.debug", "BossPart.debug", "Boss1.debug"}));
  journal.clear();
  render_bullets(0.01f);
  EXPECT_EQ(journal, std::vector<std::string>({"Bullet.render"}));
}

TEST_F(World, ObjectsAddedDuringAStepAreVisitedWhenTheirListIsStillAhead) {
  Probe* shooter = add(0, "hero");
  // A bullet fired by the hero is updated in the same step; a hero made during the bullets' turn
  // waits for the next step, its list being done.
  // A bullet that splits in its own update: the new one comes later in the same list, and is
  // visited too.
  shooter->onUpdate = [&] {
    add(2, "bullet")->onUpdate = [&] {
      add(0, "late hero");
      add(2, "split");
    };
    shooter->onUpdate = nullptr;
  };
  update_entling(0.05f);
  EXPECT_EQ(journal, std::vector<std::string>({"hero.update", "bullet.update", "split.update"}));
  EXPECT_EQ(tags(0), std::vector<std::string>({"hero", "late hero"}));
  EXPECT_EQ(tags(2), std::vector<std::string>({"bullet", "split"}));
}

TEST_F(World, DestroyedObjectsKeepTakingPartUntilTheEndOfTheStep) {
  Probe* a = add(1, "a");
  Probe* b = add(1, "b");
  add(4, "c");
  a->onUpdate = [&] { b->destroy(); };
  update_entling(0.05f);
  EXPECT_EQ(journal, std::vector<std::string>({"a.update", "b.update", "c.update"}));
  EXPECT_EQ(tags(1), std::vector<std::string>({"a"}));
  EXPECT_EQ(Probe::freed, 1);
  EXPECT_EQ(deleted_entlings.size(), 0);
}

TEST_F(World, DeletionFillsHolesFromTheEndAndReexaminesThem) {
  Probe* p[5];
  for (int i = 0; i < 5; i++) p[i] = add(3, std::string(1, char('a' + i)));
  p[1]->destroy();
  delete_entling();
  EXPECT_EQ(tags(3), std::vector<std::string>({"a", "e", "c", "d"}));
  // The last one moves into a hole and is itself destroyed: the slot is examined again.
  p[3]->destroy();
  p[2]->destroy();
  delete_entling();
  EXPECT_EQ(tags(3), std::vector<std::string>({"a", "e"}));
  EXPECT_EQ(Probe::freed, 3);
}

TEST_F(World, NothingIsDeletedWithoutAQueueEvenWithAFlagSet) {
  Probe* p = add(5, "flagged");
  p->flags = OBJ_DESTROYED;
  delete_entling();
  EXPECT_EQ(tags(5), std::vector<std::string>({"flagged"}));
  EXPECT_EQ(Probe::freed, 0);
  p->flags = 0;
}

TEST_F(World, AnObjectDestroyedByADestructorLeavesItsListBeforeItIsFreed) {
  Probe* keeper = add(7, "part");
  Probe* other = add(8, "joint");
  Probe* lone = new Probe("unlisted");  // a joint of a base class: queued, in no list
  keeper->destroyWhenFreed = other;
  other->destroyWhenFreed = lone;
  keeper->destroy();
  delete_entling();
  EXPECT_EQ(total(), 0);
  EXPECT_EQ(Probe::freed, 3);
  EXPECT_EQ(deleted_entlings.size(), 0);
}

TEST_F(World, GroupRemovalsTakeTheirListsOnly) {
  fillEveryList();
  remove_all_enemies();
  EXPECT_EQ(total(), 6);
  for (int l : {0, 2, 5, 6, 8, 9}) EXPECT_EQ(object_list(l).size(), 1) << list_names[l];
  remove_all_bonuses();
  EXPECT_EQ(total(), 4);
  reset_bullets();
  delete_entling();
  EXPECT_EQ(total(), 3);
  hero = (Hero*)object_list(0)[0];
  remove_all_entling();
  EXPECT_EQ(hero, nullptr);
  // The boss's joints and behaviours are its own to destroy.
  EXPECT_EQ(tags(8), std::vector<std::string>({"BossPosJoint"}));
  EXPECT_EQ(tags(9), std::vector<std::string>({"LockSubpartBehavior"}));
  EXPECT_EQ(total(), 2);
}

TEST_F(World, CloseWritesItsSixLinesEvenWhenEmpty) {
  close_entling();
  fillEveryList();
  hero = (Hero*)object_list(0)[0];
  close_entling();
  EXPECT_EQ(hero, nullptr);
  EXPECT_EQ(total(), 2);
  const char* lines =
      "closing bonuses\nclosing enemies\nclosing hero\ndestroying game objects\n"
      "deleting game objects\nclosed game objects\n";
  EXPECT_EQ(logText(), std::string(lines) + lines);
}

TEST_F(World, LookupBySerialIdSearchesTheListsInOrder) {
  Probe* enemy = add(1, "enemy");
  Probe* first = add(0, "hero");
  Probe* boss = add(11, "boss");
  enemy->serId = 4;
  first->serId = 4;
  boss->serId = 9;
  boss->destroy();
  EXPECT_EQ(get_entling_by_ser_id(0), nullptr);
  EXPECT_EQ(get_entling_by_ser_id(4), first);
  EXPECT_EQ(get_entling_by_ser_id(9), boss);  // destroyed or not
  try {
    get_entling_by_ser_id(77);
    FAIL() << "no exception";
  } catch (const InputStream::Exception& e) {
    EXPECT_STREQ(e.message, "Cannot find object #77");
    EXPECT_EQ(e.position, -1);
  }
}

// ---- the library's own objects in the world

TEST_F(World, PlacedObjectsAndTheHero) {
  EXPECT_EQ(get_hero_health(), 0);  // no hero: neutral answers, nothing written
  set_hero_health(3);
  reset_hero(1, 2);
  close_hero();
  // The hero's sprites come from the game's own set.
  char saved_app_path[sizeof(app_path)];
  memcpy(saved_app_path, app_path, sizeof(app_path));
  snprintf(app_path, sizeof(app_path), "%s/", ASCENDA_ART_DIR);
  init_sprites();
  memcpy(app_path, saved_app_path, sizeof(app_path));
  init_hero();
  ASSERT_NE(hero, nullptr);
  EXPECT_EQ(get_hero_health(), 4);
  set_hero_health(6);
  EXPECT_EQ(get_hero_health(), 6);
  EXPECT_TRUE(get_hero_face_right());
  reset_hero(100, 40);
  vec4float p = get_hero_pos();
  EXPECT_EQ(p.x(), 100);
  EXPECT_EQ(p.y(), 40);
  EXPECT_EQ(p.z(), 8);
  EXPECT_EQ(p.w(), 1);
  move_hero(vec4float(110, 40, 8, 1), 0.05f);
  EXPECT_EQ(interp_hero_pos(0.025f).x(), 105);
  EXPECT_EQ(interp_hero_pos(0.05f).x(), 110);

  Entling *barrel, *boss, *enemy;
  {
    GameTilesLoaded tiles;  // the boss builds itself from them (its parts keep copies of their cells)
    barrel = add_enemy(11, 50, 16);
    boss = add_enemy(23, 900, 16);
    enemy = add_enemy(3, 60, 16);
  }
  ASSERT_TRUE(barrel && boss && enemy);
  EXPECT_STREQ(((BaseObject*)barrel)->className(), "ExplBarrel");
  EXPECT_STREQ(((BaseObject*)boss)->className(), "Boss1");
  EXPECT_STREQ(((BaseObject*)enemy)->className(), "BaseEnemy");
  EXPECT_EQ(((EntlingMirror*)barrel)->getBox().x(), 45);
  EXPECT_EQ(((EntlingMirror*)barrel)->getBox().w(), 27);
  update_entling(0.05f);
  close_hero();
  EXPECT_EQ(hero, nullptr);
  EXPECT_EQ(Hero_list.size(), 1);  // until the next deletion
  delete_entling();
  EXPECT_EQ(Hero_list.size(), 0);
  close_sprites();
}

TEST_F(World, BonusesAreCollectedOnceAndGoAtTheNextDeletion) {
  Entling* heart = add_enemy(14, 100, 0);
  Entling* up = add_enemy(15, 200, 0);
  ASSERT_TRUE(heart && up);
  collect_bonuses(vec4float(80, 0, 93.5f, 10));  // ends short of the heart: no touch
  EXPECT_EQ(deleted_entlings.size(), 0);
  collect_bonuses(vec4float(95, 5, 98, 10));
  EXPECT_EQ(deleted_entlings.size(), 1);
  collect_bonuses(vec4float(95, 5, 98, 10));
  EXPECT_EQ(deleted_entlings.size(), 1);
  EXPECT_TRUE(((BaseObject*)heart)->isDestroyed());
  EXPECT_FALSE(((BaseObject*)up)->isDestroyed());
  delete_entling();
  EXPECT_EQ(HeartBonus_list.size(), 0);
  EXPECT_EQ(UpBonus_list.size(), 1);
}

// ---- the level's enemy types

namespace {
int enemy_cost(int m) {
  int c = 0;
  if (m & 1) c += 1;
  if (m & 4) c += 10;
  if (m & 0x100000) c += 1;
  if (m & 0x400) c += 5;
  if (m & 0x800) c += 8;
  if (m & 0x1000) c += 2;
  if (m & 0x2000) c += 2;
  return c;
}
}  // namespace

TEST_F(World, LevelEnemiesAreThreeDistinctArmedTypesWithinTheBudget) {
  for (int level : {0, 1, 3, 8}) {
    for (uint64_t seed = 1; seed < 200; seed++) {
      cur_level = level;
      game_rnd_seed = seed;
      select_level_enemies();
      ASSERT_EQ(num_enemy_types, 3);
      for (int i = 0; i < 3; i++) {
        int m = enemy_types[i];
        int movement = m & 0xF;
        EXPECT_TRUE(movement == 1 || movement == 2 || movement == 4 || movement == 8) << std::hex << m;
        int guns = m & 0x3C00;
        EXPECT_EQ(guns & (guns - 1), 0) << std::hex << m;
        EXPECT_NE(m & 0x103C00, 0) << std::hex << m;
        EXPECT_EQ(m & ~0x103C0F, 0) << std::hex << m;
        EXPECT_LE(enemy_cost(m), 2 * level + 2) << std::hex << m;
        for (int j = 0; j < i; j++) EXPECT_NE(enemy_types[j], m);
      }
      // The draws come in threes from the game's generator, and the same seed gives the same types.
      uint64_t after = game_rnd_seed;
      int picked[3] = {enemy_types[0], enemy_types[1], enemy_types[2]};
      game_rnd_seed = seed;
      int draws = 0;
      while (game_rnd_seed != after && draws < 100000) {
        level_rnd();
        draws++;
      }
      EXPECT_EQ(draws % 3, 0);
      game_rnd_seed = seed;
      select_level_enemies();
      EXPECT_EQ(game_rnd_seed, after);
      for (int i = 0; i < 3; i++) EXPECT_EQ(enemy_types[i], picked[i]);
    }
  }
  // A level number below 0 chooses as level 0 does, instead of looking for ever.
  cur_level = -3;
  game_rnd_seed = 5;
  select_level_enemies();
  EXPECT_EQ(num_enemy_types, 3);
  for (int i = 0; i < 3; i++) EXPECT_LE(enemy_cost(enemy_types[i]), 2);
  cur_level = 1;
}

TEST_F(World, ANewEnemyTakesOneDrawAndOneOfTheLevelsTypes) {
  enemy_types[0] = 0x1 | 0x100000;  // spikes: 14 wide, 12 high
  enemy_types[1] = 0x4 | 0x400;     // magnet: 12 wide, 8 high
  num_enemy_types = 2;
  game_rnd_seed = 12345;
  std::vector<int> expected;
  for (int i = 0; i < 20; i++) expected.push_back(enemy_types[level_rnd() % 2]);
  uint64_t after = game_rnd_seed;
  game_rnd_seed = 12345;
  for (int i = 0; i < 20; i++) new_entling_by_id(8);
  EXPECT_EQ(game_rnd_seed, after);
  ASSERT_EQ(BaseEnemy_list.size(), 20);
  for (int i = 0; i < 20; i++) {
    EntlingMirror* e = (EntlingMirror*)BaseEnemy_list[i];
    e->setPos(0, 0);
    vec4float box = e->getBox();
    bool spikes = expected[i] & 0x100000;
    EXPECT_EQ(box.z() - box.x(), spikes ? 14.f : 12.f) << i;
    EXPECT_EQ(box.w() - box.y(), spikes ? 12.f : 8.f) << i;
  }
  // With no types chosen an enemy still takes its draw, and has no parts.
  num_enemy_types = 0;
  game_rnd_seed = 7;
  level_rnd();
  after = game_rnd_seed;
  game_rnd_seed = 7;
  EntlingMirror* plain = (EntlingMirror*)new_entling_by_id(8);
  EXPECT_EQ(game_rnd_seed, after);
  plain->setPos(0, 0);
  EXPECT_EQ(plain->getBox().w(), 10.f);
}

namespace {
// The state whose next draw is `draw`: the generator's step run backwards (its multiplier is odd,
// so it has an inverse modulo 2^64, found by Newton's iteration).
uint64_t state_before_draw(uint32_t draw) {
  const uint64_t mul = 6364136223846793005ull, inc = 1442695040888963407ull;
  uint64_t inverse = mul;
  for (int i = 0; i < 5; i++) inverse *= 2 - mul * inverse;
  return ((uint64_t(draw) << 32) - inc) * inverse;
}
}  // namespace

// A unit draw is the draw over 2^32 and stays below 1 even for the top draws, whose conversion to
// float rounds up to 2^32; it takes exactly one draw.
TEST(RandomUnit, EveryDrawGivesAValueFromZeroToBelowOne) {
  const float below_one = 1.0f - 1.0f / 16777216.0f;
  struct {
    uint32_t draw;
    float expected;
  } cases[] = {{0, 0.0f},
               {1, 1.0f / 4294967296.0f},
               {0x80000000u, 0.5f},
               {0xFFFFFF00u, below_one},
               {0xFFFFFF7Fu, below_one},  // the last draw that rounds down
               {0xFFFFFF80u, below_one},  // the first that rounds up to 2^32
               {0xFFFFFFFFu, below_one}};
  for (const auto& c : cases) {
    game_rnd_seed = state_before_draw(c.draw);
    uint64_t before = game_rnd_seed;
    EXPECT_EQ(level_rnd(), c.draw) << "the state leads to the draw";
    game_rnd_seed = before;
    float r = rnd_unit();
    EXPECT_FLOAT_EQ(r, c.expected) << std::hex << c.draw;
    EXPECT_LT(r, 1.0f) << std::hex << c.draw;
    EXPECT_LT(2 * r - 1, 1.0f) << std::hex << c.draw;
    game_rnd_seed = before;
    level_rnd();
    uint64_t after_one = game_rnd_seed;
    game_rnd_seed = before;
    rnd_unit();
    EXPECT_EQ(game_rnd_seed, after_one) << "one draw";
  }
}
