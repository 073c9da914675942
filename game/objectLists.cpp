// Storage of the object world's program data (see objectLists.h).
#include "game/objectLists.h"

#define OBJECT_LIST_DEFINE(cls) DynArray<cls*> cls##_list;
OBJECT_LISTS(OBJECT_LIST_DEFINE)
#undef OBJECT_LIST_DEFINE

DynArray<BaseObject*>& object_list(int i) {
  // Every DynArray of pointers has the same layout whatever the pointee, and the classes' BaseObject
  // part is at offset 0, so each list can be walked as a list of BaseObject pointers.
#define OBJECT_LIST_ADDRESS(cls) &cls##_list,
  static void* const lists[NUM_OBJECT_LISTS] = {OBJECT_LISTS(OBJECT_LIST_ADDRESS)};
#undef OBJECT_LIST_ADDRESS
  return *static_cast<DynArray<BaseObject*>*>(lists[i]);
}

Hero* hero;

int enemy_types[MAX_ENEMY_TYPES];
int num_enemy_types;

#define OBJECT_SPRITE_DEFINE(family, global, name) Sprite* global;
OBJECT_SPRITES(OBJECT_SPRITE_DEFINE)
#undef OBJECT_SPRITE_DEFINE
