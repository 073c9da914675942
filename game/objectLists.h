// The object world's data that the program owns and exports to the actor library: the type ids of
// the class table, the twelve object lists (one per concrete class with a list, exact class only),
// the current hero, the level's enemy types and the sprites the objects draw with. Keeping them
// here, on the shared heap, is what lets every object survive a swap of the library.
#pragma once
#include "engine/cont/dynArray.h"

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
struct Sprite;

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
  NUM_ENTLING_TYPES = 24,
};

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

// Sprites of the objects, looked up by the library's loaders (the atlas owns them).
extern Sprite* r_body;
extern Sprite* r_dasher;
extern Sprite* r_drill;
extern Sprite* r_jet;
extern Sprite* r_jumper;
extern Sprite* r_magnet;
extern Sprite* r_side_spikes;
extern Sprite* r_top_spikes;
extern Sprite* r_t_gun;
extern Sprite* r_h_gun;
extern Sprite* r_c_gun0;
extern Sprite* r_c_gun1;
extern Sprite* r_wheels;
extern Sprite* explosive_spr;
extern Sprite* bomb_spr;
extern Sprite* bullet_hero_spr;
extern Sprite* bullet_enemy_spr;
extern Sprite* up_bonus_spr;
extern Sprite* heart_bonus_spr;
extern Sprite* hero_body;
extern Sprite* hero_arm;
extern Sprite* hero_legs0;
extern Sprite* hero_legs2;
extern Sprite* hero_legs4;
extern Sprite* hero_legs6;
extern Sprite* heart_spr;
