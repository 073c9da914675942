// Budgets of script runs: endless loops (also ones that catch the error themselves), runaway
// recursion and memory bombs are stopped with an error naming the file, in a file run directly,
// in an included file and in a script function called by the game; the VM goes on working.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <chrono>
#include <string>
#include "engine/sqVMReload.h"
#include "engine/sqbind.h"
#include "engine/sysUtils.h"
#include "testSupport.h"

namespace {

// Small budgets so that the tests are quick; the defaults come back afterwards.
struct SmallBudgets : testing::Test {
  sqbind::ScriptBudget saved_file = sqbind::file_run_budget, saved_call = sqbind::call_budget;
  std::string dir;
  void SetUp() override {
    sqbind::file_run_budget = {300, size_t(8) << 20};
    sqbind::call_budget = {300, size_t(8) << 20};
    dir = make_temp_folder() + "/";
    mkdir((dir + "sound").c_str(), 0755);
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  }
  void TearDown() override {
    sqbind::file_run_budget = saved_file;
    sqbind::call_budget = saved_call;
    app_path[0] = 0;
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {}
  }
  void write(const char* name, const std::string& text) { write_file_text(dir + name, text); }
};

std::string last_error(HSQUIRRELVM vm) { return sqbind::SquirrelError(vm).message; }

const char* const TIME = "it ran longer than 300 ms";
const char* const MEMORY = "it took more than 8192 KB of memory";

}  // namespace

TEST_F(SmallBudgets, RunawayScriptsAreStoppedWithTheFileNamedAndTheVmGoesOn) {
  struct Case {
    const char* script;
    const char* reason;
  };
  const Case cases[] = {
      {"while (true) {}\n", TIME},
      {"for (local i = 0; ; i++) {}\n", TIME},
      {"do { x <- 1 } while (x)\n", TIME},
      {"local i = 0\nwhile (i >= 0) i = (i + 1) % 7\n", TIME},
      // A script that catches the error does not escape: every further loop or call stops it again,
      // and a run that was stopped fails even when its last catch swallowed the error.
      {"while (true) { try { while (true) {} } catch (e) {} }\n", TIME},
      {"try { while (true) {} } catch (e) { local swallowed = e }\n", TIME},
      {"function f(n) { return f(n + 1) + 1 }\nf(0)\n", nullptr},
      {"function g(n) { try { return g(n + 1) } catch (e) { return g(n + 1) } }\ng(0)\n", nullptr},
      {"local a = []\nwhile (true) a.append([a.len(), \"some text\"])\n", MEMORY},
      {"local s = \"0123456789\"\nwhile (true) s += s\n", MEMORY},
      {"while (true) { local t = {}; t.self <- t; t.pad <- array(100, 1) }\n", MEMORY},
      // One allocation of any size: refused before the library makes it.
      {"local a = array(2000000000, 1)\n", MEMORY},
      {"local a = [1]\na.resize(300000000, 1)\n", MEMORY},
  };
  for (const Case& c : cases) {
    // A memory bomb gets all the time it could want, so that on a slow machine (a sanitizer build
    // under load) it is its memory that stops it, never the clock.
    sqbind::file_run_budget.milliseconds = c.reason == MEMORY ? 60000 : 300;
    write("sound/bad.nut", c.script);
    SqReloadableVM rvm;
    ASSERT_TRUE(rvm.init(1024));
    testing::internal::CaptureStdout();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(rvm.include("sound/bad.nut")) << c.script;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::string log = testing::internal::GetCapturedStdout();
    std::string err = last_error(rvm.vm);
    EXPECT_EQ(err.rfind("script 'sound/bad.nut' was stopped: ", 0), 0u) << c.script << err;
    if (c.reason) {
      EXPECT_NE(err.find(c.reason), std::string::npos) << c.script << err;
    }
    EXPECT_NE(log.find(err), std::string::npos) << c.script;
    EXPECT_LT(seconds, c.reason == MEMORY ? 70.0 : 20.0) << c.script;
    // The same VM runs the next file as usual, with the whole budget again.
    write("sound/good.nut",
          "function slowish() { local n = 0; for (local i = 0; i < 1000; i++) n += i; return n }\n"
          "ok <- slowish()\nlocal a = array(3, 7)\na.resize(5, 1)\n"
          "sizes <- a.len() * 100 + a[0] * 10 + a[4]\n");
    EXPECT_TRUE(rvm.include("sound/good.nut")) << c.script << last_error(rvm.vm);
    sq_pushroottable(rvm.vm);
    sq_pushstring(rvm.vm, "sizes", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(rvm.vm, -2)));
    EXPECT_EQ(sqbind::get_int(rvm.vm, -1), 571);
    sq_pop(rvm.vm, 2);
  }
}

TEST_F(SmallBudgets, StopInAnIncludedFileNamesThatFileAndFailsTheIncluder) {
  write("sound/main.nut", "x <- 1\ninclude(\"sound/lib.nut\")\nafter <- 1\n");
  write("sound/lib.nut", "function spin() { while (true) {} }\nspin()\n");
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(rvm.include("sound/main.nut"));
  testing::internal::GetCapturedStdout();
  std::string err = last_error(rvm.vm);
  EXPECT_EQ(err, std::string("script 'sound/lib.nut' was stopped: ") + TIME);
  sq_pushroottable(rvm.vm);
  sq_pushstring(rvm.vm, "after", -1);
  EXPECT_TRUE(SQ_FAILED(sq_get(rvm.vm, -2)));  // the includer stopped there too
  sq_poptop(rvm.vm);
}

TEST_F(SmallBudgets, ScriptFunctionCalledByTheGameIsStoppedToo) {
  write("h.nut", "handlers <- { spin = function(n) { while (true) {} }, fine = function(n) { return n + 1 } }\n");
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  ASSERT_TRUE(rvm.include("h.nut"));
  HSQUIRRELVM vm = rvm.vm;
  auto handler = [&](const char* name) {
    sq_pushroottable(vm);
    sq_pushstring(vm, "handlers", -1);
    sq_get(vm, -2);
    sqbind::SqObject table = sqbind::SqObject::fromStack(vm, -1);
    sq_pushstring(vm, name, -1);
    sq_get(vm, -2);
    sqbind::SqFunc f;
    f.bind(vm, table, sqbind::SqObject::fromStack(vm, -1));
    sq_pop(vm, 3);
    return f;
  };
  sqbind::SqFunc spin = handler("spin"), fine = handler("fine");
  testing::internal::CaptureStdout();
  std::string message;
  try {
    spin.call(1);
  } catch (const sqbind::SquirrelError& e) {
    message = e.message;
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(message, std::string("script 'h.nut' was stopped: ") + TIME);
  EXPECT_EQ(fine.call(41), 42);
  spin.release();
  fine.release();
}

TEST_F(SmallBudgets, MemoryIsCountedAndGivenBackWhenFreed) {
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  size_t before = sqbind::script_memory_in_use();
  write("m.nut", "big <- array(100000, 1)\n");
  ASSERT_TRUE(rvm.include("m.nut"));
  EXPECT_GT(sqbind::script_memory_in_use(), before + 100000 * 8);
  rvm.close();
  EXPECT_LT(sqbind::script_memory_in_use(), before);  // the whole VM is gone
}
