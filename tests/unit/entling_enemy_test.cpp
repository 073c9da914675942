// Enemies through the library: an enemy made before the level chose its types, walking and
// turning at walls, sleeping until seen, the guns' patterns, the charge gun's burst, spikes both
// ways, one-shot kills, the magnet, the jet and the jumper, on a flat floor with a stand-in hero. Every update is one world step of 0.05 s.
#include <math.h>
#include <vector>
#include "enemyTestSupport.h"

namespace {

enum {
  JUMPER = 1,
  JET = 2,
  MAGNET = 4,
  WHEELS = 8,
  TURRET = 0x400,
  CHARGE = 0x800,
  H_GUN = 0x1000,
  V_GUN = 0x2000,
  SPIKES = 0x100000,
};
const float STEP = 0.05f;

using Enemies = ObjectsWorld;

bool finite(vec4float v) { return std::isfinite(v.x()) && std::isfinite(v.y()); }

}  // namespace

// Before the level chose its types an enemy gets no parts: a bare body that wakes, walks at 45
// units a second and never shoots.
TEST_F(Enemies, MadeBeforeTheLevelChoseTypesIsABareWalker) {
  num_enemy_types = 0;
  EnemyView* e = view<EnemyView>(add_enemy(TYPE_BASE_ENEMY, 500, FLOOR_TOP));
  EXPECT_EQ(e->parts, 0);
  EXPECT_EQ(e->halfWidth, 6);
  EXPECT_EQ(e->height, 10);
  placeHero(520, FLOOR_TOP);
  showView(0, 0, 1000, 100);
  e->render(STEP);
  EXPECT_FALSE(e->asleep);
  takeLog();
  for (int i = 0; i < 40; i++) {
    e->update(STEP);
    e->render(STEP);
  }
  EXPECT_EQ(object_list(BULLET_LIST).size(), 0);
  EXPECT_EQ(soundCount(takeLog(), "enemy_shoot"), 0);
  EXPECT_NEAR(e->vel[0], -45.0f, 1e-3);
  EXPECT_NEAR(e->pos.y(), float(FLOOR_TOP), 0.05f);
  EXPECT_LT(e->pos.x(), 500 - 40 * 2.0f);
}

TEST_F(Enemies, WheelsTurnAtAWallAndWalkBack) {
  for (int x = 440; x < 450; x++)
    for (int y = FLOOR_TOP; y < 60; y++) level_cell(x, y).collision = LEVEL_COLL_SOLID;
  EnemyView* e = addEnemy(WHEELS, 480, FLOOR_TOP);
  e->asleep = false;
  float min_x = 1e9f;
  int turned_at = -1;
  for (int i = 0; i < 80; i++) {
    e->update(STEP);
    min_x = fminf(min_x, e->pos.x());
    if (e->faceRight && turned_at < 0) turned_at = i;
  }
  EXPECT_NEAR(min_x, 450 + 6.0f, 0.1f);  // stopped by the wall's face
  ASSERT_GE(turned_at, 0);
  EXPECT_LT(turned_at, 40);
  EXPECT_GT(e->pos.x(), min_x + 30);  // and came back
  EXPECT_NEAR(e->vel[0], 45.0f, 1e-3);
}

TEST_F(Enemies, SleepUntilSeenOrHitAndAgainWhenTheHeroIsFarAhead) {
  placeHero(560, FLOOR_TOP);
  EnemyView* e = addEnemy(WHEELS | TURRET, 500, FLOOR_TOP);
  takeLog();
  // Not drawn: nothing happens, however long.
  for (int i = 0; i < 30; i++) {
    update_entling(STEP);
    render_entling(STEP);
  }
  EXPECT_TRUE(e->asleep);
  EXPECT_EQ(e->pos.x(), 500);
  EXPECT_EQ(object_list(BULLET_LIST).size(), 0);
  std::string log = takeLog();
  EXPECT_EQ(soundCount(log, "enemy_shoot"), 0);
  EXPECT_EQ(soundCount(log, "enemy_spots_hero"), 0);
  // Drawn inside the view: it wakes, says so once, and starts moving.
  showView(480, 0, 520, 40);
  render_entling(STEP);
  render_entling(STEP);
  EXPECT_FALSE(e->asleep);
  EXPECT_EQ(soundCount(takeLog(), "enemy_spots_hero"), 1);
  update_entling(STEP);
  EXPECT_LT(e->pos.x(), 500);
  EXPECT_GT(object_list(BULLET_LIST).size(), 0);
  // The hero more than 500 units ahead: asleep again, frozen.
  fakeHero->pos = vec4float(e->pos.x() + 501, FLOOR_TOP, 8, 1);
  hideView();
  update_entling(STEP);
  EXPECT_TRUE(e->asleep);
  float x = e->pos.x();
  for (int i = 0; i < 5; i++) update_entling(STEP);
  EXPECT_EQ(e->pos.x(), x);
  // A hit wakes a sleeper too.
  EnemyView* other = addEnemy(WHEELS, 300, FLOOR_TOP);
  other->health = 2;
  other->hit(other->pos, 1);
  EXPECT_FALSE(other->asleep);
  EXPECT_EQ(soundCount(takeLog(), "enemy_hurt"), 1);
}

TEST_F(Enemies, GunsFireTheirPatternOnceASecond) {
  struct Case {
    const char* what;
    int parts;
    std::vector<vec4float> velocities;  // of the first volley; empty: never fires
    float muzzleHeight;
  } cases[] = {
      {"horizontal double gun", WHEELS | H_GUN, {vec4float(100, 0, 0, 0), vec4float(-100, 0, 0, 0)}, 7},
      {"vertical double gun", WHEELS | V_GUN, {vec4float(0, 100, 0, 0), vec4float(0, -100, 0, 0)}, 7},
      {"magnet's muzzle sits lower", MAGNET | H_GUN, {vec4float(100, 0, 0, 0), vec4float(-100, 0, 0, 0)}, 5},
      {"no gun", WHEELS, {}, 0},
  };
  for (const Case& c : cases) {
    remove_all_entling();
    placeHero(900, FLOOR_TOP);
    EnemyView* e = addEnemy(c.parts, 500, FLOOR_TOP);
    e->asleep = false;
    takeLog();
    e->update(STEP);
    DynArray<BaseObject*>& bullets = object_list(BULLET_LIST);
    ASSERT_EQ(bullets.size(), int(c.velocities.size())) << c.what;
    for (int i = 0; i < bullets.size(); i++) {
      BulletView* b = view<BulletView>(bullets[i]);
      EXPECT_EQ(b->bulletFlags, 2) << c.what;
      EXPECT_EQ(b->vel.x(), c.velocities[i].x()) << c.what;
      EXPECT_EQ(b->vel.y(), c.velocities[i].y()) << c.what;
      EXPECT_FLOAT_EQ(b->pos.y(), e->pos.y() + c.muzzleHeight) << c.what;
      EXPECT_FLOAT_EQ(b->pos.x(), e->pos.x()) << c.what;
    }
    for (int i = 1; i < 40; i++) e->update(STEP);
    EXPECT_EQ(soundCount(takeLog(), "enemy_shoot"), c.velocities.empty() ? 0 : 2) << c.what;
  }
}

// The turret turns toward the hero at 5 radians a second and shoots at it at 100 units a second.
TEST_F(Enemies, TurretTurnsTowardTheHeroAndShootsAtIt) {
  struct Case {
    float heroX, heroY;
  } cases[] = {{900, FLOOR_TOP}, {100, FLOOR_TOP}, {500, 200}};
  for (const Case& c : cases) {
    remove_all_entling();
    placeHero(c.heroX, c.heroY);
    EnemyView* e = addEnemy(WHEELS | TURRET, 500, FLOOR_TOP);
    e->asleep = false;
    float last_angle = e->gunAngle;
    for (int i = 0; i < 30; i++) {
      e->update(STEP);
      EXPECT_LE(fabsf(e->gunAngle - last_angle), 5 * STEP + 1e-5f);
      last_angle = e->gunAngle;
    }
    for (int i = 0; i < 20; i++) e->update(STEP);  // at least one more shot, with the gun turned
    DynArray<BaseObject*>& bullets = object_list(BULLET_LIST);
    ASSERT_GE(bullets.size(), 2);
    BulletView* b = view<BulletView>(bullets[bullets.size() - 1]);
    vec4float to_hero = fakeHero->pos - b->pos;
    float len = sqrtf(to_hero.x() * to_hero.x() + to_hero.y() * to_hero.y());
    EXPECT_NEAR(sqrtf(b->vel.x() * b->vel.x() + b->vel.y() * b->vel.y()), 100, 1e-3);
    // Aimed at the hero's feet from the enemy's position (the muzzle is a little above).
    EXPECT_GT((b->vel.x() * to_hero.x() + b->vel.y() * to_hero.y()) / (100 * len), 0.98f) << c.heroX;
  }
}

TEST_F(Enemies, ChargeGunChargesThreeSecondsThenBurstsSevenToNineShots) {
  placeHero(700, FLOOR_TOP);
  EnemyView* e = addEnemy(WHEELS | CHARGE, 500, FLOOR_TOP);
  e->asleep = false;
  takeLog();
  int charge_steps = 0;
  for (float c = 3.0f; c > 0; c -= STEP) charge_steps++;  // the float arithmetic's count
  for (int i = 0; i < charge_steps - 1; i++) e->update(STEP);
  std::string log = takeLog();
  EXPECT_EQ(soundCount(log, "enemy_charge_gun"), 1);
  EXPECT_EQ(soundCount(log, "enemy_shoot_burst"), 0);
  EXPECT_EQ(object_list(BULLET_LIST).size(), 0);
  e->update(STEP);
  EXPECT_EQ(soundCount(takeLog(), "enemy_shoot_burst"), 1);
  int shots = e->shotsLeft;
  EXPECT_GE(shots, 7);
  EXPECT_LE(shots, 9);
  EXPECT_EQ(e->chargeTime, 3.0f);
  // Then one shot every 0.1 s (every other step), starting at the next step, then charging again.
  std::vector<int> fired_at;
  for (int i = 0; i < 2 * shots + 4; i++) {
    int before = object_list(BULLET_LIST).size();
    e->update(STEP);
    if (object_list(BULLET_LIST).size() > before) fired_at.push_back(i);
  }
  ASSERT_EQ(int(fired_at.size()), shots);
  for (int k = 0; k < shots; k++) EXPECT_EQ(fired_at[k], 2 * k);
  log = takeLog();
  EXPECT_EQ(soundCount(log, "enemy_shoot"), shots);
  EXPECT_EQ(soundCount(log, "enemy_charge_gun"), 1);  // charging again
  BulletView* b = view<BulletView>(object_list(BULLET_LIST)[0]);
  EXPECT_NEAR(sqrtf(b->vel.x() * b->vel.x() + b->vel.y() * b->vel.y()), 200, 1e-3);
  EXPECT_GT(b->vel.x(), 190);  // turned toward the hero during the charge
}

TEST_F(Enemies, SpikesHurtTheHeroBothWays) {
  // An enemy walking into the hero hurts it only when spiked.
  for (bool spiked : {true, false}) {
    remove_all_entling();
    FakeHero* h = placeHero(470, FLOOR_TOP);
    EnemyView* e = addEnemy(WHEELS | (spiked ? SPIKES : 0), 500, FLOOR_TOP);
    e->asleep = false;
    bool hurt = false;
    for (int i = 0; i < 40 && !hurt; i++) {
      e->update(STEP);
      hurt = h->hurt;
    }
    EXPECT_EQ(hurt, spiked);
    EXPECT_GT(e->pos.x() - e->halfWidth, 474 - 0.1f) << "the hero's box stops it";
  }
  // A mover touching an enemy learns of the spikes from the enemy's scans (contact flag 0x10).
  struct Case {
    const char* what;
    bool y;
    float from, to;
    int plain;
  } cases[] = {
      {"moving right into it", false, 480, 495, 4},
      {"moving left into it", false, 520, 505, 1},
      {"landing on it", true, 30, 15, 2},
      {"rising into it", true, 5, 12, 8},
  };
  for (bool spiked : {false, true}) {
    remove_all_entling();
    EnemyView* e = addEnemy(WHEELS | (spiked ? SPIKES : 0), 500, 10);
    e->vel[0] = 3;
    e->vel[1] = -4;
    for (const Case& c : cases) {
      float to = c.to;
      float carry[2] = {0, 0};
      int r = c.y ? e->scanY(495, 505, c.from, &to, carry) : e->scanX(c.from, &to, 12, 18);
      EXPECT_EQ(r, c.plain | (spiked ? 0x10 : 0)) << c.what;
      EXPECT_NE(to, c.to) << c.what;
      if (c.plain == 2) {
        EXPECT_EQ(carry[0], 3) << "what stands on it moves with it";
      }
    }
  }
}

TEST_F(Enemies, OneShotKillsBurstsAndRemovesTheEnemy) {
  EnemyView* e = addEnemy(WHEELS | TURRET, 500, FLOOR_TOP);
  takeLog();
  e->hit(e->pos, 1);
  EXPECT_EQ(e->health, 0);
  EXPECT_EQ(junk_list.size(), 200);
  for (int i = 0; i < junk_list.size(); i++) {
    EXPECT_EQ(junk_list[i].colour, 0xffc8c8c8u);
    EXPECT_LE(fabsf(junk_list[i].pos.x() - 500), 6.0f);
  }
  e->hit(e->pos, 1);  // already dead: nothing more
  EXPECT_EQ(junk_list.size(), 200);
  std::string log = takeLog();
  EXPECT_EQ(soundCount(log, "enemy_dead"), 1);
  EXPECT_EQ(soundCount(log, "enemy_hurt"), 0);
  // A dead enemy no longer blocks or is overlapped, and goes at the next update.
  vec4float depths(1, 1, 1, 1);
  e->collideBox(vec4float(495, 10, 0, 0), vec4float(505, 15, 0, 0), &depths, nullptr);
  EXPECT_EQ(depths.x(), 0);
  update_entling(STEP);
  EXPECT_EQ(object_list(ENEMY_LIST).size(), 0);
}

TEST_F(Enemies, MagnetSwingsOnItsLineTowardTheLevel) {
  // A ceiling 40 units above the floor: the magnet's line reaches both.
  for (int x = 0; x < 1000; x++)
    for (int y = 50; y < 60; y++) level_cell(x, y).collision = LEVEL_COLL_SOLID;
  EnemyView* e = addEnemy(MAGNET, 500, 20);
  e->asleep = false;
  takeLog();
  float swing = 0;
  for (int i = 0; i < 60; i++) {
    int junk_before = junk_list.size();
    e->update(STEP);
    swing = fmaxf(swing, fabsf(e->pos.x() - 500));
    EXPECT_EQ(junk_list.size(), junk_before + 5);  // the beam's sparks
    ASSERT_TRUE(finite(e->pos) && finite(e->tether)) << i;
    EXPECT_GE(e->pos.y(), float(FLOOR_TOP) - 0.01f);
    EXPECT_LE(e->pos.y() + e->height, 50.01f);
  }
  EXPECT_GE(soundCount(takeLog(), "enemy_magnet_jump"), 1);
  EXPECT_GT(swing, 3);
  // The anchor is where the line met a solid cell.
  int ax = int(floorf(e->anchor.x())), ay = int(floorf(e->anchor.y()));
  bool near_solid = false;
  for (int dy = -4; dy <= 4; dy++)
    for (int dx = -4; dx <= 4; dx++) near_solid = near_solid || level_cell(ax + dx, ay + dy).collision != 0;
  EXPECT_TRUE(near_solid);
  EXPECT_LE(fabsf(e->anchor.x() - 500), 100.5f);
}

TEST_F(Enemies, JetFliesWithoutGravityAndTurnsWhenBlocked) {
  // A cage of 60 x 40 cells around it.
  for (int x = 470; x < 540; x++)
    for (int y = 0; y < 70; y++)
      if (x < 475 || x >= 535 || y < 15 || y >= 65) level_cell(x, y).collision = LEVEL_COLL_SOLID;
  EnemyView* e = addEnemy(JET, 505, 30);
  e->asleep = false;
  takeLog();
  for (int i = 0; i < 400; i++) {
    int junk_before = junk_list.size();
    e->update(STEP);
    EXPECT_EQ(junk_list.size(), junk_before + 4);  // exhaust
    ASSERT_TRUE(finite(e->pos));
    EXPECT_LE(fabsf(e->vel[0]), 40.0f);
    EXPECT_LE(fabsf(e->vel[1]), 40.0f);
    EXPECT_GE(e->pos.x() - e->halfWidth, 475 - 0.01f);
    EXPECT_LE(e->pos.x() + e->halfWidth, 535 + 0.01f);
    EXPECT_GE(e->pos.y(), 15 - 0.01f);
    EXPECT_LE(e->pos.y() + e->height, 65 + 0.01f);
  }
  EXPECT_GE(soundCount(takeLog(), "enemy_flyer_change_dir"), 5);
  // It starts straight up, speeding up by 2.5 units/s a step; meeting a ceiling before its first
  // second is out, it picks a new direction at once, and so does one sent down onto the floor.
  remove_all_entling();
  for (int x = 780; x < 820; x++)
    for (int y = 50; y < 60; y++) level_cell(x, y).collision = LEVEL_COLL_SOLID;
  EnemyView* j = addEnemy(JET, 800, 30);
  j->asleep = false;
  j->update(STEP);
  EXPECT_FLOAT_EQ(j->vel[1], 2.5f);
  EXPECT_EQ(j->vel[0], 0);
  struct Case {
    const char* what;
    float dirY, y;  // the top starts 10 units below the ceiling, the bottom 10 units above the floor
  } cases[] = {{"up into a ceiling", 1, 30}, {"down onto the floor", -1, FLOOR_TOP + 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    remove_all_entling();
    j = addEnemy(JET, 800, c.y);
    j->asleep = false;
    j->flyDirY = c.dirY;
    takeLog();
    // Its timer alone would turn it after 20 steps; the wall, 10 units away, turns it sooner.
    int turned_at = -1;
    for (int i = 0; i < 18 && turned_at < 0; i++) {
      j->update(STEP);
      if (soundCount(takeLog(), "enemy_flyer_change_dir") > 0) turned_at = i;
      EXPECT_LE(j->pos.y() + j->height, 50 + 0.01f);
      EXPECT_GE(j->pos.y(), FLOOR_TOP - 0.01f);
    }
    EXPECT_GE(turned_at, 10);  // when it got there (-1: it never turned)
  }
}

TEST_F(Enemies, JumperMovesSidewaysOnlyDuringHops) {
  EnemyView* e = addEnemy(JUMPER, 500, FLOOR_TOP);
  e->asleep = false;
  takeLog();
  int sideways = 0;
  for (int i = 0; i < 200; i++) {
    float x = e->pos.x();
    bool was_standing = (e->contacts & 2) != 0;
    e->update(STEP);
    if (was_standing && e->airTime == 0) {
      EXPECT_EQ(e->pos.x(), x) << i;
    }
    if (e->pos.x() != x) sideways++;
  }
  EXPECT_GT(sideways, 0);
  int hops = soundCount(takeLog(), "enemy_jump");
  EXPECT_GE(hops, 3);
}

// The same seed gives the same play, frames (and the wake-ups they cause) included.
TEST_F(Enemies, ReplayExactlyPerSeed) {
  auto run = [&](uint64_t seed) {
    remove_all_entling();
    junk_list.clear();
    game_rnd_seed = seed;
    placeHero(600, FLOOR_TOP);
    int types[3] = {JUMPER | H_GUN, JET | TURRET | SPIKES, MAGNET | CHARGE};
    for (int i = 0; i < 3; i++) enemy_types[i] = types[i];
    num_enemy_types = 3;
    for (int i = 0; i < 6; i++) add_enemy(TYPE_BASE_ENEMY, 450 + 20.0f * i, 30);
    showView(0, 0, 1000, 200);
    std::vector<float> trace;
    for (int s = 0; s < 60; s++) {
      update_entling(STEP);
      render_entling(STEP);
      for (int i = 0; i < object_list(ENEMY_LIST).size(); i++) {
        EnemyView* e = view<EnemyView>(object_list(ENEMY_LIST)[i]);
        trace.push_back(e->pos.x());
        trace.push_back(e->pos.y());
      }
    }
    trace.push_back(float(junk_list.size()));
    trace.push_back(float(game_rnd_seed & 0xffff));
    return trace;
  };
  std::vector<float> a = run(5), b = run(5), c = run(6);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

// Bullets find enemies through their rays (the enemy's own motion taken into account) and movers
// are pushed out of them by their overlap depths.
TEST_F(Enemies, AnswerRaysAndOverlapsWithTheirBox) {
  EnemyView* e = addEnemy(WHEELS, 500, 10);  // box (494, 10) to (506, 20)
  struct Case {
    const char* what;
    float enemyVx;
    vec4float from, motion;
    float expected;
  } cases[] = {
      {"standing", 0, vec4float(480, 15, 8, 1), vec4float(40, 0, 0, 0), 12.0f / 40},
      {"walking away", 100, vec4float(480, 15, 8, 1), vec4float(40, 0, 0, 0), 12.0f / 35},
      {"passing above", 0, vec4float(480, 23, 8, 1), vec4float(40, 0, 0, 0), -1},
      {"falling onto it", 0, vec4float(500, 40, 8, 1), vec4float(0, -40, 0, 0), 18.0f / 40},
  };
  for (const Case& c : cases) {
    e->vel[0] = c.enemyVx;
    EXPECT_NEAR(e->traceRay(c.from, c.motion, 2.0f, 0.05f, 1.0f), c.expected, 1e-5f) << c.what;
  }
  vec4float depths;
  e->collideBox(vec4float(504, 18, 0, 0), vec4float(510, 30, 0, 0), &depths, nullptr);
  EXPECT_EQ(depths.x(), 2);   // the enemy's right edge into the box
  EXPECT_EQ(depths.y(), 2);   // its top
  EXPECT_EQ(depths.z(), 16);  // the box's right edge past the enemy's left
  EXPECT_EQ(depths.w(), 20);
  e->collideBox(vec4float(504, 18, 0, 0), vec4float(510, 30, 0, 0), &depths, reinterpret_cast<Entling*>(e));
  EXPECT_EQ(depths.x(), 0) << "the excluded object answers nothing";
}
