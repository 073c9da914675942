// The record of the sources a build of the actor library was made from: each file's path in the
// source folder, its size and a hash of its bytes, compiled into the library. The program compares
// it with the files as they are now, so a file put back with an older time (a backup, an archive,
// a copy keeping times) still counts as changed, which a comparison of times would miss.
#pragma once
#include <stdint.h>
#include <stdio.h>

struct EntlingSourceRow {
  const char* path;  // in the source folder, with "/"
  long long size;
  unsigned long long hash;
};

// The library's export "get_entling_sources".
typedef const EntlingSourceRow* (*GetEntlingSourcesFn)(int* count);

// FNV-1a over the file's bytes; false when it cannot be read.
inline bool entling_source_hash(const char* path, long long* size, unsigned long long* hash) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  uint64_t h = 14695981039346656037ull;
  long long n = 0;
  unsigned char buf[65536];
  size_t got;
  while ((got = fread(buf, 1, sizeof(buf), f)) > 0) {
    for (size_t i = 0; i < got; i++) h = (h ^ buf[i]) * 1099511628211ull;
    n += (long long)got;
  }
  bool ok = !ferror(f);
  fclose(f);
  *size = n;
  *hash = h;
  return ok;
}
