// The four reporting channels: the log (standard output plus the rotating log file), fatal errors,
// the visual log drawn over the game, and the red error strip. Assertions end in fatal(). The two
// drawn channels are kept here and drawn by engine/onScreenLog.h.
#pragma once
#include <stdarg.h>

extern int num_debug_log_files;

void debug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void debug_(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void vdebug(const char* fmt, va_list args);
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The shutdown that fatal() runs after its message box (the shell's, which registers it), so that
// the log depends on nothing above it.
void set_fatal_shutdown(void (*shutdown)());
void error_message(const char* text);

void visual_log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void clear_visual_log();
int visual_log_count();
const char* visual_log_line(int i);

// Appends text from outside the game (a command-line argument) to the terminated text in out, as
// the log shows such text: in single quotes, its control bytes as \xHH and its backslashes doubled,
// so that a terminal showing the log runs no escape sequence that came with it. What does not fit in
// out's size is cut, "..." standing in for it; false then.
bool append_quoted_for_log(char* out, int size, const char* text);

void set_error_message(const char* text);
void append_error_message(const char* text, int length);
bool has_error_message();
const char* get_error_message();

// Writes through what debug_ and vdebug left in the buffers (script output uses it: a script's
// lines must reach the file when they are printed, not with the next engine line).
void flush_debug_log();
// Closes the log file (tests use it to start over with a fresh rotation).
void close_debug_log();

[[noreturn]] void assert_failed(const char* file, int line, const char* expr);

// Always compiled in. ASSERT_AT names the file and line that the message reports explicitly, for the
// containers whose messages are fixed; ASSERT takes them from the build.
#define ASSERT(cond)                                       \
  do {                                                     \
    if (!(cond)) assert_failed(__FILE__, __LINE__, #cond); \
  } while (0)
#define ASSERT_AT(file, line, cond)                \
  do {                                             \
    if (!(cond)) assert_failed(file, line, #cond); \
  } while (0)
