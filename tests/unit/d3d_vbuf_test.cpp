// Vertex and index buffer tables, vertex declarations, instancing, the dynamic vertex writer and
// render batches (grouping by state in painter's order), on the recording back end.
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "engine/renderBatch.h"
#include "render_test_util.h"

namespace {
using RenderVertex = RecorderDevice;

TEST_F(RenderVertex, BuffersTakeTheirUsageAndPoolFromTheFlags) {
  VertexBuffer* s = create_vb(64, VB_STATIC);
  VertexBuffer* d = create_vb(64, 0);
  IndexBuffer* i = create_ib(30, 0);
  EXPECT_EQ(count("CreateVertexBuffer 64 8 1"), 1);
  EXPECT_EQ(count("CreateVertexBuffer 64 520 0"), 1);
  EXPECT_EQ(count("CreateIndexBuffer 60 520 101 0"), 1);
  EXPECT_EQ(i->size, 60);
  void* p = lock_vb(s, 0, 0);
  EXPECT_TRUE(p);
  EXPECT_EQ(lock_vb(s, 0, 0), nullptr);  // already locked
  unlock_vb(s);
  EXPECT_TRUE(lock_ib(i, 10, 20));
  unlock_ib(i);
  EXPECT_EQ(lock_vb(nullptr, 0, 0), nullptr);
  d3d9_recorder_fail("CreateVertexBuffer", D3DERR_OUTOFVIDEOMEMORY, 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_vb(64, 0), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("error creating VB (code 0x8876017C)"), std::string::npos);
  destroy_vb(d);
  destroy_vb(nullptr);
  EXPECT_EQ(count_buffers_in_use(), 2);
}

TEST_F(RenderVertex, TablesRefuseTheThousandAndFirstBuffer) {
  for (int k = 0; k < MAX_BUFFERS; k++) ASSERT_TRUE(create_ib(1, VB_STATIC));
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_ib(1, VB_STATIC), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("reached MAX_BUFFERS for IB"), std::string::npos);
  EXPECT_TRUE(create_vb(4, 0));  // the other table is apart
}

TEST_F(RenderVertex, DeclarationsAreCachedByTheirTranslatedElements) {
  const VertexElement list[] = {{0, 0, VE_FLOAT3, VU_POSITION, 0}, {12, 0, VE_D3DCOLOR, VU_COLOR, 0}, VE_END};
  IDirect3DVertexDeclaration9* a = get_vertex_decl(list);
  EXPECT_EQ(get_vertex_decl(list), a);
  EXPECT_EQ(count("CreateVertexDeclaration"), 1);
  const VertexElement odd[] = {{0, 1, 9, 7, 2}, {4, 0, VE_SHORT4, VU_TEXCOORD, 3}, VE_END};
  IDirect3DVertexDeclaration9* b = get_vertex_decl(odd);
  EXPECT_NE(a, b);
  D3DVERTEXELEMENT9 e[3];
  UINT n = 0;
  b->GetDeclaration(e, &n);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(e[0].Type, D3DDECLTYPE_UNUSED);
  EXPECT_EQ(e[0].Usage, D3DDECLUSAGE_TANGENT);
  EXPECT_EQ(e[0].Stream, 1);
  EXPECT_EQ(e[0].UsageIndex, 2);
  EXPECT_EQ(e[1].Type, D3DDECLTYPE_SHORT4);
  EXPECT_EQ(e[1].Usage, D3DDECLUSAGE_TEXCOORD);
  EXPECT_EQ(e[2].Stream, 0xFF);
}

TEST_F(RenderVertex, DeclarationLimitsAreFatal) {
  std::vector<VertexElement> endless(40, VertexElement{0, 0, VE_FLOAT1, VU_POSITION, 0});
  EXPECT_EXIT(get_vertex_decl(endless.data()), testing::ExitedWithCode(100), "failed ASSERT\\(i<MAX_VDECL_LEN\\)");
  auto fill_cache = [] {
    for (int k = 0; k <= MAX_VDECLS; k++) {
      VertexElement l[] = {{uint16_t(k), 0, VE_FLOAT1, VU_POSITION, 0}, VE_END};
      get_vertex_decl(l);
    }
  };
  EXPECT_EXIT(fill_cache(), testing::ExitedWithCode(100), "reached maximum vertex declaration count");
  auto failing = [] {
    d3d9_recorder_fail("CreateVertexDeclaration", D3DERR_INVALIDCALL, 1);
    VertexElement l[] = {{8, 0, VE_FLOAT2, VU_TEXCOORD, 1}, VE_END};
    get_vertex_decl(l);
  };
  EXPECT_EXIT(failing(), testing::ExitedWithCode(100), "failed to create vertex declaration \\(code 0x8876086C\\)");
}

TEST_F(RenderVertex, InstancingSetsStreamFrequencies) {
  set_instancing(3);
  set_instancing(0);
  EXPECT_EQ(d3d9_recorder_find("SetStreamSourceFreq"),
            (std::vector<std::string>{"SetStreamSourceFreq 0 40000003", "SetStreamSourceFreq 1 80000001",
                                      "SetStreamSourceFreq 0 00000001", "SetStreamSourceFreq 1 00000001"}));
  EXPECT_EXIT(
      {
        d3d9_recorder_fail("SetStreamSourceFreq", D3DERR_INVALIDCALL, 1);
        set_instancing(2);
      },
      testing::ExitedWithCode(100), "failed SetStreamSourceFreq");
  log().clear();
  common_vb_writer.create(1024);
  common_vb_writer.begin(draw_instanced_run, (6 << 16) | 2);
  common_vb_writer.primCount = 5;
  common_vb_writer.flush(true);
  EXPECT_EQ(count("SetStreamSourceFreq 0 40000005"), 1);
  EXPECT_EQ(count("DrawIndexedPrimitive 4 0 0 6 0 2"), 1);
  common_vb_writer.destroy();
}

TEST_F(RenderVertex, WriterFlushRules) {
  DynVBWriter w;
  w.create(1024);
  EXPECT_EQ(count("CreateVertexBuffer 1024 520 0"), 1);
  w.flush(true);  // nothing locked: nothing happens
  EXPECT_FALSE(w.started());
  w.primCount = 2;
  w.flush(true);  // counted but nothing locked, final: still nothing
  EXPECT_EQ(count("DrawPrimitive"), 0);
  // Counted primitives with nothing locked, not final: a drawer wrote outside a run.
  EXPECT_EXIT(w.flush(false), testing::ExitedWithCode(100), "failed ASSERT\\(startPtr && renderFunc\\)");
  w.primCount = 0;
  uint8_t* p = w.begin(draw_triangle_run, D3DPT_TRIANGLELIST);
  ASSERT_TRUE(p);
  EXPECT_TRUE(w.started());
  w.flush(false);  // nothing written: the lock stays, nothing drawn
  EXPECT_EQ(w.startPtr, p);
  EXPECT_EQ(count("DrawPrimitive"), 0);
  w.writePtr += 96;
  w.primCount = 1;
  w.flush(false);
  EXPECT_EQ(count("DrawPrimitive 4 0 1"), 1);
  EXPECT_TRUE(w.startPtr);
  EXPECT_EQ(w.writePtr, w.startPtr);
  EXPECT_EQ(w.renderFunc, draw_triangle_run);
  w.flush(true);  // nothing written: the run closes without drawing
  EXPECT_FALSE(w.started());
  EXPECT_EQ(w.startPtr, nullptr);
  EXPECT_EQ(w.renderFunc, nullptr);
  EXPECT_EQ(count("DrawPrimitive"), 1);
  w.begin(draw_triangle_run, D3DPT_TRIANGLELIST);
  EXPECT_EXIT(w.begin(draw_triangle_run, 4), testing::ExitedWithCode(100), "failed ASSERT\\(!startPtr\\)");
  w.flush(true);
  w.destroy();
  d3d9_recorder_fail("CreateVertexBuffer", D3DERR_OUTOFVIDEOMEMORY, 1);
  EXPECT_EXIT(w.create(2048), testing::ExitedWithCode(100), "can't create dynamic VB of size 2048");
}

// A batch state that records when it begins and ends.
std::vector<std::string> events;
class TaggedState : public StdRenderBatchState {
 public:
  const char* tag;
  explicit TaggedState(const char* t) : StdRenderBatchState(nullptr, nullptr, 16, nullptr), tag(t) {}
  void begin(BaseRenderBatchState* prev) override {
    events.push_back(std::string("begin ") + tag);
    StdRenderBatchState::begin(prev);
  }
};

void add(RenderBatch& b, BaseRenderBatchState* s, float x0, float y0, float x1, float y1, uint8_t mark) {
  float box[4] = {x0, y0, x1, y1};
  uint8_t* v = (uint8_t*)b.add(s, box, 48, 1);
  memset(v, mark, 48);
}

TEST_F(RenderVertex, BatchesGroupByStateWithoutBreakingPaintersOrder) {
  TaggedState s1("1"), s2("2");
  RenderBatch b(32768);
  // P (1), Q (2) apart from R, R (1): R joins P's group.
  add(b, &s1, 0, 0, 10, 10, 'P');
  add(b, &s2, 20, 0, 30, 10, 'Q');
  add(b, &s1, 40, 0, 50, 10, 'R');
  ASSERT_EQ(b.groupCount(), 2);
  EXPECT_EQ(b.group(0).first->next, b.group(0).last);
  EXPECT_EQ(b.group(0).box[2], 50.f);
  b.clear();
  // Q overlapping R: R starts a third group.
  add(b, &s1, 0, 0, 10, 10, 'P');
  add(b, &s2, 20, 0, 30, 10, 'Q');
  add(b, &s1, 25, 5, 35, 15, 'R');
  EXPECT_EQ(b.groupCount(), 3);
  b.clear();
  // A group whose box overlaps but none of whose chunks does is passed over.
  add(b, &s1, 0, 0, 10, 10, 'P');
  add(b, &s2, 20, 0, 30, 10, 'Q');
  add(b, &s2, 20, 40, 30, 50, 'Q');
  add(b, &s1, 22, 20, 28, 30, 'R');
  EXPECT_EQ(b.groupCount(), 2);
  b.clear();
  // Touching at the max edge does not overlap; at the min edge it does.
  add(b, &s1, 0, 0, 10, 10, 'P');
  add(b, &s2, 10, 0, 20, 10, 'Q');  // Q.min x == P.max x
  add(b, &s1, 20, 0, 30, 10, 'R');  // R.min x == Q.max x: counts as touching Q
  EXPECT_EQ(b.groupCount(), 3);
  b.clear();
  add(b, &s1, 10, 0, 20, 10, 'P');
  add(b, &s2, 20, 0, 30, 10, 'Q');
  add(b, &s1, 0, 0, 20, 10, 'R');  // R.max x == Q.min x: apart
  EXPECT_EQ(b.groupCount(), 2);

  // Drawn in group order, each state begun once, with the chunks in add order.
  common_vb_writer.create(4096);
  events.clear();
  log().clear();
  b.render();
  EXPECT_EQ(events, (std::vector<std::string>{"begin 1", "begin 2"}));
  EXPECT_EQ(d3d9_recorder_find("DrawPrimitive"),
            (std::vector<std::string>{"DrawPrimitive 4 0 2", "DrawPrimitive 4 0 1"}));
  b.clear();
  b.render();  // empty: nothing
  EXPECT_EQ(count("DrawPrimitive"), 2);
  common_vb_writer.destroy();
}

TEST_F(RenderVertex, BatchFlushesWhenTheWriterIsFullAndRefusesOversizedChunks) {
  TaggedState s("s");
  RenderBatch b(32768);
  common_vb_writer.create(100);
  add(b, &s, 0, 0, 1, 1, 'a');
  add(b, &s, 0, 0, 1, 1, 'b');
  add(b, &s, 0, 0, 1, 1, 'c');
  b.render();
  EXPECT_EQ(d3d9_recorder_find("DrawPrimitive"),
            (std::vector<std::string>{"DrawPrimitive 4 0 2", "DrawPrimitive 4 0 1"}));
  b.clear();
  float box[4] = {0, 0, 1, 1};
  b.add(&s, box, 200, 1);
  EXPECT_EXIT(b.render(), testing::ExitedWithCode(100), "batch vertex buffer is not large enough");
  b.clear();
  common_vb_writer.destroy();
}

TEST_F(RenderVertex, ResetReleasesOnlyDynamicBuffers) {
  VertexBuffer* s = create_vb(64, VB_STATIC);
  VertexBuffer* d = create_vb(64, 0);
  IndexBuffer* di = create_ib(8, 0);
  release_dynamic_buffers();
  EXPECT_TRUE(s->vb);
  EXPECT_FALSE(d->vb);
  EXPECT_FALSE(di->ib);
  EXPECT_TRUE(d->in_use);
  d3d9_recorder_fail("CreateIndexBuffer", D3DERR_OUTOFVIDEOMEMORY, 1);
  testing::internal::CaptureStdout();
  recreate_dynamic_buffers();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("error creating IB (code 0x8876017C)"), std::string::npos);
  EXPECT_TRUE(d->vb);
  EXPECT_FALSE(di->ib);
  release_all_buffers();
  EXPECT_EQ(count_buffers_in_use(), 0);
}
}  // namespace
