// Properties, styles and the restyle: which rule wins, owned properties, restyle marks and the
// incremental walk, behaviours and animations from rules, and the UI scale.
#include <gtest/gtest.h>
#include "engine/d3d_render.h"
#include "engine/guiRuntime.h"

namespace {

int matches_asked = 0;
// Matches elements carrying a class bit; the specificity is given.
struct ClassSelector : GuiSelector {
  int bit, rank;
  ClassSelector(int b, int r) : bit(b), rank(r) {}
  bool matches(const GuiElement* e) const override {
    matches_asked++;
    return e->hasClass(bit);
  }
  int specificity() const override { return rank; }
};

template <int Id>
BaseGuiProperty* prop(const typename GuiPropInfo<Id>::type& v, BaseGuiProperty* next = nullptr) {
  return new GuiProperty<typename GuiPropInfo<Id>::type>(Id, v, next);
}

struct StyleFixture : testing::Test {
  GuiStyle style;
  GuiElement* root = nullptr;
  void SetUp() override {
    register_std_behaviors();
    root = new GuiElement();
  }
  void TearDown() override {
    queue_destruction(root);
    destroy_queued_gui_elements();
    style.clearSheets();
    style.sheets.free();
  }
};

TEST_F(StyleFixture, SpecificityThenOrderDecideAndOwnedAlwaysWins) {
  root->addClass(1);
  // Higher specificity added first beats a later lower one; equal keys: the later rule wins.
  style.addSheet(new ClassSelector(1, 2048), prop<GP_text_color>(0xFF000002u));
  style.addSheet(new ClassSelector(1, 1024), prop<GP_text_color>(0xFF000001u, prop<GP_back_color>(0xFF000001u)));
  style.addSheet(new ClassSelector(1, 1024), prop<GP_back_color>(0xFF000003u));
  style.addSheet(new ClassSelector(2, 9999), prop<GP_back_color>(0xFF000009u));  // does not match
  style.restyle(root, false);
  EXPECT_EQ(root->get<GP_text_color>(), 0xFF000002u);
  EXPECT_EQ(root->get<GP_back_color>(), 0xFF000003u);
  EXPECT_FALSE(root->owns(GP_text_color));
  EXPECT_EQ(root->get<GP_back_scale>(), 1);  // unset: the default
  root->set<GP_text_color>(0xFF00FF00u);
  style.restyle(root, true);
  EXPECT_EQ(root->get<GP_text_color>(), 0xFF00FF00u);
  EXPECT_TRUE(root->owns(GP_text_color));
}

TEST_F(StyleFixture, SettersMarkOnlyWhenTheValueChanges) {
  GuiElement* child = new GuiElement();
  root->addChild(child);
  child->addClass(1);
  style.addSheet(new ClassSelector(1, 1024), prop<GP_checked>(true));
  style.restyle(root, false);
  EXPECT_FALSE(root->needsRestyle || child->needsRestyle);
  // The same value as the rule's, set for the first time: a new own property, both marked.
  child->set<GP_checked>(true);
  EXPECT_TRUE(child->owns(GP_checked));
  EXPECT_TRUE(child->needsRestyle && root->needsRestyle);
  style.restyle(root, false);
  child->set<GP_checked>(true);  // already own and equal: nothing
  EXPECT_FALSE(child->needsRestyle || root->needsRestyle);
  child->set<GP_checked>(false, true);  // the caller suppressed the mark
  EXPECT_FALSE(child->needsRestyle);
  EXPECT_FALSE(child->get<GP_checked>());
  // Four-float values compare lane by lane.
  child->set<GP_margin>(vec4float(1, 2, 3, 4));
  style.restyle(root, false);
  child->set<GP_margin>(vec4float(1, 2, 3, 4));
  EXPECT_FALSE(child->needsRestyle);
  child->set<GP_margin>(vec4float(1, 2, 3, 5));
  EXPECT_TRUE(child->needsRestyle);
}

TEST_F(StyleFixture, OnlyMarkedSubtreesAreRestyled) {
  GuiElement* a = new GuiElement();
  GuiElement* b = new GuiElement();
  GuiElement* b1 = new GuiElement();
  root->addChild(a);
  root->addChild(b);
  b->addChild(b1);
  style.addSheet(new ClassSelector(1, 1024), prop<GP_text_scale>(2));
  style.restyle(root, false);
  EXPECT_EQ(matches_asked > 0, true);
  matches_asked = 0;
  style.restyle(root, false);
  EXPECT_EQ(matches_asked, 0);  // clean: nothing recomputed
  b1->addClass(1);
  b1->set<GP_hover>(true);  // marks b1 and its parent b, not the root
  EXPECT_FALSE(root->needsRestyle);
  style.restyle(root, false);
  EXPECT_EQ(matches_asked, 2);  // b, and b1 forced under it; the root and a are only walked
  EXPECT_EQ(b1->get<GP_text_scale>(), 2);
}

TEST_F(StyleFixture, RuleBehavioursAttachOnceAndUnknownNamesAreSkipped) {
  root->addClass(1);
  static const char names[] = "solid_box\0button\0nonsense\0";
  style.addSheet(new ClassSelector(1, 1024), new BehaviorGuiProperty(names, nullptr));
  style.addSheet(new ClassSelector(1, 1024), new BehaviorGuiProperty("button\0", nullptr));
  style.restyle(root, false);
  ASSERT_EQ(root->handlers.size(), 2);
  EXPECT_EQ(root->handlers[0], get_behavior("solid_box"));
  EXPECT_EQ(root->handlers[1], get_behavior("button"));
  EXPECT_EQ(root->handlerMask, 0x4F0u | 2u);
  root->classes = 0;
  style.restyle(root, true);
  EXPECT_EQ(root->handlers.size(), 2);  // behaviours stay when the rule no longer matches
}

int transitions_alive = 0;
struct StepTransition : GuiTransition {
  __m128 from = _mm_setzero_ps();
  float left = 1;
  StepTransition() { transitions_alive++; }
  ~StepTransition() override { transitions_alive--; }
  void start(__m128 f) override { from = f; }
  void advance(float dt) override { left -= dt; }
  bool finished() const override { return left <= 0; }
  __m128 current(__m128, float) const override { return from; }
  GuiTransition* instantiate() const override { return new StepTransition(); }
};

TEST_F(StyleFixture, AnimationRulesStartTransitionsFromTheOldValues) {
  root->addClass(1);
  root->set<GP_min_width>(7.0f);
  style.addSheet(new ClassSelector(1, 1024),
                 new AnimationGuiProperty(new StepTransition(), "\x04", 1,
                                          prop<GP_back_color>(0xFF0000FFu, prop<GP_text_color>(0xFFFFFFFFu))));
  style.addSheet(new ClassSelector(2, 1024),
                 new AnimationGuiProperty(new StepTransition(), "", 0, prop<GP_text_scale>(3)));
  int templates = transitions_alive;
  style.restyle(root, false);
  EXPECT_EQ(transitions_alive, templates + 1);  // the single byte 4: property 3 only
  ASSERT_NE(root->transitions[GP_icon_color], nullptr);
  root->addClass(2);  // the empty list animates everything that can animate; the rule's change of an
                      // unanimated property still restarts every animation
  style.restyle(root, false);
  EXPECT_EQ(transitions_alive, templates + 9);
  // The back colour animates from its old value (the rule's blue) as four floats.
  alignas(16) float c[4];
  _mm_store_ps(c, root->transitions[GP_back_color]->current(_mm_setzero_ps(), 0));
  EXPECT_FLOAT_EQ(c[2], 1.0f);
  EXPECT_FLOAT_EQ(c[3], 1.0f);
  EXPECT_FLOAT_EQ(root->getAnimated<GP_min_width>(), 7.0f);
  EXPECT_TRUE(root->isAnimating());
  root->stopAnimations();
  EXPECT_EQ(transitions_alive, templates);
}

TEST_F(StyleFixture, ClearingSheetsDeletesSelectorsAndChains) {
  int before = transitions_alive;
  style.addSheet(new ClassSelector(1, 1),
                 new AnimationGuiProperty(new StepTransition(), "", 0, prop<GP_text_scale>(2)));
  EXPECT_EQ(style.sheets[0].key, 1);
  style.clearSheets();
  EXPECT_EQ(style.sheets.size(), 0);
  EXPECT_EQ(transitions_alive, before);
}

TEST(GuiScale, OneStepPer240LinesRoundedToEven) {
  struct {
    int lines, scale;
  } table[] = {{240, 1}, {360, 1}, {479, 1}, {480, 2}, {719, 2}, {720, 3}, {1080, 4}, {1440, 6}, {0, 1}, {100, 1}};
  for (auto& c : table) EXPECT_EQ(gui_ui_scale(c.lines), c.scale) << c.lines;
}

TEST(GuiScaleDeath, AnimationPropertyNumberOutOfRangeIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        GuiStyle style;
        GuiElement* e = new GuiElement();
        e->addClass(1);
        style.addSheet(new ClassSelector(1, 1), new AnimationGuiProperty(new StepTransition(), "\x1a", 1, nullptr));
        style.restyle(e, false);
      },
      "s>0 && \\*s<=NUM_GUI_PROPS");
}

}  // namespace
