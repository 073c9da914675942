// The drive's world: the program's host code on the null platform with the real actor library in a
// private program folder, stepped one update and one virtual frame at a time (t = 0.05 s on a fixed
// screen size: enemies wake when they are drawn), with the buttons and the aim the jobs hold, and the
// state line every update prints. The drive reads the library's objects through the shared views
// (tools/harness/entlingViews.h). Each of the drive's jobs (scenario.cpp, player.cpp, bench.cpp)
// runs on it.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "engine/misc/vecMath.h"
#include "game/baseObject.h"
#include "game/entlingApi.h"
#include "game/levelGrid.h"
#include "game/objectLists.h"
#include "game/soundEvents.h"
#include "tools/harness/entlingViews.h"

namespace world_drive {

inline const HeroView* hero_view() { return reinterpret_cast<const HeroView*>(static_cast<void*>(hero)); }
inline EntlingView* entling_view(void* object) { return reinterpret_cast<EntlingView*>(object); }

// ---- small helpers

[[noreturn]] void die(const char* format, ...);
bool copy_file(const std::string& from, const std::string& to);
double now_us();
// 64-bit hash of every cell of the level, eight bytes at a time.
uint64_t level_hash();
// The non-empty cells of a rectangle of the level.
int cells_in(int x0, int y0, int x1, int y1);

// ---- the world and its virtual screen

struct Drive {
  std::string dataDir, libPath, folder;
  int screenW = 640, screenH = 360;
  bool aimSet = false, aimRelative = false;
  float aimX = 0, aimY = 0;
  bool held[4] = {false, false, false, false};
  int updates = 0;
  int soundCount[NUM_SOUND_EVENTS] = {};
  std::vector<int> stepSounds;
  std::vector<std::string> lines;
  bool print = true;
  int swapAt = -1;
  int swaps = 0;
  bool dumpStuck = false;
  bool atBoss = false;       // the player starts at the boss
  float bossDistance = 180;  // this far to its left
  int startHealth = 0;       // the hero's health at the start of a level (0: the game's own)
  bool trace = false;        // the player's state lines
  bool wholeRun = false;     // the program folder holds the whole program's data
  bool modes = false;        // updates go through the game's modes (and their frames), as in the game
  // The rebuild swap: a lasting folder for the program folder, the sources' copy and the rebuild's
  // build tree (configured once, then only compiled), and the sources to copy.
  std::string rebuildRoot, sources;
};
extern Drive drive;
// The drive's own output; the game's log lines go to its log file only.
extern FILE* out;

// A private program folder: the data the world needs (sprites, tiles) linked in, and a copy of the
// library, so the swap can replace it without touching the real program folder.
void make_program_folder();
void remove_program_folder();
// Swaps in a fresh copy of the library (or the real rebuild's output with a rebuild root).
void swap_library();
// Loads the library (checking the views' sizes against its classes), the scripts and the tiles.
void start_world();
void stop_world();
// A fresh run: no objects, no particles, a new hero, upgrades at their start values.
void reset_run();
// The level generator's path into a new level.
void generate(int level, uint64_t seed);
void apply_screen();
void print_line(const std::string& s);
std::string state_line();
// One update as the play mode runs it, then one virtual frame at t = 0.05.
void update_once(bool printing);
// With drive.modes: one update of the game's main loop, the scene's step and its frame (wholeRun.cpp).
void update_modes_once();
// Buttons for the next updates: a button held now and not before goes down (its key event).
void hold(const bool next[4]);
// The cells of a rectangle as the map characters, the hero's box over them.
void dump_cells(int x0, int y0, int x1, int y1);

// ---- the jobs

// Runs a scenario file (twice with `repeat`, the second time swapping the library after update
// drive.swapAt when that is set); the number of failures.
int run_scenario_file(const char* path, bool repeat);
// A range "a-b" or a single number.
bool parse_range(const char* s, int* a, int* b);
// What the scripted player did on a level.
struct PlayResult {
  bool boss = false;  // the level has a boss
  bool killedBoss = false;
  int killStep = 0, killHealth = 0;  // when the boss died, and the hero's health then
  bool exited = false;
  int steps = 0;
  float x = 0, y = 0, exitX = 0;
  std::string why;
};
// The scripted player on the level in place, until the exit, a death, or a lack of progress.
PlayResult play_current_level(int max_steps);
int run_player(int l0, int l1, int s0, int s1, int max_steps, int expect_exits, int expect_kills);
int run_bench(int level, uint64_t seed);
// A whole run on the game's own modes (wholeRun.cpp), `passes` times from the same seed (the
// lines of each pass the same as the first's).
int run_whole(uint64_t seed, int passes);

}  // namespace world_drive
