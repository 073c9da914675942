// Elements and box layouts: insets, measuring, how boxes share their length by weight, the
// nine-patch background, and the radio, slider and pop-up helpers of the screens.
#include <gtest/gtest.h>
#include "engine/d3d_render.h"
#include "engine/loadSprite.h"
// The library's layouts and helpers, compiled into the test.
#include "entling/gui/elementsCode.kst"

namespace {

std::vector<float> floats(__m128 v) {
  alignas(16) float f[4];
  _mm_store_ps(f, v);
  return {f[0], f[1], f[2], f[3]};
}

GuiElement* sized(GuiElement* parent, float w, float h, float weight) {
  GuiElement* e = new GuiElement();
  e->set<GP_min_width>(w);
  e->set<GP_min_height>(h);
  if (weight) e->set<GP_weight>(weight);
  if (parent) parent->addChild(e);
  return e;
}

void destroy_now(GuiElement* e) {
  queue_destruction(e);
  destroy_queued_gui_elements();
}

TEST(GuiElements, PlaceInsetsMarginBorderPaddingByTheScale) {
  GuiElement* e = new GuiElement();
  e->set<GP_margin>(vec4float(1, 2, 3, 4));
  e->set<GP_border>(vec4float(1, 1, 1, 1));
  e->set<GP_padding>(vec4float(0, 1, 0, 1));
  e->set<GP_min_width>(10);
  e->place(_mm_setr_ps(100, 100, 200, 200), 2);
  EXPECT_EQ(floats(e->marginBox), (std::vector<float>{102, 104, 194, 192}));
  EXPECT_EQ(floats(e->frameBox), (std::vector<float>{104, 106, 192, 190}));
  EXPECT_EQ(floats(e->contentBox), (std::vector<float>{104, 108, 192, 188}));
  // measure: the scaled minimum plus the scaled insets.
  EXPECT_EQ(floats(e->measure(2))[0], 2 * 10 + 2 * (1 + 1 + 0 + 3 + 1 + 0));
  EXPECT_EQ(floats(e->measure(2))[1], 2 * (2 + 1 + 1 + 4 + 1 + 1));
  destroy_now(e);
}

TEST(GuiElements, BoxesShareSpareLengthByWeightOnWholePixels) {
  struct Case {
    float widths[3], weights[3];
    float content;
    float edges[3];
  } cases[] = {
      {{10, 20, 5}, {0, 1, 2}, 100, {10, 52, 100}},   // extra 21.67 per weight, rounded edges
      {{10, 20, 5}, {0, 0, 0}, 100, {10, 30, 35}},    // no weights: packed from the left
      {{60, 50, 5}, {1, 1, 1}, 100, {60, 110, 115}},  // too wide: no negative stretch
  };
  for (const Case& c : cases) {
    HBoxLayout* h = new HBoxLayout();
    VBoxLayout* v = new VBoxLayout();
    for (int i = 0; i < 3; i++) {
      sized(h, c.widths[i], 1, c.weights[i]);
      sized(v, 1, c.widths[i], c.weights[i]);
    }
    h->layout(_mm_setr_ps(0, 0, c.content, 50), 1);
    v->layout(_mm_setr_ps(0, 0, 50, c.content), 1);
    for (int i = 0; i < 3; i++) {
      EXPECT_EQ(floats(h->child(i)->box)[2], c.edges[i]) << i;
      EXPECT_EQ(floats(h->child(i)->box)[3], 50);  // the whole cross extent
      EXPECT_EQ(floats(v->child(i)->box)[3], c.edges[i]) << i;
    }
    destroy_now(h);
    destroy_now(v);
  }
}

TEST(GuiElements, BoxMeasureSumsAlongAndTakesTheLargestAcross) {
  VBoxLayout* v = new VBoxLayout();
  sized(v, 30, 10, 0);
  sized(v, 50, 7, 1);
  v->set<GP_padding>(vec4float(1, 2, 3, 4));
  EXPECT_EQ(floats(v->measure(2)), (std::vector<float>{50 * 2 + 2 * 4, 17 * 2 + 2 * 6, 0, 0}));
  v->set<GP_min_height>(40);
  EXPECT_EQ(floats(v->measure(1))[1], 40 + 6);
  HBoxLayout* h = new HBoxLayout();
  v->addChild(h);  // an empty box measures its insets only
  EXPECT_EQ(floats(h->measure(3)), (std::vector<float>{0, 0, 0, 0}));
  EXPECT_STREQ(h->className(), "HBoxLayout");
  destroy_now(v);
}

struct DrawFixture : testing::Test {
  Sprite sprite;
  int saved_tex = 0;
  void SetUp() override {
    saved_tex = spriteTexSize;
    spriteTexSize = 64;
    sprite.width = sprite.height = 6;
    sprite.npl = sprite.npt = sprite.npr = sprite.npb = 2;
    sprite.rect[2] = sprite.rect[3] = 1024;
    gui_image_vertices().clear();
  }
  void TearDown() override {
    spriteTexSize = saved_tex;
    gui_image_vertices().clear();
  }
  int quads_for(float frame_width, D3dColor* colour, bool unset_colour = false) {
    GuiElement* e = new GuiElement();
    e->set<GP_back>(&sprite);
    if (!unset_colour) e->set<GP_back_color>(*colour);
    e->frameBox = _mm_setr_ps(10, 10, 10 + frame_width, 14);
    e->uiScale = 1;
    gui_image_vertices().clear();
    e->render(0);
    int n = gui_image_vertices().size() / 6;
    if (n) *colour = gui_image_vertices()[0].colour;
    destroy_now(e);
    return n;
  }
};

TEST_F(DrawFixture, NinePatchTilesTheFrameAndItsEdges) {
  D3dColor c = 0xFF112233u;
  // 2 x 2 middle tiles, 2 top and 2 bottom edges, 2 left and 2 right edges, 4 corners.
  EXPECT_EQ(quads_for(4, &c), 16);
  EXPECT_EQ(c, 0xFF112233u);
  // A frame of 3 pixels: the second column is cut to one pixel.
  EXPECT_EQ(quads_for(3, &c), 16);
  float right = 0;
  for (auto& v : gui_image_vertices()) right = std::max(right, v.x);
  // No column: only the left and right edges and the corners.
  EXPECT_EQ(quads_for(0, &c), 8);
  c = 0;
  EXPECT_EQ(quads_for(4, &c), 0);  // colour 0 draws nothing
  EXPECT_EQ(quads_for(4, &c, true), 16);
  EXPECT_EQ(c, 0xFF7F7F7Fu);  // unset: the default grey
}

TEST_F(DrawFixture, TheLastColumnIsCutToTheFrame) {
  GuiElement* e = new GuiElement();
  e->set<GP_back>(&sprite);
  e->frameBox = _mm_setr_ps(10, 10, 13, 12);
  e->uiScale = 1;
  e->render(0);
  float right_of_middle = 0;
  // The first 2 columns x 1 row of middle tiles end at the frame's right edge.
  for (int q = 0; q < gui_image_vertices().size() / 6; q++) {
    const GuiImageVertex* v = &gui_image_vertices()[q * 6];
    if (v[5].y == 10 && v[5].x >= 10 && v[5].x < 13) right_of_middle = std::max(right_of_middle, v[1].x);
  }
  EXPECT_EQ(right_of_middle, 13);
  e->set<GP_hidden>(true);
  gui_image_vertices().clear();
  e->render(0);
  EXPECT_EQ(gui_image_vertices().size(), 0);
  destroy_now(e);
}

TEST(GuiElementHelpers, RadioGroupsSlidersAndFindById) {
  register_std_behaviors();
  HBoxLayout* group = new HBoxLayout();
  for (int i = 0; i < 3; i++) {
    GuiElement* r = sized(group, 8, 7, 0);
    r->setId(i == 1 ? "middle" : "");
  }
  EXPECT_EQ(get_radio(group, -1), -1);
  set_radio(group, 2);
  EXPECT_EQ(get_radio(group, -1), 2);
  EXPECT_FALSE(group->child(0)->get<GP_checked>());
  EXPECT_EQ(group->findById("middle"), group->child(1));
  EXPECT_EQ(group->findById(""), nullptr);
  // A slider without its behaviour: the value is kept, nobody answers.
  EXPECT_EQ(set_slider(group->child(0), 0.5), 0);
  EXPECT_EQ(group->child(0)->get<GP_value>(), 0.5);
  destroy_now(group);
}

TEST(GuiElementHelpers, PopupsStayOnScreen) {
  d3d_wd = 200;
  d3d_ht = 100;
  struct Case {
    float anchor[4];
    float box[4];
  } cases[] = {
      {{50, 10, 70, 20}, {40, 20, 80, 30}},      // centred under the anchor
      {{50, 85, 70, 95}, {40, 75, 80, 85}},      // would leave the bottom: above it
      {{0, 10, 10, 20}, {0, 20, 40, 30}},        // left edge: starts at 0
      {{190, 10, 200, 20}, {160, 20, 200, 30}},  // right edge: ends at the screen's width
  };
  for (const Case& c : cases) {
    GuiElement* e = sized(nullptr, 40, 10, 0);
    e->uiScale = 1;
    place_popup(e, vec4float(c.anchor[0], c.anchor[1], c.anchor[2], c.anchor[3]));
    e->layout(_mm_setr_ps(0, 0, 200, 100), 1);
    EXPECT_EQ(floats(e->marginBox), (std::vector<float>{c.box[0], c.box[1], c.box[2], c.box[3]}));
    destroy_now(e);
  }
}

}  // namespace
