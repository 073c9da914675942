// The scripted player's route planning (route.cpp): what it sees of the level (cells, the remains of
// a dead boss, barrels, enemies in sight, the room map) and its plans over standing spots.
//
// The player follows the level's rooms: a breadth-first walk over the room map's exits gives the
// rooms from the one the hero is in to the one holding the exit, and the player heads for the next
// of them. Inside the two rooms it plans over standing spots (a hero box clear of cells with ground
// under it, every fourth column): walking (with the hero's step-up and drops), and jumps played
// through sub-step by sub-step with the hero's own motion and the level's collision, aimed at each
// column in reach and steered as the player steers in the air (at once, from the top of the jump, or
// after a run-up), each landing where it lands. The cheapest route wins; when none exists without
// digging, a route may cut through destructible cells at a price (jumps then modelled as up, across
// and down), and the player shoots the cells of its first cut. It shoots the nearest awake enemy it
// can see, and shoots ahead (and jumps) when an object stops its walk.
#pragma once
#include <stdint.h>
#include <string>
#include <unordered_map>
#include <vector>
#include "driveWorld.h"
#include "entling/objects/heroMotion.kst"
#include "game/gen/levelGenRuntime.h"
#include "game/levelCollision.h"

namespace world_drive {

// A dead boss's remains in a level cell: 0 nothing, 1 hull (shot away like destructible cells),
// 2 armour.
int wreck_cell(int x, int y);
const int ROOM_W = ROOM_TILES_X * TILE_CELLS, ROOM_H = ROOM_TILES_Y * TILE_CELLS;

// Cell counts of a region by prefix sums: every solid cell, and the hard ones (indestructible,
// exit and outside the level; below the level is open air).
struct CellSums {
  int x0 = 0, y0 = 0, w = 0, h = 0;
  std::vector<int> all, hard;
  void build(int ax, int ay, int bx, int by) {
    x0 = ax, y0 = ay, w = bx - ax + 1, h = by - ay + 1;
    all.assign(size_t((w + 1) * (h + 1)), 0);
    hard.assign(all.size(), 0);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        int cx = x0 + x, cy = y0 + y, k = 0;
        if (cy < 0) k = 0;
        else if (cx < 0 || cx >= LEVEL_WIDTH || cy >= LEVEL_HEIGHT) k = 2;
        else {
          int c = level_cell(cx, cy).collision;
          k = c == 0 ? wreck_cell(cx, cy) : c == LEVEL_COLL_DESTRUCTIBLE ? 1 : 2;
        }
        size_t i = size_t((y + 1) * (w + 1) + x + 1), l = i - 1, d = i - size_t(w + 1), dl = d - 1;
        all[i] = (k != 0) + all[l] + all[d] - all[dl];
        hard[i] = (k == 2) + hard[l] + hard[d] - hard[dl];
      }
  }
  // Cells of the inclusive rectangle; outside the region counts as hard.
  int count(const std::vector<int>& p, int ax, int ay, int bx, int by) const {
    if (ax > bx || ay > by) return 0;
    if (ax < x0 || ay < y0 || bx >= x0 + w || by >= y0 + h) return 1 << 20;
    ax -= x0, bx -= x0 - 1, ay -= y0, by -= y0 - 1;
    return p[size_t(by * (w + 1) + bx)] - p[size_t(ay * (w + 1) + bx)] - p[size_t(by * (w + 1) + ax)] +
           p[size_t(ay * (w + 1) + ax)];
  }
  int solid(int ax, int ay, int bx, int by) const { return count(all, ax, ay, bx, by); }
  int hard_cells(int ax, int ay, int bx, int by) const { return count(hard, ax, ay, bx, by); }
};

struct Rect {
  int x0, y0, x1, y1;
};

struct Spot {
  int x, s;
  bool dig;  // its box holds destructible cells
};

struct Move {
  int to;
  int cost;
  bool jump;
  int rects;  // the cells it passes: up to three rectangles
  Rect r[3];
  bool cuts;            // passes destructible cells
  bool run;             // a jump that needs a run-up at full speed
  bool rise_first;      // a jump up round a ledge's edge: sideways only once above the ledge
  bool sim = false;     // a jump whose flight was played through with the hero's own motion
  float aim_x = 0;      // where the flight steers to
  float min_y = -1e9f;  // the height to rise to before steering sideways
};

struct Plan {
  bool found = false;
  Spot end{};  // where it ends
  Spot from{}, to{};
  Move first{};
  bool digging = false;  // the route cuts through cells somewhere
};

// The highest ledge a jump is planned onto: the apex is about 38 above the start, and the mover's
// step-up lifts the feet over the last 4 cells of a ledge's edge.
const int JUMP_RISE = 36;

// The hero's motion as its update moves it, one sub-step at a time, against the level's cells (no
// objects): what the player's predictions play through, by the hero's own sub-step
// (entling/objects/heroMotion.kst).
struct HeroMotion {
  static constexpr float DT = 0.0125f;  // the hero's sub-step
  vec4float pos;
  float vx = 0, vy = 0, air = 0;
  float groundVx = 0;  // no ground carries it: the level's cells stand still
  // A sub-step's change of velocity holding `move` (-1, 0, 1), and the jump button when `jump`.
  void speedUp(int move, bool jump) {
    hero_motion_pull(vy, air, DT);
    hero_motion_steer(vx, vy, air, groundVx, float(move), jump, DT);
  }
  // One whole sub-step: the velocity, then the move against the cells; the collision flags.
  int step(int move, bool jump) {
    speedUp(move, jump);
    return hero_motion_move(pos, vx, vy, air, groundVx, nullptr, DT);
  }
};

// The flights played through so far, by take-off spot, aim and way of steering: where each lands.
typedef std::unordered_map<uint64_t, int64_t> FlightCache;

// A level cell or the remains of a dead boss there.
bool solid_at(int x, int y);
// No solid cell on the straight line between two points (sampled every half cell).
bool line_clear(float x0, float y0, float x1, float y1);
const ExplosiveView* barrel(int i);
// A barrel still there whose position lies within `reach` of (x, y) on both axes, or null.
const ExplosiveView* barrel_near(float x, float y, float reach);
// The nearest enemy on screen (drawn, so awake) that a shot from the shoulder can reach without
// passing a barrel close to the hero.
bool nearest_enemy(vec4float from, vec4float* at);
int room_of(float x, float y);
// The rooms from `from` to `to` (both included) through exits open on both sides; empty if none.
std::vector<int> room_route(int from, int to);
// The cells of the hero's box standing at (x, s).
Rect hero_box(int x, int s);
// Which way the player holds in the air (and on the ground while a move is under way): toward
// `air_x` until within 2 cells of it, but not sideways while still rising below `min_y`.
int air_steer(float x, float y, float vy, bool on_ground, float air_x, float min_y);
// A jump played through sub-step by sub-step as the hero's update moves it, steered by air_steer
// as the player will steer it: where it lands, if it does.
bool sim_jump(float x0, float y0, float vx0, float aim_x, float min_y, float* lx, float* ly);
// A jump, by its take-off and landing spots (for the jumps the player gave up on).
uint64_t jump_key(int x0, int s0, int x1, int s1);
// Plans from the hero's spot to the next room (or onto the exit when `next` is -1); with `dig`
// the route may pass destructible cells; with `bonus` the goal is taking that bonus instead, at no
// more than `max_cost`.
Plan plan_route(const CellSums& cs, float hx, float hy, int ux0, int uy0, int ux1, int uy1, int next, bool dig,
                const std::vector<uint64_t>& banned, FlightCache& flights, const vec4float* bonus = nullptr,
                int max_cost = 1 << 30);
// The destructible cell of a move's rectangles nearest to a point: where to shoot.
bool cut_target(const Move& m, float sx, float sy, int* cx, int* cy);
std::string room_name(int r);
std::string exits_of(int r);
const char* side_name(int from, int to);

}  // namespace world_drive
