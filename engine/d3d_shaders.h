// Shaders: one HLSL source compiled twice ("vsh" and "psh") under a list of definitions, kept in a
// fixed table of 256 records shared by name and definitions, with compiled code cached in
// "cache/<name><suffix>.cache" files. The compiler library is loaded by name and optional: without
// it shaders come from the cache only; with it stale caches are rebuilt, and changed sources are
// rebuilt once a second while the game runs.
#pragma once
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"
#include "platform/d3d9/d3d9.h"

const int MAX_SHADERS = 256;
const int SHADER_DEFS_SIZE = 512;
const uint32_t SHADER_CACHE_MAGIC = 0x20100715;

struct ShaderDependency {
  enum { MAX_NAME = 260 };  // the name as the source gives it, with its terminator
  TempString<MAX_NAME> path;
  uint64_t file_time;
};

struct Shader {
  IDirect3DVertexShader9* vs;  // null: the record is free
  IDirect3DPixelShader9* ps;
  TempString<260> name;
  char defs[SHADER_DEFS_SIZE];  // zero-terminated strings, name and value in turn, ended by an empty one
  DynArray<ShaderDependency> deps;
  int refcount;
};

extern Shader shader_table[MAX_SHADERS];
extern char shader_vs_profile[32];
extern char shader_ps_profile[32];

void load_shader_compiler();
bool shader_compiler_available();
Shader* create_shader(const char* name, const char* defs);
void destroy_shader(Shader* s);
void set_shader(Shader* s);
void set_vs_consts(int first, const float* data, int count);
void set_ps_consts(int first, const float* data, int count);
void reload_shaders(bool force);
void close_shaders();
bool shader_is_stale(Shader* s);
int count_shaders_in_use();

// "cache/<name><suffix>.cache" made absolute against the program folder.
PathString make_shader_cache_name(const char* name, const char* defs);
bool load_shader_cache(Shader* s);
bool compile_shader(Shader* s);
// Parses cache file bytes: the dependency paths and the two code blocks; false when malformed.
struct ShaderCacheView {
  DynArray<TempString<260>> deps;
  const uint8_t* vs_code;
  uint32_t vs_size;
  const uint8_t* ps_code;
  uint32_t ps_size;
};
bool parse_shader_cache(const uint8_t* data, size_t size, ShaderCacheView& out);
