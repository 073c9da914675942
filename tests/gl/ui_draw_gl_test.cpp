// The 2D drawing paths on the GL back end, checked against reviewed golden images: the splash, debug
// text, a sprite batch with flips and alpha-tested edges, a nine-patch at scales 1 to 3 and a line
// of distance-field text. A golden image is written only when ASCENDA_MAKE_GOLDEN=1 is set (then
// look at it before committing); a mismatch writes the actual image next to the build.
// Sections: fixtures and golden images, splash and debug text, sprites and nine-patches, distance-field
// and bitmap fonts.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/debugVis.h"
#include "engine/distFont.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/imageFiles.h"
#include "engine/loadSprite.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "engine/uiDraw.h"
#include "render_gl_env.h"

namespace {
// ---- fixtures and golden images

const int W = 256, H = 224;

// Channels within 2: shading doubles an 8-bit 0x80 or 0x7F, which lands a step either side.
::testing::AssertionResult near(D3dColor actual, D3dColor expected) {
  for (int s = 0; s < 32; s += 8) {
    int d = int((actual >> s) & 255) - int((expected >> s) & 255);
    if (d > 2 || d < -2) return ::testing::AssertionFailure() << std::hex << actual << " is not " << expected;
  }
  return ::testing::AssertionSuccess();
}

std::string folder;  // a program folder of links to the build's data, with our sprite fixtures

void link_into(const std::string& name) {
  std::string from = std::string(RENDER_BIN_DIR) + "/" + name, to = folder + name;
  unlink(to.c_str());
  ASSERT_EQ(symlink(from.c_str(), to.c_str()), 0) << to;
}

// Asymmetric 6 x 5 sprite (rows as the picture shows them, top first): "R" red, "G" green,
// "B" blue, "w" white, "h" white at alpha 100 (under the sprite pass's reference 128: cut), "k"
// white at alpha 200 (kept), "." transparent.
const char* const ARROW[] = {
    "RRRR..", "Rh....", "RRRk..", "R.....", "GBBwww",
};
// 9 x 9 panel with 3-texel margins: corners red, edges green, middle blue, an outline of white.
const char* const PANEL[] = {
    "wwwwwwwww", "wRRGGGRRw", "wRRGGGRRw", "wGGBBBGGw", "wGGBBBGGw", "wGGBBBGGw", "wRRGGGRRw", "wRRGGGRRw", "wwwwwwwww",
};

uint32_t fixture_colour(char c) {
  switch (c) {
    case 'R':
      return 0xFFE02020;
    case 'G':
      return 0xFF20C040;
    case 'B':
      return 0xFF2040E0;
    case 'w':
      return 0xFFFFFFFF;
    case 'h':
      return 0x64FFFFFF;
    case 'k':
      return 0xC8FFFFFF;
    default:
      return 0;
  }
}

void write_fixture(const std::string& path, const char* const* rows, int n) {
  int w = int(strlen(rows[0]));
  std::vector<uint8_t> rgba(size_t(w) * n * 4);
  for (int y = 0; y < n; y++)
    for (int x = 0; x < w; x++) {
      uint32_t c = fixture_colour(rows[y][x]);
      uint8_t* p = &rgba[(size_t(y) * w + x) * 4];
      p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = uint8_t(c >> 24);
    }
  ASSERT_TRUE(save_png(path.c_str(), w, n, 4, rgba.data(), w * 4));
}

void write_text(const std::string& path, const char* text) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  fputs(text, f);
  fclose(f);
}

// Compares the back buffer with tests/data/golden/<name>.png, each channel within 1.
void expect_golden(const char* name, const std::vector<D3dColor>& px) { expect_golden_image(name, px, W, H); }

// ---- splash and debug text

class DrawGl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(render_gl_open(64, 48));
    char tmpl[] = "/tmp/ascenda_draw_XXXXXX";
    folder = std::string(mkdtemp(tmpl)) + "/";
    for (const char* n : {"font.tga", "font.sh", "level.sh", "debug_vis.sh", "guiBitmap.sh", "distfont.sh",
                          "disticon.sh", "glintor.fnt", "glintor.dds", "d3dcompiler_43.dll"})
      link_into(n);
    mkdir((folder + "sprites").c_str(), 0755);
    mkdir((folder + "sprites/ui").c_str(), 0755);
    write_fixture(folder + "sprites/arrow.png", ARROW, 5);
    write_text(folder + "sprites/arrow.cfg", "ox=1\noy=0\n");
    write_fixture(folder + "sprites/ui/panel.png", PANEL, 9);
    write_text(folder + "sprites/ui/panel.cfg", "npl=3\nnpt=3\nnpr=3\nnpb=3\n");
  }
  static void TearDownTestSuite() { ASSERT_TRUE(reset_d3d(64, 48, false, true)); }
  void SetUp() override {
    ASSERT_TRUE(reset_d3d(W, H, false, true));
    snprintf(app_path, sizeof(app_path), "%s", folder.c_str());
    close_shaders();
    load_shader_compiler();
    ASSERT_TRUE(shader_compiler_available());
    if (!common_vb_writer.vb) common_vb_writer.create(65536);
    init_debug_font();
    set_text_scale(1);
  }
  void TearDown() override {
    close_debug_font();
    close_shaders();
  }
};

TEST_F(DrawGl, Splash) {
  show_splash("Loading...", 0.4f);  // draws and presents at once
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  draw_splash();
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  EXPECT_TRUE(near(px[0], 0xFF000A28u));  // the splash colour
  // The bar: a quarter of the width, centred, its bottom three lines below H / 4; 40 % of it green.
  int bar_row = H - 1 - (H / 4 - get_font_cell_height() * 3 + 2);
  EXPECT_TRUE(near(px[size_t(bar_row) * W + W / 2 - W / 8 + 2], 0xFF32960Au));
  EXPECT_TRUE(near(px[size_t(bar_row) * W + W / 2 + W / 8 - 3], 0xFF000000u));
  expect_golden("splash", px);
  show_splash(nullptr, -1);
}

TEST_F(DrawGl, DebugTextWithShadowsAfterAPassThatLeftAlphaReference128) {
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  clear_view(0xFF305070);
  set_atest(128);  // as the sprite pass leaves it
  start_draw_text();
  draw_text("Debug text\nline two", -1, 4, H - 4, -1, 1, 0xFFFFFFFF);
  set_text_scale(2);
  draw_text("x2", -1, W - 4, 4, 1, -1, 0xFFFFD040);
  set_text_scale(1);
  draw_rect(4, 4, 40, 20, 0x80FF0000);
  draw_box(44, 4, 80, 20, 0xFF00FF00);
  end_draw_text();
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  // Shadows (black at half alpha) darken the background somewhere right below the first line.
  int darker = 0;
  for (int y = 4; y < 24; y++)
    for (int x = 4; x < 80; x++) {
      D3dColor c = px[size_t(y) * W + x];
      if ((c & 0xFF) < 0x70 / 2 + 4 && (c & 0xFF) > 0x70 / 2 - 4) darker++;
    }
  EXPECT_GT(darker, 10);
  // The box outline and the half-transparent fill.
  EXPECT_TRUE(near(px[size_t(H - 5) * W + 44], 0xFF00FF00u));
  EXPECT_TRUE(near(px[size_t(H - 10) * W + 60], 0xFF305070u));
  expect_golden("debug_text", px);
}

TEST_F(DrawGl, BatchTextGoesThroughARenderBatch) {
  RenderBatch batch(32768);
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  clear_view(0xFF000000);
  batch_rect(batch, 10, 10, 20, 20, 0xFF0000FF);
  batch_text(batch, "Hi", -1, 30, 10, -1, -1, 0xFFFFFFFF);
  EXPECT_EQ(batch.groupCount(), 1);
  batch.render();
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  EXPECT_TRUE(near(px[size_t(H - 15) * W + 15], 0xFF0000FFu));
  int lit = 0;
  for (int y = H - 26; y < H - 10; y++)
    for (int x = 30; x < 50; x++) lit += px[size_t(y) * W + x] == 0xFFFFFFFFu;
  EXPECT_GT(lit, 10);
}

TEST_F(DrawGl, DebugVisRunsSwitchBetweenTrianglesAndLines) {
  init_debug_vis();
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  clear_view(0xFF000000);
  set_zenable(false);
  set_sprite_pixel_transform(1);  // pixels, y up
  start_draw_debug_vis();
  draw_debug_vis_flat_tri(vec4float(10, 10, 0, 0), vec4float(60, 10, 0, 0), vec4float(10, 60, 0, 0), 0xFFFF0000);
  draw_debug_vis_flat_line(vec4float(100.5f, 10, 0, 0), vec4float(100.5f, 80, 0, 0), 0xFF00FF00);
  draw_debug_vis_solid_box(vec4float(150, 10, 0, 0), vec4float(170, 30, 0, 0), 0xFF0000FF, 0);
  end_draw_debug_vis();
  d3d->EndScene();
  close_debug_vis();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  auto at = [&](int x, int y) { return px[size_t(H - 1 - y) * W + x]; };
  EXPECT_TRUE(near(at(20, 20), 0xFFFF0000u));
  EXPECT_TRUE(near(at(50, 50), 0xFF000000u));  // beyond the diagonal
  EXPECT_TRUE(near(at(100, 40), 0xFF00FF00u));
  EXPECT_TRUE(near(at(160, 20), 0xFF0000FFu));
}

// ---- sprites and nine-patches

class DrawGlSprites : public DrawGl {
 protected:
  void SetUp() override {
    DrawGl::SetUp();
    init_sprites();
    init_bitmap_fonts();
  }
  void TearDown() override {
    close_ui_render();
    close_sprites();
    DrawGl::TearDown();
  }
};

TEST_F(DrawGlSprites, BatchWithFlipsRotationAndAlphaTestedEdges) {
  Sprite* s = get_sprite("arrow", true);
  ASSERT_TRUE(get_sprites_tex());
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  clear_view(0xFF000000);
  set_zenable(false);
  start_sprite_render();
  s->draw(vec4float(4, 12, 0, 0), false, false);
  s->draw(vec4float(20, 12, 0, 0), true, false);
  s->draw(vec4float(28, 12, 0, 0), false, true);
  s->draw(vec4float(40, 12, 0, 0), vec4float(0, 1, 0, 0), false);  // a quarter turn
  set_sprite_pixel_transform(4);
  end_sprite_render();
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  auto at = [&](int wx, int wy) {  // the centre of world texel (wx, wy), y up
    return px[size_t(H - 1 - (wy * 4 + 2)) * W + wx * 4 + 2];
  };
  // Upright: the picture's top row is red at world row 12 - 0 + 4, its bottom row starts green.
  EXPECT_TRUE(near(at(3, 16), 0xFFE02020u));
  EXPECT_TRUE(near(at(3, 12), 0xFF20C040u));
  EXPECT_TRUE(near(at(4, 12), 0xFF2040E0u));
  EXPECT_TRUE(near(at(4, 15), 0xFF000000u));  // alpha 100: cut by the test at 128
  EXPECT_TRUE(near(at(6, 14), 0xFFFFFFFFu));  // alpha 200: kept
  // Flipped in x around the origin (column 1): the red column lands at world x 20.
  EXPECT_TRUE(near(at(20, 16), 0xFFE02020u));
  EXPECT_TRUE(near(at(19, 12), 0xFF2040E0u));
  EXPECT_TRUE(near(at(21, 12), 0xFF000000u));
  expect_golden("sprites", px);
}

// A nine-patch from drawCroppedUI pieces: fixed corners, edges and middle repeated in whole
// texels, which is how the GUI fills a box of any size at an integer scale.
void draw_nine_patch(Sprite* s, float x, float y, int w, int h, int scale) {
  int l = s->npl * scale, t = s->npt * scale, r = s->npr * scale, b = s->npb * scale;
  int sw = s->width * scale, sh = s->height * scale, mw = sw - l - r, mh = sh - t - b;
  auto column = [&](float px, int cl, int cr, int cw) {
    s->drawCroppedUI(px, y, cl, 0, cr, sh - t, 0xFF7F7F7F, scale);
    for (int yy = t; yy < h - b; yy += mh) {
      int cut = yy + mh > h - b ? yy + mh - (h - b) : 0;
      s->drawCroppedUI(px, y + float(yy), cl, t, cr, b + cut, 0xFF7F7F7F, scale);
    }
    s->drawCroppedUI(px, y + float(h - b), cl, sh - b, cr, 0, 0xFF7F7F7F, scale);
    (void)cw;
  };
  column(x, 0, sw - l, l);
  for (int xx = l; xx < w - r; xx += mw) {
    int cut = xx + mw > w - r ? xx + mw - (w - r) : 0;
    column(x + float(xx), l, r + cut, mw);
  }
  column(x + float(w - r), sw - r, 0, r);
}

TEST_F(DrawGlSprites, NinePatchAtScalesOneToThree) {
  Sprite* s = get_sprite("ui/panel", true);
  EXPECT_EQ(s->npl, 3);
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  clear_view(0xFF000000);
  start_gui_render();
  gui_batch.clear();
  draw_nine_patch(s, 2, 2, 40, 24, 1);
  draw_nine_patch(s, 46, 2, 60, 44, 2);
  draw_nine_patch(s, 110, 2, 78, 100, 3);
  s->drawUI(_mm_setr_ps(2, 60, 42, 100), 0xFF7F7F7F, 2);
  gui_batch.render();
  gui_batch.clear();
  end_gui_render();
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  // Scale 1: white outline at the corner, red corner texel, then the last row white again.
  EXPECT_TRUE(near(px[size_t(2) * W + 2], 0xFFFFFFFFu));
  EXPECT_TRUE(near(px[size_t(3) * W + 3], 0xFFE02020u));
  EXPECT_TRUE(near(px[size_t(2 + 24 - 1) * W + 2 + 10], 0xFFFFFFFFu));
  EXPECT_TRUE(near(px[size_t(2 + 12) * W + 2 + 20], 0xFF2040E0u));  // middle
  // Scale 3: the corner texel is 3 x 3 pixels.
  EXPECT_TRUE(near(px[size_t(2 + 3) * W + 110 + 5], 0xFFE02020u));
  EXPECT_TRUE(near(px[size_t(2 + 99) * W + 110 + 77], 0xFFFFFFFFu));
  expect_golden("nine_patch", px);
}

TEST_F(DrawGlSprites, GuiSpriteCropsLargerThanTheSpriteDrawNothing) {
  Sprite* s = get_sprite("ui/panel", true);
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  clear_view(0xFF000000);
  start_gui_render();
  gui_batch.clear();
  s->drawCroppedUI(10, 10, 5, 0, 5, 0, 0xFF7F7F7F, 1);  // 9 - 10 columns: nothing
  gui_batch.render();
  gui_batch.clear();
  end_gui_render();
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  for (int y = 0; y < 40; y++)
    for (int x = 0; x < 40; x++) ASSERT_EQ(px[size_t(y) * W + x], 0xFF000000u) << x << "," << y;
}

// ---- distance-field and bitmap fonts

TEST_F(DrawGlSprites, LineOfDistanceFieldText) {
  init_dist_fonts();
  {
    DistFont font;
    ASSERT_TRUE(font.load("glintor.fnt"));
    ASSERT_TRUE(font.page && font.state);
    RenderBatch batch(32768);
    ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
    clear_view(0xFF203040);
    start_dist_font_render();
    // Centred both ways (align 0) in the upper half; a smaller line with an outline
    // and a shadow below.
    font.renderText(batch, _mm_setr_ps(0, 0, float(W), float(H / 2)), 0, 0xFFFFFFFF, 32.f, "Glintor 42", -1, 0, 0, 0, 0,
                    0xFF000000, nullptr);
    font.renderText(batch, _mm_setr_ps(0, float(H / 2), float(W), float(H)), 0, 0xFFFFC040, 20.f, "edge & shadow", -1,
                    0, 2, 2, 2, 0xFF000000, nullptr);
    batch.render();
    end_dist_font_render();
    d3d->EndScene();
    std::vector<D3dColor> px = read_back_buffer(W, H);
    int lit = 0;
    for (D3dColor c : px) lit += (c & 0xFF) > 0xC0;
    EXPECT_GT(lit, 200);  // glyph interiors came out white
    expect_golden("dist_text", px);
  }
  close_dist_fonts();
}

TEST_F(DrawGlSprites, BitmapFontDrawsItsPageThroughTheGuiState) {
  {
    BitmapFont font;
    ASSERT_TRUE(font.load("glintor.fnt"));
    ASSERT_TRUE(font.state);
    ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
    clear_view(0xFF000000);
    start_gui_render();
    gui_batch.clear();
    font.renderText(gui_batch, _mm_setr_ps(0, 0, float(W), float(H)), 0, 0xFF7F7F7F, 1, "Glintor", -1, nullptr);
    EXPECT_EQ(gui_batch.groupCount(), 1);
    gui_batch.render();
    gui_batch.clear();
    end_gui_render();
    d3d->EndScene();
    std::vector<D3dColor> px = read_back_buffer(W, H);
    int lit = 0;
    for (D3dColor c : px) lit += c != 0xFF000000u;
    EXPECT_GT(lit, 50);
  }
}

TEST_F(DrawGlSprites, BitmapFontWithoutAStateFailsItsAssertion) {
  BitmapFont font;  // never loaded: no page, no state
  EXPECT_EXIT(font.renderText(gui_batch, _mm_setr_ps(0, 0, 10, 10), 0, 0xFF7F7F7F, 1, "x", -1, nullptr),
              testing::ExitedWithCode(100), "state");
}
}  // namespace
