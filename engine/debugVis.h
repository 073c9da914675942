// Debug drawing: coloured lines, triangles, boxes and crosses in world space, written as runs of
// one primitive kind (a change of kind ends the run) for the "debug_vis.sh" pass.
#pragma once
#include <stdint.h>
#include "engine/misc/vecMath.h"

struct DebugVisVertex {
  float x, y, z;
  D3dColor colour;
};
static_assert(sizeof(DebugVisVertex) == 16, "debug vertex is 16 bytes");

enum { DEBUG_VIS_LINES = 2, DEBUG_VIS_TRIANGLES = 4 };

void init_debug_vis();
void close_debug_vis();
void start_draw_debug_vis();
void end_draw_debug_vis();
void draw_debug_vis_tri(vec4float a, vec4float b, vec4float c, D3dColor ca, D3dColor cb, D3dColor cc);
void draw_debug_vis_line(vec4float a, vec4float b, D3dColor ca, D3dColor cb);
void draw_debug_vis_flat_tri(vec4float a, vec4float b, vec4float c, D3dColor colour);
void draw_debug_vis_flat_line(vec4float a, vec4float b, D3dColor colour);
void draw_debug_vis_solid_box(vec4float corner1, vec4float corner2, D3dColor colour, float grow);
void draw_debug_vis_cube(vec4float centre, float half_size, D3dColor colour);
void draw_debug_vis_wire_box(vec4float corner1, vec4float corner2, D3dColor colour);
void draw_debug_vis_cross_point(vec4float point, float size, D3dColor colour);

// The runs handed to the draw since the pass began: kind, first vertex, primitive count. Until the
// renderer's shared vertex buffer exists they are kept here.
struct DebugVisRun {
  int kind;
  int first;
  int primitives;
};
const DebugVisRun* debug_vis_runs(int* count);
const DebugVisVertex* debug_vis_vertices(int* count);
