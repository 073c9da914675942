// The level renderer: draws a rectangle of LevelCell (the level, the elevator's copy of the exit, a
// boss part's grid) as two textured layers, one for the background colours and one for the
// foreground colours, one texel per cell. Each renderer owns two dynamic textures sized to the view
// and refills them from the cells on every draw, so a hole a bullet cuts shows in the next frame
// with no bookkeeping. Each layer's quad is cut down to the blocks of cells that show something of
// it (a software rasteriser pays for every pixel covered). A drawing pass (start_level_rendering ...
// end_level_rendering) sets the shader "level.sh" (shared with the sprite pass) and the render
// states once for any number of renderers.
// The actor library creates, draws and destroys renderers of its own through these functions.
#pragma once
#include <stdint.h>
#include "engine/misc/vecMath.h"

struct LevelCell;
struct Texture;

// The fields in this order; the actor library holds pointers to renderers but never reads them.
struct LevelRenderer {
  LevelCell* cells;    // first cell, not owned
  int32_t cellStride;  // bytes from one cell to the next in a row
  int32_t rowStride;   // bytes from one row to the next
  int32_t width;       // cells per row
  int32_t height;      // rows
  Texture* bgTexture;  // background colours; null without a device
  Texture* fgTexture;  // foreground colours
  int32_t texWidth;    // powers of two
  int32_t texHeight;
};

// A vertex of the level quads: position in cells (z depth), texture coordinates in 1/16384 of the
// texture.
struct LevelVertex {
  float x, y, z;
  int16_t u, v;
};
static_assert(sizeof(LevelVertex) == 16, "level vertex is 16 bytes");

// The cell colour (1-5-5-5, bit 15 present) as an A8R8G8B8 texel: alpha 255 when present, each
// 5-bit channel widened to 8 bits.
inline uint32_t level_texel(uint16_t c) {
  uint32_t r = (c >> 10) & 31, g = (c >> 5) & 31, b = c & 31;
  r = (r << 3) | (r >> 2);
  g = (g << 3) | (g >> 2);
  b = (b << 3) | (b >> 2);
  return ((c & 0x8000) ? 0xFF000000u : 0u) | (r << 16) | (g << 8) | b;
}

// The texture side for a requested view size: the grid's size when the request is below 1 or larger
// than the grid, raised to a power of two.
int level_texture_side(int view, int grid);

void init_level_rendering();
void close_level_rendering();

// A new renderer (null when the allocation fails) with textures sized for the view. Without a
// device (headless tools and tests) it has no textures and draws nothing.
LevelRenderer* create_level_renderer(LevelCell* cells, int cellStride, int rowStride, int width, int height,
                                     int viewWidth, int viewHeight);
void destroy_renderer(LevelRenderer*& renderer);
void reset_renderer(LevelRenderer* renderer, int viewWidth, int viewHeight);
// Nothing to do: every draw refills from the cells. Kept for the callers that report changes.
void invalidate_renderer(LevelRenderer* renderer, int x0, int y0, int x1, int y1);
void invalidate_all_renderer(LevelRenderer* renderer);

// Draws the cells of the inclusive rectangle (clamped to the grid and to the textures) at depth z.
void render_area(LevelRenderer* renderer, int x0, int y0, int x1, int y1, float z);
void render_all(LevelRenderer* renderer, float z);
void start_level_rendering();
void end_level_rendering();
// The transform from grid cells to world for the following quads (boss parts, the elevator).
// Without a device the pass, its transforms and its draws do nothing.
void set_level_tm(const Matrix44& tm);
// Within the pass: the following quads keep to the level's rectangle on screen (true), or draw
// anywhere again (false). The boss's parts can fall or hang past the level's edges.
void clip_level_rendering(bool on);
