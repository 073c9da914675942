// Debug drawing primitives. Vertices go into runs the way the shared 64 KB vertex buffer takes
// them: a change of primitive kind ends the run and opens one of the new kind, and a run that would
// overflow the buffer is drawn and reopened. With a device the vertices go straight into the shared
// writer with "debug_vis.sh" (the caller's pass binds the transform); without one (headless tools
// and tests) the runs are recorded in memory.
#include "engine/debugVis.h"
#include <string.h>
#include "engine/cont/dynArray.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/log.h"

namespace {
const int BUFFER_BYTES = 65536;
DynArray<DebugVisVertex> vertices;
DynArray<DebugVisRun> runs;
int kind = DEBUG_VIS_TRIANGLES;
int run_first = 0, run_prims = 0;
bool pass_open = false;
bool on_device = false;
Shader* vis_shader = nullptr;
IDirect3DVertexDeclaration9* vis_decl = nullptr;
const VertexElement VIS_ELEMENTS[] = {{0, 0, VE_FLOAT3, VU_POSITION, 0}, {12, 0, VE_D3DCOLOR, VU_COLOR, 0}, VE_END};

void flush(bool end_run) {
  if (run_prims > 0) runs.push_back(DebugVisRun{kind, run_first, run_prims});
  run_first = vertices.size();
  run_prims = 0;
  (void)end_run;
}

void put(int want_kind, const DebugVisVertex* v, int n) {
  ASSERT(pass_open);
  if (on_device) {
    DynVBWriter& w = common_vb_writer;
    ASSERT(w.started());
    int bytes = n * int(sizeof(DebugVisVertex));
    if (want_kind != kind) {
      w.flush(false);
      w.renderArg = want_kind;
      kind = want_kind;
    }
    w.reserve(bytes);
    memcpy(w.writePtr, v, size_t(bytes));
    w.writePtr += bytes;
    w.primCount++;
    return;
  }
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

void init_debug_vis() {
  if (!d3d) return;
  vis_shader = create_shader("debug_vis.sh", "");
  vis_decl = get_vertex_decl(VIS_ELEMENTS);
}

void close_debug_vis() {
  if (vis_shader) destroy_shader(vis_shader);
  vis_shader = nullptr;
  vis_decl = nullptr;
  vertices.free();
  runs.free();
}

void start_draw_debug_vis() {
  vertices.clear();
  runs.clear();
  kind = DEBUG_VIS_TRIANGLES;
  run_first = run_prims = 0;
  pass_open = true;
  on_device = d3d && vis_shader && common_vb_writer.vb && !common_vb_writer.started();
  if (!on_device) return;
  set_vertex_decl(vis_decl);
  set_stream_source(0, common_vb_writer.vb, 0, int(sizeof(DebugVisVertex)));
  set_shader(vis_shader);
  set_cull_mode(0);
  common_vb_writer.begin(draw_triangle_run, DEBUG_VIS_TRIANGLES);
}

void end_draw_debug_vis() {
  if (on_device) {
    common_vb_writer.flush(true);
    set_cull_mode(1);
  } else {
    flush(true);
  }
  on_device = false;
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
  vec4float lo = v_min(corner1, corner2) - vec4float::splat(grow),
            hi = v_max(corner1, corner2) + vec4float::splat(grow);
  auto corner = [&](int i) {
    return vec4float(i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2], 1);
  };
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
  auto corner = [&](int i) {
    return vec4float(i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2], 1);
  };
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
