// The recording back end: a device without a screen. Resources keep their bytes in memory, states
// are stored and read back, and every call is written to a log so tests can check call order,
// arguments and failure paths without OpenGL.
//
// Sections: the call log and injected failures; queries and shaders; the device (device state, reset
// and present; scenes and clears; render, sampler and transform states; resources and copies; targets
// and textures; vertex input; shaders; draws and queries); the Direct3D object; the recorder's controls.
#include "platform/d3d9/d3d9_record.h"
#include <stdarg.h>
#include <stdio.h>
#include <map>
#include "platform/d3d9/d3d9_mem.h"
#include "platform/platform.h"

namespace {
// ---- the call log and injected failures

D3d9RecorderConfig config;
std::vector<std::string> call_log;
std::map<std::string, std::pair<HRESULT, int>> failures;

void rec(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void rec(const char* fmt, ...) {
  char buf[512];
  va_list a;
  va_start(a, fmt);
  vsnprintf(buf, sizeof(buf), fmt, a);
  va_end(a);
  call_log.push_back(buf);
}

// The injected result of an operation, D3D_OK when none is pending.
HRESULT injected(const char* op) {
  auto it = failures.find(op);
  if (it == failures.end() || it->second.second <= 0) return D3D_OK;
  it->second.second--;
  return it->second.first;
}

// ---- queries and shaders

class RecQuery : public IDirect3DQuery9 {
 public:
  HRESULT Issue(DWORD flags) override {
    rec("Query.Issue %u", flags);
    return D3D_OK;
  }
  HRESULT GetData(void*, DWORD, DWORD flags) override {
    rec("Query.GetData %u", flags);
    if (HRESULT h = injected("Query.GetData")) return h;
    return config.queries_pending ? S_FALSE : D3D_OK;
  }
};

class RecShader : public IDirect3DVertexShader9 {};
class RecPixelShader : public IDirect3DPixelShader9 {};

// ---- the device

class RecDevice : public IDirect3DDevice9 {
 public:
  DWORD rs[D3DRS_MAX] = {};
  DWORD ss[16][D3DSAMP_MAX] = {};
  D3DMATRIX tm[3];
  D3DVIEWPORT9 vp;
  IDirect3DSurface9* rt[4] = {};
  IDirect3DSurface9* ds = nullptr;
  D3d9MemSurface* back = nullptr;
  bool in_scene = false;

  PlatWindow* window;
  RecDevice(PlatWindow* w, D3DPRESENT_PARAMETERS& p) : window(w) {
    for (auto& m : tm) {
      memset(&m, 0, sizeof(m));
      for (int i = 0; i < 4; i++) m.m[i][i] = 1;
    }
    makeBackBuffer(p);
  }
  ~RecDevice() override {
    for (auto& r : rt)
      if (r) r->Release();
    if (ds) ds->Release();
    if (back) back->Release();
  }
  // A windowed device of size 0 takes the window's client size, as the GL back end does.
  void makeBackBuffer(D3DPRESENT_PARAMETERS& p) {
    UINT w = p.BackBufferWidth, h = p.BackBufferHeight;
    PlatRect r;
    if ((!w || !h) && window && plat_get_client_rect(window, &r)) {
      w = UINT(r.right - r.left);
      h = UINT(r.bottom - r.top);
    }
    if (!w || !h) w = 640, h = 480;
    p.BackBufferWidth = w;
    p.BackBufferHeight = h;
    back = new D3d9MemSurface(D3D9_SURF_BACKBUFFER, w, h, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DUSAGE_RENDERTARGET);
    setTarget0(back);
  }
  void setTarget0(IDirect3DSurface9* s) {
    if (s) s->AddRef();
    if (rt[0]) rt[0]->Release();
    rt[0] = s;
    if (s) {
      D3DSURFACE_DESC d;
      s->GetDesc(&d);
      vp = {0, 0, d.Width, d.Height, 0.f, 1.f};
    }
  }

  // ---- device state, reset and present
  HRESULT TestCooperativeLevel() override {
    rec("TestCooperativeLevel");
    return config.cooperative_level;
  }
  UINT GetAvailableTextureMem() override { return config.texture_memory; }
  HRESULT Reset(D3DPRESENT_PARAMETERS* p) override {
    int bound = 0;
    for (int i = 0; i < 4; i++) bound += rt[i] && rt[i] != back ? 1 : 0;
    bound += ds ? 1 : 0;
    rec("Reset %ux%u windowed=%d ms=%u/%u interval=%x live=%d", p->BackBufferWidth, p->BackBufferHeight, p->Windowed,
        p->MultiSampleType, p->MultiSampleQuality, p->PresentationInterval, d3d9_live_default_objects - bound);
    // A failed reset leaves the device waiting for the next one, as Direct3D does.
    if (HRESULT h = injected("Reset")) {
      config.cooperative_level = D3DERR_DEVICENOTRESET;
      return h;
    }
    // The device's own bindings go first; what still lives of the default pool is the caller's.
    for (int i = 0; i < 4; i++) {
      if (rt[i]) rt[i]->Release();
      rt[i] = nullptr;
    }
    if (ds) ds->Release();
    ds = nullptr;
    if (d3d9_live_default_objects > 0) {
      config.cooperative_level = D3DERR_DEVICENOTRESET;
      return D3DERR_INVALIDCALL;
    }
    back->Release();
    makeBackBuffer(*p);
    config.cooperative_level = D3D_OK;
    return D3D_OK;
  }
  HRESULT Present(const RECT*, const RECT*, PlatWindow*, const void*) override {
    rec("Present");
    return injected("Present");
  }
  HRESULT GetBackBuffer(UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9** out) override {
    if (HRESULT h = injected("GetBackBuffer")) return h;
    back->AddRef();
    *out = back;
    return D3D_OK;
  }
  HRESULT GetFrontBufferData(UINT, IDirect3DSurface9* dest) override {
    rec("GetFrontBufferData");
    if (HRESULT h = injected("GetFrontBufferData")) return h;
    return dest ? D3D_OK : D3DERR_INVALIDCALL;
  }
  // ---- scenes and clears
  HRESULT BeginScene() override {
    rec("BeginScene");
    if (HRESULT h = injected("BeginScene")) return h;
    if (in_scene) return D3DERR_INVALIDCALL;
    in_scene = true;
    return D3D_OK;
  }
  HRESULT EndScene() override {
    rec("EndScene");
    if (!in_scene) return D3DERR_INVALIDCALL;
    in_scene = false;
    return D3D_OK;
  }
  HRESULT Clear(DWORD count, const D3DRECT*, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override {
    rec("Clear %u %08x %g %u", flags, colour, double(z), stencil);
    (void)count;
    return D3D_OK;
  }
  // ---- render, sampler and transform states
  HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
    rec("SetRenderState %u %u", s, v);
    if (s >= D3DRS_MAX) return D3DERR_INVALIDCALL;
    rs[s] = v;
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE s, DWORD* v) override {
    if (s >= D3DRS_MAX) return D3DERR_INVALIDCALL;
    *v = rs[s];
    return D3D_OK;
  }
  HRESULT SetSamplerState(DWORD i, D3DSAMPLERSTATETYPE t, DWORD v) override {
    rec("SetSamplerState %u %u %u", i, t, v);
    if (i >= 16 || t >= D3DSAMP_MAX) return D3DERR_INVALIDCALL;
    ss[i][t] = v;
    return D3D_OK;
  }
  HRESULT GetSamplerState(DWORD i, D3DSAMPLERSTATETYPE t, DWORD* v) override {
    if (i >= 16 || t >= D3DSAMP_MAX) return D3DERR_INVALIDCALL;
    *v = ss[i][t];
    return D3D_OK;
  }
  HRESULT SetTextureStageState(DWORD st, D3DTEXTURESTAGESTATETYPE t, DWORD v) override {
    rec("SetTextureStageState %u %u %u", st, t, v);
    return D3D_OK;
  }
  static int tmIndex(D3DTRANSFORMSTATETYPE s) { return s == D3DTS_VIEW ? 0 : s == D3DTS_PROJECTION ? 1 : 2; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override {
    rec("SetTransform %u", s);
    tm[tmIndex(s)] = *m;
    return D3D_OK;
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE s, D3DMATRIX* m) override {
    *m = tm[tmIndex(s)];
    return D3D_OK;
  }
  HRESULT SetViewport(const D3DVIEWPORT9* v) override {
    rec("SetViewport %u %u %u %u %g %g", v->X, v->Y, v->Width, v->Height, double(v->MinZ), double(v->MaxZ));
    vp = *v;
    return D3D_OK;
  }
  HRESULT GetViewport(D3DVIEWPORT9* v) override {
    *v = vp;
    return D3D_OK;
  }
  HRESULT SetScissorRect(const RECT* r) override {
    rec("SetScissorRect %d %d %d %d", r->left, r->top, r->right, r->bottom);
    return D3D_OK;
  }
  // ---- resources and copies
  HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT f, D3DPOOL pool, IDirect3DTexture9** out,
                        void*) override {
    rec("CreateTexture %ux%u %u %u %u %u", w, h, levels, usage, f, pool);
    if (HRESULT hr = injected("CreateTexture")) return hr;
    if (!out || w < 1 || h < 1 || (d3d9_texel_bytes(f) == 0 && !d3d9_is_dxt(f))) return D3DERR_INVALIDCALL;
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    *out = new D3d9MemTexture(w, h, levels, usage, f, pool);
    return D3D_OK;
  }
  HRESULT CreateVertexBuffer(UINT len, DWORD usage, DWORD, D3DPOOL pool, IDirect3DVertexBuffer9** out, void*) override {
    rec("CreateVertexBuffer %u %u %u", len, usage, pool);
    if (HRESULT hr = injected("CreateVertexBuffer")) return hr;
    if (!out || len == 0) return D3DERR_INVALIDCALL;
    *out = new D3d9MemVertexBuffer(len, usage, pool, D3DFMT_UNKNOWN);
    return D3D_OK;
  }
  HRESULT CreateIndexBuffer(UINT len, DWORD usage, D3DFORMAT f, D3DPOOL pool, IDirect3DIndexBuffer9** out,
                            void*) override {
    rec("CreateIndexBuffer %u %u %u %u", len, usage, f, pool);
    if (HRESULT hr = injected("CreateIndexBuffer")) return hr;
    if (!out || len == 0) return D3DERR_INVALIDCALL;
    *out = new D3d9MemIndexBuffer(len, usage, pool, f);
    return D3D_OK;
  }
  HRESULT CreateDepthStencilSurface(UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE ms, DWORD q, int discard,
                                    IDirect3DSurface9** out, void*) override {
    rec("CreateDepthStencilSurface %ux%u %u %u %u %d", w, h, f, ms, q, discard);
    if (HRESULT hr = injected("CreateDepthStencilSurface")) return hr;
    *out = new D3d9MemSurface(D3D9_SURF_DEPTH, w, h, f, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL);
    return D3D_OK;
  }
  HRESULT CreateOffscreenPlainSurface(UINT w, UINT h, D3DFORMAT f, D3DPOOL pool, IDirect3DSurface9** out,
                                      void*) override {
    rec("CreateOffscreenPlainSurface %ux%u %u %u", w, h, f, pool);
    if (HRESULT hr = injected("CreateOffscreenPlainSurface")) return hr;
    *out = new D3d9MemSurface(D3D9_SURF_PLAIN, w, h, f, pool, 0);
    return D3D_OK;
  }
  HRESULT UpdateSurface(IDirect3DSurface9* src, const RECT*, IDirect3DSurface9* dst, const void*) override {
    rec("UpdateSurface");
    if (HRESULT hr = injected("UpdateSurface")) return hr;
    return src && dst ? D3D_OK : D3DERR_INVALIDCALL;
  }
  HRESULT GetRenderTargetData(IDirect3DSurface9* src, IDirect3DSurface9* dst) override {
    rec("GetRenderTargetData");
    if (HRESULT hr = injected("GetRenderTargetData")) return hr;
    return src && dst ? D3D_OK : D3DERR_INVALIDCALL;
  }
  HRESULT StretchRect(IDirect3DSurface9* src, const RECT*, IDirect3DSurface9* dst, const RECT*,
                      D3DTEXTUREFILTERTYPE filter) override {
    rec("StretchRect %u", filter);
    if (HRESULT hr = injected("StretchRect")) return hr;
    return src && dst ? D3D_OK : D3DERR_INVALIDCALL;
  }
  // ---- targets and textures
  HRESULT SetRenderTarget(DWORD i, IDirect3DSurface9* s) override {
    rec("SetRenderTarget %u %s", i, s ? (s == back ? "back" : "surface") : "null");
    if (i >= 4 || (i == 0 && !s)) return D3DERR_INVALIDCALL;
    if (i == 0) setTarget0(s);
    else {
      if (s) s->AddRef();
      if (rt[i]) rt[i]->Release();
      rt[i] = s;
    }
    return D3D_OK;
  }
  HRESULT GetRenderTarget(DWORD i, IDirect3DSurface9** out) override {
    if (i >= 4 || !rt[i]) return D3DERR_NOTAVAILABLE;
    rt[i]->AddRef();
    *out = rt[i];
    return D3D_OK;
  }
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* s) override {
    rec("SetDepthStencilSurface %s", s ? "surface" : "null");
    if (s) s->AddRef();
    if (ds) ds->Release();
    ds = s;
    return D3D_OK;
  }
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** out) override {
    if (!ds) return D3DERR_NOTAVAILABLE;
    ds->AddRef();
    *out = ds;
    return D3D_OK;
  }
  HRESULT SetTexture(DWORD st, IDirect3DBaseTexture9* t) override {
    rec("SetTexture %u %s", st, t ? "tex" : "null");
    return D3D_OK;
  }
  // ---- vertex input
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* e, IDirect3DVertexDeclaration9** out) override {
    rec("CreateVertexDeclaration");
    if (HRESULT hr = injected("CreateVertexDeclaration")) return hr;
    *out = new D3d9MemDecl(e);
    return D3D_OK;
  }
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* d) override {
    rec("SetVertexDeclaration %s", d ? "decl" : "null");
    return D3D_OK;
  }
  HRESULT SetFVF(DWORD fvf) override {
    rec("SetFVF %u", fvf);
    return D3D_OK;
  }
  HRESULT SetStreamSource(UINT s, IDirect3DVertexBuffer9* vb, UINT off, UINT stride) override {
    rec("SetStreamSource %u %s %u %u", s, vb ? "vb" : "null", off, stride);
    return D3D_OK;
  }
  HRESULT SetStreamSourceFreq(UINT s, UINT setting) override {
    rec("SetStreamSourceFreq %u %08x", s, setting);
    return injected("SetStreamSourceFreq");
  }
  HRESULT SetIndices(IDirect3DIndexBuffer9* ib) override {
    rec("SetIndices %s", ib ? "ib" : "null");
    return D3D_OK;
  }
  // ---- shaders
  HRESULT CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** out) override {
    rec("CreateVertexShader");
    if (HRESULT hr = injected("CreateVertexShader")) return hr;
    if (!d3d9_blob_size(code, 1u << 24, 0)) return D3DERR_INVALIDCALL;
    *out = new RecShader();
    return D3D_OK;
  }
  HRESULT SetVertexShader(IDirect3DVertexShader9* s) override {
    rec("SetVertexShader %s", s ? "vs" : "null");
    return D3D_OK;
  }
  HRESULT SetVertexShaderConstantF(UINT start, const float*, UINT count) override {
    rec("SetVertexShaderConstantF %u %u", start, count);
    return D3D_OK;
  }
  HRESULT CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** out) override {
    rec("CreatePixelShader");
    if (HRESULT hr = injected("CreatePixelShader")) return hr;
    if (!d3d9_blob_size(code, 1u << 24, 1)) return D3DERR_INVALIDCALL;
    *out = new RecPixelShader();
    return D3D_OK;
  }
  HRESULT SetPixelShader(IDirect3DPixelShader9* s) override {
    rec("SetPixelShader %s", s ? "ps" : "null");
    return D3D_OK;
  }
  HRESULT SetPixelShaderConstantF(UINT start, const float*, UINT count) override {
    rec("SetPixelShaderConstantF %u %u", start, count);
    return D3D_OK;
  }
  HRESULT LinkShaders(IDirect3DVertexShader9* v, IDirect3DPixelShader9* p, char* log, UINT log_size) override {
    rec("LinkShaders");
    if (log && log_size) log[0] = 0;
    HRESULT h = injected("LinkShaders");
    if (h && log && log_size) snprintf(log, log_size, "%s", config.link_log.c_str());
    if (!h && (!v || !p)) h = D3DERR_INVALIDCALL;
    return h;
  }
  // ---- draws and queries
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE t, UINT start, UINT n) override {
    rec("DrawPrimitive %u %u %u", t, start, n);
    return injected("DrawPrimitive");
  }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE t, int base, UINT minI, UINT nv, UINT start, UINT n) override {
    rec("DrawIndexedPrimitive %u %d %u %u %u %u", t, base, minI, nv, start, n);
    return injected("DrawIndexedPrimitive");
  }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE t, UINT n, const void*, UINT stride) override {
    rec("DrawPrimitiveUP %u %u %u", t, n, stride);
    return injected("DrawPrimitiveUP");
  }
  HRESULT CreateQuery(D3DQUERYTYPE t, IDirect3DQuery9** out) override {
    rec("CreateQuery %u", t);
    if (HRESULT hr = injected("CreateQuery")) return hr;
    *out = new RecQuery();
    return D3D_OK;
  }
};

// ---- the Direct3D object

class RecD3D : public IDirect3D9 {
 public:
  HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* m) override {
    if (HRESULT h = injected("GetAdapterDisplayMode")) return h;
    *m = config.display;
    return D3D_OK;
  }
  const std::vector<D3DDISPLAYMODE>& modes() {
    static std::vector<D3DDISPLAYMODE> one;
    one.assign(1, config.display);
    return config.modes.empty() ? one : config.modes;
  }
  UINT GetAdapterModeCount(UINT, D3DFORMAT) override { return UINT(modes().size()); }
  HRESULT EnumAdapterModes(UINT, D3DFORMAT, UINT i, D3DDISPLAYMODE* m) override {
    if (i >= modes().size()) return D3DERR_INVALIDCALL;
    *m = modes()[i];
    return D3D_OK;
  }
  HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD usage, D3DRESOURCETYPE, D3DFORMAT f) override {
    rec("CheckDeviceFormat %u %u", usage, f);
    if (HRESULT h = injected("CheckDeviceFormat")) return h;
    return d3d9_texel_bytes(f) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, int, D3DMULTISAMPLE_TYPE, DWORD* q) override {
    if (HRESULT h = injected("CheckDeviceMultiSampleType")) return h;
    if (q) *q = config.quality_levels;
    return D3D_OK;
  }
  HRESULT CreateDevice(UINT, D3DDEVTYPE, PlatWindow*, DWORD flags, D3DPRESENT_PARAMETERS* p,
                       IDirect3DDevice9** out) override {
    rec("CreateDevice %x %ux%u", flags, p->BackBufferWidth, p->BackBufferHeight);
    if (HRESULT h = injected("CreateDevice")) return h;
    *out = new RecDevice(p->hDeviceWindow, *p);
    return D3D_OK;
  }
};
}  // namespace

// ---- the recorder's controls

IDirect3D9* Direct3DCreate9(UINT sdk_version) { return sdk_version == D3D_SDK_VERSION ? new RecD3D() : nullptr; }
D3d9RecorderConfig& d3d9_recorder_config() { return config; }
std::vector<std::string>& d3d9_recorder_log() { return call_log; }
void d3d9_recorder_fail(const char* op, HRESULT code, int times) { failures[op] = {code, times}; }
void d3d9_recorder_reset() {
  config = D3d9RecorderConfig();
  call_log.clear();
  failures.clear();
}
std::vector<std::string> d3d9_recorder_find(const char* prefix) {
  std::vector<std::string> r;
  for (auto& l : call_log)
    if (l.compare(0, strlen(prefix), prefix) == 0) r.push_back(l);
  return r;
}
