// Helpers of the level tests: small tile folders written on the fly, the program folder pointed at
// them, recording stand-ins for the actor library's functions, and the level cleared between tests.
#pragma once
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <new>
#include <string>
#include <vector>
#include "engine/config.h"
#include "engine/imageFiles.h"
#include "engine/sysUtils.h"
#include "game/entlingApi.h"
#include "game/gen/loadTiles.h"
#include "game/levelGrid.h"

namespace level_test {

inline std::string make_temp_folder() {
  char name[] = "/tmp/level_test.XXXXXX";
  if (!mkdtemp(name)) abort();
  return name;
}

inline void make_folders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); i++)
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

// Writes a PNG whose pixel (x, y), y = 0 being the bottom row, is argb(x, y) (0xAARRGGBB).
inline void write_png(const std::string& file, int w, int h, const std::function<uint32_t(int, int)>& argb) {
  make_folders(file.substr(0, file.rfind('/')));
  std::vector<unsigned char> rgba(size_t(w * h * 4));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t c = argb(x, y);
      unsigned char* p = &rgba[size_t(((h - 1 - y) * w + x) * 4)];
      p[0] = (unsigned char)(c >> 16);
      p[1] = (unsigned char)(c >> 8);
      p[2] = (unsigned char)c;
      p[3] = (unsigned char)(c >> 24);
    }
  ASSERT_TRUE(save_png(file.c_str(), w, h, 4, rgba.data(), w * 4)) << file;
}

inline void write_file(const std::string& file, const std::string& text) {
  make_folders(file.substr(0, file.rfind('/')));
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_TRUE(f) << file;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

inline std::string read_file(const std::string& file) {
  std::string s;
  FILE* f = fopen(file.c_str(), "rb");
  if (!f) return s;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}

struct Spawn {
  int type_id;  // 0: the hero's start
  float x, y;
};
inline std::vector<Spawn>& spawns() {
  static std::vector<Spawn> s;
  return s;
}
inline Entling* record_enemy(int type_id, float x, float y) {
  spawns().push_back({type_id, x, y});
  return nullptr;
}
inline void record_hero(float x, float y) { spawns().push_back({0, x, y}); }

// Points the program folder at a fresh temporary folder (tiles go in its "tiles/"), installs the
// recorders and clears the level; everything is put back afterwards.
class LevelTest : public ::testing::Test {
 public:
  std::string root;
  char saved_app_path[sizeof(app_path)];

  void SetUp() override {
    memcpy(saved_app_path, app_path, sizeof(app_path));
    root = make_temp_folder();
    use_folder(root);
    spawns().clear();
    add_enemy = record_enemy;
    reset_hero = record_hero;
    clear_level_data();
  }
  void TearDown() override {
    close_level_tiles();
    add_enemy = nullptr;
    reset_hero = nullptr;
    memcpy(app_path, saved_app_path, sizeof(app_path));
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
  }
  void use_folder(const std::string& folder) { snprintf(app_path, sizeof(app_path), "%s/", folder.c_str()); }
  std::string tiles(const std::string& name) const { return root + "/tiles/" + name; }
};

}  // namespace level_test
