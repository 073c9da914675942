// Scene benchmark: the game's frame on the real device with a generated level 4 in play and its
// spawns alive, at 1280 x 720 and then at 1920 x 1080. Prints the median and 95th percentile of the
// whole frame (each frame waits for the card), the same frame split by pass (each pass waits for
// the card, so the split adds up to a little more than the whole), the level refill's processor
// time alone and the update step; then the same with the level's boss awake and fighting on screen
// (walking, aiming, firing, dropping bombs; all nine of its parts' grids refilled and drawn every
// frame), the boss parts' drawing split out. Every figure comes in two columns, the world's opaque
// layers painted back to front (the background over the whole screen first) and drawn nearest
// first (the background only where the level and the boss leave it open), the two taking turns
// frame by frame so that a shared machine's load weighs on both alike. First of all the start-up
// from the window to the first presented title frame.
//
// Run: SDL_VIDEODRIVER=offscreen build/scene_bench [program folder] [frames]
// The program folder defaults to bin/ beside the build; run the game or this once first so the
// shader cache is warm.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/loadSprite.h"
#include "engine/onScreenLog.h"
#include "engine/sysUtils.h"
#include "game/baseObject.h"
#include "game/camera.h"
#include "game/entlingApi.h"
#include "game/entlingReload.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/levelRenderer.h"
#include "game/objectLists.h"
#include "game/particles.h"
#include "game/progression.h"
#include "game/sceneView.h"
#include "game/screenPasses.h"
#include "platform/platform.h"
#include "tests/support/entlingViews.h"
#include "tools/toolUsage.h"

namespace {
const int W = 1280, H = 720;

double now_ms() { return double(get_ref_time()) * 1000.0 / double(time_ticks_per_sec()); }
intptr_t proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) { return plat_def_window_proc(w, m, wp, lp); }

struct Series {
  explicit Series(const char* series_name = "") : name(series_name) {}
  const char* name;
  std::vector<double> ms;
  double at(double q) {
    std::vector<double> s = ms;
    std::sort(s.begin(), s.end());
    return s.empty() ? 0 : s[std::min(s.size() - 1, size_t(q * double(s.size())))];
  }
  void print() { printf("  %-26s median %7.3f ms   p95 %7.3f ms\n", name, at(0.5), at(0.95)); }
};

// The frame's passes one by one, as the scene draws them in play, each waiting for the card: in the
// order the world pass uses (level_nearest_first: the boss parts, the level, then the background
// behind them; otherwise the background, the level, then the boss parts).
void split_frame(float t, Series* s) {
  double t0 = now_ms();
  d3d->BeginScene();
  set_frame_view(t);
  set_render_target(scene_texture, 0, true);
  clear_view_z();
  set_zenable(true);
  // The clear goes to the card first: it belongs to no pass.
  flush_gpu();
  compute_visible_rect(free_cam_pos, d3d_wd, d3d_ht, voxel_scale);
  int cx = int(nearbyintf(free_cam_pos.x() - 0.4999999f)), cy = int(nearbyintf(free_cam_pos.y() - 0.4999999f));
  int aw = d3d_wd / voxel_scale + 2, ah = d3d_ht / voxel_scale + 2;
  double background = 0, level = 0, level_cpu = 0, boss = 0, boss_cpu = 0;
  auto time_background = [&] {
    double b0 = now_ms();
    if (level_nearest_first && background_open_blocks_only) {
      static std::vector<int> rects;
      open_background_rects(rects);
      render_background_in(0x00725020, 0x0099723F, rects.data(), int(rects.size() / 4));
    } else {
      render_background(0x00725020, 0x0099723F);
    }
    flush_gpu();
    background = now_ms() - b0;
  };
  // Each group of quads goes to the card before the next, so that each is timed on its own.
  auto time_level = [&] {
    double l0 = now_ms();
    set_level_tm(Matrix44::identity());
    render_area(level_renderer, cx - aw / 2, cy - ah / 2, cx - aw / 2 + aw, cy - ah / 2 + ah, 0.0f);
    level_cpu = now_ms() - l0;
    common_vb_writer.flush(false);
    flush_gpu();
    level = now_ms() - l0;
  };
  auto time_boss = [&] {
    double p0 = now_ms();
    clip_level_rendering(true);
    render_boss(t);
    clip_level_rendering(false);
    boss_cpu = now_ms() - p0;
    common_vb_writer.flush(false);
    flush_gpu();
    boss = now_ms() - p0;
  };
  if (level_nearest_first) {
    start_level_rendering();
    time_boss();
    common_vb_writer.flush(false);
    set_zequal_passes(false);
    time_level();
    end_level_rendering();
    set_zequal_passes(true);
    time_background();
  } else {
    time_background();
    start_level_rendering();
    time_level();
    time_boss();
    end_level_rendering();
  }
  flush_gpu();
  double t2 = now_ms();
  start_sprite_render();
  render_entling(t);
  end_sprite_render();
  flush_gpu();
  double t3 = now_ms();
  render_junk(t);
  flush_gpu();
  double t4 = now_ms();
  render_post_effect();
  flush_gpu();
  double t5 = now_ms();
  set_back_buffer_target();
  cur_game_mode->renderGui(t);
  start_draw_text();
  draw_visual_log();
  draw_error_message();
  end_draw_text();
  d3d->EndScene();
  present_d3d();
  flush_gpu();
  double t6 = now_ms();
  double d[] = {background, level, level_cpu, boss, boss_cpu, t3 - t2, t4 - t3, t5 - t4, t6 - t5, t6 - t0};
  for (int i = 0; i < 10; i++) s[i].ms.push_back(d[i]);
}

const int NUM_SPLIT = 10;
const char* const SPLIT_NAMES[NUM_SPLIT] = {"background",
                                            "level refill and draw",
                                            "  level refill alone (cpu)",
                                            "boss parts refill and draw",
                                            "  boss parts alone (cpu)",
                                            "objects",
                                            "particles",
                                            "post effect",
                                            "GUI, text and present",
                                            "split frame total"};

// The figures of one world drawing order: the whole frame and the frame split by pass.
struct OrderFigures {
  Series whole{"whole frame"};
  Series split[NUM_SPLIT];
  OrderFigures() {
    for (int i = 0; i < NUM_SPLIT; i++) split[i].name = SPLIT_NAMES[i];
  }
};

// The orders timed: [0] paints back to front (the old order), [1] draws the opaque layers nearest
// first with the background over the whole screen behind them, [2] the same with the background cut
// down to the blocks the level leaves open (the game's order).
const int NUM_ORDERS = 3;
const char* const ORDER_NAMES[NUM_ORDERS] = {"painted (old)", "nearest, depth", "nearest, blocks"};
void set_order(int o) {
  level_nearest_first = o > 0;
  background_open_blocks_only = o == 2;
}

// Whole frames, then frames split by pass, the orders taking turns frame by frame so that all see
// the same load of a shared machine.
void time_orders(int frames, OrderFigures* fig) {
  bool saved_nearest = level_nearest_first, saved_blocks = background_open_blocks_only;
  for (int i = 0; i < frames; i++)
    for (int o = 0; o < NUM_ORDERS; o++) {
      set_order(o);
      double f0 = now_ms();
      render_d3d_frame(0.025f);
      present_d3d();
      flush_gpu();
      fig[o].whole.ms.push_back(now_ms() - f0);
    }
  for (int i = 0; i < frames; i++)
    for (int o = 0; o < NUM_ORDERS; o++) {
      set_order(o);
      split_frame(0.025f, fig[o].split);
    }
  level_nearest_first = saved_nearest;
  background_open_blocks_only = saved_blocks;
}

// Medians and 95th percentiles in ms, one pair of columns per order.
void print_orders(OrderFigures* fig) {
  printf("  %-26s", "");
  for (const char* n : ORDER_NAMES) printf(" %-26s", n);
  printf("\n");
  auto row = [&](int i) {
    printf("  %-26s", i < 0 ? fig[0].whole.name : fig[0].split[i].name);
    for (int o = 0; o < NUM_ORDERS; o++) {
      Series& s = i < 0 ? fig[o].whole : fig[o].split[i];
      printf(" median %6.3f p95 %6.3f  ", s.at(0.5), s.at(0.95));
    }
    printf("\n");
  };
  row(-1);
  printf(" by pass (each waits for the card):\n");
  for (int i = 0; i < NUM_SPLIT; i++) row(i);
}

// One screen size: a generated level 4 in play, then its boss fighting, both orders side by side.
void bench_size(WindowHandle win, int width, int height, int frames) {
  if (width != d3d_wd || height != d3d_ht) {
    // The window takes the size too, so that presenting copies the frame one to one as in the game.
    plat_set_window_pos(win, false, 0, 0, width, height);
    if (!reset_d3d(width, height, false, true)) {
      printf("scene at %dx%d: the device cannot be reset to that size\n", width, height);
      return;
    }
  }
  game_rnd_seed = 4;
  reset_game();
  cur_level = 4;
  restart_level();
  set_game_mode(&play_mode);
  Series update{"update step"};
  for (int i = 0; i < frames; i++) {
    double u0 = now_ms();
    update_step(0.05f);
    update.ms.push_back(now_ms() - u0);
    if (cur_game_mode != &play_mode) set_game_mode(&play_mode);
  }

  OrderFigures level[NUM_ORDERS];
  time_orders(frames, level);
  printf("scene at %dx%d, pixel scale %d, level %d, %d enemies, %d frames of each order\n", d3d_wd, d3d_ht, voxel_scale,
         cur_level, BaseEnemy_list.size(), frames);
  print_orders(level);
  update.print();

  // The boss: the hero a little to its left (near enough to wake it) and kept alive; a second of
  // steps to wake it and start the fight, then the timed steps, then frames with the camera on it.
  if (!Boss1_list.size() || !BossPart_list.size()) {
    printf("no boss on this level\n");
    return;
  }
  EntlingView* boss = view<EntlingView>((BaseObject*)Boss1_list[0]);
  vec4float at = boss->getPos();
  float floor_y = view<EntlingView>((BaseObject*)BossPart_list[0])->getBox().y();
  int health = get_hero_health();
  reset_hero(at.x() - 90, floor_y);
  Series boss_update{"update step"};
  for (int i = 0; i < 20 + frames; i++) {
    double u0 = now_ms();
    update_step(0.05f);
    if (i >= 20) boss_update.ms.push_back(now_ms() - u0);
    set_hero_health(health);
    if (cur_game_mode != &play_mode) set_game_mode(&play_mode);
  }
  vec4float b = boss->getPos();
  move_camera(vec4float(b.x() - 30, b.y(), 0, 1), 0);
  move_camera(vec4float(b.x() - 30, b.y(), 0, 1), 0);
  OrderFigures fighting[NUM_ORDERS];
  time_orders(frames, fighting);
  printf("boss fighting at %dx%d: %d parts, %d shots, %d bombs, %d frames of each order\n", d3d_wd, d3d_ht,
         BossPart_list.size(), Bullet_list.size(), Bomb_list.size(), frames);
  print_orders(fighting);
  boss_update.print();
}
}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: scene_bench [program folder] [frames]\n"
      "Prints the frame's cost by pass at 1280 x 720 on level 4 as it starts, then with its\n"
      "boss awake and fighting on screen. The program folder defaults to bin/ beside the\n"
      "build, the frames to 200 (at least 10).\n";
  tool_check_positional(argc, argv, "scene_bench", usage, 0, 2);
  char exe[260];
  get_exe_path(exe, sizeof(exe));
  std::string folder = argc > 1 ? std::string(argv[1]) : std::string(exe) + "../bin";
  if (folder.back() != '/') folder += "/";
  const int frames = argc > 2 ? tool_count("scene_bench", argv[2], 10, usage) : 200;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  snprintf(app_path, sizeof(app_path), "%s", folder.c_str());

  if (!plat_init()) return 1;
  init_timer();
  double start = now_ms();
  plat_register_window_class("SceneBench", proc);
  WindowHandle win = plat_create_window("bench", PLAT_STYLE_OVERLAPPED, false, 0, 0, W, H, PLAT_SHOW_NORMAL);
  isFullscreen = false;
  app_use_vsync = false;
  set_d3d_display_settings(app_display_settings());
  if (!win || !init_d3d(win, W, H)) {
    fprintf(stderr, "scene_bench: no device\n");
    return 1;
  }
  common_vb_writer.create(65536);
  init_debug_font();
  init_scene();
  {
    auto class_sizes = (GetEntlingClassSizesFn)get_library_proc(entling_library_module(), "get_entling_class_sizes");
    int count = 0;
    const int* sizes = class_sizes ? class_sizes(&count) : nullptr;
    std::string wrong = check_entling_views(sizes, count);
    if (!wrong.empty()) {
      fprintf(stderr, "scene_bench: the library's classes changed; update tests/support/entlingViews.h:\n%s",
              wrong.c_str());
      return 1;
    }
  }
  render_d3d_frame(0);
  present_d3d();
  flush_gpu();
  double first_title = now_ms() - start;

  printf("start-up to the first title frame: %.0f ms\n", first_title);
  bench_size(win, W, H, frames);
  bench_size(win, 1920, 1080, frames);
  close_scene();
  close_debug_font();
  return 0;
}
