// The drive's bench: the cost of an update and of a frame's object drawing on a generated level.
#include <algorithm>
#include <vector>
#include "driveWorld.h"
#include "engine/app.h"
#include "engine/loadSprite.h"
#include "game/gameScene.h"
#include "game/gen/levelGenRuntime.h"
#include "game/levelGrid.h"
#include "game/objectLists.h"
#include "game/particles.h"
#include "game/sceneView.h"

namespace world_drive {

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

}  // namespace world_drive
