// A progress line for the long runs of the tools (the scripted player's levels, the level tool's
// sweep): how much is done of how much, how fast, and the time left, rewritten in place on standard
// error, and only when standard error is a terminal, so the logs of tests and pipes stay clean.
#pragma once
#include <stdio.h>
#include <time.h>
#include <unistd.h>
#include <string>

// The line's text: "12 of 50 seeds, 0.8 seeds per second, about 47 s left" (the rate and the time
// left once something is done, the time in seconds, minutes or hours).
inline std::string progress_text(long long done, long long total, const char* unit, double seconds) {
  char buf[160];
  int n = snprintf(buf, sizeof(buf), "%lld of %lld %s", done, total, unit);
  if (done > 0 && seconds > 0 && n > 0 && n < int(sizeof(buf))) {
    double rate = double(done) / seconds, left = double(total - done) / rate;
    char when[48];
    if (left < 90) snprintf(when, sizeof(when), "%.0f s", left);
    else if (left < 5400) snprintf(when, sizeof(when), "%.0f min", left / 60);
    else snprintf(when, sizeof(when), "%.1f h", left / 3600);
    snprintf(buf + n, sizeof(buf) - size_t(n), ", %.*f %s per second, about %s left", rate < 10 ? 1 : 0, rate, unit,
             when);
  }
  return buf;
}

class ProgressLine {
 public:
  ProgressLine(long long total, const char* unit) : total_(total), unit_(unit), on_(isatty(2) != 0), start_(now()) {}
  // `before` opens the line (e.g. "level 3: ").
  void show(long long done, const std::string& before = "") {
    if (!on_) return;
    fprintf(stderr, "\r%s%s\033[K", before.c_str(), progress_text(done, total_, unit_, now() - start_).c_str());
    fflush(stderr);
  }
  // Clears the line, before other output to the terminal.
  void clear() {
    if (!on_) return;
    fprintf(stderr, "\r\033[K");
    fflush(stderr);
  }
  bool on() const { return on_; }

 private:
  static double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
  }
  long long total_;
  const char* unit_;
  bool on_;
  double start_;
};
