// Prints the cost of the device-independent side of 2D drawing on the generated data: loading and
// packing every sprite, building the quads of 2,000 and 10,000 sprites, and the text of a 1280 x 720
// screen full of debug text. Not a test: it prints figures.
//   art_bench <program folder>
#include <stdio.h>
#include <string.h>
#include <chrono>
#include <initializer_list>
#include "engine/d3d_render.h"
#include "engine/font.h"
#include "engine/loadSprite.h"
#include "engine/sysUtils.h"
#include "tools/toolUsage.h"

// The null platform's clock is scripted: measure with the system's steady clock.
static int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
static double ms_since(int64_t t0) { return double(now_ns() - t0) / 1e6; }

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "art_bench",
                        "usage: art_bench <program folder>\n"
                        "Prints the cost of loading and packing the sprites of the program folder (bin), of\n"
                        "building the quads of 2,000 and 10,000 sprites and of a 1280 x 720 screen of debug text.\n",
                        1, 1);
  snprintf(app_path, sizeof(app_path), "%s/", argv[1]);
  d3d_wd = 1280;
  d3d_ht = 720;
  int64_t t0 = now_ns();
  init_sprites();
  printf("load and pack %d sprites: %.2f ms (atlas %d)\n", get_sprite_list().size(), ms_since(t0), spriteTexSize);
  const DynArray<Sprite*>& list = get_sprite_list();
  // A folder without sprites still gets the text figure.
  if (list.size() == 0) printf("no sprites in %ssprites/: the sprite quads are not measured\n", app_path);
  for (int n : {2000, 10000}) {
    if (list.size() == 0) break;
    const int REPEAT = 50;
    t0 = now_ns();
    for (int r = 0; r < REPEAT; r++) {
      start_sprite_render();
      for (int i = 0; i < n; i++)
        list[i % list.size()]->draw(vec4float(float(i % 200), float(i / 200), 0, 1), (i & 1) != 0, false);
    }
    printf("quads of %d sprites: %.3f ms a frame\n", n, ms_since(t0) / REPEAT);
  }
  init_debug_font();
  char line[200];
  memset(line, 'W', sizeof(line) - 1);
  line[sizeof(line) - 1] = 0;
  const int REPEAT = 50;
  t0 = now_ns();
  int ch = get_font_cell_height() * get_text_scale();
  for (int r = 0; r < REPEAT; r++) {
    start_draw_text();
    for (int y = 0; y < d3d_ht; y += ch) draw_text(line, -1, 0, y, -1, -1, 0xFFFFFFFF);
    end_draw_text();
  }
  int verts = 0;
  debug_text_vertices(&verts);
  printf("a screen of debug text (%d quads): %.3f ms a frame\n", verts / 6, ms_since(t0) / REPEAT);
  close_sprites();
  return 0;
}
