// The compiled-shader cache reader on arbitrary bytes: an accepted file's dependency paths and code
// blocks all lie inside it, and the code blob check never reads past a block.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include "engine/d3d_shaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ShaderCacheView v;
  if (!parse_shader_cache(data, size, v)) return 0;
  for (const auto& d : v.deps)
    if (strlen(d) >= 260) __builtin_trap();
  if (v.vs_code < data || v.ps_code + v.ps_size > data + size || v.vs_code + v.vs_size > v.ps_code) __builtin_trap();
  size_t a = d3d9_blob_size(v.vs_code, v.vs_size, 0), b = d3d9_blob_size(v.ps_code, v.ps_size, 1);
  if (a > v.vs_size || b > v.ps_size) __builtin_trap();
  return 0;
}
