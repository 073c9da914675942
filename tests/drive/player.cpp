// The scripted player: plays generated levels with the buttons and the aim a player would use,
// following the room route (route.h), fighting the boss where it meets one (bossFight.h), and
// reports which levels it crosses and why the others stop.
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>
#include "bossFight.h"
#include "driveWorld.h"
#include "engine/app.h"
#include "game/gameScene.h"
#include "game/gen/levelGenRuntime.h"
#include "game/levelGrid.h"
#include "game/objectLists.h"
#include "game/progression.h"
#include "game/sceneView.h"
#include "route.h"
#include "tools/harness/progressLine.h"

namespace world_drive {
namespace {

// Enemy bullets that meet the hero within the next 0.9 s when it holds `move` (-1, 0, 1) and jumps now
// or not: the hero's motion played on as its update moves it (a ceiling stops the rise), each
// bullet flying straight on until a solid cell stops it. A way out that drops the hero off its
// ledge counts as hit too (it would undo the climb).
int bullets_ahead(const HeroView* h, int move, bool jump, bool keep_ledge = true) {
  HeroMotion m{h->pos, h->vel[0], h->vel[1], h->airTime};
  int hits = 0;
  for (int i = 1; i <= 72; i++) {
    const float t = float(i) * HeroMotion::DT;
    m.step(move, jump && i <= 4);
    float x = m.pos.x(), y = m.pos.y();
    if (h->invulTime > t + 0.05f) continue;
    for (int k = 0; k < Bullet_list.size(); k++) {
      const BulletView* b = reinterpret_cast<const BulletView*>(static_cast<void*>(Bullet_list[k]));
      if (b->flags || !(b->bulletFlags & 2)) continue;
      float bx = b->pos.x() + b->vel.x() * t, by = b->pos.y() + b->vel.y() * t;
      if (bx > x - 6 && bx < x + 6 && by > y - 2 && by < y + 17 && line_clear(b->pos.x(), b->pos.y(), bx, by)) hits++;
    }
  }
  if (keep_ledge && m.pos.y() < h->pos.y() - 4) hits++;
  return hits;
}

// The first exit cell of the level (reading from its bottom row), or -1 when it has none.
void find_exit(float* x, float* y) {
  *x = *y = -1;
  for (int i = 0; i < LEVEL_WIDTH * LEVEL_HEIGHT; i++)
    if (level_data[i].collision == LEVEL_COLL_EXIT) {
      *x = float(i % LEVEL_WIDTH), *y = float(i / LEVEL_WIDTH);
      return;
    }
}

// A bonus, by where it lies.
uint64_t heart_key(vec4float at) {
  return uint64_t(uint32_t(int(floorf(at.x())))) | uint64_t(uint32_t(int(floorf(at.y())))) << 32;
}

// One level's play: what the player keeps from update to update, and each update's steps in the
// order they decide the buttons (a later step may override an earlier one's).
struct Walk {
  PlayResult r;
  float exitY = -1;
  int end_room = -1;
  int step = 0;
  // The room route and the progress along it.
  int room = -1, next = -1, last_room_step = 0;
  size_t best_remaining = size_t(-1);
  std::vector<int> route;
  std::string last_why;
  // The planning area's cell sums, and when they were counted.
  CellSums cs;
  int sums_room = -1, sums_changes = -1, sums_step = 0;
  int dump_x0 = 0, dump_y0 = 0, dump_x1 = -1, dump_y1 = -1;  // the last planning area
  // The move under way.
  float air_x = 0;          // where the move in progress is heading
  float air_min_y = -1e9f;  // and the height to rise to before going sideways
  bool air_set = false;     // a move is in progress
  int no_plan = 0, jump_wait = 0;
  std::vector<uint64_t> banned;
  std::map<uint64_t, int> jump_tries;
  FlightCache flights;
  int runup = 0, runup_dir = 0, runup_step = 0;  // 1 backing off, 2 running at the take-off
  float runup_x = 0;
  // What gets in the way.
  int stall = 0;     // updates spent pushing on the ground without moving
  int standoff = 0;  // updates spent standing to shoot an enemy close by
  float stall_x = 0;
  std::vector<uint64_t> hearts_left;  // hearts given up on, by position
  uint64_t chased_heart = 0;
  int chase_step = 0;
  float dodging = 0;     // how much of late the hero has dodged rather than gone its way
  int barrel_step = -1;  // when the hero set about clearing a barrel out of its way (-1 none)
  vec4float barrel_at;
  int barrel_dir = 0;  // the way it backs off
  BossFight fight;
  // This update's view of the hero and the buttons chosen so far.
  const HeroView* h = nullptr;
  float x = 0, y = 0;
  bool on_ground = false, cutting = false;
  bool b[4] = {false, false, false, false};

  bool stuck = false;  // stopped for want of progress (not at the exit, not dead)

  bool start();
  bool fight_update();
  void note_boss_death();
  void choose_buttons();
  void follow_rooms();
  void run_up();
  void plan_ahead();
  Plan choose_plan(int ux0, int uy0, int ux1, int uy1, int goal);
  void follow(const Plan& p);
  void push_through();
  void shoot_enemies();
  void dodge_bullets();
  void press();
  bool finished();
  void dump_stuck();
};

// The goal found on the level in place: the exit's room, or on a boss level without an exit the
// boss's. False (with the reason) when the level has none.
bool Walk::start() {
  find_exit(&r.exitX, &exitY);
  end_room = r.exitX < 0 ? -1 : room_of(r.exitX, exitY);
  r.boss = !Boss1_list.empty();
  if (end_room < 0 && r.boss) {  // the boss's death places the exit: head for the boss
    vec4float at = entling_view(Boss1_list[0])->getPos();
    end_room = room_of(at.x(), at.y());
  }
  if (end_room < 0) return r.why = "no exit in the level", false;
  if (drive.startHealth > 0) set_hero_health(drive.startHealth);
  if (drive.atBoss) {
    if (Boss1_list.empty() || BossPart_list.empty()) return r.why = "no boss", false;
    vec4float at = entling_view(Boss1_list[0])->getPos();
    reset_hero(at.x() - drive.bossDistance, entling_view(BossPart_list[0])->getBox().y());
  }
  return true;
}

// An update of the boss fight when there is one here; the walk's progress clock waits meanwhile.
bool Walk::fight_update() {
  bool fight_buttons[4] = {false, false, false, false};
  if (!fight_boss(fight, h, fight_buttons)) return false;
  hold(fight_buttons);
  update_once(drive.trace);
  r.steps = step + 1;
  r.x = hero_view()->pos.x();
  r.y = hero_view()->pos.y();
  last_room_step = step;
  return true;
}

// The boss is dead and the exit is in place: on to it.
void Walk::note_boss_death() {
  if (!r.boss || r.killedBoss || !ExitFx_list.size()) return;
  r.killedBoss = true;
  r.killStep = step, r.killHealth = h->health;
  find_exit(&r.exitX, &exitY);
  if (r.exitX >= 0) end_room = room_of(r.exitX, exitY);
  room = -1;
  best_remaining = size_t(-1);
}

// A new room: the route from it, and progress when it is nearer the exit than any before (going
// back and forth is none).
void Walk::follow_rooms() {
  int now = room_of(x, y + 7);
  if (now == room || now < 0) return;
  room = now;
  route = room_route(room, end_room);
  if (!route.empty() && route.size() < best_remaining) {
    best_remaining = route.size();
    last_room_step = step;
    jump_tries.clear();  // earlier failures may have been bad luck
    banned.clear();
  }
  next = route.size() >= 2 ? route[1] : -1;
}

// A run-up: back off from the take-off, then run at it and jump there.
void Walk::run_up() {
  float dx = runup_x - x;
  if (runup == 1 && dx * float(runup_dir) < 14) b[runup_dir < 0 ? 1 : 0] = true;
  else {
    runup = 2;
    b[runup_dir < 0 ? 0 : 1] = true;
    if (dx * float(runup_dir) <= 2.5f) {
      if (jump_wait == 0) b[2] = true, jump_wait = 2;
      air_set = true;
      runup = 0;
    }
  }
  if (step - runup_step > 60) runup = 0;
}

// The plan over the planning area (this room and the next two, with a margin for the moves that
// cross; the goal is the second room ahead, so that a hero on the border of two rooms heads the
// same way from either), and its first move followed.
void Walk::plan_ahead() {
  int ux0 = 1 << 30, uy0 = 1 << 30, ux1 = -1, uy1 = -1;
  for (size_t k = 0; k < route.size() && k <= 2; k++) {
    int nx = route[k] % ROOM_MAP_WIDTH, ny = route[k] / ROOM_MAP_WIDTH;
    ux0 = std::min(ux0, nx * ROOM_W), uy0 = std::min(uy0, ny * ROOM_H);
    ux1 = std::max(ux1, nx * ROOM_W + ROOM_W - 1), uy1 = std::max(uy1, ny * ROOM_H + ROOM_H - 1);
  }
  dump_x0 = ux0, dump_y0 = uy0, dump_x1 = ux1, dump_y1 = uy1;
  int goal = route.size() >= 2 ? route[std::min<size_t>(2, route.size() - 1)] : -1;
  if (goal == end_room && r.exitX >= 0) goal = -1;  // onto the exit itself (a boss places it)
  // Cells change only under shots and blasts: counted again after those, and now and then.
  int changes = drive.soundCount[14 /* "bullet_destroys_wall" */] + ExplBarrel_list.size() * 1000;
  if (changes != sums_changes || room != sums_room || step - sums_step > (ExitFx_list.size() ? 8 : 40)) {
    if (changes != sums_changes) flights.clear();
    cs.build(ux0 - 80, uy0 - 80, ux1 + 80, uy1 + 80);
    sums_changes = changes, sums_room = room, sums_step = step;
  }
  Plan p = choose_plan(ux0, uy0, ux1, uy1, goal);
  if (!p.found) {
    no_plan++;
    last_why = "no route from room " + room_name(room) + " (exits:" + exits_of(room) + ")";
    for (size_t k = 1; k < route.size() && k <= 2; k++)
      last_why += std::string(k == 1 ? " " : ", then ") + side_name(route[k - 1], route[k]) + " to " +
                  room_name(route[k]) + " (exits:" + exits_of(route[k]) + ")";
    if (route.size() <= 2) last_why += " onto the exit";
  } else {
    no_plan = 0;
    follow(p);
  }
}

// The plan: with little health left, a heart close by is worth a short detour, as a player picks
// up what lies near the way (one chased for long without being taken is left where it is); else
// the way on, walking and jumping, or failing that digging.
Plan Walk::choose_plan(int ux0, int uy0, int ux1, int uy1, int goal) {
  Plan p;
  bool heart = false;
  vec4float heart_at;
  float heart_d = 200;
  for (int i = 0; i < HeartBonus_list.size() && h->health <= 2; i++) {
    vec4float at = reinterpret_cast<BonusView*>(static_cast<void*>(HeartBonus_list[i]))->pos;
    float d = fabsf(at.x() - x) + fabsf(at.y() - y);
    if (d < heart_d && at.x() >= float(ux0 - 16) && at.x() <= float(ux1 + 16) && at.y() >= float(uy0) &&
        at.y() <= float(uy1) && std::find(hearts_left.begin(), hearts_left.end(), heart_key(at)) == hearts_left.end())
      heart_d = d, heart = true, heart_at = at;
  }
  if (heart) {
    const vec4float& at = heart_at;
    if (heart_key(at) != chased_heart) chased_heart = heart_key(at), chase_step = step;
    if (step - chase_step > 200) hearts_left.push_back(chased_heart);
    else {
      p = plan_route(cs, x, y, ux0 - 16, uy0, ux1 + 16, uy1, goal, false, banned, flights, &at, 80);
      // Only a heart the way goes on from: one down a drop it cannot climb back is left.
      if (p.found && chase_step == step &&
          !plan_route(cs, float(p.end.x), float(p.end.s), ux0 - 16, uy0, ux1 + 16, uy1, goal, false, banned, flights)
               .found) {
        hearts_left.push_back(chased_heart);
        p = Plan();
      }
    }
    if (p.found && drive.trace) fprintf(out, "heart at (%.0f, %.0f): on the way to it\n", at.x(), at.y());
  }
  if (!p.found) p = plan_route(cs, x, y, ux0 - 16, uy0, ux1 + 16, uy1, goal, false, banned, flights);
  if (!p.found) p = plan_route(cs, x, y, ux0 - 16, uy0, ux1 + 16, uy1, goal, true, banned, flights);
  return p;
}

// The plan's first move: dig through its cut, or head for its next spot (a jump from the spot it
// was planned from, after a run-up where it needs one).
void Walk::follow(const Plan& p) {
  const Move& m = p.first;
  if (drive.trace)
    fprintf(out, "plan: room %s, from (%d, %d) %s to (%d, %d)%s%s\n", room_name(room).c_str(), p.from.x, p.from.s,
            m.jump ? "jump" : "walk", p.to.x, p.to.s, m.cuts ? ", cutting" : "", p.digging ? ", digs later" : "");
  int cx = 0, cy = 0;
  if (m.cuts && cut_target(m, x, y + 8, &cx, &cy)) {
    // Dig: stand and shoot the nearest cell of the cut.
    cutting = true;
    drive.aimRelative = false;
    drive.aimX = float(cx) + 0.5f;
    drive.aimY = float(cy) + 0.5f;
    b[3] = true;
    air_set = false;
    float dx = float(p.from.x) - x;
    if (fabsf(dx) > 2) b[dx < 0 ? 0 : 1] = true;
    last_why = std::string("digging in room ") + room_name(room);
    return;
  }
  if (p.to.x == p.from.x && p.to.s == p.from.s) {
    air_set = false;  // at the goal: stand (on the exit)
    return;
  }
  // A walk keeps going its way (the next spot is never far); a jump aims at its landing.
  air_x = m.jump ? float(p.to.x) : x + float(p.to.x > p.from.x ? 8 : -8);
  air_set = true;
  air_min_y = m.rise_first ? float(p.to.s) - 3 : -1e9f;
  float lx = 0, ly = 0;
  if (m.sim) air_x = m.aim_x, air_min_y = m.min_y;
  auto lands = [&](float aim) {
    return sim_jump(x, y, h->vel[0], aim, m.min_y, &lx, &ly) && fabsf(lx - float(p.to.x)) <= 4 &&
           fabsf(ly - float(p.to.s)) < 1;
  };
  bool on_target = !m.sim || m.run || jump_wait > 0 || lands(m.aim_x);
  bool settled = fabsf(x - float(p.from.x)) <= 2 && fabsf(h->vel[0]) <= 30;
  // Standing a hair off the planned spot: the jump steered a little differently from here.
  for (int d = 1; d <= 12 && !on_target && settled; d++)
    for (int sign = -1; sign <= 1 && !on_target; sign += 2)
      if (lands(m.aim_x + float(sign * d))) on_target = true, air_x = m.aim_x + float(sign * d);
  if (!on_target && !settled) {
    // Played through from where the hero stands now, the jump would land elsewhere: take off from
    // the planned spot, standing.
    air_x = float(p.from.x);
    if (fabsf(x - float(p.from.x)) <= 2) air_set = false;
  } else if (m.run && h->vel[0] * float(p.to.x > p.from.x ? 1 : -1) < 90) {
    runup = 1, runup_dir = p.to.x > p.from.x ? 1 : -1, runup_x = float(p.from.x), runup_step = step;
    air_set = false;
    b[runup_dir < 0 ? 1 : 0] = true;
  } else if (m.rise_first && (fabsf(x - float(p.from.x)) > 2 || fabsf(h->vel[0]) > 30)) {
    // A jump up round a ledge's edge starts from its spot, standing: get there and stop.
    air_x = float(p.from.x);
    if (fabsf(x - float(p.from.x)) <= 2) air_set = false;
  } else if (m.jump && !m.sim && p.to.s < p.from.s && abs(p.to.x - p.from.x) <= 24) {
    // Down to a ledge near by: step off the edge rather than jump (a jump rises 38 cells and may
    // land higher up), a little past the spot, whose box may still rest on the edge.
    air_x = float(p.to.x + (p.to.x >= p.from.x ? 6 : -6));
  } else if (m.jump && jump_wait == 0) {
    b[2] = true;
    jump_wait = 2;
    // A jump tried over and over without reaching a new room is given up: the planner looks for
    // another way.
    uint64_t key = jump_key(p.from.x, p.from.s, p.to.x, p.to.s);
    int& tries = jump_tries[key];
    if (++tries >= 4) banned.push_back(key);
  }
}

// Walking on the ground without getting anywhere: an object (a barrel, a sleeping enemy) is in the
// way. Jump it; only when that does not help, shoot it (a barrel's blast hurts close by). (What
// counts is the direction held in the last update, as the hero got it: a stop to dodge or to shoot
// is no push. A hop that gets nowhere either, under a low ceiling, keeps the count.)
void Walk::push_through() {
  bool pushing = (on_ground || stall > 0) && (b[0] || b[1]) && (drive.held[0] || drive.held[1]) && !cutting;
  stall = pushing && fabsf(x - stall_x) < 0.05f ? stall + 1 : 0;
  stall_x = x;
  if (stall >= 3 && stall % 8 == 3 && jump_wait == 0) b[2] = true, jump_wait = 2;
  if (stall >= 30 && barrel_step < 0) {
    // A barrel in the way (or underfoot) is shot from out of its blast's reach: back off first.
    if (const ExplosiveView* bv = barrel_near(x, y, 24))
      barrel_at = bv->pos, barrel_step = step, stall = 0, barrel_dir = b[0] ? 1 : -1;
  }
  if (barrel_step >= 0) {
    bool gone = !barrel_near(barrel_at.x(), barrel_at.y(), 2);
    if (gone || step - barrel_step > 100) barrel_step = -1;
    else {
      // (Back the way the hero came: ahead is what stopped it.)
      bool away = (x - barrel_at.x()) * float(barrel_dir) >= 48;
      b[0] = !away && barrel_dir < 0, b[1] = !away && barrel_dir > 0;
      b[2] = false;
      if (away && on_ground) {
        drive.aimRelative = false;
        drive.aimX = barrel_at.x();
        drive.aimY = barrel_at.y() + 5;
        b[3] = true;
      }
      cutting = true;  // (no enemy shooting meanwhile)
    }
  }
  if (stall >= 30) {
    drive.aimRelative = true;
    drive.aimX = b[0] ? -24.f : 24.f;
    drive.aimY = 5;
    b[3] = true;
  }
}

// The nearest enemy in sight is shot; one close by is shot down from where the hero stands, not
// walked into (for a while).
void Walk::shoot_enemies() {
  vec4float target;
  if (!cutting && stall < 30 && nearest_enemy(h->pos, &target)) {
    drive.aimRelative = false;
    drive.aimX = target.x();
    drive.aimY = target.y();
    b[3] = true;
    bool close = fabsf(target.x() - x) + fabsf(target.y() - y) < 110;
    standoff = close && on_ground && !b[2] && runup == 0 ? standoff + 1 : 0;
    if (standoff > 0 && standoff < 40) b[0] = b[1] = false;
  } else {
    standoff = 0;
  }
}

// An enemy's bullet on its way: jump it when a jump clears it, or else stop or turn back when that
// does, as a player sees a shot coming; but not for long under a steady fire, which would pin the
// hero down (then it goes on and takes its chances).
void Walk::dodge_bullets() {
  dodging = std::max(0.f, dodging - 0.2f);
  if (!on_ground || b[2] || runup != 0 || !Bullet_list.size() || dodging >= 6) return;
  int move = b[0] ? -1 : b[1] ? 1 : 0;
  if (!bullets_ahead(h, move, false, false)) return;
  dodging += 1;
  if (jump_wait == 0 && !bullets_ahead(h, move, true)) b[2] = true, jump_wait = 2;
  else if (move && !bullets_ahead(h, 0, false)) b[0] = b[1] = false;
  else if (!bullets_ahead(h, -1, false)) b[0] = true, b[1] = false;
  else if (!bullets_ahead(h, 1, false)) b[0] = false, b[1] = true;
  if (drive.trace) fprintf(out, "dodging a bullet\n");
}

// This update's buttons, step by step.
void Walk::choose_buttons() {
  x = h->pos.x(), y = h->pos.y();
  follow_rooms();
  on_ground = h->airTime < 0.05f;
  for (bool& button : b) button = false;
  drive.aimSet = true;
  drive.aimRelative = true;
  drive.aimX = 40;
  drive.aimY = 8;
  cutting = false;
  if (jump_wait > 0) jump_wait--;
  if (on_ground && runup != 0) run_up();
  else if (on_ground && room >= 0 && (route.size() >= 2 || room == end_room)) plan_ahead();
  if (air_set) {
    int dir = air_steer(x, y, h->vel[1], on_ground, air_x, air_min_y);
    if (dir) b[dir < 0 ? 0 : 1] = true;
  }
  push_through();
  shoot_enemies();
  dodge_bullets();
}

// The buttons pressed for an update (a jump held since the last one is let go for an update first,
// so that it goes down again).
void Walk::press() {
  if (b[2] && drive.held[2]) {
    bool none[4] = {b[0], b[1], false, b[3]};
    hold(none);
    update_once(false);
    step++;
  }
  hold(b);
  update_once(drive.trace);
  r.steps = step + 1;
  r.x = hero_view()->pos.x();
  r.y = hero_view()->pos.y();
}

// After an update: true at the exit, dead, or stuck (no progress for long, or no plan); `stuck`
// says which.
bool Walk::finished() {
  if (reached_exit) return r.exited = true, true;
  if (hero_view()->health < 1) {
    r.why = hero_view()->pos.y() < -400 ? "fell out" : "killed";
    return true;
  }
  if (step - last_room_step <= 1200 && no_plan <= 200) return false;
  r.why = !last_why.empty() ? last_why : "stuck in room " + room_name(room);
  if (room >= 0 && last_why.rfind("no route", 0) != 0)
    r.why += " (exits:" + exits_of(room) + ", heading " + (next >= 0 ? side_name(room, next) : "to the exit") + ")";
  stuck = true;
  return true;
}

// With --dump-stuck: the enemies and barrels near where it stopped, and the cells of the rooms it
// was planning over.
void Walk::dump_stuck() {
  const HeroView* hv = hero_view();
  for (int i = 0; i < BaseEnemy_list.size(); i++) {
    vec4float e = entling_view(BaseEnemy_list[i])->getBox();
    if (fabsf(e.x() - hv->pos.x()) < 60 && fabsf(e.y() - hv->pos.y()) < 60)
      fprintf(out, "enemy box (%.1f, %.1f)-(%.1f, %.1f)\n", e.x(), e.y(), e.z(), e.w());
  }
  for (int i = 0; i < ExplBarrel_list.size(); i++) {
    const ExplosiveView* bv = barrel(i);
    if (fabsf(bv->pos.x() - hv->pos.x()) < 60 && fabsf(bv->pos.y() - hv->pos.y()) < 60)
      fprintf(out, "barrel at (%.1f, %.1f)\n", bv->pos.x(), bv->pos.y());
  }
  if (dump_x1 >= 0) dump_cells(dump_x0 - 8, std::max(0, dump_y0 - 8), dump_x1 + 8, dump_y1);
  else {
    int hx = int(hero_view()->pos.x()), hy = int(hero_view()->pos.y());
    dump_cells(hx - 60, hy - 40, hx + 60, hy + 80);
  }
}

}  // namespace

PlayResult play_current_level(int max_steps) {
  Walk w;
  if (!w.start()) return w.r;
  for (w.step = 0; w.step < max_steps; w.step++) {
    w.h = hero_view();
    if (!w.h) return w.r.why = "no hero", w.r;
    if (w.fight_update()) {
      if (hero_view()->health < 1) return w.r.why = "killed by the boss", w.r;
      continue;
    }
    w.note_boss_death();
    w.choose_buttons();
    w.press();
    if (w.finished()) {
      if (!w.stuck) return w.r;
      break;
    }
  }
  if (w.r.why.empty()) w.r.why = "out of time in room " + room_name(w.room);
  if (drive.dumpStuck) w.dump_stuck();
  return w.r;
}

namespace {

PlayResult play_level(int level, uint64_t seed, int max_steps) {
  reset_run();
  drive.print = drive.trace;
  generate(level, seed);
  return play_current_level(max_steps);
}

}  // namespace

bool parse_range(const char* s, int* a, int* b) {
  if (sscanf(s, "%d-%d", a, b) == 2) return *a <= *b;
  if (sscanf(s, "%d", a) == 1) return *b = *a, true;
  return false;
}

int run_player(int l0, int l1, int s0, int s1, int max_steps, int expect_exits, int expect_kills) {
  int total = 0, exited = 0, kills = 0, bosses = 0;
  // On a terminal, a line under the results says how far the run is.
  ProgressLine progress((long long)(l1 - l0 + 1) * (s1 - s0 + 1), "seeds");
  for (int level = l0; level <= l1; level++) {
    int level_exits = 0, level_total = 0;
    for (int seed = s0; seed <= s1; seed++) {
      progress.show(total, "level " + std::to_string(level) + " (" + std::to_string(level - l0) + " of " +
                               std::to_string(l1 - l0 + 1) + " levels done), ");
      PlayResult r = play_level(level, uint64_t(seed), max_steps);
      progress.clear();
      total++;
      level_total++;
      kills += r.killedBoss;
      bosses += r.boss;
      if (r.killedBoss)
        fprintf(out, "level %d seed %d: boss killed after %d updates, the hero's health %d\n", level, seed, r.killStep,
                r.killHealth);
      else if (r.boss) fprintf(out, "level %d seed %d: boss alive\n", level, seed);
      if (r.exited) {
        exited++;
        level_exits++;
      }
      fprintf(out, "level %d seed %d: %s after %d updates at (%.1f, %.1f) (exit at x %.0f)%s%s\n", level, seed,
              r.exited ? "exit" : "stopped", r.steps, r.x, r.y, r.exitX, r.exited ? "" : ": ", r.why.c_str());
      fflush(out);
    }
    fprintf(out, "level %d: %d of %d reach the exit\n", level, level_exits, level_total);
  }
  fprintf(out, "player: %d of %d levels reach the exit\n", exited, total);
  if (bosses) fprintf(out, "player: %d of %d kill the boss\n", kills, bosses);
  if (exited < expect_exits) {
    fprintf(out, "FAIL: at least %d should reach the exit\n", expect_exits);
    return 1;
  }
  if (kills < expect_kills) {
    fprintf(out, "FAIL: at least %d should kill the boss\n", expect_kills);
    return 1;
  }
  return 0;
}

}  // namespace world_drive
