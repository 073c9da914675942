// The rendering device: the thin layer of free functions through which the renderer reaches our
// Direct3D 9 shaped interface. It owns the device, the scene depth surface and the event queries,
// and calls the resource tables' release and re-create hooks around a reset.
#pragma once
#include "engine/cont/dynArray.h"
#include "engine/d3dMode.h"
#include "engine/misc/vecMath.h"
#include "platform/d3d9/d3d9.h"
#include "platform/platform.h"

struct Texture;

extern IDirect3D9* d3d_object;
extern IDirect3DDevice9* d3d;
extern int d3d_wd, d3d_ht;
extern D3DFORMAT d3d_adapter_format;
extern D3DMULTISAMPLE_TYPE d3d_multisample_type;
extern DWORD d3d_multisample_quality;
extern bool d3d_limit_buffered_frames;

// What the shell asks of the display, handed over as one value before init_d3d and again whenever
// one of them changes; the renderer makes and resets the device by the settings it was last given,
// and a reset records the mode it switched to. It reads nothing of the shell.
struct D3dDisplaySettings {
  bool fullscreen = false;
  bool vsync = true;           // presents wait for the display's refresh
  bool multisampling = false;  // the scene depth surface multisampled, when the card offers it
};
void set_d3d_display_settings(const D3dDisplaySettings& settings);
const D3dDisplaySettings& get_d3d_display_settings();

// ---- device lifetime
bool init_d3d(WindowHandle window, int width, int height);
void close_d3d();
bool reset_d3d(int width, int height, bool fullscreen, bool force);
bool check_d3d_device();
void get_d3d_modes(DynArray<D3dMode>& modes);
bool d3d_is_open();
// Fills the presentation parameters for a size; in full screen a size below 1 becomes the display
// size, written back through width and height.
void fill_present_params(D3DPRESENT_PARAMETERS& params, int& width, int& height);
bool create_scene_target();
IDirect3DSurface9* get_scene_depth_surface();

// ---- frame
bool render_d3d_frame(float t);
void present_d3d();
bool begin_scene();
void end_scene();
void flush_gpu();
unsigned get_free_texmem();

// ---- render state
void set_blend_none();
void set_blend_additive();
void set_blend_smooth_add();
void set_blend_alpha();
void set_blend_prealpha();
void set_blend_multiply();
void set_blend_min();
void set_blend_max();
void set_atest(int ref);
void set_cull_mode(int on);
void set_zenable(bool on);
void set_zwrite(bool on);
// The depth test's comparison: true passes a pixel as near as the one drawn (the default, so the
// later of two draws at one depth shows), false only a nearer one (the earlier shows).
void set_zequal_passes(bool on);
void set_color_write_mask(int mask);
void set_wireframe(bool on);
void set_stencil_test(int mask, int ref, int func);
void set_stencil_replace_bits(int bits);

// ---- transforms, viewport, clears
void set_view_tm(const Matrix44& m);
void set_proj_tm(const Matrix44& m);
void set_proj_tm(float fov, float aspect, float znear, float zfar);
Matrix44 perspective_tm(float fov, float aspect, float znear, float zfar);
void get_glob_tm(Matrix44& out);
void set_viewport(int x, int y, int width, int height);
void clear_view(D3dColor colour);
void clear_view_color(D3dColor colour);
void clear_view_z();

// ---- drawing
void draw_prim(D3DPRIMITIVETYPE type, int start_vertex, int prim_count);
void draw_indexed(D3DPRIMITIVETYPE type, int base_vertex, int min_index, int num_vertices, int start_index,
                  int prim_count);
void draw_postfx();

// ---- render targets and surface copies
Texture* create_render_texture(int width, int height, int code);
Texture* create_screen_render_texture();
D3DFORMAT render_target_format(int code);
bool check_render_target_format(int code);
void set_render_target(Texture* tex, int index, bool use_depth);
void set_back_buffer_target();
void copy_texture(Texture* from, Texture* to);
bool copy_back_buffer_to_texture(Texture* tex);
void* lock_texture_upload(Texture* tex, int* pitch);
bool unlock_texture_upload(Texture* tex);
void* lock_texture_readback(Texture* tex, int* pitch);
bool unlock_texture_readback(bool had_lock);
// A copy of the displayed image (A8R8G8B8 rows, top row first) for screenshots.
void* lock_front_buffer_copy(int* width, int* height, int* pitch);
void release_front_buffer_copy();
