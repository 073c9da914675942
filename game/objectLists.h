// The object world's data that the program owns and exports to the actor library: the type ids of
// the class table, the twelve object lists (one per concrete class with a list, exact class only),
// the current hero, the level's enemy types and the sprites the objects draw with.
// Keeping them here, on the shared heap, is what lets every object survive a swap of the library.
#pragma once
#include "engine/cont/dynArray.h"
#include "game/objectSprites.h"  // the sprites the objects draw with

struct BaseObject;
struct Entling;

// Type ids: what typeId() returns and the bit numbers of isA(). The kinds (Updating ... Character,
// Explosive, Bonus) have no class of their own: they are names and bits in the classes' masks.
enum EntlingTypeId {
  TYPE_BASE_OBJECT = 0,
  TYPE_ENTLING = 1,
  TYPE_UPDATING = 2,
  TYPE_SPRITE_RENDERABLE = 3,
  TYPE_LEVEL_GRID_RENDERABLE = 4,
  TYPE_DEBUG_RENDERABLE = 5,
  TYPE_CHARACTER = 6,
  TYPE_HERO = 7,
  TYPE_BASE_ENEMY = 8,
  TYPE_BULLET = 9,
  TYPE_EXPLOSIVE = 10,
  TYPE_EXPL_BARREL = 11,
  TYPE_BOMB = 12,
  TYPE_BONUS = 13,
  TYPE_HEART_BONUS = 14,
  TYPE_UP_BONUS = 15,
  TYPE_BOSS_PART = 16,
  TYPE_BOSS_JOINT = 17,
  TYPE_BOSS_POS_JOINT = 18,
  TYPE_BOSS_SUBPART_BEHAVIOR = 19,
  TYPE_LOCK_SUBPART_BEHAVIOR = 20,
  TYPE_EXIT_FX = 21,
  TYPE_BOSS = 22,
  TYPE_BOSS1 = 23,
  NUM_ENTLING_TYPES,  // one past the last: a new type id goes above this line
};

// The object lists, one per class with a list, in the binder's re-link order: X(class) gives
// <class>_list. Objects stay in their list, destroyed or not, until delete_entling removes them.
#define OBJECT_LISTS(X)  \
  X(Hero)                \
  X(BaseEnemy)           \
  X(Bullet)              \
  X(ExplBarrel)          \
  X(Bomb)                \
  X(HeartBonus)          \
  X(UpBonus)             \
  X(BossPart)            \
  X(BossPosJoint)        \
  X(LockSubpartBehavior) \
  X(ExitFx)              \
  X(Boss1)

#define OBJECT_LIST_DECLARE(cls) \
  struct cls;                    \
  extern DynArray<cls*> cls##_list;
OBJECT_LISTS(OBJECT_LIST_DECLARE)
#undef OBJECT_LIST_DECLARE

#define OBJECT_LIST_COUNT(cls) +1
enum { NUM_OBJECT_LISTS = 0 OBJECT_LISTS(OBJECT_LIST_COUNT) };
#undef OBJECT_LIST_COUNT

// The lists in re-link order as arrays of BaseObject pointers (every listed class derives singly
// from BaseObject, so a list's element is the object's BaseObject address).
DynArray<BaseObject*>& object_list(int i);

// The current hero (also in Hero_list); null between levels.
extern Hero* hero;

// The level's enemy types: part masks chosen by select_level_enemies.
enum { MAX_ENEMY_TYPES = 3 };
extern int enemy_types[MAX_ENEMY_TYPES];
extern int num_enemy_types;
