// Shared by the fuzz targets that go through files: a scratch folder made once per process, and a
// quiet log (standard output and the log file go nowhere, so millions of runs fill no disk).
#pragma once
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <string>
#include "engine/log.h"

// A fresh folder, ending in "/", that is also the data folder (APPDATA). In memory where the system
// offers it: the settings are synced to disk at every save. libFuzzer ends without running exit
// handlers, so each run removes the folders of runs that have ended.
inline const std::string& fuzz_scratch_folder() {
  static std::string folder = [] {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
    for (const fs::directory_entry& e : fs::directory_iterator(base, ec)) {
      std::string n = e.path().filename().string();
      if (n.rfind("ascenda_fuzz_", 0) != 0) continue;
      int pid = atoi(n.c_str() + 13);
      if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
    }
    std::string f = (base / ("ascenda_fuzz_" + std::to_string(getpid()))).string() + "/";
    fs::remove_all(f, ec);
    if (mkdir(f.c_str(), 0755) != 0) __builtin_trap();
    setenv("APPDATA", f.c_str(), 1);
    mkdir((f + "ASCENDA").c_str(), 0755);
    num_debug_log_files = 1;
    if (symlink("/dev/null", (f + "ASCENDA/log.txt").c_str()) != 0) perror("log link");
    if (!freopen("/dev/null", "w", stdout)) perror("stdout");
    return f;
  }();
  return folder;
}

inline bool fuzz_write_file(const std::string& path, const void* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = size == 0 || fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

inline std::string fuzz_read_file(const std::string& path) {
  std::string s;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return s;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}
