// The two fonts, rasterised with FreeType from Debian's DejaVu fonts:
// - "font.tga", the debug font: a 16 x 16 grid of 8 x 16 cells, white with the glyph coverage in
//   alpha, character 0 in the top-left cell, rows of the picture top to bottom;
// - "glintor.fnt" with its page "glintor.dds": the GUI text font, characters 32 to 126 as a signed
//   distance field in alpha (0.5 on the outline, `spread` page pixels to 0 or 1), computed from a
//   rasterisation at 16 times the size.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include "artGen.h"
#include "ddsWrite.h"
#include "engine/imageFiles.h"

namespace {
const char* DEJAVU_DIR = "/usr/share/fonts/truetype/dejavu/";

struct FreeType {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  bool open(const char* file) {
    if (FT_Init_FreeType(&lib)) return false;
    std::string path = std::string(DEJAVU_DIR) + file;
    if (FT_New_Face(lib, path.c_str(), 0, &face)) {
      fprintf(stderr, "art_gen: can't open font %s\n", path.c_str());
      return false;
    }
    return true;
  }
  ~FreeType() {
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
  }
};

// ---- debug font

bool make_debug_font(const std::string& out) {
  FreeType ft;
  if (!ft.open("DejaVuSans-Bold.ttf")) return false;
  const int CW = 8, CH = 16, BASELINE = 12;  // baseline row of a cell, from its top
  FT_Set_Pixel_Sizes(ft.face, 0, 11);
  Canvas img(CW * 16, CH * 16);
  for (int c = 33; c < 256; c++) {
    if (c >= 127 && c < 161) continue;
    FT_UInt gi = FT_Get_Char_Index(ft.face, FT_ULong(c));
    if (!gi || FT_Load_Glyph(ft.face, gi, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT)) continue;
    FT_Bitmap& bm = ft.face->glyph->bitmap;
    int cx = (c % 16) * CW, cy = (c / 16) * CH;
    // Glyphs wider than a cell are squeezed to its width by dropping their outer columns evenly.
    int bw = int(bm.width), bh = int(bm.rows);
    int left = std::max(0, (CW - bw) / 2);
    if (bw <= CW) left = std::min(std::max(0, ft.face->glyph->bitmap_left), CW - bw);
    int top = BASELINE - ft.face->glyph->bitmap_top;
    for (int y = 0; y < bh; y++)
      for (int x = 0; x < bw; x++) {
        int a = bm.buffer[y * bm.pitch + x];
        int dx = bw <= CW ? left + x : x * CW / bw;
        int dy = top + y;
        if (a == 0 || dx < 0 || dx >= CW || dy < 0 || dy >= CH) continue;
        int prev = alpha_of(img.get(cx + dx, cy + dy));
        img.set(cx + dx, cy + dy, rgb(255, 255, 255, std::max(prev, a)));
      }
  }
  // Memory row 0 is the top of the picture: save_tga writes the bottom row first.
  return save_tga(out.c_str(), img.px.data(), img.w, img.h, img.w * 4);
}

// ---- distance-field font

// Squared Euclidean distance transform of one line (Felzenszwalb and Huttenlocher).
void edt_1d(const float* f, int n, float* d, int* v, float* z) {
  int k = 0;
  v[0] = 0;
  z[0] = -1e20f;
  z[1] = 1e20f;
  for (int q = 1; q < n; q++) {
    float s = ((f[q] + float(q) * q) - (f[v[k]] + float(v[k]) * v[k])) / (2.0f * q - 2.0f * v[k]);
    while (s <= z[k]) {
      k--;
      s = ((f[q] + float(q) * q) - (f[v[k]] + float(v[k]) * v[k])) / (2.0f * q - 2.0f * v[k]);
    }
    k++;
    v[k] = q;
    z[k] = s;
    z[k + 1] = 1e20f;
  }
  k = 0;
  for (int q = 0; q < n; q++) {
    while (z[k + 1] < q) k++;
    d[q] = float(q - v[k]) * (q - v[k]) + f[v[k]];
  }
}

// Distance (in pixels) from every pixel to the nearest pixel where `set` holds.
std::vector<float> distance_to(const std::vector<unsigned char>& set, int w, int h) {
  const float INF = 1e20f;
  std::vector<float> grid(size_t(w) * h);
  for (size_t i = 0; i < grid.size(); i++) grid[i] = set[i] ? 0.0f : INF;
  int n = std::max(w, h);
  std::vector<float> f(n), d(n), z(n + 1);
  std::vector<int> v(n);
  for (int x = 0; x < w; x++) {
    for (int y = 0; y < h; y++) f[y] = grid[size_t(y) * w + x];
    edt_1d(f.data(), h, d.data(), v.data(), z.data());
    for (int y = 0; y < h; y++) grid[size_t(y) * w + x] = d[y];
  }
  for (int y = 0; y < h; y++) {
    edt_1d(&grid[size_t(y) * w], w, d.data(), v.data(), z.data());
    for (int x = 0; x < w; x++) grid[size_t(y) * w + x] = sqrtf(d[x]);
  }
  return grid;
}

struct SdfGlyph {
  int id;
  int w = 0, h = 0;  // page pixels, spread included
  int xoffset = 0, yoffset = 0, xadvance = 0;
  int x = 0, y = 0;  // page position
  std::vector<unsigned char> alpha;
};

bool make_glintor(const std::string& fnt_path, const std::string& dds_path) {
  FreeType ft;
  if (!ft.open("DejaVuSansCondensed-Bold.ttf")) return false;
  const int SIZE = 11, SPREAD = 2, HI = 16;  // pixel size, distance margin, oversampling
  // The outlines are hinted at the real size (stems on whole pixels, so the thresholded field is
  // crisp at scale 1), then scaled up for the distance computation.
  FT_Set_Pixel_Sizes(ft.face, 0, SIZE);
  std::vector<SdfGlyph> glyphs;
  for (int c = 32; c <= 126; c++) {
    SdfGlyph g;
    g.id = c;
    FT_UInt gi = FT_Get_Char_Index(ft.face, FT_ULong(c));
    if (FT_Load_Glyph(ft.face, gi, FT_LOAD_FORCE_AUTOHINT | FT_LOAD_NO_BITMAP)) return false;
    FT_GlyphSlot slot = ft.face->glyph;
    g.xadvance = int(lroundf(float(slot->advance.x) / 64.0f));
    FT_Matrix up = {HI << 16, 0, 0, HI << 16};
    FT_Outline_Transform(&slot->outline, &up);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL)) return false;
    FT_Bitmap& bm = slot->bitmap;
    if (bm.width == 0 || bm.rows == 0) {
      glyphs.push_back(g);
      continue;
    }
    // The high-resolution cell: the glyph's bitmap placed on the page grid (whole page pixels),
    // padded by the spread.
    int left_px = (int)floorf(float(slot->bitmap_left) / HI);
    int top_px = (int)ceilf(float(slot->bitmap_top) / HI);
    int right_px = (int)ceilf(float(slot->bitmap_left + int(bm.width)) / HI);
    int bottom_px = (int)floorf(float(slot->bitmap_top - int(bm.rows)) / HI);
    g.w = right_px - left_px + 2 * SPREAD;
    g.h = top_px - bottom_px + 2 * SPREAD;
    int hw = g.w * HI, hh = g.h * HI;
    int ox = (SPREAD - left_px) * HI + slot->bitmap_left;  // bitmap origin inside the cell
    int oy = (SPREAD + top_px) * HI - slot->bitmap_top;
    std::vector<unsigned char> in(size_t(hw) * hh, 0), out(size_t(hw) * hh, 1);
    for (int y = 0; y < int(bm.rows); y++)
      for (int x = 0; x < int(bm.width); x++)
        if (bm.buffer[y * bm.pitch + x] >= 128) {
          size_t i = size_t(oy + y) * hw + (ox + x);
          in[i] = 1;
          out[i] = 0;
        }
    std::vector<float> to_in = distance_to(in, hw, hh), to_out = distance_to(out, hw, hh);
    g.alpha.resize(size_t(g.w) * g.h);
    for (int y = 0; y < g.h; y++)
      for (int x = 0; x < g.w; x++) {
        // Sample at the page texel's centre; positive inside the glyph.
        size_t i = size_t(y * HI + HI / 2) * hw + (x * HI + HI / 2);
        float d = (to_out[i] - to_in[i]) / HI;
        float a = 0.5f + d / (2.0f * SPREAD);
        g.alpha[size_t(y) * g.w + x] = (unsigned char)lroundf(std::min(1.0f, std::max(0.0f, a)) * 255.0f);
      }
    g.xoffset = left_px - SPREAD;
    g.yoffset = top_px + SPREAD;
    glyphs.push_back(g);
  }
  // Shelf packing in id order with one pixel between glyphs; the page height is the smallest
  // power of two that holds them.
  const int PAGE_W = 256;
  int px = 1, py = 1, shelf = 0;
  for (SdfGlyph& g : glyphs) {
    if (g.w == 0) continue;
    if (px + g.w + 1 > PAGE_W) {
      px = 1;
      py += shelf + 1;
      shelf = 0;
    }
    g.x = px;
    g.y = py;
    px += g.w + 1;
    shelf = std::max(shelf, g.h);
  }
  int page_h = 16;
  while (page_h < py + shelf + 1) page_h *= 2;
  Canvas page(PAGE_W, page_h, rgb(255, 255, 255, 0));
  for (const SdfGlyph& g : glyphs)
    for (int y = 0; y < g.h; y++)
      for (int x = 0; x < g.w; x++) page.set(g.x + x, g.y + y, rgb(255, 255, 255, g.alpha[size_t(y) * g.w + x]));
  if (!write_dds_argb(dds_path, page, false)) return false;

  int line_height = int(lroundf(float(ft.face->size->metrics.height) / 64.0f));
  // A few classic pairs, tightened by one pixel where the outlines leave a visible gap.
  static const char* PAIRS[] = {"AT", "AV", "AW", "AY", "Av", "Ay", "FA", "F.", "F,", "LT", "LV",
                                "LY", "P.", "P,", "TA", "Ta", "Te", "To", "T.", "T,", "VA", "Va",
                                "Ve", "Vo", "WA", "Wa", "YA", "Ya", "Ye", "Yo", "Y.", "rv"};
  std::vector<std::pair<int, int>> pairs;
  for (const char* p : PAIRS) pairs.push_back({p[0], p[1]});
  std::sort(pairs.begin(), pairs.end());
  FILE* f = fopen(fnt_path.c_str(), "wb");
  if (!f) return false;
  fprintf(f, "info face=\"%s %s\" size=%d spread=%d\n", ft.face->family_name, ft.face->style_name, SIZE, SPREAD);
  fprintf(f, "common lineHeight=%d base=0 scaleW=%d scaleH=%d\n", line_height, PAGE_W, page_h);
  fprintf(f, "page id=0 file=\"glintor\"\n");
  fprintf(f, "chars count=%d\n", int(glyphs.size()));
  for (const SdfGlyph& g : glyphs)
    fprintf(f, "char id=%d x=%d y=%d width=%d height=%d xoffset=%d yoffset=%d xadvance=%d\n", g.id, g.x, g.y, g.w, g.h,
            g.xoffset, g.yoffset, g.xadvance);
  fprintf(f, "kernings count=%d\n", int(pairs.size()));
  for (auto& p : pairs) fprintf(f, "kerning first=%d second=%d amount=-1\n", p.first, p.second);
  return fclose(f) == 0;
}
}  // namespace

bool generate_fonts(const std::string& dir) {
  return make_debug_font(dir + "/font.tga") && make_glintor(dir + "/glintor.fnt", dir + "/glintor.dds");
}
