// The interface of our shader compiler library ("d3dcompiler_43.dll" in the program folder, an ELF
// shared object): HLSL in, our GLSL 330 code blob out (see D3d9GlslBlobHeader). The game loads it by
// name and finds the two entries by name; the types follow the shapes the renderer expects.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "platform/d3d9/d3d9.h"

struct D3D_SHADER_MACRO {
  const char* Name;
  const char* Definition;
};

enum D3D_INCLUDE_TYPE : uint32_t { D3D_INCLUDE_LOCAL = 0, D3D_INCLUDE_SYSTEM = 1 };

// The include handler: Open hands out a file's bytes, Close takes them back.
class ID3DInclude {
 public:
  virtual HRESULT Open(D3D_INCLUDE_TYPE type, const char* file_name, const void* parent_data, const void** data,
                       UINT* bytes) = 0;
  virtual HRESULT Close(const void* data) = 0;

 protected:
  ~ID3DInclude() {}
};

class ID3DBlob : public D3dObject {
 public:
  virtual void* GetBufferPointer() = 0;
  virtual size_t GetBufferSize() = 0;
};

enum : UINT {
  D3DCOMPILE_DEBUG = 0x1,
  D3DCOMPILE_PACK_MATRIX_ROW_MAJOR = 0x8,
  D3DCOMPILE_PACK_MATRIX_COLUMN_MAJOR = 0x10,
  D3DCOMPILE_OPTIMIZATION_LEVEL3 = 0x8000,
  D3DCOMPILE_WARNINGS_ARE_ERRORS = 0x40000,
};

typedef HRESULT (*PfnD3DCompile)(const void* src, size_t src_size, const char* source_name,
                                 const D3D_SHADER_MACRO* defines, ID3DInclude* include, const char* entry,
                                 const char* target, UINT flags1, UINT flags2, ID3DBlob** code, ID3DBlob** errors);
typedef HRESULT (*PfnD3DDisassemble)(const void* code, size_t size, UINT flags, const char* comments,
                                     ID3DBlob** listing);
