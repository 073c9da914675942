// The Squirrel host layer (see sqbind.h), plus the library's allocation hooks: all script memory
// comes from the shared heap.
#include "engine/sqbind.h"
#include <stdio.h>
#include <string.h>
#include "engine/log.h"
#include "engine/misc/utils.h"
#include "engine/sharedHeap.h"

// The library calls these for every allocation; its default versions are left out of our build.
void* sq_vm_malloc(SQUnsignedInteger size) { return dlmalloc(size_t(size)); }
void* sq_vm_realloc(void* p, SQUnsignedInteger, SQUnsignedInteger size) { return dlrealloc(p, size_t(size)); }
void sq_vm_free(void* p, SQUnsignedInteger) { dlfree(p); }

namespace sqbind {

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
    case OT_TABLE: pf(vm, "[%s] TABLE\n", name); break;
    case OT_USERDATA: pf(vm, "[%s] USERDATA\n", name); break;
    case OT_INSTANCE: pf(vm, "[%s] INSTANCE\n", name); break;
    case OT_WEAKREF: pf(vm, "[%s] WEAKREF\n", name); break;
    case OT_GENERATOR: pf(vm, "[%s] GENERATOR\n", name); break;
    case OT_THREAD: pf(vm, "[%s] THREAD\n", name); break;
    case OT_CLASS: pf(vm, "[%s] CLASS\n", name); break;
    case OT_NATIVECLOSURE: pf(vm, "[%s] NATIVECLOSURE\n", name); break;
    case OT_STRING: {
      const SQChar* s = "";
      sq_getstring(vm, -1, &s);
      pf(vm, "[%s] \"%s\"\n", name, s);
      break;
    }
    case OT_ARRAY: pf(vm, "[%s] ARRAY\n", name); break;
    case OT_CLOSURE: pf(vm, "[%s] CLOSURE\n", name); break;
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
    case OT_USERPOINTER: pf(vm, "[%s] USERPOINTER\n", name); break;
    case OT_NULL: pf(vm, "[%s] NULL\n", name); break;
    default: ASSERT(!"unexpected type of a local variable");
  }
}

// Installed as each VM's error handler: the error with its call stack, then the locals.
static SQInteger runtime_error_reporter(HSQUIRRELVM vm) {
  SQPRINTFUNCTION pf = sq_getprintfunc(vm);
  if (!pf) return 0;
  const SQChar* err = nullptr;
  if (sq_gettop(vm) < 2 || sq_gettype(vm, 2) != OT_STRING || SQ_FAILED(sq_getstring(vm, 2, &err)) || !err)
    err = "unknown";
  pf(vm, "\nCALLSTACK\n");
  SQStackInfos si;
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

HSQUIRRELVM open_vm(SQInteger stack_size) {
  HSQUIRRELVM vm = sq_open(stack_size);
  if (!vm) return nullptr;
  sq_setprintfunc(vm, print_func, print_func);
  sq_setcompilererrorhandler(vm, compile_error_reporter);
  sq_newclosure(vm, runtime_error_reporter, 0);
  sq_seterrorhandler(vm);
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

bool compile_file(HSQUIRRELVM vm, const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  bool ok = false;
  char* text = nullptr;
  long size = -1;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  if (size >= 0 && fseek(f, 0, SEEK_SET) == 0) {
    text = (char*)dlmalloc(size_t(size) + 1);
    if (text && fread(text, 1, size_t(size), f) == size_t(size)) {
      text[size] = 0;
      ok = compile_buffer(vm, text, int(size), path);
    }
  }
  if (text) dlfree(text);
  fclose(f);
  return ok;
}

bool run_file(HSQUIRRELVM vm, const char* path) {
  if (!compile_file(vm, path)) return false;
  sq_pushroottable(vm);
  bool ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  sq_poptop(vm);
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
  if (SQ_FAILED(sq_call(vm, arg ? 2 : 1, SQTrue, SQTrue))) {
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
