// Helpers of the boss tests: the game's tile set loaded while a test runs. The tests look inside
// the boss's objects through the views of tools/harness/entlingViews.h.
#pragma once
#include <stdio.h>
#include <string.h>
#include "engine/sysUtils.h"
#include "entlingSupport.h"
#include "game/gen/loadTiles.h"
#include "game/levelGrid.h"

// The game's own tile set loaded while it lives (the boss builds itself from it), with the program
// folder pointed at it; both restored afterwards.
struct GameTilesLoaded {
  char savedAppPath[sizeof(app_path)];
  GameTilesLoaded() {
    memcpy(savedAppPath, app_path, sizeof(app_path));
    snprintf(app_path, sizeof(app_path), "%s", LEVEL_TILESET_DIR);
    testing::internal::CaptureStdout();
    load_level_tiles();
    testing::internal::GetCapturedStdout();
  }
  ~GameTilesLoaded() {
    close_level_tiles();
    memcpy(app_path, savedAppPath, sizeof(app_path));
  }
  GameTilesLoaded(const GameTilesLoaded&) = delete;
  GameTilesLoaded& operator=(const GameTilesLoaded&) = delete;
};
