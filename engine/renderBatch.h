// Render batches: chunks of vertices tagged with a batch state and a screen box, collected during a
// frame and drawn grouped by state through common_vb_writer, keeping the painter's order wherever
// chunks of different states overlap.
#pragma once
#include "engine/accumAlloc.h"
#include "engine/cont/dynArray.h"
#include "engine/misc/vecMath.h"
#include "platform/d3d9/d3d9.h"

struct Shader;
struct Texture;

class BaseRenderBatchState {
 public:
  Shader* shader;
  IDirect3DVertexDeclaration9* vdecl;
  int stride;
  Texture* texture;

  BaseRenderBatchState(Shader* s, IDirect3DVertexDeclaration9* d, int str, Texture* t)
      : shader(s), vdecl(d), stride(str), texture(t) {}
  virtual ~BaseRenderBatchState() {}
  virtual int reset();
  virtual void begin(BaseRenderBatchState* prev);
  virtual void end();
};

class StdRenderBatchState : public BaseRenderBatchState {
 public:
  using BaseRenderBatchState::BaseRenderBatchState;
  void begin(BaseRenderBatchState* prev) override;
};

class RenderBatch {
 public:
  struct Chunk {
    float box[4];
    int bytes;
    int prims;
    Chunk* next;
    uint8_t pad[32 - 16 - 8 - sizeof(Chunk*)];
    uint8_t* data() { return (uint8_t*)this + 32; }
  };
  struct Group {
    float box[4];
    BaseRenderBatchState* state;
    Chunk* first;
    Chunk* last;
  };

  explicit RenderBatch(int block_size);
  ~RenderBatch();
  RenderBatch(const RenderBatch&) = delete;
  RenderBatch& operator=(const RenderBatch&) = delete;

  // Space for `bytes` of vertex data of a chunk covering box (min x, min y, max x, max y).
  void* add(BaseRenderBatchState* state, const float box[4], int bytes, int prims);
  void clear();
  void render();
  int groupCount() const { return groups.size(); }
  const Group& group(int i) const { return groups[i]; }

 private:
  AccumAlloc alloc;
  DynArray<Group> groups;
};

// A overlaps B when A.min x <= B.max x, A.min y <= B.max y, A.max x > B.min x and A.max y > B.min y.
bool batch_boxes_overlap(const float a[4], const float b[4]);
