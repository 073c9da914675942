// Folders, absolute names, file times, libraries, pipes, the timer and the program-folder watch.
#include "engine/sysUtils.h"
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "platform/platform.h"

char app_path[MAX_PATH_BYTES];

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

[[noreturn]] static void path_too_long(const char* what, const char* a, const char* b = "") {
  fatal("%s is too long (%d bytes, at most %d): '%s%s'", what, int(strlen(a) + strlen(b)), MAX_PATH_BYTES - 1, a, b);
}

// Joins two parts; false when the result would not fit.
static bool join_path(PathString& out, const char* a, const char* b) {
  size_t la = strlen(a), lb = strlen(b);
  if (la + lb >= size_t(MAX_PATH_BYTES)) return false;
  memmove(out.str, a, la);
  memcpy(out.str + la, b, lb + 1);
  return true;
}

PathString make_path(const char* fmt, ...) {
  PathString r;
  va_list a;
  va_start(a, fmt);
  int n = vsnprintf(r.str, MAX_PATH_BYTES, fmt, a);
  va_end(a);
  if (n >= MAX_PATH_BYTES) {
    // Format it again whole, so the message names the path.
    char* whole = nullptr;
    va_start(a, fmt);
    if (vasprintf(&whole, fmt, a) < 0) whole = nullptr;
    va_end(a);
    path_too_long("path", whole ? whole : r.str);
  }
  if (n < 0) r.str[0] = 0;
  return r;
}

// APPDATA when set (that is what a player may point elsewhere), else the XDG data home, else the
// program folder.
PathString get_appdata_path() {
  PathString r;
  const char* env = getenv("APPDATA");
  char buf[MAX_PATH_BYTES];
  const char* base = app_path;
  if (env && env[0]) base = env;
  else if (plat_get_user_data_folder(buf, sizeof(buf))) base = buf;
  else {
    r.assign(app_path);
    return r;
  }
  size_t l = strlen(base);
  if (!join_path(r, base, l > 0 && base[l - 1] != '/' ? "/" : "")) path_too_long("the data folder", base);
  return r;
}

PathString get_appdata_path(const char* name) {
  PathString r = get_appdata_path();
  if (!join_path(r, r.str, name ? name : "")) path_too_long("path", r.str, name);
  return r;
}

PathString get_appdata_folder_path(const char* name) {
  PathString r = get_appdata_path("ASCENDA/");
  if (!join_path(r, r.str, name ? name : "")) path_too_long("path", r.str, name);
  return r;
}

bool try_make_full_path(const char* name, PathString& out) {
  if (!name) {
    out.assign(app_path);
    return true;
  }
  PathString joined;
  bool absolute = name[0] == '/' || name[0] == '\\' || (name[0] && name[1] == ':');
  if (!join_path(joined, absolute ? "" : app_path, name)) return false;
  for (char* p = joined.str; *p; p++)
    if (*p == '\\') *p = '/';
  // A drive-letter name has no meaning here and is kept as written.
  bool drive = joined.str[0] && joined.str[1] == ':';
  if (drive || !plat_full_path(joined, out.str, MAX_PATH_BYTES)) out = joined;
  return true;
}

PathString make_full_path(const char* name) {
  PathString r;
  if (!try_make_full_path(name, r)) path_too_long("file name", app_path, name);
  return r;
}

bool FolderWalk::enter(const char* path) {
  if (open.size() >= MAX_DEPTH) {
    debug("'%s' is more than %d folders deep: not read", path, int(MAX_DEPTH));
    return false;
  }
  Id id;
  if (!plat_folder_identity(path, &id.device, &id.inode)) return false;
  for (const Id& o : open)
    if (o.device == id.device && o.inode == id.inode) {
      debug("'%s' leads back into a folder being read (a link loop): not read again", path);
      return false;
    }
  open.push_back(id);
  return true;
}

uint64_t get_file_time(const char* name) { return plat_file_mtime(name); }
uint64_t get_file_size(const char* name) { return plat_file_size(name); }

FILE* open_regular_file(const char* name, int* error) { return plat_open_regular_file(name, error); }

const char* file_error_text(int error) {
  return error == PLAT_NOT_REGULAR_FILE ? "not a regular file" : strerror(error);
}

bool file_error_is_missing(int error) { return error == ENOENT || error == ENOTDIR; }

uint8_t* read_data_file(const char* path, size_t* size, const char** why, int64_t max_size) {
  *size = 0;
  int error = 0;
  FILE* f = open_regular_file(path, &error);
  if (!f) {
    *why = file_error_text(error);
    return nullptr;
  }
  uint8_t* data = nullptr;
  long n = -1;
  if (fseek(f, 0, SEEK_END) == 0) n = ftell(f);
  if (n < 0 || fseek(f, 0, SEEK_SET) != 0) *why = strerror(errno);
  else if (int64_t(n) > max_size) *why = "too large";
  else if (!(data = (uint8_t*)dlmalloc(size_t(n) + 1))) *why = "out of memory";
  else if (fread(data, 1, size_t(n), f) != size_t(n)) {
    *why = ferror(f) ? strerror(errno) : "shorter than its size";
    dlfree(data);
    data = nullptr;
  } else {
    data[n] = 0;
    *size = size_t(n);
  }
  fclose(f);
  return data;
}

void shell_execute(const char* operation, const char* file, const char* parameters, const char* folder) {
  (void)operation;
  (void)parameters;
  (void)folder;
  // Opening documents is left to the desktop's opener; the game only uses it for web links. There
  // is no result: a failure to start it is logged.
  if (!plat_open_document(file)) debug("can't open '%s'", file ? file : "");
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
static int dir_watch_records = 0;

void open_dir_watch() {
  dir_watch = plat_dir_watch_open(app_path[0] ? app_path : ".");
  dir_watch_records = 0;
}

void poll_dir_watch() {
  // Reloads compare file times once a second; the records are only drained here. A watch that could
  // not be opened is tried again.
  if (dir_watch < 0) open_dir_watch();
  if (dir_watch >= 0) dir_watch_records += plat_dir_watch_poll(dir_watch);
}

int dir_watch_record_count() { return dir_watch >= 0 ? dir_watch_records : -1; }

void close_dir_watch() {
  if (dir_watch >= 0) plat_dir_watch_close(dir_watch);
  dir_watch = -1;
}

// ---- GPU activity

namespace {
PathString gpu_busy_file;  // empty while no card reports its load

// The number of a "card<N>" entry, -1 for any other name (connectors are "card0-DP-1" and such).
int drm_card_number(const char* name) {
  if (strncmp(name, "card", 4) != 0 || !name[4]) return -1;
  int n = 0;
  for (const char* p = name + 4; *p; p++) {
    if (*p < '0' || *p > '9' || n > 100000) return -1;
    n = n * 10 + (*p - '0');
  }
  return n;
}

struct DrmCards {
  const char* folder;
  int best;  // lowest card number with a load file, -1 for none yet
};

void visit_drm_entry(void* ctx, const char* name, bool is_folder) {
  DrmCards* cards = (DrmCards*)ctx;
  int n = drm_card_number(name);
  if (!is_folder || n < 0 || (cards->best >= 0 && n >= cards->best)) return;
  PathString file = make_path("%s/%s/device/gpu_busy_percent", cards->folder, name);
  if (plat_file_mtime(file) != 0) cards->best = n;
}
}  // namespace

bool init_gpu_activity_in(const char* drm_folder) {
  gpu_busy_file = "";
  DrmCards cards = {drm_folder, -1};
  plat_list_folder(drm_folder, visit_drm_entry, &cards);
  if (cards.best < 0) return false;
  gpu_busy_file = make_path("%s/card%d/device/gpu_busy_percent", drm_folder, cards.best);
  return true;
}

bool init_gpu_activity() { return init_gpu_activity_in("/sys/class/drm"); }

// The file holds the load in percent and a line end, read afresh every time.
bool get_gpu_activity(int* percent) {
  if (gpu_busy_file.empty()) return false;
  FILE* f = fopen(gpu_busy_file, "rb");
  if (!f) return false;
  char text[16];
  size_t n = fread(text, 1, sizeof(text) - 1, f);
  fclose(f);
  text[n] = 0;
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (end == text || (*end && strcmp(end, "\n") != 0) || value < 0 || value > 100) return false;
  *percent = int(value);
  return true;
}

void close_gpu_activity() { gpu_busy_file = ""; }

uint64_t get_file_stamp(const char* name) { return plat_file_stamp(name); }
