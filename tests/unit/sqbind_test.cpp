// The Squirrel host: error reports in the log, natives (argument types, failures that must become
// script errors), constants, classes and instances, and script function handles.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "engine/sqbind.h"

using namespace sqbind;

namespace {

struct Vm {
  HSQUIRRELVM vm = open_vm(1024);
  ~Vm() { close_vm(vm); }
  // Compiles and runs text with the root table as "this"; true when it ran.
  bool run(const char* text, const char* name = "test.nut") {
    if (!compile_buffer(vm, text, int(strlen(text)), name)) return false;
    sq_pushroottable(vm);
    bool ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
    sq_poptop(vm);
    return ok;
  }
  SQInteger global_int(const char* name) {
    sq_pushroottable(vm);
    sq_pushstring(vm, name, -1);
    SQInteger v = -12345;
    if (SQ_SUCCEEDED(sq_get(vm, -2))) {
      sq_getinteger(vm, -1, &v);
      sq_poptop(vm);
    }
    sq_poptop(vm);
    return v;
  }
};

int last_sum = 0;
int add3(int a, int b, int c) { return last_sum = a * 100 + b * 10 + c; }
bool scaled(int a, float f) { return float(a) * f > 1.0f; }
std::string last_name;  // copied: the script owns the text only during the call
int name_len(const char* s, int, int) {
  last_name = s;
  return int(strlen(s));
}
void throws_error(const char*) { throw SquirrelError("target refused"); }

}  // namespace

TEST(ScriptHost, CompileErrorPrintsSourceLineAndColumn) {
  Vm v;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(v.run("local a = 1\nlocal b = = 2\n", "sound/broken.nut"));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("bin/sound/broken.nut(2,12): error: "), std::string::npos) << out;
}

TEST(ScriptHost, RuntimeErrorPrintsCallStackThenLocals) {
  Vm v;
  const char* text =
      "function inner(x) {\n"
      "  local word = \"hello\"\n"
      "  local f = 2.5\n"
      "  local t = {}\n"
      "  local flag = true\n"
      "  local nothing = null\n"
      "  return x.missing\n"
      "}\n"
      "function outer() {\n"
      "  local arr = [1]\n"
      "  local r = inner(7)\n"
      "  return r\n"
      "}\n"
      "outer()\n";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(v.run(text, "rt.nut"));
  std::string out = testing::internal::GetCapturedStdout();
  size_t cs = out.find("\nCALLSTACK\n");
  size_t lo = out.find("\nLOCALS\n");
  ASSERT_NE(cs, std::string::npos) << out;
  ASSERT_NE(lo, std::string::npos) << out;
  EXPECT_LT(cs, lo);
  std::string stack = out.substr(cs, lo - cs), locals = out.substr(lo);
  EXPECT_NE(stack.find("bin/rt.nut(7): ERROR: "), std::string::npos) << stack;
  EXPECT_NE(stack.find("(in inner())\n"), std::string::npos) << stack;
  EXPECT_NE(stack.find("bin/rt.nut(11): function outer() (CALLSTACK)\n"), std::string::npos) << stack;
  EXPECT_NE(stack.find("bin/rt.nut(14): function main() (CALLSTACK)\n"), std::string::npos) << stack;
  for (const char* line : {"[x] 7\n", "[word] \"hello\"\n", "[f] 2.5\n", "[t] TABLE\n", "[flag] true\n",
                           "[nothing] NULL\n", "[arr] ARRAY\n", "[this] TABLE\n"})
    EXPECT_NE(locals.find(line), std::string::npos) << line << " in\n" << locals;
}

TEST(ScriptHost, AbsoluteSourcePathsAreReportedAsTheyAre) {
  // Files run by their full path keep it: no program-folder prefix in front of a "/".
  Vm v;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(v.run("local b = = 2\n", "/opt/game/sound/sound.nut"));
  EXPECT_FALSE(v.run("function f() { return null.x }\nf()\n", "/opt/game/rt.nut"));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("/opt/game/sound/sound.nut(1,11): error: "), 0u) << out;
  EXPECT_NE(out.find("\n/opt/game/rt.nut(1): ERROR: "), std::string::npos) << out;
  EXPECT_NE(out.find("\n/opt/game/rt.nut(2): function main() (CALLSTACK)"), std::string::npos) << out;
  EXPECT_EQ(out.find("bin//"), std::string::npos) << out;
}

TEST(ScriptHost, NativesReadTypedArgumentsInOrder) {
  Vm v;
  register_global_function(v.vm, "add3", &add3);
  register_global_function(v.vm, "scaled", &scaled);
  register_global_function(v.vm, "name_len", &name_len);
  register_constant(v.vm, "SEVEN", 7);
  ASSERT_TRUE(
      v.run("r1 <- add3(1, 2, SEVEN)\n"
            "r2 <- scaled(3, 0.5) ? 1 : 0\n"
            "r3 <- scaled(1, 0.5) ? 1 : 0\n"
            "r4 <- name_len(\"abcd\", 0, 0)\n"
            "r5 <- typeof add3\n"));
  EXPECT_EQ(v.global_int("r1"), 127);
  EXPECT_EQ(v.global_int("r2"), 1);
  EXPECT_EQ(v.global_int("r3"), 0);
  EXPECT_EQ(v.global_int("r4"), 4);
  EXPECT_EQ(last_name, "abcd");
  // Bound as a native closure carrying one free variable.
  sq_pushroottable(v.vm);
  sq_pushstring(v.vm, "add3", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v.vm, -2)));
  EXPECT_EQ(sq_gettype(v.vm, -1), OT_NATIVECLOSURE);
  SQUnsignedInteger nparams = 0, nfree = 0;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v.vm, -1, &nparams, &nfree)));
  EXPECT_EQ(nfree, 1u);
  sq_pop(v.vm, 2);
}

TEST(ScriptHost, WrongArgumentTypeBecomesAScriptErrorWithTheGetterText) {
  // Each case must fail inside the script (caught by try/catch there), never as a C++ exception.
  struct Case {
    const char* call;
  };
  const Case cases[] = {
      {"add3(\"one\", 2, 3)"}, {"add3(1, null, 3)"}, {"scaled(1, \"x\")"}, {"name_len(5, 0, 0)"}, {"add3(1, 2)"}};
  for (const Case& c : cases) {
    Vm v;
    register_global_function(v.vm, "add3", &add3);
    register_global_function(v.vm, "scaled", &scaled);
    register_global_function(v.vm, "name_len", &name_len);
    std::string text = std::string("msg <- \"\"\ntry { ") + c.call + " } catch (e) { msg = e }\n";
    ASSERT_TRUE(v.run(text.c_str())) << c.call;
    sq_pushroottable(v.vm);
    sq_pushstring(v.vm, "msg", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v.vm, -2)));
    const SQChar* msg = "";
    sq_getstring(v.vm, -1, &msg);
    EXPECT_STREQ(msg, "sq_get*() failed (type error)") << c.call;
    sq_pop(v.vm, 2);
  }
}

TEST(ScriptHost, UncaughtNativeFailureFailsTheRunAndKeepsTheText) {
  Vm v;
  register_global_function(v.vm, "refuse", &throws_error);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(v.run("refuse(\"x\")\n", "n.nut"));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("bin/n.nut(1): ERROR: target refused (in main())"), std::string::npos) << out;
  EXPECT_STREQ(SquirrelError(v.vm).message, "target refused");
  // The stack is usable afterwards.
  EXPECT_TRUE(v.run("ok <- 1\n"));
}

TEST(ScriptHost, NativeWithoutStoredFunctionFails) {
  Vm v;
  sq_pushroottable(v.vm);
  register_native(v.vm, -1, "broken", &detail::dispatch<int>, nullptr);
  sq_poptop(v.vm);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(v.run("broken()\n"));
  testing::internal::GetCapturedStdout();
  EXPECT_STREQ(SquirrelError(v.vm).message, "no function stored for C++ call");
}

TEST(ScriptHost, GettersThrowOnOtherTypesAndBoolNeverFails) {
  Vm v;
  sq_pushinteger(v.vm, 3);
  sq_pushstring(v.vm, "s", -1);
  sq_pushnull(v.vm);
  EXPECT_EQ(get_int(v.vm, 1), 3);
  EXPECT_FLOAT_EQ(get_float(v.vm, 1), 3.0f);
  EXPECT_STREQ(get_string(v.vm, 2), "s");
  EXPECT_THROW(get_int(v.vm, 2), SquirrelError);
  EXPECT_THROW(get_string(v.vm, 1), SquirrelError);
  EXPECT_THROW(get_userpointer(v.vm, 1), SquirrelError);
  EXPECT_TRUE(get_bool(v.vm, 2));
  EXPECT_FALSE(get_bool(v.vm, 3));
  try {
    get_float(v.vm, 3);
    FAIL();
  } catch (const SquirrelError& e) {
    EXPECT_STREQ(e.message, "sq_get*() failed (type error)");
  }
  sq_pop(v.vm, 3);
}

TEST(ScriptHost, FunctionHandleCallsOnItsObjectAndEmptiesWhenTheObjectGoes) {
  Vm v;
  ASSERT_TRUE(
      v.run("obj <- { start = 40, f = function() { return start + 2 }, s = function() { return \"no\" } }\n"
            "function twice(n) { return n * 2 }\n"));
  auto member = [&](const char* table, const char* name) {
    sq_pushroottable(v.vm);
    if (table) {
      sq_pushstring(v.vm, table, -1);
      sq_get(v.vm, -2);
    }
    sq_pushstring(v.vm, name, -1);
    sq_get(v.vm, -2);
    SqObject o = SqObject::fromStack(v.vm, -1);
    sq_settop(v.vm, 0);
    return o;
  };
  SqObject obj = member(nullptr, "obj");
  SqFunc f, s, twice;
  f.bind(v.vm, obj, member("obj", "f"));
  s.bind(v.vm, obj, member("obj", "s"));
  sq_pushroottable(v.vm);
  SqObject root = SqObject::fromStack(v.vm, -1);
  sq_settop(v.vm, 0);
  twice.bind(v.vm, root, member(nullptr, "twice"));
  EXPECT_FALSE(f.empty());
  EXPECT_EQ(f.call(), 42);
  EXPECT_EQ(twice.call(21), 42);
  try {
    s.call();
    FAIL();
  } catch (const SquirrelError& e) {
    EXPECT_STREQ(e.message, "sq_get*() failed (type error)");
  }
  EXPECT_EQ(sq_gettop(v.vm), 0);
  // The handle does not keep the object alive.
  obj.release();
  ASSERT_TRUE(v.run("delete obj\n"));
  sq_collectgarbage(v.vm);
  EXPECT_TRUE(f.empty());
  EXPECT_THROW(f.call(), SquirrelError);
  SqFunc none;
  EXPECT_TRUE(none.empty());
  f.release();
  s.release();
  twice.release();
  root.release();
}

TEST(ScriptHost, ClassesAreRegisteredOnceAndInstancesCarryTheirObject) {
  Vm v;
  static int tag_a, tag_b;
  SqObject a = create_class(v.vm, "Base", nullptr, &tag_a);
  SqObject b = create_class(v.vm, "Derived", "Base", &tag_b);
  SqObject again = create_class(v.vm, "Base", nullptr, &tag_a);
  EXPECT_EQ(a.type(), OT_CLASS);
  EXPECT_EQ(b.type(), OT_CLASS);
  EXPECT_EQ(again.obj._unVal.pClass, a.obj._unVal.pClass);
  int payload = 5;
  ASSERT_TRUE(push_instance(v.vm, &payload, &tag_b, "Derived", nullptr));
  SQUserPointer up = nullptr;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v.vm, -1, &up, nullptr)));
  EXPECT_EQ(up, &payload);
  sq_pushroottable(v.vm);
  sq_pushstring(v.vm, "Base", -1);
  sq_get(v.vm, -2);
  sq_remove(v.vm, -2);
  EXPECT_TRUE(sq_instanceof(v.vm));
  sq_settop(v.vm, 0);
  ASSERT_TRUE(push_instance(v.vm, nullptr, &tag_b, "Derived", nullptr));
  EXPECT_EQ(sq_gettype(v.vm, -1), OT_NULL);
  sq_settop(v.vm, 0);
  static int unknown_tag;
  testing::internal::CaptureStdout();
  EXPECT_THROW(push_instance(v.vm, &payload, &unknown_tag, "Nothing", nullptr), SquirrelError);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("failed to create Nothing"), std::string::npos);
  EXPECT_EQ(sq_gettop(v.vm), 0);
  a.release();
  b.release();
  again.release();
}

TEST(ScriptHostDeath, MissingBaseClassIsFatal) {
  EXPECT_EXIT(
      {
        Vm v;
        static int tag;
        create_class(v.vm, "Orphan", "NoSuchBase", &tag);
      },
      testing::ExitedWithCode(100), "no base class 'NoSuchBase' bound for 'Orphan'");
}
