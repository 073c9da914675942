// Mesh files and the mesh list (see mesh.h). Every field is checked against the bytes that are
// left, so a truncated or inconsistent file is refused before any buffer is made.
#include "engine/mesh.h"
#include <string.h>
#include <new>
#include "engine/d3d_vbuf.h"
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "engine/streams.h"
#include "engine/sysUtils.h"

DynArray<Mesh*> mesh_list;

namespace {
const uint64_t MAX_MESH_BYTES = 256u << 20;

struct Reader {
  const uint8_t* p;
  size_t left;
  int base;  // stream position of p's start, for messages
  const uint8_t* start;
  void need(size_t n) {
    if (n > left) throw InputStream::Exception("Unexpected end of mesh file", base + int(p - start));
  }
  uint8_t u8() {
    need(1);
    left--;
    return *p++;
  }
  uint32_t u32() {
    need(4);
    uint32_t v;
    memcpy(&v, p, 4);
    p += 4;
    left -= 4;
    return v;
  }
  const uint8_t* bytes(size_t n) {
    need(n);
    const uint8_t* r = p;
    p += n;
    left -= n;
    return r;
  }
  void string(DynArray<char>& out) {
    uint8_t l = u8();
    const uint8_t* s = bytes(size_t(l) + 1);
    if (s[l] != 0) throw InputStream::Exception("Mesh string is not terminated", base + int(p - start));
    out.resize(l + 1);
    memcpy(out.data, s, size_t(l) + 1);
  }
};

void destroy_mesh(Mesh* m) {
  destroy_vb(m->vb);
  destroy_ib(m->ib);
  for (String& s : m->strings) s.clear();  // the array frees storage, not its elements' blocks
  m->~Mesh();
  dlfree(m);
}
}  // namespace

Mesh* parse_mesh(InputStream& in) {
  uint32_t magic = 0;
  in.read(&magic, 4);
  if (magic != MESH_FILE_MAGIC) throw InputStream::Exception("Invalid mesh file version", in.tell());
  int base = in.tell();
  DynArray<uint8_t> rest;
  uint8_t buf[4096];
  for (;;) {
    int n = in.readSome(buf, sizeof(buf));
    if (n <= 0) break;
    if (uint64_t(rest.size()) + uint64_t(n) > MAX_MESH_BYTES)
      throw InputStream::Exception("Mesh file too large", in.tell());
    int at = rest.size();
    rest.resize(at + n);
    memcpy(rest.data + at, buf, size_t(n));
  }
  void* mem = dlmalloc(sizeof(Mesh));
  if (!mem) throw InputStream::Exception("Out of memory", base);
  memset(mem, 0, sizeof(Mesh));
  Mesh* m = new (mem) Mesh();
  m->refcount = 1;
  try {
    Reader r{rest.data, size_t(rest.size()), base, rest.data};
    r.string(m->first_string);
    r.string(m->second_string);
    int n = r.u8();
    for (int i = 0; i < n; i++) {
      DynArray<char> s;
      r.string(s);
      m->strings.push_back().set(s.data, s.size() - 1);
    }
    int items16 = r.u8();
    const uint8_t* p16 = r.bytes(size_t(items16) * 16);
    m->items16.resize(items16);
    if (items16) memcpy(m->items16.data, p16, size_t(items16) * 16);
    int items6 = r.u8();
    const uint8_t* p6 = r.bytes(size_t(items6) * 6);
    m->items6.resize(items6);
    if (items6) memcpy(m->items6.data, p6, size_t(items6) * 6);
    m->count_a = r.u32();
    m->count_b = r.u32();
    m->tri_count = r.u32();
    uint64_t vbytes = uint64_t(m->count_a) * m->count_b, ibytes = uint64_t(m->tri_count) * 6;
    if (vbytes > MAX_MESH_BYTES || ibytes > MAX_MESH_BYTES || vbytes + ibytes > r.left)
      throw InputStream::Exception("Mesh data exceeds the file", base + int(r.p - r.start));
    const uint8_t* vdata = r.bytes(size_t(vbytes));
    const uint8_t* idata = r.bytes(size_t(ibytes));
    // A buffer of zero bytes cannot exist; an empty mesh gets one of the smallest size.
    m->vb = create_vb(vbytes ? int(vbytes) : 4, VB_STATIC);
    if (!m->vb) throw InputStream::Exception("Can't create vertex buffer", base);
    void* vp = lock_vb(m->vb, 0, 0);
    if (!vp) throw InputStream::Exception("Can't lock vertex buffer", base);
    if (vbytes) memcpy(vp, vdata, size_t(vbytes));
    unlock_vb(m->vb);
    m->ib = create_ib(m->tri_count ? int(m->tri_count * 3) : 2, VB_STATIC);
    if (!m->ib) throw InputStream::Exception("Can't create index buffer", base);
    void* ip = lock_ib(m->ib, 0, 0);
    if (!ip) throw InputStream::Exception("Can't lock index buffer", base);
    if (ibytes) memcpy(ip, idata, size_t(ibytes));
    unlock_ib(m->ib);
  } catch (...) {
    destroy_mesh(m);
    throw;
  }
  return m;
}

Mesh* load_mesh_file(const char* path, bool required) {
  FileInputStream in;
  try {
    if (!in.open(path, "rb"))
      throw InputStream::Exception(TempString<300>::make("Can't open file: %s", in.openError()), 0);
    Mesh* m = parse_mesh(in);
    int len = int(strlen(path));
    m->path.resize(len + 1);
    memcpy(m->path.data, path, size_t(len) + 1);
    return m;
  } catch (InputStream::Exception& e) {
    int pos = in.isOpen() ? in.tell() : 0;
    if (required) fatal("Error reading mesh file '%s':\n%s (offset %d)", path, e.message, pos);
    debug("Error reading mesh file '%s':\n%s (offset %d)", path, e.message, pos);
    return nullptr;
  }
}

Mesh* get_mesh(const char* path, bool required) {
  PathString full = make_full_path(path);
  for (Mesh* m : mesh_list) {
    if (m->path.size() && strcmp(m->path.data, full) == 0) {
      m->refcount++;
      return m;
    }
  }
  Mesh* m = load_mesh_file(full, required);
  ASSERT(m);
  mesh_list.push_back(m);
  return m;
}

void release_mesh(Mesh* m) {
  if (!m) return;
  if (--m->refcount > 0) return;
  for (int i = 0; i < mesh_list.size(); i++)
    if (mesh_list[i] == m) {
      mesh_list.remove(i);
      break;
    }
  destroy_mesh(m);
}

void free_all_meshes() {
  for (Mesh* m : mesh_list) destroy_mesh(m);
  mesh_list.clear();
}
