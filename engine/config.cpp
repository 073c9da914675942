// Settings table, its file, the command-line switches and ConfigNode. Both readers share one line
// grammar: "key = value" lines, whole-line "//" comments, CR and LF line ends.
#include "engine/config.h"
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <new>
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"

const char* vs_profile_name = "vs_2_0";
const char* ps_profile_name = "ps_2_0";
bool d3d_scene_without_rt_surface = true;

static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_eol(char c) { return c == '\r' || c == '\n'; }

void parse_config_lines(const char* text, int length, void (*visit)(void*, const char*, int, const char*, int),
                        void* ctx) {
  int i = 0;
  while (i < length) {
    while (i < length && is_blank(text[i])) i++;
    if (i >= length) break;
    if (is_eol(text[i])) {
      while (i < length && is_eol(text[i])) i++;
      continue;
    }
    if (text[i] == '/' && i + 1 < length && text[i + 1] == '/') {
      while (i < length && text[i] != '\r' && text[i] != '\n') i++;
      if (i < length && text[i] == '\r') i++;
      while (i < length && is_eol(text[i])) i++;
      continue;
    }
    int key_start = i;
    while (i < length && !is_blank(text[i]) && text[i] != '=' && !is_eol(text[i])) i++;
    int key_len = i - key_start;
    while (i < length && is_blank(text[i])) i++;
    if (i >= length || text[i] != '=') continue;  // no entry: scanning goes on from here
    i++;
    while (i < length && is_blank(text[i])) i++;
    int value_start = i;
    while (i < length && !is_eol(text[i])) i++;
    int value_end = i;
    while (value_end > value_start && is_blank(text[value_end - 1])) value_end--;
    while (i < length && is_eol(text[i])) i++;
    if (key_len == 16 && memcmp(text + key_start, "_CONFIG_VERSION_", 16) == 0) continue;
    visit(ctx, text + key_start, key_len, text + value_start, value_end - value_start);
  }
}

bool parse_config_int(const char* text, int* out) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') p++;
  const char* digits = p;
  if (*digits == '+' || *digits == '-') digits++;
  bool hex = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  bool any = hex ? isxdigit((unsigned char)digits[2]) != 0 : (*digits >= '0' && *digits <= '9');
  if (!any) {
    // "0x" with no hex digit still reads the 0.
    if (!(digits[0] == '0')) return false;
  }
  errno = 0;
  long long v = strtoll(p, nullptr, 0);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *out = int(v);
  return true;
}

// ---- settings table

struct SettingEntry {
  char* key;
  char* value;
  int key_len;
  int value_len;
};

static DynArray<SettingEntry> settings;
static bool settings_loaded = false;
static bool settings_saved = false;
// The file exists but could not be read: it may hold the user's choices, so it is never replaced
// during this run, and changes live in memory only.
static bool settings_file_kept = false;
// A failed save is reported once; the flushes that follow retry quietly until one succeeds.
static bool save_failure_reported = false;

// Larger files are not settings; reading them whole would only cost memory.
static const long MAX_SETTINGS_FILE_SIZE = 64 << 20;

static char* heap_text(const char* s, int l) {
  char* p = (char*)dlmalloc(size_t(l) + 1);
  ASSERT(p);
  memcpy(p, s, size_t(l));
  p[l] = 0;
  return p;
}

static void free_settings() {
  for (SettingEntry& e : settings) {
    dlfree(e.key);
    dlfree(e.value);
  }
  settings.clear();
}

static void add_setting(void*, const char* key, int key_len, const char* value, int value_len) {
  SettingEntry e{heap_text(key, key_len), heap_text(value, value_len), key_len, value_len};
  settings.push_back(e);
}

static PathString settings_file_name() { return get_appdata_folder_path("settings.cfg"); }

static void keep_unreadable_file(const char* name, const char* why) {
  settings_file_kept = true;
  debug("can't read '%s' (%s): using the default settings, the file is left as it is", name, why);
}

bool load_app_config() {
  PathString name = settings_file_name();
  int error = 0;
  FILE* f = open_regular_file(name, &error);
  if (!f) {
    if (!file_error_is_missing(error)) keep_unreadable_file(name, file_error_text(error));
    return false;
  }
  bool ok = false;
  const char* why = nullptr;
  long size = -1;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  if (size < 0 || fseek(f, 0, SEEK_SET) != 0) why = strerror(errno);
  else if (size > MAX_SETTINGS_FILE_SIZE) why = "too large";
  else {
    char* buf = (char*)dlmalloc(size_t(size) + 1);
    if (!buf) why = "out of memory";
    else if (fread(buf, 1, size_t(size), f) != size_t(size))
      why = ferror(f) ? strerror(errno) : "shorter than its size";
    else {
      buf[size] = 0;
      free_settings();
      parse_config_lines(buf, int(size), add_setting, nullptr);
      ok = true;
    }
    dlfree(buf);
  }
  fclose(f);
  if (!ok) keep_unreadable_file(name, why);
  return ok;
}

static bool save_failed(const char* name, const char* why) {
  if (!save_failure_reported) debug("can't save the settings to '%s': %s", name, why);
  save_failure_reported = true;
  return false;
}

// Writes a temporary file beside the settings and renames it over them, so that a crash or a full
// disk in the middle of a save never leaves a truncated settings file behind; the folder is synced
// after the rename so that the new name survives a power cut too. A settings file that is a link
// (kept with the user's other dotfiles, say) is saved through it: the temporary file goes beside
// the link's target and replaces that, so the link stays and its target is never stale.
bool save_app_config() {
  PathString name = settings_file_name();
  if (settings_file_kept) return false;
  PathString folder = get_appdata_folder_path("");
  plat_make_folder(folder);
  PathString target;
  if (!plat_link_target(name, target.str, target.capacity())) return save_failed(name, strerror(errno));
  PathString temp;
  temp.format("%s.tmp", target.c_str());
  if (temp.empty()) return save_failed(target, "name too long");
  PathString target_folder = target;
  if (char* slash = strrchr(target_folder.str, '/')) slash[1] = 0;
  else target_folder = ".";
  FILE* f = fopen(temp, "wt");
  if (!f) return save_failed(temp, strerror(errno));
  // The new file keeps the old one's permissions: a user who made the settings private keeps them so.
  struct stat old_file;
  if (stat(target, &old_file) == 0) fchmod(fileno(f), old_file.st_mode & 07777);
  bool ok = fputs("// Game settings\n_CONFIG_VERSION_=1\n\n", f) >= 0;
  for (int i = 0; ok && i < settings.size(); i++) {
    const SettingEntry& e = settings[i];
    ok = fwrite(e.key, 1, size_t(e.key_len), f) == size_t(e.key_len) && fputc('=', f) != EOF &&
         fwrite(e.value, 1, size_t(e.value_len), f) == size_t(e.value_len) && fputc('\n', f) != EOF;
  }
  ok = (fflush(f) == 0) && ok;
  ok = (fsync(fileno(f)) == 0) && ok;
  int write_error = ok ? 0 : errno;
  ok = (fclose(f) == 0) && ok;
  if (!ok || rename(temp, target) != 0) {
    int e = write_error ? write_error : errno;
    remove(temp);
    return save_failed(target, strerror(e));
  }
  plat_sync_folder(target_folder);
  save_failure_reported = false;
  debug("app config saved");
  return true;
}

static void ensure_settings_loaded() {
  if (settings_loaded) return;
  settings_loaded = true;
  settings_saved = load_app_config();
}

void reset_app_config() {
  free_settings();
  settings.free();
  settings_loaded = false;
  settings_saved = false;
  settings_file_kept = false;
  save_failure_reported = false;
}

static SettingEntry* find_setting(const char* key) {
  int l = (int)strlen(key);
  for (SettingEntry& e : settings)
    if (e.key_len == l && memcmp(e.key, key, size_t(l)) == 0) return &e;
  return nullptr;
}

bool get_config_str(const char* key, char* buffer, int buffer_size) {
  ensure_settings_loaded();
  SettingEntry* e = find_setting(key);
  if (!e || e->value_len + 1 > buffer_size) return false;
  memcpy(buffer, e->value, size_t(e->value_len) + 1);
  return true;
}

bool set_config_str(const char* key, const char* value, int length) {
  ensure_settings_loaded();
  if (!value) value = "";
  if (length < 0) length = (int)strlen(value);
  SettingEntry* e = find_setting(key);
  if (e) {
    char* v = heap_text(value, length);
    dlfree(e->value);
    e->value = v;
    e->value_len = length;
  } else {
    add_setting(nullptr, key, (int)strlen(key), value, length);
  }
  settings_saved = false;
  return true;
}

bool get_config_int(const char* key, int* out) {
  char buf[64];
  if (!get_config_str(key, buf, sizeof(buf))) return false;
  return parse_config_int(buf, out);
}

bool set_config_int(const char* key, int value) {
  char buf[16];
  snprintf(buf, sizeof(buf), "%d", value);
  return set_config_str(key, buf);
}

bool get_config_bool(const char* key, bool* out) {
  int v;
  if (!get_config_int(key, &v)) return false;
  *out = v != 0;
  return true;
}

bool set_config_bool(const char* key, bool value) { return set_config_str(key, value ? "1" : "0"); }

bool flush_app_config() {
  // Nothing was ever read or set: there is nothing to write, and writing would replace the user's
  // file with an empty table.
  // A file that could not be read is never replaced. A save that fails stays due, so the next
  // flush tries again.
  if (!settings_loaded || settings_saved || settings_file_kept) return true;
  settings_saved = save_app_config();
  return settings_saved;
}

// ---- the game's settings

static const AppSettingDef app_settings[NUM_APP_SETTINGS] = {
#define APP_SETTING_DEF(id, key, type, def, lowest, highest) {key, type, def, lowest, highest},
    APP_SETTINGS_LIST(APP_SETTING_DEF)
#undef APP_SETTING_DEF
};

const AppSettingDef& app_setting_def(AppSetting id) {
  ASSERT(id >= 0 && id < NUM_APP_SETTINGS);
  return app_settings[id];
}

bool app_setting_in_range(AppSetting id, int value) {
  const AppSettingDef& d = app_setting_def(id);
  return value >= d.lowest && value <= d.highest;
}

int get_app_setting(AppSetting id) {
  const AppSettingDef& d = app_setting_def(id);
  int v;
  if (!get_config_int(d.key, &v)) return d.def;
  if (d.type == APP_SETTING_BOOL) return v != 0;
  int kept = v < d.lowest ? d.lowest : v > d.highest ? d.highest : v;
  if (kept != v) debug("%s %d out of range, using %d", d.key, v, kept);
  return kept;
}

bool set_app_setting(AppSetting id, int value) {
  const AppSettingDef& d = app_setting_def(id);
  if (d.type == APP_SETTING_BOOL) return set_config_bool(d.key, value != 0);
  return set_config_int(d.key, value);
}

// ---- start-up settings and switches

AppStartSettings read_start_settings() {
  AppStartSettings s;
  s.screen_wd = get_app_setting(SETTING_SCREEN_WD);
  s.screen_ht = get_app_setting(SETTING_SCREEN_HT);
  s.fullscreen = get_app_setting(SETTING_FULLSCREEN) != 0;
  s.vsync = get_app_setting(SETTING_VSYNC) != 0;
  s.dev_keys = get_app_setting(SETTING_DEVKEYS) != 0;
  s.multisampling = false;  // a switch alone turns it on, for one run
  // The renderer's fixed choices, the same on every start.
  d3d_scene_without_rt_surface = true;
  vs_profile_name = "vs_2_0";
  ps_profile_name = "ps_2_0";
  return s;
}

void apply_app_switches(AppStartSettings& s, int argc, char** argv) {
  // As much of them as fits on one line (the rest counted), each escaped: the log is read on
  // terminals, and an argument may carry their escape sequences.
  char unknown[1024] = "";
  int unknown_count = 0, cut_count = 0;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (!strcmp(a, "-720")) {
      s.screen_wd = 1280;
      s.screen_ht = 720;
    } else if (!strcmp(a, "-360")) {
      s.screen_wd = 640;
      s.screen_ht = 360;
    } else if (!strcmp(a, "-aa")) s.multisampling = true;
    else if (!strcmp(a, "-noaa")) s.multisampling = false;
    else if (!strcmp(a, "-vs")) s.vsync = true;
    else if (!strcmp(a, "-novs")) s.vsync = false;
    else if (!strcmp(a, "-fullscr")) s.fullscreen = true;
    else if (!strcmp(a, "-win")) s.fullscreen = false;
    else {
      unknown_count++;
      if (cut_count > 0) {
        cut_count++;
        continue;
      }
      if (unknown[0]) strcat(unknown, " ");
      if (!append_quoted_for_log(unknown, int(sizeof(unknown)), a)) cut_count = 1;
    }
  }
  if (cut_count > 0)
    debug("ignoring unknown command-line arguments: %s (the line is cut: %d of the %d not shown in full)", unknown,
          cut_count, unknown_count);
  else if (unknown_count > 0) debug("ignoring unknown command-line arguments: %s", unknown);
}

// ---- the command line's check before start-up

namespace {
const char* const app_switches[] = {"-720", "-360", "-aa", "-noaa", "-vs", "-novs", "-fullscr", "-win"};
}

const char* const app_usage_text =
    "usage: game [switch]...\n"
    "Starts ASCENDA!. The switches override the settings for this run only (nothing is saved):\n"
    "  -win       play in a window\n"
    "  -fullscr   play full screen\n"
    "  -360       640 x 360\n"
    "  -720       1280 x 720\n"
    "  -vs        vertical sync on\n"
    "  -novs      vertical sync off\n"
    "  -aa        multisampling on\n"
    "  -noaa      multisampling off\n"
    "  -h, --help this text\n"
    "A later switch overrides an earlier one. Other arguments are ignored and named in the log.\n"
    "Settings, logs and screenshots live in ASCENDA/ under $APPDATA when it is set, else under\n"
    "$XDG_DATA_HOME (~/.local/share). Without a display set SDL_VIDEODRIVER=offscreen.\n";

AppArgKind classify_app_arg(const char* arg) {
  if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) return APP_ARG_HELP;
  for (const char* s : app_switches)
    if (!strcmp(arg, s)) return APP_ARG_SWITCH;
  // The name without its dashes and without a value, compared without case.
  const char* name = arg;
  int dashes = 0;
  while (*name == '-' && dashes < 2) {
    name++;
    dashes++;
  }
  if (dashes == 0) return APP_ARG_UNKNOWN;
  size_t len = strcspn(name, "=");
  for (const char* s : app_switches)
    if (strlen(s + 1) == len && !strncasecmp(name, s + 1, len)) return APP_ARG_MISWRITTEN_SWITCH;
  return APP_ARG_UNKNOWN;
}

int check_app_command_line(int argc, char** argv) {
  for (int i = 1; i < argc; i++)
    if (classify_app_arg(argv[i]) == APP_ARG_HELP) {
      fputs(app_usage_text, stdout);
      return 0;
    }
  for (int i = 1; i < argc; i++)
    if (classify_app_arg(argv[i]) == APP_ARG_MISWRITTEN_SWITCH) {
      // Quoted as the log quotes it: the terminal would run an escape sequence in the argument.
      char shown[300] = "";
      append_quoted_for_log(shown, int(sizeof(shown)), argv[i]);
      fprintf(stderr, "game: %s is not a switch the game knows (they are exact, in lower case)\n%s", shown,
              app_usage_text);
      return 2;
    }
  return -1;
}

// ---- ConfigNode

void ConfigNode::clear() {
  for (ConfigEntry& e : entries) {
    e.key.clear();
    e.value.clear();
  }
  entries.free();
}

static void add_node_entry(void* ctx, const char* key, int key_len, const char* value, int value_len) {
  ConfigNode* node = (ConfigNode*)ctx;
  ConfigEntry& e = node->entries.push_back();  // zero-filled: two null Strings
  e.key.set(key, key_len);
  e.value.set(value, value_len);
}

void ConfigNode::parse(const char* text, int length) { parse_config_lines(text, length, add_node_entry, this); }

bool ConfigNode::load(const char* name) {
  int error = 0;
  FILE* f = open_regular_file(name, &error);
  if (!f) return false;
  bool ok = false;
  if (fseek(f, 0, SEEK_END) == 0) {
    long size = ftell(f);
    if (size >= 0 && size < INT_MAX && fseek(f, 0, SEEK_SET) == 0) {
      char* buf = (char*)dlmalloc(size_t(size) + 1);
      if (buf && fread(buf, 1, size_t(size), f) == size_t(size)) {
        parse(buf, int(size));
        ok = true;
      }
      dlfree(buf);
    }
  }
  fclose(f);
  return ok;
}

ConfigNode* ConfigNode::fromFile(const char* name) {
  void* mem = dlmalloc(sizeof(ConfigNode));
  ConfigNode* n = new (mem) ConfigNode();
  if (!n->load(name)) {
    n->~ConfigNode();
    dlfree(mem);
    return nullptr;
  }
  return n;
}

int ConfigNode::findEntry(const char* key) const {
  for (int i = 0; i < entries.size(); i++)
    if (strcmp(entries[i].key.text(), key) == 0) return i;
  return -1;
}

const char* ConfigNode::getStr(const char* key, const char* def) const {
  int i = findEntry(key);
  return i < 0 ? def : entries[i].value.text();
}

int ConfigNode::getInt(const char* key, int def) const {
  int i = findEntry(key);
  if (i < 0) return def;
  int v;
  return parse_config_int(entries[i].value.text(), &v) ? v : def;
}
