// The level renderer (see levelRenderer.h): texture sizing, the refill of the visible cells, the two
// quads per draw through the shared vertex writer, and the pass state they share.
#include "game/levelRenderer.h"
#include <math.h>
#include <string.h>
#include <algorithm>
#include <new>
#include <vector>
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

// Binds the quad's texture and its tile texture when they differ from the last quad's.
void bind_quad_texture(LevelRenderer* r, Texture* tex, bool background) {
  if (tex == bound_texture) return;
  common_vb_writer.flush(false);
  set_texture(0, tex);
  Texture* tile = background ? get_back_tile_texture() : get_voxel_tile_texture();
  if (tile) set_texture(1, tile);
  else d3d->SetTexture(1, nullptr);
  float c16[4] = {float(r->texWidth), -float(r->texHeight), 0, 0};
  set_vs_consts(16, c16, 1);
  bound_texture = tex;
}

// A rectangle of the drawn cells, half-open, in cells from the drawn rectangle's bottom-left corner.
struct CellRect {
  int x0, y0, x1, y1;
};

// Two triangles covering the cells of c, the drawn rectangle's corner at (x, y); the texture
// coordinates are those the same cells have in the whole rectangle's quad.
void emit_rect(LevelRenderer* r, float x, float y, const CellRect& c, float z) {
  DynVBWriter& w = common_vb_writer;
  if (w.room() < int(6 * sizeof(LevelVertex))) w.flush(false);
  int du = 16384 / r->texWidth, dv = 16384 / r->texHeight;
  int16_t s0 = int16_t(c.x0 * du), s1 = int16_t(c.x1 * du), t0 = int16_t(c.y0 * dv), t1 = int16_t(c.y1 * dv);
  float xa = x + float(c.x0), xb = x + float(c.x1), ya = y + float(c.y0), yb = y + float(c.y1);
  LevelVertex v[6] = {{xa, ya, z, s0, t0}, {xb, ya, z, s1, t0}, {xb, yb, z, s1, t1},
                      {xa, ya, z, s0, t0}, {xb, yb, z, s1, t1}, {xa, yb, z, s0, t1}};
  memcpy(w.writePtr, v, sizeof(v));
  w.writePtr += sizeof(v);
  w.primCount += 2;
}

// What a draw leaves out. On a software rasteriser the level costs the pixels its quads cover, and
// most of them are empty air or background hidden behind foreground. So each layer is drawn only
// over the blocks of COVER_BLOCK x COVER_BLOCK cells that show something of it: the foreground over
// blocks with a foreground cell, the background over blocks with a background cell whose foreground
// is absent (a present foreground cell is opaque and nearer, and hides its background). Every
// texel is still refilled, and every pixel shows the same cell; only on a rotated grid (a boss part)
// may a pixel's tile shading round one step apart, the smaller triangles interpolating it anew.
const int COVER_BLOCK = 8;
enum : uint8_t { SHOWS_BACKGROUND = 1, SHOWS_FOREGROUND = 2 };

// Rectangles of the blocks that show one layer: the runs of such blocks in each block row, a run
// with the same columns as one in the row below growing that rectangle upwards.
class CoverRects {
 public:
  std::vector<CellRect> rects;
  void clear() { rects.clear(); }
  // The runs of blocks with the flag in the block row of cells y0 to y1 (half-open).
  void addRow(const uint8_t* flags, int blocks, uint8_t flag, int y0, int y1, int cols) {
    for (int b = 0; b < blocks;) {
      if (!(flags[b] & flag)) {
        b++;
        continue;
      }
      int e = b + 1;
      while (e < blocks && (flags[e] & flag)) e++;
      int x0 = b * COVER_BLOCK, x1 = e * COVER_BLOCK < cols ? e * COVER_BLOCK : cols;
      bool grown = false;
      for (CellRect& c : rects)
        if (c.y1 == y0 && c.x0 == x0 && c.x1 == x1) {
          c.y1 = y1;
          grown = true;
          break;
        }
      if (!grown) rects.push_back(CellRect{x0, y0, x1, y1});
      b = e;
    }
  }
};

// Scratch of the draws, kept between frames so that a draw allocates nothing.
std::vector<uint8_t> block_flags;
CoverRects background_rects, foreground_rects;

// Converts one row of cells into texels of both layers and marks what the row's blocks show.
void fill_row(uint32_t* bg, uint32_t* fg, const uint8_t* cell, int count, int stride, uint8_t* flags) {
  for (int i = 0; i < count; i++, cell += stride) {
    const LevelCell* c = (const LevelCell*)cell;
    uint16_t b = c->background, f = c->foreground;
    bg[i] = level_texel(b);
    fg[i] = level_texel(f);
    flags[i / COVER_BLOCK] |= uint8_t(((b & ~f) >> 15) | ((f >> 14) & SHOWS_FOREGROUND));
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
  int blocks = (cols + COVER_BLOCK - 1) / COVER_BLOCK;
  block_flags.assign(size_t(blocks), 0);
  background_rects.clear();
  foreground_rects.clear();
  for (int k = 0; k < rows; k++) {
    const uint8_t* row = (const uint8_t*)r->cells + (ptrdiff_t)(y0 + k) * r->rowStride + (ptrdiff_t)x0 * r->cellStride;
    fill_row((uint32_t*)(bg + (ptrdiff_t)k * bg_pitch), (uint32_t*)(fg + (ptrdiff_t)k * fg_pitch), row, cols,
             r->cellStride, block_flags.data());
    if (k % COVER_BLOCK == COVER_BLOCK - 1 || k == rows - 1) {
      int bottom = k - k % COVER_BLOCK;
      background_rects.addRow(block_flags.data(), blocks, SHOWS_BACKGROUND, bottom, k + 1, cols);
      foreground_rects.addRow(block_flags.data(), blocks, SHOWS_FOREGROUND, bottom, k + 1, cols);
      block_flags.assign(size_t(blocks), 0);
    }
  }
  unlock_texture(r->fgTexture);
  unlock_texture(r->bgTexture);
  // The background first, then the foreground, as the two whole quads would be drawn.
  if (!background_rects.rects.empty()) bind_quad_texture(r, r->bgTexture, true);
  for (const CellRect& c : background_rects.rects) emit_rect(r, float(x0), float(y0), c, z + 20.0f);
  if (!foreground_rects.rects.empty()) bind_quad_texture(r, r->fgTexture, false);
  for (const CellRect& c : foreground_rects.rects) emit_rect(r, float(x0), float(y0), c, z);
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

void clip_level_rendering(bool on) {
  if (!d3d) return;
  common_vb_writer.flush(false);
  if (on) {
    // The pass's view is orthographic, so the level's rectangle covers the same pixels at every
    // depth: its two corners through the world-to-clip transform, then into the viewport.
    D3DVIEWPORT9 vp = {};
    d3d->GetViewport(&vp);
    vec4float a = vec4float(0, 0, 0, 1) * base_tm,
              b = vec4float(float(LEVEL_WIDTH), float(LEVEL_HEIGHT), 0, 1) * base_tm;
    auto px = [&](float clip_x) { return float(vp.X) + (clip_x + 1) * 0.5f * float(vp.Width); };
    auto py = [&](float clip_y) { return float(vp.Y) + (1 - clip_y) * 0.5f * float(vp.Height); };
    auto clamp = [](float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; };
    float x0 = px(a.x()), x1 = px(b.x()), y0 = py(b.y()), y1 = py(a.y());
    RECT r;
    r.left = int32_t(floorf(clamp(std::min(x0, x1), float(vp.X), float(vp.X + vp.Width)) + 0.5f));
    r.right = int32_t(floorf(clamp(std::max(x0, x1), float(vp.X), float(vp.X + vp.Width)) + 0.5f));
    r.top = int32_t(floorf(clamp(std::min(y0, y1), float(vp.Y), float(vp.Y + vp.Height)) + 0.5f));
    r.bottom = int32_t(floorf(clamp(std::max(y0, y1), float(vp.Y), float(vp.Y + vp.Height)) + 0.5f));
    d3d->SetScissorRect(&r);
  }
  d3d->SetRenderState(D3DRS_SCISSORTESTENABLE, on ? 1 : 0);
}

void set_level_tm(const Matrix44& tm) {
  if (!d3d || tm == level_tm) return;
  common_vb_writer.flush(false);
  level_tm = tm;
  Matrix44 m = tm * base_tm;
  set_vs_consts(0, (const float*)&m, 4);
}
