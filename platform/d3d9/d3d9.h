// Our Direct3D 9 shaped graphics interface. The renderer is written against these objects and
// operations; two back ends provide them: d3d9_gl.cpp draws through OpenGL 3.3 core on the window's
// context, d3d9_record.cpp keeps resources in memory and records every call for tests.
//
// The enum values are the documented Direct3D 9 numbers, so the constants the renderer uses stay
// literal. The layer emulates Direct3D's conventions once, here: pixel centres on integers (the
// half-pixel offset), render targets with their first row at the top, clip-space depth 0..1, ARGB
// colours and A8R8G8B8 texels stored B, G, R, A in memory, and default-pool resources that must be
// released before a reset.
//
// Sections: basic types and results; formats; pools, usages, locks and device creation; render states;
// sampler and texture stage states; transforms and primitives; vertex declarations, streams and queries;
// plain structures; objects and resources; the device; the Direct3D object and the back ends; the shader
// code blob our compiler produces and both back ends accept.
#pragma once
#include <stddef.h>
#include <stdint.h>

// ---- basic types and results
typedef int32_t HRESULT;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint32_t D3DCOLOR;

enum : HRESULT {
  D3D_OK = 0,
  S_FALSE = 1,
  E_OUTOFMEMORY = (HRESULT)0x8007000E,
  E_FAIL = (HRESULT)0x80004005,
  D3DERR_OUTOFVIDEOMEMORY = (HRESULT)0x8876017C,
  D3DERR_WASSTILLDRAWING = (HRESULT)0x8876021C,
  D3DERR_DEVICELOST = (HRESULT)0x88760868,
  D3DERR_DEVICENOTRESET = (HRESULT)0x88760869,
  D3DERR_NOTAVAILABLE = (HRESULT)0x8876086A,
  D3DERR_INVALIDCALL = (HRESULT)0x8876086C,
};
inline bool FAILED(HRESULT h) { return h < 0; }
inline bool SUCCEEDED(HRESULT h) { return h >= 0; }

constexpr uint32_t D3D_MAKEFOURCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
         (uint32_t(uint8_t(d)) << 24);
}

// ---- formats
enum D3DFORMAT : uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_G16R16 = 34,
  D3DFMT_L8 = 50,
  D3DFMT_D24S8 = 75,
  D3DFMT_INDEX16 = 101,
  D3DFMT_R16F = 111,
  D3DFMT_G16R16F = 112,
  D3DFMT_A16B16G16R16F = 113,
  D3DFMT_R32F = 114,
  D3DFMT_G32R32F = 115,
  D3DFMT_A32B32G32R32F = 116,
  D3DFMT_DXT1 = D3D_MAKEFOURCC('D', 'X', 'T', '1'),
  D3DFMT_DXT3 = D3D_MAKEFOURCC('D', 'X', 'T', '3'),
  D3DFMT_DXT5 = D3D_MAKEFOURCC('D', 'X', 'T', '5'),
};

// ---- pools, usages, locks and device creation
enum D3DPOOL : uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2, D3DPOOL_SCRATCH = 3 };
enum : DWORD {
  D3DUSAGE_RENDERTARGET = 0x1,
  D3DUSAGE_DEPTHSTENCIL = 0x2,
  D3DUSAGE_WRITEONLY = 0x8,
  D3DUSAGE_DYNAMIC = 0x200,
  D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING = 0x80000,
};
enum : DWORD {
  D3DLOCK_READONLY = 0x10,
  D3DLOCK_NOSYSLOCK = 0x800,
  D3DLOCK_NOOVERWRITE = 0x1000,
  D3DLOCK_DISCARD = 0x2000
};
enum D3DRESOURCETYPE : uint32_t { D3DRTYPE_SURFACE = 1, D3DRTYPE_TEXTURE = 3 };
enum D3DMULTISAMPLE_TYPE : uint32_t { D3DMULTISAMPLE_NONE = 0, D3DMULTISAMPLE_NONMASKABLE = 1 };
enum D3DDEVTYPE : uint32_t { D3DDEVTYPE_HAL = 1 };
enum D3DSWAPEFFECT : uint32_t { D3DSWAPEFFECT_DISCARD = 1 };
enum D3DBACKBUFFER_TYPE : uint32_t { D3DBACKBUFFER_TYPE_MONO = 0 };
enum : DWORD {
  D3DPRESENT_INTERVAL_DEFAULT = 0,
  D3DPRESENT_INTERVAL_ONE = 1,
  D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u
};
enum : DWORD { D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20, D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40 };
enum : UINT { D3D_SDK_VERSION = 32, D3DADAPTER_DEFAULT = 0 };
enum : DWORD { D3DCLEAR_TARGET = 1, D3DCLEAR_ZBUFFER = 2, D3DCLEAR_STENCIL = 4 };

// ---- render states
enum D3DRENDERSTATETYPE : uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_STENCILENABLE = 52,
  D3DRS_STENCILFAIL = 53,
  D3DRS_STENCILZFAIL = 54,
  D3DRS_STENCILPASS = 55,
  D3DRS_STENCILFUNC = 56,
  D3DRS_STENCILREF = 57,
  D3DRS_STENCILMASK = 58,
  D3DRS_STENCILWRITEMASK = 59,
  D3DRS_LIGHTING = 137,
  D3DRS_COLORWRITEENABLE = 168,
  D3DRS_BLENDOP = 171,
  D3DRS_SCISSORTESTENABLE = 174,
  D3DRS_MAX = 256,
};
enum D3DBLEND : DWORD {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
};
enum D3DBLENDOP : DWORD {
  D3DBLENDOP_ADD = 1,
  D3DBLENDOP_SUBTRACT = 2,
  D3DBLENDOP_REVSUBTRACT = 3,
  D3DBLENDOP_MIN = 4,
  D3DBLENDOP_MAX = 5
};
enum D3DCMPFUNC : DWORD {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};
enum D3DCULL : DWORD { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DFILLMODE : DWORD { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum D3DSTENCILOP : DWORD {
  D3DSTENCILOP_KEEP = 1,
  D3DSTENCILOP_ZERO = 2,
  D3DSTENCILOP_REPLACE = 3,
  D3DSTENCILOP_INCRSAT = 4,
  D3DSTENCILOP_DECRSAT = 5,
  D3DSTENCILOP_INVERT = 6,
  D3DSTENCILOP_INCR = 7,
  D3DSTENCILOP_DECR = 8,
};
enum D3DZBUFFERTYPE : DWORD { D3DZB_FALSE = 0, D3DZB_TRUE = 1 };

// ---- sampler and texture stage states
enum D3DSAMPLERSTATETYPE : uint32_t {
  D3DSAMP_ADDRESSU = 1,
  D3DSAMP_ADDRESSV = 2,
  D3DSAMP_ADDRESSW = 3,
  D3DSAMP_BORDERCOLOR = 4,
  D3DSAMP_MAGFILTER = 5,
  D3DSAMP_MINFILTER = 6,
  D3DSAMP_MIPFILTER = 7,
  D3DSAMP_MAX = 14,
};
enum D3DTEXTUREADDRESS : DWORD {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4
};
enum D3DTEXTUREFILTERTYPE : DWORD { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
};
enum : DWORD { D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4 };
enum : DWORD { D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2 };

// ---- transforms and primitives
enum D3DTRANSFORMSTATETYPE : uint32_t { D3DTS_VIEW = 2, D3DTS_PROJECTION = 3, D3DTS_WORLD = 256 };
enum D3DPRIMITIVETYPE : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

// ---- vertex declarations, streams and queries
enum D3DDECLTYPE : uint8_t {
  D3DDECLTYPE_FLOAT1 = 0,
  D3DDECLTYPE_FLOAT2 = 1,
  D3DDECLTYPE_FLOAT3 = 2,
  D3DDECLTYPE_FLOAT4 = 3,
  D3DDECLTYPE_D3DCOLOR = 4,
  D3DDECLTYPE_UBYTE4 = 5,
  D3DDECLTYPE_SHORT2 = 6,
  D3DDECLTYPE_SHORT4 = 7,
  D3DDECLTYPE_UNUSED = 17,
};
enum D3DDECLMETHOD : uint8_t { D3DDECLMETHOD_DEFAULT = 0 };
enum D3DDECLUSAGE : uint8_t {
  D3DDECLUSAGE_POSITION = 0,
  D3DDECLUSAGE_BLENDWEIGHT = 1,
  D3DDECLUSAGE_BLENDINDICES = 2,
  D3DDECLUSAGE_NORMAL = 3,
  D3DDECLUSAGE_PSIZE = 4,
  D3DDECLUSAGE_TEXCOORD = 5,
  D3DDECLUSAGE_TANGENT = 6,
  D3DDECLUSAGE_BINORMAL = 7,
  D3DDECLUSAGE_TESSFACTOR = 8,
  D3DDECLUSAGE_POSITIONT = 9,
  D3DDECLUSAGE_COLOR = 10,
};
enum : DWORD { D3DFVF_XYZ = 0x002, D3DFVF_XYZRHW = 0x004, D3DFVF_DIFFUSE = 0x040, D3DFVF_TEX1 = 0x100 };
enum : UINT { D3DSTREAMSOURCE_INDEXEDDATA = 1u << 30, D3DSTREAMSOURCE_INSTANCEDATA = 2u << 30 };

enum D3DQUERYTYPE : uint32_t { D3DQUERYTYPE_EVENT = 8 };
enum : DWORD { D3DISSUE_END = 1, D3DGETDATA_FLUSH = 1 };

struct D3DVERTEXELEMENT9 {
  uint16_t Stream;
  uint16_t Offset;
  uint8_t Type;
  uint8_t Method;
  uint8_t Usage;
  uint8_t UsageIndex;
};
#define D3DDECL_END() \
  { 0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0 }
const int MAXD3DDECLLENGTH = 64;

// ---- plain structures
struct D3DMATRIX {
  float m[4][4];
};
struct D3DVIEWPORT9 {
  DWORD X, Y, Width, Height;
  float MinZ, MaxZ;
};
struct D3DLOCKED_RECT {
  int Pitch;
  void* pBits;
};
struct RECT {
  int32_t left, top, right, bottom;
};
struct D3DRECT {
  int32_t x1, y1, x2, y2;
};
struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  UINT Width, Height;
};
struct D3DDISPLAYMODE {
  UINT Width, Height, RefreshRate;
  D3DFORMAT Format;
};

struct PlatWindow;
struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth, BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  DWORD MultiSampleQuality;
  D3DSWAPEFFECT SwapEffect;
  PlatWindow* hDeviceWindow;
  int Windowed;
  int EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT PresentationInterval;
};

// ---- objects and resources
// Reference counting as the renderer expects of every object: Release at zero destroys it.
class D3dObject {
 public:
  uint32_t AddRef() { return ++refs; }
  uint32_t Release() {
    uint32_t r = --refs;
    if (r == 0) delete this;
    return r;
  }

 protected:
  virtual ~D3dObject() {}

 private:
  uint32_t refs = 1;
};

class IDirect3DSurface9 : public D3dObject {
 public:
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;
};

class IDirect3DBaseTexture9 : public D3dObject {
 public:
  virtual DWORD GetLevelCount() = 0;
};

class IDirect3DTexture9 : public IDirect3DBaseTexture9 {
 public:
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
};

struct D3DVERTEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  DWORD FVF;
};
struct D3DINDEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
};

class IDirect3DVertexBuffer9 : public D3dObject {
 public:
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;
};
class IDirect3DIndexBuffer9 : public D3dObject {
 public:
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) = 0;
};
class IDirect3DVertexDeclaration9 : public D3dObject {
 public:
  // With elements null, only the count (end marker included) is returned.
  virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) = 0;
};
class IDirect3DVertexShader9 : public D3dObject {};
class IDirect3DPixelShader9 : public D3dObject {};
class IDirect3DQuery9 : public D3dObject {
 public:
  virtual HRESULT Issue(DWORD flags) = 0;
  // S_OK when the event has passed, S_FALSE while it is pending, DEVICELOST when the device is gone.
  virtual HRESULT GetData(void* data, DWORD size, DWORD flags) = 0;
};

// ---- the device
class IDirect3DDevice9 : public D3dObject {
 public:
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual UINT GetAvailableTextureMem() = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
  virtual HRESULT Present(const RECT* src, const RECT* dst, PlatWindow* override_window, const void* dirty) = 0;
  virtual HRESULT GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out) = 0;
  virtual HRESULT GetFrontBufferData(UINT swap_chain, IDirect3DSurface9* dest) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) = 0;

  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
  virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
  virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* vp) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* vp) = 0;
  virtual HRESULT SetScissorRect(const RECT* r) = 0;

  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture9** out, void* shared) = 0;
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                     void* shared) = 0;
  virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer9** out, void* shared) = 0;
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                            DWORD ms_quality, int discard, IDirect3DSurface9** out, void* shared) = 0;
  virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DSurface9** out, void* shared) = 0;
  virtual HRESULT UpdateSurface(IDirect3DSurface9* src, const RECT* src_rect, IDirect3DSurface9* dst,
                                const void* dst_point) = 0;
  virtual HRESULT GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* dst) = 0;
  virtual HRESULT StretchRect(IDirect3DSurface9* src, const RECT* src_rect, IDirect3DSurface9* dst,
                              const RECT* dst_rect, D3DTEXTUREFILTERTYPE filter) = 0;
  virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) = 0;
  virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** out) = 0;
  virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) = 0;
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** out) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* tex) = 0;

  virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out) = 0;
  virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) = 0;
  virtual HRESULT SetFVF(DWORD fvf) = 0;
  virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* vb, UINT offset, UINT stride) = 0;
  virtual HRESULT SetStreamSourceFreq(UINT stream, UINT setting) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer9* ib) = 0;

  virtual HRESULT CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** out) = 0;
  virtual HRESULT SetVertexShader(IDirect3DVertexShader9* vs) = 0;
  virtual HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) = 0;
  virtual HRESULT CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** out) = 0;
  virtual HRESULT SetPixelShader(IDirect3DPixelShader9* ps) = 0;
  virtual HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) = 0;
  // Our layer's own addition: Direct3D pairs any vertex and pixel program at draw time, but the GL
  // back end links each pair into one program, which can fail. A shader build links its pair here,
  // so that such a failure is a failed build rather than a failed draw. log (log_size bytes, may be
  // null) receives the linker's text.
  virtual HRESULT LinkShaders(IDirect3DVertexShader9* vs, IDirect3DPixelShader9* ps, char* log, UINT log_size) = 0;

  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT prim_count) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int base_vertex, UINT min_index, UINT num_vertices,
                                       UINT start_index, UINT prim_count) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT prim_count, const void* data, UINT stride) = 0;

  virtual HRESULT CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** out) = 0;
};

// ---- the Direct3D object and the back ends
class IDirect3D9 : public D3dObject {
 public:
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
  virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) = 0;
  virtual HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                                    D3DRESOURCETYPE rtype, D3DFORMAT format) = 0;
  virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, int windowed,
                                             D3DMULTISAMPLE_TYPE ms, DWORD* quality_levels) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, PlatWindow* focus, DWORD flags,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) = 0;
};

// The Direct3D object of the back end the program was linked with: OpenGL on the window's context
// with the SDL platform (d3d9_gl.cpp), the recording one with the null platform (d3d9_record.cpp).
IDirect3D9* Direct3DCreate9(UINT sdk_version);

// ---- the shader code blob our compiler produces and both back ends accept
// {magic, stage, text length, instruction count} then the GLSL 330 text and a terminating zero.
const uint32_t D3D9_GLSL_BLOB_MAGIC = D3D_MAKEFOURCC('G', 'L', '3', '3');
struct D3d9GlslBlobHeader {
  uint32_t magic;
  uint32_t stage;  // 0 vertex, 1 pixel
  uint32_t text_length;
  uint32_t instruction_count;
};
// Size of a blob in bytes from its header, or 0 when the bytes are no blob of that stage.
size_t d3d9_blob_size(const void* code, size_t available, uint32_t stage);
inline bool d3d9_is_dxt_format(D3DFORMAT f) { return f == D3DFMT_DXT1 || f == D3DFMT_DXT3 || f == D3DFMT_DXT5; }
