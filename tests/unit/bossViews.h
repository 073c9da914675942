// Read-and-write views of the boss's objects for the tests: structs with the same fields, in the same
// order and with the same bases, as the actor library's BossPart, BossPosJoint, LockSubpartBehavior
// and Boss1, so a test can look inside the objects the library made. A test checks their sizes
// against the library's class sizes, so a view that drifts from its class fails loudly.
#pragma once
#include <stdio.h>
#include <string.h>
#include "engine/sysUtils.h"
#include "entlingSupport.h"
#include "game/gen/loadTiles.h"
#include "game/levelGrid.h"

struct PartView : EntlingMirror {
  vec4float pos;
  vec4float prevPos;
  Matrix44 tm;
  Matrix44 invTm;
  float vel[2];
  int32_t contacts;
  float angle, prevAngle;
  LevelGrid* grid;
  void* renderer;
  vec4float pivot;
  vec4float box;
  WeakRef<BaseObject> boss;
  bool pinned;

  LevelCell& cell(int x, int y) { return grid->cells[x + y * grid->width]; }
};

struct JointView : BaseObject {
  WeakRef<PartView> partA;
  WeakRef<PartView> partB;
};
struct PosJointView : JointView {
  vec4float anchorA, anchorB, jitterA, jitterB;
};

struct BehaviorView : BaseObject {
  WeakRef<BaseObject> boss;
  // The behaviours' own operations, in slot order after BaseObject's.
  virtual void update(float) {}
  virtual bool onSubpartDamaged(int, int, int, int, BossSubpart*) { return false; }
  virtual void triggerDestruction() {}
};
struct LockView : BehaviorView {
  int32_t subpartId;
  float delay;
  float impulseX, impulseY;
  float timer;
  int32_t lastTenth;
  bool damagedThisStep;
  bool fired;
};

struct SubpartView {
  PartView* part;
  int x0, y0, x1, y1;
  int id;
};

struct BossView : EntlingMirror {
  DynArray<JointView*> joints;
  DynArray<PartView*> parts;
  DynArray<SubpartView> subparts;
  DynArray<BehaviorView*> behaviors;
  bool asleep;
};

struct Boss1View : BossView {
  WeakRef<PartView> body, leg1, leg2, foot1, foot2, frontGun, support, topGun, launcher;
  WeakRef<PosJointView> knee1, knee2;
  WeakRef<LockView> lock3, coreLock;
  float walkLeft, walkRight;
  bool top1Gone, top2Gone, dead, dyingStarted;
  float shootTimer;
  float walkPhase;
  float bombTimer;
  float walkDir;
};

template <class V>
V* view(BaseObject* o) {
  return static_cast<V*>(static_cast<EntlingMirror*>(o));
}

// The game's own tile set loaded while it lives (the boss builds itself from it), with the program
// folder pointed at it; both restored afterwards.
struct GameTilesLoaded {
  char savedAppPath[sizeof(app_path)];
  GameTilesLoaded() {
    memcpy(savedAppPath, app_path, sizeof(app_path));
    snprintf(app_path, sizeof(app_path), "%s", LEVEL_TILESET_DIR);
    testing::internal::CaptureStdout();
    load_level_tiles();
    testing::internal::GetCapturedStdout();
  }
  ~GameTilesLoaded() {
    close_level_tiles();
    memcpy(app_path, savedAppPath, sizeof(app_path));
  }
  GameTilesLoaded(const GameTilesLoaded&) = delete;
  GameTilesLoaded& operator=(const GameTilesLoaded&) = delete;
};
