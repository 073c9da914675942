// The GUI model that the program and the actor library share: events and their handlers, typed
// properties with tagged slots, styles of rules, the element tree with its box model, drawing and
// signals, and the screen. The program owns the element core (properties, boxes, drawing, teardown)
// so that runtime, restyle and element behave the same for every screen; the actor library derives
// its layouts, selectors and screens from these classes and builds the trees and the style sheets.
//
// Ownership: elements, screens, rules and owned properties live on the shared heap. A property slot
// holds either an owned property (bit 0 of the pointer set; also on the element's owned list) or a
// pointer into a style rule, which lives as long as the style's sheet. Elements are never deleted
// while a tree is being walked: they are queued (queue_destruction, guiRuntime.h).
#pragma once
#include <stdint.h>
#include <new>
#include "engine/cont/dynArray.h"
#include "engine/input.h"
#include "engine/misc/utils.h"
#include "engine/misc/vecMath.h"
#include "engine/sharedHeap.h"
#include "engine/signals.h"

struct Sprite;
struct BaseGuiElement;
struct GuiElement;
struct GuiStyle;

// ---- events

enum GuiEventType : uint32_t {
  GE_CUSTOM = 1,
  GE_HITTEST = 2,
  GE_INPUT = 4,  // key down or up
  GE_ENTER = 16,
  GE_LEAVE = 32,
  GE_MOUSE_UP = 64,
  GE_MOUSE_DOWN = 128,
  GE_MOUSE_MOVE = 256,
  GE_WHEEL = 512,
  GE_NOTIFY = 1024,
  GE_TOOLTIP = 2048,
};
// A held left or right mouse button in an InputEvent's flags.
enum { GUI_BUTTON_HELD = IF_LBUTTON | IF_RBUTTON };

struct NewGuiEvent {
  uint32_t type;
  explicit NewGuiEvent(uint32_t t) : type(t) {}
  virtual ~NewGuiEvent() {}
};
struct NewGuiCustomEvent : NewGuiEvent {
  int code;
  explicit NewGuiCustomEvent(int c) : NewGuiEvent(GE_CUSTOM), code(c) {}
};
struct NewGuiHittestEvent : NewGuiEvent {
  float x, y;
  BaseGuiElement* found = nullptr;
  NewGuiHittestEvent(float px, float py) : NewGuiEvent(GE_HITTEST), x(px), y(py) {}
};
struct NewGuiInputEvent : NewGuiEvent {
  InputEvent input{};
  NewGuiInputEvent() : NewGuiEvent(GE_INPUT) {}
};
struct NewGuiNotifyEvent : NewGuiEvent {
  BaseGuiElement* element;
  explicit NewGuiNotifyEvent(BaseGuiElement* e) : NewGuiEvent(GE_NOTIFY), element(e) {}
};
struct NewGuiTooltipEvent : NewGuiEvent {
  float x, y;
  NewGuiTooltipEvent(float px, float py) : NewGuiEvent(GE_TOOLTIP), x(px), y(py) {}
};

// Answers of a handler.
enum { GUI_NOT_HANDLED = 0, GUI_HANDLED = 1, GUI_NOT_HERE = 2 };

// A behaviour: one static object serves every element that has it; per-element state lives in the
// element's properties and signals.
struct NewGuiEventHandler {
  uint32_t mask;
  explicit NewGuiEventHandler(uint32_t m) : mask(m) {}
  virtual int handle(NewGuiEvent& event, GuiElement* element, int mode) = 0;
  virtual void attach(GuiElement* element) = 0;
  virtual void detach(GuiElement* element) = 0;
};

// ---- properties

// The element's properties: id, name, value type, the value of an unset slot.
#define GUI_PROPERTY_LIST(X)               \
  X(0, tooltip, String, String())          \
  X(1, id, String, String())               \
  X(2, text, String, String())             \
  X(3, icon_color, D3dColor, 0xFF7F7F7Fu)  \
  X(4, icon, Sprite*, nullptr)             \
  X(5, icon_scale, int, 1)                 \
  X(6, back_color, D3dColor, 0xFF7F7F7Fu)  \
  X(7, back, Sprite*, nullptr)             \
  X(8, back_scale, int, 1)                 \
  X(9, text_scale, int, 1)                 \
  X(10, text_color, D3dColor, 0xFF7F7F7Fu) \
  X(11, text_align, int, 0)                \
  X(12, margin, vec4float, vec4float())    \
  X(13, padding, vec4float, vec4float())   \
  X(14, border, vec4float, vec4float())    \
  X(15, min_width, float, 0.0f)            \
  X(16, min_height, float, 0.0f)           \
  X(17, pressed, bool, false)              \
  X(18, checked, bool, false)              \
  X(19, hover, bool, false)                \
  X(20, hidden, bool, false)               \
  X(21, fit_content, bool, true)           \
  X(22, value, double, 0.0)                \
  X(23, max_value, double, 1.0)            \
  X(24, weight, float, 0.0f)

enum GuiPropId {
#define GUI_PROP_ENUM(n, name, type, def) GP_##name = n,
  GUI_PROPERTY_LIST(GUI_PROP_ENUM)
#undef GUI_PROP_ENUM
      NUM_GUI_PROPS = 25
};
// Special ids of rule properties.
enum { GP_BEHAVIORS = -1, GP_ANIMATION = -2 };

template <int Id>
struct GuiPropInfo;
#define GUI_PROP_INFO(n, name, T, def)         \
  template <>                                  \
  struct GuiPropInfo<n> {                      \
    typedef T type;                            \
    static T unset() { return def; }           \
    static constexpr const char* NAME = #name; \
  };
GUI_PROPERTY_LIST(GUI_PROP_INFO)
#undef GUI_PROP_INFO

// True for the ids whose value can travel through a transition.
inline bool gui_prop_animatable(int id) {
  return id == GP_icon_color || id == GP_back_color || id == GP_text_color || id == GP_margin || id == GP_padding ||
         id == GP_border || id == GP_min_width || id == GP_min_height || id == GP_weight;
}

// A property, and the rest of its chain, which it owns.
struct BaseGuiProperty {
  BaseGuiProperty* next;
  int id;
  BaseGuiProperty(int i, BaseGuiProperty* n) : next(n), id(i) {}
  virtual ~BaseGuiProperty();
  void* operator new(size_t size);
  void operator delete(void* p);
};

inline bool gui_value_equal(const String& a, const String& b) {
  return a.length() == b.length() && memcmp(a.text(), b.text(), size_t(a.length())) == 0;
}
inline bool gui_value_equal(const vec4float& a, const vec4float& b) {
  return _mm_movemask_ps(_mm_cmpeq_ps(a.v, b.v)) == 0xF;
}
template <class T>
inline bool gui_value_equal(const T& a, const T& b) {
  return a == b;
}

template <class T>
struct GuiProperty : BaseGuiProperty {
  T value;
  GuiProperty(int i, const T& v, BaseGuiProperty* n) : BaseGuiProperty(i, n), value(v) {}
  const T& get() const { return value; }
  T* ptr() { return &value; }
  // Stores v; true when it differed.
  bool set(const T& v) {
    if (gui_value_equal(value, v)) return false;
    value = v;
    return true;
  }
};

// The behaviour names a rule attaches: each ended by a zero byte, the list by an empty name. The
// text is the rule's own copy.
struct BehaviorGuiProperty : BaseGuiProperty {
  String names;
  BehaviorGuiProperty(const char* list, BaseGuiProperty* n);
};

// A running animation of one property, made from a template by a rule.
struct GuiTransition {
  virtual ~GuiTransition() {}
  virtual void start(__m128 from) = 0;
  virtual void advance(float dt) = 0;
  virtual bool finished() const = 0;
  virtual __m128 current(__m128 target, float dt) const = 0;
  virtual GuiTransition* instantiate() const = 0;
};
// A rule property that animates the listed properties (numbers counted from 1; empty = all).
struct AnimationGuiProperty : BaseGuiProperty {
  GuiTransition* transitionTemplate;  // owned
  String propertyNumbers;
  AnimationGuiProperty(GuiTransition* t, const char* numbers, int count, BaseGuiProperty* n);
  ~AnimationGuiProperty() override;
};

// ---- styles

struct GuiSelector {
  virtual ~GuiSelector() {}
  virtual bool matches(const GuiElement* element) const = 0;
  virtual int specificity() const = 0;
  void* operator new(size_t size);
  void operator delete(void* p);
};

struct GuiStyle {
  struct Sheet {
    GuiSelector* selector;
    BaseGuiProperty* property;
    int key;
    void destroy();  // the selector and the property chain
  };
  DynArray<Sheet> sheets;

  // Appends a rule; the style owns both and deletes them with the sheet.
  void addSheet(GuiSelector* selector, BaseGuiProperty* property);
  // Destroys every sheet.
  void clearSheets();
  // Restyles the marked parts of the element's subtree (all of it when force is set).
  void restyle(GuiElement* element, bool force);
};

// ---- elements

enum { NUM_CSS_CLASSES = 23 };

struct BaseGuiElement {
  BaseGuiElement* parent = nullptr;
  DynArray<BaseGuiElement*> children;
  DynArray<NewGuiEventHandler*> handlers;
  uint32_t handlerMask = 0;

  BaseGuiElement() {}
  virtual ~BaseGuiElement();
  BaseGuiElement(const BaseGuiElement&) = delete;
  BaseGuiElement& operator=(const BaseGuiElement&) = delete;
  // Elements live on the shared heap.
  void* operator new(size_t size);
  void operator delete(void* p);

  // Offers the event to the element's own handlers in the order they were added.
  int handleEvent(NewGuiEvent& event, int mode);
  // Appends a behaviour (a null one, or one already there, changes nothing).
  void addBehavior(NewGuiEventHandler* handler);
  bool addBehavior(const char* name);
  bool hasBehavior(const NewGuiEventHandler* handler) const {
    return handlers.find(const_cast<NewGuiEventHandler*>(handler)) >= 0;
  }

  // Removes the element from its parent's children; nothing without a parent.
  void detach();
  // Inserts a child at index (below 0 or past the end: at the end), detaching it from its old parent.
  void insertChild(BaseGuiElement* child, int index = -1);
  // Detaches and queues the element for destruction after the update step.
  void remove();
};

struct GuiElement : BaseGuiElement {
  uintptr_t props[NUM_GUI_PROPS] = {};
  BaseGuiProperty* ownedProps = nullptr;
  GuiTransition* transitions[NUM_GUI_PROPS] = {};
  uint32_t classes = 0;
  uint8_t needsRestyle = 1;
  __m128 box = _mm_setzero_ps(), marginBox = _mm_setzero_ps(), frameBox = _mm_setzero_ps(),
         contentBox = _mm_setzero_ps();
  int uiScale = 1;
  Signal0 pressBegan;
  Signal0 pressEnded;
  Signal1<bool> clicked;
  Signal1<bool> toggled;
  Signal2<GuiElement*, int> clickedBy;
  Signal1<GuiElement*> valueChanged;

  GuiElement() {}
  ~GuiElement() override;

  virtual const char* className() const;
  virtual bool isHidden() const;
  virtual bool isVisible() const;
  virtual void setHidden(bool hidden);
  virtual GuiElement* findById(const char* name);
  virtual bool isAnimating() const;
  virtual void updateAnimations();
  virtual void stopAnimations();
  virtual void drawSelf(float t);
  virtual void render(float t);
  virtual void place(__m128 box, int scale);
  virtual void layout(__m128 box, int scale);
  virtual __m128 measure(int scale);

  GuiElement* parentElement() const { return static_cast<GuiElement*>(parent); }
  GuiElement* child(int i) const { return static_cast<GuiElement*>(children[i]); }
  void addChild(GuiElement* c) { insertChild(c, -1); }

  // Class bits; a number outside 0..22 is a programming error.
  void addClass(int c);
  bool hasClass(int c) const { return c >= 0 && c < NUM_CSS_CLASSES && (classes >> c & 1u); }

  // ---- slots
  static BaseGuiProperty* untag(uintptr_t slot) { return reinterpret_cast<BaseGuiProperty*>(slot & ~uintptr_t(1)); }
  bool owns(int id) const { return (props[id] & 1u) != 0; }
  BaseGuiProperty* slot(int id) const { return untag(props[id]); }

  template <int Id>
  typename GuiPropInfo<Id>::type get() const {
    typedef typename GuiPropInfo<Id>::type T;
    BaseGuiProperty* p = slot(Id);
    return p ? static_cast<GuiProperty<T>*>(p)->value : GuiPropInfo<Id>::unset();
  }
  // The value with its running transition applied (the plain value when none runs).
  template <int Id>
  typename GuiPropInfo<Id>::type getAnimated() const {
    typename GuiPropInfo<Id>::type v = get<Id>();
    if (GuiTransition* t = transitions[Id])
      return from_four<typename GuiPropInfo<Id>::type>(t->current(to_four(v), time_dt_now()));
    return v;
  }
  // Stores v as the element's own property; unless noMark, marks the element and its parent for
  // restyle. An own property that already holds v marks nothing.
  template <int Id>
  void set(const typename GuiPropInfo<Id>::type& v, bool noMark = false) {
    typedef typename GuiPropInfo<Id>::type T;
    if (owns(Id)) {
      if (!static_cast<GuiProperty<T>*>(slot(Id))->set(v)) return;
    } else {
      GuiProperty<T>* p = new GuiProperty<T>(Id, v, ownedProps);
      ownedProps = p;
      props[Id] = reinterpret_cast<uintptr_t>(p) | 1u;
    }
    if (!noMark) markForRestyle();
  }
  void markForRestyle() {
    needsRestyle = 1;
    if (GuiElement* p = parentElement()) p->needsRestyle = 1;
  }
  void setText(const char* s, bool noMark = false) { set<GP_text>(String(s), noMark); }
  void setId(const char* s) { set<GP_id>(String(s)); }
  void setTooltip(const char* s) { set<GP_tooltip>(String(s)); }
  // The text of a String property without a copy ("" when unset).
  const char* stringOf(int id) const {
    BaseGuiProperty* p = slot(id);
    return p ? static_cast<GuiProperty<String>*>(p)->value.text() : "";
  }
  const char* text() const { return stringOf(GP_text); }
  const char* idText() const { return stringOf(GP_id); }

  // The four-float form of a value for transitions (colours as channels over 255).
  static __m128 to_four(const vec4float& v) { return v.v; }
  static __m128 to_four(float v) { return _mm_set1_ps(v); }
  static __m128 to_four(D3dColor c);
  template <class T>
  static T from_four(__m128 v);
  static float time_dt_now();
  // The old values of all 25 properties in four-float form (zeros for ids that do not animate).
  void animatableValues(__m128 out[NUM_GUI_PROPS]) const;
};
template <>
inline vec4float GuiElement::from_four<vec4float>(__m128 v) {
  return vec4float(v);
}
template <>
inline float GuiElement::from_four<float>(__m128 v) {
  return _mm_cvtss_f32(v);
}
template <>
D3dColor GuiElement::from_four<D3dColor>(__m128 v);

// ---- screens

struct BaseGuiScreen {
  GuiElement* root = nullptr;
  GuiElement* captured = nullptr;
  GuiElement* hovered = nullptr;
  GuiStyle* style = nullptr;

  BaseGuiScreen() {}
  virtual ~BaseGuiScreen();
  void* operator new(size_t size);
  void operator delete(void* p);

  virtual GuiElement* createRoot() = 0;
  // Hands the root to the deferred destruction and forgets it.
  virtual void destroyRoot();
  // Builds a new root and restyles it.
  virtual void open();
  virtual void processInputEvent(NewGuiInputEvent& event, GuiElement* target);
  virtual void processInput();
  virtual void restyle();
  virtual void setGeometry();
  virtual void resetState();
  virtual void update();
  // destroyRoot, then the screen itself is queued for destruction.
  void close();
};

// The UI scale for a screen height: one step per 240 lines, at least 1.
int gui_ui_scale(int screen_height);
