// Opens the platform window and the device for the GL tests, and reads the back buffer back.
#include "render_gl_env.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <string>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/imageFiles.h"
#include "engine/log.h"
#include "platform/platform.h"

namespace {
WindowHandle window = nullptr;
intptr_t proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) { return plat_def_window_proc(w, m, wp, lp); }
}  // namespace

bool render_gl_open(int width, int height) {
  if (d3d) return true;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  if (!plat_init()) return false;
  plat_register_window_class("RenderTest", proc);
  window = plat_create_window("render test", PLAT_STYLE_OVERLAPPED, false, 0, 0, width, height, PLAT_SHOW_NORMAL);
  if (!window) return false;
  isFullscreen = false;
  app_use_vsync = false;
  set_d3d_display_settings(app_display_settings());
  return init_d3d(window, width, height);
}

std::vector<D3dColor> read_back_buffer(int width, int height) {
  std::vector<D3dColor> px(size_t(width) * height, 0);
  IDirect3DSurface9* bb = nullptr;
  IDirect3DSurface9* sys = nullptr;
  if (d3d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb) != D3D_OK) return px;
  if (d3d->CreateOffscreenPlainSurface(UINT(width), UINT(height), D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &sys, nullptr) ==
          D3D_OK &&
      d3d->GetRenderTargetData(bb, sys) == D3D_OK) {
    D3DLOCKED_RECT lr;
    if (sys->LockRect(&lr, nullptr, D3DLOCK_READONLY) == D3D_OK) {
      for (int y = 0; y < height; y++)
        memcpy(&px[size_t(y) * width], (char*)lr.pBits + y * lr.Pitch, size_t(width) * 4);
      sys->UnlockRect();
    }
  }
  if (sys) sys->Release();
  bb->Release();
  return px;
}

void expect_golden_image(const char* name, const std::vector<D3dColor>& px, int w, int h) {
  std::string golden = std::string(GOLDEN_DIR) + "/" + name + ".png";
  auto save = [&](const std::string& path) {
    std::vector<uint8_t> rgba(px.size() * 4);
    for (size_t i = 0; i < px.size(); i++) {
      rgba[i * 4 + 0] = uint8_t(px[i] >> 16), rgba[i * 4 + 1] = uint8_t(px[i] >> 8);
      rgba[i * 4 + 2] = uint8_t(px[i]), rgba[i * 4 + 3] = 255;
    }
    return save_png(path.c_str(), w, h, 4, rgba.data(), w * 4);
  };
  const char* make = getenv("ASCENDA_MAKE_GOLDEN");
  if (make && !strcmp(make, "1")) {
    ASSERT_TRUE(save(golden));
    printf("wrote golden image %s: review it before committing\n", golden.c_str());
    return;
  }
  int gw = 0, gh = 0;
  DynArray<uint32_t> ref;
  ASSERT_TRUE(load_png(golden.c_str(), gw, gh, ref))
      << "no golden image " << golden << " (make it with ASCENDA_MAKE_GOLDEN=1 and review it)";
  ASSERT_EQ(gw, w);
  ASSERT_EQ(gh, h);
  int bad = 0, first = -1;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t a = ref[size_t(h - 1 - y) * w + x], b = px[size_t(y) * w + x];  // the reader's rows run up
      for (int s = 0; s < 24; s += 8) {
        int d = int((a >> s) & 255) - int((b >> s) & 255);
        if (d > 1 || d < -1) {
          if (first < 0) first = y * w + x;
          bad++;
          break;
        }
      }
    }
  if (bad) {
    mkdir("golden_actual", 0755);
    std::string actual = std::string("golden_actual/") + name + ".png";
    save(actual);
    ADD_FAILURE() << bad << " pixels differ from " << golden << ", first at (" << first % w << ", " << first / w
                  << "); actual image written to " << actual;
  }
}
