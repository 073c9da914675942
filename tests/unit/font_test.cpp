// The debug font (glyph table from "font.tga", measuring, text quads, styles, the splash) and the
// font descriptions (reader, lookups, calcTextBox, placement) with a small fixture font.
// Sections: the debug font, font descriptions.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <string>
#include <vector>
#include "engine/d3d_render.h"
#include "engine/distFont.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/imageFiles.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "render_test_util.h"
#include "testSupport.h"

namespace {
// ---- the debug font

// A 128 x 256 grid (cells 8 x 16) in image-reader order: ink in 'A' columns 2..4, 'i' column 3.
std::vector<uint32_t> grid_image(int w, int h) {
  std::vector<uint32_t> px(size_t(w) * h, 0x00FFFFFF);
  int cw = w / 16, ch = h / 16;
  auto ink = [&](int c, int col) {
    int x = (c % 16) * cw + col, y0 = (15 - c / 16) * ch;
    px[size_t(y0 + ch / 2) * w + x] = 0xFFFFFFFF;
  };
  for (int col = 2; col <= 4; col++) ink('A', col);
  ink('i', 3);
  return px;
}

class DebugFont : public testing::Test {
 protected:
  int saved_ht;
  void SetUp() override {
    saved_ht = d3d_ht;
    d3d_ht = 720;
    std::vector<uint32_t> px = grid_image(128, 256);
    build_debug_font(px.data(), 128, 256);
  }
  void TearDown() override { d3d_ht = saved_ht; }
};
}  // namespace

TEST_F(DebugFont, GlyphTableAndScale) {
  EXPECT_EQ(get_font_cell_width(), 8);
  EXPECT_EQ(get_font_cell_height(), 16);
  const DebugGlyph& a = get_debug_glyph('A');
  EXPECT_EQ(a.x0, 1 * 8 + 2);
  EXPECT_EQ(a.x1, 1 * 8 + 5);
  EXPECT_EQ(a.y0, (15 - 4) * 16);
  EXPECT_EQ(a.y1, a.y0 + 16);
  const DebugGlyph& sp = get_debug_glyph(' ');
  EXPECT_EQ(sp.x0, 0);
  EXPECT_EQ(sp.x1, 5);  // empty cell: half the cell width plus one
  EXPECT_EQ(get_debug_font_scale(), 1);
  d3d_ht = 1080;
  update_font_scale();
  EXPECT_EQ(get_debug_font_scale(), 2);
  d3d_ht = 360;
  update_font_scale();
  EXPECT_EQ(get_debug_font_scale(), 1);
}

TEST_F(DebugFont, TextSizeCountsLines) {
  set_text_scale(1);
  set_text_spacing(0, 0);
  struct Case {
    const char* text;
    int w, h;
  } cases[] = {
      {"", 0, 0},       {"A", 4, 16},         {"Ai", 4 + 2, 16}, {"Ai\n", 6, 16},  // an empty last line adds no height
      {"Ai\nA", 6, 32}, {"A\n\nAiA", 10, 48},
  };
  for (const Case& c : cases) {
    int w, h;
    calc_text_size(c.text, -1, w, h);
    EXPECT_EQ(w, c.w) << c.text;
    EXPECT_EQ(h, c.h) << c.text;
  }
  push_text_style();
  set_text_scale(2);
  set_text_spacing(3, 1);
  int w, h;
  calc_text_size("Ai\nA", -1, w, h);
  EXPECT_EQ(w, (4 * 2 + 1) + (2 * 2 + 1));
  EXPECT_EQ(h, 2 * 16 + 3 + 2 * 16);
  calc_text_size("AiAi", 2, w, h);  // a length stops early
  EXPECT_EQ(w, 14);
  pop_text_style();
  EXPECT_EQ(get_text_scale(), 1);
  pop_text_style();  // popping an empty stack leaves the style
  EXPECT_EQ(get_text_scale(), 1);
}

TEST_F(DebugFont, TextQuadsShadowFirstAndSpacesEmpty) {
  set_text_scale(1);
  set_text_spacing(0, 0);
  start_draw_text();
  draw_text("A A", -1, 100, 50, -1, -1, 0xFFFF8000);
  end_draw_text();
  int n = 0;
  const DebugFontVertex* v = debug_text_vertices(&n);
  ASSERT_EQ(n, 4 * 6);  // two glyphs, each a shadow and a glyph quad; the space writes none
  // Shadow: one pixel right and down, black with half the alpha, whatever the alpha-test reference.
  EXPECT_EQ(v[0].colour, 0x7F000000u);
  EXPECT_EQ(v[6].colour, 0xFFFF8000u);
  EXPECT_EQ(v[0].x, v[6].x + 1);
  EXPECT_EQ(v[0].y, v[6].y - 1);
  // Bottom-left aligned: the line's bottom at y, texels of the glyph's cell.
  EXPECT_EQ(v[6].x, 100);
  EXPECT_EQ(v[6].y, 50);
  const DebugGlyph& a = get_debug_glyph('A');
  EXPECT_EQ(v[6].u, a.x0);
  EXPECT_EQ(v[6].v, a.y0);
  EXPECT_EQ(v[8].u, a.x1);
  EXPECT_EQ(v[8].v, a.y1);
  EXPECT_EQ(v[8].y, 50 + 16);
  // The second A starts after "A " = 4 + 6 (an empty cell is half the cell width plus one, plus one).
  EXPECT_EQ(v[18].x, 100 + 10);
  // Centred and top-aligned placement.
  start_draw_text();
  draw_text("A", -1, 100, 50, 0, 1, 0xFFFFFFFF);
  v = debug_text_vertices(&n);
  EXPECT_EQ(v[6].x, 100 - 2);
  EXPECT_EQ(v[8].y, 50);
  // Rectangles use texel -1, boxes four strips.
  start_draw_text();
  draw_rect(1, 2, 3, 4, 0xFF00FF00);
  draw_box(0, 0, 10, 10, 0xFFFFFFFF);
  v = debug_text_vertices(&n);
  EXPECT_EQ(n, 5 * 6);
  EXPECT_EQ(v[0].u, -1);
  EXPECT_EQ(v[0].v, -1);
}

// On the device the text goes into the shared 64 KB buffer, drawn whenever the next quad would
// not fit: 2000 quads of 72 bytes are runs of 910, 910 and 180 quads.
class DebugFontOnDevice : public RecorderDevice {};

TEST_F(DebugFontOnDevice, LongTextDrawsFullRunsOfTheSharedBuffer) {
  std::vector<uint32_t> px = grid_image(128, 256);
  ASSERT_TRUE(save_tga("font.tga", px.data(), 128, 256, 128 * 4));
  plat_make_folder((folder + "cache").c_str());
  render_write_file(folder + "cache/font.sh.cache", cache_bytes({"font.sh"}));
  init_debug_font();
  common_vb_writer.create(65536);
  set_text_scale(1);
  set_text_spacing(0, 0);
  d3d9_recorder_log().clear();
  start_draw_text();
  draw_text(std::string(1000, 'A').c_str(), -1, 0, 0, -1, -1, 0xFFFFFFFF);
  end_draw_text();
  EXPECT_EQ(d3d9_recorder_find("DrawPrimitive"),
            (std::vector<std::string>{"DrawPrimitive 4 0 1820", "DrawPrimitive 4 0 1820", "DrawPrimitive 4 0 360"}));
  EXPECT_FALSE(common_vb_writer.started());
  close_debug_font();
  common_vb_writer.destroy();
}

TEST_F(DebugFont, BadGridAndMissingFileAreFatal) {
  std::vector<uint32_t> px(100 * 100, 0);
  EXPECT_EXIT(build_debug_font(px.data(), 100, 100), testing::ExitedWithCode(100),
              "expected 16x16 font grid in font.tga, got 100x100 image");
  char saved[260];
  memcpy(saved, app_path, sizeof(saved));
  snprintf(app_path, sizeof(app_path), "/nonexistent/");
  EXPECT_EXIT(init_debug_font(), testing::ExitedWithCode(100), "can't load font.tga: No such file or directory");
  // A file that is there but not a font image says what is wrong with it.
  char tmpl[] = "/tmp/ascenda_font_XXXXXX";
  std::string dir = std::string(mkdtemp(tmpl)) + "/";
  snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  FILE* f = fopen((dir + "font.tga").c_str(), "wb");
  unsigned char header[18] = {0, 0, 10};  // a compressed TGA
  fwrite(header, 1, sizeof(header), f);
  fclose(f);
  EXPECT_EXIT(init_debug_font(), testing::ExitedWithCode(100), "can't load font.tga: unsupported TGA format");
  remove((dir + "font.tga").c_str());
  mkdir((dir + "font.tga").c_str(), 0755);
  EXPECT_EXIT(init_debug_font(), testing::ExitedWithCode(100), "can't load font.tga: not a regular file");
  rmdir((dir + "font.tga").c_str());
  rmdir(dir.c_str());
  memcpy(app_path, saved, sizeof(saved));
  EXPECT_EXIT(show_splash(std::string(300, 'x').c_str(), -1), testing::ExitedWithCode(100), "l<BS");
}

TEST_F(DebugFont, SplashTextAndBar) {
  int saved_wd = d3d_wd;
  d3d_wd = 1280;
  set_text_scale(1);
  show_splash("Loading...", 0.5f);
  EXPECT_STREQ(get_splash_text(), "Loading...");
  draw_splash();
  int n = 0;
  const DebugFontVertex* v = debug_text_vertices(&n);
  ASSERT_GE(n, 12);
  // The bar: black full width, then the green part at half of W / 4.
  const DebugFontVertex* green = v + n - 6;
  const DebugFontVertex* black = v + n - 12;
  EXPECT_EQ(black->colour, 0xFF000000u);
  EXPECT_EQ(green->colour, 0xFF32960Au);
  EXPECT_EQ(black[1].x - black[0].x, 320);
  EXPECT_EQ(green[1].x - green[0].x, 160);
  EXPECT_EQ(black[0].y, 720 / 4 - 16 * 3);
  show_splash(nullptr, -1);
  EXPECT_STREQ(get_splash_text(), "");
  d3d_wd = saved_wd;
}

#ifdef ASCENDA_ART_DIR
TEST(DebugFontFile, GeneratedFontLoads) {
  char saved[260];
  memcpy(saved, app_path, sizeof(saved));
  snprintf(app_path, sizeof(app_path), "%s/", ASCENDA_ART_DIR);
  init_debug_font();
  EXPECT_EQ(get_font_cell_height(), 16);
  EXPECT_GT(get_debug_glyph('W').x1 - get_debug_glyph('W').x0, get_debug_glyph('i').x1 - get_debug_glyph('i').x0);
  memcpy(app_path, saved, sizeof(saved));
}
#endif

// ---- font descriptions

namespace {
// Fixture: size 10, spread 2, line height 12, page 64 x 32. 'A' (65) and 'B' (66) share a range;
// 'a' (97) opens another; ' ' (32) has no width. Kerning: A then B is -1.5; a pair for 'B' after
// an entry of 'A' again opens a second index entry for 'A'.
const char* FIXTURE =
    "info face=\"Fixture\" size=10 spread=2\n"
    "common lineHeight=12 base=0 scaleW=64 scaleH=32\n"
    "page id=0 file=\"%s\"\n"
    "chars count=4\n"
    "char id=65 x=0 y=0 width=10 height=14 xoffset=-2 yoffset=11 xadvance=7\n"
    "char id=66 x=16 y=0 width=9 height=14 xoffset=-2 yoffset=11 xadvance=6\n"
    "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=3\n"
    "char id=97 x=32 y=16 width=8 height=10 xoffset=-2 yoffset=7 xadvance=5\n"
    "kernings count=3\n"
    "kerning first=65 second=66 amount=-1.5\n"
    "kerning first=66 second=65 amount=-0.5\n"
    "kerning first=65 second=97 amount=-1\n";

class FontDesc : public DataFolderTest {
 protected:
  std::string fnt, page;
  void SetUp() override {
    DataFolderTest::SetUp();
    page = root + "/fixture";
    fnt = root + "/fixture.fnt";
    char text[2048];
    snprintf(text, sizeof(text), FIXTURE, page.c_str());
    write_file_text(fnt, text);
    write_file_text(page + ".dds", dds_header(64, 32));
  }
  // The 128-byte start of a DDS file: its magic, header size, flags, height and width.
  static std::string dds_header(uint32_t width, uint32_t height) {
    std::string dds(128, '\0');
    memcpy(&dds[0], "DDS \x7c", 5);
    dds[8] = 7;
    dds[10] = 1;  // caps, height, width, pixel format
    memcpy(&dds[12], &height, 4);
    memcpy(&dds[16], &width, 4);
    return dds;
  }
};

std::vector<float> box_of(const DistFont& f, const char* text, int* n = nullptr) {
  vec4float b(f.calcTextBox(text, -1, n));
  return {b[0], b[1], b[2], b[3]};
}
}  // namespace

TEST_F(FontDesc, ReadsEveryLineKind) {
  DistFont f;
  ASSERT_TRUE(f.load(fnt.c_str()));
  EXPECT_EQ(f.size, 10);
  EXPECT_EQ(f.spread, 2);
  EXPECT_EQ(f.lineHeight, 12);
  EXPECT_FLOAT_EQ(f.texelScaleX, 1.0f / 64);
  ASSERT_EQ(f.glyphs.size(), 4);
  ASSERT_EQ(f.ranges.size(), 3);  // 65-66, 32, 97
  EXPECT_EQ(f.ranges[0].end, 67);
  EXPECT_FLOAT_EQ(f.glyphs[1].x, 16.0f / 64);
  EXPECT_FLOAT_EQ(f.glyphs[3].y, 16.0f / 32);
  EXPECT_EQ(f.findGlyph('B'), &f.glyphs[1]);
  EXPECT_EQ(f.findGlyph('C'), nullptr);
  ASSERT_EQ(f.kerningIndex.size(), 3);  // A, B, then A again
  EXPECT_FLOAT_EQ(f.findKerning('A', 'B'), -1.5f);
  EXPECT_FLOAT_EQ(f.findKerning('A', 'a'), -1.0f);  // found in the second entry of 'A'
  EXPECT_FLOAT_EQ(f.findKerning('B', 'B'), 0.0f);
}

TEST_F(FontDesc, CalcTextBoxMeasuresExactly) {
  DistFont f;
  ASSERT_TRUE(f.load(fnt.c_str()));
  int n = -1;
  EXPECT_EQ(box_of(f, "", &n), (std::vector<float>{0, 0, 0, 0}));
  EXPECT_EQ(n, 0);
  EXPECT_EQ(box_of(f, "   ", &n), (std::vector<float>{0, 0, 0, 0}));  // no visible glyph: no shrink
  EXPECT_EQ(n, 0);
  // "A": (-2, -11) to (8, 3), shrunk by the spread.
  EXPECT_EQ(box_of(f, "A", &n), (std::vector<float>{0, -9, 6, 1}));
  EXPECT_EQ(n, 1);
  // "AB": B at pen 7 - 1.5 + (-2) = 3.5, to 12.5.
  EXPECT_EQ(box_of(f, "AB", &n), (std::vector<float>{0, -9, 10.5f, 1}));
  // An unknown character is skipped but breaks the pair: "AxB" has no kerning.
  EXPECT_EQ(box_of(f, "AxB"), (std::vector<float>{0, -9, 12, 1}));
  // A second line goes down by the line height.
  EXPECT_EQ(box_of(f, "A\na", &n), (std::vector<float>{0, -9, 6, 12 + 3 - 2 + 0}));
  EXPECT_EQ(n, 2);
  EXPECT_EQ(box_of(f, "A\na")[3], 12.0f - 7 + 10 - 2);
}

TEST_F(FontDesc, PlacesLinesAndBitmapQuads) {
  BitmapFont f;
  ASSERT_TRUE(f.load(fnt.c_str()));
  DynArray<GuiImageVertex> out;
  float sort[4];
  // Left and top: the text box's corner on the box's corner, at scale 2.
  int n = f.layoutText(out, _mm_setr_ps(100, 50, 300, 150), 1 | 4, 0xFF00FF00, 2, "AB", -1, sort);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(out.size(), 12);
  EXPECT_FLOAT_EQ(sort[0], 100);
  EXPECT_FLOAT_EQ(sort[1], 50);
  EXPECT_FLOAT_EQ(out[0].x, 100 + (-2) * 2 - 0 * 2);  // pen 0 minus the text box's min x (0)
  EXPECT_FLOAT_EQ(out[0].y, 50 + 9 * 2 - 11 * 2);     // pen y moved so min y lands on 50
  EXPECT_FLOAT_EQ(out[2].x - out[0].x, 20);           // width 10 at scale 2
  EXPECT_FLOAT_EQ(out[2].u, 10.0f / 64);
  EXPECT_EQ(out[0].colour, 0xFF00FF00u);
  // Centred: every line on its own.
  out.clear();
  f.layoutText(out, _mm_setr_ps(0, 0, 100, 100), 0, 0xFFFFFFFF, 1, "AB\na", -1, sort);
  ASSERT_EQ(out.size(), 18);
  float line1_centre = (out[0].x + 2 + out[8].x - 2) * 0.5f;  // ink box of "AB"
  float line2_centre = (out[12].x + 2 + out[14].x - 2) * 0.5f;
  EXPECT_FLOAT_EQ(line1_centre, 50);
  EXPECT_FLOAT_EQ(line2_centre, 50);
  out.free();
}

TEST_F(FontDesc, DistanceFieldParametersAndIcons) {
  DistFont f;
  ASSERT_TRUE(f.load(fnt.c_str()));
  DynArray<DistFontVertex> out;
  float sort[4];
  f.layoutText(out, _mm_setr_ps(0, 0, 100, 100), 1 | 4, 0xFFFFFFFF, 20, "A", -1, 0, 0, 0, 0, 0xFF000000, sort);
  ASSERT_EQ(out.size(), 6);
  EXPECT_FLOAT_EQ(out[2].x - out[0].x, 20);  // size 20 over 10: scale 2
  // p = 2 * spread = 4: edge (1 - 0.5 / 4) * 0.5 = 0.4375; shadow 0 gives 0.5.
  D3dColor expect = pack_unit4(0.5f, 0.5f, 0.4375f, 0.4375f);
  EXPECT_EQ(out[0].params, expect);
  EXPECT_EQ(expect, (112u << 24) | (128u << 16) | (128u << 8) | 112u);
  out.free();

  std::string icons = root + "/icons.txt";
  write_file_text(icons, "info file=\"" + page +
                             "\" scaleW=64 scaleH=32 spread=3\n"
                             "icons count=2\n"
                             "icon \"gear\" 16 16 8 4 10 12 1 2\n"
                             "icon \"star\" 20 18 0 0 8 8 0 0\n");
  DistIcons ic;
  ASSERT_TRUE(ic.load(icons.c_str()));
  EXPECT_EQ(ic.getIconId("star"), 1);
  EXPECT_EQ(ic.getIconId("moon"), -1);
  EXPECT_FLOAT_EQ(ic.getOrgW(0), 16);
  EXPECT_FLOAT_EQ(ic.getOrgH(1), 18);
  EXPECT_FLOAT_EQ(ic.getOrgW(-1), 0);
  EXPECT_FLOAT_EQ(ic.getOrgW(2), 0);
  EXPECT_FLOAT_EQ(ic.icons[0].u, 8.0f / 64);
  DistIconVertex v[6];
  D3dColor cols[5] = {1, 2, 3, 4, 5};
  EXPECT_FALSE(ic.layoutIcon(v, _mm_setr_ps(0, 0, 1, 0), 1, 7, 0, 0, 0, 0, cols, sort));
  // A quarter turn: the icon's x axis becomes y.
  ASSERT_TRUE(ic.layoutIcon(v, _mm_setr_ps(100, 100, 0, 1), 2, 0, 0, 0, 0, 0, cols, sort));
  EXPECT_FLOAT_EQ(v[0].x, 100 - (-2 * 2));  // corner (2, -4): x' = x cos - y sin
  EXPECT_FLOAT_EQ(v[0].y, 100 + 1 * 2);     // y' = x sin + y cos
  EXPECT_EQ(v[0].colours[4], 5u);
  EXPECT_FLOAT_EQ(sort[2], 104 + 0);
}

TEST_F(FontDesc, BadDescriptionsFail) {
  DistFont f;
  EXPECT_FALSE(f.load((root + "/missing.fnt").c_str()));
  const char* bad[] = {
      "",
      "info face=\"x\" size=10\n",
      "info face=\"x\" size=10 spread=2\ncommon lineHeight=12 base=1 scaleW=64 scaleH=32\n",
      "info face=\"x\" size=10 spread=2\ncommon lineHeight=12 base=0 scaleW=0 scaleH=32\n",
      "info face=\"x\" size=10 spread=2\ncommon lineHeight=12 base=0 scaleW=64 scaleH=32\npage id=0 file=\"p\"\n"
      "chars count=2\nchar id=65 x=0 y=0 width=1 height=1 xoffset=0 yoffset=0 xadvance=1\n",
      "info face=\"x\" size=10 spread=2 extra\n",
  };
  for (const char* b : bad) {
    DistFont g;
    EXPECT_FALSE(g.parse(b, (int)strlen(b), nullptr, 0)) << b;
  }
  // A missing page fails the load after the glyphs were read.
  std::string text = read_file_text(fnt);
  text.replace(text.find(page), page.size(), root + "/nopage");
  write_file_text(fnt, text);
  EXPECT_FALSE(f.load(fnt.c_str()));
  EXPECT_EQ(f.glyphs.size(), 4);
}

// A font that does not load says why: the file's own error, the line that broke the format, or
// what is wrong with the page, whose size must be the one the description gives.
TEST_F(FontDesc, AFailedLoadSaysWhy) {
  const std::string good = read_file_text(fnt), good_page = read_file_text(page + ".dds");
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string why;
  } cases[] = {
      {"no description", [&] { remove(fnt.c_str()); }, "No such file or directory"},
      {"a folder for a description",
       [&] {
         remove(fnt.c_str());
         mkdir(fnt.c_str(), 0755);
       },
       "not a regular file"},
      {"a broken line",
       [&] {
         std::string t = good;
         t.replace(t.find("base=0"), 6, "base=1");
         write_file_text(fnt, t);
       },
       "line 2 is not the common line"},
      {"a description cut short", [&] { write_file_text(fnt, good.substr(0, good.find("kernings"))); },
       "the file ends before the kernings line"},
      {"no page", [&] { remove((page + ".dds").c_str()); }, "page " + page + ".dds: No such file or directory"},
      {"a folder for a page",
       [&] {
         remove((page + ".dds").c_str());
         mkdir((page + ".dds").c_str(), 0755);
       },
       "page " + page + ".dds: not a regular file"},
      {"a page that is no DDS file", [&] { write_file_text(page + ".dds", std::string(128, 'x')); },
       "page " + page + ".dds: not a DDS file"},
      {"a page wider than described", [&] { write_file_text(page + ".dds", dds_header(128, 32)); },
       "page " + page + ".dds is 128x32, the description says 64x32"},
      {"a page lower than described", [&] { write_file_text(page + ".dds", dds_header(64, 16)); },
       "page " + page + ".dds is 64x16, the description says 64x32"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rmdir(fnt.c_str());
    rmdir((page + ".dds").c_str());
    write_file_text(fnt, good);
    write_file_text(page + ".dds", good_page);
    c.make();
    BitmapFont f;
    FontLoadError why;
    EXPECT_FALSE(f.load(fnt.c_str(), why));
    EXPECT_EQ(std::string(why.c_str()), c.why);
  }
  rmdir((page + ".dds").c_str());
  write_file_text(fnt, good);
  write_file_text(page + ".dds", good_page);
  DistFont f;
  FontLoadError why;
  EXPECT_TRUE(f.load(fnt.c_str(), why));
}

#ifdef ASCENDA_ART_DIR
TEST(FontDescFile, GlintorLoads) {
  char saved[260];
  memcpy(saved, app_path, sizeof(saved));
  snprintf(app_path, sizeof(app_path), "%s/", ASCENDA_ART_DIR);
  BitmapFont f;
  EXPECT_TRUE(f.load("glintor.fnt"));
  EXPECT_EQ(f.ranges.size(), 1);  // 32 to 126 without gaps
  EXPECT_EQ(f.glyphs.size(), 95);
  EXPECT_GT(f.kernings.size(), 0);
  int n;
  vec4float b(f.calcTextBox("Play", -1, &n));
  EXPECT_EQ(n, 4);
  EXPECT_GT(b[2] - b[0], 10);
  EXPECT_LT(b[3] - b[1], 14);
  memcpy(app_path, saved, sizeof(saved));
}
#endif
