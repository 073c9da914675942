// The OpenGL 3.3 core back end of our Direct3D 9 shaped layer, on the platform window's context.
//
// Conventions emulated here, once:
// - Every render target texture keeps its first row at the top of the image: vertex programs
//   negate clip-space y so Direct3D's "y = +1 is the top row" lands on row 0. The back buffer is
//   drawn straight into the window (rows bottom up, so there the programs leave y as it is and
//   the viewport, scissor and clear rectangles are mirrored); it moves into a texture of its own
//   only when the window cannot take a draw (a depth surface or further targets bound with it, or
//   a window whose size differs from it), and Present then copies that texture to the window.
//   Reads of the back buffer (copies, render-target data, the front-buffer copy) mirror the rows
//   back, so callers always see the first row at the top.
// - Pixel centres sit on integer coordinates: vertex programs shift clip space by half a pixel of
//   the current viewport. Clip-space depth 0..1 is mapped to GL's -1..1.
// - A8R8G8B8 texels are B, G, R, A bytes (uploaded as GL_BGRA); D3DCOLOR vertex colours are read
//   with the BGRA attribute size. DXT levels are decoded on the CPU into A8R8G8B8.
// - Shader constants live in per-stage register files (float4 x 256) uploaded as the arrays
//   vs_c / ps_c; samplers are ps_s<N> bound to texture unit N; vertex inputs sit at fixed
//   locations by semantic, those outside the table where their program put them (found by name
//   at link). The alpha test runs at the end of the pixel program variant drawn while it is on.
// - Varyings cross between the stages as vec4, so pairs that Direct3D accepts with different
//   widths link; a pair that still does not link is reported at build time (LinkShaders).
//
// Sections: attribute locations and the upload unit; formats, textures, surfaces and buffers; shaders
// and queries; programs and the fixed-function stand-ins; program wrapping (varyings, epilogues); state
// translation tables; the device (where the back buffer lives, framebuffer binding, state application,
// programs, draws' preparation, IDirect3DDevice9: reset, present, reads, clears, states, resources,
// targets, shaders, draws); destructors that need the device; the Direct3D object.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <map>
#include <string>
#include <vector>
#include "platform/d3d9/d3d9_mem.h"
#include "platform/d3d9/gl_loader.h"
#include "platform/platform.h"

namespace {
D3d9Gl& gl = d3d9_gl;
class GlDevice;
GlDevice* current_device = nullptr;

const int MAX_STAGES = 16;
const int MAX_STREAMS = 16;
const int VS_REGS = 256, PS_REGS = 256;

// ---- attribute locations and the upload unit

// Fixed attribute locations by vertex semantic (the compiler library uses the same table). Other
// semantics (POSITION1, NORMAL1, PSIZE...) sit wherever the program put them: see Program::moved.
int attrib_location(uint8_t usage, uint8_t index) {
  switch (usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT:
      return index == 0 ? 0 : -1;
    case D3DDECLUSAGE_BLENDWEIGHT:
      return index == 0 ? 1 : -1;
    case D3DDECLUSAGE_NORMAL:
      return index == 0 ? 2 : -1;
    case D3DDECLUSAGE_COLOR:
      return index < 2 ? 3 + index : -1;
    case D3DDECLUSAGE_BLENDINDICES:
      return index == 0 ? 5 : -1;
    case D3DDECLUSAGE_TANGENT:
      return index == 0 ? 6 : -1;
    case D3DDECLUSAGE_BINORMAL:
      return index == 0 ? 7 : -1;
    case D3DDECLUSAGE_TEXCOORD:
      return index < 8 ? 8 + index : -1;
  }
  return -1;
}

// Creation and uploads bind textures on a unit of their own, past the sampler stages, so the
// textures the stages draw with stay bound whichever unit was active.
const int UPLOAD_UNIT = MAX_STAGES;
void bind_for_upload(GLuint name) {
  gl.ActiveTexture(GLenum(GL_TEXTURE0 + UPLOAD_UNIT));
  gl.BindTexture(GL_TEXTURE_2D, name);
}

// "a_NORMAL1" -> (D3DDECLUSAGE_NORMAL, 1), as the compiler library names vertex inputs.
bool attrib_semantic(const char* name, uint8_t* usage, uint8_t* index) {
  static const char* const names[] = {"POSITION", "BLENDWEIGHT", "BLENDINDICES", "NORMAL",     "PSIZE",
                                      "TEXCOORD", "TANGENT",     "BINORMAL",     "TESSFACTOR", "POSITIONT",
                                      "COLOR",    "FOG",         "DEPTH",        "SAMPLE"};
  if (strncmp(name, "a_", 2) != 0) return false;
  name += 2;
  size_t k = strlen(name);
  while (k > 0 && name[k - 1] >= '0' && name[k - 1] <= '9') k--;
  if (!name[k]) return false;
  for (uint8_t u = 0; u < sizeof(names) / sizeof(names[0]); u++)
    if (strlen(names[u]) == k && strncmp(name, names[u], k) == 0) {
      *usage = u;
      *index = uint8_t(atoi(name + k));
      return true;
    }
  return false;
}

// ---- formats, textures, surfaces and buffers

struct GlFormat {
  GLenum internal, format, type;
  GLint swizzle[4];
};
bool gl_format(D3DFORMAT f, GlFormat* out) {
  const GLint RGBA[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
  *out = GlFormat{GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {RGBA[0], RGBA[1], RGBA[2], RGBA[3]}};
  switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_DXT1:
    case D3DFMT_DXT3:
    case D3DFMT_DXT5:
      return true;
    case D3DFMT_X8R8G8B8:
      out->swizzle[3] = GL_ONE;
      return true;
    case D3DFMT_L8:
      *out = GlFormat{GL_R8, GL_RED, GL_UNSIGNED_BYTE, {GL_RED, GL_RED, GL_RED, GL_ONE}};
      return true;
    case D3DFMT_G16R16:
      *out = GlFormat{GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
      return true;
    case D3DFMT_R16F:
      *out = GlFormat{GL_R16F, GL_RED, GL_HALF_FLOAT, {GL_RED, GL_ONE, GL_ONE, GL_ONE}};
      return true;
    case D3DFMT_G16R16F:
      *out = GlFormat{GL_RG16F, GL_RG, GL_HALF_FLOAT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
      return true;
    case D3DFMT_A16B16G16R16F:
      *out = GlFormat{GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {RGBA[0], RGBA[1], RGBA[2], RGBA[3]}};
      return true;
    case D3DFMT_R32F:
      *out = GlFormat{GL_R32F, GL_RED, GL_FLOAT, {GL_RED, GL_ONE, GL_ONE, GL_ONE}};
      return true;
    case D3DFMT_G32R32F:
      *out = GlFormat{GL_RG32F, GL_RG, GL_FLOAT, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
      return true;
    case D3DFMT_A32B32G32R32F:
      *out = GlFormat{GL_RGBA32F, GL_RGBA, GL_FLOAT, {RGBA[0], RGBA[1], RGBA[2], RGBA[3]}};
      return true;
    default:
      return false;
  }
}

class GlTexture : public D3d9MemTexture {
 public:
  GLuint name = 0;
  GlFormat fmt;
  GlTexture(UINT w, UINT h, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p) : D3d9MemTexture(w, h, l, u, f, p) {
    gl_format(f, &fmt);
    // Dynamic A8R8G8B8 textures are uploaded whole every frame (the level's cells): stored unsized
    // (GL_RGBA), the driver may keep their texels in the B, G, R, A order they come in, where the
    // sized GL_RGBA8 makes a software driver reorder every texel of every upload. The values read
    // are the same. Other textures keep the sized format their filtering was checked with.
    if ((u & D3DUSAGE_DYNAMIC) && f == D3DFMT_A8R8G8B8) fmt.internal = GL_RGBA;
    gl.GenTextures(1, &name);
    bind_for_upload(name);
    for (UINT i = 0; i < levels; i++)
      gl.TexImage2D(GL_TEXTURE_2D, GLint(i), GLint(fmt.internal), GLsizei(level[i].width), GLsizei(level[i].height), 0,
                    fmt.format, fmt.type, nullptr);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
    gl.TexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, fmt.swizzle);
  }
  ~GlTexture() override;
  void upload(UINT l, const uint8_t* bytes, int pitch) {
    const D3d9Level& lv = level[l];
    std::vector<uint8_t> decoded;
    if (d3d9_is_dxt(format)) {
      decoded.resize(size_t(lv.width) * lv.height * 4);
      d3d9_decode_dxt(format, bytes, pitch, lv.width, lv.height, decoded.data(), int(lv.width) * 4);
      bytes = decoded.data();
      pitch = int(lv.width) * 4;
    }
    int tb = d3d9_is_dxt(format) ? 4 : d3d9_texel_bytes(format);
    bind_for_upload(name);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, pitch / tb);
    gl.TexSubImage2D(GL_TEXTURE_2D, GLint(l), 0, 0, GLsizei(lv.width), GLsizei(lv.height), fmt.format, fmt.type, bytes);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  }
  void levelWritten(UINT l) override { upload(l, level[l].bytes.data(), level[l].pitch); }
};

class GlSurface : public D3d9MemSurface {
 public:
  GLuint tex = 0;  // back buffer: its colour texture
  GLuint rb = 0;   // depth-stencil: its renderbuffer
  GlSurface(D3d9SurfaceKind k, UINT w, UINT h, D3DFORMAT f, D3DPOOL p, DWORD u) : D3d9MemSurface(k, w, h, f, p, u) {}
  GlSurface(D3d9MemTexture* t, UINT l) : D3d9MemSurface(t, l) {}
  ~GlSurface() override {
    if (tex) gl.DeleteTextures(1, &tex);
    if (rb) gl.DeleteRenderbuffers(1, &rb);
  }
  GLuint colourTexture() const { return texture ? static_cast<GlTexture*>(texture)->name : tex; }
  GLint colourLevel() const { return texture ? GLint(level_index) : 0; }
};

HRESULT GlTextureGetSurface(D3d9MemTexture* t, UINT l, IDirect3DSurface9** s) {
  if (l >= t->levels || !s) return D3DERR_INVALIDCALL;
  *s = new GlSurface(t, l);
  return D3D_OK;
}

class GlTextureWithSurfaces : public GlTexture {
 public:
  using GlTexture::GlTexture;
  HRESULT GetSurfaceLevel(UINT l, IDirect3DSurface9** s) override { return GlTextureGetSurface(this, l, s); }
};

template <class Base, GLenum TARGET>
class GlBuffer : public Base {
 public:
  GLuint name = 0;
  GlBuffer(UINT size, DWORD u, D3DPOOL p, D3DFORMAT f) : Base(size, u, p, f) {
    gl.GenBuffers(1, &name);
    gl.BindBuffer(GL_ARRAY_BUFFER, name);
    gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(size), nullptr, (u & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
  }
  ~GlBuffer() override { gl.DeleteBuffers(1, &name); }
  void written(UINT off, UINT size) override {
    // Uploaded through the array target so the vertex array's element binding stays untouched.
    gl.BindBuffer(GL_ARRAY_BUFFER, name);
    if (off == 0 && size == this->bytes.size())
      gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(size), this->bytes.data(),
                    (this->usage & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW);
    else gl.BufferSubData(GL_ARRAY_BUFFER, GLintptr(off), GLsizeiptr(size), this->bytes.data() + off);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
  }
};
typedef GlBuffer<D3d9MemVertexBuffer, GL_ARRAY_BUFFER> GlVertexBuffer;
typedef GlBuffer<D3d9MemIndexBuffer, GL_ELEMENT_ARRAY_BUFFER> GlIndexBuffer;

// ---- shaders and queries

struct GlShaderBase {
  GLuint shader = 0;
  GLenum stage;
};
// The varyings (our compiler's "in/out vec4 v_<SEMANTIC>" lines) a program reads or writes.
std::vector<std::string> program_varyings(const std::string& text, const char* direction) {
  std::vector<std::string> names;
  const std::string head = std::string(direction) + " vec4 v_";
  for (size_t p = 0; p < text.size();) {
    size_t eol = text.find('\n', p);
    if (eol == std::string::npos) eol = text.size();
    if (text.compare(p, head.size(), head) == 0) {
      size_t name = p + head.size() - 2, end = text.find(';', name);
      if (end < eol) names.push_back(text.substr(name, end - name));
    }
    p = eol + 1;
  }
  return names;
}
class GlVertexShader : public IDirect3DVertexShader9, public GlShaderBase {
 public:
  std::vector<std::string> written;  // its varyings
  ~GlVertexShader() override;
};
GLuint compile_gl(GLenum stage, const std::string& src, std::string* log);
std::string wrap_program(const std::string& text, bool vertex, bool alpha_test);
// A pixel program and its variant ending in the alpha test, compiled when first drawn with the
// test on (the variant only adds the test, so it compiles whenever the program does).
struct PixelProgram {
  std::string text;
  std::vector<std::string> read;  // its varyings
  GLuint plain = 0, tested = 0;
  GLuint get(bool alpha_test) {
    if (!alpha_test) return plain;
    if (!tested) tested = compile_gl(GL_FRAGMENT_SHADER, wrap_program(text, false, true), nullptr);
    return tested ? tested : plain;
  }
};
class GlPixelShader : public IDirect3DPixelShader9 {
 public:
  PixelProgram program;
  ~GlPixelShader() override;
};

class GlQuery : public IDirect3DQuery9 {
 public:
  GLsync sync = nullptr;
  ~GlQuery() override {
    if (sync) gl.DeleteSync(sync);
  }
  HRESULT Issue(DWORD flags) override {
    if (!(flags & D3DISSUE_END)) return D3D_OK;
    if (sync) gl.DeleteSync(sync);
    sync = gl.FenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    return D3D_OK;
  }
  HRESULT GetData(void* data, DWORD size, DWORD flags) override {
    if (sync) {
      GLenum r = gl.ClientWaitSync(sync, (flags & D3DGETDATA_FLUSH) ? GL_SYNC_FLUSH_COMMANDS_BIT : 0, 0);
      if (r == GL_TIMEOUT_EXPIRED) return S_FALSE;
      if (r == GL_WAIT_FAILED) return D3DERR_DEVICELOST;
      gl.DeleteSync(sync);
      sync = nullptr;
    }
    if (data && size >= 4) *(int32_t*)data = 1;
    return D3D_OK;
  }
};

// ---- programs and the fixed-function stand-ins

struct Program {
  GLuint prog = 0;
  GLint vs_c = -1, ps_c = -1, vs_c_count = 0, ps_c_count = 0;
  GLint halfpix = -1, atest = -1, ff_wvp = -1;
  uint64_t vs_serial = 0, ps_serial = 0;
  // The values last set, so a draw uploads only what changed.
  float halfpix_set[4] = {0, 0, 0, 0}, atest_set[2] = {-1, -1};
  // Inputs outside the fixed table, at the locations the program gave them.
  struct Moved {
    uint8_t usage, index;
    int8_t location;
  } moved[16];
  int moved_count = 0;
  int location(uint8_t usage, uint8_t index) const {
    for (int i = 0; i < moved_count; i++)
      if (moved[i].usage == usage && moved[i].index == index) return moved[i].location;
    int fixed = attrib_location(usage, index);
    for (int i = 0; i < moved_count; i++)
      if (moved[i].location == fixed) return -1;  // the slot holds another input in this program
    return fixed;
  }
};

const char* FF_VS_TRANSFORMED =
    "layout(location = 0) in vec4 a_POSITION0;\n"
    "layout(location = 3) in vec4 a_COLOR0;\n"
    "layout(location = 8) in vec2 a_TEXCOORD0;\n"
    "uniform mat4 ff_wvp;\n"
    "out vec4 v_COLOR0;\nout vec2 v_TEXCOORD0;\n"
    "void main() {\n"
    "  gl_Position = vec4(a_POSITION0.xyz, 1.0) * ff_wvp;\n"
    "  v_COLOR0 = a_COLOR0; v_TEXCOORD0 = a_TEXCOORD0;\n"
    "}\n";
// Pre-transformed positions are screen pixels of the viewport with pixel centres on integers.
const char* FF_VS_RHW =
    "layout(location = 0) in vec4 a_POSITION0;\n"
    "layout(location = 3) in vec4 a_COLOR0;\n"
    "layout(location = 8) in vec2 a_TEXCOORD0;\n"
    "out vec4 v_COLOR0;\nout vec2 v_TEXCOORD0;\n"
    "void main() {\n"
    "  float w = a_POSITION0.w != 0.0 ? 1.0 / a_POSITION0.w : 1.0;\n"
    "  vec2 ndc = vec2(a_POSITION0.x * dx_halfpixel.x - 1.0, 1.0 - a_POSITION0.y * dx_halfpixel.y);\n"
    "  gl_Position = vec4(ndc * w, a_POSITION0.z * w, w);\n"
    "  v_COLOR0 = a_COLOR0; v_TEXCOORD0 = a_TEXCOORD0;\n"
    "}\n";
const char* FF_PS_TEXTURED =
    "in vec4 v_COLOR0;\nin vec2 v_TEXCOORD0;\nuniform sampler2D ps_s0;\n"
    "layout(location = 0) out vec4 o_COLOR0;\n"
    "void main() { o_COLOR0 = texture(ps_s0, v_TEXCOORD0) * v_COLOR0; }\n";
const char* FF_PS_DIFFUSE =
    "in vec4 v_COLOR0;\nin vec2 v_TEXCOORD0;\n"
    "layout(location = 0) out vec4 o_COLOR0;\n"
    "void main() { o_COLOR0 = v_COLOR0; }\n";

// ---- program wrapping (varyings, epilogues)

// The epilogues every program gets: the clip-space fix-ups after the vertex program (the half-pixel
// shift; y negated for a texture target, dx_halfpixel.w = -1, kept for the window, +1, where the
// image also moves up by 1/256 pixel: an edge through pixel centres then takes the centres of its
// top side and not of its bottom one, Direct3D's rule, which GL's rule gives in mirrored targets), the alpha
// test after the pixel program (only in the variant drawn while the alpha test is on, so other
// draws pay nothing for it). The translated main becomes dx_entry.
const char* VS_EPILOGUE_POSITION =
    "  gl_Position.x += dx_halfpixel.z * gl_Position.w;\n"
    "  gl_Position.y = dx_halfpixel.w * gl_Position.y -\n"
    "                  dx_halfpixel.y * gl_Position.w * (dx_halfpixel.w > 0.0 ? 0.49609375 : -0.5);\n"
    "  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;\n";
const char* PS_EPILOGUE_ALPHA_TEST =
    "  float a = floor(clamp(o_COLOR0.a, 0.0, 1.0) * 255.0 + 0.5);\n"
    "  int f = int(dx_atest.x + 0.5); float r = dx_atest.y; bool pass = true;\n"
    "  if (f == 1) pass = false; else if (f == 2) pass = a < r; else if (f == 3) pass = a == r;\n"
    "  else if (f == 4) pass = a <= r; else if (f == 5) pass = a > r; else if (f == 6) pass = a != r;\n"
    "  else if (f == 7) pass = a >= r;\n"
    "  if (!pass) discard;\n";

// One varying of a program: "out vec2 v_TEXCOORD0;" in a vertex program, "in ..." in a pixel one.
struct Varying {
  std::string qualifiers, type, name;
  int components;
};

// Direct3D pairs a vertex program writing float4 to a semantic with a pixel program reading fewer
// (or more) components of it; GLSL refuses to link varyings of different types. So every varying
// crosses between the stages as a vec4 of its own name: one declared narrower becomes a program
// variable (dx_link_<name>), the writer's value widened with (0, 0, 0, 1) in the missing
// components, the reader taking the components it declared. vec4 ones stay as they are.
const char* LINK_PREFIX = "dx_link_";

// Renames every whole-word use of an identifier.
void rename_identifier(std::string& text, const std::string& from, const std::string& to) {
  auto ident = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    size_t end = pos + from.size();
    if ((pos > 0 && ident(text[pos - 1])) || (end < text.size() && ident(text[end]))) {
      pos = end;
      continue;
    }
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

std::vector<Varying> take_varyings(std::string& body, bool vertex) {
  std::vector<Varying> out;
  std::string result;
  size_t pos = 0;
  while (pos < body.size()) {
    size_t eol = body.find('\n', pos);
    if (eol == std::string::npos) eol = body.size();
    std::string line = body.substr(pos, eol - pos);
    pos = eol + 1;
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
      size_t j = i;
      while (j < line.size() && line[j] != ' ' && line[j] != '\t') j++;
      if (j > i) words.push_back(line.substr(i, j - i));
      i = j;
    }
    bool taken = false;
    if (words.size() >= 3 && words.back().size() > 3 && words.back().back() == ';') {
      std::string name = words.back().substr(0, words.back().size() - 1);
      const std::string& type = words[words.size() - 2];
      const std::string& dir = words[words.size() - 3];
      int comps = type == "float" ? 1 : type == "vec2" ? 2 : type == "vec3" ? 3 : type == "vec4" ? 4 : 0;
      bool quals_ok = true;
      std::string quals;
      for (size_t k = 0; k + 3 < words.size(); k++) {
        const std::string& q = words[k];
        if (q != "flat" && q != "smooth" && q != "noperspective" && q != "centroid") quals_ok = false;
        quals += q + " ";
      }
      if (comps && comps < 4 && quals_ok && dir == (vertex ? "out" : "in") && name.compare(0, 2, "v_") == 0 &&
          name.find_first_of("[]") == std::string::npos) {
        out.push_back(Varying{quals, type, name, comps});
        result += quals + (vertex ? "out" : "in") + " vec4 " + name + ";\n" + type + " " + LINK_PREFIX + name + ";\n";
        taken = true;
      }
    }
    if (!taken) result += line + "\n";
  }
  // Uses of the narrow variables take the program variable's name; the declarations above
  // already have both.
  for (const Varying& v : out) {
    std::string decl = std::string(vertex ? "out" : "in") + " vec4 " + v.name + ";";
    std::string mark = "\x01";
    rename_identifier(result, decl, mark);  // shield the vec4 declaration
    rename_identifier(result, v.name, LINK_PREFIX + v.name);
    rename_identifier(result, std::string(LINK_PREFIX) + LINK_PREFIX + v.name, LINK_PREFIX + v.name);
    size_t at = result.find(mark);
    if (at != std::string::npos) result.replace(at, mark.size(), decl);
  }
  body = result;
  return out;
}

// Renames the program's main to dx_entry, turns its varyings into vec4 ones and appends the
// epilogue. alpha_test: the pixel program variant that ends in the alpha test.
std::string wrap_program(const std::string& text, bool vertex, bool alpha_test) {
  std::string body = text;
  size_t version = body.find("#version");
  if (version != std::string::npos) {
    size_t eol = body.find('\n', version);
    body.erase(version, eol == std::string::npos ? std::string::npos : eol - version + 1);
  }
  std::vector<Varying> varyings = take_varyings(body, vertex);
  size_t m = body.find("void main()");
  if (m != std::string::npos) body.replace(m, 11, "void dx_entry()");
  bool has_colour = body.find("o_COLOR0") != std::string::npos;
  std::string out = "#version 330 core\n";
  out += vertex ? "uniform vec4 dx_halfpixel;\n" : alpha_test && has_colour ? "uniform vec4 dx_atest;\n" : "";
  out += body;
  out += "void main() {\n";
  if (vertex) {
    out += "  dx_entry();\n";
    out += VS_EPILOGUE_POSITION;
    static const char* PAD[4] = {", 0.0, 0.0, 1.0", ", 0.0, 1.0", ", 1.0", ""};
    for (const Varying& v : varyings)
      out += "  " + v.name + " = vec4(" + LINK_PREFIX + v.name + PAD[v.components - 1] + ");\n";
  } else {
    static const char* SWIZZLE[4] = {".x", ".xy", ".xyz", ""};
    for (const Varying& v : varyings)
      out += std::string("  ") + LINK_PREFIX + v.name + " = " + v.name + SWIZZLE[v.components - 1] + ";\n";
    out += "  dx_entry();\n";
    if (alpha_test && has_colour) out += PS_EPILOGUE_ALPHA_TEST;
  }
  out += "}\n";
  return out;
}

GLuint compile_gl(GLenum stage, const std::string& src, std::string* log) {
  GLuint s = gl.CreateShader(stage);
  const char* p = src.c_str();
  gl.ShaderSource(s, 1, &p, nullptr);
  gl.CompileShader(s);
  GLint ok = 0;
  gl.GetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char buf[4096];
    GLsizei n = 0;
    gl.GetShaderInfoLog(s, sizeof(buf), &n, buf);
    if (log) log->assign(buf, size_t(n));
    gl.DeleteShader(s);
    return 0;
  }
  return s;
}

// ---- state translation tables

GLenum blend_factor(DWORD b) {
  switch (b) {
    case D3DBLEND_ZERO:
      return GL_ZERO;
    case D3DBLEND_ONE:
      return GL_ONE;
    case D3DBLEND_SRCCOLOR:
      return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
      return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
      return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
      return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
      return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
      return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
      return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
      return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
      return GL_SRC_ALPHA_SATURATE;
  }
  return GL_ONE;
}
GLenum blend_op(DWORD o) {
  switch (o) {
    case D3DBLENDOP_SUBTRACT:
      return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
      return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
      return GL_MIN;
    case D3DBLENDOP_MAX:
      return GL_MAX;
  }
  return GL_FUNC_ADD;
}
GLenum cmp_func(DWORD f) { return f >= 1 && f <= 8 ? GLenum(GL_NEVER + f - 1) : GL_ALWAYS; }
GLenum stencil_op(DWORD o) {
  switch (o) {
    case D3DSTENCILOP_ZERO:
      return GL_ZERO;
    case D3DSTENCILOP_REPLACE:
      return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT:
      return GL_INCR;
    case D3DSTENCILOP_DECRSAT:
      return GL_DECR;
    case D3DSTENCILOP_INVERT:
      return GL_INVERT;
    case D3DSTENCILOP_INCR:
      return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR:
      return GL_DECR_WRAP;
  }
  return GL_KEEP;
}
GLenum prim_mode(D3DPRIMITIVETYPE t) {
  switch (t) {
    case D3DPT_POINTLIST:
      return GL_POINTS;
    case D3DPT_LINELIST:
      return GL_LINES;
    case D3DPT_LINESTRIP:
      return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
      return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
      return GL_TRIANGLE_FAN;
    default:
      return GL_TRIANGLES;
  }
}
GLint address_mode(DWORD a) {
  switch (a) {
    case D3DTADDRESS_MIRROR:
      return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
      return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
      return GL_CLAMP_TO_BORDER;
  }
  return GL_REPEAT;
}

void set_default_render_states(DWORD* rs) {
  memset(rs, 0, sizeof(DWORD) * D3DRS_MAX);
  rs[D3DRS_ZENABLE] = D3DZB_FALSE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_ZWRITEENABLE] = 1;
  rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
  rs[D3DRS_LIGHTING] = 1;
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
}

// ---- the device

class GlDevice : public IDirect3DDevice9 {
 public:
  PlatWindow* window;
  D3DPRESENT_PARAMETERS params;
  GlSurface* back = nullptr;
  GlSurface* rt[4] = {};
  GlSurface* ds = nullptr;
  GLuint vao = 0, draw_fbo = 0, blit_read = 0, blit_draw = 0, up_vbo = 0;
  GLuint samplers[MAX_STAGES] = {};
  bool sampler_dirty[MAX_STAGES] = {};
  DWORD rs[D3DRS_MAX];
  DWORD ss[MAX_STAGES][D3DSAMP_MAX];
  D3DMATRIX tm[3];
  D3DVIEWPORT9 vp;
  RECT scissor = {0, 0, 0, 0};
  bool fbo_dirty = true, attribs_dirty = true, in_scene = false;
  IDirect3DBaseTexture9* textures[MAX_STAGES] = {};
  D3d9MemDecl* decl = nullptr;
  D3d9MemDecl* fvf_decl = nullptr;
  struct Stream {
    GlVertexBuffer* vb = nullptr;
    UINT offset = 0, stride = 0, freq = 1;
  } streams[MAX_STREAMS];
  GlIndexBuffer* indices = nullptr;
  GlVertexShader* vs = nullptr;
  GlPixelShader* ps = nullptr;
  float vs_c[VS_REGS][4] = {}, ps_c[PS_REGS][4] = {};
  uint64_t vs_serial = 1, ps_serial = 1;
  GLuint ff_vs = 0, ff_vs_rhw = 0;
  PixelProgram ff_ps_tex, ff_ps_diffuse;
  std::map<std::pair<GLuint, GLuint>, Program> programs;
  int enabled_attribs = 0;  // bit per location
  int divisor_attribs = 0;

  GlDevice(PlatWindow* w, const D3DPRESENT_PARAMETERS& p) : window(w), params(p) {
    current_device = this;
    gl.GenVertexArrays(1, &vao);
    gl.BindVertexArray(vao);
    gl.GenFramebuffers(1, &draw_fbo);
    gl.GenFramebuffers(1, &blit_read);
    gl.GenFramebuffers(1, &blit_draw);
    gl.GenBuffers(1, &up_vbo);
    gl.GenSamplers(MAX_STAGES, samplers);
    std::string log;
    ff_vs = compile_gl(GL_VERTEX_SHADER, wrap_program(FF_VS_TRANSFORMED, true, false), &log);
    ff_vs_rhw = compile_gl(GL_VERTEX_SHADER, wrap_program(FF_VS_RHW, true, false), &log);
    ff_ps_tex.text = FF_PS_TEXTURED;
    ff_ps_tex.plain = compile_gl(GL_FRAGMENT_SHADER, wrap_program(FF_PS_TEXTURED, false, false), &log);
    ff_ps_diffuse.text = FF_PS_DIFFUSE;
    ff_ps_diffuse.plain = compile_gl(GL_FRAGMENT_SHADER, wrap_program(FF_PS_DIFFUSE, false, false), &log);
    if (!ff_vs || !ff_vs_rhw || !ff_ps_tex.plain || !ff_ps_diffuse.plain)
      fprintf(stderr, "d3d9_gl: fixed-function program: %s\n", log.c_str());
    resetState();
    makeBackBuffer();
  }
  ~GlDevice() override {
    releaseBindings();
    for (auto& p : programs) gl.DeleteProgram(p.second.prog);
    GLuint shaders[6] = {
        ff_vs, ff_vs_rhw, ff_ps_tex.plain, ff_ps_tex.tested, ff_ps_diffuse.plain, ff_ps_diffuse.tested};
    for (GLuint s : shaders)
      if (s) gl.DeleteShader(s);
    if (back) back->Release();
    if (fvf_decl) fvf_decl->Release();
    gl.DeleteSamplers(MAX_STAGES, samplers);
    gl.DeleteBuffers(1, &up_vbo);
    GLuint fbos[3] = {draw_fbo, blit_read, blit_draw};
    gl.DeleteFramebuffers(3, fbos);
    gl.DeleteVertexArrays(1, &vao);
    if (current_device == this) current_device = nullptr;
  }

  void releaseBindings() {
    for (auto& r : rt) {
      if (r) r->Release();
      r = nullptr;
    }
    if (ds) ds->Release();
    ds = nullptr;
    for (auto& t : textures) {
      if (t) t->Release();
      t = nullptr;
    }
    for (auto& s : streams) {
      if (s.vb) s.vb->Release();
      s = Stream();
    }
    if (indices) indices->Release();
    indices = nullptr;
    if (decl) decl->Release();
    decl = nullptr;
    if (vs) vs->Release();
    vs = nullptr;
    if (ps) ps->Release();
    ps = nullptr;
  }

  void resetState() {
    set_default_render_states(rs);
    for (int i = 0; i < MAX_STAGES; i++) {
      memset(ss[i], 0, sizeof(ss[i]));
      ss[i][D3DSAMP_ADDRESSU] = ss[i][D3DSAMP_ADDRESSV] = ss[i][D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
      ss[i][D3DSAMP_MAGFILTER] = ss[i][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
      ss[i][D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
      sampler_dirty[i] = true;
    }
    for (auto& m : tm) {
      memset(&m, 0, sizeof(m));
      for (int i = 0; i < 4; i++) m.m[i][i] = 1;
    }
    attribs_dirty = fbo_dirty = true;
  }

  void makeBackBuffer() {
    int w = int(params.BackBufferWidth), h = int(params.BackBufferHeight);
    if (w < 1 || h < 1) plat_gl_get_drawable_size(window, &w, &h);
    if (w < 1 || h < 1) w = h = 1;
    params.BackBufferWidth = UINT(w);
    params.BackBufferHeight = UINT(h);
    if (back) back->Release();
    back =
        new GlSurface(D3D9_SURF_BACKBUFFER, UINT(w), UINT(h), D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DUSAGE_RENDERTARGET);
    back_in_window = windowTakesBackBuffer();
    presented_from_window = false;
    back->AddRef();
    if (rt[0]) rt[0]->Release();
    rt[0] = back;
    vp = {0, 0, UINT(w), UINT(h), 0.f, 1.f};
    fbo_dirty = true;
    plat_gl_set_swap_interval(params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  }

  // ---- where the back buffer lives
  bool back_in_window = false;         // its pixels are the window's, else its own texture's
  bool presented_from_window = false;  // the last Present showed the window's pixels as they were
  bool target_is_window = false;       // the bound draw framebuffer is the window's
  int backWidth() const { return int(back->desc.Width); }
  int backHeight() const { return int(back->desc.Height); }
  bool windowTakesBackBuffer() {
    int dw = 0, dh = 0;
    plat_gl_get_drawable_size(window, &dw, &dh);
    return dw == backWidth() && dh == backHeight();
  }
  GLuint backTexture() {
    if (!back->tex) {
      gl.GenTextures(1, &back->tex);
      bind_for_upload(back->tex);
      gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, backWidth(), backHeight(), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
      gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    return back->tex;
  }
  // Copies the window's pixels into the back buffer's texture, mirrored, and draws there from now
  // until the next Present.
  void moveBackToTexture() {
    if (!back_in_window) return;
    backTexture();
    int w = backWidth(), h = backHeight();
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    gl.ReadBuffer(GL_BACK);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, blit_draw);
    attach(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, back);
    GLenum buf = GL_COLOR_ATTACHMENT0;
    gl.DrawBuffers(1, &buf);
    gl.Disable(GL_SCISSOR_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.BlitFramebuffer(0, 0, w, h, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    back_in_window = false;
    applied_valid = false;
    fbo_dirty = true;
  }
  // Binds a surface's pixels for reading: (framebuffer, y of its first row, rows going down).
  bool bindForRead(GlSurface* s) {
    if (s == back && back_in_window) {
      gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
      gl.ReadBuffer(GL_BACK);
      return true;
    }
    if (s == back) backTexture();
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, blit_read);
    attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, s);
    gl.ReadBuffer(GL_COLOR_ATTACHMENT0);
    return false;
  }

  void forgetShader(GLuint s) {
    for (auto it = programs.begin(); it != programs.end();) {
      if (it->first.first == s || it->first.second == s) {
        gl.DeleteProgram(it->second.prog);
        it = programs.erase(it);
      } else {
        ++it;
      }
    }
  }

  // ---- framebuffer binding
  static void attach(GLenum target, GLenum point, GlSurface* s) {
    if (!s) {
      gl.FramebufferTexture2D(target, point, GL_TEXTURE_2D, 0, 0);
    } else if (s->kind == D3D9_SURF_DEPTH) {
      gl.FramebufferRenderbuffer(target, point, GL_RENDERBUFFER, s->rb);
    } else {
      gl.FramebufferTexture2D(target, point, GL_TEXTURE_2D, s->colourTexture(), s->colourLevel());
    }
  }
  void bindDrawTargets() {
    if (!fbo_dirty) return;
    if (rt[0] == back && back_in_window && (ds || rt[1] || rt[2] || rt[3])) moveBackToTexture();
    bool window_target = rt[0] == back && back_in_window;
    if (window_target != target_is_window) {
      target_is_window = window_target;
      applied_valid = false;  // culling order, viewport and scissor are mirrored between the two
      applied_vp.Width = 0;
    }
    if (window_target) {
      gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      fbo_dirty = false;
      return;
    }
    if (rt[0] == back) backTexture();
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, draw_fbo);
    GLenum bufs[4];
    int n = 0;
    for (int i = 0; i < 4; i++) {
      attach(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, rt[i]);
      bufs[i] = rt[i] ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
      if (rt[i]) n = i + 1;
    }
    gl.FramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, ds ? ds->rb : 0);
    gl.DrawBuffers(n ? n : 1, bufs);
    fbo_dirty = false;
  }

  // ---- state application
  DWORD applied[D3DRS_MAX];
  bool applied_valid = false;
  D3DVIEWPORT9 applied_vp = {0, 0, 0, 0, -1.f, -1.f};
  bool changed(std::initializer_list<D3DRENDERSTATETYPE> list) {
    if (!applied_valid) return true;
    for (auto s : list)
      if (applied[s] != rs[s]) return true;
    return false;
  }
  void applyRenderStates() {
    if (changed({D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_BLENDOP})) {
      if (rs[D3DRS_ALPHABLENDENABLE]) gl.Enable(GL_BLEND);
      else gl.Disable(GL_BLEND);
      gl.BlendFunc(blend_factor(rs[D3DRS_SRCBLEND]), blend_factor(rs[D3DRS_DESTBLEND]));
      gl.BlendEquation(blend_op(rs[D3DRS_BLENDOP]));
    }
    if (changed({D3DRS_CULLMODE})) {
      // Direct3D's clockwise (on a y-down screen) is GL's counter-clockwise in our flipped texture
      // targets, and clockwise in the window.
      gl.FrontFace(target_is_window ? GL_CW : GL_CCW);
      if (rs[D3DRS_CULLMODE] == D3DCULL_NONE) gl.Disable(GL_CULL_FACE);
      else {
        gl.Enable(GL_CULL_FACE);
        gl.CullFace(rs[D3DRS_CULLMODE] == D3DCULL_CCW ? GL_BACK : GL_FRONT);
      }
    }
    if (changed({D3DRS_ZENABLE, D3DRS_ZFUNC, D3DRS_ZWRITEENABLE})) {
      if (rs[D3DRS_ZENABLE]) gl.Enable(GL_DEPTH_TEST);
      else gl.Disable(GL_DEPTH_TEST);
      gl.DepthFunc(cmp_func(rs[D3DRS_ZFUNC]));
      gl.DepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    }
    if (changed({D3DRS_STENCILENABLE, D3DRS_STENCILFUNC, D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK,
                 D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS})) {
      if (rs[D3DRS_STENCILENABLE]) gl.Enable(GL_STENCIL_TEST);
      else gl.Disable(GL_STENCIL_TEST);
      gl.StencilFunc(cmp_func(rs[D3DRS_STENCILFUNC]), GLint(rs[D3DRS_STENCILREF]), rs[D3DRS_STENCILMASK]);
      gl.StencilOp(stencil_op(rs[D3DRS_STENCILFAIL]), stencil_op(rs[D3DRS_STENCILZFAIL]),
                   stencil_op(rs[D3DRS_STENCILPASS]));
      gl.StencilMask(rs[D3DRS_STENCILWRITEMASK]);
    }
    if (changed({D3DRS_COLORWRITEENABLE})) {
      DWORD m = rs[D3DRS_COLORWRITEENABLE];
      gl.ColorMask((m & 1) != 0, (m & 2) != 0, (m & 4) != 0, (m & 8) != 0);
    }
    if (changed({D3DRS_FILLMODE}))
      gl.PolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                        : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                                                : GL_FILL);
    if (changed({D3DRS_SCISSORTESTENABLE})) {
      if (rs[D3DRS_SCISSORTESTENABLE]) gl.Enable(GL_SCISSOR_TEST);
      else gl.Disable(GL_SCISSOR_TEST);
    }
    if (rs[D3DRS_SCISSORTESTENABLE]) glScissorRect(scissor.left, scissor.top, scissor.right, scissor.bottom);
    memcpy(applied, rs, sizeof(applied));
    applied_valid = true;
    applyViewport();
  }
  // A rectangle of the target (rows from the top) in GL's coordinates: the window's rows go up.
  int glY(int top, int bottom) const { return target_is_window ? backHeight() - bottom : top; }
  void glScissorRect(int left, int top, int right, int bottom) {
    gl.Scissor(left, glY(top, bottom), right - left, bottom - top);
  }
  void applyViewport() {
    if (memcmp(&applied_vp, &vp, sizeof(vp)) == 0) return;
    gl.Viewport(GLint(vp.X), glY(int(vp.Y), int(vp.Y + vp.Height)), GLsizei(vp.Width), GLsizei(vp.Height));
    gl.DepthRange(vp.MinZ, vp.MaxZ);
    applied_vp = vp;
  }
  void applySamplers() {
    for (int i = 0; i < MAX_STAGES; i++) {
      if (!textures[i]) continue;
      if (sampler_dirty[i]) {
        DWORD* s = ss[i];
        bool lin_min = s[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR, lin_mag = s[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
        GLint minf = lin_min ? GL_LINEAR : GL_NEAREST;
        // A single-level texture samples the same without a mip filter, and faster.
        bool mips = textures[i]->GetLevelCount() > 1;
        if (!mips) {
        } else if (s[D3DSAMP_MIPFILTER] == D3DTEXF_POINT)
          minf = lin_min ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else if (s[D3DSAMP_MIPFILTER] >= D3DTEXF_LINEAR)
          minf = lin_min ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        gl.SamplerParameteri(samplers[i], GL_TEXTURE_MIN_FILTER, minf);
        gl.SamplerParameteri(samplers[i], GL_TEXTURE_MAG_FILTER, lin_mag ? GL_LINEAR : GL_NEAREST);
        gl.SamplerParameteri(samplers[i], GL_TEXTURE_WRAP_S, address_mode(s[D3DSAMP_ADDRESSU]));
        gl.SamplerParameteri(samplers[i], GL_TEXTURE_WRAP_T, address_mode(s[D3DSAMP_ADDRESSV]));
        gl.SamplerParameteri(samplers[i], GL_TEXTURE_WRAP_R, address_mode(s[D3DSAMP_ADDRESSW]));
        DWORD c = s[D3DSAMP_BORDERCOLOR];
        float bc[4] = {float((c >> 16) & 255) / 255.f, float((c >> 8) & 255) / 255.f, float(c & 255) / 255.f,
                       float(c >> 24) / 255.f};
        gl.SamplerParameterfv(samplers[i], GL_TEXTURE_BORDER_COLOR, bc);
        sampler_dirty[i] = false;
      }
    }
  }

  // ---- programs
  // Fixed-function programs stand in when no vertex (or pixel) program is set.
  bool declHasPositionT() {
    D3d9MemDecl* d = decl;
    if (!d) return false;
    for (auto& e : d->elements)
      if (e.Stream != 0xFF && e.Usage == D3DDECLUSAGE_POSITIONT) return true;
    return false;
  }

  // The program of a vertex and pixel program pair, linked on first use; null when they do not
  // link (log, when given, receives the linker's text; a failed pair is tried again only through
  // LinkShaders). A pixel program reading a varying the vertex program does not write is a failed
  // link too (GL only warns, and the pixel program would read garbage); fixed-function programs
  // pass no lists.
  Program* linkProgram(GLuint v, GLuint p, std::string* log, const std::vector<std::string>* written = nullptr,
                       const std::vector<std::string>* read = nullptr) {
    if (!v || !p) return nullptr;
    auto key = std::make_pair(v, p);
    auto it = programs.find(key);
    if (it != programs.end()) {
      if (it->second.prog || !log) return it->second.prog ? &it->second : nullptr;
      programs.erase(it);
    }
    Program pr;
    if (written && read)
      for (const std::string& r : *read) {
        bool found = false;
        for (const std::string& w : *written) found |= w == r;
        if (found) continue;
        std::string why = "the pixel program reads " + r.substr(2) + ", which the vertex program does not write";
        fprintf(stderr, "d3d9_gl: program link failed: %s\n", why.c_str());
        if (log) *log = why;
        programs[key] = pr;
        return nullptr;
      }
    pr.prog = gl.CreateProgram();
    gl.AttachShader(pr.prog, v);
    gl.AttachShader(pr.prog, p);
    gl.LinkProgram(pr.prog);
    GLint ok = 0;
    gl.GetProgramiv(pr.prog, GL_LINK_STATUS, &ok);
    if (!ok) {
      char buf[2048];
      GLsizei n = 0;
      gl.GetProgramInfoLog(pr.prog, sizeof(buf), &n, buf);
      fprintf(stderr, "d3d9_gl: program link failed: %.*s\n", int(n), buf);
      if (log) log->assign(buf, size_t(n));
      gl.DeleteProgram(pr.prog);
      pr.prog = 0;
      programs[key] = pr;
      return nullptr;
    }
    gl.UseProgram(pr.prog);  // for its sampler units; the program in use comes back below
    for (int i = 0; i < MAX_STAGES; i++) {
      char name[16];
      snprintf(name, sizeof(name), "ps_s%d", i);
      GLint l = gl.GetUniformLocation(pr.prog, name);
      if (l >= 0) gl.Uniform1i(l, i);
    }
    auto array_info = [&](const char* name, GLint* loc, GLint* count) {
      *loc = gl.GetUniformLocation(pr.prog, name);
      if (*loc < 0) return;
      char full[32];
      snprintf(full, sizeof(full), "%s[0]", name);
      const char* names[1] = {full};
      GLuint idx = GL_INVALID_INDEX;
      gl.GetUniformIndices(pr.prog, 1, names, &idx);
      if (idx == GL_INVALID_INDEX) {
        names[0] = name;
        gl.GetUniformIndices(pr.prog, 1, names, &idx);
      }
      GLint size = 1;
      if (idx != GL_INVALID_INDEX) gl.GetActiveUniformsiv(pr.prog, 1, &idx, GL_UNIFORM_SIZE, &size);
      *count = size;
    };
    array_info("vs_c", &pr.vs_c, &pr.vs_c_count);
    array_info("ps_c", &pr.ps_c, &pr.ps_c_count);
    GLint attribs = 0;
    gl.GetProgramiv(pr.prog, GL_ACTIVE_ATTRIBUTES, &attribs);
    for (GLint i = 0; i < attribs && pr.moved_count < 16; i++) {
      char name[64];
      GLsizei len = 0;
      GLint size = 0;
      GLenum type = 0;
      gl.GetActiveAttrib(pr.prog, GLuint(i), sizeof(name), &len, &size, &type, name);
      uint8_t usage, index;
      if (!attrib_semantic(name, &usage, &index)) continue;
      GLint loc = gl.GetAttribLocation(pr.prog, name);
      if (loc >= 0 && loc < 16 && loc != attrib_location(usage, index))
        pr.moved[pr.moved_count++] = Program::Moved{usage, index, int8_t(loc)};
    }
    pr.halfpix = gl.GetUniformLocation(pr.prog, "dx_halfpixel");
    pr.atest = gl.GetUniformLocation(pr.prog, "dx_atest");
    pr.ff_wvp = gl.GetUniformLocation(pr.prog, "ff_wvp");
    programs[key] = pr;
    gl.UseProgram(current_prog);
    return &programs[key];
  }
  Program* currentProgram() {
    GLuint v = vs ? vs->shader : (declHasPositionT() ? ff_vs_rhw : ff_vs);
    bool alpha_test = rs[D3DRS_ALPHATESTENABLE] != 0;
    GLuint p = ps ? ps->program.get(alpha_test) : (textures[0] ? ff_ps_tex : ff_ps_diffuse).get(alpha_test);
    if (vs && ps) return linkProgram(v, p, nullptr, &vs->written, &ps->program.read);
    return linkProgram(v, p, nullptr);
  }

  // ---- draws' preparation
  GLuint current_prog = 0;
  bool prepareDraw(const std::vector<D3DVERTEXELEMENT9>* elements, GLuint up_buffer, UINT up_stride) {
    bindDrawTargets();
    applyRenderStates();
    applySamplers();
    Program* pr = currentProgram();
    if (!pr) return false;
    if (current_prog != pr->prog) {
      gl.UseProgram(pr->prog);
      current_prog = pr->prog;
      if (pr->moved_count || attribs_moved) attribs_dirty = true;
    }
    if (pr->vs_c >= 0 && pr->vs_serial != vs_serial) {
      gl.Uniform4fv(pr->vs_c, pr->vs_c_count > VS_REGS ? VS_REGS : pr->vs_c_count, &vs_c[0][0]);
      pr->vs_serial = vs_serial;
    }
    if (pr->ps_c >= 0 && pr->ps_serial != ps_serial) {
      gl.Uniform4fv(pr->ps_c, pr->ps_c_count > PS_REGS ? PS_REGS : pr->ps_c_count, &ps_c[0][0]);
      pr->ps_serial = ps_serial;
    }
    if (pr->halfpix >= 0) {
      float w = float(vp.Width ? vp.Width : 1), h = float(vp.Height ? vp.Height : 1);
      float v[4] = {2.f / w, 2.f / h, 1.f / w, target_is_window ? 1.f : -1.f};
      if (memcmp(v, pr->halfpix_set, sizeof(v)) != 0) {
        gl.Uniform4fv(pr->halfpix, 1, v);
        memcpy(pr->halfpix_set, v, sizeof(v));
      }
    }
    if (pr->atest >= 0) {
      float v[2] = {float(rs[D3DRS_ALPHAFUNC]), float(rs[D3DRS_ALPHAREF] & 255)};
      if (memcmp(v, pr->atest_set, sizeof(v)) != 0) {
        gl.Uniform4f(pr->atest, v[0], v[1], 0, 0);
        memcpy(pr->atest_set, v, sizeof(v));
      }
    }
    if (pr->ff_wvp >= 0) {
      // Row vectors times world, view, projection; GL gets the transpose (vec * mat in the program).
      float m[16], a[16];
      mul(tm[2], tm[0], a);
      D3DMATRIX t;
      memcpy(&t, a, sizeof(t));
      mul(t, tm[1], m);
      gl.UniformMatrix4fv(pr->ff_wvp, 1, GL_TRUE, m);
    }
    for (int i = 0; i < MAX_STAGES; i++) {
      if (!bound_tex_dirty[i]) continue;
      gl.ActiveTexture(GL_TEXTURE0 + i);
      GlTexture* t = static_cast<GlTexture*>(static_cast<D3d9MemTexture*>(textures[i]));
      gl.BindTexture(GL_TEXTURE_2D, t ? t->name : 0);
      gl.BindSampler(GLuint(i), samplers[i]);
      bound_tex_dirty[i] = false;
    }
    return setupAttribs(pr, elements, up_buffer, up_stride);
  }
  bool attribs_moved = false;  // the attributes were set up for a program with moved inputs
  bool bound_tex_dirty[MAX_STAGES] = {};

  static void mul(const D3DMATRIX& a, const D3DMATRIX& b, float* out) {
    for (int r = 0; r < 4; r++)
      for (int c = 0; c < 4; c++) {
        float s = 0;
        for (int k = 0; k < 4; k++) s += a.m[r][k] * b.m[k][c];
        out[r * 4 + c] = s;
      }
  }

  bool setupAttribs(const Program* pr, const std::vector<D3DVERTEXELEMENT9>* elements, GLuint up_buffer,
                    UINT up_stride) {
    if (!elements) {
      if (!decl) return false;
      if (!attribs_dirty) return true;
      elements = &decl->elements;
    }
    int want = 0, div = 0;
    for (auto& e : *elements) {
      if (e.Stream == 0xFF) break;
      int loc = pr->location(e.Usage, e.UsageIndex);
      if (loc < 0 || e.Stream >= MAX_STREAMS) continue;
      GLuint buf = up_buffer;
      UINT stride = up_stride, offset = 0, divisor = 0;
      if (!up_buffer) {
        const Stream& s = streams[e.Stream];
        if (!s.vb) continue;
        buf = s.vb->name;
        stride = s.stride;
        offset = s.offset;
        if (s.freq & D3DSTREAMSOURCE_INSTANCEDATA) divisor = 1;
      }
      GLint size = 4;
      GLenum type = GL_FLOAT;
      GLboolean norm = GL_FALSE;
      switch (e.Type) {
        case D3DDECLTYPE_FLOAT1:
          size = 1;
          break;
        case D3DDECLTYPE_FLOAT2:
          size = 2;
          break;
        case D3DDECLTYPE_FLOAT3:
          size = 3;
          break;
        case D3DDECLTYPE_FLOAT4:
          size = 4;
          break;
        case D3DDECLTYPE_D3DCOLOR:
          size = GL_BGRA;
          type = GL_UNSIGNED_BYTE;
          norm = GL_TRUE;
          break;
        case D3DDECLTYPE_UBYTE4:
          size = 4;
          type = GL_UNSIGNED_BYTE;
          break;
        case D3DDECLTYPE_SHORT2:
          size = 2;
          type = GL_SHORT;
          break;
        case D3DDECLTYPE_SHORT4:
          size = 4;
          type = GL_SHORT;
          break;
        default:
          continue;
      }
      gl.BindBuffer(GL_ARRAY_BUFFER, buf);
      gl.VertexAttribPointer(GLuint(loc), size, type, norm, GLsizei(stride),
                             (const void*)(uintptr_t)(offset + e.Offset));
      want |= 1 << loc;
      if (divisor) div |= 1 << loc;
    }
    for (int l = 0; l < 16; l++) {
      bool w = (want >> l) & 1, h = (enabled_attribs >> l) & 1;
      if (w && !h) gl.EnableVertexAttribArray(GLuint(l));
      if (!w && h) gl.DisableVertexAttribArray(GLuint(l));
      bool dw = (div >> l) & 1, dh = (divisor_attribs >> l) & 1;
      if (dw != dh) gl.VertexAttribDivisor(GLuint(l), dw ? 1 : 0);
    }
    enabled_attribs = want;
    attribs_moved = pr->moved_count > 0;
    divisor_attribs = div;
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    attribs_dirty = up_buffer != 0;
    return true;
  }

  // ---- IDirect3DDevice9
  // The context itself is never lost here, but a minimised window (or one with no pixels) has
  // nothing to draw into: the device counts as lost while it lasts, so frames are skipped and the
  // main loop sleeps, and once the window is back it asks for a reset, as a lost Direct3D device
  // does. A failed Reset leaves the device waiting for a good one.
  HRESULT TestCooperativeLevel() override {
    if (windowGone()) {
      lost = true;
      return D3DERR_DEVICELOST;
    }
    if (lost) {
      lost = false;
      needs_reset = true;
    }
    return needs_reset ? D3DERR_DEVICENOTRESET : D3D_OK;
  }
  bool needs_reset = false;
  bool lost = false;
  bool windowGone() const {
    if (plat_is_window_minimized(window)) return true;
    int w = 0, h = 0;
    plat_gl_get_drawable_size(window, &w, &h);
    return w < 1 || h < 1;
  }
  UINT GetAvailableTextureMem() override {
    const GLenum GL_TEXTURE_FREE_MEMORY_ATI = 0x87FC, GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX = 0x9049;
    GLint v[4] = {0, 0, 0, 0};
    while (gl.GetError() != GL_NO_ERROR) {}
    gl.GetIntegerv(GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX, v);
    if (gl.GetError() == GL_NO_ERROR && v[0] > 0) return UINT(v[0] > 4194303 ? 4194303 : v[0]) * 1024u;
    gl.GetIntegerv(GL_TEXTURE_FREE_MEMORY_ATI, v);
    if (gl.GetError() == GL_NO_ERROR && v[0] > 0) return UINT(v[0] > 4194303 ? 4194303 : v[0]) * 1024u;
    // A software rasteriser keeps textures in system memory: half of it is the estimate.
    int ram_mb = plat_system_ram_mb();
    uint64_t bytes = uint64_t(ram_mb > 0 ? ram_mb : 1024) / 2 * 1024 * 1024;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : UINT(bytes);
  }
  HRESULT Reset(D3DPRESENT_PARAMETERS* p) override {
    if (!p) return D3DERR_INVALIDCALL;
    // The device's own bindings go first; what still lives of the default pool is the caller's.
    releaseBindings();
    if (d3d9_live_default_objects > 0) {
      needs_reset = true;
      return D3DERR_INVALIDCALL;
    }
    needs_reset = false;
    lost = windowGone();
    params = *p;
    resetState();
    applied_valid = false;
    applied_vp = {0, 0, 0, 0, -1.f, -1.f};
    makeBackBuffer();
    p->BackBufferWidth = params.BackBufferWidth;
    p->BackBufferHeight = params.BackBufferHeight;
    return D3D_OK;
  }
  HRESULT Present(const RECT*, const RECT*, PlatWindow*, const void*) override {
    if (in_scene) return D3DERR_INVALIDCALL;
    if (lost || windowGone()) return D3DERR_DEVICELOST;
    presented_from_window = back_in_window;
    if (!back_in_window) {
      // The back buffer's own texture, stretched over the window and mirrored.
      int dw, dh;
      plat_gl_get_drawable_size(window, &dw, &dh);
      int w = backWidth(), h = backHeight();
      gl.BindFramebuffer(GL_READ_FRAMEBUFFER, blit_read);
      attach(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, back);
      gl.ReadBuffer(GL_COLOR_ATTACHMENT0);
      gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      gl.Disable(GL_SCISSOR_TEST);
      gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      gl.BlitFramebuffer(0, 0, w, h, 0, dh, dw, 0, GL_COLOR_BUFFER_BIT, (w == dw && h == dh) ? GL_NEAREST : GL_LINEAR);
      applied_valid = false;
    }
    plat_gl_swap(window);
    // The swap leaves the back buffer's contents undefined (as Direct3D's discard does), so the
    // next frame may start in the window again whenever the window has the back buffer's size.
    back_in_window = windowTakesBackBuffer();
    fbo_dirty = true;
    return D3D_OK;
  }
  HRESULT GetBackBuffer(UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    back->AddRef();
    *out = back;
    return D3D_OK;
  }
  // The window's image as last presented: the window's pixels, or the back buffer's texture when
  // that was presented; it lands at the window's place on a display-sized surface.
  HRESULT GetFrontBufferData(UINT, IDirect3DSurface9* dest) override {
    GlSurface* d = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(dest));
    if (!d || d->kind != D3D9_SURF_PLAIN || d->desc.Format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    int ox = 0, oy = 0;
    plat_client_to_screen(window, &ox, &oy);
    int w = backWidth(), h = backHeight();
    std::vector<uint8_t> img(size_t(w) * h * 4);
    if (presented_from_window) {
      int dw, dh;
      plat_gl_get_drawable_size(window, &dw, &dh);
      if (dw < w) w = dw;
      if (dh < h) h = dh;
      // The swapped-out back buffer: Mesa's software rasteriser (under X and on EGL surfaces)
      // keeps the presented pixels there, where reading the front buffer of an X window gives
      // nothing. GL itself leaves that buffer undefined after a swap.
      gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
      gl.ReadBuffer(GL_BACK);
      readRows(0, 0, w, h, dh, D3DFMT_A8R8G8B8, img.data(), backWidth() * 4);
    } else {
      bindForRead(back);
      readRows(0, 0, w, h, 0, D3DFMT_A8R8G8B8, img.data(), w * 4);
    }
    uint8_t* bits = d->own.bits();
    memset(bits, 0, size_t(d->own.pitch) * d->own.height);
    int iw = backWidth();
    for (int y = 0; y < h; y++) {
      int dy = oy + y;
      if (dy < 0 || dy >= int(d->own.height)) continue;
      for (int x = 0; x < w; x++) {
        int dx = ox + x;
        if (dx < 0 || dx >= int(d->own.width)) continue;
        memcpy(bits + size_t(dy) * d->own.pitch + size_t(dx) * 4, &img[(size_t(y) * iw + x) * 4], 4);
      }
    }
    return D3D_OK;
  }
  // Reads rows y..y+h (first row at the top) of the bound read buffer; mirror_height > 0: the
  // buffer's rows go up (a window of that height), so rows are read mirrored.
  void readRows(int x, int y, int w, int h, int mirror_height, D3DFORMAT format, uint8_t* out, int pitch) {
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    GlFormat f;
    gl_format(format, &f);
    int tb = d3d9_texel_bytes(format);
    gl.PixelStorei(GL_PACK_ROW_LENGTH, tb ? pitch / tb : 0);
    if (!mirror_height) {
      gl.ReadPixels(x, y, w, h, f.format, f.type, out);
    } else {
      gl.ReadPixels(x, mirror_height - y - h, w, h, f.format, f.type, out);
      std::vector<uint8_t> row(size_t(w) * tb);
      for (int a = 0, b = h - 1; a < b; a++, b--) {
        memcpy(row.data(), out + size_t(a) * pitch, row.size());
        memcpy(out + size_t(a) * pitch, out + size_t(b) * pitch, row.size());
        memcpy(out + size_t(b) * pitch, row.data(), row.size());
      }
    }
    gl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
  }
  void readPixels(GlSurface* s, int x, int y, int w, int h, uint8_t* out, int pitch) {
    bool window = bindForRead(s);
    readRows(x, y, w, h, window ? backHeight() : 0, s->desc.Format, out, pitch);
  }
  HRESULT BeginScene() override {
    if (in_scene) return D3DERR_INVALIDCALL;
    if (lost || windowGone()) {
      lost = true;
      return D3DERR_DEVICELOST;
    }
    in_scene = true;
    return D3D_OK;
  }
  HRESULT EndScene() override {
    if (!in_scene) return D3DERR_INVALIDCALL;
    in_scene = false;
    gl.Flush();
    return D3D_OK;
  }
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR c, float z, DWORD stencil) override {
    bindDrawTargets();
    applyRenderStates();
    GLbitfield bits = 0;
    if (flags & D3DCLEAR_TARGET) {
      bits |= GL_COLOR_BUFFER_BIT;
      gl.ClearColor(float((c >> 16) & 255) / 255.f, float((c >> 8) & 255) / 255.f, float(c & 255) / 255.f,
                    float(c >> 24) / 255.f);
      gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    }
    if ((flags & D3DCLEAR_ZBUFFER) && ds) {
      bits |= GL_DEPTH_BUFFER_BIT;
      gl.ClearDepth(z);
      gl.DepthMask(GL_TRUE);
    }
    if ((flags & D3DCLEAR_STENCIL) && ds) {
      bits |= GL_STENCIL_BUFFER_BIT;
      gl.ClearStencil(GLint(stencil));
      gl.StencilMask(0xFFFFFFFF);
    }
    // Direct3D clears the viewport (or the given rectangles inside it), never the whole target.
    gl.Enable(GL_SCISSOR_TEST);
    if (count && rects) {
      for (DWORD i = 0; i < count; i++) {
        int x1 = rects[i].x1 > int(vp.X) ? rects[i].x1 : int(vp.X),
            y1 = rects[i].y1 > int(vp.Y) ? rects[i].y1 : int(vp.Y);
        int x2 = rects[i].x2 < int(vp.X + vp.Width) ? rects[i].x2 : int(vp.X + vp.Width);
        int y2 = rects[i].y2 < int(vp.Y + vp.Height) ? rects[i].y2 : int(vp.Y + vp.Height);
        if (x2 <= x1 || y2 <= y1) continue;
        glScissorRect(x1, y1, x2, y2);
        gl.Clear(bits);
      }
    } else {
      glScissorRect(int(vp.X), int(vp.Y), int(vp.X + vp.Width), int(vp.Y + vp.Height));
      gl.Clear(bits);
    }
    applied_valid = false;  // masks and scissor go back to the device's states at the next draw
    if (!rs[D3DRS_SCISSORTESTENABLE]) gl.Disable(GL_SCISSOR_TEST);
    applyRenderStates();
    return D3D_OK;
  }

  HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
    if (s >= D3DRS_MAX) return D3DERR_INVALIDCALL;
    rs[s] = v;
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE s, DWORD* v) override {
    if (s >= D3DRS_MAX || !v) return D3DERR_INVALIDCALL;
    *v = rs[s];
    return D3D_OK;
  }
  HRESULT SetSamplerState(DWORD i, D3DSAMPLERSTATETYPE t, DWORD v) override {
    if (i >= MAX_STAGES || t >= D3DSAMP_MAX) return D3D_OK;  // vertex-texture samplers: ignored
    if (ss[i][t] != v) sampler_dirty[i] = true;
    ss[i][t] = v;
    return D3D_OK;
  }
  HRESULT GetSamplerState(DWORD i, D3DSAMPLERSTATETYPE t, DWORD* v) override {
    if (i >= MAX_STAGES || t >= D3DSAMP_MAX || !v) return D3DERR_INVALIDCALL;
    *v = ss[i][t];
    return D3D_OK;
  }
  // Stage 0's texture-times-diffuse is what the fixed-function pixel program does; other stage
  // states have no effect on this layer.
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return D3D_OK; }
  static int tmIndex(D3DTRANSFORMSTATETYPE s) { return s == D3DTS_VIEW ? 0 : s == D3DTS_PROJECTION ? 1 : 2; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override {
    if (!m) return D3DERR_INVALIDCALL;
    tm[tmIndex(s)] = *m;
    return D3D_OK;
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE s, D3DMATRIX* m) override {
    if (!m) return D3DERR_INVALIDCALL;
    *m = tm[tmIndex(s)];
    return D3D_OK;
  }
  HRESULT SetViewport(const D3DVIEWPORT9* v) override {
    if (!v) return D3DERR_INVALIDCALL;
    vp = *v;
    return D3D_OK;
  }
  HRESULT GetViewport(D3DVIEWPORT9* v) override {
    if (!v) return D3DERR_INVALIDCALL;
    *v = vp;
    return D3D_OK;
  }
  HRESULT SetScissorRect(const RECT* r) override {
    if (!r) return D3DERR_INVALIDCALL;
    scissor = *r;
    return D3D_OK;
  }

  HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT f, D3DPOOL pool, IDirect3DTexture9** out,
                        void*) override {
    GlFormat gf;
    if (!out || w < 1 || h < 1 || w > 16384 || h > 16384 || !gl_format(f, &gf)) return D3DERR_INVALIDCALL;
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && d3d9_is_dxt(f)) return D3DERR_INVALIDCALL;
    while (gl.GetError() != GL_NO_ERROR) {}
    GlTexture* t = new GlTextureWithSurfaces(w, h, levels, usage, f, pool);
    if (gl.GetError() == GL_OUT_OF_MEMORY) {
      t->Release();
      return D3DERR_OUTOFVIDEOMEMORY;
    }
    *out = t;
    return D3D_OK;
  }
  HRESULT CreateVertexBuffer(UINT len, DWORD usage, DWORD, D3DPOOL pool, IDirect3DVertexBuffer9** out, void*) override {
    if (!out || len == 0) return D3DERR_INVALIDCALL;
    *out = new GlVertexBuffer(len, usage, pool, D3DFMT_UNKNOWN);
    return D3D_OK;
  }
  HRESULT CreateIndexBuffer(UINT len, DWORD usage, D3DFORMAT f, D3DPOOL pool, IDirect3DIndexBuffer9** out,
                            void*) override {
    if (!out || len == 0 || f != D3DFMT_INDEX16) return D3DERR_INVALIDCALL;
    *out = new GlIndexBuffer(len, usage, pool, f);
    return D3D_OK;
  }
  HRESULT CreateDepthStencilSurface(UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE, DWORD, int,
                                    IDirect3DSurface9** out, void*) override {
    if (!out || f != D3DFMT_D24S8 || w < 1 || h < 1) return D3DERR_INVALIDCALL;
    GlSurface* s = new GlSurface(D3D9_SURF_DEPTH, w, h, f, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL);
    gl.GenRenderbuffers(1, &s->rb);
    gl.BindRenderbuffer(GL_RENDERBUFFER, s->rb);
    gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GLsizei(w), GLsizei(h));
    gl.BindRenderbuffer(GL_RENDERBUFFER, 0);
    *out = s;
    return D3D_OK;
  }
  HRESULT CreateOffscreenPlainSurface(UINT w, UINT h, D3DFORMAT f, D3DPOOL pool, IDirect3DSurface9** out,
                                      void*) override {
    if (!out || w < 1 || h < 1 || d3d9_texel_bytes(f) == 0) return D3DERR_INVALIDCALL;
    *out = new GlSurface(D3D9_SURF_PLAIN, w, h, f, pool, 0);
    return D3D_OK;
  }
  HRESULT UpdateSurface(IDirect3DSurface9* src, const RECT*, IDirect3DSurface9* dst, const void*) override {
    GlSurface* s = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(src));
    GlSurface* d = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(dst));
    if (!s || !d || s->kind != D3D9_SURF_PLAIN || s->desc.Pool != D3DPOOL_SYSTEMMEM || !d->texture ||
        s->desc.Format != d->desc.Format || s->desc.Width != d->desc.Width || s->desc.Height != d->desc.Height)
      return D3DERR_INVALIDCALL;
    static_cast<GlTexture*>(d->texture)->upload(d->level_index, s->own.bits(), s->own.pitch);
    return D3D_OK;
  }
  HRESULT GetRenderTargetData(IDirect3DSurface9* src, IDirect3DSurface9* dst) override {
    GlSurface* s = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(src));
    GlSurface* d = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(dst));
    if (!s || !d || d->kind != D3D9_SURF_PLAIN || d->desc.Pool != D3DPOOL_SYSTEMMEM ||
        !(s->desc.Usage & D3DUSAGE_RENDERTARGET) || s->desc.Format != d->desc.Format ||
        s->desc.Width != d->desc.Width || s->desc.Height != d->desc.Height)
      return D3DERR_INVALIDCALL;
    readPixels(s, 0, 0, int(s->desc.Width), int(s->desc.Height), d->own.bits(), d->own.pitch);
    return D3D_OK;
  }
  HRESULT StretchRect(IDirect3DSurface9* src, const RECT* sr, IDirect3DSurface9* dst, const RECT* dr,
                      D3DTEXTUREFILTERTYPE filter) override {
    GlSurface* s = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(src));
    GlSurface* d = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(dst));
    if (!s || !d || (!(s->desc.Usage & D3DUSAGE_RENDERTARGET) && s->kind != D3D9_SURF_BACKBUFFER))
      return D3DERR_INVALIDCALL;
    if (!d || !(d->desc.Usage & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    RECT a = sr ? *sr : RECT{0, 0, int32_t(s->desc.Width), int32_t(s->desc.Height)};
    RECT b = dr ? *dr : RECT{0, 0, int32_t(d->desc.Width), int32_t(d->desc.Height)};
    if (s == back && d == back && back_in_window) moveBackToTexture();
    // The window's rows go up: its rectangles are mirrored.
    if (bindForRead(s)) a = RECT{a.left, backHeight() - a.top, a.right, backHeight() - a.bottom};
    if (d == back && back_in_window) {
      gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      b = RECT{b.left, backHeight() - b.top, b.right, backHeight() - b.bottom};
    } else {
      if (d == back) backTexture();
      gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, blit_draw);
      attach(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, d);
      GLenum buf = GL_COLOR_ATTACHMENT0;
      gl.DrawBuffers(1, &buf);
    }
    gl.Disable(GL_SCISSOR_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.BlitFramebuffer(a.left, a.top, a.right, a.bottom, b.left, b.top, b.right, b.bottom, GL_COLOR_BUFFER_BIT,
                       filter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    fbo_dirty = true;
    applied_valid = false;
    return D3D_OK;
  }
  HRESULT SetRenderTarget(DWORD i, IDirect3DSurface9* surface) override {
    GlSurface* s = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(surface));
    if (i >= 4 || (i == 0 && !s)) return D3DERR_INVALIDCALL;
    if (s && !(s->desc.Usage & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    if (s) s->AddRef();
    if (rt[i]) rt[i]->Release();
    rt[i] = s;
    // Setting target 0 resets the viewport to the whole target.
    if (i == 0) vp = {0, 0, s->desc.Width, s->desc.Height, 0.f, 1.f};
    fbo_dirty = true;
    return D3D_OK;
  }
  HRESULT GetRenderTarget(DWORD i, IDirect3DSurface9** out) override {
    if (i >= 4 || !out || !rt[i]) return D3DERR_NOTAVAILABLE;
    rt[i]->AddRef();
    *out = rt[i];
    return D3D_OK;
  }
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override {
    GlSurface* s = static_cast<GlSurface*>(static_cast<D3d9MemSurface*>(surface));
    if (s && s->kind != D3D9_SURF_DEPTH) return D3DERR_INVALIDCALL;
    if (s) s->AddRef();
    if (ds) ds->Release();
    ds = s;
    fbo_dirty = true;
    return D3D_OK;
  }
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** out) override {
    if (!out || !ds) return D3DERR_NOTAVAILABLE;
    ds->AddRef();
    *out = ds;
    return D3D_OK;
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* t) override {
    if (stage >= MAX_STAGES) return D3D_OK;  // vertex-texture stages: ignored
    if (textures[stage] == t) return D3D_OK;
    if (t) t->AddRef();
    if (textures[stage]) textures[stage]->Release();
    textures[stage] = t;
    bound_tex_dirty[stage] = true;
    sampler_dirty[stage] = true;
    return D3D_OK;
  }

  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* e, IDirect3DVertexDeclaration9** out) override {
    if (!e || !out) return D3DERR_INVALIDCALL;
    *out = new D3d9MemDecl(e);
    return D3D_OK;
  }
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* d) override {
    D3d9MemDecl* md = static_cast<D3d9MemDecl*>(d);
    if (md == decl) return D3D_OK;
    if (md) md->AddRef();
    if (decl) decl->Release();
    decl = md;
    attribs_dirty = true;
    return D3D_OK;
  }
  HRESULT SetFVF(DWORD fvf) override {
    std::vector<D3DVERTEXELEMENT9> e = d3d9_fvf_elements(fvf, nullptr);
    D3d9MemDecl* d = new D3d9MemDecl(e.data());
    SetVertexDeclaration(d);
    d->Release();
    return D3D_OK;
  }
  HRESULT SetStreamSource(UINT i, IDirect3DVertexBuffer9* vb, UINT offset, UINT stride) override {
    if (i >= MAX_STREAMS) return D3DERR_INVALIDCALL;
    GlVertexBuffer* b = static_cast<GlVertexBuffer*>(vb);
    Stream& s = streams[i];
    if (s.vb == b && s.offset == offset && s.stride == stride) return D3D_OK;
    if (b) b->AddRef();
    if (s.vb) s.vb->Release();
    s.vb = b;
    s.offset = offset;
    s.stride = stride;
    attribs_dirty = true;
    return D3D_OK;
  }
  HRESULT SetStreamSourceFreq(UINT i, UINT setting) override {
    if (i >= MAX_STREAMS) return D3DERR_INVALIDCALL;
    if (streams[i].freq != setting) attribs_dirty = true;
    streams[i].freq = setting;
    return D3D_OK;
  }
  HRESULT SetIndices(IDirect3DIndexBuffer9* ib) override {
    GlIndexBuffer* b = static_cast<GlIndexBuffer*>(ib);
    if (b) b->AddRef();
    if (indices) indices->Release();
    indices = b;
    return D3D_OK;
  }

  // Compiles a blob's program for its stage; 0 (and the compiler's text printed) when refused.
  static GLuint compileBlob(const DWORD* code, uint32_t stage, std::string* text) {
    if (!code || !d3d9_blob_size(code, 1u << 24, stage)) return 0;
    text->assign((const char*)code + sizeof(D3d9GlslBlobHeader));
    std::string log;
    GLuint s =
        compile_gl(stage == 0 ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, wrap_program(*text, stage == 0, false), &log);
    if (!s) fprintf(stderr, "d3d9_gl: %s program rejected: %s\n", stage == 0 ? "vertex" : "pixel", log.c_str());
    return s;
  }
  HRESULT CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    std::string text;
    GLuint s = compileBlob(code, 0, &text);
    if (!s) return D3DERR_INVALIDCALL;
    GlVertexShader* v = new GlVertexShader();
    v->shader = s;
    v->written = program_varyings(text, "out");
    v->stage = GL_VERTEX_SHADER;
    *out = v;
    return D3D_OK;
  }
  HRESULT SetVertexShader(IDirect3DVertexShader9* s) override {
    GlVertexShader* v = static_cast<GlVertexShader*>(s);
    if (v) v->AddRef();
    if (vs) vs->Release();
    vs = v;
    return D3D_OK;
  }
  HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override {
    if (!data || start + count > VS_REGS) return D3DERR_INVALIDCALL;
    memcpy(vs_c[start], data, size_t(count) * 16);
    vs_serial++;
    return D3D_OK;
  }
  HRESULT CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    GlPixelShader* p = new GlPixelShader();
    p->program.plain = compileBlob(code, 1, &p->program.text);
    if (!p->program.plain) {
      p->Release();
      return D3DERR_INVALIDCALL;
    }
    p->program.read = program_varyings(p->program.text, "in");
    *out = p;
    return D3D_OK;
  }
  HRESULT SetPixelShader(IDirect3DPixelShader9* s) override {
    GlPixelShader* p = static_cast<GlPixelShader*>(s);
    if (p) p->AddRef();
    if (ps) ps->Release();
    ps = p;
    return D3D_OK;
  }
  HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override {
    if (!data || start + count > PS_REGS) return D3DERR_INVALIDCALL;
    memcpy(ps_c[start], data, size_t(count) * 16);
    ps_serial++;
    return D3D_OK;
  }

  HRESULT LinkShaders(IDirect3DVertexShader9* vsh, IDirect3DPixelShader9* psh, char* log, UINT log_size) override {
    GlVertexShader* v = static_cast<GlVertexShader*>(vsh);
    GlPixelShader* p = static_cast<GlPixelShader*>(psh);
    if (log && log_size) log[0] = 0;
    if (!v || !p) return D3DERR_INVALIDCALL;
    std::string text;
    if (linkProgram(v->shader, p->program.plain, &text, &v->written, &p->program.read)) return D3D_OK;
    if (log && log_size) snprintf(log, log_size, "%s", text.c_str());
    return D3DERR_INVALIDCALL;
  }

  UINT instanceCount() {
    UINT f = streams[0].freq;
    return (f & D3DSTREAMSOURCE_INDEXEDDATA) ? (f & 0x3FFFFFFF) : 1;
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT prims) override {
    if (!prepareDraw(nullptr, 0, 0)) return D3DERR_INVALIDCALL;
    gl.DrawArrays(prim_mode(type), GLint(start), GLsizei(d3d9_vertex_count(type, prims)));
    return D3D_OK;
  }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int base, UINT, UINT, UINT start, UINT prims) override {
    if (!indices) return D3DERR_INVALIDCALL;
    if (!prepareDraw(nullptr, 0, 0)) return D3DERR_INVALIDCALL;
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices->name);
    UINT n = d3d9_vertex_count(type, prims), inst = instanceCount();
    const void* off = (const void*)(uintptr_t)(start * 2);
    if (inst > 1)
      gl.DrawElementsInstancedBaseVertex(prim_mode(type), GLsizei(n), GL_UNSIGNED_SHORT, off, GLsizei(inst), base);
    else gl.DrawElementsBaseVertex(prim_mode(type), GLsizei(n), GL_UNSIGNED_SHORT, off, base);
    return D3D_OK;
  }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT prims, const void* data, UINT stride) override {
    if (!data || !decl) return D3DERR_INVALIDCALL;
    UINT n = d3d9_vertex_count(type, prims);
    gl.BindBuffer(GL_ARRAY_BUFFER, up_vbo);
    gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(n) * stride, data, GL_STREAM_DRAW);
    if (!prepareDraw(&decl->elements, up_vbo, stride)) return D3DERR_INVALIDCALL;
    gl.DrawArrays(prim_mode(type), 0, GLsizei(n));
    // As Direct3D does, stream 0 is unbound after a draw from memory.
    SetStreamSource(0, nullptr, 0, 0);
    attribs_dirty = true;
    return D3D_OK;
  }
  HRESULT CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** out) override {
    if (type != D3DQUERYTYPE_EVENT || !out) return D3DERR_NOTAVAILABLE;
    *out = new GlQuery();
    return D3D_OK;
  }
};

// ---- destructors that need the device

GlTexture::~GlTexture() {
  if (current_device) {
    for (auto& t : current_device->textures)
      if (t == this) t = nullptr;
  }
  gl.DeleteTextures(1, &name);
}
GlVertexShader::~GlVertexShader() {
  if (current_device) current_device->forgetShader(shader);
  gl.DeleteShader(shader);
}
GlPixelShader::~GlPixelShader() {
  for (GLuint s : {program.plain, program.tested}) {
    if (!s) continue;
    if (current_device) current_device->forgetShader(s);
    gl.DeleteShader(s);
  }
}

// ---- the Direct3D object

class GlD3D : public IDirect3D9 {
 public:
  bool context_made = false;
  HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* m) override {
    if (!m) return D3DERR_INVALIDCALL;
    int w = 0, h = 0;
    plat_get_screen_size(&w, &h);
    *m = D3DDISPLAYMODE{UINT(w), UINT(h), 60, D3DFMT_X8R8G8B8};
    return w > 0 && h > 0 ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  std::vector<D3DDISPLAYMODE> modes() {
    std::vector<D3DDISPLAYMODE> r;
    PlatDisplayMode found[256];
    int n = plat_get_display_modes(found, 256);
    for (int i = 0; i < n; i++)
      r.push_back({UINT(found[i].width), UINT(found[i].height), UINT(found[i].refresh_hz), D3DFMT_X8R8G8B8});
    if (r.empty()) {
      D3DDISPLAYMODE m;
      if (GetAdapterDisplayMode(0, &m) == D3D_OK) r.push_back(m);
    }
    return r;
  }
  UINT GetAdapterModeCount(UINT, D3DFORMAT f) override { return f == D3DFMT_X8R8G8B8 ? UINT(modes().size()) : 0; }
  HRESULT EnumAdapterModes(UINT, D3DFORMAT f, UINT i, D3DDISPLAYMODE* m) override {
    std::vector<D3DDISPLAYMODE> all = modes();
    if (f != D3DFMT_X8R8G8B8 || i >= all.size() || !m) return D3DERR_INVALIDCALL;
    *m = all[i];
    return D3D_OK;
  }
  HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD usage, D3DRESOURCETYPE, D3DFORMAT f) override {
    GlFormat g;
    if (!gl_format(f, &g)) return D3DERR_NOTAVAILABLE;
    if ((usage & D3DUSAGE_RENDERTARGET) && d3d9_is_dxt(f)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
  }
  // The layer's colour targets are single-sampled: one quality level is reported so a request is
  // accepted (and logged) as Direct3D would, and a multisampled depth surface is made single-sampled.
  HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, int, D3DMULTISAMPLE_TYPE ms, DWORD* q) override {
    if (q) *q = 1;
    return ms == D3DMULTISAMPLE_NONE || ms == D3DMULTISAMPLE_NONMASKABLE ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CreateDevice(UINT, D3DDEVTYPE, PlatWindow* focus, DWORD, D3DPRESENT_PARAMETERS* p,
                       IDirect3DDevice9** out) override {
    if (!p || !out) return D3DERR_INVALIDCALL;
    if (current_device) return D3DERR_INVALIDCALL;  // one device per process
    PlatWindow* w = p->hDeviceWindow ? p->hDeviceWindow : focus;
    if (!plat_gl_create_context(w)) return D3DERR_NOTAVAILABLE;
    const char* missing = nullptr;
    if (!d3d9_gl_load(&missing)) {
      fprintf(stderr, "d3d9_gl: missing OpenGL entry point %s\n", missing);
      plat_gl_destroy_context();
      return D3DERR_NOTAVAILABLE;
    }
    context_made = true;
    GlDevice* d = new GlDevice(w, *p);
    p->BackBufferWidth = d->params.BackBufferWidth;
    p->BackBufferHeight = d->params.BackBufferHeight;
    *out = d;
    return D3D_OK;
  }
  ~GlD3D() override {
    if (context_made && !current_device) plat_gl_destroy_context();
  }
};
}  // namespace

IDirect3D9* Direct3DCreate9(UINT sdk_version) { return sdk_version == D3D_SDK_VERSION ? new GlD3D() : nullptr; }
