// The tools' one answer to "--help" and to arguments they cannot take, given before any work
// starts: "--help" (or "-h") prints the usage on standard output and exits 0; an option the tool
// does not know, or too few or too many arguments, prints what was wrong and the usage on standard
// error and exits 2. A tool that took "--help" for a folder would fail late on a missing file.
#pragma once
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

inline bool tool_is_help(const char* arg) { return !strcmp(arg, "--help") || !strcmp(arg, "-h"); }

// Exits 0 with the usage when any argument asks for help.
inline void tool_answer_help(int argc, char** argv, const char* usage) {
  for (int i = 1; i < argc; i++)
    if (tool_is_help(argv[i])) {
      fputs(usage, stdout);
      exit(0);
    }
}

[[noreturn]] inline void tool_usage_error(const char* tool, const char* what, const char* usage) {
  fprintf(stderr, "%s: %s\n%s", tool, what, usage);
  exit(2);
}

// For a tool whose arguments are all positional (folders, files, counts): no argument may look
// like an option, and there are from min_args to max_args of them.
inline void tool_check_positional(int argc, char** argv, const char* tool, const char* usage, int min_args,
                                  int max_args) {
  tool_answer_help(argc, argv, usage);
  for (int i = 1; i < argc; i++)
    if (argv[i][0] == '-' && argv[i][1]) {
      char what[300];
      snprintf(what, sizeof(what), "%.200s: unknown option", argv[i]);
      tool_usage_error(tool, what, usage);
    }
  if (argc - 1 < min_args) tool_usage_error(tool, "too few arguments", usage);
  if (argc - 1 > max_args) tool_usage_error(tool, "too many arguments", usage);
}

// A count argument (frames, rounds): a whole number from min_count up, written in digits alone.
// atoi would read "abc" or "12x" as something else and the run would measure what nobody asked.
inline int tool_count(const char* tool, const char* arg, int min_count, const char* usage) {
  char* end = nullptr;
  long v = strtol(arg, &end, 10);
  if (!*arg || *end || v < min_count || v > 100000000) {
    char what[300];
    snprintf(what, sizeof(what), "%.200s: not a count of %d or more", arg, min_count);
    tool_usage_error(tool, what, usage);
  }
  return int(v);
}
