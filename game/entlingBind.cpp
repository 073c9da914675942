// Binding and unbinding the actor library (see entlingBind.h). Live objects hold no pointer into
// the library but their virtual-table pointer, so re-pointing that one word per object is all a
// swap needs; the tables are matched by their position in the library's class table, never by a
// slot number inside a table.
#include "game/entlingBind.h"
#include <string.h>
#include <vector>
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/entlingLayout.h"
#include "game/guiScreens.h"
#include "game/objectLists.h"

void* entling_vtables[NUM_ENTLING_TYPES];

static void** vtable_of(BaseObject* o) { return reinterpret_cast<void**>(o); }

// Re-points every live object of the 12 lists from the old class table (entling_vtables) to the
// new one. An object standing in two lists is re-pointed once: the first visit marks it.
static void relink_objects(void* const* next) {
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) {
    DynArray<BaseObject*>& list = object_list(l);
    for (int i = 0; i < list.size(); i++) {
      BaseObject* o = list[i];
      if (o->flags & OBJ_RELINK) continue;
      o->flags |= OBJ_RELINK;
      void* current = *vtable_of(o);
      int k = 1;
      while (k < NUM_ENTLING_TYPES && !(entling_vtables[k] && entling_vtables[k] == current)) k++;
      if (k == NUM_ENTLING_TYPES) fatal("cannot find object vtable");
      // A class the new library lacks cannot take the object over.
      if (!next[k]) fatal("entling classes changed, need restart");
      *vtable_of(o) = next[k];
    }
  }
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) {
    DynArray<BaseObject*>& list = object_list(l);
    for (int i = 0; i < list.size(); i++) list[i]->flags &= ~uint32_t(OBJ_RELINK);
  }
}

// What survived the swap, each list named by its first object's class (asked of the new code).
static void log_live_objects() {
  TempString<512> text;
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) {
    DynArray<BaseObject*>& list = object_list(l);
    if (list.empty()) continue;
    TempString<64> part;
    part.format("%s%s %d", text.empty() ? "" : ", ", list[0]->className(), list.size());
    text.append(part);
  }
  debug("entling bound: %s", text.empty() ? "no live objects" : text.c_str());
}

void bind_entling_library(void* module) {
  auto by_name = (GetEntlingFuncByNameFn)get_library_proc(module, "get_entling_func_by_name");
  auto vtables = (GetEntlingVtablesFn)get_library_proc(module, "get_entling_vtables");
  if (!by_name || !vtables) fatal("invalid entling.dll");
  for (int i = 0; i < NUM_ENTLING_API; i++) {
    void* f = by_name(entling_api_names[i]);
    if (!f) fatal("no \"%s\" function in entling.dll", entling_api_names[i]);
    *entling_api_slot(i) = f;
  }
  int count = 0;
  void* const* next = vtables(&count);
  if (count != NUM_ENTLING_TYPES || !next) fatal("entling classes changed, need restart");
  relink_objects(next);
  memcpy(entling_vtables, next, sizeof(entling_vtables));
  log_live_objects();
  auto link_gui = (LinkGuiFn)by_name("link_gui");
  if (!link_gui) fatal("no \"%s\" function in entling.dll", "link_gui");
  link_gui();
}

void unbind_entling_library() {
  clear_entling_api();
  for (int i = 0; i < NUM_GUI_SCREENS; i++) {
    GuiScreenSingleton& s = gui_screen_singleton(i);
    if (s.screen) s.screen->destroyRoot();
    s.createScreen = nullptr;
  }
  // The queued trees are deleted while their code is still loaded.
  destroy_queued_gui_elements();
  tooltip_style.clearSheets();
  hud_style.clearSheets();
  common_style.clearSheets();
}

static bool same_text(const char* a, const char* b) { return a == b || (a && b && strcmp(a, b) == 0); }

// The rows of one class: from its own row to the next class's row.
static int class_rows_end(const EntlingLayoutRow* rows, int n, int start) {
  int e = start + 1;
  while (e < n && rows[e].field) e++;
  return e;
}

// Every class both tables have must be laid out alike, member by member. A class only the new table
// has has no live instance yet; one only the old table has is no member of a class that stays
// (that class's member row would differ). The first class that differs is named in *changed.
bool entling_layouts_match(const EntlingLayoutRow* current, int n_current, const EntlingLayoutRow* next, int n_next,
                           TempString<256>* changed) {
  for (int i = 0; i < n_current; i = class_rows_end(current, n_current, i)) {
    if (current[i].field) return false;  // a table that does not start with a class row
    int i_end = class_rows_end(current, n_current, i);
    for (int j = 0; j < n_next; j = class_rows_end(next, n_next, j)) {
      if (next[j].field || !same_text(next[j].owner, current[i].owner)) continue;
      int j_end = class_rows_end(next, n_next, j);
      bool same = i_end - i == j_end - j;
      for (int k = 0; same && k < i_end - i; k++) {
        const EntlingLayoutRow &a = current[i + k], &b = next[j + k];
        same = same_text(a.field, b.field) && same_text(a.type, b.type) && a.offset == b.offset && a.size == b.size;
      }
      if (!same) {
        if (changed) changed->assign(current[i].owner);
        return false;
      }
      break;
    }
  }
  return true;
}

// A library's layout table; its texts stay the library's, valid while it is loaded.
static std::vector<EntlingLayoutRow> layout_rows(GetEntlingLayoutsFn layouts) {
  int n = layouts(nullptr, 0);
  std::vector<EntlingLayoutRow> rows(size_t(n > 0 ? n : 0));
  if (n > 0 && layouts(rows.data(), n) != n) rows.clear();
  return rows;
}

bool check_entling_swap(void* next, void* current, TempString<512>* why) {
  auto by_name = (GetEntlingFuncByNameFn)get_library_proc(next, "get_entling_func_by_name");
  auto vtables = (GetEntlingVtablesFn)get_library_proc(next, "get_entling_vtables");
  auto sizes = (GetEntlingClassSizesFn)get_library_proc(next, "get_entling_class_sizes");
  if (!by_name || !vtables || !sizes) {
    why->assign("invalid entling.dll");
    return false;
  }
  for (int i = 0; i <= NUM_ENTLING_API; i++) {
    const char* name = i < NUM_ENTLING_API ? entling_api_names[i] : "link_gui";
    if (!by_name(name)) {
      why->format("no \"%s\" function in entling.dll", name);
      return false;
    }
  }
  int count = 0;
  void* const* table = vtables(&count);
  bool same = count == NUM_ENTLING_TYPES && table;
  auto current_sizes = current ? (GetEntlingClassSizesFn)get_library_proc(current, "get_entling_class_sizes") : nullptr;
  if (same && current_sizes) {
    // Every live object was allocated with the running library's sizes: a class that grew or shrank
    // would read or write past its object.
    int n_next = 0, n_current = 0;
    const int* s_next = sizes(&n_next);
    const int* s_current = current_sizes(&n_current);
    same = n_next == n_current && s_next && s_current && memcmp(s_next, s_current, sizeof(int) * size_t(n_next)) == 0;
  }
  if (same) {
    for (int k = 1; k < NUM_ENTLING_TYPES; k++)
      if (entling_vtables[k] && !table[k]) same = false;
  }
  auto current_layouts = current ? (GetEntlingLayoutsFn)get_library_proc(current, "get_entling_layouts") : nullptr;
  if (same && current_layouts) {
    // Not only the object classes: their member types, the screens and elements, anything the
    // sources define may have instances on the program's heap.
    auto next_layouts = (GetEntlingLayoutsFn)get_library_proc(next, "get_entling_layouts");
    std::vector<EntlingLayoutRow> rows_next =
        next_layouts ? layout_rows(next_layouts) : std::vector<EntlingLayoutRow>();
    std::vector<EntlingLayoutRow> rows_current = layout_rows(current_layouts);
    TempString<256> changed;
    same = !rows_next.empty() && entling_layouts_match(rows_current.data(), int(rows_current.size()), rows_next.data(),
                                                       int(rows_next.size()), &changed);
    if (!same) debug("the layout of %s changed", changed.empty() ? "the classes" : changed.c_str());
  }
  if (!same) why->assign("entling classes changed, need restart");
  return same;
}
