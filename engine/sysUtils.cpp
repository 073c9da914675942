// Folders, absolute names, file times, libraries, pipes, the timer and the program-folder watch.
#include "engine/sysUtils.h"
#include <stdlib.h>
#include <string.h>
#include "engine/log.h"
#include "platform/platform.h"

char app_path[260];

bool get_exe_filename(char* buf, int size) { return plat_get_exe_filename(buf, size); }

void cut_after_last_separator(char* name) {
  char* cut = name;
  for (char* p = name; *p; p++)
    if (*p == '/' || *p == '\\' || *p == ':') cut = p + 1;
  *cut = 0;
}

bool get_exe_path(char* buf, int size) {
  if (!get_exe_filename(buf, size)) return false;
  cut_after_last_separator(buf);
  return true;
}

static void add_separator(TempString<260>& s) {
  int l = s.length();
  if (l > 0 && s.str[l - 1] != '/') s.append("/");
}

// APPDATA when set (that is what a player may point elsewhere), else the XDG data home, else the
// program folder.
TempString<260> get_appdata_path() {
  TempString<260> r;
  const char* env = getenv("APPDATA");
  char buf[260];
  if (env && env[0]) {
    r.assign(env);
    add_separator(r);
  } else if (plat_get_user_data_folder(buf, sizeof(buf))) {
    r.assign(buf);
    add_separator(r);
  } else {
    r.assign(app_path);
  }
  return r;
}

TempString<260> get_appdata_path(const char* name) {
  TempString<260> r = get_appdata_path();
  r.assign(TempString<520>::make("%s%s", r.c_str(), name ? name : ""));
  return r;
}

TempString<260> get_appdata_folder_path(const char* name) {
  TempString<260> r = get_appdata_path();
  TempString<520> joined;
  joined.format("%sASCENDA/%s", r.c_str(), name ? name : "");
  r.assign(joined);
  return r;
}

TempString<260> make_full_path(const char* name) {
  if (!name) return TempString<260>(app_path);
  TempString<520> joined;
  bool absolute = name[0] == '/' || name[0] == '\\' || (name[0] && name[1] == ':');
  if (absolute) joined.assign(name);
  else joined.format("%s%s", app_path, name);
  for (char* p = joined.str; *p; p++)
    if (*p == '\\') *p = '/';
  char canon[260];
  TempString<260> r;
  // A drive-letter name has no meaning here and is kept as written.
  bool drive = joined.str[0] && joined.str[1] == ':';
  if (!drive && plat_full_path(joined, canon, sizeof(canon))) r.assign(canon);
  else r.assign(joined);
  return r;
}

uint64_t get_file_time(const char* name) { return plat_file_mtime(name); }

void shell_execute(const char* operation, const char* file, const char* parameters, const char* folder) {
  (void)operation;
  (void)parameters;
  (void)folder;
  // Opening documents is left to the desktop's opener; the game only uses it for web links.
  TempString<600> cmd;
  cmd.format("xdg-open '%s' >/dev/null 2>&1 &", file);
  if (!cmd.empty() && system(cmd) != 0) debug("can't open '%s'", file);
}

static TempString<1024> last_library_error;

// Our own modules (always named by a path) are checked before they are mapped: a half-copied or
// half-written file would otherwise fault inside the loader with nothing in the log. A bare name is
// a system library found by the loader's search. A missing file is said by the caller.
void* load_library(const char* file_name) {
  char why[512];
  if (strchr(file_name, '/') && !plat_check_shared_object(file_name, why, sizeof(why))) {
    last_library_error.format("'%s': %s", file_name, why);
    if (plat_file_mtime(file_name) != 0) debug("can't load %s", last_library_error.c_str());
    return nullptr;
  }
  void* m = plat_load_library(file_name);
  if (!m) {
    last_library_error.assign(plat_library_error());
    debug("can't load '%s': %s", file_name, last_library_error.c_str());
  }
  return m;
}
const char* get_library_error() { return last_library_error.c_str(); }
bool library_still_loaded(const char* file_name) { return plat_library_is_loaded(file_name); }
void* get_library_proc(void* module, const char* name) { return plat_get_library_proc(module, name); }
bool free_library(void* module) { return plat_free_library(module); }

int get_pipe_bytes_available(FILE* stream) {
  if (!stream) return 0;
  // Bytes the C runtime already holds count first; then what waits in the pipe.
  if (stream->_IO_read_end > stream->_IO_read_ptr) return int(stream->_IO_read_end - stream->_IO_read_ptr);
  int n = plat_pipe_bytes_available(fileno(stream));
  return n < 0 ? 1 : n;
}

static int64_t timer_frequency = 1;
static double timer_frequency_inv = 1.0;

void init_timer() {
  timer_frequency = plat_counter_frequency();
  if (timer_frequency < 1) timer_frequency = 1;
  timer_frequency_inv = 1.0 / double(timer_frequency);
}
int64_t get_ref_time() { return plat_counter(); }
int64_t time_ticks_per_sec() { return timer_frequency; }
int64_t msec_to_ticks(int64_t ms) { return ms * timer_frequency / 1000; }
int get_time_msec(int64_t ticks) { return int(ticks * 1000 / timer_frequency); }
int get_time_usec(int64_t ticks) { return int(ticks * 1000000 / timer_frequency); }
float get_time_sec(int64_t ticks) { return float(double(ticks) * timer_frequency_inv); }

static int dir_watch = -1;

void open_dir_watch() { dir_watch = plat_dir_watch_open(app_path[0] ? app_path : "."); }

void poll_dir_watch() {
  // Reloads compare file times once a second; the records are only drained here. A watch that could
  // not be opened is tried again.
  if (dir_watch < 0) open_dir_watch();
  if (dir_watch >= 0) plat_dir_watch_poll(dir_watch);
}

void close_dir_watch() {
  if (dir_watch >= 0) plat_dir_watch_close(dir_watch);
  dir_watch = -1;
}

bool init_gpu_activity() { return false; }
bool get_gpu_activity(int* percent) {
  (void)percent;
  return false;
}
void close_gpu_activity() {}

uint64_t get_file_time_ns(const char* name) { return plat_file_mtime_ns(name); }
uint64_t get_file_stamp(const char* name) { return plat_file_stamp(name); }
