// World queries through the library: the swept box, the object scans, box collisions and ray
// queries over probe objects that answer as told, and the cell-grid routines of the boss parts.
#include <vector>
#include "entlingSupport.h"
#include "game/levelGrid.h"

// Answers the world's questions with the values a test sets. (Outside an anonymous namespace, so
// that calls go through its table like the library's.)
struct Answerer : EntlingView {
  static std::vector<Answerer*>* asked;
  int scanFlags = 0;
  float scanStop = 1e30f;  // scans clamp `to` to this
  float carryVx = 0;
  vec4float depths;
  float rayHit = -1;
  Entling* seenExclude = nullptr;

  int scanX(float, float* to, float, float) override {
    asked->push_back(this);
    if (*to > scanStop) *to = scanStop;
    return scanFlags;
  }
  int scanY(float, float, float, float* to, float* carry) override {
    asked->push_back(this);
    if (*to > scanStop) *to = scanStop;
    if (scanFlags) carry[0] = carryVx;
    return scanFlags;
  }
  void collideBox(vec4float, vec4float, vec4float* d, Entling* exclude) override {
    asked->push_back(this);
    seenExclude = exclude;
    *d = depths;
  }
  float traceRay(vec4float, vec4float, float, float, float) override {
    asked->push_back(this);
    return rayHit;
  }
};
std::vector<Answerer*>* Answerer::asked = nullptr;

namespace {

class Queries : public EntlingWorld {
 protected:
  std::vector<Answerer*> asked;
  void SetUp() override {
    EntlingWorld::SetUp();
    Answerer::asked = &asked;
  }
  void TearDown() override {
    hero = nullptr;
    EntlingWorld::TearDown();
  }
  Answerer* add(int list) {
    Answerer* a = new Answerer();
    object_list(list).push_back(a);
    return a;
  }
  Entling* ent(Answerer* a) { return (Entling*)(BaseObject*)a; }
};

void expect_lanes(vec4float v, float x, float y, float z, float w) {
  EXPECT_EQ(v.x(), x);
  EXPECT_EQ(v.y(), y);
  EXPECT_EQ(v.z(), z);
  EXPECT_EQ(v.w(), w);
}

}  // namespace

// The pure functions, reached through the bound pointers.
using EntlingQueries = EntlingWorld;

TEST_F(EntlingQueries, SweptBox_FirstEntryThroughAFace) {
  struct Case {
    const char* what;
    vec4float aMin, aMax, bMin, bMax, motion;
    float limit, expected;
  } cases[] = {
      {"right into b", {0, 0, 0, 0}, {2, 2, 0, 0}, {5, 0, 0, 0}, {7, 2, 0, 0}, {10, 0, 0, 0}, 1, 0.3f},
      {"up, no x motion: only the y entry",
       {0, 0, 0, 0},
       {2, 2, 0, 0},
       {0, 5, 0, 0},
       {2, 7, 0, 0},
       {0, 10, 0, 0},
       1,
       0.3f},
      {"left into b", {8, 0, 0, 0}, {10, 2, 0, 0}, {5, 0, 0, 0}, {7, 2, 0, 0}, {-10, 0, 0, 0}, 1, 0.1f},
      {"already overlapping", {0, 0, 0, 0}, {2, 2, 0, 0}, {1, 1, 0, 0}, {3, 3, 0, 0}, {1, 0, 0, 0}, 1, -1},
      {"moving away", {0, 0, 0, 0}, {2, 2, 0, 0}, {5, 0, 0, 0}, {7, 2, 0, 0}, {-10, 0, 0, 0}, 1, -1},
      {"entry at the limit", {0, 0, 0, 0}, {2, 2, 0, 0}, {5, 0, 0, 0}, {7, 2, 0, 0}, {10, 0, 0, 0}, 0.3f, -1},
      {"passes above", {0, 0, 0, 0}, {2, 2, 0, 0}, {5, 3, 0, 0}, {7, 5, 0, 0}, {10, 0, 0, 0}, 1, -1},
      {"edges touching count", {0, 0, 0, 0}, {2, 2, 0, 0}, {5, 2, 0, 0}, {7, 4, 0, 0}, {10, 0, 0, 0}, 1, 0.3f},
      {"diagonal: the x entry", {0, 0, 0, 0}, {1, 1, 0, 0}, {5, 2, 0, 0}, {8, 8, 0, 0}, {10, 5, 0, 0}, 1, 0.4f},
      {"no motion", {0, 0, 0, 0}, {1, 1, 0, 0}, {5, 2, 0, 0}, {8, 8, 0, 0}, {0, 0, 0, 0}, 1, -1},
  };
  for (const Case& c : cases) {
    vec4float m0(3, 4, 0, 0);
    EXPECT_FLOAT_EQ(trace_box_box(c.aMin, c.aMax, c.bMin, c.bMax, m0, m0 + c.motion, c.limit), c.expected) << c.what;
  }
}

TEST_F(Queries, ScansAskTheSolidObjectsOnlyAndKeepTheLastContact) {
  Answerer* h = add(0);
  Answerer* e = add(1);
  Answerer* bullet = add(2);
  Answerer* b = add(3);
  Answerer* bomb = add(4);
  Answerer* bonus = add(5);
  Answerer* part = add(7);
  h->scanFlags = 0x21;
  h->scanStop = 50;
  e->scanFlags = 0x10;
  e->scanStop = 40;
  bomb->scanStop = 45;  // no contact: `to` is still shortened
  part->scanFlags = 0;
  int flags = 0x100;
  EXPECT_EQ(scan_objects_x(&flags, nullptr, 0, 100, 0, 10), 40);
  EXPECT_EQ(flags, 0x110);  // the last non-zero answer
  EXPECT_EQ(asked, std::vector<Answerer*>({h, e, b, bomb, part}));
  (void)bullet;
  (void)bonus;

  // The mover itself and destroyed objects are not asked.
  asked.clear();
  e->destroy();
  flags = 0;
  EXPECT_EQ(scan_objects_x(&flags, ent(h), 0, 100, 0, 10), 45);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(asked, std::vector<Answerer*>({b, bomb, part}));

  asked.clear();
  b->scanFlags = 2;
  b->carryVx = 7;
  float carry[2] = {0, 0};
  flags = 0;
  EXPECT_EQ(scan_objects_y(&flags, nullptr, 0, 10, 0, -100, carry), -100);
  EXPECT_EQ(flags, 2);  // the barrel's contact, the last one asked, not the hero's
  EXPECT_EQ(carry[0], 7);
}

TEST_F(Queries, BoxCollisionsClipToHalfTheBoxAndTakeTheDeepest) {
  Answerer* e1 = add(1);
  Answerer* e2 = add(1);
  Answerer* e3 = add(1);
  Answerer* barrel = add(3);
  Answerer* bomb = add(4);
  // The box is 10 by 20: depths above 5 across or 10 up and down do not count.
  e1->depths = vec4float(3, 12, 6, 4);
  e2->depths = vec4float(1, 9, 0, 5);
  e3->depths = vec4float(5.5f, 10.5f, 5.5f, 10.5f);  // every lane too deep: no hit at all
  barrel->depths = vec4float(2, 2, 2, 2);
  bomb->depths = vec4float(0, 11, 4, 0);
  vec4float lo(0, 0, 0, 0), hi(10, 20, 0, 0);
  BaseEnemy* hit = nullptr;
  expect_lanes(collide_box_enemies(ent(e3), &hit, lo, hi), 3, 9, 0, 5);
  EXPECT_EQ((void*)hit, (void*)e2);     // the last one that reaches in
  EXPECT_EQ(e1->seenExclude, ent(e3));  // each object decides about the excluded one itself
  expect_lanes(collide_box_enemies(nullptr, nullptr, lo, hi), 3, 9, 0, 5);
  asked.clear();
  expect_lanes(collide_box_neutral(nullptr, lo, hi), 2, 2, 4, 2);
  EXPECT_EQ(asked, std::vector<Answerer*>({barrel, bomb}));
  // A destroyed object still answers (its class returns zeros for itself when it wants).
  barrel->destroy();
  expect_lanes(collide_box_neutral(nullptr, lo, hi), 2, 2, 4, 2);

  expect_lanes(collide_box_hero(nullptr, lo, hi), 0, 0, 0, 0);  // no hero
  Answerer* h = add(0);
  h->depths = vec4float(-1, 4, 7, 1);
  hero = (Hero*)(BaseObject*)h;
  expect_lanes(collide_box_hero(nullptr, lo, hi), 0, 4, 0, 1);
}

TEST_F(Queries, RaysFindTheNearestHitBelowTheLimit) {
  Answerer* h = add(0);
  Answerer* e = add(1);
  Answerer* barrel = add(3);
  Answerer* bomb = add(4);
  Answerer* part = add(7);
  h->rayHit = 0.01f;  // the hero is never in these queries
  e->rayHit = 0.5f;
  barrel->rayHit = 0.3f;
  bomb->rayHit = 0.3f;  // a tie keeps the earlier
  part->rayHit = 0.9f;
  Entling* hit = nullptr;
  vec4float from, motion(10, 0, 0, 0);
  EXPECT_FLOAT_EQ(trace_ray_enemies(nullptr, &hit, from, motion, 2, 0.05f, 1), 0.3f);
  EXPECT_EQ(hit, ent(barrel));
  EXPECT_EQ(asked, std::vector<Answerer*>({e, barrel, bomb, part}));
  EXPECT_FLOAT_EQ(trace_ray_enemies(ent(barrel), &hit, from, motion, 2, 0.05f, 1), 0.3f);
  EXPECT_EQ(hit, ent(bomb));
  bomb->destroy();
  EXPECT_FLOAT_EQ(trace_ray_enemies(ent(barrel), &hit, from, motion, 2, 0.05f, 1), 0.5f);
  EXPECT_EQ(hit, ent(e));
  // Hits at or past the limit do not count; nothing found is -1 and leaves hit alone.
  hit = nullptr;
  EXPECT_EQ(trace_ray_enemies(ent(barrel), &hit, from, motion, 2, 0.05f, 0.5f), -1);
  EXPECT_EQ(hit, nullptr);
  asked.clear();
  EXPECT_FLOAT_EQ(trace_ray_neutral(nullptr, nullptr, from, motion, 2, 0.05f, 1), 0.3f);
  EXPECT_EQ(asked, std::vector<Answerer*>({barrel}));
}

// ---- cell grids

namespace {

struct Grid {
  int w, h;
  std::vector<LevelCell> cells;
  Grid(int w, int h) : w(w), h(h), cells(size_t(w * h)) {}
  void set(int x, int y, uint8_t type) { cells[size_t(x + y * w)].collision = type; }
  uint8_t at(int x, int y) const { return cells[size_t(x + y * w)].collision; }
};

const vec4float IDENTITY(1, 0, 0, 1);
const vec4float QUARTER_TURN(0, 1, -1, 0);  // cell (x, y) lies at (-y, x) in the part

}  // namespace

TEST_F(EntlingQueries, VoxelGrid_ScanStopsAMovingBoxBeforeTheFirstSolidCell) {
  Grid g(8, 6);
  g.set(5, 2, 1);
  g.set(3, 4, 1);
  float to = 9;
  EXPECT_TRUE(scan_voxel_grid(&to, g.cells.data(), IDENTITY, 1, 2.2f, 2.8f, g.w, g.h, g.w));
  EXPECT_FLOAT_EQ(to, 4.99f);
  to = 9;
  EXPECT_FALSE(scan_voxel_grid(&to, g.cells.data(), IDENTITY, 1, 3.05f, 3.9f, g.w, g.h, g.w));  // row 3 is free
  EXPECT_EQ(to, 9);
  to = 9;
  EXPECT_FALSE(scan_voxel_grid(&to, g.cells.data(), IDENTITY, 6, 2.2f, 2.8f, g.w, g.h, g.w));  // starts past it
  // A box that would stop behind its own start stays where it is.
  to = 9;
  EXPECT_TRUE(scan_voxel_grid(&to, g.cells.data(), IDENTITY, 5.5f, 2.2f, 2.8f, g.w, g.h, g.w));
  EXPECT_EQ(to, 5.5f);
  // The rows touched end exactly at the odd integer 4: the shrunken box (3.1 .. 3.9) misses row 4.
  to = 9;
  EXPECT_FALSE(scan_voxel_grid(&to, g.cells.data(), IDENTITY, 0, 3.0f, 4.0f, g.w, g.h, g.w));
  // Entirely outside the grid: nothing to test.
  to = 9;
  EXPECT_FALSE(scan_voxel_grid(&to, g.cells.data(), IDENTITY, 0, 20, 30, g.w, g.h, g.w));
  // Turned a quarter: cell (5, 2) covers x -3 .. -2 and y 5 .. 6 of the part.
  to = 0;
  EXPECT_TRUE(scan_voxel_grid(&to, g.cells.data(), QUARTER_TURN, -10, 5.2f, 5.8f, g.w, g.h, g.w));
  EXPECT_FLOAT_EQ(to, -3.01f);
}

TEST_F(EntlingQueries, VoxelGrid_RayMarchEdgeCases) {
  Grid g(8, 6);
  g.set(5, 2, 2);
  g.set(2, 4, 1);
  const LevelCell* c = g.cells.data();
  EXPECT_FLOAT_EQ(trace_voxel_grid(c, g.w, vec4float(0.5f, 2.5f, 0, 0), vec4float(1, 0, 0, 0), 0, 8, g.h, g.w), 5.5f);
  // A thick probe finds a cell beside the path; a thin one passes it.
  EXPECT_FLOAT_EQ(trace_voxel_grid(c, g.w, vec4float(0.5f, 3.5f, 0, 0), vec4float(1, 0, 0, 0), 1, 8, g.h, g.w), 2.5f);
  EXPECT_EQ(trace_voxel_grid(c, g.w, vec4float(0.5f, 3.5f, 0, 0), vec4float(1, 0, 0, 0), 0, 8, g.h, g.w), -1);
  // Starting outside and entering from the left; outside and pointing away; too short to arrive.
  EXPECT_FLOAT_EQ(trace_voxel_grid(c, g.w, vec4float(-3, 2.5f, 0, 0), vec4float(1, 0, 0, 0), 0, 20, g.h, g.w), 9.0f);
  EXPECT_EQ(trace_voxel_grid(c, g.w, vec4float(-2, 2.5f, 0, 0), vec4float(-1, 0, 0, 0), 0, 20, g.h, g.w), -1);
  EXPECT_EQ(trace_voxel_grid(c, g.w, vec4float(-5, 2.5f, 0, 0), vec4float(1, 0, 0, 0), 0, 3, g.h, g.w), -1);
  // Steep rays probe across the row; going down.
  EXPECT_FLOAT_EQ(trace_voxel_grid(c, g.w, vec4float(2.5f, 0.5f, 0, 0), vec4float(0, 1, 0, 0), 0, 8, g.h, g.w), 4.5f);
  EXPECT_FLOAT_EQ(trace_voxel_grid(c, g.w, vec4float(5.5f, 5.5f, 0, 0), vec4float(0, -1, 0, 0), 0, 8, g.h, g.w), 3.5f);
  // Stopping short of the cell it would reach.
  EXPECT_EQ(trace_voxel_grid(c, g.w, vec4float(0.5f, 2.5f, 0, 0), vec4float(1, 0, 0, 0), 0, 3, g.h, g.w), -1);
}

TEST_F(EntlingQueries, VoxelGrid_BoxOfTheSolidCells) {
  Grid g(8, 6);
  vec4float empty = calc_voxel_grid_box(g.cells.data(), g.w, IDENTITY, g.h, g.w);
  expect_lanes(empty, 0, 0, 1, 1);
  g.set(2, 1, 1);
  g.set(5, 3, 6);
  expect_lanes(calc_voxel_grid_box(g.cells.data(), g.w, IDENTITY, g.h, g.w), 2, 1, 6, 4);
  expect_lanes(calc_voxel_grid_box(g.cells.data(), g.w, QUARTER_TURN, g.h, g.w), -4, 2, -1, 6);
  // A grid narrower than its row stride: only the first w cells of each row belong to it.
  Grid wide(10, 2);
  wide.set(1, 0, 1);
  wide.set(8, 1, 1);
  expect_lanes(calc_voxel_grid_box(wide.cells.data(), 4, IDENTITY, 2, 10), 1, 0, 2, 1);
}

TEST_F(EntlingQueries, VoxelGrid_SubpartFloodStopsAtOtherIdsAndMarksThem) {
  Grid g(6, 4);
  // Subpart 4: an L of cells; subpart 5 beside it; a second piece of 4 behind the 5s.
  const char* rows[4] = {"44.5..", ".4.544", ".445..", "......"};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 6; x++)
      if (rows[y][x] != '.') g.set(x, y, uint8_t(rows[y][x] - '0'));
  alignas(LevelGrid) unsigned char mem[sizeof(LevelGrid)] = {};
  LevelGrid* grid = reinterpret_cast<LevelGrid*>(mem);
  grid->width = g.w;
  grid->height = g.h;
  grid->cells = g.cells.data();
  std::vector<char> visited(size_t(g.w * g.h), 0);
  int lo[2] = {1, 1}, hi[2] = {1, 1};
  expand_grid_subpart_box(grid, 1, 1, lo, hi, 4, visited.data());
  EXPECT_EQ(lo[0], 0);
  EXPECT_EQ(lo[1], 0);
  EXPECT_EQ(hi[0], 2);
  EXPECT_EQ(hi[1], 2);
  std::string marks;
  for (int y = 0; y < g.h; y++) {
    for (int x = 0; x < g.w; x++) marks += char('0' + visited[size_t(x + y * g.w)]);
    marks += '|';
  }
  EXPECT_EQ(marks, "112000|212000|211200|022000|");
  // A flood of subpart 5 from (3, 0) does not enter cells already marked.
  int lo5[2] = {3, 0}, hi5[2] = {3, 0};
  expand_grid_subpart_box(grid, 3, 0, lo5, hi5, 5, visited.data());
  EXPECT_EQ(hi5[1], 1);  // (3, 2) is of subpart 5 too, but the first flood marked it 2
  // A subpart as large as the grid floods without running out of stack.
  Grid big(512, 512);
  for (LevelCell& c : big.cells) c.collision = 4;
  grid->width = big.w;
  grid->height = big.h;
  grid->cells = big.cells.data();
  std::vector<char> seen(size_t(big.w * big.h), 0);
  int blo[2] = {256, 256}, bhi[2] = {256, 256};
  expand_grid_subpart_box(grid, 256, 256, blo, bhi, 4, seen.data());
  EXPECT_EQ(blo[0], 0);
  EXPECT_EQ(blo[1], 0);
  EXPECT_EQ(bhi[0], 511);
  EXPECT_EQ(bhi[1], 511);
}
