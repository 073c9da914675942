// The scenario runner: a scenario file's commands, one a line, played on the drive's world, its
// expectations checked. With --swap-at N a fresh copy of the library is swapped in after update N
// (the run fails when it ends before); with --repeat the scenario runs a second time in the same
// process (the swap, if any, in the second run) and every state line must match the first run's.
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
// hero.face exit steps junk swaps (the library swaps so far), the list counts heroes enemies bullets barrels bombs hearts ups parts
// exitfx bosses, the level's exit cell exit.x exit.y (-1 while it has none, as the elevator looks
// for it), the first enemy's enemy.x enemy.y enemy.vx enemy.face enemy.asleep enemy.health,
// snd.<event name> (plays since the last mark), "cells X0 Y0 X1 Y1" (non-empty cells of the
// rectangle), and <list>.<index>.<cx|cy|x0|y0|x1|y1>, the box of an object of the heroes, enemies,
// barrels, bombs or parts list (e.g. "enemies.0.cx").
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "driveWorld.h"
#include "engine/app.h"
#include "game/entlingApi.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/gen/levelGenRuntime.h"
#include "game/levelGrid.h"
#include "game/objectLists.h"
#include "game/particles.h"
#include "game/progression.h"

namespace world_drive {
namespace {

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
  if (name == "swaps") return drive.swaps;
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

}  // namespace

int run_scenario_file(const char* path, bool repeat) {
  Scenario sc = load_scenario(path);
  int swap_at = drive.swapAt;
  int failures = 0;
  if (!repeat) {
    // One run, the library swapped in after update N when asked: the scenario's expectations hold
    // across the swap.
    failures = run_scenario(sc);
  } else {
    drive.swapAt = -1;
    failures = run_scenario(sc);
    std::vector<std::string> first = drive.lines;
    fprintf(out, "# again%s\n", swap_at >= 0 ? ", with the library swapped" : "");
    drive.swapAt = swap_at;
    failures += run_scenario(sc);
    if (drive.lines != first) {
      size_t i = 0;
      while (i < first.size() && i < drive.lines.size() && first[i] == drive.lines[i]) i++;
      fprintf(out, "FAIL: the second run differs at state line %zu:\n  first:  %s\n  second: %s\n", i + 1,
              i < first.size() ? first[i].c_str() : "(none)",
              i < drive.lines.size() ? drive.lines[i].c_str() : "(none)");
      failures++;
    }
  }
  if (swap_at >= 0 && drive.swaps == 0) {
    fprintf(out, "FAIL: the scenario ended before update %d, where the swap was due\n", swap_at);
    failures++;
  }
  fprintf(out, "%s: %d failed\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}

}  // namespace world_drive
