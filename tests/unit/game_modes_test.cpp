// The game modes driven headless through the scene's update step (fixed step 0.05 s, scripted key
// presses and releases), with the actor library replaced by recorders: the order of the calls and
// sound events each transition makes, the game-over delay, the elevator's shaft and ride, the
// developer keys that switch modes, and the level viewer's minimap texels.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "engine/app.h"
#include "engine/config.h"
#include "engine/input.h"
#include "engine/log.h"
#include "game/controls.h"
#include "game/entlingApi.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/gen/levelGenRuntime.h"
#include "game/gen/loadTiles.h"
#include "game/levelGrid.h"
#include "game/progression.h"
#include "level_fixtures.h"
#include "platform/platform.h"
#include "platform/vkeys.h"

namespace {
std::vector<std::string> calls;
int hero_health = 10;
std::vector<float> lift_heights;

void rec(const char* what) { calls.push_back(what); }

void install_recorders() {
  calls.clear();
  lift_heights.clear();
  hero_health = 10;
  open_main_menu = [] { rec("open_main_menu"); };
  open_game_menu = [] { rec("open_game_menu"); };
  open_upgrade_screen = [] { rec("open_upgrade_screen"); };
  close_game_menu = [] { rec("close_game_menu"); };
  update_game_menu = [](float) { rec("update_game_menu"); };
  draw_game_menu = [](float) {};
  show_game_over = [](bool on) { rec(on ? "show_game_over(1)" : "show_game_over(0)"); };
  update_hud = [] {};
  draw_hud = [] {};
  update_entling = [](float) { rec("update_entling"); };
  get_hero_health = [] { return hero_health; };
  play_sound_event_no_pos = [](int e) -> uint32_t {
    calls.push_back("event " + std::to_string(e));
    return 0;
  };
  remove_all_enemies = [] { rec("remove_all_enemies"); };
  remove_all_bonuses = [] {};
  reset_bullets = [] { rec("reset_bullets"); };
  delete_entling = [] {};
  select_level_enemies = [] {};
  add_enemy = [](int, float, float) -> Entling* { return nullptr; };
  reset_hero = [](float, float) {};
  get_hero_pos = [] { return vec4float(0, 0, 0.5f, 1); };
  get_hero_target = [] { return vec4float(0, 0, 0, 1); };
  move_hero = [](vec4float p, float) {
    lift_heights.push_back(p.y());
    EXPECT_EQ(p.z(), 0.5f);  // the hero keeps its depth
  };
}

void post(unsigned msg, int vk) {
  plat_null_post_message(msg, uintptr_t(vk), intptr_t(1));
  pump_messages();
}

// One update step with the keys pressed and released during it.
void step(std::initializer_list<int> down = {}, std::initializer_list<int> up = {}) {
  for (int vk : down) post(WM_KEYDOWN, vk);
  for (int vk : up) post(WM_KEYUP, vk);
  update_step(0.05f);
  clear_input();
}

std::vector<std::string> take_calls() {
  std::vector<std::string> c;
  c.swap(calls);
  return c;
}

bool has(const std::vector<std::string>& c, const std::string& s) {
  for (const std::string& x : c)
    if (x == s) return true;
  return false;
}

// A block of exit cells, every one with a background and a foreground colour.
void place_exit(int x0, int y0, int x1, int y1) {
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) level_cell(x, y) = LevelCell{0x8001, 0x8002, LEVEL_COLL_EXIT};
}

class GameModes : public level_test::LevelTest {
 protected:
  void* saved[NUM_ENTLING_API];
  static void SetUpTestSuite() {
    plat_init();
    register_window_class();
    plat_create_window("t", PLAT_STYLE_OVERLAPPED, false, 0, 0, 64, 64, PLAT_SHOW_NORMAL);
  }
  void SetUp() override {
    for (int i = 0; i < NUM_ENTLING_API; i++) saved[i] = *entling_api_slot(i);
    LevelTest::SetUp();
    // Settings and the log go to the test's own folder: the key bindings below are settings.
    setenv("APPDATA", root.c_str(), 1);
    close_debug_log();
    reset_app_config();
    install_recorders();
    isAppActive = true;
    use_dev_keys = true;
    game_paused = false;
    reached_exit = false;
    should_close_game_menu = false;
    set_button_key(B_menu, VK_ESCAPE);
    set_button_key(B_jump, 'W');
    set_button_key(B_shoot, 1);
    clear_input();
  }
  void TearDown() override {
    cur_game_mode = nullptr;
    elevator_mode.freeLift();
    use_dev_keys = false;
    game_paused = false;
    close_debug_log();
    reset_app_config();
    LevelTest::TearDown();
    for (int i = 0; i < NUM_ENTLING_API; i++) *entling_api_slot(i) = saved[i];
  }
  void usePlayMode() {
    set_game_mode(&play_mode);
    calls.clear();
  }
  void useTileSet() {
    use_folder(LEVEL_TILESET_DIR);
    load_level_tiles();
    init_level_tile_pools();
    level_layout_generator = build_level_layout;
  }
};

TEST_F(GameModes, SwitchingToTheCurrentModeCallsNeitherLeaveNorEnter) {
  set_game_mode(&title_mode);
  EXPECT_EQ(take_calls(), std::vector<std::string>{"open_main_menu"});
  set_game_mode(&title_mode);
  EXPECT_TRUE(take_calls().empty());
  set_game_mode(&pause_mode);
  EXPECT_EQ(take_calls(), (std::vector<std::string>{"close_game_menu", "open_game_menu"}));
  EXPECT_TRUE(game_paused);
  go_to_main_menu();
  EXPECT_EQ(cur_game_mode, &title_mode);
  EXPECT_FALSE(game_paused);
}

TEST_F(GameModes, TitleMenuClosingStartsANewGameInPlay) {
  useTileSet();
  cur_level = 3;
  set_game_mode(&title_mode);
  step();
  EXPECT_EQ(cur_game_mode, &title_mode);
  calls.clear();
  should_close_game_menu = true;
  step();
  EXPECT_EQ(cur_game_mode, &play_mode);
  EXPECT_EQ(cur_level, 1);  // reset_game
  EXPECT_EQ(take_calls(),
            (std::vector<std::string>{"update_game_menu", "event 24", "remove_all_enemies", "reset_bullets", "event 21",
                                      "close_game_menu", "show_game_over(0)"}));
}

TEST_F(GameModes, MenuButtonPausesWithoutTheWorldStepAndTheMenuResumes) {
  usePlayMode();
  step();
  EXPECT_TRUE(has(take_calls(), "update_entling"));
  step({VK_ESCAPE});
  EXPECT_EQ(cur_game_mode, &pause_mode);
  EXPECT_TRUE(game_paused);
  EXPECT_FALSE(has(take_calls(), "update_entling"));
  should_close_game_menu = true;
  step();
  EXPECT_EQ(cur_game_mode, &play_mode);
  EXPECT_FALSE(game_paused);
}

// The delay is 0.5 s: releases during it do nothing; it runs out in update 10, which only plays
// "game_over"; from update 11 a release ends the game, and the world keeps updating throughout.
TEST_F(GameModes, GameOverIgnoresKeysUntilTheDelayHasRunOut) {
  usePlayMode();
  hero_health = 0;
  step();
  ASSERT_EQ(cur_game_mode, &game_over_mode);
  EXPECT_TRUE(has(take_calls(), "event 3"));
  for (int n = 1; n <= 10; n++) {
    step({VK_SPACE, VK_RETURN}, {VK_SPACE, VK_RETURN, VK_ESCAPE});
    std::vector<std::string> c = take_calls();
    EXPECT_EQ(cur_game_mode, &game_over_mode) << "update " << n;
    EXPECT_TRUE(has(c, "update_entling")) << "update " << n;
    EXPECT_EQ(has(c, "event 4"), n == 10) << "update " << n;
    EXPECT_FALSE(has(c, "show_game_over(1)")) << "update " << n;
  }
  step();
  EXPECT_TRUE(has(take_calls(), "show_game_over(1)"));
  EXPECT_EQ(cur_game_mode, &game_over_mode);
  step({}, {VK_SPACE});
  EXPECT_EQ(cur_game_mode, &title_mode);
}

TEST_F(GameModes, EveryEndKeyLeavesGameOver) {
  struct {
    int vk;
    const char* name;
  } keys[] = {{VK_SPACE, "Space"}, {VK_RETURN, "Enter"}, {'W', "jump"}, {VK_ESCAPE, "menu"}};
  for (auto k : keys) {
    usePlayMode();
    hero_health = 0;
    step();
    game_over_mode.delay = 0;
    step({}, {k.vk});
    EXPECT_EQ(cur_game_mode, &title_mode) << k.name;
    hero_health = 10;
  }
}

TEST_F(GameModes, DyingOnTheExitGoesThroughGameOverIntoTheElevator) {
  place_exit(100, 40, 103, 42);
  usePlayMode();
  hero_health = 0;
  reached_exit = true;
  step();
  EXPECT_EQ(cur_game_mode, &elevator_mode);
  std::vector<std::string> c = take_calls();
  EXPECT_TRUE(has(c, "event 3"));
  EXPECT_TRUE(has(c, "event 16"));
}

TEST_F(GameModes, ElevatorOpensTheShaftAndLiftsTheHeroToTheTop) {
  place_exit(100, 40, 107, 44);
  place_exit(20, 10, 21, 11);  // more than 32 cells away: not part of the lift
  level_cell(104, 100) = LevelCell{0x8003, 0x8004, LEVEL_COLL_SOLID};
  level_cell(108, 100) = LevelCell{0x8003, 0x8004, LEVEL_COLL_SOLID};
  int level = cur_level = 2;
  usePlayMode();
  reached_exit = true;
  step();
  ASSERT_EQ(cur_game_mode, &elevator_mode);
  EXPECT_EQ(take_calls(),
            (std::vector<std::string>{"update_entling", "remove_all_enemies", "reset_bullets", "event 16"}));
  EXPECT_EQ(elevator_mode.x0, 100);
  EXPECT_EQ(elevator_mode.x1, 107);
  EXPECT_EQ(elevator_mode.y0, 40);
  EXPECT_EQ(elevator_mode.y1, 44);
  EXPECT_EQ(elevator_mode.rows, 5);
  ASSERT_NE(elevator_mode.liftCells, nullptr);
  EXPECT_EQ(elevator_mode.liftCells[0].foreground, 0x8002);  // the lift keeps its own copy
  // The shaft: foregrounds above the lift cleared, walls and backgrounds kept; outside untouched.
  EXPECT_EQ(level_cell(104, 100).foreground, 0);
  EXPECT_EQ(level_cell(104, 100).background, 0x8003);
  EXPECT_EQ(level_cell(104, 100).collision, LEVEL_COLL_SOLID);
  EXPECT_EQ(level_cell(108, 100).foreground, 0x8004);
  EXPECT_EQ(level_cell(104, 44).foreground, 0x8002);

  for (int n = 0; n < 40 && cur_game_mode == &elevator_mode; n++) step();
  EXPECT_EQ(cur_game_mode, &upgrade_mode);
  EXPECT_EQ(cur_level, level + 1);
  ASSERT_GE(lift_heights.size(), 12u);
  // 1, 2, ..., 9 cells and then 10 a step, stopping at row 255.
  float expect = 44;
  for (size_t i = 0; i < lift_heights.size(); i++) {
    expect += float(i < 9 ? i + 1 : 10);
    if (expect > 255) expect = 255;
    EXPECT_EQ(lift_heights[i], expect) << "update " << i;
  }
  EXPECT_EQ(lift_heights.back(), 255.0f);
  EXPECT_EQ(elevator_mode.liftCells, nullptr);  // freed on leaving
  std::vector<std::string> c = take_calls();
  EXPECT_TRUE(has(c, "event 17"));
  EXPECT_TRUE(has(c, "open_upgrade_screen"));
}

TEST_F(GameModes, AnExitOnTheTopRowGoesStraightToTheUpgrades) {
  place_exit(50, 250, 55, 255);
  usePlayMode();
  reached_exit = true;
  step();
  ASSERT_EQ(cur_game_mode, &elevator_mode);
  step();
  EXPECT_EQ(cur_game_mode, &upgrade_mode);
  EXPECT_TRUE(lift_heights.empty());
}

TEST_F(GameModes, UpgradeScreenClosingStartsTheNextLevel) {
  useTileSet();
  cur_level = 2;
  set_game_mode(&upgrade_mode);
  EXPECT_EQ(take_calls(), (std::vector<std::string>{"event 17", "open_upgrade_screen"}));
  should_close_game_menu = true;
  step();
  EXPECT_EQ(cur_game_mode, &play_mode);
  EXPECT_EQ(take_calls(),
            (std::vector<std::string>{"update_game_menu", "event 20", "remove_all_enemies", "reset_bullets", "event 21",
                                      "close_game_menu", "show_game_over(0)"}));
}

// Ctrl+F1 asks for the elevator; a level without an exit (a boss level before the boss is dead)
// has no lift to ride, so the key does nothing there instead of stopping the game.
TEST_F(GameModes, CtrlF1GoesToTheElevatorOnlyWhenTheLevelHasAnExit) {
  usePlayMode();
  plat_null_set_key(VK_CONTROL, true);
  step({VK_F1});
  plat_null_set_key(VK_CONTROL, false);
  EXPECT_FALSE(reached_exit);
  step();
  EXPECT_EQ(cur_game_mode, &play_mode);

  place_exit(300, 20, 303, 22);
  plat_null_set_key(VK_CONTROL, true);
  step({VK_F1});
  plat_null_set_key(VK_CONTROL, false);
  // The play mode's update in the same step takes the hero to the elevator.
  EXPECT_EQ(cur_game_mode, &elevator_mode);
}

TEST_F(GameModes, CtrlF4RestartsTheLevelInPlace) {
  useTileSet();
  cur_level = 1;
  usePlayMode();
  reached_exit = true;
  game_rnd_seed = 99;
  plat_null_set_key(VK_CONTROL, true);
  step({VK_F4});
  plat_null_set_key(VK_CONTROL, false);
  EXPECT_FALSE(reached_exit);
  EXPECT_EQ(cur_game_mode, &play_mode);
  EXPECT_TRUE(has(take_calls(), "event 21"));
  EXPECT_NE(game_rnd_seed, 99u) << "a new level was generated";
}

TEST_F(GameModes, F5SwitchesBetweenPlayAndTheLevelViewerOnly) {
  set_game_mode(&title_mode);
  step({VK_F5});
  EXPECT_EQ(cur_game_mode, &title_mode);
  usePlayMode();
  step({VK_F5});
  EXPECT_EQ(cur_game_mode, &view_level_mode);
  step({VK_F5});
  EXPECT_EQ(cur_game_mode, &play_mode);
  step({VK_F5});
  step({}, {VK_ESCAPE});
  EXPECT_EQ(cur_game_mode, &play_mode);
  use_dev_keys = false;
  step({VK_F5});
  EXPECT_EQ(cur_game_mode, &play_mode);
}

// Ctrl+F4 restarts the level, Ctrl+F1 rides its elevator and F2 pauses its world only in play; in
// every other mode they change nothing (after game over Ctrl+F1 used to start the ride and open the
// next level with the hero still dead).
TEST_F(GameModes, LevelDeveloperKeysActOnlyInPlay) {
  useTileSet();
  cur_level = 1;
  struct {
    const char* name;
    void (*enter)();
    GameMode* mode;
  } modes[] = {
      {"title", [] { set_game_mode(&title_mode); }, &title_mode},
      {"pause", [] { set_game_mode(&pause_mode); }, &pause_mode},
      {"game over",
       [] {
         set_game_mode(&play_mode);
         hero_health = 0;
         step();
       },
       &game_over_mode},
      {"elevator",
       [] {
         set_game_mode(&play_mode);
         reached_exit = true;
         step();
       },
       &elevator_mode},
      {"upgrade", [] { set_game_mode(&upgrade_mode); }, &upgrade_mode},
      {"level viewer",
       [] {
         set_game_mode(&play_mode);
         step({VK_F5});
       },
       &view_level_mode},
  };
  const struct {
    const char* name;
    int vk;
    bool ctrl;
  } keys[] = {{"Ctrl+F1", VK_F1, true}, {"Ctrl+F4", VK_F4, true}, {"F2", VK_F2, false}};
  for (const auto& m : modes)
    for (const auto& k : keys) {
      SCOPED_TRACE(std::string(k.name) + " in " + m.name);
      set_game_mode(nullptr);
      place_exit(100, 40, 103, 42);
      hero_health = 10;
      reached_exit = false;
      game_paused = false;
      m.enter();
      ASSERT_EQ(cur_game_mode, m.mode);
      bool exit_before = reached_exit, paused_before = game_paused;
      calls.clear();
      plat_null_set_key(VK_CONTROL, k.ctrl);
      step({k.vk});
      plat_null_set_key(VK_CONTROL, false);
      EXPECT_EQ(cur_game_mode, m.mode);
      EXPECT_EQ(reached_exit, exit_before);
      EXPECT_EQ(game_paused, paused_before);
      EXPECT_FALSE(has(take_calls(), "event 21")) << "the level was restarted";
    }
  // In play each of them acts.
  set_game_mode(nullptr);
  usePlayMode();
  step({VK_F2});
  EXPECT_TRUE(game_paused);
  plat_null_set_key(VK_CONTROL, true);
  step({VK_F4});
  EXPECT_TRUE(has(take_calls(), "event 21"));
  step({VK_F1});
  plat_null_set_key(VK_CONTROL, false);
  EXPECT_EQ(cur_game_mode, &elevator_mode);
}

TEST(Minimap, TexelIsTheMeanOfItsSixteenCells) {
  clear_level_data();
  EXPECT_EQ(minimap_texel(0, 0), 0u);  // nothing present: transparent black
  // All 16 cells white in front: opaque white.
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) level_cell(4 + x, y).foreground = 0xFFFF;
  EXPECT_EQ(minimap_texel(1, 0), 0xFFFFFFFFu);
  // Half of them with only a red background (31 -> 255), the other half empty.
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 2; x++) level_cell(4 * 1023 + x, 4 * 63 + y).background = 0x8000 | (31 << 10);
  EXPECT_EQ(minimap_texel(1023, 63), 0x80800000u);
  // A foreground that is not present shows the background.
  level_cell(8, 8) = LevelCell{0x8000 | 16, 0x7FFF, 1};
  EXPECT_EQ(minimap_texel(2, 2), 0x10000008u);  // 16 -> 132, /16 -> 8; alpha 255/16 -> 16
  clear_level_data();
}
}  // namespace
