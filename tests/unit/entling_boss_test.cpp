// The level boss against the real actor library, in the boss room that the level generator builds
// for level 4 from the game's own tiles: its parts, joints and locks, waking, the gait and the guns,
// hits that chew the parts apart, the subparts' blow-offs, the dying sequence and the exit.
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <set>
#include <string>
#include <vector>
#include "bossViews.h"
#include "engine/app.h"
#include "engine/sysUtils.h"
#include "game/gen/bossTiles.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/levelTemplates.h"
#include "game/gen/loadTiles.h"
#include "game/levelRenderer.h"
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
  // Everything goes, as between two levels.
  void clear_world_objects() {
    remove_all_entling();
    delete_entling();
    boss = nullptr;
  }
  void step(int n = 1) {
    for (int i = 0; i < n; i++) update_entling(0.05f);
  }
  // A step that starts without shots or bombs: afterwards the lists hold what this step made (a shot
  // or bomb lives at least into the step after the one that made it).
  void quietStep(int n = 1) {
    for (int i = 0; i < n; i++) {
      for (int list : {2, 4})
        for (int j = 0; j < object_list(list).size(); j++) object_list(list)[j]->destroy();
      delete_entling();
      step();
    }
  }
  PartView* part(WeakRef<PartView>& ref) { return ref.get(); }
  LockView* lockOf(int id) {
    for (BehaviorView* b : boss->behaviors)
      if (static_cast<LockView*>(b)->subpartId == id) return static_cast<LockView*>(b);
    return nullptr;
  }
  // The world point at the centre of a part's cell.
  static vec4float cellPoint(PartView* p, int x, int y) { return vec4float(x + 0.5f, y + 0.5f, 0, 1) * p->tm; }
  static int countCells(PartView* p, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; y++)
      for (int x = x0; x <= x1; x++) n += p->cell(x, y).collision != 0;
    return n;
  }
  // Steps until cond holds (at most limit updates); the number of updates taken, -1 if never.
  template <class F>
  int stepsUntil(F cond, int limit) {
    for (int i = 1; i <= limit; i++) {
      step();
      if (cond()) return i;
    }
    return -1;
  }
  // Whether a hit at the cell could reach a subpart's cell.
  static bool nearSubpart(PartView* p, int x, int y) {
    for (int j = y - 2; j <= y + 2; j++)
      for (int i = x - 2; i <= x + 2; i++)
        if (i >= 0 && j >= 0 && i < p->grid->width && j < p->grid->height && (p->cell(i, j).collision & 4)) return true;
    return false;
  }
  void wake() {
    putHero(spawnX - 150);
    step();
    ASSERT_FALSE(boss->asleep);
  }
};

TEST_F(BossRoom, TheGeneratorBuildsTheBossFromItsTiles) {
  makeLevel(7);
  int count = 0;
  const int* sizes = entling_library().classSizes(&count);
  ASSERT_EQ(count, NUM_ENTLING_TYPES);
  EXPECT_EQ(int(sizeof(PartView)), sizes[TYPE_BOSS_PART]);
  EXPECT_EQ(int(sizeof(PosJointView)), sizes[TYPE_BOSS_POS_JOINT]);
  EXPECT_EQ(int(sizeof(LockView)), sizes[TYPE_LOCK_SUBPART_BEHAVIOR]);
  EXPECT_EQ(int(sizeof(Boss1View)), sizes[TYPE_BOSS1]);

  EXPECT_TRUE(boss->asleep);
  EXPECT_EQ(boss->walkLeft, spawnX - 192);
  EXPECT_EQ(boss->parts.size(), 9);
  EXPECT_EQ(BossPart_list.size(), 9);
  EXPECT_EQ(boss->joints.size(), 8);
  EXPECT_EQ(BossPosJoint_list.size(), 8);
  EXPECT_TRUE(boss->leg1->pinned && boss->leg2->pinned && !boss->body->pinned);
  EXPECT_EQ(boss->knee1->partA.get(), boss->body.get());
  // The subparts are the red regions of the body tile (the bottom plate's keel and rib stretch its
  // rectangle over the lower body).
  struct Rect {
    int id, x0, y0, x1, y1;
  } expected[] = {{1, 0, 0, 45, 17}, {2, 31, 36, 45, 47}, {3, 18, 18, 28, 30}, {1000, 4, 18, 15, 30}};
  ASSERT_EQ(boss->subparts.size(), 4);
  for (int i = 0; i < 4; i++) {
    const SubpartView& s = boss->subparts[i];
    EXPECT_EQ(s.part, boss->body.get());
    EXPECT_EQ(std::vector<int>({s.id, s.x0, s.y0, s.x1, s.y1}),
              std::vector<int>({expected[i].id, expected[i].x0, expected[i].y0, expected[i].x1, expected[i].y1}));
  }
  ASSERT_EQ(boss->behaviors.size(), 4);
  EXPECT_EQ(lockOf(3), boss->lock3.get());
  EXPECT_EQ(lockOf(1000), boss->coreLock.get());
  EXPECT_FLOAT_EQ(lockOf(1000)->delay, 6.0f);
  EXPECT_FLOAT_EQ(lockOf(2)->impulseY, -1.0f);
  // Each part's pivot sits where it was placed.
  vec4float pivot_world = (boss->body->pivot + vec4float(0, 0, 0, 1)) * boss->body->tm;
  EXPECT_NEAR(pivot_world.x(), spawnX, 1e-3);
  EXPECT_NEAR(pivot_world.y(), spawnY + 50, 1e-3);
}

// The tiles checked at start-up are all the boss needs: with every other tile hidden, the level
// and its boss are still built. A boss part made from a tile the list lacks stops this test.
TEST_F(BossRoom, IsBuiltFromTheTilesCheckedAtStartUp) {
  std::set<const LevelGenTile*> needed;
  for (const LevelGenTile* t : back_pool) needed.insert(t);
  for (const LevelGenTile* t : mach_wall_pool) needed.insert(t);
  for (const LevelGenTile* t : floor_set) needed.insert(t);
  for (const LevelGenTile* t : mach_set) needed.insert(t);
  for (const LevelGenTile* t : sback_set) needed.insert(t);
  for (const LevelGenTile* t : plat_set) needed.insert(t);
  for (const LevelGenTile* t : hfloor_set) needed.insert(t);
  for (const LevelGenTile* t : {stairR_tile, stairL_tile, exit_tile, back2_tile}) needed.insert(t);
  for (int i = 0; i < num_boss_tiles; i++) needed.insert(find_level_tile(boss_tile_names[i]));
  int hidden = 0;
  for (LevelGenTile* t : level_tiles)
    if (!needed.count(t)) {
      t->name[0] = '#';  // no lookup finds it any more
      hidden++;
    }
  EXPECT_EQ(hidden, 0);  // today the tile set holds nothing else
  EXPECT_EXIT(
      {
        makeLevel(7);
        _exit(Boss1_list.size() == 1 && BossPart_list.size() == 9 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(BossRoom, SleepsUntilTheHeroIsNearThenFiresAndBombsOnItsTimers) {
  makeLevel(7);
  putHero(spawnX - 201);
  vec4float body_at = boss->body->pos;
  step(100);
  EXPECT_TRUE(boss->asleep);
  EXPECT_EQ(Bullet_list.size() + Bomb_list.size(), 0);
  EXPECT_EQ(memcmp(&body_at, &boss->body->pos, sizeof(body_at)), 0) << "a sleeping boss does not even fall";
  EXPECT_EQ(boss->walkPhase, 0);

  putHero(boss->body->pos.x() - 200);
  std::vector<int> volleys, bombs;
  for (int update = 1; update <= 200; update++) {  // the waking update is update 1
    quietStep();
    if (update == 1) {
      EXPECT_FALSE(boss->asleep);
    }
    if (Bullet_list.size() > 0) {
      EXPECT_EQ(Bullet_list.size(), 2);
      volleys.push_back(update);
    }
    if (Bomb_list.size() > 0) bombs.push_back(update);
  }
  EXPECT_EQ(std::vector<int>(volleys.begin(), volleys.begin() + 4), std::vector<int>({61, 71, 81, 91}));
  EXPECT_EQ(std::vector<int>(bombs.begin(), bombs.begin() + 3), std::vector<int>({81, 112, 143}));
}

struct BulletHead : EntlingView {  // the bullet's first fields: position, previous position, velocity
  vec4float pos, prevPos, vel;
};

TEST_F(BossRoom, BulletsLeaveTheGunsMuzzlesTowardsTheHero) {
  makeLevel(11);
  wake();
  step(5);
  // A shot starts at the muzzle, a point of the gun's grid taken through the gun's whole transform.
  PartView* guns[2] = {boss->frontGun.get(), boss->topGun.get()};
  const vec4float offsets[2] = {vec4float(-14, 1, 0, 0), vec4float(-26, 5, 0, 0)};
  for (int i = 0; i < 2; i++) {
    boss->fireBullet((BossPart*)(EntlingView*)guns[i], offsets[i], vec4float(-1, 0, 0, 0));
    BulletHead* b = view<BulletHead>((BaseObject*)Bullet_list.last());
    vec4float muzzle = (guns[i]->pivot + offsets[i] + vec4float(0, 0, 0, 1)) * guns[i]->tm;
    EXPECT_NEAR(b->pos.x(), muzzle.x(), 1e-3) << i;
    EXPECT_NEAR(b->pos.y(), muzzle.y(), 1e-3) << i;
    vec4float box = guns[i]->box;
    EXPECT_TRUE(b->pos.x() > box.x() - 1 && b->pos.x() < box.z() && b->pos.y() > box.y() - 1 &&
                b->pos.y() < box.w() + 1)
        << i << ": a shot at " << b->pos.x() << ", " << b->pos.y() << " is not at its gun";
    // The art agrees: the muzzle is the barrel's end. Its face is the column right of the muzzle,
    // drawn on both rows that meet there, and nothing of the gun lies beyond it.
    vec4float g = guns[i]->pivot + offsets[i];
    int mx = int(g.x()), my = int(g.y());
    EXPECT_NE(guns[i]->cell(mx, my).foreground & 0x8000, 0) << i << ": no barrel above the muzzle";
    EXPECT_NE(guns[i]->cell(mx, my - 1).foreground & 0x8000, 0) << i << ": no barrel below the muzzle";
    int beyond = 0;
    for (int y = 0; y < guns[i]->grid->height; y++)
      for (int x = 0; x < mx; x++) beyond += (guns[i]->cell(x, y).foreground & 0x8000) != 0;
    EXPECT_EQ(beyond, 0) << i << ": cells of the gun beyond its muzzle";
  }
  // The volleys leave the same way, at 100 units a second, to the left where the hero is; the guns
  // turn within their limits towards the hero (below them).
  for (int i = 0; i < 100 && Bullet_list.size() < 2; i++) quietStep();
  ASSERT_EQ(Bullet_list.size(), 2);
  for (int i = 0; i < 2; i++) {
    BulletHead* b = view<BulletHead>((BaseObject*)Bullet_list[i]);
    vec4float box = guns[i]->box;
    EXPECT_TRUE(b->prevPos.x() > box.x() - 3 && b->prevPos.x() < box.z() && b->prevPos.y() > box.y() - 3 &&
                b->prevPos.y() < box.w() + 3)
        << i;
    EXPECT_NEAR(sqrtf(b->vel.x() * b->vel.x() + b->vel.y() * b->vel.y()), 100, 1e-3);
    EXPECT_LT(b->vel.x(), -60) << i;
  }
  EXPECT_LE(fabsf(boss->frontGun->angle), 30 * 3.14159f / 180 + 1e-5f);
  EXPECT_LE(fabsf(boss->topGun->angle), 50 * 3.14159f / 180 + 1e-5f);
  EXPECT_LT(boss->topGun->angle, 0);
}

// Movers' sweeps stop at a part's cells from all four sides (the part mirrors or swaps the grid's
// one-way scan), and pass by where the part has no cells; a shot's ray finds the part at its face.
TEST_F(BossRoom, SweepsAndRaysStopAtThePartsCells) {
  makeLevel(7);
  PartView* body = boss->body.get();
  vec4float b = body->box;  // the body tile is a full rectangle
  float mid_x = (b.x() + b.z()) / 2, mid_y = (b.y() + b.w()) / 2;
  struct Case {
    const char* what;
    bool along_x;
    float from, to, expect;
    int result;
  } cases[] = {
      {"moving right", true, b.x() - 20, b.x() + 5, b.x() - 0.01f, 4},
      {"moving left", true, b.z() + 20, b.z() - 5, b.z() + 0.01f, 1},
      {"moving up", false, b.y() - 20, b.y() + 5, b.y() - 0.01f, 8},
      {"moving down", false, b.w() + 20, b.w() - 5, b.w() + 0.01f, 2},
      {"stopping short", true, b.x() - 20, b.x() - 2, b.x() - 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    float to = c.to;
    int r = c.along_x ? body->scanX(c.from, &to, mid_y - 2, mid_y + 2)
                      : body->scanY(mid_x - 2, mid_x + 2, c.from, &to, nullptr);
    EXPECT_EQ(r, c.result);
    EXPECT_NEAR(to, c.expect, 1e-3);
  }
  // Rows above the part: nothing in the way.
  float to = b.x() + 5;
  EXPECT_EQ(body->scanX(b.x() - 20, &to, b.w() + 1, b.w() + 10), 0);
  EXPECT_EQ(to, b.x() + 5);
  // A shot's ray finds the part at its face.
  Entling* struck = nullptr;
  vec4float from(b.x() - 30, b.w() - 3, 0, 1), motion(60, 0, 0, 0);
  float f = trace_ray_enemies(nullptr, &struck, from, motion, 2, 0.05f, 1);
  EXPECT_EQ((void*)struck, (void*)body);
  EXPECT_NEAR(from.x() + f * motion.x(), b.x(), 1.01f);
}

// A hit clears destructible cells in square rings up to the wall destruction, the ring at full
// reach without its corners, and stops after the first ring that meets armour.
TEST_F(BossRoom, HitsClearRingsAndStopAtArmour) {
  struct Case {
    const char* what;
    int destr, x, y, cleared;
    std::vector<std::pair<int, int>> kept;
  } cases[] = {
      {"hull all round", 2, 38, 24, 21, {{36, 22}, {40, 26}, {38, 27}}},
      {"armour in the first ring", 2, 8, 34, 6, {{8, 36}, {8, 33}, {7, 33}}},
      {"armour hit straight", 2, 8, 32, 0, {{8, 32}, {8, 34}}},
      {"no wall destruction", 0, 38, 24, 1, {{39, 24}}},
      {"armour in the ring at full reach", 1, 8, 34, 4, {{8, 33}, {9, 35}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clear_world_objects();
    makeLevel(7);
    PartView* body = boss->body.get();
    int before = countCells(body, 0, 0, body->grid->width - 1, body->grid->height - 1);
    bullet_wall_destr = c.destr;
    body->hit(cellPoint(body, c.x, c.y), 1);
    int after = countCells(body, 0, 0, body->grid->width - 1, body->grid->height - 1);
    EXPECT_EQ(before - after, c.cleared);
    for (auto [x, y] : c.kept) EXPECT_NE(body->cell(x, y).collision, 0) << x << "," << y;
  }
}

TEST_F(BossRoom, ShotOffPlatesBlowOffTheMiddleThenTheCoreKillsTheBoss) {
  makeLevel(7);
  wake();
  PartView* body = boss->body.get();
  bullet_wall_destr = 2;
  LevelCell* exit_cells = &level_cell(exit_choice.tx * TILE_CELLS, exit_choice.ty * TILE_CELLS);
  auto exit_placed = [&] {
    for (int y = 0; y < TILE_CELLS; y++)
      for (int x = 0; x < TILE_CELLS; x++)
        if (exit_cells[x + y * LEVEL_WIDTH].collision == LEVEL_COLL_EXIT) return true;
    return false;
  };
  ASSERT_NE(exit_choice.tile, nullptr);
  EXPECT_FALSE(exit_placed());

  // Subpart 1: the first hit starts a 1.5 s countdown that a second hit does not restart.
  body->hit(cellPoint(body, 40, 6), 1);
  EXPECT_FLOAT_EQ(lockOf(1)->timer, 1.5f);
  step(10);
  body->hit(cellPoint(body, 40, 4), 1);
  int gone1 = 10 + stepsUntil([&] { return boss->top1Gone; }, 40);
  EXPECT_NEAR(gone1, 30, 1);
  EXPECT_EQ(countCells(body, 0, 0, 45, 17), 0) << "the lower body goes with the bottom plate";
  EXPECT_EQ(countCells(body, 18, 18, 28, 30), (28 - 18 + 1) * (30 - 18 + 1)) << "the middle plate stays";

  // Subpart 2 goes the same way, and then the middle plate blows off by itself 0.5 s later.
  body->hit(cellPoint(body, 40, 42), 1);
  EXPECT_NEAR(stepsUntil([&] { return boss->top2Gone; }, 40), 30, 1);
  EXPECT_FALSE(boss->lock3);
  EXPECT_NEAR(stepsUntil([&] { return countCells(body, 18, 18, 28, 30) == 0; }, 40), 10, 1);
  EXPECT_FALSE(boss->dyingStarted);

  // The core: its countdown starts, the parts fall off one a second in order, and when it ends the
  // boss dies and the exit appears.
  body->hit(cellPoint(body, 12, 24), 1);
  step();
  EXPECT_TRUE(boss->dyingStarted);
  WeakRef<PartView>* falling[] = {&boss->launcher, &boss->topGun, &boss->support,
                                  &boss->frontGun, &boss->leg1,   &boss->leg2};
  std::vector<int> fell;
  int update = 1;
  for (WeakRef<PartView>* p : falling) {
    while (p->get() && update < 200) {
      step();
      update++;
    }
    fell.push_back(update);
  }
  EXPECT_EQ(fell[0], 1);
  for (int i = 1; i < 6; i++) EXPECT_NEAR(fell[i] - fell[i - 1], 20, 1) << i;
  EXPECT_FALSE(boss->dead);
  EXPECT_EQ(ExitFx_list.size(), 0);
  int died = update + stepsUntil([&] { return boss->dead; }, 60);
  EXPECT_NEAR(died, 120, 1);
  EXPECT_TRUE(exit_placed());
  EXPECT_EQ(ExitFx_list.size(), 1);
  EXPECT_EQ(boss->parts.size(), 3);  // the body and the feet stay
  EXPECT_EQ(boss->joints.size(), 0);

  // The dead boss stays, still solving its pieces, until the level's enemies are removed.
  step(100);
  EXPECT_EQ(Boss1_list.size(), 1);
  EXPECT_EQ(ExitFx_list.size(), 1);
  remove_all_enemies();
  EXPECT_EQ(Boss1_list.size() + BossPart_list.size() + BossPosJoint_list.size() + LockSubpartBehavior_list.size() +
                ExitFx_list.size(),
            0);
}

TEST_F(BossRoom, ABlownOffSubpartNeverExplodesAgain) {
  makeLevel(7);
  wake();
  PartView* body = boss->body.get();
  LockView* lock = lockOf(1);
  body->hit(cellPoint(body, 40, 6), 1);
  ASSERT_GT(stepsUntil([&] { return boss->top1Gone; }, 40), 0);
  EXPECT_TRUE(lock->fired);
  boss->top1Gone = false;
  junk_list.clear();
  lock->triggerDestruction();
  EXPECT_LT(lock->timer, 0);
  step(40);
  EXPECT_FALSE(boss->top1Gone) << "the subpart was reported destroyed again";
  EXPECT_EQ(junk_list.size(), 0) << "the subpart exploded again";
}

// The boss turns back at both ends of its walk, and each direction really walks the other way.
TEST_F(BossRoom, TheWalkTurnsBackAtEitherEnd) {
  makeLevel(7);
  wake();
  float x0 = boss->body->pos.x();
  quietStep(200);
  float x1 = boss->body->pos.x();
  EXPECT_LT(x1, x0 - 5) << "the first steps walk left";
  // Past the left end while walking left: it turns and walks right.
  boss->walkLeft = x1 + 1;
  quietStep();
  EXPECT_LT(boss->walkDir, 0);
  boss->walkLeft = x1 - 1000;
  quietStep(200);
  float x2 = boss->body->pos.x();
  EXPECT_GT(x2, x1 + 5);
  // Past the right end while walking right: it turns and walks left again.
  boss->walkRight = x2 - 1;
  quietStep();
  EXPECT_GT(boss->walkDir, 0);
  boss->walkRight = x2 + 1000;
  quietStep(200);
  EXPECT_LT(boss->body->pos.x(), x2 - 5);
}

// Each part draws its grid through a level renderer of its own, over the part's cells; without a
// device the renderer keeps only its sizes. The part's destruction destroys it.
TEST_F(BossRoom, EachPartOwnsALevelRendererOverItsGrid) {
  makeLevel(7);
  std::vector<PartView*> parts(boss->parts.begin(), boss->parts.end());
  ASSERT_EQ(parts.size(), 9u);
  for (PartView* p : parts) {
    LevelRenderer* r = (LevelRenderer*)p->renderer;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->cells, p->grid->cells);
    EXPECT_EQ(r->cellStride, 6);
    EXPECT_EQ(r->rowStride, 6 * p->grid->width);
    EXPECT_EQ(r->width, p->grid->width);
    EXPECT_EQ(r->height, p->grid->height);
    EXPECT_EQ(r->texWidth, level_texture_side(0, p->grid->width));
    EXPECT_EQ(r->texHeight, level_texture_side(0, p->grid->height));
    EXPECT_EQ(r->bgTexture, nullptr);
    EXPECT_EQ(r->fgTexture, nullptr);
  }
  wake();
  step(5);
  // The scene's level pass of a frame, with nothing to draw on: the pass and the parts' transforms
  // do nothing.
  start_level_rendering();
  render_boss(0.01f);
  end_level_rendering();
  ((BaseObject*)boss)->destroy();
  for (PartView* p : parts) {
    EXPECT_EQ(p->renderer, nullptr);
    EXPECT_EQ(p->grid, nullptr);
  }
  delete_entling();
}

TEST_F(BossRoom, DestroyingTheBossLeavesItsArraysEmpty) {
  makeLevel(7);
  ((BaseObject*)boss)->destroy();
  for (int n : {boss->joints.size(), boss->parts.size(), boss->subparts.size(), boss->behaviors.size()})
    EXPECT_EQ(n, 0);
  EXPECT_EQ(boss->parts.begin(), nullptr);
  EXPECT_EQ(boss->joints.begin(), nullptr);
  EXPECT_EQ(boss->subparts.begin(), nullptr);
  EXPECT_EQ(boss->behaviors.begin(), nullptr);
  delete_entling();
  EXPECT_EQ(Boss1_list.size() + BossPart_list.size() + BossPosJoint_list.size() + LockSubpartBehavior_list.size(), 0);
}

TEST_F(BossRoom, ABossWithoutABodyStaysAsleep) {
  makeLevel(7);
  remove_all_enemies();
  BaseObject* bare = (BaseObject*)new_entling_by_id(TYPE_BOSS1);
  Boss1View* b = view<Boss1View>(bare);
  reset_hero(0, 20);
  step(20);
  render_entling_debug(0.01f);
  EXPECT_TRUE(b->asleep);
  EXPECT_EQ(Bullet_list.size() + Bomb_list.size(), 0);
  EXPECT_EQ(b->getPos().x(), 0);
}

// A part loaded from a stream has no grid: every operation on it is harmless and it has no subparts.
TEST_F(BossRoom, APartWithoutAGridIsEmpty) {
  makeLevel(7);
  std::string bytes(
      "\x01\0\0\0\x08"
      "BossPart"
      "\0\0\0\0"
      "\x01\0\0\0"
      "\x09\0\0\0"
      "\0\0\0\0",
      29);
  init_game_script();
  MemoryInputStream in(bytes.data(), int(bytes.size()));
  load_entlings(in);
  close_game_script();
  ASSERT_EQ(BossPart_list.size(), 10);
  PartView* bare = view<PartView>((BaseObject*)BossPart_list.last());
  ASSERT_EQ(bare->grid, nullptr);
  bare->hit(vec4float(1, 1, 0, 1), 1);
  bare->clearBox(0, 0, 5, 5);
  bare->recolorBox(0, 0, 5, 5, 0xffffffffu);
  int lo[2], hi[2];
  bare->getSubpartBox(3, 4, lo, hi);
  EXPECT_EQ(lo[0] + lo[1] + hi[0] + hi[1], 14);
  float to = 10;
  EXPECT_EQ(bare->scanX(0, &to, 0, 5), 0);
  EXPECT_EQ(bare->traceRay(vec4float(), vec4float(5, 0, 0, 0), 2, 0.05f, 1), -1);
  bare->renderGrid(0.01f);
  boss->addSubpart((BossPart*)(EntlingView*)bare, 0, 0, 7);
  EXPECT_EQ(boss->subparts.size(), 4);
  EXPECT_EQ(boss->findSubpart(7), nullptr);
}

// A long fight under a scripted fire pattern that chews hull but spares the subparts: every
// coordinate stays finite, and the same seed gives the same fight bit for bit.
TEST_F(BossRoom, ALongFightStaysFiniteAndRepeatsExactly) {
  // The state that must repeat: every part's position, angle and cells, and the random state.
  auto state = [&] {
    std::string st;
    for (PartView* p : boss->parts) {
      st.append((const char*)&p->pos, sizeof(p->pos));
      st.append((const char*)&p->angle, sizeof(p->angle));
      for (int i = 0; i < p->grid->width * p->grid->height; i++) {  // field by field: a cell has a padding byte
        const LevelCell& c = p->grid->cells[i];
        st.append((const char*)&c.background, 2).append((const char*)&c.foreground, 2).push_back(char(c.collision));
      }
    }
    st.append((const char*)&game_rnd_seed, sizeof(game_rnd_seed));
    return st;
  };
  // Runs the fight for `updates` steps; the state after `snapshot_at` steps.
  auto fight = [&](int updates, int snapshot_at) {
    std::string snapshot;
    makeLevel(19);
    wake();
    uint32_t script = 12345;
    for (int u = 0; u < updates; u++) {
      if (u % 3 == 0) {
        script = script * 1664525u + 1013904223u;
        PartView* p = boss->parts[int((script >> 8) % uint32_t(boss->parts.size()))];
        int x = int((script >> 4) % uint32_t(p->grid->width)), y = int((script >> 16) % uint32_t(p->grid->height));
        if (p->cell(x, y).collision == 3 && !nearSubpart(p, x, y)) p->hit(cellPoint(p, x, y), 1);
      }
      step();
      if (u + 1 == snapshot_at) snapshot = state();
      if (u % 500 == 0)
        for (PartView* p : boss->parts)
          if (!std::isfinite(p->pos.x()) || !std::isfinite(p->pos.y()) || !std::isfinite(p->angle)) {
            ADD_FAILURE() << "not finite at update " << u;
            return std::string();
          }
    }
    EXPECT_FALSE(boss->dyingStarted);
    return snapshot;
  };
#ifdef __SANITIZE_ADDRESS__
  const int updates = 2500, compared = 1000;  // the sanitized build is many times slower
#else
  const int updates = 10000, compared = 2000;
#endif
  std::string first = fight(updates, compared);
  ASSERT_FALSE(first.empty());
  clear_world_objects();
  std::string second = fight(compared, compared);
  EXPECT_TRUE(first == second);
}

}  // namespace
