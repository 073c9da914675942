// The object world's data that the program owns and exports to the actor library: the twelve
// object lists (one per concrete class with a list, exact class only), the current hero, the level's
// enemy types and the sprites the objects draw with (their type ids are game/entlingTypeIds.h's).
// Keeping them here, on the shared heap, is what lets every object survive a swap of the library.
#pragma once
#include "engine/cont/dynArray.h"
#include "game/entlingTypeIds.h"
#include "game/objectSprites.h"  // the sprites the objects draw with

struct BaseObject;
struct Entling;
struct Hero;
struct BaseEnemy;
struct Bullet;
struct ExplBarrel;
struct Bomb;
struct HeartBonus;
struct UpBonus;
struct BossPart;
struct BossPosJoint;
struct LockSubpartBehavior;
struct ExitFx;
struct Boss1;

// The object lists, in the binder's re-link order. Objects stay in their list, destroyed or not,
// until delete_entling removes them.
extern DynArray<Hero*> Hero_list;
extern DynArray<BaseEnemy*> BaseEnemy_list;
extern DynArray<Bullet*> Bullet_list;
extern DynArray<ExplBarrel*> ExplBarrel_list;
extern DynArray<Bomb*> Bomb_list;
extern DynArray<HeartBonus*> HeartBonus_list;
extern DynArray<UpBonus*> UpBonus_list;
extern DynArray<BossPart*> BossPart_list;
extern DynArray<BossPosJoint*> BossPosJoint_list;
extern DynArray<LockSubpartBehavior*> LockSubpartBehavior_list;
extern DynArray<ExitFx*> ExitFx_list;
extern DynArray<Boss1*> Boss1_list;

enum { NUM_OBJECT_LISTS = 12 };
// The lists in re-link order as arrays of BaseObject pointers (every listed class derives singly
// from BaseObject, so a list's element is the object's BaseObject address).
DynArray<BaseObject*>& object_list(int i);

// The current hero (also in Hero_list); null between levels.
extern Hero* hero;

// The level's enemy types: part masks chosen by select_level_enemies.
enum { MAX_ENEMY_TYPES = 3 };
extern int enemy_types[MAX_ENEMY_TYPES];
extern int num_enemy_types;
