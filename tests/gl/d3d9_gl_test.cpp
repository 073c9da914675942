// Pixel tests of the renderer on the OpenGL back end (SDL's offscreen driver on Mesa llvmpipe):
// exact read-back of clears, pixel placement, colour order, alpha test, blending, depth, culling,
// render targets and resets.
// Sections: drawing helpers, clears and render state, render targets and textures, resets, batches and
// presenting.
#include <gtest/gtest.h>
#include <string.h>
#include <vector>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_vbuf.h"
#include "engine/dynVBWriter.h"
#include "render_gl_env.h"

namespace {
// ---- drawing helpers

struct RhwVertex {
  float x, y, z, rhw;
  D3DCOLOR c;
  float u, v;
};
const DWORD RHW_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// A screen rectangle in Direct3D pixel coordinates (pixel centres on integers), so the quad from
// x0-0.5 to x1-0.5 covers pixels x0..x1-1 exactly and maps texel centres onto pixel centres.
void draw_rect(float x0, float y0, float x1, float y1, D3DCOLOR c, float z = 0.f) {
  RhwVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, z, 1, c, 0, 0},
                    {x1 - 0.5f, y0 - 0.5f, z, 1, c, 1, 0},
                    {x0 - 0.5f, y1 - 0.5f, z, 1, c, 0, 1},
                    {x1 - 0.5f, y1 - 0.5f, z, 1, c, 1, 1}};
  d3d->SetFVF(RHW_FVF);
  ASSERT_EQ(d3d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwVertex)), D3D_OK);
}

Texture* make_texture(int w, int h, const std::vector<D3DCOLOR>& texels) {
  Texture* t = create_managed_texture(w, h);
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture(t, &pitch, false);
  for (int y = 0; y < h; y++) memcpy(p + y * pitch, &texels[size_t(y) * w], size_t(w) * 4);
  unlock_texture(t);
  return t;
}

// ---- clears and render state

class RenderGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(render_gl_open(64, 48));
    d3d->BeginScene();
    set_back_buffer_target();
    set_blend_none();
    set_atest(0);
    set_cull_mode(0);
    set_zenable(false);
    set_zwrite(true);
    d3d->SetTexture(0, nullptr);
    d3d->SetVertexShader(nullptr);
    d3d->SetPixelShader(nullptr);
    set_texture_filter(0, false);
    clear_view(0xFF000000);
  }
  void TearDown() override { d3d->EndScene(); }
};

TEST_F(RenderGl, ClearsTheViewportInArgbOrder) {
  clear_view_color(0xFF336699);
  set_viewport(8, 4, 16, 10);
  clear_view_color(0x80112233);
  std::vector<D3DCOLOR> px = read_back_buffer();
  EXPECT_EQ(px[0], 0xFF336699u);
  EXPECT_EQ(px[4 * 64 + 8], 0x80112233u);    // first pixel of the viewport (top-left, y down)
  EXPECT_EQ(px[13 * 64 + 23], 0x80112233u);  // last pixel of the viewport
  EXPECT_EQ(px[14 * 64 + 23], 0xFF336699u);
  EXPECT_EQ(px[4 * 64 + 24], 0xFF336699u);
}

TEST_F(RenderGl, QuadPlacedToThePixelShowsEveryTexelOnce) {
  std::vector<D3DCOLOR> texels(16);
  for (int i = 0; i < 16; i++)
    texels[i] = 0xFF000000u | (uint32_t(i * 16) << 16) | (uint32_t(255 - i * 16) << 8) | uint32_t(i);
  Texture* t = make_texture(4, 4, texels);
  set_texture(0, t);
  for (bool linear : {false, true}) {
    set_texture_filter(0, linear);
    clear_view_color(0xFF000000);
    draw_rect(10, 20, 14, 24, 0xFFFFFFFF);
    std::vector<D3DCOLOR> px = read_back_buffer();
    for (int y = 0; y < 4; y++)
      for (int x = 0; x < 4; x++)
        EXPECT_EQ(px[(20 + y) * 64 + 10 + x], texels[y * 4 + x]) << x << "," << y << " linear " << linear;
    EXPECT_EQ(px[19 * 64 + 10], 0xFF000000u);
    EXPECT_EQ(px[20 * 64 + 9], 0xFF000000u);
    EXPECT_EQ(px[24 * 64 + 13], 0xFF000000u);
    EXPECT_EQ(px[23 * 64 + 14], 0xFF000000u);
  }
  destroy_texture(t);
}

TEST_F(RenderGl, VertexColourKeepsArgbOrderAndAlpha) {
  draw_rect(0, 0, 4, 4, 0x80FF2010);
  EXPECT_EQ(read_back_buffer()[0], 0x80FF2010u);
}

TEST_F(RenderGl, AlphaTestKeepsTexelsAtOrAboveTheReference) {
  Texture* t = make_texture(4, 1, {0x00FF0000, 0x7FFF0000, 0x80FF0000, 0xFFFF0000});
  set_texture(0, t);
  clear_view_color(0xFF0000FF);
  set_atest(128);
  draw_rect(0, 0, 4, 1, 0xFFFFFFFF);
  std::vector<D3DCOLOR> px = read_back_buffer();
  EXPECT_EQ(px[0], 0xFF0000FFu);
  EXPECT_EQ(px[1], 0xFF0000FFu);
  EXPECT_EQ(px[2], 0x80FF0000u);
  EXPECT_EQ(px[3], 0xFFFF0000u);
  set_atest(0);
  destroy_texture(t);
}

TEST_F(RenderGl, BlendStatesCombineAsDirect3DDoes) {
  struct Case {
    void (*set)();
    D3DCOLOR dst, src, expect;
  } cases[] = {
      {set_blend_none, 0xFF202020, 0x80102030, 0x80102030},
      {set_blend_additive, 0xFF202020, 0xFF101010, 0xFF303030},
      {set_blend_alpha, 0xFF000000, 0x80FFFFFF, 0xC0808080},
      {set_blend_prealpha, 0xFF404040, 0x80404040, 0xFF606060},
      {set_blend_multiply, 0xFF808080, 0xFF808080, 0xFF404040},
      {set_blend_min, 0xFF208040, 0xFF402060, 0xFF202040},
      {set_blend_max, 0xFF208040, 0xFF402060, 0xFF408060},
  };
  for (const Case& c : cases) {
    set_blend_none();
    clear_view_color(c.dst);
    c.set();
    draw_rect(0, 0, 2, 2, c.src);
    D3DCOLOR got = read_back_buffer()[0];
    for (int sh = 0; sh < 32; sh += 8) {
      int a = int((got >> sh) & 255), b = int((c.expect >> sh) & 255);
      EXPECT_LE(abs(a - b), 1) << std::hex << "got " << got << " expected " << c.expect;
    }
  }
  set_blend_none();
}

TEST_F(RenderGl, DepthTestUsesTheRangeZeroToOne) {
  set_render_target(nullptr, 1, false);
  d3d->SetDepthStencilSurface(get_scene_depth_surface());
  clear_view(0xFF000000);
  set_zenable(true);
  draw_rect(0, 0, 8, 8, 0xFFFF0000, 0.5f);
  draw_rect(0, 0, 4, 8, 0xFF00FF00, 0.75f);  // behind: hidden
  draw_rect(4, 0, 8, 8, 0xFF0000FF, 0.25f);  // in front: drawn
  std::vector<D3DCOLOR> px = read_back_buffer();
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(px[5], 0xFF0000FFu);
  set_zenable(false);
  d3d->SetDepthStencilSurface(nullptr);
}

TEST_F(RenderGl, CounterClockwiseCullingDropsCounterClockwiseTriangles) {
  set_cull_mode(1);
  RhwVertex cw[3] = {{0, 0, 0, 1, 0xFFFF0000, 0, 0}, {8, 0, 0, 1, 0xFFFF0000, 0, 0}, {0, 8, 0, 1, 0xFFFF0000, 0, 0}};
  RhwVertex ccw[3] = {
      {20, 0, 0, 1, 0xFF00FF00, 0, 0}, {20, 8, 0, 1, 0xFF00FF00, 0, 0}, {28, 0, 0, 1, 0xFF00FF00, 0, 0}};
  d3d->SetFVF(RHW_FVF);
  d3d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(RhwVertex));
  d3d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(RhwVertex));
  std::vector<D3DCOLOR> px = read_back_buffer();
  EXPECT_EQ(px[1 * 64 + 1], 0xFFFF0000u);  // clockwise on a y-down screen: front, drawn
  EXPECT_EQ(px[1 * 64 + 21], 0xFF000000u);
  set_cull_mode(0);
}

// ---- render targets and textures

TEST_F(RenderGl, RenderTargetHasItsFirstRowAtTheTopAndCopiesBack) {
  Texture* rt = create_render_texture(32, 16, 1);
  ASSERT_TRUE(rt);
  set_render_target(rt, 0, false);
  D3DVIEWPORT9 vp;
  d3d->GetViewport(&vp);
  EXPECT_EQ(vp.Width, 32u);  // the viewport follows the new target
  EXPECT_EQ(vp.Height, 16u);
  clear_view_color(0xFFFF0000);
  draw_rect(0, 0, 4, 2, 0xFF00FF00);
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture_readback(rt, &pitch);
  ASSERT_TRUE(p);
  D3DCOLOR first, later;
  memcpy(&first, p, 4);
  memcpy(&later, p + 8 * pitch + 20 * 4, 4);
  EXPECT_EQ(first, 0xFF00FF00u);
  EXPECT_EQ(later, 0xFFFF0000u);
  EXPECT_TRUE(unlock_texture_readback(true));

  // Copied into a second target and drawn on the back buffer, it keeps its orientation.
  Texture* copy = create_render_texture(32, 16, 1);
  copy_texture(rt, copy);
  set_back_buffer_target();
  clear_view_color(0xFF000000);
  set_texture(0, copy);
  draw_rect(0, 0, 32, 16, 0xFFFFFFFF);
  std::vector<D3DCOLOR> px = read_back_buffer();
  EXPECT_EQ(px[0], 0xFF00FF00u);
  EXPECT_EQ(px[1 * 64 + 3], 0xFF00FF00u);
  EXPECT_EQ(px[2 * 64 + 0], 0xFFFF0000u);
  EXPECT_EQ(px[15 * 64 + 31], 0xFFFF0000u);
  d3d->SetTexture(0, nullptr);

  // The back buffer copied into a texture reads back the same image.
  Texture* screen = create_screen_render_texture();
  EXPECT_TRUE(copy_back_buffer_to_texture(screen));
  p = (uint8_t*)lock_texture_readback(screen, &pitch);
  ASSERT_TRUE(p);
  memcpy(&first, p, 4);
  EXPECT_EQ(first, 0xFF00FF00u);
  unlock_texture_readback(true);
  destroy_texture(rt);
  destroy_texture(copy);
  destroy_texture(screen);
}

// Whatever unit was active last, making and filling other textures leaves the stages' textures
// bound: a texture set once keeps drawing (setting it again does nothing).
TEST_F(RenderGl, OtherTexturesMadeAndFilledLeaveTheBoundTextureDrawing) {
  struct Case {
    const char* what;
    void (*run)();
  } cases[] = {
      {"created and locked", [] { destroy_texture(make_texture(16, 16, std::vector<D3DCOLOR>(256, 0xFF00FF00))); }},
      {"render target uploaded",
       [] {
         Texture* rt = create_render_texture(16, 16, 1);
         int pitch = 0;
         void* p = lock_texture_upload(rt, &pitch);
         ASSERT_TRUE(p);
         memset(p, 0x40, size_t(pitch) * 16);
         ASSERT_TRUE(unlock_texture_upload(rt));
         destroy_texture(rt);
       }},
      {"dynamic texture locked",
       [] {
         Texture* d = create_dynamic_texture(16, 16);
         int pitch = 0;
         memset(lock_texture(d, &pitch, true), 0x80, size_t(pitch) * 16);
         unlock_texture(d);
         destroy_texture(d);
       }},
  };
  Texture* t = make_texture(2, 2, std::vector<D3DCOLOR>(4, 0xFFFF2010));
  for (const Case& c : cases) {
    set_texture(0, t);
    clear_view_color(0xFF000000);
    draw_rect(0, 0, 8, 8, 0xFFFFFFFF);
    ASSERT_EQ(read_back_buffer()[3 * 64 + 3], 0xFFFF2010u) << c.what;
    c.run();
    set_texture(0, t);
    clear_view_color(0xFF000000);
    draw_rect(0, 0, 8, 8, 0xFFFFFFFF);
    std::vector<D3DCOLOR> px = read_back_buffer();
    int black = 0;
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 8; x++) black += px[size_t(y) * 64 + x] != 0xFFFF2010u;
    EXPECT_EQ(black, 0) << c.what;
  }
  d3d->SetTexture(0, nullptr);
  destroy_texture(t);
}

// A bound dynamic texture filled anew draws its new texels, as on Direct3D.
TEST_F(RenderGl, RefilledBoundDynamicTextureDrawsItsNewTexels) {
  Texture* d = create_dynamic_texture(2, 2);
  set_texture(0, d);
  for (D3DCOLOR c : {0xFF112233u, 0xFF445566u, 0x80FFFFFFu}) {
    int pitch = 0;
    uint8_t* p = (uint8_t*)lock_texture(d, &pitch, true);
    ASSERT_TRUE(p);
    for (int y = 0; y < 2; y++)
      for (int x = 0; x < 2; x++) memcpy(p + y * pitch + x * 4, &c, 4);
    unlock_texture(d);
    clear_view_color(0xFF000000);
    draw_rect(0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_EQ(read_back_buffer()[1 * 64 + 1], c) << std::hex << c;
  }
  d3d->SetTexture(0, nullptr);
  destroy_texture(d);
}

// The back buffer is drawn in the window, or in a texture of its own while a depth surface is bound
// with it; a render target is a texture. The same draws (edges through pixel centres, culling, a
// viewport and a scissor rectangle) give the same pixels in all three.
TEST_F(RenderGl, BackBufferWindowAndTexturesDrawAlike) {
  auto differ = [](const std::vector<D3DCOLOR>& a, const std::vector<D3DCOLOR>& b) {
    std::string d;
    for (size_t i = 0; i < a.size() && d.size() < 200; i++)
      if (a[i] != b[i])
        d += " (" + std::to_string(i % 64) + "," + std::to_string(i / 64) + " " + std::to_string(a[i] & 0xFFFF) + " " +
             std::to_string(b[i] & 0xFFFF) + ")";
    return d;
  };
  auto scene = [] {
    clear_view_color(0xFF000000);
    set_cull_mode(1);
    struct V {
      float x, y, z, w;
      D3DCOLOR c;
      float u, v;
    } tri[9] = {// A quad from clip (-1, 1) to (0.5, 0): pixels 0..47 x 0..23, its edges through centres.
                {-1, 1, 0, 1, 0xFF00FF00, 0, 0},
                {0.5f, 1, 0, 1, 0xFF00FF00, 0, 0},
                {-1, 0, 0, 1, 0xFF00FF00, 0, 0},
                {0.5f, 1, 0, 1, 0xFF00FF00, 0, 0},
                {0.5f, 0, 0, 1, 0xFF00FF00, 0, 0},
                {-1, 0, 0, 1, 0xFF00FF00, 0, 0},
                // Counter-clockwise on the screen: culled.
                {0.6f, -0.2f, 0, 1, 0xFF0000FF, 0, 0},
                {0.6f, -0.9f, 0, 1, 0xFF0000FF, 0, 0},
                {0.9f, -0.2f, 0, 1, 0xFF0000FF, 0, 0}};
    static const VertexElement els[] = {{0, 0, VE_FLOAT4, VU_POSITION, 0},
                                        {16, 0, VE_D3DCOLOR, VU_COLOR, 0},
                                        {20, 0, VE_FLOAT2, VU_TEXCOORD, 0},
                                        VE_END};
    set_vertex_decl(get_vertex_decl(els));
    D3DMATRIX id = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    d3d->SetTransform(D3DTS_WORLD, &id);
    d3d->SetTransform(D3DTS_VIEW, &id);
    d3d->SetTransform(D3DTS_PROJECTION, &id);
    d3d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 3, tri, sizeof(V));
    set_cull_mode(0);
    set_viewport(8, 4, 20, 10);
    clear_view_color(0xFF404040);
    draw_rect(2, 1, 7, 9, 0xFFFF0000);  // viewport pixels
    set_viewport(0, 0, 64, 48);
    RECT r = {30, 20, 50, 30};
    d3d->SetScissorRect(&r);
    d3d->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
    draw_rect(0, 0, 64, 48, 0xFFFFFF00);
    d3d->SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
  };
  scene();
  std::vector<D3DCOLOR> window = read_back_buffer();
  // An edge through pixel centres takes them on its top and left sides, as on Direct3D.
  EXPECT_EQ(window[0], 0xFF00FF00u);
  EXPECT_EQ(window[15 * 64 + 47], 0xFF00FF00u);
  EXPECT_EQ(window[24 * 64 + 10], 0xFF000000u);
  EXPECT_EQ(window[10 * 64 + 48], 0xFF000000u);
  EXPECT_EQ(window[35 * 64 + 55], 0xFF000000u);  // culled
  EXPECT_EQ(window[5 * 64 + 10], 0xFFFF0000u);   // the rectangle in viewport pixels
  EXPECT_EQ(window[4 * 64 + 9], 0xFF404040u);    // the viewport's clear
  EXPECT_EQ(window[20 * 64 + 30], 0xFFFFFF00u);  // the scissor rectangle
  EXPECT_EQ(window[19 * 64 + 30], 0xFF00FF00u);
  EXPECT_EQ(window[30 * 64 + 50], 0xFF000000u);

  d3d->SetDepthStencilSurface(get_scene_depth_surface());
  scene();
  EXPECT_EQ(differ(read_back_buffer(), window), "") << "back buffer in its texture";
  d3d->SetDepthStencilSurface(nullptr);

  Texture* rt = create_render_texture(64, 48, 1);
  set_render_target(rt, 0, false);
  scene();
  std::vector<D3DCOLOR> target(64 * 48);
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture_readback(rt, &pitch);
  ASSERT_TRUE(p);
  for (int y = 0; y < 48; y++) memcpy(&target[size_t(y) * 64], p + y * pitch, 64 * 4);
  unlock_texture_readback(true);
  EXPECT_EQ(differ(target, window), "") << "render target";
  set_back_buffer_target();
  destroy_texture(rt);
}

TEST_F(RenderGl, UploadFillsARenderTarget) {
  Texture* rt = create_render_texture(4, 4, 1);
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture_upload(rt, &pitch);
  ASSERT_TRUE(p);
  EXPECT_EQ(lock_texture_upload(rt, &pitch), nullptr);  // one transfer at a time
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) {
      D3DCOLOR c = 0xFF000000u | uint32_t(x * 60) << 16 | uint32_t(y * 60);
      memcpy(p + y * pitch + x * 4, &c, 4);
    }
  EXPECT_TRUE(unlock_texture_upload(rt));
  set_texture(0, rt);
  draw_rect(0, 0, 4, 4, 0xFFFFFFFF);
  std::vector<D3DCOLOR> px = read_back_buffer();
  EXPECT_EQ(px[3 * 64 + 2], 0xFF780000u | 180u);
  d3d->SetTexture(0, nullptr);
  destroy_texture(rt);
}

// ---- resets

TEST_F(RenderGl, ResetRecreatesDefaultPoolResourcesAtTheirSizes) {
  d3d->EndScene();
  Texture* screen = create_screen_render_texture();
  Texture* fixed = create_render_texture(16, 8, 1);
  Texture* dyn = create_dynamic_texture(8, 8);
  VertexBuffer* vb = create_vb(1024, 0);
  ASSERT_TRUE(screen && fixed && dyn && vb);
  set_render_target(fixed, 0, true);  // bound targets and depth do not hold the reset up
  d3d->SetTexture(0, dyn->tex);
  ASSERT_TRUE(reset_d3d(80, 60, false, true));
  EXPECT_EQ(d3d_wd, 80);
  EXPECT_EQ(d3d_ht, 60);
  D3DSURFACE_DESC desc;
  ASSERT_TRUE(screen->tex);
  screen->tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 80u);
  EXPECT_EQ(desc.Height, 60u);
  EXPECT_EQ(get_texture_width(screen), 80);
  fixed->tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 16u);
  EXPECT_TRUE(dyn->tex);
  EXPECT_TRUE(vb->vb);
  // The new back buffer draws and reads back.
  d3d->BeginScene();
  clear_view_color(0xFF123456);
  EXPECT_EQ(read_back_buffer(80, 60)[80 * 60 - 1], 0xFF123456u);
  d3d->EndScene();
  destroy_texture(screen);
  destroy_texture(fixed);
  destroy_texture(dyn);
  destroy_vb(vb);
  ASSERT_TRUE(reset_d3d(64, 48, false, true));
  d3d->BeginScene();
}

TEST_F(RenderGl, FailedResetIsRetriedUntilItSucceeds) {
  d3d->EndScene();
  VertexBuffer* vb = create_vb(1024, 0);
  Texture* dyn = create_dynamic_texture(4, 4);
  // A default-pool texture outside the tables holds the reset up, as it would on Direct3D.
  IDirect3DTexture9* held = nullptr;
  ASSERT_EQ(d3d->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &held, nullptr), D3D_OK);
  EXPECT_FALSE(reset_d3d(64, 48, false, true));
  EXPECT_FALSE(vb->vb);
  EXPECT_EQ(d3d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_FALSE(check_d3d_device());  // still held: the retry fails too
  held->Release();
  EXPECT_TRUE(check_d3d_device());
  EXPECT_TRUE(vb->vb);
  EXPECT_TRUE(dyn->tex);
  EXPECT_EQ(d3d->TestCooperativeLevel(), D3D_OK);
  d3d->BeginScene();
  clear_view_color(0xFF203040);
  EXPECT_EQ(read_back_buffer()[0], 0xFF203040u);
  destroy_vb(vb);
  destroy_texture(dyn);
}

// ---- batches and presenting

TEST_F(RenderGl, DynamicWriterDrawsItsRun) {
  if (!common_vb_writer.vb) common_vb_writer.create(65536);
  static const VertexElement els[] = {
      {0, 0, VE_FLOAT4, VU_POSITION, 0}, {16, 0, VE_D3DCOLOR, VU_COLOR, 0}, {20, 0, VE_FLOAT2, VU_TEXCOORD, 0}, VE_END};
  IDirect3DVertexDeclaration9* decl = get_vertex_decl(els);
  ASSERT_TRUE(decl);
  // A clip-space quad through the fixed transform: the whole 64 x 48 target, drawn in two runs.
  set_vertex_decl(decl);
  D3DMATRIX id = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  d3d->SetTransform(D3DTS_WORLD, &id);
  d3d->SetTransform(D3DTS_VIEW, &id);
  d3d->SetTransform(D3DTS_PROJECTION, &id);
  set_stream_source(0, common_vb_writer.vb, 0, 28);
  uint8_t* w = common_vb_writer.begin(draw_triangle_run, D3DPT_TRIANGLELIST);
  ASSERT_TRUE(w);
  struct V {
    float x, y, z, w;
    D3DCOLOR c;
    float u, v;
  } tri[6] = {{-1, 1, 0, 1, 0xFF00FF00, 0, 0}, {1, 1, 0, 1, 0xFF00FF00, 0, 0},  {-1, -1, 0, 1, 0xFF00FF00, 0, 0},
              {1, 1, 0, 1, 0xFF0000FF, 0, 0},  {1, -1, 0, 1, 0xFF0000FF, 0, 0}, {-1, -1, 0, 1, 0xFF0000FF, 0, 0}};
  memcpy(common_vb_writer.writePtr, tri, 3 * sizeof(V));
  common_vb_writer.writePtr += 3 * sizeof(V);
  common_vb_writer.primCount++;
  common_vb_writer.flush(false);
  memcpy(common_vb_writer.writePtr, tri + 3, 3 * sizeof(V));
  common_vb_writer.writePtr += 3 * sizeof(V);
  common_vb_writer.primCount++;
  common_vb_writer.flush(true);
  std::vector<D3DCOLOR> px = read_back_buffer();
  EXPECT_EQ(px[0], 0xFF00FF00u);             // top-left: first triangle
  EXPECT_EQ(px[47 * 64 + 63], 0xFF0000FFu);  // bottom-right: second triangle
}
}  // namespace

namespace {
TEST_F(RenderGl, FrontBufferCopyShowsThePresentedFrame) {
  clear_view_color(0xFF00FF00);
  draw_rect(0, 0, 2, 1, 0xFFFF0000);
  d3d->EndScene();
  present_d3d();
  int w = 0, h = 0, pitch = 0;
  uint8_t* p = (uint8_t*)lock_front_buffer_copy(&w, &h, &pitch);
  ASSERT_TRUE(p);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  D3DCOLOR first, below;
  memcpy(&first, p, 4);
  memcpy(&below, p + pitch, 4);
  EXPECT_EQ(first, 0xFFFF0000u);  // top row first
  EXPECT_EQ(below, 0xFF00FF00u);
  release_front_buffer_copy();
  d3d->BeginScene();
}
}  // namespace
