// Particles: the list, their step and their drawing (see particles.h).
#include "game/particles.h"

DynArray<Junk> junk_list;

void add_junk(vec4float pos, vec4float vel, uint32_t colour, float life, float gravity) {
  Junk j;
  j.pos = pos;
  j.vel = vel;
  j.colour = colour;
  j.life = life;
  j.gravity = gravity;
  junk_list.push_back(j);
}

void init_junk() {}

void update_junk(float dt) {
  for (int i = 0; i < junk_list.size();) {
    Junk& j = junk_list[i];
    j.pos += j.vel * dt;
    j.vel = j.vel - vec4float(0, j.gravity * dt, 0, 0);
    j.life -= dt;
    if (j.life <= 0) {
      j = junk_list[junk_list.size() - 1];
      junk_list.pop_back();
      continue;
    }
    i++;
  }
}

void render_junk(float) {}

void clear_junk() { junk_list.clear(); }

void close_junk() { junk_list.free(); }
