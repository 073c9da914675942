// The level generator (see levelGenRuntime.h). Every random draw is a statement of its own, in the
// order the generator makes it: the draw sequence is what makes a seed give the same level again.
// Sections: random source, tile-position sets, tile pools, stamping and objects, the room map, the layout.
#include "game/gen/levelGenRuntime.h"
#include <string.h>
#include "engine/app.h"
#include "engine/cont/dynArray.h"
#include "engine/log.h"
#include "game/entlingApi.h"
#include "game/gameScene.h"
#include "game/gen/bossTiles.h"
#include "game/gen/levelTemplates.h"
#include "game/gen/loadTiles.h"
#include "game/levelGrid.h"
#include "game/progression.h"

uint8_t room_cell_map[ROOM_MAP_HEIGHT][ROOM_MAP_WIDTH];

LevelGenTile* back_pool[BACK_POOL_SIZE];
LevelGenTile* back_set[BACK_SET_SIZE];
LevelGenTile* wall_set[WALL_SET_SIZE];
LevelGenTile* floor_set[FLOOR_SET_SIZE];
LevelGenTile* mach_set[MACH_SET_SIZE];
LevelGenTile* mach_wall_pool[MACH_WALL_POOL_SIZE];
LevelGenTile* sback_set[SBACK_SET_SIZE];
LevelGenTile* plat_set[PLAT_SET_SIZE];
LevelGenTile* hfloor_set[HFLOOR_SET_SIZE];
LevelGenTile* stairR_tile;
LevelGenTile* stairL_tile;
LevelGenTile* exit_tile;
LevelGenTile* back2_tile;

LevelExitChoice exit_choice;

void (*level_layout_generator)() = build_level_layout;

// ---- random source

uint32_t level_rnd() {
  game_rnd_seed = game_rnd_seed * 6364136223846793005ull + 1442695040888963407ull;
  return uint32_t(game_rnd_seed >> 32);
}

int level_rnd_pick(int n) {
  if (n <= 1) return 0;
  return int(level_rnd() % uint32_t(n));
}

int level_rnd_pick_always(int n) {
  uint32_t draw = level_rnd();
  return n > 0 ? int(draw % uint32_t(n)) : 0;
}

bool level_chance() { return level_rnd() >= 0x40000000u; }

// ---- tile-position sets

LevelGenCoordRect::LevelGenCoordRect(int x0_, int y0_, int x1, int y1) {
  x0 = x0_;
  y0 = y0_;
  width = x1 - x0 > 0 ? x1 - x0 : 0;
  height = y1 - y0 > 0 ? y1 - y0 : 0;
  num = width * height;
}

void LevelGenCoordRect::get(int i, int& x, int& y) const {
  int num = this->num;
  ASSERT(i>=0 && i<num);
  x = x0 + i % width;
  y = y0 + i / width;
}

void LevelGenCoordList::get(int i, int& x, int& y) const {
  int num = this->num;
  ASSERT(i>=0 && i<num);
  x = table[i * 2] + ofs_x;
  y = table[i * 2 + 1] + ofs_y;
}

// ---- tile pools

void init_level_tile_pools() {
  // Each list of names has its set's size.
  static const char* back_names[BACK_SET_SIZE] = {"back0", "back1", "back2", "back3", "back4", "back5", "back6"};
  static const char* wall_names[WALL_SET_SIZE] = {"wall0", "wall1", "wall2", "wall3"};
  static const char* floor_names[FLOOR_SET_SIZE] = {"floor0", "floor1", "floor2", "floor3"};
  static const char* mach_names[MACH_SET_SIZE] = {"mach1", "mach2", "mach3", "mach4", "mach5", "mach6", "mach7"};
  static const char* plat_names[PLAT_SET_SIZE] = {"plat0", "plat1", "plat2", "plat3", "plat4"};
  static const char* hfloor_names[HFLOOR_SET_SIZE] = {"hfloor0", "hfloor1", "hfloor2"};
  static const char* sback_names[SBACK_SET_SIZE] = {"sback0", "sback1", "sback2", "sback3",
                                                    "sback4", "sback5", "sback6"};
  // Looked up in the order of the tile list, so the first missing tile is the one reported.
  for (int i = 0; i < BACK_SET_SIZE; i++) back_set[i] = load_level_tile(back_names[i]);
  LevelGenTile* back_s[BACK_S_TILES] = {load_level_tile("backS1"), load_level_tile("backS2"),
                                        load_level_tile("backS3")};
  for (int i = 0; i < WALL_SET_SIZE; i++) wall_set[i] = load_level_tile(wall_names[i]);
  for (int i = 0; i < FLOOR_SET_SIZE; i++) floor_set[i] = load_level_tile(floor_names[i]);
  stairR_tile = load_level_tile("stairR");
  stairL_tile = load_level_tile("stairL");
  for (int i = 0; i < MACH_SET_SIZE; i++) mach_set[i] = load_level_tile(mach_names[i]);
  for (int i = 0; i < PLAT_SET_SIZE; i++) plat_set[i] = load_level_tile(plat_names[i]);
  for (int i = 0; i < HFLOOR_SET_SIZE; i++) hfloor_set[i] = load_level_tile(hfloor_names[i]);
  exit_tile = load_level_tile("exit");
  for (int i = 0; i < SBACK_SET_SIZE; i++) sback_set[i] = load_level_tile(sback_names[i]);
  back2_tile = back_set[2];
  require_boss_tiles();

  for (int i = 0; i < BACK_SET_SIZE * POOL_WEIGHT; i++) back_pool[i] = back_set[i / POOL_WEIGHT];
  for (int i = 0; i < BACK_S_TILES; i++) back_pool[BACK_SET_SIZE * POOL_WEIGHT + i] = back_s[i];
  for (int i = 0; i < MACH_SET_SIZE; i++) mach_wall_pool[i] = mach_set[i];
  for (int i = 0; i < WALL_SET_SIZE * POOL_WEIGHT; i++) mach_wall_pool[MACH_SET_SIZE + i] = wall_set[i / POOL_WEIGHT];
}

// ---- stamping and objects

void blit_level_tile(const LevelGenTile* tile, int x, int y) {
  if (!tile) return;
  // In 64 bits, so that offsets near the int limits clip instead of wrapping into the grid.
  int64_t x64 = int64_t(x) + tile->dx, y64 = int64_t(y) + tile->dy;
  if (x64 >= LEVEL_WIDTH || y64 >= LEVEL_HEIGHT || x64 + tile->width <= 0 || y64 + tile->height <= 0) return;
  x = int(x64);
  y = int(y64);
  int i0 = x < 0 ? -x : 0, j0 = y < 0 ? -y : 0;
  int i1 = tile->width, j1 = tile->height;
  if (x + i1 > LEVEL_WIDTH) i1 = LEVEL_WIDTH - x;
  if (y + j1 > LEVEL_HEIGHT) j1 = LEVEL_HEIGHT - y;
  for (int j = j0; j < j1; j++) {
    LevelCell* row = level_data + (y + j) * LEVEL_WIDTH + x;
    int src = j * tile->width;
    for (int i = i0; i < i1; i++) {
      if (tile->background && (tile->background[src + i] & LEVEL_COLOR_PRESENT))
        row[i].background = tile->background[src + i];
      if (tile->foreground && (tile->foreground[src + i] & LEVEL_COLOR_PRESENT))
        row[i].foreground = tile->foreground[src + i];
      if (tile->collision && tile->collision[src + i]) row[i].collision = tile->collision[src + i];
    }
  }
}

void stamp_random_tiles(LevelGenTile* const* pool, int n, const ILevelGenCoords& coords) {
  int count = coords.count();
  for (int i = 0; i < count; i++) {
    int tx, ty;
    coords.get(i, tx, ty);
    LevelGenTile* tile = nullptr;
    if (pool && n >= 1) {
      int pick = level_rnd_pick(n);
      tile = pool[pick];
    }
    blit_level_tile(tile, tx * TILE_CELLS, ty * TILE_CELLS);
  }
}

void spawn_random_objects(int type_id, int count, const ILevelGenCoords& coords) {
  int n = coords.count();
  if (count > n) count = n;
  DynArray<int> chosen;
  while (chosen.size() < count) {
    int i = level_rnd_pick_always(n);
    if (chosen.find(i) >= 0) continue;  // already taken: draw again
    chosen.push_back(i);
    int tx, ty;
    coords.get(i, tx, ty);
    if (add_enemy) add_enemy(type_id, float(tx * TILE_CELLS + 8), float(ty * TILE_CELLS));
  }
}

void place_hero_start(const ILevelGenCoords& coords) {
  int i = level_rnd_pick(coords.count());
  int tx, ty;
  coords.get(i, tx, ty);
  if (reset_hero) reset_hero(float(tx * TILE_CELLS + 8), float(ty * TILE_CELLS));
}

void choose_exit_tile(LevelGenTile* const* pool, int n, const ILevelGenCoords& coords) {
  int i = level_rnd_pick(coords.count());
  coords.get(i, exit_choice.tx, exit_choice.ty);
  LevelGenTile* tile = nullptr;
  if (pool && n >= 1) {
    int pick = level_rnd_pick(n);
    tile = pool[pick];
  }
  exit_choice.tile = tile;
}

vec4float put_exit_tile() {
  int x = exit_choice.tx * TILE_CELLS, y = exit_choice.ty * TILE_CELLS;
  blit_level_tile(exit_choice.tile, x, y);
  invalidate_level(x, y, x + TILE_CELLS, y + TILE_CELLS);
  return vec4float(float(x), float(y), 0.f, 1.f);
}

void seal_level_column(int x) {
  if (x < 0 || x >= LEVEL_WIDTH) return;
  for (int y = 0; y < LEVEL_HEIGHT; y++)
    if (level_cell(x, y).collision == LEVEL_COLL_DESTRUCTIBLE) level_cell(x, y).collision = LEVEL_COLL_SOLID;
}

void seal_level_row(int y) {
  if (y < 0 || y >= LEVEL_HEIGHT) return;
  for (int x = 0; x < LEVEL_WIDTH; x++)
    if (level_cell(x, y).collision == LEVEL_COLL_DESTRUCTIBLE) level_cell(x, y).collision = LEVEL_COLL_SOLID;
}

// ---- the room map

LevelGenTemplate* place_room_template(LevelGenTemplate* t, int x, int y) {
  if (!t) return nullptr;
  if (x < 0) x = ROOM_MAP_WIDTH - t->width;
  if (y < 0) y = ROOM_MAP_HEIGHT - t->height;
  int w = t->width, h = t->height;
  if (t->exits && w > 0 && h > 0) {
    for (int i = 0; i < h; i++) {
      int my = y + h - 1 - i;
      for (int j = 0; j < w; j++) {
        int mx = x + j;
        if (my < 0 || my >= ROOM_MAP_HEIGHT || mx < 0 || mx >= ROOM_MAP_WIDTH) continue;
        room_cell_map[my][mx] = t->exits[i * w + j];
      }
    }
  }
  if (t->stamp) t->stamp(x, y);
  return t;
}

static bool room_free(int x, int y) { return (room_cell_map[y][x] & ROOM_FREE) != 0; }

void build_level_path() {
  // Exits of the placed templates reach into their free neighbours.
  for (int y = 0; y < ROOM_MAP_HEIGHT; y++)
    for (int x = 0; x < ROOM_MAP_WIDTH; x++) {
      uint8_t& c = room_cell_map[y][x];
      if (!(c & ROOM_FREE)) continue;
      if (x > 0 && (room_cell_map[y][x - 1] & ROOM_EXIT_RIGHT)) c |= ROOM_EXIT_LEFT;
      if (x < ROOM_MAP_WIDTH - 1 && (room_cell_map[y][x + 1] & ROOM_EXIT_LEFT)) c |= ROOM_EXIT_RIGHT;
      if (y > 0 && (room_cell_map[y - 1][x] & ROOM_EXIT_UP)) c |= ROOM_EXIT_DOWN;
      if (y < ROOM_MAP_HEIGHT - 1 && (room_cell_map[y + 1][x] & ROOM_EXIT_DOWN)) c |= ROOM_EXIT_UP;
    }

  // The main path, swept left to right.
  for (int x = 1; x <= 30; x++) {
    int L[3], R[3], nl = 0, nr = 0;
    for (int y = 0; y < ROOM_MAP_HEIGHT; y++) {
      if (room_free(x, y) && (room_cell_map[y][x] & ROOM_EXIT_LEFT)) L[nl++] = y;
      if (room_free(x, y) && (room_cell_map[y][x] & ROOM_EXIT_RIGHT)) R[nr++] = y;
    }
    if (nl == 0) {
      if (room_cell_map[0][x] == 0 && room_cell_map[1][x] == 0 && room_cell_map[2][x] == 0) {
        for (int cx = x + 1; cx < ROOM_MAP_WIDTH; cx++)
          for (int y = 0; y < ROOM_MAP_HEIGHT; y++) room_cell_map[y][cx] &= uint8_t(~ROOM_FREE);
        break;
      }
      continue;
    }
    if (nr == 0) {
      int K[3], nk = 0;
      for (int y = 0; y < ROOM_MAP_HEIGHT; y++)
        if (room_free(x, y) && room_free(x + 1, y)) K[nk++] = y;
      if (nk == 0) continue;
      int pick = level_rnd_pick_always(nk);
      int r = K[pick];
      room_cell_map[r][x] |= ROOM_EXIT_RIGHT;
      room_cell_map[r][x + 1] |= ROOM_EXIT_LEFT;
      R[nr++] = r;
    }
    int pick_a = level_rnd_pick_always(nl);
    int a = L[pick_a];
    int pick_b = level_rnd_pick_always(nr);
    int b = R[pick_b];
    if (a != b) {
      int lo = a < b ? a : b, hi = a < b ? b : a;
      room_cell_map[lo][x] |= ROOM_EXIT_UP;
      for (int y = lo + 1; y < hi; y++) room_cell_map[y][x] |= ROOM_EXIT_UP | ROOM_EXIT_DOWN;
      room_cell_map[hi][x] |= ROOM_EXIT_DOWN;
    }
  }

  while (grow_level_branch()) {}

  debug("final path:");
  print_level_layout();
}

bool grow_level_branch() {
  static DynArray<int> candidates;  // reused between calls
  candidates.clear();
  for (int y = 0; y < ROOM_MAP_HEIGHT; y++)
    for (int x = 0; x < ROOM_MAP_WIDTH; x++) {
      uint8_t c = room_cell_map[y][x];
      if (!(c & ROOM_FREE) || c == ROOM_FREE) continue;
      bool open = (x > 0 && room_cell_map[y][x - 1] == ROOM_FREE) ||
                  (x < ROOM_MAP_WIDTH - 1 && room_cell_map[y][x + 1] == ROOM_FREE) ||
                  (y > 0 && room_cell_map[y - 1][x] == ROOM_FREE) ||
                  (y < ROOM_MAP_HEIGHT - 1 && room_cell_map[y + 1][x] == ROOM_FREE);
      if (open) candidates.push_back(y * ROOM_MAP_WIDTH + x);
    }
  if (candidates.empty()) return false;
  int start = level_rnd_pick_always(candidates.size());
  int x = candidates[start] % ROOM_MAP_WIDTH, y = candidates[start] / ROOM_MAP_WIDTH;
  for (;;) {
    int dirs[4], n = 0;
    if (x > 0 && room_cell_map[y][x - 1] == ROOM_FREE) dirs[n++] = ROOM_EXIT_LEFT;
    if (x < ROOM_MAP_WIDTH - 1 && room_cell_map[y][x + 1] == ROOM_FREE) dirs[n++] = ROOM_EXIT_RIGHT;
    if (y > 0 && room_cell_map[y - 1][x] == ROOM_FREE) dirs[n++] = ROOM_EXIT_DOWN;
    if (y < ROOM_MAP_HEIGHT - 1 && room_cell_map[y + 1][x] == ROOM_FREE) dirs[n++] = ROOM_EXIT_UP;
    if (n == 0) break;
    int pick = level_rnd_pick_always(n);
    int d = dirs[pick];
    room_cell_map[y][x] |= uint8_t(d);
    int opposite = 0;
    switch (d) {
      case ROOM_EXIT_LEFT:
        x--;
        opposite = ROOM_EXIT_RIGHT;
        break;
      case ROOM_EXIT_RIGHT:
        x++;
        opposite = ROOM_EXIT_LEFT;
        break;
      case ROOM_EXIT_DOWN:
        y--;
        opposite = ROOM_EXIT_UP;
        break;
      default:
        y++;
        opposite = ROOM_EXIT_DOWN;
        break;
    }
    room_cell_map[y][x] |= uint8_t(opposite);
  }
  return true;
}

static bool template_fits(const LevelGenTemplate* t, int x, int y) {
  if (!t->exits || x + t->width > ROOM_MAP_WIDTH || y + t->height > ROOM_MAP_HEIGHT) return false;
  for (int i = 0; i < t->height; i++)
    for (int j = 0; j < t->width; j++) {
      uint8_t c = room_cell_map[y + t->height - 1 - i][x + j];
      if (!(c & ROOM_FREE) || (c & uint8_t(~ROOM_FREE)) != t->exits[i * t->width + j]) return false;
    }
  return true;
}

void fill_free_room_cells(LevelGenTemplate* const* list, int n) {
  DynArray<int> cells;
  for (int y = 0; y < ROOM_MAP_HEIGHT; y++)
    for (int x = 0; x < ROOM_MAP_WIDTH; x++)
      if (room_free(x, y)) cells.push_back(y * ROOM_MAP_WIDTH + x);
  while (!cells.empty()) {
    int pick = level_rnd_pick_always(cells.size());
    int x = cells[pick] % ROOM_MAP_WIDTH, y = cells[pick] / ROOM_MAP_WIDTH;
    LevelGenTemplate* candidates[ROOM_TEMPLATE_COUNT];
    int nc = 0;
    for (int i = 0; i < n && nc < ROOM_TEMPLATE_COUNT; i++)
      if (template_fits(list[i], x, y)) candidates[nc++] = list[i];
    if (nc == 0) fatal("no applicable level generator templates!");
    int chosen = level_rnd_pick(nc);
    LevelGenTemplate* t = candidates[chosen];
    place_room_template(t, x, y);
    for (int i = cells.size() - 1; i >= 0; i--) {
      int cx = cells[i] % ROOM_MAP_WIDTH, cy = cells[i] / ROOM_MAP_WIDTH;
      if (cx >= x && cx < x + t->width && cy >= y && cy < y + t->height) {
        cells[i] = cells.last();
        cells.pop_back();
      }
    }
  }
}

void level_layout_line(int y, int line, char out[ROOM_MAP_WIDTH * 3 + 1]) {
  char* p = out;
  for (int x = 0; x < ROOM_MAP_WIDTH; x++) {
    uint8_t c = room_cell_map[y][x];
    bool free = (c & ROOM_FREE) != 0;
    if (line != 1) {
      bool open = (c & (line == 0 ? ROOM_EXIT_UP : ROOM_EXIT_DOWN)) != 0;
      memcpy(p, free ? (open ? "-#-" : "---") : (open ? "+#+" : "+++"), 3);
    } else {
      char edge = free ? '-' : '+';
      p[0] = (c & ROOM_EXIT_LEFT) ? '#' : edge;
      p[1] = (c & 0x1F) == ROOM_FREE ? ' ' : '#';
      p[2] = (c & ROOM_EXIT_RIGHT) ? '#' : edge;
    }
    p += 3;
  }
  *p = 0;
}

void print_level_layout() {
  for (int y = ROOM_MAP_HEIGHT - 1; y >= 0; y--)
    for (int line = 0; line < 3; line++) {
      char text[ROOM_MAP_WIDTH * 3 + 1];
      level_layout_line(y, line, text);
      for (int x = 0; x < ROOM_MAP_WIDTH; x++) debug_("%.3s", text + x * 3);
      debug("%s", "");
    }
}

// ---- the layout

int level_right_end_room(int level) { return level == 1 ? 16 : 31; }

void level_end_room(int level, int& x, int& y) {
  // Every template of a list has one width (a unit test checks), so the place is known before the
  // draw that picks the template.
  const LevelGenTemplate* end = is_boss_level(level) ? boss_templates[0] : end_templates[0];
  x = level_right_end_room(level) - end->width;
  y = 0;
}

// The end room chosen for the current level, placed where level_end_room says.
static void place_end_room(LevelGenTemplate* end) {
  int x, y;
  level_end_room(cur_level, x, y);
  place_room_template(end, x, y);
}

void build_level_layout() {
  LevelGenTemplate* start = start_templates[level_rnd_pick(START_TEMPLATE_COUNT)];
  place_room_template(start, 0, 0);
  if (cur_level != 1) {
    LevelGenCoordRect top(0, 15, 249, 16);
    stamp_random_tiles(mach_set, MACH_SET_SIZE, top);
    int pick_right = level_rnd_pick(RIGHT_END_TEMPLATE_COUNT);
    place_room_template(right_end_templates[pick_right], level_right_end_room(cur_level), 0);
    LevelGenTemplate* end;
    if (is_boss_level(cur_level)) {
      int pick = level_rnd_pick(BOSS_TEMPLATE_COUNT);
      end = boss_templates[pick];
    } else {
      int pick = level_rnd_pick(END_TEMPLATE_COUNT);
      end = end_templates[pick];
    }
    place_end_room(end);
  } else {
    LevelGenCoordRect top(0, 15, 129, 16);
    stamp_random_tiles(mach_set, MACH_SET_SIZE, top);
    int pick_right = level_rnd_pick(RIGHT_END_TEMPLATE_COUNT);
    place_room_template(right_end_templates[pick_right], level_right_end_room(cur_level), 0);
    int pick = level_rnd_pick(END_TEMPLATE_COUNT);
    place_end_room(end_templates[pick]);
  }
  if (level_chance()) {
    int pick = level_rnd_pick(OPTIONAL_TEMPLATE_COUNT);
    place_room_template(optional_templates[pick], 8, 0);
  }
  if (cur_level > 1) {
    if (level_chance()) {
      int pick = level_rnd_pick(OPTIONAL_TEMPLATE_COUNT);
      place_room_template(optional_templates[pick], 16, 0);
    }
    if (level_chance()) {
      int pick = level_rnd_pick(OPTIONAL_TEMPLATE_COUNT);
      place_room_template(optional_templates[pick], 24, 0);
    }
  }
  build_level_path();
  fill_free_room_cells(filler_templates, FILLER_TEMPLATE_COUNT);
}

void generate_level() {
  memset(room_cell_map, ROOM_FREE, sizeof(room_cell_map));
  clear_level_data();
  level_layout_generator();
  // The floor and the left edge of the level are its outer frame; the right end seals itself.
  seal_level_row(0);
  seal_level_column(0);
}
