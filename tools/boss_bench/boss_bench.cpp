// Boss benchmark, run by hand: the cost of one world step with the level-4 boss awake and fighting
// (walking, aiming, firing, dropping bombs, its parts colliding with the level and held by their
// joints, shots chewing holes into it).   boss_bench <program folder> <entling.dll>
// The hero stands near the boss and shoots at it every third step (a ray at the boss's parts and the
// struck part's hit, as a hero's bullet does). Shots and bombs are cleared between the timed steps, so
// the figure is the boss's own.
#include <dlfcn.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <vector>
#include "engine/app.h"
#include "engine/sysUtils.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/levelTemplates.h"
#include "game/gen/loadTiles.h"
#include "game/objectLists.h"
#include "game/progression.h"
#include "tools/harness/entlingViews.h"
#include "tools/toolUsage.h"

static double now_us() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static void print_figures(const char* what, std::vector<double> t) {
  std::sort(t.begin(), t.end());
  printf("%s: median %.1f us, 90th percentile %.1f us, max %.1f us over %d steps\n", what, t[t.size() / 2],
         t[t.size() * 9 / 10], t.back(), int(t.size()));
}

// Clears the step's shots and bombs outside the timing.
static void clear_shots() {
  for (int i = 0; i < Bullet_list.size(); i++) ((BaseObject*)Bullet_list[i])->destroy();
  for (int i = 0; i < Bomb_list.size(); i++) ((BaseObject*)Bomb_list[i])->destroy();
  delete_entling();
}

static float boss_x = 0, boss_y = 0;
static Entling* (*library_add_enemy)(int, float, float) = nullptr;
// The generator's placement, remembering where the boss stands; only the boss is placed.
static Entling* place_boss_only(int type_id, float x, float y) {
  if (type_id != TYPE_BOSS1) return nullptr;
  boss_x = x;
  boss_y = y;
  return library_add_enemy(type_id, x, y);
}

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "boss_bench",
                        "usage: boss_bench <program folder> <actor library>\n"
                        "Prints what an update step costs with the level-4 boss fighting, from the program\n"
                        "folder (bin) and the actor library (build/entling/entling_lib.so).\n",
                        2, 2);
  void* lib = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto by_name = (GetEntlingFuncByNameFn)dlsym(lib, "get_entling_func_by_name");
  auto class_sizes = (GetEntlingClassSizesFn)dlsym(lib, "get_entling_class_sizes");
  int count = 0;
  const int* sizes = class_sizes ? class_sizes(&count) : nullptr;
  std::string wrong = check_entling_views(sizes, count);
  if (!wrong.empty()) {
    fprintf(stderr, "boss_bench: the library's classes changed; update tools/harness/entlingViews.h:\n%s",
            wrong.c_str());
    return 1;
  }
  for (int i = 0; i < NUM_ENTLING_API; i++) *entling_api_slot(i) = by_name(entling_api_names[i]);
  snprintf(app_path, sizeof(app_path), "%s/", argv[1]);
  load_level_tiles();
  init_level_tile_pools();
  level_layout_generator = build_level_layout;
  hero = (Hero*)new_entling_by_id(TYPE_HERO);
  library_add_enemy = add_enemy;
  add_enemy = place_boss_only;
  cur_level = 4;
  game_rnd_seed = 7;
  generate_level();
  add_enemy = library_add_enemy;
  if (Boss1_list.size() != 1) {
    fprintf(stderr, "no boss on level 4\n");
    return 1;
  }
  bullet_wall_destr = 2;
  reset_hero(boss_x - 120, boss_y);

  std::vector<double> fighting;
  uint32_t aim = 1;
  int struck_count = 0, died_at = -1;
  for (int step = 0; step < 2000; step++) {
    if (step % 3 == 0) {
      aim = aim * 1664525u + 1013904223u;
      // At a random point of the body's height, from the hero's gun.
      vec4float from(boss_x - 120, boss_y + 8, 0, 1);
      vec4float target(boss_x, boss_y + 26 + float((aim >> 16) % 48), 0, 1);
      vec4float motion = (target - from) * 3.0f;
      Entling* struck = nullptr;
      float f = trace_ray_enemies(nullptr, &struck, from, motion, 2, 0.05f, 1);
      if (struck && f >= 0) {
        view<EntlingView>((BaseObject*)struck)->hit(from + motion * f, 1);
        struck_count++;
      }
    }
    double a = now_us();
    update_entling(0.05f);
    fighting.push_back(now_us() - a);
    clear_shots();
    if (died_at < 0 && ExitFx_list.size() > 0) died_at = step;
  }
  print_figures("one update_entling step, boss awake and fighting", fighting);
  printf("shots that struck the boss: %d of %d; ", struck_count, 2000 / 3 + 1);
  if (died_at >= 0) printf("they killed it (the exit appeared) at step %d\n", died_at);
  else printf("it survived them\n");
  remove_all_entling();
  close_level_tiles();
  return 0;
}
