// The actor library's rebuild host without a library: the word test of the build's output, the
// source watch through "import " lines, and the build run through a pipe (success, failures, a
// build that hangs, one that floods its output, edits within one second).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/entlingReload.h"
#include "platform/platform.h"
#include "testSupport.h"

namespace {
// Whether the process is gone within two seconds: a build's process group is ended with a signal,
// and the kernel takes a moment to reap what the script left running.
bool process_ends_soon(int pid) {
  for (int i = 0; i < 200; i++) {
    if (kill(pid, 0) != 0) return true;
    usleep(10000);
  }
  return false;
}
}  // namespace

TEST(EntlingRebuild, WordTestOnBuildLines) {
  struct Case {
    const char* line;
    bool error;
  } cases[] = {
      {"main.kst:3:1: error: expected ';' before '}' token", true},
      {"2 errors generated.", true},
      {"ERROR", true},
      {"make: *** [x] Error 1", true},
      {"(error)", true},
      {"Errors: 3", true},
      {"error", true},
      {"terror", false},
      {"stderr", false},
      {"-Werror", false},
      {"error_count = 0", false},
      {"errorless", false},
      {"errorss", false},
      {"compiling hero.kst", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(line_reports_error(c.line), c.error) << c.line;
}

namespace {
struct SourceFolder {
  std::string root;
  SourceFolder() : root(make_temp_folder() + "/") {}
  ~SourceFolder() {
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
  }
  void write(const std::string& name, const std::string& text) {
    std::string dir = (root + name).substr(0, (root + name).rfind('/'));
    std::string cmd = "mkdir -p '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    write_file_text(root + name, text);
  }
  std::string path(const std::string& name) const { return root + name; }
};

std::vector<std::string> watched() {
  std::vector<std::string> r;
  for (int i = 0; i < entling_watch_count(); i++) r.push_back(entling_watch_path(i));
  return r;
}
}  // namespace

TEST(EntlingRebuild, ImportLinesAreFollowedOnceEach) {
  SourceFolder src;
  src.write("main.kst",
            "/*\nimport gen.entling\nimport  objects.hero\nimport \tobjects.enemy\r\nimport\ttab.first\n*/\n"
            "Import capital.letter\n import leading.space\n#import other.word\nimport missing.file\n"
            "int x; // import not.at.start\n");
  src.write("gen/entling.kst", "/*\nimport main\nimport objects.hero\n*/\n");
  src.write("objects/hero.kst", "/*\nimport gen.entling\n*/\n");
  src.write("objects/enemy.kst", "// enemies\n");
  src.write("capital/letter.kst", "");
  src.write("tab/first.kst", "");
  src.write("leading/space.kst", "");
  src.write("other/word.kst", "");
  src.write("not/at/start.kst", "");
  watch_entling_sources(src.root.c_str(), "main.kst");
  std::vector<std::string> expect = {src.path("main.kst"), src.path("gen/entling.kst"), src.path("objects/hero.kst"),
                                     src.path("objects/enemy.kst")};
  EXPECT_EQ(watched(), expect);
}

TEST(EntlingRebuild, TailOfALongLineIsNoImport) {
  SourceFolder src;
  src.write("main.kst", "// " + std::string(252, 'x') + "import tail.piece\nimport real.one\n");
  src.write("tail/piece.kst", "");
  src.write("real/one.kst", "");
  watch_entling_sources(src.root.c_str(), "main.kst");
  std::vector<std::string> expect = {src.path("main.kst"), src.path("real/one.kst")};
  EXPECT_EQ(watched(), expect);
}

TEST(EntlingRebuild, AFifoIsNotOpened) {
  SourceFolder src;
  src.write("main.kst", "/*\nimport pipe\n*/\n");
  ASSERT_EQ(mkfifo(src.path("pipe.kst").c_str(), 0600), 0);
  watch_entling_sources(src.root.c_str(), "main.kst");  // would wait for a writer for ever
  EXPECT_EQ(entling_watch_count(), 1);
}

namespace {
// A source folder with a build script, the program folder pointing at a folder of its own, and the
// build's standard output captured.
class BuildRun : public testing::Test {
 protected:
  SourceFolder src, bin;
  char saved_app_path[sizeof(app_path)];
  std::string out;

  void SetUp() override {
    memcpy(saved_app_path, app_path, sizeof(app_path));
    snprintf(app_path, sizeof(app_path), "%s", bin.root.c_str());
    src.write("main.kst", "/*\nimport part\n*/\n");
    src.write("part.kst", "int part;\n");
    set_error_message(nullptr);
    entling_rebuild_time_limit_ms = 10 * 60 * 1000;
    watch_entling_sources(src.root.c_str(), "main.kst");
  }
  void TearDown() override {
    unload_entling_library();  // ends a build left running
    set_error_message(nullptr);
    entling_rebuild_time_limit_ms = 10 * 60 * 1000;
    memcpy(app_path, saved_app_path, sizeof(app_path));
  }
  void script(const std::string& body) { src.write("rebuild_dll.bat", body); }
  // Moves a source's time by a nanosecond step inside the same second.
  void touch_within_second(const std::string& name, long ns) {
    struct timespec t[2] = {{1700000000, ns}, {1700000000, ns}};
    ASSERT_EQ(utimensat(AT_FDCWD, src.path(name).c_str(), t, 0), 0);
  }
  // Polls the build to its end; returns the number of polls that found it still running.
  int run_build() {
    testing::internal::CaptureStdout();
    int running = 0;
    for (int i = 0; i < 20000 && rebuild_entling_library(); i++) {
      running++;
      usleep(1000);
    }
    out = testing::internal::GetCapturedStdout();
    return running;
  }
};
}  // namespace

TEST_F(BuildRun, NoChangeStartsNoBuild) {
  script("touch ran\n");
  EXPECT_EQ(run_build(), 0);
  EXPECT_FALSE(file_exists(src.path("ran")));
}

TEST_F(BuildRun, GoodBuildEchoesItsLinesAndLogsItsTime) {
  script("echo \"compiling in $(pwd)\"\necho \"program folder $ASCENDA_PROGRAM_DIR\"\nexit 0\n");
  touch_within_second("part.kst", 100);
  EXPECT_GT(run_build(), 0);
  EXPECT_NE(out.find("=== rebuilding entling DLL"), std::string::npos) << out;
  // The script runs in the source folder; the program's own folder is untouched.
  std::string src_real = src.root.substr(0, src.root.size() - 1);
  char real[4096];
  ASSERT_TRUE(realpath(src_real.c_str(), real));
  EXPECT_NE(out.find(std::string("compiling in ") + real + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("program folder " + bin.root + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("=== DLL rebuild done in "), std::string::npos) << out;
  EXPECT_FALSE(has_error_message());
}

TEST_F(BuildRun, FailuresGoToTheScreen) {
  struct Case {
    const char* body;
    int code;
    const char* screen;
  } cases[] = {
      // Exit code 0, but a line with the word error.
      {"echo 'main.kst:3:1: error: expected ;'\necho 'note: -Werror is off'\nexit 0\n", 0,
       "main.kst:3:1: error: expected ;\nentling rebuild failed!!!"},
      {"echo 'compiling'\nexit 3\n", 3, "entling rebuild failed!!!"},
      // The last line without a line feed still counts.
      {"printf 'ld: 2 errors'\nexit 1\n", 1, "ld: 2 errors\nentling rebuild failed!!!"},
  };
  long ns = 100;
  for (const Case& c : cases) {
    script(c.body);
    touch_within_second("part.kst", ns += 100);
    run_build();
    EXPECT_STREQ(get_error_message(), c.screen) << c.body;
    char logged[64];
    snprintf(logged, sizeof(logged), "!!! failed to rebuild entling DLL (code %d)", c.code);
    EXPECT_NE(out.find(logged), std::string::npos) << out;
    EXPECT_EQ(out.find("=== DLL rebuild done"), std::string::npos) << out;
  }
}

TEST_F(BuildRun, TwoEditsWithinOneSecondBothBuild) {
  script("echo built >> count\n");
  touch_within_second("part.kst", 100);
  run_build();
  touch_within_second("part.kst", 200);
  run_build();
  EXPECT_EQ(read_file_text(src.path("count")), "built\nbuilt\n");
}

TEST_F(BuildRun, NewImportJoinsTheWatch) {
  script("exit 0\n");
  src.write("extra.kst", "");
  src.write("main.kst", "/*\nimport part\nimport extra\n*/\n");
  run_build();
  EXPECT_EQ(entling_watch_count(), 3);
}

TEST_F(BuildRun, AHangingBuildNeverBlocksAndIsStoppedAtItsLimit) {
  // A half line, then a child that keeps the pipe open and sleeps.
  script("printf 'half a line'\nsleep 60 &\necho $! > sleeper\nwait\n");
  touch_within_second("part.kst", 100);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(rebuild_entling_library());
  for (int i = 0; i < 20; i++) {
    usleep(10000);
    EXPECT_TRUE(rebuild_entling_library());  // returns at once, the build still running
  }
  EXPECT_FALSE(reload_entling(false));
  entling_rebuild_time_limit_ms = 1000;
  EXPECT_TRUE(rebuild_entling_library());
  plat_null_advance_counter(time_ticks_per_sec() * 2);  // the unit tests' clock only moves when told
  EXPECT_FALSE(rebuild_entling_library());
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("half a line"), std::string::npos) << out;
  EXPECT_STREQ(get_error_message(), "entling rebuild failed!!!");
  // The whole group ended, the sleeper the script started included.
  int sleeper = atoi(read_file_text(src.path("sleeper")).c_str());
  ASSERT_GT(sleeper, 0);
  EXPECT_TRUE(process_ends_soon(sleeper));
}

TEST_F(BuildRun, ABackgroundJobHoldingThePipeDoesNotKeepTheBuildRunning) {
  script("sleep 60 &\necho $! > holder\necho 'compiled'\nexit 0\n");
  touch_within_second("part.kst", 100);
  run_build();
  kill(atoi(read_file_text(src.path("holder")).c_str()), SIGKILL);
  EXPECT_NE(out.find("compiled\n"), std::string::npos) << out;
  EXPECT_NE(out.find("=== DLL rebuild done in "), std::string::npos) << out;
}

TEST_F(BuildRun, WhileABuildRunsNothingIsSwapped) {
  script("sleep 60\n");
  write_file_text(bin.path("entling_new.dll"), "not yet");
  touch_within_second("part.kst", 100);
  EXPECT_FALSE(reload_entling(false));
  EXPECT_FALSE(reload_entling(false));
  EXPECT_TRUE(file_exists(bin.path("entling_new.dll")));
}

TEST_F(BuildRun, TenMegabytesOfErrorsKeepTheScreenMessageSmall) {
  script("yes 'main.kst:1:1: error: flood of messages' | head -c 10000000\nexit 1\n");
  touch_within_second("part.kst", 100);
  run_build();
  EXPECT_NE(out.find("error: flood of messages"), std::string::npos);
  EXPECT_GT(out.size(), 9000000u);  // all of it was read and echoed
  EXPECT_LT(strlen(get_error_message()), 10000u);
  std::string screen = get_error_message();
  EXPECT_EQ(screen.substr(screen.size() - 29), "...\nentling rebuild failed!!!");
}

TEST_F(BuildRun, ASourceSavedDuringTheBuildIsBuiltAgain) {
  // The first build saves a source while it runs, as an editor would: one more build follows (the
  // script marks the changed module by its bytes, so the build tool compiles it again).
  script(
      "echo run >> runs\n"
      "if [ ! -f edited ]; then touch edited; echo 'int part2;' >> part.kst; fi\n");
  touch_within_second("part.kst", 100);
  run_build();
  run_build();
  run_build();  // nothing changed since: no third build
  EXPECT_EQ(read_file_text(src.path("runs")), "run\nrun\n");
}

TEST_F(BuildRun, ADeletedSourceIsWatchedUntilItComesBack) {
  script("echo built >> count\n");
  std::string text = read_file_text(src.path("part.kst"));
  ASSERT_EQ(unlink(src.path("part.kst").c_str()), 0);
  run_build();  // the loss is a change: built (and in a real build, failed)
  EXPECT_EQ(run_build(), 0);
  EXPECT_EQ(read_file_text(src.path("count")), "built\n");
  src.write("part.kst", text);
  run_build();
  EXPECT_EQ(read_file_text(src.path("count")), "built\nbuilt\n");
  EXPECT_EQ(entling_watch_count(), 2);  // watched again
}

TEST_F(BuildRun, ANewEditEndsABuildThatHangs) {
  // The first build hangs in a child of its own; the second one finishes.
  script(
      "if [ -f hung ]; then echo 'second build'; exit 0; fi\n"
      "touch hung\nsleep 60 &\necho $! > sleeper\nwait\n");
  entling_rebuild_stale_floor_ms = 1000;
  touch_within_second("part.kst", 100);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(rebuild_entling_library());
  for (int i = 0; i < 200 && !file_exists(src.path("sleeper")); i++) usleep(10000);
  plat_null_advance_counter(time_ticks_per_sec() * 5);
  EXPECT_TRUE(rebuild_entling_library());  // long, but no newer edit: it may go on
  touch_within_second("part.kst", 200);
  EXPECT_TRUE(rebuild_entling_library());  // stopped, and the new build started
  out = testing::internal::GetCapturedStdout();
  entling_rebuild_stale_floor_ms = 30 * 1000;
  EXPECT_NE(out.find("!!! DLL rebuild stopped after 5000 ms: a newer edit starts a new build"), std::string::npos)
      << out;
  size_t first = out.find("=== rebuilding entling DLL");
  EXPECT_NE(out.find("=== rebuilding entling DLL", first + 1), std::string::npos) << out;
  int sleeper = atoi(read_file_text(src.path("sleeper")).c_str());
  ASSERT_GT(sleeper, 0);
  EXPECT_TRUE(process_ends_soon(sleeper));  // its whole process group ended
  run_build();
  EXPECT_NE(out.find("second build"), std::string::npos) << out;
  EXPECT_NE(out.find("=== DLL rebuild done in "), std::string::npos) << out;
}

TEST_F(BuildRun, TheBuildSpeaksInTheCLocale) {
  // A compiler in a UTF-8 locale quotes with curly marks, which the on-screen font cannot show.
  const char* saved = getenv("LC_ALL");
  std::string saved_value = saved ? saved : "";
  setenv("LC_ALL", "C.UTF-8", 1);
  script("printf 'int x = ;\\n' > bad.c\ncc -fsyntax-only bad.c\necho \"lc_all=$LC_ALL\"\n");
  touch_within_second("part.kst", 100);
  run_build();
  if (saved) setenv("LC_ALL", saved_value.c_str(), 1);
  else unsetenv("LC_ALL");
  EXPECT_NE(out.find("lc_all=C\n"), std::string::npos) << out;
  std::string screen = get_error_message();
  EXPECT_NE(screen.find("before ';' token"), std::string::npos) << screen;
  for (unsigned char c : screen) EXPECT_LT(c, 0x80) << screen;
}
