// Prints frame times of the 2D drawing paths on the real device (offscreen on llvmpipe): 2,000 and
// 10,000 sprites of the game's atlas, and a 1280 x 720 screen full of debug text; each frame is
// submitted, presented and waited for. Not a test: it prints figures.
//   draw_bench [program folder] [frames]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <chrono>
#include <initializer_list>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/loadSprite.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"
#include "tools/toolUsage.h"

namespace {
const int W = 1280, H = 720;
double now_ms() {
  return double(
             std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
                 .count()) /
         1000.0;
}
intptr_t proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) { return plat_def_window_proc(w, m, wp, lp); }

template <class F>
double frame_ms(int frames, F draw) {
  // One frame untimed: first uses compile the driver's programs.
  double t0 = 0;
  for (int i = 0; i <= frames; i++) {
    if (i == 1) t0 = now_ms();
    d3d->BeginScene();
    clear_view(0xFF101820);
    draw();
    d3d->EndScene();
    present_d3d();
    flush_gpu();
    if (i == frames) return (now_ms() - t0) / frames;
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: draw_bench [program folder] [frames]\n"
      "Prints frame times of 2,000 and 10,000 sprites of the program folder's atlas and of a\n"
      "1280 x 720 screen of debug text, drawn on the device (offscreen unless SDL_VIDEODRIVER\n"
      "says otherwise). The folder defaults to bin, the frames to 30.\n";
  tool_check_positional(argc, argv, "draw_bench", usage, 0, 2);
  const char* folder = argc > 1 ? argv[1] : "bin";
  const int frames = argc > 2 ? tool_count("draw_bench", argv[2], 1, usage) : 30;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  snprintf(app_path, sizeof(app_path), "%s/", folder);
  if (!plat_init()) return 1;
  init_timer();
  plat_register_window_class("DrawBench", proc);
  WindowHandle win = plat_create_window("draw bench", PLAT_STYLE_OVERLAPPED, false, 0, 0, W, H, PLAT_SHOW_NORMAL);
  isFullscreen = false;
  app_use_vsync = false;
  set_d3d_display_settings(app_display_settings());
  if (!win || !init_d3d(win, W, H)) {
    fprintf(stderr, "draw_bench: no device\n");
    return 1;
  }
  common_vb_writer.create(65536);
  init_debug_font();
  double t0 = now_ms();
  init_sprites();
  printf("load and pack %d sprites with the atlas upload: %.2f ms (atlas %d)\n", get_sprite_list().size(),
         now_ms() - t0, spriteTexSize);
  const DynArray<Sprite*>& list = get_sprite_list();
  printf("empty frame: %.2f ms\n", frame_ms(frames, [] {}));
  // A folder without sprites still gets the text figure.
  if (list.size() == 0) printf("no sprites in %ssprites/: the sprite frames are not measured\n", app_path);
  for (int n : {2000, 10000}) {
    if (list.size() == 0) break;
    double ms = frame_ms(frames, [&] {
      set_zenable(false);
      start_sprite_render();
      for (int i = 0; i < n; i++) {
        Sprite* s = list[i % list.size()];
        s->draw(vec4float(float((i * 37) % 420), float((i * 11) % 230), 0, 1), (i & 1) != 0, (i & 2) != 0);
      }
      set_sprite_pixel_transform(3);
      end_sprite_render();
    });
    printf("%d sprites: %.2f ms a frame\n", n, ms);
  }
  // Lines of "W" (the widest glyph) just as long as the screen is wide, one under the other.
  const DebugGlyph& g = get_debug_glyph('W');
  int advance = (g.x1 - g.x0 + 1) * get_text_scale();
  int per_line = W / advance;
  if (per_line > 255) per_line = 255;
  char line[256];
  memset(line, 'W', size_t(per_line));
  line[per_line] = 0;
  int ch = get_font_cell_height() * get_text_scale();
  int lines = (d3d_ht + ch - 1) / ch;
  double ms = frame_ms(frames, [&] {
    start_draw_text();
    for (int y = 0; y < d3d_ht; y += ch) draw_text(line, -1, 0, y, -1, -1, 0xFFFFFFFF);
    end_draw_text();
  });
  printf("a screen of debug text (%d characters, %d quads with shadows): %.2f ms a frame\n", per_line * lines,
         2 * per_line * lines, ms);
  close_sprites();
  close_debug_font();
  common_vb_writer.destroy();
  close_d3d();
  return 0;
}
