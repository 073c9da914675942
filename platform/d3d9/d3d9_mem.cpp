// The memory side of the layer's resources (see d3d9_mem.h), the format facts, the fixed-function
// vertex formats and the DXT block decoder.
#include "platform/d3d9/d3d9_mem.h"

int d3d9_live_default_objects = 0;

size_t d3d9_blob_size(const void* code, size_t available, uint32_t stage) {
  if (!code || available < sizeof(D3d9GlslBlobHeader)) return 0;
  D3d9GlslBlobHeader h;
  memcpy(&h, code, sizeof(h));
  if (h.magic != D3D9_GLSL_BLOB_MAGIC || h.stage != stage) return 0;
  size_t total = sizeof(h) + size_t(h.text_length) + 1;
  if (h.text_length > available || total > available) return 0;
  if (((const char*)code)[sizeof(h) + h.text_length] != 0) return 0;
  return total;
}

int d3d9_texel_bytes(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_G16R16:
    case D3DFMT_G16R16F:
    case D3DFMT_R32F:
    case D3DFMT_D24S8:
      return 4;
    case D3DFMT_L8:
      return 1;
    case D3DFMT_R16F:
      return 2;
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
      return 8;
    case D3DFMT_A32B32G32R32F:
      return 16;
    default:
      return 0;
  }
}

UINT d3d9_row_bytes(D3DFORMAT f, UINT width) {
  if (d3d9_is_dxt(f)) return ((width + 3) / 4 ? (width + 3) / 4 : 1) * (f == D3DFMT_DXT1 ? 8 : 16);
  return width * UINT(d3d9_texel_bytes(f));
}
UINT d3d9_row_count(D3DFORMAT f, UINT height) {
  if (d3d9_is_dxt(f)) return (height + 3) / 4 ? (height + 3) / 4 : 1;
  return height;
}
UINT d3d9_full_mip_count(UINT w, UINT h) {
  UINT n = 1;
  while (w > 1 || h > 1) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    n++;
  }
  return n;
}

D3d9MemTexture::D3d9MemTexture(UINT w, UINT h, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p)
    : width(w), height(h), levels(l ? l : d3d9_full_mip_count(w, h)), usage(u), format(f), pool(p) {
  UINT full = d3d9_full_mip_count(w, h);
  if (levels > full) levels = full;
  level.resize(levels);
  for (UINT i = 0; i < levels; i++) {
    D3d9Level& lv = level[i];
    lv.width = d3d9_mip_size(w, i);
    lv.height = d3d9_mip_size(h, i);
    lv.pitch = int(d3d9_row_bytes(f, lv.width));
    lv.d3d9_row_count_cached = d3d9_row_count(f, lv.height);
  }
  if (pool == D3DPOOL_DEFAULT) d3d9_live_default_objects++;
}
D3d9MemTexture::~D3d9MemTexture() {
  if (pool == D3DPOOL_DEFAULT) d3d9_live_default_objects--;
}

HRESULT D3d9MemTexture::GetLevelDesc(UINT l, D3DSURFACE_DESC* d) {
  if (l >= levels || !d) return D3DERR_INVALIDCALL;
  memset(d, 0, sizeof(*d));
  d->Format = format;
  d->Type = D3DRTYPE_SURFACE;
  d->Usage = usage;
  d->Pool = pool;
  d->Width = level[l].width;
  d->Height = level[l].height;
  return D3D_OK;
}

HRESULT D3d9MemTexture::GetSurfaceLevel(UINT l, IDirect3DSurface9** s) {
  if (l >= levels || !s) return D3DERR_INVALIDCALL;
  *s = new D3d9MemSurface(this, l);
  return D3D_OK;
}

HRESULT D3d9MemTexture::LockRect(UINT l, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (l >= levels || !locked || level[l].locked) return D3DERR_INVALIDCALL;
  // Render targets cannot be locked; their contents come back through GetRenderTargetData.
  if (usage & D3DUSAGE_RENDERTARGET) return D3DERR_INVALIDCALL;
  D3d9Level& lv = level[l];
  uint8_t* p = lv.bits();
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->right > int(lv.width) || rect->bottom > int(lv.height) ||
        rect->left >= rect->right || rect->top >= rect->bottom)
      return D3DERR_INVALIDCALL;
    if (d3d9_is_dxt(format))
      p += size_t(rect->top / 4) * lv.pitch + size_t(rect->left / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
    else p += size_t(rect->top) * lv.pitch + size_t(rect->left) * d3d9_texel_bytes(format);
  }
  lv.locked = true;
  lv.lock_readonly = (flags & D3DLOCK_READONLY) != 0;
  locked->pBits = p;
  locked->Pitch = lv.pitch;
  return D3D_OK;
}

HRESULT D3d9MemTexture::UnlockRect(UINT l) {
  if (l >= levels || !level[l].locked) return D3DERR_INVALIDCALL;
  level[l].locked = false;
  if (!level[l].lock_readonly) levelWritten(l);
  return D3D_OK;
}

D3d9MemSurface::D3d9MemSurface(D3d9SurfaceKind k, UINT w, UINT h, D3DFORMAT f, D3DPOOL p, DWORD usage) : kind(k) {
  memset(&desc, 0, sizeof(desc));
  desc.Format = f;
  desc.Type = D3DRTYPE_SURFACE;
  desc.Usage = usage;
  desc.Pool = p;
  desc.Width = w;
  desc.Height = h;
  own.width = w;
  own.height = h;
  own.pitch = int(d3d9_row_bytes(f, w));
  own.d3d9_row_count_cached = d3d9_row_count(f, h);
  if (p == D3DPOOL_DEFAULT) d3d9_live_default_objects++;
}

D3d9MemSurface::D3d9MemSurface(D3d9MemTexture* t, UINT l) : kind(D3D9_SURF_LEVEL), texture(t), level_index(l) {
  t->AddRef();
  t->GetLevelDesc(l, &desc);
}

D3d9MemSurface::~D3d9MemSurface() {
  if (texture) texture->Release();
  else if (desc.Pool == D3DPOOL_DEFAULT) d3d9_live_default_objects--;
}

HRESULT D3d9MemSurface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (texture) return texture->LockRect(level_index, locked, rect, flags);
  if (kind != D3D9_SURF_PLAIN || !locked || own.locked) return D3DERR_INVALIDCALL;
  uint8_t* p = own.bits();
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->right > int(own.width) || rect->bottom > int(own.height) ||
        rect->left >= rect->right || rect->top >= rect->bottom)
      return D3DERR_INVALIDCALL;
    p += size_t(rect->top) * own.pitch + size_t(rect->left) * d3d9_texel_bytes(desc.Format);
  }
  own.locked = true;
  locked->pBits = p;
  locked->Pitch = own.pitch;
  return D3D_OK;
}

HRESULT D3d9MemSurface::UnlockRect() {
  if (texture) return texture->UnlockRect(level_index);
  if (!own.locked) return D3DERR_INVALIDCALL;
  own.locked = false;
  return D3D_OK;
}

D3d9MemDecl::D3d9MemDecl(const D3DVERTEXELEMENT9* e) {
  for (int i = 0; i < MAXD3DDECLLENGTH; i++) {
    elements.push_back(e[i]);
    if (e[i].Stream == 0xFF) return;
  }
  D3DVERTEXELEMENT9 end = D3DDECL_END();
  elements.push_back(end);
}

HRESULT D3d9MemDecl::GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count) {
  if (!count) return D3DERR_INVALIDCALL;
  if (out) memcpy(out, elements.data(), elements.size() * sizeof(D3DVERTEXELEMENT9));
  *count = UINT(elements.size());
  return D3D_OK;
}

std::vector<D3DVERTEXELEMENT9> d3d9_fvf_elements(DWORD fvf, UINT* stride) {
  std::vector<D3DVERTEXELEMENT9> e;
  uint16_t off = 0;
  if (fvf & D3DFVF_XYZRHW) {
    e.push_back({0, off, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0});
    off += 16;
  } else if (fvf & D3DFVF_XYZ) {
    e.push_back({0, off, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0});
    off += 12;
  }
  if (fvf & D3DFVF_DIFFUSE) {
    e.push_back({0, off, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0});
    off += 4;
  }
  if (fvf & D3DFVF_TEX1) {
    e.push_back({0, off, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0});
    off += 8;
  }
  e.push_back(D3DDECL_END());
  if (stride) *stride = off;
  return e;
}

UINT d3d9_vertex_count(D3DPRIMITIVETYPE type, UINT n) {
  switch (type) {
    case D3DPT_POINTLIST:
      return n;
    case D3DPT_LINELIST:
      return n * 2;
    case D3DPT_LINESTRIP:
      return n + 1;
    case D3DPT_TRIANGLELIST:
      return n * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return n + 2;
  }
  return 0;
}

// ---- DXT decoding: colours are RGB565, the 4-colour mode interpolates at thirds, DXT1's 3-colour
// mode (c0 <= c1) has a transparent black fourth entry.
namespace {
void rgb565(uint16_t c, int* r, int* g, int* b) {
  *r = ((c >> 11) & 31) * 255 / 31;
  *g = ((c >> 5) & 63) * 255 / 63;
  *b = (c & 31) * 255 / 31;
}

void decode_colour_block(const uint8_t* blk, bool dxt1, uint8_t out[16][4]) {
  uint16_t c0 = uint16_t(blk[0] | (blk[1] << 8)), c1 = uint16_t(blk[2] | (blk[3] << 8));
  int r[4], g[4], b[4], a[4] = {255, 255, 255, 255};
  rgb565(c0, &r[0], &g[0], &b[0]);
  rgb565(c1, &r[1], &g[1], &b[1]);
  if (!dxt1 || c0 > c1) {
    r[2] = (2 * r[0] + r[1]) / 3;
    g[2] = (2 * g[0] + g[1]) / 3;
    b[2] = (2 * b[0] + b[1]) / 3;
    r[3] = (r[0] + 2 * r[1]) / 3;
    g[3] = (g[0] + 2 * g[1]) / 3;
    b[3] = (b[0] + 2 * b[1]) / 3;
  } else {
    r[2] = (r[0] + r[1]) / 2;
    g[2] = (g[0] + g[1]) / 2;
    b[2] = (b[0] + b[1]) / 2;
    r[3] = g[3] = b[3] = 0;
    a[3] = 0;
  }
  uint32_t bits = uint32_t(blk[4]) | (uint32_t(blk[5]) << 8) | (uint32_t(blk[6]) << 16) | (uint32_t(blk[7]) << 24);
  for (int i = 0; i < 16; i++) {
    int k = (bits >> (2 * i)) & 3;
    out[i][0] = uint8_t(b[k]);
    out[i][1] = uint8_t(g[k]);
    out[i][2] = uint8_t(r[k]);
    out[i][3] = uint8_t(a[k]);
  }
}
}  // namespace

void d3d9_decode_dxt(D3DFORMAT f, const uint8_t* blocks, int block_pitch, UINT width, UINT height, uint8_t* out,
                     int out_pitch) {
  UINT bw = (width + 3) / 4, bh = (height + 3) / 4;
  int bsize = f == D3DFMT_DXT1 ? 8 : 16;
  for (UINT by = 0; by < bh; by++) {
    for (UINT bx = 0; bx < bw; bx++) {
      const uint8_t* blk = blocks + size_t(by) * block_pitch + size_t(bx) * bsize;
      uint8_t texel[16][4];
      decode_colour_block(f == D3DFMT_DXT1 ? blk : blk + 8, f == D3DFMT_DXT1, texel);
      if (f == D3DFMT_DXT3) {
        for (int i = 0; i < 16; i++) {
          int nib = (blk[i / 2] >> ((i & 1) * 4)) & 15;
          texel[i][3] = uint8_t(nib * 17);
        }
      } else if (f == D3DFMT_DXT5) {
        int a[8];
        a[0] = blk[0];
        a[1] = blk[1];
        if (a[0] > a[1]) {
          for (int i = 1; i < 7; i++) a[i + 1] = ((7 - i) * a[0] + i * a[1]) / 7;
        } else {
          for (int i = 1; i < 5; i++) a[i + 1] = ((5 - i) * a[0] + i * a[1]) / 5;
          a[6] = 0;
          a[7] = 255;
        }
        uint64_t bits = 0;
        for (int i = 0; i < 6; i++) bits |= uint64_t(blk[2 + i]) << (8 * i);
        for (int i = 0; i < 16; i++) texel[i][3] = uint8_t(a[(bits >> (3 * i)) & 7]);
      }
      for (int y = 0; y < 4; y++) {
        UINT py = by * 4 + y;
        if (py >= height) break;
        for (int x = 0; x < 4; x++) {
          UINT px = bx * 4 + x;
          if (px >= width) break;
          memcpy(out + size_t(py) * out_pitch + size_t(px) * 4, texel[y * 4 + x], 4);
        }
      }
    }
  }
}
