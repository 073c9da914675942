// The Squirrel host layer: owning handles of script values, the exception for script failures,
// opening VMs that log through the game's log with call-stack and locals reports, compiling and
// running files, binding native functions (as closures with one free variable: the target's
// address) and classes, handles of script functions to call later, and the time and memory
// budgets that stop a runaway script (an endless loop, runaway recursion, a memory bomb) with an
// error instead of freezing the game.
#pragma once
#include <squirrel.h>
#include <stddef.h>
#include <stdint.h>
#include <tuple>
#include <type_traits>
#include <utility>

namespace sqbind {

// A script failure. The message is a constant text; one built from a VM's last error is copied into
// a buffer of this module that the next such error overwrites (all script work is on one thread).
struct SquirrelError {
  const char* message;
  explicit SquirrelError(const char* text) : message(text ? text : "unknown error") {}
  explicit SquirrelError(HSQUIRRELVM vm);
  const char* what() const { return message; }
};

// An owning handle of a script value and the VM it came from (null for an empty handle).
struct SqObject {
  HSQOBJECT obj;
  HSQUIRRELVM vm = nullptr;

  SqObject() { sq_resetobject(&obj); }
  SqObject(HSQUIRRELVM v, const HSQOBJECT& o) : obj(o), vm(v) {
    if (vm) sq_addref(vm, &obj);
  }
  SqObject(const SqObject& o) : SqObject(o.vm, o.obj) {}
  SqObject& operator=(const SqObject& o) {
    if (this != &o) {
      SqObject copy(o);
      release();
      obj = copy.obj;
      vm = copy.vm;
      copy.vm = nullptr;
    }
    return *this;
  }
  ~SqObject() { release(); }

  // Takes the value at a stack index (the stack is left as it was).
  static SqObject fromStack(HSQUIRRELVM v, SQInteger idx);
  void release();
  bool isNull() const { return obj._type == OT_NULL; }
  SQObjectType type() const { return obj._type; }
};

// ---- VMs, compiling and running

HSQUIRRELVM open_vm(SQInteger stack_size);
void close_vm(HSQUIRRELVM vm);
// Leaves the compiled closure on the stack on success.
bool compile_file(HSQUIRRELVM vm, const char* path);
bool compile_buffer(HSQUIRRELVM vm, const char* text, int length, const char* source_name);
// Compiles and calls the file with the root table as "this"; the closure is popped.
bool run_file(HSQUIRRELVM vm, const char* path);

// ---- budgets
// A run of script code from the host (a file, or a call of a script function) may take this long
// and grow the script memory by this much; past either it is stopped with a script error, and the
// run fails with a message that names the file. Runs started from inside a run (an include) share
// the outer run's budget. A watchdog thread sets the VM's interruption flag when time is up; the
// memory is counted in the allocation hooks.
struct ScriptBudget {
  int milliseconds;
  size_t bytes;
};
extern ScriptBudget file_run_budget;  // start-up and reloads of script files
extern ScriptBudget call_budget;      // calls of script functions by the game (event handlers)
// Bytes of script memory now held by every VM.
size_t script_memory_in_use();

// ---- classes and instances

SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base_name, SQUserPointer type_tag);
bool push_instance(HSQUIRRELVM vm, void* object, SQUserPointer type_tag, const char* class_name,
                   SQRELEASEHOOK release_hook);
bool init_instance(void* object, HSQUIRRELVM vm, SQRELEASEHOOK release_hook);

// ---- typed argument getters (throw SquirrelError "sq_get*() failed (type error)") and pushers

SQInteger get_int(HSQUIRRELVM vm, SQInteger idx);
SQFloat get_float(HSQUIRRELVM vm, SQInteger idx);
const SQChar* get_string(HSQUIRRELVM vm, SQInteger idx);
SQUserPointer get_userpointer(HSQUIRRELVM vm, SQInteger idx);
bool get_bool(HSQUIRRELVM vm, SQInteger idx);  // the library's truth test; never fails

inline void push_int(HSQUIRRELVM vm, SQInteger v) { sq_pushinteger(vm, v); }
inline void push_bool(HSQUIRRELVM vm, bool v) { sq_pushbool(vm, v ? SQTrue : SQFalse); }
inline void push_userpointer(HSQUIRRELVM vm, SQUserPointer p) { sq_pushuserpointer(vm, p); }
inline void push_null(HSQUIRRELVM vm) { sq_pushnull(vm); }
inline void push_object(HSQUIRRELVM vm, const SqObject& o) { sq_pushobject(vm, o.obj); }

// ---- native functions

namespace detail {
// The VM of the native being run (natives may nest: a native can run a script that calls another).
inline HSQUIRRELVM native_vm = nullptr;
struct NativeVmScope {
  HSQUIRRELVM saved;
  explicit NativeVmScope(HSQUIRRELVM vm) : saved(native_vm) { native_vm = vm; }
  ~NativeVmScope() { native_vm = saved; }
};

template <class T>
T get_arg(HSQUIRRELVM vm, SQInteger idx) {
  if constexpr (std::is_same_v<T, bool>) return get_bool(vm, idx);
  else if constexpr (std::is_integral_v<T>) return T(get_int(vm, idx));
  else if constexpr (std::is_floating_point_v<T>) return T(get_float(vm, idx));
  else if constexpr (std::is_same_v<T, const char*>) return get_string(vm, idx);
  else static_assert(std::is_same_v<T, void>, "no script getter for this parameter type");
}

template <class R>
void push_result(HSQUIRRELVM vm, R r) {
  if constexpr (std::is_same_v<R, bool>) push_bool(vm, r);
  else if constexpr (std::is_integral_v<R>) push_int(vm, SQInteger(r));
  else static_assert(std::is_same_v<R, void>, "no script pusher for this result type");
}

template <class R, class... A, size_t... I>
SQInteger call_target(HSQUIRRELVM vm, R (*fn)(A...), std::index_sequence<I...>) {
  // Braced: the arguments are read left to right, from stack index 2 on.
  std::tuple<A...> args{get_arg<A>(vm, SQInteger(2 + I))...};
  if constexpr (std::is_same_v<R, void>) {
    std::apply(fn, args);
    return 0;
  } else {
    R r = std::apply(fn, args);
    push_result<R>(vm, r);
    return 1;
  }
}

// Reads the free variable (the target), then the arguments in parameter order. Script failures
// met in here (a wrong argument type, a target that throws) become script errors with the same
// text: the library's frames are not exception-safe, so nothing may unwind through them.
template <class R, class... A>
SQInteger dispatch(HSQUIRRELVM vm) {
  SQUserPointer target = nullptr;
  if (sq_gettype(vm, -1) != OT_USERPOINTER || SQ_FAILED(sq_getuserpointer(vm, -1, &target)) || !target)
    return sq_throwerror(vm, "no function stored for C++ call");
  sq_poptop(vm);
  NativeVmScope scope(vm);
  const char* failure = nullptr;
  try {
    return call_target(vm, reinterpret_cast<R (*)(A...)>(target), std::index_sequence_for<A...>{});
  } catch (const SquirrelError& e) {
    failure = e.message;
  }
  return sq_throwerror(vm, failure);
}
}  // namespace detail

// The VM that called the native being run (for natives that need their VM), null outside natives.
inline HSQUIRRELVM native_caller_vm() { return detail::native_vm; }

// Registers fn under name in the table at stack index `table` (a negative index counts from the top
// before anything is pushed).
void register_native(HSQUIRRELVM vm, SQInteger table, const char* name, SQFUNCTION dispatcher, void* target);

template <class R, class... A>
void register_function(HSQUIRRELVM vm, SQInteger table, const char* name, R (*fn)(A...)) {
  register_native(vm, table, name, &detail::dispatch<R, A...>, reinterpret_cast<void*>(fn));
}
// The same in the root table.
template <class R, class... A>
void register_global_function(HSQUIRRELVM vm, const char* name, R (*fn)(A...)) {
  sq_pushroottable(vm);
  register_function(vm, -1, name, fn);
  sq_poptop(vm);
}

void register_constant(HSQUIRRELVM vm, const char* name, SQInteger value);

// ---- script function handles

// A function to call later on an object of the script, which it does not keep alive (a weak
// reference): the handle is empty once the object is gone.
struct SqFunc {
  HSQUIRRELVM vm = nullptr;
  SqObject env;  // weak reference to the object the function runs on
  SqObject func;

  void bind(HSQUIRRELVM v, const SqObject& object, const SqObject& function);
  void release();
  bool empty() const;
  // Calls with the object as "this" and returns the integer result; throws SquirrelError when the
  // call fails or the result is not an integer.
  SQInteger call();
  SQInteger call(SQInteger arg);

 private:
  SQInteger invoke(const SQInteger* arg);
};

}  // namespace sqbind

// Logs one script value (a native closure, an instance, anything else by its string form).
void sq_debug_object(const sqbind::SqObject& value);
