// world_drive: a headless, deterministic test drive of the game world. It links the program's host
// code on the null platform, with no drawing device and no sound device, loads the real actor
// library through the real binding (a private program folder holding a copy of it), and steps the
// world with scripted buttons and aim, one virtual frame per update (driveWorld.h). It prints one
// state line per update and exits non-zero when an expectation fails. Its jobs: the scenario runner
// (scenario.cpp, which describes the scenario format), the scripted player (player.cpp, with its
// route planning in route.cpp and its boss fight in bossFight.cpp) and the bench (bench.cpp).
//
//   world_drive --data <program folder> --lib <entling library> [--repeat] [--swap-at N]
//               [--rebuild-root DIR --sources DIR] <scenario>
//   world_drive --data <dir> --lib <lib> --player <levels a-b> <seeds a-b> [--max-steps N]
//               [--expect-exits N] [--expect-kills N] [--trace] [--dump-stuck] [--at-boss]
//               [--boss-distance D] [--health N]
//   world_drive --data <dir> --lib <lib> --bench <level> <seed>
//
// --repeat runs the scenario a second time in the same process and fails unless every state line
// is the same; with --swap-at N the second run swaps in a fresh copy of the library after update N
// (every live object kept); with --rebuild-root DIR --sources DIR that copy is the real rebuild of
// the library's sources (the rebuild script, in a build tree kept in DIR).
// --player runs the scripted player on generated levels and reports which reach the exit and why
// the others stop (failing when fewer than --expect-exits do); --health N starts the hero with N
// hearts, which takes the enemies out of a count of the rooms crossed; with --trace it prints its
// plans and state lines, with --dump-stuck the cells of the rooms it stopped in and the enemies and
// barrels near the hero;
// with --at-boss it starts on a boss level's floor 180 cells (--boss-distance D: D) to the left of
// the boss. Wherever it comes near a living boss on its floor it fights it (dodging its bullets and
// bombs, shooting the body's core or plates wherever a shot gets through); on boss levels it says
// which runs kill the boss, failing when fewer than --expect-kills do.
// --bench prints the cost of an update and of a frame's object drawing on a generated level with
// every spawn awake.
//
// The state line: "<update> hero x y vx vy hp <health> air <t> exit <t> | lists <heroes> <enemies>
// <bullets> <barrels> <bombs> <hearts> <ups> <parts> <exitfx> <bosses> | junk <n> | snd <events> |
// cells <hash of the level's cells>".
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>
#include "driveWorld.h"
#include "engine/app.h"
#include "tools/toolUsage.h"

using namespace world_drive;

namespace {

const char USAGE[] =
    "usage: world_drive --data DIR --lib LIB [--repeat] [--swap-at N] [--rebuild-root DIR --sources DIR]\n"
    "                   SCENARIO\n"
    "       world_drive --data DIR --lib LIB --player LEVELS SEEDS [--max-steps N] [--expect-exits N]\n"
    "                   [--expect-kills N] [--health N] [--at-boss] [--boss-distance D] [--trace]\n"
    "                   [--dump-stuck]\n"
    "       world_drive --data DIR --lib LIB --bench LEVEL SEED\n"
    "       world_drive --data DIR --lib LIB --whole-run SEED [--passes N] [--health N]\n"
    "  DIR is the program folder, LIB the actor library; LEVELS and SEEDS are ranges like 1-50.\n"
    "  --repeat runs the scenario twice and compares every state line; --swap-at N swaps a fresh copy\n"
    "  of the library in after update N (of the second run with --repeat); --player runs the scripted\n"
    "  player on generated levels; --bench prints the cost of an update; --whole-run plays a whole\n"
    "  run on the game's modes, twice from the seed (--passes N: N times).\n";

// A wrong argument: what is wrong and the usage, on standard error; exit status 2.
[[noreturn]] void usage_error(const char* format, const char* what) {
  fprintf(stderr, "world_drive: ");
  fprintf(stderr, format, what);
  fprintf(stderr, "\n%s", USAGE);
  exit(2);
}

// A whole number from `lo`, nothing else.
int whole_number(const char* option, const char* text, int lo) {
  char* end = nullptr;
  long v = strtol(text, &end, 10);
  if (end == text || *end || v < lo || v > 1 << 30) usage_error("%s needs a whole number", option);
  return int(v);
}

// A distance in cells, 0 or more.
float distance(const char* option, const char* text) {
  char* end = nullptr;
  double v = strtod(text, &end);
  if (end == text || *end || !(v >= 0 && v < 1e6)) usage_error("%s needs a distance in cells", option);
  return float(v);
}

}  // namespace

int main(int argc, char** argv) {
  tool_answer_help(argc, argv, USAGE);
  // Standard output becomes the drive's alone: the game logs every line there too.
  out = fdopen(dup(1), "w");
  setvbuf(out, nullptr, _IOLBF, 0);
  if (!freopen("/dev/null", "w", stdout)) die("cannot silence the log's standard output");
  const char* scenario = nullptr;
  bool repeat = false;
  int player_l0 = 0, player_l1 = 0, player_s0 = 0, player_s1 = 0, max_steps = 5000, expect_exits = 0, expect_kills = 0;
  bool player = false, bench = false;
  unsigned long long whole_seed = 0;
  int whole_passes = 2;
  int bench_level = 12;
  unsigned long long bench_seed = 1;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    auto next = [&]() -> const char* {
      if (i + 1 >= argc) usage_error("%s needs a value", a.c_str());
      return argv[++i];
    };
    if (a == "--data") drive.dataDir = next();
    else if (a == "--lib") drive.libPath = next();
    else if (a == "--repeat") repeat = true;
    else if (a == "--swap-at") drive.swapAt = whole_number("--swap-at", next(), 0);
    else if (a == "--max-steps") max_steps = whole_number("--max-steps", next(), 1);
    else if (a == "--expect-exits") expect_exits = whole_number("--expect-exits", next(), 0);
    else if (a == "--expect-kills") expect_kills = whole_number("--expect-kills", next(), 0);
    else if (a == "--dump-stuck") drive.dumpStuck = true;
    else if (a == "--at-boss") drive.atBoss = true;
    else if (a == "--boss-distance") drive.bossDistance = distance("--boss-distance", next());
    else if (a == "--health") drive.startHealth = whole_number("--health", next(), 1);
    else if (a == "--trace") drive.trace = true;
    else if (a == "--rebuild-root") drive.rebuildRoot = next();
    else if (a == "--sources") drive.sources = next();
    else if (a == "--player") {
      player = true;
      if (!parse_range(next(), &player_l0, &player_l1))
        usage_error("%s LEVELS SEEDS takes ranges like 1-3", "--player");
      if (!parse_range(next(), &player_s0, &player_s1))
        usage_error("%s LEVELS SEEDS takes ranges like 1-50", "--player");
    } else if (a == "--bench") {
      bench = true;
      bench_level = whole_number("--bench", next(), 1);
      bench_seed = (unsigned long long)whole_number("--bench", next(), 0);
    } else if (a == "--whole-run") {
      drive.wholeRun = true;
      whole_seed = (unsigned long long)whole_number("--whole-run", next(), 0);
    } else if (a == "--passes") {
      whole_passes = whole_number("--passes", next(), 1);
    } else if (a[0] == '-') usage_error("unknown option %s", a.c_str());
    else if (scenario) usage_error("one scenario at a time (%s is a second)", a.c_str());
    else scenario = argv[i];
  }
  if (drive.dataDir.empty() || drive.libPath.empty()) usage_error("%s and --lib are needed", "--data");
  if (int(scenario != nullptr) + int(player) + int(bench) + int(drive.wholeRun) != 1)
    usage_error("%s: one of a scenario, --player, --bench or --whole-run", "what to run");
  // The swap belongs to a scenario's run (with --repeat, to its second run).
  if (drive.swapAt >= 0 && !scenario) usage_error("%s goes with a scenario only", "--swap-at");
  if (repeat && !scenario) usage_error("%s goes with a scenario only", "--repeat");
  // The game's log goes to the drive's own folder; its lines on standard output would mix with
  // the state lines, so only the state lines and results are printed.
  char* absolute = realpath(drive.dataDir.c_str(), nullptr);
  if (!absolute) die("no program folder %s", drive.dataDir.c_str());
  drive.dataDir = absolute;
  free(absolute);
  if (!drive.rebuildRoot.empty()) {
    if (drive.sources.empty()) usage_error("%s needs --sources (the library's source folder)", "--rebuild-root");
    std::string cmd = "mkdir -p '" + drive.rebuildRoot + "'";
    if (system(cmd.c_str()) != 0) die("cannot make %s", drive.rebuildRoot.c_str());
    for (std::string* path : {&drive.rebuildRoot, &drive.sources}) {
      char* full = realpath(path->c_str(), nullptr);
      if (!full) die("no folder %s", path->c_str());
      *path = full;
      free(full);
    }
  }
  make_program_folder();
  setenv("APPDATA", drive.folder.c_str(), 1);
  int rc = 0;
  if (drive.wholeRun) {
    rc = run_whole(whole_seed, whole_passes);
    remove_program_folder();
    return rc;
  }
  start_world();
  if (player) rc = run_player(player_l0, player_l1, player_s0, player_s1, max_steps, expect_exits, expect_kills);
  else if (bench) rc = run_bench(bench_level, bench_seed);
  else rc = run_scenario_file(scenario, repeat);
  stop_world();
  remove_program_folder();
  return rc;
}
