// Shared set-up of the renderer's unit tests: the device on the recording back end over the null
// platform's window, a scratch program folder, and builders of DDS and shader cache files.
#pragma once
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/sysUtils.h"
#include "platform/d3d9/d3d9_record.h"
#include "platform/platform.h"

inline intptr_t render_test_proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) {
  return plat_def_window_proc(w, m, wp, lp);
}

// A fresh temporary program folder (ending in "/") that app_path points at.
inline std::string render_test_folder() {
  char tmpl[] = "/tmp/ascenda_render_XXXXXX";
  std::string f = std::string(mkdtemp(tmpl)) + "/";
  snprintf(app_path, sizeof(app_path), "%s", f.c_str());
  return f;
}

inline void render_write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

class RecorderDevice : public ::testing::Test {
 protected:
  WindowHandle window = nullptr;
  std::string folder;
  void SetUp() override {
    folder = render_test_folder();
    d3d9_recorder_reset();
    plat_init();
    plat_register_window_class("RenderTest", render_test_proc);
    window = plat_create_window("t", PLAT_STYLE_OVERLAPPED, false, 0, 0, 320, 200, PLAT_SHOW_NORMAL);
    isFullscreen = false;
    app_use_aa = false;
    set_d3d_display_settings(app_display_settings());
    ASSERT_TRUE(init_d3d(window, 320, 200));
    d3d9_recorder_log().clear();
  }
  void TearDown() override { close_d3d(); }
  static std::vector<std::string>& log() { return d3d9_recorder_log(); }
  // Index of the first log line at or after `from` starting with prefix, -1 when none.
  static int find(const char* prefix, int from = 0) {
    auto& l = log();
    for (int i = from; i < int(l.size()); i++)
      if (l[i].compare(0, strlen(prefix), prefix) == 0) return i;
    return -1;
  }
  static int count(const char* prefix) { return int(d3d9_recorder_find(prefix).size()); }
};

// DDS file bytes: a header for the format (fourcc "DXT1"/"DXT3"/"DXT5", or 'A' A8R8G8B8, 'X' X8R8G8B8,
// 'L' L8), size and mip count, followed by `data`.
inline std::vector<uint8_t> make_dds(char kind, const char* fourcc, uint32_t w, uint32_t h, uint32_t mips,
                                     const std::vector<uint8_t>& data) {
  std::vector<uint8_t> f(128, 0);
  auto put = [&](int off, uint32_t v) { memcpy(&f[size_t(off)], &v, 4); };
  memcpy(&f[0], "DDS ", 4);
  put(4, 124);
  put(8, 0x1 | 0x2 | 0x4 | 0x1000 | (mips > 1 ? 0x20000 : 0));
  put(12, h);
  put(16, w);
  put(28, mips);
  put(76, 32);
  if (fourcc) {
    put(80, 0x4);
    memcpy(&f[84], fourcc, 4);
  } else if (kind == 'L') {
    put(80, 0x20000);
    put(88, 8);
  } else {
    put(80, 0x40 | (kind == 'A' ? 0x1 : 0));
    put(88, 32);
    put(92, 0x00FF0000);
    put(96, 0x0000FF00);
    put(100, 0x000000FF);
    put(104, kind == 'A' ? 0xFF000000 : 0);
  }
  put(108, 0x1000 | (mips > 1 ? 0x400008 : 0));
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A cache file with code blobs as our compiler writes them.
inline std::vector<uint8_t> cache_bytes(const std::vector<std::string>& deps, uint32_t magic = SHADER_CACHE_MAGIC) {
  auto blob = [](uint32_t stage) {
    std::string text = "void main() {}\n";
    D3d9GlslBlobHeader h = {D3D9_GLSL_BLOB_MAGIC, stage, uint32_t(text.size()), 1};
    std::vector<uint8_t> b(sizeof(h) + text.size() + 1, 0);
    memcpy(b.data(), &h, sizeof(h));
    memcpy(b.data() + sizeof(h), text.data(), text.size());
    return b;
  };
  std::vector<uint8_t> d;
  for (auto& p : deps) {
    d.insert(d.end(), p.begin(), p.end());
    d.push_back(0);
  }
  d.push_back(0);
  std::vector<uint8_t> v = blob(0), p = blob(1);
  uint32_t h[4] = {magic, uint32_t(d.size()), uint32_t(v.size()), uint32_t(p.size())};
  std::vector<uint8_t> f((uint8_t*)h, (uint8_t*)h + 16);
  f.insert(f.end(), d.begin(), d.end());
  f.insert(f.end(), v.begin(), v.end());
  f.insert(f.end(), p.begin(), p.end());
  return f;
}
