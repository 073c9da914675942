// Opens the platform window and the device for the GL tests, and reads the back buffer back.
#include "render_gl_env.h"
#include <stdlib.h>
#include <string.h>
#include "engine/app.h"
#include "engine/d3d_render.h"
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
