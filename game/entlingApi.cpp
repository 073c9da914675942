// Storage of the actor library's function pointers (see entlingApi.h).
#include "game/entlingApi.h"

Entling* (*add_enemy)(int, float, float) = nullptr;
void (*reset_hero)(float, float) = nullptr;

float (*scan_objects_x)(int*, Entling*, float, float, float, float) = nullptr;
float (*scan_objects_y)(int*, Entling*, float, float, float, float, float*) = nullptr;
vec4float (*collide_box_hero)(Entling*, vec4float, vec4float) = nullptr;
vec4float (*collide_box_enemies)(Entling*, BaseEnemy**, vec4float, vec4float) = nullptr;
vec4float (*collide_box_neutral)(Entling*, vec4float, vec4float) = nullptr;
