// Helpers of the tests of enemies, explosives, bonuses and the exit effect (which reach the
// library's objects through the views of tools/harness/entlingViews.h): a stand-in hero that
// records what the world does to it, and a fixture with a small level of solid floor, a fixed
// random seed and the sound-event log on.
#pragma once
#include <stdio.h>
#include <string>
#include "engine/app.h"
#include "engine/log.h"
#include "entlingSupport.h"
#include "game/gen/levelGenRuntime.h"
#include "game/levelCollision.h"
#include "game/levelGrid.h"
#include "game/particles.h"
#include "game/sceneView.h"
#include "game/soundEvents.h"

// The hero's fields (its view's), answering the world like the hero does: its box blocks other
// movers with the hero's flags; it is never struck by rays (bullets fly past it here).
struct FakeHero : HeroView {
  FakeHero() {
    aimDir = prevAimDir = vec4float(1, 0, 0, 0);
    gunOffset = vec4float(0, 8, 2, 1);
    legPhase = invulTime = exitTime = 0;
    hurt = false;
    health = 4;
    faceRight = true;
    tm = Matrix44::identity();
    vel[0] = vel[1] = 0;
    groundVx = shootCooldown = 0;
    contacts = 0;
    airTime = 1.0f;
  }
  // The test's own records.
  int hits = 0;
  float pushX = 0, pushY = 0;

  const char* className() const override { return "FakeHero"; }
  vec4float getBox() override { return vec4float(pos.x() - 4, pos.y(), pos.x() + 4, pos.y() + 15); }
  void hit(vec4float, int) override {
    hits++;
    health--;
  }
  void addVel(float vx, float vy) override {
    pushX += vx;
    pushY += vy;
  }
  float traceRay(vec4float, vec4float, float, float, float) override { return -1; }
  int scanX(float from, float* to, float y0, float y1) override {
    vec4float b = getBox();
    if (!(y0 < b.w() && y1 > b.y())) return 0;
    if (from <= *to && from < b.z() && *to > b.x()) {
      *to = from > b.x() - 0.01f ? from : b.x() - 0.01f;
      return 0x24;
    }
    if (from > *to && *to < b.z() && from > b.x()) {
      *to = from < b.z() + 0.01f ? from : b.z() + 0.01f;
      return 0x21;
    }
    return 0;
  }
};

enum { HERO_LIST = 0, ENEMY_LIST = 1, BULLET_LIST = 2, BARREL_LIST = 3, BOMB_LIST = 4 };

class ObjectsWorld : public EntlingWorld {
 protected:
  FakeHero* fakeHero = nullptr;
  static constexpr int FLOOR_TOP = 10;  // rows 0 ... 9 are solid

  void SetUp() override {
    EntlingWorld::SetUp();
    clear_level_data();
    for (int x = 0; x < 1000; x++)
      for (int y = 0; y < FLOOR_TOP; y++) level_cell(x, y).collision = LEVEL_COLL_SOLID;
    game_rnd_seed = 12345;
    junk_list.clear();
    hideView();
    log_sound_events = true;
  }
  void TearDown() override {
    log_sound_events = false;
    hero = nullptr;
    fakeHero = nullptr;
    clear_level_data();
    junk_list.clear();
    EntlingWorld::TearDown();
  }
  // The stand-in hero, standing at (x, y), in Hero_list and `hero`.
  FakeHero* placeHero(float x, float y) {
    fakeHero = new FakeHero();
    fakeHero->pos = fakeHero->prevPos = vec4float(x, y, 8, 1);
    object_list(HERO_LIST).push_back(fakeHero);
    hero = reinterpret_cast<Hero*>(static_cast<BaseObject*>(fakeHero));
    return fakeHero;
  }
  // The frame's visible rectangle far away from everything, or around a point.
  void hideView() {
    cur_view_x0 = cur_view_y0 = -100000;
    cur_view_x1 = cur_view_y1 = -99000;
  }
  void showView(int x0, int y0, int x1, int y1) {
    cur_view_x0 = x0;
    cur_view_y0 = y0;
    cur_view_x1 = x1;
    cur_view_y1 = y1;
  }
  EnemyView* addEnemy(int parts, float x, float y) {
    enemy_types[0] = parts;
    num_enemy_types = 1;
    return view<EnemyView>(add_enemy(TYPE_BASE_ENEMY, x, y));
  }
  // The log since the last call (read and removed, so the next call sees only newer lines).
  std::string takeLog() {
    std::string text = logText();
    remove(dataPath("log.txt").c_str());
    return text;
  }
  // How often a text holds "sound event '<name>'".
  static int soundCount(const std::string& text, const std::string& name) {
    std::string line = "sound event '" + name + "'";
    int n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) n++;
    return n;
  }
};
