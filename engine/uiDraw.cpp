// UI drawing: the GUI mode's device state, the GUI batch and its states ("guiBitmap.sh",
// "roundedBox.sh", "uiImage.sh"), and the quad writers. Without a device the rounded-box quads are
// kept in memory for inspection.
#include "engine/uiDraw.h"
#include <math.h>
#include <string.h>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/distFont.h"

RenderBatch gui_batch(32768);

namespace {
DynArray<RoundedBoxVertex> box_vertices;
float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

const VertexElement GUI_IMAGE_ELEMENTS[] = {
    {0, 0, VE_FLOAT2, VU_POSITION, 0}, {8, 0, VE_D3DCOLOR, VU_COLOR, 0}, {12, 0, VE_FLOAT2, VU_TEXCOORD, 0}, VE_END};
const VertexElement ROUNDED_BOX_ELEMENTS[] = {
    {0, 0, VE_FLOAT2, VU_POSITION, 0},    {8, 0, VE_FLOAT2, VU_TEXCOORD, 0},  {16, 0, VE_FLOAT2, VU_TEXCOORD, 1},
    {24, 0, VE_D3DCOLOR, VU_TEXCOORD, 2}, {28, 0, VE_D3DCOLOR, VU_COLOR, 0},  {32, 0, VE_D3DCOLOR, VU_COLOR, 1},
    {36, 0, VE_D3DCOLOR, VU_TEXCOORD, 3}, {40, 0, VE_FLOAT1, VU_TEXCOORD, 4}, VE_END};

BitmapFontBatchState gui_bitmap_state(nullptr, nullptr, int(sizeof(GuiImageVertex)), nullptr);
StdRenderBatchState rounded_box_state(nullptr, nullptr, int(sizeof(RoundedBoxVertex)), nullptr);
Shader* ui_image_shader = nullptr;
IDirect3DVertexDeclaration9* gui_image_decl = nullptr;

}  // namespace

void BitmapFontBatchState::begin(BaseRenderBatchState* prev) {
  StdRenderBatchState::begin(prev);
  float w = float(get_texture_width(texture)), h = float(get_texture_height(texture));
  if (!(default_font.page && texture == default_font.page)) h = -h;
  float c16[4] = {w, h, 0, 0};
  set_vs_consts(16, c16, 1);
}

IDirect3DVertexDeclaration9* get_gui_image_decl() {
  if (!gui_image_decl && d3d) gui_image_decl = get_vertex_decl(GUI_IMAGE_ELEMENTS);
  return gui_image_decl;
}

void init_gui_bitmap_state(Texture* atlas) {
  gui_bitmap_state.texture = atlas;
  if (!atlas) gui_image_decl = nullptr;  // the declaration cache goes with the device
}

void set_gui_bitmap_shader(Shader* shader) {
  gui_bitmap_state.shader = shader;
  gui_bitmap_state.vdecl = shader ? get_gui_image_decl() : nullptr;
}

Shader* get_gui_bitmap_shader() { return gui_bitmap_state.shader; }

BaseRenderBatchState* get_gui_bitmap_state() {
  return d3d && gui_bitmap_state.shader && gui_bitmap_state.texture ? &gui_bitmap_state : nullptr;
}

D3dColor pack_bytes4(float a, float b, float c, float d) {
  auto byte = [](float v) { return uint32_t(lroundf(clamp01(v / 255.0f) * 255.0f)); };
  return (byte(d) << 24) | (byte(a) << 16) | (byte(b) << 8) | byte(c);
}

void start_gui_render() {
  if (!d3d) return;
  float w = float(d3d_wd), h = float(d3d_ht);
  float c17[4] = {2.0f / w, -2.0f / h, -1.0f - 0.5f / w, 1.0f + 0.5f / h};
  set_vs_consts(17, c17, 1);
  set_texture_filter(0, false);
  set_texture(1, get_sprite_tile_texture());
  set_texture_filter(1, true);
  set_texture_address(1, 0, -1, -1);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(false);
  set_blend_none();
  set_atest(0);
  set_texture_address(0, 0, -1, -1);
}

void end_gui_render() {
  if (!d3d) return;
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
}

void init_rounded_box_render() {
  rounded_box_state.shader = create_shader("roundedBox.sh", "");
  rounded_box_state.vdecl = get_vertex_decl(ROUNDED_BOX_ELEMENTS);
}

void init_ui_image_render() {
  ui_image_shader = create_shader("uiImage.sh", "");
  get_gui_image_decl();
}

void init_ui_image_state(StdRenderBatchState& state, Texture* texture, Shader* shader) {
  state.shader = shader ? shader : ui_image_shader;
  state.vdecl = get_gui_image_decl();
  state.stride = int(sizeof(GuiImageVertex));
  state.texture = texture;
}

void close_ui_render() {
  if (rounded_box_state.shader) destroy_shader(rounded_box_state.shader);
  if (ui_image_shader) destroy_shader(ui_image_shader);
  if (gui_bitmap_state.shader) destroy_shader(gui_bitmap_state.shader);
  rounded_box_state.shader = nullptr;
  rounded_box_state.vdecl = nullptr;
  ui_image_shader = nullptr;
  gui_bitmap_state.shader = nullptr;
  gui_bitmap_state.vdecl = nullptr;
  gui_image_decl = nullptr;
  gui_batch.clear();
}

void make_rounded_box(RoundedBoxVertex out[6], float sortBox[4], __m128 box, __m128 radii, D3dColor colour,
                      float feather, float sx, float sy, float blur, D3dColor shadowColour, float shadowSize) {
  if (feather <= 0.5f) feather = 0.5f;
  vec4float b(box), r(radii);
  float x0 = b[0] - feather, y0 = b[1] - feather, x1 = b[2] + feather, y1 = b[3] + feather;
  if (shadowSize >= 0) {
    float g = blur + shadowSize;
    x0 = fminf(x0, b[0] + sx - g);
    y0 = fminf(y0, b[1] + sy - g);
    x1 = fmaxf(x1, b[2] + sx + g);
    y1 = fmaxf(y1, b[3] + sy + g);
  }
  sortBox[0] = x0;
  sortBox[1] = y0;
  sortBox[2] = x1;
  sortBox[3] = y1;
  RoundedBoxVertex v;
  v.cx = (b[0] + b[2]) * 0.5f;
  v.cy = (b[1] + b[3]) * 0.5f;
  v.width = b[2] - b[0];
  v.height = b[3] - b[1];
  v.radii = pack_bytes4(r[0], r[1], r[2], r[3]);
  v.colour = colour;
  v.shadowColour = shadowColour;
  v.shadowParams = pack_bytes4((sx / 255.0f + 0.5f) * 255.0f, (sy / 255.0f + 0.5f) * 255.0f,
                               (blur / 255.0f + 0.5f) * 255.0f, feather);
  v.shadowSize = shadowSize;
  float xs[6] = {x0, x1, x1, x0, x1, x0}, ys[6] = {y0, y0, y1, y0, y1, y1};
  for (int i = 0; i < 6; i++) {
    out[i] = v;
    out[i].x = xs[i];
    out[i].y = ys[i];
  }
}

void make_ui_line(RoundedBoxVertex out[6], float sortBox[4], __m128 line, float width, D3dColor colour) {
  vec4float l(line);
  float cx = (l[0] + l[2]) * 0.5f, cy = (l[1] + l[3]) * 0.5f;
  float hx = (l[2] - l[0]) * 0.5f, hy = (l[3] - l[1]) * 0.5f;
  float len = sqrtf(hx * hx + hy * hy);
  // A line of no length has no direction: it draws as a point of the line's width.
  float k = len > 0 ? (width * 0.5f) / len : 0.0f;
  float wx = -hy * k, wy = hx * k;
  if (len <= 0) wx = wy = 0;
  float ex = fabsf(hx) + fabsf(wx), ey = fabsf(hy) + fabsf(wy);
  sortBox[0] = cx - ex - 0.5f;
  sortBox[1] = cy - ey - 0.5f;
  sortBox[2] = cx + ex + 0.5f;
  sortBox[3] = cy + ey + 0.5f;
  RoundedBoxVertex v;
  v.cx = cx;
  v.cy = cy;
  v.width = 3 * ex;
  v.height = 3 * ey;
  v.radii = 0;
  v.colour = colour;
  v.shadowColour = 0;
  v.shadowParams = 0x00808080;  // offsets and blur 0.5, feather 1 / 510: bytes 128, 128, 128, 0
  v.shadowSize = 0;
  float px[6] = {l[0] - wx, l[2] - wx, l[2] + wx, l[0] - wx, l[2] + wx, l[0] + wx};
  float py[6] = {l[1] - wy, l[3] - wy, l[3] + wy, l[1] - wy, l[3] + wy, l[1] + wy};
  for (int i = 0; i < 6; i++) {
    out[i] = v;
    out[i].x = px[i];
    out[i].y = py[i];
  }
}

void make_ui_image(GuiImageVertex out[6], __m128 box, D3dColor colour, __m128 uv) {
  vec4float b(box), t(uv);
  out[0] = {b[0], b[1], colour, t[0], t[1]};
  out[1] = {b[2], b[1], colour, t[2], t[1]};
  out[2] = {b[2], b[3], colour, t[2], t[3]};
  out[3] = out[0];
  out[4] = out[2];
  out[5] = {b[0], b[3], colour, t[0], t[3]};
}

void render_rounded_box(RenderBatch& batch, __m128 box, __m128 radii, D3dColor colour, float feather, float sx,
                        float sy, float blur, D3dColor shadowColour, float shadowSize) {
  RoundedBoxVertex v[6];
  float sort[4];
  make_rounded_box(v, sort, box, radii, colour, feather, sx, sy, blur, shadowColour, shadowSize);
  if (d3d && rounded_box_state.vdecl) memcpy(batch.add(&rounded_box_state, sort, int(sizeof(v)), 2), v, sizeof(v));
  else box_vertices.append(6, v);
}

void render_ui_line(RenderBatch& batch, __m128 line, float width, D3dColor colour) {
  RoundedBoxVertex v[6];
  float sort[4];
  make_ui_line(v, sort, line, width, colour);
  if (d3d && rounded_box_state.vdecl) memcpy(batch.add(&rounded_box_state, sort, int(sizeof(v)), 2), v, sizeof(v));
  else box_vertices.append(6, v);
}

void render_ui_image(RenderBatch& batch, StdRenderBatchState& state, __m128 box, D3dColor colour, __m128 uv) {
  GuiImageVertex v[6];
  make_ui_image(v, box, colour, uv);
  if (d3d && state.vdecl) {
    vec4float b(box);
    float sort[4] = {b[0], b[1], b[2], b[3]};
    memcpy(batch.add(&state, sort, int(sizeof(v)), 2), v, sizeof(v));
  } else {
    gui_image_vertices().append(6, v);
  }
}

DynArray<RoundedBoxVertex>& rounded_box_vertices() { return box_vertices; }
