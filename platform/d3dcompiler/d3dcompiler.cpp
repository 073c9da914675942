// Our shader compiler library, loaded by the game by name ("d3dcompiler_43.dll" in the program
// folder): HLSL of the vs_2_0 / ps_2_0 kind through glslang's HLSL front end (DX9-compatible mode)
// to SPIR-V, then SPIRV-Cross to GLSL 330, wrapped in the code blob our graphics layer accepts.
//
// The translation follows the layer's conventions:
// - all register(cN) constants form one block per stage, flattened into `uniform vec4 vs_c[]` or
//   `ps_c[]` indexed by register (the block's offsets are N * 16);
// - samplers are named ps_s<N> after register(sN);
// - vertex inputs sit at fixed locations by semantic and are named a_<SEMANTIC>;
// - varyings are named v_<SEMANTIC> on both sides so the stages match by semantic;
// - the vertex output POSITION becomes gl_Position, the pixel output DEPTH gl_FragDepth, and pixel
//   outputs COLORn are o_COLORn at location n.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <mutex>
#include <string>
#include <vector>
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_cross_c.h>
#include "platform/d3d9/d3dcompiler.h"

namespace {
class Blob : public ID3DBlob {
 public:
  std::vector<uint8_t> bytes;
  void* GetBufferPointer() override { return bytes.data(); }
  size_t GetBufferSize() override { return bytes.size(); }
};

ID3DBlob* text_blob(const std::string& s) {
  Blob* b = new Blob();
  b->bytes.assign(s.begin(), s.end());
  b->bytes.push_back(0);
  return b;
}

// glslang's include requests go to the caller's include handler.
class IncludeBridge : public glslang::TShader::Includer {
 public:
  ID3DInclude* handler;
  explicit IncludeBridge(ID3DInclude* h) : handler(h) {}
  IncludeResult* open(const char* name, D3D_INCLUDE_TYPE type) {
    if (!handler) return nullptr;
    const void* data = nullptr;
    UINT size = 0;
    if (FAILED(handler->Open(type, name, nullptr, &data, &size)) || !data) return nullptr;
    return new IncludeResult(name, (const char*)data, size, (void*)data);
  }
  IncludeResult* includeLocal(const char* name, const char*, size_t) override { return open(name, D3D_INCLUDE_LOCAL); }
  IncludeResult* includeSystem(const char* name, const char*, size_t) override { return open(name, D3D_INCLUDE_SYSTEM); }
  void releaseInclude(IncludeResult* r) override {
    if (!r) return;
    if (handler && r->userData) handler->Close(r->userData);
    delete r;
  }
};

// "TEXCOORD" -> ("TEXCOORD", 0), "COLOR1" -> ("COLOR", 1); upper case.
void split_semantic(const char* sem, std::string* base, int* index) {
  std::string s;
  for (const char* c = sem; *c; c++) s += char(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
  size_t k = s.size();
  while (k > 0 && s[k - 1] >= '0' && s[k - 1] <= '9') k--;
  *base = s.substr(0, k);
  *index = k < s.size() ? atoi(s.c_str() + k) : 0;
}

int input_location(const std::string& base, int index) {
  if (base == "POSITION" || base == "POSITIONT") return 0;
  if (base == "BLENDWEIGHT") return 1;
  if (base == "NORMAL") return 2;
  if (base == "COLOR") return index < 2 ? 3 + index : -1;
  if (base == "BLENDINDICES") return 5;
  if (base == "TANGENT") return 6;
  if (base == "BINORMAL") return 7;
  if (base == "TEXCOORD") return index < 8 ? 8 + index : -1;
  return -1;
}

std::once_flag glslang_started;
bool glslang_running = false;

// The front end's process-wide tables go when the game unloads the library.
__attribute__((destructor)) void finish_glslang() {
  if (glslang_running) glslang::FinalizeProcess();
}

bool to_glsl(const std::vector<uint32_t>& spirv, bool vertex, std::string* out, std::string* err) {
  spvc_context ctx = nullptr;
  if (spvc_context_create(&ctx) != SPVC_SUCCESS) return false;
  spvc_parsed_ir ir = nullptr;
  spvc_compiler c = nullptr;
  bool ok = false;
  do {
    if (spvc_context_parse_spirv(ctx, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS) break;
    if (spvc_context_create_compiler(ctx, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &c) != SPVC_SUCCESS) break;
    spvc_compiler_options opts = nullptr;
    spvc_compiler_create_compiler_options(c, &opts);
    spvc_compiler_options_set_uint(opts, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION, SPVC_FALSE);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_VULKAN_SEMANTICS, SPVC_FALSE);
    spvc_compiler_install_compiler_options(c, opts);

    spvc_resources res = nullptr;
    spvc_compiler_create_shader_resources(c, &res);
    const spvc_reflected_resource* list = nullptr;
    size_t n = 0;
    const char* stage_prefix = vertex ? "vs" : "ps";

    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &n);
    for (size_t i = 0; i < n; i++) {
      // Named on the block type: a name on the variable is ignored when flattening.
      std::string name = std::string(stage_prefix) + "_c";
      spvc_compiler_set_name(c, list[i].base_type_id, name.c_str());
      if (spvc_compiler_flatten_buffer_block(c, list[i].id) != SPVC_SUCCESS) {
        *err = "constants must all be float4-based and carry register(cN): ";
        *err += spvc_context_get_last_error_string(ctx);
        goto done;
      }
    }
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &n);
    for (size_t i = 0; i < n; i++) {
      unsigned binding = spvc_compiler_get_decoration(c, list[i].id, SpvDecorationBinding);
      char name[32];
      snprintf(name, sizeof(name), "ps_s%u", binding);
      spvc_compiler_set_name(c, list[i].id, name);
      spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationBinding);
      spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationDescriptorSet);
    }
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_STAGE_INPUT, &list, &n);
    for (size_t i = 0; i < n; i++) {
      const char* sem = spvc_compiler_get_decoration_string(c, list[i].id, SpvDecorationHlslSemanticGOOGLE);
      std::string base;
      int index = 0;
      split_semantic(sem ? sem : "", &base, &index);
      char name[64];
      if (vertex) {
        int loc = input_location(base, index);
        if (loc < 0) {
          *err = std::string("unsupported vertex input semantic '") + (sem ? sem : "") + "'";
          goto done;
        }
        snprintf(name, sizeof(name), "a_%s%d", base.c_str(), index);
        spvc_compiler_set_decoration(c, list[i].id, SpvDecorationLocation, unsigned(loc));
      } else {
        if (base == "VPOS" || base == "VFACE") {
          *err = "VPOS and VFACE are not supported; use SV_Position / SV_IsFrontFace";
          goto done;
        }
        snprintf(name, sizeof(name), "v_%s%d", base.c_str(), index);
        spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationLocation);
      }
      spvc_compiler_set_name(c, list[i].id, name);
    }
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_STAGE_OUTPUT, &list, &n);
    for (size_t i = 0; i < n; i++) {
      const char* sem = spvc_compiler_get_decoration_string(c, list[i].id, SpvDecorationHlslSemanticGOOGLE);
      std::string base;
      int index = 0;
      split_semantic(sem ? sem : "", &base, &index);
      char name[64];
      if (vertex) {
        if (base == "POSITION" || base == "SV_POSITION") {
          spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationLocation);
          spvc_compiler_set_decoration(c, list[i].id, SpvDecorationBuiltIn, SpvBuiltInPosition);
          continue;
        }
        snprintf(name, sizeof(name), "v_%s%d", base.c_str(), index);
        spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationLocation);
      } else {
        if (base == "DEPTH" || base == "SV_DEPTH") {
          spvc_compiler_unset_decoration(c, list[i].id, SpvDecorationLocation);
          spvc_compiler_set_decoration(c, list[i].id, SpvDecorationBuiltIn, SpvBuiltInFragDepth);
          continue;
        }
        if (base != "COLOR" && base != "SV_TARGET") {
          *err = std::string("unsupported pixel output semantic '") + (sem ? sem : "") + "'";
          goto done;
        }
        snprintf(name, sizeof(name), "o_COLOR%d", index);
        spvc_compiler_set_decoration(c, list[i].id, SpvDecorationLocation, unsigned(index));
      }
      spvc_compiler_set_name(c, list[i].id, name);
    }
    const char* text = nullptr;
    if (spvc_compiler_compile(c, &text) != SPVC_SUCCESS) {
      *err = spvc_context_get_last_error_string(ctx);
      break;
    }
    *out = text;
    ok = true;
  } while (false);
done:
  if (!ok && err->empty()) *err = spvc_context_get_last_error_string(ctx);
  spvc_context_destroy(ctx);
  return ok;
}
}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT D3DCompile(
    const void* src, size_t src_size, const char* source_name, const D3D_SHADER_MACRO* defines, ID3DInclude* include,
    const char* entry, const char* target, UINT, UINT, ID3DBlob** code, ID3DBlob** errors) {
  if (code) *code = nullptr;
  if (errors) *errors = nullptr;
  if (!src || !entry || !target || !code) return D3DERR_INVALIDCALL;
  bool vertex;
  if (strncmp(target, "vs_", 3) == 0) vertex = true;
  else if (strncmp(target, "ps_", 3) == 0) vertex = false;
  else {
    if (errors) *errors = text_blob(std::string("unsupported target '") + target + "'");
    return E_FAIL;
  }
  std::call_once(glslang_started, [] { glslang_running = glslang::InitializeProcess(); });

  std::string preamble;
  for (const D3D_SHADER_MACRO* m = defines; m && m->Name; m++)
    preamble += std::string("#define ") + m->Name + " " + (m->Definition ? m->Definition : "") + "\n";
  std::string source((const char*)src, src_size);
  const char* texts[1] = {source.c_str()};
  int lengths[1] = {int(source.size())};
  const char* names[1] = {source_name ? source_name : "shader"};

  EShLanguage stage = vertex ? EShLangVertex : EShLangFragment;
  glslang::TShader sh(stage);
  sh.setStringsWithLengthsAndNames(texts, lengths, names, 1);
  sh.setPreamble(preamble.c_str());
  sh.setEntryPoint(entry);
  sh.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientVulkan, 100);
  sh.setEnvClient(glslang::EShClientVulkan, glslang::EShTargetVulkan_1_0);
  sh.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
  sh.setEnvTargetHlslFunctionality1();
  sh.setAutoMapLocations(true);
  sh.setAutoMapBindings(true);
  EShMessages msgs = EShMessages(EShMsgSpvRules | EShMsgVulkanRules | EShMsgReadHlsl | EShMsgHlslDX9Compatible);
  IncludeBridge includer(include);
  std::string log;
  std::vector<uint32_t> spirv;
  bool ok = sh.parse(GetDefaultResources(), 100, false, msgs, includer);
  log += sh.getInfoLog();
  glslang::TProgram prog;
  if (ok) {
    prog.addShader(&sh);
    ok = prog.link(msgs) && prog.mapIO();
    log += prog.getInfoLog();
  }
  if (ok) {
    glslang::SpvOptions o;
    o.validate = true;
    o.disableOptimizer = false;
    spv::SpvBuildLogger logger;
    glslang::GlslangToSpv(*prog.getIntermediate(stage), spirv, &logger, &o);
    log += logger.getAllMessages();
    ok = !spirv.empty();
  }
  std::string glsl, err;
  if (ok && !to_glsl(spirv, vertex, &glsl, &err)) {
    ok = false;
    log += std::string(names[0]) + ": " + err + "\n";
  }
  if (!ok) {
    if (log.empty()) log = "compile failed\n";
    if (errors) *errors = text_blob(log);
    return E_FAIL;
  }
  // Warnings (non-empty log) are reported, not fatal.
  if (!log.empty() && errors) *errors = text_blob(log);
  // Instructions of the SPIR-V module: the listing's "instruction slots" figure.
  uint32_t instructions = 0;
  for (size_t i = 5; i < spirv.size();) {
    uint32_t words = spirv[i] >> 16;
    instructions++;
    i += words ? words : 1;
  }
  D3d9GlslBlobHeader h = {D3D9_GLSL_BLOB_MAGIC, vertex ? 0u : 1u, uint32_t(glsl.size()), instructions};
  Blob* b = new Blob();
  b->bytes.resize(sizeof(h) + glsl.size() + 1);
  memcpy(b->bytes.data(), &h, sizeof(h));
  memcpy(b->bytes.data() + sizeof(h), glsl.c_str(), glsl.size() + 1);
  *code = b;
  return D3D_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT D3DDisassemble(const void* code, size_t size, UINT,
                                                                       const char*, ID3DBlob** listing) {
  if (!listing) return D3DERR_INVALIDCALL;
  *listing = nullptr;
  if (!code || size < sizeof(D3d9GlslBlobHeader)) return D3DERR_INVALIDCALL;
  D3d9GlslBlobHeader h;
  memcpy(&h, code, sizeof(h));
  size_t need = sizeof(h) + size_t(h.text_length) + 1;
  if (h.magic != D3D9_GLSL_BLOB_MAGIC || need > size) return D3DERR_INVALIDCALL;
  std::string text = "// GLSL 330 ";
  text += h.stage == 0 ? "vertex" : "pixel";
  text += " program\n";
  text += std::string((const char*)code + sizeof(h), h.text_length);
  char line[96];
  snprintf(line, sizeof(line), "\n// approximately %u instruction slots used (SPIR-V)\n", h.instruction_count);
  text += line;
  *listing = text_blob(text);
  return D3D_OK;
}
