// UI quad writers. The device state of the GUI mode and the batch states ("roundedBox.sh",
// "uiImage.sh") belong to the renderer; the quads are built here.
#include "engine/uiDraw.h"
#include <math.h>

namespace {
DynArray<RoundedBoxVertex> box_vertices;
float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
}  // namespace

D3dColor pack_bytes4(float a, float b, float c, float d) {
  auto byte = [](float v) { return uint32_t(lroundf(clamp01(v / 255.0f) * 255.0f)); };
  return (byte(d) << 24) | (byte(a) << 16) | (byte(b) << 8) | byte(c);
}

void start_gui_render() {
  // With the renderer: vertex constant 17 = (2 / W, -2 / H, -1 - 0.5 / W, 1 + 0.5 / H); stage 0 point
  // filtering and wrap addressing; stage 1 "voxel-tile.dds" with linear filtering and wrapping;
  // culling, depth test and writes, blending and alpha test off.
}
void end_gui_render() {}
void init_rounded_box_render() {}
void init_ui_image_render() {}
void init_ui_image_state(StdRenderBatchState&, Texture*, Shader*) {}

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

void render_rounded_box(RenderBatch&, __m128 box, __m128 radii, D3dColor colour, float feather, float sx, float sy,
                        float blur, D3dColor shadowColour, float shadowSize) {
  RoundedBoxVertex v[6];
  float sort[4];
  make_rounded_box(v, sort, box, radii, colour, feather, sx, sy, blur, shadowColour, shadowSize);
  box_vertices.append(6, v);  // becomes RenderBatch::add (rounded-box state, sort, 264 bytes, 2 triangles)
}

void render_ui_line(RenderBatch&, __m128 line, float width, D3dColor colour) {
  RoundedBoxVertex v[6];
  float sort[4];
  make_ui_line(v, sort, line, width, colour);
  box_vertices.append(6, v);
}

void render_ui_image(RenderBatch&, StdRenderBatchState&, __m128 box, D3dColor colour, __m128 uv) {
  GuiImageVertex v[6];
  make_ui_image(v, box, colour, uv);
  gui_image_vertices().append(6, v);
}

DynArray<RoundedBoxVertex>& rounded_box_vertices() { return box_vertices; }
