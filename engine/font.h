// The debug font: a 16 x 16 grid of characters in "font.tga", drawn in screen pixels with y up for
// the splash, the statistics overlay, the visual log and developer text; its text style (scale,
// line and character spacing) with a push/pop stack; filled rectangles and boxes; the splash screen.
// The bitmap font of the GUI (`BitmapFont`, `default_font`) is the distance-field font record drawn
// with the plain GUI shader; it lives in distFont.h.
#pragma once
#include <stdint.h>
#include "engine/misc/vecMath.h"

class BaseRenderBatchState;
class RenderBatch;
struct Texture;

// A vertex of debug text: pixels (y up), colour, texels of "font.tga" (-1, -1 for solid fills).
struct DebugFontVertex {
  int16_t x, y;
  D3dColor colour;
  int16_t u, v;
};
static_assert(sizeof(DebugFontVertex) == 12, "debug-font vertex is 12 bytes");

// One character's texels in "font.tga": x0 the first column with ink, x1 one past the last, y0 the
// cell's lowest row in image-reader order, y1 = y0 + cell height.
struct DebugGlyph {
  int x0, y0, x1, y1;
};

// The text style.
struct TextState {
  int lineSpacing;
  int charSpacing;
  int scale;
};

void init_debug_font();
void close_debug_font();
// Builds the glyph table from an image already loaded (pixels 0xAARRGGBB, bottom row first, as the
// image reader gives them); fatal when the size is not a 16 x 16 grid.
void build_debug_font(const uint32_t* pixels, int width, int height);
void update_font_scale();
const DebugGlyph& get_debug_glyph(unsigned char c);
int get_font_cell_width();
int get_font_cell_height();
int get_debug_font_scale();

TextState save_text_state();
void restore_text_state(const TextState& s);
void push_text_style();
void push_text_style(const TextState& s);
void pop_text_style();
void set_text_scale(int scale);
int get_text_scale();
void set_text_spacing(int lineSpacing, int charSpacing);

void calc_text_size(const char* text, int len, int& width, int& height);
void start_draw_text();
void end_draw_text();
// alignX, alignY: -1 left / bottom, 0 centre, 1 right / top.
void draw_text(const char* text, int len, int x, int y, int alignX, int alignY, D3dColor colour);
void draw_rect(int x0, int y0, int x1, int y1, D3dColor colour);
void draw_box(int x0, int y0, int x1, int y1, D3dColor colour);
// Rectangles of any texture in the same vertex format; texel corners (u0, v0) at (x0, y0) and
// (u1, v1) at (x1, y1).
void draw_image(int x0, int y0, int x1, int y1, D3dColor colour, int u0, int v0, int u1, int v1);
// A run of draw_image rectangles of any texture (texels scaled by 1 / width, 1 / height).
void start_draw_image(Texture* tex, int width, int height);
void end_draw_image();
// The same quads as draw_rect and draw_text, added to a batch with the font batch state.
void batch_rect(RenderBatch& batch, int x0, int y0, int x1, int y1, D3dColor colour);
void batch_text(RenderBatch& batch, const char* text, int len, int x, int y, int alignX, int alignY, D3dColor colour);
BaseRenderBatchState* get_font_batch_state();

void show_splash(const char* text, float progress);
void draw_splash();
const char* get_splash_text();
float get_splash_progress();

// The vertices written since start_draw_text, and the number of times the run was handed on
// (every 64 KB, as the shared vertex buffer would be). Kept only while no device draws them
// (headless tools and tests).
const DebugFontVertex* debug_text_vertices(int* count);
int debug_text_flushes();
