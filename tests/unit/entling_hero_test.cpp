// The hero as the world's queries see it: other movers stopped at its box from each side (and
// carried when they land on it), boxes pushed out of it, rays that meet its moving box; a dead or
// excluded hero pushes nothing.
#include "entlingSupport.h"

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
