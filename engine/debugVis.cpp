// Debug drawing primitives. Vertices go into runs the way the shared 64 KB vertex buffer takes
// them: a change of primitive kind ends the run and opens one of the new kind, and a run that would
// overflow the buffer is drawn and reopened. The renderer supplies the "debug_vis.sh" shader, the
// declaration {FLOAT3 POSITION, D3DCOLOR COLOR} and the draw; until then the runs are recorded.
#include "engine/debugVis.h"
#include "engine/cont/dynArray.h"
#include "engine/log.h"

namespace {
const int BUFFER_BYTES = 65536;
DynArray<DebugVisVertex> vertices;
DynArray<DebugVisRun> runs;
int kind = DEBUG_VIS_TRIANGLES;
int run_first = 0, run_prims = 0;
bool pass_open = false;

void flush(bool end_run) {
  if (run_prims > 0) runs.push_back(DebugVisRun{kind, run_first, run_prims});
  run_first = vertices.size();
  run_prims = 0;
  (void)end_run;
}

void put(int want_kind, const DebugVisVertex* v, int n) {
  ASSERT(pass_open);
  if (want_kind != kind) {
    flush(true);
    kind = want_kind;
  }
  if ((vertices.size() - run_first) * int(sizeof(DebugVisVertex)) + n * int(sizeof(DebugVisVertex)) > BUFFER_BYTES)
    flush(false);
  vertices.append(n, v);
  run_prims++;
}

DebugVisVertex vtx(vec4float p, D3dColor c) { return DebugVisVertex{p[0], p[1], p[2], c}; }
}  // namespace

void init_debug_vis() {}
void close_debug_vis() {
  vertices.free();
  runs.free();
}

void start_draw_debug_vis() {
  vertices.clear();
  runs.clear();
  kind = DEBUG_VIS_TRIANGLES;
  run_first = run_prims = 0;
  pass_open = true;
}

void end_draw_debug_vis() {
  flush(true);
  pass_open = false;
}

void draw_debug_vis_tri(vec4float a, vec4float b, vec4float c, D3dColor ca, D3dColor cb, D3dColor cc) {
  DebugVisVertex v[3] = {vtx(a, ca), vtx(b, cb), vtx(c, cc)};
  put(DEBUG_VIS_TRIANGLES, v, 3);
}

void draw_debug_vis_line(vec4float a, vec4float b, D3dColor ca, D3dColor cb) {
  DebugVisVertex v[2] = {vtx(a, ca), vtx(b, cb)};
  put(DEBUG_VIS_LINES, v, 2);
}

void draw_debug_vis_flat_tri(vec4float a, vec4float b, vec4float c, D3dColor colour) {
  draw_debug_vis_tri(a, b, c, colour, colour, colour);
}
void draw_debug_vis_flat_line(vec4float a, vec4float b, D3dColor colour) { draw_debug_vis_line(a, b, colour, colour); }

void draw_debug_vis_solid_box(vec4float corner1, vec4float corner2, D3dColor colour, float grow) {
  vec4float lo = v_min(corner1, corner2) - vec4float::splat(grow), hi = v_max(corner1, corner2) + vec4float::splat(grow);
  auto corner = [&](int i) { return vec4float(i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2], 1); };
  // Two triangles per face: corners by bits x = 1, y = 2, z = 4.
  static const int FACES[6][4] = {{0, 2, 6, 4}, {1, 5, 7, 3}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 6, 7, 5}};
  for (const auto& f : FACES) {
    draw_debug_vis_flat_tri(corner(f[0]), corner(f[1]), corner(f[2]), colour);
    draw_debug_vis_flat_tri(corner(f[0]), corner(f[2]), corner(f[3]), colour);
  }
}

void draw_debug_vis_cube(vec4float centre, float half_size, D3dColor colour) {
  draw_debug_vis_solid_box(centre, centre, colour, half_size);
}

void draw_debug_vis_wire_box(vec4float corner1, vec4float corner2, D3dColor colour) {
  vec4float lo = v_min(corner1, corner2), hi = v_max(corner1, corner2);
  auto corner = [&](int i) { return vec4float(i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2], 1); };
  for (int i = 0; i < 8; i++)
    for (int bit = 1; bit < 8; bit <<= 1)
      if (!(i & bit)) draw_debug_vis_flat_line(corner(i), corner(i | bit), colour);
}

void draw_debug_vis_cross_point(vec4float p, float size, D3dColor colour) {
  for (int axis = 0; axis < 3; axis++) {
    float d[4] = {0, 0, 0, 0};
    d[axis] = size;
    vec4float o(d[0], d[1], d[2], 0);
    draw_debug_vis_flat_line(p - o, p + o, colour);
  }
}

const DebugVisRun* debug_vis_runs(int* count) {
  if (count) *count = runs.size();
  return runs.data;
}
const DebugVisVertex* debug_vis_vertices(int* count) {
  if (count) *count = vertices.size();
  return vertices.data;
}
