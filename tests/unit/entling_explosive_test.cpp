// Barrels, bombs, bonuses and the exit effect through the library: chain reactions within one
// update, the reach of hits and pushes, craters that spare indestructible cells, fuses, pushes
// from a blast's very centre, bonuses given once, and the exit's fountain and trail.
#include <math.h>
#include <string>
#include "enemyTestSupport.h"
#include "engine/sqbind.h"
#include "game/progression.h"

namespace {

const float STEP = 0.05f;

using Explosives = ObjectsWorld;

ExplosiveView* addExplosive(int type, float x, float y) { return view<ExplosiveView>(add_enemy(type, x, y)); }

bool junk_finite() {
  for (int i = 0; i < junk_list.size(); i++) {
    const Junk& j = junk_list[i];
    for (int k = 0; k < 4; k++)
      if (!std::isfinite(j.pos[k]) || !std::isfinite(j.vel[k])) return false;
  }
  return true;
}

}  // namespace

// A barrel's blast hits within 40 units (another barrel goes off in the same update), pushes only
// what is within about 28, and reaches nothing beyond.
TEST_F(Explosives, BarrelChainWithinOneUpdateAndTheBlastsReach) {
  placeHero(900, FLOOR_TOP);
  ExplosiveView* a = addExplosive(TYPE_EXPL_BARREL, 500, FLOOR_TOP);
  ExplosiveView* chained = addExplosive(TYPE_EXPL_BARREL, 530, FLOOR_TOP);  // 30 units from a's centre
  ExplosiveView* spared = addExplosive(TYPE_EXPL_BARREL, 450, FLOOR_TOP);   // 50 units
  EnemyView* enemy = addEnemy(8, 480, FLOOR_TOP);                           // 20 units
  takeLog();
  a->hit(a->pos, 1);
  EXPECT_EQ(a->health, 0);
  EXPECT_NE(a->flags, 0u);
  EXPECT_EQ(chained->health, 0);
  EXPECT_NE(chained->flags, 0u) << "the chained barrel went off at once";
  EXPECT_EQ(spared->health, 1);
  EXPECT_EQ(spared->vel[0], 0);
  EXPECT_EQ(spared->vel[1], 0);
  EXPECT_EQ(enemy->health, 0);
  EXPECT_FLOAT_EQ(enemy->vel[0], -(400 - 400 / 2.0f));  // pushed away from the centre
  EXPECT_EQ(fakeHero->hits, 0);
  EXPECT_EQ(soundCount(takeLog(), "barrel_explode"), 2);
  EXPECT_EQ(junk_list.size(), 400 + 400 + 200);
  for (int i = 600; i < 1000; i++) {  // the enemy's debris, the chained blast's fire, then a's
    uint32_t c = junk_list[i].colour;
    EXPECT_EQ(c & 0xffff00ffu, 0xffff0000u);  // red to yellow
  }
  a->hit(a->pos, 1);  // exploded already: nothing
  EXPECT_EQ(junk_list.size(), 1000);
  update_entling(STEP);
  EXPECT_EQ(object_list(BARREL_LIST).size(), 1);
  EXPECT_EQ(object_list(ENEMY_LIST).size(), 0);
  EXPECT_TRUE(junk_finite());
}

TEST_F(Explosives, TheHeroNearABlastLosesAPointAndIsPushed) {
  placeHero(520, FLOOR_TOP);
  ExplosiveView* b = addExplosive(TYPE_EXPL_BARREL, 500, FLOOR_TOP);
  b->hit(b->pos, 1);
  EXPECT_EQ(fakeHero->hits, 1);
  EXPECT_GT(fakeHero->pushX, 0);
}

TEST_F(Explosives, CratersClearOnlyDestructibleCellsAroundTheCentre) {
  struct Case {
    int type;
    int reach;  // no cell farther from the centre goes
    int centreHeight;
  } cases[] = {{TYPE_EXPL_BARREL, 20, 5}, {TYPE_BOMB, 2, 4}};
  for (const Case& c : cases) {
    remove_all_entling();
    for (int x = 400; x < 600; x++)
      for (int y = FLOOR_TOP; y < 80; y++) level_cell(x, y).collision = LEVEL_COLL_DESTRUCTIBLE;
    level_cell(501, 47).collision = LEVEL_COLL_SOLID;
    ExplosiveView* e = addExplosive(c.type, 500, 42);
    e->hit(e->pos, 1);
    int cx = 500, cy = 42 + c.centreHeight, cleared = 0;
    for (int x = 400; x < 600; x++)
      for (int y = FLOOR_TOP; y < 80; y++) {
        bool gone = level_cell(x, y).collision == 0;
        cleared += gone;
        if (gone) {
          EXPECT_TRUE(abs(x - cx) <= c.reach && abs(y - cy) <= c.reach) << x << "," << y << " type " << c.type;
        }
      }
    EXPECT_EQ(level_cell(cx, cy).collision, 0);
    EXPECT_GT(cleared, (2 * c.reach / 4) * (2 * c.reach / 4));
    EXPECT_EQ(level_cell(501, 47).collision, LEVEL_COLL_SOLID) << "indestructible cells stay";
  }
}

TEST_F(Explosives, BombGoesOffOnItsFuseOrSoonAfterTheHeroComesClose) {
  struct Case {
    const char* what;
    float heroX;
    bool heroHit;
  } cases[] = {{"hero far", 900, false}, {"hero within 15 units", 510, true}};
  for (const Case& c : cases) {
    remove_all_entling();
    FakeHero* h = placeHero(c.heroX, FLOOR_TOP);
    ExplosiveView* bomb = addExplosive(TYPE_BOMB, 500, FLOOR_TOP);
    // The update the float arithmetic gives: 2 s of fuse, cut to 0.2 s once the hero is close.
    int expected = 0;
    for (float fuse = 2.0f;;) {
      expected++;
      fuse -= STEP;
      if (fuse <= 0) break;
      if (c.heroX < 515 && fuse > 0.2f) fuse = 0.2f;
    }
    int exploded_at = 0;
    for (int i = 1; i <= 60 && !exploded_at; i++) {
      bomb->update(STEP);
      if (bomb->health == 0) {
        exploded_at = i;
        EXPECT_NE(bomb->flags, 0u) << "the explosion destroys it at once";
      }
    }
    EXPECT_EQ(exploded_at, expected) << c.what;
    EXPECT_EQ(h->hits, c.heroHit ? 1 : 0) << c.what;
  }
}

// Two bombs on one point: the second sits at the blast's very centre, with no direction away from
// it. Both are thrown straight up instead of getting a position or velocity that is not a number.
TEST_F(Explosives, APushFromTheVeryCentreGoesStraightUp) {
  ExplosiveView* a = addExplosive(TYPE_BOMB, 500, 200);
  ExplosiveView* b = addExplosive(TYPE_BOMB, 500, 200);
  a->hit(a->pos, 1);
  EXPECT_EQ(b->health, 0);
  for (ExplosiveView* e : {a, b}) {
    EXPECT_EQ(e->vel[0], 0);
    EXPECT_EQ(e->vel[1], 200);
  }
  update_entling(STEP);  // the remains are gone, nothing else broke
  EXPECT_EQ(object_list(BOMB_LIST).size(), 0);
  EXPECT_TRUE(junk_finite());
}

TEST_F(Explosives, BarrelsFallAndSlideToAStopAndCarryWhatStandsOnThem) {
  ExplosiveView* b = addExplosive(TYPE_EXPL_BARREL, 500, 40);
  for (int i = 0; i < 30; i++) b->update(STEP);
  EXPECT_NEAR(b->pos.y(), float(FLOOR_TOP), 0.05f);
  b->addVel(60, 0);
  float x = b->pos.x();
  for (int i = 0; i < 20; i++) b->update(STEP);
  EXPECT_EQ(b->vel[0], 0);
  // Slides from 60 units/s down to 0 at 100 units/s², 5 a step: (55 + 50 + ... + 0) * 0.05.
  EXPECT_NEAR(b->pos.x() - x, 16.5f, 0.01f);
  float carry[2] = {0, 0};
  b->vel[0] = 7;
  float to = 15;
  EXPECT_EQ(b->scanY(b->pos.x() - 2, b->pos.x() + 2, 30, &to, carry), 2);
  EXPECT_EQ(carry[0], 7);
}

namespace {

class Bonuses : public ObjectsWorld {
 protected:
  BonusView* add(int type, float x, float y) { return view<BonusView>(add_enemy(type, x, y)); }
};

}  // namespace

// Two bonuses under the hero in one sub-step are both taken; each applies once, though taken
// bonuses stay in their lists until the world's next deletion.
TEST_F(Bonuses, TakenOnceEachAndAHeartAddsEvenAtFullHealth) {
  FakeHero* h = placeHero(500, FLOOR_TOP);
  BonusView* heart = add(TYPE_HEART_BONUS, 500, FLOOR_TOP);
  BonusView* up = add(TYPE_UP_BONUS, 503, FLOOR_TOP);
  add(TYPE_UP_BONUS, 600, FLOOR_TOP);  // out of reach
  int points = up_points;
  takeLog();
  vec4float box(496, FLOOR_TOP, 504, FLOOR_TOP + 15);
  collect_bonuses(box);
  collect_bonuses(box);
  EXPECT_EQ(h->health, 5);
  EXPECT_EQ(up_points, points + 1);
  EXPECT_TRUE(heart->taken);
  EXPECT_TRUE(up->taken);
  std::string log = takeLog();
  EXPECT_EQ(soundCount(log, "bonus_heart"), 1);
  EXPECT_EQ(soundCount(log, "bonus_up"), 1);
  update_entling(STEP);
  EXPECT_EQ(object_list(5).size(), 0);
  EXPECT_EQ(object_list(6).size(), 1);
  up_points = points;
}

TEST_F(Bonuses, TouchingCountsOnTheLeftAndBottomOnly) {
  BonusView* b = add(TYPE_HEART_BONUS, 100, 50);  // box (94, 50) to (106, 62)
  EntlingView* m = b;
  struct Case {
    vec4float box;
    bool touches;
  } cases[] = {
      {vec4float(90, 40, 94, 50), true},      // its left and bottom edges
      {vec4float(106, 55, 110, 60), false},   // its right edge
      {vec4float(95, 62, 100, 70), false},    // its top edge
      {vec4float(99, 55, 101, 56), true},     // inside
      {vec4float(80, 40, 93.9f, 60), false},  // short of it
  };
  for (const Case& c : cases) EXPECT_EQ(m->testBox(c.box), c.touches) << c.box.x() << "," << c.box.y();
}

namespace {

// The exit effect is made by the boss's death; here it comes from a saved world.
class ExitEffect : public ObjectsWorld {
 protected:
  void SetUp() override {
    ObjectsWorld::SetUp();
    init_game_script();
  }
  void TearDown() override {
    close_game_script();
    ObjectsWorld::TearDown();
  }
  ExitFxView* addExitFx(vec4float pos) {
    std::string s;
    auto u32 = [&](uint32_t v) { s.append((const char*)&v, 4); };
    u32(1);  // one class record: its name and two empty words
    s.push_back(char(6));
    s += "ExitFx";
    u32(0);
    u32(1);  // its block: one object, ser id 1
    u32(1);
    u32(0);  // and nothing more for it
    MemoryInputStream in(s.data(), int(s.size()));
    load_entlings(in);
    ExitFxView* fx = view<ExitFxView>(object_list(10)[object_list(10).size() - 1]);
    fx->pos = pos;
    return fx;
  }
};

}  // namespace

TEST_F(ExitEffect, FountainThinsOutAndTheTrailLeadsFromTheHero) {
  placeHero(100, FLOOR_TOP);
  ExitFxView* fx = addExitFx(vec4float(500, FLOOR_TOP, 8, 1));
  update_entling(STEP);
  // round(1.1 * 0.05 * 200) fountain sparks and round(200 * 0.05 * 0.2) of trail: the way is 400
  // units long, and the trail shows its first 200.
  ASSERT_EQ(junk_list.size(), 11 + 2);
  for (int i = 0; i < 11; i++) EXPECT_EQ(junk_list[i].vel.y(), 200);
  for (int i = 11; i < 13; i++) {
    const Junk& j = junk_list[i];
    EXPECT_GT(j.vel.x(), 45);  // toward the exit, drifting up
    EXPECT_GT(j.vel.y(), 50);
    EXPECT_LE(j.pos.x(), 300);
    EXPECT_GE(j.pos.x(), 100);
  }
  EXPECT_FLOAT_EQ(fx->strength, 1.0f - 0.2f * STEP);
  for (int i = 0; i < 120; i++) update_entling(STEP);
  EXPECT_EQ(fx->strength, 0);
  junk_list.clear();
  update_entling(STEP);
  EXPECT_EQ(junk_list.size(), 1 + 2);  // a tenth of the fountain is left
}

// The hero right at the exit's top: no way to show, nothing divided by its zero length.
TEST_F(ExitEffect, HeroAtTheExitGetsNoTrail) {
  ExitFxView* fx = addExitFx(vec4float(500, FLOOR_TOP, 8, 1));
  placeHero(fx->pos.x(), fx->pos.y() + 12 - 4);
  update_entling(STEP);
  EXPECT_EQ(junk_list.size(), 11);
  EXPECT_TRUE(junk_finite());
}
