// The scripted player's boss fight (see bossFight.h): the guns' next volley, the body's subparts,
// the shots that reach them, the spot to fight from and the look-ahead that picks the buttons.
#include "bossFight.h"
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include "engine/app.h"
#include "game/gameScene.h"
#include "game/gen/bossTiles.h"
#include "game/objectLists.h"
#include "game/soundEvents.h"
#include "route.h"

namespace world_drive {
namespace {

void predict_volley(BossFight& f, const HeroView* h) {
  f.volleyIn = -1;
  if (f.lastVolley < 0 || BossPart_list.size() != 9) return;
  int in = f.lastVolley + 10 - f.updates;
  if (in < 1) return;
  const int index[2] = {5, 7};
  const float offset[2][2] = {{-14, 1}, {-26, 5}}, limit[2] = {30, 50};
  for (int g = 0; g < 2; g++) {
    PartView* gun = reinterpret_cast<PartView*>(static_cast<void*>(BossPart_list[index[g]]));
    if (gun->flags) return;
    float want = atan2f(h->pos.y() + 8 - gun->pos.y(), -(h->pos.x() - gun->pos.x()));
    float lo = -limit[g] * 3.14159265f / 180, hi = -lo;
    want = std::max(lo, std::min(hi, want));
    float turn = 0.025f * float(in), angle = gun->angle + std::max(-turn, std::min(turn, want - gun->angle));
    // The gun's grid turned about its pivot, which sits at the part's position: a grid vector
    // (x, y) points along (x cos a + y sin a, y cos a - x sin a) in the world.
    float c = cosf(angle), sn = sinf(angle), lx = offset[g][0], ly = offset[g][1];
    f.volleyAt[g] = vec4float(gun->pos.x() + lx * c + ly * sn, gun->pos.y() + ly * c - lx * sn, 0, 1);
    f.volleyVel[g] = vec4float(-100 * c, 100 * sn, 0, 0);
  }
  f.volleyIn = in * 4;
}

// The boss's body: the part whose grid holds subpart cells.
PartView* boss_body() {
  if (Boss1_list.empty() || ExitFx_list.size()) return nullptr;
  for (int i = 0; i < BossPart_list.size(); i++) {
    PartView* p = reinterpret_cast<PartView*>(static_cast<void*>(BossPart_list[i]));
    if (p->flags || !p->grid) continue;
    for (int c = 0; c < p->grid->width * p->grid->height; c++)
      if (p->grid->cells[c].collision & 4) return p;
  }
  return nullptr;
}

// Which subpart each cell of the body belongs to: the 4-connected subpart cells of each seed.
void map_regions(BossFight& f) {
  const LevelGrid* g = f.body->grid;
  f.regionW = g->width, f.regionH = g->height;
  f.region.assign(size_t(g->width * g->height), -1);
  for (int s = 0; s < BOSS_BODY_SEEDS; s++) {
    std::vector<int> todo{boss_body_seeds[s][0] + boss_body_seeds[s][1] * g->width};
    while (!todo.empty()) {
      int i = todo.back();
      todo.pop_back();
      if (i < 0 || i >= g->width * g->height || f.region[size_t(i)] >= 0 || !(g->cells[i].collision & 4)) continue;
      f.region[size_t(i)] = int8_t(s);
      int x = i % g->width;
      if (x > 0) todo.push_back(i - 1);
      if (x < g->width - 1) todo.push_back(i + 1);
      todo.push_back(i - g->width);
      todo.push_back(i + g->width);
    }
  }
}

// A shot from `from` towards `to`, a bullet being a square of 4 by 4: the subpart (seed index) its
// middle reaches, or -1 when the square meets armour or the level first, or reaches nothing; *hull
// counts the destructible cells its middle passes first (sampled every half cell, so about twice
// their number): what the shots before it have to chew away.
int shot_meets(const BossFight& f, vec4float from, vec4float to, int* hull) {
  const float HALF = 2;
  float dx = to.x() - from.x(), dy = to.y() - from.y();
  int n = int(sqrtf(dx * dx + dy * dy) * 2) + 4;
  float bx0 = std::min(from.x(), to.x()) - HALF, bx1 = std::max(from.x(), to.x()) + HALF;
  float by0 = std::min(from.y(), to.y()) - HALF, by1 = std::max(from.y(), to.y()) + HALF;
  PartView* near[16];
  int parts = 0;
  for (int i = 0; i < BossPart_list.size() && parts < 16; i++) {
    PartView* p = reinterpret_cast<PartView*>(static_cast<void*>(BossPart_list[i]));
    if (p->flags || !p->grid || p->box.x() > bx1 || p->box.z() < bx0 || p->box.y() > by1 || p->box.w() < by0) continue;
    near[parts++] = p;
  }
  *hull = 0;
  for (int i = 1; i <= n + 2; i++) {
    float t = float(i) / float(n);
    vec4float at(from.x() + dx * t, from.y() + dy * t, 0, 1);
    if (solid_at(int(floorf(at.x())), int(floorf(at.y())))) return -1;
    for (int k = 0; k < parts; k++) {
      PartView* p = near[k];
      if (at.x() < p->box.x() - HALF || at.x() > p->box.z() + HALF || at.y() < p->box.y() - HALF ||
          at.y() > p->box.w() + HALF)
        continue;
      const LevelGrid* g = p->grid;
      vec4float gp = at * p->invTm;
      int cx = int(floorf(gp.x())), cy = int(floorf(gp.y()));
      bool inside = cx >= 0 && cy >= 0 && cx < g->width && cy < g->height;
      int c = inside ? g->cells[cx + cy * g->width].collision : 0;
      if (p == f.body && (c & 4) && cx < f.regionW && cy < f.regionH) {
        int r = f.region[size_t(cx + cy * f.regionW)];
        if (r >= 0 && r != 2) return r;  // the middle plate goes by itself: chewed like hull
      }
      if (c & 1) (*hull)++;
      for (int y = int(floorf(gp.y() - HALF)); y <= int(floorf(gp.y() + HALF)); y++)
        for (int x = int(floorf(gp.x() - HALF)); x <= int(floorf(gp.x() + HALF)); x++) {
          if (x < 0 || y < 0 || x >= g->width || y >= g->height) continue;
          int e = g->cells[x + y * g->width].collision;
          if (e != 0 && !(e & 1)) return -1;  // armour
        }
    }
  }
  return -1;
}

// The best cell to shoot at from a shoulder point: its world point and price (hull met, and more
// for a plate than for the core); false when no shot reaches a subpart. `stride` thins the cells;
// `reach` is how far to the side the pointer may go.
bool best_shot(const BossFight& f, vec4float from, int stride, float reach, vec4float* aim, int* price) {
  const LevelGrid* g = f.body->grid;
  int best = 1 << 30;
  for (int y = stride / 2; y < g->height; y += stride)
    for (int x = stride / 2; x < g->width; x += stride) {
      int r = x < f.regionW && y < f.regionH ? f.region[size_t(x + y * f.regionW)] : -1;
      if (r < 0 || r == 2 || !(g->cells[x + y * g->width].collision & 4)) continue;
      vec4float to = vec4float(float(x) + 0.5f, float(y) + 0.5f, 0, 1) * f.body->tm;
      if (fabsf(to.x() - from.x()) > reach || fabsf(to.y() - from.y()) > 80) continue;
      int hull = 0;
      int met = shot_meets(f, from, to, &hull);
      if (met < 0) continue;
      int p = hull + (met == 3 ? 0 : 40);
      if (p < best) best = p, *aim = to;
    }
  *price = best;
  return best < (1 << 30);
}

// The floor's free stretch around the hero: the level's walls and the boss's parts (their boxes,
// up to a jump's height) bound it.
void fight_bounds(const BossFight& f, float x, float* x0, float* x1) {
  int fy = int(floorf(f.floorY));
  auto blocked = [&](int cx) {
    for (int cy = fy; cy < fy + 15; cy++)
      if (solid_at(cx, cy)) return true;
    return false;
  };
  int a = int(floorf(x)), b = a;
  while (a > int(x) - 400 && !blocked(a - 1)) a--;
  while (b < int(x) + 400 && !blocked(b + 1)) b++;
  float hi = float(b + 1);
  for (int i = 0; i < BossPart_list.size(); i++) {
    PartView* p = reinterpret_cast<PartView*>(static_cast<void*>(BossPart_list[i]));
    if (p->flags || !p->grid || p->box.y() > f.floorY + 15 + 40 || p->box.w() < f.floorY) continue;
    if (p->box.x() > x) hi = std::min(hi, p->box.x());
  }
  *x0 = float(a) + 4.5f;
  *x1 = hi - 4.5f;
}

// The spot to fight from: on the floor in front of the boss where a shot reaches a subpart
// standing (or from a jump's top), the cheaper the shot and the nearer the hero the better.
void choose_spot(BossFight& f, float hx, float x0, float x1) {
  float best = 1e30f;
  f.spotX = hx, f.spotApex = false;
  for (float x = x1; x >= std::max(x0, x1 - 260); x -= 8) {
    for (int apex = 0; apex < 2; apex++) {
      vec4float aim;
      int price = 0;
      if (!best_shot(f, vec4float(x, f.floorY + 8 + (apex ? 36.f : 0.f), 0, 1), 4, FIGHT_REACH - 25, &aim, &price))
        continue;
      float score = float(price) + (apex ? 25.f : 0.f) + 0.05f * fabsf(x - hx);
      if (score < best) best = score, f.spotX = x, f.spotApex = apex != 0;
    }
  }
  f.spotAge = 0;
}

// How often the hero is hit within the look-ahead if it holds these buttons, jumping at sub-step
// `jump_at` (or as soon as it can after it; never when negative), and where it ends.
int fight_hits(const BossFight& f, const HeroView* h, float x0, float x1, int move, int jump_at, float* end_x) {
  // The hero's own velocity changes, moved on the fight's flat floor between x0 and x1.
  HeroMotion m{h->pos, h->vel[0], h->vel[1], h->airTime};
  const float dt = HeroMotion::DT;
  float x = h->pos.x(), y = h->pos.y(), &vx = m.vx, &vy = m.vy, &air = m.air;
  float path_x[FIGHT_LOOKAHEAD + 1], path_y[FIGHT_LOOKAHEAD + 1];
  path_x[0] = x, path_y[0] = y;
  int hits = 0;
  for (int i = 1; i <= FIGHT_LOOKAHEAD; i++) {
    float t = float(i) * dt;
    bool jump = jump_at >= 0 && i > jump_at && air <= HERO_GRACE_TIME;
    if (jump) jump_at = -1;  // one jump only
    m.speedUp(move, jump);
    x = std::max(x0, std::min(x1, x + vx * dt));
    y += vy * dt;
    if (y <= f.floorY) y = f.floorY, vy = 0, air = 0;
    else air += dt;
    path_x[i] = x, path_y[i] = y;
    if (h->invulTime > t + 0.1f) continue;
    // A bullet meets the hero's box swept on by the hero's velocity over an update (the hero's
    // ray test moves the box along while the bullet moves), widened by the bullet's half size.
    float sx = vx * 0.05f, sy = vy * 0.05f;
    float hx0 = x - 6 + std::min(0.f, sx), hx1 = x + 6 + std::max(0.f, sx);
    float hy0 = y - 2 + std::min(0.f, sy), hy1 = y + 17 + std::max(0.f, sy);
    for (int k = 0; k < Bullet_list.size(); k++) {
      const BulletView* b = reinterpret_cast<const BulletView*>(static_cast<void*>(Bullet_list[k]));
      if (b->flags || !(b->bulletFlags & 2)) continue;
      float bx = b->pos.x() + b->vel.x() * t, by = b->pos.y() + b->vel.y() * t;
      if (bx > hx0 && bx < hx1 && by > hy0 && by < hy1) hits++;
    }
    if (f.volleyIn >= 0 && i > f.volleyIn)
      for (int g = 0; g < 2; g++) {  // the guns aim to within 10 degrees: a wider margin
        float tb = float(i - f.volleyIn) * dt;
        float bx = f.volleyAt[g].x() + f.volleyVel[g].x() * tb, by = f.volleyAt[g].y() + f.volleyVel[g].y() * tb;
        if (bx > hx0 - 1 && bx < hx1 + 1 && by > hy0 - 2 && by < hy1 + 2) hits++;
      }
  }
  // Bombs: each goes off at the end of its fuse, or 0.2 s after the hero first comes within 15 of
  // it; the blast reaches about 20 from its middle.
  for (int k = 0; k < Bomb_list.size(); k++) {
    const ExplosiveView* b = reinterpret_cast<const ExplosiveView*>(static_cast<void*>(Bomb_list[k]));
    if (b->flags) continue;
    float bx = b->pos.x(), by = b->pos.y() + 4, fuse = b->fuse;
    for (int i = 0; i <= FIGHT_LOOKAHEAD; i++) {
      float t = float(i) * HeroMotion::DT, ddx = path_x[i] - bx, ddy = path_y[i] + 4 - by;
      if (ddx * ddx + ddy * ddy < 15 * 15 && t + 0.2f < fuse) fuse = t + 0.2f;
    }
    if (fuse > float(FIGHT_LOOKAHEAD) * HeroMotion::DT) continue;
    int i = std::max(0, std::min(FIGHT_LOOKAHEAD, int(fuse / HeroMotion::DT)));
    float ddx = path_x[i] - bx, ddy = path_y[i] + 7 - by;
    if (h->invulTime <= fuse + 0.1f && ddx * ddx + ddy * ddy < 24 * 24) hits++;
  }
  *end_x = x;
  return hits;
}

}  // namespace

// One update of the fight: the buttons and the aim. False when there is no boss to fight here (none
// alive, or the hero is not on its floor near it).
bool fight_boss(BossFight& f, const HeroView* h, bool b[4]) {
  PartView* body = boss_body();
  if (!body) return false;
  float hx = h->pos.x(), hy = h->pos.y(), feet = 1e30f;
  for (int i = 0; i < BossPart_list.size(); i++) {
    PartView* p = reinterpret_cast<PartView*>(static_cast<void*>(BossPart_list[i]));
    if (!p->flags && p->grid) feet = std::min(feet, p->box.y());
  }
  if (fabsf(hx - body->pos.x()) > 330 || hy < feet - 12 || hy > feet + 70) return false;
  if (f.body != body) {
    f.body = body;
    f.floorY = hy;
    map_regions(f);
    f.spotAge = 1 << 20;
  }
  if (h->airTime < 0.05f) f.floorY = hy;
  f.updates++;
  for (int id : drive.stepSounds)
    if (sound_event_name[id] && !strcmp(sound_event_name[id], "boss1_shoot")) f.lastVolley = f.updates - 1;
  predict_volley(f, h);
  float x0 = 0, x1 = 0;
  fight_bounds(f, hx, &x0, &x1);
  if (++f.spotAge > 10) choose_spot(f, hx, x0, x1);

  // The shot: the best cell from the shoulder, led by the body's motion over the bullet's flight.
  vec4float shoulder(hx, hy + 8, 0, 1), aim;
  int price = 0;
  bool shot = best_shot(f, shoulder, 2, FIGHT_REACH, &aim, &price);
  // Without one it fires at the core all the same: the shots chew away what is in the way.
  if (!shot) aim = vec4float(float(boss_body_seeds[3][0]) + 0.5f, float(boss_body_seeds[3][1]) + 0.5f, 0, 1) * body->tm;
  float fly = sqrtf((aim.x() - hx) * (aim.x() - hx) + (aim.y() - hy - 8) * (aim.y() - hy - 8)) / 200;
  drive.aimSet = true;
  drive.aimRelative = false;
  drive.aimX = aim.x() + (body->pos.x() - body->prevPos.x()) * 20 * fly;
  drive.aimY = aim.y() + (body->pos.y() - body->prevPos.y()) * 20 * fly;

  // The buttons: not hit, then near the spot; at a spot for shots from a jump's top, jumping. A
  // jump may wait up to 0.3 s (a bullet low in its flight is better jumped late), but only a jump
  // now presses the button (it goes down on an update after one it was up); a jump planned for later
  // is kept unless something better turns up, so that it is not put off for ever.
  bool can_jump = h->airTime <= HERO_GRACE_TIME && !drive.held[2];
  const int JUMP_AT[] = {-1, 0, 4, 8, 12, 16, 24};
  int planned = f.jumpIn >= 0 ? std::max(0, f.jumpIn - 4) : -2;
  float best = 1e30f;
  int best_move = 0, best_j = -1;
  for (int j : JUMP_AT) {
    if (j == 0 && !can_jump) continue;
    for (int move = -1; move <= 1; move++) {
      float end_x = hx;
      int hits = fight_hits(f, h, x0, x1, move, j, &end_x);
      float score = float(hits) * 1000 + fabsf(end_x - f.spotX) + float(abs(move));
      if (j >= 0) score += f.spotApex && fabsf(hx - f.spotX) < 8 ? -10.f : 4.f + float(j) * 0.1f;
      if (j == planned) score -= 3;
      if (score < best) best = score, best_move = move, best_j = j;
    }
  }
  bool best_jump = best_j == 0;
  f.jumpIn = best_j > 0 ? best_j : -1;
  b[0] = best_move < 0;
  b[1] = best_move > 0;
  b[2] = best_jump;
  b[3] = true;
  if (drive.trace)
    fprintf(out, "fight: spot %.0f%s, %s%s, shot %s at (%.1f, %.1f) (price %d), body at (%.1f, %.1f)\n", f.spotX,
            f.spotApex ? " (jump)" : "",
            best_move < 0   ? "left"
            : best_move > 0 ? "right"
                            : "stand",
            best_jump ? " and jump" : "", shot ? "clear" : "blocked", drive.aimX, drive.aimY, shot ? price : -1,
            body->pos.x(), body->pos.y());
  return true;
}

}  // namespace world_drive
