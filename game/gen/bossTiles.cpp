// Checks of the boss's tiles at load time (see bossTiles.h).
#include "game/gen/bossTiles.h"
#include <stdio.h>
#include <string.h>
#include "engine/cont/dynArray.h"
#include "engine/log.h"
#include "game/gen/loadTiles.h"

const int boss_body_seeds[BOSS_BODY_SEEDS][2] = {{32, 6}, {32, 42}, {20, 24}, {12, 24}};
const char* const boss_tile_names[] = {"boss1/foot",     "boss1/leg",  "boss1/body",    "boss1/fgun",
                                       "boss1/support1", "boss1/tgun", "boss1/launcher"};
const int num_boss_tiles = int(sizeof(boss_tile_names) / sizeof(boss_tile_names[0]));

namespace {

struct Rect {
  int x0, y0, x1, y1;
};

// The bounding rectangle of the 4-connected cells of the seed's type.
Rect flood_rect(const LevelGenTile& t, int sx, int sy) {
  int w = t.width, h = t.height;
  uint8_t type = t.collision[sx + sy * w];
  DynArray<uint8_t> seen;
  seen.resize(w * h);
  memset(seen.begin(), 0, size_t(w * h));
  DynArray<int> todo;
  todo.push_back(sx + sy * w);
  seen[sx + sy * w] = 1;
  Rect r = {sx, sy, sx, sy};
  while (!todo.empty()) {
    int i = todo.last();
    todo.pop_back();
    int x = i % w, y = i / w;
    if (x < r.x0) r.x0 = x;
    if (x > r.x1) r.x1 = x;
    if (y < r.y0) r.y0 = y;
    if (y > r.y1) r.y1 = y;
    const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
    for (const auto& n : next) {
      if (n[0] < 0 || n[1] < 0 || n[0] >= w || n[1] >= h) continue;
      int j = n[0] + n[1] * w;
      if (seen[j] || t.collision[j] != type) continue;
      seen[j] = 1;
      todo.push_back(j);
    }
  }
  return r;
}

bool overlap(const Rect& a, const Rect& b) { return a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1; }

}  // namespace

const char* boss_body_fault(const LevelGenTile& t, char* msg, int msg_size) {
  if (t.width < BOSS_BODY_MIN_WIDTH || t.height < BOSS_BODY_MIN_HEIGHT) {
    snprintf(msg, size_t(msg_size), "must be at least %dx%d cells, is %dx%d", BOSS_BODY_MIN_WIDTH, BOSS_BODY_MIN_HEIGHT,
             t.width, t.height);
    return msg;
  }
  if (!t.collision) {
    snprintf(msg, size_t(msg_size), "needs a collision map with its subparts in red");
    return msg;
  }
  Rect rects[BOSS_BODY_SEEDS];
  for (int i = 0; i < BOSS_BODY_SEEDS; i++) {
    int x = boss_body_seeds[i][0], y = boss_body_seeds[i][1];
    if (t.collision[x + y * t.width] != BOSS_SUBPART_CELL) {
      snprintf(msg, size_t(msg_size), "subpart seed cell (%d, %d) is not red in the collision map", x, y);
      return msg;
    }
    rects[i] = flood_rect(t, x, y);
    for (int j = 0; j < i; j++)
      if (overlap(rects[i], rects[j])) {
        snprintf(msg, size_t(msg_size), "the red regions of seed cells (%d, %d) and (%d, %d) must have disjoint boxes",
                 boss_body_seeds[j][0], boss_body_seeds[j][1], x, y);
        return msg;
      }
  }
  return nullptr;
}

void check_boss_tiles() {
  LevelGenTile* body = find_level_tile("boss1/body");
  if (!body) return;  // a tile set without the boss: only boss levels need it
  char msg[200];
  if (boss_body_fault(*body, msg, sizeof(msg))) fatal("boss tile boss1/body: %s", msg);
}

void require_boss_tiles() {
  for (int i = 0; i < num_boss_tiles; i++) load_level_tile(boss_tile_names[i]);
}
