// Vertex and index buffer tables, their reset hooks, instancing and the vertex declaration cache.
#include "engine/d3d_vbuf.h"
#include <string.h>
#include "engine/d3d_render.h"
#include "engine/log.h"

namespace {
VertexBuffer vb_table[MAX_BUFFERS];
IndexBuffer ib_table[MAX_BUFFERS];
IDirect3DVertexDeclaration9* decl_cache[MAX_VDECLS];

DWORD buffer_usage(int flags) {
  return (flags & VB_STATIC) ? D3DUSAGE_WRITEONLY : (D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC);
}
D3DPOOL buffer_pool(int flags) { return (flags & VB_STATIC) ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT; }

HRESULT make_vb(int size, int flags, IDirect3DVertexBuffer9** out) {
  return d3d->CreateVertexBuffer(UINT(size), buffer_usage(flags), 0, buffer_pool(flags), out, nullptr);
}
HRESULT make_ib(int bytes, int flags, IDirect3DIndexBuffer9** out) {
  return d3d->CreateIndexBuffer(UINT(bytes), buffer_usage(flags), D3DFMT_INDEX16, buffer_pool(flags), out, nullptr);
}
DWORD lock_flags(int flags) { return DWORD(D3DLOCK_NOSYSLOCK) | ((flags & VB_STATIC) ? 0u : DWORD(D3DLOCK_DISCARD)); }
}  // namespace

VertexBuffer* create_vb(int size, int flags) {
  ASSERT(d3d);
  for (VertexBuffer& b : vb_table) {
    if (b.in_use) continue;
    IDirect3DVertexBuffer9* o = nullptr;
    HRESULT h = make_vb(size, flags, &o);
    if (h != D3D_OK) {
      debug("error creating VB (code 0x%08X)", unsigned(h));
      return nullptr;
    }
    b = VertexBuffer{o, size, flags, 1};
    return &b;
  }
  debug("reached MAX_BUFFERS for VB");
  return nullptr;
}

IndexBuffer* create_ib(int count, int flags) {
  ASSERT(d3d);
  for (IndexBuffer& b : ib_table) {
    if (b.in_use) continue;
    IDirect3DIndexBuffer9* o = nullptr;
    HRESULT h = make_ib(count * 2, flags, &o);
    if (h != D3D_OK) {
      debug("error creating IB (code 0x%08X)", unsigned(h));
      return nullptr;
    }
    b = IndexBuffer{o, count * 2, flags, 1};
    return &b;
  }
  debug("reached MAX_BUFFERS for IB");
  return nullptr;
}

void destroy_vb(VertexBuffer* b) {
  if (!b) return;
  if (b->vb) b->vb->Release();
  memset(b, 0, sizeof(*b));
}
void destroy_ib(IndexBuffer* b) {
  if (!b) return;
  if (b->ib) b->ib->Release();
  memset(b, 0, sizeof(*b));
}

void* lock_vb(VertexBuffer* b, int offset, int size) {
  void* p = nullptr;
  if (!b || !b->vb || b->vb->Lock(UINT(offset), UINT(size), &p, lock_flags(b->flags)) != D3D_OK) return nullptr;
  return p;
}
void* lock_ib(IndexBuffer* b, int offset, int size) {
  void* p = nullptr;
  if (!b || !b->ib || b->ib->Lock(UINT(offset), UINT(size), &p, lock_flags(b->flags)) != D3D_OK) return nullptr;
  return p;
}
void unlock_vb(VertexBuffer* b) {
  if (b && b->vb) b->vb->Unlock();
}
void unlock_ib(IndexBuffer* b) {
  if (b && b->ib) b->ib->Unlock();
}

void set_stream_source(int stream, VertexBuffer* b, int offset, int stride) {
  d3d->SetStreamSource(UINT(stream), b ? b->vb : nullptr, UINT(offset), UINT(stride));
}
void set_indices(IndexBuffer* b) { d3d->SetIndices(b ? b->ib : nullptr); }

IDirect3DVertexBuffer9* create_raw_vb(int size, int flags) {
  IDirect3DVertexBuffer9* o = nullptr;
  HRESULT h = make_vb(size, flags, &o);
  if (h != D3D_OK) {
    debug("error creating VB (code 0x%08X)", unsigned(h));
    return nullptr;
  }
  return o;
}
IDirect3DIndexBuffer9* create_raw_ib(int byte_size, int flags) {
  IDirect3DIndexBuffer9* o = nullptr;
  HRESULT h = make_ib(byte_size, flags, &o);
  if (h != D3D_OK) {
    debug("error creating IB (code 0x%08X)", unsigned(h));
    return nullptr;
  }
  return o;
}

int count_buffers_in_use() {
  int n = 0;
  for (auto& b : vb_table) n += b.in_use;
  for (auto& b : ib_table) n += b.in_use;
  return n;
}

void release_dynamic_buffers() {
  if (d3d) {
    d3d->SetIndices(nullptr);
    for (UINT i = 0; i < 16; i++) d3d->SetStreamSource(i, nullptr, 0, 0);
  }
  for (auto& b : vb_table)
    if (b.in_use && !(b.flags & VB_STATIC) && b.vb) {
      b.vb->Release();
      b.vb = nullptr;
    }
  for (auto& b : ib_table)
    if (b.in_use && !(b.flags & VB_STATIC) && b.ib) {
      b.ib->Release();
      b.ib = nullptr;
    }
}

void recreate_dynamic_buffers() {
  for (auto& b : vb_table)
    if (b.in_use && !(b.flags & VB_STATIC)) {
      HRESULT h = make_vb(b.size, b.flags, &b.vb);
      if (h != D3D_OK) {
        b.vb = nullptr;
        debug("error creating VB (code 0x%08X)", unsigned(h));
      }
    }
  for (auto& b : ib_table)
    if (b.in_use && !(b.flags & VB_STATIC)) {
      HRESULT h = make_ib(b.size, b.flags, &b.ib);
      if (h != D3D_OK) {
        b.ib = nullptr;
        debug("error creating IB (code 0x%08X)", unsigned(h));
      }
    }
}

void release_all_buffers() {
  for (auto& b : vb_table) destroy_vb(&b);
  for (auto& b : ib_table) destroy_ib(&b);
}

IDirect3DVertexDeclaration9* get_vertex_decl(const VertexElement* list) {
  D3DVERTEXELEMENT9 e[MAX_VDECL_LEN + 1];
  int i = 0;
  for (;; i++) {
    ASSERT(i<MAX_VDECL_LEN);
    const VertexElement& v = list[i];
    if (v.stream == 255) break;
    static const uint8_t types[8] = {D3DDECLTYPE_UNUSED, D3DDECLTYPE_FLOAT1,   D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3,
                                     D3DDECLTYPE_FLOAT4, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_SHORT2, D3DDECLTYPE_SHORT4};
    static const uint8_t usages[4] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL, D3DDECLUSAGE_COLOR,
                                      D3DDECLUSAGE_TEXCOORD};
    e[i].Stream = v.stream;
    e[i].Offset = v.offset;
    e[i].Type = v.type >= 1 && v.type <= 7 ? types[v.type] : uint8_t(D3DDECLTYPE_UNUSED);
    e[i].Method = D3DDECLMETHOD_DEFAULT;
    e[i].Usage = v.usage < 4 ? usages[v.usage] : uint8_t(D3DDECLUSAGE_TANGENT);
    e[i].UsageIndex = v.usage_index;
  }
  e[i] = D3DDECL_END();
  int n = i + 1;
  for (IDirect3DVertexDeclaration9* d : decl_cache) {
    if (!d) continue;
    UINT count = 0;
    if (d->GetDeclaration(nullptr, &count) != D3D_OK || int(count) != n) continue;
    D3DVERTEXELEMENT9 have[MAXD3DDECLLENGTH + 1];
    if (count > UINT(MAXD3DDECLLENGTH + 1)) continue;
    d->GetDeclaration(have, &count);
    if (memcmp(have, e, sizeof(D3DVERTEXELEMENT9) * size_t(n)) == 0) return d;
  }
  for (IDirect3DVertexDeclaration9*& slot : decl_cache) {
    if (slot) continue;
    HRESULT h = d3d->CreateVertexDeclaration(e, &slot);
    if (h != D3D_OK) {
      slot = nullptr;
      debug("VSD:");
      for (int k = 0; k < i; k++)
        debug("  %4u %2u %2u %2u %2u", list[k].offset, list[k].stream, list[k].type, list[k].usage,
              list[k].usage_index);
      fatal("failed to create vertex declaration (code 0x%08X)", unsigned(h));
    }
    return slot;
  }
  fatal("reached maximum vertex declaration count");
}

void set_vertex_decl(IDirect3DVertexDeclaration9* decl) { d3d->SetVertexDeclaration(decl); }

void release_vertex_decls() {
  for (auto& d : decl_cache) {
    if (d) d->Release();
    d = nullptr;
  }
}

void set_instancing(int count) {
  HRESULT h;
  if (count < 1) {
    h = d3d->SetStreamSourceFreq(0, 1);
    if (h == D3D_OK) h = d3d->SetStreamSourceFreq(1, 1);
  } else {
    h = d3d->SetStreamSourceFreq(0, D3DSTREAMSOURCE_INDEXEDDATA | UINT(count));
    if (h == D3D_OK) h = d3d->SetStreamSourceFreq(1, D3DSTREAMSOURCE_INSTANCEDATA | 1u);
  }
  if (h != D3D_OK) fatal("failed SetStreamSourceFreq");
}
