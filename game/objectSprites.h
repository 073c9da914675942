// The objects' sprites, each written here once: the global the objects draw with, the family whose
// loader looks it up, and its name under sprites/ (drawn by tools/art_gen/spriteGen.cpp, whose
// table the build reads for its outputs). The program defines the globals (objectLists.cpp), so
// they outlive a swap of the library; the library's loaders fill them (load_object_sprites), and a
// unit test loads every name from the generated sprites, so a sprite missing from the art or from
// this list fails there rather than as a null pointer in play.
#pragma once
#include "engine/loadSprite.h"

// X(family, global, name), in each family's loading order.
#define OBJECT_SPRITES(X)                      \
  X(HERO, hero_body, "hero_body")              \
  X(HERO, hero_arm, "hero_arm")                \
  X(HERO, hero_legs0, "hero_legs0")            \
  X(HERO, hero_legs2, "hero_legs2")            \
  X(HERO, hero_legs4, "hero_legs4")            \
  X(HERO, hero_legs6, "hero_legs6")            \
  X(HERO, heart_spr, "heart")                  \
  X(ENEMY, r_body, "parts/body")               \
  X(ENEMY, r_dasher, "parts/dasher")           \
  X(ENEMY, r_drill, "parts/drill")             \
  X(ENEMY, r_jet, "parts/jet")                 \
  X(ENEMY, r_jumper, "parts/jumper")           \
  X(ENEMY, r_magnet, "parts/magnet")           \
  X(ENEMY, r_side_spikes, "parts/side_spikes") \
  X(ENEMY, r_top_spikes, "parts/top_spikes")   \
  X(ENEMY, r_t_gun, "parts/gun")               \
  X(ENEMY, r_h_gun, "parts/h_gun")             \
  X(ENEMY, r_c_gun0, "parts/c_gun0")           \
  X(ENEMY, r_c_gun1, "parts/c_gun1")           \
  X(ENEMY, r_wheels, "parts/wheels")           \
  X(ENEMY, explosive_spr, "barrel")            \
  X(ENEMY, bomb_spr, "bomb")                   \
  X(BULLET, bullet_hero_spr, "bullet_hero")    \
  X(BULLET, bullet_enemy_spr, "bullet_enemy")  \
  X(BONUS, up_bonus_spr, "up_point")           \
  X(BONUS, heart_bonus_spr, "heart_bonus")

// The families, each loaded by its module's init (the hero's, the enemies' with the barrels and
// bombs, the bullets', the bonuses').
enum ObjectSpriteFamily {
  OBJECT_SPRITES_HERO,
  OBJECT_SPRITES_ENEMY,
  OBJECT_SPRITES_BULLET,
  OBJECT_SPRITES_BONUS,
};

#define OBJECT_SPRITE_DECLARE(family, global, name) extern Sprite* global;
OBJECT_SPRITES(OBJECT_SPRITE_DECLARE)
#undef OBJECT_SPRITE_DECLARE

// Looks up every sprite of the family by its name (a missing one is fatal, naming it); true when
// every one was found.
inline bool load_object_sprites(ObjectSpriteFamily family) {
  bool all = true;
#define OBJECT_SPRITE_LOAD(f, global, name) \
  if (family == OBJECT_SPRITES_##f) {       \
    global = get_sprite(name, true);        \
    all = all && global;                    \
  }
  OBJECT_SPRITES(OBJECT_SPRITE_LOAD)
#undef OBJECT_SPRITE_LOAD
  return all;
}
