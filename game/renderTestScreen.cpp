// The renderer's test screen (see renderTestScreen.h). It uses the fixed-function path, so it draws
// with or without the shader compiler.
#include "game/renderTestScreen.h"
#include <math.h>
#include <string.h>
#include "engine/app.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/renderBatch.h"
#include "engine/sysUtils.h"

namespace {
struct Vertex {
  float x, y, z;
  D3dColor c;
  float u, v;
};
const VertexElement VERTEX_ELEMENTS[] = {
    {0, 0, VE_FLOAT3, VU_POSITION, 0}, {12, 0, VE_D3DCOLOR, VU_COLOR, 0}, {16, 0, VE_FLOAT2, VU_TEXCOORD, 0}, VE_END};
Texture* checker = nullptr;
Texture* white = nullptr;  // untextured quads: a null texture would leave the last one bound
StdRenderBatchState* textured = nullptr;
StdRenderBatchState* plain = nullptr;
RenderBatch* batch = nullptr;

void add_quad(StdRenderBatchState* s, float x0, float y0, float x1, float y1, D3dColor c) {
  float box[4] = {x0, y0, x1, y1};
  Vertex* v = (Vertex*)batch->add(s, box, 6 * sizeof(Vertex), 2);
  // Pixel edges sit half a pixel before the pixel centres.
  x0 -= 0.5f, y0 -= 0.5f, x1 -= 0.5f, y1 -= 0.5f;
  Vertex q[6] = {{x0, y0, 0, c, 0, 0}, {x1, y0, 0, c, 1, 0}, {x0, y1, 0, c, 0, 1},
                 {x1, y0, 0, c, 1, 0}, {x1, y1, 0, c, 1, 1}, {x0, y1, 0, c, 0, 1}};
  memcpy(v, q, sizeof(q));
}

void open() {
  checker = create_managed_texture(8, 8);
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture(checker, &pitch, false);
  if (p)
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 8; x++) {
        D3dColor c = ((x ^ y) & 1) ? 0xFFE0E0E0 : 0xFF4060A0;
        memcpy(p + y * pitch + x * 4, &c, 4);
      }
  unlock_texture(checker);
  white = create_managed_texture(1, 1);
  D3dColor* w = (D3dColor*)lock_texture(white, &pitch, false);
  if (w) *w = 0xFFFFFFFF;
  unlock_texture(white);
  IDirect3DVertexDeclaration9* decl = get_vertex_decl(VERTEX_ELEMENTS);
  textured = new StdRenderBatchState(nullptr, decl, sizeof(Vertex), checker);
  plain = new StdRenderBatchState(nullptr, decl, sizeof(Vertex), white);
  batch = new RenderBatch(32768);
}
}  // namespace

void draw_render_test_screen(float t) {
  if (!d3d || !common_vb_writer.vb) {
    clear_view(0xFF101820);
    return;
  }
  if (!batch) open();
  clear_view(0xFF101820);
  float w = float(d3d_wd), h = float(d3d_ht);
  // Screen pixels, y down, through the fixed transform.
  Matrix44 id = Matrix44::identity();
  Matrix44 ortho(vec4float(2.f / w, 0, 0, 0), vec4float(0, -2.f / h, 0, 0), vec4float(0, 0, 1, 0),
                 vec4float(-1, 1, 0, 1));
  D3DMATRIX m;
  memcpy(&m, &id, sizeof(m));
  d3d->SetTransform(D3DTS_WORLD, &m);
  set_view_tm(id);
  set_proj_tm(ortho);
  set_cull_mode(0);
  set_zenable(false);
  set_texture_filter(0, false);
  set_texture_address(0, 0, -1, -1);
  set_blend_alpha();
  float s = h / 4;
  add_quad(textured, w / 2 - s, h / 2 - s, w / 2 + s, h / 2 + s, 0xFFFFFFFF);
  double now = get_time_sec(get_ref_time());
  for (int i = 0; i < 6; i++) {
    float a = float(now) * 0.8f + float(i) * 1.047f;
    float cx = w / 2 + cosf(a) * s * 1.6f, cy = h / 2 + sinf(a) * s * 1.2f, r = s * 0.25f;
    D3dColor c = 0xA0000000u | (i & 1 ? 0xFF4020u : 0x20C0FFu);
    add_quad(plain, cx - r, cy - r, cx + r, cy + r, c);
  }
  (void)t;
  batch->render();
  batch->clear();
  set_blend_none();
}

void close_render_test_screen() {
  delete batch;
  delete textured;
  delete plain;
  batch = nullptr;
  textured = plain = nullptr;
  if (checker) destroy_texture(checker);
  if (white) destroy_texture(white);
  checker = white = nullptr;
}
