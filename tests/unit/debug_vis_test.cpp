// Debug drawing runs, the statistics overlay and its trackers, and the UI quad writers.
#include <string.h>
#include <vector>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/debugVis.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/statsOverlay.h"
#include "engine/uiDraw.h"
#include "render_test_util.h"
#include "testSupport.h"

TEST(DebugVis, OneRunPerChangeOfKind) {
  start_draw_debug_vis();
  vec4float a(0, 0, 0, 1), b(1, 0, 0, 1), c(0, 1, 0, 1);
  draw_debug_vis_flat_line(a, b, 0xFFFF0000);
  draw_debug_vis_flat_line(a, c, 0xFFFF0000);
  draw_debug_vis_flat_tri(a, b, c, 0xFF00FF00);
  draw_debug_vis_flat_line(b, c, 0xFF0000FF);
  end_draw_debug_vis();
  int n = 0;
  const DebugVisRun* r = debug_vis_runs(&n);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(r[0].kind, DEBUG_VIS_LINES);
  EXPECT_EQ(r[0].primitives, 2);
  EXPECT_EQ(r[1].kind, DEBUG_VIS_TRIANGLES);
  EXPECT_EQ(r[2].first, 7);
}

// On the device a change of primitive kind draws the run so far with its kind and goes on with
// the new one in the same shared buffer.
class DebugVisOnDevice : public RecorderDevice {};

TEST_F(DebugVisOnDevice, EachChangeOfKindDrawsTheRunWithItsKind) {
  plat_make_folder((folder + "cache").c_str());
  render_write_file(folder + "cache/debug_vis.sh.cache", cache_bytes({"debug_vis.sh"}));
  init_debug_vis();
  common_vb_writer.create(65536);
  d3d9_recorder_log().clear();
  start_draw_debug_vis();
  vec4float a(0, 0, 0, 1), b(1, 0, 0, 1), c(0, 1, 0, 1);
  draw_debug_vis_flat_line(a, b, 0xFFFF0000);
  draw_debug_vis_flat_line(a, c, 0xFFFF0000);
  draw_debug_vis_flat_tri(a, b, c, 0xFF00FF00);
  draw_debug_vis_flat_tri(a, c, b, 0xFF00FF00);
  draw_debug_vis_flat_line(b, c, 0xFF0000FF);
  end_draw_debug_vis();
  EXPECT_EQ(d3d9_recorder_find("DrawPrimitive"),
            (std::vector<std::string>{"DrawPrimitive 2 0 2", "DrawPrimitive 4 0 2", "DrawPrimitive 2 0 1"}));
  close_debug_vis();
  common_vb_writer.destroy();
}

TEST(DebugVis, BoxesAndCrosses) {
  start_draw_debug_vis();
  vec4float p(2, 3, 4, 1);
  draw_debug_vis_solid_box(p, p, 0xFFFFFFFF, 0);  // degenerate, still 12 triangles
  end_draw_debug_vis();
  int n = 0;
  debug_vis_runs(&n);
  EXPECT_EQ(debug_vis_runs(nullptr)[0].primitives, 12);
  // A wire box is the same whichever corners are given.
  auto wire = [](vec4float x, vec4float y) {
    start_draw_debug_vis();
    draw_debug_vis_wire_box(x, y, 0xFF00FF00);
    end_draw_debug_vis();
    int k = 0;
    const DebugVisVertex* v = debug_vis_vertices(&k);
    return std::vector<float>(&v[0].x, &v[0].x + k * 4);
  };
  std::vector<float> w1 = wire(vec4float(0, 0, 0, 1), vec4float(1, 2, 3, 1));
  std::vector<float> w2 = wire(vec4float(1, 0, 3, 1), vec4float(0, 2, 0, 1));
  EXPECT_EQ(w1.size(), 24u * 4);
  EXPECT_EQ(w1, w2);
  start_draw_debug_vis();
  draw_debug_vis_cross_point(p, 1.5f, 0xFF123456);
  draw_debug_vis_cube(p, 1, 0xFF123456);
  end_draw_debug_vis();
  int k = 0;
  const DebugVisVertex* v = debug_vis_vertices(&k);
  EXPECT_EQ(k, 6 + 36);
  EXPECT_FLOAT_EQ(v[0].x, 0.5f);
  EXPECT_FLOAT_EQ(v[1].x, 3.5f);
  EXPECT_EQ(v[0].colour, 0xFF123456u);
}

TEST(Stats, TrackersRegisterOnceAndRecord) {
  // Registered trackers stay in the registry for good, as the game's own (static) ones do.
  static UpdateStatsTracker a("physics"), b("ai");
  int before = update_stats_tracker_count();
  register_update_stats_tracker(&a);
  register_update_stats_tracker(&a);
  register_update_stats_tracker(nullptr);
  register_update_stats_tracker(&b);
  EXPECT_EQ(update_stats_tracker_count(), before + 2);
  EXPECT_EQ(a.index, before);
  EXPECT_EQ(b.index, before + 1);
  a.accumulated = 12345;
  begin_update_stats();
  EXPECT_EQ(a.accumulated, 0);
  EXPECT_EXIT(UpdateStatsTracker(std::string(300, 'n').c_str()), testing::ExitedWithCode(100), "l<BS");
  vec4float red = hsv_to_rgb(0, 1, 1), green = hsv_to_rgb(1.0f / 3, 1, 1), mid = hsv_to_rgb(0.5f, 1, 0.5f);
  EXPECT_FLOAT_EQ(red[0], 1);
  EXPECT_FLOAT_EQ(red[1], 0);
  EXPECT_NEAR(green[1], 1, 1e-5);
  EXPECT_NEAR(green[0], 0, 1e-5);
  EXPECT_NEAR(mid[2], 0.5f, 1e-5);
}

namespace {
class Overlay : public testing::Test {
 protected:
  int wd, ht;
  void SetUp() override {
    wd = d3d_wd;
    ht = d3d_ht;
    d3d_wd = 1280;
    d3d_ht = 720;
    std::vector<uint32_t> px(128 * 256, 0xFFFFFFFF);
    build_debug_font(px.data(), 128, 256);
  }
  void TearDown() override {
    d3d_wd = wd;
    d3d_ht = ht;
    memset(app_gpu_ring, 0, sizeof(app_gpu_ring));
  }
  // Solid rectangles (texel -1) of the run, as (x0, y0, x1, y1, colour).
  std::vector<std::vector<int>> rects() {
    int n = 0;
    const DebugFontVertex* v = debug_text_vertices(&n);
    std::vector<std::vector<int>> r;
    for (int i = 0; i + 5 < n; i += 6)
      if (v[i].u == -1) r.push_back({v[i].x, v[i].y, v[i + 2].x, v[i + 2].y, int(v[i].colour)});
    return r;
  }
};
}  // namespace

TEST_F(Overlay, GraphBarsAtScreenScale) {
  int hist[100] = {};
  hist[10] = 50000;  // above the target: red
  hist[20] = 10000;
  start_draw_text();
  draw_stats_graph(hist, 0, 50000, 50000, true);
  std::vector<std::vector<int>> r = rects();
  ASSERT_EQ(r.size(), 2u + 100u);
  // 1280 x 720: bars 6 pixels wide, the graph 180 high, at the right edge.
  EXPECT_EQ(r[0], (std::vector<int>{1280 - 600, 0, 1280, 180, 0x40000000}));
  EXPECT_EQ(r[1][3], 90);  // one step is half the height
  const std::vector<int>& bar = r[2 + 10];
  EXPECT_EQ(bar[0], 1280 - 600 + 3 + 1 + 60);
  EXPECT_EQ(bar[2] - bar[0], 6);
  EXPECT_EQ(bar[3], 90);
  EXPECT_EQ(unsigned(bar[4]) & 0x0000FF00u, 0u);
  EXPECT_NE(unsigned(bar[4]) & 0x00FF0000u, 0u);
  EXPECT_NE(unsigned(r[2 + 20][4]) & 0x0000FF00u, 0u);  // below the target: green
  end_draw_text();
}

TEST_F(Overlay, GpuLinesOnlyWithAProbe) {
  auto text_quads = [&]() {
    start_draw_text();
    draw_update_stats();
    end_draw_text();
    int n = 0;
    debug_text_vertices(&n);
    return n;
  };
  for (int& g : app_gpu_ring) g = -1;
  int without = text_quads();
  for (int& g : app_gpu_ring) g = 40;
  int with = text_quads();
  EXPECT_GT(with, without);
  EXPECT_EQ(get_text_scale(), get_debug_font_scale());  // the style is restored
}

TEST(UiDraw, RoundedBoxesLinesAndImages) {
  RoundedBoxVertex v[6];
  float sort[4];
  make_rounded_box(v, sort, _mm_setr_ps(10, 20, 30, 40), _mm_setr_ps(4, 300, -2, 0), 0xFF112233, 0, 0, 0, 0, 0, -1);
  // Feather 0 becomes 0.5; without a shadow the quad is the feathered box.
  EXPECT_EQ(std::vector<float>(sort, sort + 4), (std::vector<float>{9.5f, 19.5f, 30.5f, 40.5f}));
  EXPECT_EQ(v[0].radii, 0x0004FF00u);  // red 4, green 255 (clamped), blue 0 (clamped), alpha 0
  EXPECT_FLOAT_EQ(v[0].cx, 20);
  EXPECT_FLOAT_EQ(v[0].width, 20);
  EXPECT_EQ(v[0].shadowParams >> 24, 1u);  // feather 0.5 as a byte
  make_rounded_box(v, sort, _mm_setr_ps(10, 20, 30, 40), _mm_setr_ps(0, 0, 0, 0), 0, 2, 5, -3, 4, 0x80000000, 2);
  EXPECT_FLOAT_EQ(sort[2], 30 + 5 + 4 + 2);
  EXPECT_FLOAT_EQ(sort[1], 20 - 3 - 4 - 2);          // grown to hold the moved, blurred shadow
  EXPECT_EQ((v[0].shadowParams >> 16) & 255, 133u);  // 5 / 255 + 0.5
  EXPECT_EQ((v[0].shadowParams >> 8) & 255, 125u);   // -3 / 255 + 0.5
  make_ui_line(v, sort, _mm_setr_ps(0, 0, 10, 0), 2, 0xFFFFFFFF);
  EXPECT_FLOAT_EQ(v[0].y, -1);
  EXPECT_FLOAT_EQ(v[2].y, 1);
  EXPECT_FLOAT_EQ(v[0].width, 15);
  EXPECT_EQ(v[0].shadowParams, 0x00808080u);
  EXPECT_FLOAT_EQ(sort[3], 1.5f);
  make_ui_line(v, sort, _mm_setr_ps(3, 3, 3, 3), 2, 0xFFFFFFFF);  // no length: no division by zero
  EXPECT_FLOAT_EQ(v[0].x, 3);
  GuiImageVertex g[6];
  make_ui_image(g, _mm_setr_ps(1, 2, 3, 4), 0xFF000000, _mm_setr_ps(0.25f, 0.5f, 0.75f, 1));
  EXPECT_FLOAT_EQ(g[0].u, 0.25f);
  EXPECT_FLOAT_EQ(g[0].v, 0.5f);
  EXPECT_FLOAT_EQ(g[5].y, 4);
  EXPECT_FLOAT_EQ(g[5].v, 1);
}
