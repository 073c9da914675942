// The program's side of the calls into the actor library: one function pointer per by-name function,
// named like it (entling_api), generated from the list in entlingApiList.h. Binding the library
// fills them; they are null while no library is bound. Tests install recording functions here.
// Also the types of the library's three exported lookups, which the binder finds by name.
#pragma once
#include <stdint.h>
#include "engine/misc/vecMath.h"

struct BaseObject;
struct Entling;
struct BaseEnemy;
struct Bullet;
struct LevelCell;
struct LevelGrid;
struct BaseGuiScreen;
struct GuiElement;
class InputStream;
class OutputStream;

#define ENTLING_API(ret, name, params) extern ret(*name) params;
#include "game/entlingApiList.h"
#undef ENTLING_API

// How many there are, counted from the list itself, so adding a function to the list is the whole change.
enum {
  NUM_ENTLING_API = 0
#define ENTLING_API(ret, name, params) +1
#include "game/entlingApiList.h"
#undef ENTLING_API
};

// The names in binding order (entry i names entling_api_slot(i)).
extern const char* const entling_api_names[NUM_ENTLING_API];
// The address of each pointer of entling_api, in binding order, so the binder can fill and clear
// them in one loop.
void** entling_api_slot(int i);
// Nulls every pointer.
void clear_entling_api();

// The library's exports (extern "C", looked up by these names):
// "get_entling_func_by_name": the address of a by-name function, null for an unknown name.
typedef void* (*GetEntlingFuncByNameFn)(const char* name);
// "get_entling_vtables": the class table (vtables by type id) and its length, 24.
typedef void* const* (*GetEntlingVtablesFn)(int* count);
// "get_entling_class_sizes": each class's object size in bytes by type id (0 where no class) and
// the count, 24; a library whose sizes differ from the running one's cannot take over live objects.
typedef const int* (*GetEntlingClassSizesFn)(int* count);
// "link_gui", looked up by get_entling_func_by_name after every bind and called once.
typedef void (*LinkGuiFn)();
