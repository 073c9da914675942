// The minimal device: it opens the window's OpenGL 3.3 core context, clears, presents, resizes and
// reads back the displayed image. The full Direct3D-shaped renderer takes its place later.
#include "engine/d3d_render.h"
#include <stdlib.h>
#include <string.h>
#include <vector>
#include <SDL.h>
#include "engine/app.h"
#include "engine/font.h"
#include "engine/log.h"
#include "game/gameScene.h"

int d3d_wd = 0, d3d_ht = 0;

namespace {
typedef void (*PfnClearColor)(float, float, float, float);
typedef void (*PfnClear)(unsigned);
typedef void (*PfnViewport)(int, int, int, int);
typedef void (*PfnReadPixels)(int, int, int, int, unsigned, unsigned, void*);
typedef void (*PfnReadBuffer)(unsigned);
typedef void (*PfnPixelStorei)(unsigned, int);
typedef const unsigned char* (*PfnGetString)(unsigned);
typedef void (*PfnGetIntegerv)(unsigned, int*);
typedef unsigned (*PfnGetError)();

struct GlFunctions {
  PfnClearColor ClearColor;
  PfnClear Clear;
  PfnViewport Viewport;
  PfnReadPixels ReadPixels;
  PfnReadBuffer ReadBuffer;
  PfnPixelStorei PixelStorei;
  PfnGetString GetString;
  PfnGetIntegerv GetIntegerv;
  PfnGetError GetError;
} gl;

const unsigned GL_COLOR_BUFFER_BIT = 0x4000, GL_DEPTH_BUFFER_BIT = 0x100, GL_STENCIL_BUFFER_BIT = 0x400;
const unsigned GL_BACK = 0x0405, GL_BGRA = 0x80E1, GL_UNSIGNED_BYTE = 0x1401;
const unsigned GL_PACK_ALIGNMENT = 0x0D05, GL_VERSION = 0x1F02, GL_RENDERER = 0x1F01;

WindowHandle device_window = nullptr;
bool device_open = false;
bool in_scene = false;
std::vector<unsigned char> front_copy;

template <class F>
bool load(F& f, const char* name) {
  f = (F)plat_gl_get_proc_address(name);
  return f != nullptr;
}

void apply_colour(D3dColor c) {
  gl.ClearColor(float((c >> 16) & 255) / 255.f, float((c >> 8) & 255) / 255.f, float(c & 255) / 255.f,
                float(c >> 24) / 255.f);
}

void update_viewport() {
  int w, h;
  plat_gl_get_drawable_size(device_window, &w, &h);
  gl.Viewport(0, 0, w, h);
}
}  // namespace

bool d3d_is_open() { return device_open; }

bool init_d3d(WindowHandle window, int width, int height) {
  close_d3d();
  device_window = window;
  if (!plat_gl_create_context(window)) return false;
  bool ok = load(gl.ClearColor, "glClearColor") && load(gl.Clear, "glClear") && load(gl.Viewport, "glViewport") &&
            load(gl.ReadPixels, "glReadPixels") && load(gl.ReadBuffer, "glReadBuffer") &&
            load(gl.PixelStorei, "glPixelStorei") && load(gl.GetString, "glGetString") &&
            load(gl.GetIntegerv, "glGetIntegerv") && load(gl.GetError, "glGetError");
  if (!ok) {
    plat_gl_destroy_context();
    return false;
  }
  plat_gl_set_swap_interval(app_use_vsync ? 1 : 0);
  int dw, dh;
  plat_gl_get_drawable_size(window, &dw, &dh);
  if (isFullscreen && (width < 1 || height < 1)) plat_get_screen_size(&width, &height);
  if (width < 1 || height < 1) {
    width = dw;
    height = dh;
  }
  d3d_wd = width;
  d3d_ht = height;
  debug("starting d3d in %dx%d", d3d_wd, d3d_ht);
  debug("GL: %s, %s", (const char*)gl.GetString(GL_VERSION), (const char*)gl.GetString(GL_RENDERER));
  update_viewport();
  device_open = true;
  debug("init d3d ok (%dx%d)", d3d_wd, d3d_ht);
  return true;
}

void close_d3d() {
  if (!device_open) return;
  debug("close d3d");
  release_front_buffer_copy();
  plat_gl_destroy_context();
  device_open = false;
}

bool reset_d3d(int width, int height, bool fullscreen, bool force) {
  if (!device_open) return false;
  if ((width == 0 || height == 0) && !fullscreen) {
    width = d3d_wd;
    height = d3d_ht;
  }
  if (fullscreen && (width < 1 || height < 1)) plat_get_screen_size(&width, &height);
  if (!force && width == d3d_wd && height == d3d_ht && fullscreen == isFullscreen) return true;
  debug("=== resizing d3d to %dx%d %s", width, height, fullscreen ? "fullscreen" : "windowed");
  isFullscreen = fullscreen;
  d3d_wd = width;
  d3d_ht = height;
  update_viewport();
  debug("resized d3d to %dx%d %s", d3d_wd, d3d_ht, fullscreen ? "fullscreen" : "windowed");
  on_device_reset();
  return true;
}

bool check_d3d_device() { return device_open; }

bool begin_scene() {
  if (!device_open) return false;
  in_scene = true;
  return true;
}

void end_scene() { in_scene = false; }

bool render_d3d_frame(float t) {
  if (!begin_scene()) return false;
  render_frame(t);
  end_scene();
  return true;
}

void present_d3d() {
  if (device_open) plat_gl_swap(device_window);
}

void redraw_splash() {
  pump_messages();
  if (begin_scene()) {
    draw_splash();
    end_scene();
  }
  present_d3d();
}

void clear_view(D3dColor colour) {
  if (!device_open) return;
  apply_colour(colour);
  gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void clear_view_color(D3dColor colour) {
  if (!device_open) return;
  apply_colour(colour);
  gl.Clear(GL_COLOR_BUFFER_BIT);
}

// OpenGL has no portable free-memory query; a software rasteriser's textures live in system memory,
// so half of it is the estimate.
unsigned get_free_texmem() {
  ASSERT(device_open);
  const unsigned GL_TEXTURE_FREE_MEMORY_ATI = 0x87FC, GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX = 0x9049;
  int v[4] = {0, 0, 0, 0};
  gl.GetIntegerv(GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX, v);
  if (gl.GetError() == 0 && v[0] > 0) return unsigned(v[0] > 4194303 ? 4194303 : v[0]) * 1024u;
  gl.GetIntegerv(GL_TEXTURE_FREE_MEMORY_ATI, v);
  if (gl.GetError() == 0 && v[0] > 0) return unsigned(v[0] > 4194303 ? 4194303 : v[0]) * 1024u;
  int ram_mb = SDL_GetSystemRAM();
  uint64_t bytes = uint64_t(ram_mb > 0 ? ram_mb : 1024) / 2 * 1024 * 1024;
  return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : unsigned(bytes);
}

void* lock_front_buffer_copy(int* width, int* height, int* pitch) {
  release_front_buffer_copy();
  if (!device_open) return nullptr;
  int w, h;
  plat_gl_get_drawable_size(device_window, &w, &h);
  if (w < 1 || h < 1) return nullptr;
  // After a swap GL leaves the front buffer unreadable on many drivers: draw the displayed frame once
  // more into the back buffer (without presenting it) and read that.
  std::vector<unsigned char> raw(size_t(w) * size_t(h) * 4);
  render_d3d_frame(time_dt);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.ReadBuffer(GL_BACK);
  gl.ReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, raw.data());
  if (gl.GetError() != 0) return nullptr;
  // GL rows run bottom-up; the copy is top row first like a screen surface.
  front_copy.resize(raw.size());
  for (int y = 0; y < h; y++) memcpy(&front_copy[size_t(y) * w * 4], &raw[size_t(h - 1 - y) * w * 4], size_t(w) * 4);
  *width = w;
  *height = h;
  *pitch = w * 4;
  return front_copy.data();
}

void release_front_buffer_copy() {
  front_copy.clear();
  front_copy.shrink_to_fit();
}
