// The device functions on the recording back end: creation, the reset order and its failures, the
// frame gate, multisampling, render states, draws, display modes, transfers and screenshots.
#include <math.h>
#include "engine/d3d_misc.h"
#include "engine/d3d_vbuf.h"
#include "engine/font.h"
#include "render_test_util.h"

namespace {
using RenderDevice = RecorderDevice;

TEST_F(RenderDevice, CreationMakesDepthQueriesAndSamplerDefaults) {
  close_d3d();
  testing::internal::CaptureStdout();
  ASSERT_TRUE(init_d3d(window, 320, 200));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("starting d3d in 320x200"), std::string::npos);
  EXPECT_NE(out.find("no shader compiler"), std::string::npos);
  EXPECT_NE(out.find("init d3d ok (320x200)"), std::string::npos);
  EXPECT_EQ(count("CreateDepthStencilSurface 320x200 75 0 0 0"), 1);
  EXPECT_EQ(count("CreateQuery 8"), 9);
  EXPECT_EQ(count("Query.Issue"), 8);
  EXPECT_EQ(count("SetSamplerState"), 16 * 6);
  DWORD v = 0;
  d3d->GetSamplerState(15, D3DSAMP_ADDRESSW, &v);
  EXPECT_EQ(v, DWORD(D3DTADDRESS_CLAMP));
  d3d->GetSamplerState(3, D3DSAMP_MIPFILTER, &v);
  EXPECT_EQ(v, DWORD(D3DTEXF_LINEAR));
}

TEST_F(RenderDevice, FullScreenWithoutASizeTakesTheDisplaySize) {
  close_d3d();
  isFullscreen = true;
  set_d3d_display_settings(app_display_settings());
  ASSERT_TRUE(init_d3d(window, 0, 0));
  EXPECT_EQ(d3d_wd, 1920);
  EXPECT_EQ(d3d_ht, 1080);
  isFullscreen = false;
  set_d3d_display_settings(app_display_settings());
}

TEST_F(RenderDevice, CreationFallsBackToSoftwareVertexProcessingThenFails) {
  close_d3d();
  d3d9_recorder_fail("CreateDevice", D3DERR_NOTAVAILABLE, 1);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(init_d3d(window, 320, 200));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("failed HARDWARE_VERTEXPROCESSING, trying software one"),
            std::string::npos);
  close_d3d();
  d3d9_recorder_fail("CreateDevice", D3DERR_NOTAVAILABLE, 2);
  EXPECT_FALSE(init_d3d(window, 320, 200));
  EXPECT_FALSE(d3d_is_open());
  d3d9_recorder_fail("CreateDepthStencilSurface", D3DERR_OUTOFVIDEOMEMORY, 1);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(init_d3d(window, 320, 200));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("FAILED to create scene z-buffer surface (code 0x8876017C)"),
            std::string::npos);
  EXPECT_FALSE(d3d_is_open());
}

TEST_F(RenderDevice, ResetReleasesAndRecreatesInOrder) {
  Texture* screen = create_screen_render_texture();
  Texture* managed = create_managed_texture(4, 4);
  VertexBuffer* dyn = create_vb(256, 0);
  VertexBuffer* stat = create_vb(256, VB_STATIC);
  ASSERT_TRUE(screen && managed && dyn && stat);
  IDirect3DTexture9* managed_obj = managed->tex;
  set_render_target(screen, 0, true);  // bound targets and depth do not hold the reset up
  IDirect3DVertexBuffer9* static_obj = stat->vb;
  log().clear();
  testing::internal::CaptureStdout();
  ASSERT_TRUE(reset_d3d(400, 300, false, false));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("=== resizing d3d to 400x300 windowed"), std::string::npos);
  EXPECT_NE(out.find("resized d3d to 400x300 windowed"), std::string::npos);
  EXPECT_NE(out.find("3d pixel scale"), std::string::npos);  // the game's reset handler ran
  int unbind_ib = find("SetIndices null"), unbind_vb = find("SetStreamSource 15 null"),
      unbind_tex = find("SetTexture 31 null"), reset = find("Reset 400x300 windowed=1"),
      tex = find("CreateTexture 400x300", reset), vb = find("CreateVertexBuffer 256", reset),
      depth = find("CreateDepthStencilSurface 400x300", reset), query = find("CreateQuery", reset),
      sampler = find("SetSamplerState", reset);
  EXPECT_GE(unbind_ib, 0);
  EXPECT_LT(unbind_ib, unbind_vb);
  EXPECT_LT(unbind_vb, unbind_tex);
  EXPECT_LT(unbind_tex, reset);
  EXPECT_LT(reset, tex);
  EXPECT_LT(tex, vb);
  EXPECT_LT(vb, depth);
  EXPECT_LT(depth, query);
  EXPECT_LT(query, sampler);
  EXPECT_NE(log()[size_t(reset)].find("live=0"), std::string::npos);  // every default-pool object was released
  EXPECT_EQ(count("CreateVertexBuffer"), 1);                          // the static buffer survives as it is
  EXPECT_EQ(stat->vb, static_obj);
  EXPECT_EQ(managed->tex, managed_obj);
  EXPECT_EQ(get_texture_width(screen), 400);
  EXPECT_EQ(d3d_wd, 400);
  EXPECT_EQ(d3d_ht, 300);
  EXPECT_TRUE(dyn->vb);
}

TEST_F(RenderDevice, ResetRecomputesTheDebugFontScale) {
  // 1000 lines of 16-texel cells: scale 1000 / (16 * 30) = 2.
  testing::internal::CaptureStdout();
  ASSERT_TRUE(reset_d3d(1600, 1000, false, false));
  std::string out = testing::internal::GetCapturedStdout();
  size_t resized = out.find("resized d3d to 1600x1000 windowed");
  ASSERT_NE(resized, std::string::npos);
  EXPECT_NE(out.find("font scale: 2", resized), std::string::npos) << out;
  EXPECT_EQ(get_debug_font_scale(), 2);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(reset_d3d(320, 200, false, false));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("font scale: 1"), std::string::npos);
}

TEST_F(RenderDevice, ResetSkipsAnUnchangedModeUnlessForced) {
  EXPECT_TRUE(reset_d3d(320, 200, false, false));
  EXPECT_TRUE(reset_d3d(0, 0, false, false));  // windowed 0 x 0: the current size
  EXPECT_EQ(count("Reset"), 0);
  EXPECT_TRUE(reset_d3d(320, 200, false, true));
  EXPECT_EQ(count("Reset"), 1);
}

TEST_F(RenderDevice, FailedResetIsRetriedByTheDeviceCheck) {
  VertexBuffer* dyn = create_vb(256, 0);
  d3d9_recorder_fail("Reset", D3DERR_DEVICELOST, 1);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(reset_d3d(400, 300, false, true));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Reset failed (code 0x88760868)"), std::string::npos);
  EXPECT_FALSE(dyn->vb);  // released for the reset, not yet back
  // The device itself now answers that it needs a reset, and the check makes it.
  EXPECT_TRUE(check_d3d_device());
  EXPECT_EQ(count("Reset"), 2);
  EXPECT_TRUE(dyn->vb);
  EXPECT_TRUE(check_d3d_device());  // reset done: the device answers OK again
  EXPECT_EQ(count("Reset"), 2);
  // A lost device is waited for, not reset.
  d3d9_recorder_config().cooperative_level = D3DERR_DEVICELOST;
  EXPECT_FALSE(check_d3d_device());
  EXPECT_EQ(count("Reset"), 2);
  destroy_vb(dyn);
}

TEST_F(RenderDevice, MultisamplingRequestSetsTheDepthSurfaceOnly) {
  close_d3d();
  app_use_aa = true;
  set_d3d_display_settings(app_display_settings());
  testing::internal::CaptureStdout();
  ASSERT_TRUE(init_d3d(window, 320, 200));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("AA quality 4"), std::string::npos);
  EXPECT_EQ(count("CreateDepthStencilSurface 320x200 75 1 3 0"), 1);
  EXPECT_EQ(count("CreateDevice 40 0x0"), 1);
  close_d3d();
  app_use_aa = false;
  set_d3d_display_settings(app_display_settings());
  d3d9_recorder_log().clear();
  testing::internal::CaptureStdout();
  ASSERT_TRUE(init_d3d(window, 320, 200));
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("AA quality"), std::string::npos);
  EXPECT_EQ(count("CreateDepthStencilSurface 320x200 75 0 0 0"), 1);
}

TEST_F(RenderDevice, FrameGateSkipsFramesWhileTheCardIsBehind) {
  d3d9_recorder_config().queries_pending = true;
  EXPECT_FALSE(render_d3d_frame(0));
  EXPECT_EQ(count("BeginScene"), 0);
  d3d_limit_buffered_frames = false;
  EXPECT_TRUE(render_d3d_frame(0));
  d3d_limit_buffered_frames = true;
  d3d9_recorder_config().queries_pending = false;
  log().clear();
  EXPECT_TRUE(render_d3d_frame(0));
  int begin = find("BeginScene"), end = find("EndScene"), issue = find("Query.Issue", end);
  EXPECT_LT(find("Query.GetData 1"), begin);
  EXPECT_LT(begin, find("SetRenderState 22 3"));  // counter-clockwise culling
  EXPECT_LT(find("SetRenderState 137 0"), end);   // no lighting
  EXPECT_EQ(count("SetTextureStageState 0 1 4"), 1);
  EXPECT_LT(end, issue);
  d3d9_recorder_fail("Query.GetData", D3DERR_DEVICELOST, 1);
  EXPECT_FALSE(render_d3d_frame(0));
}

TEST_F(RenderDevice, RenderStateFunctionsSetTheirStates) {
  struct Case {
    void (*call)();
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states;
  } cases[] = {
      {set_blend_none, {{D3DRS_ALPHABLENDENABLE, 0}}},
      {set_blend_additive,
       {{D3DRS_ALPHABLENDENABLE, 1}, {D3DRS_SRCBLEND, 2}, {D3DRS_DESTBLEND, 2}, {D3DRS_BLENDOP, 1}}},
      {set_blend_smooth_add, {{D3DRS_SRCBLEND, 2}, {D3DRS_DESTBLEND, 4}, {D3DRS_BLENDOP, 1}}},
      {set_blend_alpha, {{D3DRS_SRCBLEND, 5}, {D3DRS_DESTBLEND, 6}, {D3DRS_BLENDOP, 1}}},
      {set_blend_prealpha, {{D3DRS_SRCBLEND, 2}, {D3DRS_DESTBLEND, 6}}},
      {set_blend_multiply, {{D3DRS_SRCBLEND, 9}, {D3DRS_DESTBLEND, 1}}},
      {set_blend_min, {{D3DRS_SRCBLEND, 2}, {D3DRS_DESTBLEND, 2}, {D3DRS_BLENDOP, 4}}},
      {set_blend_max, {{D3DRS_BLENDOP, 5}}},
      {[] { set_atest(0); }, {{D3DRS_ALPHATESTENABLE, 0}}},
      {[] { set_atest(1); }, {{D3DRS_ALPHATESTENABLE, 1}, {D3DRS_ALPHAFUNC, 7}, {D3DRS_ALPHAREF, 1}}},
      {[] { set_cull_mode(1); }, {{D3DRS_CULLMODE, 3}}},
      {[] { set_cull_mode(0); }, {{D3DRS_CULLMODE, 1}}},
      {[] { set_zenable(true); }, {{D3DRS_ZENABLE, 1}}},
      {[] { set_zwrite(false); }, {{D3DRS_ZWRITEENABLE, 0}}},
      {[] { set_color_write_mask(5); }, {{D3DRS_COLORWRITEENABLE, 5}}},
      {[] { set_wireframe(true); }, {{D3DRS_FILLMODE, 2}}},
      {[] { set_wireframe(false); }, {{D3DRS_FILLMODE, 3}}},
      {[] { set_stencil_test(0xF0, 3, 6); },
       {{D3DRS_STENCILENABLE, 1}, {D3DRS_STENCILMASK, 0xF0}, {D3DRS_STENCILREF, 3}, {D3DRS_STENCILFUNC, 6}}},
      {[] { set_stencil_test(0, 3, 6); }, {{D3DRS_STENCILENABLE, 0}}},
      {[] { set_stencil_replace_bits(4); },
       {{D3DRS_STENCILWRITEMASK, 4}, {D3DRS_STENCILFAIL, 1}, {D3DRS_STENCILZFAIL, 1}, {D3DRS_STENCILPASS, 3}}},
      {[] { set_stencil_replace_bits(0); }, {{D3DRS_STENCILPASS, 1}}},
  };
  for (const Case& c : cases) {
    c.call();
    for (auto& s : c.states) {
      DWORD v = 0xDEAD;
      d3d->GetRenderState(s.first, &v);
      EXPECT_EQ(v, s.second) << "state " << s.first;
    }
  }
}

TEST_F(RenderDevice, DrawsOfNoPrimitivesDoNothingAndFailuresAreFatal) {
  draw_prim(D3DPT_TRIANGLELIST, 0, 0);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 0);
  EXPECT_EQ(count("Draw"), 0);
  draw_prim(D3DPT_TRIANGLELIST, 3, 2);
  EXPECT_EQ(count("DrawPrimitive 4 3 2"), 1);
  EXPECT_EXIT(
      {
        d3d9_recorder_fail("DrawPrimitive", D3DERR_INVALIDCALL, 1);
        draw_prim(D3DPT_TRIANGLELIST, 0, 1);
      },
      testing::ExitedWithCode(100), "draw_prim failed \\(code 0x8876086C\\)");
  EXPECT_EXIT(
      {
        d3d9_recorder_fail("DrawIndexedPrimitive", D3DERR_INVALIDCALL, 1);
        draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1);
      },
      testing::ExitedWithCode(100), "draw_indexed failed \\(code 0x8876086C\\)");
  draw_postfx();
  EXPECT_EQ(count("SetFVF 2"), 1);
  EXPECT_EQ(count("DrawPrimitiveUP 5 2 12"), 1);
}

TEST_F(RenderDevice, DisplayModesAreListedOncePerSize) {
  d3d9_recorder_config().modes = {{1280, 720, 60, D3DFMT_X8R8G8B8},
                                  {1280, 720, 75, D3DFMT_X8R8G8B8},
                                  {800, 600, 60, D3DFMT_X8R8G8B8},
                                  {1280, 720, 144, D3DFMT_X8R8G8B8}};
  DynArray<D3dMode> modes;
  get_d3d_modes(modes);
  ASSERT_EQ(modes.size(), 2);
  EXPECT_EQ(modes[0].width, 1280);
  EXPECT_EQ(modes[1].height, 600);
}

TEST_F(RenderDevice, TransfersRunOneAtATimeAndReportFailures) {
  Texture* rt = create_render_texture(8, 8, 1);
  int pitch = 0;
  ASSERT_TRUE(lock_texture_upload(rt, &pitch));
  EXPECT_EQ(pitch, 32);
  EXPECT_EQ(lock_texture_upload(rt, &pitch), nullptr);
  EXPECT_EQ(lock_texture_readback(rt, &pitch), nullptr);
  d3d9_recorder_fail("UpdateSurface", D3DERR_INVALIDCALL, 1);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(unlock_texture_upload(rt));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("UpdateSurface failed, code 0x8876086C"), std::string::npos);
  ASSERT_TRUE(lock_texture_readback(rt, &pitch));  // the failed upload released its surface
  EXPECT_TRUE(unlock_texture_readback(true));
  EXPECT_FALSE(unlock_texture_readback(true));
  d3d9_recorder_fail("GetRenderTargetData", D3DERR_DEVICELOST, 1);
  EXPECT_EQ(lock_texture_readback(rt, &pitch), nullptr);
  ASSERT_TRUE(lock_texture_upload(rt, &pitch));  // and so did the failed read-back
  EXPECT_TRUE(unlock_texture_upload(rt));
  EXPECT_EQ(lock_texture_upload(nullptr, &pitch), nullptr);
}

TEST_F(RenderDevice, FrontBufferCopyIsTheClientAreaClippedToTheDisplay) {
  int w = 0, h = 0, pitch = 0;
  void* bits = lock_front_buffer_copy(&w, &h, &pitch);
  ASSERT_TRUE(bits);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(pitch, 1920 * 4);
  release_front_buffer_copy();
  d3d9_recorder_fail("GetFrontBufferData", D3DERR_DEVICELOST, 1);
  EXPECT_EQ(lock_front_buffer_copy(&w, &h, &pitch), nullptr);
}

TEST_F(RenderDevice, TransformsAndViewport) {
  Matrix44 p = perspective_tm(float(M_PI) / 2, 2.f, 1.f, 101.f);
  EXPECT_FLOAT_EQ(p.at(1, 1), 1.f);
  EXPECT_FLOAT_EQ(p.at(0, 0), 0.5f);
  EXPECT_FLOAT_EQ(p.at(2, 2), 101.f / 100.f);
  EXPECT_FLOAT_EQ(p.at(2, 3), 1.f);
  EXPECT_FLOAT_EQ(p.at(3, 2), -101.f / 100.f);
  Matrix44 view = Matrix44::identity();
  view.r[3] = vec4float(1, 2, 3, 1);
  set_view_tm(view);
  set_proj_tm(float(M_PI) / 2, 2.f, 1.f, 101.f);
  Matrix44 g;
  get_glob_tm(g);
  EXPECT_TRUE(g == view * p);
  set_viewport(1, 2, 30, 40);
  EXPECT_EQ(count("SetViewport 1 2 30 40 0 1"), 1);
  clear_view(0xFF102030);
  clear_view_color(0x11223344);
  clear_view_z();
  EXPECT_EQ(count("Clear 7 ff102030 1 0"), 1);
  EXPECT_EQ(count("Clear 1 11223344"), 1);
  EXPECT_EQ(count("Clear 6 "), 1);
}

TEST_F(RenderDevice, RenderTargetsBindDepthOnlyForTheFirstTarget) {
  Texture* rt = create_render_texture(16, 16, 3);
  EXPECT_EQ(count("CreateTexture 16x16 1 1 111 0"), 1);  // code 3 is R16F
  EXPECT_EQ(render_target_format(9), D3DFMT_UNKNOWN);
  EXPECT_TRUE(check_render_target_format(1));
  EXPECT_FALSE(check_render_target_format(0));
  log().clear();
  set_render_target(rt, 0, true);
  set_render_target(rt, 0, false);
  set_render_target(rt, 1, true);
  set_render_target(nullptr, 1, false);
  set_back_buffer_target();
  EXPECT_EQ(log(), (std::vector<std::string>{"SetRenderTarget 0 surface", "SetDepthStencilSurface surface",
                                             "SetRenderTarget 0 surface", "SetDepthStencilSurface null",
                                             "SetRenderTarget 1 surface", "SetRenderTarget 1 null",
                                             "SetRenderTarget 0 back", "SetDepthStencilSurface null"}));
  D3DVIEWPORT9 vp;
  d3d->GetViewport(&vp);
  EXPECT_EQ(vp.Width, 320u);
}
}  // namespace
