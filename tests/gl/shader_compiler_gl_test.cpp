// Our shader compiler library against Direct3D 9 HLSL as others write it: each case compiles both
// stages the way the game calls the library, links them on the GL back end by drawing, and checks
// the pixels; what the layer cannot draw must fail in the compile with a message saying why.
// Sections: compiling, drawing a pair, what links and draws, what is refused, the game's shaders.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <map>
#include <string>
#include <vector>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "platform/d3d9/d3dcompiler.h"
#include "render_gl_env.h"

namespace {
// ---- compiling

const UINT GAME_FLAGS = D3DCOMPILE_DEBUG | D3DCOMPILE_OPTIMIZATION_LEVEL3 | D3DCOMPILE_WARNINGS_ARE_ERRORS;

// Files handed out from memory by name, counting the opens. beside_parent: a name is looked for in
// the folder of the including file, which Open knows by its bytes, as handlers that keep shaders in
// folders do.
class MemoryInclude : public ID3DInclude {
 public:
  std::map<std::string, std::string> files;
  int opens = 0;
  bool beside_parent = false;
  std::vector<const void*> parents;  // given to each Open
  HRESULT Open(D3D_INCLUDE_TYPE, const char* name, const void* parent, const void** data, UINT* size) override {
    parents.push_back(parent);
    std::string path = name;
    for (const auto& f : files)
      if (beside_parent && parent == f.second.data()) path = f.first.substr(0, f.first.rfind('/') + 1) + name;
    auto it = files.find(path);
    if (it == files.end()) return D3DERR_INVALIDCALL;
    opens++;
    *data = it->second.data();
    *size = UINT(it->second.size());
    return D3D_OK;
  }
  HRESULT Close(const void*) override { return D3D_OK; }
};

struct Compiled {
  bool ok = false;
  std::string errors;
  std::vector<DWORD> code;
};

PfnD3DCompile compiler() {
  static void* lib = dlopen(RENDER_BIN_DIR "/d3dcompiler_43.dll", RTLD_NOW | RTLD_LOCAL);
  return lib ? (PfnD3DCompile)dlsym(lib, "D3DCompile") : nullptr;
}

// One stage, with the game's definitions (VSH or PSH) and, unless told, the game's flags and
// profiles.
Compiled compile(const std::string& src, bool vertex, UINT flags = GAME_FLAGS, ID3DInclude* inc = nullptr,
                 const char* profile = nullptr) {
  Compiled r;
  PfnD3DCompile c = compiler();
  if (!c) {
    r.errors = "no compiler library";
    return r;
  }
  D3D_SHADER_MACRO m[2] = {{vertex ? "VSH" : "PSH", " 1"}, {nullptr, nullptr}};
  ID3DBlob* code = nullptr;
  ID3DBlob* errors = nullptr;
  if (!profile) profile = vertex ? "vs_2_0" : "ps_2_0";
  HRESULT h = c(src.data(), src.size(), "case.sh", m, inc, vertex ? "vsh" : "psh", profile, flags, 0, &code, &errors);
  if (errors) {
    r.errors = (const char*)errors->GetBufferPointer();
    errors->Release();
  }
  r.ok = h == D3D_OK && code;
  if (code) {
    r.code.resize((code->GetBufferSize() + 3) / 4);
    memcpy(r.code.data(), code->GetBufferPointer(), code->GetBufferSize());
    code->Release();
  }
  return r;
}

// ---- drawing a pair

struct Textures {
  Texture* stage[4] = {};
  Textures() {
    const D3dColor colours[4] = {0xFFFFFFFF, 0xFF400000, 0xFF008000, 0xFF0000C0};
    for (int i = 0; i < 4; i++) {
      stage[i] = create_managed_texture(1, 1);
      int pitch;
      *(D3dColor*)lock_texture(stage[i], &pitch, false) = colours[i];
      unlock_texture(stage[i]);
    }
  }
  ~Textures() {
    for (int i = 0; i < 4; i++) {
      d3d->SetTexture(DWORD(i), nullptr);
      destroy_texture(stage[i]);
    }
  }
};

// The full-screen quad; every vertex carries the same extra data, so interpolation gives it back
// exactly.
struct QuadVertex {
  float pos[4], pos1[4], normal1[3], uv[2], normal[4];
};
void fill_quad(QuadVertex* q) {
  const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
  for (int i = 0; i < 4; i++)
    q[i] = QuadVertex{
        {corners[i][0], corners[i][1], 0, 1}, {0.75f, 0.25f, 0.5f, 1}, {0.5f, 1, 0.25f}, {0.25f, 0.5f}, {9, 9, 9, 9}};
}

// Draws the whole back buffer, or the 64 x 48 texture `target`, with the pair, alpha test on,
// from memory or from `vb`, and returns the centre pixel (0 when the pair did not draw, as when it
// fails to link).
D3dColor draw_pair(const std::vector<DWORD>& vcode, const std::vector<DWORD>& pcode, HRESULT* drawn,
                   VertexBuffer* vb = nullptr, Texture* target = nullptr) {
  IDirect3DVertexShader9* vs = nullptr;
  IDirect3DPixelShader9* ps = nullptr;
  *drawn = D3DERR_INVALIDCALL;
  if (d3d->CreateVertexShader(vcode.data(), &vs) != D3D_OK || d3d->CreatePixelShader(pcode.data(), &ps) != D3D_OK) {
    if (vs) vs->Release();
    return 0;
  }
  Textures tex;
  d3d->BeginScene();
  if (target) set_render_target(target, 0, false);
  else set_back_buffer_target();
  set_blend_none();
  set_cull_mode(0);
  clear_view(0xFF000000);
  static const VertexElement els[] = {{0, 0, VE_FLOAT4, VU_POSITION, 0}, {16, 0, VE_FLOAT4, VU_POSITION, 1},
                                      {32, 0, VE_FLOAT3, VU_NORMAL, 1},  {44, 0, VE_FLOAT2, VU_TEXCOORD, 0},
                                      {52, 0, VE_FLOAT4, VU_NORMAL, 0},  VE_END};
  set_vertex_decl(get_vertex_decl(els));
  for (int i = 0; i < 4; i++) set_texture(i, tex.stage[i]);
  // Vertex c0 and pixel c0: what the case reads; c1 and up: zero or garbage, to show a shift.
  float vs_regs[4][4] = {{0, 0, 0, 0}, {5, 5, 5, 5}, {5, 5, 5, 5}, {5, 5, 5, 5}};
  float ps_regs[4][4] = {{0.25f, 0.5f, 0.75f, 1}, {0, 0, 0, 0}, {0.25f, 0.25f, 0, 0}, {0, 0, 0, 0}};
  set_vs_consts(0, &vs_regs[0][0], 4);
  set_ps_consts(0, &ps_regs[0][0], 4);
  d3d->SetVertexShader(vs);
  d3d->SetPixelShader(ps);
  d3d->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  d3d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
  d3d->SetRenderState(D3DRS_ALPHAREF, 0x10);
  QuadVertex q[4];
  fill_quad(q);
  if (vb) {
    set_stream_source(0, vb, 0, sizeof(QuadVertex));
    *drawn = d3d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  } else {
    *drawn = d3d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(QuadVertex));
  }
  D3dColor centre = 0;
  if (target) {
    int pitch = 0;
    const uint8_t* p = (const uint8_t*)lock_texture_readback(target, &pitch);
    if (p) memcpy(&centre, p + 24 * pitch + 32 * 4, 4);
    unlock_texture_readback(p != nullptr);
    set_back_buffer_target();
  } else {
    centre = read_back_buffer()[24 * 64 + 32];
  }
  d3d->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
  d3d->SetVertexShader(nullptr);
  d3d->SetPixelShader(nullptr);
  d3d->EndScene();
  vs->Release();
  ps->Release();
  return centre;
}

bool near(D3dColor a, D3dColor b) {
  for (int s = 0; s < 32; s += 8) {
    int d = int((a >> s) & 255) - int((b >> s) & 255);
    if (d < -1 || d > 1) return false;
  }
  return true;
}

// ---- what links and draws

class ShaderCompilerGl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(render_gl_open(64, 48)); }
  void SetUp() override { ASSERT_TRUE(compiler()) << dlerror(); }
};

// The plain vertex program most pixel cases share.
#define VS_PLAIN                                                      \
  "struct VsOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n" \
  "VsOut vsh(float4 p : POSITION0, float2 uv : TEXCOORD0) {\n"        \
  "  VsOut o; o.pos = p; o.uv = uv; return o;\n"                      \
  "}\n"

struct DrawCase {
  const char* name;
  const char* hlsl;
  D3dColor want;
  UINT flags = GAME_FLAGS;
  const char* vs_profile = "vs_2_0";
  const char* ps_profile = "ps_2_0";
};

TEST_F(ShaderCompilerGl, WhatDirect3D9AcceptsLinksAndDrawsAsItWould) {
  const DrawCase cases[] = {
      // The layer's alpha test reads the colour's alpha: narrow colours are widened to vec4.
      {"scalar colour, replicated", VS_PLAIN "float psh(VsOut i) : COLOR { return 0.5; }", 0x80808080},
      {"float3 colour, alpha one", VS_PLAIN "float3 psh(VsOut i) : COLOR { return float3(1, 0.5, 0.25); }", 0xFFFF8040},
      // Varyings differing in size between the stages.
      {"float4 written, float2 read",
       "float4 vsh(float4 p : POSITION0, float2 uv : TEXCOORD0, out float4 t : TEXCOORD0) : POSITION {\n"
       "  t = float4(uv, 0.75, 0.0); return p; }\n"
       "float4 psh(float2 uv : TEXCOORD0) : COLOR { return float4(uv, 1, 1); }",
       0xFF4080FF},
      {"float2 written, float4 read (z 0, w 1)",
       "float4 vsh(float4 p : POSITION0, float2 uv : TEXCOORD0, out float2 t : TEXCOORD0) : POSITION {\n"
       "  t = uv; return p; }\n"
       "float4 psh(float4 t : TEXCOORD0) : COLOR { return float4(t.w, t.x, t.y, 1 - t.z); }",
       0xFFFF4080},
      {"float3 written, float read",
       "float4 vsh(float4 p : POSITION0, float2 uv : TEXCOORD0, out float3 t : COLOR1) : POSITION {\n"
       "  t = float3(uv, 1); return p; }\n"
       "float4 psh(float t : COLOR1) : COLOR { return float4(t, t, t, 1); }",
       0xFF404040},
      // Every element of a sampler array reads its own stage.
      {"sampler array from s1",
       VS_PLAIN "sampler2D s[3] : register(s1);\n"
                "float4 psh(VsOut i) : COLOR {\n"
                "  return tex2D(s[0], i.uv) + tex2D(s[1], i.uv) + tex2D(s[2], i.uv); }",
       0xFF4080C0},
      // Registers per stage and per register file, as Direct3D 9 assigns them.
      {"unregistered sampler and constants take the first registers of their stage",
       "float4 vs_shift;\nfloat4 tint;\nsampler2D img;\n"
       "struct VsOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
       "VsOut vsh(float4 p : POSITION0, float2 uv : TEXCOORD0) {\n"
       "  VsOut o; o.pos = p + vs_shift; o.uv = uv; return o; }\n"
       "float4 psh(VsOut i) : COLOR { return tex2D(img, i.uv) * tint; }",
       0xFF4080BF},
      {"an unregistered constant fills the gap below a registered one",
       VS_PLAIN "float4 hi : register(c2);\nfloat4 lo;\n"
                "float4 psh(VsOut i) : COLOR { return hi + lo; }",
       0xFF80BFBF},
      // Second-index vertex inputs read their own elements.
      {"POSITION1 and NORMAL1",
       "struct VsOut { float4 pos : POSITION; float4 col : COLOR0; };\n"
       "VsOut vsh(float4 p : POSITION0, float4 p1 : POSITION1, float3 n1 : NORMAL1) {\n"
       "  VsOut o; o.pos = p; o.col = float4(p1.x, n1.y, n1.z, 1); return o; }\n"
       "float4 psh(float4 col : COLOR0) : COLOR { return col; }",
       0xFFBFFF40},
      // Pixel c0 to c3 as rows (row-major) or as columns: only the rows give an opaque colour.
      {"matrices packed by rows under the flag",
       VS_PLAIN "float4x4 m : register(c0);\nfloat4 psh(VsOut i) : COLOR { return m[0]; }", 0xFF4080BF,
       GAME_FLAGS | D3DCOMPILE_PACK_MATRIX_ROW_MAJOR},
      {"a UTF-8 byte-order mark", "\xEF\xBB\xBF" VS_PLAIN "float4 psh(VsOut i) : COLOR { return float4(i.uv, 0, 1); }",
       0xFF408000},
      // One file for both stages: what only the other entry, or no entry, reads is no concern of
      // this one.
      {"integer and bool constants no entry reads",
       "int mode : register(i0);\nbool flip : register(b0);\nint4 counts;\nfloat4 tint : register(c0);\n"
       "float4 unused_helper() { return flip ? counts : mode; }\n" VS_PLAIN
       "float4 psh(VsOut i) : COLOR { return tint; }",
       0xFF4080BF},
      {"one register for a vertex constant and a pixel constant",
       "float4x4 wvp : register(c0);\nfloat4 tint : register(c0);\n"
       "struct VsOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
       "VsOut vsh(float4 p : POSITION0, float2 uv : TEXCOORD0) {\n"
       "  VsOut o; o.pos = p + wvp[0][0]; o.uv = uv; return o; }\n"
       "float4 psh(VsOut i) : COLOR { return tint; }",
       0xFF4080BF},
      // A register for one profile binds only there; the other stage places the constant itself.
      {"a vertex-only register, the pixel program's constant in its first free register",
       "float4 tint : register(vs, c2);\nfloat4 unused : register(ps_2_0, c0) : register(vs, c0);\n"
       "struct VsOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
       "VsOut vsh(float4 p : POSITION0, float2 uv : TEXCOORD0) {\n"
       "  VsOut o; o.pos = p + tint * 0; o.uv = uv; return o; }\n"
       "float4 psh(VsOut i) : COLOR { return tint; }",
       0xFF4080BF},
      // Arrays of varyings take one semantic index per element, whichever way each side declares them.
      {"struct arrays on TEXCOORD0 and TEXCOORD2, read one by one and as an array",
       "struct VsOut { float4 pos : POSITION; float2 uv[2] : TEXCOORD0; float3 sc[3] : TEXCOORD2; };\n"
       "VsOut vsh(float4 p : POSITION0, float2 uv : TEXCOORD0) {\n"
       "  VsOut o; o.pos = p; o.uv[0] = uv; o.uv[1] = uv.yx;\n"
       "  for (int k = 0; k < 3; k++) o.sc[k] = float3(0.25 * k, 0, 1);\n"
       "  return o; }\n"
       "float4 psh(float2 t1 : TEXCOORD1, float3 s[3] : TEXCOORD2) : COLOR { return float4(t1.x, s[2].x, s[1].x, 1); }",
       0xFF808040},
      {"a float4 array in a struct, read as TEXCOORD1 and TEXCOORD2",
       "struct VsOut { float4 pos : POSITION; float4 t[2] : TEXCOORD1; };\n"
       "VsOut vsh(float4 p : POSITION0) {\n"
       "  VsOut o; o.pos = p; o.t[0] = float4(0.25, 0, 0, 0); o.t[1] = float4(0, 0.5, 0, 1); return o; }\n"
       "float4 psh(float4 a : TEXCOORD1, float4 b : TEXCOORD2) : COLOR { return a + b; }",
       0xFF408000},
      {"an out parameter array, read as a struct array",
       "float4 vsh(float4 p : POSITION0, out float2 t[2] : TEXCOORD3) : POSITION {\n"
       "  t[0] = float2(0.25, 0.5); t[1] = float2(0.75, 1); return p; }\n"
       "struct PsIn { float2 t[2] : TEXCOORD3; };\n"
       "float4 psh(PsIn i) : COLOR { return float4(i.t[1].x, i.t[0].y, i.t[0].x, i.t[1].y); }",
       0xFFBF8040},
      {"a vertex input array on TEXCOORD0 and TEXCOORD1, element 0 read",
       "struct VsOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
       "VsOut vsh(float4 p : POSITION0, float2 t[2] : TEXCOORD0) { VsOut o; o.pos = p; o.uv = t[0]; return o; }\n"
       "float4 psh(VsOut i) : COLOR { return float4(i.uv, 0, 1); }",
       0xFF408000},
      // The position input, however named, is what the layer feeds from POSITION0.
      {"SV_Position input beside POSITION1",
       "struct VsOut { float4 pos : POSITION; float4 col : COLOR0; };\n"
       "VsOut vsh(float4 p1 : POSITION1, float4 p : SV_Position) {\n"
       "  VsOut o; o.pos = p; o.col = p1; return o; }\n"
       "float4 psh(float4 col : COLOR0) : COLOR { return col; }",
       0xFFBF4080},
      // Matrix swizzles: pixel c0..c3 hold the columns, so _r1 is c0's component r, _23 is c2.y.
      {"matrix swizzles, one-based and zero-based",
       VS_PLAIN "float4x4 m : register(c0);\n"
                "float4 psh(VsOut i) : COLOR { return float4(m._11_21, m._m02_m30) + float4(0, 0, m._23, 0); }",
       0xFF408080},
      // The position however the vertex entry writes it.
      {"a position written through an out parameter",
       "void vsh(float4 p : POSITION0, float2 uv : TEXCOORD0, out float4 pos : POSITION, out float2 t : TEXCOORD0) {\n"
       "  pos = p; t = uv; }\n"
       "float4 psh(float2 t : TEXCOORD0) : COLOR { return float4(t, 0, 1); }",
       0xFF408000},
      {"a position written through an out parameter, vs_3_0",
       "void vsh(float4 p : POSITION0, float2 uv : TEXCOORD0, out float4 pos : POSITION, out float2 t : TEXCOORD0) {\n"
       "  pos = p; t = uv; }\n"
       "float4 psh(float2 t : TEXCOORD0) : COLOR { return float4(t, 0, 1); }",
       0xFF408000, GAME_FLAGS, "vs_3_0", "ps_3_0"},
      {"an SV_Position return, vs_3_0",
       "float4 vsh(float4 p : POSITION0, float2 uv : TEXCOORD0, out float2 t : TEXCOORD0) : SV_Position {\n"
       "  t = uv; return p; }\n"
       "float4 psh(float2 t : TEXCOORD0) : COLOR { return float4(t, 0, 1); }",
       0xFF408000, GAME_FLAGS, "vs_3_0", "ps_3_0"},
      // What the pixel entry does not read of its input struct is no concern of it.
      {"SV_Position in the pixel entry's input struct, unread, ps_3_0",
       "struct VsOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };\n"
       "VsOut vsh(float4 p : POSITION0, float2 uv : TEXCOORD0) { VsOut o; o.pos = p; o.uv = uv; return o; }\n"
       "float4 psh(VsOut i) : COLOR { return float4(i.uv, 0, 1); }",
       0xFF408000, GAME_FLAGS, "vs_3_0", "ps_3_0"},
      // Intrinsics defined otherwise than their GLSL namesakes, with constant arguments (folded
      // by the front end) and with registers (pixel c0 is 0.25, 0.5, 0.75, 1).
      {"fmod takes the sign of x (GLSL mod takes that of y)",
       VS_PLAIN
       "float4 c : register(c0);\n"
       "float4 psh(VsOut i) : COLOR { return float4(-fmod(-0.375, 0.25), -fmod(-c.z, c.y), fmod(c.z, -c.y), 1); }",
       0xFF204040},
      {"the float remainder % is fmod's",
       VS_PLAIN "float4 c : register(c0);\n"
                "float4 psh(VsOut i) : COLOR { return float4(-(-c.z % c.y), c.z % -c.y, 0, 1); }",
       0xFF404000},
      // The front end folds a remainder of two literals to no sensible value: they are fmod's too.
      {"the float remainder % of two literals is fmod's",
       VS_PLAIN
       "float4 psh(VsOut i) : COLOR { return float4(-(-0.375 % 0.25), 0.375 % -0.25, -0.625 % 0.25 + 0.5, 1); }",
       0xFF202060},
      // GLSL 330 has no frexp: mantissa in [0.5, 1) with the sign of x, exponent as a float, 0 and 0
      // for 0; 8 is a power of two, where log2 may come out a hair low.
      {"frexp gives HLSL's mantissa and exponent",
       VS_PLAIN
       "float4 c : register(c0);\n"
       "float4 psh(VsOut i) : COLOR {\n"
       "  float e1, e2, e3, e4;\n"
       "  float m1 = frexp(c.w * 6, e1), m2 = frexp(-c.w * 8, e2), m3 = frexp(0.25, e3), m4 = frexp(c.x * 0, e4);\n"
       "  return float4(m1, -m2 * e2 * 0.25, m3 * -e3 + m4 + e4, e1 * 0.25); }",
       0xBFBF8080},
      // Direct3D 9's ddy runs down the target (pixel rows from the top) on the window and on
      // textures alike; the position runs from 1 at the top to -1 at the bottom over 48 rows.
      {"ddy runs down the target, ddx to the right",
       "float4 vsh(float4 p : POSITION0, out float4 t : TEXCOORD0) : POSITION { t = p; return p; }\n"
       "float4 psh(float4 t : TEXCOORD0) : COLOR { return float4(0.5 - ddy(t.y) * 6, 0.5 + ddx(t.x) * 6, 0, 1); }",
       0xFFBFAF00},
      // A function of the shader's own may be named after an intrinsic the layer refuses.
      {"a function of its own named noise",
       VS_PLAIN "float noise(float2 p) { return p.x * 2; }\n"
                "float4 psh(VsOut i) : COLOR { return float4(noise(i.uv), 0, 0, 1); }",
       0xFF800000},
      {"lit raises n.h to the power m",
       VS_PLAIN
       "float4 c : register(c0);\n"
       "float4 psh(VsOut i) : COLOR {\n"
       "  return float4(lit(c.y, c.y, 2).yz, lit(0.5, 0.5, 3).z + lit(-c.x, c.y, 1).z + lit(c.x, -c.y, 1).z, 1); }",
       0xFF804020},
      {"ldexp takes a fractional exponent",
       VS_PLAIN
       "float4 c : register(c0);\n"
       "float4 psh(VsOut i) : COLOR { return float4(ldexp(c.x, c.y), ldexp(1.0, -1.5), ldexp(c.y, -c.w), 1); }",
       0xFF5A5A40},
      {"round takes halves to the even neighbour",
       VS_PLAIN "float4 c : register(c0);\n"
                "float4 psh(VsOut i) : COLOR {\n"
                "  return float4(round(c.x * 10) * 0.25, round(-c.x * 10) * -0.25, round(2.5) * 0.25, round(c.y * 9) * "
                "0.125); }",
       0x80808080},
      // vs_1_1 and vs_2_0 colours (oD0, oD1) reach the pixel program clamped to [0, 1]; vs_3_0 ones
      // do not.
      {"vs_2_0 colours saturated",
       "float4 vsh(float4 p : POSITION0, out float4 c : COLOR0, out float3 d : COLOR1) : POSITION {\n"
       "  c = float4(2.5, -1, 0.5, 1); d = float3(2, 0.25, -3); return p; }\n"
       "float4 psh(float4 c : COLOR0, float3 d : COLOR1) : COLOR { return float4(c.r * 0.5, d.x * 0.5, c.g - d.z, 1); "
       "}",
       0xFF808000},
      {"vs_1_1 colours saturated",
       "float4 vsh(float4 p : POSITION0, out float4 c : COLOR0, out float3 d : COLOR1) : POSITION {\n"
       "  c = float4(2.5, -1, 0.5, 1); d = float3(2, 0.25, -3); return p; }\n"
       "float4 psh(float4 c : COLOR0, float3 d : COLOR1) : COLOR { return float4(c.r * 0.5, d.x * 0.5, c.g - d.z, 1); "
       "}",
       0xFF808000, GAME_FLAGS, "vs_1_1", "ps_2_0"},
      {"vs_3_0 colours as written",
       "float4 vsh(float4 p : POSITION0, out float4 c : COLOR0, out float3 d : COLOR1) : POSITION {\n"
       "  c = float4(2.5, -1, 0.5, 1); d = float3(2, 0.25, -3); return p; }\n"
       "float4 psh(float4 c : COLOR0, float3 d : COLOR1) : COLOR { return float4(c.r * 0.25, d.x * 0.25, c.g - d.z, "
       "1); }",
       0xFF9F80FF, GAME_FLAGS, "vs_3_0", "ps_3_0"},
  };
  Texture* texture_target = create_render_texture(64, 48, 1);
  ASSERT_TRUE(texture_target);
  for (const DrawCase& c : cases) {
    SCOPED_TRACE(c.name);
    Compiled v = compile(c.hlsl, true, c.flags, nullptr, c.vs_profile),
             p = compile(c.hlsl, false, c.flags, nullptr, c.ps_profile);
    EXPECT_TRUE(v.ok) << v.errors;
    EXPECT_TRUE(p.ok) << p.errors;
    if (!v.ok || !p.ok) continue;  // the next case all the same
    // Direct3D 9 draws the same on every target; the layer draws textures upside down.
    for (Texture* target : {(Texture*)nullptr, texture_target}) {
      SCOPED_TRACE(target ? "drawn to a texture" : "drawn to the window");
      HRESULT drawn;
      D3dColor got = draw_pair(v.code, p.code, &drawn, nullptr, target);
      EXPECT_EQ(drawn, D3D_OK) << "the pair did not link";
      EXPECT_TRUE(near(got, c.want)) << std::hex << "got " << got << ", want " << c.want;
    }
  }
  destroy_texture(texture_target);
}

// Drawing from one buffer, the inputs follow each program: a program without moved inputs (NORMAL0
// in the slot the next one gives NORMAL1), one with them, then the first again.
TEST_F(ShaderCompilerGl, MovedVertexInputsFollowTheProgramBetweenDrawsFromOneBuffer) {
  const char* moved =
      "struct VsOut { float4 pos : POSITION; float4 col : COLOR0; };\n"
      "VsOut vsh(float4 p : POSITION0, float4 p1 : POSITION1, float3 n1 : NORMAL1) {\n"
      "  VsOut o; o.pos = p; o.col = float4(p1.x, n1.y, n1.z, 1); return o; }\n"
      "float4 psh(float4 col : COLOR0) : COLOR { return col; }";
  const char* plain = VS_PLAIN "float4 psh(VsOut i) : COLOR { return float4(i.uv, 0, 1); }";
  Compiled mv = compile(moved, true), mp = compile(moved, false), pv = compile(plain, true), pp = compile(plain, false);
  ASSERT_TRUE(mv.ok && mp.ok && pv.ok && pp.ok) << mv.errors << mp.errors << pv.errors << pp.errors;
  VertexBuffer* vb = create_vb(int(4 * sizeof(QuadVertex)), VB_STATIC);
  fill_quad((QuadVertex*)lock_vb(vb, 0, 0));
  unlock_vb(vb);
  HRESULT drawn;
  EXPECT_TRUE(near(draw_pair(pv.code, pp.code, &drawn, vb), 0xFF408000));
  EXPECT_TRUE(near(draw_pair(mv.code, mp.code, &drawn, vb), 0xFFBFFF40));
  EXPECT_TRUE(near(draw_pair(pv.code, pp.code, &drawn, vb), 0xFF408000));
  set_stream_source(0, nullptr, 0, 0);
  destroy_vb(vb);
}

// A pixel program reading a varying its vertex program does not write would read garbage; the
// layer refuses the pair as it refuses one GL does not link, whatever the stages compiled to.
TEST_F(ShaderCompilerGl, StagesThatDoNotMatchFailToLinkWithAMessage) {
  const struct {
    const char* name;
    const char* hlsl;
    const char* message;
  } cases[] = {
      {"a semantic the vertex program does not write",
       VS_PLAIN "float4 psh(float2 uv : TEXCOORD0, float4 other : TEXCOORD2) : COLOR { return other; }",
       "the pixel program reads TEXCOORD2, which the vertex program does not write"},
      {"one past a float4 array",
       "struct VsOut { float4 pos : POSITION; float4 t[2] : TEXCOORD1; };\n"
       "VsOut vsh(float4 p : POSITION0) { VsOut o; o.pos = p; o.t[0] = p; o.t[1] = p; return o; }\n"
       "float4 psh(float4 a : TEXCOORD2, float4 b : TEXCOORD3) : COLOR { return a + b; }",
       "the pixel program reads TEXCOORD3, which the vertex program does not write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Compiled v = compile(c.hlsl, true), p = compile(c.hlsl, false);
    ASSERT_TRUE(v.ok) << v.errors;
    ASSERT_TRUE(p.ok) << p.errors;
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    ASSERT_EQ(d3d->CreateVertexShader(v.code.data(), &vs), D3D_OK);
    ASSERT_EQ(d3d->CreatePixelShader(p.code.data(), &ps), D3D_OK);
    char log[512];
    EXPECT_NE(d3d->LinkShaders(vs, ps, log, sizeof(log)), D3D_OK);
    EXPECT_NE(std::string(log).find(c.message), std::string::npos) << log;
    vs->Release();
    ps->Release();
    HRESULT drawn;
    draw_pair(v.code, p.code, &drawn);
    EXPECT_NE(drawn, D3D_OK);
  }
}

// ---- what is refused

struct RefusedCase {
  const char* name;
  bool vertex;
  const char* hlsl;
  const char* message;                // part of the error text
  bool other_stage_compiles = false;  // the same file's other entry reads none of it
  const char* profile = nullptr;      // the game's when null
};

// An untyped sampler read by a cube or volume lookup of each kind.
#define UNTYPED_SAMPLER_READ(lookup)                                                                        \
  {                                                                                                         \
    "untyped sampler read by " lookup, false,                                                               \
        "sampler s : register(s0);\nfloat4 psh(float4 d : TEXCOORD0) : COLOR {\n  return " lookup           \
        "(s, d); }\n" VS_PLAIN,                                                                             \
        "sampler 's' (line 3) is read as a 1D, cube or volume texture: only 2D textures can be drawn", true \
  }

TEST_F(ShaderCompilerGl, WhatTheLayerCannotDrawFailsInTheCompileWithAMessage) {
  const RefusedCase cases[] = {
      {"integer constant register", true,
       "int n : register(i0);\nfloat4 vsh(float4 p : POSITION) : POSITION { return p * n; }",
       "integer and bool constants (registers iN and bN) are not supported"},
      {"bool constant register", true,
       "bool b : register(b0);\nfloat4 vsh(float4 p : POSITION) : POSITION { return b ? p : -p; }",
       "integer and bool constants (registers iN and bN) are not supported"},
      {"float on a bool register", false, "float4 c : register(b1);\nfloat4 psh() : COLOR { return c; }",
       "integer and bool constants (registers iN and bN) are not supported"},
      // glslang only logs this one and still hands out a module; a swizzle written out in the source
      // is mended before the front end, one made by a macro cannot be.
      {"matrix swizzle made by a macro", true,
       "#define DIAGONAL _11_22\nfloat4x4 m : register(c0);\n"
       "float4 vsh(float4 p : POSITION) : POSITION { return float4(m.DIAGONAL, 0, 1) + p; }",
       "line 3: a matrix swizzle made by a macro cannot be translated"},
      {"sampler array indexed by a variable", false,
       "sampler2D s[4] : register(s0);\nfloat4 k : register(c0);\n"
       "float4 psh(float2 uv : TEXCOORD0) : COLOR {\n"
       "  float4 r = 0; for (int i = 0; i < int(k.x); i++) r += tex2D(s[i], uv); return r; }",
       "indexed by a variable"},
      {"sampler in the vertex program", true,
       "sampler2D h : register(s0);\n"
       "float4 vsh(float4 p : POSITION) : POSITION { return p + tex2Dlod(h, float4(0, 0, 0, 0)); }",
       "vertex program cannot read textures"},
      {"sampler past s15", false,
       "sampler2D s[4] : register(s14);\n"
       "float4 psh(float2 uv : TEXCOORD0) : COLOR { return tex2D(s[3], uv); }",
       "runs past register s15"},
      {"cube sampler", false,
       "samplerCUBE env : register(s0);\n"
       "float4 psh(float3 n : TEXCOORD0) : COLOR { return texCUBE(env, n); }",
       "only 2D textures can be drawn"},
      {"global const without a value", false, "const float4 k;\nfloat4 psh() : COLOR { return k; }",
       "declare it without 'const'"},
      {"pixel program reading POSITION", false, "float4 psh(float4 p : POSITION) : COLOR { return p; }",
       "cannot read the vertex position"},
      {"an integer constant the pixel entry reads", false,
       "int mode : register(i0);\nfloat4 tint : register(c0);\n" VS_PLAIN
       "float4 psh(VsOut i) : COLOR { return mode == 1 ? tint : 1 - tint; }",
       "constant 'mode': integer and bool constants (registers iN and bN) are not supported", true},
      {"two constants of one stage in one register", false,
       "float4 a : register(c1);\nfloat4x4 b : register(c0);\nfloat4 psh() : COLOR { return a + b[0]; }",
       "constant 'b' shares register c1 with another constant"},
      // An untyped sampler is 2D to the front end, which then reads coord.xy.
      {"texCUBE on an untyped sampler", false,
       "sampler env;\nfloat4 psh(float3 n : TEXCOORD0) : COLOR { return texCUBE(env, n); }\n" VS_PLAIN,
       "sampler 'env' (line 2) is read as a 1D, cube or volume texture: only 2D textures can be drawn", true},
      {"tex3D on an untyped sampler", false,
       "sampler vol : register(s1);\nfloat4 psh(float3 n : TEXCOORD0) : COLOR { return tex3D(vol, n); }\n" VS_PLAIN,
       "sampler 'vol' (line 2) is read as a 1D, cube or volume texture", true},
      // These make the tree tex2Dlod, tex2Dbias and tex2Dproj make: the source says which it was.
      UNTYPED_SAMPLER_READ("texCUBElod"),
      UNTYPED_SAMPLER_READ("texCUBEbias"),
      UNTYPED_SAMPLER_READ("texCUBEproj"),
      UNTYPED_SAMPLER_READ("tex3Dlod"),
      UNTYPED_SAMPLER_READ("tex3Dbias"),
      UNTYPED_SAMPLER_READ("tex3Dproj"),
      // The same hidden in a macro of the shader's own: the source line says only REFLECT.
      {"texCUBElod on an untyped sampler in a macro", false,
       "#define REFLECT(s, d) texCUBElod(s, d)\nsampler env : register(s0);\n"
       "float4 psh(float4 d : TEXCOORD0) : COLOR {\n  return REFLECT(env, d); }\n" VS_PLAIN,
       "sampler 'env' (line 4) is read as a 1D, cube or volume texture", true},
      {"tex3Dproj on an untyped sampler in a macro", false,
       "#define VOLUME(s, d) tex3Dproj(s, d)\nsampler vol : register(s0);\n"
       "float4 psh(float4 d : TEXCOORD0) : COLOR {\n  return VOLUME(vol, d); }\n" VS_PLAIN,
       "sampler 'vol' (line 4) is read as a 1D, cube or volume texture", true},
      {"an element of an untyped sampler array read by texCUBElod", false,
       "sampler s[2] : register(s0);\nfloat4 psh(float4 d : TEXCOORD0) : COLOR {\n"
       "  return tex2Dlod(s[0], d) + texCUBElod(s[1], d); }\n" VS_PLAIN,
       "sampler 's' (line 3) is read as a 1D, cube or volume texture", true},
      // Direct3D 9's pixel position, whole pixels from the top left of every target: GL's is the
      // pixel centre from the bottom, and the window is drawn the other way up from texture targets.
      {"VPOS", false, "float4 psh(float2 v : VPOS) : COLOR { return float4(v / 64, 0, 1); }",
       "VPOS (SV_Position read by a pixel program) is not supported: pass the position"},
      {"SV_Position read by a ps_3_0 entry", false,
       "float4 vsh(float4 p : POSITION) : POSITION { return p; }\n"
       "float4 psh(float4 v : SV_Position) : COLOR { return v / 64; }",
       "VPOS (SV_Position read by a pixel program) is not supported: pass the position", true, "ps_3_0"},
      {"SV_Position read from the pixel entry's input struct", false,
       "struct VsOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };\n"
       "float4 psh(VsOut i) : COLOR { return float4(i.uv, i.pos.xy / 64); }",
       "VPOS (SV_Position read by a pixel program) is not supported", false, "ps_3_0"},
      // The front end takes noise for a function without a body, which the SPIR-V back end crashes on.
      {"the noise intrinsic", false, VS_PLAIN "float4 psh(VsOut i) : COLOR {\n  return noise(i.uv); }",
       "line 6: noise is not supported", true},
      {"an array vertex input off the table's rows", true,
       "struct VsOut { float4 pos : POSITION; float4 col : COLOR0; };\n"
       "VsOut vsh(float4 p : POSITION0, float4 n[2] : NORMAL0) { VsOut o; o.pos = p; o.col = n[0] + n[1]; return o; }",
       "vertex input parameter 'n' ('NORMAL0') is an array whose elements' semantics have no attribute slots in a row"},
      // Inputs and outputs without a semantic, and varyings Direct3D 9 cannot interpolate.
      {"a pixel entry returning int without a semantic", false, VS_PLAIN "int psh(VsOut i) { return 1; }",
       "the return value of the entry has no semantic", true},
      {"a pixel entry returning bool without a semantic", false, VS_PLAIN "bool psh(VsOut i) { return true; }",
       "the return value of the entry has no semantic", true},
      {"a pixel entry writing no colour", false, VS_PLAIN "void psh(VsOut i) { clip(i.uv.x - 0.5); }",
       "the pixel entry writes no COLOR0", true},
      {"a vertex entry writing no position", true,
       "void vsh(float4 p : POSITION, out float4 t : TEXCOORD0) { t = p; }\n"
       "float4 psh(float4 t : TEXCOORD0) : COLOR { return t; }",
       "the vertex entry writes no POSITION", true},
      {"a pixel input without a semantic", false, "float4 psh(float2 uv : TEXCOORD0, float x) : COLOR { return x; }",
       "parameter 'x' of the entry has no semantic"},
      {"a vertex input without a semantic", true,
       "float4 vsh(float4 p : POSITION, float3 n) : POSITION { return p + n.x; }",
       "parameter 'n' of the entry has no semantic"},
      {"a struct output member without a semantic", true,
       "struct VsOut { float4 pos : POSITION; float2 uv; };\n"
       "VsOut vsh(float4 p : POSITION) { VsOut o; o.pos = p; o.uv = p.xy; return o; }",
       "member 'uv' of the return value of the entry has no semantic"},
      {"an integer varying", true,
       "float4 vsh(float4 p : POSITION, out int k : TEXCOORD0) : POSITION { k = 1; return p; }",
       "varying parameter 'k' ('TEXCOORD0') must be a float scalar or vector"},
      {"an array varying running into the next semantic", true,
       "struct VsOut { float4 pos : POSITION; float2 uv[2] : TEXCOORD0; float2 extra : TEXCOORD1; };\n"
       "VsOut vsh(float4 p : POSITION) {\n"
       "  VsOut o; o.pos = p; o.uv[0] = p.xy; o.uv[1] = p.yx; o.extra = p.zw; return o; }",
       "semantic TEXCOORD1 is given to two varyings"},
      // Effect files.
      {"a technique block", true,
       VS_PLAIN "float4 psh(VsOut i) : COLOR { return 1; }\n"
                "technique Main { pass P0 { VertexShader = compile vs_2_0 vsh(); } }\n",
       "effect files are not supported (technique, pass, sampler_state and texture objects): the first is "
       "'technique' at line 6"},
      {"a sampler_state block", false,
       "// sampler_state in a comment does not count\n"
       "sampler img = sampler_state { MinFilter = Linear; };\n"
       "float4 psh(float2 uv : TEXCOORD0) : COLOR { return tex2D(img, uv); }",
       "the first is 'sampler_state' at line 2"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    Compiled r = compile(c.hlsl, c.vertex, GAME_FLAGS, nullptr, c.profile);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.code.empty());
    EXPECT_NE(r.errors.find(c.message), std::string::npos) << r.errors;
    if (c.other_stage_compiles) {
      Compiled other = compile(c.hlsl, !c.vertex);
      EXPECT_TRUE(other.ok) << other.errors;
    }
  }
}

TEST_F(ShaderCompilerGl, WarningsFailOnlyWhenTheFlagsSaySo) {
  // A register type Direct3D 9 does not have: glslang warns and ignores it.
  const char* src = "float4 c : register(x3);\nfloat4 psh() : COLOR { return c; }";
  Compiled lax = compile(src, false, 0);
  EXPECT_TRUE(lax.ok) << lax.errors;
  EXPECT_NE(lax.errors.find("WARNING"), std::string::npos) << lax.errors;  // reported all the same
  Compiled strict = compile(src, false, D3DCOMPILE_WARNINGS_ARE_ERRORS);
  EXPECT_FALSE(strict.ok);
  EXPECT_NE(strict.errors.find("warnings are treated as errors"), std::string::npos) << strict.errors;
  EXPECT_FALSE(compile(src, false, GAME_FLAGS).ok);
}

TEST_F(ShaderCompilerGl, IncludeCyclesAndDeepNestingAreRefusedGuardedCyclesWork) {
  const char* main_src = "#include \"top.inc\"\nfloat4 psh() : COLOR { return colour(); }\n";
  struct Case {
    const char* name;
    std::map<std::string, std::string> files;
    const char* message;  // null: compiles
  } cases[] = {
      {"a file including itself",
       {{"top.inc", "#include \"top.inc\"\nfloat4 colour() { return 1; }\n"}},
       "include cycle: 'top.inc' -> 'top.inc';"},
      {"two files including each other",
       {{"top.inc", "#include \"other.inc\"\nfloat4 colour() { return 1; }\n"},
        {"other.inc", "#include \"top.inc\"\n"}},
       "include cycle: 'top.inc' -> 'other.inc' -> 'top.inc';"},
      {"guarded files including each other",
       {{"top.inc", "#ifndef TOP\n#define TOP\n#include \"other.inc\"\nfloat4 colour() { return 1; }\n#endif\n"},
        {"other.inc", "#ifndef OTHER\n#define OTHER\n#include \"top.inc\"\n#endif\n"}},
       nullptr},
      {"an include with a byte-order mark",
       {{"top.inc",
         "\xEF\xBB\xBF"
         "float4 colour() { return 1; }\n"}},
       nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryInclude inc;
    inc.files = c.files;
    Compiled r = compile(main_src, false, GAME_FLAGS, &inc);
    EXPECT_LE(inc.opens, 40);  // stopped, not grown for ever
    if (!c.message) {
      EXPECT_TRUE(r.ok) << r.errors;
      continue;
    }
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.errors.find(c.message), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("includes nest deeper than 32 levels"), std::string::npos) << r.errors;
  }
  // A chain of distinct files: 32 levels compile, 33 do not.
  for (int depth : {32, 33}) {
    MemoryInclude inc;
    for (int i = 1; i < depth; i++)
      inc.files["level" + std::to_string(i) + ".inc"] = "#include \"level" + std::to_string(i + 1) + ".inc\"\n";
    inc.files["level" + std::to_string(depth) + ".inc"] = "float4 colour() { return 1; }\n";
    Compiled r =
        compile("#include \"level1.inc\"\nfloat4 psh() : COLOR { return colour(); }\n", false, GAME_FLAGS, &inc);
    EXPECT_EQ(r.ok, depth == 32) << depth << ": " << r.errors;
    if (depth == 33) {
      EXPECT_NE(r.errors.find("includes nest deeper than 32 levels"), std::string::npos) << r.errors;
    }
  }
}

// A handler that finds a nested include beside the file including it, as Direct3D lets it: Open
// is given the bytes of the including file, and null for includes of the main source.
TEST_F(ShaderCompilerGl, NestedIncludesAreFoundBesideTheirParent) {
  MemoryInclude inc;
  inc.beside_parent = true;
  inc.files["lib/light.inc"] = "#include \"colour.inc\"\nfloat4 lit_colour() { return colour() * 0.5; }\n";
  inc.files["lib/colour.inc"] = "float4 colour() { return 1; }\n";
  inc.files["colour.inc"] = "float4 colour() { return 0; }\n";  // beside the main file: not this one
  const char* src = "#include \"lib/light.inc\"\n" VS_PLAIN "float4 psh(VsOut i) : COLOR { return lit_colour(); }\n";
  Compiled v = compile(src, true, GAME_FLAGS, &inc), p = compile(src, false, GAME_FLAGS, &inc);
  ASSERT_TRUE(v.ok) << v.errors;
  ASSERT_TRUE(p.ok) << p.errors;
  HRESULT drawn;
  EXPECT_TRUE(near(draw_pair(v.code, p.code, &drawn), 0x80808080));
  ASSERT_EQ(inc.parents.size(), 4u);  // two files, both stages
  EXPECT_EQ(inc.parents[0], nullptr);
  EXPECT_EQ(inc.parents[1], inc.files["lib/light.inc"].data());
  // A cube lookup on an untyped sampler is found in an include too, at its line there.
  inc.files["lib/env.inc"] = "sampler env;\nfloat4 reflection(float4 d) {\n  return texCUBElod(env, d); }\n";
  Compiled r = compile("#include \"lib/env.inc\"\nfloat4 psh(float4 d : TEXCOORD0) : COLOR { return reflection(d); }\n",
                       false, GAME_FLAGS, &inc);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.errors.find("sampler 'env' (line 3) is read as a 1D, cube or volume texture"), std::string::npos)
      << r.errors;
}

// ---- the game's shaders

// The game's own shaders, with the game's flags: both stages compile and the pair links.
TEST_F(ShaderCompilerGl, TheGamesShadersCompileAndLink) {
  const std::string folder = RENDER_TEST_DATA_DIR "/../../../data/shaders/";
  DIR* d = opendir(folder.c_str());
  ASSERT_TRUE(d);
  int n = 0;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.size() < 4 || name.compare(name.size() - 3, 3, ".sh") != 0) continue;
    SCOPED_TRACE(name);
    FILE* f = fopen((folder + name).c_str(), "rb");
    ASSERT_TRUE(f);
    std::string src;
    char buf[4096];
    size_t k;
    while ((k = fread(buf, 1, sizeof(buf), f)) > 0) src.append(buf, k);
    fclose(f);
    Compiled v = compile(src, true), p = compile(src, false);
    ASSERT_TRUE(v.ok) << v.errors;
    ASSERT_TRUE(p.ok) << p.errors;
    HRESULT drawn;
    draw_pair(v.code, p.code, &drawn);
    EXPECT_EQ(drawn, D3D_OK) << "the pair did not link";
    n++;
  }
  closedir(d);
  EXPECT_EQ(n, 12);
}
}  // namespace
