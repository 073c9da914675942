// The memory side of the layer's resources, shared by both back ends: texture levels, surfaces and
// buffers keep their bytes in system memory for locks; the GL back end uploads on unlock. Also the
// format facts (bytes per texel, block sizes) and the count of live default-pool objects, which a
// reset requires to be zero, as Direct3D does.
#pragma once
#include <string.h>
#include <vector>
#include "platform/d3d9/d3d9.h"

extern int d3d9_live_default_objects;

inline bool d3d9_is_dxt(D3DFORMAT f) { return f == D3DFMT_DXT1 || f == D3DFMT_DXT3 || f == D3DFMT_DXT5; }
// Bytes per texel of the uncompressed formats; 0 for unknown or block-compressed ones.
int d3d9_texel_bytes(D3DFORMAT f);
// Row pitch in bytes (a row of 4x4 blocks for DXT) and the number of such rows of a level.
UINT d3d9_row_bytes(D3DFORMAT f, UINT width);
UINT d3d9_row_count(D3DFORMAT f, UINT height);
UINT d3d9_full_mip_count(UINT width, UINT height);
inline UINT d3d9_mip_size(UINT s, UINT level) {
  s >>= level;
  return s ? s : 1;
}

struct D3d9Level {
  UINT width = 0, height = 0;
  int pitch = 0;
  std::vector<uint8_t> bytes;  // allocated on first lock
  bool locked = false;
  bool lock_readonly = false;
  uint8_t* bits() {
    if (bytes.empty()) bytes.resize(size_t(pitch) * d3d9_row_count_cached);
    return bytes.data();
  }
  UINT d3d9_row_count_cached = 0;
};

class D3d9MemTexture : public IDirect3DTexture9 {
 public:
  UINT width, height, levels;
  DWORD usage;
  D3DFORMAT format;
  D3DPOOL pool;
  std::vector<D3d9Level> level;

  D3d9MemTexture(UINT w, UINT h, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p);
  ~D3d9MemTexture() override;
  DWORD GetLevelCount() override { return levels; }
  HRESULT GetLevelDesc(UINT l, D3DSURFACE_DESC* desc) override;
  HRESULT GetSurfaceLevel(UINT l, IDirect3DSurface9** surface) override;
  HRESULT LockRect(UINT l, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT l) override;
  // Called when a level was unlocked after writing: the GL back end uploads it.
  virtual void levelWritten(UINT) {}
};

enum D3d9SurfaceKind { D3D9_SURF_LEVEL, D3D9_SURF_BACKBUFFER, D3D9_SURF_DEPTH, D3D9_SURF_PLAIN };

class D3d9MemSurface : public IDirect3DSurface9 {
 public:
  D3d9SurfaceKind kind;
  D3d9MemTexture* texture = nullptr;  // a level view holds a reference on its texture
  UINT level_index = 0;
  D3DSURFACE_DESC desc;
  D3d9Level own;  // plain surfaces: the bytes themselves

  D3d9MemSurface(D3d9SurfaceKind k, UINT w, UINT h, D3DFORMAT f, D3DPOOL p, DWORD usage);
  D3d9MemSurface(D3d9MemTexture* t, UINT l);
  ~D3d9MemSurface() override;
  HRESULT GetDesc(D3DSURFACE_DESC* d) override {
    *d = desc;
    return D3D_OK;
  }
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;
  D3d9Level* data() { return texture ? &texture->level[level_index] : &own; }
};

template <class Base, class Desc>
class D3d9MemBuffer : public Base {
 public:
  std::vector<uint8_t> bytes;
  DWORD usage;
  D3DPOOL pool;
  D3DFORMAT format;
  bool locked = false;
  UINT lock_offset = 0, lock_size = 0;
  D3d9MemBuffer(UINT size, DWORD u, D3DPOOL p, D3DFORMAT f) : bytes(size), usage(u), pool(p), format(f) {
    if (pool == D3DPOOL_DEFAULT) d3d9_live_default_objects++;
  }
  ~D3d9MemBuffer() override {
    if (pool == D3DPOOL_DEFAULT) d3d9_live_default_objects--;
  }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD) override {
    if (locked || !data || offset > bytes.size()) return D3DERR_INVALIDCALL;
    if (size == 0) size = UINT(bytes.size()) - offset;
    if (size > bytes.size() - offset) return D3DERR_INVALIDCALL;
    locked = true;
    lock_offset = offset;
    lock_size = size;
    *data = bytes.data() + offset;
    return D3D_OK;
  }
  HRESULT Unlock() override {
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    written(lock_offset, lock_size);
    return D3D_OK;
  }
  HRESULT GetDesc(Desc* d) override {
    memset(d, 0, sizeof(*d));
    d->Format = format;
    d->Usage = usage;
    d->Pool = pool;
    d->Size = UINT(bytes.size());
    return D3D_OK;
  }
  virtual void written(UINT, UINT) {}
};
typedef D3d9MemBuffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC> D3d9MemVertexBuffer;
typedef D3d9MemBuffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC> D3d9MemIndexBuffer;

class D3d9MemDecl : public IDirect3DVertexDeclaration9 {
 public:
  std::vector<D3DVERTEXELEMENT9> elements;  // end marker included
  explicit D3d9MemDecl(const D3DVERTEXELEMENT9* e);
  HRESULT GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count) override;
};

// Vertex declaration of a fixed-function vertex format (only position, colour and one texture set).
std::vector<D3DVERTEXELEMENT9> d3d9_fvf_elements(DWORD fvf, UINT* stride);
// Vertices drawn for a primitive count.
UINT d3d9_vertex_count(D3DPRIMITIVETYPE type, UINT prims);
// Decodes one level of DXT1/3/5 blocks into A8R8G8B8 texels (B, G, R, A bytes), width x height.
void d3d9_decode_dxt(D3DFORMAT f, const uint8_t* blocks, int block_pitch, UINT width, UINT height, uint8_t* out,
                     int out_pitch);
