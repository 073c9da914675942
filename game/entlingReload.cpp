// Loading, rebuilding and swapping the actor library while the game runs.
//
// Sections: the source watch (every file reachable through "import " lines, compared by full
// nanosecond times); the build (a shell script in the source folder, run as a child process whose
// output is read without ever waiting and echoed, error lines going to the screen); the swap (the
// fresh file is loaded on its own and checked first, so a broken or incompatible build leaves the
// running library alone); load and unload at start-up and shutdown.
#include "game/entlingReload.h"
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include "engine/cont/dynArray.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/entlingBind.h"
#include "game/entlingSourceRecord.h"
#include "platform/platform.h"

namespace {
struct EntlingWatch {
  PathString path;
  uint64_t time;
};

void* entling_module = nullptr;
PathString loaded_path;  // the exact name the module was loaded from, to ask the loader later
PathString source_folder;
PathString main_source;
DynArray<EntlingWatch> entling_watches;
// Sources named by an import that were missing when read: the build that follows fails, and the
// file's return must start the next one.
DynArray<EntlingWatch> entling_missing;

PlatChild rebuild = {-1, -1};
bool rebuild_output_ended = false;
int64_t rebuild_start = 0;
char rebuild_line[1024];
int rebuild_line_len = 0;
int rebuild_error_bytes = 0;     // error text put on screen by this build
uint64_t refused_new_stamp = 0;  // an "entling_new.dll" that was refused is not tried again unchanged
int longest_good_build_ms = 0;

// The on-screen message takes this much of a build's error lines; a build that fails with pages of
// errors would otherwise grow it without bound.
const int max_screen_error_bytes = 8192;
// One poll reads at most this long, so a build that floods its output cannot stall a frame.
const int poll_read_budget_us = 20000;
const int poll_read_budget_bytes = 4 << 20;
}  // namespace

int entling_rebuild_time_limit_ms = 10 * 60 * 1000;
int entling_rebuild_stale_floor_ms = 30 * 1000;

int entling_rebuild_stale_ms() {
  // Far longer than a normal build: a few times the longest one that succeeded, and never less than
  // the floor (the first build also configures its build tree).
  int by_history = longest_good_build_ms * 4;
  return by_history > entling_rebuild_stale_floor_ms ? by_history : entling_rebuild_stale_floor_ms;
}

bool entling_library_loaded() { return entling_module != nullptr; }
void* entling_library_module() { return entling_module; }
int entling_watch_count() { return entling_watches.size(); }
const char* entling_watch_path(int i) { return entling_watches[i].path.c_str(); }

// ---- the word test

static bool word_char(char c) { return isalnum((unsigned char)c) || c == '_'; }

bool line_reports_error(const char* line) {
  for (const char* p = line; *p; p++) {
    if (strncasecmp(p, "error", 5) != 0) continue;
    if (p > line && word_char(p[-1])) continue;
    const char* e = p + 5;
    if (*e == 's' || *e == 'S') {
      if (!word_char(e[1])) return true;
    }
    if (!word_char(*e)) return true;
  }
  return false;
}

// ---- the source watch

static bool regular_file(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

void scan_entling_sources(const char* path) {
  PathString full = make_full_path(path);
  for (const EntlingWatch& w : entling_watches)
    if (strcasecmp(w.path, full) == 0) return;
  // Only regular files: opening a FIFO would wait for a writer for ever.
  if (!regular_file(full)) {
    if (get_file_time(full) == 0) {
      for (const EntlingWatch& w : entling_missing)
        if (strcasecmp(w.path, full) == 0) return;
      entling_missing.push_back().path = full;
    }
    return;
  }
  FILE* f = fopen(full, "r");
  if (!f) return;
  EntlingWatch& w = entling_watches.push_back();
  w.path = full;
  w.time = get_file_time(full);
  char buf[256];
  bool at_line_start = true;
  while (fgets(buf, sizeof(buf), f)) {
    bool starts_line = at_line_start;
    size_t l = strlen(buf);
    at_line_start = l > 0 && buf[l - 1] == '\n';
    // The tail of a line longer than the buffer is not a line of its own.
    if (!starts_line || strncmp(buf, "import ", 7) != 0) continue;
    const char* p = buf + 7;
    while (*p == ' ' || *p == '\t') p++;
    const char* e = p;
    while (*e && *e != ' ' && *e != '\t' && *e != '\n' && *e != '\r') e++;
    if (e == p) continue;
    TempString<520> module;
    module.format("%s%.*s", source_folder.c_str(), int(e - p), p);
    for (char* c = module.str + source_folder.length(); *c; c++)
      if (*c == '.') *c = '/';
    module.append(".kst");
    if (module.length() >= 260) {
      debug("import of '%.*s' ignored: its path is too long", int(e - p), p);
      continue;
    }
    scan_entling_sources(module);
  }
  fclose(f);
}

static void free_watches() {
  entling_watches.free();
  entling_missing.free();
}

static bool sources_changed() {
  for (const EntlingWatch& w : entling_watches)
    if (get_file_time(w.path) != w.time) return true;
  for (const EntlingWatch& w : entling_missing)
    if (get_file_time(w.path) != 0) return true;
  return false;
}

// ---- the build

static void take_build_line(const char* line, int len) {
  fwrite(line, 1, size_t(len), stdout);
  fflush(stdout);
  char text[1024];
  int l = len;
  while (l > 0 && (line[l - 1] == '\n' || line[l - 1] == '\r')) l--;
  memcpy(text, line, size_t(l));
  text[l] = 0;
  if (!line_reports_error(text) || rebuild_error_bytes > max_screen_error_bytes) return;
  rebuild_error_bytes += l + 1;
  if (rebuild_error_bytes <= max_screen_error_bytes) append_error_message(text, l);
  else append_error_message("...", 3);
}

// Splits what the pipe gives into lines of at most 1023 characters.
static void take_build_output(const char* data, int n) {
  for (int i = 0; i < n; i++) {
    rebuild_line[rebuild_line_len++] = data[i];
    if (data[i] == '\n' || rebuild_line_len == (int)sizeof(rebuild_line) - 1) {
      take_build_line(rebuild_line, rebuild_line_len);
      rebuild_line_len = 0;
    }
  }
}

static void drain_build_output() {
  int64_t start = get_ref_time();
  char chunk[65536];
  int read = 0;
  while (!rebuild_output_ended) {
    int n = plat_read_available(rebuild.fd, chunk, sizeof(chunk));
    if (n < 0) break;
    if (n == 0) {
      rebuild_output_ended = true;
      if (rebuild_line_len > 0) take_build_line(rebuild_line, rebuild_line_len);
      rebuild_line_len = 0;
      break;
    }
    take_build_output(chunk, n);
    read += n;
    if (read >= poll_read_budget_bytes || get_time_usec(get_ref_time() - start) > poll_read_budget_us) break;
  }
}

static void end_build(int code, bool stopped) {
  rebuild = {-1, -1};
  if (rebuild_line_len > 0) take_build_line(rebuild_line, rebuild_line_len);
  rebuild_line_len = 0;
  int ms = get_time_msec(get_ref_time() - rebuild_start);
  if (stopped || code != 0 || has_error_message()) {
    append_error_message("entling rebuild failed!!!", -1);
    debug("!!! failed to rebuild entling DLL (code %d)", code);
    // Whatever the failed build left is not swapped in: the running library stays.
    PathString left = make_full_path("entling_new.dll");
    if (get_file_time(left) != 0 && remove(left) == 0) debug("removed the failed build's entling_new.dll");
  } else {
    debug("=== DLL rebuild done in %d ms", ms);
    if (ms > longest_good_build_ms) longest_good_build_ms = ms;
  }
}

static bool build_running() { return rebuild.pid > 0; }

static void start_build();

static bool poll_running_build() {
  drain_build_output();
  int code = -1;
  // The build ends with the script, even when something it started in the background still holds
  // the pipe open: what the script wrote before it ended is read first.
  if (plat_child_exited(&rebuild, &code)) {
    for (int i = 0; i < 16 && !rebuild_output_ended; i++) drain_build_output();
    plat_finish_child(&rebuild);
    end_build(code, false);
    return false;
  }
  int ms = get_time_msec(get_ref_time() - rebuild_start);
  if (ms > entling_rebuild_time_limit_ms) {
    code = plat_kill_child(&rebuild);
    debug("!!! DLL rebuild stopped after %d ms", ms);
    end_build(code, true);
    return false;
  }
  // A build that hangs must not hold back the next edit: once it has run far longer than a normal
  // build, a new edit ends it (its whole process group) and builds again.
  if (ms > entling_rebuild_stale_ms() && sources_changed()) {
    code = plat_kill_child(&rebuild);
    debug("!!! DLL rebuild stopped after %d ms: a newer edit starts a new build", ms);
    end_build(code, true);
    start_build();
    return true;
  }
  return true;
}

// The script path inside single quotes for the shell.
static void quote_for_shell(TempString<1100>& out, const char* path) {
  out.append("'");
  for (const char* p = path; *p; p++) {
    char one[2] = {*p, 0};
    out.append(*p == '\'' ? "'\\''" : one);
  }
  out.append("'");
}

static void start_build() {
  free_watches();
  scan_entling_sources(main_source);
  set_error_message(nullptr);
  debug("=== rebuilding entling DLL");
  PathString folder = make_full_path(source_folder);
  TempString<520> script_name;
  script_name.format("%srebuild_dll.bat", source_folder.c_str());
  PathString script = make_full_path(script_name);
  TempString<1100> command;
  // Messages in the C locale: plain ASCII quotes and English words, which the on-screen font shows
  // as the terminal does.
  command.assign("LC_ALL=C /bin/sh ");
  quote_for_shell(command, script);
  command.append(" 2>&1");
  // The script publishes into the program folder; it is told where that is.
  setenv("ASCENDA_PROGRAM_DIR", app_path, 1);
  rebuild_start = get_ref_time();
  rebuild_output_ended = false;
  rebuild_line_len = 0;
  rebuild_error_bytes = 0;
  rebuild = plat_spawn_reader(command, folder);
  if (rebuild.pid <= 0) {
    rebuild = {-1, -1};
    debug("!!! Error starting DLL rebuild");
    return;
  }
  poll_running_build();
}

bool rebuild_entling_library() {
  if (build_running()) return poll_running_build();
  if (!sources_changed()) return false;
  start_build();
  return true;
}

// ---- the swap

static void free_entling_module() {
  if (!entling_module) return;
  unbind_entling_library();
  free_library(entling_module);
  entling_module = nullptr;
  // A library that stays mapped (a unique symbol, a thread-local with a destructor) would keep its
  // old code running under the new name: that must never pass silently.
  if (library_still_loaded(loaded_path))
    fatal("entling.dll is still loaded after it was freed; the new build cannot replace it");
}

static void load_entling_module() {
  loaded_path = make_full_path("entling.dll");
  entling_module = load_library(loaded_path);
  if (!entling_module) fatal("can't load entling.dll");
  bind_entling_library(entling_module);
}

// Loads the fresh file on its own next to the running library and checks that it can replace it.
// False (with the reason on screen) when it cannot; the running library is untouched either way.
static bool new_library_fits(const char* new_path) {
  void* probe = load_library(new_path);
  if (!probe) {
    TempString<1100> msg;
    msg.format("entling_new.dll refused: %s", get_library_error());
    append_error_message(msg, -1);
    debug("%s", msg.c_str());
    return false;
  }
  TempString<512> why;
  bool fits = check_entling_swap(probe, entling_module, &why);
  free_library(probe);
  if (library_still_loaded(new_path)) fatal("entling_new.dll is still loaded after its check");
  if (!fits) {
    append_error_message(why, -1);
    debug("entling_new.dll refused: %s", why.c_str());
  }
  return fits;
}

bool reload_entling(bool force) {
  if (rebuild_entling_library()) return false;
  PathString new_path = make_full_path("entling_new.dll");
  uint64_t new_stamp = get_file_stamp(new_path);
  if (new_stamp == 0 && !force) return false;
  // A source saved while that build ran may have reached some of its modules and not others, or
  // its code and not its layout table: such a build is never swapped in. The next one starts now.
  if (!force && sources_changed()) {
    start_build();
    return false;
  }
  if (!force) {
    if (new_stamp == refused_new_stamp) return false;
    if (entling_module && !new_library_fits(new_path)) {
      refused_new_stamp = new_stamp;
      return false;
    }
  }
  refused_new_stamp = 0;
  free_entling_module();
  bool ok = true;
  if (!force) {
    // One rename replaces the old file at once: there is no moment without an "entling.dll".
    PathString path = make_full_path("entling.dll");
    if (rename(new_path, path) != 0) ok = false;
  }
  load_entling_module();
  debug("entling reload %s", ok ? "ok" : "failed");
  return ok;
}

// ---- load and unload

void watch_entling_sources(const char* folder, const char* main_file) {
  free_watches();
  source_folder.assign(folder ? folder : "");
  TempString<520> m;
  m.format("%s%s", source_folder.c_str(), main_file);
  main_source.assign(m);
  scan_entling_sources(main_source);
}

// Whether a library was built from exactly the present sources: its record of them names every
// watched file, and each file it names has the same size and bytes now.
static bool built_from_present_sources(void* module) {
  auto sources = (GetEntlingSourcesFn)get_library_proc(module, "get_entling_sources");
  int n = 0;
  const EntlingSourceRow* rows = sources ? sources(&n) : nullptr;
  if (!rows) return false;
  int named = 0;
  for (int i = 0; i < n; i++) {
    TempString<520> rel;
    rel.format("%s%s", source_folder.c_str(), rows[i].path);
    PathString full = make_full_path(rel);
    long long size = 0;
    unsigned long long hash = 0;
    if (!entling_source_hash(full, &size, &hash) || size != rows[i].size || hash != rows[i].hash) return false;
    for (const EntlingWatch& w : entling_watches)
      if (strcasecmp(w.path, full) == 0) named++;
  }
  return named == entling_watches.size() && entling_missing.empty();
}

enum class LibraryState { MISSING, REFUSED, OTHER_SOURCES, PRESENT_SOURCES };

// Loads a library file on its own and checks it as a swap would (exports, names, classes), and
// whether it was built from the present sources; why says what was wrong.
static LibraryState probe_library(const char* path, TempString<512>* why) {
  if (get_file_time(path) == 0) return LibraryState::MISSING;
  bool loaded_before = library_still_loaded(path);
  void* probe = load_library(path);
  if (!probe) {
    why->format("it does not load (%s)", get_library_error());
    return LibraryState::REFUSED;
  }
  LibraryState state = LibraryState::REFUSED;
  if (check_entling_swap(probe, nullptr, why))
    state = built_from_present_sources(probe) ? LibraryState::PRESENT_SOURCES : LibraryState::OTHER_SOURCES;
  free_library(probe);
  if (!loaded_before && library_still_loaded(path)) fatal("%s is still loaded after its check", path);
  return state;
}

// A waiting library that must not be taken is put aside under another name, never lost.
static void put_waiting_aside(const char* waiting, const char* why) {
  TempString<520> aside;
  aside.format("%s.refused", waiting);
  if (rename(waiting, aside) == 0) debug("!!! entling_new.dll put aside as entling_new.dll.refused: %s", why);
  else debug("!!! entling_new.dll refused (%s) and can't be put aside", why);
}

// Takes the waiting library when it loads, passes the swap's checks and (unless any build will do)
// was built from the present sources.
static bool take_waiting_library(const char* waiting, const char* current, bool only_of_present_sources) {
  TempString<512> why;
  LibraryState state = probe_library(waiting, &why);
  if (state == LibraryState::MISSING) return false;
  if (state == LibraryState::REFUSED) {
    put_waiting_aside(waiting, why);
    return false;
  }
  if (state == LibraryState::OTHER_SOURCES && only_of_present_sources) {
    debug("removing entling_new.dll: it was not built from the present sources");
    remove(waiting);
    return false;
  }
  if (rename(waiting, current) != 0) {
    debug("!!! can't replace entling.dll by the waiting entling_new.dll");
    return false;
  }
  return true;
}

bool bring_entling_library_up_to_date(const char* folder, const char* main_file) {
  watch_entling_sources(folder, main_file);
  PathString current = make_full_path("entling.dll");
  PathString waiting = make_full_path("entling_new.dll");
  // A build the last run refused (its classes changed) or never got to swap.
  if (take_waiting_library(waiting, current, true)) {
    debug("taking the waiting entling_new.dll, built from the present sources");
    return true;
  }
  TempString<512> why;
  LibraryState state = probe_library(current, &why);
  if (state == LibraryState::PRESENT_SOURCES) return false;
  // Without the sources or the script there is nothing to build from: say which is missing.
  TempString<520> script_name;
  script_name.format("%srebuild_dll.bat", source_folder.c_str());
  PathString script = make_full_path(script_name);
  const char* missing = entling_watches.empty() ? main_source.c_str()
                        : !regular_file(script) ? script.c_str()
                                                : nullptr;
  if (missing) {
    if (state == LibraryState::MISSING)
      fatal("can't load entling.dll: it is missing, and %s to build it from is not there", missing);
    debug("!!! %s is not there: entling.dll is not rebuilt from the present sources", missing);
    return false;
  }
  // Edited while the game was not running, put back from a backup, or fixed after a crash: build
  // it now, its output shown as for any rebuild.
  if (state == LibraryState::REFUSED) debug("=== entling.dll can't be used: %s", why.c_str());
  else debug("=== entling.dll was not built from the present sources");
  start_build();
  // Real waits: the build is another process, whatever clock the program runs on.
  while (rebuild_entling_library()) usleep(20000);
  if (take_waiting_library(waiting, current, false)) {
    debug("entling.dll rebuilt from the present sources");
    return true;
  }
  return false;
}

void load_entling_library(const char* folder, const char* main_file) {
  free_entling_module();
  free_watches();
  load_entling_module();
  watch_entling_sources(folder, main_file);
}

void unload_entling_library() {
  // A build still running is ended: its output has no reader any more.
  if (build_running()) plat_kill_child(&rebuild);
  rebuild = {-1, -1};
  free_entling_module();
  free_watches();
  refused_new_stamp = 0;
}
