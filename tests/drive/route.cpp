// The scripted player's route planning (see route.h).
#include "route.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include "engine/app.h"
#include "game/gameScene.h"
#include "game/objectLists.h"
#include "game/sceneView.h"

namespace world_drive {

// A dead boss's remains lie where they fell, in the way like walls: what the parts' cells hold at
// the middle of a level cell, 0 nothing, 1 hull (shot away like destructible cells), 2 armour. The
// parts of a living boss are the fight's business, not the route's.
int wreck_cell(int x, int y) {
  if (ExitFx_list.empty() || Boss1_list.empty()) return 0;
  vec4float at(float(x) + 0.5f, float(y) + 0.5f, 0, 1);
  int kind = 0;
  for (int i = 0; i < BossPart_list.size() && kind < 2; i++) {
    PartView* p = reinterpret_cast<PartView*>(static_cast<void*>(BossPart_list[i]));
    if (p->flags || !p->grid || at.x() < p->box.x() || at.x() > p->box.z() || at.y() < p->box.y() ||
        at.y() > p->box.w())
      continue;
    vec4float g = at * p->invTm;
    int cx = int(floorf(g.x())), cy = int(floorf(g.y()));
    if (cx < 0 || cy < 0 || cx >= p->grid->width || cy >= p->grid->height) continue;
    int c = p->grid->cells[cx + cy * p->grid->width].collision;
    if (c) kind = std::max(kind, (c & 1) ? 1 : 2);
  }
  return kind;
}

bool solid_at(int x, int y) {
  return x >= 0 && y >= 0 && x < LEVEL_WIDTH && y < LEVEL_HEIGHT &&
         (level_cell(x, y).collision != 0 || wreck_cell(x, y) != 0);
}

// No solid cell on the straight line between two points (sampled every half cell).
bool line_clear(float x0, float y0, float x1, float y1) {
  float dx = x1 - x0, dy = y1 - y0;
  int n = int(sqrtf(dx * dx + dy * dy) * 2) + 1;
  for (int i = 1; i < n; i++) {
    float t = float(i) / float(n);
    if (solid_at(int(floorf(x0 + dx * t)), int(floorf(y0 + dy * t)))) return false;
  }
  return true;
}

const ExplosiveView* barrel(int i) {
  return reinterpret_cast<const ExplosiveView*>(static_cast<void*>(ExplBarrel_list[i]));
}

// A barrel still there whose position lies within `reach` of (x, y) on both axes, or null.
const ExplosiveView* barrel_near(float x, float y, float reach) {
  for (int i = 0; i < ExplBarrel_list.size(); i++)
    if (!barrel(i)->flags && fabsf(barrel(i)->pos.x() - x) < reach && fabsf(barrel(i)->pos.y() - y) < reach)
      return barrel(i);
  return nullptr;
}

// A barrel whose blast would reach the hero (its middle within 44 of the shoulder) lies near the
// line of a shot: the shot may set it off.
bool barrel_near_shot(float sx, float sy, float tx, float ty) {
  for (int i = 0; i < ExplBarrel_list.size(); i++) {
    const ExplosiveView* b = barrel(i);
    if (b->flags) continue;
    float cx = b->pos.x(), cy = b->pos.y() + 5;
    if ((cx - sx) * (cx - sx) + (cy - sy) * (cy - sy) > 44 * 44) continue;
    float dx = tx - sx, dy = ty - sy, len2 = std::max(1e-6f, dx * dx + dy * dy);
    float u = std::max(0.f, std::min(1.f, ((cx - sx) * dx + (cy - sy) * dy) / len2));
    float ex = sx + dx * u - cx, ey = sy + dy * u - cy;
    if (ex * ex + ey * ey < 10 * 10) return true;
  }
  return false;
}

// The nearest enemy on screen (drawn, so awake) that a shot from the shoulder can reach without
// passing a barrel close to the hero.
bool nearest_enemy(vec4float from, vec4float* at) {
  float best = 1e30f;
  float sx = from.x(), sy = from.y() + 8;
  for (int i = 0; i < BaseEnemy_list.size(); i++) {
    EntlingView* e = entling_view(BaseEnemy_list[i]);
    if (e->flags) continue;
    vec4float b = e->getBox();
    float cx = (b.x() + b.z()) / 2, cy = (b.y() + b.w()) / 2;
    if (cx < float(cur_view_x0) + 16 || cx > float(cur_view_x1) - 16 || cy < float(cur_view_y0) + 16 ||
        cy > float(cur_view_y1) - 16)
      continue;
    float d = fabsf(cx - sx) + fabsf(cy - sy);
    if (d < best && line_clear(sx, sy, cx, cy) && !barrel_near_shot(sx, sy, cx, cy)) {
      best = d;
      *at = vec4float(cx, cy, 0, 1);
    }
  }
  return best < 1e30f;
}

int room_of(float x, float y) {
  int rx = int(floorf(x)) / ROOM_W, ry = int(floorf(y)) / ROOM_H;
  if (x < 0 || y < 0 || rx >= ROOM_MAP_WIDTH || ry >= ROOM_MAP_HEIGHT) return -1;
  return ry * ROOM_MAP_WIDTH + rx;
}

// The rooms from `from` to `to` (both included) through exits open on both sides; empty if none.
std::vector<int> room_route(int from, int to) {
  const int N = ROOM_MAP_WIDTH * ROOM_MAP_HEIGHT;
  std::vector<int> prev(N, -2);
  std::vector<int> queue{from};
  prev[from] = -1;
  const int dx[4] = {-1, 1, 0, 0}, dy[4] = {0, 0, 1, -1};
  const int bit[4] = {ROOM_EXIT_LEFT, ROOM_EXIT_RIGHT, ROOM_EXIT_UP, ROOM_EXIT_DOWN};
  const int back[4] = {ROOM_EXIT_RIGHT, ROOM_EXIT_LEFT, ROOM_EXIT_DOWN, ROOM_EXIT_UP};
  for (size_t q = 0; q < queue.size() && prev[to] == -2; q++) {
    int r = queue[q], x = r % ROOM_MAP_WIDTH, y = r / ROOM_MAP_WIDTH;
    for (int d = 0; d < 4; d++) {
      int nx = x + dx[d], ny = y + dy[d];
      if (nx < 0 || ny < 0 || nx >= ROOM_MAP_WIDTH || ny >= ROOM_MAP_HEIGHT) continue;
      int n = ny * ROOM_MAP_WIDTH + nx;
      if (prev[n] != -2 || !(room_cell_map[y][x] & bit[d]) || !(room_cell_map[ny][nx] & back[d])) continue;
      prev[n] = r;
      queue.push_back(n);
    }
  }
  std::vector<int> route;
  if (prev[to] == -2) return route;
  for (int r = to; r != -1; r = prev[r]) route.push_back(r);
  std::reverse(route.begin(), route.end());
  return route;
}

// The cells of the hero's box standing at (x, s): it stands a hair above the floor, so its 15
// cells of height reach into a 16th row.
Rect hero_box(int x, int s) { return Rect{x - 4, s, x + 3, s + 15}; }

// Horizontal reach of a jump that rises `rise` above its start to pass over and lands `land`
// above it (negative below), at the running speed.
float jump_reach(int rise, int land) {
  const float v0 = HERO_JUMP_SPEED, g = HERO_AIR_PULL;
  float a = v0 * v0 - 2 * g * float(rise), b = v0 * v0 - 2 * g * float(land);
  if (a < 0 || b < 0) return 0;
  float t_up = (v0 - sqrtf(a)) / g, t_land = (v0 + sqrtf(b)) / g;
  return HERO_RUN_SPEED * (t_land - t_up) - 10;
}

// Which way the player holds in the air (and on the ground while a move is under way): toward
// `air_x` until within 2 cells of it, but not sideways while still rising below `min_y`.
int air_steer(float x, float y, float vy, bool on_ground, float air_x, float min_y) {
  float dx = air_x - x;
  if (fabsf(dx) <= 2) return 0;
  if (!on_ground && y < min_y && vy > 0) return 0;
  return dx > 0 ? 1 : -1;
}

// A jump played through sub-step by sub-step as the hero's update moves it, steered by air_steer
// as the player will steer it: where it lands, if it does.
bool sim_jump(float x0, float y0, float vx0, float aim_x, float min_y, float* lx, float* ly) {
  HeroMotion m{vec4float(x0, y0, 0, 1), vx0};
  vec4float& pos = m.pos;
  for (int update = 0; update < 60; update++) {
    int move = air_steer(pos.x(), pos.y(), m.vy, update == 0, aim_x, min_y);
    for (int k = 0; k < 4; k++) {
      int flags = m.step(move, update == 0);
      if (flags & HIT_GROUND) {
        if (update > 0 || k > 0) {
          // A landing on no more than a corner is luck: the hero, a hair off the planned spot,
          // misses it.
          bool firm = false;
          for (int cx = int(floorf(pos.x() - 3.5f)); cx <= int(floorf(pos.x() + 3.5f)) && !firm; cx++)
            firm = solid_at(cx, int(floorf(pos.y() - 0.5f)));
          if (!firm) return false;
          *lx = pos.x(), *ly = pos.y();
          return true;
        }
      }
      if (pos.y() < -16) return false;
    }
  }
  return false;
}

// A jump, by its take-off and landing spots (for the jumps the player gave up on).
uint64_t jump_key(int x0, int s0, int x1, int s1) {
  return uint64_t(uint16_t(x0)) | uint64_t(uint16_t(s0)) << 16 | uint64_t(uint16_t(x1)) << 32 |
         uint64_t(uint16_t(s1)) << 48;
}

Plan plan_route(const CellSums& cs, float hx, float hy, int ux0, int uy0, int ux1, int uy1, int next, bool dig,
                const std::vector<uint64_t>& banned, FlightCache& flights, const vec4float* bonus, int max_cost) {
  Plan plan;
  std::vector<Spot> spots;
  std::vector<std::vector<int>> column;  // spot indices by lattice column
  int c0 = (ux0 + 3) / 4, c1 = ux1 / 4;
  column.resize(size_t(c1 - c0 + 1));
  auto supported = [&](int x, int s) { return cs.solid(x - 4, s - 1, x + 3, s - 1) > 0; };
  for (int c = c0; c <= c1; c++) {
    int x = c * 4;
    for (int s = std::max(uy0, 0); s <= uy1; s++) {
      if (!supported(x, s)) continue;
      Rect b = hero_box(x, s);
      if (cs.solid(b.x0, b.y0, b.x1, b.y1) == 0) {
        column[size_t(c - c0)].push_back(int(spots.size()));
        spots.push_back(Spot{x, s, false});
      } else if (dig && s % 8 == 0 && cs.hard_cells(b.x0, b.y0, b.x1, b.y1) == 0) {
        column[size_t(c - c0)].push_back(int(spots.size()));
        spots.push_back(Spot{x, s, true});
      }
    }
  }
  auto find_spot = [&](int x, int s) -> int {
    int c = x / 4;
    if (x % 4 || c < c0 || c > c1) return -1;
    for (int i : column[size_t(c - c0)])
      if (spots[size_t(i)].s == s) return i;
    return -1;
  };
  // The start: the clear spot nearest the hero's feet.
  int start = -1;
  float best = 1e9f;
  for (int c = int(floorf(hx / 4)) - 1; c <= int(floorf(hx / 4)) + 2; c++) {
    if (c < c0 || c > c1) continue;
    for (int i : column[size_t(c - c0)]) {
      const Spot& p = spots[size_t(i)];
      float d = fabsf(float(p.x) - hx) + fabsf(float(p.s) - hy);
      // (The hero may stand on an object, a barrel or an enemy, above the spot.)
      if (!p.dig && float(p.s) <= hy + 4 && float(p.s) >= hy - 16 && d < best) best = d, start = i;
    }
  }
  if (start < 0) return plan;
  auto is_goal = [&](const Spot& p) {
    if (bonus)  // the hero's box takes the bonus's (12 x 12 from its position)
      return float(p.x - 4) < bonus->x() + 6 && float(p.s) < bonus->y() + 12 && float(p.x + 4) >= bonus->x() - 6 &&
             float(p.s + 15) >= bonus->y();
    if (next >= 0) return room_of(float(p.x), float(p.s + 7)) == next;
    for (int x = p.x - 4; x <= p.x + 3; x++)
      if (x >= 0 && p.s >= 1 && x < LEVEL_WIDTH && level_cell(x, p.s - 1).collision == LEVEL_COLL_EXIT) return true;
    return false;
  };
  // A rectangle the route may pass: clear, or (digging) free of hard cells; its price.
  auto passable = [&](const Rect& r, int* price) {
    int n = cs.solid(r.x0, r.y0, r.x1, r.y1);
    if (n == 0) return true;
    if (!dig || cs.hard_cells(r.x0, r.y0, r.x1, r.y1) > 0) return false;
    *price += 40 + n / 8;
    return true;
  };
  auto moves_from = [&](int i, std::vector<Move>& out) {
    out.clear();
    const Spot a = spots[size_t(i)];
    for (int dir = -1; dir <= 1; dir += 2) {  // walking, stepping up, dropping
      int x = a.x + 4 * dir;
      int h = -1;
      for (int k = 0; k <= 4 && h < 0; k++) {
        Rect b = hero_box(x, a.s + k);
        if (cs.solid(b.x0, b.y0, b.x1, b.y1) == 0) h = a.s + k;
      }
      if (h < 0 && dig) h = a.s;
      if (h < 0) continue;
      int s2 = h;
      while (s2 > std::max(uy0, 0) && !supported(x, s2)) s2--;
      int to = find_spot(x, s2);
      if (to < 0) continue;
      // Across at the height it steps to, then down at the new column.
      Rect across{std::min(a.x, x) - 4, h, std::max(a.x, x) + 3, h + 15}, down{x - 4, s2, x + 3, h + 15};
      Move m{to, 1, false, 2, {across, down}, false, false, false};
      int price = 0;
      if (!passable(m.r[0], &price) || !passable(m.r[1], &price)) continue;
      m.cost += price, m.cuts = price > 0;
      out.push_back(m);
    }
    if (a.dig) return;
    // Jumps played through: aimed at each column in reach, steered at once, from the top of the
    // jump, or from a run-up; each lands where it lands.
    for (int aim = a.x - 64; aim <= a.x + 64; aim += 4) {
      for (int way = 0; way < 3; way++) {
        if (aim == a.x && way > 0) continue;
        int back = aim > a.x ? -4 : 4;
        // (A run-up backs off 14 and comes to a stop a few cells further.)
        bool room_to_run = true;
        for (int k = 1; k <= 5 && way == 2; k++) room_to_run = room_to_run && find_spot(a.x + k * back, a.s) >= 0;
        if (!room_to_run) continue;
        uint64_t key = uint64_t(uint16_t(a.x)) | uint64_t(uint16_t(a.s)) << 16 | uint64_t(uint16_t(aim)) << 32 |
                       uint64_t(way) << 48;
        auto f = flights.find(key);
        int64_t landing = -1;
        if (f != flights.end()) landing = f->second;
        else {
          float lx = 0, ly = 0;
          if (sim_jump(float(a.x), float(a.s), way == 2 ? HERO_RUN_SPEED * float(aim > a.x ? 1 : -1) : 0.f, float(aim),
                       way == 1 ? 1e9f : -1e9f, &lx, &ly))
            landing = int64_t(uint32_t(int(floorf(lx + 0.5f)))) | int64_t(uint32_t(int(floorf(ly + 0.5f)))) << 32;
          flights[key] = landing;
        }
        if (landing < 0) continue;
        int lx = int(landing & 0xFFFFFFFF), ls = int(landing >> 32);
        int j = -1;
        for (int d : {0, -4, 4}) {
          int sx = (lx + 2) / 4 * 4 + d;
          if (j < 0 && (sx != a.x || ls != a.s)) j = find_spot(sx, ls);
        }
        if (j < 0 || spots[size_t(j)].dig) continue;
        const Spot& b = spots[size_t(j)];
        if (!banned.empty() && std::find(banned.begin(), banned.end(), jump_key(a.x, a.s, b.x, b.s)) != banned.end())
          continue;
        Move m{j,    10 + abs(b.x - a.x) / 8 + abs(b.s - a.s) / 8 + (way == 2 ? 8 : 0), true, 0, {}, false, way == 2,
               false};
        m.sim = true, m.aim_x = float(aim), m.min_y = way == 1 ? 1e9f : -1e9f;
        out.push_back(m);
      }
    }
    if (!dig) return;
    for (int x = a.x - 64; x <= a.x + 64; x += 4) {  // jumps through cells to cut
      int c = x / 4;
      if (x < 0 || c < c0 || c > c1) continue;
      for (int j : column[size_t(c - c0)]) {
        const Spot& b = spots[size_t(j)];
        if (b.dig || b.s > a.s + JUMP_RISE || b.s < a.s - 96 || (b.x == a.x && b.s <= a.s)) continue;
        if (!banned.empty() && std::find(banned.begin(), banned.end(), jump_key(a.x, a.s, b.x, b.s)) != banned.end())
          continue;
        int top = std::max(a.s + 4, b.s);
        Move m{j, 10 + abs(b.x - a.x) / 8 + abs(b.s - a.s) / 8, true, 3, {}, false, false, false};
        // Up, across at the top, and down: the way round a ledge's edge.
        if (fabsf(float(b.x - a.x)) <= jump_reach(top - a.s, b.s - a.s)) {
          m.r[0] = Rect{a.x - 4, a.s, a.x + 3, top + 15};
          m.r[1] = Rect{std::min(a.x, b.x) - 4, top, std::max(a.x, b.x) + 3, top + 15};
          m.r[2] = Rect{b.x - 4, b.s, b.x + 3, top + 15};
          int price = 0;
          if (passable(m.r[0], &price) && passable(m.r[1], &price) && passable(m.r[2], &price) && price > 0) {
            m.cost += price, m.cuts = true, m.rise_first = b.s > a.s + 4;
            out.push_back(m);
          }
        }
      }
    }
  };
  // Cheapest route (Dijkstra over the spots).
  std::vector<int> dist(spots.size(), 1 << 30), prev(spots.size(), -1);
  std::vector<Move> via(spots.size());
  std::vector<bool> cut_before(spots.size(), false);
  typedef std::pair<int, int> Item;
  std::vector<Item> heap;
  auto cmp = [](const Item& a, const Item& b) { return a.first > b.first; };
  dist[size_t(start)] = 0;
  heap.push_back(Item(0, start));
  std::vector<Move> out;
  int goal = -1;
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), cmp);
    Item it = heap.back();
    heap.pop_back();
    int i = it.second;
    if (it.first != dist[size_t(i)]) continue;
    if (it.first > max_cost) break;
    if (is_goal(spots[size_t(i)]) && !spots[size_t(i)].dig) {
      goal = i;
      break;
    }
    moves_from(i, out);
    for (const Move& m : out) {
      int d = it.first + m.cost;
      if (d < dist[size_t(m.to)]) {
        dist[size_t(m.to)] = d;
        prev[size_t(m.to)] = i;
        via[size_t(m.to)] = m;
        cut_before[size_t(m.to)] = cut_before[size_t(i)] || m.cuts || spots[size_t(m.to)].dig;
        heap.push_back(Item(d, m.to));
        std::push_heap(heap.begin(), heap.end(), cmp);
      }
    }
  }
  if (goal < 0) {
    // With --trace a plan that finds no way lists the spots it could reach: where the climb ends.
    if (drive.trace && !bonus) {
      fprintf(world_drive::out, "no way; reached:");
      for (size_t i = 0; i < spots.size(); i++)
        if (dist[i] < (1 << 30))
          fprintf(world_drive::out, " (%d, %d)%s", spots[i].x, spots[i].s, spots[i].dig ? "d" : "");
      fprintf(world_drive::out, "\n");
    }
    return plan;
  }
  plan.found = true;
  plan.end = spots[size_t(goal)];
  plan.digging = cut_before[size_t(goal)];
  plan.from = spots[size_t(start)];
  if (goal == start) {
    plan.to = plan.from;
    plan.first = Move{start, 0, false, 0, {}, false, false, false};
    return plan;
  }
  int n = goal;
  while (prev[size_t(n)] != start) n = prev[size_t(n)];
  plan.to = spots[size_t(n)];
  plan.first = via[size_t(n)];
  if (plan.to.dig) {  // the step into a cut spot digs its box too
    plan.first.r[plan.first.rects < 3 ? plan.first.rects++ : 2] = hero_box(plan.to.x, plan.to.s);
    plan.first.cuts = true;
  }
  return plan;
}

// The destructible cell of a move's rectangles nearest to a point: where to shoot.
bool cut_target(const Move& m, float sx, float sy, int* cx, int* cy) {
  float best = 1e30f;
  for (int k = 0; k < m.rects; k++)
    for (int y = m.r[k].y0; y <= m.r[k].y1; y++)
      for (int x = m.r[k].x0; x <= m.r[k].x1; x++) {
        if (x < 0 || y < 0 || x >= LEVEL_WIDTH || y >= LEVEL_HEIGHT) continue;
        if (level_cell(x, y).collision != LEVEL_COLL_DESTRUCTIBLE && wreck_cell(x, y) != 1) continue;
        float d = (float(x) + 0.5f - sx) * (float(x) + 0.5f - sx) + (float(y) + 0.5f - sy) * (float(y) + 0.5f - sy);
        if (d < best) best = d, *cx = x, *cy = y;
      }
  return best < 1e30f;
}

std::string room_name(int r) {
  return "(" + std::to_string(r % ROOM_MAP_WIDTH) + ", " + std::to_string(r / ROOM_MAP_WIDTH) + ")";
}

std::string exits_of(int r) {
  int exits = room_cell_map[r / ROOM_MAP_WIDTH][r % ROOM_MAP_WIDTH];
  std::string s;
  if (exits & ROOM_EXIT_LEFT) s += " left";
  if (exits & ROOM_EXIT_RIGHT) s += " right";
  if (exits & ROOM_EXIT_UP) s += " up";
  if (exits & ROOM_EXIT_DOWN) s += " down";
  return s.empty() ? " none" : s;
}

const char* side_name(int from, int to) {
  if (to == from + 1) return "right";
  if (to == from - 1) return "left";
  if (to > from) return "up";
  return "down";
}

}  // namespace world_drive
