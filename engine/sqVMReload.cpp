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
// there. The script gets no value back; a file that fails raises its error in the includer.
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
  if (!rvm->include(name)) throw sqbind::SquirrelError(vm);
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

// The time is read before the file: an edit landing while it runs is seen by the next check.
bool SqReloadableVM::runRecord(int index) {
  FileRecord& r = files[index];
  r.time = get_file_time(r.path);
  r.pass = pass_id;
  r.pending = false;
  // Copy the path: running the file may include others and move the list.
  PathString path(r.path);
  return sqbind::run_file(vm, path);
}

bool SqReloadableVM::include(const char* name) {
  PathString full = make_full_path(name);
  for (int i = 0; i < files.size(); i++) {
    FileRecord& r = files[i];
    if (strcasecmp(r.path, full) != 0) continue;
    // Outside a reload, or already run in this one: nothing to do. A file due in this reload
    // runs here, before the rest of its includer, as it did when it was first included.
    if (!in_pass || r.pass == pass_id) return true;
    if (!pass_forced && !r.pending && get_file_time(r.path) == r.time) return true;
    return runRecord(i);
  }
  FileRecord& r = files.push_back();
  snprintf(r.path, sizeof(r.path), "%s", full.c_str());
  r.time = 0;
  r.pending = false;
  return runRecord(files.size() - 1);
}

bool SqReloadableVM::filesChanged() {
  for (const FileRecord& r : files)
    if (get_file_time(r.path) != r.time) return true;
  return false;
}

bool SqReloadableVM::reload(bool force) { return reloadFiles(force); }

bool SqReloadableVM::reloadFiles(bool force) {
  pass_id++;
  in_pass = true;
  pass_forced = force;
  bool ok = true;
  int i = 0;
  // By index: a reloaded file may include a new one, which is appended (and run) on the way.
  for (; i < files.size(); i++) {
    FileRecord& r = files[i];
    if (r.pass == pass_id) continue;
    if (!force && !r.pending && get_file_time(r.path) == r.time) continue;
    if (!runRecord(i)) {
      ok = false;
      break;
    }
  }
  // Changed files that the failure left unrun are marked, and their times taken, so that the
  // failure is not run again every second; they run with the next reload.
  for (; i < files.size(); i++) {
    FileRecord& r = files[i];
    uint64_t t = get_file_time(r.path);
    if (r.pass == pass_id || (t == r.time && !r.pending)) continue;
    r.time = t;
    r.pending = true;
  }
  in_pass = false;
  return ok;
}
