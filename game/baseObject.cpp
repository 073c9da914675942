// BaseObject's out-of-line operations, deleted_entlings, the world script VM and the stream hooks
// (see baseObject.h).
#include "game/baseObject.h"
#include "engine/log.h"
#include "engine/sqVMReload.h"

DynArray<BaseObject*> deleted_entlings;

static SqReloadableVM world_script_vm;

BaseObject::~BaseObject() {
  script.release();
  clearWeakRefs();
}

void BaseObject::destroy() {
  // Once only; a set re-link mark also counts as "not live" here, so a destroy that happens while
  // the binder works does not queue the object.
  if (flags != 0) return;
  flags = OBJ_DESTROYED;
  deleted_entlings.push_back(this);
  onDestroy();
}

void BaseObject::onDestroy() {}
void BaseObject::onLoaded() {}

void BaseObject::push(HSQUIRRELVM) { throw sqbind::SquirrelError("Can't push BaseObject to script"); }

HSQUIRRELVM get_world_script_vm() { return world_script_vm.vm; }

void init_game_script() {
  if (!world_script_vm.init(1024)) fatal("error creating script VM");
}

void close_game_script() { world_script_vm.close(); }

sqbind::SqObject get_savegame_globals() {
  HSQUIRRELVM vm = world_script_vm.vm;
  if (!vm) return sqbind::SqObject();
  SQInteger top = sq_gettop(vm);
  sq_newtable(vm);
  sqbind::SqObject table;
  if (sq_gettype(vm, -1) == OT_TABLE) table = sqbind::SqObject::fromStack(vm, -1);
  sq_settop(vm, top);
  return table;
}

void save_data(const sqbind::SqObject&, OutputStream&) {}
void save_script_data(sqbind::SqObject&, OutputStream&) {}
void save_ref(sqbind::SqObject&, OutputStream&) {}
void save_script_refs(OutputStream&) {}
void finish_loading_script_data(HSQUIRRELVM) {}
sqbind::SqObject load_data(InputStream&, HSQUIRRELVM) { return sqbind::SqObject(); }
sqbind::SqObject load_script_data(InputStream&, HSQUIRRELVM) { return sqbind::SqObject(); }
sqbind::SqObject load_ref(InputStream&, HSQUIRRELVM) { return sqbind::SqObject(); }
