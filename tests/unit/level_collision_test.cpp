// Level collision and ray tracing on hand-built grids: scans, box moves with the step-up, exit
// flags, the calls into the actor library's object scans, and rays that run outside the grid.
#include "game/levelCollision.h"
#include "tests/unit/level_fixtures.h"

using namespace level_test;

namespace {

void fill(int x0, int y0, int x1, int y1, uint8_t type) {  // inclusive
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) level_cell(x, y).collision = type;
}

class LevelCollision : public ::testing::Test {
 protected:
  void SetUp() override { clear_level_data(); }
  void TearDown() override {
    scan_objects_x = nullptr;
    scan_objects_y = nullptr;
    collide_box_enemies = nullptr;
    collide_box_neutral = nullptr;
    collide_box_hero = nullptr;
  }
};

TEST_F(LevelCollision, BoxesStopAtWallsWithTheMargin) {
  fill(16, 0, 16, 40, 1);
  int flags = 0;
  // Three cells to the right, the wall two cells ahead of the right edge.
  float dx = collide_box_x(vec4float(10, 20, 14, 30), 3.f, flags, nullptr);
  EXPECT_NEAR(14 + dx, 15.99f, 1e-4);
  EXPECT_EQ(flags, HIT_RIGHT);
  // Nothing in the way: the whole move.
  flags = 0;
  EXPECT_FLOAT_EQ(collide_box_x(vec4float(10, 20, 14, 30), -3.f, flags, nullptr), -3.f);
  EXPECT_EQ(flags, 0);
  // A wall inside the box's leading half stops it too: the scan starts at the centre.
  clear_level_data();
  fill(13, 0, 13, 40, 1);
  flags = 0;
  dx = collide_box_x(vec4float(10, 20, 14, 30), 1.f, flags, nullptr);
  EXPECT_NEAR(14 + dx, 12.99f, 1e-4);
  EXPECT_TRUE(flags & HIT_RIGHT);
  // Moving left, the stop is one cell right of the wall plus the margin.
  clear_level_data();
  fill(5, 0, 5, 40, 2);
  flags = 0;
  EXPECT_NEAR(scan_level_x(10.f, 2.f, 20.f, 30.f, flags), 6.01f, 1e-5);
  EXPECT_EQ(flags, HIT_LEFT);
}

// A box edge that lies inside a row or column covers it: a one-cell wall or floor in the last row
// or column a fractional edge reaches still stops the box; an edge on a cell border covers nothing
// beyond it.
TEST_F(LevelCollision, FractionalEdgesCoverThePartlyCoveredRowsAndColumns) {
  struct Case {
    const char* what;
    float lo, hi;  // the box's extent across the motion: rows for a sideways move, columns for a fall
    bool stopped;
  };
  const Case cases[] = {
      {"top inside the cell's row", 10.f, 21.5f, true},        {"top just inside it", 10.f, 21.01f, true},
      {"top on the row's lower border", 10.f, 21.f, false},    {"bottom inside the cell's row", 21.9f, 30.f, true},
      {"bottom on the row's upper border", 22.f, 30.f, false},
  };
  // A wall cell at column 16 in row 21 and a floor cell at column 21 in row 9, nothing else.
  level_cell(16, 21).collision = 1;
  level_cell(21, 9).collision = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int flags = 0;
    float x = scan_level_x(10.f, 20.f, c.lo, c.hi, flags);
    EXPECT_EQ(flags == HIT_RIGHT, c.stopped);
    EXPECT_NEAR(x, c.stopped ? 15.99f : 20.f, 1e-4);
    // The same extent as the columns of a box falling from row 15 towards row 5.
    flags = 0;
    float y = scan_level_y(c.lo, c.hi, 15.f, 5.f, flags, nullptr);
    EXPECT_EQ(flags == HIT_GROUND, c.stopped);
    EXPECT_NEAR(y, c.stopped ? 10.01f : 5.f, 1e-4);
  }
}

TEST_F(LevelCollision, FallingBoxesLandAndReportTheirSupport) {
  fill(0, 9, 40, 9, 1);
  vec4float pos(12, 10.01f, 0, 1);
  float support[2] = {5, 5};
  int flags = collide_moving_box(pos, vec4float(12, 8.01f, 0, 1), vec4float(-2, 0, 2, 10), nullptr, support, 0.f);
  EXPECT_NEAR(pos.y(), 10.01f, 1e-4);
  EXPECT_EQ(flags, HIT_GROUND);
  EXPECT_EQ(support[0], 0.f);
  EXPECT_EQ(support[1], 0.f);
  EXPECT_EQ(pos.z(), 0.f);  // lanes 2 and 3 are the caller's
  EXPECT_EQ(pos.w(), 1.f);
  // Jumping into a ceiling.
  fill(0, 30, 40, 30, 2);
  flags = collide_moving_box(pos, vec4float(12, 25, 0, 1), vec4float(-2, 0, 2, 10), nullptr, support, 0.f);
  EXPECT_NEAR(pos.y(), 19.99f, 1e-4);
  EXPECT_EQ(flags, HIT_CEILING);
}

TEST_F(LevelCollision, StepsUpToTheStepHeightAreClimbedUnlessTheHeadWouldHit) {
  fill(0, 9, 60, 9, 1);     // floor, top at 10
  fill(20, 10, 30, 12, 1);  // a step three cells high, top at 13
  vec4float pos(16, 10.01f, 0, 1);
  int flags = collide_moving_box(pos, vec4float(19.5f, 10.01f, 0, 1), vec4float(-2, 0, 2, 8), nullptr, nullptr, 4.f);
  EXPECT_NEAR(pos.x(), 19.5f, 1e-4);
  EXPECT_NEAR(pos.y(), 13.01f, 1e-4);  // standing on the step
  EXPECT_FALSE(flags & HIT_RIGHT);

  // With a ceiling within the box's height above the step the climb is refused and the move is
  // made again with the full box: the step stops it.
  fill(0, 19, 60, 19, 2);
  pos = vec4float(16, 10.01f, 0, 1);
  flags = collide_moving_box(pos, vec4float(19.5f, 10.01f, 0, 1), vec4float(-2, 0, 2, 8), nullptr, nullptr, 4.f);
  EXPECT_NEAR(pos.x(), 17.99f, 1e-4);
  EXPECT_NEAR(pos.y(), 10.01f, 1e-4);
  EXPECT_TRUE(flags & HIT_RIGHT);

  // A step higher than the step-up blocks.
  clear_level_data();
  fill(0, 9, 60, 9, 1);
  fill(20, 10, 30, 15, 1);
  pos = vec4float(16, 10.01f, 0, 1);
  flags = collide_moving_box(pos, vec4float(19.5f, 10.01f, 0, 1), vec4float(-2, 0, 2, 8), nullptr, nullptr, 4.f);
  EXPECT_NEAR(pos.x(), 17.99f, 1e-4);
  EXPECT_TRUE(flags & HIT_RIGHT);
}

TEST_F(LevelCollision, ExitCellsRaiseTheExitFlag) {
  fill(0, 9, 40, 9, 1);
  fill(12, 9, 13, 9, 3);  // exit cells in the floor
  vec4float pos(12, 10.01f, 0, 1);
  int flags = collide_moving_box(pos, vec4float(12, 9.5f, 0, 1), vec4float(-4, 0, 4, 15), nullptr, nullptr, 4.f);
  EXPECT_EQ(flags & (HIT_GROUND | HIT_EXIT), HIT_GROUND | HIT_EXIT);
  // A horizontal scan ending at a column with an exit cell in the box's rows.
  int f = 0;
  fill(30, 20, 30, 20, 3);
  scan_level_x(25.f, 35.f, 18.f, 22.f, f);
  EXPECT_EQ(f, HIT_RIGHT | HIT_EXIT);
  f = 0;
  scan_level_x(25.f, 35.f, 22.f, 26.f, f);  // not in the rows: nothing
  EXPECT_EQ(f, 0);
  // Inside a box.
  f = 0;
  vec4float push = collide_box_level(vec4float(29.5f, 19.5f, 0, 0), vec4float(33, 23, 0, 0), f);
  EXPECT_EQ(f, HIT_EXIT);
  EXPECT_NEAR(push.x(), 31 - 29.5f, 1e-5);  // the cell lies in the box's left half: push right
  EXPECT_NEAR(push.y(), 21 - 19.5f, 1e-5);
  EXPECT_EQ(push.z(), 0.f);
  EXPECT_EQ(push.w(), 0.f);
}

// Recording stand-ins for the actor library's object scans.
struct ObjectScanLog {
  int calls = 0;
  Entling* exclude = nullptr;
  float from = 0, to = 0;
  int flags = 0;
  float stop = 0;
} object_x, object_y;

float fake_scan_x(int* flags, Entling* exclude, float from, float to, float, float) {
  object_x.calls++;
  object_x.exclude = exclude;
  object_x.from = from;
  object_x.to = to;
  *flags |= object_x.flags;
  return object_x.flags ? object_x.stop : to;
}

float fake_scan_y(int* flags, Entling* exclude, float, float, float from, float to, float* carry) {
  object_y.calls++;
  object_y.exclude = exclude;
  object_y.from = from;
  object_y.to = to;
  *flags |= object_y.flags;
  if (object_y.flags & HIT_GROUND) carry[0] = 7, carry[1] = -3;
  return object_y.flags ? object_y.stop : to;
}

TEST_F(LevelCollision, ObjectsAreAskedUpToWhereTheLevelStopped) {
  scan_objects_x = fake_scan_x;
  scan_objects_y = fake_scan_y;
  Entling* mover = (Entling*)&object_x;
  fill(20, 0, 20, 50, 1);
  object_x = {};
  int flags = 0;
  float r = scan_all_x(10, 30, 5, 8, flags, mover);
  EXPECT_EQ(object_x.calls, 1);
  EXPECT_EQ(object_x.exclude, mover);
  EXPECT_NEAR(object_x.to, 19.99f, 1e-5);
  EXPECT_NEAR(r, 19.99f, 1e-5);
  EXPECT_EQ(flags, HIT_RIGHT);
  // An object in the way wins, and the level's flags are dropped.
  object_x.flags = HIT_RIGHT | HIT_HERO;
  object_x.stop = 15;
  flags = 0;
  EXPECT_EQ(scan_all_x(10, 30, 5, 8, flags, mover), 15.f);
  EXPECT_EQ(flags, HIT_RIGHT | HIT_HERO);
  // The level only, without a mover.
  object_x.calls = 0;
  flags = 0;
  scan_all_x(10, 30, 5, 8, flags, nullptr);
  EXPECT_EQ(object_x.calls, 0);

  // Landing on an object takes the object's support; the level's when the level holds the box.
  fill(0, 9, 40, 9, 1);
  object_y = {};
  object_y.flags = HIT_GROUND;
  object_y.stop = 12.01f;
  vec4float pos(5, 14, 0, 1);
  float support[2] = {0, 0};
  int f = collide_moving_box(pos, vec4float(5, 11, 0, 1), vec4float(-2, 0, 2, 6), mover, support, 0.f);
  EXPECT_TRUE(f & HIT_GROUND);
  EXPECT_EQ(support[0], 7.f);
  EXPECT_EQ(support[1], -3.f);
  EXPECT_GE(object_y.calls, 1);
  EXPECT_EQ(object_y.exclude, mover);
}

vec4float fake_enemies(Entling*, BaseEnemy** hit, vec4float, vec4float) {
  EXPECT_EQ(hit, nullptr);
  return vec4float(0, 2, 0, 0);
}
vec4float fake_neutral(Entling*, vec4float, vec4float) { return vec4float(1, 0, 0, 5); }
vec4float fake_hero(Entling*, vec4float, vec4float) { return vec4float(0, 0, 3, 0); }
vec4float nothing(Entling*, vec4float, vec4float) { return vec4float::zero(); }

TEST_F(LevelCollision, ObjectPushOutCombinesEnemiesNeutralsAndTheHero) {
  collide_box_enemies = fake_enemies;
  collide_box_neutral = fake_neutral;
  collide_box_hero = fake_hero;
  int flags = 0;
  vec4float r = collide_box_objs(vec4float(0, 0, 0, 0), vec4float(4, 4, 0, 0), nullptr, flags);
  EXPECT_EQ(flags, HIT_ENEMY | HIT_HERO);
  EXPECT_EQ(r.x(), 1.f);
  EXPECT_EQ(r.y(), 2.f);
  EXPECT_EQ(r.z(), 3.f);
  EXPECT_EQ(r.w(), 5.f);
  collide_box_hero = nothing;
  flags = 0;
  collide_box_objs(vec4float(0, 0, 0, 0), vec4float(4, 4, 0, 0), nullptr, flags);
  EXPECT_EQ(flags, HIT_ENEMY);
}

struct Ray {
  const char* what;
  vec4float from, to;
  int thickness;
  bool hit;
  int cx, cy;
  float t;
};

TEST_F(LevelCollision, RaysWalkTheCellsAndStopAtTheGridsEdge) {
  fill(3, 5, 3, 5, 1);
  fill(11, 30, 11, 30, 1);
  fill(0, 100, 5, 100, 1);  // a wall at the left edge, which a ray leaving right must not wrap to
  fill(4095, 120, 4095, 120, 2);
  fill(4094, 121, 4095, 121, 2);  // a thick probe at column 0 would see these if it wrapped
  fill(4000, 0, 4100, 2, 2);      // ...and one near the top these
  fill(10, 255, 10, 255, 2);
  Ray rays[] = {
      {"enters at the left border", vec4float(-10, 5.5f, 0, 1), vec4float(10, 5.5f, 0, 1), 0, true, 3, 5, 0.65f},
      {"never enters from above", vec4float(5, 300, 0, 1), vec4float(5, 280, 0, 1), 0, false, 0, 0, 0},
      {"thick ray hits beside it", vec4float(10.5f, 50, 0, 1), vec4float(10.5f, 10, 0, 1), 1, true, 10, 30, 0.475f},
      {"thin ray misses beside it", vec4float(10.5f, 50, 0, 1), vec4float(10.5f, 10, 0, 1), 0, false, 0, 0, 0},
      {"stops before its end cell", vec4float(0.5f, 5.5f, 0, 1), vec4float(2.4f, 5.5f, 0, 1), 0, false, 0, 0, 0},
      {"runs off the right edge", vec4float(4090.5f, 100.5f, 0, 1), vec4float(4300, 100.5f, 0, 1), 0, false, 0, 0, 0},
      {"starts beyond the right edge", vec4float(5000, 100.5f, 0, 1), vec4float(6000, 100.5f, 0, 1), 0, false, 0, 0, 0},
      {"runs beside the grid", vec4float(-50, 300, 0, 1), vec4float(4000, 300, 0, 1), 0, false, 0, 0, 0},
      {"runs below the grid", vec4float(10, -5, 0, 1), vec4float(200, -5, 0, 1), 0, false, 0, 0, 0},
      {"enters through the right edge", vec4float(4100, 120.5f, 0, 1), vec4float(4000, 120.5f, 0, 1), 0, true, 4095,
       120, 0.04f},
      {"enters through the top", vec4float(10.5f, 300, 0, 1), vec4float(10.5f, 200, 0, 1), 0, true, 10, 255, 0.44f},
      {"leaves through the bottom", vec4float(200.5f, 10, 0, 1), vec4float(200.5f, -100, 0, 1), 0, false, 0, 0, 0},
      {"thick probe does not wrap", vec4float(0.5f, 130, 0, 1), vec4float(0.5f, 110, 0, 1), 2, false, 0, 0, 0},
      {"thick probe at the top", vec4float(4000.5f, 250.5f, 0, 1), vec4float(4080.5f, 250.5f, 0, 1), 9, false, 0, 0, 0},
      {"standing still in a wall", vec4float(3.5f, 5.5f, 0, 1), vec4float(3.5f, 5.5f, 0, 1), 0, true, 3, 5, 0},
  };
  for (const Ray& r : rays) {
    SCOPED_TRACE(r.what);
    vec4float pos(-1, -1, -1, -1);
    vec4i32 cell(-1, -1, -1, -1);
    float t = -1;
    bool hit = trace_level(r.from, r.to, r.thickness, &pos, &cell, &t);
    EXPECT_EQ(hit, r.hit);
    if (!hit || !r.hit) continue;
    EXPECT_EQ(cell.x(), r.cx);
    EXPECT_EQ(cell.y(), r.cy);
    EXPECT_EQ(cell.z(), 0);
    EXPECT_NEAR(t, r.t, 1e-4);
    vec4float expect = r.from + (r.to - r.from) * t;
    EXPECT_NEAR(pos.x(), expect.x(), 1e-3);
    EXPECT_NEAR(pos.y(), expect.y(), 1e-3);
    EXPECT_EQ(pos.w(), 1.f);
  }
  // The out pointers may all be null.
  EXPECT_TRUE(trace_level(rays[0].from, rays[0].to, 0, nullptr, nullptr, nullptr));
}

}  // namespace
