// The mesh reader on arbitrary bytes, on the recording graphics back end: it either builds a mesh
// whose buffers hold the stated sizes or throws, and never reads past the input.
#include <stddef.h>
#include <stdint.h>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/d3d_vbuf.h"
#include "engine/mesh.h"
#include "engine/streams.h"
#include "platform/d3d9/d3d9.h"
#include "platform/platform.h"

namespace {
intptr_t proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) { return plat_def_window_proc(w, m, wp, lp); }
bool open_device() {
  plat_init();
  plat_register_window_class("Fuzz", proc);
  WindowHandle w = plat_create_window("fuzz", PLAT_STYLE_OVERLAPPED, false, 0, 0, 64, 64, PLAT_SHOW_NORMAL);
  isFullscreen = false;
  set_d3d_display_settings(app_display_settings());
  return init_d3d(w, 64, 64);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ok = open_device();
  if (!ok) __builtin_trap();
  MemoryInputStream in(data, int(size));
  try {
    Mesh* m = parse_mesh(in);
    if (uint64_t(m->count_a) * m->count_b > size || uint64_t(m->tri_count) * 6 > size) __builtin_trap();
    if (m->ib->size != int(m->tri_count ? m->tri_count * 6 : 4)) __builtin_trap();
    mesh_list.push_back(m);
    release_mesh(m);
  } catch (InputStream::Exception&) {}
  if (count_buffers_in_use() != 0) __builtin_trap();
  return 0;
}
