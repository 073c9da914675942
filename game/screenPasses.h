// The two full-screen passes around the world drawing. The background pass fills the scene texture
// behind the level with "background.dds" tiled and tinted by two colours; the post effect turns the
// finished scene texture into the frame on the back buffer, through a screen-sized shadow map drawn
// in two slices first (and kept until the screen's size or the post-effect switch changes). The
// background module also owns the two tile textures that shade the level's cells ("voxel-tile.dds"
// in front, "back-tile.dds" behind).
#pragma once
#include "engine/misc/vecMath.h"

struct Texture;

void init_background();
void close_background();
void render_background(D3dColor colour1, D3dColor colour2);
// The background only inside `count` rectangles of the target's pixels (left, top, right, bottom,
// four ints each), where it shows exactly what the whole screen's pass shows there.
void render_background_in(D3dColor colour1, D3dColor colour2, const int* rects, int count);
Texture* get_voxel_tile_texture();
Texture* get_back_tile_texture();

void init_postfx();
void close_postfx();
void render_post_effect();
// The shadow map's texture was made anew (a device reset): the next post effect draws it again.
void forget_shadow_map();

// The shader constants of the passes for a back buffer of width x height pixels at `scale` pixels
// per cell: kept apart from the device so they can be checked.
struct PostfxConstants {
  float finalVs[4];  // screen to texture, with the half-texel offset
  float finalPs[4];  // one level cell in texture units
};
PostfxConstants postfx_constants(int width, int height, int scale);
// Vertex constant 16 of the background: the screen in background texels.
vec4float background_extent(int width, int height, int scale);
// A colour as (red, green, blue, alpha) in 0..1.
vec4float colour_to_vec(D3dColor c);
