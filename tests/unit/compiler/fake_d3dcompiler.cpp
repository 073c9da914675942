// A stand-in for our shader compiler library in the unit tests, loaded by the game's name for it:
// it answers from markers in the source instead of compiling. "#warn" gives code and a warning,
// "#fail" an error and no code; anything else gives code and no text. The code is a valid blob of
// the asked stage, which the recording device accepts.
#include <string.h>
#include <string>
#include <vector>
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
}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT D3DCompile(const void* src, size_t src_size, const char* name,
                                                                     const D3D_SHADER_MACRO*, ID3DInclude*, const char*,
                                                                     const char* target, UINT, UINT, ID3DBlob** code,
                                                                     ID3DBlob** errors) {
  *code = nullptr;
  if (errors) *errors = nullptr;
  std::string source((const char*)src, src_size);
  if (source.find("#fail") != std::string::npos) {
    if (errors) *errors = text_blob(std::string(name) + "(2,1): error X3000: syntax error: unexpected token");
    return E_FAIL;
  }
  if (source.find("#warn") != std::string::npos && errors)
    *errors = text_blob(std::string(name) + "(3,5): warning X3206: implicit truncation of vector type");
  const char* glsl = "void main() {}\n";
  D3d9GlslBlobHeader h = {D3D9_GLSL_BLOB_MAGIC, strncmp(target, "vs_", 3) == 0 ? 0u : 1u, uint32_t(strlen(glsl)), 1};
  Blob* b = new Blob();
  b->bytes.resize(sizeof(h) + strlen(glsl) + 1);
  memcpy(b->bytes.data(), &h, sizeof(h));
  memcpy(b->bytes.data() + sizeof(h), glsl, strlen(glsl) + 1);
  *code = b;
  return D3D_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT D3DDisassemble(const void*, size_t, UINT, const char*,
                                                                         ID3DBlob** listing) {
  *listing = text_blob("// approximately 1 instruction slots used\n");
  return D3D_OK;
}
