// The program's function pointers into the actor library, one per by-name function and named like
// it. Binding the library fills them; they are null while no library is bound. Only the pointers
// that the program's own code calls are declared so far; tests install recording functions here.
#pragma once
#include "engine/misc/vecMath.h"

struct Entling;
struct BaseEnemy;

// Level generator: object placement and the hero's start.
extern Entling* (*add_enemy)(int type_id, float x, float y);
extern void (*reset_hero)(float x, float y);

// Collision: the objects in the way of a moving box.
extern float (*scan_objects_x)(int* flags, Entling* exclude, float from, float to, float y0, float y1);
extern float (*scan_objects_y)(int* flags, Entling* exclude, float x0, float x1, float from, float to, float* carry);
extern vec4float (*collide_box_hero)(Entling* exclude, vec4float box_min, vec4float box_max);
extern vec4float (*collide_box_enemies)(Entling* exclude, BaseEnemy** hit, vec4float box_min, vec4float box_max);
extern vec4float (*collide_box_neutral)(Entling* exclude, vec4float box_min, vec4float box_max);
