// The background and post-effect passes (see screenPasses.h). Both draw the renderer's full-screen
// quad with their constants from register 16 on.
#include "game/screenPasses.h"
#include <initializer_list>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/font.h"
#include "engine/log.h"
#include "game/gameScene.h"

namespace {
Shader* background_shader = nullptr;
Texture* background_texture = nullptr;
Texture* voxel_tile_texture = nullptr;
Texture* back_tile_texture = nullptr;

Shader* postfx_final_shader = nullptr;
Shader* postfx_slice_shader = nullptr;
Texture* shadow_map = nullptr;
// The shadow map depends on nothing but the screen's size and the post-effect switch, and drawing it
// costs two full-screen passes and a clear on a software rasteriser. So it is drawn again only when
// one of them changed or a device reset gave it a new, empty texture; in between it keeps what it
// holds.
// A width of 0 stands for a map not drawn yet.
struct ShadowMapDrawnFor {
  int width, height;
  bool postfx;
  bool operator==(const ShadowMapDrawnFor&) const = default;
};
ShadowMapDrawnFor shadow_map_drawn_for = {0, 0, false};
}  // namespace

PostfxConstants postfx_constants(int width, int height, int scale) {
  PostfxConstants c = {{0.5f, -0.5f, 0.5f / float(width) + 0.5f, 0.5f / float(height) + 0.5f},
                       {float(scale) / float(width), float(scale) / float(height), 0, 0}};
  return c;
}

vec4float background_extent(int width, int height, int scale) {
  return vec4float(float(width) / float(4 * scale), -float(height) / float(4 * scale), 0, 0);
}

vec4float colour_to_vec(D3dColor c) {
  return vec4float(float((c >> 16) & 255) / 255.0f, float((c >> 8) & 255) / 255.0f, float(c & 255) / 255.0f,
                   float(c >> 24) / 255.0f);
}

// ---- background

void init_background() {
  show_splash("Compiling background shaders", -1);
  background_shader = create_shader("background.sh", "");
  // The game cannot draw its world without these: a missing one stops it with the file's name.
  background_texture = get_texture("background.dds", true);
  voxel_tile_texture = get_texture("voxel-tile.dds", true);
  back_tile_texture = get_texture("back-tile.dds", true);
}

void close_background() {
  for (Texture** t : {&background_texture, &voxel_tile_texture, &back_tile_texture}) {
    if (*t) free_texture(*t);
    *t = nullptr;
  }
  if (background_shader) destroy_shader(background_shader);
  background_shader = nullptr;
}

Texture* get_voxel_tile_texture() { return voxel_tile_texture; }
Texture* get_back_tile_texture() { return back_tile_texture; }

static void start_background(D3dColor colour1, D3dColor colour2) {
  set_wireframe(false);
  set_shader(background_shader);
  set_texture(0, background_texture);
  set_texture_address(0, 0, 0, 0);
  set_texture_filter(0, true);
  vec4float c[3] = {background_extent(d3d_wd, d3d_ht, voxel_scale), colour_to_vec(colour1), colour_to_vec(colour2)};
  set_vs_consts(16, (const float*)c, 3);
}

void render_background(D3dColor colour1, D3dColor colour2) {
  start_background(colour1, colour2);
  draw_postfx();
}

// The same full-screen quad each time, only cut by the scissor: each pixel is computed from the same
// triangle as in the whole screen's pass and so comes out the same to the bit.
void render_background_in(D3dColor colour1, D3dColor colour2, const int* rects, int count) {
  if (count < 1) return;
  start_background(colour1, colour2);
  d3d->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
  for (int i = 0; i < count; i++, rects += 4) {
    RECT r = {rects[0], rects[1], rects[2], rects[3]};
    d3d->SetScissorRect(&r);
    draw_postfx();
  }
  d3d->SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
}

// ---- post effect

void init_postfx() {
  show_splash("Compiling post-effect shaders", -1);
  postfx_final_shader = create_shader("postfx_final.sh", "");
  postfx_slice_shader = create_shader("postfx_slice.sh", "");
  shadow_map = create_screen_render_texture();
  if (!shadow_map) fatal("can't create shadow map texture");
  forget_shadow_map();
}

void forget_shadow_map() { shadow_map_drawn_for = {0, 0, false}; }

void close_postfx() {
  if (shadow_map) destroy_texture(shadow_map);
  shadow_map = nullptr;
  if (postfx_final_shader) destroy_shader(postfx_final_shader);
  if (postfx_slice_shader) destroy_shader(postfx_slice_shader);
  postfx_final_shader = postfx_slice_shader = nullptr;
}

void render_post_effect() {
  set_wireframe(false);
  set_blend_none();
  set_atest(0);
  set_zwrite(false);
  // The slices sample nothing; the stages the world pass left bound (the shadow map among them on
  // the next frame) are let go so no stage reads the target being drawn.
  d3d->SetTexture(0, nullptr);
  d3d->SetTexture(1, nullptr);
  ShadowMapDrawnFor now = {d3d_wd, d3d_ht, use_postfx};
  if (!(now == shadow_map_drawn_for)) {
    set_render_target(shadow_map, 0, false);
    clear_view_color(0x00FF0000);
    // With the post effect switched off the map keeps its cleared value, which the final pass shows
    // as the plain scene.
    if (use_postfx) {
      set_shader(postfx_slice_shader);
      float vs1[4] = {10, 0, 0, 0}, ps1[4] = {0, 1, 0, 0};
      set_vs_consts(16, vs1, 1);
      set_ps_consts(16, ps1, 1);
      draw_postfx();
      float vs2[4] = {50, 0, 0, 0}, ps2[4] = {0, 0, 0, 0};
      set_vs_consts(16, vs2, 1);
      set_ps_consts(16, ps2, 1);
      draw_postfx();
    }
    shadow_map_drawn_for = now;
  }
  set_back_buffer_target();
  set_shader(postfx_final_shader);
  set_texture(0, scene_texture);
  set_texture(1, shadow_map);
  set_texture_address(0, 1, 1, 1);
  set_texture_address(1, 1, 1, 1);
  set_texture_filter(0, false);
  set_texture_filter(1, false);
  PostfxConstants c = postfx_constants(d3d_wd, d3d_ht, voxel_scale);
  set_vs_consts(16, c.finalVs, 1);
  set_ps_consts(16, c.finalPs, 1);
  draw_postfx();
  set_zwrite(true);
  // The next frame's world pass draws into the scene texture: nothing keeps it bound as a source.
  d3d->SetTexture(0, nullptr);
  d3d->SetTexture(1, nullptr);
}
