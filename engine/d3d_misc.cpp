// Textures: the table of 1000 slots, creation and locks, sampler binding, the reset hooks of the
// default pool, the texture manager with reference counts and hot reload, and the DDS loader.
#include "engine/d3d_misc.h"
#include <stdio.h>
#include <string.h>
#include "engine/cont/dynArray.h"
#include "engine/d3d_render.h"
#include "engine/log.h"
#include "engine/mojodds/mojodds.h"
#include "engine/sharedHeap.h"
#include "engine/sysUtils.h"

Texture texture_table[MAX_TEXTURES];

namespace {
struct ManagedTexture {
  Texture* texture;
  int refs;
  PathString path;
  uint64_t file_time;
  // A reload that failed (a file still being written, a broken save) is tried again as soon as the
  // file's time or size moves on, even within the same clock tick.
  bool reload_failed;
  uint64_t failed_size;
};
DynArray<ManagedTexture> managed;

HRESULT make_object(Texture* t, IDirect3DTexture9** out) {
  int w = t->width, h = t->height;
  if (w == 0 && h == 0) {
    w = d3d_wd;
    h = d3d_ht;
  }
  if (!d3d) return D3DERR_INVALIDCALL;
  return d3d->CreateTexture(UINT(w), UINT(h), UINT(t->levels), t->usage, t->format, t->pool, out, nullptr);
}

ManagedTexture* find_managed(Texture* t) {
  for (ManagedTexture& m : managed)
    if (m.texture == t) return &m;
  return nullptr;
}

}  // namespace

Texture* create_texture(int width, int height, int levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
  for (Texture& t : texture_table) {
    if (t.in_use) continue;
    t.tex = nullptr;
    t.width = width;
    t.height = height;
    t.levels = levels;
    t.usage = usage;
    t.format = format;
    t.pool = pool;
    HRESULT h = make_object(&t, &t.tex);
    if (h != D3D_OK) {
      t.tex = nullptr;
      debug("error creating texture (code 0x%08X)", unsigned(h));
      return nullptr;
    }
    t.in_use = 1;
    return &t;
  }
  debug("reached MAX_TEXTURES");
  return nullptr;
}

Texture* create_dynamic_texture(int width, int height) {
  return create_texture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
}
Texture* create_managed_texture(int width, int height) {
  return create_texture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
}

Texture* adopt_texture(IDirect3DTexture9* tex) {
  if (!tex) return nullptr;
  for (Texture& t : texture_table) {
    if (t.in_use) continue;
    t = Texture{tex, 0, 0, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, 1};
    return &t;
  }
  debug("reached MAX_TEXTURES");
  return nullptr;
}

void destroy_texture(Texture* t) {
  if (!t) return;
  if (t->tex) t->tex->Release();
  memset(t, 0, sizeof(*t));
}

void* lock_texture(Texture* t, int* pitch, bool discard) {
  if (!t || !t->tex) return nullptr;
  DWORD flags = D3DLOCK_NOSYSLOCK;
  if (discard && (t->usage & D3DUSAGE_DYNAMIC)) flags |= D3DLOCK_DISCARD;
  D3DLOCKED_RECT lr;
  HRESULT h = t->tex->LockRect(0, &lr, nullptr, flags);
  if (h != D3D_OK) {
    debug("error locking texture (code 0x%08X)", unsigned(h));
    return nullptr;
  }
  if (pitch) *pitch = lr.Pitch;
  return lr.pBits;
}

void unlock_texture(Texture* t) {
  if (t && t->tex) t->tex->UnlockRect(0);
}

void set_texture(int stage, Texture* t) {
  if (t) d3d->SetTexture(DWORD(stage), t->tex);
}

void set_texture_filter(int stage, bool linear) {
  DWORD f = linear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
  d3d->SetSamplerState(DWORD(stage), D3DSAMP_MAGFILTER, f);
  d3d->SetSamplerState(DWORD(stage), D3DSAMP_MINFILTER, f);
  d3d->SetSamplerState(DWORD(stage), D3DSAMP_MIPFILTER, f);
}

void set_texture_address(int stage, int u, int v, int w) {
  if (v < 0) v = u;
  if (w < 0) w = v;
  auto mode = [](int m) -> DWORD {
    return m == 0 ? D3DTADDRESS_WRAP : m == 2 ? D3DTADDRESS_BORDER : D3DTADDRESS_CLAMP;
  };
  d3d->SetSamplerState(DWORD(stage), D3DSAMP_ADDRESSU, mode(u));
  d3d->SetSamplerState(DWORD(stage), D3DSAMP_ADDRESSV, mode(v));
  d3d->SetSamplerState(DWORD(stage), D3DSAMP_ADDRESSW, mode(w));
}

int get_texture_width(Texture* t) {
  if (!t) return 0;
  return t->width == 0 && t->height == 0 ? d3d_wd : t->width;
}
int get_texture_height(Texture* t) {
  if (!t) return 0;
  return t->width == 0 && t->height == 0 ? d3d_ht : t->height;
}
IDirect3DTexture9* get_texture_object(Texture* t) { return t ? t->tex : nullptr; }

int count_textures_in_use() {
  int n = 0;
  for (const Texture& t : texture_table) n += t.in_use ? 1 : 0;
  return n;
}

void release_default_textures() {
  if (d3d)
    for (DWORD i = 0; i < 32; i++) d3d->SetTexture(i, nullptr);
  for (Texture& t : texture_table) {
    if (!t.in_use || t.pool != D3DPOOL_DEFAULT || !t.tex) continue;
    t.tex->Release();
    t.tex = nullptr;
  }
}

void recreate_default_textures() {
  for (Texture& t : texture_table) {
    if (!t.in_use || t.pool != D3DPOOL_DEFAULT) continue;
    HRESULT h = make_object(&t, &t.tex);
    if (h != D3D_OK) {
      t.tex = nullptr;
      debug("error recreating texture (code 0x%08X)", unsigned(h));
    }
  }
}

void release_all_textures() {
  for (Texture& t : texture_table)
    if (t.in_use || t.tex) destroy_texture(&t);
}

// ---- texture manager

Texture* get_texture(const char* name, bool required) {
  PathString path = make_full_path(name);
  for (ManagedTexture& m : managed) {
    if (strcmp(m.path, path) == 0) {
      m.refs++;
      return m.texture;
    }
  }
  Texture* t = load_dds_texture(path);
  if (!t) {
    if (required) fatal("Can't load texture from '%s'", (const char*)path);
    return nullptr;
  }
  ManagedTexture& m = managed.push_back();
  m.texture = t;
  m.refs = 1;
  m.path = path;
  m.file_time = get_file_time(path);
  m.reload_failed = false;
  m.failed_size = 0;
  return t;
}

void free_texture(Texture* t) {
  if (!t) return;
  ManagedTexture* m = find_managed(t);
  if (!m) return;
  if (--m->refs > 0) return;
  destroy_texture(t);
  managed.remove_fast(int(m - managed.begin()));
}

void free_all_textures() {
  for (ManagedTexture& m : managed) destroy_texture(m.texture);
  managed.clear();
}

int get_texture_ref_count(Texture* t) {
  ManagedTexture* m = find_managed(t);
  return m ? m->refs : 0;
}

void reload_textures(bool) {
  for (ManagedTexture& m : managed) {
    if (m.refs <= 0 || !m.path[0]) continue;
    // Time and size are read before the file, so a save landing meanwhile is seen next time.
    uint64_t ft = get_file_time(m.path);
    uint64_t size = m.reload_failed ? get_file_size(m.path) : 0;
    if (ft == m.file_time && (!m.reload_failed || size == m.failed_size)) continue;
    if (!m.reload_failed) size = get_file_size(m.path);
    m.file_time = ft;
    debug("reloading %s", (const char*)m.path);
    Texture* fresh = load_dds_texture(m.path);
    // A file that cannot be read (half saved, broken) keeps the image already shown.
    m.reload_failed = !fresh;
    m.failed_size = size;
    if (!fresh) continue;
    if (m.texture->tex) m.texture->tex->Release();
    *m.texture = *fresh;
    memset(fresh, 0, sizeof(*fresh));
  }
}

// Loads a ".dds" file into a managed texture with its mip chain. Files that cannot be read or are
// not acceptable DDS files are logged and give null; get_texture makes required ones fatal.
Texture* load_dds_texture(const char* name) {
  PathString path = make_full_path(name);
  size_t size = 0;
  const char* why = "";
  // The largest texture the device takes (16384 texels square, 4 bytes each) with its mip chain.
  uint8_t* data = read_data_file(path, &size, &why, int64_t(1) << 31);
  if (!data) {
    debug("Error loading file '%s': %s", (const char*)path, why);
    return nullptr;
  }
  DdsInfo info;
  if (const char* why = dds_parse(data, size, &info)) {
    debug("Texture '%s' is not a DDS (%s)", (const char*)path, why);
    dlfree(data);
    return nullptr;
  }
  Texture* t = create_texture(int(info.width), int(info.height), info.levels, 0, info.format, D3DPOOL_MANAGED);
  if (!t) {
    debug("Error creating texture from '%s'", (const char*)path);
    dlfree(data);
    return nullptr;
  }
  for (int i = 0; i < info.levels; i++) {
    const DdsLevel& lv = info.level[i];
    D3DLOCKED_RECT lr;
    HRESULT h = t->tex->LockRect(UINT(i), &lr, nullptr, 0);
    if (h != D3D_OK) {
      debug("error loading texture '%s' (code 0x%08X)", (const char*)path, unsigned(h));
      destroy_texture(t);
      dlfree(data);
      return nullptr;
    }
    for (uint32_t r = 0; r < lv.rows; r++)
      memcpy((uint8_t*)lr.pBits + size_t(r) * lr.Pitch, data + lv.offset + size_t(r) * lv.pitch, lv.pitch);
    t->tex->UnlockRect(UINT(i));
  }
  debug("loaded DDS texture '%s'", (const char*)path);
  dlfree(data);
  return t;
}
