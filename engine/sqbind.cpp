// The Squirrel host layer (see sqbind.h), plus the library's allocation hooks: all script memory
// comes from the shared heap.
// Sections: budgets and allocation hooks; errors and handles; printing and error reports; VMs,
// compiling and running; classes and instances; getters; natives and constants; script function
// handles.
#include "engine/sqbind.h"
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include "engine/log.h"
#include "engine/misc/utils.h"
#include "engine/sharedHeap.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"

namespace sqbind {

// ---- budgets and allocation hooks

ScriptBudget file_run_budget = {5000, size_t(64) << 20};
ScriptBudget call_budget = {500, size_t(16) << 20};

namespace {
enum StopReason { STOP_NONE, STOP_TIME, STOP_MEMORY };

// The VMs' interruption flag (read by the VM on calls and backward jumps, written by the watchdog
// thread and by the allocation hooks), and why it was set.
SQInteger interrupt_flag = 0;
std::atomic<int> stop_reason{STOP_NONE};
// The watchdog's view of the current run: its deadline (steady clock, nanoseconds; 0 = none).
std::atomic<int64_t> run_deadline{0};

// Main thread only.
int run_depth = 0;
size_t script_bytes = 0;
size_t memory_limit = SIZE_MAX;
ScriptBudget current_budget = {0, 0};
bool stop_message_made = false;
char stop_source[260];

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void stop_script(StopReason why) {
  int none = STOP_NONE;
  stop_reason.compare_exchange_strong(none, why);
  __atomic_store_n(&interrupt_flag, SQInteger(1), __ATOMIC_RELAXED);
}

// Wakes often enough to stop a run within a few hundredths of a second of its deadline; it only
// reads two numbers while no script runs.
void watchdog_loop() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    int64_t deadline = run_deadline.load();
    if (deadline && now_ns() > deadline) stop_script(STOP_TIME);
  }
}

void start_watchdog() {
  static std::once_flag once;
  std::call_once(once, [] { std::thread(watchdog_loop).detach(); });
}

void note_growth(size_t before, size_t after) {
  script_bytes += after - before;
  if (script_bytes > memory_limit) stop_script(STOP_MEMORY);
}

// The outermost run arms the budget; runs inside it share it.
struct BudgetScope {
  bool outer;
  explicit BudgetScope(const ScriptBudget& b) : outer(run_depth++ == 0) {
    if (!outer) return;
    start_watchdog();
    current_budget = b;
    stop_message_made = false;
    stop_source[0] = 0;
    stop_reason = STOP_NONE;
    __atomic_store_n(&interrupt_flag, SQInteger(0), __ATOMIC_RELAXED);
    memory_limit = b.bytes >= SIZE_MAX - script_bytes ? SIZE_MAX : script_bytes + b.bytes;
    run_deadline = now_ns() + int64_t(b.milliseconds) * 1000000;
  }
  ~BudgetScope() {
    run_depth--;
    if (!outer) return;
    run_deadline = 0;
    memory_limit = SIZE_MAX;
    __atomic_store_n(&interrupt_flag, SQInteger(0), __ATOMIC_RELAXED);
    stop_reason = STOP_NONE;
  }
  static bool stopped() { return stop_reason.load() != STOP_NONE; }
};

// A file name as the player knows it: relative to the program folder when inside it.
const char* shown_name(const char* path) {
  size_t n = strlen(app_path);
  return n && strncmp(path, app_path, n) == 0 ? path + n : path;
}

// Once per stopped run, the innermost failing run (the one that was running when the budget ran
// out) makes the VM's last error say what happened and where.
void make_stop_message(HSQUIRRELVM vm, const char* path) {
  if (stop_message_made) return;
  stop_message_made = true;
  const char* where = shown_name(stop_source[0] ? stop_source : path);
  char text[600];
  if (stop_reason.load() == STOP_MEMORY)
    snprintf(text, sizeof(text), "script '%s' was stopped: it took more than %zu KB of memory", where,
             current_budget.bytes >> 10);
  else
    snprintf(text, sizeof(text), "script '%s' was stopped: it ran longer than %d ms", where,
             current_budget.milliseconds);
  debug("%s", text);
  sq_throwerror(vm, text);
}
}  // namespace

size_t script_memory_in_use() { return script_bytes; }

}  // namespace sqbind

// The library calls these for every allocation (with the sizes it asked for); its default
// versions are left out of our build.
void* sq_vm_malloc(SQUnsignedInteger size) {
  void* p = dlmalloc(size_t(size));
  if (p) sqbind::note_growth(0, size_t(size));
  return p;
}
void* sq_vm_realloc(void* p, SQUnsignedInteger old_size, SQUnsignedInteger size) {
  void* q = dlrealloc(p, size_t(size));
  if (q || size == 0) sqbind::note_growth(p ? size_t(old_size) : 0, size_t(size));
  return q;
}
void sq_vm_free(void* p, SQUnsignedInteger size) {
  if (p) sqbind::script_bytes -= size_t(size) <= sqbind::script_bytes ? size_t(size) : sqbind::script_bytes;
  dlfree(p);
}

namespace sqbind {

// ---- errors and handles

static char last_error_text[1024];

SquirrelError::SquirrelError(HSQUIRRELVM vm) : message("unknown error") {
  if (!vm) return;
  sq_getlasterror(vm);
  const SQChar* s = nullptr;
  if (sq_gettype(vm, -1) == OT_STRING && SQ_SUCCEEDED(sq_getstring(vm, -1, &s)) && s) {
    snprintf(last_error_text, sizeof(last_error_text), "%s", s);
    message = last_error_text;
  }
  sq_poptop(vm);
}

SqObject SqObject::fromStack(HSQUIRRELVM v, SQInteger idx) {
  HSQOBJECT o;
  sq_resetobject(&o);
  sq_getstackobj(v, idx, &o);
  return SqObject(v, o);
}

void SqObject::release() {
  if (vm) sq_release(vm, &obj);
  vm = nullptr;
  sq_resetobject(&obj);
}

// ---- printing and error reports

static void print_func(HSQUIRRELVM, const SQChar* fmt, ...) {
  va_list a;
  va_start(a, fmt);
  vdebug(fmt, a);
  va_end(a);
  flush_debug_log();
}

// Sources run by their full path are named as they are; others are relative to the program folder.
static const char* source_prefix(const SQChar* source) { return source && source[0] == '/' ? "" : "bin/"; }

static void compile_error_reporter(HSQUIRRELVM vm, const SQChar* desc, const SQChar* source, SQInteger line,
                                   SQInteger column) {
  SQPRINTFUNCTION pf = sq_getprintfunc(vm);
  if (pf)
    pf(vm, "%s%s(%d,%d): error: %s\n", source_prefix(source), source ? source : "unknown", int(line), int(column),
       desc ? desc : "");
}

static void print_local(HSQUIRRELVM vm, SQPRINTFUNCTION pf, const SQChar* name) {
  switch (sq_gettype(vm, -1)) {
    case OT_TABLE:
      pf(vm, "[%s] TABLE\n", name);
      break;
    case OT_USERDATA:
      pf(vm, "[%s] USERDATA\n", name);
      break;
    case OT_INSTANCE:
      pf(vm, "[%s] INSTANCE\n", name);
      break;
    case OT_WEAKREF:
      pf(vm, "[%s] WEAKREF\n", name);
      break;
    case OT_GENERATOR:
      pf(vm, "[%s] GENERATOR\n", name);
      break;
    case OT_THREAD:
      pf(vm, "[%s] THREAD\n", name);
      break;
    case OT_CLASS:
      pf(vm, "[%s] CLASS\n", name);
      break;
    case OT_NATIVECLOSURE:
      pf(vm, "[%s] NATIVECLOSURE\n", name);
      break;
    case OT_STRING: {
      const SQChar* s = "";
      sq_getstring(vm, -1, &s);
      pf(vm, "[%s] \"%s\"\n", name, s);
      break;
    }
    case OT_ARRAY:
      pf(vm, "[%s] ARRAY\n", name);
      break;
    case OT_CLOSURE:
      pf(vm, "[%s] CLOSURE\n", name);
      break;
    case OT_FLOAT: {
      SQFloat f = 0;
      sq_getfloat(vm, -1, &f);
      pf(vm, "[%s] %.14g\n", name, double(f));
      break;
    }
    case OT_INTEGER: {
      SQInteger i = 0;
      sq_getinteger(vm, -1, &i);
      pf(vm, "[%s] %d\n", name, int(i));
      break;
    }
    case OT_BOOL: {
      SQBool b = SQFalse;
      sq_getbool(vm, -1, &b);
      pf(vm, "[%s] %s\n", name, b ? "true" : "false");
      break;
    }
    case OT_USERPOINTER:
      pf(vm, "[%s] USERPOINTER\n", name);
      break;
    case OT_NULL:
      pf(vm, "[%s] NULL\n", name);
      break;
    default:
      ASSERT(!"unexpected type of a local variable");
  }
}

// Installed as each VM's error handler: the error with its call stack, then the locals.
static SQInteger runtime_error_reporter(HSQUIRRELVM vm) {
  SQPRINTFUNCTION pf = sq_getprintfunc(vm);
  if (!pf) return 0;
  const SQChar* err = nullptr;
  if (sq_gettop(vm) < 2 || sq_gettype(vm, 2) != OT_STRING || SQ_FAILED(sq_getstring(vm, 2, &err)) || !err)
    err = "unknown";
  SQStackInfos si;
  // A run stopped by its budget is named by the file it was running.
  if (BudgetScope::stopped() && !stop_source[0] && SQ_SUCCEEDED(sq_stackinfos(vm, 1, &si)) && si.source)
    snprintf(stop_source, sizeof(stop_source), "%s", si.source);
  pf(vm, "\nCALLSTACK\n");
  for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(vm, level, &si)); level++) {
    const SQChar* src = si.source ? si.source : "unknown";
    const SQChar* fn = si.funcname ? si.funcname : "unknown";
    if (level == 1) pf(vm, "%s%s(%d): ERROR: %s (in %s())\n", source_prefix(src), src, int(si.line), err, fn);
    else pf(vm, "%s%s(%d): function %s() (CALLSTACK)\n", source_prefix(src), src, int(si.line), fn);
  }
  pf(vm, "\nLOCALS\n");
  for (SQUnsignedInteger level = 0; level < 20; level++) {
    const SQChar* name;
    for (SQUnsignedInteger seq = 0; (name = sq_getlocal(vm, level, seq)) != nullptr; seq++) {
      print_local(vm, pf, name);
      sq_poptop(vm);
    }
  }
  return 0;
}

// ---- VMs, compiling and running

// The library makes an array of any size in one allocation, which it does not check: a size over
// the budget would take all memory or crash. `array(size, ...)` and `a.resize(size, ...)` are
// wrapped to refuse such a size first; the library's function is the wrapper's free variable.
static SQInteger checked_array_size(HSQUIRRELVM vm) {
  SQInteger top = sq_gettop(vm);  // the arguments (from "this" on), then the free variable
  SQInteger size = 0;
  if (run_depth > 0 && top >= 3 && sq_gettype(vm, 2) == OT_INTEGER && SQ_SUCCEEDED(sq_getinteger(vm, 2, &size)) &&
      size > 0) {
    size_t used = script_bytes, limit = memory_limit;
    size_t room = limit > used ? (limit - used) / sizeof(SQObject) : 0;
    if (size_t(size) > room) {
      stop_script(STOP_MEMORY);
      return sq_throwerror(vm, "array over the memory budget");
    }
  }
  sq_push(vm, top);
  for (SQInteger i = 1; i < top; i++) sq_push(vm, i);
  return SQ_SUCCEEDED(sq_call(vm, top - 1, SQTrue, SQFalse)) ? 1 : SQ_ERROR;
}

static void wrap_array_function(HSQUIRRELVM vm, SQInteger table, const char* name) {
  if (table < 0) table = sq_gettop(vm) + table + 1;
  sq_pushstring(vm, name, -1);
  if (SQ_FAILED(sq_rawget(vm, table))) return;
  sq_pushstring(vm, name, -1);
  sq_push(vm, -2);
  sq_newclosure(vm, checked_array_size, 1);
  sq_setnativeclosurename(vm, -1, name);
  sq_rawset(vm, table);
  sq_poptop(vm);
}

HSQUIRRELVM open_vm(SQInteger stack_size) {
  HSQUIRRELVM vm = sq_open(stack_size);
  if (!vm) return nullptr;
  sq_setprintfunc(vm, print_func, print_func);
  sq_setcompilererrorhandler(vm, compile_error_reporter);
  sq_newclosure(vm, runtime_error_reporter, 0);
  sq_seterrorhandler(vm);
  sq_setinterruptflag(vm, &interrupt_flag);
  sq_pushroottable(vm);
  wrap_array_function(vm, -1, "array");
  sq_poptop(vm);
  if (SQ_SUCCEEDED(sq_getdefaultdelegate(vm, OT_ARRAY))) {
    wrap_array_function(vm, -1, "resize");
    sq_poptop(vm);
  }
  return vm;
}

void close_vm(HSQUIRRELVM vm) {
  if (!vm) return;
  sq_collectgarbage(vm);
  sq_close(vm);
}

bool compile_buffer(HSQUIRRELVM vm, const char* text, int length, const char* source_name) {
  return SQ_SUCCEEDED(sq_compilebuffer(vm, text, length, source_name, SQTrue));
}

// A file that cannot be read becomes the VM's last error, with the file and the reason, and a log
// line: otherwise the caller would show whatever error came before.
static bool file_failure(HSQUIRRELVM vm, const char* what, const char* path, int err) {
  char text[600];
  snprintf(text, sizeof(text), "can't %s '%s': %s", what, shown_name(path), file_error_text(err));
  debug("%s", text);
  sq_throwerror(vm, text);
  return false;
}

bool compile_file(HSQUIRRELVM vm, const char* path) {
  // Without blocking: a FIFO of that name must not hang the game; only regular files are read.
  int err = 0;
  FILE* f = open_regular_file(path, &err);
  if (!f) return file_failure(vm, err == PLAT_NOT_REGULAR_FILE ? "read" : "open", path, err);
  bool ok = false;
  long size = -1;
  char* text = nullptr;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  if (size < 0 || fseek(f, 0, SEEK_SET) != 0) {
    err = errno ? errno : EIO;
  } else if (size >= (1L << 30)) {
    err = EFBIG;
  } else if (!(text = (char*)dlmalloc(size_t(size) + 1))) {
    err = ENOMEM;
  } else if (fread(text, 1, size_t(size), f) != size_t(size)) {
    err = ferror(f) && errno ? errno : EIO;
  } else {
    text[size] = 0;
    ok = compile_buffer(vm, text, int(size), path);
  }
  if (text) dlfree(text);
  fclose(f);
  if (err) return file_failure(vm, "read", path, err);
  return ok;
}

bool run_file(HSQUIRRELVM vm, const char* path) {
  BudgetScope budget(file_run_budget);
  if (!compile_file(vm, path)) return false;
  sq_pushroottable(vm);
  bool ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  sq_poptop(vm);
  // A stopped run fails even when the script caught the error itself.
  if (BudgetScope::stopped()) {
    make_stop_message(vm, path);
    if (budget.outer) sq_collectgarbage(vm);
    return false;
  }
  return ok;
}

// ---- classes and instances

SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base_name, SQUserPointer type_tag) {
  SQInteger top = sq_gettop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, name, -1);
  if (SQ_SUCCEEDED(sq_rawget(vm, -2))) {
    // Already bound: hand back the existing class.
    SqObject existing = SqObject::fromStack(vm, -1);
    sq_settop(vm, top);
    return existing;
  }
  sq_pushstring(vm, name, -1);
  if (base_name) {
    sq_pushstring(vm, base_name, -1);
    if (SQ_FAILED(sq_rawget(vm, -3)) || sq_gettype(vm, -1) != OT_CLASS)
      fatal("no base class '%s' bound for '%s'", base_name, name);
  }
  if (SQ_FAILED(sq_newclass(vm, base_name ? SQTrue : SQFalse))) fatal("can't create class '%s'", name);
  if (SQ_FAILED(sq_settypetag(vm, -1, type_tag))) fatal("can't set type tag for class '%s'", name);
  SqObject cls = SqObject::fromStack(vm, -1);
  if (SQ_FAILED(sq_newslot(vm, -3, SQFalse))) fatal("can't register class '%s' in root table", name);
  sq_pushregistrytable(vm);
  sq_pushuserpointer(vm, type_tag);
  push_object(vm, cls);
  if (SQ_FAILED(sq_newslot(vm, -3, SQFalse))) fatal("can't register class '%s' in registry table", name);
  sq_settop(vm, top);
  return cls;
}

bool push_instance(HSQUIRRELVM vm, void* object, SQUserPointer type_tag, const char* class_name,
                   SQRELEASEHOOK release_hook) {
  if (!object) {
    sq_pushnull(vm);
    return true;
  }
  SQInteger top = sq_gettop(vm);
  const char* failure = nullptr;
  sq_pushregistrytable(vm);
  sq_pushuserpointer(vm, type_tag);
  if (SQ_FAILED(sq_rawget(vm, -2))) failure = "can't get script class";
  else if (SQ_FAILED(sq_createinstance(vm, -1))) failure = "can't create script instance";
  else if (SQ_FAILED(sq_setinstanceup(vm, -1, object))) failure = "can't set instance user pointer";
  if (failure) {
    sq_settop(vm, top);
    debug("failed to create %s", class_name);
    throw SquirrelError(failure);
  }
  if (release_hook) sq_setreleasehook(vm, -1, release_hook);
  // Keep only the instance: drop the registry table and the class below it.
  sq_remove(vm, -2);
  sq_remove(vm, -2);
  return true;
}

bool init_instance(void* object, HSQUIRRELVM vm, SQRELEASEHOOK release_hook) {
  if (SQ_FAILED(sq_setinstanceup(vm, 1, object))) {
    sq_poptop(vm);
    debug("failed to init scripted object %p", object);
    throw SquirrelError("can't set scripted instance user pointer");
  }
  if (release_hook) sq_setreleasehook(vm, 1, release_hook);
  return true;
}

// ---- getters

static const char* const TYPE_ERROR = "sq_get*() failed (type error)";

SQInteger get_int(HSQUIRRELVM vm, SQInteger idx) {
  SQInteger v = 0;
  if (SQ_FAILED(sq_getinteger(vm, idx, &v))) throw SquirrelError(TYPE_ERROR);
  return v;
}

SQFloat get_float(HSQUIRRELVM vm, SQInteger idx) {
  SQFloat v = 0;
  if (SQ_FAILED(sq_getfloat(vm, idx, &v))) throw SquirrelError(TYPE_ERROR);
  return v;
}

const SQChar* get_string(HSQUIRRELVM vm, SQInteger idx) {
  const SQChar* v = nullptr;
  if (SQ_FAILED(sq_getstring(vm, idx, &v))) throw SquirrelError(TYPE_ERROR);
  return v;
}

SQUserPointer get_userpointer(HSQUIRRELVM vm, SQInteger idx) {
  SQUserPointer v = nullptr;
  if (SQ_FAILED(sq_getuserpointer(vm, idx, &v))) throw SquirrelError(TYPE_ERROR);
  return v;
}

bool get_bool(HSQUIRRELVM vm, SQInteger idx) {
  SQBool b = SQFalse;
  sq_tobool(vm, idx, &b);
  return b != SQFalse;
}

// ---- natives and constants

void register_native(HSQUIRRELVM vm, SQInteger table, const char* name, SQFUNCTION dispatcher, void* target) {
  if (table < 0) table = sq_gettop(vm) + table + 1;
  sq_pushstring(vm, name, -1);
  sq_pushuserpointer(vm, target);
  sq_newclosure(vm, dispatcher, 1);
  sq_setnativeclosurename(vm, -1, name);
  sq_newslot(vm, table, SQFalse);
}

void register_constant(HSQUIRRELVM vm, const char* name, SQInteger value) {
  sq_pushconsttable(vm);
  sq_pushstring(vm, name, -1);
  sq_pushinteger(vm, value);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
}

// ---- script function handles

void SqFunc::bind(HSQUIRRELVM v, const SqObject& object, const SqObject& function) {
  release();
  if (!v || object.isNull() || function.isNull()) return;
  vm = v;
  push_object(v, object);
  sq_weakref(v, -1);
  env = SqObject::fromStack(v, -1);
  sq_pop(v, 2);
  func = function;
}

void SqFunc::release() {
  env.release();
  func.release();
  vm = nullptr;
}

bool SqFunc::empty() const {
  if (!vm || func.isNull() || env.isNull()) return true;
  if (env.type() != OT_WEAKREF) return false;
  SQInteger top = sq_gettop(vm);
  push_object(vm, env);
  bool gone = SQ_FAILED(sq_getweakrefval(vm, -1)) || sq_gettype(vm, -1) == OT_NULL;
  sq_settop(vm, top);
  return gone;
}

SQInteger SqFunc::invoke(const SQInteger* arg) {
  if (!vm) throw SquirrelError("SqFunc: can't deref weakptr to object");
  SQInteger top = sq_gettop(vm);
  push_object(vm, func);
  push_object(vm, env);
  if (env.type() == OT_WEAKREF) {
    if (SQ_FAILED(sq_getweakrefval(vm, -1)) || sq_gettype(vm, -1) == OT_NULL) {
      sq_settop(vm, top);
      throw SquirrelError("SqFunc: can't deref weakptr to object");
    }
    sq_remove(vm, -2);
  }
  if (arg) sq_pushinteger(vm, *arg);
  BudgetScope budget(call_budget);
  bool ok = SQ_SUCCEEDED(sq_call(vm, arg ? 2 : 1, SQTrue, SQTrue));
  if (BudgetScope::stopped()) {
    sq_settop(vm, top);
    make_stop_message(vm, "unknown");  // the error report named the file it was running
    throw SquirrelError(vm);
  }
  if (!ok) {
    sq_settop(vm, top);
    throw SquirrelError("SqFunc<> call failed");
  }
  SQInteger result = 0;
  bool is_int = SQ_SUCCEEDED(sq_getinteger(vm, -1, &result));
  sq_settop(vm, top);
  if (!is_int) throw SquirrelError(TYPE_ERROR);
  return result;
}

SQInteger SqFunc::call() { return invoke(nullptr); }
SQInteger SqFunc::call(SQInteger arg) { return invoke(&arg); }

}  // namespace sqbind

void sq_debug_object(const sqbind::SqObject& value) {
  HSQUIRRELVM vm = value.vm;
  if (!vm) {
    debug("%s", "null");
    return;
  }
  SQInteger top = sq_gettop(vm);
  sqbind::push_object(vm, value);
  if (value.type() == OT_NATIVECLOSURE) {
    // Our natives carry their target's address as their one free variable.
    SQUserPointer fn = nullptr;
    if (sq_getfreevariable(vm, -1, 0) && sq_gettype(vm, -1) == OT_USERPOINTER) sq_getuserpointer(vm, -1, &fn);
    debug("(native func %p)", fn);
  } else if (value.type() == OT_INSTANCE) {
    SQUserPointer up = nullptr;
    sq_getinstanceup(vm, -1, &up, nullptr);
    debug("(instance UP=%p hook=%p)", up, (void*)sq_getreleasehook(vm, -1));
  } else {
    const SQChar* s = "";
    if (SQ_SUCCEEDED(sq_tostring(vm, -1))) sq_getstring(vm, -1, &s);
    debug("%s", s);
  }
  sq_settop(vm, top);
}
