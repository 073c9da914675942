// The whole run: the game's own scene and modes (title, play, the elevator, the upgrade screen, the
// notice between worlds, game over) on the null platform's recording drawing device, with the
// real actor library, played through as a player would: Play clicked on the title, levels 1 to 4
// crossed by the scripted player (the hero starting each with --health hearts, 20 unless given),
// Fire rate bought on the first upgrade screen and seen to shoot faster in level 2, the boss of level
// 4 killed and its exit taken, the notice before level 5 acknowledged, a death in level 5, game over,
// and a key back to the title. It checks the sequence of modes, the run's level, points and upgrades
// at each step, and each mode's lines in the game's log; then plays the run again from the same seed
// and fails unless every line is the same (--passes 1 plays it once).
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "driveWorld.h"
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/guiBaseRuntime.h"
#include "engine/input.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/guiScreens.h"
#include "game/progression.h"
#include "game/soundEvents.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_record.h"
#include "platform/platform.h"
#include "tests/support/guiFind.h"

namespace world_drive {
namespace {

// The sound events that mark what a mode does, as the game's log names them.
const char* const MODE_EVENTS[] = {"title_screen",     "new_game",       "start_level",
                                   "ascenda_elevator", "upgrade_screen", "upgrade_plus",
                                   "upgrade_accept",   "hero_dead",      "game_over"};

const char* mode_name(GameMode* m) {
  if (m == &title_mode) return "title";
  if (m == &play_mode) return "play";
  if (m == &pause_mode) return "pause";
  if (m == &game_over_mode) return "game over";
  if (m == &elevator_mode) return "elevator";
  if (m == &upgrade_mode) return "upgrade";
  if (m == &view_level_mode) return "level viewer";
  return "none";
}

// What the run did: the modes in turn with the marking events of each visit, and the run's state.
struct Run {
  std::vector<std::string> lines;
  std::vector<std::string> modes, progress;  // the mode lines and the progress lines
  GameMode* mode = nullptr;
  std::string events;  // of the current mode's visit
  int failures = 0;
  void note(const std::string& s) {
    lines.push_back(s);
    fprintf(out, "%s\n", s.c_str());
  }
  void fail(const std::string& s) {
    fprintf(out, "FAIL: %s\n", s.c_str());
    failures++;
  }
};
Run* run = nullptr;

void close_visit();

// Events belong to the mode current when they play (a mode's enter plays its own).
void observe_mode_event(int id) {
  if (!run || !sound_event_name[id]) return;
  if (cur_game_mode != run->mode) close_visit();
  for (const char* e : MODE_EVENTS)
    if (!strcmp(e, sound_event_name[id])) run->events += std::string(run->events.empty() ? "" : ", ") + e;
}

// The mode's visit ends: its line, "mode upgrade: upgrade_screen, upgrade_accept, start_level" and
// the like.
void close_visit() {
  if (run->mode) {
    std::string line = std::string("mode ") + mode_name(run->mode) + ": " + (run->events.empty() ? "-" : run->events);
    run->note(line);
    run->modes.push_back(line);
  }
  run->mode = cur_game_mode;
  run->events.clear();
}

// Follows the mode after updates: a visit ends when the mode changed.
void follow_mode() {
  if (cur_game_mode != run->mode) close_visit();
}

// The run's progress at a point of the run (the hero's health, which the fights decide, apart).
void note_progress(const char* when) {
  char buf[200];
  snprintf(buf, sizeof(buf), "%s: level %d, points %d, fire rate %.1f, wall destruction %d", when, cur_level, up_points,
           hero_shoot_rate, bullet_wall_destr);
  run->progress.push_back(buf);
  run->note(std::string(buf) + ", health " + std::to_string(get_hero_health()));
}

void click_element(GuiElement* e) {
  vec4float b(e->marginBox);
  int x = int((b[0] + b[2]) / 2), y = int((b[1] + b[3]) / 2);
  push_input_event(IE_MOUSE_MOVE, 0, 0, 0, x, y);
  push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, x, y);
  push_input_event(IE_MOUSE_UP, 1, 0, 0, x, y);
}

// One update with no buttons held.
void idle() {
  bool none[4] = {false, false, false, false};
  hold(none);
  update_once(false);
}

// Updates until the mode is `m` (false after `max` updates).
bool until_mode(GameMode* m, int max) {
  for (int i = 0; i < max && cur_game_mode != m; i++) idle();
  return cur_game_mode == m;
}

// Clicks the element with the text on the current screen (its row's "+" for an upgrade's name when
// `plus`), then one update to act on it.
bool click(const char* text, bool plus = false) {
  idle();  // a frame lays the screen out
  GuiElement* e = cur_game_screen ? find_by_text(cur_game_screen->root, text) : nullptr;
  if (e && plus) e = e->parentElement() ? find_by_text(e->parentElement(), "+") : nullptr;
  if (!e) {
    run->fail(std::string("no \"") + text + "\" on the screen in mode " + mode_name(cur_game_mode));
    return false;
  }
  click_element(e);
  idle();
  return true;
}

// Shots fired in 2 s of holding the trigger, standing: 20 at the start's rate of 10 a second.
int shots_in_two_seconds() {
  int before = drive.soundCount[0];
  bool shoot[4] = {false, false, false, true};
  drive.aimSet = true;
  drive.aimRelative = true;
  drive.aimX = 40;
  drive.aimY = 30;
  for (int i = 0; i < 40; i++) {
    hold(shoot);
    update_once(false);
  }
  idle();
  return drive.soundCount[0] - before;
}

void play_run(uint64_t seed) {
  follow_mode();
  if (cur_game_mode != &title_mode) return run->fail("the run does not start on the title");
  game_rnd_seed = seed;
  if (!click("Play") || cur_game_mode != &play_mode) return run->fail("Play did not start the game");
  follow_mode();
  note_progress("new game");
  for (int level = 1; level <= 4; level++) {
    if (level == 2) {
      int shots = shots_in_two_seconds();
      run->note("level 2: " + std::to_string(shots) + " shots in 2 s");
      if (shots != 22) run->fail("the bought fire rate of 11 should fire 22 shots in 2 s");
    }
    PlayResult r = play_current_level(6000);
    follow_mode();
    char buf[200];
    snprintf(buf, sizeof(buf), "level %d: %s after %d updates%s%s", level, r.exited ? "exit" : "stopped", r.steps,
             r.boss ? (r.killedBoss ? ", boss killed" : ", boss alive") : "", r.exited ? "" : (": " + r.why).c_str());
    run->note(buf);
    if (!r.exited || cur_game_mode != &elevator_mode) return run->fail("the player did not take the exit's elevator");
    if (level == 4 && !r.killedBoss) return run->fail("level 4's boss should have been killed");
    if (!until_mode(&upgrade_mode, 100)) return run->fail("the elevator did not reach the upgrade screen");
    follow_mode();
    note_progress("upgrade screen");
    if (level == 1 && !click("Fire rate", true)) return;
    if (!click("Go!")) return;
    if (level == 4) {
      // Level 5 opens a new world: the notice comes first, on the upgrade mode's screen.
      if (cur_game_mode != &upgrade_mode || cur_game_screen != interworld_warning_screen.screen)
        return run->fail("no notice between worlds before level 5");
      run->note("notice between worlds");
      if (!click("Okay!")) return;
    }
    if (cur_game_mode != &play_mode) return run->fail("the upgrade screen did not start the next level");
    follow_mode();
    note_progress("play");
    if (drive.startHealth > 0) set_hero_health(drive.startHealth);
  }
  // A death: the hero down to its last heart, then an enemy's touch.
  set_hero_health(1);
  hit_hero_by_enemy();
  if (!until_mode(&game_over_mode, 20)) return run->fail("the hero's death did not end the game");
  follow_mode();
  note_progress("game over");
  for (int i = 0; i < 12; i++) idle();  // the banner's delay runs out
  push_input_event(IE_KEY_DOWN, ' ', 0, 0, 0, 0);
  idle();
  push_input_event(IE_KEY_UP, ' ', 0, 0, 0, 0);
  idle();
  if (cur_game_mode != &title_mode) return run->fail("a key on game over did not go back to the title");
  follow_mode();
  close_visit();  // the title's visit, which the next run goes on from
}

// The modes a run goes through, each visit with the events it plays (what it does on the way out
// included), and the run's progress at each stop.
const char* const EXPECTED_MODES[] = {
    "mode title: new_game, start_level",
    "mode play: -",
    "mode elevator: ascenda_elevator",
    "mode upgrade: upgrade_screen, upgrade_plus, upgrade_accept, start_level",
    "mode play: -",
    "mode elevator: ascenda_elevator",
    "mode upgrade: upgrade_screen, upgrade_accept, start_level",
    "mode play: -",
    "mode elevator: ascenda_elevator",
    "mode upgrade: upgrade_screen, upgrade_accept, start_level",
    "mode play: -",
    "mode elevator: ascenda_elevator",
    "mode upgrade: upgrade_screen, upgrade_accept, start_level",
    "mode play: -",
    "mode game over: hero_dead, game_over",
    "mode title: title_screen",
};
const char* const EXPECTED_PROGRESS[] = {
    "new game: level 1, points 0, fire rate 10.0, wall destruction 2",
    "upgrade screen: level 2, points 5, fire rate 10.0, wall destruction 2",
    "play: level 2, points 2, fire rate 11.0, wall destruction 2",
    "upgrade screen: level 3, points 7, fire rate 11.0, wall destruction 2",
    "play: level 3, points 7, fire rate 11.0, wall destruction 2",
    "upgrade screen: level 4, points 12, fire rate 11.0, wall destruction 2",
    "play: level 4, points 12, fire rate 11.0, wall destruction 2",
    "upgrade screen: level 5, points 17, fire rate 11.0, wall destruction 2",
    "play: level 5, points 17, fire rate 11.0, wall destruction 2",
    "game over: level 5, points 17, fire rate 11.0, wall destruction 2",
};

// The run's lines against the expected ones: the first difference.
void expect_lines(const char* what, const std::vector<std::string>& got, const char* const* want, size_t n) {
  for (size_t i = 0; i < std::max(got.size(), n); i++) {
    const char* w = i < n ? want[i] : "(none)";
    std::string g = i < got.size() ? got[i] : "(none)";
    if (g != w) return run->fail(std::string(what) + " " + std::to_string(i + 1) + ": " + g + " (expected " + w + ")");
  }
}

// The game log's lines from `from` on that name a mode's events, as "sound event '<name>'".
std::vector<std::string> logged_mode_events(size_t from) {
  std::ifstream in(get_appdata_folder_path("log.txt").c_str());
  std::vector<std::string> found;
  std::string line;
  size_t n = 0;
  while (std::getline(in, line))
    if (n++ >= from)
      for (const char* e : MODE_EVENTS)
        if (line.find(std::string("sound event '") + e + "'") != std::string::npos) found.push_back(e);
  return found;
}

size_t log_lines() {
  std::ifstream in(get_appdata_folder_path("log.txt").c_str());
  std::string line;
  size_t n = 0;
  while (std::getline(in, line)) n++;
  return n;
}

}  // namespace

// One update of the game's main loop: the scene's step through the current mode, then its frame on
// the recording device (whose log is dropped: the frame's calls are not what this checks).
void update_modes_once() {
  update_step(0.05f);
  clear_input();
  drive.updates++;
  d3d->BeginScene();
  render_frame(0.05f);
  d3d->EndScene();
  d3d9_recorder_log().clear();
}

int run_whole(uint64_t seed, int passes) {
  d3d9_recorder_reset();
  plat_init();
  plat_register_window_class("WorldDrive", [](WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) -> intptr_t {
    return plat_def_window_proc(w, m, wp, lp);
  });
  WindowHandle window = plat_create_window("drive", PLAT_STYLE_OVERLAPPED, false, 0, 0, 640, 360, PLAT_SHOW_NORMAL);
  isFullscreen = false;
  set_d3d_display_settings(app_display_settings());
  init_input(window);
  if (!window || !init_d3d(window, 640, 360)) die("no recording device");
  common_vb_writer.create(65536);
  init_debug_font();
  isAppActive = true;
  log_sound_events = true;
  init_scene();
  drive.modes = true;
  if (drive.startHealth == 0) drive.startHealth = 20;
  auto previous_observer = sound_event_observer;
  std::vector<std::string> first;
  int failures = 0;
  for (int pass = 0; pass < passes; pass++) {
    fprintf(out, "# run %d from seed %llu\n", pass + 1, (unsigned long long)seed);
    Run r;
    run = &r;
    size_t log_from = log_lines();
    sound_event_observer = [](int id) {
      drive.soundCount[id]++;
      drive.stepSounds.push_back(id);
      observe_mode_event(id);
    };
    play_run(seed);
    sound_event_observer = previous_observer;
    expect_lines("mode", r.modes, EXPECTED_MODES, sizeof(EXPECTED_MODES) / sizeof(EXPECTED_MODES[0]));
    expect_lines("progress", r.progress, EXPECTED_PROGRESS, sizeof(EXPECTED_PROGRESS) / sizeof(EXPECTED_PROGRESS[0]));
    // The game's own log holds the same events in the same order.
    std::vector<std::string> logged = logged_mode_events(log_from), seen;
    for (const std::string& l : r.lines)
      if (l.rfind("mode ", 0) == 0) {
        std::string events = l.substr(l.find(": ") + 2);
        std::istringstream in(events);
        std::string e;
        while (std::getline(in, e, ','))
          if (e != "-") seen.push_back(e[0] == ' ' ? e.substr(1) : e);
      }
    if (logged != seen)
      r.fail("the log's mode events differ from the run's (" + std::to_string(logged.size()) + " logged, " +
             std::to_string(seen.size()) + " seen)");
    failures += r.failures;
    if (pass == 0) first = r.lines;
    else if (r.lines != first) {
      fprintf(out, "FAIL: the second run from the same seed differs\n");
      failures++;
    }
    run = nullptr;
  }
  drive.modes = false;
  close_scene();
  close_debug_font();
  close_d3d();
  fprintf(out, "%s: %d failed\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}

}  // namespace world_drive
