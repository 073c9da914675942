// The game's top-level state machine: title, play, pause menu, game over, the elevator ride after a
// finished level, the upgrade screen between levels, and the developer's level viewer. Exactly one
// mode is current; the scene forwards every update, world drawing, GUI drawing and device reset to
// it. The menu modes drive the actor library's screens and learn that a screen is done from
// should_close_game_menu, which the screens set and every open function of the library clears.
#pragma once
#include "engine/misc/vecMath.h"

struct LevelCell;
struct LevelRenderer;
struct Texture;

class GameMode {
 public:
  virtual void enter(GameMode* previous) = 0;
  virtual void leave(GameMode* next) = 0;
  virtual void update(float dt) = 0;
  virtual void render(float t) = 0;
  virtual void renderGui(float t) = 0;
  virtual void onDeviceReset() = 0;
};

class TitleGameMode : public GameMode {
 public:
  void enter(GameMode*) override;
  void leave(GameMode*) override;
  void update(float dt) override;
  void render(float t) override;
  void renderGui(float t) override;
  void onDeviceReset() override {}
};

class PlayGameMode : public GameMode {
 public:
  void enter(GameMode*) override;
  void leave(GameMode*) override {}
  void update(float dt) override;
  void render(float t) override;
  void renderGui(float t) override;
  void onDeviceReset() override {}
};

class PauseMenuMode : public GameMode {
 public:
  void enter(GameMode*) override;
  void leave(GameMode*) override;
  void update(float dt) override;
  void render(float t) override;
  void renderGui(float t) override;
  void onDeviceReset() override {}
};

class GameOverMode : public GameMode {
 public:
  float delay = 0;  // seconds before a key may end the game
  void enter(GameMode*) override;
  void leave(GameMode*) override {}
  void update(float dt) override;
  void render(float t) override;
  void renderGui(float t) override;
  void onDeviceReset() override {}
};

// The lift that carries the hero up the opened shaft above the exit.
class ElevatorGameMode : public GameMode {
 public:
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the lift's cells, inclusive; y1 is its height once it rises
  int rows = 0;
  int step = 1;  // cells risen per update
  LevelRenderer* liftRenderer = nullptr;
  LevelCell* liftCells = nullptr;  // a copy of the exit area, on the shared heap
  ~ElevatorGameMode();
  void enter(GameMode*) override;
  void leave(GameMode*) override;
  void update(float dt) override;
  void render(float t) override;
  void renderGui(float) override {}
  void onDeviceReset() override {}
  void freeLift();
};

class UpgradeGameMode : public GameMode {
 public:
  void enter(GameMode*) override;
  void leave(GameMode*) override;
  void update(float dt) override;
  void render(float) override {}
  void renderGui(float t) override;
  void onDeviceReset() override {}
};

// The developer's level viewer: the mouse pans the camera over the level, a minimap of the whole
// level sits at the bottom left, Space drops the hero at the view's centre.
class ViewLevelMode : public GameMode {
 public:
  vec4float viewPos = vec4float(0, 0, 0, 0);
  vec4float savedPos = vec4float(0, 0, 0, 0);
  bool mouseCentred = false;
  Texture* minimap = nullptr;
  void enter(GameMode*) override;
  void leave(GameMode*) override;
  void update(float dt) override;
  void render(float t) override;
  void renderGui(float t) override;
  void onDeviceReset() override {}
};

extern TitleGameMode title_mode;
extern PlayGameMode play_mode;
extern PauseMenuMode pause_mode;
extern GameOverMode game_over_mode;
extern ElevatorGameMode elevator_mode;
extern UpgradeGameMode upgrade_mode;
extern ViewLevelMode view_level_mode;

extern GameMode* cur_game_mode;
// Set by the library's screens when a menu is done; every open function of the library clears it.
extern bool should_close_game_menu;

// Leaves the current mode and enters m; nothing happens when m is already current.
void set_game_mode(GameMode* m);
// Back to the title (the pause menu's way out).
void go_to_main_menu();

// The exit: the first cell of collision type 3 scanning columns from the right and rows from the
// bottom; false when the level has none yet (a boss level before its boss is dead).
bool find_level_exit(int* x, int* y);
// One texel of the level viewer's minimap: the mean of the 4 x 4 cells from (4i, 4j), each the
// foreground colour when present, else the background colour.
D3dColor minimap_texel(int i, int j);
