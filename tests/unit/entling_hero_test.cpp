// The hero as the world's queries see it: other movers stopped at its box from each side (and
// carried when they land on it), boxes pushed out of it, rays that meet its moving box; a dead or
// excluded hero pushes nothing.
#include "entlingSupport.h"
#include "tests/drive/route.h"

namespace {

class HeroQueries : public EntlingWorld {
 protected:
  EntlingView* h = nullptr;
  void SetUp() override {
    EntlingWorld::SetUp();
    hero = (Hero*)new_entling_by_id(TYPE_HERO);
    ASSERT_NE(hero, nullptr);
    reset_hero(100, 20);  // box (96, 20) to (104, 35)
    h = (EntlingView*)(BaseObject*)hero;
  }
};

}  // namespace

TEST_F(HeroQueries, MoversStopAtItsBoxFromEachSide) {
  struct Case {
    const char* what;
    bool alongX;
    float from, to, a0, a1;  // a0..a1: the mover's extent across the scan
    float wantTo;
    int wantFlags;
  } cases[] = {
      {"right into it", true, 80, 98, 22, 30, 95.99f, 0x24}, {"left into it", true, 120, 101, 22, 30, 104.01f, 0x21},
      {"right, beside it", true, 80, 98, 35, 40, 98, 0},     {"right, short of it", true, 80, 95, 22, 30, 95, 0},
      {"up into it", false, 5, 25, 97, 99, 19.99f, 0x28},    {"down onto it", false, 50, 30, 90, 97, 35.01f, 0x22},
      {"down, beside it", false, 50, 30, 104, 110, 30, 0},
  };
  h->addVel(7, -3);
  for (const Case& c : cases) {
    float to = c.to;
    float carry[2] = {0, 0};
    int flags = c.alongX ? h->scanX(c.from, &to, c.a0, c.a1) : h->scanY(c.a0, c.a1, c.from, &to, carry);
    EXPECT_FLOAT_EQ(to, c.wantTo) << c.what;
    EXPECT_EQ(flags, c.wantFlags) << c.what;
    // What lands on the hero moves with it.
    EXPECT_EQ(carry[0], c.wantFlags == 0x22 ? 7.0f : 0.0f) << c.what;
  }
}

TEST_F(HeroQueries, BoxesArePushedOutUnlessTheHeroIsExcludedOrDead) {
  vec4float d;
  h->collideBox(vec4float(102, 30, 0, 0), vec4float(110, 40, 0, 0), &d, nullptr);
  EXPECT_FLOAT_EQ(d.x(), 2);   // (x + 4) - x0
  EXPECT_FLOAT_EQ(d.y(), 5);   // (y + 15) - y0
  EXPECT_FLOAT_EQ(d.z(), 14);  // x1 - (x - 4)
  EXPECT_FLOAT_EQ(d.w(), 20);  // y1 - y
  h->collideBox(vec4float(105, 30, 0, 0), vec4float(110, 40, 0, 0), &d, nullptr);
  EXPECT_EQ(v_movemask(v_cmp_lt(vec4float::zero(), d)), 0) << "apart";
  h->collideBox(vec4float(102, 30, 0, 0), vec4float(110, 40, 0, 0), &d, (Entling*)(BaseObject*)h);
  EXPECT_EQ(v_movemask(v_cmp_lt(vec4float::zero(), d)), 0) << "excluded";
  set_hero_health(0);
  h->collideBox(vec4float(102, 30, 0, 0), vec4float(110, 40, 0, 0), &d, nullptr);
  EXPECT_EQ(v_movemask(v_cmp_lt(vec4float::zero(), d)), 0) << "dead";
}

TEST_F(HeroQueries, RaysMeetItsBoxWhereItWillBe) {
  // A bullet of half-size 2 flying right from x 80 by 40 units: its front reaches x 96 at 0.35.
  EXPECT_FLOAT_EQ(h->traceRay(vec4float(80, 25, 8, 1), vec4float(40, 0, 0, 0), 2, 0.05f, 1), 0.35f);
  EXPECT_EQ(h->traceRay(vec4float(80, 25, 8, 1), vec4float(40, 0, 0, 0), 2, 0.05f, 0.3f), -1) << "beyond the limit";
  EXPECT_EQ(h->traceRay(vec4float(80, 60, 8, 1), vec4float(40, 0, 0, 0), 2, 0.05f, 1), -1) << "above it";
  // Running away at 200 units/s the hero moves 10 units in the step: the bullet needs 26 of 40.
  h->addVel(200, 0);
  EXPECT_FLOAT_EQ(h->traceRay(vec4float(80, 25, 8, 1), vec4float(40, 0, 0, 0), 2, 0.05f, 1), 14.0f / 30.0f);
}

// The test drive's scripted player plans with a prediction of the hero's motion (HeroMotion of
// tests/drive/route.h). Flown through the same cells from the same start, the hero's own update
// and the prediction must stay together sub-step for sub-step, or the player plans its jumps on
// physics the hero no longer has: falls, a landing, a run into a wall, a rise into a ceiling, a
// climb up a step and a rise stopped at its edge, with the hero's velocity given at the start and
// no controls held.
TEST_F(HeroQueries, TheScriptedPlayersPredictionMovesAsTheHeroDoes) {
  const int X0 = 300, X1 = 700;
  auto build_cells = [&](bool with_cells) {
    for (int x = X0; x < X1; x++)
      for (int y = 0; y < 120; y++) {
        bool solid = y < 20                               // the floor
                     || (x >= 420 && x < 430 && y < 60)   // a wall
                     || (x >= 500 && x < 560 && y >= 70)  // a ceiling
                     || (x >= 600 && y < 23);             // a step the mover climbs
        level_cell(x, y).collision = with_cells && solid ? LEVEL_COLL_SOLID : 0;
      }
  };
  struct Case {
    const char* what;
    float x, y, vx, vy;
  } cases[] = {
      {"falls and lands", 340, 60, 0, 0},
      {"runs into the wall", 380, 20, 100, 0},
      {"jumps at the wall", 380, 20, 100, 195},
      {"rises into the ceiling", 520, 20, 40, 300},
      {"runs up the step", 560, 20, 100, 0},
      {"hops up the step", 580, 20, 100, 120},
      {"falls onto the step's edge", 596, 50, 20, -100},
      // Its box's corner over the step's edge: the ground met while rising stops the rise.
      {"rises slowly at the step's edge", 596.4f, 20, 0, 22},
  };
  build_cells(true);
  HeroView* v = reinterpret_cast<HeroView*>(static_cast<void*>(hero));
  for (const Case& c : cases) {
    reset_hero(c.x, c.y);
    h->addVel(c.vx, c.vy);
    world_drive::HeroMotion m{v->pos, v->vel[0], v->vel[1], v->airTime};
    for (int update = 0; update < 30; update++) {
      h->update(0.05f);
      for (int k = 0; k < 4; k++) m.step(0, false);
      ASSERT_EQ(v->pos.x(), m.pos.x()) << c.what << ", update " << update;
      ASSERT_EQ(v->pos.y(), m.pos.y()) << c.what << ", update " << update;
      ASSERT_EQ(v->vel[0], m.vx) << c.what << ", update " << update;
      ASSERT_EQ(v->vel[1], m.vy) << c.what << ", update " << update;
      ASSERT_EQ(v->airTime, m.air) << c.what << ", update " << update;
    }
  }
  build_cells(false);
}
