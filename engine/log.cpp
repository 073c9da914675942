// Log file rotation, fatal errors, assertions, and the texts of the visual log and the error
// message. Everything else reports through this file, the containers and the shell included, so it
// stands at the engine's ground floor: the drawing of those two texts is in engine/onScreenLog.cpp,
// above the renderer and the debug font, and the shutdown that a fatal error runs is the one the
// shell registers here.
#include "engine/log.h"
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include "engine/appVersion.h"
#include "engine/cont/dynArray.h"
#include "engine/crashReport.h"
#include "engine/misc/utils.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"

int num_debug_log_files = 5;

// What a fatal error runs before the process ends: the shell's shutdown, registered when the
// program is loaded.
static void (*fatal_shutdown)() = nullptr;
void set_fatal_shutdown(void (*shutdown)()) { fatal_shutdown = shutdown; }

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

bool append_quoted_for_log(char* out, int size, const char* text) {
  const char* const CUT = "...";
  int used = int(strlen(out));
  // Room is kept for the mark of a cut, so that it always fits.
  int room = size - 1 - used - int(strlen(CUT));
  if (room < 2) return false;
  char* p = out + used;
  *p++ = '\'';
  room--;
  bool whole = true;
  for (const unsigned char* c = (const unsigned char*)text; *c; c++) {
    char piece[5];
    int n;
    if (*c < 0x20 || *c == 0x7F) n = snprintf(piece, sizeof(piece), "\\x%02X", *c);
    else if (*c == '\\') n = snprintf(piece, sizeof(piece), "\\\\");
    else {
      piece[0] = char(*c);
      n = 1;
    }
    if (n > room - 1) {  // the closing quote needs one more
      whole = false;
      break;
    }
    memcpy(p, piece, size_t(n));
    p += n;
    room -= n;
  }
  if (whole) *p++ = '\'';
  else p += snprintf(p, strlen(CUT) + 1, "%s", CUT);
  *p = 0;
  return whole;
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
    if (fatal_shutdown) fatal_shutdown();
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
