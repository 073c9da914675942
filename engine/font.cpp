// The debug font: glyph table from "font.tga", text measuring and the text quads, and the splash.
// With the device open the quads go straight into the shared dynamic vertex buffer (the "font.sh"
// shader, the font texture, point filtering) or, for batch_rect and batch_text, into a render
// batch; without one (tools and tests that run headless) the run is kept in memory and only its
// hand-over points are counted.
#include "engine/font.h"
#include <string.h>
#include "engine/app.h"
#include "engine/cont/dynArray.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/imageFiles.h"
#include "engine/log.h"
#include "engine/misc/utils.h"
#include "engine/renderBatch.h"
#include "engine/sysUtils.h"

namespace {
DebugGlyph glyphs[256];
int cell_width = 8;
int cell_height = 16;
float texel_scale[2] = {0, 0};
TextState style = {0, 0, 1};
int font_scale = 1;
DynArray<TextState> style_stack;
TempString<256> splash_text;
float splash_progress = -1;

// The shared vertex buffer holds 64 KB; a quad is 72 bytes.
const int RUN_BYTES = 65536;
const int QUAD_BYTES = 6 * int(sizeof(DebugFontVertex));
DynArray<DebugFontVertex> run;
int run_start = 0;  // first vertex of the part not yet handed on
int run_flushes = 0;
bool run_open = false;
bool run_on_device = false;           // the open run writes into common_vb_writer
RenderBatch* target_batch = nullptr;  // batch_rect / batch_text: quads go into this batch

const VertexElement FONT_VERTEX_ELEMENTS[] = {
    {0, 0, VE_SHORT2, VU_POSITION, 0}, {4, 0, VE_D3DCOLOR, VU_COLOR, 0}, {8, 0, VE_SHORT2, VU_TEXCOORD, 0}, VE_END};
Texture* font_texture = nullptr;
Shader* font_shader = nullptr;
IDirect3DVertexDeclaration9* font_decl = nullptr;
Texture* image_texture = nullptr;  // start_draw_image: the texture bound instead of the font's
float image_texel_scale[2] = {0, 0};

// The text drawing state: shader, declaration and stream of the shared buffer, the texture with
// point filtering, the y-up pixel mapping, no culling or depth, alpha blending, and an alpha test
// of its own reference 1: an earlier pass may have left 128, which would drop the half-transparent
// shadows.
void apply_text_state(Texture* tex, const float scale[2]) {
  set_vertex_decl(font_decl);
  set_stream_source(0, common_vb_writer.vb, 0, int(sizeof(DebugFontVertex)));
  set_shader(font_shader);
  set_texture(0, tex);
  set_texture_filter(0, false);
  float w = float(d3d_wd), h = float(d3d_ht);
  float c16[4] = {2.0f / w, 2.0f / h, -1.0f - 0.5f / w, 0.5f / h - 1.0f};
  float c17[4] = {scale[0], scale[1], 0, 0};
  set_vs_consts(16, c16, 1);
  set_vs_consts(17, c17, 1);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(false);
  set_blend_alpha();
  set_atest(1);
}

void restore_after_text() {
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
  set_atest(0);
  set_texture_filter(0, true);
}

bool device_ready() { return d3d && font_shader && font_texture && common_vb_writer.vb; }

class FontBatchState : public StdRenderBatchState {
 public:
  using StdRenderBatchState::StdRenderBatchState;
  void begin(BaseRenderBatchState* prev) override {
    apply_text_state(texture, texel_scale);
    StdRenderBatchState::begin(prev);
  }
  void end() override {
    StdRenderBatchState::end();
    restore_after_text();
  }
};
FontBatchState* font_state = nullptr;

void put_quad(int x0, int y0, int x1, int y1, D3dColor c, int u0, int v0, int u1, int v1) {
  DebugFontVertex q[6] = {
      {int16_t(x0), int16_t(y0), c, int16_t(u0), int16_t(v0)}, {int16_t(x1), int16_t(y0), c, int16_t(u1), int16_t(v0)},
      {int16_t(x1), int16_t(y1), c, int16_t(u1), int16_t(v1)}, {int16_t(x0), int16_t(y0), c, int16_t(u0), int16_t(v0)},
      {int16_t(x1), int16_t(y1), c, int16_t(u1), int16_t(v1)}, {int16_t(x0), int16_t(y1), c, int16_t(u0), int16_t(v1)}};
  if (target_batch) {
    float box[4] = {float(x0 < x1 ? x0 : x1), float(y0 < y1 ? y0 : y1), float(x0 < x1 ? x1 : x0),
                    float(y0 < y1 ? y1 : y0)};
    memcpy(target_batch->add(font_state, box, QUAD_BYTES, 2), q, sizeof(q));
    return;
  }
  if (run_on_device && common_vb_writer.started()) {
    DynVBWriter& w = common_vb_writer;
    w.reserve(QUAD_BYTES);
    memcpy(w.writePtr, q, sizeof(q));
    w.writePtr += QUAD_BYTES;
    w.primCount += 2;
    return;
  }
  if ((run.size() - run_start) * int(sizeof(DebugFontVertex)) + QUAD_BYTES > RUN_BYTES) {
    run_flushes++;
    run_start = run.size();
  }
  run.append(6, q);
}

int advance_of(unsigned char c) { return (glyphs[c].x1 - glyphs[c].x0 + 1) * style.scale + style.charSpacing; }
}  // namespace

void build_debug_font(const uint32_t* pixels, int width, int height) {
  if (width <= 0 || height <= 0 || width % 16 || height % 16)
    fatal("expected 16x16 font grid in font.tga, got %dx%d image", width, height);
  cell_width = width / 16;
  cell_height = height / 16;
  texel_scale[0] = 1.0f / float(width);
  texel_scale[1] = 1.0f / float(height);
  for (int c = 0; c < 256; c++) {
    int cx = (c % 16) * cell_width;
    // Rows in image-reader order: character 0 sits in the top cell row of the picture, which is
    // the last cell row the reader returns.
    int cy = (15 - c / 16) * cell_height;
    auto column_has_ink = [&](int x) {
      for (int y = cy; y < cy + cell_height; y++)
        if (pixels[size_t(y) * width + x] >> 24) return true;
      return false;
    };
    int first = -1, last = -1;
    for (int x = cx; x < cx + cell_width; x++)
      if (column_has_ink(x)) {
        first = x;
        break;
      }
    for (int x = cx + cell_width - 1; x >= cx; x--)
      if (column_has_ink(x)) {
        last = x;
        break;
      }
    DebugGlyph& g = glyphs[c];
    if (first < 0) {
      g.x0 = cx;
      g.x1 = cx + cell_width / 2 + 1;
    } else {
      g.x0 = first;
      g.x1 = last + 1;
    }
    g.y0 = cy;
    g.y1 = cy + cell_height;
  }
  update_font_scale();
}

void init_debug_font() {
  DynArray<uint32_t> pixels;
  int w = 0, h = 0;
  TempString<256> why;
  if (!load_tga(make_full_path("font.tga"), pixels, w, h, why)) fatal("can't load font.tga: %s", why.c_str());
  build_debug_font(pixels.data, w, h);
  if (!d3d) return;
  // Rows are copied as loaded, bottom row first, so the glyph table's rows are texture rows.
  font_texture = create_managed_texture(w, h);
  if (!font_texture) fatal("can't create font texture");
  int pitch = 0;
  uint8_t* ptr = (uint8_t*)lock_texture(font_texture, &pitch, false);
  ASSERT_AT("font", 418, ptr);
  for (int y = 0; y < h; y++) memcpy(ptr + size_t(y) * pitch, pixels.data + size_t(y) * w, size_t(w) * 4);
  unlock_texture(font_texture);
  font_decl = get_vertex_decl(FONT_VERTEX_ELEMENTS);
  font_shader = create_shader("font.sh", "");
  delete font_state;
  font_state = new FontBatchState(font_shader, font_decl, int(sizeof(DebugFontVertex)), font_texture);
}

BaseRenderBatchState* get_font_batch_state() { return font_state; }

void close_debug_font() {
  if (run_on_device && common_vb_writer.started()) common_vb_writer.flush(true);
  run_on_device = false;
  delete font_state;
  font_state = nullptr;
  if (font_shader) destroy_shader(font_shader);
  font_shader = nullptr;
  if (font_texture && d3d) destroy_texture(font_texture);
  font_texture = nullptr;
  font_decl = nullptr;
  run.free();
  run_start = 0;
  run_open = false;
  style_stack.free();
}

void update_font_scale() {
  font_scale = d3d_ht / (cell_height * 30);
  if (font_scale < 1) font_scale = 1;
  style.scale = font_scale;
  debug("font scale: %d", font_scale);
}

const DebugGlyph& get_debug_glyph(unsigned char c) { return glyphs[c]; }
int get_font_cell_width() { return cell_width; }
int get_font_cell_height() { return cell_height; }
int get_debug_font_scale() { return font_scale; }

TextState save_text_state() { return style; }
void restore_text_state(const TextState& s) { style = s; }
void push_text_style() { style_stack.push_back(style); }
void push_text_style(const TextState& s) {
  style_stack.push_back(style);
  style = s;
}
void pop_text_style() {
  if (style_stack.empty()) return;
  style = style_stack.last();
  style_stack.pop_back();
}
void set_text_scale(int scale) { style.scale = scale; }
int get_text_scale() { return style.scale; }
void set_text_spacing(int lineSpacing, int charSpacing) {
  style.lineSpacing = lineSpacing;
  style.charSpacing = charSpacing;
}

void calc_text_size(const char* text, int len, int& width, int& height) {
  width = height = 0;
  if (!text) return;
  if (len < 0) len = (int)strlen(text);
  int x = 0, widest = 0;
  for (int i = 0; i < len; i++) {
    unsigned char c = (unsigned char)text[i];
    if (c == '\n') {
      if (x > widest) widest = x;
      height += style.scale * cell_height + style.lineSpacing;
      x = 0;
    } else {
      x += advance_of(c);
    }
  }
  width = x > widest ? x : widest;
  if (x > 0) height += style.scale * cell_height;
}

namespace {
void start_run(Texture* tex, const float scale[2]) {
  run.clear();
  run_start = 0;
  run_flushes = 0;
  run_open = true;
  run_on_device = device_ready() && !common_vb_writer.started();
  if (!run_on_device) return;
  apply_text_state(tex, scale);
  common_vb_writer.begin(draw_triangle_run, D3DPT_TRIANGLELIST);
}
}  // namespace

void start_draw_text() { start_run(font_texture, texel_scale); }

void end_draw_text() {
  if (run_on_device) {
    common_vb_writer.flush(true);
    restore_after_text();
  }
  run_on_device = false;
  run_open = false;
}

void start_draw_image(Texture* tex, int width, int height) {
  image_texture = tex;
  image_texel_scale[0] = width > 0 ? 1.0f / float(width) : 0.0f;
  image_texel_scale[1] = height > 0 ? 1.0f / float(height) : 0.0f;
  start_run(tex, image_texel_scale);
}

void end_draw_image() { end_draw_text(); }

void batch_rect(RenderBatch& batch, int x0, int y0, int x1, int y1, D3dColor colour) {
  if (!font_state) return;
  target_batch = &batch;
  draw_rect(x0, y0, x1, y1, colour);
  target_batch = nullptr;
}

void batch_text(RenderBatch& batch, const char* text, int len, int x, int y, int alignX, int alignY, D3dColor colour) {
  if (!font_state) return;
  target_batch = &batch;
  draw_text(text, len, x, y, alignX, alignY, colour);
  target_batch = nullptr;
}

void draw_text(const char* text, int len, int x, int y, int alignX, int alignY, D3dColor colour) {
  if (!text) return;
  if (len < 0) len = (int)strlen(text);
  int w, h;
  calc_text_size(text, len, w, h);
  int line_step = style.scale * cell_height + style.lineSpacing;
  int start_x = x - ((alignX + 1) * w) / 2;
  int bottom = y + h - ((alignY + 1) * h) / 2 - style.scale * cell_height + style.lineSpacing;
  D3dColor shadow = (colour >> 1) & 0x7F000000u;
  int pen = start_x;
  for (int i = 0; i < len; i++) {
    unsigned char c = (unsigned char)text[i];
    if (c == '\n') {
      pen = start_x;
      bottom -= line_step;
      continue;
    }
    if (c != 0 && c != ' ') {
      const DebugGlyph& g = glyphs[c];
      int gw = (g.x1 - g.x0) * style.scale, gh = (g.y1 - g.y0) * style.scale;
      put_quad(pen + 1, bottom - 1, pen + 1 + gw, bottom - 1 + gh, shadow, g.x0, g.y0, g.x1, g.y1);
      put_quad(pen, bottom, pen + gw, bottom + gh, colour, g.x0, g.y0, g.x1, g.y1);
    }
    pen += advance_of(c);
  }
}

void draw_rect(int x0, int y0, int x1, int y1, D3dColor colour) { put_quad(x0, y0, x1, y1, colour, -1, -1, -1, -1); }

void draw_box(int x0, int y0, int x1, int y1, D3dColor colour) {
  draw_rect(x0, y0, x1, y0 + 1, colour);
  draw_rect(x0, y1 - 1, x1, y1, colour);
  draw_rect(x0, y0 + 1, x0 + 1, y1 - 1, colour);
  draw_rect(x1 - 1, y0 + 1, x1, y1 - 1, colour);
}

void draw_image(int x0, int y0, int x1, int y1, D3dColor colour, int u0, int v0, int u1, int v1) {
  put_quad(x0, y0, x1, y1, colour, u0, v0, u1, v1);
}

// Drawn and presented at once, between the steps of a long start-up: the shell's messages are
// pumped first so the window stays answering meanwhile.
static void redraw_splash() {
  pump_messages();
  if (begin_scene()) {
    set_cull_mode(1);
    draw_splash();
    end_scene();
  }
  present_d3d();
}

void show_splash(const char* text, float progress) {
  splash_text.assign(text);  // longer than 255 characters fails "l<BS"
  splash_progress = progress;
  redraw_splash();
}

void draw_splash() {
  clear_view(0xFF000A28);
  start_draw_text();
  draw_text(splash_text, -1, d3d_wd / 2, d3d_ht / 4, 0, 0, 0xFFFFFFFF);
  if (splash_progress >= 0) {
    int s = style.scale, bar_w = d3d_wd / 4, bar_h = s * cell_height * 3 / 2;
    int x0 = d3d_wd / 2 - bar_w / 2, y0 = d3d_ht / 4 - s * cell_height * 3;
    draw_rect(x0, y0, x0 + bar_w, y0 + bar_h, 0xFF000000);
    float p = splash_progress > 1 ? 1.0f : splash_progress;
    draw_rect(x0, y0, x0 + int(lroundf(p * float(bar_w))), y0 + bar_h, 0xFF32960A);
  }
  end_draw_text();
}

const char* get_splash_text() { return splash_text; }
float get_splash_progress() { return splash_progress; }

const DebugFontVertex* debug_text_vertices(int* count) {
  if (count) *count = run.size();
  return run.data;
}
int debug_text_flushes() { return run_flushes; }
