// Batch states and render batches (see renderBatch.h).
#include "engine/renderBatch.h"
#include <string.h>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/log.h"

static_assert(sizeof(RenderBatch::Chunk) == 32, "chunk headers are 32 bytes");

int BaseRenderBatchState::reset() {
  shader = nullptr;
  vdecl = nullptr;
  texture = nullptr;
  return 0;
}

void BaseRenderBatchState::begin(BaseRenderBatchState* prev) {
  if (!prev || prev->shader != shader) set_shader(shader);
  if (!prev || prev->vdecl != vdecl) set_vertex_decl(vdecl);
  if (!prev || prev->texture != texture) set_texture(0, texture);
}

void BaseRenderBatchState::end() { common_vb_writer.flush(true); }

void StdRenderBatchState::begin(BaseRenderBatchState* prev) {
  BaseRenderBatchState::begin(prev);
  set_stream_source(0, common_vb_writer.vb, 0, stride);
  common_vb_writer.begin(draw_triangle_run, D3DPT_TRIANGLELIST);
}

bool batch_boxes_overlap(const float a[4], const float b[4]) {
  return a[0] <= b[2] && a[1] <= b[3] && a[2] > b[0] && a[3] > b[1];
}

RenderBatch::RenderBatch(int block_size) : alloc(size_t(block_size)) {}
RenderBatch::~RenderBatch() { groups.free(); }

void* RenderBatch::add(BaseRenderBatchState* state, const float box[4], int bytes, int prims) {
  Chunk* ne = (Chunk*)alloc.alloc(size_t(bytes) + 32, 4);
  ASSERT(ne);
  memcpy(ne->box, box, sizeof(ne->box));
  ne->bytes = bytes;
  ne->prims = prims;
  ne->next = nullptr;
  for (int i = groups.size() - 1; i >= 0; i--) {
    Group& g = groups[i];
    if (g.state == state) {
      g.box[0] = box[0] < g.box[0] ? box[0] : g.box[0];
      g.box[1] = box[1] < g.box[1] ? box[1] : g.box[1];
      g.box[2] = box[2] > g.box[2] ? box[2] : g.box[2];
      g.box[3] = box[3] > g.box[3] ? box[3] : g.box[3];
      g.last->next = ne;
      g.last = ne;
      return ne->data();
    }
    if (batch_boxes_overlap(box, g.box)) {
      bool hit = false;
      for (Chunk* c = g.first; c && !hit; c = c->next) hit = batch_boxes_overlap(box, c->box);
      if (hit) break;
    }
  }
  Group& g = groups.push_back();
  memcpy(g.box, box, sizeof(g.box));
  g.state = state;
  g.first = g.last = ne;
  return ne->data();
}

void RenderBatch::clear() {
  groups.clear();
  alloc.reset();
}

void RenderBatch::render() {
  if (groups.empty()) return;
  BaseRenderBatchState* prev = nullptr;
  DynVBWriter& w = common_vb_writer;
  for (Group& g : groups) {
    g.state->begin(prev);
    for (Chunk* c = g.first; c; c = c->next) {
      if (int(w.writePtr - w.startPtr) + c->bytes > w.capacity) {
        w.flush(false);
        if (int(w.writePtr - w.startPtr) + c->bytes > w.capacity) fatal("batch vertex buffer is not large enough");
      }
      memcpy(w.writePtr, c->data(), size_t(c->bytes));
      w.writePtr += c->bytes;
      w.primCount += c->prims;
    }
    g.state->end();
    prev = g.state;
  }
}
