// SqReloadableVM: files included once by absolute path in any letter case, changed files run again
// in first-include order (edits within one second included), failing files kept as records and
// retried only after they change, failures of included files failing their includer, and every
// file run at most once per reload.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <string>
#include "engine/sqVMReload.h"
#include "engine/sqbind.h"
#include "engine/sysUtils.h"

namespace {

struct ScriptDir {
  std::string dir;
  ScriptDir() {
    char tmpl[] = "/tmp/ascenda_script_XXXXXX";
    dir = mkdtemp(tmpl);
    dir += "/";
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  }
  ~ScriptDir() {
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {}
    app_path[0] = 0;
  }
  // Writes a file and gives it a modification time of its own (seconds and nanoseconds), so that
  // the tests do not depend on the clock's resolution.
  void write(const char* name, const std::string& text, time_t mtime, long nsec = 0) {
    std::string path = dir + name;
    size_t slash = path.rfind('/');
    mkdir(path.substr(0, slash).c_str(), 0755);
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    struct timespec t[2] = {{mtime, nsec}, {mtime, nsec}};
    utimensat(AT_FDCWD, path.c_str(), t, 0);
  }
};

// Every file appends its name to the root array `ran` so the tests see what ran and in which order.
std::string ran(SqReloadableVM& rvm) {
  HSQUIRRELVM vm = rvm.vm;
  std::string out;
  sq_pushroottable(vm);
  sq_pushstring(vm, "ran", -1);
  if (SQ_SUCCEEDED(sq_get(vm, -2))) {
    SQInteger n = sq_getsize(vm, -1);
    for (SQInteger i = 0; i < n; i++) {
      sq_pushinteger(vm, i);
      sq_get(vm, -2);
      const SQChar* s = "";
      sq_getstring(vm, -1, &s);
      out += s;
      out += " ";
      sq_poptop(vm);
    }
    sq_poptop(vm);
  }
  sq_poptop(vm);
  return out;
}

std::string script(const char* name, const char* extra = "") {
  return std::string("if (!(\"ran\" in getroottable())) ::ran <- []\n::ran.append(\"") + name + "\")\n" + extra;
}

}  // namespace

TEST(ScriptReload, IncludeRunsEachAbsolutePathOnceInAnySpellingOrCase) {
  ScriptDir d;
  d.write("main.nut",
          script("main",
                 "include(\"sub/lib.nut\")\ninclude(\"SUB/LIB.NUT\")\n"
                 "include(\"sub/../sub/lib.nut\")\n"),
          1000);
  d.write("sub/lib.nut", script("lib"), 1000);
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  EXPECT_TRUE(rvm.include("main.nut"));
  EXPECT_TRUE(rvm.include((d.dir + "MAIN.nut").c_str()));
  EXPECT_EQ(ran(rvm), "main lib ");
  EXPECT_EQ(rvm.files.size(), 2);
  EXPECT_FALSE(rvm.filesChanged());
  rvm.close();
  EXPECT_EQ(rvm.vm, nullptr);
}

TEST(ScriptReload, ChangedFilesRunAgainInFirstIncludeOrderKeepingOldState) {
  ScriptDir d;
  d.write("a.nut", script("a", "include(\"b.nut\")\nkeep <- 1\n"), 1000);
  d.write("b.nut", script("b", "value <- 1\nold_only <- 9\n"), 1000);
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  ASSERT_TRUE(rvm.include("a.nut"));
  EXPECT_TRUE(rvm.reload(false));  // nothing changed: nothing runs
  EXPECT_EQ(ran(rvm), "a b ");

  d.write("b.nut", script("b", "value <- 2\n"), 2000);
  EXPECT_TRUE(rvm.filesChanged());
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_EQ(ran(rvm), "a b b ");
  EXPECT_FALSE(rvm.filesChanged());
  // Nothing is reset before a run: what the new code no longer sets keeps its value.
  sq_pushroottable(rvm.vm);
  sq_pushstring(rvm.vm, "old_only", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(rvm.vm, -2)));
  EXPECT_EQ(sqbind::get_int(rvm.vm, -1), 9);
  sq_pushstring(rvm.vm, "value", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(rvm.vm, -3)));
  EXPECT_EQ(sqbind::get_int(rvm.vm, -1), 2);
  sq_pop(rvm.vm, 3);

  // Forced: every file in the order first included; include inside a reloaded file runs nothing.
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(ran(rvm), "a b b a b ");
}

std::string last_error(SqReloadableVM& rvm) { return sqbind::SquirrelError(rvm.vm).message; }

TEST(ScriptReload, FailingIncludeFailsTheIncluderWithItsErrorAndStaysARecord) {
  struct Case {
    const char* lib;
    const char* error;
  };
  const Case cases[] = {
      {"this is not squirrel (\n", nullptr},  // the compiler's own text
      {"local x = no_such_thing + 1\n", "no_such_thing"},
      {nullptr, "can't open 'sub/lib.nut': No such file or directory"},
  };
  for (const Case& c : cases) {
    ScriptDir d;
    d.write("main.nut", script("main", "include(\"sub/lib.nut\")\ninclude(\"after.nut\")\n"), 1000);
    if (c.lib) d.write("sub/lib.nut", c.lib, 1000);
    d.write("after.nut", script("after"), 1000);
    SqReloadableVM rvm;
    ASSERT_TRUE(rvm.init(1024));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(rvm.include("main.nut"));
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = last_error(rvm);
    if (c.error) {
      EXPECT_NE(err.find(c.error), std::string::npos) << err;
    } else {
      EXPECT_NE(out.find("sub/lib.nut(1,"), std::string::npos) << out;
      EXPECT_NE(out.find(err), std::string::npos) << err << out;
    }
    EXPECT_NE(err, "unknown error");
    EXPECT_EQ(ran(rvm), "main ");  // main stopped at the include
    ASSERT_EQ(rvm.files.size(), 2);
    EXPECT_FALSE(rvm.filesChanged());

    // Once the file is there and right, the next (forced) reload runs everything once, in order.
    d.write("sub/lib.nut", script("lib"), 1000, 5);
    EXPECT_TRUE(rvm.filesChanged());
    EXPECT_TRUE(rvm.reload(true)) << last_error(rvm);
    EXPECT_EQ(ran(rvm), "main main lib after ");
    EXPECT_EQ(rvm.files.size(), 3);
  }
}

TEST(ScriptReload, FileThatCannotBeReadNamesItselfAndTheReason) {
  ScriptDir d;
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(rvm.include("gone.nut"));
  mkdir((d.dir + "folder.nut").c_str(), 0755);
  EXPECT_FALSE(rvm.include("folder.nut"));
  EXPECT_EQ(last_error(rvm), "can't read 'folder.nut': not a regular file");
  mkfifo((d.dir + "pipe.nut").c_str(), 0644);
  EXPECT_FALSE(rvm.include("pipe.nut"));  // and does not wait for a writer
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(last_error(rvm), "can't read 'pipe.nut': not a regular file");
  EXPECT_NE(out.find("can't open 'gone.nut': No such file or directory"), std::string::npos) << out;
}

TEST(ScriptReload, FailingFileStopsTheRestWhichRunOnceItIsFixedAndNothingRunsEverySecond) {
  ScriptDir d;
  d.write("main.nut", script("main", "include(\"bad.nut\")\ninclude(\"after.nut\")\n"), 1000);
  d.write("bad.nut", script("bad"), 1000);
  d.write("after.nut", script("after"), 1000);
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  ASSERT_TRUE(rvm.include("main.nut"));
  EXPECT_EQ(ran(rvm), "main bad after ");

  // Both edited within the same second; the first one fails.
  d.write("bad.nut", "still not (\n", 1000, 1);
  d.write("after.nut", script("after2"), 1000, 2);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(rvm.reload(false));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ran(rvm), "main bad after ");
  // The failure is not run again until something changes (the game reloads only on a change), and
  // the file after it waits for the next reload.
  EXPECT_FALSE(rvm.filesChanged());

  // The fix, saved within the same second, runs and brings the waiting file with it.
  d.write("bad.nut", script("bad2"), 1000, 3);
  EXPECT_TRUE(rvm.filesChanged());
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_EQ(ran(rvm), "main bad after bad2 after2 ");
  EXPECT_FALSE(rvm.filesChanged());
}

TEST(ScriptReload, NewlyIncludedFileRunsOnceInTheReloadThatAddsIt) {
  ScriptDir d;
  d.write("main.nut", script("main"), 1000);
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  ASSERT_TRUE(rvm.include("main.nut"));
  d.write("main.nut", script("main", "include(\"new.nut\")\n"), 1000, 500);
  d.write("new.nut", script("new"), 1000, 600);
  for (bool force : {false, true}) {
    ::ran(rvm);
    EXPECT_TRUE(rvm.reload(force));
    d.write("main.nut", script("main", "include(\"new.nut\")\n"), 1000, 700);
  }
  EXPECT_EQ(ran(rvm), "main main new main new ");
}

TEST(ScriptReload, InitOnAnOpenVmStartsANewVmAndKeepsTheRecords) {
  ScriptDir d;
  d.write("a.nut", script("a", "x <- 5\n"), 1000);
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  ASSERT_TRUE(rvm.include("a.nut"));
  ASSERT_TRUE(rvm.init(1024));
  EXPECT_NE(rvm.vm, nullptr);
  EXPECT_EQ(rvm.files.size(), 1);
  EXPECT_EQ(ran(rvm), "");  // the new VM has run nothing
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(ran(rvm), "a ");
}

TEST(ScriptReload, MathAndStringLibrariesAreThere) {
  ScriptDir d;
  d.write("m.nut", "r <- (abs(-3) + sqrt(16)).tointeger()\ns <- format(\"%d-%s\", r, \"x\")\n", 1000);
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  ASSERT_TRUE(rvm.include("m.nut"));
  sq_pushroottable(rvm.vm);
  sq_pushstring(rvm.vm, "s", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(rvm.vm, -2)));
  EXPECT_STREQ(sqbind::get_string(rvm.vm, -1), "7-x");
  sq_pop(rvm.vm, 2);
}
