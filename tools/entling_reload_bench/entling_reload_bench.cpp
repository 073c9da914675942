// Figures of the actor library's hot swap (not a test: it prints numbers).
//   1. From saving a ".kst" to "entling reload ok", through the game's once-a-second check, for each
//      kind of save side by side: the first save after a fresh build, one module's code, a save
//      while a build runs, rapid saves, a declarations edit; with the build's own time and the
//      game's share (the checks' waits plus the swaps), on a copy of the sources and of the
//      program folder's library, with the real rebuild script.
//   2. Bind and re-link with 10,000 live objects, on the tests' two stand-in libraries.
//   3. One update_entling walk over 1,000 idle objects of the real library.
//   entling_reload_bench [--rounds N] [program folder] [source folder]
// Each round of one module's code edits another module (a comment line appended), as a developer
// going from file to file does; the other kinds take at most three rounds, the first save one;
// --rounds 1 is the smoke run of the test suite.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>
#include "engine/loadSprite.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/entlingBind.h"
#include "game/entlingReload.h"
#include "game/objectLists.h"
#include "platform/platform.h"
#include "tools/toolUsage.h"

namespace {
// The program's clock is the null back end's scripted one here: measure with the system's.
double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool run(const std::string& cmd) { return system(cmd.c_str()) == 0; }

std::string temp_folder() {
  char tmpl[] = "/tmp/entling_bench_XXXXXX";
  char* d = mkdtemp(tmpl);
  return d ? std::string(d) + "/" : std::string("/tmp/");
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The code of eight modules, as a developer changing behaviour edits it (a class's declarations
// change less often, and rebuild every module that uses them).
const char* const edited_modules[] = {"objects/heroCode.kst", "objects/enemyCode.kst", "gui/menusCode.kst",
                                      "boss/bossCode.kst",    "gen/worldCode.kst",     "objects/bulletCode.kst",
                                      "gui/hudCode.kst",      "gen/queriesCode.kst"};

// The game's log while the bench runs (the build's output and the swaps), read back to tell when a
// build starts and ends: the same for any version of the program.
struct GameLog {
  std::string path;
  size_t read = 0;
  std::vector<double> running;                    // the start of each build not ended yet
  std::vector<std::pair<double, double>> builds;  // each ended build: start, end
  std::string published;                          // the build's "entling_new.dll"
  uint64_t published_before = 0;                  // that file as the running build found it
  double published_at = 0;                        // when the running build wrote it anew
  // Between checks: a build has ended when its library appears (the program's clock is the null
  // back end's scripted one, so the build's own logged time says nothing here).
  void watch() {
    if (!building() || published_at != 0) return;
    uint64_t stamp = get_file_stamp(published.c_str());
    if (stamp != 0 && stamp != published_before) published_at = now_ms();
  }
  // Reads what was written since the last call, during a check that began at check_start: a build
  // starts in a check and is seen to end in one.
  void scan(double check_start) {
    fflush(stdout);
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return;
    fseek(f, long(read), SEEK_SET);
    char line[2048];
    while (fgets(line, sizeof(line), f)) {
      read += strlen(line);
      int ms = 0;
      if (strstr(line, "=== rebuilding entling DLL")) {
        running.push_back(check_start);
        published_before = get_file_stamp(published.c_str());
      }
      bool done = sscanf(line, "=== DLL rebuild done in %d ms", &ms) == 1;
      if ((done || strstr(line, "!!! failed to rebuild entling DLL")) && !running.empty()) {
        builds.push_back({running[0], done && published_at > 0 ? published_at : check_start});
        running.erase(running.begin());
        published_at = 0;
      }
    }
    fclose(f);
  }
  bool building() const { return !running.empty(); }
  // The time builds ran after `from`.
  double buildTimeAfter(double from) const {
    double t = 0;
    for (const auto& b : builds)
      if (b.second > from) t += b.second - (b.first > from ? b.first : from);
    return t;
  }
};

// One kind of save: the edits (module, when after the first, in ms) and their rounds' figures.
struct SaveKind {
  const char* name;
  std::vector<std::pair<const char*, double>> edits;
  int rounds;
  std::vector<double> totals, builds;
};

int bench_edit_count = 0;

bool save_edit(const std::string& src, const char* module) {
  FILE* f = fopen((src + module).c_str(), "a");
  if (!f) return false;
  fprintf(f, "// bench edit %d\n", ++bench_edit_count);
  fclose(f);
  return true;
}

// Makes the edits of one round and runs the game's once-a-second check, as the game does after a
// frame, until the last edit runs: a swap, after which the next check starts no build. The first
// check comes first_check ms after the first edit (the saves fall at any moment of the second).
// The time counts from the last edit to that swap; the build's share is the builds' own logged
// times since the last edit began building, the game's share the rest (the checks' waits and the
// swaps).
bool follow_edits(const std::string& src, const SaveKind& kind, double first_check, GameLog& log, double* total,
                  double* build) {
  double t0 = now_ms(), check = t0 + first_check, last_edit = t0, last_swap = 0;
  size_t next_edit = 0;
  for (;;) {
    double next = next_edit < kind.edits.size() ? t0 + kind.edits[next_edit].second : 1e300;
    if (next < check) {
      while (now_ms() < next) usleep(500);
      if (!save_edit(src, kind.edits[next_edit].first)) return false;
      last_edit = now_ms();
      next_edit++;
      continue;
    }
    while (now_ms() < check) {
      log.watch();
      usleep(1000);
    }
    double before = now_ms();
    bool swapped = reload_entling(false);
    double after = now_ms();
    log.scan(before);
    if (swapped) last_swap = after;
    else if (last_swap > 0 && next_edit == kind.edits.size() && !log.building()) break;
    if (has_error_message() && !log.building()) return false;
    if (after - t0 > 300000) return false;
    check += 1000;
  }
  *total = last_swap - last_edit;
  *build = log.buildTimeAfter(last_edit);
  return true;
}

void bench_save_kinds(const std::string& program, const std::string& sources, int rounds) {
  std::string root = temp_folder();
  std::string bin = root + "bin/", src = root + "entling/";
  if (!run("mkdir -p '" + bin + "' && cp '" + program + "entling.dll' '" + program + "entling_build.cfg' '" + bin +
           "' && cp -r '" + sources + "' '" + src + "'")) {
    printf("save to reload: skipped (no entling.dll or entling_build.cfg in %s)\n", program.c_str());
    return;
  }
  setenv("ENTLING_REBUILD_DIR", (root + "rebuild").c_str(), 1);
  snprintf(app_path, sizeof(app_path), "%s", bin.c_str());
  // What the main build does for the rebuild's tree, when its script has such a step.
  double prepared = 0;
  if (run("grep -q ENTLING_REBUILD_PREPARE '" + src + "rebuild_dll.bat'")) {
    double t = now_ms();
    run("cd '" + src + "' && ASCENDA_PROGRAM_DIR='" + bin +
        "' ENTLING_REBUILD_PREPARE=1 sh rebuild_dll.bat >/dev/null 2>&1");
    prepared = now_ms() - t;
  }
  load_entling_library(src.c_str(), "main.kst");
  GameLog log;
  log.path = root + "game.log";
  log.published = bin + "entling_new.dll";
  int old_out = dup(1);
  FILE* log_out = freopen(log.path.c_str(), "w", stdout);
  (void)log_out;
  int few = rounds < 3 ? rounds : 3;
  SaveKind kinds[] = {
      {"first save after a fresh build", {{"objects/heroCode.kst", 0}}, 1, {}, {}},
      {"one module's code", {}, rounds, {}, {}},
      // The second save comes while the first one's build runs.
      {"a save during a build", {{"gui/menusCode.kst", 0}, {"objects/bulletCode.kst", 1300}}, few, {}, {}},
      {"rapid saves (5 in 2.4 s)",
       {{"objects/enemyCode.kst", 0},
        {"gui/hudCode.kst", 600},
        {"gen/queriesCode.kst", 1200},
        {"boss/bossCode.kst", 1800},
        {"objects/heroCode.kst", 2400}},
       few,
       {},
       {}},
      {"declarations (objects/hero.kst)", {{"objects/hero.kst", 0}}, few, {}, {}},
  };
  const double first_check_after[5] = {100, 300, 500, 700, 900};
  int round_no = 0;
  bool ok = true;
  for (SaveKind& k : kinds) {
    for (int r = 0; r < k.rounds && ok; r++, round_no++) {
      SaveKind one = k;
      if (one.edits.empty()) one.edits = {{edited_modules[r % 8], 0}};
      double total = 0, build = 0;
      ok = follow_edits(src, one, first_check_after[round_no % 5], log, &total, &build);
      if (ok) k.totals.push_back(total), k.builds.push_back(build);
    }
  }
  fflush(stdout);
  dup2(old_out, 1);
  close(old_out);
  if (!ok) printf("save to reload: a round failed: %s\n", get_error_message());
  if (prepared > 0) printf("the rebuild's tree, built as the main build does: %.0f ms\n", prepared);
  printf("save to \"entling reload ok\" (median; the build's share and the game's share):\n");
  for (SaveKind& k : kinds) {
    if (k.totals.empty()) continue;
    double t = median(k.totals), b = median(k.builds);
    printf("  %-34s %6.0f ms = build %5.0f ms + game %5.0f ms  (%d round%s)\n", k.name, t, b, t - b,
           int(k.totals.size()), k.totals.size() == 1 ? "" : "s");
  }
  unload_entling_library();
  run("rm -rf '" + root + "'");
}

#ifdef BIND_TEST_LIB_DIR
}  // namespace
// The stand-in libraries count their link_gui calls here.
int bind_test_link_gui_calls = 0;
namespace {

void bench_relink() {
  std::string dir = BIND_TEST_LIB_DIR;
  const char* names[2] = {"/bind_test_good1.dll", "/bind_test_good2.dll"};
  void* m = load_library((dir + names[0]).c_str());
  if (!m) {
    printf("relink: skipped (no stand-in libraries in %s)\n", dir.c_str());
    return;
  }
  bind_entling_library(m);
  for (int i = 0; i < 10000; i++) new_entling_by_id(i % 2 ? TYPE_HERO : TYPE_BASE_ENEMY);
  std::vector<double> loads, binds;
  for (int round = 1; round <= 20; round++) {
    double t0 = now_ms();
    unbind_entling_library();
    free_library(m);
    m = load_library((dir + names[round % 2]).c_str());
    double t1 = now_ms();
    bind_entling_library(m);
    double t2 = now_ms();
    loads.push_back(t1 - t0);
    binds.push_back(t2 - t1);
  }
  printf("bind and re-link of 10,000 live objects: %.3f ms (median of 20; unbind, free and load %.3f ms more)\n",
         median(binds), median(loads));
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) {
    for (BaseObject* o : object_list(l)) delete o;
    object_list(l).clear();
  }
  unbind_entling_library();
  free_library(m);
  memset(entling_vtables, 0, sizeof(entling_vtables));
}
#endif

void bench_update_walk(const std::string& program) {
  void* m = load_library((program + "entling.dll").c_str());
  if (!m) {
    printf("update walk: skipped (%s)\n", get_library_error());
    return;
  }
  TempString<512> why;
  if (!check_entling_swap(m, nullptr, &why)) {
    printf("update walk: skipped (%s)\n", why.c_str());
    free_library(m);
    return;
  }
  bind_entling_library(m);
  // Idle objects: the bonuses, which only wait to be collected.
  int made = 0;
  for (int i = 0; i < 1000; i++)
    if (new_entling_by_id(i % 2 ? TYPE_HEART_BONUS : TYPE_UP_BONUS)) made++;
  std::vector<double> walks;
  for (int round = 0; round < 200; round++) {
    double t0 = now_ms();
    update_entling(0.05f);
    walks.push_back(now_ms() - t0);
  }
  printf("update_entling over %d idle objects: %.1f us (median of 200)\n", made, median(walks) * 1000.0);
  remove_all_entling();
  unbind_entling_library();
  free_library(m);
  memset(entling_vtables, 0, sizeof(entling_vtables));
}
}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: entling_reload_bench [--rounds N] [program folder] [source folder]\n"
      "Prints how long a rebuild of the actor library and its swap take, on copies of the\n"
      "sources and of the program folder's library (defaults: this build's bin/ and entling/),\n"
      "over N edits of different modules (default 5), and what binding and re-linking cost\n"
      "with 10,000 live objects.\n";
  tool_answer_help(argc, argv, usage);
  int rounds = 5;
  int first = 1;
  if (argc > 1 && strcmp(argv[1], "--rounds") == 0) {
    if (argc < 3) tool_usage_error("entling_reload_bench", "--rounds needs a count of 1 or more", usage);
    rounds = tool_count("entling_reload_bench", argv[2], 1, usage);
    first = 3;
  }
  // The folders after the count: positional, at most two.
  tool_check_positional(argc - first + 1, argv + first - 1, "entling_reload_bench", usage, 0, 2);
  plat_init();
  init_timer();
  std::string program = argc > first ? argv[first] : ENTLING_BENCH_PROGRAM_DIR;
  std::string sources = argc > first + 1 ? argv[first + 1] : ENTLING_BENCH_SOURCE_DIR;
  if (program.back() != '/') program += "/";
  if (sources.back() != '/') sources += "/";
  // The library's screens take their sprites from the program folder when it binds.
  snprintf(app_path, sizeof(app_path), "%s", program.c_str());
  init_sprites();
#ifdef BIND_TEST_LIB_DIR
  bench_relink();
#endif
  bench_update_walk(program);
  bench_save_kinds(program, sources, rounds);
  close_sprites();
  return 0;
}
