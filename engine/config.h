// The settings file "settings.cfg" in the data folder with its typed getters and setters, the
// command-line switches, and ConfigNode, which reads the same line grammar from other files.
#pragma once
#include "engine/appSettings.h"
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"

bool get_config_str(const char* key, char* buffer, int buffer_size);
bool set_config_str(const char* key, const char* value, int length = -1);
bool get_config_int(const char* key, int* out);
bool set_config_int(const char* key, int value);
bool get_config_bool(const char* key, bool* out);
bool set_config_bool(const char* key, bool value);
bool flush_app_config();
bool load_app_config();
bool save_app_config();
// Forgets the table so the next access loads the file again (tests).
void reset_app_config();

// What the settings file and the command line ask of this run. They are read into this value and
// the shell applies it (read_app_settings), so that the settings module writes nothing of the shell.
struct AppStartSettings {
  bool fullscreen;
  int screen_wd, screen_ht;  // 0 or less: chosen automatically
  bool vsync;
  bool multisampling;
  bool dev_keys;
};
// The file's values, each missing or unreadable one at its default.
AppStartSettings read_start_settings();
// The switches over them, each argument compared exactly and in order (a later one wins); the
// arguments that are none are named in one log line. Nothing is written back.
void apply_app_switches(AppStartSettings& settings, int argc, char** argv);
// What one argument of the game's command line is. A switch written wrongly is a known one with
// another case, a doubled dash or a value ("-WIN", "--win", "-win=1"): taken as unknown it would be
// dropped silently and the run would not be what was asked.
enum AppArgKind { APP_ARG_SWITCH, APP_ARG_HELP, APP_ARG_MISWRITTEN_SWITCH, APP_ARG_UNKNOWN };
AppArgKind classify_app_arg(const char* arg);
// Checked before anything starts: "--help" (or "-h") prints the usage on standard output and gives
// 0; a switch written wrongly prints it on standard error and gives 2; otherwise -1, the run goes on
// (other unknown arguments are ignored, and apply_app_switches logs them in one line).
int check_app_command_line(int argc, char** argv);
extern const char* const app_usage_text;
extern const char* vs_profile_name;
extern const char* ps_profile_name;
extern bool d3d_scene_without_rt_surface;

// Parses an integer with base prefixes (0x hexadecimal, leading 0 octal), optional sign and leading
// blanks, clamped to 32 bits. False when no digit was read.
bool parse_config_int(const char* text, int* out);

struct ConfigEntry {
  String key;
  String value;
};

// Calls visit(ctx, key, key_len, value, value_len) for every entry of the line grammar.
void parse_config_lines(const char* text, int length,
                        void (*visit)(void* ctx, const char* key, int key_len, const char* value, int value_len),
                        void* ctx);

struct ConfigNode {
  DynArray<ConfigEntry> entries;

  ConfigNode() = default;
  ~ConfigNode() { clear(); }
  void clear();
  static ConfigNode* fromFile(const char* name);
  bool load(const char* name);
  void parse(const char* text, int length);
  int findEntry(const char* key) const;
  bool hasValue(const char* key) const { return findEntry(key) >= 0; }
  const char* getStr(const char* key, const char* def) const;
  int getInt(const char* key, int def) const;
};
