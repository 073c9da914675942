// A stand-in actor library for the binding tests. Its variants (compile definitions) leave out an
// export or a name, shorten the class table, grow a class or keep themselves loaded after dlclose;
// BIND_TEST_VERSION makes the classes answer differently. One calls a function that exists nowhere.
#include <stddef.h>
#include <string.h>
#include "game/entlingApi.h"
#include "game/entlingLayout.h"
#include "game/objectLists.h"
#include "tests/bind/bindTestClasses.h"

int TestHero::answer() const { return BIND_TEST_VERSION * 1000 + value; }
int TestEnemy::answer() const { return BIND_TEST_VERSION * 1000 + value + 500; }

// The tables' address points: the vtable symbols plus the two header words before the first entry.
extern const void* const hero_vtable_symbol[] asm("_ZTV8TestHero");
extern const void* const enemy_vtable_symbol[] asm("_ZTV9TestEnemy");

#ifdef BIND_TEST_STICKY
// A unique symbol (an inline function's static, default visibility) keeps a module mapped after
// dlclose.
__attribute__((visibility("default"))) inline int& sticky_counter() {
  static int n = 0;
  return n;
}
#endif

#ifdef BIND_TEST_UNRESOLVED
extern "C" void no_such_function_in_the_program();
#endif

namespace {
void any_function() {
#ifdef BIND_TEST_UNRESOLVED
  no_such_function_in_the_program();
#endif
}
void count_link_gui() {
  bind_test_link_gui_calls++;
#ifdef BIND_TEST_STICKY
  sticky_counter()++;
#endif
}
Entling* make_object(unsigned id) {
  BaseObject* o = nullptr;
  if (id == TYPE_HERO) {
    o = new TestHero();
    object_list(0).push_back(o);
  } else if (id == TYPE_BASE_ENEMY) {
    o = new TestEnemy();
    object_list(1).push_back(o);
  }
  return reinterpret_cast<Entling*>(o);
}

void* const vtables[NUM_ENTLING_TYPES] = {nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          (void*)(hero_vtable_symbol + 2),
                                          (void*)(enemy_vtable_symbol + 2)};
const int sizes[NUM_ENTLING_TYPES] = {0, 0, 0, 0, 0, 0, 0, int(sizeof(TestHero)), int(sizeof(TestEnemy))};
}  // namespace

extern "C" {
__attribute__((visibility("default"))) void* get_entling_func_by_name(const char* name) {
#ifdef BIND_TEST_MISSING_NAME
  if (!strcmp(name, BIND_TEST_MISSING_NAME)) return nullptr;
#endif
#ifdef BIND_TEST_NO_LINK_GUI
  if (!strcmp(name, "link_gui")) return nullptr;
#endif
  if (!strcmp(name, "link_gui")) return (void*)&count_link_gui;
  if (!strcmp(name, "new_entling_by_id")) return (void*)&make_object;
  return (void*)&any_function;
}

#ifndef BIND_TEST_NO_VTABLES
__attribute__((visibility("default"))) void* const* get_entling_vtables(int* count) {
#ifdef BIND_TEST_SHORT_TABLE
  *count = NUM_ENTLING_TYPES - 1;
#else
  *count = NUM_ENTLING_TYPES;
#endif
  return vtables;
}
#endif

__attribute__((visibility("default"))) const int* get_entling_class_sizes(int* count) {
  *count = NUM_ENTLING_TYPES;
  return sizes;
}

// The layout table: a member type of the objects whose layout a variant changes while every object
// class keeps its size.
#ifdef BIND_TEST_MEMBER_GROWN
#define BIND_TEST_PART_EXTRA ", int, int"
#define BIND_TEST_PART_SIZE 16
#else
#define BIND_TEST_PART_EXTRA ""
#define BIND_TEST_PART_SIZE 8
#endif
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static const EntlingLayoutRow layout_rows[] = {
    {"TestPart", nullptr, nullptr, BIND_TEST_PART_SIZE, 4},
    {"TestPart", "a", "int", 0, 4},
    {"TestPart", "b", "int", 4, 4},
    {"TestHero", nullptr, nullptr, int(sizeof(TestHero)), int(alignof(TestHero))},
    {"TestHero", "value", "int", int(offsetof(TestHero, value)), 4},
};
#pragma GCC diagnostic pop
__attribute__((visibility("default"))) int get_entling_layouts(EntlingLayoutRow* out, int capacity) {
  int n = int(sizeof(layout_rows) / sizeof(layout_rows[0]));
  for (int i = 0; i < n && i < capacity; i++) out[i] = layout_rows[i];
  return n;
}
}

// The record of the sources: one main.kst whose text names the version ("// version 1\n"), so a test
// can put a library's sources, or other ones, beside it.
#include "game/entlingSourceRecord.h"
#define BIND_TEST_STR2(x) #x
#define BIND_TEST_STR(x) BIND_TEST_STR2(x)
static constexpr char source_text[] = "// version " BIND_TEST_STR(BIND_TEST_VERSION) "\n";
static constexpr unsigned long long fnv1a(const char* s, int n) {
  unsigned long long h = 14695981039346656037ull;
  for (int i = 0; i < n; i++) h = (h ^ (unsigned char)s[i]) * 1099511628211ull;
  return h;
}
static const EntlingSourceRow source_rows[] = {
    {"main.kst", (long long)sizeof(source_text) - 1, fnv1a(source_text, int(sizeof(source_text) - 1))}};
extern "C" __attribute__((visibility("default"))) const EntlingSourceRow* get_entling_sources(int* count) {
  *count = 1;
  return source_rows;
}
