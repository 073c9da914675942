// Shaders: the table of 256 records, the compiler library loaded by name, the include handler that
// records dependencies, the compiled-shader cache files and the once-a-second rebuild of changed
// sources.
// Sections: compiling; cache files; building and binding; rebuilds and shutdown.
#include "engine/d3d_shaders.h"
#include <stdio.h>
#include <string.h>
#include "engine/d3d_render.h"
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "engine/streams.h"
#include "engine/sysUtils.h"
#include "platform/d3d9/d3dcompiler.h"

Shader shader_table[MAX_SHADERS];
char shader_vs_profile[32] = "vs_2_0";
char shader_ps_profile[32] = "ps_2_0";

// ---- compiling

namespace {
void* compiler_module = nullptr;
PfnD3DCompile p_compile = nullptr;
PfnD3DDisassemble p_disassemble = nullptr;
bool errors_on_screen = false;

// Bytes of a definition list before its final empty string: pairs of name and value, where a value
// may itself be empty.
int defs_length(const char* defs) {
  if (!defs) return 0;
  const char* p = defs;
  while (*p) {
    p += strlen(p) + 1;
    p += strlen(p) + 1;
  }
  return int(p - defs);
}

bool same_defs(const char* a, const char* b) {
  int la = defs_length(a), lb = defs_length(b);
  return la == lb && (la == 0 || memcmp(a, b, size_t(la)) == 0);
}

class MyShaderInclude : public ID3DInclude {
 public:
  explicit MyShaderInclude(Shader* o) : owner(o) {}
  // Why the last Open failed.
  const char* why = "";
  HRESULT Open(D3D_INCLUDE_TYPE, const char* file_name, const void*, const void** data, UINT* size) override {
    ASSERT(data);
    ASSERT(size);
    *data = nullptr;
    *size = 0;
    PathString path;
    // A name the cache could not hold, or no file here could have, is refused like a missing file.
    if (strlen(file_name) >= size_t(ShaderDependency::MAX_NAME) || !try_make_full_path(file_name, path)) {
      debug("shader include name too long: '%s'", file_name);
      why = "name too long";
      return D3DERR_INVALIDCALL;
    }
    size_t n = 0;
    // Shader sources are small; anything near this is not one.
    char* buf = (char*)read_data_file(path, &n, &why, 64 << 20);
    if (!buf) {
      debug("can't read shader source '%s': %s", (const char*)path, why);
      return D3DERR_INVALIDCALL;
    }
    if (owner) {
      ShaderDependency& d = owner->deps.push_back();
      d.path = file_name;
      d.file_time = compiler_module ? get_file_time(path) : 0;
    }
    *data = buf;
    *size = UINT(n);
    return D3D_OK;
  }
  HRESULT Close(const void* data) override {
    dlfree((void*)data);
    return D3D_OK;
  }

 private:
  Shader* owner;
};

void empty_record(Shader* s) {
  if (s->vs) s->vs->Release();
  if (s->ps) s->ps->Release();
  s->vs = nullptr;
  s->ps = nullptr;
  s->deps.free();
  s->refcount = 0;
  s->name = "";
  memset(s->defs, 0, sizeof(s->defs));
}

// False when the path cannot name a file here (too long once made absolute): a cache that lists
// it is refused and the shader compiled again.
bool record_dependency(Shader* s, const char* path) {
  PathString full;
  if (strlen(path) >= size_t(ShaderDependency::MAX_NAME) || !try_make_full_path(path, full)) {
    debug("shader '%s': dependency path too long: '%s'", (const char*)s->name, path);
    return false;
  }
  ShaderDependency& d = s->deps.push_back();
  d.path = path;
  d.file_time = compiler_module ? get_file_time(full) : 0;
  return true;
}

// Our graphics layer links the two programs of a shader into one when drawing; a pair that does
// not link is a failed build (the linker's text logged, and on screen during a reload), never a
// failed draw.
bool link_shader_pair(Shader* s, IDirect3DVertexShader9* vs, IDirect3DPixelShader9* ps) {
  char log[2048];
  if (d3d->LinkShaders(vs, ps, log, sizeof(log)) == D3D_OK) return true;
  TempString<300> head;
  head.format("can't link the programs of shader '%s':", (const char*)s->name);
  debug("%s", (const char*)head);
  debug("%s", log);
  if (errors_on_screen) {
    append_error_message(head, -1);
    append_error_message(log, -1);
  }
  return false;
}

ID3DBlob* compile_shader_func(const char* profile, const char* file, const char* entry, Shader* owner) {
  D3D_SHADER_MACRO macros[SHADER_DEFS_SIZE / 2 + 2];
  int n = 0;
  for (const char* p = owner->defs; *p;) {
    const char* name = p;
    p += strlen(p) + 1;
    const char* value = p;
    p += strlen(p) + 1;
    macros[n++] = D3D_SHADER_MACRO{name, value};
  }
  macros[n++] = D3D_SHADER_MACRO{strcmp(entry, "psh") == 0 ? "PSH" : "VSH", " 1"};
  macros[n] = D3D_SHADER_MACRO{nullptr, nullptr};
  MyShaderInclude inc(owner);
  const void* src = nullptr;
  UINT src_size = 0;
  if (inc.Open(D3D_INCLUDE_LOCAL, file, nullptr, &src, &src_size) != D3D_OK) {
    debug("FAILED to compile HLSL shader '%s', func '%s'", file, entry);
    if (errors_on_screen) {
      TempString<512> t;
      t.format("can't read '%s': %s", file, inc.why);
      append_error_message(t, -1);
    }
    return nullptr;
  }
  ID3DBlob* code = nullptr;
  ID3DBlob* errors = nullptr;
  HRESULT h =
      p_compile(src, src_size, file, macros, &inc, entry, profile,
                D3DCOMPILE_DEBUG | D3DCOMPILE_OPTIMIZATION_LEVEL3 | D3DCOMPILE_WARNINGS_ARE_ERRORS, 0, &code, &errors);
  inc.Close(src);
  bool failed = FAILED(h) || !code;
  if (errors) {
    const char* text = (const char*)errors->GetBufferPointer();
    int len = int(errors->GetBufferSize());
    while (len > 0 && text[len - 1] == 0) len--;
    debug("HLSL '%s', func '%s':", file, entry);
    debug("%.*s", len, text);
    // Warnings of a good build only go to the log: the screen is for what failed.
    if (errors_on_screen && failed) {
      TempString<512> head;
      head.format("HLSL '%s', func '%s':", file, entry);
      append_error_message(head, -1);
      append_error_message(text, len);
    }
    errors->Release();
  }
  if (code && p_disassemble) {
    ID3DBlob* listing = nullptr;
    if (p_disassemble(code->GetBufferPointer(), code->GetBufferSize(), 0, nullptr, &listing) == D3D_OK && listing) {
      const char* t = (const char*)listing->GetBufferPointer();
      const char* end = t + listing->GetBufferSize();
      while (t < end && *t) {
        const char* eol = (const char*)memchr(t, '\n', size_t(end - t));
        if (!eol) eol = end;
        if (eol - t > 2 && t[0] == '/' && t[1] == '/') {
          const char* hit = (const char*)memmem(t, size_t(eol - t), " instruction slot", 17);
          if (hit) debug("%s (%s): %.*s", file, entry, int(eol - t - 2), t + 2);
        }
        t = eol + 1;
      }
      listing->Release();
    }
  }
  if (failed) {
    if (code) code->Release();
    debug("FAILED to compile HLSL shader '%s', func '%s'", file, entry);
    return nullptr;
  }
  return code;
}
}  // namespace

void load_shader_compiler() {
  if (compiler_module) return;
  // Looked up in the program folder, where the build puts it.
  compiler_module = load_library(make_full_path("d3dcompiler_43.dll"));
  if (compiler_module) {
    p_compile = (PfnD3DCompile)get_library_proc(compiler_module, "D3DCompile");
    p_disassemble = (PfnD3DDisassemble)get_library_proc(compiler_module, "D3DDisassemble");
  }
  if (compiler_module && p_compile && p_disassemble) {
    debug("shader compiler available");
    return;
  }
  if (compiler_module) free_library(compiler_module);
  compiler_module = nullptr;
  p_compile = nullptr;
  p_disassemble = nullptr;
  debug("no shader compiler");
}

bool shader_compiler_available() { return compiler_module != nullptr; }

// ---- cache files

PathString make_shader_cache_name(const char* name, const char* defs) {
  // Every string of the list, names and values alike, adds "@" and itself with each character
  // that is not an ASCII letter or digit replaced by "_".
  PathString suffix;
  int n = defs_length(defs);
  for (const char* p = defs; p && p < defs + n; p += strlen(p) + 1) {
    char part[262];
    int k = 0;
    part[k++] = '@';
    for (const char* c = p; *c && k < 260; c++)
      part[k++] = ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9')) ? *c : '_';
    part[k] = 0;
    suffix.append(part);
  }
  return make_full_path(make_path("cache/%s%s.cache", name, (const char*)suffix));
}

bool parse_shader_cache(const uint8_t* data, size_t size, ShaderCacheView& out) {
  out.deps.clear();
  if (size < 16) return false;
  uint32_t h[4];
  memcpy(h, data, 16);
  if (h[0] != SHADER_CACHE_MAGIC) return false;
  uint64_t need = 16ull + h[1] + h[2] + h[3];
  if (need > size) return false;
  const char* p = (const char*)data + 16;
  const char* end = p + h[1];
  while (p < end && *p) {
    const char* z = (const char*)memchr(p, 0, size_t(end - p));
    if (!z) return false;  // a path running past the block
    if (z - p >= 260) return false;
    out.deps.push_back(TempString<260>(p, int(z - p)));
    p = z + 1;
  }
  out.vs_code = data + 16 + h[1];
  out.vs_size = h[2];
  out.ps_code = out.vs_code + h[2];
  out.ps_size = h[3];
  return true;
}

bool load_shader_cache(Shader* s) {
  PathString path = make_shader_cache_name(s->name, s->defs);
  s->deps.clear();
  uint8_t* data = nullptr;
  size_t size = 0;
  try {
    FileInputStream in(path, "rb");
    if (!in.isOpen()) return false;
    in.seekFromEnd(0);
    int n = in.tell();
    in.seekFromStart(0);
    if (n < 16 || n > (64 << 20)) return false;
    data = (uint8_t*)dlmalloc(size_t(n));
    in.read(data, n);
    size = size_t(n);
  } catch (InputStream::Exception&) {
    dlfree(data);
    return false;
  }
  ShaderCacheView view;
  if (!parse_shader_cache(data, size, view)) {
    dlfree(data);
    return false;
  }
  for (auto& d : view.deps) {
    if (!record_dependency(s, d)) {
      s->deps.clear();
      dlfree(data);
      return false;
    }
  }
  if (compiler_module) {
    uint64_t own = get_file_time(path);
    for (const ShaderDependency& d : s->deps) {
      if (d.file_time > own) {
        dlfree(data);
        return false;
      }
    }
  }
  // Code blocks are copied to aligned memory and must be blobs of their stage, whole. An empty block
  // is no blob (the device would read a header past it).
  bool ok = false;
  IDirect3DVertexShader9* vs = nullptr;
  IDirect3DPixelShader9* ps = nullptr;
  if (view.vs_size > 0 && view.ps_size > 0 && d3d9_blob_size(view.vs_code, view.vs_size, 0) == view.vs_size &&
      d3d9_blob_size(view.ps_code, view.ps_size, 1) == view.ps_size) {
    DWORD* a = (DWORD*)dlmalloc(view.vs_size + 4);
    DWORD* b = (DWORD*)dlmalloc(view.ps_size + 4);
    memcpy(a, view.vs_code, view.vs_size);
    memcpy(b, view.ps_code, view.ps_size);
    if (d3d->CreateVertexShader(a, &vs) == D3D_OK && d3d->CreatePixelShader(b, &ps) == D3D_OK &&
        link_shader_pair(s, vs, ps))
      ok = true;
    dlfree(a);
    dlfree(b);
  }
  dlfree(data);
  if (!ok) {
    if (vs) vs->Release();
    if (ps) ps->Release();
    return false;
  }
  s->vs = vs;
  s->ps = ps;
  debug("loaded shader '%s' from cache", (const char*)s->name);
  return true;
}

// ---- building and binding

bool compile_shader(Shader* s) {
  ASSERT(s);
  s->deps.clear();
  ID3DBlob* vcode = compile_shader_func(shader_vs_profile, s->name, "vsh", s);
  if (!vcode) return false;
  IDirect3DVertexShader9* vs = nullptr;
  if (d3d->CreateVertexShader((const DWORD*)vcode->GetBufferPointer(), &vs) != D3D_OK) {
    debug("can't create vertex shader from '%s'", (const char*)s->name);
    vcode->Release();
    return false;
  }
  ID3DBlob* pcode = compile_shader_func(shader_ps_profile, s->name, "psh", s);
  if (!pcode) {
    vs->Release();
    vcode->Release();
    return false;
  }
  IDirect3DPixelShader9* ps = nullptr;
  if (d3d->CreatePixelShader((const DWORD*)pcode->GetBufferPointer(), &ps) != D3D_OK) {
    debug("can't create pixel shader from '%s'", (const char*)s->name);
    vs->Release();
    vcode->Release();
    pcode->Release();
    return false;
  }
  if (!link_shader_pair(s, vs, ps)) {
    vs->Release();
    ps->Release();
    vcode->Release();
    pcode->Release();
    return false;
  }
  s->vs = vs;
  s->ps = ps;
  PathString path = make_shader_cache_name(s->name, s->defs);
  try {
    PathString folder = make_full_path("cache");
    plat_make_folder(folder);
    FileOutputStream out;
    if (!out.open(path, "wb")) throw OutputStream::Exception("can't open", 0);
    uint32_t dsize = 1;
    for (const ShaderDependency& d : s->deps) dsize += uint32_t(strlen(d.path)) + 1;
    uint32_t head[4] = {SHADER_CACHE_MAGIC, dsize, uint32_t(vcode->GetBufferSize()), uint32_t(pcode->GetBufferSize())};
    out.write(head, 16);
    for (const ShaderDependency& d : s->deps) out.write((const char*)d.path, int(strlen(d.path)) + 1);
    out.write("", 1);
    out.write(vcode->GetBufferPointer(), int(vcode->GetBufferSize()));
    out.write(pcode->GetBufferPointer(), int(pcode->GetBufferSize()));
    if (!out.close()) throw OutputStream::Exception("can't write", 0);
  } catch (OutputStream::Exception&) {
    remove(path);  // a part-written cache would only be refused later
  }
  vcode->Release();
  pcode->Release();
  return true;
}

Shader* create_shader(const char* name, const char* defs) {
  for (Shader& s : shader_table) {
    if (s.vs && strcmp(s.name, name) == 0 && same_defs(s.defs, defs)) {
      s.refcount++;
      return &s;
    }
  }
  Shader* s = nullptr;
  for (Shader& r : shader_table)
    if (!r.vs && r.refcount == 0) {
      s = &r;
      break;
    }
  if (!s) fatal("reached maximum shader count!");
  s->name = name;
  memset(s->defs, 0, sizeof(s->defs));
  int n = defs_length(defs);
  if (n + 1 > SHADER_DEFS_SIZE) fatal("shader definitions of '%s' are too long", name);
  if (n) memcpy(s->defs, defs, size_t(n));
  if (load_shader_cache(s) || (compiler_module && compile_shader(s))) {
    s->refcount = 1;
    return s;
  }
  empty_record(s);
  fatal("can't create shader from %s'%s'", compiler_module ? "" : "cache for ", name);
}

void destroy_shader(Shader* s) {
  if (!s) return;
  ASSERT(s->refcount>0);
  if (--s->refcount > 0) return;
  empty_record(s);
}

void set_shader(Shader* s) {
  d3d->SetVertexShader(s ? s->vs : nullptr);
  d3d->SetPixelShader(s ? s->ps : nullptr);
}

void set_vs_consts(int first, const float* data, int count) {
  d3d->SetVertexShaderConstantF(UINT(first), data, UINT(count));
}
void set_ps_consts(int first, const float* data, int count) {
  d3d->SetPixelShaderConstantF(UINT(first), data, UINT(count));
}

// ---- rebuilds and shutdown

bool shader_is_stale(Shader* s) {
  if (!compiler_module) return false;
  if (s->deps.empty()) return true;
  for (const ShaderDependency& d : s->deps)
    if (get_file_time(make_full_path(d.path)) != d.file_time) return true;
  return false;
}

// After a failed rebuild the record watches what it depended on before as well as what the failed
// build read, each with its time now (0 for a file that is gone): a deleted or unreadable source is
// reported once and rebuilt when it comes back, not every second.
static void keep_watching(Shader* s, const DynArray<ShaderDependency>& old_deps) {
  for (const ShaderDependency& o : old_deps) {
    bool listed = false;
    for (const ShaderDependency& d : s->deps) listed = listed || strcmp(d.path, o.path) == 0;
    if (listed) continue;
    ShaderDependency& d = s->deps.push_back(o);
    d.file_time = get_file_time(make_full_path(o.path));
  }
}

void reload_shaders(bool force) {
  if (!compiler_module) return;
  bool first = true;
  for (Shader& s : shader_table) {
    if (!s.vs) continue;
    if (!force && !shader_is_stale(&s)) continue;
    if (first) {
      errors_on_screen = true;
      set_error_message(nullptr);
      first = false;
    }
    IDirect3DVertexShader9* old_vs = s.vs;
    IDirect3DPixelShader9* old_ps = s.ps;
    s.vs = nullptr;
    s.ps = nullptr;
    DynArray<ShaderDependency> old_deps;
    for (const ShaderDependency& d : s.deps) old_deps.push_back(d);
    if (compile_shader(&s)) {
      debug("reloaded shader '%s'", (const char*)s.name);
      old_vs->Release();
      if (old_ps) old_ps->Release();
    } else {
      TempString<300> t;
      t.format("FAILED to reload shader '%s'", (const char*)s.name);
      append_error_message(t, -1);
      if (s.vs) s.vs->Release();
      if (s.ps) s.ps->Release();
      s.vs = old_vs;
      s.ps = old_ps;
      keep_watching(&s, old_deps);
    }
    old_deps.free();
  }
  errors_on_screen = false;
}

void close_shaders() {
  for (Shader& s : shader_table) empty_record(&s);
  bool empty = count_shaders_in_use() == 0;
  ASSERT(empty);
  if (compiler_module) free_library(compiler_module);
  compiler_module = nullptr;
  p_compile = nullptr;
  p_disassemble = nullptr;
}

int count_shaders_in_use() {
  int n = 0;
  for (const Shader& s : shader_table) n += s.vs ? 1 : 0;
  return n;
}
