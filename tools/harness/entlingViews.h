// Views of the actor library's objects for the tests, the test drive, the tools and the benchmarks:
// EntlingView, a class with Entling's virtual layout (from the list the library compiles), so any
// operation of a library object can be called through the object's own table (and a test can put
// objects of its own into the world's lists); and structs with the fields of the library's classes,
// in the library's order and with the same bases, so a program outside the library reads and sets
// an object's state. Each view is written here only; check_entling_views() compares every view's
// size with the library's class-size table, and every user calls it when it loads the library, so
// a class whose fields changed fails at once, naming the view to update.
#pragma once
#include <stdint.h>
#include <string>
#include "engine/misc/vecMath.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/levelGrid.h"
#include "game/objectLists.h"

struct BossSubpart;
struct BossSubpartBehavior;
struct LevelRenderer;

template <class T>
T entling_view_default() {
  return T();
}

// Not in an anonymous namespace, so the compiler cannot see every class that derives from it and
// calls on a library object go through the object's table.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
struct EntlingView : BaseObject {
#define ENTLING_VIRTUAL(ret, name, params) \
  virtual ret name params { return entling_view_default<ret>(); }
#include "entling/gen/virtuals.kst"
#undef ENTLING_VIRTUAL
};
#pragma GCC diagnostic pop

// ---- the objects

struct HeroView : EntlingView {
  vec4float target, aimDir, prevAimDir, gunOffset;
  float legPhase, invulTime, exitTime;
  bool hurt;
  int32_t health;
  bool faceRight;
  vec4float pos, prevPos;
  Matrix44 tm;
  float vel[2];
  float groundVx, shootCooldown;
  int32_t contacts;
  float airTime;
};

// BaseEnemy's fields.
struct EnemyView : EntlingView {
  bool asleep;
  int32_t health;
  bool faceRight;
  float halfWidth, height;
  int32_t parts;
  float gunAngle, prevGunAngle, chargeTime;
  int32_t shotsLeft;
  float flyDirX, flyDirY;
  float actionTimer, hopMove;
  vec4float tether, prevTether, anchor, pos, prevPos;
  Matrix44 tm;
  float vel[2];
  float groundVx, shootCooldown;
  int32_t contacts;
  float airTime;
};

// The fields of an explosive: a barrel's or a bomb's (neither adds any).
struct ExplosiveView : EntlingView {
  float fuse;
  vec4float pos, prevPos;
  Matrix44 tm;
  float vel[2];
  float groundVx, shootCooldown;
  int32_t health;
  int32_t contacts;
  float airTime;
  bool faceRight;
};

struct BulletView : EntlingView {
  vec4float pos, prevPos, vel;
  int32_t bulletFlags;
  WeakRef<BaseObject> owner;
};

// The fields of a bonus: a heart's or an upgrade's (neither adds any).
struct BonusView : EntlingView {
  vec4float pos;
  float phase;
  bool taken;
};

struct ExitFxView : EntlingView {
  vec4float pos;
  float strength;
};

// ---- the boss

struct PartView : EntlingView {
  vec4float pos, prevPos;
  Matrix44 tm, invTm;
  float vel[2];
  int32_t contacts;
  float angle, prevAngle;
  LevelGrid* grid;
  LevelRenderer* renderer;
  vec4float pivot, box;
  WeakRef<BaseObject> boss;
  bool pinned;

  LevelCell& cell(int x, int y) { return grid->cells[x + y * grid->width]; }
};

struct JointView : BaseObject {
  WeakRef<PartView> partA, partB;
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

struct BossView : EntlingView {
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

// ---- reaching the objects

// An object of the library's lists (or `hero`) through a view.
template <class V>
V* view(BaseObject* o) {
  return static_cast<V*>(static_cast<EntlingView*>(o));
}
template <class V>
V* view(Entling* e) {
  return view<V>(reinterpret_cast<BaseObject*>(e));
}
template <class V>
V* view(Hero* h) {
  return view<V>(reinterpret_cast<BaseObject*>(h));
}

// ---- the check

// Every view's size against the library's class-size table (`get_entling_class_sizes`): empty when
// all match, otherwise one line per view that differs ("HeroView: 200 bytes, the library's Hero
// 216").
inline std::string check_entling_views(const int* sizes, int count) {
  struct Row {
    int type;
    const char* view;
    const char* library_class;
    int size;
  };
  static const Row rows[] = {
      {TYPE_ENTLING, "EntlingView", "Entling", int(sizeof(EntlingView))},
      {TYPE_HERO, "HeroView", "Hero", int(sizeof(HeroView))},
      {TYPE_BASE_ENEMY, "EnemyView", "BaseEnemy", int(sizeof(EnemyView))},
      {TYPE_BULLET, "BulletView", "Bullet", int(sizeof(BulletView))},
      {TYPE_EXPL_BARREL, "ExplosiveView", "ExplBarrel", int(sizeof(ExplosiveView))},
      {TYPE_BOMB, "ExplosiveView", "Bomb", int(sizeof(ExplosiveView))},
      {TYPE_HEART_BONUS, "BonusView", "HeartBonus", int(sizeof(BonusView))},
      {TYPE_UP_BONUS, "BonusView", "UpBonus", int(sizeof(BonusView))},
      {TYPE_EXIT_FX, "ExitFxView", "ExitFx", int(sizeof(ExitFxView))},
      {TYPE_BOSS_PART, "PartView", "BossPart", int(sizeof(PartView))},
      {TYPE_BOSS_POS_JOINT, "PosJointView", "BossPosJoint", int(sizeof(PosJointView))},
      {TYPE_LOCK_SUBPART_BEHAVIOR, "LockView", "LockSubpartBehavior", int(sizeof(LockView))},
      {TYPE_BOSS1, "Boss1View", "Boss1", int(sizeof(Boss1View))},
  };
  if (!sizes) return "the library has no class-size table\n";
  std::string wrong;
  for (const Row& row : rows) {
    int library = row.type < count ? sizes[row.type] : -1;
    if (library == row.size) continue;
    wrong += std::string(row.view) + ": " + std::to_string(row.size) + " bytes, the library's " + row.library_class +
             " " + std::to_string(library) + "\n";
  }
  return wrong;
}
