// world_drive: a headless, deterministic test drive of the game world. It links the program's host
// code on the null platform, with no drawing device and no sound device, loads the real actor
// library through the real binding (a private program folder holding a copy of it), and steps the
// world with scripted buttons and aim, one virtual frame per update (t = 0.05 s on a fixed screen
// size: enemies wake when they are drawn). It prints one state line per update and exits non-zero
// when an expectation fails.
//
//   world_drive --data <program folder> --lib <entling library> [--repeat] [--swap-at N]
//               [--rebuild-root DIR --sources DIR] <scenario>
//   world_drive --data <dir> --lib <lib> --player <levels a-b> <seeds a-b> [--max-steps N]
//               [--expect-exits N] [--expect-kills N] [--trace] [--dump-stuck] [--at-boss]
//               [--boss-distance D] [--health N]
//   world_drive --data <dir> --lib <lib> --bench <level> <seed>
//
// --repeat runs the scenario a second time in the same process and fails unless every state line
// is the same; with --swap-at N the second run swaps in a fresh copy of the library after update N
// (every live object kept); with --rebuild-root DIR --sources DIR that copy is the real rebuild of
// the library's sources (the rebuild script, in a build tree kept in DIR).
// --player runs the scripted player on generated levels and reports which reach the exit and why
// the others stop (failing when fewer than --expect-exits do); --health N starts the hero with N
// hearts, which takes the enemies out of a count of the rooms crossed; with --trace it prints its
// plans and state lines, with --dump-stuck the cells of the rooms it stopped in and the enemies and
// barrels near the hero;
// with --at-boss it starts on a boss level's floor 180 cells (--boss-distance D: D) to the left of
// the boss. Wherever it comes near a living boss on its floor it fights it (dodging its bullets and
// bombs, shooting the body's core or plates wherever a shot gets through); on boss levels it says
// which runs kill the boss, failing when fewer than --expect-kills do.
// --bench prints the cost of an update and of a frame's object drawing on a generated level with
// every spawn awake.
//
// The state line: "<update> hero x y vx vy hp <health> air <t> exit <t> | lists <heroes> <enemies>
// <bullets> <barrels> <bombs> <hearts> <ups> <parts> <exitfx> <bosses> | junk <n> | snd <events> |
// cells <hash of the level's cells>".
//
// Scenario files: one command a line; '#' starts a comment. Positions are level cells, y up.
//   screen W H            the virtual screen (default 640 360; the pixel scale is H / 120)
//   seed N                the game's random state (1 at the start of every run)
//   map S X0 Y0 ... end   an ASCII map, top line first, each character an S x S block of cells with
//                         its bottom-left block at cell (X0, Y0): '.' or ' ' empty, '#' destructible,
//                         'X' indestructible, 'E' exit, 'H' the hero (feet at the block's bottom
//                         middle); the rest of the level is empty
//   level N SEED          generates level N from SEED instead (the generator places everything)
//   hero X Y              places the hero (reset_hero)
//   spawn ID X Y          an object of any creatable type id (add_enemy)
//   types M [M M]         the level's enemy types as hex part masks (new enemies draw one of them)
//   set rate F | set destr N | set health N    fire rate, wall destruction, hero's health
//   aim X Y | aimrel DX DY    the mouse on a world point, or on a point relative to the hero's feet
//   step N [left] [right] [jump] [shoot]       N updates with these buttons held (a button goes
//                         down on the first update it is held after one it was not)
//   until QUANTITY OP VALUE max N [buttons]    updates until the condition holds (fails after N)
//   mark                  restarts the update counter and the sound counters
//   expect QUANTITY OP VALUE                   OP: == != < <= > >= ~= (within 0.001)
//   bullet FLAGS X Y VX VY [hero]   a bullet (flags: 1 hits enemies, 2 hits the hero, 4 destroys
//                         walls), fired by nobody or by the hero
//   hurt                  an enemy's touch: the hero's next sub-step takes a hit (hit_hero_by_enemy)
//   hit PART GX GY        a hit of 1 on boss part PART (its index in the parts list) at the centre of
//                         its grid cell (GX, GY), as a bullet's would be
//   dump X0 Y0 X1 Y1      prints the cells' collision types, top row first ('.' empty, '#' 1, 'X' 2,
//                         'E' 3, digits for the rest, 'H' the hero's box)
//   swap                  swaps in a fresh copy of the library now
//   echo TEXT
// Quantities: hero.x hero.y hero.vx hero.vy hero.health hero.air hero.exit hero.invul hero.cooldown
// hero.face exit steps junk, the list counts heroes enemies bullets barrels bombs hearts ups parts
// exitfx bosses, the level's exit cell exit.x exit.y (-1 while it has none, as the elevator looks
// for it), the first enemy's enemy.x enemy.y enemy.vx enemy.face enemy.asleep enemy.health,
// snd.<event name> (plays since the last mark), "cells X0 Y0 X1 Y1" (non-empty cells of the
// rectangle), and <list>.<index>.<cx|cy|x0|y0|x1|y1>, the box of an object of the heroes, enemies,
// barrels, bombs or parts list (e.g. "enemies.0.cx").
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/input.h"
#include "engine/loadSprite.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/baseObject.h"
#include "game/camera.h"
#include "game/entlingApi.h"
#include "game/entlingReload.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/gen/bossTiles.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/loadTiles.h"
#include "game/levelCollision.h"
#include "game/levelGrid.h"
#include "game/objectLists.h"
#include "game/particles.h"
#include "game/progression.h"
#include "game/sceneView.h"
#include "game/soundEvents.h"
#include "platform/platform.h"

struct BossSubpart;
struct BossSubpartBehavior;

// ---- views of the library's objects

// Entling's virtual layout, from the same list the library compiles: the driver calls the
// library's operations through it (getBox of any object). Outside the anonymous namespace, so the
// compiler cannot see every class that derives from it and calls go through the object's table.
template <class T>
T value_of_nothing() {
  return T();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
struct EntlingView : BaseObject {
#define ENTLING_VIRTUAL(ret, name, params) \
  virtual ret name params { return value_of_nothing<ret>(); }
#include "entling/gen/virtuals.kst"
#undef ENTLING_VIRTUAL
};
#pragma GCC diagnostic pop

namespace {

// The hero's fields in the library's order (checked against the library's class size at start).
struct HeroView : BaseObject {
  vec4float target, aimDir, prevAimDir, gunOffset;
  float legPhase, invulTime, exitTime;
  bool hurt;
  int32_t health;
  bool faceRight;
  vec4float pos, prevPos;
  Matrix44 tm;
  float vel[2];
  float groundVx, shootCooldown;
  int32_t contacts;
  float airTime;
};

// An enemy's fields in the library's order, up to those the scenarios read.
struct EnemyView : BaseObject {
  bool asleep;
  int32_t health;
  bool faceRight;
  float halfWidth, height;
  int32_t parts;
  float gunAngle, prevGunAngle, chargeTime;
  int32_t shotsLeft;
  float flyDirX, flyDirY, actionTimer, hopMove;
  vec4float tether, prevTether, anchor, pos, prevPos;
  Matrix44 tm;
  float vel[2];
};

// A bonus's fields in the library's order, up to its position.
struct BonusView : BaseObject {
  vec4float pos;
};

// A boss part's fields in the library's order (checked against the library's class size at start).
struct PartView : BaseObject {
  vec4float pos, prevPos;
  Matrix44 tm, invTm;
  float vel[2];
  int32_t contacts;
  float angle, prevAngle;
  LevelGrid* grid;
  void* renderer;
  vec4float pivot, box;
  WeakRef<BaseObject> boss;
  bool pinned;
};

const HeroView* hero_view() { return reinterpret_cast<const HeroView*>(static_cast<void*>(hero)); }
EntlingView* entling_view(void* object) { return reinterpret_cast<EntlingView*>(object); }

// ---- small helpers

[[noreturn]] void die(const char* format, ...) {
  va_list a;
  va_start(a, format);
  fprintf(stderr, "world_drive: ");
  vfprintf(stderr, format, a);
  fprintf(stderr, "\n");
  va_end(a);
  exit(2);
}

bool copy_file(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return false;
  std::string tmp = to + ".part";
  {
    std::ofstream out(tmp, std::ios::binary);
    out << in.rdbuf();
    if (!out) return false;
  }
  return rename(tmp.c_str(), to.c_str()) == 0;
}

double now_us() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// 64-bit hash of every cell of the level, eight bytes at a time.
uint64_t level_hash() {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(level_data);
  size_t n = sizeof(level_data);
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, p + i, 8);
    h = (h ^ w) * 0x100000001B3ull;
    h ^= h >> 29;
  }
  return h;
}

int cells_in(int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++)
      if (x >= 0 && y >= 0 && x < LEVEL_WIDTH && y < LEVEL_HEIGHT && level_cell(x, y).collision != 0) n++;
  return n;
}

// ---- the world and its virtual screen

struct Drive {
  std::string dataDir, libPath, folder;
  int screenW = 640, screenH = 360;
  bool aimSet = false, aimRelative = false;
  float aimX = 0, aimY = 0;
  bool held[4] = {false, false, false, false};
  int updates = 0;
  int soundCount[NUM_SOUND_EVENTS] = {};
  std::vector<int> stepSounds;
  std::vector<std::string> lines;
  bool print = true;
  int swapAt = -1;
  int swaps = 0;
  bool dumpStuck = false;
  bool atBoss = false;       // the player starts at the boss
  float bossDistance = 180;  // this far to its left
  int startHealth = 0;       // the hero's health at the start of a level (0: the game's own)
  bool trace = false;        // the player's state lines
  // The rebuild swap: a lasting folder for the program folder, the sources' copy and the rebuild's
  // build tree (configured once, then only compiled), and the sources to copy.
  std::string rebuildRoot, sources;
};
Drive drive;
// The drive's own output; the game's log lines go to its log file only.
FILE* out = stdout;

const int BUTTON_KEY[4] = {'A', 'D', 'W', 1};  // the default bindings: left, right, jump, shoot

void observe_sound(int id) {
  drive.soundCount[id]++;
  drive.stepSounds.push_back(id);
}

void apply_screen() {
  d3d_wd = drive.screenW;
  d3d_ht = drive.screenH;
  voxel_scale = d3d_ht / 120 > 0 ? d3d_ht / 120 : 1;
  compute_view_projection(d3d_wd, d3d_ht, voxel_scale);
}

// A private program folder: the data the world needs (sprites, tiles) linked in, and a copy of the
// library, so the swap can replace it without touching the real program folder. For the rebuild
// swap it lasts (the rebuild's build tree remembers it) and the library's sources are copied beside
// it, where the rebuild script compiles them as the game's rebuild does.
void make_program_folder() {
  if (drive.rebuildRoot.empty()) {
    char tmpl[] = "/tmp/ascenda_drive_XXXXXX";
    if (!mkdtemp(tmpl)) die("cannot make a program folder: %s", strerror(errno));
    drive.folder = std::string(tmpl) + "/";
  } else {
    drive.folder = drive.rebuildRoot + "/bin/";
    std::string cmd = "mkdir -p '" + drive.folder + "' && rm -rf '" + drive.rebuildRoot + "/entling' && cp -r '" +
                      drive.sources + "' '" + drive.rebuildRoot + "/entling' && cp '" + drive.dataDir +
                      "/entling_build.cfg' '" + drive.folder + "' && rm -f '" + drive.folder + "entling_new.dll'";
    if (system(cmd.c_str()) != 0) die("cannot prepare %s", drive.rebuildRoot.c_str());
    setenv("ENTLING_REBUILD_DIR", (drive.rebuildRoot + "/tree").c_str(), 1);
  }
  for (const char* sub : {"sprites", "tiles"}) {
    std::string from = drive.dataDir + "/" + sub, to = drive.folder + sub;
    unlink(to.c_str());
    if (symlink(from.c_str(), to.c_str()) != 0) die("cannot link %s: %s", from.c_str(), strerror(errno));
  }
  if (!copy_file(drive.libPath, drive.folder + "entling.dll")) die("cannot copy %s", drive.libPath.c_str());
  snprintf(app_path, sizeof(app_path), "%s", drive.folder.c_str());
}

void remove_program_folder() {
  if (drive.folder.empty() || !drive.rebuildRoot.empty()) return;
  std::string cmd = "rm -rf '" + drive.folder + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "world_drive: could not remove %s\n", drive.folder.c_str());
}

// The swap the game makes once a second after a rebuild: a new library file appears as
// "entling_new.dll", the old one is unbound and freed, the new one bound, every object re-pointed.
// With a rebuild root the new file comes from the real rebuild: a source is touched and the
// reload is polled, as the game does, until the rebuilt library is swapped in.
void swap_library() {
  if (drive.rebuildRoot.empty()) {
    if (!copy_file(drive.libPath, drive.folder + "entling_new.dll")) die("cannot stage the new library");
    if (!reload_entling(false)) die("the library swap failed");
  } else {
    std::string main_source = drive.rebuildRoot + "/entling/main.kst";
    if (utimensat(AT_FDCWD, main_source.c_str(), nullptr, 0) != 0) die("cannot touch %s", main_source.c_str());
    double start = now_us();
    while (!reload_entling(false)) {
      if (has_error_message()) die("the rebuild failed: %s", get_error_message());
      if (now_us() - start > 600e6) die("the rebuild took more than ten minutes");
      usleep(100000);
    }
  }
  drive.swaps++;
}

void start_world() {
  isAppActive = true;
  apply_screen();
  sound_event_observer = observe_sound;
  init_sprites();
  // Without a rebuild root nothing is watched, so no rebuild starts behind the drive's back.
  std::string watched = drive.rebuildRoot.empty() ? "" : drive.rebuildRoot + "/entling/";
  load_entling_library(watched.c_str(), "main.kst");
  if (!entling_library_loaded()) die("the actor library did not load");
  GetEntlingClassSizesFn sizes =
      (GetEntlingClassSizesFn)get_library_proc(entling_library_module(), "get_entling_class_sizes");
  int count = 0;
  const int* size = sizes ? sizes(&count) : nullptr;
  if (!size || count <= TYPE_HERO || size[TYPE_HERO] != int(sizeof(HeroView)))
    die("the hero's fields changed (library %d bytes, driver %d): update HeroView", size ? size[TYPE_HERO] : -1,
        int(sizeof(HeroView)));
  if (count <= TYPE_BOSS_PART || size[TYPE_BOSS_PART] != int(sizeof(PartView)))
    die("the boss part's fields changed (library %d bytes, driver %d): update PartView",
        count > TYPE_BOSS_PART ? size[TYPE_BOSS_PART] : -1, int(sizeof(PartView)));
  init_game_script();
  load_level_tiles();
  init_level_tile_pools();
  init_bullets();
  init_junk();
}

void stop_world() {
  remove_all_entling();
  close_junk();
  close_bullets();
  close_level_tiles();
  close_game_script();
  unload_entling_library();
  close_sprites();
  sound_event_observer = nullptr;
}

// A fresh run: no objects, no particles, a new hero, upgrades at their start values.
void reset_run() {
  remove_all_entling();
  clear_junk();
  clear_level_data();
  reached_exit = false;
  game_paused = false;
  game_rnd_seed = 1;  // a scenario's "seed" line overrides it
  reset_game();
  num_enemy_types = 0;
  init_entling();
  for (int b = 0; b < 4; b++) plat_null_set_key(BUTTON_KEY[b], false);
  memset(drive.held, 0, sizeof(drive.held));
  clear_input();
  drive.aimSet = false;
  drive.updates = 0;
  memset(drive.soundCount, 0, sizeof(drive.soundCount));
  drive.lines.clear();
  apply_screen();
  free_cam_pos = vec4float(0, 0, 0, 1);
}

// The level generator's path into a new level (what a level restart does, without the scene).
void generate(int level, uint64_t seed) {
  cur_level = level;
  game_rnd_seed = seed;
  regenerate_level();
}

// The mouse on a world point, as the player would hold it: through the view the update uses.
void place_mouse() {
  if (!drive.aimSet) return;
  float wx = drive.aimX, wy = drive.aimY;
  if (drive.aimRelative && hero) {
    wx += hero_view()->pos.x();
    wy += hero_view()->pos.y();
  }
  float s = float(voxel_scale);
  vec4float cam = cur_view_itm.r[3];
  float px = (wx - cam.x()) * s + float(d3d_wd) / 2;
  float py = float(d3d_ht) - 1 - ((wy - cam.y()) * s + float(d3d_ht) / 2);
  push_input_event(IE_MOUSE_MOVE, 0, 0, 0, int(lrintf(px)), int(lrintf(py)));
}

void print_line(const std::string& s) {
  drive.lines.push_back(s);
  if (drive.print) fprintf(out, "%s\n", s.c_str());
}

std::string state_line() {
  char buf[512];
  std::string snd;
  for (int id : drive.stepSounds) {
    if (!snd.empty()) snd += ",";
    snd += sound_event_name[id] ? sound_event_name[id] : "?";
  }
  if (snd.empty()) snd = "-";
  const HeroView* h = hero_view();
  if (h)
    snprintf(buf, sizeof(buf), "%4d hero %.4f %.4f v %.4f %.4f hp %d air %.4f exit %.4f", drive.updates, h->pos.x(),
             h->pos.y(), h->vel[0], h->vel[1], h->health, h->airTime, h->exitTime);
  else snprintf(buf, sizeof(buf), "%4d hero none", drive.updates);
  char rest[256];
  snprintf(rest, sizeof(rest), " | lists %d %d %d %d %d %d %d %d %d %d | junk %d | snd %s | cells %016llx",
           Hero_list.size(), BaseEnemy_list.size(), Bullet_list.size(), ExplBarrel_list.size(), Bomb_list.size(),
           HeartBonus_list.size(), UpBonus_list.size(), BossPart_list.size(), ExitFx_list.size(), Boss1_list.size(),
           junk_list.size(), snd.c_str(), (unsigned long long)level_hash());
  return std::string(buf) + rest;
}

// One update as the play mode runs it, then one virtual frame at t = 0.05.
void update_once(bool printing) {
  for (int b = 0; b < 4; b++) plat_null_set_key(BUTTON_KEY[b], drive.held[b]);
  compute_view_matrices(free_cam_pos, voxel_scale);
  place_mouse();
  drive.stepSounds.clear();
  update_entling(0.05f);
  update_junk(0.05f);
  clear_input();
  drive.updates++;

  const float t = 0.05f;
  interp_camera(t);
  compute_view_matrices(free_cam_pos, voxel_scale);
  compute_visible_rect(free_cam_pos, d3d_wd, d3d_ht, voxel_scale);
  start_sprite_render();
  render_boss(t);
  render_entling(t);
  render_junk(t);
  end_sprite_render();
  if (printing) print_line(state_line());
}

// Buttons for the next updates: a button held now and not before goes down (its key event).
void hold(const bool next[4]) {
  for (int b = 0; b < 4; b++) {
    if (next[b] && !drive.held[b]) {
      if (BUTTON_KEY[b] == 1) push_input_event(IE_MOUSE_DOWN, 1, 0, 0, 0, 0);
      else push_input_event(IE_KEY_DOWN, BUTTON_KEY[b], 0, 0, 0, 0);
    }
    drive.held[b] = next[b];
  }
}

// The cells of a rectangle as the map characters, the hero's box over them.
void dump_cells(int x0, int y0, int x1, int y1) {
  const HeroView* h = hero_view();
  for (int y = y1; y >= y0; y--) {
    std::string row;
    for (int x = x0; x <= x1; x++) {
      bool in_hero = h && float(x) + 0.5f > h->pos.x() - 4 && float(x) + 0.5f < h->pos.x() + 4 &&
                     float(y) + 0.5f > h->pos.y() && float(y) + 0.5f < h->pos.y() + 15;
      int t = x >= 0 && y >= 0 && x < LEVEL_WIDTH && y < LEVEL_HEIGHT ? level_cell(x, y).collision : 0;
      row += in_hero ? 'H' : t == 0 ? '.' : t == 1 ? '#' : t == 2 ? 'X' : t == 3 ? 'E' : char('0' + t % 10);
    }
    fprintf(out, "%4d %s\n", y, row.c_str());
  }
}

// ---- scenarios

struct Scenario {
  std::string path;
  std::vector<std::string> lines;
  size_t at = 0;
  int failures = 0;
};

double quantity(std::istringstream& in, const std::string& name, bool* ok) {
  *ok = true;
  const HeroView* h = hero_view();
  if (name.rfind("hero.", 0) == 0 && !h) {
    *ok = false;
    return 0;
  }
  if (name.rfind("enemy.", 0) == 0) {  // the first enemy of the list
    if (BaseEnemy_list.empty()) {
      *ok = false;
      return 0;
    }
    const EnemyView* e = reinterpret_cast<const EnemyView*>(static_cast<void*>(BaseEnemy_list[0]));
    if (name == "enemy.x") return e->pos.x();
    if (name == "enemy.y") return e->pos.y();
    if (name == "enemy.vx") return e->vel[0];
    if (name == "enemy.face") return e->faceRight ? 1 : 0;
    if (name == "enemy.asleep") return e->asleep ? 1 : 0;
    if (name == "enemy.health") return e->health;
  }
  if (name == "hero.x") return h->pos.x();
  if (name == "hero.y") return h->pos.y();
  if (name == "hero.vx") return h->vel[0];
  if (name == "hero.vy") return h->vel[1];
  if (name == "hero.health") return h->health;
  if (name == "hero.air") return h->airTime;
  if (name == "hero.exit") return h->exitTime;
  if (name == "hero.invul") return h->invulTime;
  if (name == "hero.cooldown") return h->shootCooldown;
  if (name == "hero.face") return h->faceRight ? 1 : 0;
  if (name == "exit") return reached_exit ? 1 : 0;
  if (name == "exit.x" || name == "exit.y") {
    int x = -1, y = -1;
    if (!find_level_exit(&x, &y)) x = y = -1;
    return name == "exit.x" ? x : y;
  }
  if (name == "steps") return drive.updates;
  if (name == "junk") return junk_list.size();
  if (name == "heroes") return Hero_list.size();
  if (name == "enemies") return BaseEnemy_list.size();
  if (name == "bullets") return Bullet_list.size();
  if (name == "barrels") return ExplBarrel_list.size();
  if (name == "bombs") return Bomb_list.size();
  if (name == "hearts") return HeartBonus_list.size();
  if (name == "ups") return UpBonus_list.size();
  if (name == "parts") return BossPart_list.size();
  if (name == "exitfx") return ExitFx_list.size();
  if (name == "bosses") return Boss1_list.size();
  if (name == "cells") {
    int x0, y0, x1, y1;
    if (!(in >> x0 >> y0 >> x1 >> y1)) {
      *ok = false;
      return 0;
    }
    return cells_in(x0, y0, x1, y1);
  }
  // "<list>.<index>.<cx|cy|x0|y0|x1|y1>": the box of an object, from its own getBox (the classes
  // that have one: hero, enemies, barrels, bombs, boss parts).
  static const char* const list_names[NUM_OBJECT_LISTS] = {"heroes", "enemies", "bullets", "barrels",
                                                           "bombs",  "hearts",  "ups",     "parts",
                                                           "joints", "locks",   "exitfx",  "bosses"};
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) {
    std::string prefix = std::string(list_names[l]) + ".";
    if (name.rfind(prefix, 0) != 0) continue;
    int index = -1;
    char part[8] = {0};
    if (sscanf(name.c_str() + prefix.size(), "%d.%7s", &index, part) != 2 || index < 0 ||
        index >= object_list(l).size() || l == 2 || l == 5 || l == 6 || l == 8 || l == 9 || l == 10 || l == 11)
      break;
    vec4float b = entling_view(object_list(l)[index])->getBox();
    std::string k = part;
    if (k == "cx") return (b.x() + b.z()) / 2;
    if (k == "cy") return (b.y() + b.w()) / 2;
    if (k == "x0") return b.x();
    if (k == "y0") return b.y();
    if (k == "x1") return b.z();
    if (k == "y1") return b.w();
    break;
  }
  if (name.rfind("snd.", 0) == 0) {
    for (int id = 0; id < NUM_SOUND_EVENTS; id++)
      if (sound_event_name[id] && name.compare(4, std::string::npos, sound_event_name[id]) == 0)
        return drive.soundCount[id];
  }
  *ok = false;
  return 0;
}

bool compare(double a, const std::string& op, double b, bool* ok) {
  *ok = true;
  if (op == "==") return a == b;
  if (op == "!=") return a != b;
  if (op == "<") return a < b;
  if (op == "<=") return a <= b;
  if (op == ">") return a > b;
  if (op == ">=") return a >= b;
  if (op == "~=") return fabs(a - b) <= 0.001;
  *ok = false;
  return false;
}

// Reads "QUANTITY OP VALUE" from the stream; false with a message on a malformed condition.
bool condition(std::istringstream& in, bool* result, std::string* text, std::string* error) {
  std::string name, op;
  double value;
  if (!(in >> name)) return *error = "missing quantity", false;
  bool ok;
  double v = quantity(in, name, &ok);
  if (!ok) return *error = "unknown quantity '" + name + "'", false;
  if (!(in >> op >> value)) return *error = "missing operator or value", false;
  *result = compare(v, op, value, &ok);
  if (!ok) return *error = "unknown operator '" + op + "'", false;
  char buf[128];
  snprintf(buf, sizeof(buf), "%s %s %g (is %.6g)", name.c_str(), op.c_str(), value, v);
  *text = buf;
  return true;
}

bool read_buttons(std::istringstream& in, bool out[4], std::string* error) {
  static const char* const names[4] = {"left", "right", "jump", "shoot"};
  memset(out, 0, 4);
  std::string w;
  while (in >> w) {
    int b = 0;
    while (b < 4 && w != names[b]) b++;
    if (b == 4) return *error = "unknown button '" + w + "'", false;
    out[b] = true;
  }
  return true;
}

void steps(int n, const bool buttons[4]) {
  for (int i = 0; i < n; i++) {
    hold(buttons);
    update_once(true);
    if (drive.swapAt >= 0 && drive.updates == drive.swapAt) swap_library();
  }
}

// Runs a scenario; returns the number of failed expectations (malformed lines stop the drive).
int run_scenario(Scenario& sc) {
  reset_run();
  int failures = 0;
  for (size_t ln = 0; ln < sc.lines.size(); ln++) {
    std::string line = sc.lines[ln];
    size_t hash = line.find('#');
    std::string code = hash == std::string::npos ? line : line.substr(0, hash);
    std::istringstream in(code);
    std::string cmd;
    if (!(in >> cmd)) continue;
    std::string error;
    auto where = [&]() { return sc.path + ":" + std::to_string(ln + 1); };
    if (cmd == "screen") {
      if (!(in >> drive.screenW >> drive.screenH) || drive.screenW < 16 || drive.screenH < 120)
        die("%s: screen W H (at least 16 x 120)", where().c_str());
      apply_screen();
    } else if (cmd == "seed") {
      unsigned long long s;
      if (!(in >> s)) die("%s: seed N", where().c_str());
      game_rnd_seed = s;
    } else if (cmd == "map") {
      int s, x0, y0;
      if (!(in >> s >> x0 >> y0) || s < 1) die("%s: map S X0 Y0", where().c_str());
      std::vector<std::string> rows;
      size_t end = ln + 1;
      while (end < sc.lines.size() && sc.lines[end] != "end") rows.push_back(sc.lines[end++]);
      if (end == sc.lines.size()) die("%s: map without its end line", where().c_str());
      clear_level_data();
      reached_exit = false;
      int n = int(rows.size());
      bool placed_hero = false;
      for (int r = 0; r < n; r++) {
        for (int c = 0; c < int(rows[r].size()); c++) {
          char ch = rows[r][c];
          int bx = x0 + c * s, by = y0 + (n - 1 - r) * s;
          uint8_t type = 0;
          uint16_t colour = 0;
          switch (ch) {
            case '.':
            case ' ':
              break;
            case '#':
              type = LEVEL_COLL_DESTRUCTIBLE, colour = 0x8000 | (18 << 10) | (12 << 5) | 7;
              break;
            case 'X':
              type = LEVEL_COLL_SOLID, colour = 0x8000 | (12 << 10) | (12 << 5) | 14;
              break;
            case 'E':
              type = LEVEL_COLL_EXIT, colour = 0x8000 | (6 << 10) | (26 << 5) | 8;
              break;
            case 'H':
              reset_hero(float(bx) + float(s) / 2, float(by));
              placed_hero = true;
              break;
            default:
              die("%s: unknown map character '%c'", where().c_str(), ch);
          }
          for (int y = by; y < by + s; y++)
            for (int x = bx; x < bx + s; x++) {
              if (x < 0 || y < 0 || x >= LEVEL_WIDTH || y >= LEVEL_HEIGHT) continue;
              LevelCell& cell = level_cell(x, y);
              cell.collision = type;
              cell.foreground = colour;
              cell.background = 0x8000 | (3 << 10) | (3 << 5) | 6;
            }
        }
      }
      (void)placed_hero;
      ln = end;
    } else if (cmd == "level") {
      int level;
      unsigned long long seed;
      if (!(in >> level >> seed) || level < 1) die("%s: level N SEED", where().c_str());
      generate(level, seed);
    } else if (cmd == "hero") {
      float x, y;
      if (!(in >> x >> y)) die("%s: hero X Y", where().c_str());
      reset_hero(x, y);
    } else if (cmd == "spawn") {
      int id;
      float x, y;
      if (!(in >> id >> x >> y)) die("%s: spawn ID X Y", where().c_str());
      if (!add_enemy(id, x, y)) die("%s: no object of type %d", where().c_str(), id);
    } else if (cmd == "types") {
      num_enemy_types = 0;
      int mask;
      while (num_enemy_types < MAX_ENEMY_TYPES && in >> std::hex >> mask) enemy_types[num_enemy_types++] = mask;
      if (num_enemy_types == 0) die("%s: types MASK [MASK MASK] (hex part masks)", where().c_str());
    } else if (cmd == "set") {
      std::string what;
      double v;
      if (!(in >> what >> v)) die("%s: set rate|destr|health VALUE", where().c_str());
      if (what == "rate") hero_shoot_rate = float(v);
      else if (what == "destr") bullet_wall_destr = int(v);
      else if (what == "health") set_hero_health(int(v));
      else die("%s: unknown setting '%s'", where().c_str(), what.c_str());
    } else if (cmd == "aim" || cmd == "aimrel") {
      if (!(in >> drive.aimX >> drive.aimY)) die("%s: %s X Y", where().c_str(), cmd.c_str());
      drive.aimSet = true;
      drive.aimRelative = cmd == "aimrel";
    } else if (cmd == "step") {
      int n;
      bool b[4];
      if (!(in >> n) || n < 0) die("%s: step N [buttons]", where().c_str());
      if (!read_buttons(in, b, &error)) die("%s: %s", where().c_str(), error.c_str());
      steps(n, b);
    } else if (cmd == "until") {
      std::string text, word;
      bool result = false;
      int n;
      if (!condition(in, &result, &text, &error)) die("%s: %s", where().c_str(), error.c_str());
      if (!(in >> word >> n) || word != "max") die("%s: until QUANTITY OP VALUE max N [buttons]", where().c_str());
      bool b[4];
      if (!read_buttons(in, b, &error)) die("%s: %s", where().c_str(), error.c_str());
      std::string rest = code.substr(code.find("until") + 5);
      int done = 0;
      for (;;) {
        std::istringstream again(rest);
        if (!condition(again, &result, &text, &error)) die("%s: %s", where().c_str(), error.c_str());
        if (result) break;
        if (done == n) {
          fprintf(out, "FAIL %s: until %s: not within %d updates\n", where().c_str(), text.c_str(), n);
          failures++;
          break;
        }
        steps(1, b);
        done++;
      }
    } else if (cmd == "mark") {
      drive.updates = 0;
      memset(drive.soundCount, 0, sizeof(drive.soundCount));
    } else if (cmd == "expect") {
      std::string text;
      bool result = false;
      if (!condition(in, &result, &text, &error)) die("%s: %s", where().c_str(), error.c_str());
      if (!result) {
        fprintf(out, "FAIL %s: expect %s\n", where().c_str(), text.c_str());
        failures++;
      } else if (drive.print) {
        fprintf(out, "ok %s\n", text.c_str());
      }
    } else if (cmd == "bullet") {
      int flags;
      float x, y, vx, vy;
      std::string owner;
      if (!(in >> flags >> x >> y >> vx >> vy)) die("%s: bullet FLAGS X Y VX VY [hero]", where().c_str());
      in >> owner;
      Entling* shooter = owner == "hero" ? reinterpret_cast<Entling*>(hero) : nullptr;
      if (!add_bullet(flags, shooter, vec4float(x, y, 8, 1), vec4float(vx, vy, 0, 0)))
        die("%s: no bullet", where().c_str());
    } else if (cmd == "hit") {
      int index, gx, gy;
      if (!(in >> index >> gx >> gy)) die("%s: hit PART GX GY", where().c_str());
      if (index < 0 || index >= BossPart_list.size()) die("%s: no boss part %d", where().c_str(), index);
      PartView* p = reinterpret_cast<PartView*>(static_cast<void*>(BossPart_list[index]));
      vec4float at = vec4float(float(gx) + 0.5f, float(gy) + 0.5f, 0, 1) * p->tm;
      entling_view(p)->hit(at, 1);
    } else if (cmd == "dump") {
      int x0, y0, x1, y1;
      if (!(in >> x0 >> y0 >> x1 >> y1)) die("%s: dump X0 Y0 X1 Y1", where().c_str());
      dump_cells(x0, y0, x1, y1);
    } else if (cmd == "hurt") {
      hit_hero_by_enemy();
    } else if (cmd == "swap") {
      swap_library();
    } else if (cmd == "echo") {
      std::string rest;
      std::getline(in, rest);
      if (drive.print) fprintf(out, "#%s\n", rest.c_str());
    } else {
      die("%s: unknown command '%s'", where().c_str(), cmd.c_str());
    }
  }
  return failures;
}

Scenario load_scenario(const char* path) {
  Scenario sc;
  sc.path = path;
  std::ifstream in(path);
  if (!in) die("cannot read %s", path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    sc.lines.push_back(line);
  }
  return sc;
}

// ---- the scripted player
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

const int ROOM_W = ROOM_TILES_X * TILE_CELLS, ROOM_H = ROOM_TILES_Y * TILE_CELLS;

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

// An explosive's fields (a barrel's or a bomb's) in the library's order, up to its velocity.
struct ExplosiveView : BaseObject {
  float fuse;
  vec4float pos, prevPos;
  Matrix44 tm;
  float vel[2];
};

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

// The cells of the hero's box standing at (x, s): it stands a hair above the floor, so its 15
// cells of height reach into a 16th row.
Rect hero_box(int x, int s) { return Rect{x - 4, s, x + 3, s + 15}; }

// Horizontal reach of a jump that rises `rise` above its start to pass over and lands `land`
// above it (negative below), at the running speed.
float jump_reach(int rise, int land) {
  const float v0 = 195, g = 500;
  float a = v0 * v0 - 2 * g * float(rise), b = v0 * v0 - 2 * g * float(land);
  if (a < 0 || b < 0) return 0;
  float t_up = (v0 - sqrtf(a)) / g, t_land = (v0 + sqrtf(b)) / g;
  return 100 * (t_land - t_up) - 10;
}

// Which way the player holds in the air (and on the ground while a move is under way): toward
// `air_x` until within 2 cells of it, but not sideways while still rising below `min_y`.
int air_steer(float x, float y, float vy, bool on_ground, float air_x, float min_y) {
  float dx = air_x - x;
  if (fabsf(dx) <= 2) return 0;
  if (!on_ground && y < min_y && vy > 0) return 0;
  return dx > 0 ? 1 : -1;
}

// The hero's motion as its update moves it, one sub-step at a time, against the level's cells (no
// objects): what the player's predictions play through.
struct HeroMotion {
  static constexpr float DT = 0.0125f;  // the hero's sub-step
  vec4float pos;
  float vx = 0, vy = 0, air = 0;
  // A sub-step's change of velocity holding `move` (-1, 0, 1), and the jump button when `jump`.
  void speedUp(int move, bool jump) {
    vy -= DT * (air > 0.15f ? 500.f : 50.f);
    float wanted = 100.f * float(move), rate = (move ? 500.f : 1500.f) * DT;
    vx = wanted - vx > rate ? vx + rate : wanted - vx < -rate ? vx - rate : wanted;
    if (jump && air <= 0.15f) air += 0.15f, vy += 195;
    vy = std::max(-300.f, std::min(300.f, vy));
  }
  // One whole sub-step: the velocity, then the move against the cells; the collision flags.
  int step(int move, bool jump) {
    speedUp(move, jump);
    float ground[2] = {0, 0};
    int flags =
        collide_moving_box(pos, pos + vec4float(vx, vy, 0, 0) * DT, vec4float(-4, 0, 4, 15), nullptr, ground, 4.0f);
    if ((flags & HIT_LEFT) && vx < 0) vx = 0;
    if ((flags & HIT_RIGHT) && vx > 0) vx = 0;
    if ((flags & HIT_CEILING) && vy > 0) vy = 0;
    if ((flags & HIT_GROUND) && vy < 0) vy = 0;
    if (flags & HIT_GROUND) air = 0;
    else air += DT;
    return flags;
  }
};

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

// The flights played through so far, by take-off spot, aim and way of steering: where each lands.
typedef std::unordered_map<uint64_t, int64_t> FlightCache;

// Plans from the hero's spot to the next room (or onto the exit when `next` is -1); with `dig`
// the route may pass destructible cells; with `bonus` the goal is taking that bonus instead, at no
// more than `max_cost`.
Plan plan_route(const CellSums& cs, float hx, float hy, int ux0, int uy0, int ux1, int uy1, int next, bool dig,
                const std::vector<uint64_t>& banned, FlightCache& flights, const vec4float* bonus = nullptr,
                int max_cost = 1 << 30) {
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
          if (sim_jump(float(a.x), float(a.s), way == 2 ? 100.f * float(aim > a.x ? 1 : -1) : 0.f, float(aim),
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
      fprintf(::out, "no way; reached:");
      for (size_t i = 0; i < spots.size(); i++)
        if (dist[i] < (1 << 30)) fprintf(::out, " (%d, %d)%s", spots[i].x, spots[i].s, spots[i].dig ? "d" : "");
      fprintf(::out, "\n");
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

// ---- the boss fight
//
// Whenever the boss lives and the hero is on its floor near it, the player fights it instead of
// following the rooms (fight_boss). Each update it looks 0.8 s ahead for a few button choices
// (stand, walk either way, and the same with a jump), the hero running and jumping as it does and
// the boss's bullets and bombs flying on, and takes the choice that is not hit and best keeps the
// spot it wants. It shoots at a cell of the body's subparts that a shot from its shoulder reaches
// through no armour and the fewest hull cells, the core before the plates. The spot is chosen again
// every half second on the floor in front of the boss: where such a shot exists standing, or else
// from the top of a jump (then it jumps there and shoots on the way up and down).

// A bullet's fields in the library's order.
struct BulletView : BaseObject {
  vec4float pos, prevPos, vel;
  int32_t bulletFlags;
};

const int FIGHT_LOOKAHEAD = 64;  // sub-steps: 0.8 s
// The camera stays 0.3 of the way from the hero to the pointer, so the pointer reaches a point up
// to about 150 cells to the side of the hero (and 85 above) on the 640 x 360 screen; a spot to fight
// from leaves a margin, as the boss walks and the hero dodges.
const float FIGHT_REACH = 140;

struct BossFight {
  PartView* body = nullptr;
  std::vector<int8_t> region;  // per body cell: the index of its subpart's seed, -1 for none
  int regionW = 0, regionH = 0;
  float floorY = 0;       // the floor the hero fights on
  float spotX = 0;        // where it wants to stand
  bool spotApex = false;  // shooting from the top of a jump there
  int spotAge = 1 << 20;  // updates since the spot was chosen
  int jumpIn = -1;        // sub-steps to a jump planned for later (-1 none)
  int updates = 0;        // of the fight
  int lastVolley = -1;    // the update of the guns' last volley (-1 none seen)
  // The next volley, fired half a second after the last one: each gun's muzzle and the bullet's
  // velocity, the guns turned towards the hero as far as they can turn meanwhile.
  int volleyIn = -1;  // sub-steps from now (-1 none expected)
  vec4float volleyAt[2], volleyVel[2];
};

// The guns' next volley as the boss will fire it (its guns are parts 5 and 7 while it is whole).
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
    bool jump = jump_at >= 0 && i > jump_at && air <= 0.15f;
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
  bool can_jump = h->airTime <= 0.15f && !drive.held[2];
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

struct PlayResult {
  bool boss = false;  // the level has a boss
  bool killedBoss = false;
  int killStep = 0, killHealth = 0;  // when the boss died, and the hero's health then
  bool exited = false;
  int steps = 0;
  float x = 0, y = 0, exitX = 0;
  std::string why;
};

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

PlayResult play_level(int level, uint64_t seed, int max_steps) {
  reset_run();
  drive.print = drive.trace;
  generate(level, seed);
  PlayResult r;
  float exitY = -1;
  find_exit(&r.exitX, &exitY);
  int end_room = r.exitX < 0 ? -1 : room_of(r.exitX, exitY);
  r.boss = !Boss1_list.empty();
  if (end_room < 0 && r.boss) {  // the boss's death places the exit: head for the boss
    vec4float at = entling_view(Boss1_list[0])->getPos();
    end_room = room_of(at.x(), at.y());
  }
  if (end_room < 0) return r.why = "no exit in the level", r;
  if (drive.startHealth > 0) set_hero_health(drive.startHealth);
  CellSums cs;
  int room = -1, next = -1, last_room_step = 0, rooms_entered = 0;
  size_t best_remaining = size_t(-1);
  int sums_room = -1, sums_changes = -1, sums_step = 0;
  int dump_x0 = 0, dump_y0 = 0, dump_x1 = -1, dump_y1 = -1;
  std::vector<int> route;
  float air_x = 0;          // where the move in progress is heading
  float air_min_y = -1e9f;  // and the height to rise to before going sideways
  bool air_set = false;     // a move is in progress
  int no_plan = 0, jump_wait = 0;
  std::vector<uint64_t> banned;
  std::map<uint64_t, int> jump_tries;
  FlightCache flights;
  int stall = 0;     // updates spent pushing on the ground without moving
  int standoff = 0;  // updates spent standing to shoot an enemy close by
  float stall_x = 0;
  int runup = 0, runup_dir = 0, runup_step = 0;  // 1 backing off, 2 running at the take-off
  float runup_x = 0;
  std::string last_why;
  std::vector<uint64_t> hearts_left;  // hearts given up on, by position
  uint64_t chased_heart = 0;
  int chase_step = 0;
  float dodging = 0;     // how much of late the hero has dodged rather than gone its way
  int barrel_step = -1;  // when the hero set about clearing a barrel out of its way (-1 none)
  vec4float barrel_at;
  int barrel_dir = 0;  // the way it backs off
  BossFight fight;
  if (drive.atBoss) {
    if (Boss1_list.empty() || BossPart_list.empty()) return r.why = "no boss", r;
    vec4float at = entling_view(Boss1_list[0])->getPos();
    reset_hero(at.x() - drive.bossDistance, entling_view(BossPart_list[0])->getBox().y());
  }
  for (int step = 0; step < max_steps; step++) {
    const HeroView* h = hero_view();
    if (!h) return r.why = "no hero", r;
    bool fight_buttons[4] = {false, false, false, false};
    if (fight_boss(fight, h, fight_buttons)) {
      // The fight; the walk's progress clock waits meanwhile.
      hold(fight_buttons);
      update_once(drive.trace);
      r.steps = step + 1;
      r.x = hero_view()->pos.x();
      r.y = hero_view()->pos.y();
      last_room_step = step;
      if (hero_view()->health < 1) return r.why = "killed by the boss", r;
      continue;
    }
    if (r.boss && !r.killedBoss && ExitFx_list.size()) {
      // The boss is dead and the exit is in place: on to it.
      r.killedBoss = true;
      r.killStep = step, r.killHealth = h->health;
      find_exit(&r.exitX, &exitY);
      if (r.exitX >= 0) end_room = room_of(r.exitX, exitY);
      room = -1;
      best_remaining = size_t(-1);
    }
    float x = h->pos.x(), y = h->pos.y();
    int now = room_of(x, y + 7);
    if (now != room && now >= 0) {
      room = now;
      rooms_entered++;
      route = room_route(room, end_room);
      // Progress is a room nearer the exit than any before (going back and forth is none).
      if (!route.empty() && route.size() < best_remaining) {
        best_remaining = route.size();
        last_room_step = step;
        jump_tries.clear();  // earlier failures may have been bad luck
        banned.clear();
      }
      next = route.size() >= 2 ? route[1] : -1;
    }
    bool on_ground = h->airTime < 0.05f;
    bool b[4] = {false, false, false, false};
    drive.aimSet = true;
    drive.aimRelative = true;
    drive.aimX = 40;
    drive.aimY = 8;
    bool cutting = false;
    if (jump_wait > 0) jump_wait--;
    if (on_ground && runup != 0) {
      // A run-up: back off from the take-off, then run at it and jump there.
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
    } else if (on_ground && room >= 0 && (route.size() >= 2 || room == end_room)) {
      // The planning area: this room and the next two, with a margin for the moves that cross;
      // the goal is the second room ahead, so that a hero on the border of two rooms heads the
      // same way from either.
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
      // With little health left, a heart close by is worth a short detour, as a player picks up
      // what lies near the way; one chased for long without being taken is left where it is.
      Plan p;
      bool heart = false;
      vec4float heart_at;
      float heart_d = 200;
      for (int i = 0; i < HeartBonus_list.size() && h->health <= 2; i++) {
        vec4float at = reinterpret_cast<BonusView*>(static_cast<void*>(HeartBonus_list[i]))->pos;
        float d = fabsf(at.x() - x) + fabsf(at.y() - y);
        if (d < heart_d && at.x() >= float(ux0 - 16) && at.x() <= float(ux1 + 16) && at.y() >= float(uy0) &&
            at.y() <= float(uy1) &&
            std::find(hearts_left.begin(), hearts_left.end(), heart_key(at)) == hearts_left.end())
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
              !plan_route(cs, float(p.end.x), float(p.end.s), ux0 - 16, uy0, ux1 + 16, uy1, goal, false, banned,
                          flights)
                   .found) {
            hearts_left.push_back(chased_heart);
            p = Plan();
          }
        }
        if (p.found && drive.trace) fprintf(out, "heart at (%.0f, %.0f): on the way to it\n", at.x(), at.y());
      }
      if (!p.found) p = plan_route(cs, x, y, ux0 - 16, uy0, ux1 + 16, uy1, goal, false, banned, flights);
      if (!p.found) p = plan_route(cs, x, y, ux0 - 16, uy0, ux1 + 16, uy1, goal, true, banned, flights);
      if (!p.found) {
        no_plan++;
        last_why = "no route from room " + room_name(room) + " (exits:" + exits_of(room) + ")";
        for (size_t k = 1; k < route.size() && k <= 2; k++)
          last_why += std::string(k == 1 ? " " : ", then ") + side_name(route[k - 1], route[k]) + " to " +
                      room_name(route[k]) + " (exits:" + exits_of(route[k]) + ")";
        if (route.size() <= 2) last_why += " onto the exit";
      } else {
        no_plan = 0;
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
        } else if (p.to.x != p.from.x || p.to.s != p.from.s) {
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
            // Played through from where the hero stands now, the jump would land elsewhere: take
            // off from the planned spot, standing.
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
            // Down to a ledge near by: step off the edge rather than jump (a jump rises 38 cells
            // and may land higher up), a little past the spot, whose box may still rest on the edge.
            air_x = float(p.to.x + (p.to.x >= p.from.x ? 6 : -6));
          } else if (m.jump && jump_wait == 0) {
            b[2] = true;
            jump_wait = 2;
            // A jump tried over and over without reaching a new room is given up: the planner
            // looks for another way.
            uint64_t key = jump_key(p.from.x, p.from.s, p.to.x, p.to.s);
            int& tries = jump_tries[key];
            if (++tries >= 4) banned.push_back(key);
          }
        } else {
          air_set = false;  // at the goal: stand (on the exit)
        }
      }
    }
    if (air_set) {
      int dir = air_steer(x, y, h->vel[1], on_ground, air_x, air_min_y);
      if (dir) b[dir < 0 ? 0 : 1] = true;
    }
    // Walking on the ground without getting anywhere: an object (a barrel, a sleeping enemy) is in
    // the way. Jump it; only when that does not help, shoot it (a barrel's blast hurts close by).
    // (What counts is the direction held in the last update, as the hero got it: a stop to dodge
    // or to shoot is no push. A hop that gets nowhere either, under a low ceiling, keeps the count.)
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
    vec4float target;
    if (!cutting && stall < 30 && nearest_enemy(h->pos, &target)) {
      drive.aimRelative = false;
      drive.aimX = target.x();
      drive.aimY = target.y();
      b[3] = true;
      // An enemy close by is shot down from where the hero stands, not walked into (for a while).
      bool close = fabsf(target.x() - x) + fabsf(target.y() - y) < 110;
      standoff = close && on_ground && !b[2] && runup == 0 ? standoff + 1 : 0;
      if (standoff > 0 && standoff < 40) b[0] = b[1] = false;
    } else {
      standoff = 0;
    }
    // An enemy's bullet on its way: jump it when a jump clears it, or else stop or turn back when
    // that does, as a player sees a shot coming; but not for long under a steady fire, which would
    // pin the hero down (then it goes on and takes its chances).
    dodging = std::max(0.f, dodging - 0.2f);
    if (on_ground && !b[2] && runup == 0 && Bullet_list.size() && dodging < 6) {
      int move = b[0] ? -1 : b[1] ? 1 : 0;
      if (bullets_ahead(h, move, false, false)) {
        dodging += 1;
        if (jump_wait == 0 && !bullets_ahead(h, move, true)) b[2] = true, jump_wait = 2;
        else if (move && !bullets_ahead(h, 0, false)) b[0] = b[1] = false;
        else if (!bullets_ahead(h, -1, false)) b[0] = true, b[1] = false;
        else if (!bullets_ahead(h, 1, false)) b[0] = false, b[1] = true;
        if (drive.trace) fprintf(out, "dodging a bullet\n");
      }
    }
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
    if (reached_exit) {
      r.exited = true;
      return r;
    }
    if (hero_view()->health < 1) {
      r.why = hero_view()->pos.y() < -400 ? "fell out" : "killed";
      return r;
    }
    if (step - last_room_step > 1200 || no_plan > 200) {
      r.why = !last_why.empty() ? last_why : "stuck in room " + room_name(room);
      if (room >= 0 && last_why.rfind("no route", 0) != 0)
        r.why += " (exits:" + exits_of(room) + ", heading " + (next >= 0 ? side_name(room, next) : "to the exit") + ")";
      break;
    }
  }
  if (r.why.empty()) r.why = "out of time in room " + room_name(room);
  if (drive.dumpStuck) {
    // The objects near where it stopped.
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
    // The rooms the player was planning over.
    if (dump_x1 >= 0) dump_cells(dump_x0 - 8, std::max(0, dump_y0 - 8), dump_x1 + 8, dump_y1);
    else {
      int hx = int(hero_view()->pos.x()), hy = int(hero_view()->pos.y());
      dump_cells(hx - 60, hy - 40, hx + 60, hy + 80);
    }
  }
  (void)rooms_entered;
  return r;
}

bool parse_range(const char* s, int* a, int* b) {
  if (sscanf(s, "%d-%d", a, b) == 2) return *a <= *b;
  if (sscanf(s, "%d", a) == 1) return *b = *a, true;
  return false;
}

int run_player(int l0, int l1, int s0, int s1, int max_steps, int expect_exits, int expect_kills) {
  int total = 0, exited = 0, kills = 0, bosses = 0;
  for (int level = l0; level <= l1; level++) {
    int level_exits = 0, level_total = 0;
    for (int seed = s0; seed <= s1; seed++) {
      PlayResult r = play_level(level, uint64_t(seed), max_steps);
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

// The cost of an update and of a frame's object drawing with every spawn awake (each drawn once on
// a screen that sees the whole level), and the drive's own updates per second.
int run_bench(int level, uint64_t seed) {
  reset_run();
  drive.print = false;
  generate(level, seed);
  int objects =
      BaseEnemy_list.size() + ExplBarrel_list.size() + Bomb_list.size() + HeartBonus_list.size() + UpBonus_list.size();
  // A screen as wide as the level wakes every enemy in one frame.
  cur_view_x0 = -64;
  cur_view_y0 = -64;
  cur_view_x1 = LEVEL_WIDTH + 64;
  cur_view_y1 = LEVEL_HEIGHT + 64;
  start_sprite_render();
  render_entling(0.05f);
  end_sprite_render();
  const int rounds = 400;
  std::vector<double> upd, draw;
  for (int i = 0; i < rounds; i++) {
    double a = now_us();
    update_entling(0.05f);
    update_junk(0.05f);
    double b = now_us();
    start_sprite_render();
    render_entling(0.05f);
    render_junk(0.05f);
    end_sprite_render();
    double c = now_us();
    upd.push_back(b - a);
    draw.push_back(c - b);
  }
  std::sort(upd.begin(), upd.end());
  std::sort(draw.begin(), draw.end());
  fprintf(out, "level %d seed %llu: %d objects placed, %d enemies left after %d updates\n", level,
          (unsigned long long)seed, objects, BaseEnemy_list.size(), rounds);
  fprintf(out, "update step: median %.1f us, 90th percentile %.1f us\n", upd[rounds / 2], upd[rounds * 9 / 10]);
  fprintf(out, "object drawing of a frame: median %.1f us\n", draw[rounds / 2]);
  reset_run();
  generate(level, seed);
  double a = now_us();
  int n = 0;
  bool none[4] = {false, true, false, false};
  while (now_us() - a < 1e6) {
    hold(none);
    update_once(false);
    n++;
  }
  fprintf(out, "drive: %.0f updates per second (update, virtual frame, input)\n", n / ((now_us() - a) / 1e6));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Standard output becomes the drive's alone: the game logs every line there too.
  out = fdopen(dup(1), "w");
  setvbuf(out, nullptr, _IOLBF, 0);
  if (!freopen("/dev/null", "w", stdout)) die("cannot silence the log's standard output");
  const char* scenario = nullptr;
  bool repeat = false;
  int player_l0 = 0, player_l1 = 0, player_s0 = 0, player_s1 = 0, max_steps = 5000, expect_exits = 0, expect_kills = 0;
  bool player = false, bench = false;
  int bench_level = 12;
  unsigned long long bench_seed = 1;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    auto next = [&]() -> const char* {
      if (i + 1 >= argc) die("%s needs a value", a.c_str());
      return argv[++i];
    };
    if (a == "--data") drive.dataDir = next();
    else if (a == "--lib") drive.libPath = next();
    else if (a == "--repeat") repeat = true;
    else if (a == "--swap-at") drive.swapAt = atoi(next());
    else if (a == "--max-steps") max_steps = atoi(next());
    else if (a == "--expect-exits") expect_exits = atoi(next());
    else if (a == "--expect-kills") expect_kills = atoi(next());
    else if (a == "--dump-stuck") drive.dumpStuck = true;
    else if (a == "--at-boss") drive.atBoss = true;
    else if (a == "--boss-distance") drive.bossDistance = float(atof(next()));
    else if (a == "--health") {
      drive.startHealth = atoi(next());
      if (drive.startHealth < 1) die("--health needs a number from 1");
    } else if (a == "--trace") drive.trace = true;
    else if (a == "--rebuild-root") drive.rebuildRoot = next();
    else if (a == "--sources") drive.sources = next();
    else if (a == "--player") {
      player = true;
      if (!parse_range(next(), &player_l0, &player_l1)) die("--player LEVELS SEEDS (ranges like 1-3)");
      if (!parse_range(next(), &player_s0, &player_s1)) die("--player LEVELS SEEDS (ranges like 1-50)");
    } else if (a == "--bench") {
      bench = true;
      bench_level = atoi(next());
      bench_seed = strtoull(next(), nullptr, 10);
    } else if (a[0] == '-') die("unknown option %s", a.c_str());
    else scenario = argv[i];
  }
  if (drive.dataDir.empty() || drive.libPath.empty() || (!scenario && !player && !bench))
    die("usage: world_drive --data DIR --lib LIB [--repeat] [--swap-at N] SCENARIO | --player L S | --bench L SEED");
  // The game's log goes to the drive's own folder; its lines on standard output would mix with
  // the state lines, so only the state lines and results are printed.
  char* absolute = realpath(drive.dataDir.c_str(), nullptr);
  if (!absolute) die("no program folder %s", drive.dataDir.c_str());
  drive.dataDir = absolute;
  free(absolute);
  if (!drive.rebuildRoot.empty()) {
    if (drive.sources.empty()) die("--rebuild-root needs --sources (the library's source folder)");
    std::string cmd = "mkdir -p '" + drive.rebuildRoot + "'";
    if (system(cmd.c_str()) != 0) die("cannot make %s", drive.rebuildRoot.c_str());
    for (std::string* path : {&drive.rebuildRoot, &drive.sources}) {
      char* full = realpath(path->c_str(), nullptr);
      if (!full) die("no folder %s", path->c_str());
      *path = full;
      free(full);
    }
  }
  make_program_folder();
  setenv("APPDATA", drive.folder.c_str(), 1);
  start_world();
  int rc = 0;
  if (player) rc = run_player(player_l0, player_l1, player_s0, player_s1, max_steps, expect_exits, expect_kills);
  else if (bench) rc = run_bench(bench_level, bench_seed);
  else {
    Scenario sc = load_scenario(scenario);
    int swap_at = drive.swapAt;
    drive.swapAt = -1;
    int failures = run_scenario(sc);
    std::vector<std::string> first = drive.lines;
    if (repeat) {
      fprintf(out, "# again%s\n", swap_at >= 0 ? ", with the library swapped" : "");
      drive.swapAt = swap_at;
      failures += run_scenario(sc);
      if (swap_at >= 0 && drive.swaps == 0) {
        fprintf(out, "FAIL: the scenario ended before update %d, where the swap was due\n", swap_at);
        failures++;
      }
      if (drive.lines != first) {
        size_t i = 0;
        while (i < first.size() && i < drive.lines.size() && first[i] == drive.lines[i]) i++;
        fprintf(out, "FAIL: the second run differs at state line %zu:\n  first:  %s\n  second: %s\n", i + 1,
                i < first.size() ? first[i].c_str() : "(none)",
                i < drive.lines.size() ? drive.lines[i].c_str() : "(none)");
        failures++;
      }
    }
    fprintf(out, "%s: %d failed\n", failures ? "FAILED" : "passed", failures);
    rc = failures ? 1 : 0;
  }
  stop_world();
  remove_program_folder();
  return rc;
}
