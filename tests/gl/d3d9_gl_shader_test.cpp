// The shader path on the GL back end: HLSL compiled by our compiler library, drawn with constants
// set by register, cached, loaded from the cache without the library, and rebuilt while running.
// Sections: file helpers, the fixture, compiling and the cache, reloading, linking, reloading edge cases,
// definitions and draw paths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <string>
#include <vector>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "render_gl_env.h"

namespace {
// ---- file helpers

std::string folder;

std::string slurp(const std::string& p) {
  FILE* f = fopen(p.c_str(), "rb");
  std::string s;
  if (!f) return s;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}
void spit(const std::string& p, const std::string& s) {
  FILE* f = fopen(p.c_str(), "wb");
  fwrite(s.data(), 1, s.size(), f);
  fclose(f);
}
void set_mtime(const std::string& p, time_t t) {
  struct utimbuf u = {t, t};
  utime(p.c_str(), &u);
}

// ---- the fixture

class RenderGlShader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(render_gl_open(64, 48));
    char tmpl[] = "/tmp/ascenda_shader_XXXXXX";
    folder = std::string(mkdtemp(tmpl)) + "/";
    spit(folder + "quad.sh", slurp(RENDER_TEST_DATA_DIR "/quad.sh"));
    spit(folder + "common.inc", slurp(RENDER_TEST_DATA_DIR "/common.inc"));
    spit(folder + "postfx.sh", slurp(RENDER_TEST_DATA_DIR "/postfx.sh"));
    spit(folder + "instanced.sh", slurp(RENDER_TEST_DATA_DIR "/instanced.sh"));
    symlink(RENDER_BIN_DIR "/d3dcompiler_43.dll", (folder + "d3dcompiler_43.dll").c_str());
  }
  void SetUp() override {
    snprintf(app_path, sizeof(app_path), "%s", folder.c_str());
    close_shaders();
    load_shader_compiler();
    ASSERT_TRUE(shader_compiler_available());
  }
  void TearDown() override { close_shaders(); }

  // Draws the test quad with the shader and returns the back buffer.
  std::vector<D3dColor> draw_quad(Shader* s) {
    d3d->BeginScene();
    set_back_buffer_target();
    set_blend_none();
    set_cull_mode(0);
    clear_view(0xFF000000);
    static const VertexElement els[] = {{0, 0, VE_FLOAT4, VU_POSITION, 0},
                                        {16, 0, VE_D3DCOLOR, VU_COLOR, 0},
                                        {20, 0, VE_FLOAT2, VU_TEXCOORD, 0},
                                        VE_END};
    set_vertex_decl(get_vertex_decl(els));
    Texture* t = create_managed_texture(1, 1);
    int pitch;
    *(D3dColor*)lock_texture(t, &pitch, false) = 0xFF40C080;
    unlock_texture(t);
    set_texture(1, t);
    set_shader(s);
    // Row-major xform moves x by +0.5; column-major xform2 (registers hold columns) moves y by +0.25.
    float xform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, 0, 0, 1};
    float xform2[16] = {1, 0, 0, 0, 0, 1, 0, 0.25f, 0, 0, 1, 0, 0, 0, 0, 1};
    set_vs_consts(0, xform, 4);
    set_vs_consts(4, xform2, 4);
    float tint[4] = {1, 0.5f, 1, 1};
    set_ps_consts(2, tint, 1);
    struct V {
      float x, y, z, w;
      D3dColor c;
      float u, v;
    } q[4] = {{-1, 1, 0, 1, 0xFFFFFFFF, 0, 0},
              {0, 1, 0, 1, 0xFFFFFFFF, 1, 0},
              {-1, 0, 0, 1, 0xFFFFFFFF, 0, 1},
              {0, 0, 0, 1, 0xFFFFFFFF, 1, 1}};
    d3d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(V));
    std::vector<D3dColor> px = read_back_buffer();
    set_shader(nullptr);
    d3d->SetTexture(1, nullptr);
    destroy_texture(t);
    d3d->EndScene();
    return px;
  }
};

void expect_quad(const std::vector<D3dColor>& px) {
  const D3dColor want = 0xFF406080;
  EXPECT_EQ(px[0 * 64 + 16], want);
  EXPECT_EQ(px[17 * 64 + 47], want);
  EXPECT_EQ(px[0 * 64 + 15], 0xFF000000u);
  EXPECT_EQ(px[17 * 64 + 48], 0xFF000000u);
  EXPECT_EQ(px[18 * 64 + 20], 0xFF000000u);
}

// ---- compiling and the cache

TEST_F(RenderGlShader, CompiledShaderDrawsWithConstantsByRegisterAndWritesItsCache) {
  remove((folder + "cache/quad.sh.cache").c_str());
  testing::internal::CaptureStdout();
  Shader* s = create_shader("quad.sh", nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(s);
  EXPECT_EQ(out.find("from cache"), std::string::npos);
  EXPECT_NE(out.find("quad.sh (vsh):  approximately"), std::string::npos) << out;
  expect_quad(draw_quad(s));

  // The cache: magic, D, V, P, the paths in recording order (the main file by both compiles).
  std::string c = slurp(folder + "cache/quad.sh.cache");
  ASSERT_GE(c.size(), 16u);
  uint32_t h[4];
  memcpy(h, c.data(), 16);
  EXPECT_EQ(h[0], 0x20100715u);
  std::string deps = c.substr(16, h[1]);
  EXPECT_EQ(deps, std::string("quad.sh\0common.inc\0quad.sh\0common.inc\0\0", 39));
  EXPECT_EQ(c.size(), 16u + h[1] + h[2] + h[3]);
  EXPECT_EQ(create_shader("quad.sh", nullptr), s);  // shared by name and definitions
  EXPECT_EQ(s->refcount, 2);
  destroy_shader(s);
  destroy_shader(s);
}

// The cache of quad.sh with its dependency block replaced by the given paths.
void rewrite_cache_deps(const std::string& cache, const std::vector<std::string>& paths) {
  std::string c = slurp(cache);
  uint32_t h[4];
  memcpy(h, c.data(), 16);
  std::string block;
  for (const std::string& p : paths) block += p + std::string(1, '\0');
  block += std::string(1, '\0');
  std::string code = c.substr(16 + h[1]);
  h[1] = uint32_t(block.size());
  spit(cache, std::string((const char*)h, 16) + block + code);
}

TEST_F(RenderGlShader, LongDependencyPathsInTheCacheNeverEndTheGame) {
  std::string cache = folder + "cache/quad.sh.cache";
  destroy_shader(create_shader("quad.sh", nullptr));
  // 259 characters, the longest a cache holds: longer than 260 once joined to the program folder.
  std::string dep = "inc/" + std::string(255, 'i');
  rewrite_cache_deps(cache, {"quad.sh", dep, "common.inc"});
  close_shaders();
  load_shader_compiler();
  testing::internal::CaptureStdout();
  Shader* s = create_shader("quad.sh", nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(s);
  EXPECT_NE(out.find("loaded shader 'quad.sh' from cache"), std::string::npos) << out;
  ASSERT_EQ(s->deps.size(), 3);
  EXPECT_EQ(std::string(s->deps[1].path), dep);
  destroy_shader(s);
  // Longer than a cache may list: refused, compiled again and the cache rewritten.
  rewrite_cache_deps(cache, {"quad.sh", dep + "ii", "common.inc"});
  close_shaders();
  load_shader_compiler();
  testing::internal::CaptureStdout();
  s = create_shader("quad.sh", nullptr);
  out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(s);
  EXPECT_EQ(out.find("from cache"), std::string::npos) << out;
  expect_quad(draw_quad(s));
  destroy_shader(s);
  std::string c = slurp(cache);
  EXPECT_NE(c.find(std::string("quad.sh\0common.inc\0", 19)), std::string::npos);
  EXPECT_EQ(c.find("iiii"), std::string::npos);
}

TEST_F(RenderGlShader, StaleCacheIsRebuiltWithTheCompilerAndUsedAsItIsWithout) {
  destroy_shader(create_shader("quad.sh", nullptr));
  std::string cache = folder + "cache/quad.sh.cache";
  time_t now = time(nullptr);
  set_mtime(cache, now - 100);
  set_mtime(folder + "quad.sh", now - 50);  // the source is newer than its cache

  // Without the library: the cache as it is.
  close_shaders();
  rename((folder + "d3dcompiler_43.dll").c_str(), (folder + "away.dll").c_str());
  load_shader_compiler();
  ASSERT_FALSE(shader_compiler_available());
  testing::internal::CaptureStdout();
  Shader* s = create_shader("quad.sh", nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("loaded shader 'quad.sh' from cache"), std::string::npos) << out;
  EXPECT_FALSE(shader_is_stale(s));  // no compiler, no staleness
  expect_quad(draw_quad(s));
  reload_shaders(true);  // without a compiler: nothing
  destroy_shader(s);
  close_shaders();
  rename((folder + "away.dll").c_str(), (folder + "d3dcompiler_43.dll").c_str());

  // With it: rebuilt, and the cache written anew.
  load_shader_compiler();
  testing::internal::CaptureStdout();
  s = create_shader("quad.sh", nullptr);
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("from cache"), std::string::npos) << out;
  struct stat st;
  ASSERT_EQ(stat(cache.c_str(), &st), 0);
  EXPECT_GT(st.st_mtime, now - 50);
  expect_quad(draw_quad(s));
  destroy_shader(s);
}

// ---- reloading

TEST_F(RenderGlShader, FailedReloadKeepsTheOldShaderAndShowsTheErrorUntilAGoodEdit) {
  std::string src = folder + "quad.sh";
  std::string good = slurp(src);
  Shader* s = create_shader("quad.sh", nullptr);
  set_error_message(nullptr);
  time_t now = time(nullptr);
  spit(src, good + "\n#ifdef PSH\nthis is not hlsl;\n#endif\n");
  set_mtime(src, now + 10);
  reload_shaders(false);
  ASSERT_TRUE(has_error_message());
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("FAILED to reload shader 'quad.sh'"), std::string::npos) << msg;
  EXPECT_NE(msg.find("HLSL 'quad.sh', func 'psh':"), std::string::npos) << msg;
  expect_quad(draw_quad(s));  // the old code still draws

  spit(src, good);
  set_mtime(src, now + 20);
  testing::internal::CaptureStdout();
  reload_shaders(false);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("reloaded shader 'quad.sh'"), std::string::npos) << out;
  EXPECT_FALSE(has_error_message());
  expect_quad(draw_quad(s));
  // Unchanged times: nothing to rebuild.
  testing::internal::CaptureStdout();
  reload_shaders(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("reloaded"), std::string::npos);
  set_mtime(src, now - 100);
  destroy_shader(s);
}

// ---- linking

// Direct3D pairs a vertex program writing float4 to TEXCOORD0 and float3 to COLOR0 with a pixel
// program reading float2 and float4 of them; so does the layer, the missing w reading 1.
TEST_F(RenderGlShader, VaryingsOfDifferentWidthsPairAsOnDirect3D) {
  spit(folder + "widths.sh",
       "#ifdef VSH\n"
       "struct VsOut { float4 pos : POSITION; float4 uv : TEXCOORD0; float3 col : COLOR0; };\n"
       "VsOut vsh(float4 pos : POSITION) {\n"
       "  VsOut o; o.pos = pos; o.uv = float4(0.25, 0.5, 0.75, 0.0); o.col = float3(0.0, 0.0, 0.5); return o;\n"
       "}\n"
       "#endif\n"
       "#ifdef PSH\n"
       "float4 psh(float2 uv : TEXCOORD0, float4 col : COLOR0) : COLOR { return float4(uv.x, uv.y, col.z, col.w); }\n"
       "#endif\n");
  Shader* s = create_shader("widths.sh", nullptr);
  ASSERT_TRUE(s);
  std::vector<D3dColor> px = draw_quad(s);
  D3dColor got = px[5 * 64 + 5], want = 0xFF408080;
  for (int sh = 0; sh < 32; sh += 8)
    EXPECT_LE(abs(int((got >> sh) & 255) - int((want >> sh) & 255)), 1) << std::hex << got;
  EXPECT_EQ(px[30 * 64 + 40], 0xFF000000u);
  destroy_shader(s);
}

// A pair the layer cannot link is reported with the linker's text when asked, not at a draw.
TEST_F(RenderGlShader, LayerReportsAPairThatDoesNotLink) {
  auto blob = [](uint32_t stage, const char* text) {
    std::vector<DWORD> b((sizeof(D3d9GlslBlobHeader) + strlen(text) + 4) / 4 + 1, 0);
    D3d9GlslBlobHeader h = {D3D9_GLSL_BLOB_MAGIC, stage, uint32_t(strlen(text)), 1};
    memcpy(b.data(), &h, sizeof(h));
    memcpy((char*)b.data() + sizeof(h), text, strlen(text) + 1);
    return b;
  };
  // The same uniform with two types in the two stages: each compiles, the pair cannot link.
  std::vector<DWORD> v = blob(0,
                              "#version 330\nuniform float clash;\nlayout(location = 0) in vec4 a_POSITION0;\n"
                              "void main() { gl_Position = a_POSITION0 * clash; }\n");
  std::vector<DWORD> p = blob(1,
                              "#version 330\nuniform vec2 clash;\nlayout(location = 0) out vec4 o_COLOR0;\n"
                              "void main() { o_COLOR0 = vec4(clash, 0.0, 1.0); }\n");
  std::vector<DWORD> good = blob(1,
                                 "#version 330\nlayout(location = 0) out vec4 o_COLOR0;\n"
                                 "void main() { o_COLOR0 = vec4(1.0); }\n");
  IDirect3DVertexShader9* vs = nullptr;
  IDirect3DPixelShader9* ps = nullptr;
  IDirect3DPixelShader9* ps_good = nullptr;
  ASSERT_EQ(d3d->CreateVertexShader(v.data(), &vs), D3D_OK);
  ASSERT_EQ(d3d->CreatePixelShader(p.data(), &ps), D3D_OK);
  ASSERT_EQ(d3d->CreatePixelShader(good.data(), &ps_good), D3D_OK);
  char log[1024];
  EXPECT_NE(d3d->LinkShaders(vs, ps, log, sizeof(log)), D3D_OK);
  EXPECT_NE(std::string(log).find("clash"), std::string::npos) << log;
  EXPECT_NE(d3d->LinkShaders(vs, ps, log, sizeof(log)), D3D_OK);  // asked again: the same answer
  EXPECT_NE(std::string(log).find("clash"), std::string::npos) << log;
  EXPECT_EQ(d3d->LinkShaders(vs, ps_good, log, sizeof(log)), D3D_OK);
  EXPECT_STREQ(log, "");
  vs->Release();
  ps->Release();
  ps_good->Release();
}

// ---- reloading edge cases

// An include that includes itself, saved while the game runs: the rebuild stops with the cycle on
// screen instead of recursing for ever, and the old shader keeps drawing.
TEST_F(RenderGlShader, SelfIncludeDuringReloadFailsWithTheCycleOnScreen) {
  std::string inc = folder + "common.inc";
  std::string good = slurp(inc);
  Shader* s = create_shader("quad.sh", nullptr);
  set_error_message(nullptr);
  time_t now = time(nullptr);
  spit(inc, "#include \"common.inc\"\n" + good);
  set_mtime(inc, now + 10);
  reload_shaders(false);
  ASSERT_TRUE(has_error_message());
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("FAILED to reload shader 'quad.sh'"), std::string::npos) << msg;
  EXPECT_NE(msg.find("include cycle: 'common.inc' -> 'common.inc';"), std::string::npos) << msg;
  EXPECT_LE(s->deps.size(), 40u);  // every open of the cycle is a dependency: a bounded number
  expect_quad(draw_quad(s));
  spit(inc, good);
  set_mtime(inc, now + 20);
  reload_shaders(false);
  EXPECT_FALSE(has_error_message());
  set_mtime(inc, now - 100);
  destroy_shader(s);
}

TEST_F(RenderGlShader, DeletedSourceIsReportedOnceAndRebuiltWhenItComesBack) {
  for (const char* name : {"quad.sh", "common.inc"}) {
    std::string src = folder + name;
    std::string good = slurp(src);
    Shader* s = create_shader("quad.sh", nullptr);
    set_error_message(nullptr);
    remove(src.c_str());
    testing::internal::CaptureStdout();
    reload_shaders(false);
    testing::internal::GetCapturedStdout();
    std::string msg = has_error_message() ? get_error_message() : "";
    EXPECT_NE(msg.find("FAILED to reload shader 'quad.sh'"), std::string::npos) << name << msg;
    // Later passes leave the shader, and whatever else is on screen, alone.
    set_error_message("another message");
    for (int pass = 0; pass < 3; pass++) {
      testing::internal::CaptureStdout();
      reload_shaders(false);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
    }
    EXPECT_STREQ(get_error_message(), "another message");
    expect_quad(draw_quad(s));

    spit(src, good);
    testing::internal::CaptureStdout();
    reload_shaders(false);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("reloaded shader 'quad.sh'"), std::string::npos) << name << out;
    expect_quad(draw_quad(s));
    destroy_shader(s);
  }
}

TEST_F(RenderGlShader, EditWithinTheSameSecondIsRebuilt) {
  std::string src = folder + "quad.sh";
  Shader* s = create_shader("quad.sh", nullptr);
  struct timespec t[2] = {{2000000000, 100}, {2000000000, 100}};
  ASSERT_EQ(utimensat(AT_FDCWD, src.c_str(), t, 0), 0);
  testing::internal::CaptureStdout();
  reload_shaders(false);  // the time differs from the one recorded: rebuilt
  reload_shaders(false);  // and then not again
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("reloaded shader 'quad.sh'"), out.rfind("reloaded shader 'quad.sh'")) << out;
  t[0].tv_nsec = t[1].tv_nsec = 200;
  ASSERT_EQ(utimensat(AT_FDCWD, src.c_str(), t, 0), 0);
  testing::internal::CaptureStdout();
  reload_shaders(false);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("reloaded shader 'quad.sh'"), std::string::npos) << out;
  set_mtime(src, time(nullptr) - 100);
  destroy_shader(s);
}

// ---- definitions and draw paths

TEST_F(RenderGlShader, DefinitionsSelectRecordsAndCacheNames) {
  const char a[] = "A\0x y\0";       // A = "x y"
  const char b[] = "A\0x y\0B\0\0";  // and B defined empty
  Shader* sa = create_shader("quad.sh", a);
  Shader* sb = create_shader("quad.sh", b);
  Shader* plain = create_shader("quad.sh", nullptr);
  EXPECT_NE(sa, sb);  // the whole list is compared, not its first string
  EXPECT_NE(sa, plain);
  EXPECT_EQ(create_shader("quad.sh", a), sa);
  struct stat st;
  EXPECT_EQ(stat((folder + "cache/quad.sh@A@x_y.cache").c_str(), &st), 0);
  EXPECT_EQ(stat((folder + "cache/quad.sh@A@x_y@B@.cache").c_str(), &st), 0);
  destroy_shader(sa);
  destroy_shader(sa);
  destroy_shader(sb);
  destroy_shader(plain);
}
TEST_F(RenderGlShader, FullScreenPassMapsTheSceneTextureTexelForPixel) {
  Shader* s = create_shader("postfx.sh", nullptr);
  Texture* scene = create_screen_render_texture();
  ASSERT_TRUE(scene);
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture_upload(scene, &pitch);
  ASSERT_TRUE(p);
  for (int y = 0; y < d3d_ht; y++)
    for (int x = 0; x < d3d_wd; x++) {
      D3dColor c = 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | uint32_t((x + y) & 255);
      memcpy(p + y * pitch + x * 4, &c, 4);
    }
  ASSERT_TRUE(unlock_texture_upload(scene));
  d3d->BeginScene();
  set_back_buffer_target();
  set_blend_none();
  set_cull_mode(1);
  clear_view(0xFF000000);
  set_shader(s);
  set_texture(0, scene);
  set_texture_address(0, 1, -1, -1);
  for (bool linear : {false, true}) {
    set_texture_filter(0, linear);
    float map[4] = {0.5f, -0.5f, 0.5f / d3d_wd + 0.5f, 0.5f / d3d_ht + 0.5f};
    set_vs_consts(16, map, 1);
    draw_postfx();
    std::vector<D3dColor> px = read_back_buffer();
    int bad = 0;
    for (int y = 0; y < d3d_ht; y++)
      for (int x = 0; x < d3d_wd; x++) {
        D3dColor c = 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | uint32_t((x + y) & 255);
        if (px[size_t(y) * d3d_wd + x] != c) bad++;
      }
    EXPECT_EQ(bad, 0) << (linear ? "linear" : "point");
  }
  set_shader(nullptr);
  d3d->SetTexture(0, nullptr);
  d3d->EndScene();
  destroy_texture(scene);
  destroy_shader(s);
}
TEST_F(RenderGlShader, InstancedRunDrawsOneQuadPerInstance) {
  if (!common_vb_writer.vb) common_vb_writer.create(65536);
  Shader* s = create_shader("instanced.sh", nullptr);
  static const VertexElement els[] = {
      {0, 0, VE_FLOAT2, VU_POSITION, 0}, {0, 1, VE_FLOAT4, VU_TEXCOORD, 1}, {16, 1, VE_D3DCOLOR, VU_COLOR, 1}, VE_END};
  VertexBuffer* corners = create_vb(4 * 8, VB_STATIC);
  float c[8] = {0, 0, 1, 0, 0, -1, 1, -1};
  memcpy(lock_vb(corners, 0, 0), c, sizeof(c));
  unlock_vb(corners);
  IndexBuffer* ib = create_ib(6, VB_STATIC);
  uint16_t idx[6] = {0, 1, 2, 1, 3, 2};
  memcpy(lock_ib(ib, 0, 0), idx, sizeof(idx));
  unlock_ib(ib);
  d3d->BeginScene();
  set_back_buffer_target();
  set_blend_none();
  set_cull_mode(0);
  clear_view(0xFF000000);
  set_shader(s);
  set_vertex_decl(get_vertex_decl(els));
  set_stream_source(0, corners, 0, 8);
  set_stream_source(1, common_vb_writer.vb, 0, 20);
  set_indices(ib);
  // Three instances: 16 x 12 pixel quads at the left, the middle and the right of the top row.
  struct Inst {
    float x, y, w, h;
    D3dColor c;
  } inst[3] = {{-1, 1, 0.5f, 0.5f, 0xFFFF0000}, {-0.25f, 1, 0.5f, 0.5f, 0xFF00FF00}, {0.5f, 1, 0.5f, 0.5f, 0xFF0000FF}};
  common_vb_writer.begin(draw_instanced_run, (4 << 16) | 2);
  memcpy(common_vb_writer.writePtr, inst, sizeof(inst));
  common_vb_writer.writePtr += sizeof(inst);
  common_vb_writer.primCount = 3;
  common_vb_writer.flush(true);
  set_instancing(0);
  std::vector<D3dColor> px = read_back_buffer();
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(px[11 * 64 + 15], 0xFFFF0000u);
  EXPECT_EQ(px[12 * 64 + 15], 0xFF000000u);
  EXPECT_EQ(px[5 * 64 + 24], 0xFF00FF00u);
  EXPECT_EQ(px[5 * 64 + 63], 0xFF0000FFu);
  EXPECT_EQ(px[5 * 64 + 20], 0xFF000000u);
  set_shader(nullptr);
  set_stream_source(1, nullptr, 0, 0);
  set_indices(nullptr);
  d3d->EndScene();
  destroy_vb(corners);
  destroy_ib(ib);
  destroy_shader(s);
}

TEST_F(RenderGlShader, PackedShortPositionsAndColoursDrawThroughTheFixedTransform) {
  static const VertexElement els[] = {{0, 0, VE_SHORT4, VU_POSITION, 0}, {8, 0, VE_D3DCOLOR, VU_COLOR, 0}, VE_END};
  struct V {
    int16_t x, y, z, w;
    D3dColor c;
  } q[6] = {{-32, 32, 0, 0, 0xFF804020}, {0, 32, 0, 0, 0xFF804020}, {0, 0, 0, 0, 0xFF804020},
            {-32, 32, 0, 0, 0xFF804020}, {0, 0, 0, 0, 0xFF804020},  {-32, 0, 0, 0, 0xFF804020}};
  d3d->BeginScene();
  set_back_buffer_target();
  set_cull_mode(0);
  clear_view(0xFF000000);
  d3d->SetTexture(0, nullptr);
  set_vertex_decl(get_vertex_decl(els));
  Matrix44 id = Matrix44::identity();
  Matrix44 scale(vec4float(1.f / 32, 0, 0, 0), vec4float(0, 1.f / 32, 0, 0), vec4float(0, 0, 1, 0),
                 vec4float(0, 0, 0, 1));
  set_view_tm(id);
  set_proj_tm(scale);
  d3d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(V));
  std::vector<D3dColor> px = read_back_buffer();
  EXPECT_EQ(px[0], 0xFF804020u);  // the top-left quarter
  EXPECT_EQ(px[23 * 64 + 31], 0xFF804020u);
  EXPECT_EQ(px[24 * 64 + 31], 0xFF000000u);
  EXPECT_EQ(px[0 * 64 + 32], 0xFF000000u);
  set_proj_tm(id);
  d3d->EndScene();
}
}  // namespace
