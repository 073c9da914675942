// The object classes' type ids, written once for every user: the actor library's classes (typeId,
// isA and their class tables), the program's object world, and the level generator's spawns, which
// name the object each spawn makes by its id.
#pragma once

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
