// UI drawing primitives in screen pixels with y down: the pixel-exact GUI drawing mode, rounded
// boxes with shadows, lines drawn as rounded boxes, and plain images. Sprites draw into the GUI
// through Sprite::drawUI and Sprite::drawCroppedUI (loadSprite.h).
#pragma once
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/loadSprite.h"
#include "engine/misc/vecMath.h"
#include "engine/renderBatch.h"

struct Shader;

// The GUI bitmap state: sprites of the atlas and bitmap-font glyphs ("guiBitmap.sh", GUI image
// vertices). Its begin also sets c16 = (texture width, texture height, 0, 0), the height negated
// for textures whose rows run up the picture (the atlas) and kept for the default font's page.
class BitmapFontBatchState : public StdRenderBatchState {
 public:
  using StdRenderBatchState::StdRenderBatchState;
  void begin(BaseRenderBatchState* prev) override;
};

// The batch of GUI quads in screen pixels, y down, drawn between start_gui_render and end_gui_render.
extern RenderBatch gui_batch;
// The GUI image vertex declaration.
IDirect3DVertexDeclaration9* get_gui_image_decl();
// The atlas texture of the GUI bitmap state (set by the sprites), and its shader and declaration
// (set by init_bitmap_fonts); null until both are there: GUI sprite quads are then kept in memory.
void init_gui_bitmap_state(Texture* atlas);
void set_gui_bitmap_shader(Shader* shader);
BaseRenderBatchState* get_gui_bitmap_state();
Shader* get_gui_bitmap_shader();

// The rounded-box vertex, 44 bytes: quad corner, box centre and size, packed radii, fill colour,
// shadow colour, packed shadow parameters, shadow size.
struct RoundedBoxVertex {
  float x, y;
  float cx, cy;
  float width, height;
  D3dColor radii;
  D3dColor colour;
  D3dColor shadowColour;
  D3dColor shadowParams;
  float shadowSize;
};
static_assert(sizeof(RoundedBoxVertex) == 44, "rounded-box vertex is 44 bytes");

// Four values, each divided by 255, clamped to 0..1 and stored as a byte (first in red, then green,
// blue, alpha).
D3dColor pack_bytes4(float a, float b, float c, float d);

void start_gui_render();
void end_gui_render();
void init_rounded_box_render();
void init_ui_image_render();
void init_ui_image_state(StdRenderBatchState& state, Texture* texture, Shader* shader);
// Destroys the GUI shaders (scene shutdown).
void close_ui_render();

void render_rounded_box(RenderBatch& batch, __m128 box, __m128 radii, D3dColor colour, float feather,
                        float shadowOffsetX, float shadowOffsetY, float shadowBlur, D3dColor shadowColour,
                        float shadowSize);
void render_ui_line(RenderBatch& batch, __m128 line, float width, D3dColor colour);
void render_ui_image(RenderBatch& batch, StdRenderBatchState& state, __m128 box, D3dColor colour, __m128 uv);

// The quads of the three writers (six vertices each; sortBox receives the batch's box).
void make_rounded_box(RoundedBoxVertex out[6], float sortBox[4], __m128 box, __m128 radii, D3dColor colour,
                      float feather, float shadowOffsetX, float shadowOffsetY, float shadowBlur, D3dColor shadowColour,
                      float shadowSize);
void make_ui_line(RoundedBoxVertex out[6], float sortBox[4], __m128 line, float width, D3dColor colour);
void make_ui_image(GuiImageVertex out[6], __m128 box, D3dColor colour, __m128 uv);

// Until the renderer's batches exist, rounded-box quads of a frame collect here (images go with
// the other GUI images, gui_image_vertices()).
DynArray<RoundedBoxVertex>& rounded_box_vertices();
