// The whole compiled-shader cache load on arbitrary file contents, on the recording device: the
// file is read, its dependency paths recorded (each made absolute against a program folder), the
// code blocks checked and handed to the device. No crash, never fatal, and an accepted file leaves
// dependency names that fit their records.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/sysUtils.h"
#include "fuzz_support.h"
#include "platform/d3d9/d3d9_record.h"
#include "platform/platform.h"

static intptr_t fuzz_window_proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) {
  return plat_def_window_proc(w, m, wp, lp);
}

static std::string set_up() {
  std::string folder = fuzz_scratch_folder();
  snprintf(app_path, sizeof(app_path), "%s", folder.c_str());
  mkdir((folder + "cache").c_str(), 0755);
  plat_init();
  plat_register_window_class("FuzzShaders", fuzz_window_proc);
  WindowHandle w = plat_create_window("fuzz", PLAT_STYLE_OVERLAPPED, false, 0, 0, 64, 64, PLAT_SHOW_NORMAL);
  isFullscreen = false;
  set_d3d_display_settings(app_display_settings());
  if (!init_d3d(w, 64, 64)) __builtin_trap();
  return folder + "cache/f.sh.cache";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string cache = set_up();
  if (!fuzz_write_file(cache, data, size)) return 0;
  static Shader s;
  s.name = "f.sh";
  memset(s.defs, 0, sizeof(s.defs));
  if (load_shader_cache(&s)) {
    for (const ShaderDependency& d : s.deps)
      if (strlen(d.path) >= size_t(ShaderDependency::MAX_NAME)) __builtin_trap();
    if (!s.vs || !s.ps) __builtin_trap();
    s.vs->Release();
    s.ps->Release();
    s.vs = nullptr;
    s.ps = nullptr;
  }
  s.deps.clear();
  d3d9_recorder_log().clear();
  return 0;
}
