// Figures of the actor library's hot swap (not a test: it prints numbers).
//   1. From saving a ".kst" to "entling reload ok", through the game's once-a-second check: the
//      build's own time and the game's share (the checks' waits plus the swap itself), on a copy
//      of the sources and of the program folder's library, with the real rebuild script.
//   2. Bind and re-link with 10,000 live objects, on the tests' two stand-in libraries.
//   3. One update_entling walk over 1,000 idle objects of the real library.
//   entling_reload_bench [--rounds N] [program folder] [source folder]
// Each round edits another module (a comment line appended), as a developer going from file to
// file does; --rounds 1 is the smoke run of the test suite.
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

// Saves a source (a changed comment line) and runs the game's once-a-second check on it, as the
// game does after a frame, until the new library is swapped in. The save falls at another moment
// of the second each round (the first check comes 100, 300, 500, 700 or 900 ms after it), as a
// developer's saves fall at any moment. The build's share runs from the check that starts the
// build to the new library's appearance in the program folder; the game's share is the rest: the
// wait for the first check, the wait for the check after the build, and the swap.
struct SaveRound {
  double total, build, swap;
};

bool follow_save_through_checks(const std::string& published, double saved, double first_check, SaveRound* r) {
  double check = first_check, build_start = 0, build_end = 0;
  for (;;) {
    // Between checks the bench only watches for the published file, as the game draws frames.
    while (now_ms() < check) {
      if (build_start > 0 && build_end == 0 && get_file_time(published.c_str()) != 0) build_end = now_ms();
      usleep(1000);
    }
    double t0 = now_ms();
    bool swapped = reload_entling(false);
    double t1 = now_ms();
    if (swapped) {
      if (build_end == 0) build_end = t0;
      *r = SaveRound{t1 - saved, build_end - build_start, t1 - t0};
      return true;
    }
    if (build_start == 0) build_start = t0;
    // A failed or refused build never swaps: its error is on screen at the check that ends it.
    if (has_error_message()) return false;
    if (t0 - saved > 120000) return false;
    check += 1000;
  }
}

void bench_save_to_reload(const std::string& program, const std::string& sources, int rounds) {
  std::string root = temp_folder();
  std::string bin = root + "bin/", src = root + "entling/";
  if (!run("mkdir -p '" + bin + "' && cp '" + program + "entling.dll' '" + program + "entling_build.cfg' '" + bin +
           "' && cp -r '" + sources + "' '" + src + "'")) {
    printf("save to reload: skipped (no entling.dll or entling_build.cfg in %s)\n", program.c_str());
    return;
  }
  setenv("ENTLING_REBUILD_DIR", (root + "rebuild").c_str(), 1);
  snprintf(app_path, sizeof(app_path), "%s", bin.c_str());
  load_entling_library(src.c_str(), "main.kst");
  const double first_check_after[5] = {100, 300, 500, 700, 900};
  std::vector<double> totals, builds, games, swaps;
  // Round 0 configures the rebuild's own build tree and is not counted.
  for (int round = 0; round <= rounds; round++) {
    const char* module = round == 0 ? "main.kst" : edited_modules[(round - 1) % 8];
    FILE* f = fopen((src + module).c_str(), "a");
    if (!f) break;
    fprintf(f, "// bench edit %d\n", round);
    fclose(f);
    double saved = now_ms();
    int old_out = dup(1);
    FILE* null_out = freopen("/dev/null", "w", stdout);
    (void)null_out;
    SaveRound r{};
    bool ok;
    if (round == 0) {
      while (rebuild_entling_library()) usleep(2000);
      double built = now_ms();
      ok = reload_entling(false);
      r = SaveRound{now_ms() - saved, built - saved, now_ms() - built};
    } else {
      ok = follow_save_through_checks(bin + "entling_new.dll", saved, saved + first_check_after[(round - 1) % 5], &r);
    }
    fflush(stdout);
    dup2(old_out, 1);
    close(old_out);
    if (!ok) {
      printf("save to reload: round %d, %s failed: %s\n", round, module, get_error_message());
      break;
    }
    if (round == 0) {
      printf("  round 0, main.kst: build %.0f ms, swap %.1f ms (first: configures the rebuild tree)\n", r.build,
             r.swap);
      continue;
    }
    printf("  round %d, %s: saved to \"entling reload ok\" %.0f ms = build %.0f ms + game %.0f ms (swap %.1f ms)\n",
           round, module, r.total, r.build, r.total - r.build, r.swap);
    totals.push_back(r.total), builds.push_back(r.build), games.push_back(r.total - r.build), swaps.push_back(r.swap);
  }
  if (!totals.empty()) {
    printf(
        "save to \"entling reload ok\": %.0f ms (median of %d edits); build %.0f ms, game's share %.0f ms (the "
        "once-a-second checks' waits and the swap of %.1f ms)\n",
        median(totals), int(totals.size()), median(builds), median(games), median(swaps));
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
    if (argc < 3 || atoi(argv[2]) < 1)
      tool_usage_error("entling_reload_bench", "--rounds needs a count of 1 or more", usage);
    rounds = atoi(argv[2]);
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
  bench_save_to_reload(program, sources, rounds);
  close_sprites();
  return 0;
}
