// Level benchmark, run by hand: median time of generate_level for levels 1, 4 and 12, of loading
// the tile library, and the cost per call of collide_moving_box and trace_level on a generated
// level.   level_bench <program folder>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <vector>
#include "engine/sysUtils.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/loadTiles.h"
#include "game/levelCollision.h"
#include "game/levelGrid.h"
#include "tools/leveltool/levelToolLib.h"
#include "tools/toolUsage.h"

static double now_us() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "level_bench",
                        "usage: level_bench <program folder>\n"
                        "Prints the median times of loading the tiles, of generating levels 1, 4 and 12, and of\n"
                        "a collision and a ray on a generated level, from the tiles of the program folder (bin).\n",
                        1, 1);
  FILE* report = fdopen(dup(fileno(stdout)), "w");
  if (!freopen("/dev/null", "w", stdout)) return 1;  // the generator's log lines stay out of the report

  std::vector<double> loads;
  for (int i = 0; i < 15; i++) {
    double t0 = now_us();
    level_tool_load_tiles(argv[1]);
    loads.push_back(now_us() - t0);
    if (i < 14) close_level_tiles();
  }
  fprintf(report, "load_level_tiles + pools (%d tiles): median %.0f us over %zu runs\n", level_tiles.size(),
          median(loads), loads.size());

  for (int level : {1, 4, 12}) {
    std::vector<double> t;
    for (int s = 0; s < 200; s++) {
      double t0 = now_us();
      level_tool_generate(level, uint64_t(s) * 7919u);
      t.push_back(now_us() - t0);
    }
    fprintf(report, "generate_level, level %2d: median %.0f us over %zu seeds\n", level, median(t), t.size());
  }

  level_tool_generate(4, 12345);
  // Hero-sized boxes dropped and pushed around the level, and bullet-length rays in all directions.
  const int N = 1000000;
  std::vector<vec4float> starts(N), targets(N);
  srand(1);
  for (int i = 0; i < N; i++) {
    float x = 16 + rand() % 3900, y = 16 + rand() % 220;
    starts[i] = vec4float(x, y, 8, 1);
    targets[i] = vec4float(x + (rand() % 200 - 100) * 0.0125f, y + (rand() % 200 - 100) * 0.0125f, 8, 1);
  }
  vec4float box(-4, 0, 4, 15);
  float support[2];
  // The results go into a volatile, so the calls cannot be optimised away without printing them.
  volatile int sink = 0;
  double t0 = now_us();
  for (int i = 0; i < N; i++) {
    vec4float p = starts[i];
    sink = sink + collide_moving_box(p, targets[i], box, nullptr, support, 4.f);
  }
  double per_move = (now_us() - t0) * 1000.0 / N;
  std::vector<vec4float> ray_to(N);
  for (int i = 0; i < N; i++) {
    float a = (rand() % 6283) * 0.001f, len = 20 + rand() % 180;
    ray_to[i] = starts[i] + vec4float(cosf(a) * len, sinf(a) * len, 0, 0);
  }
  t0 = now_us();
  for (int i = 0; i < N; i++) {
    float t;
    sink = sink + (trace_level(starts[i], ray_to[i], 1, nullptr, nullptr, &t) ? 1 : 0);
  }
  double per_trace = (now_us() - t0) * 1000.0 / N;
  fprintf(report, "collide_moving_box (8 x 15 box, step-up 4): %.1f ns per call\n", per_move);
  fprintf(report, "trace_level (20-200 cells, thickness 1): %.1f ns per call\n", per_trace);
  fclose(report);
  return 0;
}
