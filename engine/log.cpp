// Log file rotation, fatal errors, the visual log and the on-screen error message.
#include "engine/log.h"
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include "engine/app.h"
#include "engine/cont/dynArray.h"
#include "engine/crashReport.h"
#include "engine/d3d_render.h"
#include "engine/font.h"
#include "engine/misc/utils.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"

int num_debug_log_files = 5;

static FILE* log_file = nullptr;
// A log that cannot be opened or written is said once on standard error, not at every line.
static bool open_failure_said = false;
static bool write_failure_said = false;
static DynArray<TempString<128>> visual_log_lines;
static DynArray<char> error_text;

static PathString log_file_name(int index) {
  if (index == 0) return get_appdata_folder_path("log.txt");
  return get_appdata_folder_path(TempString<32>::make("log%02d.txt", index));
}

// Rotates the old logs and opens "log.txt" afresh. Rotation failures are expected on a first run.
static void open_debug_log() {
  int n = num_debug_log_files;
  if (n > 1) {
    remove(log_file_name(n - 1));
    for (int i = n - 1; i >= 2; i--) rename(log_file_name(i - 1), log_file_name(i));
    rename(log_file_name(0), log_file_name(1));
  }
  plat_make_folder(get_appdata_folder_path(""));
  PathString name = log_file_name(0);
  log_file = fopen(name, "wt");
  set_crash_report_log_fd(log_file ? fileno(log_file) : -1);
  if (!log_file && !open_failure_said) {
    open_failure_said = true;
    fprintf(stderr, "can't open the log file '%s': %s; the log goes to standard output only\n", name.c_str(),
            strerror(errno));
    fflush(stderr);
  }
}

// Flushes the file and says once when what was written did not reach it (a full disk).
static void flush_log_file() {
  if (!log_file) return;
  if (fflush(log_file) != 0 || ferror(log_file)) {
    int e = errno;
    clearerr(log_file);
    if (!write_failure_said) {
      write_failure_said = true;
      fprintf(stderr, "can't write the log file '%s': %s\n", log_file_name(0).c_str(), strerror(e));
      fflush(stderr);
    }
  }
}

void flush_debug_log() {
  fflush(stdout);
  flush_log_file();
}

void close_debug_log() {
  set_crash_report_log_fd(-1);
  if (log_file) fclose(log_file);
  log_file = nullptr;
  open_failure_said = false;
  write_failure_said = false;
}

void vdebug(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  vfprintf(stdout, fmt, args);
  if (!log_file) open_debug_log();
  if (log_file) vfprintf(log_file, fmt, copy);
  va_end(copy);
}

static void debug_text(const char* text) {
  fputs(text, stdout);
  if (!log_file) open_debug_log();
  if (log_file) fputs(text, log_file);
}

void debug_(const char* fmt, ...) {
  va_list a;
  va_start(a, fmt);
  vdebug(fmt, a);
  va_end(a);
}

void debug(const char* fmt, ...) {
  va_list a;
  va_start(a, fmt);
  vdebug(fmt, a);
  va_end(a);
  debug_text("\n");
  fflush(stdout);
  flush_log_file();
}

void error_message(const char* text) {
  debug("ERROR: %s", text);
  TempString<256> caption;
  caption.format("%s - FATAL ERROR", APP_WINDOW_TITLE);
  plat_message_box(text, caption);
}

// Standard error goes where standard output goes (a terminal, or both sent to one file).
static bool stderr_is_stdout() {
  struct stat out, err;
  return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev &&
         out.st_ino == err.st_ino;
}

void fatal(const char* fmt, ...) {
  // A fatal error raised while shutting down (or while reporting another one) must not recurse
  // into the shutdown again: report it and leave.
  static int depth = 0;
  depth++;
  va_list a;
  va_start(a, fmt);
  // The log line "ERROR: ..." below reaches standard output: where standard error is the same,
  // the message is said there once, not twice.
  if (depth > 1 || !stderr_is_stdout()) {
    fputs("\n\n", stderr);
    va_list copy;
    va_copy(copy, a);
    vfprintf(stderr, fmt, copy);
    va_end(copy);
    fputs("\n", stderr);
  }
  fflush(stdout);
  fflush(stderr);
  if (log_file) fflush(log_file);
  // The whole message reaches the log and the box, however long it is.
  char* buf = nullptr;
  if (vasprintf(&buf, fmt, a) < 0) buf = nullptr;
  va_end(a);
  if (!buf) buf = (char*)"(fatal error message could not be formatted)";
  if (depth == 1) {
    error_message(buf);
    shutdown_app();
  } else if (log_file) {
    fprintf(log_file, "ERROR: %s\n", buf);
    fflush(log_file);
  }
  fflush(stdout);
  if (log_file) fflush(log_file);
  _Exit(100);
}

void assert_failed(const char* file, int line, const char* expr) {
  fatal("%s(%d): failed ASSERT(%s)", file, line, expr);
}

void visual_log(const char* fmt, ...) {
  TempString<128> line;
  va_list a;
  va_start(a, fmt);
  line.vformat(fmt, a);
  va_end(a);
  visual_log_lines.push_back(line);
  if (visual_log_lines.size() > 100) visual_log_lines.remove(0, visual_log_lines.size() - 100);
}

void clear_visual_log() { visual_log_lines.free(); }
int visual_log_count() { return visual_log_lines.size(); }
const char* visual_log_line(int i) { return visual_log_lines[i]; }

void draw_visual_log() {
  TextState saved = save_text_state();
  set_text_scale(2);
  int u = get_font_cell_height();
  int n = visual_log_lines.size();
  for (int i = 0; i < n; i++) draw_text(visual_log_lines[i], -1, 2 * u, 2 * u * (n - i), -1, -1, 0xFFFFFFFF);
  restore_text_state(saved);
}

void set_error_message(const char* text) {
  if (!text || !text[0]) {
    error_text.clear();
    return;
  }
  int l = (int)strlen(text);
  error_text.resize(l + 1);
  memcpy(error_text.data, text, size_t(l) + 1);
  debug("ERROR MESSAGE SET: %s", text);
}

void append_error_message(const char* text, int length) {
  if (!text || length == 0) return;
  if (length < 0) length = (int)strlen(text);
  if (length == 0) return;
  if (error_text.size() > 0) {
    char nl = '\n';
    error_text.insert(error_text.size() - 1, 1, &nl);
  } else {
    char zero = 0;
    error_text.append(1, &zero);
  }
  error_text.insert(error_text.size() - 1, length, text);
}

bool has_error_message() { return error_text.size() > 0; }
const char* get_error_message() { return error_text.size() > 0 ? error_text.data : ""; }

namespace {
int text_width(const char* text, int len) {
  int w, h;
  calc_text_size(text, len, w, h);
  return w;
}

// The message broken into lines of at most `width` pixels in the current text style: at spaces
// where a line has them, inside a word only when the word alone is wider.
void wrap_error_text(const char* text, int width, DynArray<char>& out) {
  out.clear();
  const char* p = text;
  while (true) {
    const char* eol = strchr(p, '\n');
    int len = eol ? int(eol - p) : int(strlen(p));
    int start = 0;
    while (start < len || (start == 0 && len == 0)) {
      int end = len;
      if (text_width(p + start, len - start) > width) {
        // The longest run that fits (at least one character), ended at its last space when it
        // has one.
        int fit = start, run = 0;
        while (fit < len) {
          int c = text_width(p + fit, 1);
          if (fit > start && run + c > width) break;
          run += c;
          fit++;
        }
        end = fit;
        for (int k = fit; k > start; k--)
          if (p[k] == ' ') {
            end = k;
            break;
          }
      }
      out.append(end - start, p + start);
      start = end;
      while (start < len && p[start] == ' ') start++;
      if (start < len) out.push_back('\n');
      if (len == 0) break;
    }
    if (!eol) break;
    out.push_back('\n');
    p = eol + 1;
  }
  out.push_back(0);
}

int count_lines(const DynArray<char>& t) {
  int n = 1;
  for (int i = 0; i + 1 < t.size(); i++) n += t[i] == '\n';
  return n;
}

// Keeps the first lines and the last one (which names the failed shader) within `max_lines`.
void keep_lines(DynArray<char>& t, int max_lines) {
  int n = count_lines(t);
  if (n <= max_lines || max_lines < 3) return;
  int head_end = 0, seen = 0;
  for (int i = 0; i < t.size(); i++)
    if (t[i] == '\n' && ++seen == max_lines - 2) {
      head_end = i;
      break;
    }
  int tail = t.size() - 1;
  while (tail > 0 && t[tail - 1] != '\n') tail--;
  DynArray<char> kept;
  kept.append(head_end, t.data);
  kept.append(5, "\n...\n");
  kept.append(t.size() - tail, t.data + tail);
  t = std::move(kept);
}
}  // namespace

// The red strip at the top of the screen: the message wrapped to the window's width at text scale
// 2, or at scale 1 when that is too tall for the window, the strip growing to hold it.
void draw_error_message() {
  if (!has_error_message()) return;
  TextState saved = save_text_state();
  int u = get_font_cell_height();
  int width = d3d_wd - u;
  DynArray<char> text;
  int w = 0, h = 0;
  for (int scale = 2; scale >= 1; scale--) {
    set_text_scale(scale);
    wrap_error_text(error_text.data, width, text);
    calc_text_size(text.data, -1, w, h);
    if (h + 2 * u <= d3d_ht) break;
  }
  int line = get_text_scale() * u;
  if (h + 2 * u > d3d_ht) {
    keep_lines(text, (d3d_ht - 2 * u) / line);
    calc_text_size(text.data, -1, w, h);
  }
  int strip = h + 2 * u > 12 * u ? h + 2 * u : 12 * u;
  if (strip > d3d_ht) strip = d3d_ht;
  draw_rect(0, d3d_ht - strip, d3d_wd, d3d_ht, 0xCC660000);
  draw_text(text.data, -1, d3d_wd / 2, d3d_ht - u, 0, 1, 0xFFFFEE00);
  restore_text_state(saved);
}
