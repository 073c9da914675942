// The level renderer (see levelRenderer.h): texture sizing, the refill of the visible cells, the two
// quads per draw through the shared vertex writer, and the pass state they share.
#include "game/levelRenderer.h"
#include <string.h>
#include <new>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "game/levelGrid.h"
#include "game/screenPasses.h"

namespace {
const VertexElement LEVEL_VERTEX_ELEMENTS[] = {
    {0, 0, VE_FLOAT3, VU_POSITION, 0}, {12, 0, VE_SHORT2, VU_TEXCOORD, 0}, VE_END};

// The pass state.
Shader* level_shader = nullptr;
IDirect3DVertexDeclaration9* level_decl = nullptr;
Texture* bound_texture = nullptr;  // stage 0 as the last quad left it; none between passes
Matrix44 base_tm = Matrix44::identity();
Matrix44 level_tm = Matrix44::identity();

void create_textures(LevelRenderer* r, int viewWidth, int viewHeight) {
  if (r->bgTexture) destroy_texture(r->bgTexture);
  if (r->fgTexture) destroy_texture(r->fgTexture);
  r->bgTexture = r->fgTexture = nullptr;
  r->texWidth = level_texture_side(viewWidth, r->width);
  r->texHeight = level_texture_side(viewHeight, r->height);
  debug("creating %dx%d level textures", r->texWidth, r->texHeight);
  // Headless tools and tests have no device: the renderer then only keeps its sizes.
  if (!d3d) return;
  r->bgTexture = create_dynamic_texture(r->texWidth, r->texHeight);
  r->fgTexture = create_dynamic_texture(r->texWidth, r->texHeight);
  if (!r->bgTexture || !r->fgTexture) fatal("Can't create dynamic textures for the level");
}

void emit_quad(LevelRenderer* r, Texture* tex, bool background, float x, float y, int cols, int rows, float z) {
  DynVBWriter& w = common_vb_writer;
  if (tex != bound_texture) {
    w.flush(false);
    set_texture(0, tex);
    Texture* tile = background ? get_back_tile_texture() : get_voxel_tile_texture();
    if (tile) set_texture(1, tile);
    else d3d->SetTexture(1, nullptr);
    float c16[4] = {float(r->texWidth), -float(r->texHeight), 0, 0};
    set_vs_consts(16, c16, 1);
    bound_texture = tex;
  }
  if (w.room() < int(6 * sizeof(LevelVertex))) w.flush(false);
  int16_t s = int16_t(cols * (16384 / r->texWidth)), t = int16_t(rows * (16384 / r->texHeight));
  float x1 = x + float(cols), y1 = y + float(rows);
  LevelVertex v[6] = {{x, y, z, 0, 0},   {x1, y, z, s, 0},  {x1, y1, z, s, t},
                      {x, y, z, 0, 0},   {x1, y1, z, s, t}, {x, y1, z, 0, t}};
  memcpy(w.writePtr, v, sizeof(v));
  w.writePtr += sizeof(v);
  w.primCount += 2;
}

void upload_row(uint8_t* dst, const uint8_t* cell, int count, int stride, bool background) {
  uint32_t* out = (uint32_t*)dst;
  for (int i = 0; i < count; i++, cell += stride) {
    const LevelCell* c = (const LevelCell*)cell;
    out[i] = level_texel(background ? c->background : c->foreground);
  }
}
}  // namespace

int level_texture_side(int view, int grid) {
  int n = (view >= 1 && view <= grid) ? view : grid;
  int side = 1;
  while (side < n) side *= 2;
  return side;
}

void init_level_rendering() {
  if (!d3d) return;
  level_decl = get_vertex_decl(LEVEL_VERTEX_ELEMENTS);
  level_shader = create_shader("level.sh", "");
}

void close_level_rendering() {
  if (level_shader) destroy_shader(level_shader);
  level_shader = nullptr;
  level_decl = nullptr;
}

LevelRenderer* create_level_renderer(LevelCell* cells, int cellStride, int rowStride, int width, int height,
                                     int viewWidth, int viewHeight) {
  void* mem = dlmalloc(sizeof(LevelRenderer));
  if (!mem) return nullptr;
  LevelRenderer* r = new (mem) LevelRenderer{cells, cellStride, rowStride, width, height, nullptr, nullptr, 0, 0};
  create_textures(r, viewWidth, viewHeight);
  return r;
}

void destroy_renderer(LevelRenderer*& r) {
  if (!r) return;
  if (r->bgTexture) destroy_texture(r->bgTexture);
  if (r->fgTexture) destroy_texture(r->fgTexture);
  dlfree(r);
  r = nullptr;
}

void reset_renderer(LevelRenderer* r, int viewWidth, int viewHeight) {
  if (r) create_textures(r, viewWidth, viewHeight);
}

void invalidate_renderer(LevelRenderer*, int, int, int, int) {}
void invalidate_all_renderer(LevelRenderer*) {}

void render_area(LevelRenderer* r, int x0, int y0, int x1, int y1, float z) {
  if (!r || !r->bgTexture || !r->fgTexture) return;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > r->width - 1) x1 = r->width - 1;
  if (y1 > r->height - 1) y1 = r->height - 1;
  if (x0 > x1 || y0 > y1) return;
  // A rectangle larger than the textures keeps its bottom-left part: the scene asks for one column
  // and one row more than the view when the screen divides by the pixel scale.
  if (x1 > x0 + r->texWidth - 1) x1 = x0 + r->texWidth - 1;
  if (y1 > y0 + r->texHeight - 1) y1 = y0 + r->texHeight - 1;
  int bg_pitch = 0, fg_pitch = 0;
  uint8_t* bg = (uint8_t*)lock_texture(r->bgTexture, &bg_pitch, true);
  if (!bg) return;
  uint8_t* fg = (uint8_t*)lock_texture(r->fgTexture, &fg_pitch, true);
  if (!fg) {
    unlock_texture(r->bgTexture);
    return;
  }
  int cols = x1 - x0 + 1, rows = y1 - y0 + 1;
  for (int k = 0; k < rows; k++) {
    const uint8_t* row = (const uint8_t*)r->cells + (ptrdiff_t)(y0 + k) * r->rowStride + (ptrdiff_t)x0 * r->cellStride;
    upload_row(bg + (ptrdiff_t)k * bg_pitch, row, cols, r->cellStride, true);
    upload_row(fg + (ptrdiff_t)k * fg_pitch, row, cols, r->cellStride, false);
  }
  unlock_texture(r->fgTexture);
  unlock_texture(r->bgTexture);
  emit_quad(r, r->bgTexture, true, float(x0), float(y0), cols, rows, z + 20.0f);
  emit_quad(r, r->fgTexture, false, float(x0), float(y0), cols, rows, z);
}

void render_all(LevelRenderer* r, float z) {
  if (r) render_area(r, 0, 0, r->width, r->height, z);
}

// Without a device (headless tools and tests) a pass and its transforms do nothing, like the draws
// inside it: the actor library's parts place their grids whether or not anything is drawn.
void start_level_rendering() {
  if (!d3d) return;
  ASSERT(!common_vb_writer.started());
  get_glob_tm(base_tm);
  level_tm = Matrix44::identity();
  set_vertex_decl(level_decl);
  set_stream_source(0, common_vb_writer.vb, 0, int(sizeof(LevelVertex)));
  set_shader(level_shader);
  set_cull_mode(0);
  set_atest(128);
  set_texture_filter(0, false);
  set_texture_filter(1, true);
  set_texture_address(1, 0, 0, 0);
  bound_texture = nullptr;
  common_vb_writer.begin(draw_triangle_run, D3DPT_TRIANGLELIST);
}

void end_level_rendering() {
  if (!d3d) return;
  common_vb_writer.flush(true);
  bound_texture = nullptr;
  set_cull_mode(1);
  set_atest(0);
  if (level_tm != Matrix44::identity()) set_vs_consts(0, (const float*)&base_tm, 4);
}

void set_level_tm(const Matrix44& tm) {
  if (!d3d || tm == level_tm) return;
  common_vb_writer.flush(false);
  level_tm = tm;
  Matrix44 m = tm * base_tm;
  set_vs_consts(0, (const float*)&m, 4);
}
