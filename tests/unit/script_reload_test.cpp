// SqReloadableVM: files included once by absolute path in any letter case, changed files run again
// in first-include order, failing files kept as records and retried only after they change.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <utime.h>
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
  // Writes a file and gives it a modification time (seconds) of its own, so that changes within
  // one second are seen.
  void write(const char* name, const std::string& text, time_t mtime) {
    std::string path = dir + name;
    size_t slash = path.rfind('/');
    mkdir(path.substr(0, slash).c_str(), 0755);
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    struct utimbuf t = {mtime, mtime};
    utime(path.c_str(), &t);
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
  d.write("main.nut", script("main", "include(\"sub/lib.nut\")\ninclude(\"SUB/LIB.NUT\")\n"
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

TEST(ScriptReload, FailingFileStaysARecordStopsTheRestAndIsRetriedWhenChanged) {
  ScriptDir d;
  d.write("main.nut", script("main", "include(\"bad.nut\")\ninclude(\"after.nut\")\n"), 1000);
  d.write("bad.nut", "this is not squirrel (\n", 1000);
  d.write("after.nut", script("after"), 1000);
  SqReloadableVM rvm;
  ASSERT_TRUE(rvm.init(1024));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(rvm.include("main.nut"));  // include gives the script no result: main goes on
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("bad.nut(1,"), std::string::npos) << out;
  ASSERT_EQ(rvm.files.size(), 3);
  EXPECT_EQ(ran(rvm), "main after ");

  // A failing file stops the files after it; the failing one is not tried again until it changes.
  d.write("bad.nut", "still not (\n", 2000);
  d.write("after.nut", script("after"), 2000);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(rvm.reload(false));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ran(rvm), "main after ");
  EXPECT_TRUE(rvm.filesChanged());  // after.nut was left unrun
  EXPECT_TRUE(rvm.reload(false));   // bad.nut unchanged: skipped; after.nut runs
  EXPECT_EQ(ran(rvm), "main after after ");

  d.write("bad.nut", script("bad"), 3000);
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_EQ(ran(rvm), "main after after bad ");
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
