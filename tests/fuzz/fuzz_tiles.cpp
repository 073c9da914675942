// The tile library's assembly from images and configs: the input decides up to four tiles (their
// folders, sizes, which of the three layers exist, their pixels and their ".cfg" text), which are
// written as real PNG files under "tiles/" and loaded the way the game loads them; then a level
// grid is made from each. Layers of one tile share a size, so none of the library's fatal errors
// for broken tile sets applies: whatever the pixels and settings, loading must succeed.
#include <fuzzer/FuzzedDataProvider.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>
#include "engine/config.h"
#include "engine/imageFiles.h"
#include "engine/sysUtils.h"
#include "fuzz_support.h"
#include "game/gen/loadTiles.h"
#include "game/levelGrid.h"

static const char* const kNames[] = {"a", "wall", "deep/b", "boss1/gun"};
static const char kLayers[] = {'b', 'f', 'c'};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string folder = [] {
    std::string f = fuzz_scratch_folder();
    snprintf(app_path, sizeof(app_path), "%s", f.c_str());
    mkdir((f + "tiles").c_str(), 0755);
    mkdir((f + "tiles/deep").c_str(), 0755);
    mkdir((f + "tiles/boss1").c_str(), 0755);
    return f + "tiles/";
  }();
  FuzzedDataProvider in(data, size);
  std::vector<std::string> written;
  int tiles = in.ConsumeIntegralInRange(1, 4);
  for (int t = 0; t < tiles; t++) {
    std::string base = folder + kNames[t];
    int w = in.ConsumeIntegralInRange(1, 24), h = in.ConsumeIntegralInRange(1, 24);
    int layers = in.ConsumeIntegralInRange(0, 7);
    for (int l = 0; l < 3; l++) {
      if (!(layers & (1 << l))) continue;
      std::vector<uint8_t> rgba(size_t(w) * h * 4);
      for (uint8_t& b : rgba) b = in.ConsumeIntegral<uint8_t>();
      std::string name = base + "_" + kLayers[l] + ".png";
      if (!save_png(name.c_str(), w, h, 4, rgba.data(), w * 4)) __builtin_trap();
      written.push_back(name);
    }
    if (in.ConsumeBool()) {
      std::string cfg = in.ConsumeRandomLengthString(200);
      if (!fuzz_write_file(base + ".cfg", cfg.data(), cfg.size())) __builtin_trap();
      written.push_back(base + ".cfg");
    }
  }
  load_level_tiles();
  for (LevelGenTile* t : level_tiles) {
    bool has_layer = t->background || t->foreground || t->collision;
    if (has_layer && (t->width < 1 || t->height < 1)) __builtin_trap();
    // Layers made from the foreground are there whenever it is.
    if (t->foreground && (!t->background || !t->collision)) __builtin_trap();
    LevelGrid* g = grid_from_tile(t->name);
    if (!g || g->width * g->height != t->width * t->height || !g->config) __builtin_trap();
    g->~LevelGrid();
    dlfree(g);
  }
  close_level_tiles();
  for (const std::string& f : written) unlink(f.c_str());
  return 0;
}
