// SqReloadableVM (see sqVMReload.h) and its native "include".
#include "engine/sqVMReload.h"
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <strings.h>
#include "engine/log.h"
#include "engine/sqbind.h"
#include "engine/sysUtils.h"

static const char* const REGISTRY_KEY = "SqReloadableVM";

// The native "include": finds the calling VM's owner through the registry and includes the file
// there. The script gets no value back.
static void include_native(const char* name) {
  HSQUIRRELVM vm = sqbind::native_caller_vm();
  sq_pushregistrytable(vm);
  sq_pushstring(vm, REGISTRY_KEY, -1);
  if (SQ_FAILED(sq_rawget(vm, -2))) {
    sq_poptop(vm);
    debug("getReg '%s' failed", REGISTRY_KEY);
    throw sqbind::SquirrelError(vm);
  }
  SQUserPointer p = nullptr;
  sq_getuserpointer(vm, -1, &p);
  sq_pop(vm, 2);
  SqReloadableVM* rvm = (SqReloadableVM*)p;
  ASSERT(rvm);
  rvm->include(name);
}

SqReloadableVM::~SqReloadableVM() {
  close();
  files.free();
}

bool SqReloadableVM::init(int stack_size) {
  close();
  vm = sqbind::open_vm(stack_size);
  if (!vm) return false;
  sq_pushregistrytable(vm);
  sq_pushstring(vm, REGISTRY_KEY, -1);
  sq_pushuserpointer(vm, this);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
  return registerFunctions();
}

void SqReloadableVM::close() {
  sqbind::close_vm(vm);
  vm = nullptr;
}

bool SqReloadableVM::registerFunctions() {
  sq_pushroottable(vm);
  sqbind::register_function(vm, -1, "include", &include_native);
  sqstd_register_mathlib(vm);
  sqstd_register_stringlib(vm);
  sq_poptop(vm);
  return true;
}

bool SqReloadableVM::include(const char* name) {
  PathString full = make_full_path(name);
  for (const FileRecord& r : files)
    if (strcasecmp(r.path, full) == 0) return true;
  FileRecord& r = files.push_back();
  snprintf(r.path, sizeof(r.path), "%s", full.c_str());
  r.time = get_file_time(r.path);
  // Copy the path: running the file may include others and move the list.
  PathString path(r.path);
  return sqbind::run_file(vm, path);
}

bool SqReloadableVM::filesChanged() {
  for (const FileRecord& r : files)
    if (get_file_time(r.path) != r.time) return true;
  return false;
}

bool SqReloadableVM::reload(bool force) { return reloadFiles(force); }

bool SqReloadableVM::reloadFiles(bool force) {
  // By index: a reloaded file may include a new one, which is appended (and run) on the way.
  for (int i = 0; i < files.size(); i++) {
    uint64_t t = get_file_time(files[i].path);
    if (!force && t == files[i].time) continue;
    files[i].time = t;
    PathString path(files[i].path);
    if (!sqbind::run_file(vm, path)) return false;
  }
  return true;
}

