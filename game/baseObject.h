// BaseObject, the root of every object of the game world, the queue of destroyed objects waiting
// to be freed, the world script VM, and the script save and load hooks of the object-world stream.
// The base's code lives in the program so that a live object keeps a valid base while the actor
// library is swapped; the library builds the base part inline and reaches the rest through the
// program's exports. Every object lives on the shared heap, so either file may delete one.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/cont/weakRef.h"
#include "engine/sharedHeap.h"
#include "engine/sqbind.h"

class InputStream;
class OutputStream;

enum {
  OBJ_DESTROYED = 1,  // destroy() has run
  OBJ_RELINK = 2,     // transient mark of the binder while it re-points objects at new class tables
};

// Layout (fixed: the library's classes and the binder rely on it): vtable pointer, weak-reference
// ring head, script value, flags, serial id.
struct BaseObject : WeakRefTarget {
  sqbind::SqObject script;
  uint32_t flags = 0;
  int32_t serId = 0;

  BaseObject() {}
  BaseObject(const BaseObject&) = delete;
  BaseObject& operator=(const BaseObject&) = delete;

  // Releases the script value and clears every weak reference to the object.
  virtual ~BaseObject();
  // Marks the object destroyed and queues it in deleted_entlings, once; then onDestroy().
  virtual void destroy();
  virtual void onDestroy();
  // Called after the object world was loaded from a stream.
  virtual void onLoaded();
  // Type queries; the library's classes answer with their own ids. Type ids run 0 to 31.
  virtual bool isA(int type_id) const {
    (void)type_id;
    return false;
  }
  virtual const char* className() const { return "BaseObject"; }
  virtual int typeId() const { return 0; }
  // Pushes the object onto a script VM's stack; throws SquirrelError for classes without a binding.
  virtual void push(HSQUIRRELVM vm);

  bool isDestroyed() const { return flags != 0; }

  static void* operator new(size_t bytes) { return dlmalloc(bytes); }
  static void* operator new(size_t, void* at) { return at; }
  static void operator delete(void* p) { dlfree(p); }
};

// Objects whose destroy() ran and that the library's delete_entling has not freed yet.
extern DynArray<BaseObject*> deleted_entlings;

// ---- the world script VM (the scene opens it after binding the library and closes it before
// unloading it)
HSQUIRRELVM get_world_script_vm();
void init_game_script();
void close_game_script();
// A new empty table of the world VM; an empty handle when it cannot be made.
sqbind::SqObject get_savegame_globals();

// ---- script hooks of the object-world stream. Objects carry no script state in this game, so the
// hooks write and read nothing; they stay the one place to add it, in step with the stream.
void save_data(const sqbind::SqObject& value, OutputStream& out);
void save_script_data(sqbind::SqObject& globals, OutputStream& out);
void save_ref(sqbind::SqObject& value, OutputStream& out);
void save_script_refs(OutputStream& out);
void finish_loading_script_data(HSQUIRRELVM vm);
sqbind::SqObject load_data(InputStream& in, HSQUIRRELVM vm);
sqbind::SqObject load_script_data(InputStream& in, HSQUIRRELVM vm);
sqbind::SqObject load_ref(InputStream& in, HSQUIRRELVM vm);
