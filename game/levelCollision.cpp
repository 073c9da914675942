// Level collision and ray tracing (see levelCollision.h). The level part of every query reads
// level_data directly with masked indices: these run many times per object per step.
#include "game/levelCollision.h"
#include "game/entlingApi.h"
#include "game/levelGrid.h"

static const float STOP_MARGIN = 0.01f;  // keeps a stopped edge off the solid cell

static inline uint8_t cell_type(int x, int y) { return level_data[level_cell_index(x, y)].collision; }

// Solid cells of column x over rows r0..r1; raises the exit flag for exit cells.
static inline bool column_solid(int x, int r0, int r1, int& flags) {
  bool solid = false;
  for (int r = r0; r <= r1; r++) {
    uint8_t t = cell_type(x, r);
    if (t) {
      solid = true;
      if (t == 3) flags |= HIT_EXIT;
    }
  }
  return solid;
}

static inline bool row_solid(int y, int c0, int c1, int& flags) {
  bool solid = false;
  for (int c = c0; c <= c1; c++) {
    uint8_t t = cell_type(c, y);
    if (t) {
      solid = true;
      if (t == 3) flags |= HIT_EXIT;
    }
  }
  return solid;
}

float scan_level_x(float from, float to, float y0, float y1, int& flags) {
  int r0 = f_floor_int(y0), r1 = f_ceil_int(y1) - 1;
  if (to < from) {
    int c_end = f_floor_int(to);
    for (int c = f_floor_int(from) - 1; c >= c_end; c--)
      if (column_solid(c, r0, r1, flags)) {
        flags |= HIT_LEFT;
        return float(c + 1) + STOP_MARGIN;
      }
    return to;
  }
  int c_end = f_floor_int(to);
  for (int c = f_ceil_int(from); c <= c_end; c++)
    if (column_solid(c, r0, r1, flags)) {
      flags |= HIT_RIGHT;
      return float(c) - STOP_MARGIN;
    }
  return to;
}

float scan_level_y(float x0, float x1, float from, float to, int& flags, float* support) {
  int c0 = f_floor_int(x0), c1 = f_ceil_int(x1) - 1;
  if (to >= from) {
    int r = f_ceil_int(from), r_end = f_floor_int(to);
    if (r < 0) r = 0;
    if (r_end > LEVEL_HEIGHT - 1) r_end = LEVEL_HEIGHT - 1;
    for (; r <= r_end; r++)
      if (row_solid(r, c0, c1, flags)) {
        flags |= HIT_CEILING;
        if (support) support[0] = support[1] = 0.f;
        return float(r) - STOP_MARGIN;
      }
    return to;
  }
  int r = f_floor_int(from) - 1, r_end = f_floor_int(to);
  if (r > LEVEL_HEIGHT - 1) r = LEVEL_HEIGHT - 1;
  if (r_end < 0) r_end = 0;
  for (; r >= r_end; r--)
    if (row_solid(r, c0, c1, flags)) {
      flags |= HIT_GROUND;
      if (support) support[0] = support[1] = 0.f;
      return float(r + 1) + STOP_MARGIN;
    }
  return to;
}

float scan_all_x(float from, float to, float y0, float y1, int& flags, Entling* obj) {
  int fl = 0;
  float r = scan_level_x(from, to, y0, y1, fl);
  if (obj && scan_objects_x) {
    int fo = 0;
    float ro = scan_objects_x(&fo, obj, from, r, y0, y1);  // objects only up to where the level stopped
    if (fo) {
      flags |= fo;
      return ro;
    }
  }
  flags |= fl;
  return r;
}

float scan_all_y(float x0, float x1, float from, float to, int& flags, Entling* obj, float* support) {
  int fl = 0;
  float level_support[2] = {0.f, 0.f};
  float r = scan_level_y(x0, x1, from, to, fl, level_support);
  if (obj && scan_objects_y) {
    int fo = 0;
    float object_support[2] = {0.f, 0.f};
    float ro = scan_objects_y(&fo, obj, x0, x1, from, r, object_support);
    if (fo) {
      flags |= fo;
      if ((fo & HIT_GROUND) && support) {
        support[0] = object_support[0];
        support[1] = object_support[1];
      }
      return ro;
    }
  }
  flags |= fl;
  if ((fl & HIT_GROUND) && support) {
    support[0] = level_support[0];
    support[1] = level_support[1];
  }
  return r;
}

float collide_box_x(vec4float box, float dx, int& flags, Entling* obj) {
  float x0 = box.x(), y0 = box.y(), x1 = box.z(), y1 = box.w();
  float c = (x0 + x1) * 0.5f;
  float edge = dx < 0 ? x0 : x1;
  // Starting at the centre, solid cells inside the leading half stop the box too.
  float e = scan_all_x(c, edge + dx, y0, y1, flags, obj);
  float t = scan_all_x(e, e - 2.f * (edge - c), y0, y1, flags, obj);
  return (e + t) * 0.5f - c;
}

float collide_box_y(vec4float box, float dy, int& flags, Entling* obj, float* support) {
  float x0 = box.x(), y0 = box.y(), x1 = box.z(), y1 = box.w();
  float c = (y0 + y1) * 0.5f;
  float edge = dy < 0 ? y0 : y1;
  float e = scan_all_y(x0, x1, c, edge + dy, flags, obj, support);
  float t = scan_all_y(x0, x1, e, e - 2.f * (edge - c), flags, obj, support);
  return (e + t) * 0.5f - c;
}

vec4float collide_box_level(vec4float lo, vec4float hi, int& flags) {
  float x0 = lo.x(), y0 = lo.y(), x1 = hi.x(), y1 = hi.y();
  int c0 = f_to_int_nearest(x0 - 0.49f), c1 = f_to_int_nearest(x1 + 0.49f);
  int r0 = f_to_int_nearest(y0 - 0.49f), r1 = f_to_int_nearest(y1 + 0.49f);
  if (c0 < 0) c0 = 0;
  if (r0 < 0) r0 = 0;
  if (c1 > LEVEL_WIDTH) c1 = LEVEL_WIDTH;
  if (r1 > LEVEL_HEIGHT) r1 = LEVEL_HEIGHT;
  float hw = (x1 - x0) * 0.5f, hh = (y1 - y0) * 0.5f;
  vec4float limit(hw, hh, hw, hh);
  vec4float result = vec4float::zero();
  for (int j = r0; j < r1; j++)
    for (int i = c0; i < c1; i++) {
      uint8_t t = level_data[j * LEVEL_WIDTH + i].collision;
      if (!t) continue;
      if (t == 3) flags |= HIT_EXIT;
      vec4float v(float(i + 1) - x0, float(j + 1) - y0, x1 - float(i), y1 - float(j));
      v = v_select(v_cmp_le(v, limit), v, vec4float::zero());
      result = v_max(result, v);
    }
  return result;
}

static bool any_lane_positive(vec4float v) { return v_movemask(v_cmp_lt(0.f, v)) != 0; }

vec4float collide_box_objs(vec4float lo, vec4float hi, Entling* obj, int& flags) {
  vec4float a = collide_box_enemies ? collide_box_enemies(obj, nullptr, lo, hi) : vec4float::zero();
  if (any_lane_positive(a)) flags |= HIT_ENEMY;
  vec4float b = collide_box_neutral ? collide_box_neutral(obj, lo, hi) : vec4float::zero();
  vec4float h = collide_box_hero ? collide_box_hero(obj, lo, hi) : vec4float::zero();
  if (any_lane_positive(h)) flags |= HIT_HERO;
  return v_max(v_max(a, b), h);
}

int collide_moving_box(vec4float& pos, vec4float target, vec4float box, Entling* obj, float* support, float step_up) {
  int flags = 0;
  float z = pos.z(), w = pos.w();
  float px = pos.x(), py = pos.y();
  float bx0 = box.x(), by0 = box.y(), bx1 = box.z(), by1 = box.w();

  // Vertical move.
  {
    float dy = target.y() - py;
    float x0 = px + bx0, x1 = px + bx1, y0 = py + by0, y1 = py + by1;
    float cy = (y0 + y1) * 0.5f;
    float edge = dy < 0 ? y0 : y1;
    float e = scan_all_y(x0, x1, cy, edge + dy, flags, obj, support);
    float t = scan_all_y(x0, x1, e, e - 2.f * (edge - cy), flags, obj, support);
    py += (e + t) * 0.5f - cy;
  }
  float saved_x = px, saved_y = py;

  // Horizontal move with the bottom raised, so steps up to step_up cells do not block.
  float dx = target.x() - px;
  px += collide_box_x(vec4float(px + bx0, py + by0 + step_up, px + bx1, py + by1), dx, flags, obj);

  if (step_up > 0) {
    float x0 = px + bx0, x1 = px + bx1, y0 = py + by0, y1 = py + by1;
    float cy = (y0 + y1) * 0.5f;
    int g = 0;
    float e = scan_all_y(x0, x1, cy, y0 - 1.f, g, obj, support);            // the ground below the centre
    float t = scan_all_y(x0, x1, e, e - 2.f * (y0 - cy), g, obj, support);  // the box's height above it
    float d = (e + t) * 0.5f - cy;
    if (g & HIT_CEILING) {
      // Standing on that step the box would hit something: take the move again with the full box.
      px = saved_x;
      py = saved_y;
      px += collide_box_x(vec4float(px + bx0, py + by0, px + bx1, py + by1), target.x() - saved_x, flags, obj);
    } else if (d > 0) {
      py += d;
    }
  }
  pos = vec4float(px, py, z, w);
  return flags;
}

// v truncated towards zero and kept within lo..hi (NaN gives lo).
static inline int truncate_within(float v, int lo, int hi) {
  if (!(v > float(lo))) return lo;
  if (!(v < float(hi))) return hi;
  return int(v);
}

bool trace_level(vec4float from, vec4float to, int thickness, vec4float* hit_pos, vec4i32* hit_cell, float* hit_t) {
  const float eps = 1.1920929e-7f;
  float fx = from.x(), fy = from.y();
  float dx = to.x() - fx, dy = to.y() - fy;
  float inv_x = f_abs(dx) > eps ? 1.f / f_abs(dx) : 1e30f;
  float inv_y = f_abs(dy) > eps ? 1.f / f_abs(dy) : 1e30f;
  bool across_row = inv_y <= inv_x;  // mostly vertical: test cells of one row

  // Entry into the grid.
  float tx = dx >= 0 ? -fx * inv_x : (fx - float(LEVEL_WIDTH)) * inv_x;
  float ty = dy >= 0 ? -fy * inv_y : (fy - float(LEVEL_HEIGHT)) * inv_y;
  float t = f_max(f_max(tx, ty), 0.f);
  if (!(t < 1.f)) return false;

  float px = fx + t * dx, py = fy + t * dy;
  int cx = f_floor_int(px), cy = f_floor_int(py);
  // A ray entering through the right or top edge starts one cell past it; one that never crosses
  // the grid (it starts outside and runs beside or away from it) has no cell to start in.
  if (cx == LEVEL_WIDTH && dx < 0) cx = LEVEL_WIDTH - 1;
  if (cx == -1 && dx >= 0) cx = 0;
  if (cy == LEVEL_HEIGHT && dy < 0) cy = LEVEL_HEIGHT - 1;
  if (cy == -1 && dy >= 0) cy = 0;
  if (cx < 0 || cx >= LEVEL_WIDTH || cy < 0 || cy >= LEVEL_HEIGHT) return false;

  float frac_x = px - float(cx), frac_y = py - float(cy);
  float nx = t + (dx >= 0 ? 1.f - frac_x : frac_x) * inv_x;
  float ny = t + (dy >= 0 ? 1.f - frac_y : frac_y) * inv_y;
  int step_x = dx >= 0 ? 1 : -1, step_y = dy >= 0 ? 1 : -1;
  int ex = dx >= 0 ? truncate_within(to.x() + 1.f, -1, LEVEL_WIDTH) : truncate_within(to.x() - 1.f, -1, LEVEL_WIDTH);
  int ey = dy >= 0 ? truncate_within(to.y() + 1.f, -1, LEVEL_HEIGHT) : truncate_within(to.y() - 1.f, -1, LEVEL_HEIGHT);

  for (;;) {
    // The probe cells across the walk; those beyond the grid's edge are empty, not wrapped.
    bool solid = false;
    if (across_row) {
      int i0 = cx - thickness < 0 ? 0 : cx - thickness;
      int i1 = cx + thickness > LEVEL_WIDTH - 1 ? LEVEL_WIDTH - 1 : cx + thickness;
      const LevelCell* row = level_data + cy * LEVEL_WIDTH;
      for (int i = i0; i <= i1 && !solid; i++) solid = row[i].collision != 0;
    } else {
      int j0 = cy - thickness < 0 ? 0 : cy - thickness;
      int j1 = cy + thickness > LEVEL_HEIGHT - 1 ? LEVEL_HEIGHT - 1 : cy + thickness;
      for (int j = j0; j <= j1 && !solid; j++) solid = level_data[j * LEVEL_WIDTH + cx].collision != 0;
    }
    if (solid) {
      if (hit_t) *hit_t = t;
      if (hit_pos) *hit_pos = from + (to - from) * t;
      if (hit_cell) *hit_cell = vec4i32(cx, cy, 0, 0);
      return true;
    }
    // The walk ends at its end cell or at the grid's edge, whichever comes first.
    if (ny <= nx) {
      cy += step_y;
      if (step_y > 0 ? cy >= ey : cy <= ey) return false;
      if (cy < 0 || cy >= LEVEL_HEIGHT) return false;
      t = ny;
      ny += inv_y;
    } else {
      cx += step_x;
      if (step_x > 0 ? cx >= ex : cx <= ex) return false;
      if (cx < 0 || cx >= LEVEL_WIDTH) return false;
      t = nx;
      nx += inv_x;
    }
  }
}
