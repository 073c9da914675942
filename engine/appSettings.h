// The game's own settings in "settings.cfg": each one's key, type, default and range, written once
// in the list below. The start-up, the options screen and the save all go through it, so a setting
// cannot be read with one default in one place and another elsewhere. The keys are those of the
// files players already have; the control bindings have their list beside the buttons
// (game/controls). The actor library includes this header whole: it names the settings by their
// ids, and the table itself, with its reads and writes, lives in the program (engine/config.cpp).
#pragma once
#include <limits.h>

enum AppSettingType { APP_SETTING_INT, APP_SETTING_BOOL };

// id, key, type, default, lowest, highest. A stored int outside its range is brought to the nearer
// end when read. The screen size has none here: the display bounds it, and the shell clamps it
// at start-up.
#define APP_SETTINGS_LIST(X)                                        \
  X(SCREEN_WD, "screen_wd", APP_SETTING_INT, 0, INT_MIN, INT_MAX)   \
  X(SCREEN_HT, "screen_ht", APP_SETTING_INT, 0, INT_MIN, INT_MAX)   \
  X(FULLSCREEN, "fullscreen", APP_SETTING_BOOL, 1, 0, 1)            \
  X(VSYNC, "vsync", APP_SETTING_BOOL, 1, 0, 1)                      \
  X(DEVKEYS, "devkeys", APP_SETTING_BOOL, 0, 0, 1)                  \
  X(PROCESS_PRIORITY, "process_priority", APP_SETTING_INT, 0, 0, 2) \
  X(MUSIC_VOLUME, "music_volume", APP_SETTING_INT, 10000, 0, 10000)

enum AppSetting {
#define APP_SETTING_ID(id, key, type, def, lowest, highest) SETTING_##id,
  APP_SETTINGS_LIST(APP_SETTING_ID)
#undef APP_SETTING_ID
      NUM_APP_SETTINGS
};

struct AppSettingDef {
  const char* key;
  AppSettingType type;
  int def;
  int lowest, highest;
};

const AppSettingDef& app_setting_def(AppSetting id);
// The stored value (0 or 1 for a bool); the default when the key is missing or unreadable. An int
// outside its range comes back at the nearer end, and the log says so.
int get_app_setting(AppSetting id);
// Stores the value as its type is written: "%d" for an int, 1 or 0 for a bool.
bool set_app_setting(AppSetting id, int value);
// Whether a value lies in the setting's range (values that come from elsewhere than the file).
bool app_setting_in_range(AppSetting id, int value);
