// The level tool: generates a level for a level number and seed from the tiles of a program folder
// and writes a picture of it (optionally with the collision types, room grid and spawns drawn over)
// and a text summary; or sweeps many seeds over levels and checks that every level builds and joins
// its start room to its end room.
//
//   leveltool --data bin [--level 4] [--seed 123] [--out level.png] [--collision] [--summary level.txt]
//             [--columns 0-1024] [--scale 2]
//   leveltool --data bin --sweep 10000 [--levels 1-12]
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include "engine/log.h"
#include "tools/levelToolLib.h"

static int usage() {
  fprintf(stderr,
          "usage: leveltool --data <program folder> [--level N] [--seed S] [--out file.png] [--collision]\n"
          "                 [--summary file.txt] [--columns A-B] [--scale K]\n"
          "       leveltool --data <program folder> --sweep <seeds> [--levels A-B]\n");
  return 2;
}

struct SweepProgress {
  volatile int level;
  volatile long long seed;
  volatile int failed_path;
};

// One level's seeds in a child process: a fatal error there ends only the child, and the parent
// still knows which seed it was.
static int sweep_level(const char* data, int level, long long seeds, SweepProgress* progress) {
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    return 1;
  }
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(3);
    level_tool_load_tiles(data);
    for (long long s = 0; s < seeds; s++) {
      progress->level = level;
      progress->seed = s;
      level_tool_generate(level, uint64_t(s));
      if (!level_path_ok(level, nullptr)) {
        progress->failed_path = 1;
        fputs(level_summary(level, uint64_t(s)).c_str(), stderr);
        _exit(1);
      }
      if ((s & 511) == 511) close_debug_log();  // the log restarts (and rotates) instead of growing
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    printf("level %d: %lld seeds, every level built with a path from the start room to the end room\n", level, seeds);
    return 0;
  }
  if (progress->failed_path)
    printf("level %d seed %lld: no path from the start room to the end room\n", level, (long long)progress->seed);
  else
    printf("level %d seed %lld: generation failed (exit status %d)\n", level, (long long)progress->seed,
           WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 1;
}

int main(int argc, char** argv) {
  const char* data = nullptr;
  const char* out = nullptr;
  const char* summary = nullptr;
  int level = 1, level_from = 1, level_to = 12;
  long long seed = 0, sweep = 0;
  bool overlay = false;
  int x_from = 0, x_to = 0, scale = 1;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    bool has_value = i + 1 < argc;
    if (a == "--data" && has_value) data = argv[++i];
    else if (a == "--level" && has_value) level = atoi(argv[++i]);
    else if (a == "--seed" && has_value) seed = strtoll(argv[++i], nullptr, 0);
    else if (a == "--out" && has_value) out = argv[++i];
    else if (a == "--summary" && has_value) summary = argv[++i];
    else if (a == "--collision") overlay = true;
    else if (a == "--columns" && has_value) {
      if (sscanf(argv[++i], "%d-%d", &x_from, &x_to) != 2) return usage();
    } else if (a == "--scale" && has_value) scale = atoi(argv[++i]);
    else if (a == "--sweep" && has_value) sweep = strtoll(argv[++i], nullptr, 0);
    else if (a == "--levels" && has_value) {
      if (sscanf(argv[++i], "%d-%d", &level_from, &level_to) != 2) return usage();
    } else return usage();
  }
  if (!data) return usage();
  // The program folder becomes the data folder below; names given here stay relative to this one.
  std::string out_path;
  if (out) {
    char cwd[4096];
    out_path = out[0] == '/' || !getcwd(cwd, sizeof(cwd)) ? std::string(out) : std::string(cwd) + "/" + out;
  }

  if (sweep > 0) {
    // The child's log goes to a folder of its own so a long sweep leaves nothing behind.
    char log_dir[] = "/tmp/leveltool.XXXXXX";
    if (mkdtemp(log_dir)) setenv("XDG_DATA_HOME", log_dir, 1);
    SweepProgress* progress = (SweepProgress*)mmap(nullptr, sizeof(SweepProgress), PROT_READ | PROT_WRITE,
                                                   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (progress == MAP_FAILED) {
      perror("mmap");
      return 1;
    }
    int failures = 0;
    for (int l = level_from; l <= level_to; l++) {
      progress->failed_path = 0;
      failures += sweep_level(data, l, sweep, progress);
      fflush(stdout);
    }
    std::string cleanup = std::string("rm -rf '") + log_dir + "'";
    if (system(cleanup.c_str()) != 0) fprintf(stderr, "leveltool: could not remove %s\n", log_dir);
    printf("sweep: levels %d to %d, %lld seeds each: %s\n", level_from, level_to, sweep,
           failures ? "FAILED" : "all good");
    return failures ? 1 : 0;
  }

  level_tool_load_tiles(data);
  level_tool_generate(level, uint64_t(seed));
  std::string text = level_summary(level, uint64_t(seed));
  if (summary) {
    FILE* f = fopen(summary, "w");
    if (!f || fputs(text.c_str(), f) < 0 || fclose(f) != 0) {
      fprintf(stderr, "leveltool: cannot write %s\n", summary);
      return 1;
    }
  } else {
    fputs(text.c_str(), stdout);
  }
  if (out && !write_level_png(out_path.c_str(), overlay, x_from, x_to, scale)) {
    fprintf(stderr, "leveltool: cannot write %s\n", out);
    return 1;
  }
  return 0;
}
