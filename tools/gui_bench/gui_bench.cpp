// Figures of the menus: the cost of one update_game_menu on the options screen with its whole tree
// restyled and laid out again, and of drawing it, at 1280 x 720 and 1920 x 1080, on SDL's offscreen
// GL device. Run by hand: build/gui_bench [library] (default: the build's actor library).
#include <stdio.h>
#include <stdlib.h>
#include <chrono>
#include "engine/app.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/dynVBWriter.h"
#include "engine/loadSprite.h"
#include "engine/sysUtils.h"
#include "engine/uiDraw.h"
#include "game/controls.h"
#include "game/entlingApi.h"
#include "game/entlingBind.h"
#include "game/guiScreens.h"
#include "platform/platform.h"
#include "tools/toolUsage.h"

namespace {
intptr_t proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) { return plat_def_window_proc(w, m, wp, lp); }

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Marks every element of the tree, so the next update restyles all of it.
void mark_all(GuiElement* e) {
  e->needsRestyle = 1;
  for (int i = 0; i < e->children.size(); i++) mark_all(e->child(i));
}
}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: gui_bench [actor library] [rounds]\n"
      "Prints what the options screen costs to update and to draw at 1280 x 720 and\n"
      "1920 x 1080 (default library: this build's), over that many rounds (2000).\n";
  tool_check_positional(argc, argv, "gui_bench", usage, 0, 2);
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("ASCENDA_NO_MESSAGE_BOX", "1", 0);
  const char* library = argc > 1 ? argv[1] : GUI_BENCH_LIBRARY;
  const int rounds = argc > 2 ? tool_count("gui_bench", argv[2], 1, usage) : 2000;  // a small count for the smoke run
  if (!plat_init()) return 1;
  plat_register_window_class("GuiBench", proc);
  WindowHandle window =
      plat_create_window("gui bench", PLAT_STYLE_OVERLAPPED, false, 0, 0, 1280, 720, PLAT_SHOW_NORMAL);
  isFullscreen = false;
  app_use_vsync = false;
  set_d3d_display_settings(app_display_settings());
  if (!window || !init_d3d(window, 1280, 720)) return 1;
  snprintf(app_path, sizeof(app_path), "%s/", GUI_BENCH_PROGRAM_DIR);
  load_shader_compiler();
  common_vb_writer.create(65536);
  init_sprites();
  init_ui_image_render();
  void* module = load_library(library);
  if (!module) return 1;
  bind_entling_library(module);
  init_controls();
  init_new_gui();
  isAppActive = true;
  open_main_menu();
  game_options_screen.createScreen();
  set_game_ui_screen(game_options_screen.screen);
  const int sizes[2][2] = {{1280, 720}, {1920, 1080}};
  for (auto& size : sizes) {
    reset_d3d(size[0], size[1], false, true);
    const int N = rounds;
    // The update alone first, with the rasteriser's threads idle.
    double alone = 0;
    for (int i = 0; i < N; i++) {
      mark_all(cur_game_screen->root);
      double t0 = now_ms();
      update_game_menu(0.05f);
      alone += now_ms() - t0;
    }
    printf("%dx%d: update_game_menu alone %.3f ms\n", size[0], size[1], alone / N);
    double update_total = 0, draw_total = 0, fill_total = 0;
    for (int i = 0; i < N + 50; i++) {
      mark_all(cur_game_screen->root);
      double t0 = now_ms();
      update_game_menu(0.05f);
      double t1 = now_ms();
      d3d->BeginScene();
      clear_view(0xFF000000);
      double t2 = now_ms();
      draw_game_menu(0);
      double t3 = now_ms();
      // The CPU side of the drawing alone: the elements writing their quads into the batch.
      gui_batch.clear();
      double t4 = now_ms();
      cur_game_screen->root->render(0);
      double t5 = now_ms();
      gui_batch.clear();
      d3d->EndScene();
      if (i >= 50) update_total += t1 - t0, draw_total += t3 - t2, fill_total += t5 - t4;
    }
    printf(
        "%dx%d: update_game_menu (options, full restyle and layout) %.3f ms; draw_game_menu %.3f ms, of which the "
        "elements' quads %.3f ms (the rest is the software rasteriser)\n",
        size[0], size[1], update_total / N, draw_total / N, fill_total / N);
  }
  close_game_menu();
  close_hud();
  unbind_entling_library();
  return 0;
}
