// Scene benchmark: the game's frame at 1280 x 720 on the real device with a generated level 4 in
// play and its spawns alive. Prints the median and 95th percentile of the whole frame (each frame
// waits for the card), the same frame split by pass (each pass waits for the card, so the split
// adds up to a little more than the whole), the level refill's processor time alone, the update
// step, and the start-up from the window to the first presented title frame. Then the same with the
// level's boss awake and fighting on screen (walking, aiming, firing, dropping bombs; all nine of its
// parts' grids refilled and drawn every frame), the boss parts' drawing split out.
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

// The frame's passes one by one, as the scene draws them in play, each waiting for the card.
void split_frame(float t, Series* s) {
  double t0 = now_ms();
  d3d->BeginScene();
  set_frame_view(t);
  set_render_target(scene_texture, 0, true);
  clear_view_z();
  compute_visible_rect(free_cam_pos, d3d_wd, d3d_ht, voxel_scale);
  render_background(0x00725020, 0x0099723F);
  flush_gpu();
  double t1 = now_ms();
  int cx = int(nearbyintf(free_cam_pos.x() - 0.4999999f)), cy = int(nearbyintf(free_cam_pos.y() - 0.4999999f));
  int aw = d3d_wd / voxel_scale + 2, ah = d3d_ht / voxel_scale + 2;
  start_level_rendering();
  double r0 = now_ms();
  render_area(level_renderer, cx - aw / 2, cy - ah / 2, cx - aw / 2 + aw, cy - ah / 2 + ah, 0.0f);
  double r1 = now_ms();
  // The level's quads go to the card before the boss parts' own, so that each is timed on its own.
  common_vb_writer.flush(false);
  flush_gpu();
  double tl = now_ms();
  render_boss(t);
  double r2 = now_ms();
  end_level_rendering();
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
  double d[] = {t1 - t0, tl - t1, r1 - r0, t2 - tl, r2 - tl, t3 - t2, t4 - t3, t5 - t4, t6 - t5, t6 - t0};
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

// Whole frames, then frames split by pass.
void time_frames(int frames, Series& whole, Series* split) {
  for (int i = 0; i < frames; i++) {
    double f0 = now_ms();
    render_d3d_frame(0.025f);
    present_d3d();
    flush_gpu();
    whole.ms.push_back(now_ms() - f0);
  }
  for (int i = 0; i < frames; i++) split_frame(0.025f, split);
}
}  // namespace

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "scene_bench",
                        "usage: scene_bench [program folder] [frames]\n"
                        "Prints the frame's cost by pass at 1280 x 720 on level 4 as it starts, then with its\n"
                        "boss awake and fighting on screen. The program folder defaults to bin/ beside the\n"
                        "build, the frames to 200 (at least 10).\n",
                        0, 2);
  char exe[260];
  get_exe_path(exe, sizeof(exe));
  std::string folder = argc > 1 ? std::string(argv[1]) : std::string(exe) + "../bin";
  if (folder.back() != '/') folder += "/";
  int frames = argc > 2 ? atoi(argv[2]) : 200;
  if (frames < 10) frames = 200;
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

  Series whole{"whole frame"};
  Series split[NUM_SPLIT];
  for (int i = 0; i < NUM_SPLIT; i++) split[i].name = SPLIT_NAMES[i];
  time_frames(frames, whole, split);

  printf("scene at %dx%d, pixel scale %d, level %d, %d enemies, %d frames\n", d3d_wd, d3d_ht, voxel_scale, cur_level,
         BaseEnemy_list.size(), frames);
  whole.print();
  printf(" by pass (each waits for the card):\n");
  for (Series& s : split) s.print();
  update.print();
  printf("  start-up to the first title frame: %.0f ms\n", first_title);

  // The boss: the hero a little to its left (near enough to wake it) and kept alive; a second of
  // steps to wake it and start the fight, then the timed steps, then frames with the camera on it.
  if (Boss1_list.size() && BossPart_list.size()) {
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
    Series boss_whole{"whole frame"};
    Series boss_split[NUM_SPLIT];
    for (int i = 0; i < NUM_SPLIT; i++) boss_split[i].name = SPLIT_NAMES[i];
    time_frames(frames, boss_whole, boss_split);
    printf("boss fighting: %d parts, %d shots, %d bombs, %d frames\n", BossPart_list.size(), Bullet_list.size(),
           Bomb_list.size(), frames);
    boss_whole.print();
    printf(" by pass (each waits for the card):\n");
    for (Series& s : boss_split) s.print();
    boss_update.print();
  } else {
    printf("no boss on this level\n");
  }
  close_scene();
  close_debug_font();
  return 0;
}
