// The rendering device over our Direct3D 9 shaped layer: creation, reset and close, the frame gate,
// render states, transforms, clears, draws, render targets, surface copies and read-backs, display
// modes and the free-memory query.
// Sections: device; frame; render state; transforms, viewport, clears; drawing; render targets and
// surface copies.
#include "engine/d3d_render.h"
#include <math.h>
#include <string.h>
#include <chrono>
#include <thread>
#include "engine/d3d_misc.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/gameHost.h"
#include "engine/log.h"

IDirect3D9* d3d_object = nullptr;
IDirect3DDevice9* d3d = nullptr;
int d3d_wd = 0, d3d_ht = 0;
D3DFORMAT d3d_adapter_format = D3DFMT_X8R8G8B8;
D3DMULTISAMPLE_TYPE d3d_multisample_type = D3DMULTISAMPLE_NONE;
DWORD d3d_multisample_quality = 0;
bool d3d_limit_buffered_frames = true;

namespace {
const int NUM_FRAME_QUERIES = 8;
IDirect3DSurface9* scene_depth = nullptr;
IDirect3DQuery9* frame_queries[NUM_FRAME_QUERIES] = {};
int cur_frame_query = 0;
IDirect3DQuery9* flush_query = nullptr;
WindowHandle device_window = nullptr;
D3dDisplaySettings display;                     // as the shell last gave them; fullscreen follows every reset
IDirect3DSurface9* transfer_surface = nullptr;  // upload or read-back in progress
IDirect3DSurface9* front_copy = nullptr;        // front-buffer copy in progress
bool front_copy_locked = false;
float postfx_quad[12];
bool postfx_quad_filled = false;

void create_gpu_queries() {
  for (auto& q : frame_queries) {
    if (d3d->CreateQuery(D3DQUERYTYPE_EVENT, &q) == D3D_OK) q->Issue(D3DISSUE_END);
    else q = nullptr;
  }
  if (d3d->CreateQuery(D3DQUERYTYPE_EVENT, &flush_query) != D3D_OK) flush_query = nullptr;
  cur_frame_query = 0;
}

void release_gpu_queries() {
  for (auto& q : frame_queries) {
    if (q) q->Release();
    q = nullptr;
  }
  if (flush_query) flush_query->Release();
  flush_query = nullptr;
}

void set_default_samplers() {
  for (DWORD i = 0; i < 16; i++) {
    d3d->SetSamplerState(i, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d3d->SetSamplerState(i, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d3d->SetSamplerState(i, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    d3d->SetSamplerState(i, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    d3d->SetSamplerState(i, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    d3d->SetSamplerState(i, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
  }
}

void release_scene_target() {
  if (scene_depth) scene_depth->Release();
  scene_depth = nullptr;
}

void release_transfer_surface() {
  if (transfer_surface) transfer_surface->Release();
  transfer_surface = nullptr;
}

IDirect3DSurface9* level0(Texture* t) {
  IDirect3DSurface9* s = nullptr;
  if (!t || !t->tex || t->tex->GetSurfaceLevel(0, &s) != D3D_OK) return nullptr;
  return s;
}

const char* mode_name(bool fullscreen) { return fullscreen ? "fullscreen" : "windowed"; }
}  // namespace

// ---- device

void set_d3d_display_settings(const D3dDisplaySettings& settings) { display = settings; }
const D3dDisplaySettings& get_d3d_display_settings() { return display; }

bool d3d_is_open() { return d3d != nullptr; }
IDirect3DSurface9* get_scene_depth_surface() { return scene_depth; }

void fill_present_params(D3DPRESENT_PARAMETERS& pp, int& width, int& height) {
  memset(&pp, 0, sizeof(pp));
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.Windowed = !display.fullscreen;
  pp.hDeviceWindow = device_window;
  pp.PresentationInterval = display.vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
  pp.EnableAutoDepthStencil = 0;
  pp.BackBufferCount = 0;
  pp.MultiSampleType = D3DMULTISAMPLE_NONE;
  D3DDISPLAYMODE mode;
  if (d3d_object->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode) == D3D_OK) {
    pp.BackBufferFormat = mode.Format;
    if (display.fullscreen) {
      if (width < 1 || height < 1) {
        width = int(mode.Width);
        height = int(mode.Height);
      }
      pp.BackBufferWidth = UINT(width);
      pp.BackBufferHeight = UINT(height);
    }
  }
  // Multisampling applies to the scene depth surface only. Our layer's colour targets are single
  // sampled, so it reports no levels and the setting has no effect beyond this query.
  d3d_multisample_type = D3DMULTISAMPLE_NONE;
  d3d_multisample_quality = 0;
  DWORD levels = 0;
  if (d3d_object->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, pp.BackBufferFormat, pp.Windowed,
                                             D3DMULTISAMPLE_NONMASKABLE, &levels) == D3D_OK &&
      display.multisampling && levels > 0) {
    d3d_multisample_type = D3DMULTISAMPLE_NONMASKABLE;
    d3d_multisample_quality = levels - 1;
    debug("AA quality %d", int(levels));
  }
}

bool create_scene_target() {
  release_scene_target();
  HRESULT h = d3d->CreateDepthStencilSurface(UINT(d3d_wd), UINT(d3d_ht), D3DFMT_D24S8, d3d_multisample_type,
                                             d3d_multisample_quality, 0, &scene_depth, nullptr);
  if (h != D3D_OK) {
    scene_depth = nullptr;
    debug("FAILED to create scene z-buffer surface (code 0x%08X)", unsigned(h));
    return false;
  }
  return true;
}

bool init_d3d(WindowHandle window, int width, int height) {
  close_d3d();
  device_window = window;
  d3d_object = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d_object) return false;
  D3DPRESENT_PARAMETERS pp;
  fill_present_params(pp, width, height);
  HRESULT h = d3d_object->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                       &pp, &d3d);
  if (h != D3D_OK) {
    debug("failed HARDWARE_VERTEXPROCESSING, trying software one");
    h = d3d_object->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                 &d3d);
    if (h != D3D_OK) {
      d3d = nullptr;
      close_d3d();
      return false;
    }
  }
  // A windowed device takes the window's client size; the layer reports it back.
  if (width < 1 || height < 1) {
    width = int(pp.BackBufferWidth);
    height = int(pp.BackBufferHeight);
  }
  IDirect3DSurface9* bb = nullptr;
  if (d3d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb) == D3D_OK) {
    D3DSURFACE_DESC desc;
    bb->GetDesc(&desc);
    bb->Release();
    if (width < 1 || height < 1) {
      width = int(desc.Width);
      height = int(desc.Height);
    }
  }
  d3d_wd = width;
  d3d_ht = height;
  d3d_adapter_format = pp.BackBufferFormat;
  debug("starting d3d in %dx%d", d3d_wd, d3d_ht);
  if (!create_scene_target()) {
    close_d3d();
    return false;
  }
  create_gpu_queries();
  set_default_samplers();
  load_shader_compiler();
  debug("init d3d ok (%dx%d)", d3d_wd, d3d_ht);
  return true;
}

void close_d3d() {
  if (!d3d && !d3d_object) return;
  debug("close d3d");
  release_front_buffer_copy();
  release_transfer_surface();
  if (d3d) {
    release_gpu_queries();
    release_all_textures();
    release_all_buffers();
    release_vertex_decls();
    close_shaders();
    release_scene_target();
    d3d->Release();
    d3d = nullptr;
  }
  if (d3d_object) d3d_object->Release();
  d3d_object = nullptr;
}

bool reset_d3d(int width, int height, bool fullscreen, bool force) {
  if (!d3d) return false;
  if ((width == 0 || height == 0) && !fullscreen) {
    width = d3d_wd;
    height = d3d_ht;
  }
  if (!force && width == d3d_wd && height == d3d_ht && fullscreen == display.fullscreen) return true;
  debug("=== resizing d3d to %dx%d %s", width, height, mode_name(fullscreen));
  release_dynamic_buffers();
  release_default_textures();
  release_gpu_queries();
  release_scene_target();
  release_transfer_surface();
  release_front_buffer_copy();
  display.fullscreen = fullscreen;
  D3DPRESENT_PARAMETERS pp;
  fill_present_params(pp, width, height);
  pp.BackBufferWidth = UINT(width);
  pp.BackBufferHeight = UINT(height);
  HRESULT h = d3d->Reset(&pp);
  if (h != D3D_OK) {
    debug("Reset failed (code 0x%08X)", unsigned(h));
    return false;
  }
  d3d_wd = int(pp.BackBufferWidth);
  d3d_ht = int(pp.BackBufferHeight);
  d3d_adapter_format = pp.BackBufferFormat;
  recreate_default_textures();
  recreate_dynamic_buffers();
  if (!create_scene_target()) {
    debug("failed to recreate scene RT");
    return false;
  }
  create_gpu_queries();
  set_default_samplers();
  debug("resized d3d to %dx%d %s", d3d_wd, d3d_ht, mode_name(display.fullscreen));
  on_device_reset();
  return true;
}

bool check_d3d_device() {
  if (!d3d) return false;
  HRESULT h = d3d->TestCooperativeLevel();
  if (h == D3D_OK) return true;
  if (h == D3DERR_DEVICENOTRESET) return reset_d3d(d3d_wd, d3d_ht, display.fullscreen, true);
  return false;
}

void get_d3d_modes(DynArray<D3dMode>& modes) {
  if (!d3d_object) return;
  D3DDISPLAYMODE cur;
  D3DFORMAT fmt = d3d_object->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &cur) == D3D_OK ? cur.Format : D3DFMT_X8R8G8B8;
  UINT n = d3d_object->GetAdapterModeCount(D3DADAPTER_DEFAULT, fmt);
  for (UINT i = 0; i < n; i++) {
    D3DDISPLAYMODE m;
    if (d3d_object->EnumAdapterModes(D3DADAPTER_DEFAULT, fmt, i, &m) != D3D_OK) continue;
    bool seen = false;
    for (const D3dMode& e : modes)
      if (e.width == int(m.Width) && e.height == int(m.Height)) seen = true;
    if (!seen) modes.push_back(D3dMode{int(m.Width), int(m.Height)});
  }
}

// ---- frame

bool render_d3d_frame(float t) {
  if (!d3d) return false;
  IDirect3DQuery9* q = frame_queries[cur_frame_query];
  if (d3d_limit_buffered_frames && q) {
    HRESULT h = q->GetData(nullptr, 0, D3DGETDATA_FLUSH);
    if (h == S_FALSE || h == D3DERR_DEVICELOST) return false;
  }
  if (d3d->BeginScene() != D3D_OK) return false;
  d3d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  d3d->SetRenderState(D3DRS_LIGHTING, 0);
  d3d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  d3d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  d3d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  d3d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  d3d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  d3d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  render_frame(t);
  d3d->EndScene();
  if (q) q->Issue(D3DISSUE_END);
  cur_frame_query ^= 1;
  return true;
}

void present_d3d() {
  if (d3d) d3d->Present(nullptr, nullptr, nullptr, nullptr);
}

bool begin_scene() { return d3d && d3d->BeginScene() == D3D_OK; }
void end_scene() {
  if (d3d) d3d->EndScene();
}

void flush_gpu() {
  ASSERT(flush_query);
  flush_query->Issue(D3DISSUE_END);
  // Polls 20 microseconds apart: a software rasteriser finishes the frame on this machine's cores,
  // and a spinning poll would take one of them.
  while (flush_query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE)
    std::this_thread::sleep_for(std::chrono::microseconds(20));
}

unsigned get_free_texmem() {
  ASSERT(d3d);
  return d3d->GetAvailableTextureMem();
}

// ---- render state

static void blend(DWORD src, DWORD dst, DWORD op) {
  d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  d3d->SetRenderState(D3DRS_SRCBLEND, src);
  d3d->SetRenderState(D3DRS_DESTBLEND, dst);
  d3d->SetRenderState(D3DRS_BLENDOP, op);
}
void set_blend_none() { d3d->SetRenderState(D3DRS_ALPHABLENDENABLE, 0); }
void set_blend_additive() { blend(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD); }
void set_blend_smooth_add() { blend(D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR, D3DBLENDOP_ADD); }
void set_blend_alpha() { blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD); }
void set_blend_prealpha() { blend(D3DBLEND_ONE, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD); }
void set_blend_multiply() { blend(D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD); }
void set_blend_min() { blend(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN); }
void set_blend_max() { blend(D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX); }

void set_atest(int ref) {
  if (ref < 1) {
    d3d->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    return;
  }
  d3d->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  d3d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  d3d->SetRenderState(D3DRS_ALPHAREF, DWORD(ref));
}
void set_cull_mode(int on) { d3d->SetRenderState(D3DRS_CULLMODE, on ? D3DCULL_CCW : D3DCULL_NONE); }
void set_zenable(bool on) { d3d->SetRenderState(D3DRS_ZENABLE, on ? 1 : 0); }
void set_zwrite(bool on) { d3d->SetRenderState(D3DRS_ZWRITEENABLE, on ? 1 : 0); }
void set_zequal_passes(bool on) { d3d->SetRenderState(D3DRS_ZFUNC, on ? D3DCMP_LESSEQUAL : D3DCMP_LESS); }
void set_color_write_mask(int mask) { d3d->SetRenderState(D3DRS_COLORWRITEENABLE, DWORD(mask)); }
void set_wireframe(bool on) { d3d->SetRenderState(D3DRS_FILLMODE, on ? D3DFILL_WIREFRAME : D3DFILL_SOLID); }
void set_stencil_test(int mask, int ref, int func) {
  if (mask == 0) {
    d3d->SetRenderState(D3DRS_STENCILENABLE, 0);
    return;
  }
  d3d->SetRenderState(D3DRS_STENCILENABLE, 1);
  d3d->SetRenderState(D3DRS_STENCILMASK, DWORD(mask));
  d3d->SetRenderState(D3DRS_STENCILREF, DWORD(ref));
  d3d->SetRenderState(D3DRS_STENCILFUNC, DWORD(func));
}
void set_stencil_replace_bits(int bits) {
  d3d->SetRenderState(D3DRS_STENCILWRITEMASK, DWORD(bits));
  d3d->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
  d3d->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
  d3d->SetRenderState(D3DRS_STENCILPASS, bits ? D3DSTENCILOP_REPLACE : D3DSTENCILOP_KEEP);
}

// ---- transforms, viewport, clears

static D3DMATRIX to_d3d(const Matrix44& m) {
  D3DMATRIX d;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) d.m[r][c] = m.at(r, c);
  return d;
}
static Matrix44 from_d3d(const D3DMATRIX& d) {
  return Matrix44(
      vec4float(d.m[0][0], d.m[0][1], d.m[0][2], d.m[0][3]), vec4float(d.m[1][0], d.m[1][1], d.m[1][2], d.m[1][3]),
      vec4float(d.m[2][0], d.m[2][1], d.m[2][2], d.m[2][3]), vec4float(d.m[3][0], d.m[3][1], d.m[3][2], d.m[3][3]));
}

void set_view_tm(const Matrix44& m) {
  D3DMATRIX d = to_d3d(m);
  d3d->SetTransform(D3DTS_VIEW, &d);
}
void set_proj_tm(const Matrix44& m) {
  D3DMATRIX d = to_d3d(m);
  d3d->SetTransform(D3DTS_PROJECTION, &d);
}
Matrix44 perspective_tm(float fov, float aspect, float znear, float zfar) {
  float ys = 1.f / tanf(fov * 0.5f);
  float xs = ys / aspect;
  float q = zfar / (zfar - znear);
  return Matrix44(vec4float(xs, 0, 0, 0), vec4float(0, ys, 0, 0), vec4float(0, 0, q, 1),
                  vec4float(0, 0, -znear * q, 0));
}
void set_proj_tm(float fov, float aspect, float znear, float zfar) {
  set_proj_tm(perspective_tm(fov, aspect, znear, zfar));
}
void get_glob_tm(Matrix44& out) {
  D3DMATRIX v, p;
  d3d->GetTransform(D3DTS_VIEW, &v);
  d3d->GetTransform(D3DTS_PROJECTION, &p);
  out = from_d3d(v) * from_d3d(p);
}
void set_viewport(int x, int y, int width, int height) {
  D3DVIEWPORT9 vp = {DWORD(x), DWORD(y), DWORD(width), DWORD(height), 0.f, 1.f};
  d3d->SetViewport(&vp);
}
void clear_view(D3dColor colour) {
  if (d3d) d3d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, colour, 1.f, 0);
}
void clear_view_color(D3dColor colour) {
  if (d3d) d3d->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.f, 0);
}
void clear_view_z() {
  if (d3d) d3d->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.f, 0);
}

// ---- drawing

void draw_prim(D3DPRIMITIVETYPE type, int start_vertex, int prim_count) {
  if (prim_count < 1) return;
  HRESULT h = d3d->DrawPrimitive(type, UINT(start_vertex), UINT(prim_count));
  if (h != D3D_OK) fatal("draw_prim failed (code 0x%08X)", unsigned(h));
}

void draw_indexed(D3DPRIMITIVETYPE type, int base_vertex, int min_index, int num_vertices, int start_index,
                  int prim_count) {
  if (prim_count < 1) return;
  HRESULT h = d3d->DrawIndexedPrimitive(type, base_vertex, UINT(min_index), UINT(num_vertices), UINT(start_index),
                                        UINT(prim_count));
  if (h != D3D_OK) fatal("draw_indexed failed (code 0x%08X)", unsigned(h));
}

void draw_postfx() {
  if (!postfx_quad_filled) {
    const float q[12] = {-1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0};
    memcpy(postfx_quad, q, sizeof(q));
    postfx_quad_filled = true;
  }
  d3d->SetFVF(D3DFVF_XYZ);
  d3d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, postfx_quad, 12);
}

// ---- render targets and surface copies

D3DFORMAT render_target_format(int code) {
  switch (code) {
    case 1:
      return D3DFMT_A8R8G8B8;
    case 2:
      return D3DFMT_G16R16;
    case 3:
      return D3DFMT_R16F;
    case 4:
      return D3DFMT_G16R16F;
    case 5:
      return D3DFMT_A16B16G16R16F;
    case 6:
      return D3DFMT_R32F;
    case 7:
      return D3DFMT_G32R32F;
    case 8:
      return D3DFMT_A32B32G32R32F;
  }
  return D3DFMT_UNKNOWN;
}

bool check_render_target_format(int code) {
  if (!d3d_object) return false;
  return d3d_object->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, d3d_adapter_format,
                                       D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING,
                                       D3DRTYPE_TEXTURE, render_target_format(code)) == D3D_OK;
}

Texture* create_render_texture(int width, int height, int code) {
  return create_texture(width, height, 1, D3DUSAGE_RENDERTARGET, render_target_format(code), D3DPOOL_DEFAULT);
}
Texture* create_screen_render_texture() { return create_render_texture(0, 0, 1); }

void set_render_target(Texture* tex, int index, bool use_depth) {
  if (!tex) {
    if (index > 0) d3d->SetRenderTarget(DWORD(index), nullptr);
    return;
  }
  IDirect3DSurface9* s = level0(tex);
  if (!s) return;
  d3d->SetRenderTarget(DWORD(index), s);
  s->Release();
  if (index == 0) d3d->SetDepthStencilSurface(use_depth ? scene_depth : nullptr);
}

void set_back_buffer_target() {
  IDirect3DSurface9* bb = nullptr;
  if (d3d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb) != D3D_OK) return;
  d3d->SetRenderTarget(0, bb);
  bb->Release();
  d3d->SetDepthStencilSurface(nullptr);
}

void copy_texture(Texture* fromTex, Texture* toTex) {
  ASSERT(fromTex);
  ASSERT(toTex);
  IDirect3DSurface9* a = level0(fromTex);
  IDirect3DSurface9* b = level0(toTex);
  if (a && b) d3d->StretchRect(a, nullptr, b, nullptr, D3DTEXF_POINT);
  if (a) a->Release();
  if (b) b->Release();
}

bool copy_back_buffer_to_texture(Texture* tex) {
  if (!tex || !tex->tex) return false;
  IDirect3DSurface9* bb = nullptr;
  if (d3d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb) != D3D_OK) return false;
  IDirect3DSurface9* s = level0(tex);
  bool ok = s && d3d->StretchRect(bb, nullptr, s, nullptr, D3DTEXF_POINT) == D3D_OK;
  bb->Release();
  if (s) s->Release();
  return ok;
}

static bool make_transfer_surface(Texture* tex) {
  if (transfer_surface || !tex || !tex->tex) return false;
  D3DSURFACE_DESC desc;
  if (tex->tex->GetLevelDesc(0, &desc) != D3D_OK) return false;
  if (d3d->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &transfer_surface,
                                       nullptr) != D3D_OK) {
    transfer_surface = nullptr;
    return false;
  }
  return true;
}

void* lock_texture_upload(Texture* tex, int* pitch) {
  if (!make_transfer_surface(tex)) return nullptr;
  D3DLOCKED_RECT lr;
  if (transfer_surface->LockRect(&lr, nullptr, 0) != D3D_OK) {
    release_transfer_surface();
    return nullptr;
  }
  *pitch = lr.Pitch;
  return lr.pBits;
}

bool unlock_texture_upload(Texture* tex) {
  if (!transfer_surface) return false;
  transfer_surface->UnlockRect();
  bool ok = false;
  IDirect3DSurface9* dst = level0(tex);
  HRESULT h = dst ? d3d->UpdateSurface(transfer_surface, nullptr, dst, nullptr) : D3DERR_INVALIDCALL;
  if (dst) dst->Release();
  if (h != D3D_OK) debug("UpdateSurface failed, code 0x%08X", unsigned(h));
  else ok = true;
  release_transfer_surface();
  return ok;
}

void* lock_texture_readback(Texture* tex, int* pitch) {
  if (!make_transfer_surface(tex)) return nullptr;
  IDirect3DSurface9* src = level0(tex);
  HRESULT h = src ? d3d->GetRenderTargetData(src, transfer_surface) : D3DERR_INVALIDCALL;
  if (src) src->Release();
  D3DLOCKED_RECT lr;
  if (h != D3D_OK || transfer_surface->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) {
    release_transfer_surface();
    return nullptr;
  }
  *pitch = lr.Pitch;
  return lr.pBits;
}

bool unlock_texture_readback(bool had_lock) {
  if (!had_lock || !transfer_surface) return false;
  bool ok = transfer_surface->UnlockRect() == D3D_OK;
  release_transfer_surface();
  return ok;
}

void* lock_front_buffer_copy(int* width, int* height, int* pitch) {
  release_front_buffer_copy();
  if (!d3d) return nullptr;
  D3DDISPLAYMODE mode;
  if (d3d_object->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode) != D3D_OK) return nullptr;
  if (d3d->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &front_copy,
                                       nullptr) != D3D_OK) {
    front_copy = nullptr;
    return nullptr;
  }
  if (d3d->GetFrontBufferData(0, front_copy) != D3D_OK) {
    release_front_buffer_copy();
    return nullptr;
  }
  int x = 0, y = 0;
  plat_client_to_screen(device_window, &x, &y);
  int w = d3d_wd, h = d3d_ht;
  if (x < 0) {
    w += x;
    x = 0;
  }
  if (y < 0) {
    h += y;
    y = 0;
  }
  if (x + w > int(mode.Width)) w = int(mode.Width) - x;
  if (y + h > int(mode.Height)) h = int(mode.Height) - y;
  if (w < 1 || h < 1) {
    release_front_buffer_copy();
    return nullptr;
  }
  RECT r = {x, y, x + w, y + h};
  D3DLOCKED_RECT lr;
  if (front_copy->LockRect(&lr, &r, D3DLOCK_READONLY) != D3D_OK) {
    release_front_buffer_copy();
    return nullptr;
  }
  front_copy_locked = true;
  *width = w;
  *height = h;
  *pitch = lr.Pitch;
  return lr.pBits;
}

void release_front_buffer_copy() {
  if (!front_copy) return;
  if (front_copy_locked) front_copy->UnlockRect();
  front_copy_locked = false;
  front_copy->Release();
  front_copy = nullptr;
}
