// DynVBWriter: the one shared dynamic vertex buffer that every immediate drawer writes vertices
// into directly; a full buffer or the end of a group hands the written run to a draw function.
#pragma once
#include <stdint.h>

struct VertexBuffer;

class DynVBWriter {
 public:
  typedef void (*RenderFunc)(int prim_count, intptr_t arg);

  uint8_t* writePtr = nullptr;
  int primCount = 0;
  uint8_t* startPtr = nullptr;
  VertexBuffer* vb = nullptr;
  int capacity = 0;
  RenderFunc renderFunc = nullptr;
  intptr_t renderArg = 0;

  void create(int size);
  void destroy();
  uint8_t* begin(RenderFunc func, intptr_t arg);
  void flush(bool final);
  // A run is open: the buffer is locked for writing.
  bool started() const { return startPtr != nullptr; }
  // Bytes still free in the locked buffer.
  int room() const { return capacity - int(writePtr - startPtr); }
  // Makes room for n bytes, flushing the run when they do not fit.
  void reserve(int n) {
    if (int(writePtr - startPtr) + n > capacity) flush(false);
  }
};

extern DynVBWriter common_vb_writer;

void draw_triangle_run(int prim_count, intptr_t primitive_type);
// arg: vertex count in the high 16 bits, primitives per instance in the low 16 bits.
void draw_instanced_run(int instance_count, intptr_t arg);
