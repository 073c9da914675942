// Vertex data: the fixed tables of 1000 vertex and 1000 index buffers (a handle is the address of
// its record), their locks and bindings, the reset hooks of the dynamic ones, instancing, and the
// cache of 64 vertex declarations built from our compact element lists.
#pragma once
#include <stdint.h>
#include "platform/d3d9/d3d9.h"

const int MAX_BUFFERS = 1000;
const int MAX_VDECL_LEN = 32;
const int MAX_VDECLS = 64;
enum { VB_STATIC = 1 };

struct VertexBuffer {
  IDirect3DVertexBuffer9* vb;
  int size;
  int flags;
  uint8_t in_use;
};
struct IndexBuffer {
  IDirect3DIndexBuffer9* ib;
  int size;  // bytes: twice the index count
  int flags;
  uint8_t in_use;
};

// One item of a compact vertex element list (6 bytes); a stream of 255 ends the list.
#pragma pack(push, 1)
struct VertexElement {
  uint16_t offset;
  uint8_t stream;
  uint8_t type;   // 1 FLOAT1, 2 FLOAT2, 3 FLOAT3, 4 FLOAT4, 5 D3DCOLOR, 6 SHORT2, 7 SHORT4, else UNUSED
  uint8_t usage;  // 0 POSITION, 1 NORMAL, 2 COLOR, 3 TEXCOORD, else TANGENT
  uint8_t usage_index;
};
#pragma pack(pop)
static_assert(sizeof(VertexElement) == 6, "vertex element items are 6 bytes");
enum { VE_FLOAT1 = 1, VE_FLOAT2, VE_FLOAT3, VE_FLOAT4, VE_D3DCOLOR, VE_SHORT2, VE_SHORT4 };
enum { VU_POSITION = 0, VU_NORMAL, VU_COLOR, VU_TEXCOORD, VU_TANGENT };
#define VE_END \
  { 0, 255, 0, 0, 0 }

VertexBuffer* create_vb(int size, int flags);
IndexBuffer* create_ib(int count, int flags);
void destroy_vb(VertexBuffer* b);
void destroy_ib(IndexBuffer* b);
void* lock_vb(VertexBuffer* b, int offset, int size);
void* lock_ib(IndexBuffer* b, int offset, int size);
void unlock_vb(VertexBuffer* b);
void unlock_ib(IndexBuffer* b);
void set_stream_source(int stream, VertexBuffer* b, int offset, int stride);
void set_indices(IndexBuffer* b);
IDirect3DVertexBuffer9* create_raw_vb(int size, int flags);
IDirect3DIndexBuffer9* create_raw_ib(int byte_size, int flags);
int count_buffers_in_use();

// Reset and shutdown hooks of the device.
void release_dynamic_buffers();
void recreate_dynamic_buffers();
void release_all_buffers();

IDirect3DVertexDeclaration9* get_vertex_decl(const VertexElement* list);
void set_vertex_decl(IDirect3DVertexDeclaration9* decl);
void release_vertex_decls();
void set_instancing(int count);
