// Text fonts and icon lists described by small text files beside one DDS page: `DistFont` reads a
// font description ("glintor.fnt" for the menus), measures text (`calcTextBox`, which lays out
// every GUI label) and lays its glyphs out as distance-field quads; `BitmapFont` is the same record
// drawn as plain GUI images (`default_font`); `DistIcons` reads an icon list and lays out rotated
// distance-field icons.
#pragma once
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/loadSprite.h"
#include "engine/misc/vecMath.h"

struct Texture;
class BaseRenderBatchState;
class RenderBatch;

struct DistFontGlyph {
  float x, y;                                       // normalised texture coordinates of the glyph's top-left corner
  float width, height, xoffset, yoffset, xadvance;  // pixels
};
struct DistFontRange {
  int first, end, glyph;  // ids first .. end - 1 are glyphs glyph, glyph + 1, ...
};
struct DistFontKerning {
  int second;
  float amount;
};
struct DistFontKerningIndex {
  int first, pair, count;
};

// A distance-field text vertex (28 bytes) and an icon vertex (40 bytes).
struct DistFontVertex {
  float x, y;
  D3dColor colour, second;
  float u, v;
  D3dColor params;  // shadow x, shadow y, outline, edge as bytes: red, green, blue, alpha
};
static_assert(sizeof(DistFontVertex) == 28, "distance-field vertex is 28 bytes");
struct DistIconVertex {
  float x, y, u, v;
  D3dColor params;
  D3dColor colours[5];  // fill, outline, shadow, tint, glow
};
static_assert(sizeof(DistIconVertex) == 40, "icon vertex is 40 bytes");

// Why a font description did not load: the file's own error, the line that broke the format, or
// what is wrong with its page.
typedef TempString<256> FontLoadError;

struct DistFont {
  int size = 0;
  int spread = 0;
  int lineHeight = 0;
  float texelScaleX = 0, texelScaleY = 0;
  Texture* page = nullptr;
  BaseRenderBatchState* state = nullptr;
  DynArray<DistFontGlyph> glyphs;
  DynArray<DistFontRange> ranges;
  DynArray<DistFontKerning> kernings;
  DynArray<DistFontKerningIndex> kerningIndex;

  DistFont() {}
  ~DistFont() { clear(); }
  DistFont(const DistFont&) = delete;
  DistFont& operator=(const DistFont&) = delete;
  void clear();
  bool load(const char* file);
  bool load(const char* file, FontLoadError& why);
  // Reads a description from memory; pagePath receives the page file (without ".dds") as written.
  bool parse(const char* text, int length, char* pagePath, int pagePathSize);
  // The same, also giving the page's size as described and, on failure, why.
  bool parse(const char* text, int length, char* pagePath, int pagePathSize, int* pageWidth, int* pageHeight,
             FontLoadError* why);
  __m128 calcTextBox(const char* text, int len, int* count) const;
  const DistFontGlyph* findGlyph(int code) const;
  float findKerning(int previous, int code) const;
  void renderText(RenderBatch& batch, __m128 box, int align, D3dColor colour, float size, const char* text, int len,
                  float edgeThreshold, float shadowX, float shadowY, float outline, D3dColor secondColour,
                  BaseRenderBatchState* state);
  // The quads of renderText, appended to out; box receives the placed text box (the sort box).
  int layoutText(DynArray<DistFontVertex>& out, __m128 box, int align, D3dColor colour, float size, const char* text,
                 int len, float edgeThreshold, float shadowX, float shadowY, float outline, D3dColor secondColour,
                 float sortBox[4]) const;
  // Placement shared with the bitmap font: calls quad(ctx, x, y, w, h, glyph) for every visible glyph
  // with screen-pixel corner and size; returns the visible count.
  int placeGlyphs(__m128 box, int align, float scale, const char* text, int len,
                  void (*quad)(void* ctx, float x, float y, float w, float h, const DistFontGlyph& g), void* ctx,
                  float sortBox[4]) const;
};

struct BitmapFont : DistFont {
  bool load(const char* file);
  bool load(const char* file, FontLoadError& why);
  void renderText(RenderBatch& batch, __m128 box, int align, D3dColor colour, int scale, const char* text, int len,
                  BaseRenderBatchState* state);
  int layoutText(DynArray<GuiImageVertex>& out, __m128 box, int align, D3dColor colour, int scale, const char* text,
                 int len, float sortBox[4]) const;
};

extern BitmapFont default_font;

struct DistIcon {
  char* name;
  float u, v, width, height, xoffset, yoffset, orgW, orgH;
};

struct DistIcons {
  int spread = 0;
  float texelScaleX = 0, texelScaleY = 0;
  Texture* page = nullptr;
  BaseRenderBatchState* state = nullptr;
  DynArray<DistIcon> icons;

  DistIcons() {}
  ~DistIcons() { clear(); }
  DistIcons(const DistIcons&) = delete;
  DistIcons& operator=(const DistIcons&) = delete;
  void clear();
  bool load(const char* file);
  bool parse(const char* text, int length, char* pagePath, int pagePathSize);
  int getIconId(const char* name) const;
  float getOrgW(int id) const;
  float getOrgH(int id) const;
  void renderIcon(RenderBatch& batch, __m128 placement, float size, int id, float edgeThreshold, float shadowX,
                  float shadowY, float outline, D3dColor c0, D3dColor c1, D3dColor c2, D3dColor c3, D3dColor c4,
                  BaseRenderBatchState* state);
  // The six vertices of renderIcon; false for an unknown id.
  bool layoutIcon(DistIconVertex out[6], __m128 placement, float size, int id, float edgeThreshold, float shadowX,
                  float shadowY, float outline, const D3dColor colours[5], float sortBox[4]) const;
};

// Packs four values in 0..1 into bytes like a D3dColor: the first in red, then green, blue, alpha.
D3dColor pack_unit4(float a, float b, float c, float d);

void init_dist_fonts();
void init_dist_icons();
void init_bitmap_fonts();
// Destroys the distance-field shaders (scene shutdown).
void close_dist_fonts();
void start_dist_font_render();
void end_dist_font_render();

// Until the renderer's batches exist, distance-field quads of a frame collect here.
DynArray<DistFontVertex>& dist_font_vertices();
DynArray<DistIconVertex>& dist_icon_vertices();
