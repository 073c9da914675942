// Font descriptions and icon lists: the line readers, glyph and kerning lookup, text measuring and
// the placement of glyph and icon quads, the page textures and batch states, and the passes that
// draw them. Without a device (headless tools and tests) a page counts as loaded when its file is a
// DDS, and the quads collect in memory.
// Sections: batch states and pages; line readers; DistFont; BitmapFont; DistIcons; passes.
#include "engine/distFont.h"
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "engine/sysUtils.h"
#include "engine/uiDraw.h"
#include "platform/platform.h"

BitmapFont default_font;

// ---- batch states and pages

namespace {
DynArray<DistFontVertex> text_vertices;
DynArray<DistIconVertex> icon_vertices;
DynArray<DistFontVertex> text_scratch;
DynArray<GuiImageVertex> bitmap_scratch;

// The distance-field pages' state: the standard one, ending with the final flush.
class DistFontBatchState : public StdRenderBatchState {
 public:
  using StdRenderBatchState::StdRenderBatchState;
};

const VertexElement DIST_FONT_ELEMENTS[] = {{0, 0, VE_FLOAT2, VU_POSITION, 0},    {8, 0, VE_D3DCOLOR, VU_COLOR, 0},
                                            {12, 0, VE_D3DCOLOR, VU_COLOR, 1},    {16, 0, VE_FLOAT2, VU_TEXCOORD, 0},
                                            {24, 0, VE_D3DCOLOR, VU_TEXCOORD, 1}, VE_END};
const VertexElement DIST_ICON_ELEMENTS[] = {
    {0, 0, VE_FLOAT2, VU_POSITION, 0},    {8, 0, VE_FLOAT2, VU_TEXCOORD, 0},    {16, 0, VE_D3DCOLOR, VU_TEXCOORD, 1},
    {20, 0, VE_D3DCOLOR, VU_COLOR, 0},    {24, 0, VE_D3DCOLOR, VU_COLOR, 1},    {28, 0, VE_D3DCOLOR, VU_TEXCOORD, 2},
    {32, 0, VE_D3DCOLOR, VU_TEXCOORD, 3}, {36, 0, VE_D3DCOLOR, VU_TEXCOORD, 4}, VE_END};
Shader* dist_font_shader = nullptr;
IDirect3DVertexDeclaration9* dist_font_decl = nullptr;
Shader* dist_icon_shader = nullptr;
IDirect3DVertexDeclaration9* dist_icon_decl = nullptr;

// The page through the texture manager when a device draws; a DDS header check otherwise. A page
// of another size than the description's would put every glyph in the wrong place: it is refused
// (a width below 0 asks for no size).
bool read_page_size(const char* pagePath, int* width, int* height, FontLoadError& why);
Texture* load_page(const char* pagePath, int width, int height, bool* ok, FontLoadError& why) {
  const char* name = pagePath;
  int w = 0, h = 0;
  Texture* t = nullptr;
  *ok = false;
  if (!d3d) {
    if (!read_page_size(pagePath, &w, &h, why)) return nullptr;
  } else {
    t = get_texture(make_path("%s.dds", pagePath), false);
    if (!t) {
      why.format(
          "page %s.dds: %s", name,
          plat_file_mtime(make_full_path(make_path("%s.dds", pagePath))) ? "not a texture that loads" : "no such file");
      return nullptr;
    }
    w = get_texture_width(t);
    h = get_texture_height(t);
  }
  if (width >= 0 && (w != width || h != height)) {
    why.format("page %s.dds is %dx%d, the description says %dx%d", name, w, h, width, height);
    if (t) free_texture(t);
    return nullptr;
  }
  *ok = true;
  return t;
}

void release_page_and_state(Texture*& page, BaseRenderBatchState*& state) {
  if (page && d3d) free_texture(page);
  page = nullptr;
  delete state;
  state = nullptr;
}

// Reads a whole file; false when it cannot be read, with the reason in why.
bool read_text_file(const char* path, DynArray<char>& out, const char** why = nullptr) {
  size_t size = 0;
  const char* reason = "";
  char* data = (char*)read_data_file(path, &size, &reason, 64 << 20);
  if (why) *why = reason;
  if (!data) return false;
  out.append(int(size) + 1, data);  // the terminator stays behind the text
  out.resize(int(size));
  dlfree(data);
  return true;
}

// Until the renderer's texture manager exists: a page is there when its file holds a DDS header,
// whose height and width follow the header's size and flags.
bool read_page_size(const char* pagePath, int* width, int* height, FontLoadError& why) {
  const char* name = pagePath;
  PathString full = make_full_path(make_path("%s.dds", pagePath));
  int error = 0;
  FILE* f = open_regular_file(full, &error);
  if (!f) {
    why.format("page %s.dds: %s", name, file_error_text(error));
    return false;
  }
  unsigned char h[20];
  bool ok = fread(h, 1, 20, f) == 20 && memcmp(h, "DDS ", 4) == 0 && h[4] == 124 && !h[5] && !h[6] && !h[7];
  fclose(f);
  if (!ok) {
    why.format("page %s.dds: not a DDS file", name);
    return false;
  }
  auto u32 = [&](int at) {
    return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 | uint32_t(h[at + 3]) << 24;
  };
  *height = int(u32(12) & 0x7FFFFFFF);
  *width = int(u32(16) & 0x7FFFFFFF);
  return true;
}

// sscanf of one whole line: true when the pattern matched every character.
#define MATCH_LINE(line, fmt, ...)                        \
  ([&]() {                                                \
    int used_ = -1;                                       \
    int r_ = sscanf(line, fmt "%n", __VA_ARGS__, &used_); \
    (void)r_;                                             \
    return used_ >= 0 && line[used_] == 0;                \
  }())

float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

float edge_param(float value, float p) { return fmaxf(0.0f, (1.0f - ((value + 1.0f) * 0.5f) / p) * 0.5f); }
}  // namespace

D3dColor pack_unit4(float a, float b, float c, float d) {
  auto byte = [](float v) { return uint32_t(lroundf(clamp01(v) * 255.0f)); };
  return (byte(d) << 24) | (byte(a) << 16) | (byte(b) << 8) | byte(c);
}

// ---- line readers

namespace {
// Hands out the lines of a description file one at a time, without the line end; a line longer
// than 255 characters, or one holding a zero byte, is refused.
struct DescriptionLines {
  const char* p;
  const char* end;
  char line[256];
  bool next() {
    if (p >= end) return false;
    const char* e = (const char*)memchr(p, '\n', size_t(end - p));
    const char* stop = e ? e : end;
    size_t n = size_t(stop - p);
    if (n > 0 && stop[-1] == '\r') n--;
    bool fits = n <= 255 && !memchr(p, 0, n);
    if (fits) {
      memcpy(line, p, n);
      line[n] = 0;
    }
    p = e ? e + 1 : end;
    return fits;
  }
};
}  // namespace

// ---- DistFont

void DistFont::clear() {
  release_page_and_state(page, state);
  glyphs.free();
  ranges.free();
  kernings.free();
  kerningIndex.free();
}

bool DistFont::parse(const char* text, int length, char* pagePath, int pagePathSize) {
  return parse(text, length, pagePath, pagePathSize, nullptr, nullptr, nullptr);
}

bool DistFont::parse(const char* text, int length, char* pagePath, int pagePathSize, int* pageWidth, int* pageHeight,
                     FontLoadError* why) {
  DescriptionLines lines{text, text + length, {}};
  char* line = lines.line;
  int line_number = 0;
  bool ended = false;
  auto next_line = [&]() {
    line_number++;
    ended = lines.p >= lines.end;
    return lines.next();
  };
  // Says which line broke the format and what it should have been.
  auto bad_line = [&](const char* expected) {
    if (why) {
      if (ended) why->format("the file ends before %s", expected);
      else why->format("line %d is not %s", line_number, expected);
    }
    return false;
  };
  char face[256];
  int scaleW = 0, scaleH = 0, count = 0;
  if (!next_line() || !MATCH_LINE(line, "info face=\"%255[^\"]\" size=%d spread=%d", face, &size, &spread))
    return bad_line("the info line");
  if (!next_line() ||
      !MATCH_LINE(line, "common lineHeight=%d base=0 scaleW=%d scaleH=%d", &lineHeight, &scaleW, &scaleH))
    return bad_line("the common line");
  // A page without a size has no texel scale: bad input, not an infinite coordinate.
  if (scaleW <= 0 || scaleH <= 0) {
    if (why) why->format("line %d gives a page of %dx%d", line_number, scaleW, scaleH);
    return false;
  }
  if (pageWidth) *pageWidth = scaleW;
  if (pageHeight) *pageHeight = scaleH;
  texelScaleX = 1.0f / float(scaleW);
  texelScaleY = 1.0f / float(scaleH);
  char file[256];
  if (!next_line() || !MATCH_LINE(line, "page id=0 file=\"%255[^\"]\"", file)) return bad_line("the page line");
  if (pagePath) snprintf(pagePath, size_t(pagePathSize), "%s", file);
  if (!next_line() || !MATCH_LINE(line, "chars count=%d", &count) || count < 0) return bad_line("the chars line");
  for (int i = 0; i < count; i++) {
    int id;
    DistFontGlyph g;
    if (!next_line() || !MATCH_LINE(line, "char id=%d x=%f y=%f width=%f height=%f xoffset=%f yoffset=%f xadvance=%f",
                                    &id, &g.x, &g.y, &g.width, &g.height, &g.xoffset, &g.yoffset, &g.xadvance))
      return bad_line("a char line");
    g.x *= texelScaleX;
    g.y *= texelScaleY;
    if (!ranges.empty() && ranges.last().end == id && id != 0x7FFFFFFF) {
      ranges.last().end++;
    } else {
      DistFontRange r = {id, id + (id == 0x7FFFFFFF ? 0 : 1), glyphs.size()};
      ranges.push_back(r);
    }
    glyphs.push_back(g);
  }
  if (!next_line() || !MATCH_LINE(line, "kernings count=%d", &count) || count < 0) return bad_line("the kernings line");
  for (int i = 0; i < count; i++) {
    int first;
    DistFontKerning k;
    if (!next_line() || !MATCH_LINE(line, "kerning first=%d second=%d amount=%f", &first, &k.second, &k.amount))
      return bad_line("a kerning line");
    if (!kerningIndex.empty() && kerningIndex.last().first == first) {
      kerningIndex.last().count++;
    } else {
      DistFontKerningIndex e = {first, kernings.size(), 1};
      kerningIndex.push_back(e);
    }
    kernings.push_back(k);
  }
  return true;
}

bool DistFont::load(const char* file) {
  FontLoadError why;
  return load(file, why);
}

bool DistFont::load(const char* file, FontLoadError& why) {
  DynArray<char> text;
  const char* read_error = "no file named";
  if (!file || !read_text_file(make_full_path(file), text, &read_error)) {
    why.format("%s", read_error);
    return false;
  }
  clear();
  char pagePath[256];
  int pageWidth = 0, pageHeight = 0;
  if (!parse(text.data, text.size(), pagePath, sizeof(pagePath), &pageWidth, &pageHeight, &why)) return false;
  bool ok = false;
  page = load_page(pagePath, pageWidth, pageHeight, &ok, why);
  if (!ok) return false;
  if (state) state->texture = page;
  else if (dist_font_shader) state = new DistFontBatchState(dist_font_shader, dist_font_decl, 28, page);
  return true;
}

const DistFontGlyph* DistFont::findGlyph(int code) const {
  for (const DistFontRange& r : ranges)
    if (r.first <= code && code < r.end) {
      int i = r.glyph - r.first + code;
      return i >= 0 && i < glyphs.size() ? &glyphs[i] : nullptr;
    }
  return nullptr;
}

float DistFont::findKerning(int previous, int code) const {
  for (const DistFontKerningIndex& e : kerningIndex) {
    if (e.first != previous) continue;
    for (int i = e.pair; i < e.pair + e.count && i < kernings.size(); i++)
      if (kernings[i].second == code) return kernings[i].amount;
  }
  return 0;
}

__m128 DistFont::calcTextBox(const char* text, int len, int* count) const {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int n = 0;
  if (text) {
    if (len < 0) len = (int)strlen(text);
    float pen = 0, y = 0;
    int previous = -1;
    for (int i = 0; i < len; i++) {
      int c = (unsigned char)text[i];
      if (c == '\n') {
        pen = 0;
        previous = -1;
        y += float(lineHeight);
        continue;
      }
      const DistFontGlyph* g = findGlyph(c);
      if (g) {
        float k = findKerning(previous, c);
        if (g->width != 0) {
          float gx = pen + g->xoffset + k, gy = y - g->yoffset;
          x0 = fminf(x0, gx);
          y0 = fminf(y0, gy);
          x1 = fmaxf(x1, gx + g->width);
          y1 = fmaxf(y1, gy + g->height);
          n++;
        }
        pen += g->xadvance + k;
      }
      previous = c;
    }
  }
  if (n > 0) {
    x0 += float(spread);
    y0 += float(spread);
    x1 -= float(spread);
    y1 -= float(spread);
  }
  if (count) *count = n;
  return _mm_setr_ps(x0, y0, x1, y1);
}

int DistFont::placeGlyphs(__m128 box, int align, float scale, const char* text, int len,
                          void (*quad)(void*, float, float, float, float, const DistFontGlyph&), void* ctx,
                          float sortBox[4]) const {
  if (!text) len = 0;
  else if (len < 0) len = (int)strlen(text);
  int n = 0;
  vec4float tb = vec4float(calcTextBox(text, len, &n)) * scale;
  vec4float b(box);
  float dx, dy;
  bool centred = (align & 3) != 1 && (align & 3) != 2;
  if ((align & 3) == 1) dx = b[0] - tb[0];
  else if ((align & 3) == 2) dx = b[2] - tb[2];
  else dx = (b[0] + b[2]) * 0.5f - (tb[0] + tb[2]) * 0.5f;
  if ((align & 12) == 4) dy = b[1] - tb[1];
  else if ((align & 12) == 8) dy = b[3] - tb[3];
  else dy = (b[1] + b[3]) * 0.5f - (tb[1] + tb[3]) * 0.5f;
  if (sortBox) {
    sortBox[0] = tb[0] + dx;
    sortBox[1] = tb[1] + dy;
    sortBox[2] = tb[2] + dx;
    sortBox[3] = tb[3] + dy;
  }
  // With centred placement every line is centred on its own box.
  auto line_start = [&](int from) {
    if (!centred) return dx;
    int e = from;
    while (e < len && text[e] != '\n') e++;
    vec4float lb = vec4float(calcTextBox(text + from, e - from, nullptr)) * scale;
    return (b[0] + b[2]) * 0.5f - (lb[0] + lb[2]) * 0.5f;
  };
  float pen = line_start(0), y = dy;
  int previous = -1;
  for (int i = 0; i < len; i++) {
    int c = (unsigned char)text[i];
    if (c == '\n') {
      y += float(lineHeight) * scale;
      pen = line_start(i + 1);
      previous = -1;
      continue;
    }
    const DistFontGlyph* g = findGlyph(c);
    if (g) {
      float k = findKerning(previous, c);
      if (g->width != 0)
        quad(ctx, pen + (g->xoffset + k) * scale, y - g->yoffset * scale, g->width * scale, g->height * scale, *g);
      pen += (g->xadvance + k) * scale;
    }
    previous = c;
  }
  return n;
}

namespace {
struct DistQuadCtx {
  DynArray<DistFontVertex>* out;
  const DistFont* font;
  D3dColor colour, second, params;
};
void dist_quad(void* ctx, float x, float y, float w, float h, const DistFontGlyph& g) {
  DistQuadCtx* c = (DistQuadCtx*)ctx;
  float u0 = g.x, v0 = g.y, u1 = g.x + g.width * c->font->texelScaleX, v1 = g.y + g.height * c->font->texelScaleY;
  DistFontVertex q[6] = {
      {x, y, c->colour, c->second, u0, v0, c->params},         {x + w, y, c->colour, c->second, u1, v0, c->params},
      {x + w, y + h, c->colour, c->second, u1, v1, c->params}, {x, y, c->colour, c->second, u0, v0, c->params},
      {x + w, y + h, c->colour, c->second, u1, v1, c->params}, {x, y + h, c->colour, c->second, u0, v1, c->params}};
  c->out->append(6, q);
}

struct BitmapQuadCtx {
  DynArray<GuiImageVertex>* out;
  const DistFont* font;
  D3dColor colour;
};
void bitmap_quad(void* ctx, float x, float y, float w, float h, const DistFontGlyph& g) {
  BitmapQuadCtx* c = (BitmapQuadCtx*)ctx;
  float u0 = g.x, v0 = g.y, u1 = g.x + g.width * c->font->texelScaleX, v1 = g.y + g.height * c->font->texelScaleY;
  GuiImageVertex q[6] = {{x, y, c->colour, u0, v0},         {x + w, y, c->colour, u1, v0},
                         {x + w, y + h, c->colour, u1, v1}, {x, y, c->colour, u0, v0},
                         {x + w, y + h, c->colour, u1, v1}, {x, y + h, c->colour, u0, v1}};
  c->out->append(6, q);
}
}  // namespace

int DistFont::layoutText(DynArray<DistFontVertex>& out, __m128 box, int align, D3dColor colour, float size_px,
                         const char* text, int len, float edgeThreshold, float shadowX, float shadowY, float outline,
                         D3dColor secondColour, float sortBox[4]) const {
  float s = size > 0 ? size_px / float(size) : 0.0f;
  float p = s * float(spread);
  float scaleW = texelScaleX > 0 ? 1.0f / texelScaleX : 1.0f, scaleH = texelScaleY > 0 ? 1.0f / texelScaleY : 1.0f;
  D3dColor params = pack_unit4((1.0f - 64.0f * shadowX * 0.01f * float(size) / scaleW) * 0.5f,
                               (1.0f - 64.0f * shadowY * 0.01f * float(size) / scaleH) * 0.5f, edge_param(outline, p),
                               edge_param(edgeThreshold, p));
  DistQuadCtx ctx = {&out, this, colour, secondColour, params};
  return placeGlyphs(box, align, s, text, len, dist_quad, &ctx, sortBox);
}

void DistFont::renderText(RenderBatch& batch, __m128 box, int align, D3dColor colour, float size_px, const char* text,
                          int len, float edgeThreshold, float shadowX, float shadowY, float outline,
                          D3dColor secondColour, BaseRenderBatchState* st) {
  float sortBox[4];
  if (!st) st = state;
  if (!d3d || !st) {
    layoutText(text_vertices, box, align, colour, size_px, text, len, edgeThreshold, shadowX, shadowY, outline,
               secondColour, sortBox);
    return;
  }
  // One batch chunk for the whole text: 168 bytes a glyph.
  text_scratch.clear();
  int n = layoutText(text_scratch, box, align, colour, size_px, text, len, edgeThreshold, shadowX, shadowY, outline,
                     secondColour, sortBox);
  if (n > 0) memcpy(batch.add(st, sortBox, n * 168, n * 2), text_scratch.data, size_t(n) * 168);
}

// ---- BitmapFont

bool BitmapFont::load(const char* file) {
  FontLoadError why;
  return load(file, why);
}

bool BitmapFont::load(const char* file, FontLoadError& why) {
  if (!DistFont::load(file, why)) return false;
  if (d3d) {
    delete state;
    Shader* shader = get_gui_bitmap_shader();
    state =
        shader ? new BitmapFontBatchState(shader, get_gui_image_decl(), int(sizeof(GuiImageVertex)), page) : nullptr;
  }
  return true;
}

int BitmapFont::layoutText(DynArray<GuiImageVertex>& out, __m128 box, int align, D3dColor colour, int scale,
                           const char* text, int len, float sortBox[4]) const {
  BitmapQuadCtx ctx = {&out, this, colour};
  return placeGlyphs(box, align, float(scale), text, len, bitmap_quad, &ctx, sortBox);
}

void BitmapFont::renderText(RenderBatch& batch, __m128 box, int align, D3dColor colour, int scale, const char* text,
                            int len, BaseRenderBatchState* st) {
  float sortBox[4];
  if (!d3d) {
    layoutText(gui_image_vertices(), box, align, colour, scale, text, len, sortBox);
    return;
  }
  // A null state means the font's own, which must exist.
  if (!st) {
    ASSERT(state);
    st = state;
  }
  bitmap_scratch.clear();
  int n = layoutText(bitmap_scratch, box, align, colour, scale, text, len, sortBox);
  if (n > 0) memcpy(batch.add(st, sortBox, n * 120, n * 2), bitmap_scratch.data, size_t(n) * 120);
}

// ---- DistIcons

void DistIcons::clear() {
  for (DistIcon& i : icons) dlfree(i.name);
  icons.free();
  release_page_and_state(page, state);
}

bool DistIcons::parse(const char* text, int length, char* pagePath, int pagePathSize) {
  DescriptionLines lines{text, text + length, {}};
  char* line = lines.line;
  auto next_line = [&]() { return lines.next(); };
  char file[256];
  int scaleW = 0, scaleH = 0, count = 0;
  if (!next_line() ||
      !MATCH_LINE(line, "info file=\"%255[^\"]\" scaleW=%d scaleH=%d spread=%d", file, &scaleW, &scaleH, &spread))
    return false;
  if (scaleW <= 0 || scaleH <= 0) return false;
  texelScaleX = 1.0f / float(scaleW);
  texelScaleY = 1.0f / float(scaleH);
  if (pagePath) snprintf(pagePath, size_t(pagePathSize), "%s", file);
  if (!next_line() || !MATCH_LINE(line, "icons count=%d", &count) || count < 0) return false;
  for (int i = 0; i < count; i++) {
    char name[256];
    DistIcon ic;
    if (!next_line() || !MATCH_LINE(line, "icon \"%255[^\"]\" %f %f %f %f %f %f %f %f", name, &ic.orgW, &ic.orgH, &ic.u,
                                    &ic.v, &ic.width, &ic.height, &ic.xoffset, &ic.yoffset))
      return false;
    ic.u *= texelScaleX;
    ic.v *= texelScaleY;
    size_t l = strlen(name);
    ic.name = (char*)dlmalloc(l + 1);
    ASSERT(ic.name);
    memcpy(ic.name, name, l + 1);
    icons.push_back(ic);
  }
  return true;
}

bool DistIcons::load(const char* file) {
  clear();
  DynArray<char> text;
  if (!file || !read_text_file(make_full_path(file), text)) return false;
  char pagePath[256];
  if (!parse(text.data, text.size(), pagePath, sizeof(pagePath))) return false;
  bool ok = false;
  FontLoadError why;
  page = load_page(pagePath, -1, -1, &ok, why);
  if (!ok) return false;
  if (dist_icon_shader) state = new DistFontBatchState(dist_icon_shader, dist_icon_decl, 40, page);
  return true;
}

int DistIcons::getIconId(const char* name) const {
  if (!name) return -1;
  for (int i = 0; i < icons.size(); i++)
    if (!strcmp(icons[i].name, name)) return i;
  return -1;
}
float DistIcons::getOrgW(int id) const { return id >= 0 && id < icons.size() ? icons[id].orgW : 0.0f; }
float DistIcons::getOrgH(int id) const { return id >= 0 && id < icons.size() ? icons[id].orgH : 0.0f; }

bool DistIcons::layoutIcon(DistIconVertex out[6], __m128 placement, float size, int id, float edgeThreshold,
                           float shadowX, float shadowY, float outline, const D3dColor colours[5],
                           float sortBox[4]) const {
  if (id < 0 || id >= icons.size()) return false;
  const DistIcon& ic = icons[id];
  vec4float pl(placement);
  float px = pl[0], py = pl[1], cs = pl[2], sn = pl[3];
  float p = float(spread) * size;
  D3dColor params =
      pack_unit4((1.0f - shadowX * texelScaleX * 64.0f) * 0.5f, (1.0f - shadowY * texelScaleY * 64.0f) * 0.5f,
                 edge_param(outline, p), edge_param(edgeThreshold, p));
  float lx0 = ic.xoffset * size, ly0 = -ic.yoffset * size;
  float lx1 = (ic.xoffset + ic.width) * size, ly1 = (-ic.yoffset + ic.height) * size;
  float u0 = ic.u, v0 = ic.v, u1 = ic.u + ic.width * texelScaleX, v1 = ic.v + ic.height * texelScaleY;
  float cx[4] = {lx0, lx1, lx1, lx0}, cy[4] = {ly0, ly0, ly1, ly1};
  float cu[4] = {u0, u1, u1, u0}, cv[4] = {v0, v0, v1, v1};
  DistIconVertex corner[4];
  for (int k = 0; k < 4; k++) {
    DistIconVertex& v = corner[k];
    v.x = px + cx[k] * cs - cy[k] * sn;
    v.y = py + cx[k] * sn + cy[k] * cs;
    v.u = cu[k];
    v.v = cv[k];
    v.params = params;
    for (int c = 0; c < 5; c++) v.colours[c] = colours[c];
    if (k == 0 || v.x < sortBox[0]) sortBox[0] = v.x;
    if (k == 0 || v.y < sortBox[1]) sortBox[1] = v.y;
    if (k == 0 || v.x > sortBox[2]) sortBox[2] = v.x;
    if (k == 0 || v.y > sortBox[3]) sortBox[3] = v.y;
  }
  out[0] = corner[0];
  out[1] = corner[1];
  out[2] = corner[2];
  out[3] = corner[0];
  out[4] = corner[2];
  out[5] = corner[3];
  return true;
}

void DistIcons::renderIcon(RenderBatch& batch, __m128 placement, float size, int id, float edgeThreshold, float shadowX,
                           float shadowY, float outline, D3dColor c0, D3dColor c1, D3dColor c2, D3dColor c3,
                           D3dColor c4, BaseRenderBatchState* st) {
  D3dColor colours[5] = {c0, c1, c2, c3, c4};
  DistIconVertex v[6];
  float box[4];
  if (!layoutIcon(v, placement, size, id, edgeThreshold, shadowX, shadowY, outline, colours, box)) return;
  if (!st) st = state;
  if (d3d && st) memcpy(batch.add(st, box, int(sizeof(v)), 2), v, sizeof(v));
  else icon_vertices.append(6, v);
}

// ---- passes (the device state of these belongs to the renderer)

void init_dist_fonts() {
  if (!d3d) return;
  dist_font_shader = create_shader("distfont.sh", "");
  dist_font_decl = get_vertex_decl(DIST_FONT_ELEMENTS);
}

void init_dist_icons() {
  if (!d3d) return;
  dist_icon_shader = create_shader("disticon.sh", "");
  dist_icon_decl = get_vertex_decl(DIST_ICON_ELEMENTS);
}

void close_dist_fonts() {
  if (dist_font_shader) destroy_shader(dist_font_shader);
  if (dist_icon_shader) destroy_shader(dist_icon_shader);
  dist_font_shader = dist_icon_shader = nullptr;
  dist_font_decl = dist_icon_decl = nullptr;
  text_scratch.free();
  bitmap_scratch.free();
}
// Both the scene and the GUI start-up ask for it; the shader is taken once, as close_ui_render
// lets it go once.
void init_bitmap_fonts() {
  if (!d3d || get_gui_bitmap_shader()) return;
  set_gui_bitmap_shader(create_shader("guiBitmap.sh", ""));
}
void start_dist_font_render() {
  text_vertices.clear();
  icon_vertices.clear();
  if (!d3d) return;
  float w = float(d3d_wd), h = float(d3d_ht);
  float c16[4] = {2.0f / w, -2.0f / h, -1.0f - 0.5f / w, 1.0f + 0.5f / h};
  set_vs_consts(16, c16, 1);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(false);
  set_atest(0);
  set_blend_prealpha();
  set_texture_address(0, 0, -1, -1);
}

void end_dist_font_render() {
  if (!d3d) return;
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
}
DynArray<DistFontVertex>& dist_font_vertices() { return text_vertices; }
DynArray<DistIconVertex>& dist_icon_vertices() { return icon_vertices; }
