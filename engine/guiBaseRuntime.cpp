// The element core, properties, styles and their restyle, and the screens' base operations (see
// guiBaseRuntime.h). The input half of the screens is in guiRuntime.cpp.
//
// Sections: properties; elements (tree, teardown, properties, boxes, drawing); styles and restyle;
// screens.
#include "engine/guiBaseRuntime.h"
#include <math.h>
#include <string.h>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/distFont.h"
#include "engine/guiRuntime.h"
#include "engine/loadSprite.h"
#include "engine/uiDraw.h"

// ---- properties

BaseGuiProperty::~BaseGuiProperty() {
  // The rest of the chain, without recursion: rule chains and owned lists may be long.
  BaseGuiProperty* p = next;
  next = nullptr;
  while (p) {
    BaseGuiProperty* n = p->next;
    p->next = nullptr;
    delete p;
    p = n;
  }
}
void* BaseGuiProperty::operator new(size_t size) {
  void* p = dlmalloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void BaseGuiProperty::operator delete(void* p) { dlfree(p); }

static int name_list_length(const char* list) {
  if (!list) return 0;
  const char* s = list;
  while (*s) s += strlen(s) + 1;
  return int(s - list) + 1;
}
BehaviorGuiProperty::BehaviorGuiProperty(const char* list, BaseGuiProperty* n)
    : BaseGuiProperty(GP_BEHAVIORS, n), names(list, name_list_length(list)) {}

AnimationGuiProperty::AnimationGuiProperty(GuiTransition* t, const char* numbers, int count, BaseGuiProperty* n)
    : BaseGuiProperty(GP_ANIMATION, n), transitionTemplate(t), propertyNumbers(numbers, count) {}
AnimationGuiProperty::~AnimationGuiProperty() { delete transitionTemplate; }

void* GuiSelector::operator new(size_t size) {
  void* p = dlmalloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void GuiSelector::operator delete(void* p) { dlfree(p); }

// ---- elements: tree

void* BaseGuiElement::operator new(size_t size) {
  void* p = dlmalloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void BaseGuiElement::operator delete(void* p) { dlfree(p); }

void forget_queued_element(BaseGuiElement* element);

BaseGuiElement::~BaseGuiElement() {
  // GuiElement's destructor has already let go of the handlers; a bare BaseGuiElement has none.
  detach();
  forget_queued_element(this);
  while (!children.empty()) delete children.last();  // each child detaches itself
  ASSERT(children.empty());
  ASSERT(handlers.empty());
  children.free();
  handlers.free();
}

void BaseGuiElement::detach() {
  if (!parent) return;
  DynArray<BaseGuiElement*>& siblings = parent->children;
  for (int i = siblings.size() - 1; i >= 0; i--)
    if (siblings[i] == this) {
      siblings.remove(i);
      break;
    }
  parent = nullptr;
}

void BaseGuiElement::insertChild(BaseGuiElement* child, int index) {
  if (!child) return;
  child->detach();
  if (index < 0 || index > children.size()) index = children.size();
  children.insert(index, 1, &child);
  child->parent = this;
}

void BaseGuiElement::remove() {
  detach();
  queue_destruction(this);
}

GuiElement::~GuiElement() {
  // Order matters: a behaviour's detach writes the element's pressed and hover through its
  // property slots, so the handlers go first, while the slots and the owned list are intact, and
  // away from the parent, which may itself be half destroyed.
  detach();
  while (!handlers.empty()) {
    NewGuiEventHandler* h = handlers.last();
    handlers.pop_back();
    h->detach(this);
  }
  handlerMask = 0;
  for (int i = NUM_GUI_PROPS - 1; i >= 0; i--) {
    delete transitions[i];
    transitions[i] = nullptr;
  }
  // The children go before our own properties: nothing of theirs points at ours, but keeping the
  // whole subtree's teardown before ours makes the order the same for every element.
  while (!children.empty()) delete children.last();
  for (int i = 0; i < NUM_GUI_PROPS; i++) props[i] = 0;
  delete ownedProps;
  ownedProps = nullptr;
  valueChanged.destroy();
  clickedBy.destroy();
  toggled.destroy();
  clicked.destroy();
  pressEnded.destroy();
  pressBegan.destroy();
}

void GuiElement::addClass(int c) {
  ASSERT(c >= 0 && c < NUM_CSS_CLASSES);
  classes |= 1u << c;
  needsRestyle = 1;
}

const char* GuiElement::className() const { return "GuiElement"; }
bool GuiElement::isHidden() const { return get<GP_hidden>(); }
bool GuiElement::isVisible() const {
  for (const GuiElement* e = this; e; e = e->parentElement())
    if (e->get<GP_hidden>()) return false;
  return true;
}

void GuiElement::setHidden(bool hidden) {
  if (get<GP_hidden>() == hidden) return;
  set<GP_hidden>(hidden);
  NewGuiNotifyEvent notify(this);
  send_event(notify, this, GUI_SEND_BROADCAST, nullptr);
}

GuiElement* GuiElement::findById(const char* name) {
  if (!name || !name[0]) return nullptr;
  if (strcmp(idText(), name) == 0) return this;
  for (int i = 0; i < children.size(); i++)
    if (GuiElement* r = child(i)->findById(name)) return r;
  return nullptr;
}

// ---- elements: animations

__m128 GuiElement::to_four(D3dColor c) {
  const float k = 1.0f / 255.0f;
  return _mm_setr_ps(float((c >> 16) & 255) * k, float((c >> 8) & 255) * k, float(c & 255) * k,
                     float((c >> 24) & 255) * k);
}
template <>
D3dColor GuiElement::from_four<D3dColor>(__m128 v) {
  alignas(16) float f[4];
  _mm_store_ps(f, v);
  auto byte = [](float x) {
    x = x < 0 ? 0 : x > 1 ? 1 : x;
    return uint32_t(lrintf(x * 255.0f));
  };
  return (byte(f[3]) << 24) | (byte(f[0]) << 16) | (byte(f[1]) << 8) | byte(f[2]);
}
float GuiElement::time_dt_now() { return time_dt; }

void GuiElement::animatableValues(__m128 out[NUM_GUI_PROPS]) const {
  for (int i = 0; i < NUM_GUI_PROPS; i++) out[i] = _mm_setzero_ps();
  out[GP_icon_color] = to_four(get<GP_icon_color>());
  out[GP_back_color] = to_four(get<GP_back_color>());
  out[GP_text_color] = to_four(get<GP_text_color>());
  out[GP_margin] = get<GP_margin>().v;
  out[GP_padding] = get<GP_padding>().v;
  out[GP_border] = get<GP_border>().v;
  out[GP_min_width] = to_four(get<GP_min_width>());
  out[GP_min_height] = to_four(get<GP_min_height>());
  out[GP_weight] = to_four(get<GP_weight>());
}

bool GuiElement::isAnimating() const {
  for (GuiTransition* t : transitions)
    if (t && !t->finished()) return true;
  return false;
}

void GuiElement::updateAnimations() {
  for (GuiTransition*& t : transitions) {
    if (!t) continue;
    t->advance(time_dt);
    if (t->finished()) {
      delete t;
      t = nullptr;
    }
  }
  for (int i = 0; i < children.size(); i++) child(i)->updateAnimations();
}

void GuiElement::stopAnimations() {
  for (GuiTransition*& t : transitions) {
    delete t;
    t = nullptr;
  }
  for (int i = 0; i < children.size(); i++) child(i)->stopAnimations();
}

// ---- elements: boxes

static __m128 inset(__m128 box, __m128 by, float s) {
  // (x0 + l, y0 + t, x1 - r, y1 - b)
  __m128 d = _mm_mul_ps(by, _mm_set1_ps(s));
  __m128 sign = _mm_setr_ps(1, 1, -1, -1);
  return _mm_add_ps(box, _mm_mul_ps(d, sign));
}

void GuiElement::place(__m128 b, int s) {
  box = b;
  uiScale = s;
  float fs = float(s);
  marginBox = inset(box, getAnimated<GP_margin>(), fs);
  frameBox = inset(marginBox, getAnimated<GP_border>(), fs);
  contentBox = inset(frameBox, getAnimated<GP_padding>(), fs);
}

void GuiElement::layout(__m128 b, int s) {
  place(b, s);
  for (int i = 0; i < children.size(); i++) child(i)->layout(contentBox, s);
}

// The horizontal and vertical sums of the three insets, scaled.
static void inset_sums(const GuiElement* e, float s, float& w, float& h) {
  alignas(16) float m[4], b[4], p[4];
  _mm_store_ps(m, e->getAnimated<GP_margin>());
  _mm_store_ps(b, e->getAnimated<GP_border>());
  _mm_store_ps(p, e->getAnimated<GP_padding>());
  w = s * (m[0] + b[0] + p[0] + m[2] + b[2] + p[2]);
  h = s * (m[1] + b[1] + p[1] + m[3] + b[3] + p[3]);
}

__m128 GuiElement::measure(int s) {
  float fs = float(s);
  float w = fs * getAnimated<GP_min_width>(), h = fs * getAnimated<GP_min_height>();
  if (get<GP_fit_content>()) {
    const char* t = text();
    if (t[0]) {
      int count = 0;
      alignas(16) float tb[4];
      _mm_store_ps(tb, default_font.calcTextBox(t, int(strlen(t)), &count));
      float k = fs * float(get<GP_text_scale>());
      w = fmaxf(w, (tb[2] - tb[0]) * k);
      h = fmaxf(h, (tb[3] - tb[1]) * k);
    }
    if (Sprite* icon = get<GP_icon>()) {
      float k = fs * float(get<GP_icon_scale>());
      w = fmaxf(w, k * float(icon->width));
      h = fmaxf(h, k * float(icon->height));
    }
    for (int i = 0; i < children.size(); i++) {
      alignas(16) float c[4];
      _mm_store_ps(c, child(i)->measure(s));
      w = fmaxf(w, c[0]);
      h = fmaxf(h, c[1]);
    }
  }
  float iw, ih;
  inset_sums(this, fs, iw, ih);
  return _mm_setr_ps(w + iw, h + ih, 0, 0);
}

// ---- elements: drawing

// The nearest integer of a float, halves to even (the FPU's rounding).
static int round_even(float v) { return int(lrintf(v)); }

static void draw_nine_patch(Sprite* spr, __m128 frame, D3dColor colour, int c) {
  alignas(16) float F[4];
  _mm_store_ps(F, frame);
  int l = spr->npl, t = spr->npt, r = spr->npr, b = spr->npb, w = spr->width, h = spr->height;
  float tw = float(c * (w - l - r)), th = float(c * (h - t - b));
  // A sprite without a middle cannot tile: only its corners are drawn.
  bool tiles = tw > 0 && th > 0;
  if (tiles && F[2] > F[0]) {
    for (float x = F[0]; x < F[2]; x += tw) {
      int over_x = round_even(tw) - round_even(F[2] - x);
      if (over_x < 0) over_x = 0;
      for (float y = F[1]; y < F[3]; y += th) {
        int over_y = round_even(th) - round_even(F[3] - y);
        if (over_y < 0) over_y = 0;
        spr->drawCroppedUI(x, y, c * l, c * t, c * r + over_x, c * b + over_y, colour, c);
      }
      spr->drawCroppedUI(x, F[1] - float(c * t), c * l, 0, c * r + over_x, c * (h - t), colour, c);
      spr->drawCroppedUI(x, F[3], c * l, c * (h - b), c * r + over_x, 0, colour, c);
    }
  }
  if (tiles && F[3] > F[1]) {
    for (float y = F[1]; y < F[3]; y += th) {
      int over_y = round_even(th) - round_even(F[3] - y);
      if (over_y < 0) over_y = 0;
      spr->drawCroppedUI(F[0] - float(c * l), y, 0, c * t, c * (w - l), c * b + over_y, colour, c);
      spr->drawCroppedUI(F[2], y, c * (w - r), c * t, 0, c * b + over_y, colour, c);
    }
  }
  spr->drawCroppedUI(F[0] - float(c * l), F[1] - float(c * t), 0, 0, c * (w - l), c * (h - t), colour, c);
  spr->drawCroppedUI(F[2], F[1] - float(c * t), c * (w - r), 0, 0, c * (h - t), colour, c);
  spr->drawCroppedUI(F[0] - float(c * l), F[3], 0, c * (h - b), c * (w - l), 0, colour, c);
  spr->drawCroppedUI(F[2], F[3], c * (w - r), c * (h - b), 0, 0, colour, c);
}

void GuiElement::drawSelf(float) {
  if (Sprite* back = get<GP_back>()) {
    D3dColor colour = getAnimated<GP_back_color>();
    if (colour) draw_nine_patch(back, frameBox, colour, get<GP_back_scale>() * uiScale);
  }
  if (Sprite* icon = get<GP_icon>()) {
    D3dColor colour = getAnimated<GP_icon_color>();
    if (colour) icon->drawUI(contentBox, colour, get<GP_icon_scale>() * uiScale);
  }
  const char* t = text();
  if (t[0]) {
    D3dColor colour = getAnimated<GP_text_color>();
    if (colour)
      default_font.renderText(gui_batch, contentBox, get<GP_text_align>(), colour, get<GP_text_scale>() * uiScale, t,
                              int(strlen(t)), nullptr);
  }
}

void GuiElement::render(float t) {
  if (isHidden()) return;
  drawSelf(t);
  for (int i = children.size() - 1; i >= 0; i--) child(i)->render(t);
}

// ---- styles and restyle

void GuiStyle::Sheet::destroy() {
  delete selector;
  delete property;
  selector = nullptr;
  property = nullptr;
}

void GuiStyle::addSheet(GuiSelector* selector, BaseGuiProperty* property) {
  sheets.push_back(Sheet{selector, property, selector ? selector->specificity() : 0});
}

void GuiStyle::clearSheets() {
  for (Sheet& s : sheets) s.destroy();
  sheets.clear();
}

namespace {
// The matching rules of the element being restyled; kept for the life of the program.
DynArray<int> restyle_scratch;

int compare_rules(void* context, const void* a, const void* b) {
  const GuiStyle* style = static_cast<const GuiStyle*>(context);
  int ia = *static_cast<const int*>(a), ib = *static_cast<const int*>(b);
  int ka = style->sheets[ia].key, kb = style->sheets[ib].key;
  if (ka != kb) return ka < kb ? -1 : 1;
  return ia < ib ? -1 : ia > ib ? 1 : 0;
}
}  // namespace

void GuiStyle::restyle(GuiElement* element, bool force) {
  if (!element) return;
  if (!force && !element->needsRestyle) {
    for (int i = 0; i < element->children.size(); i++) restyle(element->child(i), false);
    return;
  }
  restyle_scratch.clear();
  for (int i = 0; i < sheets.size(); i++)
    if (sheets[i].selector && sheets[i].selector->matches(element)) restyle_scratch.push_back(i);
  restyle_scratch.sort(compare_rules, this);

  uintptr_t slots[NUM_GUI_PROPS];
  const GuiTransition* templates[NUM_GUI_PROPS] = {};
  for (int i = 0; i < NUM_GUI_PROPS; i++) slots[i] = element->owns(i) ? element->props[i] : 0;
  for (int k = 0; k < restyle_scratch.size(); k++) {
    for (BaseGuiProperty* p = sheets[restyle_scratch[k]].property; p; p = p->next) {
      if (p->id == GP_BEHAVIORS) {
        for (const char* name = static_cast<BehaviorGuiProperty*>(p)->names.text(); *name; name += strlen(name) + 1)
          element->addBehavior(get_behavior(name));
      } else if (p->id == GP_ANIMATION) {
        auto* a = static_cast<AnimationGuiProperty*>(p);
        const char* s = a->propertyNumbers.text();
        if (!*s) {
          for (auto& t : templates) t = a->transitionTemplate;
        }
        for (; *s; s++) {
          if (!(*s > 0 && *s <= NUM_GUI_PROPS)) assert_failed("guiRuntime", 679, "*s>0 && *s<=NUM_GUI_PROPS");
          templates[*s - 1] = a->transitionTemplate;
        }
      } else if (p->id >= 0 && p->id < NUM_GUI_PROPS) {
        if (!(slots[p->id] & 1u)) slots[p->id] = reinterpret_cast<uintptr_t>(p);
      }
    }
  }
  if (memcmp(slots, element->props, sizeof(slots)) != 0) {
    __m128 old[NUM_GUI_PROPS];
    element->animatableValues(old);
    for (GuiTransition*& t : element->transitions) {
      delete t;
      t = nullptr;
    }
    memcpy(element->props, slots, sizeof(slots));
    for (int id = 0; id < NUM_GUI_PROPS; id++) {
      if (!templates[id] || !gui_prop_animatable(id)) continue;
      GuiTransition* t = templates[id]->instantiate();
      t->start(old[id]);
      element->transitions[id] = t;
    }
  }
  element->needsRestyle = 0;
  for (int i = 0; i < element->children.size(); i++) restyle(element->child(i), true);
}

// ---- screens

void* BaseGuiScreen::operator new(size_t size) {
  void* p = dlmalloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void BaseGuiScreen::operator delete(void* p) { dlfree(p); }

BaseGuiScreen::~BaseGuiScreen() {}

void BaseGuiScreen::destroyRoot() {
  if (root) {
    root->detach();
    queue_destruction(root);
  }
  root = nullptr;
  captured = nullptr;
  hovered = nullptr;
}

void BaseGuiScreen::open() {
  root = createRoot();
  restyle();
}

void BaseGuiScreen::restyle() {
  if (style && root) style->restyle(root, false);
  setGeometry();
}

int gui_ui_scale(int screen_height) {
  int s = int(lrintf(float(screen_height) * 0.004166667f - 0.49999988f));
  return s < 1 ? 1 : s;
}

void BaseGuiScreen::setGeometry() {
  if (!root) return;
  root->layout(_mm_setr_ps(0, 0, float(d3d_wd), float(d3d_ht)), gui_ui_scale(d3d_ht));
}

void BaseGuiScreen::update() {
  processInput();
  restyle();
}

void BaseGuiScreen::close() {
  destroyRoot();
  queue_destruction(this);
}
