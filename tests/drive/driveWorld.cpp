// The drive's world (see driveWorld.h): the private program folder, the library's load and swap,
// a run's reset, one update with its virtual frame, and the state line.
#include "driveWorld.h"
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <fstream>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/input.h"
#include "engine/loadSprite.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/camera.h"
#include "game/entlingApi.h"
#include "game/entlingReload.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/loadTiles.h"
#include "game/objectLists.h"
#include "game/particles.h"
#include "game/progression.h"
#include "game/sceneView.h"
#include "platform/platform.h"

namespace world_drive {

Drive drive;
FILE* out = stdout;

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
  std::vector<std::string> data = {"sprites", "tiles"};
  if (drive.wholeRun) {
    // The whole game runs: everything of the program folder but the library.
    data.clear();
    if (DIR* d = opendir(drive.dataDir.c_str())) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.' && strncmp(e->d_name, "entling", 7) != 0) data.push_back(e->d_name);
      closedir(d);
    }
  }
  for (const std::string& sub : data) {
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
  std::string wrong = check_entling_views(size, count);
  if (!wrong.empty()) die("the library's classes changed; update tools/harness/entlingViews.h:\n%s", wrong.c_str());
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
  if (snd.empty()) snd.push_back('-');  // (an assignment of "-" trips a false -Wrestrict)
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
  if (drive.modes) {
    update_modes_once();
    if (printing) print_line(state_line());
    return;
  }
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

}  // namespace world_drive
