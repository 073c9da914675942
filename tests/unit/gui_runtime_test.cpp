// The GUI runtime: event delivery, hit tests, the behaviours driven by real queued input through a
// screen, the tooltip query, and the deferred destruction (including an element's teardown order).
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "engine/d3d_render.h"
#include "engine/guiRuntime.h"
#include "engine/input.h"
#include "game/entlingApi.h"

namespace {

std::string trace;

// Records every event it sees as "<element id>:<mode>;" and answers what the element's text says.
struct Recorder : NewGuiEventHandler {
  Recorder() : NewGuiEventHandler(GE_CUSTOM | GE_INPUT) {}
  int handle(NewGuiEvent&, GuiElement* e, int mode) override {
    trace += std::string(e->idText()) + ":" + std::to_string(mode) + ";";
    return atoi(e->text());
  }
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}
} recorder;

GuiElement* make(GuiElement* parent, const char* id, float x0, float y0, float x1, float y1) {
  GuiElement* e = new GuiElement();
  e->setId(id);
  e->marginBox = e->contentBox = _mm_setr_ps(x0, y0, x1, y1);
  if (parent) parent->addChild(e);
  return e;
}

void destroy_now(GuiElement* root) {
  queue_destruction(root);
  destroy_queued_gui_elements();
}

TEST(GuiRuntime, SendEventModesVisitTheTreeInTheirOrder) {
  // root -> a -> a1, root -> b; answers come from the text (0 goes on, 1 stops, 2 skips a subtree).
  GuiElement* root = make(nullptr, "root", 0, 0, 0, 0);
  GuiElement* a = make(root, "a", 0, 0, 0, 0);
  GuiElement* a1 = make(a, "a1", 0, 0, 0, 0);
  GuiElement* b = make(root, "b", 0, 0, 0, 0);
  for (GuiElement* e : {root, a, a1, b}) e->addBehavior(&recorder);
  struct Case {
    int mode;
    GuiElement* from;
    GuiElement* stop;
    const char* answers;  // root a a1 b
    int result;
    const char* order;
  } cases[] = {
      {0, a1, nullptr, "0000", 0, "root:0;a:0;a1:0;"},
      {0, a1, a, "0000", 0, "a:0;a1:0;"},  // the stop element is asked, its ancestors are not
      {0, a1, nullptr, "1000", 1, "root:0;"},
      {1, a1, nullptr, "0000", 0, "a1:1;a:1;root:1;"},
      {1, a1, a, "0000", 0, "a1:1;a:1;"},
      {1, a1, nullptr, "0100", 1, "a1:1;a:1;"},
      {2, a, nullptr, "0000", 0, "a:2;"},
      {3, root, nullptr, "0000", 0, "root:3;a:3;a1:3;b:3;"},
      {3, root, nullptr, "0200", 0, "root:3;a:3;b:3;"},  // 2 skips a's subtree, b still asked
      {3, root, nullptr, "0010", 1, "root:3;a:3;a1:3;"},
      {7, root, nullptr, "1111", 0, ""},
  };
  GuiElement* all[] = {root, a, a1, b};
  for (const Case& c : cases) {
    for (int i = 0; i < 4; i++) all[i]->setText(std::string(1, c.answers[i]).c_str());
    trace.clear();
    NewGuiEvent ev(GE_CUSTOM);
    EXPECT_EQ(send_event(ev, c.from, c.mode, c.stop), c.result) << c.mode << " " << c.answers;
    EXPECT_EQ(trace, c.order) << c.mode << " " << c.answers;
  }
  NewGuiEvent ev(GE_CUSTOM);
  EXPECT_EQ(send_event(ev, nullptr, 3, nullptr), 0);
  destroy_now(root);
}

TEST(GuiRuntime, HitTestEdgesOverlapAndHiddenElements) {
  register_std_behaviors();
  GuiElement* root = make(nullptr, "root", 0, 0, 100, 100);
  GuiElement* first = make(root, "first", 10, 10, 50, 50);
  GuiElement* second = make(root, "second", 30, 30, 80, 80);  // overlaps first
  GuiElement* hidden = make(root, "hidden", 60, 0, 100, 20);
  GuiElement* inner = make(hidden, "inner", 70, 0, 90, 20);
  for (GuiElement* e : {root, first, second, hidden, inner}) e->addBehavior("solid_box");
  hidden->set<GP_hidden>(true);
  struct Case {
    float x, y;
    GuiElement* expected;
  } cases[] = {
      {10, 20, root},    // on first's min x edge: outside it
      {50, 50, first},   // on its max corner: inside
      {40, 40, first},   // overlap: the earlier child lies on top
      {70, 70, second},  //
      {80, 10, inner},   // a hidden element is not hit, its children still are
      {65, 10, root},    //
      {0, 0, nullptr},   // the root's own min corner
  };
  for (const Case& c : cases)
    EXPECT_EQ(hit_test(root, c.x, c.y), c.expected)
        << c.x << "," << c.y << " got "
        << (hit_test(root, c.x, c.y) ? static_cast<GuiElement*>(hit_test(root, c.x, c.y))->idText() : "null");
  EXPECT_FALSE(root->addBehavior("no_such_behavior"));
  destroy_now(root);
}

// A screen over a fixed tree, fed with real queued input.
struct TestScreen : BaseGuiScreen {
  GuiElement* createRoot() override { return nullptr; }
};

struct InputFixture : testing::Test {
  TestScreen screen;
  GuiElement* root = nullptr;
  std::vector<std::string> log;
  void SetUp() override {
    d3d_wd = 200;
    d3d_ht = 200;
    clear_input();
    register_std_behaviors();
    root = make(nullptr, "root", 0, 0, 200, 200);
    root->addBehavior("solid_box");
    screen.root = root;
  }
  void TearDown() override {
    screen.root = nullptr;
    destroy_now(root);
    clear_input();
  }
  GuiElement* widget(const char* id, const char* behaviour, float x0, float x1) {
    GuiElement* e = make(root, id, x0, 0, x1, 20);
    e->addBehavior("solid_box");
    e->addBehavior(behaviour);
    return e;
  }
  void listen(GuiElement* e) {
    struct Cb0 : SignalCallback0 {
      std::vector<std::string>* log;
      std::string what;
      void invoke() override { log->push_back(what); }
    };
    struct CbBool : SignalCallback1<bool> {
      std::vector<std::string>* log;
      std::string what;
      void invoke(bool v) override { log->push_back(what + (v ? "1" : "0")); }
    };
    struct CbBy : SignalCallback2<GuiElement*, int> {
      std::vector<std::string>* log;
      std::string what;
      void invoke(GuiElement*, int key) override { log->push_back(what + std::to_string(key)); }
    };
    std::string id = e->idText();
    auto* b = new Cb0();
    b->log = &log, b->what = id + ".began";
    e->pressBegan.connect(b);
    auto* en = new Cb0();
    en->log = &log, en->what = id + ".ended";
    e->pressEnded.connect(en);
    auto* c = new CbBool();
    c->log = &log, c->what = id + ".clicked";
    e->clicked.connect(c);
    auto* t = new CbBool();
    t->log = &log, t->what = id + ".toggled";
    e->toggled.connect(t);
    auto* by = new CbBy();
    by->log = &log, by->what = id + ".by";
    e->clickedBy.connect(by);
  }
  void move(int x, int flags = 0) { push_input_event(IE_MOUSE_MOVE, 0, 0, flags, x, 10); }
  void down(int x, int button = 1, int flags = IF_LBUTTON) { push_input_event(IE_MOUSE_DOWN, button, 0, flags, x, 10); }
  void up(int button = 1, int flags = 0) { push_input_event(IE_MOUSE_UP, button, 0, flags, 0, 0); }
  void run() {
    screen.processInput();
    clear_input();
  }
  std::string joined() {
    std::string s;
    for (auto& l : log) s += l + " ";
    log.clear();
    return s;
  }
};

TEST_F(InputFixture, ButtonPressMoveOffAndBackThenRelease) {
  GuiElement* b = widget("b", "button", 10, 50);
  listen(b);
  move(20);
  down(20);
  run();
  EXPECT_TRUE(b->get<GP_pressed>() && b->get<GP_hover>());
  EXPECT_EQ(screen.captured, b);
  EXPECT_EQ(joined(), "b.began ");
  move(100, IF_LBUTTON);  // off the button, still held: a leave to the captured button
  run();
  EXPECT_FALSE(b->get<GP_pressed>() || b->get<GP_hover>());
  EXPECT_EQ(joined(), "b.ended ");
  move(30, IF_LBUTTON);  // back: enter, pressed again
  run();
  EXPECT_TRUE(b->get<GP_pressed>() && b->get<GP_hover>());
  EXPECT_EQ(joined(), "b.began ");
  move(30);  // the mouse-up position is the last move's
  up();
  run();
  EXPECT_EQ(joined(), "b.by1 b.clicked0 b.ended ");  // the click comes before the release is told
  EXPECT_EQ(screen.captured, nullptr);
  // Released elsewhere: no click.
  move(20);
  down(20);
  move(120, IF_LBUTTON);
  move(120);
  up();
  run();
  EXPECT_EQ(joined(), "b.began b.ended ");
}

TEST_F(InputFixture, ReleasingLeftWhileRightIsHeldDoesNotClick) {
  GuiElement* b = widget("b", "button", 10, 50);
  listen(b);
  move(20);
  down(20, 1, IF_LBUTTON | IF_RBUTTON);
  move(20);
  up(1, IF_RBUTTON);
  run();
  EXPECT_TRUE(b->get<GP_pressed>());
  EXPECT_EQ(joined(), "b.began ");
}

TEST_F(InputFixture, CheckboxAndRadioClicks) {
  GuiElement* box = widget("box", "checkbox", 0, 20);
  GuiElement* group = make(root, "group", 20, 0, 200, 20);
  group->addBehavior("solid_box");
  GuiElement* radios[3];
  for (int i = 0; i < 3; i++) {
    radios[i] = make(group, ("r" + std::to_string(i)).c_str(), 40.0f + 40 * i, 0, 70.0f + 40 * i, 20);
    radios[i]->addBehavior("solid_box");
    radios[i]->addBehavior("radio_button");
    listen(radios[i]);
  }
  GuiElement* other = make(group, "other", 0, 0, 0, 0);  // a sibling without the behaviour
  other->set<GP_checked>(true);
  listen(box);
  EXPECT_TRUE(box->owns(GP_checked));  // attach made the state the element's own
  move(10);
  down(10);
  move(10);
  up();
  run();
  EXPECT_EQ(joined(), "box.began box.toggled1 box.by1 box.clicked1 box.ended ");
  radios[0]->set<GP_checked>(true);
  move(90);
  down(90);
  move(90);
  up();
  run();
  EXPECT_EQ(joined(), "r1.began r0.toggled0 r1.toggled1 r2.toggled0 r1.by1 r1.clicked1 r1.ended ");
  EXPECT_FALSE(radios[0]->get<GP_checked>());
  EXPECT_TRUE(radios[1]->get<GP_checked>());
  EXPECT_TRUE(other->get<GP_checked>());
}

TEST_F(InputFixture, SliderDragStoresTheValueAndPlacesTheKnob) {
  GuiElement* slider = widget("s", "h_slider", 0, 110);
  slider->contentBox = _mm_setr_ps(0, 0, 110, 20);
  slider->uiScale = 2;
  GuiElement* knob = make(slider, "knob", 0, 0, 10, 20);
  knob->addClass(6);
  slider->set<GP_max_value>(10.0);
  move(55);
  down(55);
  run();
  EXPECT_DOUBLE_EQ(slider->get<GP_value>(), 5.0);  // (55 - 5) / 100
  alignas(16) float m[4];
  _mm_store_ps(m, knob->get<GP_margin>());
  EXPECT_FLOAT_EQ(m[0], 25.0f);  // 50 track pixels over scale 2
  EXPECT_FLOAT_EQ(m[2], 25.0f);
  up();
  run();
  // A maximum of 0 stores 0 when dragged; placing the knob reads it as 1.
  slider->set<GP_max_value>(0.0);
  move(105);
  down(105);
  run();
  EXPECT_EQ(slider->get<GP_value>(), 0.0);
  slider->set<GP_value>(0.5);
  NewGuiCustomEvent place(1);
  EXPECT_EQ(send_event(place, slider, GUI_SEND_SELF, nullptr), 1);
  _mm_store_ps(m, knob->get<GP_margin>());
  EXPECT_FLOAT_EQ(m[0], 25.0f);
  NewGuiCustomEvent other(2);
  EXPECT_EQ(send_event(other, slider, GUI_SEND_SELF, nullptr), 0);
}

TEST_F(InputFixture, KeysBubbleFromTheHoveredElementOrBroadcastFromTheRoot) {
  GuiElement* a = make(root, "a", 0, 0, 50, 20);
  GuiElement* a1 = make(a, "a1", 0, 0, 20, 20);
  GuiElement* b = make(root, "b", 100, 0, 150, 20);
  for (GuiElement* e : {a, a1, b}) e->addBehavior("solid_box");
  for (GuiElement* e : {root, a, a1, b}) e->addBehavior(&recorder);
  trace.clear();
  move(10);
  push_input_event(IE_KEY_DOWN, 'K', 0, 0, 0, 0);
  run();
  EXPECT_EQ(trace, "a1:1;a:1;root:1;");
  trace.clear();
  move(199);
  run();
  trace.clear();
  screen.hovered = nullptr;
  screen.root = root;
  NewGuiInputEvent key;
  key.input.kind = IE_KEY_DOWN;
  screen.processInputEvent(key, nullptr);
  EXPECT_EQ(trace, "root:3;a:3;a1:3;b:3;");
}

int hides = 0, shows = 0;
std::string shown;
TEST_F(InputFixture, TooltipQueryShowsTheTextOrHides) {
  hides = shows = 0;
  hide_tooltip = [] { hides++; };
  show_tooltip = [](const char* text, vec4float) {
    shows++;
    shown = text;
  };
  GuiElement* tip = widget("t", "tooltip_box", 10, 50);
  tip->setTooltip("Normal");
  GuiElement* blank = widget("n", "tooltip_box", 60, 90);
  move(20);
  run();
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(shown, "Normal");
  move(70);
  run();
  EXPECT_EQ(hides, 1);  // an element without text hides it
  move(150);
  run();
  move(150);
  run();
  EXPECT_EQ(hides, 3);  // nothing answers: hidden every update
  (void)blank;
  hide_tooltip = nullptr;
  show_tooltip = nullptr;
}

int detach_saw_text = -1;
struct ReadsOnDetach : NewGuiEventHandler {
  ReadsOnDetach() : NewGuiEventHandler(0) {}
  int handle(NewGuiEvent&, GuiElement*, int) override { return 0; }
  void attach(GuiElement*) override {}
  void detach(GuiElement* e) override {
    // A detach that reads and writes the element's own properties, as the buttons do.
    detach_saw_text = strcmp(e->text(), "alive") == 0;
    e->set<GP_pressed>(false);
    e->set<GP_hover>(false);
  }
} reads_on_detach;

TEST(GuiRuntime, DestroyingDetachesHandlersWhilePropertiesLive) {
  register_std_behaviors();
  GuiElement* root = new GuiElement();
  GuiElement* child = new GuiElement();
  root->addChild(child);
  child->setText("alive");
  child->set<GP_pressed>(true);
  child->addBehavior(&reads_on_detach);
  child->addBehavior("checkbox");
  // Queued twice, and queued on its own while its root is queued: each is deleted once.
  queue_destruction(root);
  queue_destruction(root);
  queue_destruction(child);
  EXPECT_EQ(queued_gui_destruction_count(), 2);
  destroy_queued_gui_elements();
  EXPECT_EQ(detach_saw_text, 1);
  EXPECT_EQ(queued_gui_destruction_count(), 0);
  destroy_queued_gui_elements();  // empty lists: nothing
}

TEST(GuiRuntime, ScreenDestructorMayQueueMoreInTheSameCall) {
  static int deleted = 0;
  struct Leaf : GuiElement {
    ~Leaf() override { deleted++; }
  };
  struct QueueingScreen : BaseGuiScreen {
    GuiElement* createRoot() override { return new Leaf(); }
    ~QueueingScreen() override { queue_destruction(createRoot()); }
  };
  deleted = 0;
  queue_destruction(new QueueingScreen());
  destroy_queued_gui_elements();
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(queued_gui_destruction_count(), 0);
}

TEST(GuiRuntime, RegistryKeepsTheFirstHandlerOfAName) {
  register_std_behaviors();
  NewGuiEventHandler* button = get_behavior("button");
  ASSERT_NE(button, nullptr);
  register_behavior(&recorder, "button");
  EXPECT_EQ(get_behavior("button"), button);
  EXPECT_EQ(get_behavior("Button"), nullptr);  // exact, case-sensitive
  EXPECT_EQ(get_behavior("button"), button_behavior);
}

}  // namespace
