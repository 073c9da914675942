// Particles: the list, their step, the packing of their squares and their drawing (see particles.h).
#include "game/particles.h"
#include <string.h>
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/log.h"

DynArray<Junk> junk_list;

namespace {
Shader* junk_shader = nullptr;
IDirect3DVertexDeclaration9* junk_decl = nullptr;
const VertexElement JUNK_ELEMENTS[] = {{0, 0, VE_SHORT4, VU_POSITION, 0}, {8, 0, VE_D3DCOLOR, VU_COLOR, 0}, VE_END};
const int QUAD_BYTES = 6 * int(sizeof(JunkVertex));

// The x the two 16-bit halves can hold: xHigh = x >> 15 must stay within int16.
const int64_t X_MIN = -(int64_t(1) << 30), X_MAX = (int64_t(1) << 30) - 1;

// f (1/16 cells, possibly huge or not a number) rounded and kept within lo..hi.
int64_t round_within(float f, int64_t lo, int64_t hi) {
  if (!(f > float(lo))) return lo;  // NaN too
  if (!(f < float(hi))) return hi;
  return int64_t(nearbyintf(f));
}

int16_t clamp16(int64_t v) { return int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
}  // namespace

void add_junk(vec4float pos, vec4float vel, uint32_t colour, float life, float gravity) {
  Junk j;
  j.pos = pos;
  j.vel = vel;
  j.colour = colour;
  j.life = life;
  j.gravity = gravity;
  junk_list.push_back(j);
}

void init_junk() {
  if (!d3d) return;
  junk_decl = get_vertex_decl(JUNK_ELEMENTS);
  if (!junk_shader) junk_shader = create_shader("pixel.sh", "");
}

void update_junk(float dt) {
  for (int i = 0; i < junk_list.size();) {
    Junk& j = junk_list[i];
    j.pos += j.vel * dt;
    j.vel = j.vel - vec4float(0, j.gravity * dt, 0, 0);
    j.life -= dt;
    if (j.life <= 0) {
      j = junk_list[junk_list.size() - 1];
      junk_list.pop_back();
      continue;
    }
    i++;
  }
}

void make_junk_quad(const Junk& j, float t, JunkVertex out[6]) {
  vec4float p = (j.pos + j.vel * t) * 16.0f;
  int64_t px = round_within(p.x(), X_MIN + 8, X_MAX - 8);
  int64_t py = round_within(p.y(), -32768 + 8, 32767 - 8);
  int16_t pz = clamp16(round_within(p.z(), -32768, 32767));
  static const int corner[6][2] = {{-8, -8}, {8, -8}, {8, 8}, {-8, -8}, {8, 8}, {-8, 8}};
  for (int k = 0; k < 6; k++) {
    int64_t x = px + corner[k][0];
    // The low 15 bits and an arithmetic shift: -5 is 32763 + (-1) * 32768, which the shader adds
    // back exactly (a modulo of a negative number would give -5 and -0, off by 32768).
    out[k].xLow = int16_t(x & 0x7FFF);
    out[k].xHigh = int16_t(x >> 15);
    out[k].y = int16_t(py + corner[k][1]);
    out[k].z = pz;
    out[k].colour = j.colour;
  }
}

void render_junk(float t) {
  ASSERT_AT("junk", __LINE__, !common_vb_writer.started());
  if (!d3d || !junk_shader || !junk_decl || !common_vb_writer.vb || junk_list.empty()) return;
  set_vertex_decl(junk_decl);
  set_stream_source(0, common_vb_writer.vb, 0, int(sizeof(JunkVertex)));
  set_shader(junk_shader);
  set_cull_mode(0);
  DynVBWriter& w = common_vb_writer;
  w.begin(draw_triangle_run, D3DPT_TRIANGLELIST);
  for (int i = 0; i < junk_list.size(); i++) {
    const Junk& j = junk_list[i];
    if (!junk_visible(j, t)) continue;
    if (w.room() < QUAD_BYTES) w.flush(false);
    make_junk_quad(j, t, reinterpret_cast<JunkVertex*>(w.writePtr));
    w.writePtr += QUAD_BYTES;
    w.primCount += 2;
  }
  w.flush(true);
  set_cull_mode(1);
}

void clear_junk() { junk_list.clear(); }

void close_junk() {
  junk_list.free();
  if (junk_shader) destroy_shader(junk_shader);
  junk_shader = nullptr;
  junk_decl = nullptr;
}
