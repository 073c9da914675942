// The shared dynamic vertex writer: locks with discard, so the processor never waits for the card
// to finish with earlier contents, and draws what was written when full or at the end of a run.
#include "engine/dynVBWriter.h"
#include "engine/d3d_render.h"
#include "engine/d3d_vbuf.h"
#include "engine/log.h"

DynVBWriter common_vb_writer;

void DynVBWriter::create(int size) {
  ASSERT(!startPtr);
  destroy_vb(vb);
  vb = create_vb(size, 0);
  if (!vb) fatal("can't create dynamic VB of size %d", size);
  capacity = size;
  writePtr = startPtr = nullptr;
  primCount = 0;
  renderFunc = nullptr;
}

void DynVBWriter::destroy() {
  ASSERT(!startPtr);
  destroy_vb(vb);
  vb = nullptr;
  capacity = 0;
}

uint8_t* DynVBWriter::begin(RenderFunc func, intptr_t arg) {
  ASSERT(!startPtr);
  ASSERT(vb);
  startPtr = (uint8_t*)lock_vb(vb, 0, 0);
  ASSERT(startPtr);
  writePtr = startPtr;
  primCount = 0;
  renderFunc = func;
  renderArg = arg;
  return writePtr;
}

void DynVBWriter::flush(bool final) {
  if (primCount < 1 && !final) return;
  // A final flush with nothing locked has nothing to close, whatever the count; primitives counted
  // for a run that is not locked are a drawer's fault and stop at the assertion below.
  if (!startPtr && final) return;
  ASSERT(startPtr && renderFunc);
  unlock_vb(vb);
  writePtr = startPtr = nullptr;
  if (primCount > 0) renderFunc(primCount, renderArg);
  primCount = 0;
  if (!final) {
    startPtr = (uint8_t*)lock_vb(vb, 0, 0);
    ASSERT(startPtr);
    writePtr = startPtr;
  } else {
    renderFunc = nullptr;
  }
}

void draw_triangle_run(int prim_count, intptr_t type) { draw_prim(D3DPRIMITIVETYPE(type), 0, prim_count); }

void draw_instanced_run(int count, intptr_t arg) {
  set_instancing(count);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, int(arg >> 16), 0, int(arg & 0xFFFF));
}
