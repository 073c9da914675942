// Meshes: static meshes read from binary mesh files into a static vertex buffer and a static index
// buffer, shared by path and counted by reference.
#pragma once
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"

struct VertexBuffer;
struct IndexBuffer;
class InputStream;

const uint32_t MESH_FILE_MAGIC = 0x12040900;

struct MeshItem6 {
  uint8_t b[6];
};
struct MeshItem16 {
  uint8_t b[16];
};

struct Mesh {
  VertexBuffer* vb;
  IndexBuffer* ib;
  uint32_t count_a, count_b;
  uint32_t tri_count;
  DynArray<MeshItem6> items6;
  DynArray<char> first_string;  // with its terminating zero
  DynArray<char> second_string;
  DynArray<String> strings;
  DynArray<char> path;
  DynArray<MeshItem16> items16;
  int refcount;
};

extern DynArray<Mesh*> mesh_list;

Mesh* get_mesh(const char* path, bool required);
Mesh* load_mesh_file(const char* path, bool required);
// Reads a mesh from an open stream (after nothing has been read from it); throws InputStream::Exception.
Mesh* parse_mesh(InputStream& in);
void release_mesh(Mesh* m);
void free_all_meshes();
