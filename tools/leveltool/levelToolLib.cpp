// Helpers of the level tool and benchmark (see levelToolLib.h).
#include "tools/leveltool/levelToolLib.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "engine/app.h"
#include "engine/imageFiles.h"
#include "engine/sysUtils.h"
#include "game/entlingApi.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/levelTemplates.h"
#include "game/gen/loadTiles.h"
#include "game/levelGrid.h"

std::vector<LevelSpawn> level_spawns;

static Entling* record_enemy(int type_id, float x, float y) {
  level_spawns.push_back({type_id, x, y});
  return nullptr;
}
static void record_hero(float x, float y) { level_spawns.push_back({0, x, y}); }

void level_tool_load_tiles(const char* folder) {
  // The program folder is where the game finds tiles/; made absolute from this process's folder.
  char full[4096];
  const char* base = realpath(folder, full) ? full : folder;
  size_t n = strlen(base);
  if (n + 2 > sizeof(app_path)) {
    fprintf(stderr, "program folder name too long: %s\n", base);
    exit(2);
  }
  memcpy(app_path, base, n);
  memcpy(app_path + n, "/", 2);
  load_level_tiles();
  init_level_tile_pools();
}

void level_tool_generate(int level, uint64_t seed) {
  add_enemy = record_enemy;
  reset_hero = record_hero;
  level_spawns.clear();
  cur_level = level;
  game_rnd_seed = seed;
  generate_level();
}

bool level_path_ok(int level, int* unreachable) {
  bool seen[ROOM_MAP_HEIGHT][ROOM_MAP_WIDTH] = {};
  int queue[ROOM_MAP_HEIGHT * ROOM_MAP_WIDTH], head = 0, tail = 0;
  seen[0][0] = true;
  queue[tail++] = 0;
  while (head < tail) {
    int x = queue[head] % ROOM_MAP_WIDTH, y = queue[head] / ROOM_MAP_WIDTH;
    head++;
    uint8_t c = room_cell_map[y][x];
    struct Step {
      int bit, dx, dy, back;
    } steps[4] = {{ROOM_EXIT_LEFT, -1, 0, ROOM_EXIT_RIGHT},
                  {ROOM_EXIT_RIGHT, 1, 0, ROOM_EXIT_LEFT},
                  {ROOM_EXIT_UP, 0, 1, ROOM_EXIT_DOWN},
                  {ROOM_EXIT_DOWN, 0, -1, ROOM_EXIT_UP}};
    for (const Step& s : steps) {
      int nx = x + s.dx, ny = y + s.dy;
      if (!(c & s.bit) || nx < 0 || ny < 0 || nx >= ROOM_MAP_WIDTH || ny >= ROOM_MAP_HEIGHT) continue;
      if (!(room_cell_map[ny][nx] & s.back) || seen[ny][nx]) continue;
      seen[ny][nx] = true;
      queue[tail++] = ny * ROOM_MAP_WIDTH + nx;
    }
  }
  if (unreachable) {
    *unreachable = 0;
    for (int y = 0; y < ROOM_MAP_HEIGHT; y++)
      for (int x = 0; x < ROOM_MAP_WIDTH; x++)
        if ((room_cell_map[y][x] & 15) && !seen[y][x]) (*unreachable)++;
  }
  int ex, ey;
  level_end_room(level, ex, ey);
  return seen[ey][ex];
}

static uint32_t texel(uint16_t c) {
  uint32_t r = (c >> 10) & 31, g = (c >> 5) & 31, b = c & 31;
  return ((r << 3) | (r >> 2)) << 16 | ((g << 3) | (g >> 2)) << 8 | ((b << 3) | (b >> 2));
}

static uint32_t blend(uint32_t a, uint32_t b, float t) {
  auto ch = [&](int s) {
    float x = float((a >> s) & 255), y = float((b >> s) & 255);
    return uint32_t(x + (y - x) * t + 0.5f) << s;
  };
  return ch(16) | ch(8) | ch(0);
}

bool write_level_png(const char* file, bool overlay, int x_from, int x_to, int scale) {
  const int W = LEVEL_WIDTH, H = LEVEL_HEIGHT;
  std::vector<uint32_t> rgb(size_t(W * H));
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      // The scene's backdrop behind the level, then the background and the foreground colours.
      uint32_t c = blend(0x725020, 0x99723F, float(y) / float(H));
      const LevelCell& cell = level_data[y * W + x];
      if (cell.background & LEVEL_COLOR_PRESENT) c = texel(cell.background);
      if (cell.foreground & LEVEL_COLOR_PRESENT) c = texel(cell.foreground);
      if (overlay) {
        switch (cell.collision) {
          case 0:
            break;
          case 1:
            c = blend(c, 0xFF9020, 0.35f);
            break;
          case 2:
            c = blend(c, 0x4060FF, 0.5f);
            break;
          case 3:
            c = blend(c, 0x00FF40, 0.8f);
            break;
          default:
            c = blend(c, 0xFF00FF, 0.6f);
            break;
        }
        if (x % 128 == 0 || y % 80 == 0) c = blend(c, 0xFFFFFF, 0.5f);
      }
      rgb[size_t((H - 1 - y) * W + x)] = c;
    }
  if (overlay) {
    for (const LevelSpawn& s : level_spawns) {
      uint32_t colour = s.type_id == 0                  ? 0xFFFFFF
                        : s.type_id == TYPE_EXPL_BARREL ? 0xFF8000
                        : s.type_id == TYPE_HEART_BONUS ? 0xFF60C0
                        : s.type_id == TYPE_UP_BONUS    ? 0xFFFF00
                        : s.type_id == TYPE_BOSS1       ? 0xC000FF
                                                        : 0xFF0000;
      int size = s.type_id == TYPE_BOSS1 ? 12 : 4;
      int cx = int(s.x), cy = int(s.y);
      for (int dy = 0; dy <= size * 2; dy++)
        for (int dx = -size; dx <= size; dx++) {
          bool outline = dy == 0 || dy == size * 2 || dx == -size || dx == size;
          int x = cx + dx, y = cy + dy;
          if (outline && x >= 0 && x < W && y >= 0 && y < H) rgb[size_t((H - 1 - y) * W + x)] = colour;
        }
    }
  }
  if (x_from < 0) x_from = 0;
  if (x_to > W || x_to <= x_from) x_to = W;
  if (scale < 1) scale = 1;
  // The picture must fit the PNG writer's int sizes: refuse rather than overflow them.
  if (int64_t(x_to - x_from) * scale * H * scale * 3 > int64_t(INT32_MAX)) return false;
  int ow = (x_to - x_from) * scale, oh = H * scale;
  std::vector<unsigned char> bytes(size_t(ow) * size_t(oh) * 3);
  for (int y = 0; y < oh; y++)
    for (int x = 0; x < ow; x++) {
      uint32_t c = rgb[size_t((y / scale) * W + x_from + x / scale)];
      unsigned char* p = &bytes[(size_t(y) * size_t(ow) + size_t(x)) * 3];
      p[0] = (unsigned char)(c >> 16);
      p[1] = (unsigned char)(c >> 8);
      p[2] = (unsigned char)c;
    }
  return save_png(file, ow, oh, 3, bytes.data(), ow * 3);
}

static const char* spawn_name(int type_id) {
  switch (type_id) {
    case 0:
      return "hero start";
    case TYPE_BASE_ENEMY:
      return "enemy";
    case TYPE_EXPL_BARREL:
      return "barrel";
    case TYPE_HEART_BONUS:
      return "heart bonus";
    case TYPE_UP_BONUS:
      return "upgrade point";
    case TYPE_BOSS1:
      return "boss";
    default:
      return "object";
  }
}

std::string level_summary(int level, uint64_t seed) {
  std::string s;
  char line[256];
  snprintf(line, sizeof(line), "level %d, seed %llu\nroom map (top row first):\n", level, (unsigned long long)seed);
  s += line;
  for (int y = ROOM_MAP_HEIGHT - 1; y >= 0; y--)
    for (int l = 0; l < 3; l++) {
      char text[ROOM_MAP_WIDTH * 3 + 1];
      level_layout_line(y, l, text);
      s += text;
      s += '\n';
    }
  int unreachable = 0;
  bool ok = level_path_ok(level, &unreachable);
  int ex, ey;
  level_end_room(level, ex, ey);
  snprintf(line, sizeof(line), "path from room (0, 0) to the end room (%d, %d): %s; rooms not reachable: %d\n", ex, ey,
           ok ? "yes" : "NO", unreachable);
  s += line;
  int counts[32] = {};
  for (const LevelSpawn& sp : level_spawns) {
    snprintf(line, sizeof(line), "%s (type %d) at (%.0f, %.0f)\n", spawn_name(sp.type_id), sp.type_id, sp.x, sp.y);
    s += line;
    counts[sp.type_id & 31]++;
  }
  snprintf(line, sizeof(line), "objects: %d enemies, %d barrels, %d hearts, %d upgrade points, %d boss\n",
           counts[TYPE_BASE_ENEMY], counts[TYPE_EXPL_BARREL], counts[TYPE_HEART_BONUS], counts[TYPE_UP_BONUS],
           counts[TYPE_BOSS1]);
  s += line;
  int x0 = LEVEL_WIDTH, y0 = LEVEL_HEIGHT, x1 = -1, y1 = -1;
  for (int y = 0; y < LEVEL_HEIGHT; y++)
    for (int x = 0; x < LEVEL_WIDTH; x++)
      if (level_data[y * LEVEL_WIDTH + x].collision == LEVEL_COLL_EXIT) {
        if (x < x0) x0 = x;
        if (y < y0) y0 = y;
        if (x > x1) x1 = x;
        if (y > y1) y1 = y;
      }
  if (x1 >= 0) {
    snprintf(line, sizeof(line), "exit cells: (%d, %d) to (%d, %d)\n", x0, y0, x1, y1);
    s += line;
  } else if (exit_choice.tile && counts[TYPE_BOSS1]) {
    snprintf(line, sizeof(line), "exit: placed at tile (%d, %d), cells (%d, %d), when the boss dies\n", exit_choice.tx,
             exit_choice.ty, exit_choice.tx * 16, exit_choice.ty * 16);
    s += line;
  } else {
    s += "exit: none\n";
  }
  return s;
}
