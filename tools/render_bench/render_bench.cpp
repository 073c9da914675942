// Renderer benchmark: N textured, alpha-blended quads per frame at 1280 x 720, drawn through render
// batches and our Direct3D 9 shaped layer, then the same quads through plain OpenGL in the same run.
// Prints mean frame times (each frame waits for the card) and their ratio, and the time to compile
// a shader with our compiler library and to load it from its cache.
//
// Run: SDL_VIDEODRIVER=offscreen build/render_bench [frames]
// An empty frame (the fixed cost of clearing and presenting), 2,000 and 10,000 quads are measured
// side by side. BENCH_PARTS=1 also prints where the layer's frame time goes; BENCH_SIDE=layer or
// BENCH_SIDE=plain runs one side only, for a profiler.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "engine/app.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/renderBatch.h"
#include "engine/sysUtils.h"
#include "platform/d3d9/gl_loader.h"
#include "platform/platform.h"
#include "tools/toolUsage.h"

namespace {
const int W = 1280, H = 720, QUAD = 24;
const char* BENCH_SHADER =
    "#ifdef VSH\n"
    "float4 screen : register(c0);\n"
    "struct VsIn { float3 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };\n"
    "struct VsOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };\n"
    "VsOut vsh(VsIn i) { VsOut o; o.pos = float4(i.pos.xy * screen.xy + screen.zw, 0, 1); o.col = i.col; o.uv = i.uv; "
    "return o; }\n"
    "#endif\n"
    "#ifdef PSH\n"
    "sampler2D tex : register(s0);\n"
    "float4 psh(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR { return tex2D(tex, uv) * col; }\n"
    "#endif\n";
const char* PLAIN_VS =
    "#version 330 core\n"
    "layout(location = 0) in vec3 pos; layout(location = 3) in vec4 col; layout(location = 8) in vec2 uv;\n"
    "uniform vec4 screen; out vec4 v_col; out vec2 v_uv;\n"
    "void main() { gl_Position = vec4(pos.xy * screen.xy + screen.zw, 0.0, 1.0); v_col = col; v_uv = uv; }\n";
const char* PLAIN_PS =
    "#version 330 core\n"
    "in vec4 v_col; in vec2 v_uv; uniform sampler2D tex; out vec4 o;\n"
    "void main() { o = texture(tex, v_uv) * v_col; }\n";

struct Vertex {
  float x, y, z;
  D3dColor c;
  float u, v;
};

std::vector<Vertex> make_quads(int n) {
  std::vector<Vertex> v;
  v.reserve(size_t(n) * 6);
  uint32_t seed = 12345;
  auto rnd = [&] {
    seed = seed * 1664525u + 1013904223u;
    return float(seed >> 8) / float(1 << 24);
  };
  for (int i = 0; i < n; i++) {
    float x = rnd() * (W - QUAD), y = rnd() * (H - QUAD);
    D3dColor c = 0x80000000u | (uint32_t(rnd() * 0xFFFFFF) & 0xFFFFFF);
    Vertex q[6] = {{x, y, 0, c, 0, 0},        {x + QUAD, y, 0, c, 1, 0},        {x, y + QUAD, 0, c, 0, 1},
                   {x + QUAD, y, 0, c, 1, 0}, {x + QUAD, y + QUAD, 0, c, 1, 1}, {x, y + QUAD, 0, c, 0, 1}};
    v.insert(v.end(), q, q + 6);
  }
  return v;
}

double now_ms() { return double(get_ref_time()) * 1000.0 / double(time_ticks_per_sec()); }
// Processor time of the whole process (the rasteriser's threads included): steadier than the
// clock on a machine shared with other work.
double cpu_ms() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return (double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
          double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0);
}

intptr_t proc(WindowHandle w, unsigned m, uintptr_t wp, intptr_t lp) { return plat_def_window_proc(w, m, wp, lp); }

void write_file(const std::string& p, const char* text) {
  FILE* f = fopen(p.c_str(), "wb");
  if (f) {
    fputs(text, f);
    fclose(f);
  }
}
}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: render_bench [frames]\n"
      "Prints mean frame times of an empty frame, 2,000 and 10,000 textured quads at 1280 x 720\n"
      "through the game's render batches and through plain OpenGL, and the time to compile a\n"
      "shader and to load it from its cache. The frames default to 60.\n";
  tool_check_positional(argc, argv, "render_bench", usage, 0, 1);
  const int frames = argc > 1 ? tool_count("render_bench", argv[1], 1, usage) : 60;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  char tmpl[] = "/tmp/ascenda_bench_XXXXXX";
  std::string folder = std::string(mkdtemp(tmpl)) + "/";
  char exe[260];
  get_exe_path(exe, sizeof(exe));
  std::string lib = std::string(exe) + "../bin/d3dcompiler_43.dll";
  if (access(lib.c_str(), R_OK) != 0) lib = std::string(exe) + "d3dcompiler_43.dll";
  symlink(lib.c_str(), (folder + "d3dcompiler_43.dll").c_str());
  snprintf(app_path, sizeof(app_path), "%s", folder.c_str());
  write_file(folder + "bench.sh", BENCH_SHADER);

  if (!plat_init()) return 1;
  init_timer();
  plat_register_window_class("Bench", proc);
  WindowHandle win = plat_create_window("bench", PLAT_STYLE_OVERLAPPED, false, 0, 0, W, H, PLAT_SHOW_NORMAL);
  isFullscreen = false;
  app_use_vsync = false;
  set_d3d_display_settings(app_display_settings());
  if (!win || !init_d3d(win, W, H)) {
    fprintf(stderr, "render_bench: no device\n");
    return 1;
  }
  common_vb_writer.create(65536);

  Shader* sh = nullptr;
  if (shader_compiler_available()) {
    double t0 = now_ms();
    sh = create_shader("bench.sh", nullptr);
    double t1 = now_ms();
    destroy_shader(sh);
    close_shaders();  // unloads the library: the next creation can only read the cache
    double t2 = now_ms();
    sh = create_shader("bench.sh", nullptr);
    double t3 = now_ms();
    printf("shader compile (both stages, with cache write): %.1f ms\n", t1 - t0);
    printf("shader cache load (both stages):                %.2f ms\n", t3 - t2);
  } else {
    printf("no shader compiler next to the program: shader timings skipped, fixed-function path used\n");
  }

  Texture* tex = create_managed_texture(64, 64);
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture(tex, &pitch, false);
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) {
      D3dColor c = ((x / 8 + y / 8) & 1) ? 0xFFFFFFFF : 0xC0808080;
      memcpy(p + y * pitch + x * 4, &c, 4);
    }
  unlock_texture(tex);
  static const VertexElement els[] = {
      {0, 0, VE_FLOAT3, VU_POSITION, 0}, {12, 0, VE_D3DCOLOR, VU_COLOR, 0}, {16, 0, VE_FLOAT2, VU_TEXCOORD, 0}, VE_END};
  StdRenderBatchState state(sh, get_vertex_decl(els), sizeof(Vertex), tex);
  RenderBatch batch(32768);
  // Pixels to clip space, with the pixel-centre offset the layer applies itself.
  float screen[4] = {2.f / W, -2.f / H, -1.f, 1.f};
  const int RUNS = 3;
  // BENCH_SIDE=layer or plain runs one side only (for a profiler).
  const char* side = getenv("BENCH_SIDE");
  bool only_layer = side && strcmp(side, "layer") == 0, only_plain = side && strcmp(side, "plain") == 0;
  int counts[RUNS] = {0, 2000, 10000};
  double layer_ms[RUNS] = {}, plain_ms[RUNS] = {}, layer_cpu[RUNS] = {}, plain_cpu[RUNS] = {};

  for (int k = 0; k < RUNS && !only_plain; k++) {
    std::vector<Vertex> quads = make_quads(counts[k]);
    double total = 0, part[4] = {0, 0, 0, 0}, cpu0 = 0;
    for (int f = -5; f < frames; f++) {
      if (f == 0) cpu0 = cpu_ms();
      double t0 = now_ms();
      d3d->BeginScene();
      clear_view(0xFF202020);
      set_blend_alpha();
      set_cull_mode(0);
      set_texture_filter(0, true);
      set_vs_consts(0, screen, 1);
      for (int i = 0; i < counts[k]; i++) {
        const Vertex* q = &quads[size_t(i) * 6];
        float box[4] = {q[0].x, q[0].y, q[4].x, q[4].y};
        memcpy(batch.add(&state, box, 6 * sizeof(Vertex), 2), q, 6 * sizeof(Vertex));
      }
      double ta = now_ms();
      batch.render();
      batch.clear();
      d3d->EndScene();
      double tb = now_ms();
      present_d3d();
      double tc = now_ms();
      flush_gpu();
      if (f >= 0) {
        total += now_ms() - t0;
        part[0] += ta - t0;
        part[1] += tb - ta;
        part[2] += tc - tb;
        part[3] += now_ms() - tc;
      }
    }
    layer_ms[k] = total / frames;
    layer_cpu[k] = (cpu_ms() - cpu0) / frames;
    if (getenv("BENCH_PARTS"))
      printf("layer %d quads: fill %.2f, render %.2f, present %.2f, wait %.2f ms\n", counts[k], part[0] / frames,
             part[1] / frames, part[2] / frames, part[3] / frames);
  }

  // Plain OpenGL: one program, one buffer, one draw per frame, into the window.
  D3d9Gl& gl = d3d9_gl;
  GLuint vs = gl.CreateShader(GL_VERTEX_SHADER), fs = gl.CreateShader(GL_FRAGMENT_SHADER);
  gl.ShaderSource(vs, 1, &PLAIN_VS, nullptr);
  gl.CompileShader(vs);
  gl.ShaderSource(fs, 1, &PLAIN_PS, nullptr);
  gl.CompileShader(fs);
  GLuint prog = gl.CreateProgram();
  gl.AttachShader(prog, vs);
  gl.AttachShader(prog, fs);
  gl.LinkProgram(prog);
  GLuint vao, vbo, gtex;
  gl.GenVertexArrays(1, &vao);
  gl.BindVertexArray(vao);
  gl.GenBuffers(1, &vbo);
  gl.GenTextures(1, &gtex);
  gl.ActiveTexture(GL_TEXTURE0);
  gl.BindTexture(GL_TEXTURE_2D, gtex);
  gl.BindSampler(0, 0);
  std::vector<uint8_t> texels(64 * 64 * 4);
  p = (uint8_t*)lock_texture(tex, &pitch, false);
  for (int y = 0; y < 64; y++) memcpy(&texels[size_t(y) * 256], p + y * pitch, 256);
  unlock_texture(tex);
  gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  // The sampling the layer is asked for: the device's default samplers clamp.
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  gl.UseProgram(prog);
  gl.Uniform1i(gl.GetUniformLocation(prog, "tex"), 0);
  gl.Uniform4f(gl.GetUniformLocation(prog, "screen"), 2.f / W, -2.f / H, -1.f + 1.f / W, 1.f + 1.f / H);
  gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
  gl.Viewport(0, 0, W, H);
  gl.Disable(GL_SCISSOR_TEST);
  gl.Disable(GL_CULL_FACE);
  gl.Disable(GL_DEPTH_TEST);
  gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl.Enable(GL_BLEND);
  gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl.BlendEquation(GL_FUNC_ADD);
  gl.BindBuffer(GL_ARRAY_BUFFER, vbo);
  for (int l = 0; l < 16; l++) gl.DisableVertexAttribArray(GLuint(l));
  gl.EnableVertexAttribArray(0);
  gl.EnableVertexAttribArray(3);
  gl.EnableVertexAttribArray(8);
  gl.VertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)0);
  gl.VertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), (void*)12);
  gl.VertexAttribPointer(8, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), (void*)16);
  for (int k = 0; k < RUNS && !only_layer; k++) {
    std::vector<Vertex> quads = make_quads(counts[k]);
    double total = 0, cpu0 = 0;
    for (int f = -5; f < frames; f++) {
      if (f == 0) cpu0 = cpu_ms();
      double t0 = now_ms();
      gl.ClearColor(0.125f, 0.125f, 0.125f, 1.f);
      gl.Clear(GL_COLOR_BUFFER_BIT);
      if (!quads.empty()) {
        gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(quads.size() * sizeof(Vertex)), quads.data(), GL_STREAM_DRAW);
        gl.DrawArrays(GL_TRIANGLES, 0, GLsizei(quads.size()));
      }
      plat_gl_swap(win);
      gl.Finish();
      if (f >= 0) total += now_ms() - t0;
    }
    plain_ms[k] = total / frames;
    plain_cpu[k] = (cpu_ms() - cpu0) / frames;
  }
  gl.DeleteProgram(prog);
  gl.DeleteShader(vs);
  gl.DeleteShader(fs);
  gl.DeleteBuffers(1, &vbo);
  gl.DeleteTextures(1, &gtex);
  gl.DeleteVertexArrays(1, &vao);

  printf("%d frames each, %dx%d, %dx%d-pixel textured alpha-blended quads\n", frames, W, H, QUAD, QUAD);
  printf("%8s %14s %14s %8s %10s %12s %12s %8s\n", "quads", "layer ms", "plain GL ms", "ratio", "diff ms", "layer cpu",
         "plain cpu", "ratio");
  for (int k = 0; k < RUNS; k++)
    printf("%8d %14.2f %14.2f %8.2f %10.2f %12.2f %12.2f %8.2f\n", counts[k], layer_ms[k], plain_ms[k],
           layer_ms[k] / plain_ms[k], layer_ms[k] - plain_ms[k], layer_cpu[k], plain_cpu[k],
           layer_cpu[k] / plain_cpu[k]);
  printf("(cpu: processor ms per frame of all the process's threads)\n");
  destroy_texture(tex);
  if (sh) destroy_shader(sh);
  common_vb_writer.destroy();
  close_d3d();
  plat_shutdown();
  return 0;
}
