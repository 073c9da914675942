// The level tool: generates a level for a level number and seed from the tiles of a program folder
// and writes a picture of it (optionally with the collision types, room grid and spawns drawn over)
// and a text summary; or sweeps many seeds over levels and checks that every level builds and joins
// its start room to its end room.
//
//   leveltool --data bin [--level 4] [--seed 123] [--out level.png] [--collision] [--summary level.txt]
//             [--columns 0-1024] [--scale 2]
//   leveltool --data bin --sweep 10000 [--levels 1-12]      (seeds 0 to 9999)
//   leveltool --data bin --seeds 500-900 [--levels 1-12]
// Every argument is checked: a value out of its range or not a number is a usage error (exit 2).
#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include "engine/log.h"
#include "tools/harness/progressLine.h"
#include "tools/leveltool/levelToolLib.h"
#include "tools/toolUsage.h"

const int MAX_LEVEL = 9999;
const int MAX_SCALE = 16;
// The picture is built in memory whole: at most this many bytes of it.
const unsigned long long MAX_PICTURE_BYTES = 512ull << 20;

static void print_usage(FILE* to) {
  fprintf(to,
          "usage: leveltool --data <program folder> [--level N] [--seed S] [--out file.png] [--collision]\n"
          "                 [--summary file.txt] [--columns A-B] [--scale K]\n"
          "       leveltool --data <program folder> (--sweep <count> | --seeds A-B) [--levels A-B]\n"
          "  levels 1 to %d, seeds 0 to 18446744073709551615, columns 0 to 4096, scale 1 to %d\n",
          MAX_LEVEL, MAX_SCALE);
}

static int usage() {
  print_usage(stderr);
  return 2;
}

static int usage_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static int usage_error(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  fprintf(stderr, "leveltool: ");
  vfprintf(stderr, fmt, args);
  fprintf(stderr, "\n");
  va_end(args);
  return usage();
}

// A whole decimal (or 0x hexadecimal) number from lo to hi, nothing else.
static bool parse_number(const char* text, unsigned long long lo, unsigned long long hi, unsigned long long* out) {
  if (!text || !text[0] || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = strtoull(text, &end, 0);
  if (errno == ERANGE || end == text || *end || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// "A-B" with lo <= A <= B <= hi (strict: A < B when `strict`).
static bool parse_range(const char* text, unsigned long long lo, unsigned long long hi, bool strict,
                        unsigned long long* a, unsigned long long* b) {
  const char* dash = text ? strchr(text, '-') : nullptr;
  if (!dash) return false;
  std::string first(text, size_t(dash - text));
  if (!parse_number(first.c_str(), lo, hi, a) || !parse_number(dash + 1, lo, hi, b)) return false;
  return strict ? *a < *b : *a <= *b;
}

struct SweepProgress {
  volatile int level;
  volatile unsigned long long seed;
  volatile int failed_path;
};

// One level's seeds in a child process: a fatal error there ends only the child, and the parent
// still knows which seed it was.
static int sweep_level(const char* data, int level, unsigned long long seed_from, unsigned long long seed_to,
                       SweepProgress* progress, ProgressLine& line, long long done_before, const std::string& before) {
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    return 1;
  }
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(3);
    level_tool_load_tiles(data);
    for (unsigned long long s = seed_from;; s++) {
      progress->level = level;
      progress->seed = s;
      level_tool_generate(level, uint64_t(s));
      if (!level_path_ok(level, nullptr)) {
        progress->failed_path = 1;
        fputs(level_summary(level, uint64_t(s)).c_str(), stderr);
        _exit(1);
      }
      if ((s & 511) == 511) close_debug_log();  // the log restarts (and rotates) instead of growing
      if (s == seed_to) break;                  // also ends a range that reaches the largest seed
    }
    _exit(0);
  }
  int status = 0;
  if (line.on()) {
    // On a terminal: the child's seed, read from the shared record, shown while it works.
    while (waitpid(pid, &status, WNOHANG) == 0) {
      line.show(done_before + (long long)(progress->seed - seed_from), before);
      usleep(250000);
    }
    line.clear();
  } else {
    waitpid(pid, &status, 0);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    printf("level %d: seeds %llu to %llu, every level built with a path from the start room to the end room\n", level,
           seed_from, seed_to);
    return 0;
  }
  if (progress->failed_path)
    printf("level %d seed %llu: no path from the start room to the end room\n", level,
           (unsigned long long)progress->seed);
  else
    printf("level %d seed %llu: generation failed (exit status %d)\n", level, (unsigned long long)progress->seed,
           WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 1;
}

int main(int argc, char** argv) {
  const char* data = nullptr;
  const char* out = nullptr;
  const char* summary = nullptr;
  unsigned long long level = 1, level_from = 1, level_to = 12, seed = 0, seed_from = 0, seed_to = 0;
  bool sweep = false;
  bool overlay = false;
  unsigned long long x_from = 0, x_to = 0, scale = 1;
  for (int i = 1; i < argc; i++)
    if (tool_is_help(argv[i])) {
      print_usage(stdout);
      return 0;
    }
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    bool takes_value = a == "--data" || a == "--level" || a == "--seed" || a == "--out" || a == "--summary" ||
                       a == "--columns" || a == "--scale" || a == "--sweep" || a == "--seeds" || a == "--levels";
    if (takes_value && i + 1 >= argc) return usage_error("%s needs a value", argv[i]);
    const char* v = takes_value ? argv[++i] : nullptr;
    if (a == "--data") data = v;
    else if (a == "--level") {
      if (!parse_number(v, 1, MAX_LEVEL, &level))
        return usage_error("--level must be a level from 1 to %d (got '%s')", MAX_LEVEL, v);
    } else if (a == "--seed") {
      if (!parse_number(v, 0, UINT64_MAX, &seed))
        return usage_error("--seed must be a whole number from 0 to 18446744073709551615 (got '%s')", v);
    } else if (a == "--out") out = v;
    else if (a == "--summary") summary = v;
    else if (a == "--collision") overlay = true;
    else if (a == "--columns") {
      if (!parse_range(v, 0, 4096, true, &x_from, &x_to))
        return usage_error("--columns must be A-B with 0 <= A < B <= 4096 (got '%s')", v);
    } else if (a == "--scale") {
      if (!parse_number(v, 1, MAX_SCALE, &scale))
        return usage_error("--scale must be from 1 to %d (got '%s')", MAX_SCALE, v);
    } else if (a == "--sweep") {
      unsigned long long n;
      if (sweep || !parse_number(v, 1, UINT64_MAX, &n))
        return usage_error("--sweep must be a count of at least 1 seed, given once (got '%s')", v);
      sweep = true;
      seed_from = 0;
      seed_to = n - 1;
    } else if (a == "--seeds") {
      if (sweep || !parse_range(v, 0, UINT64_MAX, false, &seed_from, &seed_to))
        return usage_error("--seeds must be A-B with A <= B, given once and not with --sweep (got '%s')", v);
      sweep = true;
    } else if (a == "--levels") {
      if (!parse_range(v, 1, MAX_LEVEL, false, &level_from, &level_to))
        return usage_error("--levels must be A-B with 1 <= A <= B <= %d (got '%s')", MAX_LEVEL, v);
    } else {
      return usage_error("%s: unknown argument", argv[i]);
    }
  }
  if (!data) return usage_error("--data <program folder> is needed");
  unsigned long long columns = x_to > x_from ? x_to - x_from : 4096;
  unsigned long long picture = columns * scale * 256 * scale * 3;
  if (out && picture > MAX_PICTURE_BYTES) {
    fprintf(stderr,
            "leveltool: a picture of %llu columns at scale %llu would take %llu MB, more than %llu MB: "
            "narrow --columns or lower --scale\n",
            columns, scale, picture >> 20, MAX_PICTURE_BYTES >> 20);
    return 2;
  }
  // The program folder becomes the data folder below; names given here stay relative to this one.
  std::string out_path;
  if (out) {
    char cwd[4096];
    out_path = out[0] == '/' || !getcwd(cwd, sizeof(cwd)) ? std::string(out) : std::string(cwd) + "/" + out;
  }

  if (sweep) {
    // The child's log goes to a folder of its own so a long sweep leaves nothing behind.
    char log_dir[] = "/tmp/leveltool.XXXXXX";
    if (mkdtemp(log_dir)) setenv("XDG_DATA_HOME", log_dir, 1);
    SweepProgress* progress =
        (SweepProgress*)mmap(nullptr, sizeof(SweepProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (progress == MAP_FAILED) {
      perror("mmap");
      return 1;
    }
    int failures = 0;
    // On a terminal, a line under the results says how far the sweep is.
    long long per_level = (long long)(seed_to - seed_from + 1);
    ProgressLine line(per_level * (long long)(level_to - level_from + 1), "seeds");
    for (unsigned long long l = level_from; l <= level_to; l++) {
      progress->failed_path = 0;
      progress->seed = seed_from;
      std::string before = "level " + std::to_string(l) + " (" + std::to_string(l - level_from) + " of " +
                           std::to_string(level_to - level_from + 1) + " levels done), ";
      failures += sweep_level(data, int(l), seed_from, seed_to, progress, line, per_level * (long long)(l - level_from),
                              before);
      fflush(stdout);
    }
    std::string cleanup = std::string("rm -rf '") + log_dir + "'";
    if (system(cleanup.c_str()) != 0) fprintf(stderr, "leveltool: could not remove %s\n", log_dir);
    printf("sweep: levels %llu to %llu, seeds %llu to %llu each: %s\n", level_from, level_to, seed_from, seed_to,
           failures ? "FAILED" : "all good");
    return failures ? 1 : 0;
  }

  level_tool_load_tiles(data);
  level_tool_generate(int(level), uint64_t(seed));
  std::string text = level_summary(int(level), uint64_t(seed));
  if (summary) {
    FILE* f = fopen(summary, "w");
    if (!f || fputs(text.c_str(), f) < 0 || fclose(f) != 0) {
      fprintf(stderr, "leveltool: cannot write %s\n", summary);
      return 1;
    }
  } else {
    fputs(text.c_str(), stdout);
  }
  if (out && !write_level_png(out_path.c_str(), overlay, int(x_from), int(x_to), int(scale))) {
    fprintf(stderr, "leveltool: cannot write %s\n", out);
    return 1;
  }
  return 0;
}
