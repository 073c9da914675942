// Storage of the object world's program data (see objectLists.h).
#include "game/objectLists.h"

DynArray<Hero*> Hero_list;
DynArray<BaseEnemy*> BaseEnemy_list;
DynArray<Bullet*> Bullet_list;
DynArray<ExplBarrel*> ExplBarrel_list;
DynArray<Bomb*> Bomb_list;
DynArray<HeartBonus*> HeartBonus_list;
DynArray<UpBonus*> UpBonus_list;
DynArray<BossPart*> BossPart_list;
DynArray<BossPosJoint*> BossPosJoint_list;
DynArray<LockSubpartBehavior*> LockSubpartBehavior_list;
DynArray<ExitFx*> ExitFx_list;
DynArray<Boss1*> Boss1_list;

DynArray<BaseObject*>& object_list(int i) {
  // Every DynArray of pointers has the same layout whatever the pointee, and the classes' BaseObject
  // part is at offset 0, so each list can be walked as a list of BaseObject pointers.
  static void* const lists[NUM_OBJECT_LISTS] = {
      &Hero_list,    &BaseEnemy_list, &Bullet_list,       &ExplBarrel_list,          &Bomb_list,   &HeartBonus_list,
      &UpBonus_list, &BossPart_list,  &BossPosJoint_list, &LockSubpartBehavior_list, &ExitFx_list, &Boss1_list,
  };
  return *static_cast<DynArray<BaseObject*>*>(lists[i]);
}

Hero* hero;

int enemy_types[MAX_ENEMY_TYPES];
int num_enemy_types;

#define OBJECT_SPRITE_DEFINE(family, global, name) Sprite* global;
OBJECT_SPRITES(OBJECT_SPRITE_DEFINE)
#undef OBJECT_SPRITE_DEFINE
