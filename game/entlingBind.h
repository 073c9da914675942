// Binding the actor library: the program's function pointers looked up by name, the check that the
// library's classes match, the re-pointing of every live object at the new library's virtual
// tables, and the undoing of what the library's code owns before it is freed.
#pragma once
#include "engine/misc/utils.h"

// The bound library's table of virtual-table pointers by type id (entry 0 and the kinds null).
extern void* entling_vtables[24];

// Binds a loaded library; every mismatch is fatal. The live objects of the 12 lists are re-pointed.
void bind_entling_library(void* module);
// Nulls the pointers and tears down what the library's code owns (screens, queued GUI elements,
// style sheets); objects, sprites and the level stay.
void unbind_entling_library();
// Before a swap: true when the freshly loaded library `next` has every export and name and the same
// classes (count, object sizes and the layout of every class both define) as the bound one
// `current` (null: only the exports, names and count are checked). Otherwise false with the reason
// for the screen in why.
bool check_entling_swap(void* next, void* current, TempString<512>* why);

struct EntlingLayoutRow;
// True when every class of `current` that `next` also has is laid out alike; else false with the
// first such class in *changed (when given).
bool entling_layouts_match(const EntlingLayoutRow* current, int n_current, const EntlingLayoutRow* next, int n_next,
                           TempString<256>* changed);
